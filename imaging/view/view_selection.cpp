// The image view's selection: the polygon and the mask kept side by side, the operations that
// build, move and resize them, and the selection stream that undo stores.
#include "imaging/view/korvaneview.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int32_t kPolyIndex = 0;

template <class T> void WriteValue(TStream& s, const T& v)
{
    s.WriteBuffer(&v, sizeof(T));
}

template <class T> bool ReadValue(TStream& s, T& v)
{
    return s.Read(&v, sizeof(T)) == int64_t(sizeof(T));
}

} // namespace

void TKorvaneView::ConvertPoint(int32_t& x, int32_t& y) const
{
    if (SelectionBase == kvsbClientArea) {
        x = XScr2Bmp(x);
        y = YScr2Bmp(y);
    }
}

bool TKorvaneView::SelectionBeingEdited() const
{
    return FDrawingPolygon || FRubberBand || FDrawingCircle || FResizingGrip >= 0 || FMovingGrip >= 0 ||
           FMovedRectangle;
}

void TKorvaneView::SetSelectionOptions(TKVSelectionOptions Value)
{
    FSelectionOptions = Value;
    FPolys[kPolyIndex].Animated = (Value & kvsoAnimated) != 0;
    FPolys[kPolyIndex].Sizeable = (Value & kvsoSizeable) != 0;
    Update();
}

// ---------------------------------------------------------------------------------------------
// Building

void TKorvaneView::Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVSelOp op)
{
    if (x1 == x2 || y1 == y2)
        return;
    SelectEx(x1, y1, x2, y2, op, false);
    if (op == kvspReplace)
        FMask.Empty();
    EndSelect();
    FBackBufferDirty = true;
    Paint();
}

void TKorvaneView::SelectEx(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVSelOp op, bool square)
{
    if (x1 == x2 || y1 == y2)
        return;
    ConvertPoint(x1, y1);
    ConvertPoint(x2, y2);
    FSelected = true;
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    if (op == kvspAdd && !poly.Points.empty())
        AnimPolygonAddBreak(kPolyIndex);
    else
        poly.Points.clear();
    if (op == kvspReplace)
        FMask.Empty();
    if (square)
        y2 = y1 + (x2 - x1);
    const int32_t w = std::max(FCurrent->GetWidth() - 1, 0), h = std::max(FCurrent->GetHeight() - 1, 0);
    x1 = std::clamp(x1, 0, w);
    x2 = std::clamp(x2, 0, w);
    y1 = std::clamp(y1, 0, h);
    y2 = std::clamp(y2, 0, h);
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    AnimPolygonAddPt(kPolyIndex, x1, y1);
    AnimPolygonAddPt(kPolyIndex, x2 + 1, y1);
    AnimPolygonAddPt(kPolyIndex, x2 + 1, y2 + 1);
    AnimPolygonAddPt(kPolyIndex, x1, y2 + 1);
    ShowSelectionEx(false);
}

void TKorvaneView::SelectEllipse(int32_t cx, int32_t cy, int32_t w, int32_t h, TKVSelOp op)
{
    if (SelectionBase == kvsbClientArea) {
        ConvertPoint(cx, cy);
        w = Trunc(w * static_cast<long double>(FGeo.D100Zoom()));
        h = Trunc(h * static_cast<long double>(FGeo.D100Zoom()));
    }
    if (w < 1 || h < 1)
        return;
    const int32_t rx = w / 2, ry = h / 2;
    const int32_t n = std::max(3, Trunc(std::min(rx, ry) * 2 * std::numbers::pi) / 4);
    FSelected = true;
    if (op == kvspAdd && !FPolys[kPolyIndex].Points.empty())
        AnimPolygonAddBreak(kPolyIndex);
    else
        FPolys[kPolyIndex].Points.clear();
    if (op == kvspReplace)
        FMask.Empty();
    const int32_t bw = FCurrent->GetWidth(), bh = FCurrent->GetHeight();
    for (int32_t i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        AnimPolygonAddPt(kPolyIndex, std::clamp(Round(std::cos(a) * rx + cx), 0, bw),
                         std::clamp(Round(std::sin(a) * ry + cy), 0, bh));
    }
    EndSelect();
    FBackBufferDirty = true;
    Paint();
    ShowSelectionEx(false);
}

