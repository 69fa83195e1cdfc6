// The two-dimensional rows of one fax strip, decoded one after another: each row is decoded
// against the changing elements of the row before it, which are kept as a list rather than found
// again in that row's bits.
#pragma once

#include "imaging/codecs/tiff/tifccitt.h"

#include <cstdint>
#include <memory>

namespace Tifccitt::detail {

class TFax2DStrip
{
public:
    // Rows of width pixels in data (size bytes, FillOrder 1 or 2), the first coded against an
    // all-white row.
    TFax2DStrip(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width);
    ~TFax2DStrip();
    TFax2DStrip(const TFax2DStrip&) = delete;
    TFax2DStrip& operator=(const TFax2DStrip&) = delete;

    // The next row as CCITT3_2D_GetLine gives it; returns the bit position after it.
    int64_t NextRow(uint8_t* row, TFaxRowStatus* status);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace Tifccitt::detail
