// Fuzz target of the BMP reader, as a file and as a packed DIB without file header.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    for (bool headerless : {false, true}) {
        input.SetPosition(headerless && size >= 14 ? 14 : 0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Bmpfilt::BMPReadStream(input, bitmap, 0, params, progress, false, headerless);
    }
    return 0;
}
