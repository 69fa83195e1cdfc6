// The PNG codec against the PNG suite (pngtopnm as the reference decoder), pngcheck for what it
// writes, round trips, and damaged files.
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/peak_heap.h"
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
    TProgressRec progress = kvtest::ProgressInto(r.Aborting);
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

std::string Write(TKVBitmap& bitmap, TIOParamsVals& params, const TKVMask* mask = nullptr)
{
    TStringStream out;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Pngfiltw::WritePNGStream(out, bitmap, params, progress, mask);
    EXPECT_FALSE(aborting);
    return out.DataString();
}

bool PngcheckAccepts(kvtest::TempFolder& folder, const std::string& png, std::string* report = nullptr)
{
    const std::string file = folder.Write("check.png", png);
    int exitCode = -1;
    const std::string output = kvtest::RunTool("pngcheck -v " + file + " 2>&1", &exitCode);
    if (report != nullptr) {
        *report = output;
    }
    return exitCode == 0;
}

void MakePicture(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 7);
            row[3 * x + 1] = static_cast<uint8_t>(y * 11);
            row[3 * x + 2] = static_cast<uint8_t>((x ^ y) * 3);
        }
    }
}

// Every pixel equal; bits past the width of a 1-bit row do not count.
bool SamePixels(TKVBitmap& a, TKVBitmap& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetPixelFormat() != b.GetPixelFormat()) {
        return false;
    }
    const int32_t width = a.GetWidth();
    const bool bits = a.GetPixelFormat() == kv1g;
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        const uint8_t* rowOfA = a.GetScanLine(y); // valid until the next row of a is asked for
        const std::vector<uint8_t> rowA(rowOfA, rowOfA + (bits ? (width + 7) / 8 : width * 3));
        const uint8_t* rowB = b.GetScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            const bool same = bits ? ((rowA[x / 8] ^ rowB[x / 8]) & (0x80 >> (x % 8))) == 0
                                   : std::equal(&rowA[3 * x], &rowA[3 * x + 3], &rowB[3 * x]);
            if (!same) {
                return false;
            }
        }
    }
    return true;
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
        // A mask comes only with alpha, which packed 1-bit rows do not carry.
        const bool hasAlpha =
            kvtest::RunTool("identify -format %A " + path) == "True" && r.Bitmap.GetPixelFormat() != kv1g;
        ASSERT_EQ(r.Mask != nullptr, hasAlpha) << name;
        if (hasAlpha) {
            const kvtest::TPnmImage alpha = kvtest::ParsePnm(
                kvtest::RunTool("/usr/bin/convert " + path + " -alpha extract -depth 16 pgm:-"));
            ASSERT_TRUE(alpha.Valid()) << name;
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

TEST(PngReader, ResolutionFromPhysInDotsPerInch)
{
    kvtest::TempFolder folder;
    Kvview::gSystemDPIX = 96;
    Kvview::gSystemDPIY = 97;
    TKVBitmap picture;
    MakePicture(picture, 4, 4);
    struct Case
    {
        int32_t dpiX;
        int32_t dpiY;
        const char* phys; // as pngcheck reports it
        int32_t readX;
        int32_t readY;
    };
    const Case cases[] = {{300, 300, "11811x11811 pixels/meter", 300, 300},
                          {72, 150, "2835x5906 pixels/meter", 72, 150},
                          {0, 0, nullptr, 96, 97}};
    for (const Case& c : cases) {
        TIOParamsVals params;
        params.DpiX = c.dpiX;
        params.DpiY = c.dpiY;
        const std::string png = Write(picture, params);
        std::string report;
        EXPECT_TRUE(PngcheckAccepts(folder, png, &report)) << report;
        if (c.phys != nullptr) {
            EXPECT_NE(report.find(c.phys), std::string::npos) << report;
        } else {
            EXPECT_EQ(report.find("pHYs"), std::string::npos) << report;
        }
        TStringStream stream(png);
        TRead r;
        Read(stream, r);
        EXPECT_EQ(r.Params.DpiX, c.readX);
        EXPECT_EQ(r.Params.DpiY, c.readY);
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

// A file cut short after its first row fails, and every byte the decoder never reached is zero
// (black, and transparent where the file has alpha), never what the heap held; the suite runs this
// once more under two heap fill patterns. The library reads image data in blocks of 8 KB (or the
// whole chunk when smaller): a file cut inside the first block gives no row and is refused, so each
// file here is cut past it. The 1-bit picture is ImageMagick's logo, stored without compression.
TEST(PngReader, RowsPastTheCutAreCleared)
{
    kvtest::TempFolder folder;
    const std::string bits = folder.File("bits.png");
    ASSERT_EQ(kvtest::ToolExitCode("/usr/bin/convert logo: -threshold 50% -type bilevel -strip "
                                   "-define png:compression-level=0 png:" +
                                   bits),
              0);
    struct Case
    {
        std::string file;
        size_t keep; // bytes of the file kept
    };
    const Case cases[] = {{GoPng + "benchRGB.png", 20000},
                          {GoPng + "benchNRGBA-gradient.png", 30000},
                          {GoPng + "benchRGB-interlace.png", 9000},
                          {bits, 20000}};
    auto rowBytes = [](const TKVBitmap& b) {
        return size_t(b.GetPixelFormat() == kv1g ? (b.GetWidth() + 7) / 8 : b.GetWidth() * 3);
    };
    for (const Case& c : cases) {
        TRead whole;
        ReadFile(c.file, whole);
        ASSERT_FALSE(whole.Aborting) << c.file;
        TStringStream stream(kvtest::TempFolder::Read(c.file).substr(0, c.keep));
        TRead cut;
        Read(stream, cut);
        EXPECT_TRUE(cut.Aborting) << c.file;
        ASSERT_EQ(cut.Bitmap.GetHeight(), whole.Bitmap.GetHeight()) << c.file;
        const int32_t height = whole.Bitmap.GetHeight();
        int32_t bad = 0;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* wholeRow = whole.Bitmap.GetScanLine(y);
            const std::vector<uint8_t> expected(wholeRow, wholeRow + rowBytes(whole.Bitmap));
            const uint8_t* row = cut.Bitmap.GetScanLine(y);
            for (size_t i = 0; i < expected.size(); ++i) {
                bad += y == height - 1 ? row[i] != 0 : (row[i] != expected[i] && row[i] != 0);
            }
            if (whole.Mask != nullptr && cut.Mask != nullptr && !whole.Mask->Full) {
                const uint8_t* wholeAlpha = whole.Mask->GetScanLine(y);
                const std::vector<uint8_t> expectedAlpha(wholeAlpha, wholeAlpha + whole.Bitmap.GetWidth());
                const uint8_t* alpha = cut.Mask->GetScanLine(y);
                for (size_t x = 0; x < expectedAlpha.size(); ++x) {
                    bad += y == height - 1 ? alpha[x] != 0 : (alpha[x] != expectedAlpha[x] && alpha[x] != 0);
                }
            }
        }
        EXPECT_EQ(bad, 0) << c.file << ": bytes neither decoded nor cleared";
    }
}

// Chunks whose length field claims nearly 2 GB in a 16 KB file fail to load without taking
// memory by that field: each load stays under 64 MB (measured where the sanitizer's allocator
// can tell). The same files are in the fuzz replay corpus.
TEST(PngReader, ChunkLengthFieldsDoNotSizeTheMemory)
{
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/png/";
    for (const char* name : {"text-length-near-2gb.png", "ztxt-length-near-2gb.png",
                             "itxt-length-near-2gb.png", "splt-length-near-2gb.png"}) {
        TStringStream stream(kvtest::TempFolder::Read(corpus + name));
        ASSERT_GT(stream.Size(), 15000) << name;
        TRead r;
        const int64_t peak = kvtest::PeakHeapOf([&] { Read(stream, r); });
        EXPECT_TRUE(r.Aborting) << name;
        EXPECT_LT(peak, int64_t(64) << 20) << name;
    }
}

// A file whose image data gives no whole first row (of the first pass, when interlaced) is refused
// without a picture-sized bitmap or mask, whatever sides its header declares: both stay as they
// were, and memory follows the data. A row of 2^28 pixels (1 GB, 2 GB in 16 bits) needs more image
// data than a zlib header can inflate to, so no row buffer is made for it either. One whole first
// row is a partial picture: the bitmap and mask are made, the rows not reached are black and
// transparent. The files are ImageMagick's with new sides and image data, their CRCs recomputed
// (pngcheck finds no CRC error); pngtopnm reads none.
TEST(PngReader, RefusalsLeaveTheBitmapAsItWas)
{
    ASSERT_TRUE(kvtest::Installed({"pngcheck", "pngtopnm"}));
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/png/";
    const struct
    {
        const char* file;
        bool partial;
    } cases[] = {
        {"empty-idat-10000-by-10000.png", false},
        {"idat-of-only-a-zlib-header-10000-by-10000.png", false},
        {"interlaced-idat-of-only-a-zlib-header-10000-by-10000.png", false},
        {"first-row-cut-10000-by-10000.png", false},
        {"idat-of-only-a-zlib-header-268435456-by-1.png", false},
        {"16-bit-idat-of-only-a-zlib-header-268435456-by-1.png", false},
        {"rgba-cut-after-its-first-row.png", true},
    };
    for (const auto& c : cases) {
        const std::string file = corpus + c.file;
        const std::string report = kvtest::RunTool("pngcheck -v " + file + " 2>&1");
        EXPECT_EQ(report.find("CRC error"), std::string::npos) << report;
        EXPECT_EQ(kvtest::ToolExitCode("pngtopnm " + file + " >/dev/null 2>&1"), 1) << c.file;
        for (bool noAlpha : {false, true}) {
            SCOPED_TRACE(std::string(c.file) + (noAlpha ? ", alpha composed away" : ", alpha to the mask"));
            TStringStream stream(kvtest::TempFolder::Read(file));
            TRead r;
            EXPECT_TRUE(kvtest::RefusedKeepingBitmap(
                r.Bitmap, r.Aborting, [&] { Read(stream, r, noAlpha); }, c.partial));
            EXPECT_EQ(r.Mask != nullptr, c.partial && !noAlpha);
            if (!c.partial) {
                continue;
            }
            // The first row as ImageMagick stored it: (200, 10, 20) opaque, (30, 180, 40) at
            // alpha 128, (50, 60, 170) transparent.
            ASSERT_EQ(r.Bitmap.GetWidth(), 3);
            ASSERT_EQ(r.Bitmap.GetHeight(), 2);
            EXPECT_EQ(r.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{20, 10, 200}));
            EXPECT_TRUE(kvtest::RowCleared(r.Bitmap, 1));
            if (r.Mask != nullptr) {
                EXPECT_EQ(r.Bitmap.GetPixels_kv24RGB(2, 0), (TRGB{170, 60, 50}));
                EXPECT_EQ(std::vector<uint8_t>(r.Mask->GetScanLine(0), r.Mask->GetScanLine(0) + 3),
                          (std::vector<uint8_t>{255, 128, 0}));
                EXPECT_EQ(std::vector<uint8_t>(r.Mask->GetScanLine(1), r.Mask->GetScanLine(1) + 3),
                          (std::vector<uint8_t>{0, 0, 0}));
            }
        }
    }
}

// Rows past the cut are left as the allocator clears them and a mask, for alpha or tRNS alone, is not
// filled first. pngtopnm reads none of these files.
TEST(PngReader, ACutPictureTakesMemoryByItsData)
{
    for (const auto& [file, alpha] : {std::pair{"rgb-one-row-of-16384-by-16384.png", false},
                                      {"rgba-one-row-of-16384-by-16384.png", true},
                                      {"palette-trns-one-row-of-16384-by-16384.png", true}}) {
        const std::string path = std::string(KV_TEST_DATA_DIR) + "/fuzz/png/" + file;
        EXPECT_EQ(kvtest::ToolExitCode("pngtopnm " + path + " >/dev/null 2>&1"), 1) << file;
        for (bool noAlpha : {false, true}) {
            SCOPED_TRACE(std::string(file) + (noAlpha ? ", alpha composed away" : ", alpha to the mask"));
            TStringStream stream(kvtest::TempFolder::Read(path));
            TRead r;
            EXPECT_LT(kvtest::ResidentGrowthOf([&] { Read(stream, r, noAlpha); }), 64 * 1024);
            EXPECT_TRUE(r.Aborting && r.Bitmap.GetHeight() == 16384 && kvtest::RowCleared(r.Bitmap, 16383));
            EXPECT_EQ(r.Mask != nullptr, alpha && !noAlpha);
        }
    }
}

// Image data that can fill a row is read however well it is compressed: pnmtopng packs a black
// row of a million pixels at over 1000:1, close to the best deflate can do, and it loads whole.
// The picture is read from the start of a stream and from behind other data, as an icon file
// holds it; there the header of a 2^28-pixel row with no image data is refused without its row.
TEST(PngReader, ImageDataCompressedNearDeflatesBestLoads)
{
    ASSERT_TRUE(kvtest::Installed({"pnmtopng", "pngtopnm"}));
    kvtest::TempFolder folder;
    const std::string ppm = folder.Write("black.ppm", "P6\n1000000 1\n255\n" + std::string(3000000, '\0'));
    const std::string png = folder.File("black.png");
    ASSERT_EQ(kvtest::ToolExitCode("pnmtopng -force -compression 9 " + ppm + " >" + png), 0);
    const std::string wide = kvtest::TempFolder::Read(png);
    ASSERT_LT(wide.size(), 3000000 / 1000);
    const kvtest::TPnmImage reference = kvtest::ParsePnm(kvtest::RunTool("pngtopnm " + png));
    const std::string noData = kvtest::TempFolder::Read(
        std::string(KV_TEST_DATA_DIR) + "/fuzz/png/idat-of-only-a-zlib-header-268435456-by-1.png");
    for (const std::string prefix : {"", "an icon's directory"}) {
        SCOPED_TRACE("behind " + std::to_string(prefix.size()) + " bytes");
        TStringStream stream(prefix + wide);
        stream.SetPosition(int64_t(prefix.size()));
        TRead r;
        Read(stream, r);
        EXPECT_FALSE(r.Aborting);
        EXPECT_EQ(DifferenceFromReference(r.Bitmap, reference), 0);
        TStringStream refused(prefix + noData);
        refused.SetPosition(int64_t(prefix.size()));
        TRead none;
        EXPECT_TRUE(kvtest::RefusedKeepingBitmap(none.Bitmap, none.Aborting, [&] { Read(refused, none); }));
    }
}

TEST(PngWriter, RoundTripsColourAlphaAndBits)
{
    kvtest::TempFolder folder;
    TKVBitmap picture;
    MakePicture(picture, 37, 23);
    for (bool interlaced : {false, true}) {
        for (TIOPNGFilter filter : {ioPNG_FILTER_NONE, ioPNG_FILTER_SUB, ioPNG_FILTER_PAETH}) {
            TIOParamsVals params;
            params.PNG_Interlaced = interlaced;
            params.PNG_Filter = filter;
            const std::string png = Write(picture, params);
            EXPECT_TRUE(PngcheckAccepts(folder, png));
            TStringStream stream(png);
            TRead r;
            Read(stream, r);
            EXPECT_TRUE(SamePixels(r.Bitmap, picture)) << interlaced << int(filter);
            EXPECT_EQ(r.Params.PNG_Interlaced, interlaced);
        }
    }

    TKVMask mask;
    mask.AllocateBits(37, 23, 8);
    for (int32_t y = 0; y < 23; ++y) {
        for (int32_t x = 0; x < 37; ++x) {
            mask.GetScanLine(y)[x] = static_cast<uint8_t>(x * 7);
        }
    }
    mask.Full = false;
    TIOParamsVals params;
    const std::string rgba = Write(picture, params, &mask);
    std::string report;
    EXPECT_TRUE(PngcheckAccepts(folder, rgba, &report));
    EXPECT_NE(report.find("RGB+alpha"), std::string::npos) << report;
    TStringStream stream(rgba);
    TRead r;
    Read(stream, r);
    EXPECT_TRUE(SamePixels(r.Bitmap, picture));
    ASSERT_NE(r.Mask, nullptr);
    EXPECT_EQ(r.Mask->GetScanLine(5)[3], 21);

    TKVBitmap bits;
    bits.Allocate(19, 5, kv1g);
    for (int32_t y = 0; y < 5; ++y) {
        uint8_t* row = bits.GetScanLine(y);
        row[0] = static_cast<uint8_t>(0xA5 + y);
        row[1] = 0x3C;
        row[2] = 0xE0;
    }
    TIOParamsVals bitParams;
    bitParams.BitsPerSample = 1;
    bitParams.SamplesPerPixel = 1;
    const std::string grey1 = Write(bits, bitParams);
    EXPECT_TRUE(PngcheckAccepts(folder, grey1, &report));
    EXPECT_NE(report.find("1-bit grayscale"), std::string::npos) << report;
    TStringStream bitStream(grey1);
    TRead back;
    Read(bitStream, back);
    EXPECT_TRUE(SamePixels(back.Bitmap, bits));
}

TEST(PngWriter, PaletteWithTransparencyPutsTheBackgroundAtIndexZero)
{
    kvtest::TempFolder folder;
    TKVBitmap picture;
    picture.Allocate(8, 8, kv24RGB);
    TKVMask mask;
    mask.AllocateBits(8, 8, 8);
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            TRGB* pixel = reinterpret_cast<TRGB*>(picture.GetScanLine(y)) + x;
            *pixel = x < 4 ? TRGB{0, 0, 200} : TRGB{0, 200, 0};
            mask.GetScanLine(y)[x] = y < 2 ? 0 : 255;
        }
    }
    mask.Full = false;
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 1;
    params.PNG_Background = TRGB{1, 2, 3};
    const std::string png = Write(picture, params, &mask);
    std::string report;
    EXPECT_TRUE(PngcheckAccepts(folder, png, &report)) << report;

    TStringStream stream(png);
    TRead r;
    Read(stream, r);
    ASSERT_GE(r.Params.ColorMapCount, 3);
    EXPECT_EQ(r.Params.ColorMap[0], (TRGB{1, 2, 3}));
    EXPECT_EQ(r.Mask->GetScanLine(0)[0], 0);
    EXPECT_EQ(r.Mask->GetScanLine(5)[0], 255);
    EXPECT_EQ(*reinterpret_cast<TRGB*>(r.Bitmap.GetScanLine(5)), (TRGB{0, 0, 200}));
    EXPECT_EQ(reinterpret_cast<TRGB*>(r.Bitmap.GetScanLine(5))[7], (TRGB{0, 200, 0}));
}

