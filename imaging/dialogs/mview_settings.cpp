// TKorvaneMView: the settings that change how the grid is laid out and drawn; each setter stores
// its value and updates the view.
#include "imaging/dialogs/kvmview.h"

#include "imaging/core/message_table.h"
#include "imaging/core/virtual_dib_list.h"
#include "platform/graphics/picture.h"

#include <algorithm>

using Zirodevo::gThreadCS;

void TKorvaneMView::SetBackGround(TColor Value)
{
    TKVView::SetBackGround(Value);
    FTextStyle.reset();
    Update();
}

void TKorvaneMView::SetThumbWidth(int32_t Value)
{
    if (Value < 1) {
        return;
    }
    FThumbWidth = Value;
    ClearCache();
    Update();
}

void TKorvaneMView::SetThumbHeight(int32_t Value)
{
    if (Value < 1) {
        return;
    }
    FThumbHeight = Value;
    ClearCache();
    Update();
}

void TKorvaneMView::SetHorizBorder(int32_t Value)
{
    if (Value < 0) {
        return;
    }
    FHorizBorder = Value;
    Update();
}

void TKorvaneMView::SetVertBorder(int32_t Value)
{
    if (Value < 0) {
        return;
    }
    FVertBorder = Value;
    Update();
}

void TKorvaneMView::SetGridWidth(int32_t Value)
{
    FGridWidth = Value < -1 ? -1 : Value;
    Update();
}

void TKorvaneMView::SetDisplayMode(TKVMDisplayMode Value)
{
    if (FPlaying) {
        FSavedDisplayMode = Value;
        return;
    }
    FDisplayMode = Value;
    Update();
}

void TKorvaneMView::SetStoreType(TKVStoreType Value)
{
    FStoreType = Value;
    Update();
}

void TKorvaneMView::SetUpperGap(int32_t Value)
{
    FUpperGap = Value;
    FSetUpperGap = Value;
    Update();
}

void TKorvaneMView::SetBottomGap(int32_t Value)
{
    FBottomGap = Value;
    FSetBottomGap = Value;
    Update();
}

void TKorvaneMView::SetStyle(TKVMStyle Value)
{
    if (Value != FStyle) {
        FStyle = Value;
        Update();
    }
}

void TKorvaneMView::SetSelectionStyle(TKVSStyle Value)
{
    if (Value != FSelectionStyle) {
        FSelectionStyle = Value;
        Update();
    }
}

void TKorvaneMView::SetShowText(bool Value)
{
    FShowText = Value;
    Update();
}

void TKorvaneMView::SetFillThumbnail(bool Value)
{
    FFillThumbnail = Value;
    Update();
}

void TKorvaneMView::SetDrawImageBackground(bool Value)
{
    FDrawImageBackground = Value;
    Update();
}

void TKorvaneMView::SetThumbnailsBackground(TColor Value)
{
    FThumbnailsBackground = Value;
    Update();
}

void TKorvaneMView::SetThumbnailsBorderWidth(int32_t Value)
{
    if (Value != FThumbnailsBorderWidth) {
        FThumbnailsBorderWidth = std::max(Value, 0);
        Update();
    }
}

void TKorvaneMView::SetThumbnailsBorderColor(TColor Value)
{
    if (Value != FThumbnailsBorderColor) {
        FThumbnailsBorderColor = Value;
        Update();
    }
}

void TKorvaneMView::SetBackgroundStyle(TKVBackgroundStyle Value)
{
    FBackgroundStyle = Value;
    Update();
}

void TKorvaneMView::SetThumbnailsBackgroundStyle(TKVBackgroundStyle Value)
{
    FThumbnailsBackgroundStyle = Value;
    Update();
}

void TKorvaneMView::SetGradientEndColor(TColor Value)
{
    FGradientEndColor = Value;
    Update();
}

void TKorvaneMView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle)
{
    FChessboardSize = Size;
    FChessboardBrushStyle = BrushStyle;
}

void TKorvaneMView::SetEnableResamplingOnMinor(bool Value)
{
    FEnableResamplingOnMinor = Value;
    Update();
}

void TKorvaneMView::SetEnableAlphaChannel(bool Value)
{
    FEnableAlphaChannel = Value;
    Update();
}

void TKorvaneMView::SetEnableImageCaching(bool Value)
{
    FEnableImageCaching = Value;
    if (!Value) {
        ClearCache();
        Update();
    }
}

void TKorvaneMView::SetThumbnailResampleFilter(TResampleFilter Value)
{
    FThumbnailResampleFilter = Value;
    Update();
}

void TKorvaneMView::SetThumbnailDisplayFilter(TResampleFilter Value)
{
    FThumbnailDisplayFilter = Value;
    Update();
}

void TKorvaneMView::SetVisibleSelection(bool Value)
{
    FVisibleSelection = Value;
    Update();
}

void TKorvaneMView::SetSelectionWidth(int32_t Value)
{
    FSelectionWidth = Value;
    Update();
}

void TKorvaneMView::SetSelectionColor(TColor Value)
{
    FSelectionColor = Value;
    Update();
}

void TKorvaneMView::SetWallPaper(TPicture* Value)
{
    FWallPaper->Assign(Value);
    Update();
}

void TKorvaneMView::SetWallPaperStyle(TKVWallPaperStyle Value)
{
    if (Value != FWallPaperStyle) {
        FWallPaperStyle = Value;
        Update();
    }
}

void TKorvaneMView::SetImageCacheSize(int32_t Value)
{
    FImageCacheSize = Value;
    TCriticalSectionLock lock(gThreadCS);
    FImageCache->MaxMappedImages = Value;
}
