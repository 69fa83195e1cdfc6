// The selection and alpha mask: 1 or 8 bits per pixel with the bounding box of its set pixels.
#pragma once

#include "imaging/core/detail/pixel_memory.h"
#include "platform/core/classes.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

#include <cstdint>
#include <vector>

class TBitmap;
class TCanvas;
class TKVBitmap;

// Separates the figures of a point list handed to DrawPolygon.
constexpr int32_t KVPolygonSeparator = 0xFFFFF;

class TKVMask : public TObject
{
public:
    TKVMask() = default;

    // Sizes: read them, change them only through AllocateBits, Resize, Assign and FreeBits.
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t RowLen = 0;
    // Bounding box of the set pixels, inclusive; empty is x1 = y1 = 0x7FFFFFFF, x2 = y2 = 0.
    int32_t x1 = kEmptyBox;
    int32_t y1 = kEmptyBox;
    int32_t x2 = 0;
    int32_t y2 = 0;
    // Every byte of the bits is 255 (read for 8-bit alpha masks).
    bool Full = false;

    void AllocateBits(int32_t width, int32_t height, int32_t bitsPerPixel);
    void FreeBits();
    void Resize(int32_t width, int32_t height);
    void Assign(const TKVMask* source);

    void SetPixel(int32_t x, int32_t y, int32_t value);
    int32_t GetPixel(int32_t x, int32_t y) const;
    bool IsPointInside(int32_t x, int32_t y) const { return GetPixel(x, y) != 0; }
    // Row y counted from the top; rows lie bottom-up in memory.
    uint8_t* GetScanLine(int32_t y);
    const uint8_t* GetScanLine(int32_t y) const;

    void Fill(int32_t value);
    bool IsEmpty() const { return x1 == kEmptyBox; }
    void Empty();
    void SyncFull();
    void Negative();

    int32_t DrawHorizontalLine(int32_t value, int32_t x1, int32_t x2, int32_t y);
    void DrawPolygon(int32_t value, const TPoint* points, int32_t count);
    void TranslateBitmap(int32_t& dx, int32_t& dy, bool clip);

    // Drawing of a 1-bit selection at a zoom: the mask area (xSrc, ySrc, wSrc, hSrc) mapped onto
    // the destination area. InvertCanvas inverts the selected pixels; DrawOutline draws the
    // border in diagonal stripes of colours A and B that move with phase; DrawOuter veils the
    // area outside the selection of a 24-bit bitmap with a white dot grid.
    void InvertCanvas(TCanvas* canvas, int32_t xDst, int32_t yDst, int32_t wDst, int32_t hDst, int32_t xSrc,
                      int32_t ySrc, int32_t wSrc, int32_t hSrc);
    void DrawOutline(TCanvas* canvas, int32_t xDst, int32_t yDst, int32_t w, int32_t h, int32_t xSrc,
                     int32_t ySrc, int32_t wSrc, int32_t hSrc, int32_t phase, TColor colorA, TColor colorB,
                     double zoom);
    void DrawOuter(TBitmap* bitmap, int32_t xDst, int32_t yDst, int32_t w, int32_t h, int32_t xSrc,
                   int32_t ySrc, int32_t wSrc, int32_t hSrc);

    // Copies the source pixels that the mask selects into the destination, over the bounding
    // box. A bitmap flagged as box holds only the box's area, from its top-left corner. 24-bit
    // pairs blend by an 8-bit mask; 1-bit pairs copy where the mask is not 0.
    void CopyBitmap(TBitmap* destination, TBitmap* source, bool destinationIsBox, bool sourceIsBox);
    void CopyKVBitmap(TKVBitmap* destination, TKVBitmap* source, bool destinationIsBox, bool sourceIsBox,
                      bool withAlpha);
    // The destination's alpha becomes the source's (255 without an alpha channel) where a 1-bit
    // mask is set, 0 elsewhere in the box.
    void CopyKVBitmapAlpha(TKVBitmap* destination, TKVBitmap* source, bool destinationIsBox,
                           bool sourceIsBox);

private:
    static constexpr int32_t kEmptyBox = 0x7FFFFFFF;

    void ResetBox();
    void ClampBox();
    void WritePixel(uint8_t* row, int32_t x, int32_t value);
    void NoteWrite(int32_t value);
    bool DrawSinglePolygon(int32_t value, const TPoint* points, int32_t count);
    void RecomputeBox();

    bool BuildOutlineCache(int32_t w, int32_t h, int32_t xSrc, int32_t ySrc, int32_t wSrc, int32_t hSrc,
                           int64_t& zx, int64_t& zy);
    bool OutlinePixel(int32_t j, int32_t i) const;

    // Zeroed by the allocator: the rows of a large mask that nothing writes take no memory.
    using TBits = std::vector<uint8_t, Daduvudez::detail::TZeroedAllocator<uint8_t>>;
    TBits FBits;
    // The last zoomed drawing's 1-bit copy, rows top-down.
    std::vector<uint8_t> FOutline;
    int32_t FOutlineWidth = 0;
    int32_t FOutlineHeight = 0;
    int32_t FOutlineRowLen = 0;
};
