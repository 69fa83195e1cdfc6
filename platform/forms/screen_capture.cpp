// Screen capture through the platform's screen grabber, always on the user-interface thread.
#include "platform/forms/screen_capture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <algorithm>
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

// The arrow pointer, its tip (the hot spot) at the top-left: B black, W white, the rest clear.
const char* const Arrow[] = {
    "B...........", "BB..........", "BWB.........", "BWWB........", "BWWWB.......",
    "BWWWWB......", "BWWWWWB.....", "BWWWWWWB....", "BWWWWWWWB...", "BWWWWWWWWB..",
    "BWWWWWWWWWB.", "BWWWWWWBBBBB", "BWWWBWWB....", "BWWBBWWB....", "BWB..BWWB...",
    "BB...BWWB...", "B.....BWWB..", "......BWWB..", ".......BB...",
};

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

void DrawArrow(QImage& image, const QPoint& tip)
{
    // Drawn by hand: the platform gives no picture of its standard pointers.
    for (int32_t y = 0; y < int32_t(std::size(Arrow)); ++y) {
        for (int32_t x = 0; Arrow[y][x] != 0; ++x) {
            const QPoint at = tip + QPoint(x, y);
            if (Arrow[y][x] != '.' && image.rect().contains(at)) {
                image.setPixel(at, Arrow[y][x] == 'B' ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
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
