// What the gallery run does to one picture with a worker's tools.
#include "app/gallery_pictures.h"

#include "app/message_box.h"
#include "app/picture_workers.h"
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <utility>

namespace {

bool IsJpegFormat(int32_t FileType)
{
    const TKVFileFormatInfo* jpeg = Korvaneio::KVFileFormatGetInfo2("jpg");
    return jpeg != nullptr && FileType == jpeg->FileType;
}

bool IsGreyPicture(TKVBitmap& Bitmap)
{
    switch (Bitmap.GetPixelFormat()) {
    case kv1g:
    case kv8g:
    case kv16g:
    case kv32f:
        return true;
    case kv24RGB:
        return Korvaneproc::_IsGrayScaleBitmap(&Bitmap);
    default:
        return false;
    }
}

// The I/O parameters as a new component has them, with the run's LZW coders.
void StartFromDefaultParams(TPictureTools& Tools)
{
    TIOParamsVals& params = Tools.IO->Params();
    params.SetDefaultParams();
    params.GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
    params.TIFF_LZWDecompress = Tiflzw::TIFFLZWDecompress;
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    params.TIFF_LZWCompress = Tiflzw::TIFFLZWCompress;
}

// Whether a picture that failed to load declares more pixels than any reader will take.
bool TooLarge(TPictureTools& Tools, const std::string& FileName)
{
    Tools.IO->ParamsFromFile(FileName);
    const TIOParamsVals& params = Tools.IO->Params();
    return !Tools.IO->Aborting && int64_t(params.Width) * params.Height > KVCodecMaxPixels;
}

void ResampleToFit(TPictureTools& Tools, int32_t BoxWidth, int32_t BoxHeight)
{
    const int32_t width = Tools.Bitmap->GetWidth();
    const int32_t height = Tools.Bitmap->GetHeight();
    if (width == 0 || height == 0) {
        return;
    }
    const TFittedSize fitted = FitToBox(width, height, BoxWidth, BoxHeight);
    if (fitted.Width != width || fitted.Height != height) {
        Tools.Proc->Resample(fitted.Width, fitted.Height, rfBilinear);
    }
}

// The orientation a viewer follows when it shows the picture: its EXIF orientation, or the
// Orientation tag of a TIFF page that has no EXIF data (the readers of other formats leave that
// at 1); 1 when the picture carries none, or none that turns or mirrors it.
int32_t ShownOrientation(const TIOParamsVals& Params)
{
    const int32_t orientation = Params.EXIF_HasEXIFData ? Params.EXIF_Orientation : Params.TIFF_Orientation;
    return orientation >= 2 && orientation <= 8 ? orientation : 1;
}

// Orientations 5 to 8 show the stored rows as columns.
bool SidesSwapped(int32_t Orientation)
{
    return Orientation >= 5;
}

void QuarterTurn(TKVBitmap& Bitmap, bool Clockwise)
{
    TKVBitmap turned;
    if (Clockwise) {
        Korvaneproc::_Rot90oEx(&Bitmap, &turned);
    } else {
        Korvaneproc::_Rot90Ex(&Bitmap, &turned);
    }
    Bitmap.Assign(&turned);
}

} // namespace

bool LoadPicture(TPictureTools& Tools, const std::string& FileName)
{
    // A load fills only what its format knows: the JPEG settings of one picture must not be
    // left for the next to be saved with.
    StartFromDefaultParams(Tools);
    Tools.Bitmap->FreeImage();
    try {
        Tools.IO->LoadFromFile(FileName);
    } catch (...) {
        return false;
    }
    return !Tools.IO->Aborting && Tools.Bitmap->GetWidth() > 0 && Tools.Bitmap->GetHeight() > 0;
}

std::unique_ptr<TMemoryStream> EncodePicture(TPictureTools& Tools, bool AsGif, int32_t Quality)
{
    auto encoded = std::make_unique<TMemoryStream>();
    try {
        if (AsGif) {
            Tools.IO->SaveToStreamGif(*encoded);
        } else {
            TIOParamsVals& params = Tools.IO->Params();
            // A JPEG keeps the colour space and scan mode it was loaded with; any other picture
            // becomes a baseline colour JPEG, or a greyscale one when it has no colour.
            if (!IsJpegFormat(params.FileType)) {
                params.JPEG_ColorSpace = IsGreyPicture(*Tools.Bitmap) ? ioJPEG_GRAYLEV : ioJPEG_YCbCr;
                params.JPEG_Progressive = false;
            }
            params.JPEG_Quality = Quality;
            Tools.IO->SaveToStreamJpeg(*encoded);
        }
    } catch (...) {
        return nullptr;
    }
    if (Tools.IO->Aborting || encoded->Size() == 0) {
        return nullptr;
    }
    return encoded;
}

