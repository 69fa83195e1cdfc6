// TKVBitmap pixel-format conversion, row by row between any two formats.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/detail/access_scope.h"
#include "imaging/core/detail/pixel_access.h"
#include "imaging/core/detail/row_kernel.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/exceptions.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using namespace Daduvudez::detail;

inline uint16_t RGBToWord(uint32_t r, uint32_t g, uint32_t b)
{
    return static_cast<uint16_t>((r * 54272 + g * 182528 + b * 19200) / 1000);
}
inline float RGBToFloat(int32_t r, int32_t g, int32_t b)
{
    return static_cast<float>((r * 0.2126 + g * 0.7152 + b * 0.0722) / 255);
}
// Unsigned, so that the division by a constant stays a multiplication and a shift.
inline uint8_t RGBToGrey(uint32_t r, uint32_t g, uint32_t b)
{
    return static_cast<uint8_t>((r * 21 + g * 71 + b * 8) / 100);
}

// The stride-3 colour loads below only vectorise with AVX2's byte shuffles (KV_ROW_KERNEL).

KV_ROW_KERNEL void ColoursToGrey(const uint8_t* __restrict src, uint8_t* __restrict dst, int32_t width)
{
    for (int32_t x = 0; x < width; ++x)
        dst[x] = RGBToGrey(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
}

// What the entries of a source palette become in each target format, worked out once.
struct TPaletteTables
{
    explicit TPaletteTables(const TRGB* palette)
    {
        for (int i = 0; i < 256; ++i) {
            const TRGB c = palette[i];
            colours[i] = c;
            grey[i] = RGBToGrey(c.r, c.g, c.b);
            word[i] = RGBToWord(c.r, c.g, c.b);
            single[i] = RGBToFloat(c.r, c.g, c.b);
            packed[i] = uint32_t(c.b) | uint32_t(c.g) << 8 | uint32_t(c.r) << 16;
        }
    }
    std::array<TRGB, 256> colours;
    std::array<uint8_t, 256> grey;
    std::array<uint16_t, 256> word;
    std::array<float, 256> single;
    std::array<uint32_t, 256> packed;
};

// Colours through a table of packed pixels: four-byte stores, each overwriting the spare byte of
// the one before; the last pixel of the row takes exactly three bytes.
void WritePackedColours(const uint8_t* index, uint8_t* dst, int32_t width, const uint32_t* packed)
{
    if (width <= 0)
        return;
    for (int32_t x = 0; x < width - 1; ++x)
        std::memcpy(dst + int64_t(x) * 3, &packed[index[x]], 4);
    std::memcpy(dst + int64_t(width - 1) * 3, &packed[index[width - 1]], 3);
}

// Reads each pixel of a source row as one value of a per-format kind and writes it through a
// per-destination function; the two switches run once per row, never per pixel.
template <typename Write>
void ForEachSourceValue(TKVPixelFormat from, const uint8_t* src, int32_t width, const TRGB* palette,
                        Write write)
{
    switch (from) {
    case kv1g:
        for (int32_t x = 0; x < width; ++x)
            write(x, Korvaneproc::_GetPixelbw(src, x) ? TRGB{255, 255, 255} : TRGB{0, 0, 0});
        break;
    case kv8p:
        for (int32_t x = 0; x < width; ++x)
            write(x, palette[src[x]]);
        break;
    case kv24RGB: {
        const TRGB* pixels = reinterpret_cast<const TRGB*>(src);
        for (int32_t x = 0; x < width; ++x)
            write(x, pixels[x]);
        break;
    }
    default:
        break;
    }
}

// The grey levels 0..63 of a row that the ordered dither compares with the table: the top six
// bits of the pixel's grey.
void DitherLevels(TKVPixelFormat from, const uint8_t* src, int32_t width, const TPaletteTables& tables,
                  uint8_t* levels)
{
    switch (from) {
    case kv8p:
        for (int32_t x = 0; x < width; ++x)
            levels[x] = tables.grey[src[x]] >> 2;
        break;
    case kv8g:
        for (int32_t x = 0; x < width; ++x)
            levels[x] = src[x] >> 2;
        break;
    case kv16g:
        for (int32_t x = 0; x < width; ++x)
            levels[x] = static_cast<uint8_t>(LoadPixel<uint16_t>(src, x) >> 10);
        break;
    case kv24RGB:
        ColoursToGrey(src, levels, width);
        for (int32_t x = 0; x < width; ++x)
            levels[x] >>= 2;
        break;
    case kv32f:
        for (int32_t x = 0; x < width; ++x)
            levels[x] = FloatToByte(LoadPixel<float>(src, x)) >> 2;
        break;
    default:
        std::fill(levels, levels + width, uint8_t(0));
        break;
    }
}

// Eight pixels make a byte; each compares with its column's threshold in the row's pattern.
void DitherOrderedRow(const uint8_t* levels, uint8_t* dst, int32_t width, int32_t rowLen, int32_t y)
{
    uint8_t thresholds[8];
    for (int i = 0; i < 8; ++i)
        thresholds[i] = static_cast<uint8_t>(Korvaneproc::BWORDERPATTERN[i][y & 7]);
    std::memset(dst, 0, size_t(rowLen));
    const int32_t wholeBytes = width / 8;
    for (int32_t k = 0; k < wholeBytes; ++k) {
        const uint8_t* level = levels + 8 * k;
        uint8_t byte = 0;
        for (int i = 0; i < 8; ++i)
            byte |= static_cast<uint8_t>((level[i] > thresholds[i]) << (7 - i));
        dst[k] = byte;
    }
    for (int32_t x = wholeBytes * 8; x < width; ++x)
        if (levels[x] > thresholds[x & 7])
            dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

void ConvertRow(TKVPixelFormat from, TKVPixelFormat to, const uint8_t* src, uint8_t* dst, int32_t width,
                const TPaletteTables& tables, int32_t rowLen)
{
    const TRGB* palette = tables.colours.data();
    if (from == to) {
        std::memcpy(dst, src, size_t(rowLen));
        return;
    }
    switch (to) {
    case kv8p:
    case kv8g:
        switch (from) {
        case kv1g:
            for (int32_t x = 0; x < width; ++x)
                dst[x] = Korvaneproc::_GetPixelbw(src, x) ? (to == kv8p ? 1 : 255) : 0;
            break;
        case kv8p:
            for (int32_t x = 0; x < width; ++x)
                dst[x] = tables.grey[src[x]];
            break;
        case kv8g:
            std::memcpy(dst, src, size_t(width));
            break;
        case kv16g:
            for (int32_t x = 0; x < width; ++x)
                dst[x] = static_cast<uint8_t>(LoadPixel<uint16_t>(src, x) >> 8);
            break;
        case kv24RGB:
            ColoursToGrey(src, dst, width);
            break;
        case kv32f:
            for (int32_t x = 0; x < width; ++x)
                dst[x] = FloatToByte(LoadPixel<float>(src, x));
            break;
        default:
            break;
        }
        break;
    case kv16g:
        switch (from) {
        case kv1g:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<uint16_t>(dst, x, Korvaneproc::_GetPixelbw(src, x) ? 65535 : 0);
            break;
        case kv8g:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<uint16_t>(dst, x, static_cast<uint16_t>(src[x] << 8));
            break;
        case kv32f:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<uint16_t>(dst, x, FloatToWord(LoadPixel<float>(src, x)));
            break;
        case kv8p:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<uint16_t>(dst, x, tables.word[src[x]]);
            break;
        default:
            ForEachSourceValue(from, src, width, palette, [&](int32_t x, TRGB c) {
                StorePixel<uint16_t>(dst, x, RGBToWord(c.r, c.g, c.b));
            });
            break;
        }
        break;
    case kv24RGB: {
        TRGB* out = reinterpret_cast<TRGB*>(dst);
        switch (from) {
        case kv8g:
            for (int32_t x = 0; x < width; ++x)
                out[x] = TRGB{src[x], src[x], src[x]};
            break;
        case kv16g:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t v = static_cast<uint8_t>(LoadPixel<uint16_t>(src, x) >> 8);
                out[x] = TRGB{v, v, v};
            }
            break;
        case kv32f:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t v = FloatToByte(LoadPixel<float>(src, x));
                out[x] = TRGB{v, v, v};
            }
            break;
        case kv8p:
            WritePackedColours(src, dst, width, tables.packed.data());
            break;
        default:
            ForEachSourceValue(from, src, width, palette, [&](int32_t x, TRGB c) { out[x] = c; });
            break;
        }
        break;
    }
    case kv32f:
        switch (from) {
        case kv1g:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<float>(dst, x, Korvaneproc::_GetPixelbw(src, x) ? 1.0f : 0.0f);
            break;
        case kv8g:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<float>(dst, x, static_cast<float>(src[x] / 255.0));
            break;
        case kv16g:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<float>(dst, x, static_cast<float>(LoadPixel<uint16_t>(src, x) / 65535.0));
            break;
        case kv8p:
            for (int32_t x = 0; x < width; ++x)
                StorePixel<float>(dst, x, tables.single[src[x]]);
            break;
        default:
            ForEachSourceValue(from, src, width, palette, [&](int32_t x, TRGB c) {
                StorePixel<float>(dst, x, RGBToFloat(c.r, c.g, c.b));
            });
            break;
        }
        break;
    default:
        break;
    }
}

} // namespace

