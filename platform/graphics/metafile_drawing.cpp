// The metafile player's drawing: pens, brushes and figures, shapes, text and DIBs, and paths,
// all carried out on the canvas aliased.
#include "platform/graphics/detail/metafile_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/rounding.h"
#include "platform/graphics/detail/coverage.h"
#include "platform/graphics/dib.h"

namespace GraphicsDetail {

namespace {

constexpr uint32_t TA_UPDATECP = 1;
constexpr uint32_t TA_HORIZONTAL_MASK = 6;
constexpr uint32_t TA_RIGHT = 2;
constexpr uint32_t TA_CENTER = 6;
constexpr uint32_t TA_VERTICAL_MASK = 24;
constexpr uint32_t TA_BOTTOM = 8;
constexpr uint32_t TA_BASELINE = 24;
constexpr uint32_t ETO_OPAQUE = 2;
constexpr uint32_t ETO_CLIPPED = 4;
constexpr uint32_t DIB_PAL_INDICES = 2;

TPenStyle PenStyleOf(uint32_t style)
{
    switch (style & PS_STYLE_MASK) {
    case 1:
        return psDash;
    case 2:
    case 8: // alternate: every other pixel
        return psDot;
    case 3:
        return psDashDot;
    case 4:
        return psDashDotDot;
    case PS_NULL:
        return psClear;
    case 6:
        return psInsideFrame;
    default:
        return psSolid;
    }
}

std::string Utf8Of(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

} // namespace

// ---- Pens, brushes and figures ----

int32_t TMetafilePlayer::PenPixels() const
{
    const TPenSpec& pen = FState->Pen;
    if (pen.Width <= 0) {
        return 1;
    }
    const TXformD total = Total();
    const double scale = (total.ScaleX() + total.ScaleY()) / 2;
    return std::clamp(Round(pen.Width * scale), 1, 4096);
}

void TMetafilePlayer::ApplyPen()
{
    const TPenSpec& pen = FState->Pen;
    TPen* canvasPen = FCanvas.Pen();
    canvasPen->SetColor(TColor(pen.Color & 0xFFFFFF));
    canvasPen->SetWidth(PenPixels());
    canvasPen->SetStyle(PenStyleOf(pen.Style));
    ::SetROP2(&FCanvas, FState->Rop2);
    ::SetBkColor(&FCanvas, FState->BkColor);
    ::SetBkMode(&FCanvas, FState->BkMode);
}

void TMetafilePlayer::ApplyBrush(bool fill)
{
    const TBrushSpec& brush = FState->Brush;
    TBrush* canvasBrush = FCanvas.Brush();
    if (!fill || brush.Style == BS_NULL) {
        canvasBrush->SetStyle(bsClear);
    } else {
        canvasBrush->SetColor(TColor(brush.Color & 0xFFFFFF));
        static const TBrushStyle hatches[] = {bsHorizontal, bsVertical, bsFDiagonal,
                                              bsBDiagonal,  bsCross,    bsDiagCross};
        canvasBrush->SetStyle(brush.Style == BS_HATCHED && brush.Hatch < 6 ? hatches[brush.Hatch] : bsSolid);
    }
    ::SetPolyFillMode(&FCanvas, FState->FillMode);
    ::SetBkColor(&FCanvas, FState->BkColor);
    ::SetBkMode(&FCanvas, FState->BkMode);
}

void TMetafilePlayer::DrawFigures(const std::vector<std::vector<TPointD>>& figures, bool closed, bool fill,
                                  bool stroke)
{
    std::vector<TPoint> points;
    std::vector<int32_t> counts;
    for (const std::vector<TPointD>& figure : figures) {
        if (figure.empty()) {
            continue;
        }
        for (const TPointD& p : figure) {
            points.push_back(Pixel(p));
        }
        counts.push_back(int32_t(figure.size()));
    }
    if (points.empty()) {
        return;
    }
    ApplyPen();
    if (!stroke) {
        FCanvas.Pen()->SetStyle(psClear);
    }
    ApplyBrush(fill && closed);
    if (closed && fill) {
        FCanvas.PolyPolygon(points.data(), counts.data(), int32_t(counts.size()));
        return;
    }
    if (!stroke) {
        return;
    }
    size_t at = 0;
    for (int32_t count : counts) {
        std::vector<TPoint> line(points.begin() + ptrdiff_t(at),
                                 points.begin() + ptrdiff_t(at + size_t(count)));
        at += size_t(count);
        if (closed && line.size() > 1) {
            line.push_back(line.front());
        }
        if (line.size() == 1) {
            line.push_back(line.front());
        }
        FCanvas.Polyline(line);
    }
}

void TMetafilePlayer::Emit(const std::vector<std::vector<TPointD>>& figures, bool closed, bool fill)
{
    if (FInPath) {
        for (const std::vector<TPointD>& figure : figures) {
            FPath.push_back(figure);
            FPathClosed.push_back(closed);
        }
        return;
    }
    DrawFigures(figures, closed, fill, true);
}

std::vector<TPointD> TMetafilePlayer::EllipsePoints(double left, double top, double right,
                                                    double bottom) const
{
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::fabs(right - left) / 2, ry = std::fabs(bottom - top) / 2;
    const TXformD total = Total();
    const double pixels = (rx * total.ScaleX() + ry * total.ScaleY()) * M_PI;
    const int32_t steps = std::clamp(Trunc(pixels / 2), 16, 1440);
    std::vector<TPointD> points;
    for (int32_t i = 0; i < steps; ++i) {
        const double a = 2 * M_PI * i / steps;
        points.push_back(Device(cx + rx * std::cos(a), cy - ry * std::sin(a)));
    }
    return points;
}

// The arc from the ray toward start to the ray toward end, counter-clockwise as drawn unless
// clockwise, as device points.
std::vector<TPointD> TMetafilePlayer::ArcPoints(double left, double top, double right, double bottom,
                                                TPointD start, TPointD end, bool clockwise) const
{
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::fabs(right - left) / 2, ry = std::fabs(bottom - top) / 2;
    // Angles on the screen, where y grows downward; logical y may grow either way.
    const TXformD total = Total();
    const bool flipped = total.M11 * total.M22 - total.M12 * total.M21 < 0;
    auto angleOf = [&](TPointD p) {
        const double a = std::atan2(-(p.Y - cy) / std::max(ry, 1e-9), (p.X - cx) / std::max(rx, 1e-9));
        return flipped ? -a : a;
    };
    const double a0 = angleOf(start);
    double sweep = angleOf(end) - a0;
    if (clockwise) {
        sweep = sweep >= 0 ? sweep - 2 * M_PI : sweep;
        if (sweep == 0) {
            sweep = -2 * M_PI;
        }
    } else if (sweep <= 0) {
        sweep += 2 * M_PI;
    }
    const double pixels = std::fabs(sweep) * (rx * total.ScaleX() + ry * total.ScaleY()) / 2;
    const int32_t steps = std::clamp(Trunc(pixels / 2), 4, 1440);
    std::vector<TPointD> points;
    for (int32_t i = 0; i <= steps; ++i) {
        double a = a0 + sweep * i / steps;
        if (flipped) {
            a = -a;
        }
        points.push_back(Device(cx + rx * std::cos(a), cy - ry * std::sin(a)));
    }
    return points;
}

// ---- Drawing ----

void TMetafilePlayer::LineTo(double x, double y)
{
    const TPointD from = Device(FState->Position.X, FState->Position.Y), to = Device(x, y);
    FState->Position = {x, y};
    if (FInPath) {
        if (FPath.empty() || FPathClosed.back()) {
            FPath.push_back({from});
            FPathClosed.push_back(false);
        }
        FPath.back().push_back(to);
        return;
    }
    ApplyPen();
    const TPoint a = Pixel(from), b = Pixel(to);
    FCanvas.MoveTo(a.X, a.Y);
    FCanvas.LineTo(b.X, b.Y);
}

void TMetafilePlayer::Polyline(const std::vector<TPointD>& points)
{
    std::vector<TPointD> device;
    for (const TPointD& p : points) {
        device.push_back(Device(p.X, p.Y));
    }
    Emit({device}, false, false);
}

void TMetafilePlayer::PolylineTo(const std::vector<TPointD>& points)
{
    for (const TPointD& p : points) {
        LineTo(p.X, p.Y);
    }
}

void TMetafilePlayer::Polygon(const std::vector<TPointD>& points)
{
    PolyPolygon({points});
}

void TMetafilePlayer::PolyPolygon(const std::vector<std::vector<TPointD>>& polygons)
{
    std::vector<std::vector<TPointD>> device;
    for (const std::vector<TPointD>& polygon : polygons) {
        device.emplace_back();
        for (const TPointD& p : polygon) {
            device.back().push_back(Device(p.X, p.Y));
        }
    }
    Emit(device, true, true);
}

void TMetafilePlayer::PolyPolyline(const std::vector<std::vector<TPointD>>& polylines)
{
    for (const std::vector<TPointD>& line : polylines) {
        Polyline(line);
    }
}

namespace {

std::vector<TPointD> FlattenBeziers(const std::vector<TPointD>& points)
{
    std::vector<TPointD> out;
    if (points.empty()) {
        return out;
    }
    out.push_back(points[0]);
    for (size_t i = 1; i + 2 < points.size(); i += 3) {
        const TPointD p0 = out.back(), p1 = points[i], p2 = points[i + 1], p3 = points[i + 2];
        const double length = std::hypot(p1.X - p0.X, p1.Y - p0.Y) + std::hypot(p2.X - p1.X, p2.Y - p1.Y) +
                              std::hypot(p3.X - p2.X, p3.Y - p2.Y);
        const int32_t steps = std::clamp(Trunc(length / 3), 2, 256);
        for (int32_t s = 1; s <= steps; ++s) {
            const double t = double(s) / steps, u = 1 - t;
            out.push_back(
                {u * u * u * p0.X + 3 * u * u * t * p1.X + 3 * u * t * t * p2.X + t * t * t * p3.X,
                 u * u * u * p0.Y + 3 * u * u * t * p1.Y + 3 * u * t * t * p2.Y + t * t * t * p3.Y});
        }
    }
    return out;
}

} // namespace

void TMetafilePlayer::PolyBezier(const std::vector<TPointD>& points)
{
    std::vector<TPointD> device;
    for (const TPointD& p : points) {
        device.push_back(Device(p.X, p.Y));
    }
    Emit({FlattenBeziers(device)}, false, false);
}

void TMetafilePlayer::PolyBezierTo(const std::vector<TPointD>& points)
{
    if (points.size() < 3) {
        return;
    }
    std::vector<TPointD> device = {Device(FState->Position.X, FState->Position.Y)};
    for (const TPointD& p : points) {
        device.push_back(Device(p.X, p.Y));
    }
    const std::vector<TPointD> flat = FlattenBeziers(device);
    FState->Position = points[points.size() - 1 - (points.size() % 3)];
    if (FInPath) {
        if (FPath.empty() || FPathClosed.back()) {
            FPath.push_back({});
            FPathClosed.push_back(false);
        }
        FPath.back().insert(FPath.back().end(), flat.begin() + (FPath.back().empty() ? 0 : 1), flat.end());
        return;
    }
    DrawFigures({flat}, false, false, true);
}

void TMetafilePlayer::Rectangle(double left, double top, double right, double bottom)
{
    const TXformD total = Total();
    if (!FInPath && total.AxisAligned()) {
        const TPoint a = Pixel(Device(left, top)), b = Pixel(Device(right, bottom));
        ApplyPen();
        ApplyBrush(true);
        FCanvas.Rectangle(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y));
        return;
    }
    Emit({{Device(left, top), Device(right, top), Device(right, bottom), Device(left, bottom)}}, true, true);
}

void TMetafilePlayer::RoundRect(double left, double top, double right, double bottom, double cornerWidth,
                                double cornerHeight)
{
    const TXformD total = Total();
    if (!FInPath && total.AxisAligned()) {
        const TPoint a = Pixel(Device(left, top)), b = Pixel(Device(right, bottom));
        ApplyPen();
        ApplyBrush(true);
        FCanvas.RoundRect(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y),
                          Round(std::fabs(cornerWidth * total.M11)),
                          Round(std::fabs(cornerHeight * total.M22)));
        return;
    }
    // Corners of quarter ellipses, going round from the top right.
    const double rx = std::min(std::fabs(cornerWidth) / 2, std::fabs(right - left) / 2);
    const double ry = std::min(std::fabs(cornerHeight) / 2, std::fabs(bottom - top) / 2);
    const double l = std::min(left, right), r = std::max(left, right), t = std::min(top, bottom),
                 b = std::max(top, bottom);
    const double centres[4][2] = {{r - rx, t + ry}, {l + rx, t + ry}, {l + rx, b - ry}, {r - rx, b - ry}};
    std::vector<TPointD> figure;
    for (int32_t corner = 0; corner < 4; ++corner) {
        for (int32_t s = 0; s <= 8; ++s) {
            const double a = M_PI / 2 * (corner + s / 8.0);
            figure.push_back(
                Device(centres[corner][0] + rx * std::cos(a), centres[corner][1] - ry * std::sin(a)));
        }
    }
    Emit({figure}, true, true);
}