bool WritePictureFile(const std::string& FileName, TMemoryStream& Encoded, std::string& Reason)
{
    try {
        Korvaneio::detail::SaveWholeFile(FileName, Encoded);
    } catch (const std::exception& error) {
        Reason = ReasonIn(error.what(), FileName);
        return false;
    } catch (...) {
        return false;
    }
    return FileExists(FileName);
}

bool CopyPictureFile(const std::string& Source, const std::string& FileName, std::string& Failed,
                     std::string& Reason)
{
    TMemoryStream content;
    try {
        content.LoadFromFile(Source);
    } catch (const std::exception& error) {
        Failed = Source;
        Reason = ReasonIn(error.what(), Source);
        return false;
    }
    Failed = FileName;
    return WritePictureFile(FileName, content, Reason);
}

void TurnUpright(TPictureTools& Tools)
{
    TIOParamsVals& params = Tools.IO->Params();
    const int32_t orientation = ShownOrientation(params);
    if (orientation == 1) {
        return;
    }
    TKVBitmap& bitmap = *Tools.Bitmap;
    // The turns and mirrors work on colour; the save makes the picture colour anyway, and a JPEG
    // keeps no alpha channel.
    bitmap.RemoveAlphaChannel();
    if (bitmap.GetPixelFormat() != kv24RGB) {
        bitmap.SetPixelFormat(kv24RGB);
    }
    switch (orientation) {
    case 2: // mirrored
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    case 3: // upside down
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        Korvaneproc::_FlipEx(&bitmap, fdVertical);
        break;
    case 4: // mirrored upside down
        Korvaneproc::_FlipEx(&bitmap, fdVertical);
        break;
    case 5: // the first row is the left column, read downwards
        QuarterTurn(bitmap, true);
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    case 6: // the first row is the right column, read downwards
        QuarterTurn(bitmap, true);
        break;
    case 7: // the first row is the right column, read upwards
        QuarterTurn(bitmap, false);
        Korvaneproc::_FlipEx(&bitmap, fdHorizontal);
        break;
    default: // 8: the first row is the left column, read upwards
        QuarterTurn(bitmap, false);
        break;
    }
    params.EXIF_Orientation = 1;
    params.TIFF_Orientation = 1;
}

void FitUpright(TPictureTools& Tools, int32_t BoxWidth, int32_t BoxHeight)
{
    // Fitted before it is turned, the picture has fewer pixels to move: a picture shown sideways
    // fits the box turned with it.
    if (SidesSwapped(ShownOrientation(Tools.IO->Params()))) {
        std::swap(BoxWidth, BoxHeight);
    }
    ResampleToFit(Tools, BoxWidth, BoxHeight);
    TurnUpright(Tools);
}

bool CheckPicture(TPictureTools& Tools, const std::string& Folder, const std::string& Name,
                  std::string& Reason)
{
    const std::string source = Folder + Name;
    if (LoadPicture(Tools, source)) {
        return true;
    }
    // A load that was stopped says nothing of the picture.
    if (!Tools.StopRequested() && Korvaneio::IsKnownFormat(Name)) {
        Reason = TooLarge(Tools, source) ? "too large" : "cannot be read";
    }
    return false;
}

bool HeaderShowsPicture(TPictureTools& Tools, const std::string& FileName)
{
    using namespace Korvaneio::detail;
    int32_t format = fmtUnknown;
    try {
        format = Korvaneio::FindFileFormat(FileName, true);
    } catch (...) {
        format = fmtUnknown;
    }
    // Content the detection does not tell, and formats without a header of their own to read
    // (metafiles, video): only a load says.
    if (format == fmtUnknown || format == fmtWMF || format == fmtEMF || format == fmtAVI) {
        return LoadPicture(Tools, FileName);
    }
    StartFromDefaultParams(Tools);
    Tools.IO->ParamsFromFileFormat(FileName, format);
    const TIOParamsVals& params = Tools.IO->Params();
    return !Tools.IO->Aborting && params.Width > 0 && params.Height > 0 &&
           int64_t(params.Width) * params.Height <= KVCodecMaxPixels;
}

TFittedSize FitToBox(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight)
{
    TFittedSize fitted{Width, Height};
    if (Width <= 0 || Height <= 0 || BoxWidth <= 0 || BoxHeight <= 0) {
        return fitted;
    }
    // Cross-multiplied in 64 bits, so the limiting side is the box's exactly.
    const int64_t w = Width, h = Height, boxW = BoxWidth, boxH = BoxHeight;
    if (boxW * h < boxH * w) {
        fitted.Width = BoxWidth;
        fitted.Height = static_cast<int32_t>(std::max<int64_t>(h * boxW / w, 1));
    } else {
        fitted.Height = BoxHeight;
        fitted.Width = static_cast<int32_t>(std::max<int64_t>(w * boxH / h, 1));
    }
    return fitted;
}
