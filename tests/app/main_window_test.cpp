// The main window, driven as a user would: start-up with and without stored settings, inputs
// stored the moment they change, sizes, the checks before a run, the template choice, preview and
// list, and the menus. The gallery folder and Create are main_window_create_test.cpp's.
#include "app/main_window.h"

#include "app/errors_window.h"
#include "app/options_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/template_params.h"
#include "app/template_params_window.h"
#include "app/template_properties.h"
#include "app/templates.h"
#include "app/templates_organizer.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/picture.h"
#include "tests/app/main_window_test_support.h"
#include "tests/app/window_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using apptest::Items;
using apptest::MainWindow;
using apptest::TChosen;

TEST_F(MainWindow, CleanStartShowsTheDefaultsAndWritesNothing)
{
    TMain& w = Open();
    EXPECT_EQ(w.Caption(), "Plimbet v1.0");
    EXPECT_EQ(w.IconWidth_TXT->Value(), 150);
    EXPECT_EQ(w.IconHeight_TXT->Value(), 150);
    EXPECT_TRUE(w.IconHeight_TXT->Enabled());
    EXPECT_EQ(w.ImageWidth_TXT->Value(), 0);
    EXPECT_EQ(w.ImageHeight_TXT->Value(), 0);
    EXPECT_FALSE(w.ImageWidth_TXT->Enabled());
    EXPECT_FALSE(w.ImageHeight_TXT->Enabled());
    EXPECT_FALSE(w.ImageEq_CHK->Enabled());
    EXPECT_EQ(w.IconQuality_TB->Position(), 80);
    EXPECT_EQ(w.IconQuality_LBL->Caption(), "80");
    EXPECT_EQ(w.ImagesQuality_TB->Position(), 80);
    EXPECT_EQ(w.ImagesQuality_LBL->Caption(), "80");
    EXPECT_EQ(w.ImageSize_CBX->ItemIndex(), 0);
    EXPECT_EQ(w.ImageSize_CBX->Text(), "Don't cahnge");
    EXPECT_EQ(w.ImagesPath_TXT->Text(), "");
    EXPECT_EQ(w.GalleryPath_TXT->Text(), "");
    EXPECT_EQ(w.Template_CBX->ItemIndex(), -1);
    EXPECT_EQ(Items(w.Template_CBX),
              (std::vector<std::string>{"Template from file ...", "Blue", "Corrupt picture", "No picture",
                                        "noini", "Plain"}));
    EXPECT_FALSE(w.Template_TXT->Enabled());
    EXPECT_FALSE(w.TemplateOpen_BTN->Enabled());
    EXPECT_EQ(w.TempParam_BTN->Caption(), "Parameters of template");
    EXPECT_FALSE(w.TempParam_BTN->Enabled());
    EXPECT_EQ(w.Width(), 408);
    EXPECT_FALSE(w.Preview_IMG->Visible());
    EXPECT_EQ(w.Create_BTN->Left(), (408 - w.Create_BTN->Width()) / 2);

    const TGallerySettings& s = GallerySettings;
    EXPECT_EQ(s.ProgramFolder, FTemp.File("program/"));
    EXPECT_EQ(s.TemplateIndex, -1);
    EXPECT_EQ(s.ImageSizeIndex, 0);
    EXPECT_EQ(s.IconWidth, 150);
    EXPECT_EQ(s.ImageQuality, 80);
    EXPECT_EQ(s.TableCols, 3);
    EXPECT_FALSE(FileExists(FStore));
    EXPECT_TRUE(FDialogs.Calls().empty());
}

TEST_F(MainWindow, TheProgramsIconComesFromItsDataFolder)
{
    ASSERT_TRUE(ForceDirectories(FTemp.File("program/data/")));
    ASSERT_TRUE(CopyFile(std::string(KV_SOURCE_DIR) + "/data/plimbet.png",
                         FTemp.File("program/data/plimbet.png"), false));
    Open();
    EXPECT_EQ(Application->IconFile(), FTemp.File("program/data/plimbet.png"));
}

