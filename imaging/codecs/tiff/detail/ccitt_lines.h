// Searches along the 1-bit rows of the fax encoder: the next pixel of a colour, skipping whole
// bytes of the other colour.
#pragma once

#include <bit>
#include <cstdint>

namespace Tifccitt::detail {

inline bool BitAt(const uint8_t* line, int32_t x)
{
    return (line[x >> 3] >> (7 - (x & 7))) & 1;
}

// The first position from start on whose bit equals bit; width when there is none. Works a
// byte at a time: the bits looked for are found by counting leading zeros.
inline int32_t FindBit(const uint8_t* line, int32_t start, int32_t width, bool bit)
{
    int32_t x = start < 0 ? 0 : start;
    if (x >= width) {
        return width;
    }
    const uint8_t flip = bit ? 0x00 : 0xFF; // makes the wanted bits ones
    int32_t byte = x >> 3;
    uint32_t bits = uint32_t(uint8_t(line[byte] ^ flip)) & (0xFFu >> (x & 7));
    const int32_t lastByte = (width - 1) >> 3;
    while (bits == 0) {
        if (++byte > lastByte) {
            return width;
        }
        bits = uint8_t(line[byte] ^ flip);
    }
    const int32_t found = byte * 8 + std::countl_zero(uint8_t(bits));
    return found < width ? found : width;
}

// b1 and b2 of the reference line: b1 is the first changing element after a0 whose colour is
// the opposite of the current colour, b2 the next changing element after it. blackBit is the
// bit value of black in the line; the imaginary pixel before the row is white.
inline void FindB1B2(const uint8_t* ref, int32_t a0, bool black, int32_t width, bool blackBit, int32_t& b1,
                     int32_t& b2)
{
    const bool colourBit = black ? blackBit : !blackBit;
    int32_t p = a0 + 1 < 0 ? 0 : a0 + 1;
    const bool previous = p == 0 ? !blackBit : (p - 1 < width && BitAt(ref, p - 1));
    if (p > width) {
        p = width;
    }
    if (previous != colourBit) {
        p = FindBit(ref, p, width, colourBit);
    }
    b1 = FindBit(ref, p, width, !colourBit);
    b2 = FindBit(ref, b1, width, colourBit);
}

} // namespace Tifccitt::detail
