// The TGA codec: colour-mapped, true-colour and grey images, plain or run-length encoded, with
// the extension area and footer of version 2, read into kv1g or kv24RGB (alpha into a mask)
// and written at 1, 8, 24 or 32 bits.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <memory>

class TStream;
class TKVBitmap;
class TKVMask;
class TIOParamsVals;

namespace Kvtgafil {

// True when the 18 bytes at the stream's position could be a TGA header; the position is kept.
bool TryTGA(TStream& Stream);

// Decodes the TGA at the stream's position. Unless NoMask, AlphaMask (created when empty) gets
// the alpha of 32-bit pixels and of 16-bit grey pixels (grey in the low byte, alpha in the
// high one) when the header says they carry alpha. Depth 4, 1-bit run-length data, sizes past
// the pixel budget, impossible headers and data that ends before the last row set the abort
// flag; the rows the data does not reach are black.
void ReadTGAStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TKVMask>& AlphaMask, bool NoMask);

// Writes a kv24RGB or kv1g bitmap: SamplesPerPixel 1 with BitsPerSample 1, 4 or 8 gives 1 bit
// or a palette of 16 or 256 colours (grey levels with TGA_GrayLevel); otherwise 24 bits, or 32
// uncompressed bits when AlphaMask is given and not full.
void WriteTGAStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    const TKVMask* AlphaMask = nullptr);

// Packs one row of pixels of 1 or 3 bytes into run and raw packets; returns the bytes written
// (Output needs Count * (PixelBytes + 1) bytes).
int32_t EncodeTGARLE(const uint8_t* Pixels, int32_t Count, int32_t PixelBytes, uint8_t* Output);

} // namespace Kvtgafil