TEST_F(MainWindow, StoredValuesAreShownAndWhatTheControlsClampIsWrittenBack)
{
    RegWriteString(OptionsSection, "ImagesPath", "/pictures/");
    RegWriteString(OptionsSection, "GalleryPath", "/web/");
    RegWriteInteger(OptionsSection, "IconWidth", 5000);
    RegWriteInteger(OptionsSection, "IconHeight", 60);
    RegWriteInteger(OptionsSection, "ImageWidth", -5);
    RegWriteInteger(OptionsSection, "ImageHeight", 480);
    RegWriteInteger(OptionsSection, "IconQuality", 3);
    RegWriteInteger(OptionsSection, "ImageQuality", 95);
    RegWriteString(OptionsSection, "TableCols", "not a number");

    TMain& w = Open();
    EXPECT_EQ(w.ImagesPath_TXT->Text(), "/pictures/");
    EXPECT_EQ(w.GalleryPath_TXT->Text(), "/web/");
    EXPECT_EQ(w.IconWidth_TXT->Value(), 1000);
    EXPECT_EQ(w.IconHeight_TXT->Value(), 60);
    EXPECT_EQ(w.ImageWidth_TXT->Value(), 0);
    EXPECT_EQ(w.ImageHeight_TXT->Value(), 480);
    EXPECT_EQ(w.IconQuality_TB->Position(), 10);
    EXPECT_EQ(w.IconQuality_LBL->Caption(), "10");
    EXPECT_EQ(w.ImagesQuality_LBL->Caption(), "95");

    const struct
    {
        const char* Name;
        int32_t Field;
        int32_t Stored;
    } values[] = {
        {"IconWidth", GallerySettings.IconWidth, 1000},   {"IconHeight", GallerySettings.IconHeight, 60},
        {"ImageWidth", GallerySettings.ImageWidth, 0},    {"ImageHeight", GallerySettings.ImageHeight, 480},
        {"IconQuality", GallerySettings.IconQuality, 10}, {"ImageQuality", GallerySettings.ImageQuality, 95},
    };
    for (const auto& value : values) {
        EXPECT_EQ(value.Field, value.Stored) << value.Name;
        EXPECT_EQ(StoredInteger(value.Name), value.Stored) << value.Name;
    }
    // A value of the wrong type reads as its default.
    EXPECT_EQ(GallerySettings.TableCols, 3);
}

TEST_F(MainWindow, EachInputIsStoredTheMomentItChanges)
{
    TMain& w = Open();
    Simulate::Type(w.ImagesPath_TXT, "/pics");
    EXPECT_EQ(Stored("ImagesPath"), "/pics");
    EXPECT_EQ(GallerySettings.ImagesPath, "/pics");
    Simulate::Retype(w.GalleryPath_TXT, "/web/gallery/");
    EXPECT_EQ(Stored("GalleryPath"), "/web/gallery/");

    Simulate::Retype(w.IconWidth_TXT, "200");
    EXPECT_EQ(StoredInteger("IconWidth"), 200);
    EXPECT_EQ(StoredInteger("IconHeight"), 150);
    Simulate::SpinUp(w.IconHeight_TXT);
    EXPECT_EQ(StoredInteger("IconHeight"), 151);
    EXPECT_EQ(GallerySettings.IconHeight, 151);

    // An emptied field shows its minimum at once; a typed value beyond the range stays until
    // the field is left.
    Simulate::Retype(w.IconWidth_TXT, "");
    Simulate::Key(w.IconWidth_TXT, VK_BACK);
    EXPECT_EQ(w.IconWidth_TXT->Text(), "50");
    EXPECT_EQ(StoredInteger("IconWidth"), 50);
    Simulate::Retype(w.IconWidth_TXT, "5000");
    EXPECT_EQ(StoredInteger("IconWidth"), 5000);
    EXPECT_EQ(GallerySettings.IconWidth, 5000);
    Simulate::Focus(w.IconHeight_TXT);
    EXPECT_EQ(w.IconWidth_TXT->Text(), "1000");
    EXPECT_EQ(StoredInteger("IconWidth"), 1000);

    Simulate::Slide(w.IconQuality_TB, 55);
    EXPECT_EQ(w.IconQuality_LBL->Caption(), "55");
    EXPECT_EQ(StoredInteger("IconQuality"), 55);
    Simulate::Slide(w.ImagesQuality_TB, 100);
    EXPECT_EQ(w.ImagesQuality_LBL->Caption(), "100");
    EXPECT_EQ(StoredInteger("ImageQuality"), 100);
    EXPECT_EQ(GallerySettings.ImageQuality, 100);

    // The template file, the template choice and the size choice live in memory only.
    Simulate::Choose(w.Template_CBX, 0);
    Simulate::Type(w.Template_TXT, "/pages/own.html");
    Simulate::Choose(w.ImageSize_CBX, 2);
    EXPECT_EQ(GallerySettings.TemplateFile, "/pages/own.html");
    for (const char* name : {"TemplateFile", "TemplateIndex", "ImageSizeIndex", "Template_TXT"}) {
        EXPECT_EQ(Stored(name), "<none>") << name;
    }
}

