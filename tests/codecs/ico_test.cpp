// The icon and cursor codecs: gdk-pixbuf's reference icons and ImageMagick's own icons entry by
// entry, what the writers make as icotool lists it, and hand-made directories, masks and cursors.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string Reftests = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/reftests/";
const std::string MagickImages = "/usr/share/doc/imagemagick-6-common/html/images/";
const std::string MagickFavicon = "/usr/share/doc/imagemagick-6-common/html/www/favicon.ico";
const std::string Rose = MagickImages + "rose.pnm";

struct Decoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TKVMask> Mask;
};

void Decode(const std::string& bytes, Decoded& d, int32_t index = 0, bool cursor = false)
{
    TMemoryStream stream;
    kvtest::FillStream(stream, bytes);
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    if (cursor) {
        d.Params.CUR_ImageIndex = index;
        Bmpfilt::CURReadStream(stream, d.Bitmap, d.Params, false, progress, d.Mask, false);
    } else {
        d.Params.ICO_ImageIndex = index;
        Bmpfilt::ICOReadStream(stream, d.Bitmap, d.Params, false, progress, d.Mask, false);
    }
}

// The largest difference from an RGBA reference: colour where the reference is opaque, alpha
// everywhere (255 where we made no mask).
int32_t DifferenceFromRgba(Decoded& d, const std::string& rgba)
{
    const int32_t w = d.Bitmap.GetWidth(), h = d.Bitmap.GetHeight();
    if (rgba.size() != size_t(w) * size_t(h) * 4) {
        return -1;
    }
    int32_t worst = 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const auto* ref = reinterpret_cast<const uint8_t*>(rgba.data()) + (size_t(y) * w + x) * 4;
            const int alpha = d.Mask != nullptr ? d.Mask->GetPixel(x, y) : 255;
            worst = std::max(worst, std::abs(ref[3] - alpha));
            if (ref[3] == 255) {
                const TRGB ours = d.Bitmap.GetPixels(x, y);
                worst = std::max(
                    {worst, std::abs(ref[0] - ours.r), std::abs(ref[1] - ours.g), std::abs(ref[2] - ours.b)});
            }
        }
    }
    return worst;
}

// A directory of one entry followed by a 40-byte header, a palette and rows.
std::string Icon(int type, int entryWidth, int entryHeight, int colourCount, int planes, int entryBits,
                 int headerWidth, int headerHeight, int headerBits, const std::string& data)
{
    std::string file(6 + 16 + 40, '\0');
    file[2] = char(type);
    file[4] = 1;
    file[6] = char(entryWidth);
    file[7] = char(entryHeight);
    file[8] = char(colourCount);
    file[10] = char(planes);
    file[12] = char(entryBits);
    const uint32_t bytes = uint32_t(40 + data.size());
    for (int i = 0; i < 4; ++i) {
        file[14 + size_t(i)] = char(bytes >> (8 * i));
    }
    file[18] = 22;
    file[22] = 40;
    for (int i = 0; i < 4; ++i) {
        file[26 + size_t(i)] = char(uint32_t(headerWidth) >> (8 * i));
        file[30 + size_t(i)] = char(uint32_t(headerHeight) >> (8 * i));
    }
    file[34] = 1;
    file[36] = char(headerBits);
    return file + data;
}

::testing::AssertionResult HaveSamples()
{
    return kvtest::Installed({Reftests + "squares.ico", MagickFavicon, "convert", "icotool"});
}

// ImageMagick's RGBA of an image: a file, or an entry of one ("'file[1]'").
std::string MagickRgba(const std::string& image)
{
    return kvtest::ToolOutput("convert " + image + " -depth 8 rgba:-");
}

// ImageMagick's alpha for a picture: from its grey, or a transparent 20 x 10 top-left corner of
// the 70 x 46 rose.
const std::string GreyAlpha = " \\( +clone -colorspace gray \\) -alpha off -compose copy_opacity -composite";
const std::string CornerAlpha =
    " \\( -size 70x46 xc:white -fill black -draw 'rectangle 0,0 19,9' \\) -alpha off "
    "-compose copy_opacity -composite";

// What icotool makes with its options of the picture an ImageMagick command makes (the picture
// ends them: "-r" stores it as PNG); empty when either fails.
std::string IcotoolIcon(const kvtest::TempFolder& folder, const std::string& picture,
                        const std::string& options)
{
    const std::string png = folder.File("picture.png"), icon = folder.File("icotool.ico");
    if (kvtest::ToolExitCode(picture + " PNG32:" + png) != 0 ||
        kvtest::ToolExitCode("icotool -c -o " + icon + " " + options + " " + png) != 0) {
        return "";
    }
    return kvtest::TempFolder::Read(icon);
}

