// The processing, save-parameters, print and file dialogs as the platform lays them out, in each
// language, on every page, in a larger font and on a finer screen: no text is cut, covered or touched,
// captions keep the style's room, stacked buttons are equally wide, nothing runs past its parent; an
// edit shows its text and the ends of its up-down's range whole; a ruler leaves its grips their full
// size and writes every label inside itself.
// The save-parameters dialog shows each page alone, as saving in that format opens it, with the
// size of a picture.
// The suite runs this once more under the Windows style (tests/CMakeLists.txt).
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/iopreviews.h"
#include "imaging/dialogs/kvopensavedlg.h"
#include "imaging/dialogs/kvprnform1.h"
#include "imaging/dialogs/kvprnform2.h"
#include "imaging/dialogs/previews.h"
#include "imaging/dialogs/print_form_base.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/ruler_box.h"
#include "platform/forms/application.h"
#include "platform/forms/buttons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/geometry.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Describe(TControl* control)
{
    const TRect r = control->BoundsRect();
    return control->ClassName() + " \"" + control->Caption() + "\" (" + control->Name() + " " +
           std::to_string(r.Left) + "," + std::to_string(r.Top) + " " + std::to_string(r.Width()) + "x" +
           std::to_string(r.Height()) + ")";
}

// The room around a caption, measured apart from the forms' sizing: 4 pixels each side of a button's
// text, a group box frame's 8-pixel corner each side of its title (at 96 dpi), a box's indicator and gap.
int32_t CaptionRoom(TControl* control)
{
    QWidget* widget = control->Widget();
    const int32_t dpi = widget->logicalDpiX();
    const QStyle* style = widget->style();
    QStyleOption option;
    option.initFrom(widget);
    if (dynamic_cast<TButton*>(control) != nullptr || dynamic_cast<TSpeedButton*>(control) != nullptr)
        return 8 * dpi / 96;
    if (dynamic_cast<TGroupBox*>(control) != nullptr)
        return 16 * dpi / 96;
    if (dynamic_cast<TCheckBox*>(control) != nullptr)
        return style->pixelMetric(QStyle::PM_IndicatorWidth, &option, widget) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, widget);
    if (dynamic_cast<TRadioButton*>(control) != nullptr)
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, widget) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, widget);
    return 0;
}

// The width the caption needs in the control's font, with its room; a combo box's widest item's.
int32_t TextWidth(TControl* control)
{
    if (auto* combo = dynamic_cast<TComboBox*>(control))
        return combo->ItemsWidth();
    if (control->Caption().empty())
        return 0;
    const QString caption = QString::fromStdString(control->Caption());
    return control->Widget()->fontMetrics().size(Qt::TextShowMnemonic, caption).width() +
           CaptionRoom(control);
}

// Controls whose text is drawn inside them (labels apart: they size themselves).
bool IsCaptioned(TControl* control)
{
    return TextWidth(control) > 0 && dynamic_cast<TLabel*>(control) == nullptr;
}

// Each column of shown buttons (one left edge in one parent) whose buttons differ in width.
void ColumnFaults(TWinControl* parent, const std::string& where, std::vector<std::string>& faults)
{
    std::map<int32_t, std::vector<TControl*>> columns;
    for (int32_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* control = parent->Controls(i);
        if (control->Visible() && (dynamic_cast<TButton*>(control) || dynamic_cast<TSpeedButton*>(control)))
            columns[control->Left()].push_back(control);
    }
    for (const auto& [left, buttons] : columns) {
        const auto [narrowest, widest] = std::ranges::minmax_element(
            buttons, [](TControl* a, TControl* b) { return a->Width() < b->Width(); });
        if ((*narrowest)->Width() != (*widest)->Width())
            faults.push_back(where + ": " + Describe(*narrowest) + " is narrower than " + Describe(*widest) +
                             " in their column");
    }
}

// A label's text reaching the next control with no pixel between them is as bad as covering it.
TRect WithMargin(TControl* control)
{
    TRect r = control->BoundsRect();
    if (dynamic_cast<TLabel*>(control) != nullptr) {
        --r.Left;
        ++r.Right;
    }
    return r;
}

