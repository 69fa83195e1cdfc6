// Fuzz target of the lossless JPEG transforms. The first 11 bytes choose the operation, the grey
// flag, the markers kept and the cut rectangle (four signed 16-bit values); the rest is the JPEG.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t ChoiceBytes = 11;
    if (size < ChoiceBytes) {
        return 0;
    }
    const auto signed16 = [data](size_t at) {
        return int32_t(int16_t(uint16_t(data[at] | data[at + 1] << 8)));
    };
    const auto operation = TKVJpegTransform(data[0] % 9);
    const bool grey = (data[1] & 1) != 0;
    const auto copy = TKVJpegCopyMarkers(data[2] % 3);
    const TRect cut{signed16(3), signed16(5), signed16(7), signed16(9)};
    TMemoryStream input, output;
    input.WriteBuffer(data + ChoiceBytes, static_cast<int64_t>(size - ChoiceBytes));
    input.SetPosition(0);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Jpegfilt::KVJpegLosslessTransform(input, output, progress, operation, grey, copy, cut);
    return 0;
}
