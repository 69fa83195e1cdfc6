// The JPEG codec against files no one here wrote (decoded by djpeg as the reference), against
// cjpeg and identify for what it writes, and on damaged and hostile input.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/le_stream.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string GoImages = "/usr/share/go-1.19/src/image/testdata/";

struct TRead
{
    TKVBitmap Bitmap;
    TIOParamsVals Params;
    bool Aborting = false;
};

void Read(TStream& stream, TRead& r, bool paramsOnly = false)
{
    TProgressRec progress = kvtest::ProgressInto(r.Aborting);
    Jpegfilt::ReadJPegStream(stream, nullptr, r.Bitmap, r.Params, progress, paramsOnly);
}

void ReadFile(const std::string& fileName, TRead& r)
{
    TFileStream file(fileName, fmOpenRead);
    Read(file, r);
}

std::string ReadBytes(const std::string& fileName)
{
    return kvtest::TempFolder::Read(fileName);
}

// A test picture with smooth gradients and hard edges, so that JPEG has work to do.
void MakePicture(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            row[3 * x + 2] = ((x / 8 + y / 8) % 2) != 0 ? 230 : 20;
        }
    }
}

std::string Write(TKVBitmap& bitmap, TIOParamsVals& params, bool* abortedOut = nullptr)
{
    TStringStream out;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Jpegfilt::WriteJPegStream(out, bitmap, params, progress);
    if (abortedOut != nullptr) {
        *abortedOut = aborting;
    }
    return out.DataString();
}

// The picture as a PPM file, for cjpeg.
std::string ToPpm(TKVBitmap& bitmap)
{
    std::string ppm =
        "P6\n" + std::to_string(bitmap.GetWidth()) + " " + std::to_string(bitmap.GetHeight()) + "\n255\n";
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            ppm += static_cast<char>(row[3 * x + 2]);
            ppm += static_cast<char>(row[3 * x + 1]);
            ppm += static_cast<char>(row[3 * x]);
        }
    }
    return ppm;
}

// Segment markers of a JPEG up to its first scan, in order.
std::vector<uint8_t> SegmentTypes(const std::string& jpeg)
{
    std::vector<uint8_t> types;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[pos]) == 0xFF) {
        const auto marker = static_cast<uint8_t>(jpeg[pos + 1]);
        types.push_back(marker);
        if (marker == 0xDA) {
            break;
        }
        pos += 2 + (static_cast<uint8_t>(jpeg[pos + 2]) << 8 | static_cast<uint8_t>(jpeg[pos + 3]));
    }
    return types;
}

std::string Segment(uint8_t marker, const std::string& data)
{
    const size_t length = data.size() + 2;
    return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF)} +
           data;
}

// A small baseline JPEG written by cjpeg (JFIF APP0 first), and its parts around the APP0.
std::string SmallCjpegFile(kvtest::TempFolder& folder)
{
    TKVBitmap picture;
    MakePicture(picture, 24, 16);
    const std::string ppm = folder.Write("small.ppm", ToPpm(picture));
    return kvtest::RunTool("cjpeg -quality 90 " + ppm);
}

} // namespace

TEST(JpegReader, DecodesGoSamplesAsDjpegDoes)
{
    const char* const files[] = {
        "video-001.jpeg",
        "video-001.progressive.jpeg",
        "video-001.q50.410.jpeg",
        "video-001.q50.411.jpeg",
        "video-001.q50.420.progressive.jpeg",
        "video-001.q50.422.jpeg",
        "video-001.q50.440.jpeg",
        "video-001.q50.444.progressive.jpeg",
        "video-001.rgb.jpeg",
        "video-001.221212.jpeg",
        "video-001.separate.dc.progression.jpeg",
        "video-005.gray.jpeg",
        "video-005.gray.q50.2x2.progressive.jpeg",
    };
    for (const char* name : files) {
        const std::string path = GoImages + name;
        TRead r;
        ReadFile(path, r);
        EXPECT_FALSE(r.Aborting) << name;
        const kvtest::TPnmImage reference = kvtest::ParsePnm(kvtest::RunTool("djpeg -pnm " + path));
        ASSERT_TRUE(reference.Valid()) << name;
        EXPECT_EQ(kvtest::MaxDifference(r.Bitmap, reference), 0) << name;
        EXPECT_EQ(r.Params.BitsPerSample, 8);
        EXPECT_EQ(r.Params.SamplesPerPixel, reference.Channels) << name;
    }
}

