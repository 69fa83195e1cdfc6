// The standard controls over their widgets; the list box draws itself on its front image.
#include "platform/forms/std_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QValidator>
#include <QVariant>
#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"
#include "platform/graphics/canvas.h"

using namespace FormsDetail;

namespace {

template <class W> W* NewWidget()
{
    EnsureQtApplication();
    return new W;
}

// The text a label shows for a caption with "&" marks: "&&" is one "&", a single "&" only
// underlines the next character.
QString LabelDisplayText(const std::string& caption, bool accelerators)
{
    if (!accelerators) {
        return ToQ(caption);
    }
    std::string shown;
    shown.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                shown += '&';
                ++i;
            }
            continue;
        }
        shown += caption[i];
    }
    return ToQ(shown);
}

std::string WithLineBreaks(const QString& text, const char* lineBreak)
{
    std::string result;
    const std::string plain = FromQ(text);
    for (char c : plain) {
        if (c == '\n') {
            result += lineBreak;
        } else {
            result += c;
        }
    }
    return result;
}

QString WithoutCarriageReturns(const std::string& text)
{
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                continue;
            }
            plain += '\n';
            continue;
        }
        plain += text[i];
    }
    return ToQ(plain);
}

void CheckIndex(int32_t Index, int32_t Count)
{
    if (Index < 0 || Index >= Count) {
        throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
    }
}

// The items of a combo box, kept by the widget itself.
class TComboBoxStrings : public TStrings
{
public:
    explicit TComboBoxStrings(QComboBox* Box) : FBox(Box) {}

    void Clear() override { FBox->clear(); }
    void Delete(int32_t Index) override
    {
        CheckIndex(Index, GetCount());
        FBox->removeItem(Index);
    }
    void Insert(int32_t Index, const std::string& S) override
    {
        if (Index < 0 || Index > GetCount()) {
            CheckIndex(Index, GetCount());
        }
        // The widget would choose the first item added to an empty list; the class library
        // leaves the list without a choice.
        const int before = FBox->currentIndex();
        FBox->insertItem(Index, ToQ(S));
        if (before < 0) {
            FBox->setCurrentIndex(-1);
        }
    }

protected:
    std::string Get(int32_t Index) const override
    {
        CheckIndex(Index, GetCount());
        return FromQ(FBox->itemText(Index));
    }
    void Put(int32_t Index, const std::string& S) override
    {
        CheckIndex(Index, GetCount());
        FBox->setItemText(Index, ToQ(S));
    }
    TObject* GetObject(int32_t Index) const override
    {
        CheckIndex(Index, GetCount());
        return reinterpret_cast<TObject*>(FBox->itemData(Index).value<quintptr>());
    }
    void PutObject(int32_t Index, TObject* AObject) override
    {
        CheckIndex(Index, GetCount());
        FBox->setItemData(Index, QVariant::fromValue(reinterpret_cast<quintptr>(AObject)));
    }
    int32_t GetCount() const override { return FBox->count(); }

private:
    QComboBox* FBox;
};

// MaxLength as the class library's edit has it: it limits what the user types, not the text
// the program sets (which the widget's own limit would cut).
class TLengthLimit : public QValidator
{
public:
    TLengthLimit(QLineEdit* Edit, int Limit) : QValidator(Edit), FLength(Edit->text().size()), FLimit(Limit)
    {
        // The widget validates the edited text after taking it, so the length before the edit
        // is kept here.
        connect(Edit, &QLineEdit::textChanged, this, [this](const QString& text) { FLength = text.size(); });
    }
    State validate(QString& Input, int&) const override
    {
        return (!ProgramText && Input.size() > FLength && Input.size() > FLimit) ? Invalid : Acceptable;
    }
    // Set while the program sets the text, which the limit does not hold.
    bool ProgramText = false;

private:
    qsizetype FLength;
    int FLimit;
};

} // namespace