TEST_F(MainWindow, MakeEqualAndThePresetsSetTheSizes)
{
    TMain& w = Open();
    Simulate::Retype(w.IconWidth_TXT, "120");
    Simulate::Click(w.IconEq_CHK);
    EXPECT_FALSE(w.IconHeight_TXT->Enabled());
    EXPECT_EQ(w.IconHeight_TXT->Value(), 120);
    EXPECT_EQ(StoredInteger("IconHeight"), 120);
    Simulate::Retype(w.IconWidth_TXT, "300");
    EXPECT_EQ(w.IconHeight_TXT->Value(), 300);
    EXPECT_EQ(StoredInteger("IconWidth"), 300);
    EXPECT_EQ(StoredInteger("IconHeight"), 300);
    Simulate::Click(w.IconEq_CHK);
    EXPECT_TRUE(w.IconHeight_TXT->Enabled());
    EXPECT_EQ(w.IconHeight_TXT->Value(), 300);

    const struct
    {
        int32_t Index;
        int32_t Width;
        int32_t Height;
    } presets[] = {{1, 640, 480}, {2, 800, 600}, {3, 1024, 768}, {4, 1280, 1024}, {5, 1600, 1200}};
    for (const auto& preset : presets) {
        Simulate::Choose(w.ImageSize_CBX, preset.Index);
        EXPECT_EQ(GallerySettings.ImageSizeIndex, preset.Index);
        EXPECT_EQ(w.ImageWidth_TXT->Value(), preset.Width);
        EXPECT_EQ(w.ImageHeight_TXT->Value(), preset.Height);
        EXPECT_EQ(StoredInteger("ImageWidth"), preset.Width);
        EXPECT_EQ(StoredInteger("ImageHeight"), preset.Height);
        EXPECT_FALSE(w.ImageWidth_TXT->Enabled());
        EXPECT_FALSE(w.ImageEq_CHK->Enabled());
    }

    // The custom size keeps the values and opens the fields; "Make equal" works there too.
    Simulate::Choose(w.ImageSize_CBX, 6);
    EXPECT_EQ(w.ImageWidth_TXT->Value(), 1600);
    EXPECT_TRUE(w.ImageWidth_TXT->Enabled());
    EXPECT_TRUE(w.ImageHeight_TXT->Enabled());
    EXPECT_TRUE(w.ImageEq_CHK->Enabled());
    Simulate::Click(w.ImageEq_CHK);
    EXPECT_EQ(w.ImageHeight_TXT->Value(), 1600);
    EXPECT_FALSE(w.ImageHeight_TXT->Enabled());
    Simulate::Retype(w.ImageWidth_TXT, "900");
    EXPECT_EQ(StoredInteger("ImageHeight"), 900);

    // Back to the pictures' own size: the values stay, the fields close.
    Simulate::Choose(w.ImageSize_CBX, 0);
    EXPECT_EQ(w.ImageWidth_TXT->Value(), 900);
    EXPECT_FALSE(w.ImageWidth_TXT->Enabled());
    EXPECT_FALSE(w.ImageHeight_TXT->Enabled());
    // Choosing custom again while "Make equal" is checked keeps the height closed.
    Simulate::Choose(w.ImageSize_CBX, 6);
    EXPECT_FALSE(w.ImageHeight_TXT->Enabled());
}