// The icon the writer makes of the picture at each size and bit count; empty when it fails.
std::string WriteIcon(TKVBitmap& picture, TIOParamsVals& params, std::span<const int32_t[2]> sizes,
                      std::span<const int32_t> bitCounts)
{
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Bmpfilt::ICOWriteStream(stream, picture, params, progress, sizes, bitCounts);
    return aborting ? std::string()
                    : std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

} // namespace

// squares.ico and the 128-pixel entry of bug785447.ico equal gdk-pixbuf's references.
TEST(IcoReader, DecodesGdkPixbufReferences)
{
    ASSERT_TRUE(HaveSamples());
    Decoded squares;
    Decode(kvtest::TempFolder::Read(Reftests + "squares.ico"), squares);
    ASSERT_FALSE(squares.Aborted);
    EXPECT_EQ(DifferenceFromRgba(squares, MagickRgba(Reftests + "squares.ico.ref.png")), 0);

    const std::string bug = kvtest::TempFolder::Read(Reftests + "bug785447.ico");
    Decoded sizes;
    Decode(bug, sizes);
    int32_t index = -1;
    for (int32_t i = 0; i < 16; ++i) {
        if (sizes.Params.ICO_Sizes[i][0] == 128 && sizes.Params.ICO_BitCount[i] == 32) {
            index = i;
        }
    }
    ASSERT_GE(index, 0);
    Decoded large;
    Decode(bug, large, index);
    ASSERT_FALSE(large.Aborted);
    EXPECT_EQ(large.Bitmap.GetWidth(), 128);
    EXPECT_EQ(DifferenceFromRgba(large, MagickRgba(Reftests + "bug785447.ico.ref.png")), 0);
}

// Every entry of five icons (4, 8 and 32 bits, PNG entries of 256 pixels among them) decodes
// as ImageMagick decodes it, at the size identify gives.
TEST(IcoReader, EveryEntryDecodesAsImageMagickDoes)
{
    ASSERT_TRUE(HaveSamples());
    int32_t entries = 0;
    for (const std::string& file :
         {Reftests + "squares.ico", Reftests + "bug785447.ico", MagickImages + "ImageMagick.ico",
          MagickImages + "wand.ico", MagickFavicon}) {
        const std::string bytes = kvtest::TempFolder::Read(file);
        TMemoryStream stream;
        kvtest::FillStream(stream, bytes);
        const int32_t count = Bmpfilt::_EnumICOImStream(stream);
        ASSERT_GT(count, 0);
        for (int32_t i = 0; i < count; ++i) {
            SCOPED_TRACE(file + "[" + std::to_string(i) + "]");
            Decoded d;
            Decode(bytes, d, i);
            ASSERT_FALSE(d.Aborted);
            const std::string entry = "'" + file + "[" + std::to_string(i) + "]'";
            EXPECT_EQ(kvtest::ToolOutput("identify -format '%w %h' " + entry),
                      std::to_string(d.Params.Width) + " " + std::to_string(d.Params.Height));
            EXPECT_EQ(DifferenceFromRgba(d, MagickRgba(entry)), 0);
            ++entries;
        }
    }
    EXPECT_EQ(entries, 1 + 18 + 3 + 3 + 5);
}

