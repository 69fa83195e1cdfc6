// The PCX codec: files from ppmtopcx and ImageMagick at every depth decode as pcxtoppm decodes
// them, what we write passes pcxtoppm, and hand-made headers and broken files end cleanly.
#include "imaging/codecs/pcx/pcxfilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string Rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";

struct Decoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
};

void Decode(const std::string& bytes, Decoded& d, bool paramsOnly = false)
{
    TMemoryStream stream;
    kvtest::FillStream(stream, bytes);
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    Pcxfilter::ReadPcxStream(stream, d.Bitmap, d.Params, stream.Size(), progress, paramsOnly);
}

std::string Encode(TKVBitmap& bitmap, TIOParamsVals& params, bool* aborted = nullptr)
{
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Pcxfilter::WritePcxStream(stream, bitmap, params, progress);
    if (aborted != nullptr) {
        *aborted = aborting;
    }
    return std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

// pcxtoppm reads only run-length encoded files; ImageMagick reads the plain ones.
kvtest::TPnmImage Reference(const std::string& file)
{
    const bool plain = kvtest::TempFolder::Read(file)[2] == 0;
    return kvtest::ScaledTo8Bits(
        kvtest::ParsePnm(kvtest::ToolOutput(plain ? "convert pcx:" + file + " ppm:-" : "pcxtoppm " + file)));
}

::testing::AssertionResult HaveTools()
{
    return kvtest::Installed({Rose, "ppmtopcx", "pcxtoppm", "convert"});
}

// A 128-byte header: encoding, bits per plane, planes, size and bytes per line.
std::string Header(int encoding, int bits, int planes, int width, int height, int bytesPerLine)
{
    std::string h(128, '\0');
    h[0] = 10;
    h[1] = 5;
    h[2] = char(encoding);
    h[3] = char(bits);
    h[8] = char((width - 1) & 255);
    h[9] = char((width - 1) >> 8);
    h[10] = char((height - 1) & 255);
    h[11] = char((height - 1) >> 8);
    h[65] = char(planes);
    h[66] = char(bytesPerLine & 255);
    h[67] = char(bytesPerLine >> 8);
    return h;
}

// Files of every layout that ppmtopcx and ImageMagick write, with what the reader reports.
struct TToolFile
{
    const char* name;
    std::string pipeline;
    int32_t bits, samples;
};

std::vector<TToolFile> ToolFiles()
{
    const std::string bilevel = "ppmtopgm " + Rose + " | pgmtopbm -threshold";
    return {
        {"ppmtopcx 1 bit", bilevel + " | ppmtopcx", 1, 1},
        {"ppmtopcx 16 colours in 4 planes", "pnmquant 16 " + Rose + " | ppmtopcx", 4, 1},
        {"ppmtopcx 16 colours packed", "pnmquant 16 " + Rose + " | ppmtopcx -packed", 4, 1},
        {"ppmtopcx 8 bits", "pnmquant 256 " + Rose + " | ppmtopcx -8bit", 8, 1},
        {"ppmtopcx 24 bits", "ppmtopcx -24bit " + Rose, 8, 3},
        {"ImageMagick 8 bits", "convert " + Rose + " -colors 200 -type palette pcx:-", 8, 1},
        {"ImageMagick 24 bits", "convert " + Rose + " -type truecolor pcx:-", 8, 3},
        {"ImageMagick plain 24 bits", "convert " + Rose + " -compress none pcx:-", 8, 3},
    };
}

// Runs Check on each tool file's bytes with the tools' own decoding of it.
void ForEachToolFile(
    const std::function<void(const TToolFile&, const std::string&, const kvtest::TPnmImage&)>& Check)
{
    ASSERT_TRUE(HaveTools());
    kvtest::TempFolder folder;
    for (const auto& c : ToolFiles()) {
        SCOPED_TRACE(c.name);
        const std::string file = folder.Write("in.pcx", kvtest::ToolOutput(c.pipeline));
        const kvtest::TPnmImage expected = Reference(file);
        ASSERT_TRUE(expected.Valid());
        Check(c, kvtest::TempFolder::Read(file), expected);
    }
}

} // namespace

