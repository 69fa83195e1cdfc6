// The icon and cursor front ends of the I/O component: the image that Params names, its
// transparency as the alpha channel, and icon files written at the sizes and depths of Params.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

#include <cstring>

using namespace Korvaneio::detail;

// An index outside the directory is a failure, which the codec leaves to its caller to tell.
bool TKorvaneIO::IconIndexInRange(TStream& Stream, bool Cursor)
{
    const int64_t start = Stream.Position();
    char signature[2] = {};
    const bool bitmap = Stream.Read(signature, 2) == 2 && std::memcmp(signature, "BM", 2) == 0;
    Stream.SetPosition(start);
    if (bitmap && !Cursor) {
        return true;
    }
    const int32_t index = Cursor ? FParams->CUR_ImageIndex : FParams->ICO_ImageIndex;
    return index >= 0 && index < Bmpfilt::_EnumICOImStream(Stream);
}

void TKorvaneIO::ReadIcon(TStream& Stream, TKVBitmap& Target, TProgressRec& Progress, bool Cursor,
                          bool ParamsOnly)
{
    if (!IconIndexInRange(Stream, Cursor)) {
        Aborting = true;
        return;
    }
    std::unique_ptr<TKVMask> mask;
    if (Cursor) {
        Bmpfilt::CURReadStream(Stream, Target, *FParams, ParamsOnly, Progress, mask, ParamsOnly);
    } else {
        Bmpfilt::ICOReadStream(Stream, Target, *FParams, ParamsOnly, Progress, mask, ParamsOnly);
    }
    if (!ParamsOnly) {
        TakeAlphaMask(mask);
    }
}

void TKorvaneIO::LoadFromFileICO(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileICO, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtICO, true, [&](TStream& stream, TProgressRec& progress) {
        ReadIcon(stream, *FKVBitmap, progress, false, false);
    });
}

void TKorvaneIO::LoadFromStreamICO(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamICO, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtICO, false, [&](TStream& stream, TProgressRec& progress) {
        ReadIcon(stream, *FKVBitmap, progress, false, false);
    });
}

void TKorvaneIO::LoadFromFileCUR(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileCUR, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtCUR, true, [&](TStream& stream, TProgressRec& progress) {
        ReadIcon(stream, *FKVBitmap, progress, true, false);
    });
}

void TKorvaneIO::LoadFromStreamCUR(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamCUR, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtCUR, false, [&](TStream& stream, TProgressRec& progress) {
        ReadIcon(stream, *FKVBitmap, progress, true, false);
    });
}

// One icon image for each leading entry of ICO_Sizes whose width is set, at most 16.
void TKorvaneIO::WriteIcon(TStream& Stream, TProgressRec& Progress)
{
    size_t count = 0;
    while (count < 16 && FParams->ICO_Sizes[count][0] > 0) {
        ++count;
    }
    Bmpfilt::ICOWriteStream(Stream, *FKVBitmap, *FParams, Progress,
                            std::span<const int32_t[2]>(FParams->ICO_Sizes, count),
                            std::span<const int32_t>(FParams->ICO_BitCount, count));
}

void TKorvaneIO::SaveToFileICO(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileICO, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) { WriteIcon(stream, progress); });
}

void TKorvaneIO::SaveToStreamICO(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamICO, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) { WriteIcon(stream, progress); });
}
