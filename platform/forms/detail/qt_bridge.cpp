// The platform's application object, the window-handle table, posted messages, thread
// synchronisation, the application-wide message hook and input translation.
#include "platform/forms/detail/qt_bridge.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/core/threads.h"
#include "platform/forms/form.h"

namespace FormsDetail {

namespace {

QApplication* gOwnApplication = nullptr;
QObject* gPump = nullptr;
QObject* gHook = nullptr;

std::mutex gWindowsLock;
std::unordered_map<HWND, TWinControl*> gWindows;
HWND gNextHandle = 0x100;

// A binding goes when either side dies: the widget's own end removes it (its parent or the
// platform may delete it while the control lives), and so does the control's destructor. A new
// widget born at a dead one's address must never find the old, freed control.
struct TBinding
{
    TControl* Control = nullptr;
    QMetaObject::Connection WidgetDeath;
};
using TBindings = std::unordered_map<const QWidget*, TBinding>;

// Never destroyed: widgets that outlive the program's static objects still unbind on their way.
TBindings& Bindings()
{
    static auto* bindings = new TBindings;
    return *bindings;
}

void EraseBinding(TBindings::iterator Binding)
{
    QObject::disconnect(Binding->second.WidgetDeath);
    Bindings().erase(Binding);
}

QEvent::Type SynchronizeEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class TPostedMessageEvent : public QEvent
{
public:
    TPostedMessageEvent(HWND Window, uint32_t Msg, WPARAM WParam, LPARAM LParam)
        : QEvent(PostedMessageEventType()), FWindow(Window), FMsg(Msg), FWParam(WParam), FLParam(LParam)
    {
    }
    HWND FWindow;
    uint32_t FMsg;
    WPARAM FWParam;
    LPARAM FLParam;
};

// Lives on the user-interface thread; posted messages and synchronisation requests are queued
// to it from any thread.
class TMessagePump : public QObject
{
public:
    bool event(QEvent* Event) override
    {
        if (Event->type() == PostedMessageEventType()) {
            Deliver(*static_cast<TPostedMessageEvent*>(Event));
            return true;
        }
        if (Event->type() == SynchronizeEventType()) {
            Guarded(nullptr, [] { TThread::CheckSynchronize(); });
            return true;
        }
        return QObject::event(Event);
    }

private:
    static void Deliver(const TPostedMessageEvent& Posted)
    {
        TMsg msg{Posted.FWindow, Posted.FMsg, Posted.FWParam, Posted.FLParam};
        bool handled = false;
        Guarded(Application, [&] { handled = Application->DispatchHook(msg); });
        if (handled) {
            return;
        }
        TWinControl* control = FindWindowControl(msg.hwnd);
        if (control) {
            Guarded(control, [&] { control->Perform(msg.message, msg.wParam, msg.lParam); });
        }
    }
};

HWND HandleOfWidget(QObject* Object)
{
    TWinControl* control = WinControlOfWidget(qobject_cast<QWidget*>(Object));
    return control ? control->Handle() : 0;
}

uint32_t MouseMessageOf(QEvent::Type Type, Qt::MouseButton Button)
{
    const int offset = Type == QEvent::MouseButtonPress ? 0 : Type == QEvent::MouseButtonRelease ? 1 : 2;
    switch (Button) {
    case Qt::LeftButton:
        return WM_LBUTTONDOWN + offset;
    case Qt::RightButton:
        return WM_RBUTTONDOWN + offset;
    case Qt::MiddleButton:
        return WM_MBUTTONDOWN + offset;
    default:
        return WM_NULL;
    }
}

// Shows key, mouse-button and wheel messages to the application's hook before any widget sees
// them. A key press reaches the hook once: as the shortcut check that precedes it (so that the
// hook overrides menu shortcuts, as it does in the class library) or, without one, as itself.
class TApplicationHook : public QObject
{
public:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        switch (Event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return FilterKey(Watched, static_cast<QKeyEvent*>(Event));
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return FilterMouse(Watched, static_cast<QMouseEvent*>(Event));
        case QEvent::Wheel:
            return FilterWheel(Watched, static_cast<QWheelEvent*>(Event));
        default:
            return false;
        }
    }

private:
    struct TSeen
    {
        QEvent::Type Type = QEvent::None;
        quint64 Timestamp = 0;
        QPointF Global;
        bool Handled = false;
    };

    static bool Hook(TMsg& Msg)
    {
        if (!Application) {
            return false;
        }
        bool handled = false;
        Guarded(Application, [&] { handled = Application->DispatchHook(Msg); });
        return handled;
    }

