// Text objects: the height that fills the box, alignment from our own measure, text along a
// curve, the labelled line's label, and memos laid out as the multi-font control lays them out.
#include "tests/view/vect_test_support.h"

#include "imaging/view/kvtextc.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vecttest;

namespace {

std::unique_ptr<TBitmap> White(int32_t w, int32_t h)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(w, h);
    b->Canvas()->Brush()->SetColor(clWhite);
    b->Canvas()->Brush()->SetStyle(bsSolid);
    b->Canvas()->FillRect(TRect{0, 0, w, h});
    return b;
}

bool Dark(TBitmap* b, int32_t x, int32_t y)
{
    const uint8_t* p = b->ScanLine(y) + x * 3;
    return p[0] + p[1] + p[2] < 3 * 160;
}

// The ink's bounds inside (x1, y1)-(x2, y2), frame excluded.
TRect InkInside(TBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    TRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t y = y1 + 1; y < y2; ++y)
        for (int32_t x = x1 + 1; x < x2; ++x)
            if (Dark(b, x, y)) {
                r.Left = std::min(r.Left, x);
                r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x);
                r.Bottom = std::max(r.Bottom, y);
            }
    return r;
}

bool Same(TBitmap* a, TBitmap* b)
{
    for (int32_t y = 0; y < a->Height(); ++y)
        if (std::memcmp(a->ScanLine(y), b->ScanLine(y), size_t(a->Width()) * 3) != 0)
            return false;
    return true;
}

} // namespace

TEST(VectText, HeightZeroFillsTheBoxAtEveryZoom)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkTEXT, 0, 0, 10, 10);
    f.vect->SetObjText(h, "HH");
    f.vect->SetObjFontHeight(h, 0);
    f.vect->SetObjPenColor(h, clBlack);
    for (int32_t box : {20, 40, 100}) {
        SCOPED_TRACE(box);
        auto b = White(300, 120);
        f.vect->DrawObjectText(b->Canvas(), 5, nullptr, false, 1.0, f.vect->Obj(h), 5 + box, 295, 5);
        const TRect ink = InkInside(b.get(), 5, 5, 295, 5 + box);
        // Capitals take most of a font's full height.
        EXPECT_GT(ink.Bottom - ink.Top + 1, box * 55 / 100);
        EXPECT_LE(ink.Bottom - ink.Top + 1, box);
    }
}

TEST(VectText, CentredTextStartsHalfTheSpareWidthIn)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkTEXT, 0, 0, 10, 10);
    f.vect->SetObjText(h, "Wide text");
    f.vect->SetObjFontHeight(h, -16);
    f.vect->SetObjPenColor(h, clBlack);
    auto left = White(200, 40);
    f.vect->DrawObjectText(left->Canvas(), 10, nullptr, false, 1.0, f.vect->Obj(h), 30, 160, 5);
    f.vect->SetObjTextAlign(h, kvjCenter);
    auto centre = White(200, 40);
    f.vect->DrawObjectText(centre->Canvas(), 10, nullptr, false, 1.0, f.vect->Obj(h), 30, 160, 5);
    f.vect->SetObjTextAlign(h, kvjRight);
    auto right = White(200, 40);
    f.vect->DrawObjectText(right->Canvas(), 10, nullptr, false, 1.0, f.vect->Obj(h), 30, 160, 5);
    // Our own measure of the text in that font.
    TBitmap measure;
    measure.SetPixelFormat(pf24bit);
    measure.SetSize(8, 8);
    measure.Canvas()->Font()->SetLogFont(*f.vect->Obj(h).Font);
    measure.Canvas()->Font()->SetQuality(fqAntialiased);
    const int32_t tw = measure.Canvas()->TextWidth("Wide text");
    // The glyphs' side bearing is the same in both; the left-aligned "W" starts on the frame.
    const int32_t c = InkInside(centre.get(), 10, 5, 160, 30).Left;
    const int32_t r = InkInside(right.get(), 10, 5, 160, 30).Left;
    EXPECT_EQ(r - c, (150 - tw) - (150 - tw) / 2);
    EXPECT_GE(c - 10, (150 - tw) / 2);
    EXPECT_LE(c - 10, (150 - tw) / 2 + 2);
    EXPECT_LE(InkInside(left.get(), 10, 5, 160, 30).Left, 12);
}

