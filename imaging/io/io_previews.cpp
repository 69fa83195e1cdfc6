// TKorvaneIO: the save-parameters dialog opened with the component's settings.
#include "imaging/io/korvaneio.h"

bool TKorvaneIO::DoPreviews(TPreviewParams Pages)
{
    if (OnDoPreviews) {
        bool handled = false;
        OnDoPreviews(this, handled);
        if (handled) {
            return true;
        }
    }
    (void)Pages;
    return false;
}
