// LZW coding of GIF image data (variable code width, least significant bit first, data in
// sub-blocks). The GIF codec reaches these coders only through the hooks of the parameter record.
#pragma once

#include <cstdint>

class TStream;

// Reads the minimum code size byte and every data sub-block up to the terminator, filling
// Width x Height index bytes in display order. On failure the stream is put back where it was.
using TGIFLZWDecompFunc = void (*)(TStream& Source, int32_t Height, int32_t Width, bool Interlaced,
                                   uint8_t* Dest);
// Writes the minimum code size byte, the data sub-blocks and the terminator of Width x Height
// index bytes given in display order.
using TGIFLZWCompFunc = int32_t (*)(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced,
                                    const uint8_t* Source, int32_t BitsPerPixel);

namespace Giflzw {

void GIFLZWDecompress(TStream& Source, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Dest);
int32_t GIFLZWCompress(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Source,
                       int32_t BitsPerPixel);
// Valid LZW data made of literal codes only, for readers that choke on dictionary codes.
int32_t GIFNONLZWCompress(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced,
                          const uint8_t* Source, int32_t BitsPerPixel);

} // namespace Giflzw
