// TKorvaneMView: selection, mouse and keyboard, messages, and playing frames.
#include "imaging/core/message_table.h"
#include "imaging/core/virtual_dib_list.h"
#include "imaging/dialogs/kvmview.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/messages.h"

#include <algorithm>

using Zirodevo::gThreadCS;

// ---------------------------------------------------------------------------------------------
// Selection

void TKorvaneMView::SetSelectedItemNU(int32_t idx)
{
    if (FPlaying || idx < 0 || idx >= GetImageCount()) {
        return;
    }
    if (FSelectedImage >= 0) {
        const PKVImageInfo old = Entry(FSelectedImage);
        TCriticalSectionLock lock(gThreadCS);
        if (FSelectedBitmap != nullptr) {
            FImageCache->ReleaseBitmap(FSelectedBitmap, true);
            FSelectedBitmap = nullptr;
        }
        if (old != nullptr && old->thumb != nullptr) {
            FThumbCache->Delete(old->thumb);
            old->thumb = nullptr;
        }
    }
    if (FEnableMultiSelect) {
        if (!FAddMode) {
            FMultiSelected.clear();
        } else if (!FBatch) {
            const auto it = std::find(FMultiSelected.begin(), FMultiSelected.end(), idx);
            if (it != FMultiSelected.end()) {
                FMultiSelected.erase(it);
                if (!FKeep) {
                    FSelectedImage = -1;
                    return;
                }
            }
        }
        FMultiSelected.push_back(idx);
    }
    if (!FBatch) {
        FSelectedImage = idx;
        FSelectedBitmap = nullptr;
        CallBitmapChangeEvents();
    } else {
        FSelectedImage = -1;
    }
}

void TKorvaneMView::SetSelectedItem(int32_t idx)
{
    if (FPlaying) {
        return;
    }
    SetSelectedItemNU(idx);
    if (!FBatch) {
        Update();
        if (OnImageSelect) {
            OnImageSelect(this, FSelectedImage);
        }
    }
}

void TKorvaneMView::DeselectNU()
{
    if (FSelectedImage >= 0) {
        const PKVImageInfo e = Entry(FSelectedImage);
        TCriticalSectionLock lock(gThreadCS);
        if (FSelectedBitmap != nullptr) {
            FImageCache->ReleaseBitmap(FSelectedBitmap, true);
            FSelectedBitmap = nullptr;
        }
        if (e != nullptr && e->thumb != nullptr) {
            FThumbCache->Delete(e->thumb);
            e->thumb = nullptr;
        }
    }
    FSelectedImage = -1;
    if (FEnableMultiSelect) {
        FMultiSelected.clear();
    }
}

void TKorvaneMView::Deselect()
{
    DeselectNU();
    Update();
}

void TKorvaneMView::UnSelectImage(int32_t idx)
{
    if (Entry(idx) == nullptr) {
        return;
    }
    if (idx == FSelectedImage) {
        const PKVImageInfo e = Entry(idx);
        TCriticalSectionLock lock(gThreadCS);
        if (FSelectedBitmap != nullptr) {
            FImageCache->ReleaseBitmap(FSelectedBitmap, true);
            FSelectedBitmap = nullptr;
        }
        if (e->thumb != nullptr) {
            FThumbCache->Delete(e->thumb);
            e->thumb = nullptr;
        }
        FSelectedImage = -1;
    }
    FMultiSelected.erase(std::remove(FMultiSelected.begin(), FMultiSelected.end(), idx),
                         FMultiSelected.end());
    Update();
}

void TKorvaneMView::BeginSelectImages()
{
    DeselectNU();
    FBatch = true;
    FAddMode = true;
}

void TKorvaneMView::EndSelectImages()
{
    FBatch = false;
    FAddMode = false;
    if (!FMultiSelected.empty()) {
        FSelectedImage = FMultiSelected.back();
        FSelectedBitmap = nullptr;
    }
    CallBitmapChangeEvents();
    Update();
}

