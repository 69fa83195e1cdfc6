// Fax row decoders: Modified Huffman, Group 3 one-dimensional rows and the two-dimensional rows
// of Group 3 and Group 4, a row at a time. Rows are decoded into lists of their changing elements
// and written out as bits once. A row that the data does not finish stays white from there on.
#include "imaging/codecs/tiff/detail/ccitt_row_decoder.h"
#include "imaging/codecs/tiff/tifccitt.h"

#include <cstddef>
#include <cstring>

namespace Tifccitt {

using namespace detail;

int64_t _CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                             int32_t FillOrder, int64_t StartBit, TFaxRowStatus* Status)
{
    const TBitSource source(Data, DataSize, FillOrder);
    TBitReader bits(source, StartBit);
    TChanges row(Width, TChanges::MostIn(DataSize - StartBit / 8));
    const int64_t end = DecodeRow(row, bits, nullptr, Width, Status);
    row.Render(Row);
    return end;
}

int64_t CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                            int32_t FillOrder, TFaxRowStatus* Status)
{
    return (_CCITTHuffmanGetLine(Row, Data, DataSize, Width, FillOrder, 0, Status) + 7) / 8;
}

int64_t CCITT3_2D_GetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, bool /*EOLAlign*/,
                          int32_t FillOrder, int64_t StartBit, uint8_t* RefLine, int32_t Width,
                          TFaxRowStatus* Status)
{
    // EOLs are found by their run of zeros, which covers the fill of aligned EOLs as well.
    const TBitSource source(Data, DataSize, FillOrder);
    TBitReader bits(source, StartBit);
    TChanges reference(Width, Width), row(Width, TChanges::MostIn(DataSize - StartBit / 8));
    reference.FromLine(RefLine);
    const int64_t end = DecodeRow(row, bits, reference.Seal(), Width, Status);
    row.Render(Row);
    std::memcpy(RefLine, Row, size_t((Width + 7) / 8));
    return end;
}

} // namespace Tifccitt
