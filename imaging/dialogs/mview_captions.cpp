// TKorvaneMView: the captions drawn with each thumbnail, and the style they are made in.
#include "imaging/dialogs/kvmview.h"

#include "platform/graphics/bitmap.h"

#include <algorithm>

TKVMText::TKVMText(TObject* Owner, TKVMTextPos Position)
    : FFont(std::make_unique<TFont>()), FPosition(Position)
{
    FView = dynamic_cast<TKorvaneMView*>(Owner);
    if (FView != nullptr) {
        FFont->Assign(FView->Font());
        Background = FView->Background();
    }
}

TKVMText::~TKVMText() = default;

void TKVMText::SetCaption(const std::string& Value)
{
    FCaption = Value;
    if (FView == nullptr || FPosition == kvmtpInfo) {
        return;
    }
    TBitmap probe;
    probe.Canvas()->Font()->Assign(FFont.get());
    const int32_t h = probe.Canvas()->TextHeight(Value.empty() ? std::string("Wg") : Value);
    if (FPosition == kvmtpTop) {
        FView->FUpperGap = std::max(FView->FUpperGap, h + 2);
    } else if (h + 2 > FView->FBottomGap) {
        FView->FBottomGap = FView->FStyle == kvmsACD ? h + 4 : h + 2;
    }
}

// ---------------------------------------------------------------------------------------------
// Texts of an image

std::shared_ptr<TKVMTextStyle> TKorvaneMView::CurrentTextStyle()
{
    if (FTextStyle == nullptr) {
        auto style = std::make_shared<TKVMTextStyle>();
        style->Font.Assign(Font());
        style->Background = Background();
        FTextStyle = std::move(style);
    }
    return FTextStyle;
}

void TKorvaneMView::FontChanged()
{
    TKVView::FontChanged();
    FTextStyle.reset();
}

TKVMText* TKorvaneMView::TextOf(PKVImageInfo e, TKVMTextPos Position)
{
    if (e == nullptr) {
        return nullptr;
    }
    std::unique_ptr<TKVMText>& text = Position == kvmtpTop      ? e->top
                                      : Position == kvmtpBottom ? e->bottom
                                                                : e->info;
    if (text == nullptr) {
        // The text keeps the view, to grow its gaps when a caption is set.
        text = std::make_unique<TKVMText>(this, Position);
        text->Font()->Assign(&e->textStyle->Font);
        text->Background = e->textStyle->Background;
    }
    return text.get();
}

TKVMText* TKorvaneMView::GetImageTopText(int32_t idx)
{
    return TextOf(Entry(idx), kvmtpTop);
}

TKVMText* TKorvaneMView::GetImageBottomText(int32_t idx)
{
    return TextOf(Entry(idx), kvmtpBottom);
}

TKVMText* TKorvaneMView::GetImageInfoText(int32_t idx)
{
    return TextOf(Entry(idx), kvmtpInfo);
}
