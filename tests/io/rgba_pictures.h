// Pictures as RGBA bytes, top row first, as the I/O component holds them and a standard tool reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TKVBitmap;

namespace kviotest {

using RgbaBytes = std::vector<uint8_t>;

// The first picture of a file as ImageMagick reads it; empty when it refuses the file.
RgbaBytes ImageMagickRgba(const std::string& file);

// Every frame of a file as ImageMagick composes it for showing (-coalesce), one after the other;
// with a screen ("100x80"), each frame cut to that much of its top left.
RgbaBytes ImageMagickCoalescedRgba(const std::string& file, const std::string& screen = "");

// The same, but PCX as pcxtoppm reads it: it takes a 1-bit file's colours from its header.
RgbaBytes ToolRgba(const std::string& file);

// A bitmap's pixels, alpha from its alpha channel (255 without one).
RgbaBytes LoadedRgba(TKVBitmap& bitmap);

// Pixels that differ in alpha, or in colour where not fully transparent; -1 when the sizes differ.
int64_t Differences(const RgbaBytes& expected, const RgbaBytes& actual);

} // namespace kviotest
