// The view base: bitmap-change callbacks and the components that follow a view through them.
#include "imaging/view/kvview.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A view that shows a TKVBitmap of its own, or only a class-library bitmap.
class TestView : public TKVView
{
public:
    explicit TestView(TComponent* owner = nullptr) : TKVView(owner) {}
    TKVBitmap* GetKVBitmap() override { return FUseKV ? &FImage : nullptr; }
    TBitmap* GetFBitmap() override { return &FPicture; }

    TKVBitmap FImage;
    TBitmap FPicture;
    bool FUseKV = true;
};

} // namespace

TEST(ViewBase, CallsCallbacksInRegistrationOrderAndRemovesByHandle)
{
    std::vector<std::string> calls;
    auto view = std::make_unique<TestView>();
    const int32_t first = view->RegisterBitmapChangeEvent([&](TObject*, bool destroying) {
        calls.push_back(std::string("a") + (destroying ? "!" : ""));
    });
    const int32_t second = view->RegisterBitmapChangeEvent(
        [&](TObject*, bool destroying) { calls.push_back(std::string("b") + (destroying ? "!" : "")); });
    const int32_t empty = view->RegisterBitmapChangeEvent({});
    EXPECT_GE(first, 0);
    EXPECT_NE(first, second);
    view->CallBitmapChangeEvents();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b"}));

    view->RemoveBitmapChangeEvent(-1);
    view->RemoveBitmapChangeEvent(first);
    view->RemoveBitmapChangeEvent(first); // already removed
    view->RemoveBitmapChangeEvent(empty);
    calls.clear();
    view->CallBitmapChangeEvents();
    EXPECT_EQ(calls, (std::vector<std::string>{"b"}));

    // Registering the same method twice calls it twice; the destructor tells each once.
    view->RegisterBitmapChangeEvent(
        [&](TObject*, bool destroying) { calls.push_back(destroying ? "c!" : "c"); });
    calls.clear();
    view.reset();
    EXPECT_EQ(calls, (std::vector<std::string>{"b!", "c!"}));
}

TEST(ViewBase, KeepsResolutionAndBackground)
{
    TestView view;
    view.SetDPI(300, 150);
    view.SetDPIX(0);
    EXPECT_EQ(view.DPIX(), 300);
    EXPECT_EQ(view.DPIY(), 150);
    EXPECT_EQ(view.Background(), clBtnFace);
    view.SetBackGround(0x102030);
    EXPECT_EQ(view.Background(), 0x102030);
    EXPECT_THROW(view.LockPaint(), EAbstractError);
    EXPECT_EQ(view.SelectionMask(), nullptr);

    std::vector<std::string> mouse;
    view.OnMouseEnter = [&](TObject* sender) { mouse.push_back(sender == &view ? "enter" : "?"); };
    view.OnMouseLeave = [&](TObject*) { mouse.push_back("leave"); };
    view.Perform(TKVView::CM_MOUSEENTER, 0, 0);
    view.Perform(TKVView::CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(mouse, (std::vector<std::string>{"enter", "leave"}));
}

TEST(ViewBase, ProcessingComponentFollowsTheView)
{
    auto view = std::make_unique<TestView>();
    view->FImage.Allocate(3, 2, kv24RGB);
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(view.get());
    EXPECT_EQ(proc.KVBitmap(), &view->FImage);
    EXPECT_EQ(proc.Bitmap(), nullptr);
    proc.SetReBackground(0x445566);
    EXPECT_EQ(view->Background(), 0x445566);

    // The view's bitmap changes: the component takes the new one at the next callback.
    view->FUseKV = false;
    view->FPicture.SetPixelFormat(pf24bit);
    view->FPicture.SetSize(5, 4);
    view->CallBitmapChangeEvents();
    EXPECT_EQ(proc.KVBitmap(), nullptr);
    EXPECT_EQ(proc.Bitmap(), &view->FPicture);

    // Freeing the view leaves the component without the view and its bitmaps.
    view.reset();
    EXPECT_EQ(proc.AttachedKorvane(), nullptr);
    EXPECT_EQ(proc.Bitmap(), nullptr);
    proc.Resample(2, 2, rfBilinear); // returns at once instead of touching freed bitmaps
    EXPECT_EQ(proc.UndoCount(), 0);
}

TEST(ViewBase, ComponentWrapsAViewThatHasOnlyAClassLibraryBitmap)
{
    TestView view;
    view.FUseKV = false;
    view.FPicture.SetPixelFormat(pf24bit);
    view.FPicture.SetSize(4, 2);
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(&view);
    ASSERT_NE(proc.KVBitmap(), nullptr);
    EXPECT_EQ(proc.KVBitmap()->GetWidth(), 4);
    proc.Resample(2, 1, rfFastLinear);
    EXPECT_EQ(view.FPicture.Width(), 2);

    // Detaching leaves the view's picture alone.
    proc.SetAttachedKorvane(nullptr);
    EXPECT_EQ(view.FPicture.Width(), 2);
    EXPECT_EQ(proc.KVBitmap()->GetWidth(), 0);

    // Re-attached to a view with a TKVBitmap, the wrapper goes; the view's own image stays whole.
    TestView other;
    other.FImage.Allocate(6, 6, kv24RGB);
    proc.SetAttachedKorvane(&other);
    proc.SetAttachedKorvane(nullptr);
    EXPECT_EQ(other.FImage.GetWidth(), 6);
}

TEST(ViewBase, TwoComponentsAreToldWhenTheViewGoes)
{
    auto view = std::make_unique<TestView>();
    TKorvaneProc first(nullptr), second(nullptr);
    first.SetAttachedKorvane(view.get());
    second.SetAttachedKorvane(view.get());
    view.reset();
    EXPECT_EQ(first.AttachedKorvane(), nullptr);
    EXPECT_EQ(second.AttachedKorvane(), nullptr);
}

TEST(ViewBase, ViewOwnedComponentGoesWithTheView)
{
    auto* view = new TestView();
    auto* proc = new TKorvaneProc(view);
    proc->SetAttachedKorvane(view);
    view->FImage.Allocate(2, 2, kv24RGB);
    view->Free(); // frees the owned component too, without touching freed memory
    SUCCEED();
}
