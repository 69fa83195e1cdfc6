// Fuzz target of the EXIF block reader: the input as an APP1 segment's data, and once more behind
// the "Exif" header when it lacks one. What is read is written back and read again.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/exif_buffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> block(data, data + size);
    if (!Daduvudez::IsEXIFBlock(block.data(), int64_t(block.size()))) {
        block.insert(block.begin(), Daduvudez::EXIFHeader, Daduvudez::EXIFHeader + 6);
    }
    TIOParamsVals params;
    if (Daduvudez::LoadEXIFFromStandardBuffer(block.data(), int64_t(block.size()), params)) {
        std::vector<uint8_t> again;
        Daduvudez::SaveEXIFToStandardBuffer(params, again);
        TIOParamsVals reread;
        Daduvudez::LoadEXIFFromStandardBuffer(again.data(), int64_t(again.size()), reread);
    }
    return 0;
}