    bool FilterKey(QObject* Watched, QKeyEvent* Event)
    {
        const uint16_t key = VirtualKeyOf(*Event);
        if (key == 0) {
            return false;
        }
        const bool alt = Event->modifiers() & Qt::AltModifier;
        if (Event->type() == QEvent::KeyRelease) {
            FOverrideValid = false;
            TMsg msg{HandleOfWidget(Watched), alt ? uint32_t(WM_SYSKEYUP) : uint32_t(WM_KEYUP), key, 0};
            return Hook(msg);
        }
        if (FOverrideValid && FOverrideKey == key &&
            (Event->type() == QEvent::KeyPress || Event->timestamp() == FOverrideTimestamp)) {
            // The shortcut check of this very press already went through the hook (the check
            // may ask more than once).
            if (Event->type() == QEvent::KeyPress) {
                FOverrideValid = false;
            } else if (FOverrideHandled) {
                Event->accept();
            }
            return FOverrideHandled;
        }
        TMsg msg{HandleOfWidget(Watched), alt ? uint32_t(WM_SYSKEYDOWN) : uint32_t(WM_KEYDOWN), key, 0};
        const bool handled = Hook(msg);
        if (Event->type() == QEvent::ShortcutOverride) {
            FOverrideValid = true;
            FOverrideKey = key;
            FOverrideTimestamp = Event->timestamp();
            FOverrideHandled = handled;
            if (handled) {
                Event->accept();
            }
        }
        return handled;
    }

    // A mouse event that no widget takes travels up to the parents; the hook sees it once.
    bool AlreadySeen(QEvent::Type Type, quint64 Timestamp, QPointF Global, bool& Handled)
    {
        if (FSeen.Type == Type && FSeen.Timestamp == Timestamp && FSeen.Global == Global) {
            Handled = FSeen.Handled;
            return true;
        }
        FSeen = TSeen{Type, Timestamp, Global, false};
        return false;
    }

    bool FilterMouse(QObject* Watched, QMouseEvent* Event)
    {
        bool handled = false;
        if (AlreadySeen(Event->type(), Event->timestamp(), Event->globalPosition(), handled)) {
            return handled;
        }
        const uint32_t message = MouseMessageOf(Event->type(), Event->button());
        if (message == WM_NULL) {
            return false;
        }
        const QPoint pos = Event->position().toPoint();
        TMsg msg{HandleOfWidget(Watched), message, MouseKeysOf(Event->modifiers(), Event->buttons()),
                 MAKELPARAM(int16_t(pos.x()), int16_t(pos.y()))};
        FSeen.Handled = Hook(msg);
        return FSeen.Handled;
    }

    bool FilterWheel(QObject* Watched, QWheelEvent* Event)
    {
        bool handled = false;
        if (AlreadySeen(Event->type(), Event->timestamp(), Event->globalPosition(), handled)) {
            return handled;
        }
        const QPoint global = Event->globalPosition().toPoint();
        const int delta = Event->angleDelta().y();
        TMsg msg{
            HandleOfWidget(Watched), WM_MOUSEWHEEL,
            MAKEWPARAM(uint16_t(MouseKeysOf(Event->modifiers(), Event->buttons())), uint16_t(int16_t(delta))),
            MAKELPARAM(int16_t(global.x()), int16_t(global.y()))};
        FSeen.Handled = Hook(msg);
        return FSeen.Handled;
    }

    bool FOverrideValid = false;
    uint16_t FOverrideKey = 0;
    quint64 FOverrideTimestamp = 0;
    bool FOverrideHandled = false;
    TSeen FSeen;
};

} // namespace

QEvent::Type PostedMessageEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void EnsureQtApplication()
{
    if (gPump) {
        return;
    }
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "plimbet";
        static char* argv[] = {name, nullptr};
        gOwnApplication = new QApplication(argc, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    {
        // Workers read the pump when they post.
        std::lock_guard<std::mutex> lock(gWindowsLock);
        gPump = new TMessagePump;
    }
    gHook = new TApplicationHook;
    QApplication::instance()->installEventFilter(gHook);
    QObject::connect(qApp, &QApplication::focusChanged, gHook, &TEventRouter::FocusChanged);
    QObject* pump = gPump;
    TThread::WakeMainThread = [pump] {
        QCoreApplication::postEvent(pump, new QEvent(SynchronizeEventType()));
    };
}

void DestroyQtApplication()
{
    TThread::WakeMainThread = nullptr;
    if (gHook && QApplication::instance()) {
        QApplication::instance()->removeEventFilter(gHook);
    }
    delete gHook;
    gHook = nullptr;
    {
        std::lock_guard<std::mutex> lock(gWindowsLock);
        delete gPump;
        gPump = nullptr;
    }
    delete gOwnApplication;
    gOwnApplication = nullptr;
}

void RaiseWindow(QWidget* Window)
{
    // Windows without a window system (tests) cannot be raised; asking only prints a warning.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        Window->raise();
    }
    Window->activateWindow();
}

