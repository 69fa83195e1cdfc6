// TControl::CaptionWidth, TControl::CaptionHeight, TEdit::WidthToShow and TComboBox::ItemsWidth: how
// wide and how high a captioned control, an edit or a combo box must be to show its whole text,
// measured in the style that draws it, so that forms can size their controls to translated texts and
// to fonts.
#include "platform/forms/controls.h"
#include "platform/forms/std_controls.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QStyleOptionToolButton>
#include <QToolButton>

#include <algorithm>

namespace {

// Contents wider than any style's least button width, so that the style adds only its frame
// and margins: a style widens a short button to a minimum (75 or 80 pixels) that says nothing
// about whether its text fits.
constexpr int kWideContents = 1000;

// The least room a caption keeps from its control's edges at 96 pixels per inch, whatever the
// style's own frame: a button's text stays 4 pixels clear of each side, so that it never touches
// the frame; a group box's title ends as far from the frame's right corner as it starts from the
// left one (TGroupBox's style sheet sets it 8 pixels in).
constexpr int kButtonTextRoom = 8;
constexpr int kGroupTitleRoom = 16;
// An edit keeps 2 pixels of its own each side of its text, and scrolls the text once the text and
// the cursor after it (1 pixel) do not fit between them.
constexpr int kEditTextRoom = 2 * 2 + 1;

// Pixels at 96 pixels per inch on the screen the widget is on.
int AtScreenResolution(const QWidget* widget, int pixels)
{
    return pixels * widget->logicalDpiX() / 96;
}

int TextWidthOf(const QWidget* widget, const QString& text)
{
    return widget->fontMetrics().size(Qt::TextShowMnemonic, text).width();
}

// The style's own option of a button; the widgets keep initStyleOption to themselves.
template <class Widget, class Option> Option StyleOptionOf(const Widget* widget)
{
    struct Access : Widget
    {
        using Widget::initStyleOption;
    };
    Option option;
    (widget->*(&Access::initStyleOption))(&option);
    return option;
}

int WithChrome(const QWidget* widget, QStyle::ContentsType type, const QStyleOption& option, int contents,
               int height)
{
    const QSize framed =
        widget->style()->sizeFromContents(type, &option, QSize(kWideContents, height), widget);
    return contents + framed.width() - kWideContents;
}

// Text and icon side by side, as the buttons measure their contents.
int TextAndIcon(const QFontMetrics& metrics, const QString& text, const QIcon& icon, const QSize& iconSize)
{
    int width = text.isEmpty() ? 0 : metrics.size(Qt::TextShowMnemonic, text).width();
    if (!icon.isNull())
        width += iconSize.width() + (text.isEmpty() ? 0 : 4);
    return width;
}

int ToolButtonWidth(const QToolButton* button)
{
    const auto option = StyleOptionOf<QToolButton, QStyleOptionToolButton>(button);
    const QFontMetrics metrics = button->fontMetrics();
    // Without the blank on each side that the tool button likes to give its text: the text is
    // whole without them.
    const int text = TextWidthOf(button, button->text());
    int contents = text;
    switch (button->toolButtonStyle()) {
    case Qt::ToolButtonIconOnly:
        contents = option.iconSize.width();
        break;
    case Qt::ToolButtonTextBesideIcon:
        contents = option.iconSize.width() + 4 + text;
        break;
    case Qt::ToolButtonTextUnderIcon:
        contents = std::max(option.iconSize.width(), text);
        break;
    default:
        break;
    }
    return std::max(WithChrome(button, QStyle::CT_ToolButton, option, contents, metrics.height()),
                    contents + AtScreenResolution(button, kButtonTextRoom));
}

} // namespace

int32_t TControl::CaptionWidth() const
{
    if (GetText().empty())
        return 0;
    if (auto* label = qobject_cast<const QLabel*>(FWidget))
        return label->sizeHint().width();
    if (auto* group = qobject_cast<const QGroupBox*>(FWidget))
        return std::max(group->minimumSizeHint().width(),
                        TextWidthOf(group, group->title()) + AtScreenResolution(group, kGroupTitleRoom));
    if (auto* tool = qobject_cast<const QToolButton*>(FWidget))
        return ToolButtonWidth(tool);
    const int height = FWidget->fontMetrics().height();
    if (auto* push = qobject_cast<const QPushButton*>(FWidget)) {
        const auto option = StyleOptionOf<QPushButton, QStyleOptionButton>(push);
        const int contents = TextAndIcon(push->fontMetrics(), option.text, option.icon, option.iconSize);
        return std::max(WithChrome(push, QStyle::CT_PushButton, option, contents, height),
                        contents + AtScreenResolution(push, kButtonTextRoom));
    }
    if (auto* check = qobject_cast<const QCheckBox*>(FWidget)) {
        const auto option = StyleOptionOf<QCheckBox, QStyleOptionButton>(check);
        return WithChrome(check, QStyle::CT_CheckBox, option,
                          TextAndIcon(check->fontMetrics(), option.text, option.icon, option.iconSize),
                          height);
    }
    if (auto* radio = qobject_cast<const QRadioButton*>(FWidget)) {
        const auto option = StyleOptionOf<QRadioButton, QStyleOptionButton>(radio);
        return WithChrome(radio, QStyle::CT_RadioButton, option,
                          TextAndIcon(radio->fontMetrics(), option.text, option.icon, option.iconSize),
                          height);
    }
    return 0;
}

int32_t TControl::CaptionHeight() const
{
    // The least size the style gives an edit holds one line of its font with its frame; a combo
    // box keeps its least size from the font it had first, but its preferred size follows.
    if (qobject_cast<const QLineEdit*>(FWidget) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(FWidget) != nullptr)
        return FWidget->minimumSizeHint().height();
    if (qobject_cast<const QLabel*>(FWidget) != nullptr ||
        qobject_cast<const QAbstractButton*>(FWidget) != nullptr ||
        qobject_cast<const QComboBox*>(FWidget) != nullptr)
        return FWidget->sizeHint().height();
    if (auto* group = qobject_cast<const QGroupBox*>(FWidget))
        return group->title().isEmpty() ? 0 : group->fontMetrics().height();
    return 0;
}

int32_t TEdit::WidthToShow(const std::string& Text) const
{
    const auto* edit = static_cast<const QLineEdit*>(FWidget);
    auto option = StyleOptionOf<QLineEdit, QStyleOptionFrame>(edit);
    option.rect = QRect(0, 0, kWideContents, edit->height());
    const int frame =
        kWideContents - edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width();
    const QMargins margins = edit->textMargins();
    return edit->fontMetrics().horizontalAdvance(QString::fromStdString(Text)) + kEditTextRoom +
           margins.left() + margins.right() + frame;
}

int32_t TComboBox::ItemsWidth() const
{
    const auto* box = static_cast<const QComboBox*>(FWidget);
    if (box->count() == 0)
        return 0;
    const QFontMetrics metrics = box->fontMetrics();
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    const auto option = StyleOptionOf<QComboBox, QStyleOptionComboBox>(box);
    return WithChrome(box, QStyle::CT_ComboBox, option, widest, metrics.height());
}
