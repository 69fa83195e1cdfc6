// TBitmap: row layout, palettes, format conversion, copies and BMP and packed-DIB exchange.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/streams.h"
#include "platform/graphics/graphics.h"
#include "tests/support/tools.h"

namespace {

// A bitmap whose pixel (x, y) has a distinct colour.
void FillPattern(TBitmap& bitmap)
{
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            bitmap.Canvas()->SetPixels(x, y,
                                       RGBToColor(uint8_t(x * 40), uint8_t(y * 50), uint8_t(x * 7 + y)));
        }
    }
}

std::vector<uint8_t> Rows(TBitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.ScanLine(y);
        bytes.insert(bytes.end(), row, row + bitmap.RowLength());
    }
    return bytes;
}

} // namespace

TEST(Bitmap, RowsAreAlignedAndContiguousTopDown)
{
    struct Case
    {
        TPixelFormat format;
        int32_t width;
        int32_t rowLength;
    };
    const Case cases[] = {
        {pf1bit, 33, 8}, {pf4bit, 9, 8},   {pf8bit, 5, 8},   {pf15bit, 3, 8},
        {pf16bit, 2, 4}, {pf24bit, 5, 16}, {pf32bit, 3, 12}, {pfDevice, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.format));
        TBitmap bitmap;
        bitmap.SetPixelFormat(c.format);
        bitmap.SetSize(c.width, 4);
        EXPECT_EQ(bitmap.RowLength(), c.rowLength);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bitmap.ScanLine(0)) % 4, 0u);
        for (int32_t y = 0; y + 1 < 4; ++y) {
            EXPECT_EQ(bitmap.ScanLine(y + 1), bitmap.ScanLine(y) + c.rowLength);
        }
    }
}

TEST(Bitmap, ScanLineOutsideTheImageRaises)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    EXPECT_THROW(bitmap.ScanLine(0), EInvalidGraphicOperation);
    bitmap.SetSize(2, 2);
    EXPECT_THROW(bitmap.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_THROW(bitmap.ScanLine(-1), EInvalidGraphicOperation);
    EXPECT_THROW(bitmap.SetWidth(-1), EInvalidGraphic);
    EXPECT_THROW(bitmap.SetSize(1 << 20, 1 << 20), EOutOfMemory);
    EXPECT_EQ(bitmap.Width(), 2); // a refused size leaves the bitmap as it was
}

TEST(Bitmap, PaletteRoundTripsAndHasDefaults)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf1bit);
    EXPECT_TRUE(bitmap.Monochrome());
    EXPECT_EQ(bitmap.PaletteCount(), 2);
    bitmap.SetPixelFormat(pf4bit);
    EXPECT_EQ(bitmap.PaletteCount(), 16);
    bitmap.SetPixelFormat(pf24bit);
    EXPECT_EQ(bitmap.Palette(), nullptr);
    bitmap.SetPixelFormat(pf8bit);
    ASSERT_EQ(bitmap.PaletteCount(), 256);

    std::vector<PALETTEENTRY> entries(256);
    for (int32_t i = 0; i < 256; ++i) {
        entries[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A), 0};
    }
    EXPECT_EQ(SetPaletteEntries(bitmap.Palette(), 0, 256, entries.data()), 256u);
    std::vector<PALETTEENTRY> read(256);
    EXPECT_EQ(GetPaletteEntries(bitmap.Palette(), 0, 300, read.data()), 256u);
    EXPECT_EQ(read, entries);
    EXPECT_FALSE(DeleteObject(bitmap.Palette())); // the bitmap owns its colour table

    // The palette also survives a copy and a BMP round trip.
    TBitmap copy;
    copy.Assign(&bitmap);
    EXPECT_EQ(GetPaletteEntries(copy.Palette(), 0, 256, read.data()), 256u);
    EXPECT_EQ(read, entries);
}

