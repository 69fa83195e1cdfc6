// Colour-depth conversion: dithering, two-colour detection, row conversion between bit depths.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"

#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace proctest;
using namespace Korvaneproc;

TEST(OrderedDither, ComparesTheLevelWithTheBayerTable)
{
    // White (all channels at least 251) is level 64, above every threshold. Grey 250 is level
    // 62: at x = 3, y = 4 the table holds 62, so that pixel stays black.
    Grid levels(8, std::vector<int>(8, 250));
    levels[0][0] = 251;
    auto image = GreyRgb(levels);
    TProgressRec progress;
    std::vector<int32_t> seen;
    progress.OnProgress = [&](TObject*, int32_t per) { seen.push_back(per); };
    _ConvertToBWOrdered(image.get(), progress);
    ASSERT_EQ(image->GetPixelFormat(), kv1g);
    const Grid bits = Levels(image.get());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int level = (x == 0 && y == 0) ? 64 : 62;
            EXPECT_EQ(bits[y][x], level > BWORDERPATTERN[x][y] ? 1 : 0) << x << "," << y;
        }
    EXPECT_EQ(bits[4][3], 0);
    EXPECT_EQ(bits[0][0], 1);
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen.back(), 94); // trunc(8 * 100 / 8.5)

    auto grey = Bytes({{1}});
    _ConvertToBWOrdered(grey.get(), progress);
    EXPECT_EQ(grey->GetPixelFormat(), kv8g) << "only 24-bit images are dithered";
}

TEST(ThresholdConversion, ReplacesTheImageByItsBlackAndWhite)
{
    auto image = GreyRgb({{0, 100, 200}});
    TProgressRec progress;
    _ConvertToBWThreshold(image.get(), 100, progress);
    EXPECT_EQ(image->GetPixelFormat(), kv1g);
    EXPECT_EQ(Levels(image.get()), (Grid{{0, 1, 1}}));
}

TEST(TwoColours, FindsTheDarkerAsClearBits)
{
    // The first pixel is white, yet black takes the clear bits.
    auto image = GreyRgb({{255, 0, 0}, {0, 255, 255}});
    TRGB back{}, fore{};
    auto bits = _ConvertTo1bitEx(image.get(), back, fore);
    ASSERT_TRUE(bits);
    EXPECT_EQ(Levels(bits.get()), (Grid{{1, 0, 0}, {0, 1, 1}}));
    EXPECT_EQ(back, (TRGB{0, 0, 0}));
    EXPECT_EQ(fore, (TRGB{255, 255, 255}));

    // Equal rounded greys keep the order of appearance: blue 50 (grey 4.00 -> 4) first, then
    // red 19 (grey 3.99 -> 4).
    auto tie = Rgb({{50, 0}}, {{0, 0}}, {{0, 19}});
    auto tieBits = _ConvertTo1bitEx(tie.get(), back, fore);
    ASSERT_TRUE(tieBits);
    EXPECT_EQ(Levels(tieBits.get()), (Grid{{0, 1}}));
    EXPECT_EQ(back, (TRGB{50, 0, 0}));

    // Other formats are read as colours.
    auto indexed = Bytes({{3, 7, 3}}, kv8p, std::vector<TRGB>(8, TRGB{9, 9, 9}));
    indexed->SetPalette(7, TRGB{1, 1, 1});
    auto fromIndexed = _ConvertTo1bitEx(indexed.get(), back, fore);
    ASSERT_TRUE(fromIndexed);
    EXPECT_EQ(Levels(fromIndexed.get()), (Grid{{1, 0, 1}}));

    EXPECT_FALSE(_ConvertTo1bitEx(GreyRgb({{5, 5}, {5, 5}}).get(), back, fore)) << "one colour";
    EXPECT_FALSE(_ConvertTo1bitEx(GreyRgb({{1, 2, 3}}).get(), back, fore)) << "three colours";
}

TEST(RowConversion, ExpandsOneBitRowsTo24)
{
    const uint8_t src[2] = {0xA5, 0x80};
    uint8_t dst[30];
    std::memset(dst, 7, sizeof dst);
    _ConvRow1To24(src, dst, 10);
    const int expected[10] = {255, 0, 255, 0, 0, 255, 0, 255, 255, 0};
    for (int x = 0; x < 10; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(dst[x * 3 + c], expected[x]) << x;
}

TEST(OneBitNegative, InvertsWholeRows)
{
    auto bits = Bits({{1, 0, 1}});
    _Negative1BitEx(bits.get());
    EXPECT_EQ(Levels(bits.get()), (Grid{{0, 1, 0}}));
    EXPECT_EQ(bits->GetScanLine(0)[1], 0xFF) << "padding included";
}

TEST(OneBitTo24, ExpandsClassLibraryBitmaps)
{
    TBitmap src, dst;
    src.SetPixelFormat(pf1bit);
    src.SetSize(10, 2);
    std::memset(src.ScanLine(0), 0, static_cast<size_t>(src.RowLength()));
    std::memset(src.ScanLine(1), 0xFF, static_cast<size_t>(src.RowLength()));
    src.ScanLine(0)[0] = 0x81;
    TProgressRec progress;
    _Conv1to24(&src, &dst, progress);
    ASSERT_EQ(dst.PixelFormat(), pf24bit);
    ASSERT_EQ(dst.Width(), 10);
    EXPECT_EQ(dst.ScanLine(0)[0], 255);
    EXPECT_EQ(dst.ScanLine(0)[3], 0);
    EXPECT_EQ(dst.ScanLine(0)[21], 255);
    EXPECT_EQ(dst.ScanLine(1)[27], 255);
}
