// TKorvaneMIO: the save-parameters dialog for the records of the view's images.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/iopreviews.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvanemio.h"

#include <memory>

using Zirodevo::gThreadCS;

bool TKorvaneMIO::DoPreviews(int32_t Index, TPreviewParams Pages)
{
    if (FView == nullptr) {
        return false;
    }
    if (FView->GetImageCount() > 0 && FView->SelectedImage() < 0) {
        FView->SetSelectedItem(0);
    }
    TKVBitmap* source = FView->GetKVBitmap();
    // An index past the records has nothing to edit.
    TIOParamsVals* params = GetParams(Index < 0 ? 0 : Index);
    if (source == nullptr || params == nullptr) {
        return false;
    }
    bool result = false;
    auto form = std::make_unique<TfIOPreviews>(this);
    form->PrepareFor(params, PreviewsParams, SimplifiedParamsDialogs, DefaultDitherMethod, MsgLanguage,
                     PreviewFont());
    form->SetSourceImage(source);
    if (form->SetPreviewParams(Pages)) {
        result = form->ShowModal() == mrOk;
    }
    // Record 0's settings go to every image only when the dialog wrote them: a cancelled dialog
    // leaves every record as it was.
    const bool written = form->Written();
    form.reset();
    if (Index < 0 && written) {
        DuplicateCompressionInfo();
    }
    {
        TCriticalSectionLock lock(gThreadCS);
        Renumber();
    }
    Update();
    return result;
}
