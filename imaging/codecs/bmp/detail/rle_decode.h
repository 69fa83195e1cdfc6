// The run-length decoder as the BMP reader drives it: the bitmap is made only once the data has
// a first code that fits the picture.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <functional>

class TKVBitmap;

namespace Bmpfilt::detail {

// DecodeRLE4 (Nibbles) or DecodeRLE8 on a picture of Width x Height that Make allocates in Bitmap
// when the first code that fits the picture is met: data refused at its first code makes none.
void DecodeRLEMaking(TKVBitmap& Bitmap, int32_t Width, int32_t Height, const std::function<void()>& Make,
                     bool Nibbles, const uint8_t* Data, int64_t DataLength, int32_t StartRow,
                     TProgressRec& Progress, const TRGB* Palette);

} // namespace Bmpfilt::detail
