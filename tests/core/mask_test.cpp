// The selection mask: pixels and box, polygon fill, moves and the Full flag.
#include "imaging/core/mask.h"

#include "imaging/core/kvbitmap.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The mask as rows of '#' (set) and '.' (clear), top row first.
std::vector<std::string> Picture(const TKVMask& mask)
{
    std::vector<std::string> rows;
    for (int32_t y = 0; y < mask.Height; ++y) {
        std::string row;
        for (int32_t x = 0; x < mask.Width; ++x)
            row += mask.GetPixel(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

struct Box
{
    int32_t x1, y1, x2, y2;
    friend bool operator==(const Box&, const Box&) = default;
};

Box BoxOf(const TKVMask& mask)
{
    return {mask.x1, mask.y1, mask.x2, mask.y2};
}

std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << "(" << b.x1 << "," << b.y1 << ")-(" << b.x2 << "," << b.y2 << ")";
}

constexpr Box kEmpty = {0x7FFFFFFF, 0x7FFFFFFF, 0, 0};

TEST(Mask, PixelsAndBox)
{
    for (int32_t bits : {1, 8}) {
        TKVMask mask;
        EXPECT_TRUE(mask.IsEmpty());
        EXPECT_EQ(mask.GetPixel(0, 0), 0);
        mask.AllocateBits(10, 4, bits);
        EXPECT_EQ(mask.RowLen, bits == 1 ? 4 : 12);
        EXPECT_TRUE(mask.IsEmpty());

        for (auto [x, y] : {std::pair{-1, 0}, {10, 0}, {0, -1}, {0, 4}})
            mask.SetPixel(x, y, 200);
        EXPECT_EQ(BoxOf(mask), kEmpty) << "outside the mask nothing changes";

        mask.SetPixel(3, 1, 200);
        mask.SetPixel(7, 2, 200);
        EXPECT_EQ(BoxOf(mask), (Box{3, 1, 7, 2}));
        EXPECT_EQ(mask.GetPixel(3, 1), bits == 1 ? 0x10 : 200);
        EXPECT_EQ(mask.GetPixel(7, 2), bits == 1 ? 0x01 : 200);
        EXPECT_TRUE(mask.IsPointInside(7, 2));
        // Row 1 from the top lies second from the bottom of the block.
        EXPECT_EQ(mask.GetScanLine(1), mask.GetScanLine(3) + 2 * mask.RowLen);

        mask.SetPixel(3, 1, 0);
        EXPECT_FALSE(mask.IsPointInside(3, 1));
        EXPECT_EQ(BoxOf(mask), (Box{3, 1, 7, 2})) << "clearing never shrinks the box";

        mask.Empty();
        EXPECT_TRUE(mask.IsEmpty());
        EXPECT_FALSE(mask.IsPointInside(7, 2));
    }
}

TEST(Mask, FullFollowsWritesOfEightBitMasks)
{
    TKVMask mask;
    mask.AllocateBits(5, 3, 8);
    EXPECT_FALSE(mask.Full);
    mask.Fill(255);
    EXPECT_TRUE(mask.Full);
    mask.SetPixel(1, 1, 255);
    EXPECT_TRUE(mask.Full);
    mask.SetPixel(1, 1, 254);
    EXPECT_FALSE(mask.Full);
    mask.SetPixel(1, 1, 255);
    EXPECT_FALSE(mask.Full) << "padding bytes are still 255 but only SyncFull finds out";
    mask.SyncFull();
    EXPECT_TRUE(mask.Full);
    mask.DrawHorizontalLine(7, 0, 1, 2);
    EXPECT_FALSE(mask.Full);
    mask.SyncFull();
    EXPECT_FALSE(mask.Full);

    TKVMask copy;
    mask.Fill(255);
    copy.Assign(&mask);
    EXPECT_TRUE(copy.Full);
    copy.Resize(6, 3);
    EXPECT_FALSE(copy.Full) << "the new column is zero";
}

TEST(Mask, HorizontalLinesClampColumnsAndSkipRowsOutside)
{
    TKVMask mask;
    mask.AllocateBits(12, 3, 1);
    EXPECT_EQ(mask.DrawHorizontalLine(1, -5, 3, 0), 4);
    EXPECT_EQ(mask.DrawHorizontalLine(1, 9, 40, 2), 3);
    EXPECT_EQ(mask.DrawHorizontalLine(1, 5, 4, 1), 0);
    EXPECT_EQ(mask.DrawHorizontalLine(1, 0, 11, -1), 0);
    EXPECT_EQ(mask.DrawHorizontalLine(1, 0, 11, 3), 0);
    EXPECT_EQ(Picture(mask), (std::vector<std::string>{"####........", "............", ".........###"}));

    // Value 0 clears the run of a 1-bit mask.
    mask.DrawHorizontalLine(1, 0, 11, 1);
    EXPECT_EQ(mask.DrawHorizontalLine(0, 2, 9, 1), 8);
    EXPECT_EQ(Picture(mask)[1], "##........##");
    EXPECT_EQ(BoxOf(mask), kEmpty) << "lines leave the box to their caller";
}

TEST(Mask, TriangleLeavesItsLastRowAndRightEdgeOpen)
{
    TKVMask mask;
    mask.AllocateBits(12, 12, 1);
    const TPoint triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    mask.DrawPolygon(1, triangle, 3);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x)
            EXPECT_EQ(mask.IsPointInside(x, y), x + y <= 9) << x << "," << y;
    EXPECT_EQ(BoxOf(mask), (Box{0, 0, 9, 9}));
}

TEST(Mask, SeparatedFiguresAndCrossingEdges)
{
    TKVMask mask;
    mask.AllocateBits(16, 16, 8);
    const TPoint squares[] = {{0, 0},   {4, 0},   {4, 4},   {0, 4},  {KVPolygonSeparator, 0},
                              {10, 10}, {14, 10}, {14, 14}, {10, 14}};
    mask.DrawPolygon(90, squares, 9);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const bool inFirst = x < 4 && y < 4;
            const bool inSecond = x >= 10 && x < 14 && y >= 10 && y < 14;
            EXPECT_EQ(mask.GetPixel(x, y), inFirst || inSecond ? 90 : 0) << x << "," << y;
        }
    EXPECT_EQ(BoxOf(mask), (Box{0, 0, 13, 13}));

    // A bow tie: the two lobes meet where the edges cross and both are filled.
    TKVMask tie;
    tie.AllocateBits(10, 10, 1);
    const TPoint bow[] = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};
    tie.DrawPolygon(1, bow, 4);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            EXPECT_EQ(tie.IsPointInside(x, y), x < std::min(y, 10 - y) || x >= std::max(y, 10 - y))
                << x << "," << y;
}

