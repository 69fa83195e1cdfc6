// Geometry and glyphs rendered by Qt into coverage masks, aliased unless smoothing is asked for.
// Qt never touches a raster here: a QImage header wraps the mask only while QPainter draws.
#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/graphics/detail/coverage.h"

namespace GraphicsDetail {

namespace {

// Fonts need a QGuiApplication. The forms layer makes one at start-up; code that draws text
// without it (codecs, tests) gets one here, on a platform that needs no display.
void EnsureGuiApplication()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication::instance()) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "korvane";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    });
}

// A painter over the mask, translated so that it takes device coordinates.
class TMaskPainter
{
public:
    explicit TMaskPainter(TCoverage& coverage)
        : FImage(coverage.Alpha.data(), coverage.Bounds.Width(), coverage.Bounds.Height(), coverage.Stride,
                 QImage::Format_Alpha8),
          FPainter(&FImage)
    {
        FPainter.setRenderHint(QPainter::Antialiasing, false);
        FPainter.translate(-coverage.Bounds.Left, -coverage.Bounds.Top);
    }
    QPainter& Painter() { return FPainter; }

private:
    QImage FImage;
    QPainter FPainter;
};

// The ellipse through the centres of the box's outer pixels.
QRectF CentreBox(const TRect& box)
{
    return QRectF(box.Left + 0.5, box.Top + 0.5, box.Width() - 1.0, box.Height() - 1.0);
}

double AngleOf(const QRectF& box, TPoint p)
{
    // Qt's angles run counter-clockwise with y upward, the sense of the canvas's Arc.
    const QPointF c = box.center();
    return std::atan2(-(p.Y + 0.5 - c.y()), p.X + 0.5 - c.x()) * 180.0 / M_PI;
}

QPainterPath PathOf(const TShape& shape, bool forFill)
{
    QPainterPath path;
    switch (shape.Kind) {
    case TShape::Polygon:
    case TShape::Polyline: {
        // Fills take vertices on pixel corners (a pixel is inside when its centre is); strokes run
        // through pixel centres.
        const double offset = forFill ? 0.0 : 0.5;
        for (size_t i = 0; i < shape.Points.size(); ++i) {
            const QPointF p(shape.Points[i].X + offset, shape.Points[i].Y + offset);
            if (i == 0) {
                path.moveTo(p);
            } else {
                path.lineTo(p);
            }
        }
        if (shape.Kind == TShape::Polygon) {
            path.closeSubpath();
        }
        break;
    }
    case TShape::Ellipse:
        if (forFill) {
            path.addEllipse(QRectF(shape.Box.Left, shape.Box.Top, shape.Box.Width(), shape.Box.Height()));
        } else {
            path.addEllipse(CentreBox(shape.Box));
        }
        break;
    case TShape::RoundRect: {
        const QRectF box = forFill
                               ? QRectF(shape.Box.Left, shape.Box.Top, shape.Box.Width(), shape.Box.Height())
                               : CentreBox(shape.Box);
        path.addRoundedRect(box, shape.CornerWidth / 2.0, shape.CornerHeight / 2.0);
        break;
    }
    case TShape::Arc:
    case TShape::Pie:
    case TShape::Chord: {
        // Fill and outline follow the same curve through pixel centres, so that the straight edges
        // meet the curve where the outline does and no fill shows outside it.
        (void)forFill;
        const QRectF centreBox = CentreBox(shape.Box);
        const QRectF box = centreBox;
        const double start = AngleOf(centreBox, shape.ArcStart);
        double sweep = AngleOf(centreBox, shape.ArcEnd) - start;
        if (sweep <= 0) {
            sweep += 360.0;
        }
        path.arcMoveTo(box, start);
        path.arcTo(box, start, sweep);
        if (shape.Kind == TShape::Pie) {
            path.lineTo(box.center());
        }
        if (shape.Kind != TShape::Arc) {
            path.closeSubpath();
        }
        break;
    }
    case TShape::PolyPolygon: {
        const double offset = forFill ? 0.0 : 0.5;
        for (const std::vector<TPoint>& figure : shape.Figures) {
            for (size_t i = 0; i < figure.size(); ++i) {
                const QPointF p(figure[i].X + offset, figure[i].Y + offset);
                if (i == 0) {
                    path.moveTo(p);
                } else {
                    path.lineTo(p);
                }
            }
            if (!figure.empty()) {
                path.closeSubpath();
            }
        }
        break;
    }
    }
    return path;
}

} // namespace

void FillShape(TCoverage& coverage, const TShape& shape, bool winding)
{
    if (coverage.IsEmpty()) {
        return;
    }
    QPainterPath path = PathOf(shape, true);
    path.setFillRule(winding ? Qt::WindingFill : Qt::OddEvenFill);
    TMaskPainter mask(coverage);
    mask.Painter().fillPath(path, QColor(0, 0, 0, 255));
}

