// Histograms, colour counts, equalisation, thresholds and channel extraction on small images.
// Equalisation and entropy values come from reference/histogram_reference.py.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using namespace proctest;
using namespace Korvaneproc;

namespace {

// A kv24RGB image from rows of {blue, green, red}.
using Pixels = std::vector<std::vector<TRGB>>;

std::unique_ptr<TKVBitmap> FromPixels(const Pixels& p)
{
    auto bitmap = Blank(static_cast<int>(p[0].size()), static_cast<int>(p.size()), kv24RGB);
    for (size_t y = 0; y < p.size(); ++y)
        std::memcpy(bitmap->GetScanLine(static_cast<int>(y)), p[y].data(), p[y].size() * 3);
    return bitmap;
}

Pixels ToPixels(TKVBitmap* bitmap)
{
    Pixels p(static_cast<size_t>(bitmap->GetHeight()),
             std::vector<TRGB>(static_cast<size_t>(bitmap->GetWidth())));
    for (size_t y = 0; y < p.size(); ++y)
        std::memcpy(p[y].data(), bitmap->GetScanLine(static_cast<int>(y)), p[y].size() * 3);
    return p;
}

Grid BlackWhite(TKVBitmap* source, int32_t threshold)
{
    TKVBitmap dest;
    dest.Allocate(source->GetWidth(), source->GetHeight(), kv1g);
    TProgressRec progress;
    _ConvertToBWThresholdEx(source, &dest, threshold, progress);
    return Levels(&dest);
}

} // namespace

TEST(Histogram, CountsChannelsAndGreyInTheRectangle)
{
    auto image =
        FromPixels({{{10, 20, 30}, {10, 20, 30}, {0, 0, 255}}, {{255, 255, 255}, {1, 2, 3}, {0, 0, 0}}});
    THistogram hist;
    hist[7].r = 99; // cleared first
    _GetHistogram(image.get(), &hist, 1, 0, 3, 2);
    // Columns 1 and 2: (10,20,30), (0,0,255), (1,2,3), (0,0,0) as blue, green, red.
    EXPECT_EQ(hist[7].r, 0);
    EXPECT_EQ(hist[30].r, 1);
    EXPECT_EQ(hist[255].r, 1);
    EXPECT_EQ(hist[20].g, 1);
    EXPECT_EQ(hist[0].g, 2);
    EXPECT_EQ(hist[0].b, 2);
    // Greys: (30*21 + 20*71 + 10*8) div 100 = 21; red 255 alone gives 53.
    EXPECT_EQ(hist[21].gray, 1);
    EXPECT_EQ(hist[53].gray, 1);
    EXPECT_EQ(hist[2].gray, 1);
    EXPECT_EQ(hist[0].gray, 1);

    // Other formats count as the colours they show: a grey level in every channel, a palette
    // entry by its colour.
    auto grey = Bytes({{1, 200}});
    hist[5].b = 3;
    _GetHistogram(grey.get(), &hist, 0, 0, 2, 1);
    EXPECT_EQ(hist[5].b, 0);
    for (int level : {1, 200}) {
        const THistogramItem& i = hist[size_t(level)];
        EXPECT_TRUE(i.r == 1 && i.g == 1 && i.b == 1 && i.gray == 1) << level;
    }
    auto palette = Bytes({{1}}, kv8p, {{0, 0, 0}, {0, 0, 255}});
    _GetHistogram(palette.get(), &hist, 0, 0, 1, 1);
    EXPECT_EQ(hist[255].r, 1);
    EXPECT_EQ(hist[0].b, 1);
    EXPECT_EQ(hist[53].gray, 1);
}

TEST(Histogram, CountsDistinctAndDominantColours)
{
    auto image = FromPixels({{{1, 2, 3}, {1, 2, 3}, {9, 9, 9}}, {{1, 2, 3}, {4, 5, 6}, {9, 9, 9}}});
    EXPECT_EQ(_GetImageNumColors(image.get(), 0, 0, 3, 2), 3);
    EXPECT_EQ(_GetImageNumColors(image.get(), 2, 0, 3, 2), 1);
    TRGB colour;
    EXPECT_EQ(_GetDominantColor(image.get(), colour), 50);
    EXPECT_EQ(colour, (TRGB{1, 2, 3}));

    // Equal counts: the colour whose key (R shl 16 or G shl 8 or B) has the smaller low 13 bits.
    auto tie = FromPixels({{{0x10, 0, 0x01}, {0x02, 0, 0x01}}});
    EXPECT_EQ(_GetDominantColor(tie.get(), colour), 50);
    EXPECT_EQ(colour, (TRGB{0x02, 0, 0x01}));

    auto bits = Bits({{0, 0, 1}, {0, 1, 1}});
    EXPECT_EQ(_GetDominantColor(bits.get(), colour), 50);
    EXPECT_EQ(colour, (TRGB{255, 255, 255})) << "set bits win a tie";
    auto grey = Bytes({{1}});
    EXPECT_EQ(_GetDominantColor(grey.get(), colour), -1);
    TKVBitmap empty;
    EXPECT_EQ(_GetDominantColor(&empty, colour), -1);
}

