// Window messages as the class library passes them around: the message record, the window-handle
// type, the message and virtual-key numbers that the controls and the application hook exchange,
// and the posting and sending of a message to a window by its handle.
#pragma once

#include <cstdint>

// A window handle: a number that names one live windowed control. 0 is no window; a handle is
// never reused, so a message posted to a window that has been freed meanwhile is dropped.
using HWND = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct TMessage
{
    uint32_t Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// A message as the application-wide hook sees it, before any control handles it.
struct TMsg
{
    HWND hwnd = 0;
    uint32_t message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

enum : uint32_t
{
    WM_NULL = 0x0000,
    WM_SETFOCUS = 0x0007,
    WM_KILLFOCUS = 0x0008,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_ERASEBKGND = 0x0014,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105,
    WM_TIMER = 0x0113,
    WM_HSCROLL = 0x0114,
    WM_VSCROLL = 0x0115,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    WM_MBUTTONDBLCLK = 0x0209,
    WM_MOUSEWHEEL = 0x020A,
    WM_USER = 0x0400,
    // The class library's own messages.
    CM_BASE = 0xB000,
    CM_MOUSEENTER = CM_BASE + 19,
    CM_MOUSELEAVE = CM_BASE + 20,
    CM_RELEASE = CM_BASE + 33,
};

// Scroll-bar identifiers and the notification codes of WM_HSCROLL and WM_VSCROLL (low word of
// WParam; the high word carries the thumb position for SB_THUMBPOSITION and SB_THUMBTRACK).
enum : int32_t
{
    SB_HORZ = 0,
    SB_VERT = 1,
    SB_CTL = 2,
    SB_BOTH = 3,
};
enum : uint16_t
{
    SB_LINEUP = 0,
    SB_LINELEFT = 0,
    SB_LINEDOWN = 1,
    SB_LINERIGHT = 1,
    SB_PAGEUP = 2,
    SB_PAGELEFT = 2,
    SB_PAGEDOWN = 3,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_LEFT = 6,
    SB_BOTTOM = 7,
    SB_RIGHT = 7,
    SB_ENDSCROLL = 8,
};

// Key and button state flags carried in the WParam of mouse messages.
enum : uint16_t
{
    MK_LBUTTON = 0x0001,
    MK_RBUTTON = 0x0002,
    MK_SHIFT = 0x0004,
    MK_CONTROL = 0x0008,
    MK_MBUTTON = 0x0010,
};
constexpr int32_t WHEEL_DELTA = 120;

// Virtual-key codes. Letters and digits are their upper-case ASCII codes ('A', '0').
enum : uint16_t
{
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_CANCEL = 0x03,
    VK_MBUTTON = 0x04,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_CLEAR = 0x0C,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_SNAPSHOT = 0x2C,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_HELP = 0x2F,
    VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B,
    VK_SEPARATOR = 0x6C,
    VK_SUBTRACT = 0x6D,
    VK_DECIMAL = 0x6E,
    VK_DIVIDE = 0x6F,
    VK_F1 = 0x70,
    VK_F2,
    VK_F3,
    VK_F4,
    VK_F5,
    VK_F6,
    VK_F7,
    VK_F8,
    VK_F9,
    VK_F10,
    VK_F11,
    VK_F12,
    VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91,
};

constexpr uint16_t LOWORD(uintptr_t value)
{
    return uint16_t(value & 0xFFFF);
}
constexpr uint16_t HIWORD(uintptr_t value)
{
    return uint16_t((value >> 16) & 0xFFFF);
}
constexpr WPARAM MAKEWPARAM(uint16_t low, uint16_t high)
{
    return WPARAM(low) | (WPARAM(high) << 16);
}
constexpr LPARAM MAKELPARAM(int16_t low, int16_t high)
{
    return LPARAM(uint32_t(uint16_t(low)) | (uint32_t(uint16_t(high)) << 16));
}

// Queues the message for the window and returns at once; the message is dispatched later on the
// user-interface thread, whichever thread posts it. False when the handle names no live window.
bool PostMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam);

// Dispatches the message to the window at once and returns its result; user-interface thread only.
// 0 when the handle names no live window.
LRESULT SendMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam);