// The AND mask is the transparency of a 24-bit icon or cursor, as ImageMagick reads it, inverting
// pixels (the XOR colour not black) included; a 32-bit image takes its alpha bytes alone, all 0
// too, as ImageMagick and icotool take them.
TEST(IcoReader, AndMasksAreTheTransparencyOfEveryDepthBut32Bits)
{
    ASSERT_TRUE(HaveSamples());
    kvtest::TempFolder folder;
    // 4 x 2 pixels of no black, bottom row first; the AND rows mark pixels 0 and 3 of the bottom
    // row and 1 and 3 of the top one.
    std::string xor24, xor32;
    for (int i = 0; i < 8; ++i) {
        const std::string pixel{char(40 * i), char(255 - 30 * i), char(17 * i)};
        xor24 += pixel;
        xor32 += pixel + '\0';
    }
    const std::string andRows = std::string("\x90\0\0\0", 4) + std::string("\x50\0\0\0", 4);
    const std::string corner = "convert " + Rose + CornerAlpha;
    const struct
    {
        const char* name;
        std::string bytes;
        bool cursor;
        int32_t transparent;
    } cases[] = {
        {"icotool's 24-bit icon", IcotoolIcon(folder, corner, "-b 24"), false, 20 * 10},
        {"icotool's 24-bit cursor", IcotoolIcon(folder, corner, "--cursor -X 3 -Y 4 -b 24"), true, 20 * 10},
        {"24 bits, inverting pixels", Icon(1, 4, 2, 0, 1, 24, 4, 4, 24, xor24 + andRows), false, 4},
        {"32 bits, alpha all 0", Icon(1, 4, 2, 0, 1, 32, 4, 4, 32, xor32 + andRows), false, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.bytes, d, 0, c.cursor);
        ASSERT_FALSE(d.Aborted);
        ASSERT_NE(d.Mask, nullptr);
        EXPECT_EQ(
            DifferenceFromRgba(d, MagickRgba((c.cursor ? "CUR:" : "ICO:") + folder.Write("case", c.bytes))),
            0);
        int32_t transparent = 0;
        for (int32_t y = 0; y < d.Bitmap.GetHeight(); ++y) {
            for (int32_t x = 0; x < d.Bitmap.GetWidth(); ++x) {
                transparent += d.Mask->GetPixel(x, y) == 0;
            }
        }
        EXPECT_EQ(transparent, c.transparent);
    }
}

// The sizes and depths asked for, each as icotool lists it and as our reader reads it back.
TEST(IcoWriter, WritesEverySizeAndDepthIcotoolLists)
{
    ASSERT_TRUE(HaveSamples());
    TKVBitmap rose;
    kvtest::PnmToBitmap(kvtest::ParsePnm(kvtest::TempFolder::Read(Rose)), rose);
    // A transparent corner, which every form carries.
    TKVBitmap* alpha = rose.GetAlphaChannel();
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            alpha->SetPixels_kv8(x, y, 0);
        }
    }
    const int32_t sizes[][2] = {{16, 16}, {32, 32}, {48, 40}, {64, 64}, {256, 256}};
    const int32_t bits[] = {1, 4, 8, 24, 32};
    TIOParamsVals params;
    const std::string bytes = WriteIcon(rose, params, sizes, bits);
    ASSERT_FALSE(bytes.empty());
    kvtest::TempFolder folder;
    const std::string file = folder.Write("out.ico", bytes);
    const std::string listing = kvtest::ToolOutput("icotool -l " + file);
    const char* expected[] = {
        "--index=1 --width=16 --height=16 --bit-depth=1 --palette-size=2",
        "--index=2 --width=32 --height=32 --bit-depth=4 --palette-size=16",
        "--index=3 --width=48 --height=40 --bit-depth=8 --palette-size=256",
        "--index=4 --width=64 --height=64 --bit-depth=24 --palette-size=0",
        "--index=5 --width=256 --height=256 --bit-depth=32 --palette-size=0",
    };
    for (const char* line : expected) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    }
    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        Decoded d;
        Decode(bytes, d, i);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), sizes[i][0]);
        EXPECT_EQ(d.Bitmap.GetHeight(), sizes[i][1]);
        EXPECT_EQ(d.Params.ICO_BitCount[i], bits[i]);
        EXPECT_EQ(d.Mask->GetPixel(0, 0), 0);
        EXPECT_EQ(d.Mask->GetPixel(sizes[i][0] - 1, sizes[i][1] - 1), 255);
        // ImageMagick sees the same picture where it is opaque.
        const std::string entry = "'" + file + "[" + std::to_string(i) + "]'";
        EXPECT_EQ(DifferenceFromRgba(d, MagickRgba(entry)), 0);
    }
}

