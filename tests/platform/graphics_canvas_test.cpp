// TCanvas: pens and mix modes, shapes, fills, text and fonts, drawing bitmaps, clipping, and the
// system colours of the fixed theme.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "platform/graphics/graphics.h"

namespace {

std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int32_t width, int32_t height,
                                    TColor background = clWhite)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(format);
    bitmap->SetSize(width, height);
    bitmap->Canvas()->Brush()->SetColor(background);
    bitmap->Canvas()->FillRect(Rect(0, 0, width, height));
    return bitmap;
}

std::vector<uint8_t> Bytes(TBitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        bytes.insert(bytes.end(), bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.RowLength());
    }
    return bytes;
}

// The picture as rows of characters: '#' where the pixel has the colour, '.' elsewhere.
std::vector<std::string> Picture(TBitmap& bitmap, TColor colour)
{
    std::vector<std::string> rows;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        std::string row;
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            row += bitmap.Canvas()->Pixels(x, y) == colour ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

int CountColour(TBitmap& bitmap, TColor colour)
{
    int count = 0;
    for (const std::string& row : Picture(bitmap, colour)) {
        for (char c : row) {
            count += c == '#';
        }
    }
    return count;
}

} // namespace

TEST(Colors, SystemColoursResolveToTheFixedTheme)
{
    struct Case
    {
        TColor colour;
        TColor rgb;
    };
    const Case cases[] = {
        {clBtnFace, 0xC8D0D4},
        {clWindow, clWhite},
        {clWindowText, clBlack},
        {clHighlight, 0x6A240A},
        {clHighlightText, clWhite},
        {clGrayText, clGray},
        {clBtnShadow, clGray},
        {clBtnHighlight, clWhite},
        {clInfoBk, 0xE1FFFF},
        {clInfoText, clBlack},
        {clRed, clRed},
        {clNone, clNone},
        {TColor(0x800000FF), clBlack}, // an index past the table
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ColorToRGB(c.colour), c.rgb) << std::hex << c.colour;
    }
    EXPECT_EQ(clBtnFace, TColor(0x8000000F));
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
    EXPECT_EQ(GetRValue(0x030201), 1);
    EXPECT_EQ(GetGValue(0x030201), 2);
    EXPECT_EQ(GetBValue(0x030201), 3);
}

TEST(Canvas, RectangleOutlineAndInterior)
{
    auto bitmap = MakeBitmap(pf24bit, 6, 5);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetColor(clRed);
    canvas->Brush()->SetColor(clBlue);
    canvas->Rectangle(0, 0, 5, 4);
    const std::vector<std::string> outline = {"#####.", "#...#.", "#...#.", "#####.", "......"};
    const std::vector<std::string> interior = {"......", ".###..", ".###..", "......", "......"};
    EXPECT_EQ(Picture(*bitmap, clRed), outline);
    EXPECT_EQ(Picture(*bitmap, clBlue), interior);

    // Without a pen the fill stops one pixel short on the right and bottom.
    auto plain = MakeBitmap(pf24bit, 6, 5);
    plain->Canvas()->Pen()->SetStyle(psClear);
    plain->Canvas()->Brush()->SetColor(clBlue);
    plain->Canvas()->Rectangle(0, 0, 5, 4);
    const std::vector<std::string> smaller = {"####..", "####..", "####..", "......", "......"};
    EXPECT_EQ(Picture(*plain, clBlue), smaller);
}

TEST(Canvas, LinesLeaveOutTheirEndPoint)
{
    auto bitmap = MakeBitmap(pf8bit, 6, 3);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetColor(clBlack);
    canvas->MoveTo(0, 0);
    canvas->LineTo(4, 2);
    EXPECT_EQ(canvas->PenPos(), Point(4, 2));
    const std::vector<std::string> expected = {"##....", "..##..", "......"};
    EXPECT_EQ(Picture(*bitmap, clBlack), expected);
}