TEST(PngWriter, PalettesBelowEightBitsArePackedToTheirDepth)
{
    kvtest::TempFolder folder;
    TKVBitmap picture;
    picture.Allocate(13, 3, kv24RGB);
    const TRGB colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 13; ++x) {
            reinterpret_cast<TRGB*>(picture.GetScanLine(y))[x] = colours[(x + y) % 4];
        }
    }
    for (int32_t bits : {2, 4, 3}) {
        TIOParamsVals params;
        params.BitsPerSample = bits;
        params.SamplesPerPixel = 1;
        const std::string png = Write(picture, params);
        std::string report;
        EXPECT_TRUE(PngcheckAccepts(folder, png, &report)) << report;
        const int32_t depth = bits == 3 ? 4 : bits;
        EXPECT_NE(report.find(std::to_string(depth) + "-bit palette"), std::string::npos) << report;
        TStringStream stream(png);
        TRead r;
        Read(stream, r);
        EXPECT_TRUE(SamePixels(r.Bitmap, picture)) << bits;
    }
}

TEST(PngWriter, GreyImagesOfEightBitsBecomeGreyPngs)
{
    kvtest::TempFolder folder;
    TKVBitmap grey;
    grey.Allocate(16, 16, kv24RGB);
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            const auto level = static_cast<uint8_t>(y * 16 + x);
            reinterpret_cast<TRGB*>(grey.GetScanLine(y))[x] = TRGB{level, level, level};
        }
    }
    TIOParamsVals params;
    params.SamplesPerPixel = 1;
    params.BitsPerSample = 8;
    const std::string png = Write(grey, params);
    std::string report;
    EXPECT_TRUE(PngcheckAccepts(folder, png, &report)) << report;
    EXPECT_NE(report.find("8-bit grayscale"), std::string::npos) << report;
    TStringStream stream(png);
    TRead r;
    Read(stream, r);
    EXPECT_TRUE(SamePixels(r.Bitmap, grey));
}

