// TKVBitmap, the image buffer of the whole imaging library, and TKVBaseBitmap, the row interface
// it shares with the DIB-section image. Pixels live in memory (rows bottom-up in one block), in a
// temporary file (rows top-down, one mapped at a time) or in a class-library TBitmap.
#pragma once

#include "imaging/core/detail/pixel_memory.h"
#include "imaging/core/file_buffer.h"
#include "imaging/core/types.h"
#include "platform/core/classes.h"
#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TCanvas;
class TKVMask;
class TKVDibbitmap;

// The destination rows of RenderToTBitmap, which a caller may keep between paints; rebuilt when
// the TBitmap's size or storage changed.
struct TKVRowTable
{
    const TBitmap* Bitmap = nullptr;
    const uint8_t* Top = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t*> Rows;
};

// The source column (or row) of each destination column (or row) of RenderToTBitmap, entry 0
// belonging to DestOrigin. It keeps the geometry it was built for, so that a kept table that no
// longer fits a call is rebuilt instead of read past its end.
struct TKVSampleTable
{
    int32_t DestOrigin = 0;
    int32_t Zoom = 0;
    int32_t SourceOrigin = 0;
    int32_t SourceLimit = 0; // the image extent that every entry lies within
    std::vector<int32_t> Entries;
};

// Bits per pixel of each pixel format.
int32_t KVPixelFormatBits(TKVPixelFormat format);

class TKVBaseBitmap : public TObject
{
public:
    // Whether rows of a file-backed image are read in when mapped and written back when released;
    // workers set kvdRead on a source and kvdWrite on a destination for the length of a copy.
    TKVDataAccess Access = kvdReadWrite;

    // Row 0 is the top row. Of a file-backed image the address is valid only until the next
    // GetScanLine on the same image. nullptr for a row outside the image.
    virtual uint8_t* GetScanLine(int32_t row) = 0;
    virtual int32_t GetBitCount() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual int32_t GetWidth() const = 0;
    virtual TKVPixelFormat GetPixelFormat() const = 0;
    virtual int32_t GetRowLen() const = 0;
    virtual void Allocate(int32_t width, int32_t height, TKVPixelFormat format) = 0;
    virtual void Assign(TObject* source) = 0;
};

namespace Daduvudez {

// Byte size above which a new image goes to a temporary file; -1 (the default) means half of
// the free physical memory.
extern int32_t KVDefMinFileSize;

} // namespace Daduvudez

class TKVBitmap : public TKVBaseBitmap
{
public:
    TKVBitmap();
    // An alpha channel: width x height kv8g filled with 255; kvTBitmap becomes kvMemory.
    TKVBitmap(int32_t width, int32_t height, TKVLocation location);
    ~TKVBitmap() override;

    // Storage
    void Allocate(int32_t width, int32_t height, TKVPixelFormat format) override;
    // Allocates the current width, height and pixel format; the location set before is a request
    // that the byte size against MinFileSize may change between kvMemory and kvFile. In memory
    // and in a temporary file the new pixels are 0. Raises EOutOfMemory when the image cannot be
    // addressed or held.
    void AllocateImage();
    void FreeImage();
    // Wraps the caller's bitmap without copying; it is never freed here, and allocating resizes it.
    void EncapsulateTBitmap(TBitmap* bitmap, bool freeOld);
    // Wraps the caller's bottom-up pixel block without copying; it is never freed here.
    void EncapsulateMemory(void* memory, int32_t width, int32_t height, TKVPixelFormat format, bool freeOld);
    // Moves the storage to the destination, leaving this image empty.
    void SwitchTo(TKVBitmap* destination);
    TKVLocation Location() const { return FLocation; }
    void SetLocation(TKVLocation location);
    TBitmap* GetVclBitmap();
    TCanvas* GetCanvas();

