// Point, line and rectangle tests for hit testing and the selection and vector tools.
#include "imaging/core/geometry_helpers.h"

#include "imaging/core/pixel_helpers.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Daduvudez {

namespace {

// Squares and cross products in 64 bits: coordinates past 46340 overflow an int32 square.
int64_t Square(int64_t v)
{
    return v * v;
}

constexpr double kFarAway = 1000000.0;

} // namespace

double _DistPoint2Point(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    return std::sqrt(static_cast<double>(Square(int64_t(x2) - x1) + Square(int64_t(y2) - y1)));
}

double _DistPoint2Line(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const int64_t dx = int64_t(x2) - x1;
    const int64_t dy = int64_t(y2) - y1;
    if (dx == 0 && dy == 0)
        return _DistPoint2Point(px, py, x1, y1);
    const int64_t numerator = dy * px - dx * py + int64_t(x2) * y1 - int64_t(x1) * y2;
    return std::abs(static_cast<double>(numerator)) / std::sqrt(static_cast<double>(Square(dx) + Square(dy)));
}

double _DistPoint2Seg(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const int64_t dx = int64_t(x2) - x1;
    const int64_t dy = int64_t(y2) - y1;
    if (dx == 0 && dy == 0)
        return _DistPoint2Point(px, py, x1, y1);
    const double r = static_cast<double>((int64_t(px) - x1) * dx + (int64_t(py) - y1) * dy) /
                     static_cast<double>(Square(dx) + Square(dy));
    if (r >= 0 && r <= 1)
        return _DistPoint2Line(px, py, x1, y1, x2, y2);
    const int32_t ex = r < 0 ? x1 : x2;
    const int32_t ey = r < 0 ? y1 : y2;
    if (std::llabs(int64_t(px) - ex) > 45000 || std::llabs(int64_t(py) - ey) > 45000)
        return kFarAway;
    return _DistPoint2Point(px, py, ex, ey);
}

double _DistPoint2Polyline(int32_t x, int32_t y, const TPoint* points, int32_t count, int32_t originX,
                           int32_t originY, int32_t offsetX, int32_t offsetY, double zoomX, double zoomY)
{
    if (points == nullptr || count < 2)
        return kFarAway;
    auto screenX = [&](int32_t px) { return Round((long double)(int64_t(px) - originX) * zoomX + offsetX); };
    auto screenY = [&](int32_t py) { return Round((long double)(int64_t(py) - originY) * zoomY + offsetY); };
    double best = kFarAway;
    int32_t ax = screenX(points[0].X);
    int32_t ay = screenY(points[0].Y);
    for (int32_t i = 1; i < count; ++i) {
        const int32_t bx = screenX(points[i].X);
        const int32_t by = screenY(points[i].Y);
        best = std::min(best, _DistPoint2Seg(x, y, ax, ay, bx, by));
        ax = bx;
        ay = by;
    }
    return best;
}

bool _InRect(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    return x1 <= x && x <= x2 && y1 <= y && y <= y2;
}

bool _InRectO(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    Korvaneproc::OrdCor(x1, y1, x2, y2);
    return _InRect(x, y, x1, y1, x2, y2);
}

bool _RectXRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                int32_t y4)
{
    return !(std::max(x1, x2) < x3 || std::min(x1, x2) > x4 || std::max(y1, y2) < y3 ||
             std::min(y1, y2) > y4);
}

int32_t _RectPRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                   int32_t y4)
{
    const int32_t inside = _InRect(x3, y3, x1, y1, x2, y2) + _InRect(x4, y3, x1, y1, x2, y2) +
                           _InRect(x3, y4, x1, y1, x2, y2) + _InRect(x4, y4, x1, y1, x2, y2);
    return inside == 4 ? 2 : (inside > 0 ? 1 : 0);
}

void _CastPolySelCC(int32_t refX, int32_t refY, int32_t& x, int32_t& y)
{
    const int32_t dx = refX - x;
    const int32_t dy = refY - y;
    const int32_t adx = std::abs(dx);
    const int32_t ady = std::abs(dy);
    if (ady > adx + 30) {
        x = refX;
        return;
    }
    if (ady < adx - 30) {
        y = refY;
        return;
    }
    const int32_t d = std::abs(adx - ady);
    if (dx > 0 && dy > 0) {
        if (ady <= adx)
            x += d;
        else
            y += d;
    } else if (dx < 0 && dy < 0) {
        if (ady > adx)
            x += d;
        else
            y += d;
    } else if (dx <= 0 && dy > 0) {
        if (ady > adx)
            x += d;
        else
            y -= d;
    } else if (dx > 0 && dy <= 0) {
        if (ady > adx)
            x -= d;
        else
            y += d;
    }
}

void KVSetplim(TRect& rect, int32_t x, int32_t y)
{
    rect.Left = std::min(rect.Left, x);
    rect.Right = std::max(rect.Right, x);
    rect.Top = std::min(rect.Top, y);
    rect.Bottom = std::max(rect.Bottom, y);
}

void KVSetplim(TRect* rect, int32_t x, int32_t y)
{
    if (rect != nullptr) {
        KVSetplim(*rect, x, y);
    }
}

double KVArcCos(double x)
{
    if (x >= 1)
        return 0;
    if (x <= -1)
        return M_PI;
    return std::atan2(std::sqrt(1 - x * x), x);
}

double KVAngle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3)
{
    const int64_t ax = int64_t(x2) - x1, ay = int64_t(y2) - y1;
    const int64_t bx = int64_t(x3) - x2, by = int64_t(y3) - y2;
    const double d1 = std::sqrt(static_cast<double>(Square(ax) + Square(ay)));
    const double d2 = std::sqrt(static_cast<double>(Square(bx) + Square(by)));
    if (d1 == 0 || d2 == 0)
        return 0;
    // |c| cannot exceed 1 but by rounding; a reversal must still measure pi.
    const double c = static_cast<double>(ax * bx + ay * by) / (d1 * d2);
    return KVArcCos(c);
}

} // namespace Daduvudez