TEST(Canvas, InvertingPensRestoreWhenDrawnTwice)
{
    // Rubber bands: a rectangle, an ellipse and a polyline drawn with pmXor or pmNot, twice.
    const TPenMode modes[] = {pmXor, pmNot, pmNotXor};
    const TPixelFormat formats[] = {pf1bit, pf8bit, pf24bit, pf32bit};
    for (TPenMode mode : modes) {
        for (TPixelFormat format : formats) {
            SCOPED_TRACE(testing::Message() << int(mode) << "/" << int(format));
            auto bitmap = MakeBitmap(format, 40, 30, clSilver);
            TCanvas* canvas = bitmap->Canvas();
            for (int32_t i = 0; i < 30; ++i) {
                canvas->SetPixels(i, i, clNavy);
            }
            const std::vector<uint8_t> before = Bytes(*bitmap);
            canvas->Pen()->SetMode(mode);
            canvas->Pen()->SetColor(clYellow);
            canvas->Pen()->SetStyle(psDot);
            canvas->Brush()->SetStyle(bsClear);
            auto draw = [&] {
                canvas->Rectangle(3, 2, 30, 20);
                canvas->Ellipse(5, 5, 38, 29);
                const TPoint band[] = {{0, 29}, {39, 0}, {20, 25}, {0, 29}};
                canvas->Polyline(band, 4);
            };
            draw();
            if (format != pf1bit || mode != pmNotXor) { // on one bit, NOT XOR with white changes nothing
                EXPECT_NE(Bytes(*bitmap), before);
            }
            draw();
            EXPECT_EQ(Bytes(*bitmap), before);
        }
    }
}

TEST(Canvas, XorFilledShapeChangesEachPixelOnce)
{
    // Interior and outline are painted without overlap, so even one XOR pass is exact.
    auto bitmap = MakeBitmap(pf24bit, 8, 8, clBlack);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetMode(pmXor);
    canvas->Pen()->SetColor(clWhite);
    canvas->Brush()->SetColor(clWhite);
    canvas->Rectangle(1, 1, 7, 7);
    EXPECT_EQ(CountColour(*bitmap, clWhite), 36);
}

TEST(Canvas, StyledLinesShowTheBackgroundBetweenDashes)
{
    auto opaque = MakeBitmap(pf24bit, 12, 1, clBlack);
    opaque->Canvas()->Pen()->SetStyle(psDot);
    opaque->Canvas()->Pen()->SetColor(clRed);
    opaque->Canvas()->Brush()->SetColor(clLime); // the background colour of the gaps
    opaque->Canvas()->MoveTo(0, 0);
    opaque->Canvas()->LineTo(12, 0);
    EXPECT_EQ(Picture(*opaque, clRed).front(), "###...###...");
    EXPECT_EQ(Picture(*opaque, clLime).front(), "...###...###");

    auto clear = MakeBitmap(pf24bit, 12, 1, clBlack);
    clear->Canvas()->Pen()->SetStyle(psDash);
    clear->Canvas()->Brush()->SetStyle(bsClear);
    clear->Canvas()->Pen()->SetColor(clRed);
    clear->Canvas()->MoveTo(0, 0);
    clear->Canvas()->LineTo(12, 0);
    EXPECT_EQ(Picture(*clear, clRed).front(), "############"); // the first dash is 18 long
    EXPECT_EQ(CountColour(*clear, clLime), 0);
}