TEST(JpegReader, ColourSpacesOfTheFile)
{
    struct Case
    {
        const char* file;
        TIOJPEGColorspace colorSpace;
        int32_t samples;
        int32_t tolerance; // CMYK: djpeg rounds where the reader truncates
    };
    const Case cases[] = {{"video-005.gray.jpeg", ioJPEG_GRAYLEV, 1, 0},
                          {"video-001.rgb.jpeg", ioJPEG_RGB, 3, 0},
                          {"video-001.jpeg", ioJPEG_YCbCr, 3, 0},
                          {"video-001.cmyk.jpeg", ioJPEG_CMYK, 4, 1}};
    for (const Case& c : cases) {
        TRead r;
        ReadFile(GoImages + c.file, r);
        EXPECT_FALSE(r.Aborting) << c.file;
        EXPECT_EQ(r.Params.JPEG_ColorSpace, c.colorSpace) << c.file;
        EXPECT_EQ(r.Params.SamplesPerPixel, c.samples) << c.file;
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), kv24RGB) << c.file;
        const kvtest::TPnmImage reference =
            kvtest::ParsePnm(kvtest::RunTool("djpeg -pnm " + GoImages + c.file));
        EXPECT_LE(kvtest::MaxDifference(r.Bitmap, reference), c.tolerance) << c.file;
    }
}

TEST(JpegReader, ComponentsUnconvertedWhenAsked)
{
    // An RGB-coded file read with unconverted output keeps its component order R, G, B in memory,
    // where the normal read stores blue, green, red.
    TKVBitmap picture;
    MakePicture(picture, 16, 8);
    TIOParamsVals params;
    params.JPEG_ColorSpace = ioJPEG_RGB;
    params.JPEG_Quality = 100;
    const std::string jpeg = Write(picture, params);
    TRead normal;
    TRead raw;
    TStringStream first(jpeg);
    Read(first, normal);
    TStringStream second(jpeg);
    TProgressRec progress = kvtest::ProgressInto(raw.Aborting);
    Jpegfilt::ReadJPegStream(second, nullptr, raw.Bitmap, raw.Params, progress, false, true);
    ASSERT_FALSE(raw.Aborting);
    for (int32_t y = 0; y < 8; ++y) {
        const uint8_t* normalRow = normal.Bitmap.GetScanLine(y);
        const std::vector<uint8_t> bgr(normalRow, normalRow + 48);
        const uint8_t* rgb = raw.Bitmap.GetScanLine(y);
        for (int32_t x = 0; x < 16; ++x) {
            EXPECT_EQ(rgb[3 * x], bgr[3 * x + 2]);
            EXPECT_EQ(rgb[3 * x + 2], bgr[3 * x]);
        }
    }
}

TEST(JpegReader, FindsTheSignatureWithinTheFirstHundredBytes)
{
    const std::string jpeg = ReadBytes(GoImages + "video-001.jpeg");
    for (size_t junk : {size_t(0), size_t(50), size_t(99), size_t(100), size_t(150)}) {
        TStringStream stream(std::string(junk, 'j') + jpeg);
        EXPECT_EQ(Jpegfilt::JpegTryStream(stream), junk < 100 ? int64_t(junk) : -1) << junk;
        EXPECT_EQ(stream.Position(), 0);
        TRead r;
        Read(stream, r);
        EXPECT_EQ(r.Aborting, junk >= 100) << junk;
        if (!r.Aborting) {
            EXPECT_EQ(r.Params.Width, 150);
        }
    }
}

