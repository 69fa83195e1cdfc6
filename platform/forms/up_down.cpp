// The up-down: two arrow buttons, and the stepping of the number in its associate.
#include "platform/forms/up_down.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>
#include <limits>

#include "platform/forms/detail/qt_bridge.h"

using namespace FormsDetail;

namespace {

constexpr int kDefaultWidth = 16;
constexpr int kDefaultHeight = 24;

// A whole number as the associate shows it: blanks around it, an optional sign, digits with
// optional thousands separators, within 32 bits.
bool ParseAssociateNumber(const std::string& text, int32_t& value)
{
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) {
        return false;
    }
    bool negative = false;
    if (text[begin] == '+' || text[begin] == '-') {
        negative = text[begin] == '-';
        ++begin;
    }
    int64_t magnitude = 0;
    bool digits = false;
    for (size_t i = begin; i <= end && i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == ',' && digits) {
            continue;
        }
        if (ch < '0' || ch > '9') {
            return false;
        }
        digits = true;
        magnitude = magnitude * 10 + (ch - '0');
        if (magnitude > int64_t(std::numeric_limits<int32_t>::max()) + 1) {
            return false;
        }
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (!digits || result > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = static_cast<int32_t>(result);
    return true;
}

std::string FormatNumber(int32_t value, bool thousands)
{
    const std::string digits = std::to_string(value);
    if (!thousands) {
        return digits;
    }
    const size_t first = value < 0 ? 1 : 0;
    std::string result = digits.substr(0, first);
    for (size_t i = first; i < digits.size(); ++i) {
        if (i > first && (digits.size() - i) % 3 == 0) {
            result += ',';
        }
        result += digits[i];
    }
    return result;
}

// Sends the associate's Up and Down keys to the up-down before the edit sees them.
class TArrowKeyFilter : public QObject
{
public:
    explicit TArrowKeyFilter(TUpDown* UpDown) : FUpDown(UpDown) {}

    bool eventFilter(QObject*, QEvent* Event) override
    {
        if (Event->type() != QEvent::KeyPress) {
            return false;
        }
        const int key = static_cast<QKeyEvent*>(Event)->key();
        bool taken = false;
        Guarded(FUpDown, [&] { taken = FUpDown->AssociateKey(key); });
        return taken;
    }

private:
    TUpDown* FUpDown;
};

QToolButton* NewArrow(QWidget* parent, const char* name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    return button;
}

} // namespace

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner, (EnsureQtApplication(), new QWidget))
{
    auto* next = NewArrow(FWidget, "next");
    auto* prev = NewArrow(FWidget, "prev");
    FNextButton = next;
    FPrevButton = prev;
    FKeyFilter = new TArrowKeyFilter(this);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    QObject::connect(next, &QToolButton::clicked, next, [this] { Guarded(this, [this] { Click(btNext); }); });
    QObject::connect(prev, &QToolButton::clicked, prev, [this] { Guarded(this, [this] { Click(btPrev); }); });
    SetOrientation(udVertical);
    SetBounds(0, 0, kDefaultWidth, kDefaultHeight);
}

TUpDown::~TUpDown()
{
    ReleaseAssociate();
    delete FKeyFilter;
}

void TUpDown::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    LayoutButtons();
}

void TUpDown::LayoutButtons()
{
    const int width = FWidget->width();
    const int height = FWidget->height();
    if (FOrientation == udVertical) {
        FNextButton->setGeometry(0, 0, width, height / 2);
        FPrevButton->setGeometry(0, height / 2, width, height - height / 2);
    } else {
        FPrevButton->setGeometry(0, 0, width / 2, height);
        FNextButton->setGeometry(width / 2, 0, width - width / 2, height);
    }
}

void TUpDown::SetOrientation(TUDOrientation Value)
{
    FOrientation = Value;
    static_cast<QToolButton*>(FNextButton)->setArrowType(Value == udVertical ? Qt::UpArrow : Qt::RightArrow);
    static_cast<QToolButton*>(FPrevButton)->setArrowType(Value == udVertical ? Qt::DownArrow : Qt::LeftArrow);
    LayoutButtons();
}

void TUpDown::SetMin(int32_t Value)
{
    FMin = Value;
    SetPosition(FPosition);
}

void TUpDown::SetMax(int32_t Value)
{
    FMax = Value;
    SetPosition(FPosition);
}