TEST_F(MainWindow, TheChecksBeforeARunComeOneAtATimeInOrder)
{
    TMain& w = Open();
    const struct
    {
        std::function<void()> Change;
        const char* Message;
    } steps[] = {
        {[] {}, "You should specify the folder with images"},
        // Blanks name no folder.
        {[&] { Simulate::Type(w.ImagesPath_TXT, "  "); }, "You should specify the folder with images"},
        {[&] { Simulate::Retype(w.ImagesPath_TXT, FTemp.File("pictures/")); },
         "You should specify the gallery template"},
        // Without a template file the third message comes although the gallery folder is missing too.
        {[&] { Simulate::Choose(w.Template_CBX, 0); }, "You should specify the template file"},
        {[&] { Simulate::Choose(w.Template_CBX, 1); }, "You should specify the folder to create the gallery"},
        {[&] { Simulate::Type(w.GalleryPath_TXT, "   "); },
         "You should specify the folder to create the gallery"},
        {[&] {
             Simulate::Retype(w.GalleryPath_TXT, FTemp.File("web/"));
             Simulate::Choose(w.ImageSize_CBX, 6);
         },
         "You should specify the width of the images"},
        {[&] { Simulate::Retype(w.ImageWidth_TXT, "500"); }, "You should specify the height of the images"},
    };
    for (const auto& step : steps) {
        step.Change();
        FDialogs.ClearCalls();
        Simulate::Click(w.Create_BTN);
        const std::vector<TDialogCall> calls = FDialogs.CallsOf(dkMessageBox);
        ASSERT_EQ(calls.size(), 1u) << step.Message;
        EXPECT_EQ(calls[0].Text, step.Message);
        EXPECT_EQ(calls[0].Caption, "Plimbet v1.0");
        EXPECT_EQ(calls[0].Flags, 16u);
        EXPECT_FALSE(w.ValidateInputs());
    }

    Simulate::Retype(w.ImageHeight_TXT, "400");
    FDialogs.ClearCalls();
    EXPECT_TRUE(w.ValidateInputs());
    // A preset never leaves a size at 0, and keeping the size needs none.
    for (int32_t index : {0, 1, 5}) {
        Simulate::Choose(w.ImageSize_CBX, index);
        EXPECT_TRUE(w.ValidateInputs()) << index;
    }
    EXPECT_TRUE(FDialogs.CallsOf(dkMessageBox).empty());
}

