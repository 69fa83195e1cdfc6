// The rows of one fax strip, each decoded against the changing elements of the row before it.
#include "imaging/codecs/tiff/detail/fax_strip.h"

#include "imaging/codecs/tiff/detail/ccitt_row_decoder.h"

#include <algorithm>
#include <utility>

namespace Tifccitt::detail {

struct TFax2DStrip::TState
{
    TState(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width)
        : Source(data, size, fillOrder), Bits(Source, 0), First(width, MostChanges(size)),
          Second(width, MostChanges(size)), Width(width)
    {
    }

    // Two for each bit of the strip at the most: the lists follow the data, not the width.
    static int32_t MostChanges(int64_t size)
    {
        return int32_t(std::min<int64_t>(std::max<int64_t>(size, 0) * 16 + 2, INT32_MAX - 8));
    }

    TBitSource Source;
    TBitReader Bits;
    TChanges First, Second;
    TChanges* Reference = &First;
    TChanges* Row = &Second;
    int32_t Width;
};

TFax2DStrip::TFax2DStrip(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width)
    : FState(std::make_unique<TState>(data, size, fillOrder, width))
{
}

TFax2DStrip::~TFax2DStrip() = default;

int64_t TFax2DStrip::NextRow(uint8_t* row, TFaxRowStatus* status)
{
    TState& s = *FState;
    const int64_t end = DecodeRow(*s.Row, s.Bits, s.Reference->Seal(), s.Width, status);
    s.Row->Render(row);
    std::swap(s.Reference, s.Row);
    return end;
}

} // namespace Tifccitt::detail
