// TControl, TWinControl and TGraphicControl over their widgets, and the routing of the widgets'
// mouse, key and focus events to the controls.
#include "platform/forms/controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>

#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"
#include "platform/graphics/canvas.h"

using namespace FormsDetail;

namespace {

// A control's own colours are those of its enabled look, in the active and the inactive window;
// the disabled group keeps the style's greyed colours, so a disabled control looks disabled.
void SetEnabledColor(QPalette& Palette, QPalette::ColorRole Role, const QColor& Color)
{
    Palette.setColor(QPalette::Active, Role, Color);
    Palette.setColor(QPalette::Inactive, Role, Color);
}

std::string ShortHint(const std::string& hint)
{
    const size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(0, bar);
}

TControl* gCaptureControl = nullptr;

} // namespace

// ---------------------------------------------------------------------------------------------
// Event routing

namespace FormsDetail {

TEventRouter::TEventRouter(TControl* Control) : FControl(Control) {}

bool TEventRouter::eventFilter(QObject* Watched, QEvent* Event)
{
    auto* widget = qobject_cast<QWidget*>(Watched);
    if (!widget) {
        return false;
    }
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return RouteMouse(widget, Event);
    case QEvent::Wheel:
        return RouteWheel(widget, Event);
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return RouteKey(widget, static_cast<QKeyEvent*>(Event));
    case QEvent::Enter:
    case QEvent::Leave:
        // Only the control's own widget: the mouse moving onto an inner widget of a composite
        // control has not left the control.
        if (widget == FControl->Widget()) {
            const uint32_t msg = Event->type() == QEvent::Enter ? CM_MOUSEENTER : CM_MOUSELEAVE;
            Guarded(FControl, [&] { FControl->Perform(msg, 0, 0); });
        }
        return false;
    case QEvent::Resize:
        if (widget == FControl->Widget()) {
            Guarded(FControl, [&] { FControl->WidgetResized(); });
        } else if (widget == FControl->ClientWidget()) {
            Guarded(FControl, [&] { FControl->CheckResize(); });
        }
        return false;
    default:
        return false;
    }
}

namespace {

// A mouse event that the widget under the mouse does not take travels up to the parents'
// widgets (inner widgets of a composite control first); only the first control to see it
// handles it.
bool SeenBefore(const QSinglePointEvent& Event)
{
    static QEvent::Type lastType = QEvent::None;
    static quint64 lastTimestamp = 0;
    static QPointF lastGlobal;
    static const QSinglePointEvent* lastEvent = nullptr;
    if (Event.type() == lastType && Event.timestamp() == lastTimestamp &&
        Event.globalPosition() == lastGlobal && (Event.timestamp() != 0 || &Event == lastEvent)) {
        return true;
    }
    lastType = Event.type();
    lastTimestamp = Event.timestamp();
    lastGlobal = Event.globalPosition();
    lastEvent = &Event;
    return false;
}

} // namespace

bool TEventRouter::RouteMouse(QWidget* Widget, QEvent* Event)
{
    if (ControlOfWidget(Widget) != FControl) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(Event);
    if (SeenBefore(*mouse)) {
        return false;
    }
    const QPoint pos = FControl->ClientWidget()->mapFromGlobal(mouse->globalPosition().toPoint());
    const TShiftState shift = ShiftStateOf(mouse->modifiers(), mouse->buttons());
    TMouseButton button = mbLeft;
    switch (mouse->button()) {
    case Qt::LeftButton:
        button = mbLeft;
        break;
    case Qt::RightButton:
        button = mbRight;
        break;
    case Qt::MiddleButton:
        button = mbMiddle;
        break;
    default:
        if (Event->type() != QEvent::MouseMove) {
            return false;
        }
    }
    TControl* control = FControl;
    Guarded(control, [&] {
        switch (Event->type()) {
        case QEvent::MouseButtonPress:
            control->HandleMouseDown(button, shift, pos.x(), pos.y(), false);
            break;
        case QEvent::MouseButtonDblClick:
            control->HandleMouseDown(button, shift, pos.x(), pos.y(), true);
            break;
        case QEvent::MouseButtonRelease:
            control->HandleMouseUp(button, shift, pos.x(), pos.y());
            break;
        default:
            control->MouseMove(shift, pos.x(), pos.y());
            break;
        }
    });
    return false;
}