// The items of a list box; every change reaches the list box.
class TListBoxStrings : public TStringList
{
public:
    explicit TListBoxStrings(TListBox* Owner) : FOwner(Owner) {}

protected:
    void Changed() override
    {
        TStringList::Changed();
        if (UpdateCount() == 0) {
            FOwner->ItemsChanged();
        }
    }

private:
    TListBox* FOwner;
};

namespace {

// The lines of a memo; every change made by the program reaches the memo.
class TMemoStrings : public TStringList
{
public:
    explicit TMemoStrings(TMemo* Owner) : FOwner(Owner) {}
    bool FSilent = false;

protected:
    void Changed() override
    {
        TStringList::Changed();
        if (UpdateCount() == 0 && !FSilent) {
            FOwner->LinesChanged();
        }
    }

private:
    TMemo* FOwner;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner, NewWidget<QLabel>())
{
    auto* label = static_cast<QLabel*>(FWidget);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetParentColor(true);
    SetBounds(0, 0, 65, 13);
}

TLabel::~TLabel() = default;

void TLabel::SetAutoSize(bool Value)
{
    FAutoSize = Value;
    AdjustBounds();
}

void TLabel::SetWordWrap(bool Value)
{
    FWordWrap = Value;
    static_cast<QLabel*>(FWidget)->setWordWrap(Value);
    AdjustBounds();
}

void TLabel::SetAlignment(TAlignment Value)
{
    FAlignment = Value;
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (Value == taRightJustify) {
        horizontal = Qt::AlignRight;
    } else if (Value == taCenter) {
        horizontal = Qt::AlignHCenter;
    }
    static_cast<QLabel*>(FWidget)->setAlignment(horizontal | Qt::AlignTop);
}

void TLabel::SetShowAccelChar(bool Value)
{
    FShowAccelChar = Value;
    ApplyText();
}

void TLabel::TextChanged()
{
    ApplyText();
}

void TLabel::FontChanged()
{
    TGraphicControl::FontChanged();
    AdjustBounds();
}

void TLabel::ApplyText()
{
    static_cast<QLabel*>(FWidget)->setText(LabelDisplayText(GetText(), FShowAccelChar));
    AdjustBounds();
}

void TLabel::AdjustBounds()
{
    if (!FAutoSize) {
        return;
    }
    auto* label = static_cast<QLabel*>(FWidget);
    if (FWordWrap) {
        SetBounds(Left(), Top(), Width(), std::max(label->heightForWidth(Width()), 1));
    } else {
        const QSize size = label->sizeHint();
        SetBounds(Left(), Top(), size.width(), size.height());
    }
}

// ---------------------------------------------------------------------------------------------
// TEdit

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QLineEdit>())
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    SetControlStyle(ControlStyle() & ~csClickEvents);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [this] { Guarded(this, [this] { Change(); }); });
    QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { FModified = true; });
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 21);
}

void TEdit::Change()
{
    if (OnChange) {
        OnChange(this);
    }
}

std::string TEdit::GetText() const
{
    return FromQ(static_cast<QLineEdit*>(FWidget)->text());
}

void TEdit::SetTextValue(const std::string& Value)
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    auto* limit = const_cast<TLengthLimit*>(dynamic_cast<const TLengthLimit*>(edit->validator()));
    if (limit) {
        limit->ProgramText = true;
    }
    edit->setText(ToQ(Value));
    if (limit) {
        limit->ProgramText = false;
    }
}

void TEdit::SetMaxLength(int32_t Value)
{
    FMaxLength = std::max(Value, 0);
    auto* edit = static_cast<QLineEdit*>(FWidget);
    const QValidator* previous = edit->validator();
    edit->setValidator(FMaxLength == 0 ? nullptr : new TLengthLimit(edit, FMaxLength));
    delete previous;
}

bool TEdit::ReadOnly() const
{
    return static_cast<QLineEdit*>(FWidget)->isReadOnly();
}

void TEdit::SetReadOnly(bool Value)
{
    static_cast<QLineEdit*>(FWidget)->setReadOnly(Value);
}

void TEdit::SetPasswordChar(char Value)
{
    FPasswordChar = Value;
    static_cast<QLineEdit*>(FWidget)->setEchoMode(Value ? QLineEdit::Password : QLineEdit::Normal);
}

