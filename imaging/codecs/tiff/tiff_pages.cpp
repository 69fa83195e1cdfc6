// Page editing of whole TIFF files: counting, deleting, extracting and inserting pages. A page is
// copied with its strip or tile data, its values stored outside the directory, and the EXIF, GPS
// and interoperability directories and JPEG interchange data it points to, every offset rebased
// for its new place. Other offsets into the old file (sub-images, free lists) cannot be followed
// safely and are dropped. A BigTIFF stays a BigTIFF: its directories are written again in its own
// form (20-byte entries, 64-bit offsets), so that no value has to change its type.
//
// An edit is planned before anything is written. Entries and strips of a file may point at the
// same bytes (pages that share a colour map, or a hostile file whose thousands of entries all
// cover it whole): the bytes they point at are gathered per file and copied once, each entry
// taking its place inside them, so that no edit copies more than its files hold. Directories and
// offset tables are rewritten; a file whose directories and tables together take more than
// twice its size overlaps them, which no writer does, and is refused.
#include "imaging/codecs/tiff/tiffilt.h"

#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <set>
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
// EXIF, GPS and interoperability directories hang at most this deep under a page.
constexpr int32_t MaxNesting = 3;
// Directory and table bytes a file may describe beyond twice its size.
constexpr int64_t StructureSlack = 65536;

// An offset of the file as a signed number; one past every file is -1, which no block takes.
int64_t AsOffset(uint64_t value)
{
    return value <= uint64_t(INT64_MAX) ? int64_t(value) : -1;
}

// Bytes [Offset, Offset + Length) of a source file; Length 0 for none.
struct TSpan
{
    int64_t Offset = 0;
    int64_t Length = 0;
};

enum TEntryKind
{
    ekAsIs,      // the value stands in the entry
    ekBlock,     // the value is stored outside, in Block
    ekOffsets,   // strip, tile or JPEG interchange offsets: table Index
    ekDirectory, // an EXIF, GPS or interoperability directory: directory Index
};

struct TPlannedEntry
{
    TTIFFEntry Entry;
    TEntryKind Kind = ekAsIs;
    TSpan Block;
    size_t Index = 0;
};

// The blocks of an offset table, written as LONGs; pages whose entries name the same table share
// it.
struct TOffsetTable
{
    std::vector<TSpan> Blocks;
    uint64_t Written = 0;
};

struct TPlannedDirectory
{
    std::vector<TPlannedEntry> Entries;
    uint64_t Written = 0; // output offset of a sub-directory written once for all its pages
};

// One TIFF in a stream and what the edit takes from it: the directories it copies and the bytes
// their entries point at, merged into runs that are copied once.
class TSourcePlan
{
public:
    bool Open(TStream& stream);
    bool Intel() const { return FIntel; }
    bool Big() const { return FBig; }
    // The directory offsets of the page chain, each once.
    std::vector<int64_t> Pages();
    // Plans the page whose directory is at offset; its index, -1 when it cannot be read.
    int64_t PlanPage(int64_t offset) { return PlanDirectory(offset, 0); }
    // False when the file's directories and tables overlap beyond what any writer makes.
    bool WithinBudget() const { return FStructure <= 2 * FSize + StructureSlack; }
    // Merges the blocks planned into runs; their total length.
    int64_t MergeBlocks();

    struct TRun
    {
        int64_t Start, End;
        uint64_t Output = 0;
    };
    std::vector<TRun>& Runs() { return FRuns; }
    // Planning is over before writing starts, so these stay where they are while written.
    TPlannedDirectory& Directory(size_t index) { return FDirectories[index]; }
    TOffsetTable& Table(size_t index) { return FTables[index]; }
    TStream& Stream() const { return *FStream; }
    int64_t Base() const { return FBase; }
    int64_t StructureBytes() const { return FStructure; }
    // The output offset of a block, once its run is written; 0 for a block of no bytes outside
    // every run.
    uint64_t Rebase(const TSpan& block) const;

private:
    TTIFFEnv Env() const;
    int64_t PlanDirectory(int64_t offset, int32_t depth);
    int64_t PlanSubDirectory(int64_t offset, int32_t depth);
    size_t PlanOffsets(const TTIFFEnv& env, const TTIFFEntry& entry, uint16_t countsTag);
    TSpan AddBlock(int64_t offset, int64_t length);

