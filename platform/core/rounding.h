// Rounding of floating-point numbers to integers: ties go to the even neighbour, truncation goes
// toward zero, and every conversion saturates at the limits of the integer type (NaN gives 0).
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>

// The one place where a floating-point value becomes an integer. Value must already be whole
// (or is truncated toward zero); values beyond the range give the nearest limit.
template <std::integral TInt> TInt SaturateToInt(long double Value)
{
    if (std::isnan(Value)) {
        return 0;
    }
    // Both limits are exact in long double (64-bit mantissa), so the comparisons are exact.
    constexpr long double lowest = static_cast<long double>(std::numeric_limits<TInt>::min());
    constexpr long double highest = static_cast<long double>(std::numeric_limits<TInt>::max());
    if (Value <= lowest) {
        return std::numeric_limits<TInt>::min();
    }
    if (Value >= highest) {
        return std::numeric_limits<TInt>::max();
    }
    return static_cast<TInt>(Value);
}

// Round half to even in the default rounding mode (Round(2.5) = 2, Round(3.5) = 4).
inline int32_t Round(double Value)
{
    return SaturateToInt<int32_t>(std::nearbyint(Value));
}
inline int32_t Round(long double Value)
{
    return SaturateToInt<int32_t>(std::nearbyint(Value));
}
inline int64_t Round64(double Value)
{
    return SaturateToInt<int64_t>(std::nearbyint(Value));
}
inline int64_t Round64(long double Value)
{
    return SaturateToInt<int64_t>(std::nearbyint(Value));
}

// Toward zero.
inline int32_t Trunc(double Value)
{
    return SaturateToInt<int32_t>(std::trunc(Value));
}
inline int32_t Trunc(long double Value)
{
    return SaturateToInt<int32_t>(std::trunc(Value));
}
inline int64_t Trunc64(double Value)
{
    return SaturateToInt<int64_t>(std::trunc(Value));
}
inline int64_t Trunc64(long double Value)
{
    return SaturateToInt<int64_t>(std::trunc(Value));
}

// Toward minus infinity.
inline int32_t Floor(double Value)
{
    return SaturateToInt<int32_t>(std::floor(Value));
}
inline int32_t Floor(long double Value)
{
    return SaturateToInt<int32_t>(std::floor(Value));
}
inline int64_t Floor64(double Value)
{
    return SaturateToInt<int64_t>(std::floor(Value));
}
inline int64_t Floor64(long double Value)
{
    return SaturateToInt<int64_t>(std::floor(Value));
}

// Toward plus infinity.
inline int32_t Ceil(double Value)
{
    return SaturateToInt<int32_t>(std::ceil(Value));
}
inline int32_t Ceil(long double Value)
{
    return SaturateToInt<int32_t>(std::ceil(Value));
}
inline int64_t Ceil64(double Value)
{
    return SaturateToInt<int64_t>(std::ceil(Value));
}
inline int64_t Ceil64(long double Value)
{
    return SaturateToInt<int64_t>(std::ceil(Value));
}

// Integer arguments convert without ambiguity between the double and long double forms.
template <std::integral TInt> int32_t Round(TInt Value)
{
    return Round(static_cast<long double>(Value));
}
template <std::integral TInt> int32_t Trunc(TInt Value)
{
    return Trunc(static_cast<long double>(Value));
}

// The fractional part, with the sign of Value: Frac(-1.25) = -0.25.
inline double Frac(double Value)
{
    return Value - std::trunc(Value);
}
inline long double Frac(long double Value)
{
    return Value - std::trunc(Value);
}
