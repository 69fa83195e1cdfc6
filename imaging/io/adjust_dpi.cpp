// Making a picture's horizontal and vertical resolution equal by resampling it.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"

#include <algorithm>

// The shorter side is rescaled, whichever resolution is finer.
void TKorvaneIO::AdjustDPI()
{
    int32_t dpiX = FParams->DpiX;
    int32_t dpiY = FParams->DpiY;
    if (FKVBitmap == nullptr || dpiX == dpiY || dpiX <= 0 || dpiY <= 0) {
        return;
    }
    Reencapsulate();
    // The picture's own size: the parameters tell what was loaded, not what processing made of it.
    int32_t width = FKVBitmap->GetWidth();
    int32_t height = FKVBitmap->GetHeight();
    if (height < width) {
        height = Trunc(static_cast<long double>(height) / dpiY * dpiX);
        dpiY = dpiX;
    } else {
        width = Trunc(static_cast<long double>(width) / dpiX * dpiY);
        dpiX = dpiY;
    }
    width = std::max(width, 1);
    height = std::max(height, 1);
    FParams->Width = width;
    FParams->Height = height;
    FParams->DpiX = dpiX;
    FParams->DpiY = dpiY;

    std::unique_ptr<TKVBitmap> alpha;
    if (FKVBitmap->GetHasAlphaChannel()) {
        alpha = std::make_unique<TKVBitmap>();
        alpha->Assign(FKVBitmap->GetAlphaChannel());
    }
    TKVBitmap result;
    if (FilteredAdjustDPI) {
        result.Allocate(width, height, kv24RGB);
        if (FKVBitmap->GetPixelFormat() != kv24RGB) {
            FKVBitmap->SetPixelFormat(kv24RGB);
        }
        Korvaneproc::_ResampleEx(FKVBitmap, &result, rfFastLinear);
    } else {
        result.Allocate(width, height, FKVBitmap->GetPixelFormat());
        if (result.GetPixelFormat() == kv8p) {
            for (int32_t i = 0; i < 256; ++i) {
                result.SetPalette(i, FKVBitmap->GetPalette(i));
            }
        }
        Korvaneproc::_KVBmpStretchEx(FKVBitmap, &result);
    }
    FKVBitmap->Assign(&result);
    if (alpha != nullptr) {
        Korvaneproc::_KVBmpStretchEx(alpha.get(), FKVBitmap->GetAlphaChannel());
    }
}