bool TEventRouter::RouteWheel(QWidget* Widget, QEvent* Event)
{
    if (ControlOfWidget(Widget) != FControl) {
        return false;
    }
    auto* wheel = static_cast<QWheelEvent*>(Event);
    if (SeenBefore(*wheel)) {
        return false;
    }
    const QPoint global = wheel->globalPosition().toPoint();
    const uint16_t keys = uint16_t(MouseKeysOf(wheel->modifiers(), wheel->buttons()));
    const int delta = wheel->angleDelta().y();
    LRESULT handled = 0;
    TControl* control = FControl;
    Guarded(control, [&] {
        handled = control->Perform(WM_MOUSEWHEEL, MAKEWPARAM(keys, uint16_t(int16_t(delta))),
                                   MAKELPARAM(int16_t(global.x()), int16_t(global.y())));
    });
    if (handled) {
        wheel->accept();
    }
    return handled != 0;
}

bool TEventRouter::RouteKey(QWidget* Widget, QKeyEvent* Event)
{
    static bool replaying = false;
    // Keys go to the focused widget, or to the window itself when nothing in it has the focus.
    QWidget* focus = QApplication::focusWidget();
    if (replaying || (Widget != focus && (focus != nullptr || !Widget->isWindow()))) {
        return false;
    }
    auto* control = dynamic_cast<TWinControl*>(FControl);
    if (!control) {
        return RouteGraphicControlKey(Widget, Event);
    }
    TForm* form = control->ParentForm();
    TWinControl* preview = (form && form != control && form->KeyPreview()) ? form : nullptr;
    uint16_t key = VirtualKeyOf(*Event);
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Qt::NoButton);
    bool swallow = false;
    Guarded(control, [&] {
        if (Event->type() == QEvent::KeyRelease) {
            if (key != 0 && preview) {
                preview->KeyUp(key, shift);
            }
            if (key != 0) {
                control->KeyUp(key, shift);
            }
            swallow = key == 0 && VirtualKeyOf(*Event) != 0;
            return;
        }
        if (key != 0) {
            if (preview) {
                preview->KeyDown(key, shift);
            }
            if (key != 0) {
                control->KeyDown(key, shift);
            }
            if (key == 0) {
                swallow = true;
                return;
            }
            if (form && (key == VK_RETURN || key == VK_ESCAPE) && !(shift & (ssAlt | ssCtrl)) &&
                form->HandleDialogKey(key)) {
                swallow = true;
                return;
            }
        }
        const char original = KeyCharOf(*Event);
        char ch = original;
        if (ch == 0) {
            return;
        }
        if (preview) {
            preview->KeyPress(ch);
        }
        if (ch != 0) {
            control->KeyPress(ch);
        }
        if (ch == original) {
            return;
        }
        swallow = true;
        if (ch != 0) {
            // The handler replaced the character: the widget gets the replacement instead.
            QKeyEvent replacement(QEvent::KeyPress, Qt::Key_unknown, Event->modifiers(), QString(QChar(ch)));
            replaying = true;
            QCoreApplication::sendEvent(Widget, &replacement);
            replaying = false;
        }
    });
    return swallow;
}

