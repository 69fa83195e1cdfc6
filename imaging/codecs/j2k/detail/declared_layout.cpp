// The SIZ marker, coding styles and tile-parts of a JPEG 2000 code stream, found in a raw code
// stream or in a JP2 file's code-stream box, and the room the stream has for the tiles it declares.
#include "imaging/codecs/j2k/detail/declared_layout.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/bit_utils.h"
#include "platform/core/streams.h"

#include <algorithm>

namespace Kvj2000::detail {

namespace {

constexpr uint32_t CodeStreamBoxType = 0x6A703263; // "jp2c"
constexpr uint32_t HeaderBoxType = 0x6A703268;     // "jp2h"
constexpr uint32_t ColourBoxType = 0x636F6C72;     // "colr"
constexpr uint32_t PaletteBoxType = 0x70636C72;    // "pclr"
constexpr uint32_t MappingBoxType = 0x636D6170;    // "cmap"
constexpr uint32_t ChannelsBoxType = 0x63646566;   // "cdef"
constexpr int64_t BoxHeaderBytes = 8;
constexpr int64_t LongBoxHeaderBytes = 16;
// SOC, then SIZ up to its component count: marker, Lsiz, Rsiz, eight sizes and offsets, Csiz.
constexpr int64_t SizPrefixBytes = 42;
constexpr int64_t ComponentBytes = 3; // Ssiz, XRsiz, YRsiz
constexpr uint64_t TilePartHeaderBytes = 14;
constexpr int64_t TilePartMarkerBytes = 12;       // SOT: marker, Lsot, Isot, Psot, TPsot, TNsot
constexpr uint32_t TilePartMarker = 0xFF90;       // SOT
constexpr uint32_t TileDataMarker = 0xFF93;       // SOD
constexpr uint32_t EndMarker = 0xFFD9;            // EOC
constexpr uint32_t CodingStyleMarker = 0xFF52;    // COD
constexpr uint32_t ComponentStyleMarker = 0xFF53; // COC
constexpr uint32_t PacketHeadersMarker = 0xFF60;  // PPM
// Tile-parts and main header segments past these many are walked but not kept: a stream that is
// cut into bands holds fewer, and a main header of at most a megabyte.
constexpr size_t MostTilePartsKept = size_t(1) << 20;
constexpr size_t MostHeaderSegmentsKept = size_t(1) << 18;
// What the library (OpenJPEG 2.5) allocates for each tile, and for each component of each tile,
// when its header read gets to the first tile: measured 8,810 and 1,088 bytes, rounded up.
constexpr uint64_t HeaderBytesPerTile = 8900;
constexpr uint64_t HeaderBytesPerTileComponent = 1100;
// What it allocates for each code-block of a tile when it starts decoding the tile: the block's
// record, its first segments and its share of the precinct's tag trees; every component's,
// decoded or not.
constexpr uint64_t BytesPerCodeBlock = 560;
// Beyond the picture's own bytes: a picture in tiles of 64 pixels or more needs less for its
// records than for its pixels.
constexpr uint64_t HeaderBudget = uint64_t(1) << 27;

uint32_t Get16BE(const uint8_t* p)
{
    return uint32_t(p[0]) << 8 | p[1];
}

uint32_t Get32BE(const uint8_t* p)
{
    return Get16BE(p) << 16 | Get16BE(p + 2);
}

uint64_t Get64BE(const uint8_t* p)
{
    return uint64_t(Get32BE(p)) << 32 | Get32BE(p + 4);
}

// A box of a JP2 file: its type, and where its contents start and end (at most at the end of
// what holds it). A box of length 0 runs to the end; a box of length 1 gives its length in 64
// bits after its type.
struct TBox
{
    uint32_t Type = 0;
    int64_t First = 0;
    int64_t End = 0;
    bool Whole = false; // the box ends within what holds it
};

bool ReadBox(TStream& stream, int64_t offset, int64_t end, TBox& box)
{
    uint8_t header[LongBoxHeaderBytes];
    if (end - offset < BoxHeaderBytes) {
        return false;
    }
    stream.SetPosition(offset);
    if (stream.Read(header, BoxHeaderBytes) != BoxHeaderBytes) {
        return false;
    }
    uint64_t length = Get32BE(header);
    int64_t headerBytes = BoxHeaderBytes;
    if (length == 1) {
        if (stream.Read(header + BoxHeaderBytes, BoxHeaderBytes) != BoxHeaderBytes) {
            return false;
        }
        length = Get64BE(header + BoxHeaderBytes);
        headerBytes = LongBoxHeaderBytes;
    } else if (length == 0) {
        length = uint64_t(end - offset);
    }
    if (length < uint64_t(headerBytes)) {
        return false;
    }
    const uint64_t left = uint64_t(end - offset);
    box.Type = Get32BE(header + 4);
    box.First = offset + headerBytes;
    box.End = offset + int64_t(std::min(length, left));
    box.Whole = length <= left;
    return true;
}

// The first top-level code-stream box at or after offset: where it is, where its contents start
// and how many bytes the box and the stream hold of them.
bool FindCodeStreamBox(TStream& stream, int64_t offset, int64_t end, TDeclaredLayout& layout)
{
    TBox box;
    while (ReadBox(stream, offset, end, box)) {
        if (box.Type == CodeStreamBoxType) {
            layout.CodeStreamBox = offset;
            layout.CodeStream = box.First;
            layout.CodeStreamBytes = box.End - box.First;
            return true;
        }
        if (!box.Whole) {
            return false;
        }
        offset = box.End;
    }
    return false;
}

// What the first "colr" box says: its method, then an enumerated colour space, or a profile whose
// header of 128 bytes names its data colour space in its bytes 16 to 19 and is signed "acsp" in
// its bytes 36 to 39.
void ReadColourBox(TStream& stream, const TBox& box, TDeclaredLayout& layout)
{
    constexpr int64_t EnumeratedBytes = 7, ProfileHeaderBytes = 128, ProfileBytesRead = 40;
    constexpr uint32_t ProfileSignature = 0x61637370; // "acsp"
    uint8_t colour[3 + ProfileBytesRead];
    const int64_t contents = box.End - box.First;
    const int64_t bytes = std::min<int64_t>(contents, sizeof colour);
    if (bytes < 3 || stream.Read(colour, bytes) != bytes) {
        return;
    }
    layout.ColourMethod = colour[0];
    if (colour[0] == 1 && bytes >= EnumeratedBytes) {
        layout.EnumeratedColourSpace = Get32BE(colour + 3);
    } else if ((colour[0] == 2 || colour[0] == 3) && contents >= 3 + ProfileHeaderBytes &&
               Get32BE(colour + 3 + 36) == ProfileSignature) {
        layout.ProfileColourSpace = Get32BE(colour + 3 + 16);
    }
}

// A palette box (pclr): its count of entries (2 bytes), of columns (1 byte), and each column's
// sign and precision - 1 (a byte each); the entries follow.
void ReadPalette(TStream& stream, const TBox& box, TDeclaredLayout& layout)
{
    uint8_t head[3], precisions[256];
    if (box.End - box.First < 3 || stream.Read(head, 3) != 3 || box.End - box.First < 3 + head[2] ||
        stream.Read(precisions, head[2]) != head[2]) {
        return;
    }
    layout.PalettePrecisions.clear();
    for (uint32_t column = 0; column < head[2]; ++column) {
        layout.PalettePrecisions.push_back((precisions[column] & 0x7Fu) + 1);
    }
}

// A component mapping box (cmap): four bytes a channel, its component (2 bytes), mapping type and
// palette column.
void ReadComponentMappings(TStream& stream, const TBox& box, TDeclaredLayout& layout)
{
    constexpr int64_t MostChannels = 256, EntryBytes = 4;
    uint8_t entries[MostChannels * EntryBytes];
    const int64_t count = std::min((box.End - box.First) / EntryBytes, MostChannels);
    if (stream.Read(entries, count * EntryBytes) != count * EntryBytes) {
        return;
    }
    layout.ComponentMappings.clear();
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* entry = entries + i * EntryBytes;
        layout.ComponentMappings.push_back({uint16_t(Get16BE(entry)), entry[2], entry[3]});
    }
}

// A channel definition box (cdef): a count (2 bytes), then six bytes a channel: the channel, its
// type and its association.
void ReadChannelDefinitions(TStream& stream, const TBox& box, TDeclaredLayout& layout)
{
    constexpr int64_t EntryBytes = 6;
    uint8_t count[2];
    if (box.End - box.First < 2 || stream.Read(count, 2) != 2 ||
        box.End - box.First < 2 + Get16BE(count) * EntryBytes) {
        return;
    }
    std::vector<uint8_t> entries(size_t(Get16BE(count) * EntryBytes));
    if (stream.Read(entries.data(), int64_t(entries.size())) != int64_t(entries.size())) {
        return;
    }
    for (size_t at = 0; at < entries.size(); at += EntryBytes) {
        layout.ChannelDefinitions.push_back({uint16_t(Get16BE(&entries[at])),
                                             uint16_t(Get16BE(&entries[at + 2])),
                                             uint16_t(Get16BE(&entries[at + 4]))});
    }
}

// Which colour boxes have been taken: the first colour box is kept; the library refuses a file with
// two palettes, mappings or channel definitions, or a mapping before its palette, as it reads its
// header, before it decodes anything.
struct TColourBoxesTaken
{
    bool Colour = false;
    bool Palette = false;
    bool Mapping = false;
};

void TakeColourBox(TStream& stream, const TBox& box, TColourBoxesTaken& taken, TDeclaredLayout& layout)
{
    if (box.Type == ColourBoxType && !taken.Colour) {
        taken.Colour = true;
        ReadColourBox(stream, box, layout);
    } else if (box.Type == PaletteBoxType && !taken.Palette) {
        taken.Palette = true;
        ReadPalette(stream, box, layout);
    } else if (box.Type == MappingBoxType && !taken.Mapping) {
        taken.Mapping = true;
        ReadComponentMappings(stream, box, layout);
    } else if (box.Type == ChannelsBoxType && !layout.ChannelDefinitionBox) {
        layout.ChannelDefinitionBox = true;
        ReadChannelDefinitions(stream, box, layout);
    }
}

// The colour boxes before the code-stream box, in their order, where the library takes them: in
// every header box (jp2h), and at the top level once the first header box is read, as some
// encoders write the mapping. The library skips those before the header box, and reads those after
// the code stream only once it has decoded the picture, which they leave as it is.
void ReadColourBoxes(TStream& stream, int64_t offset, TDeclaredLayout& layout)
{
    TColourBoxesTaken taken;
    bool headerRead = false;
    TBox box;
    for (; ReadBox(stream, offset, layout.CodeStreamBox, box); offset = box.End) {
        if (box.Type == HeaderBoxType) {
            headerRead = true;
            TBox child;
            for (int64_t at = box.First; ReadBox(stream, at, box.End, child); at = child.End) {
                TakeColourBox(stream, child, taken, layout);
            }
        } else if (headerRead) {
            TakeColourBox(stream, box, taken, layout);
        }
    }
    layout.Palette = taken.Palette && taken.Mapping;
}

uint64_t Extent(const TGridAxis& axis)
{
    return axis.End > axis.Start ? axis.End - axis.Start : 0;
}

// How many tiles along the axis hold a sample of a component sampled every step.
uint64_t TilesWithSamples(const TGridAxis& axis, uint8_t step)
{
    const uint64_t every = std::max<uint64_t>(step, 1);
    const uint64_t count = TilesAlong(axis);
    uint64_t found = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t start = std::max<uint64_t>(axis.Start, axis.TileStart + i * axis.TileSize);
        const uint64_t end = std::min<uint64_t>(axis.End, axis.TileStart + (i + 1) * axis.TileSize);
        found += end > start && CeilDiv(end, every) > CeilDiv(start, every);
    }
    return found;
}

