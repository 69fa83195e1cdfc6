// Measures and shapes of the vector layer: polyline lengths, areas and centroids, the area of the
// view's polygon selection, polygon simplification, stair-step removal, outlines traced from a
// colour region, a picture object cut from the selection, and the points of text curves.
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/view/kvvect.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cmath>

namespace {

struct TDVertex
{
    double X = 0;
    double Y = 0;
};

bool IsBreak(const TPoint& p)
{
    return p.X == KVPolyBreak;
}

// Squared distance from p to the segment a-b: to a before its start, to b past its end.
double SegmentDistance2(const TPoint& p, const TPoint& a, const TPoint& b)
{
    const double vx = double(b.X) - a.X, vy = double(b.Y) - a.Y;
    const double wx = double(p.X) - a.X, wy = double(p.Y) - a.Y;
    const double c1 = vx * wx + vy * wy;
    if (c1 <= 0) {
        return wx * wx + wy * wy;
    }
    const double c2 = vx * vx + vy * vy;
    if (c2 <= c1) {
        const double dx = double(p.X) - b.X, dy = double(p.Y) - b.Y;
        return dx * dx + dy * dy;
    }
    const double t = c1 / c2;
    const double dx = wx - t * vx, dy = wy - t * vy;
    return dx * dx + dy * dy;
}

void DouglasPeucker(const std::vector<TPoint>& points, double tolerance2, size_t first, size_t last,
                    std::vector<bool>& marked)
{
    // An explicit stack: a long outline must not recurse as deep as it has points.
    std::vector<std::pair<size_t, size_t>> stack{{first, last}};
    while (!stack.empty()) {
        const auto [a, b] = stack.back();
        stack.pop_back();
        if (b <= a + 1) {
            continue;
        }
        double farthest = -1;
        size_t at = a;
        for (size_t i = a + 1; i < b; ++i) {
            const double d = SegmentDistance2(points[i], points[a], points[b]);
            if (d > farthest) {
                farthest = d;
                at = i;
            }
        }
        if (farthest > tolerance2) {
            marked[at] = true;
            stack.push_back({a, at});
            stack.push_back({at, b});
        }
    }
}

// The centroid of a closed polygon (the last vertex joins the first); false for zero area.
bool Centroid(const std::vector<TDVertex>& v, TPoint& result)
{
    if (v.size() < 3) {
        return false;
    }
    long double a = 0, cx = 0, cy = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const TDVertex& p = v[i];
        const TDVertex& q = v[(i + v.size() - 1) % v.size()];
        const long double cross = (long double)q.X * p.Y - (long double)p.X * q.Y;
        a += cross;
        cx += (p.X + q.X) * cross;
        cy += (p.Y + q.Y) * cross;
    }
    if (a == 0) {
        return false;
    }
    result = TPoint{Trunc(cx / (3 * a)), Trunc(cy / (3 * a))};
    return true;
}

} // namespace

void TKorvaneVect::CalcZxZyPolyline(const TKVVObject& o, double& zx, double& zy) const
{
    const TRect& b = o.PolyBounds;
    zx = b.Right == b.Left ? 1.0 : (double(o.x2) - o.x1) / (double(b.Right) - b.Left);
    zy = b.Bottom == b.Top ? 1.0 : (double(o.y2) - o.y1) / (double(b.Bottom) - b.Top);
}

namespace {

std::vector<TDVertex> MappedVertices(const TKorvaneVect& layer, const TKVVObject& o)
{
    double zx = 1, zy = 1;
    layer.CalcZxZyPolyline(o, zx, zy);
    std::vector<TDVertex> v;
    v.reserve(o.PolyPoints.size());
    for (const TPoint& p : o.PolyPoints) {
        v.push_back(TDVertex{o.x1 + (double(p.X) - o.PolyBounds.Left) * zx,
                             o.y1 + (double(p.Y) - o.PolyBounds.Top) * zy});
    }
    return v;
}

} // namespace

double TKorvaneVect::GetPolylineLen(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    if (o.Kind != kvkPOLYLINE) {
        return 0;
    }
    const std::vector<TDVertex> v = MappedVertices(*this, o);
    double total = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        const double dx = std::abs(v[i].X - v[i - 1].X) * FCoefX, dy = std::abs(v[i].Y - v[i - 1].Y) * FCoefY;
        total += std::sqrt(dx * dx + dy * dy);
    }
    return total;
}

