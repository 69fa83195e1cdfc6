// The imaging library's pictures for the class library's picture machinery: TPicture and the
// controls holding one load, save, draw and exchange through the clipboard every file format of
// the library with these classes, once KVRegisterFormats has registered their extensions.
#pragma once

#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <memory>

class TKVBitmap;
class TKorvaneIO;

class TKVGraphicBase : public TGraphic
{
public:
    ~TKVGraphicBase() override;

    // From another of these pictures, or from a TBitmap (which is first switched to pf24bit
    // unless it is pf24bit or pf1bit).
    void Assign(TPersistent* Source) override;
    void Draw(TCanvas* ACanvas, const TRect& Rect) override;
    // Always false, also for a new picture.
    bool GetEmpty() const override { return false; }
    int32_t GetHeight() const override;
    int32_t GetWidth() const override;
    void SetHeight(int32_t Value) override;
    void SetWidth(int32_t Value) override;
    // Through the I/O component in the class's format. A failed load raises EInvalidGraphic and
    // leaves the picture as it was; a failed save raises EInvalidGraphic.
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    // CF_DIB only; other formats are ignored.
    void LoadFromClipboardFormat(uint16_t AFormat, HGLOBAL AData, HPALETTE APalette) override;
    void SaveToClipboardFormat(uint16_t& AFormat, HGLOBAL& AData, HPALETTE& APalette) override;
    // A form's stream holds no pixels of these pictures.
    void ReadData(TStream&) override {}
    void WriteData(TStream&) override {}

    TKVBitmap* KVBitmap() const { return FBitmap.get(); }
    TKorvaneIO* IO() const { return FIO.get(); }
    int32_t FormatId() const { return FFormatId; }

protected:
    explicit TKVGraphicBase(int32_t FormatId);

private:
    std::unique_ptr<TKVBitmap> FBitmap;
    std::unique_ptr<TKorvaneIO> FIO;
    int32_t FFormatId;
};

class TKVTiffImage : public TKVGraphicBase
{
public:
    TKVTiffImage() : TKVGraphicBase(1) {}
};
class TKVGifImage : public TKVGraphicBase
{
public:
    TKVGifImage() : TKVGraphicBase(2) {}
};
class TKVJpegImage : public TKVGraphicBase
{
public:
    TKVJpegImage() : TKVGraphicBase(3) {}
};
class TKVPCXImage : public TKVGraphicBase
{
public:
    TKVPCXImage() : TKVGraphicBase(4) {}
};
class TKVBMPImage : public TKVGraphicBase
{
public:
    TKVBMPImage() : TKVGraphicBase(5) {}
};
class TKVICOImage : public TKVGraphicBase
{
public:
    TKVICOImage() : TKVGraphicBase(6) {}
};
class TKVPNGImage : public TKVGraphicBase
{
public:
    TKVPNGImage() : TKVGraphicBase(8) {}
};
class TKVTGAImage : public TKVGraphicBase
{
public:
    TKVTGAImage() : TKVGraphicBase(11) {}
};
class TKVPXMImage : public TKVGraphicBase
{
public:
    TKVPXMImage() : TKVGraphicBase(12) {}
};
class TKVJP2Image : public TKVGraphicBase
{
public:
    TKVJP2Image() : TKVGraphicBase(13) {}
};
class TKVJ2KImage : public TKVGraphicBase
{
public:
    TKVJ2KImage() : TKVGraphicBase(14) {}
};

namespace Daduvudez {

// Registers the eleven classes with TPicture under their extensions, and removes them again.
void KVRegisterFormats();
void KVUnregisterFormats();

} // namespace Daduvudez
