// Drawing the vector layer into the view's front image, on the direct path and through the
// off-screen path that blends transparency and soft shadows, at several zooms.
#include "tests/view/vect_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace vecttest;
using viewtest::FrontPixel;

namespace {

struct Setting
{
    double zoom;
    bool render;
};

const Setting Settings[] = {{50, false}, {100, false}, {250, false}, {50, true}, {100, true}, {250, true}};

// The front pixel over the bitmap pixel (x, y).
TRGB At(VectOnForm& f, TBitmap* front, int32_t x, int32_t y)
{
    return FrontPixel(front, f.vect->XBmp2Scr(x), f.vect->YBmp2Scr(y));
}

bool IsWhite(const TRGB& c)
{
    return c.r == 255 && c.g == 255 && c.b == 255;
}
bool IsBlack(const TRGB& c)
{
    return c.r == 0 && c.g == 0 && c.b == 0;
}

} // namespace

TEST(VectDraw, HighlighterBoxesAndArrowTipsAtEveryZoomOnBothPaths)
{
    for (const Setting& s : Settings) {
        SCOPED_TRACE(testing::Message() << s.zoom << (s.render ? " off-screen" : " direct"));
        VectOnForm f;
        f.vect->SetObjGraphicRender(s.render);
        f.vect->SetZoom(s.zoom);
        f.vect->SetViewXY(0, 0);
        const int32_t box = f.Add(kvkBOX, 10, 10, 29, 19);
        f.vect->SetObjBoxHighLight(box, true);
        f.vect->SetObjBrushColor(box, 0x00FFFF);
        f.vect->SetObjPenColor(box, 0x00FFFF);
        const int32_t line = f.Add(kvkLINE, 20, 40, 60, 40);
        f.vect->SetObjPenColor(line, clBlack);
        f.vect->SetObjEndShape(line, kvsOUTARROW);
        f.vect->SetObjShapeHeight(line, 8);
        f.vect->SetObjShapeWidth(line, 6);
        TBitmap* front = f.Paint();
        const TRGB yellow = At(f, front, 20, 15);
        EXPECT_EQ(yellow.r, 255);
        EXPECT_EQ(yellow.g, 255);
        EXPECT_EQ(yellow.b, 0);
        EXPECT_TRUE(IsWhite(At(f, front, 35, 15)));
        // The tip ends on the end point: ink there, none a few pixels beyond.
        const int32_t tipX = f.vect->XBmp2Scr(60), y = f.vect->YBmp2Scr(40);
        EXPECT_TRUE(IsBlack(FrontPixel(front, tipX - 1, y)));
        EXPECT_TRUE(IsWhite(FrontPixel(front, tipX + 3, y)));
        // The head is wider than the line near its base, and the line is thin before it.
        auto inkInColumn = [&](int32_t x) {
            int32_t n = 0;
            for (int32_t dy = -8; dy <= 8; ++dy)
                n += IsBlack(FrontPixel(front, x, y + dy)) ? 1 : 0;
            return n;
        };
        EXPECT_GE(inkInColumn(f.vect->XBmp2Scr(53)), 3);
        EXPECT_LE(inkInColumn(f.vect->XBmp2Scr(35)), 3);
    }
}

TEST(VectDraw, PenWidthNeverFallsBelowOnePixel)
{
    VectOnForm f;
    f.vect->SetZoom(50);
    const int32_t line = f.Add(kvkLINE, 10, 40, 150, 40);
    f.vect->SetObjPenColor(line, clBlack);
    TBitmap* front = f.Paint();
    const int32_t x = f.vect->XBmp2Scr(80);
    int32_t ink = 0;
    for (int32_t y = 0; y < front->Height(); ++y) {
        ink += IsBlack(FrontPixel(front, x, y)) ? 1 : 0;
    }
    EXPECT_EQ(ink, 1);
    // Three pixels at 250 % for a pen of 1 pixel: Ceil(2.5).
    f.vect->SetZoom(250);
    f.vect->SetViewXY(0, 0);
    front = f.Paint();
    ink = 0;
    for (int32_t y = 0; y < front->Height(); ++y) {
        ink += IsBlack(FrontPixel(front, f.vect->XBmp2Scr(30), y)) ? 1 : 0;
    }
    EXPECT_EQ(ink, 3);
}

