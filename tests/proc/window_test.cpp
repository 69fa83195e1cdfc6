// Gaussian blur, soft shadow, sharpen, morphology, median and Wallis filters, against hand cases
// and the results that reference/window_reference.py works out on crops of real pictures.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace proctest;
using namespace Korvaneproc;

namespace {

using Operation = std::function<void(TKorvaneProc&)>;

// Applies each operation to a copy of the picture and expects it unchanged.
void ExpectUnchanged(TKVBitmap* picture, std::initializer_list<std::pair<const char*, Operation>> operations)
{
    for (const auto& [name, apply] : operations) {
        Attached a(Copy(picture));
        apply(a.proc);
        EXPECT_EQ(MaxDifference(a.image.get(), picture), 0) << name;
    }
}

} // namespace

TEST(GaussianBlur, KernelsAndTheRealPicture)
{
    const TKVGaussKernel two = _KVGaussKernel(2.0);
    EXPECT_EQ(two.Size, 9);
    EXPECT_EQ(two.Fixed[100], 13073);
    int32_t sum = 0;
    for (int32_t w : two.Fixed)
        sum += w;
    EXPECT_EQ(sum, 65535);
    const TKVGaussKernel tiny = _KVGaussKernel(0.1);
    EXPECT_EQ(tiny.Size, 1);
    EXPECT_EQ((std::vector{tiny.Fixed[99], tiny.Fixed[100], tiny.Fixed[101]}), (std::vector{0, 65536, 0}));

    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr) << "golang-1.19-src is not installed";
    Attached colour(Copy(crop.get()));
    colour.proc.Blur(1.5);
    EXPECT_EQ(MaxDifference(colour.image.get(), Reference("window-blur1.5.ppm").get()), 0);
    EXPECT_EQ(colour.proc.UndoCaptions(0), "Blur 1.5");
    auto grey = RealCrop(kGreyCrop, kv8g);
    std::vector<int32_t> percents;
    _KVGBlur(grey.get(), 3.0, [&](TObject*, int32_t per) { percents.push_back(per); });
    EXPECT_EQ(MaxDifference(grey.get(), Reference("window-blur3-grey.pgm").get()), 0);
    EXPECT_EQ(percents.size(), 80u) << "a call after each row and each column";
    EXPECT_EQ(percents[31], 38) << "31 * 100 / 80";
    EXPECT_EQ(percents.back(), 98) << "(32 + 47) * 100 / 80";

    // Within a rectangle the edges repeat the rectangle's pixels: the same as blurring a cut-out.
    auto plane = RealCrop(kGreyCrop, kv8g);
    auto part = std::make_unique<TKVBitmap>();
    part->Allocate(20, 10, kv8g);
    plane->CopyRectTo(part.get(), 28, 22, 0, 0, 20, 10);
    _KVGBlur(part.get(), 2.0);
    _KVGBlurRect8(plane.get(), 28, 22, 500, 500, 2.0);
    auto back = std::make_unique<TKVBitmap>();
    back->Allocate(20, 10, kv8g);
    plane->CopyRectTo(back.get(), 28, 22, 0, 0, 20, 10);
    EXPECT_EQ(MaxDifference(back.get(), part.get()), 0) << "the rectangle is cut to the image";
}

TEST(GaussianBlur, LeavesUniformPicturesAndBadRadiiAlone)
{
    Attached uniform(GreyRgb(Grid(7, std::vector<int>(9, 77))));
    uniform.proc.Blur(4.0);
    EXPECT_EQ(Channel(uniform.image.get(), 1), Grid(7, std::vector<int>(9, 77)));

    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    ExpectUnchanged(crop.get(),
                    {{"radius 0", [](TKorvaneProc& p) { p.Blur(0); }},
                     {"negative radius", [](TKorvaneProc& p) { p.Blur(-2); }},
                     {"NaN radius", [](TKorvaneProc& p) { p.Blur(std::nan("")); }},
                     {"NaN shadow", [](TKorvaneProc& p) { p.AddSoftShadow(NAN, 3, 3, true, 0); }}});
    Attached bits(Bits({{1, 0}, {0, 1}}));
    bits.proc.Blur(2);
    EXPECT_EQ(bits.proc.UndoCount(), 0) << "neither kv24RGB nor kv8g";
}

