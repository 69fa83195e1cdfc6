// Drawing of vector objects: lines with arrow heads, boxes and highlighters, ellipses, arcs,
// pictures and polylines on a bitmap's canvas, directly or through the off-screen picture that
// gives objects their transparency and soft shadows; the grips of selected objects and the
// previews shown while an object is being inserted.
#include "imaging/core/daduvudez.h"
#include "imaging/core/geometry_helpers.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/view/kvvect.h"
#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>

namespace {

bool MovesWithPen(TKVVObjectKind k)
{
    return k == kvkLINE || k == kvkBOX || k == kvkELLIPSE || k == kvkARC || k == kvkLINELABEL;
}

TRect EmptyBounds()
{
    return TRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
}

// The highlighter: every pixel of the rectangle ANDed with the colour (an 8-bit raster takes the
// colour's red component).
void HighlightRect(TBitmap* target, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor colour)
{
    const COLORREF c = DeviceColor(COLORREF(ColorToRGB(colour)));
    const int32_t left = std::max(std::min(x1, x2), 0);
    const int32_t right = std::min(std::max(x1, x2), target->Width() - 1);
    const int32_t top = std::max(std::min(y1, y2), 0);
    const int32_t bottom = std::min(std::max(y1, y2), target->Height() - 1);
    if (left > right || top > bottom) {
        return;
    }
    const TPixelFormat format = target->PixelFormat();
    for (int32_t y = top; y <= bottom; ++y) {
        uint8_t* row = target->ScanLine(y);
        if (format == pf24bit) {
            for (int32_t x = left; x <= right; ++x) {
                row[3 * x] &= GetBValue(c);
                row[3 * x + 1] &= GetGValue(c);
                row[3 * x + 2] &= GetRValue(c);
            }
        } else if (format == pf8bit) {
            std::fill(row + left, row + right + 1, GetRValue(c));
        }
    }
}

} // namespace

int32_t TKorvaneVect::VXBmp2Scr(int32_t x, bool Screen, double s) const
{
    const double scale = s > 1 ? s : 1.0;
    return Trunc((Screen ? double(XBmp2Scr(x)) : double(x)) * scale);
}

int32_t TKorvaneVect::VYBmp2Scr(int32_t y, bool Screen, double s) const
{
    const double scale = s > 1 ? s : 1.0;
    return Trunc((Screen ? double(YBmp2Scr(y)) : double(y)) * scale);
}

void TKorvaneVect::SetGripStyle(int32_t Size, int32_t PenWidth, TPenStyle PenStyle)
{
    FGripSize = Size;
    FGripPenWidth = PenWidth;
    FGripPenStyle = PenStyle;
}

void TKorvaneVect::VPaintTo(TBitmap* Target)
{
    FDrawnCount = 0;
    DrawObjectAll(false, Target, 1.0);
    DrawSelGrips(Target->Canvas());
}

void TKorvaneVect::PaintToEx(TBitmap* Bitmap, std::unique_ptr<TKVRowTable>& Rows, const TRect* UpdateRect)
{
    TKorvaneView::PaintToEx(Bitmap, Rows, UpdateRect);
    VPaintTo(Bitmap);
}

void TKorvaneVect::DrawObjectAll(bool BitmapMode, TBitmap* Target, double s)
{
    if (FAllHidden || !Target || Target->Width() < 1 || Target->Height() < 1) {
        return;
    }
    // The off-screen path blends onto 24-bit pictures only; others take the direct path.
    if (FGraphicRender && ObjectsCount() > 0 && Target->PixelFormat() == pf24bit) {
        DrawOffscreen(Target, s, !BitmapMode);
        return;
    }
    const std::vector<int32_t> order = FZOrder;
    for (int32_t h : order) {
        DrawObject(FObjects[size_t(h)], Target, s, false, !BitmapMode, !BitmapMode);
    }
}

TPoint TKorvaneVect::ScreenCorner(const TKVVObject&, int32_t x, int32_t y, bool ScreenMode, double s) const
{
    return TPoint{VXBmp2Scr(x, ScreenMode, s), VYBmp2Scr(y, ScreenMode, s)};
}