TEST(Histogram, DensityProfilesNormaliseToTheScales)
{
    auto image = GreyRgb({{0, 100, 100}, {0, 0, 50}});
    std::vector<int32_t> rows(2), cols(3);
    _CalcDensityHistogram(image.get(), 0, 0, 3, 2, {}, nullptr, rows, cols, 10, 100);
    // Row sums 200 and 50, column sums 0, 100, 150.
    EXPECT_EQ(rows, (std::vector<int32_t>{10, 2}));
    EXPECT_EQ(cols, (std::vector<int32_t>{0, 66, 100}));

    auto black = GreyRgb({{0, 0}, {0, 0}});
    std::vector<int32_t> r2 = {5, 5}, c2 = {5, 5};
    _CalcDensityHistogram(black.get(), 0, 0, 2, 2, {}, nullptr, r2, c2, 10, 10);
    EXPECT_EQ(r2, (std::vector<int32_t>{0, 0}));

    // Arrays shorter than the rectangle are left untouched.
    std::vector<int32_t> shortRows = {7}, enoughCols(3, 7);
    _CalcDensityHistogram(image.get(), 0, 0, 3, 2, {}, nullptr, shortRows, enoughCols, 10, 10);
    EXPECT_EQ(shortRows, (std::vector<int32_t>{7}));
    EXPECT_EQ(enoughCols, (std::vector<int32_t>(3, 7)));
}

TEST(Histogram, TellsGreyImages)
{
    EXPECT_TRUE(_IsGrayScaleBitmap(GreyRgb({{1, 2}, {3, 4}}).get()));
    EXPECT_FALSE(_IsGrayScaleBitmap(FromPixels({{{1, 1, 1}, {1, 2, 1}}}).get()));
    EXPECT_FALSE(_IsGrayScaleBitmap(Bytes({{1}}).get()));
}

TEST(Equalisation, AutomaticMatchesReference)
{
    auto image = FromPixels({{{10, 10, 10}, {200, 180, 160}, {90, 90, 90}, {30, 60, 90}},
                             {{255, 255, 255}, {0, 0, 0}, {128, 64, 32}, {16, 32, 64}},
                             {{70, 70, 70}, {140, 150, 160}, {5, 250, 5}, {100, 100, 100}}});
    _HistAutoEqualize(image.get(), 0, 0, 4, 3);
    const Pixels expected = {{{42, 42, 42}, {234, 234, 192}, {128, 128, 128}, {42, 64, 128}},
                             {{234, 234, 234}, {21, 21, 21}, {170, 106, 42}, {42, 42, 106}},
                             {{118, 121, 123}, {170, 170, 192}, {21, 234, 21}, {149, 149, 149}}};
    EXPECT_EQ(ToPixels(image.get()), expected);

    TKVBitmap empty;
    empty.Allocate(0, 0, kv24RGB);
    _HistAutoEqualize(&empty, 0, 0, 0, 0); // returns instead of looping forever
    EXPECT_EQ(empty.GetWidth(), 0);
}

TEST(Equalisation, ManualStretchesEachChannel)
{
    auto image = GreyRgb({{0, 20, 21, 100, 127, 200, 255}});
    _HistEqualize(image.get(), TRGB{20, 20, 20}, TRGB{200, 200, 200}, 0, 0, 7, 1);
    EXPECT_EQ(Channel(image.get(), 0), (Grid{{0, 0, 1, 111, 148, 249, 255}}));

    // Lo = Hi = 0: Hi is raised to 1 and every non-zero value becomes 255.
    auto zero = GreyRgb({{0, 1, 2, 255}});
    _HistEqualize(zero.get(), TRGB{0, 0, 0}, TRGB{0, 0, 0}, 0, 0, 4, 1);
    EXPECT_EQ(Channel(zero.get(), 2), (Grid{{0, 255, 255, 255}}));

    auto same = GreyRgb({{9, 90}});
    _HistEqualize(same.get(), TRGB{0, 0, 0}, TRGB{255, 255, 255}, 0, 0, 2, 1);
    EXPECT_EQ(Channel(same.get(), 1), (Grid{{9, 90}}));
}

