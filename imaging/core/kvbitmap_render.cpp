// TKVBitmap drawn onto class-library bitmaps and canvases: clipping, the integer sampling tables,
// the twelve per-format renderers with alpha blending, display range, channel offsets and
// contrast, banded drawing onto any canvas with gamma, and the scaled copy between two bitmaps.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/bit_utils.h"
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/detail/access_scope.h"
#include "imaging/core/detail/pixel_access.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Korvaneproc::blimit;

constexpr int32_t kOneToOne = 16384;

// Zoom as a 14-bit fixed-point ratio of source to destination extent.
int32_t ZoomOf(int32_t source, int32_t destination)
{
    return Round(static_cast<double>(source) / destination * kOneToOne);
}

// The source coordinate of each destination coordinate from origin on, in 64 bits so that no
// product wraps, held inside the image.
void FillSampleTable(TKVSampleTable& table, int32_t destOrigin, int32_t count, int32_t zoom,
                     int32_t sourceOrigin, int32_t sourceLimit)
{
    table.DestOrigin = destOrigin;
    table.Zoom = zoom;
    table.SourceOrigin = sourceOrigin;
    table.SourceLimit = sourceLimit;
    table.Entries.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const int64_t source = ((int64_t(i) * zoom) >> 14) + sourceOrigin;
        table.Entries[i] = static_cast<int32_t>(std::clamp<int64_t>(source, 0, sourceLimit - 1));
    }
}

bool SampleTableFits(const TKVSampleTable* table, int32_t destOrigin, int32_t count, int32_t zoom,
                     int32_t sourceOrigin, int32_t sourceLimit)
{
    return table != nullptr && table->DestOrigin == destOrigin && table->Zoom == zoom &&
           table->SourceOrigin == sourceOrigin && table->SourceLimit == sourceLimit &&
           table->Entries.size() >= static_cast<size_t>(count);
}

bool RowTableFits(const TKVRowTable* table, TBitmap* bitmap)
{
    return table != nullptr && table->Bitmap == bitmap && table->Width == bitmap->Width() &&
           table->Height == bitmap->Height() && table->Top == bitmap->ScanLine(0);
}

std::unique_ptr<TKVRowTable> BuildRowTable(TBitmap* bitmap)
{
    auto table = std::make_unique<TKVRowTable>();
    table->Bitmap = bitmap;
    table->Width = bitmap->Width();
    table->Height = bitmap->Height();
    table->Top = bitmap->ScanLine(0);
    table->Rows.resize(static_cast<size_t>(bitmap->Height()));
    for (int32_t y = 0; y < bitmap->Height(); ++y)
        table->Rows[y] = bitmap->ScanLine(y);
    return table;
}

// Moves the near edge of a span inward by cut units and the far extent with it.
void CutNear(int32_t& origin, int32_t& extent, int32_t cut)
{
    origin += cut;
    extent -= cut;
}

// Destination and source spans of one axis, cut so that both lie inside their rasters and keep
// their proportion.
void ClipAxis(int32_t& dst, int32_t& dstExtent, int32_t dstLimit, int32_t& src, int32_t& srcExtent,
              int32_t srcLimit)
{
    const double ratio = static_cast<double>(srcExtent) / dstExtent;
    if (dst < 0) {
        const int64_t d = -int64_t(dst);
        const int32_t moved = Round(static_cast<double>(d) * ratio);
        dst = 0;
        dstExtent = static_cast<int32_t>(std::max<int64_t>(dstExtent - d, 0));
        CutNear(src, srcExtent, moved);
    }
    if (int64_t(dst) + dstExtent > dstLimit) {
        const int64_t d = int64_t(dst) + dstExtent - dstLimit;
        dstExtent = dstLimit - dst;
        srcExtent -= Round(static_cast<double>(d) * ratio);
    }
    if (src < 0) {
        const int64_t d = -int64_t(src);
        src = 0;
        srcExtent = static_cast<int32_t>(std::max<int64_t>(srcExtent - d, 0));
        CutNear(dst, dstExtent, Round(static_cast<double>(d) / ratio));
    }
    if (int64_t(src) + srcExtent > srcLimit) {
        const int64_t d = int64_t(src) + srcExtent - srcLimit;
        srcExtent = static_cast<int32_t>(std::max<int64_t>(srcLimit - int64_t(src), 0));
        dstExtent -= Round(static_cast<double>(d) / ratio);
    }
    dst = std::clamp(dst, 0, std::max(dstLimit - 1, 0));
    dstExtent = std::clamp(dstExtent, 0, dstLimit);
    src = std::clamp(src, 0, std::max(srcLimit - 1, 0));
    srcExtent = std::clamp(srcExtent, 0, srcLimit);
}

// Per-channel look-up of the channel offsets and the contrast stretch.
struct TAdjustTables
{
    std::array<std::array<uint8_t, 256>, 3> channel; // indexed blue, green, red