TEST(JpegReader, ScalesToTheLargestReductionThatCoversTheWantedSize)
{
    TKVBitmap picture;
    MakePicture(picture, 1600, 1200);
    TIOParamsVals writeParams;
    TStringStream jpeg(Write(picture, writeParams));
    struct Case
    {
        TIOJPEGScale scale;
        int32_t wantedWidth;
        int32_t wantedHeight;
        int32_t denominator;
        int32_t width;
    };
    const Case cases[] = {{ioJPEG_AUTOCALC, 300, 200, 4, 400},  {ioJPEG_AUTOCALC, 200, 150, 8, 200},
                          {ioJPEG_AUTOCALC, 1601, 10, 1, 1600}, {ioJPEG_AUTOCALC, 0, 0, 1, 1600},
                          {ioJPEG_HALF, 0, 0, 2, 800},          {ioJPEG_EIGHTH, 0, 0, 8, 200}};
    for (const Case& c : cases) {
        jpeg.SetPosition(0);
        TRead r;
        r.Params.JPEG_Scale = c.scale;
        r.Params.Width = c.wantedWidth;
        r.Params.Height = c.wantedHeight;
        Read(jpeg, r);
        EXPECT_FALSE(r.Aborting);
        EXPECT_EQ(r.Params.JPEG_Scale_Used, c.denominator) << c.wantedWidth;
        EXPECT_EQ(r.Params.Width, c.width) << c.wantedWidth;
        EXPECT_EQ(r.Bitmap.GetWidth(), c.width) << c.wantedWidth;
        EXPECT_EQ(r.Params.JPEG_OriginalWidth, 1600);
        EXPECT_EQ(r.Params.JPEG_OriginalHeight, 1200);
    }
}

// Resolutions come in dots per inch rounded to the nearest (ties to even), from the JFIF density
// in inches or centimetres, or from the EXIF resolution where the JFIF header gives none; exiftool
// sets them on a file cjpeg writes (JFIF unit 0, an aspect ratio only).
TEST(JpegReader, ResolutionsRoundToTheNearestDotPerInch)
{
    ASSERT_TRUE(kvtest::Installed({"cjpeg", "exiftool"}));
    kvtest::TempFolder folder;
    const std::string base = SmallCjpegFile(folder);
    struct Case
    {
        const char* tags;
        int32_t dpiX, dpiY;
    };
    Kvview::gSystemDPIX = Kvview::gSystemDPIY = 96;
    const Case cases[] = {
        {"", 96, 96}, // an aspect ratio only: the screen resolution stands in
        {"-JFIF:ResolutionUnit=inches -JFIF:XResolution=300 -JFIF:YResolution=150", 300, 150},
        {"-JFIF:ResolutionUnit=cm -JFIF:XResolution=1 -JFIF:YResolution=2", 3, 5},
        {"-JFIF:ResolutionUnit=cm -JFIF:XResolution=118 -JFIF:YResolution=25", 300, 64},
        {"-EXIF:ResolutionUnit=inches -EXIF:XResolution=43.99999 -EXIF:YResolution=72.5", 44, 72},
        {"-EXIF:ResolutionUnit=cm -EXIF:XResolution=17.32 -EXIF:YResolution=1", 44, 3},
        // The JFIF density wins over the EXIF resolution.
        {"-JFIF:ResolutionUnit=cm -JFIF:XResolution=2 -JFIF:YResolution=2 -EXIF:XResolution=600", 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tags);
        const std::string file = folder.Write("tagged.jpg", base);
        ASSERT_EQ(kvtest::ToolExitCode(std::string("exiftool -q -overwrite_original ") + c.tags + " " + file),
                  0);
        TKorvaneIO io(nullptr);
        io.LoadFromFile(file);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().DpiX, c.dpiX);
        EXPECT_EQ(io.Params().DpiY, c.dpiY);
    }
}

