// The tiles and components a JPEG 2000 code stream declares in its SIZ marker, read before the
// library reads the main header: the library makes a record for every tile, and one for each
// component of every tile, while it reads that header, however few bytes follow it.
#pragma once

#include <cstdint>

class TStream;

namespace Kvj2000::detail {

struct TDeclaredLayout
{
    uint64_t Tiles = 0;
    uint32_t Components = 0;
    // The bytes of the code stream, from its start marker to the end of its box or stream.
    int64_t CodeStreamBytes = 0;
};

// The layout of the raw code stream at the stream's position, or of the first code-stream box of
// the JP2 file there. False when no code stream opens with a SIZ marker that declares at least
// one tile; the position is kept either way.
bool ReadDeclaredLayout(TStream& stream, bool jp2, TDeclaredLayout& layout);

// Whether the code stream has room for what it declares: each tile needs a tile-part header
// (SOT, 12 bytes, and SOD, 2) and each of its components the packet header of at least one
// packet, a byte even when the packet is empty. The second bound is kept apart so that tiles
// whose subsampled components hold no samples still pass: it bites only files of more than 14
// components.
bool CanHoldItsTiles(const TDeclaredLayout& layout);

} // namespace Kvj2000::detail
