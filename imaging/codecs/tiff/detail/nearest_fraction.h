// The fraction nearest to a number among those whose terms fit a TIFF RATIONAL or SRATIONAL.
#pragma once

#include <cstdint>

namespace Tiffilt::detail {

// The fraction numerator / denominator nearest to Value whose numerator lies within +-MaxTerm and
// whose denominator lies in 1 .. MaxTerm: the value itself wherever such a fraction holds it
// (1/32000, 28/10 as 14/5). False, with nothing set, for a value that none holds: not finite,
// beyond MaxTerm, or smaller than 1 / MaxTerm but not 0.
bool NearestFraction(double Value, uint32_t MaxTerm, int64_t& Numerator, uint32_t& Denominator);

} // namespace Tiffilt::detail