// Hand-made icons: sizes from the directory and the header, depth from the colour count, the
// 1-bit background rule, a BMP in place of an icon, and a 4-bit row of odd width.
TEST(IcoReader, DirectoryHeaderAndMaskRules)
{
    // 1 bit, 2 x 1, black and white: pixel 0 transparent (XOR 0, AND 1), pixel 1 inverting
    // (XOR 1, AND 1).
    const std::string palette = std::string("\0\0\0\0", 4) + std::string("\xff\xff\xff\0", 4);
    const std::string rows = std::string("\x40\0\0\0", 4) + std::string("\xc0\0\0\0", 4);
    const std::string mono = Icon(1, 2, 1, 2, 1, 1, 2, 2, 1, palette + rows);
    for (const bool white : {true, false}) {
        Decoded d;
        d.Params.ICO_Background = white ? TRGB{255, 255, 255} : TRGB{10, 20, 30};
        TMemoryStream stream;
        kvtest::FillStream(stream, mono);
        TProgressRec progress = kvtest::ProgressInto(d.Aborted);
        Bmpfilt::ICOReadStream(stream, d.Bitmap, d.Params, false, progress, d.Mask, false);
        ASSERT_EQ(d.Bitmap.GetPixelFormat(), kv1g);
        EXPECT_EQ(d.Bitmap.GetPixels_kv1g(0, 0), white);
        EXPECT_EQ(d.Bitmap.GetPixels_kv1g(1, 0), !white);
        EXPECT_EQ(d.Mask->GetPixel(0, 0), 0);
    }

    // A white-and-black palette stays 1-bit with its bits turned; another pair is colour.
    const std::string turned = std::string("\xff\xff\xff\0", 4) + std::string("\0\0\0\0", 4);
    Decoded inverted;
    Decode(Icon(1, 2, 1, 2, 1, 1, 2, 2, 1, turned + std::string("\x80\0\0\0", 4) + std::string(4, '\0')),
           inverted);
    ASSERT_EQ(inverted.Bitmap.GetPixelFormat(), kv1g);
    EXPECT_FALSE(inverted.Bitmap.GetPixels_kv1g(0, 0));
    EXPECT_TRUE(inverted.Bitmap.GetPixels_kv1g(1, 0));
    const std::string red = std::string("\0\0\xff\0", 4) + std::string("\xff\0\0\0", 4);
    Decoded coloured;
    Decode(Icon(1, 2, 1, 2, 1, 1, 2, 2, 1, red + std::string("\x80\0\0\0", 4) + std::string(4, '\0')),
           coloured);
    ASSERT_EQ(coloured.Bitmap.GetPixelFormat(), kv24RGB);
    EXPECT_EQ(coloured.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{255, 0, 0}));

    // 4 bits, 3 pixels: the third is the high nibble of the second byte. No bit count in the
    // directory or the header: the colour count tells.
    std::string sixteen(64, '\0');
    sixteen[4 * 7 + 1] = char(200);
    Decoded nibbles;
    Decode(Icon(1, 3, 1, 16, 0, 0, 3, 2, 0, sixteen + std::string("\x00\x70\0\0", 4) + std::string(4, '\0')),
           nibbles);
    ASSERT_FALSE(nibbles.Aborted);
    EXPECT_EQ(nibbles.Bitmap.GetPixels_kv24RGB(2, 0), (TRGB{0, 200, 0}));
    EXPECT_EQ(nibbles.Params.BitsPerSample, 4);

    // A 32 x 32 entry whose header says 48 x 96 is 48 x 48; a width byte of 0 takes the header's 256.
    const std::string pixels48(48 * 48 * 4 + 48 * 8, '\0');
    Decoded header;
    Decode(Icon(1, 32, 32, 0, 1, 32, 48, 96, 32, pixels48), header);
    EXPECT_EQ(header.Bitmap.GetWidth(), 48);
    EXPECT_EQ(header.Bitmap.GetHeight(), 48);
    Decoded wide;
    Decode(Icon(1, 0, 1, 0, 1, 24, 256, 2, 24, std::string(256 * 3 + 32, '\0')), wide);
    EXPECT_EQ(wide.Bitmap.GetWidth(), 256);
    EXPECT_EQ(wide.Params.ICO_Sizes[0][0], 256);
    EXPECT_EQ(wide.Mask->GetPixel(0, 0), 255);

    // A cursor: hot spot from the directory's planes and bit-count fields.
    Decoded cursor;
    Decode(Icon(2, 2, 1, 2, 5, 7, 2, 2, 1, palette + rows), cursor, 0, true);
    ASSERT_FALSE(cursor.Aborted);
    EXPECT_EQ(cursor.Params.CUR_XHotSpot, 5);
    EXPECT_EQ(cursor.Params.CUR_YHotSpot, 7);

    // A BMP where an icon was expected.
    TKVBitmap small;
    small.Allocate(3, 2, kv24RGB);
    small.Fill(0);
    TIOParamsVals params;
    TMemoryStream bmp;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Bmpfilt::BMPWriteStream(bmp, small, params, progress);
    Decoded asBmp;
    Decode(std::string(static_cast<const char*>(bmp.Memory()), size_t(bmp.Size())), asBmp);
    EXPECT_FALSE(asBmp.Aborted);
    EXPECT_EQ(asBmp.Bitmap.GetWidth(), 3);

    // A directory of 20 entries fills the 16 sizes there are.
    std::string many(6 + 20 * 16, '\0');
    many[2] = 1;
    many[4] = 20;
    for (int i = 0; i < 20; ++i) {
        many[6 + 16 * size_t(i)] = char(i + 1);
    }
    Decoded twenty;
    Decode(many, twenty, 99);
    EXPECT_FALSE(twenty.Aborted); // an index past the directory is the caller's to tell
    EXPECT_EQ(twenty.Params.ICO_Sizes[15][0], 0);
    Decoded listed;
    Decode(many, listed, 19);
    EXPECT_EQ(listed.Params.ICO_Sizes[15][0], 16);
}