    TAdjustTables(const int32_t offsets[4], int32_t contrast)
    {
        int32_t factor = 65536;
        if (contrast > 0)
            factor = Round((contrast / 10.0L + 1) * 65536);
        else if (contrast < 0)
            factor = Round((1 - std::sqrt(static_cast<long double>(-contrast)) / 10) * 65536);
        // Red is offset 0, green 1, blue 2; pixels are stored blue first.
        const int32_t byMemoryOrder[3] = {offsets[2], offsets[1], offsets[0]};
        for (int c = 0; c < 3; ++c)
            for (int32_t v = 0; v < 256; ++v) {
                const int64_t centred = int64_t(v) + byMemoryOrder[c] - 128;
                channel[c][v] = blimit(static_cast<int32_t>(
                    std::clamp<int64_t>(centred * factor / 65536 + 128, INT32_MIN, INT32_MAX)));
            }
    }
    TRGB Apply(TRGB c) const { return TRGB{channel[0][c.b], channel[1][c.g], channel[2][c.r]}; }
};

// Grey levels of sample values under the display range; an empty range shows the raw values.
struct TDisplayRange
{
    double low;
    double high;
    bool Empty() const { return low == high; }
    uint8_t Integer(int64_t v) const
    {
        const int64_t lo = Round64(low), hi = Round64(high);
        v = std::clamp(v, std::min(lo, hi), std::max(lo, hi));
        return blimit(Round(static_cast<double>(v - lo) / (high - low) * 255));
    }
    uint8_t Float(double v) const
    {
        if (Empty())
            return blimit(Round(v * 255));
        v = std::clamp(v, std::min(low, high), std::max(low, high));
        return blimit(Round((v - low) / (high - low) * 255));
    }
};

// Everything one renderer call needs besides the sampling function.
struct TRenderArea
{
    uint8_t* const* rows;
    const int32_t* xTable;
    const int32_t* yTable;
    int32_t x1, y1, x2, y2;
};

struct TBlend
{
    int32_t transparency;
    TKVBitmap* alphaChannel; // nullptr: the constant row
    const uint8_t* alphaRow;
};

inline void BlendChannel(uint8_t& d, int32_t s, int32_t a)
{
    d = static_cast<uint8_t>(d + (((s - d) * (a << 10)) >> 18));
}

// The source row of a destination row, fetched once for a run of destination rows sampling it.
class TRowCache
{
public:
    explicit TRowCache(TKVBitmap* bitmap) : FBitmap(bitmap) {}
    const uint8_t* Row(int32_t y)
    {
        if (y != FIndex) {
            FRow = FBitmap->GetScanLine(y);
            FIndex = y;
        }
        return FRow;
    }

private:
    TKVBitmap* FBitmap;
    int32_t FIndex = -1;
    const uint8_t* FRow = nullptr;
};

// Fills the area with the colours that sample(row, column) gives; with reuse a destination row
// whose source row is the one above it copies that row's area.
template <typename Sample>
void RenderPlain(TKVBitmap& bitmap, const TRenderArea& a, bool reuse, Sample sample)
{
    TRowCache source(&bitmap);
    const size_t bytes = size_t(a.x2 - a.x1 + 1) * 3;
    for (int32_t y = a.y1; y <= a.y2; ++y) {
        const int32_t sy = a.yTable[y - a.y1];
        uint8_t* out = a.rows[y] + int64_t(a.x1) * 3;
        if (reuse && y > a.y1 && sy == a.yTable[y - a.y1 - 1]) {
            std::memcpy(out, a.rows[y - 1] + int64_t(a.x1) * 3, bytes);
            continue;
        }
        const uint8_t* row = source.Row(sy);
        if (row == nullptr)
            continue;
        TRGB* pixel = reinterpret_cast<TRGB*>(out);
        for (int32_t i = 0; i <= a.x2 - a.x1; ++i)
            pixel[i] = sample(row, a.xTable[i]);
    }
}

template <typename Sample>
void RenderBlend(TKVBitmap& bitmap, const TRenderArea& a, const TBlend& b, Sample sample)
{
    TRowCache source(&bitmap);
    std::unique_ptr<TRowCache> alpha;
    std::unique_ptr<TKVAccessScope> readAlpha;
    if (b.alphaChannel != nullptr) {
        readAlpha = std::make_unique<TKVAccessScope>(*b.alphaChannel, kvdRead);
        alpha = std::make_unique<TRowCache>(b.alphaChannel);
    }
    for (int32_t y = a.y1; y <= a.y2; ++y) {
        const int32_t sy = a.yTable[y - a.y1];
        const uint8_t* row = source.Row(sy);
        const uint8_t* alphaRow = alpha ? alpha->Row(sy) : b.alphaRow;
        if (row == nullptr || alphaRow == nullptr)
            continue;
        uint8_t* out = a.rows[y] + int64_t(a.x1) * 3;
        for (int32_t i = 0; i <= a.x2 - a.x1; ++i, out += 3) {
            const int32_t sx = a.xTable[i];
            const int32_t level = std::min<int32_t>(b.transparency, alphaRow[sx]);
            const TRGB c = sample(row, sx);
            BlendChannel(out[0], c.b, level);
            BlendChannel(out[1], c.g, level);
            BlendChannel(out[2], c.r, level);
        }
    }
}

inline TRGB Grey(uint8_t v)
{
    return TRGB{v, v, v};
}

inline TRGB Pixel24(const uint8_t* row, int32_t x)
{
    TRGB c;
    std::memcpy(&c, row + int64_t(x) * 3, 3);
    return c;
}

