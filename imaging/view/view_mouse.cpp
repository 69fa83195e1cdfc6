// The image view's mouse work: click zoom, drag scrolling, rectangle, ellipse, polygon, lasso and
// magic-wand selections, moving and resizing a selection by its grips, and auto-scroll.
#include "imaging/view/korvaneview.h"

#include "imaging/core/geometry_helpers.h"
#include "imaging/core/kvbitmap.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

constexpr int32_t kPolyIndex = 0;
constexpr double kZoomSteps[] = {2, 5, 10, 25, 33, 50, 75, 100};

bool Constrained(TShiftState Shift, bool constrain)
{
    return (Shift & ssAlt) != 0 || constrain;
}

} // namespace

void TKorvaneView::SetMouseInteract(TKVMouseInteract Value)
{
    if (Value == FMouseInteract)
        return;
    if (FDrawingPolygon && (FMouseInteract & miSelectPolygon)) {
        AnimPolygonRemoveLastPoint(kPolyIndex);
        FMask.Empty();
        EndSelect();
        FDrawingPolygon = false;
        Invalidate();
    }
    const TKVMouseInteract added = Value & ~FMouseInteract;
    // The first newly added item decides what may stay beside it.
    if (added & miScroll)
        Value &= miZoom | miScroll;
    else if (added & miSelect)
        Value &= miZoom | miSelect;
    else if (added & miSelectPolygon)
        Value = miSelectPolygon;
    else if (added & miSelectCircle)
        Value &= miZoom | miSelectCircle;
    else if (added & miSelectLasso)
        Value &= miZoom | miSelectLasso;
    else if (added & miSelectZoom)
        Value &= miZoom | miSelectZoom;
    else if (added & miZoom)
        Value &= TKVMouseInteract(~(miSelectPolygon | miSelectMagicWand));
    else if (added & miSelectMagicWand)
        Value = miSelectMagicWand;
    FMouseInteract = Value;
}

void TKorvaneView::ClampToImage(int32_t& x, int32_t& y) const
{
    x = std::clamp(x, FGeo.OffsetX, FGeo.OffsetX + FGeo.VisibleWidth);
    y = std::clamp(y, FGeo.OffsetY, FGeo.OffsetY + FGeo.VisibleHeight);
}

void TKorvaneView::SnapToLastPoint(int32_t& x, int32_t& y)
{
    const TKVAnimPoly& poly = FPolys[kPolyIndex];
    if (poly.Points.empty() || TKVAnimPoly::IsBreak(poly.Points.back()))
        return;
    const TPoint ref = ToClient(poly.Points.back());
    Daduvudez::_CastPolySelCC(ref.X, ref.Y, x, y);
}

int32_t TKorvaneView::GetResizingGrip(int32_t x, int32_t y, TShiftState Shift)
{
    const TKVAnimPoly& poly = FPolys[kPolyIndex];
    if ((Shift & ssShift) || !poly.Shown || !(FSelectionOptions & kvsoSizeable) || !poly.IsRectangle() ||
        FRubberBand)
        return -1;
    const int32_t s = FGripHalfSize;
    for (int32_t i = 0; i < 4; ++i) {
        const TPoint c = ToClient(poly.Points[size_t(i)]);
        if (std::abs(x - c.X) <= s && std::abs(y - c.Y) <= s)
            return i;
    }
    const TPoint a = ToClient(poly.Points[0]), b = ToClient(poly.Points[2]);
    const int32_t l = std::min(a.X, b.X), r = std::max(a.X, b.X), t = std::min(a.Y, b.Y),
                  bt = std::max(a.Y, b.Y);
    if (Daduvudez::_DistPoint2Seg(x, y, l, t, l, bt) < 3.0)
        return 4;
    if (Daduvudez::_DistPoint2Seg(x, y, r, t, r, bt) < 3.0)
        return 5;
    if (Daduvudez::_DistPoint2Seg(x, y, l, t, r, t) < 3.0)
        return 6;
    if (Daduvudez::_DistPoint2Seg(x, y, l, bt, r, bt) < 3.0)
        return 7;
    return -1;
}

