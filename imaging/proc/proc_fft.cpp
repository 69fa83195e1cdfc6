// The processing component's frequency-domain image: made from the image, shown as a spectrum
// and turned back into a picture.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "platform/core/exceptions.h"

using namespace Korvaneproc;

namespace {

// The image takes the picture's size and pixels; an alpha channel follows the new size.
void Replace(TKVBitmap* image, TKVBitmap* picture)
{
    image->AssignImage(picture);
    if (image->GetHasAlphaChannel()) {
        TKVBitmap* alpha = image->GetAlphaChannel();
        if (alpha->GetWidth() != picture->GetWidth() || alpha->GetHeight() != picture->GetHeight())
            alpha->Resize(picture->GetWidth(), picture->GetHeight(), 255, 255, kvhLeft, kvvTop);
    }
}

} // namespace

std::unique_ptr<TKVFtImage> TKorvaneProc::FTCreateImage(TKVFtImageType ImageType, int32_t Width,
                                                        int32_t Height)
{
    if (!Prepare24())
        return nullptr;
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    if (width < 1 || height < 1)
        return nullptr;
    TKVBitmap stretched;
    TKVBitmap* source = FKVBitmap;
    if (Width >= 0 || Height >= 0) {
        const int64_t w = Width < 0 ? int64_t(width) * Height / height : Width;
        const int64_t h = Height < 0 ? int64_t(height) * w / width : Height;
        if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX)
            return nullptr;
        try {
            stretched.Allocate(int32_t(w), int32_t(h), kv24RGB);
        } catch (const EOutOfMemory&) {
            return nullptr;
        }
        _KVBmpStretchEx(FKVBitmap, &stretched);
        source = &stretched;
    }
    auto image = std::make_unique<TKVFtImage>();
    image->OnProgress = OnProgress;
    if (!image->BuildFT(source, ImageType))
        return nullptr;
    return image;
}

void TKorvaneProc::FTDisplayFrom(TKVFtImage* FtImage)
{
    if (!Prepare() || !FtImage || FtImage->ImageType() == kvitUnknown)
        return;
    TKVBitmap spectrum;
    FtImage->GetFTImage(&spectrum);
    Replace(FKVBitmap, &spectrum);
    Update();
}

void TKorvaneProc::FTConvertFrom(TKVFtImage* FtImage)
{
    if (!Prepare() || !FtImage || FtImage->ImageType() == kvitUnknown)
        return;
    TKVBitmap picture;
    FtImage->BuildBitmap(&picture);
    Replace(FKVBitmap, &picture);
    Update();
}
