// Big-endian words read from byte arrays: windows onto codes packed most significant bit first.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace Codecs::detail {

// The eight bytes at p, the first in the top byte.
inline uint64_t BigEndian64(const uint8_t* p)
{
    uint64_t value;
    std::memcpy(&value, p, 8);
    return std::endian::native == std::endian::little ? __builtin_bswap64(value) : value;
}

inline void SetBigEndian64(uint8_t* p, uint64_t value)
{
    value = std::endian::native == std::endian::little ? __builtin_bswap64(value) : value;
    std::memcpy(p, &value, 8);
}

} // namespace Codecs::detail