int32_t TKorvaneView::GetMovingGrip(int32_t x, int32_t y, TShiftState Shift)
{
    if ((Shift & ssShift) || FMask.IsEmpty() || FDrawingPolygon || FRubberBand || FDrawingCircle)
        return -1;
    return (FSelectionOptions & kvsoMoveable) && FMask.IsPointInside(XScr2Bmp(x), YScr2Bmp(y)) ? 0 : -1;
}

void TKorvaneView::UpdateGripCursor(int32_t x, int32_t y, TShiftState Shift)
{
    const int32_t grip = GetResizingGrip(x, y, Shift);
    if (OnMouseInResizingGrip)
        OnMouseInResizingGrip(this, grip);
    static constexpr TCursor byGrip[8] = {crKVMove2, crKVMove1, crKVMove2, crKVMove1,
                                          crKVMoveX, crKVMoveX, crKVMoveY, crKVMoveY};
    if (grip >= 0)
        SetTempCursor(byGrip[grip]);
    else if (GetMovingGrip(x, y, Shift) >= 0)
        SetTempCursor(crKVMove);
    else
        SetTempCursor(FViewCursor);
}

// ---------------------------------------------------------------------------------------------
// Mouse down

void TKorvaneView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TKVView::MouseDown(Button, Shift, X, Y);
    if (CanFocus())
        SetFocus();
    if (Button != mbLeft && !(FMouseInteract & miZoom))
        return;
    // The second press of a double click belongs to the double click.
    if ((Shift & ssDouble) && (FMouseInteract & (miSelectPolygon | miSelectLasso)))
        return;
    FFilterAtDown = FZoomFilter;
    if (!(FMouseInteract & miScroll) && DelayZoomFilter)
        FZoomFilter = rfNone;
    FBaseAtDown = SelectionBase;
    SelectionBase = kvsbClientArea;
    int32_t x = X, y = Y;
    ClampToImage(x, y);
    FDownPoint = FLastPoint = FPrevPoint = TPoint{x, y};
    FDownView = TPoint{ViewX(), ViewY()};
    FDownPolyCount = FPolys[kPolyIndex].Count();
    FMouseDown = true;
    FDownButton = Button;
    const bool add = (Shift & ssShift) && AddWithShift;
    if (Button == mbLeft) {
        if (FMouseInteract & (miSelectPolygon | miSelectLasso)) {
            if (OnBeforeSelectionChange)
                OnBeforeSelectionChange(this);
            FMovingGrip = GetMovingGrip(x, y, Shift);
            if (FMovingGrip < 0) {
                if (Constrained(Shift, Constrain))
                    SnapToLastPoint(x, y);
                if (!FDrawingPolygon) {
                    if (add)
                        AddSelBreak();
                    else
                        DeSelect();
                }
                AddSelPoint(x, y);
                FDrawingPolygon = true;
                FLassoMode = (FMouseInteract & miSelectLasso) != 0;
                if (OnSelectionChanging)
                    OnSelectionChanging(this);
            }
        } else if (FMouseInteract & miSelect) {
            if (OnBeforeSelectionChange)
                OnBeforeSelectionChange(this);
            FResizingGrip = GetResizingGrip(x, y, Shift);
            if (FResizingGrip < 0)
                FMovingGrip = GetMovingGrip(x, y, Shift);
            if (FResizingGrip < 0 && FMovingGrip < 0) {
                FRubberBand = true;
                if (OnSelectionChanging)
                    OnSelectionChanging(this);
            }
            if (FResizingGrip >= 0) {
                FSavedBox[0] = SelX1();
                FSavedBox[1] = SelY1();
                FSavedBox[2] = SelX2();
                FSavedBox[3] = SelY2();
            }
        } else if (FMouseInteract & miSelectZoom) {
            FRubberBand = true;
            if (OnSelectionChanging)
                OnSelectionChanging(this);
            SaveSelection();
        } else if (FMouseInteract & miSelectCircle) {
            if (OnBeforeSelectionChange)
                OnBeforeSelectionChange(this);
            FMovingGrip = GetMovingGrip(x, y, Shift);
            if (FMovingGrip < 0) {
                FDrawingCircle = true;
                ShowSelectionEx(false);
                if (OnSelectionChanging)
                    OnSelectionChanging(this);
            }
        } else if (FMouseInteract & miSelectMagicWand) {
            if (OnBeforeSelectionChange)
                OnBeforeSelectionChange(this);
            FMovingGrip = GetMovingGrip(x, y, Shift);
        }
        if ((FMouseInteract & miScroll) && RequiresScrollBars())
            SaveCursor(crKVHand);
    }
}

