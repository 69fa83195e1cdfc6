// A view of pixel rows in memory that a canvas draws into: a TBitmap's rows, or any other raster
// whose owner hands the canvas a view of it (a window's front image, a bottom-up DIB section).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graphics/gdi_records.h"

enum TPixelFormat : uint8_t
{
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

// Bits per pixel of a storable format (pfDevice is stored as 32 bits); 0 for pfCustom.
int32_t PixelFormatBits(TPixelFormat format);

// Bytes per row of width pixels of the given bits, padded to a multiple of four, in 64 bits.
constexpr int64_t RowLengthFor(int64_t width, int64_t bits)
{
    return ((width * bits + 31) / 32) * 4;
}

struct TRasterView
{
    uint8_t* Top = nullptr; // first byte of the top row
    ptrdiff_t Stride = 0;   // bytes from one row to the row below it; negative for bottom-up memory
    int32_t Width = 0;
    int32_t Height = 0;
    TPixelFormat Format = pfDevice;        // pf1bit .. pf32bit, pfDevice rows are 32-bit
    const PALETTEENTRY* Palette = nullptr; // colour table of 1-, 4- and 8-bit rasters
    int32_t PaletteCount = 0;

    bool IsValid() const { return Top != nullptr && Width > 0 && Height > 0; }
    uint8_t* Row(int32_t y) const { return Top + ptrdiff_t(y) * Stride; }
};