std::array<uint8_t, 256> GreyTable8(const TDisplayRange& range)
{
    std::array<uint8_t, 256> table{};
    for (int32_t v = 0; v < 256; ++v)
        table[v] = range.Empty() ? uint8_t(v) : range.Integer(v);
    return table;
}

std::vector<uint8_t> GreyTable16(const TDisplayRange& range)
{
    std::vector<uint8_t> table(65536);
    for (int32_t v = 0; v < 65536; ++v)
        table[v] = range.Empty() ? uint8_t(v >> 8) : range.Integer(v);
    return table;
}

// Converts an image of any other format to the kv24RGB colours its renderer shows.
std::unique_ptr<TKVBitmap> DisplayCopy(TKVBitmap& image, const TDisplayRange& range)
{
    auto copy = std::make_unique<TKVBitmap>();
    copy->Allocate(image.GetWidth(), image.GetHeight(), kv24RGB);
    TKVAccessScope readSource(image, kvdRead);
    TKVAccessScope writeCopy(*copy, kvdWrite);
    const std::array<uint8_t, 256> grey8 = GreyTable8(range);
    std::vector<uint8_t> grey16;
    if (image.GetPixelFormat() == kv16g)
        grey16 = GreyTable16(range);
    std::vector<uint8_t> in(static_cast<size_t>(image.GetRowLen()));
    for (int32_t y = 0; y < image.GetHeight(); ++y) {
        std::memcpy(in.data(), image.GetScanLine(y), in.size());
        TRGB* out = reinterpret_cast<TRGB*>(copy->GetScanLine(y));
        for (int32_t x = 0; x < image.GetWidth(); ++x) {
            switch (image.GetPixelFormat()) {
            case kv8p:
                out[x] = image.GetPalette(in[x]);
                break;
            case kv8g:
                out[x] = Grey(grey8[in[x]]);
                break;
            case kv16g:
                out[x] = Grey(grey16[Daduvudez::detail::LoadPixel<uint16_t>(in.data(), x)]);
                break;
            case kv32f:
                out[x] = Grey(range.Float(Daduvudez::detail::LoadPixel<float>(in.data(), x)));
                break;
            default:
                out[x] = TRGB{};
                break;
            }
        }
    }
    return copy;
}

