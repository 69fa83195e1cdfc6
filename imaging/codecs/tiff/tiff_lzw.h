// LZW coding of TIFF strips (Compression 5): 9- to 12-bit codes, most significant bit first,
// the code width raised one code early. Plugged into the parameter record as hooks.
#pragma once

#include "imaging/codecs/params/lzw_hooks.h"

#include <cstdint>

class TStream;

// The coders below have the signatures of the TTIFFLZWDecompFunc and TTIFFLZWCompFunc hooks. A
// nil call frees the decoder's state and sets the id back to 0. The row the decoder returns
// lasts until its next call and is read only: later rows copy their strings from it.
namespace Tiflzw {

uint8_t* TIFFLZWDecompress(const uint8_t* Data, int64_t DataLength, int32_t RowLength, intptr_t& StateId);
void TIFFLZWCompress(const uint8_t* Row, int32_t RowLength, TStream& Stream, intptr_t& StateId);

} // namespace Tiflzw
