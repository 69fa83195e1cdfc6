// The TGA front ends of the I/O component: the alpha of 32-bit and grey-with-alpha files
// becomes the alpha channel, and the alpha channel goes to the writer as a mask.
#include "imaging/codecs/tga/kvtgafil.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

using namespace Korvaneio::detail;

void TKorvaneIO::ReadTGA(TStream& Stream, TProgressRec& Progress)
{
    std::unique_ptr<TKVMask> mask;
    Kvtgafil::ReadTGAStream(Stream, *FKVBitmap, *FParams, Progress, false, mask, false);
    TakeAlphaMask(mask);
}

void TKorvaneIO::WriteTGA(TStream& Stream, TProgressRec& Progress)
{
    std::unique_ptr<TKVMask> mask;
    if (FKVBitmap->GetHasAlphaChannel()) {
        mask = std::make_unique<TKVMask>();
        FKVBitmap->GetAlphaChannel()->CopyToTKVMask(mask.get());
    }
    Kvtgafil::WriteTGAStream(Stream, *FKVBitmap, *FParams, Progress, mask.get());
}

void TKorvaneIO::LoadFromFileTGA(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileTGA, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtTGA, true,
                 [&](TStream& stream, TProgressRec& progress) { ReadTGA(stream, progress); });
}

void TKorvaneIO::LoadFromStreamTGA(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamTGA, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtTGA, false,
                   [&](TStream& stream, TProgressRec& progress) { ReadTGA(stream, progress); });
}

void TKorvaneIO::SaveToFileTGA(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileTGA, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) { WriteTGA(stream, progress); });
}

void TKorvaneIO::SaveToStreamTGA(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamTGA, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) { WriteTGA(stream, progress); });
}
