// LZW coding of GIF image data (variable code width, least significant bit first, data in
// sub-blocks). The GIF codec reaches these coders only through the hooks of the parameter record.
#pragma once

#include "imaging/codecs/params/lzw_hooks.h"

#include <cstdint>

class TStream;

// The coders below have the signatures of the TGIFLZWDecompFunc and TGIFLZWCompFunc hooks.
namespace Giflzw {

int64_t GIFLZWDecompress(TStream& Source, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Dest);
int32_t GIFLZWCompress(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Source,
                       int32_t BitsPerPixel);
// Valid LZW data made of literal codes only, for readers that choke on dictionary codes.
int32_t GIFNONLZWCompress(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced,
                          const uint8_t* Source, int32_t BitsPerPixel);

} // namespace Giflzw