// ---------------------------------------------------------------------------------------------
// Mouse move

void TKorvaneView::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    TKVView::MouseMove(Shift, X, Y);
    int32_t x = X, y = Y;
    ClampToImage(x, y);
    const bool add = (Shift & ssShift) && AddWithShift;
    const bool constrained = Constrained(Shift, Constrain);
    if (!FMouseDown) {
        if (FDrawingPolygon && !FLassoMode) {
            DrawRubberBand();
            if (constrained)
                SnapToLastPoint(x, y);
            FLastPoint = TPoint{x, y};
            DrawRubberBand();
            if (OnSelectionChanging)
                OnSelectionChanging(this);
        } else if (FMouseInteract &
                   (miSelect | miSelectPolygon | miSelectCircle | miSelectMagicWand | miSelectLasso)) {
            UpdateGripCursor(x, y, Shift);
        }
    } else if (FDownButton == mbLeft && (FMouseInteract & miScroll)) {
        SetViewXY(FDownView.X - (X - FDownPoint.X), FDownView.Y - (Y - FDownPoint.Y));
    } else if (FDownButton == mbLeft && FResizingGrip >= 0) {
        MouseMoveScroll();
        FResizingGrip = SelectResizeEx(FResizingGrip, x, y, constrained);
        if (OnSelectionChanging)
            OnSelectionChanging(this);
    } else if (FDownButton == mbLeft && FMovingGrip >= 0) {
        if (FSelectionOptions & kvsoCanScroll)
            MouseMoveScroll();
        FMovingGrip = SelectMoveEx(FMovingGrip, XScr2Bmp(x) - XScr2Bmp(FLastPoint.X),
                                   YScr2Bmp(y) - YScr2Bmp(FLastPoint.Y));
        if (OnSelectionChanging)
            OnSelectionChanging(this);
    } else if (FDownButton == mbLeft && FRubberBand) {
        MouseMoveScroll();
        if (add && FPolys[kPolyIndex].Count() > FDownPolyCount)
            AnimPolygonRemoveLast(kPolyIndex);
        SelectEx(FDownPoint.X, FDownPoint.Y, x, y, add ? kvspAdd : kvspReplace, constrained);
        FBackBufferDirty = true;
        Paint();
        if (OnSelectionChanging)
            OnSelectionChanging(this);
    } else if (FDownButton == mbLeft && FDrawingPolygon) {
        MouseMoveScroll();
        AnimPolygonAddPt(kPolyIndex, XScr2Bmp(x), YScr2Bmp(y));
        AniPolyFunc(this, false);
        if (OnSelectionChanging)
            OnSelectionChanging(this);
    } else if (FDownButton == mbLeft && FDrawingCircle) {
        DragCircle(x, y, Shift);
    }
    if (FMask.IsPointInside(XScr2Bmp(x), YScr2Bmp(y)) && OnMouseInSel)
        OnMouseInSel(this);
    if (!(FDrawingPolygon && !FLassoMode && !FMouseDown)) {
        FPrevPoint = FLastPoint;
        FLastPoint = TPoint{x, y};
    }
}

