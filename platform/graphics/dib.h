// Packed device-independent bitmaps: a BITMAPINFOHEADER, its colour table or bit-field masks, then
// the rows, bottom row first unless the height is negative, each padded to 4 bytes. This is the
// form in which images travel in global memory blocks. Every size read from a header is checked
// against the block before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/graphics/colors.h"
#include "platform/graphics/gdi_records.h"
#include "platform/graphics/global_memory.h"
#include "platform/graphics/raster.h"

class TBitmap;

// The largest DIB side accepted from outside, and the largest pixel block.
constexpr int32_t kMaxDIBSide = 1 << 20;
constexpr int64_t kMaxDIBImageBytes = int64_t(1) << 31;

// What a header says, checked for consistency.
struct TDIBLayout
{
    BITMAPINFOHEADER Header;
    int32_t Width = 0;
    int32_t Height = 0; // rows, always positive
    bool TopDown = false;
    int32_t BitCount = 0;
    uint32_t Compression = BI_RGB;
    std::vector<RGBQUAD> Colors;   // the colour table (1-, 4-, 8-bit DIBs)
    uint32_t Masks[3] = {0, 0, 0}; // red, green, blue masks of a 16- or 32-bit DIB
    int64_t RowLength = 0;
    int64_t ImageSize = 0; // RowLength * Height
    size_t BitsOffset = 0; // bytes from the header's start to the first row of a packed DIB

    // The colour of pixel x of a row of this layout.
    COLORREF PixelColor(const uint8_t* row, int32_t x) const;
};

// The entries of the colour table that follows a header: biClrUsed, or 2^bits when that is 0, for
// 1, 4 and 8 bits; 0 for deeper DIBs (whose biClrUsed entries, if any, are skipped).
int64_t DIBColorTableEntries(const BITMAPINFOHEADER& header);

// The bytes of header, colour table and masks before the rows of a DIB with this header (biSize
// bytes of which are the header); -1 for a header that ParseDIBHeader would refuse.
int64_t DIBBitsOffset(const BITMAPINFOHEADER& header);

// Reads and checks the header and the colour table or masks that start at info, of which at most
// available bytes may be read. Accepts headers of 40 to 124 bytes with 1, 4, 8, 16, 24, 32 bits
// and BI_RGB, or 16, 32 bits and BI_BITFIELDS; refuses RLE and every inconsistent size. False
// when refused.
bool ParseDIBHeader(const void* info, size_t available, TDIBLayout& layout);

// A copy of the header of the packed DIB in a global memory block; false when the block is not
// live or too small to hold one.
bool ReadDIBHeader(HGLOBAL dib, BITMAPINFOHEADER& header);

// A packed DIB of the bitmap (BI_RGB for 1, 4, 8, 15, 24 and 32 bits, BI_BITFIELDS for pf16bit;
// rows bottom-up); nullptr for an empty bitmap. The caller frees the block.
HGLOBAL BitmapToPackedDIB(TBitmap& bitmap);
// Makes the bitmap a copy of the packed DIB: the pixel format follows the bit count (1, 4, 8, 24,
// 32; 16-bit 5-5-5 as pf15bit, 5-6-5 as pf16bit; other bit-field layouts as pf32bit). False, with
// the bitmap unchanged, when the DIB cannot be read.
bool PackedDIBToBitmap(const void* dib, size_t size, TBitmap& bitmap);
bool PackedDIBToBitmap(HGLOBAL dib, TBitmap& bitmap);