TEST(Threshold, MakesBlackAndWhiteByEveryRule)
{
    // Mean colour of the levels 10, 40, 200, 230 (4 columns): 120 -> below is black.
    const Grid levels = {{10, 40, 200, 230}, {10, 40, 200, 230}};
    auto grey = GreyRgb(levels);
    EXPECT_EQ(BlackWhite(grey.get(), -1), (Grid{{0, 0, 1, 1}, {0, 0, 1, 1}}));
    EXPECT_EQ(BlackWhite(grey.get(), 40), (Grid{{0, 1, 1, 1}, {0, 1, 1, 1}}));
    // A mean that separates nothing: a picture of one grey keeps its own side of mid-grey, and
    // one white pixel among 7 x 40 black ones (the truncated mean 0) stays the only white one.
    Grid speck(40, std::vector<int>(7, 0)), speckBits = speck;
    speck[3][4] = 255;
    speckBits[3][4] = 1;
    const std::pair<Grid, Grid> means[] = {{{{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}},
                                           {{{127, 127}}, {{0, 0}}},
                                           {{{128, 128}}, {{1, 1}}},
                                           {{{255}}, {{1}}},
                                           {speck, speckBits}};
    for (const auto& [levels, expected] : means) {
        EXPECT_EQ(BlackWhite(GreyRgb(levels).get(), -1), expected);
    }

    // Maximum entropy of 6 x 10, 3 x 40, 5 x 200, 2 x 230 chooses 41.
    auto entropy = GreyRgb({{10, 10, 10, 10, 10, 10, 40, 40}, {40, 200, 200, 200, 200, 200, 230, 230}});
    EXPECT_EQ(BlackWhite(entropy.get(), -2), (Grid{{0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 1, 1, 1, 1, 1, 1}}));
    // A uniform image has no split level: all white.
    auto uniform = GreyRgb({{77, 77}, {77, 77}});
    EXPECT_EQ(BlackWhite(uniform.get(), -2), (Grid{{1, 1}, {1, 1}}));

    // Other formats by their grey: palette colours, 16-bit high bytes, floats times 255.
    auto indexed = Bytes({{0, 1}}, kv8p, {{0, 0, 0}, {255, 255, 255}});
    EXPECT_EQ(BlackWhite(indexed.get(), 128), (Grid{{0, 1}}));
    auto words = Blank(2, 1, kv16g);
    const uint16_t w[2] = {0x2000, 0xE000};
    std::memcpy(words->GetScanLine(0), w, 4);
    EXPECT_EQ(BlackWhite(words.get(), 128), (Grid{{0, 1}}));
    // The mean of a 16-bit image is compared in the same 8-bit scale as its pixels.
    EXPECT_EQ(BlackWhite(words.get(), -1), (Grid{{0, 1}}));
    auto floats = Blank(3, 1, kv32f);
    const float f[3] = {0.25f, 0.75f, 7.0f};
    std::memcpy(floats->GetScanLine(0), f, 12);
    EXPECT_EQ(BlackWhite(floats.get(), 128), (Grid{{0, 1, 1}}));
    // Levels past 255 stay inside the histogram table.
    EXPECT_EQ(BlackWhite(floats.get(), -2)[0].size(), 3u);

    // A black-and-white source is copied as it is.
    auto bits = Bits({{1, 0, 1}});
    EXPECT_EQ(BlackWhite(bits.get(), 250), (Grid{{1, 0, 1}}));
}

TEST(Channels, ExtractRGBAndHSVAsGrey)
{
    auto image = FromPixels({{{10, 20, 30}, {0, 0, 255}}});
    const struct
    {
        int32_t channel;
        Grid expected;
    } rgb[] = {{0, {{10, 0}}}, {1, {{20, 0}}}, {2, {{30, 255}}}, {7, {{30, 255}}}, {-1, {{10, 0}}}};
    for (const auto& c : rgb) {
        auto out = _GetRGBChannel(image.get(), c.channel);
        ASSERT_TRUE(out) << c.channel;
        EXPECT_TRUE(IsGrey(out.get()));
        EXPECT_EQ(Channel(out.get(), 0), c.expected) << c.channel;
    }
    // Red (0, 0, 255): hue 0, saturation 99, value 99; channel 5 is taken as hue.
    auto hue = _GetHSVChannel(image.get(), 5);
    auto sat = _GetHSVChannel(image.get(), 1);
    auto val = _GetHSVChannel(image.get(), 2);
    EXPECT_EQ(Channel(hue.get(), 0)[0][1], 0);
    EXPECT_EQ(Channel(sat.get(), 0)[0][1], 255);
    EXPECT_EQ(Channel(val.get(), 0)[0][1], 255);

    TKVBitmap r, g, b;
    _GetRGBChannelAll(image.get(), &r, &g, &b);
    EXPECT_EQ(Channel(&r, 1), (Grid{{30, 255}}));
    EXPECT_EQ(Channel(&g, 1), (Grid{{20, 0}}));
    EXPECT_EQ(Channel(&b, 1), (Grid{{10, 0}}));

    EXPECT_FALSE(_GetRGBChannel(Bytes({{1}}).get(), 0));
}
