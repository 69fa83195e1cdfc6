// The lossless JPEG transforms against jpegtran: every operation on JPEGs of every sampling,
// grey and progressive gives the same pixels as jpegtran -trim, the cut equals jpegtran -crop
// of the MCU-rounded rectangle, and each copy option keeps the segments it names.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string GoImages = "/usr/share/go-1.19/src/image/testdata/";

::testing::AssertionResult HaveTools()
{
    return kvtest::Installed(
        {GoImages + "video-001.q50.420.jpeg", "jpegtran", "djpeg", "wrjpgcom", "exiftool"});
}

// Transforms the bytes; aborted tells whether it failed.
std::string Transform(const std::string& jpeg, TKVJpegTransform operation, bool* aborted = nullptr,
                      bool grayscale = false, TKVJpegCopyMarkers copy = jcCopyNone, TRect cut = {})
{
    TMemoryStream input, output;
    kvtest::FillStream(input, jpeg);
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Jpegfilt::KVJpegLosslessTransform(input, output, progress, operation, grayscale, copy, cut);
    if (aborted != nullptr) {
        *aborted = aborting;
    }
    return std::string(static_cast<const char*>(output.Memory()), size_t(output.Size()));
}

// The marker bytes of every segment before the first scan.
std::vector<uint8_t> Segments(const std::string& jpeg)
{
    std::vector<uint8_t> markers;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xFF) {
        const auto marker = uint8_t(jpeg[at + 1]);
        markers.push_back(marker);
        if (marker == 0xDA) {
            break;
        }
        at += 2 + size_t(uint8_t(jpeg[at + 2]) << 8 | uint8_t(jpeg[at + 3]));
    }
    return markers;
}

size_t Count(const std::vector<uint8_t>& markers, uint8_t marker)
{
    return size_t(std::count(markers.begin(), markers.end(), marker));
}

} // namespace

TEST(JpegTransform, EveryOperationMatchesJpegtran)
{
    ASSERT_TRUE(HaveTools());
    const char* files[] = {
        "video-001.q50.410.jpeg",
        "video-001.q50.411.jpeg",
        "video-001.q50.420.jpeg",
        "video-001.q50.422.jpeg",
        "video-001.q50.440.jpeg",
        "video-001.q50.444.jpeg",
        "video-001.q50.420.progressive.jpeg",
        "video-005.gray.jpeg",
        "video-005.gray.q50.2x2.jpeg",
    };
    const struct
    {
        TKVJpegTransform operation;
        const char* jpegtran;
    } operations[] = {
        {jtNone, ""},
        {jtHorizFlip, "-flip horizontal"},
        {jtVertFlip, "-flip vertical"},
        {jtTranspose, "-transpose"},
        {jtTransverse, "-transverse"},
        {jtRotate90, "-rotate 90"},
        {jtRotate180, "-rotate 180"},
        {jtRotate270, "-rotate 270"},
    };
    kvtest::TempFolder folder;
    for (const char* name : files) {
        const std::string source = GoImages + name;
        const std::string bytes = kvtest::TempFolder::Read(source);
        for (const auto& op : operations) {
            // Keeping only the grey is asked of a few samplings.
            const bool greyToo = std::string(name).find("420.jpeg") != std::string::npos ||
                                 std::string(name).find("444.jpeg") != std::string::npos ||
                                 std::string(name).find("2x2") != std::string::npos;
            for (const bool grey : {false, true}) {
                if (grey && !greyToo) {
                    continue;
                }
                SCOPED_TRACE(std::string(name) + " " + op.jpegtran + (grey ? " grey" : ""));
                bool aborted = true;
                const std::string ours =
                    folder.Write("ours.jpg", Transform(bytes, op.operation, &aborted, grey));
                ASSERT_FALSE(aborted);
                const std::string theirs =
                    kvtest::ToolOutput(std::string("jpegtran -trim ") + (grey ? "-grayscale " : "") +
                                       op.jpegtran + " " + source);
                ASSERT_FALSE(theirs.empty());
                const std::string expected =
                    kvtest::ToolOutput("djpeg -pnm " + folder.Write("theirs.jpg", theirs));
                ASSERT_FALSE(expected.empty());
                EXPECT_TRUE(kvtest::ToolOutput("djpeg -pnm " + ours) == expected);
            }
        }
    }
}

