// The Netpbm and WBMP front ends of the I/O component. Neither format carries a resolution, so
// neither tells the view one.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

using namespace Korvaneio::detail;

void TKorvaneIO::LoadFromFilePXM(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFilePXM, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtPXM, false, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::PXMReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::LoadFromStreamPXM(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamPXM, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtPXM, false, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::PXMReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::SaveToFilePXM(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFilePXM, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::PXMWriteStream(stream, *FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::SaveToStreamPXM(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamPXM, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::PXMWriteStream(stream, *FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::LoadFromFileWBMP(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileWBMP, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtWBMP, false, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::WBMPReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

void TKorvaneIO::LoadFromStreamWBMP(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamWBMP, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtWBMP, false, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::WBMPReadStream(stream, *FKVBitmap, *FParams, progress, false);
    });
}

// The writer makes the picture 1-bit itself.
void TKorvaneIO::SaveToFileWBMP(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileWBMP, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::WBMPWriteStream(stream, *FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::SaveToStreamWBMP(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamWBMP, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::WBMPWriteStream(stream, *FKVBitmap, *FParams, progress);
    });
}
