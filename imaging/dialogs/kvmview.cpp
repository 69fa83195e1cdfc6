// TKorvaneMView: construction, its components, the per-image values, and inserting, deleting and
// moving images.
#include "imaging/dialogs/kvmview.h"

#include "imaging/dialogs/detail/mview_loaders.h"

#include "imaging/core/message_table.h"
#include "imaging/core/virtual_dib_list.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"
#include "imaging/proc/proc_component.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/picture.h"

#include <algorithm>

using Zirodevo::gThreadCS;

// ---------------------------------------------------------------------------------------------
// Construction

TKorvaneMView::TKorvaneMView(TComponent* AOwner)
    : TKVView(AOwner), FLoader(std::make_unique<TKorvaneIO>(nullptr)),
      FImageCache(std::make_unique<TKVVirtualDIBList>()), FThumbCache(std::make_unique<TKVVirtualDIBList>()),
      FWallPaper(std::make_unique<TPicture>()), FPlayTimer(std::make_unique<TTimer>(nullptr)),
      FTransition(std::make_unique<TKVTransitionEffects>(this))
{
    FImageCache->MaxMappedImages = FImageCacheSize;
    FPlayTimer->SetEnabled(false);
    FPlayTimer->SetPrecise(true);
    FPlayTimer->OnTimer = [this](TObject*) { PlayFrame(); };
    SetBounds(Left(), Top(), 180, 90);
    StartLoadingThread();
}

TKorvaneMView::~TKorvaneMView()
{
    DeselectNU();
    StopLoading();
    FPlayTimer->SetEnabled(false);
    FTransition->Stop();
    delete FMIO;
    FMIO = nullptr;
    delete FProc;
    FProc = nullptr;
    for (int32_t i = int32_t(FImages.size()) - 1; i >= 0; --i) {
        FreeEntry(FImages[i]);
    }
    FImages.clear();
    FBySerial.clear();
    FDestroying = true;
}

// ---------------------------------------------------------------------------------------------
// Components

TKorvaneMIO* TKorvaneMView::GetKorvaneMIO()
{
    if (FMIO == nullptr) {
        FMIO = new TKorvaneMIO(nullptr);
        FMIO->SetAttachedMView(this);
        FMIO->OnProgress = FOnProgress;
    }
    return FMIO;
}

TKorvaneProc* TKorvaneMView::GetKorvaneProc()
{
    if (FProc == nullptr) {
        FProc = new TKorvaneProc(nullptr);
        FProc->SetAttachedKorvane(this);
        FProc->OnProgress = FOnProgress;
    }
    return FProc;
}

void TKorvaneMView::AddBoundMIO(TKorvaneMIO* MIO)
{
    if (MIO != nullptr && std::find(FBoundMIOs.begin(), FBoundMIOs.end(), MIO) == FBoundMIOs.end()) {
        FBoundMIOs.push_back(MIO);
    }
}

void TKorvaneMView::RemoveBoundMIO(TKorvaneMIO* MIO)
{
    FBoundMIOs.erase(std::remove(FBoundMIOs.begin(), FBoundMIOs.end(), MIO), FBoundMIOs.end());
}

void TKorvaneMView::SetOnProgress(TKVProgressEvent Value)
{
    FOnProgress = std::move(Value);
    if (FMIO != nullptr) {
        FMIO->OnProgress = FOnProgress;
    }
    if (FProc != nullptr) {
        FProc->OnProgress = FOnProgress;
    }
}

// ---------------------------------------------------------------------------------------------
// Per-image accessors

PKVImageInfo TKorvaneMView::Entry(int32_t idx) const
{
    return idx >= 0 && idx < int32_t(FImages.size()) ? FImages[idx] : nullptr;
}

int32_t TKorvaneMView::IndexOfSerial(uint64_t Serial) const
{
    const auto it = FBySerial.find(Serial);
    if (it == FBySerial.end()) {
        return -1;
    }
    const auto pos = std::find(FImages.begin(), FImages.end(), it->second);
    return pos == FImages.end() ? -1 : int32_t(pos - FImages.begin());
}

int32_t TKorvaneMView::GetImageWidth(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageWidth(e->image) : 0;
}

int32_t TKorvaneMView::GetImageHeight(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageHeight(e->image) : 0;
}

int32_t TKorvaneMView::GetImageBitCount(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageBitCount(e->image) : 0;
}

int32_t TKorvaneMView::GetImageOriginalWidth(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageOriginalWidth(e->image) : 0;
}

int32_t TKorvaneMView::GetImageOriginalHeight(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageOriginalHeight(e->image) : 0;
}

void TKorvaneMView::SetImageOriginalWidth(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr && e->image != nullptr) {
        FImageCache->SetImageOriginalWidth(e->image, Value);
    }
}

void TKorvaneMView::SetImageOriginalHeight(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr && e->image != nullptr) {
        FImageCache->SetImageOriginalHeight(e->image, Value);
    }
}

int32_t TKorvaneMView::GetImageX(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->X : 0;
}

int32_t TKorvaneMView::GetImageY(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->Y : 0;
}

int32_t TKorvaneMView::GetImageRow(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->Row : 0;
}

int32_t TKorvaneMView::GetImageCol(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->Col : 0;
}

void TKorvaneMView::SetImageFileName(int32_t idx, const std::string& Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->fileName = Value;
        e->ID = -1;
    }
}

std::string TKorvaneMView::GetImageFileName(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->fileName : std::string();
}

void TKorvaneMView::SetImageID(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->ID = Value;
        e->fileName.clear();
    }
}

int32_t TKorvaneMView::GetImageID(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->ID : -1;
}

