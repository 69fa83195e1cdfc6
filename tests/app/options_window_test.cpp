// The table options window, driven as a user would: what it shows, the colour field's key filter,
// the colour dialog, the viewer page, and the values written on OK only.
#include "app/options_window.h"

#include "app/settings.h"
#include "platform/core/registry.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class OptionsWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GallerySettings = TGallerySettings();
        FWindow = new TOptions(Application);
        FWindow->AfterConstruction();
    }

    void TearDown() override
    {
        FWindow->Hide();
        FWindow->Free();
        GallerySettings = TGallerySettings();
    }

    TOptions& Show()
    {
        FWindow->Show();
        Simulate::ProcessEvents();
        return *FWindow;
    }

    std::string Stored(const char* Name) const { return RegReadString(OptionsSection, Name, "<none>"); }
    int32_t StoredInteger(const char* Name) const { return RegReadInteger(OptionsSection, Name, -999); }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    TScriptedDialogService FDialogs;
    TOptions* FWindow = nullptr;
};

} // namespace

TEST_F(OptionsWindow, ShowsTheDefaultSettings)
{
    TOptions& window = Show();
    EXPECT_EQ(window.Caption(), "Options");
    EXPECT_EQ(window.Width(), 240);
    EXPECT_EQ(window.Height(), 374);
    EXPECT_EQ(window.Cols_TXT->Value(), 3);
    EXPECT_EQ(window.Rows_TXT->Value(), 3);
    EXPECT_EQ(window.Border_TXT->Value(), 1);
    EXPECT_EQ(window.Cellspace_TXT->Value(), 0);
    EXPECT_EQ(window.Cellpad_TXT->Value(), 0);
    EXPECT_EQ(window.HAlign_CBX->ItemIndex(), -1);
    EXPECT_EQ(window.VAlign_CBX->ItemIndex(), -1);
    EXPECT_EQ(window.BgColor_TXT->Text(), "");
    EXPECT_EQ(window.View_TXT->Text(), "");
}

TEST_F(OptionsWindow, AlignmentsAreFoundWithoutRegardToCaseAndAnUnknownOneKeepsTheSelection)
{
    GallerySettings.TableAlign = "center";
    GallerySettings.TableVAlign = "BASELINE";
    TOptions& window = Show();
    EXPECT_EQ(window.HAlign_CBX->ItemIndex(), 2);
    EXPECT_EQ(window.VAlign_CBX->ItemIndex(), 4);

    window.Hide();
    GallerySettings.TableAlign = "justify";
    GallerySettings.TableVAlign = "";
    Show();
    EXPECT_EQ(window.HAlign_CBX->ItemIndex(), 2);
    EXPECT_EQ(window.VAlign_CBX->ItemIndex(), 4);
}

TEST_F(OptionsWindow, TheColourFieldLetsTypingBuildANumberSignAndSixDigits)
{
    TOptions& window = Show();
    TEdit* field = window.BgColor_TXT;
    const struct
    {
        const char* Before;
        bool SelectAll;
        const char* Typed;
        const char* After;
    } cases[] = {
        {"", false, "1", ""},               // a digit needs the number sign first
        {"", false, "#", "#"},              // the sign starts the field
        {"", false, "#ff8000", "#ff8000"},  // then six digits of either case
        {"#FF8000", false, "1", "#FF8000"}, // an eighth character is refused
        {"#FF80", false, "#", "#FF80"},     // the sign only at the start
        {"#FF80", true, "#", "#"},          // or over the whole text
        {"#FF80", true, "A", "A"},          // a digit may replace a selection within the length
        {"#", false, "g-Z.", "#"},          // no other characters
        {"#12", false, "\b", "#1"},         // backspace always passes
    };
    for (const auto& c : cases) {
        field->SetText(c.Before);
        Simulate::Focus(field);
        field->SetSelStart(static_cast<int32_t>(std::string(c.Before).size()));
        if (c.SelectAll) {
            field->SelectAll();
        }
        if (std::string(c.Typed) == "\b") {
            Simulate::Key(field, VK_BACK);
        } else {
            Simulate::Type(field, c.Typed);
        }
        EXPECT_EQ(field->Text(), c.After) << c.Before << " + " << c.Typed;
    }
}

TEST_F(OptionsWindow, TheColourDialogStartsAtTheFieldsColourAndGivesRRGGBB)
{
    TOptions& window = Show();
    window.BgColor_TXT->SetText("#FF8000");
    FDialogs.AnswerColor(RGBToColor(0, 0, 255));
    Simulate::Click(window.Color_BTN);

    const auto calls = FDialogs.CallsOf(dkChooseColor);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Color, RGBToColor(255, 128, 0));
    EXPECT_TRUE(calls[0].FullOpen);
    EXPECT_EQ(window.BgColor_TXT->Text(), "#0000FF");

    FDialogs.AnswerColor(RGBToColor(0xAB, 0x0C, 0xDE));
    Simulate::Click(window.Color_BTN);
    EXPECT_EQ(window.BgColor_TXT->Text(), "#AB0CDE");

    // A cancelled dialog leaves the field alone.
    FDialogs.CancelColor();
    Simulate::Click(window.Color_BTN);
    EXPECT_EQ(window.BgColor_TXT->Text(), "#AB0CDE");
}

