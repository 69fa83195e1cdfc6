// Windows of the imaging library's dialogs.
#include "imaging/core/window_helpers.h"

#include "platform/forms/application.h"
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

TPoint KVCenteredPosition(int32_t screenWidth, int32_t screenHeight, int32_t windowWidth,
                          int32_t windowHeight)
{
    return TPoint{(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 3};
}

void KVCenterWindow(HWND window)
{
    if (KVDefDialogCenter) {
        KVDefDialogCenter(window);
        return;
    }
    TWinControl* control = FindControl(window);
    if (control == nullptr || Screen == nullptr)
        return;
    const TPoint place =
        KVCenteredPosition(Screen->Width(), Screen->Height(), control->Width(), control->Height());
    control->SetBounds(place.X, place.Y, control->Width(), control->Height());
}

} // namespace Daduvudez