TEST(PcxReader, DecodesToolFilesAsTheToolsDo)
{
    ForEachToolFile([](const TToolFile& c, const std::string& bytes, const kvtest::TPnmImage& expected) {
        Decoded d;
        Decode(bytes, d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetPixelFormat(), c.bits == 1 ? kv1g : kv24RGB);
        EXPECT_EQ(d.Params.BitsPerSample, c.bits);
        EXPECT_EQ(d.Params.SamplesPerPixel, c.samples);
        EXPECT_EQ(kvtest::MaxDifference(expected, kvtest::BitmapSamples(d.Bitmap)), 0);
    });
}

// Every depth, run-length encoded and plain, reads back through pcxtoppm (ImageMagick for plain
// files, which pcxtoppm does not read) as we read it.
TEST(PcxWriter, WritesEveryDepthThatTheToolsRead)
{
    ASSERT_TRUE(HaveTools());
    Decoded rose;
    const kvtest::TPnmImage image = kvtest::ParsePnm(kvtest::TempFolder::Read(Rose));
    kvtest::PnmToBitmap(image, rose.Bitmap);
    kvtest::TempFolder folder;
    const struct
    {
        int32_t bits, samples, planes, bitsPerPlane;
    } depths[] = {{1, 1, 1, 1}, {4, 1, 1, 4}, {8, 1, 1, 8}, {8, 3, 3, 8}, {16, 1, 3, 8}, {8, 4, 3, 8}};
    for (const auto& depth : depths) {
        kvtest::TPnmImage theirs;
        for (const TIOPCXCompression compression : {ioPCX_RLE, ioPCX_UNCOMPRESSED}) {
            SCOPED_TRACE(std::to_string(depth.bits) + "x" + std::to_string(depth.samples) + " rle " +
                         std::to_string(compression));
            TIOParamsVals params;
            params.BitsPerSample = depth.bits;
            params.SamplesPerPixel = depth.samples;
            params.PCX_Compression = compression;
            params.DpiX = 150;
            params.DpiY = 300;
            bool aborted = true;
            const std::string bytes = Encode(rose.Bitmap, params, &aborted);
            EXPECT_FALSE(aborted);
            ASSERT_GE(bytes.size(), 128u);
            EXPECT_EQ(uint8_t(bytes[3]), depth.bitsPerPlane);
            EXPECT_EQ(uint8_t(bytes[65]), depth.planes);
            EXPECT_EQ((uint8_t(bytes[66]) | uint8_t(bytes[67]) << 8) % 2, 0);
            // ImageMagick reads plain 1 and 4-bit files as other pictures than pcxtoppm reads
            // the same images run-length encoded: those are held to the encoded file's picture.
            if (compression == ioPCX_RLE || depth.bits >= 8) {
                theirs = Reference(folder.Write("out.pcx", bytes));
            }
            Decoded ours;
            Decode(bytes, ours);
            ASSERT_FALSE(ours.Aborted);
            EXPECT_EQ(ours.Params.DpiX, 150);
            EXPECT_EQ(ours.Params.DpiY, 300);
            EXPECT_EQ(kvtest::MaxDifference(theirs, kvtest::BitmapSamples(ours.Bitmap)), 0);
            if (depth.planes == 3) {
                EXPECT_EQ(kvtest::MaxDifference(theirs, image), 0);
            }
        }
    }
}

