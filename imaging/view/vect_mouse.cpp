// Mouse and keyboard over the vector layer: inserting objects of every kind, selecting, moving
// and resizing them by their grips, and the live measure hint (area, length, dragged distance).
#include "imaging/core/daduvudez.h"
#include "imaging/core/geometry_helpers.h"
#include "imaging/core/hint_window.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/view/kvvect.h"
#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Kvvect {

std::string FormatMeasure(double value, int32_t precision, int32_t digits)
{
    if (!std::isfinite(value)) {
        return value != value ? "NAN" : (value > 0 ? "INF" : "-INF");
    }
    precision = std::clamp(precision, 1, 18);
    digits = std::clamp(digits, 0, 18);
    char buffer[64];
    // The value to `precision` significant digits first, then shown with `digits` decimals; a
    // value with more integer digits than that is shown in scientific form.
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, value);
    const double rounded = std::strtod(buffer, nullptr);
    if (std::fabs(rounded) >= std::pow(10.0, precision)) {
        std::snprintf(buffer, sizeof buffer, "%.*E", precision - 1, rounded);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, rounded);
    return buffer;
}

} // namespace Kvvect

namespace {

bool IsLineKind(TKVVObjectKind k)
{
    return k == kvkLINE || k == kvkRULER || k == kvkPOLYLINE || k == kvkLINELABEL;
}

// The first item of the order that the new set holds and the old one did not.
TKVMouseInteractVt NewlyAdded(TKVMouseInteractVt before, TKVMouseInteractVt after)
{
    static const TKVMouseInteractVt order[] = {
        miArea,    miLineLen, miPutLine,      miPutLineLabel, miPutBox,   miPutEllipse,  miPutBitmap,
        miPutText, miPutMemo, miObjectSelect, miDragLen,      miPutRuler, miPutPolyLine, miPutAngle};
    for (TKVMouseInteractVt item : order) {
        if ((after & item) && !(before & item)) {
            return item;
        }
    }
    return 0;
}

} // namespace

void TKorvaneVect::SetMouseInteractVt(TKVMouseInteractVt Value)
{
    CancelInteracts();
    if (Value != FMouseInteractVt) {
        const TKVMouseInteractVt added = NewlyAdded(FMouseInteractVt, Value);
        if (added != 0) {
            Value = added;
            if (added != miArea && added != miLineLen) {
                TKorvaneView::SetMouseInteract(0);
            }
        }
    }
    FMouseInteractVt = Value;
    HintRestore();
    FHintLastValue = 0;
    if (FMouseInteractVt & (miArea | miLineLen)) {
        FHintOn = true;
        HintShow(GetClientWidth() / 2, GetClientHeight() / 2);
    } else {
        FHintOn = false;
    }
}

void TKorvaneVect::SetMouseInteract(TKVMouseInteract Value)
{
    TKorvaneView::SetMouseInteract(Value);
    if (Value != 0) {
        FMouseInteractVt &= TKVMouseInteractVt(miArea | miLineLen);
    }
    FDrawingSelPolygon = false;
    CancelInteracts();
}

void TKorvaneVect::ClampToPicture(int32_t& x, int32_t& y) const
{
    const TKVViewGeometry& g = Geometry();
    x = std::clamp(x, g.OffsetX, g.OffsetX + std::max(g.VisibleWidth, 0));
    y = std::clamp(y, g.OffsetY, g.OffsetY + std::max(g.VisibleHeight, 0));
}

// ---- grips ----

namespace {

// The grips of an object in client pixels: 1 (x1, y1), 2 (x2, y2), 4 (x2, y1), 5 (x1, y2), 3 the
// centre; count how many of them it has.
struct TGripSet
{
    TPoint Points[5];
    int32_t Ids[5] = {};
    int32_t Count = 0;
    void Add(int32_t id, TPoint p)
    {
        Ids[Count] = id;
        Points[Count++] = p;
    }
};

} // namespace

