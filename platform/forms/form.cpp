// TForm: the top-level window, its frame and menu bar, showing and modal showing, the close
// protocol, default and cancel buttons.
#include "platform/forms/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QEventLoop>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "platform/forms/detail/front_image.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/menus.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/canvas.h"

using namespace FormsDetail;

namespace {

// The form's window: it reports the frame's close button, activation and a change of its
// screen's resolution to the form.
class TFormWidget : public QWidget
{
public:
    TFormWidget() : QWidget(nullptr, Qt::Window), FResolution(logicalDpiX()) {}
    TForm* Form = nullptr;

protected:
    bool event(QEvent* Event) override
    {
        const bool handled = QWidget::event(Event);
        if (Event->type() == QEvent::Show || Event->type() == QEvent::ScreenChangeInternal) {
            WatchScreen();
        }
        return handled;
    }
    void closeEvent(QCloseEvent* Event) override
    {
        // The form decides, and hides or frees itself as its close action says.
        Event->ignore();
        if (Form) {
            TForm* form = Form;
            Guarded(form, [form] { form->FrameCloseRequested(); });
        }
    }
    void changeEvent(QEvent* Event) override
    {
        if (Event->type() == QEvent::ActivationChange && Form && isActiveWindow()) {
            TForm* form = Form;
            Guarded(form, [form] { form->FrameActivated(); });
        }
        QWidget::changeEvent(Event);
    }

private:
    // Follows the resolution of the screen the window is on now: a move to another screen and
    // a change of the screen's own setting both tell the form.
    void WatchScreen()
    {
        if (screen() != FWatched) {
            QObject::disconnect(FWatching);
            FWatched = screen();
            FWatching = QObject::connect(FWatched, &QScreen::logicalDotsPerInchChanged, this,
                                         [this] { ResolutionMayHaveChanged(); });
        }
        ResolutionMayHaveChanged();
    }
    void ResolutionMayHaveChanged()
    {
        const int resolution = logicalDpiX();
        if (resolution == FResolution) {
            return;
        }
        FResolution = resolution;
        // Told once every control of the window has taken the new screen: the screen change
        // reaches the window before its children.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (Form) {
                    TForm* form = Form;
                    Guarded(form, [form] { form->FrameResolutionChanged(); });
                }
            },
            Qt::QueuedConnection);
    }

    int FResolution;
    QPointer<QScreen> FWatched;
    QMetaObject::Connection FWatching;
};

} // namespace

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner, new TFormWidget)
{
    static_cast<TFormWidget*>(FWidget)->Form = this;
    FClient = new QWidget(FWidget);
    FClient->show();
    RouteEventsOf(FClient);
    SetControlStyle(ControlStyle() | csAcceptsControls);
    Screen->AddForm(this);
    TWinControl::SetVisible(false);
    ApplyWindowFlags();
    ApplyColor();
    SetBounds(0, 0, 320, 240);
}

TForm::~TForm()
{
    if (FSurface) {
        UnbindWidget(FSurface);
        delete FSurface;
        FSurface = nullptr;
    }
    if (FMenu) {
        FMenu->SetForm(nullptr);
        FMenu = nullptr;
    }
    if (Screen) {
        Screen->RemoveForm(this);
    }
    if (FWidget) {
        static_cast<TFormWidget*>(FWidget)->Form = nullptr;
    }
}

void TForm::AfterConstruction()
{
    if (FCreated) {
        return;
    }
    FCreated = true;
    if (OnCreate) {
        OnCreate(this);
    }
}

void TForm::BeforeDestruction()
{
    if (OnDestroy) {
        Guarded(this, [this] { OnDestroy(this); });
    }
    if (Screen) {
        Screen->RemoveForm(this);
    }
    TWinControl::BeforeDestruction();
}

std::string TForm::GetText() const
{
    return FromQ(FWidget->windowTitle());
}

void TForm::SetTextValue(const std::string& Value)
{
    FWidget->setWindowTitle(ToQ(Value));
}

QWidget* TForm::ClientWidget() const
{
    return FClient;
}

int32_t TForm::ClientWidth() const
{
    return FClient->width();
}

int32_t TForm::ClientHeight() const
{
    return FClient->height();
}

void TForm::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    FRequested = TRect{ALeft, ATop, ALeft + AWidth, ATop + AHeight};
    // A fixed frame keeps the user from resizing, not the program.
    FWidget->setMinimumSize(0, 0);
    FWidget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    LayoutFrame();
    if (FBorderStyle != bsSizeable && FBorderStyle != bsSizeToolWin) {
        FWidget->setFixedSize(FWidget->size());
    }
}

