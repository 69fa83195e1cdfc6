// The 3 x 3 convolution, its filter file and the point colour adjustments, against hand cases and
// the results that reference/adjust_reference.py works out on a crop of a real picture.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"
#include "tests/support/temp_folder.h"

#include "platform/core/exceptions.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

using namespace proctest;
using kvtest::TempFolder;
using namespace Korvaneproc;

namespace {

Grid Filtered(const Grid& levels, const TGraphFilter& filter)
{
    auto image = GreyRgb(levels);
    TProgressRec progress;
    _ApplyFilter(image.get(), filter, 0, 0, 99, 99, progress);
    return Channel(image.get(), 1);
}

} // namespace

TEST(Convolution, MatchesTheReferenceOnARealPicture)
{
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr) << "golang-1.19-src is not installed";
    const std::pair<TKVFilterPresets, const char*> presets[] = {{fpBlur, "adjust-blur.ppm"},
                                                                {fpEdge, "adjust-edge.ppm"},
                                                                {fpEmboss, "adjust-emboss.ppm"},
                                                                {fpHighPass3, "adjust-highpass3.ppm"},
                                                                {LowPass2, "adjust-lowpass2.ppm"}};
    for (const auto& [preset, reference] : presets) {
        Attached a(Copy(crop.get()));
        a.proc.ApplyFilterPreset(preset);
        EXPECT_EQ(MaxDifference(a.image.get(), Reference(reference).get()), 0) << reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), "ApplyFilter");
    }
    // A rectangle reads its neighbours outside it; the 8-bit form works on one grey plane.
    auto rect = Copy(crop.get());
    TProgressRec progress;
    std::vector<int32_t> percents;
    progress.OnProgress = [&](TObject*, int32_t per) { percents.push_back(per); };
    _ApplyFilter(rect.get(), KVFiltPres[fpEmboss], 5, 7, 30, 20, progress);
    EXPECT_EQ(MaxDifference(rect.get(), Reference("adjust-emboss-rect.ppm").get()), 0);
    EXPECT_EQ(percents.size(), 13u);
    EXPECT_EQ(percents.back(), 104) << "trunc(13 * 100 / 12.5)";
    auto grey = RealCrop(kGreyCrop, kv8g);
    _ApplyFilter8(grey.get(), KVFiltPres[LowPass2], 0, 0, 48, 32);
    EXPECT_EQ(MaxDifference(grey.get(), Reference("adjust-lowpass2-grey.pgm").get()), 0);
}

TEST(Convolution, DividesTowardZeroClampsAndSumsInSixtyFourBits)
{
    const Grid lone = {{0, 0, 0}, {0, 255, 0}, {0, 0, 0}};
    EXPECT_EQ(Filtered(lone, KVFiltPres[LowPass2])[1][1], 63);
    EXPECT_EQ(Filtered(lone, KVFiltPres[fpNone]), lone) << "divisor 0 acts as 1";
    EXPECT_EQ(Filtered({{7, 7}, {7, 7}}, KVFiltPres[fpEdge]), (Grid{{0, 0}, {0, 0}})) << "edges repeat";
    // One pixel of 1 and one of 13 under a kernel that weighs only the centre: -5 div 9 is 0.
    const TGraphFilter minusFive{{0, 0, 0, 0, -5, 0, 0, 0, 0}, 9};
    const TGraphFilter plusOne{{0, 0, 0, 0, 1, 0, 0, 0, 0}, 9};
    EXPECT_EQ(Filtered({{1, 0}}, minusFive), (Grid{{0, 0}}));
    EXPECT_EQ(Filtered({{13, 250}}, plusOne), (Grid{{1, 27}}));
    EXPECT_EQ(Filtered({{1, 100}}, KVFiltPres[fpHighPass2]), (Grid{{0, 255}})) << "clamped both ways";
    // Coefficients whose products leave 32 bits.
    const int32_t big = 1 << 30;
    const TGraphFilter huge{{0, 0, 0, 0, big, 0, 0, 0, 0}, big};
    EXPECT_EQ(Filtered({{0, 128, 255}}, huge), (Grid{{0, 128, 255}}));
    const TGraphFilter nine{{big, big, big, big, big, big, big, big, big},
                            std::numeric_limits<int32_t>::max()};
    EXPECT_EQ(Filtered({{1, 1}}, nine), (Grid{{4, 4}})) << "9 * 2^30 / (2^31 - 1)";
}

