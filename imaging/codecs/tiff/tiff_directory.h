// TIFF image file directories: the open-directory record TTIFFEnv, the directory walk and the
// typed readers of one tag's values, in either byte order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream;

// TIFF field types.
enum TTIFFFieldType : uint16_t
{
    ttBYTE = 1,
    ttASCII = 2,
    ttSHORT = 3,
    ttLONG = 4,
    ttRATIONAL = 5,
    ttSBYTE = 6,
    ttUNDEFINED = 7,
    ttSSHORT = 8,
    ttSLONG = 9,
    ttSRATIONAL = 10,
    ttFLOAT = 11,
    ttDOUBLE = 12,
    ttIFD = 13,
    // BigTIFF's 64-bit integers and offsets.
    ttLONG8 = 16,
    ttSLONG8 = 17,
    ttIFD8 = 18
};

// One directory entry. Count is cut to what the stream holds; Value is the value field read as
// a LONG (a LONG8 in BigTIFF) in the file's byte order, the data's offset when it does not fit
// in the field, and Inline keeps the field's 4 bytes (8 in BigTIFF) as stored.
struct TTIFFEntry
{
    uint16_t Tag = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint64_t Value = 0;
    uint8_t Inline[8] = {};
};

// An open directory: the file's byte order and form, the stream, the entries of the loaded
// directory and the base offset that every offset of the file is taken from (where the TIFF
// header starts).
struct TTIFFEnv
{
    bool Intel = true; // "II"
    bool Big = false;  // BigTIFF: 64-bit offsets and counts, 20-byte entries
    TStream* Stream = nullptr;
    std::vector<TTIFFEntry> Entries;
    int64_t BaseOffset = 0;
};

namespace Tiffilt {

// The most directories a walk visits; a chain longer than this ends there.
constexpr int32_t TIFFMaxPages = 100000;

// Bytes the stream holds from the file offset on (taken from the base offset); 0 when the offset
// lies outside, however large.
int64_t TIFFBytesFrom(const TTIFFEnv& Env, int64_t Offset);
// Bytes of one value of a field type; 0 for a type this reader does not know.
int32_t TIFFTypeSize(uint16_t type);
// Bytes of an entry's data; it stands in the value field when it is 4 or less (8 in BigTIFF).
uint64_t TIFFEntryBytes(const TTIFFEntry& entry);
// Bytes of the value field: 4, or 8 in BigTIFF.
inline uint64_t TIFFValueFieldBytes(const TTIFFEnv& env)
{
    return env.Big ? 8 : 4;
}

uint16_t TIFFSwap16(uint16_t value, bool swap);
uint32_t TIFFSwap32(uint32_t value, bool swap);

// Reads the header at the stream's position (8 bytes, 16 for BigTIFF): the byte order and form
// into Env, the offset of the first directory into FirstOffset. False for an unknown byte-order
// mark or a BigTIFF header that is not of the plain form (8-byte offsets).
bool TIFFReadHeader(TStream& Stream, TTIFFEnv& Env, int64_t& FirstOffset);
// Reads the header at the stream's position, which becomes the base offset, and loads the
// directory of page PageIndex. False for an unknown header or a page not found.
bool TIFFLoadTags(TStream& Stream, int32_t& PageCount, int32_t PageIndex, TTIFFEnv& Env);
void TIFFFreeTags(TTIFFEnv& Env);
// Walks the directory chain from FirstOffset, loading the entries of page PageIndex (-1: none)
// and counting the pages. A chain that returns to a directory already visited ends there.
bool TIFFReadIFD(int32_t PageIndex, int64_t FirstOffset, TTIFFEnv& Env, int32_t& PageCount);
// The offsets of the directories that TIFFReadIFD counts, in the chain's order.
std::vector<int64_t> TIFFChainOffsets(int64_t FirstOffset, TTIFFEnv& Env);
// Loads the single directory at Offset (a sub-directory such as the EXIF one); an offset of 0
// or outside the stream leaves the directory empty.
bool TIFFReadSubIFD(int64_t Offset, TTIFFEnv& Env);

int32_t TIFFFindTAG(uint16_t Tag, const TTIFFEnv& Env);
const TTIFFEntry* TIFFFindEntry(uint16_t Tag, const TTIFFEnv& Env);
// The entry's value count, 0 when absent.
int32_t TIFFGetDataLength(const TTIFFEnv& Env, uint16_t Tag);

// The index-th value of an integer entry (BYTE, SHORT, LONG, LONG8, their signed forms,
// UNDEFINED, IFD, IFD8); false for another type or an index past the values.
bool TIFFEntryInteger(const TTIFFEnv& Env, const TTIFFEntry& Entry, uint32_t Index, int64_t& Value);
// The index-th value as a number: rationals (RATIONAL unsigned, SRATIONAL signed, a zero
// denominator taken as 1), floats and integers.
bool TIFFEntryNumber(const TTIFFEnv& Env, const TTIFFEntry& Entry, uint32_t Index, double& Value);
// Bytes [Start, Start + Count) of the entry's data; false when they are not all there.
bool TIFFEntryBytesAt(const TTIFFEnv& Env, const TTIFFEntry& Entry, uint64_t Start, void* Buffer,
                      uint64_t Count);

int64_t TIFFReadSingleValDef(const TTIFFEnv& Env, uint16_t Tag, int64_t Default);
double TIFFReadSingleRational(const TTIFFEnv& Env, uint16_t Tag);
double TIFFReadRationalIndex(const TTIFFEnv& Env, uint16_t Tag, int32_t Index);
int64_t TIFFReadIndexValN(const TTIFFEnv& Env, uint16_t Tag, int32_t Index);
// Every integer value of the tag; 0 and Values untouched when the tag is absent.
int32_t TIFFReadArrayIntegers(const TTIFFEnv& Env, std::vector<int64_t>& Values, uint16_t Tag);
// The entry's data (count x type size bytes); empty when absent.
std::vector<uint8_t> TIFFReadRawData(const TTIFFEnv& Env, uint16_t Tag);
// The text up to its first NUL, wherever it is stored; empty when absent.
void TIFFReadString(const TTIFFEnv& Env, uint16_t Tag, std::string& Text);
// A value of at most 4 bytes (ExifVersion, FlashPixVersion) as stored.
void TIFFReadMiniString(const TTIFFEnv& Env, uint16_t Tag, std::string& Text);

} // namespace Tiffilt