    // Rows
    uint8_t* GetScanLine(int32_t row) override;
    // As GetScanLine, but a file-backed row stays valid until FreeRow(row), so that several rows
    // can be held at once.
    uint8_t* GetRow(int32_t row);
    void FreeRow(int32_t row);
    void FreeAllMaps();
    void BuildBitmapScanlines();
    void FreeBitmapScanlines();

    // Size and format
    int32_t GetBitCount() const override { return FBitCount; }
    int32_t GetHeight() const override { return FHeight; }
    int32_t GetWidth() const override { return FWidth; }
    TKVPixelFormat GetPixelFormat() const override { return FPixelFormat; }
    int32_t GetRowLen() const override { return FRowLen; }
    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    // Changes the canvas without scaling: the old content placed by the alignments, new area filled
    // with the background and the alpha channel with the alpha value.
    void Resize(int32_t newWidth, int32_t newHeight, int32_t background, int32_t alpha, TKVHAlign hAlign,
                TKVVAlign vAlign);
    // Moves the inclusive rectangle to the destination, the vacated area filled with the background.
    void MoveRegion(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dstX, int32_t dstY,
                    int32_t background);
    void SetPixelFormat(TKVPixelFormat format);
    void ConvertToPixelFormat(TKVPixelFormat format);

    // Alpha channel
    // Created on first use (kv8g, all 255); nullptr for a bitmap that is itself an alpha channel.
    TKVBitmap* GetAlphaChannel();
    // The alpha channel made from a mask (CopyFromTKVMask) without first being made opaque.
    void SetAlphaChannelFromMask(TKVMask* mask);
    bool GetHasAlphaChannel() const { return FAlphaChannel != nullptr; }
    void RemoveAlphaChannel();
    bool IsAlpha() const { return FIsAlpha; }
    uint8_t GetAlpha(int32_t x, int32_t y);
    void SetAlpha(int32_t x, int32_t y, uint8_t value);

    // Pixels, without range checks
    bool GetPixels_kv1g(int32_t x, int32_t y);
    void SetPixels_kv1g(int32_t x, int32_t y, bool value);
    uint8_t GetPixels_kv8(int32_t x, int32_t y);
    void SetPixels_kv8(int32_t x, int32_t y, uint8_t value);
    uint16_t GetPixels_kv16g(int32_t x, int32_t y);
    void SetPixels_kv16g(int32_t x, int32_t y, uint16_t value);
    float GetPixels_kv32f(int32_t x, int32_t y);
    void SetPixels_kv32f(int32_t x, int32_t y, float value);
    TRGB GetPixels_kv24RGB(int32_t x, int32_t y);
    TRGB* GetPPixels_kv24RGB(int32_t x, int32_t y);
    void SetPixels_kv24RGB(int32_t x, int32_t y, const TRGB& value);
    // The pixel of any format as a colour.
    TRGB GetPixels(int32_t x, int32_t y);

    // Palette of a kv8p image
    int32_t PaletteCount() const { return FPaletteCount; }
    // Black for an index outside the palette.
    TRGB GetPalette(int32_t index) const;
    void SetPalette(int32_t index, const TRGB& colour);
    void UpdateTBitmapPalette();

