// The image view's layers (size synchronisation, moving, merging with transparency and alpha) and
// the operations that copy or recolour the selected area of the current layer.
#include "imaging/view/korvaneview.h"

#include "imaging/core/bitmap_copies.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/proc/transitions.h"
#include "platform/core/rounding.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TKVLayer

TKVLayer::TKVLayer(TKVBitmap* bitmap, bool adopt)
{
    if (adopt) {
        Bitmap = bitmap;
        return;
    }
    Bitmap = new TKVBitmap();
    if (bitmap == nullptr)
        return;
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    Bitmap->SetLocation(format == kv32f && bitmap->Location() == kvTBitmap ? kvMemory : bitmap->Location());
    if (bitmap->GetWidth() > 0 && bitmap->GetHeight() > 0 && format != kvnull) {
        Bitmap->Allocate(bitmap->GetWidth(), bitmap->GetHeight(), format);
        Bitmap->Fill(0);
    }
}

TKVLayer::~TKVLayer()
{
    if (OwnsBitmap)
        delete Bitmap;
}

// ---------------------------------------------------------------------------------------------
// The layer list

TKVLayer* TKorvaneView::GetLayer(int32_t i) const
{
    return i >= 0 && i < GetLayersCount() ? FLayers[size_t(i)].get() : nullptr;
}

void TKorvaneView::StoreCurrentIntoLayer()
{
    if (FLayersCurrent >= 0 && FLayersCurrent < GetLayersCount())
        FLayers[size_t(FLayersCurrent)]->Bitmap = FCurrent;
}

void TKorvaneView::SetLayersCurrent(int32_t i)
{
    if (i < 0 || i >= GetLayersCount())
        return;
    StoreCurrentIntoLayer();
    FLayersCurrent = i;
    FCurrent = FLayers[size_t(i)]->Bitmap;
    CallBitmapChangeEvents();
    Update();
}

void TKorvaneView::LayersAdd()
{
    FLayers.push_back(std::make_unique<TKVLayer>(FCurrent, false));
    SetLayersCurrent(GetLayersCount() - 1);
}

void TKorvaneView::LayersInsert(int32_t i)
{
    i = std::clamp(i, 0, GetLayersCount());
    StoreCurrentIntoLayer();
    FLayers.insert(FLayers.begin() + i, std::make_unique<TKVLayer>(FCurrent, false));
    FLayersCurrent = -1;
    SetLayersCurrent(i);
}

void TKorvaneView::LayersRemove(int32_t i)
{
    if (GetLayersCount() <= 1 || i < 0 || i >= GetLayersCount())
        return;
    StoreCurrentIntoLayer();
    const int32_t current = FLayersCurrent;
    FLayers.erase(FLayers.begin() + i);
    if (i == current) {
        FLayersCurrent = -1;
        SetLayersCurrent(std::min(i, GetLayersCount() - 1));
    } else if (i < current) {
        FLayersCurrent = -1;
        SetLayersCurrent(current - 1);
    } else {
        Update();
    }
}

void TKorvaneView::LayersMove(int32_t from, int32_t to)
{
    // Both indexes are checked, and the current layer stays the same object wherever it moves,
    // so the next synchronisation stores the bitmap where it belongs.
    const int32_t n = GetLayersCount();
    if (from < 0 || from >= n || to < 0 || to >= n || from == to)
        return;
    StoreCurrentIntoLayer();
    TKVLayer* current = FLayers[size_t(FLayersCurrent)].get();
    std::unique_ptr<TKVLayer> moved = std::move(FLayers[size_t(from)]);
    FLayers.erase(FLayers.begin() + from);
    FLayers.insert(FLayers.begin() + to, std::move(moved));
    for (int32_t k = 0; k < n; ++k)
        if (FLayers[size_t(k)].get() == current)
            FLayersCurrent = k;
    Update();
}

void TKorvaneView::ResizeLayerTo(TKVLayer* layer, int32_t w, int32_t h)
{
    TKVBitmap* b = layer->Bitmap;
    const int32_t background = ColorToRGB(Background());
    if (b->GetPixelFormat() == kvnull || b->GetWidth() <= 0 || b->GetHeight() <= 0) {
        b->Allocate(w, h, kv24RGB);
        b->Fill(background);
        b->GetAlphaChannel()->Fill(0);
        b->GetAlphaChannel()->Full = false;
        return;
    }
    // New pixels are transparent.
    b->GetAlphaChannel();
    b->Resize(w, h, background, 0, kvhLeft, kvvTop);
    b->GetAlphaChannel()->Full = false;
}