std::unique_ptr<TKVBitmap> NewBitmap(int32_t width, int32_t height, TKVPixelFormat format)
{
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->Allocate(width, height, format);
    return bitmap;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Channel offsets

void TKVBitmap::SetChannelOffset(int32_t Index, int32_t Value)
{
    if (Index >= 0 && Index <= 3)
        FChannelOffset[Index] = Value;
    FChannelOffsetOn = std::any_of(std::begin(FChannelOffset), std::end(FChannelOffset),
                                   [](int32_t offset) { return offset != 0; });
}

int32_t TKVBitmap::GetChannelOffset(int32_t Index) const
{
    return Index >= 0 && Index <= 3 ? FChannelOffset[Index] : 0;
}

// ---------------------------------------------------------------------------------------------
// RenderToTBitmap

void TKVBitmap::RenderToTBitmap(TBitmap* Dest, std::unique_ptr<TKVRowTable>& RowTable,
                                std::unique_ptr<TKVSampleTable>& XTable,
                                std::unique_ptr<TKVSampleTable>& YTable, const TRect* UpdateRect,
                                int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                                int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, bool EnableAlpha,
                                bool SolidBackground, int32_t Transparency, TResampleFilter Filter,
                                bool FreeTables)
{
    TKVAccessScope readOnly(*this, kvdRead);
    if (Dest == nullptr || Dest->PixelFormat() != pf24bit || Dest->Empty())
        return;
    if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0 || FWidth <= 0 || FHeight <= 0)
        return;
    const int32_t bmpWidth = Dest->Width(), bmpHeight = Dest->Height();
    if (DstY > bmpHeight - 1 || DstX > bmpWidth - 1)
        return;
    if (FPixelFormat == kvnull)
        return;

    ClipAxis(DstY, DstHeight, bmpHeight, SrcY, SrcHeight, FHeight);
    ClipAxis(DstX, DstWidth, bmpWidth, SrcX, SrcWidth, FWidth);
    if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0)
        return;

    const bool hasAlpha = FAlphaChannel != nullptr;
    if (Filter != rfNone && (DstWidth != SrcWidth || DstHeight != SrcHeight) &&
        (FPixelFormat == kv1g || FPixelFormat == kv24RGB)) {
        std::unique_ptr<TKVSampleTable> ownX, ownY;
        if (FPixelFormat == kv1g && DstWidth <= SrcWidth && !(EnableAlpha && hasAlpha)) {
            auto reduced = NewBitmap(DstWidth, DstHeight, kv24RGB);
            Korvaneproc::_SubResample1bitFilteredEx(this, SrcX, SrcY, SrcX + SrcWidth - 1,
                                                    SrcY + SrcHeight - 1, reduced.get());
            reduced->RenderToTBitmap(Dest, RowTable, ownX, ownY, UpdateRect, DstX, DstY, DstWidth, DstHeight,
                                     0, 0, DstWidth, DstHeight, EnableAlpha, SolidBackground, Transparency,
                                     rfNone, true);
            return;
        }
        auto area = NewBitmap(SrcWidth, SrcHeight, FPixelFormat);
        CopyRectTo(area.get(), SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
        auto scaled = NewBitmap(DstWidth, DstHeight, kv24RGB);
        if (FPixelFormat == kv1g)
            Korvaneproc::_Resample1bitEx(area.get(), scaled.get(), Filter);
        else
            Korvaneproc::_ResampleEx(area.get(), scaled.get(), Filter);
        if (EnableAlpha && hasAlpha) {
            TKVBitmap* areaAlpha = area->GetAlphaChannel();
            FAlphaChannel->CopyRectTo(areaAlpha, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
            areaAlpha->Full = FAlphaChannel->Full;
            TKVBitmap* scaledAlpha = scaled->GetAlphaChannel();
            Korvaneproc::_ResampleAlphaEx(areaAlpha, scaledAlpha, Filter);
            scaledAlpha->Full = areaAlpha->Full;
        }
        std::copy(std::begin(FChannelOffset), std::end(FChannelOffset), scaled->FChannelOffset);
        scaled->FChannelOffsetOn = FChannelOffsetOn;
        scaled->Contrast = Contrast;
        scaled->RenderToTBitmap(Dest, RowTable, ownX, ownY, UpdateRect, DstX, DstY, DstWidth, DstHeight, 0, 0,
                                DstWidth, DstHeight, EnableAlpha, SolidBackground, Transparency, rfNone,
                                true);
        return;
    }

    std::unique_ptr<TKVRowTable> builtRows;
    TKVRowTable* rows = RowTable.get();
    if (!RowTableFits(rows, Dest)) {
        builtRows = BuildRowTable(Dest);
        rows = builtRows.get();
    }

    const int32_t zoomY = ZoomOf(SrcHeight, DstHeight);
    const int32_t zoomX = ZoomOf(SrcWidth, DstWidth);
    int32_t x1 = std::max(UpdateRect ? UpdateRect->Left : -2147483646, DstX);
    int32_t x2 = std::min({UpdateRect ? UpdateRect->Right : 2147483646, DstX + DstWidth - 1, bmpWidth - 1});
    int32_t y1 = std::max(UpdateRect ? UpdateRect->Top : -2147483646, DstY);
    int32_t y2 =
        std::min({UpdateRect ? UpdateRect->Bottom : 2147483646, DstY + DstHeight - 1, bmpHeight - 1});
    x1 = std::clamp(x1, 0, bmpWidth - 1);
    x2 = std::clamp(x2, 0, bmpWidth - 1);
    y1 = std::clamp(y1, 0, bmpHeight - 1);
    y2 = std::clamp(y2, 0, bmpHeight - 1);

    const bool useAlpha = EnableAlpha && hasAlpha && !FAlphaChannel->Full;
    const bool blend = Transparency < 255 || useAlpha;
    const bool needTables = !(zoomX == kOneToOne && zoomY == kOneToOne && FPixelFormat == kv24RGB && !blend &&
                              !FChannelOffsetOn && Contrast == 0);

    std::unique_ptr<TKVSampleTable> builtX, builtY;
    const TKVSampleTable* columns = nullptr;
    const TKVSampleTable* sourceRows = nullptr;
    if (needTables) {
        columns = XTable.get();
        if (!SampleTableFits(columns, DstX, DstWidth, zoomX, SrcX, FWidth)) {
            builtX = std::make_unique<TKVSampleTable>();
            FillSampleTable(*builtX, DstX, DstWidth, zoomX, SrcX, FWidth);
            columns = builtX.get();
        }
        sourceRows = YTable.get();
        if (!SampleTableFits(sourceRows, DstY, DstHeight, zoomY, SrcY, FHeight)) {
            builtY = std::make_unique<TKVSampleTable>();
            FillSampleTable(*builtY, DstY, DstHeight, zoomY, SrcY, FHeight);
            sourceRows = builtY.get();
        }
    }

    if (x1 <= x2 && y1 <= y2) {
        std::vector<uint8_t> alphaRow;
        if (Transparency < 255)
            alphaRow.assign(static_cast<size_t>(FWidth), static_cast<uint8_t>(std::max(Transparency, 0)));
        const int32_t* xt = columns ? columns->Entries.data() + (x1 - columns->DestOrigin) : nullptr;
        const int32_t* yt = sourceRows ? sourceRows->Entries.data() + (y1 - sourceRows->DestOrigin) : nullptr;
        uint8_t* const* rowPtrs = rows->Rows.data();
        const uint8_t* constRow = alphaRow.empty() ? nullptr : alphaRow.data();
        const int32_t level = std::clamp(Transparency, 0, 255);
        switch (FPixelFormat) {
        case kv24RGB:
            if (blend)
                Render_kv24RGB_alpha(rowPtrs, Dest, level, useAlpha, constRow, xt, yt, SrcX, SrcY, DstX, DstY,
                                     x1, y1, x2, y2, zoomX, zoomY, SolidBackground);
            else
                Render_kv24RGB(rowPtrs, Dest, xt, yt, SrcX, SrcY, DstX, DstY, x1, y1, x2, y2, zoomX, zoomY,
                               SolidBackground);
            break;
        case kv1g:
            if (blend)
                Render_kv1g_alpha(rowPtrs, Dest, level, useAlpha, constRow, xt, yt, SrcX, SrcY, DstX, DstY,
                                  x1, y1, x2, y2, zoomX, zoomY, SolidBackground);
            else
                Render_kv1g(rowPtrs, Dest, xt, yt, SrcX, SrcY, DstX, DstY, x1, y1, x2, y2, zoomX, zoomY,
                            SolidBackground);
            break;
        case kv8g:
            if (blend)
                Render_kv8g_alpha(rowPtrs, Dest, level, useAlpha, constRow, xt, yt, SrcX, SrcY, DstX, DstY,
                                  x1, y1, x2, y2, zoomX, zoomY, SolidBackground);
            else
                Render_kv8g(rowPtrs, Dest, xt, yt, SrcX, SrcY, DstX, DstY, x1, y1, x2, y2, zoomX, zoomY,
                            SolidBackground);
            break;
        case kv8p:
            if (blend)
                Render_kv8p_alpha(rowPtrs, Dest, level, useAlpha, constRow, xt, yt, SrcX, SrcY, DstX, DstY,
                                  x1, y1, x2, y2, zoomX, zoomY, SolidBackground);
            else
                Render_kv8p(rowPtrs, Dest, xt, yt, SrcX, SrcY, DstX, DstY, x1, y1, x2, y2, zoomX, zoomY,
                            SolidBackground);
            break;
        case kv16g:
            if (blend)
                Render_kv16g_alpha(rowPtrs, Dest, level, useAlpha, constRow, xt, yt, SrcX, SrcY, DstX, DstY,
                                   x1, y1, x2, y2, zoomX, zoomY, SolidBackground);
            else
                Render_kv16g(rowPtrs, Dest, xt, yt, SrcX, SrcY, DstX, DstY, x1, y1, x2, y2, zoomX, zoomY,
                             SolidBackground);
            break;
        case kv32f:
            if (blend)
                Render_kv32f_alpha(rowPtrs, Dest, level, useAlpha, constRow, xt, yt, SrcX, SrcY, DstX, DstY,
                                   x1, y1, x2, y2, zoomX, zoomY, SolidBackground);
            else
                Render_kv32f(rowPtrs, Dest, xt, yt, SrcX, SrcY, DstX, DstY, x1, y1, x2, y2, zoomX, zoomY,
                             SolidBackground);
            break;
        default:
            break;
        }
    }

    if (!FreeTables) {
        if (builtRows)
            RowTable = std::move(builtRows);
        if (builtX)
            XTable = std::move(builtX);
        if (builtY)
            YTable = std::move(builtY);
    }
}

// ---------------------------------------------------------------------------------------------
// The renderers

void TKVBitmap::Render_kv24RGB(uint8_t* const* RowTable, TBitmap*, const int32_t* XTable,
                               const int32_t* YTable, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                               int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ZoomX, int32_t ZoomY,
                               bool SolidBackground)
{
    const TRenderArea area{RowTable, XTable, YTable, x1, y1, x2, y2};
    const bool adjust = FChannelOffsetOn || Contrast != 0;
    if (!adjust && ZoomX == kOneToOne && ZoomY == kOneToOne) {
        // One source pixel per destination pixel: row block copies, cut to the image.
        const int64_t firstColumn = int64_t(x1) - DstX + SrcX;
        if (firstColumn < 0 || firstColumn >= FWidth)
            return;
        const int64_t count = std::min<int64_t>(x2 - x1 + 1, FWidth - firstColumn);
        for (int32_t y = y1; y <= y2; ++y) {
            const int64_t sourceRow = int64_t(y) - DstY + SrcY;
            if (sourceRow < 0 || sourceRow >= FHeight)
                continue;
            const uint8_t* row = GetScanLine(static_cast<int32_t>(sourceRow));
            if (row != nullptr)
                std::memcpy(RowTable[y] + int64_t(x1) * 3, row + firstColumn * 3, size_t(count) * 3);
        }
        return;
    }
    if (!adjust) {
        RenderPlain(*this, area, SolidBackground, Pixel24);
        return;
    }
    const TAdjustTables tables(FChannelOffset, Contrast);
    RenderPlain(*this, area, SolidBackground,
                [&](const uint8_t* row, int32_t x) { return tables.Apply(Pixel24(row, x)); });
}

void TKVBitmap::Render_kv24RGB_alpha(uint8_t* const* RowTable, TBitmap*, int32_t Transparency,
                                     bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                     const int32_t* YTable, int32_t, int32_t, int32_t, int32_t, int32_t x1,
                                     int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, bool)
{
    const TRenderArea area{RowTable, XTable, YTable, x1, y1, x2, y2};
    const TBlend blend{Transparency, UseAlphaChannel ? GetAlphaChannel() : nullptr, AlphaRow};
    if (!FChannelOffsetOn && Contrast == 0) {
        RenderBlend(*this, area, blend, Pixel24);
        return;
    }
    const TAdjustTables tables(FChannelOffset, Contrast);
    RenderBlend(*this, area, blend,
                [&](const uint8_t* row, int32_t x) { return tables.Apply(Pixel24(row, x)); });
}

namespace {

inline TRGB Pixel1(const uint8_t* row, int32_t x)
{
    return Grey(Korvaneproc::_GetPixelbw(row, x) ? 255 : 0);
}

} // namespace

void TKVBitmap::Render_kv1g(uint8_t* const* RowTable, TBitmap*, const int32_t* XTable, const int32_t* YTable,
                            int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2,
                            int32_t y2, int32_t, int32_t, bool SolidBackground)
{
    RenderPlain(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2}, SolidBackground, Pixel1);
}

