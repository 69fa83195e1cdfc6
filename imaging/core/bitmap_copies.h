// Pixel copies between class-library bitmaps, library bitmaps, 1-bit rows and packed DIBs.
#pragma once

#include "imaging/core/types.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/global_memory.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class TBitmap;
class TKVBaseBitmap;
class TKVDibbitmap;

namespace Korvaneproc {

// Copies a run of bitCount bits between 1-bit rows (most significant bit leftmost), leaving the
// destination bits outside the run as they were. With rowLen > 0 the run is cut where it would
// leave a row of that many bytes.
void _CopyBits(uint8_t* dest, const uint8_t* source, int32_t destBit, int32_t sourceBit, int32_t bitCount,
               int32_t rowLen);

// Copies count pixels, then swaps blue and red in each.
void _CopyBGR_RGB(TRGB* dest, const TRGB* source, int32_t count);
// Swaps blue and red of count pixels in place.
void _BGR2RGB(TRGB* pixels, int32_t count);

// The whole bitmap copied: size, pixel format and pixels.
std::unique_ptr<TBitmap> KVCloneBitmap(TBitmap* source);
void KVCopyBitmap(TBitmap* source, TBitmap* destination);
// The destination becomes the rectangle x1..x2-1, y1..y2-1 of the source (x2, y2 of 0: the
// source's width, height); pf24bit and pf1bit rows are copied, other formats only sized.
void _CopyBitmapRect(TBitmap* source, TBitmap* destination, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// A packed DIB of the rectangle (x2, y2 of 0: the bitmap's width, height), in a new block that
// the caller frees: 24-bit rows, or 1-bit rows with a black and white colour table; a header
// without rows for other formats. nullptr when the rectangle holds no pixel.
HGLOBAL _CopyBitmaptoDIB(TBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
HGLOBAL _CopyBitmaptoDIBEx(TKVBaseBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Reads a packed DIB (1, 4, 8, 16, 24 or 32 bits, or a YUV video layout) into the bitmap, which
// becomes kv1g for a 1-bit DIB and kv24RGB otherwise, and returns the DIB's bit count. The DIB
// is a global memory block or dibSize bytes at dib; bits, when given, holds the rows instead of
// the block (bitsSize bytes). A header or block whose sizes do not agree returns 0, and a DIB of
// a compression or bit count not read here returns its bit count; both leave the bitmap as it was.
int32_t _CopyDIB2BitmapEx(HGLOBAL dib, TKVBaseBitmap* bitmap, const void* bits = nullptr,
                          size_t bitsSize = 0);
int32_t _CopyDIB2BitmapEx(const void* dib, size_t dibSize, TKVBaseBitmap* bitmap, const void* bits = nullptr,
                          size_t bitsSize = 0);
// The same into a class-library bitmap (pf1bit or pf24bit).
int32_t _CopyDIB2Bitmap(HGLOBAL dib, TBitmap* bitmap, const void* bits = nullptr, size_t bitsSize = 0);
int32_t _CopyDIB2Bitmap(const void* dib, size_t dibSize, TBitmap* bitmap, const void* bits = nullptr,
                        size_t bitsSize = 0);
// The same into a DIB-section image (1 bit for a 1-bit DIB, else 24), as AVI frames arrive.
int32_t _KVCopyDIB2Bitmap2Ex(HGLOBAL dib, TKVDibbitmap* bitmap, const void* bits = nullptr,
                             size_t bitsSize = 0);
int32_t _KVCopyDIB2Bitmap2Ex(const void* dib, size_t dibSize, TKVDibbitmap* bitmap,
                             const void* bits = nullptr, size_t bitsSize = 0);

// Draws the source at (x, y) into the destination through each figure of the point list
// (figures separated by points whose X is 0xFFFFF); returns the index after the last separator.
int32_t _CopyPolygonBitmap(TBitmap* destination, TBitmap* source, int32_t x, int32_t y, const TPoint* points,
                           int32_t count);
// Copies the area of the source inside the polygon to the destination at point, the destination
// grown to hold it; nothing for fewer than 3 points.
void _CopyPolygonToPoint(TBitmap* source, const TPoint* points, int32_t count, TBitmap* destination,
                         TPoint point);
// The reverse: the source area at point, of the polygon's bounding size, copied into the polygon.
void _CopyPointToPolygon(TBitmap* source, const TPoint* points, int32_t count, TBitmap* destination,
                         TPoint point);

} // namespace Korvaneproc

namespace Daduvudez {

// Copies a rectangle between a raw buffer (row k at k x bufferRowLen) and a bitmap: direction 0 buffer to
// bitmap, 1 bitmap to buffer. Rows y.. of the bitmap pair with buffer rows by..; a 1-bit bitmap
// read into a 24-bit buffer becomes black and white pixels.
void KVBitmapMapXCopy(uint8_t* buffer, int32_t bufferRowLen, int32_t bufferBitCount, TBitmap* bitmap,
                      int32_t bx, int32_t by, int32_t x, int32_t y, int32_t width, int32_t height,
                      int32_t direction);
void KVBaseBitmapMapXCopy(uint8_t* buffer, int32_t bufferRowLen, int32_t bufferBitCount,
                          TKVBaseBitmap* bitmap, int32_t bx, int32_t by, int32_t x, int32_t y, int32_t width,
                          int32_t height, int32_t direction);

} // namespace Daduvudez
