// TKVBitmap copies to and from selection masks of 1 or 8 bits per pixel.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/detail/access_scope.h"
#include "imaging/core/mask.h"

#include <algorithm>
#include <cstring>

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
    for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(GetScanLine(y), mask->GetScanLine(y), rowBytes);
    Full = mask->Full;
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
