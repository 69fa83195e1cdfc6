// Drawing bitmaps onto class-library bitmaps and canvases: exact pixel vectors of every format,
// blending, display range, contrast, clipping, kept tables, the filtered path, banded canvas
// drawing with gamma, and the scaled copy between bitmaps. Runs in memory and file-backed.
#include "imaging/core/daduvudez.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/forms/controls.h"
#include "platform/graphics/gdi.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

TRGB Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return TRGB{b, g, r};
}

std::unique_ptr<TBitmap> Target(int32_t width, int32_t height, TRGB fill)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            std::memcpy(bitmap->ScanLine(y) + x * 3, &fill, 3);
    return bitmap;
}

TRGB At(TBitmap& bitmap, int32_t x, int32_t y)
{
    TRGB c;
    std::memcpy(&c, bitmap.ScanLine(y) + x * 3, 3);
    return c;
}

void Make24(TKVBitmap& bitmap, int32_t width, const std::vector<TRGB>& pixels)
{
    bitmap.Allocate(width, int32_t(pixels.size()) / width, kv24RGB);
    for (int32_t i = 0; i < int32_t(pixels.size()); ++i)
        bitmap.SetPixels_kv24RGB(i % width, i / width, pixels[i]);
}

// Renders the whole image 1:1 at the origin of a one-colour target and returns its pixel (0, 0).
TRGB RenderOne(TKVBitmap& image, TRGB background, bool alpha, int32_t transparency)
{
    auto target = Target(1, 1, background);
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xt, yt;
    image.RenderToTBitmap(target.get(), rows, xt, yt, nullptr, 0, 0, 1, 1, 0, 0, 1, 1, alpha, false,
                          transparency, rfNone, true);
    return At(*target, 0, 0);
}

void Render(TKVBitmap& image, TBitmap& target, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx,
            int32_t sy, int32_t sw, int32_t sh, TResampleFilter filter = rfNone,
            const TRect* update = nullptr)
{
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xt, yt;
    image.RenderToTBitmap(&target, rows, xt, yt, update, dx, dy, dw, dh, sx, sy, sw, sh, false, true, 255,
                          filter, true);
}

bool SameArea(TBitmap& a, TBitmap& b, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    for (int32_t y = y1; y < y2; ++y)
        if (std::memcmp(a.ScanLine(y) + x1 * 3, b.ScanLine(y) + x1 * 3, size_t(x2 - x1) * 3) != 0)
            return false;
    return true;
}

// A width x height image whose pixel (x, y) has red x, green y and blue 7.
void MakeRamp(TKVBitmap& image, int32_t width, int32_t height)
{
    image.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            image.SetPixels_kv24RGB(x, y, Rgb(uint8_t(x), uint8_t(y), 7));
}

} // namespace