TEST(JpegReader, KeepsSavedSegmentsButTheLeadingJfifHeader)
{
    kvtest::TempFolder folder;
    const std::string base = SmallCjpegFile(folder);
    const size_t afterApp0 = 4 + (static_cast<uint8_t>(base[4]) << 8 | static_cast<uint8_t>(base[5]));
    const std::string second = Segment(0xE0, std::string("JFXX\0\x10", 6));
    const std::string exif = Segment(0xE1, std::string("Exif\0\0tiff", 10));
    const std::string comment = Segment(0xFE, "made here");
    const std::string jpeg = base.substr(0, afterApp0) + exif + second + comment + base.substr(afterApp0);
    TStringStream stream(jpeg);
    TRead r;
    Read(stream, r);
    EXPECT_FALSE(r.Aborting);
    const TKVMarkerList& markers = r.Params.JPEG_MarkerList;
    ASSERT_EQ(markers.GetCount(), 3);
    EXPECT_EQ(markers.GetMarkerType(0), 0xE1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(markers.GetMarkerData(0)), 10),
              std::string("Exif\0\0tiff", 10));
    EXPECT_EQ(markers.GetMarkerType(1), 0xE0);
    EXPECT_EQ(markers.GetMarkerType(2), 0xFE);
    EXPECT_EQ(markers.GetMarkerLength(2), 9);
}

TEST(JpegReader, ParamsOnlyFillsTheRecordAndLeavesTheBitmap)
{
    TRead r;
    r.Bitmap.Allocate(3, 2, kv1g);
    TFileStream file(GoImages + "video-001.progressive.jpeg", fmOpenRead);
    Read(file, r, true);
    EXPECT_FALSE(r.Aborting);
    EXPECT_EQ(r.Params.Width, 150);
    EXPECT_EQ(r.Params.Height, 103);
    EXPECT_TRUE(r.Params.JPEG_Progressive);
    EXPECT_EQ(r.Bitmap.GetWidth(), 3);
    EXPECT_EQ(r.Bitmap.GetPixelFormat(), kv1g);
}

TEST(JpegReader, CutScanDataStillYieldsEveryRowWithAWarning)
{
    const std::string jpeg = ReadBytes(GoImages + "video-001.jpeg");
    TStringStream stream(jpeg.substr(0, jpeg.size() * 2 / 3));
    TRead r;
    Read(stream, r);
    EXPECT_FALSE(r.Aborting);
    EXPECT_EQ(r.Bitmap.GetHeight(), 103);
    EXPECT_GE(r.Params.JPEG_WarningTot, 1);
    EXPECT_NE(r.Params.JPEG_WarningCode, 0);

    TRead progressive;
    ReadFile(GoImages + "video-001.progressive.truncated.jpeg", progressive);
    EXPECT_FALSE(progressive.Aborting);
    EXPECT_EQ(progressive.Bitmap.GetHeight(), 103);
}

// Rows after a stop are zero (black), never what the heap held; the suite runs this once more
// under two heap fill patterns.
TEST(JpegReader, RowsPastAStopAreCleared)
{
    TRead whole;
    ReadFile(GoImages + "video-001.jpeg", whole);
    ASSERT_FALSE(whole.Aborting);
    TFileStream file(GoImages + "video-001.jpeg", fmOpenRead);
    TRead stopped;
    TProgressRec progress = kvtest::ProgressInto(stopped.Aborting);
    progress.OnProgress = [&stopped](TObject*, int32_t percent) { stopped.Aborting = percent >= 50; };
    Jpegfilt::ReadJPegStream(file, nullptr, stopped.Bitmap, stopped.Params, progress, false);
    EXPECT_TRUE(stopped.Aborting);
    const int32_t height = whole.Bitmap.GetHeight();
    ASSERT_EQ(stopped.Bitmap.GetHeight(), height);
    int32_t decoded = 0, cleared = 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* wholeRow = whole.Bitmap.GetScanLine(y);
        const std::string expected(wholeRow, wholeRow + 3 * whole.Bitmap.GetWidth());
        const uint8_t* row = stopped.Bitmap.GetScanLine(y);
        const std::string got(row, row + expected.size());
        decoded += got == expected;
        cleared += got == std::string(expected.size(), '\0');
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(cleared, 0);
    EXPECT_EQ(decoded + cleared, height);
}

