// The graphic classes: pictures that load and save through the I/O component and draw through
// the bitmap's canvas rendering.
#include "imaging/core/graphic_classes.h"

#include "imaging/core/bitmap_copies.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "platform/graphics/picture.h"

#include <array>

namespace {

constexpr uint16_t kClipboardDib = 8;

} // namespace

TKVGraphicBase::TKVGraphicBase(int32_t FormatId)
    : FBitmap(std::make_unique<TKVBitmap>()), FIO(std::make_unique<TKorvaneIO>(nullptr)), FFormatId(FormatId)
{
    FIO->SetAttachedKVBitmap(FBitmap.get());
}

TKVGraphicBase::~TKVGraphicBase()
{
    FIO.reset();
    FBitmap.reset();
}

void TKVGraphicBase::Assign(TPersistent* Source)
{
    if (auto* graphic = dynamic_cast<TKVGraphicBase*>(Source)) {
        FBitmap->Assign(graphic->FBitmap.get());
        Changed(this);
    } else if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) {
        if (bitmap->PixelFormat() != pf24bit && bitmap->PixelFormat() != pf1bit)
            bitmap->SetPixelFormat(pf24bit);
        FBitmap->CopyFromTBitmap(bitmap);
        Changed(this);
    } else {
        TGraphic::Assign(Source);
    }
}

void TKVGraphicBase::Draw(TCanvas* ACanvas, const TRect& Rect)
{
    FBitmap->RenderToCanvas(ACanvas, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top,
                            rfNone, 1.0);
}

int32_t TKVGraphicBase::GetHeight() const
{
    return FBitmap->GetHeight();
}

int32_t TKVGraphicBase::GetWidth() const
{
    return FBitmap->GetWidth();
}

void TKVGraphicBase::SetHeight(int32_t Value)
{
    FBitmap->SetHeight(Value);
}

void TKVGraphicBase::SetWidth(int32_t Value)
{
    FBitmap->SetWidth(Value);
}

void TKVGraphicBase::LoadFromStream(TStream& Stream)
{
    if (!FIO)
        return;
    // Loaded beside the picture, which takes the result only when the load succeeded.
    TKVBitmap loaded;
    FIO->SetAttachedKVBitmap(&loaded);
    try {
        FIO->LoadFromStreamFormat(Stream, FFormatId);
    } catch (...) {
        FIO->SetAttachedKVBitmap(FBitmap.get());
        throw;
    }
    FIO->SetAttachedKVBitmap(FBitmap.get());
    if (FIO->Aborting)
        throw EInvalidGraphic("The picture could not be read");
    loaded.SwitchTo(FBitmap.get());
    Changed(this);
}

void TKVGraphicBase::SaveToStream(TStream& Stream)
{
    FIO->SaveToStream(Stream, FFormatId);
    if (FIO->Aborting)
        throw EInvalidGraphic("The picture could not be written");
}

void TKVGraphicBase::LoadFromClipboardFormat(uint16_t AFormat, HGLOBAL AData, HPALETTE)
{
    if (AFormat != kClipboardDib)
        return;
    if (Korvaneproc::_CopyDIB2BitmapEx(AData, FBitmap.get()) != 0)
        Changed(this);
}

void TKVGraphicBase::SaveToClipboardFormat(uint16_t& AFormat, HGLOBAL& AData, HPALETTE&)
{
    AData = Korvaneproc::_CopyBitmaptoDIBEx(FBitmap.get(), 0, 0, 0, 0);
    AFormat = kClipboardDib;
}

namespace Daduvudez {

namespace {

struct TRegistration
{
    TGraphicClass graphicClass;
    std::array<const char*, 6> extensions; // ends at the first nil
    const char* description;
};

const TRegistration kRegistrations[] = {
    {GraphicClassOf<TKVTiffImage>(), {"TIF", "TIFF", "FAX", "G3N", "G3F"}, "TIFF Bitmap"},
    {GraphicClassOf<TKVGifImage>(), {"GIF"}, "CompuServe Bitmap"},
    {GraphicClassOf<TKVJpegImage>(), {"JPG", "JPEG", "JPE"}, "JPEG Bitmap"},
    {GraphicClassOf<TKVPCXImage>(), {"PCX"}, "PaintBrush"},
    {GraphicClassOf<TKVBMPImage>(), {"BMP", "DIB", "RLE"}, "Windows Bitmap"},
    {GraphicClassOf<TKVICOImage>(), {"ICO"}, "Windows Icon"},
    {GraphicClassOf<TKVPNGImage>(), {"PNG"}, "Portable Network Graphics"},
    {GraphicClassOf<TKVTGAImage>(), {"TGA", "TARGA", "VDA", "ICB", "VST", "PIX"}, "Targa Bitmap"},
    {GraphicClassOf<TKVPXMImage>(), {"PXM", "PPM", "PGM", "PBM", "PNM"}, "Portable Pixmap, GreyMap, BitMap"},
    {GraphicClassOf<TKVJP2Image>(), {"JP2"}, "JPEG2000"},
    {GraphicClassOf<TKVJ2KImage>(), {"J2K", "JPC", "J2C"}, "JPEG2000 Code Stream"},
};

} // namespace

void KVRegisterFormats()
{
    for (const TRegistration& registration : kRegistrations)
        for (const char* extension : registration.extensions)
            if (extension != nullptr)
                TPicture::RegisterFileFormat(extension, registration.description, registration.graphicClass);
}

void KVUnregisterFormats()
{
    for (const TRegistration& registration : kRegistrations)
        TPicture::UnregisterGraphicClass(registration.graphicClass);
}

} // namespace Daduvudez
