// The JPEG codec: reader, writer, probe and IPTC injection over the linked JPEG library.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/geometry.h"

#include <cstdint>

class TStream;
class TKVBitmap;
class TKVIPTCInfoList;

// Raised by the writer on an error of the JPEG library; the message is the library's text for
// its message code with every value placeholder shown as "?".
class EKVJpegException : public Exception
{
public:
    using Exception::Exception;
};

// The lossless transforms: rotations and mirrors of the DCT blocks, and a cut in whole MCUs.
enum TKVJpegTransform : int32_t
{
    jtNone,
    jtCut,
    jtHorizFlip,
    jtVertFlip,
    jtTranspose,
    jtTransverse,
    jtRotate90,
    jtRotate180,
    jtRotate270
};
// The marker segments a transform keeps: none, the comments, or every APPn segment too.
enum TKVJpegCopyMarkers : int32_t
{
    jcCopyNone,
    jcCopyComments,
    jcCopyAll
};

namespace Jpegfilt {

// Decodes the JPEG at (or within 100 bytes after) the stream's position. tables, when given
// and not the input itself, holds a tables-only JPEG read first (JPEG-compressed TIFF).
// ycbcrOutput hands the decoded components of a three-component image over unconverted.
// hasResolution, when given, tells whether the file gave a resolution (a density in dots per
// inch or centimetre) rather than the screen's standing in for it.
// CMYK is taken as inverted, as Adobe applications store it; with cmykAsTiff (the strips and
// tiles of TIFF pages) only when the stream carries the Adobe segment, else as TIFF stores it.
// Never raises: failures set *progress.Aborting.
void ReadJPegStream(TStream& input, TStream* tables, TKVBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress, bool paramsOnly, bool ycbcrOutput = false,
                    bool* hasResolution = nullptr, bool cmykAsTiff = false);

// Writes a kv24RGB or kv1g bitmap with the settings and marker list of params. A short write
// sets *progress.Aborting; an error of the JPEG library sets it and raises EKVJpegException.
void WriteJPegStream(TStream& output, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress);

// Absolute position of the first FF D8 FF at the stream's position or one of the next 99
// positions; -1 when there is none. The position is restored.
int64_t JpegTryStream(TStream& stream);

// Copies the JPEG of input to output with iptc as its only APP13 segment, placed after the first
// APP0, APP1 or APP13. False when the input is not a JPEG it can walk, has no such segment, or
// the IPTC data does not fit one segment.
bool KVJpegInjectIPTC(TStream& input, TStream& output, const TKVIPTCInfoList& iptc, TProgressRec& progress);

// Rewrites the JPEG of Input (found within 100 bytes) to Output without decoding it. Partial
// MCUs that a mirror would move into the picture are dropped at its right and bottom edges.
// jtCut keeps the whole MCUs that hold Cut (right and bottom inclusive, cut to the picture),
// never past the picture's edge. Grayscale keeps only the grey of a YCbCr or grey picture.
// Never raises: failures (no JPEG, an empty cut, grey asked of other colour spaces, errors of
// the library or the streams) set *Progress.Aborting, and Output may then hold a part.
void KVJpegLosslessTransform(TStream& Input, TStream& Output, TProgressRec& Progress,
                             TKVJpegTransform Transform, bool Grayscale, TKVJpegCopyMarkers CopyMarkers,
                             const TRect& Cut);

// The library's message for a message code, as EKVJpegException carries it.
std::string JpegMessageText(int32_t messageCode);

} // namespace Jpegfilt
