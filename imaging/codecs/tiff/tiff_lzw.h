// LZW coding of TIFF strips (Compression 5): 9- to 12-bit codes, most significant bit first,
// the code width raised one code early. Plugged into the parameter record as hooks.
#pragma once

#include <cstdint>

class TStream;

// Decodes one row per call. StateId is 0 before the first call of a strip; a call with nil
// data frees the state. The result points to RowLength decoded bytes, nil on corrupt data.
using TTIFFLZWDecompFunc = uint8_t* (*)(const uint8_t* Data, int64_t DataLength, int32_t RowLength,
                                        intptr_t& StateId);
// Codes one row per call into one continuous code stream; a nil row ends the strip.
using TTIFFLZWCompFunc = void (*)(const uint8_t* Row, int32_t RowLength, TStream& Stream, intptr_t& StateId);

namespace Tiflzw {

uint8_t* TIFFLZWDecompress(const uint8_t* Data, int64_t DataLength, int32_t RowLength, intptr_t& StateId);
void TIFFLZWCompress(const uint8_t* Row, int32_t RowLength, TStream& Stream, intptr_t& StateId);

} // namespace Tiflzw