void TKVBitmap::Render_kv1g_alpha(uint8_t* const* RowTable, TBitmap*, int32_t Transparency,
                                  bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                  const int32_t* YTable, int32_t, int32_t, int32_t, int32_t, int32_t x1,
                                  int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, bool)
{
    RenderBlend(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2},
                TBlend{Transparency, UseAlphaChannel ? GetAlphaChannel() : nullptr, AlphaRow}, Pixel1);
}

void TKVBitmap::Render_kv8g(uint8_t* const* RowTable, TBitmap*, const int32_t* XTable, const int32_t* YTable,
                            int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2,
                            int32_t y2, int32_t, int32_t, bool)
{
    const std::array<uint8_t, 256> grey = GreyTable8(TDisplayRange{DisplayRangeLow, DisplayRangeHigh});
    RenderPlain(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2}, false,
                [&](const uint8_t* row, int32_t x) { return Grey(grey[row[x]]); });
}

void TKVBitmap::Render_kv8g_alpha(uint8_t* const* RowTable, TBitmap*, int32_t Transparency,
                                  bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                  const int32_t* YTable, int32_t, int32_t, int32_t, int32_t, int32_t x1,
                                  int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, bool)
{
    const std::array<uint8_t, 256> grey = GreyTable8(TDisplayRange{DisplayRangeLow, DisplayRangeHigh});
    RenderBlend(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2},
                TBlend{Transparency, UseAlphaChannel ? GetAlphaChannel() : nullptr, AlphaRow},
                [&](const uint8_t* row, int32_t x) { return Grey(grey[row[x]]); });
}

