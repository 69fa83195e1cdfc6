// The JPEG 2000 codec: JP2 files and raw code streams, read and written through the JPEG 2000
// library over our streams, with the library's temporary stream class.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "platform/core/streams.h"

#include <cstdint>
#include <string>

class TKVBitmap;

// A stream over a new temporary file in the library's temporary folder (Korvaneio::DefTEMPPATH
// when it is set, else the system's, created when missing). The file has no name: it goes with
// the stream, or with the process however that ends.
class TKVTmpStream : public THandleStream
{
public:
    TKVTmpStream();
    ~TKVTmpStream() override;
    TKVTmpStream(const TKVTmpStream&) = delete;
    TKVTmpStream& operator=(const TKVTmpStream&) = delete;
};

namespace Kvj2000 {

// The JP2 signature box (length 12, "jP  ", 0D 0A 87 0A), and a code stream's SOC and SIZ markers.
// Both keep the stream's position.
bool J2KTryStreamJP2(TStream& Stream);
bool J2KTryStreamJ2K(TStream& Stream);

// Decodes the JP2 file or code stream at the stream's position into kv1g (one component of one
// bit) or kv24RGB, tile by tile on as many of the cores the process may use as its work pays for,
// a tile too large for that in windows: grey, RGB or YCbCr colour spaces, alpha channels skipped,
// samples brought to their top 8 bits. Colour boxes that name another colour space the standards
// define, palettes and channel definitions that do not fit the components, library failures,
// streams that end before their last tiles (the tiles decoded are kept) and sizes past the pixel
// budget set the abort flag; a box that names nothing leaves the components to decide. The stream
// is left at the end of the picture's code stream, or of its code-stream box; with ParamsOnly
// only the headers are read, and the stream left where it was.
void J2KReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly);

// Encodes a kv24RGB or kv1g bitmap as a JP2 file (Format 0) or a code stream (Format 1) with
// the reversible wavelet, in one quality layer: lossless for J2000_Rate >= 1, else compressed
// by 1 / J2000_Rate; LRCP progression, or RLCP for ioJ2000_Resolution. BitsPerSample (1 to 16)
// is the precision; J2000_ColorSpace grey gives one component. The stream gets nothing unless
// the encoding succeeds.
void J2KWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    int32_t Format);

// The encoder's option text for the parameters: "rate=" and the rate with a "." decimal point,
// then " prg=lrcp" or " prg=rlcp".
std::string J2KOptions(const TIOParamsVals& Params);

} // namespace Kvj2000