TEST(SoftShadow, FallsUnderTheOpaquePartAndGrowsThePicture)
{
    Grid blue(10, std::vector<int>(12, 100)), green(10, std::vector<int>(12, 150)),
        red(10, std::vector<int>(12, 200));
    Attached a(Rgb(blue, green, red));
    TKVBitmap* alpha = a.image->GetAlphaChannel();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            alpha->SetPixels_kv8(x, y, y >= 3 && y < 6 && x >= 4 && x < 8 ? 255 : 0);
    a.proc.AddSoftShadow(1.0, 2, 1, true, RGB2TColor(10, 20, 30));
    EXPECT_EQ(MaxDifference(a.image.get(), Reference("window-shadow.ppm").get()), 0);
    EXPECT_EQ(MaxDifference(a.image->GetAlphaChannel(), Reference("window-shadow-alpha.pgm").get()), 0);
    EXPECT_FALSE(a.image->GetAlphaChannel()->Full);
    EXPECT_EQ(a.proc.UndoCaptions(0), "AddSoftShadow");

    // An opaque picture without offsets keeps its colours and alpha.
    Attached opaque(GreyRgb({{1, 2, 3}, {4, 5, 6}}));
    opaque.proc.AddSoftShadow(2.0, 0, 0, false, 0);
    EXPECT_EQ(Channel(opaque.image.get(), 0), (Grid{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(opaque.image->GetAlphaChannel()->GetPixels_kv8(2, 1), 255);
    // A size the picture cannot grow to leaves it as it was.
    opaque.proc.AddSoftShadow(1.0, std::numeric_limits<int32_t>::min(), 0, true, 0);
    opaque.proc.AddSoftShadow(1e12, 0, 0, true, 0);
    EXPECT_EQ(opaque.image->GetWidth(), 3);

    // The rectangle form blurs and moves only around its rectangle.
    Attached rect(GreyRgb(Grid(12, std::vector<int>(30, 200))));
    TKVBitmap* plane = rect.image->GetAlphaChannel();
    plane->FillRect(0, 0, 29, 11, 0);
    plane->FillRect(3, 3, 5, 5, 255);
    plane->FillRect(25, 3, 27, 5, 255);
    // Radius 0 spreads as 2.0 does: 10 pixels, and twice the offset.
    EXPECT_EQ(_KVAddSoftShadowRect(rect.image.get(), 0, 1, 1, 3, 3, 5, 5), 12);
    EXPECT_EQ(Channel(rect.image.get(), 0)[6][6], 0) << "under the first rectangle";
    EXPECT_EQ(Channel(rect.image.get(), 0)[6][28], 200) << "the second rectangle casts nothing";
    EXPECT_EQ(rect.image->GetAlphaChannel()->GetPixels_kv8(4, 4), 255);
}

TEST(Sharpen, MatchesTheReferenceAndLeavesEmptyWindowsAlone)
{
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    Attached a(Copy(crop.get()));
    a.proc.Sharpen(15, 5);
    EXPECT_EQ(MaxDifference(a.image.get(), Reference("window-sharpen.ppm").get()), 0);
    EXPECT_EQ(a.proc.UndoCaptions(0), "Sharpen");
    ExpectUnchanged(crop.get(), {{"intensity 0", [](TKorvaneProc& p) { p.Sharpen(0, 5); }},
                                 {"neighbourhood 1", [](TKorvaneProc& p) { p.Sharpen(20, 1); }},
                                 {"neighbourhood -7", [](TKorvaneProc& p) { p.Sharpen(20, -7); }}});
    auto line = GreyRgb({{10, 200, 30, 90}});
    ExpectUnchanged(line.get(), {{"one row", [](TKorvaneProc& p) { p.Sharpen(30, 3); }}});
}

TEST(Morphology, MatchesTheReferenceOnTheRose)
{
    auto rose = Rose();
    ASSERT_NE(rose, nullptr) << "ImageMagick is not installed";
    struct Case
    {
        Operation apply;
        const char* reference;
        const char* caption;
    };
    const Case cases[] = {{[](TKorvaneProc& p) { p.Maximum(2); }, "window-morph0-2.ppm", "Maximum 2"},
                          {[](TKorvaneProc& p) { p.Minimum(1); }, "window-morph1-1.ppm", "Minimum 1"},
                          {[](TKorvaneProc& p) { p.Opening(1); }, "window-morph2-1.ppm", "Opening 1"},
                          {[](TKorvaneProc& p) { p.Closing(2); }, "window-morph3-2.ppm", "Closing 2"}};
    for (const Case& c : cases) {
        Attached a(Copy(rose.get()));
        c.apply(a.proc);
        EXPECT_EQ(MaxDifference(a.image.get(), Reference(c.reference).get()), 0) << c.reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), c.caption);
    }
    ExpectUnchanged(rose.get(), {{"window 0", [](TKorvaneProc& p) { p.Maximum(0); }},
                                 {"negative window", [](TKorvaneProc& p) { p.Minimum(-3); }}});
}

TEST(Morphology, FirstPixelInScanOrderWinsAndHugeWindowsCoverTheRectangle)
{
    // Greys: blue 100 is 8, red 30 is 6, green 4 is 2; the two 8s compete in scan order.
    const Grid blue = {{0, 100, 0, 0}, {0, 0, 0, 0}, {100, 0, 0, 0}};
    const Grid green = {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 0, 0, 0}};
    const Grid red = {{0, 0, 0, 30}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    auto image = Rgb(blue, green, red);
    _MorphFilter(image.get(), 1, 0, 0, 0, 4, 3);
    EXPECT_EQ(Channel(image.get(), 0), (Grid{{100, 100, 100, 0}, {100, 100, 100, 0}, {100, 100, 0, 0}}));
    EXPECT_EQ(Channel(image.get(), 2), (Grid{{0, 0, 0, 30}, {0, 0, 0, 30}, {0, 0, 0, 0}}));
    EXPECT_EQ(Channel(image.get(), 1)[2][3], 0) << "an all-black window keeps the centre";

    // Any window past the rectangle gives every pixel the rectangle's first brightest pixel.
    auto huge = GreyRgb({{5, 9, 1}, {9, 3, 2}});
    _MorphFilter(huge.get(), std::numeric_limits<int32_t>::max(), 0, 0, 0, 3, 2);
    EXPECT_EQ(Channel(huge.get(), 0), (Grid{{9, 9, 9}, {9, 9, 9}}));
    auto rect = GreyRgb({{5, 9, 1, 200}, {9, 3, 2, 0}});
    _MorphFilter(rect.get(), 1, 1, 0, 0, 3, 2);
    EXPECT_EQ(Channel(rect.get(), 0), (Grid{{3, 1, 1, 200}, {3, 1, 1, 0}}))
        << "positions cut to the rectangle";
}

TEST(MedianFilter, MatchesTheReferenceInEachMode)
{
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    struct Case
    {
        int p[6];
        TKVMedFilType type;
        const char* reference;
    };
    const Case cases[] = {{{5, 5, 50, 0, 0, 0}, mfMedianFilter, "window-median5x5.ppm"},
                          {{4, 3, 50, 0, 0, 40}, mfMedianFilter, "window-median4x3.ppm"},
                          {{3, 3, 60, 0, 50, 0}, mfSharpen, "window-median-sharpen.ppm"},
                          {{3, 3, 50, 30, 0, 50}, mfEdgeExtract, "window-median-edges.ppm"}};
    for (const Case& c : cases) {
        Attached a(Copy(crop.get()));
        a.proc.MedianFilter(c.p[0], c.p[1], c.p[2], c.p[3], c.p[4], c.p[5], c.type);
        EXPECT_EQ(MaxDifference(a.image.get(), Reference(c.reference).get()), 0) << c.reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), "MedianFilter");
    }
    // An even window spans x - hw .. x - hw + p1 - 1 and its centres hw + 1 .. width - hw - 1:
    // with a 2 x 1 window the first column and the last never change.
    auto row = GreyRgb({{10, 20, 30, 40, 50}});
    _KVMedianFilter(row.get(), 2, 1, 50, 0, 0, 0, mfMedianFilter);
    EXPECT_EQ(Channel(row.get(), 0), (Grid{{10, 20, 20, 30, 50}}));

    ExpectUnchanged(
        crop.get(),
        {{"p1 0", [](TKorvaneProc& p) { p.MedianFilter(0, 3, 50, 0, 0, 0, mfMedianFilter); }},
         {"p2 -1", [](TKorvaneProc& p) { p.MedianFilter(3, -1, 50, 0, 0, 0, mfSharpen); }},
         {"1 x 1", [](TKorvaneProc& p) { p.MedianFilter(1, 1, 50, 0, 0, 0, mfMedianFilter); }},
         {"A = N", [](TKorvaneProc& p) { p.MedianFilter(3, 3, 50, 0, 109, 0, mfSharpen); }},
         {"huge", [](TKorvaneProc& p) { p.MedianFilter(1 << 30, 1 << 30, 50, 0, 0, 0, mfMedianFilter); }},
         {"huge, widest ranks",
          [](TKorvaneProc& p) { p.MedianFilter(INT_MAX, INT_MAX, 50, 0, 0, 1000, mfMedianFilter); }},
         {"huge, narrowest ranks",
          [](TKorvaneProc& p) { p.MedianFilter(INT_MAX, INT_MAX, 50, 0, 0, INT_MIN, mfMedianFilter); }}});
    // Ranks widened past both ends of the window give the same picture however far they go.
    for (const auto& [far, farther] : {std::pair{100, INT_MAX}, std::pair{-300, INT_MIN}}) {
        Attached a(Copy(crop.get())), b(Copy(crop.get()));
        a.proc.MedianFilter(5, 5, 50, 0, 0, far, mfMedianFilter);
        b.proc.MedianFilter(5, 5, 50, 0, 0, farther, mfMedianFilter);
        EXPECT_EQ(MaxDifference(a.image.get(), b.image.get()), 0) << farther;
    }
}