void TKVBitmap::Render_kv8p(uint8_t* const* RowTable, TBitmap*, const int32_t* XTable, const int32_t* YTable,
                            int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2,
                            int32_t y2, int32_t, int32_t, bool)
{
    RenderPlain(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2}, false,
                [&](const uint8_t* row, int32_t x) { return GetPalette(row[x]); });
}

void TKVBitmap::Render_kv8p_alpha(uint8_t* const* RowTable, TBitmap*, int32_t Transparency,
                                  bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                  const int32_t* YTable, int32_t, int32_t, int32_t, int32_t, int32_t x1,
                                  int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, bool)
{
    RenderBlend(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2},
                TBlend{Transparency, UseAlphaChannel ? GetAlphaChannel() : nullptr, AlphaRow},
                [&](const uint8_t* row, int32_t x) { return GetPalette(row[x]); });
}

void TKVBitmap::Render_kv16g(uint8_t* const* RowTable, TBitmap*, const int32_t* XTable, const int32_t* YTable,
                             int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2, int32_t, int32_t, bool)
{
    const std::vector<uint8_t> grey = GreyTable16(TDisplayRange{DisplayRangeLow, DisplayRangeHigh});
    RenderPlain(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2}, false,
                [&](const uint8_t* row, int32_t x) {
                    return Grey(grey[Daduvudez::detail::LoadPixel<uint16_t>(row, x)]);
                });
}

void TKVBitmap::Render_kv16g_alpha(uint8_t* const* RowTable, TBitmap*, int32_t Transparency,
                                   bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                   const int32_t* YTable, int32_t, int32_t, int32_t, int32_t, int32_t x1,
                                   int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, bool)
{
    const std::vector<uint8_t> grey = GreyTable16(TDisplayRange{DisplayRangeLow, DisplayRangeHigh});
    RenderBlend(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2},
                TBlend{Transparency, UseAlphaChannel ? GetAlphaChannel() : nullptr, AlphaRow},
                [&](const uint8_t* row, int32_t x) {
                    return Grey(grey[Daduvudez::detail::LoadPixel<uint16_t>(row, x)]);
                });
}

void TKVBitmap::Render_kv32f(uint8_t* const* RowTable, TBitmap*, const int32_t* XTable, const int32_t* YTable,
                             int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2, int32_t, int32_t, bool)
{
    const TDisplayRange range{DisplayRangeLow, DisplayRangeHigh};
    RenderPlain(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2}, false,
                [&](const uint8_t* row, int32_t x) {
                    return Grey(range.Float(Daduvudez::detail::LoadPixel<float>(row, x)));
                });
}

void TKVBitmap::Render_kv32f_alpha(uint8_t* const* RowTable, TBitmap*, int32_t Transparency,
                                   bool UseAlphaChannel, const uint8_t* AlphaRow, const int32_t* XTable,
                                   const int32_t* YTable, int32_t, int32_t, int32_t, int32_t, int32_t x1,
                                   int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, bool)
{
    const TDisplayRange range{DisplayRangeLow, DisplayRangeHigh};
    RenderBlend(*this, TRenderArea{RowTable, XTable, YTable, x1, y1, x2, y2},
                TBlend{Transparency, UseAlphaChannel ? GetAlphaChannel() : nullptr, AlphaRow},
                [&](const uint8_t* row, int32_t x) {
                    return Grey(range.Float(Daduvudez::detail::LoadPixel<float>(row, x)));
                });
}

