// Controls of the class library over the platform's widgets: TControl (geometry, visibility,
// text, colour, font, hint, cursor, mouse and message handling), TWinControl (a window with a
// handle, children, focus and keys), TGraphicControl, and TCustomControl, which paints into its
// own raster, the front image, that the widget only copies to the screen.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/forms/application.h"
#include "platform/forms/messages.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

class QWidget;
class TForm;
class TWinControl;

namespace FormsDetail {
class TEventRouter;
class TFrontImageHost;
class TScrollBarPair;
class TCaret;
} // namespace FormsDetail

enum TAlign : uint8_t
{
    alNone,
    alTop,
    alBottom,
    alLeft,
    alRight,
    alClient
};

enum TAlignment : uint8_t
{
    taLeftJustify,
    taRightJustify,
    taCenter
};

enum TMouseButton : uint8_t
{
    mbLeft,
    mbRight,
    mbMiddle
};

// Modifier keys and mouse buttons held during an input event, as bits.
using TShiftState = uint16_t;
enum : TShiftState
{
    ssShift = 1 << 0,
    ssAlt = 1 << 1,
    ssCtrl = 1 << 2,
    ssLeft = 1 << 3,
    ssRight = 1 << 4,
    ssMiddle = 1 << 5,
    ssDouble = 1 << 6,
};

// The frame of a form; a windowed control takes only bsNone or bsSingle (a sunken edge).
enum TFormBorderStyle : uint8_t
{
    bsNone,
    bsSingle,
    bsSizeable,
    bsDialog,
    bsToolWindow,
    bsSizeToolWin
};
using TBorderStyle = TFormBorderStyle;

// What a control does on its own, as bits of ControlStyle.
using TControlStyle = uint32_t;
enum : TControlStyle
{
    csAcceptsControls = 1 << 0,
    csCaptureMouse = 1 << 1,
    csClickEvents = 1 << 2,
    csFramed = 1 << 3,
    csSetCaption = 1 << 4,
    // The control paints every pixel of what is invalidated: no background erase first.
    csOpaque = 1 << 5,
    csDoubleClicks = 1 << 6,
};

// Window styles that make a windowed control a popup: a window of its own, floating on the
// screen at its bounds (screen coordinates) without a parent, like a hint window.
enum : uint32_t
{
    WS_BORDER = 0x00800000u,
    WS_POPUP = 0x80000000u,
};
enum : uint32_t
{
    // Mouse input passes through the window to what lies below it.
    WS_EX_TRANSPARENT = 0x00000020u,
    WS_EX_TOOLWINDOW = 0x00000080u,
};

using TModalResult = int32_t;
enum : TModalResult
{
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t WheelDelta,
                                            TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

class TControl : public TComponent
{
public:
    ~TControl() override;
    void BeforeDestruction() override;

    // The name is also the widget's object name, so tests find a control by it.
    void SetName(const std::string& NewName) override;

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);
    // The form the control sits on (itself for a form), or nullptr.
    TForm* ParentForm() const;

    // Position and size in the parent's client coordinates; for a form, its frame on the screen.
    int32_t Left() const;
    int32_t Top() const;
    int32_t Width() const;
    int32_t Height() const;
    void SetLeft(int32_t Value) { SetBounds(Value, Top(), Width(), Height()); }
    void SetTop(int32_t Value) { SetBounds(Left(), Value, Width(), Height()); }
    void SetWidth(int32_t Value) { SetBounds(Left(), Top(), Value, Height()); }
    void SetHeight(int32_t Value) { SetBounds(Left(), Top(), Width(), Value); }
    virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    TRect BoundsRect() const { return TRect{Left(), Top(), Left() + Width(), Top() + Height()}; }

    // The area inside the control's frame, scroll bars and menu, from (0, 0).
    virtual int32_t ClientWidth() const;
    virtual int32_t ClientHeight() const;
    void SetClientWidth(int32_t Value);
    void SetClientHeight(int32_t Value);
    TRect ClientRect() const { return TRect{0, 0, ClientWidth(), ClientHeight()}; }
    TPoint ClientToScreen(const TPoint& Point) const;
    TPoint ScreenToClient(const TPoint& Point) const;

