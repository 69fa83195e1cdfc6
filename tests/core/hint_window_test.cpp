// The hint window, the hint box drawn on a canvas, 3D frames and drop shadows, read back by pixels.
#include "imaging/core/hint_window.h"

#include "platform/graphics/gdi.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::unique_ptr<TBitmap> White(int32_t width, int32_t height)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    bitmap->Canvas()->Brush()->SetColor(clWhite);
    bitmap->Canvas()->FillRect(TRect{0, 0, width, height});
    return bitmap;
}

// The red byte of each pixel of a row from x1 to x2 inclusive.
std::vector<int> Reds(TBitmap& bitmap, int32_t y, int32_t x1, int32_t x2)
{
    std::vector<int> reds;
    for (int32_t x = x1; x <= x2; ++x)
        reds.push_back(GetRValue(ColorToRGB(bitmap.Canvas()->Pixels(x, y))));
    return reds;
}

} // namespace

TEST(Shadows, SmoothStripsFadeFromTheObjectOutward)
{
    const std::vector<int> greys = {94, 104, 115, 127, 140, 155, 171, 189, 209, 231};
    // A right strip of width 10 beside an object 40 high: each column is one grey, starting one
    // strip width down.
    auto right = White(30, 50);
    Daduvudez::KVRightShadow(right->Canvas(), 10, 0, 19, 39, kvstSmooth1);
    EXPECT_EQ(Reds(*right, 20, 10, 19), greys);
    EXPECT_EQ(Reds(*right, 9, 10, 19), std::vector<int>(10, 255));
    // Column i ends (exclusive) at y2 - w + 3 + i: column 0 at row 32.
    EXPECT_EQ(Reds(*right, 31, 10, 10), std::vector<int>{94});
    EXPECT_EQ(Reds(*right, 32, 10, 10), std::vector<int>{255});
    EXPECT_EQ(Reds(*right, 32, 11, 11), std::vector<int>{104});

    auto bottom = White(50, 30);
    Daduvudez::KVBottomShadow(bottom->Canvas(), 0, 10, 39, 19, kvstSmooth1);
    for (int32_t i = 0; i < 10; ++i)
        EXPECT_EQ(Reds(*bottom, 10 + i, 20, 20), std::vector<int>{greys[i]});

    // The second smooth style fades along the strip too and never passes the strip.
    auto faded = White(30, 50);
    Daduvudez::KVRightShadow(faded->Canvas(), 10, 0, 19, 39, kvstSmooth2);
    EXPECT_EQ(Reds(*faded, 0, 10, 19), std::vector<int>(10, 255));
    EXPECT_EQ(Reds(*faded, 39, 17, 18), (std::vector<int>{255, 209}));
    EXPECT_EQ(Reds(*faded, 30, 10, 10), std::vector<int>{94});
    EXPECT_EQ(Reds(*faded, 20, 20, 20), std::vector<int>{255});

    auto solid = White(30, 50);
    solid->Canvas()->Brush()->SetColor(clBlack);
    Daduvudez::KVRightShadow(solid->Canvas(), 10, 0, 19, 39, kvstSolid);
    EXPECT_EQ(Reds(*solid, 10, 9, 19), (std::vector<int>{255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255}));
    auto none = White(30, 50);
    Daduvudez::KVRightShadow(none->Canvas(), 10, 0, 19, 39, kvstNone);
    EXPECT_EQ(Reds(*none, 20, 10, 19), std::vector<int>(10, 255));
}

