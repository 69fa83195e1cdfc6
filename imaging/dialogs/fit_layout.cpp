// TFitLayout: moving and sizing a dialog's controls to the widths and heights of their texts.
#include "imaging/dialogs/detail/fit_layout.h"

#include "imaging/view/ruler_box.h"
#include "platform/forms/buttons.h"
#include "platform/forms/form.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"

#include <algorithm>
#include <vector>

using namespace Kvdialogs;

namespace {

// The room a pushed control keeps from the text before it (less where the design had less: an
// up-down stands right against its edit), at 96 pixels per inch.
constexpr int32_t kGap = 6;
// The most of a container's right and bottom margins that is kept when it grows, at 96 pixels
// per inch.
constexpr int32_t kMargin = 8;

// Containers whose children the layout places; a radio group places its own buttons.
bool PlacesChildren(const TControl* Control)
{
    if (dynamic_cast<const TRadioGroup*>(Control) != nullptr)
        return false;
    return dynamic_cast<const TGroupBox*>(Control) != nullptr ||
           dynamic_cast<const TTabSheet*>(Control) != nullptr ||
           dynamic_cast<const TCustomControl*>(Control) != nullptr;
}

bool IsContainer(const TControl* Control)
{
    return PlacesChildren(Control) || dynamic_cast<const TPageControl*>(Control) != nullptr ||
           dynamic_cast<const TRadioGroup*>(Control) != nullptr;
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

bool SharesColumn(const TRect& a, const TRect& b)
{
    return a.Left < b.Right && b.Left < a.Right;
}

// The height of a line of the control's text: a page control's is its row of tabs.
int32_t LineHeight(const TControl* Control)
{
    if (auto* pages = dynamic_cast<const TPageControl*>(Control))
        return pages->TabRowHeight();
    return Control->CaptionHeight();
}

// A ruler along the dialog grows across, to the band and grips of its font.
TRulerBox* HorizontalRuler(TControl* Control)
{
    auto* ruler = dynamic_cast<TRulerBox*>(Control);
    return ruler != nullptr && ruler->RulerDir() == rdHorizontal ? ruler : nullptr;
}

bool SizesItself(const TControl* Control)
{
    auto* label = dynamic_cast<const TLabel*>(Control);
    return label != nullptr && label->AutoSize();
}

void SetBoundsRect(TControl* Control, const TRect& Bounds)
{
    if (Control->BoundsRect() != Bounds)
        Control->SetBounds(Bounds.Left, Bounds.Top, Bounds.Width(), Bounds.Height());
}

// Where a control stands from the one designed above it: the designed distance, at most the gap,
// or the designed overlap.
int32_t KeptDistance(int32_t Designed, int32_t Gap)
{
    return Designed < 0 ? Designed : std::min(Designed, Gap);
}

} // namespace

void TFitLayout::Arrange(TForm* Form)
{
    // The style's frames and marks grow with the screen's resolution; so does the room between
    // controls.
    FGap = kGap * Form->PixelsPerInch() / 96;
    FMargin = kMargin * Form->PixelsPerInch() / 96;
    if (FDesign.empty()) {
        FDesignClient[Form] = TPoint{Form->ClientWidth(), Form->ClientHeight()};
        Record(Form);
    } else {
        RestoreDesign(Form);
        Form->SetClientWidth(FDesignClient.at(Form).X);
        Form->SetClientHeight(FDesignClient.at(Form).Y);
    }
    const TGrowth growth = ArrangeChildren(Form);
    if (growth.Width > 0)
        Form->SetClientWidth(FDesignClient.at(Form).X + growth.Width);
    if (growth.Height > 0)
        Form->SetClientHeight(FDesignClient.at(Form).Y + growth.Height);
}

void TFitLayout::TakeHeight(TControl* Control)
{
    if (auto found = FDesign.find(Control); found != FDesign.end()) {
        // The pages of a page control are as much higher or lower as the control.
        if (auto* pages = dynamic_cast<TPageControl*>(Control)) {
            const int32_t change = Control->Height() - found->second.Height();
            for (int32_t i = 0; i < pages->PageCount(); ++i)
                FDesignClient.at(pages->Pages(i)).Y += change;
        }
        // A label that sizes itself keeps the height it was designed with: its height now is
        // the font's.
        const int32_t height = SizesItself(Control) ? found->second.Height() : Control->Height();
        found->second.Top = Control->Top();
        found->second.Bottom = Control->Top() + height;
    }
    if (auto found = FDesignClient.find(Control); found != FDesignClient.end())
        found->second.Y = Control->ClientHeight();
}

void TFitLayout::Record(TControl* Control)
{
    auto* parent = dynamic_cast<TWinControl*>(Control);
    if (parent == nullptr)
        return;
    for (int32_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* child = parent->Controls(i);
        FDesign[child] = child->BoundsRect();
        FDesignClient[child] = TPoint{child->ClientWidth(), child->ClientHeight()};
        FDesignLine[child] = LineHeight(child);
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
        TRect bounds = found->second;
        if (SizesItself(child)) {
            bounds.Right = bounds.Left + child->Width();
            bounds.Bottom = bounds.Top + child->Height();
        }
        // A page control places its pages itself, to its own size.
        if (dynamic_cast<TTabSheet*>(child) == nullptr)
            SetBoundsRect(child, bounds);
        if (auto* container = dynamic_cast<TWinControl*>(child))
            RestoreDesign(container);
    }
}

int32_t TFitLayout::FittedWidth(TControl* Control) const
{
    if (SizesItself(Control))
        return Control->Width();
    if (auto* combo = dynamic_cast<TComboBox*>(Control))
        return std::max(Control->Width(), combo->ItemsWidth());
    if (auto* edit = dynamic_cast<TEdit*>(Control))
        if (const auto widest = FWidest.find(edit); widest != FWidest.end())
            return std::max(Control->Width(), edit->WidthToShow(widest->second));
    return std::max(Control->Width(), Control->CaptionWidth());
}

int32_t TFitLayout::FittedHeight(TControl* Control) const
{
    if (TRulerBox* ruler = HorizontalRuler(Control))
        return std::max(Design(Control).Height(), ruler->GetNeededThickness());
    // An up-down stands beside its edit at the edit's height.
    if (auto* upDown = dynamic_cast<TUpDown*>(Control);
        upDown != nullptr && upDown->Associate() != nullptr && FDesign.count(upDown->Associate()) != 0)
        return FittedHeight(upDown->Associate());
    // Containers have grown to their children already.
    if (SizesItself(Control) || IsContainer(Control))
        return Control->Height();
    return Design(Control).Height() + LineGrowth(Control);
}

int32_t TFitLayout::LineGrowth(const TControl* Control) const
{
    const auto designed = FDesignLine.find(Control);
    return designed == FDesignLine.end() ? 0 : std::max(LineHeight(Control) - designed->second, 0);
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
    TGrowth growth;
    for (int32_t i = 0; i < Pages->PageCount(); ++i) {
        // A page without a tab is not shown: it needs no room (a variant's other pages).
        const TGrowth page = ArrangeChildren(Pages->Pages(i));
        if (!Pages->Pages(i)->TabVisible())
            continue;
        growth.Width = std::max(growth.Width, page.Width);
        growth.Height = std::max(growth.Height, page.Height);
    }
    const TRect& design = Design(Pages);
    Pages->SetBounds(Pages->Left(), Pages->Top(), design.Width() + growth.Width,
                     design.Height() + growth.Height + LineGrowth(Pages));
}

TFitLayout::TGrowth TFitLayout::ArrangeChildren(TWinControl* Parent)
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
            // The group lays its buttons out across its size: widen it by what the widest button
            // lacks, heighten it by what each row lacks.
            TGrowth lacking;
            for (int32_t k = 0; k < radios->Items()->Count(); ++k) {
                TRadioButton* button = radios->Buttons(k);
                lacking.Width = std::max(lacking.Width, button->CaptionWidth() - button->Width());
                lacking.Height = std::max(lacking.Height, LineGrowth(button));
            }
            lacking.Height = lacking.Height * radios->Items()->Count() + LineGrowth(radios);
            if (lacking.Width > 0 || lacking.Height > 0)
                radios->SetBounds(radios->Left(), radios->Top(), radios->Width() + std::max(lacking.Width, 0),
                                  radios->Height() + std::max(lacking.Height, 0));
        } else if (PlacesChildren(child)) {
            const TGrowth grown = ArrangeChildren(static_cast<TWinControl*>(child));
            child->SetBounds(child->Left(), child->Top(), child->Width() + grown.Width,
                             child->Height() + grown.Height);
        }
    }

    std::map<const TControl*, TRect> placed = PlaceColumns(children);
    // A group box's children stand under its title, which grows with the font.
    PlaceRows(placed, LineGrowth(Parent));

    // What is not shown needs no room (the finer settings the simplified variant hides).
    TRect design{0, 0, 0, 0}, now{0, 0, 0, 0};
    for (const auto& [control, bounds] : placed) {
        if (!control->Visible())
            continue;
        design.Right = std::max(design.Right, Design(control).Right);
        design.Bottom = std::max(design.Bottom, Design(control).Bottom);
        now.Right = std::max(now.Right, bounds.Right);
        now.Bottom = std::max(now.Bottom, bounds.Bottom);
    }
    const TPoint designClient = FDesignClient.at(Parent);
    TGrowth growth;
    growth.Width =
        std::max(now.Right + std::clamp(designClient.X - design.Right, 0, FMargin) - designClient.X, 0);
    growth.Height =
        std::max(now.Bottom + std::clamp(designClient.Y - design.Bottom, 0, FMargin) - designClient.Y, 0);
    AnchorToRightEdge(placed, growth.Width);
    for (const auto& [control, bounds] : placed)
        SetBoundsRect(const_cast<TControl*>(control), bounds);
    // A group box is at least as wide as its title.
    growth.Width = std::max(growth.Width, Parent->CaptionWidth() - Parent->Width());
    return growth;
}

