// The selection and alpha mask: pixels, bounding box, polygon fill and moves.
#include "imaging/core/mask.h"

#include "imaging/core/bitmap_copies.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/pixel_helpers.h"
#include "platform/core/exceptions.h"
#include "platform/core/rounding.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

namespace {

// A mask's bits must fit in memory; beyond this a size is taken for a corrupt one.
constexpr int64_t kMaxMaskBytes = int64_t(1) << 34;

int64_t MaskRowLen(int64_t width, int64_t bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

int32_t Saturate32(int64_t value)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void ClearBitRun(uint8_t* row, int64_t from, int64_t to)
{
    for (int64_t x = from; x <= to; ++x)
        row[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
}

void SetBitRun(uint8_t* row, int64_t from, int64_t to)
{
    for (; from <= to && (from & 7) != 0; ++from)
        row[from >> 3] |= static_cast<uint8_t>(0x80 >> (from & 7));
    for (; from + 7 <= to; from += 8)
        row[from >> 3] = 0xFF;
    for (; from <= to; ++from)
        row[from >> 3] |= static_cast<uint8_t>(0x80 >> (from & 7));
}

} // namespace

void TKVMask::AllocateBits(int32_t width, int32_t height, int32_t bitsPerPixel)
{
    if (bitsPerPixel != 1 && bitsPerPixel != 8)
        throw Exception("A mask has 1 or 8 bits per pixel");
    if (width < 0 || height < 0)
        throw Exception("A mask cannot have a negative size");
    const int64_t rowLen = MaskRowLen(width, bitsPerPixel);
    if (rowLen * height > kMaxMaskBytes)
        throw EOutOfMemory();
    FreeBits();
    FBits = TBits(static_cast<size_t>(rowLen * height));
    Width = width;
    Height = height;
    BitsPerPixel = bitsPerPixel;
    RowLen = static_cast<int32_t>(rowLen);
    ResetBox();
    Full = false;
}

void TKVMask::FreeBits()
{
    TBits().swap(FBits);
    Width = Height = BitsPerPixel = RowLen = 0;
}

void TKVMask::Resize(int32_t width, int32_t height)
{
    if (BitsPerPixel == 0)
        return;
    if (width < 0 || height < 0)
        throw Exception("A mask cannot have a negative size");
    const int64_t rowLen = MaskRowLen(width, BitsPerPixel);
    if (rowLen * height > kMaxMaskBytes)
        throw EOutOfMemory();
    TBits bits(static_cast<size_t>(rowLen * height));
    const int32_t keptRows = std::min(Height, height);
    const int64_t keptBytes = std::min<int64_t>(RowLen, rowLen);
    for (int32_t y = 0; y < keptRows; ++y) {
        uint8_t* dest = bits.data() + (height - y - 1) * rowLen;
        std::memcpy(dest, GetScanLine(y), static_cast<size_t>(keptBytes));
        // A narrower 1-bit row keeps no pixels past its width in the padding.
        if (BitsPerPixel == 1 && width < Width && (width & 7) != 0)
            dest[width >> 3] &= static_cast<uint8_t>(0xFF00 >> (width & 7));
    }
    FBits.swap(bits);
    const bool grew = width > Width || height > Height;
    Width = width;
    Height = height;
    RowLen = static_cast<int32_t>(rowLen);
    if (!IsEmpty())
        ClampBox();
    if (Full && grew)
        Full = false;
}

void TKVMask::Assign(const TKVMask* source)
{
    if (source == nullptr || source == this)
        return;
    FBits = source->FBits;
    Width = source->Width;
    Height = source->Height;
    BitsPerPixel = source->BitsPerPixel;
    RowLen = source->RowLen;
    x1 = source->x1;
    y1 = source->y1;
    x2 = source->x2;
    y2 = source->y2;
    Full = source->Full;
}

uint8_t* TKVMask::GetScanLine(int32_t y)
{
    return FBits.data() + int64_t(Height - y - 1) * RowLen;
}

const uint8_t* TKVMask::GetScanLine(int32_t y) const
{
    return FBits.data() + int64_t(Height - y - 1) * RowLen;
}

void TKVMask::NoteWrite(int32_t value)
{
    // Full stays true only while every byte is still 255.
    if (BitsPerPixel == 8 ? value != 255 : value == 0)
        Full = false;
}

void TKVMask::WritePixel(uint8_t* row, int32_t x, int32_t value)
{
    if (BitsPerPixel == 1) {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        if (value != 0)
            row[x >> 3] |= bit;
        else
            row[x >> 3] &= static_cast<uint8_t>(~bit);
    } else {
        row[x] = static_cast<uint8_t>(value);
    }
}

void TKVMask::SetPixel(int32_t x, int32_t y, int32_t value)
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return;
    if (value != 0) {
        x1 = std::min(x1, x);
        y1 = std::min(y1, y);
        x2 = std::max(x2, x);
        y2 = std::max(y2, y);
    }
    NoteWrite(value);
    WritePixel(GetScanLine(y), x, value);
}

int32_t TKVMask::GetPixel(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return 0;
    const uint8_t* row = GetScanLine(y);
    if (BitsPerPixel == 1)
        return row[x >> 3] & (0x80 >> (x & 7));
    return row[x];
}

void TKVMask::Fill(int32_t value)
{
    std::fill(FBits.begin(), FBits.end(), static_cast<uint8_t>(value));
    Full = value == 255 && !FBits.empty();
}

void TKVMask::Empty()
{
    Fill(0);
    ResetBox();
}

void TKVMask::SyncFull()
{
    Full = !FBits.empty() && std::all_of(FBits.begin(), FBits.end(), [](uint8_t b) { return b == 255; });
}

void TKVMask::Negative()
{
    if (BitsPerPixel != 1 || IsEmpty())
        return;
    const int32_t usedBytes = (Width + 7) / 8;
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = GetScanLine(y);
        for (int32_t i = 0; i < usedBytes; ++i)
            row[i] = static_cast<uint8_t>(~row[i]);
        if ((Width & 7) != 0)
            row[usedBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (Width & 7));
    }
    RecomputeBox();
    Full = false;
}