// A button without a window of its own, reached with Tab, is pressed with Enter as with Space;
// Escape still goes to its form.
bool TEventRouter::RouteGraphicControlKey(QWidget* Widget, QKeyEvent* Event)
{
    TForm* form = FControl->ParentForm();
    const uint16_t key = VirtualKeyOf(*Event);
    if (Event->type() != QEvent::KeyPress || (Event->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
        return false;
    }
    if (key == VK_RETURN) {
        if (auto* button = qobject_cast<QAbstractButton*>(Widget)) {
            button->click();
            return true;
        }
    }
    bool handled = false;
    if (key == VK_ESCAPE && form) {
        Guarded(form, [&] { handled = form->HandleDialogKey(key); });
    }
    return handled;
}

void TEventRouter::FocusChanged(QWidget* Old, QWidget* Now)
{
    TWinControl* lost = WinControlOfWidget(Old);
    TWinControl* gained = WinControlOfWidget(Now);
    if (lost == gained) {
        return;
    }
    if (lost) {
        Guarded(lost, [&] { TEventRouter::Exit(lost); });
    }
    if (gained) {
        Guarded(gained, [&] { TEventRouter::Enter(gained); });
    }
}

void TEventRouter::Enter(TWinControl* Control)
{
    if (TForm* form = Control->ParentForm()) {
        if (form != Control) {
            form->SetActiveControl(Control);
        }
    }
    Control->Perform(WM_SETFOCUS, 0, 0);
    Control->DoEnter();
}

void TEventRouter::Exit(TWinControl* Control)
{
    Control->Perform(WM_KILLFOCUS, 0, 0);
    Control->DoExit();
}

} // namespace FormsDetail

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner, QWidget* AWidget) : TComponent(AOwner), FWidget(AWidget)
{
    EnsureQtApplication();
    FFont = std::make_unique<TFont>();
    FFont->OnChange = [this](TObject*) {
        if (!FSettingParentFont) {
            FParentFont = false;
        }
        ApplyFont();
        FontChanged();
    };
    FRouter = std::make_unique<TEventRouter>(this);
    BindWidget(FWidget, this);
    FWidget->installEventFilter(FRouter.get());
    FWidget->setMouseTracking(true);
    FWidget->setAttribute(Qt::WA_NoMousePropagation);
    FWidget->hide();
    ApplyFont();
}

TControl::~TControl()
{
    if (gCaptureControl == this) {
        gCaptureControl = nullptr;
    }
    if (FParent) {
        FParent->RemoveControl(this);
    }
    // Inner widgets too (a form's client area, a combo box's edit): the focus leaving them as
    // they die with the widget must not find this control.
    UnbindControl(this);
    FRouter.reset();
    delete FWidget;
    FWidget = nullptr;
}

void TControl::BeforeDestruction()
{
    TComponent::BeforeDestruction();
}

void TControl::SetName(const std::string& NewName)
{
    TComponent::SetName(NewName);
    FWidget->setObjectName(ToQ(NewName));
}

void TControl::SetParent(TWinControl* AParent)
{
    if (AParent == FParent) {
        return;
    }
    if (AParent == this) {
        throw EInvalidOperation("A control cannot have itself as its parent");
    }
    if (FParent) {
        FParent->RemoveControl(this);
    }
    if (AParent) {
        AParent->InsertControl(this);
    } else {
        FWidget->setParent(nullptr);
        FWidget->hide();
    }
}

TForm* TControl::ParentForm() const
{
    for (const TControl* control = this; control; control = control->Parent()) {
        if (auto* form = dynamic_cast<const TForm*>(control)) {
            return const_cast<TForm*>(form);
        }
    }
    return nullptr;
}

int32_t TControl::Left() const
{
    return FWidget->x();
}

int32_t TControl::Top() const
{
    return FWidget->y();
}

int32_t TControl::PixelsPerInch() const
{
    return FWidget->logicalDpiX();
}

int32_t TControl::Width() const
{
    return FWidget->isWindow() ? FWidget->frameGeometry().width() : FWidget->width();
}

int32_t TControl::Height() const
{
    return FWidget->isWindow() ? FWidget->frameGeometry().height() : FWidget->height();
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    AWidth = std::max(AWidth, 0);
    AHeight = std::max(AHeight, 0);
    if (FWidget->isWindow()) {
        const QRect frame = FWidget->frameGeometry();
        const int extraWidth = frame.width() - FWidget->width();
        const int extraHeight = frame.height() - FWidget->height();
        FWidget->move(ALeft, ATop);
        FWidget->resize(std::max(AWidth - extraWidth, 0), std::max(AHeight - extraHeight, 0));
    } else {
        FWidget->setGeometry(ALeft, ATop, AWidth, AHeight);
    }
    CheckResize();
}