int32_t TKorvaneVect::FindSelGrip(int32_t x, int32_t y, int32_t& grip)
{
    grip = 0;
    const double f = Zoom() / 100.0;
    for (int32_t i = 0; i < SelObjectsCount(); ++i) {
        const int32_t h = FSelected[size_t(i)];
        if (!IsLiveObject(h)) {
            continue;
        }
        const TKVVObject& o = FObjects[size_t(h)];
        int32_t x1 = XBmp2Scr(o.x1), y1 = YBmp2Scr(o.y1), x2 = XBmp2Scr(o.x2), y2 = YBmp2Scr(o.y2);
        if (ZoomObjectsWidth && (o.Kind == kvkLINE || o.Kind == kvkBOX || o.Kind == kvkELLIPSE ||
                                 o.Kind == kvkARC || o.Kind == kvkLINELABEL)) {
            const int32_t half = Korvaneproc::KVCeil(std::max(o.PenWidth * f, 1.0)) / 2;
            x1 += half;
            y1 += half;
            x2 += half;
            y2 += half;
        }
        TGripSet grips;
        if (o.Kind != kvkANGLE) {
            grips.Add(1, TPoint{x1, y1});
            grips.Add(2, TPoint{x2, y2});
            if (!IsLineKind(o.Kind) || o.Kind == kvkPOLYLINE) {
                grips.Add(4, TPoint{x2, y1});
                grips.Add(5, TPoint{x1, y2});
            }
        }
        if (CenterGrip) {
            const int32_t l = std::min(x1, x2), t = std::min(y1, y2), r = std::max(x1, x2),
                          b = std::max(y1, y2);
            grips.Add(3, TPoint{l + (r - l + 1) / 2, t + (b - t + 1) / 2});
        }
        for (int32_t k = 0; k < grips.Count; ++k) {
            if (InGrip(grips.Points[k].X, grips.Points[k].Y, x, y)) {
                grip = grips.Ids[k];
                return i;
            }
        }
    }
    return kvhNothing;
}

void TKorvaneVect::TraslateObject(int32_t hobj, int32_t dx, int32_t dy)
{
    TKVVObject& o = Obj(hobj);
    o.x1 += dx;
    o.y1 += dy;
    o.x2 += dx;
    o.y2 += dy;
    if (o.Kind == kvkANGLE) {
        for (TPoint& p : o.AnglePoints) {
            if (p.X != KVAngleUnset) {
                p.X += dx;
                p.Y += dy;
            }
        }
    }
}

void TKorvaneVect::ChangeObjectCoor(int32_t hobj, int32_t dx1, int32_t grip, bool keepAspect, int32_t dy2,
                                    int32_t dx2, int32_t dy1)
{
    TKVVObject& o = Obj(hobj);
    o.x1 += dx1;
    o.y1 += dy1;
    o.x2 += dx2;
    o.y2 += dy2;
    const TRect& s = o.DragStart;
    if (keepAspect && s.Right != s.Left && s.Bottom != s.Top) {
        const double h = (double(o.x2) - o.x1) * (double(s.Bottom) - s.Top) / (double(s.Right) - s.Left);
        if (grip == 1 || grip == 4) {
            o.y1 = Round(o.y2 - h);
        } else if (grip == 2 || grip == 5) {
            o.y2 = Round(o.y1 + h);
        }
    }
}

// ---- mouse ----

