// The BMP codec: files written by ImageMagick and gdk-pixbuf's samples, hand-made headers and
// corrupt files, the RLE coders, and what the writer produces as ImageMagick reads it.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path GdkImages = "/usr/libexec/installed-tests/gdk-pixbuf/test-images";

struct Decoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
};

void Read(const Bytes& bytes, Decoded& d, bool paramsOnly = false)
{
    TMemoryStream stream;
    kvtest::FillStream(stream, bytes);
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    Bmpfilt::BMPReadStream(stream, d.Bitmap, 0, d.Params, progress, paramsOnly, false);
}

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pixels as red, green, blue bytes, top row first.
Bytes Rgb(TKVBitmap& bitmap)
{
    Bytes out;
    for (int32_t y = 0; y < bitmap.GetHeight(); y++) {
        const uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); x++) {
            if (bitmap.GetPixelFormat() == kv1g) {
                uint8_t v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
                out.insert(out.end(), {v, v, v});
            } else {
                const auto& c = reinterpret_cast<const TRGB*>(row)[x];
                out.insert(out.end(), {c.r, c.g, c.b});
            }
        }
    }
    return out;
}

// What a command prints on standard output, as bytes; empty when it fails.
Bytes ToolBytes(const std::string& command)
{
    int exitCode = -1;
    std::string out = kvtest::RunTool(command + " 2>/dev/null", &exitCode);
    return exitCode == 0 ? Bytes(out.begin(), out.end()) : Bytes{};
}

// The raw RGB pixels of an image as ImageMagick decodes it; empty when it cannot.
Bytes ImageMagickRgb(const fs::path& file)
{
    return ToolBytes("/usr/bin/convert '" + file.string() + "' -depth 8 rgb:-");
}

::testing::AssertionResult HaveImageMagick()
{
    return kvtest::Installed("convert");
}

// A 37 x 23 picture with a few flat areas (for RLE) and noise, as a PPM file.
fs::path WriteNoisePicture(const kvtest::TempFolder& dir)
{
    const int width = 37, height = 23;
    std::mt19937 random(11);
    std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++)
                ppm.push_back(char(x < 12 ? (y * 40 + c * 90) & 0xFF : random() & 0xFF));
    return dir.Write("in.ppm", ppm);
}

// ImageMagick converts source into target with the options, whose last word may name the form
// ("BMP3:"); false when it fails.
bool MagickConvert(const fs::path& source, std::string options, const fs::path& target)
{
    std::string prefix;
    if (const size_t blank = options.rfind(' '); !options.empty() && options.back() == ':') {
        prefix = blank == std::string::npos ? options : options.substr(blank + 1);
        options = blank == std::string::npos ? std::string() : options.substr(0, blank);
    }
    return kvtest::ToolExitCode("/usr/bin/convert '" + source.string() + "' " + options + " '" + prefix +
                                target.string() + "' 2>/dev/null") == 0;
}

TEST(BmpReader, TakesBitFieldMasksFromTheHeader)
{
    // gdk-pixbuf's sample: a 56-byte header carrying masks FF000000 / 00FF0000 / 0000FF00.
    const fs::path file = GdkImages / "reftests/mandatory-bitmasks.bmp";
    ASSERT_TRUE(kvtest::Installed({file.string(), "convert"}));
    Decoded d;
    Read(ReadFile(file), d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(Rgb(d.Bitmap), ImageMagickRgb(GdkImages / "reftests/mandatory-bitmasks.bmp.ref.png"));
}

void WriteFile(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// ImageMagick writes a one-colour picture as a 1-bit file with the colour and black; cut to the
// colour alone, index 0 is still that colour, as ImageMagick reads it.
TEST(BmpReader, OneBitPaletteOfOneEntryGivesItsColour)
{
    ASSERT_TRUE(HaveImageMagick());
    kvtest::TempFolder dir;
    const fs::path file = dir.File("one-entry.bmp");
    ASSERT_TRUE(MagickConvert("xc:rgb(50,100,200)", "-scale 5x3! -type palette BMP3:", file));
    Bytes bmp = ReadFile(file);
    ASSERT_EQ(bmp[28], 1); // bit count
    ASSERT_EQ(bmp[46], 2); // colours used
    bmp[46] = 1;           // the bits offset still leads past the second entry
    WriteFile(file, bmp);
    Decoded d;
    Read(bmp, d);
    ASSERT_FALSE(d.Aborted);
    const Bytes expected = ImageMagickRgb(file);
    ASSERT_EQ(expected.size(), size_t(5 * 3 * 3));
    EXPECT_EQ(Bytes(expected.begin(), expected.begin() + 3), (Bytes{50, 100, 200}));
    EXPECT_EQ(Rgb(d.Bitmap), expected);
}

// Pixels as red, green, blue and alpha bytes, top row first; 255 without an alpha channel.
Bytes Rgba(TKVBitmap& bitmap)
{
    const Bytes rgb = Rgb(bitmap);
    TKVBitmap* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel() : nullptr;
    const auto width = size_t(bitmap.GetWidth());
    Bytes out;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        const uint8_t a = alpha != nullptr ? alpha->GetScanLine(int32_t(i / 3 / width))[i / 3 % width] : 255;
        out.insert(out.end(), {rgb[i], rgb[i + 1], rgb[i + 2], a});
    }
    return out;
}

Bytes ImageMagickRgba(const fs::path& file)
{
    return ToolBytes("/usr/bin/convert '" + file.string() + "' -depth 8 rgba:-");
}

// The largest difference of two RGBA pictures in the top colourBits of each colour byte and the
// top alphaBits of each alpha byte; -1 when their sizes differ.
int32_t RgbaDifference(const Bytes& expected, const Bytes& actual, int colourBits, int alphaBits)
{
    if (expected.size() != actual.size() || expected.empty())
        return -1;
    int32_t worst = 0;
    for (size_t i = 0; i < expected.size(); i++) {
        const int bits = i % 4 == 3 ? alphaBits : colourBits;
        worst = std::max(worst, std::abs((actual[i] >> (8 - bits)) - (expected[i] >> (8 - bits))));
    }
    return worst;
}

// A 37 x 23 picture whose alpha runs from 0 to 255 and whose colours are noise, as a PAM file
// ImageMagick reads.
fs::path WriteAlphaPicture(const kvtest::TempFolder& dir)
{
    const int width = 37, height = 23;
    std::mt19937 random(5);
    std::string pam = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            for (int c = 0; c < 3; c++)
                pam.push_back(char(random() & 0xFF));
            pam.push_back(char(x == 0 ? 255 : (x * 7 + y * 11) & 0xFF));
        }
    return dir.Write("alpha.pam", pam);
}