bool TKorvaneVect::DrawObject(TKVVObject& o, TBitmap* Target, double s, bool Offscreen, bool ScreenMode,
                              bool Clip)
{
    if (FAllHidden || !(o.Style & kvvsVisible) || !Target) {
        return false;
    }
    double f = ScreenMode ? Zoom() / 100.0 : 1.0;
    if (s > 1) {
        f = s;
    }
    int32_t x1 = VXBmp2Scr(o.x1, ScreenMode, s), y1 = VYBmp2Scr(o.y1, ScreenMode, s);
    int32_t x2 = VXBmp2Scr(o.x2, ScreenMode, s), y2 = VYBmp2Scr(o.y2, ScreenMode, s);
    if (Clip && ScreenMode) {
        int32_t l = std::min(x1, x2), t = std::min(y1, y2), r = std::max(x1, x2), b = std::max(y1, y2);
        if (o.Kind == kvkANGLE) {
            // A gauge reaches as far as its points (and its label beyond them).
            const int32_t n = CountAnglePoints(o.AnglePoints);
            for (int32_t i = 0; i < n; ++i) {
                const TPoint p = ScreenCorner(o, o.AnglePoints[i].X, o.AnglePoints[i].Y, ScreenMode, s);
                l = std::min(l, p.X - 60);
                t = std::min(t, p.Y - 60);
                r = std::max(r, p.X + 60);
                b = std::max(b, p.Y + 60);
            }
        }
        const int32_t reach =
            std::max({o.PenWidth, o.ShapeHeight, o.ShapeWidth, 0}) * int32_t(std::ceil(f)) + 40;
        if (o.Kind != kvkTEXT && o.Kind != kvkLINELABEL && o.Kind != kvkRULER &&
            !Daduvudez::_RectXRect(l - reach, t - reach, r + reach, b + reach, 0, 0, GetClientWidth(),
                                   GetClientHeight())) {
            return false;
        }
    }
    int32_t w = o.PenWidth;
    if (ZoomObjectsWidth && s <= 1) {
        w = Korvaneproc::KVCeil(std::max(o.PenWidth * f, 1.0));
        if (MovesWithPen(o.Kind)) {
            x1 += w / 2;
            y1 += w / 2;
            x2 += w / 2;
            y2 += w / 2;
        }
        if (o.Kind == kvkBITMAP && f != 1.0) {
            x2 = VXBmp2Scr(o.x2 + 1, ScreenMode, s) - 1;
            y2 = VYBmp2Scr(o.y2 + 1, ScreenMode, s) - 1;
        }
    }
    TCanvas* canvas = Target->Canvas();
    canvas->Pen()->SetColor(o.PenColor);
    canvas->Pen()->SetStyle(o.PenStyle);
    canvas->Pen()->SetWidth(std::max(w, 0));
    canvas->Pen()->SetMode(pmCopy);
    canvas->Brush()->SetColor(o.BrushColor);
    canvas->Brush()->SetStyle(o.BrushStyle);
    TRect bounds = EmptyBounds();
    switch (o.Kind) {
    case kvkLINE:
    case kvkLINELABEL: {
        canvas->MoveTo(x1, y1);
        canvas->LineTo(x2, y2);
        Daduvudez::KVSetplim(bounds, x1, y1);
        Daduvudez::KVSetplim(bounds, x2, y2);
        const int32_t h = Trunc(o.ShapeHeight * f), wb = Trunc(o.ShapeWidth * f);
        DrawLineShape(canvas, o.BeginShape, x1, y1, x2, y2, h, wb, &bounds);
        DrawLineShape(canvas, o.EndShape, x2, y2, x1, y1, h, wb, &bounds);
        if (o.Kind == kvkLINELABEL) {
            DrawObjectLineLabel(canvas, x1, &bounds, f, o, y2, x2, y1);
        }
        break;
    }
    case kvkBOX:
        if (o.BoxHighLight) {
            HighlightRect(Target, x1, y1, x2, y2, o.BrushColor);
        } else {
            canvas->Rectangle(x1, y1, x2 + 1, y2 + 1);
        }
        Daduvudez::KVSetplim(bounds, x1, y1);
        Daduvudez::KVSetplim(bounds, x2 + 1, y2 + 1);
        break;
    case kvkELLIPSE:
        canvas->Ellipse(x1, y1, x2 + 1, y2 + 1);
        Daduvudez::KVSetplim(bounds, x1, y1);
        Daduvudez::KVSetplim(bounds, x2 + 1, y2 + 1);
        break;
    case kvkARC: {
        const double a = (double(x2) - x1) / 2.0, b = (double(y2) - y1) / 2.0;
        const int32_t sx = x1 + Trunc(std::cos(o.ArcStart) * a + a),
                      sy = y1 + Trunc(std::sin(o.ArcStart) * b + b);
        const int32_t ex = x1 + Trunc(std::cos(o.ArcEnd) * a + a),
                      ey = y1 + Trunc(std::sin(o.ArcEnd) * b + b);
        canvas->Arc(x1, y1, x2 + 1, y2 + 1, sx, sy, ex, ey);
        Daduvudez::KVSetplim(bounds, x1, y1);
        Daduvudez::KVSetplim(bounds, x2 + 1, y2 + 1);
        break;
    }
    case kvkBITMAP:
        DrawBitmapObject(Target, o, x1, y1, x2, y2, Offscreen);
        Daduvudez::KVSetplim(bounds, std::min(x1, x2), std::min(y1, y2));
        Daduvudez::KVSetplim(bounds, std::max(x1, x2) + 1, std::max(y1, y2) + 1);
        break;
    case kvkTEXT:
    case kvkMEMO:
        DrawObjectText(canvas, x1, &bounds, FMaskPass, f, o, y2, x2, y1);
        break;
    case kvkRULER:
        DrawRuler(canvas, x1, &bounds, 1.0 / f, o.RulerType, w, o.PenColor, o.RulerUnit, y1, x2, y2);
        break;
    case kvkPOLYLINE:
        DrawPolylineObject(canvas, o, x1, y1, ScreenMode, s);
        Daduvudez::KVSetplim(bounds, x1, y1);
        Daduvudez::KVSetplim(bounds, x2, y2);
        break;
    case kvkANGLE:
        DrawAngle(canvas, o.AnglePoints, 1.0 / f, ScreenMode, &bounds, w, o.PenColor,
                  CountAnglePoints(o.AnglePoints));
        break;
    case kvkNONE:
    default:
        break;
    }
    if (bounds.Left > bounds.Right) {
        bounds = TRect{x1, y1, x1, y1};
    }
    o.DrawnBounds = bounds;
    o.DrawnPenWidth = w;
    ++FDrawnCount;
    return true;
}

