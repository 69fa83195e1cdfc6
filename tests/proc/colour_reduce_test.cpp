// Colour reduction and the row converter between bit depths, both reaching the quantizer.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"

#include "imaging/proc/proc_component.h"

#include "imaging/core/quantizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

using namespace proctest;
using namespace Korvaneproc;

namespace {

struct Attached
{
    std::unique_ptr<TKVBitmap> image;
    TKorvaneProc proc{nullptr};

    explicit Attached(std::unique_ptr<TKVBitmap> bitmap) : image(std::move(bitmap))
    {
        proc.SetAttachedKVBitmap(image.get());
    }
};

} // namespace

TEST(RowConversion, ConvertsBetweenBitDepths)
{
    const std::vector<TRGB> palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    // Destinations start as 0xEE, except the 4-bit ones, which the caller clears.
    struct Case
    {
        int32_t srcBits, dstBits, count;
        std::vector<uint8_t> src;
        int32_t length;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {1, 1, 9, {0xA5, 0x80}, 2, {0xA5, 0x80}},
        {1, 4, 3, {0xA0}, 2, {0x10, 0x10}},
        {1, 8, 3, {0xA0}, 3, {1, 0, 1}},
        {1, 24, 2, {0x40}, 6, {1, 2, 3, 4, 5, 6}},
        {4, 4, 3, {0x12, 0x30}, 2, {0x12, 0x30}},
        {4, 8, 3, {0x12, 0x30}, 3, {1, 2, 3}},
        {4, 24, 2, {0x21}, 6, {7, 8, 9, 4, 5, 6}},
        {8, 1, 10, {1, 0, 1, 1, 0, 0, 0, 0, 1, 0}, 2, {0xB0, 0x80}},
        {8, 8, 2, {9, 8}, 2, {9, 8}},
        {8, 24, 2, {2, 0}, 6, {7, 8, 9, 1, 2, 3}},
        // An index past the palette reads as black.
        {8, 24, 1, {200}, 3, {0, 0, 0}},
        {24, 24, 1, {1, 2, 3}, 3, {1, 2, 3}},
        {32, 24, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 6, {1, 2, 3, 5, 6, 7}},
        // A pair without a rule writes nothing but still gives the length.
        {8, 4, 3, {1, 2, 3}, 2, {0x00, 0x00}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> dst(c.expected.size(), c.dstBits == 4 ? 0 : 0xEE);
        const int32_t length =
            _ConvertXBitsToYBits(c.src.data(), dst.data(), c.srcBits, c.dstBits, c.count, palette, nullptr);
        EXPECT_EQ(length, c.length) << c.srcBits << " to " << c.dstBits;
        EXPECT_EQ(dst, c.expected) << c.srcBits << " to " << c.dstBits;
    }
}

TEST(RowConversion, FindsColourIndexesThroughTheQuantizer)
{
    auto image = Rgb({{10, 200, 10, 90}}, {{10, 30, 10, 90}}, {{10, 40, 10, 90}});
    std::vector<TRGB> palette(3);
    TKVQuantizer quantizer(image.get(), palette, 3);
    const uint8_t row[12] = {10, 10, 10, 200, 30, 40, 10, 10, 10, 90, 90, 90};
    uint8_t bytes[4] = {};
    EXPECT_EQ(_ConvertXBitsToYBits(row, bytes, 24, 8, 4, palette, &quantizer), 4);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(std::memcmp(&palette[bytes[x]], row + x * 3, 3), 0) << x;
    EXPECT_EQ(bytes[0], bytes[2]);
    uint8_t nibbles[2] = {};
    EXPECT_EQ(_ConvertXBitsToYBits(row, nibbles, 24, 4, 4, palette, &quantizer), 2);
    EXPECT_EQ(nibbles[0] >> 4, bytes[0]);
    EXPECT_EQ(nibbles[1] & 15, bytes[3]);
    uint8_t untouched[4] = {7, 7, 7, 7};
    _ConvertXBitsToYBits(row, untouched, 24, 8, 4, palette, nullptr);
    EXPECT_EQ(untouched[0], 7) << "no quantizer, no indexes";
}

TEST(ColourReduction, LeavesAtMostTheAskedNumberOfColours)
{
    Grid blue(8, std::vector<int>(8)), green = blue, red = blue;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            blue[y][x] = x * 32;
            green[y][x] = y * 32;
            red[y][x] = (x + y) * 16;
        }
    auto image = Rgb(blue, green, red);
    std::vector<TRGB> palette(16);
    _ConvertToEx(image.get(), 16, palette.data());
    EXPECT_EQ(image->GetPixelFormat(), kv24RGB);
    std::set<std::vector<int>> colours;
    const Grid b = Channel(image.get(), 0), g = Channel(image.get(), 1), r = Channel(image.get(), 2);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            colours.insert({b[y][x], g[y][x], r[y][x]});
            const TRGB pixel{uint8_t(b[y][x]), uint8_t(g[y][x]), uint8_t(r[y][x])};
            EXPECT_NE(std::find(palette.begin(), palette.end(), pixel), palette.end());
        }
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GT(colours.size(), 4u);
}