// A picture of one or two colours keeps them in a 1-bit palette; black and white stay 1-bit grey,
// and so does a picture of many colours, made black and white. pngcheck tells the kind and
// ImageMagick reads the pixels.
TEST(PngWriter, OneBitRequestsKeepThePicturesOwnColours)
{
    kvtest::TempFolder folder;
    auto paint = [](TKVBitmap& bitmap, TRGB left, TRGB right) {
        bitmap.Allocate(10, 2, kv24RGB);
        for (int32_t y = 0; y < 2; ++y) {
            for (int32_t x = 0; x < 10; ++x) {
                reinterpret_cast<TRGB*>(bitmap.GetScanLine(y))[x] = x < 3 ? left : right;
            }
        }
    };
    TKVBitmap twoColours, oneColour, blackAndWhite, gradient;
    paint(twoColours, TRGB{200, 10, 10}, TRGB{10, 10, 90});
    paint(oneColour, TRGB{0, 0, 255}, TRGB{0, 0, 255});
    paint(blackAndWhite, TRGB{255, 255, 255}, TRGB{0, 0, 0});
    MakePicture(gradient, 10, 2);
    struct Case
    {
        const char* name;
        TKVBitmap* picture;
        const char* kind;
        bool exact; // the pixels come back as they were
    };
    const Case cases[] = {{"two colours", &twoColours, "1-bit palette", true},
                          {"one colour", &oneColour, "1-bit palette", true},
                          {"black and white", &blackAndWhite, "1-bit grayscale", true},
                          {"many colours", &gradient, "1-bit grayscale", false}};
    for (int32_t samples : {1, 3}) {
        TIOParamsVals params;
        params.BitsPerSample = 1;
        params.SamplesPerPixel = samples; // a 1-bit working image goes out packed whatever this says
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const std::string png = Write(*c.picture, params);
            std::string report;
            EXPECT_TRUE(PngcheckAccepts(folder, png, &report)) << report;
            EXPECT_NE(report.find(c.kind), std::string::npos) << report;
            const std::string file = folder.Write("one-bit.png", png);
            const kvtest::TPnmImage pixels =
                kvtest::ParsePnm(kvtest::RunTool("/usr/bin/convert " + file + " -depth 8 ppm:-"));
            if (c.exact) {
                EXPECT_EQ(kvtest::MaxDifference(*c.picture, pixels), 0);
            }
        }
        // Luminance 21 r + 71 g + 8 b: red 90 (2680) is lighter than blue 200 (2520), so the
        // blue pixels on the left are the clear bits.
        TStringStream stream(Write(twoColours, params));
        TRead r;
        Read(stream, r);
        EXPECT_EQ(r.Params.ColorMapCount, 2);
        EXPECT_EQ(r.Params.ColorMap[0], (TRGB{200, 10, 10}));
        EXPECT_EQ(r.Params.ColorMap[1], (TRGB{10, 10, 90}));
    }
}