TEST(Mask, FiguresPastTheEdgesFillOnlyWhatLiesInside)
{
    TKVMask mask;
    mask.AllocateBits(6, 6, 1);
    const TPoint above[] = {{1, -5}, {3, -5}, {3, 2}, {1, 2}};
    const TPoint below[] = {{4, 5}, {6, 5}, {6, 30}, {4, 30}};
    const TPoint outside[] = {{0, 20}, {5, 20}, {5, 25}, {0, 25}};
    mask.DrawPolygon(1, above, 4);
    mask.DrawPolygon(1, below, 4);
    mask.DrawPolygon(1, outside, 4);
    EXPECT_EQ(Picture(mask),
              (std::vector<std::string>{".##...", ".##...", "......", "......", "......", "....##"}));
    EXPECT_EQ(BoxOf(mask), (Box{1, 0, 5, 5})) << "the figure outside keeps the box of the others";

    // Value 0 erases a figure from a 1-bit mask.
    const TPoint eraser[] = {{0, 0}, {6, 0}, {6, 1}, {0, 1}};
    mask.DrawPolygon(0, eraser, 4);
    EXPECT_EQ(Picture(mask)[0], "......");
    EXPECT_EQ(Picture(mask)[1], ".##...");
}

TEST(Mask, NegativeFlipsPixelsAndRecomputesTheBox)
{
    TKVMask mask;
    mask.AllocateBits(10, 3, 1);
    mask.Negative();
    EXPECT_TRUE(mask.IsEmpty()) << "an empty mask is left alone";
    mask.SetPixel(2, 1, 1);
    mask.Negative();
    EXPECT_EQ(Picture(mask), (std::vector<std::string>{"##########", "##.#######", "##########"}));
    EXPECT_EQ(BoxOf(mask), (Box{0, 0, 9, 2}));
    EXPECT_EQ(mask.GetScanLine(0)[1], 0xC0) << "padding bits stay clear";

    TKVMask alpha;
    alpha.AllocateBits(3, 3, 8);
    alpha.SetPixel(1, 1, 40);
    alpha.Negative();
    EXPECT_EQ(alpha.GetPixel(1, 1), 40) << "8-bit masks are left alone";
}

