// The histogram box, the HSV colour box and the ruler box: bar heights, colours of the square and
// the hue bar, ticks, labels, grip limits and the drag that scrolls past an end.
#include "imaging/view/histogram_box.h"
#include "imaging/view/ruler_box.h"

#include "imaging/core/colour_spaces.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/rounding.h"
#include "platform/forms/simulate.h"
#include "tests/view/view_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace viewtest;

namespace {

// The height of the bar in a column: the run of non-background pixels up from the bottom row.
int32_t BarHeight(TBitmap* chart, int32_t x, TRGB background)
{
    int32_t h = 0;
    for (int32_t y = chart->Height() - 1; y >= 0 && !(FrontPixel(chart, x, y) == background); --y)
        ++h;
    return h;
}

// A histogram box of 256 x 100 pixels without labels or colour bar: bars only.
struct BareChart
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    THistogramBox* box = new THistogramBox(form.get());
    BareChart()
    {
        box->SetParent(form.get());
        box->SetBounds(0, 0, 256, 100);
        box->SetLabels(0);
        box->SetCompBar(false);
    }
};

} // namespace

TEST(HistogramBox, BarsAreCountsOverTheMaximumAndRareLevelsShow)
{
    BareChart bare;
    THistogramBox* box = bare.box;
    EXPECT_EQ(BarHeight(box->Chart(), 10, ColourOf(clWhite)), 0);

    // Grey level 10 a million times... scaled down: 40000 pixels of 10, 15000 of 200, one of 77.
    TKVBitmap image;
    image.Allocate(200, 276, kv24RGB);
    image.Fill(0x0A0A0A);
    image.FillRect(0, 200, 199, 274, 0xC8C8C8);
    image.FillRect(0, 275, 0, 275, 0x4D4D4D);
    image.FillRect(1, 275, 199, 275, 0x0A0A0A);
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKVBitmap(&image);
    box->SetAKVP(&proc);
    THistogram hist{};
    proc.GetHistogram(&hist);
    const int32_t max = hist[10].gray;
    for (int32_t level : {10, 200, 77, 78}) {
        const int32_t count = hist[size_t(level)].gray;
        int32_t expect = Round(static_cast<long double>(count) / max * 100);
        if (count != 0)
            expect = std::max(expect, 1);
        EXPECT_EQ(BarHeight(box->Chart(), level, ColourOf(clWhite)), expect) << level;
    }
    // Red and blue only: the maximum is theirs.
    box->SetHistogramKind((1 << hkRed) | (1 << hkBlue));
    EXPECT_EQ(BarHeight(box->Chart(), 10, ColourOf(clWhite)), 100);
    box->SetAKVP(nullptr);
}

// A picture in any format charts the colours it shows: the same bars as its 24-bit copy.
TEST(HistogramBox, EveryFormatChartsTheColoursItShows)
{
    BareChart bare;
    THistogramBox* box = bare.box;
    box->SetHistogramKind((1 << hkRed) | (1 << hkGreen) | (1 << hkBlue) | (1 << hkGray));
    TKorvaneProc proc(nullptr);
    box->SetAKVP(&proc);
    const auto chartOf = [&](TKVBitmap* image) {
        proc.SetAttachedKVBitmap(image);
        box->Update();
        std::vector<TRGB> pixels;
        for (int32_t y = 0; y < box->Chart()->Height(); ++y)
            for (int32_t x = 0; x < box->Chart()->Width(); ++x)
                pixels.push_back(FrontPixel(box->Chart(), x, y));
        return pixels;
    };
    TKVBitmap source;
    source.Allocate(64, 48, kv24RGB);
    source.Fill(0x202020);
    source.FillRect(0, 0, 30, 20, 0xC8C8C8);
    source.FillRect(40, 30, 63, 47, 0x4080F0);
    for (TKVPixelFormat format : {kv8g, kv8p, kv1g, kv16g}) {
        TKVBitmap picture, shown;
        picture.Assign(&source);
        picture.ConvertToPixelFormat(format);
        shown.Assign(&picture);
        shown.ConvertToPixelFormat(kv24RGB);
        const std::vector<TRGB> charted = chartOf(&picture);
        int32_t tallest = 0;
        for (int32_t x = 0; x < box->Chart()->Width(); ++x)
            tallest = std::max(tallest, BarHeight(box->Chart(), x, ColourOf(clWhite)));
        EXPECT_EQ(tallest, 100) << int(format);
        const std::vector<TRGB> expected = chartOf(&shown);
        EXPECT_TRUE(charted == expected)
            << "format " << int(format) << " charts otherwise than its 24-bit copy";
    }
    box->SetAKVP(nullptr);
}

