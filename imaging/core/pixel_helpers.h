// Small numeric and colour-record helpers on every per-pixel path of the imaging library:
// clamping, swaps, colour conversions, bit access in black-and-white rows.
#pragma once

#include "imaging/core/types.h"
#include "platform/graphics/colors.h"

#include <cstdint>

namespace Korvaneproc {

inline int32_t imin(int32_t a, int32_t b)
{
    return a < b ? a : b;
}
inline int32_t imax(int32_t a, int32_t b)
{
    return a > b ? a : b;
}
// Ties give the first argument.
inline double dmin(double a, double b)
{
    return b < a ? b : a;
}
inline double dmax(double a, double b)
{
    return b > a ? b : a;
}
inline int32_t ilimit(int32_t v, int32_t min, int32_t max)
{
    return v <= min ? min : (v < max ? v : max);
}
inline uint8_t blimit(int32_t v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Trunc(x), plus 1 when x has a positive fraction; saturates at the int32 limits.
int32_t KVCeil(long double x);
// Trunc(x), minus 1 when x has a negative fraction; saturates at the int32 limits.
int32_t KVFloor(long double x);

void iswap(int32_t& a, int32_t& b);
void dwswap(uint32_t& a, uint32_t& b);
void kvdswap(double& a, double& b);
void bswap(uint8_t& a, uint8_t& b);
// Orders the corners so that x1 <= x2 and y1 <= y2.
void OrdCor(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2);

long double ArcTan2(long double y, long double x);
long double ArcCos(long double x);
long double ArcSin(long double x);
long double Tan(long double x);
long double Log10(long double x);

inline TRGB CreateRGB(uint8_t r, uint8_t g, uint8_t b)
{
    return TRGB{b, g, r};
}
inline int32_t _RGBToGray(const TRGB& c)
{
    return (c.r * 21 + c.g * 71 + c.b * 8) / 100;
}
inline TColor TRGB2TColor(const TRGB& c)
{
    return static_cast<TColor>(c.r | (c.g << 8) | (c.b << 16));
}
inline TColor RGB2TColor(int32_t r, int32_t g, int32_t b)
{
    return static_cast<TColor>(r | (g << 8) | (b << 16));
}
// System colours are resolved to their RGB values first.
TRGB TColor2TRGB(TColor color);
inline bool EqualRGB(const TRGB& a, const TRGB& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}
// Swaps the first and third byte of each of count pixels in place.
void _RGB2BGR(TRGB* pixels, int32_t count);
// Index of the entry nearest to colour by |dr| + |dg| + |db|; the first entry wins ties, 0 when empty.
int32_t _GetSimilColor(const TRGB* palette, int32_t count, const TRGB& colour);

// Bit x of a 1-bit row, most significant bit first.
inline uint8_t _GetPixelbw(const uint8_t* row, int32_t x)
{
    return row[x >> 3] & (0x80 >> (x & 7));
}
inline void _SetPixelbw(uint8_t* row, int32_t x, int32_t value)
{
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
    if (value != 0)
        row[x >> 3] |= mask;
    else
        row[x >> 3] &= static_cast<uint8_t>(~mask);
}

} // namespace Korvaneproc

namespace Daduvudez {

// Trunc(x), minus 1 when x has a negative fraction.
int32_t KVFloor(long double x);

// Unsigned 64-bit arithmetic on pairs of 32-bit words (low, high).
void KVAdd64(uint32_t aLo, uint32_t aHi, uint32_t bLo, uint32_t bHi, uint32_t& lo, uint32_t& hi);
bool KVGreater64(uint32_t aLo, uint32_t aHi, uint32_t bLo, uint32_t bHi);
void KVMul64(uint32_t a, uint32_t b, uint32_t& lo, uint32_t& hi);

} // namespace Daduvudez