// Up to 1024 colours are a palette of that many; the image stays 24-bit.
TEST(ColourReduction, KeepsMoreColoursThanAByteIndexes)
{
    Grid blue(40, std::vector<int>(40)), green = blue, red = blue;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            blue[y][x] = (x * 37 + y * 11) & 255;
            green[y][x] = (y * 53 + x * 3) & 255;
            red[y][x] = (x * y * 7) & 255;
        }
    for (int asked : {300, 1024}) {
        Attached a(Rgb(blue, green, red));
        a.proc.ConvertTo(asked, kvThreshold);
        std::set<std::vector<int>> colours;
        const Grid b = Channel(a.image.get(), 0), g = Channel(a.image.get(), 1),
                   r = Channel(a.image.get(), 2);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                colours.insert({b[y][x], g[y][x], r[y][x]});
        EXPECT_LE(colours.size(), size_t(asked)) << asked;
        EXPECT_GT(colours.size(), 256u) << asked;
    }
}

TEST(ColourReduction, ComponentConvertsAndFillsPalettes)
{
    Attached a(GreyRgb({{0, 255}, {255, 0}}));
    a.proc.ConvertTo(2, kvThreshold);
    EXPECT_EQ(a.proc.UndoCaptions(0), "ConvertTo 2");
    ASSERT_EQ(a.image->GetPixelFormat(), kv1g);
    EXPECT_EQ(Levels(a.image.get()), (Grid{{0, 1}, {1, 0}}));

    Attached b(GreyRgb({{1, 2}}));
    b.proc.ConvertTo(2000, kvOrdered);
    EXPECT_EQ(b.proc.UndoCaptions(0), "ConvertTo 2000");
    EXPECT_EQ(Channel(b.image.get(), 0), (Grid{{1, 2}}));

    // The palette array must hold what is written into it.
    Attached c(GreyRgb({{0, 255}}));
    std::vector<TRGB> one(1, TRGB{7, 7, 7});
    c.proc.ConvertToPalette(2, one, kvThreshold);
    EXPECT_EQ(c.proc.UndoCount(), 0);
    EXPECT_EQ(c.image->GetPixelFormat(), kv24RGB);
    std::vector<TRGB> two(2);
    c.proc.ConvertToPalette(2, two, kvOrdered);
    EXPECT_EQ(c.proc.UndoCaptions(0), "ConvertToPalette");
    EXPECT_EQ(two[1], (TRGB{255, 255, 255}));
    EXPECT_EQ(c.image->GetPixelFormat(), kv1g);

    Attached d(GreyRgb({{10, 240, 10}, {77, 240, 10}}));
    std::vector<TRGB> three(3);
    d.proc.ConvertToPalette(3, three, kvThreshold);
    EXPECT_EQ(d.image->GetPixelFormat(), kv24RGB);
    EXPECT_EQ(Channel(d.image.get(), 0), (Grid{{10, 240, 10}, {77, 240, 10}})) << "three colours stay exact";
    EXPECT_NE(std::find(three.begin(), three.end(), TRGB{77, 77, 77}), three.end());

    std::vector<TRGB> computed(4);
    d.proc.CalcImagePalette(computed, 4);
    EXPECT_NE(std::find(computed.begin(), computed.end(), TRGB{240, 240, 240}), computed.end());
    EXPECT_EQ(d.proc.UndoCaptions(0), "ConvertToPalette") << "measuring saves no entry";
}
