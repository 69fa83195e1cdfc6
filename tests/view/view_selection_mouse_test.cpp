// The image view's selections and mouse work: building, the selection stream and its corrupt
// forms, the interaction modes driven by simulated events, and auto-scroll with a set pointer.
#include "tests/view/view_test_support.h"

#include "platform/core/streams.h"
#include "platform/forms/simulate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace viewtest;

namespace {

std::vector<TPoint> Polygon(TKorvaneView* view)
{
    std::vector<TPoint> points;
    for (int32_t i = 0; i < view->GetPolySelCount(); ++i)
        points.push_back(view->GetPolySel(i));
    return points;
}

// A view whose picture is larger than its client area, so that client and bitmap pixels agree.
struct BigView : ViewOnForm
{
    BigView(int32_t w = 100, int32_t h = 80) : ViewOnForm(80, 60)
    {
        FillPattern(view->GetKVBitmap(), w, h);
        view->Update();
    }
};

} // namespace

TEST(ViewSelect, RectanglesEllipsesAndTheirStream)
{
    BigView f;
    f.view->Select(10, 10, 10, 50);
    EXPECT_FALSE(f.view->Selected());
    f.view->Select(10, 10, 20, 20);
    EXPECT_EQ(Polygon(f.view), (std::vector<TPoint>{{10, 10}, {21, 10}, {21, 21}, {10, 21}}));
    EXPECT_EQ(f.view->SelX1(), 10);
    EXPECT_EQ(f.view->SelX2(), 20);
    EXPECT_TRUE(f.view->IsPointInsideSelection(20, 20));
    EXPECT_FALSE(f.view->IsPointInsideSelection(21, 20));

    TMemoryStream stream;
    f.view->SaveSelectionToStream(stream);
    EXPECT_EQ(stream.Size(), 1362);
    f.view->DeSelect();
    EXPECT_FALSE(f.view->Selected());
    stream.SetPosition(0);
    EXPECT_TRUE(f.view->LoadSelectionFromStream(stream));
    EXPECT_TRUE(f.view->IsPointInsideSelection(15, 15));
    EXPECT_EQ(f.view->GetPolySelCount(), 4);

    BigView taller(100, 81);
    stream.SetPosition(0);
    EXPECT_FALSE(taller.view->LoadSelectionFromStream(stream));
    EXPECT_EQ(stream.Position(), 8);

    f.view->SelectionBase = kvsbBitmap;
    f.view->SelectEllipse(50, 40, 20, 40);
    EXPECT_EQ(f.view->GetPolySelCount(), 15);
    f.view->SelectEllipse(50, 40, 0, 40);
    EXPECT_EQ(f.view->GetPolySelCount(), 15);
}

TEST(ViewSelect, CorruptStreamsChangeNothing)
{
    BigView f;
    f.view->Select(10, 10, 20, 20);
    TMemoryStream good;
    f.view->SaveSelectionToStream(good);
    const std::vector<uint8_t> bytes(static_cast<const uint8_t*>(good.Memory()),
                                     static_cast<const uint8_t*>(good.Memory()) + good.Size());
    f.view->Select(30, 30, 40, 40);
    auto put32 = [](std::vector<uint8_t>& b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); };
    struct Corruption
    {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> apply;
    };
    const Corruption cases[] = {
        {"negative count", [&](auto& b) { put32(b, 8, -1); }},
        {"count past the end", [&](auto& b) { put32(b, 8, 0x10000000); }},
        {"bit depth 4", [&](auto& b) { put32(b, 12 + 32 + 17, 4); }},
        {"rows cut short", [&](auto& b) { b.resize(b.size() - 1); }},
        {"box outside the mask", [&](auto& b) { put32(b, 12 + 32 + 21 + 8, 5000); }},
        {"nothing after the size", [&](auto& b) { b.resize(9); }},
        // A polygon farther from the picture than its own size, which moving would overflow.
        {"point far right", [&](auto& b) { put32(b, 12, 201); }},
        {"point far above", [&](auto& b) { put32(b, 12 + 4, -81); }},
        {"point at the integer limit", [&](auto& b) { put32(b, 12 + 8, 0x7FFFFFFE); }},
        {"box at the integer limit", [&](auto& b) { put32(b, 12 + 32, INT32_MIN + 2); }},
        {"box far below", [&](auto& b) { put32(b, 12 + 32 + 12, 161); }},
    };
    for (const Corruption& c : cases) {
        std::vector<uint8_t> b = bytes;
        c.apply(b);
        TMemoryStream s;
        s.WriteBuffer(b.data(), int64_t(b.size()));
        s.SetPosition(0);
        EXPECT_FALSE(f.view->LoadSelectionFromStream(s)) << c.name;
        EXPECT_EQ(f.view->SelX1(), 30) << c.name;
        EXPECT_TRUE(f.view->IsPointInsideSelection(35, 35)) << c.name;
    }
    // A lasso drawn at a small zoom ends a little past the picture: that stream loads and moves.
    std::vector<uint8_t> lasso = bytes;
    put32(lasso, 12, 130);
    put32(lasso, 12 + 32 + 8, 130);
    TMemoryStream s;
    s.WriteBuffer(lasso.data(), int64_t(lasso.size()));
    s.SetPosition(0);
    EXPECT_TRUE(f.view->LoadSelectionFromStream(s));
    f.view->MoveSelection(-5, 0);
    EXPECT_EQ(f.view->GetPolySel(0).X, 100);
}

