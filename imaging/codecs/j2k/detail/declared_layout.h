// What a JPEG 2000 code stream, raw or in a JP2 file, declares and holds, read once before the
// library reads it: the tiles and components of its SIZ marker (the library makes a record for
// every tile, and one for each component of every tile, while it reads the main header, however
// few bytes follow it), its coding styles, its marker segments and tile-parts, where it ends, and
// a JP2 file's colour box, palette, component mapping and channel definitions, in its header box
// or after it.
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

inline uint64_t CeilDiv(uint64_t value, uint64_t step)
{
    return (value + step - 1) / step;
}

// The tiles along the axis.
uint64_t TilesAlong(const TGridAxis& axis);

// A marker segment of the main header: where its marker is, and its length, which counts the two
// bytes of the length and not the marker's.
struct TMarkerSegment
{
    int64_t Offset = 0;
    uint32_t Marker = 0;
    uint32_t Length = 0;
};

// A tile-part: where its SOT marker is, its length from there, its tile and its index among the
// tile's parts, and their count (0 when not given). A last tile-part whose SOT gives no length
// runs to the end of code stream marker, whose offset it is then given.
struct TTilePart
{
    int64_t Offset = 0;
    uint32_t Length = 0;
    uint16_t Tile = 0;
    uint8_t Part = 0;
    uint8_t Parts = 0;
};

// A JP2 file's mapping of a component to a channel (cmap): the component, its mapping (0 direct,
// 1 through the palette) and the palette's column.
struct TComponentMapping
{
    uint16_t Component = 0;
    uint8_t Type = 0;
    uint8_t Column = 0;
};

// A JP2 file's definition of a channel (cdef): its type (0 colour, 1 opacity, 2 premultiplied
// opacity, 65535 unspecified) and association (the colour it is, from 1; 0 the whole picture;
// 65535 none).
struct TChannelDefinition
{
    uint16_t Channel = 0;
    uint16_t Type = 0;
    uint16_t Association = 0;
};

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
    // Each component's precision in bits (1 to 128).
    std::vector<uint32_t> Precisions;
    // Where the code stream starts (its SOC marker), and the bytes from there to the end of its
    // box or stream; a JP2 file's code-stream box, -1 in a raw code stream.
    int64_t CodeStream = 0;
    int64_t CodeStreamBytes = 0;
    int64_t CodeStreamBox = -1;
    // Where the picture ends: past the end of code stream marker that follows the last
    // tile-part, else the end of the stream; in a JP2 file, the end of the code-stream box.
    int64_t PictureEnd = 0;
    // The marker segments of the main header, which ends at the first tile-part; whether one
    // holds packet headers (PPM).
    std::vector<TMarkerSegment> MainHeader;
    int64_t MainHeaderEnd = 0;
    bool PacketHeadersInMainHeader = false;
    // Every tile-part in stream order, when each gives a length within the stream and the end of
    // code stream marker follows the last (TilePartsIndexed); else those before the first that
    // does not, and no more than a few million.
    std::vector<TTilePart> TileParts;
    bool TilePartsIndexed = false;
    bool EndMarker = false;
    // A tile-part that gives no length, to run to the end of code stream marker, in a stream
    // without one: a stream cut short.
    bool CutShort = false;
    // A JP2 file's first colour box: its method (1 enumerated, 2 and 3 a profile; 0 without the
    // box), its enumerated colour space (16 sRGB, 17 grey, 18 sYCC, ...) and the data colour space
    // its profile names ("RGB ", "GRAY", ...), each 0 where the box gives none: a profile too
    // short for its header of 128 bytes, or without its signature, names none.
    uint32_t ColourMethod = 0;
    uint32_t EnumeratedColourSpace = 0;
    uint32_t ProfileColourSpace = 0;
    // A JP2 file's palette with its component mapping, which the library applies only when it
    // decodes a picture or a window of it whole: the precision of each of its columns (1 to 128
    // bits), and the mapping of each channel. A palette without a mapping is left out, as the
    // library leaves it.
    bool Palette = false;
    std::vector<uint32_t> PalettePrecisions;
    std::vector<TComponentMapping> ComponentMappings;
    // A JP2 file's channel definitions, as its first box gives them; a box too short for its
    // count of them, or without one, is read as one that defines none, which the library refuses.
    bool ChannelDefinitionBox = false;
    std::vector<TChannelDefinition> ChannelDefinitions;
};

// The layout of the raw code stream at the stream's position, or of the first code-stream box of
// the JP2 file there. False when no code stream opens with a SIZ marker that declares at least
// one tile; the position is kept either way.
bool ReadDeclaredLayout(TStream& stream, bool jp2, TDeclaredLayout& layout);

// The tile of the grid that holds the point, by its index.
uint32_t TileAt(const TDeclaredLayout& layout, uint32_t x, uint32_t y);

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

// The samples of every component of the whole picture: the work of decoding it.
uint64_t PictureSamples(const TDeclaredLayout& layout);

// Whether a stream indexed to its end of code stream marker holds no tile-part of a tile it
// declares, or fewer parts of a tile than the tile's parts say it has: the library decodes the
// tiles and parts there are, and ends as if the picture were whole. False for a stream not
// indexed so, whose decoding tells.
bool TilesMissing(const TDeclaredLayout& layout);

// Whether the code stream has room for what it declares: each tile needs a tile-part header
// (SOT, 12 bytes, and SOD, 2) and each of its components that holds samples the header of at
// least one packet, a byte even when the packet is empty. A component subsampled more coarsely
// than the tiles has no samples, and no packet, in most of them. Asked once the header is within
// the budget, which bounds the work of counting them.
bool CanHoldItsTiles(const TDeclaredLayout& layout);

} // namespace Kvj2000::detail
