// The user's actions as the platform's input events.
#include "platform/forms/simulate.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QToolButton>
#include <QWheelEvent>
#include <QWidget>

#include "platform/forms/com_controls.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"

// The shortcut check that precedes a key press: the platform's own entry point, which also
// sends the ShortcutOverride event to the focused object first.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

using namespace FormsDetail;

namespace {

// Every simulated event carries a timestamp of its own, so that events are told apart.
ulong NextTimestamp()
{
    static ulong timestamp = 1000;
    return ++timestamp;
}

QWidget* FocusTarget(TWinControl* Control)
{
    QWidget* widget = Control->Widget();
    return widget->focusProxy() ? widget->focusProxy() : widget;
}

QString KeyText(uint16_t VirtualKey, TShiftState Shift)
{
    if (Shift & (ssCtrl | ssAlt)) {
        return QString();
    }
    if (VirtualKey >= 'A' && VirtualKey <= 'Z') {
        return QString(QChar((Shift & ssShift) ? VirtualKey : VirtualKey - 'A' + 'a'));
    }
    if (VirtualKey >= '0' && VirtualKey <= '9') {
        return QString(QChar(VirtualKey));
    }
    switch (VirtualKey) {
    case VK_SPACE:
        return QStringLiteral(" ");
    case VK_RETURN:
        return QStringLiteral("\r");
    case VK_BACK:
        return QStringLiteral("\b");
    case VK_TAB:
        return QStringLiteral("\t");
    case VK_ESCAPE:
        return QStringLiteral("\x1b");
    default:
        return QString();
    }
}

// A modifier key's own press carries its modifier, as the platforms deliver it; its release
// does not.
Qt::KeyboardModifiers PressModifiers(int QtKey, Qt::KeyboardModifiers Modifiers)
{
    switch (QtKey) {
    case Qt::Key_Alt:
        return Modifiers | Qt::AltModifier;
    case Qt::Key_Shift:
        return Modifiers | Qt::ShiftModifier;
    case Qt::Key_Control:
        return Modifiers | Qt::ControlModifier;
    default:
        return Modifiers;
    }
}

void SendKey(QWidget* Target, int QtKey, Qt::KeyboardModifiers Modifiers, const QString& Text, bool Shortcuts)
{
    const ulong timestamp = NextTimestamp();
    const Qt::KeyboardModifiers releaseModifiers = Modifiers;
    Modifiers = PressModifiers(QtKey, Modifiers);
    const bool taken =
        Shortcuts && qt_sendShortcutOverrideEvent(Target, timestamp, QtKey, Modifiers, Text, false, 1);
    if (!taken) {
        QKeyEvent press(QEvent::KeyPress, QtKey, Modifiers, Text);
        press.setTimestamp(timestamp);
        QCoreApplication::sendEvent(Target, &press);
    }
    QKeyEvent release(QEvent::KeyRelease, QtKey, releaseModifiers, Text);
    release.setTimestamp(NextTimestamp());
    QCoreApplication::sendEvent(Target, &release);
}

// The widget under a client point of the control, and the point in that widget.
QWidget* WidgetAt(TControl* Control, int32_t X, int32_t Y, QPoint& Local, QPoint& Global)
{
    const TPoint screen = Control->ClientToScreen(TPoint{X, Y});
    Global = QPoint(screen.X, screen.Y);
    QWidget* root = Control->Widget();
    QWidget* target = root->childAt(root->mapFromGlobal(Global));
    if (!target) {
        target = root;
    }
    Local = target->mapFromGlobal(Global);
    return target;
}

void SendMouse(TControl* Control, QEvent::Type Type, TMouseButton Button, int32_t X, int32_t Y,
               TShiftState Shift)
{
    QPoint local;
    QPoint global;
    QWidget* target = WidgetAt(Control, X, Y, local, global);
    Qt::MouseButton button = Qt::NoButton;
    if (Type != QEvent::MouseMove) {
        button = Button == mbLeft ? Qt::LeftButton : Button == mbRight ? Qt::RightButton : Qt::MiddleButton;
    }
    Qt::MouseButtons buttons;
    if (Shift & ssLeft) {
        buttons |= Qt::LeftButton;
    }
    if (Shift & ssRight) {
        buttons |= Qt::RightButton;
    }
    if (Shift & ssMiddle) {
        buttons |= Qt::MiddleButton;
    }
    if (Type == QEvent::MouseButtonPress || Type == QEvent::MouseButtonDblClick) {
        buttons |= button;
    } else if (Type == QEvent::MouseButtonRelease) {
        buttons &= ~Qt::MouseButtons(button);
    }
    // The pointer is where the person's mouse is.
    SetCursorPos(global.x(), global.y());
    QMouseEvent event(Type, QPointF(local), QPointF(global), button, buttons, ModifiersOf(Shift));
    event.setTimestamp(NextTimestamp());
    QCoreApplication::sendEvent(target, &event);
}

// A left click at a point of a widget of a control (one that is no control of its own).
void ClickWidgetAt(QWidget* Target, const QPoint& Local)
{
    const QPoint global = Target->mapToGlobal(Local);
    SetCursorPos(global.x(), global.y());
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(Local), QPointF(global), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    press.setTimestamp(NextTimestamp());
    QCoreApplication::sendEvent(Target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(Local), QPointF(global), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    release.setTimestamp(NextTimestamp());
    QCoreApplication::sendEvent(Target, &release);
}

QScrollBar* WindowScrollBar(TCustomControl* Control, int32_t Bar)
{
    const Qt::Orientation orientation = Bar == SB_VERT ? Qt::Vertical : Qt::Horizontal;
    for (QScrollBar* bar :
         Control->Widget()->findChildren<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (bar->orientation() == orientation) {
            return bar;
        }
    }
    return nullptr;
}

} // namespace

namespace Simulate {

void Focus(TWinControl* Control)
{
    QWidget* target = FocusTarget(Control);
    QWidget* window = target->window();
    if (window->isVisible()) {
        window->activateWindow();
        QApplication::setActiveWindow(window);
    }
    target->setFocus(Qt::OtherFocusReason);
    ProcessEvents();
}

void Key(TWinControl* Control, uint16_t VirtualKey, TShiftState Shift)
{
    Focus(Control);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : FocusTarget(Control);
    SendKey(target, QtKeyOf(VirtualKey), ModifiersOf(Shift), KeyText(VirtualKey, Shift), true);
}

void KeyToFocus(uint16_t VirtualKey, TShiftState Shift)
{
    QWidget* target = QApplication::activePopupWidget();
    if (!target) {
        target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    }
    if (target) {
        SendKey(target, QtKeyOf(VirtualKey), ModifiersOf(Shift), KeyText(VirtualKey, Shift), true);
    }
}

std::string OpenMenu()
{
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    return menu ? FromQ(menu->title()) : std::string();
}

void Type(TWinControl* Control, const std::string& Text)
{
    Focus(Control);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : FocusTarget(Control);
    for (QChar ch : ToQ(Text)) {
        int key = Qt::Key_unknown;
        const ushort code = ch.unicode();
        if (code >= 'a' && code <= 'z') {
            key = Qt::Key_A + (code - 'a');
        } else if (code >= 'A' && code <= 'Z') {
            key = Qt::Key_A + (code - 'A');
        } else if (code >= '0' && code <= '9') {
            key = Qt::Key_0 + (code - '0');
        } else if (code == ' ') {
            key = Qt::Key_Space;
        }
        const Qt::KeyboardModifiers modifiers =
            (code >= 'A' && code <= 'Z') ? Qt::ShiftModifier : Qt::NoModifier;
        SendKey(target, key, modifiers, QString(ch), false);
    }
}

void Retype(TWinControl* Control, const std::string& Text)
{
    Focus(Control);
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget() ? QApplication::focusWidget()
                                                                          : FocusTarget(Control))) {
        edit->selectAll();
    }
    Type(Control, Text);
}