TEST(IcoReader, RefusesEntriesThatPassTheirData)
{
    std::string offsetPast = Icon(1, 2, 2, 0, 1, 24, 2, 4, 24, std::string(40, '\0'));
    offsetPast[18] = char(200);
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"offset past the file", offsetPast},
        {"rows past the data", Icon(1, 0, 0, 0, 1, 24, 200, 400, 24, std::string(100, '\0'))},
        {"header past the pixel budget", Icon(1, 0, 0, 0, 1, 24, 60000, 120000, 24, std::string(100, '\0'))},
        {"no bit count anywhere", Icon(1, 2, 2, 0, 1, 0, 2, 4, 0, std::string(40, '\0'))},
        {"16 bits", Icon(1, 2, 2, 0, 1, 16, 2, 4, 16, std::string(40, '\0'))},
        {"negative height", Icon(1, 0, 0, 0, 1, 24, 2, -4, 24, std::string(40, '\0'))},
        {"directory cut", Icon(1, 2, 2, 0, 1, 24, 2, 4, 24, "").substr(0, 12)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.bytes, d);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    }
}

// Cut inside the AND mask, the rows past the whole ones are opaque, as ImageMagick reads them cleared;
// a 32-bit image, whose alpha bytes are its transparency, loses nothing.
TEST(IcoReader, MasksCutShortFailKeepingTheWholeRows)
{
    ASSERT_TRUE(HaveSamples());
    kvtest::TempFolder folder;
    const std::string rose = "convert " + Rose;
    const struct
    {
        const char* name;
        std::string png, options;
        bool aborted;
    } layouts[] = {
        {"24-bit", rose + CornerAlpha, "-b 24", true},
        {"8-bit", rose + " -colors 200" + CornerAlpha, "-b 8", true},
        {"1-bit", rose + " -monochrome" + CornerAlpha, "-b 1", true},
        {"24-bit cursor", rose + CornerAlpha, "--cursor -b 24", true},
        {"32-bit", rose + GreyAlpha, "", false},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::string icon = IcotoolIcon(folder, layout.png, layout.options);
        ASSERT_FALSE(icon.empty());
        // The rose's AND rows of 12 bytes end the file: five corner rows lose their mask, one but a byte.
        const size_t wholeEnd = icon.size() - 5 * 12;
        std::string expected = icon;
        std::fill(expected.begin() + std::ptrdiff_t(wholeEnd), expected.end(), '\0');
        Decoded d;
        Decode(icon.substr(0, wholeEnd + 1), d, 0, icon[2] == 2);
        EXPECT_EQ(d.Aborted, layout.aborted);
        const std::string kind = icon[2] == 2 ? "CUR:" : "ICO:";
        EXPECT_EQ(DifferenceFromRgba(
                      d, MagickRgba(kind + folder.Write("expected", layout.aborted ? expected : icon))),
                  0);
    }
}

// A bitmap file given as an icon, promising 83,886,080 rows in 132 bytes, fails at the end of its
// data with the rows past it black (the suite runs this once more under two heap fill patterns).
TEST(IcoReader, RowsPastTheDataOfABitmapAreCleared)
{
    Decoded d;
    Decode(kvtest::TempFolder::Read(std::string(KV_TEST_DATA_DIR) + "/fuzz/ico/bitmap-2-by-83886080-cut.ico"),
           d);
    EXPECT_TRUE(d.Aborted);
    ASSERT_EQ(d.Bitmap.GetWidth(), 2);
    ASSERT_EQ(d.Bitmap.GetHeight(), 83886080);
    for (const int32_t y : {0, 41943040, 83886080 - 100}) {
        EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, y)) << "row " << y;
    }
}

