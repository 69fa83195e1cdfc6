// Fuzz target of the JPEG reader: the whole decode, the parameters-only read and the IPTC
// injection walk the same bytes.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/iptc_list.h"
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
        Jpegfilt::ReadJPegStream(input, nullptr, bitmap, params, progress, paramsOnly);
    }
    input.SetPosition(0);
    TMemoryStream output;
    TKVIPTCInfoList iptc;
    iptc.AddStringItem(2, 120, "caption");
    TProgressRec progress;
    Jpegfilt::KVJpegInjectIPTC(input, output, iptc, progress);
    return 0;
}
