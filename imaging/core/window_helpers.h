// Windows of the imaging library's dialogs: the handle that parents them and the hook that
// centres them.
#pragma once

#include "platform/core/classes.h"
#include "platform/forms/messages.h"
#include "platform/graphics/geometry.h"

#include <functional>

namespace Daduvudez {

// When set, centres the library's dialogs instead of the library itself.
extern std::function<void(HWND window)> KVDefDialogCenter;

// Centres the top-level window horizontally and places it at a third of the screen's height,
// keeping its size; KVDefDialogCenter does it instead when set.
void KVCenterWindow(HWND window);
// Where KVCenterWindow puts a window of that size on a screen of that size.
TPoint KVCenteredPosition(int32_t screenWidth, int32_t screenHeight, int32_t windowWidth,
                          int32_t windowHeight);

// The handle of the first windowed control among the component and its owners; 0 when there is
// none or its window is not made yet.
HWND KVFindHandle(TComponent* component);

} // namespace Daduvudez
