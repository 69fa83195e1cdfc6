// Making a picture's horizontal and vertical resolution equal by resampling it.
#include "imaging/core/daduvudez.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"

#include <algorithm>

namespace Korvaneio::detail {

// The shorter side is rescaled, whichever resolution is finer.
void AdjustBitmapDPI(TKVBitmap& Bitmap, TIOParamsVals& Params, bool Filtered)
{
    int32_t dpiX = Params.DpiX;
    int32_t dpiY = Params.DpiY;
    if (dpiX == dpiY || dpiX <= 0 || dpiY <= 0) {
        return;
    }
    // The picture's own size: the parameters tell what was loaded, not what processing made of it.
    int32_t width = Bitmap.GetWidth();
    int32_t height = Bitmap.GetHeight();
    if (height < width) {
        height = Trunc(static_cast<long double>(height) / dpiY * dpiX);
        dpiY = dpiX;
    } else {
        width = Trunc(static_cast<long double>(width) / dpiX * dpiY);
        dpiX = dpiY;
    }
    width = std::max(width, 1);
    height = std::max(height, 1);
    Params.Width = width;
    Params.Height = height;
    Params.DpiX = dpiX;
    Params.DpiY = dpiY;

    std::unique_ptr<TKVBitmap> alpha;
    if (Bitmap.GetHasAlphaChannel()) {
        alpha = std::make_unique<TKVBitmap>();
        alpha->Assign(Bitmap.GetAlphaChannel());
    }
    TKVBitmap result;
    if (Filtered) {
        result.Allocate(width, height, kv24RGB);
        if (Bitmap.GetPixelFormat() != kv24RGB) {
            Bitmap.SetPixelFormat(kv24RGB);
        }
        Korvaneproc::_ResampleEx(&Bitmap, &result, rfFastLinear);
    } else {
        result.Allocate(width, height, Bitmap.GetPixelFormat());
        if (result.GetPixelFormat() == kv8p) {
            for (int32_t i = 0; i < 256; ++i) {
                result.SetPalette(i, Bitmap.GetPalette(i));
            }
        }
        Korvaneproc::_KVBmpStretchEx(&Bitmap, &result);
    }
    Bitmap.Assign(&result);
    if (alpha != nullptr) {
        Korvaneproc::_KVBmpStretchEx(alpha.get(), Bitmap.GetAlphaChannel());
    }
}

} // namespace Korvaneio::detail

void TKorvaneIO::AdjustDPI()
{
    if (FKVBitmap == nullptr || FParams->DpiX == FParams->DpiY || FParams->DpiX <= 0 || FParams->DpiY <= 0) {
        return;
    }
    Reencapsulate();
    Korvaneio::detail::AdjustBitmapDPI(*FKVBitmap, *FParams, FilteredAdjustDPI);
}