    // The logical resolution, in pixels per inch, of the screen the control shows on: the
    // platform's style sizes frames, margins and check marks by it.
    int32_t PixelsPerInch() const;

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Value);

    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool Value);
    void Show();
    void Hide();
    // Visible, and every parent up to the form visible.
    bool Showing() const;

    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool Value);

    // Caption and Text are one property, as in the class library.
    std::string Caption() const { return GetText(); }
    // The least width that shows the whole caption of a label, button, speed button, check box,
    // radio button or group box in the platform's style (frame, margins and check mark
    // included); 0 for other controls and for an empty caption.
    int32_t CaptionWidth() const;
    // The least height that shows one line of the control's text whole in the platform's style:
    // a label's, button's, check or radio box's, edit's, spin edit's or combo box's (frame
    // included), a group box's title; 0 for other controls.
    int32_t CaptionHeight() const;
    void SetCaption(const std::string& Value) { SetText(Value); }
    std::string Text() const { return GetText(); }
    void SetText(const std::string& Value);

    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool Value);

    // The control's font; changing it stops taking the parent's font.
    TFont* Font() const { return FFont.get(); }
    void SetFont(TFont* Value);
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool Value);

    // "short|long": the short part shows as the tooltip while ShowHint is on.
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& Value);
    bool ShowHint() const;
    void SetShowHint(bool Value);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool Value);

    TCursor Cursor() const { return FCursor; }
    virtual void SetCursor(TCursor Value);

    TControlStyle ControlStyle() const { return FControlStyle; }
    void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }

    // While set, the control gets every mouse message, also outside its bounds.
    bool MouseCapture() const;
    void SetMouseCapture(bool Value);

    // Ask for a repaint later, run a pending one now, or both.
    virtual void Invalidate();
    virtual void Update();
    virtual void Repaint();
    void Refresh() { Repaint(); }

    void BringToFront();
    void SendToBack();

    // Sends a message to the control itself, at once.
    LRESULT Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam);
    // Every message passes WndProc, which hands it to Dispatch; override Dispatch to handle a
    // message of one's own and pass the others to the inherited Dispatch.
    virtual void WndProc(TMessage& Message);
    virtual void Dispatch(TMessage& Message);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TMouseWheelEvent OnMouseWheel;

    // Internal: the widget that stands for the control, for the forms layer's own sources.
    QWidget* Widget() const { return FWidget; }

    // Runs the click of the control, as a user's click does.
    virtual void Click();

protected:
    // AWidget is the control's widget, created by the derived class; the control owns it.
    TControl(TComponent* AOwner, QWidget* AWidget);

    virtual std::string GetText() const;
    virtual void SetTextValue(const std::string& Value);
    // Called after the text changed by SetText.
    virtual void TextChanged() {}

    virtual void DblClick();
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    // Fires OnMouseWheel; returns whether the wheel was handled.
    virtual bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos);
    virtual void Resize();
    virtual void FontChanged();
    virtual void ColorChanged();
    virtual void EnabledChanged();
    virtual void VisibleChanged();

    // The widget whose coordinates are the client coordinates (the widget itself by default).
    virtual QWidget* ClientWidget() const { return FWidget; }
    // Tells the control that its client size may have changed; fires Resize when it did.
    void CheckResize();
    // The platform resized the control's widget.
    virtual void WidgetResized() { CheckResize(); }
    // Mouse and key messages of this widget reach the control (the main widget's are routed).
    void RouteEventsOf(QWidget* AWidget);
    // Applies the font, colour and hint that the control takes from its parent.
    virtual void ParentChanged();
    void ApplyFont();
    void ApplyColor();
    void ApplyHint();
    void ApplyVisibility();

    QWidget* FWidget = nullptr;

