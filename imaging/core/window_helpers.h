// Windows of the imaging library's dialogs: the handle that parents them and the hook that
// centres them.
#pragma once

#include "platform/core/classes.h"
#include "platform/forms/messages.h"

#include <functional>

namespace Daduvudez {

// When set, centres the library's dialogs instead of the library itself.
extern std::function<void(HWND window)> KVDefDialogCenter;

// The handle of the first windowed control among the component and its owners; 0 when there is
// none or its window is not made yet.
HWND KVFindHandle(TComponent* component);

} // namespace Daduvudez
