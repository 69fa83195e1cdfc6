// The TGA codec: gdk-pixbuf's reference images in every depth, orientation and compression,
// what we write as tgatoppm and ImageMagick read it, the extension area both ways, and broken
// headers, colour maps and footers.
#include "imaging/codecs/tga/kvtgafil.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path Reftests = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/reftests";
const std::string Rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";

struct Decoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TKVMask> Mask;
};

void Decode(const std::string& bytes, Decoded& d, bool paramsOnly = false)
{
    TMemoryStream stream;
    kvtest::FillStream(stream, bytes);
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    Kvtgafil::ReadTGAStream(stream, d.Bitmap, d.Params, progress, paramsOnly, d.Mask, false);
}

std::string Encode(TKVBitmap& bitmap, TIOParamsVals& params, const TKVMask* mask = nullptr)
{
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Kvtgafil::WriteTGAStream(stream, bitmap, params, progress, mask);
    EXPECT_FALSE(aborting);
    return std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

// An 18-byte header.
std::string Header(int idLength, int mapType, int imageType, int mapLength, int entryBits, int width,
                   int height, int depth, int descriptor)
{
    std::string h(18, '\0');
    h[0] = char(idLength);
    h[1] = char(mapType);
    h[2] = char(imageType);
    h[5] = char(mapLength & 255);
    h[6] = char(mapLength >> 8);
    h[7] = char(entryBits);
    h[12] = char(width & 255);
    h[13] = char(width >> 8);
    h[14] = char(height & 255);
    h[15] = char(height >> 8);
    h[16] = char(depth);
    h[17] = char(descriptor);
    return h;
}

} // namespace

// Every reference TGA decodes to its .ref.png, alpha included. The references widen 5-bit
// channels by repeating their top bits; the format widens them by 8, so 16-bit colour files
// compare with the reference's top five bits.
TEST(TgaReader, DecodesGdkPixbufReferencesExactly)
{
    ASSERT_TRUE(kvtest::Installed({(Reftests / "tga").string(), "convert"}));
    int32_t files = 0;
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(Reftests / "tga")) {
        if (entry.path().extension() == ".tga") {
            names.push_back(entry.path());
        }
    }
    for (const char* extra : {"rle-too-many-pixels.tga", "rle-too-many-pixels-2.tga"}) {
        names.push_back(Reftests / extra);
    }
    for (const fs::path& name : names) {
        SCOPED_TRACE(name.filename().string());
        Decoded d;
        Decode(kvtest::TempFolder::Read(name.string()), d);
        ASSERT_FALSE(d.Aborted);
        const int32_t w = d.Bitmap.GetWidth(), h = d.Bitmap.GetHeight();
        const std::string rgba =
            kvtest::ToolOutput("convert '" + name.string() + ".ref.png' -depth 8 rgba:-");
        ASSERT_EQ(rgba.size(), size_t(w) * h * 4);
        const bool fiveBits = name.filename().string().find("-16bpp") != std::string::npos &&
                              name.filename().string().find("gray") == std::string::npos;
        int32_t worst = 0;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const auto* ref = reinterpret_cast<const uint8_t*>(rgba.data()) + (size_t(y) * w + x) * 4;
                const TRGB ours = d.Bitmap.GetPixels_kv24RGB(x, y);
                const int alpha = d.Mask != nullptr ? d.Mask->GetPixel(x, y) : 255;
                const uint8_t keep = fiveBits ? 0xF8 : 0xFF;
                worst =
                    std::max({worst, std::abs((ref[0] & keep) - ours.r), std::abs((ref[1] & keep) - ours.g),
                              std::abs((ref[2] & keep) - ours.b), std::abs(ref[3] - alpha)});
            }
        }
        EXPECT_EQ(worst, 0);
        ++files;
    }
    EXPECT_EQ(files, 46);

    // A colour map shorter than the indexes: the mapped pixels decode as the reference's, the
    // others take the default palette where the reference makes them transparent.
    const fs::path tooSmall = Reftests / "colormap-too-small.tga";
    Decoded d;
    Decode(kvtest::TempFolder::Read(tooSmall.string()), d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.ColorMapCount, 106);
    const std::string rgba =
        kvtest::ToolOutput("convert '" + tooSmall.string() + ".ref.png' -depth 8 rgba:-");
    ASSERT_EQ(rgba.size(), 48u * 48u * 4u);
    int32_t opaque = 0;
    for (int32_t i = 0; i < 48 * 48; ++i) {
        const auto* ref = reinterpret_cast<const uint8_t*>(rgba.data()) + 4 * size_t(i);
        if (ref[3] == 255) {
            EXPECT_EQ(d.Bitmap.GetPixels_kv24RGB(i % 48, i / 48), (TRGB{ref[2], ref[1], ref[0]}));
            ++opaque;
        }
    }
    EXPECT_GT(opaque, 1000);
}

