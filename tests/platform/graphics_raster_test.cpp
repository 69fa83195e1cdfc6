// The GDI-style raster functions: BitBlt, StretchBlt, StretchDIBits, PatBlt, their raster codes,
// format conversion between source and destination, and clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/graphics/graphics.h"

namespace {

std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int32_t width, int32_t height)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(format);
    bitmap->SetSize(width, height);
    return bitmap;
}

// Column x of row 0 gets the grey level x * 10 + 10.
void GreyRamp(TBitmap& bitmap)
{
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const uint8_t v = uint8_t(x * 10 + 10 + y * 100);
            bitmap.Canvas()->SetPixels(x, y, RGBToColor(v, v, v));
        }
    }
}

std::vector<uint8_t> Bytes(TBitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        bytes.insert(bytes.end(), bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.RowLength());
    }
    return bytes;
}

uint8_t RedAt(TBitmap& bitmap, int32_t x, int32_t y)
{
    return GetRValue(COLORREF(bitmap.Canvas()->Pixels(x, y)));
}

} // namespace

TEST(StretchBlt, NearestColumnsOfThreeToFive)
{
    auto source = MakeBitmap(pf24bit, 3, 1);
    GreyRamp(*source); // 10, 20, 30
    struct Case
    {
        int32_t x, width; // destination
        int32_t xs, wSrc; // source
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {0, 5, 0, 3, {10, 10, 20, 20, 30}},   // column x takes floor(x * 3 / 5)
        {4, -5, 0, 3, {30, 20, 20, 10, 10}},  // a negative destination width mirrors
        {0, 5, 2, -3, {30, 30, 20, 20, 10}},  // so does a negative source width
        {4, -5, 2, -3, {10, 20, 20, 30, 30}}, // both together: upright, anchored at the right
        {0, 2, 0, 3, {10, 20}},               // reduction: 0, floor(3 / 2) = 1
    };
    for (const Case& c : cases) {
        auto dest = MakeBitmap(pf24bit, 5, 1);
        dest->Canvas()->Brush()->SetColor(clBlack);
        dest->Canvas()->FillRect(Rect(0, 0, 5, 1));
        ASSERT_TRUE(
            StretchBlt(dest->Canvas(), c.x, 0, c.width, 1, source->Canvas(), c.xs, 0, c.wSrc, 1, SRCCOPY));
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(RedAt(*dest, int32_t(i), 0), c.expected[i])
                << "column " << i << " of case " << c.x << "/" << c.width;
        }
    }
}

