// The image view's painting: the back buffer rendered from the layers when something changed,
// the background styles, selection marks and grid, and the marching outlines on the view timer.
#include "imaging/view/korvaneview.h"

#include "imaging/core/hint_window.h"
#include "imaging/core/kvbitmap.h"
#include "platform/core/rounding.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Background

namespace Korvaneview {

bool KVDrawGradient(const TRect& Rect, TCanvas* Canvas, TColor StartColor, bool Vertical, TColor EndColor)
{
    const int32_t w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
    if (Canvas == nullptr || w <= 0 || h <= 0)
        return false;
    const COLORREF s = static_cast<COLORREF>(ColorToRGB(StartColor));
    const COLORREF e = static_cast<COLORREF>(ColorToRGB(EndColor));
    const int32_t steps = Vertical ? h : w;
    TBrush* brush = Canvas->Brush();
    const TColor oldColor = brush->Color();
    const TBrushStyle oldStyle = brush->Style();
    for (int32_t i = 0; i < steps; ++i) {
        auto mix = [&](uint8_t a, uint8_t b) { return uint8_t(a + (int32_t(b) - a) * i / steps); };
        brush->SetColor(RGBToColor(mix(GetRValue(s), GetRValue(e)), mix(GetGValue(s), GetGValue(e)),
                                   mix(GetBValue(s), GetBValue(e))));
        brush->SetStyle(bsSolid);
        if (Vertical)
            Canvas->FillRect(TRect{Rect.Left, Rect.Top + i, Rect.Right, Rect.Top + i + 1});
        else
            Canvas->FillRect(TRect{Rect.Left + i, Rect.Top, Rect.Left + i + 1, Rect.Bottom});
    }
    brush->SetColor(oldColor);
    brush->SetStyle(oldStyle);
    return true;
}

void KVDrawBackground(bool designing, TCanvas* Canvas, TKVBackgroundStyle Style, TColor Color,
                      int32_t AreaLeft, int32_t AreaTop, int32_t AreaWidth, int32_t AreaHeight,
                      int32_t ImageLeft, int32_t ImageTop, int32_t ImageRight, int32_t ImageBottom,
                      int32_t ChessboardSize, TBrushStyle ChessboardBrushStyle, TColor GradientEndColor)
{
    if (Canvas == nullptr || AreaWidth <= 0 || AreaHeight <= 0)
        return;
    const TColor colour = ColorToRGB(Color);
    // The complement of the resolved colour: inverting a system colour's value would name another
    // system colour.
    const TColor complement = colour ^ 0xFFFFFF;
    const TRect area{AreaLeft, AreaTop, AreaLeft + AreaWidth, AreaTop + AreaHeight};
    TBrush* brush = Canvas->Brush();
    TPen* pen = Canvas->Pen();
    auto fill = [&](TColor c, TBrushStyle style, const TRect& r) {
        brush->SetColor(c);
        brush->SetStyle(style);
        Canvas->FillRect(r);
    };
    const bool imageShown = ImageRight - ImageLeft > 1 && ImageBottom - ImageTop > 1;
    switch (Style) {
    case kvbsSolid:
    case kvbsHorizontal:
    case kvbsVertical:
    case kvbsFDiagonal:
    case kvbsBDiagonal:
    case kvbsCross:
    case kvbsDiagCross: {
        static constexpr TBrushStyle styles[] = {bsSolid,     bsHorizontal, bsVertical, bsFDiagonal,
                                                 bsBDiagonal, bsCross,      bsDiagCross};
        fill(colour, styles[Style], area);
        break;
    }
    case kvbsChessboard: {
        const int32_t size = std::max(ChessboardSize, 1);
        bool rowStartsWithComplement = true;
        for (int32_t y = area.Top; y < area.Bottom; y += size) {
            bool useComplement = rowStartsWithComplement;
            for (int32_t x = area.Left; x < area.Right; x += size) {
                fill(useComplement ? complement : colour, ChessboardBrushStyle,
                     TRect{x, y, std::min(x + size, area.Right), std::min(y + size, area.Bottom)});
                useComplement = !useComplement;
            }
            rowStartsWithComplement = !rowStartsWithComplement;
        }
        break;
    }
    case kvbsDiagonals:
        fill(colour, bsSolid, area);
        pen->SetColor(complement);
        pen->SetStyle(psSolid);
        pen->SetMode(pmCopy);
        pen->SetWidth(1);
        Canvas->MoveTo(area.Left, area.Top);
        Canvas->LineTo(area.Right, area.Bottom);
        Canvas->MoveTo(area.Right - 1, area.Top);
        Canvas->LineTo(area.Left - 1, area.Bottom);
        break;
    case kvbsCropped:
        if (designing) {
            fill(colour, bsSolid, area);
            break;
        }
        fill(ColorToRGB(clBtnFace), bsSolid, area);
        if (imageShown) {
            TRect edge{ImageLeft - GetSystemMetrics(SM_CXEDGE), ImageTop - GetSystemMetrics(SM_CYEDGE),
                       ImageRight + GetSystemMetrics(SM_CXEDGE), ImageBottom + GetSystemMetrics(SM_CYEDGE)};
            DrawEdge(Canvas, &edge, EDGE_SUNKEN, BF_RECT);
        }
        break;
    case kvbsCropShadow:
        if (designing) {
            fill(colour, bsSolid, area);
            break;
        }
        fill(ColorToRGB(clBtnFace), bsSolid, area);
        if (imageShown) {
            Daduvudez::KVRightShadow(Canvas, ImageRight, ImageTop, ImageRight + 5, ImageBottom + 3,
                                     kvstSmooth1);
            Daduvudez::KVBottomShadow(Canvas, ImageLeft, ImageBottom, ImageRight + 4, ImageBottom + 5,
                                      kvstSmooth1);
        }
        break;
    case kvbsGradient:
        KVDrawGradient(area, Canvas, Color, true, GradientEndColor);
        break;
    }
}

} // namespace Korvaneview