TEST(HSVBox, SquareAndHueBarColoursClampsAndClicks)
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* box = new THSVBox(form.get());
    box->SetParent(form.get());
    box->SetBounds(0, 0, 105, 105);
    box->SetHue(200);
    TBitmap* p = box->Picture();
    const int32_t S = 105 - 5 - 20, H = 105;
    const float sx = 100.0f / float(S), sy = 100.0f / float(H);
    for (TPoint q : {TPoint{0, 0}, TPoint{13, 50}, TPoint{79, 104}, TPoint{41, 3}}) {
        TRGB c{};
        Korvaneproc::HSV2RGB(c, 200, Trunc(static_cast<long double>(q.X) * sx),
                             Trunc(static_cast<long double>(q.Y) * sy));
        EXPECT_TRUE(FrontPixel(p, q.X, H - 1 - q.Y) == c) << q.X << "," << q.Y;
    }
    box->SetSat(100);
    EXPECT_EQ(box->Sat(), 99);
    box->SetHue(-5);
    EXPECT_EQ(box->Hue(), 0);

    int changes = 0;
    box->OnChange = [&](TObject*) { ++changes; };
    Simulate::Click(box, 95, 0);
    EXPECT_EQ(box->Hue(), 359);
    Simulate::Click(box, 95, 104);
    EXPECT_EQ(box->Hue(), 0);
    Simulate::Click(box, 82, 50);
    EXPECT_EQ(box->Hue(), 0);
    EXPECT_EQ(changes, 2);

    // A system colour is resolved before hue, saturation and value are taken.
    box->SetColor(clBtnFace);
    const TRGB face = ColourOf(clBtnFace);
    int32_t h, s, v;
    Korvaneproc::RGB2HSV(face, h, s, v);
    EXPECT_EQ(box->Sat(), s);
    EXPECT_EQ(box->Val(), v);
}

TEST(RulerBox, TicksLabelsAndTheirGuards)
{
    const std::vector<TKVRulerTick> ticks = KVRulerTicks(300, 37, 1.0, 10);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks[0].Value, 30);
    EXPECT_EQ(ticks[0].Pixel, -7);
    EXPECT_EQ(ticks[1].Pixel, 3);
    // Tiny steps draw at most one tick per pixel; bad scales draw none.
    EXPECT_LE(KVRulerTicks(300, 0, 1.0, 1e-9).size(), 301u);
    EXPECT_TRUE(KVRulerTicks(300, 0, 0.0, 10).empty());
    EXPECT_TRUE(KVRulerTicks(300, 0, 1.0, std::nan("")).empty());
    EXPECT_EQ(KVRulerLabel(255, true), "FF");
    EXPECT_EQ(KVRulerLabel(40, false), "40");
    EXPECT_EQ(KVRulerLabel(0.5, false), "0.5");

    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* ruler = new TRulerBox(form.get());
    ruler->SetParent(form.get());
    ruler->SetBounds(0, 0, 256, 40);
    for (double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        ruler->SetDPU(bad);
        ruler->SetFrequency(bad);
        ruler->SetLabelFreq(bad);
    }
    EXPECT_EQ(ruler->DotPerUnit(), 1.0);
    EXPECT_EQ(ruler->Frequency(), 10.0);
    EXPECT_EQ(ruler->LabelFreq(), 40.0);
    ruler->SetViewMin(0);
    ruler->SetViewMax(255);
    ruler->SetFitInView(true);
    EXPECT_DOUBLE_EQ(ruler->DotPerUnit(), 256.0 / 255.0);
    ruler->SetViewMax(0);
    ruler->SetFitInView(false);
}

