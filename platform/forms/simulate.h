// Acting as the user, for tests: each call sends the platform the input events a person's
// action would, so that controls react through their real event paths. Nothing needs a display.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/forms/controls.h"
#include "platform/forms/messages.h"
#include "platform/forms/up_down.h"

class TComboBox;
class TTrackBar;
class TCSpinEdit;
class THeaderControl;
class TMenuItem;
class TPageControl;
class TTabSheet;
class TUpDown;
class TRadioButton;
class TRadioGroup;

namespace Simulate {

// Gives the control the input focus (its form becomes the active window).
void Focus(TWinControl* Control);
// A press and release of the key with the modifiers, through the application's hook, shortcuts
// and the focused control (the control gets the focus first).
void Key(TWinControl* Control, uint16_t VirtualKey, TShiftState Shift = 0);
// A press and release of the key for whatever has the keyboard now: an open menu, else the
// focused control, else the active window. The focus is not moved first.
void KeyToFocus(uint16_t VirtualKey, TShiftState Shift = 0);
// The caption of the menu that is open (a menu of the bar or a popup), empty when none is.
std::string OpenMenu();
// Types the text into the focused control, character by character.
void Type(TWinControl* Control, const std::string& Text);
// Selects everything in an edit (as a triple click does) and types the text over it.
void Retype(TWinControl* Control, const std::string& Text);
// Mouse events move the pointer (GetCursorPos) to their position first.
// A click with the left button at (X, Y) of the client area, or at its centre.
void Click(TControl* Control);
void Click(TControl* Control, int32_t X, int32_t Y);
void DoubleClick(TControl* Control, int32_t X, int32_t Y);
void MouseDown(TControl* Control, TMouseButton Button, int32_t X, int32_t Y, TShiftState Shift = 0);
void MouseMove(TControl* Control, int32_t X, int32_t Y, TShiftState Shift = 0);
void MouseUp(TControl* Control, TMouseButton Button, int32_t X, int32_t Y, TShiftState Shift = 0);
// The mouse pointer moving onto the control, and off it again.
void MouseEnter(TControl* Control);
void MouseLeave(TControl* Control);
// One notch of the wheel is 120; positive turns away from the user.
void Wheel(TControl* Control, int32_t X, int32_t Y, int32_t Delta, TShiftState Shift = 0);
// Chooses an item of the drop-down list, as picking it from the open list does.
void Choose(TComboBox* Combo, int32_t Index);
// Drags the thumb of a track bar to the position.
void Slide(TTrackBar* TrackBar, int32_t Position);
// Clicks the spin edit's up or down button.
void SpinUp(TCSpinEdit* SpinEdit);
void SpinDown(TCSpinEdit* SpinEdit);
// Clicks the tab of the page with the mouse (nothing happens when the page's tab is hidden).
void ClickTab(TPageControl* PageControl, TTabSheet* Page);
// Clicks the up-down's arrow: btNext the up (or right) arrow, btPrev the down (or left) one.
void ClickUpDown(TUpDown* UpDown, TUDBtnType Button);
// Clicks the radio button on its round mark, and the radio group's button of the item.
void ClickRadio(TRadioButton* Button);
void ClickRadioItem(TRadioGroup* Group, int32_t Index);
// A click on a window scroll bar of a custom control: SB_LINEUP, SB_LINEDOWN, SB_PAGEUP,
// SB_PAGEDOWN, or a drag of the thumb to Position (SB_THUMBTRACK then SB_THUMBPOSITION).
void Scroll(TCustomControl* Control, int32_t Bar, uint16_t Code, int32_t Position = 0);
// Drags the right edge of a header section to the new width.
void ResizeSection(THeaderControl* Header, int32_t Index, int32_t Width);
// Closes the form with its frame's close button.
void CloseWindow(TForm* Form);
// The control that has the keyboard focus (a speed button reached with Tab included), or nullptr.
TControl* FocusedControl();
// Lets the platform deliver what is queued (posted messages, timers that are due, paints).
void ProcessEvents();
// Waits up to TimeoutMs, handling events, until Done returns true; returns Done's last answer.
// The timeout only ends a wait that would hang: give ten times what the wait takes on a quiet
// machine or more (the default suits waits of up to half a second), never a bound on speed.
bool WaitUntil(const std::function<bool()>& Done, int32_t TimeoutMs = 5000);

} // namespace Simulate