TEST_F(OptionsWindow, APastedTextThatIsNoColourOpensTheDialogAtItsLastColour)
{
    TOptions& window = Show();
    const char* texts[] = {"#GG0000", "FF80000", "#FF80", "", "#FF8000 "};
    // Black the first time, then the colour chosen last.
    TColor last = RGBToColor(0, 0, 0);
    for (const char* text : texts) {
        window.BgColor_TXT->SetText(text);
        const TColor chosen = RGBToColor(static_cast<uint8_t>(std::string(text).size() * 20), 1, 2);
        FDialogs.AnswerColor(chosen);
        Simulate::Click(window.Color_BTN);
        const auto calls = FDialogs.CallsOf(dkChooseColor);
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().Color, last) << text;
        last = chosen;
    }
}

TEST_F(OptionsWindow, TheViewerPageKeepsTheFileNameOnly)
{
    TOptions& window = Show();
    FDialogs.AnswerFiles({"/srv/site/scripts/view.php"});
    Simulate::Click(window.Open_BTN);
    EXPECT_EQ(window.View_TXT->Text(), "view.php");
    const auto calls = FDialogs.CallsOf(dkOpenFile);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].File.Title, "Select viewer page");
    EXPECT_EQ(calls[0].File.Filter, "HTML files|*.htm;*.html|PHP files|*.php;*.php3;*.php4|ASP files|*.asp|"
                                    "Perl files|*.cgi;*.pl|All files|*.*");

    FDialogs.CancelFiles();
    Simulate::Click(window.Open_BTN);
    EXPECT_EQ(window.View_TXT->Text(), "view.php");
}

TEST_F(OptionsWindow, OkStoresTheEightValuesAndKeepsTheViewerPageInMemory)
{
    TOptions& window = Show();
    Simulate::Retype(window.Cols_TXT, "5");
    Simulate::Retype(window.Rows_TXT, "4");
    Simulate::Retype(window.Border_TXT, "0");
    Simulate::Retype(window.Cellspace_TXT, "2");
    Simulate::Retype(window.Cellpad_TXT, "3");
    Simulate::Choose(window.HAlign_CBX, 2);
    Simulate::Choose(window.VAlign_CBX, 0);
    window.BgColor_TXT->SetText("#12");
    window.View_TXT->SetText("show.html");
    EXPECT_EQ(Stored("TableCols"), "<none>") << "nothing is written before OK";

    Simulate::Click(window.Ok_BTN);
    EXPECT_EQ(window.ModalResult(), mrOk);
    const struct
    {
        const char* Name;
        int32_t Expected;
        int32_t Setting;
    } numbers[] = {
        {"TableCols", 5, GallerySettings.TableCols},
        {"TableRows", 4, GallerySettings.TableRows},
        {"TableBorder", 0, GallerySettings.TableBorder},
        {"TableCellspace", 2, GallerySettings.TableCellspace},
        {"TableCellpad", 3, GallerySettings.TableCellpad},
    };
    for (const auto& number : numbers) {
        EXPECT_EQ(StoredInteger(number.Name), number.Expected) << number.Name;
        EXPECT_EQ(number.Setting, number.Expected) << number.Name;
    }
    EXPECT_EQ(Stored("TableAlign"), "Center");
    EXPECT_EQ(Stored("TableVAlign"), "Default");
    // Stored as typed, also when it is no full colour.
    EXPECT_EQ(Stored("TableBGColor"), "#12");
    EXPECT_EQ(GallerySettings.TableAlign, "Center");
    EXPECT_EQ(GallerySettings.TableVAlign, "Default");
    EXPECT_EQ(GallerySettings.TableBGColor, "#12");
    EXPECT_EQ(GallerySettings.ViewerPage, "show.html");
    EXPECT_EQ(Stored("ViewerPage"), "<none>");
}

TEST_F(OptionsWindow, TypedNumbersOutsideTheirRangeAreStoredWithinIt)
{
    TOptions& window = Show();
    const struct
    {
        TCSpinEdit* Field;
        const char* Typed;
        const char* Name;
        int32_t Expected;
    } cases[] = {
        {window.Cols_TXT, "0", "TableCols", 2},
        {window.Rows_TXT, "99", "TableRows", 20},
        {window.Border_TXT, "11", "TableBorder", 10},
        {window.Cellspace_TXT, "", "TableCellspace", 0},
    };
    // Typed text counts as it stands while the field has the focus; OK by the keyboard never
    // takes the focus away.
    for (const auto& c : cases) {
        c.Field->SetText(c.Typed);
    }
    window.Ok_BTNClick(window.Ok_BTN);
    for (const auto& c : cases) {
        EXPECT_EQ(StoredInteger(c.Name), c.Expected) << c.Name;
    }
}

TEST_F(OptionsWindow, CancelLeavesTheSettingsAndTheNextShowingStartsFromThem)
{
    RegWriteInteger(OptionsSection, "TableCols", 3);
    TOptions& window = Show();
    Simulate::Retype(window.Cols_TXT, "5");
    Simulate::Choose(window.HAlign_CBX, 3);
    Simulate::Click(window.Cancel_BTN);
    EXPECT_EQ(window.ModalResult(), mrCancel);
    EXPECT_EQ(GallerySettings.TableCols, 3);
    EXPECT_EQ(GallerySettings.TableAlign, "");
    EXPECT_EQ(StoredInteger("TableCols"), 3);
    EXPECT_EQ(Stored("TableAlign"), "<none>");

    window.Hide();
    Show();
    EXPECT_EQ(window.Cols_TXT->Value(), 3);
}