void TKorvaneMView::SelectAll()
{
    if (!FEnableMultiSelect) {
        return;
    }
    DeselectNU();
    const int32_t count = GetImageCount();
    for (int32_t i = 0; i + 1 < count; ++i) {
        FMultiSelected.push_back(i);
    }
    const bool add = FAddMode;
    FAddMode = true;
    SetSelectedItemNU(count - 1);
    FAddMode = add;
    Update();
}

bool TKorvaneMView::IsSelected(int32_t idx) const
{
    return std::find(FMultiSelected.begin(), FMultiSelected.end(), idx) != FMultiSelected.end();
}

int32_t TKorvaneMView::GetMultiSelectedImages(int32_t i) const
{
    return i >= 0 && i < int32_t(FMultiSelected.size()) ? FMultiSelected[i] : -1;
}

void TKorvaneMView::MultiSelectSortList()
{
    std::sort(FMultiSelected.begin(), FMultiSelected.end());
}

void TKorvaneMView::SetEnableMultiSelect(bool Value)
{
    if (Value != FEnableMultiSelect) {
        FEnableMultiSelect = Value;
        if (!Value) {
            FMultiSelected.clear();
        }
        Update();
    }
}

void TKorvaneMView::SelectAtPos(int32_t x, int32_t y, TShiftState Shift)
{
    const bool add = FAddMode;
    if ((Shift & (ssShift | ssCtrl)) != 0) {
        FAddMode = true;
    }
    const int32_t i = ImageAtPos(x, y);
    if (i < 0) {
        FAddMode = add;
        return;
    }
    if (!(i == FSelectedImage && (!FAddMode || !FEnableMultiSelect)) && (Shift & ssShift) != 0 &&
        FSelectedImage >= 0) {
        const int32_t s = FSelectedImage;
        if ((MultiSelectionOptions & kvmoRegion) == 0) {
            const int32_t step = i > s ? 1 : -1;
            for (int32_t k = s + step; k != i; k += step) {
                if (!IsSelected(k)) {
                    SetSelectedItemNU(k);
                }
            }
        } else {
            const PKVImageInfo a = Entry(s);
            const PKVImageInfo b = Entry(i);
            for (int32_t row = std::min(a->Row, b->Row); row <= std::max(a->Row, b->Row); ++row) {
                for (int32_t col = std::min(a->Col, b->Col); col <= std::max(a->Col, b->Col); ++col) {
                    const int32_t g = ImageAtGridPos(row, col);
                    if (g != s && g != i && g >= 0 && g < GetImageCount() && !IsSelected(g)) {
                        SetSelectedItemNU(g);
                    }
                }
            }
        }
    }
    SetSelectedItemNU(i);
    if (FVisibleSelection) {
        Update();
    }
    if (OnImageSelect) {
        OnImageSelect(this, FSelectedImage);
    }
    CallBitmapChangeEvents();
    FAddMode = add;
}