void TKorvaneView::SelectMagicWand(int32_t x, int32_t y, TKVSelOp op)
{
    ConvertPoint(x, y);
    const int32_t bw = FCurrent->GetWidth(), bh = FCurrent->GetHeight();
    if (x < 0 || y < 0 || x > bw || y > bh)
        return;
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    switch (MagicWandMode) {
    case kvwInclusive: {
        int32_t count = 0;
        std::unique_ptr<TPoint[]> points =
            Korvaneproc::_MakeMagicWandPoints(FCurrent, x, y, MagicWandMaxFilter, MagicWandTolerance, count);
        if (count > 0) {
            FSelected = true;
            if (op == kvspAdd && !poly.Points.empty()) {
                AnimPolygonAddBreak(kPolyIndex);
            } else {
                poly.Points.clear();
                FMask.Empty();
            }
            for (int32_t i = 0; i < count; ++i)
                AnimPolygonAddPt(kPolyIndex, std::clamp(points[i].X, 0, bw), std::clamp(points[i].Y, 0, bh));
            if (op == kvspReplace)
                FMask.Empty();
            EndSelect();
            ShowSelectionEx(false);
        }
        break;
    }
    case kvwExclusive:
    case kvwGlobal:
        if (op == kvspReplace) {
            poly.Points.clear();
            FMask.Empty();
        }
        if (MagicWandMode == kvwExclusive)
            Korvaneproc::_MakeMagicWandPointsEx(FCurrent, x, y, MagicWandMaxFilter, MagicWandTolerance,
                                                &FMask);
        else
            Korvaneproc::_MakeMagicWandPointsEx2(FCurrent, x, y, MagicWandTolerance, &FMask);
        FSelected = !FMask.IsEmpty();
        ShowSelectionEx(false);
        break;
    }
    FBackBufferDirty = true;
    Paint();
}

void TKorvaneView::AddSelPoint(int32_t x, int32_t y)
{
    AddSelPointEx(x, y);
    if (FPolys[kPolyIndex].Count() > 2) {
        FMask.Empty();
        EndSelect();
    }
    FBackBufferDirty = true;
    Paint();
}

void TKorvaneView::AddSelPointEx(int32_t x, int32_t y)
{
    if (SelectionBase == kvsbClientArea) {
        ConvertPoint(x, y);
        x = std::clamp(x, 0, FCurrent->GetWidth());
        y = std::clamp(y, 0, FCurrent->GetHeight());
    }
    AnimPolygonAddPt(kPolyIndex, x, y);
    ShowSelectionEx(false);
}

void TKorvaneView::AddSelBreak()
{
    AddSelBreakEx();
}

void TKorvaneView::AddSelBreakEx()
{
    AnimPolygonAddBreak(kPolyIndex);
}

void TKorvaneView::EndSelect()
{
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    if (!poly.Points.empty() && FMask.Width > 0 && FMask.Height > 0)
        FMask.DrawPolygon(1, poly.Points.data(), poly.Count());
    if (FMask.IsEmpty()) {
        FSelected = false;
        poly.Points.clear();
    }
}

void TKorvaneView::DeSelect()
{
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    if (FSelected)
        poly.Shown = false;
    poly.Points.clear();
    poly.X1 = poly.Y1 = poly.X2 = poly.Y2 = 0;
    FMask.Empty();
    FSelected = false;
    FDrawingPolygon = FLassoMode = FRubberBand = FDrawingCircle = false;
    FResizingGrip = FMovingGrip = -1;
    FMovedRectangle = false;
    SetTempCursor(FViewCursor);
    FBackBufferDirty = true;
    if (HasParentWindow())
        Invalidate();
}

void TKorvaneView::InvertSelection()
{
    FPolys[kPolyIndex].Points.clear();
    ShowSelectionEx(false);
    FMask.Negative();
    FSelected = !FMask.IsEmpty();
    FBackBufferDirty = true;
    Paint();
}

// ---------------------------------------------------------------------------------------------
// Moving and resizing

