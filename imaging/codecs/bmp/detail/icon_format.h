// What the icon reader and writer share: the file header, the directory entries and their
// little-endian fields.
#pragma once

#include <cstdint>

namespace Bmpfilt::detail {

constexpr int64_t IconHeaderSize = 6;
constexpr int64_t IconEntrySize = 16;

inline uint16_t Get16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Set16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Set32(uint8_t* p, uint32_t v)
{
    Set16(p, v);
    Set16(p + 2, v >> 16);
}

// One directory entry. A cursor keeps its hot spot in Planes (x) and BitCount (y).
struct TIconEntry
{
    int32_t Width = 0;  // 0: 256 or the header's
    int32_t Height = 0; // 0: 256 or the header's
    int32_t ColourCount = 0;
    int32_t Reserved = 0;
    int32_t Planes = 0;
    int32_t BitCount = 0;
    uint32_t Bytes = 0;
    uint32_t Offset = 0; // from the first byte of the file header
};

inline TIconEntry ParseEntry(const uint8_t* p)
{
    TIconEntry entry;
    entry.Width = p[0];
    entry.Height = p[1];
    entry.ColourCount = p[2];
    entry.Reserved = p[3];
    entry.Planes = Get16(p + 4);
    entry.BitCount = Get16(p + 6);
    entry.Bytes = Get32(p + 8);
    entry.Offset = Get32(p + 12);
    return entry;
}

} // namespace Bmpfilt::detail
