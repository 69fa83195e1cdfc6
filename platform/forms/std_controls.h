// The standard controls: label, edit, memo, button, check box, drop-down list, list box (also
// owner-drawn) and group box.
//
// Change events follow the class library: an edit's or memo's OnChange fires whenever its text
// changes, by the user or by the program; a combo box's OnClick and OnChange and a list box's
// OnClick fire only for the user's choice; a check box's OnClick only for the user's click.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/lists.h"
#include "platform/forms/controls.h"

class TListBoxStrings;

class TLabel : public TGraphicControl
{
public:
    explicit TLabel(TComponent* AOwner);
    ~TLabel() override;

    // While set, the label takes the size of its text.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    // While set, "&" underlines the next character and "&&" shows one "&".
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool Value);
    bool Transparent() const { return ParentColor(); }
    void SetTransparent(bool Value) { SetParentColor(Value); }

protected:
    void TextChanged() override;
    void FontChanged() override;

private:
    void ApplyText();
    void AdjustBounds();

    bool FAutoSize = true;
    bool FWordWrap = false;
    bool FShowAccelChar = true;
    TAlignment FAlignment = taLeftJustify;
};

class TEdit : public TWinControl
{
public:
    explicit TEdit(TComponent* AOwner);

    // 0: no limit.
    int32_t MaxLength() const { return FMaxLength; }
    void SetMaxLength(int32_t Value);
    bool ReadOnly() const;
    void SetReadOnly(bool Value);
    // A character other than 0 hides the text behind it.
    char PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(char Value);

    // Selection in characters from the start of the text.
    int32_t SelStart() const;
    void SetSelStart(int32_t Value);
    int32_t SelLength() const;
    void SetSelLength(int32_t Value);
    std::string SelText() const;
    void SetSelText(const std::string& Value);
    void SelectAll();
    void ClearSelection();
    void Clear() { SetText(std::string()); }

    bool Modified() const { return FModified; }
    void SetModified(bool Value) { FModified = Value; }
    // Takes back the user's last change, as the edit's own undo does.
    void Undo();
    // bsNone draws no frame around the text.
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle Value);
    // The least width that shows Text whole in the edit's font and the platform's style (frame,
    // margins and cursor included), as CaptionWidth does for a captioned control.
    int32_t WidthToShow(const std::string& Text) const;

    // Fires whenever the text changes, by the user or by the program.
    TNotifyEvent OnChange;

protected:
    virtual void Change();
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;

private:
    int32_t FMaxLength = 0;
    char FPasswordChar = 0;
    bool FModified = false;
    TBorderStyle FBorderStyle = bsSingle;
};

class TMemo : public TWinControl
{
public:
    explicit TMemo(TComponent* AOwner);
    ~TMemo() override;

    // The lines of the text; changing them changes the text.
    TStrings* Lines() const;
    void SetLines(TStrings* Value);
    bool ReadOnly() const;
    void SetReadOnly(bool Value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle Value);
    void Clear() { SetText(std::string()); }

    TNotifyEvent OnChange;

    // Internal: the lines were changed by the program.
    void LinesChanged();

protected:
    virtual void Change();
    // The text with CR LF between lines.
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;

private:
    void ApplyWrapAndBars();

    std::unique_ptr<TStringList> FLines;
    bool FUpdatingLines = false;
    bool FWordWrap = true;
    TScrollStyle FScrollBars = ssNone;
};

class TButton : public TWinControl
{
public:
    explicit TButton(TComponent* AOwner);
    ~TButton() override;

    // Clicking sets the parent form's ModalResult to this value (mrNone included), then fires
    // OnClick.
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult Value) { FModalResult = Value; }
    // Enter clicks the default button of a form, Escape its cancel button.
    bool Default() const { return FDefault; }
    void SetDefault(bool Value);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool Value);

    void Click() override;

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    void ParentChanged() override;

private:
    TModalResult FModalResult = mrNone;
    bool FDefault = false;
    bool FCancel = false;
};

enum TCheckBoxState : uint8_t
{
    cbUnchecked,
    cbChecked,
    cbGrayed
};

class TCheckBox : public TWinControl
{
public:
    explicit TCheckBox(TComponent* AOwner);

    // Setting Checked or State from the program fires nothing; the user's click fires OnClick.
    bool Checked() const { return State() == cbChecked; }
    void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const;
    void SetState(TCheckBoxState Value);
    bool AllowGrayed() const;
    void SetAllowGrayed(bool Value);

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
};