void TKorvaneView::DragCircle(int32_t x, int32_t y, TShiftState Shift)
{
    MouseMoveScroll();
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    if ((Shift & ssShift) && AddWithShift) {
        if (poly.Count() > FDownPolyCount)
            AnimPolygonRemoveLast(kPolyIndex);
        AnimPolygonAddBreak(kPolyIndex);
    } else {
        poly.Points.clear();
    }
    int32_t rx = std::abs(FDownPoint.X - x), ry = std::abs(FDownPoint.Y - y);
    if (Constrained(Shift, Constrain))
        rx = ry = std::max(rx, ry);
    rx = Trunc(rx * static_cast<long double>(FGeo.D100Zoom()));
    ry = Trunc(ry * static_cast<long double>(FGeo.D100Zoom()));
    const int32_t n = std::max(3, Trunc(std::min(rx, ry) * 2 * std::numbers::pi) / 4);
    const int32_t cx = XScr2Bmp(FDownPoint.X), cy = YScr2Bmp(FDownPoint.Y);
    const int32_t bw = FCurrent->GetWidth(), bh = FCurrent->GetHeight();
    for (int32_t i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        AnimPolygonAddPt(kPolyIndex, std::clamp(Trunc(std::cos(a) * rx + cx), 0, bw),
                         std::clamp(Trunc(std::sin(a) * ry + cy), 0, bh));
    }
    FBackBufferDirty = true;
    Paint();
    if (OnSelectionChanging)
        OnSelectionChanging(this);
}

bool TKorvaneView::MouseMoveScroll()
{
    bool moved = false;
    FAutoScrolling = true;
    // Bounded: every step moves the view, which has an end.
    for (int32_t step = 0; step < 100000; ++step) {
        const TPoint p = ScreenToClient(GetCursorPos());
        const int32_t left = FGeo.OffsetX, right = FGeo.OffsetX + FGeo.VisibleWidth - 1;
        const int32_t top = FGeo.OffsetY, bottom = FGeo.OffsetY + FGeo.VisibleHeight - 1;
        const int32_t dx = p.X < left ? p.X - left : (p.X > right ? p.X - right : 0);
        const int32_t dy = p.Y < top ? p.Y - top : (p.Y > bottom ? p.Y - bottom : 0);
        if (dx == 0 && dy == 0)
            break;
        const int32_t oldX = ViewX(), oldY = ViewY();
        SetViewXY(ViewX() + dx, ViewY() + dy);
        const int32_t mx = ViewX() - oldX, my = ViewY() - oldY;
        if (mx == 0 && my == 0)
            break;
        moved = true;
        FDownPoint.X -= mx;
        FDownPoint.Y -= my;
        SubMouseMoveScroll(dx, dy);
    }
    FAutoScrolling = false;
    return moved;
}

void TKorvaneView::SubMouseMoveScroll(int32_t dx, int32_t dy)
{
    FLastPoint.X -= dx;
    FLastPoint.Y -= dy;
    FPrevPoint.X -= dx;
    FPrevPoint.Y -= dy;
}

// ---------------------------------------------------------------------------------------------
// Mouse up and double click