TEST(Mask, TranslateMovesTheBoxContent)
{
    struct Case
    {
        int32_t bits;
        bool clip;
        int32_t dx, dy;
        int32_t wantDx, wantDy;
        std::vector<std::string> picture;
        Box box;
    };
    // The mask starts with columns 3..7 set in rows 1..2 of a 10 x 4 mask.
    const Case cases[] = {
        {1, false, 1, 1, 1, 1, {"..........", "..........", "....#####.", "....#####."}, {4, 2, 8, 3}},
        {1, false, 5, -3, 2, -1, {".....#####", ".....#####", "..........", ".........."}, {5, 0, 9, 1}},
        {8, false, -9, 9, -3, 1, {"..........", "..........", "#####.....", "#####....."}, {0, 2, 4, 3}},
        {1, true, 4, 0, 4, 0, {"..........", ".......###", ".......###", ".........."}, {7, 1, 9, 2}},
        {8, true, -5, 2, -5, 2, {"..........", "..........", "..........", "###......."}, {0, 3, 2, 3}},
        {1, true, 20, 0, 20, 0, {"..........", "..........", "..........", ".........."}, kEmpty},
        {1, true, 0, 0, 0, 0, {"..........", "...#####..", "...#####..", ".........."}, {3, 1, 7, 2}},
    };
    for (const Case& c : cases) {
        TKVMask mask;
        mask.AllocateBits(10, 4, c.bits);
        for (int32_t y = 1; y <= 2; ++y)
            for (int32_t x = 3; x <= 7; ++x)
                mask.SetPixel(x, y, 255);
        int32_t dx = c.dx, dy = c.dy;
        mask.TranslateBitmap(dx, dy, c.clip);
        const std::string label = std::to_string(c.bits) + " bits, clip " + std::to_string(c.clip) + ", by " +
                                  std::to_string(c.dx) + "," + std::to_string(c.dy);
        EXPECT_EQ(dx, c.wantDx) << label;
        EXPECT_EQ(dy, c.wantDy) << label;
        EXPECT_EQ(Picture(mask), c.picture) << label;
        EXPECT_EQ(BoxOf(mask), c.box) << label;
    }

    TKVMask empty;
    empty.AllocateBits(10, 4, 1);
    int32_t dx = 3, dy = 2;
    empty.TranslateBitmap(dx, dy, false);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(dx, 3);
    EXPECT_EQ(dy, 2);
}

TEST(Mask, ResizeKeepsPixelsInPlace)
{
    TKVMask mask;
    mask.AllocateBits(9, 3, 1);
    mask.SetPixel(0, 0, 1);
    mask.SetPixel(8, 2, 1);
    mask.SetPixel(4, 1, 1);
    mask.Resize(5, 2);
    EXPECT_EQ(Picture(mask), (std::vector<std::string>{"#....", "....#"}));
    EXPECT_EQ(BoxOf(mask), (Box{0, 0, 4, 1}));
    mask.Resize(7, 4);
    EXPECT_EQ(Picture(mask), (std::vector<std::string>{"#......", "....#..", ".......", "......."}));
    EXPECT_EQ(mask.RowLen, 4);
}