TEST(Bitmap, ResizingKeepsTheCommonArea)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(4, 3);
    FillPattern(bitmap);
    const TColor kept = bitmap.Canvas()->Pixels(1, 2);
    bitmap.SetSize(2, 5);
    EXPECT_EQ(bitmap.Canvas()->Pixels(1, 2), kept);
    EXPECT_EQ(bitmap.Canvas()->Pixels(1, 4), clBlack);
    EXPECT_EQ(bitmap.Canvas()->Pixels(2, 0), TColor(CLR_INVALID));
}

TEST(Bitmap, FormatConversionKeepsColoursThatFit)
{
    // Colours every format holds exactly survive a trip through it and back to 24 bits (5-bit
    // fields widen by a shift, so 15 and 16 bits hold white as 248 and are left out here).
    const TColor colours[] = {clBlack, clWhite, clRed, clLime, clBlue, clYellow};
    const TPixelFormat formats[] = {pf4bit, pf8bit, pf32bit, pfDevice};
    for (TPixelFormat format : formats) {
        SCOPED_TRACE(int(format));
        TBitmap bitmap;
        bitmap.SetPixelFormat(pf24bit);
        bitmap.SetSize(6, 1);
        for (int32_t x = 0; x < 6; ++x) {
            bitmap.Canvas()->SetPixels(x, 0, colours[x]);
        }
        bitmap.SetPixelFormat(format);
        bitmap.SetPixelFormat(pf24bit);
        for (int32_t x = 0; x < 6; ++x) {
            EXPECT_EQ(bitmap.Canvas()->Pixels(x, 0), colours[x]) << x;
        }
    }
    // One bit keeps black and white and sends other colours to the nearer of the two.
    TBitmap mono;
    mono.SetPixelFormat(pf24bit);
    mono.SetSize(3, 1);
    mono.Canvas()->SetPixels(0, 0, clWhite);
    mono.Canvas()->SetPixels(1, 0, RGBToColor(40, 40, 40));
    mono.Canvas()->SetPixels(2, 0, RGBToColor(220, 220, 220));
    mono.SetPixelFormat(pf1bit);
    EXPECT_EQ(mono.ScanLine(0)[0] & 0xE0, 0xA0); // bits 1, 0, 1
}

TEST(Bitmap, SavesAndLoadsBmpOfEveryFormat)
{
    const TPixelFormat formats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};
    for (TPixelFormat format : formats) {
        SCOPED_TRACE(int(format));
        TBitmap bitmap;
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(7, 5);
        FillPattern(bitmap);
        TMemoryStream stream;
        bitmap.SaveToStream(stream);
        EXPECT_EQ(stream.Size(), 14 + 40 + bitmap.PaletteCount() * 4 + (format == pf16bit ? 12 : 0) +
                                     int64_t(bitmap.RowLength()) * 5);
        stream.SetPosition(0);
        TBitmap loaded;
        loaded.LoadFromStream(stream);
        EXPECT_EQ(loaded.PixelFormat(), format);
        EXPECT_EQ(loaded.Width(), 7);
        EXPECT_EQ(loaded.Height(), 5);
        EXPECT_EQ(Rows(loaded), Rows(bitmap));
    }
}

TEST(Bitmap, RefusesBrokenBmpAndKeepsItsPixels)
{
    TBitmap good;
    good.SetPixelFormat(pf8bit);
    good.SetSize(4, 4);
    TMemoryStream original;
    good.SaveToStream(original);
    const auto* bytes = static_cast<const uint8_t*>(original.Memory());
    const std::vector<uint8_t> file(bytes, bytes + original.Size());

    struct Case
    {
        const char* symptom;
        size_t offset;
        std::vector<uint8_t> patch;
        size_t truncateTo;
    };
    const Case cases[] = {
        {"no signature", 0, {'X'}, 0},
        {"huge width", 18, {0xFF, 0xFF, 0xFF, 0x7F}, 0},
        {"zero height", 22, {0, 0, 0, 0}, 0},
        {"rle compression", 30, {1}, 0},
        {"odd bit count", 28, {7}, 0},
        {"too many colours", 46, {0x01, 0x10}, 0},
        {"rows cut short", 0, {}, file.size() - 3},
        {"header cut short", 0, {}, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symptom);
        std::vector<uint8_t> broken = file;
        std::copy(c.patch.begin(), c.patch.end(), broken.begin() + ptrdiff_t(c.offset));
        if (c.truncateTo) {
            broken.resize(c.truncateTo);
        }
        TMemoryStream stream;
        stream.WriteBuffer(broken.data(), int64_t(broken.size()));
        stream.SetPosition(0);
        TBitmap target;
        target.SetPixelFormat(pf24bit);
        target.SetSize(2, 3);
        EXPECT_THROW(target.LoadFromStream(stream), EInvalidGraphic);
        EXPECT_EQ(target.Width(), 2);
        EXPECT_EQ(target.PixelFormat(), pf24bit);
    }
}

