// A run over large pictures on the cores it is given: the status window follows the pictures
// while they decode and takes a cancel then, which stops them and leaves nothing behind; and the
// run makes as many workers as the process may use cores.
#include "app/gallery_run.h"
#include "app/settings.h"
#include "platform/core/system.h"
#include "tests/app/gallery_run_fixture.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/one_processor.h"

#include <gtest/gtest.h>

#include <string>

using namespace gallerytest;

namespace {

// A run that nobody watches and nobody cancels.
class TUnwatchedStatus : public IGalleryStatus
{
public:
    void ShowStage(int32_t) override {}
    void SetStageIcon(int32_t, const std::string&) override {}
    void SetProgress(int32_t, int32_t) override {}
    void ShowFilesFound(int32_t) override {}
    void ShowSuccess() override {}
    void ShowMessage(const std::string& Text) override { Failure = Text; }
    void ShowErrors(const std::string& Text) override { Failure = Text; }
    void ProcessMessages() override {}
    bool CancelRequested() override { return false; }

    std::string Failure;
};

} // namespace

TEST_F(Gallery, CancelWhileLargePicturesDecodeStopsThemAndLeavesNothing)
{
    // Two tiled JPEG 2000 pictures that take one core many of the window's turns to decode.
    const std::string in = FTemp.File("large/");
    ASSERT_TRUE(ForceDirectories(in));
    RunTool("convert -size 1600x1200 gradient:navy-orange -swirl 90 " + in +
            "source.ppm && opj_compress -t 64,64 -i " + in + "source.ppm -o " + in + "a.jp2");
    DeleteFile(in + "source.ppm");
    ASSERT_TRUE(CopyFile(in + "a.jp2", in + "b.jp2", false));
    GallerySettings.ImagesPath = in;
    GallerySettings.Threads = 0;
    GallerySettings.ImageSizeIndex = 6;
    GallerySettings.ImageWidth = 80;
    GallerySettings.ImageHeight = 60;
    kvtest::TOneProcessor oneProcessor;

    // Pressed while the run looks for a picture it can use, before it starts: the earlier gallery
    // stays as it was.
    ASSERT_TRUE(ForceDirectories(FGallery));
    FTemp.Write("web/index.html", "the earlier gallery");
    const TShownRun searching = Run([&](TStatus& Window) {
        if (!IsClock(IconOf(Window.Check1_IMG))) {
            return false;
        }
        Window.Cancel_BTN->Click();
        return true;
    });
    EXPECT_EQ(searching.Result, mrCancel);
    EXPECT_TRUE(searching.Errors.empty() && searching.Messages.empty());
    EXPECT_EQ(FolderTree(FGallery), std::vector<std::string>{"index.html"});

    // Pressed while a picture decodes (the search has decoded the first one already): the window
    // showed it partly decoded, with its stage's clock, and took the press then.
    int32_t pressedAt = 0, maximum = 0;
    std::string clock;
    const TShownRun decoding = Run([&](TStatus& Window) {
        if (!Window.State2_LBL->Visible() || Window.Status_PB->Position() % 100 == 0) {
            return false;
        }
        pressedAt = Window.Status_PB->Position();
        maximum = Window.Status_PB->Max();
        clock = IconOf(Window.Check2_IMG);
        Window.Cancel_BTN->Click();
        return true;
    });
    EXPECT_GT(pressedAt, 0);
    EXPECT_LT(pressedAt, maximum);
    EXPECT_TRUE(IsClock(clock)) << clock;
    // The run stopped there: cancelled, with nothing written or left half-written.
    EXPECT_EQ(decoding.Result, mrCancel);
    EXPECT_TRUE(decoding.Errors.empty() && decoding.Messages.empty());
    EXPECT_EQ(FolderTree(FGallery), std::vector<std::string>{});
}

TEST_F(Gallery, RunMakesAWorkerForEachCoreItMayUse)
{
    TUnwatchedStatus status;
    const struct
    {
        bool OneProcessor;
        int32_t Threads;
        int32_t Workers;
    } cases[] = {
        {false, 0, static_cast<int32_t>(UsableCores())},
        {true, 0, 1},
        {true, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.OneProcessor);
        std::unique_ptr<kvtest::TOneProcessor> pinned;
        if (c.OneProcessor) {
            pinned = std::make_unique<kvtest::TOneProcessor>();
        }
        GallerySettings.Threads = c.Threads;
        TGalleryRun run(status);
        EXPECT_EQ(run.CreateGallery(), grSucceeded) << status.Failure;
        EXPECT_EQ(run.Workers(), c.Workers);
    }
}