void TKorvaneVect::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TKorvaneView::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft) {
        return;
    }
    if (MouseInteract() & miSelectPolygon) {
        FDrawingSelPolygon = !(Shift & ssDouble);
    }
    if (IsEditMode()) {
        RemoveTextEdit();
        FEditedObject = -1;
    }
    int32_t x = X, y = Y;
    ClampToPicture(x, y);
    FDownPoint = TPoint{x, y};
    FMouseIsDown = true;
    FMoved = false;
    const bool doubleClick = (Shift & ssDouble) != 0;
    const TKVMouseInteractVt mode = FMouseInteractVt;
    const TPoint bmp{XScr2Bmp(x), YScr2Bmp(y)};
    if (mode & (miPutLine | miDragLen)) {
        FInserting = kvkLINE;
    } else if (mode & miPutLineLabel) {
        FInserting = kvkLINELABEL;
    } else if (mode & miPutRuler) {
        FInserting = kvkRULER;
    } else if (mode & miPutBox) {
        FInserting = kvkBOX;
    } else if (mode & miPutEllipse) {
        FInserting = kvkELLIPSE;
    } else if (mode & miPutBitmap) {
        FInserting = kvkBITMAP;
    } else if (mode & miPutText) {
        FInserting = kvkTEXT;
    } else if (mode & miPutMemo) {
        FInserting = kvkMEMO;
    } else if (mode & miPutAngle) {
        if (FInserting != kvkANGLE || !IsLiveObject(FInsertedAngle)) {
            FInserting = kvkANGLE;
            FTemplate.Kind = kvkANGLE;
            FTemplate.AnglePoints[0] = bmp;
            FTemplate.AnglePoints[1] = FTemplate.AnglePoints[2] = TPoint{KVAngleUnset, KVAngleUnset};
            FTemplate.x1 = FTemplate.y1 = 1000000;
            FTemplate.x2 = FTemplate.y2 = -1000000;
            DoBeforeVectorialChange();
            FInsertedAngle = AddVObject(FTemplate);
            UnSelAllObjects();
        } else {
            TKVVObject& gauge = FObjects[size_t(FInsertedAngle)];
            if (gauge.AnglePoints[1].X == KVAngleUnset) {
                gauge.AnglePoints[1] = bmp;
            } else {
                gauge.AnglePoints[2] = bmp;
                const TPoint& a = gauge.AnglePoints[0];
                const TPoint& v = gauge.AnglePoints[1];
                const TPoint& b = gauge.AnglePoints[2];
                const int32_t hw = std::abs(v.X - std::max(a.X, b.X));
                const int32_t hh = std::abs(v.Y - std::max(a.Y, b.Y));
                gauge.x1 = v.X - hw;
                gauge.y1 = v.Y - hh;
                gauge.x2 = v.X + hw;
                gauge.y2 = v.Y + hh;
                const int32_t handle = FInsertedAngle;
                AddSelObject(handle);
                FInserting = 0;
                FInsertedAngle = -1;
                DoVectorialChanged();
                if (OnNewObject) {
                    OnNewObject(this, handle);
                }
            }
        }
        Update();
    } else if (mode & miPutPolyLine) {
        if (FInserting != kvkPOLYLINE || !IsLiveObject(FInsertedPolyline)) {
            FInserting = kvkPOLYLINE;
            FTemplate.Kind = kvkPOLYLINE;
            FTemplate.PolyPoints.clear();
            FTemplate.x1 = FTemplate.y1 = 1000000;
            FTemplate.x2 = FTemplate.y2 = -1000000;
            DoBeforeVectorialChange();
            FInsertedPolyline = AddVObject(FTemplate);
            AddPolyLinePoint(FInsertedPolyline, bmp.X, bmp.Y);
            UnSelAllObjects();
        } else {
            AddPolyLinePoint(FInsertedPolyline, bmp.X, bmp.Y);
            if (doubleClick) {
                const int32_t handle = FInsertedPolyline;
                const TKVVObject& poly = FObjects[size_t(handle)];
                FTemplate.x1 = poly.x1;
                FTemplate.y1 = poly.y1;
                FTemplate.x2 = poly.x2;
                FTemplate.y2 = poly.y2;
                AddSelObject(handle);
                FInserting = 0;
                FInsertedPolyline = -1;
                DoVectorialChanged();
                if (OnNewObject) {
                    OnNewObject(this, handle);
                }
            }
        }
        Update();
    } else if (mode & miObjectSelect) {
        if (doubleClick) {
            double dist = 0;
            const int32_t h = FindNearObj(bmp.X, bmp.Y, dist, true);
            if (h >= 0) {
                if (OnObjectDblClick) {
                    OnObjectDblClick(this, h);
                }
                const TKVVObjectKind k = FObjects[size_t(h)].Kind;
                if ((k == kvkTEXT || k == kvkMEMO) && dist == 0.0) {
                    FSelected.clear();
                    AddSelObject(h);
                    EditObject(h);
                }
            }
        } else {
            int32_t grip = 0;
            if (FindSelGrip(X, Y, grip) != kvhNothing) {
                FGrip = grip;
                for (int32_t h : FSelected) {
                    if (IsLiveObject(h)) {
                        TKVVObject& o = FObjects[size_t(h)];
                        o.DragStart = TRect{o.x1, o.y1, o.x2, o.y2};
                    }
                }
            }
        }
    }
    FCurrent = TPoint{x, y};
    FDragTotal = TPoint{};
}

