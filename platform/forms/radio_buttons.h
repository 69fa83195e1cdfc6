// TRadioButton and TRadioGroup: choices of which one at a time is checked.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/lists.h"
#include "platform/forms/std_controls.h"

// Checking a radio button unchecks the radio buttons beside it (those with the same parent).
// The user's click on an unchecked button checks it and fires OnClick; a click on the checked
// one does nothing. Setting Checked from the program fires nothing, as with the check box, and
// Checked false may leave none of the group checked.
class TRadioButton : public TWinControl
{
public:
    explicit TRadioButton(TComponent* AOwner);

    bool Checked() const;
    void SetChecked(bool Value);
    TAlignment Alignment() const { return FAlignment; }
    // taLeftJustify puts the text left of the button.
    void SetAlignment(TAlignment Value);

    // Internal: the user clicked the button.
    void UserClicked();

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;

private:
    TAlignment FAlignment = taRightJustify;
};

// A group box holding one radio button per line of Items, in Columns columns filled top to
// bottom. ItemIndex is the checked item (-1: none). The user's click on an item fires OnClick;
// setting ItemIndex or Items from the program fires nothing.
class TRadioGroup : public TGroupBox
{
public:
    explicit TRadioGroup(TComponent* AOwner);
    ~TRadioGroup() override;

    TStrings* Items() const { return FItems.get(); }
    void SetItems(TStrings* Value);
    // Out of range gives -1, no item checked.
    int32_t ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int32_t Value);
    int32_t Columns() const { return FColumns; }
    // At least 1, at most 16.
    void SetColumns(int32_t Value);
    // The radio button of an item; raises EListError when Index is out of range.
    TRadioButton* Buttons(int32_t Index) const;

    // Internal: a button was clicked by the user; the items changed.
    void ButtonClicked(TRadioButton* Button);
    void ItemsChanged();
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

protected:
    void FontChanged() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void ArrangeButtons();

    std::unique_ptr<TStringList> FItems;
    std::vector<TRadioButton*> FButtons;
    int32_t FItemIndex = -1;
    int32_t FColumns = 1;
    bool FUpdating = false;
};
