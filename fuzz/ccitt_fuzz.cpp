// Fuzz target of the fax row decoders: the input decoded by each of them as rows of 153 pixels,
// and from its third byte on as rows of the width its first two bytes give, with the fill order,
// EOL alignment and row count of its third byte. A strip decoder of each coding decodes the same
// rows, which must come out as the row functions give them; but for two-dimensional rows whose
// reference holds runs of no pixels, which the row function, handed the reference as bits, cannot
// see: the row function goes on from the strip's row.
#include "imaging/codecs/tiff/detail/fax_strip.h"
#include "imaging/codecs/tiff/tifccitt.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using Tifccitt::detail::TFaxStrip;

// The strip's next row, which must equal row, its end end and its status status.
void Expect(TFaxStrip& strip, std::vector<uint8_t>& stripRow, const std::vector<uint8_t>& row, int64_t end,
            Tifccitt::TFaxRowStatus status)
{
    Tifccitt::TFaxRowStatus stripStatus = Tifccitt::frOK;
    if (strip.NextRow(stripRow.data(), &stripStatus) != end || stripRow != row || stripStatus != status) {
        std::abort();
    }
}

void DecodeAll(const uint8_t* data, int64_t size, int32_t width, int32_t fillOrder, bool align, int32_t rows)
{
    std::vector<uint8_t> row(size_t((width + 7) / 8)), ref(row.size(), 0xFF), stripRow(row.size());
    TFaxStrip mh(data, size, fillOrder, width, Tifccitt::detail::fcModifiedHuffman);
    TFaxStrip g3(data, size, fillOrder, width, Tifccitt::detail::fcOneDimensional);
    TFaxStrip g4(data, size, fillOrder, width, Tifccitt::detail::fcTwoDimensional);
    int64_t bit1D = 0, bit2D = 0, byteMH = 0;
    Tifccitt::TFaxRowStatus status = Tifccitt::frOK;
    for (int32_t y = 0; y < rows; ++y) {
        bit1D = Tifccitt::_CCITTHuffmanGetLine(row.data(), data, size, width, fillOrder, bit1D, &status);
        Expect(g3, stripRow, row, bit1D, status);
        const bool sameReference = !g4.ReferenceHasEmptyRuns();
        bit2D = Tifccitt::CCITT3_2D_GetLine(row.data(), data, size, align, fillOrder, bit2D, ref.data(),
                                            width, &status);
        if (sameReference) {
            Expect(g4, stripRow, row, bit2D, status);
        } else {
            bit2D = g4.NextRow(stripRow.data(), nullptr);
            ref = stripRow;
        }
        if (byteMH < size) {
            byteMH += Tifccitt::CCITTHuffmanGetLine(row.data(), data + byteMH, size - byteMH, width,
                                                    fillOrder, &status);
            Expect(mh, stripRow, row, byteMH * 8, status);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeAll(data, int64_t(size), 153, 1, false, 64);
    if (size > 3) {
        const int32_t width = 1 + (data[0] | data[1] << 8) % 5000;
        DecodeAll(data + 3, int64_t(size) - 3, width, (data[2] & 1) != 0 ? 2 : 1, (data[2] & 2) != 0,
                  1 + (data[2] >> 2));
    }
    return 0;
}
