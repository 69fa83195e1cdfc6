// The print dialog and the print-preview window: reading margins, position, size and gamma in
// either unit, the steps and unit switch that rewrite the edits, the page preview, and real print
// jobs to a PDF file that poppler's tools read back.
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvprnform1.h"
#include "imaging/dialogs/kvprnform2.h"
#include "imaging/dialogs/print_form_values.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/korvane.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/strings.h"
#include "platform/forms/application.h"
#include "platform/forms/buttons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/printers.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

using namespace Kvprintforms;

namespace {

// A 400 x 200 picture, dark blue, with the component that prints it.
struct TPrintedPicture
{
    TPrintedPicture()
    {
        io.KVBitmap()->Allocate(400, 200, kv24RGB);
        for (int32_t y = 0; y < 200; ++y)
            for (int32_t x = 0; x < 400; ++x)
                io.KVBitmap()->SetPixels_kv24RGB(x, y, TRGB{120, 20, 10});
    }
    TKorvaneIO io{nullptr};
};

// Points the application's printer at a PDF file for one test, at 300 dpi.
class TPdfPrinter
{
public:
    explicit TPdfPrinter(const std::string& File)
    {
        Printer()->SetResolution(300);
        Printer()->SetOutputFileName(File);
    }
    ~TPdfPrinter() { Printer()->SetOutputFileName(""); }
    TPdfPrinter(const TPdfPrinter&) = delete;
    TPdfPrinter& operator=(const TPdfPrinter&) = delete;
};

std::string RunTool(const std::string& Command, int* Status)
{
    return kvtest::RunTool(Command + " 2>&1", Status);
}

// The value of one "Key:   value" line of pdfinfo.
std::string InfoValue(const std::string& Info, const std::string& Key)
{
    const size_t at = Info.find(Key + ":");
    if (at == std::string::npos)
        return {};
    const size_t start = Info.find_first_not_of(' ', at + Key.size() + 1);
    return Info.substr(start, Info.find('\n', start) - start);
}

// Shows the dialog that DoPrintPreviewDialog makes, runs Action once it is modal and returns
// the call's result; a dialog that stays open (10 s: only a hang takes that long) is closed with a
// failure.
// Call opens the dialog through whatever forwards to io.
bool RunDialog(TKorvaneIO& io, const std::function<bool()>& Call,
               const std::function<void(TKVPrintFormBase&)>& Action)
{
    TKVPrintFormBase* form = nullptr;
    io.OnIOPreview = [&](TObject*, TForm* shown) { form = dynamic_cast<TKVPrintFormBase*>(shown); };
    TTimer timer(nullptr);
    bool acted = false;
    const auto start = std::chrono::steady_clock::now();
    timer.SetInterval(1);
    timer.OnTimer = [&](TObject*) {
        if (form == nullptr || !form->Modal())
            return;
        if (!acted) {
            acted = true;
            Action(*form);
        } else if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
            ADD_FAILURE() << "the print dialog stayed open";
            form->SetModalResult(mrAbort);
        }
    };
    timer.SetEnabled(true);
    const bool result = Call();
    timer.SetEnabled(false);
    io.OnIOPreview = nullptr;
    EXPECT_TRUE(acted);
    return result;
}

bool RunDialog(TKorvaneIO& io, TKVDialogType Type, const std::string& Task,
               const std::function<void(TKVPrintFormBase&)>& Action)
{
    return RunDialog(
        io, [&] { return io.DoPrintPreviewDialog(Type, Task); }, Action);
}

// The box of dots darker than half-white in a rendered page, right and bottom exclusive.
struct TBox
{
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

TBox InkBox(TKVBitmap& Page)
{
    TBox box{Page.GetWidth(), Page.GetHeight(), 0, 0};
    for (int32_t y = 0; y < Page.GetHeight(); ++y) {
        // Row by row: a file-backed page maps one row at a time.
        const uint8_t* row = Page.GetScanLine(y);
        for (int32_t x = 0; x < Page.GetWidth(); ++x) {
            const uint8_t* bgr = row + x * 3;
            if (bgr[2] < 128 && bgr[1] < 128) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
        }
    }
    return box;
}

bool SameBitmap(TKVBitmap& A, TBitmap& B)
{
    if (A.GetWidth() != B.Width() || A.GetHeight() != B.Height())
        return false;
    for (int32_t y = 0; y < B.Height(); ++y)
        for (int32_t x = 0; x < B.Width(); ++x) {
            const TRGB a = A.GetPixels(x, y);
            const uint8_t* b = B.ScanLine(y) + x * 3;
            if (a.b != b[0] || a.g != b[1] || a.r != b[2])
                return false;
        }
    return true;
}

} // namespace