void TKorvaneVect::DrawLineShape(TCanvas* Canvas, TKVShape Shape, int32_t ex, int32_t ey, int32_t ox,
                                 int32_t oy, int32_t h, int32_t wb, TRect* Bounds)
{
    if (Shape == kvsNONE) {
        return;
    }
    double angle;
    if (ex == ox) {
        angle = oy > ey ? M_PI / 2 : -M_PI / 2;
    } else {
        angle = std::atan2(double(oy) - ey, double(ox) - ex);
    }
    const double c = std::cos(angle), s = std::sin(angle);
    const double half = wb / 2.0;
    TPoint tip, base1, base2;
    if (Shape == kvsOUTARROW) {
        tip = TPoint{ex, ey};
        const double bx = ex + h * c, by = ey + h * s;
        base1 = TPoint{Trunc(bx - half * s), Trunc(by + half * c)};
        base2 = TPoint{Trunc(bx + half * s), Trunc(by - half * c)};
    } else {
        tip = TPoint{Trunc(ex + h * c), Trunc(ey + h * s)};
        base1 = TPoint{Trunc(ex - half * s), Trunc(ey + half * c)};
        base2 = TPoint{Trunc(ex + half * s), Trunc(ey - half * c)};
    }
    // The head is filled with the line's colour.
    const TColor brushColour = Canvas->Brush()->Color();
    const TBrushStyle brushStyle = Canvas->Brush()->Style();
    const TPenStyle penStyle = Canvas->Pen()->Style();
    Canvas->Brush()->SetColor(Canvas->Pen()->Color());
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Pen()->SetStyle(psSolid);
    const TPoint head[] = {tip, base1, base2};
    Canvas->Polygon(head, 3);
    Canvas->Brush()->SetColor(brushColour);
    Canvas->Brush()->SetStyle(brushStyle);
    Canvas->Pen()->SetStyle(penStyle);
    for (const TPoint& p : head) {
        Daduvudez::KVSetplim(Bounds, p.X, p.Y);
    }
}