// A 4:2:0 picture has 16 x 16 MCUs: the cut starts at the MCU that holds the corner and keeps
// the whole MCUs the rectangle touches, cut to the picture.
TEST(JpegTransform, CutKeepsWholeMcusOfTheRectangle)
{
    ASSERT_TRUE(HaveTools());
    const std::string source = GoImages + "video-001.q50.420.jpeg"; // 150 x 103
    const std::string bytes = kvtest::TempFolder::Read(source);
    kvtest::TempFolder folder;
    const struct
    {
        TRect cut;
        const char* crop; // jpegtran's rectangle: width x height + left + top
    } cases[] = {
        {{20, 20, 59, 59}, "48x48+16+16"},     {{0, 0, 149, 102}, "150x103+0+0"},
        {{130, 90, 400, 300}, "22x23+128+80"}, {{-30, -5, 10, 3}, "16x16+0+0"},
        {{33, 0, 33, 0}, "16x16+32+0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.crop);
        bool aborted = true;
        const std::string ours =
            folder.Write("ours.jpg", Transform(bytes, jtCut, &aborted, false, jcCopyNone, c.cut));
        ASSERT_FALSE(aborted);
        const std::string theirs = folder.Write(
            "theirs.jpg", kvtest::ToolOutput(std::string("jpegtran -crop ") + c.crop + " " + source));
        EXPECT_TRUE(kvtest::ToolOutput("djpeg -pnm " + ours) == kvtest::ToolOutput("djpeg -pnm " + theirs));
    }
    for (const TRect empty : {TRect{60, 10, 59, 20}, TRect{200, 0, 300, 50}, TRect{0, 103, 10, 200}}) {
        bool aborted = false;
        Transform(bytes, jtCut, &aborted, false, jcCopyNone, empty);
        EXPECT_TRUE(aborted);
    }
}

// None keeps no segment but the library's own JFIF header; comments keep COM; all keeps the
// EXIF APP1 too, telling the size of the picture written, and still one JFIF header.
TEST(JpegTransform, CopyOptionsKeepTheSegmentsTheyName)
{
    ASSERT_TRUE(HaveTools());
    kvtest::TempFolder folder;
    const std::string marked = folder.File("marked.jpg");
    kvtest::ToolOutput("wrjpgcom -comment 'a comment' " + GoImages + "video-001.q50.420.jpeg > " + marked);
    kvtest::ToolOutput("exiftool -q -overwrite_original -n -Artist=Someone -ExifImageWidth=6000 "
                       "-ExifImageHeight=4000 " +
                       marked);
    const std::string bytes = kvtest::TempFolder::Read(marked);
    ASSERT_EQ(Count(Segments(bytes), 0xE1), 1u);
    ASSERT_EQ(Count(Segments(bytes), 0xFE), 1u);
    const struct
    {
        TKVJpegCopyMarkers copy;
        size_t app0, app1, comments;
    } cases[] = {
        {jcCopyNone, 1, 0, 0},
        {jcCopyComments, 1, 0, 1},
        {jcCopyAll, 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy);
        for (const TKVJpegTransform operation : {jtNone, jtCut}) {
            bool aborted = true;
            const std::string out = Transform(bytes, operation, &aborted, false, c.copy, TRect{0, 0, 40, 40});
            ASSERT_FALSE(aborted);
            const std::vector<uint8_t> segments = Segments(out);
            EXPECT_EQ(Count(segments, 0xE0), c.app0);
            EXPECT_EQ(Count(segments, 0xE1), c.app1);
            EXPECT_EQ(Count(segments, 0xFE), c.comments);
        }
    }
    const std::string all = folder.Write("all.jpg", Transform(bytes, jtRotate90, nullptr, false, jcCopyAll));
    EXPECT_NE(kvtest::ToolOutput("exiftool -Artist " + all).find("Someone"), std::string::npos);
    EXPECT_NE(kvtest::ToolOutput("rdjpgcom " + all).find("a comment"), std::string::npos);
    const std::string cut =
        folder.Write("cut.jpg", Transform(bytes, jtCut, nullptr, false, jcCopyAll, {20, 20, 59, 59}));
    EXPECT_EQ(kvtest::ToolOutput("exiftool -p '$ImageWidth $ImageHeight $ExifImageWidth $ExifImageHeight' " +
                                 all + " " + cut),
              "96 150 96 150\n48 48 48 48\n");
}

TEST(JpegTransform, RefusesWhatItCannotTransform)
{
    ASSERT_TRUE(kvtest::Installed(GoImages + "video-001.cmyk.jpeg"));
    const std::string jpeg = kvtest::TempFolder::Read(GoImages + "video-001.cmyk.jpeg");
    const struct
    {
        const char* name;
        std::string bytes;
        bool grey;
    } cases[] = {
        {"grey of a CMYK picture", jpeg, true},
        {"no JPEG in the first 100 bytes", std::string(100, 'x') + jpeg, false},
        {"cut in its header", jpeg.substr(0, jpeg.find("\xff\xda") - 10), false},
        {"nothing", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool aborted = false;
        Transform(c.bytes, jtRotate90, &aborted, c.grey);
        EXPECT_TRUE(aborted);
    }
    // A CMYK picture itself turns.
    bool aborted = true;
    Transform(jpeg, jtRotate180, &aborted);
    EXPECT_FALSE(aborted);
}

// A progressive header of a few bytes declaring 64250 x 64250 pixels fails before the library
// takes memory for its coefficients, as the reader refuses it: each run stays under 64 MB. The
// files are the fuzz replay corpus's (11 bytes of choices, then the JPEG).
TEST(JpegTransform, RefusesPicturesPastThePixelBudgetBeforeReadingThem)
{
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/jpegxform/";
    for (const char* name : {"progressive-64250-square.bin", "progressive-64250-square-2.bin"}) {
        SCOPED_TRACE(name);
        const std::string jpeg = kvtest::TempFolder::Read(corpus + name).substr(11);
        ASSERT_GT(jpeg.size(), 1000u);
        for (const TKVJpegTransform operation : {jtNone, jtRotate90}) {
            bool aborted = false;
            const int64_t peak = kvtest::PeakHeapOf([&] { Transform(jpeg, operation, &aborted); });
            EXPECT_TRUE(aborted);
            EXPECT_LT(peak, int64_t(64) << 20);
        }
    }
}
