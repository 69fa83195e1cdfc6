// Little-endian fields in the headers of file formats, read from and written into byte arrays.
#pragma once

#include <cstdint>

namespace Codecs::detail {

inline uint16_t Get16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Set16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Set32(uint8_t* p, uint32_t v)
{
    Set16(p, v);
    Set16(p + 2, v >> 16);
}

} // namespace Codecs::detail