void TKorvaneVect::DrawBitmapObject(TBitmap* Target, TKVVObject& o, int32_t x1, int32_t y1, int32_t x2,
                                    int32_t y2, bool Offscreen)
{
    const int32_t left = std::min(x1, x2), right = std::max(x1, x2);
    const int32_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    TKVBitmap* picture = GetBitmap(o.BitmapIndex);
    TCanvas* canvas = Target->Canvas();
    if (!picture) {
        canvas->MoveTo(left, top);
        canvas->LineTo(right, bottom);
        canvas->MoveTo(right, top);
        canvas->LineTo(left, bottom);
        canvas->Brush()->SetStyle(bsClear);
        canvas->Rectangle(left, top, right + 1, bottom + 1);
        if (Offscreen && FOffscreen && !FMaskPass) {
            // The placeholder's lines are ink on the alpha channel as well.
            TBitmap* alpha = FOffscreen->GetAlphaChannel()->GetVclBitmap();
            TCanvas* ac = alpha->Canvas();
            ac->Pen()->SetColor(TColor(PALETTEINDEX(uint8_t(std::clamp(o.Transparency, 0, 255)))));
            ac->Pen()->SetWidth(canvas->Pen()->Width());
            ac->Brush()->SetStyle(bsClear);
            ac->MoveTo(left, top);
            ac->LineTo(right, bottom);
            ac->MoveTo(right, top);
            ac->LineTo(left, bottom);
            ac->Rectangle(left, top, right + 1, bottom + 1);
        }
        return;
    }
    const TResampleFilter filter = FDragging ? rfNone : BitmapResampleFilter;
    const int64_t w = int64_t(right) - left + 1, h = int64_t(bottom) - top + 1;
    if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) {
        return;
    }
    if (Offscreen && FOffscreen) {
        picture->StretchRectTo(FOffscreen.get(), left, top, int32_t(w), int32_t(h), 0, 0, picture->GetWidth(),
                               picture->GetHeight(), filter, std::clamp(o.Transparency, 0, 255));
        return;
    }
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xs, ys;
    picture->RenderToTBitmap(Target, rows, xs, ys, nullptr, left, top, int32_t(w), int32_t(h), 0, 0,
                             picture->GetWidth(), picture->GetHeight(), picture->GetHasAlphaChannel(), false,
                             std::clamp(o.Transparency, 0, 255), filter, true);
}

void TKorvaneVect::DrawPolylineObject(TCanvas* Canvas, TKVVObject& o, int32_t, int32_t, bool ScreenMode,
                                      double s)
{
    const TRect& b = o.PolyBounds;
    if (o.PolyPoints.empty() || b.Right == b.Left || b.Bottom == b.Top) {
        return;
    }
    double zx = 1, zy = 1;
    CalcZxZyPolyline(o, zx, zy);
    std::vector<TPoint> points;
    points.reserve(o.PolyPoints.size());
    for (const TPoint& p : o.PolyPoints) {
        const int32_t bx = Round((double(p.X) - b.Left) * zx) + o.x1;
        const int32_t by = Round((double(p.Y) - b.Top) * zy) + o.y1;
        points.push_back(TPoint{VXBmp2Scr(bx, ScreenMode, s), VYBmp2Scr(by, ScreenMode, s)});
    }
    if (o.PolylineClosed) {
        Canvas->Polygon(points);
    } else if (points.size() == 1) {
        Canvas->MoveTo(points[0].X, points[0].Y);
        Canvas->LineTo(points[0].X + 1, points[0].Y);
    } else {
        Canvas->Polyline(points);
    }
}

// ---- the off-screen path ----

