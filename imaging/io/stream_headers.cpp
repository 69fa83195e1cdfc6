// The 12-byte headers that let several pictures follow one another in one stream: each carries
// the length of the data after it, so a reader can skip to the next one whatever the decoder read.
#include "imaging/io/detail/io_work.h"

#include <cstring>
#include <limits>

namespace Korvaneio::detail {

namespace {

constexpr size_t TagLength = 5; // four letters and a NUL

} // namespace

THeaderRead ReadStreamHeader(TStream& stream, const char* tag, int64_t& dataLength)
{
    const int64_t start = stream.Position();
    uint8_t header[StreamHeaderSize] = {};
    if (stream.Read(header, StreamHeaderSize) != StreamHeaderSize || std::memcmp(header, tag, 4) != 0 ||
        header[4] != 0) {
        stream.SetPosition(start);
        return THeaderRead::None;
    }
    const int32_t length = static_cast<int32_t>(uint32_t(header[8]) | uint32_t(header[9]) << 8 |
                                                uint32_t(header[10]) << 16 | uint32_t(header[11]) << 24);
    dataLength = length;
    if (length < 0 || start + StreamHeaderSize + length > stream.Size()) {
        return THeaderRead::Corrupt;
    }
    return THeaderRead::Found;
}

int64_t BeginStreamHeader(TStream& stream)
{
    const int64_t start = stream.Position();
    const uint8_t placeholder[StreamHeaderSize] = {};
    stream.WriteBuffer(placeholder, StreamHeaderSize);
    return start;
}

bool EndStreamHeader(TStream& stream, int64_t start, const char* tag)
{
    const int64_t end = stream.Position();
    const int64_t length = end - start - StreamHeaderSize;
    if (length > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    uint8_t header[StreamHeaderSize] = {};
    std::memcpy(header, tag, TagLength - 1);
    for (int i = 0; i < 4; ++i) {
        header[8 + i] = static_cast<uint8_t>(uint64_t(length) >> (8 * i));
    }
    stream.SetPosition(start);
    stream.WriteBuffer(header, StreamHeaderSize);
    stream.SetPosition(end);
    return true;
}

} // namespace Korvaneio::detail