TEST(Convolution, FilterFileRoundTripsAndKeepsTheKernelOnABadFile)
{
    TempFolder folder;
    const std::string path = folder.Path() + "kernel.flt";
    const TGraphFilter kernel{{-1, 2, -3, 4, -5, 6, -7, 8, 2147483647}, -16};
    SaveFilterToFile(path, kernel);
    const std::string bytes = TempFolder::Read(path);
    ASSERT_EQ(bytes.size(), 43u);
    EXPECT_EQ(bytes.substr(0, 7), std::string("\x01\x03\x03\xff\xff\xff\xff", 7));
    TGraphFilter loaded;
    LoadFilterFromFile(path, loaded);
    EXPECT_EQ(loaded, kernel);

    for (const std::string& bad : {std::string("\x01\x03\x04", 3) + bytes.substr(3), bytes.substr(0, 42),
                                   std::string("\x01\x03", 2)}) {
        folder.Write("kernel.flt", bad);
        TGraphFilter kept = KVFiltPres[fpEmboss];
        LoadFilterFromFile(path, kept);
        EXPECT_EQ(kept, KVFiltPres[fpEmboss]) << bad.size() << " bytes";
    }
    TGraphFilter untouched;
    EXPECT_THROW(LoadFilterFromFile(folder.Path() + "missing.flt", untouched), EFOpenError);
    EXPECT_THROW(SaveFilterToFile(folder.Path() + "no/such/folder.flt", kernel), EFCreateError);
}

TEST(ColourAdjust, MatchesTheReferenceOnARealPicture)
{
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr) << "golang-1.19-src is not installed";
    struct Case
    {
        const char* reference;
        std::function<void(TKorvaneProc&)> apply;
        int tolerance;
        const char* caption;
    };
    const Case cases[] = {
        {"adjust-contrast10.ppm", [](TKorvaneProc& p) { p.Contrast(10); }, 0, "Contrast 10"},
        {"adjust-contrast-30.ppm", [](TKorvaneProc& p) { p.Contrast(-30); }, 0, "Contrast -30"},
        {"adjust-contrast2000.ppm", [](TKorvaneProc& p) { p.Contrast(2000); }, 0, "Contrast 2000"},
        {"adjust-hsl.ppm", [](TKorvaneProc& p) { p.HSLvar(40, -20, 10); }, 1, "HSLvar 40,-20,10"},
        {"adjust-hsv.ppm", [](TKorvaneProc& p) { p.HSVvar(200, 15, -10); }, 0, "HSVvar 200,15,-10"},
        {"adjust-gamma.ppm", [](TKorvaneProc& p) { p.GammaCorrect(2.2, kvcAll); }, 0, "Negative"},
        {"adjust-grey.ppm", [](TKorvaneProc& p) { p.ConvertToGray(); }, 0, "ConvertToGray"},
    };
    for (const Case& c : cases) {
        Attached a(Copy(crop.get()));
        c.apply(a.proc);
        EXPECT_LE(MaxDifference(a.image.get(), Reference(c.reference).get()), c.tolerance) << c.reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), c.caption);
    }
}

TEST(ColourAdjust, HandCases)
{
    // Contrast 10 around a mean of 100 turns 99 into 98: the negative product is shifted down.
    auto contrast = GreyRgb({{99, 101, 100, 100}});
    _ContrastRGB(contrast.get(), 10, 100, 100, 100, 0, 0, 4, 1);
    EXPECT_EQ(Channel(contrast.get(), 0), (Grid{{98, 102, 100, 100}}));
    _ContrastRGB(contrast.get(), -100, 50, 50, 50, 0, 0, 4, 1);
    EXPECT_EQ(Channel(contrast.get(), 2), (Grid{{50, 50, 50, 50}})) << "k = 0 gives the mean";

    auto gamma = Rgb({{128}}, {{128}}, {{128}});
    _KVGammaCorrect(gamma.get(), 2.0, KVChannel(kvcRed));
    EXPECT_EQ((std::vector{Channel(gamma.get(), 0)[0][0], Channel(gamma.get(), 2)[0][0]}),
              (std::vector{128, 181}));

    auto threshold = GreyRgb({{5, 100, 220}});
    _Threshold(threshold.get(), {10, 10, 10}, {200, 200, 200}, {250, 250, 250}, {0, 0, 0}, 0, 0, 3, 1);
    EXPECT_EQ(Channel(threshold.get(), 1), (Grid{{0, 100, 0}})) << "5 becomes 250, then above 200 becomes 0";
    _Threshold(threshold.get(), {0, 0, 0}, {255, 255, 255}, {9, 9, 9}, {9, 9, 9}, 0, 0, 3, 1);
    EXPECT_EQ(Channel(threshold.get(), 1), (Grid{{0, 100, 0}}));

    auto cast = Rgb({{10, 20}}, {{10, 20}}, {{10, 20}});
    _CastColorRange(cast.get(), {5, 5, 5}, {15, 15, 15}, {1, 2, 3}, 0, 0, 2, 1);
    EXPECT_EQ(Channel(cast.get(), 2), (Grid{{3, 20}}));
    _CastColorRange(cast.get(), {30, 5, 5}, {15, 25, 25}, {0, 0, 0}, 0, 0, 2, 1);
    EXPECT_EQ(Channel(cast.get(), 2), (Grid{{3, 20}})) << "a reversed range matches nothing";

    auto intensity = Rgb({{10}}, {{10}}, {{10}});
    _IntensityRGBall(intensity.get(), std::numeric_limits<int32_t>::max(), -20, 5, 0, 0, 1, 1);
    EXPECT_EQ((std::vector{Channel(intensity.get(), 2)[0][0], Channel(intensity.get(), 1)[0][0],
                           Channel(intensity.get(), 0)[0][0]}),
              (std::vector{255, 0, 15}));
}

