// The JPEG 2000 front ends of the I/O component: JP2 files and code streams. The reader tells
// which of the two it has, whatever the name says.
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

using namespace Korvaneio::detail;

void TKorvaneIO::LoadFromFileJP2(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileJP2, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtJP2, true, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::LoadFromStreamJP2(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamJP2, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtJP2, true, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::LoadFromFileJ2K(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileJ2K, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtJ2K, true, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::LoadFromStreamJ2K(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamJ2K, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtJ2K, true, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::SaveToFileJP2(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileJP2, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KWriteStream(stream, *FKVBitmap, *FParams, progress, 0);
    });
}

void TKorvaneIO::SaveToStreamJP2(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamJP2, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KWriteStream(stream, *FKVBitmap, *FParams, progress, 0);
    });
}

void TKorvaneIO::SaveToFileJ2K(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileJ2K, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KWriteStream(stream, *FKVBitmap, *FParams, progress, 1);
    });
}

void TKorvaneIO::SaveToStreamJ2K(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamJ2K, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        Kvj2000::J2KWriteStream(stream, *FKVBitmap, *FParams, progress, 1);
    });
}
