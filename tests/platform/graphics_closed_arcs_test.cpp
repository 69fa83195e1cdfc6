// Pie, Chord and PolyPolygon on a canvas, and DIBs whose colour table names entries of the
// palette selected into the canvas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/graphics/graphics.h"

namespace {

std::unique_ptr<TBitmap> White(int32_t width, int32_t height)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    bitmap->Canvas()->Brush()->SetColor(clWhite);
    bitmap->Canvas()->FillRect(Rect(0, 0, width, height));
    bitmap->Canvas()->Pen()->SetColor(clRed);
    bitmap->Canvas()->Brush()->SetColor(clBlue);
    return bitmap;
}

} // namespace

TEST(Canvas, PieAndChordCloseTheArcThroughTheCentreOrAcrossIt)
{
    // The box 0..40: the arc from the ray to the right to the ray upward, counter-clockwise.
    auto pie = White(41, 41);
    pie->Canvas()->Pie(0, 0, 41, 41, 40, 20, 20, 0);
    auto chord = White(41, 41);
    chord->Canvas()->Chord(0, 0, 41, 41, 40, 20, 20, 0);
    for (int32_t y = 0; y < 41; ++y) {
        for (int32_t x = 0; x < 41; ++x) {
            const double dx = x - 20, dy = 20 - y; // up is positive
            const bool inCircle = dx * dx + dy * dy < 18.5 * 18.5;
            const bool farFromEdges = dx > 1.5 && dy > 1.5;
            const TColor p = pie->Canvas()->Pixels(x, y);
            const TColor c = chord->Canvas()->Pixels(x, y);
            // Inside the quarter and clear of its outline the wedge is filled; the other three
            // quarters stay white, but for the outline on the radii.
            if (inCircle && farFromEdges) {
                EXPECT_EQ(p, clBlue) << x << "," << y;
            }
            if (dx < -1 || dy < -1) {
                EXPECT_EQ(p, clWhite) << x << "," << y;
                EXPECT_EQ(c, clWhite) << x << "," << y;
            }
            // The chord cuts the quarter along the line between the arc's ends.
            if (dx + dy < 18 && dx > 1 && dy > 1) {
                EXPECT_EQ(c, clWhite) << x << "," << y;
            }
            if (dx + dy > 22 && inCircle && farFromEdges) {
                EXPECT_EQ(c, clBlue) << x << "," << y;
            }
        }
    }
    // The radii of the pie are drawn with the pen; the chord has none.
    EXPECT_EQ(pie->Canvas()->Pixels(30, 20), clRed);
    EXPECT_EQ(pie->Canvas()->Pixels(20, 10), clRed);
    EXPECT_EQ(chord->Canvas()->Pixels(30, 20), clWhite);
    EXPECT_EQ(chord->Canvas()->Pixels(30, 10), clRed); // on the chord

    // Equal rays give the whole ellipse.
    auto whole = White(21, 21);
    whole->Canvas()->Chord(0, 0, 21, 21, 20, 10, 20, 10);
    EXPECT_EQ(whole->Canvas()->Pixels(5, 15), clBlue);
    EXPECT_EQ(whole->Canvas()->Pixels(15, 5), clBlue);
}

TEST(Canvas, PolyPolygonFillsInnerFiguresByTheFillMode)
{
    // A square with a smaller square inside, both running the same way round.
    const TPoint points[] = {{0, 0}, {30, 0}, {30, 30}, {0, 30}, {10, 10}, {20, 10}, {20, 20}, {10, 20}};
    const int32_t counts[] = {4, 4};
    for (int32_t mode : {ALTERNATE, WINDING}) {
        auto bitmap = White(31, 31);
        SetPolyFillMode(bitmap->Canvas(), mode);
        bitmap->Canvas()->PolyPolygon(points, counts, 2);
        EXPECT_EQ(bitmap->Canvas()->Pixels(5, 5), clBlue);
        EXPECT_EQ(bitmap->Canvas()->Pixels(15, 15), mode == WINDING ? clBlue : clWhite);
        EXPECT_EQ(bitmap->Canvas()->Pixels(10, 15), clRed); // both outlines are drawn
        EXPECT_EQ(bitmap->Canvas()->Pixels(0, 15), clRed);
    }
}

TEST(Canvas, PaletteIndexDibsTakeTheSelectedPaletteOrTheDefaultOne)
{
    // Three 8-bit pixels with a table of indexes 2, 0 and 25 (past a three-entry palette).
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 3 * 2);
    BITMAPINFOHEADER header;
    header.biWidth = 3;
    header.biHeight = 1;
    header.biBitCount = 8;
    header.biClrUsed = 3;
    std::memcpy(info.data(), &header, sizeof(header));
    const uint16_t indexes[] = {2, 0, 25};
    std::memcpy(info.data() + sizeof(header), indexes, sizeof(indexes));
    const uint8_t bits[4] = {0, 1, 2, 0};
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());

    auto bitmap = White(3, 1);
    TCanvas* canvas = bitmap->Canvas();
    HPALETTE palette = CreatePaletteOf({{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}});
    EXPECT_EQ(SelectPalette(canvas, palette, false), nullptr);
    EXPECT_EQ(RealizePalette(canvas), 3u);
    EXPECT_EQ(StretchDIBits(canvas, 0, 0, 3, 1, 0, 0, 3, 1, bits, bmi, DIB_PAL_COLORS, SRCCOPY), 1);
    EXPECT_EQ(canvas->Pixels(0, 0), clBlue);
    EXPECT_EQ(canvas->Pixels(1, 0), clRed);
    EXPECT_EQ(canvas->Pixels(2, 0), clRed); // an index past the palette gives its first entry

    // The default palette: index 2 is dark green, 0 black, 25 past its twenty colours.
    EXPECT_EQ(SelectPalette(canvas, nullptr, false), palette);
    EXPECT_EQ(StretchDIBits(canvas, 0, 0, 3, 1, 0, 0, 3, 1, bits, bmi, DIB_PAL_COLORS, SRCCOPY), 1);
    EXPECT_EQ(canvas->Pixels(0, 0), TColor(0x008000));
    EXPECT_EQ(canvas->Pixels(1, 0), clBlack);
    EXPECT_EQ(canvas->Pixels(2, 0), clBlack);
    DeleteObject(palette);
}