// Each form we write reads back through tgatoppm and ImageMagick as through our own reader.
TEST(TgaWriter, WritesFormsTheToolsRead)
{
    ASSERT_TRUE(kvtest::Installed({Rose, "tgatoppm", "convert"}));
    TKVBitmap rose;
    kvtest::PnmToBitmap(kvtest::ParsePnm(kvtest::TempFolder::Read(Rose)), rose);
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        int32_t bits, samples;
        bool compressed, grey;
        int imageType, depth;
    } cases[] = {
        {"24 bits", 8, 3, false, false, 2, 24},
        {"24 bits RLE", 8, 3, true, false, 10, 24},
        {"256 colours", 8, 1, false, false, 1, 8},
        {"256 colours RLE", 8, 1, true, false, 9, 8},
        {"grey", 8, 1, false, true, 3, 8},
        {"grey RLE", 8, 1, true, true, 11, 8},
        {"16 colours as 8 bits", 4, 1, true, false, 1, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        params.BitsPerSample = c.bits;
        params.SamplesPerPixel = c.samples;
        params.TGA_Compressed = c.compressed;
        params.TGA_GrayLevel = c.grey;
        const std::string bytes = Encode(rose, params);
        EXPECT_EQ(bytes[2], c.imageType);
        EXPECT_EQ(bytes[16], c.depth);
        const std::string file = folder.Write("out.tga", bytes);
        Decoded ours;
        Decode(bytes, ours);
        ASSERT_FALSE(ours.Aborted);
        const kvtest::TPnmImage mine = kvtest::BitmapSamples(ours.Bitmap);
        EXPECT_EQ(kvtest::MaxDifference(kvtest::ParsePnm(kvtest::ToolOutput("tgatoppm " + file)), mine), 0);
        EXPECT_EQ(kvtest::MaxDifference(
                      kvtest::ParsePnm(kvtest::ToolOutput("convert " + file + " -auto-orient ppm:-")), mine),
                  0);
        if (c.samples == 3) {
            EXPECT_EQ(kvtest::MaxDifference(kvtest::BitmapSamples(rose), mine), 0);
        }
        if (c.bits == 4) {
            EXPECT_EQ(ours.Params.ColorMapCount, 16);
        }
    }

    // A mask that is not full makes a 32-bit file, uncompressed whatever was asked, whose alpha
    // ImageMagick sees.
    TKVMask mask;
    mask.AllocateBits(rose.GetWidth(), rose.GetHeight(), 8);
    mask.Fill(255);
    mask.SetPixel(3, 2, 0);
    mask.SetPixel(4, 2, 100);
    TIOParamsVals params;
    const std::string bytes = Encode(rose, params, &mask);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[16], 32);
    EXPECT_EQ(bytes[17], 0x28);
    const std::string file = folder.Write("alpha.tga", bytes);
    const std::string alpha = kvtest::ToolOutput("convert " + file + " -auto-orient -alpha extract gray:-");
    ASSERT_EQ(alpha.size(), size_t(rose.GetWidth()) * rose.GetHeight());
    EXPECT_EQ(uint8_t(alpha[2 * size_t(rose.GetWidth()) + 3]), 0);
    EXPECT_EQ(uint8_t(alpha[2 * size_t(rose.GetWidth()) + 4]), 100);
    Decoded back;
    Decode(bytes, back);
    ASSERT_NE(back.Mask, nullptr);
    EXPECT_EQ(back.Mask->GetPixel(4, 2), 100);
}

