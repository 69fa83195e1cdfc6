// Windows of the imaging library's dialogs.
#include "imaging/core/window_helpers.h"

#include "platform/forms/controls.h"

namespace Daduvudez {

std::function<void(HWND window)> KVDefDialogCenter;

HWND KVFindHandle(TComponent* component)
{
    for (TComponent* c = component; c != nullptr; c = c->Owner())
        if (auto* control = dynamic_cast<TWinControl*>(c))
            return control->HandleAllocated() ? control->Handle() : 0;
    return 0;
}

} // namespace Daduvudez
