// The rows of one fax strip, decoded one after another into lists of their changing elements. The
// lists follow the strip's data, not the rows' width: a row cannot have more changes than twice
// the strip's bits, so they are made once a strip at that size. Two-dimensional rows are decoded
// against the list of the row before them rather than finding its changes again in its bits.
#pragma once

#include "imaging/codecs/tiff/tifccitt.h"

#include <cstdint>
#include <memory>

namespace Tifccitt::detail {

// How a strip's rows are coded: Modified Huffman (rows one-dimensional and byte-aligned), Group 3
// one-dimensional, or two-dimensional (Group 4, and Group 3 rows led by an EOL and a tag bit).
enum TFaxCoding : uint8_t
{
    fcModifiedHuffman,
    fcOneDimensional,
    fcTwoDimensional
};

class TFaxStrip
{
public:
    // Rows of width pixels in data (size bytes, FillOrder 1 or 2); two-dimensional rows start
    // against an all-white row.
    TFaxStrip(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width, TFaxCoding coding);
    ~TFaxStrip();
    TFaxStrip(const TFaxStrip&) = delete;
    TFaxStrip& operator=(const TFaxStrip&) = delete;

    // The next row as the row functions of its coding give it; returns the bit position after it,
    // at a whole byte for Modified Huffman rows.
    int64_t NextRow(uint8_t* row, TFaxRowStatus* status);
    // Whether the next two-dimensional row is decoded against runs of no pixels that the row before
    // it left: changing elements that its bits, and so the row functions handed them, do not show.
    bool ReferenceHasEmptyRuns() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace Tifccitt::detail