TEST(ViewMouse, InteractModesExcludeEachOther)
{
    ViewOnForm f;
    struct Step
    {
        TKVMouseInteract from, to, expect;
    };
    for (const Step& s : {Step{0, miZoom | miSelect, miZoom | miSelect},
                          Step{miZoom | miSelect, miZoom | miSelect | miSelectPolygon, miSelectPolygon},
                          Step{miSelectPolygon, miSelectPolygon | miScroll | miSelect, miScroll},
                          Step{miZoom | miSelect, miZoom | miSelect | miSelectMagicWand, miSelectMagicWand},
                          Step{miZoom | miScroll, miScroll, miScroll}}) {
        f.view->SetMouseInteract(s.from);
        f.view->SetMouseInteract(s.to);
        EXPECT_EQ(f.view->MouseInteract(), s.expect) << int(s.to);
    }
}

TEST(ViewMouse, DragsSelectMoveAndScroll)
{
    BigView f(200, 150);
    std::string events;
    f.view->OnBeforeSelectionChange = [&](TObject*) { events += 'B'; };
    f.view->OnSelectionChanging = [&](TObject*) {
        events += events.empty() || events.back() != 'C' ? "C" : "";
    };
    f.view->OnSelectionChange = [&](TObject*) { events += 'E'; };

    f.view->SetMouseInteract(miSelect);
    Simulate::MouseDown(f.view, mbLeft, 10, 10);
    Simulate::MouseMove(f.view, 20, 15, ssLeft);
    Simulate::MouseMove(f.view, 30, 25, ssLeft);
    Simulate::MouseUp(f.view, mbLeft, 30, 25);
    EXPECT_EQ(events, "BCE");
    EXPECT_EQ(f.view->SelX1(), 10);
    EXPECT_EQ(f.view->SelY1(), 10);
    EXPECT_EQ(f.view->SelX2(), 30);
    EXPECT_EQ(f.view->SelY2(), 25);

    // Dragging inside the selection moves it; a click without movement deselects.
    Simulate::MouseDown(f.view, mbLeft, 20, 17);
    Simulate::MouseMove(f.view, 25, 20, ssLeft);
    Simulate::MouseUp(f.view, mbLeft, 25, 20);
    EXPECT_EQ(f.view->SelX1(), 15);
    EXPECT_EQ(f.view->SelY1(), 13);
    EXPECT_TRUE(f.view->IsPointInsideSelection(35, 28));
    // The bottom-right grip resizes.
    Simulate::MouseDown(f.view, mbLeft, 36, 29);
    Simulate::MouseMove(f.view, 50, 40, ssLeft);
    Simulate::MouseUp(f.view, mbLeft, 50, 40);
    EXPECT_EQ(f.view->SelX2(), 50);
    EXPECT_EQ(f.view->SelY2(), 40);
    Simulate::MouseDown(f.view, mbLeft, 70, 50);
    Simulate::MouseUp(f.view, mbLeft, 70, 50);
    EXPECT_FALSE(f.view->Selected());

    f.view->SetMouseInteract(miSelectCircle);
    Simulate::MouseDown(f.view, mbLeft, 40, 30);
    Simulate::MouseMove(f.view, 50, 40, ssLeft);
    Simulate::MouseUp(f.view, mbLeft, 50, 40);
    EXPECT_TRUE(f.view->IsPointInsideSelection(40, 30));
    EXPECT_FALSE(f.view->IsPointInsideSelection(40, 45));

    f.view->SetMouseInteract(miSelectPolygon);
    for (TPoint p : {TPoint{10, 10}, TPoint{40, 10}})
        Simulate::Click(f.view, p.X, p.Y);
    Simulate::DoubleClick(f.view, 10, 40);
    EXPECT_TRUE(f.view->IsPointInsideSelection(15, 15));
    EXPECT_FALSE(f.view->IsPointInsideSelection(35, 35));

    f.view->SetMouseInteract(miSelectLasso);
    Simulate::MouseDown(f.view, mbLeft, 40, 5);
    for (TPoint p : {TPoint{60, 5}, TPoint{60, 25}, TPoint{40, 25}})
        Simulate::MouseMove(f.view, p.X, p.Y, ssLeft);
    Simulate::MouseUp(f.view, mbLeft, 40, 25);
    EXPECT_TRUE(f.view->IsPointInsideSelection(50, 15));
    EXPECT_FALSE(f.view->IsPointInsideSelection(15, 15));

    f.view->DeSelect();
    f.view->SetMouseInteract(miScroll);
    Simulate::MouseDown(f.view, mbLeft, 50, 40);
    EXPECT_EQ(f.view->Cursor(), crKVHand);
    Simulate::MouseMove(f.view, 30, 30, ssLeft);
    Simulate::MouseUp(f.view, mbLeft, 30, 30);
    EXPECT_EQ(f.view->ViewX(), 20);
    EXPECT_EQ(f.view->ViewY(), 10);
    EXPECT_EQ(f.view->Cursor(), crKVCross3);
}

