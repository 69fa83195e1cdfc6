// Reading and writing single pixels of a raster as device values (the bits stored for a pixel:
// a palette index, a 5-5-5 or 5-6-5 word, or blue | green << 8 | red << 16 with the fourth byte of
// a 32-bit pixel on top), and translating
// between device values and RGB colours. Used by the canvas and the raster functions only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/colors.h"
#include "platform/graphics/raster.h"

namespace GraphicsDetail {

inline int32_t BitsOf(TPixelFormat format)
{
    return PixelFormatBits(format);
}

inline bool IsIndexed(TPixelFormat format)
{
    return format == pf1bit || format == pf4bit || format == pf8bit;
}

// The bits a device value of the format may hold.
inline uint32_t ValueMask(TPixelFormat format)
{
    switch (format) {
    case pf1bit:
        return 0x1;
    case pf4bit:
        return 0xF;
    case pf8bit:
        return 0xFF;
    case pf15bit:
        return 0x7FFF;
    case pf16bit:
        return 0xFFFF;
    case pf24bit:
        return 0xFFFFFF;
    case pf32bit:
    case pfDevice:
        return 0xFFFFFFFF;
    default:
        return 0;
    }
}

inline uint32_t ReadValue(TPixelFormat format, const uint8_t* row, int32_t x)
{
    switch (format) {
    case pf1bit:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case pf4bit:
        return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case pf8bit:
        return row[x];
    case pf15bit:
    case pf16bit:
        return uint32_t(row[2 * x]) | (uint32_t(row[2 * x + 1]) << 8);
    case pf24bit: {
        const uint8_t* p = row + 3 * x;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    case pf32bit:
    case pfDevice: {
        const uint8_t* p = row + 4 * x;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    default:
        return 0;
    }
}

inline void WriteValue(TPixelFormat format, uint8_t* row, int32_t x, uint32_t v)
{
    switch (format) {
    case pf1bit: {
        const uint8_t bit = uint8_t(0x80u >> (x & 7));
        row[x >> 3] = (v & 1) ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
        break;
    }
    case pf4bit:
        if (x & 1) {
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0x0F));
        } else {
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
        }
        break;
    case pf8bit:
        row[x] = uint8_t(v);
        break;
    case pf15bit:
    case pf16bit:
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
        break;
    case pf24bit: {
        uint8_t* p = row + 3 * x;
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        break;
    }
    case pf32bit:
    case pfDevice: {
        // The fourth byte belongs to the value: colours are written with it 0, while raster
        // operations carry it along as GDI does.
        uint8_t* p = row + 4 * x;
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        p[3] = uint8_t(v >> 24);
        break;
    }
    default:
        break;
    }
}

inline COLORREF PaletteColor(const PALETTEENTRY& e)
{
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

// The RGB colour of a device value; palette indexes past the table read as black. 5-bit fields
// widen by a shift of three, as the class library's conversions do.
inline COLORREF ValueToColor(const TRasterView& view, uint32_t v)
{
    switch (view.Format) {
    case pf1bit:
    case pf4bit:
    case pf8bit:
        return int32_t(v) < view.PaletteCount ? PaletteColor(view.Palette[v]) : 0;
    case pf15bit:
        return RGB(uint8_t(((v >> 10) & 31) << 3), uint8_t(((v >> 5) & 31) << 3), uint8_t((v & 31) << 3));
    case pf16bit:
        return RGB(uint8_t(((v >> 11) & 31) << 3), uint8_t(((v >> 5) & 63) << 2), uint8_t((v & 31) << 3));
    default:
        return RGB(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)); // the fourth byte is no colour
    }
}

// Index of the palette entry nearest to the colour (least squared distance; the lowest index wins
// a tie, so an exact colour always finds its first entry).
int32_t NearestPaletteIndex(const PALETTEENTRY* palette, int32_t count, COLORREF color);

// Finds nearest palette entries quickly: the entries sorted by green, searched outward from the
// colour's green until the green distance alone exceeds the best match. Same answers as
// NearestPaletteIndex.
class TPaletteSearch
{
public:
    TPaletteSearch(const PALETTEENTRY* palette, int32_t count);
    int32_t Nearest(COLORREF color) const;

private:
    struct TEntry
    {
        int32_t Red, Green, Blue, Index;
    };
    std::vector<TEntry> FByGreen;
};

// Translates colours into device values of one raster, remembering recent palette matches.
class TColorMatcher
{
public:
    explicit TColorMatcher(const TRasterView& view);
    uint32_t ToValue(COLORREF color)
    {
        if (IsPaletteIndexColor(color)) {
            const uint32_t index = color & 0xFF;
            if (FFormat == pf1bit || FFormat == pf4bit || FFormat == pf8bit) {
                return index & ValueMask(FFormat);
            }
            color = RGB(uint8_t(index), uint8_t(index), uint8_t(index));
        }
        switch (FFormat) {
        case pf1bit:
        case pf4bit:
        case pf8bit:
            return IndexOf(color & 0xFFFFFF);
        case pf15bit:
            return ((GetRValue(color) >> 3u) << 10) | ((GetGValue(color) >> 3u) << 5) |
                   (GetBValue(color) >> 3u);
        case pf16bit:
            return ((GetRValue(color) >> 3u) << 11) | ((GetGValue(color) >> 2u) << 5) |
                   (GetBValue(color) >> 3u);
        default:
            return GetBValue(color) | (uint32_t(GetGValue(color)) << 8) | (uint32_t(GetRValue(color)) << 16);
        }
    }

private:
    uint32_t IndexOf(COLORREF color);

