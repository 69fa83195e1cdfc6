// Shen-Castan edges, the Hough transform, skew and orientation, against the results that
// reference/edge_reference.py works out and on pages of text drawn and turned by known angles.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"

#include "platform/core/random.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace proctest;
using namespace Korvaneproc;

namespace {

// A white 24-bit page with lines of black text in Liberation Sans, turned counter-clockwise by
// the angle on white, then made black and white and salted with a few black pixels.
std::unique_ptr<TKVBitmap> Page(double angle, bool quarter = false)
{
    TBitmap page;
    page.SetPixelFormat(pf24bit);
    page.SetSize(480, 360);
    TCanvas* canvas = page.Canvas();
    canvas->Brush()->SetColor(clWhite);
    canvas->FillRect(Rect(0, 0, 480, 360));
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetSize(14);
    const char* lines[] = {
        "Plimbet turns a folder of pictures",     "into a static web gallery with pages",
        "of thumbnails, each linked to its",      "picture and to the next page of the",
        "gallery, in a template of your choice.", "Korvane reads, turns and filters them."};
    for (int i = 0; i < 6; ++i)
        canvas->TextOut(40, 60 + 40 * i, lines[i]);
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->CopyFromTBitmap(&page);
    if (quarter) {
        TKVBitmap turned;
        _Rot90Ex(bitmap.get(), &turned);
        bitmap->Assign(&turned);
    }
    if (angle != 0)
        _RotateEx(bitmap.get(), angle, false, TRGB{255, 255, 255});
    TProgressRec progress;
    _ConvertToBWThreshold(bitmap.get(), 128, progress);
    RandSeed = 99;
    for (int i = 0; i < 300; ++i)
        bitmap->SetPixels_kv1g(Random(bitmap->GetWidth()), Random(bitmap->GetHeight()), false);
    return bitmap;
}

// A reference PGM of 0 and 255 as levels 0 and 1.
Grid BitLevels(const char* reference)
{
    Grid g = Levels(Reference(reference).get());
    for (auto& row : g)
        for (int& v : row)
            v = v != 0;
    return g;
}

} // namespace