// The image ID, the origin and the extension area travel both ways; the ID is cut to fit its
// length byte.
TEST(TgaWriter, ExtensionAreaAndDescriptorRoundTrip)
{
    TKVBitmap bitmap;
    bitmap.Allocate(3, 2, kv24RGB);
    bitmap.Fill(0);
    TIOParamsVals params;
    params.TGA_Descriptor = std::string(300, 'd');
    params.TGA_Author = "An author whose name is longer than forty characters";
    params.TGA_ImageName = "job";
    params.TGA_Date = 45000.5; // 2023-03-15 12:00
    params.TGA_Background = TRGB{1, 2, 3};
    params.TGA_Gamma = 2.2;
    params.TGA_AspectRatio = 1.0;
    params.TGA_XPos = 7;
    const std::string bytes = Encode(bitmap, params);
    EXPECT_EQ(uint8_t(bytes[0]), 255);
    // Gamma 22000 / 10000, aspect 10000 / 10000.
    const size_t extension = bytes.size() - 26 - 495;
    EXPECT_EQ(bytes.substr(extension + 474, 8), std::string("\x10\x27\x10\x27\xf0\x55\x10\x27", 8));
    Decoded d;
    Decode(bytes, d);
    EXPECT_EQ(d.Params.TGA_Descriptor, std::string(254, 'd'));
    EXPECT_EQ(d.Params.TGA_Author, params.TGA_Author.substr(0, 40));
    EXPECT_EQ(d.Params.TGA_ImageName, "job");
    EXPECT_DOUBLE_EQ(d.Params.TGA_Date, 45000.5);
    EXPECT_EQ(d.Params.TGA_Background, (TRGB{1, 2, 3}));
    EXPECT_DOUBLE_EQ(d.Params.TGA_Gamma, 2.2);
    EXPECT_EQ(d.Params.TGA_XPos, 7);
    EXPECT_TRUE(d.Params.TGA_Compressed);

    // An empty descriptor: ID length 1, one 0 byte, read back empty.
    params.TGA_Descriptor.clear();
    const std::string empty = Encode(bitmap, params);
    EXPECT_EQ(empty[0], 1);
    EXPECT_EQ(empty[18], 0);
    Decoded e;
    Decode(empty, e);
    EXPECT_EQ(e.Params.TGA_Descriptor, "");

    // 1-bit pictures stay 1-bit through our own reader.
    TKVBitmap bits;
    bits.Allocate(10, 3, kv1g);
    bits.Fill(0);
    bits.SetPixels_kv1g(9, 1, true);
    TIOParamsVals bilevel;
    bilevel.BitsPerSample = 1;
    bilevel.SamplesPerPixel = 1;
    Decoded b;
    Decode(Encode(bits, bilevel), b);
    ASSERT_EQ(b.Bitmap.GetPixelFormat(), kv1g);
    EXPECT_TRUE(b.Bitmap.GetPixels_kv1g(9, 1));
    EXPECT_FALSE(b.Bitmap.GetPixels_kv1g(8, 1));
}

// Hand-made files: row order and mirroring, a run across rows, 16-bit words, grey without a map.
TEST(TgaReader, OrientationPacketsAndPixelForms)
{
    const std::string pixels =
        std::string("\x01\x01\x01\x02\x02\x02", 6) + std::string("\x03\x03\x03\x04\x04\x04", 6);
    Decoded bottomUp, topDown, mirrored;
    Decode(Header(0, 0, 2, 0, 0, 2, 2, 24, 0x00) + pixels, bottomUp);
    Decode(Header(0, 0, 2, 0, 0, 2, 2, 24, 0x20) + pixels, topDown);
    Decode(Header(0, 0, 2, 0, 0, 2, 2, 24, 0x10) + pixels, mirrored);
    EXPECT_EQ(bottomUp.Bitmap.GetPixels_kv24RGB(0, 1).r, 1);
    EXPECT_EQ(topDown.Bitmap.GetPixels_kv24RGB(0, 0).r, 1);
    EXPECT_EQ(mirrored.Bitmap.GetPixels_kv24RGB(1, 1).r, 1);

    // A run packet of 4 covers both rows of a 2 x 2 image; 0x7FFF is 248 in each channel.
    Decoded run;
    Decode(Header(0, 0, 10, 0, 0, 2, 2, 16, 0x20) + "\x83\xff\x7f", run);
    ASSERT_FALSE(run.Aborted);
    EXPECT_EQ(run.Bitmap.GetPixels_kv24RGB(1, 1), (TRGB{248, 248, 248}));
    EXPECT_EQ(run.Params.BitsPerSample, 5);

    // 8 bits without a map are grey; 32 bits without alpha bits make no mask.
    Decoded grey;
    Decode(Header(0, 0, 3, 0, 0, 1, 1, 8, 0) + "\x80", grey);
    EXPECT_EQ(grey.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{128, 128, 128}));
    EXPECT_TRUE(grey.Params.TGA_GrayLevel);
    Decoded opaque;
    Decode(Header(0, 0, 2, 0, 0, 1, 1, 32, 0x00) + "\x01\x02\x03\x00", opaque);
    EXPECT_EQ(opaque.Mask, nullptr);

    // A colour map of 300 entries fills 256 and reports 256; the pixels follow the whole map.
    std::string map(300 * 3, '\0');
    map[3 * 255 + 2] = char(77);
    Decoded longMap;
    Decode(Header(0, 1, 1, 300, 24, 1, 1, 8, 0) + map + "\xff", longMap);
    ASSERT_FALSE(longMap.Aborted);
    EXPECT_EQ(longMap.Params.ColorMapCount, 256);
    EXPECT_EQ(longMap.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{0, 0, 77}));
}

