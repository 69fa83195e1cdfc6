// The tiled virtual bitmap: tile geometry and file sizes, pixels in every bit count, the callback
// walk, borrowed bitmaps across tiles, loading, drawing at 1:1 and zoomed, and an image of more
// than 4 GiB in little memory.
#include "imaging/core/virtual_bitmap.h"

#include "imaging/core/kvbitmap.h"
#include "platform/forms/controls.h"
#include "platform/graphics/bitmap.h"
#include "tests/core/temp_folder.h"
#include "tests/support/peak_heap.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

class VirtualBitmap : public TempFolderTest
{
};

// A colour for each image position.
TRGB Colour(int32_t x, int32_t y)
{
    return TRGB{uint8_t(x * 7 + y), uint8_t(x ^ y), uint8_t(y * 3 + 1)};
}

std::unique_ptr<TBitmap> Canvas24(int32_t width, int32_t height)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    return bitmap;
}

TRGB At(TBitmap& bitmap, int32_t x, int32_t y)
{
    TRGB c;
    std::memcpy(&c, bitmap.ScanLine(y) + x * 3, 3);
    return c;
}

// Fills a virtual bitmap of 24 bits from Colour through the callback walk.
void FillColours(TKVVirtualBitmap& image)
{
    image.ApplyFunction(
        0, 0, int32_t(image.Width()), int32_t(image.Height()),
        [](int32_t x, int32_t y, uint8_t* pixel, void*) {
            const TRGB c = Colour(x, y);
            std::memcpy(pixel, &c, 3);
        },
        nullptr);
}

} // namespace

TEST_F(VirtualBitmap, TileGeometryAndFileSizeFollowTheBitCount)
{
    const struct
    {
        uint32_t width, height, bits, across, down;
        int64_t fileSize;
    } cases[] = {
        {3000, 1200, 1, 3, 3, 589824},
        {1000, 1000, 8, 4, 4, 1048576},
        {513, 512, 24, 2, 1, 1572864},
        {1, 1, 24, 1, 1, 786432},
    };
    for (const auto& c : cases) {
        TKVVirtualBitmap image;
        ASSERT_TRUE(image.AllocateBits(c.width, c.height, c.bits));
        EXPECT_EQ(image.TilesAcross(), c.across) << c.bits;
        EXPECT_EQ(image.TilesDown(), c.down) << c.bits;
        EXPECT_EQ(image.FileSize(), c.fileSize) << c.bits;
    }
    // The setters allocate once all three are known.
    TKVVirtualBitmap set;
    set.SetWidth(100);
    set.SetBitCount(8);
    EXPECT_EQ(set.FileSize(), 0);
    set.SetHeight(300);
    EXPECT_EQ(set.TilesDown(), 2u);
    EXPECT_EQ(set.FileSize(), 256 * 256 * 2);
}

TEST_F(VirtualBitmap, PixelsInEveryBitCountAndOutsideTheImage)
{
    for (uint32_t bits : {1u, 8u, 24u}) {
        SCOPED_TRACE(bits);
        TKVVirtualBitmap image;
        ASSERT_TRUE(image.AllocateBits(1500, 700, bits));
        const uint8_t colour[3] = {10, 20, 30};
        const int32_t points[][2] = {{0, 0}, {1499, 699}, {1023, 511}, {1024, 512}, {3, 600}};
        for (const auto& p : points)
            image.SetPixel(p[0], p[1], colour);
        for (const auto& p : points) {
            uint8_t read[3] = {};
            image.GetPixel(p[0], p[1], read);
            if (bits == 1)
                EXPECT_EQ(read[0], 0x80 >> (p[0] & 7)) << p[0];
            else
                EXPECT_EQ(std::memcmp(read, colour, bits / 8), 0) << p[0];
        }
        uint8_t cleared[3] = {0, 0, 0};
        image.SetPixel(3, 600, cleared);
        uint8_t read[3] = {9, 9, 9};
        image.GetPixel(3, 600, read);
        EXPECT_EQ(read[0], 0);
        // Outside: ignored when written, zeros when read.
        image.SetPixel(-1, 5, colour);
        image.SetPixel(1500, 5, colour);
        std::memset(read, 9, 3);
        image.GetPixel(1500, 0, read);
        EXPECT_EQ(read[0], 0);
        EXPECT_EQ(read[bits == 24 ? 2 : 0], 0);
    }
}

