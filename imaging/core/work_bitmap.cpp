// TKVWorkBitmap: the processing workers' scratch pixel buffer.
#include "imaging/core/work_bitmap.h"

#include "imaging/core/bit_utils.h"
#include "imaging/core/detail/pixel_memory.h"
#include "imaging/core/pixel_helpers.h"
#include "platform/core/exceptions.h"

#include <new>

TKVWorkBitmap::TKVWorkBitmap(int32_t width, int32_t height, int32_t bitsPerPixel)
{
    if (width >= 1 && height >= 1)
        AllocateBits(width, height, bitsPerPixel);
}

TKVWorkBitmap::~TKVWorkBitmap() = default;

void TKVWorkBitmap::AllocateBits(int32_t width, int32_t height, int32_t bitsPerPixel)
{
    if (width == FWidth && height == FHeight && bitsPerPixel == FBitsPerPixel)
        return;
    FreeBits();
    const int64_t rowLen = Daduvudez::_BitmapRowLen(width, bitsPerPixel);
    if (width < 0 || height < 0 || bitsPerPixel < 0 || rowLen > INT32_MAX ||
        rowLen * height > Daduvudez::detail::MaxMemoryBlock())
        throw EOutOfMemory();
    const int64_t size = rowLen * height;
    if (size > 0) {
        FBits.reset(new (std::nothrow) uint8_t[size_t(size)]);
        if (!FBits)
            throw EOutOfMemory();
    }
    FWidth = width;
    FHeight = height;
    FBitsPerPixel = bitsPerPixel;
    FRowLen = static_cast<int32_t>(rowLen);
}

void TKVWorkBitmap::FreeBits()
{
    FBits.reset();
    FWidth = FHeight = FBitsPerPixel = FRowLen = 0;
}

void TKVWorkBitmap::SetBit(int32_t row, int32_t column, int32_t value)
{
    Korvaneproc::_SetPixelbw(GetScanline(row), column, value);
}
