// The vector layer's geometry: polyline lengths, areas and centroids, simplification, text
// curves, the picture cut from a selection with a feathered edge, and the measuring objects
// (angle values, ruler ticks and dimension texts).
#include "tests/view/vect_test_support.h"

#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace vecttest;

namespace {

int32_t Polyline(VectOnForm& f, const std::vector<TPoint>& points)
{
    const int32_t h = f.Add(kvkPOLYLINE, 0, 0, 1, 1);
    f.vect->SetObjPolylinePoints(h, points);
    return h;
}

// A white 24-bit picture to draw on.
std::unique_ptr<TBitmap> WhiteBitmap(int32_t w, int32_t h)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(w, h);
    b->Canvas()->Brush()->SetColor(clWhite);
    b->Canvas()->Brush()->SetStyle(bsSolid);
    b->Canvas()->FillRect(TRect{0, 0, w, h});
    return b;
}

bool Ink(TBitmap* b, int32_t x, int32_t y)
{
    const uint8_t* p = b->ScanLine(y) + x * 3;
    return p[0] < 128 && p[1] < 128 && p[2] < 128;
}

bool SameBitmaps(TBitmap* a, TBitmap* b)
{
    for (int32_t y = 0; y < a->Height(); ++y) {
        if (std::memcmp(a->ScanLine(y), b->ScanLine(y), size_t(a->Width()) * 3) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(VectGeometry, PolylineAreasLengthsAndCentroids)
{
    VectOnForm f;
    const int32_t square = Polyline(f, {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
    EXPECT_DOUBLE_EQ(f.vect->GetPolylineArea(square), 100.0);
    EXPECT_EQ(f.vect->GetPolylineCentroid(square), (TPoint{5, 5}));
    EXPECT_DOUBLE_EQ(f.vect->GetPolylineLen(square), 40.0);
    // No closing term: the open triangle measures 50, with its first vertex repeated 25.
    const int32_t open = Polyline(f, {{0, 5}, {10, 5}, {10, 10}});
    EXPECT_DOUBLE_EQ(f.vect->GetPolylineArea(open), 50.0);
    const int32_t closed = Polyline(f, {{0, 5}, {10, 5}, {10, 10}, {0, 5}});
    EXPECT_DOUBLE_EQ(f.vect->GetPolylineArea(closed), 25.0);
    // Resized to twice the width: twice the horizontal length; the vertices follow the rectangle.
    const int32_t line = Polyline(f, {{0, 0}, {10, 0}, {10, 1}});
    f.vect->SetObjWidth(line, 21);
    EXPECT_DOUBLE_EQ(f.vect->GetPolylineLen(line), 21.0);
    EXPECT_EQ(f.vect->GetObjPolylinePoints(line, 1), (TPoint{20, 0}));
    // Other kinds measure nothing but their diagonal; units apply.
    const int32_t box = f.Add(kvkBOX, 0, 0, 30, 40);
    EXPECT_EQ(f.vect->GetPolylineArea(box), 0.0);
    EXPECT_EQ(f.vect->GetPolylineCentroid(box), (TPoint{0, 0}));
    EXPECT_DOUBLE_EQ(f.vect->GetObjDiagLen(box), 50.0);
    f.vect->SetDPIX(254);
    f.vect->SetDPIY(254);
    f.vect->SetMUnit(kvuMILLIMETERS);
    EXPECT_NEAR(f.vect->GetPolylineArea(square), 1.0, 1e-12);
    EXPECT_EQ(f.vect->GetPolylineCentroid(square), (TPoint{5, 5}));
    EXPECT_EQ(f.vect->MUnit(), kvuMILLIMETERS);
}

TEST(VectGeometry, SimplifyAlwaysEnds)
{
    VectOnForm f;
    std::vector<TPoint> circle;
    for (int i = 0; i < 200; ++i) {
        circle.push_back(
            {Round(50 + 40 * std::cos(i * M_PI / 100)), Round(50 + 40 * std::sin(i * M_PI / 100))});
    }
    for (int32_t maxPoints : {-5, 0, 1, 2, 10, 1000}) {
        SCOPED_TRACE(maxPoints);
        const int32_t h = Polyline(f, circle);
        f.vect->SimplifyPolygon(h, maxPoints);
        const int32_t n = f.vect->GetObjPolylinePointsCount(h);
        EXPECT_LE(n, std::max(maxPoints, 2));
        EXPECT_GE(n, 2);
    }
    // Collinear points go at the first tolerance.
    const int32_t straight = Polyline(f, {{0, 0}, {5, 0}, {10, 0}, {10, 10}});
    f.vect->SimplifyPolygon(straight, 100);
    EXPECT_EQ(f.vect->GetObjPolylinePointsCount(straight), 3);
    // Jagged edges of a staircase are straightened.
    const int32_t stairs = Polyline(f, {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {0, 3}});
    EXPECT_TRUE(f.vect->RemovePolygonJaggedEdges(stairs));
    EXPECT_FALSE(f.vect->RemovePolygonJaggedEdges(f.Add(kvkBOX, 0, 0, 3, 3)));
}

TEST(VectGeometry, TextCurves)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkTEXT, 0, 0, 99, 49);
    struct Case
    {
        TKVCurve shape;
        size_t count;
        TKVDPoint first;
    } cases[] = {
        {kvcEllipse, 360, {0.5, 1.0}}, {kvcArc, 180, {0.0, 0.5}},      {kvcCosine, 360, {1.0 / 360, 1.0}},
        {kvcVertical, 2, {0.5, 1.0}},  {kvcHorizontal, 2, {0.0, 0.5}}, {kvcNone, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.shape));
        f.vect->SetObjTextCurveShape(h, c.shape, false, 0);
        const auto& curve = f.vect->Obj(h).Curve;
        ASSERT_EQ(curve.size(), c.count);
        if (c.count) {
            EXPECT_NEAR(curve[0].X, c.first.X, 1e-9);
            EXPECT_NEAR(curve[0].Y, c.first.Y, 1e-9);
        }
    }
    f.vect->SetObjTextCurveShape(h, kvcHorizontal, true, 0);
    EXPECT_EQ(f.vect->Obj(h).Curve[0], (TKVDPoint{1.0, 0.5}));
    // From a polyline, relative to its bounds.
    const int32_t poly = Polyline(f, {{10, 10}, {20, 30}, {30, 20}});
    f.vect->SetObjTextCurveFromPolyline(h, poly);
    EXPECT_EQ(f.vect->Obj(h).Curve, (std::vector<TKVDPoint>{{0, 0}, {0.5, 1}, {1, 0.5}}));
}

TEST(VectGeometry, PictureFromTheSelectionWithAFeatheredEdge)
{
    VectOnForm f;
    double dist = 0;
    EXPECT_EQ(f.vect->CreateImageFromSelectedArea(4, false), -1);
    EXPECT_EQ(f.vect->ObjectsCount(), 0);
    (void)dist;
    f.vect->Select(10, 10, 29, 19);
    const int32_t sharp = f.vect->CreateImageFromSelectedArea(0, false);
    ASSERT_GE(sharp, 0);
    TKVBitmap* picture = f.vect->GetObjBitmap(sharp);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->GetWidth(), 20);
    EXPECT_EQ(picture->GetHeight(), 10);
    TKVBitmap* alpha = f.vect->GetObjBitmapAlpha(sharp);
    EXPECT_EQ(alpha->GetScanLine(0)[0], 255);
    EXPECT_EQ(alpha->GetScanLine(5)[10], 255);

    const int32_t soft = f.vect->CreateImageFromSelectedArea(4, false);
    alpha = f.vect->GetObjBitmapAlpha(soft);
    // The middle row ramps up from both ends.
    const uint8_t* row = alpha->GetScanLine(5);
    EXPECT_EQ(std::vector<int>(row, row + 5), (std::vector<int>{64, 128, 192, 255, 255}));
    EXPECT_EQ(std::vector<int>({row[19], row[18], row[17], row[16]}), (std::vector<int>{64, 128, 192, 255}));
    // A feather wider than 256 still shows the picture.
    const int32_t wide = f.vect->CreateImageFromSelectedArea(1000, false);
    EXPECT_GT(f.vect->GetObjBitmapAlpha(wide)->GetScanLine(5)[10], 0);
    EXPECT_EQ(f.vect->CreatePolygonFromEdge(-50, -50, 10, false), -1);
}

TEST(VectRulers, AngleValues)
{
    VectOnForm f;
    struct Case
    {
        TPoint a, v, b;
        double degrees;
    } cases[] = {
        {{10, 0}, {0, 0}, {0, 10}, 270.0},  {{0, 10}, {0, 0}, {10, 0}, 90.0},
        {{-10, 0}, {0, 0}, {10, 0}, 180.0}, {{10, 0}, {0, 0}, {-10, 0}, 180.0},
        {{0, -7}, {0, 0}, {0, 3}, 180.0},   {{3, 3}, {3, 3}, {3, 3}, 60.0}, // sides of 0 count as 1
    };
    for (const Case& c : cases) {
        const TPoint points[3] = {c.a, c.v, c.b};
        EXPECT_NEAR(TKorvaneVect::AngleValue(points), c.degrees, 1e-9);
    }
    const TPoint two[3] = {{0, 0}, {5, 5}, {KVAngleUnset, KVAngleUnset}};
    EXPECT_EQ(TKorvaneVect::CountAnglePoints(two), 2);
    EXPECT_EQ(TKorvaneVect::AngleValue(two), 0.0);
    const int32_t h = f.Add(kvkANGLE, 0, 0, 10, 10);
    f.vect->SetObjAnglePoints(h, {10, 0}, {0, 0}, {0, 10});
    EXPECT_NEAR(f.vect->GetAngleValue(h), 270.0, 1e-9);
    // Its rectangle is centred on the vertex, as a gauge drawn with the mouse.
    const TKVVObject& gauge = f.vect->Obj(h);
    EXPECT_EQ((TRect{gauge.x1, gauge.y1, gauge.x2, gauge.y2}), (TRect{-10, -10, 10, 10}));

    // Two points: one arm, no text.
    auto drawn = WhiteBitmap(100, 100);
    const TPoint arm[3] = {{10, 50}, {90, 50}, {KVAngleUnset, KVAngleUnset}};
    f.vect->DrawAngle(drawn->Canvas(), arm, 1.0, false, nullptr, 1, clBlack, 2);
    auto expect = WhiteBitmap(100, 100);
    expect->Canvas()->Pen()->SetColor(clBlack);
    expect->Canvas()->MoveTo(10, 50);
    expect->Canvas()->LineTo(90, 50);
    EXPECT_TRUE(SameBitmaps(drawn.get(), expect.get()));
}

TEST(VectRulers, InchRulerTicksAndLabels)
{
    VectOnForm f;
    f.vect->SetDPIX(100);
    f.vect->SetDPIY(100);
    auto b = WhiteBitmap(200, 100);
    TRect bounds{1000, 1000, -1000, -1000};
    f.vect->DrawRuler(b->Canvas(), 20, &bounds, 1.0, kvrtRULER, 1, clBlack, kvuINCHES, 20, 120, 20);
    for (int32_t x = 20; x <= 120; ++x) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(Ink(b.get(), x, 20));
        // Ticks every 10 pixels below the line: 12 at whole inches, 8 at halves, 6 between (the
        // first of their pixels on the line).
        const int32_t want = (x - 20) % 10 ? 0 : ((x - 20) % 100 == 0 ? 12 : ((x - 20) % 50 == 0 ? 8 : 6));
        int32_t len = 0;
        while (len < 20 && Ink(b.get(), x, 21 + len)) {
            ++len;
        }
        EXPECT_EQ(len, want ? want - 1 : 0);
    }
    // Labels 0 and 1 under the whole-inch ticks, nothing under the others.
    auto inkIn = [&](int32_t x0, int32_t x1) {
        for (int32_t y = 36; y < 70; ++y)
            for (int32_t x = x0; x <= x1; ++x)
                if (Ink(b.get(), x, y))
                    return true;
        return false;
    };
    EXPECT_TRUE(inkIn(14, 26));
    EXPECT_TRUE(inkIn(114, 126));
    EXPECT_FALSE(inkIn(40, 100));
    EXPECT_LE(bounds.Left, 5);
    EXPECT_GE(bounds.Bottom, 50);
}

