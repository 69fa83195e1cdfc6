// The rows of one fax strip, each one-dimensional or decoded against the changing elements of the
// row before it.
#include "imaging/codecs/tiff/detail/fax_strip.h"

#include "imaging/codecs/tiff/detail/ccitt_row_decoder.h"

#include <utility>

namespace Tifccitt::detail {

struct TFaxStrip::TState
{
    TState(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width, TFaxCoding coding)
        : Source(data, size, fillOrder), Bits(Source, 0), First(width, TChanges::MostIn(size)),
          Second(width, coding == fcTwoDimensional ? TChanges::MostIn(size) : 0), Width(width), Coding(coding)
    {
    }

    TBitSource Source;
    TBitReader Bits;
    TChanges First, Second;
    TChanges* Reference = &First;
    TChanges* Row = &Second;
    int32_t Width;
    TFaxCoding Coding;
};

TFaxStrip::TFaxStrip(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width, TFaxCoding coding)
    : FState(std::make_unique<TState>(data, size, fillOrder, width, coding))
{
}

TFaxStrip::~TFaxStrip() = default;

int64_t TFaxStrip::NextRow(uint8_t* row, TFaxRowStatus* status)
{
    TState& s = *FState;
    if (s.Coding != fcTwoDimensional) {
        int64_t end = DecodeRow(s.First, s.Bits, nullptr, s.Width, status);
        s.First.Render(row);
        if (s.Coding == fcModifiedHuffman) {
            end = (end + 7) / 8 * 8;
            s.Bits = TBitReader(s.Source, end);
        }
        return end;
    }
    const int64_t end = DecodeRow(*s.Row, s.Bits, s.Reference->Seal(), s.Width, status);
    s.Row->Render(row);
    std::swap(s.Reference, s.Row);
    return end;
}

bool TFaxStrip::ReferenceHasEmptyRuns() const
{
    return FState->Coding == fcTwoDimensional && FState->Reference->HasEmptyRuns();
}

} // namespace Tifccitt::detail
