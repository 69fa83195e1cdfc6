// Pictures for the save-parameters dialog's tests.
#pragma once

#include "imaging/core/kvbitmap.h"

#include <cstdint>
#include <memory>

namespace iopreviewstest {

// Smooth gradients in red and green with a finer pattern in blue: many colours, as a photo has.
inline std::unique_ptr<TKVBitmap> Photo(int32_t w, int32_t h)
{
    auto b = std::make_unique<TKVBitmap>();
    b->Allocate(w, h, kv24RGB);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            b->SetPixels_kv24RGB(x, y,
                                 TRGB{uint8_t((x * 7 + y * 3) % 256), uint8_t(y * 255 / (h > 1 ? h - 1 : 1)),
                                      uint8_t(x * 255 / (w > 1 ? w - 1 : 1))});
        }
    }
    return b;
}

} // namespace iopreviewstest