void TKorvaneVect::DrawOffscreen(TBitmap* Target, double s, bool ScreenMode)
{
    const int32_t width = Target->Width(), height = Target->Height();
    if (!FOffscreen || FOffscreen->GetWidth() != width || FOffscreen->GetHeight() != height) {
        FOffscreen = std::make_unique<TKVBitmap>();
        FOffscreen->SetLocation(kvTBitmap);
        FOffscreen->Allocate(width, height, kv24RGB);
        TKVBitmap* alpha = FOffscreen->GetAlphaChannel();
        alpha->SetLocation(kvTBitmap);
        alpha->Fill(0);
        alpha->Full = false;
        FOffscreenUsed = TRect{0, 0, width, height};
        FRenderRows.reset();
        FRenderX.reset();
        FRenderY.reset();
    }
    TBitmap* colour = FOffscreen->GetVclBitmap();
    TKVBitmap* alphaChannel = FOffscreen->GetAlphaChannel();
    TBitmap* alpha = alphaChannel->GetVclBitmap();
    const TRect whole{0, 0, width, height};
    const std::vector<int32_t> order = FZOrder;
    for (int32_t h : order) {
        TKVVObject& o = FObjects[size_t(h)];
        // Only the area the previous object touched holds anything.
        TRect used;
        if (IntersectRect(used, FOffscreenUsed, whole)) {
            alpha->Canvas()->Brush()->SetColor(TColor(PALETTEINDEX(0)));
            alpha->Canvas()->FillRect(used);
        }
        FOffscreenUsed = TRect{};
        alphaChannel->Full = false;

        bool drawn;
        if (o.Kind == kvkBITMAP) {
            drawn = DrawObject(o, colour, s, true, ScreenMode, ScreenMode);
        } else {
            // The ink of the object on the alpha channel: its transparency wherever it paints.
            const TColor pen = o.PenColor, brush = o.BrushColor, label = o.LabelBrushColor;
            const TColor ink = TColor(PALETTEINDEX(uint8_t(std::clamp(o.Transparency, 0, 255))));
            o.PenColor = o.BrushColor = o.LabelBrushColor = ink;
            FMaskPass = true;
            drawn = DrawObject(o, alpha, s, true, ScreenMode, ScreenMode);
            FMaskPass = false;
            o.PenColor = pen;
            o.BrushColor = brush;
            o.LabelBrushColor = label;
            if (drawn) {
                TRect area = o.DrawnBounds;
                InflateRect(area, o.DrawnPenWidth + 1, o.DrawnPenWidth + 1);
                TRect clipped;
                if (IntersectRect(clipped, area, whole)) {
                    colour->Canvas()->Brush()->SetColor(o.PenColor);
                    colour->Canvas()->Brush()->SetStyle(bsSolid);
                    colour->Canvas()->FillRect(clipped);
                }
                if (o.Kind == kvkBOX && o.BoxHighLight) {
                    // The highlighter colours the picture under it.
                    TKVBitmap* picture = GetKVBitmap();
                    const int32_t sx1 = std::min(o.x1, o.x2), sy1 = std::min(o.y1, o.y2);
                    const int32_t sx2 = std::max(o.x1, o.x2) + 1, sy2 = std::max(o.y1, o.y2) + 1;
                    const int32_t dx1 = VXBmp2Scr(sx1, ScreenMode, s), dy1 = VYBmp2Scr(sy1, ScreenMode, s);
                    const int32_t dx2 = VXBmp2Scr(sx2, ScreenMode, s), dy2 = VYBmp2Scr(sy2, ScreenMode, s);
                    if (picture && picture->GetWidth() > 0 && dx2 > dx1 && dy2 > dy1) {
                        std::unique_ptr<TKVRowTable> rows;
                        std::unique_ptr<TKVSampleTable> xs, ys;
                        const int32_t cx1 = std::clamp(sx1, 0, picture->GetWidth());
                        const int32_t cy1 = std::clamp(sy1, 0, picture->GetHeight());
                        const int32_t cx2 = std::clamp(sx2, 0, picture->GetWidth());
                        const int32_t cy2 = std::clamp(sy2, 0, picture->GetHeight());
                        if (cx2 > cx1 && cy2 > cy1) {
                            picture->RenderToTBitmap(
                                colour, rows, xs, ys, nullptr, VXBmp2Scr(cx1, ScreenMode, s),
                                VYBmp2Scr(cy1, ScreenMode, s),
                                VXBmp2Scr(cx2, ScreenMode, s) - VXBmp2Scr(cx1, ScreenMode, s),
                                VYBmp2Scr(cy2, ScreenMode, s) - VYBmp2Scr(cy1, ScreenMode, s), cx1, cy1,
                                cx2 - cx1, cy2 - cy1, false, true, 255, ScreenMode ? ZoomFilter() : rfNone,
                                true);
                        }
                    }
                }
                DrawObject(o, colour, s, true, ScreenMode, ScreenMode);
            }
        }
        if (!drawn) {
            continue;
        }
        TRect area = o.DrawnBounds;
        InflateRect(area, o.DrawnPenWidth, o.DrawnPenWidth);
        area = TRect{std::min(area.Left, area.Right), std::min(area.Top, area.Bottom),
                     std::max(area.Left, area.Right), std::max(area.Top, area.Bottom)};
        TRect clipped;
        if (!IntersectRect(clipped, TRect{area.Left, area.Top, area.Right + 1, area.Bottom + 1}, whole)) {
            continue;
        }
        if (o.SoftShadow.Enabled) {
            const double radius = o.SoftShadow.Radius * s;
            const int32_t ox = Trunc(o.SoftShadow.OffsetX * s), oy = Trunc(o.SoftShadow.OffsetY * s);
            const int32_t grow =
                Korvaneproc::_KVAddSoftShadowRect(FOffscreen.get(), radius, ox, oy, clipped.Left, clipped.Top,
                                                  clipped.Right - 1, clipped.Bottom - 1);
            InflateRect(clipped, grow, grow);
            TRect grown;
            IntersectRect(grown, clipped, whole);
            clipped = grown;
        }
        FOffscreenUsed = clipped;
        alphaChannel->Full = false;
        const TRect inclusive{clipped.Left, clipped.Top, clipped.Right - 1, clipped.Bottom - 1};
        FOffscreen->RenderToTBitmap(Target, FRenderRows, FRenderX, FRenderY, &inclusive, 0, 0, width, height,
                                    0, 0, width, height, true, false, 255, rfNone, false);
    }
}