void TKorvaneView::LayersSync()
{
    StoreCurrentIntoLayer();
    if (FLayers.size() < 2)
        return;
    int32_t w = 0, h = 0;
    for (const auto& layer : FLayers) {
        w = std::max(w, layer->Bitmap->GetWidth());
        h = std::max(h, layer->Bitmap->GetHeight());
    }
    if (w <= 0 || h <= 0)
        return;
    for (const auto& layer : FLayers) {
        TKVBitmap* b = layer->Bitmap;
        if (b->GetWidth() != w || b->GetHeight() != h) {
            ResizeLayerTo(layer.get(), w, h);
        } else if (b->GetHasAlphaChannel()) {
            TKVBitmap* alpha = b->GetAlphaChannel();
            if (alpha->GetWidth() != w || alpha->GetHeight() != h) {
                alpha->Resize(w, h, 0, 0, kvhLeft, kvvTop);
                alpha->Full = false;
            }
        }
    }
}

void TKorvaneView::LayersMerge(int32_t i1, int32_t i2)
{
    const int32_t n = GetLayersCount();
    if (i1 == i2 || i1 < 0 || i1 >= n || i2 < 0 || i2 >= n)
        return;
    LayersSync();
    TKVLayer* below = FLayers[size_t(i1)].get();
    TKVLayer* above = FLayers[size_t(i2)].get();
    TKVBitmap* b1 = below->Bitmap;
    TKVBitmap* b2 = above->Bitmap;
    const int32_t w = b1->GetWidth(), h = b1->GetHeight();
    if (w <= 0 || h <= 0)
        return;
    auto merged = std::make_unique<TKVLayer>(nullptr, false);
    TKVBitmap* out = merged->Bitmap;
    out->SetLocation(b1->Location() == kvTBitmap ? kvTBitmap : b1->Location());
    out->Allocate(w, h, kv24RGB);
    TKVBitmap* outAlpha = out->GetAlphaChannel();
    outAlpha->Full = false;
    const bool alpha1 = b1->GetHasAlphaChannel(), alpha2 = b2->GetHasAlphaChannel();
    using ld = long double;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            // Every format is read as colour.
            const TRGB c1 = b1->GetPixels(x, y), c2 = b2->GetPixels(x, y);
            const ld a1 = std::min<int32_t>(alpha1 ? b1->GetAlpha(x, y) : 255, below->Transparency) / ld(255);
            const ld a2 = std::min<int32_t>(alpha2 ? b2->GetAlpha(x, y) : 255, above->Transparency) / ld(255);
            const ld k = (1 - a2) * a1;
            const ld a = k + a2;
            if (a == 0) {
                out->SetPixels_kv24RGB(x, y, TRGB{0, 0, 0});
                outAlpha->SetPixels_kv8(x, y, 0);
                continue;
            }
            // A whole result computed a hair below itself still truncates to itself.
            auto mix = [&](uint8_t v1, uint8_t v2) {
                return uint8_t(std::clamp(Trunc((v2 * a2 + v1 * k) / a + 1e-9L), 0, 255));
            };
            out->SetPixels_kv24RGB(x, y, TRGB{mix(c1.b, c2.b), mix(c1.g, c2.g), mix(c1.r, c2.r)});
            outAlpha->SetPixels_kv8(x, y, uint8_t(std::clamp(Trunc(a * 255), 0, 255)));
        }
    }
    const int32_t lower = std::min(i1, i2), higher = std::max(i1, i2);
    FLayers.erase(FLayers.begin() + higher);
    FLayers.erase(FLayers.begin() + lower);
    FLayers.insert(FLayers.begin() + lower, std::move(merged));
    FLayersCurrent = -1;
    FCurrent = out;
    outAlpha->SyncFull();
    if (outAlpha->Full)
        out->RemoveAlphaChannel();
    FLayersCurrent = lower;
    SetLayersCurrent(lower);
}

// ---------------------------------------------------------------------------------------------
// Alpha channel

TKVBitmap* TKorvaneView::GetAlphaChannel()
{
    return FCurrent->GetAlphaChannel();
}

bool TKorvaneView::GetHasAlphaChannel()
{
    return FCurrent->GetHasAlphaChannel();
}

