// TKorvaneProc::DoPreviews: the processing preview dialog over the image or its selected area,
// and the accepted result written back.
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "imaging/dialogs/previews.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/view/korvaneview.h"
#include "imaging/view/kvview.h"
#include "platform/graphics/canvas.h"

#include <memory>

namespace {

// Holds the attached view's canvas locked while the modal dialog runs.
class TCanvasLock
{
public:
    explicit TCanvasLock(TKVView* view) : FCanvas(view ? view->GetCanvas() : nullptr)
    {
        if (FCanvas)
            FCanvas->Lock();
    }
    ~TCanvasLock()
    {
        if (FCanvas)
            FCanvas->Unlock();
    }
    TCanvasLock(const TCanvasLock&) = delete;
    TCanvasLock& operator=(const TCanvasLock&) = delete;

private:
    TCanvas* FCanvas;
};

} // namespace

bool TKorvaneProc::DoPreviews(TPreviewEffects Effects)
{
    TCanvasLock lock(FView);
    if (!Prepare24())
        return false;
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    if (width < 2 && height < 2)
        return false;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    if (x2 <= x1 || y2 <= y1)
        return false;

    auto dialog = std::make_unique<TfPreviews>(this);
    dialog->DefaultLockPreview = (PreviewsParams & (1u << prppDefaultLockPreview)) != 0;
    dialog->SetLanguage(MsgLanguage);
    dialog->SetFont(FPreviewFont.get());
    dialog->ProgressEvent = OnProgress;
    dialog->Processing = this;
    const TColor background = GetReBackground();
    dialog->Korvane1->SetBackGround(background);
    dialog->Korvane2->SetBackGround(background);

    TKVBitmap* area = dialog->Korvane1->GetKVBitmap();
    area->Allocate(x2 - x1, y2 - y1, kv24RGB);
    FKVBitmap->CopyRectTo(area, x1, y1, 0, 0, x2 - x1, y2 - y1);
    dialog->Korvane1->Update();

    dialog->Effects = Effects;
    dialog->PresetPage = Previews::ppNone;
    if (OnPreview)
        OnPreview(this, dialog.get());
    if (dialog->ShowModal() != mrOk)
        return false;

    if (AutoUndo)
        SaveUndoCaptioned("Previews", kvuImage);
    TKVBitmap* processed = dialog->Korvane1->GetKVBitmap();
    if (mask && !mask->IsEmpty() && !(x1 <= 0 && y1 <= 0 && width < x2 && height < y2)) {
        mask->CopyKVBitmap(FKVBitmap, processed, false, true, false);
    } else {
        if (FKVBitmap->GetWidth() != processed->GetWidth())
            FKVBitmap->SetWidth(processed->GetWidth());
        if (FKVBitmap->GetHeight() != processed->GetHeight())
            FKVBitmap->SetHeight(processed->GetHeight());
        processed->CopyRectTo(FKVBitmap, 0, 0, x1, y1, processed->GetWidth(), processed->GetHeight());
    }
    Update();
    return true;
}