QWidget* DialogParent()
{
    if (Screen) {
        if (TForm* form = Screen->ActiveForm()) {
            return form->Widget();
        }
    }
    return QApplication::activeWindow();
}

HWND RegisterWindow(TWinControl* Control)
{
    std::lock_guard<std::mutex> lock(gWindowsLock);
    const HWND handle = gNextHandle++;
    gWindows[handle] = Control;
    return handle;
}

void UnregisterWindow(HWND Handle)
{
    std::lock_guard<std::mutex> lock(gWindowsLock);
    gWindows.erase(Handle);
}

TWinControl* FindWindowControl(HWND Handle)
{
    std::lock_guard<std::mutex> lock(gWindowsLock);
    auto found = gWindows.find(Handle);
    return found == gWindows.end() ? nullptr : found->second;
}

bool IsWindowLive(HWND Handle)
{
    std::lock_guard<std::mutex> lock(gWindowsLock);
    return gWindows.count(Handle) != 0;
}

void BindWidget(const QWidget* Widget, TControl* Control)
{
    auto [binding, added] = Bindings().try_emplace(Widget);
    binding->second.Control = Control;
    if (added) {
        // Emitted while the widget dies, before its address can be given to another.
        binding->second.WidgetDeath =
            QObject::connect(Widget, &QObject::destroyed, [Widget] { UnbindWidget(Widget); });
    }
}

void UnbindWidget(const QWidget* Widget)
{
    if (auto found = Bindings().find(Widget); found != Bindings().end()) {
        EraseBinding(found);
    }
}

void UnbindControl(const TControl* Control)
{
    TBindings& bindings = Bindings();
    for (auto binding = bindings.begin(); binding != bindings.end();) {
        auto next = std::next(binding);
        if (binding->second.Control == Control) {
            EraseBinding(binding);
        }
        binding = next;
    }
}

TControl* ControlOfWidget(const QWidget* Widget)
{
    for (; Widget; Widget = Widget->parentWidget()) {
        auto found = Bindings().find(Widget);
        if (found != Bindings().end()) {
            return found->second.Control;
        }
    }
    return nullptr;
}

TWinControl* WinControlOfWidget(const QWidget* Widget)
{
    for (TControl* control = ControlOfWidget(Widget); control; control = control->Parent()) {
        if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
            return windowed;
        }
    }
    return nullptr;
}

std::vector<std::pair<const QWidget*, TControl*>> WidgetBindings()
{
    std::vector<std::pair<const QWidget*, TControl*>> bindings;
    for (const auto& [widget, binding] : Bindings()) {
        bindings.emplace_back(widget, binding.Control);
    }
    return bindings;
}

void HandleEventException(TObject* Sender)
{
    if (Application) {
        Application->HandleException(Sender);
    }
}

uint16_t VirtualKeyOf(const QKeyEvent& Event)
{
    const int key = Event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return uint16_t('A' + (key - Qt::Key_A));
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        if (Event.modifiers() & Qt::KeypadModifier) {
            return uint16_t(VK_NUMPAD0 + (key - Qt::Key_0));
        }
        return uint16_t('0' + (key - Qt::Key_0));
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        return uint16_t(VK_F1 + (key - Qt::Key_F1));
    }
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Print:
        return VK_SNAPSHOT;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Help:
        return VK_HELP;
    case Qt::Key_Asterisk:
        return (Event.modifiers() & Qt::KeypadModifier) ? uint16_t(VK_MULTIPLY) : uint16_t(0);
    case Qt::Key_Plus:
        return (Event.modifiers() & Qt::KeypadModifier) ? uint16_t(VK_ADD) : uint16_t(0);
    case Qt::Key_Minus:
        return (Event.modifiers() & Qt::KeypadModifier) ? uint16_t(VK_SUBTRACT) : uint16_t(0);
    case Qt::Key_Slash:
        return (Event.modifiers() & Qt::KeypadModifier) ? uint16_t(VK_DIVIDE) : uint16_t(0);
    case Qt::Key_NumLock:
        return VK_NUMLOCK;
    case Qt::Key_ScrollLock:
        return VK_SCROLL;
    default:
        return 0;
    }
}