void TKVBitmap::SetPixelFormat(TKVPixelFormat format)
{
    if (format != FPixelFormat)
        ConvertToPixelFormat(format);
}

void TKVBitmap::ConvertToPixelFormat(TKVPixelFormat format)
{
    if (FLocation == kvTBitmap) {
        ConvertTBitmapFormat(format);
        return;
    }
    RebuildStorage([&](TKVBitmap& old) {
        FWidth = old.FWidth;
        FHeight = old.FHeight;
        FPixelFormat = format;
        AllocateImage();
        if (old.FPixelFormat != kvnull && FPixelFormat != kvnull && FWidth > 0 && FHeight > 0)
            ConvertRows(old);
        FAlphaChannel = std::move(old.FAlphaChannel);
        UpdateTBitmapPalette();
    });
}

// Rows of source (same size) into this bitmap's format; palettes as the target format needs.
void TKVBitmap::ConvertRows(TKVBitmap& source)
{
    const TKVPixelFormat from = source.FPixelFormat;
    const TKVPixelFormat to = FPixelFormat;
    std::array<TRGB, 256> palette{};
    for (int32_t i = 0; i < std::min(source.FPaletteCount, 256); ++i)
        palette[i] = source.FPalette[i];

    if (to == kv8p && from != kv8p) {
        for (int32_t i = 0; i < 256; ++i)
            FPalette[i] = from == kv1g ? TRGB{} : TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
        if (from == kv1g)
            FPalette[1] = TRGB{255, 255, 255};
    }
    if (to == kv8p && from == kv8p)
        std::copy(palette.begin(), palette.end(), FPalette.get());

    const bool toBlackAndWhite = to == kv1g && from != kv1g;
    if (toBlackAndWhite && DitherMethod == kvThreshold) {
        // The threshold is the grey of the image's mean colour.
        TProgressRec progress;
        Korvaneproc::_ConvertToBWThresholdEx(&source, this, -1, progress);
        return;
    }

    TKVAccessScope sourceAccess(source, kvdRead);
    TKVAccessScope ownAccess(*this, kvdWrite);
    std::unique_ptr<TKVQuantizer> quantizer;
    if (to == kv8p && from == kv24RGB)
        quantizer = std::make_unique<TKVQuantizer>(&source, std::span<TRGB>(FPalette.get(), 256), 256, -1, 0);
    const TPaletteTables tables(palette.data());
    const int32_t width = FWidth;
    std::vector<uint8_t> levels(toBlackAndWhite ? size_t(width) : 0);
    for (int32_t y = 0; y < FHeight; ++y) {
        const uint8_t* src = source.GetScanLine(y);
        uint8_t* dst = GetScanLine(y);
        if (toBlackAndWhite) {
            DitherLevels(from, src, width, tables, levels.data());
            DitherOrderedRow(levels.data(), dst, width, FRowLen, y);
        } else if (quantizer) {
            const TRGB* pixels = reinterpret_cast<const TRGB*>(src);
            // An index the quantizer cannot give (-1) is never stored as a pixel.
            for (int32_t x = 0; x < width; ++x)
                dst[x] = static_cast<uint8_t>(std::max(quantizer->GetRGBIndex(pixels[x]), 0));
        } else {
            ConvertRow(from, to, src, dst, width, tables, std::min(FRowLen, source.FRowLen));
        }
    }
}

