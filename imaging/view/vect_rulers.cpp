// The measuring objects: rulers (a graduated scale or a dimension text in the ruler's unit) and
// angle gauges (two arms, an arc and the angle in degrees).
#include "imaging/core/geometry_helpers.h"
#include "imaging/view/kvvect.h"
#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

void MeasuringPen(TCanvas* canvas, double s, int32_t penWidth, TColor colour)
{
    canvas->Pen()->SetMode(pmCopy);
    canvas->Pen()->SetWidth(std::max(penWidth, 0));
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetColor(colour);
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetStyle({});
    canvas->Font()->SetOrientation(0);
    canvas->Font()->SetSize(std::max(3, Trunc(10.0 / s)));
    canvas->Font()->SetColor(colour);
    canvas->Brush()->SetStyle(bsClear);
}

// The text's corners when drawn turned by the canvas font's orientation from (x, y).
void GrowByText(TRect* bounds, TCanvas* canvas, int32_t x, int32_t y, const std::string& text)
{
    const TSize size = canvas->TextExtent(text);
    const double angle = canvas->Font()->Orientation() / 10.0 * M_PI / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    for (const auto& [dx, dy] : {std::pair{0.0, 0.0},
                                 {double(size.cx), 0.0},
                                 {0.0, double(size.cy)},
                                 {double(size.cx), double(size.cy)}}) {
        const int32_t px = Trunc(x + dx * c + dy * s), py = Trunc(y - dx * s + dy * c);
        Daduvudez::KVSetplim(bounds, px - 15, py - 15);
        Daduvudez::KVSetplim(bounds, px + 15, py + 15);
    }
}

void DrawScale(TCanvas* canvas, TRect* bounds, const std::vector<Kvvect::TKVScaleTick>& ticks)
{
    const uint32_t align = SetTextAlign(canvas, TA_CENTER | TA_TOP);
    for (const Kvvect::TKVScaleTick& tick : ticks) {
        canvas->MoveTo(tick.Foot.X, tick.Foot.Y);
        canvas->LineTo(tick.End.X, tick.End.Y);
        Daduvudez::KVSetplim(bounds, tick.End.X, tick.End.Y);
        if (tick.Labelled) {
            const std::string label = std::to_string(tick.Units);
            canvas->TextOut(tick.LabelAt.X, tick.LabelAt.Y, label);
            Daduvudez::KVSetplim(bounds, tick.LabelAt.X - 15, tick.LabelAt.Y - 15);
            Daduvudez::KVSetplim(bounds, tick.LabelAt.X + 15,
                                 tick.LabelAt.Y + 15 + canvas->TextHeight(label));
        }
    }
    SetTextAlign(canvas, align);
}

} // namespace