TEST_F(MainWindow, ChoosingATemplateSetsTheSourcePreviewAndParameters)
{
    TMain& w = Open();
    const int32_t narrowLeft = w.Left();

    // Blue has a preview: the window widens around its centre.
    Simulate::Choose(w.Template_CBX, 1);
    EXPECT_EQ(GallerySettings.TemplateIndex, 1);
    EXPECT_EQ(w.Width(), 788);
    EXPECT_EQ(w.Left(), narrowLeft - 190);
    EXPECT_TRUE(w.Preview_LBL->Visible());
    EXPECT_TRUE(w.Preview_BVL->Visible());
    EXPECT_TRUE(w.Preview_IMG->Visible());
    EXPECT_EQ(w.Preview_IMG->Picture()->Width(), 150);
    EXPECT_EQ(w.Preview_IMG->Picture()->Height(), 103);
    EXPECT_EQ(w.Create_BTN->Left(), (788 - w.Create_BTN->Width()) / 2);
    EXPECT_FALSE(w.Template_TXT->Enabled());
    EXPECT_EQ(w.TempParam_BTN->Caption(), "Parameters of the template (this template contains 2 parameters)");
    EXPECT_TRUE(w.TempParam_BTN->Enabled());

    // From a file: narrow again, the file field opens and keeps its text.
    Simulate::Choose(w.Template_CBX, 0);
    EXPECT_EQ(w.Width(), 408);
    EXPECT_EQ(w.Left(), narrowLeft);
    EXPECT_FALSE(w.Preview_IMG->Visible());
    EXPECT_TRUE(w.Template_TXT->Enabled());
    EXPECT_EQ(w.Template_TXT->Color(), clWindow);
    EXPECT_TRUE(w.TemplateOpen_BTN->Enabled());
    EXPECT_FALSE(w.TempParam_BTN->Enabled());
    const std::string own = FTemp.Write("own.html", "@_one_@");
    FDialogs.AnswerFiles({own});
    Simulate::Click(w.TemplateOpen_BTN);
    const std::vector<TDialogCall> opened = FDialogs.CallsOf(dkOpenFile);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].File.Title, "Open file of template");
    EXPECT_EQ(opened[0].File.Filter, "Template's files|*.htm;*.html|All files|*.*");
    EXPECT_EQ(opened[0].File.FileName, "");
    EXPECT_EQ(w.Template_TXT->Text(), own);
    // The next time the dialog opens at the file the field names.
    FDialogs.CancelFiles();
    Simulate::Click(w.TemplateOpen_BTN);
    ASSERT_EQ(FDialogs.CallsOf(dkOpenFile).size(), 2u);
    EXPECT_EQ(FDialogs.CallsOf(dkOpenFile)[1].File.FileName, own);
    EXPECT_EQ(GallerySettings.TemplateFile, own);
    EXPECT_EQ(w.TempParam_BTN->Caption(), "Parameters of the template (this template contains 1 parameter)");

    // Templates whose preview is missing or no JPEG show none and keep the window narrow; the
    // rest of the choice still happens.
    for (int32_t index : {2, 3}) {
        Simulate::Choose(w.Template_CBX, index);
        EXPECT_EQ(w.Width(), 408) << index;
        EXPECT_FALSE(w.Preview_IMG->Visible()) << index;
        EXPECT_FALSE(w.Template_TXT->Enabled()) << index;
        EXPECT_EQ(w.Template_TXT->Color(), clBtnFace);
        EXPECT_EQ(w.TempParam_BTN->Caption(), "Parameters of template");
    }
    // A template with only template.htm has its parameters read from it.
    Simulate::Choose(w.Template_CBX, 5);
    EXPECT_EQ(TemplateParams.Count(), 2);
    EXPECT_EQ(w.Template_TXT->Text(), own);
    EXPECT_TRUE(FDialogs.CallsOf(dkMessageBox).empty());
}

TEST_F(MainWindow, TheTemplateListFollowsTheTemplatesFolder)
{
    TMain& w = Open();
    Simulate::Choose(w.Template_CBX, 3);
    ASSERT_EQ(Chosen(), (TChosen{3, 3, "No picture", "missing-preview"}));

    // Templates that come or go before the chosen one leave it chosen.
    std::filesystem::remove_all(FTemp.File("program/templates/blue"));
    LoadTemplateList();
    EXPECT_EQ(Items(w.Template_CBX), (std::vector<std::string>{"Template from file ...", "Corrupt picture",
                                                               "No picture", "noini", "Plain"}));
    EXPECT_EQ(Chosen(), (TChosen{2, 2, "No picture", "missing-preview"}));
    ASSERT_TRUE(ForceDirectories(FTemp.File("program/templates/added/")));
    FTemp.Write("program/templates/added/template.ini", "[options]\nname=Added\n");
    LoadTemplateList();
    EXPECT_EQ(Chosen(), (TChosen{3, 3, "No picture", "missing-preview"}));

    // The chosen one goes: its position stays chosen.
    std::filesystem::remove_all(FTemp.File("program/templates/missing-preview"));
    LoadTemplateList();
    EXPECT_EQ(Items(w.Template_CBX), (std::vector<std::string>{"Template from file ...", "Added",
                                                               "Corrupt picture", "noini", "Plain"}));
    EXPECT_EQ(Chosen(), (TChosen{3, 3, "noini", "noini"}));

    // The chosen last one goes: the new last item is chosen.
    Simulate::Choose(w.Template_CBX, 4);
    std::filesystem::remove_all(FTemp.File("program/templates/plain"));
    LoadTemplateList();
    EXPECT_EQ(Chosen(), (TChosen{3, 3, "noini", "noini"}));

    // The file choice stays whatever the templates do.
    Simulate::Choose(w.Template_CBX, 0);
    std::filesystem::remove_all(FTemp.File("program/templates/added"));
    LoadTemplateList();
    EXPECT_EQ(w.Template_CBX->ItemIndex(), 0);

    // Without a templates folder only the file choice is left.
    Simulate::Choose(w.Template_CBX, 2);
    std::filesystem::remove_all(FTemp.File("program/templates"));
    LoadTemplateList();
    EXPECT_EQ(Items(w.Template_CBX), (std::vector<std::string>{"Template from file ..."}));
    EXPECT_EQ(w.Template_CBX->ItemIndex(), 0);
    EXPECT_TRUE(InstalledTemplates.empty());
}

