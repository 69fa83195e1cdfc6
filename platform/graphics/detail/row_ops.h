// Row-at-a-time pixel kernels: gathering and scattering device values at column lists, and
// combining whole rows by a raster operation. The format and the operation are chosen once per
// row, outside the pixel loops.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graphics/raster.h"

namespace GraphicsDetail {

// out[i] = the value of pixel xs[i] of the row.
void GatherValues(TPixelFormat format, const uint8_t* row, const int32_t* xs, size_t n, uint32_t* out);
// Writes values[i] to pixel xs[i] of the row, except where skip (when given) is non-zero.
void ScatterValues(TPixelFormat format, uint8_t* row, const int32_t* xs, size_t n, const uint32_t* values,
                   const uint8_t* skip);
// d[i] = rop(p[i], s[i], d[i]) & mask for the ternary operation's truth table; p or s may be
// nullptr when the operation does not read them.
void CombineValues(uint8_t table, const uint32_t* p, const uint32_t* s, uint32_t* d, size_t n, uint32_t mask);
// The same on raw bytes of rows whose pixels have identical layouts; p repeats the pattern's bytes.
void CombineBytes(uint8_t table, const uint8_t* p, const uint8_t* s, uint8_t* d, size_t n);
// Writes value into pixels x0 .. x1 - 1 of the row.
void FillValues(TPixelFormat format, uint8_t* row, int32_t x0, int32_t x1, uint32_t value);

} // namespace GraphicsDetail