// The room a one-line edit gives its text, as the style frames it: its contents less its text
// margins and the 2 pixels the edit keeps each side.
int32_t EditTextRoom(TEdit* edit)
{
    auto* line = static_cast<QLineEdit*>(edit->Widget());
    QStyleOptionFrame option;
    option.initFrom(line);
    option.rect = line->rect();
    option.lineWidth =
        line->hasFrame() ? line->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, line) : 0;
    const QRect contents = line->style()->subElementRect(QStyle::SE_LineEditContents, &option, line);
    return contents.marginsRemoved(line->textMargins()).width() - 2 * 2;
}

// The up-down that steps an edit, if any.
TUpDown* UpDownOf(TWinControl* parent, TEdit* edit)
{
    for (int32_t i = 0; i < parent->ControlCount(); ++i)
        if (auto* upDown = dynamic_cast<TUpDown*>(parent->Controls(i)); upDown && upDown->Associate() == edit)
            return upDown;
    return nullptr;
}

// An edit cuts a text that, with the cursor after it, is wider than its text room: it scrolls it.
// It must show its own text and the ends of its up-down's range, and the up-down stand as high as it.
void EditFaults(TWinControl* parent, TEdit* edit, const std::string& where, std::vector<std::string>& faults)
{
    TUpDown* upDown = UpDownOf(parent, edit);
    std::vector<std::string> texts = {edit->Text()};
    if (upDown != nullptr) {
        texts.push_back(std::to_string(upDown->Min()));
        texts.push_back(std::to_string(upDown->Max()));
        if (upDown->Height() != edit->Height())
            faults.push_back(where + ": " + Describe(upDown) + " is not as high as " + Describe(edit));
    }
    const QFontMetrics metrics = edit->Widget()->fontMetrics();
    for (const std::string& text : texts)
        if (metrics.horizontalAdvance(QString::fromStdString(text)) + 1 > EditTextRoom(edit))
            faults.push_back(where + ": " + Describe(edit) + " cuts \"" + text + "\" (room " +
                             std::to_string(EditTextRoom(edit)) + ")");
}

// A ruler's band takes a height from its font: the grips below it need their base size and a
// pixel, and every label must lie inside the ruler, as wide as its text.
void RulerFaults(TRulerBox* ruler, const std::string& where, std::vector<std::string>& faults)
{
    const int32_t gripRoom = ruler->ClientHeight() - ruler->GetRulerHeight();
    if (gripRoom < ruler->GripBaseDim() + 1)
        faults.push_back(where + ": " + Describe(ruler) + " leaves its grips " + std::to_string(gripRoom) +
                         " pixels");
    const QFontMetrics metrics = ruler->Widget()->fontMetrics();
    const TRect inside{0, 0, ruler->ClientWidth(), ruler->ClientHeight()};
    for (const TKVRulerLabelPlace& label : ruler->GetLabelPlaces()) {
        const TRect& r = label.Bounds;
        if (r.Left < inside.Left || r.Top < inside.Top || r.Right > inside.Right ||
            r.Bottom > inside.Bottom ||
            r.Width() < metrics.horizontalAdvance(QString::fromStdString(label.Text)))
            faults.push_back(where + ": " + Describe(ruler) + " cuts its label \"" + label.Text + "\"");
    }
}

// The faults of each shown control under parent, one line each.
void LayoutFaults(TWinControl* parent, const std::string& where, std::vector<std::string>& faults)
{
    for (int32_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* control = parent->Controls(i);
        if (!control->Visible())
            continue;
        if (auto* child = dynamic_cast<TWinControl*>(control))
            LayoutFaults(child, where, faults);
        const TRect r = control->BoundsRect();
        if (r.Left < 0 || r.Top < 0 || r.Right > parent->ClientWidth() || r.Bottom > parent->ClientHeight())
            faults.push_back(where + ": " + Describe(control) + " runs past " + Describe(parent));
        if (auto* edit = dynamic_cast<TEdit*>(control))
            EditFaults(parent, edit, where, faults);
        if (auto* ruler = dynamic_cast<TRulerBox*>(control))
            RulerFaults(ruler, where, faults);
        auto* label = dynamic_cast<TLabel*>(control);
        const bool checked =
            (label != nullptr && !label->WordWrap() && !label->Caption().empty()) || IsCaptioned(control);
        if (!checked)
            continue;
        if (TextWidth(control) > r.Width())
            faults.push_back(where + ": " + Describe(control) + " is narrower than its text (" +
                             std::to_string(TextWidth(control)) + ")");
        if (r.Height() < control->Widget()->fontMetrics().height())
            faults.push_back(where + ": " + Describe(control) + " is lower than a line of its text");
        // Each pair once: a label against everything after it and before it, a captioned control
        // against what follows it.
        for (int32_t j = 0; j < parent->ControlCount(); ++j) {
            TControl* other = parent->Controls(j);
            const bool otherChecked = dynamic_cast<TLabel*>(other) != nullptr || IsCaptioned(other);
            if (other == control || !other->Visible() || (j < i && otherChecked))
                continue;
            TRect common;
            if (IntersectRect(common, WithMargin(control), WithMargin(other)))
                faults.push_back(where + ": " + Describe(control) + " covers " + Describe(other));
        }
    }
    ColumnFaults(parent, where, faults);
}

