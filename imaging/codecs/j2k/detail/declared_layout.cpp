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
constexpr uint64_t TilePartHeaderBytes = 14;

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

uint64_t TilesAcross(uint32_t size, uint32_t tileOffset, uint32_t tileSize)
{
    return size > tileOffset && tileSize > 0 ? (uint64_t(size - tileOffset) + tileSize - 1) / tileSize : 0;
}

bool ParseSiz(const uint8_t* siz, int64_t bytes, TDeclaredLayout& layout)
{
    if (Get16BE(siz) != 0xFF4F || Get16BE(siz + 2) != 0xFF51) {
        return false;
    }
    const uint32_t width = Get32BE(siz + 8), height = Get32BE(siz + 12);
    const uint32_t tileWidth = Get32BE(siz + 24), tileHeight = Get32BE(siz + 28);
    const uint32_t tileLeft = Get32BE(siz + 32), tileTop = Get32BE(siz + 36);
    layout.Tiles = TilesAcross(width, tileLeft, tileWidth) * TilesAcross(height, tileTop, tileHeight);
    layout.Components = Get16BE(siz + 40);
    layout.CodeStreamBytes = bytes;
    return layout.Tiles > 0;
}

bool ReadSizAt(TStream& stream, int64_t first, int64_t bytes, TDeclaredLayout& layout)
{
    uint8_t siz[SizPrefixBytes];
    if (bytes < SizPrefixBytes) {
        return false;
    }
    stream.SetPosition(first);
    return stream.Read(siz, SizPrefixBytes) == SizPrefixBytes && ParseSiz(siz, bytes, layout);
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

bool CanHoldItsTiles(const TDeclaredLayout& layout)
{
    const uint64_t bytes = uint64_t(std::max<int64_t>(layout.CodeStreamBytes, 0));
    return layout.Tiles <= bytes / TilePartHeaderBytes &&
           (layout.Components == 0 || layout.Tiles <= bytes / layout.Components);
}

} // namespace Kvj2000::detail
