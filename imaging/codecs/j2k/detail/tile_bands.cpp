// Cuts a JPEG 2000 code stream into bands of whole tiles and decodes them on several threads.
#include "imaging/codecs/j2k/detail/tile_bands.h"

#include "platform/core/streams.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <thread>

namespace Kvj2000::detail {

namespace {

constexpr uint32_t SOC = 0xFF4F, SIZ = 0xFF51, SOT = 0xFF90, EOC = 0xFFD9;
constexpr uint32_t TLM = 0xFF55, PLM = 0xFF57, PPM = 0xFF60;
constexpr int64_t SotBytes = 12;      // marker, length, tile, tile-part length, part, parts
constexpr int64_t SizFixedBytes = 40; // marker to the tiles' origin
// A main header larger than this is read by the one decoder: each band holds a copy.
constexpr int64_t MostHeaderBytes = int64_t(1) << 20;

uint32_t Get16(const uint8_t* p)
{
    return uint32_t(p[0]) << 8 | p[1];
}

uint32_t Get32(const uint8_t* p)
{
    return Get16(p) << 16 | Get16(p + 2);
}

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

uint32_t CeilDiv(uint32_t value, uint32_t step)
{
    return uint32_t((uint64_t(value) + step - 1) / step);
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

bool TTileBands::Index(TStream& stream, bool jp2, int64_t start, uint64_t tileBytes, uint64_t bandBytes,
                       size_t bands)
{
    FSource = std::make_unique<TSharedSource>(stream);
    FStreamSize = stream.Size();
    FStart = start;
    if (!FindCodeStream(jp2, start)) {
        return false;
    }
    const int64_t headerEnd = ReadMainHeader(FCodeStream);
    if (headerEnd < 0 || !ReadTileParts(headerEnd)) {
        return false;
    }
    CutIntoBands(tileBytes, bandBytes, bands);
    return true;
}

// The contents of a JP2 file's first top-level code-stream box, or the raw stream at start.
bool TTileBands::FindCodeStream(bool jp2, int64_t start)
{
    constexpr uint32_t CodeStreamBox = 0x6A703263; // "jp2c"
    FCodeStream = start;
    for (int64_t box = start; jp2;) {
        uint8_t head[16];
        if (FSource->ReadAt(box, head, 8) != 8) {
            return false;
        }
        uint64_t length = Get32(head);
        int64_t contents = box + 8;
        if (length == 1) {
            if (FSource->ReadAt(contents, head + 8, 8) != 8) {
                return false;
            }
            length = uint64_t(Get32(head + 8)) << 32 | Get32(head + 12);
            contents += 8;
        }
        if (Get32(head + 4) == CodeStreamBox) {
            FCodeStreamBox = box;
            FCodeStream = contents;
            return true;
        }
        if (length < uint64_t(contents - box) || length > uint64_t(FStreamSize - box)) {
            return false;
        }
        box += int64_t(length);
    }
    return true;
}

int64_t TTileBands::ReadMainHeader(int64_t first)
{
    uint8_t marker[4];
    if (first < 0 || FSource->ReadAt(first, marker, 4) != 4 || Get16(marker) != SOC ||
        Get16(marker + 2) != SIZ) {
        return -1;
    }
    FHeader = {uint8_t(SOC >> 8), uint8_t(SOC)};
    int64_t at = first + 2;
    while (true) {
        if (FSource->ReadAt(at, marker, 4) != 4) {
            return -1;
        }
        const uint32_t code = Get16(marker);
        const uint32_t length = Get16(marker + 2);
        if (code == SOT) {
            break;
        }
        if ((code >> 8) != 0xFF || length < 2 || at + 2 + length > FStreamSize || code == PPM ||
            int64_t(FHeader.size()) + 2 + length > MostHeaderBytes ||
            (code == SIZ && length < SizFixedBytes - 2)) {
            return -1;
        }
        if (code == SIZ) {
            FSizAt = FHeader.size();
        }
        if (code != TLM && code != PLM) {
            const size_t from = FHeader.size();
            FHeader.resize(from + 2 + length);
            if (FSource->ReadAt(at, &FHeader[from], 2 + length) != 2 + length) {
                return -1;
            }
        }
        at += 2 + length;
    }
    const uint8_t* siz = &FHeader[FSizAt];
    FGrid = {Get32(siz + 6),  Get32(siz + 10), Get32(siz + 14), Get32(siz + 18),
             Get32(siz + 22), Get32(siz + 26), Get32(siz + 30), Get32(siz + 34)};
    TGrid& g = FGrid;
    if (FSizAt == 0 || g.TileWidth == 0 || g.TileHeight == 0 || g.X0 >= g.X1 || g.Y0 >= g.Y1 ||
        g.TileX0 > g.X0 || g.TileY0 > g.Y0) {
        return -1;
    }
    g.Across = CeilDiv(g.X1 - g.TileX0, g.TileWidth);
    g.Down = CeilDiv(g.Y1 - g.TileY0, g.TileHeight);
    FTileCount = uint64_t(g.Across) * g.Down;
    return FTileCount > 0 && FTileCount <= 65535 ? at : -1;
}

bool TTileBands::ReadTileParts(int64_t first)
{
    // Each tile's parts in order, from the first: a band holds all of its tiles' parts.
    std::vector<uint32_t> partsSeen(size_t(FTileCount), 0), partsDeclared(size_t(FTileCount), 0);
    int64_t at = first;
    uint8_t sot[SotBytes];
    while (true) {
        if (FSource->ReadAt(at, sot, 2) != 2) {
            return false;
        }
        if (Get16(sot) == EOC) {
            break;
        }
        if (FSource->ReadAt(at, sot, SotBytes) != SotBytes || Get16(sot) != SOT || Get16(sot + 2) != 10) {
            return false;
        }
        const uint32_t tile = Get16(sot + 4), length = Get32(sot + 6), part = sot[10], parts = sot[11];
        if (tile >= FTileCount || length < SotBytes + 2 || length > FStreamSize - at ||
            part != partsSeen[tile] || (part > 0 && parts != partsDeclared[tile]) ||
            (parts != 0 && part >= parts)) {
            return false;
        }
        ++partsSeen[tile];
        partsDeclared[tile] = parts;
        FParts.push_back({at, length, tile, uint8_t(part), uint8_t(parts)});
        at += length;
    }
    for (uint64_t t = 0; t < FTileCount; ++t) {
        if (partsSeen[t] == 0 || (partsDeclared[t] != 0 && partsSeen[t] != partsDeclared[t])) {
            return false;
        }
    }
    return true;
}

void TTileBands::CutIntoBands(uint64_t tileBytes, uint64_t bandBytes, size_t bands)
{
    const uint64_t tiles =
        std::clamp<uint64_t>((FTileCount + bands - 1) / std::max<size_t>(bands, 1), 1,
                             std::max<uint64_t>(bandBytes / std::max<uint64_t>(tileBytes, 1), 1));
    const uint32_t columns = uint32_t(std::min<uint64_t>(tiles, FGrid.Across));
    const uint32_t rows = uint32_t(std::clamp<uint64_t>(tiles / columns, 1, FGrid.Down));
    for (uint32_t row = 0; row < FGrid.Down; row += rows) {
        for (uint32_t column = 0; column < FGrid.Across; column += columns) {
            FBands.push_back(
                {column, std::min(columns, FGrid.Across - column), row, std::min(rows, FGrid.Down - row)});
        }
    }
    const uint32_t bandsAcross = CeilDiv(FGrid.Across, columns);
    FBandParts.resize(FBands.size());
    for (size_t i = 0; i < FParts.size(); ++i) {
        const uint32_t column = FParts[i].Tile % FGrid.Across, row = FParts[i].Tile / FGrid.Across;
        FBandParts[size_t(row / rows) * bandsAcross + column / columns].push_back(uint32_t(i));
    }
}

uint32_t TTileBands::TileInBand(const TBand& band, uint32_t tile) const
{
    const uint32_t column = tile % FGrid.Across, row = tile / FGrid.Across;
    return (row - band.FirstRow) * band.Columns + column - band.FirstColumn;
}

uint32_t TTileBands::TilesIn(size_t band) const
{
    return FBands[band].Columns * FBands[band].Rows;
}

// The main header of the picture's part from the tiles' origin given to (x1, y1), which starts
// in its first tile as the picture does in the stream's.
std::vector<uint8_t> TTileBands::MainHeader(uint64_t tileX0, uint64_t tileY0, uint64_t x1, uint64_t y1) const
{
    std::vector<uint8_t> header = FHeader;
    uint8_t* siz = &header[FSizAt];
    Put32(siz + 6, uint32_t(x1));
    Put32(siz + 10, uint32_t(y1));
    Put32(siz + 14, uint32_t(std::max<uint64_t>(tileX0, FGrid.X0)));
    Put32(siz + 18, uint32_t(std::max<uint64_t>(tileY0, FGrid.Y0)));
    Put32(siz + 30, uint32_t(tileX0));
    Put32(siz + 34, uint32_t(tileY0));
    return header;
}

std::vector<uint8_t> TTileBands::BandHeader(const TBand& band) const
{
    const TGrid& g = FGrid;
    const uint64_t tileX0 = g.TileX0 + uint64_t(band.FirstColumn) * g.TileWidth;
    const uint64_t tileY0 = g.TileY0 + uint64_t(band.FirstRow) * g.TileHeight;
    return MainHeader(tileX0, tileY0, std::min<uint64_t>(tileX0 + uint64_t(band.Columns) * g.TileWidth, g.X1),
                      std::min<uint64_t>(tileY0 + uint64_t(band.Rows) * g.TileHeight, g.Y1));
}

std::unique_ptr<TStream> TTileBands::OpenHeaders() const
{
    std::vector<uint8_t> own = MainHeader(FGrid.TileX0, FGrid.TileY0, FGrid.X1, FGrid.Y1);
    uint8_t* siz = &own[FSizAt];
    Put32(siz + 22, FGrid.X1 - FGrid.TileX0);
    Put32(siz + 26, FGrid.Y1 - FGrid.TileY0);
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
        const TTilePart& part = FParts[i];
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
        const TTilePart& part = FParts[parts[i]];
        stream->AddOwn(headerBytes + i * SotBytes, SotBytes);
        stream->AddSource(part.Offset + SotBytes, part.Length - SotBytes);
    }
    stream->AddOwn(headerBytes + parts.size() * SotBytes, 2);
    return stream;
}

namespace {

// What the workers and the writing thread share. Bands are written in their order, so that a load
// stopped or failed midway leaves the picture whole down to where it stopped, as a decode of one
// tile after another does.
struct TBandQueue
{
    std::mutex Lock;
    std::condition_variable Changed;
    size_t Next = 0;
    size_t Written = 0;
    // The first band that failed; count while none has.
    size_t FailedBand;
    bool Stop = false;
    std::map<size_t, std::unique_ptr<TDecodedBand>> Decoded;
};

void DecodeBandsOf(TBandQueue& queue, size_t count, size_t ahead,
                   const std::function<bool(size_t, TDecodedBand&)>& decode)
{
    std::unique_lock<std::mutex> hold(queue.Lock);
    while (true) {
        // A band is started only within reach of the writing, which bounds the bands held.
        queue.Changed.wait(hold, [&] {
            return queue.Stop || queue.Next >= std::min(count, queue.FailedBand) ||
                   queue.Next < queue.Written + ahead;
        });
        if (queue.Stop || queue.Next >= std::min(count, queue.FailedBand)) {
            break;
        }
        const size_t band = queue.Next++;
        hold.unlock();
        auto decoded = std::make_unique<TDecodedBand>();
        bool done = false;
        try {
            done = decode(band, *decoded);
        } catch (...) {
            done = false;
        }
        hold.lock();
        if (done) {
            queue.Decoded.emplace(band, std::move(decoded));
        } else {
            queue.FailedBand = std::min(queue.FailedBand, band);
        }
        queue.Changed.notify_all();
    }
}

} // namespace

bool DecodeBands(size_t count, unsigned workers, const std::function<bool(size_t, TDecodedBand&)>& decode,
                 const std::function<void(TDecodedBand&)>& write, const std::function<bool()>& aborted)
{
    TBandQueue queue;
    queue.FailedBand = count;
    std::vector<std::jthread> threads;
    // However the writing ends, the workers are stopped and joined before the queue goes.
    struct TStopper
    {
        TBandQueue& Queue;
        std::vector<std::jthread>& Threads;
        ~TStopper()
        {
            {
                std::lock_guard<std::mutex> hold(Queue.Lock);
                Queue.Stop = true;
            }
            Queue.Changed.notify_all();
            Threads.clear();
        }
    } stopper{queue, threads};
    // Each worker holds the band it decodes, and as many again wait for the writing.
    const size_t ahead = size_t(workers) * 2;
    for (unsigned i = 0; i < workers; ++i) {
        threads.emplace_back([&queue, count, ahead, &decode] { DecodeBandsOf(queue, count, ahead, decode); });
    }
    while (queue.Written < count && !aborted()) {
        std::unique_ptr<TDecodedBand> band;
        {
            std::unique_lock<std::mutex> hold(queue.Lock);
            // The abort flag is the caller's: it is asked here, between waits, on this thread.
            queue.Changed.wait_for(hold, std::chrono::milliseconds(50), [&] {
                return queue.FailedBand == queue.Written || queue.Decoded.contains(queue.Written);
            });
            if (queue.FailedBand == queue.Written) {
                return false;
            }
            const auto found = queue.Decoded.find(queue.Written);
            if (found == queue.Decoded.end()) {
                continue;
            }
            band = std::move(found->second);
            queue.Decoded.erase(found);
        }
        write(*band);
        {
            std::lock_guard<std::mutex> hold(queue.Lock);
            ++queue.Written;
        }
        queue.Changed.notify_all();
    }
    return true;
}

} // namespace Kvj2000::detail
