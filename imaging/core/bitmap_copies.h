// Pixel copies between class-library bitmaps, library bitmaps, 1-bit rows and packed DIBs.
#pragma once

#include <cstdint>

namespace Korvaneproc {

// Copies a run of bitCount bits between 1-bit rows (most significant bit leftmost), leaving the
// destination bits outside the run as they were. With rowLen > 0 the run is cut where it would
// leave a row of that many bytes.
void _CopyBits(uint8_t* dest, const uint8_t* source, int32_t destBit, int32_t sourceBit, int32_t bitCount,
               int32_t rowLen);

} // namespace Korvaneproc
