// Turning a decoded TIFF page upright by its Orientation tag: mirrors for 2 to 4, quarter turns
// (and a mirror for the transpose 5 and the transverse 7) for 5 to 8. The alpha mask follows.
#include "imaging/codecs/tiff/detail/tiff_page.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "imaging/proc/korvaneproc.h"

#include <cstddef>
#include <vector>

namespace Tiffilt::detail {

namespace {

// The source pixel of destination pixel (dx, dy) for a W x H source.
void SourceOf(int32_t orientation, int32_t w, int32_t h, int32_t dx, int32_t dy, int32_t& sx, int32_t& sy)
{
    switch (orientation) {
    case 2:
        sx = w - 1 - dx, sy = dy;
        break;
    case 3:
        sx = w - 1 - dx, sy = h - 1 - dy;
        break;
    case 4:
        sx = dx, sy = h - 1 - dy;
        break;
    case 5:
        sx = dy, sy = dx;
        break;
    case 6:
        sx = dy, sy = h - 1 - dx;
        break;
    case 7:
        sx = w - 1 - dy, sy = h - 1 - dx;
        break;
    default: // 8
        sx = w - 1 - dy, sy = dx;
        break;
    }
}

void OrientMask(TKVMask& mask, int32_t orientation)
{
    const int32_t w = mask.Width, h = mask.Height;
    const bool swap = orientation >= 5;
    TKVMask turned;
    turned.AllocateBits(swap ? h : w, swap ? w : h, 8);
    for (int32_t dy = 0; dy < turned.Height; ++dy) {
        uint8_t* out = turned.GetScanLine(dy);
        for (int32_t dx = 0; dx < turned.Width; ++dx) {
            int32_t sx = 0, sy = 0;
            SourceOf(orientation, w, h, dx, dy, sx, sy);
            out[dx] = mask.GetScanLine(sy)[sx];
        }
    }
    mask.Assign(&turned);
}

} // namespace

void ApplyOrientation(TKVBitmap& bitmap, TKVMask* alpha, int32_t orientation)
{
    const TRGB black{};
    switch (orientation) {
    case 2:
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    case 3:
        Korvaneproc::_FlipEx(&bitmap, fdVertical);
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    case 4:
        Korvaneproc::_FlipEx(&bitmap, fdVertical);
        break;
    case 5:
        Korvaneproc::_RotateEx(&bitmap, -90, false, black);
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    case 6:
        Korvaneproc::_RotateEx(&bitmap, -90, false, black);
        break;
    case 7:
        Korvaneproc::_RotateEx(&bitmap, 90, false, black);
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    case 8:
        Korvaneproc::_RotateEx(&bitmap, 90, false, black);
        break;
    default:
        return;
    }
    if (alpha != nullptr && alpha->Width > 0 && alpha->Height > 0) {
        OrientMask(*alpha, orientation);
    }
}

} // namespace Tiffilt::detail