int32_t TKorvaneView::SelectMoveEx(int32_t grip, int32_t dx, int32_t dy)
{
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    FMovedRectangle = poly.IsRectangle();
    const bool cut = (FSelectionOptions & kvsoCutBorders) != 0;
    if (!FMovedRectangle)
        FMask.TranslateBitmap(dx, dy, cut);
    if (dx == 0 && dy == 0)
        return grip;
    const int32_t bw = FCurrent->GetWidth(), bh = FCurrent->GetHeight();
    auto limit = [](int32_t& d, int32_t lo, int32_t hi, int32_t extent, bool onlyWhenOutside) {
        if (onlyWhenOutside && !(hi + d <= 0 || lo + d >= extent))
            return;
        if (lo + d < 0)
            d = -lo;
        if (hi + d > extent)
            d = extent - hi;
    };
    limit(dx, poly.X1, poly.X2, bw, cut);
    limit(dy, poly.Y1, poly.Y2, bh, cut);
    poly.X1 += dx;
    poly.X2 += dx;
    poly.Y1 += dy;
    poly.Y2 += dy;
    for (TPoint& p : poly.Points) {
        if (TKVAnimPoly::IsBreak(p))
            continue;
        p.X = std::clamp(p.X + dx, 0, bw);
        p.Y = std::clamp(p.Y + dy, 0, bh);
    }
    FBackBufferDirty = true;
    Paint();
    AniPolyFunc(this, false);
    return grip;
}

void TKorvaneView::RebuildRectangleMask()
{
    FMask.Empty();
    EndSelect();
}

int32_t TKorvaneView::SelectResizeEx(int32_t grip, int32_t x, int32_t y, bool keepAspect)
{
    TKVAnimPoly& poly = FPolys[kPolyIndex];
    if (!poly.IsRectangle() || grip < 0 || grip > 7)
        return grip;
    int32_t bx = XScr2Bmp(x), by = YScr2Bmp(y);
    int32_t l = std::min(poly.Points[0].X, poly.Points[2].X),
            t = std::min(poly.Points[0].Y, poly.Points[2].Y);
    int32_t r = std::max(poly.Points[0].X, poly.Points[2].X) - 1,
            b = std::max(poly.Points[0].Y, poly.Points[2].Y) - 1;
    if (keepAspect) {
        const int32_t sx1 = FSavedBox[0], sy1 = FSavedBox[1], sx2 = FSavedBox[2], sy2 = FSavedBox[3];
        if (sy2 - sy1 + 1 == 0)
            return grip;
        const long double ratio = static_cast<long double>(sx2 - sx1 + 1) / (sy2 - sy1 + 1);
        switch (grip) {
        case 0:
        case 4:
            by = Round(sy2 + 1 + (bx - sx2 - 1) / ratio);
            break;
        case 1:
            by = Round(sy2 + (sx1 - bx - 1) / ratio);
            break;
        case 2:
        case 5:
            by = Round(sy1 - 1 + (bx - sx1 + 1) / ratio);
            break;
        case 3:
            by = Round(sy1 + 1 + (sx2 - bx + 1) / ratio);
            break;
        case 6:
            bx = Round(sx2 + 1 + ratio * (by - sy2 - 1));
            break;
        case 7:
            bx = Round(sx1 - 1 + ratio * (by - sy1 + 1));
            break;
        }
        if (grip == 4 || grip == 6)
            grip = 0;
        else if (grip == 5 || grip == 7)
            grip = 2;
    }
    switch (grip) {
    case 0:
        l = bx;
        t = by;
        break;
    case 1:
        r = bx;
        t = by;
        break;
    case 2:
        r = bx;
        b = by;
        break;
    case 3:
        l = bx;
        b = by;
        break;
    case 4:
        l = bx;
        break;
    case 5:
        r = bx;
        break;
    case 6:
        t = by;
        break;
    case 7:
        b = by;
        break;
    }
    // Crossing the opposite edge turns the grip into its mirror image.
    if (l > r) {
        std::swap(l, r);
        static constexpr int32_t mirrorH[8] = {1, 0, 3, 2, 5, 4, 6, 7};
        grip = mirrorH[grip];
    }
    if (t > b) {
        std::swap(t, b);
        static constexpr int32_t mirrorV[8] = {3, 2, 1, 0, 4, 5, 7, 6};
        grip = mirrorV[grip];
    }
    const int32_t bw = FCurrent->GetWidth(), bh = FCurrent->GetHeight();
    int32_t x1 = std::clamp(l, 0, bw), x2 = std::clamp(r + 1, 0, bw);
    int32_t y1 = std::clamp(t, 0, bh), y2 = std::clamp(b + 1, 0, bh);
    if (x1 == x2)
        x1 > 0 ? --x1 : ++x2;
    if (y1 == y2)
        y1 > 0 ? --y1 : ++y2;
    poly.Points.clear();
    AnimPolygonAddPt(kPolyIndex, x1, y1);
    AnimPolygonAddPt(kPolyIndex, x2, y1);
    AnimPolygonAddPt(kPolyIndex, x2, y2);
    AnimPolygonAddPt(kPolyIndex, x1, y2);
    FBackBufferDirty = true;
    Paint();
    AniPolyFunc(this, false);
    return grip;
}

