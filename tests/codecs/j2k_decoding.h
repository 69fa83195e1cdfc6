// What the JPEG 2000 tests decode bytes into: the bitmap, the parameters and the abort flag.
#pragma once

#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"

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

} // namespace kvtest