double TKorvaneVect::GetObjDiagLen(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    const double dx = std::abs(double(o.x1) - o.x2) * FCoefX, dy = std::abs(double(o.y1) - o.y2) * FCoefY;
    return std::sqrt(dx * dx + dy * dy);
}

double TKorvaneVect::GetPolylineArea(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    if (o.Kind != kvkPOLYLINE) {
        return 0;
    }
    const std::vector<TDVertex> v = MappedVertices(*this, o);
    double sum = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        sum += (v[i - 1].X - v[i].X) * (v[i - 1].Y + v[i].Y) * FCoefX * FCoefY;
    }
    return std::abs(sum / 2);
}

TPoint TKorvaneVect::GetPolylineCentroid(int32_t hobj)
{
    const TKVVObject& o = Obj(hobj);
    if (o.Kind != kvkPOLYLINE) {
        return TPoint{};
    }
    const TKVUnits unit = FMUnit;
    SetMUnit(kvuPIXELS);
    TPoint result;
    if (!Centroid(MappedVertices(*this, o), result)) {
        result = TPoint{};
    }
    SetMUnit(unit);
    return result;
}

double TKorvaneVect::GetSelectionArea()
{
    const int32_t n = GetPolySelCount();
    if (n <= 2) {
        return 0;
    }
    std::vector<TPoint> points(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        points[size_t(i)] = GetPolySel(i);
    }
    double total = 0;
    size_t start = 0;
    auto closeFigure = [&](size_t first, size_t last) {
        if (last <= first) {
            return;
        }
        for (size_t i = first; i < last; ++i) {
            total += (double(points[i].X) - points[i + 1].X) * (double(points[i + 1].Y) + points[i].Y) *
                     FCoefX * FCoefY;
        }
        total += (double(points[last].X) - points[first].X) * (double(points[first].Y) + points[last].Y) *
                 FCoefX * FCoefY;
    };
    for (size_t i = 0; i <= points.size(); ++i) {
        if (i == points.size() || IsBreak(points[i])) {
            if (i > start) {
                closeFigure(start, i - 1);
            }
            start = i + 1;
        }
    }
    return std::abs(total / 2);
}

TPoint TKorvaneVect::GetSelectionCentroid()
{
    std::vector<TDVertex> v;
    for (int32_t i = 0; i < GetPolySelCount(); ++i) {
        const TPoint p = GetPolySel(i);
        if (IsBreak(p)) {
            break;
        }
        v.push_back(TDVertex{double(p.X), double(p.Y)});
    }
    TPoint result;
    return Centroid(v, result) ? result : TPoint{};
}

void TKorvaneVect::SimplifyPolygon(int32_t hobj, int32_t maxPoints)
{
    TKVVObject& o = Obj(hobj);
    if (o.Kind != kvkPOLYLINE || o.PolyPoints.empty()) {
        Update();
        return;
    }
    // Fewer than two vertices can never be reached.
    maxPoints = std::max(maxPoints, 2);
    double tolerance = 0.1;
    while (true) {
        std::vector<TPoint> mapped;
        for (int32_t i = 0; i < GetObjPolylinePointsCount(hobj); ++i) {
            mapped.push_back(GetObjPolylinePoints(hobj, i));
        }
        const double t2 = tolerance * tolerance;
        std::vector<TPoint> kept{mapped.front()};
        for (size_t i = 1; i < mapped.size(); ++i) {
            const double dx = double(mapped[i].X) - kept.back().X, dy = double(mapped[i].Y) - kept.back().Y;
            if (dx * dx + dy * dy >= t2) {
                kept.push_back(mapped[i]);
            }
        }
        if (!(kept.back() == mapped.back()) || kept.size() == 1) {
            kept.push_back(mapped.back());
        }
        std::vector<bool> marked(kept.size(), false);
        marked.front() = marked.back() = true;
        DouglasPeucker(kept, t2, 0, kept.size() - 1, marked);
        std::vector<TPoint> result;
        for (size_t i = 0; i < kept.size(); ++i) {
            if (marked[i]) {
                result.push_back(kept[i]);
            }
        }
        SetObjPolylinePoints(hobj, result);
        tolerance += 0.1;
        if (static_cast<int32_t>(Obj(hobj).PolyPoints.size()) <= maxPoints) {
            break;
        }
    }
    Update();
}