void TKorvaneVect::DblClick()
{
    TKorvaneView::DblClick();
    FDrawingSelPolygon = false;
}

void TKorvaneVect::RubberBandSelect(TShiftState Shift, int32_t x, int32_t y)
{
    TCanvas* c = Canvas();
    auto band = [&](TPoint to) {
        c->Pen()->SetMode(pmNot);
        c->Pen()->SetWidth(1);
        c->Pen()->SetStyle(psSolid);
        c->Brush()->SetStyle(bsClear);
        const TPoint box[] = {FDownPoint, {to.X, FDownPoint.Y}, to, {FDownPoint.X, to.Y}};
        c->Polygon(box, 4);
        c->Pen()->SetMode(pmCopy);
    };
    if (FPreviewShown) {
        band(FPreviewEnd);
    }
    MouseMoveScroll();
    FCurrent = TPoint{x, y};
    DrawSelGrips(c);
    if (!(Shift & ssShift)) {
        FSelected.clear();
    }
    const int32_t bx1 = XScr2Bmp(FDownPoint.X), by1 = YScr2Bmp(FDownPoint.Y);
    const int32_t bx2 = XScr2Bmp(x), by2 = YScr2Bmp(y);
    SelInRect(kvhAll, std::min(bx1, bx2), std::min(by1, by2), std::max(bx1, bx2), std::max(by1, by2));
    if (OnSelectObject) {
        OnSelectObject(this);
    }
    DrawSelGrips(c);
    band(FCurrent);
    FPreviewShown = true;
    FPreviewEnd = FCurrent;
}

void TKorvaneVect::DragGrip(TShiftState Shift, int32_t x, int32_t y)
{
    DoBeforeVectorialChange();
    FDragging = true;
    MouseMoveScroll();
    const double d100 = 100.0 / Zoom();
    const TPoint total{Trunc((x - FDownPoint.X) * d100), Trunc((y - FDownPoint.Y) * d100)};
    const int32_t stepX = total.X - FDragTotal.X, stepY = total.Y - FDragTotal.Y;
    FDragTotal = total;
    const bool keepAspect = (Shift & ssAlt) || Constrain;
    const std::vector<int32_t> selected = FSelected;
    for (int32_t h : selected) {
        if (!IsLiveObject(h)) {
            continue;
        }
        int32_t dx = stepX, dy = stepY;
        if (OnObjectMoveResize) {
            OnObjectMoveResize(this, h, FGrip, dx, dy);
        }
        const TKVVObject& o = FObjects[size_t(h)];
        if ((o.Style & kvvsSizeable) && o.Kind != kvkANGLE) {
            switch (FGrip) {
            case 1:
                ChangeObjectCoor(h, dx, FGrip, keepAspect, 0, 0, dy);
                break;
            case 2:
                ChangeObjectCoor(h, 0, FGrip, keepAspect, dy, dx, 0);
                break;
            case 4:
                ChangeObjectCoor(h, 0, FGrip, keepAspect, 0, dx, dy);
                break;
            case 5:
                ChangeObjectCoor(h, dx, FGrip, keepAspect, dy, 0, 0);
                break;
            default:
                break;
            }
        }
        if (FGrip == 3 && (FObjects[size_t(h)].Style & kvvsMoveable)) {
            TraslateObject(h, dx, dy);
        }
    }
    Update();
}