TEST_F(MainWindow, TheChosenTemplateStaysChosenWhileTheOrganizerAddsAndDeletes)
{
    TMain& w = Open();
    apptest::Owned<TTempOrg> organizer;
    apptest::Owned<TTempName> properties;
    apptest::Owned<TStatus> status;
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());
    Simulate::Type(w.ImagesPath_TXT, FTemp.File("pictures/"));
    Simulate::Type(w.GalleryPath_TXT, FTemp.File("web/"));
    // "Plain" is the last template: a new template's folder, random hexadecimal digits, sorts
    // in before it.
    Simulate::Choose(w.Template_CBX, 5);
    ASSERT_TRUE(ForceDirectories(FTemp.File("site/")));
    const std::string page = FTemp.Write("site/page.html", "<p>added page</p><thumbs>\n");
    // The organizer opened from the menu, Action done in it, and closed by its frame.
    const auto organize = [&](const std::function<void()>& Action) {
        apptest::WhenModal user(organizer.get(), [&] {
            Action();
            Simulate::CloseWindow(organizer.get());
        });
        w.Templates_MNU->Click();
        EXPECT_TRUE(user.Ran());
    };

    FDialogs.AnswerFiles({page});
    organize([&] {
        apptest::WhenModal named(properties.get(), [&] {
            Simulate::Type(properties->Name_TXT, "Added");
            Simulate::Click(properties->Ok_BTN);
        });
        Simulate::Click(organizer->Add_BTN);
        EXPECT_TRUE(named.Ran());
    });
    EXPECT_EQ(w.Template_CBX->Items()->Count(), 7);
    EXPECT_EQ(Chosen(), (TChosen{6, 6, "Plain", "plain"}));
    EXPECT_EQ(ChosenTemplateFile(), FTemp.File("program/templates/plain/template.htm"));

    // The next gallery is made with it.
    {
        apptest::TRunCloser closer(status.get());
        Simulate::Click(w.Create_BTN);
        EXPECT_TRUE(closer.Closed());
    }
    EXPECT_EQ(status->LastResult(), grSucceeded);
    const std::string made = kvtest::TempFolder::Read(FTemp.File("web/index.html"));
    EXPECT_EQ(made.rfind("<p>greeting from author</p>", 0), 0u) << made;

    // Deleting a template listed before it leaves it chosen too.
    FDialogs.AnswerMessageBox(IDYES);
    organize([&] {
        EXPECT_TRUE(apptest::ClickRow(organizer->Temp_LST, "Blue"));
        Simulate::Click(organizer->Delete_BTN);
    });
    EXPECT_FALSE(DirectoryExists(FTemp.File("program/templates/blue")));
    EXPECT_EQ(Chosen(), (TChosen{5, 5, "Plain", "plain"}));

    // Deleting the chosen one: the position stays chosen while the list reaches it.
    FDialogs.AnswerMessageBox(IDYES);
    organize([&] {
        EXPECT_TRUE(apptest::ClickRow(organizer->Temp_LST, "Plain"));
        Simulate::Click(organizer->Delete_BTN);
    });
    EXPECT_EQ(w.Template_CBX->Items()->Count(), 5);
    EXPECT_EQ(Chosen(), (TChosen{4, 4, "noini", "noini"}));
}

