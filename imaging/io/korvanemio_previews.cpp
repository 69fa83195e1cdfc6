// TKorvaneMIO: the save-parameters dialog for the records of the view's images.
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvanemio.h"

bool TKorvaneMIO::DoPreviews(int32_t Index, TPreviewParams Pages)
{
    if (FView == nullptr) {
        return false;
    }
    if (FView->GetImageCount() > 0 && FView->SelectedImage() < 0) {
        FView->SetSelectedItem(0);
    }
    if (FView->GetFBitmap() == nullptr) {
        return false;
    }
    (void)Index;
    (void)Pages;
    return false;
}
