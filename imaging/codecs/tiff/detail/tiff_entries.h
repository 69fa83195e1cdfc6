// The directory entries of a TIFF page being written: each maker writes the entry's data at the
// stream's position when it does not fit in the entry, and the list is written sorted by tag.
#pragma once

#include "imaging/codecs/tiff/tiff_directory.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class TStream;

namespace Tiffilt::detail {

class TEntryWriter
{
public:
    // Offsets are written relative to base, the position of the TIFF header.
    TEntryWriter(TStream& stream, int64_t base, bool& error) : FStream(stream), FBase(base), FError(error)
    {
        FEntries.reserve(TypicalEntries);
    }

    void Long(uint16_t tag, uint32_t value);
    void Short(uint16_t tag, uint32_t value);
    // SHORT when every value fits, else LONG.
    void Integers(uint16_t tag, const std::vector<uint32_t>& values, bool forceLong = false);
    void Shorts(uint16_t tag, const std::vector<uint16_t>& values);
    // Each value as the fraction of terms that fit the type that gives it back (StoredFraction):
    // terms of 0 .. 2^32 - 1 for a RATIONAL, of -2^31 .. 2^31 - 1 for an SRATIONAL. Nothing, and
    // false, when a value does not fit, or is negative for a RATIONAL.
    bool Rationals(uint16_t tag, std::span<const double> values, bool isSigned = false);
    void Rational(uint16_t tag, uint32_t numerator, uint32_t denominator);
    // Text up to its first NUL and one NUL; nothing for an empty text.
    void Ascii(uint16_t tag, const std::string& text);
    // Bytes of a field type of 1-byte values; inline when 4 or less. Nothing for no bytes.
    void Bytes(uint16_t tag, uint16_t type, const std::vector<uint8_t>& bytes);
    // A LONG array of the data padded to whole LONGs (the IPTC block).
    void LongBlock(uint16_t tag, const std::vector<uint8_t>& bytes);

    bool Empty() const { return FEntries.empty(); }
    // Writes the directory at the stream's position (made even): entry count, the entries by
    // ascending tag and the next-directory offset. Returns the directory's offset.
    uint32_t WriteDirectory(uint32_t nextOffset);

    // The current position as an offset from the base; sets the error flag when it does not fit.
    uint32_t Offset();
    void PadToEven();
    void Write(const void* data, int64_t count);

private:
    // A page's directory holds about twenty entries; one allocation takes them all.
    static constexpr size_t TypicalEntries = 32;

    void Add(uint16_t tag, uint16_t type, uint32_t count, std::span<const uint8_t> data);

    TStream& FStream;
    int64_t FBase;
    bool& FError;
    std::vector<TTIFFEntry> FEntries;
    // The bytes of the value being added, or of the directory; kept, so that one allocation
    // serves the page.
    std::vector<uint8_t> FData;
};

} // namespace Tiffilt::detail
