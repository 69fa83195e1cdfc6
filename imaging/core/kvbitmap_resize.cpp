// TKVBitmap size changes: width and height with the pixels that still fit, canvas resizing with
// alignment, and moving a region.
#include "imaging/core/kvbitmap.h"

#include <algorithm>
#include <cstring>

void TKVBitmap::SetWidth(int32_t width)
{
    if (width == FWidth)
        return;
    if (FAlphaChannel)
        FAlphaChannel->SetWidth(width);
    if (FLocation == kvTBitmap) {
        EnsureVclBitmap()->SetWidth(width);
        FWidth = FVclBitmap->Width();
        SetFormatFields(FPixelFormat);
        BuildBitmapScanlines();
        return;
    }
    if (FPixelFormat == kvnull || FHeight < 1) {
        FWidth = width;
        return;
    }
    RebuildStorage([&](TKVBitmap& old) {
        Allocate(width, old.FHeight, old.FPixelFormat);
        const size_t rowBytes = size_t(std::min(FRowLen, old.FRowLen));
        for (int32_t y = 0; y < FHeight && rowBytes > 0; ++y)
            std::memcpy(GetScanLine(y), old.GetScanLine(y), rowBytes);
        for (int32_t i = 0; i < std::min(FPaletteCount, old.FPaletteCount); ++i)
            FPalette[i] = old.FPalette[i];
        FAlphaChannel = std::move(old.FAlphaChannel);
        DitherMethod = old.DitherMethod;
        Full = false;
    });
}

void TKVBitmap::SetHeight(int32_t height)
{
    if (height == FHeight)
        return;
    if (FAlphaChannel)
        FAlphaChannel->SetHeight(height);
    if (FLocation == kvTBitmap) {
        EnsureVclBitmap()->SetHeight(height);
        FHeight = FVclBitmap->Height();
        BuildBitmapScanlines();
        return;
    }
    if (FPixelFormat == kvnull || FWidth < 1) {
        FHeight = height;
        return;
    }
    RebuildStorage([&](TKVBitmap& old) {
        Allocate(old.FWidth, height, old.FPixelFormat);
        const int32_t rows = std::min(FHeight, old.FHeight);
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(GetScanLine(y), old.GetScanLine(y), size_t(FRowLen));
        for (int32_t i = 0; i < std::min(FPaletteCount, old.FPaletteCount); ++i)
            FPalette[i] = old.FPalette[i];
        FAlphaChannel = std::move(old.FAlphaChannel);
        DitherMethod = old.DitherMethod;
        Full = false;
    });
}

void TKVBitmap::Resize(int32_t newWidth, int32_t newHeight, int32_t background, int32_t alpha,
                       TKVHAlign hAlign, TKVVAlign vAlign)
{
    const int32_t w0 = FWidth;
    const int32_t h0 = FHeight;
    auto cut = [&](TKVBitmap& b, int32_t value) {
        if (newWidth < w0) {
            const int32_t d = (w0 - newWidth) / 2;
            if (hAlign == kvhCenter)
                b.MoveRegion(d, 0, newWidth + d - 1, h0 - 1, 0, 0, value);
            else if (hAlign == kvhRight)
                b.MoveRegion(w0 - newWidth, 0, w0 - 1, h0 - 1, 0, 0, value);
        }
        if (newHeight < h0) {
            const int32_t d = (h0 - newHeight) / 2;
            if (vAlign == kvvCenter)
                b.MoveRegion(0, d, w0 - 1, newHeight + d - 1, 0, 0, value);
            else if (vAlign == kvvBottom)
                b.MoveRegion(0, h0 - newHeight, w0 - 1, h0 - 1, 0, 0, value);
        }
    };
    auto grow = [&](TKVBitmap& b, int32_t value) {
        const int32_t w = b.FWidth;
        const int32_t h = b.FHeight;
        if (w > w0) {
            b.FillRect(w0, 0, w - 1, h - 1, value);
            if (hAlign == kvhCenter)
                b.MoveRegion(0, 0, w0 - 1, h0 - 1, (w - w0) / 2, 0, value);
            else if (hAlign == kvhRight)
                b.MoveRegion(0, 0, w0 - 1, h0 - 1, w - w0, 0, value);
        }
        if (h > h0) {
            b.FillRect(0, h0, w - 1, h - 1, value);
            if (vAlign == kvvCenter)
                b.MoveRegion(0, 0, w - 1, h0 - 1, 0, (h - h0) / 2, value);
            else if (vAlign == kvvBottom)
                b.MoveRegion(0, 0, w - 1, h0 - 1, 0, h - h0, value);
        }
    };
    cut(*this, background);
    if (FAlphaChannel)
        cut(*FAlphaChannel, alpha);
    SetWidth(newWidth);
    SetHeight(newHeight);
    grow(*this, background);
    if (FAlphaChannel)
        grow(*FAlphaChannel, alpha);
}

void TKVBitmap::MoveRegion(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dstX, int32_t dstY,
                           int32_t background)
{
    // Only the part inside the image moves.
    if (x1 < 0) {
        dstX -= x1;
        x1 = 0;
    }
    if (y1 < 0) {
        dstY -= y1;
        y1 = 0;
    }
    x2 = std::min(x2, FWidth - 1);
    y2 = std::min(y2, FHeight - 1);
    const int32_t w = x2 - x1 + 1;
    const int32_t h = y2 - y1 + 1;
    if (w <= 0 || h <= 0 || FPixelFormat == kvnull)
        return;
    TKVBitmap saved(TWithMinFileSize{MinFileSize});
    saved.Allocate(w, h, FPixelFormat);
    CopyRectTo(&saved, x1, y1, 0, 0, w, h);
    FillRect(x1, y1, x2, y2, background);
    saved.CopyRectTo(this, 0, 0, dstX, dstY, w, h);
}
