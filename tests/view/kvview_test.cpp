// The view base: bitmap-change callbacks and the components that follow a view through them.
#include "imaging/view/kvview.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "platform/forms/simulate.h"
#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
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

// A view with a selection, standing for the image view: a 1-bit mask of its bitmap's size and a
// selection stream that carries the mask's box.
class SelectingView : public TestView
{
public:
    SelectingView()
    {
        FImage.Allocate(6, 5, kv24RGB);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                std::memset(FImage.GetScanLine(y) + x * 3, 10 * (y * 6 + x), 3);
        FMask.AllocateBits(6, 5, 1);
    }
    TKVMask* SelectionMask() override { return &FMask; }
    bool Selected() override { return FSelected; }
    TPoint* GetPolySelArray() override { return FPoly; }
    int32_t GetPolySelCount() override { return 4; }
    void SaveSelectionToStream(TStream& Stream) override
    {
        const int32_t box[4] = {FMask.x1, FMask.y1, FMask.x2, FMask.y2};
        Stream.WriteBuffer(box, sizeof box);
    }
    bool LoadSelectionFromStream(TStream& Stream) override
    {
        Stream.ReadBuffer(FLoaded, sizeof FLoaded);
        return true;
    }

    TKVMask FMask;
    bool FSelected = false;
    TPoint FPoly[4] = {{1, 1}, {4, 1}, {4, 3}, {1, 3}};
    int32_t FLoaded[4] = {};
};

std::vector<int> Row(TKVBitmap& b, int y)
{
    std::vector<int> row;
    for (int x = 0; x < b.GetWidth(); ++x)
        row.push_back(b.GetScanLine(y)[x * 3]);
    return row;
}

} // namespace

TEST(ViewBase, CallsCallbacksInRegistrationOrderAndRemovesByHandle)
{
    std::vector<std::string> calls;
    auto view = std::make_unique<TestView>();
    const int32_t first = view->RegisterBitmapChangeEvent(
        [&](TObject*, bool destroying) { calls.push_back(std::string("a") + (destroying ? "!" : "")); });
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
    // The window system's enter and leave events arrive as the class library's notifications.
    Simulate::MouseEnter(&view);
    Simulate::MouseLeave(&view);
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

TEST(ViewSelection, GivesTheWorkingAreaOfTheComponent)
{
    SelectingView view;
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(&view);
    int32_t x1, y1, x2, y2, count;
    TPoint* poly;
    TKVMask* mask;
    // No selection: the whole image, yet the mask is handed out.
    EXPECT_FALSE(proc.GetReSel(x1, y1, x2, y2, poly, count, mask));
    EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2}), (std::vector<int32_t>{0, 0, 6, 5}));
    EXPECT_EQ(mask, &view.FMask);

    view.FMask.SetPixel(1, 2, 1);
    view.FMask.SetPixel(3, 3, 1);
    view.FSelected = true;
    EXPECT_TRUE(proc.GetReSel(x1, y1, x2, y2, poly, count, mask));
    // Right and bottom one past the last selected pixel.
    EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2}), (std::vector<int32_t>{1, 2, 4, 4}));
    EXPECT_EQ(poly, view.FPoly);
    EXPECT_EQ(count, 4);
}

TEST(ViewSelection, OperationsChangeOnlySelectedPixels)
{
    SelectingView view;
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(&view);
    view.FMask.SetPixel(1, 1, 1);
    view.FMask.SetPixel(3, 2, 1);
    view.FSelected = true;
    // Lo = Hi = 0 turns every non-zero level to 255, here only at (1, 1) and (3, 2).
    proc.HistEqualize(TRGB{0, 0, 0}, TRGB{0, 0, 0});
    EXPECT_EQ(Row(view.FImage, 1), (std::vector<int>{60, 255, 80, 90, 100, 110}));
    EXPECT_EQ(Row(view.FImage, 2), (std::vector<int>{120, 130, 140, 255, 160, 170}));
    EXPECT_EQ(proc.UndoCaptions(0), "HistEqualize");
}

TEST(ViewSelection, CropKeepsTheBoxWithTheBackgroundOutsideTheSelection)
{
    SelectingView view;
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(&view);
    view.SetBackGround(0x050505);
    view.FMask.SetPixel(1, 1, 1);
    view.FMask.SetPixel(3, 2, 1);
    view.FSelected = true;
    proc.CropSel();
    ASSERT_EQ(view.FImage.GetWidth(), 3);
    ASSERT_EQ(view.FImage.GetHeight(), 2);
    EXPECT_EQ(Row(view.FImage, 0), (std::vector<int>{70, 5, 5}));
    EXPECT_EQ(Row(view.FImage, 1), (std::vector<int>{5, 5, 150}));
    // The pixels outside the selection become transparent.
    ASSERT_TRUE(view.FImage.GetHasAlphaChannel());
    TKVBitmap* alpha = view.FImage.GetAlphaChannel();
    EXPECT_EQ(
        (std::vector<int>{alpha->GetScanLine(0)[0], alpha->GetScanLine(0)[1], alpha->GetScanLine(1)[2]}),
        (std::vector<int>{255, 0, 255}));

    // A rectangle selection leaves no transparency: the alpha channel goes.
    SelectingView rectangle;
    proc.SetAttachedKorvane(&rectangle);
    for (int y = 1; y <= 2; ++y)
        for (int x = 2; x <= 4; ++x)
            rectangle.FMask.SetPixel(x, y, 1);
    rectangle.FSelected = true;
    proc.CropSel();
    EXPECT_EQ(Row(rectangle.FImage, 1), (std::vector<int>{140, 150, 160}));
    EXPECT_FALSE(rectangle.FImage.GetHasAlphaChannel());
}

TEST(ViewSelection, UndoStoresAndRestoresTheSelectionStream)
{
    SelectingView view;
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(&view);
    view.FMask.SetPixel(2, 3, 1);
    proc.SaveUndoCaptioned("selection", kvuSelection);
    ASSERT_EQ(proc.UndoCount(), 1);
    EXPECT_EQ(proc.UndoPeekAt(0), kvuSelection);
    EXPECT_EQ(proc.UndoCaptions(0), "selection");
    proc.Undo();
    EXPECT_EQ((std::vector<int32_t>(view.FLoaded, view.FLoaded + 4)), (std::vector<int32_t>{2, 3, 2, 3}));
}