int32_t TEdit::SelStart() const
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    return edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
}

void TEdit::SetSelStart(int32_t Value)
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    edit->deselect();
    edit->setCursorPosition(std::clamp<int32_t>(Value, 0, int32_t(edit->text().size())));
}

int32_t TEdit::SelLength() const
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    return edit->hasSelectedText() ? int32_t(edit->selectionLength()) : 0;
}

void TEdit::SetSelLength(int32_t Value)
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    const int32_t start = SelStart();
    const int32_t length = std::clamp<int32_t>(Value, 0, int32_t(edit->text().size()) - start);
    edit->setSelection(start, length);
}

std::string TEdit::SelText() const
{
    return FromQ(static_cast<QLineEdit*>(FWidget)->selectedText());
}

void TEdit::SetSelText(const std::string& Value)
{
    static_cast<QLineEdit*>(FWidget)->insert(ToQ(Value));
}

void TEdit::SelectAll()
{
    static_cast<QLineEdit*>(FWidget)->selectAll();
}

void TEdit::Undo()
{
    static_cast<QLineEdit*>(FWidget)->undo();
}

void TEdit::SetBorderStyle(TBorderStyle Value)
{
    FBorderStyle = Value == bsNone ? bsNone : bsSingle;
    static_cast<QLineEdit*>(FWidget)->setFrame(FBorderStyle != bsNone);
}

void TEdit::ClearSelection()
{
    auto* edit = static_cast<QLineEdit*>(FWidget);
    if (edit->hasSelectedText()) {
        edit->del();
    }
}

// ---------------------------------------------------------------------------------------------
// TMemo

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QPlainTextEdit>())
{
    auto* memo = static_cast<QPlainTextEdit*>(FWidget);
    FLines = std::make_unique<TMemoStrings>(this);
    SetControlStyle(ControlStyle() & ~csClickEvents);
    RouteEventsOf(memo->viewport());
    QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [this] {
        Guarded(this, [this] {
            if (!FUpdatingLines) {
                // The user edited: the lines follow the text.
                auto* lines = static_cast<TMemoStrings*>(FLines.get());
                lines->FSilent = true;
                try {
                    lines->SetText(
                        WithLineBreaks(static_cast<QPlainTextEdit*>(FWidget)->toPlainText(), "\n"));
                } catch (...) {
                    lines->FSilent = false;
                    throw;
                }
                lines->FSilent = false;
            }
            Change();
        });
    });
    ApplyWrapAndBars();
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo() = default;

TStrings* TMemo::Lines() const
{
    return FLines.get();
}

void TMemo::SetLines(TStrings* Value)
{
    FLines->Assign(Value);
}