void TUpDown::SetPosition(int32_t Value)
{
    FPosition = std::clamp(Value, std::min(FMin, FMax), std::max(FMin, FMax));
    WriteAssociate();
}

void TUpDown::SetThousands(bool Value)
{
    FThousands = Value;
    WriteAssociate();
}

void TUpDown::SetAlignButton(TUDAlignButton Value)
{
    if (Value == FAlignButton) {
        return;
    }
    FAlignButton = Value;
    if (FAssociate) {
        // The edit gets its room back first, then gives it on the other side.
        const int32_t left = std::min(FAssociate->Left(), Left());
        FAssociate->SetBounds(left, FAssociate->Top(), FAssociate->Width() + Width(), FAssociate->Height());
        PlaceBesideAssociate();
    }
}

void TUpDown::SetAssociate(TWinControl* Value)
{
    if (Value == FAssociate) {
        return;
    }
    if (Value == this) {
        return;
    }
    ReleaseAssociate();
    FAssociate = Value;
    if (!Value) {
        return;
    }
    Value->FreeNotification(this);
    QWidget* target = Value->Widget()->focusProxy() ? Value->Widget()->focusProxy() : Value->Widget();
    target->installEventFilter(FKeyFilter);
    if (Value->Parent() && Value->Parent() != Parent()) {
        SetParent(Value->Parent());
    }
    PlaceBesideAssociate();
    WriteAssociate();
}

void TUpDown::ReleaseAssociate()
{
    if (!FAssociate) {
        return;
    }
    QWidget* target =
        FAssociate->Widget()->focusProxy() ? FAssociate->Widget()->focusProxy() : FAssociate->Widget();
    target->removeEventFilter(FKeyFilter);
    FAssociate->RemoveFreeNotification(this);
    FAssociate = nullptr;
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation)
{
    TWinControl::Notification(AComponent, Operation);
    // The associate's widget goes with it, and its event filters with that.
    if (Operation == opRemove && AComponent == FAssociate) {
        FAssociate = nullptr;
    }
}

void TUpDown::PlaceBesideAssociate()
{
    if (!FAssociate) {
        return;
    }
    // The up-down takes its room out of the edit, as the class library's does.
    const int32_t width = Width();
    const int32_t editWidth = std::max(FAssociate->Width() - width, 0);
    if (FAlignButton == udRight) {
        FAssociate->SetWidth(editWidth);
        SetBounds(FAssociate->Left() + editWidth, FAssociate->Top(), width, FAssociate->Height());
    } else {
        SetBounds(FAssociate->Left(), FAssociate->Top(), width, FAssociate->Height());
        FAssociate->SetBounds(FAssociate->Left() + width, FAssociate->Top(), editWidth, FAssociate->Height());
    }
}

void TUpDown::WriteAssociate()
{
    if (FAssociate) {
        const std::string text = FormatNumber(FPosition, FThousands);
        if (FAssociate->Text() != text) {
            FAssociate->SetText(text);
        }
    }
}

bool TUpDown::CanChange(int32_t NewValue, TUpDownDirection Direction)
{
    bool allow = true;
    if (OnChanging) {
        OnChanging(this, allow);
    }
    if (allow && OnChangingEx) {
        OnChangingEx(this, allow, NewValue, Direction);
    }
    return allow;
}

void TUpDown::Click(TUDBtnType Button)
{
    if (!Enabled()) {
        return;
    }
    const int32_t low = std::min(FMin, FMax);
    const int32_t high = std::max(FMin, FMax);
    int32_t current = FPosition;
    int32_t typed = 0;
    if (FAssociate && ParseAssociateNumber(FAssociate->Text(), typed)) {
        current = std::clamp(typed, low, high);
    }
    int64_t next = int64_t(current) + (Button == btNext ? int64_t(FIncrement) : -int64_t(FIncrement));
    if (next > high) {
        next = FWrap ? low : high;
    } else if (next < low) {
        next = FWrap ? high : low;
    }
    if (!CanChange(static_cast<int32_t>(next), Button == btNext ? updUp : updDown)) {
        return;
    }
    FPosition = static_cast<int32_t>(next);
    WriteAssociate();
    if (OnClick) {
        OnClick(this, Button);
    }
}

bool TUpDown::AssociateKey(int QtKey)
{
    if (!FArrowKeys || (QtKey != Qt::Key_Up && QtKey != Qt::Key_Down)) {
        return false;
    }
    Click(QtKey == Qt::Key_Up ? btNext : btPrev);
    return true;
}
