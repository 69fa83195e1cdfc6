// Fractions of bounded terms for a double: the simplest one among the reals that round to it, by
// the continued fractions of that interval's ends, and else the nearest one, by the continued
// fraction of the exact binary value, whose convergents and semiconvergents are the best
// approximations with bounded terms.
#include "imaging/codecs/tiff/detail/nearest_fraction.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace Tiffilt::detail {

namespace {

// Wide enough for the exact value of a double of the range taken (a 53-bit numerator over up to
// 2^85) and for every product below.
using Wide = unsigned __int128;

// The fraction of smallest denominator (and so of smallest numerator) among those that round to
// Magnitude, a positive double; false when its terms exceed MaxTerm. Each step takes the whole
// part shared by both ends of the interval, as the continued fraction of either does, and goes on
// with the reciprocal of what is left; the denominators grow at least as Fibonacci numbers do, so
// that fewer than 50 steps pass a 32-bit bound.
bool SimplestRoundingTo(double Magnitude, uint32_t MaxTerm, uint64_t& Numerator, uint64_t& Denominator)
{
    // Only magnitudes within 2^-34 .. 2^33 have such fractions; the bounds keep every product
    // below within 128 bits (ends of 56 bits over 2^88, whole parts under 2^89, terms 2^32).
    int exponent = 0;
    const double fraction = std::frexp(Magnitude, &exponent);
    if (exponent < -33 || exponent > 33) {
        return false;
    }
    // Magnitude is m / 2^(53 - exponent); the reals within half the gap to each neighbour round
    // to it, the gap below being half as wide at a power of two, and so do both ends when m is
    // even (ties go to the even one).
    const uint64_t m = static_cast<uint64_t>(std::ldexp(fraction, 53));
    const Wide scale = Wide(1) << (55 - exponent);
    Wide lowNum = 4 * Wide(m) - (m == uint64_t(1) << 52 ? 1 : 2), lowDen = scale;
    Wide highNum = 4 * Wide(m) + 2, highDen = scale;
    bool lowClosed = m % 2 == 0, highClosed = lowClosed, unbounded = false;
    // The value is (h1 y + h0) / (k1 y + k0) for y in the interval the step holds.
    Wide h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    for (;;) {
        const Wide whole = lowNum / lowDen;
        const Wide least = whole + (lowNum % lowDen == 0 && lowClosed ? 0 : 1);
        if (unbounded || least * highDen < highNum || (least * highDen == highNum && highClosed)) {
            const Wide h = least * h1 + h0, k = least * k1 + k0;
            if (h > MaxTerm || k > MaxTerm) {
                return false;
            }
            Numerator = static_cast<uint64_t>(h);
            Denominator = static_cast<uint64_t>(k);
            return true;
        }
        // No whole number lies within: y = whole + 1 / z, z between the reciprocals of what the
        // ends leave over whole, which swap sides; a low end of whole leaves z no upper bound.
        const Wide h = whole * h1 + h0, k = whole * k1 + k0;
        if (h > MaxTerm || k > MaxTerm) {
            return false;
        }
        h0 = std::exchange(h1, h);
        k0 = std::exchange(k1, k);
        const Wide lowRest = lowNum - whole * lowDen, highRest = highNum - whole * highDen;
        const Wide oldLowDen = lowDen;
        lowNum = highDen;
        lowDen = highRest;
        unbounded = lowRest == 0;
        if (!unbounded) {
            highNum = oldLowDen;
            highDen = lowRest;
        }
        std::swap(lowClosed, highClosed);
    }
}

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

bool StoredFraction(double Value, uint32_t MaxTerm, int64_t& Numerator, uint32_t& Denominator)
{
    uint64_t p = 0, q = 0;
    if (std::isfinite(Value) && Value != 0 && SimplestRoundingTo(std::fabs(Value), MaxTerm, p, q)) {
        Numerator = Value < 0 ? -static_cast<int64_t>(p) : static_cast<int64_t>(p);
        Denominator = static_cast<uint32_t>(q);
        return true;
    }
    return NearestFraction(Value, MaxTerm, Numerator, Denominator);
}

} // namespace Tiffilt::detail
