// The colour quantizers, checked against palettes worked out independently by
// tests/data/core/quantizer_reference.py on the same generated images.
#include "imaging/core/median_cut.h"
#include "imaging/core/neuquant.h"

#include <gtest/gtest.h>

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
    ASSERT_EQ(expected.size(), 6u) << "quantizer_expected.txt is missing or incomplete";
    struct Case
    {
        const char* name;
        TestImage image;
        int32_t ncol;
        bool neuquant;
    };
    const Case cases[] = {
        {"neuquant-128", NoiseImage(40, 30, 1), 128, true},
        {"median-cut-127", NoiseImage(40, 30, 1), 127, false},
        {"median-cut-16", GradientImage(64, 48, 2), 16, false},
        {"neuquant-256-factor-3", GradientImage(100, 100, 3), 256, true},
        {"neuquant-256-factor-30", NoiseImage(600, 600, 4), 256, true},
        {"median-cut-few-cells", PaletteImage(20, 10, 5, kFewColours), 16, false},
    };
    for (const Case& c : cases) {
        const Expected& want = expected.at(c.name);
        std::vector<TRGB> palette(256, Bgr(1, 2, 3));
        std::function<int32_t(const TRGB&)> index;
        std::unique_ptr<Neurquant::TNeuQuantNet> net;
        std::unique_ptr<Stdquant::TMedianCutState> cut;
        const auto rows = c.image.Rows();
        if (c.neuquant) {
            net = std::make_unique<Neurquant::TNeuQuantNet>(rows, c.ncol,
                                                            Neurquant::SampleFactor(rows.PixelCount(), -1));
            net->WritePalette(palette);
            index = [&](const TRGB& colour) { return net->Search(colour); };
        } else {
            cut = Stdquant::CreateMedianCutQuantizer(rows, palette, c.ncol);
            index = [&](const TRGB& colour) { return Stdquant::MedianCutFindIndex(*cut, colour); };
        }
        for (size_t i = 0; i < palette.size(); ++i) {
            const TRGB wanted = i < want.palette.size() ? want.palette[i] : Bgr(1, 2, 3);
            EXPECT_EQ(palette[i], wanted) << c.name << " entry " << i;
        }
        for (const auto& [colour, wantIndex] : want.lookups)
            EXPECT_EQ(index(colour), wantIndex)
                << c.name << " colour " << int(colour.b) << "," << int(colour.g) << "," << int(colour.r);
    }
}

} // namespace
