// Fractions as the TIFF writer stores them: the terms that a reader divides to get the value back.
#include "imaging/codecs/tiff/detail/tiff_entries.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>

namespace {

// The terms written for Value; 0 and 0 when none are.
std::pair<int64_t, int64_t> Written(double Value, bool Signed)
{
    TMemoryStream stream;
    bool error = false;
    Tiffilt::detail::TEntryWriter entries(stream, 0, error);
    uint32_t terms[2] = {};
    if (entries.Rationals(37380, {&Value, 1}, Signed) && stream.Size() == 8) {
        std::memcpy(terms, stream.Memory(), 8);
    }
    if (Signed) {
        return {int32_t(terms[0]), int32_t(terms[1])};
    }
    return {terms[0], terms[1]};
}

} // namespace

// A value is written as the fraction of smallest denominator that gives it back divided as
// doubles; one that no fraction of 32-bit terms gives back comes as the nearest, or as none. A
// signed term reaches -2^31, which alone holds a magnitude of 2^31.
TEST(ExifFraction, ValuesAreWrittenAsTheSimplestFractionThatGivesThemBack)
{
    const struct
    {
        double Value;
        bool Signed;
        int64_t Numerator, Denominator;
    } rows[] = {
        {6666667.0 / 10000000, true, 6666667, 10000000},
        {-6666667.0 / 10000000, true, -6666667, 10000000},
        {6666667.0 / 10000000, false, 6666667, 10000000},
        {1.0 / 32000, false, 1, 32000},
        {-1.0 / 3, true, -1, 3},
        {72, false, 72, 1},
        {4294967295.0, false, 4294967295, 1},
        {1 / 4294967295.0, false, 1, 4294967295},
        {4294967294.0 / 4294967295, false, 4294966272, 4294966273}, // the same double
        {-1 / 2147483647.0, true, -1, 2147483647},
        {std::nextafter(1.0 / 3, 1.0), true, 1, 3},
        {4294967294.0 / 4294967295, true, 1, 1},
        {2.5e-10, true, 0, 0},
        {-2147483648.0, true, -2147483648, 1},
        {2147483647.0, true, 2147483647, 1},
        {2147483648.0, true, -2147483648, -1},
        {-1 / 2147483648.0, true, 1, -2147483648},
        {3 / 2147483648.0, true, -3, -2147483648},
        {-2147483649.0, true, 0, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Written(row.Value, row.Signed), std::pair(row.Numerator, row.Denominator)) << row.Value;
    }
    // Any fraction of 32-bit terms comes back exactly, with no larger a denominator.
    std::mt19937_64 random(84);
    for (int i = 0; i < 20000; ++i) {
        const bool isSigned = i % 2 != 0;
        const uint32_t mask = isSigned ? 0x7FFFFFFF : 0xFFFFFFFF;
        const int64_t numerator = int64_t(random() & (mask >> (random() % 32))) * (i % 4 == 1 ? -1 : 1);
        const int64_t denominator = 1 + int64_t(random() % mask);
        const double value = double(numerator) / double(denominator);
        const auto [p, q] = Written(value, isSigned);
        ASSERT_TRUE(double(p) / double(q) == value && q <= denominator)
            << numerator << "/" << denominator << " as " << p << "/" << q;
    }
}