TEST(Canvas, WidePensAndCurvesStayInsideTheirBox)
{
    auto bitmap = MakeBitmap(pf24bit, 30, 30);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetColor(clRed);
    canvas->Brush()->SetColor(clBlue);
    canvas->Ellipse(5, 5, 25, 15);
    canvas->Pen()->SetWidth(3);
    canvas->MoveTo(2, 25);
    canvas->LineTo(27, 25);
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            const TColor c = canvas->Pixels(x, y);
            if (c == clBlue || (c == clRed && y < 20)) {
                EXPECT_TRUE(x >= 5 && x < 25 && y >= 5 && y < 15) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(canvas->Pixels(15, 10), clBlue);
    EXPECT_EQ(canvas->Pixels(5, 10), clRed);
    EXPECT_EQ(canvas->Pixels(15, 24), clRed); // the wide line covers rows 24..26
    EXPECT_EQ(canvas->Pixels(15, 26), clRed);
    EXPECT_EQ(canvas->Pixels(15, 27), clWhite);
}

TEST(Canvas, PolygonFillFollowsTheFillMode)
{
    const TPoint star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
    for (int32_t mode : {ALTERNATE, WINDING}) {
        auto bitmap = MakeBitmap(pf24bit, 21, 21);
        TCanvas* canvas = bitmap->Canvas();
        canvas->Pen()->SetStyle(psClear);
        canvas->Brush()->SetColor(clGreen);
        SetPolyFillMode(canvas, mode);
        canvas->Polygon(star, 5);
        EXPECT_EQ(canvas->Pixels(10, 10) == clGreen, mode == WINDING); // the star's centre
        EXPECT_EQ(canvas->Pixels(10, 3), clGreen);                     // a point
    }
}

TEST(Canvas, HatchedBrushesLeaveTheBackgroundWhenTransparent)
{
    auto bitmap = MakeBitmap(pf24bit, 8, 8, clBlack);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush()->SetColor(clWhite);
    canvas->Brush()->SetStyle(bsCross);
    SetBkMode(canvas, TRANSPARENT);
    canvas->FillRect(Rect(0, 0, 8, 8));
    EXPECT_EQ(CountColour(*bitmap, clWhite), 15); // one row and one column of the 8 x 8 cell
    SetBkMode(canvas, OPAQUE);
    SetBkColor(canvas, RGB(255, 0, 0));
    canvas->FillRect(Rect(0, 0, 8, 8));
    EXPECT_EQ(CountColour(*bitmap, clRed), 49);
}

TEST(Canvas, FrameRectDrawsOnePixelWithTheBrush)
{
    auto bitmap = MakeBitmap(pf24bit, 5, 4);
    bitmap->Canvas()->Brush()->SetColor(clMaroon);
    bitmap->Canvas()->FrameRect(Rect(1, 0, 5, 4));
    const std::vector<std::string> expected = {".####", ".#..#", ".#..#", ".####"};
    EXPECT_EQ(Picture(*bitmap, clMaroon), expected);
}

TEST(Canvas, ClipRegionLimitsDrawing)
{
    auto bitmap = MakeBitmap(pf24bit, 10, 10);
    TCanvas* canvas = bitmap->Canvas();
    const TPoint triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    HRGN region = CreatePolygonRgn(triangle, 3, ALTERNATE);
    SelectClipRgn(canvas, region);
    DeleteObject(region);
    canvas->Brush()->SetColor(clRed);
    canvas->FillRect(Rect(0, 0, 10, 10));
    EXPECT_EQ(canvas->Pixels(0, 0), clRed);
    EXPECT_EQ(bitmap->ScanLine(9)[27], 255); // (9, 9) stayed white, read past the clip
    EXPECT_EQ(canvas->Pixels(9, 9), TColor(CLR_INVALID));
    SelectClipRgn(canvas, nullptr);
    EXPECT_EQ(CountColour(*bitmap, clRed), 45);
}

TEST(Canvas, DrawAndStretchDrawUseTheCopyMode)
{
    auto picture = MakeBitmap(pf24bit, 2, 1, clRed);
    picture->Canvas()->SetPixels(1, 0, clBlue);
    auto target = MakeBitmap(pf24bit, 6, 2, clBlack);
    target->Canvas()->Draw(1, 1, picture.get());
    EXPECT_EQ(target->Canvas()->Pixels(1, 1), clRed);
    EXPECT_EQ(target->Canvas()->Pixels(2, 1), clBlue);
    target->Canvas()->StretchDraw(Rect(2, 0, 6, 1), picture.get());
    EXPECT_EQ(target->Canvas()->Pixels(3, 0), clRed);
    EXPECT_EQ(target->Canvas()->Pixels(4, 0), clBlue);
    target->Canvas()->SetCopyMode(cmSrcInvert);
    target->Canvas()->Draw(1, 1, picture.get());
    EXPECT_EQ(target->Canvas()->Pixels(1, 1), clBlack);
    target->Canvas()->CopyRect(Rect(0, 0, 1, 1), picture->Canvas(), Rect(1, 0, 2, 1));
    EXPECT_EQ(target->Canvas()->Pixels(0, 0), clBlue);
}

TEST(Canvas, TextChangesPixelsOfA24BitBitmap)
{
    auto bitmap = MakeBitmap(pf24bit, 80, 20);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetColor(clBlack);
    canvas->Brush()->SetStyle(bsClear);
    const std::vector<uint8_t> blank = Bytes(*bitmap);
    canvas->TextOut(2, 2, "Plimbet");
    EXPECT_NE(Bytes(*bitmap), blank);
    const TSize extent = canvas->TextExtent("Plimbet");
    EXPECT_GT(extent.cx, 20);
    EXPECT_EQ(canvas->PenPos(), Point(2 + extent.cx, 2));
    // Aliased text has only the two colours, and stays inside its cell.
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 80; ++x) {
            const TColor c = canvas->Pixels(x, y);
            EXPECT_TRUE(c == clWhite || c == clBlack) << x << "," << y;
            if (c == clBlack) {
                EXPECT_TRUE(x >= 2 && x < 2 + extent.cx + 2 && y >= 2 && y < 2 + extent.cy) << x << "," << y;
            }
        }
    }
}

