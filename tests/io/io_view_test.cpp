// The I/O component on a view or a TImage: it works on their bitmap, follows its changes,
// repaints the view (from a worker by a posted message), and keeps nothing of a target that is
// freed.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/messages.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <atomic>
#include <gtest/gtest.h>

using namespace kviotest;

namespace {

// A view that shows a TKVBitmap of its own, or only a class-library bitmap, and counts what the
// component asks of it and on which thread.
class TTestView : public TKVView
{
public:
    explicit TTestView(bool withKVBitmap) : TKVView(nullptr), FWithKVBitmap(withKVBitmap)
    {
        FBitmap.SetPixelFormat(pf24bit);
        FBitmap.SetSize(4, 4);
    }

    TBitmap* GetFBitmap() override { return &FBitmap; }
    TKVBitmap* GetKVBitmap() override { return FWithKVBitmap ? FCurrent : nullptr; }
    void Update() override
    {
        ++Updates;
        UpdateThread = GetCurrentThreadId();
    }
    void ImageChange() override
    {
        ++ImageChanges;
        ImageChangeThread = GetCurrentThreadId();
    }
    void Dispatch(TMessage& Message) override
    {
        if (Message.Msg == KVM_UPDATE) {
            ++PostedUpdates;
            Update();
            return;
        }
        TKVView::Dispatch(Message);
    }

    // Shows the other of its two bitmaps, as a view does when its current layer changes.
    void SwitchBitmap()
    {
        FCurrent = FCurrent == &FFirst ? &FSecond : &FFirst;
        CallBitmapChangeEvents();
    }

    TKVBitmap FFirst;
    TKVBitmap FSecond;
    TBitmap FBitmap;
    std::atomic<int32_t> Updates{0};
    std::atomic<int32_t> PostedUpdates{0};
    std::atomic<int32_t> ImageChanges{0};
    std::atomic<uint32_t> UpdateThread{0};
    std::atomic<uint32_t> ImageChangeThread{0};

private:
    bool FWithKVBitmap;
    TKVBitmap* FCurrent = &FFirst;
};

} // namespace

