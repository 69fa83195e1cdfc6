// Bump mapping, lens, wave, dot grid, pen marker, merge and image comparison, against hand cases
// and the results that reference/effects_reference.py works out on a crop of a real picture.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"

#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace proctest;
using namespace Korvaneproc;

TEST(Effects, MatchTheReferenceOnARealPicture)
{
    auto crop = RealCrop(kColourCrop);
    auto rose = Rose();
    ASSERT_NE(crop, nullptr) << "golang-1.19-src is not installed";
    ASSERT_NE(rose, nullptr) << "ImageMagick is not installed";
    struct Case
    {
        std::function<void(TKorvaneProc&)> apply;
        const char* reference;
        int tolerance;
        const char* caption;
    };
    const Case cases[] = {
        {[](TKorvaneProc& p) {
             p.BumpMapping(20, 12, 30, 20, 40, {100, 200, 255});
         },
         "effects-bump.ppm", 0, "BumpMapping"},
        {[](TKorvaneProc& p) { p.Lens(24, 16, 30, 20, 1.8); }, "effects-lens.ppm", 0, "Lens"},
        {[](TKorvaneProc& p) { p.Wave(3, 10, 45, false); }, "effects-wave.ppm", 1, "Wave"},
        {[](TKorvaneProc& p) { p.Wave(2, 8, 0, true); }, "effects-wave-reflective.ppm", 1, "Wave"},
        {[&](TKorvaneProc& p) { p.MergeKVBitmap(rose.get(), 30); }, "effects-merge.ppm", 0, "Merge 30"},
    };
    for (const Case& c : cases) {
        Attached a(Copy(crop.get()));
        c.apply(a.proc);
        const int difference = MaxDifference(a.image.get(), Reference(c.reference).get());
        EXPECT_LE(difference, c.tolerance) << c.reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), c.caption);
    }
}

TEST(Effects, HandCasesAndWhatCannotApply)
{
    // A flat picture lit straight above a pixel gets the full light there.
    auto flat = GreyRgb(Grid(3, std::vector<int>(3, 100)));
    TProgressRec progress;
    _BumpMapping(flat.get(), 1, 1, 10, 10, 0, {255, 255, 255}, 0, 0, 3, 3, progress);
    EXPECT_EQ(Channel(flat.get(), 0)[1][1], 255);

    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    const std::pair<const char*, std::function<void(TKorvaneProc&)>> unchanged[] = {
        {"refraction 1", [](TKorvaneProc& p) { p.Lens(24, 16, 30, 20, 1.0); }},
        {"refraction 0.5", [](TKorvaneProc& p) { p.Lens(24, 16, 30, 20, 0.5); }},
        {"negative lens", [](TKorvaneProc& p) { p.Lens(24, 16, -30, -20, 2.0); }},
        {"lens of NaN", [](TKorvaneProc& p) { p.Lens(24, 16, 30, 20, std::nan("")); }},
        {"amplitude 0", [](TKorvaneProc& p) { p.Wave(0, 10, 0, false); }},
        {"wave length 0", [](TKorvaneProc& p) { p.Wave(5, 0, 0, true); }},
        {"no width",
         [](TKorvaneProc& p) {
             p.BumpMapping(1, 1, 0, 5, 50, {1, 1, 1});
         }},
        {"dot grid -1",
         [](TKorvaneProc& p) {
             p.PaintMark(-1, {0, 0, 0});
         }},
        {"merge nothing", [](TKorvaneProc& p) { p.MergeKVBitmap(nullptr, 50); }},
    };
    for (const auto& [name, apply] : unchanged) {
        Attached a(Copy(crop.get()));
        apply(a.proc);
        EXPECT_EQ(MaxDifference(a.image.get(), crop.get()), 0) << name;
    }
    for (auto size : {std::pair{1, 40}, std::pair{40, 1}}) {
        Attached line(Blank(size.first, size.second, kv24RGB, 9));
        line.proc.Wave(5, 3, 0, false);
        EXPECT_EQ(line.proc.UndoCount(), 1) << "the entry comes first";
        EXPECT_EQ(Channel(line.image.get(), 0)[0][0], 9);
    }
}