TEST(Canvas, TextOnAPaletteBitmapUsesOnlyPaletteColours)
{
    auto bitmap = MakeBitmap(pf8bit, 80, 24);
    std::vector<PALETTEENTRY> palette(256);
    for (int32_t i = 0; i < 256; ++i) {
        palette[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(255 - i), 0};
    }
    SetPaletteEntries(bitmap->Palette(), 0, 256, palette.data());
    TCanvas* canvas = bitmap->Canvas();
    canvas->Font()->SetSize(12);
    canvas->Font()->SetColor(TColor(0x3377CC));
    canvas->Font()->SetQuality(fqAntialiased); // blended edges still map to entries
    canvas->TextOut(1, 1, "Gallery");
    std::set<COLORREF> allowed;
    for (const PALETTEENTRY& e : palette) {
        allowed.insert(RGB(e.peRed, e.peGreen, e.peBlue));
    }
    std::set<uint8_t> indexes;
    for (int32_t y = 0; y < 24; ++y) {
        for (int32_t x = 0; x < 80; ++x) {
            EXPECT_TRUE(allowed.count(COLORREF(canvas->Pixels(x, y))));
            indexes.insert(bitmap->ScanLine(y)[x]);
        }
    }
    EXPECT_GT(indexes.size(), 2u); // the text and its smoothed edges changed indexes
}

TEST(Canvas, OpaqueTextFillsItsCellWithTheBrush)
{
    auto bitmap = MakeBitmap(pf24bit, 60, 20);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush()->SetColor(clYellow);
    canvas->Font()->SetColor(clBlack);
    canvas->TextOut(5, 3, "ab");
    const TSize extent = canvas->TextExtent("ab");
    EXPECT_EQ(CountColour(*bitmap, clYellow) + CountColour(*bitmap, clBlack), extent.cx * extent.cy);
    EXPECT_EQ(canvas->Pixels(5, 3), clYellow);
    EXPECT_EQ(canvas->Pixels(4, 3), clWhite);
}

// Metafiles saturate their coordinates: text placed at the integer limits draws nothing on the
// picture (its opaque cell ends at the limit instead of wrapping round), and the pen stops there.
TEST(Canvas, TextAtTheIntegerLimitsStaysThere)
{
    auto bitmap = MakeBitmap(pf24bit, 60, 20);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush()->SetColor(clYellow);
    canvas->Font()->SetColor(clBlack);
    const std::vector<uint8_t> blank = Bytes(*bitmap);
    const int32_t width = canvas->TextWidth("WWWW");
    const struct
    {
        TPoint at;
        TPoint pen;
    } cases[] = {
        {Point(INT32_MAX, 5), Point(INT32_MAX, 5)},
        {Point(INT32_MAX - width / 2, 5), Point(INT32_MAX, 5)},
        {Point(5, INT32_MAX), Point(5 + width, INT32_MAX)},
        {Point(INT32_MIN, INT32_MIN), Point(INT32_MIN + width, INT32_MIN)},
    };
    for (const auto& c : cases) {
        canvas->TextOut(c.at.X, c.at.Y, "WWWW");
        EXPECT_EQ(canvas->PenPos(), c.pen) << c.at.X << "," << c.at.Y;
    }
    canvas->Brush()->SetStyle(bsClear);
    canvas->TextRect(Rect(0, 0, 60, 20), INT32_MAX - 1, INT32_MAX - 1, "WWWW");
    EXPECT_EQ(Bytes(*bitmap), blank);
}

