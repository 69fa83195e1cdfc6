// Many small JPEG 2000 tiles decoded on every core: the code stream is cut into bands, rectangles
// of whole tiles, each read by a decoder of its own as a code stream of its own. The library's own
// threads cost more than they gain on a small tile, and one decoder of the whole stream would keep
// a header record of every tile, for each decoder.
#pragma once

#include "imaging/codecs/j2k/detail/declared_layout.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TStream;

namespace Kvj2000::detail {

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
    // Cuts the code stream of the layout, read from the stream whose file starts at start, into
    // at least `bands` bands where the tiles allow, of at most bandBytes for tiles of tileBytes.
    // False when it cannot be cut so: a main header past a megabyte or keeping the packet headers,
    // tile-parts that give no length or run past the stream, out of order or of a tile that is
    // not declared, or no end of code stream after the last; the one decoder of the whole stream
    // then judges it. Tiles without parts are left out of their bands.
    bool Cut(TStream& stream, int64_t start, const TDeclaredLayout& layout, uint64_t tileBytes,
             uint64_t bandBytes, size_t bands);

    size_t Count() const { return FBands.size(); }
    // The tiles of the band that the stream holds parts of.
    uint32_t TilesIn(size_t band) const;
    // The band as a code stream of its own, reading the stream under the source's lock.
    std::unique_ptr<TStream> Open(size_t band) const;
    // The file's headers up to the first tile-part, the picture declared as one tile, so that the
    // library reads the picture's parameters without making a record of each tile.
    std::unique_ptr<TStream> OpenHeaders() const;

private:
    struct TBand
    {
        uint32_t FirstColumn = 0;
        uint32_t Columns = 0;
        uint32_t FirstRow = 0;
        uint32_t Rows = 0;
    };

    bool CopyMainHeader(const TDeclaredLayout& layout);
    bool PartsInOrder(const TDeclaredLayout& layout) const;
    void CutIntoBands(uint64_t tileBytes, uint64_t bandBytes, size_t bands);
    std::vector<uint8_t> MainHeader(uint64_t tileX0, uint64_t tileY0, uint64_t x1, uint64_t y1) const;
    std::vector<uint8_t> BandHeader(const TBand& band) const;
    uint32_t TileInBand(const TBand& band, uint32_t tile) const;

    std::unique_ptr<TSharedSource> FSource;
    int64_t FStart = 0;
    int64_t FCodeStreamBox = -1;  // a JP2 file's code-stream box, before the code stream
    std::vector<uint8_t> FHeader; // the main header without tile-part and packet lengths
    size_t FSizAt = 0;
    TGridAxis FAcross;
    TGridAxis FDown;
    uint32_t FColumns = 0;
    uint32_t FRows = 0;
    const std::vector<TTilePart>* FParts = nullptr;
    std::vector<TBand> FBands;
    std::vector<std::vector<uint32_t>> FBandParts; // each band's parts, in stream order
    std::vector<uint32_t> FBandTiles;              // each band's tiles with parts
};

} // namespace Kvj2000::detail
