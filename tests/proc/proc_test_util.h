// Small bitmaps built from tables of levels, and their pixels read back as tables.
#pragma once

#include "imaging/core/daduvudez.h"

#include <functional>
#include <memory>
#include <vector>

namespace proctest {

using Grid = std::vector<std::vector<int>>;

// A kv24RGB image whose blue, green and red bytes all hold the grid's levels.
std::unique_ptr<TKVBitmap> GreyRgb(const Grid& levels);
// A kv24RGB image from three grids of the same size (blue, green, red).
std::unique_ptr<TKVBitmap> Rgb(const Grid& blue, const Grid& green, const Grid& red);
// A kv1g image; a non-zero level is a set (white) bit.
std::unique_ptr<TKVBitmap> Bits(const Grid& levels);
// An 8-bit image (kv8g, or kv8p with the given palette).
std::unique_ptr<TKVBitmap> Bytes(const Grid& levels, TKVPixelFormat format = kv8g,
                                 const std::vector<TRGB>& palette = {});
std::unique_ptr<TKVBitmap> Blank(int width, int height, TKVPixelFormat format, int fill = 0);

// Byte ch (0 blue, 1 green, 2 red) of every kv24RGB pixel.
Grid Channel(TKVBitmap* bitmap, int ch);
// The levels of a kv1g (0 or 1), kv8g or kv8p image.
Grid Levels(TKVBitmap* bitmap);
// True when the three bytes of every kv24RGB pixel are equal.
bool IsGrey(TKVBitmap* bitmap);

} // namespace proctest