TEST(Canvas, TextRectClipsToItsRectangle)
{
    auto bitmap = MakeBitmap(pf24bit, 60, 20);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush()->SetColor(clAqua);
    canvas->Font()->SetColor(clBlack);
    canvas->TextRect(Rect(10, 2, 20, 15), 0, 2, "WWWWWWWW");
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 60; ++x) {
            const bool inside = x >= 10 && x < 20 && y >= 2 && y < 15;
            EXPECT_EQ(canvas->Pixels(x, y) != clWhite, inside) << x << "," << y;
        }
    }
}

TEST(Fonts, SizeHeightAndLogicalFontAgree)
{
    TFont font;
    EXPECT_EQ(font.Name(), "MS Sans Serif");
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.Height(), -11);
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    font.SetHeight(-13);
    EXPECT_EQ(font.Size(), 10); // 9.75 rounds to 10
    font.SetStyle({fsBold, fsUnderline});
    font.SetOrientation(900);
    LOGFONT lf = font.LogFont();
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfUnderline, 1);
    EXPECT_EQ(lf.lfEscapement, 900);
    EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");

    // A face name filling all 32 bytes without a terminator is read to its end, no further.
    std::memset(lf.lfFaceName, 'A', LF_FACESIZE);
    lf.lfWeight = 699;
    lf.lfItalic = 1;
    TFont other;
    other.SetLogFont(lf);
    EXPECT_EQ(other.Name(), std::string(32, 'A'));
    EXPECT_EQ(other.Style(), TFontStyles({fsItalic, fsUnderline}));
    EXPECT_EQ(other.Orientation(), 900);
}