    TStream* FStream = nullptr;
    int64_t FBase = 0;
    int64_t FSize = 0;
    bool FIntel = true;
    bool FBig = false;
    int64_t FFirst = 0;
    int64_t FStructure = 0;
    std::vector<TPlannedDirectory> FDirectories;
    std::vector<TOffsetTable> FTables;
    std::map<std::array<uint64_t, 6>, size_t> FTableIndex; // by both entries' type, count, value
    std::map<int64_t, int64_t> FSubDirectories;            // offset -> index; -1 while being planned
    std::vector<TSpan> FBlocks;
    std::vector<TRun> FRuns;
};

bool TSourcePlan::Open(TStream& stream)
{
    FStream = &stream;
    FBase = stream.Position();
    FSize = std::max<int64_t>(stream.Size() - FBase, 0);
    TTIFFEnv env;
    if (!TIFFReadHeader(stream, env, FFirst)) {
        return false;
    }
    FIntel = env.Intel;
    FBig = env.Big;
    return true;
}

TTIFFEnv TSourcePlan::Env() const
{
    TTIFFEnv env;
    env.Stream = FStream;
    env.Intel = FIntel;
    env.Big = FBig;
    env.BaseOffset = FBase;
    return env;
}

std::vector<int64_t> TSourcePlan::Pages()
{
    TTIFFEnv env = Env();
    return TIFFChainOffsets(FFirst, env);
}

TSpan TSourcePlan::AddBlock(int64_t offset, int64_t length)
{
    TSpan block{offset, 0};
    if (offset >= 0 && offset < FSize && length > 0) {
        block.Length = std::min(length, FSize - offset);
        FBlocks.push_back(block);
    }
    return block;
}

size_t TSourcePlan::PlanOffsets(const TTIFFEnv& env, const TTIFFEntry& entry, uint16_t countsTag)
{
    const TTIFFEntry* counts = TIFFFindEntry(countsTag, env);
    const std::array<uint64_t, 6> key = {entry.Type,
                                         entry.Count,
                                         entry.Value,
                                         counts != nullptr ? counts->Type : uint64_t(0),
                                         counts != nullptr ? counts->Count : uint64_t(0),
                                         counts != nullptr ? counts->Value : uint64_t(0)};
    const auto known = FTableIndex.find(key);
    if (known != FTableIndex.end()) {
        return known->second;
    }
    FStructure +=
        int64_t(TIFFValueFieldBytes(env)) * (int64_t(entry.Count) + (counts != nullptr ? counts->Count : 0));
    TOffsetTable table;
    if (WithinBudget()) {
        std::vector<int64_t> offsets, lengths;
        TIFFReadArrayIntegers(env, offsets, entry.Tag);
        TIFFReadArrayIntegers(env, lengths, countsTag);
        for (size_t i = 0; i < offsets.size(); ++i) {
            table.Blocks.push_back(AddBlock(offsets[i], i < lengths.size() ? lengths[i] : 0));
        }
    }
    FTables.push_back(std::move(table));
    FTableIndex[key] = FTables.size() - 1;
    return FTables.size() - 1;
}

int64_t TSourcePlan::PlanSubDirectory(int64_t offset, int32_t depth)
{
    const auto known = FSubDirectories.find(offset);
    if (known != FSubDirectories.end()) {
        return known->second; // -1 for a directory that points back at one being planned
    }
    FSubDirectories[offset] = -1;
    const int64_t index = PlanDirectory(offset, depth);
    FSubDirectories[offset] = index;
    return index;
}