void TKorvaneVect::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    HintRestore();
    TKorvaneView::MouseMove(Shift, X, Y);
    FHintPos = TPoint{X, Y};
    FLastMouse = TPoint{X, Y};
    int32_t x = X, y = Y;
    ClampToPicture(x, y);
    const bool ctrl = (Shift & ssCtrl) != 0;
    if ((Shift & ssLeft) && FMouseIsDown) {
        if (x != FDownPoint.X || y != FDownPoint.Y) {
            FMoved = true;
        }
        if (FInserting == 0 && FGrip == 0 && (FMouseInteractVt & miObjectSelect)) {
            RubberBandSelect(Shift, x, y);
        } else if (FInserting == 0 && FGrip != 0) {
            DragGrip(Shift, x, y);
        } else if (FInserting != 0) {
            FDragging = true;
            TPoint to{x, y};
            switch (FInserting) {
            case kvkLINE:
            case kvkLINELABEL:
                if (FMouseInteractVt & miDragLen) {
                    to = TPoint{X, Y};
                    FHintOn = true;
                }
                if (ctrl) {
                    Daduvudez::_CastPolySelCC(FDownPoint.X, FDownPoint.Y, to.X, to.Y);
                }
                if (FPreviewShown) {
                    DrawInsertPreview(FPreviewEnd.X, FPreviewEnd.Y);
                }
                DrawInsertPreview(to.X, to.Y);
                break;
            case kvkBOX:
            case kvkBITMAP:
            case kvkTEXT:
            case kvkMEMO:
                if (FPreviewShown) {
                    DrawInsertPreview(FPreviewEnd.X, FPreviewEnd.Y);
                }
                DrawInsertPreview(to.X, to.Y);
                break;
            case kvkELLIPSE:
                if (ctrl) {
                    const int32_t dx = to.X - FDownPoint.X, dy = to.Y - FDownPoint.Y;
                    const int32_t side = std::abs(dx) >= std::abs(dy) ? dx : dy;
                    to = TPoint{FDownPoint.X + side, FDownPoint.Y + side};
                }
                if (FPreviewShown) {
                    DrawInsertPreview(FPreviewEnd.X, FPreviewEnd.Y);
                }
                DrawInsertPreview(to.X, to.Y);
                break;
            case kvkRULER:
                MouseMoveScroll();
                if (ctrl) {
                    Daduvudez::_CastPolySelCC(FDownPoint.X, FDownPoint.Y, to.X, to.Y);
                }
                Repaint();
                DrawInsertPreview(to.X, to.Y);
                break;
            case kvkPOLYLINE:
                if (IsLiveObject(FInsertedPolyline)) {
                    AddPolyLinePoint(FInsertedPolyline, XScr2Bmp(x), YScr2Bmp(y));
                    Update();
                }
                break;
            case kvkANGLE:
                MouseMoveScroll();
                Repaint();
                DrawInsertPreview(x, y);
                break;
            default:
                break;
            }
            FPreviewShown = FInserting != kvkRULER && FInserting != kvkANGLE && FInserting != kvkPOLYLINE;
            FPreviewEnd = to;
            FCurrent = to;
        }
    } else if (FInserting == kvkPOLYLINE && IsLiveObject(FInsertedPolyline)) {
        // The rubber line from the last vertex to the pointer.
        TPoint to{x, y};
        if (ctrl) {
            Daduvudez::_CastPolySelCC(FDownPoint.X, FDownPoint.Y, to.X, to.Y);
        }
        if (FMouseInteractVt & miDragLen) {
            FHintOn = true;
        }
        TCanvas* c = Canvas();
        c->Pen()->SetMode(pmNot);
        c->Pen()->SetWidth(1);
        c->Pen()->SetStyle(psSolid);
        if (FPreviewShown) {
            c->MoveTo(FDownPoint.X, FDownPoint.Y);
            c->LineTo(FPreviewEnd.X, FPreviewEnd.Y);
        }
        c->MoveTo(FDownPoint.X, FDownPoint.Y);
        c->LineTo(to.X, to.Y);
        c->Pen()->SetMode(pmCopy);
        FPreviewShown = true;
        FPreviewEnd = to;
    } else if (FInserting == kvkANGLE && IsLiveObject(FInsertedAngle)) {
        Repaint();
        DrawInsertPreview(x, y);
    } else {
        double dist = 0;
        const int32_t h = FindNearObj(XScr2Bmp(x), YScr2Bmp(y), dist, false);
        if (h >= 0 && OnObjectOver) {
            OnObjectOver(this, h);
        }
    }
    HintRestore();
    HintShow(X, Y);
}