bool ParseSiz(const std::vector<uint8_t>& siz, int64_t bytes, TDeclaredLayout& layout)
{
    const uint8_t* p = siz.data();
    if (Get16BE(p) != 0xFF4F || Get16BE(p + 2) != 0xFF51) {
        return false;
    }
    layout.Across = {Get32BE(p + 16), Get32BE(p + 8), Get32BE(p + 32), Get32BE(p + 24)};
    layout.Down = {Get32BE(p + 20), Get32BE(p + 12), Get32BE(p + 36), Get32BE(p + 28)};
    layout.Tiles = TilesAlong(layout.Across) * TilesAlong(layout.Down);
    const uint32_t components = Get16BE(p + 40);
    layout.Steps.clear();
    layout.Precisions.clear();
    for (uint32_t c = 0; c < components && SizPrefixBytes + (c + 1) * ComponentBytes <= int64_t(siz.size());
         ++c) {
        const uint8_t* component = p + SizPrefixBytes + c * ComponentBytes;
        layout.Precisions.push_back((component[0] & 0x7Fu) + 1);
        layout.Steps.emplace_back(component[1], component[2]);
    }
    layout.CodeStreamBytes = bytes;
    return layout.Tiles > 0 && layout.Steps.size() == components;
}

bool ReadSizAt(TStream& stream, int64_t first, int64_t bytes, TDeclaredLayout& layout)
{
    if (bytes < SizPrefixBytes) {
        return false;
    }
    std::vector<uint8_t> siz(SizPrefixBytes);
    stream.SetPosition(first);
    if (stream.Read(siz.data(), SizPrefixBytes) != SizPrefixBytes) {
        return false;
    }
    const int64_t componentBytes =
        std::min<int64_t>(int64_t(Get16BE(siz.data() + 40)) * ComponentBytes, bytes - SizPrefixBytes);
    siz.resize(size_t(SizPrefixBytes + componentBytes));
    return stream.Read(siz.data() + SizPrefixBytes, componentBytes) == componentBytes &&
           ParseSiz(siz, bytes, layout);
}