void StrokeShape(TCoverage& coverage, const TShape& shape, int32_t width)
{
    if (coverage.IsEmpty()) {
        return;
    }
    TMaskPainter mask(coverage);
    QPen pen(QColor(0, 0, 0, 255));
    pen.setWidth(width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    mask.Painter().setPen(pen);
    mask.Painter().setBrush(Qt::NoBrush);
    mask.Painter().drawPath(PathOf(shape, false));
}

std::vector<std::vector<TPoint>> OutlineOf(const TShape& shape)
{
    std::vector<std::vector<TPoint>> result;
    const QPainterPath path = PathOf(shape, false);
    for (const QPolygonF& polygon : path.toSubpathPolygons()) {
        std::vector<TPoint> points;
        for (const QPointF& p : polygon) {
            const TPoint pixel{int32_t(std::floor(p.x())), int32_t(std::floor(p.y()))};
            if (points.empty() || !(points.back() == pixel)) {
                points.push_back(pixel);
            }
        }
        if (!points.empty()) {
            result.push_back(std::move(points));
        }
    }
    return result;
}

namespace {

QFont MakeQtFont(const TFont& font)
{
    QFont result(QString::fromStdString(TFont::ResolvedFamily(font.Name())));
    result.setStyleStrategy(IsSmoothed(font) ? QFont::PreferAntialias : QFont::NoAntialias);
    // Hinting would follow each machine's font configuration; unhinted glyphs are the same
    // everywhere.
    result.setHintingPreference(QFont::PreferNoHinting);
    result.setBold(font.Style().Contains(fsBold));
    result.setItalic(font.Style().Contains(fsItalic));
    result.setUnderline(font.Style().Contains(fsUnderline));
    result.setStrikeOut(font.Style().Contains(fsStrikeOut));
    int32_t height = font.Height();
    if (height == 0) {
        height = -12;
    }
    if (height < 0) {
        result.setPixelSize(std::max(1, -height));
    } else {
        // A positive height is the cell (ascent + descent): estimate the em size from the
        // font's proportions, then take the size nearby whose rounded cell comes closest.
        result.setPixelSize(100);
        const QFontMetricsF proportions(result);
        const double cell = proportions.ascent() + proportions.descent();
        const int estimate = std::max(1, int(std::lround(height * 100.0 / (cell > 0 ? cell : 100.0))));
        int best = estimate, bestError = INT_MAX;
        for (int size = std::max(1, estimate - 2); size <= estimate + 2; ++size) {
            result.setPixelSize(size);
            const QFontMetrics metrics(result);
            const int error = std::abs(metrics.ascent() + metrics.descent() - height);
            if (error < bestError) {
                best = size;
                bestError = error;
            }
        }
        result.setPixelSize(best);
    }
    return result;
}

// Fonts recently asked for, per thread: finding a font and its metrics costs more than drawing a
// short text.
struct TFontKey
{
    std::string Family;
    int32_t Height;
    uint8_t Style;
    bool Smoothed;
    friend bool operator==(const TFontKey&, const TFontKey&) = default;
};

const QFont& QtFontOf(const TFont& font)
{
    EnsureGuiApplication();
    struct TCached
    {
        TFontKey Key;
        QFont Font;
    };
    thread_local std::vector<TCached> cache;
    const TFontKey key{TFont::ResolvedFamily(font.Name()), font.Height(), font.Style().Bits(),
                       IsSmoothed(font)};
    for (size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].Key == key) {
            if (i != 0) {
                std::swap(cache[i], cache[0]);
            }
            return cache[0].Font;
        }
    }
    if (cache.size() >= 16) {
        cache.pop_back();
    }
    cache.insert(cache.begin(), TCached{key, MakeQtFont(font)});
    return cache[0].Font;
}

} // namespace

bool IsSmoothed(const TFont& font)
{
    const TFontQuality quality = font.Quality();
    return quality == fqAntialiased || quality == fqClearType || quality == fqClearTypeNatural;
}

TTextMetrics MeasureText(const TFont& font, const std::string& text)
{
    const QFont& qfont = QtFontOf(font);
    const QFontMetrics metrics(qfont);
    TTextMetrics result;
    result.Width = metrics.horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    result.Ascent = metrics.ascent();
    result.Descent = metrics.descent();
    return result;
}

void RenderText(TCoverage& coverage, const TFont& font, int32_t x, int32_t y, const std::string& text)
{
    if (coverage.IsEmpty() || text.empty()) {
        return;
    }
    const QFont& qfont = QtFontOf(font);
    const QFontMetrics metrics(qfont);
    TMaskPainter mask(coverage);
    QPainter& painter = mask.Painter();
    painter.setRenderHint(QPainter::TextAntialiasing, IsSmoothed(font));
    painter.setFont(qfont);
    painter.setPen(QColor(0, 0, 0, 255));
    painter.translate(x, y);
    if (font.Orientation() != 0) {
        painter.rotate(-font.Orientation() / 10.0);
    }
    painter.drawText(0, metrics.ascent(), QString::fromUtf8(text.data(), qsizetype(text.size())));
}

} // namespace GraphicsDetail