    TPixelFormat FFormat;
    const PALETTEENTRY* FPalette;
    int32_t FPaletteCount;
    std::unique_ptr<TPaletteSearch> FSearch;
    // A direct-mapped cache of matches: colour | 0x1000000 (so that 0 means empty) and index; it
    // starts small and grows once for images of many colours.
    std::vector<uint64_t> FCache;
    int32_t FCacheBits = 12;
    uint32_t FMisses = 0;
};

// Applies a binary raster operation (R2_ code) of the pen value p to the destination value d.
inline uint32_t ApplyRop2(int32_t rop2, uint32_t p, uint32_t d)
{
    switch (rop2) {
    case R2_BLACK:
        return 0;
    case R2_NOTMERGEPEN:
        return ~(p | d);
    case R2_MASKNOTPEN:
        return ~p & d;
    case R2_NOTCOPYPEN:
        return ~p;
    case R2_MASKPENNOT:
        return p & ~d;
    case R2_NOT:
        return ~d;
    case R2_XORPEN:
        return p ^ d;
    case R2_NOTMASKPEN:
        return ~(p & d);
    case R2_MASKPEN:
        return p & d;
    case R2_NOTXORPEN:
        return ~(p ^ d);
    case R2_NOP:
        return d;
    case R2_MERGENOTPEN:
        return ~p | d;
    case R2_MERGEPEN:
        return p | d;
    case R2_WHITE:
        return ~0u;
    case R2_COPYPEN:
    default:
        return p;
    }
}

// Applies a ternary raster operation, given as the truth-table byte (bits 16..23 of a ROP code),
// to pattern, source and destination values, bit by bit.
inline uint32_t ApplyRop3(uint8_t table, uint32_t p, uint32_t s, uint32_t d)
{
    switch (table) {
    case 0xCC:
        return s;
    case 0x66:
        return s ^ d;
    case 0x88:
        return s & d;
    case 0xEE:
        return s | d;
    case 0xF0:
        return p;
    case 0x55:
        return ~d;
    case 0x5A:
        return p ^ d;
    case 0x00:
        return 0;
    case 0xFF:
        return ~0u;
    default:
        break;
    }
    uint32_t result = 0;
    for (int32_t i = 0; i < 8; ++i) {
        if (table & (1u << i)) {
            result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
        }
    }
    return result;
}

inline uint8_t RopTable(uint32_t rop)
{
    return uint8_t(rop >> 16);
}
// Whether the operation reads the source, the pattern or the destination at all.
inline bool RopUsesSource(uint32_t rop)
{
    const uint8_t t = RopTable(rop);
    return ((t >> 2) & 0x33) != (t & 0x33);
}
inline bool RopUsesPattern(uint32_t rop)
{
    const uint8_t t = RopTable(rop);
    return ((t >> 4) & 0x0F) != (t & 0x0F);
}
inline bool RopUsesDest(uint32_t rop)
{
    const uint8_t t = RopTable(rop);
    return ((t >> 1) & 0x55) != (t & 0x55);
}

} // namespace GraphicsDetail
