// What the forms layer's sources share about the platform's widgets: the application object,
// text conversion, the window-handle table, input translation and the guard that keeps
// exceptions from crossing the platform's event loop. Only the forms layer includes it.
#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "platform/forms/controls.h"
#include "platform/forms/messages.h"

class QKeyEvent;
class QWidget;
class QCursor;
class QEventLoop;
class QColor;
class QImage;
class QFont;

namespace FormsDetail {

// Creates the platform's application object on first use and hooks the class-library services
// (thread synchronisation, the application-wide message hook) into it.
void EnsureQtApplication();
// Deletes the application object if this layer created it.
void DestroyQtApplication();

inline QString ToQ(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQ(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Running message loops (the application's and the modal forms'), so that Terminate ends them.
void PushEventLoop(QEventLoop* Loop);
void PopEventLoop(QEventLoop* Loop);
void ExitEventLoops();

// Brings a window to the front and activates it (where the platform can raise windows).
void RaiseWindow(QWidget* Window);

// The window a dialog is shown over: the active form's, else none.
QWidget* DialogParent();

// Window handles: a handle names one live windowed control and is never reused.
HWND RegisterWindow(TWinControl* Control);
void UnregisterWindow(HWND Handle);
// The control of a live handle, else nullptr. User-interface thread only.
TWinControl* FindWindowControl(HWND Handle);
bool IsWindowLive(HWND Handle);

// Which control a widget belongs to: the widget's own, else its nearest parent's. A binding
// ends when its widget is destroyed, or by UnbindControl when its control is.
void BindWidget(const QWidget* Widget, TControl* Control);
void UnbindWidget(const QWidget* Widget);
void UnbindControl(const TControl* Control);
TControl* ControlOfWidget(const QWidget* Widget);
// The windowed control that a widget belongs to: its control, else that control's nearest parent.
TWinControl* WinControlOfWidget(const QWidget* Widget);
// Every binding, for tests that check that none outlives its widget or its control.
std::vector<std::pair<const QWidget*, TControl*>> WidgetBindings();

// Passes an exception that escaped a handler to the application's display.
void HandleEventException(TObject* Sender);
// Runs a handler of user code; exceptions are shown, never passed to the platform's loop.
template <class F> void Guarded(TObject* Sender, F&& Handler)
{
    try {
        Handler();
    } catch (...) {
        HandleEventException(Sender);
    }
}

// Input translation.
uint16_t VirtualKeyOf(const QKeyEvent& Event);
int QtKeyOf(uint16_t VirtualKey);
TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons);
Qt::KeyboardModifiers ModifiersOf(TShiftState Shift);
// The MK_ flags of a mouse message's WParam.
WPARAM MouseKeysOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons);
// The character a key press gives to KeyPress (Backspace 8, Tab 9, Enter 13, Escape 27, or a
// single-byte text character), else 0.
char KeyCharOf(const QKeyEvent& Event);
QCursor CursorOf(TCursor Cursor);
QColor QtColorOf(TColor Color);
QFont QtFontOf(const TFont& Font);

// A picture for a button: the first of NumGlyphs images side by side, its bottom-left pixel's
// colour transparent.
QImage GlyphImage(const TBitmap& Glyph, int32_t NumGlyphs);
// A copy of the bitmap's pixels as a 24-bit image.
QImage ImageOf(const TBitmap& Bitmap);

// Event types of this layer's own queued events.
QEvent::Type PostedMessageEventType();

// Sends mouse and key events of a widget to its control, as the class library's window
// procedure turns window messages into the control's events.
class TEventRouter : public QObject
{
public:
    explicit TEventRouter(TControl* Control);
    bool eventFilter(QObject* Watched, QEvent* Event) override;

    // Enter and exit follow the platform's focus, from the control that loses it to the one
    // that gains it.
    static void FocusChanged(QWidget* Old, QWidget* Now);

private:
    static void Enter(TWinControl* Control);
    static void Exit(TWinControl* Control);

    bool RouteMouse(QWidget* Widget, QEvent* Event);
    bool RouteKey(QWidget* Widget, QKeyEvent* Event);
    bool RouteGraphicControlKey(QWidget* Widget, QKeyEvent* Event);
    bool RouteWheel(QWidget* Widget, QEvent* Event);

    TControl* FControl;
};

} // namespace FormsDetail