    // Filling
    void Fill(double value);
    // The inclusive rectangle, cut to the image; Full is left as it is.
    void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double value);
    // Full := every pixel byte of every row is 255 (row padding is not looked at).
    void SyncFull();

    // Copies
    void Assign(TObject* source) override;
    // As Assign of a TKVBitmap, without the alpha channel, Full or dither method.
    void AssignImage(TKVBitmap* source);
    void CopyToTBitmap(TBitmap* destination);
    void CopyFromTBitmap(TBitmap* source);
    // Copies a rectangle clipped to both images; nothing when the clipped rectangle is empty.
    void CopyRectTo(TKVBitmap* destination, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w,
                    int32_t h);
    void CopyFromTKVMask(TKVMask* mask);
    void CopyToTKVMask(TKVMask* mask);
    void CopyFromTDibBitmap(TKVDibbitmap* dib);
    void MergeFromTDibBitmap(TKVDibbitmap* dib, int32_t x, int32_t y);
    void CopyToTDibBitmap(TKVDibbitmap* dib, int32_t x, int32_t y, int32_t w, int32_t h);

    // Rendering (kvbitmap_render.cpp)
    //
    // Draws the source rectangle scaled onto the destination rectangle of a pf24bit TBitmap
    // (other formats draw nothing). UpdateRect (right and bottom inclusive) limits the pixels
    // drawn. The tables are used when they fit and built otherwise; tables built here are handed
    // back in the variables unless FreeTables. Transparency 0..255 and the alpha channel (when
    // EnableAlpha and it is not Full) blend over what the TBitmap holds.
    void RenderToTBitmap(TBitmap* Dest, std::unique_ptr<TKVRowTable>& RowTable,
                         std::unique_ptr<TKVSampleTable>& XTable, std::unique_ptr<TKVSampleTable>& YTable,
                         const TRect* UpdateRect, int32_t DstX, int32_t DstY, int32_t DstWidth,
                         int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                         bool EnableAlpha, bool SolidBackground, int32_t Transparency, TResampleFilter Filter,
                         bool FreeTables);
    // Draws the whole image scaled into the rectangle of the canvas, in bands of at most
    // MinFileSize bytes, with a gamma correction (1.0: none).
    void RenderToCanvas(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                        TResampleFilter Filter, double Gamma);
    // Scaled copy of a source rectangle into a kv24RGB destination, whose alpha channel over the
    // area becomes the source's alpha (when it has one that is not Full) limited to Alpha, or Alpha.
    // Sources other than kv1g and kv24RGB copy no pixels.
    void StretchRectTo(TKVBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                       int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                       TResampleFilter Filter, int32_t Alpha);
    // Offsets added to red (0), green (1) and blue (2) when displayed; index 3 is kept unused.
    void SetChannelOffset(int32_t Index, int32_t Value);
    int32_t GetChannelOffset(int32_t Index) const;
    bool ChannelOffsetOn() const { return FChannelOffsetOn; }

    // The per-format renderers. They fill the inclusive destination area (x1, y1)-(x2, y2) of the
    // pf24bit rows in RowTable; XTable[i] is the source column of destination column x1 + i and
    // YTable[j] the source row of destination row y1 + j. The _alpha forms blend with
    // min(Transparency, alpha), the alpha read from the alpha channel when UseAlphaChannel and
    // from AlphaRow (one byte per source column) otherwise.
    virtual void Render_kv24RGB(uint8_t* const* RowTable, TBitmap* Dest, const int32_t* XTable,
                                const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                                int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                                bool SolidBackground);
    virtual void Render_kv24RGB_alpha(uint8_t* const* RowTable, TBitmap* Dest, int32_t Transparency,
                                      bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                      const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                      int32_t DstY, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                      int32_t ZoomX, int32_t ZoomY, bool SolidBackground);
    virtual void Render_kv1g(uint8_t* const* RowTable, TBitmap* Dest, const int32_t* XTable,
                             const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                             int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                             bool SolidBackground);
    virtual void Render_kv1g_alpha(uint8_t* const* RowTable, TBitmap* Dest, int32_t Transparency,
                                   bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                   const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                   int32_t DstY, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   int32_t ZoomX, int32_t ZoomY, bool SolidBackground);
    virtual void Render_kv8g(uint8_t* const* RowTable, TBitmap* Dest, const int32_t* XTable,
                             const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                             int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                             bool SolidBackground);
    virtual void Render_kv8g_alpha(uint8_t* const* RowTable, TBitmap* Dest, int32_t Transparency,
                                   bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                   const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                   int32_t DstY, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   int32_t ZoomX, int32_t ZoomY, bool SolidBackground);
    virtual void Render_kv8p(uint8_t* const* RowTable, TBitmap* Dest, const int32_t* XTable,
                             const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                             int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                             bool SolidBackground);
    virtual void Render_kv8p_alpha(uint8_t* const* RowTable, TBitmap* Dest, int32_t Transparency,
                                   bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                   const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                   int32_t DstY, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   int32_t ZoomX, int32_t ZoomY, bool SolidBackground);
    virtual void Render_kv16g(uint8_t* const* RowTable, TBitmap* Dest, const int32_t* XTable,
                              const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                              int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                              bool SolidBackground);
    virtual void Render_kv16g_alpha(uint8_t* const* RowTable, TBitmap* Dest, int32_t Transparency,
                                    bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                    const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                    int32_t DstY, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t ZoomX, int32_t ZoomY, bool SolidBackground);
    virtual void Render_kv32f(uint8_t* const* RowTable, TBitmap* Dest, const int32_t* XTable,
                              const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                              int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                              bool SolidBackground);
    virtual void Render_kv32f_alpha(uint8_t* const* RowTable, TBitmap* Dest, int32_t Transparency,
                                    bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                    const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                    int32_t DstY, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t ZoomX, int32_t ZoomY, bool SolidBackground);

    // The sample values shown as black and white for kv8g, kv16g and kv32f; equal: the raw values.
    double DisplayRangeLow = 0;
    double DisplayRangeHigh = 0;
    // 0 = none; positive values stretch, negative ones flatten around 128.
    int32_t Contrast = 0;

    // True only when every byte of every row is known to be 255.
    bool Full = false;
    // Byte size above which the image goes to a temporary file.
    int32_t MinFileSize = 0;
    TKVDitherMethod DitherMethod = kvThreshold;

