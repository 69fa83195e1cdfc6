// The image view's painting, checked pixel for pixel in the front image: the picture through the
// coordinate tables at many zooms and formats, the background styles, the grid, the deferred
// zoom filter and the marching outlines.
#include "tests/view/view_test_support.h"

#include "platform/forms/ext_controls.h"

#include <gtest/gtest.h>

#include <string>

using namespace viewtest;

namespace {

// Every client pixel inside the drawn image area shows the bitmap pixel the conversions name; every
// other one the background.
int CountWrongPixels(TKorvaneView* view, TBitmap* front)
{
    const TKVViewGeometry& g = view->Geometry();
    const TRGB background = ColourOf(view->Background());
    TKVBitmap* bitmap = view->GetKVBitmap();
    int wrong = 0;
    for (int32_t y = 0; y < front->Height(); ++y)
        for (int32_t x = 0; x < front->Width(); ++x) {
            const bool inside = x >= g.OffsetX && x < g.OffsetX + g.DrawnWidth && y >= g.OffsetY &&
                                y < g.OffsetY + g.DrawnHeight;
            const TRGB expect = inside ? bitmap->GetPixels(view->XScr2Bmp(x), view->YScr2Bmp(y)) : background;
            if (!(FrontPixel(front, x, y) == expect))
                ++wrong;
        }
    return wrong;
}

} // namespace

TEST(ViewPaint, EveryClientPixelShowsTheBitmapPixelItMapsTo)
{
    ViewOnForm f(83, 61);
    const TKVPixelFormat formats[] = {kv24RGB, kv1g, kv8g, kv8p};
    const double zooms[] = {33, 50, 100, 150, 300, 400, -1};
    for (TKVPixelFormat format : formats) {
        for (bool small : {false, true}) {
            FillPattern(f.view->GetKVBitmap(), small ? 23 : 197, small ? 17 : 131, format);
            f.view->Update();
            for (double zoom : zooms) {
                if (zoom < 0)
                    f.view->Fit();
                else
                    f.view->SetZoom(zoom);
                for (int scroll = 0; scroll < 2; ++scroll) {
                    if (scroll)
                        f.view->SetViewXY(f.view->ViewX() + 37, f.view->ViewY() + 29);
                    SCOPED_TRACE(testing::Message() << "format " << int(format) << " zoom " << f.view->Zoom()
                                                    << " view " << f.view->ViewX() << "," << f.view->ViewY());
                    EXPECT_EQ(CountWrongPixels(f.view, f.Paint()), 0);
                }
            }
        }
    }
}

TEST(ViewPaint, BackgroundStylesAroundACentredPicture)
{
    ViewOnForm f(64, 48);
    FillPattern(f.view->GetKVBitmap(), 10, 10);
    f.view->SetBackGround(clRed);
    f.view->SetBackgroundStyle(kvbsSolid);
    TBitmap* front = f.Paint();
    EXPECT_TRUE(FrontPixel(front, 0, 0) == ColourOf(clRed));
    EXPECT_TRUE(FrontPixel(front, 63, 47) == ColourOf(clRed));

    // The chessboard alternates the colour with its complement, the first square complemented; a
    // system colour is resolved first.
    f.view->SetBackGround(clBtnFace);
    f.view->SetChessboardStyle(16, bsSolid);
    f.view->SetBackgroundStyle(kvbsChessboard);
    front = f.Paint();
    const TRGB face = ColourOf(clBtnFace);
    const TRGB inverse{uint8_t(~face.b), uint8_t(~face.g), uint8_t(~face.r)};
    struct Square
    {
        int32_t x, y;
        bool complement;
    };
    for (const Square& s : {Square{0, 0, true}, Square{16, 0, false}, Square{0, 16, false},
                            Square{16, 16, true}, Square{63, 47, false}}) {
        EXPECT_TRUE(FrontPixel(front, s.x, s.y) == (s.complement ? inverse : face)) << s.x << "," << s.y;
    }

    f.view->SetBackGround(clWhite);
    f.view->SetBackgroundStyle(kvbsDiagonals);
    front = f.Paint();
    EXPECT_TRUE(FrontPixel(front, 0, 0) == ColourOf(clBlack));
    EXPECT_TRUE(FrontPixel(front, 8, 6) == ColourOf(clBlack));
    EXPECT_TRUE(FrontPixel(front, 63 - 8, 6) == ColourOf(clBlack));
    EXPECT_TRUE(FrontPixel(front, 8, 0) == ColourOf(clWhite));
    EXPECT_EQ(CountWrongPixels(f.view, front) > 0, true); // the diagonals are not the background colour
}

