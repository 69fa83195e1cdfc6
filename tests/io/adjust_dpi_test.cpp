// Equal resolutions by resampling: the shorter side is rescaled, the size comes from the picture
// itself, and the pixel format, palette and alpha channel follow.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "tests/io/io_test_support.h"

#include <gtest/gtest.h>

using namespace kviotest;

TEST(AdjustDPI, RescalesTheShorterSideToTheOtherResolution)
{
    const struct
    {
        int32_t width, height, dpiX, dpiY;
        int32_t newWidth, newHeight, newDpi; // newDpi 0: nothing changes
    } cases[] = {
        {200, 100, 200, 100, 200, 200, 200}, {200, 100, 100, 200, 200, 50, 100},
        {100, 200, 100, 200, 200, 200, 200}, {100, 200, 200, 100, 50, 200, 100},
        {120, 120, 300, 150, 60, 120, 150},  {200, 100, 150, 150, 200, 100, 0},
        {200, 100, 0, 150, 200, 100, 0},     {200, 100, 150, -3, 200, 100, 0},
    };
    for (const bool filtered : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.dpiX << "x" << c.dpiY
                                            << (filtered ? " filtered" : ""));
            TKorvaneIO io(nullptr);
            io.FilteredAdjustDPI = filtered;
            FillPattern(*io.KVBitmap(), c.width, c.height);
            // The parameters still tell the size of a picture the program has since cut.
            io.Params().Width = 7;
            io.Params().Height = 9;
            io.Params().DpiX = c.dpiX;
            io.Params().DpiY = c.dpiY;
            io.AdjustDPI();
            EXPECT_EQ(io.KVBitmap()->GetWidth(), c.newWidth);
            EXPECT_EQ(io.KVBitmap()->GetHeight(), c.newHeight);
            if (c.newDpi != 0) {
                EXPECT_EQ(io.Params().Width, c.newWidth);
                EXPECT_EQ(io.Params().Height, c.newHeight);
                EXPECT_EQ(io.Params().DpiX, c.newDpi);
                EXPECT_EQ(io.Params().DpiY, c.newDpi);
            } else {
                EXPECT_EQ(io.Params().Width, 7);
                EXPECT_EQ(io.Params().DpiX, c.dpiX);
            }
        }
    }
}

TEST(AdjustDPI, KeepsThePaletteOrFiltersToTrueColourAndStretchesTheAlpha)
{
    // Four columns of palette entries 0..3 in eight rows, the right half transparent.
    const auto make = [](TKorvaneIO& io) {
        TKVBitmap& picture = *io.KVBitmap();
        picture.Allocate(4, 8, kv8p);
        const TRGB palette[] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
        for (int32_t i = 0; i < 4; ++i) {
            picture.SetPalette(i, palette[i]);
        }
        for (int32_t y = 0; y < 8; ++y) {
            for (int32_t x = 0; x < 4; ++x) {
                picture.GetScanLine(y)[x] = uint8_t(x);
                picture.GetAlphaChannel()->GetScanLine(y)[x] = x < 2 ? 255 : 0;
            }
        }
        io.Params().DpiX = 100;
        io.Params().DpiY = 300;
    };
    TKorvaneIO nearest(nullptr), filtered(nullptr);
    filtered.FilteredAdjustDPI = true;
    for (TKorvaneIO* io : {&nearest, &filtered}) {
        make(*io);
        io->AdjustDPI();
        ASSERT_EQ(io->KVBitmap()->GetWidth(), 12);
        ASSERT_EQ(io->KVBitmap()->GetHeight(), 8);
        ASSERT_TRUE(io->KVBitmap()->GetHasAlphaChannel());
        TKVBitmap* alpha = io->KVBitmap()->GetAlphaChannel();
        for (int32_t x = 0; x < 12; ++x) {
            EXPECT_EQ(alpha->GetScanLine(1)[x], x < 6 ? 255 : 0) << x;
        }
    }
    EXPECT_EQ(nearest.KVBitmap()->GetPixelFormat(), kv8p);
    EXPECT_EQ(nearest.KVBitmap()->GetScanLine(0)[7], 2);
    EXPECT_EQ(nearest.KVBitmap()->GetPalette(2), (TRGB{255, 0, 0}));
    EXPECT_EQ(filtered.KVBitmap()->GetPixelFormat(), kv24RGB);
}
