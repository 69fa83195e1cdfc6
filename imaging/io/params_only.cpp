// Reading a picture's parameters (size, depth, resolution, metadata) without its pixels.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/pcx/pcxfilter.h"
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/codecs/tga/kvtgafil.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

using namespace Korvaneio::detail;

// The codecs read into a bitmap of their own here, so the working bitmap keeps its pixels. A
// format that nothing can read, registered or not, fails.
void TKorvaneIO::ReadParams(TStream& Stream, int32_t FileType, int64_t DataLength, TProgressRec& Progress)
{
    TKVBitmap scratch;
    std::unique_ptr<TKVMask> mask;
    int32_t frames = 0;
    switch (FileType) {
    case fmtGIF:
        Giffilter::ReadGifStream(Stream, scratch, frames, *FParams, Progress, true, mask, false);
        break;
    case fmtJPEG:
        ReadJpeg(Stream, scratch, Progress, true);
        break;
    case fmtPNG:
        Pngfilt::ReadPNGStream(Stream, scratch, *FParams, Progress, true, mask, false);
        break;
    case fmtBMP:
        Bmpfilt::BMPReadStream(Stream, scratch, DataLength, *FParams, Progress, true, false);
        break;
    case fmtTIFF:
        Tiffilt::TIFFReadStream(&scratch, Stream, frames, FParams.get(), Progress, true, mask, true, true,
                                false);
        break;
    case fmtPCX:
        Pcxfilter::ReadPcxStream(Stream, scratch, *FParams, DataLength, Progress, true);
        break;
    case fmtICO:
    case fmtCUR:
        ReadIcon(Stream, scratch, Progress, FileType == fmtCUR, true);
        break;
    case fmtTGA:
        Kvtgafil::ReadTGAStream(Stream, scratch, *FParams, Progress, true, mask, false);
        break;
    case fmtJP2:
    case fmtJ2K:
        Kvj2000::J2KReadStream(Stream, scratch, *FParams, Progress, true);
        break;
    case fmtPXM:
        Bmpfilt::PXMReadStream(Stream, scratch, *FParams, Progress, true);
        break;
    case fmtWBMP:
        Bmpfilt::WBMPReadStream(Stream, scratch, *FParams, Progress, true);
        break;
    default: {
        const TKVFileFormatInfo* info = Korvaneio::KVFileFormatGetInfo(FileType);
        if (info == nullptr || info->ReadFunction == nullptr) {
            Aborting = true;
            return;
        }
        info->ReadFunction(Stream, scratch, *FParams, Progress, true);
        break;
    }
    }
}

// WBMP has no signature that content detection could find: its extension names it.
void TKorvaneIO::ParamsFromFile(const std::string& FileName)
{
    try {
        int32_t fileType = Korvaneio::FindFileFormat(FileName, true);
        if (fileType == fmtUnknown && LowerCase(ExtractFileExt(FileName)) == ".wbmp") {
            fileType = fmtWBMP;
        }
        ParamsFromFileFormat(FileName, fileType);
    } catch (...) {
        FParams->FileType = fmtUnknown;
    }
}

void TKorvaneIO::ParamsFromFileFormat(const std::string& FileName, int32_t FileType)
{
    TOperationScope scope(*FWork);
    FParams->FileType = FileType;
    FParams->ResetInfo();
    Aborting = true;
    TProgressRec progress = MakeProgressRec(false);
    try {
        TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        Aborting = false;
        ReadParams(stream, FileType, stream.Size(), progress);
    } catch (...) {
        FParams->FileType = fmtUnknown;
    }
    if (Aborting) {
        FParams->FileType = fmtUnknown;
    }
    FParams->FileName = FileName;
    DoFinishWork();
}

void TKorvaneIO::ParamsFromStream(TStream& Stream)
{
    try {
        ParamsFromStreamFormat(Stream, Korvaneio::FindStreamFormat(Stream));
    } catch (...) {
        FParams->FileType = fmtUnknown;
    }
}

// A stream with a header must be placed after it by the caller.
void TKorvaneIO::ParamsFromStreamFormat(TStream& Stream, int32_t FileType)
{
    TOperationScope scope(*FWork);
    FParams->FileType = FileType;
    FParams->ResetInfo();
    Aborting = false;
    TProgressRec progress = MakeProgressRec(false);
    try {
        ReadParams(Stream, FileType, Stream.Size(), progress);
    } catch (...) {
        FParams->FileType = fmtUnknown;
    }
    if (Aborting) {
        FParams->FileType = fmtUnknown;
    }
    DoFinishWork();
}