void TKorvaneView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TKVView::MouseUp(Button, Shift, X, Y);
    if (!FMouseDown)
        return;
    FMouseDown = false;
    int32_t x = X, y = Y;
    ClampToImage(x, y);
    const bool add = (Shift & ssShift) && AddWithShift;
    const bool click = x == FDownPoint.X && y == FDownPoint.Y;
    if ((FMouseInteract & miZoom) && X == FDownPoint.X && Y == FDownPoint.Y) {
        double z = Zoom();
        if (Button == mbLeft) {
            if (FMouseInteract & miScroll)
                RestoreCursor();
            z = Zoom() + 100;
            if (Zoom() < 100)
                z = *std::find_if(std::begin(kZoomSteps), std::end(kZoomSteps),
                                  [&](double s) { return s > Zoom(); });
            if (OnZoomIn)
                OnZoomIn(this, z);
        } else if (Button == mbRight) {
            z = Zoom() - 100;
            if (Zoom() < 200) {
                z = 2;
                for (double s : kZoomSteps)
                    if (s < Zoom())
                        z = s;
            }
            if (OnZoomOut)
                OnZoomOut(this, z);
        }
        if (z != Zoom())
            ZoomAt(X, Y, z);
        FDrawingPolygon = false;
    } else if (Button == mbLeft) {
        if (FMouseInteract & miScroll) {
            if (RequiresScrollBars()) {
                SetViewXY(FDownView.X - (X - FDownPoint.X), FDownView.Y - (Y - FDownPoint.Y));
                RestoreCursor();
            }
        } else if (FMouseInteract & miSelectZoom) {
            ZoomSelection();
            FRubberBand = false;
            RestoreSelection();
        } else if (FMouseInteract & miSelect) {
            if (click && FResizingGrip < 0 && FMovingGrip < 0) {
                DeSelect();
                if (OnSelectionChange)
                    OnSelectionChange(this);
            } else {
                if (FRubberBand || FResizingGrip >= 0) {
                    if (!add)
                        FMask.Empty();
                    FRubberBand = false;
                    FResizingGrip = -1;
                    EndSelect();
                }
                FRubberBand = false;
                if (OnSelectionChange)
                    OnSelectionChange(this);
                Update();
            }
        } else if (FMouseInteract & miSelectCircle) {
            if (click && FMovingGrip < 0) {
                DeSelect();
            } else {
                if (FDrawingCircle) {
                    if (!add)
                        FMask.Empty();
                    FDrawingCircle = false;
                    EndSelect();
                }
                FMovingGrip = -1;
                if (OnSelectionChange)
                    OnSelectionChange(this);
                Update();
            }
        } else if (FMouseInteract & miSelectLasso) {
            if (click && FMovingGrip < 0) {
                DeSelect();
            } else {
                if (FDrawingPolygon) {
                    if (!add)
                        FMask.Empty();
                    FDrawingPolygon = false;
                    FLassoMode = false;
                    EndSelect();
                }
                if (OnSelectionChange)
                    OnSelectionChange(this);
                Update();
            }
        } else if (FMouseInteract & miSelectPolygon) {
            if (FMovingGrip >= 0 && OnSelectionChange)
                OnSelectionChange(this);
            Update();
        } else if (FMouseInteract & miSelectMagicWand) {
            if (FMovingGrip < 0) {
                SetTempCursor(crHourGlass);
                SelectMagicWand(x, y, add ? kvspAdd : kvspReplace);
                SetTempCursor(FViewCursor);
            }
            if (OnSelectionChange)
                OnSelectionChange(this);
            Update();
        }
    }
    if (FMovedRectangle) {
        FMovedRectangle = false;
        RebuildRectangleMask();
    }
    FZoomFilter = FFilterAtDown;
    SelectionBase = FBaseAtDown;
    FResizingGrip = FMovingGrip = -1;
    FRubberBand = FDrawingCircle = FLassoMode = false;
    FBackBufferDirty = true;
    Invalidate();
}

void TKorvaneView::DblClick()
{
    TKVView::DblClick();
    if (!FDrawingPolygon || FLassoMode)
        return;
    // A press that repeated the last point adds nothing to the figure.
    const std::vector<TPoint>& points = FPolys[kPolyIndex].Points;
    if (points.size() >= 2 && points.back() == points[points.size() - 2])
        AnimPolygonRemoveLastPoint(kPolyIndex);
    FMask.Empty();
    EndSelect();
    Update();
    FDrawingPolygon = false;
    if (OnSelectionChange)
        OnSelectionChange(this);
}
