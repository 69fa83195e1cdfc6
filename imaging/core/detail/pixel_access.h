// Pixel values of the bitmap model's formats read and written in place, the clamping of float
// pixels to the integer scales, and the grey-ramp palette of grey images in a TBitmap.
#pragma once

#include "platform/core/rounding.h"
#include "platform/graphics/gdi_records.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Daduvudez::detail {

// Pixel x of a row of T-sized pixels; rows of words and floats need not be aligned for T.
template <typename T> T LoadPixel(const uint8_t* row, int32_t x)
{
    T value;
    std::memcpy(&value, row + int64_t(x) * sizeof(T), sizeof(T));
    return value;
}
template <typename T> void StorePixel(uint8_t* row, int32_t x, T value)
{
    std::memcpy(row + int64_t(x) * sizeof(T), &value, sizeof(T));
}

// A float outside 0..1 is out of range, not a wrapped byte: Trunc(v x 255), clamped.
inline uint8_t FloatToByte(float v)
{
    return static_cast<uint8_t>(std::clamp(Trunc(static_cast<double>(v) * 255), 0, 255));
}
inline uint16_t FloatToWord(float v)
{
    return static_cast<uint16_t>(std::clamp(Trunc(static_cast<double>(v) * 65535), 0, 65535));
}

inline std::vector<PALETTEENTRY> GreyRamp()
{
    std::vector<PALETTEENTRY> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    return ramp;
}

} // namespace Daduvudez::detail
