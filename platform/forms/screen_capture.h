// Copies of what the screen shows: the whole (virtual) screen, or the active window with or
// without its frame. On X11 that is the active window of any program; where programs cannot read
// other programs' windows (Wayland) it is the active form of this program.
#pragma once

#include <cstdint>

class TBitmap;

enum class TCaptureArea : uint8_t
{
    WholeScreen,
    ActiveWindow,
    ActiveWindowClient
};

// Fills Target (pf24bit) with the pixels of the area as the screen shows them, the parts of a
// window beyond the screen's edges left out; with DrawPointer an arrow is drawn where the mouse
// pointer is. Runs on the user-interface thread (another thread waits for it there). False, and
// Target unchanged, when there is nothing to capture: no screen, no active window, an empty area.
bool CaptureScreenArea(TCaptureArea Area, bool DrawPointer, TBitmap& Target);
