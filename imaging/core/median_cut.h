// The median-cut quantizer: boxes of the 5-bit colour cube split where the variance drops most,
// answered by one look-up in a table of the cube's cells.
#pragma once

#include "imaging/core/quantizer_rows.h"
#include "platform/core/classes.h"

#include <array>
#include <memory>
#include <span>
#include <vector>

namespace Stdquant {

// A box of the colour cube: bounds per axis in 5-bit units, lower inclusive, upper exclusive.
struct TMedianCutBox
{
    double variance = 0;
    double mean[3] = {0, 0, 0}; // red, green, blue
    int64_t count = 0;
    std::array<int64_t, 32> hist[3] = {}; // red, green, blue bins
    int32_t lower[3] = {0, 0, 0};
    int32_t upper[3] = {32, 32, 32};
};

struct TMedianCutState
{
    std::vector<int64_t> histogram = std::vector<int64_t>(32768, 0); // r5 << 10 | g5 << 5 | b5
    std::vector<TMedianCutBox> boxes;
    std::vector<uint8_t> cellTable = std::vector<uint8_t>(32768, 0);
    int64_t pixelCount = 0;
    int32_t NCol = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Builds the quantizer from 3-byte pixels and writes one palette entry per box made; entries
// past the last box are left as they are.
std::unique_ptr<TMedianCutState> CreateMedianCutQuantizer(const Neurquant::TRgbRows& source,
                                                          std::span<TRGB> ColorMap, int32_t NCol);

// The same over a library bitmap (TKVBitmap) or a class-library bitmap (TBitmap); any other
// object, or an image that is not 24-bit, is refused (nullptr, the palette untouched).
std::unique_ptr<TMedianCutState> CreateMedianCutQuantizer(TObject* Bitmap, std::span<TRGB> ColorMap,
                                                          int32_t NCol);

int32_t MedianCutFindIndex(const TMedianCutState& state, const TRGB& color);

void FreeMedianCutQuantizer(std::unique_ptr<TMedianCutState>& state);

} // namespace Stdquant
