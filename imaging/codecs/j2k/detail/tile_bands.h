// Many small JPEG 2000 tiles decoded on every core: the code stream is cut into bands, rectangles
// of whole tiles, each read by a decoder of its own as a code stream of its own, while the
// calling thread writes the decoded bands into the bitmap. The library's own threads cost more
// than they gain on a small tile, and one decoder of the whole stream would keep a header record
// of every tile, for each decoder.
#pragma once

#include "imaging/codecs/j2k/detail/sample_writer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TStream;

namespace Kvj2000::detail {

// A tile as the library decoded it: the samples of every component in a buffer of its own, and
// the planes of the used components in it.
struct TDecodedTile
{
    std::unique_ptr<uint8_t[]> Bytes;
    uint32_t Capacity = 0;
    uint32_t Size = 0;
    std::vector<TChannelPlane> Planes;
};
using TDecodedBand = std::vector<TDecodedTile>;

// Reads a stream at given offsets from several threads, one read at a time.
class TSharedSource
{
public:
    explicit TSharedSource(TStream& stream) : FStream(stream) {}
    // The bytes read, fewer at the end of the stream or when reading fails.
    int64_t ReadAt(int64_t offset, void* buffer, int64_t count);

private:
    TStream& FStream;
    std::mutex FLock;
};

// The code stream cut into bands of whole tiles: each band is a code stream of the band's
// rectangle, its tiles on the same reference grid, so that each decodes to the samples that the
// whole stream gives there. The main header is kept but for its tile-part and packet lengths,
// which count every tile; each tile-part keeps its bytes, its tile renumbered within the band.
class TTileBands
{
public:
    // Indexes the code stream, or the JP2 file's first code-stream box, at start in the stream,
    // in at least `bands` bands where the tiles allow, of at most bandBytes for tiles of
    // tileBytes. False when the stream cannot be cut so:
    // a main header past a megabyte or keeping the packet headers, a tile-part whose length is
    // not given or runs past the stream, tile-parts out of order or a tile without any, or no end
    // of code stream after the last; the one decoder of the whole stream then judges it.
    bool Index(TStream& stream, bool jp2, int64_t start, uint64_t tileBytes, uint64_t bandBytes,
               size_t bands);

    size_t Count() const { return FBands.size(); }
    uint64_t TileCount() const { return FTileCount; }
    uint32_t TilesIn(size_t band) const;
    // The band as a code stream of its own, reading the stream under the source's lock.
    std::unique_ptr<TStream> Open(size_t band) const;
    // The file's headers up to the first tile-part, the picture declared as one tile, so that the
    // library reads the picture's parameters without making a record of each tile.
    std::unique_ptr<TStream> OpenHeaders() const;

private:
    struct TTilePart
    {
        int64_t Offset = 0; // of its SOT marker
        uint32_t Length = 0;
        uint32_t Tile = 0;
        uint8_t Part = 0;
        uint8_t Parts = 0;
    };
    struct TBand
    {
        uint32_t FirstColumn = 0;
        uint32_t Columns = 0;
        uint32_t FirstRow = 0;
        uint32_t Rows = 0;
    };
    struct TGrid
    {
        uint32_t X1 = 0, Y1 = 0, X0 = 0, Y0 = 0;
        uint32_t TileWidth = 0, TileHeight = 0, TileX0 = 0, TileY0 = 0;
        uint32_t Across = 0, Down = 0;
    };

    bool FindCodeStream(bool jp2, int64_t start);
    // The main header, up to the first tile-part; its end.
    int64_t ReadMainHeader(int64_t first);
    bool ReadTileParts(int64_t first);
    void CutIntoBands(uint64_t tileBytes, uint64_t bandBytes, size_t bands);
    std::vector<uint8_t> MainHeader(uint64_t tileX0, uint64_t tileY0, uint64_t x1, uint64_t y1) const;
    std::vector<uint8_t> BandHeader(const TBand& band) const;
    uint32_t TileInBand(const TBand& band, uint32_t tile) const;

    std::unique_ptr<TSharedSource> FSource;
    int64_t FStreamSize = 0;
    int64_t FStart = 0;
    int64_t FCodeStreamBox = -1; // a JP2 file's code-stream box, before the code stream
    int64_t FCodeStream = 0;
    std::vector<uint8_t> FHeader; // the main header without tile-part and packet lengths
    size_t FSizAt = 0;
    TGrid FGrid;
    uint64_t FTileCount = 0;
    std::vector<TTilePart> FParts;
    std::vector<TBand> FBands;
    std::vector<std::vector<uint32_t>> FBandParts; // each band's parts, in stream order
};

// Decodes bands 0 to count - 1 on `workers` threads through decode, which fills a band's tiles
// and returns false when the library fails, and hands each decoded band, in band order, to write
// on the calling thread, which alone asks aborted. Writes the bands before the first that fails,
// and stops there, or when aborted returns true; a few bands are decoded ahead of the writing, no
// more. False on a failure.
bool DecodeBands(size_t count, unsigned workers, const std::function<bool(size_t, TDecodedBand&)>& decode,
                 const std::function<void(TDecodedBand&)>& write, const std::function<bool()>& aborted);

} // namespace Kvj2000::detail