// ---------------------------------------------------------------------------------------------
// Paint and the back buffer

void TKorvaneView::Paint()
{
    if (!HasParentWindow() || ClientWidth() <= 0 || ClientHeight() <= 0)
        return;
    if (Designing()) {
        Korvaneview::KVDrawBackground(true, Canvas(), FBackgroundStyle, Background(), 0, 0, ClientWidth(),
                                      ClientHeight(), 0, 0, 0, 0, FChessboardSize, FChessboardBrushStyle,
                                      FGradientEndColor);
        return;
    }
    if (FPaintLock == 0) {
        TRect r = ClientRect();
        if (!FRepaintAll) {
            const TRect clip = Canvas()->ClipRect();
            if (!clip.IsEmpty())
                r = clip;
        }
        PaintRect(r);
    }
    FRepaintAll = false;
    if (!FMovedRectangle)
        AniPolyFunc(this, false);
    if (OnPaint)
        OnPaint(this);
}

void TKorvaneView::PaintRect(const TRect& r)
{
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    if (cw <= 0 || ch <= 0)
        return;
    if (FBackBuffer->Width() != cw || FBackBuffer->Height() != ch) {
        FBackBuffer->SetSize(cw, ch);
        FBackRows.reset();
        FBackBufferDirty = true;
    }
    if (FBackBufferDirty) {
        PaintToEx(FBackBuffer.get(), FBackRows, &r);
        FBackBufferDirty = false;
    }
    const int32_t w = std::min(r.Right - r.Left, cw), h = std::min(r.Bottom - r.Top, ch);
    // The platform's windows take 24-bit pictures at every screen depth (Kvview::gSystemColors):
    // the paths that dithered for 8- and 16-bit screens present the same copy.
    if (w > 0 && h > 0)
        BitBlt(Canvas(), r.Left, r.Top, w, h, FBackBuffer->Canvas(), r.Left, r.Top, SRCCOPY);
    DrawRubberBand();
}

namespace {

// The renderer's fixed-point scale of a source extent over a destination extent.
int32_t RendererZoom(int32_t source, int32_t destination)
{
    return Round(static_cast<double>(source) / destination * 16384);
}

} // namespace

