// The PNG front ends of the I/O component: transparency to and from the alpha channel, and the
// background colour of the file.
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

using namespace Korvaneio::detail;

void TKorvaneIO::ReadPNG(TStream& Stream, TProgressRec& Progress)
{
    std::unique_ptr<TKVMask> mask;
    Pngfilt::ReadPNGStream(Stream, *FKVBitmap, *FParams, Progress, false, mask, false);
    TakeAlphaMask(mask);
    SetReBackground(Korvaneproc::TRGB2TColor(FParams->PNG_Background));
}

void TKorvaneIO::WritePNG(TStream& Stream, TProgressRec& Progress)
{
    std::unique_ptr<TKVMask> mask;
    if (FKVBitmap->GetHasAlphaChannel()) {
        mask = std::make_unique<TKVMask>();
        FKVBitmap->GetAlphaChannel()->CopyToTKVMask(mask.get());
    }
    Pngfiltw::WritePNGStream(Stream, *FKVBitmap, *FParams, Progress, mask.get());
}

void TKorvaneIO::LoadFromFilePNG(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFilePNG, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtPNG, true, [&](TStream& stream, TProgressRec& progress) {
        // A file without a background colour of its own keeps the current one.
        FParams->PNG_Background = Korvaneproc::TColor2TRGB(GetReBackground());
        ReadPNG(stream, progress);
    });
}

void TKorvaneIO::LoadFromStreamPNG(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamPNG, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtPNG, true,
                   [&](TStream& stream, TProgressRec& progress) { ReadPNG(stream, progress); });
}

void TKorvaneIO::SaveToFilePNG(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFilePNG, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) { WritePNG(stream, progress); });
}

void TKorvaneIO::SaveToStreamPNG(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamPNG, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) { WritePNG(stream, progress); });
}