TEST(Bitmap, BmpWrittenHereIsReadByAnIndependentTool)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(3, 2);
    bitmap.Canvas()->SetPixels(0, 0, clRed);
    bitmap.Canvas()->SetPixels(2, 1, clBlue);
    const std::string path = testing::TempDir() + "graphics_roundtrip.bmp";
    bitmap.SaveToFile(path);
    const std::string text = kvtest::ToolOutput("convert '" + path + "' -depth 8 txt:-");
    EXPECT_NE(text.find("0,0: (255,0,0)"), std::string::npos) << text;
    EXPECT_NE(text.find("2,1: (0,0,255)"), std::string::npos) << text;
    EXPECT_NE(text.find("1,0: (0,0,0)"), std::string::npos) << text;
}

TEST(Bitmap, PackedDibIsBottomUpAndRoundTrips)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf8bit);
    bitmap.SetSize(3, 2);
    bitmap.ScanLine(0)[0] = 7; // top row
    bitmap.ScanLine(1)[0] = 9;
    HGLOBAL dib = BitmapToPackedDIB(bitmap);
    ASSERT_NE(dib, nullptr);
    BITMAPINFOHEADER header;
    ASSERT_TRUE(ReadDIBHeader(dib, header));
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biHeight, 2);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biClrUsed, 256u);
    {
        TGlobalLock lock(dib);
        const uint8_t* rows = lock.Data() + 40 + 256 * 4;
        EXPECT_EQ(rows[0], 9); // the bottom row comes first
        EXPECT_EQ(rows[4], 7);
    }
    TBitmap back;
    ASSERT_TRUE(PackedDIBToBitmap(dib, back));
    EXPECT_EQ(Rows(back), Rows(bitmap));
    EXPECT_EQ(GlobalFree(dib), nullptr);
    EXPECT_EQ(GlobalFree(dib), dib); // a freed handle is refused, not freed twice
    EXPECT_EQ(GlobalLock(dib), nullptr);
}

TEST(Bitmap, PackedDibImportChecksEverySize)
{
    // A 2 x 2 top-down 24-bit DIB, then copies broken in one field each.
    std::vector<uint8_t> dib(40 + 16, 0);
    BITMAPINFOHEADER header;
    header.biWidth = 2;
    header.biHeight = -2;
    header.biBitCount = 24;
    std::memcpy(dib.data(), &header, sizeof(header));
    dib[40] = 0x11; // blue of the top-left pixel
    TBitmap bitmap;
    ASSERT_TRUE(PackedDIBToBitmap(dib.data(), dib.size(), bitmap));
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0x11);

    EXPECT_FALSE(PackedDIBToBitmap(dib.data(), dib.size() - 1, bitmap)); // rows cut short
    EXPECT_FALSE(PackedDIBToBitmap(dib.data(), 39, bitmap));             // header cut short
    BITMAPINFOHEADER wide = header;
    wide.biWidth = 0x7FFFFFFF;
    std::memcpy(dib.data(), &wide, sizeof(wide));
    EXPECT_FALSE(PackedDIBToBitmap(dib.data(), dib.size(), bitmap));
    BITMAPINFOHEADER masks = header;
    masks.biCompression = BI_BITFIELDS; // 24 bits cannot have masks
    std::memcpy(dib.data(), &masks, sizeof(masks));
    EXPECT_FALSE(PackedDIBToBitmap(dib.data(), dib.size(), bitmap));
    EXPECT_EQ(bitmap.Width(), 2); // each refusal left the bitmap alone
}