TEST(ColourAdjust, OneBitImagesNegateFillAndTakeAlphaByColour)
{
    const Grid bits = {{1, 0, 1, 1, 0, 0, 1, 0, 1, 1}, {0, 0, 1, 1, 1, 0, 0, 0, 1, 0}};
    Attached a(Bits(bits));
    a.proc.Negative();
    a.proc.Negative();
    EXPECT_EQ(Levels(a.image.get()), bits);
    _Negative(a.image.get(), 1, 0, 3, 1);
    EXPECT_EQ(Levels(a.image.get())[0], (std::vector<int>{1, 1, 0, 1, 0, 0, 1, 0, 1, 1}));
    _SetTransparentColors(a.image.get(), 0, 0, 10, 2, {0, 0, 1}, {0, 0, 0}, 77);
    EXPECT_EQ(a.image->GetAlpha(0, 0), 77) << "set bits match a non-zero red";
    EXPECT_EQ(a.image->GetAlpha(2, 0), 255);
    a.proc.Fill({255, 255, 0});
    EXPECT_EQ(Levels(a.image.get()), (Grid(2, std::vector<int>(10, 0)))) << "red 0 clears";
}

TEST(ColourAdjust, MethodsKeepToTheirPixelFormatsAndSelections)
{
    // Methods for 24-bit images only leave an 8-bit image alone and save no undo entry; those for
    // any format save it first and let the worker decline.
    Attached grey(Bytes({{1, 2}, {3, 4}}));
    grey.proc.Contrast(50);
    grey.proc.HSLvar(1, 2, 3);
    grey.proc.ApplyFilterPreset(fpBlur);
    EXPECT_EQ(grey.proc.UndoCount(), 0);
    grey.proc.SetUndoLimit(10);
    grey.proc.Negative();
    grey.proc.GammaCorrect(2, kvcAll);
    grey.proc.Fill({9, 9, 9});
    EXPECT_EQ(grey.proc.UndoCount(), 3);
    EXPECT_EQ(Levels(grey.image.get()), (Grid{{1, 2}, {3, 4}}));

    // A gamma that is no positive number changes nothing but keeps its undo entry.
    Attached colour(GreyRgb({{10, 200}}));
    colour.proc.SetUndoLimit(10);
    for (double gamma : {0.0, -1.0, std::nan(""), double(INFINITY)})
        colour.proc.GammaCorrect(gamma, kvcAll);
    EXPECT_EQ(Channel(colour.image.get(), 0), (Grid{{10, 200}}));
    EXPECT_EQ(colour.proc.UndoCount(), 4);

    // With a selection only its pixels change; the contrast still pivots on the whole image, and
    // the alpha of the colours made transparent reaches the selected pixels.
    ViewAndProc selected(GreyRgb({{0, 100, 200}, {100, 100, 100}}));
    selected.view.Select([](int x, int y) { return y == 0 && x > 0; });
    selected.proc.Contrast(10);
    EXPECT_EQ(Channel(selected.view.Image(), 0), (Grid{{0, 100, 255}, {100, 100, 100}}));
    selected.proc.SetTransparentColors({0, 0, 0}, {150, 150, 150}, 9);
    TKVBitmap* alpha = selected.view.Image()->GetAlphaChannel();
    EXPECT_EQ((std::vector<int>{alpha->GetPixels_kv8(0, 0), alpha->GetPixels_kv8(1, 0),
                                alpha->GetPixels_kv8(2, 0), alpha->GetPixels_kv8(1, 1)}),
              (std::vector<int>{255, 9, 255, 255}));
}
