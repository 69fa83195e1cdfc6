// Cuts a JPEG 2000 code stream into bands of whole tiles, each a code stream of its own.
#include "imaging/codecs/j2k/detail/tile_bands.h"

#include "platform/core/streams.h"

#include <algorithm>

namespace Kvj2000::detail {

namespace {

constexpr uint32_t SOC = 0xFF4F, SIZ = 0xFF51, SOT = 0xFF90, EOC = 0xFFD9;
constexpr uint32_t TLM = 0xFF55, PLM = 0xFF57;
constexpr int64_t SotBytes = 12;      // marker, length, tile, tile-part length, part, parts
constexpr int64_t SizFixedBytes = 40; // marker to the tiles' origin
// A main header larger than this is read by the one decoder: each band holds a copy.
constexpr int64_t MostHeaderBytes = int64_t(1) << 20;

void Put16(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value >> 8);
    p[1] = uint8_t(value);
}

void Put32(uint8_t* p, uint32_t value)
{
    Put16(p, value >> 16);
    Put16(p + 2, value & 0xFFFF);
}

// A read-only code stream made of pieces: bytes of its own, and spans of the shared source.
class TBandStream : public TStream
{
public:
    TBandStream(TSharedSource& source, std::vector<uint8_t> own) : FSource(source), FOwn(std::move(own)) {}

    void AddOwn(size_t first, size_t count) { Add({int64_t(first), int64_t(count), true}); }
    void AddSource(int64_t offset, int64_t count) { Add({offset, count, false}); }

    int64_t Read(void* buffer, int64_t count) override
    {
        auto* out = static_cast<uint8_t*>(buffer);
        int64_t done = 0;
        while (done < count && FPosition < FSize) {
            // The piece holding the position: the last that starts at or before it.
            const auto piece = std::upper_bound(FStarts.begin(), FStarts.end(), FPosition) - 1;
            const TPiece& p = FPieces[size_t(piece - FStarts.begin())];
            const int64_t within = FPosition - *piece;
            const int64_t take = std::min(count - done, p.Count - within);
            if (p.Own) {
                std::copy_n(FOwn.data() + p.First + within, take, out + done);
            } else if (FSource.ReadAt(p.First + within, out + done, take) != take) {
                break;
            }
            done += take;
            FPosition += take;
        }
        return done;
    }

    int64_t Write(const void*, int64_t) override { return 0; }

    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : FSize;
        FPosition = std::clamp<int64_t>(base + offset, 0, FSize);
        return FPosition;
    }

    int64_t Size() override { return FSize; }

private:
    struct TPiece
    {
        int64_t First = 0;
        int64_t Count = 0;
        bool Own = false;
    };

    void Add(const TPiece& piece)
    {
        FStarts.push_back(FSize);
        FPieces.push_back(piece);
        FSize += piece.Count;
    }

    TSharedSource& FSource;
    std::vector<uint8_t> FOwn;
    std::vector<TPiece> FPieces;
    std::vector<int64_t> FStarts;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

} // namespace

int64_t TSharedSource::ReadAt(int64_t offset, void* buffer, int64_t count)
{
    std::lock_guard<std::mutex> hold(FLock);
    try {
        FStream.SetPosition(offset);
        int64_t done = 0;
        while (done < count) {
            const int64_t got = FStream.Read(static_cast<uint8_t*>(buffer) + done, count - done);
            if (got <= 0) {
                break;
            }
            done += got;
        }
        return done;
    } catch (...) {
        return 0;
    }
}

bool TTileBands::Cut(TStream& stream, int64_t start, const TDeclaredLayout& layout, uint64_t tileBytes,
                     uint64_t bandBytes, size_t bands)
{
    FSource = std::make_unique<TSharedSource>(stream);
    FStart = start;
    FCodeStreamBox = layout.CodeStreamBox;
    FAcross = layout.Across;
    FDown = layout.Down;
    FColumns = uint32_t(TilesAlong(FAcross));
    FRows = uint32_t(TilesAlong(FDown));
    FParts = &layout.TileParts;
    if (!layout.TilePartsIndexed || layout.PacketHeadersInMainHeader || layout.Tiles > 65535 ||
        layout.MainHeaderEnd - layout.CodeStream > MostHeaderBytes || !CopyMainHeader(layout) ||
        !PartsInOrder(layout)) {
        return false;
    }
    CutIntoBands(tileBytes, bandBytes, bands);
    return true;
}

