// Fuzz target of the icon and cursor readers and probes: the first two images as an icon, the
// first as a cursor.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    Bmpfilt::ICOTryStream(input);
    Bmpfilt::CURTryStream(input);
    for (int run = 0; run < 3; ++run) {
        input.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        std::unique_ptr<TKVMask> mask;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        if (run < 2) {
            params.ICO_ImageIndex = run;
            Bmpfilt::ICOReadStream(input, bitmap, params, false, progress, mask, false);
        } else {
            Bmpfilt::CURReadStream(input, bitmap, params, false, progress, mask, false);
        }
    }
    return 0;
}