void TForm::LayoutFrame()
{
    int menuHeight = 0;
    if (FMenuBar) {
        menuHeight = FMenuBar->sizeHint().height();
        FMenuBar->setGeometry(0, 0, FWidget->width(), menuHeight);
    }
    FClient->setGeometry(0, menuHeight, FWidget->width(), std::max(FWidget->height() - menuHeight, 0));
    if (FSurface) {
        FSurface->setGeometry(0, 0, FClient->width(), FClient->height());
        if (FClient->width() != FHost->Image()->Width() || FClient->height() != FHost->Image()->Height()) {
            FHost->Resize(FClient->width(), FClient->height());
            FSurface->update();
        }
    }
    CheckResize();
}

void TForm::SetBorderStyle(TFormBorderStyle Value)
{
    if (FBorderStyle == Value) {
        return;
    }
    FBorderStyle = Value;
    ApplyWindowFlags();
    SetBounds(Left(), Top(), Width(), Height());
}

void TForm::SetBorderIcons(TBorderIcons Value)
{
    if (FBorderIcons == Value) {
        return;
    }
    FBorderIcons = Value;
    ApplyWindowFlags();
}

void TForm::ApplyWindowFlags()
{
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    switch (FBorderStyle) {
    case bsNone:
        flags |= Qt::FramelessWindowHint;
        break;
    case bsToolWindow:
    case bsSizeToolWin:
        flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        break;
    case bsDialog:
        flags |= Qt::WindowTitleHint;
        break;
    default:
        flags |= Qt::WindowTitleHint;
        break;
    }
    if (FBorderIcons & biSystemMenu) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (FBorderStyle != bsDialog && FBorderStyle != bsToolWindow && FBorderStyle != bsSizeToolWin) {
            if (FBorderIcons & biMinimize) {
                flags |= Qt::WindowMinimizeButtonHint;
            }
            if (FBorderIcons & biMaximize) {
                flags |= Qt::WindowMaximizeButtonHint;
            }
        }
        if (FBorderIcons & biHelp) {
            flags |= Qt::WindowContextHelpButtonHint;
        }
    }
    const bool shown = FWidget->isVisible();
    FWidget->setWindowFlags(flags);
    if (shown) {
        FWidget->show();
    }
}

void TForm::SetMenu(TMainMenu* Value)
{
    if (FMenu == Value) {
        return;
    }
    if (FMenu) {
        FMenu->RemoveFreeNotification(this);
        FMenu->SetForm(nullptr);
    }
    FMenu = Value;
    if (FMenu) {
        FMenu->FreeNotification(this);
        FMenu->SetForm(this);
    }
    MenuChanged();
}

void TForm::MenuChanged()
{
    const int32_t clientWidth = ClientWidth();
    const int32_t clientHeight = ClientHeight();
    if (!FMenu) {
        delete FMenuBar;
        FMenuBar = nullptr;
    } else {
        auto* bar = static_cast<QMenuBar*>(FMenuBar);
        if (!bar) {
            bar = new QMenuBar(FWidget);
            bar->setNativeMenuBar(false);
            bar->show();
            FMenuBar = bar;
        }
        bar->clear();
        FMenu->FillMenuBar(bar);
    }
    // The menu takes its room from the frame, not from the client area.
    LayoutFrame();
    SetBounds(Left(), Top(), Width() - ClientWidth() + clientWidth, Height() - ClientHeight() + clientHeight);
}

void TForm::Notification(TComponent* AComponent, TOperation Operation)
{
    TWinControl::Notification(AComponent, Operation);
    if (Operation != opRemove) {
        return;
    }
    if (AComponent == FMenu) {
        FMenu = nullptr;
        MenuChanged();
    }
    if (AComponent == FDefaultButton) {
        FDefaultButton = nullptr;
    }
    if (AComponent == FCancelButton) {
        FCancelButton = nullptr;
    }
    if (AComponent == FActiveControl) {
        FActiveControl = nullptr;
    }
}