int32_t TControl::ClientWidth() const
{
    return ClientWidget()->width();
}

int32_t TControl::ClientHeight() const
{
    return ClientWidget()->height();
}

void TControl::SetClientWidth(int32_t Value)
{
    SetWidth(Width() - ClientWidth() + Value);
}

void TControl::SetClientHeight(int32_t Value)
{
    SetHeight(Height() - ClientHeight() + Value);
}

TPoint TControl::ClientToScreen(const TPoint& Point) const
{
    const QPoint global = ClientWidget()->mapToGlobal(QPoint(Point.X, Point.Y));
    return TPoint{global.x(), global.y()};
}

TPoint TControl::ScreenToClient(const TPoint& Point) const
{
    const QPoint local = ClientWidget()->mapFromGlobal(QPoint(Point.X, Point.Y));
    return TPoint{local.x(), local.y()};
}

void TControl::SetAlign(TAlign Value)
{
    if (FAlign == Value) {
        return;
    }
    FAlign = Value;
    if (FParent) {
        FParent->Realign();
    }
}

void TControl::SetVisible(bool Value)
{
    if (FVisible == Value) {
        return;
    }
    FVisible = Value;
    ApplyVisibility();
    VisibleChanged();
    if (FParent && FAlign != alNone) {
        FParent->Realign();
    }
}

void TControl::Show()
{
    SetVisible(true);
}

void TControl::Hide()
{
    SetVisible(false);
}

bool TControl::Showing() const
{
    if (!FVisible) {
        return false;
    }
    if (FParent) {
        return FParent->Showing();
    }
    return FWidget->isWindow() && FWidget->isVisible();
}

void TControl::ApplyVisibility()
{
    if (FParent) {
        FWidget->setVisible(FVisible);
    } else if (!FWidget->isWindow()) {
        FWidget->hide();
    } else if (!dynamic_cast<TForm*>(this)) {
        // A popup window shows by itself; forms show through their own protocol.
        FWidget->setVisible(FVisible);
    }
}

void TControl::SetEnabled(bool Value)
{
    if (FEnabled == Value) {
        return;
    }
    FEnabled = Value;
    FWidget->setEnabled(Value);
    EnabledChanged();
}

void TControl::SetText(const std::string& Value)
{
    if (GetText() == Value) {
        return;
    }
    SetTextValue(Value);
    TextChanged();
}

std::string TControl::GetText() const
{
    return FCaptionText;
}

void TControl::SetTextValue(const std::string& Value)
{
    FCaptionText = Value;
}

void TControl::SetColor(TColor Value)
{
    FParentColor = false;
    if (FColor == Value) {
        ApplyColor();
        return;
    }
    FColor = Value;
    ApplyColor();
    ColorChanged();
}

void TControl::SetParentColor(bool Value)
{
    if (FParentColor == Value) {
        return;
    }
    FParentColor = Value;
    if (Value && FParent) {
        FColor = FParent->Color();
    }
    ApplyColor();
    ColorChanged();
}

void TControl::ApplyColor()
{
    if (FParentColor && FParent) {
        FColor = FParent->Color();
    }
    QPalette palette = FWidget->palette();
    const QColor color = QtColorOf(FColor);
    SetEnabledColor(palette, QPalette::Window, color);
    SetEnabledColor(palette, QPalette::Base, color);
    SetEnabledColor(palette, QPalette::Button, color);
    FWidget->setPalette(palette);
    FWidget->setAutoFillBackground(!FParentColor || FWidget->isWindow());
}

void TControl::SetFont(TFont* Value)
{
    if (Value) {
        FFont->Assign(Value);
    }
}

void TControl::SetParentFont(bool Value)
{
    if (FParentFont == Value) {
        return;
    }
    FParentFont = Value;
    if (Value && FParent) {
        FSettingParentFont = true;
        FFont->Assign(FParent->Font());
        FSettingParentFont = false;
    }
}

