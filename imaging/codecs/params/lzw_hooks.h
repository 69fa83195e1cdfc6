// The LZW coder hooks through which the GIF and TIFF codecs reach a plugged-in LZW coder.
#pragma once

#include <cstdint>

class TStream;

// Reads the minimum code size byte and every data sub-block up to and including the terminator
// from source, and fills dest (width x height index bytes) row by row in display order. Returns
// how many pixels it wrote, counted in the order the data stores them (interlace passes one after
// another): fewer than width x height when the data ends or breaks early. A decoder that fails
// leaves the stream where it found it.
using TGIFLZWDecompFunc = int64_t (*)(TStream& source, int32_t height, int32_t width, bool interlaced,
                                      uint8_t* dest);

// Writes the code size byte, the data sub-blocks and the terminator for width x height index bytes
// given in display order.
using TGIFLZWCompFunc = int32_t (*)(TStream& dest, int32_t height, int32_t width, bool interlaced,
                                    const uint8_t* source, int32_t bitsPerPixel);

// Decodes one row of rowLength bytes of a TIFF LZW strip and returns it (nil on failure). The
// first call of a strip (stateId 0) makes a state from data and dataLength, the strip's bytes;
// later calls continue it. A call with data nil frees the state (the id keeps its value).
using TTIFFLZWDecompFunc = uint8_t* (*)(const uint8_t* data, int64_t dataLength, int32_t rowLength,
                                        intptr_t& stateId);

// Codes one row into the strip's code stream on stream; stateId 0 starts a strip. A call with
// row nil ends the strip (pending code, end code, padding) and frees the state.
using TTIFFLZWCompFunc = void (*)(const uint8_t* row, int32_t rowLength, TStream& stream, intptr_t& stateId);
