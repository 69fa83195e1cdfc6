// Video frames in the YUV layouts that AVI codecs deliver, converted to 24-bit rows.
#pragma once

#include "imaging/core/types.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace Korvaneproc {

// The colour of one luma and chroma sample triple (studio range, ITU-R BT.601).
void YUV2RGB(int32_t Y, int32_t U, int32_t V, TRGB& rgb);

// The compression codes (little-endian four-character codes) of the YUV layouts read here.
constexpr uint32_t KVFourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

bool IsYUVCompression(uint32_t compression);

// The bytes a frame of that layout and size occupies; -1 for a layout not read here or a size
// that is not positive, INT64_MAX for one too large to count in 64 bits.
int64_t YUVFrameSize(uint32_t compression, int32_t width, int32_t height);

// Writes the frame into 24-bit rows; row(y) gives the destination row y, top row first, valid
// until the next call. Frame rows run top row first for a positive height and bottom row first
// for a negative one. False, writing nothing, when bits holds less than the frame.
bool ConvertYUVFrame(uint32_t compression, int32_t width, int32_t height, const uint8_t* bits,
                     size_t bitsSize, const std::function<uint8_t*(int32_t y)>& row);

} // namespace Korvaneproc