TEST(PngWriter, BackgroundChunkIsWrittenInTheImageDepth)
{
    kvtest::TempFolder folder;
    TKVBitmap picture;
    MakePicture(picture, 4, 4);
    TIOParamsVals params;
    params.PNG_Background = TRGB{30, 20, 10};
    const std::string png = Write(picture, params);
    std::string report;
    EXPECT_TRUE(PngcheckAccepts(folder, png, &report)) << report;
    EXPECT_NE(report.find("red = 0x000a, green = 0x0014, blue = 0x001e"), std::string::npos) << report;
    TStringStream stream(png);
    TRead r;
    Read(stream, r, true);
    EXPECT_EQ(r.Params.PNG_Background, (TRGB{30, 20, 10}));
}

TEST(PngWriter, MasksOfAnotherSizeAreLeftOut)
{
    TKVBitmap picture;
    MakePicture(picture, 6, 6);
    TKVMask small;
    small.AllocateBits(3, 3, 8);
    small.Fill(0);
    small.Full = false;
    TIOParamsVals params;
    TStringStream stream(Write(picture, params, &small));
    TRead r;
    Read(stream, r);
    EXPECT_FALSE(r.Aborting);
    EXPECT_EQ(r.Params.SamplesPerPixel, 3);
    EXPECT_TRUE(SamePixels(r.Bitmap, picture));
}

