// Fuzz target of the parameter record's stream reader, with its marker and IPTC lists.
#include "imaging/codecs/params/ioparams.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    TIOParamsVals params;
    params.LoadFromStream(input);
    TMemoryStream output;
    params.SaveToStream(output);

    TKVIPTCInfoList iptc;
    iptc.LoadFromStandardBuffer(data, static_cast<int64_t>(size));
    return 0;
}