TEST(TgaReader, RefusesBadHeadersAndIgnoresBadFooters)
{
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"depth 4", Header(0, 0, 3, 0, 0, 4, 4, 4, 0) + std::string(8, '\0')},
        {"1-bit RLE", Header(0, 0, 11, 0, 0, 8, 1, 1, 0) + std::string(8, '\0')},
        {"depth 15", Header(0, 0, 2, 0, 0, 2, 2, 15, 0) + std::string(8, '\0')},
        {"image type 4", Header(0, 0, 4, 0, 0, 2, 2, 24, 0) + std::string(12, '\0')},
        {"colour-map type 2", Header(0, 2, 2, 0, 0, 2, 2, 24, 0) + std::string(12, '\0')},
        {"width 0", Header(0, 0, 2, 0, 0, 0, 2, 24, 0)},
        {"24-bit indexes", Header(0, 1, 1, 2, 24, 1, 1, 24, 0) + std::string(9, '\0')},
        {"indexes without a colour map", Header(0, 0, 1, 0, 0, 1, 1, 8, 0) + std::string(9, '\0')},
        {"past the pixel budget", Header(0, 0, 2, 0, 0, 65535, 65535, 24, 0)},
        {"colour map cut", Header(0, 1, 1, 256, 24, 1, 1, 8, 0) + std::string(100, '\0')},
        {"header cut", Header(0, 0, 2, 0, 0, 2, 2, 24, 0).substr(0, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.bytes, d);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    }

    // Footers whose extension offset is 0, inside the header or past the end leave the defaults.
    const std::string image = Header(0, 0, 3, 0, 0, 1, 1, 8, 0) + "\x10" + std::string(495, 'A');
    for (const uint32_t offset : {0u, 5u, 19u, 20u, 100000u}) {
        SCOPED_TRACE(offset);
        std::string footer(26, '\0');
        for (int i = 0; i < 4; ++i) {
            footer[size_t(i)] = char(offset >> (8 * i));
        }
        footer.replace(8, 18, std::string("TRUEVISION-XFILE.\0", 18));
        Decoded d;
        Decode(image + footer, d);
        EXPECT_FALSE(d.Aborted);
        EXPECT_EQ(d.Params.TGA_Author, offset == 19 ? std::string(41, 'A') : "");
    }
}

// Data that ends before the last row fails, plain or run-length, and the rows it does not reach
// are black; a header of a few bytes promising 250 million pixels costs no work for each row.
TEST(TgaReader, RowsPastTheDataAreCleared)
{
    const std::string pixels = "\x01\x02\x03\x04\x05\x06\x07\x08\x09";
    for (const bool rle : {false, true}) {
        SCOPED_TRACE(rle ? "run-length" : "plain");
        // Bottom-up: the one whole row stored is the bitmap's last.
        const std::string data = rle ? "\x82" + pixels.substr(0, 3) + "\x81" + pixels.substr(3, 3) : pixels;
        Decoded d;
        Decode(Header(0, 0, rle ? 10 : 2, 0, 0, 3, 4, 24, 0) + data, d);
        EXPECT_TRUE(d.Aborted);
        ASSERT_EQ(d.Bitmap.GetHeight(), 4);
        for (int32_t y = 0; y < 2; ++y) {
            EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, y)) << "row " << y;
        }
        EXPECT_EQ(d.Bitmap.GetPixels_kv24RGB(0, 3), (TRGB{1, 2, 3}));
    }
    Decoded tall;
    Decode(kvtest::TempFolder::Read(std::string(KV_TEST_DATA_DIR) +
                                    "/fuzz/tga/rle-61439-by-4112-in-55-bytes.tga"),
           tall);
    EXPECT_TRUE(tall.Aborted);
}