TEST(Render, FormatsBlendingRangeAndContrastGiveExactGreys)
{
    const TRGB black{}, white = Rgb(255, 255, 255);
    struct Case
    {
        const char* what;
        TKVPixelFormat format;
        double sample;
        double low, high;
        int32_t contrast;
        TRGB background;
        int32_t transparency;
        int32_t alpha; // -1: no alpha channel
        uint8_t expected;
    };
    const Case cases[] = {
        {"transparency 128, white over black", kv24RGB, 255, 0, 0, 0, black, 128, -1, 127},
        {"transparency 128, black over white", kv24RGB, 0, 0, 0, 0, white, 128, -1, 127},
        {"alpha 255 not Full, white over black", kv24RGB, 255, 0, 0, 0, black, 255, 255, 254},
        {"alpha 255 not Full, black over white", kv24RGB, 0, 0, 0, 0, white, 255, 255, 0},
        {"alpha 0 leaves the background", kv24RGB, 255, 0, 0, 0, black, 255, 0, 0},
        {"transparency below the alpha wins", kv24RGB, 255, 0, 0, 0, black, 64, 200, 63},
        {"contrast 3 on 100 truncates", kv24RGB, 100, 0, 0, 3, black, 255, -1, 92},
        {"contrast -4 on 30 truncates", kv24RGB, 30, 0, 0, -4, black, 255, -1, 50},
        {"contrast with blending", kv24RGB, 100, 0, 0, 3, black, 128, -1, 46},
        {"kv8g raw", kv8g, 150, 0, 0, 0, black, 255, -1, 150},
        {"kv8g range 100..200, 150", kv8g, 150, 100, 200, 0, black, 255, -1, 128},
        {"kv8g range 100..200, 175", kv8g, 175, 100, 200, 0, black, 255, -1, 191},
        {"kv8g range 100..200, 90", kv8g, 90, 100, 200, 0, black, 255, -1, 0},
        {"kv8g range 100..200, 250", kv8g, 250, 100, 200, 0, black, 255, -1, 255},
        {"kv8g blended", kv8g, 200, 0, 0, 0, black, 128, -1, 100},
        {"kv16g raw is the high byte", kv16g, 0x1234, 0, 0, 0, black, 255, -1, 0x12},
        {"kv16g range", kv16g, 1500, 1000, 2000, 0, black, 255, -1, 128},
        {"kv32f raw", kv32f, 0.5, 0, 0, 0, black, 255, -1, 128},
        {"kv32f above 1 clamps", kv32f, 1.01, 0, 0, 0, black, 255, -1, 255},
        {"kv32f below 0 clamps", kv32f, -0.2, 0, 0, 0, white, 255, -1, 0},
        {"kv32f range", kv32f, 3.0, 2.0, 4.0, 0, black, 255, -1, 128},
        {"kv1g set bit", kv1g, 1, 0, 0, 0, black, 255, -1, 255},
        {"kv1g blended toward black", kv1g, 0, 0, 0, 0, white, 128, -1, 127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TKVBitmap image;
        image.Allocate(1, 1, c.format);
        switch (c.format) {
        case kv24RGB:
            image.SetPixels_kv24RGB(0, 0, Rgb(uint8_t(c.sample), uint8_t(c.sample), uint8_t(c.sample)));
            break;
        case kv8g:
            image.SetPixels_kv8(0, 0, uint8_t(c.sample));
            break;
        case kv16g:
            image.SetPixels_kv16g(0, 0, uint16_t(c.sample));
            break;
        case kv32f:
            image.SetPixels_kv32f(0, 0, float(c.sample));
            break;
        default:
            image.SetPixels_kv1g(0, 0, c.sample != 0);
            break;
        }
        image.DisplayRangeLow = c.low;
        image.DisplayRangeHigh = c.high;
        image.Contrast = c.contrast;
        if (c.alpha >= 0) {
            image.GetAlphaChannel()->SetPixels_kv8(0, 0, uint8_t(c.alpha));
            image.GetAlphaChannel()->Full = false;
        }
        const TRGB out = RenderOne(image, c.background, true, c.transparency);
        EXPECT_EQ(out, Rgb(c.expected, c.expected, c.expected));
    }
}

TEST(Render, PaletteOffsetsAndFullAlpha)
{
    TKVBitmap palette;
    palette.Allocate(2, 1, kv8p);
    palette.SetPalette(3, Rgb(10, 20, 30));
    palette.SetPixels_kv8(0, 0, 3);
    EXPECT_EQ(RenderOne(palette, TRGB{}, false, 255), Rgb(10, 20, 30));

    TKVBitmap colour;
    Make24(colour, 1, {Rgb(100, 100, 250)});
    colour.SetChannelOffset(0, 20);
    colour.SetChannelOffset(2, 10);
    colour.SetChannelOffset(4, 99);
    EXPECT_EQ(colour.GetChannelOffset(4), 0);
    EXPECT_EQ(colour.GetChannelOffset(1), 0);
    EXPECT_TRUE(colour.ChannelOffsetOn());
    EXPECT_EQ(RenderOne(colour, TRGB{}, false, 255), Rgb(120, 100, 255));
    colour.SetChannelOffset(0, 0);
    colour.SetChannelOffset(2, 0);
    EXPECT_FALSE(colour.ChannelOffsetOn());

    // A Full alpha channel draws as opaque even with EnableAlpha.
    TKVBitmap white;
    Make24(white, 1, {Rgb(255, 255, 255)});
    white.GetAlphaChannel()->Fill(255);
    EXPECT_TRUE(white.GetAlphaChannel()->Full);
    EXPECT_EQ(RenderOne(white, TRGB{}, true, 255), Rgb(255, 255, 255));
}

TEST(Render, DoublesClipsAndCutsTheSourceToTheImage)
{
    TKVBitmap image;
    Make24(image, 2, {Rgb(1, 0, 0), Rgb(2, 0, 0), Rgb(3, 0, 0), Rgb(4, 0, 0)});
    auto target = Target(4, 4, TRGB{});
    Render(image, *target, 0, 0, 4, 4, 0, 0, 2, 2);
    const uint8_t doubled[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(At(*target, x, y).r, doubled[y][x]) << x << "," << y;

    // A destination origin of (-10, -10) moves the source origin by Round(10 x 0.5) = 5.
    TKVBitmap ramp;
    MakeRamp(ramp, 50, 50);
    auto big = Target(120, 120, TRGB{});
    Render(ramp, *big, -10, -10, 100, 100, 0, 0, 50, 50);
    EXPECT_EQ(At(*big, 0, 0), Rgb(5, 5, 7));
    EXPECT_EQ(At(*big, 2, 4), Rgb(6, 7, 7));
    EXPECT_EQ(At(*big, 89, 89), Rgb(49, 49, 7));
    EXPECT_EQ(At(*big, 90, 90), TRGB{});

    // A source running past the image is cut with the destination in proportion.
    auto cut = Target(20, 1, Rgb(9, 9, 9));
    Render(ramp, *cut, 0, 0, 20, 1, 45, 0, 10, 1);
    EXPECT_EQ(At(*cut, 9, 0), Rgb(49, 0, 7));
    EXPECT_EQ(At(*cut, 10, 0), Rgb(9, 9, 9));
    // The same at 1:1, where the block copy would have read past the row.
    auto oneToOne = Target(20, 1, Rgb(9, 9, 9));
    Render(ramp, *oneToOne, 0, 0, 10, 1, 45, 0, 10, 1);
    EXPECT_EQ(At(*oneToOne, 4, 0), Rgb(49, 0, 7));
    EXPECT_EQ(At(*oneToOne, 5, 0), Rgb(9, 9, 9));

    // The update rectangle limits what is drawn.
    auto partial = Target(4, 4, Rgb(9, 9, 9));
    const TRect update{1, 1, 2, 2};
    Render(image, *partial, 0, 0, 4, 4, 0, 0, 2, 2, rfNone, &update);
    EXPECT_EQ(At(*partial, 0, 0), Rgb(9, 9, 9));
    EXPECT_EQ(At(*partial, 1, 1), Rgb(1, 0, 0));
    EXPECT_EQ(At(*partial, 2, 2), Rgb(4, 0, 0));
    EXPECT_EQ(At(*partial, 3, 3), Rgb(9, 9, 9));

    // Only pf24bit destinations are drawn on.
    TBitmap eightBit;
    eightBit.SetPixelFormat(pf8bit);
    eightBit.SetSize(4, 4);
    std::vector<uint8_t> before(eightBit.ScanLine(0), eightBit.ScanLine(0) + eightBit.RowLength() * 4);
    Render(image, eightBit, 0, 0, 4, 4, 0, 0, 2, 2);
    EXPECT_EQ(std::vector<uint8_t>(eightBit.ScanLine(0), eightBit.ScanLine(0) + eightBit.RowLength() * 4),
              before);
}

TEST(Render, TablesAreKeptRebuiltWhenTheyDoNotFitAndNeverWrap)
{
    TKVBitmap ramp;
    MakeRamp(ramp, 40, 30);
    auto fresh = Target(100, 80, TRGB{});
    auto kept = Target(100, 80, TRGB{});
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xt, yt;

    // 1:1 kv24RGB with nothing to adjust builds no sampling tables.
    ramp.RenderToTBitmap(kept.get(), rows, xt, yt, nullptr, 0, 0, 40, 30, 0, 0, 40, 30, false, true, 255,
                         rfNone, false);
    EXPECT_EQ(xt, nullptr);
    EXPECT_EQ(yt, nullptr);
    EXPECT_NE(rows, nullptr);

    // A table kept from a call limited to an update rectangle serves the next full repaint.
    const TRect update{60, 50, 70, 60};
    ramp.RenderToTBitmap(kept.get(), rows, xt, yt, &update, 3, 2, 97, 78, 1, 1, 37, 28, false, true, 255,
                         rfNone, false);
    ASSERT_NE(xt, nullptr);
    ramp.RenderToTBitmap(kept.get(), rows, xt, yt, nullptr, 3, 2, 97, 78, 1, 1, 37, 28, false, true, 255,
                         rfNone, false);
    Render(ramp, *fresh, 3, 2, 97, 78, 1, 1, 37, 28);
    EXPECT_TRUE(SameArea(*kept, *fresh, 3, 2, 100, 80));

    // A kept table of another geometry is rebuilt, not read past its end.
    ramp.RenderToTBitmap(kept.get(), rows, xt, yt, nullptr, 0, 0, 100, 80, 0, 0, 40, 30, false, true, 255,
                         rfNone, false);
    Render(ramp, *fresh, 0, 0, 100, 80, 0, 0, 40, 30);
    EXPECT_TRUE(SameArea(*kept, *fresh, 0, 0, 100, 80));

    // 300,000 columns drawn into 300 sample column 1000 i, past the 32-bit product.
    TKVBitmap wide;
    wide.Allocate(300000, 1, kv1g);
    wide.Fill(0);
    for (int32_t i = 0; i < 300; ++i)
        wide.SetPixels_kv1g(i * 1000, 0, true);
    auto strip = Target(300, 1, Rgb(1, 2, 3));
    Render(wide, *strip, 0, 0, 300, 1, 0, 0, 300000, 1);
    int32_t white = 0;
    for (int32_t x = 0; x < 300; ++x)
        white += At(*strip, x, 0) == Rgb(255, 255, 255);
    EXPECT_EQ(white, 300);
}

TEST(Render, FilteredPathEqualsResamplingDrawnOneToOne)
{
    TKVBitmap ramp;
    MakeRamp(ramp, 37, 23);
    for (TResampleFilter filter : {rfTriangle, rfLanczos3, rfFastLinear, rfBicubic}) {
        SCOPED_TRACE(int(filter));
        auto drawn = Target(61, 17, TRGB{});
        Render(ramp, *drawn, 0, 0, 61, 17, 0, 0, 37, 23, filter);
        TKVBitmap expected;
        expected.Allocate(61, 17, kv24RGB);
        Korvaneproc::_ResampleEx(&ramp, &expected, filter);
        for (int32_t y = 0; y < 17; ++y)
            for (int32_t x = 0; x < 61; ++x)
                ASSERT_EQ(At(*drawn, x, y), expected.GetPixels_kv24RGB(x, y)) << x << "," << y;
    }

    // A black-and-white image reduced with a filter is the box average of its pixels.
    TKVBitmap checker;
    checker.Allocate(4, 2, kv1g);
    checker.Fill(0);
    checker.SetPixels_kv1g(0, 0, true);
    checker.SetPixels_kv1g(1, 1, true);
    auto grey = Target(2, 1, TRGB{});
    Render(checker, *grey, 0, 0, 2, 1, 0, 0, 4, 2, rfTriangle);
    TKVBitmap averaged;
    averaged.Allocate(2, 1, kv24RGB);
    Korvaneproc::_SubResample1bitFilteredEx(&checker, 0, 0, 3, 1, &averaged);
    EXPECT_GT(At(*grey, 0, 0).r, 100);
    EXPECT_EQ(At(*grey, 0, 0), averaged.GetPixels_kv24RGB(0, 0));
    EXPECT_EQ(At(*grey, 1, 0), averaged.GetPixels_kv24RGB(1, 0));
}

TEST(Render, SyncFullLooksAtPixelBytesOnly)
{
    // An opaque alpha of width 3 whose row padding holds zeros, as a codec leaves it.
    TKVMask mask;
    mask.AllocateBits(3, 2, 8);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            mask.SetPixel(x, y, 255);
    TKVBitmap alpha;
    alpha.CopyFromTKVMask(&mask);
    alpha.SyncFull();
    EXPECT_TRUE(alpha.Full);
    alpha.SetPixels_kv8(2, 1, 254);
    alpha.SyncFull();
    EXPECT_FALSE(alpha.Full);

    TKVBitmap bits;
    bits.Allocate(5, 1, kv1g);
    bits.Fill(0);
    for (int32_t x = 0; x < 5; ++x)
        bits.SetPixels_kv1g(x, 0, true);
    bits.SyncFull();
    EXPECT_TRUE(bits.Full);
}

TEST(Render, CanvasDrawingInBandsWithGamma)
{
    TKVBitmap ramp;
    MakeRamp(ramp, 3, 5);
    ramp.SetPixels_kv24RGB(0, 0, Rgb(64, 64, 64));
    ramp.MinFileSize = 0; // a band of one row
    auto target = Target(8, 12, Rgb(200, 200, 200));
    ramp.RenderToCanvas(target->Canvas(), 1, 1, 6, 10, rfNone, 2.0);
    EXPECT_EQ(At(*target, 0, 0), Rgb(200, 200, 200));
    EXPECT_EQ(At(*target, 1, 1), Rgb(128, 128, 128));
    EXPECT_EQ(At(*target, 2, 2), Rgb(128, 128, 128));
    // Without gamma: red x, green y of the doubled ramp.
    auto plain = Target(8, 12, Rgb(200, 200, 200));
    ramp.MinFileSize = 100000;
    ramp.RenderToCanvas(plain->Canvas(), 1, 1, 6, 10, rfNone, 1.0);
    EXPECT_EQ(At(*plain, 6, 10), Rgb(2, 4, 7));
    EXPECT_EQ(At(*plain, 7, 11), Rgb(200, 200, 200));

    // Grey images are drawn as their renderer shows them, display range included.
    TKVBitmap grey;
    grey.Allocate(2, 1, kv8g);
    grey.SetPixels_kv8(0, 0, 150);
    grey.SetPixels_kv8(1, 0, 175);
    grey.DisplayRangeLow = 100;
    grey.DisplayRangeHigh = 200;
    auto shown = Target(2, 1, TRGB{});
    grey.RenderToCanvas(shown->Canvas(), 0, 0, 2, 1, rfTriangle, 1.0);
    EXPECT_EQ(At(*shown, 0, 0), Rgb(128, 128, 128));
    EXPECT_EQ(At(*shown, 1, 0), Rgb(191, 191, 191));

    // Onto a custom control's front image, and black and white through a 1-bit band.
    TCustomControl control(nullptr);
    control.SetBounds(0, 0, 20, 10);
    control.FrontImage()->Canvas()->Brush()->SetColor(clWhite);
    control.FrontImage()->Canvas()->FillRect(TRect{0, 0, 20, 10});
    TKVBitmap bw;
    bw.Allocate(2, 1, kv1g);
    bw.Fill(0);
    bw.SetPixels_kv1g(1, 0, true);
    bw.RenderToCanvas(control.Canvas(), 4, 2, 4, 2, rfNone, 1.0);
    TBitmap* front = control.FrontImage();
    EXPECT_EQ(At(*front, 4, 2), TRGB{});
    EXPECT_EQ(At(*front, 5, 3), TRGB{});
    EXPECT_EQ(At(*front, 6, 2), Rgb(255, 255, 255));
    EXPECT_EQ(At(*front, 3, 2), Rgb(255, 255, 255));
    EXPECT_EQ(At(*front, 4, 4), Rgb(255, 255, 255));
}

TEST(Render, StretchRectToCopiesPixelsAndAlpha)
{
    TKVBitmap image;
    Make24(image, 2, {Rgb(1, 0, 0), Rgb(2, 0, 0), Rgb(3, 0, 0), Rgb(4, 0, 0)});
    TKVBitmap dest;
    Make24(dest, 5, std::vector<TRGB>(20, Rgb(9, 9, 9)));
    ASSERT_FALSE(dest.GetHasAlphaChannel());
    image.StretchRectTo(&dest, 1, 1, 4, 2, 0, 0, 2, 2, rfNone, 100);
    EXPECT_EQ(dest.GetPixels_kv24RGB(0, 0), Rgb(9, 9, 9));
    EXPECT_EQ(dest.GetPixels_kv24RGB(1, 1), Rgb(1, 0, 0));
    EXPECT_EQ(dest.GetPixels_kv24RGB(4, 2), Rgb(4, 0, 0));
    ASSERT_TRUE(dest.GetHasAlphaChannel());
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixels_kv8(1, 1), 100);
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixels_kv8(0, 0), 255);

    // The source's alpha is copied and limited to Alpha; a source rectangle past the image copies
    // only what lies inside it.
    image.GetAlphaChannel()->SetPixels_kv8(1, 0, 30);
    image.GetAlphaChannel()->SetPixels_kv8(0, 1, 220);
    image.StretchRectTo(&dest, 0, 0, 3, 2, 0, 0, 3, 2, rfNone, 200);
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixels_kv8(1, 0), 30);
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixels_kv8(0, 1), 200);
    EXPECT_EQ(dest.GetPixels_kv24RGB(2, 0), Rgb(9, 9, 9));

    // Formats the copy does not read leave the pixels, on either path.
    TKVBitmap grey;
    grey.Allocate(2, 2, kv8g);
    grey.Fill(77);
    TKVBitmap target;
    Make24(target, 3, std::vector<TRGB>(9, Rgb(9, 9, 9)));
    grey.StretchRectTo(&target, 0, 0, 3, 3, 0, 0, 2, 2, rfNone, 255);
    grey.StretchRectTo(&target, 0, 0, 3, 3, 0, 0, 2, 2, rfTriangle, 255);
    EXPECT_EQ(target.GetPixels_kv24RGB(1, 1), Rgb(9, 9, 9));

    // The resampling path equals the resampler's result copied 1:1.
    TKVBitmap ramp;
    MakeRamp(ramp, 9, 7);
    TKVBitmap scaled;
    scaled.Allocate(13, 5, kv24RGB);
    ramp.StretchRectTo(&scaled, 0, 0, 13, 5, 0, 0, 9, 7, rfHermite, 255);
    TKVBitmap expected;
    expected.Allocate(13, 5, kv24RGB);
    Korvaneproc::_ResampleEx(&ramp, &expected, rfHermite);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 13; ++x)
            EXPECT_EQ(scaled.GetPixels_kv24RGB(x, y), expected.GetPixels_kv24RGB(x, y));
}