void TForm::SetVisible(bool Value)
{
    if (Value == Visible()) {
        return;
    }
    if (Value) {
        DoShow();
        if (OnPaint) {
            EnsureFrontImage();
        }
        TWinControl::SetVisible(true);
        PlaceOnFirstShow();
        FWidget->show();
        // The frame is known only once the window shows; the form keeps its outer bounds.
        if (BoundsRect() != FRequested) {
            SetBounds(FRequested.Left, FRequested.Top, FRequested.Width(), FRequested.Height());
        }
        RaiseWindow(FWidget);
        Screen->FormActivated(this);
        if (FActiveControl && FActiveControl->CanFocus()) {
            FActiveControl->SetFocus();
        }
    } else {
        DoHide();
        TWinControl::SetVisible(false);
        // Where the user left the window is where it shows again.
        FRequested = BoundsRect();
        FWidget->hide();
        Screen->FormActivated(nullptr);
    }
}

void TForm::PlaceOnFirstShow()
{
    TForm* center = nullptr;
    switch (FPosition) {
    case poMainFormCenter:
        center = Application->MainForm();
        break;
    case poOwnerFormCenter:
        center = dynamic_cast<TForm*>(Owner());
        if (!center) {
            center = Application->MainForm();
        }
        break;
    case poScreenCenter:
    case poDesktopCenter:
        break;
    default:
        return;
    }
    if (center == this || (center && !center->Visible())) {
        center = nullptr;
    }
    int32_t left = 0;
    int32_t top = 0;
    if (center) {
        left = center->Left() + (center->Width() - Width()) / 2;
        top = center->Top() + (center->Height() - Height()) / 2;
    } else {
        left = (Screen->Width() - Width()) / 2;
        top = (Screen->Height() - Height()) / 2;
    }
    SetBounds(left, top, Width(), Height());
}

void TForm::DoShow()
{
    if (OnShow) {
        OnShow(this);
    }
}

void TForm::DoHide()
{
    if (OnHide) {
        OnHide(this);
    }
}

void TForm::DoClose(TCloseAction& Action)
{
    if (OnClose) {
        OnClose(this, Action);
    }
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    if (OnCloseQuery) {
        OnCloseQuery(this, canClose);
    }
    return canClose;
}

void TForm::Close()
{
    if (FModalLoop) {
        SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery()) {
        return;
    }
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) {
        return;
    }
    if (Application->MainForm() == this) {
        Application->Terminate();
    } else if (action == caHide) {
        Hide();
    } else if (action == caMinimize) {
        FWidget->showMinimized();
    } else {
        Release();
    }
}

// The frame's close button sends WM_CLOSE, so a form can take the request its own way.
void TForm::FrameCloseRequested()
{
    Perform(WM_CLOSE, 0, 0);
}

void TForm::Release()
{
    PostMessage(Handle(), CM_RELEASE, 0, 0);
}

void TForm::Dispatch(TMessage& Message)
{
    if (Message.Msg == CM_RELEASE) {
        Free();
        return;
    }
    if (Message.Msg == WM_CLOSE) {
        Close();
        return;
    }
    TWinControl::Dispatch(Message);
}

void TForm::BringToFront()
{
    RaiseWindow(FWidget);
    if (Visible()) {
        Screen->FormActivated(this);
    }
}

void TForm::SetModalResult(TModalResult Value)
{
    FModalResult = Value;
    if (FModalLoop && Value != mrNone) {
        FModalLoop->exit();
    }
}