// Reads one directory and plans its entries; later duplicates of a tag are left out, as readers
// ignore them.
int64_t TSourcePlan::PlanDirectory(int64_t offset, int32_t depth)
{
    TTIFFEnv env = Env();
    if (!WithinBudget() || !TIFFReadSubIFD(offset, env)) {
        return -1;
    }
    // The entry count, the entries and the next pointer.
    FStructure += FBig ? 16 + 20 * int64_t(env.Entries.size()) : 6 + 12 * int64_t(env.Entries.size());
    TPlannedDirectory directory;
    directory.Entries.reserve(env.Entries.size());
    if (FBlocks.empty()) {
        FBlocks.reserve(env.Entries.size());
    }
    // Writers sort the entries by tag: then no tag repeats, and only another order needs the set.
    const bool ascending = std::adjacent_find(env.Entries.begin(), env.Entries.end(),
                                              [](const TTIFFEntry& a, const TTIFFEntry& b) {
                                                  return a.Tag >= b.Tag;
                                              }) == env.Entries.end();
    std::set<uint16_t> tags;
    for (const TTIFFEntry& entry : env.Entries) {
        if (!WithinBudget()) {
            return -1;
        }
        if (!ascending && !tags.insert(entry.Tag).second) {
            continue;
        }
        switch (entry.Tag) {
        case tagFreeOffsets:
        case tagFreeByteCounts:
        case tagSubIFDs:
            continue;
        case tagStripOffsets:
            directory.Entries.push_back({entry, ekOffsets, {}, PlanOffsets(env, entry, tagStripByteCounts)});
            continue;
        case tagTileOffsets:
            directory.Entries.push_back({entry, ekOffsets, {}, PlanOffsets(env, entry, tagTileByteCounts)});
            continue;
        case tagJPEGInterchangeFormat:
            FTables.push_back({{AddBlock(AsOffset(entry.Value),
                                         TIFFReadSingleValDef(env, tagJPEGInterchangeFormatLength, 0))}});
            directory.Entries.push_back({entry, ekOffsets, {}, FTables.size() - 1});
            continue;
        case tagExifIFD:
        case tagGPSIFD:
        case tagInteroperabilityIFD: {
            const int64_t sub = depth < MaxNesting ? PlanSubDirectory(AsOffset(entry.Value), depth + 1) : -1;
            if (sub >= 0) {
                directory.Entries.push_back({entry, ekDirectory, {}, size_t(sub)});
            }
            continue;
        }
        default:
            if (TIFFEntryBytes(entry) > TIFFValueFieldBytes(env)) {
                directory.Entries.push_back(
                    {entry, ekBlock, AddBlock(AsOffset(entry.Value), int64_t(TIFFEntryBytes(entry))), 0});
            } else {
                directory.Entries.push_back({entry, ekAsIs, {}, 0});
            }
            continue;
        }
    }
    if (!WithinBudget()) {
        return -1;
    }
    FDirectories.push_back(std::move(directory));
    return int64_t(FDirectories.size()) - 1;
}

int64_t TSourcePlan::MergeBlocks()
{
    std::sort(FBlocks.begin(), FBlocks.end(),
              [](const TSpan& a, const TSpan& b) { return a.Offset < b.Offset; });
    FRuns.clear();
    int64_t total = 0;
    for (const TSpan& block : FBlocks) {
        const int64_t end = block.Offset + block.Length;
        if (!FRuns.empty() && block.Offset <= FRuns.back().End) {
            total += std::max<int64_t>(end - FRuns.back().End, 0);
            FRuns.back().End = std::max(FRuns.back().End, end);
        } else {
            FRuns.push_back({block.Offset, end});
            total += block.Length;
        }
    }
    FBlocks.clear();
    FBlocks.shrink_to_fit();
    return total;
}

uint64_t TSourcePlan::Rebase(const TSpan& block) const
{
    auto run = std::upper_bound(FRuns.begin(), FRuns.end(), block.Offset,
                                [](int64_t offset, const TRun& r) { return offset < r.Start; });
    if (run == FRuns.begin() || block.Offset >= std::prev(run)->End) {
        return 0;
    }
    --run;
    return run->Output + uint64_t(block.Offset - run->Start);
}

// Writes the planned pages of one or two sources into an output TIFF of their byte order and
// form: the header, each source's runs of data, then the directories with their offset tables.
class TPageWriter
{
public:
    // Continues the file whose header is at base, linking the next page from the next-directory
    // pointer at lastPointer; what it writes goes where the output stands.
    TPageWriter(TStream& output, int64_t base, int64_t lastPointer, bool intel, bool big)
        : FOutput(output), FBase(base), FIntel(intel), FBig(big), FLastPointer(lastPointer)
    {
    }

