// The TIFF front ends of the I/O component: the page that Params names with its transparency as
// the alpha channel, the "TIFF" stream header, and pages added to an existing file.
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/safe_file_writer.h"

using namespace Korvaneio::detail;

// Offsets count from where the TIFF begins, so a TIFF that follows other data in a stream reads
// as it does on its own. A page index that finds no page decodes nothing: that is a failure here,
// or the bitmap of the load before would pass for this page.
int32_t TKorvaneIO::ReadTIFF(TStream& Stream, TProgressRec& Progress)
{
    std::unique_ptr<TKVMask> mask;
    int32_t pages = 0;
    Tiffilt::TIFFReadStream(FKVBitmap, Stream, pages, FParams.get(), Progress, false, mask, true, false,
                            false);
    if (FParams->TIFF_ImageIndex < 0 || FParams->TIFF_ImageIndex >= pages) {
        Aborting = true;
    }
    TakeAlphaMask(mask);
    return pages;
}

int32_t TKorvaneIO::LoadFromFileTIFF(const std::string& FileName)
{
    if (DispatchFileRetInt(&TKorvaneIO::LoadFromFileTIFF, FileName)) {
        return -1;
    }
    int32_t pages = 0;
    LoadFileWith(FileName, fmtTIFF, true,
                 [&](TStream& stream, TProgressRec& progress) { pages = ReadTIFF(stream, progress); });
    return pages;
}

int32_t TKorvaneIO::LoadFromStreamTIFF(TStream& Stream)
{
    if (DispatchStreamRetInt(&TKorvaneIO::LoadFromStreamTIFF, Stream)) {
        return -1;
    }
    int32_t pages = 0;
    RunOperation([&] {
        Aborting = FKVBitmap == nullptr;
        TProgressRec progress = MakeProgressRec();
        if (Aborting) {
            return;
        }
        const int64_t start = Stream.Position();
        int64_t dataLength = 0;
        if (StreamHeaders && ReadStreamHeader(Stream, "TIFF", dataLength) != THeaderRead::Found) {
            Stream.SetPosition(start + StreamHeaderSize);
            Aborting = true;
            return;
        }
        PrepareLoad();
        pages = ReadTIFF(Stream, progress);
        if (StreamHeaders) {
            Stream.SetPosition(start + StreamHeaderSize + dataLength);
        }
        EndLoad(std::string(), fmtTIFF, true);
    });
    return pages;
}

void TKorvaneIO::SaveToFileTIFF(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileTIFF, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Tiffilt::TIFFWriteStream(stream, false, FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::SaveToStreamTIFF(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamTIFF, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        if (!StreamHeaders) {
            Tiffilt::TIFFWriteStream(stream, false, FKVBitmap, *FParams, progress);
            return;
        }
        const int64_t start = BeginStreamHeader(stream);
        Tiffilt::TIFFWriteStream(stream, false, FKVBitmap, *FParams, progress);
        if (!EndStreamHeader(stream, start, "TIFF")) {
            Aborting = true;
        }
    });
}

int32_t TKorvaneIO::InsertToFileTIFF(const std::string& FileName)
{
    if (DispatchFileRetInt(&TKorvaneIO::InsertToFileTIFF, FileName)) {
        return -1;
    }
    int32_t pages = 0;
    RunOperation([&] {
        TAbortOnException failed(Aborting);
        Aborting = true;
        TProgressRec progress = MakeProgressRec();
        if (!PrepareSave()) {
            return;
        }
        // The file gets its new page in a copy beside it, which replaces it only when complete.
        TFileStream source(FileName, fmOpenRead | fmShareDenyWrite);
        TSafeFileWriter file(FileName);
        file.Stream().CopyFrom(source, 0);
        file.Stream().SetPosition(0);
        Aborting = false;
        pages = Tiffilt::TIFFWriteStream(file.Stream(), true, FKVBitmap, *FParams, progress);
        file.Finish(!Aborting);
        if (Aborting) {
            // The file stays as it was: the count is of its own pages, of either byte order.
            source.SetPosition(0);
            pages = Tiffilt::_EnumTIFFImStream(source);
        }
    });
    return pages;
}
