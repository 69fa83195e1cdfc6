// The colour quantizers, checked against palettes worked out independently by
// tests/data/core/quantizer_reference.py on the same generated images.
#include "imaging/core/kvbitmap.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/neuquant.h"
#include "imaging/core/quantizer.h"
#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The generator the reference script uses.
class Lcg
{
public:
    explicit Lcg(uint32_t seed) : FState(seed) {}
    uint8_t Byte()
    {
        FState = (FState * 1103515245u + 12345u) & 0x7FFFFFFFu;
        return static_cast<uint8_t>((FState >> 16) & 0xFF);
    }

private:
    uint32_t FState;
};

struct TestImage
{
    int32_t width = 0;
    int32_t height = 0;
    std::vector<TRGB> pixels; // top row first

    Neurquant::TRgbRows Rows() const
    {
        return {width, height, [this](int32_t y) { return pixels.data() + int64_t(y) * width; }};
    }

    // The image as a kv24RGB library bitmap (in memory or in a file, as the suite runs).
    std::unique_ptr<TKVBitmap> Bitmap() const
    {
        auto bitmap = std::make_unique<TKVBitmap>();
        bitmap->Allocate(width, height, kv24RGB);
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(bitmap->GetScanLine(y), pixels.data() + int64_t(y) * width, 3 * size_t(width));
        return bitmap;
    }
};

TestImage NoiseImage(int32_t w, int32_t h, uint32_t seed)
{
    Lcg rng(seed);
    TestImage image{w, h, {}};
    for (int64_t i = 0; i < int64_t(w) * h; ++i) {
        TRGB c;
        c.b = rng.Byte();
        c.g = rng.Byte();
        c.r = rng.Byte();
        image.pixels.push_back(c);
    }
    return image;
}

TestImage GradientImage(int32_t w, int32_t h, uint32_t seed)
{
    Lcg rng(seed);
    TestImage image{w, h, {}};
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            TRGB c;
            c.b = static_cast<uint8_t>(x * 255 / (w - 1));
            c.g = static_cast<uint8_t>(y * 255 / (h - 1));
            c.r = static_cast<uint8_t>(((x + y) * 7 + (rng.Byte() & 15)) & 255);
            image.pixels.push_back(c);
        }
    return image;
}

TestImage PaletteImage(int32_t w, int32_t h, uint32_t seed, const std::vector<TRGB>& colours)
{
    Lcg rng(seed);
    TestImage image{w, h, {}};
    for (int64_t i = 0; i < int64_t(w) * h; ++i)
        image.pixels.push_back(colours[rng.Byte() % colours.size()]);
    return image;
}