// Keeps the smaller of a band's code-blocks and those of another coding style.
void KeepSmaller(TBlockSize& band, uint32_t acrossLog, uint32_t downLog)
{
    band.AcrossLog = band.Present ? std::min(band.AcrossLog, acrossLog) : acrossLog;
    band.DownLog = band.Present ? std::min(band.DownLog, downLog) : downLog;
    band.Present = true;
}

// Notes the code-blocks of each band of a COD or COC marker segment's contents, as the precincts
// of each resolution bound them (above the lowest resolution, whose bands are half the
// resolution's size, a block is at most half a precinct), and a COD's multi-component transform.
// Precinct sizes the segment lacks count as the smallest.
void NoteCodingStyle(uint32_t marker, const uint8_t* data, int64_t length, size_t components,
                     TDeclaredLayout& layout)
{
    const int64_t style = marker == CodingStyleMarker ? 5 : (components < 257 ? 1 : 2) + 1;
    const int64_t precincts = style + 5;
    if (length < precincts) {
        return;
    }
    const bool ownPrecincts = (data[marker == CodingStyleMarker ? 0 : style - 1] & 1) != 0;
    const uint32_t levels = std::min<uint32_t>(data[style], MostHalvings);
    const uint32_t across = std::min<uint32_t>(data[style + 1] + 2u, 10),
                   down = std::min<uint32_t>(data[style + 2] + 2u, 10);
    for (uint32_t r = 0; r <= levels; ++r) {
        uint32_t blockAcross = across, blockDown = down;
        if (ownPrecincts) {
            const uint32_t sizes = precincts + r < length ? data[precincts + r] : 0, less = r == 0 ? 0 : 1;
            blockAcross = std::min(blockAcross, std::max(sizes & 0xFu, less) - less);
            blockDown = std::min(blockDown, std::max(sizes >> 4, less) - less);
        }
        // Resolution r > 0 adds three bands of the tile halved levels - r + 1 times; the lowest
        // resolution is one band of the tile halved levels times.
        TBlockSize& band = r == 0 ? layout.LowestBlocks[levels] : layout.DetailBlocks[levels - r + 1];
        KeepSmaller(band, blockAcross, blockDown);
    }
    layout.ComponentTransform |= marker == CodingStyleMarker && data[4] != 0;
}