// ---------------------------------------------------------------------------------------------
// RenderToCanvas

namespace {

// Draws the band as a packed DIB at (x, y).
void DrawBand(TCanvas* canvas, TBitmap& band, int32_t x, int32_t y)
{
    HGLOBAL dib = Korvaneproc::_CopyBitmaptoDIB(&band, 0, 0, 0, 0);
    if (dib == nullptr)
        return;
    {
        TGlobalLock lock(dib);
        if (lock.Data() != nullptr) {
            const auto* info = reinterpret_cast<const BITMAPINFO*>(lock.Data());
            const int32_t bits = info->bmiHeader.biBitCount;
            const size_t paletteBytes = bits <= 8 ? (size_t(1) << bits) * 4 : 0;
            const uint8_t* pixels = lock.Data() + info->bmiHeader.biSize + paletteBytes;
            SetStretchBltMode(canvas, COLORONCOLOR);
            StretchDIBits(canvas, x, y, band.Width(), band.Height(), 0, 0, band.Width(), band.Height(),
                          pixels, info, DIB_RGB_COLORS, SRCCOPY);
        }
    }
    GlobalFree(dib);
}

} // namespace

void TKVBitmap::RenderToCanvas(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                               TResampleFilter Filter, double Gamma)
{
    if (Canvas == nullptr || FWidth <= 0 || FHeight <= 0 || FPixelFormat == kvnull || Width <= 0 ||
        Height <= 0)
        return;
    const int64_t rowBytes = Daduvudez::_BitmapRowLen(Width, 24);
    // A band holds at least one row, whatever the threshold.
    int32_t bandHeight =
        static_cast<int32_t>(std::clamp<int64_t>(int64_t(std::max(MinFileSize, 0)) / rowBytes, 1, Height));

    TKVBitmap* source = this;
    std::unique_ptr<TKVBitmap> display;
    if (FPixelFormat != kv1g && FPixelFormat != kv24RGB) {
        display = DisplayCopy(*this, TDisplayRange{DisplayRangeLow, DisplayRangeHigh});
        source = display.get();
    }
    std::unique_ptr<TKVBitmap> sized;
    {
        TKVAccessScope readSource(*source, kvdRead);
        if (Filter == rfNone) {
            sized = NewBitmap(Width, Height, source->GetPixelFormat());
            Korvaneproc::_KVBmpStretchEx(source, sized.get());
        } else if (source->GetPixelFormat() == kv1g) {
            sized = NewBitmap(Width, Height, kv24RGB);
            Korvaneproc::_Resample1bitEx(source, sized.get(), Filter);
        } else {
            sized = NewBitmap(Width, Height, kv24RGB);
            Korvaneproc::_ResampleEx(source, sized.get(), Filter);
        }
    }
    display.reset();

    const bool oneBit = sized->GetPixelFormat() == kv1g;
    TBitmap band;
    band.SetPixelFormat(oneBit ? pf1bit : pf24bit);
    band.SetSize(Width, bandHeight);
    Canvas->SetCopyMode(cmSrcCopy);
    std::array<uint8_t, 256> gamma{};
    const bool correct = !oneBit && Gamma != 1.0 && Gamma > 0;
    if (correct)
        for (int32_t i = 0; i < 256; ++i)
            gamma[i] = blimit(Round(Daduvudez::KVPower(i / 255.0L, 1.0L / Gamma) * 255));

    TKVAccessScope readSized(*sized, kvdRead);
    const size_t copyBytes = static_cast<size_t>(std::min<int64_t>(sized->GetRowLen(), band.RowLength()));
    int32_t top = Y;
    int32_t row = 0;
    while (row < Height) {
        for (int32_t i = 0; i < bandHeight; ++i)
            std::memcpy(band.ScanLine(i), sized->GetScanLine(row + i), copyBytes);
        if (correct)
            for (int32_t i = 0; i < bandHeight; ++i) {
                uint8_t* line = band.ScanLine(i);
                for (int64_t k = 0; k < int64_t(Width) * 3; ++k)
                    line[k] = gamma[line[k]];
            }
        DrawBand(Canvas, band, X, top);
        top += bandHeight;
        row += bandHeight;
        const int32_t next = std::min(bandHeight, Height - row);
        if (next != bandHeight && next > 0) {
            bandHeight = next;
            band.SetHeight(bandHeight);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// StretchRectTo

void TKVBitmap::StretchRectTo(TKVBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth,
                              int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                              int32_t SrcHeight, TResampleFilter Filter, int32_t Alpha)
{
    if (Dest == nullptr || Dest == this || Dest->GetPixelFormat() != kv24RGB || FWidth <= 0 || FHeight <= 0)
        return;
    const bool copiesPixels = FPixelFormat == kv1g || FPixelFormat == kv24RGB;
    const bool hasAlpha = FAlphaChannel != nullptr;
    if (Filter != rfNone && copiesPixels && (DstWidth != SrcWidth || DstHeight != SrcHeight)) {
        if (DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1)
            return;
        if (FPixelFormat == kv1g && !hasAlpha && DstWidth <= SrcWidth) {
            auto reduced = NewBitmap(DstWidth, DstHeight, kv24RGB);
            Korvaneproc::_SubResample1bitFilteredEx(this, SrcX, SrcY, SrcX + SrcWidth - 1,
                                                    SrcY + SrcHeight - 1, reduced.get());
            reduced->StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone,
                                   Alpha);
            return;
        }
        auto area = NewBitmap(SrcWidth, SrcHeight, FPixelFormat);
        CopyRectTo(area.get(), SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
        auto scaled = NewBitmap(DstWidth, DstHeight, kv24RGB);
        if (FPixelFormat == kv1g)
            Korvaneproc::_Resample1bitEx(area.get(), scaled.get(), Filter);
        else
            Korvaneproc::_ResampleEx(area.get(), scaled.get(), Filter);
        if (hasAlpha) {
            TKVBitmap* areaAlpha = area->GetAlphaChannel();
            FAlphaChannel->CopyRectTo(areaAlpha, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
            areaAlpha->Full = FAlphaChannel->Full;
            TKVBitmap* scaledAlpha = scaled->GetAlphaChannel();
            Korvaneproc::_ResampleAlphaEx(areaAlpha, scaledAlpha, Filter);
            scaledAlpha->Full = areaAlpha->Full;
        }
        scaled->StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone,
                              Alpha);
        return;
    }

    if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0)
        return;
    const int32_t zoomX = ZoomOf(SrcWidth, DstWidth);
    const int32_t zoomY = ZoomOf(SrcHeight, DstHeight);
    const int32_t x1 = std::max(DstX, 0);
    const int32_t x2 =
        static_cast<int32_t>(std::min<int64_t>(int64_t(DstX) + DstWidth - 1, Dest->GetWidth() - 1));
    const int32_t y1 = std::max(DstY, 0);
    const int32_t y2 =
        static_cast<int32_t>(std::min<int64_t>(int64_t(DstY) + DstHeight - 1, Dest->GetHeight() - 1));
    if (x1 > x2 || y1 > y2)
        return;

    // The source of each destination column and row; positions outside the image stay undrawn.
    const bool oneToOne = zoomX == kOneToOne && zoomY == kOneToOne;
    auto sourceOf = [&](int64_t d, int64_t origin, int32_t zoom, int64_t srcOrigin) {
        return oneToOne ? d - origin + srcOrigin : (((d - origin) * zoom) >> 14) + srcOrigin;
    };
    std::vector<int32_t> columns(static_cast<size_t>(x2 - x1 + 1)), rows(static_cast<size_t>(y2 - y1 + 1));
    for (int32_t x = x1; x <= x2; ++x) {
        const int64_t s = sourceOf(x, DstX, zoomX, SrcX);
        columns[x - x1] = s >= 0 && s < FWidth ? static_cast<int32_t>(s) : -1;
    }
    for (int32_t y = y1; y <= y2; ++y) {
        const int64_t s = sourceOf(y, DstY, zoomY, SrcY);
        rows[y - y1] = s >= 0 && s < FHeight ? static_cast<int32_t>(s) : -1;
    }

    TKVAccessScope readSource(*this, kvdRead);
    const bool sourceAlpha = hasAlpha && !FAlphaChannel->Full;
    TKVBitmap* destAlpha = Dest->GetAlphaChannel();
    const uint8_t limit = static_cast<uint8_t>(std::clamp(Alpha, 0, 255));
    if (destAlpha != nullptr) {
        if (sourceAlpha) {
            TKVAccessScope readAlpha(*FAlphaChannel, kvdRead);
            TKVAccessScope writeAlpha(*destAlpha, kvdReadWrite);
            std::vector<uint8_t> in(static_cast<size_t>(FAlphaChannel->GetRowLen()));
            for (int32_t y = y1; y <= y2; ++y) {
                if (rows[y - y1] < 0)
                    continue;
                std::memcpy(in.data(), FAlphaChannel->GetScanLine(rows[y - y1]), in.size());
                uint8_t* out = destAlpha->GetScanLine(y);
                for (int32_t x = x1; x <= x2; ++x)
                    if (columns[x - x1] >= 0)
                        out[x] = std::min(in[columns[x - x1]], limit);
            }
            destAlpha->Full = false;
        } else {
            destAlpha->FillRect(x1, y1, x2, y2, limit);
            if (limit < 255)
                destAlpha->Full = false;
        }
    }
    if (!copiesPixels)
        return;

    TKVAccessScope writeDest(*Dest, kvdReadWrite);
    std::vector<uint8_t> in(static_cast<size_t>(FRowLen));
    for (int32_t y = y1; y <= y2; ++y) {
        if (rows[y - y1] < 0)
            continue;
        std::memcpy(in.data(), GetScanLine(rows[y - y1]), in.size());
        TRGB* out = reinterpret_cast<TRGB*>(Dest->GetScanLine(y));
        for (int32_t x = x1; x <= x2; ++x) {
            const int32_t sx = columns[x - x1];
            if (sx >= 0)
                out[x] = FPixelFormat == kv1g ? Pixel1(in.data(), sx) : Pixel24(in.data(), sx);
        }
    }
}
