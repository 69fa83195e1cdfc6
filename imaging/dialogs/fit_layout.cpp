// TFitLayout: moving and widening a dialog's controls to the widths of their texts.
#include "imaging/dialogs/detail/fit_layout.h"

#include "platform/forms/buttons.h"
#include "platform/forms/form.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/std_controls.h"

#include <algorithm>
#include <vector>

using namespace Kvdialogs;

namespace {

// The room a pushed control keeps from the text before it (less where the design had less: an
// up-down stands right against its edit).
constexpr int32_t kGap = 6;
// The most of a container's right margin that is kept when it grows.
constexpr int32_t kMargin = 8;

// Containers whose children the layout places; a radio group places its own buttons.
bool PlacesChildren(TControl* Control)
{
    if (dynamic_cast<TRadioGroup*>(Control) != nullptr)
        return false;
    return dynamic_cast<TGroupBox*>(Control) != nullptr || dynamic_cast<TTabSheet*>(Control) != nullptr ||
           dynamic_cast<TCustomControl*>(Control) != nullptr;
}

bool IsButton(const TControl* Control)
{
    return dynamic_cast<const TButton*>(Control) != nullptr ||
           dynamic_cast<const TSpeedButton*>(Control) != nullptr;
}

bool SharesRow(const TRect& a, const TRect& b)
{
    return a.Top < b.Bottom && b.Top < a.Bottom;
}

void SetLeftAndWidth(TControl* Control, int32_t Left, int32_t Width)
{
    if (Control->Left() != Left || Control->Width() != Width)
        Control->SetBounds(Left, Control->Top(), Width, Control->Height());
}

} // namespace

void TFitLayout::Arrange(TForm* Form)
{
    if (FDesign.empty()) {
        FDesignClient[Form] = Form->ClientWidth();
        Record(Form);
    } else {
        RestoreDesign(Form);
        Form->SetClientWidth(FDesignClient.at(Form));
    }
    const int32_t growth = ArrangeChildren(Form);
    if (growth > 0)
        Form->SetClientWidth(FDesignClient.at(Form) + growth);
}

void TFitLayout::Record(TControl* Control)
{
    auto* parent = dynamic_cast<TWinControl*>(Control);
    if (parent == nullptr)
        return;
    for (int32_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* child = parent->Controls(i);
        FDesign[child] = child->BoundsRect();
        FDesignClient[child] = child->ClientWidth();
        Record(child);
    }
}

void TFitLayout::RestoreDesign(TWinControl* Parent)
{
    for (int32_t i = 0; i < Parent->ControlCount(); ++i) {
        TControl* child = Parent->Controls(i);
        const auto found = FDesign.find(child);
        if (found == FDesign.end())
            continue;
        auto* label = dynamic_cast<TLabel*>(child);
        const int32_t width = label != nullptr && label->AutoSize() ? child->Width() : found->second.Width();
        SetLeftAndWidth(child, found->second.Left, width);
        if (auto* container = dynamic_cast<TWinControl*>(child))
            RestoreDesign(container);
    }
}

int32_t TFitLayout::FittedWidth(TControl* Control) const
{
    if (auto* label = dynamic_cast<TLabel*>(Control); label != nullptr && label->AutoSize())
        return Control->Width();
    if (auto* combo = dynamic_cast<TComboBox*>(Control))
        return std::max(Control->Width(), combo->ItemsWidth());
    return std::max(Control->Width(), Control->CaptionWidth());
}

int32_t TFitLayout::ColumnButtonWidth(std::vector<TControl*>::const_iterator First,
                                      std::vector<TControl*>::const_iterator Last) const
{
    int32_t widest = 0;
    bool grown = false;
    for (auto it = First; it != Last; ++it) {
        if (!IsButton(*it))
            continue;
        const int32_t width = FittedWidth(*it);
        widest = std::max(widest, width);
        grown = grown || width > Design(*it).Width();
    }
    return grown ? widest : 0;
}