// Reads marker segments up to SOT (the main header's end) or SOD (a tile-part header's), noting
// the coding styles and, given somewhere to keep them, the segments; the marker that ended them,
// or 0.
uint32_t ReadHeaderMarkers(TStream& stream, int64_t end, TDeclaredLayout& layout,
                           std::vector<TMarkerSegment>* segments = nullptr)
{
    uint8_t head[4];
    std::vector<uint8_t> segment;
    while (end - stream.Position() >= 2 && stream.Read(head, 2) == 2) {
        const uint32_t marker = Get16BE(head);
        if (marker == TilePartMarker || marker == TileDataMarker) {
            return marker;
        }
        if (end - stream.Position() < 2 || stream.Read(head + 2, 2) != 2 || Get16BE(head + 2) < 2) {
            return 0;
        }
        const int64_t length = Get16BE(head + 2) - 2, next = stream.Position() + length;
        if (next > end) {
            return 0;
        }
        if (segments != nullptr && segments->size() < MostHeaderSegmentsKept) {
            segments->push_back({stream.Position() - 4, marker, uint32_t(length + 2)});
        }
        layout.PacketHeadersInMainHeader |= segments != nullptr && marker == PacketHeadersMarker;
        if (marker == CodingStyleMarker || marker == ComponentStyleMarker) {
            segment.resize(size_t(length));
            if (stream.Read(segment.data(), length) != length) {
                return 0;
            }
            NoteCodingStyle(marker, segment.data(), length, layout.Steps.size(), layout);
        }
        stream.SetPosition(next);
    }
    return 0;
}