namespace {

// One pixel edge of the outline as a window (in 1/32 pixel) that a straight run must cross.
struct TWindow
{
    double AX, AY, BX, BY;
    double MidX() const { return (AX + BX) / 2; }
    double MidY() const { return (AY + BY) / 2; }
};

double Cross(double ax, double ay, double bx, double by)
{
    return ax * by - ay * bx;
}

// Straight runs through the windows of a closed ring of unit pixel edges: each run starts at a
// point and keeps a cone of directions that passes every window met so far (a direction is
// inside when it lies strictly between the cone's two bounds); where no direction is left, the
// run ends in the middle of the last window it passed and the next one starts there.
std::vector<TPoint> StraightRuns(const std::vector<TWindow>& windows)
{
    std::vector<TPoint> result;
    if (windows.size() < 3) {
        return result;
    }
    double sx = windows[0].MidX(), sy = windows[0].MidY();
    result.push_back(TPoint{Trunc(sx), Trunc(sy)});
    bool open = false;
    double lowX = 0, lowY = 0, highX = 0, highY = 0;
    size_t k = 1;
    const size_t n = windows.size();
    while (k <= n) {
        const TWindow& w = windows[k % n];
        double ax = w.AX - sx, ay = w.AY - sy, bx = w.BX - sx, by = w.BY - sy;
        if (Cross(ax, ay, bx, by) < 0) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        if (!open) {
            lowX = ax;
            lowY = ay;
            highX = bx;
            highY = by;
            open = true;
            ++k;
            continue;
        }
        // Narrow the cone to this window; when nothing is left, the run ends.
        const bool aboveLow = Cross(lowX, lowY, bx, by) > 0;
        const bool belowHigh = Cross(ax, ay, highX, highY) > 0;
        if (!aboveLow || !belowHigh) {
            const TWindow& last = windows[(k - 1) % n];
            sx = last.MidX();
            sy = last.MidY();
            result.push_back(TPoint{Trunc(sx), Trunc(sy)});
            open = false;
            continue;
        }
        if (Cross(lowX, lowY, ax, ay) > 0) {
            lowX = ax;
            lowY = ay;
        }
        if (Cross(bx, by, highX, highY) > 0) {
            highX = bx;
            highY = by;
        }
        ++k;
    }
    return result;
}

} // namespace

bool TKorvaneVect::RemovePolygonJaggedEdges(int32_t hobj)
{
    TKVVObject& o = Obj(hobj);
    if (o.Kind != kvkPOLYLINE || o.PolyPoints.size() < 3) {
        Update();
        return false;
    }
    std::vector<TPoint> mapped;
    for (int32_t i = 0; i < GetObjPolylinePointsCount(hobj); ++i) {
        mapped.push_back(GetObjPolylinePoints(hobj, i));
    }
    // Every edge of the closed ring as pixel steps, each one a window on the pixel-centre line.
    std::vector<TWindow> windows;
    const size_t n = mapped.size();
    for (size_t i = 0; i < n; ++i) {
        const TPoint& a = mapped[i];
        const TPoint& b = mapped[(i + 1) % n];
        if (a.X != b.X && a.Y != b.Y) {
            // A slanting edge is already straight: its midpoint is a window of no width.
            const double mx = (a.X + b.X) * 16.0 + 16, my = (a.Y + b.Y) * 16.0 + 16;
            windows.push_back(TWindow{mx, my, mx, my});
            continue;
        }
        const bool horizontal = a.X != b.X;
        const int32_t steps = horizontal ? std::abs(b.X - a.X) : std::abs(b.Y - a.Y);
        const int32_t code = horizontal ? (a.Y >= b.Y ? -1 : 1) * (b.X > a.X ? 1 : -1) : (b.Y > a.Y ? 2 : -2);
        for (int32_t s = 0; s < steps && windows.size() < (1u << 22); ++s) {
            if (horizontal) {
                const int32_t px = a.X + (b.X > a.X ? s : -s);
                const double start = code > 0 ? px * 32.0 - 16 : px * 32.0 + 16;
                const double y = a.Y * 32.0 + 16;
                windows.push_back(TWindow{start, y, start + (b.X > a.X ? 32 : -32), y});
            } else {
                const int32_t py = a.Y + (b.Y > a.Y ? s : -s);
                const double start = code > 0 ? py * 32.0 - 16 : py * 32.0 + 16;
                const double x = a.X * 32.0 + 16;
                windows.push_back(TWindow{x, start, x, start + (b.Y > a.Y ? 32 : -32)});
            }
        }
    }
    const std::vector<TPoint> runs = StraightRuns(windows);
    bool replaced = false;
    if (runs.size() > 2) {
        std::vector<TPoint> vertices;
        vertices.reserve(runs.size());
        for (const TPoint& p : runs) {
            vertices.push_back(TPoint{p.X / 32, p.Y / 32});
        }
        SetObjPolylinePoints(hobj, vertices);
        replaced = true;
    }
    Update();
    return replaced;
}