TEST(Marks, DotGridAndPenMarker)
{
    Attached grid(GreyRgb(Grid(5, std::vector<int>(5, 0))));
    grid.proc.PaintMark(1, {9, 9, 9});
    EXPECT_EQ(Channel(grid.image.get(), 0),
              (Grid{{9, 0, 9, 0, 9}, {0, 0, 0, 0, 0}, {9, 0, 9, 0, 9}, {0, 0, 0, 0, 0}, {9, 0, 9, 0, 9}}));
    EXPECT_EQ(grid.proc.UndoCaptions(0), "RemoveIsolatedPixels");
    grid.proc.PaintMark(0, {1, 1, 1});
    EXPECT_EQ(Channel(grid.image.get(), 0), Grid(5, std::vector<int>(5, 1)));
    Attached bits(Bits({{1, 0}}));
    bits.proc.PaintMark(0, {0, 0, 0});
    EXPECT_EQ(bits.proc.UndoCount(), 1) << "saved before the worker declines";

    // Width 0 or 1 tests only the point; a pixel beyond the tolerance keeps its colour.
    Attached pen(GreyRgb({{100, 100, 100}, {100, 100, 140}}));
    pen.proc.PaintPenMarker(1, 0, 1, RGB2TColor(0, 0, 0), RGB2TColor(100, 100, 100), 0);
    EXPECT_EQ(Channel(pen.image.get(), 0), (Grid{{100, 0, 100}, {100, 100, 140}}));
    pen.image->GetAlphaChannel()->Fill(7);
    pen.proc.PaintPenMarker(0, 0, 4, RGB2TColor(1, 1, 1), RGB2TColor(100, 100, 100), 39);
    EXPECT_EQ(Channel(pen.image.get(), 0), (Grid{{1, 0, 1}, {1, 1, 140}}));
    EXPECT_EQ(pen.image->GetAlpha(0, 1), 255);
    EXPECT_EQ(pen.image->GetAlpha(2, 1), 7);
    EXPECT_EQ(pen.proc.UndoCount(), 0);
    pen.proc.PaintPenMarker(-1, 0, 4, 0, 0, 255);
    EXPECT_EQ(Channel(pen.image.get(), 0)[1][2], 140) << "a point outside the picture marks nothing";

    // A huge width ends once the circles leave the picture, with every visited pixel marked.
    for (int32_t width : {60, std::numeric_limits<int32_t>::max()}) {
        Attached all(GreyRgb(Grid(15, std::vector<int>(20, 50))));
        all.proc.PaintPenMarker(3, 4, width, RGB2TColor(200, 200, 200), 0, 255);
        EXPECT_EQ(Channel(all.image.get(), 1), Grid(15, std::vector<int>(20, 200))) << width;
    }
}

TEST(Merge, MixesRoundingHalfToEvenAndStretchesAnyFormat)
{
    Attached a(GreyRgb({{1, 1}, {1, 1}}));
    auto other = GreyRgb({{2}});
    a.proc.MergeKVBitmap(other.get(), 50);
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{2, 2}, {2, 2}})) << "1.5 rounds to 2";
    a.proc.MergeKVBitmap(other.get(), 100);
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{2, 2}, {2, 2}}));
    // Other formats are stretched as a 24-bit copy.
    auto grey = Bytes({{10, 250}});
    a.proc.MergeKVBitmap(grey.get(), 0);
    EXPECT_EQ(Channel(a.image.get(), 2), (Grid{{10, 250}, {10, 250}}));
    auto bits = Bits({{0}, {1}});
    a.proc.MergeKVBitmap(bits.get(), 0);
    EXPECT_EQ(Channel(a.image.get(), 1), (Grid{{0, 0}, {255, 255}}));
    TBitmap classLibrary;
    classLibrary.SetPixelFormat(pf24bit);
    classLibrary.SetSize(1, 1);
    std::memset(classLibrary.ScanLine(0), 40, 3);
    a.proc.Merge(&classLibrary, 50);
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{20, 20}, {148, 148}})) << "(0 + 40) / 2 and (255 + 40) / 2";
    EXPECT_EQ(a.proc.UndoCaptions(0), "Merge 50");
}

TEST(Comparison, ComparesPixelsNotPaddingAndMeasuresDifferences)
{
    TBitmap a, b;
    for (TBitmap* bitmap : {&a, &b}) {
        bitmap->SetPixelFormat(pf1bit);
        bitmap->SetSize(3, 2);
    }
    for (int y = 0; y < 2; ++y) {
        a.ScanLine(y)[0] = 0xA0;
        b.ScanLine(y)[0] = 0xBF; // the same three pixels, other padding bits
    }
    a.ScanLine(1)[3] = 1;
    EXPECT_TRUE(_BitmapCompareX(&a, &b));
    b.ScanLine(1)[0] = 0xE0;
    EXPECT_FALSE(_BitmapCompareX(&a, &b));

    auto x = GreyRgb({{1, 2}, {3, 4}});
    auto y = Copy(x.get());
    EXPECT_TRUE(_BitmapCompareXEx(x.get(), y.get()));
    y->GetAlphaChannel();
    EXPECT_FALSE(_BitmapCompareXEx(x.get(), y.get())) << "only one has an alpha channel";

    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    auto shifted = Copy(crop.get());
    for (int row = 0; row < 32; ++row)
        for (int col = 0; col < 48; ++col) {
            uint8_t* red = shifted->GetScanLine(row) + col * 3 + 2;
            *red = static_cast<uint8_t>(std::min(*red + 3, 255));
        }
    shifted->GetScanLine(5)[7 * 3] = 200;
    Attached image(Copy(crop.get()));
    double m[10];
    EXPECT_FALSE(image.proc.ComputeImageEquality(shifted.get(), m[0], m[1], m[2], m[3], m[4], m[5], m[6],
                                                 m[7], m[8], m[9]));
    const double expected[10] = {0, 38.58837851428586, 0, 26.041666666666668, 0, 5.103103630798288, 0, 200, 0,
                                 3};
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(m[i], expected[i], 1e-9) << i;
    EXPECT_TRUE(image.proc.ComputeImageEquality(crop.get(), m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7],
                                                m[8], m[9]));
    EXPECT_EQ((std::vector<double>{m[1], m[3]}), (std::vector<double>{0, 0}))
        << "psnr and mse 0 against itself";
    auto small = GreyRgb({{1}});
    m[0] = -7;
    EXPECT_FALSE(image.proc.ComputeImageEquality(small.get(), m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7],
                                                 m[8], m[9]));
    EXPECT_EQ(m[0], -7) << "other sizes leave the outputs untouched";
}