// Shows the form and checks it with each of its pages active, pages without a tab included (or
// as it is, without pages).
void FormFaults(TForm& form, const std::vector<TTabSheet*>& pages, const std::string& name,
                std::vector<std::string>& faults)
{
    form.Show();
    Application->ProcessMessages();
    for (size_t i = 0; i < std::max<size_t>(pages.size(), 1); ++i) {
        std::string where = name;
        TTabSheet* page = pages.empty() ? nullptr : pages[i];
        const bool tabVisible = page == nullptr || page->TabVisible();
        if (page != nullptr) {
            page->SetTabVisible(true);
            page->PageControl()->SetActivePage(page);
            Application->ProcessMessages();
            where += ", page " + std::to_string(i) + " \"" + page->Caption() + "\"";
        }
        LayoutFaults(&form, where, faults);
        if (page != nullptr)
            page->SetTabVisible(tabVisible);
    }
    form.Hide();
}

std::vector<TTabSheet*> AllPages(TPageControl* control)
{
    std::vector<TTabSheet*> pages;
    for (int32_t i = 0; i < control->PageCount(); ++i)
        pages.push_back(control->Pages(i));
    return pages;
}

// A font a program gives a dialog, or a screen the user moves it to, once its texts are set.
struct TAfterTexts
{
    TFont* Font = nullptr;
    QScreen* Screen = nullptr;

    void To(TForm& form) const
    {
        form.SetFont(Font);
        if (Screen != nullptr) {
            form.Show();
            Application->ProcessMessages();
            const QRect area = Screen->geometry();
            form.SetBounds(area.x() + 10, area.y() + 10, form.Width(), form.Height());
            Application->ProcessMessages();
        }
    }
};

// A picture whose size the save-parameters dialog shows: 406800 bytes.
std::unique_ptr<TKVBitmap> Picture()
{
    auto picture = std::make_unique<TKVBitmap>();
    picture->Allocate(400, 339, kv24RGB);
    return picture;
}

// The faults of every dialog in the language, each changed as after says.
std::vector<std::string> AllFaults(TMsgLanguage language, const TAfterTexts& after = {})
{
    std::vector<std::string> faults;
    TfPreviews previews(nullptr);
    previews.SetLanguage(language);
    after.To(previews);
    FormFaults(previews, AllPages(previews.PageControl1), "processing", faults);
    // The save-parameters dialog as saving in each format opens it: the format's page alone, with
    // the size of the picture to save.
    const std::unique_ptr<TKVBitmap> picture = Picture();
    const std::pair<TPreviewParam, const char*> formats[] = {
        {ppJPEG, "JPEG"}, {ppTIFF, "TIFF"}, {ppGIF, "GIF"}, {ppBMP, "BMP"},
        {ppPCX, "PCX"},   {ppPNG, "PNG"},   {ppTGA, "TGA"}, {ppJ2000, "JPEG2000"}};
    for (bool simplified : {false, true}) {
        for (const auto& [page, format] : formats) {
            TIOParamsVals params;
            TfIOPreviews parameters(nullptr);
            parameters.PrepareFor(&params, 1u << ioppApplyButton, simplified, kvThreshold, language, nullptr);
            parameters.SetSourceImage(picture.get());
            parameters.SetPreviewParams(PreviewSet(page));
            after.To(parameters);
            FormFaults(parameters, {},
                       std::string(simplified ? "simplified save parameters, " : "save parameters, ") +
                           format,
                       faults);
        }
    }
    for (TKVDialogsMeasureUnit unit : {kvduSelectableDefInches, kvduSelectableDefCm}) {
        Tfkvprnform2 print(nullptr);
        print.DialogsMeasureUnit = unit;
        print.SetLanguage(language);
        after.To(print);
        FormFaults(print, {}, unit == kvduSelectableDefCm ? "print (cm)" : "print", faults);
    }
    tfkvprnform1 preview(nullptr);
    preview.SetLanguage(language);
    after.To(preview);
    FormFaults(preview, {}, "print preview", faults);
    // The panel the open and save dialogs add to the platform's, while open; it has no window to move.
    for (bool save : {false, true}) {
        if (after.Screen != nullptr)
            continue;
        TScriptedDialogService dialogs;
        const std::unique_ptr<TOpenKorvaneDialog> dialog =
            save ? std::make_unique<TSaveKorvaneDialog>(nullptr)
                 : std::make_unique<TOpenKorvaneDialog>(nullptr);
        dialog->MsgLanguage = language;
        dialog->Options = 0;
        dialog->ExtensionPanel()->SetFont(after.Font);
        dialogs.PlayFileDialog({TFileDialogAction::Do(
            [&] { LayoutFaults(dialog->ExtensionPanel(), save ? "save" : "open", faults); })});
        dialog->Execute();
    }
    return faults;
}