void TKorvaneView::RemoveAlphaChannel(bool Merge)
{
    if (Merge && FCurrent->GetPixelFormat() == kv24RGB && FCurrent->GetHasAlphaChannel()) {
        const TRGB bg = Korvaneproc::TColor2TRGB(Background());
        TKVBitmap* alpha = FCurrent->GetAlphaChannel();
        for (int32_t y = 0; y < FCurrent->GetHeight(); ++y) {
            TRGB* row = reinterpret_cast<TRGB*>(FCurrent->GetRow(y));
            const uint8_t* a = alpha->GetRow(y);
            for (int32_t x = 0; x < FCurrent->GetWidth(); ++x) {
                // Fixed point of 1024 x alpha: an opaque pixel can lose one level (255 gives 254).
                auto blend = [&](uint8_t c, uint8_t b) {
                    return uint8_t(((int32_t(c) - b) * (a[x] * 1024) >> 18) + b);
                };
                row[x] = TRGB{blend(row[x].b, bg.b), blend(row[x].g, bg.g), blend(row[x].r, bg.r)};
            }
            alpha->FreeRow(y);
            FCurrent->FreeRow(y);
        }
    }
    FCurrent->RemoveAlphaChannel();
    Update();
}

// ---------------------------------------------------------------------------------------------
// The selected area

void TKorvaneView::CopySelectionToKVBitmap(TKVBitmap* Bitmap)
{
    if (Bitmap == nullptr)
        return;
    if (FResizingGrip >= 0 || FMovingGrip >= 0 || FRubberBand) {
        FMask.Empty();
        EndSelect();
    }
    if (FMask.IsEmpty() || FCurrent->GetPixelFormat() == kvnull)
        return;
    Bitmap->Allocate(FMask.x2 - FMask.x1 + 1, FMask.y2 - FMask.y1 + 1, FCurrent->GetPixelFormat());
    for (int32_t i = 0; i < FCurrent->PaletteCount(); ++i)
        Bitmap->SetPalette(i, FCurrent->GetPalette(i));
    Bitmap->Fill(FCurrent->GetPixelFormat() == kv24RGB ? double(ColorToRGB(Background())) : 0.0);
    FMask.CopyKVBitmap(Bitmap, FCurrent, true, false, false);
}

void TKorvaneView::CopySelectionToBitmap(TBitmap* Bitmap)
{
    if (Bitmap == nullptr)
        return;
    TKVBitmap area;
    area.SetLocation(kvMemory);
    CopySelectionToKVBitmap(&area);
    if (area.GetWidth() <= 0)
        return;
    if (area.GetPixelFormat() != kv1g && area.GetPixelFormat() != kv24RGB)
        area.SetPixelFormat(kv24RGB);
    area.CopyToTBitmap(Bitmap);
}

void TKorvaneView::AssignSelTo(TPersistent* Dest)
{
    auto copyInto = [&](TKVBitmap* target) {
        if (FMask.IsEmpty())
            target->Assign(FCurrent);
        else
            CopySelectionToKVBitmap(target);
    };
    if (auto* view = dynamic_cast<TKorvaneView*>(Dest)) {
        copyInto(view->GetKVBitmap());
        view->TKVView::SetBackGround(Background());
        view->SetDPI(DPIX(), DPIY());
        view->Update();
        view->ImageChange();
        return;
    }
    TBitmap* bitmap = dynamic_cast<TBitmap*>(Dest);
    if (auto* image = dynamic_cast<TImage*>(Dest))
        bitmap = image->Picture()->Bitmap();
    if (bitmap == nullptr)
        return;
    TKVBitmap area;
    area.SetLocation(kvMemory);
    copyInto(&area);
    if (area.GetWidth() <= 0)
        return;
    if (area.GetPixelFormat() != kv1g && area.GetPixelFormat() != kv24RGB)
        area.SetPixelFormat(kv24RGB);
    area.CopyToTBitmap(bitmap);
    bitmap->SetModified(true);
}

void TKorvaneView::CopyToBitmapWithAlpha(TBitmap* Bitmap, int32_t x, int32_t y)
{
    if (Bitmap == nullptr)
        return;
    Bitmap->SetPixelFormat(pf24bit);
    if (!FCurrent->GetHasAlphaChannel() || Bitmap->Empty())
        return;
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xs, ys;
    const int32_t w = FCurrent->GetWidth(), h = FCurrent->GetHeight();
    FCurrent->RenderToTBitmap(Bitmap, rows, xs, ys, nullptr, x, y, w, h, 0, 0, w, h, true, false, 255, rfNone,
                              true);
}

void TKorvaneView::CopyFromPolygon(TBitmap* Source, const TPoint* Points, int32_t Count, TPoint Point)
{
    const TKVPixelFormat format = FCurrent->GetPixelFormat();
    if (Source == nullptr || Points == nullptr || Count < 3 || (format != kv24RGB && format != kv1g))
        return;
    // The worker draws on a class-library bitmap and grows it to hold the area; the picture follows,
    // its alpha channel grown with it (opaque), so that both keep one size.
    TBitmap work;
    FCurrent->CopyToTBitmap(&work);
    Korvaneproc::_CopyPolygonToPoint(Source, Points, Count, &work, Point);
    const int32_t w = work.Width(), h = work.Height();
    if (w != FCurrent->GetWidth() || h != FCurrent->GetHeight())
        FCurrent->Resize(w, h, ColorToRGB(Background()), 255, kvhLeft, kvvTop);
    TKVBitmap drawn;
    drawn.EncapsulateTBitmap(&work, false);
    drawn.CopyRectTo(FCurrent, 0, 0, 0, 0, w, h);
    Update();
}