TEST(JpegReader, DamagedAndHostileFilesEndWithTheAbortFlag)
{
    const std::string good = ReadBytes(GoImages + "video-001.jpeg");
    // SOF0 of this file: find it and declare 65500 x 65500 pixels.
    std::string huge = good;
    const size_t sof = huge.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    huge[sof + 5] = huge[sof + 7] = '\xFF';
    huge[sof + 6] = huge[sof + 8] = '\xDC';
    std::string badTable = good;
    const size_t dqt = badTable.find("\xFF\xDB");
    badTable[dqt + 4] = '\x3F'; // table id 15
    struct Case
    {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"no signature", "not a jpeg at all"},
        {"signature only", "\xFF\xD8\xFF"},
        {"cut inside the header", good.substr(0, 300)},
        {"more pixels than the budget", huge},
        // 39062 x 6621 is within the pixel budget, but three full-size components of a
        // progressive file would hold 1.5 GB of coefficients.
        {"coefficients past the budget",
         ReadBytes(std::string(KV_TEST_DATA_DIR) +
                   "/fuzz/jpeg/progressive-444-coefficients-past-budget.jpg")},
        {"undefined quantisation table", badTable},
        {"gdk-pixbuf CVE-2017-2862",
         ReadBytes("/usr/libexec/installed-tests/gdk-pixbuf/test-images/fail/CVE-2017-2862.jpg")},
    };
    for (const Case& c : cases) {
        TStringStream stream(c.bytes);
        TRead r;
        Read(stream, r);
        EXPECT_TRUE(r.Aborting) << c.name;
        EXPECT_LE(int64_t(r.Bitmap.GetWidth()) * r.Bitmap.GetHeight(), KVCodecMaxPixels) << c.name;
    }
}

TEST(JpegWriter, IdentifyReadsSizeQualityAndDensity)
{
    kvtest::TempFolder folder;
    TKVBitmap picture;
    MakePicture(picture, 120, 90);
    struct Case
    {
        int32_t quality;
        int32_t dpiX;
        int32_t dpiY;
        bool progressive;
        std::string expected;
    };
    Kvview::gSystemDPIX = 96;
    Kvview::gSystemDPIY = 96;
    const Case cases[] = {{80, 300, 150, false, "120x90 80 300x150"},
                          {35, 0, 0, true, "120x90 35 96x96"},
                          {100, 72, 72, false, "120x90 100 72x72"}};
    for (const Case& c : cases) {
        TIOParamsVals params;
        params.JPEG_Quality = c.quality;
        params.DpiX = c.dpiX;
        params.DpiY = c.dpiY;
        params.JPEG_Progressive = c.progressive;
        const std::string file = folder.Write("out.jpg", Write(picture, params));
        EXPECT_EQ(kvtest::RunTool("identify -format '%wx%h %Q %x' " + file),
                  c.expected.substr(0, c.expected.rfind(' ') + 1) + std::to_string(c.dpiX ? c.dpiX : 96));
        EXPECT_EQ(kvtest::RunTool("identify -format '%y' " + file), std::to_string(c.dpiY ? c.dpiY : 96));
        int exitCode = -1;
        kvtest::RunTool("djpeg " + file + " > /dev/null", &exitCode);
        EXPECT_EQ(exitCode, 0);
    }
}