void TKorvaneView::PaintToEx(TBitmap* Bitmap, std::unique_ptr<TKVRowTable>& Rows, const TRect* UpdateRect)
{
    LayersSync();
    SyncBitmapSize();
    FGeo.ClientWidth = Bitmap->Width();
    FGeo.ClientHeight = Bitmap->Height();
    UpdateLimits();
    CalcPaintCoef();
    if (Designing() || FCurrent->GetWidth() <= 0 || FCurrent->GetHeight() <= 0 || Bitmap->Empty())
        return;
    if (FCurrent->GetHasAlphaChannel()) {
        TKVBitmap* alpha = FCurrent->GetAlphaChannel();
        if (alpha->GetWidth() != FCurrent->GetWidth() || alpha->GetHeight() != FCurrent->GetHeight())
            return;
    }
    const TKVViewGeometry& g = FGeo;
    TRect inclusive;
    const TRect* update = nullptr;
    if (UpdateRect) {
        inclusive = TRect{UpdateRect->Left, UpdateRect->Top, UpdateRect->Right - 1, UpdateRect->Bottom - 1};
        update = &inclusive;
    }
    const TResampleFilter filter = (FDelayCount < 1 && Zoom() != 100) ? FZoomFilter : rfNone;
    FLastRenderFilter = filter;
    // The renderer reads the view's own screen-to-bitmap runs, so every client pixel shows the
    // bitmap pixel that XScr2Bmp and YScr2Bmp name.
    const int32_t dstW = std::min(g.DrawnWidth, Bitmap->Width() - g.OffsetX);
    const int32_t dstH = std::min(g.DrawnHeight, Bitmap->Height() - g.OffsetY);
    auto fillSamples = [](std::unique_ptr<TKVSampleTable>& table, const TKVViewGeometry::TAxisTables& axis,
                          int32_t origin, int32_t count, int32_t first, int32_t visible, int32_t limit) {
        if (!table)
            table = std::make_unique<TKVSampleTable>();
        table->DestOrigin = origin;
        table->Zoom = RendererZoom(visible, count);
        table->SourceOrigin = first;
        table->SourceLimit = limit;
        table->Entries.resize(static_cast<size_t>(std::max(count, 0)));
        for (int32_t i = 0; i < count; ++i) {
            const int64_t at = axis.ScreenBase + i;
            table->Entries[size_t(i)] = at >= 0 && at < int64_t(axis.ScreenToBitmap.size())
                                            ? axis.ScreenToBitmap[size_t(at)]
                                            : std::clamp(first + i, 0, limit - 1);
        }
    };
    bool first = true;
    for (const auto& layer : FLayers) {
        if (!layer->Visible || g.DrawnWidth <= 0 || g.DrawnHeight <= 0 || dstW <= 0 || dstH <= 0)
            continue;
        if (first)
            PaintBackground(Bitmap, UpdateRect, true, layer.get());
        TKVBitmap* source = layer->Bitmap;
        if (g.TablesX().Present() && g.TablesY().Present()) {
            fillSamples(FXSamples, g.TablesX(), g.OffsetX, dstW, g.FirstColumn, g.VisibleColumns,
                        source->GetWidth());
            fillSamples(FYSamples, g.TablesY(), g.OffsetY, dstH, g.FirstRow, g.VisibleRows,
                        source->GetHeight());
        }
        const bool solid = FBackgroundStyle == kvbsSolid && first;
        source->RenderToTBitmap(Bitmap, Rows, FXSamples, FYSamples, update, g.OffsetX, g.OffsetY, dstW, dstH,
                                g.FirstColumn, g.FirstRow, g.VisibleColumns, g.VisibleRows,
                                FEnableAlphaChannel, solid, layer->Transparency, filter, false);
        first = false;
    }
    if (first)
        PaintBackground(Bitmap, UpdateRect, false, nullptr);
    if (FPolys[0].Shown && (FSelectionOptions & (kvsoFilled | kvsoMarkOuter)) && !FMask.IsEmpty()) {
        if (FSelectionOptions & kvsoFilled)
            FMask.InvertCanvas(Bitmap->Canvas(), g.OffsetX, g.OffsetY, g.DrawnWidth, g.DrawnHeight,
                               g.FirstColumn, g.FirstRow, g.VisibleColumns, g.VisibleRows);
        if (FSelectionOptions & kvsoMarkOuter)
            FMask.DrawOuter(Bitmap, g.OffsetX, g.OffsetY, g.DrawnWidth, g.DrawnHeight, g.FirstColumn,
                            g.FirstRow, g.VisibleColumns, g.VisibleRows);
    }
    DrawGrid(Bitmap);
}