void TKorvaneView::CopyToPolygon(TBitmap* Destination, const TPoint* Points, int32_t Count, TPoint Point)
{
    if (Destination == nullptr || Points == nullptr || Count < 3 || FCurrent->GetPixelFormat() == kvnull)
        return;
    TBitmap picture;
    FCurrent->CopyToTBitmap(&picture);
    Korvaneproc::_CopyPolygonToPoint(&picture, Points, Count, Destination, Point);
}

void TKorvaneView::SetSelectedPixelsColor(TRGB Color)
{
    if (FMask.IsEmpty() || FCurrent->GetPixelFormat() != kv24RGB)
        return;
    for (int32_t y = std::max(FMask.y1, 0); y <= std::min(FMask.y2, FCurrent->GetHeight() - 1); ++y)
        for (int32_t x = std::max(FMask.x1, 0); x <= std::min(FMask.x2, FCurrent->GetWidth() - 1); ++x)
            if (FMask.IsPointInside(x, y))
                FCurrent->SetPixels_kv24RGB(x, y, Color);
    Update();
}

void TKorvaneView::SetAlphaRangePixelsColor(int32_t Min, int32_t Max, TRGB Color)
{
    if (!FCurrent->GetHasAlphaChannel() || FCurrent->GetPixelFormat() != kv24RGB)
        return;
    for (int32_t y = 0; y < FCurrent->GetHeight(); ++y)
        for (int32_t x = 0; x < FCurrent->GetWidth(); ++x) {
            const int32_t a = FCurrent->GetAlpha(x, y);
            if (a >= Min && a <= Max)
                FCurrent->SetPixels_kv24RGB(x, y, Color);
        }
    Update();
}

void TKorvaneView::SetSelectedAreaAlpha(int32_t Value)
{
    if (FCurrent->GetWidth() <= 0 || FCurrent->GetHeight() <= 0)
        return;
    const uint8_t v = uint8_t(std::clamp(Value, 0, 255));
    TKVBitmap* alpha = FCurrent->GetAlphaChannel();
    if (FSelected && !FMask.IsEmpty()) {
        for (int32_t y = std::max(FMask.y1, 0); y <= std::min(FMask.y2, FCurrent->GetHeight() - 1); ++y)
            for (int32_t x = std::max(FMask.x1, 0); x <= std::min(FMask.x2, FCurrent->GetWidth() - 1); ++x)
                if (FMask.IsPointInside(x, y))
                    alpha->SetPixels_kv8(x, y, v);
    } else {
        alpha->Fill(v);
    }
    alpha->SyncFull();
    Update();
}

void TKorvaneView::Assign(TPersistent* Source)
{
    if (Source == nullptr) {
        Clear();
        return;
    }
    if (auto* view = dynamic_cast<TKorvaneView*>(Source)) {
        FCurrent->Assign(view->GetKVBitmap());
        TKVView::SetBackGround(view->Background());
        SetDPI(view->DPIX(), view->DPIY());
        Update();
        ImageChange();
        return;
    }
    if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) {
        FCurrent->CopyFromTBitmap(bitmap);
        if (FCurrent->GetPixelFormat() != kv1g && FCurrent->GetPixelFormat() != kvnull)
            FCurrent->SetPixelFormat(kv24RGB);
        Update();
        ImageChange();
    }
}

// ---------------------------------------------------------------------------------------------
// Transitions

void TKorvaneView::PrepareTransition()
{
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    if (cw <= 0 || ch <= 0)
        return;
    FTransition->SetSizes(cw, ch);
    std::unique_ptr<TKVRowTable> rows;
    PaintToEx(FTransition->SourceShot(), rows, nullptr);
}

void TKorvaneView::RunTransition(TKVTransitionType Type, uint32_t Duration)
{
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    if (cw <= 0 || ch <= 0)
        return;
    if (FTransition->SourceShot()->Width() != cw || FTransition->SourceShot()->Height() != ch)
        PrepareTransition();
    std::unique_ptr<TKVRowTable> rows;
    PaintToEx(FTransition->TargetShot(), rows, nullptr);
    FTransition->Transition = Type;
    FTransition->Duration = Duration;
    FTransition->Run(true);
}

bool TKorvaneView::GetTransitionRunning() const
{
    return FTransition && FTransition->Running();
}