TEST(JpegWriter, PixelsMatchWhatCjpegWritesAtTheSameQuality)
{
    kvtest::TempFolder folder;
    TKVBitmap picture;
    MakePicture(picture, 77, 45);
    for (int32_t quality : {10, 75, 95}) {
        TIOParamsVals params;
        params.JPEG_Quality = quality;
        const std::string ours = folder.Write("ours.jpg", Write(picture, params));
        const std::string ppm = folder.Write("in.ppm", ToPpm(picture));
        const std::string theirs = folder.Write(
            "theirs.jpg", kvtest::RunTool("cjpeg -quality " + std::to_string(quality) + " " + ppm));
        const kvtest::TPnmImage ourPixels = kvtest::ParsePnm(kvtest::RunTool("djpeg -pnm " + ours));
        const kvtest::TPnmImage theirPixels = kvtest::ParsePnm(kvtest::RunTool("djpeg -pnm " + theirs));
        ASSERT_TRUE(ourPixels.Valid());
        EXPECT_EQ(ourPixels.Samples, theirPixels.Samples) << quality;

        TStringStream back(kvtest::TempFolder::Read(ours));
        TRead r;
        Read(back, r);
        EXPECT_EQ(kvtest::MaxDifference(r.Bitmap, ourPixels), 0);
    }
}

TEST(JpegWriter, ColourSpacesAndOneBitSources)
{
    TKVBitmap picture;
    MakePicture(picture, 40, 30);
    struct Case
    {
        TIOJPEGColorspace colorSpace;
        int32_t tolerance;
    };
    // Each file decodes as djpeg decodes it, and close to the picture (mean error per sample; the
    // red checkerboard suffers from the halved chroma of YCbCr and from the CMYK arithmetic).
    kvtest::TempFolder folder;
    for (const Case& c : {Case{ioJPEG_RGB, 2}, Case{ioJPEG_YCbCr, 10}, Case{ioJPEG_CMYK, 12},
                          Case{ioJPEG_YCbCrK, 12}, Case{ioJPEG_GRAYLEV, 60}}) {
        TIOParamsVals params;
        params.JPEG_ColorSpace = c.colorSpace;
        params.JPEG_Quality = 95;
        const std::string file = folder.Write("space.jpg", Write(picture, params));
        TStringStream jpeg(kvtest::TempFolder::Read(file));
        TRead r;
        Read(jpeg, r);
        ASSERT_FALSE(r.Aborting);
        EXPECT_EQ(r.Params.JPEG_ColorSpace, c.colorSpace);
        const kvtest::TPnmImage reference = kvtest::ParsePnm(kvtest::RunTool("djpeg -pnm " + file));
        EXPECT_LE(kvtest::MaxDifference(r.Bitmap, reference), 1) << int(c.colorSpace);
        int64_t total = 0;
        for (int32_t y = 0; y < 30; ++y) {
            const uint8_t* row = picture.GetScanLine(y);
            const std::vector<uint8_t> expected(row, row + 120);
            const uint8_t* actual = r.Bitmap.GetScanLine(y);
            for (int32_t i = 0; i < 120; ++i) {
                total += std::abs(int(expected[i]) - int(actual[i]));
            }
        }
        EXPECT_LE(total / (30 * 120), c.tolerance) << int(c.colorSpace);
    }

    TKVBitmap bits;
    bits.Allocate(16, 2, kv1g);
    bits.GetScanLine(0)[0] = 0xFF;
    bits.GetScanLine(0)[1] = 0x00;
    bits.GetScanLine(1)[0] = 0x00;
    bits.GetScanLine(1)[1] = 0xFF;
    TIOParamsVals params;
    params.JPEG_Quality = 100;
    params.JPEG_ColorSpace = ioJPEG_GRAYLEV;
    TStringStream jpeg(Write(bits, params));
    TRead r;
    Read(jpeg, r);
    ASSERT_EQ(r.Bitmap.GetWidth(), 16);
    EXPECT_GE(r.Bitmap.GetScanLine(0)[0], 250);
    EXPECT_LE(r.Bitmap.GetScanLine(0)[3 * 12], 5);
    EXPECT_LE(r.Bitmap.GetScanLine(1)[0], 5);
}