void TMetafilePlayer::Ellipse(double left, double top, double right, double bottom)
{
    const TXformD total = Total();
    if (!FInPath && total.AxisAligned()) {
        const TPoint a = Pixel(Device(left, top)), b = Pixel(Device(right, bottom));
        ApplyPen();
        ApplyBrush(true);
        FCanvas.Ellipse(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y));
        return;
    }
    Emit({EllipsePoints(left, top, right, bottom)}, true, true);
}

void TMetafilePlayer::ArcShape(TArcKind kind, double left, double top, double right, double bottom,
                               TPointD start, TPointD end)
{
    const bool clockwise = FState->ArcDirection == AD_CLOCKWISE;
    const TXformD total = Total();
    if (kind == akArcTo) {
        std::vector<TPointD> arc = ArcPoints(left, top, right, bottom, start, end, clockwise);
        const TPointD from = Device(FState->Position.X, FState->Position.Y);
        arc.insert(arc.begin(), from);
        // The position moves to the arc's end: back from the device to logical coordinates.
        const double det = total.M11 * total.M22 - total.M12 * total.M21;
        if (std::fabs(det) > 1e-12) {
            const TPointD e = arc.back();
            const double x = e.X - total.Dx, y = e.Y - total.Dy;
            FState->Position = {(total.M22 * x - total.M21 * y) / det,
                                (-total.M12 * x + total.M11 * y) / det};
        }
        if (FInPath) {
            if (FPath.empty() || FPathClosed.back()) {
                FPath.push_back({});
                FPathClosed.push_back(false);
            }
            FPath.back().insert(FPath.back().end(), arc.begin(), arc.end());
            return;
        }
        DrawFigures({arc}, false, false, true);
        return;
    }
    if (!FInPath && total.AxisAligned()) {
        const TPoint a = Pixel(Device(left, top)), b = Pixel(Device(right, bottom));
        TPoint s = Pixel(Device(start.X, start.Y)), e = Pixel(Device(end.X, end.Y));
        if (clockwise) {
            std::swap(s, e);
        }
        const int32_t x1 = std::min(a.X, b.X), y1 = std::min(a.Y, b.Y), x2 = std::max(a.X, b.X),
                      y2 = std::max(a.Y, b.Y);
        ApplyPen();
        ApplyBrush(kind != akArc);
        switch (kind) {
        case akPie:
            FCanvas.Pie(x1, y1, x2, y2, s.X, s.Y, e.X, e.Y);
            break;
        case akChord:
            FCanvas.Chord(x1, y1, x2, y2, s.X, s.Y, e.X, e.Y);
            break;
        default:
            FCanvas.Arc(x1, y1, x2, y2, s.X, s.Y, e.X, e.Y);
            break;
        }
        return;
    }
    std::vector<TPointD> arc = ArcPoints(left, top, right, bottom, start, end, clockwise);
    if (kind == akPie) {
        arc.push_back(Device((left + right) / 2, (top + bottom) / 2));
    }
    Emit({arc}, kind != akArc, kind != akArc);
}

