// Small bitmaps built from tables of levels, and their pixels read back as tables.
#pragma once

#include "imaging/core/daduvudez.h"

#include <functional>
#include <memory>
#include <string>
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
// Fills the image's alpha channel (made on first use) with the grid's levels.
void SetAlpha(TKVBitmap* bitmap, const Grid& levels);

// Byte ch (0 blue, 1 green, 2 red) of every kv24RGB pixel.
Grid Channel(TKVBitmap* bitmap, int ch);
// The levels of a kv1g (0 or 1), kv8g or kv8p image.
Grid Levels(TKVBitmap* bitmap);
// True when the three bytes of every kv24RGB pixel are equal.
bool IsGrey(TKVBitmap* bitmap);

// Crops of real pictures (the same the references in tests/proc/reference cut): a kv24RGB image
// of the colour picture or a kv8g image of the grey one; nullptr when the picture is missing.
struct Crop
{
    const char* file;
    int x, y, width, height;
};
constexpr Crop kColourCrop{"video-001.png", 40, 30, 48, 32};
constexpr Crop kGreyCrop{"video-005.gray.png", 40, 30, 48, 32};
std::unique_ptr<TKVBitmap> RealCrop(const Crop& crop, TKVPixelFormat format = kv24RGB);
// ImageMagick's built-in rose picture (70 x 46, kv24RGB); nullptr without ImageMagick.
std::unique_ptr<TKVBitmap> Rose();
// ImageMagick's resize of a kv24RGB image to width x height with one of its filters ("Triangle");
// nullptr when it fails.
std::unique_ptr<TKVBitmap> MagickResized(TKVBitmap* source, int width, int height, const std::string& filter);
// A reference result from tests/data/proc: a PPM as kv24RGB, a PGM as kv8g.
std::unique_ptr<TKVBitmap> Reference(const std::string& name);
// The largest difference of two images' pixel bytes; INT_MAX when their sizes or formats differ.
int MaxDifference(TKVBitmap* a, TKVBitmap* b);
// A copy of the image (pixels, palette and alpha channel).
std::unique_ptr<TKVBitmap> Copy(TKVBitmap* bitmap);

// A picture of seeded noise over smooth ramps: every level differs from its neighbours.
Grid Noise(int width, int height, uint32_t seed);
// FNV-1a over the pixel bytes of every row, from the top (the bytes a row's pixels take).
uint64_t PixelHash(TKVBitmap* bitmap);

} // namespace proctest
