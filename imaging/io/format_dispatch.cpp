// The generic operations of the I/O component: loading and saving by file extension, by format
// id and by content, handed to the per-format front ends or, for formats registered at run time,
// to the functions of the format table.
#include "imaging/core/daduvudez.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

#include <utility>

using namespace Korvaneio::detail;

namespace {

struct TExtensionRoute
{
    const char* Extension; // lower case, with its dot
    int32_t FileType;
};

// The extensions that the front ends read, in the order they are compared. A PIX file is a TGA
// file; a PNM file is any of the Netpbm forms.
constexpr TExtensionRoute LoadRoutes[] = {
    {".jpg", fmtJPEG}, {".jpeg", fmtJPEG}, {".jpe", fmtJPEG}, {".jp2", fmtJP2},   {".j2k", fmtJ2K},
    {".jpc", fmtJ2K},  {".j2c", fmtJ2K},   {".png", fmtPNG},  {".tif", fmtTIFF},  {".tiff", fmtTIFF},
    {".fax", fmtTIFF}, {".g3n", fmtTIFF},  {".g3f", fmtTIFF}, {".pcx", fmtPCX},   {".gif", fmtGIF},
    {".wmf", fmtWMF},  {".emf", fmtEMF},   {".bmp", fmtBMP},  {".dib", fmtBMP},   {".rle", fmtBMP},
    {".cur", fmtCUR},  {".ico", fmtICO},   {".tga", fmtTGA},  {".targa", fmtTGA}, {".vda", fmtTGA},
    {".icb", fmtTGA},  {".vst", fmtTGA},   {".win", fmtTGA},  {".pix", fmtTGA},   {".pxm", fmtPXM},
    {".ppm", fmtPXM},  {".pgm", fmtPXM},   {".pbm", fmtPXM},  {".pnm", fmtPXM},   {".wbmp", fmtWBMP},
    {".avi", fmtAVI},
};

// The extensions that the front ends write. Metafiles, cursors and AVI files have no writer here.
// A PNM file takes the Netpbm form that the parameters choose, as the other Netpbm names do.
constexpr TExtensionRoute SaveRoutes[] = {
    {".jpg", fmtJPEG},  {".jpeg", fmtJPEG}, {".jpe", fmtJPEG}, {".jp2", fmtJP2},  {".j2k", fmtJ2K},
    {".jpc", fmtJ2K},   {".j2c", fmtJ2K},   {".pcx", fmtPCX},  {".gif", fmtGIF},  {".tif", fmtTIFF},
    {".tiff", fmtTIFF}, {".fax", fmtTIFF},  {".g3f", fmtTIFF}, {".g3n", fmtTIFF}, {".png", fmtPNG},
    {".bmp", fmtBMP},   {".dib", fmtBMP},   {".rle", fmtBMP},  {".tga", fmtTGA},  {".targa", fmtTGA},
    {".vda", fmtTGA},   {".icb", fmtTGA},   {".vst", fmtTGA},  {".win", fmtTGA},  {".pix", fmtTGA},
    {".pxm", fmtPXM},   {".pbm", fmtPXM},   {".pgm", fmtPXM},  {".ppm", fmtPXM},  {".pnm", fmtPXM},
    {".ico", fmtICO},   {".wbmp", fmtWBMP},
};

template <size_t N> int32_t RouteOf(const TExtensionRoute (&routes)[N], const std::string& extension)
{
    for (const TExtensionRoute& route : routes) {
        if (extension == route.Extension) {
            return route.FileType;
        }
    }
    return fmtUnknown;
}

// The built-in formats: they are read and written only by front ends, never through the table.
bool IsBuiltIn(int32_t fileType)
{
    return fileType >= fmtTIFF && fileType <= fmtWBMP && fileType != fmtAVI;
}

} // namespace