// Layouts the reader must get right without a tool to make them.
TEST(PcxReader, HandMadeLayouts)
{
    // A run that crosses the end of a line goes on at the start of the next.
    std::string colours(768, '\0');
    colours[3 * 5] = char(50);
    colours[3 * 7 + 2] = char(70);
    Decoded run;
    Decode(Header(1, 8, 1, 2, 2, 2) + "\xc3\x05\x07" + "\x0c" + colours, run);
    ASSERT_FALSE(run.Aborted);
    EXPECT_EQ(run.Bitmap.GetPixels_kv24RGB(1, 0), (TRGB{0, 0, 50}));
    EXPECT_EQ(run.Bitmap.GetPixels_kv24RGB(0, 1), (TRGB{0, 0, 50}));
    EXPECT_EQ(run.Bitmap.GetPixels_kv24RGB(1, 1), (TRGB{70, 0, 0}));

    // An 8-bit palette whose marker byte is not 12 is still the last 768 bytes; DPI 0 is the screen's.
    std::string palette(768, '\0');
    palette[3 * 7] = char(200);
    Decoded marker;
    Decode(Header(0, 8, 1, 2, 1, 2) + "\x07\x00" + "X" + palette, marker);
    ASSERT_FALSE(marker.Aborted);
    EXPECT_EQ(marker.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{0, 0, 200}));
    EXPECT_EQ(marker.Params.DpiX, Kvview::gSystemDPIX);
    EXPECT_EQ(marker.Params.ColorMapCount, 256);

    // 16 colours in four 1-bit planes read as 24 bits and report 4 bits in one sample.
    std::string planes = Header(0, 1, 4, 8, 1, 2);
    planes[16 + 3 * 9] = char(255); // colour 9: red
    planes +=
        std::string("\x80\0", 2) + std::string(2, '\0') + std::string(2, '\0') + std::string("\x80\0", 2);
    Decoded sixteen;
    Decode(planes, sixteen);
    ASSERT_FALSE(sixteen.Aborted);
    EXPECT_EQ(sixteen.Bitmap.GetPixelFormat(), kv24RGB);
    EXPECT_EQ(sixteen.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{0, 0, 255}));
    EXPECT_EQ(sixteen.Params.BitsPerSample, 4);
    EXPECT_EQ(sixteen.Params.SamplesPerPixel, 1);

    // The last line may lack its padding, which holds no pixel.
    Decoded unpadded;
    Decode(Header(0, 1, 1, 8, 2, 2) + std::string("\xff\x00\x80", 3), unpadded);
    EXPECT_FALSE(unpadded.Aborted);
    EXPECT_EQ(kvtest::BitmapSamples(unpadded.Bitmap).At(7, 0, 0), 255);
    EXPECT_EQ(kvtest::BitmapSamples(unpadded.Bitmap).At(0, 1, 0), 255);
}

namespace {

// The rows whose every plane line the data holds to its last pixel: one sequence, run-length encoded
// or plain, up to an 8-bit file's palette.
int32_t RowsHeld(const std::string& bytes)
{
    auto byte = [&](size_t at) { return int64_t(uint8_t(bytes[at])); };
    const int64_t bits = byte(3), planes = byte(65), lineLength = byte(66) | byte(67) << 8;
    const int64_t width = (byte(8) | byte(9) << 8) - (byte(4) | byte(5) << 8) + 1;
    const int64_t height = (byte(10) | byte(11) << 8) - (byte(6) | byte(7) << 8) + 1;
    const size_t end = bytes.size() - (bits == 8 && planes == 1 ? 768 : 0);
    int64_t lineBytes = 0;
    for (size_t at = 128; at < end; ++at) {
        if (bytes[2] == 1 && byte(at) >= 192) {
            lineBytes += at + 1 < end ? byte(at++) & 63 : 0;
        } else {
            ++lineBytes;
        }
    }
    const int64_t firstRow = (planes - 1) * lineLength + (width * bits + 7) / 8;
    return int32_t(
        lineBytes < firstRow ? 0 : std::min(height, (lineBytes - firstRow) / (planes * lineLength) + 1));
}

} // namespace

// Data that ends before the last row, in every layout, fails the read: the rows it holds are the
// tool's reading of the whole file, the rows it does not reach are black.
TEST(PcxReader, RowsPastTheDataAreCleared)
{
    ForEachToolFile([](const TToolFile&, std::string bytes, const kvtest::TPnmImage& expected) {
        // An 8-bit file keeps its palette: the cut goes into its lines.
        const bool palette = bytes[3] == 8 && bytes[65] == 1;
        const std::string tail = palette ? bytes.substr(bytes.size() - 769) : "";
        bytes = bytes.substr(0, 128 + (bytes.size() - 128 - tail.size()) / 2) + tail;
        const int32_t held = RowsHeld(bytes);
        ASSERT_GT(held, 0);
        ASSERT_LT(held, expected.Height);
        Decoded d;
        Decode(bytes, d);
        EXPECT_TRUE(d.Aborted);
        ASSERT_EQ(d.Bitmap.GetHeight(), expected.Height);
        // The tools print colour, top row first.
        const std::vector<uint16_t> ours = kvtest::BitmapSamples(d.Bitmap).Samples;
        ASSERT_EQ(ours.size(), expected.Samples.size());
        const auto heldSamples = std::ptrdiff_t(held) * 3 * expected.Width;
        EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + heldSamples, expected.Samples.begin()));
        for (int32_t y = held; y < expected.Height; y++)
            EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, y)) << "row " << y;
    });
}

