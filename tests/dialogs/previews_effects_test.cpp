// The processing preview's pages without the form: which pages a set shows, the defaults a page
// takes from its source, how the edits read, the rulers' grips, the frequency thumbnail's size,
// where a preview places the light and the lens, and the gamma graph.
#include "imaging/dialogs/previews_effects.h"

#include "imaging/core/kvbitmap.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Previews;

TEST(PreviewsPages, VisibilityFollowsTheEffectsSet)
{
    struct Case
    {
        TPreviewEffects Effects;
        std::vector<TPreviewPage> Visible;
    };
    const std::vector<TPreviewPage> all(kPageOrder.begin(), kPageOrder.end());
    const Case cases[] = {
        {PreviewEffect(peAll), all},
        {PreviewEffect(peAll) | PreviewEffect(peGamma), all},
        {PreviewEffect(peGamma), {ppGamma}},
        {PreviewEffect(peFFT) | PreviewEffect(peHSL), {ppHSL, ppFFT}},
        {PreviewEffect(peHSV) | PreviewEffect(peSharpen) | PreviewEffect(peContrast),
         {ppContrast, ppHSV, ppSharpen}},
        {0, {}},
    };
    for (const Case& c : cases) {
        std::vector<TPreviewPage> shown;
        for (TPreviewPage page : kPageOrder)
            if (PageVisible(c.Effects, page))
                shown.push_back(page);
        EXPECT_EQ(shown, c.Visible) << "effects " << c.Effects;
        EXPECT_EQ(FirstVisiblePage(c.Effects), c.Visible.empty() ? ppNone : c.Visible.front());
    }
    // Each page's tag is its number in the dialog's table; every tag is used once.
    std::vector<int32_t> tags;
    for (TPreviewPage page : kPageOrder)
        tags.push_back(page);
    EXPECT_EQ(tags, (std::vector<int32_t>{1, 5, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
}

TEST(PreviewsPages, DefaultsComeFromTheSource)
{
    TKVBitmap source;
    source.Allocate(300, 120, kv24RGB);
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 300; ++x)
            source.SetPixels_kv24RGB(x, y, TRGB{0x60, 0x40, 0x20});
    TPreviewsValues values;
    values.Contrast = 40;
    values.LightX = values.LensX = 7;
    values.Refraction = 3;
    values.Filter.Values[0] = 9;
    values.GammaPosition = 33;
    values.HslHue = 12; // another page: untouched by the resets below
    for (TPreviewPage page : {ppContrast, ppBumpMap, ppLens, ppUserFilter, ppGamma})
        values.Reset(page, &source);
    EXPECT_EQ(values.Contrast, 0);
    EXPECT_EQ(values.MeanR, 0x20);
    EXPECT_EQ(values.MeanG, 0x40);
    EXPECT_EQ(values.MeanB, 0x60);
    EXPECT_EQ(values.LightX, 150);
    EXPECT_EQ(values.LightY, 60);
    EXPECT_EQ(values.LightWidth, 150);
    EXPECT_EQ(values.LightHeight, 150);
    EXPECT_EQ(values.LightColor, (TRGB{255, 255, 255}));
    EXPECT_EQ(values.LensX, 150);
    EXPECT_EQ(values.LensHeight, 150);
    EXPECT_DOUBLE_EQ(values.Refraction, 1.7);
    EXPECT_EQ(values.Filter, TPreviewsValues::IdentityFilter());
    EXPECT_EQ(values.Filter.Values[4], 1);
    EXPECT_EQ(values.Filter.Divisor, 0);
    EXPECT_EQ(values.GammaPosition, 10);
    EXPECT_EQ(values.HslHue, 12);
    const TPreviewsValues fresh;
    EXPECT_EQ(fresh.Amplitude, 10);
    EXPECT_EQ(fresh.WaveLength, 10);
    EXPECT_EQ(fresh.MorphWindow, 1);
    EXPECT_EQ(fresh.SharpenAmount, 1);
    EXPECT_EQ(fresh.SharpenWindow, 4);
    EXPECT_EQ(fresh.EqualizeChannels, EqualizeChannel(ecGray));
    EXPECT_TRUE(fresh.FFTGrayScale);
}

TEST(PreviewsPages, EditsReadTheirTexts)
{
    struct Refraction
    {
        const char* Text;
        double Value;
    };
    for (const Refraction& c : {Refraction{"7", 1.7}, Refraction{"0", 1.0}, Refraction{"", 1.0},
                                Refraction{"lens", 1.0}, Refraction{" 15 ", 2.5}})
        EXPECT_DOUBLE_EQ(RefractionFromEdit(c.Text), c.Value) << '"' << c.Text << '"';
    EXPECT_EQ(RefractionText(1.7), "7");
    EXPECT_EQ(RefractionText(1.0), "0");

    struct Angle
    {
        const char* Text;
        int32_t Position;
    };
    for (const Angle& c : {Angle{"12.5", 1250}, Angle{"-3,25", -325}, Angle{"abc", 0}, Angle{"", 0},
                           Angle{"180", 18000}, Angle{"0.01", 1}})
        EXPECT_EQ(AngleToTrackBar(AngleFromEdit(c.Text)), c.Position) << '"' << c.Text << '"';
    EXPECT_EQ(AngleText(12.5), "12.5");
    EXPECT_EQ(GammaText(10), "1");
    EXPECT_EQ(GammaText(25), "2.5");

    EXPECT_EQ(EditInteger("-42", 0), -42);
    EXPECT_EQ(EditInteger("4x", 1), 1);
    EXPECT_EQ(EditInteger("", 2), 2);
}

TEST(PreviewsPages, RulerGripsPushEachOther)
{
    struct Case
    {
        int32_t Lo, Hi, Grip, Value;
        int32_t WantLo, WantHi;
    };
    const Case cases[] = {
        {10, 200, 0, 250, 250, 250}, // the low grip dragged past the high one takes it along
        {10, 200, 1, 5, 5, 5},       // and the other way round
        {10, 200, 0, 100, 100, 200}, {10, 200, 1, 150, 10, 150},
        {10, 200, 0, -20, 0, 200},   {10, 200, 1, 999, 10, 255},
    };
    for (const Case& c : cases) {
        int32_t lo = c.Lo, hi = c.Hi;
        MoveRangeGrip(lo, hi, c.Grip, c.Value);
        EXPECT_EQ(lo, c.WantLo) << c.Grip << " to " << c.Value;
        EXPECT_EQ(hi, c.WantHi) << c.Grip << " to " << c.Value;
    }

    TRGB lo{0, 0, 0}, hi{255, 255, 255};
    StoreChannelRange(lo, hi, EqualizeChannel(ecRed) | EqualizeChannel(ecBlue), 20, 30);
    EXPECT_EQ(lo, (TRGB{20, 0, 20}));
    EXPECT_EQ(hi, (TRGB{30, 255, 30}));
    StoreChannelRange(lo, hi, EqualizeChannel(ecGray), 5, 6);
    EXPECT_EQ(lo, (TRGB{5, 5, 5}));
    EXPECT_EQ(hi, (TRGB{6, 6, 6}));
}

TEST(PreviewsPages, FrequencyThumbnailKeepsBothSides)
{
    struct Case
    {
        int32_t W, H;
        bool Built;
        int32_t TW, TH;
    };
    const Case cases[] = {
        {600, 400, true, 128, 85}, {400, 600, true, 85, 128}, {128, 128, true, 128, 128},
        {1, 65536, true, 1, 128},  {65536, 1, true, 128, 1},  {3, 1000, true, 1, 128},
        {0, 5, false, 0, 0},       {5, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t tw = -1, th = -1;
        EXPECT_EQ(FTThumbnailSize(c.W, c.H, tw, th), c.Built) << c.W << " x " << c.H;
        EXPECT_EQ(tw, c.TW) << c.W << " x " << c.H;
        EXPECT_EQ(th, c.TH) << c.W << " x " << c.H;
    }
    int32_t x1 = 10, y1 = 20, x2 = 30, y2 = 127;
    ScaleZone(x1, y1, x2, y2, 128, 1024);
    EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2}), (std::vector<int32_t>{80, 160, 240, 1016}));
}

