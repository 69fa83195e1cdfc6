// The SIZ marker of a JPEG 2000 code stream, found in a raw code stream or in a JP2 file's
// code-stream box, and the room the stream has for the tiles it declares.
#include "imaging/codecs/j2k/detail/declared_layout.h"

#include "platform/core/streams.h"

#include <algorithm>

namespace Kvj2000::detail {

namespace {

constexpr uint32_t CodeStreamBoxType = 0x6A703263; // "jp2c"
constexpr int64_t BoxHeaderBytes = 8;
constexpr int64_t LongBoxHeaderBytes = 16;
// SOC, then SIZ up to its component count: marker, Lsiz, Rsiz, eight sizes and offsets, Csiz.
constexpr int64_t SizPrefixBytes = 42;
constexpr int64_t ComponentBytes = 3; // Ssiz, XRsiz, YRsiz
constexpr uint64_t TilePartHeaderBytes = 14;
// What the library (OpenJPEG 2.5) allocates for each tile, and for each component of each tile,
// when its header read gets to the first tile: measured 8,810 and 1,088 bytes, rounded up.
constexpr uint64_t HeaderBytesPerTile = 8900;
constexpr uint64_t HeaderBytesPerTileComponent = 1100;
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

// The contents of the first top-level code-stream box at or after offset: where they start and
// how many bytes the box and the stream hold of them. A box of length 0 runs to the end of the
// stream; a box of length 1 gives its length in 64 bits after its type.
bool FindCodeStreamBox(TStream& stream, int64_t offset, int64_t end, int64_t& first, int64_t& bytes)
{
    uint8_t header[LongBoxHeaderBytes];
    while (end - offset >= BoxHeaderBytes) {
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
        if (Get32BE(header + 4) == CodeStreamBoxType) {
            first = offset + headerBytes;
            bytes = int64_t(std::min(length, left)) - headerBytes;
            return true;
        }
        if (length > left) {
            return false;
        }
        offset += int64_t(length);
    }
    return false;
}

uint64_t TileCount(const TGridAxis& axis)
{
    return axis.End > axis.TileStart && axis.TileSize > 0
               ? (uint64_t(axis.End - axis.TileStart) + axis.TileSize - 1) / axis.TileSize
               : 0;
}

uint64_t CeilDiv(uint64_t value, uint64_t step)
{
    return (value + step - 1) / step;
}

// How many tiles along the axis hold a sample of a component sampled every step.
uint64_t TilesWithSamples(const TGridAxis& axis, uint8_t step)
{
    const uint64_t every = std::max<uint64_t>(step, 1);
    const uint64_t count = TileCount(axis);
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
    layout.Tiles = TileCount(layout.Across) * TileCount(layout.Down);
    const uint32_t components = Get16BE(p + 40);
    layout.Steps.clear();
    for (uint32_t c = 0; c < components && SizPrefixBytes + (c + 1) * ComponentBytes <= int64_t(siz.size());
         ++c) {
        const uint8_t* component = p + SizPrefixBytes + c * ComponentBytes;
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

} // namespace

bool ReadDeclaredLayout(TStream& stream, bool jp2, TDeclaredLayout& layout)
{
    const int64_t start = stream.Position();
    const int64_t end = stream.Size();
    int64_t first = start;
    int64_t bytes = end - start;
    const bool found = (!jp2 || FindCodeStreamBox(stream, start, end, first, bytes)) &&
                       ReadSizAt(stream, first, bytes, layout);
    stream.SetPosition(start);
    return found;
}

bool HeaderWithinBudget(const TDeclaredLayout& layout)
{
    const uint64_t perTile = HeaderBytesPerTile + HeaderBytesPerTileComponent * layout.Steps.size();
    return layout.Tiles <= HeaderBudget / perTile;
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
