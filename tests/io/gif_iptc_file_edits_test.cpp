// GIF frames and JPEG IPTC records edited by file name: gifsicle, exiftool and djpeg check the
// results; a file that is no GIF or JPEG, or a write that fails, leaves the original as it was.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace kviotest;

namespace {

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

std::string GifInfo(const std::string& fileName)
{
    return RunTool("gifsicle --info " + Quoted(fileName) + " 2>&1");
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The names in the folder, so that a temporary file left behind shows.
std::vector<std::string> Names(const kvtest::TempFolder& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class FileEdits : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kvtest::Installed({GoImage("video-001.gif"), GoImage("video-001.jpeg")}));
    }
    kvtest::TempFolder FFolder;
};

TEST_F(FileEdits, InsertingAFrameGrowsTheScreenAndLoopsForever)
{
    // A still picture on a 120 x 80 screen gets a 100 x 80 frame at (50, 0) after its own.
    const std::string file = FFolder.File("still.gif");
    RunTool("gifsicle --crop 0,0+120x80 " + GoImage("video-001.gif") + " -o " + file);
    ASSERT_TRUE(Has(GifInfo(file), "logical screen 120x80"));
    EXPECT_FALSE(Korvaneio::CheckAniGif(file));

    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.LoadFromFile(file);
    ASSERT_FALSE(io.Aborting);
    FillPattern(*io.KVBitmap(), 100, 80);
    io.Params().GIF_XPos = 50;
    io.Params().GIF_YPos = 0;
    io.Params().GIF_ImageIndex = 1;
    TEventLog events;
    events.Attach(io);
    EXPECT_EQ(io.InsertToFileGif(file), 2);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    EXPECT_EQ(io.Params().GIF_WinWidth, 150);
    EXPECT_EQ(io.Params().GIF_WinHeight, 80);

    const std::string info = GifInfo(file);
    EXPECT_TRUE(Has(info, "2 images")) << info;
    EXPECT_TRUE(Has(info, "logical screen 150x80")) << info;
    EXPECT_TRUE(Has(info, "loop forever")) << info;
    EXPECT_TRUE(Has(info, "+ image #1 100x80 at 50,0")) << info;
    EXPECT_EQ(Korvaneio::EnumGifIm(file), 2);
    EXPECT_TRUE(Korvaneio::CheckAniGif(file));
    EXPECT_EQ(Names(FFolder), std::vector<std::string>{"still.gif"});
}

TEST_F(FileEdits, DeletingCountingAndTheLoopTestAgreeWithGifsicle)
{
    const std::string animation = PixbufImage("gif-test-suite/animation.gif");
    ASSERT_TRUE(kvtest::Installed(animation));
    const std::string file = FFolder.File("a.gif");
    CopyFile(animation, file);
    EXPECT_EQ(Korvaneio::EnumGifIm(file), 4);
    EXPECT_EQ(Korvaneio::DeleteGifIm(file, 1), 3);
    const std::string info = GifInfo(file);
    EXPECT_TRUE(Has(info, "3 images")) << info;
    EXPECT_TRUE(Has(info, "loop forever")) << info;
    EXPECT_EQ(Korvaneio::EnumGifIm(file), 3);
    EXPECT_TRUE(Korvaneio::CheckAniGif(file));
    // An index past the last frame keeps them all.
    EXPECT_EQ(Korvaneio::DeleteGifIm(file, 9), 3);

    // Files that are missing or no GIF: the counts say 0 and false, the edits change nothing.
    const std::string text = FFolder.Write("notes.gif", "not a picture at all");
    const std::string missing = FFolder.File("missing.gif");
    EXPECT_EQ(Korvaneio::EnumGifIm(missing), 0);
    EXPECT_FALSE(Korvaneio::CheckAniGif(missing));
    EXPECT_THROW(Korvaneio::DeleteGifIm(missing, 0), EFOpenError);
    EXPECT_EQ(Korvaneio::EnumGifIm(text), 0);
    EXPECT_FALSE(Korvaneio::CheckAniGif(text));
    EXPECT_EQ(Korvaneio::DeleteGifIm(text, 0), 0);
    EXPECT_EQ(FileBytes(text), "not a picture at all");

    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    FillPattern(*io.KVBitmap(), 4, 4);
    TEventLog events;
    events.Attach(io);
    EXPECT_EQ(io.InsertToFileGif(text), 0);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(FileBytes(text), "not a picture at all");
    EXPECT_THROW(io.InsertToFileGif(missing), EFOpenError);
    EXPECT_EQ(events.FinishAborting(), (std::vector<bool>{true, true}));
    EXPECT_FALSE(FileExists(missing));
    EXPECT_EQ(Names(FFolder), (std::vector<std::string>{"a.gif", "notes.gif"}));
}