// Where the first end of code stream marker at or after `from` and before `end` is, -1 without
// one. Coded data hold no marker: a byte 0xFF in them is followed by one of at most 0x8F.
int64_t FindEndMarker(TStream& stream, int64_t from, int64_t end)
{
    constexpr int64_t ChunkBytes = int64_t(1) << 16;
    std::vector<uint8_t> chunk(ChunkBytes);
    bool afterFF = false;
    for (int64_t at = from; at < end; at += ChunkBytes) {
        const int64_t count = std::min(ChunkBytes, end - at);
        stream.SetPosition(at);
        if (stream.Read(chunk.data(), count) != count) {
            return -1;
        }
        const uint8_t* const last = chunk.data() + count;
        if (afterFF && chunk[0] == (EndMarker & 0xFF)) {
            return at - 1;
        }
        for (const uint8_t* p = chunk.data(); (p = std::find(p, last, 0xFF)) != last; ++p) {
            if (p + 1 == last) {
                break;
            }
            if (p[1] == (EndMarker & 0xFF)) {
                return at + (p - chunk.data());
            }
        }
        afterFF = last[-1] == 0xFF;
    }
    return -1;
}

// The tile-parts from the first, each with the coding styles of its header, up to the end of code
// stream marker; a last tile-part that gives no length runs to that marker.
void ReadTileParts(TStream& stream, int64_t at, int64_t end, TDeclaredLayout& layout)
{
    bool allKept = true;
    uint8_t head[TilePartMarkerBytes];
    while (end - at >= 2) {
        stream.SetPosition(at);
        if (stream.Read(head, 2) != 2) {
            return;
        }
        if (Get16BE(head) == EndMarker) {
            layout.EndMarker = true;
            layout.TilePartsIndexed = allKept;
            layout.PictureEnd = at + 2;
            return;
        }
        if (Get16BE(head) != TilePartMarker ||
            stream.Read(head + 2, TilePartMarkerBytes - 2) != TilePartMarkerBytes - 2 ||
            Get16BE(head + 2) != TilePartMarkerBytes - 2 ||
            ReadHeaderMarkers(stream, end, layout) != TileDataMarker) {
            return;
        }
        int64_t length = Get32BE(head + 6);
        if (length == 0) {
            const int64_t endMarker = FindEndMarker(stream, stream.Position(), end);
            layout.CutShort = endMarker < 0;
            length = endMarker - at;
        }
        if (length < int64_t(TilePartHeaderBytes) || end - at < length + 2) {
            return;
        }
        if (layout.TileParts.size() < MostTilePartsKept) {
            layout.TileParts.push_back(
                {at, uint32_t(length), uint16_t(Get16BE(head + 4)), head[10], head[11]});
        } else {
            allKept = false;
        }
        at += length;
    }
}