void TKVBitmap::ConvertTBitmapFormat(TKVPixelFormat format)
{
    if (format == FPixelFormat)
        return;
    if (format == kv32f)
        throw Exception("kv32f pixel format not allowed when Location=kvTBitmap");
    if (FVclBitmap == nullptr || FWidth <= 0 || FHeight <= 0) {
        SetFormatFields(format == kv16g ? kv8g : format);
        return;
    }
    TProgressRec progress;
    if (FPixelFormat == kv1g && format == kv24RGB && FVclBitmap->PixelFormat() == pf1bit) {
        TBitmap clone;
        clone.Assign(FVclBitmap);
        Korvaneproc::_Conv1to24(&clone, FVclBitmap, progress);
        AdoptVclBitmap();
        return;
    }
    if (FPixelFormat == kv24RGB && format == kv1g && FVclBitmap->PixelFormat() == pf24bit) {
        TKVBitmap wrapper(TWithMinFileSize{MinFileSize});
        wrapper.EncapsulateTBitmap(FVclBitmap, false);
        if (DitherMethod == kvOrdered)
            Korvaneproc::_ConvertToBWOrdered(&wrapper, progress);
        else
            Korvaneproc::_ConvertToBWThreshold(&wrapper, -1, progress);
        AdoptVclBitmap();
        return;
    }
    // Other pairs are converted in memory and come back into the class-library bitmap in place.
    TKVBitmap converted(TWithMinFileSize{MinFileSize});
    converted.SetLocation(kvMemory);
    converted.AssignImage(this);
    converted.DitherMethod = DitherMethod;
    converted.ConvertToPixelFormat(format);
    AssignImage(&converted);
}