    // Starts a file with its header at the output's position.
    TPageWriter(TStream& output, bool intel, bool big)
        : FOutput(output), FBase(output.Position()), FIntel(intel), FBig(big)
    {
        const uint8_t mark = intel ? 'I' : 'M';
        std::vector<uint8_t> header = {mark, mark};
        if (big) {
            Put16(header, 43);
            Put16(header, 8); // the size of its offsets
            Put16(header, 0);
        } else {
            Put16(header, 42);
        }
        PutOffset(header, 0);
        FOutput.WriteBuffer(header.data(), int64_t(header.size()));
        FLastPointer = FBase + int64_t(header.size()) - FieldBytes();
    }

    // Copies the source's runs; each keeps the parity of its source offset, so that values the
    // source stored on word boundaries stay on them.
    void CopyRuns(TSourcePlan& source)
    {
        std::vector<uint8_t> chunk;
        for (TSourcePlan::TRun& run : source.Runs()) {
            if ((OutputOffset() - run.Start) % 2 != 0) {
                const uint8_t zero = 0;
                FOutput.WriteBuffer(&zero, 1);
            }
            run.Output = uint64_t(OutputOffset());
            source.Stream().SetPosition(source.Base() + run.Start);
            chunk.resize(size_t(std::min(run.End - run.Start, CopyChunk)));
            for (int64_t left = run.End - run.Start; left > 0;) {
                const int64_t got = source.Stream().Read(chunk.data(), std::min(left, CopyChunk));
                if (got <= 0) {
                    break;
                }
                FOutput.WriteBuffer(chunk.data(), got);
                left -= got;
            }
        }
    }

    // Writes a planned page and links it after the last one.
    void WritePage(TSourcePlan& source, size_t directory)
    {
        const uint64_t at = WriteDirectory(source, directory, true);
        Patch(FLastPointer, at);
        FLastPointer = FOutput.Position() - FieldBytes();
    }

    // Position of the last next-directory pointer written, which holds 0.
    int64_t LastPointer() const { return FLastPointer; }

private:
    // Bytes of a value field, an offset and a next pointer.
    int64_t FieldBytes() const { return FBig ? 8 : 4; }

    // Stores the value in the output's byte order; returns the byte after it.
    uint8_t* StoreBytes(uint8_t* out, uint64_t value, int32_t size) const
    {
        for (int32_t i = 0; i < size; ++i) {
            out[i] = uint8_t(value >> (8 * (FIntel ? i : size - 1 - i)));
        }
        return out + size;
    }
    void PutBytes(std::vector<uint8_t>& out, uint64_t value, int32_t size) const
    {
        out.resize(out.size() + size_t(size));
        StoreBytes(out.data() + out.size() - size_t(size), value, size);
    }
    void Put16(std::vector<uint8_t>& out, uint64_t value) const { PutBytes(out, value, 2); }
    // An offset or a count of the output's form: 32 bits, or 64 in BigTIFF.
    void PutOffset(std::vector<uint8_t>& out, uint64_t value) const
    {
        PutBytes(out, value, int32_t(FieldBytes()));
    }

    void SetValueField(TTIFFEntry& entry, uint64_t value) const
    {
        std::fill(std::begin(entry.Inline), std::end(entry.Inline), uint8_t(0));
        StoreBytes(entry.Inline, value, int32_t(FieldBytes()));
    }

    void Patch(int64_t position, uint64_t value)
    {
        uint8_t bytes[8];
        StoreBytes(bytes, value, int32_t(FieldBytes()));
        const int64_t end = FOutput.Position();
        FOutput.SetPosition(position);
        FOutput.WriteBuffer(bytes, FieldBytes());
        FOutput.SetPosition(end);
    }

    int64_t OutputOffset() const { return FOutput.Position() - FBase; }

    void AlignOutput()
    {
        if (OutputOffset() % 2 != 0) {
            const uint8_t zero = 0;
            FOutput.WriteBuffer(&zero, 1);
        }
    }