void TMemo::LinesChanged()
{
    FUpdatingLines = true;
    std::string text;
    for (int32_t i = 0; i < FLines->Count(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += FLines->Strings(i);
    }
    try {
        static_cast<QPlainTextEdit*>(FWidget)->setPlainText(ToQ(text));
    } catch (...) {
        FUpdatingLines = false;
        throw;
    }
    FUpdatingLines = false;
}

void TMemo::Change()
{
    if (OnChange) {
        OnChange(this);
    }
}

std::string TMemo::GetText() const
{
    return WithLineBreaks(static_cast<QPlainTextEdit*>(FWidget)->toPlainText(), "\r\n");
}

void TMemo::SetTextValue(const std::string& Value)
{
    static_cast<QPlainTextEdit*>(FWidget)->setPlainText(WithoutCarriageReturns(Value));
}

bool TMemo::ReadOnly() const
{
    return static_cast<QPlainTextEdit*>(FWidget)->isReadOnly();
}

void TMemo::SetReadOnly(bool Value)
{
    static_cast<QPlainTextEdit*>(FWidget)->setReadOnly(Value);
}

void TMemo::SetWordWrap(bool Value)
{
    FWordWrap = Value;
    ApplyWrapAndBars();
}

void TMemo::SetScrollBars(TScrollStyle Value)
{
    FScrollBars = Value;
    ApplyWrapAndBars();
}

void TMemo::ApplyWrapAndBars()
{
    auto* memo = static_cast<QPlainTextEdit*>(FWidget);
    // A horizontal scroll bar turns word wrapping off, as in the class library's memo.
    const bool wrap = FWordWrap && FScrollBars != ssHorizontal && FScrollBars != ssBoth;
    memo->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    const bool vertical = FScrollBars == ssVertical || FScrollBars == ssBoth;
    const bool horizontal = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
    memo->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

// ---------------------------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QPushButton>())
{
    auto* button = static_cast<QPushButton*>(FWidget);
    button->setAutoDefault(false);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    QObject::connect(button, &QPushButton::clicked, button, [this] { Guarded(this, [this] { Click(); }); });
    SetTabStop(true);
    SetBounds(0, 0, 75, 25);
}

TButton::~TButton()
{
    if (TForm* form = ParentForm()) {
        form->SetDefaultButton(this, false);
        form->SetCancelButton(this, false);
    }
}

void TButton::Click()
{
    if (TForm* form = ParentForm()) {
        form->SetModalResult(FModalResult);
    }
    TWinControl::Click();
}

std::string TButton::GetText() const
{
    return FromQ(static_cast<QPushButton*>(FWidget)->text());
}

void TButton::SetTextValue(const std::string& Value)
{
    static_cast<QPushButton*>(FWidget)->setText(ToQ(Value));
}

void TButton::SetDefault(bool Value)
{
    FDefault = Value;
    static_cast<QPushButton*>(FWidget)->setDefault(Value);
    if (TForm* form = ParentForm()) {
        form->SetDefaultButton(this, Value);
    }
}

void TButton::SetCancel(bool Value)
{
    FCancel = Value;
    if (TForm* form = ParentForm()) {
        form->SetCancelButton(this, Value);
    }
}

void TButton::ParentChanged()
{
    TWinControl::ParentChanged();
    if (TForm* form = ParentForm()) {
        if (FDefault) {
            form->SetDefaultButton(this, true);
        }
        if (FCancel) {
            form->SetCancelButton(this, true);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QCheckBox>())
{
    auto* box = static_cast<QCheckBox*>(FWidget);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    // clicked comes from the user only (mouse or Space), never from setting the state.
    QObject::connect(box, &QCheckBox::clicked, box, [this] { Guarded(this, [this] { Click(); }); });
    SetTabStop(true);
    SetBounds(0, 0, 97, 17);
}

TCheckBoxState TCheckBox::State() const
{
    switch (static_cast<QCheckBox*>(FWidget)->checkState()) {
    case Qt::Checked:
        return cbChecked;
    case Qt::PartiallyChecked:
        return cbGrayed;
    default:
        return cbUnchecked;
    }
}

void TCheckBox::SetState(TCheckBoxState Value)
{
    auto* box = static_cast<QCheckBox*>(FWidget);
    if (Value == cbGrayed) {
        box->setTristate(true);
    }
    box->setCheckState(Value == cbChecked  ? Qt::Checked
                       : Value == cbGrayed ? Qt::PartiallyChecked
                                           : Qt::Unchecked);
}

bool TCheckBox::AllowGrayed() const
{
    return static_cast<QCheckBox*>(FWidget)->isTristate();
}

void TCheckBox::SetAllowGrayed(bool Value)
{
    static_cast<QCheckBox*>(FWidget)->setTristate(Value);
}

std::string TCheckBox::GetText() const
{
    return FromQ(static_cast<QCheckBox*>(FWidget)->text());
}

void TCheckBox::SetTextValue(const std::string& Value)
{
    static_cast<QCheckBox*>(FWidget)->setText(ToQ(Value));
}

// ---------------------------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QComboBox>())
{
    auto* box = static_cast<QComboBox*>(FWidget);
    FItems = std::make_unique<TComboBoxStrings>(box);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    // activated comes from the user's choice only, never from setting the index.
    QObject::connect(box, &QComboBox::activated, box,
                     [this](int index) { Guarded(this, [this, index] { UserSelected(index); }); });
    SetStyle(csDropDown);
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox() = default;

void TComboBox::SetItems(TStrings* Value)
{
    FItems->Assign(Value);
}

int32_t TComboBox::ItemIndex() const
{
    return static_cast<QComboBox*>(FWidget)->currentIndex();
}

void TComboBox::SetItemIndex(int32_t Value)
{
    auto* box = static_cast<QComboBox*>(FWidget);
    if (Value < -1 || Value >= box->count()) {
        Value = -1;
    }
    box->setCurrentIndex(Value);
}

void TComboBox::SetStyle(TComboBoxStyle Value)
{
    FStyle = Value;
    auto* box = static_cast<QComboBox*>(FWidget);
    const bool editable = Value == csDropDown || Value == csSimple;
    if (box->isEditable() == editable) {
        return;
    }
    box->setEditable(editable);
    if (editable) {
        QLineEdit* edit = box->lineEdit();
        RouteEventsOf(edit);
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { Guarded(this, [this] { Change(); }); });
    }
}

int32_t TComboBox::DropDownCount() const
{
    return static_cast<QComboBox*>(FWidget)->maxVisibleItems();
}

void TComboBox::SetDropDownCount(int32_t Value)
{
    static_cast<QComboBox*>(FWidget)->setMaxVisibleItems(std::max(Value, 1));
}

void TComboBox::Clear()
{
    FItems->Clear();
    if (auto* edit = static_cast<QComboBox*>(FWidget)->lineEdit()) {
        edit->clear();
    }
}

void TComboBox::UserSelected(int32_t Index)
{
    (void)Index;
    Click();
    Change();
}

void TComboBox::Change()
{
    if (OnChange) {
        OnChange(this);
    }
}

std::string TComboBox::GetText() const
{
    auto* box = static_cast<QComboBox*>(FWidget);
    if (box->isEditable()) {
        return FromQ(box->currentText());
    }
    return box->currentIndex() >= 0 ? FromQ(box->itemText(box->currentIndex())) : std::string();
}

void TComboBox::SetTextValue(const std::string& Value)
{
    auto* box = static_cast<QComboBox*>(FWidget);
    if (box->isEditable()) {
        box->setEditText(ToQ(Value));
        return;
    }
    const int32_t index = FItems->IndexOf(Value);
    if (index >= 0) {
        box->setCurrentIndex(index);
    }
}

// ---------------------------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TComponent* AOwner) : TCustomControl(AOwner)
{
    FItems = std::make_unique<TListBoxStrings>(this);
    SetControlStyle((ControlStyle() & ~csClickEvents) | csDoubleClicks);
    SetBorderStyle(bsSingle);
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 97);
}

TListBox::~TListBox() = default;

TStrings* TListBox::Items() const
{
    return FItems.get();
}

void TListBox::SetItems(TStrings* Value)
{
    FItems->Assign(Value);
}

int32_t TListBox::Count() const
{
    return FItems->Count();
}

void TListBox::Clear()
{
    FItems->Clear();
}

void TListBox::ItemsChanged()
{
    if (FItemIndex >= Count()) {
        FItemIndex = -1;
    }
    MeasureItems();
    UpdateScrollRange();
    Invalidate();
}

void TListBox::MeasureItems()
{
    FHeights.assign(static_cast<size_t>(Count()), FItemHeight);
    if (FStyle != lbOwnerDrawVariable) {
        return;
    }
    for (int32_t i = 0; i < Count(); ++i) {
        int32_t height = FItemHeight;
        if (OnMeasureItem) {
            OnMeasureItem(this, i, height);
        }
        FHeights[static_cast<size_t>(i)] = std::max(height, 1);
    }
}

int32_t TListBox::ItemHeight() const
{
    if (FStyle == lbStandard) {
        Canvas()->SetFont(Font());
        return std::max(Canvas()->TextHeight("Wg"), 1);
    }
    return FItemHeight;
}

void TListBox::SetItemHeight(int32_t Value)
{
    if (Value < 1 || Value == FItemHeight) {
        return;
    }
    FItemHeight = Value;
    ItemsChanged();
}

void TListBox::SetStyle(TListBoxStyle Value)
{
    if (FStyle == Value) {
        return;
    }
    FStyle = Value;
    ItemsChanged();
}

int32_t TListBox::RowHeight(int32_t Index) const
{
    if (FStyle == lbOwnerDrawVariable && Index >= 0 && Index < static_cast<int32_t>(FHeights.size())) {
        return FHeights[static_cast<size_t>(Index)];
    }
    return ItemHeight();
}

TRect TListBox::ItemRect(int32_t Index) const
{
    int32_t top = 0;
    if (Index >= FTopIndex) {
        for (int32_t i = FTopIndex; i < Index; ++i) {
            top += RowHeight(i);
        }
    } else {
        for (int32_t i = Index; i < FTopIndex; ++i) {
            top -= RowHeight(i);
        }
    }
    return TRect{0, top, ClientWidth(), top + RowHeight(Index)};
}

int32_t TListBox::ItemAtPos(const TPoint& Pos, bool Existing) const
{
    if (Pos.X < 0 || Pos.X >= ClientWidth() || Pos.Y < 0) {
        return -1;
    }
    int32_t top = 0;
    for (int32_t i = FTopIndex; i < Count(); ++i) {
        const int32_t height = RowHeight(i);
        if (Pos.Y < top + height) {
            return i;
        }
        top += height;
    }
    return Existing ? -1 : Count();
}

int32_t TListBox::VisibleRows() const
{
    int32_t rows = 0;
    int32_t top = 0;
    for (int32_t i = FTopIndex; i < Count(); ++i) {
        top += RowHeight(i);
        if (top > ClientHeight()) {
            break;
        }
        ++rows;
    }
    if (FStyle != lbOwnerDrawVariable) {
        rows = std::max(ClientHeight() / std::max(ItemHeight(), 1), 0);
    }
    return std::max(rows, 1);
}

void TListBox::UpdateScrollRange()
{
    const int32_t visible = VisibleRows();
    if (Count() > visible) {
        TScrollInfo info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMin = 0;
        info.nMax = Count() - 1;
        info.nPage = static_cast<uint32_t>(visible);
        info.nPos = FTopIndex;
        SetScrollInfo(SB_VERT, info, true);
    } else {
        FTopIndex = 0;
        ShowScrollBar(SB_VERT, false);
    }
}

void TListBox::SetTopIndex(int32_t Value)
{
    const int32_t last = std::max(Count() - VisibleRows(), 0);
    Value = std::clamp(Value, 0, last);
    if (Value == FTopIndex) {
        return;
    }
    FTopIndex = Value;
    SetScrollPos(SB_VERT, FTopIndex, true);
    Invalidate();
}

void TListBox::SetItemIndex(int32_t Value)
{
    if (Value < -1 || Value >= Count()) {
        Value = -1;
    }
    if (Value == FItemIndex) {
        return;
    }
    const int32_t previous = FItemIndex;
    FItemIndex = Value;
    for (int32_t index : {previous, Value}) {
        if (index >= 0) {
            const TRect rect = ItemRect(index);
            InvalidateRect(&rect, false);
        }
    }
    MakeVisible(Value);
}

void TListBox::MakeVisible(int32_t Index)
{
    if (Index < 0) {
        return;
    }
    if (Index < FTopIndex) {
        SetTopIndex(Index);
    } else if (Index >= FTopIndex + VisibleRows()) {
        SetTopIndex(Index - VisibleRows() + 1);
    }
}

void TListBox::SelectByUser(int32_t Index)
{
    if (Index < 0 || Index >= Count() || Index == FItemIndex) {
        return;
    }
    SetItemIndex(Index);
    Click();
}

void TListBox::Paint()
{
    TCanvas* canvas = Canvas();
    const TRect clip = canvas->ClipRect();
    int32_t top = 0;
    for (int32_t i = FTopIndex; i < Count() && top < ClientHeight(); ++i) {
        const TRect rect{0, top, ClientWidth(), top + RowHeight(i)};
        top = rect.Bottom;
        if (rect.Bottom <= clip.Top || rect.Top >= clip.Bottom) {
            continue;
        }
        TOwnerDrawState state = 0;
        if (i == FItemIndex) {
            state |= odSelected;
            if (Focused()) {
                state |= odFocused;
            }
        }
        if (!Enabled()) {
            state |= odDisabled;
        }
        canvas->SetFont(Font());
        canvas->Brush()->SetStyle(bsSolid);
        if (state & odSelected) {
            canvas->Brush()->SetColor(clHighlight);
            canvas->Font()->SetColor(clHighlightText);
        } else {
            canvas->Brush()->SetColor(Color());
        }
        DrawItem(i, rect, state);
    }
}

void TListBox::DrawItem(int32_t Index, const TRect& Rect, TOwnerDrawState State)
{
    if (FStyle != lbStandard && OnDrawItem) {
        OnDrawItem(this, Index, Rect, State);
        return;
    }
    Canvas()->FillRect(Rect);
    if (Index < Count()) {
        Canvas()->TextOut(Rect.Left + 2, Rect.Top, FItems->Strings(Index));
    }
}

void TListBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (CanFocus() && !Focused()) {
        SetFocus();
    }
    if (Button == mbLeft) {
        SelectByUser(ItemAtPos(TPoint{X, Y}, true));
    }
}

void TListBox::KeyDown(uint16_t& Key, TShiftState Shift)
{
    TCustomControl::KeyDown(Key, Shift);
    if (Count() == 0) {
        return;
    }
    int32_t target = FItemIndex;
    switch (Key) {
    case VK_UP:
        target = std::max(FItemIndex - 1, 0);
        break;
    case VK_DOWN:
        target = std::min(FItemIndex + 1, Count() - 1);
        break;
    case VK_HOME:
        target = 0;
        break;
    case VK_END:
        target = Count() - 1;
        break;
    case VK_PRIOR:
        target = std::max(FItemIndex - VisibleRows(), 0);
        break;
    case VK_NEXT:
        target = std::min(std::max(FItemIndex, 0) + VisibleRows(), Count() - 1);
        break;
    default:
        return;
    }
    SelectByUser(target);
    Key = 0;
}

void TListBox::Resize()
{
    TCustomControl::Resize();
    UpdateScrollRange();
}

void TListBox::FontChanged()
{
    TCustomControl::FontChanged();
    ItemsChanged();
}

void TListBox::Dispatch(TMessage& Message)
{
    if (Message.Msg != WM_VSCROLL) {
        TCustomControl::Dispatch(Message);
        return;
    }
    const int32_t page = VisibleRows();
    switch (LOWORD(Message.WParam)) {
    case SB_LINEUP:
        SetTopIndex(FTopIndex - 1);
        break;
    case SB_LINEDOWN:
        SetTopIndex(FTopIndex + 1);
        break;
    case SB_PAGEUP:
        SetTopIndex(FTopIndex - page);
        break;
    case SB_PAGEDOWN:
        SetTopIndex(FTopIndex + page);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        SetTopIndex(HIWORD(Message.WParam));
        break;
    case SB_TOP:
        SetTopIndex(0);
        break;
    case SB_BOTTOM:
        SetTopIndex(Count());
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QGroupBox>())
{
    // The caption sits on the frame's top line, as the windows were laid out for, rather than
    // above a frame pushed down into the area the children were placed in.
    FWidget->setStyleSheet("QGroupBox { border: 1px solid palette(mid); margin-top: 7px; }"
                           "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
    SetControlStyle(ControlStyle() | csAcceptsControls);
    SetBounds(0, 0, 185, 105);
}

std::string TGroupBox::GetText() const
{
    return FromQ(static_cast<QGroupBox*>(FWidget)->title());
}

void TGroupBox::SetTextValue(const std::string& Value)
{
    static_cast<QGroupBox*>(FWidget)->setTitle(ToQ(Value));
}
