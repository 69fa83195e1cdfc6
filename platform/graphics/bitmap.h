// The class library's pictures: TGraphic, the abstract picture, and TBitmap, our own raster with a
// pixel format, a colour table and contiguous, 4-byte-aligned rows stored top row first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/global_memory.h"
#include "platform/graphics/palette.h"
#include "platform/graphics/raster.h"

class TCanvas;
class TStream;

class EInvalidGraphic : public Exception
{
public:
    using Exception::Exception;
};

class EInvalidGraphicOperation : public Exception
{
public:
    using Exception::Exception;
};

// The largest pixel block a bitmap allocates; larger sizes raise EOutOfMemory.
constexpr int64_t kMaxBitmapBytes = INT32_MAX;

class TGraphic : public TPersistent
{
public:
    TNotifyEvent OnChange;

    TGraphic() = default;
    ~TGraphic() override = default;

    virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;
    virtual bool GetEmpty() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual int32_t GetWidth() const = 0;
    virtual void SetHeight(int32_t Value) = 0;
    virtual void SetWidth(int32_t Value) = 0;
    virtual void LoadFromStream(TStream& Stream) = 0;
    virtual void SaveToStream(TStream& Stream) = 0;
    // Exchange with the clipboard; the base class refuses every format.
    virtual void LoadFromClipboardFormat(uint16_t AFormat, HGLOBAL AData, HPALETTE APalette);
    virtual void SaveToClipboardFormat(uint16_t& AFormat, HGLOBAL& AData, HPALETTE& APalette);
    // The picture's data inside a form's stream; the base class writes and reads its stream form.
    virtual void ReadData(TStream& Stream);
    virtual void WriteData(TStream& Stream);

    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);

    bool Empty() const { return GetEmpty(); }
    int32_t Width() const { return GetWidth(); }
    int32_t Height() const { return GetHeight(); }

    bool Modified() const { return FModified; }
    // Setting true reports a change (OnChange); false only clears the flag.
    void SetModified(bool Value);

protected:
    virtual void Changed(TObject* Sender);

private:
    bool FModified = false;
};

enum TBitmapHandleType : uint8_t
{
    bmDIB,
    bmDDB
};

class TBitmap : public TGraphic
{
public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // A deep copy of another TBitmap (pixels, format, palette); nullptr empties this bitmap.
    void Assign(TPersistent* Source) override;

    void Draw(TCanvas* ACanvas, const TRect& Rect) override;
    bool GetEmpty() const override;
    int32_t GetHeight() const override { return FHeight; }
    int32_t GetWidth() const override { return FWidth; }
    // Resizing keeps the pixels of the common top-left area; new pixels are 0.
    void SetHeight(int32_t Value) override;
    void SetWidth(int32_t Value) override;
    void SetSize(int32_t AWidth, int32_t AHeight);

    // Reads a BMP file: BI_RGB with 1, 4, 8, 16, 24 or 32 bits, or BI_BITFIELDS with 16 or 32
    // bits; rows bottom-up or top-down. A bad file raises EInvalidGraphic and leaves this bitmap
    // as it was.
    void LoadFromStream(TStream& Stream) override;
    // Writes an uncompressed BMP file (BI_BITFIELDS for pf16bit).
    void SaveToStream(TStream& Stream) override;
    // CF_DIB: a packed DIB; other formats raise EInvalidGraphic.
    void LoadFromClipboardFormat(uint16_t AFormat, HGLOBAL AData, HPALETTE APalette) override;
    void SaveToClipboardFormat(uint16_t& AFormat, HGLOBAL& AData, HPALETTE& APalette) override;

    TCanvas* Canvas();

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    // Converts the pixels to the new format. An indexed target takes that format's default
    // palette and every pixel its nearest entry. pfCustom raises EInvalidGraphic.
    void SetPixelFormat(TPixelFormat Value);

    // Row Row of the image, top row first; rows are contiguous (ScanLine(y + 1) follows
    // ScanLine(y) by RowLength() bytes) and 4-byte aligned. Out of range raises
    // EInvalidGraphicOperation.
    uint8_t* ScanLine(int32_t Row);
    const uint8_t* ScanLine(int32_t Row) const;
    // Bytes per row (a multiple of 4) and bits per pixel of the current format.
    int32_t RowLength() const { return FRowLength; }
    int32_t BitCount() const { return PixelFormatBits(FPixelFormat); }

    // The bitmap's colour table as a palette object owned by the bitmap: 2, 16 or 256 entries for
    // pf1bit, pf4bit and pf8bit; nullptr for the other formats. SetPaletteEntries on it changes the
    // colours of the pixels at once.
    HPALETTE Palette();
    // Copies the entries of the palette into the colour table (as many as both hold).
    void SetPalette(HPALETTE Value);
    int32_t PaletteCount() const { return int32_t(FColorTable.Entries.size()); }

    // pf1bit with the palette black, white.
    bool Monochrome() const;
    // true: pf1bit with the palette black, white; false on a monochrome bitmap: pf24bit.
    void SetMonochrome(bool Value);

    TBitmapHandleType HandleType() const { return bmDIB; }
    void SetHandleType(TBitmapHandleType) {}

    // A view of the rows for a canvas; invalid while the bitmap is empty.
    TRasterView RasterView();

    // The default colour table of an indexed format: black and white; the 16 standard colours;
    // a 6 x 6 x 6 colour cube followed by 40 greys.
    static std::vector<PALETTEENTRY> DefaultPalette(TPixelFormat Format);

private:
    void Reallocate(int32_t AWidth, int32_t AHeight, TPixelFormat AFormat, bool keepPixels);

    int32_t FWidth = 0;
    int32_t FHeight = 0;
    TPixelFormat FPixelFormat = pfDevice;
    int32_t FRowLength = 0;
    std::vector<uint8_t> FPixels;
    TPaletteObject FColorTable;
    std::unique_ptr<TCanvas> FCanvas;
};