TEST(RulerBox, GripLimitsIndexesAndDragPastTheEnd)
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* ruler = new TRulerBox(form.get());
    ruler->SetParent(form.get());
    ruler->SetBounds(0, 0, 300, 40);
    ruler->SetGripsCount(3);
    ruler->SetGripsPos(5, 1.0);
    ruler->SetGripsPos(-1, 1.0);
    EXPECT_EQ(ruler->GetGripsPos(5), 0);
    EXPECT_EQ(ruler->GetGripsPos(-1), 0);
    ruler->SetGripsMin(1, 10);
    ruler->SetGripsMax(1, 20);
    ruler->SetGripsPos(1, 25);
    EXPECT_EQ(ruler->GetGripsPos(1), 20);
    ruler->SetGripsPos(2, 25);
    EXPECT_EQ(ruler->GetGripsPos(2), 25);
    ruler->SetGripsCount(-4);
    EXPECT_EQ(ruler->GripsCount(), 0);

    ruler->SetGripsCount(1);
    ruler->SetGripsPos(0, 100);
    int clicks = 0;
    ruler->OnRulerGripClick = [&](TObject*, int32_t) { ++clicks; };
    const int32_t y = ruler->GetGripRect(0).Bottom - 2;
    Simulate::Click(ruler, 100, y);
    EXPECT_EQ(clicks, 1);
    // Dragging the grip beyond the right end scrolls the ruler on the timer's ticks.
    Simulate::MouseDown(ruler, mbLeft, 100, y);
    Simulate::MouseMove(ruler, 200, y, ssLeft);
    EXPECT_DOUBLE_EQ(ruler->GetGripsPos(0), 200);
    Simulate::MouseMove(ruler, 320, y, ssLeft);
    EXPECT_TRUE(ruler->DragScrolling());
    ruler->DragScrollTick();
    ruler->DragScrollTick();
    EXPECT_DOUBLE_EQ(ruler->ViewPos(), 2 * 21.0);
    EXPECT_DOUBLE_EQ(ruler->GetGripsPos(0), 299 + 2 * 21.0);
    Simulate::MouseUp(ruler, mbLeft, 320, y);
    EXPECT_FALSE(ruler->DragScrolling());
}

namespace {

// The columns of the label of 240 on a ruler of 300 pixels per 256 units, as the processing dialog
// spreads a histogram's levels, in a font of the given height: the last run of columns before the
// next label's (at 330) that hold ink in the rows under the long ticks, where only text is drawn.
struct InkRun
{
    int32_t first = -1, last = -1;
};

InkRun Label240Ink(int32_t width, int32_t fontHeight)
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* ruler = new TRulerBox(form.get());
    ruler->SetParent(form.get());
    ruler->Font()->SetName("Arial");
    ruler->Font()->SetHeight(-fontHeight);
    ruler->SetBounds(0, 0, width, 60);
    ruler->SetDPU(300 / 256.0);
    ruler->SetGripsCount(0);
    TBitmap* picture = ruler->Picture();
    const TRGB face = ColourOf(clBtnFace);
    InkRun run;
    for (int32_t x = 0; x < std::min(width, 325); ++x) {
        bool ink = false;
        for (int32_t y = ruler->GetRulerHeight() / 2 + 1; y < ruler->GetRulerHeight(); ++y)
            ink = ink || !(FrontPixel(picture, x, y) == face);
        if (!ink)
            continue;
        if (run.last < 0 || x - run.last > 4)
            run.first = x;
        run.last = x;
    }
    return run;
}

} // namespace

// The label of the last tick, whole on a ruler that has room past it, is still whole on one that
// ends close after the tick: it moves back to end with the ruler.
TEST(RulerBox, WritesTheLastLabelWholeAtAnyFont)
{
    for (int32_t fontHeight : {11, 17}) {
        const InkRun free = Label240Ink(400, fontHeight);
        // 240 at pixel 281 of 400: the free label is past the tick.
        ASSERT_GT(free.first, 281) << fontHeight;
        const InkRun closing = Label240Ink(300, fontHeight);
        EXPECT_EQ(closing.last - closing.first, free.last - free.first) << fontHeight;
        EXPECT_LT(closing.last, 300) << fontHeight;
    }
}
