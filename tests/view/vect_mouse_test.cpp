// Mouse and keys over the vector layer, driven by simulated user input: inserting objects,
// polylines and angle gauges, selecting, moving and resizing with grips, the measure hint and
// the two in-place editors.
#include "tests/view/vect_test_support.h"

#include "imaging/view/kvtextc.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vecttest;

namespace {

void Drag(TKorvaneVect* v, int32_t x0, int32_t y0, int32_t x1, int32_t y1, TShiftState shift = 0)
{
    Simulate::MouseDown(v, mbLeft, x0, y0, shift);
    Simulate::MouseMove(v, (x0 + x1) / 2, (y0 + y1) / 2, shift | ssLeft);
    Simulate::MouseMove(v, x1, y1, shift | ssLeft);
    Simulate::MouseUp(v, mbLeft, x1, y1, shift);
}

TRect RectOf(TKorvaneVect* v, int32_t h)
{
    const TKVVObject& o = v->Obj(h);
    return TRect{o.x1, o.y1, o.x2, o.y2};
}

} // namespace

TEST(VectMouse, InsertingBoxesLinesAndAClickSizedBox)
{
    VectOnForm f;
    std::vector<int32_t> added;
    f.vect->OnNewObject = [&](TObject*, int32_t h) { added.push_back(h); };
    f.vect->SetMouseInteractVt(miPutBox);
    Drag(f.vect, 10, 10, 50, 40);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(f.vect->GetObjKind(added[0]), kvkBOX);
    EXPECT_EQ(RectOf(f.vect, added[0]), (TRect{10, 10, 50, 40}));
    EXPECT_EQ(f.vect->SelObjectsCount(), 1);
    // A click without a drag: the template's last size at the click.
    Simulate::Click(f.vect, 100, 60);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(RectOf(f.vect, added[1]), (TRect{100, 60, 140, 90}));

    // A line keeps its direction.
    f.vect->SetMouseInteractVt(miPutLine);
    Drag(f.vect, 150, 100, 120, 80);
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(f.vect->GetObjKind(added[2]), kvkLINE);
    EXPECT_EQ(RectOf(f.vect, added[2]), (TRect{150, 100, 120, 80}));
    // Only one mode stays.
    f.vect->SetMouseInteractVt(miPutLine | miPutBox | miObjectSelect);
    EXPECT_EQ(f.vect->MouseInteractVt(), miPutBox);
}

TEST(VectMouse, ThreeClicksMakeAGaugeCentredOnItsVertex)
{
    VectOnForm f;
    f.vect->SetMouseInteractVt(miPutAngle);
    int32_t added = -1;
    f.vect->OnNewObject = [&](TObject*, int32_t h) { added = h; };
    Simulate::Click(f.vect, 20, 30);
    Simulate::Click(f.vect, 60, 70);
    EXPECT_EQ(added, -1);
    Simulate::Click(f.vect, 110, 30);
    ASSERT_GE(added, 0);
    EXPECT_EQ(f.vect->GetObjKind(added), kvkANGLE);
    // Half sizes |60 - 110| and |70 - 30| around the vertex.
    EXPECT_EQ(RectOf(f.vect, added), (TRect{10, 30, 110, 110}));
    EXPECT_TRUE(f.vect->IsSelObject(added));
    // The arms (-40, -40) and (50, -40) from the vertex, turning the long way round.
    const double inner = std::acos(-400.0 / (std::sqrt(3200.0) * std::sqrt(4100.0))) * 180.0 / M_PI;
    EXPECT_NEAR(f.vect->GetAngleValue(added), 360.0 - inner, 1e-9);
}

TEST(VectMouse, PolylinesFollowTheHeldButtonAndEndWithADoubleClick)
{
    VectOnForm f;
    f.vect->SetMouseInteractVt(miPutPolyLine);
    int32_t added = -1;
    f.vect->OnNewObject = [&](TObject*, int32_t h) { added = h; };
    Simulate::MouseDown(f.vect, mbLeft, 10, 10);
    Simulate::MouseMove(f.vect, 12, 11, ssLeft);
    Simulate::MouseMove(f.vect, 14, 12, ssLeft);
    Simulate::MouseUp(f.vect, mbLeft, 14, 12);
    const int32_t h = f.vect->GetObjFromIndex(0);
    EXPECT_EQ(f.vect->GetObjPolylinePointsCount(h), 3);
    Simulate::Click(f.vect, 40, 50);
    Simulate::DoubleClick(f.vect, 40, 50);
    EXPECT_EQ(added, h);
    EXPECT_EQ(f.vect->GetObjPolylinePointsCount(h), 4);
    EXPECT_EQ(RectOf(f.vect, h), (TRect{10, 10, 40, 50}));
}