TEST(PrintFormValues, ReadsTheControlsInEitherUnit)
{
    const struct
    {
        TKVDialogsMeasureUnit unit;
        TKVPrintFormTexts texts;
        TKVPrintValues expected;
    } cases[] = {
        // Centimetres: 2.54 is one inch; gamma is no length.
        {kvduCm,
         {"2.54", "5.08", "1.27", "0", 5, 1, "15.24", "10.16", "2.2"},
         {1, 2, 0.5, 0, kvvpCENTER, kvhpCENTER, kvsFITTOPAGE, 6, 4, 2.2}},
        {kvduSelectableDefCm,
         {"2.54", "2.54", "2.54", "2.54", 1, 3, "2.54", "5.08", "1"},
         {1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsSPECIFIEDSIZE, 1, 2, 1}},
        {kvduInches,
         {"2.54", "1", "0.5", "1,5", 9, 0, "6", "4", "1"},
         {2.54, 1, 0.5, 1.5, kvvpBOTTOM, kvhpRIGHT, kvsNORMAL, 6, 4, 1}},
        // Text that is no number: margins 0, width and height 1 unit, gamma 1.
        {kvduSelectableDefInches,
         {"", "x", "1", "-", 6, 2, "six", "", "bright"},
         {0, 0, 1, 0, kvvpCENTER, kvhpRIGHT, kvsFITTOPAGESTRETCH, 1, 1, 1}},
        {kvduCm,
         {"x", "", "", "", 0, 7, "?", "", "?"},
         {0, 0, 0, 0, kvvpCENTER, kvhpCENTER, kvsFITTOPAGE, 1 / 2.54, 1 / 2.54, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.MarginLeft + " / " + c.texts.Width);
        const TKVPrintValues v = ReadPrintValues(c.texts, c.unit);
        EXPECT_DOUBLE_EQ(v.MarginLeft, c.expected.MarginLeft);
        EXPECT_DOUBLE_EQ(v.MarginTop, c.expected.MarginTop);
        EXPECT_DOUBLE_EQ(v.MarginRight, c.expected.MarginRight);
        EXPECT_DOUBLE_EQ(v.MarginBottom, c.expected.MarginBottom);
        EXPECT_EQ(v.VerticalPos, c.expected.VerticalPos);
        EXPECT_EQ(v.HorizontalPos, c.expected.HorizontalPos);
        EXPECT_EQ(v.Size, c.expected.Size);
        EXPECT_DOUBLE_EQ(v.Width, c.expected.Width);
        EXPECT_DOUBLE_EQ(v.Height, c.expected.Height);
        EXPECT_DOUBLE_EQ(v.Gamma, c.expected.Gamma);
    }
}

TEST(PrintFormValues, PositionButtonsPlaceThePicture)
{
    // Buttons 1..9 row by row from the top left; none down counts as the centre.
    const TKVVerticalPos rows[] = {kvvpCENTER, kvvpTOP,    kvvpTOP,    kvvpTOP,    kvvpCENTER,
                                   kvvpCENTER, kvvpCENTER, kvvpBOTTOM, kvvpBOTTOM, kvvpBOTTOM};
    const TKVHorizontalPos columns[] = {kvhpCENTER, kvhpLEFT,  kvhpCENTER, kvhpRIGHT,  kvhpLEFT,
                                        kvhpCENTER, kvhpRIGHT, kvhpLEFT,   kvhpCENTER, kvhpRIGHT};
    for (int32_t button = 0; button <= 9; ++button) {
        EXPECT_EQ(VerticalPosOf(button), rows[button]) << button;
        EXPECT_EQ(HorizontalPosOf(button), columns[button]) << button;
    }
}

TEST(PrintFormValues, StepsAndUnitSwitchesRewriteTheText)
{
    const struct
    {
        const char* text;
        double step;
        const char* expected;
    } steps[] = {
        {"0.005", -kLengthStep, "0"}, {"1", kLengthStep, "1.01"}, {"1", -kLengthStep, "0.99"},
        {"abc", kLengthStep, "0.01"}, {"", -kLengthStep, "0"},    {"1", -kGammaStep, "0.9"},
        {"0.05", -kGammaStep, "0"},   {"2,5", kGammaStep, "2.6"}, {"-3", kLengthStep, "0"},
        {"-0.001", 0, "0"},
    };
    for (const auto& s : steps)
        EXPECT_EQ(StepValue(s.text, s.step), s.expected) << s.text << " " << s.step;

    // Inches to centimetres and back gives the same text again.
    const double toCm = ConversionFactor(kvduSelectableDefInches, kvduSelectableDefCm);
    const double toInches = ConversionFactor(kvduSelectableDefCm, kvduSelectableDefInches);
    EXPECT_DOUBLE_EQ(ConversionFactor(kvduInches, kvduSelectableDefInches), 1.0);
    EXPECT_DOUBLE_EQ(ConversionFactor(kvduCm, kvduSelectableDefCm), 1.0);
    for (const char* text : {"1", "6", "4", "0.25", "0", "13.7"}) {
        const std::string cm = ConvertLength(text, toCm, 0);
        EXPECT_EQ(ConvertLength(cm, toInches, 0), text) << text << " -> " << cm;
    }
    EXPECT_EQ(ConvertLength("1", toCm, 0), "2.54");
    // Text that is no number turns into what printing reads it as.
    EXPECT_EQ(ConvertLength("wide", toCm, 1), "2.54");
    EXPECT_EQ(ConvertLength("", toCm, 0), "0");
}

TEST(PrintDialog, ShowsItsTextsInTheLanguage)
{
    TPrintedPicture picture;
    Tfkvprnform2 form(nullptr);
    form.KorvaneIO = &picture.io;
    EXPECT_EQ(form.ClientWidth(), 664);
    EXPECT_EQ(form.ClientHeight(), 356);
    EXPECT_EQ(form.Caption(), "Print");
    EXPECT_EQ(form.GroupBox1->Caption(), " Margins (inches) ");
    EXPECT_EQ(form.GroupBox2->Caption(), " Position ");
    EXPECT_EQ(form.Edit1->Text(), "1");
    EXPECT_EQ(form.Edit5->Text(), "6");
    EXPECT_EQ(form.Edit6->Text(), "4");
    EXPECT_EQ(form.Edit7->Text(), "1");
    EXPECT_TRUE(form.PositionButtons[4]->Down());
    EXPECT_EQ(form.ComboBox1->ItemIndex(), 1);

    form.SetLanguage(msEnglish);
    const struct
    {
        TControl* control;
        const char* text;
    } english[] = {
        {&form, "Print"},
        {form.Label1, "Top"},
        {form.Label2, "Left"},
        {form.Label3, "Right"},
        {form.Label4, "Bottom"},
        {form.GroupBox2, "Position"},
        {form.GroupBox5, "Preview"},
        {form.GroupBox3, "Size"},
        {form.Label5, "Width"},
        {form.Label6, "Height"},
        {form.GroupBox4, "Gamma correction"},
        {form.Label9, "Value"},
        {form.Button1, "OK"},
        {form.Button2, "Cancel"},
        {form.Button4, "Print Setup..."},
        {form.GroupBox6, "Measure Units"},
        {form.Label10, "Units"},
        {form.GroupBox1, " Margins (inches) "},
        {form.Label7, "inches"},
        {form.Label8, "inches"},
    };
    for (const auto& e : english)
        EXPECT_EQ(e.control->Caption(), e.text) << e.control->Name();
    EXPECT_EQ(form.ComboBox1->Items()->Text(),
              "Normal\r\nFit to page\r\nStretch to page\r\nSpecified size\r\n");

    form.DialogsMeasureUnit = kvduCm;
    form.SetLanguage(msItalian);
    EXPECT_EQ(form.Caption(), Daduvudez::kvmsg(KVMSG_PRINT, msItalian));
    EXPECT_EQ(form.GroupBox1->Caption(), Concat(" ", Daduvudez::kvmsg(KVMSG_MARGINS, msItalian), " (cm) "));
    EXPECT_EQ(form.Label7->Caption(), "cm");
    EXPECT_EQ(form.ComboBox1->Items()->Strings(3), Daduvudez::kvmsg(KVMSG_SPECIFIEDSIZE, msItalian));
    EXPECT_EQ(form.ComboBox1->ItemIndex(), 1);
}

// The preview window speaks one language: its menu and its close button too.
TEST(PrintPreviewWindow, ShowsItsMenuAndCloseButtonInTheLanguage)
{
    for (TMsgLanguage language : {msEnglish, msGerman, msRussian, msPolish}) {
        SCOPED_TRACE(int(language));
        tfkvprnform1 form(nullptr);
        form.SetLanguage(language);
        const auto word = [language](TMsgLanguageWords w) { return Daduvudez::kvmsg(w, language); };
        EXPECT_EQ(form.File1->Caption(), Concat("&", word(KVMSG_FILE)));
        EXPECT_EQ(form.Print1->Caption(), word(KVMSG_PRINT));
        EXPECT_EQ(form.PrintSetup1->Caption(), word(KVMSG_PRINTSETUP) + "...");
        EXPECT_EQ(form.Exit1->Caption(), word(KVMSG_CLOSE2));
        EXPECT_EQ(form.SpeedButton12->Caption(), Concat("&", word(KVMSG_CLOSE2)));
        EXPECT_EQ(form.SpeedButton12->Hint(), word(KVMSG_CLOSE2));
    }
}

TEST(PrintDialog, SizeModeAndUnitSwitchRewriteTheForm)
{
    TPrintedPicture picture;
    Tfkvprnform2 form(nullptr);
    form.KorvaneIO = &picture.io;
    form.DialogsMeasureUnit = kvduSelectableDefInches;
    form.SetLanguage(msEnglish);
    form.Show();
    EXPECT_TRUE(form.GroupBox6->Visible());
    EXPECT_EQ(form.ComboBox2->ItemIndex(), 0);
    EXPECT_FALSE(form.Edit5->Enabled());

    // Only "Specified size" enables the width and height, but they are always read.
    const struct
    {
        int32_t index;
        TKVSize size;
        bool enabled;
    } modes[] = {{3, kvsSPECIFIEDSIZE, true}, {0, kvsNORMAL, false}, {2, kvsFITTOPAGESTRETCH, false}};
    for (const auto& m : modes) {
        Simulate::Choose(form.ComboBox1, m.index);
        EXPECT_EQ(form.Edit5->Enabled(), m.enabled) << m.index;
        EXPECT_EQ(form.Edit6->Enabled(), m.enabled) << m.index;
        EXPECT_EQ(form.Label5->Enabled(), m.enabled) << m.index;
        EXPECT_EQ(form.Label8->Enabled(), m.enabled) << m.index;
        const TKVPrintValues values = form.ReadValues();
        EXPECT_EQ(values.Size, m.size);
        EXPECT_DOUBLE_EQ(values.Width, 6);
        EXPECT_DOUBLE_EQ(values.Height, 4);
    }

    // Inches to cm: lengths times 2.54, gamma kept; then back again.
    Simulate::Retype(form.Edit7, "1.8");
    Simulate::Retype(form.Edit3, "0.5");
    Simulate::Choose(form.ComboBox2, 1);
    EXPECT_EQ(form.DialogsMeasureUnit, kvduSelectableDefCm);
    EXPECT_EQ(form.GroupBox1->Caption(), " Margins (cm) ");
    EXPECT_EQ(form.Label7->Caption(), "cm");
    for (const auto& [edit, text] : {std::pair{form.Edit1, "2.54"},
                                     {form.Edit2, "2.54"},
                                     {form.Edit3, "1.27"},
                                     {form.Edit4, "2.54"},
                                     {form.Edit5, "15.24"},
                                     {form.Edit6, "10.16"},
                                     {form.Edit7, "1.8"}})
        EXPECT_EQ(edit->Text(), text) << edit->Name();
    EXPECT_DOUBLE_EQ(form.ReadValues().MarginRight, 0.5);
    Simulate::Choose(form.ComboBox2, 0);
    EXPECT_EQ(form.DialogsMeasureUnit, kvduSelectableDefInches);
    EXPECT_EQ(form.Edit1->Text(), "1");
    EXPECT_EQ(form.Edit3->Text(), "0.5");
    EXPECT_EQ(form.Edit6->Text(), "4");
    EXPECT_EQ(form.Label8->Caption(), "inches");

    // Shown again with a fixed unit: no unit choice, and the size mode back to "Fit to page".
    Simulate::Choose(form.ComboBox1, 3);
    form.Hide();
    form.DialogsMeasureUnit = kvduCm;
    form.Show();
    EXPECT_FALSE(form.GroupBox6->Visible());
    EXPECT_EQ(form.ComboBox1->ItemIndex(), 1);
    EXPECT_FALSE(form.Edit5->Enabled());
}

TEST(PrintDialog, UpDownsStepTheirEditsAndNeverGoBelowZero)
{
    TPrintedPicture picture;
    for (TKVPrintFormBase* form : {static_cast<TKVPrintFormBase*>(new Tfkvprnform2(nullptr)),
                                   static_cast<TKVPrintFormBase*>(new tfkvprnform1(nullptr))}) {
        const std::unique_ptr<TKVPrintFormBase> owned(form);
        SCOPED_TRACE(form->Name());
        form->KorvaneIO = &picture.io;
        form->Show();
        TEdit* edits[] = {form->Edit1, form->Edit2, form->Edit3, form->Edit4,
                          form->Edit5, form->Edit6, form->Edit7};
        const struct
        {
            int32_t index; // of the up-down and its edit
            const char* before;
            TUDBtnType button;
            const char* after;
        } clicks[] = {
            {0, "0.005", btPrev, "0"},  {1, "1", btNext, "1.01"}, {2, "1", btPrev, "0.99"},
            {3, "top", btNext, "0.01"}, {6, "1", btNext, "1.1"},  {6, "0.05", btPrev, "0"},
            {6, "2.2", btPrev, "2.1"},  {4, "6", btNext, "6.01"}, {5, "0", btPrev, "0"},
        };
        Simulate::Choose(form->ComboBox1, 3); // the width and height up-downs work only then
        for (const auto& c : clicks) {
            TEdit* edit = edits[c.index];
            Simulate::Retype(edit, c.before);
            Simulate::ClickUpDown(form->UpDowns[size_t(c.index)], c.button);
            EXPECT_EQ(edit->Text(), c.after) << edit->Name() << " from " << c.before;
            // The up-down sits just right of its edit.
            EXPECT_EQ(form->UpDowns[size_t(c.index)]->Left(), edit->Left() + edit->Width());
            EXPECT_EQ(form->UpDowns[size_t(c.index)]->Parent(), edit->Parent());
        }
        // The margin stepped to 0 reaches the printing calls as 0.
        EXPECT_DOUBLE_EQ(form->ReadValues().MarginTop, 0);
        EXPECT_DOUBLE_EQ(form->ReadValues().MarginLeft, 1.01);
    }
}

TEST(PrintDialog, PreviewFollowsTheControls)
{
    TPrintedPicture picture;
    Tfkvprnform2 form(nullptr);
    form.KorvaneIO = &picture.io;
    form.Show();
    TKorvaneView* view = form.KorvaneView1;
    auto expected = [&](double left, double top, TKVVerticalPos v, TKVHorizontalPos h, TKVSize size) {
        TBitmap page;
        picture.io.PreviewPrintImage(&page, view->ClientWidth(), view->ClientHeight(), Printer(), left, top,
                                     1, 1, v, h, size, 6, 4, 1);
        return SameBitmap(*view->GetKVBitmap(), page);
    };
    ASSERT_GT(view->GetKVBitmap()->GetWidth(), 100);
    EXPECT_TRUE(expected(1, 1, kvvpCENTER, kvhpCENTER, kvsFITTOPAGE));

    Simulate::Retype(form.Edit2, "2"); // the left margin
    EXPECT_TRUE(expected(2, 1, kvvpCENTER, kvhpCENTER, kvsFITTOPAGE));
    Simulate::Click(form.PositionButtons[8]);
    EXPECT_TRUE(form.PositionButtons[8]->Down());
    EXPECT_FALSE(form.PositionButtons[4]->Down());
    EXPECT_TRUE(expected(2, 1, kvvpBOTTOM, kvhpRIGHT, kvsFITTOPAGE));
    Simulate::Retype(form.Edit1, "3"); // the top margin
    Simulate::Choose(form.ComboBox1, 0);
    EXPECT_TRUE(expected(2, 3, kvvpBOTTOM, kvhpRIGHT, kvsNORMAL));

    // The printer setup goes through the dialog seam, then the page is drawn again.
    TScriptedDialogService dialogs;
    dialogs.AnswerPrinterSetup(true);
    Simulate::Retype(form.Edit1, "1");
    Simulate::Click(form.Button4);
    EXPECT_EQ(dialogs.CallsOf(dkPrinterSetup).size(), 1u);
    EXPECT_TRUE(expected(2, 1, kvvpBOTTOM, kvhpRIGHT, kvsNORMAL));
}

TEST(PrintDialog, PreviewsPicturesOfNoSizeOrOneColumn)
{
    // An empty picture gives a blank page; a 1 x 65536 strip a hairline. Neither may upset the
    // preview in any size mode or with margins wider than the page.
    for (auto [width, height] : {std::pair{0, 0}, {1, 65536}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        TKorvaneIO io(nullptr);
        if (width > 0)
            io.KVBitmap()->Allocate(width, height, kv24RGB);
        Tfkvprnform2 form(nullptr);
        form.KorvaneIO = &io;
        form.Show();
        for (int32_t mode = 0; mode < 4; ++mode) {
            Simulate::Choose(form.ComboBox1, mode);
            TKVBitmap* page = form.KorvaneView1->GetKVBitmap();
            EXPECT_GT(page->GetWidth(), 100);
            EXPECT_GT(page->GetHeight(), page->GetWidth());
        }
        Simulate::Retype(form.Edit2, "40");
        EXPECT_GT(form.KorvaneView1->GetKVBitmap()->GetWidth(), 100);
    }
}

TEST(PrintDialog, OkPrintsOnePagePlacedByTheInch)
{
    kvtest::TempFolder folder;
    const std::string pdf = folder.File("print.pdf");
    TPdfPrinter pdfPrinter(pdf);
    TPrintedPicture picture;
    picture.io.DialogsMeasureUnit = kvduSelectableDefCm;
    bool ok = RunDialog(picture.io, kvdtDialog, "Holiday prints", [](TKVPrintFormBase& form) {
        auto& dialog = dynamic_cast<Tfkvprnform2&>(form);
        // Centimetres chosen by the caller, one inch typed in them; back to inches before OK.
        EXPECT_EQ(dialog.ComboBox2->ItemIndex(), 1);
        for (TEdit* margin : {dialog.Edit1, dialog.Edit2, dialog.Edit3, dialog.Edit4})
            Simulate::Retype(margin, "2.54");
        Simulate::Choose(dialog.ComboBox2, 0);
        EXPECT_EQ(dialog.Edit4->Text(), "1");
        Simulate::Click(dialog.Button1);
    });
    EXPECT_TRUE(ok);

    int status = 0;
    const std::string info = RunTool("pdfinfo '" + pdf + "'", &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_EQ(InfoValue(info, "Pages"), "1");
    EXPECT_EQ(InfoValue(info, "Title"), "Holiday prints");
    // A4 (595 x 842 points) with 10 mm margins.
    EXPECT_EQ(InfoValue(info, "Page size").substr(0, 14), "595 x 842 pts ") << info;
    // The printable area is the page less 10 mm (118 dots) on each side; Qt measures it in
    // points, a dot or two apart.
    const int32_t paintWidth = Printer()->PageWidth(), paintHeight = Printer()->PageHeight();
    EXPECT_NEAR(paintWidth, 2480 - 2 * 118, 2);
    EXPECT_NEAR(paintHeight, 3508 - 2 * 118, 2);
    const int32_t paintLeft = 118, paintTop = 118;

    const std::string png = folder.File("page");
    RunTool("pdftoppm -r 300 -png -singlefile '" + pdf + "' '" + png + "'", &status);
    ASSERT_EQ(status, 0);
    TKorvaneIO reader(nullptr);
    reader.LoadFromFilePNG(png + ".png");
    ASSERT_FALSE(reader.Aborting);
    ASSERT_EQ(reader.KVBitmap()->GetPixelFormat(), kv24RGB);
    EXPECT_EQ(reader.KVBitmap()->GetWidth(), 2480);

    // Fitted between 1-inch margins of the printable area, aspect kept, centred.
    const double pageWidth = paintWidth / 300.0, pageHeight = paintHeight / 300.0;
    const double roomWidth = pageWidth - 2, roomHeight = pageHeight - 2;
    const double zoom = std::min(roomWidth / (400 / 300.0), roomHeight / (200 / 300.0));
    const double width = 400 / 300.0 * zoom, height = 200 / 300.0 * zoom;
    const double x = 1 + (roomWidth - width) / 2, y = 1 + (roomHeight - height) / 2;
    const TBox box = InkBox(*reader.KVBitmap());
    EXPECT_NEAR(box.Left, paintLeft + int32_t(x * 300), 2);
    EXPECT_NEAR(box.Top, paintTop + int32_t(y * 300), 2);
    EXPECT_NEAR(box.Right, paintLeft + int32_t(x * 300) + int32_t(width * 300), 2);
    EXPECT_NEAR(box.Bottom, paintTop + int32_t(y * 300) + int32_t(height * 300), 2);
    EXPECT_NEAR(box.Left, 118 + 300, 2);
}

TEST(PrintDialog, FailedJobKeepsTheDialogOpenAndCancelGivesFalse)
{
    kvtest::TempFolder folder;
    TPdfPrinter pdfPrinter(folder.File("no-such-folder/print.pdf"));
    TScriptedDialogService dialogs;
    TPrintedPicture picture;
    const bool ok = RunDialog(picture.io, kvdtDialog, "job", [&](TKVPrintFormBase& form) {
        auto& dialog = dynamic_cast<Tfkvprnform2&>(form);
        dialogs.AnswerMessageBox(IDOK);
        Simulate::Click(dialog.Button1);
        EXPECT_TRUE(dialog.Modal());
        EXPECT_EQ(dialog.ModalResult(), mrNone);
        Simulate::Click(dialog.Button2);
    });
    EXPECT_FALSE(ok);
    ASSERT_EQ(dialogs.CallsOf(dkMessageBox).size(), 1u);
    EXPECT_NE(dialogs.CallsOf(dkMessageBox)[0].Text.find("printer"), std::string::npos)
        << dialogs.CallsOf(dkMessageBox)[0].Text;
    EXPECT_FALSE(Printer()->Printing());
}

TEST(PrintDialog, HandsTheSettingsToTheFormAndRefusesUnknownTypes)
{
    TPrintedPicture picture;
    picture.io.MsgLanguage = msGerman;
    picture.io.DialogsMeasureUnit = kvduCm;
    picture.io.PreviewFont()->SetName("Liberation Serif");
    picture.io.PreviewFont()->SetHeight(-14);
    int32_t calls = 0;
    for (TKVDialogType type : {TKVDialogType(2), TKVDialogType(200)}) {
        picture.io.OnIOPreview = [&](TObject*, TForm*) { ++calls; };
        const int32_t forms = Screen->FormCount();
        EXPECT_FALSE(picture.io.DoPrintPreviewDialog(type, "x"));
        EXPECT_EQ(Screen->FormCount(), forms);
    }
    EXPECT_EQ(calls, 0);

    const bool ok = RunDialog(picture.io, kvdtDialog, "Task", [&](TKVPrintFormBase& form) {
        EXPECT_NE(dynamic_cast<Tfkvprnform2*>(&form), nullptr);
        EXPECT_EQ(form.KorvaneIO, &picture.io);
        EXPECT_EQ(form.PrintTaskName, "Task");
        EXPECT_EQ(form.DialogsMeasureUnit, kvduCm);
        EXPECT_EQ(form.Language(), msGerman);
        EXPECT_EQ(form.Caption(), Daduvudez::kvmsg(KVMSG_PRINT, msGerman));
        EXPECT_EQ(form.Font()->Name(), "Liberation Serif");
        EXPECT_EQ(form.Font()->Height(), -14);
        Simulate::Key(form.Edit1, VK_ESCAPE);
    });
    EXPECT_FALSE(ok);

    // The all-in-one component opens the dialog for its own picture.
    TForm owner(nullptr);
    auto* korvane = new TKorvane(&owner);
    korvane->SetParent(&owner);
    korvane->GetKVBitmap()->Allocate(30, 20, kv24RGB);
    EXPECT_FALSE(korvane->DoPrintPreviewDialog(TKVDialogType(5), ""));
    EXPECT_TRUE(RunDialog(
        *korvane->GetKorvaneIO(), [&] { return korvane->DoPrintPreviewDialog(kvdtMaxi, "k"); },
        [&](TKVPrintFormBase& form) {
            EXPECT_EQ(form.KorvaneIO, korvane->GetKorvaneIO());
            Simulate::Click(dynamic_cast<tfkvprnform1&>(form).SpeedButton12);
        }));
}

TEST(PrintPreviewWindow, PrintsUntilClosedAndClosesWithOk)
{
    kvtest::TempFolder folder;
    const std::string pdf = folder.File("preview.pdf");
    TPdfPrinter pdfPrinter(pdf);
    TPrintedPicture picture;
    const bool ok = RunDialog(picture.io, kvdtMaxi, "Preview job", [&](TKVPrintFormBase& form) {
        auto& window = dynamic_cast<tfkvprnform1&>(form);
        EXPECT_EQ(window.Left(), 0);
        EXPECT_EQ(window.Top(), 0);
        // Maximised: the window, menu included, covers the screen and no more.
        EXPECT_EQ(window.Width(), std::max(Screen->Width(), 640));
        EXPECT_EQ(window.Height(), std::max(Screen->Height(), 480));
        EXPECT_LT(window.ClientHeight(), window.Height());
        EXPECT_EQ(window.Edit2->Hint(), "Left Margin");
        EXPECT_EQ(window.Edit1->Hint(), "Top Margin");
        EXPECT_EQ(window.PositionButtons[0]->Hint(), "Top Left");
        EXPECT_EQ(window.PositionButtons[8]->Hint(), "Bottom Right");
        EXPECT_EQ(window.SpeedButton11->Hint(), "Print");
        EXPECT_LT(window.Edit2->Left(), window.Edit1->Left());
        // The preview fills the window below the tool bar.
        TKVBitmap* page = window.KorvaneView1->GetKVBitmap();
        EXPECT_GT(page->GetHeight(), window.KorvaneView1->ClientHeight() - 10);

        // Printed twice, from the tool bar and the menu; the window stays open.
        Simulate::Click(window.SpeedButton11);
        EXPECT_TRUE(window.Modal());
        EXPECT_EQ(window.ModalResult(), mrNone);
        Simulate::Retype(window.Edit2, "3");
        window.Print1->Click();
        EXPECT_TRUE(window.Modal());

        // The printer setup, from the tool bar and the menu, goes through the dialog seam.
        TScriptedDialogService dialogs;
        dialogs.AnswerPrinterSetup(true);
        dialogs.AnswerPrinterSetup(false);
        Simulate::Click(window.SpeedButton10);
        window.PrintSetup1->Click();
        EXPECT_EQ(dialogs.CallsOf(dkPrinterSetup).size(), 2u);

        // Too small a window draws no preview.
        const int32_t shownWidth = page->GetWidth();
        window.SetBounds(0, 0, 90, 300);
        EXPECT_EQ(page->GetWidth(), shownWidth);
        Simulate::Click(window.SpeedButton12);
    });
    EXPECT_TRUE(ok);
    int status = 0;
    const std::string info = RunTool("pdfinfo '" + pdf + "'", &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_EQ(InfoValue(info, "Title"), "Preview job");
    EXPECT_EQ(InfoValue(info, "Pages"), "1");

    // The texts in another language; closed from the menu or with the frame's button.
    picture.io.MsgLanguage = msSpanish;
    EXPECT_TRUE(RunDialog(picture.io, kvdtMaxi, "",
                          [](TKVPrintFormBase& form) { dynamic_cast<tfkvprnform1&>(form).Exit1->Click(); }));
    EXPECT_FALSE(
        RunDialog(picture.io, kvdtMaxi, "", [](TKVPrintFormBase& form) { Simulate::CloseWindow(&form); }));
}
