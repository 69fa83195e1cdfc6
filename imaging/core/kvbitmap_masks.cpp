// TKVBitmap copies to and from selection masks of 1 or 8 bits per pixel.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/detail/access_scope.h"
#include "imaging/core/mask.h"

#include <algorithm>
#include <cstring>

namespace {

// Masks may be far larger than the rows anything wrote: the bytes are all zero when the first is
// and each equals the one after it, which the library's memcmp tells at its speed.
bool AllZero(const uint8_t* bytes, size_t count)
{
    return count == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, count - 1) == 0);
}

} // namespace

void TKVBitmap::CopyFromTKVMask(TKVMask* mask)
{
    if (mask == nullptr) {
        Fill(255);
        return;
    }
    if (mask->BitsPerPixel == 1)
        Allocate(mask->Width, mask->Height, kv1g);
    else if (mask->BitsPerPixel == 8)
        Allocate(mask->Width, mask->Height, kv8g);
    else
        return;
    TKVAccessScope access(*this, kvdWrite);
    const size_t rowBytes = size_t(std::min(FRowLen, mask->RowLen));
    // New rows in memory or a temporary file are 0 already: rows of zeros are not written there,
    // so that the rows of a mask that nothing reached take no memory here either.
    const bool cleared = FLocation != kvTBitmap;
    for (int32_t y = 0; y < FHeight; ++y) {
        const uint8_t* source = mask->GetScanLine(y);
        if (!cleared || !AllZero(source, rowBytes))
            std::memcpy(GetScanLine(y), source, rowBytes);
    }
    Full = mask->Full;
}

void TKVBitmap::SetAlphaChannelFromMask(TKVMask* mask)
{
    if (FIsAlpha)
        return;
    FAlphaChannel = std::make_unique<TKVBitmap>(0, 0, FLocation);
    FAlphaChannel->CopyFromTKVMask(mask);
}

void TKVBitmap::CopyToTKVMask(TKVMask* mask)
{
    if (mask == nullptr || (FPixelFormat != kv1g && FPixelFormat != kv8g))
        return;
    mask->AllocateBits(FWidth, FHeight, FPixelFormat == kv1g ? 1 : 8);
    TKVAccessScope access(*this, kvdRead);
    const size_t rowBytes = size_t(std::min(FRowLen, mask->RowLen));
    for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(mask->GetScanLine(y), GetScanLine(y), rowBytes);
    mask->Full = Full;
}