void TKorvaneView::PaintBackground(TBitmap* Bitmap, const TRect* r, bool beforeFirstLayer,
                                   const TKVLayer* layer)
{
    const TKVViewGeometry& g = FGeo;
    if (beforeFirstLayer && g.OffsetX < 1 && g.OffsetY < 1 && Bitmap->Width() <= g.DrawnWidth &&
        Bitmap->Height() <= g.DrawnHeight && layer != nullptr && layer->Transparency >= 255) {
        const bool partialAlpha = FEnableAlphaChannel && layer->Bitmap->GetHasAlphaChannel() &&
                                  !layer->Bitmap->GetAlphaChannel()->Full;
        if (!partialAlpha)
            return;
    }
    TCanvas* canvas = Bitmap->Canvas();
    // A clip that holds the whole bitmap changes nothing, and would only take the fills off the
    // canvas's direct road.
    const bool clipped = r != nullptr && (r->Left > 0 || r->Top > 0 || r->Right < Bitmap->Width() ||
                                          r->Bottom < Bitmap->Height());
    if (clipped)
        IntersectClipRect(canvas, r->Left, r->Top, r->Right, r->Bottom);
    Korvaneview::KVDrawBackground(false, canvas, FBackgroundStyle, Background(), 0, 0, Bitmap->Width(),
                                  Bitmap->Height(), g.OffsetX, g.OffsetY, g.OffsetX + g.DrawnWidth,
                                  g.OffsetY + g.DrawnHeight, FChessboardSize, FChessboardBrushStyle,
                                  FGradientEndColor);
    if (clipped)
        SelectClipRgn(canvas, nullptr);
}

void TKorvaneView::DrawGrid(TBitmap* Bitmap)
{
    if (!FDisplayGrid || Zoom() < 400)
        return;
    const TKVViewGeometry& g = FGeo;
    TCanvas* canvas = Bitmap->Canvas();
    TPen* pen = canvas->Pen();
    pen->SetStyle(psSolid);
    pen->SetWidth(1);
    pen->SetMode(pmNot);
    const int32_t left = XBmp2Scr(g.FirstColumn), right = XBmp2Scr(g.FirstColumn + g.VisibleColumns);
    const int32_t top = YBmp2Scr(g.FirstRow), bottom = YBmp2Scr(g.FirstRow + g.VisibleRows);
    for (int32_t row = g.FirstRow; row <= g.FirstRow + g.VisibleRows; ++row) {
        const int32_t y = YBmp2Scr(row);
        canvas->MoveTo(left, y);
        canvas->LineTo(right, y);
    }
    for (int32_t col = g.FirstColumn; col <= g.FirstColumn + g.VisibleColumns; ++col) {
        const int32_t x = XBmp2Scr(col);
        canvas->MoveTo(x, top);
        canvas->LineTo(x, bottom);
    }
    pen->SetMode(pmCopy);
}

void TKorvaneView::DrawTo(TCanvas* Canvas)
{
    if (Canvas == nullptr || FCurrent->Location() == kvFile || FCurrent->GetHeight() == 0 ||
        FCurrent->GetWidth() == 0)
        return;
    CalcPaintCoef();
    const TKVViewGeometry& g = FGeo;
    if (g.VisibleColumns <= 0 || g.VisibleRows <= 0 || g.VisibleWidth <= 0 || g.VisibleHeight <= 0)
        return;
    TKVBitmap area;
    area.Allocate(g.VisibleColumns, g.VisibleRows, FCurrent->GetPixelFormat());
    for (int32_t i = 0; i < FCurrent->PaletteCount(); ++i)
        area.SetPalette(i, FCurrent->GetPalette(i));
    FCurrent->CopyRectTo(&area, g.FirstColumn, g.FirstRow, 0, 0, g.VisibleColumns, g.VisibleRows);
    const TResampleFilter filter = (FZoomFilter != rfNone && Zoom() != 100) ? FZoomFilter : rfNone;
    area.RenderToCanvas(Canvas, 0, 0, g.VisibleWidth, g.VisibleHeight, filter, 1.0);
}

void TKorvaneView::UpdateRect(const TRect& r)
{
    FBackBufferDirty = true;
    InvalidateRect(&r, false);
}