// The work a graduated ruler does, counted: a tick every tenth of a unit along the line and a
// label every unit, and nothing at all where ticks would stand closer than a pixel, however many
// would fit.
TEST(VectRulers, ScaleTicksEveryTenthOfAUnit)
{
    struct Case
    {
        TKVUnits unit;
        int32_t dpi;
        TPoint from, to;
        size_t ticks;
        std::vector<int64_t> labels;
    };
    const Case cases[] = {
        {kvuINCHES, 100, {20, 20}, {120, 20}, 11, {0, 1}},
        {kvuINCHES, 100, {0, 0}, {300, 400}, 51, {0, 1, 2, 3, 4, 5}}, // 5 inches along a slope
        {kvuCENTIMETERS, 254, {5, 0}, {5, 254}, 26, {0, 1, 2}},
        {kvuMILLIMETERS, 254, {10, 10}, {60, 10}, 51, {0, 1, 2, 3, 4, 5}}, // a tick every pixel
        {kvuMICRONS, 254, {0, 10}, {299, 10}, 0, {}},
        {kvuNANOMETERS, 96, {0, 10}, {30000, 10}, 0, {}},
        {kvuPIXELS, 96, {0, 10}, {299, 10}, 0, {}},
    };
    VectOnForm f;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << Kvvect::UnitName(c.unit) << " at " << c.dpi << " dpi to " << c.to.X << "," << c.to.Y);
        f.vect->SetDPIX(c.dpi);
        f.vect->SetDPIY(c.dpi);
        double cx = 0, cy = 0;
        f.vect->CalcCoef(cx, cy, c.unit);
        const auto ticks = Kvvect::ScaleTicks(c.from.X, c.from.Y, c.to.X, c.to.Y, 1.0, cx, cy);
        EXPECT_EQ(ticks.size(), c.ticks);
        std::vector<int64_t> labels;
        for (const Kvvect::TKVScaleTick& tick : ticks)
            if (tick.Labelled)
                labels.push_back(tick.Units);
        EXPECT_EQ(labels, c.labels);
    }
    // A unit without a coefficient (no resolution to measure by) has no scale.
    EXPECT_TRUE(Kvvect::ScaleTicks(0, 0, 100, 0, 1.0, 0, 0).empty());
}