// ---------------------------------------------------------------------------------------------
// Queries

int32_t TKorvaneView::SelX1()
{
    return SelectionBeingEdited() ? FPolys[kPolyIndex].X1 : FMask.x1;
}

int32_t TKorvaneView::SelY1()
{
    return SelectionBeingEdited() ? FPolys[kPolyIndex].Y1 : FMask.y1;
}

int32_t TKorvaneView::SelX2()
{
    return SelectionBeingEdited() ? FPolys[kPolyIndex].X2 - 1 : FMask.x2;
}

int32_t TKorvaneView::SelY2()
{
    return SelectionBeingEdited() ? FPolys[kPolyIndex].Y2 - 1 : FMask.y2;
}

TPoint* TKorvaneView::GetPolySelArray()
{
    return FPolys[kPolyIndex].Points.empty() ? nullptr : FPolys[kPolyIndex].Points.data();
}

int32_t TKorvaneView::GetPolySelCount()
{
    return FPolys[kPolyIndex].Count();
}

TPoint TKorvaneView::GetPolySel(int32_t i)
{
    const TKVAnimPoly& poly = FPolys[kPolyIndex];
    return i >= 0 && i < poly.Count() ? poly.Points[size_t(i)] : TPoint{0, 0};
}

bool TKorvaneView::IsPointInsideSelection(int32_t x, int32_t y)
{
    return FMask.IsPointInside(x, y);
}

bool TKorvaneView::VisibleSelection() const
{
    return FPolys[kPolyIndex].Shown;
}

void TKorvaneView::SetVisibleSelection(bool Value)
{
    if (Value)
        ShowSelectionEx(true);
    else
        HideSelectionEx(true);
    Update();
}

void TKorvaneView::ShowSelectionEx(bool redraw)
{
    FPolys[kPolyIndex].Shown = true;
    if (redraw)
        AniPolyFunc(this, false);
}

void TKorvaneView::HideSelectionEx(bool repaint)
{
    FPolys[kPolyIndex].Shown = false;
    if (repaint && FPaintLock == 0) {
        FBackBufferDirty = true;
        Paint();
    }
}

// ---------------------------------------------------------------------------------------------
// The selection stream

void TKorvaneView::SaveSelection()
{
    auto stream = std::make_unique<TMemoryStream>();
    SaveSelectionToStream(*stream);
    FSavedSelections.push_back(std::move(stream));
}

bool TKorvaneView::RestoreSelection()
{
    if (FSavedSelections.empty())
        return false;
    std::unique_ptr<TMemoryStream> stream = std::move(FSavedSelections.back());
    FSavedSelections.pop_back();
    stream->SetPosition(0);
    return LoadSelectionFromStream(*stream);
}

void TKorvaneView::SaveSelectionToStream(TStream& Stream)
{
    const TKVAnimPoly& poly = FPolys[kPolyIndex];
    WriteValue<int32_t>(Stream, FMask.Width);
    WriteValue<int32_t>(Stream, FMask.Height);
    WriteValue<int32_t>(Stream, poly.Count());
    for (const TPoint& p : poly.Points) {
        WriteValue<int32_t>(Stream, p.X);
        WriteValue<int32_t>(Stream, p.Y);
    }
    for (int32_t v : {poly.X1, poly.Y1, poly.X2, poly.Y2})
        WriteValue<int32_t>(Stream, v);
    WriteValue<uint8_t>(Stream, FSelected ? 1 : 0);
    WriteValue<int32_t>(Stream, FMask.BitsPerPixel == 8 ? 8 : 1);
    for (int32_t v : {FMask.x1, FMask.y1, FMask.x2, FMask.y2})
        WriteValue<int32_t>(Stream, v);
    WriteValue<uint8_t>(Stream, FMask.Full ? 1 : 0);
    // Rows as the mask keeps them: bottom row first.
    for (int32_t y = FMask.Height - 1; y >= 0; --y)
        Stream.WriteBuffer(FMask.GetScanLine(y), FMask.RowLen);
}