enum TComboBoxStyle : uint8_t
{
    csDropDown,
    csSimple,
    csDropDownList,
    csOwnerDrawFixed,
    csOwnerDrawVariable
};

class TComboBox : public TWinControl
{
public:
    explicit TComboBox(TComponent* AOwner);
    ~TComboBox() override;

    TStrings* Items() const { return FItems.get(); }
    void SetItems(TStrings* Value);
    // -1: no item chosen. Setting it from the program fires nothing.
    int32_t ItemIndex() const;
    void SetItemIndex(int32_t Value);
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle Value);
    int32_t DropDownCount() const;
    void SetDropDownCount(int32_t Value);
    void Clear();
    // The least width that shows the widest item's text whole in the platform's style (frame,
    // margins and drop-down arrow included), as CaptionWidth does for a captioned control; 0
    // without items.
    int32_t ItemsWidth() const;

    // The user chose an item (OnClick first, then OnChange), or, in an editable box, typed.
    TNotifyEvent OnChange;

    // Internal: the user chose the item.
    void UserSelected(int32_t Index);

protected:
    virtual void Change();
    // The edited text, or in a drop-down list the chosen item's text; setting it in a drop-down
    // list chooses the first item with that text, if any.
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;

private:
    std::unique_ptr<TStrings> FItems;
    TComboBoxStyle FStyle = csDropDown;
};

enum TListBoxStyle : uint8_t
{
    lbStandard,
    lbOwnerDrawFixed,
    lbOwnerDrawVariable,
    lbVirtual,
    lbVirtualOwnerDraw
};

// State of an item that OnDrawItem draws, as bits.
using TOwnerDrawState = uint16_t;
enum : TOwnerDrawState
{
    odSelected = 1 << 0,
    odGrayed = 1 << 1,
    odDisabled = 1 << 2,
    odChecked = 1 << 3,
    odFocused = 1 << 4,
    odDefault = 1 << 5,
};

using TDrawItemEvent =
    std::function<void(TWinControl* Control, int32_t Index, TRect Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TWinControl* Control, int32_t Index, int32_t& Height)>;

// A single-selection list box drawn on its own canvas. Owner-drawn styles call OnDrawItem for
// each visible row with the row's rectangle, after setting the canvas's brush and font to the
// row's colours (highlight for the selected row); the standard style fills the row and writes
// the item's text at (left + 2, top).
class TListBox : public TCustomControl
{
public:
    explicit TListBox(TComponent* AOwner);
    ~TListBox() override;

    TStrings* Items() const;
    void SetItems(TStrings* Value);
    int32_t Count() const;
    void Clear();

    // -1: no row selected. Setting it from the program fires nothing.
    int32_t ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int32_t Value);
    bool Selected(int32_t Index) const { return Index == FItemIndex && Index >= 0; }
    // The first row shown.
    int32_t TopIndex() const { return FTopIndex; }
    void SetTopIndex(int32_t Value);

    TListBoxStyle Style() const { return FStyle; }
    void SetStyle(TListBoxStyle Value);
    // Row height of the owner-drawn fixed style; the standard style takes the font's height.
    int32_t ItemHeight() const;
    void SetItemHeight(int32_t Value);

    // The row's rectangle in client coordinates (also for rows scrolled out of view).
    TRect ItemRect(int32_t Index) const;
    // The row at the point; with Existing false, the count when below the last row, else -1.
    int32_t ItemAtPos(const TPoint& Pos, bool Existing) const;

    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    // Internal: the items changed.
    void ItemsChanged();

protected:
    void Paint() override;
    // Draws one row; the standard style's drawing, or OnDrawItem for the owner-drawn ones.
    virtual void DrawItem(int32_t Index, const TRect& Rect, TOwnerDrawState State);
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void Resize() override;
    void Dispatch(TMessage& Message) override;
    void FontChanged() override;

private:
    int32_t RowHeight(int32_t Index) const;
    int32_t VisibleRows() const;
    void UpdateScrollRange();
    void SelectByUser(int32_t Index);
    void MakeVisible(int32_t Index);
    void MeasureItems();

    std::unique_ptr<TListBoxStrings> FItems;
    std::vector<int32_t> FHeights;
    TListBoxStyle FStyle = lbStandard;
    int32_t FItemIndex = -1;
    int32_t FTopIndex = 0;
    int32_t FItemHeight = 16;
};

class TGroupBox : public TWinControl
{
public:
    explicit TGroupBox(TComponent* AOwner);

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
};
