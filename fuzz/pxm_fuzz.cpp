// Fuzz target of the Netpbm probe and reader and of the WBMP reader, all on the same input.
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
    input.SetPosition(0);
    Bmpfilt::TryPXM(input);
    for (bool wbmp : {false, true}) {
        input.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        if (wbmp) {
            Bmpfilt::WBMPReadStream(input, bitmap, params, progress, false);
        } else {
            Bmpfilt::PXMReadStream(input, bitmap, params, progress, false);
        }
    }
    return 0;
}