private:
    // A working bitmap with a known threshold, made without asking the system for free memory.
    struct TWithMinFileSize
    {
        int32_t value;
    };
    explicit TKVBitmap(TWithMinFileSize minFileSize);

    struct THeldRow
    {
        int32_t row;
        uint8_t* buffer;
    };

    void TakeStorageFrom(TKVBitmap& source);
    void ReleaseCurrentFileRow();
    void ClearStorage();
    TKVLocation LocationForSize(int64_t size) const;
    bool CanReuseStorageFor(const TKVBitmap& source) const;
    void AllocateInFile(int64_t size);
    void AllocateInMemory(int64_t size);
    void AllocateInTBitmap(int64_t size);
    void SetFormatFields(TKVPixelFormat format);
    void AdoptVclBitmap();
    TBitmap* EnsureVclBitmap();
    void AssignKVBitmap(TKVBitmap* source, bool withAlpha);
    void RebuildStorage(const std::function<void(TKVBitmap& old)>& rebuild);
    void ConvertRows(TKVBitmap& source);
    void ConvertTBitmapFormat(TKVPixelFormat format);
    void CopyRowsFrom(TKVBitmap& source);

    std::unique_ptr<TKVFileBuffer> FFileBuffer;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    uint8_t* FCurrentFileRow = nullptr;
    int32_t FRowLen = 0;
    TKVPixelFormat FPixelFormat = kvnull;
    std::unique_ptr<TRGB[]> FPalette;
    int32_t FPaletteCount = 0;
    std::unique_ptr<TKVBitmap> FAlphaChannel;
    bool FIsAlpha = false;
    uint8_t* FMemory = nullptr;
    Daduvudez::detail::TPixelBlock FOwnedMemory;
    TBitmap* FVclBitmap = nullptr;
    std::unique_ptr<TBitmap> FOwnedVclBitmap;
    std::vector<uint8_t*> FRowTable;
    TKVLocation FLocation = kvFile;
    bool FBitmapEncapsulated = false;
    bool FMemoryEncapsulated = false;
    std::vector<THeldRow> FHeldRows;
    int32_t FChannelOffset[4] = {0, 0, 0, 0};
    bool FChannelOffsetOn = false;
};