void Click(TControl* Control)
{
    Click(Control, Control->ClientWidth() / 2, Control->ClientHeight() / 2);
}

void Click(TControl* Control, int32_t X, int32_t Y)
{
    SendMouse(Control, QEvent::MouseButtonPress, mbLeft, X, Y, 0);
    SendMouse(Control, QEvent::MouseButtonRelease, mbLeft, X, Y, 0);
}

void DoubleClick(TControl* Control, int32_t X, int32_t Y)
{
    Click(Control, X, Y);
    SendMouse(Control, QEvent::MouseButtonDblClick, mbLeft, X, Y, 0);
    SendMouse(Control, QEvent::MouseButtonRelease, mbLeft, X, Y, 0);
}

void MouseDown(TControl* Control, TMouseButton Button, int32_t X, int32_t Y, TShiftState Shift)
{
    SendMouse(Control, QEvent::MouseButtonPress, Button, X, Y, Shift);
}

void MouseMove(TControl* Control, int32_t X, int32_t Y, TShiftState Shift)
{
    SendMouse(Control, QEvent::MouseMove, mbLeft, X, Y, Shift);
}

void MouseUp(TControl* Control, TMouseButton Button, int32_t X, int32_t Y, TShiftState Shift)
{
    SendMouse(Control, QEvent::MouseButtonRelease, Button, X, Y, Shift);
}

