// TKorvaneIO: the save-parameters dialog opened with the component's settings.
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/iopreviews.h"
#include "imaging/io/korvaneio.h"

#include <memory>

bool TKorvaneIO::DoPreviews(TPreviewParams Pages)
{
    if (OnDoPreviews) {
        bool handled = false;
        OnDoPreviews(this, handled);
        if (handled) {
            return true;
        }
    }
    bool result = false;
    Reencapsulate();
    auto form = std::make_unique<TfIOPreviews>(this);
    form->PrepareFor(&Params(), PreviewsParams, SimplifiedParamsDialogs, DefaultDitherMethod(), MsgLanguage,
                     PreviewFont());
    // The dialog previews a copy: the working bitmap keeps its pixel format, whatever is chosen.
    if (FKVBitmap != nullptr) {
        form->SetSourceImage(FKVBitmap);
    }
    if (form->SetPreviewParams(Pages)) {
        if (OnIOPreview) {
            OnIOPreview(this, form.get());
        }
        result = form->ShowModal() == mrOk;
    }
    form.reset();
    Update();
    return result;
}
