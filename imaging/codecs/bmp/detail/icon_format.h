// What the icon reader and writer share: the file header, the directory entries and their
// little-endian fields.
#pragma once

#include "imaging/codecs/detail/le_fields.h"

#include <cstdint>

namespace Bmpfilt::detail {

constexpr int64_t IconHeaderSize = 6;
constexpr int64_t IconEntrySize = 16;

using Codecs::detail::Get16;
using Codecs::detail::Get32;
using Codecs::detail::Set16;
using Codecs::detail::Set32;

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