void TKorvaneMView::SelectSeek(TKVSeek Move)
{
    const int32_t count = GetImageCount();
    if (count == 0) {
        return;
    }
    const TKVMGrid g = Grid();
    const int32_t columns = g.Columns();
    const int32_t page = columns * g.RowsPerPage();
    const int32_t s = FSelectedImage;
    int32_t next = s;
    bool ok = true;
    switch (Move) {
    case iskLeft:
        ok = s >= 0;
        next = s - 1;
        break;
    case iskRight:
        ok = s >= -1;
        next = s + 1;
        break;
    case iskUp:
        ok = s >= 0;
        next = FGridWidth == 0 ? s - 1 : std::max(s - columns, 0);
        break;
    case iskDown:
        ok = s >= -1;
        next = FGridWidth == 0 ? s + 1 : std::min(s + columns, count - 1);
        break;
    case iskFirst:
        next = 0;
        break;
    case iskLast:
        next = count - 1;
        break;
    case iskPagDown:
        ok = s >= -1;
        next = s + page;
        break;
    case iskPagUp:
        ok = s >= 0;
        next = s - page;
        break;
    }
    if (!ok) {
        return;
    }
    SetSelectedItem(next);
    const PKVImageInfo e = Entry(FSelectedImage);
    if (e == nullptr || GetImageVisibility(FSelectedImage) >= 2) {
        return;
    }
    const int32_t cw = ClientWidth();
    const int32_t ch = ClientHeight();
    const auto towardsEnd = [&] {
        SetViewY(e->Y - ch + FThumbHeight + FVertBorder);
        if (GetImageVisibility(FSelectedImage) < 2) {
            SetViewX(e->X - cw + FThumbWidth + FHorizBorder);
        }
    };
    const auto towardsStart = [&] {
        SetViewY(e->Y - FVertBorder);
        if (GetImageVisibility(FSelectedImage) < 2) {
            SetViewX(e->X - FHorizBorder);
        }
    };
    switch (Move) {
    case iskLeft:
        SetViewXY(e->X - FHorizBorder, e->Y - FVertBorder);
        break;
    case iskRight:
        SetViewXY(e->X - cw + FThumbWidth + FHorizBorder, e->Y - ch + FThumbHeight + FVertBorder);
        break;
    case iskUp:
    case iskPagUp:
        towardsStart();
        break;
    case iskFirst:
        SetViewXY(0, 0);
        break;
    case iskDown:
    case iskLast:
    case iskPagDown:
        towardsEnd();
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Mouse and keyboard

void TKorvaneMView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TKVView::MouseDown(Button, Shift, X, Y);
    if (FDoubleClicked) {
        FDoubleClicked = false;
        return;
    }
    if (CanFocus()) {
        SetFocus();
    }
    FDownPoint = TPoint{X, Y};
    FDownViewX = FViewX;
    FDownViewY = FViewY;
    FAnchor = ImageAtPos(X, Y);
    FLastUnderMouse = FAnchor;
    FRegionDragged = false;
    FMouseDown = true;
}

void TKorvaneMView::DblClick()
{
    FDoubleClicked = true;
    TKVView::DblClick();
}

void TKorvaneMView::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    TKVView::MouseMove(Shift, X, Y);
    if (!FMouseDown) {
        return;
    }
    if ((FMouseInteract & mmiSelect) != 0 && FEnableMultiSelect) {
        const int32_t under = ImageAtPos(X, Y);
        if (under != FLastUnderMouse) {
            FLastUnderMouse = under;
            const bool add = FAddMode;
            const bool keep = FKeep;
            FAddMode = false;
            FKeep = true;
            DeselectNU();
            SetSelectedItemNU(FAnchor >= 0 ? FAnchor : 0);
            FAddMode = add;
            SelectAtPos(X, Y, ssShift);
            FKeep = keep;
            FRegionDragged = true;
        }
    }
    if ((FMouseInteract & mmiScroll) != 0) {
        SetViewXY(FDownViewX - (X - FDownPoint.X), FDownViewY - (Y - FDownPoint.Y));
    }
}

void TKorvaneMView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TKVView::MouseUp(Button, Shift, X, Y);
    if (!FMouseDown) {
        return;
    }
    FMouseDown = false;
    if (FPlaying || Button != mbLeft) {
        return;
    }
    if (!FRegionDragged && (FMouseInteract & mmiSelect) != 0) {
        SelectAtPos(X, Y, Shift);
    }
    if ((FMouseInteract & mmiScroll) != 0) {
        SetViewXY(FDownViewX - (X - FDownPoint.X), FDownViewY - (Y - FDownPoint.Y));
    }
}

void TKorvaneMView::KeyDown(uint16_t& Key, TShiftState Shift)
{
    TKVView::KeyDown(Key, Shift);
    if (FPlaying || (FKeyInteract & mkiMoveSelected) == 0) {
        return;
    }
    const bool add = FAddMode;
    const bool keep = FKeep;
    if (FEnableMultiSelect && (Shift & (ssCtrl | ssShift)) != 0) {
        FAddMode = true;
        FKeep = true;
    }
    bool moved = true;
    switch (Key) {
    case VK_PRIOR:
        SelectSeek(iskPagUp);
        break;
    case VK_NEXT:
        SelectSeek(iskPagDown);
        break;
    case VK_END:
        SelectSeek(iskLast);
        break;
    case VK_HOME:
        SelectSeek(iskFirst);
        break;
    case VK_LEFT:
        SelectSeek(iskLeft);
        break;
    case VK_UP:
        SelectSeek(iskUp);
        break;
    case VK_RIGHT:
        SelectSeek(iskRight);
        break;
    case VK_DOWN:
        SelectSeek(iskDown);
        break;
    default:
        moved = false;
    }
    FAddMode = add;
    FKeep = keep;
    if (moved) {
        Update();
    }
}