TEST(PreviewsPages, PreviewPlacesEffectsInTheVisiblePart)
{
    const TPreviewPlacement source;
    EXPECT_EQ(source.X(50), 50);
    EXPECT_EQ(source.Size(40), 40);
    TPreviewPlacement zoomed;
    zoomed.OnSource = false;
    zoomed.Zoom = 200;
    zoomed.ViewX = 30;
    zoomed.ViewY = 7;
    EXPECT_EQ(zoomed.X(50), 70);
    EXPECT_EQ(zoomed.Y(50), 93);
    EXPECT_EQ(zoomed.Size(40), 80);
    zoomed.Zoom = 33;
    EXPECT_EQ(zoomed.Size(10), 3);
}

TEST(PreviewsPages, GammaGraphDrawsTheCurve)
{
    TBitmap graph;
    DrawGammaCurve(&graph, 64, 32, 1.0);
    ASSERT_EQ(graph.Width(), 64);
    ASSERT_EQ(graph.Height(), 32);
    TCanvas* canvas = graph.Canvas();
    EXPECT_EQ(canvas->Pixels(60, 28), TColor(0xC0C0C0));
    EXPECT_EQ(canvas->Pixels(5, 5), TColor(0xC0C0C0));
    // Gamma 1 is the diagonal: i = 128 lands at x 32, v = 128 at y 15.
    EXPECT_EQ(canvas->Pixels(32, 15), clBlack);
    // Gamma 2 bends upwards: the middle of the width is well above the diagonal.
    DrawGammaCurve(&graph, 64, 32, 2.0);
    EXPECT_EQ(canvas->Pixels(32, 15), TColor(0xC0C0C0));
    bool curveAbove = false;
    for (int32_t y = 0; y < 12; ++y)
        curveAbove = curveAbove || canvas->Pixels(32, y) == clBlack;
    EXPECT_TRUE(curveAbove);
}