TEST(Mask, RefusesImpossibleSizes)
{
    TKVMask mask;
    EXPECT_ANY_THROW(mask.AllocateBits(10, 10, 4));
    EXPECT_ANY_THROW(mask.AllocateBits(-1, 10, 1));
    EXPECT_ANY_THROW(mask.AllocateBits(0x7FFFFFFF, 0x7FFFFFFF, 8));
    mask.AllocateBits(0, 0, 8);
    mask.SetPixel(0, 0, 1);
    EXPECT_EQ(mask.DrawHorizontalLine(1, 0, 5, 0), 0);
    EXPECT_TRUE(mask.IsEmpty());
}

// ---- Drawing and copies through the mask
// ------------------------------------------------------

std::unique_ptr<TBitmap> Raster(int32_t width, int32_t height, TColor colour)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    bitmap->Canvas()->Brush()->SetColor(colour);
    bitmap->Canvas()->FillRect(Rect(0, 0, width, height));
    return bitmap;
}

// The raster as rows of letters: each colour of the legend by its letter, '?'
// for others.
std::vector<std::string> Letters(TBitmap& bitmap, const std::vector<std::pair<TColor, char>>& legend)
{
    std::vector<std::string> rows;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        std::string row;
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            char letter = '?';
            for (const auto& [colour, c] : legend)
                if (ColorToRGB(bitmap.Canvas()->Pixels(x, y)) == ColorToRGB(colour))
                    letter = c;
            row += letter;
        }
        rows.push_back(row);
    }
    return rows;
}

void SquareMask(TKVMask& mask, int32_t side, int32_t from, int32_t to)
{
    mask.AllocateBits(side, side, 1);
    for (int32_t y = from; y <= to; ++y)
        mask.DrawHorizontalLine(1, from, to, y);
    mask.x1 = mask.y1 = from;
    mask.x2 = mask.y2 = to;
}

TEST(MaskDrawing, InvertsOutlinesAndVeils)
{
    const std::vector<std::pair<TColor, char>> legend = {
        {clWhite, '.'}, {clBlack, '#'}, {clRed, 'A'}, {clBlue, 'B'}};

    TKVMask mask;
    SquareMask(mask, 4, 1, 2);
    auto canvas = Raster(4, 4, clWhite);
    mask.InvertCanvas(canvas->Canvas(), 0, 0, 4, 4, 0, 0, 4, 4);
    EXPECT_EQ(Letters(*canvas, legend), (std::vector<std::string>{"....", ".##.", ".##.", "...."}));

    TKVMask ring;
    SquareMask(ring, 6, 1, 4);
    auto outline = Raster(6, 6, clWhite);
    ring.DrawOutline(outline->Canvas(), 0, 0, 6, 6, 0, 0, 6, 6, 0, clRed, clBlue, 1.0);
    EXPECT_EQ(Letters(*outline, legend),
              (std::vector<std::string>{"......", ".BBAA.", ".B..A.", ".A..A.", ".AAAB.", "......"}));
    // The stripes move with the phase.
    ring.DrawOutline(outline->Canvas(), 0, 0, 6, 6, 0, 0, 6, 6, 4, clRed, clBlue, 1.0);
    EXPECT_EQ(Letters(*outline, legend)[1], ".AABB.");

    TKVMask square;
    SquareMask(square, 6, 2, 3);
    auto veiled = Raster(6, 6, clBlack);
    square.DrawOuter(veiled.get(), 0, 0, 6, 6, 0, 0, 6, 6);
    EXPECT_EQ(Letters(*veiled, legend),
              (std::vector<std::string>{".#.#.#", "######", ".###.#", "######", ".#.#.#", "######"}));

    // Twice the size: each mask pixel covers 2 x 2, and the veil keeps its
    // one-pixel grid.
    auto zoomed = Raster(12, 12, clBlack);
    square.DrawOuter(zoomed.get(), 0, 0, 12, 12, 0, 0, 6, 6);
    const auto rows = Letters(*zoomed, legend);
    EXPECT_EQ(rows[4], ".#.#####.#.#");
    EXPECT_EQ(rows[0], ".#.#.#.#.#.#");

    // An empty mask draws nothing.
    TKVMask empty;
    empty.AllocateBits(4, 4, 1);
    auto untouched = Raster(4, 4, clWhite);
    empty.InvertCanvas(untouched->Canvas(), 0, 0, 4, 4, 0, 0, 4, 4);
    empty.DrawOutline(untouched->Canvas(), 0, 0, 4, 4, 0, 0, 4, 4, 0, clRed, clBlue, 1.0);
    empty.DrawOuter(untouched.get(), 0, 0, 4, 4, 0, 0, 4, 4);
    EXPECT_EQ(Letters(*untouched, legend), std::vector<std::string>(4, "...."));
}

