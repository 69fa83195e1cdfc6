// The application object and the screen: the message loop, modal state, the application-wide
// message hook, exception display, help, and the screen's forms, cursors and metrics.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/forms/messages.h"

class TForm;
class TBitmap;
class TApplicationEvents;

using TMessageEvent = std::function<void(TMsg& Msg, bool& Handled)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TApplication : public TComponent
{
public:
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    // Prepares the platform's application object; safe to call more than once.
    void Initialize();

    // Creates a form owned by the application and runs its OnCreate; the first form created
    // becomes the main form.
    template <class T> void CreateForm(T*& Reference)
    {
        Initialize();
        Reference = new T(this);
        AddForm(Reference);
    }

    // Shows the main form and runs the message loop until Terminate (closing the main form
    // terminates). Exceptions that escape an event handler are shown and the loop goes on.
    void Run();
    // Handles every message waiting and returns.
    void ProcessMessages();
    // Waits for at least one message and handles what is waiting.
    void HandleMessage();
    void Terminate();
    bool Terminated() const { return FTerminated; }

    TForm* MainForm() const { return FMainForm; }
    bool ShowMainForm() const { return FShowMainForm; }
    void SetShowMainForm(bool Value) { FShowMainForm = Value; }

    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& Value);

    // The program's icon, which the frame of every window shows: a picture file the platform
    // reads (PNG, JPEG, BMP...). False, and the icon unchanged, when the file cannot be read.
    bool LoadIcon(const std::string& FileName);
    // The file of the icon loaded last, empty when none was.
    const std::string& IconFile() const { return FIconFile; }

    // A message box through the dialog service; an empty caption is the application's title.
    int32_t MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags);

    // The help file the help calls use.
    const std::string& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const std::string& Value) { FHelpFile = Value; }
    // Shows a topic of HelpFile through the dialog service.
    void HelpShowTopic(const std::string& Topic);

    // Shows the exception being handled (nothing for EAbort), or passes it to OnException.
    // Called for every exception that escapes an event handler.
    void HandleException(TObject* Sender);
    // The standard display: the message, with a full stop added, in a message box with the
    // application's title, an OK button and the stop icon.
    void ShowException(const std::exception& E);

    // Number of modal forms showing.
    int32_t ModalLevel() const { return FModalLevel; }

    // Sees every key, mouse-button and posted message before the control that it is for;
    // setting Handled stops it there.
    TMessageEvent OnMessage;
    TExceptionEvent OnException;

    // Internal: the forms layer's bookkeeping.
    void AddForm(TForm* Form);
    void ModalStarted() { ++FModalLevel; }
    void ModalFinished() { --FModalLevel; }
    bool DispatchHook(TMsg& Msg);
    void AddEvents(TApplicationEvents* Events);
    void RemoveEvents(TApplicationEvents* Events);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    bool FTerminated = false;
    bool FShowMainForm = true;
    bool FInitialized = false;
    TForm* FMainForm = nullptr;
    std::string FTitle;
    std::string FIconFile;
    std::string FHelpFile;
    int32_t FModalLevel = 0;
    std::vector<TApplicationEvents*> FEvents;
};

// A component that hooks the application's messages for the form that owns it.
class TApplicationEvents : public TComponent
{
public:
    explicit TApplicationEvents(TComponent* AOwner);
    ~TApplicationEvents() override;

    TMessageEvent OnMessage;
};

// Cursor identifiers: the standard shapes are negative, 0 is the control's default, positive
// identifiers name cursors registered with TScreen::SetCursorShape.
using TCursor = int16_t;
enum : TCursor
{
    crDefault = 0,
    crNone = -1,
    crArrow = -2,
    crCross = -3,
    crIBeam = -4,
    crSizeNESW = -6,
    crSizeNS = -7,
    crSizeNWSE = -8,
    crSizeWE = -9,
    crUpArrow = -10,
    crHourGlass = -11,
    crDrag = -12,
    crNoDrop = -13,
    crHSplit = -14,
    crVSplit = -15,
    crMultiDrag = -16,
    crSQLWait = -17,
    crNo = -18,
    crAppStart = -19,
    crHelp = -20,
    crHandPoint = -21,
    crSizeAll = -22,
    crSize = crSizeAll,
};

class TScreen : public TComponent
{
public:
    explicit TScreen(TComponent* AOwner);
    ~TScreen() override;

    // The form most recently activated (shown, brought to front or focused) that is showing.
    TForm* ActiveForm() const;
    int32_t FormCount() const { return static_cast<int32_t>(FForms.size()); }
    TForm* Forms(int32_t Index) const;

    // A cursor shown over every window of the application; crDefault lets each control's own
    // cursor show again.
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor Value);
    // Registers a monochrome cursor under a positive identifier from two 1-bit masks of the same
    // size (AND mask and XOR mask, as a Windows cursor resource holds them: 0/0 black, 0/1 white,
    // 1/0 transparent, 1/1 inverted) and its hot spot. False when the masks do not match.
    bool SetCursorShape(TCursor Id, const TBitmap& AndMask, const TBitmap& XorMask, int32_t HotX,
                        int32_t HotY);
    bool HasCursorShape(TCursor Id) const;

    int32_t Width() const;
    int32_t Height() const;
    // Logical resolution of the screen in dots per inch.
    int32_t PixelsPerInch() const;

    // Internal: forms register themselves.
    void AddForm(TForm* Form);
    void RemoveForm(TForm* Form);
    void FormActivated(TForm* Form);

private:
    std::vector<TForm*> FForms;
    std::vector<TForm*> FActivation;
    TForm* FLastActive = nullptr;
    TCursor FCursor = crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

// Frees every form and component the application owns and the platform's application object.
// Called once at the end of a program or test run.
void DoneApplication();

// System metrics, as the class library's code asks them of the platform.
enum : int32_t
{
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
};
int32_t GetSystemMetrics(int32_t Index);