TRGB Bgr(int b, int g, int r)
{
    return {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
}

TRGB Grey(int v)
{
    return Bgr(v, v, v);
}

struct Expected
{
    std::vector<TRGB> palette;
    std::vector<std::pair<TRGB, int32_t>> lookups;
};

std::map<std::string, Expected> LoadExpected()
{
    std::ifstream in(std::string(KV_TEST_DATA_DIR) + "/core/quantizer_expected.txt");
    std::map<std::string, Expected> cases;
    std::string word, name;
    while (in >> word) {
        if (word == "case") {
            in >> name;
        } else if (word == "palette" || word == "lookup") {
            int count = 0;
            in >> count;
            for (int i = 0; i < count; ++i) {
                int b, g, r, index = 0;
                in >> b >> g >> r;
                if (word == "lookup") {
                    in >> index;
                    cases[name].lookups.push_back({Bgr(b, g, r), index});
                } else {
                    cases[name].palette.push_back(Bgr(b, g, r));
                }
            }
        }
    }
    return cases;
}

const std::vector<TRGB> kFewColours = {Bgr(10, 200, 30), Bgr(250, 250, 250), Bgr(0, 0, 0),
                                       Bgr(40, 80, 120), Bgr(200, 100, 0),   Bgr(9, 201, 31)};

TEST(Quantizer, SampleFactorGrowsWithTheImage)
{
    const std::pair<int64_t, int32_t> cases[] = {
        {1, 1}, {1999, 1}, {2000, 2}, {10000, 3}, {2000 + 148000, 15}, {360000, 30}, {int64_t(1) << 40, 30}};
    for (auto [pixels, factor] : cases)
        EXPECT_EQ(Neurquant::SampleFactor(pixels, -1), factor) << pixels << " pixels";
    EXPECT_EQ(Neurquant::SampleFactor(10, 100), 1);
    EXPECT_EQ(Neurquant::SampleFactor(10, 0), 30);
    EXPECT_EQ(Neurquant::SampleFactor(10, 50), 15);
}

TEST(Quantizer, PalettesMatchTheReference)
{
    const auto expected = LoadExpected();
    ASSERT_EQ(expected.size(), 8u) << "quantizer_expected.txt is missing or incomplete";
    struct Case
    {
        const char* name;
        TestImage image;
        int32_t ncol;
        int32_t method;
    };
    const Case cases[] = {
        {"neuquant-128", NoiseImage(40, 30, 1), 128, TKVQuantizer::qmNeuQuant},
        {"median-cut-127", NoiseImage(40, 30, 1), 127, TKVQuantizer::qmMedianCut},
        {"median-cut-16", GradientImage(64, 48, 2), 16, TKVQuantizer::qmMedianCut},
        {"neuquant-256-factor-3", GradientImage(100, 100, 3), 256, TKVQuantizer::qmNeuQuant},
        {"neuquant-256-factor-30", NoiseImage(600, 600, 4), 256, TKVQuantizer::qmNeuQuant},
        // More colours than a byte indexes: the network has as many neurons as colours asked for.
        {"neuquant-300", NoiseImage(60, 40, 6), 300, TKVQuantizer::qmNeuQuant},
        {"neuquant-1024", NoiseImage(48, 32, 7), 1024, TKVQuantizer::qmNeuQuant},
    };
    for (const Case& c : cases) {
        const Expected& want = expected.at(c.name);
        std::vector<TRGB> palette(1024, Bgr(1, 2, 3));
        const auto bitmap = c.image.Bitmap();
        const TKVQuantizer quantizer(bitmap.get(), palette, c.ncol);
        EXPECT_FALSE(quantizer.HasExactMap()) << c.name;
        EXPECT_EQ(quantizer.Method(), c.method) << c.name;
        for (size_t i = 0; i < palette.size(); ++i) {
            const TRGB wanted = i < want.palette.size() ? want.palette[i] : Bgr(1, 2, 3);
            EXPECT_EQ(palette[i], wanted) << c.name << " entry " << i;
        }
        for (const auto& [colour, wantIndex] : want.lookups)
            EXPECT_EQ(quantizer.GetRGBIndex(colour), wantIndex)
                << c.name << " colour " << int(colour.b) << "," << int(colour.g) << "," << int(colour.r);
    }
}

// The median cut alone, over an image of fewer distinct cells than colours asked for (the
// quantizer would take the exact colours instead).
TEST(Quantizer, MedianCutMakesNoMoreBoxesThanCells)
{
    const Expected want = LoadExpected().at("median-cut-few-cells");
    const TestImage image = PaletteImage(20, 10, 5, kFewColours);
    std::vector<TRGB> palette(16, Bgr(1, 2, 3));
    const auto state = Stdquant::CreateMedianCutQuantizer(image.Rows(), palette, 16);
    ASSERT_EQ(want.palette.size(), 5u);
    for (size_t i = 0; i < palette.size(); ++i)
        EXPECT_EQ(palette[i], i < 5 ? want.palette[i] : Bgr(1, 2, 3)) << "entry " << i;
    for (const auto& [colour, wantIndex] : want.lookups)
        EXPECT_EQ(Stdquant::MedianCutFindIndex(*state, colour), wantIndex);
}

TEST(Quantizer, MedianCutReadsOnly24BitBitmaps)
{
    const TestImage image = GradientImage(64, 48, 2);
    const Expected want = LoadExpected().at("median-cut-16");
    std::vector<TRGB> palette(16);

    TBitmap raster;
    raster.SetPixelFormat(pf24bit);
    raster.SetSize(image.width, image.height);
    for (int32_t y = 0; y < image.height; ++y)
        std::memcpy(raster.ScanLine(y), image.pixels.data() + int64_t(y) * image.width,
                    3 * size_t(image.width));
    EXPECT_NE(Stdquant::CreateMedianCutQuantizer(&raster, palette, 16), nullptr);
    EXPECT_EQ(palette, want.palette);

    const auto library = image.Bitmap();
    std::vector<TRGB> again(16);
    EXPECT_NE(Stdquant::CreateMedianCutQuantizer(library.get(), again, 16), nullptr);
    EXPECT_EQ(again, want.palette);

    std::vector<TRGB> untouched(16, Bgr(1, 2, 3));
    library->SetPixelFormat(kv8g);
    raster.SetPixelFormat(pf32bit);
    EXPECT_EQ(Stdquant::CreateMedianCutQuantizer(library.get(), untouched, 16), nullptr);
    EXPECT_EQ(Stdquant::CreateMedianCutQuantizer(&raster, untouched, 16), nullptr);
    EXPECT_EQ(untouched, std::vector<TRGB>(16, Bgr(1, 2, 3)));
}

TEST(Quantizer, GreyImagesGetTheRamp)
{
    TestImage grey{16, 16, {}};
    for (int i = 0; i < 256; ++i)
        grey.pixels.push_back(Grey(255 - i));
    const auto bitmap = grey.Bitmap();
    std::vector<TRGB> palette(256);
    const TKVQuantizer quantizer(bitmap.get(), palette, 256);
    EXPECT_TRUE(quantizer.IsGrey());
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(palette[i], Grey(i));
    EXPECT_EQ(quantizer.GetRGBIndex(Bgr(10, 20, 77)), 77) << "the red byte";

    // With fewer colours asked for, a grey image takes its exact colours.
    std::vector<TRGB> small(255);
    const TKVQuantizer fewer(bitmap.get(), small, 255);
    EXPECT_FALSE(fewer.IsGrey());
    EXPECT_TRUE(fewer.Method() == TKVQuantizer::qmNeuQuant && !fewer.HasExactMap());
}

TEST(Quantizer, ExactColoursInOrderOfFirstAppearance)
{
    const TestImage image = PaletteImage(7, 5, 11, kFewColours);
    // The order in which the colours first appear, read off the image rows.
    std::vector<TRGB> order;
    for (const TRGB& c : image.pixels)
        if (std::find(order.begin(), order.end(), c) == order.end())
            order.push_back(c);
    ASSERT_EQ(order.size(), kFewColours.size());

    const auto bitmap = image.Bitmap();
    std::vector<TRGB> palette(8, Bgr(1, 2, 3));
    const TKVQuantizer quantizer(bitmap.get(), palette, 6);
    ASSERT_TRUE(quantizer.HasExactMap());
    EXPECT_EQ(quantizer.ExactCount(), 6);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(palette[i], order[i]);
        EXPECT_EQ(quantizer.GetRGBIndex(order[i]), int32_t(i));
    }
    EXPECT_EQ(palette[6], Bgr(1, 2, 3));
    EXPECT_EQ(palette[7], Bgr(1, 2, 3));

    // A colour the image lacks gets its nearest entry, never -1.
    const auto index = [&](const TRGB& c) {
        return std::find(order.begin(), order.end(), c) - order.begin();
    };
    EXPECT_EQ(quantizer.GetRGBIndex(Bgr(245, 255, 240)), index(Bgr(250, 250, 250)));
    EXPECT_EQ(quantizer.GetRGBIndex(Bgr(3, 2, 1)), index(Bgr(0, 0, 0)));

    // One colour fewer than the image holds: no exact map.
    const TKVQuantizer tooFew(bitmap.get(), palette, 5);
    EXPECT_FALSE(tooFew.HasExactMap());
    EXPECT_EQ(tooFew.Method(), TKVQuantizer::qmMedianCut);
}