void TKVMask::RecomputeBox()
{
    ResetBox();
    for (int32_t y = 0; y < Height; ++y) {
        for (int32_t x = 0; x < Width; ++x) {
            if (GetPixel(x, y) == 0)
                continue;
            x1 = std::min(x1, x);
            y1 = std::min(y1, y);
            x2 = std::max(x2, x);
            y2 = std::max(y2, y);
        }
    }
}

void TKVMask::ResetBox()
{
    x1 = y1 = kEmptyBox;
    x2 = y2 = 0;
}

void TKVMask::ClampBox()
{
    const int32_t maxX = std::max(Width - 1, 0);
    const int32_t maxY = std::max(Height - 1, 0);
    x1 = std::clamp(x1, 0, maxX);
    y1 = std::clamp(y1, 0, maxY);
    x2 = std::clamp(x2, 0, maxX);
    y2 = std::clamp(y2, 0, maxY);
}

int32_t TKVMask::DrawHorizontalLine(int32_t value, int32_t left, int32_t right, int32_t y)
{
    // Rows above or below the mask are skipped: clamping them would smear figures onto the edges.
    if (FBits.empty() || y < 0 || y >= Height)
        return 0;
    left = std::max(left, 0);
    right = std::min(right, Width - 1);
    if (right < left)
        return 0;
    NoteWrite(value);
    uint8_t* row = GetScanLine(y);
    if (BitsPerPixel == 1) {
        if (value != 0)
            SetBitRun(row, left, right);
        else
            ClearBitRun(row, left, right);
    } else {
        std::memset(row + left, static_cast<uint8_t>(value), static_cast<size_t>(right - left + 1));
    }
    return right - left + 1;
}

void TKVMask::DrawPolygon(int32_t value, const TPoint* points, int32_t count)
{
    if (points == nullptr || count <= 0)
        return;
    int32_t start = 0;
    for (int32_t i = 0; i <= count; ++i) {
        if (i == count || points[i].X == KVPolygonSeparator) {
            DrawSinglePolygon(value, points + start, i - start);
            start = i + 1;
        }
    }
}

