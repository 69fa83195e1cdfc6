// Helpers shared by the processing workers: row access that survives file-backed bitmaps,
// the rounding words of the workers, progress reporting and scratch allocation.
#pragma once

#include "imaging/core/kvbitmap.h"
#include "imaging/core/types.h"
#include "platform/core/rounding.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

class TKVBaseBitmap;
class TKVBitmap;
class TKVMask;

namespace Korvaneproc::detail {

// ---- Numbers --------------------------------------------------------------------------------

// Round half to even, Trunc toward zero and KVFloor, saturating to int32.
int32_t RoundI(long double v);
int32_t TruncI(long double v);
int32_t FloorI(long double v);
int32_t CeilI(long double v);

inline uint8_t Clamp255(int32_t v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Grey level of a colour: (R*21 + G*71 + B*8) div 100.
inline int32_t Grey(int32_t r, int32_t g, int32_t b)
{
    return (r * 21 + g * 71 + b * 8) / 100;
}

// The rectangle x1 .. x2-1, y1 .. y2-1 cut to the bitmap; false when nothing is left.
inline bool CutRect(const TKVBaseBitmap* bitmap, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2)
{
    x1 = x1 < 0 ? 0 : x1;
    y1 = y1 < 0 ? 0 : y1;
    x2 = x2 > bitmap->GetWidth() ? bitmap->GetWidth() : x2;
    y2 = y2 > bitmap->GetHeight() ? bitmap->GetHeight() : y2;
    return x1 < x2 && y1 < y2;
}

// Per-row progress of the rectangle workers after row y of rows y1 .. y2-1; slightly above 100
// on the last row.
inline int32_t RowPercent(int32_t y, int32_t y1, int32_t y2)
{
    return TruncI(static_cast<long double>(y - y1 + 1) * 100 / (y2 - 1 - y1 + 0.5L));
}

// ---- Scratch memory -------------------------------------------------------------------------

// Size in bytes of count elements of size bytes, computed in 64 bits; a block larger than the
// machine's memory raises the out-of-memory error instead of being asked for.
size_t ScratchSize(uint64_t count, uint64_t size);

template <typename T> std::vector<T> Scratch(uint64_t count)
{
    return std::vector<T>(ScratchSize(count, sizeof(T)) / sizeof(T));
}

// ---- Progress -------------------------------------------------------------------------------

inline void Report(const TKVProgressEvent& onProgress, TObject* sender, int32_t per)
{
    if (onProgress)
        onProgress(sender, per);
}

// Sets a bitmap's access for a call (kvdRead on a source, kvdWrite on a destination, so that
// file-backed rows are neither written back nor read first) and restores it when the call ends.
class AccessScope
{
public:
    AccessScope(TKVBaseBitmap* bitmap, TKVDataAccess access) : FBitmap(bitmap), FSaved(bitmap->Access)
    {
        FBitmap->Access = access;
    }
    ~AccessScope() { FBitmap->Access = FSaved; }
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;

private:
    TKVBaseBitmap* FBitmap;
    TKVDataAccess FSaved;
};

// ---- Rows -----------------------------------------------------------------------------------

// How the pixels of a row are laid out.
enum class Layout : uint8_t
{
    Bit1,
    Byte1,
    Rgb3
};

inline int32_t Channels(Layout layout)
{
    return layout == Layout::Rgb3 ? 3 : 1;
}

// One plane of rows, row 0 at the top. The address of a row is valid only until the next call
// (a file-backed bitmap maps one row at a time), so workers copy what they keep.
struct Plane
{
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowLen = 0;
    Layout layout = Layout::Rgb3;
    std::function<uint8_t*(int32_t)> row;

    bool Empty() const { return width < 1 || height < 1; }
};

// The plane of a bitmap of format kv1g, kv8g, kv8p or kv24RGB (the layout follows the format).
Plane PlaneOf(TKVBaseBitmap* bitmap);
// The plane of an 8-bit mask (1-bit masks give Bit1).
Plane PlaneOf(TKVMask* mask);
// A bottom-up block of rows of rowLen bytes.
Plane PlaneOfBottomUp(uint8_t* bits, int32_t width, int32_t height, int32_t rowLen, Layout layout);

// Reads row y of the plane expanded to one byte per channel (1-bit pixels as 0 or 255).
void ReadExpanded(Plane& plane, int32_t y, uint8_t* out);
// Writes one row given as channel bytes: Byte1 from one channel, Rgb3 from three, or from one
// channel repeated into blue, green and red. Bit1 planes take bits set where the byte is not 0.
void WriteExpanded(Plane& plane, int32_t y, const uint8_t* in, int32_t inChannels);

inline bool BitAt(const uint8_t* row, int32_t x)
{
    return (row[x >> 3] & (0x80 >> (x & 7))) != 0;
}
inline void SetBitAt(uint8_t* row, int32_t x, bool value)
{
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
    if (value)
        row[x >> 3] |= mask;
    else
        row[x >> 3] &= static_cast<uint8_t>(~mask);
}

// Pixel bytes of a rectangle of an 8-bit (one byte per pixel) or 24-bit bitmap, rows packed.
struct PixelBlock
{
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerPixel = 0;
    std::vector<uint8_t> bytes;

    size_t Stride() const { return static_cast<size_t>(width) * bytesPerPixel; }
    uint8_t* Row(int32_t r) { return bytes.data() + Stride() * r; }
    const uint8_t* Row(int32_t r) const { return bytes.data() + Stride() * r; }
};

// Columns x1 .. x2-1 of rows y1 .. y2-1, a rectangle inside the bitmap.
PixelBlock ReadBlock(TKVBaseBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Writes the block back where it was read.
void WriteBlock(TKVBaseBitmap* bitmap, const PixelBlock& block);

// The whole plane copied into one block of packed rows of rowLen bytes, top row first.
std::vector<uint8_t> ReadAll(Plane& plane);
void WriteAll(Plane& plane, const std::vector<uint8_t>& rows);

// The bitmap takes width x height pixels of its own format from packed top-down rows of its row
// length; the palette stays and an alpha channel keeps the image's size.
void ReplacePixels(TKVBitmap* bitmap, int32_t width, int32_t height, const std::vector<uint8_t>& rows);

// Box average of the inclusive 1-bit rectangle (x1, y1)-(x2, y2) of src into dst's size, as grey.
// The row windows are cut to the source (bitmaps) or to the rectangle's rows (raw DIB buffers).
void BoxReduce1bit(Plane& src, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool cutToRectangleRows,
                   Plane& dst);

// Resamples Source into Dest of the same format for every pixel format: kv24RGB directly, 8-bit
// images through a 24-bit copy (palette images mapped back onto their own palette), kv16g and
// kv32f by the nearest-neighbour stretch, which keeps their precision.
void ResampleAnyFormat(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter,
                       const TKVProgressEvent& OnProgress, TObject* Sender);

// Reads rows of a bitmap of any pixel format as colours: kv1g black or white, kv8p through the
// palette, kv8g grey, kv16g its high byte, kv32f Trunc(v * 255) kept inside 0..255.
class ColourReader
{
public:
    explicit ColourReader(TKVBitmap* bitmap);
    // False for kvnull and unknown formats.
    bool Valid() const { return FValid; }
    void Read(int32_t y, TRGB* out);
    // Grey levels of a row (the grey of the colour; kv8g, kv16g and kv32f their own level).
    void ReadGrey(int32_t y, uint8_t* out);

private:
    TKVBitmap* FBitmap;
    TKVPixelFormat FFormat;
    bool FValid = false;
    TRGB FPalette[256];
    std::vector<uint8_t> FRow;
    std::vector<TRGB> FColours;
};

uint8_t FloatLevel(float v);

// The entry of a kv8p bitmap's palette nearest to colours (squared distance, first on ties).
class PaletteMatcher
{
public:
    explicit PaletteMatcher(TKVBitmap* bitmap);
    uint8_t Index(const uint8_t* bgr);

private:
    TRGB FPalette[256];
    std::unordered_map<uint32_t, uint8_t> FCache;
};

int32_t NearestPaletteIndex(TKVBitmap* bitmap, const TRGB& colour);

// Row length in bytes of width pixels of the given bits (DWORD aligned).
inline int32_t RowLen(int32_t width, int32_t bits)
{
    return static_cast<int32_t>(((int64_t(width) * bits + 31) / 32) * 4);
}

} // namespace Korvaneproc::detail
