// Fuzz target of the AVI reader glue: the file is opened from memory and frames are read in an
// order that decodes on, seeks back and jumps.
#include "imaging/core/daduvudez.h"
#include "imaging/io/kvvfw.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    Kvvfw::TAVIReader reader;
    if (!reader.Open(input)) {
        return 0;
    }
    const int32_t last = reader.FrameCount() - 1;
    TKVBitmap frame;
    for (int32_t index : {0, 1, last, last / 2, 0, last + 1, -1}) {
        reader.ReadFrame(index, frame);
    }
    return 0;
}
