// Palette matching and the bits of each pixel format.
#include "platform/graphics/detail/pixels.h"

int32_t PixelFormatBits(TPixelFormat format)
{
    switch (format) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    case pf32bit:
    case pfDevice:
        return 32;
    default:
        return 0;
    }
}

namespace GraphicsDetail {

int32_t NearestPaletteIndex(const PALETTEENTRY* palette, int32_t count, COLORREF color)
{
    const int32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    int32_t best = 0;
    int32_t bestDistance = INT32_MAX;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t dr = palette[i].peRed - r, dg = palette[i].peGreen - g, db = palette[i].peBlue - b;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0) {
                break;
            }
        }
    }
    return best;
}

TColorMatcher::TColorMatcher(const TRasterView& view)
    : FFormat(view.Format), FPalette(view.Palette), FPaletteCount(view.PaletteCount)
{
}

uint32_t TColorMatcher::ToValue(COLORREF color)
{
    color &= 0xFFFFFF;
    const uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (FFormat) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        if (FPaletteCount <= 0) {
            return 0;
        }
        auto found = FCache.find(color);
        if (found != FCache.end()) {
            return found->second;
        }
        const uint32_t index = uint32_t(NearestPaletteIndex(FPalette, FPaletteCount, color));
        FCache.emplace(color, index);
        return index;
    }
    case pf15bit:
        return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case pf16bit:
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    default:
        return b | (g << 8) | (r << 16);
    }
}

} // namespace GraphicsDetail