TEST(IcoProbe, TellsIconsFromCursors)
{
    const std::string icon = Icon(1, 2, 1, 2, 1, 1, 2, 2, 1, std::string(16, '\0'));
    std::string cursor = icon;
    cursor[2] = 2;
    std::string reservedSet = icon;
    reservedSet[9] = 1;
    std::string offsetInDirectory = icon;
    offsetInDirectory[18] = 10;
    const struct
    {
        const std::string& bytes;
        bool icon, cursor;
    } cases[] = {
        {icon, true, false},
        {cursor, false, true},
        {reservedSet, false, false},
        {offsetInDirectory, false, false},
    };
    for (const auto& c : cases) {
        TMemoryStream stream;
        kvtest::FillStream(stream, c.bytes);
        EXPECT_EQ(Bmpfilt::ICOTryStream(stream), c.icon);
        EXPECT_EQ(Bmpfilt::CURTryStream(stream), c.cursor);
        EXPECT_EQ(stream.Position(), 0);
        EXPECT_EQ(Bmpfilt::_EnumICOImStream(stream), 1);
    }
}

// Ready pictures keep their own size and the depth their parameters give; a failed write
// leaves the stream as it was.
TEST(IcoWriter, WritesReadyPicturesAndCutsBackOnFailure)
{
    TKVBitmap colour, bits;
    colour.Allocate(20, 10, kv24RGB);
    colour.Fill(0);
    colour.SetPixels_kv24RGB(3, 4, TRGB{1, 2, 3});
    bits.Allocate(9, 9, kv1g);
    bits.Fill(0);
    bits.SetPixels_kv1g(8, 8, true);
    TIOParamsVals colourParams, bitsParams;
    colourParams.BitsPerSample = 8;
    colourParams.SamplesPerPixel = 3;
    const Bmpfilt::TKVIconImage images[] = {{&colour, &colourParams}, {&bits, &bitsParams}};
    TMemoryStream stream;
    stream.WriteBuffer("xyz", 3);
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Bmpfilt::ICOWriteStream2(stream, images, progress);
    ASSERT_FALSE(aborting);
    const std::string bytes =
        std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size())).substr(3);
    Decoded first, second;
    Decode(bytes, first, 0);
    Decode(bytes, second, 1);
    EXPECT_EQ(first.Bitmap.GetPixels_kv24RGB(3, 4), (TRGB{1, 2, 3}));
    EXPECT_EQ(first.Params.BitsPerSample, 8);
    EXPECT_EQ(first.Params.SamplesPerPixel, 3);
    ASSERT_EQ(second.Bitmap.GetPixelFormat(), kv1g);
    EXPECT_TRUE(second.Bitmap.GetPixels_kv1g(8, 8));
    EXPECT_EQ(bitsParams.BitsPerSample, 1);

    TKVBitmap tooLarge;
    tooLarge.Allocate(300, 2, kv24RGB);
    const Bmpfilt::TKVIconImage failing[] = {{&colour, &colourParams}, {&tooLarge, &colourParams}};
    TMemoryStream cut;
    cut.WriteBuffer("xyz", 3);
    aborting = false;
    Bmpfilt::ICOWriteStream2(cut, failing, progress);
    EXPECT_TRUE(aborting);
    EXPECT_EQ(cut.Size(), 3);
}

namespace {

// What an icon written holds under its AND mask, read from its bytes: the pixels the mask marks,
// how many of them are not black in the XOR image, and the palette.
struct TMaskedPixels
{
    int32_t Transparent = 0;
    int32_t NotBlack = 0;
    std::vector<TRGB> Palette;
};

TMaskedPixels MaskedPixels(const std::string& icon, int32_t index)
{
    auto byte = [&](size_t at) { return uint32_t(uint8_t(icon.at(at))); };
    auto u32 = [&](size_t at) {
        return byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
    };
    const size_t start = u32(6 + 16 * size_t(index) + 12);
    const size_t width = u32(start + 4), height = u32(start + 8) / 2, bits = byte(start + 14);
    const size_t palette = start + u32(start), colours = bits <= 8 ? size_t(1) << bits : 0;
    const size_t xorStride = (width * bits + 31) / 32 * 4, andStride = (width + 31) / 32 * 4;
    const size_t xorRows = palette + 4 * colours, andRows = xorRows + xorStride * height;
    TMaskedPixels result;
    for (size_t i = 0; i < colours; ++i) {
        result.Palette.push_back(TRGB{uint8_t(byte(palette + 4 * i)), uint8_t(byte(palette + 4 * i + 1)),
                                      uint8_t(byte(palette + 4 * i + 2))});
    }
    for (size_t k = 0; k < height; ++k) {
        const size_t row = xorRows + k * xorStride;
        for (size_t x = 0; x < width; ++x) {
            if ((byte(andRows + k * andStride + x / 8) >> (7 - x % 8) & 1) == 0) {
                continue;
            }
            ++result.Transparent;
            TRGB colour;
            if (bits <= 8) {
                const size_t bitOffset = x * bits;
                const size_t value = byte(row + bitOffset / 8) >> (8 - bits - bitOffset % 8) & (colours - 1);
                colour = result.Palette.at(value);
            } else {
                colour = TRGB{uint8_t(byte(row + 3 * x)), uint8_t(byte(row + 3 * x + 1)),
                              uint8_t(byte(row + 3 * x + 2))};
            }
            result.NotBlack += !(colour == TRGB{0, 0, 0});
        }
    }
    return result;
}

} // namespace