void TControl::ApplyFont()
{
    FWidget->setFont(QtFontOf(*FFont));
    QPalette palette = FWidget->palette();
    const QColor text = QtColorOf(FFont->Color());
    SetEnabledColor(palette, QPalette::WindowText, text);
    SetEnabledColor(palette, QPalette::Text, text);
    SetEnabledColor(palette, QPalette::ButtonText, text);
    FWidget->setPalette(palette);
}

void TControl::SetHint(const std::string& Value)
{
    FHint = Value;
    ApplyHint();
}

bool TControl::ShowHint() const
{
    if (FParentShowHint && FParent) {
        return FParent->ShowHint();
    }
    return FShowHint;
}

void TControl::SetShowHint(bool Value)
{
    FShowHint = Value;
    FParentShowHint = false;
    ApplyHint();
}

void TControl::SetParentShowHint(bool Value)
{
    FParentShowHint = Value;
    ApplyHint();
}

void TControl::ApplyHint()
{
    FWidget->setToolTip(ShowHint() ? ToQ(ShortHint(FHint)) : QString());
    if (auto* windowed = dynamic_cast<TWinControl*>(this)) {
        for (int32_t i = 0; i < windowed->ControlCount(); ++i) {
            windowed->Controls(i)->ApplyHint();
        }
    }
}

void TControl::ParentChanged()
{
    if (!FParent) {
        return;
    }
    if (FParentFont) {
        FSettingParentFont = true;
        FFont->Assign(FParent->Font());
        FSettingParentFont = false;
    }
    if (FParentColor) {
        ApplyColor();
    }
    ApplyHint();
}

void TControl::SetCursor(TCursor Value)
{
    FCursor = Value;
    if (Value == crDefault) {
        FWidget->unsetCursor();
    } else {
        FWidget->setCursor(CursorOf(Value));
    }
}

bool TControl::MouseCapture() const
{
    return gCaptureControl == this;
}

void TControl::SetMouseCapture(bool Value)
{
    if (Value == MouseCapture()) {
        return;
    }
    if (Value) {
        if (gCaptureControl) {
            gCaptureControl->SetMouseCapture(false);
        }
        gCaptureControl = this;
        if (ClientWidget()->isVisible()) {
            ClientWidget()->grabMouse();
        }
    } else {
        gCaptureControl = nullptr;
        if (QWidget::mouseGrabber() == ClientWidget()) {
            ClientWidget()->releaseMouse();
        }
    }
}

void TControl::Invalidate()
{
    FWidget->update();
}

void TControl::Update()
{
    if (FWidget->isVisible()) {
        FWidget->repaint();
    }
}

void TControl::Repaint()
{
    Invalidate();
    Update();
}

void TControl::BringToFront()
{
    FWidget->raise();
}

void TControl::SendToBack()
{
    FWidget->lower();
}

LRESULT TControl::Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam)
{
    TMessage message{Msg, WParam, LParam, 0};
    WndProc(message);
    return message.Result;
}

void TControl::WndProc(TMessage& Message)
{
    Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message)
{
    if (Message.Msg == WM_MOUSEWHEEL) {
        TShiftState shift = 0;
        const uint16_t keys = LOWORD(Message.WParam);
        if (keys & MK_SHIFT) {
            shift |= ssShift;
        }
        if (keys & MK_CONTROL) {
            shift |= ssCtrl;
        }
        if (keys & MK_LBUTTON) {
            shift |= ssLeft;
        }
        if (keys & MK_RBUTTON) {
            shift |= ssRight;
        }
        if (keys & MK_MBUTTON) {
            shift |= ssMiddle;
        }
        const int16_t delta = static_cast<int16_t>(HIWORD(Message.WParam));
        const TPoint pos{static_cast<int16_t>(LOWORD(uintptr_t(Message.LParam))),
                         static_cast<int16_t>(HIWORD(uintptr_t(Message.LParam)))};
        Message.Result = DoMouseWheel(shift, delta, pos) ? 1 : 0;
    }
}

void TControl::Click()
{
    if (OnClick) {
        OnClick(this);
    }
}