TEST(MaskDrawing, CopiesThroughTheMask)
{
    auto image = [](std::vector<TRGB> pixels) {
        auto bitmap = std::make_unique<TKVBitmap>();
        bitmap->Allocate(int32_t(pixels.size()), 1, kv24RGB);
        for (size_t x = 0; x < pixels.size(); ++x)
            bitmap->SetPixels_kv24RGB(int32_t(x), 0, pixels[x]);
        return bitmap;
    };
    auto row = [](TKVBitmap& bitmap) {
        std::vector<TRGB> pixels;
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x)
            pixels.push_back(bitmap.GetPixels_kv24RGB(x, 0));
        return pixels;
    };
    const TRGB s = {200, 0, 10}, d = {100, 255, 10};

    TKVMask selection;
    selection.AllocateBits(3, 1, 1);
    selection.SetPixel(1, 0, 1);
    auto dest = image({d, d, d});
    auto source = image({s, s, s});
    selection.CopyKVBitmap(dest.get(), source.get(), false, false, false);
    EXPECT_EQ(row(*dest), (std::vector<TRGB>{d, s, d}));

    // A destination holding only the box takes mask pixel (1, 0) at its (0, 0).
    auto boxOnly = image({d});
    selection.CopyKVBitmap(boxOnly.get(), source.get(), true, false, true);
    EXPECT_EQ(row(*boxOnly), (std::vector<TRGB>{s}));
    ASSERT_TRUE(boxOnly->GetHasAlphaChannel());
    EXPECT_EQ(boxOnly->GetAlphaChannel()->GetPixels_kv8(0, 0), 255);
    EXPECT_FALSE(boxOnly->GetAlphaChannel()->Full);

    // An 8-bit mask blends: d + floor((s - d) x m / 256), also downwards.
    TKVMask alpha;
    alpha.AllocateBits(3, 1, 8);
    alpha.SetPixel(0, 0, 128);
    alpha.SetPixel(2, 0, 255);
    auto blended = image({d, d, d});
    alpha.CopyKVBitmap(blended.get(), source.get(), false, false, false);
    EXPECT_EQ(row(*blended), (std::vector<TRGB>{{150, 127, 10}, d, {199, 0, 10}}));

    // The alpha copy: the source's alpha where the mask is set, 0 elsewhere in
    // the box.
    TKVMask wide;
    wide.AllocateBits(3, 1, 1);
    wide.SetPixel(0, 0, 1);
    wide.SetPixel(2, 0, 1);
    wide.SetPixel(1, 0, 0);
    source->SetAlpha(0, 0, 40);
    auto withAlpha = image({d, d, d});
    wide.CopyKVBitmapAlpha(withAlpha.get(), source.get(), false, false);
    const TKVBitmap* a = withAlpha->GetAlphaChannel();
    EXPECT_EQ(const_cast<TKVBitmap*>(a)->GetPixels_kv8(0, 0), 40);
    EXPECT_EQ(const_cast<TKVBitmap*>(a)->GetPixels_kv8(1, 0), 0);
    EXPECT_EQ(const_cast<TKVBitmap*>(a)->GetPixels_kv8(2, 0), 255);

    // Class-library bitmaps of 1 bit copy bits where the mask is set.
    TBitmap monoDest, monoSource;
    for (TBitmap* b : {&monoDest, &monoSource}) {
        b->SetPixelFormat(pf1bit);
        b->SetSize(8, 1);
    }
    monoSource.ScanLine(0)[0] = 0xFF;
    wide.CopyBitmap(&monoDest, &monoSource, false, false);
    EXPECT_EQ(monoDest.ScanLine(0)[0], 0xA0);
}

} // namespace
