// TKorvaneMView: painting. Paint draws the marked area straight into the front image; PaintTo
// draws the background, the wallpaper and every visible cell into any bitmap, starting the loads
// of images not yet stored; DrawImage draws one cell.
#include "imaging/core/hint_window.h"
#include "imaging/core/message_table.h"
#include "imaging/core/virtual_dib_list.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

using Zirodevo::gThreadCS;

std::string KVMFitCaption(TCanvas* Canvas, const std::string& Caption, int32_t Width)
{
    std::string s = Caption;
    size_t dropped = 0;
    while (Canvas->TextWidth(s) > Width && Caption.size() >= 2 && dropped < Caption.size()) {
        ++dropped;
        // Whole UTF-8 characters give way, never a part of one.
        while (dropped < Caption.size() && (uint8_t(Caption[dropped]) & 0xC0) == 0x80) {
            ++dropped;
        }
        s = "..." + Caption.substr(dropped);
    }
    return s;
}

int32_t TKorvaneMView::CachedThumbnailCount() const
{
    TCriticalSectionLock lock(gThreadCS);
    return FThumbCache->GetImageCount();
}

int32_t TKorvaneMView::MappedThumbnailCount() const
{
    TCriticalSectionLock lock(gThreadCS);
    return FThumbCache->MappedCount();
}

void TKorvaneMView::Paint()
{
    if (FPaintLock > 0) {
        return;
    }
    // The cells are drawn straight into the front image: the window shows it only once the
    // paint is over. Only the marked area is drawn, so a stored thumbnail, which marks its own
    // cell, does not redraw every cell of a loading view.
    TBitmap* front = FrontImage();
    if (front == nullptr || front->PixelFormat() != pf24bit) {
        return;
    }
    const TRect all{0, 0, front->Width(), front->Height()};
    TRect area;
    if (!IntersectRect(area, Canvas()->ClipRect(), all)) {
        return;
    }
    if (area == all) {
        PaintTo(front);
    } else {
        PaintArea(front, area);
    }
}

void TKorvaneMView::DrawBackground(TCanvas* Canvas, TKVBackgroundStyle Style, TColor Colour, int32_t x,
                                   int32_t y, int32_t w, int32_t h)
{
    Korvaneview::KVDrawBackground((ComponentState() & csDesigning) != 0, Canvas, Style, Colour, x, y, w, h, 0,
                                  0, 0, 0, FChessboardSize, FChessboardBrushStyle, FGradientEndColor);
}

namespace {

// A text never asked for has no caption.
bool HasCaption(const std::unique_ptr<TKVMText>& text)
{
    return text != nullptr && !text->Caption().empty();
}

// Fills Area of a 24-bit bitmap with one colour, as a solid brush does, row by row.
void FillSolid(TBitmap* Dest, const TRect& Area, TColor Colour)
{
    const COLORREF rgb = static_cast<COLORREF>(ColorToRGB(Colour));
    const uint8_t pixel[3] = {GetBValue(rgb), GetGValue(rgb), GetRValue(rgb)};
    std::vector<uint8_t> row(size_t(Area.Width()) * 3);
    for (size_t k = 0; k < row.size(); k += 3) {
        std::memcpy(row.data() + k, pixel, 3);
    }
    for (int32_t y = Area.Top; y < Area.Bottom; ++y) {
        std::memcpy(Dest->ScanLine(y) + size_t(Area.Left) * 3, row.data(), row.size());
    }
}

} // namespace

void TKorvaneMView::DrawWallPaper(TBitmap* Dest)
{
    TGraphic* g = FWallPaper->Graphic();
    if (g == nullptr || g->Empty()) {
        return;
    }
    TCanvas* c = Dest->Canvas();
    const int32_t cw = ClientWidth();
    const int32_t ch = ClientHeight();
    switch (FWallPaperStyle) {
    case kvwoNormal:
        c->Draw(0, 0, g);
        break;
    case kvwoStretch:
        c->StretchDraw(TRect{0, 0, cw, ch}, g);
        break;
    case kvwoTile: {
        const int32_t gw = g->Width();
        const int32_t gh = g->Height();
        if (gw < 1 || gh < 1) {
            break;
        }
        for (int32_t y = 0; y < ch; y += gh) {
            for (int32_t x = 0; x < cw; x += gw) {
                c->Draw(x, y, g);
            }
        }
        break;
    }
    }
}