// ---------------------------------------------------------------------------------------------
// Paint lock and settings

void TKorvaneView::LockPaint()
{
    ++FPaintLock;
}

int32_t TKorvaneView::UnLockPaint()
{
    FPaintLock = std::max(FPaintLock - 1, 0);
    if (FPaintLock == 0)
        Update();
    return FPaintLock;
}

int32_t TKorvaneView::NPUnLockPaint()
{
    FPaintLock = std::max(FPaintLock - 1, 0);
    return FPaintLock;
}

void TKorvaneView::SetBackgroundStyle(TKVBackgroundStyle Value)
{
    FBackgroundStyle = Value;
    Invalidate();
    Update();
}

void TKorvaneView::SetDisplayGrid(bool Value)
{
    FDisplayGrid = Value;
    Update();
}

void TKorvaneView::SetGradientEndColor(TColor Value)
{
    FGradientEndColor = Value;
    Update();
}

void TKorvaneView::SetEnableAlphaChannel(bool Value)
{
    FEnableAlphaChannel = Value;
    Update();
}

void TKorvaneView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle)
{
    FChessboardSize = Size;
    FChessboardBrushStyle = BrushStyle;
}

void TKorvaneView::SetSelectionGripStyle(TColor Color1, TColor Color2, TBrushStyle BrushStyle,
                                         int32_t HalfSize, bool MidSideGrips)
{
    FGripColor1 = Color1;
    FGripColor2 = Color2;
    FGripBrushStyle = BrushStyle;
    FGripHalfSize = HalfSize;
    FMidSideGrips = MidSideGrips;
}

void TKorvaneView::SetSelColor1(TColor Value)
{
    FSelColor1 = Value;
    FPolys[0].Color1 = Value;
}

void TKorvaneView::SetSelColor2(TColor Value)
{
    FSelColor2 = Value;
    FPolys[0].Color2 = Value;
}

// ---------------------------------------------------------------------------------------------
// Animated polygons

bool TKVAnimPoly::IsRectangle() const
{
    if (Points.size() != 4)
        return false;
    for (const TPoint& p : Points)
        if (IsBreak(p))
            return false;
    // Edges alternate: either the first is horizontal, or the first is vertical.
    for (int start = 0; start < 2; ++start) {
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) {
            const TPoint& a = Points[size_t(i)];
            const TPoint& b = Points[size_t((i + 1) % 4)];
            const bool horizontal = (i + start) % 2 == 0;
            ok = horizontal ? (a.Y == b.Y && a.X != b.X) : (a.X == b.X && a.Y != b.Y);
        }
        if (ok)
            return true;
    }
    return false;
}

int32_t TKorvaneView::AnimPolygonNew(TColor Color1, TColor Color2, bool Animated, bool Sizeable)
{
    TKVAnimPoly poly;
    poly.Color1 = Color1;
    poly.Color2 = Color2;
    poly.Animated = Animated;
    poly.Sizeable = Sizeable;
    FPolys.push_back(std::move(poly));
    if (FPolys.size() == 1 && !Designing())
        FTimer->SetEnabled(true);
    return static_cast<int32_t>(FPolys.size()) - 1;
}

const TKVAnimPoly* TKorvaneView::AnimPolygon(int32_t Index) const
{
    return Index >= 0 && Index < AnimPolygonCount() ? &FPolys[size_t(Index)] : nullptr;
}

void TKorvaneView::AnimPolygonAddPt(int32_t Index, int32_t x, int32_t y)
{
    if (Index < 0 || Index >= AnimPolygonCount())
        return;
    TKVAnimPoly& p = FPolys[size_t(Index)];
    p.Points.push_back(TPoint{x, y});
    const int32_t n = p.Count();
    if (n == 2) {
        p.X1 = std::min(p.Points[0].X, x);
        p.Y1 = std::min(p.Points[0].Y, y);
        p.X2 = std::max(p.Points[0].X, x);
        p.Y2 = std::max(p.Points[0].Y, y);
    } else if (n > 2) {
        p.X1 = std::min(p.X1, x);
        p.Y1 = std::min(p.Y1, y);
        p.X2 = std::max(p.X2, x);
        p.Y2 = std::max(p.Y2, y);
    }
    NoteSelectionPresent();
}

