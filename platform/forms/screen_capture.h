// Copies of what the screen shows: the whole (virtual) screen, or the active form of this program
// with or without its frame. Other programs' windows cannot be reached on every platform, so the
// foreground window is always one of ours.
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
// Target unchanged, when there is nothing to capture: no screen, no active form, an empty area.
bool CaptureScreenArea(TCaptureArea Area, bool DrawPointer, TBitmap& Target);