void TKorvaneMView::KeepVisibleThumbnailsMapped()
{
    // Every visible cell's drawn thumbnail stays in memory between paints; with fewer mapped
    // than visible, each paint would read most of them back from the store's file. Their size
    // follows the window's area, not the number of images.
    int32_t visible = 0;
    for (int32_t i = 0; i < GetImageCount(); ++i) {
        visible += IsVisible(i) ? 1 : 0;
    }
    TCriticalSectionLock lock(gThreadCS);
    FThumbCache->MaxMappedImages = std::max(kMinMappedThumbnails, visible);
}

TRect TKorvaneMView::CellExtent(PKVImageInfo e) const
{
    const int32_t ring = std::max({FThumbnailsBorderWidth, FSelectionWidth, 1});
    const int32_t x = e->X - FViewX;
    const int32_t y = e->Y - FViewY;
    return TRect{x - ring, y - ring, x + FThumbWidth + ring, y + FThumbHeight + ring};
}

void TKorvaneMView::InvalidateCell(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr && IsVisible(idx)) {
        const TRect r = CellExtent(e);
        InvalidateRect(&r, false);
    }
}

void TKorvaneMView::PaintTo(TBitmap* Dest)
{
    if (Dest == nullptr || Dest->Width() < 1 || Dest->Height() < 1) {
        return;
    }
    PaintArea(Dest, TRect{0, 0, Dest->Width(), Dest->Height()});
}

void TKorvaneMView::PaintArea(TBitmap* Dest, const TRect& Area)
{
    if (Dest == nullptr || Dest->Width() < 1 || Dest->Height() < 1 || Area.IsEmpty()) {
        return;
    }
    // Finished loads are stored first, and loads of cells that scrolled away are dropped.
    StoreFinishedLoads();
    PruneInvisibleLocked();
    KeepVisibleThumbnailsMapped();
    TCanvas* canvas = Dest->Canvas();
    const auto clip = [&] {
        SelectClipRgn(canvas, nullptr);
        IntersectClipRect(canvas, Area.Left, Area.Top, Area.Right, Area.Bottom);
    };
    const TRect client{0, 0, ClientWidth(), ClientHeight()};
    TRect solid;
    const bool fast = FBackgroundStyle == kvbsSolid && (ComponentState() & csDesigning) == 0 &&
                      Dest->PixelFormat() == pf24bit &&
                      IntersectRect(solid, Area, TRect{0, 0, Dest->Width(), Dest->Height()});
    const auto background = [&] {
        clip();
        if (fast) {
            IntersectRect(solid, solid, client);
            FillSolid(Dest, solid, Background());
        } else {
            DrawBackground(canvas, FBackgroundStyle, Background(), 0, 0, client.Right, client.Bottom);
        }
        DrawWallPaper(Dest);
    };
    background();
    bool restart = true;
    int32_t pool = ThreadPoolSize();
    while (restart) {
        restart = false;
        const int32_t count = GetImageCount();
        const int32_t n = (FDisplayMode == mdSingle && count > 0) ? 1 : count;
        int32_t i = 0;
        if (FPlaying || FDisplayMode == mdSingle) {
            i = std::max(std::min(FVisibleFrame, count - 1), 0);
        }
        for (int32_t k = 0; k < n; ++k) {
            if (OnDrawProgress && n > 1) {
                OnDrawProgress(this, Trunc(static_cast<long double>(k) / n * 100), i);
            }
            if (IsVisible(i)) {
                PKVImageInfo e = FImages[i];
                if (!IsImageStored(i)) {
                    const bool background = i != FSelectedImage && pool > 0 && ObtainImageThreaded(i);
                    if (!background && !ObtainImageNow(i) && RemoveCorrupted) {
                        DeleteImageNU(i);
                        restart = true;
                        break;
                    }
                }
                // A background failure is deleted by the first paint that reaches it.
                if (e->failed && RemoveCorrupted) {
                    DeleteImageNU(i);
                    restart = true;
                    break;
                }
                bool selected = i == FSelectedImage ||
                                (FEnableMultiSelect && std::find(FMultiSelected.begin(), FMultiSelected.end(),
                                                                 i) != FMultiSelected.end());
                selected = selected && FVisibleSelection && FDisplayMode == mdGrid;
                TRect common;
                if (IntersectRect(common, CellExtent(e), Area)) {
                    DrawImage(Dest, e, selected, i, Area);
                }
            }
            i = i + 1 < count ? i + 1 : 0;
        }
        if (restart) {
            // Cell positions changed: draw again from a fresh layout and a clean background.
            UpdateCoords();
            background();
            PostMessage(Handle(), KVM_MVIEW_UPDATE, 0, 0);
        }
    }
    SelectClipRgn(canvas, nullptr);
    if (OnDrawProgress && GetImageCount() > 1) {
        OnDrawProgress(this, 100, 0);
    }
}