void TKorvaneVect::FinishInsertion(int32_t, int32_t, TShiftState)
{
    const TPoint a{XScr2Bmp(FDownPoint.X), YScr2Bmp(FDownPoint.Y)};
    if (FMoved) {
        const TPoint b{XScr2Bmp(FCurrent.X), YScr2Bmp(FCurrent.Y)};
        FTemplate.x1 = a.X;
        FTemplate.y1 = a.Y;
        FTemplate.x2 = b.X;
        FTemplate.y2 = b.Y;
    } else {
        // A click keeps the previous size, placed at the click.
        const int32_t w = FTemplate.x2 - FTemplate.x1, h = FTemplate.y2 - FTemplate.y1;
        FTemplate.x1 = a.X;
        FTemplate.y1 = a.Y;
        FTemplate.x2 = a.X + w;
        FTemplate.y2 = a.Y + h;
    }
    FTemplate.Kind = TKVVObjectKind(FInserting);
    if (FMouseInteractVt & miDragLen) {
        HintRestore();
        FHintOn = false;
        if (OnDragLenEnd) {
            OnDragLenEnd(this, FHintLastValue);
        }
        return;
    }
    DoBeforeVectorialChange();
    if ((FTemplate.Kind == kvkTEXT || FTemplate.Kind == kvkLINELABEL || FTemplate.Kind == kvkMEMO) &&
        !FTemplate.Font) {
        SetObjKind(kvhTemplate, FTemplate.Kind);
    }
    const int32_t h = AddVObject(FTemplate);
    FSelected.clear();
    AddSelObject(h);
    if (FTemplate.Kind == kvkTEXT || FTemplate.Kind == kvkMEMO) {
        EditObject(h);
    } else {
        DoVectorialChanged();
    }
    if (OnNewObject) {
        OnNewObject(this, h);
    }
}

void TKorvaneVect::ClickSelect(TShiftState Shift)
{
    double dist = 0;
    const int32_t h = FindNearObj(XScr2Bmp(FDownPoint.X), YScr2Bmp(FDownPoint.Y), dist, true);
    if (OnObjectClick) {
        OnObjectClick(this, h);
    }
    const bool shift = (Shift & ssShift) != 0;
    if (h >= 0) {
        if (!IsSelObject(h)) {
            if (!shift) {
                FSelected.clear();
            }
            AddSelObject(h);
        } else if (!shift) {
            FSelected.clear();
            AddSelObject(h);
        } else {
            UnSelObject(h);
        }
    } else if (!shift) {
        UnSelAllObjects();
    }
}

