// Little-endian fields of the library's own stream formats, read with a check of what is left.
#pragma once

#include "platform/core/streams.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace KVLEStream {

inline int64_t BytesLeft(TStream& stream)
{
    const int64_t left = stream.Size() - stream.Position();
    return left > 0 ? left : 0;
}

inline bool ReadBytes(TStream& stream, void* buffer, int64_t count)
{
    return count <= 0 || stream.Read(buffer, count) == count;
}

inline bool ReadU8(TStream& stream, uint8_t& value)
{
    return ReadBytes(stream, &value, 1);
}

inline bool ReadI32(TStream& stream, int32_t& value)
{
    uint8_t b[4];
    if (!ReadBytes(stream, b, 4)) {
        return false;
    }
    value = static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                 uint32_t(b[3]) << 24);
    return true;
}

inline bool ReadF64(TStream& stream, double& value)
{
    uint8_t b[8];
    if (!ReadBytes(stream, b, 8)) {
        return false;
    }
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | b[i];
    }
    std::memcpy(&value, &bits, 8);
    return true;
}

// An int32 length and that many bytes; a negative length or one beyond the stream's end fails
// before anything is allocated.
inline bool ReadString(TStream& stream, std::string& value)
{
    int32_t length = 0;
    if (!ReadI32(stream, length) || length < 0 || length > BytesLeft(stream)) {
        return false;
    }
    std::string text(static_cast<size_t>(length), '\0');
    if (!ReadBytes(stream, text.data(), length)) {
        return false;
    }
    value = std::move(text);
    return true;
}

inline void WriteU8(TStream& stream, uint8_t value)
{
    stream.WriteBuffer(&value, 1);
}

inline void WriteI32(TStream& stream, int32_t value)
{
    const auto u = static_cast<uint32_t>(value);
    const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    stream.WriteBuffer(b, 4);
}

inline void WriteF64(TStream& stream, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) {
        b[i] = uint8_t(bits >> (8 * i));
    }
    stream.WriteBuffer(b, 8);
}

inline void WriteString(TStream& stream, const std::string& value)
{
    WriteI32(stream, static_cast<int32_t>(value.size()));
    if (!value.empty()) {
        stream.WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
    }
}

} // namespace KVLEStream