// The main header's marker segments, SIZ first, up to the first tile-part, and the tile-parts.
void ReadMarkers(TStream& stream, TDeclaredLayout& layout)
{
    const int64_t end = layout.CodeStream + layout.CodeStreamBytes;
    stream.SetPosition(layout.CodeStream + 2);
    if (ReadHeaderMarkers(stream, end, layout, &layout.MainHeader) == TilePartMarker) {
        layout.MainHeaderEnd = stream.Position() - 2;
        ReadTileParts(stream, layout.MainHeaderEnd, end, layout);
    }
}

// Code-blocks along a band of that length, at most: one more than fill it, as the band need not
// start on a block's edge.
uint64_t BlocksAlong(uint64_t length, uint32_t log)
{
    return length == 0 ? 0 : ((length - 1) >> log) + 2;
}

uint64_t BandBlocks(uint64_t columns, uint64_t rows, uint32_t halvings, const TBlockSize& block)
{
    if (!block.Present) {
        return 0;
    }
    const uint64_t step = uint64_t(1) << halvings;
    return BlocksAlong(CeilDiv(columns, step), block.AcrossLog) *
           BlocksAlong(CeilDiv(rows, step), block.DownLog);
}

// What the library's code-block records of one whole tile take, at most: the blocks of each band
// of each component.
uint64_t TileRecordBytes(const TDeclaredLayout& layout)
{
    const uint64_t across = std::min<uint64_t>(layout.Across.TileSize, Extent(layout.Across));
    const uint64_t down = std::min<uint64_t>(layout.Down.TileSize, Extent(layout.Down));
    uint64_t blocks = 0;
    for (const auto& [stepAcross, stepDown] : layout.Steps) {
        const uint64_t columns = CeilDiv(across, std::max<uint64_t>(stepAcross, 1));
        const uint64_t rows = CeilDiv(down, std::max<uint64_t>(stepDown, 1));
        for (uint32_t halvings = 0; halvings <= MostHalvings; ++halvings) {
            blocks += 3 * BandBlocks(columns, rows, halvings, layout.DetailBlocks[halvings]) +
                      BandBlocks(columns, rows, halvings, layout.LowestBlocks[halvings]);
        }
    }
    return blocks * BytesPerCodeBlock;
}

// The samples of every component within an area of the grid of that width and height.
uint64_t SamplesOver(const TDeclaredLayout& layout, uint64_t width, uint64_t height)
{
    uint64_t samples = 0;
    for (const auto& [stepAcross, stepDown] : layout.Steps) {
        samples += CeilDiv(width, std::max<uint64_t>(stepAcross, 1)) *
                   CeilDiv(height, std::max<uint64_t>(stepDown, 1));
    }
    return samples;
}

} // namespace