void TControl::DblClick()
{
    if (OnDblClick) {
        OnDblClick(this);
    }
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (OnMouseDown) {
        OnMouseDown(this, Button, Shift, X, Y);
    }
}

void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    if (OnMouseMove) {
        OnMouseMove(this, Shift, X, Y);
    }
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (OnMouseUp) {
        OnMouseUp(this, Button, Shift, X, Y);
    }
}

bool TControl::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos)
{
    bool handled = false;
    if (OnMouseWheel) {
        OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
    }
    return handled;
}

void TControl::Resize()
{
    if (OnResize) {
        OnResize(this);
    }
}

void TControl::FontChanged() {}

void TControl::ColorChanged() {}

void TControl::EnabledChanged() {}

void TControl::VisibleChanged() {}

void TControl::CheckResize()
{
    const int32_t width = ClientWidth();
    const int32_t height = ClientHeight();
    if (width == FLastClientWidth && height == FLastClientHeight) {
        return;
    }
    FLastClientWidth = width;
    FLastClientHeight = height;
    Resize();
}

void TControl::RouteEventsOf(QWidget* AWidget)
{
    BindWidget(AWidget, this);
    AWidget->installEventFilter(FRouter.get());
    AWidget->setMouseTracking(true);
}

void TControl::HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y, bool Double)
{
    if (Double) {
        if (Button == mbLeft && (FControlStyle & csDoubleClicks)) {
            DblClick();
        }
        MouseDown(Button, Shift | ssDouble, X, Y);
        return;
    }
    if (Button == mbLeft && (FControlStyle & csClickEvents)) {
        FPressed = true;
    }
    MouseDown(Button, Shift, X, Y);
}

void TControl::HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (Button == mbLeft && FPressed) {
        FPressed = false;
        if (X >= 0 && Y >= 0 && X < ClientWidth() && Y < ClientHeight()) {
            Click();
        }
    }
    MouseUp(Button, Shift, X, Y);
}

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget)
{
    FHandle = RegisterWindow(this);
}

TWinControl::~TWinControl()
{
    UnregisterWindow(FHandle);
    DestroyChildControls();
}

void TWinControl::BeforeDestruction()
{
    UnregisterWindow(FHandle);
    DestroyChildControls();
    TControl::BeforeDestruction();
}

void TWinControl::DestroyChildControls()
{
    while (!FControls.empty()) {
        TControl* child = FControls.back();
        RemoveControl(child);
        child->Free();
    }
}

TControl* TWinControl::Controls(int32_t Index) const
{
    if (Index < 0 || Index >= ControlCount()) {
        throw EListError("Control index out of bounds");
    }
    return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl)
{
    FControls.push_back(AControl);
    AControl->FParent = this;
    if (auto* windowed = dynamic_cast<TWinControl*>(AControl)) {
        FTabList.push_back(windowed);
    }
    const QRect geometry = AControl->FWidget->geometry();
    AControl->FWidget->setParent(ChildHost());
    AControl->FWidget->setGeometry(geometry);
    AControl->ApplyVisibility();
    AControl->ParentChanged();
    ApplyTabOrder();
    if (AControl->Align() != alNone) {
        Realign();
    }
}

void TWinControl::RemoveControl(TControl* AControl)
{
    auto found = std::find(FControls.begin(), FControls.end(), AControl);
    if (found == FControls.end()) {
        return;
    }
    FControls.erase(found);
    FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), AControl), FTabList.end());
    AControl->FParent = nullptr;
    if (AControl->Align() != alNone) {
        Realign();
    }
}

bool TWinControl::Focused() const
{
    QWidget* focus = QApplication::focusWidget();
    return focus && WinControlOfWidget(focus) == this;
}

bool TWinControl::CanFocus() const
{
    for (const TControl* control = this; control; control = control->Parent()) {
        if (!control->Visible() || !control->Enabled()) {
            return false;
        }
    }
    return ParentForm() != nullptr;
}

