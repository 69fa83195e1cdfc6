// What the JPEG 2000 tests decode bytes into (the bitmap, the parameters and the abort flag), and
// the pictures and boxes they make for opj_compress and the library.
#pragma once

#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

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

// opj_compress's file of a picture of luma and two chroma components, the chroma sampled every
// stepAcross x stepDown points, its origin at (x0, y0); opj_compress marks a JP2 file of such
// chroma sYCC. Empty when opj_compress fails.
std::string CompressPlanes(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                           int32_t stepAcross, int32_t stepDown, int32_t x0, int32_t y0,
                           const std::string& options);

// What opj_decompress makes of the file, its components brought to the picture's grid.
TPnmImage OpjDecompressed(const TempFolder& folder, const std::string& name, const std::string& bytes);

// The largest difference of any sample between opj_decompress's picture and the bitmap, over the
// pixels from (fromX, fromY) up to (toX, toY), exclusive; -1 when the sizes differ.
int32_t MaxDifferenceWithin(const TPnmImage& theirs, TKVBitmap& bitmap, int32_t fromX, int32_t fromY,
                            int32_t toX, int32_t toY);

// A JP2 file with its first colour box's contents replaced.
std::string WithColourBox(const std::string& jp2, const std::string& contents);

// A JP2 file with boxes added at the end of its header box.
std::string WithHeaderBoxes(const std::string& jp2, const std::string& boxes);

// Channel definitions of three colour channels, which the library applies only to a picture or a
// window of it decoded whole: the reader then decodes in windows.
std::string J2kColourChannels();

// A box: its length, its type and its contents.
std::string J2kBox(const char (&type)[5], const std::string& contents);

} // namespace kvtest