TEST_F(VirtualBitmap, CallbackWalkAndBorrowedBitmapsAcrossTiles)
{
    TKVVirtualBitmap image;
    ASSERT_TRUE(image.AllocateBits(1100, 1100, 24));
    FillColours(image);

    // One pixel high: once per pixel of the row, in order, cut to the image.
    std::vector<int32_t> visited;
    image.ApplyFunction(
        1090, 600, 30, 1,
        [](int32_t x, int32_t y, uint8_t*, void* user) {
            static_cast<std::vector<int32_t>*>(user)->push_back(x * 10000 + y);
        },
        &visited);
    ASSERT_EQ(visited.size(), 10u);
    EXPECT_EQ(visited.front(), 1090 * 10000 + 600);
    EXPECT_EQ(visited.back(), 1099 * 10000 + 600);

    // A rectangle across four tiles, drawn on and released, changes exactly those pixels.
    TBitmap* got = image.GetBitmap(500, 505, 20, 10);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->PixelFormat(), pf24bit);
    EXPECT_EQ(At(*got, 0, 0), Colour(500, 505));
    EXPECT_EQ(At(*got, 19, 9), Colour(519, 514));
    got->Canvas()->Brush()->SetColor(clRed);
    got->Canvas()->FillRect(TRect{2, 3, 18, 9});
    image.ReleaseBitmap(got);
    image.ReleaseBitmap(got); // already given back: ignored
    int32_t wrong = 0;
    for (int32_t y = 500; y < 520; ++y)
        for (int32_t x = 495; x < 525; ++x) {
            uint8_t read[3];
            image.GetPixel(x, y, read);
            const bool painted = x >= 502 && x < 518 && y >= 508 && y < 514;
            const TRGB expected = painted ? TRGB{0, 0, 255} : Colour(x, y);
            wrong += std::memcmp(read, &expected, 3) != 0;
        }
    EXPECT_EQ(wrong, 0);

    // Pixel writes and borrowed bitmaps see one copy of a tile.
    const uint8_t blue[3] = {255, 0, 0};
    image.SetPixel(600, 600, blue);
    TBitmap* view = image.GetBitmap(599, 599, 3, 3);
    EXPECT_EQ(At(*view, 1, 1), (TRGB{255, 0, 0}));
    image.ReleaseBitmap(view);

    // Grey images lend a pf8bit bitmap with a grey ramp; 16 bits lend none.
    TKVVirtualBitmap grey;
    ASSERT_TRUE(grey.AllocateBits(300, 300, 8));
    const uint8_t level = 200;
    grey.SetPixel(260, 10, &level);
    TBitmap* greyView = grey.GetBitmap(250, 0, 20, 20);
    ASSERT_NE(greyView, nullptr);
    EXPECT_EQ(greyView->PixelFormat(), pf8bit);
    EXPECT_EQ(greyView->Canvas()->Pixels(10, 10), TColor(0xC8C8C8));
    grey.ReleaseBitmap(greyView);
    EXPECT_EQ(grey.GetBitmap(400, 400, 5, 5), nullptr);
    TKVVirtualBitmap sixteen;
    ASSERT_TRUE(sixteen.AllocateBits(10, 10, 16));
    EXPECT_EQ(sixteen.GetBitmap(0, 0, 5, 5), nullptr);
}