// The main header's segments but the tile-part and packet lengths, which count every tile.
bool TTileBands::CopyMainHeader(const TDeclaredLayout& layout)
{
    FHeader = {uint8_t(SOC >> 8), uint8_t(SOC)};
    for (const TMarkerSegment& segment : layout.MainHeader) {
        if (segment.Marker == TLM || segment.Marker == PLM) {
            continue;
        }
        if (segment.Marker == SIZ) {
            if (segment.Length < SizFixedBytes - 2 || FSizAt != 0) {
                return false;
            }
            FSizAt = FHeader.size();
        }
        const size_t from = FHeader.size();
        FHeader.resize(from + 2 + segment.Length);
        if (FSource->ReadAt(segment.Offset, &FHeader[from], 2 + segment.Length) != 2 + segment.Length) {
            return false;
        }
    }
    return FSizAt != 0;
}

// Each tile's parts in order, from the first: a band holds all of its tiles' there are. A tile
// without parts, or without its last parts, as in a stream stopped early, leaves the band without
// them: the band decodes the tiles and parts there are.
bool TTileBands::PartsInOrder(const TDeclaredLayout& layout) const
{
    std::vector<uint32_t> partsSeen(size_t(layout.Tiles), 0), partsDeclared(size_t(layout.Tiles), 0);
    for (const TTilePart& part : *FParts) {
        if (part.Tile >= layout.Tiles || part.Part != partsSeen[part.Tile] ||
            (part.Part > 0 && part.Parts != partsDeclared[part.Tile]) ||
            (part.Parts != 0 && part.Part >= part.Parts)) {
            return false;
        }
        ++partsSeen[part.Tile];
        partsDeclared[part.Tile] = part.Parts;
    }
    return true;
}

void TTileBands::CutIntoBands(uint64_t tileBytes, uint64_t bandBytes, size_t bands)
{
    const uint64_t tileCount = uint64_t(FColumns) * FRows;
    const uint64_t tiles =
        std::clamp<uint64_t>(CeilDiv(tileCount, std::max<size_t>(bands, 1)), 1,
                             std::max<uint64_t>(bandBytes / std::max<uint64_t>(tileBytes, 1), 1));
    const uint32_t columns = uint32_t(std::min<uint64_t>(tiles, FColumns));
    const uint32_t rows = uint32_t(std::clamp<uint64_t>(tiles / columns, 1, FRows));
    for (uint32_t row = 0; row < FRows; row += rows) {
        for (uint32_t column = 0; column < FColumns; column += columns) {
            FBands.push_back(
                {column, std::min(columns, FColumns - column), row, std::min(rows, FRows - row)});
        }
    }
    const uint64_t bandsAcross = CeilDiv(FColumns, columns);
    FBandParts.resize(FBands.size());
    FBandTiles.resize(FBands.size());
    for (size_t i = 0; i < FParts->size(); ++i) {
        const uint32_t tile = (*FParts)[i].Tile;
        const size_t band = size_t(tile / FColumns / rows * bandsAcross + tile % FColumns / columns);
        FBandParts[band].push_back(uint32_t(i));
        FBandTiles[band] += (*FParts)[i].Part == 0;
    }
}

uint32_t TTileBands::TileInBand(const TBand& band, uint32_t tile) const
{
    const uint32_t column = tile % FColumns, row = tile / FColumns;
    return (row - band.FirstRow) * band.Columns + column - band.FirstColumn;
}

uint32_t TTileBands::TilesIn(size_t band) const
{
    return FBandTiles[band];
}

