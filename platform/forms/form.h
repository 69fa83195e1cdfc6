// Forms: top-level windows with a frame, an optional main menu, modeless and modal showing, the
// close protocol of the class library, and key preview.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/exceptions.h"
#include "platform/forms/controls.h"

class TMainMenu;
class TButton;
class QEventLoop;

enum TPosition : uint8_t
{
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};

enum TCloseAction : uint8_t
{
    caNone,
    caHide,
    caFree,
    caMinimize
};

// Buttons of the frame, as bits.
using TBorderIcons = uint8_t;
enum : TBorderIcons
{
    biSystemMenu = 1 << 0,
    biMinimize = 1 << 1,
    biMaximize = 1 << 2,
    biHelp = 1 << 3,
};

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
// Returns true when the form handled the help request itself.
using THelpEvent = std::function<bool(uint16_t Command, intptr_t Data, bool& CallHelp)>;

class EInvalidOperation : public Exception
{
public:
    using Exception::Exception;
};

class TForm : public TWinControl
{
public:
    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    // Fires OnCreate. Application::CreateForm calls it; whoever creates a form with new calls it
    // after the constructor, as the class library does once construction is complete.
    void AfterConstruction();
    void BeforeDestruction() override;

    // Shows the form modally and returns once ModalResult is set (by the program, a button with
    // a ModalResult, or closing the window: mrCancel). Raises EInvalidOperation when the form is
    // already showing or disabled.
    TModalResult ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult Value);
    bool Modal() const { return FModalLoop != nullptr; }

    // Closes as the class library does: a modal form gets mrCancel; otherwise OnCloseQuery may
    // refuse, OnClose chooses the action, and closing the main form ends the application.
    void Close();
    bool CloseQuery();
    // Frees the form once the current message is handled.
    void Release();
    // Makes the form the active window.
    void BringToFront();

    int32_t ClientWidth() const override;
    int32_t ClientHeight() const override;

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle Value);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons Value);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition Value) { FPosition = Value; }
    // While set, the form's key events fire before those of the focused control.
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool Value) { FKeyPreview = Value; }

    TMainMenu* Menu() const { return FMenu; }
    void SetMenu(TMainMenu* Value);

    // The control that has (or gets, when the form is shown) the input focus.
    TWinControl* ActiveControl() const;
    void SetActiveControl(TWinControl* Control);
    bool Active() const;

    // The button that Enter clicks and the one that Escape clicks.
    TButton* DefaultButton() const { return FDefaultButton; }
    TButton* CancelButton() const { return FCancelButton; }

    // A form that draws itself: once Canvas or FrontImage has been asked for, or the form is
    // shown or invalidated with OnPaint set, the client area behind the child controls is a front
    // image, as a custom control's is. Paint (OnPaint by default) draws on Canvas what Invalidate
    // marked, and the form takes the mouse over it.
    TCanvas* Canvas();
    TBitmap* FrontImage();
    void Invalidate() override;
    void Update() override;
    void Repaint() override;
    TNotifyEvent OnPaint;

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    THelpEvent OnHelp;

    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    // CM_RELEASE frees the form; WM_CLOSE (the frame's close button) closes it.
    void Dispatch(TMessage& Message) override;

    // Internal: the platform's frame reports.
    void FrameCloseRequested();
    void FrameActivated();
    void FrameResolutionChanged() { ScreenResolutionChanged(); }
    void Activated(bool Active);
    void SetDefaultButton(TButton* Button, bool IsDefault);
    void SetCancelButton(TButton* Button, bool IsCancel);
    bool HandleDialogKey(uint16_t Key);
    void MenuChanged();

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    QWidget* ClientWidget() const override;
    void SetVisible(bool Value) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual void DoClose(TCloseAction& Action);
    virtual void DoShow();
    virtual void DoHide();
    // The window moved to a screen of another logical resolution, or its screen's changed: what
    // the style draws (frames, margins, check marks) has another size now.
    virtual void ScreenResolutionChanged() {}
    void WidgetResized() override { LayoutFrame(); }
    void ColorChanged() override;
    // Draws the form on Canvas; the default fires OnPaint after the erase filled the area with
    // Color.
    virtual void Paint();

private:
    void EnsureFrontImage();
    void CloseModal();
    void ApplyWindowFlags();
    void PlaceOnFirstShow();
    void LayoutFrame();

    QWidget* FClient = nullptr;
    QWidget* FSurface = nullptr;
    std::unique_ptr<FormsDetail::TFrontImageHost> FHost;
    QWidget* FMenuBar = nullptr;
    TMainMenu* FMenu = nullptr;
    TButton* FDefaultButton = nullptr;
    TButton* FCancelButton = nullptr;
    TWinControl* FActiveControl = nullptr;
    QEventLoop* FModalLoop = nullptr;
    TModalResult FModalResult = mrNone;
    TRect FRequested{};
    TFormBorderStyle FBorderStyle = bsSizeable;
    TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
    TPosition FPosition = poDesigned;
    bool FKeyPreview = false;
    bool FCreated = false;
    bool FActive = false;
};