namespace {

struct TPolygonEdge
{
    int64_t x;
    int64_t yStart;
    int64_t yEnd;
    int64_t dx;
    int64_t dy; // always > 0: edges run downward
    int64_t error;
};

// Bresenham-like step to the next row, keeping the edge's x on its exact line within one pixel.
void StepEdge(TPolygonEdge& e)
{
    const int64_t whole = e.dx / e.dy;
    e.x += whole;
    e.error += 2 * e.dx - whole * 2 * e.dy;
    if (e.error > e.dy || e.error < -e.dy) {
        if (e.dx > 0) {
            e.x += 1;
            e.error -= 2 * e.dy;
        } else {
            e.x -= 1;
            e.error += 2 * e.dy;
        }
    }
}

// At equal x a new edge goes after every edge of smaller slope, so spans pair up left to right.
void InsertEdge(std::vector<TPolygonEdge>& active, const TPolygonEdge& edge)
{
    auto at = active.begin();
    while (at != active.end() && (at->x < edge.x || (at->x == edge.x && at->dx * edge.dy < edge.dx * at->dy)))
        ++at;
    active.insert(at, edge);
}

} // namespace

bool TKVMask::DrawSinglePolygon(int32_t value, const TPoint* points, int32_t count)
{
    if (count <= 0)
        return false;
    const int32_t savedBox[4] = {x1, y1, x2, y2};
    int64_t minY = points[0].Y;
    int64_t maxY = points[0].Y;
    for (int32_t k = 0; k < count; ++k) {
        minY = std::min<int64_t>(minY, points[k].Y);
        maxY = std::max<int64_t>(maxY, points[k].Y);
    }
    if (value != 0) {
        for (int32_t k = 0; k < count; ++k) {
            x1 = std::min(x1, points[k].X);
            y1 = std::min(y1, points[k].Y);
            if (points[k].X > x2)
                x2 = points[k].X - 1;
            if (points[k].Y > y2)
                y2 = points[k].Y - 1;
        }
        ClampBox();
    }

    // The edge table: edges ordered by their upper row; within a row the last edge built first.
    std::vector<TPolygonEdge> pending;
    for (int32_t k = count - 1; k >= 0; --k) {
        const TPoint& a = points[k];
        const TPoint& b = points[(k + 1) % count];
        if (a.Y == b.Y)
            continue;
        const TPoint& top = a.Y < b.Y ? a : b;
        const TPoint& bottom = a.Y < b.Y ? b : a;
        pending.push_back({top.X, top.Y, bottom.Y, int64_t(bottom.X) - top.X, int64_t(bottom.Y) - top.Y, 0});
    }
    std::stable_sort(pending.begin(), pending.end(),
                     [](const TPolygonEdge& a, const TPolygonEdge& b) { return a.yStart < b.yStart; });

    int64_t drawn = 0;
    std::vector<TPolygonEdge> active;
    size_t next = 0;
    for (int64_t y = minY; y <= maxY && y < Height; ++y) {
        if (active.empty()) {
            if (next == pending.size())
                break;
            y = std::max(y, pending[next].yStart);
        }
        std::erase_if(active, [y](const TPolygonEdge& e) { return e.yEnd == y; });
        for (TPolygonEdge& e : active)
            StepEdge(e);
        // Edges of a self-crossing figure swap places where they cross; keep them in x order.
        std::stable_sort(active.begin(), active.end(),
                         [](const TPolygonEdge& a, const TPolygonEdge& b) { return a.x < b.x; });
        for (; next < pending.size() && pending[next].yStart == y; ++next)
            InsertEdge(active, pending[next]);
        for (size_t i = 0; i + 1 < active.size(); i += 2) {
            const int64_t left = active[i].x;
            const int64_t right = active[i + 1].x - 1;
            if (right >= left)
                drawn +=
                    DrawHorizontalLine(value, Saturate32(left), Saturate32(right), static_cast<int32_t>(y));
        }
    }
    // A figure that set nothing leaves the box as it was, so earlier pixels stay inside it.
    if (drawn == 0) {
        x1 = savedBox[0];
        y1 = savedBox[1];
        x2 = savedBox[2];
        y2 = savedBox[3];
    }
    return drawn != 0;
}