std::vector<Kvvect::TKVScaleTick> Kvvect::ScaleTicks(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double s,
                                                     double cx, double cy)
{
    std::vector<TKVScaleTick> ticks;
    const double dx = double(x2) - x1, dy = double(y2) - y1;
    const double length = std::hypot(dx, dy);
    if (length == 0 || !(s > 0) || !std::isfinite(s)) {
        return ticks;
    }
    const double ux = dx / length, uy = dy / length;
    // The tick side: turned a quarter clockwise on the screen from the line's direction.
    const double nx = -uy, ny = ux;
    // Pixels per tenth of a unit along the line.
    const double perPixel = std::hypot(ux * cx * s, uy * cy * s);
    if (perPixel <= 0 || !std::isfinite(perPixel)) {
        return ticks;
    }
    const double step = 0.1 / perPixel;
    // Ticks closer than a pixel would be a smear, and uncountable: the line alone is drawn.
    if (step < 1.0) {
        return ticks;
    }
    const int32_t minor = Trunc(6.0 / s), middle = Trunc(8.0 / s), major = Trunc(12.0 / s);
    const TRect box{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    for (int64_t k = 0; k * step <= length + 1e-9; ++k) {
        const double fx = x1 + ux * k * step, fy = y1 + uy * k * step;
        TKVScaleTick tick;
        tick.Foot = TPoint{Round(fx), Round(fy)};
        if (tick.Foot.X < box.Left || tick.Foot.X > box.Right || tick.Foot.Y < box.Top ||
            tick.Foot.Y > box.Bottom) {
            continue;
        }
        const int32_t size = k % 10 == 0 ? major : (k % 5 == 0 ? middle : minor);
        tick.End = TPoint{Round(fx + nx * size), Round(fy + ny * size)};
        tick.Labelled = k % 10 == 0;
        tick.Units = k / 10;
        tick.LabelAt = TPoint{Round(fx + nx * (size + 20)), Round(fy + ny * (size + 20)) - 10};
        ticks.push_back(tick);
    }
    return ticks;
}

void TKorvaneVect::DrawRuler(TCanvas* Canvas, int32_t x1, TRect* Bounds, double s, TKVVRulerType RulerType,
                             int32_t PenWidth, TColor Colour, TKVUnits Unit, int32_t y1, int32_t x2,
                             int32_t y2)
{
    if (x1 == x2 && y1 == y2) {
        return;
    }
    if (!(s > 0) || !std::isfinite(s)) {
        s = 1.0;
    }
    MeasuringPen(Canvas, s, PenWidth, Colour);
    Canvas->MoveTo(x1, y1);
    Canvas->LineTo(x2, y2);
    Daduvudez::KVSetplim(Bounds, x1, y1);
    Daduvudez::KVSetplim(Bounds, x2, y2);
    double cx = 0, cy = 0;
    CalcCoef(cx, cy, Unit);
    if (RulerType == kvrtRULER) {
        DrawScale(Canvas, Bounds, Kvvect::ScaleTicks(x1, y1, x2, y2, s, cx, cy));
        return;
    }
    const double dx = double(x2) - x1, dy = double(y2) - y1;
    const double length = std::hypot(dx, dy);
    const double ux = dx / length, uy = dy / length;
    const double nx = -uy, ny = ux;
    // Dimension: end ticks to both sides and the length as text along the line.
    const int32_t tick = Trunc(9.0 / s);
    for (const auto& [px, py] : {std::pair{x1, y1}, {x2, y2}}) {
        const int32_t ax = Round(px + nx * tick), ay = Round(py + ny * tick);
        const int32_t bx = Round(px - nx * tick), by = Round(py - ny * tick);
        Canvas->MoveTo(ax, ay);
        Canvas->LineTo(bx, by);
        Daduvudez::KVSetplim(Bounds, ax, ay);
        Daduvudez::KVSetplim(Bounds, bx, by);
    }
    const double measured = std::hypot(std::abs(dx) * cx * s, std::abs(dy) * cy * s);
    std::string text =
        Kvvect::FormatMeasure(measured, FloatPrecision, FloatDigits) + " " + Kvvect::UnitName(Unit);
    if (RulerType == kvrtQUOTEBEGIN) {
        text = " " + text;
    } else if (RulerType == kvrtQUOTEEND) {
        text += " ";
    }
    Canvas->Font()->SetOrientation(Round(std::atan2(-dy, dx) * 180.0 / M_PI * 10.0));
    const int32_t tw = Canvas->TextWidth(text);
    double along = 0;
    if (RulerType == kvrtQUOTECENTER) {
        along = Trunc((length - tw) / 2);
    } else if (RulerType == kvrtQUOTEEND) {
        along = Trunc(length - tw);
    }
    const int32_t tx = Trunc(x1 + ux * along), ty = Trunc(y1 + uy * along);
    const uint32_t align = SetTextAlign(Canvas, TA_LEFT | TA_TOP);
    Canvas->TextOut(tx, ty, text);
    SetTextAlign(Canvas, align);
    GrowByText(Bounds, Canvas, tx, ty, text);
    Canvas->Font()->SetOrientation(0);
}

int32_t TKorvaneVect::CountAnglePoints(const TPoint* Points)
{
    int32_t n = 0;
    while (n < 3 && Points[n].X != KVAngleUnset) {
        ++n;
    }
    return n;
}

double TKorvaneVect::AngleValue(const TPoint* Points)
{
    if (CountAnglePoints(Points) < 3) {
        return 0;
    }
    const TPoint& a = Points[0];
    const TPoint& v = Points[1];
    const TPoint& b = Points[2];
    auto side = [](const TPoint& p, const TPoint& q) {
        const double d = std::hypot(double(p.X) - q.X, double(p.Y) - q.Y);
        return d == 0 ? 1.0 : d;
    };
    const double sa = side(v, a), sb = side(v, b), sc = side(a, b);
    // Rounding may carry the cosine past ±1; the arc cosine takes it at the limit.
    const double inner =
        Daduvudez::KVArcCos(std::clamp((sa * sa + sb * sb - sc * sc) / (2 * sa * sb), -1.0, 1.0));
    const double vax = double(v.X) - a.X, vay = double(v.Y) - a.Y;
    const double bax = double(b.X) - a.X, bay = double(b.Y) - a.Y;
    const double d = vax * bay - vay * bax;
    const bool opposite = (vax * bax < 0) || (vay * bay < 0);
    const double angle = (d < 0 || (d == 0 && opposite)) ? 2 * M_PI - inner : inner;
    return angle * 180.0 / M_PI;
}

double TKorvaneVect::GetAngleValue(int32_t hobj) const
{
    return AngleValue(Obj(hobj).AnglePoints);
}

void TKorvaneVect::DrawAngle(TCanvas* Canvas, const TPoint* Points, double s, bool ScreenMode, TRect* Bounds,
                             int32_t PenWidth, TColor Colour, int32_t Count)
{
    if (!(s > 0) || !std::isfinite(s)) {
        s = 1.0;
    }
    Count = std::clamp(Count, 0, 3);
    TPoint screen[3];
    for (int32_t i = 0; i < Count; ++i) {
        screen[i] = ScreenMode ? TPoint{XBmp2Scr(Points[i].X), YBmp2Scr(Points[i].Y)} : Points[i];
    }
    MeasuringPen(Canvas, s, PenWidth, Colour);
    if (Count >= 2) {
        Canvas->Polyline(screen, Count);
    }
    for (int32_t i = 0; i < Count; ++i) {
        Daduvudez::KVSetplim(Bounds, screen[i].X, screen[i].Y);
    }
    if (Count < 3) {
        return;
    }
    const TPoint& a = screen[0];
    const TPoint& v = screen[1];
    const TPoint& b = screen[2];
    const std::string text =
        Kvvect::FormatMeasure(AngleValue(Points), FloatPrecision, FloatDigits) + "\xC2\xB0";
    const uint32_t align = SetTextAlign(Canvas, TA_LEFT | TA_TOP);
    Canvas->TextOut(v.X, v.Y, text);
    SetTextAlign(Canvas, align);
    GrowByText(Bounds, Canvas, v.X, v.Y, text);
    const int32_t r = std::min(Trunc(std::hypot(double(v.X) - a.X, double(v.Y) - a.Y)),
                               Trunc(std::hypot(double(v.X) - b.X, double(v.Y) - b.Y))) /
                      4;
    if (r > 0) {
        Canvas->Arc(v.X - r, v.Y - r, v.X + r, v.Y + r, a.X, a.Y, b.X, b.Y);
        Daduvudez::KVSetplim(Bounds, v.X - r, v.Y - r);
        Daduvudez::KVSetplim(Bounds, v.X + r, v.Y + r);
    }
}
