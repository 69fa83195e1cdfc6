// Screen capture through the platform's screen grabber, always on the user-interface thread.
#include "platform/forms/screen_capture.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

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

// ---------------------------------------------------------------------------------------------
// The active window of any program on X11

template <class T> using TXcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <class T> TXcbReply<T> Reply(T* reply)
{
    return TXcbReply<T>(reply, &std::free);
}

xcb_atom_t ExistingAtom(xcb_connection_t* c, const char* name)
{
    auto reply =
        Reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The first 32-bit value of a window's property, 0 when it has none.
uint32_t PropertyValue(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    if (property == XCB_ATOM_NONE) {
        return 0;
    }
    auto reply = Reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return 0;
    }
    return *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
}

bool HasProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    if (property == XCB_ATOM_NONE) {
        return false;
    }
    auto reply = Reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

// The window that takes the keyboard: the one the window manager calls active; without a window
// manager the input focus, and where the focus follows the pointer, the top-level window under it.
xcb_window_t ActiveX11Window(xcb_connection_t* c, xcb_window_t root)
{
    if (const uint32_t active = PropertyValue(c, root, ExistingAtom(c, "_NET_ACTIVE_WINDOW"))) {
        return active;
    }
    auto focus = Reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!focus || focus->focus == XCB_NONE) {
        return XCB_NONE;
    }
    if (focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT && focus->focus != root) {
        return focus->focus;
    }
    auto pointer = Reply(xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr));
    return pointer ? pointer->child : xcb_window_t(XCB_NONE);
}

QRect GeometryOnRoot(xcb_connection_t* c, xcb_window_t window, xcb_window_t root, bool withBorder)
{
    auto geometry = Reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    auto origin =
        Reply(xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr));
    if (!geometry || !origin) {
        return {};
    }
    // The origin is inside the border.
    const int32_t border = withBorder ? geometry->border_width : 0;
    return QRect(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
                 geometry->height + 2 * border);
}

// The active window's frame (its top-level window, the window manager's frame where there is one)
// or its client window (the one the window manager marks with WM_STATE, else the top-level one),
// in the root window's pixels; empty when no window is active or it is not shown.
QRect ActiveX11WindowRect(xcb_connection_t* c, bool client)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    xcb_window_t window = ActiveX11Window(c, root);
    if (window == XCB_NONE || window == root) {
        return {};
    }
    const xcb_atom_t wmState = ExistingAtom(c, "WM_STATE");
    xcb_window_t clientWindow = XCB_NONE;
    for (;;) {
        if (clientWindow == XCB_NONE && HasProperty(c, window, wmState)) {
            clientWindow = window;
        }
        auto tree = Reply(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) {
            return {}; // the window has gone
        }
        if (tree->parent == root || tree->parent == XCB_NONE) {
            break;
        }
        window = tree->parent;
    }
    auto attributes =
        Reply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        return {};
    }
    if (!client) {
        return GeometryOnRoot(c, window, root, true);
    }
    return GeometryOnRoot(c, clientWindow != XCB_NONE ? clientWindow : window, root, false);
}

// ---------------------------------------------------------------------------------------------

// The area in global coordinates; empty when there is none. On X11 the active window may be any
// program's; elsewhere (Wayland lets no program read another's windows) it is one of our forms.
QRect AreaRect(TCaptureArea area, const QRect& screen, qreal pixelRatio)
{
    if (area == TCaptureArea::WholeScreen) {
        return screen;
    }
    // The offscreen platform may offer an X11 interface of its own, without windows on it.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 != nullptr && x11->connection() != nullptr &&
        QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QRect pixels = ActiveX11WindowRect(x11->connection(), area == TCaptureArea::ActiveWindowClient);
        const QRect rect = QRectF(pixels.x() / pixelRatio, pixels.y() / pixelRatio,
                                  pixels.width() / pixelRatio, pixels.height() / pixelRatio)
                               .toAlignedRect();
        return rect.intersected(screen);
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
    const QRect rect = AreaRect(area, virtualScreen, screen->devicePixelRatio());
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
