// Undo and redo of the processing component: two bounded lists of image or selection snapshots
// with a caption per entry. Applying an entry never removes it.
#include "imaging/proc/proc_component.h"

#include "imaging/proc/detail/component_detail.h"
#include "imaging/view/kvview.h"

namespace {

// Position in the list of entry i counted from the newest, or -1.
int32_t FromNewest(size_t count, int32_t i)
{
    if (i < 0 || static_cast<size_t>(i) >= count)
        return -1;
    return static_cast<int32_t>(count) - 1 - i;
}

} // namespace

void TKorvaneProc::Push(TSnapshotList& list, std::vector<std::string>& captions, TKVUndoSource Source)
{
    auto snapshot = std::make_unique<TSnapshot>();
    if (Source == kvuImage) {
        if (!Prepare() || FKVBitmap->GetWidth() < 1 || FKVBitmap->GetHeight() < 1)
            return;
        snapshot->Image = std::make_unique<TKVBitmap>();
        snapshot->Image->MinFileSize = 0;
        snapshot->Image->SetLocation(UndoLocation);
        snapshot->Image->Assign(FKVBitmap);
    } else if (Source == kvuSelection) {
        if (!FView || !FView->SelectionMask())
            return;
        snapshot->Selection = std::make_unique<TMemoryStream>();
        FView->SaveSelectionToStream(*snapshot->Selection);
    } else {
        return;
    }
    while (!list.empty() && list.size() >= static_cast<size_t>(FUndoLimit)) {
        list.erase(list.begin());
        captions.erase(captions.begin());
    }
    list.push_back(std::move(snapshot));
    captions.emplace_back();
    ++FPushes;
}

void TKorvaneProc::SaveUndo(TKVUndoSource Source)
{
    Push(FUndo, FUndoCaptions, Source);
}

void TKorvaneProc::SaveRedo(TKVUndoSource Source)
{
    Push(FRedo, FRedoCaptions, Source);
}

void TKorvaneProc::SaveUndoCaptioned(const std::string& Caption, TKVUndoSource Source)
{
    if (!Prepare() || FKVBitmap->GetWidth() < 1 || FKVBitmap->GetHeight() < 1)
        return;
    // The caption goes to the entry this call added, never to an older one.
    const uint64_t pushes = FPushes;
    SaveUndo(Source);
    if (FPushes != pushes && !FUndoCaptions.empty())
        FUndoCaptions.back() = Caption;
}

void TKorvaneProc::SaveRedoCaptioned(const std::string& Caption, TKVUndoSource Source)
{
    if (!Prepare() || FKVBitmap->GetWidth() < 1 || FKVBitmap->GetHeight() < 1)
        return;
    const uint64_t pushes = FPushes;
    SaveRedo(Source);
    if (FPushes != pushes && !FRedoCaptions.empty())
        FRedoCaptions.back() = Caption;
}

void TKorvaneProc::Apply(const TSnapshotList& list, int32_t i)
{
    if (!Prepare())
        return;
    const int32_t position = FromNewest(list.size(), i);
    if (position < 0)
        return;
    const TSnapshot& entry = *list[static_cast<size_t>(position)];
    if (entry.Image) {
        FKVBitmap->Assign(entry.Image.get());
        Update();
    } else if (entry.Selection) {
        entry.Selection->SetPosition(0);
        if (FView && FView->SelectionMask())
            FView->LoadSelectionFromStream(*entry.Selection);
    }
}

void TKorvaneProc::Undo()
{
    UndoAt(0);
}

void TKorvaneProc::UndoAt(int32_t i)
{
    Apply(FUndo, i);
}

void TKorvaneProc::Redo()
{
    RedoAt(0);
}

void TKorvaneProc::RedoAt(int32_t i)
{
    Apply(FRedo, i);
}

TKVUndoSource TKorvaneProc::UndoPeekAt(int32_t i) const
{
    return (i < 0 || static_cast<size_t>(i) >= FUndo.size()) ? kvuUnknown
                                                             : FUndo[static_cast<size_t>(i)]->Kind();
}

TKVUndoSource TKorvaneProc::RedoPeekAt(int32_t i) const
{
    return (i < 0 || static_cast<size_t>(i) >= FRedo.size()) ? kvuUnknown
                                                             : FRedo[static_cast<size_t>(i)]->Kind();
}

void TKorvaneProc::ClearUndo()
{
    ClearUndoAt(0);
}

void TKorvaneProc::ClearRedo()
{
    if (FRedo.empty())
        return;
    FRedo.pop_back();
    FRedoCaptions.pop_back();
}

void TKorvaneProc::ClearUndoAt(int32_t i)
{
    const int32_t position = FromNewest(FUndo.size(), i);
    if (position < 0)
        return;
    FUndo.erase(FUndo.begin() + position);
    FUndoCaptions.erase(FUndoCaptions.begin() + position);
}

void TKorvaneProc::ClearAllUndo()
{
    while (!FUndo.empty()) {
        FUndo.erase(FUndo.begin());
        FUndoCaptions.erase(FUndoCaptions.begin());
    }
}

void TKorvaneProc::ClearAllRedo()
{
    while (!FRedo.empty()) {
        FRedo.erase(FRedo.begin());
        FRedoCaptions.erase(FRedoCaptions.begin());
    }
}

std::string TKorvaneProc::UndoCaptions(int32_t i) const
{
    const int32_t position = FromNewest(FUndoCaptions.size(), i);
    return position < 0 ? std::string() : FUndoCaptions[static_cast<size_t>(position)];
}

void TKorvaneProc::SetUndoCaptions(int32_t i, const std::string& Caption)
{
    const int32_t position = FromNewest(FUndoCaptions.size(), i);
    if (position >= 0)
        FUndoCaptions[static_cast<size_t>(position)] = Caption;
}

std::string TKorvaneProc::RedoCaptions(int32_t i) const
{
    const int32_t position = FromNewest(FRedoCaptions.size(), i);
    return position < 0 ? std::string() : FRedoCaptions[static_cast<size_t>(position)];
}

void TKorvaneProc::SetUndoLimit(int32_t Value)
{
    FUndoLimit = std::max(1, Value);
}