TEST(Quantizer, OtherFormatsAreConvertedFirst)
{
    // An 8-bit palette image of three colours quantizes like its 24-bit form.
    TKVBitmap indexed;
    indexed.Allocate(4, 2, kv8p);
    indexed.SetPalette(0, Bgr(10, 20, 30));
    indexed.SetPalette(1, Bgr(200, 0, 0));
    indexed.SetPalette(2, Bgr(0, 0, 200));
    const uint8_t indices[2][4] = {{2, 2, 0, 1}, {1, 0, 0, 2}};
    for (int y = 0; y < 2; ++y)
        std::memcpy(indexed.GetScanLine(y), indices[y], 4);
    std::vector<TRGB> palette(4, Bgr(9, 9, 9));
    const TKVQuantizer quantizer(&indexed, palette, 16);
    ASSERT_TRUE(quantizer.HasExactMap());
    EXPECT_EQ(palette, (std::vector<TRGB>{Bgr(0, 0, 200), Bgr(10, 20, 30), Bgr(200, 0, 0), Bgr(9, 9, 9)}));

    // A grey image with 256 colours asked for is still a grey image.
    TKVBitmap grey;
    grey.Allocate(3, 1, kv8g);
    std::memcpy(grey.GetScanLine(0), "\x05\x80\xFE", 3);
    std::vector<TRGB> ramp(256);
    EXPECT_TRUE(TKVQuantizer(&grey, ramp, 256).IsGrey());

    // No image: no colours, and every lookup gives entry 0.
    std::vector<TRGB> untouched(4, Bgr(9, 9, 9));
    TKVBitmap empty;
    const TKVQuantizer none(&empty, untouched, 256);
    EXPECT_EQ(none.GetRGBIndex(Bgr(1, 2, 3)), 0);
    EXPECT_EQ(untouched, std::vector<TRGB>(4, Bgr(9, 9, 9)));
    const TKVQuantizer nothing(nullptr, untouched, 16);
    EXPECT_EQ(nothing.GetRGBIndex(Bgr(1, 2, 3)), 0);
}

} // namespace
