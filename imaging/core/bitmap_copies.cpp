// Pixel copies between class-library bitmaps, library bitmaps, 1-bit rows and packed DIBs.
#include "imaging/core/bitmap_copies.h"

#include <algorithm>

namespace Korvaneproc {
namespace {

inline bool GetBit(const uint8_t* row, int64_t x)
{
    return (row[x >> 3] & (0x80 >> (x & 7))) != 0;
}

inline void PutBit(uint8_t* row, int64_t x, bool value)
{
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
    if (value)
        row[x >> 3] |= bit;
    else
        row[x >> 3] &= static_cast<uint8_t>(~bit);
}

} // namespace

void _CopyBits(uint8_t* dest, const uint8_t* source, int32_t destBit, int32_t sourceBit, int32_t bitCount,
               int32_t rowLen)
{
    if (dest == nullptr || source == nullptr || bitCount <= 0 || destBit < 0 || sourceBit < 0)
        return;
    int64_t count = bitCount;
    if (rowLen > 0) {
        const int64_t rowBits = int64_t(rowLen) * 8;
        count = std::min({count, rowBits - destBit, rowBits - sourceBit});
    }
    int64_t d = destBit;
    int64_t s = sourceBit;
    // Head bits up to a destination byte boundary, then whole destination bytes assembled from
    // two source bytes, then the tail.
    while (count > 0 && (d & 7) != 0) {
        PutBit(dest, d++, GetBit(source, s++));
        --count;
    }
    const int shift = static_cast<int>(s & 7);
    while (count >= 8) {
        const int64_t sb = s >> 3;
        uint8_t value = source[sb];
        if (shift != 0)
            value = static_cast<uint8_t>((value << shift) | (source[sb + 1] >> (8 - shift)));
        dest[d >> 3] = value;
        d += 8;
        s += 8;
        count -= 8;
    }
    while (count > 0) {
        PutBit(dest, d++, GetBit(source, s++));
        --count;
    }
}

} // namespace Korvaneproc
