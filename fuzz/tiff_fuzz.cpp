// Fuzz target of the TIFF reader. The input is read as a TIFF with the default settings, and once
// more from its second byte, offsets counting from there, with the page and flags taken from its
// first byte: page (bits 0-2), parameters only (3), no alpha (4), empty pages allowed (5), pages
// turned upright (6).
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/codecs/tiff/tiffilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>

namespace {

void Read(const uint8_t* data, size_t size, int64_t start, uint8_t control)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(start);
    TKVBitmap bitmap;
    TIOParamsVals params;
    params.TIFF_LZWDecompress = Tiflzw::TIFFLZWDecompress;
    params.TIFF_ImageIndex = control & 7;
    params.TIFF_EnableAdjustOrientation = (control & 0x40) != 0;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TKVMask> alpha;
    int32_t pages = 0;
    Tiffilt::TIFFReadStream(&bitmap, input, pages, &params, progress, (control & 8) != 0, alpha, true,
                            (control & 0x10) != 0, (control & 0x20) != 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Read(data, size, 0, 0);
    if (size > 1) {
        Read(data, size, 1, data[0]);
    }
    return 0;
}