TEST(StretchBlt, HalftoneAveragesWhatEachPixelCovers)
{
    auto source = MakeBitmap(pf24bit, 4, 1);
    GreyRamp(*source); // 10, 20, 30, 40
    auto dest = MakeBitmap(pf24bit, 2, 1);
    EXPECT_EQ(SetStretchBltMode(dest->Canvas(), HALFTONE), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dest->Canvas(), 0, 0, 2, 1, source->Canvas(), 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(RedAt(*dest, 0, 0), 15);
    EXPECT_EQ(RedAt(*dest, 1, 0), 35);
    SetStretchBltMode(dest->Canvas(), COLORONCOLOR);
    ASSERT_TRUE(StretchBlt(dest->Canvas(), 0, 0, 2, 1, source->Canvas(), 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(RedAt(*dest, 0, 0), 10);
    EXPECT_EQ(RedAt(*dest, 1, 0), 30);
}

TEST(BitBlt, RasterCodesCombineSourceAndDestination)
{
    // One pixel: source 0xF0F0F0 and destination 0x3C3C3C; brush 0xAAAAAA.
    struct Case
    {
        uint32_t rop;
        uint8_t expected;
    };
    const Case cases[] = {
        {SRCCOPY, 0xF0},    {SRCPAINT, 0xFC},    {SRCAND, 0x30},    {SRCINVERT, 0xCC}, {SRCERASE, 0xC0},
        {NOTSRCCOPY, 0x0F}, {NOTSRCERASE, 0x03}, {DSTINVERT, 0xC3}, {PATCOPY, 0xAA},   {PATINVERT, 0x96},
        {MERGECOPY, 0xA0},  {MERGEPAINT, 0x3F},  {BLACKNESS, 0x00}, {WHITENESS, 0xFF}, {PATPAINT, 0xBF},
    };
    auto source = MakeBitmap(pf24bit, 1, 1);
    source->Canvas()->SetPixels(0, 0, TColor(0xF0F0F0));
    for (const Case& c : cases) {
        auto dest = MakeBitmap(pf24bit, 1, 1);
        dest->Canvas()->SetPixels(0, 0, TColor(0x3C3C3C));
        dest->Canvas()->Brush()->SetColor(TColor(0xAAAAAA));
        ASSERT_TRUE(BitBlt(dest->Canvas(), 0, 0, 1, 1, source->Canvas(), 0, 0, c.rop));
        EXPECT_EQ(RedAt(*dest, 0, 0), c.expected) << std::hex << c.rop;
    }
}

TEST(BitBlt, XorTwiceRestoresTheDestination)
{
    const TPixelFormat formats[] = {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit};
    for (TPixelFormat format : formats) {
        SCOPED_TRACE(int(format));
        auto dest = MakeBitmap(format, 13, 7);
        auto source = MakeBitmap(format, 13, 7);
        for (int32_t y = 0; y < 7; ++y) {
            for (int32_t x = 0; x < 13; ++x) {
                dest->Canvas()->SetPixels(x, y, RGBToColor(uint8_t(x * 19), uint8_t(y * 37), uint8_t(x * y)));
                source->Canvas()->SetPixels(x, y, RGBToColor(uint8_t(y * 23), uint8_t(x * 11), 200));
            }
        }
        const std::vector<uint8_t> before = Bytes(*dest);
        ASSERT_TRUE(BitBlt(dest->Canvas(), 2, 1, 9, 5, source->Canvas(), 1, 1, SRCINVERT));
        EXPECT_NE(Bytes(*dest), before);
        ASSERT_TRUE(BitBlt(dest->Canvas(), 2, 1, 9, 5, source->Canvas(), 1, 1, SRCINVERT));
        EXPECT_EQ(Bytes(*dest), before);
    }
}

TEST(BitBlt, ConvertsBetweenFormats)
{
    // A 1-bit source gives its palette's colours.
    auto mono = MakeBitmap(pf1bit, 2, 1);
    mono->ScanLine(0)[0] = 0x40; // pixel 1 set: white
    auto colour = MakeBitmap(pf24bit, 2, 1);
    ASSERT_TRUE(BitBlt(colour->Canvas(), 0, 0, 2, 1, mono->Canvas(), 0, 0, SRCCOPY));
    EXPECT_EQ(colour->Canvas()->Pixels(0, 0), clBlack);
    EXPECT_EQ(colour->Canvas()->Pixels(1, 0), clWhite);

    // A colour source onto a 1-bit destination: the source's background colour becomes 1.
    auto source = MakeBitmap(pf24bit, 3, 1);
    source->Canvas()->SetPixels(0, 0, clRed);
    source->Canvas()->SetPixels(1, 0, clWhite);
    source->Canvas()->SetPixels(2, 0, clSilver);
    auto bits = MakeBitmap(pf1bit, 3, 1);
    SetBkColor(source->Canvas(), RGB(192, 192, 192));
    ASSERT_TRUE(BitBlt(bits->Canvas(), 0, 0, 3, 1, source->Canvas(), 0, 0, SRCCOPY));
    EXPECT_EQ(bits->ScanLine(0)[0] & 0xE0, 0x20);
    source->Canvas()->Brush()->SetColor(clRed); // the brush sets the background colour too
    ASSERT_TRUE(BitBlt(bits->Canvas(), 0, 0, 3, 1, source->Canvas(), 0, 0, SRCCOPY));
    EXPECT_EQ(bits->ScanLine(0)[0] & 0xE0, 0x80);

    // Palette sources are looked up; palette destinations take the nearest entry.
    auto indexed = MakeBitmap(pf8bit, 2, 1);
    indexed->ScanLine(0)[0] = 5;   // (0, 0, 255) in the default cube
    indexed->ScanLine(0)[1] = 215; // white
    ASSERT_TRUE(BitBlt(colour->Canvas(), 0, 0, 2, 1, indexed->Canvas(), 0, 0, SRCCOPY));
    EXPECT_EQ(colour->Canvas()->Pixels(0, 0), clBlue);
    EXPECT_EQ(colour->Canvas()->Pixels(1, 0), clWhite);
    colour->Canvas()->SetPixels(0, 0, RGBToColor(250, 5, 5));
    ASSERT_TRUE(BitBlt(indexed->Canvas(), 0, 0, 1, 1, colour->Canvas(), 0, 0, SRCCOPY));
    EXPECT_EQ(indexed->ScanLine(0)[0], 180); // (255, 0, 0) is entry 5 * 36
}

TEST(BitBlt, ClipsToBothRastersAndTheClipRegion)
{
    auto source = MakeBitmap(pf8bit, 4, 4);
    std::memset(source->ScanLine(0), 1, size_t(source->RowLength()) * 4);
    auto dest = MakeBitmap(pf8bit, 4, 4);
    // Source pixels outside the source leave the destination alone; nothing is written outside.
    ASSERT_TRUE(BitBlt(dest->Canvas(), -1, 2, 10, 10, source->Canvas(), 2, 0, SRCCOPY));
    const uint8_t expectedRow2[] = {1, 0, 0, 0}; // only source column 3 maps inside both
    EXPECT_EQ(std::memcmp(dest->ScanLine(2), expectedRow2, 4), 0);
    EXPECT_EQ(dest->ScanLine(1)[0], 0);

    HRGN region = CreateRectRgn(1, 0, 2, 4);
    auto clipped = MakeBitmap(pf8bit, 4, 4);
    EXPECT_EQ(SelectClipRgn(clipped->Canvas(), region), SIMPLEREGION);
    DeleteObject(region);
    ASSERT_TRUE(BitBlt(clipped->Canvas(), 0, 0, 4, 4, source->Canvas(), 0, 0, SRCCOPY));
    const uint8_t expectedRow[] = {0, 1, 0, 0};
    for (int32_t y = 0; y < 4; ++y) {
        EXPECT_EQ(std::memcmp(clipped->ScanLine(y), expectedRow, 4), 0) << y;
    }
    TRect box;
    EXPECT_EQ(GetClipBox(clipped->Canvas(), &box), SIMPLEREGION);
    EXPECT_EQ(box, Rect(1, 0, 2, 4));
    SelectClipRgn(clipped->Canvas(), nullptr);
    EXPECT_EQ(clipped->Canvas()->ClipRect(), Rect(0, 0, 4, 4));
}

TEST(BitBlt, OverlappingCopyInOneBitmapReadsTheOldPixels)
{
    auto bitmap = MakeBitmap(pf8bit, 6, 1);
    for (int32_t x = 0; x < 6; ++x) {
        bitmap->ScanLine(0)[x] = uint8_t(x);
    }
    ASSERT_TRUE(BitBlt(bitmap->Canvas(), 1, 0, 5, 1, bitmap->Canvas(), 0, 0, SRCCOPY));
    const uint8_t expected[] = {0, 0, 1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(bitmap->ScanLine(0), expected, 6), 0);
    ASSERT_TRUE(StretchBlt(bitmap->Canvas(), 0, 0, 6, 1, bitmap->Canvas(), 5, 0, -6, 1, SRCCOPY));
    const uint8_t mirrored[] = {4, 3, 2, 1, 0, 0};
    EXPECT_EQ(std::memcmp(bitmap->ScanLine(0), mirrored, 6), 0);
}

TEST(StretchDIBits, BottomUpAndTopDownRowsLandUpright)
{
    // A 2 x 3 8-bit DIB whose rows hold 1, 2, 3 from top to bottom, in both row orders.
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown);
        std::vector<uint8_t> info(40 + 256 * 4, 0);
        BITMAPINFOHEADER header;
        header.biWidth = 2;
        header.biHeight = topDown ? -3 : 3;
        header.biBitCount = 8;
        std::memcpy(info.data(), &header, sizeof(header));
        for (int32_t i = 0; i < 256; ++i) {
            info[size_t(40 + i * 4 + 2)] = uint8_t(i * 10); // red = index * 10
        }
        const uint8_t rowsTopFirst[3][4] = {{1, 1, 0, 0}, {2, 2, 0, 0}, {3, 3, 0, 0}};
        std::vector<uint8_t> bits(3 * 4);
        for (int32_t i = 0; i < 3; ++i) {
            const int32_t row = topDown ? i : 2 - i;
            std::copy_n(rowsTopFirst[row], 4, bits.begin() + 4 * i);
        }
        auto dest = MakeBitmap(pf24bit, 2, 3);
        const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
        EXPECT_EQ(
            StretchDIBits(dest->Canvas(), 0, 0, 2, 3, 0, 0, 2, 3, bits.data(), bmi, DIB_RGB_COLORS, SRCCOPY),
            3);
        EXPECT_EQ(RedAt(*dest, 0, 0), 10);
        EXPECT_EQ(RedAt(*dest, 1, 1), 20);
        EXPECT_EQ(RedAt(*dest, 0, 2), 30);

        // One source row: a bottom-up DIB counts the source y from its bottom row.
        auto strip = MakeBitmap(pf24bit, 2, 1);
        ASSERT_EQ(
            StretchDIBits(strip->Canvas(), 0, 0, 2, 1, 0, 0, 2, 1, bits.data(), bmi, DIB_RGB_COLORS, SRCCOPY),
            1);
        EXPECT_EQ(RedAt(*strip, 0, 0), topDown ? 10 : 30);
    }
}

TEST(StretchDIBits, OneBitMaskInvertsWhereSet)
{
    // The selection-drawing idiom: a black and white 1-bit DIB with SRCINVERT.
    struct
    {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info;
    info.header.biWidth = 3;
    info.header.biHeight = 1;
    info.header.biBitCount = 1;
    info.colors[1] = {255, 255, 255, 0};
    const uint8_t bits[4] = {0xA0, 0, 0, 0}; // pixels 0 and 2 set
    auto dest = MakeBitmap(pf24bit, 3, 1);
    dest->Canvas()->Brush()->SetColor(TColor(0x102030));
    dest->Canvas()->FillRect(Rect(0, 0, 3, 1));
    ASSERT_EQ(StretchDIBits(dest->Canvas(), 0, 0, 3, 1, 0, 0, 3, 1, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCINVERT),
              1);
    EXPECT_EQ(dest->Canvas()->Pixels(0, 0), TColor(0xEFDFCF));
    EXPECT_EQ(dest->Canvas()->Pixels(1, 0), TColor(0x102030));
    EXPECT_EQ(dest->Canvas()->Pixels(2, 0), TColor(0xEFDFCF));
}

TEST(StretchDIBits, RefusesWhatItCannotRead)
{
    BITMAPINFOHEADER header;
    header.biWidth = 2;
    header.biHeight = 2;
    header.biBitCount = 8;
    header.biCompression = BI_RLE8;
    const uint8_t bits[16] = {};
    auto dest = MakeBitmap(pf24bit, 2, 2);
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(&header);
    EXPECT_EQ(StretchDIBits(dest->Canvas(), 0, 0, 2, 2, 0, 0, 2, 2, bits, bmi, DIB_RGB_COLORS, SRCCOPY), 0);
    header.biCompression = BI_RGB;
    header.biBitCount = 24;
    EXPECT_EQ(StretchDIBits(dest->Canvas(), 0, 0, 2, 2, 0, 0, 2, 2, nullptr, bmi, DIB_RGB_COLORS, SRCCOPY),
              0);
    // A usage that is neither colours nor palette indexes; a 24-bit DIB has no table, so palette
    // indexes change nothing there.
    EXPECT_EQ(StretchDIBits(dest->Canvas(), 0, 0, 2, 2, 0, 0, 2, 2, bits, bmi, 7, SRCCOPY), 0);
    EXPECT_EQ(StretchDIBits(dest->Canvas(), 0, 0, 2, 2, 0, 0, 2, 2, bits, bmi, DIB_PAL_COLORS, SRCCOPY), 2);
}

TEST(PatBlt, FillsWithTheBrushAndInverts)
{
    auto dest = MakeBitmap(pf24bit, 4, 1);
    dest->Canvas()->Brush()->SetColor(clRed);
    ASSERT_TRUE(PatBlt(dest->Canvas(), 1, 0, 2, 1, PATCOPY));
    EXPECT_EQ(dest->Canvas()->Pixels(0, 0), clBlack);
    EXPECT_EQ(dest->Canvas()->Pixels(1, 0), clRed);
    ASSERT_TRUE(PatBlt(dest->Canvas(), 0, 0, 4, 1, DSTINVERT));
    EXPECT_EQ(dest->Canvas()->Pixels(0, 0), clWhite);
    EXPECT_EQ(dest->Canvas()->Pixels(2, 0), clAqua);
    EXPECT_FALSE(PatBlt(dest->Canvas(), 0, 0, 4, 1, SRCCOPY)); // needs a source
    dest->Canvas()->Brush()->SetStyle(bsClear);
    ASSERT_TRUE(PatBlt(dest->Canvas(), 0, 0, 4, 1, PATCOPY)); // a clear brush paints nothing
    EXPECT_EQ(dest->Canvas()->Pixels(0, 0), clWhite);
}

TEST(Regions, PolygonRegionsTakePixelCentres)
{
    const TPoint triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    HRGN region = CreatePolygonRgn(triangle, 3, ALTERNATE);
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    EXPECT_TRUE(PtInRegion(region, 8, 0));
    EXPECT_FALSE(PtInRegion(region, 9, 1));
    EXPECT_FALSE(PtInRegion(region, 10, 0));     // the right edge is outside
    EXPECT_FALSE(PtInRegion(region, 0, 10));     // so is the bottom row
    EXPECT_EQ(region->Bounds, Rect(0, 0, 9, 9)); // (0, 9)'s centre lies on the edge
    DeleteObject(region);

    // Alternate leaves the inner square of a doubly wound figure empty, winding fills it.
    const TPoint twice[] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {0, 0}, {6, 0}, {6, 6}, {0, 6}};
    HRGN alternate = CreatePolygonRgn(twice, 8, ALTERNATE);
    HRGN winding = CreatePolygonRgn(twice, 8, WINDING);
    EXPECT_FALSE(PtInRegion(alternate, 3, 3));
    EXPECT_TRUE(PtInRegion(winding, 3, 3));
    DeleteObject(alternate);
    DeleteObject(winding);
}

TEST(LineDDA, StepsEveryPixelButTheLast)
{
    std::vector<TPoint> points;
    LineDDA(0, 0, 4, 2, [&](int32_t x, int32_t y) { points.push_back({x, y}); });
    const std::vector<TPoint> expected = {{0, 0}, {1, 0}, {2, 1}, {3, 1}};
    EXPECT_EQ(points, expected);
    points.clear();
    LineDDA(3, 3, 3, 3, [&](int32_t x, int32_t y) { points.push_back({x, y}); });
    EXPECT_TRUE(points.empty());
}

TEST(DeviceCaps, ReportResolutionAndRaster)
{
    auto bitmap = MakeBitmap(pf24bit, 30, 20);
    EXPECT_EQ(GetDeviceCaps(bitmap->Canvas(), LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(bitmap->Canvas(), HORZRES), 30);
    EXPECT_EQ(GetDeviceCaps(bitmap->Canvas(), BITSPIXEL), 24);
    EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 32);
    bitmap->Canvas()->SetPixelsPerInch(300, 300);
    EXPECT_EQ(GetDeviceCaps(bitmap->Canvas(), LOGPIXELSY), 300);
}

TEST(StretchDIBits, ReadsEveryDepth)
{
    // One row of two pixels, red then blue, in each depth the function takes.
    struct Case
    {
        uint16_t bits;
        uint32_t compression;
        std::vector<uint32_t> masks;  // after the header for BI_BITFIELDS
        std::vector<RGBQUAD> colours; // colour table
        std::vector<uint8_t> row;     // padded to 4 bytes
    };
    const Case cases[] = {
        {1, BI_RGB, {}, {{255, 0, 0, 0}, {0, 0, 255, 0}}, {0x80, 0, 0, 0}}, // table: blue, red
        {4, BI_RGB, {}, {{0, 0, 255, 0}, {255, 0, 0, 0}}, {0x01, 0, 0, 0}}, // table: red, blue
        {8, BI_RGB, {}, {{0, 0, 255, 0}, {255, 0, 0, 0}}, {0, 1, 0, 0}},
        {16, BI_RGB, {}, {}, {0x00, 0x7C, 0x1F, 0x00}}, // 5-5-5
        {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, {}, {0x00, 0xF8, 0x1F, 0x00}},
        {16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, {}, {0x00, 0x0F, 0x0F, 0x00}}, // 4-4-4
        {24, BI_RGB, {}, {}, {0, 0, 255, 255, 0, 0, 0, 0}},
        {32, BI_RGB, {}, {}, {0, 0, 255, 0, 255, 0, 0, 0}},
        {32, BI_BITFIELDS, {0xFF000000, 0x00FF0000, 0x0000FF00}, {}, {0, 0, 0, 255, 0, 255, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "/" << c.compression << "/" << c.masks.size());
        std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        header.biWidth = 2;
        header.biHeight = 1;
        header.biBitCount = c.bits;
        header.biCompression = c.compression;
        header.biClrUsed = uint32_t(c.colours.size());
        std::memcpy(info.data(), &header, sizeof(header));
        for (uint32_t m : c.masks) {
            info.insert(info.end(), reinterpret_cast<const uint8_t*>(&m),
                        reinterpret_cast<const uint8_t*>(&m) + 4);
        }
        for (const RGBQUAD& q : c.colours) {
            info.insert(info.end(), reinterpret_cast<const uint8_t*>(&q),
                        reinterpret_cast<const uint8_t*>(&q) + 4);
        }
        info.resize(info.size() + 1024); // room the function may read past what the header announces
        auto dest = MakeBitmap(pf24bit, 2, 1);
        ASSERT_EQ(StretchDIBits(dest->Canvas(), 0, 0, 2, 1, 0, 0, 2, 1, c.row.data(),
                                reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY),
                  1);
        EXPECT_EQ(GetRValue(COLORREF(dest->Canvas()->Pixels(0, 0))),
                  c.bits == 16 ? (c.masks.size() && c.masks[0] == 0x0F00 ? 240 : 248) : 255);
        EXPECT_EQ(GetBValue(COLORREF(dest->Canvas()->Pixels(0, 0))), 0);
        EXPECT_GE(GetBValue(COLORREF(dest->Canvas()->Pixels(1, 0))), 240);
        EXPECT_EQ(GetRValue(COLORREF(dest->Canvas()->Pixels(1, 0))), 0);
    }
}

TEST(StretchBlt, HalftoneOntoAPaletteTakesTheNearestOfTheMean)
{
    auto source = MakeBitmap(pf24bit, 2, 1);
    source->Canvas()->SetPixels(0, 0, clBlack);
    source->Canvas()->SetPixels(1, 0, clWhite);
    auto dest = MakeBitmap(pf8bit, 1, 1);
    SetStretchBltMode(dest->Canvas(), HALFTONE);
    ASSERT_TRUE(StretchBlt(dest->Canvas(), 0, 0, 1, 1, source->Canvas(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(dest->Canvas()->Pixels(0, 0),
              RGBToColor(130, 130, 130)); // the default palette's grey nearest 128
}

TEST(GlobalMemory, BlocksResizeAndRefuseStaleHandles)
{
    EXPECT_EQ(GlobalAlloc(GHND, 0), nullptr);
    EXPECT_EQ(GlobalAlloc(GHND, kMaxGlobalBlockSize + 1), nullptr);
    HGLOBAL block = GlobalAlloc(GHND, 4);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 4u);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[3], 0);
    bytes[0] = 42;
    EXPECT_EQ(GlobalReAlloc(block, 8, GMEM_MOVEABLE), nullptr); // not while locked
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_FALSE(GlobalUnlock(block)); // no lock left to drop
    ASSERT_EQ(GlobalReAlloc(block, 8, GMEM_MOVEABLE), block);
    {
        TGlobalLock lock(block);
        EXPECT_EQ(lock.Size(), 8u);
        EXPECT_EQ(lock.Data()[0], 42);
        EXPECT_EQ(lock.Data()[7], 0);
    }
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalSize(block), 0u);
    BITMAPINFOHEADER header;
    EXPECT_FALSE(ReadDIBHeader(block, header));
    HGLOBAL tiny = GlobalAlloc(GHND, 12);
    EXPECT_FALSE(ReadDIBHeader(tiny, header)); // too small to hold a header
    GlobalFree(tiny);
}

TEST(Pixels, SetPixelReportsTheColourTheRasterHolds)
{
    auto bitmap = MakeBitmap(pf4bit, 3, 1);
    EXPECT_EQ(SetPixel(bitmap->Canvas(), 0, 0, RGB(250, 10, 10)), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(bitmap->Canvas(), 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(SetPixel(bitmap->Canvas(), 3, 0, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(bitmap->Canvas(), -1, 0), CLR_INVALID);
    EXPECT_EQ(bitmap->ScanLine(0)[0], 0x90); // entry 9 in the high nibble
    EXPECT_EQ(IntersectClipRect(bitmap->Canvas(), 1, 0, 5, 1), SIMPLEREGION);
    EXPECT_EQ(SetPixel(bitmap->Canvas(), 0, 0, 0), CLR_INVALID); // clipped away now
    EXPECT_EQ(bitmap->Canvas()->ClipRect(), Rect(1, 0, 3, 1));
}
