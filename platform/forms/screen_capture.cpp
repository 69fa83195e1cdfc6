// Screen capture through the platform's screen grabber, always on the user-interface thread.
#include "platform/forms/screen_capture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "platform/core/threads.h"
#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"
#include "platform/graphics/bitmap.h"

using namespace FormsDetail;

namespace {

// The arrow pointer, its tip (the hot spot) at (0, 0): outline in black, filled white.
const QPoint ArrowOutline[] = {{0, 0}, {0, 16}, {4, 12}, {7, 18}, {9, 17}, {6, 11}, {11, 11}};

// The area in global coordinates; empty when there is none.
QRect AreaRect(TCaptureArea area, const QRect& screen)
{
    if (area == TCaptureArea::WholeScreen) {
        return screen;
    }
    TForm* form = Screen ? Screen->ActiveForm() : nullptr;
    QWidget* widget = form ? form->Widget() : nullptr;
    if (widget == nullptr || !widget->isVisible()) {
        return {};
    }
    QWidget* client = form->ChildHost() ? form->ChildHost() : widget;
    const QRect rect = area == TCaptureArea::ActiveWindow
                           ? widget->window()->frameGeometry()
                           : QRect(client->mapToGlobal(QPoint(0, 0)), client->size());
    return rect.intersected(screen);
}

// The distance of p from the segment a-b.
double SegmentDistance(double px, double py, const QPoint& a, const QPoint& b)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double t = std::clamp(((px - a.x()) * dx + (py - a.y()) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - (a.x() + t * dx), py - (a.y() + t * dy));
}

void DrawArrow(QImage& image, const QPoint& tip)
{
    // Drawn by hand: the platform gives no picture of its standard pointers. A pixel whose centre
    // lies near the outline is black, one inside it (by the even-odd rule) white.
    const int32_t count = int32_t(std::size(ArrowOutline));
    for (int32_t y = 0; y <= 18; ++y) {
        for (int32_t x = 0; x <= 11; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            bool inside = false;
            double distance = 1e9;
            for (int32_t i = 0, j = count - 1; i < count; j = i++) {
                const QPoint a = ArrowOutline[i], b = ArrowOutline[j];
                if ((a.y() > py) != (b.y() > py) &&
                    px < (b.x() - a.x()) * (py - a.y()) / double(b.y() - a.y()) + a.x()) {
                    inside = !inside;
                }
                distance = std::min(distance, SegmentDistance(px, py, a, b));
            }
            const bool edge = distance <= 0.75;
            const QPoint at = tip + QPoint(x, y);
            if ((edge || inside) && image.rect().contains(at)) {
                image.setPixel(at, edge ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            }
        }
    }
}

bool Capture(TCaptureArea area, bool drawPointer, TBitmap& target)
{
    EnsureQtApplication();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return false;
    }
    const QRect virtualScreen = screen->virtualGeometry();
    const QRect rect = AreaRect(area, virtualScreen);
    if (rect.isEmpty()) {
        return false;
    }
    // The grabber counts from the primary screen's origin.
    const QPoint origin = rect.topLeft() - screen->geometry().topLeft();
    QImage image = screen->grabWindow(0, origin.x(), origin.y(), rect.width(), rect.height())
                       .toImage()
                       .convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        return false;
    }
    if (drawPointer) {
        const TPoint pointer = GetCursorPos();
        DrawArrow(image, QPoint(pointer.X, pointer.Y) - rect.topLeft());
    }
    target.SetPixelFormat(pf24bit);
    target.SetSize(image.width(), image.height());
    for (int32_t y = 0; y < image.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* row = target.ScanLine(y);
        for (int32_t x = 0; x < image.width(); ++x) {
            row[3 * x] = uint8_t(qBlue(source[x]));
            row[3 * x + 1] = uint8_t(qGreen(source[x]));
            row[3 * x + 2] = uint8_t(qRed(source[x]));
        }
    }
    return true;
}

} // namespace

bool CaptureScreenArea(TCaptureArea Area, bool DrawPointer, TBitmap& Target)
{
    bool captured = false;
    TThread::Synchronize(nullptr, [&] { captured = Capture(Area, DrawPointer, Target); });
    return captured;
}