void TKorvaneView::AnimPolygonAddBreak(int32_t Index)
{
    if (Index < 0 || Index >= AnimPolygonCount())
        return;
    TKVAnimPoly& p = FPolys[size_t(Index)];
    if (!p.Points.empty() && !TKVAnimPoly::IsBreak(p.Points.back()))
        p.Points.push_back(TPoint{KVPolyBreak, KVPolyBreak});
}

void TKorvaneView::AnimPolygonClear(int32_t Index)
{
    if (Index < 0 || Index >= AnimPolygonCount())
        return;
    TKVAnimPoly& p = FPolys[size_t(Index)];
    p.Points.clear();
    p.X1 = p.Y1 = p.X2 = p.Y2 = 0;
    FBackBufferDirty = true;
    if (FPaintLock == 0)
        Paint();
}

void TKorvaneView::AnimPolygonRemoveLast(int32_t Index)
{
    if (Index < 0 || Index >= AnimPolygonCount())
        return;
    TKVAnimPoly& p = FPolys[size_t(Index)];
    auto lastBreak = std::find_if(p.Points.rbegin(), p.Points.rend(), TKVAnimPoly::IsBreak);
    if (lastBreak == p.Points.rend())
        p.Points.clear();
    else
        p.Points.erase(std::prev(lastBreak.base()), p.Points.end());
    FBackBufferDirty = true;
    if (FPaintLock == 0)
        Paint();
}

void TKorvaneView::AnimPolygonRemoveLastPoint(int32_t Index)
{
    if (Index < 0 || Index >= AnimPolygonCount())
        return;
    TKVAnimPoly& p = FPolys[size_t(Index)];
    if (p.Points.empty())
        return;
    p.Points.pop_back();
    while (!p.Points.empty() && TKVAnimPoly::IsBreak(p.Points.back()))
        p.Points.pop_back();
}

void TKorvaneView::AnimPolygonDel(int32_t Index)
{
    // The selection polygon stays.
    if (Index < 1 || Index >= AnimPolygonCount())
        return;
    FPolys.erase(FPolys.begin() + Index);
    FBackBufferDirty = true;
    if (FPaintLock == 0)
        Paint();
}

// ---------------------------------------------------------------------------------------------
// Marching outlines

void TKorvaneView::TimerEvent(TObject*)
{
    AniPolyFunc(FTimer, true);
}

void TKorvaneView::AniPolyFunc(TObject* Sender, bool fromTimer)
{
    if (!HasParentWindow())
        return;
    TCanvas* canvas = Canvas();
    const bool editing = SelectionBeingEdited();
    bool anyAnimated = false;
    for (size_t i = 0; i < FPolys.size(); ++i) {
        TKVAnimPoly& poly = FPolys[i];
        if (!poly.Shown)
            continue;
        if (poly.Animated) {
            anyAnimated = true;
            if (Sender == FTimer && !editing && FResizingGrip < 0 && FMovingGrip < 0) {
                poly.Phase = (poly.Phase + 1) % 10;
                ++FAntsPhase;
            }
        }
        if (FPaintLock != 0 || (canvas->LockCount() > 0 && fromTimer) || FAutoScrolling)
            continue;
        if (poly.Sizeable && poly.IsRectangle() && !FRubberBand && FMovingGrip < 0)
            DrawGrips(poly, canvas);
        if (i == 0 && !FMask.IsEmpty() && !editing) {
            if (FSettleCount > 0 && PaintOutlineOnlyAtRest)
                continue;
            const TKVViewGeometry& g = FGeo;
            FMask.DrawOutline(canvas, g.OffsetX, g.OffsetY, g.DrawnWidth, g.DrawnHeight, g.FirstColumn,
                              g.FirstRow, g.VisibleColumns, g.VisibleRows, FAntsPhase, FSelColor1, FSelColor2,
                              Zoom());
        } else {
            DrawPolygon(poly, canvas);
        }
    }
    UpdateTimerState(anyAnimated);
    if (FDelayCount > 0 && --FDelayCount == 0)
        Update();
    if (FSettleCount > 0)
        --FSettleCount;
}

void TKorvaneView::UpdateTimerState(bool anyAnimated)
{
    if (!Designing())
        FTimer->SetEnabled(FDelayCount != 0 || FSettleCount != 0 || anyAnimated);
}

