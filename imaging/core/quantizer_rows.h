// How the quantizers read their source: rows of 3-byte blue, green, red pixels, top row first.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <functional>

namespace Neurquant {

struct TRgbRows
{
    int32_t Width = 0;
    int32_t Height = 0;
    // Row y of Width pixels; valid until the next call.
    std::function<const TRGB*(int32_t y)> Row;

    int64_t PixelCount() const { return int64_t(Width) * Height; }
};

} // namespace Neurquant
