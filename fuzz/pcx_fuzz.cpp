// Fuzz target of the PCX reader, with the input's own length and a length that claims more.
#include "imaging/codecs/pcx/pcxfilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    for (const int64_t length : {static_cast<int64_t>(size), static_cast<int64_t>(size) * 2 + 1000}) {
        input.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Pcxfilter::ReadPcxStream(input, bitmap, params, length, progress, false);
    }
    return 0;
}
