// Silent error handling for the PNG library, its side limits and the resolution conversions.
#include "imaging/codecs/png/detail/png_glue.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/resolution.h"
#include "platform/core/rounding.h"

#include <algorithm>

namespace Pngfilt::detail {

void PngError(png_structp png, png_const_charp)
{
    if (auto* aborting = static_cast<bool*>(png_get_error_ptr(png))) {
        *aborting = true;
    }
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void SetSideLimits(png_structp png)
{
    const auto side = static_cast<png_uint_32>(std::min<int64_t>(KVCodecMaxPixels, PNG_UINT_31_MAX));
    png_set_user_limits(png, side, side);
}

int32_t PixelsPerMetreToDpi(uint32_t pixelsPerMetre)
{
    return DotsPerInch(pixelsPerMetre, TResolutionUnit::Metre);
}

uint32_t DpiToPixelsPerMetre(int32_t dpi)
{
    return dpi > 0 ? static_cast<uint32_t>(Round(static_cast<double>(dpi) * 100.0 / 2.54)) : 0;
}

} // namespace Pngfilt::detail
