// Radio buttons over the platform's buttons; the group's exclusion is ours, so that the
// program may also uncheck them all.
#include "platform/forms/radio_buttons.h"

#include <QFontMetrics>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/forms/detail/qt_bridge.h"

using namespace FormsDetail;

namespace {

// The control's colour fills its background only: the round mark stays the window colour, as
// the class library draws it.
class TRadioWidget : public QRadioButton
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QColor mark = QtColorOf(clWindow);
        option.palette.setColor(QPalette::Active, QPalette::Base, mark);
        option.palette.setColor(QPalette::Inactive, QPalette::Base, mark);
        painter.drawControl(QStyle::CE_RadioButton, option);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* AOwner)
    : TWinControl(AOwner, (EnsureQtApplication(), new TRadioWidget))
{
    auto* button = static_cast<QRadioButton*>(FWidget);
    button->setAutoExclusive(false);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    // clicked comes from the user only (mouse or Space), never from setChecked.
    QObject::connect(button, &QRadioButton::clicked, button,
                     [this] { Guarded(this, [this] { UserClicked(); }); });
    SetTabStop(true);
    SetBounds(0, 0, 113, 17);
}

bool TRadioButton::Checked() const
{
    return static_cast<QRadioButton*>(FWidget)->isChecked();
}

void TRadioButton::SetChecked(bool Value)
{
    static_cast<QRadioButton*>(FWidget)->setChecked(Value);
    if (!Value || !Parent()) {
        return;
    }
    for (int32_t i = 0; i < Parent()->ControlCount(); ++i) {
        auto* sibling = dynamic_cast<TRadioButton*>(Parent()->Controls(i));
        if (sibling && sibling != this) {
            static_cast<QRadioButton*>(sibling->FWidget)->setChecked(false);
        }
    }
}

void TRadioButton::UserClicked()
{
    // The platform's button toggles; a radio button only ever turns on by a click.
    auto* button = static_cast<QRadioButton*>(FWidget);
    if (!button->isChecked()) {
        button->setChecked(true);
        return;
    }
    SetChecked(true);
    if (auto* group = dynamic_cast<TRadioGroup*>(Parent())) {
        group->ButtonClicked(this);
    }
    Click();
}

void TRadioButton::SetAlignment(TAlignment Value)
{
    FAlignment = Value;
    FWidget->setLayoutDirection(Value == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

std::string TRadioButton::GetText() const
{
    return FromQ(static_cast<QRadioButton*>(FWidget)->text());
}

void TRadioButton::SetTextValue(const std::string& Value)
{
    static_cast<QRadioButton*>(FWidget)->setText(ToQ(Value));
}

// ---------------------------------------------------------------------------------------------
// TRadioGroup

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner), FItems(std::make_unique<TStringList>())
{
    FItems->OnChange = [this](TObject*) { ItemsChanged(); };
}

TRadioGroup::~TRadioGroup()
{
    FItems->OnChange = nullptr;
}

void TRadioGroup::SetItems(TStrings* Value)
{
    FItems->Assign(Value);
}

TRadioButton* TRadioGroup::Buttons(int32_t Index) const
{
    if (Index < 0 || Index >= static_cast<int32_t>(FButtons.size())) {
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    }
    return FButtons[static_cast<size_t>(Index)];
}

void TRadioGroup::SetItemIndex(int32_t Value)
{
    if (Value < -1 || Value >= static_cast<int32_t>(FButtons.size())) {
        Value = -1;
    }
    FItemIndex = Value;
    FUpdating = true;
    for (size_t i = 0; i < FButtons.size(); ++i) {
        FButtons[i]->SetChecked(static_cast<int32_t>(i) == Value);
    }
    FUpdating = false;
}

void TRadioGroup::SetColumns(int32_t Value)
{
    FColumns = std::clamp(Value, 1, 16);
    ArrangeButtons();
}

void TRadioGroup::ItemsChanged()
{
    // The buttons follow the lines: as many as there are, captioned by them.
    const auto count = static_cast<size_t>(FItems->Count());
    while (FButtons.size() > count) {
        TRadioButton* button = FButtons.back();
        FButtons.pop_back();
        button->Free();
    }
    while (FButtons.size() < count) {
        auto* button = new TRadioButton(this);
        button->SetParent(this);
        FButtons.push_back(button);
    }
    for (size_t i = 0; i < count; ++i) {
        FButtons[i]->SetCaption(FItems->Strings(static_cast<int32_t>(i)));
    }
    SetItemIndex(FItemIndex < static_cast<int32_t>(count) ? FItemIndex : -1);
    ArrangeButtons();
}

void TRadioGroup::ButtonClicked(TRadioButton* Button)
{
    if (FUpdating) {
        return;
    }
    auto it = std::find(FButtons.begin(), FButtons.end(), Button);
    if (it == FButtons.end()) {
        return;
    }
    FItemIndex = static_cast<int32_t>(it - FButtons.begin());
    Click();
}

void TRadioGroup::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    TGroupBox::SetBounds(ALeft, ATop, AWidth, AHeight);
    ArrangeButtons();
}

void TRadioGroup::FontChanged()
{
    TGroupBox::FontChanged();
    ArrangeButtons();
}

// A button can go before its group (a windowed control frees its children first, and a program
// may free one): the group forgets it, so that arranging or checking never reaches a freed one.
void TRadioGroup::Notification(TComponent* AComponent, TOperation Operation)
{
    TGroupBox::Notification(AComponent, Operation);
    if (Operation == opRemove) {
        FButtons.erase(std::remove(FButtons.begin(), FButtons.end(), AComponent), FButtons.end());
    }
}

void TRadioGroup::ArrangeButtons()
{
    if (FButtons.empty()) {
        return;
    }
    // The class library's arrangement: below the caption, columns of equal width, the rows
    // sharing the height that is left.
    const int32_t count = static_cast<int32_t>(FButtons.size());
    const int32_t perColumn = (count + FColumns - 1) / FColumns;
    const int32_t textHeight = QFontMetrics(FWidget->font()).height();
    const int32_t buttonWidth = std::max((Width() - 10) / FColumns, 0);
    const int32_t room = std::max(Height() - textHeight - 5, 0);
    const int32_t buttonHeight = room / perColumn;
    const int32_t topMargin = textHeight + 1 + (room % perColumn) / 2;
    for (int32_t i = 0; i < count; ++i) {
        FButtons[static_cast<size_t>(i)]->SetBounds((i / perColumn) * buttonWidth + 8,
                                                    (i % perColumn) * buttonHeight + topMargin, buttonWidth,
                                                    buttonHeight);
    }
}