void TKorvaneIO::LoadFileFrontEnd(const std::string& FileName, int32_t FileType)
{
    switch (FileType) {
    case fmtGIF:
        LoadFromFileGif(FileName);
        break;
    case fmtJPEG:
        LoadFromFileJpeg(FileName);
        break;
    case fmtBMP:
        LoadFromFileBMP(FileName);
        break;
    case fmtPNG:
        LoadFromFilePNG(FileName);
        break;
    case fmtTIFF:
        LoadFromFileTIFF(FileName);
        break;
    case fmtPCX:
        LoadFromFilePCX(FileName);
        break;
    case fmtICO:
        LoadFromFileICO(FileName);
        break;
    case fmtCUR:
        LoadFromFileCUR(FileName);
        break;
    case fmtTGA:
        LoadFromFileTGA(FileName);
        break;
    case fmtJP2:
        LoadFromFileJP2(FileName);
        break;
    case fmtJ2K:
        LoadFromFileJ2K(FileName);
        break;
    case fmtPXM:
        LoadFromFilePXM(FileName);
        break;
    case fmtWBMP:
        LoadFromFileWBMP(FileName);
        break;
    case fmtWMF:
    case fmtEMF:
        ImportMetafile(FileName, -1, -1, true);
        break;
    case fmtAVI: {
        TOperationScope scope(*FWork);
        OpenAVIFile(FileName);
        // The format table has no AVI row; the type still tells the caller, and the finish event
        // of the frame's load, what was read.
        FParams->FileType = fmtAVI;
        LoadFromAVI(0);
        CloseAVIFile();
        break;
    }
    default:
        NoFrontEndLoad();
        break;
    }
}

void TKorvaneIO::LoadStreamFrontEnd(TStream& Stream, int32_t FileType)
{
    switch (FileType) {
    case fmtGIF:
        LoadFromStreamGif(Stream);
        break;
    case fmtJPEG:
        LoadFromStreamJpeg(Stream);
        break;
    case fmtBMP:
        LoadFromStreamBMP(Stream);
        break;
    case fmtPNG:
        LoadFromStreamPNG(Stream);
        break;
    case fmtTIFF:
        LoadFromStreamTIFF(Stream);
        break;
    case fmtPCX:
        LoadFromStreamPCX(Stream);
        break;
    case fmtICO:
        LoadFromStreamICO(Stream);
        break;
    case fmtCUR:
        LoadFromStreamCUR(Stream);
        break;
    case fmtTGA:
        LoadFromStreamTGA(Stream);
        break;
    case fmtJP2:
        LoadFromStreamJP2(Stream);
        break;
    case fmtJ2K:
        LoadFromStreamJ2K(Stream);
        break;
    case fmtPXM:
        LoadFromStreamPXM(Stream);
        break;
    case fmtWBMP:
        LoadFromStreamWBMP(Stream);
        break;
    default:
        NoFrontEndLoad();
        break;
    }
}

void TKorvaneIO::NoFrontEndSave()
{
    TOperationScope scope(*FWork);
    Aborting = true;
    FWork->ErrorText = "There is no writer for this format";
}

void TKorvaneIO::LoadFromFile(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFile, FileName)) {
        return;
    }
    if (FileName.empty()) {
        NoFrontEndLoad();
        return;
    }
    if (LowerCase(FileName.substr(0, 7)) == "http://") {
        LoadFromURL(FileName);
        return;
    }
    const std::string extension = LowerCase(ExtractFileExt(FileName));
    const int32_t fileType = RouteOf(LoadRoutes, extension);
    if (fileType != fmtUnknown) {
        LoadFileFrontEnd(FileName, fileType);
        return;
    }
    LoadFileThroughTable(
        FileName, extension.empty() ? nullptr : Korvaneio::KVFileFormatGetInfo2(extension.substr(1)), true);
}

void TKorvaneIO::LoadFromFileFormat(const std::string& FileName, int32_t FileType)
{
    if (DispatchFileFormat(&TKorvaneIO::LoadFromFileFormat, FileName, FileType)) {
        return;
    }
    if (IsBuiltIn(FileType)) {
        LoadFileFrontEnd(FileName, FileType);
        return;
    }
    LoadFileThroughTable(FileName, Korvaneio::KVFileFormatGetInfo(FileType), false);
}