TEST(VectDraw, TransparencyBlendsAndShadowsWiden)
{
    for (double zoom : {50.0, 100.0, 250.0}) {
        SCOPED_TRACE(zoom);
        VectOnForm f;
        f.vect->SetObjGraphicRender(true);
        f.vect->SetZoom(zoom);
        f.vect->SetViewXY(0, 0);
        const int32_t box = f.Add(kvkBOX, 10, 10, 39, 29);
        f.vect->SetObjBrushStyle(box, bsSolid);
        f.vect->SetObjBrushColor(box, clBlack);
        f.vect->SetObjPenColor(box, clBlack);
        f.vect->SetObjTransparency(box, 128);
        TBitmap* front = f.Paint();
        const TRGB mid = At(f, front, 25, 20);
        EXPECT_NEAR(mid.r, 127, 1);
        EXPECT_NEAR(mid.g, 127, 1);
        EXPECT_NEAR(mid.b, 127, 1);
        // Transparency 0: invisible.
        f.vect->SetObjTransparency(box, 0);
        front = f.Paint();
        EXPECT_TRUE(IsWhite(At(f, front, 25, 20)));
        // A soft shadow darkens beyond the lower right edge.
        f.vect->SetObjTransparency(box, 255);
        const int32_t edgeX = f.vect->XBmp2Scr(40) + 2, edgeY = f.vect->YBmp2Scr(30) + 2;
        front = f.Paint();
        EXPECT_TRUE(IsWhite(FrontPixel(front, edgeX, edgeY)));
        f.vect->GetObjSoftShadow(box)->Enabled = 1;
        f.vect->Update();
        front = f.Paint();
        EXPECT_LT(FrontPixel(front, edgeX, edgeY).r, 250);
        EXPECT_TRUE(IsBlack(At(f, front, 25, 20)));
    }
}

TEST(VectDraw, PlaceholdersFlatPolylinesHiddenLayersAndGrips)
{
    VectOnForm f;
    const int32_t empty = f.Add(kvkBITMAP, 10, 10, 50, 50);
    f.vect->SetObjPenColor(empty, clBlack);
    const int32_t flat = f.Add(kvkPOLYLINE, 0, 0, 1, 1);
    f.vect->SetObjPolylinePoints(flat, {{100, 80}, {150, 80}, {180, 80}});
    f.vect->SetObjPenColor(flat, clBlack);
    TBitmap* front = f.Paint();
    // The X in a frame.
    for (const TPoint& p : {TPoint{10, 10}, TPoint{50, 30}, TPoint{30, 30}, TPoint{20, 20}, TPoint{40, 20}}) {
        EXPECT_TRUE(IsBlack(At(f, front, p.X, p.Y))) << p.X << "," << p.Y;
    }
    EXPECT_TRUE(IsWhite(At(f, front, 30, 15)));
    // The flat polyline is not drawn.
    EXPECT_TRUE(IsWhite(At(f, front, 150, 80)));

    // All hidden: only the picture, but the grips of selected objects.
    f.vect->SetAllObjectsHidden(true);
    front = f.Paint();
    EXPECT_TRUE(IsWhite(At(f, front, 30, 30)));
    f.vect->AddSelObject(empty);
    front = f.Paint();
    EXPECT_FALSE(IsWhite(At(f, front, 10 - 4, 10))); // the corner grip's left edge
    EXPECT_FALSE(IsWhite(At(f, front, 30, 30 - 4))); // the centre diamond
    f.vect->SetAllObjectsHidden(false);
    f.vect->CenterGrip = false;
    front = f.Paint();
    EXPECT_TRUE(IsBlack(At(f, front, 30, 30)));
}

TEST(VectDraw, ObjectsBurnIntoThePicture)
{
    VectOnForm f;
    const int32_t box = f.Add(kvkBOX, 2, 2, 7, 5);
    f.vect->SetObjBrushStyle(box, bsSolid);
    f.vect->SetObjBrushColor(box, 0x0000FF);
    f.vect->SetObjPenColor(box, 0x0000FF);
    TKVBitmap target;
    target.Allocate(12, 10, kv24RGB);
    target.Fill(0xFFFFFF);
    f.vect->DrawObjectsToBitmap(&target, false);
    EXPECT_EQ(target.GetScanLine(3)[4 * 3 + 2], 255); // red
    EXPECT_EQ(target.GetScanLine(3)[4 * 3 + 1], 0);
    EXPECT_EQ(target.GetScanLine(8)[4 * 3 + 1], 255);
    // Anti-aliased: the inside is still red, the edge a blend.
    TKVBitmap smooth;
    smooth.Allocate(12, 10, kv24RGB);
    smooth.Fill(0xFFFFFF);
    f.vect->DrawObjectsToBitmap(&smooth, true);
    EXPECT_EQ(smooth.GetWidth(), 12);
    EXPECT_NEAR(smooth.GetScanLine(3)[4 * 3 + 1], 0, 8);
    // Without a picture and at 0 x 0 nothing breaks.
    TKVBitmap none;
    f.vect->DrawObjectsToBitmap(&none, true);
    VectOnForm g(100, 80, 0, 0);
    g.Add(kvkBOX, 0, 0, 10, 10);
    g.vect->SetObjGraphicRender(true);
    g.Paint();
    g.vect->CopyObjectsToBack(true);
}