TEST(JpegWriter, MarkerListGoesBackExceptAdobeAndOversizedSegments)
{
    TKVBitmap picture;
    MakePicture(picture, 16, 16);
    TIOParamsVals params;
    params.JPEG_MarkerList.AddMarker(0xE1, "Exif\0\0", 6);
    params.JPEG_MarkerList.AddMarker(0xEE, "Adobe", 5);
    params.JPEG_MarkerList.AddMarker(0xFE, "note", 4);
    params.JPEG_MarkerList.AddMarker(0xD9, "x", 1); // no segment of that type belongs here
    bool aborted = true;
    const std::string jpeg = Write(picture, params, &aborted);
    EXPECT_FALSE(aborted);
    const std::vector<uint8_t> types = SegmentTypes(jpeg);
    EXPECT_EQ(std::count(types.begin(), types.end(), 0xEE), 0);
    EXPECT_EQ(std::count(types.begin(), types.end(), 0xE1), 1);
    EXPECT_EQ(std::count(types.begin(), types.end(), 0xFE), 1);
    EXPECT_EQ(types.front(), 0xE0); // the writer's own JFIF header

    // A list loaded from a stream may hold a segment that no JPEG can carry.
    TMemoryStream listStream;
    KVLEStream::WriteU8(listStream, 0);
    KVLEStream::WriteI32(listStream, 2);
    KVLEStream::WriteU8(listStream, 0xE2);
    KVLEStream::WriteI32(listStream, 70000);
    std::vector<uint8_t> big(70000, 1);
    listStream.WriteBuffer(big.data(), 70000);
    KVLEStream::WriteU8(listStream, 0xFE);
    KVLEStream::WriteI32(listStream, 2);
    listStream.WriteBuffer("ok", 2);
    listStream.SetPosition(0);
    ASSERT_TRUE(params.JPEG_MarkerList.LoadFromStream(listStream));
    const std::string cut = Write(picture, params, &aborted);
    EXPECT_TRUE(aborted);
    EXPECT_LT(cut.size(), 70000u);
}

TEST(JpegWriter, EmptyBitmapsAndLibraryErrors)
{
    TKVBitmap empty;
    TIOParamsVals params;
    bool aborted = false;
    EXPECT_TRUE(Write(empty, params, &aborted).empty());
    EXPECT_TRUE(aborted);

    TKVBitmap wide;
    wide.Allocate(70000, 1, kv24RGB);
    try {
        Write(wide, params, &aborted);
        ADD_FAILURE() << "a 70000-pixel row was written";
    } catch (const EKVJpegException& e) {
        EXPECT_EQ(e.Message(), "Maximum supported image dimension is ? pixels");
    }
}

TEST(JpegWriter, OtherPixelFormatsAreWrittenAsColour)
{
    TKVBitmap grey;
    grey.Allocate(8, 4, kv8g);
    for (int32_t y = 0; y < 4; ++y) {
        std::fill_n(grey.GetScanLine(y), 8, static_cast<uint8_t>(60 * y));
    }
    TIOParamsVals params;
    params.JPEG_Quality = 100;
    TStringStream jpeg(Write(grey, params));
    TRead r;
    Read(jpeg, r);
    ASSERT_EQ(r.Bitmap.GetWidth(), 8);
    EXPECT_NEAR(r.Bitmap.GetScanLine(3)[0], 180, 3);
}

TEST(JpegMessages, TextsOfTheMessageCodes)
{
    struct Case
    {
        int32_t code;
        const char* text;
    };
    const Case cases[] = {{0, "Bogus message code ?"},
                          {1, "Sorry, there are legal restrictions on arithmetic coding"},
                          {41, "Maximum supported image dimension is ? pixels"},
                          {53, "Not a JPEG file: starts with 0x? 0x?"},
                          {73, ""},
                          {74, ""},
                          {86, "?"},
                          {93, "?"},
                          {123, "Application transferred too many scanlines"},
                          {124, "Corrupted"},
                          {-1, "Corrupted"}};
    for (const Case& c : cases) {
        EXPECT_EQ(Jpegfilt::JpegMessageText(c.code), c.text) << c.code;
    }
}