// A file refused before its first row is whole leaves no picture-sized bitmap behind: the bitmap
// stays as it was, and memory follows the data, not the header's size. The tools read none of
// these files either.
TEST(PcxReader, RefusalsLeaveTheBitmapAsItWas)
{
    ASSERT_TRUE(HaveTools());
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/pcx/";
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"ppmtopcx's header of 10000 x 10000",
         kvtest::TempFolder::Read(corpus + "24-bit-10000-by-10000-header-only.pcx")},
        {"16 bytes for 16384 x 16384",
         kvtest::TempFolder::Read(corpus + "24-bit-16384-by-16384-in-144-bytes.pcx")},
        {"cut in the first row's red line", kvtest::ToolOutput("ppmtopcx -24bit " + Rose).substr(0, 140)},
        {"plain, cut in the first row's blue line", Header(0, 8, 3, 4, 2, 4) + std::string(10, '\x7f')},
    };
    kvtest::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(Reference(folder.Write("case.pcx", c.bytes)).Valid());
        Decoded d;
        EXPECT_TRUE(kvtest::RefusedKeepingBitmap(d.Bitmap, d.Aborted, [&] { Decode(c.bytes, d); }));
    }
}

TEST(PcxReader, RefusesInconsistentHeaders)
{
    std::string xBelow = Header(1, 8, 3, 4, 4, 4);
    xBelow[4] = 9; // Xmin 9 > Xmax 3
    std::string yBelow = Header(1, 8, 3, 4, 4, 4);
    yBelow[6] = 9;
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"Xmax below Xmin", xBelow + std::string(100, '\0')},
        {"Ymax below Ymin", yBelow + std::string(100, '\0')},
        {"8-bit data too short for its palette", Header(1, 8, 1, 4, 4, 4) + std::string(700, '\0')},
        {"bytes per line below the pixels", Header(1, 8, 3, 40, 4, 20) + std::string(1000, '\0')},
        {"2 bits", Header(1, 2, 1, 4, 4, 2) + std::string(100, '\0')},
        {"2 planes", Header(1, 8, 2, 4, 4, 4) + std::string(100, '\0')},
        {"more than 8 bits", Header(1, 16, 1, 4, 4, 8) + std::string(100, '\0')},
        {"encoding 2", Header(2, 8, 3, 4, 4, 4) + std::string(100, '\0')},
        {"past the pixel budget", Header(1, 1, 1, 65535, 65535, 8192) + std::string(100, '\0')},
        {"header cut", Header(1, 8, 3, 4, 4, 4).substr(0, 100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.bytes, d);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    }
}

TEST(PcxWriter, PadsLinesToEvenLengths)
{
    // Three pixels of 24 bits: 4 bytes per line, one pad byte after each plane's line.
    TKVBitmap bitmap;
    bitmap.Allocate(3, 1, kv24RGB);
    bitmap.SetPixels_kv24RGB(0, 0, TRGB{1, 2, 3});
    bitmap.SetPixels_kv24RGB(1, 0, TRGB{4, 5, 6});
    bitmap.SetPixels_kv24RGB(2, 0, TRGB{7, 8, 9});
    TIOParamsVals params;
    params.PCX_Compression = ioPCX_UNCOMPRESSED;
    const std::string plain = Encode(bitmap, params);
    ASSERT_EQ(plain.size(), 128u + 12u);
    EXPECT_EQ(plain[66], 4);
    EXPECT_EQ(plain.substr(128), std::string("\x03\x06\x09\0\x02\x05\x08\0\x01\x04\x07\0", 12));
    params.PCX_Compression = ioPCX_RLE;
    // Single bytes below 192 stay themselves; the odd line gets its 0.
    EXPECT_EQ(Encode(bitmap, params).substr(128), plain.substr(128));

    // A kv1g picture writes a black and white header palette.
    TKVBitmap bits;
    bits.Allocate(16, 1, kv1g);
    bits.Fill(0);
    params.BitsPerSample = 1;
    const std::string bilevel = Encode(bits, params);
    EXPECT_EQ(bilevel.substr(16, 6), std::string("\0\0\0\xff\xff\xff", 6));
}