TEST(ViewMouse, MagicWandSelectsTheRegionUnderTheClick)
{
    BigView f(60, 40);
    f.view->SetCenter(false);
    TKVBitmap* b = f.view->GetKVBitmap();
    b->Fill(0xFFFFFF);
    b->FillRect(10, 10, 29, 19, 0x0000FF);
    f.view->Update();
    f.view->SetMouseInteract(miSelectMagicWand);
    Simulate::Click(f.view, 15, 15);
    EXPECT_TRUE(f.view->IsPointInsideSelection(29, 19));
    EXPECT_FALSE(f.view->IsPointInsideSelection(30, 19));
    EXPECT_EQ(f.view->SelX1(), 10);
    f.view->MagicWandMode = kvwGlobal;
    Simulate::Click(f.view, 2, 2);
    EXPECT_TRUE(f.view->IsPointInsideSelection(50, 30));
    EXPECT_FALSE(f.view->IsPointInsideSelection(15, 15));
}

TEST(ViewMouse, RubberBandAutoScrollsTowardThePointer)
{
    BigView f(400, 300);
    f.view->SetMouseInteract(miSelect);
    Simulate::MouseDown(f.view, mbLeft, 10, 10);
    // The pointer leaves the view on the right: the view follows it to the picture's end.
    Simulate::MouseMove(f.view, f.view->ClientWidth() + 15, 30, ssLeft);
    int32_t mx, my;
    f.view->GetMaxViewXY(mx, my);
    EXPECT_EQ(f.view->ViewX(), mx);
    EXPECT_EQ(f.view->ViewY(), 0);
    Simulate::MouseUp(f.view, mbLeft, f.view->ClientWidth() + 15, 30);
    EXPECT_EQ(f.view->SelX1(), 10);
    EXPECT_GT(f.view->SelX2(), 300);
}
