// The tiles and components a JPEG 2000 code stream declares in its SIZ marker, read before the
// library reads the main header: the library makes a record for every tile, and one for each
// component of every tile, while it reads that header, however few bytes follow it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class TStream;

namespace Kvj2000::detail {

// One axis of the reference grid: where the picture starts and ends, and where the tiles start
// and how long they are.
struct TGridAxis
{
    uint32_t Start = 0;
    uint32_t End = 0;
    uint32_t TileStart = 0;
    uint32_t TileSize = 0;
};

// Code-blocks of a band: log2 of their width and height; none when no coding style has the band.
struct TBlockSize
{
    bool Present = false;
    uint32_t AcrossLog = 0;
    uint32_t DownLog = 0;
};

// A coding style decomposes a tile at most 32 times.
constexpr uint32_t MostHalvings = 32;

struct TDeclaredLayout
{
    TGridAxis Across;
    TGridAxis Down;
    uint64_t Tiles = 0;
    // Each component's sampling steps on the grid, horizontal and vertical.
    std::vector<std::pair<uint8_t, uint8_t>> Steps;
    // The smallest code-blocks that the coding styles of the main and tile-part headers give any
    // component in the bands a number of halvings below the tile (the index): the three detail
    // bands of a resolution, and the one band of the lowest resolution. Precincts bound the blocks,
    // so small precincts make small blocks, in the small bands of the low resolutions only.
    std::array<TBlockSize, MostHalvings + 1> DetailBlocks;
    std::array<TBlockSize, MostHalvings + 1> LowestBlocks;
    // Whether the main or a tile-part header turns the first three components with a
    // multi-component transform, which the library leaves out when it decodes chosen components.
    bool ComponentTransform = false;
    // The first component's precision in bits (1 to 128; 0 without components).
    uint32_t FirstPrecision = 0;
    // The bytes of the code stream, from its start marker to the end of its box or stream.
    int64_t CodeStreamBytes = 0;
    // A JP2 file's first colour box: its method (1 enumerated, 2 and 3 a profile; 0 without the
    // box), its enumerated colour space (16 sRGB, 17 grey, 18 sYCC, ...) and the data colour space
    // its profile names ("RGB ", "GRAY", ...), each 0 where the method gives none.
    uint32_t ColourMethod = 0;
    uint32_t EnumeratedColourSpace = 0;
    uint32_t ProfileColourSpace = 0;
    // A JP2 file's palette, component mapping or channel definitions: the library applies them
    // only when it decodes a picture or a window of it whole.
    bool ColourBoxes = false;
};

// The layout of the raw code stream at the stream's position, or of the first code-stream box of
// the JP2 file there. False when no code stream opens with a SIZ marker that declares at least
// one tile; the position is kept either way.
bool ReadDeclaredLayout(TStream& stream, bool jp2, TDeclaredLayout& layout);

// The bytes of the bitmap the picture needs, 0 past the pixel budget.
uint64_t BitmapBytes(const TDeclaredLayout& layout);

// Whether the records the library makes for the declared tiles and components while it reads the
// main header stay within the bitmap's bytes and a budget beyond them.
bool HeaderWithinBudget(const TDeclaredLayout& layout);

// Whether the records it makes for the code-blocks of a tile, of every component, when it starts
// decoding the tile, stay within the same.
bool TileRecordsWithinBudget(const TDeclaredLayout& layout);

// What the library's buffers of one whole tile take, every component at 32 bits a sample.
uint64_t TileBufferBytes(const TDeclaredLayout& layout);

// Whether the code stream has room for what it declares: each tile needs a tile-part header
// (SOT, 12 bytes, and SOD, 2) and each of its components that holds samples the header of at
// least one packet, a byte even when the packet is empty. A component subsampled more coarsely
// than the tiles has no samples, and no packet, in most of them. Asked once the header is within
// the budget, which bounds the work of counting them.
bool CanHoldItsTiles(const TDeclaredLayout& layout);

} // namespace Kvj2000::detail