TEST(VectMouse, SelectingMovingAndResizing)
{
    VectOnForm f;
    const int32_t a = f.Add(kvkBOX, 20, 20, 60, 40);
    const int32_t b = f.Add(kvkBOX, 100, 20, 140, 40);
    f.vect->SetObjBrushStyle(a, bsSolid);
    f.vect->SetObjBrushStyle(b, bsSolid);
    f.vect->SetMouseInteractVt(miObjectSelect);
    std::vector<int32_t> clicked;
    f.vect->OnObjectClick = [&](TObject*, int32_t h) { clicked.push_back(h); };
    Simulate::Click(f.vect, 30, 30);
    EXPECT_EQ(clicked, (std::vector<int32_t>{a}));
    EXPECT_TRUE(f.vect->IsSelObject(a));
    Simulate::MouseDown(f.vect, mbLeft, 110, 30, ssShift);
    Simulate::MouseUp(f.vect, mbLeft, 110, 30, ssShift);
    EXPECT_EQ(f.vect->SelObjectsCount(), 2);
    // Shift-click on a selected object deselects it; a click on nothing clears the selection.
    Simulate::MouseDown(f.vect, mbLeft, 30, 30, ssShift);
    Simulate::MouseUp(f.vect, mbLeft, 30, 30, ssShift);
    EXPECT_FALSE(f.vect->IsSelObject(a));
    EXPECT_TRUE(f.vect->IsSelObject(b));
    f.vect->HitDistanceLimit = 5;
    Simulate::Click(f.vect, 80, 120);
    EXPECT_EQ(f.vect->SelObjectsCount(), 0);
    // A rubber band selects what lies wholly inside it.
    Drag(f.vect, 10, 10, 70, 50);
    EXPECT_TRUE(f.vect->IsSelObject(a));
    EXPECT_FALSE(f.vect->IsSelObject(b));

    // Dragging the centre grip moves it; the event may veto the move.
    Drag(f.vect, 40, 30, 50, 45);
    EXPECT_EQ(RectOf(f.vect, a), (TRect{30, 35, 70, 55}));
    f.vect->OnObjectMoveResize = [](TObject*, int32_t, int32_t, int32_t& dx, int32_t& dy) { dx = dy = 0; };
    Drag(f.vect, 50, 45, 80, 80);
    EXPECT_EQ(RectOf(f.vect, a), (TRect{30, 35, 70, 55}));
    f.vect->OnObjectMoveResize = nullptr;
    // Grip 2 (x2, y2) with Alt keeps the aspect ratio from the drag start: 40 x 20 to 80 x 40.
    Drag(f.vect, 70, 55, 110, 60, ssAlt);
    EXPECT_EQ(RectOf(f.vect, a), (TRect{30, 35, 110, 75}));
    // Without Alt the corner follows the mouse; a drag past the other corner is put in order.
    Drag(f.vect, 110, 75, 10, 20);
    EXPECT_EQ(RectOf(f.vect, a), (TRect{10, 20, 30, 35}));
}

TEST(VectMouse, MeasureHintTexts)
{
    VectOnForm f;
    double ended = -1;
    f.vect->OnDragLenEnd = [&](TObject*, double v) { ended = v; };
    f.vect->SetMouseInteractVt(miDragLen);
    Drag(f.vect, 10, 10, 40, 50);
    EXPECT_EQ(f.vect->ObjectsCount(), 0);
    EXPECT_DOUBLE_EQ(ended, 50.0);
    // Area of the view's selection, in the unit, and a handler that rewrites the text.
    f.vect->SetMouseInteractVt(miArea);
    EXPECT_TRUE(f.vect->HintOn());
    f.vect->Select(0, 0, 9, 9);
    f.vect->UpdateHint(20, 20);
    EXPECT_EQ(f.vect->HintText(), "100.00 pixels\xC2\xB2");
    f.vect->SetDPIX(254);
    f.vect->SetDPIY(254);
    f.vect->SetMUnit(kvuMILLIMETERS);
    f.vect->FloatDigits = 3;
    f.vect->UpdateHint(20, 20);
    EXPECT_EQ(f.vect->HintText(), "1.000 mm\xC2\xB2");
    // No selection: the area is 0 and the last value stays.
    f.vect->DeSelect();
    f.vect->UpdateHint(20, 20);
    EXPECT_EQ(f.vect->HintText(), "1.000 mm\xC2\xB2");
    f.vect->OnMeasureHint = [](TObject*, std::string& text, double value) {
        text = "area " + std::to_string(int(value * 1000));
    };
    f.vect->UpdateHint(20, 20);
    EXPECT_EQ(f.vect->HintText(), "area 1000");
    f.vect->OnMeasureHint = nullptr;
    f.vect->SetMUnit(kvuCENTIMETERS);
    f.vect->SetMouseInteractVt(miLineLen);
    f.vect->Select(0, 0, 253, 0);
    f.vect->SetMouseInteractVt(miLineLen);
    EXPECT_TRUE(f.vect->HintOn());
    f.vect->SetMouseInteractVt(miPutBox);
    EXPECT_FALSE(f.vect->HintOn());
}