void TKorvaneMView::Dispatch(TMessage& Message)
{
    switch (Message.Msg) {
    case KVM_MVIEW_STORE:
        StoreFinishedLoads();
        return;
    case KVM_MVIEW_UPDATE:
        Update();
        return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        TKVView::Dispatch(Message);
        HandleScroll(Message.Msg == WM_VSCROLL, LOWORD(Message.WParam), HIWORD(Message.WParam));
        return;
    case WM_MOUSEWHEEL: {
        const int32_t delta = int16_t(HIWORD(Message.WParam));
        const int32_t step = FThumbHeight + FVertBorder;
        SetViewY(delta <= 0 ? FViewY + step : FViewY - step);
        Message.Result = 1;
        return;
    }
    case WM_ERASEBKGND:
        Message.Result = 1;
        return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TKVView::Dispatch(Message);
        Invalidate();
        return;
    default:
        TKVView::Dispatch(Message);
    }
}

// ---------------------------------------------------------------------------------------------
// Playing

void TKorvaneMView::SetPlaying(bool Value)
{
    if (Value == FPlaying) {
        return;
    }
    if (Value) {
        FSavedDisplayMode = FDisplayMode;
        FSavedSelected = FSelectedImage;
        Deselect();
    }
    FPlaying = Value;
    PlayFrame();
    if (!Value) {
        SetDisplayMode(FSavedDisplayMode);
        SetSelectedItem(FSavedSelected);
    }
}

void TKorvaneMView::PlayFrame()
{
    if (FInPlayFrame || FDestroying) {
        return;
    }
    FInPlayFrame = true;
    FPlayTimer->SetEnabled(false);
    if (FPlaying) {
        if (FDisplayMode != mdSingle) {
            FDisplayMode = mdSingle;
            Update();
        }
        FVisibleFrame = std::min(FVisibleFrame, GetImageCount() - 1);
        if (FVisibleFrame >= 0) {
            const PKVImageInfo e = FImages[FVisibleFrame];
            // The frame's time counts from the start of its paint, so that a slow paint does not
            // lengthen it.
            const uint32_t start = Ticks();
            Invalidate();
            PaintMarked();
            const uint32_t spent = Ticks() - start;
            bool arm = true;
            if (FVisibleFrame == GetImageCount() - 1) {
                FVisibleFrame = 0;
                CallBitmapChangeEvents();
                if (!PlayLoop) {
                    FPlaying = false;
                    arm = false;
                }
            } else {
                ++FVisibleFrame;
            }
            if (arm) {
                const uint32_t delay = uint32_t(std::max(e->delay, 10));
                FPlayTimer->SetInterval(delay > spent ? delay - spent : 1);
                FPlayTimer->SetEnabled(true);
            }
        } else {
            FVisibleFrame = 0;
        }
    }
    FInPlayFrame = false;
}

void TKorvaneMView::SetVisibleFrame(int32_t idx)
{
    if (idx == FVisibleFrame || idx < 0 || idx >= GetImageCount()) {
        return;
    }
    if (TransitionEffect != kvttNone) {
        FTransition->Transition = TransitionEffect;
        FTransition->Duration = uint32_t(std::max(TransitionDuration, 0));
        FTransition->SetSizes(FThumbWidth, FThumbHeight);
        PaintTo(FTransition->SourceShot());
        FVisibleFrame = idx;
        PaintTo(FTransition->TargetShot());
        FTransition->Run(true);
    } else {
        FVisibleFrame = idx;
        Update();
    }
}

bool TKorvaneMView::GetTransitionRunning() const
{
    return FTransition->Running();
}

void TKorvaneMView::CenterFrame()
{
    const PKVImageInfo e = Entry(FVisibleFrame);
    if (e != nullptr) {
        SetViewXY(e->X - (ClientWidth() - FThumbWidth) / 2, e->Y - (ClientHeight() - FThumbHeight) / 2);
    }
}
