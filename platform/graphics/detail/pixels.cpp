// Palette matching and the bits of each pixel format.
#include "platform/graphics/detail/pixels.h"

#include <algorithm>
#include <climits>

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

TPaletteSearch::TPaletteSearch(const PALETTEENTRY* palette, int32_t count)
{
    FByGreen.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        FByGreen.push_back({palette[i].peRed, palette[i].peGreen, palette[i].peBlue, i});
    }
    std::stable_sort(FByGreen.begin(), FByGreen.end(),
                     [](const TEntry& a, const TEntry& b) { return a.Green < b.Green; });
}

int32_t TPaletteSearch::Nearest(COLORREF color) const
{
    const int32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    const auto start = std::lower_bound(FByGreen.begin(), FByGreen.end(), g,
                                        [](const TEntry& e, int32_t green) { return e.Green < green; });
    int32_t best = INT32_MAX, bestIndex = 0;
    auto consider = [&](const TEntry& e) {
        const int32_t dr = e.Red - r, dg = e.Green - g, db = e.Blue - b;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < best || (distance == best && e.Index < bestIndex)) {
            best = distance;
            bestIndex = e.Index;
        }
    };
    // Walk both ways; a side stops once its green distance alone is beyond the best match.
    auto up = start;
    auto down = start;
    while (up != FByGreen.end() || down != FByGreen.begin()) {
        if (up != FByGreen.end()) {
            const int32_t dg = up->Green - g;
            if (dg * dg > best) {
                up = FByGreen.end();
            } else {
                consider(*up++);
            }
        }
        if (down != FByGreen.begin()) {
            const int32_t dg = g - (down - 1)->Green;
            if (dg * dg > best) {
                down = FByGreen.begin();
            } else {
                consider(*--down);
            }
        }
    }
    return bestIndex;
}

TColorMatcher::TColorMatcher(const TRasterView& view)
    : FFormat(view.Format), FPalette(view.Palette), FPaletteCount(view.PaletteCount)
{
}

uint32_t TColorMatcher::IndexOf(COLORREF color)
{
    if (FPaletteCount <= 0) {
        return 0;
    }
    if (FCache.empty()) {
        FSearch = std::make_unique<TPaletteSearch>(FPalette, FPaletteCount);
        FCache.assign(size_t(1) << FCacheBits, 0);
    } else if (FMisses == 16384 && FCacheBits < 16) {
        // Many distinct colours (a photograph): a larger cache pays for itself.
        FCacheBits = 16;
        FCache.assign(size_t(1) << FCacheBits, 0);
    }
    const uint32_t slot = (color * 2654435761u) >> (32 - FCacheBits);
    const uint64_t key = uint64_t(color | 0x1000000u) << 32;
    if ((FCache[slot] & 0xFFFFFFFF00000000ull) == key) {
        return uint32_t(FCache[slot]);
    }
    ++FMisses;
    const uint32_t index = uint32_t(FSearch->Nearest(color));
    FCache[slot] = key | index;
    return index;
}

} // namespace GraphicsDetail
