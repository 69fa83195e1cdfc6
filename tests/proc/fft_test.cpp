// The frequency-domain image against numpy's orthonormal transform (reference/fft_reference.py)
// and hand cases: layout, the zero frequency, filters, zones, copies and what cannot be built.
#include "imaging/proc/kvfft.h"
#include "imaging/proc/proc_component.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace proctest;
using namespace Korvaneproc;

namespace {

std::unique_ptr<TKVBitmap> Picture100x60()
{
    auto whole = RealCrop({"video-001.png", 20, 20, 100, 60});
    return whole;
}

} // namespace

TEST(FrequencyImage, SpectrumAndRoundTripMatchNumpy)
{
    auto picture = Picture100x60();
    ASSERT_NE(picture, nullptr) << "golang-1.19-src is not installed";
    for (auto [type, name] : {std::pair{kvitRGB, "rgb"}, std::pair{kvitGrayscale, "grey"}}) {
        Attached a(Copy(picture.get()));
        std::vector<int32_t> percents;
        a.proc.OnProgress = [&](TObject*, int32_t per) { percents.push_back(per); };
        std::unique_ptr<TKVFtImage> ft = a.proc.FTCreateImage(type, -1, -1);
        ASSERT_NE(ft, nullptr);
        EXPECT_EQ((std::vector{ft->FFTSize(), ft->XOffset(), ft->YOffset()}), (std::vector{128, 14, 34}));
        const int planes = type == kvitRGB ? 3 : 1;
        ASSERT_EQ(percents.size(), size_t(128 * planes));
        EXPECT_EQ(percents[127], 127 * 100 / (128 * planes));
        EXPECT_EQ(percents.back(), (planes * 128 - 1) * 100 / (128 * planes));

        a.proc.FTDisplayFrom(ft.get());
        EXPECT_EQ(a.image->GetWidth(), 128);
        EXPECT_LE(MaxDifference(a.image.get(), Reference(std::string("fft-spectrum-") + name + ".ppm").get()),
                  1)
            << name;
        a.proc.FTConvertFrom(ft.get());
        EXPECT_LE(MaxDifference(a.image.get(), Reference(std::string("fft-rebuilt-") + name + ".ppm").get()),
                  1)
            << name;
        EXPECT_EQ(a.proc.UndoCount(), 0);
    }
}

TEST(FrequencyImage, ZeroFrequencyFiltersZonesAndCopies)
{
    // A uniform 8 x 8 picture normalises to 1: only the centre frequency is non-zero, and it is
    // the sum over the side, 64 / 8.
    Attached uniform(Blank(8, 8, kv24RGB, 200));
    auto ft = uniform.proc.FTCreateImage(kvitGrayscale, -1, -1);
    ASSERT_NE(ft, nullptr);
    EXPECT_NEAR(*ft->GetComplexImage(4, 4).GrayReal, 8.0f, 1e-5);
    EXPECT_NEAR(*ft->GetComplexImage(1, 2).GrayReal, 0.0f, 1e-5);
    EXPECT_EQ(ft->GetComplexImage(4, 4).RedReal, nullptr);
    EXPECT_EQ(ft->GetComplexImage(8, 0).GrayReal, nullptr) << "outside the square";
    EXPECT_EQ(ft->GetComplexImage(-1, 3).GrayImag, nullptr);

    // Two pixels need the true cosine of a two-point transform: [[-0.25, 0.75], [-0.25, 0.75]].
    Attached pair(Rgb({{0, 0}}, {{0, 0}}, {{10, 20}}));
    auto two = pair.proc.FTCreateImage(kvitRGB, -1, -1);
    ASSERT_NE(two, nullptr);
    const float expected[2][2] = {{-0.25f, 0.75f}, {-0.25f, 0.75f}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            EXPECT_NEAR(*two->GetComplexImage(x, y).RedReal, expected[y][x], 1e-6) << x << "," << y;
            EXPECT_NEAR(*two->GetComplexImage(x, y).RedImag, 0.0f, 1e-6);
        }

    auto picture = Picture100x60();
    ASSERT_NE(picture, nullptr);
    Attached a(Copy(picture.get()));
    auto full = a.proc.FTCreateImage(kvitGrayscale, -1, -1);
    TKVFtImage high, low, zone;
    high.Assign(full.get());
    low.Assign(full.get());
    zone.Assign(full.get());
    high.HiPass(0);
    low.LoPass(0);
    int changedHigh = 0, keptLow = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            changedHigh += *high.GetComplexImage(x, y).GrayReal != *full->GetComplexImage(x, y).GrayReal;
            keptLow += *low.GetComplexImage(x, y).GrayReal != 0 || *low.GetComplexImage(x, y).GrayImag != 0;
        }
    EXPECT_EQ(changedHigh, 1) << "only the centre frequency";
    EXPECT_EQ(keptLow, 1);
    EXPECT_EQ(*high.GetComplexImage(64, 64).GrayReal, 0.0f);
    zone.ClearZone(120, 120, 500, 500);
    zone.ClearZone(10, 10, 5, 5);
    EXPECT_EQ(*zone.GetComplexImage(127, 127).GrayReal, 0.0f) << "cut to the square";
    EXPECT_EQ(*zone.GetComplexImage(10, 10).GrayReal, *full->GetComplexImage(10, 10).GrayReal);
}

TEST(FrequencyImage, StretchesWhenAskedAndRefusesWhatCannotBeBuilt)
{
    Attached wide(Blank(200, 100, kv24RGB, 50));
    auto ft = wide.proc.FTCreateImage(kvitRGB, 64, -1);
    ASSERT_NE(ft, nullptr);
    EXPECT_EQ((std::vector{ft->ImageWidth(), ft->ImageHeight(), ft->FFTSize()}), (std::vector{64, 32, 64}));
    EXPECT_EQ(wide.proc.FTCreateImage(kvitRGB, 0, -1), nullptr);
    EXPECT_EQ(wide.proc.FTCreateImage(kvitUnknown, -1, -1), nullptr);
    Attached grey(Blank(16, 16, kv8g, 50));
    EXPECT_EQ(grey.proc.FTCreateImage(kvitGrayscale, -1, -1), nullptr);
    Attached tooLong(Blank(8193, 1, kv24RGB, 50));
    EXPECT_EQ(tooLong.proc.FTCreateImage(kvitGrayscale, -1, -1), nullptr);
    Attached one(Blank(1, 1, kv24RGB, 77));
    auto single = one.proc.FTCreateImage(kvitGrayscale, -1, -1);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->FFTSize(), 1);
    one.proc.FTConvertFrom(single.get());
    EXPECT_EQ(Channel(one.image.get(), 0), (Grid{{0}})) << "max = min stretches to 0";
}