TEST_F(MainWindow, HelpMenuOpensTheDescriptionAndTheWebPage)
{
    TMain& w = Open();
    w.Content_MNU->Click();
    const std::vector<TDialogCall> help = FDialogs.CallsOf(dkHelpTopic);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0].Caption, FTemp.File("program/plimbet.chm"));
    EXPECT_EQ(help[0].Text, "decription.htm");
    w.Site_MNU->Click();
    const std::vector<TDialogCall> opened = FDialogs.CallsOf(dkShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].Text, ProductWebPage);

    w.ImagesOpen_BTN->Click();
    const std::vector<TDialogCall> pickers = FDialogs.CallsOf(dkBrowseForFolder);
    ASSERT_EQ(pickers.size(), 1u);
    EXPECT_EQ(pickers[0].Caption, "Please choose the folder with images");
    EXPECT_EQ(pickers[0].Text, "");
    FDialogs.AnswerFolder(FTemp.File("pictures/"));
    w.ImagesOpen_BTN->Click();
    EXPECT_EQ(w.ImagesPath_TXT->Text(), FTemp.File("pictures/"));
    EXPECT_EQ(Stored("ImagesPath"), FTemp.File("pictures/"));
    // The picker opens at the folder the field names.
    w.ImagesOpen_BTN->Click();
    EXPECT_EQ(FDialogs.CallsOf(dkBrowseForFolder).back().Text, FTemp.File("pictures/"));
}

TEST_F(MainWindow, F1AsksForTheHelpTopicOfTheWindowInFront)
{
    TMain& w = Open();
    Simulate::Key(w.ImagesPath_TXT, VK_F1);
    std::vector<TDialogCall> help = FDialogs.CallsOf(dkHelpTopic);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0].Caption, FTemp.File("program/plimbet.chm"));
    EXPECT_EQ(help[0].Text, "main.htm");

    // The run's windows show the description (the other windows are driven with their own tests).
    // A window of the status window's name stands in for it, since showing the real one starts a run.
    auto* error = new TError(Application);
    auto* status = new TForm(Application);
    status->SetName("Status");
    for (TForm* window : {static_cast<TForm*>(error), status}) {
        FDialogs.ClearCalls();
        apptest::WhenModal user(window, [&] {
            Simulate::Key(window, VK_F1);
            window->SetModalResult(mrCancel);
        });
        window->ShowModal();
        ASSERT_TRUE(user.Ran()) << window->Name();
        help = FDialogs.CallsOf(dkHelpTopic);
        ASSERT_EQ(help.size(), 1u) << window->Name();
        EXPECT_EQ(help[0].Caption, FTemp.File("program/plimbet.chm"));
        EXPECT_EQ(help[0].Text, "decription.htm") << window->Name();
        window->Free();
    }
}

TEST_F(MainWindow, OptionsAndParametersOpenTheirWindows)
{
    TMain& w = Open();
    auto* options = new TOptions(Application);
    auto* parameters = new TTempParam(Application);

    {
        apptest::WhenModal close(options, [&] { options->SetModalResult(mrCancel); });
        w.Options_MNU->Click();
        EXPECT_TRUE(close.Ran());
    }

    // With no parameter the button does nothing; with some it opens their window.
    Simulate::Choose(w.Template_CBX, 2);
    w.TempParam_BTNClick(w.TempParam_BTN);
    Simulate::Choose(w.Template_CBX, 1);
    {
        apptest::WhenModal close(parameters, [&] { parameters->SetModalResult(mrCancel); });
        Simulate::Click(w.TempParam_BTN);
        EXPECT_TRUE(close.Ran());
    }
    options->Free();
    parameters->Free();
}