private:
    friend class FormsDetail::TEventRouter;
    friend class TWinControl;

    void HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y, bool Double);
    void HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);

    TWinControl* FParent = nullptr;
    std::unique_ptr<FormsDetail::TEventRouter> FRouter;
    std::unique_ptr<TFont> FFont;
    TAlign FAlign = alNone;
    bool FVisible = true;
    bool FEnabled = true;
    TColor FColor = clBtnFace;
    bool FParentColor = false;
    bool FParentFont = true;
    bool FSettingParentFont = false;
    std::string FHint;
    bool FShowHint = false;
    bool FParentShowHint = true;
    TCursor FCursor = crDefault;
    TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    bool FPressed = false;
    int32_t FLastClientWidth = -1;
    int32_t FLastClientHeight = -1;
    std::string FCaptionText;
};

// A control with a window of its own: a handle that messages are posted to, child controls, the
// input focus and keyboard events.
class TWinControl : public TControl
{
public:
    ~TWinControl() override;
    // Frees the child controls first, whoever owns them, as the class library does.
    void BeforeDestruction() override;

    HWND Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != 0; }

    int32_t ControlCount() const { return static_cast<int32_t>(FControls.size()); }
    TControl* Controls(int32_t Index) const;

    bool Focused() const;
    virtual bool CanFocus() const;
    virtual void SetFocus();

    // Position among the parent's windowed children in the Tab-key order.
    int32_t TabOrder() const;
    void SetTabOrder(int32_t Value);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool Value);

    int32_t ClientWidth() const override;
    int32_t ClientHeight() const override;

    // Lays out the children whose Align is not alNone.
    void Realign();

    // Draws the control with its children, as the screen shows it, on Canvas at (X, Y).
    void PaintTo(TCanvas* Canvas, int32_t X, int32_t Y);

    // WS_POPUP makes the control a window of its own (see the styles above); 0 makes it a child
    // window again.
    void SetWindowStyle(uint32_t Style, uint32_t ExStyle);
    uint32_t WindowStyle() const { return FStyle; }
    uint32_t WindowExStyle() const { return FExStyle; }

    // Gaining and losing the input focus also send WM_SETFOCUS and WM_KILLFOCUS first.
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;

    // Internal: the widget that holds the children.
    QWidget* ChildHost() const { return ClientWidget(); }
    void InsertControl(TControl* AControl);
    void RemoveControl(TControl* AControl);

protected:
    TWinControl(TComponent* AOwner, QWidget* AWidget);

    virtual void KeyDown(uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    virtual void DoEnter();
    virtual void DoExit();
    void Resize() override;
    void FontChanged() override;
    void ColorChanged() override;

private:
    friend class FormsDetail::TEventRouter;
    void ApplyTabOrder();
    void DestroyChildControls();

    HWND FHandle = 0;
    uint32_t FStyle = 0;
    uint32_t FExStyle = 0;
    std::vector<TControl*> FControls;
    std::vector<TWinControl*> FTabList;
    bool FTabStop = false;
};

// The windowed control of a live handle, or nullptr.
TWinControl* FindControl(HWND Handle);

// The mouse pointer's position in screen coordinates. SetCursorPos moves the pointer; where the
// platform has no pointer to move (offscreen, in tests) the position set is the one read back.
TPoint GetCursorPos();
void SetCursorPos(int32_t X, int32_t Y);

// A control without a window handle of its own, such as a label or a picture.
class TGraphicControl : public TControl
{
protected:
    TGraphicControl(TComponent* AOwner, QWidget* AWidget);
};

// Scroll-bar parameters, as SetScrollInfo and GetScrollInfo exchange them.
enum : uint32_t
{
    SIF_RANGE = 0x0001,
    SIF_PAGE = 0x0002,
    SIF_POS = 0x0004,
    SIF_DISABLENOSCROLL = 0x0008,
    SIF_TRACKPOS = 0x0010,
    SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS,
};
enum : uint32_t
{
    ESB_ENABLE_BOTH = 0,
    ESB_DISABLE_LTUP = 1,
    ESB_DISABLE_RTDN = 2,
    ESB_DISABLE_BOTH = 3,
};
struct TScrollInfo
{
    uint32_t cbSize = sizeof(TScrollInfo);
    uint32_t fMask = 0;
    int32_t nMin = 0;
    int32_t nMax = 0;
    uint32_t nPage = 0;
    int32_t nPos = 0;
    int32_t nTrackPos = 0;
};