TEST(Shadows, ThreeDRectAndHintBox)
{
    auto frame = White(10, 10);
    Daduvudez::KVDraw3DRect(frame->Canvas(), 1, 1, 6, 5, clBlack, clRed);
    TCanvas* c = frame->Canvas();
    EXPECT_EQ(c->Pixels(1, 3), clBlack); // left
    EXPECT_EQ(c->Pixels(4, 1), clBlack); // top
    EXPECT_EQ(c->Pixels(1, 5), clRed);   // bottom-left corner belongs to the bottom line
    EXPECT_EQ(c->Pixels(6, 3), clRed);   // right
    EXPECT_EQ(c->Pixels(3, 5), clRed);   // bottom
    EXPECT_EQ(c->Pixels(6, 1), clWhite); // the lines end short of the top-right corner
    EXPECT_EQ(c->Pixels(3, 3), clWhite);

    auto canvas = White(200, 100);
    canvas->Canvas()->Brush()->SetColor(clBlue);
    canvas->Canvas()->FillRect(TRect{0, 0, 3, 3});
    TFont font;
    TBrush brush;
    brush.SetColor(clYellow);
    TBitmap saved;
    int32_t x = -5, y = -5;
    Daduvudez::KVDrawHint(canvas->Canvas(), x, y, "Hint", &font, &brush, &saved, 200, 100, clWhite, clBlack);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(saved.PixelFormat(), pf24bit);
    EXPECT_EQ(saved.Canvas()->Pixels(1, 1), clBlue);
    EXPECT_EQ(saved.Width(), canvas->Canvas()->TextWidth("Hint") + 12);
    EXPECT_EQ(canvas->Canvas()->Pixels(6, 6), clWhite); // frame, top-left
    EXPECT_EQ(canvas->Canvas()->Pixels(8, 8), clYellow);
    EXPECT_EQ(canvas->Canvas()->Pixels(1, 1), clBlue); // the offset leaves the corner uncovered

    // Kept inside the limits, the box moves left and up.
    x = 195;
    y = 95;
    Daduvudez::KVDrawHint(canvas->Canvas(), x, y, "Hint", &font, &brush, &saved, 200, 100, clWhite, clBlack);
    EXPECT_EQ(x, 200 - 1 - saved.Width());
    EXPECT_EQ(y, 100 - 1 - saved.Height());
}

TEST(HintWindow, PaleYellowRaisedAndTransparentToTheMouse)
{
    TKVHint hint(nullptr);
    EXPECT_FALSE(hint.Visible());
    EXPECT_EQ(hint.Color(), TColor(0xE0FFFF));
    EXPECT_EQ(hint.HintFont()->Color(), clBlack);
    EXPECT_TRUE(hint.WindowStyle() & WS_POPUP);
    EXPECT_TRUE(hint.WindowExStyle() & WS_EX_TRANSPARENT);

    TFont big;
    big.SetSize(14);
    hint.SetFont(nullptr);
    hint.SetFont(&big);
    EXPECT_EQ(hint.HintFont()->Size(), 14);
    hint.SetText("Zoom 200%");
    const TSize extent = hint.Canvas()->TextExtent("Zoom 200%");
    EXPECT_EQ(hint.Width(), extent.cx + 4);
    EXPECT_EQ(hint.Height(), extent.cy + 4);
    EXPECT_EQ(hint.HintText(), "Zoom 200%");

    TBitmap* front = hint.FrontImage();
    TCanvas* c = front->Canvas();
    EXPECT_EQ(c->Pixels(0, 5), ColorToRGB(cl3DLight));
    EXPECT_EQ(c->Pixels(5, 0), ColorToRGB(cl3DLight));
    EXPECT_EQ(c->Pixels(hint.Width() - 1, 5), ColorToRGB(cl3DDkShadow));
    EXPECT_EQ(c->Pixels(5, hint.Height() - 1), ColorToRGB(cl3DDkShadow));
    EXPECT_EQ(c->Pixels(1, 1), TColor(0xE0FFFF));
    int32_t dark = 0;
    for (int32_t y = 2; y < hint.Height() - 2; ++y)
        for (int32_t x = 2; x < hint.Width() - 2; ++x)
            dark += GetRValue(ColorToRGB(c->Pixels(x, y))) < 128;
    EXPECT_GT(dark, 10);
}
