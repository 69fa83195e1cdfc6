// Page editing of whole TIFF files: counting, deleting, extracting and inserting pages. A page is
// copied with its strip or tile data, its values stored outside the directory, and the EXIF, GPS
// and interoperability directories and JPEG interchange data it points to, every offset rebased
// for its new place. Other offsets into the old file (sub-images, free lists) cannot be followed
// safely and are dropped.
#include "imaging/codecs/tiff/tiffilt.h"

#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <unordered_set>
#include <vector>

namespace Tiffilt {

namespace {

enum : uint16_t
{
    tagStripOffsets = 273,
    tagStripByteCounts = 279,
    tagFreeOffsets = 288,
    tagFreeByteCounts = 289,
    tagTileOffsets = 324,
    tagTileByteCounts = 325,
    tagSubIFDs = 330,
    tagJPEGInterchangeFormat = 513,
    tagJPEGInterchangeFormatLength = 514,
    tagExifIFD = 34665,
    tagGPSIFD = 34853,
    tagInteroperabilityIFD = 40965
};

constexpr int64_t CopyChunk = 65536;

// A TIFF in a stream: its base position and byte order.
struct TSource
{
    TStream* Stream = nullptr;
    int64_t Base = 0;
    bool Intel = true;
    uint32_t FirstDirectory = 0;
};

bool OpenSource(TStream& stream, TSource& source)
{
    source.Stream = &stream;
    source.Base = stream.Position();
    uint8_t header[8];
    if (stream.Read(header, 8) != 8 || header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) {
        return false;
    }
    source.Intel = header[0] == 'I';
    const uint32_t first = uint32_t(header[4]) | uint32_t(header[5]) << 8 | uint32_t(header[6]) << 16 |
                           uint32_t(header[7]) << 24;
    source.FirstDirectory = TIFFSwap32(first, !source.Intel);
    return true;
}

// The directory offsets of the chain, each once.
std::vector<uint32_t> Directories(const TSource& source)
{
    std::vector<uint32_t> offsets;
    std::unordered_set<uint32_t> visited;
    uint32_t offset = source.FirstDirectory;
    const int64_t size = source.Stream->Size() - source.Base;
    while (offset != 0 && offset < size && offsets.size() < size_t(TIFFMaxPages) &&
           visited.insert(offset).second) {
        uint8_t count[2];
        source.Stream->SetPosition(source.Base + offset);
        if (source.Stream->Read(count, 2) != 2) {
            break;
        }
        const int64_t entries = TIFFSwap16(uint16_t(count[0] | count[1] << 8), !source.Intel);
        uint8_t next[4];
        source.Stream->SetPosition(source.Base + offset + 2 + 12 * entries);
        if (source.Stream->Read(next, 4) != 4) {
            break;
        }
        offsets.push_back(offset);
        offset = TIFFSwap32(uint32_t(next[0]) | uint32_t(next[1]) << 8 | uint32_t(next[2]) << 16 |
                                uint32_t(next[3]) << 24,
                            !source.Intel);
    }
    return offsets;
}

// Writes pages of one source into an output TIFF of the same byte order.
class TPageWriter
{
public:
    TPageWriter(TStream& output, bool intel) : FOutput(output), FBase(output.Position()), FIntel(intel)
    {
        const uint8_t mark = intel ? 'I' : 'M';
        std::vector<uint8_t> header = {mark, mark};
        Put16(header, 42);
        Put32(header, 0);
        FOutput.WriteBuffer(header.data(), 8);
        FLastPointer = FBase + 4;
    }

    // Copies the page whose directory is at offset in source and links it after the last one.
    void CopyPage(const TSource& source, uint32_t offset)
    {
        std::set<uint32_t> visited;
        const uint32_t directory = CopyDirectory(source, offset, visited, true);
        if (directory == 0) {
            return;
        }
        Patch(FLastPointer, directory);
        FLastPointer = FNextPointer;
    }