void TKorvaneVect::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TKorvaneView::MouseUp(Button, Shift, X, Y);
    if (Button != mbLeft) {
        return;
    }
    FMouseIsDown = false;
    if (FInserting == kvkPOLYLINE) {
        FDownPoint = TPoint{X, Y};
        ClampToPicture(FDownPoint.X, FDownPoint.Y);
        FPreviewShown = false;
    } else if (FInserting != kvkANGLE && !IsEditMode()) {
        if (FInserting != 0) {
            FinishInsertion(X, Y, Shift);
        } else if (FGrip == 0 && (FMouseInteractVt & miObjectSelect) && !FMoved) {
            ClickSelect(Shift);
        } else if (FGrip != 0) {
            for (int32_t h : FSelected) {
                if (IsLiveObject(h)) {
                    TKVVObject& o = FObjects[size_t(h)];
                    if (!IsLineKind(o.Kind) && o.Kind != kvkANGLE) {
                        if (o.x1 > o.x2) {
                            std::swap(o.x1, o.x2);
                        }
                        if (o.y1 > o.y2) {
                            std::swap(o.y1, o.y2);
                        }
                    }
                }
            }
            DoVectorialChanged();
        }
        FInserting = 0;
        FGrip = 0;
        FDragging = false;
        FPreviewShown = false;
        Update();
        Repaint();
    }
    HintShow(X, Y);
}

void TKorvaneVect::KeyDown(uint16_t& Key, TShiftState Shift)
{
    if (Key == VK_ESCAPE && IsEditMode()) {
        RemoveTextEdit();
        FEditedObject = -1;
    } else if (Key == VK_F2 && SelObjectsCount() > 0 && IsLiveObject(FSelected[0])) {
        const TKVVObjectKind k = FObjects[size_t(FSelected[0])].Kind;
        if (k == kvkTEXT || k == kvkMEMO) {
            EditObject(FSelected[0]);
        }
    }
    TKorvaneView::KeyDown(Key, Shift);
}

// ---- the measure hint ----

double TKorvaneVect::MeasureValue(int32_t x, int32_t y)
{
    if (FMouseInteractVt & miArea) {
        return GetSelectionArea();
    }
    if (FMouseInteractVt & miLineLen) {
        return GetSelectionLen();
    }
    if (FMouseInteractVt & miDragLen) {
        const double d100 = 100.0 / Zoom();
        const double dx = (double(x) - FDownPoint.X) * FCoefX * d100;
        const double dy = (double(y) - FDownPoint.Y) * FCoefY * d100;
        return std::sqrt(dx * dx + dy * dy);
    }
    return 0;
}

void TKorvaneVect::HintShow(int32_t x, int32_t y)
{
    if (!FHintOn) {
        return;
    }
    if (x == KVAngleUnset || y == KVAngleUnset) {
        x = FHintPos.X;
        y = FHintPos.Y;
    }
    x = std::max(x, 0);
    y = std::max(y, 0);
    FHintPos = TPoint{x, y};
    double value = MeasureValue(x, y);
    if (value == 0) {
        value = FHintLastValue;
    }
    FHintLastValue = value;
    std::string text =
        Kvvect::FormatMeasure(value, FloatPrecision, FloatDigits) + " " + Kvvect::UnitName(FMUnit);
    if (FMouseInteractVt & miArea) {
        text += "\xC2\xB2";
    }
    if (OnMeasureHint) {
        OnMeasureHint(this, text, value);
    }
    FHintText = text;
    int32_t hx = x, hy = y;
    Daduvudez::KVDrawHint(Canvas(), hx, hy, text, FHintFont.get(), FHintBrush.get(), FHintSaved.get(),
                          GetClientWidth(), GetClientHeight(), HintColor1, HintColor2);
    FHintSavedAt = TPoint{hx, hy};
}

void TKorvaneVect::HintRestore()
{
    if (FHintSaved->Width() >= 2) {
        BitBlt(Canvas(), FHintSavedAt.X, FHintSavedAt.Y, FHintSaved->Width(), FHintSaved->Height(),
               FHintSaved->Canvas(), 0, 0, SRCCOPY);
    }
    FHintSaved->SetSize(1, 1);
}

void TKorvaneVect::UpdateHint(int32_t x, int32_t y)
{
    HintRestore();
    HintShow(x, y);
}

void TKorvaneVect::Paint()
{
    TKorvaneView::Paint();
    // What the hint covered has just been painted again.
    FHintSaved->SetSize(1, 1);
    FPreviewShown = false;
    HintShow(KVAngleUnset, KVAngleUnset);
}