// The main header of the picture's part from the tiles' origin given to (x1, y1), which starts
// in its first tile as the picture does in the stream's.
std::vector<uint8_t> TTileBands::MainHeader(uint64_t tileX0, uint64_t tileY0, uint64_t x1, uint64_t y1) const
{
    std::vector<uint8_t> header = FHeader;
    uint8_t* siz = &header[FSizAt];
    Put32(siz + 6, uint32_t(x1));
    Put32(siz + 10, uint32_t(y1));
    Put32(siz + 14, uint32_t(std::max<uint64_t>(tileX0, FAcross.Start)));
    Put32(siz + 18, uint32_t(std::max<uint64_t>(tileY0, FDown.Start)));
    Put32(siz + 30, uint32_t(tileX0));
    Put32(siz + 34, uint32_t(tileY0));
    return header;
}

std::vector<uint8_t> TTileBands::BandHeader(const TBand& band) const
{
    const uint64_t tileX0 = FAcross.TileStart + uint64_t(band.FirstColumn) * FAcross.TileSize;
    const uint64_t tileY0 = FDown.TileStart + uint64_t(band.FirstRow) * FDown.TileSize;
    return MainHeader(tileX0, tileY0,
                      std::min<uint64_t>(tileX0 + uint64_t(band.Columns) * FAcross.TileSize, FAcross.End),
                      std::min<uint64_t>(tileY0 + uint64_t(band.Rows) * FDown.TileSize, FDown.End));
}

std::unique_ptr<TStream> TTileBands::OpenHeaders() const
{
    std::vector<uint8_t> own = MainHeader(FAcross.TileStart, FDown.TileStart, FAcross.End, FDown.End);
    uint8_t* siz = &own[FSizAt];
    Put32(siz + 22, FAcross.End - FAcross.TileStart);
    Put32(siz + 26, FDown.End - FDown.TileStart);
    // The library stops at the first tile-part: an empty one, and the end.
    for (uint32_t word : {SOT, 10u, 0u, 0u, 14u, 1u, 0xFF93u, EOC}) {
        own.push_back(uint8_t(word >> 8));
        own.push_back(uint8_t(word));
    }
    const size_t codeStreamBytes = own.size();
    if (FCodeStreamBox < 0) {
        auto stream = std::make_unique<TBandStream>(*FSource, std::move(own));
        stream->AddOwn(0, codeStreamBytes);
        return stream;
    }
    // The JP2 boxes before the code stream, whose box then runs to the end.
    const uint8_t box[8] = {0, 0, 0, 0, 'j', 'p', '2', 'c'};
    own.insert(own.end(), box, box + 8);
    auto stream = std::make_unique<TBandStream>(*FSource, std::move(own));
    stream->AddSource(FStart, FCodeStreamBox - FStart);
    stream->AddOwn(codeStreamBytes, 8);
    stream->AddOwn(0, codeStreamBytes);
    return stream;
}

std::unique_ptr<TStream> TTileBands::Open(size_t index) const
{
    const TBand& band = FBands[index];
    std::vector<uint8_t> own = BandHeader(band);
    const size_t headerBytes = own.size();
    const std::vector<uint32_t>& parts = FBandParts[index];
    // Each part's SOT marker, its tile numbered within the band, then the end of code stream.
    for (uint32_t i : parts) {
        const TTilePart& part = (*FParts)[i];
        uint8_t sot[SotBytes];
        Put16(sot, SOT);
        Put16(sot + 2, 10);
        Put16(sot + 4, TileInBand(band, part.Tile));
        Put32(sot + 6, part.Length);
        sot[10] = part.Part;
        sot[11] = part.Parts;
        own.insert(own.end(), sot, sot + SotBytes);
    }
    own.push_back(uint8_t(EOC >> 8));
    own.push_back(uint8_t(EOC));
    auto stream = std::make_unique<TBandStream>(*FSource, std::move(own));
    stream->AddOwn(0, headerBytes);
    for (size_t i = 0; i < parts.size(); ++i) {
        const TTilePart& part = (*FParts)[parts[i]];
        stream->AddOwn(headerBytes + i * SotBytes, SotBytes);
        stream->AddSource(part.Offset + SotBytes, part.Length - SotBytes);
    }
    stream->AddOwn(headerBytes + parts.size() * SotBytes, 2);
    return stream;
}

} // namespace Kvj2000::detail
