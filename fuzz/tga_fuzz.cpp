// Fuzz target of the TGA reader, with and without an alpha mask, and of its probe.
#include "imaging/codecs/tga/kvtgafil.h"

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
    Kvtgafil::TryTGA(input);
    for (bool noMask : {false, true}) {
        input.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        std::unique_ptr<TKVMask> mask;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Kvtgafil::ReadTGAStream(input, bitmap, params, progress, false, mask, noMask);
    }
    return 0;
}
