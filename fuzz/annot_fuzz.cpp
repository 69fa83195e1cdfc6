// Fuzz target of the imaging annotation reader: the input as an annotation block; what is read
// is written back and read again.
#include "imaging/core/imaging_annot.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TKVImagingAnnot annot;
    annot.LoadFromStandardBuffer(data, int64_t(size));
    const std::vector<uint8_t> block = annot.SaveToStandardBuffer();
    TKVImagingAnnot again;
    again.LoadFromStandardBuffer(block.data(), int64_t(block.size()));
    return 0;
}