class DialogLayout : public ::testing::TestWithParam<TMsgLanguage>
{
};

const char* const kLanguageNames[] = {"System",  "English",    "Italian", "German",  "Spanish",
                                      "French",  "Portuguese", "Greek",   "Russian", "Dutch",
                                      "Swedish", "Polish",     "User"};

} // namespace

TEST_P(DialogLayout, NoLabelIsCutOrCoversAControl)
{
    const std::vector<std::string> faults = AllFaults(GetParam());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

// One and a half times the forms' default 11 pixels, set after the language.
TEST_P(DialogLayout, NoLabelIsCutOrCoversAControlInALargerFont)
{
    TFont large;
    large.SetName("Arial");
    large.SetHeight(-17);
    const std::vector<std::string> faults = AllFaults(GetParam(), {&large, nullptr});
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, DialogLayout,
                         ::testing::Values(msEnglish, msItalian, msGerman, msSpanish, msFrench, msPortuguese,
                                           msGreek, msRussian, msDutch, msSwedish, msPolish),
                         [](const ::testing::TestParamInfo<TMsgLanguage>& info) {
                             return std::string(kLanguageNames[info.param]);
                         });

// A finer screen's style draws larger check marks, frames and margins (tests/CMakeLists.txt adds one).
TEST(DialogLayoutScreen, DialogsMovedToAFinerScreenAreFittedAgain)
{
    QScreen* finer = nullptr;
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->logicalDotsPerInchX() > QGuiApplication::primaryScreen()->logicalDotsPerInchX())
            finer = screen;
    ASSERT_NE(finer, nullptr) << "no screen finer than the first one";
    for (TMsgLanguage language : {msPolish, msGreek}) {
        const std::vector<std::string> faults = AllFaults(language, {nullptr, finer});
        EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
    }
}

// The caller's font given as the preview font, or set on the dialog handed over after its layout.
TEST(DialogLayoutFont, ThePrintDialogFitsTheCallersFont)
{
    for (bool handedOver : {false, true}) {
        TKorvaneIO io(nullptr);
        io.KVBitmap()->Allocate(40, 20, kv24RGB);
        io.MsgLanguage = msItalian;
        io.PreviewFont()->SetName("Arial");
        if (!handedOver)
            io.PreviewFont()->SetHeight(-17);
        TKVPrintFormBase* form = nullptr;
        io.OnIOPreview = [&](TObject*, TForm* shown) {
            form = dynamic_cast<TKVPrintFormBase*>(shown);
            if (handedOver)
                shown->Font()->SetHeight(-17);
        };
        std::vector<std::string> faults;
        TTimer timer(nullptr);
        timer.SetInterval(1);
        timer.OnTimer = [&](TObject*) {
            if (form == nullptr || !form->Modal())
                return;
            timer.SetEnabled(false);
            LayoutFaults(form, "print", faults);
            form->SetModalResult(mrCancel);
        };
        timer.SetEnabled(true);
        EXPECT_FALSE(io.DoPrintPreviewDialog(kvdtDialog, ""));
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(faults.empty()) << handedOver << ::testing::PrintToString(faults);
    }
}