TEST(Bitmap, SixteenBitFieldsImportAsTheirFormat)
{
    // 2 x 1 DIBs with masks: 5-6-5 stays pf16bit; 4-4-4 widens to 32 bits.
    struct Case
    {
        uint32_t masks[3];
        uint16_t pixel;
        TPixelFormat format;
        COLORREF colour;
    };
    const Case cases[] = {
        {{0xF800, 0x07E0, 0x001F}, 0xFFFF, pf16bit, RGB(248, 252, 248)},
        {{0x0F00, 0x00F0, 0x000F}, 0x0F0F, pf32bit, RGB(240, 0, 240)},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> dib(40 + 12 + 4, 0);
        BITMAPINFOHEADER header;
        header.biWidth = 2;
        header.biHeight = 1;
        header.biBitCount = 16;
        header.biCompression = BI_BITFIELDS;
        std::memcpy(dib.data(), &header, sizeof(header));
        std::memcpy(dib.data() + 40, c.masks, 12);
        std::memcpy(dib.data() + 52, &c.pixel, 2);
        TBitmap bitmap;
        ASSERT_TRUE(PackedDIBToBitmap(dib.data(), dib.size(), bitmap));
        EXPECT_EQ(bitmap.PixelFormat(), c.format);
        EXPECT_EQ(COLORREF(bitmap.Canvas()->Pixels(0, 0)), c.colour);
    }
}

TEST(Bitmap, ChangesAreReported)
{
    TBitmap bitmap;
    int changes = 0;
    bitmap.OnChange = [&](TObject*) { ++changes; };
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(2, 2);
    bitmap.Canvas()->FillRect(Rect(0, 0, 2, 2));
    EXPECT_GE(changes, 3);
    EXPECT_TRUE(bitmap.Modified());
    bitmap.SetModified(false);
    EXPECT_FALSE(bitmap.Modified());
}

namespace {

// A graphic class of the test's own: a bitmap stored in files of its own extension.
class TTestImage : public TBitmap
{
};

} // namespace

TEST(Picture, LoadsByExtensionThroughRegisteredClasses)
{
    TBitmap source;
    source.SetPixelFormat(pf24bit);
    source.SetSize(3, 2);
    const std::string bmp = testing::TempDir() + "graphics_picture.bmp";
    const std::string own = testing::TempDir() + "graphics_picture.TSTIMG";
    source.SaveToFile(bmp);
    source.SaveToFile(own);

    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TObject*) { ++changes; };
    picture.LoadFromFile(bmp);
    EXPECT_EQ(typeid(*picture.Graphic()), typeid(TBitmap));
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_THROW(picture.LoadFromFile(own), EInvalidGraphic);
    EXPECT_EQ(picture.Width(), 3); // the refused file left the picture alone

    TPicture::RegisterFileFormat("tstimg", "Test images", GraphicClassOf<TTestImage>());
    EXPECT_EQ(TPicture::FileFormatClass(".TstImg"), GraphicClassOf<TTestImage>());
    picture.LoadFromFile(own);
    EXPECT_EQ(typeid(*picture.Graphic()), typeid(TTestImage));
    EXPECT_EQ(picture.Height(), 2);

    // A copy keeps the graphic's class; Bitmap() swaps any other class for a plain bitmap.
    TPicture copy;
    copy.Assign(&picture);
    EXPECT_EQ(typeid(*copy.Graphic()), typeid(TTestImage));
    EXPECT_NE(copy.Graphic(), picture.Graphic());
    EXPECT_EQ(typeid(*copy.Bitmap()), typeid(TBitmap));
    EXPECT_TRUE(copy.Bitmap()->Empty());

    TPicture::UnregisterGraphicClass(GraphicClassOf<TTestImage>());
    EXPECT_EQ(TPicture::FileFormatClass("TSTIMG"), nullptr);
    EXPECT_THROW(copy.SetGraphic(picture.Graphic()), EInvalidGraphic); // its class is gone
    EXPECT_GE(changes, 2);
}
