// Fuzz target of the JPEG 2000 reader: the headers alone, then the whole picture.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    for (bool paramsOnly : {true, false}) {
        input.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Kvj2000::J2KReadStream(input, bitmap, params, progress, paramsOnly);
    }
    return 0;
}