bool ReadDeclaredLayout(TStream& stream, bool jp2, TDeclaredLayout& layout)
{
    const int64_t start = stream.Position();
    const int64_t end = stream.Size();
    layout.CodeStream = start;
    layout.CodeStreamBytes = end - start;
    const bool found = (!jp2 || FindCodeStreamBox(stream, start, end, layout)) &&
                       ReadSizAt(stream, layout.CodeStream, layout.CodeStreamBytes, layout);
    layout.PictureEnd = layout.CodeStream + layout.CodeStreamBytes;
    if (found) {
        ReadMarkers(stream, layout);
    }
    if (found && jp2) {
        layout.PictureEnd = layout.CodeStream + layout.CodeStreamBytes;
        ReadColourBoxes(stream, start, layout);
    }
    stream.SetPosition(start);
    return found;
}

uint64_t TilesAlong(const TGridAxis& axis)
{
    return axis.End > axis.TileStart && axis.TileSize > 0 ? CeilDiv(axis.End - axis.TileStart, axis.TileSize)
                                                          : 0;
}

uint32_t TileAt(const TDeclaredLayout& layout, uint32_t x, uint32_t y)
{
    const uint32_t column = (x - layout.Across.TileStart) / std::max(layout.Across.TileSize, 1u);
    const uint32_t row = (y - layout.Down.TileStart) / std::max(layout.Down.TileSize, 1u);
    return uint32_t(row * TilesAlong(layout.Across) + column);
}

uint64_t BitmapBytes(const TDeclaredLayout& layout)
{
    const uint64_t width = Extent(layout.Across), height = Extent(layout.Down);
    if (width * height > uint64_t(KVCodecMaxPixels)) {
        return 0;
    }
    const bool bilevel = layout.Steps.size() == 1 && layout.Precisions[0] == 1 && !layout.Palette;
    return uint64_t(Daduvudez::_BitmapRowLen(int64_t(width), bilevel ? 1 : 24)) * height;
}

bool HeaderWithinBudget(const TDeclaredLayout& layout)
{
    const uint64_t perTile = HeaderBytesPerTile + HeaderBytesPerTileComponent * layout.Steps.size();
    return layout.Tiles <= (BitmapBytes(layout) + HeaderBudget) / perTile;
}

bool TileRecordsWithinBudget(const TDeclaredLayout& layout)
{
    return TileRecordBytes(layout) <= BitmapBytes(layout) + HeaderBudget;
}

uint64_t TileBufferBytes(const TDeclaredLayout& layout)
{
    const uint64_t across = std::min<uint64_t>(layout.Across.TileSize, Extent(layout.Across));
    const uint64_t down = std::min<uint64_t>(layout.Down.TileSize, Extent(layout.Down));
    return SamplesOver(layout, across, down) * sizeof(int32_t);
}

uint64_t PictureSamples(const TDeclaredLayout& layout)
{
    return SamplesOver(layout, Extent(layout.Across), Extent(layout.Down));
}

bool TilesMissing(const TDeclaredLayout& layout)
{
    if (!layout.TilePartsIndexed) {
        return false;
    }
    if (layout.TileParts.size() < layout.Tiles) {
        return true;
    }
    // Each tile's parts, and the most that any of them says it has.
    std::vector<std::pair<uint32_t, uint32_t>> parts(size_t(layout.Tiles));
    for (const TTilePart& part : layout.TileParts) {
        if (part.Tile < layout.Tiles) {
            ++parts[part.Tile].first;
            parts[part.Tile].second = std::max<uint32_t>(parts[part.Tile].second, part.Parts);
        }
    }
    return std::any_of(parts.begin(), parts.end(),
                       [](const auto& tile) { return tile.first == 0 || tile.first < tile.second; });
}

bool CanHoldItsTiles(const TDeclaredLayout& layout)
{
    const uint64_t bytes = uint64_t(std::max<int64_t>(layout.CodeStreamBytes, 0));
    if (layout.Tiles > bytes / TilePartHeaderBytes) {
        return false;
    }
    uint64_t sampled = 0;
    for (const auto& [across, down] : layout.Steps) {
        sampled += TilesWithSamples(layout.Across, across) * TilesWithSamples(layout.Down, down);
    }
    return sampled <= bytes;
}

} // namespace Kvj2000::detail
