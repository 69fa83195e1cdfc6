// Reading a picture's parameters without its pixels: what each format fills, and how missing,
// misnamed and unknown inputs end.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

using namespace kviotest;

TEST(ParamsOnly, FillsSizeDepthTypeAndResolutionButNoPixels)
{
    const struct
    {
        std::string name;
        int32_t fileType;
        int32_t width;
        int32_t height;
        int32_t bitsPerSample;
        int32_t samplesPerPixel;
        int32_t dpiX;
        int32_t dpiY;
    } cases[] = {
        {GoImage("video-001.jpeg"), 3, 150, 103, 8, 3, 72, 72},
        {GoImage("video-005.gray.jpeg"), 3, 150, 103, 8, 1, 100, 100},
        {GoImage("video-001.png"), 8, 150, 103, 8, 3, 0, 0},
        {GoImage("video-001.gif"), 2, 150, 103, 8, 1, 0, 0},
        {PixbufImage("reftests/mandatory-bitmasks.bmp"), 5, 350, 400, 8, 3, 72, 72},
        {PixbufImage("randomly-modified/valid.3.ppm"), 12, 8, 8, 8, 3, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t screenDpi = 96;
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        FillPattern(*io.KVBitmap(), 5, 4, 9);
        TKVBitmap before;
        before.Assign(io.KVBitmap());
        TEventLog events;
        events.Attach(io);
        io.ParamsFromFile(c.name);
        EXPECT_EQ(io.Params().FileType, c.fileType);
        EXPECT_EQ(io.Params().FileName, c.name);
        EXPECT_EQ(io.Params().Width, c.width);
        EXPECT_EQ(io.Params().Height, c.height);
        EXPECT_EQ(io.Params().BitsPerSample, c.bitsPerSample);
        EXPECT_EQ(io.Params().SamplesPerPixel, c.samplesPerPixel);
        // A file without a resolution reads as the screen's.
        EXPECT_EQ(io.Params().DpiX, c.dpiX != 0 ? c.dpiX : screenDpi);
        EXPECT_EQ(io.Params().DpiY, c.dpiY != 0 ? c.dpiY : screenDpi);
        EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));
        EXPECT_EQ(events.Finishes(), 1);

        TMemoryStream stream;
        stream.LoadFromFile(c.name);
        TKorvaneIO fromStream(nullptr);
        PlugLzwCoders(fromStream);
        fromStream.ParamsFromStream(stream);
        EXPECT_EQ(fromStream.Params().FileType, c.fileType);
        EXPECT_EQ(fromStream.Params().Width, c.width);
        EXPECT_EQ(fromStream.Params().FileName, "");
    }
}

TEST(ParamsOnly, UnreadableInputsEndWithNoFileType)
{
    kvtest::TempFolder folder;
    CopyFile(GoImage("video-001.png"), folder.File("png-named.jpg"));
    const std::string truncated = FileBytes(GoImage("video-001.jpeg")).substr(0, 40);
    folder.Write("truncated.jpg", truncated);
    for (const std::string& name :
         {folder.File("missing.jpg"), folder.File("png-named.jpg"), folder.File("truncated.jpg")}) {
        SCOPED_TRACE(name);
        TKorvaneIO io(nullptr);
        TEventLog events;
        events.Attach(io);
        io.ParamsFromFile(name);
        EXPECT_EQ(io.Params().FileType, 0);
        EXPECT_EQ(io.Params().FileName, name);
        EXPECT_EQ(events.Finishes(), 1);
    }
}

// An id that names no readable format must not look recognised.
TEST(ParamsOnly, FormatIdWithoutReaderGivesNoFileType)
{
    TMemoryStream stream;
    stream.LoadFromFile(GoImage("video-001.jpeg"));
    for (const int32_t fileType : {77, 1, 9, 15}) {
        SCOPED_TRACE(fileType);
        TKorvaneIO io(nullptr);
        stream.SetPosition(0);
        io.ParamsFromStreamFormat(stream, fileType);
        EXPECT_EQ(io.Params().FileType, 0);
    }
}

// The pixel budget bounds what a decode allocates; the header of a picture too large to load
// still tells its size, as JPEG and PNG headers do, so a caller can say why it was left out.
TEST(ParamsOnly, JpegTwoThousandPastThePixelBudgetReportsItsSizeButDoesNotLoad)
{
    const std::string folder = std::string(KV_TEST_DATA_DIR) + "/fuzz/j2k/";
    const struct
    {
        const char* name;
        int32_t fileType;
    } cases[] = {{"sixty-thousand-square.jp2", 13}, {"sixty-thousand-square.j2k", 14}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = folder + c.name;
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 5, 4);
        io.ParamsFromFile(name);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, c.fileType);
        EXPECT_EQ(io.Params().Width, 60000);
        EXPECT_EQ(io.Params().Height, 60000);
        EXPECT_EQ(io.Params().SamplesPerPixel, 3);

        io.LoadFromFile(name);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 5);
    }
}