void TKorvaneMView::SetImageBackground(int32_t idx, TColor Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->background = Value;
        Update();
    }
}

TColor TKorvaneMView::GetImageBackground(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->background : TColor(0);
}

void TKorvaneMView::SetImageDelayTime(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->delay = Value;
    }
}

int32_t TKorvaneMView::GetImageDelayTime(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->delay : 0;
}

bool TKorvaneMView::IsImageStored(int32_t idx) const
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Inserting, deleting, moving

void TKorvaneMView::StopPlaying()
{
    if (FPlaying) {
        SetPlaying(false);
    }
}

void TKorvaneMView::DoInsert(int32_t idx, bool Select)
{
    StopPlaying();
    auto* e = new TKVImageInfo;
    e->background = Background();
    e->textStyle = CurrentTextStyle();
    int32_t at;
    {
        TCriticalSectionLock lock(gThreadCS);
        e->serial = FNextSerial++;
        FBySerial[e->serial] = e;
        at = idx >= 0 && idx < int32_t(FImages.size()) ? idx : int32_t(FImages.size());
        FImages.insert(FImages.begin() + at, e);
    }
    // The selection and the listed indexes follow the entries they name.
    if (FSelectedImage >= at) {
        ++FSelectedImage;
    }
    for (int32_t& m : FMultiSelected) {
        if (m >= at) {
            ++m;
        }
    }
    if (Select) {
        SetSelectedItemNU(at);
    }
    FLastOp = 1;
    FLastOpIdx = Select ? at : idx;
    CallBitmapChangeEvents();
    Update();
}

void TKorvaneMView::InsertImage(int32_t idx)
{
    DoInsert(idx, true);
}

void TKorvaneMView::InsertImageEx(int32_t idx)
{
    DoInsert(idx, false);
}

int32_t TKorvaneMView::AppendImage()
{
    const int32_t count = GetImageCount();
    InsertImage(count);
    return count;
}

void TKorvaneMView::FreeEntry(PKVImageInfo e)
{
    TCriticalSectionLock lock(gThreadCS);
    if (e->image != nullptr) {
        FImageCache->Delete(e->image);
    }
    if (e->thumb != nullptr) {
        FThumbCache->Delete(e->thumb);
    }
    FBySerial.erase(e->serial);
    delete e;
}

bool TKorvaneMView::DeleteImageNU(int32_t idx)
{
    if (idx < 0 || idx >= GetImageCount()) {
        return false;
    }
    StopPlaying();
    const int32_t selected = FSelectedImage;
    DeselectNU();
    PKVImageInfo e = FImages[idx];
    {
        TCriticalSectionLock lock(gThreadCS);
        FImages.erase(FImages.begin() + idx);
    }
    FreeEntry(e);
    const int32_t count = GetImageCount();
    if (selected >= 0 && count > 0) {
        if (selected == idx && idx >= count) {
            SetSelectedItemNU(count - 1);
        } else if (selected != idx) {
            SetSelectedItemNU(selected > idx ? selected - 1 : selected);
        } else {
            SetSelectedItemNU(selected);
        }
    }
    FLastOp = 2;
    FLastOpIdx = idx;
    CallBitmapChangeEvents();
    return true;
}

void TKorvaneMView::DeleteImage(int32_t idx)
{
    if (DeleteImageNU(idx)) {
        Update();
    }
}

void TKorvaneMView::DeleteSelectedImages()
{
    std::vector<int32_t> list = FMultiSelected;
    std::sort(list.begin(), list.end());
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        DeleteImageNU(*it);
    }
    Update();
}

void TKorvaneMView::MoveImage(int32_t From, int32_t To)
{
    if (From < 0 || From >= GetImageCount() || To < 0 || From == To) {
        return;
    }
    StopPlaying();
    const int32_t selected = FSelectedImage;
    DeselectNU();
    int32_t to;
    {
        TCriticalSectionLock lock(gThreadCS);
        PKVImageInfo e = FImages[From];
        FImages.erase(FImages.begin() + From);
        to = std::min(To, int32_t(FImages.size()));
        FImages.insert(FImages.begin() + to, e);
        // Under the same lock, so that a background load never stores its record between the
        // two moves.
        for (TKorvaneMIO* mio : FBoundMIOs) {
            mio->MoveIOParam(From, to);
        }
    }
    if (selected >= 0) {
        int32_t s = selected;
        if (selected == From) {
            s = to;
        } else {
            if (selected > From) {
                --s;
            }
            if (s >= to) {
                ++s;
            }
        }
        SetSelectedItemNU(s);
    }
    Update();
}

// The entries, both caches and every bound component's records go in one step: deleting the
// images one by one would shift every array once an image. The pictures go with the caches, so
// the entries are freed without looking them up there. One announcement (LastOp 0) tells the
// callbacks, also of a view without a window, whose Update announces nothing.
void TKorvaneMView::Clear()
{
    Deselect();
    ClearThreadsAndRequests();
    if (!FImages.empty()) {
        StopPlaying();
    }
    std::vector<PKVImageInfo> entries;
    {
        TCriticalSectionLock lock(gThreadCS);
        entries.swap(FImages);
        FBySerial.clear();
        FImageCache = std::make_unique<TKVVirtualDIBList>();
        FImageCache->MaxMappedImages = FImageCacheSize;
        FThumbCache = std::make_unique<TKVVirtualDIBList>();
        for (TKorvaneMIO* mio : FBoundMIOs) {
            mio->RemoveAllIOParams();
        }
    }
    for (PKVImageInfo e : entries) {
        delete e;
    }
    CallBitmapChangeEvents();
    Update();
}