void TMetafilePlayer::AngleArc(double cx, double cy, double radius, double startDegrees, double sweepDegrees)
{
    if (!std::isfinite(startDegrees) || !std::isfinite(sweepDegrees) || !std::isfinite(radius)) {
        return;
    }
    sweepDegrees = std::clamp(sweepDegrees, -3600.0, 3600.0);
    const TXformD total = Total();
    const double pixels =
        std::fabs(sweepDegrees) / 180 * M_PI * radius * (total.ScaleX() + total.ScaleY()) / 2;
    const int32_t steps = std::clamp(Trunc(pixels / 2), 2, 1440);
    std::vector<TPointD> logical;
    for (int32_t i = 0; i <= steps; ++i) {
        const double a = (startDegrees + sweepDegrees * i / steps) * M_PI / 180;
        logical.push_back({cx + radius * std::cos(a), cy - radius * std::sin(a)});
    }
    PolylineTo(logical);
}

void TMetafilePlayer::SetPixel(double x, double y, uint32_t color)
{
    if (FInPath) {
        return;
    }
    const TPoint p = Pixel(Device(x, y));
    ::SetPixel(&FCanvas, p.X, p.Y, color & 0xFFFFFF);
}

void TMetafilePlayer::TextOut(double x, double y, const std::u32string& text,
                              const std::vector<double>& advances, uint32_t options,
                              const std::optional<std::array<double, 4>>& rect)
{
    if (FInPath) {
        return;
    }
    TState& s = *FState;
    const TXformD total = Total();
    if (s.TextAlign & TA_UPDATECP) {
        x = s.Position.X;
        y = s.Position.Y;
    }
    // The rectangle: an opaque background first, then a clip for the text.
    std::shared_ptr<TRegionObject> savedClip = s.Clip;
    if (rect) {
        const auto& r = *rect;
        const TPointD a = Device(r[0], r[1]), b = Device(r[2], r[3]);
        if (options & ETO_OPAQUE) {
            FCanvas.Brush()->SetColor(TColor(s.BkColor));
            FCanvas.Brush()->SetStyle(bsSolid);
            const TPoint pa = Pixel(a), pb = Pixel(b);
            FCanvas.FillRect(
                Rect(std::min(pa.X, pb.X), std::min(pa.Y, pb.Y), std::max(pa.X, pb.X), std::max(pa.Y, pb.Y)));
        }
        if (options & ETO_CLIPPED) {
            IntersectClipRect(r[0], r[1], r[2], r[3]);
        }
    }
    TFont* font = FCanvas.Font();
    font->SetName(s.Font.FaceName.empty() ? "Arial" : s.Font.FaceName);
    int32_t height = Round(s.Font.Height * total.ScaleY());
    if (height == 0) {
        height = -std::max(1, Round(12 * total.ScaleY()));
    }
    font->SetHeight(std::clamp(height, -4096, 4096));
    TFontStyles styles;
    if (s.Font.Weight >= 600) {
        styles.Include(fsBold);
    }
    if (s.Font.Italic) {
        styles.Include(fsItalic);
    }
    if (s.Font.Underline) {
        styles.Include(fsUnderline);
    }
    if (s.Font.StrikeOut) {
        styles.Include(fsStrikeOut);
    }
    font->SetStyle(styles);
    font->SetQuality(fqNonAntialiased);
    // The direction of the text line on the screen: its escapement and the mapping's turn.
    const double turn = std::atan2(-total.M12, total.M11) * 180 / M_PI;
    const double baseline = total.AxisAligned() || !std::isfinite(turn) ? 0 : turn;
    const int32_t orientation = Round(s.Font.Escapement + baseline * 10);
    font->SetOrientation(((orientation % 3600) + 3600) % 3600);
    font->SetColor(TColor(s.TextColor));
    ::SetTextColor(&FCanvas, s.TextColor);
    ::SetBkColor(&FCanvas, s.BkColor);
    ::SetBkMode(&FCanvas, s.BkMode);
    ::SetROP2(&FCanvas, R2_COPYPEN);

    std::string utf8;
    for (char32_t c : text) {
        utf8 += Utf8Of(c);
    }
    const TTextMetrics metrics = MeasureText(*font, utf8);
    const double advanceScale = std::fabs(total.M11) > 0 ? total.ScaleX() : 1.0;
    double width = metrics.Width;
    if (!advances.empty()) {
        width = 0;
        for (double a : advances) {
            width += a * advanceScale;
        }
    }
    const double angle = font->Orientation() / 10.0 * M_PI / 180;
    const double dirX = std::cos(angle), dirY = -std::sin(angle);
    const double downX = std::sin(angle), downY = std::cos(angle);
    double along = 0, down = 0;
    switch (s.TextAlign & TA_HORIZONTAL_MASK) {
    case TA_RIGHT:
        along = width;
        break;
    case TA_CENTER:
        along = width / 2;
        break;
    default:
        break;
    }
    switch (s.TextAlign & TA_VERTICAL_MASK) {
    case TA_BOTTOM:
        down = metrics.Height();
        break;
    case TA_BASELINE:
        down = metrics.Ascent;
        break;
    default:
        break;
    }
    const TPointD reference = Device(x, y);
    const double left = reference.X - along * dirX - down * downX;
    const double top = reference.Y - along * dirY - down * downY;
    if (advances.empty()) {
        FCanvas.TextOut(Round(left), Round(top), utf8);
    } else {
        double at = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            FCanvas.TextOut(Round(left + at * dirX), Round(top + at * dirY), Utf8Of(text[i]));
            at += (i < advances.size() ? advances[i] : 0) * advanceScale;
        }
    }
    if (s.TextAlign & TA_UPDATECP) {
        s.Position.X += advanceScale > 0 ? width / advanceScale : 0;
    }
    if (rect && (options & ETO_CLIPPED)) {
        s.Clip = savedClip;
        ApplyClip();
    }
}

