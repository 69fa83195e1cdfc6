// Byte-level helpers shared by the GIF reader, writer and frame editing: little-endian fields,
// colour tables and data sub-blocks over a stream.
#pragma once

#include "imaging/core/types.h"

#include <array>
#include <cstdint>
#include <string>

class TStream;
struct TProgressRec;

namespace Giffilter::detail {

constexpr uint8_t ExtensionIntroducer = 0x21;
constexpr uint8_t ImageSeparator = 0x2C;
constexpr uint8_t Trailer = 0x3B;
constexpr uint8_t GraphicControlLabel = 0xF9;
constexpr uint8_t CommentLabel = 0xFE;
constexpr uint8_t ApplicationLabel = 0xFF;

// Palette indexes are bytes: every table is held as 256 entries, black past the file's own, so
// that an index beyond the table reads black instead of past it.
using ColourTable = std::array<TRGB, 256>;

struct ScreenDescriptor
{
    char Signature[6];
    uint16_t Width, Height;
    uint8_t Packed, Background, Aspect;
    bool HasGlobalTable() const { return Packed & 0x80; }
    int32_t GlobalTableBits() const { return (Packed & 7) + 1; }
};

struct ImageDescriptor
{
    uint16_t Left, Top, Width, Height;
    uint8_t Packed;
    bool HasLocalTable() const { return Packed & 0x80; }
    bool Interlaced() const { return Packed & 0x40; }
    int32_t LocalTableBits() const { return (Packed & 7) + 1; }
};

bool ReadByte(TStream& stream, uint8_t& value);
bool ReadScreenDescriptor(TStream& stream, ScreenDescriptor& screen);
bool ReadImageDescriptor(TStream& stream, ImageDescriptor& image);
// Reads 1 << bits entries of red, green, blue into table; false when the stream ends early.
bool ReadColourTable(TStream& stream, int32_t bits, ColourTable& table);
// Skips data sub-blocks up to the terminator or the end of the stream.
void SkipSubBlocks(TStream& stream);
// Reads data sub-blocks up to the terminator, appending their bytes to text.
void ReadSubBlocks(TStream& stream, std::string& text);
// Copies data sub-blocks with their terminator; false when the source ends first (the copy then
// ends where the source does).
bool CopySubBlocks(TStream& source, TStream& dest, bool& aborting);

void Put(TStream& stream, bool& aborting, const void* buffer, int64_t count);
void PutByte(TStream& stream, bool& aborting, uint8_t value);
void PutWord(TStream& stream, bool& aborting, uint16_t value);

void Report(TProgressRec& progress, int32_t percent);

} // namespace Giffilter::detail