    // An offset table as LONGs (LONG8s in BigTIFF): in the value field when there is one, else
    // written out once.
    void WriteOffsets(TSourcePlan& source, size_t index, TTIFFEntry& entry)
    {
        TOffsetTable& offsets = source.Table(index);
        entry.Type = FBig ? ttLONG8 : ttLONG;
        entry.Count = uint32_t(offsets.Blocks.size());
        if (offsets.Written != 0) {
            SetValueField(entry, offsets.Written);
            return;
        }
        if (offsets.Blocks.size() <= 1) {
            SetValueField(entry, offsets.Blocks.empty() ? 0 : source.Rebase(offsets.Blocks.front()));
            return;
        }
        std::vector<uint8_t> table;
        table.reserve(offsets.Blocks.size() * size_t(FieldBytes()));
        for (const TSpan& block : offsets.Blocks) {
            PutOffset(table, source.Rebase(block));
        }
        AlignOutput();
        offsets.Written = uint64_t(OutputOffset());
        SetValueField(entry, offsets.Written);
        FOutput.WriteBuffer(table.data(), int64_t(table.size()));
    }

    // Writes a directory after the sub-directories and tables it points to; a sub-directory that
    // several pages share is written once.
    uint64_t WriteDirectory(TSourcePlan& source, size_t index, bool isPage)
    {
        const TPlannedDirectory& directory = source.Directory(index);
        if (!isPage && directory.Written != 0) {
            return directory.Written;
        }
        // The directory's bytes are gathered while what its entries point to is written.
        const int32_t field = int32_t(FieldBytes());
        const int32_t countBytes = FBig ? 8 : 2;
        std::vector<uint8_t> bytes(
            size_t(countBytes + (4 + 2 * field) * int64_t(directory.Entries.size()) + field));
        uint8_t* out = StoreBytes(bytes.data(), directory.Entries.size(), countBytes);
        for (const TPlannedEntry& planned : directory.Entries) {
            TTIFFEntry entry = planned.Entry;
            switch (planned.Kind) {
            case ekAsIs:
                break;
            case ekBlock:
                SetValueField(entry, source.Rebase(planned.Block));
                break;
            case ekOffsets:
                WriteOffsets(source, planned.Index, entry);
                break;
            case ekDirectory:
                SetValueField(entry, WriteDirectory(source, planned.Index, false));
                break;
            }
            out = StoreBytes(out, entry.Tag, 2);
            out = StoreBytes(out, entry.Type, 2);
            out = StoreBytes(out, entry.Count, field);
            out = std::copy_n(entry.Inline, field, out);
        }
        StoreBytes(out, 0, field);
        AlignOutput();
        const uint64_t at = uint64_t(OutputOffset());
        FOutput.WriteBuffer(bytes.data(), int64_t(bytes.size()));
        if (!isPage) {
            source.Directory(index).Written = at;
        }
        return at;
    }

    TStream& FOutput;
    int64_t FBase;
    bool FIntel;
    bool FBig;
    int64_t FLastPointer;
};

// The pages of one source that an edit copies, in order.
struct TPick
{
    TSourcePlan* Source;
    size_t Directory;
};

// Plans the pages at the given directory offsets; false when the source is refused. Pages whose
// directory cannot be read are left out.
bool PlanPages(TSourcePlan& source, const std::vector<int64_t>& offsets, std::vector<TPick>& picks)
{
    for (const int64_t offset : offsets) {
        const int64_t index = source.PlanPage(offset);
        if (!source.WithinBudget()) {
            return false;
        }
        if (index >= 0) {
            picks.push_back({&source, size_t(index)});
        }
    }
    return true;
}

// Merges the sources' blocks; false when a classic output, holding `written` bytes already, could
// not keep its 32-bit offsets.
bool MergeAll(const std::vector<TSourcePlan*>& sources, int64_t written = 0)
{
    int64_t total = 16 + written;
    for (TSourcePlan* source : sources) {
        total += source->MergeBlocks() + int64_t(source->Runs().size()) + 2 * source->StructureBytes();
    }
    return sources.front()->Big() || total <= int64_t(UINT32_MAX);
}