int QtKeyOf(uint16_t VirtualKey)
{
    if (VirtualKey >= 'A' && VirtualKey <= 'Z') {
        return Qt::Key_A + (VirtualKey - 'A');
    }
    if (VirtualKey >= '0' && VirtualKey <= '9') {
        return Qt::Key_0 + (VirtualKey - '0');
    }
    if (VirtualKey >= VK_NUMPAD0 && VirtualKey <= VK_NUMPAD0 + 9) {
        return Qt::Key_0 + (VirtualKey - VK_NUMPAD0);
    }
    if (VirtualKey >= VK_F1 && VirtualKey <= VK_F12) {
        return Qt::Key_F1 + (VirtualKey - VK_F1);
    }
    switch (VirtualKey) {
    case VK_BACK:
        return Qt::Key_Backspace;
    case VK_TAB:
        return Qt::Key_Tab;
    case VK_RETURN:
        return Qt::Key_Return;
    case VK_SHIFT:
        return Qt::Key_Shift;
    case VK_CONTROL:
        return Qt::Key_Control;
    case VK_MENU:
        return Qt::Key_Alt;
    case VK_ESCAPE:
        return Qt::Key_Escape;
    case VK_SPACE:
        return Qt::Key_Space;
    case VK_PRIOR:
        return Qt::Key_PageUp;
    case VK_NEXT:
        return Qt::Key_PageDown;
    case VK_END:
        return Qt::Key_End;
    case VK_HOME:
        return Qt::Key_Home;
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_UP:
        return Qt::Key_Up;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_DOWN:
        return Qt::Key_Down;
    case VK_INSERT:
        return Qt::Key_Insert;
    case VK_DELETE:
        return Qt::Key_Delete;
    default:
        return Qt::Key_unknown;
    }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons)
{
    TShiftState shift = 0;
    if (Modifiers & Qt::ShiftModifier) {
        shift |= ssShift;
    }
    if (Modifiers & Qt::AltModifier) {
        shift |= ssAlt;
    }
    if (Modifiers & Qt::ControlModifier) {
        shift |= ssCtrl;
    }
    if (Buttons & Qt::LeftButton) {
        shift |= ssLeft;
    }
    if (Buttons & Qt::RightButton) {
        shift |= ssRight;
    }
    if (Buttons & Qt::MiddleButton) {
        shift |= ssMiddle;
    }
    return shift;
}

Qt::KeyboardModifiers ModifiersOf(TShiftState Shift)
{
    Qt::KeyboardModifiers modifiers;
    if (Shift & ssShift) {
        modifiers |= Qt::ShiftModifier;
    }
    if (Shift & ssAlt) {
        modifiers |= Qt::AltModifier;
    }
    if (Shift & ssCtrl) {
        modifiers |= Qt::ControlModifier;
    }
    return modifiers;
}

WPARAM MouseKeysOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons)
{
    WPARAM keys = 0;
    if (Buttons & Qt::LeftButton) {
        keys |= MK_LBUTTON;
    }
    if (Buttons & Qt::RightButton) {
        keys |= MK_RBUTTON;
    }
    if (Buttons & Qt::MiddleButton) {
        keys |= MK_MBUTTON;
    }
    if (Modifiers & Qt::ShiftModifier) {
        keys |= MK_SHIFT;
    }
    if (Modifiers & Qt::ControlModifier) {
        keys |= MK_CONTROL;
    }
    return keys;
}

char KeyCharOf(const QKeyEvent& Event)
{
    switch (Event.key()) {
    case Qt::Key_Backspace:
        return '\b';
    case Qt::Key_Tab:
        return '\t';
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return '\r';
    case Qt::Key_Escape:
        return '\x1b';
    default:
        break;
    }
    const QString text = Event.text();
    if (text.size() == 1 && text.at(0).unicode() >= 0x20 && text.at(0).unicode() < 0x7F) {
        return static_cast<char>(text.at(0).unicode());
    }
    return 0;
}

} // namespace FormsDetail

bool PostMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam)
{
    using namespace FormsDetail;
    // The pump exists before any window does, so a live handle implies a pump to post to.
    std::lock_guard<std::mutex> lock(gWindowsLock);
    if (!gPump || gWindows.count(window) == 0) {
        return false;
    }
    QCoreApplication::postEvent(gPump, new TPostedMessageEvent(window, msg, wParam, lParam));
    return true;
}

LRESULT SendMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam)
{
    TWinControl* control = FormsDetail::FindWindowControl(window);
    return control ? control->Perform(msg, wParam, lParam) : 0;
}