// Windows draws an icon as (screen AND mask) XOR image: a pixel under the AND mask shows nothing
// only when its XOR colour is black. Every depth with an AND mask writes its transparent pixels
// black, the palette forms through a black entry beside the picture's own colours; ImageMagick
// reads the opaque colours of a picture that fits its palette exactly.
TEST(IcoWriter, TransparentPixelsAreBlackUnderTheAndMask)
{
    ASSERT_TRUE(HaveSamples());
    // Three colours and none black; a photograph; black and white. Each has a transparent
    // top-left corner, white as the reader leaves it; the photograph's is one pixel, too few to
    // bring black into its quantized palettes.
    TKVBitmap three, rose, bilevel;
    three.Allocate(70, 46, kv24RGB);
    bilevel.Allocate(70, 46, kv1g);
    const TRGB colours[] = {{0, 0, 255}, {0, 200, 0}, {250, 0, 0}};
    for (int32_t y = 0; y < 46; ++y) {
        for (int32_t x = 0; x < 70; ++x) {
            const bool corner = x < 20 && y < 10;
            three.SetPixels_kv24RGB(x, y, corner ? TRGB{255, 255, 255} : colours[(x + y) % 3]);
            bilevel.SetPixels_kv1g(x, y, corner || (x + y) % 2 == 0);
            three.GetAlphaChannel()->SetPixels_kv8(x, y, corner ? 0 : 255);
            bilevel.GetAlphaChannel()->SetPixels_kv8(x, y, corner ? 0 : 255);
        }
    }
    kvtest::PnmToBitmap(kvtest::ParsePnm(kvtest::TempFolder::Read(Rose)), rose);
    rose.SetPixels_kv24RGB(0, 0, TRGB{255, 255, 255});
    rose.GetAlphaChannel()->SetPixels_kv8(0, 0, 0);
    Decoded expected; // the three colours, their alpha channel as the mask
    expected.Bitmap.Assign(&three);
    expected.Mask = std::make_unique<TKVMask>();
    three.GetAlphaChannel()->CopyToTKVMask(expected.Mask.get());
    const struct
    {
        const char* name;
        TKVBitmap* picture;
        int32_t transparent;
    } pictures[] = {
        {"three colours", &three, 20 * 10}, {"photograph", &rose, 1}, {"bilevel", &bilevel, 20 * 10}};
    const int32_t sizes[][2] = {{70, 46}, {70, 46}, {70, 46}, {70, 46}};
    const int32_t depths[] = {1, 4, 8, 24};
    kvtest::TempFolder folder;
    for (const auto& [name, picture, transparent] : pictures) {
        TIOParamsVals params;
        const std::string bytes = WriteIcon(*picture, params, sizes, depths);
        ASSERT_FALSE(bytes.empty());
        const std::string file = folder.Write("out.ico", bytes);
        for (int32_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(depths[i]) + " bits");
            const TMaskedPixels masked = MaskedPixels(bytes, i);
            EXPECT_EQ(masked.Transparent, transparent);
            EXPECT_EQ(masked.NotBlack, 0);
            if (picture != &three || depths[i] == 1) {
                continue;
            }
            for (const TRGB& entry : masked.Palette) {
                const bool own =
                    std::find(std::begin(colours), std::end(colours), entry) != std::end(colours);
                EXPECT_TRUE(own || entry == TRGB{})
                    << int(entry.r) << " " << int(entry.g) << " " << int(entry.b);
            }
            EXPECT_EQ(
                DifferenceFromRgba(expected, MagickRgba("'ICO:" + file + "[" + std::to_string(i) + "]'")), 0);
        }
    }
}

