// Rounding to integers: ties to even, truncation toward zero, saturation at the limits.
#include "platform/core/rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

TEST(Rounding, RoundGoesToEvenOnTies)
{
    struct Case
    {
        double Value;
        int32_t Rounded;
    };
    const Case cases[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {0.5, 0},
        {1.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {2.4999, 2},
        {2.5001, 3},
        {-2.6, -3},
        {0.49999999999999994, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Round(c.Value), c.Rounded) << c.Value;
        EXPECT_EQ(Round(static_cast<long double>(c.Value)), c.Rounded) << c.Value;
        EXPECT_EQ(Round64(c.Value), c.Rounded) << c.Value;
    }
}

TEST(Rounding, TruncFloorAndCeil)
{
    struct Case
    {
        double Value;
        int32_t Truncated, Floored, Ceiled;
    };
    const Case cases[] = {
        {-1.7, -1, -2, -1}, {1.7, 1, 1, 2}, {-0.2, 0, -1, 0}, {3.0, 3, 3, 3}, {-3.0, -3, -3, -3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Trunc(c.Value), c.Truncated) << c.Value;
        EXPECT_EQ(Floor(c.Value), c.Floored) << c.Value;
        EXPECT_EQ(Ceil(c.Value), c.Ceiled) << c.Value;
        EXPECT_EQ(Trunc64(static_cast<long double>(c.Value)), c.Truncated) << c.Value;
        EXPECT_EQ(Floor64(c.Value), c.Floored) << c.Value;
        EXPECT_EQ(Ceil64(static_cast<long double>(c.Value)), c.Ceiled) << c.Value;
    }
}

TEST(Rounding, SaturatesAtTheIntegerLimits)
{
    constexpr int32_t max32 = std::numeric_limits<int32_t>::max();
    constexpr int32_t min32 = std::numeric_limits<int32_t>::min();
    constexpr int64_t max64 = std::numeric_limits<int64_t>::max();
    constexpr int64_t min64 = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(Round(2147483647.4), max32);
    EXPECT_EQ(Round(2147483647.5), max32); // 2147483648 does not fit
    EXPECT_EQ(Round(-2147483648.5), min32);
    EXPECT_EQ(Round(1e300), max32);
    EXPECT_EQ(Trunc(-1e300), min32);
    EXPECT_EQ(Round(static_cast<double>(INFINITY)), max32);
    EXPECT_EQ(Floor(-static_cast<double>(INFINITY)), min32);
    EXPECT_EQ(Round(static_cast<double>(NAN)), 0);
    EXPECT_EQ(Round64(1e19), max64);
    EXPECT_EQ(Round64(-1e19), min64);
    EXPECT_EQ(Trunc64(9223372036854775807.0L), max64);
    EXPECT_EQ(Ceil64(static_cast<long double>(NAN)), 0);
    EXPECT_EQ(SaturateToInt<uint8_t>(300.0L), 255);
    EXPECT_EQ(SaturateToInt<uint8_t>(-3.0L), 0);
}

TEST(Rounding, LongDoubleKeepsWhatDoubleLoses)
{
    // 2^53 + 0.5 is not a double; in long double the tie is exact and goes to the even 2^53.
    const long double tie = 9007199254740992.5L;
    EXPECT_EQ(Round64(tie), 9007199254740992LL);
    EXPECT_EQ(Round64(tie + 1), 9007199254740994LL);
    EXPECT_EQ(Trunc64(-tie), -9007199254740992LL);
}

TEST(Rounding, FracKeepsTheSign)
{
    EXPECT_DOUBLE_EQ(Frac(1.25), 0.25);
    EXPECT_DOUBLE_EQ(Frac(-1.25), -0.25);
    EXPECT_EQ(Frac(3.0L), 0.0L);
}

TEST(Rounding, IntegerArgumentsAreAccepted)
{
    EXPECT_EQ(Round(7), 7);
    EXPECT_EQ(Trunc(int64_t(1) << 40), std::numeric_limits<int32_t>::max());
}

} // namespace