TEST_F(VirtualBitmap, LoadedAndDrawnUprightAtOneToOneAndZoomed)
{
    TKVBitmap source;
    source.Allocate(700, 600, kv24RGB);
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 700; ++x)
            source.SetPixels_kv24RGB(x, y, Colour(x, y));
    TKVVirtualBitmap image;
    ASSERT_TRUE(image.AllocateBits(700, 600, 24));
    image.CopyFromKVBitmap(&source, 0, 0, 700, 600);

    auto drawn = Canvas24(700, 600);
    image.RenderTo(drawn->Canvas(), 0, 0, 700, 600, 0, 0, 700, 600, false);
    int32_t wrong = 0;
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 700; ++x)
            wrong += !(At(*drawn, x, y) == Colour(x, y));
    EXPECT_EQ(wrong, 0);

    // Halved, each piece from Trunc of its left edge to Trunc of its right edge: no seams.
    auto half = Canvas24(350, 300);
    half->Canvas()->Brush()->SetColor(clLime);
    half->Canvas()->FillRect(TRect{0, 0, 350, 300});
    image.RenderTo(half->Canvas(), 0, 0, 350, 300, 0, 0, 700, 600, false);
    wrong = 0;
    for (int32_t y = 0; y < 300; ++y)
        for (int32_t x = 0; x < 350; ++x)
            wrong += !(At(*half, x, y) == Colour(2 * x, 2 * y));
    EXPECT_EQ(wrong, 0);

    // A source rectangle past the image draws only what lies inside; an empty one nothing.
    auto edge = Canvas24(40, 40);
    edge->Canvas()->Brush()->SetColor(clLime);
    edge->Canvas()->FillRect(TRect{0, 0, 40, 40});
    image.RenderTo(edge->Canvas(), 0, 0, 40, 40, 680, 580, 40, 40, false);
    EXPECT_EQ(At(*edge, 19, 19), Colour(699, 599));
    EXPECT_EQ(At(*edge, 20, 19), (TRGB{0, 255, 0}));
    image.RenderTo(edge->Canvas(), 0, 0, 40, 40, 0, 0, 0, 40, false);
    EXPECT_EQ(At(*edge, 20, 19), (TRGB{0, 255, 0}));

    // Onto a custom control's front image, black and white reduced with the filter.
    TKVVirtualBitmap bw;
    ASSERT_TRUE(bw.AllocateBits(2048, 1024, 1));
    const uint8_t on = 1;
    for (int32_t y = 0; y < 1024; ++y)
        for (int32_t x = 0; x < 1024; ++x)
            bw.SetPixel(x, y, &on);
    TCustomControl control(nullptr);
    control.SetBounds(0, 0, 64, 32);
    bw.RenderTo(control.Canvas(), 0, 0, 64, 32, 0, 0, 2048, 1024, true);
    TBitmap* front = control.FrontImage();
    EXPECT_EQ(At(*front, 0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(At(*front, 31, 31), (TRGB{255, 255, 255}));
    EXPECT_EQ(At(*front, 32, 0), TRGB{});
    bw.RenderTo(control.Canvas(), 0, 0, 64, 32, 0, 0, 2048, 1024, false);
    EXPECT_EQ(At(*front, 31, 31), (TRGB{255, 255, 255}));
    EXPECT_EQ(At(*front, 63, 0), TRGB{});
}

TEST_F(VirtualBitmap, MoreThanFourGigabytesInLittleMemory)
{
    kvtest::ResetPeakResident();
    const int64_t startKb = kvtest::PeakResidentKb();
    TKVVirtualBitmap image;
    ASSERT_TRUE(image.AllocateBits(38000, 38000, 24));
    EXPECT_EQ(image.FileSize(), 4423680000);
    const int32_t corners[][2] = {{0, 0}, {37999, 0}, {0, 37999}, {37999, 37999}};
    for (const auto& c : corners) {
        const TRGB colour = Colour(c[0], c[1]);
        image.SetPixel(c[0], c[1], &colour.b);
    }
    // A rectangle across four tiles near the end of the file.
    TBitmap* got = image.GetBitmap(37880, 37880, 20, 20);
    ASSERT_NE(got, nullptr);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            const TRGB colour = Colour(37880 + x, 37880 + y);
            std::memcpy(got->ScanLine(y) + x * 3, &colour, 3);
        }
    image.ReleaseBitmap(got);
    for (const auto& c : corners) {
        TRGB read;
        image.GetPixel(c[0], c[1], &read.b);
        EXPECT_EQ(read, Colour(c[0], c[1])) << c[0] << "," << c[1];
    }
    int32_t wrong = 0;
    for (int32_t y = 37875; y < 37905; ++y)
        for (int32_t x = 37875; x < 37905; ++x) {
            TRGB read;
            image.GetPixel(x, y, &read.b);
            const bool inside = x >= 37880 && x < 37900 && y >= 37880 && y < 37900;
            wrong += !(read == (inside ? Colour(x, y) : TRGB{}));
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(kvtest::PeakResidentKb() - startKb, 64 * 1024);
}
