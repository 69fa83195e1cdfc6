// TIFF directory walk and tag access. Every count and offset that the file gives is checked
// against the stream before it is used: a count that asks for more data than the stream holds is
// cut to what is there, and a chain of directories that loops ends where it returns.
#include "imaging/codecs/tiff/tiff_directory.h"

#include "imaging/core/bit_utils.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <unordered_set>

namespace Tiffilt {

namespace {

constexpr uint16_t MarkIntel = 0x4949;
constexpr uint16_t MarkMotorola = 0x4D4D;
constexpr uint16_t VersionBig = 43;

// Sizes of a directory's parts in classic TIFF and in BigTIFF.
int64_t EntrySize(const TTIFFEnv& env)
{
    return env.Big ? 20 : 12;
}

int64_t CountSize(const TTIFFEnv& env)
{
    return env.Big ? 8 : 2;
}

int64_t OffsetSize(const TTIFFEnv& env)
{
    return env.Big ? 8 : 4;
}

uint16_t Get16(const uint8_t* p, bool intel)
{
    return intel ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
}

uint32_t Get32(const uint8_t* p, bool intel)
{
    return intel ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
                 : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint64_t Get64(const uint8_t* p, bool intel)
{
    const uint64_t first = Get32(p, intel);
    const uint64_t second = Get32(p + 4, intel);
    return intel ? second << 32 | first : first << 32 | second;
}

// A count or an offset of the directory's form: 16 or 32 bits, or 64 in BigTIFF.
uint64_t GetCount(const TTIFFEnv& env, const uint8_t* p)
{
    return env.Big ? Get64(p, env.Intel) : Get16(p, env.Intel);
}

uint64_t GetOffset(const TTIFFEnv& env, const uint8_t* p)
{
    return env.Big ? Get64(p, env.Intel) : Get32(p, env.Intel);
}

bool ReadAt(TStream& stream, int64_t position, void* buffer, int64_t count)
{
    if (position < 0) {
        return false;
    }
    stream.SetPosition(position);
    return stream.Read(buffer, count) == count;
}

// Parses count entries; entries of an unknown type are dropped, counts of out-of-line data are
// cut to what the stream holds.
void ParseEntries(TTIFFEnv& env, const std::vector<uint8_t>& bytes, int64_t count)
{
    env.Entries.clear();
    env.Entries.reserve(static_cast<size_t>(count));
    const int64_t field = int64_t(TIFFValueFieldBytes(env));
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* p = bytes.data() + i * EntrySize(env);
        TTIFFEntry entry;
        entry.Tag = Get16(p, env.Intel);
        entry.Type = Get16(p + 2, env.Intel);
        const uint64_t fileCount = env.Big ? Get64(p + 4, env.Intel) : Get32(p + 4, env.Intel);
        const uint8_t* value = p + 4 + (env.Big ? 8 : 4);
        entry.Value = GetOffset(env, value);
        std::memcpy(entry.Inline, value, size_t(field));
        const int32_t typeSize = TIFFTypeSize(entry.Type);
        if (typeSize == 0) {
            continue;
        }
        // Data that does not fit in the field counts only as far as the stream holds it.
        uint64_t kept = std::min<uint64_t>(fileCount, UINT32_MAX);
        if (fileCount * uint64_t(typeSize) > uint64_t(field) || fileCount > UINT32_MAX) {
            const int64_t available =
                entry.Value <= uint64_t(INT64_MAX) ? TIFFBytesFrom(env, int64_t(entry.Value)) : 0;
            kept = std::min<uint64_t>(kept, uint64_t(available) / typeSize);
        }
        entry.Count = static_cast<uint32_t>(kept);
        env.Entries.push_back(entry);
    }
}

// Integer types, of up to 8 bytes.
bool IsIntegerType(uint16_t type)
{
    return type != ttASCII && type != ttFLOAT && type != ttRATIONAL && type != ttSRATIONAL &&
           type != ttDOUBLE && TIFFTypeSize(type) > 0;
}

// Reads the directory at offset: its entries when load is set. Returns the offset of the next
// directory, or -1 when the directory is cut off before its next pointer.
int64_t ReadDirectory(TTIFFEnv& env, int64_t offset, bool load, bool& loaded)
{
    TStream& stream = *env.Stream;
    uint8_t countBytes[8];
    if (!ReadAt(stream, env.BaseOffset + offset, countBytes, CountSize(env))) {
        return -1;
    }
    const int64_t entriesStart = env.BaseOffset + offset + CountSize(env);
    const int64_t available = std::max<int64_t>(stream.Size() - entriesStart, 0);
    // A BigTIFF count may be far past the file: only entries the stream holds are read.
    const uint64_t count = GetCount(env, countBytes);
    const int64_t whole = int64_t(std::min<uint64_t>(count, uint64_t(available / EntrySize(env))));
    if (load) {
        std::vector<uint8_t> bytes(static_cast<size_t>(whole * EntrySize(env)));
        if (stream.Read(bytes.data(), whole * EntrySize(env)) == whole * EntrySize(env)) {
            ParseEntries(env, bytes, whole);
            loaded = true;
        }
    }
    if (uint64_t(whole) < count || whole * EntrySize(env) + OffsetSize(env) > available) {
        return -1;
    }
    uint8_t next[8];
    if (!ReadAt(stream, entriesStart + whole * EntrySize(env), next, OffsetSize(env))) {
        return -1;
    }
    const uint64_t nextOffset = GetOffset(env, next);
    return nextOffset <= uint64_t(INT64_MAX) ? int64_t(nextOffset) : 0;
}

// A directory offset that the stream holds, else 0, which ends the chain.
int64_t DirectoryOffset(const TTIFFEnv& env, int64_t offset)
{
    return offset < TIFFBytesFrom(env, 0) ? offset : 0;
}

// Walks the directory chain from first, loading the entries of directory loadIndex (-1: none);
// offsets, when given, receives the offset of each directory counted. Returns the count.
int32_t WalkChain(TTIFFEnv& env, int64_t first, int32_t loadIndex, bool& found, std::vector<int64_t>* offsets)
{
    int32_t count = 0;
    found = false;
    std::unordered_set<int64_t> visited;
    int64_t offset = DirectoryOffset(env, first);
    while (offset > 0 && count < TIFFMaxPages && visited.insert(offset).second) {
        bool loaded = false;
        const int64_t next = ReadDirectory(env, offset, count == loadIndex, loaded);
        found = found || loaded;
        if (next < 0) {
            break; // cut off: this directory is not counted
        }
        if (offsets != nullptr) {
            offsets->push_back(offset);
        }
        ++count;
        offset = DirectoryOffset(env, next);
    }
    return count;
}

} // namespace

int64_t TIFFBytesFrom(const TTIFFEnv& Env, int64_t Offset)
{
    const int64_t size = Env.Stream->Size();
    if (Offset < 0 || Env.BaseOffset < 0 || Env.BaseOffset > size || Offset > size - Env.BaseOffset) {
        return 0;
    }
    return size - Env.BaseOffset - Offset;
}

int32_t TIFFTypeSize(uint16_t type)
{
    switch (type) {
    case ttBYTE:
    case ttASCII:
    case ttSBYTE:
    case ttUNDEFINED:
        return 1;
    case ttSHORT:
    case ttSSHORT:
        return 2;
    case ttLONG:
    case ttSLONG:
    case ttFLOAT:
    case ttIFD:
        return 4;
    case ttRATIONAL:
    case ttSRATIONAL:
    case ttDOUBLE:
    case ttLONG8:
    case ttSLONG8:
    case ttIFD8:
        return 8;
    default:
        return 0;
    }
}

uint64_t TIFFEntryBytes(const TTIFFEntry& entry)
{
    return uint64_t(entry.Count) * uint64_t(TIFFTypeSize(entry.Type));
}

uint16_t TIFFSwap16(uint16_t value, bool swap)
{
    return swap ? Daduvudez::KVSwapWord(value) : value;
}

uint32_t TIFFSwap32(uint32_t value, bool swap)
{
    return swap ? Daduvudez::KVSwapDWord(value) : value;
}

bool TIFFReadHeader(TStream& Stream, TTIFFEnv& Env, int64_t& FirstOffset)
{
    FirstOffset = 0;
    uint8_t header[16];
    if (Stream.Read(header, 8) != 8) {
        return false;
    }
    const uint16_t mark = uint16_t(header[0] | header[1] << 8);
    if (mark != MarkIntel && mark != MarkMotorola) {
        return false;
    }
    Env.Intel = mark == MarkIntel;
    Env.Big = Get16(header + 2, Env.Intel) == VersionBig;
    if (!Env.Big) {
        FirstOffset = Get32(header + 4, Env.Intel);
        return true;
    }
    // BigTIFF: the size of its offsets (8), a reserved 0, and a 64-bit first offset.
    if (Get16(header + 4, Env.Intel) != 8 || Get16(header + 6, Env.Intel) != 0 ||
        Stream.Read(header + 8, 8) != 8) {
        return false;
    }
    const uint64_t first = Get64(header + 8, Env.Intel);
    FirstOffset = first <= uint64_t(INT64_MAX) ? int64_t(first) : 0;
    return true;
}

bool TIFFLoadTags(TStream& Stream, int32_t& PageCount, int32_t PageIndex, TTIFFEnv& Env)
{
    PageCount = 0;
    Env.Entries.clear();
    Env.Stream = &Stream;
    Env.BaseOffset = Stream.Position();
    int64_t first = 0;
    if (!TIFFReadHeader(Stream, Env, first) || first == 0) {
        return false;
    }
    return TIFFReadIFD(PageIndex, first, Env, PageCount);
}

void TIFFFreeTags(TTIFFEnv& Env)
{
    Env.Entries.clear();
    Env.Entries.shrink_to_fit();
}

bool TIFFReadIFD(int32_t PageIndex, int64_t FirstOffset, TTIFFEnv& Env, int32_t& PageCount)
{
    Env.Entries.clear();
    bool found = false;
    PageCount = WalkChain(Env, FirstOffset, PageIndex, found, nullptr);
    return found;
}

std::vector<int64_t> TIFFChainOffsets(int64_t FirstOffset, TTIFFEnv& Env)
{
    std::vector<int64_t> offsets;
    bool found = false;
    WalkChain(Env, FirstOffset, -1, found, &offsets);
    return offsets;
}

bool TIFFReadSubIFD(int64_t Offset, TTIFFEnv& Env)
{
    Env.Entries.clear();
    if (Offset <= 0 || Offset >= TIFFBytesFrom(Env, 0)) {
        return false;
    }
    bool loaded = false;
    ReadDirectory(Env, Offset, true, loaded);
    return loaded;
}

int32_t TIFFFindTAG(uint16_t Tag, const TTIFFEnv& Env)
{
    for (size_t i = 0; i < Env.Entries.size(); ++i) {
        if (Env.Entries[i].Tag == Tag) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

const TTIFFEntry* TIFFFindEntry(uint16_t Tag, const TTIFFEnv& Env)
{
    const int32_t index = TIFFFindTAG(Tag, Env);
    return index >= 0 ? &Env.Entries[static_cast<size_t>(index)] : nullptr;
}

int32_t TIFFGetDataLength(const TTIFFEnv& Env, uint16_t Tag)
{
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    return entry != nullptr ? static_cast<int32_t>(std::min<uint32_t>(entry->Count, INT32_MAX)) : 0;
}

bool TIFFEntryBytesAt(const TTIFFEnv& Env, const TTIFFEntry& Entry, uint64_t Start, void* Buffer,
                      uint64_t Count)
{
    const uint64_t total = TIFFEntryBytes(Entry);
    if (Start > total || Count > total - Start) {
        return false;
    }
    if (Count == 0) {
        return true;
    }
    if (total <= TIFFValueFieldBytes(Env)) {
        std::memcpy(Buffer, Entry.Inline + Start, static_cast<size_t>(Count));
        return true;
    }
    if (Entry.Value > uint64_t(INT64_MAX - int64_t(Start)) ||
        TIFFBytesFrom(Env, int64_t(Entry.Value + Start)) < int64_t(Count)) {
        return false;
    }
    return ReadAt(*Env.Stream, Env.BaseOffset + Entry.Value + int64_t(Start), Buffer, int64_t(Count));
}

bool TIFFEntryInteger(const TTIFFEnv& Env, const TTIFFEntry& Entry, uint32_t Index, int64_t& Value)
{
    const int32_t size = TIFFTypeSize(Entry.Type);
    uint8_t bytes[8];
    if (Index >= Entry.Count || !IsIntegerType(Entry.Type) ||
        !TIFFEntryBytesAt(Env, Entry, uint64_t(Index) * size, bytes, size)) {
        return false;
    }
    switch (Entry.Type) {
    case ttBYTE:
    case ttUNDEFINED:
        Value = bytes[0];
        return true;
    case ttSBYTE:
        Value = int8_t(bytes[0]);
        return true;
    case ttSHORT:
        Value = Get16(bytes, Env.Intel);
        return true;
    case ttSSHORT:
        Value = int16_t(Get16(bytes, Env.Intel));
        return true;
    case ttSLONG:
        Value = int32_t(Get32(bytes, Env.Intel));
        return true;
    case ttLONG8:
    case ttSLONG8:
    case ttIFD8:
        Value = int64_t(Get64(bytes, Env.Intel));
        return true;
    default: // LONG, IFD
        Value = Get32(bytes, Env.Intel);
        return true;
    }
}

bool TIFFEntryNumber(const TTIFFEnv& Env, const TTIFFEntry& Entry, uint32_t Index, double& Value)
{
    const int32_t size = TIFFTypeSize(Entry.Type);
    uint8_t bytes[8];
    if (Entry.Type != ttRATIONAL && Entry.Type != ttSRATIONAL && Entry.Type != ttFLOAT &&
        Entry.Type != ttDOUBLE) {
        int64_t integer = 0;
        if (!TIFFEntryInteger(Env, Entry, Index, integer)) {
            return false;
        }
        Value = static_cast<double>(integer);
        return true;
    }
    if (Index >= Entry.Count || !TIFFEntryBytesAt(Env, Entry, uint64_t(Index) * size, bytes, size)) {
        return false;
    }
    switch (Entry.Type) {
    case ttRATIONAL: {
        const uint32_t denominator = Get32(bytes + 4, Env.Intel);
        Value = double(Get32(bytes, Env.Intel)) / double(denominator != 0 ? denominator : 1);
        return true;
    }
    case ttSRATIONAL: {
        const int32_t denominator = int32_t(Get32(bytes + 4, Env.Intel));
        Value = double(int32_t(Get32(bytes, Env.Intel))) / double(denominator != 0 ? denominator : 1);
        return true;
    }
    case ttFLOAT: {
        const uint32_t raw = Get32(bytes, Env.Intel);
        float f;
        std::memcpy(&f, &raw, 4);
        Value = f;
        return true;
    }
    default: {
        const uint64_t high = Get32(bytes + (Env.Intel ? 4 : 0), Env.Intel);
        const uint64_t raw = high << 32 | Get32(bytes + (Env.Intel ? 0 : 4), Env.Intel);
        std::memcpy(&Value, &raw, 8);
        return true;
    }
    }
}

int64_t TIFFReadSingleValDef(const TTIFFEnv& Env, uint16_t Tag, int64_t Default)
{
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    int64_t value = 0;
    return entry != nullptr && TIFFEntryInteger(Env, *entry, 0, value) ? value : Default;
}

double TIFFReadSingleRational(const TTIFFEnv& Env, uint16_t Tag)
{
    return TIFFReadRationalIndex(Env, Tag, 0);
}

double TIFFReadRationalIndex(const TTIFFEnv& Env, uint16_t Tag, int32_t Index)
{
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    double value = 0;
    return entry != nullptr && Index >= 0 && TIFFEntryNumber(Env, *entry, uint32_t(Index), value) ? value
                                                                                                  : 0.0;
}

int64_t TIFFReadIndexValN(const TTIFFEnv& Env, uint16_t Tag, int32_t Index)
{
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    int64_t value = 0;
    return entry != nullptr && Index >= 0 && TIFFEntryInteger(Env, *entry, uint32_t(Index), value) ? value
                                                                                                   : 0;
}

int32_t TIFFReadArrayIntegers(const TTIFFEnv& Env, std::vector<int64_t>& Values, uint16_t Tag)
{
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    const int32_t size = entry != nullptr ? TIFFTypeSize(entry->Type) : 0;
    if (entry == nullptr || !IsIntegerType(entry->Type)) {
        return 0;
    }
    // One read for the whole table, which can hold many thousand strip offsets.
    std::vector<uint8_t> bytes(static_cast<size_t>(TIFFEntryBytes(*entry)));
    if (!TIFFEntryBytesAt(Env, *entry, 0, bytes.data(), bytes.size())) {
        return 0;
    }
    Values.assign(entry->Count, 0);
    for (uint32_t i = 0; i < entry->Count; ++i) {
        const uint8_t* p = bytes.data() + size_t(i) * size;
        switch (entry->Type) {
        case ttSHORT:
            Values[i] = Get16(p, Env.Intel);
            break;
        case ttSSHORT:
            Values[i] = int16_t(Get16(p, Env.Intel));
            break;
        case ttSLONG:
            Values[i] = int32_t(Get32(p, Env.Intel));
            break;
        case ttLONG:
        case ttIFD:
            Values[i] = Get32(p, Env.Intel);
            break;
        case ttLONG8:
        case ttSLONG8:
        case ttIFD8:
            Values[i] = int64_t(Get64(p, Env.Intel));
            break;
        case ttSBYTE:
            Values[i] = int8_t(*p);
            break;
        default:
            Values[i] = *p;
            break;
        }
    }
    return static_cast<int32_t>(entry->Count);
}

std::vector<uint8_t> TIFFReadRawData(const TTIFFEnv& Env, uint16_t Tag)
{
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    if (entry == nullptr) {
        return {};
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(TIFFEntryBytes(*entry)));
    if (!TIFFEntryBytesAt(Env, *entry, 0, bytes.data(), bytes.size())) {
        return {};
    }
    return bytes;
}

void TIFFReadString(const TTIFFEnv& Env, uint16_t Tag, std::string& Text)
{
    const std::vector<uint8_t> bytes = TIFFReadRawData(Env, Tag);
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
    Text.assign(bytes.begin(), end);
}

void TIFFReadMiniString(const TTIFFEnv& Env, uint16_t Tag, std::string& Text)
{
    Text.clear();
    const TTIFFEntry* entry = TIFFFindEntry(Tag, Env);
    if (entry == nullptr) {
        return;
    }
    const uint64_t length = std::min<uint64_t>(TIFFEntryBytes(*entry), 4);
    char bytes[4];
    if (TIFFEntryBytesAt(Env, *entry, 0, bytes, length)) {
        Text.assign(bytes, static_cast<size_t>(length));
    }
}

} // namespace Tiffilt