TModalResult TForm::ShowModal()
{
    if (Visible() || !Enabled() || FModalLoop) {
        throw EInvalidOperation("Cannot make a visible window modal");
    }
    QEventLoop loop;
    FWidget->setWindowModality(Qt::ApplicationModal);
    Application->ModalStarted();
    PushEventLoop(&loop);
    FModalLoop = &loop;
    auto finish = [this, &loop] {
        FModalLoop = nullptr;
        PopEventLoop(&loop);
        Application->ModalFinished();
        Hide();
        FWidget->setWindowModality(Qt::NonModal);
    };
    try {
        Show();
        FModalResult = mrNone;
        for (;;) {
            if (!Application->Terminated() && FModalResult == mrNone) {
                loop.exec();
            }
            if (Application->Terminated()) {
                FModalResult = mrCancel;
            } else if (FModalResult != mrNone) {
                CloseModal();
            }
            if (FModalResult != mrNone) {
                break;
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    const TModalResult result = FModalResult;
    finish();
    return result;
}

void TForm::CloseModal()
{
    try {
        TCloseAction action = caNone;
        if (CloseQuery()) {
            action = caHide;
            DoClose(action);
        }
        if (action == caNone) {
            FModalResult = mrNone;
        } else if (action == caFree) {
            Release();
        }
    } catch (...) {
        FModalResult = mrNone;
        Application->HandleException(this);
    }
}

TWinControl* TForm::ActiveControl() const
{
    return FActiveControl;
}

void TForm::SetActiveControl(TWinControl* Control)
{
    if (FActiveControl == Control) {
        return;
    }
    if (FActiveControl) {
        FActiveControl->RemoveFreeNotification(this);
    }
    FActiveControl = Control;
    if (FActiveControl) {
        FActiveControl->FreeNotification(this);
        if (Visible() && !FActiveControl->Focused() && FActiveControl->CanFocus()) {
            FActiveControl->SetFocus();
        }
    }
}

bool TForm::Active() const
{
    return FActive;
}

void TForm::FrameActivated()
{
    Screen->FormActivated(this);
}

void TForm::Activated(bool Active)
{
    if (FActive == Active) {
        return;
    }
    FActive = Active;
    if (Active && OnActivate) {
        OnActivate(this);
    }
    if (!Active && OnDeactivate) {
        OnDeactivate(this);
    }
}

void TForm::SetDefaultButton(TButton* Button, bool IsDefault)
{
    if (IsDefault) {
        FDefaultButton = Button;
        Button->FreeNotification(this);
    } else if (FDefaultButton == Button) {
        FDefaultButton = nullptr;
    }
}

void TForm::SetCancelButton(TButton* Button, bool IsCancel)
{
    if (IsCancel) {
        FCancelButton = Button;
        Button->FreeNotification(this);
    } else if (FCancelButton == Button) {
        FCancelButton = nullptr;
    }
}

bool TForm::HandleDialogKey(uint16_t Key)
{
    auto usable = [](TButton* button) { return button && button->Enabled() && button->Showing(); };
    TControl* focused = ControlOfWidget(QApplication::focusWidget());
    if (Key == VK_RETURN) {
        if (dynamic_cast<TMemo*>(focused)) {
            return false;
        }
        if (auto* button = dynamic_cast<TButton*>(focused); usable(button)) {
            button->Click();
            return true;
        }
        if (usable(FDefaultButton)) {
            FDefaultButton->Click();
            return true;
        }
        return false;
    }
    if (Key == VK_ESCAPE && usable(FCancelButton)) {
        FCancelButton->Click();
        return true;
    }
    // A dialog without a Cancel button closes as its frame's close button closes it.
    if (Key == VK_ESCAPE && FModalLoop) {
        Perform(WM_CLOSE, 0, 0);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Painting

void TForm::EnsureFrontImage()
{
    if (FHost) {
        return;
    }
    FHost = std::make_unique<TFrontImageHost>([this] { Paint(); },
                                              [this] {
                                                  TCanvas* canvas = FHost->Canvas();
                                                  canvas->Brush()->SetColor(Color());
                                                  canvas->Brush()->SetStyle(bsSolid);
                                                  canvas->FillRect(canvas->ClipRect());
                                              });
    auto* surface = new TSurfaceWidget(FClient, this, FHost.get());
    FHost->OnDrawn = [surface](const TRect& area) {
        surface->update(QRect(area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top));
    };
    FSurface = surface;
    // Behind the child controls, whenever they were made.
    FSurface->lower();
    FSurface->show();
    RouteEventsOf(FSurface);
    FSurface->setGeometry(0, 0, FClient->width(), FClient->height());
    FHost->Resize(FClient->width(), FClient->height());
}

TCanvas* TForm::Canvas()
{
    EnsureFrontImage();
    return FHost->Canvas();
}

TBitmap* TForm::FrontImage()
{
    EnsureFrontImage();
    return FHost->Image();
}

void TForm::Invalidate()
{
    if (!FHost && OnPaint) {
        EnsureFrontImage();
    }
    if (!FHost) {
        TWinControl::Invalidate();
        return;
    }
    FHost->Mark(nullptr, true);
    FSurface->update();
}

void TForm::Update()
{
    if (!FHost) {
        TWinControl::Update();
        return;
    }
    const TRect area = FHost->PaintMarked();
    if (area.Right > area.Left) {
        FSurface->update(QRect(area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top));
    }
}

void TForm::Repaint()
{
    Invalidate();
    Update();
}

void TForm::ColorChanged()
{
    TWinControl::ColorChanged();
    if (FHost) {
        Invalidate();
    }
}

void TForm::Paint()
{
    if (OnPaint) {
        OnPaint(this);
    }
}