void TKorvaneMView::DrawImage(TBitmap* Dest, PKVImageInfo e, bool Selected, int32_t idx, const TRect& Area)
{
    // RenderToTBitmap's update rectangle is inclusive.
    const TRect render{Area.Left, Area.Top, Area.Right - 1, Area.Bottom - 1};
    TCriticalSectionLock lock(gThreadCS);
    TCanvas* canvas = Dest->Canvas();
    const int32_t x = e->X - FViewX;
    const int32_t y = e->Y - FViewY;
    const int32_t topGap = FShowText ? FUpperGap : FSetUpperGap;
    const int32_t bottomGap = FShowText ? FBottomGap : FSetBottomGap;
    if (OnBeforeImageDraw) {
        OnBeforeImageDraw(this, idx, x, y, canvas);
    }
    int32_t hb = 0;
    if (FShowText && HasCaption(e->bottom)) {
        canvas->Font()->Assign(e->bottom->Font());
        hb = canvas->TextHeight(e->bottom->Caption());
    }
    const int32_t ah = FThumbHeight - bottomGap - topGap - hb;
    const bool acd = Selected && FSelectionStyle == kvssACD;
    const TColor c = acd ? clHighlight : (FDrawImageBackground ? e->background : FThumbnailsBackground);
    int32_t w = 0, h = 0, dx = 0, dy = 0;
    if (e->image != nullptr) {
        if (FFillThumbnail) {
            DrawBackground(canvas, FThumbnailsBackgroundStyle, c, x, y, FThumbWidth, FThumbHeight);
        }
        if (e->thumb != nullptr) {
            TKVBitmap* t = FThumbCache->GetBitmap(e->thumb);
            if (t != nullptr) {
                w = t->GetWidth();
                h = t->GetHeight();
                dx = x + (FThumbWidth - w) / 2;
                dy = y + topGap + (ah - h) / 2;
                std::unique_ptr<TKVRowTable> rows;
                std::unique_ptr<TKVSampleTable> xs, ys;
                t->RenderToTBitmap(Dest, rows, xs, ys, &render, dx, dy, w, h, 0, 0, w, h, true, false, 255,
                                   rfNone, true);
                FThumbCache->ReleaseBitmap(t, false);
            }
        } else {
            const int32_t w0 = FImageCache->GetImageWidth(e->image);
            const int32_t h0 = FImageCache->GetImageHeight(e->image);
            const bool fit = FEnableResamplingOnMinor || w0 > FThumbWidth || h0 > ah;
            const TSize target = fit ? KVMFitSize(w0, h0, FThumbWidth, std::max(ah, 1)) : TSize{w0, h0};
            w = target.cx;
            h = target.cy;
            dx = x + (FThumbWidth - w) / 2;
            dy = y + topGap + (ah - h) / 2;
            TKVBitmap* src = w0 >= 1 && h0 >= 1 ? FImageCache->GetBitmap(e->image) : nullptr;
            if (src != nullptr) {
                auto result = std::make_unique<TKVBitmap>();
                const bool reduce1 = src->GetPixelFormat() == kv1g && (w < w0 || h < h0);
                result->Allocate(w, h, reduce1 ? kv24RGB : src->GetPixelFormat());
                Korvaneproc::_KVResampleKVBitmap(src, result.get(),
                                                 reduce1 ? rfFastLinear : FThumbnailDisplayFilter);
                FImageCache->ReleaseBitmap(src, false);
                if (FSoftShadow.Enabled != 0) {
                    result->ConvertToPixelFormat(kv24RGB);
                    Korvaneproc::_KVAddSoftShadow(result.get(), FSoftShadow.Radius, FSoftShadow.OffsetX,
                                                  FSoftShadow.OffsetY, true, TRGB{0, 0, 0});
                    auto back = std::make_unique<TKVBitmap>();
                    back->Allocate(w, h, kv24RGB);
                    Korvaneproc::_KVResampleKVBitmap(result.get(), back.get(), rfNone);
                    result = std::move(back);
                }
                std::unique_ptr<TKVRowTable> rows;
                std::unique_ptr<TKVSampleTable> xs, ys;
                result->RenderToTBitmap(Dest, rows, xs, ys, &render, dx, dy, w, h, 0, 0, w, h,
                                        FEnableAlphaChannel, false, 255, rfNone, true);
                if (FEnableImageCaching) {
                    e->thumb = FThumbCache->AddKVBitmap(result.get());
                }
            }
        }
        if (FFillThumbnail) {
            canvas->Brush()->SetStyle(bsSolid);
            canvas->Brush()->SetColor(c);
            canvas->FillRect(TRect{x, y, dx, y + FThumbHeight});
            canvas->FillRect(TRect{dx + w, y, x + FThumbWidth, y + FThumbHeight});
            canvas->FillRect(TRect{dx, y, dx + w, dy});
            canvas->FillRect(TRect{dx, dy + h, dx + w, y + FThumbHeight});
        }
    }

    // Captions
    int32_t hi = 0;
    const auto fitText = [&](const std::string& caption) {
        return KVMFitCaption(canvas, caption, FThumbWidth);
    };
    const auto prepare = [&](TKVMText* t) {
        canvas->Font()->Assign(t->Font());
        canvas->Brush()->SetStyle(bsSolid);
        if (acd) {
            canvas->Brush()->SetColor(clHighlight);
            canvas->Font()->SetColor(clHighlightText);
        } else {
            canvas->Brush()->SetColor(t->Background);
        }
    };
    if (FShowText) {
        if (HasCaption(e->top)) {
            prepare(e->top.get());
            const std::string s = fitText(e->top->Caption());
            canvas->TextOut(x + (FThumbWidth - canvas->TextWidth(s)) / 2, y, s);
        }
        if (HasCaption(e->bottom)) {
            prepare(e->bottom.get());
            const std::string s = fitText(e->bottom->Caption());
            canvas->TextOut(x + (FThumbWidth - canvas->TextWidth(s)) / 2, y + FThumbHeight - bottomGap - hb,
                            s);
        }
        if (HasCaption(e->info)) {
            prepare(e->info.get());
            const std::string s = fitText(e->info->Caption());
            hi = canvas->TextHeight(s);
            canvas->FillRect(TRect{x, y + FThumbHeight - hi - 1, x + FThumbWidth, y + FThumbHeight});
            canvas->TextOut(x + 1 + (FThumbWidth - canvas->TextWidth(s) - 2) / 2, y + FThumbHeight - hi - 1,
                            s);
            hi += 3;
        }
    }

    // Frames
    if (FStyle == kvmsACD) {
        Daduvudez::KVDraw3DRect(canvas, dx, dy, dx + w - 1, dy + h - 1, TColor(0xFFFFFF), TColor(0x808080));
        if (topGap + bottomGap >= 1 || (FShowText && HasCaption(e->bottom))) {
            Daduvudez::KVDraw3DRect(canvas, x, y, x + FThumbWidth - 1, y + FThumbHeight - 1 - hi, TColor(0),
                                    TColor(0xFFFFFF));
        }
        if (FShowText && HasCaption(e->info)) {
            Daduvudez::KVDraw3DRect(canvas, x, y + FThumbHeight - hi + 2, x + FThumbWidth - 1,
                                    y + FThumbHeight - 1, TColor(0xFFFFFF), TColor(0x808080));
        }
    }
    if (OnImageDraw) {
        OnImageDraw(this, idx, x, y, canvas);
    }
    const auto rings = [&](int32_t count, TColor colour) {
        canvas->Pen()->SetStyle(psSolid);
        canvas->Pen()->SetMode(pmCopy);
        canvas->Pen()->SetWidth(1);
        canvas->Pen()->SetColor(colour);
        canvas->Brush()->SetStyle(bsClear);
        for (int32_t k = 1; k <= count; ++k) {
            canvas->Rectangle(x - k, y - k, x + FThumbWidth + k, y + FThumbHeight + k);
        }
    };
    rings(FThumbnailsBorderWidth, FThumbnailsBorderColor);
    if (Selected && FSelectionStyle == kvssAround) {
        rings(Focused() ? FSelectionWidth : 1, FSelectionColor);
    }
}