void TWinControl::SetFocus()
{
    if (TForm* form = ParentForm()) {
        if (form != this) {
            form->SetActiveControl(this);
        }
    }
    QWidget* target = FWidget->focusProxy() ? FWidget->focusProxy() : FWidget;
    target->setFocus(Qt::OtherFocusReason);
}

int32_t TWinControl::TabOrder() const
{
    if (!Parent()) {
        return -1;
    }
    const auto& list = Parent()->FTabList;
    auto found = std::find(list.begin(), list.end(), this);
    return found == list.end() ? -1 : static_cast<int32_t>(found - list.begin());
}

void TWinControl::SetTabOrder(int32_t Value)
{
    TWinControl* parent = Parent();
    if (!parent) {
        return;
    }
    auto& list = parent->FTabList;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    Value = std::clamp<int32_t>(Value, 0, static_cast<int32_t>(list.size()));
    list.insert(list.begin() + Value, this);
    parent->ApplyTabOrder();
}

void TWinControl::SetTabStop(bool Value)
{
    FTabStop = Value;
    QWidget* target = FWidget->focusProxy() ? FWidget->focusProxy() : FWidget;
    if (Value) {
        target->setFocusPolicy(Qt::StrongFocus);
    } else if (target->focusPolicy() & Qt::TabFocus) {
        target->setFocusPolicy(Qt::ClickFocus);
    }
}

// The Tab key visits the windowed children in tab order. A graphic control that takes the focus
// from the Tab key (a speed button) comes right after the windowed control made before it, as
// the "..." button beside an edit follows the edit.
void TWinControl::ApplyTabOrder()
{
    QWidget* previous = nullptr;
    const auto chain = [&previous](QWidget* Widget) {
        if (previous) {
            QWidget::setTabOrder(previous, Widget);
        }
        previous = Widget;
    };
    const auto chainGraphicControls = [&](std::vector<TControl*>::const_iterator From) {
        for (; From != FControls.end() && !dynamic_cast<TWinControl*>(*From); ++From) {
            if ((*From)->FWidget->focusPolicy() & Qt::TabFocus) {
                chain((*From)->FWidget);
            }
        }
    };
    chainGraphicControls(FControls.begin());
    for (TWinControl* control : FTabList) {
        chain(control->FWidget->focusProxy() ? control->FWidget->focusProxy() : control->FWidget);
        chainGraphicControls(std::next(std::find(FControls.cbegin(), FControls.cend(), control)));
    }
}

int32_t TWinControl::ClientWidth() const
{
    return TControl::ClientWidth();
}

int32_t TWinControl::ClientHeight() const
{
    return TControl::ClientHeight();
}

void TWinControl::Realign()
{
    TRect rest = ClientRect();
    auto place = [](TControl* control, int32_t left, int32_t top, int32_t width, int32_t height) {
        control->SetBounds(left, top, std::max(width, 0), std::max(height, 0));
    };
    auto aligned = [this](TAlign align) {
        std::vector<TControl*> result;
        for (TControl* control : FControls) {
            if (control->Align() == align && control->Visible()) {
                result.push_back(control);
            }
        }
        std::stable_sort(result.begin(), result.end(), [align](TControl* a, TControl* b) {
            switch (align) {
            case alTop:
                return a->Top() < b->Top();
            case alBottom:
                return a->Top() + a->Height() > b->Top() + b->Height();
            case alLeft:
                return a->Left() < b->Left();
            case alRight:
                return a->Left() + a->Width() > b->Left() + b->Width();
            default:
                return false;
            }
        });
        return result;
    };
    for (TControl* control : aligned(alTop)) {
        place(control, rest.Left, rest.Top, rest.Right - rest.Left, control->Height());
        rest.Top += control->Height();
    }
    for (TControl* control : aligned(alBottom)) {
        rest.Bottom -= control->Height();
        place(control, rest.Left, rest.Bottom, rest.Right - rest.Left, control->Height());
    }
    for (TControl* control : aligned(alLeft)) {
        place(control, rest.Left, rest.Top, control->Width(), rest.Bottom - rest.Top);
        rest.Left += control->Width();
    }
    for (TControl* control : aligned(alRight)) {
        rest.Right -= control->Width();
        place(control, rest.Right, rest.Top, control->Width(), rest.Bottom - rest.Top);
    }
    for (TControl* control : aligned(alClient)) {
        place(control, rest.Left, rest.Top, rest.Right - rest.Left, rest.Bottom - rest.Top);
    }
}

