// The PCX codec: 1, 4 and 8-bit single-plane, 24-bit three-plane and 16-colour four-plane
// images, run-length encoded or plain, read into kv1g or kv24RGB and written at 1, 4, 8 or
// 24 bits.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <string>

class TStream;
class TKVBitmap;
class TIOParamsVals;

namespace Pcxfilter {

// The image takes DataLength bytes from the stream's position (cut to what the stream holds);
// an 8-bit image's palette is their last 768 bytes, and its lines end before them. Layouts
// without a decoder, inconsistent headers, sizes past the pixel budget and data that ends before
// the last row set the abort flag; the rows the data does not reach are black.
void ReadPcxStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, int64_t DataLength,
                   TProgressRec& Progress, bool ParamsOnly);
void ReadPcx(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Depth from the parameters: BitsPerSample 1 gives 1 bit, BitsPerSample x SamplesPerPixel 4 or
// 8 a palette of that many bits, anything else 24 bits.
void WritePcxStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
void WritePcx(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

} // namespace Pcxfilter