int32_t TKorvaneVect::CreatePolygonFromEdge(int32_t x, int32_t y, int32_t tolerance, bool option)
{
    TKVBitmap* picture = GetKVBitmap();
    const int32_t bx = XScr2Bmp(x), by = YScr2Bmp(y);
    if (!picture || bx < 0 || by < 0 || bx >= picture->GetWidth() || by >= picture->GetHeight()) {
        return -1;
    }
    int32_t count = 0;
    std::unique_ptr<TPoint[]> outline =
        Korvaneproc::_MakeMagicWandPoints(picture, bx, by, option, tolerance, count);
    if (!outline || count < 1) {
        return -1;
    }
    const int32_t h = AddNewObject();
    SetObjKind(h, kvkPOLYLINE);
    SetObjPolylinePoints(h, std::vector<TPoint>(outline.get(), outline.get() + count));
    AddPolyLinePoint(h, outline[0].X, outline[0].Y);
    Update();
    return h;
}

int32_t TKorvaneVect::CreateImageFromSelectedArea(int32_t feather, bool smooth)
{
    TKVMask* mask = SelectionMask();
    if (!mask || mask->IsEmpty()) {
        return -1;
    }
    TKVBitmap picture;
    CopySelectionToKVBitmap(&picture);
    if (picture.GetWidth() < 1 || picture.GetHeight() < 1) {
        return -1;
    }
    const int32_t w = picture.GetWidth(), h = picture.GetHeight();
    const int32_t x0 = SelX1(), y0 = SelY1();
    TKVBitmap* alpha = picture.GetAlphaChannel();
    alpha->Fill(0);
    alpha->Full = false;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = alpha->GetScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            if (mask->IsPointInside(x0 + x, y0 + y)) {
                row[x] = 255;
            }
        }
    }
    if (feather > 0) {
        // Edges ramp up over about feather pixels; at least one level per pixel.
        const int32_t step = std::max(1, 256 / feather);
        auto ramp = [&](uint8_t* p, ptrdiff_t stride, int32_t count) {
            int32_t r = 0;
            for (int32_t i = 0; i < count; ++i) {
                uint8_t& a = p[i * stride];
                if (a > r) {
                    r = std::min(r + step, 255);
                    a = uint8_t(r);
                } else {
                    r = a;
                }
            }
        };
        std::vector<uint8_t> plane(size_t(w) * size_t(h));
        for (int32_t y = 0; y < h; ++y) {
            // One address per row: a file-backed row is valid only until the next request.
            const uint8_t* row = alpha->GetScanLine(y);
            std::copy(row, row + w, plane.begin() + ptrdiff_t(y) * w);
        }
        for (int32_t y = 0; y < h; ++y) {
            ramp(&plane[size_t(y) * w], 1, w);
            ramp(&plane[size_t(y) * w + w - 1], -1, w);
        }
        for (int32_t x = 0; x < w; ++x) {
            ramp(&plane[size_t(x)], w, h);
            ramp(&plane[size_t(h - 1) * w + x], -ptrdiff_t(w), h);
        }
        for (int32_t y = 0; y < h; ++y) {
            std::copy(plane.begin() + ptrdiff_t(y) * w, plane.begin() + ptrdiff_t(y + 1) * w,
                      alpha->GetScanLine(y));
        }
    }
    if (smooth && w > 2 && h > 2) {
        std::vector<uint8_t> plane(size_t(w) * size_t(h));
        for (int32_t y = 0; y < h; ++y) {
            // One address per row: a file-backed row is valid only until the next request.
            const uint8_t* row = alpha->GetScanLine(y);
            std::copy(row, row + w, plane.begin() + ptrdiff_t(y) * w);
        }
        for (int32_t y = 1; y < h - 1; ++y) {
            for (int32_t x = 1; x < w - 1; ++x) {
                const size_t i = size_t(y) * w + x;
                plane[i] = uint8_t((plane[i - 1] + plane[i + 1] + plane[i - w] + plane[i + w]) >> 2);
            }
        }
        for (int32_t y = 0; y < h; ++y) {
            std::copy(plane.begin() + ptrdiff_t(y) * w, plane.begin() + ptrdiff_t(y + 1) * w,
                      alpha->GetScanLine(y));
        }
    }
    alpha->SyncFull();
    const int32_t handle = AddNewObject();
    SetObjKind(handle, kvkBITMAP);
    SetObjBitmap(handle, &picture);
    SetObjRect(handle, TRect{x0, y0, SelX2(), SelY2()});
    return handle;
}