void TKorvaneView::DrawPolygon(TKVAnimPoly& poly, TCanvas* canvas)
{
    if (poly.Points.empty())
        return;
    poly.DashCounter = poly.Phase;
    canvas->Pen()->SetMode(pmCopy);
    const TColor c1 = poly.Color1, c2 = poly.Color2;
    auto dash = [&](int32_t x, int32_t y) {
        int32_t& counter = poly.DashCounter;
        if (counter < 4) {
            canvas->SetPixels(x, y, c1);
        } else {
            canvas->SetPixels(x, y, c2);
            if (counter >= 7)
                counter = -1;
        }
        ++counter;
    };
    auto line = [&](TPoint a, TPoint b) { LineDDA(a.X, a.Y, b.X, b.Y, dash); };
    if (poly.IsRectangle()) {
        const TPoint p1 = ToClient(poly.Points[0]);
        const TPoint p3 = ToClient(poly.Points[2]);
        const int32_t x1 = p1.X, y1 = p1.Y, x2 = p3.X - 1, y2 = p3.Y - 1;
        // Each edge starts its dashes afresh, so a rectangle's dashes do not march.
        const TPoint edges[4][2] = {
            {{x1, y1}, {x2, y1}}, {{x2, y1}, {x2, y2}}, {{x2, y2}, {x1, y2}}, {{x1, y1}, {x1, y2}}};
        for (const auto& e : edges) {
            poly.DashCounter = 0;
            line(e[0], e[1]);
        }
        return;
    }
    const bool stillDrawn = &poly == &FPolys[0] && FDrawingPolygon;
    size_t figureStart = 0;
    for (size_t i = 0; i < poly.Points.size(); ++i) {
        if (TKVAnimPoly::IsBreak(poly.Points[i])) {
            if (i > figureStart)
                line(ToClient(poly.Points[i - 1]), ToClient(poly.Points[figureStart]));
            figureStart = i + 1;
            continue;
        }
        if (i + 1 < poly.Points.size() && !TKVAnimPoly::IsBreak(poly.Points[i + 1]))
            line(ToClient(poly.Points[i]), ToClient(poly.Points[i + 1]));
    }
    if (!stillDrawn && figureStart < poly.Points.size())
        line(ToClient(poly.Points.back()), ToClient(poly.Points[figureStart]));
}

void TKorvaneView::DrawGrips(const TKVAnimPoly& poly, TCanvas* canvas)
{
    canvas->Brush()->SetColor(FGripColor2);
    canvas->Brush()->SetStyle(FGripBrushStyle);
    canvas->Pen()->SetColor(FGripColor1);
    canvas->Pen()->SetMode(pmCopy);
    canvas->Pen()->SetStyle(psSolid);
    const int32_t s = FGripHalfSize;
    int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
    auto grip = [&](int32_t x, int32_t y) { canvas->Rectangle(x - s, y - s, x + s, y + s); };
    for (const TPoint& p : poly.Points) {
        if (TKVAnimPoly::IsBreak(p))
            continue;
        const TPoint c = ToClient(p);
        grip(c.X, c.Y);
        minX = std::min(minX, c.X);
        minY = std::min(minY, c.Y);
        maxX = std::max(maxX, c.X);
        maxY = std::max(maxY, c.Y);
    }
    if (FMidSideGrips && minX <= maxX) {
        const int32_t midX = (minX + maxX) / 2, midY = (minY + maxY) / 2;
        grip(midX, minY);
        grip(minX, midY);
        grip(maxX, midY);
        grip(midX, maxY);
    }
}

void TKorvaneView::DrawRubberBand()
{
    if (!FDrawingPolygon || FLassoMode || FPolys[0].Points.empty())
        return;
    const TPoint last = FPolys[0].Points.back();
    if (TKVAnimPoly::IsBreak(last))
        return;
    TCanvas* canvas = Canvas();
    const int32_t oldRop = SetROP2(canvas, R2_NOT);
    const TPoint to = ToClient(last);
    canvas->MoveTo(FLastPoint.X, FLastPoint.Y);
    canvas->LineTo(to.X, to.Y);
    SetROP2(canvas, oldRop);
}
