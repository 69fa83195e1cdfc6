// What the PNG reader and writer share of the PNG library: silent error handling that jumps back
// to a guard, the limits of a picture's sides, and the conversion between pHYs and dots per inch.
#pragma once

#include <png.h>

#include <cstdint>

namespace Pngfilt::detail {

// Library errors set *(bool*)error_ptr (when given) and jump back to the guard of the call.
void PngError(png_structp png, png_const_charp message);
void PngWarning(png_structp png, png_const_charp message);

// Calls action() (library calls only, no C++ object with a destructor in between); false when
// the library raised an error meanwhile.
template <typename Action> bool PngGuard(png_structp png, Action&& action)
{
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    action();
    return true;
}

// Sides up to the codecs' pixel budget, whatever the library was built with: its own default
// stops at 1,000,000 pixels, below pictures the library holds.
void SetSideLimits(png_structp png);

int32_t PixelsPerMetreToDpi(uint32_t pixelsPerMetre);
uint32_t DpiToPixelsPerMetre(int32_t dpi);

} // namespace Pngfilt::detail