enum TScrollStyle : uint8_t
{
    ssNone,
    ssHorizontal,
    ssVertical,
    ssBoth
};

// A windowed control that draws itself. Paint (and OnPaint where a class offers it) draws on
// Canvas, which draws into the front image: a 24-bit TBitmap of the client size. The widget only
// copies the front image to the screen, so what was painted can be read back without a display.
// Drawing on Canvas outside Paint (rubber bands, outlines) lands in the front image as well.
//
// Invalidate marks the client area for painting, InvalidateRect a part of it; Update paints what
// is marked at once; Repaint does both. The platform also paints marked areas on its own before
// the widget shows them. While Paint runs, Canvas is clipped to the marked area.
//
// The control may have window scroll bars (ShowScrollBar, SetScrollInfo...), which take their
// room from the client area; the user's scrolling arrives as WM_HSCROLL and WM_VSCROLL messages.
class TCustomControl : public TWinControl
{
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;

    TCanvas* Canvas() const;
    // The raster that stands for the window surface (the client area).
    TBitmap* FrontImage() const;

    void Invalidate() override;
    void Update() override;
    void Repaint() override;
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    // WM_ERASEBKGND fills the marked area with Color unless csOpaque is set.
    void Dispatch(TMessage& Message) override;
    // Marks a part of the client area for painting (nullptr: all of it). Erase fills it with
    // Color before Paint runs.
    void InvalidateRect(const TRect* Rect, bool Erase);
    // The area marked for painting, empty when none.
    TRect UpdateRect() const;

    // bsSingle gives the control a sunken two-pixel edge outside the client area.
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle Value);

    int32_t ClientWidth() const override;
    int32_t ClientHeight() const override;

    // Window scroll bars (Bar is SB_HORZ, SB_VERT or SB_BOTH for ShowScrollBar). A range wider
    // than the page shows a bar; an empty one hides it unless SIF_DISABLENOSCROLL keeps it shown,
    // disabled. Positions are clamped to nMin .. nMax - max(nPage - 1, 0).
    int32_t SetScrollInfo(int32_t Bar, const TScrollInfo& Info, bool Redraw);
    bool GetScrollInfo(int32_t Bar, TScrollInfo& Info) const;
    int32_t SetScrollPos(int32_t Bar, int32_t Pos, bool Redraw);
    int32_t GetScrollPos(int32_t Bar) const;
    bool SetScrollRange(int32_t Bar, int32_t Min, int32_t Max, bool Redraw);
    bool ShowScrollBar(int32_t Bar, bool Show);
    bool EnableScrollBar(int32_t Bar, uint32_t Arrows);
    bool ScrollBarVisible(int32_t Bar) const;

    // The caret of a text control: one per application, shown over the front image (it is not
    // drawn into it) and blinking while the control has the focus.
    bool CreateCaret(int32_t Width, int32_t Height);
    bool SetCaretPos(int32_t X, int32_t Y);
    TPoint CaretPos() const;
    bool ShowCaret();
    bool HideCaret();
    bool DestroyCaret();
    bool CaretVisible() const;

    TNotifyEvent OnPaint;

    // Internal: the platform asks for the marked area to be painted.
    void PaintMarked();

protected:
    // Draws the control on Canvas; the default fills the marked area with Color and fires OnPaint.
    virtual void Paint();
    void Resize() override;
    void ColorChanged() override;
    QWidget* ClientWidget() const override;
    void WidgetResized() override { LayoutFrame(); }

private:
    void LayoutFrame();

    std::unique_ptr<FormsDetail::TFrontImageHost> FHost;
    std::unique_ptr<FormsDetail::TScrollBarPair> FScrollBars;
    QWidget* FSurface = nullptr;
    TBorderStyle FBorderStyle = bsNone;
};