void TKVMask::TranslateBitmap(int32_t& dx, int32_t& dy, bool clip)
{
    if (IsEmpty() || FBits.empty())
        return;
    int64_t cx1 = x1, cy1 = y1, cx2 = x2, cy2 = y2;
    if (clip) {
        if (cx1 + dx < 0)
            cx1 = -int64_t(dx);
        if (cy1 + dy < 0)
            cy1 = -int64_t(dy);
        if (cx2 + dx >= Width)
            cx2 = int64_t(Width) - 1 - dx;
        if (cy2 + dy >= Height)
            cy2 = int64_t(Height) - 1 - dy;
    } else {
        if (x1 + int64_t(dx) < 0)
            dx = -x1;
        if (x2 + int64_t(dx) >= Width)
            dx = Width - 1 - x2;
        if (y1 + int64_t(dy) < 0)
            dy = -y1;
        if (y2 + int64_t(dy) >= Height)
            dy = Height - 1 - y2;
    }
    if (dx == 0 && dy == 0)
        return;

    // Lift the (cut) box out, clear where it was, and write it back moved.
    const bool moved = cx1 <= cx2 && cy1 <= cy2;
    const int64_t w = moved ? cx2 - cx1 + 1 : 0;
    const int64_t h = moved ? cy2 - cy1 + 1 : 0;
    const int64_t liftedRowLen = MaskRowLen(w, BitsPerPixel);
    std::vector<uint8_t> lifted(static_cast<size_t>(liftedRowLen * h));
    for (int64_t i = 0; i < h; ++i) {
        const uint8_t* row = GetScanLine(static_cast<int32_t>(cy1 + i));
        uint8_t* dest = lifted.data() + i * liftedRowLen;
        if (BitsPerPixel == 1)
            Korvaneproc::_CopyBits(dest, row, 0, static_cast<int32_t>(cx1), static_cast<int32_t>(w), 0);
        else
            std::memcpy(dest, row + cx1, static_cast<size_t>(w));
    }
    for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = GetScanLine(y);
        if (BitsPerPixel == 1)
            ClearBitRun(row, x1, x2);
        else
            std::memset(row + x1, 0, static_cast<size_t>(x2 - x1 + 1));
    }
    if (!moved) {
        ResetBox();
        Full = false;
        return;
    }
    for (int64_t i = 0; i < h; ++i) {
        uint8_t* row = GetScanLine(static_cast<int32_t>(cy1 + dy + i));
        const uint8_t* source = lifted.data() + i * liftedRowLen;
        if (BitsPerPixel == 1)
            Korvaneproc::_CopyBits(row, source, static_cast<int32_t>(cx1 + dx), 0, static_cast<int32_t>(w),
                                   0);
        else
            std::memcpy(row + cx1 + dx, source, static_cast<size_t>(w));
    }
    x1 = static_cast<int32_t>(cx1 + dx);
    y1 = static_cast<int32_t>(cy1 + dy);
    x2 = static_cast<int32_t>(cx2 + dx);
    y2 = static_cast<int32_t>(cy2 + dy);
    ClampBox();
    Full = false;
}

// ---- Drawing and copies through the mask --------------------------------------------------------

bool TKVMask::BuildOutlineCache(int32_t w, int32_t h, int32_t xSrc, int32_t ySrc, int32_t wSrc, int32_t hSrc,
                                int64_t& zx, int64_t& zy)
{
    if (BitsPerPixel != 1 || IsEmpty() || w < 1 || h < 1 || wSrc < 1 || hSrc < 1)
        return false;
    zx = Trunc64(double(wSrc) / w * 16384.0);
    zy = Trunc64(double(hSrc) / h * 16384.0);
    if (zx < 1 || zy < 1)
        return false;
    if (w != FOutlineWidth || h != FOutlineHeight) {
        FOutlineWidth = w;
        FOutlineHeight = h;
        FOutlineRowLen = static_cast<int32_t>(MaskRowLen(w, 1));
        FOutline.assign(size_t(FOutlineRowLen) * h, 0);
    } else {
        std::fill(FOutline.begin(), FOutline.end(), 0);
    }
    // Only the part of the area that the bounding box covers can hold set pixels.
    const int32_t firstRow = std::max(Trunc(double(y1 - int64_t(ySrc)) * h / hSrc), 0);
    const int32_t lastRow = std::min(Trunc(double(y2 - int64_t(ySrc) + 1) * h / hSrc), h - 1);
    const int32_t firstColumn = std::max(Trunc(double(x1 - int64_t(xSrc)) * w / wSrc), 0);
    const int32_t lastColumn = std::min(Trunc(double(x2 - int64_t(xSrc) + 1) * w / wSrc), w - 1);
    for (int32_t i = firstRow; i <= lastRow; ++i) {
        const int64_t my = ySrc + ((zy * i) >> 14);
        if (my < 0 || my >= Height)
            continue;
        uint8_t* row = FOutline.data() + int64_t(i) * FOutlineRowLen;
        for (int32_t j = firstColumn; j <= lastColumn; ++j) {
            const int64_t mx = xSrc + ((zx * j) >> 14);
            if (mx >= 0 && mx < Width && GetPixel(int32_t(mx), int32_t(my)) != 0)
                row[j >> 3] |= static_cast<uint8_t>(0x80 >> (j & 7));
        }
    }
    return true;
}

