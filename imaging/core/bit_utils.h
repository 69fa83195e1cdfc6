// Row lengths, bit counts, bit reversal, byte swaps and the power function for gamma tables.
#pragma once

#include "platform/graphics/raster.h"

#include <cstdint>

namespace Daduvudez {

// Mask of bit x of a 1-bit row at index x and 7, most significant bit first.
extern const uint8_t kvbitmask1[8];

// Bytes per row padded to a multiple of four, computed in 64 bits so that no width overflows.
int64_t _BitmapRowLen(int64_t width, int64_t bits);

int32_t _Pixelformat2BitCount(TPixelFormat format);
int64_t _PixelFormat2RowLen(int32_t width, TPixelFormat format);
// pfCustom for a bit count that has no format.
TPixelFormat _Bitcount2Pixelformat(int32_t bits);

// Width of a colour bit-field mask: consecutive set bits from the lowest set bit.
int32_t _GetBitCount(uint32_t mask);
// k for 2^k colours, else the index of the highest set bit + 1; -1 for 0.
int32_t _NColToBitsPixel(int32_t colours);
// 2^(bits x samples), saturating at INT64_MAX; 1 when samples < 1.
int64_t _GetNumCol(int32_t bitsPerSample, int32_t samplesPerPixel);

void ReverseBitsB(uint8_t& value);
void ReverseBits(uint32_t& value);
uint16_t KVSwapWord(uint16_t value);
uint32_t KVSwapDWord(uint32_t value);

long double KVPower(long double base, long double exponent);

} // namespace Daduvudez
