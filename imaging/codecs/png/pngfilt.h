// The PNG codec: reader, probe and writer over the linked PNG library. Transparency travels in
// an 8-bit TKVMask beside the bitmap (255 opaque).
#pragma once

#include "imaging/codecs/params/ioparams.h"

#include <memory>

class TStream;
class TKVBitmap;
class TKVMask;

namespace Pngfilt {

// Decodes the PNG at the stream's position. Unless noAlpha, alphaMask (created when empty) gets
// the image's transparency; with noAlpha, transparency is composed onto the file's background
// colour, or PNG_Background when the file names none. Faults of the PNG data set
// *progress.Aborting and end the read quietly; exceptions of the stream pass to the caller.
void ReadPNGStream(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool paramsOnly, std::unique_ptr<TKVMask>& alphaMask, bool noAlpha);

// True when the stream's first four bytes are those of the PNG signature; the position is kept.
bool IsPNGStream(TStream& stream);

} // namespace Pngfilt

namespace Pngfiltw {

// Writes bitmap (with the transparency of alphaMask when it has any) as PNG: RGB, RGB with
// alpha, palette or grey by params.SamplesPerPixel and BitsPerSample. A short write sets
// *progress.Aborting; an error of the PNG library raises Exception "Error on creating PNG".
void WritePNGStream(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                    const TKVMask* alphaMask = nullptr);

} // namespace Pngfiltw
