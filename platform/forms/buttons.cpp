// Bitmap buttons and speed buttons over the platform's push and tool buttons.
#include "platform/forms/buttons.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"
#include "platform/graphics/bitmap.h"

using namespace FormsDetail;

namespace FormsDetail {

QImage ImageOf(const TBitmap& Bitmap)
{
    if (Bitmap.Empty()) {
        return QImage();
    }
    TBitmap copy;
    copy.Assign(const_cast<TBitmap*>(&Bitmap));
    copy.SetPixelFormat(pf24bit);
    QImage image(copy.Width(), copy.Height(), QImage::Format_RGB888);
    for (int32_t y = 0; y < copy.Height(); ++y) {
        const uint8_t* source = copy.ScanLine(y);
        uint8_t* target = image.scanLine(y);
        for (int32_t x = 0; x < copy.Width(); ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return image;
}

QImage GlyphImage(const TBitmap& Glyph, int32_t NumGlyphs)
{
    QImage image = ImageOf(Glyph);
    if (image.isNull()) {
        return image;
    }
    const int width = std::max(image.width() / std::max(NumGlyphs, 1), 1);
    image = image.copy(0, 0, width, image.height()).convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] == transparent) {
                row[x] = qRgba(0, 0, 0, 0);
            }
        }
    }
    return image;
}

} // namespace FormsDetail

namespace {

QIcon IconOf(const TBitmap& Glyph, int32_t NumGlyphs)
{
    const QImage image = GlyphImage(Glyph, NumGlyphs);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TBitBtn

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner)
{
    FGlyph = std::make_unique<TBitmap>();
    FGlyph->OnChange = [this](TObject*) { GlyphChanged(); };
}

TBitBtn::~TBitBtn() = default;

void TBitBtn::SetKind(TBitBtnKind Value)
{
    FKind = Value;
    struct TKindText
    {
        const char* Caption;
        TModalResult Result;
        bool Default;
        bool Cancel;
    };
    static const TKindText kinds[] = {
        {"", mrNone, false, false},        {"OK", mrOk, true, false},
        {"Cancel", mrCancel, false, true}, {"&Help", mrNone, false, false},
        {"&Yes", mrYes, true, false},      {"&No", mrNo, false, true},
        {"&Close", mrNone, false, false},  {"Abort", mrAbort, false, true},
        {"&Retry", mrRetry, false, false}, {"&Ignore", mrIgnore, false, false},
        {"&All", mrAll, true, false},
    };
    if (Value == bkCustom) {
        return;
    }
    const TKindText& kind = kinds[Value];
    SetCaption(kind.Caption);
    SetModalResult(kind.Result);
    SetDefault(kind.Default);
    SetCancel(kind.Cancel);
}

void TBitBtn::SetGlyph(TBitmap* Value)
{
    FGlyph->Assign(Value);
    GlyphChanged();
}

void TBitBtn::SetNumGlyphs(int32_t Value)
{
    FNumGlyphs = std::clamp(Value, 1, 4);
    GlyphChanged();
}

void TBitBtn::SetLayout(TButtonLayout Value)
{
    FLayout = Value;
    static_cast<QPushButton*>(FWidget)->setLayoutDirection(Value == blGlyphRight ? Qt::RightToLeft
                                                                                 : Qt::LeftToRight);
}

void TBitBtn::GlyphChanged()
{
    auto* button = static_cast<QPushButton*>(FWidget);
    button->setIcon(IconOf(*FGlyph, FNumGlyphs));
    if (!FGlyph->Empty()) {
        button->setIconSize(QSize(FGlyph->Width() / FNumGlyphs, FGlyph->Height()));
    }
}

void TBitBtn::Click()
{
    if (FKind == bkClose) {
        if (TForm* form = ParentForm()) {
            form->Close();
            return;
        }
    }
    TButton::Click();
}

// ---------------------------------------------------------------------------------------------
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner)
    : TGraphicControl(AOwner, (EnsureQtApplication(), new QToolButton))
{
    auto* button = static_cast<QToolButton*>(FWidget);
    // A click leaves the focus where it was; the Tab key reaches the button all the same, so
    // that the keyboard can press it.
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FGlyph = std::make_unique<TBitmap>();
    FGlyph->OnChange = [this](TObject*) { GlyphChanged(); };
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    QObject::connect(button, &QToolButton::clicked, button,
                     [this] { Guarded(this, [this] { UserClicked(); }); });
    SetBounds(0, 0, 23, 22);
}

TSpeedButton::~TSpeedButton() = default;

std::string TSpeedButton::GetText() const
{
    return FromQ(static_cast<QToolButton*>(FWidget)->text());
}

void TSpeedButton::SetTextValue(const std::string& Value)
{
    static_cast<QToolButton*>(FWidget)->setText(ToQ(Value));
    GlyphChanged();
}

void TSpeedButton::SetFlat(bool Value)
{
    FFlat = Value;
    static_cast<QToolButton*>(FWidget)->setAutoRaise(Value);
}

void TSpeedButton::SetGlyph(TBitmap* Value)
{
    FGlyph->Assign(Value);
    GlyphChanged();
}

void TSpeedButton::SetNumGlyphs(int32_t Value)
{
    FNumGlyphs = std::clamp(Value, 1, 4);
    GlyphChanged();
}

void TSpeedButton::SetLayout(TButtonLayout Value)
{
    FLayout = Value;
    GlyphChanged();
}

void TSpeedButton::GlyphChanged()
{
    auto* button = static_cast<QToolButton*>(FWidget);
    button->setIcon(IconOf(*FGlyph, FNumGlyphs));
    if (!FGlyph->Empty()) {
        button->setIconSize(QSize(FGlyph->Width() / FNumGlyphs, FGlyph->Height()));
    }
    const bool hasText = !button->text().isEmpty();
    if (FGlyph->Empty()) {
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    } else if (!hasText) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    } else {
        button->setToolButtonStyle(FLayout == blGlyphTop || FLayout == blGlyphBottom
                                       ? Qt::ToolButtonTextUnderIcon
                                       : Qt::ToolButtonTextBesideIcon);
    }
}

void TSpeedButton::SetGroupIndex(int32_t Value)
{
    FGroupIndex = Value;
    if (Value == 0) {
        FDown = false;
    }
    ApplyDown();
}

void TSpeedButton::SetAllowAllUp(bool Value)
{
    FAllowAllUp = Value;
}

void TSpeedButton::SetDown(bool Value)
{
    if (FGroupIndex == 0) {
        Value = false;
    }
    if (Value == FDown) {
        return;
    }
    // The only button down in its group stays down unless the group allows all up.
    if (FDown && !FAllowAllUp) {
        return;
    }
    FDown = Value;
    if (Value && Parent()) {
        for (int32_t i = 0; i < Parent()->ControlCount(); ++i) {
            auto* other = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
            if (other && other != this && other->FGroupIndex == FGroupIndex && other->FDown) {
                other->FDown = false;
                other->ApplyDown();
            }
        }
    }
    ApplyDown();
}

void TSpeedButton::ApplyDown()
{
    auto* button = static_cast<QToolButton*>(FWidget);
    button->setCheckable(FGroupIndex != 0);
    button->setChecked(FDown);
}

void TSpeedButton::UserClicked()
{
    if (FGroupIndex != 0) {
        if (!FDown) {
            SetDown(true);
        } else if (FAllowAllUp) {
            SetDown(false);
        }
        ApplyDown();
    }
    Click();
}

void TSpeedButton::Click()
{
    TGraphicControl::Click();
}