void TMetafilePlayer::StretchDIB(double x, double y, double width, double height, int32_t xSrc, int32_t ySrc,
                                 int32_t wSrc, int32_t hSrc, const uint8_t* dib, size_t dibSize,
                                 uint32_t usage, uint32_t rop, bool sourceFromTop)
{
    if (FInPath || !dib || dibSize < sizeof(BITMAPINFOHEADER) || usage == DIB_PAL_INDICES) {
        return;
    }
    // The header, its table (colours, or 16-bit palette indexes) and the rows must all lie in the
    // record.
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof(header));
    TDIBLayout layout;
    int64_t bitsOffset = 0;
    if (usage == DIB_PAL_COLORS && header.biBitCount <= 8) {
        const int64_t entries = DIBColorTableEntries(header);
        bitsOffset = int64_t(header.biSize) + 2 * entries;
        std::vector<uint8_t> probe(size_t(std::max<int64_t>(DIBBitsOffset(header), 0)), 0);
        if (DIBBitsOffset(header) < 0 || header.biSize > dibSize) {
            return;
        }
        std::memcpy(probe.data(), dib, std::min<size_t>(header.biSize, probe.size()));
        if (!ParseDIBHeader(probe.data(), probe.size(), layout)) {
            return;
        }
    } else {
        if (!ParseDIBHeader(dib, dibSize, layout)) {
            return;
        }
        bitsOffset = int64_t(layout.BitsOffset);
        usage = DIB_RGB_COLORS;
    }
    if (bitsOffset < 0 || uint64_t(bitsOffset) + uint64_t(layout.ImageSize) > dibSize) {
        return;
    }
    if (sourceFromTop && !layout.TopDown) {
        ySrc = layout.Height - ySrc - hSrc;
    }
    const TPointD a = Device(x, y), b = Device(x + width, y + height);
    const TPoint pa = Pixel(a), pb = Pixel(b);
    ::SetStretchBltMode(&FCanvas, FState->StretchMode);
    ApplyBrush(true);
    ::StretchDIBits(&FCanvas, pa.X, pa.Y, pb.X - pa.X, pb.Y - pa.Y, xSrc, ySrc, wSrc, hSrc, dib + bitsOffset,
                    reinterpret_cast<const BITMAPINFO*>(dib), usage, rop);
}