TEST(EdgeDetection, MatchesTheReferenceAndFindsNothingOnUniformPictures)
{
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    Attached a(Copy(crop.get()));
    std::vector<int32_t> percents;
    a.proc.OnProgress = [&](TObject*, int32_t per) { percents.push_back(per); };
    a.proc.EdgeDetect_ShenCastan(0.99, 0.9, 7, 0, true);
    ASSERT_EQ(a.image->GetPixelFormat(), kv1g);
    EXPECT_EQ(Levels(a.image.get()), BitLevels("edges-hysteresis.pgm"));
    EXPECT_EQ(percents, (std::vector<int32_t>{16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(a.proc.UndoCaptions(0), "EdgeDetect");

    auto thin = Copy(crop.get());
    TProgressRec progress;
    _KVEdgeDetect_ShenCastan(thin.get(), thin.get(), 0.7, 0.6, 5, 2, false, progress);
    EXPECT_EQ(Levels(thin.get()), BitLevels("edges-thin.pgm"));

    // Pictures smaller than the wrapped border, and uniform ones, give white only.
    for (auto [w, h] : {std::pair{10, 8}, std::pair{1, 1}, std::pair{60, 3}}) {
        auto uniform = Blank(w, h, kv24RGB, 120);
        TKVBitmap edges;
        _KVEdgeDetect_ShenCastan(uniform.get(), &edges, 0.99, 0.9, 7, 0, true, progress);
        EXPECT_EQ(Levels(&edges), Grid(size_t(h), std::vector<int>(size_t(w), 1))) << w << "x" << h;
    }
    Attached grey(Blank(20, 20, kv8g, 9));
    grey.proc.EdgeDetect_ShenCastan(0.99, 0.9, 7, 0, true);
    EXPECT_EQ(grey.image->GetPixelFormat(), kv8g);
    EXPECT_EQ(grey.proc.UndoCount(), 0);
}

TEST(HoughTransform, HandCasesAndArguments)
{
    Grid lines(40, std::vector<int>(300, 1));
    for (int x = 5; x < 295; ++x)
        lines[10][x] = lines[30][x] = 0;
    auto page = Bits(lines);
    TProgressRec progress;
    EXPECT_EQ(_kvhough(page.get(), progress, 20, 0.5), 0.0f);
    EXPECT_FLOAT_EQ(_kvhough(page.get(), progress, 20, 0.1), -0.1f) << "a tie: the first angle wins";
    EXPECT_EQ(_kvhough(page.get(), progress, 20, 0.55), 0.0f) << "cut to 0.5";
    for (double precision : {0.05, 1.5, std::nan("")})
        EXPECT_EQ(_kvhough(page.get(), progress, 20, precision), 0.0f) << precision;
    EXPECT_EQ(_kvhough(page.get(), progress, 181, 0.5), 0.0f);
    auto colour = GreyRgb(lines);
    EXPECT_EQ(_kvhough(colour.get(), progress, 20, 0.5), 0.0f) << "only 1-bit pictures";
    auto white = Blank(50, 20, kv1g, 255);
    EXPECT_EQ(_kvhough(white.get(), progress, 180, 1.0), -90.0f) << "no black pixel";
    // The corner pixel's rounded terms fall just outside the accumulator at some angles.
    Grid corner(100, std::vector<int>(100, 1));
    corner[0][0] = 0;
    EXPECT_EQ(_kvhough(Bits(corner).get(), progress, 180, 1.0), -90.0f);
}

TEST(SkewDetection, FindsTheTiltOfTurnedPages)
{
    TKorvaneProc proc(nullptr);
    for (double angle : {0.0, 2.0, -3.5}) {
        auto page = Page(angle);
        proc.SetAttachedKVBitmap(page.get());
        EXPECT_NEAR(proc.SkewDetection(0, 20, 0.5, false), -angle, 0.5) << angle;
        EXPECT_NEAR(proc.SkewDetection(240, 20, 0.5, false), -angle, 1.0) << "reduced, " << angle;
        EXPECT_NEAR(proc.SkewDetectionFine(0, 0.5, 10, false), -angle, 0.5) << angle;
        EXPECT_NEAR(proc.SkewDetectionFine(0, 0.5, 10, true), -angle, 0.5) << angle;
    }
    auto page = Page(2.0);
    proc.SetAttachedKVBitmap(page.get());
    EXPECT_EQ(proc.SkewDetectionFine(1.25, 0.5, 0, false), 1.25) << "range 0";
    EXPECT_EQ(proc.SkewDetectionFine(1.25, 0, 10, false), 1.25) << "resolution 0";
    EXPECT_EQ(proc.SkewDetectionFine(1.25, std::nan(""), 10, false), 1.25);
    EXPECT_EQ(proc.SkewDetectionFine(1.25, 1e-9, 10, false), 1.25) << "too many trials";
    // Black on the black background every turn measures the same: the first offset, 0, stays.
    auto black = Blank(300, 200, kv1g, 0);
    proc.SetAttachedKVBitmap(black.get());
    EXPECT_EQ(proc.SkewDetectionFine(0.75, 0.5, 10, true), 0.75);
}

TEST(SkewDetection, OrientationAndLongPictures)
{
    TKorvaneProc proc(nullptr);
    auto page = Page(0);
    proc.SetAttachedKVBitmap(page.get());
    EXPECT_EQ(proc.CalcOrientation(), 0);
    auto turned = Page(0, true);
    proc.SetAttachedKVBitmap(turned.get());
    EXPECT_EQ(proc.CalcOrientation(), 90);

    // Alternating rows over 3001 rows sum past 32 bits.
    Grid stripes(3001, std::vector<int>(8, 0));
    for (int y = 0; y < 3001; y += 2)
        stripes[y] = std::vector<int>(8, 1);
    EXPECT_EQ(_KVCalcVertOrientationFitness(Bits(stripes).get()), int64_t(3000) * 1000 * 1000);
}
