// The GIF front ends of the I/O component: the frame that Params names, its transparency as the
// alpha channel, and the background colour the file gives.
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

using namespace Korvaneio::detail;

// A transparent file shows its transparent colour where nothing is drawn, an opaque one its
// background colour.
int32_t TKorvaneIO::ReadGifFrame(TStream& Stream, TProgressRec& Progress)
{
    std::unique_ptr<TKVMask> mask;
    int32_t frames = 0;
    Giffilter::ReadGifStream(Stream, *FKVBitmap, frames, *FParams, Progress, false, mask, false);
    TakeAlphaMask(mask);
    const TRGB background = FParams->GIF_FlagTranspColor ? FParams->GIF_TranspColor : FParams->GIF_Background;
    SetReBackground(Korvaneproc::TRGB2TColor(background));
    ForgetUnusedGifTransparency(*FKVBitmap, *FParams);
    return frames;
}

int32_t TKorvaneIO::LoadFromFileGif(const std::string& FileName)
{
    if (DispatchFileRetInt(&TKorvaneIO::LoadFromFileGif, FileName)) {
        return -1;
    }
    int32_t frames = 0;
    LoadFileWith(FileName, fmtGIF, true,
                 [&](TStream& stream, TProgressRec& progress) { frames = ReadGifFrame(stream, progress); });
    return frames;
}

int32_t TKorvaneIO::LoadFromStreamGif(TStream& Stream)
{
    if (DispatchStreamRetInt(&TKorvaneIO::LoadFromStreamGif, Stream)) {
        return -1;
    }
    int32_t frames = 0;
    LoadStreamWith(Stream, fmtGIF, false,
                   [&](TStream& stream, TProgressRec& progress) { frames = ReadGifFrame(stream, progress); });
    return frames;
}

// Without an LZW encoder in Params or the global hooks the writer sets Aborting and the file
// is not left behind.
void TKorvaneIO::SaveToFileGif(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileGif, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Giffilter::WriteGifStream(stream, *FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::SaveToStreamGif(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamGif, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        Giffilter::WriteGifStream(stream, *FKVBitmap, *FParams, progress);
    });
}