TEST(JpegIptcInjection, PutsTheNewSegmentAfterTheFirstAppSegmentAndKeepsEveryApp1)
{
    kvtest::TempFolder folder;
    const std::string base = SmallCjpegFile(folder);
    const size_t afterApp0 = 4 + (static_cast<uint8_t>(base[4]) << 8 | static_cast<uint8_t>(base[5]));
    const std::string exif = Segment(0xE1, std::string("Exif\0\0data", 10));
    const std::string xmp = Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33));
    const std::string oldIptc = Segment(0xED, "Photoshop 3.0 old");
    // 0xFF fill bytes before a marker are legal.
    const std::string input =
        base.substr(0, afterApp0) + exif + "\xFF\xFF" + xmp + oldIptc + base.substr(afterApp0);

    TKVIPTCInfoList iptc;
    iptc.AddStringItem(2, 120, "A caption");
    TStringStream in(input);
    TStringStream out;
    TProgressRec progress;
    ASSERT_TRUE(Jpegfilt::KVJpegInjectIPTC(in, out, iptc, progress));
    const std::string result = out.DataString();
    EXPECT_EQ(SegmentTypes(result),
              (std::vector<uint8_t>{0xE0, 0xED, 0xE1, 0xE1, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));
    EXPECT_NE(result.find("<x/>"), std::string::npos);
    EXPECT_EQ(result.find("old"), std::string::npos);

    const std::string file = folder.Write("injected.jpg", result);
    int exitCode = -1;
    kvtest::RunTool("djpeg " + file + " > /dev/null", &exitCode);
    EXPECT_EQ(exitCode, 0);
    TStringStream back(result);
    TRead r;
    Read(back, r);
    EXPECT_FALSE(r.Aborting);
    const int32_t app13 = r.Params.JPEG_MarkerList.IndexOf(0xED);
    ASSERT_GE(app13, 0);
    TKVIPTCInfoList read;
    const TKVMarkerList& markers = r.Params.JPEG_MarkerList;
    read.LoadFromStandardBuffer(markers.GetMarkerData(app13), markers.GetMarkerLength(app13));
    ASSERT_EQ(read.GetCount(), 1);
    EXPECT_EQ(read.GetStrings(0), "A caption");
}

TEST(JpegIptcInjection, RefusesWhatItCannotWalkOrWrite)
{
    kvtest::TempFolder folder;
    const std::string base = SmallCjpegFile(folder);
    const size_t afterApp0 = 4 + (static_cast<uint8_t>(base[4]) << 8 | static_cast<uint8_t>(base[5]));
    std::string noApp = "\xFF\xD8" + base.substr(afterApp0);
    std::string shortLength = base.substr(0, afterApp0) + "\xFF\xE2\x00\x01" + base.substr(afterApp0);
    std::string unknownMarker = base.substr(0, afterApp0) + "\xFF\x05" + base.substr(afterApp0);
    TKVIPTCInfoList iptc;
    iptc.AddStringItem(2, 120, "x");
    TKVIPTCInfoList tooLarge;
    tooLarge.AddStringItem(2, 120, std::string(65600, 'y'));
    struct Case
    {
        const char* name;
        std::string input;
        const TKVIPTCInfoList* list;
        bool expected;
    };
    const Case cases[] = {{"plain file", base, &iptc, true},
                          {"no APP0, APP1 or APP13", noApp, &iptc, false},
                          {"segment length below 2", shortLength, &iptc, false},
                          {"unknown marker", unknownMarker, &iptc, false},
                          {"IPTC data longer than a segment", base, &tooLarge, false}};
    for (const Case& c : cases) {
        TStringStream in(c.input);
        TStringStream out;
        TProgressRec progress;
        EXPECT_EQ(Jpegfilt::KVJpegInjectIPTC(in, out, *c.list, progress), c.expected) << c.name;
    }

    // An empty list removes the old APP13 and still succeeds.
    const std::string withIptc = base.substr(0, afterApp0) + Segment(0xED, "old") + base.substr(afterApp0);
    TStringStream in(withIptc);
    TStringStream out;
    TProgressRec progress;
    TKVIPTCInfoList none;
    EXPECT_TRUE(Jpegfilt::KVJpegInjectIPTC(in, out, none, progress));
    EXPECT_EQ(out.DataString(), base);
}