TEST(BmpReader, CorruptFilesEndCleanly)
{
    ASSERT_TRUE(kvtest::Installed(GdkImages.string()));
    for (const char* name : {"fail/bug776694.bmp", "fail/bug777315.bmp", "fail/invalid.1.bmp"}) {
        SCOPED_TRACE(name);
        Decoded d;
        Read(ReadFile(GdkImages / name), d);
        EXPECT_TRUE(d.Aborted);
    }
    // Randomly modified files: anything but a crash or a sanitizer report.
    for (const char* name : {"randomly-modified/bmp-line-overflow.bmp", "randomly-modified/bug775242.bmp",
                             "randomly-modified/decodecolormap.bmp", "randomly-modified/valid.1.bmp"}) {
        SCOPED_TRACE(name);
        Decoded d;
        Read(ReadFile(GdkImages / name), d);
    }
}

// ---- Hand-made files.

void Put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v);
    Put16(b, v >> 16);
}

struct BmpSpec
{
    uint32_t headerSize = 40;
    int32_t width = 2, height = 2;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    int32_t pelsPerMeter = 2835;
    Bytes palette = {}; // 4 bytes an entry
    Bytes masks = {};   // 12 bytes, after a 40-byte header or inside a longer one
    Bytes pixels = {};
};

Bytes MakeBmp(const BmpSpec& s)
{
    Bytes info;
    Put32(info, s.headerSize);
    Put32(info, uint32_t(s.width));
    Put32(info, uint32_t(s.height));
    Put16(info, 1);
    Put16(info, s.bits);
    Put32(info, s.compression);
    Put32(info, uint32_t(s.pixels.size()));
    Put32(info, uint32_t(s.pelsPerMeter));
    Put32(info, uint32_t(s.pelsPerMeter));
    Put32(info, s.colorsUsed);
    Put32(info, 0);
    if (s.headerSize > 40)
        info.insert(info.end(), s.masks.begin(), s.masks.end());
    info.resize(s.headerSize, 0);
    if (s.headerSize == 40)
        info.insert(info.end(), s.masks.begin(), s.masks.end());
    info.insert(info.end(), s.palette.begin(), s.palette.end());
    Bytes file{'B', 'M'};
    Put32(file, uint32_t(14 + info.size() + s.pixels.size()));
    Put32(file, 0);
    Put32(file, uint32_t(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

TEST(BmpReader, DecodesHandMadeHeaders)
{
    const Bytes redGreen{0, 0, 255, 0, 0, 255, 0, 0}; // palette: red, green
    struct Case
    {
        const char* name;
        BmpSpec spec;
        Bytes rgb;
    };
    const Case cases[] = {
        {"bottom-up 24-bit",
         {.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}},
         {9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}},
        {"top-down 24-bit",
         {.height = -2, .pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}},
         {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
        {"108-byte header with palette",
         {.headerSize = 108,
          .bits = 8,
          .colorsUsed = 2,
          .palette = redGreen,
          .pixels = {1, 0, 0, 0, 0, 1, 0, 0}},
         {255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 0}},
        {"colours used past 256",
         {.bits = 8, .colorsUsed = 300, .palette = Bytes(1024, 0x40), .pixels = {0, 255, 0, 0, 7, 7, 0, 0}},
         Bytes(12, 0x40)},
        {"index past a short palette",
         {.bits = 8, .colorsUsed = 2, .palette = redGreen, .pixels = {9, 1, 0, 0, 0, 200, 0, 0}},
         {255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0}},
        {"16-bit 5-5-5",
         {.bits = 16, .pixels = {0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x03, 0xFF, 0x7F}},
         {0, 248, 0, 248, 248, 248, 248, 0, 0, 0, 0, 248}},
        {"16-bit 5-6-5 bit fields",
         {.bits = 16,
          .compression = 3,
          .masks = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
          .pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF}},
         {0, 0, 248, 248, 252, 248, 248, 0, 0, 0, 252, 0}},
        {"16-bit masks in a V4 header",
         {.headerSize = 108,
          .bits = 16,
          .compression = 3,
          .masks = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
          .pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF}},
         {0, 0, 248, 248, 252, 248, 248, 0, 0, 0, 252, 0}},
        {"empty masks fall back to 5-5-5",
         {.bits = 16,
          .compression = 3,
          .masks = Bytes(12, 0),
          .pixels = {0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x03, 0xFF, 0x7F}},
         {0, 248, 0, 248, 248, 248, 248, 0, 0, 0, 0, 248}},
        {"32-bit with bit fields",
         {.bits = 32,
          .compression = 3,
          .masks = {0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0},
          .pixels = {0, 1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12}},
         {9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}},
        {"1-bit red and green",
         {.bits = 1, .palette = redGreen, .pixels = {0x40, 0, 0, 0, 0x80, 0, 0, 0}},
         {0, 255, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0}},
        {"1-bit white and black",
         {.bits = 1, .palette = {255, 255, 255, 0, 0, 0, 0, 0}, .pixels = {0x40, 0, 0, 0, 0x80, 0, 0, 0}},
         {0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}},
        {"RLE8 delta",
         {.width = 4,
          .bits = 8,
          .compression = 1,
          .palette = redGreen,
          .pixels = {2, 1, 0, 2, 1, 1, 1, 0, 0, 1}},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}},
        {"RLE8 row longer than the width",
         {.width = 4,
          .height = 1,
          .bits = 8,
          .compression = 1,
          .palette = redGreen,
          .pixels = {3, 0, 3, 1, 0, 1}},
         {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0}},
        {"RLE4 absolute run",
         {.width = 3,
          .height = 1,
          .bits = 4,
          .compression = 2,
          .palette = redGreen,
          .pixels = {0, 3, 0x10, 0x10, 0, 1}},
         {0, 255, 0, 255, 0, 0, 0, 255, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Read(MakeBmp(c.spec), d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(Rgb(d.Bitmap), c.rgb);
    }
}

// Data that ends before the last row fails; the rows read keep their pixels and the rest are
// black whatever the heap held (the suite runs this once more under two heap fill patterns).
TEST(BmpReader, RowsPastTheDataAreCleared)
{
    for (const int32_t height : {2, -3}) {
        SCOPED_TRACE(height);
        Decoded d;
        Read(MakeBmp({.height = height, .pixels = {1, 2, 3, 4, 5, 6, 0, 0}}), d);
        EXPECT_TRUE(d.Aborted);
        ASSERT_EQ(d.Bitmap.GetHeight(), std::abs(height));
        // Bottom-up rows fill from the last row, top-down ones from the first.
        const int32_t stored = height > 0 ? d.Bitmap.GetHeight() - 1 : 0;
        for (int32_t y = 0; y < d.Bitmap.GetHeight(); ++y) {
            if (y != stored) {
                EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, y)) << "row " << y;
            }
        }
        const uint8_t* row = d.Bitmap.GetScanLine(stored);
        EXPECT_EQ(Bytes(row, row + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    }
    // 142 bytes promising 2^27 rows with an alpha mask keep their one row, in alpha too.
    Decoded tall;
    Read(ReadFile(std::string(KV_TEST_DATA_DIR) + "/fuzz/bmp/alpha-mask-134217728-rows-in-142-bytes.bmp"),
         tall);
    EXPECT_TRUE(tall.Aborted);
    const int32_t last = (1 << 27) - 1;
    ASSERT_EQ(tall.Bitmap.GetHeight(), last + 1);
    ASSERT_TRUE(tall.Bitmap.GetHasAlphaChannel());
    TKVBitmap& alpha = *tall.Bitmap.GetAlphaChannel();
    EXPECT_EQ(tall.Bitmap.GetPixels_kv24RGB(0, last), (TRGB{0x10, 0x20, 0x30}));
    EXPECT_EQ(alpha.GetPixels_kv8(0, last), 0x80);
    for (const int32_t y : {0, last / 2, last - 1}) {
        EXPECT_TRUE(kvtest::RowCleared(tall.Bitmap, y)) << "row " << y;
        EXPECT_TRUE(kvtest::RowCleared(alpha, y)) << "alpha row " << y;
    }
    // A last row without its padding is whole: many writers leave that padding out.
    Decoded whole;
    Read(MakeBmp({.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12}}), whole);
    EXPECT_FALSE(whole.Aborted);
    EXPECT_EQ(Rgb(whole.Bitmap), (Bytes{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

// Run-length data that runs past the picture, or ends before its last row is full, fails with
// the rows decoded kept; long runs, extra ends of line and a missing end of bitmap after a whole
// picture are sound. A 4 x 2 picture, bottom row first: green, then red.
TEST(BmpReader, RleDataPastThePictureFailsKeepingTheRowsDecoded)
{
    const Bytes redGreen{0, 0, 255, 0, 0, 255, 0, 0};
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& part : parts)
            out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    const Bytes red{255, 0, 0}, green{0, 255, 0}, black{0, 0, 0};
    const Bytes redRow = join({red, red, red, red}), greenRow = join({green, green, green, green}),
                blackRow = join({black, black, black, black});
    // The pictures decoded: whole, or with rows or pixels that the data never reached black.
    const Bytes whole = join({redRow, greenRow}), bottom = join({blackRow, greenRow}),
                redBottom = join({blackRow, redRow}),
                halfBottom = join({blackRow, green, green, black, black}),
                halfTop = join({red, red, black, black, greenRow});
    const struct
    {
        const char* name;
        Bytes rle;
        bool aborted;
        Bytes rgb;
    } cases[] = {
        {"pixels after the last row", {4, 1, 0, 0, 4, 0, 0, 0, 4, 1, 0, 1}, true, whole},
        {"literal pixels after the last row", {4, 1, 0, 0, 4, 0, 0, 0, 0, 3, 1, 1, 1, 0}, true, whole},
        {"a move below the picture", {4, 1, 0, 2, 0, 2, 4, 0, 0, 1}, true, bottom},
        {"a move past the right edge", {2, 1, 0, 2, 3, 0, 1, 0, 0, 1}, true, halfBottom},
        {"literal pixels past the row's end", {0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1, 0, 1}, true, redBottom},
        {"data that ends before the last row", {4, 1, 0, 0}, true, bottom},
        {"data that ends inside the last row", {4, 1, 0, 0, 2, 0}, true, halfTop},
        {"a move cut short", {4, 1, 0, 2, 1}, true, bottom},
        {"a run longer than its row", {6, 1, 0, 0, 4, 0, 0, 1}, false, whole},
        {"ends of line after the last row", {4, 1, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0}, false, whole},
        {"no end of bitmap after the last row", {4, 1, 0, 0, 4, 0, 0, 0}, false, whole},
        {"the last row without its end of line", {4, 1, 0, 0, 4, 0}, false, whole},
        {"an end of bitmap before the last row", {4, 1, 0, 1}, false, bottom},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Read(MakeBmp({.width = 4, .bits = 8, .compression = 1, .palette = redGreen, .pixels = c.rle}), d);
        EXPECT_EQ(d.Aborted, c.aborted);
        EXPECT_EQ(Rgb(d.Bitmap), c.rgb);
    }
    // The same rules hold for 4-bit data: a literal run of 5 in a row of 4.
    Decoded nibbles;
    Read(MakeBmp({.width = 4,
                  .height = 1,
                  .bits = 4,
                  .compression = 2,
                  .palette = redGreen,
                  .pixels = {0, 5, 0x01, 0x01, 0x00, 0, 0, 1}}),
         nibbles);
    EXPECT_TRUE(nibbles.Aborted);
    EXPECT_EQ(Rgb(nibbles.Bitmap), join({red, green, red, green}));
}

// A file refused before any row is decoded leaves no picture-sized bitmap behind: the bitmap
// stays as it was, and memory follows the data, not the header's size.
TEST(BmpReader, RefusalsLeaveTheBitmapAsItWas)
{
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/bmp/";
    const struct
    {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"57 bytes for 3,158,064 x 48", ReadFile(corpus + "header-3158064-by-48-in-57-bytes.bmp")},
        {"run-length data of one byte", ReadFile(corpus + "rle8-no-data-for-10000-by-10000.bmp")},
        {"a first code that leaves the picture", ReadFile(corpus + "rle8-first-code-leaves-the-picture.bmp")},
        {"cut inside the first row", MakeBmp({.pixels = {1, 2, 3, 4, 5}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.bytes.size(), 14u);
        Decoded d;
        EXPECT_TRUE(kvtest::RefusedKeepingBitmap(d.Bitmap, d.Aborted, [&] { Read(c.bytes, d); }));
    }
}

TEST(BmpReader, ReadsAPackedDibWithoutFileHeader)
{
    const Bytes file = MakeBmp({.bits = 8,
                                .colorsUsed = 2,
                                .palette = {0, 0, 255, 0, 0, 255, 0, 0},
                                .pixels = {1, 0, 0, 0, 0, 1, 0, 0}});
    const Bytes dib(file.begin() + 14, file.end());
    TMemoryStream stream;
    kvtest::FillStream(stream, dib);
    Decoded d;
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    Bmpfilt::BMPReadStream(stream, d.Bitmap, 0, d.Params, progress, false, true);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(Rgb(d.Bitmap), (Bytes{255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 0}));
}

TEST(BmpReader, FillsTheParameters)
{
    Decoded d;
    Read(MakeBmp({.headerSize = 124,
                  .bits = 8,
                  .colorsUsed = 2,
                  .pelsPerMeter = 0,
                  .palette = {1, 2, 3, 0, 4, 5, 6, 0},
                  .pixels = Bytes(8, 0)}),
         d, true);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.BMP_Version, ioBMP_BM);
    EXPECT_EQ(d.Params.DpiX, Kvview::gSystemDPIX);
    EXPECT_EQ(d.Params.ColorMapCount, 2);
    EXPECT_EQ(d.Params.ColorMap[1], (TRGB{4, 5, 6}));
    EXPECT_EQ(d.Bitmap.GetWidth(), 0);

    Decoded v3;
    Read(MakeBmp({.pixels = Bytes(16, 0)}), v3, true);
    EXPECT_EQ(v3.Params.BMP_Version, ioBMP_BM3);
    EXPECT_EQ(v3.Params.DpiX, 72);
}

TEST(BmpReader, RejectsHostileHeaders)
{
    struct Case
    {
        const char* name;
        Bytes bytes;
    };
    Bytes noMagic = MakeBmp({.pixels = Bytes(16, 0)});
    noMagic[0] = 'X';
    Bytes hugeHeader = MakeBmp({.pixels = Bytes(16, 0)});
    hugeHeader[14] = 0xFF;
    hugeHeader[17] = 0x7F;
    const Case cases[] = {
        {"not a BMP", noMagic},
        {"negative width", MakeBmp({.width = -5, .pixels = Bytes(16, 0)})},
        {"height of INT_MIN", MakeBmp({.height = INT32_MIN, .pixels = Bytes(16, 0)})},
        {"header larger than the file", hugeHeader},
        {"too many pixels", MakeBmp({.width = 0x7FFFFFFF, .height = 0x7FFFFFFF, .pixels = Bytes(16, 0)})},
        {"truncated", Bytes(noMagic.begin() + 0, noMagic.begin() + 10)},
        {"compression the bit count lacks", MakeBmp({.compression = 3, .pixels = Bytes(16, 0)})},
        {"JPEG inside", MakeBmp({.compression = 4, .pixels = Bytes(16, 0)})},
        {"undefined bit count", MakeBmp({.bits = 7, .pixels = Bytes(16, 0)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Read(c.bytes, d);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    }
}

// RLE data is read only as far as a picture of its size can use: a 2 x 2 picture with a 16 MB
// tail decodes without taking memory for the tail.
TEST(BmpReader, ReadsRleDataOnlyAsFarAsThePictureNeeds)
{
    Bytes rle{2, 1, 0, 0, 2, 0, 0, 1}; // bottom row green, top row red, end of bitmap
    rle.resize(size_t(16) << 20, 0);
    const Bytes file = MakeBmp({.bits = 8,
                                .compression = 1,
                                .colorsUsed = 2,
                                .palette = {0, 0, 255, 0, 0, 255, 0, 0},
                                .pixels = rle});
    TMemoryStream stream;
    kvtest::FillStream(stream, file);
    Decoded d;
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    const int64_t peak = kvtest::PeakHeapOf(
        [&] { Bmpfilt::BMPReadStream(stream, d.Bitmap, 0, d.Params, progress, false, false); });
    EXPECT_FALSE(d.Aborted);
    EXPECT_EQ(Rgb(d.Bitmap), (Bytes{255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0}));
    EXPECT_LT(peak, int64_t(1) << 20);
}

TEST(BmpRle, EncodesRowsAsTheFormatExpects)
{
    struct Case
    {
        const char* name;
        bool nibbles;
        Bytes row;
        Bytes expected;
    };
    const Case cases[] = {
        {"RLE4 five distinct", true, {1, 2, 3, 4, 5}, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0}},
        {"RLE8 run and literals", false, {7, 7, 7, 1, 2, 3}, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0}},
        {"RLE8 two literals", false, {1, 2}, {1, 1, 1, 2, 0, 0}},
        {"RLE4 two literals", true, {1, 2}, {2, 0x12, 0, 0}},
        {"RLE8 one pixel", false, {9}, {1, 9, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out(c.row.size() * 10 + 2);
        int32_t n = c.nibbles ? Bmpfilt::EncodeRLE4(c.row.data(), int32_t(c.row.size()), out.data())
                              : Bmpfilt::EncodeRLE8(c.row.data(), int32_t(c.row.size()), out.data());
        out.resize(size_t(n));
        EXPECT_EQ(out, c.expected);
    }
}

} // namespace

// ---- Writing.

namespace {

// Runs of three pixels and single pixels of up to `colours` colours, so that RLE meets both.
void MakePicture(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t colours)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; y++) {
        auto* row = reinterpret_cast<TRGB*>(bitmap.GetScanLine(y));
        for (int32_t x = 0; x < width; x++) {
            int32_t index = (x < width / 2 ? x / 3 + y : x * 5 + y) % colours;
            row[x] = TRGB{uint8_t(index * 20), uint8_t(200 - index * 9), uint8_t(index * 37 % 256)};
        }
    }
}

Bytes Write(TKVBitmap& bitmap, TIOParamsVals& params, bool& aborted)
{
    TMemoryStream stream;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    Bmpfilt::BMPWriteStream(stream, bitmap, params, progress);
    const auto* p = static_cast<const uint8_t*>(stream.Memory());
    return Bytes(p, p + stream.Size());
}

uint32_t Get32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// The raw RGB pixels as ffmpeg decodes the image; empty when it cannot.
Bytes FfmpegRgb(const fs::path& file)
{
    return ToolBytes("/usr/bin/ffmpeg -v error -i '" + file.string() + "' -f rawvideo -pix_fmt rgb24 -");
}

std::string Identify(const fs::path& file)
{
    return kvtest::RunTool("/usr/bin/identify -format '%m %C' '" + file.string() + "' 2>&1");
}

} // namespace

TEST(BmpWriter, ImageMagickReadsEveryDepthVersionAndRle)
{
    ASSERT_TRUE(HaveImageMagick());
    kvtest::TempFolder dir;
    struct Case
    {
        const char* name;
        int32_t bitsPerSample, samplesPerPixel;
        TIOBMPVersion version;
        TIOBMPCompression compression;
        int32_t colours;
        const char* identified; // format and compression as identify names them
    };
    const Case cases[] = {
        {"1-bit", 1, 1, ioBMP_BM3, ioBMP_UNCOMPRESSED, 2, "BMP3 None"},
        {"1-bit OS/2", 1, 1, ioBMP_BMOS2V1, ioBMP_UNCOMPRESSED, 2, "BMP2 None"},
        {"4-bit", 4, 1, ioBMP_BM3, ioBMP_UNCOMPRESSED, 12, "BMP3 None"},
        {"4-bit RLE", 4, 1, ioBMP_BM3, ioBMP_RLE, 12, "BMP3 RLE"},
        {"4-bit OS/2", 4, 1, ioBMP_BMOS2V1, ioBMP_UNCOMPRESSED, 12, "BMP2 None"},
        {"8-bit", 8, 1, ioBMP_BM3, ioBMP_UNCOMPRESSED, 40, "BMP3 None"},
        {"8-bit RLE", 8, 1, ioBMP_BM3, ioBMP_RLE, 40, "BMP3 RLE"},
        {"8-bit RLE on OS/2 is stored plain", 8, 1, ioBMP_BMOS2V1, ioBMP_RLE, 40, "BMP2 None"},
        {"8-bit OS/2 2.x", 8, 1, ioBMP_BMOS2V2, ioBMP_UNCOMPRESSED, 40, "BMP None"},
        {"24-bit", 8, 3, ioBMP_BM3, ioBMP_UNCOMPRESSED, 200, "BMP3 None"},
        {"24-bit version 1", 8, 3, ioBMP_BM, ioBMP_UNCOMPRESSED, 200, "BMP3 None"},
        {"24-bit OS/2", 8, 3, ioBMP_BMOS2V1, ioBMP_UNCOMPRESSED, 200, "BMP2 None"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKVBitmap bitmap;
        MakePicture(bitmap, 23, 7, c.colours);
        TIOParamsVals params;
        params.BitsPerSample = c.bitsPerSample;
        params.SamplesPerPixel = c.samplesPerPixel;
        params.BMP_Version = c.version;
        params.BMP_Compression = c.compression;
        bool aborted = false;
        Bytes bmp = Write(bitmap, params, aborted);
        ASSERT_FALSE(aborted);
        const fs::path file = dir.File("out.bmp");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
        EXPECT_EQ(Identify(file), c.identified);
        // Each picture has no more colours than its depth holds: the pixels come back exactly.
        // ImageMagick takes the palette entries of the 64-byte OS/2 header for 3 bytes, where the
        // header's own format has 4; ffmpeg reads them as the format says.
        if (c.version == ioBMP_BMOS2V2) {
            Bytes viaFfmpeg = FfmpegRgb(file);
            if (!viaFfmpeg.empty()) {
                EXPECT_EQ(viaFfmpeg, Rgb(bitmap));
            }
        } else {
            EXPECT_EQ(ImageMagickRgb(file), Rgb(bitmap));
        }
        Decoded d;
        Read(bmp, d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(Rgb(d.Bitmap), Rgb(bitmap));
        EXPECT_EQ(d.Params.BMP_Version, c.version == ioBMP_BM ? ioBMP_BM3 : c.version); // both 40 bytes
        EXPECT_EQ(d.Params.BMP_Compression, c.version == ioBMP_BMOS2V1 ? ioBMP_UNCOMPRESSED : c.compression);
    }
}

TEST(BmpWriter, FillsTheHeaderFields)
{
    struct Case
    {
        const char* name;
        int32_t bitsPerSample, samplesPerPixel;
        TIOBMPVersion version;
        TIOBMPCompression compression;
        uint32_t colorsUsed, colorsImportant;
        bool endOfBitmap;
    };
    const Case cases[] = {
        {"24-bit", 8, 3, ioBMP_BM3, ioBMP_UNCOMPRESSED, 0, 16777216, false},
        {"8-bit", 8, 1, ioBMP_BM3, ioBMP_UNCOMPRESSED, 256, 256, false},
        {"4-bit RLE", 4, 1, ioBMP_BMOS2V2, ioBMP_RLE, 16, 16, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKVBitmap bitmap;
        MakePicture(bitmap, 9, 3, 5);
        TIOParamsVals params;
        params.BitsPerSample = c.bitsPerSample;
        params.SamplesPerPixel = c.samplesPerPixel;
        params.BMP_Version = c.version;
        params.BMP_Compression = c.compression;
        params.DpiX = 300;
        params.DpiY = 72;
        bool aborted = false;
        Bytes bmp = Write(bitmap, params, aborted);
        ASSERT_FALSE(aborted);
        const uint32_t headerSize = Get32(bmp, 14);
        EXPECT_EQ(Get32(bmp, 2), bmp.size());
        EXPECT_EQ(Get32(bmp, 14 + 24), 11811u); // 300 dpi in pixels per metre
        EXPECT_EQ(Get32(bmp, 14 + 28), 2835u);
        EXPECT_EQ(Get32(bmp, 14 + 32), c.colorsUsed);
        EXPECT_EQ(Get32(bmp, 14 + 36), c.colorsImportant);
        const uint32_t bitsOffset = Get32(bmp, 10);
        EXPECT_EQ(bitsOffset, 14 + headerSize + 4 * c.colorsUsed);
        EXPECT_EQ(Get32(bmp, 14 + 20), bmp.size() - bitsOffset);
        EXPECT_EQ(bmp[bmp.size() - 2] == 0 && bmp[bmp.size() - 1] == 1, c.endOfBitmap);
    }

    // The 12-byte header keeps 3-byte palette entries and stores RLE requests plain.
    TKVBitmap bitmap;
    MakePicture(bitmap, 9, 3, 5);
    TIOParamsVals params;
    params.SamplesPerPixel = 1;
    params.BMP_Version = ioBMP_BMOS2V1;
    params.BMP_Compression = ioBMP_RLE;
    bool aborted = false;
    Bytes bmp = Write(bitmap, params, aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(Get32(bmp, 14), 12u);
    EXPECT_EQ(Get32(bmp, 10), 14u + 12u + 3u * 256u);
    EXPECT_EQ(bmp.size(), 14u + 12u + 3u * 256u + 12u * 3u);
}

TEST(BmpWriter, TwoColourPicturesKeepTheirColoursInOneBit)
{
    // Two colours, or a single one: the palette holds the picture's own, as ImageMagick reads.
    kvtest::TempFolder folder;
    TIOParamsVals params;
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
    bool aborted = false;
    for (int32_t colours : {2, 1}) {
        SCOPED_TRACE(colours);
        TKVBitmap bitmap;
        MakePicture(bitmap, 10, 4, colours);
        Bytes bmp = Write(bitmap, params, aborted);
        ASSERT_FALSE(aborted);
        EXPECT_EQ(bmp[28], 1); // bit count
        ASSERT_EQ(params.ColorMapCount, 2);
        Decoded d;
        Read(bmp, d);
        EXPECT_EQ(Rgb(d.Bitmap), Rgb(bitmap));
        if (HaveImageMagick()) {
            const std::string file = folder.Write("one-bit.bmp", std::string(bmp.begin(), bmp.end()));
            EXPECT_EQ(ImageMagickRgb(file), Rgb(bitmap));
        }
    }

    // A black-and-white bitmap goes out with the palette black, white.
    TKVBitmap bw;
    bw.Allocate(10, 4, kv1g);
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 10; x++)
            bw.SetPixels_kv1g(x, y, (x + y) % 3 == 0);
    Bytes bwFile = Write(bw, params, aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(Bytes(bwFile.begin() + 54, bwFile.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
    Decoded back;
    Read(bwFile, back);
    EXPECT_EQ(back.Bitmap.GetPixelFormat(), kv1g);
    EXPECT_EQ(Rgb(back.Bitmap), Rgb(bw));
}

// Every layout ImageMagick writes reads as ImageMagick reads it, with the parameters of its
// layout, and saved again with those parameters, ImageMagick reads the same pixels and alpha from
// both files. The reader makes an alpha channel where ImageMagick finds a pixel not wholly opaque.
// Channels narrower than a byte compare in their own bits: ImageMagick repeats the top bits of
// 5-bit colours and shifts narrow alpha (240 of 4-bit 15), where the reader keeps colours
// left-aligned and spreads alpha over the byte (255, wholly opaque).
TEST(BmpReader, ReadsEveryLayoutImageMagickWritesAndWritesItBack)
{
    ASSERT_TRUE(HaveImageMagick());
    kvtest::TempFolder dir;
    const fs::path noise = WriteNoisePicture(dir), alpha = WriteAlphaPicture(dir);
    const struct
    {
        const char* name;
        const fs::path& source;
        const char* options;
        int32_t bitsPerSample, samplesPerPixel;
        int colourBits, alphaBits;
    } cases[] = {
        {"1-bit", noise, "-type bilevel", 1, 1, 8, 8},
        {"1-bit black and white", noise, "-type bilevel BMP3:", 1, 1, 8, 8},
        {"1-bit two colours", noise, "-colors 2 -type palette BMP3:", 1, 1, 8, 8},
        {"4-bit", noise, "-colors 16 -type palette BMP3:", 4, 1, 8, 8},
        {"8-bit", noise, "-colors 200 -type palette -compress None BMP3:", 8, 1, 8, 8},
        {"8-bit RLE", noise, "-colors 200 -type palette -compress RLE BMP3:", 8, 1, 8, 8},
        {"16-bit 5-6-5", noise, "-define bmp:subtype=RGB565 BMP:", 5, 3, 5, 8},
        {"16-bit 5-5-5", noise, "-define bmp:subtype=RGB555 BMP:", 5, 3, 5, 8},
        {"24-bit", noise, "-type truecolor BMP3:", 8, 3, 8, 8},
        {"24-bit V5", noise, "-type truecolor BMP:", 8, 3, 8, 8},
        {"32-bit bit fields", noise, "-type truecolormatte -define bmp:format=bmp4 BMP:", 8, 3, 8, 8},
        {"32-bit alpha", alpha, "BMP:", 8, 3, 8, 8},
        {"32-bit alpha, all opaque", alpha, "-alpha opaque BMP:", 8, 3, 8, 8},
        {"16-bit 4-4-4-4 alpha", alpha, "-define bmp:subtype=ARGB4444 BMP:", 5, 3, 4, 4},
        {"16-bit 1-5-5-5 alpha", alpha, "-define bmp:subtype=ARGB1555 BMP:", 5, 3, 5, 1},
        {"OS/2 8-bit", noise, "-colors 100 -type palette BMP2:", 8, 1, 8, 8},
        {"OS/2 24-bit", noise, "-type truecolor BMP2:", 8, 3, 8, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path original = dir.File("original.bmp"), again = dir.File("again.bmp");
        ASSERT_TRUE(MagickConvert(c.source, c.options, original));
        Decoded d;
        Read(ReadFile(original), d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Params.Width, 37);
        EXPECT_EQ(d.Params.Height, 23);
        EXPECT_EQ(d.Params.BitsPerSample, c.bitsPerSample);
        EXPECT_EQ(d.Params.SamplesPerPixel, c.samplesPerPixel);
        EXPECT_EQ(d.Params.BMP_Compression,
                  std::string(c.options).find("RLE") != std::string::npos ? ioBMP_RLE : ioBMP_UNCOMPRESSED);
        const Bytes theirs = ImageMagickRgba(original);
        EXPECT_EQ(RgbaDifference(theirs, Rgba(d.Bitmap), c.colourBits, c.alphaBits), 0);
        bool translucent = false;
        for (size_t i = 3; i < theirs.size(); i += 4)
            translucent = translucent || theirs[i] != 255;
        ASSERT_EQ(d.Bitmap.GetHasAlphaChannel(), translucent);
        if (translucent) {
            EXPECT_EQ(d.Bitmap.GetAlphaChannel()->GetScanLine(5)[0], 255); // the opaque first column
        }
        bool aborted = false;
        WriteFile(again, Write(d.Bitmap, d.Params, aborted));
        ASSERT_FALSE(aborted);
        EXPECT_EQ(RgbaDifference(theirs, ImageMagickRgba(again), c.colourBits, c.alphaBits), 0);
    }
}