void TMetafilePlayer::PatBlt(double x, double y, double width, double height, uint32_t rop)
{
    if (FInPath) {
        return;
    }
    const TPoint a = Pixel(Device(x, y)), b = Pixel(Device(x + width, y + height));
    ApplyBrush(true);
    ::PatBlt(&FCanvas, std::min(a.X, b.X), std::min(a.Y, b.Y), std::abs(b.X - a.X), std::abs(b.Y - a.Y), rop);
}

void TMetafilePlayer::FillRegion(const TRegionObject* region, const TBrushSpec* brush)
{
    if (!region || region->Spans.empty() || FInPath) {
        return;
    }
    const TBrushSpec saved = FState->Brush;
    if (brush) {
        FState->Brush = *brush;
    }
    const auto clip = FState->Clip ? CombineRegions(FState->Clip.get(), region, rmAnd)
                                   : std::make_shared<TRegionObject>(*region);
    const auto both = FCanvasClip ? CombineRegions(FCanvasClip.get(), clip.get(), rmAnd) : clip;
    ::SelectClipRgn(&FCanvas, both.get());
    ApplyBrush(true);
    FCanvas.FillRect(region->Bounds);
    FState->Brush = saved;
    ApplyClip();
}

// ---- Paths ----

void TMetafilePlayer::BeginPath()
{
    FInPath = true;
    FPath.clear();
    FPathClosed.clear();
}