    // Position of the last next-directory pointer written, which holds 0.
    int64_t LastPointer() const { return FLastPointer; }

private:
    void Put16(std::vector<uint8_t>& out, uint32_t value) const
    {
        const uint16_t v = TIFFSwap16(uint16_t(value), !FIntel);
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    void Put32(std::vector<uint8_t>& out, uint32_t value) const
    {
        const uint32_t v = TIFFSwap32(value, !FIntel);
        for (int32_t i = 0; i < 4; ++i) {
            out.push_back(uint8_t(v >> (8 * i)));
        }
    }
    uint32_t Get32(const uint8_t* p) const
    {
        return TIFFSwap32(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24,
                          !FIntel);
    }

    void Patch(int64_t position, uint32_t value)
    {
        std::vector<uint8_t> bytes;
        Put32(bytes, value);
        const int64_t end = FOutput.Position();
        FOutput.SetPosition(position);
        FOutput.WriteBuffer(bytes.data(), 4);
        FOutput.SetPosition(end);
    }

    uint32_t OutputOffset() const { return uint32_t(FOutput.Position() - FBase); }

    void AlignOutput()
    {
        if ((FOutput.Position() - FBase) % 2 != 0) {
            const uint8_t zero = 0;
            FOutput.WriteBuffer(&zero, 1);
        }
    }

    // Copies length bytes at the source offset (cut to what the source holds) in chunks; returns
    // their output offset.
    uint32_t CopyBytes(const TSource& source, int64_t offset, int64_t length)
    {
        AlignOutput();
        const uint32_t at = OutputOffset();
        const int64_t available = std::max<int64_t>(source.Stream->Size() - source.Base - offset, 0);
        int64_t left = std::clamp<int64_t>(length, 0, available);
        std::vector<uint8_t> chunk(size_t(std::min(left, CopyChunk)));
        source.Stream->SetPosition(source.Base + offset);
        while (left > 0) {
            const int64_t take = std::min(left, CopyChunk);
            const int64_t got = source.Stream->Read(chunk.data(), take);
            if (got <= 0) {
                break;
            }
            FOutput.WriteBuffer(chunk.data(), got);
            left -= got;
        }
        return at;
    }

    // The offsets of a strip or tile table copied with their blocks.
    std::vector<uint32_t> CopyBlocks(const TSource& source, const TTIFFEnv& env, uint16_t offsetsTag,
                                     uint16_t countsTag)
    {
        std::vector<int64_t> offsets, counts;
        TIFFReadArrayIntegers(env, offsets, offsetsTag);
        TIFFReadArrayIntegers(env, counts, countsTag);
        std::vector<uint32_t> moved;
        for (size_t i = 0; i < offsets.size(); ++i) {
            const int64_t count = i < counts.size() ? counts[i] : 0;
            moved.push_back(CopyBytes(source, offsets[i], count));
        }
        return moved;
    }

    // Copies one directory with everything it points to; returns its output offset, 0 when it
    // cannot be read or was already copied (a loop of sub-directories).
    uint32_t CopyDirectory(const TSource& source, uint32_t offset, std::set<uint32_t>& visited, bool isPage)
    {
        if (!visited.insert(offset).second) {
            return 0;
        }
        TTIFFEnv env;
        env.Stream = source.Stream;
        env.Intel = source.Intel;
        env.BaseOffset = source.Base;
        if (!TIFFReadSubIFD(offset, env)) {
            return 0;
        }
        std::vector<TTIFFEntry> entries;
        for (const TTIFFEntry& original : env.Entries) {
            TTIFFEntry entry = original;
            std::vector<uint32_t> newOffsets;
            switch (entry.Tag) {
            case tagFreeOffsets:
            case tagFreeByteCounts:
            case tagSubIFDs:
                continue;
            case tagStripOffsets:
                newOffsets = CopyBlocks(source, env, tagStripOffsets, tagStripByteCounts);
                break;
            case tagTileOffsets:
                newOffsets = CopyBlocks(source, env, tagTileOffsets, tagTileByteCounts);
                break;
            case tagJPEGInterchangeFormat:
                newOffsets.push_back(CopyBytes(source, entry.Value,
                                               TIFFReadSingleValDef(env, tagJPEGInterchangeFormatLength, 0)));
                break;
            case tagExifIFD:
            case tagGPSIFD:
            case tagInteroperabilityIFD: {
                const uint32_t moved = CopyDirectory(source, entry.Value, visited, false);
                if (moved == 0) {
                    continue;
                }
                newOffsets.push_back(moved);
                break;
            }
            default:
                if (TIFFEntryBytes(entry) > 4) {
                    const uint32_t at = CopyBytes(source, entry.Value, int64_t(TIFFEntryBytes(entry)));
                    std::vector<uint8_t> field;
                    Put32(field, at);
                    std::copy(field.begin(), field.end(), entry.Inline);
                }
                entries.push_back(entry);
                continue;
            }
            // An offset table: LONG values, inline when there is one.
            entry.Type = ttLONG;
            entry.Count = uint32_t(newOffsets.size());
            std::vector<uint8_t> table;
            for (const uint32_t value : newOffsets) {
                Put32(table, value);
            }
            if (table.size() <= 4) {
                table.resize(4, 0);
                std::copy(table.begin(), table.end(), entry.Inline);
            } else {
                AlignOutput();
                const uint32_t at = OutputOffset();
                FOutput.WriteBuffer(table.data(), int64_t(table.size()));
                std::vector<uint8_t> field;
                Put32(field, at);
                std::copy(field.begin(), field.end(), entry.Inline);
            }
            entries.push_back(entry);
        }
        AlignOutput();
        const uint32_t at = OutputOffset();
        std::vector<uint8_t> bytes;
        Put16(bytes, uint32_t(entries.size()));
        for (const TTIFFEntry& entry : entries) {
            Put16(bytes, entry.Tag);
            Put16(bytes, entry.Type);
            Put32(bytes, entry.Count);
            bytes.insert(bytes.end(), entry.Inline, entry.Inline + 4);
        }
        Put32(bytes, 0);
        FOutput.WriteBuffer(bytes.data(), int64_t(bytes.size()));
        if (isPage) {
            FNextPointer = FOutput.Position() - 4;
        }
        return at;
    }

    TStream& FOutput;
    int64_t FBase;
    bool FIntel;
    int64_t FLastPointer;
    int64_t FNextPointer = 0;
};

} // namespace

int32_t _EnumTIFFImStream(TStream& Stream)
{
    int32_t pages = 0;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TKVMask> alpha;
    const int64_t start = Stream.Position();
    TIFFReadStream(nullptr, Stream, pages, nullptr, progress, false, alpha, true, true, false);
    Stream.SetPosition(start);
    return pages;
}

int32_t _DeleteTIFFImStream(TStream& Stream, int32_t Index)
{
    return _DeleteTIFFImStreamGroup(Stream, &Index, 1);
}

int32_t _DeleteTIFFImStreamGroup(TStream& Stream, const int32_t* Indexes, int32_t Count)
{
    TSource source;
    if (!OpenSource(Stream, source)) {
        Stream.SetPosition(source.Base);
        return 0;
    }
    const std::set<int32_t> deleted(Indexes, Indexes + std::max(Count, 0));
    TMemoryStream output;
    TPageWriter writer(output, source.Intel);
    const std::vector<uint32_t> directories = Directories(source);
    int32_t kept = 0;
    for (size_t i = 0; i < directories.size(); ++i) {
        if (deleted.count(int32_t(i)) == 0) {
            writer.CopyPage(source, directories[i]);
            ++kept;
        }
    }
    Stream.SetSize(source.Base);
    Stream.SetPosition(source.Base);
    Stream.WriteBuffer(output.Memory(), output.Size());
    return kept;
}

void _ExtractTIFFImStream(TStream& Stream, int32_t Index, TStream& Output)
{
    TSource source;
    if (!OpenSource(Stream, source)) {
        return;
    }
    const std::vector<uint32_t> directories = Directories(source);
    if (Index < 0 || size_t(Index) >= directories.size()) {
        return;
    }
    TPageWriter writer(Output, source.Intel);
    writer.CopyPage(source, directories[size_t(Index)]);
}

int64_t _InsertTIFFImStream(TStream& Stream, TStream& ToInsert, int32_t Index, TStream& Output)
{
    TSource source, inserted;
    if (!OpenSource(Stream, source) || !OpenSource(ToInsert, inserted) || source.Intel != inserted.Intel) {
        return -1;
    }
    const std::vector<uint32_t> pages = Directories(source);
    const std::vector<uint32_t> insertedPages = Directories(inserted);
    TPageWriter writer(Output, source.Intel);
    const size_t at = Index < 0 ? 0 : std::min(size_t(Index), pages.size());
    for (size_t i = 0; i <= pages.size(); ++i) {
        if (i == at) {
            for (const uint32_t directory : insertedPages) {
                writer.CopyPage(inserted, directory);
            }
        }
        if (i < pages.size()) {
            writer.CopyPage(source, pages[i]);
        }
    }
    return writer.LastPointer();
}

} // namespace Tiffilt