TEST(WallisFilter, MatchesTheReferenceAndRefusesWindowsPastThePicture)
{
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    for (bool binary : {false, true}) {
        Attached a(Copy(crop.get()));
        a.proc.WallisFilter(30, 40, 50, 40, 3, 40, 30, binary);
        const char* reference = binary ? "window-wallis-binary.ppm" : "window-wallis.ppm";
        EXPECT_LE(MaxDifference(a.image.get(), Reference(reference).get()), 1) << reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), "MedianFilter");
    }
    ExpectUnchanged(crop.get(), {{"window past the picture", [](TKorvaneProc& p) {
                                      p.WallisFilter(500, 40, 50, 40, 3, 40, 30, false);
                                  }}});
    // Gain 0 and a zero target deviation: every lightness becomes the window mean.
    auto flat = GreyRgb(Grid(5, std::vector<int>(6, 128)));
    _KVWallisFilter(flat.get(), 10, 10, 50, 0, 0, 0, 30, false);
    EXPECT_EQ(Channel(flat.get(), 0), Grid(5, std::vector<int>(6, 128)));
}

TEST(WindowFilters, MethodsDeclineOtherFormatsAndKeepToTheSelection)
{
    Attached bits(Bits({{1, 0, 1}, {0, 1, 0}}));
    bits.proc.Sharpen(10, 3);
    EXPECT_EQ(bits.proc.UndoCount(), 0);
    bits.proc.Maximum(1);
    bits.proc.MedianFilter(3, 3, 50, 0, 0, 0, mfMedianFilter);
    bits.proc.WallisFilter(30, 30, 50, 40, 3, 40, 30, true);
    EXPECT_EQ(bits.proc.UndoCount(), 3) << "saved first, the worker declines";
    EXPECT_EQ(Levels(bits.image.get()), (Grid{{1, 0, 1}, {0, 1, 0}}));

    ViewAndProc selected(GreyRgb({{0, 0, 0}, {0, 90, 0}, {0, 0, 0}}));
    selected.view.Select([](int x, int y) { return x + y == 2; });
    selected.proc.Maximum(1);
    EXPECT_EQ(Channel(selected.view.Image(), 0), (Grid{{0, 0, 90}, {0, 90, 0}, {90, 0, 0}}));
}
