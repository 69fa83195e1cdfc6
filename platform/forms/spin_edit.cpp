// TCSpinEdit: a line edit with two arrow buttons beside it.
#include "platform/forms/spin_edit.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>
#include <limits>

#include "platform/forms/detail/qt_bridge.h"

using namespace FormsDetail;

namespace {

constexpr int kButtonWidth = 15;

// The text as a whole number as the class library's StrToInt reads it: optional blanks, an
// optional sign and decimal digits, nothing after them, within 32 bits.
bool ParseWholeNumber(const std::string& text, int32_t& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t(std::numeric_limits<int32_t>::max()) + 1) {
            return false;
        }
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int32_t>::max() || result < std::numeric_limits<int32_t>::min()) {
        return false;
    }
    value = static_cast<int32_t>(result);
    return true;
}

QToolButton* NewArrow(QWidget* parent, Qt::ArrowType arrow, const char* name)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    return button;
}

} // namespace

TCSpinEdit::TCSpinEdit(TComponent* AOwner) : TWinControl(AOwner, (EnsureQtApplication(), new QWidget))
{
    FEdit = new QLineEdit(FWidget);
    FUpButton = NewArrow(FWidget, Qt::UpArrow, "up");
    FDownButton = NewArrow(FWidget, Qt::DownArrow, "down");
    FWidget->setFocusProxy(FEdit);
    RouteEventsOf(FEdit);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    QObject::connect(FEdit, &QLineEdit::textChanged, FEdit, [this] { Guarded(this, [this] { Change(); }); });
    QObject::connect(static_cast<QToolButton*>(FUpButton), &QToolButton::clicked, FUpButton,
                     [this] { Guarded(this, [this] { UpClick(); }); });
    QObject::connect(static_cast<QToolButton*>(FDownButton), &QToolButton::clicked, FDownButton,
                     [this] { Guarded(this, [this] { DownClick(); }); });
    FEdit->setText("0");
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 22);
}

void TCSpinEdit::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    LayoutButtons();
}

void TCSpinEdit::LayoutButtons()
{
    const int width = FWidget->width();
    const int height = FWidget->height();
    const int editWidth = std::max(width - kButtonWidth, 0);
    FEdit->setGeometry(0, 0, editWidth, height);
    FUpButton->setGeometry(editWidth, 0, kButtonWidth, height / 2);
    FDownButton->setGeometry(editWidth, height / 2, kButtonWidth, height - height / 2);
}

int32_t TCSpinEdit::CheckValue(int32_t NewValue) const
{
    if (FMaxValue != FMinValue) {
        return std::clamp(NewValue, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
    }
    return NewValue;
}

int32_t TCSpinEdit::Value()
{
    int32_t value = 0;
    if (ParseWholeNumber(GetText(), value)) {
        return value;
    }
    // Not a whole number (an emptied field, say): the minimum, shown in the field as well.
    SetText(std::to_string(FMinValue));
    return FMinValue;
}

void TCSpinEdit::SetValue(int32_t NewValue)
{
    SetText(std::to_string(CheckValue(NewValue)));
}

void TCSpinEdit::SetMinValue(int32_t Value)
{
    FMinValue = Value;
}

void TCSpinEdit::SetMaxValue(int32_t Value)
{
    FMaxValue = Value;
}

void TCSpinEdit::SetEditorEnabled(bool Value)
{
    FEditorEnabled = Value;
}

bool TCSpinEdit::ReadOnly() const
{
    return FEdit->isReadOnly();
}

void TCSpinEdit::SetReadOnly(bool Value)
{
    FEdit->setReadOnly(Value);
}

int32_t TCSpinEdit::SelStart() const
{
    return FEdit->hasSelectedText() ? FEdit->selectionStart() : FEdit->cursorPosition();
}

int32_t TCSpinEdit::SelLength() const
{
    return FEdit->hasSelectedText() ? int32_t(FEdit->selectionLength()) : 0;
}

void TCSpinEdit::SelectAll()
{
    FEdit->selectAll();
}

std::string TCSpinEdit::GetText() const
{
    return FromQ(FEdit->text());
}

void TCSpinEdit::SetTextValue(const std::string& Value)
{
    FEdit->setText(ToQ(Value));
}

void TCSpinEdit::Change()
{
    if (OnChange) {
        OnChange(this);
    }
}

void TCSpinEdit::UpClick()
{
    if (!ReadOnly()) {
        SetValue(Value() + FIncrement);
    }
}

void TCSpinEdit::DownClick()
{
    if (!ReadOnly()) {
        SetValue(Value() - FIncrement);
    }
}

void TCSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift)
{
    if (Key == VK_UP) {
        UpClick();
    } else if (Key == VK_DOWN) {
        DownClick();
    }
    TWinControl::KeyDown(Key, Shift);
}

void TCSpinEdit::KeyPress(char& Key)
{
    // Only signs, digits and the decimal point get into the field; control keys other than
    // Enter pass, and nothing is typed while the editor is disabled.
    const bool control = static_cast<unsigned char>(Key) < 32 && Key != '\r';
    const bool allowed =
        control || (FEditorEnabled && (Key == '.' || Key == '+' || Key == '-' || (Key >= '0' && Key <= '9')));
    if (!allowed) {
        Key = 0;
        return;
    }
    TWinControl::KeyPress(Key);
}

void TCSpinEdit::DoExit()
{
    Exited();
    TWinControl::DoExit();
}

void TCSpinEdit::Exited()
{
    const int32_t value = Value();
    if (CheckValue(value) != value) {
        SetValue(value);
    }
}