void TMetafilePlayer::EndPath()
{
    FInPath = false;
}

void TMetafilePlayer::AbortPath()
{
    FInPath = false;
    FPath.clear();
    FPathClosed.clear();
}

void TMetafilePlayer::CloseFigure()
{
    if (FInPath && !FPathClosed.empty()) {
        FPathClosed.back() = true;
    }
}

void TMetafilePlayer::FillPath()
{
    if (FInPath) {
        return;
    }
    DrawFigures(FPath, true, true, false);
    FPath.clear();
    FPathClosed.clear();
}

void TMetafilePlayer::StrokePath()
{
    if (FInPath) {
        return;
    }
    for (size_t i = 0; i < FPath.size(); ++i) {
        DrawFigures({FPath[i]}, FPathClosed[i], false, true);
    }
    FPath.clear();
    FPathClosed.clear();
}

void TMetafilePlayer::StrokeAndFillPath()
{
    if (FInPath) {
        return;
    }
    DrawFigures(FPath, true, true, false);
    for (size_t i = 0; i < FPath.size(); ++i) {
        DrawFigures({FPath[i]}, true, false, true);
    }
    FPath.clear();
    FPathClosed.clear();
}

void TMetafilePlayer::SelectClipPath(TRegionMode mode)
{
    if (FInPath) {
        return;
    }
    const auto region = RegionOfPolygons(FPath, FState->FillMode == WINDING, FBounds);
    FPath.clear();
    FPathClosed.clear();
    SelectClipRegion(region.get(), mode);
}

} // namespace GraphicsDetail