void TFitLayout::AnchorToRightEdge(std::map<const TControl*, TRect>& Placed, int32_t Growth) const
{
    // From the right: each anchored control keeps its distance from the edge, or from the
    // anchored control right of it in its row, whichever is nearer; never left of where the
    // columns put it.
    std::vector<const TControl*> anchored;
    for (const auto& [control, bounds] : Placed)
        if (FAnchored.count(control) != 0)
            anchored.push_back(control);
    std::stable_sort(anchored.begin(), anchored.end(), [this](const TControl* a, const TControl* b) {
        return Design(a).Left > Design(b).Left;
    });
    for (size_t i = 0; i < anchored.size(); ++i) {
        const TRect& design = Design(anchored[i]);
        int32_t right = design.Right + Growth;
        for (size_t k = 0; k < i; ++k)
            if (SharesRow(design, Design(anchored[k])))
                right =
                    std::min(right, Placed.at(anchored[k]).Left - (Design(anchored[k]).Left - design.Right));
        TRect& bounds = Placed.at(anchored[i]);
        const int32_t left = std::max(bounds.Left, right - bounds.Width());
        bounds = TRect{left, bounds.Top, left + bounds.Width(), bounds.Bottom};
    }
}

std::map<const TControl*, TRect> TFitLayout::PlaceColumns(const std::vector<TControl*>& Children) const
{
    // Columns from left to right: each control moves as far right as the text or control shown
    // before it in its row now needs, and every control of its column (the same designed left)
    // with it. A hidden control neither pushes nor is pushed (the finer settings the simplified
    // variant hides).
    std::vector<TControl*> children = Children;
    std::stable_sort(children.begin(), children.end(),
                     [this](TControl* a, TControl* b) { return Design(a).Left < Design(b).Left; });
    std::map<const TControl*, TRect> placed;
    for (size_t first = 0; first < children.size();) {
        const int32_t columnLeft = Design(children[first]).Left;
        size_t end = first;
        while (end < children.size() && Design(children[end]).Left == columnLeft)
            ++end;
        int32_t shift = 0;
        for (size_t k = first; k < end; ++k) {
            if (!children[k]->Visible())
                continue;
            const TRect& design = Design(children[k]);
            for (const auto& [before, bounds] : placed) {
                const TRect& beforeDesign = Design(before);
                if (!before->Visible() || !SharesRow(design, beforeDesign))
                    continue;
                const int32_t gap = std::clamp(columnLeft - beforeDesign.Right, 0, FGap);
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
            placed[control] = TRect{left, design.Top, left + width, design.Top + FittedHeight(control)};
        }
        first = end;
    }
    return placed;
}

void TFitLayout::PlaceRows(std::map<const TControl*, TRect>& Placed, int32_t Top) const
{
    // Rows from top to bottom: each control moves down as far as a shown control above it in its
    // column now reaches, and every control of its row (the same designed top) with it; a label
    // moves at least as far as the control it stands beside.
    std::vector<const TControl*> controls;
    for (const auto& [control, bounds] : Placed)
        controls.push_back(control);
    std::stable_sort(controls.begin(), controls.end(),
                     [this](const TControl* a, const TControl* b) { return Design(a).Top < Design(b).Top; });
    std::vector<const TControl*> above;
    for (size_t first = 0; first < controls.size();) {
        const int32_t rowTop = Design(controls[first]).Top;
        size_t end = first;
        while (end < controls.size() && Design(controls[end]).Top == rowTop)
            ++end;
        int32_t shift = Top;
        for (size_t k = first; k < end; ++k) {
            const TRect& design = Design(controls[k]);
            for (const TControl* over : above) {
                const TRect& overDesign = Design(over);
                if (SizesItself(controls[k]) && !IsContainer(over) && overDesign.Top <= design.Top &&
                    design.Bottom <= overDesign.Bottom)
                    shift = std::max(shift, Placed.at(over).Top - overDesign.Top);
                if (!over->Visible() || !SharesColumn(Placed.at(controls[k]), Placed.at(over)))
                    continue;
                const int32_t distance = KeptDistance(rowTop - overDesign.Bottom, FGap);
                shift = std::max(shift, Placed.at(over).Bottom + distance - rowTop);
            }
        }
        for (size_t k = first; k < end; ++k) {
            TRect& bounds = Placed.at(controls[k]);
            bounds.Top += shift;
            bounds.Bottom += shift;
            above.push_back(controls[k]);
        }
        first = end;
    }
}