void TKorvaneVect::DrawObjectsToBitmap(TKVBitmap* Bitmap, bool Antialias)
{
    if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        return;
    }
    Bitmap->SetLocation(kvTBitmap);
    if (!Antialias) {
        DrawObjectAll(true, Bitmap->GetVclBitmap(), 1.0);
    } else {
        const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
        TKVBitmap large;
        large.SetLocation(kvTBitmap);
        large.Allocate(int32_t(std::min<int64_t>(int64_t(w) * 2, INT32_MAX)),
                       int32_t(std::min<int64_t>(int64_t(h) * 2, INT32_MAX)), Bitmap->GetPixelFormat());
        Korvaneproc::_ResampleEx(Bitmap, &large, rfNone);
        large.SetLocation(kvTBitmap);
        DrawObjectAll(true, large.GetVclBitmap(), 2.0);
        Korvaneproc::_ResampleEx(&large, Bitmap, rfLanczos3);
        Bitmap->SetLocation(kvTBitmap);
    }
    Update();
}

void TKorvaneVect::CopyObjectsToBack(bool Antialias)
{
    DrawObjectsToBitmap(GetKVBitmap(), Antialias);
}

// ---- grips ----

void TKorvaneVect::DrawGrip(TCanvas* Canvas, int32_t x, int32_t kind, int32_t y)
{
    const int32_t g = FGripSize;
    Canvas->Pen()->SetMode(pmNot);
    Canvas->Brush()->SetStyle(bsClear);
    if (kind == 0) {
        Canvas->Pen()->SetWidth(FGripPenWidth);
        Canvas->Pen()->SetStyle(FGripPenStyle);
        Canvas->Rectangle(x - g, y - g, x + g, y + g);
    } else {
        Canvas->Pen()->SetWidth(1);
        Canvas->Pen()->SetStyle(psSolid);
        const TPoint diamond[] = {{x, y - g}, {x + g, y}, {x, y + g}, {x - g, y}};
        Canvas->Polygon(diamond, 4);
    }
    Canvas->Pen()->SetMode(pmCopy);
}

