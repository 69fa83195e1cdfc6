// What the JPEG 2000 tests decode bytes into (the bitmap, the parameters and the abort flag), and
// the pictures and boxes they make for opj_compress and the library.
#pragma once

#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"

#include <cstdint>
#include <string>

namespace kvtest {

struct J2kDecoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
};

inline void DecodeJ2k(const std::string& bytes, J2kDecoded& d, bool paramsOnly = false)
{
    TMemoryStream stream;
    FillStream(stream, bytes);
    TProgressRec progress = ProgressInto(d.Aborted);
    Kvj2000::J2KReadStream(stream, d.Bitmap, d.Params, progress, paramsOnly);
}

// Raw planes for opj_compress -F: luma of width x height, then blue and red chroma, each sampled
// every stepAcross x stepDown pixels. Smooth and within range, so that colours stay in RGB.
std::string YccPlanes(int32_t width, int32_t height, int32_t stepAcross, int32_t stepDown);

// The largest difference of any sample between opj_decompress's picture and the bitmap, over the
// pixels from (fromX, fromY) on; -1 when the sizes differ.
int32_t MaxDifferenceFrom(const TPnmImage& theirs, TKVBitmap& bitmap, int32_t fromX, int32_t fromY);

// A JP2 file with its first colour box's contents replaced.
std::string WithColourBox(const std::string& jp2, const std::string& contents);

// A JP2 file with boxes added at the end of its header box.
std::string WithHeaderBoxes(const std::string& jp2, const std::string& boxes);

// A box: its length, its type and its contents.
std::string J2kBox(const char (&type)[5], const std::string& contents);

} // namespace kvtest