TEST_F(FileEdits, IptcRecordsGoIntoTheFileAndLeaveItsPictureAlone)
{
    const std::string file = FFolder.File("photo.jpg");
    CopyFile(GoImage("video-001.jpeg"), file);
    const std::string pixels = RunTool("djpeg -pnm " + file);
    TKorvaneIO io(nullptr);
    io.Params().IPTC_Info.AddStringItem(2, 120, "Harbour at dusk");
    io.Params().IPTC_Info.AddStringItem(2, 25, "boats");
    TEventLog events;
    events.Attach(io);
    EXPECT_TRUE(io.InjectJpegIPTC(file));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    EXPECT_EQ(RunTool("exiftool -s3 -IPTC:Caption-Abstract -IPTC:Keywords " + file),
              "Harbour at dusk\nboats\n");
    EXPECT_EQ(RunTool("djpeg -pnm " + file), pixels);

    // The stream form touches neither Aborting nor the events.
    io.Params().IPTC_Info.Clear();
    io.Params().IPTC_Info.AddStringItem(2, 120, "Second caption");
    io.Aborting = true;
    TMemoryStream input, output;
    input.LoadFromFile(file);
    EXPECT_TRUE(io.InjectJpegIPTCStream(input, output));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    output.SaveToFile(FFolder.File("second.jpg"));
    EXPECT_EQ(RunTool("exiftool -s3 -IPTC:Caption-Abstract " + FFolder.File("second.jpg")),
              "Second caption\n");

    // No JPEG: false, and the file stays as it was; a missing one raises after the finish event.
    const std::string text = FFolder.Write("notes.jpg", "plain words");
    EXPECT_FALSE(io.InjectJpegIPTC(text));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(FileBytes(text), "plain words");
    EXPECT_THROW(io.InjectJpegIPTC(FFolder.File("missing.jpg")), EFOpenError);
    EXPECT_EQ(events.FinishAborting(), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(Names(FFolder), (std::vector<std::string>{"notes.jpg", "photo.jpg", "second.jpg"}));
}

TEST_F(FileEdits, AWriteThatFailsLeavesTheOriginalAndNoOtherFileAndSetsAborting)
{
    const std::string gif = FFolder.File("a.gif");
    const std::string jpeg = FFolder.File("b.jpg");
    const std::string tiff = FFolder.File("c.tif");
    const auto makeFiles = [&] {
        RunTool("gifsicle --loopcount=forever " + GoImage("video-001.gif") + " " + GoImage("video-001.gif") +
                " -o " + gif);
        CopyFile(GoImage("video-001.jpeg"), jpeg);
        TKorvaneIO maker(nullptr);
        FillPattern(*maker.KVBitmap(), 150, 103, 7);
        maker.SaveToFileTIFF(tiff);
    };
    makeFiles();
    const std::vector<std::string> before = {FileBytes(gif), FileBytes(jpeg), FileBytes(tiff)};
    // How an edit of the component ended: 0 success; 1 failure with Aborting set, 2 without; 3
    // and 4 the same when it raised.
    const auto outcome = [](TKorvaneIO& io, const std::function<bool()>& edit) {
        try {
            const bool done = edit();
            return done && !io.Aborting ? 0 : io.Aborting ? 1 : 2;
        } catch (const std::exception&) {
            return io.Aborting ? 3 : 4;
        }
    };
    const struct
    {
        const char* name;
        const std::string& file;
        bool grows; // the new content is longer than the old
        std::function<int()> edit;
    } edits[] = {
        // A unit function has no Aborting: a failed write raises (3).
        {"delete frame", gif, false, [&] { return Korvaneio::DeleteGifIm(gif, 0) == 1 ? 0 : 1; }},
        {"insert frame", gif, true,
         [&] {
             TKorvaneIO io(nullptr);
             PlugLzwCoders(io);
             FillPattern(*io.KVBitmap(), 150, 103);
             return outcome(io, [&] { return io.InsertToFileGif(gif) == 3; });
         }},
        {"inject IPTC", jpeg, true,
         [&] {
             TKorvaneIO io(nullptr);
             io.Params().IPTC_Info.AddStringItem(2, 120, "never written");
             return outcome(io, [&] { return io.InjectJpegIPTC(jpeg); });
         }},
        {"insert page", tiff, true,
         [&] {
             TKorvaneIO io(nullptr);
             FillPattern(*io.KVBitmap(), 150, 103);
             io.Params().TIFF_ImageIndex = 1;
             return outcome(io, [&] { return io.InsertToFileTIFF(tiff) == 2; });
         }},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name);
        // No byte free, a quarter of the file, and all of it but what the edit adds.
        const rlim_t size = FileBytes(e.file).size();
        std::vector<rlim_t> limits = {0, size / 4};
        if (e.grows) {
            limits.push_back(size + 16);
        }
        for (const rlim_t limit : limits) {
            SCOPED_TRACE(limit);
            const int code = ExitCodeWithFilesLimitedTo(limit, e.edit);
            EXPECT_TRUE(code == 1 || code == 3) << code;
            EXPECT_EQ((std::vector<std::string>{FileBytes(gif), FileBytes(jpeg), FileBytes(tiff)}), before);
            EXPECT_EQ(Names(FFolder), (std::vector<std::string>{"a.gif", "b.jpg", "c.tif"}));
        }
        // Without the limit the same edit succeeds: the failure came from the write.
        EXPECT_EQ(ExitCodeWithFilesLimitedTo(RLIM_INFINITY, e.edit), 0);
        makeFiles();
    }
}

} // namespace
