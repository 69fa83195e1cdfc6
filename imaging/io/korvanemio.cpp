// TKorvaneMIO: the binding to the multi-image view and its parameter records.
#include "imaging/io/korvanemio.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/dialogs/kvmview.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/graphics.h"

#include <algorithm>

using Zirodevo::gThreadCS;

TKorvaneMIO::TKorvaneMIO(TComponent* AOwner) : TComponent(AOwner), FPreviewFont(std::make_unique<TFont>()) {}

TKorvaneMIO::~TKorvaneMIO()
{
    AcquireClose();
    Detach();
    TCriticalSectionLock lock(gThreadCS);
    FParams.clear();
}

TKVView* TKorvaneMIO::AttachedMView() const
{
    return FView;
}

void TKorvaneMIO::Detach()
{
    if (FView != nullptr) {
        FView->RemoveBitmapChangeEvent(FHandle);
        FView->RemoveBoundMIO(this);
        FView->RemoveFreeNotification(this);
    }
    FView = nullptr;
    FHandle = -1;
}

void TKorvaneMIO::SetAttachedMView(TKVView* Value)
{
    TKorvaneMView* view = nullptr;
    if (Value != nullptr) {
        view = dynamic_cast<TKorvaneMView*>(Value);
        if (view == nullptr) {
            throw EInvalidCast();
        }
    }
    Detach();
    if (view == nullptr) {
        return;
    }
    FView = view;
    FView->FreeNotification(this);
    FHandle = FView->RegisterBitmapChangeEvent(
        [this](TObject* Sender, bool destroying) { OnBitmapChange(Sender, destroying); });
    FView->AddBoundMIO(this);
    while (GetParamsCount() < FView->GetImageCount()) {
        InsertIOParam(GetParamsCount());
    }
}

void TKorvaneMIO::Notification(TComponent* AComponent, TOperation Operation)
{
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && FView != nullptr && AComponent == FView) {
        AcquireClose(); // its window is a child of the view
        FView->RemoveBitmapChangeEvent(FHandle);
        FView->RemoveBoundMIO(this);
        FView = nullptr;
        FHandle = -1;
    }
}

void TKorvaneMIO::OnBitmapChange(TObject*, bool destroying)
{
    if (destroying) {
        FView = nullptr;
        FHandle = -1;
        return;
    }
    if (FView == nullptr) {
        return;
    }
    switch (FView->GetLastOp()) {
    case 1:
        InsertIOParam(FView->GetLastOpIdx());
        break;
    case 2:
        RemoveIOParam(FView->GetLastOpIdx());
        break;
    default:
        break;
    }
}

TIOParamsVals* TKorvaneMIO::GetParams(int32_t idx) const
{
    TCriticalSectionLock lock(gThreadCS);
    NumberRecords();
    return idx >= 0 && idx < int32_t(FParams.size()) ? FParams[idx].get() : nullptr;
}

void TKorvaneMIO::AssignParams(int32_t idx, const TIOParamsVals& Source)
{
    TCriticalSectionLock lock(gThreadCS);
    if (idx < 0 || idx >= int32_t(FParams.size())) {
        return;
    }
    FParams[idx]->Assign(Source);
    FParams[idx]->GIF_ImageIndex = idx;
    FParams[idx]->TIFF_ImageIndex = idx;
}

// Records are numbered when one is next asked for, not at every insertion or removal: a view
// emptied from its first picture on would otherwise renumber every record left, each time.
void TKorvaneMIO::Renumber(int32_t From)
{
    FNumberedBelow = std::min(FNumberedBelow, size_t(std::max(From, 0)));
}

void TKorvaneMIO::NumberRecords() const
{
    for (size_t i = FNumberedBelow; i < FParams.size(); ++i) {
        FParams[i]->GIF_ImageIndex = int32_t(i);
        FParams[i]->TIFF_ImageIndex = int32_t(i);
    }
    FNumberedBelow = FParams.size();
}

void TKorvaneMIO::InsertIOParam(int32_t idx)
{
    auto record = std::make_unique<TIOParamsVals>();
    TCriticalSectionLock lock(gThreadCS);
    const int32_t count = int32_t(FParams.size());
    if (count > 0) {
        record->Assign(*FParams[idx >= 0 && idx < count ? idx : count - 1]);
    }
    const int32_t at = idx >= 0 && idx < count ? idx : count;
    FParams.insert(FParams.begin() + at, std::move(record));
    Renumber(at);
}

void TKorvaneMIO::RemoveIOParam(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    if (idx < 0 || idx >= int32_t(FParams.size())) {
        return;
    }
    FParams.erase(FParams.begin() + idx);
    Renumber(idx);
}

void TKorvaneMIO::RemoveAllIOParams()
{
    TCriticalSectionLock lock(gThreadCS);
    FParams.clear();
    FNumberedBelow = 0;
}

void TKorvaneMIO::MoveIOParam(int32_t From, int32_t To)
{
    TCriticalSectionLock lock(gThreadCS);
    const int32_t count = int32_t(FParams.size());
    if (From < 0 || From >= count || To < 0) {
        return;
    }
    std::unique_ptr<TIOParamsVals> record = std::move(FParams[From]);
    FParams.erase(FParams.begin() + From);
    FParams.insert(FParams.begin() + std::min(To, count - 1), std::move(record));
    Renumber();
}

void TKorvaneMIO::DuplicateCompressionInfo()
{
    TCriticalSectionLock lock(gThreadCS);
    for (size_t i = 1; i < FParams.size(); ++i) {
        FParams[i]->AssignCompressionInfo(*FParams[0]);
    }
}

void TKorvaneMIO::Update()
{
    if (FView != nullptr) {
        FView->Update();
        FView->ImageChange();
    }
}

void TKorvaneMIO::DoFinishWork()
{
    if (OnProgress) {
        OnProgress(this, 100);
    }
    if (OnFinishWork) {
        OnFinishWork(this);
    }
}

void TKorvaneMIO::SetPreviewFont(TFont* Value)
{
    if (Value != nullptr) {
        FPreviewFont->Assign(Value);
    }
}
