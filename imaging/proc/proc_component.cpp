// The processing component's frame: creation, attachment to a target, the working area of a call,
// the repaint after a change and the background colour.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/detail/component_detail.h"
#include "imaging/view/kvview.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"

TKorvaneProc::TKorvaneProc(TComponent* AOwner)
    : TComponent(AOwner), FKVBitmap(new TKVBitmap()), FOwnsBitmap(true),
      FPreviewFont(std::make_unique<TFont>())
{
}

TKorvaneProc::~TKorvaneProc()
{
    RemoveViewRegistration();
    ClearAllUndo();
    ClearAllRedo();
    if (FOwnsBitmap)
        delete FKVBitmap;
}

bool TKorvaneProc::Prepare()
{
    if (!FKVBitmap)
        return false;
    // A class-library bitmap resized from outside is seen with its current size.
    if (FBitmap)
        FKVBitmap->EncapsulateTBitmap(FBitmap, false);
    return true;
}

bool TKorvaneProc::Prepare24()
{
    return Prepare() && FKVBitmap->GetPixelFormat() == kv24RGB;
}

void TKorvaneProc::RemoveViewRegistration()
{
    if (FView)
        FView->RemoveBitmapChangeEvent(FCallbackHandle);
    FCallbackHandle = -1;
}

void TKorvaneProc::SetKVBitmap(TKVBitmap* b)
{
    FBitmap = nullptr;
    if (FOwnsBitmap && FKVBitmap != b)
        delete FKVBitmap;
    FOwnsBitmap = false;
    FKVBitmap = b;
}

TKVBitmap* TKorvaneProc::OwnBitmap()
{
    // Wrapping a picture in a caller's or a view's bitmap would free that bitmap's pixels.
    if (!FOwnsBitmap || !FKVBitmap) {
        FKVBitmap = new TKVBitmap();
        FOwnsBitmap = true;
    }
    return FKVBitmap;
}

void TKorvaneProc::DropTargetBitmaps()
{
    FBitmap = nullptr;
    if (FOwnsBitmap && FKVBitmap)
        FKVBitmap->FreeImage();
    else
        FKVBitmap = nullptr;
}

void TKorvaneProc::SetAttachedKVBitmap(TKVBitmap* b)
{
    RemoveViewRegistration();
    if (!b && (FView || FImage))
        return;
    SetKVBitmap(b);
    if (b) {
        FView = nullptr;
        FImage = nullptr;
    }
}

void TKorvaneProc::SetAttachedBitmap(TBitmap* t)
{
    RemoveViewRegistration();
    if (!t && (FView || FImage))
        return;
    FBitmap = t;
    OwnBitmap()->EncapsulateTBitmap(t, true);
    if (t) {
        FView = nullptr;
        FImage = nullptr;
    }
}

void TKorvaneProc::SetAttachedKorvane(TKVView* v)
{
    RemoveViewRegistration();
    FView = v;
    if (!v) {
        // The view keeps its image: the component falls back to an empty bitmap of its own.
        FBitmap = nullptr;
        OwnBitmap()->FreeImage();
        return;
    }
    if (FOwnsBitmap)
        delete FKVBitmap;
    FOwnsBitmap = false;
    FBitmap = v->GetFBitmap();
    FKVBitmap = v->GetKVBitmap();
    if (FKVBitmap) {
        FBitmap = nullptr;
    } else {
        FKVBitmap = new TKVBitmap();
        FOwnsBitmap = true;
        FKVBitmap->EncapsulateTBitmap(FBitmap, true);
    }
    v->FreeNotification(this);
    FImage = nullptr;
    FCallbackHandle = v->RegisterBitmapChangeEvent(
        [this](TObject* Sender, bool destroying) { OnBitmapChange(Sender, destroying); });
}

void TKorvaneProc::SetTImage(TImage* i)
{
    RemoveViewRegistration();
    FImage = i;
    if (i) {
        FBitmap = i->Picture()->Bitmap();
        OwnBitmap()->EncapsulateTBitmap(FBitmap, true);
        i->FreeNotification(this);
        FView = nullptr;
    } else {
        FBitmap = nullptr;
        OwnBitmap()->FreeImage();
    }
}

void TKorvaneProc::OnBitmapChange(TObject*, bool destroying)
{
    if (destroying) {
        // The view frees its own records; its bitmaps go with it.
        FView = nullptr;
        FCallbackHandle = -1;
        DropTargetBitmaps();
        return;
    }
    if (!FView)
        return;
    FBitmap = FView->GetFBitmap();
    if (FOwnsBitmap) {
        FKVBitmap->EncapsulateTBitmap(FBitmap, true);
    } else {
        FKVBitmap = FView->GetKVBitmap();
        if (FKVBitmap)
            FBitmap = nullptr;
    }
}

void TKorvaneProc::Notification(TComponent* AComponent, TOperation Operation)
{
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove)
        return;
    if (FView && AComponent == FView) {
        RemoveViewRegistration();
        FView = nullptr;
        DropTargetBitmaps();
    }
    if (FImage && AComponent == FImage) {
        FImage = nullptr;
        DropTargetBitmaps();
    }
}

void TKorvaneProc::Update()
{
    if (FView) {
        FView->Update();
        FView->ImageChange();
    } else if (FBitmap) {
        FBitmap->SetModified(true);
    }
}

TColor TKorvaneProc::GetReBackground() const
{
    return FView ? FView->Background() : FOwnBackground;
}

void TKorvaneProc::SetReBackground(TColor Value)
{
    if (FView)
        FView->SetBackGround(Value);
    else
        FOwnBackground = Value;
}

void TKorvaneProc::SetPreviewFont(TFont* Value)
{
    if (Value)
        FPreviewFont->Assign(Value);
}

bool TKorvaneProc::GetReSel(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, TPoint*& PolySel,
                            int32_t& PolySelCount, TKVMask*& Mask)
{
    if (FBitmap && FKVBitmap)
        FKVBitmap->EncapsulateTBitmap(FBitmap, false);
    PolySel = nullptr;
    PolySelCount = 0;
    Mask = nullptr;
    x1 = 0;
    y1 = 0;
    x2 = FKVBitmap ? FKVBitmap->GetWidth() : 0;
    y2 = FKVBitmap ? FKVBitmap->GetHeight() : 0;
    if (!FView || !FView->SelectionMask())
        return false;
    Mask = FView->SelectionMask();
    if (!FView->Selected())
        return false;
    if (!Mask->IsEmpty()) {
        x1 = Mask->x1;
        y1 = Mask->y1;
        x2 = Mask->x2 + 1;
        y2 = Mask->y2 + 1;
    }
    PolySel = FView->GetPolySelArray();
    PolySelCount = FView->GetPolySelCount();
    return true;
}
