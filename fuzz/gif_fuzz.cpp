// Fuzz target of the GIF reader, of frame insertion, which walks every block of the file, and of
// setting the logical screen, which reads the header in place.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    struct Pass
    {
        int32_t frame;
        bool paramsOnly, noAlpha;
    };
    for (const Pass& pass : {Pass{0, false, false}, Pass{1, false, true}, Pass{0, true, false}}) {
        input.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        params.GIF_ImageIndex = pass.frame;
        params.GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
        std::unique_ptr<TKVMask> mask;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        int32_t frames = 0;
        Giffilter::ReadGifStream(input, bitmap, frames, params, progress, pass.paramsOnly, mask,
                                 pass.noAlpha);
    }

    TKVBitmap frame;
    frame.Allocate(3, 2, kv24RGB);
    frame.Fill(0);
    TIOParamsVals params;
    params.GIF_ImageIndex = 1;
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    input.SetPosition(0);
    Giffilter::_InsertGifImStream(input, frame, params, progress);
    input.SetPosition(0);
    Giffilter::_GifSetScreenStream(input, 70000, 90);
    return 0;
}