void TFitLayout::ArrangePages(TPageControl* Pages)
{
    int32_t growth = 0;
    for (int32_t i = 0; i < Pages->PageCount(); ++i)
        growth = std::max(growth, ArrangeChildren(Pages->Pages(i)));
    if (growth > 0)
        Pages->SetWidth(Design(Pages).Width() + growth);
}

int32_t TFitLayout::ArrangeChildren(TWinControl* Parent)
{
    std::vector<TControl*> children;
    for (int32_t i = 0; i < Parent->ControlCount(); ++i) {
        TControl* child = Parent->Controls(i);
        if (FDesign.count(child) == 0)
            continue;
        children.push_back(child);
        if (auto* pages = dynamic_cast<TPageControl*>(child)) {
            ArrangePages(pages);
        } else if (auto* radios = dynamic_cast<TRadioGroup*>(child)) {
            // The group lays its buttons out across its width: widen it by what the widest
            // button lacks.
            int32_t lacking = 0;
            for (int32_t k = 0; k < radios->Items()->Count(); ++k)
                lacking = std::max(lacking, radios->Buttons(k)->CaptionWidth() - radios->Buttons(k)->Width());
            if (lacking > 0)
                radios->SetWidth(radios->Width() + lacking);
        } else if (PlacesChildren(child)) {
            const int32_t grown = ArrangeChildren(static_cast<TWinControl*>(child));
            if (grown > 0)
                child->SetWidth(child->Width() + grown);
        }
    }

    // Columns from left to right: each control moves as far right as the text or control before
    // it in its row now needs, and every control of its column (the same designed left) with it.
    std::stable_sort(children.begin(), children.end(),
                     [this](TControl* a, TControl* b) { return Design(a).Left < Design(b).Left; });
    std::map<const TControl*, TRect> placed;
    int32_t designRight = 0, newRight = 0;
    for (size_t first = 0; first < children.size();) {
        const int32_t columnLeft = Design(children[first]).Left;
        size_t end = first;
        while (end < children.size() && Design(children[end]).Left == columnLeft)
            ++end;
        int32_t shift = 0;
        for (size_t k = first; k < end; ++k) {
            const TRect& design = Design(children[k]);
            for (const auto& [before, bounds] : placed) {
                const TRect& beforeDesign = Design(before);
                if (!SharesRow(design, beforeDesign))
                    continue;
                const int32_t gap = std::clamp(columnLeft - beforeDesign.Right, 0, kGap);
                shift = std::max(shift, bounds.Right + gap - columnLeft);
            }
        }
        const int32_t buttonWidth = ColumnButtonWidth(children.begin() + first, children.begin() + end);
        for (size_t k = first; k < end; ++k) {
            TControl* control = children[k];
            const TRect& design = Design(control);
            const int32_t left = columnLeft + shift;
            int32_t width = FittedWidth(control);
            if (buttonWidth > 0 && IsButton(control))
                width = buttonWidth;
            if (shift > 0 && FShrinking.count(control) != 0)
                width = std::max(design.Right - left, design.Width() / 2);
            placed[control] = TRect{left, design.Top, left + width, design.Bottom};
            designRight = std::max(designRight, design.Right);
            newRight = std::max(newRight, left + width);
        }
        first = end;
    }

    const int32_t designClient = FDesignClient.at(Parent);
    const int32_t margin = std::clamp(designClient - designRight, 0, kMargin);
    const int32_t growth = std::max(newRight + margin - designClient, 0);
    for (const auto& [control, bounds] : placed) {
        int32_t left = bounds.Left;
        if (FAnchored.count(control) != 0)
            left = std::max(left, Design(control).Left + growth);
        SetLeftAndWidth(const_cast<TControl*>(control), left, bounds.Width());
    }
    // A group box is at least as wide as its title.
    return std::max(growth, Parent->CaptionWidth() - Parent->Width());
}