// Writes the planned pages: the sources' data first, then the directories in order.
int64_t WritePages(TPageWriter& writer, const std::vector<TSourcePlan*>& sources,
                   const std::vector<TPick>& picks)
{
    for (TSourcePlan* source : sources) {
        writer.CopyRuns(*source);
    }
    for (const TPick& pick : picks) {
        writer.WritePage(*pick.Source, pick.Directory);
    }
    return writer.LastPointer();
}

// Writes the planned pages as a new file in the form of the first source.
int64_t WritePages(TStream& output, const std::vector<TSourcePlan*>& sources, const std::vector<TPick>& picks)
{
    TPageWriter writer(output, sources.front()->Intel(), sources.front()->Big());
    return WritePages(writer, sources, picks);
}

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
    const int64_t start = Stream.Position();
    TSourcePlan source;
    if (!source.Open(Stream)) {
        Stream.SetPosition(start);
        return 0;
    }
    const std::set<int32_t> deleted(Indexes, Indexes + std::max(Count, 0));
    const std::vector<int64_t> pages = source.Pages();
    std::vector<int64_t> kept;
    for (size_t i = 0; i < pages.size(); ++i) {
        if (deleted.count(int32_t(i)) == 0) {
            kept.push_back(pages[i]);
        }
    }
    std::vector<TPick> picks;
    if (!PlanPages(source, kept, picks) || !MergeAll({&source})) {
        Stream.SetPosition(start);
        return 0;
    }
    TMemoryStream output;
    WritePages(output, {&source}, picks);
    Stream.SetSize(start);
    Stream.SetPosition(start);
    Stream.WriteBuffer(output.Memory(), output.Size());
    return int32_t(kept.size());
}

void _ExtractTIFFImStream(TStream& Stream, int32_t Index, TStream& Output)
{
    TSourcePlan source;
    if (!source.Open(Stream)) {
        return;
    }
    const std::vector<int64_t> pages = source.Pages();
    std::vector<TPick> picks;
    if (Index < 0 || size_t(Index) >= pages.size() || !PlanPages(source, {pages[size_t(Index)]}, picks) ||
        !MergeAll({&source})) {
        return;
    }
    WritePages(Output, {&source}, picks);
}

int64_t _InsertTIFFImStream(TStream& Stream, TStream& ToInsert, int32_t Index, TStream& Output)
{
    TSourcePlan source, inserted;
    if (!source.Open(Stream) || !inserted.Open(ToInsert) || source.Intel() != inserted.Intel() ||
        source.Big() != inserted.Big()) {
        return -1;
    }
    const std::vector<int64_t> pages = source.Pages();
    const size_t at = Index < 0 ? 0 : std::min(size_t(Index), pages.size());
    std::vector<TPick> before, middle, after;
    if (!PlanPages(source, std::vector<int64_t>(pages.begin(), pages.begin() + ptrdiff_t(at)), before) ||
        !PlanPages(inserted, inserted.Pages(), middle) ||
        !PlanPages(source, std::vector<int64_t>(pages.begin() + ptrdiff_t(at), pages.end()), after) ||
        !MergeAll({&source, &inserted})) {
        return -1;
    }
    before.insert(before.end(), middle.begin(), middle.end());
    before.insert(before.end(), after.begin(), after.end());
    return WritePages(Output, {&source, &inserted}, before);
}

int64_t _AppendTIFFImStream(TStream& Stream, int64_t LastPointer, TStream& ToAppend)
{
    const int64_t base = Stream.Position();
    TTIFFEnv file;
    int64_t first = 0;
    TSourcePlan appended;
    std::vector<TPick> picks;
    const bool readable = TIFFReadHeader(Stream, file, first) && appended.Open(ToAppend);
    Stream.SetPosition(base);
    if (!readable || appended.Intel() != file.Intel || appended.Big() != file.Big ||
        !PlanPages(appended, appended.Pages(), picks) || !MergeAll({&appended}, Stream.Size() - base)) {
        return -1;
    }
    Stream.Seek(0, soEnd);
    TPageWriter writer(Stream, base, LastPointer, file.Intel, file.Big);
    return WritePages(writer, {&appended}, picks);
}

} // namespace Tiffilt