TEST(Render, DrawDibServicesStretchTheRows)
{
    // A bottom-up 2 x 2 24-bit DIB: bottom row blue, red; top row green, white.
    struct
    {
        BITMAPINFOHEADER header;
        uint8_t rows[2][8];
    } dib{};
    dib.header.biWidth = 2;
    dib.header.biHeight = 2;
    dib.header.biBitCount = 24;
    const uint8_t rows[2][8] = {{255, 0, 0, 0, 0, 255, 0, 0}, {0, 255, 0, 255, 255, 255, 0, 0}};
    std::memcpy(dib.rows, rows, sizeof rows);

    for (HDRAWDIB handle : {HDRAWDIB(0), Daduvudez::KVDrawDibOpen()}) {
        auto target = Target(4, 4, TRGB{});
        Daduvudez::DrawDibDrawEmu(handle, target->Canvas(), 0, 0, 4, 4, &dib.header, dib.rows, 0, 0, 2, 2, 0);
        EXPECT_EQ(At(*target, 0, 0), Rgb(0, 255, 0));
        EXPECT_EQ(At(*target, 3, 1), Rgb(255, 255, 255));
        EXPECT_EQ(At(*target, 1, 3), Rgb(0, 0, 255));
        EXPECT_EQ(At(*target, 2, 2), Rgb(255, 0, 0));
        EXPECT_EQ(Daduvudez::KVDrawDibRealize(handle, target->Canvas(), false), 0u);
        Daduvudez::KVDrawDibClose(handle);
    }
    auto halftone = Target(1, 1, TRGB{});
    Daduvudez::DrawDib(halftone->Canvas(), 0, 0, 1, 1, &dib.header, dib.rows, 0, 0, 2, 2);
    EXPECT_EQ(At(*halftone, 0, 0), Rgb(128, 128, 128));
}