namespace {

// What the I/O component saves of an icon it loaded: the transparency as the picture's alpha
// channel, an image for each size the directory listed, at its bit count.
std::string SaveAgain(Decoded& d)
{
    if (d.Mask != nullptr) {
        d.Bitmap.GetAlphaChannel()->CopyFromTKVMask(d.Mask.get());
    }
    size_t count = 0;
    while (count < 16 && d.Params.ICO_Sizes[count][0] > 0) {
        ++count;
    }
    return WriteIcon(d.Bitmap, d.Params, std::span<const int32_t[2]>(d.Params.ICO_Sizes, count),
                     std::span<const int32_t>(d.Params.ICO_BitCount, count));
}

} // namespace

// Every layout icotool makes reads as ImageMagick reads it, also where its directory is made to
// disagree with the image (a byte count of 8 where the image holds far more, or twice the image's
// height): the image's own header holds, as it does for ImageMagick. Saved again as an icon,
// ImageMagick reads the same transparency from both files, and the same colours where opaque.
TEST(IcoReader, ReadsEveryLayoutIcotoolMakesAndWritesItBack)
{
    ASSERT_TRUE(HaveSamples());
    kvtest::TempFolder folder;
    const std::string rose = "convert " + Rose;
    const struct
    {
        const char* name;
        std::string png;  // makes the picture
        std::string icon; // icotool's options
    } layouts[] = {
        {"32-bit alpha", rose + GreyAlpha, ""},
        {"24-bit", rose, "-b 24"},
        {"24-bit, a transparent corner", rose + CornerAlpha, "-b 24"},
        {"8-bit, a transparent corner", rose + " -colors 200" + CornerAlpha, "-b 8"},
        {"4-bit, a transparent corner", rose + " -colors 16" + CornerAlpha, "-b 4"},
        {"1-bit, a transparent corner", rose + " -monochrome" + CornerAlpha, "-b 1"},
        {"1-bit of two colours", "convert -size 30x20 xc:red -fill blue -draw 'rectangle 2,2 9,9'", "-b 1"},
        {"1-bit of red and black, transparent pixels",
         "convert -size 30x20 xc:red -fill black -draw 'rectangle 2,2 9,9'", "-b 1"},
        {"PNG entry", rose + GreyAlpha, "-r"},
        {"32-bit cursor", rose + GreyAlpha, "--cursor -X 5 -Y 6"},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        std::string icon = IcotoolIcon(folder, layout.png, layout.icon);
        ASSERT_GT(icon.size(), size_t(22 + 40));
        if (std::string(layout.name) == "1-bit of red and black, transparent pixels") {
            // icotool keeps no transparency at 1 bit: the bottom row's first 16 pixels are made
            // transparent in the AND rows, after the header, two palette entries and 20 XOR rows.
            icon[22 + 40 + 8 + 4 * 20] = icon[22 + 40 + 8 + 4 * 20 + 1] = char(0xFF);
        }
        const bool cursor = icon[2] == 2;
        Decoded d;
        Decode(icon, d, 0, cursor);
        ASSERT_FALSE(d.Aborted);
        ASSERT_EQ(DifferenceFromRgba(d, MagickRgba("ICO:" + folder.Write("source.ico", icon))), 0);
        std::string shortCount = icon, tallEntry = icon;
        shortCount.replace(14, 4, std::string("\x08\0\0\0", 4));
        tallEntry[7] = char(2 * uint8_t(icon[7]));
        for (const auto& [damage, bytes] :
             {std::pair{"byte count 8", shortCount}, std::pair{"twice the height", tallEntry}}) {
            if (layout.icon == "-r") {
                break; // a PNG entry has no bitmap header to hold to
            }
            SCOPED_TRACE(damage);
            Decoded damaged;
            Decode(bytes, damaged, 0, cursor);
            ASSERT_FALSE(damaged.Aborted);
            EXPECT_EQ(damaged.Params.Width, d.Params.Width);
            EXPECT_EQ(damaged.Params.Height, d.Params.Height);
            EXPECT_EQ(DifferenceFromRgba(damaged, MagickRgba("ICO:" + folder.Write("damaged.ico", bytes))),
                      0);
        }
        if (!cursor) {
            const std::string again = SaveAgain(d);
            ASSERT_FALSE(again.empty());
            // The picture read from the source is ImageMagick's, where colours and alpha count.
            EXPECT_EQ(DifferenceFromRgba(d, MagickRgba("ICO:" + folder.Write("again.ico", again))), 0);
        }
    }
}