bool TKorvaneVect::InGrip(int32_t x, int32_t y, int32_t px, int32_t py) const
{
    return px >= x - FGripSize && px <= x + FGripSize && py >= y - FGripSize && py <= y + FGripSize;
}

void TKorvaneVect::DrawObjectGrips(TCanvas* Canvas, const TKVVObject& o)
{
    const double f = Zoom() / 100.0;
    int32_t x1 = XBmp2Scr(o.x1), y1 = YBmp2Scr(o.y1), x2 = XBmp2Scr(o.x2), y2 = YBmp2Scr(o.y2);
    if (ZoomObjectsWidth && MovesWithPen(o.Kind)) {
        const int32_t half = Korvaneproc::KVCeil(std::max(o.PenWidth * f, 1.0)) / 2;
        x1 += half;
        y1 += half;
        x2 += half;
        y2 += half;
    }
    if (!Daduvudez::_RectXRect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), 0, 0,
                               GetClientWidth(), GetClientHeight())) {
        return;
    }
    if (o.Kind != kvkANGLE) {
        DrawGrip(Canvas, x1, 0, y1);
        DrawGrip(Canvas, x2, 0, y2);
        if (o.Kind != kvkLINE && o.Kind != kvkRULER && o.Kind != kvkLINELABEL) {
            DrawGrip(Canvas, x2, 0, y1);
            DrawGrip(Canvas, x1, 0, y2);
        }
    }
    if (CenterGrip) {
        const int32_t l = std::min(x1, x2), t = std::min(y1, y2), r = std::max(x1, x2), b = std::max(y1, y2);
        DrawGrip(Canvas, l + (r - l + 1) / 2, 1, t + (b - t + 1) / 2);
    }
}

void TKorvaneVect::DrawSelGrips(TCanvas* Canvas)
{
    for (int32_t h : FSelected) {
        if (IsLiveObject(h)) {
            DrawObjectGrips(Canvas, FObjects[size_t(h)]);
        }
    }
}

// ---- insertion previews ----

void TKorvaneVect::DrawInsertPreview(int32_t x, int32_t y)
{
    TCanvas* c = Canvas();
    const TPoint d = FDownPoint;
    c->Pen()->SetMode(pmNot);
    c->Pen()->SetWidth(1);
    c->Pen()->SetStyle(psSolid);
    c->Brush()->SetStyle(bsClear);
    switch (FInserting) {
    case kvkLINE:
    case kvkLINELABEL:
        c->MoveTo(d.X, d.Y);
        c->LineTo(x, y);
        break;
    case kvkBOX:
    case kvkBITMAP:
    case kvkTEXT:
    case kvkMEMO: {
        const TPoint box[] = {{d.X, d.Y}, {x, d.Y}, {x, y}, {d.X, y}};
        c->Polygon(box, 4);
        break;
    }
    case kvkELLIPSE:
        c->Ellipse(std::min(d.X, x), std::min(d.Y, y), std::max(d.X, x) + 1, std::max(d.Y, y) + 1);
        break;
    case kvkRULER:
        DrawRuler(c, d.X, nullptr, 100.0 / Zoom(), FTemplate.RulerType, 1, FTemplate.PenColor,
                  FTemplate.RulerUnit, d.Y, x, y);
        break;
    case kvkANGLE:
        if (IsLiveObject(FInsertedAngle)) {
            TPoint points[3];
            std::copy(std::begin(FObjects[size_t(FInsertedAngle)].AnglePoints),
                      std::end(FObjects[size_t(FInsertedAngle)].AnglePoints), points);
            const TPoint mouse{XScr2Bmp(x), YScr2Bmp(y)};
            for (TPoint& p : points) {
                if (p.X == KVAngleUnset) {
                    p = mouse;
                    break;
                }
            }
            DrawAngle(c, points, 100.0 / Zoom(), true, nullptr, 1, FTemplate.PenColor,
                      CountAnglePoints(points));
        }
        break;
    default:
        break;
    }
    c->Pen()->SetMode(pmCopy);
}