void TKorvaneVect::SetObjTextCurveShape(int32_t hobj, TKVCurve shape, bool reverse, double phase)
{
    TKVVObject& o = Obj(hobj);
    o.Curve.clear();
    const double p = phase * M_PI / 180.0;
    const double step = 0.01745329252;
    auto sweep = [&](double from, double to, bool down, auto point) {
        for (int64_t k = 0;; ++k) {
            const double t = down ? to - k * step : from + k * step;
            if (down ? t < from : t > to) {
                break;
            }
            o.Curve.push_back(point(t, k));
        }
    };
    auto onCircle = [](double t, int64_t) { return TKVDPoint{std::sin(t) / 2 + 0.5, std::cos(t) / 2 + 0.5}; };
    switch (shape) {
    case kvcEllipse:
        sweep(p, p + 2 * M_PI, reverse, onCircle);
        break;
    case kvcArc:
        sweep(p - M_PI / 2, p + M_PI / 2, reverse, onCircle);
        break;
    case kvcCosine:
        sweep(p, p + 2 * M_PI, true, [](double t, int64_t k) {
            return TKVDPoint{(k + 1) / 360.0, std::cos(t) / 2 + 0.5};
        });
        break;
    case kvcVertical:
        o.Curve = reverse ? std::vector<TKVDPoint>{{0.5, 0.0}, {0.5, 1.0}}
                          : std::vector<TKVDPoint>{{0.5, 1.0}, {0.5, 0.0}};
        break;
    case kvcHorizontal:
        o.Curve = reverse ? std::vector<TKVDPoint>{{1.0, 0.5}, {0.0, 0.5}}
                          : std::vector<TKVDPoint>{{0.0, 0.5}, {1.0, 0.5}};
        break;
    case kvcNone:
    default:
        break;
    }
    Update();
}

void TKorvaneVect::SetObjTextCurveFromPolyline(int32_t hobj, int32_t hpoly)
{
    const TKVVObject poly = Obj(hpoly);
    TKVVObject& o = Obj(hobj);
    o.Curve.clear();
    const double w = std::abs(double(poly.PolyBounds.Right) - poly.PolyBounds.Left);
    const double h = std::abs(double(poly.PolyBounds.Bottom) - poly.PolyBounds.Top);
    for (const TPoint& p : poly.PolyPoints) {
        // A polyline without width (or height) lies on that edge of the box.
        o.Curve.push_back(TKVDPoint{w > 0 ? (p.X - poly.PolyBounds.Left) / w : 0.0,
                                    h > 0 ? (p.Y - poly.PolyBounds.Top) / h : 0.0});
    }
}
