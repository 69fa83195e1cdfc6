// Silent error handling for the PNG library and the resolution conversions.
#include "imaging/codecs/png/detail/png_glue.h"

#include "platform/core/rounding.h"

namespace Pngfilt::detail {

void PngError(png_structp png, png_const_charp)
{
    if (auto* aborting = static_cast<bool*>(png_get_error_ptr(png))) {
        *aborting = true;
    }
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

int32_t PixelsPerMetreToDpi(uint32_t pixelsPerMetre)
{
    return Round(static_cast<double>(pixelsPerMetre) / 100.0 * 2.54);
}

uint32_t DpiToPixelsPerMetre(int32_t dpi)
{
    return dpi > 0 ? static_cast<uint32_t>(Round(static_cast<double>(dpi) * 100.0 / 2.54)) : 0;
}

} // namespace Pngfilt::detail
