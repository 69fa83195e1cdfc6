// Directory entries of the TIFF writer: values that fit stand in the entry, the others are
// written before the directory and the entry takes their offset. Files are little-endian.
#include "imaging/codecs/tiff/detail/tiff_entries.h"

#include "imaging/codecs/tiff/detail/nearest_fraction.h"
#include "imaging/core/stream_utils.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace Tiffilt::detail {

namespace {

// Little-endian stores; each returns the byte after the value.
uint8_t* Store16(uint8_t* out, uint32_t value)
{
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
    return out + 2;
}

uint8_t* Store32(uint8_t* out, uint32_t value)
{
    for (int32_t i = 0; i < 4; ++i) {
        out[i] = uint8_t(value >> (8 * i));
    }
    return out + 4;
}

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.resize(out.size() + 2);
    Store16(out.data() + out.size() - 2, value);
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    out.resize(out.size() + 4);
    Store32(out.data() + out.size() - 4, value);
}

constexpr uint32_t SignedTermMagnitude = uint32_t(1) << 31;

// The two's-complement terms of the signed fraction numerator / denominator (denominator > 0,
// terms up to 2^31 in magnitude). A term of 2^31 is held only as -2^31, and the other term's sign
// then gives the value its own: 2^31 is -2^31 / -1, -1 / 2^31 is 1 / -2^31.
std::pair<uint32_t, uint32_t> SignedTerms(int64_t numerator, uint32_t denominator)
{
    if (denominator == SignedTermMagnitude) {
        return {uint32_t(-numerator), denominator};
    }
    if (numerator == int64_t(SignedTermMagnitude)) {
        return {uint32_t(SignedTermMagnitude), uint32_t(-int64_t(denominator))};
    }
    return {uint32_t(numerator), denominator};
}

} // namespace

uint32_t TEntryWriter::Offset()
{
    const int64_t offset = FStream.Position() - FBase;
    if (offset < 0 || offset > std::numeric_limits<uint32_t>::max()) {
        FError = true;
        return 0;
    }
    return uint32_t(offset);
}

void TEntryWriter::PadToEven()
{
    if (((FStream.Position() - FBase) & 1) != 0) {
        const uint8_t zero = 0;
        Write(&zero, 1);
    }
}

void TEntryWriter::Write(const void* data, int64_t count)
{
    Daduvudez::SafeStreamWrite(&FStream, FError, data, count);
}

void TEntryWriter::Add(uint16_t tag, uint16_t type, uint32_t count, std::span<const uint8_t> data)
{
    TTIFFEntry entry;
    entry.Tag = tag;
    entry.Type = type;
    entry.Count = count;
    if (data.size() <= 4) {
        std::copy(data.begin(), data.end(), entry.Inline);
    } else {
        PadToEven();
        const uint32_t offset = Offset();
        Write(data.data(), int64_t(data.size()));
        for (int32_t i = 0; i < 4; ++i) {
            entry.Inline[i] = uint8_t(offset >> (8 * i));
        }
    }
    // A second entry of a tag replaces the first.
    FEntries.erase(
        std::remove_if(FEntries.begin(), FEntries.end(), [tag](const TTIFFEntry& e) { return e.Tag == tag; }),
        FEntries.end());
    FEntries.push_back(entry);
}

void TEntryWriter::Long(uint16_t tag, uint32_t value)
{
    uint8_t data[4];
    Store32(data, value);
    Add(tag, ttLONG, 1, data);
}

void TEntryWriter::Short(uint16_t tag, uint32_t value)
{
    uint8_t data[2];
    Store16(data, value);
    Add(tag, ttSHORT, 1, data);
}

void TEntryWriter::Integers(uint16_t tag, const std::vector<uint32_t>& values, bool forceLong)
{
    const bool asLong =
        forceLong || std::any_of(values.begin(), values.end(), [](uint32_t v) { return v > 0xFFFF; });
    FData.clear();
    for (const uint32_t value : values) {
        asLong ? Put32(FData, value) : Put16(FData, value);
    }
    Add(tag, asLong ? ttLONG : ttSHORT, uint32_t(values.size()), FData);
}

void TEntryWriter::Shorts(uint16_t tag, const std::vector<uint16_t>& values)
{
    FData.clear();
    for (const uint16_t value : values) {
        Put16(FData, value);
    }
    Add(tag, ttSHORT, uint32_t(values.size()), FData);
}

bool TEntryWriter::Rationals(uint16_t tag, std::span<const double> values, bool isSigned)
{
    // A signed term reaches 2^31 in magnitude, as -2^31.
    const uint32_t maxTerm = isSigned ? SignedTermMagnitude : std::numeric_limits<uint32_t>::max();
    FData.clear();
    for (const double value : values) {
        int64_t numerator = 0;
        uint32_t denominator = 1;
        if ((!isSigned && value < 0) || !StoredFraction(value, maxTerm, numerator, denominator)) {
            return false;
        }
        const auto [top, bottom] =
            isSigned ? SignedTerms(numerator, denominator) : std::pair(uint32_t(numerator), denominator);
        Put32(FData, top);
        Put32(FData, bottom);
    }
    Add(tag, isSigned ? ttSRATIONAL : ttRATIONAL, uint32_t(values.size()), FData);
    return true;
}

void TEntryWriter::Rational(uint16_t tag, uint32_t numerator, uint32_t denominator)
{
    uint8_t data[8];
    Store32(Store32(data, numerator), denominator);
    Add(tag, ttRATIONAL, 1, data);
}

void TEntryWriter::Ascii(uint16_t tag, const std::string& text)
{
    const size_t length = std::min(text.size(), text.find('\0'));
    if (length == 0) {
        return;
    }
    FData.assign(text.begin(), text.begin() + ptrdiff_t(length));
    FData.push_back(0);
    Add(tag, ttASCII, uint32_t(FData.size()), FData);
}

void TEntryWriter::Bytes(uint16_t tag, uint16_t type, const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty()) {
        Add(tag, type, uint32_t(bytes.size()), bytes);
    }
}

void TEntryWriter::LongBlock(uint16_t tag, const std::vector<uint8_t>& bytes)
{
    if (bytes.empty()) {
        return;
    }
    FData = bytes;
    FData.resize((FData.size() + 3) / 4 * 4, 0);
    Add(tag, ttLONG, uint32_t(FData.size() / 4), FData);
}

uint32_t TEntryWriter::WriteDirectory(uint32_t nextOffset)
{
    std::sort(FEntries.begin(), FEntries.end(),
              [](const TTIFFEntry& a, const TTIFFEntry& b) { return a.Tag < b.Tag; });
    PadToEven();
    const uint32_t offset = Offset();
    FData.resize(2 + 12 * FEntries.size() + 4);
    uint8_t* out = Store16(FData.data(), uint32_t(FEntries.size()));
    for (const TTIFFEntry& entry : FEntries) {
        out = Store16(out, entry.Tag);
        out = Store16(out, entry.Type);
        out = Store32(out, entry.Count);
        out = std::copy_n(entry.Inline, 4, out);
    }
    Store32(out, nextOffset);
    Write(FData.data(), int64_t(FData.size()));
    return offset;
}

} // namespace Tiffilt::detail