TEST(IOView, WorksOnTheViewsBitmapAndFollowsItsChanges)
{
    auto* view = new TTestView(true);
    TKorvaneIO io(nullptr);
    io.SetAttachedKorvane(view);
    EXPECT_EQ(io.AttachedKorvane(), view);
    EXPECT_EQ(io.KVBitmap(), &view->FFirst);
    view->SwitchBitmap();
    EXPECT_EQ(io.KVBitmap(), &view->FSecond);

    io.LoadFromFile(GoImage("video-001.jpeg"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(view->FSecond.GetWidth(), 150);
    EXPECT_EQ(view->DPIX(), 72);
    EXPECT_EQ(view->Updates, 1);
    EXPECT_EQ(view->ImageChanges, 1);

    // Dropping the attachment with none removes only the view's callback.
    io.SetAttachedKVBitmap(nullptr);
    EXPECT_EQ(io.AttachedKorvane(), view);
    view->SwitchBitmap();
    EXPECT_EQ(io.KVBitmap(), &view->FSecond);

    io.SetAttachedKorvane(nullptr);
    EXPECT_EQ(io.AttachedKorvane(), nullptr);
    ASSERT_NE(io.KVBitmap(), nullptr);
    EXPECT_NE(io.KVBitmap(), &view->FFirst);
    EXPECT_NE(io.KVBitmap(), &view->FSecond);
    EXPECT_EQ(io.GetBitmap(), nullptr);
    view->Free();
}

TEST(IOView, WrapsTheClassLibraryBitmapOfAViewWithoutTKVBitmap)
{
    auto* view = new TTestView(false);
    TKorvaneIO io(nullptr);
    io.SetAttachedKorvane(view);
    ASSERT_NE(io.KVBitmap(), nullptr);
    EXPECT_EQ(io.KVBitmap()->Location(), kvTBitmap);
    EXPECT_EQ(io.GetBitmap(), &view->FBitmap);
    io.LoadFromFile(GoImage("video-001.jpeg"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(view->FBitmap.Width(), 150);
    EXPECT_EQ(view->FBitmap.Height(), 103);
    view->Free();
}

// Nothing of a freed view may stay in use: the next load goes to a bitmap of the component's own.
TEST(IOView, FreedViewLeavesTheComponentWithABitmapOfItsOwn)
{
    for (const bool withKVBitmap : {true, false}) {
        SCOPED_TRACE(withKVBitmap);
        auto* view = new TTestView(withKVBitmap);
        TKorvaneIO io(nullptr);
        io.SetAttachedKorvane(view);
        io.LoadFromFile(GoImage("video-001.jpeg"));
        view->Free();
        EXPECT_EQ(io.AttachedKorvane(), nullptr);
        EXPECT_EQ(io.GetBitmap(), nullptr);
        ASSERT_NE(io.KVBitmap(), nullptr);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 0);
        io.LoadFromFile(GoImage("video-001.png"));
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 150);
    }
}

TEST(IOView, TwoComponentsAreBothToldWhenTheViewGoes)
{
    auto* view = new TTestView(true);
    TKorvaneIO first(nullptr);
    TKorvaneIO second(nullptr);
    first.SetAttachedKorvane(view);
    second.SetAttachedKorvane(view);
    delete view; // without Free: only the view's own goodbye reaches them
    EXPECT_EQ(first.AttachedKorvane(), nullptr);
    EXPECT_EQ(second.AttachedKorvane(), nullptr);
    TMemoryStream stream;
    stream.LoadFromFile(GoImage("video-001.jpeg"));
    second.LoadFromStream(stream);
    EXPECT_FALSE(second.Aborting);
}

// A component that writes the background of a loaded GIF or PNG leaves a view's colour alone.
TEST(IOView, BackgroundComesFromTheViewAndWritesLeaveItAlone)
{
    auto* view = new TTestView(true);
    view->SetBackGround(0x112233);
    TKorvaneIO io(nullptr);
    io.SetAttachedKorvane(view);
    EXPECT_EQ(io.GetReBackground(), 0x112233);
    io.SetReBackground(0x445566);
    EXPECT_EQ(view->Background(), 0x112233);
    view->Free();
    io.SetReBackground(0x445566);
    EXPECT_EQ(io.GetReBackground(), 0x445566);
}

// From a worker the view is never painted directly: the repaint is posted to the user-interface
// thread, while ImageChange and the finish event stay on the worker.
TEST(IOView, WorkerPostsTheRepaintToTheUserInterfaceThread)
{
    auto* view = new TTestView(true);
    TKorvaneIO io(nullptr);
    io.SetAttachedKorvane(view);
    io.AsyncMode = true;
    io.LoadFromFileJpeg(GoImage("video-001.jpeg"));
    io.WaitThreads(false);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(view->FFirst.GetWidth(), 150);
    EXPECT_EQ(view->Updates, 0);
    EXPECT_EQ(view->ImageChanges, 1);
    EXPECT_NE(view->ImageChangeThread, GetCurrentThreadId());

    Application->ProcessMessages();
    EXPECT_EQ(view->PostedUpdates, 1);
    EXPECT_EQ(view->Updates, 1);
    EXPECT_EQ(view->UpdateThread, GetCurrentThreadId());
    view->Free();
}

// A view freed while a worker loads into its bitmap stops the worker first.
TEST(IOView, FreeingTheViewDuringABackgroundLoadStopsIt)
{
    kvtest::TempFolder folder;
    TKorvaneIO writer(nullptr);
    FillPattern(*writer.KVBitmap(), 1200, 900);
    writer.SaveToFileJpeg(folder.File("big.jpg"));
    auto* view = new TTestView(true);
    TKorvaneIO io(nullptr);
    io.SetAttachedKorvane(view);
    io.AsyncMode = true;
    io.LoadFromFileJpeg(folder.File("big.jpg"));
    view->Free();
    EXPECT_EQ(io.GetThreadsCount(), 0);
    EXPECT_EQ(io.AttachedKorvane(), nullptr);
    Application->ProcessMessages(); // a posted repaint for the freed view goes nowhere
    io.LoadFromFileJpeg(GoImage("video-001.jpeg"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 150);
}

TEST(IOView, WorksOnTheBitmapOfATImageUntilItIsFreed)
{
    auto* image = new TImage(nullptr);
    image->Picture()->Bitmap()->SetPixelFormat(pf24bit);
    image->Picture()->Bitmap()->SetSize(2, 2);
    TKorvaneIO io(nullptr);
    io.SetTImage(image);
    EXPECT_EQ(io.AttachedTImage(), image);
    io.LoadFromFile(GoImage("video-001.jpeg"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(image->Picture()->Bitmap()->Width(), 150);

    image->Free();
    EXPECT_EQ(io.AttachedTImage(), nullptr);
    EXPECT_EQ(io.GetBitmap(), nullptr);
    io.LoadFromFile(GoImage("video-001.png"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 150);
}