TEST(VectMouse, InPlaceEditorsOpenWithF2AndCloseWithEnterOrEsc)
{
    VectOnForm f;
    f.form->Show();
    const int32_t text = f.Add(kvkTEXT, 20, 20, 120, 40);
    f.vect->SetObjText(text, "old");
    f.vect->SetMouseInteractVt(miObjectSelect);
    f.vect->AddSelObject(text);
    Simulate::Key(f.vect, VK_F2);
    ASSERT_EQ(f.vect->EditedObject(), text);
    EXPECT_TRUE(f.vect->TextEditor()->Visible());
    Simulate::Retype(f.vect->TextEditor(), "new");
    Simulate::Key(f.vect->TextEditor(), VK_RETURN);
    EXPECT_EQ(f.vect->EditedObject(), -1);
    EXPECT_FALSE(f.vect->TextEditor()->Visible());
    EXPECT_EQ(f.vect->GetObjText(text), "new");
    // Esc takes the typing back.
    Simulate::Key(f.vect, VK_F2);
    Simulate::Retype(f.vect->TextEditor(), "gone");
    Simulate::Key(f.vect->TextEditor(), VK_ESCAPE);
    EXPECT_EQ(f.vect->EditedObject(), -1);
    EXPECT_EQ(f.vect->GetObjText(text), "new");

    // The memo editor: Enter is a line feed inside it, Esc closes it and keeps the text.
    const int32_t memo = f.Add(kvkMEMO, 20, 60, 150, 120);
    f.vect->SetObjText(memo, "ab");
    f.vect->UnSelAllObjects();
    f.vect->AddSelObject(memo);
    Simulate::Key(f.vect, VK_F2);
    ASSERT_EQ(f.vect->EditedObject(), memo);
    EXPECT_TRUE(f.vect->MemoEditor()->Visible());
    Simulate::Key(f.vect->MemoEditor(), VK_END, ssCtrl);
    Simulate::Key(f.vect->MemoEditor(), VK_RETURN);
    Simulate::Type(f.vect->MemoEditor(), "c");
    EXPECT_EQ(f.vect->EditedObject(), memo);
    Simulate::Key(f.vect->MemoEditor(), VK_ESCAPE);
    EXPECT_EQ(f.vect->EditedObject(), -1);
    EXPECT_FALSE(f.vect->MemoEditor()->Visible());
    EXPECT_EQ(f.vect->GetObjText(memo), "ab\nc");
    EXPECT_EQ(f.vect->Obj(memo).MemoFormats.size(), 4u);
    // At 200 % the memo editor lays out at the zoom, in the memo's font.
    f.vect->SetZoom(200);
    f.vect->SetViewXY(0, 0);
    f.vect->SetObjFontHeight(memo, -13);
    f.vect->EditObject(memo);
    EXPECT_DOUBLE_EQ(f.vect->MemoEditor()->Layout().Zoom, 2.0);
    EXPECT_EQ(f.vect->MemoEditor()->Layout().Font.Height(), -13);
    EXPECT_EQ(f.vect->MemoEditor()->Width(), 2 * 130 + 1);
    Simulate::Key(f.vect->MemoEditor(), VK_ESCAPE);
    // A memo without formats gets its characters' format from its own font.
    const int32_t fresh = f.Add(kvkMEMO, 160, 100, 190, 140);
    f.vect->SetObjText(fresh, "new");
    f.vect->SetObjFontHeight(fresh, -17);
    f.vect->EditObject(fresh);
    ASSERT_FALSE(f.vect->MemoEditor()->Layout().Memo.CharInfos.empty());
    EXPECT_EQ(f.vect->MemoEditor()->Layout().Memo.CharInfos[0].FontHeight, -17);
    Simulate::Key(f.vect->MemoEditor(), VK_ESCAPE);
    Simulate::Key(f.vect->MemoEditor(), VK_ESCAPE);
    f.vect->SetZoom(100);
    f.vect->SetViewXY(0, 0);
    // A double click inside a text opens its editor.
    Simulate::DoubleClick(f.vect, 60, 30);
    EXPECT_EQ(f.vect->EditedObject(), text);
    Simulate::Key(f.vect->TextEditor(), VK_ESCAPE);
}