bool TKVMask::OutlinePixel(int32_t j, int32_t i) const
{
    return (FOutline[size_t(i) * FOutlineRowLen + (j >> 3)] & (0x80 >> (j & 7))) != 0;
}

void TKVMask::InvertCanvas(TCanvas* canvas, int32_t xDst, int32_t yDst, int32_t wDst, int32_t hDst,
                           int32_t xSrc, int32_t ySrc, int32_t wSrc, int32_t hSrc)
{
    if (canvas == nullptr || BitsPerPixel != 1 || IsEmpty())
        return;
    struct
    {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info{};
    info.header.biWidth = Width;
    info.header.biHeight = Height;
    info.header.biBitCount = 1;
    info.header.biSizeImage = static_cast<uint32_t>(FBits.size());
    info.colors[1] = {255, 255, 255, 0};
    // The source y of a bottom-up DIB counts from its bottom row.
    StretchDIBits(canvas->Handle(), xDst, yDst, wDst, hDst, xSrc, Height - hSrc - ySrc, wSrc, hSrc,
                  FBits.data(), reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCINVERT);
}

void TKVMask::DrawOuter(TBitmap* bitmap, int32_t xDst, int32_t yDst, int32_t w, int32_t h, int32_t xSrc,
                        int32_t ySrc, int32_t wSrc, int32_t hSrc)
{
    int64_t zx = 0, zy = 0;
    if (bitmap == nullptr || bitmap->PixelFormat() != pf24bit ||
        !BuildOutlineCache(w, h, xSrc, ySrc, wSrc, hSrc, zx, zy))
        return;
    const int64_t firstRow = std::max<int64_t>((-int64_t(ySrc) << 14) / zy, 0);
    const int64_t lastRow = std::min<int64_t>(
        {((int64_t(Height) - ySrc) << 14) / zy + 1, int64_t(h) - 1, int64_t(bitmap->GetHeight()) - 1});
    const int64_t firstColumn = std::max<int64_t>((-int64_t(xSrc) << 14) / zx, 0);
    const int64_t lastColumn = std::min<int64_t>(
        {((int64_t(Width) - xSrc) << 14) / zx + 1, int64_t(w) - 1, int64_t(bitmap->GetWidth()) - 1});
    for (int64_t i = firstRow; i <= lastRow; ++i) {
        const int64_t y = yDst + i;
        if ((i & 1) != 0 || y < 0 || y >= bitmap->GetHeight())
            continue;
        uint8_t* row = bitmap->ScanLine(int32_t(y));
        for (int64_t j = firstColumn; j <= lastColumn; ++j) {
            const int64_t x = xDst + j;
            if ((j & 1) == 0 && x >= 0 && x < bitmap->GetWidth() && !OutlinePixel(int32_t(j), int32_t(i)))
                std::memset(row + 3 * x, 255, 3);
        }
    }
}

void TKVMask::DrawOutline(TCanvas* canvas, int32_t xDst, int32_t yDst, int32_t w, int32_t h, int32_t xSrc,
                          int32_t ySrc, int32_t wSrc, int32_t hSrc, int32_t phase, TColor colorA,
                          TColor colorB, double /*zoom*/)
{
    int64_t zx = 0, zy = 0;
    if (canvas == nullptr || !BuildOutlineCache(w, h, xSrc, ySrc, wSrc, hSrc, zx, zy))
        return;
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetMode(pmCopy);
    const COLORREF a = static_cast<COLORREF>(ColorToRGB(colorA));
    const COLORREF b = static_cast<COLORREF>(ColorToRGB(colorB));
    const int32_t firstRow = static_cast<int32_t>(std::max<int64_t>(((int64_t(y1) - ySrc) << 14) / zy, 0));
    const int32_t lastRow =
        static_cast<int32_t>(std::min<int64_t>(((int64_t(y2) - ySrc + 1) << 14) / zy + 1, h - 1));
    const int32_t firstColumn = static_cast<int32_t>(std::max<int64_t>(((int64_t(x1) - xSrc) << 14) / zx, 0));
    const int32_t lastColumn =
        static_cast<int32_t>(std::min<int64_t>(((int64_t(x2) - xSrc + 1) << 14) / zx + 1, w - 1));
    auto clearAround = [&](int32_t j, int32_t i) {
        for (int32_t r = std::max(i - 1, 0); r <= std::min(i + 1, h - 1); ++r)
            for (int32_t c = j - 1; c <= j + 1; ++c)
                if (c >= 0 && c < w && !OutlinePixel(c, r))
                    return true;
        return false;
    };
    for (int32_t i = firstRow; i <= lastRow; ++i) {
        const int64_t my = ySrc + ((zy * i) >> 14);
        for (int32_t j = firstColumn; j <= lastColumn; ++j) {
            if (!OutlinePixel(j, i))
                continue;
            const int64_t mx = xSrc + ((zx * j) >> 14);
            bool border;
            if (j == 0)
                border = mx <= x1;
            else if (j == lastColumn)
                border = mx >= x2 || wSrc == Width;
            else if (i == 0)
                border = my <= y1;
            else if (i == lastRow)
                border = my >= y2 || hSrc == Height;
            else
                border = clearAround(j, i);
            if (!border)
                continue;
            const int64_t x = int64_t(xDst) + j, y = int64_t(yDst) + i;
            ::SetPixel(canvas->Handle(), int32_t(x), int32_t(y), (x + y + phase) % 8 < 4 ? b : a);
        }
    }
}

namespace {

// Where a mask pixel lands in a bitmap that holds either the whole image or only the box.
struct TBoxMapping
{
    int32_t dx, dy, sx, sy; // subtracted from mask coordinates
};

// The 8-bit blend of a channel: d + floor((s - d) x m / 256), in 0..255.
inline uint8_t Blend(uint8_t d, uint8_t s, int32_t m)
{
    return static_cast<uint8_t>(d + (((int32_t(s) - d) * (m << 10)) >> 18));
}

} // namespace

// Copies through the mask between two images of 1 or 24 bits whose rows rowOf gives; the source
// row is copied first, so that source and destination may be one image.
static void CopyThroughMask(const TKVMask& mask, int32_t bits, int32_t destWidth, int32_t destHeight,
                            int32_t sourceWidth, int32_t sourceHeight, const TBoxMapping& map,
                            const std::function<uint8_t*(int32_t)>& destRow,
                            const std::function<const uint8_t*(int32_t)>& sourceRow)
{
    std::vector<uint8_t> sourceCopy;
    for (int32_t y = mask.y1; y <= mask.y2; ++y) {
        const int32_t sy = y - map.sy, dy = y - map.dy;
        if (sy < 0 || sy >= sourceHeight || dy < 0 || dy >= destHeight)
            continue;
        const uint8_t* maskRow = mask.GetScanLine(y);
        const uint8_t* s = sourceRow(sy);
        sourceCopy.assign(s, s + (bits == 1 ? (int64_t(sourceWidth) + 7) / 8 : 3 * int64_t(sourceWidth)));
        uint8_t* d = destRow(dy);
        for (int32_t x = mask.x1; x <= mask.x2; ++x) {
            const int32_t sx = x - map.sx, dx = x - map.dx;
            if (sx < 0 || sx >= sourceWidth || dx < 0 || dx >= destWidth)
                continue;
            const int32_t m =
                mask.BitsPerPixel == 1 ? (Korvaneproc::_GetPixelbw(maskRow, x) ? 255 : 0) : maskRow[x];
            if (m == 0)
                continue;
            if (bits == 1) {
                Korvaneproc::_SetPixelbw(d, dx, Korvaneproc::_GetPixelbw(sourceCopy.data(), sx));
            } else if (mask.BitsPerPixel == 1) {
                std::memcpy(d + 3 * int64_t(dx), sourceCopy.data() + 3 * int64_t(sx), 3);
            } else {
                for (int c = 0; c < 3; ++c)
                    d[3 * int64_t(dx) + c] =
                        Blend(d[3 * int64_t(dx) + c], sourceCopy[3 * int64_t(sx) + c], m);
            }
        }
    }
}

void TKVMask::CopyBitmap(TBitmap* destination, TBitmap* source, bool destinationIsBox, bool sourceIsBox)
{
    if (destination == nullptr || source == nullptr || (x1 > x2 && y1 > y2) || FBits.empty())
        return;
    const TPixelFormat format = source->PixelFormat();
    if (format != destination->PixelFormat() || (format != pf24bit && format != pf1bit))
        return;
    const TBoxMapping map{destinationIsBox ? x1 : 0, destinationIsBox ? y1 : 0, sourceIsBox ? x1 : 0,
                          sourceIsBox ? y1 : 0};
    CopyThroughMask(
        *this, format == pf1bit ? 1 : 24, destination->GetWidth(), destination->GetHeight(),
        source->GetWidth(), source->GetHeight(), map,
        [destination](int32_t y) { return destination->ScanLine(y); },
        [source](int32_t y) { return static_cast<const TBitmap*>(source)->ScanLine(y); });
}

void TKVMask::CopyKVBitmap(TKVBitmap* destination, TKVBitmap* source, bool destinationIsBox, bool sourceIsBox,
                           bool withAlpha)
{
    if (destination == nullptr || source == nullptr || (x1 > x2 && y1 > y2) || FBits.empty())
        return;
    const TKVPixelFormat format = source->GetPixelFormat();
    if (format == destination->GetPixelFormat() && (format == kv24RGB || format == kv1g)) {
        const TBoxMapping map{destinationIsBox ? x1 : 0, destinationIsBox ? y1 : 0, sourceIsBox ? x1 : 0,
                              sourceIsBox ? y1 : 0};
        CopyThroughMask(
            *this, format == kv1g ? 1 : 24, destination->GetWidth(), destination->GetHeight(),
            source->GetWidth(), source->GetHeight(), map,
            [destination](int32_t y) { return destination->GetScanLine(y); },
            [source](int32_t y) { return source->GetScanLine(y); });
    }
    if (withAlpha)
        CopyKVBitmapAlpha(destination, source, destinationIsBox, sourceIsBox);
}

void TKVMask::CopyKVBitmapAlpha(TKVBitmap* destination, TKVBitmap* source, bool destinationIsBox,
                                bool sourceIsBox)
{
    if (destination == nullptr || source == nullptr || BitsPerPixel != 1 || IsEmpty())
        return;
    TKVBitmap* destAlpha = destination->GetAlphaChannel();
    TKVBitmap* sourceAlpha = source->GetHasAlphaChannel() ? source->GetAlphaChannel() : nullptr;
    if (destAlpha == nullptr)
        return;
    const int32_t mdx = destinationIsBox ? x1 : 0, mdy = destinationIsBox ? y1 : 0;
    const int32_t msx = sourceIsBox ? x1 : 0, msy = sourceIsBox ? y1 : 0;
    std::vector<uint8_t> sourceCopy;
    for (int32_t y = y1; y <= y2; ++y) {
        const int32_t dy = y - mdy, sy = y - msy;
        if (dy < 0 || dy >= destAlpha->GetHeight())
            continue;
        const bool sourceRowInside = sourceAlpha != nullptr && sy >= 0 && sy < sourceAlpha->GetHeight();
        if (sourceRowInside) {
            const uint8_t* s = sourceAlpha->GetScanLine(sy);
            sourceCopy.assign(s, s + sourceAlpha->GetWidth());
        }
        const uint8_t* maskRow = GetScanLine(y);
        uint8_t* d = destAlpha->GetScanLine(dy);
        for (int32_t x = x1; x <= x2; ++x) {
            const int32_t dx = x - mdx, sx = x - msx;
            if (dx < 0 || dx >= destAlpha->GetWidth())
                continue;
            uint8_t alpha = 255;
            if (sourceAlpha != nullptr)
                alpha = sourceRowInside && sx >= 0 && sx < int32_t(sourceCopy.size()) ? sourceCopy[sx] : 0;
            d[dx] = Korvaneproc::_GetPixelbw(maskRow, x) ? alpha : 0;
        }
    }
    destAlpha->Full = false;
}