// 250 million pixels cut after a row or packet: rows past it are left as the allocator clears them,
// the mask is not filled first, and the size is what ImageMagick reads from the header.
TEST(TgaReader, ACutPictureTakesMemoryByItsData)
{
    ASSERT_TRUE(kvtest::Installed("identify"));
    for (const char* name :
         {"rle-61439-by-4112-in-55-bytes.tga", "rle-alpha-one-packet-of-65535-by-4096.tga",
          "rle-grey-alpha-one-packet-of-65535-by-4096.tga", "alpha-one-row-of-4096-by-65535.tga"}) {
        SCOPED_TRACE(name);
        const std::string file = std::string(KV_TEST_DATA_DIR) + "/fuzz/tga/" + name;
        const std::string bytes = kvtest::TempFolder::Read(file);
        Decoded tall;
        EXPECT_LT(kvtest::ResidentGrowthOf([&] { Decode(bytes, tall); }), 64 * 1024);
        EXPECT_TRUE(tall.Aborted);
        EXPECT_EQ(kvtest::ToolOutput("identify -ping -format %wx%h " + file),
                  std::to_string(tall.Bitmap.GetWidth()) + "x" + std::to_string(tall.Bitmap.GetHeight()));
        EXPECT_EQ(tall.Mask != nullptr, std::string(name).find("alpha") != std::string::npos);
    }
}

// A file refused before its first row (for run-length data, before its first whole packet)
// leaves no picture-sized bitmap or mask behind: both stay as they were, and memory follows the
// data, not the header's size. ImageMagick reads none of these files either. One whole packet is
// a partial picture: the bitmap is made and the read fails.
TEST(TgaReader, RefusalsLeaveTheBitmapAsItWas)
{
    ASSERT_TRUE(kvtest::Installed("convert"));
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/tga/";
    const std::string withAlpha = Header(0, 0, 10, 0, 0, 3, 2, 32, 0x08);
    const struct
    {
        const char* name;
        std::string bytes;
        bool partial;
    } cases[] = {
        {"18 bytes for 10000 x 10000", kvtest::TempFolder::Read(corpus + "header-only-10000-by-10000.tga"),
         false},
        {"run-length, 18 bytes for 10000 x 10000",
         kvtest::TempFolder::Read(corpus + "rle-header-only-10000-by-10000.tga"), false},
        {"cut inside the first row", Header(0, 0, 2, 0, 0, 3, 2, 24, 0) + "\x01\x02\x03\x04\x05", false},
        {"a raw packet cut", withAlpha + "\x02\x01\x02\x03\x04\x05", false},
        {"a run packet without its pixel", withAlpha + "\x82\x01\x02", false},
        {"one whole packet", withAlpha + "\x81\x01\x02\x03\xff", true},
    };
    kvtest::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kvtest::ToolOutput("convert " + folder.Write("case.tga", c.bytes) + " ppm:-"), "");
        Decoded d;
        EXPECT_TRUE(kvtest::RefusedKeepingBitmap(
            d.Bitmap, d.Aborted, [&] { Decode(c.bytes, d); }, c.partial));
        ASSERT_EQ(d.Mask != nullptr, c.partial);
        if (c.partial) {
            // Stored bottom-up: the packet's two pixels start the last row, the rest black and clear.
            EXPECT_EQ(d.Bitmap.GetPixels_kv24RGB(1, 1), (TRGB{1, 2, 3}));
            EXPECT_EQ(d.Bitmap.GetPixels_kv24RGB(2, 1), (TRGB{}));
            EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, 0));
            EXPECT_EQ(d.Mask->GetPixel(1, 1), 255);
            EXPECT_EQ(d.Mask->GetPixel(2, 1) + d.Mask->GetPixel(0, 0) + d.Mask->GetPixel(2, 0), 0);
        }
    }
}

TEST(TgaProbe, TellsPlausibleHeaders)
{
    const struct
    {
        std::string bytes;
        bool found;
    } cases[] = {
        {Header(0, 0, 2, 0, 0, 2, 2, 24, 0), true},
        {Header(0, 0, 2, 0, 0, 2, 2, 15, 0), false},
        {Header(0, 1, 9, 256, 24, 2, 2, 8, 0), true},
        {Header(0, 0, 1, 0, 0, 2, 2, 8, 0), false}, // colour-mapped without a map
        {Header(0, 0, 2, 0, 0, 0, 2, 24, 0), false},
        {Header(0, 0, 2, 0, 0, 2, 2, 24, 0).substr(0, 17), false},
        {std::string(18, '\x01'), false},
    };
    for (const auto& c : cases) {
        TMemoryStream stream;
        stream.WriteBuffer("ab", 2);
        stream.WriteBuffer(c.bytes.data(), int64_t(c.bytes.size()));
        stream.SetPosition(2);
        EXPECT_EQ(Kvtgafil::TryTGA(stream), c.found);
        EXPECT_EQ(stream.Position(), 2);
    }
}