bool TKorvaneView::LoadSelectionFromStream(TStream& Stream)
{
    int32_t w = 0, h = 0;
    if (!ReadValue(Stream, w) || !ReadValue(Stream, h))
        return false;
    if (w != FCurrent->GetWidth() || h != FCurrent->GetHeight() || w < 0 || h < 0)
        return false;
    // Everything is read and checked before anything changes: a count, a depth or rows that do
    // not fit the bytes left leave the selection as it was.
    int32_t n = 0;
    if (!ReadValue(Stream, n) || n < 0 || int64_t(n) * 8 > Stream.Size() - Stream.Position())
        return false;
    std::vector<TPoint> points(static_cast<size_t>(n));
    for (TPoint& p : points)
        if (!ReadValue(Stream, p.X) || !ReadValue(Stream, p.Y))
            return false;
    int32_t box[4];
    for (int32_t& v : box)
        if (!ReadValue(Stream, v))
            return false;
    uint8_t selected = 0, full = 0;
    int32_t bits = 0;
    int32_t maskBox[4];
    if (!ReadValue(Stream, selected) || !ReadValue(Stream, bits) || (bits != 1 && bits != 8))
        return false;
    for (int32_t& v : maskBox)
        if (!ReadValue(Stream, v))
            return false;
    if (!ReadValue(Stream, full))
        return false;
    // The view keeps its polygon on the picture (a lasso drawn at a small zoom a little past
    // it): one farther out than the picture's own size is damage, and moving it would overflow.
    auto movable = [&](int32_t x, int32_t y) {
        return x >= -int64_t(w) && x <= 2 * int64_t(w) && y >= -int64_t(h) && y <= 2 * int64_t(h);
    };
    if (!movable(box[0], box[1]) || !movable(box[2], box[3]) ||
        !std::all_of(points.begin(), points.end(),
                     [&](const TPoint& p) { return TKVAnimPoly::IsBreak(p) || movable(p.X, p.Y); }))
        return false;
    // The mask's box is either empty or lies inside the mask: the processing methods size their
    // working copies by it.
    const bool emptyBox = maskBox[0] == 0x7FFFFFFF;
    if (!emptyBox && !(maskBox[0] >= 0 && maskBox[0] <= maskBox[2] && maskBox[2] < w && maskBox[1] >= 0 &&
                       maskBox[1] <= maskBox[3] && maskBox[3] < h))
        return false;
    const int64_t rowLen = ((int64_t(w) * bits + 31) / 32) * 4;
    const int64_t bytes = rowLen * h;
    if (bytes > Stream.Size() - Stream.Position())
        return false;
    std::vector<uint8_t> rows(static_cast<size_t>(bytes));
    if (bytes > 0 && Stream.Read(rows.data(), bytes) != bytes)
        return false;

    TKVAnimPoly& poly = FPolys[kPolyIndex];
    poly.Points = std::move(points);
    poly.Points.reserve(poly.Points.size() + 64);
    poly.X1 = box[0];
    poly.Y1 = box[1];
    poly.X2 = box[2];
    poly.Y2 = box[3];
    FSelected = selected != 0;
    FMask.AllocateBits(w, h, bits);
    for (int32_t y = 0; y < h; ++y)
        std::copy_n(rows.data() + (h - 1 - y) * rowLen, rowLen, FMask.GetScanLine(y));
    FMask.x1 = maskBox[0];
    FMask.y1 = maskBox[1];
    FMask.x2 = maskBox[2];
    FMask.y2 = maskBox[3];
    FMask.Full = full != 0;
    ShowSelectionEx(false);
    Update();
    return true;
}
