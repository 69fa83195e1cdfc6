// Fuzz target of TIFF page editing: the input's pages counted, each extracted, the input inserted
// into itself, and pages 0 and 2 deleted.
#include "imaging/codecs/tiff/tiffilt.h"

#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

namespace {

void Load(TMemoryStream& stream, const uint8_t* data, size_t size)
{
    stream.Clear();
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    Load(input, data, size);
    const int32_t pages = Tiffilt::_EnumTIFFImStream(input);
    for (int32_t page = 0; page < pages && page < 4; ++page) {
        TMemoryStream output;
        input.SetPosition(0);
        Tiffilt::_ExtractTIFFImStream(input, page, output);
    }
    TMemoryStream other, joined;
    Load(other, data, size);
    input.SetPosition(0);
    Tiffilt::_InsertTIFFImStream(input, other, 1, joined);
    Load(input, data, size);
    const int32_t indexes[] = {0, 2};
    Tiffilt::_DeleteTIFFImStreamGroup(input, indexes, 2);
    return 0;
}
