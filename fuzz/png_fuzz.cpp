// Fuzz target of the PNG reader: the transparency composed away, and kept as the alpha channel
// of a load through the I/O component.
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    TKVBitmap bitmap;
    TIOParamsVals params;
    std::unique_ptr<TKVMask> mask;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Pngfilt::ReadPNGStream(input, bitmap, params, progress, false, mask, true);
    input.SetPosition(0);
    TKorvaneIO io(nullptr);
    io.LoadFromStreamPNG(input);
    return 0;
}
