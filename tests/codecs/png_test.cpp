// The PNG codec against the PNG suite (pngtopnm as the reference decoder), pngcheck for what it
// writes, round trips, and damaged files.
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string GoPng = "/usr/share/go-1.19/src/image/png/testdata/";
const std::string Suite = GoPng + "pngsuite/";

struct TRead
{
    TKVBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TKVMask> Mask;
    bool Aborting = false;
};

void Read(TStream& stream, TRead& r, bool noAlpha = false, bool paramsOnly = false)
{
    TProgressRec progress;
    progress.Aborting = &r.Aborting;
    Pngfilt::ReadPNGStream(stream, r.Bitmap, r.Params, progress, paramsOnly, r.Mask, noAlpha);
}

void ReadFile(const std::string& fileName, TRead& r, bool noAlpha = false)
{
    TFileStream file(fileName, fmOpenRead);
    Read(file, r, noAlpha);
}

// A reference sample in 8 bits, as the reader delivers it: 16-bit samples lose their low byte,
// lower depths are scaled up.
int32_t To8Bits(int32_t value, int32_t maxValue)
{
    if (maxValue == 255) {
        return value;
    }
    return maxValue == 65535 ? value >> 8 : value * 255 / maxValue;
}

// Largest difference between the bitmap (kv24RGB or kv1g) and pngtopnm's image.
int32_t DifferenceFromReference(TKVBitmap& bitmap, const kvtest::TPnmImage& reference)
{
    if (bitmap.GetWidth() != reference.Width || bitmap.GetHeight() != reference.Height) {
        return -1;
    }
    int32_t worst = 0;
    for (int32_t y = 0; y < reference.Height; ++y) {
        const uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < reference.Width; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t expected =
                    To8Bits(reference.At(x, y, reference.Channels == 3 ? c : 0), reference.MaxValue);
                const int32_t actual = bitmap.GetPixelFormat() == kv1g
                                           ? ((row[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0)
                                           : row[3 * x + (2 - c)];
                worst = std::max(worst, std::abs(expected - actual));
            }
        }
    }
    return worst;
}

int32_t MaskDifference(TKVMask& mask, const kvtest::TPnmImage& alpha)
{
    int32_t worst = 0;
    for (int32_t y = 0; y < alpha.Height; ++y) {
        const uint8_t* row = mask.GetScanLine(y);
        for (int32_t x = 0; x < alpha.Width; ++x) {
            worst = std::max(worst, std::abs(To8Bits(alpha.At(x, y, 0), alpha.MaxValue) - row[x]));
        }
    }
    return worst;
}

} // namespace

TEST(PngReader, DecodesThePngSuiteAsPngtopnmDoes)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Suite)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".png") {
            continue;
        }
        ++files;
        const std::string name = entry.path().filename().string();
        TRead r;
        ReadFile(path, r);
        ASSERT_FALSE(r.Aborting) << name;
        const kvtest::TPnmImage reference = kvtest::ParsePnm(kvtest::RunTool("pngtopnm " + path));
        ASSERT_TRUE(reference.Valid()) << name;
        EXPECT_EQ(DifferenceFromReference(r.Bitmap, reference), 0) << name;
        // pngtopnm leaves colour-key transparency out of its alpha; ImageMagick's is the reference.
        ASSERT_NE(r.Mask, nullptr) << name;
        const kvtest::TPnmImage alpha =
            kvtest::ParsePnm(kvtest::RunTool("/usr/bin/convert " + path + " -alpha extract -depth 16 pgm:-"));
        ASSERT_TRUE(alpha.Valid()) << name;
        if (r.Bitmap.GetPixelFormat() != kv1g) {
            EXPECT_EQ(MaskDifference(*r.Mask, alpha), 0) << name;
        }
    }
    EXPECT_GT(files, 30);
}

TEST(PngReader, RecordOfWhatTheFileHolds)
{
    struct Case
    {
        const char* file;
        int32_t bits;
        int32_t samples;
        TKVPixelFormat format;
        int32_t colorMapCount;
        bool interlaced;
        int32_t width;
    };
    const Case cases[] = {{"basn0g01.png", 1, 1, kv1g, 0, false, 32},
                          {"basn0g16.png", 16, 1, kv24RGB, 0, false, 32},
                          {"basn2c16.png", 16, 3, kv24RGB, 0, false, 32},
                          {"basn3p01.png", 1, 1, kv24RGB, 2, false, 32}, // two colours, not black and white
                          {"basn3p04-31i.png", 4, 1, kv24RGB, 15, true, 31},
                          {"basn4a08.png", 8, 2, kv24RGB, 0, false, 32},
                          {"basn6a16.png", 16, 4, kv24RGB, 0, false, 32}};
    for (const Case& c : cases) {
        TRead r;
        ReadFile(Suite + c.file, r);
        EXPECT_EQ(r.Params.BitsPerSample, c.bits) << c.file;
        EXPECT_EQ(r.Params.SamplesPerPixel, c.samples) << c.file;
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), c.format) << c.file;
        EXPECT_EQ(r.Params.ColorMapCount, c.colorMapCount) << c.file;
        EXPECT_EQ(r.Params.PNG_Interlaced, c.interlaced) << c.file;
        EXPECT_EQ(r.Params.Width, c.width) << c.file;
    }
}