// A repaint of part of the client renders only there, background and picture; one of the whole
// client renders everything.
TEST(ViewPaint, RepaintOfAMarkedRectangleRendersOnlyThere)
{
    ViewOnForm f(64, 48);
    TKVBitmap* b = f.view->GetKVBitmap();
    FillPattern(b, 10, 10);
    f.view->SetBackgroundStyle(kvbsChessboard);
    f.view->SetChessboardStyle(4, bsSolid);
    TBitmap* front = f.Paint();
    const int32_t x0 = f.view->XBmp2Scr(0), y0 = f.view->YBmp2Scr(0);
    ASSERT_EQ(x0, 27);
    ASSERT_EQ(y0, 19);
    const TRGB white{255, 255, 255};
    b->SetPixels_kv24RGB(0, 0, white);
    b->SetPixels_kv24RGB(9, 9, white);
    f.view->UpdateRect(TRect{x0 - 6, y0 - 6, x0 + 1, y0 + 1});
    f.view->PaintMarked();
    front = f.Paint();
    EXPECT_TRUE(FrontPixel(front, x0, y0) == white);
    EXPECT_TRUE(FrontPixel(front, x0 + 9, y0 + 9) != white); // not marked, so not shown yet
    // The chessboard inside the marked rectangle: squares of 4 from the client's corner, the first
    // one complemented.
    const TRGB colour = ColourOf(f.view->Background());
    const TRGB inverse{uint8_t(~colour.b), uint8_t(~colour.g), uint8_t(~colour.r)};
    for (int32_t y = y0 - 6; y < y0; ++y)
        for (int32_t x = x0 - 6; x < x0; ++x)
            EXPECT_TRUE(FrontPixel(front, x, y) == ((x / 4 + y / 4) % 2 == 0 ? inverse : colour))
                << x << "," << y;
    f.view->UpdateRect(f.view->ClientRect());
    f.view->PaintMarked();
    EXPECT_TRUE(FrontPixel(f.Paint(), x0 + 9, y0 + 9) == white);
}

TEST(ViewPaint, GridAppearsFromZoom400)
{
    ViewOnForm f(40, 40);
    f.view->SetScrollBars(ssNone);
    TKVBitmap* b = f.view->GetKVBitmap();
    b->Allocate(20, 20, kv24RGB);
    b->Fill(0);
    f.view->SetDisplayGrid(true);
    f.view->SetZoom(399.9);
    TBitmap* front = f.Paint();
    int white = 0;
    for (int32_t x = 0; x < 40; ++x)
        white += FrontPixel(front, x, 0) == ColourOf(clWhite);
    EXPECT_EQ(white, 0);
    f.view->SetZoom(400);
    front = f.Paint();
    // Black pixels inverted on every row and column boundary.
    for (int32_t i = 0; i < 40; i += 4) {
        EXPECT_TRUE(FrontPixel(front, i, 2) == ColourOf(clWhite)) << i;
        EXPECT_TRUE(FrontPixel(front, 2, i) == ColourOf(clWhite)) << i;
    }
    EXPECT_TRUE(FrontPixel(front, 2, 2) == ColourOf(clBlack));
}

TEST(ViewPaint, DeferredFilterFollowsOnceTheViewRests)
{
    ViewOnForm f(60, 60);
    FillPattern(f.view->GetKVBitmap(), 100, 100);
    f.view->SetZoomFilter(rfBilinear);
    f.view->DelayZoomFilter = true;
    f.view->SetZoom(150);
    f.Paint();
    // Away from 100 the first zoom filters at once; the next change waits for the countdown.
    EXPECT_EQ(f.view->LastRenderFilter(), rfBilinear);
    f.view->SetZoom(200);
    f.Paint();
    EXPECT_EQ(f.view->LastRenderFilter(), rfNone);
    EXPECT_GT(f.view->DelayCountdown(), 0);
    int ticks = 0;
    while (f.view->DelayCountdown() > 0 && ticks < 10) {
        f.view->TimerEvent(f.view->ViewTimer());
        ++ticks;
    }
    EXPECT_LE(ticks, 4);
    f.Paint();
    EXPECT_EQ(f.view->LastRenderFilter(), rfBilinear);
    f.view->SetZoom(100);
    f.Paint();
    EXPECT_EQ(f.view->LastRenderFilter(), rfNone);
}

TEST(ViewPaint, DashesMarchOneStepPerTickButNotOnRectangles)
{
    ViewOnForm f(60, 60);
    FillPattern(f.view->GetKVBitmap(), 60, 60);
    f.view->Update();
    f.Paint();
    const int32_t poly = f.view->AnimPolygonNew(clBlack, clWhite, true, false);
    // An open-looking triangle whose top edge runs along row 10.
    for (TPoint p : {TPoint{5, 10}, TPoint{45, 10}, TPoint{25, 40}})
        f.view->AnimPolygonAddPt(poly, p.X, p.Y);
    auto row = [&] {
        std::string s;
        TBitmap* front = f.view->FrontImage();
        for (int32_t x = 5; x < 21; ++x)
            s += FrontPixel(front, x, 10) == ColourOf(clBlack) ? 'B' : 'W';
        return s;
    };
    f.view->AniPolyFunc(f.view, false);
    const std::string before = row();
    EXPECT_EQ(before, "BBBBWWWWBBBBWWWW");
    f.view->TimerEvent(f.view->ViewTimer());
    EXPECT_EQ(row(), "BBBWWWWBBBBWWWWB");

    const int32_t rect = f.view->AnimPolygonNew(clBlack, clWhite, true, false);
    for (TPoint p : {TPoint{5, 20}, TPoint{30, 20}, TPoint{30, 30}, TPoint{5, 30}})
        f.view->AnimPolygonAddPt(rect, p.X, p.Y);
    auto rectRow = [&] {
        std::string s;
        for (int32_t x = 5; x < 21; ++x)
            s += FrontPixel(f.view->FrontImage(), x, 20) == ColourOf(clBlack) ? 'B' : 'W';
        return s;
    };
    f.view->TimerEvent(f.view->ViewTimer());
    const std::string still = rectRow();
    EXPECT_EQ(still, "BBBBWWWWBBBBWWWW");
    f.view->TimerEvent(f.view->ViewTimer());
    EXPECT_EQ(rectRow(), still);
}
