// Small numeric and colour-record helpers of the imaging library.
#include "imaging/core/pixel_helpers.h"

#include "platform/core/rounding.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace Korvaneproc {

int32_t KVCeil(long double x)
{
    const int32_t t = Trunc(x);
    if (x - std::trunc(x) > 0 && t < INT32_MAX)
        return t + 1;
    return t;
}

int32_t KVFloor(long double x)
{
    const int32_t t = Trunc(x);
    if (x - std::trunc(x) < 0 && t > INT32_MIN)
        return t - 1;
    return t;
}

void iswap(int32_t& a, int32_t& b)
{
    std::swap(a, b);
}
void dwswap(uint32_t& a, uint32_t& b)
{
    std::swap(a, b);
}
void kvdswap(double& a, double& b)
{
    std::swap(a, b);
}
void bswap(uint8_t& a, uint8_t& b)
{
    std::swap(a, b);
}

void OrdCor(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2)
{
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
}

long double ArcTan2(long double y, long double x)
{
    return std::atan2(y, x);
}
long double ArcCos(long double x)
{
    return ArcTan2(std::sqrt(1 - x * x), x);
}
long double ArcSin(long double x)
{
    return ArcTan2(x, std::sqrt(1 - x * x));
}
long double Tan(long double x)
{
    return std::tan(x);
}
long double Log10(long double x)
{
    return std::log2(x) * std::log10(2.0L);
}

TRGB TColor2TRGB(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return TRGB{static_cast<uint8_t>((rgb >> 16) & 0xFF), static_cast<uint8_t>((rgb >> 8) & 0xFF),
                static_cast<uint8_t>(rgb & 0xFF)};
}

void _RGB2BGR(TRGB* pixels, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        std::swap(pixels[i].r, pixels[i].b);
}

int32_t _GetSimilColor(const TRGB* palette, int32_t count, const TRGB& colour)
{
    int32_t best = 0;
    int32_t bestSum = 1000;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t sum = std::abs(palette[i].r - colour.r) + std::abs(palette[i].g - colour.g) +
                            std::abs(palette[i].b - colour.b);
        if (sum < bestSum) {
            bestSum = sum;
            best = i;
        }
    }
    return best;
}

} // namespace Korvaneproc

namespace Daduvudez {

int32_t KVFloor(long double x)
{
    return Korvaneproc::KVFloor(x);
}

// The byte-by-byte carry of the design is the ordinary unsigned sum modulo 2^64.
void KVAdd64(uint32_t aLo, uint32_t aHi, uint32_t bLo, uint32_t bHi, uint32_t& lo, uint32_t& hi)
{
    const uint64_t sum = ((uint64_t(aHi) << 32) | aLo) + ((uint64_t(bHi) << 32) | bLo);
    lo = static_cast<uint32_t>(sum);
    hi = static_cast<uint32_t>(sum >> 32);
}

bool KVGreater64(uint32_t aLo, uint32_t aHi, uint32_t bLo, uint32_t bHi)
{
    return ((uint64_t(aHi) << 32) | aLo) > ((uint64_t(bHi) << 32) | bLo);
}

void KVMul64(uint32_t a, uint32_t b, uint32_t& lo, uint32_t& hi)
{
    const uint64_t product = uint64_t(a) * b;
    lo = static_cast<uint32_t>(product);
    hi = static_cast<uint32_t>(product >> 32);
}

} // namespace Daduvudez