TEST(PngReader, AlphaGoesToTheMaskOrIsComposedAway)
{
    TRead withMask;
    ReadFile(Suite + "basn6a08.png", withMask);
    ASSERT_NE(withMask.Mask, nullptr);
    EXPECT_FALSE(withMask.Mask->Full);
    // Top-left pixel of basn6a08: red 255, green 0, blue 8, alpha 0.
    EXPECT_EQ(withMask.Mask->GetScanLine(0)[0], 0);
    EXPECT_EQ(withMask.Bitmap.GetScanLine(0)[2], 255);

    TRead composed;
    composed.Params.PNG_Background = TRGB{10, 20, 30};
    ReadFile(Suite + "basn6a08.png", composed, true);
    EXPECT_EQ(composed.Mask, nullptr);
    const uint8_t* row = composed.Bitmap.GetScanLine(0);
    EXPECT_EQ(row[0], 10);
    EXPECT_EQ(row[1], 20);
    EXPECT_EQ(row[2], 30);

    // With a bKGD chunk the file's colour wins and is reported: a palette index (ftbw: white),
    // an RGB value of 8 or 16 bits (ftbr: red, ftbg: green), a grey value (ftbw: white, ftbb:
    // black). The expected pixels are composed here from pngtopnm's colours and ImageMagick's alpha.
    struct Case
    {
        const char* file;
        TRGB background;
    };
    const Case cases[] = {{"ftbwn3p08.png", {255, 255, 255}},
                          {"ftbrn2c08.png", {0, 0, 255}},
                          {"ftbgn2c16.png", {0, 255, 0}},
                          {"ftbwn0g16.png", {255, 255, 255}},
                          {"ftbbn0g04.png", {0, 0, 0}}};
    for (const Case& c : cases) {
        TRead r;
        r.Params.PNG_Background = TRGB{1, 2, 3};
        ReadFile(Suite + c.file, r, true);
        EXPECT_FALSE(r.Aborting) << c.file;
        EXPECT_EQ(r.Params.PNG_Background, c.background) << c.file;
        const kvtest::TPnmImage colours = kvtest::ParsePnm(kvtest::RunTool("pngtopnm " + Suite + c.file));
        const kvtest::TPnmImage alpha = kvtest::ParsePnm(
            kvtest::RunTool("/usr/bin/convert " + Suite + c.file + " -alpha extract -depth 16 pgm:-"));
        ASSERT_TRUE(colours.Valid() && alpha.Valid()) << c.file;
        int32_t worst = 0;
        for (int32_t y = 0; y < 32; ++y) {
            const uint8_t* row = r.Bitmap.GetScanLine(y);
            for (int32_t x = 0; x < 32; ++x) {
                const int32_t a = alpha.At(x, y, 0) >> 8;
                const uint8_t bg[3] = {c.background.r, c.background.g, c.background.b};
                for (int32_t ch = 0; ch < 3; ++ch) {
                    const int32_t fg =
                        To8Bits(colours.At(x, y, colours.Channels == 3 ? ch : 0), colours.MaxValue);
                    const int32_t expected = (fg * a + bg[ch] * (255 - a) + 127) / 255;
                    worst = std::max(worst, std::abs(expected - row[3 * x + 2 - ch]));
                }
            }
        }
        EXPECT_LE(worst, 1) << c.file;
    }
}

TEST(PngReader, ProbeLooksAtTheSignatureAndKeepsThePosition)
{
    struct Case
    {
        std::string bytes;
        bool expected;
    };
    const Case cases[] = {{"\x89PNG\r\n\x1a\n....", true},
                          {"\x89PNG", true},
                          {"\x89PN", false},
                          {"GIF89a..", false},
                          {"", false}};
    for (const Case& c : cases) {
        TStringStream stream("ab" + c.bytes);
        stream.SetPosition(2);
        EXPECT_EQ(Pngfilt::IsPNGStream(stream), c.expected) << c.bytes;
        EXPECT_EQ(stream.Position(), 2);
    }
}

TEST(PngReader, DamagedFilesEndWithTheAbortFlag)
{
    const std::string good = kvtest::TempFolder::Read(Suite + "basn2c08.png");
    const std::string gdk = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/fail/";
    // IHDR of a 1 x 1 picture that claims 40000 x 40000 pixels (CRC fixed up by zlib's crc32).
    struct Case
    {
        const char* name;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"signature only", good.substr(0, 8)},
        {"cut in the image data", good.substr(0, good.size() / 2)},
        {"Go invalid-crc32", kvtest::TempFolder::Read(GoPng + "invalid-crc32.png")},
        {"Go invalid-noend", kvtest::TempFolder::Read(GoPng + "invalid-noend.png")},
        {"Go invalid-trunc", kvtest::TempFolder::Read(GoPng + "invalid-trunc.png")},
        {"Go invalid-zlib", kvtest::TempFolder::Read(GoPng + "invalid-zlib.png")},
        {"gdk bug793470-crasher", kvtest::TempFolder::Read(gdk + "bug793470-crasher.png")},
    };
    for (const char* name : {"invalid.1.png", "invalid.2.png", "invalid.3.png", "invalid.4.png"}) {
        cases.push_back({name, kvtest::TempFolder::Read(gdk + name)});
    }
    for (const Case& c : cases) {
        TStringStream stream(c.bytes);
        TRead r;
        Read(stream, r);
        EXPECT_TRUE(r.Aborting) << c.name;
    }
}