void MouseEnter(TControl* Control)
{
    QEnterEvent enter(QPointF(0, 0), QPointF(0, 0), QPointF(0, 0));
    QCoreApplication::sendEvent(Control->Widget(), &enter);
}

void MouseLeave(TControl* Control)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(Control->Widget(), &leave);
}

void Wheel(TControl* Control, int32_t X, int32_t Y, int32_t Delta, TShiftState Shift)
{
    QPoint local;
    QPoint global;
    QWidget* target = WidgetAt(Control, X, Y, local, global);
    QWheelEvent event(QPointF(local), QPointF(global), QPoint(), QPoint(0, Delta), Qt::NoButton,
                      ModifiersOf(Shift), Qt::NoScrollPhase, false);
    event.setTimestamp(NextTimestamp());
    QCoreApplication::sendEvent(target, &event);
}

void Choose(TComboBox* Combo, int32_t Index)
{
    auto* box = static_cast<QComboBox*>(Combo->Widget());
    box->setCurrentIndex(Index);
    emit box->activated(Index);
}

void Slide(TTrackBar* TrackBar, int32_t Position)
{
    auto* slider = static_cast<QSlider*>(TrackBar->Widget());
    slider->setSliderDown(true);
    slider->setSliderPosition(Position);
    slider->setSliderDown(false);
}

void SpinUp(TCSpinEdit* SpinEdit)
{
    if (auto* button = SpinEdit->Widget()->findChild<QToolButton*>("up")) {
        button->click();
    }
}

void SpinDown(TCSpinEdit* SpinEdit)
{
    if (auto* button = SpinEdit->Widget()->findChild<QToolButton*>("down")) {
        button->click();
    }
}

void ClickTab(TPageControl* PageControl, TTabSheet* Page)
{
    QTabBar* bar = PageControl->TabBar();
    const int index = Page->PageControl() == PageControl ? Page->PageIndex() : -1;
    if (index < 0 || !bar->isTabVisible(index)) {
        return;
    }
    const QRect rect = bar->tabRect(index);
    if (rect.isValid()) {
        ClickWidgetAt(bar, rect.center());
    }
}

void ClickUpDown(TUpDown* UpDown, TUDBtnType Button)
{
    if (auto* arrow = UpDown->Widget()->findChild<QToolButton*>(Button == btNext ? "next" : "prev")) {
        arrow->click();
    }
}

void ClickRadio(TRadioButton* Button)
{
    auto* widget = static_cast<QRadioButton*>(Button->Widget());
    QStyleOptionButton option;
    option.initFrom(widget);
    const QRect mark = widget->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, widget);
    ClickWidgetAt(widget, mark.center());
}

void ClickRadioItem(TRadioGroup* Group, int32_t Index)
{
    ClickRadio(Group->Buttons(Index));
}

void Scroll(TCustomControl* Control, int32_t Bar, uint16_t Code, int32_t Position)
{
    QScrollBar* bar = WindowScrollBar(Control, Bar);
    if (!bar) {
        return;
    }
    switch (Code) {
    case SB_LINEUP:
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case SB_LINEDOWN:
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case SB_PAGEUP:
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case SB_PAGEDOWN:
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case SB_TOP:
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case SB_BOTTOM:
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    default:
        bar->setSliderDown(true);
        bar->setSliderPosition(Position);
        bar->setSliderDown(false);
        break;
    }
}

void ResizeSection(THeaderControl* Header, int32_t Index, int32_t Width)
{
    static_cast<QHeaderView*>(Header->Widget())->resizeSection(Index, Width);
}

void CloseWindow(TForm* Form)
{
    Form->Widget()->close();
}

TControl* FocusedControl()
{
    return ControlOfWidget(QApplication::focusWidget());
}

void ProcessEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool WaitUntil(const std::function<bool()>& Done, int32_t TimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!Done()) {
        if (timer.elapsed() >= TimeoutMs) {
            return Done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace Simulate
