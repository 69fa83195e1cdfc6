// The BMP front ends of the I/O component. The codec itself gives the bitmap the alpha channel of
// a file with an alpha mask and writes it back, so there is no mask to pass here.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

using namespace Korvaneio::detail;

void TKorvaneIO::LoadFromFileBMP(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileBMP, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtBMP, true, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::BMPReadStream(stream, *FKVBitmap, stream.Size(), *FParams, progress, false, false);
    });
}

// A length of 0 makes the reader take the size that the file header gives.
void TKorvaneIO::LoadFromStreamBMP(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamBMP, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtBMP, false, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::BMPReadStream(stream, *FKVBitmap, 0, *FParams, progress, false, false);
    });
}

void TKorvaneIO::SaveToFileBMP(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileBMP, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::BMPWriteStream(stream, *FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::SaveToStreamBMP(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamBMP, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        Bmpfilt::BMPWriteStream(stream, *FKVBitmap, *FParams, progress);
    });
}