TEST(VectText, CharactersOnAHorizontalCurve)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkTEXT, 0, 0, 10, 10);
    f.vect->SetObjText(h, "LLLL");
    f.vect->SetObjFontHeight(h, -20);
    f.vect->SetObjPenColor(h, clBlack);
    f.vect->SetObjTextCurveShape(h, kvcHorizontal, false, 0);
    auto draw = [&](double rot) {
        f.vect->SetObjTextCurveCharRot(h, rot);
        auto b = White(220, 80);
        f.vect->DrawObjectText(b->Canvas(), 10, nullptr, false, 1.0, f.vect->Obj(h), 70, 210, 10);
        return b;
    };
    EXPECT_DOUBLE_EQ(f.vect->GetObjTextCurveCharRot(h), -0.1); // the default, -1 tenth
    auto follow = draw(-1.0);
    auto upright = draw(0.0);
    auto turned = draw(90.0);
    EXPECT_TRUE(Same(follow.get(), upright.get()));
    EXPECT_FALSE(Same(follow.get(), turned.get()));
    // Four characters spread along the curve.
    const TRect ink = InkInside(follow.get(), 0, 0, 219, 79);
    EXPECT_GT(ink.Right - ink.Left, 130);
}

TEST(VectText, LabelAtTheBeginSitsAboveLeft)
{
    VectOnForm g(300, 260, 300, 260);
    const int32_t k = g.Add(kvkLINELABEL, 100, 100, 200, 200);
    g.vect->SetObjText(k, "Label");
    g.vect->SetObjLabelPos(k, kvlBegin);
    g.vect->SetObjLabelBrushColor(k, 0x00FFFF);
    TBitmap* front = g.Paint();
    auto yellowAt = [&](int32_t x, int32_t y) {
        const TRGB c = viewtest::FrontPixel(front, g.vect->XBmp2Scr(x), g.vect->YBmp2Scr(y));
        return c.r == 255 && c.g == 255 && c.b == 0;
    };
    EXPECT_TRUE(yellowAt(98, 98));
    EXPECT_FALSE(yellowAt(102, 102));
    // At the end: below right of (200, 200).
    g.vect->SetObjLabelPos(k, kvlEnd);
    front = g.Paint();
    EXPECT_TRUE(yellowAt(202, 202));
    EXPECT_FALSE(yellowAt(98, 98));
}

TEST(VectText, MemosLayOutAsTheControl)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkMEMO, 0, 0, 69, 99);
    f.vect->SetObjText(h, "one two three");
    f.vect->SetObjFontHeight(h, -14);
    f.vect->SetObjPenColor(h, clBlack);
    f.vect->SetObjBrushStyle(h, bsSolid);
    const std::string laid = f.vect->GetMemoFormattedString(h);
    EXPECT_EQ(laid, "one two \nthree\n");

    // The same characters in a lone control.
    auto ours = White(120, 120);
    f.vect->DrawObjectText(ours->Canvas(), 10, nullptr, false, 1.0, f.vect->Obj(h), 109, 79, 10);
    TKVTextControl control(nullptr);
    TKVTextLayout& layout = control.Layout();
    layout.Memo.Text = "one two three";
    layout.Font.SetLogFont(*f.vect->Obj(h).Font);
    layout.Font.SetColor(clBlack);
    layout.TextBrush.SetColor(clWhite);
    layout.TextBrush.SetStyle(bsSolid);
    layout.BackgroundBrush.SetColor(clWhite);
    layout.BackgroundBrush.SetStyle(bsSolid);
    layout.BorderPen.SetColor(clWhite);
    layout.FontLocked = true;
    layout.Init();
    auto lone = White(120, 120);
    control.PaintTo(lone->Canvas(), 10, 10, 70, 100);
    EXPECT_TRUE(Same(ours.get(), lone.get()));
    // A memo object and its in-place editor keep one format per character.
    EXPECT_EQ(f.vect->Obj(h).Text.size(), 13u);
}
