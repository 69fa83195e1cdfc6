// The fractions of terms that fit a TIFF RATIONAL or SRATIONAL by which a number is written.
#pragma once

#include <cstdint>

namespace Tiffilt::detail {

// The fraction numerator / denominator nearest to Value whose numerator lies within +-MaxTerm and
// whose denominator lies in 1 .. MaxTerm: the value itself wherever such a fraction holds it
// (1/32000, 28/10 as 14/5). False, with nothing set, for a value that none holds: not finite,
// beyond MaxTerm, or smaller than 1 / MaxTerm but not 0.
bool NearestFraction(double Value, uint32_t MaxTerm, int64_t& Numerator, uint32_t& Denominator);

// The fraction to write for Value, terms bounded as above: of those that a reader, dividing the
// terms as doubles, turns back into Value exactly, the one of smallest denominator (6666667 /
// 10000000 as it was read, 1/3, 72/1); where there is none, the nearest one. False, with nothing
// set, where NearestFraction finds none either.
bool StoredFraction(double Value, uint32_t MaxTerm, int64_t& Numerator, uint32_t& Denominator);

} // namespace Tiffilt::detail
