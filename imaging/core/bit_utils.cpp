// Row lengths, bit counts, bit reversal, byte swaps and the power function for gamma tables.
#include "imaging/core/bit_utils.h"

#include <array>
#include <cmath>

namespace Daduvudez {

const uint8_t kvbitmask1[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

namespace {

constexpr std::array<uint8_t, 256> MakeReversedBytes()
{
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint8_t reversed = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (i & (1 << bit))
                reversed |= static_cast<uint8_t>(0x80 >> bit);
        table[i] = reversed;
    }
    return table;
}

constexpr std::array<uint8_t, 256> kReversedBytes = MakeReversedBytes();

} // namespace

int64_t _BitmapRowLen(int64_t width, int64_t bits)
{
    return RowLengthFor(width, bits);
}

int32_t _Pixelformat2BitCount(TPixelFormat format)
{
    switch (format) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
        return 15;
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    case pf32bit:
        return 32;
    default:
        return 0;
    }
}

int64_t _PixelFormat2RowLen(int32_t width, TPixelFormat format)
{
    return _BitmapRowLen(width, _Pixelformat2BitCount(format));
}

TPixelFormat _Bitcount2Pixelformat(int32_t bits)
{
    switch (bits) {
    case 1:
        return pf1bit;
    case 4:
        return pf4bit;
    case 8:
        return pf8bit;
    case 15:
        return pf15bit;
    case 16:
        return pf16bit;
    case 24:
        return pf24bit;
    case 32:
        return pf32bit;
    default:
        return pfCustom;
    }
}

int32_t _GetBitCount(uint32_t mask)
{
    if (mask == 0)
        return 0;
    while ((mask & 1) == 0)
        mask >>= 1;
    int32_t count = 0;
    while (mask & 1) {
        ++count;
        mask >>= 1;
    }
    return count;
}

int32_t _NColToBitsPixel(int32_t colours)
{
    if (colours == 0)
        return -1;
    const uint32_t n = static_cast<uint32_t>(colours);
    int32_t highest = 31;
    while ((n & (1u << highest)) == 0)
        --highest;
    return (n & (n - 1)) == 0 ? highest : highest + 1;
}

int64_t _GetNumCol(int32_t bitsPerSample, int32_t samplesPerPixel)
{
    if (samplesPerPixel < 1)
        return 1;
    const int64_t bits = int64_t(bitsPerSample) * samplesPerPixel;
    if (bits < 0)
        return 1;
    if (bits >= 63)
        return INT64_MAX;
    return int64_t(1) << bits;
}

void ReverseBitsB(uint8_t& value)
{
    value = kReversedBytes[value];
}

void ReverseBits(uint32_t& value)
{
    value = (uint32_t(kReversedBytes[value & 0xFF]) << 24) |
            (uint32_t(kReversedBytes[(value >> 8) & 0xFF]) << 16) |
            (uint32_t(kReversedBytes[(value >> 16) & 0xFF]) << 8) | kReversedBytes[value >> 24];
}

uint16_t KVSwapWord(uint16_t value)
{
    return static_cast<uint16_t>((value >> 8) | (value << 8));
}

uint32_t KVSwapDWord(uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

long double KVPower(long double base, long double exponent)
{
    if (exponent == 0)
        return 1;
    if (base == 0 && exponent > 0)
        return 0;
    if (exponent == std::trunc(exponent) && std::fabs(exponent) <= 2147483647.0L) {
        // Repeated squaring keeps whole powers exact where exp(ln) would drift.
        uint32_t n = static_cast<uint32_t>(std::fabs(exponent));
        long double result = 1;
        long double square = base;
        while (n != 0) {
            if (n & 1)
                result *= square;
            square *= square;
            n >>= 1;
        }
        return exponent < 0 ? 1 / result : result;
    }
    return std::exp(exponent * std::log(base));
}

} // namespace Daduvudez