void TWinControl::PaintTo(TCanvas* Canvas, int32_t X, int32_t Y)
{
    QWidget* widget = ClientWidget();
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(widget->width(), widget->height());
    if (picture.Empty()) {
        return;
    }
    {
        QImage image(picture.ScanLine(0), picture.Width(), picture.Height(), picture.RowLength(),
                     QImage::Format_BGR888);
        QPainter painter(&image);
        widget->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    Canvas->Draw(X, Y, &picture);
}

void TWinControl::SetWindowStyle(uint32_t Style, uint32_t ExStyle)
{
    FStyle = Style;
    FExStyle = ExStyle;
    if (dynamic_cast<TForm*>(this)) {
        return;
    }
    const QRect geometry = FWidget->geometry();
    if (Style & WS_POPUP) {
        if (Parent()) {
            Parent()->RemoveControl(this);
        }
        Qt::WindowFlags flags = Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;
        if (ExStyle & WS_EX_TRANSPARENT) {
            flags |= Qt::WindowTransparentForInput;
        }
        FWidget->setParent(nullptr, flags);
        FWidget->setAttribute(Qt::WA_ShowWithoutActivating);
    } else if (FWidget->isWindow()) {
        FWidget->setParent(nullptr, Qt::Widget);
    }
    FWidget->setAttribute(Qt::WA_TransparentForMouseEvents, (ExStyle & WS_EX_TRANSPARENT) != 0);
    FWidget->setGeometry(geometry);
    ApplyVisibility();
}

TWinControl* FindControl(HWND Handle)
{
    return FindWindowControl(Handle);
}

namespace {

// The position last set, and where the platform's pointer was then: while the platform reports
// the same place (it cannot move its pointer, or nobody moved it since), the set position holds.
struct TPointerOverride
{
    bool Set = false;
    TPoint Position;
    QPoint PlatformAtSet;
};

TPointerOverride& PointerOverride()
{
    static TPointerOverride value;
    return value;
}

} // namespace

TPoint GetCursorPos()
{
    EnsureQtApplication();
    const QPoint now = QCursor::pos();
    const TPointerOverride& o = PointerOverride();
    if (o.Set && (now == o.PlatformAtSet || now == QPoint(o.Position.X, o.Position.Y))) {
        return o.Position;
    }
    return TPoint{now.x(), now.y()};
}

void SetCursorPos(int32_t X, int32_t Y)
{
    EnsureQtApplication();
    QCursor::setPos(X, Y);
    TPointerOverride& o = PointerOverride();
    o.Set = true;
    o.Position = TPoint{X, Y};
    o.PlatformAtSet = QCursor::pos();
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift)
{
    if (OnKeyDown) {
        OnKeyDown(this, Key, Shift);
    }
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift)
{
    if (OnKeyUp) {
        OnKeyUp(this, Key, Shift);
    }
}

void TWinControl::KeyPress(char& Key)
{
    if (OnKeyPress) {
        OnKeyPress(this, Key);
    }
}

void TWinControl::DoEnter()
{
    if (OnEnter) {
        OnEnter(this);
    }
}

void TWinControl::DoExit()
{
    if (OnExit) {
        OnExit(this);
    }
}

void TWinControl::Resize()
{
    Realign();
    TControl::Resize();
}

void TWinControl::FontChanged()
{
    for (TControl* control : FControls) {
        if (control->ParentFont()) {
            control->FSettingParentFont = true;
            control->Font()->Assign(Font());
            control->FSettingParentFont = false;
        }
    }
}

void TWinControl::ColorChanged()
{
    for (TControl* control : FControls) {
        if (control->ParentColor()) {
            control->ApplyColor();
            control->ColorChanged();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TGraphicControl

TGraphicControl::TGraphicControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget) {}