// A format of the table: its read function on the opened file. CatchErrors (by extension) turns
// an exception of the read function into Aborting; by format id it passes to the caller, and the
// resolution is then passed on whatever the outcome.
void TKorvaneIO::LoadFileThroughTable(const std::string& FileName, const TKVFileFormatInfo* Info,
                                      bool CatchErrors)
{
    RunOperation([&] {
        FParams->ResetInfo();
        FParams->FileName.clear();
        FParams->FileType = fmtUnknown;
        Aborting = true;
        if (Info == nullptr || Info->ReadFunction == nullptr || FKVBitmap == nullptr) {
            return;
        }
        const TKVReadImageStream readFunction = Info->ReadFunction;
        const int32_t fileType = Info->FileType;
        TProgressRec progress = MakeProgressRec();
        Reencapsulate();
        TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        Aborting = false;
        FParams->FileName = FileName;
        FParams->FileType = fileType;
        FKVBitmap->RemoveAlphaChannel();
        if (CatchErrors) {
            try {
                readFunction(stream, *FKVBitmap, *FParams, progress, false);
            } catch (...) {
                Aborting = true;
            }
        } else {
            readFunction(stream, *FKVBitmap, *FParams, progress, false);
        }
        if (!Aborting || !CatchErrors) {
            if (AutoAdjustDPI) {
                AdjustDPI();
            }
            if (FAttachedKorvane != nullptr) {
                FAttachedKorvane->SetDPI(FParams->DpiX, FParams->DpiY);
            }
        }
        Update();
    });
}

void TKorvaneIO::SaveToFile(const std::string& FileName)
{
    if (FileName.empty()) {
        return;
    }
    if (DispatchFile(&TKorvaneIO::SaveToFile, FileName)) {
        return;
    }
    const std::string extension = LowerCase(ExtractFileExt(FileName));
    switch (RouteOf(SaveRoutes, extension)) {
    case fmtJPEG:
        SaveToFileJpeg(FileName);
        return;
    case fmtGIF:
        SaveToFileGif(FileName);
        return;
    case fmtBMP:
        SaveToFileBMP(FileName);
        return;
    case fmtPNG:
        SaveToFilePNG(FileName);
        return;
    case fmtTIFF:
        SaveToFileTIFF(FileName);
        return;
    case fmtPCX:
        SaveToFilePCX(FileName);
        return;
    case fmtICO:
        SaveToFileICO(FileName);
        return;
    case fmtTGA:
        SaveToFileTGA(FileName);
        return;
    case fmtJP2:
        SaveToFileJP2(FileName);
        return;
    case fmtJ2K:
        SaveToFileJ2K(FileName);
        return;
    case fmtPXM:
        SaveToFilePXM(FileName);
        return;
    case fmtWBMP:
        SaveToFileWBMP(FileName);
        return;
    case fmtUnknown:
        break;
    default:
        NoFrontEndSave();
        return;
    }
    SaveFileThroughTable(FileName,
                         extension.empty() ? nullptr : Korvaneio::KVFileFormatGetInfo2(extension.substr(1)));
}

void TKorvaneIO::SaveFileThroughTable(const std::string& FileName, const TKVFileFormatInfo* Info)
{
    if (Info == nullptr || Info->WriteFunction == nullptr) {
        NoFrontEndSave();
        return;
    }
    const TKVWriteImageStream writeFunction = Info->WriteFunction;
    const int32_t fileType = Info->FileType;
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        FParams->FileName = FileName;
        FParams->FileType = fileType;
        writeFunction(stream, *FKVBitmap, *FParams, progress);
    });
}

