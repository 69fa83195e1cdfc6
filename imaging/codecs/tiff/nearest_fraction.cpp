// Nearest fractions by the continued fraction of the exact binary value: the best approximations
// with bounded terms are its convergents and the semiconvergents between them.
#include "imaging/codecs/tiff/detail/nearest_fraction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tiffilt::detail {

namespace {

// Wide enough for the exact value of a double of the range taken (a 53-bit numerator over up to
// 2^85) and for every product below.
using Wide = unsigned __int128;

} // namespace

bool NearestFraction(double Value, uint32_t MaxTerm, int64_t& Numerator, uint32_t& Denominator)
{
    const long double magnitude = std::fabs(static_cast<long double>(Value));
    if (!std::isfinite(Value) || MaxTerm == 0 || magnitude > MaxTerm ||
        (magnitude != 0 && magnitude < 1.0L / MaxTerm)) {
        return false;
    }
    if (magnitude == 0) {
        Numerator = 0;
        Denominator = 1;
        return true;
    }
    // The magnitude exactly, as p / q with q a power of two (the range keeps the exponent below 0).
    int exponent = 0;
    uint64_t digits = static_cast<uint64_t>(std::ldexp(std::frexp(std::fabs(Value), &exponent), 53));
    int shift = 53 - exponent;
    while (shift > 0 && (digits & 1) == 0) {
        digits >>= 1;
        --shift;
    }
    Wide p = digits;
    Wide q = Wide(1) << shift;

    // Convergents h1 / k1 (h0 / k0 the one before), while their terms fit.
    uint64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    for (;;) {
        const Wide term = p / q;
        const Wide h = term * h1 + h0;
        const Wide k = term * k1 + k0;
        if (h > MaxTerm || k > MaxTerm) {
            // The largest semiconvergent that fits lies on the other side of the value; with p / q
            // the complete quotient, it is the nearer one when p / q * k1 < 2 t k1 + k0.
            const uint64_t byNumerator = h1 != 0 ? (MaxTerm - h0) / h1 : std::numeric_limits<uint64_t>::max();
            const uint64_t t = std::min(byNumerator, (MaxTerm - k0) / k1);
            if (t > 0 && p * k1 < q * (2 * Wide(t) * k1 + k0)) {
                h1 = t * h1 + h0;
                k1 = t * k1 + k0;
            }
            break;
        }
        h0 = h1;
        h1 = static_cast<uint64_t>(h);
        k0 = k1;
        k1 = static_cast<uint64_t>(k);
        const Wide rest = p - term * q;
        if (rest == 0) {
            break;
        }
        p = q;
        q = rest;
    }
    Numerator = Value < 0 ? -static_cast<int64_t>(h1) : static_cast<int64_t>(h1);
    Denominator = static_cast<uint32_t>(k1);
    return true;
}

} // namespace Tiffilt::detail