TEST(Fonts, WindowsFacesResolveToLiberation)
{
    EXPECT_EQ(TFont::ResolvedFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(TFont::ResolvedFamily("MS Sans Serif"), "Liberation Sans");
    EXPECT_EQ(TFont::ResolvedFamily("times new roman"), "Liberation Serif");
    EXPECT_EQ(TFont::ResolvedFamily("Courier New"), "Liberation Mono");

    // Arial and Liberation Sans measure alike, and the metrics are those of that font.
    auto bitmap = MakeBitmap(pf24bit, 4, 4);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetHeight(-20);
    const TSize arial = canvas->TextExtent("Thumbnails");
    canvas->Font()->SetName("Liberation Sans");
    EXPECT_EQ(canvas->TextExtent("Thumbnails"), arial);
    EXPECT_EQ(arial.cy, 22);       // ascent 18 + descent 4 at 20 pixels
    canvas->Font()->SetHeight(22); // a positive height asks for that cell
    EXPECT_EQ(canvas->TextHeight("x"), 22);
    canvas->Font()->SetHeight(44);
    EXPECT_EQ(canvas->TextHeight("x"), 44);
}

TEST(Fonts, TurnedTextRunsUpward)
{
    auto bitmap = MakeBitmap(pf24bit, 30, 80);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush()->SetStyle(bsClear);
    canvas->Font()->SetColor(clBlack);
    canvas->Font()->SetOrientation(900);
    canvas->TextOut(5, 75, "Rotated");
    int32_t top = 80, bottom = -1, left = 30, right = -1;
    for (int32_t y = 0; y < 80; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            if (canvas->Pixels(x, y) == clBlack) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GT(bottom - top, right - left); // taller than wide
    EXPECT_LE(bottom, 75);
    EXPECT_GE(left, 5);
}

TEST(Canvas, LockIsReentrantAndCounted)
{
    TCanvas canvas;
    canvas.Lock();
    EXPECT_TRUE(canvas.TryLock());
    EXPECT_EQ(canvas.LockCount(), 2);
    canvas.Unlock();
    canvas.Unlock();
    canvas.Unlock(); // one too many is ignored
    EXPECT_EQ(canvas.LockCount(), 0);
    EXPECT_TRUE(canvas.TryLock());
    canvas.Unlock();
    // A canvas without a raster draws nothing and reports no pixels.
    canvas.Rectangle(0, 0, 5, 5);
    canvas.TextOut(0, 0, "x");
    EXPECT_EQ(canvas.Pixels(0, 0), TColor(CLR_INVALID));
    EXPECT_TRUE(canvas.ClipRect().IsEmpty());
}

TEST(Canvas, DrawsIntoABottomUpRasterOfItsOwner)
{
    // A canvas over memory the owner keeps bottom-up, as a DIB section is.
    std::vector<uint8_t> memory(4 * 3, 0);
    TCanvas canvas([&](TRasterView& view) {
        view.Width = 3;
        view.Height = 3;
        view.Format = pf8bit;
        view.Stride = -4;
        view.Top = memory.data() + 2 * 4;
        static const std::vector<PALETTEENTRY> palette = TBitmap::DefaultPalette(pf8bit);
        view.Palette = palette.data();
        view.PaletteCount = 256;
        return true;
    });
    canvas.SetPixels(0, 0, clWhite);
    EXPECT_EQ(memory[8], 215); // the top row is the last in memory
    canvas.Brush()->SetColor(clBlue);
    canvas.FillRect(Rect(0, 2, 3, 3));
    EXPECT_EQ(memory[0], 5);
    EXPECT_EQ(memory[2], 5);
}

TEST(DrawEdge, SunkenEdgeUsesTheButtonColours)
{
    auto bitmap = MakeBitmap(pf24bit, 6, 6, clBlack);
    TRect r = Rect(0, 0, 6, 6);
    ASSERT_TRUE(DrawEdge(bitmap->Canvas(), &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST));
    EXPECT_EQ(r, Rect(2, 2, 4, 4));
    EXPECT_EQ(bitmap->Canvas()->Pixels(0, 3), ColorToRGB(clBtnShadow));
    EXPECT_EQ(bitmap->Canvas()->Pixels(5, 3), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(bitmap->Canvas()->Pixels(1, 3), ColorToRGB(cl3DDkShadow));
    EXPECT_EQ(bitmap->Canvas()->Pixels(4, 3), ColorToRGB(cl3DLight));
    EXPECT_EQ(bitmap->Canvas()->Pixels(3, 3), clBlack);
}

TEST(Canvas, ArcRunsCounterClockwiseBetweenItsRays)
{
    // From the ray toward the right to the ray toward the top: the upper right quarter.
    auto bitmap = MakeBitmap(pf24bit, 21, 21);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetColor(clRed);
    canvas->Arc(0, 0, 21, 21, 20, 10, 10, 0);
    int painted = 0;
    for (int32_t y = 0; y < 21; ++y) {
        for (int32_t x = 0; x < 21; ++x) {
            if (canvas->Pixels(x, y) == clRed) {
                ++painted;
                EXPECT_TRUE(x >= 10 && y <= 10) << x << "," << y;
            }
        }
    }
    EXPECT_GT(painted, 10);
    EXPECT_EQ(canvas->Pixels(20, 10), clRed); // the start; like a line, the arc leaves out its end
}

TEST(Canvas, RoundRectStaysInsideItsBox)
{
    auto bitmap = MakeBitmap(pf24bit, 20, 12);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetColor(clRed);
    canvas->Brush()->SetColor(clBlue);
    canvas->RoundRect(2, 2, 18, 10, 6, 6);
    EXPECT_EQ(canvas->Pixels(2, 2), clWhite);  // the corner is cut
    EXPECT_EQ(canvas->Pixels(10, 2), clRed);   // the top edge
    EXPECT_EQ(canvas->Pixels(10, 6), clBlue);  // the inside
    EXPECT_EQ(canvas->Pixels(18, 6), clWhite); // right is exclusive
    EXPECT_EQ(canvas->Pixels(17, 6), clRed);
}

TEST(Bitmap, MonochromeSwitchesFormatAndPalette)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(2, 1);
    bitmap.Canvas()->SetPixels(1, 0, clWhite);
    bitmap.SetMonochrome(true);
    EXPECT_EQ(bitmap.PixelFormat(), pf1bit);
    EXPECT_EQ(bitmap.ScanLine(0)[0] & 0xC0, 0x40);
    const PALETTEENTRY reversed[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    SetPaletteEntries(bitmap.Palette(), 0, 2, reversed);
    EXPECT_FALSE(bitmap.Monochrome());
    bitmap.SetMonochrome(true); // keeps the bits, restores black and white
    EXPECT_TRUE(bitmap.Monochrome());
    EXPECT_EQ(bitmap.ScanLine(0)[0] & 0xC0, 0x40);
    bitmap.SetMonochrome(false);
    EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
    EXPECT_EQ(bitmap.Canvas()->Pixels(1, 0), clWhite);
}

TEST(Canvas, LinesToFarAwayPointsCostNoMoreThanTheRaster)
{
    // Without stepping only through the visible part these would walk two billion pixels.
    auto bitmap = MakeBitmap(pf24bit, 10, 10);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Pen()->SetColor(clRed);
    canvas->MoveTo(-2000000000, 5);
    canvas->LineTo(2000000000, 5);
    EXPECT_EQ(CountColour(*bitmap, clRed), 10);
    canvas->MoveTo(-2000000000, -2000000000);
    canvas->LineTo(-1999999000, 2000000000); // entirely outside
    canvas->Pen()->SetStyle(psDot);
    canvas->MoveTo(5, -2000000000);
    canvas->LineTo(5, 2000000000);
    EXPECT_GT(CountColour(*bitmap, clRed), 12);
}

TEST(Canvas, TextAlignmentNamesThePointOfTheText)
{
    // The same text drawn from its top-left corner and from its baseline centre lands on the
    // same pixels when the points differ by half its width and its ascent.
    auto topLeft = MakeBitmap(pf24bit, 120, 60);
    auto centred = MakeBitmap(pf24bit, 120, 60);
    for (TBitmap* b : {topLeft.get(), centred.get()}) {
        b->Canvas()->Font()->SetName("Arial");
        b->Canvas()->Font()->SetHeight(-20);
        b->Canvas()->Brush()->SetStyle(bsClear);
    }
    TEXTMETRIC metrics;
    ASSERT_TRUE(GetTextMetrics(centred->Canvas(), metrics));
    const int32_t w = topLeft->Canvas()->TextWidth("Hamburg");
    ASSERT_EQ(w % 2, 0) << "an even width keeps the centre whole";
    topLeft->Canvas()->TextOut(10, 10, "Hamburg");
    EXPECT_EQ(SetTextAlign(centred->Canvas(), TA_CENTER | TA_BASELINE), TA_LEFT | TA_TOP);
    centred->Canvas()->TextOut(10 + w / 2, 10 + metrics.tmAscent, "Hamburg");
    EXPECT_EQ(GetTextAlign(centred->Canvas()), TA_CENTER | TA_BASELINE);
    EXPECT_EQ(Bytes(*topLeft), Bytes(*centred));
}

TEST(Canvas, PaletteIndexColoursWriteTheIndexOrItsGrey)
{
    // On an 8-bit grey raster the index itself; on a colour raster the grey of that level.
    auto grey = MakeBitmap(pf8bit, 20, 10, clBlack);
    std::vector<PALETTEENTRY> ramp(256);
    for (int i = 0; i < 256; ++i) {
        ramp[size_t(i)] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }
    SetPaletteEntries(grey->Palette(), 0, 256, ramp.data());
    auto colour = MakeBitmap(pf24bit, 20, 10, clBlack);
    for (TBitmap* b : {grey.get(), colour.get()}) {
        b->Canvas()->Pen()->SetColor(TColor(PALETTEINDEX(128)));
        b->Canvas()->Brush()->SetColor(TColor(PALETTEINDEX(77)));
        b->Canvas()->Rectangle(2, 2, 12, 8);
    }
    EXPECT_EQ(grey->ScanLine(2)[2], 128);
    EXPECT_EQ(grey->ScanLine(4)[5], 77);
    EXPECT_EQ(colour->Canvas()->Pixels(2, 2), RGBToColor(128, 128, 128));
    EXPECT_EQ(colour->Canvas()->Pixels(5, 4), RGBToColor(77, 77, 77));
}