void TKorvaneIO::LoadFromStream(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStream, Stream)) {
        return;
    }
    const int32_t fileType = Korvaneio::FindStreamFormat(Stream);
    // Metafiles and WBMP are never told by content; an unknown content takes the table path and fails there.
    if (IsBuiltIn(fileType) && fileType != fmtWMF && fileType != fmtEMF && fileType != fmtWBMP) {
        LoadStreamFrontEnd(Stream, fileType);
        return;
    }
    LoadStreamThroughTable(Stream, fileType);
}

void TKorvaneIO::LoadFromStreamFormat(TStream& Stream, int32_t FileType)
{
    if (DispatchStreamFormat(&TKorvaneIO::LoadFromStreamFormat, Stream, FileType)) {
        return;
    }
    if (IsBuiltIn(FileType) && FileType != fmtWMF && FileType != fmtEMF) {
        LoadStreamFrontEnd(Stream, FileType);
        return;
    }
    LoadStreamThroughTable(Stream, FileType);
}

void TKorvaneIO::LoadStreamThroughTable(TStream& Stream, int32_t FileType)
{
    RunOperation([&] {
        FParams->ResetInfo();
        FParams->FileName.clear();
        FParams->FileType = fmtUnknown;
        const TKVFileFormatInfo* info = Korvaneio::KVFileFormatGetInfo(FileType);
        Aborting = true;
        if (info == nullptr || info->ReadFunction == nullptr || FKVBitmap == nullptr) {
            return;
        }
        const TKVReadImageStream readFunction = info->ReadFunction;
        Aborting = false;
        TProgressRec progress = MakeProgressRec();
        Reencapsulate();
        FKVBitmap->RemoveAlphaChannel();
        FParams->FileType = info->FileType;
        readFunction(Stream, *FKVBitmap, *FParams, progress, false);
        if (AutoAdjustDPI) {
            AdjustDPI();
        }
        if (FAttachedKorvane != nullptr) {
            FAttachedKorvane->SetDPI(FParams->DpiX, FParams->DpiY);
        }
        Update();
    });
}

void TKorvaneIO::SaveToStream(TStream& Stream, int32_t FileType)
{
    if (DispatchStreamFormat(&TKorvaneIO::SaveToStream, Stream, FileType)) {
        return;
    }
    switch (FileType) {
    case fmtGIF:
        SaveToStreamGif(Stream);
        return;
    case fmtJPEG:
        SaveToStreamJpeg(Stream);
        return;
    case fmtBMP:
        SaveToStreamBMP(Stream);
        return;
    case fmtPNG:
        SaveToStreamPNG(Stream);
        return;
    case fmtTIFF:
        SaveToStreamTIFF(Stream);
        return;
    case fmtPCX:
        SaveToStreamPCX(Stream);
        return;
    case fmtICO:
        SaveToStreamICO(Stream);
        return;
    case fmtTGA:
        SaveToStreamTGA(Stream);
        return;
    case fmtJP2:
        SaveToStreamJP2(Stream);
        return;
    case fmtJ2K:
        SaveToStreamJ2K(Stream);
        return;
    case fmtPXM:
        SaveToStreamPXM(Stream);
        return;
    case fmtWBMP:
        SaveToStreamWBMP(Stream);
        return;
    default:
        break;
    }
    // Cursors, metafiles and AVI have no writer; the other built-in formats wait for their codecs.
    if (IsBuiltIn(FileType)) {
        NoFrontEndSave();
        return;
    }
    SaveStreamThroughTable(Stream, FileType);
}

void TKorvaneIO::SaveStreamThroughTable(TStream& Stream, int32_t FileType)
{
    const TKVFileFormatInfo* info = Korvaneio::KVFileFormatGetInfo(FileType);
    if (info == nullptr || info->WriteFunction == nullptr) {
        NoFrontEndSave();
        return;
    }
    const TKVWriteImageStream writeFunction = info->WriteFunction;
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        FParams->FileType = FileType;
        writeFunction(stream, *FKVBitmap, *FParams, progress);
    });
}