TEST(VectRulers, DimensionTextAndTinyUnits)
{
    VectOnForm f;
    f.vect->SetDPIX(254);
    f.vect->SetDPIY(254);
    auto drawn = WhiteBitmap(300, 60);
    f.vect->DrawRuler(drawn->Canvas(), 20, nullptr, 1.0, kvrtQUOTECENTER, 1, clBlack, kvuCENTIMETERS, 30, 274,
                      30);
    // The same drawn by hand: the line, end ticks 9 pixels to both sides, "2.54 cm" centred.
    auto expect = WhiteBitmap(300, 60);
    TCanvas* c = expect->Canvas();
    c->Pen()->SetColor(clBlack);
    c->MoveTo(20, 30);
    c->LineTo(274, 30);
    for (int32_t x : {20, 274}) {
        c->MoveTo(x, 39);
        c->LineTo(x, 21);
    }
    c->Font()->SetName("Arial");
    c->Font()->SetSize(10);
    c->Font()->SetColor(clBlack);
    c->Brush()->SetStyle(bsClear);
    const int32_t tw = c->TextWidth("2.54 cm");
    c->TextOut(20 + (254 - tw) / 2, 30, "2.54 cm");
    EXPECT_TRUE(SameBitmaps(drawn.get(), expect.get()));

    // Nanometres: ticks would fall far below a pixel apart; only the line is drawn.
    auto fine = WhiteBitmap(300, 60);
    f.vect->DrawRuler(fine->Canvas(), 0, nullptr, 1.0, kvrtRULER, 1, clBlack, kvuNANOMETERS, 10, 299, 10);
    EXPECT_FALSE(Ink(fine.get(), 50, 15));
    // A ruler of no length draws nothing.
    auto none = WhiteBitmap(40, 40);
    f.vect->DrawRuler(none->Canvas(), 10, nullptr, 1.0, kvrtRULER, 1, clBlack, kvuPIXELS, 10, 10, 10);
    EXPECT_TRUE(SameBitmaps(none.get(), WhiteBitmap(40, 40).get()));
}