namespace {

// Takes the first `room` bytes and then refuses more.
class TFullStream : public TMemoryStream
{
public:
    explicit TFullStream(int64_t room) : FRoom(room) {}
    int64_t Write(const void* buffer, int64_t count) override
    {
        const int64_t taken = std::min(count, std::max<int64_t>(0, FRoom - Size()));
        return taken > 0 ? TMemoryStream::Write(buffer, taken) : 0;
    }

private:
    int64_t FRoom;
};

} // namespace

TEST(PngWriter, ShortWritesSetTheAbortFlagAndLibraryErrorsRaise)
{
    TKVBitmap picture;
    MakePicture(picture, 64, 64);
    TIOParamsVals params;
    TFullStream full(100);
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Pngfiltw::WritePNGStream(full, picture, params, progress, nullptr);
    EXPECT_TRUE(aborting);

    // A side past the codecs' pixel budget is refused by the library's own limit.
    TKVBitmap tooWide;
    tooWide.Allocate(int32_t(KVCodecMaxPixels + 1), 1, kv1g);
    TIOParamsVals bits;
    bits.BitsPerSample = 1;
    bits.SamplesPerPixel = 1;
    TStringStream out;
    try {
        Pngfiltw::WritePNGStream(out, tooWide, bits, progress, nullptr);
        ADD_FAILURE() << "a row beyond the pixel budget was written";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Error on creating PNG");
    }
}

// A picture the library holds saves whatever its shape: rows past the PNG library's default limit
// of 1,000,000 pixels too (a layer of the vector file is saved so when it is stored or copied).
TEST(PngWriter, WritesRowsPastAMillionPixels)
{
    kvtest::TempFolder folder;
    TKVBitmap wide;
    MakePicture(wide, 1000001, 2);
    TIOParamsVals params;
    const std::string png = Write(wide, params);
    EXPECT_TRUE(PngcheckAccepts(folder, png));
    TStringStream stream(png);
    TRead r;
    Read(stream, r);
    EXPECT_FALSE(r.Aborting);
    EXPECT_TRUE(SamePixels(r.Bitmap, wide));
}
