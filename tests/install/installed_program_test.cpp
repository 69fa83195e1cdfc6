// The program as `cmake --install` lays it out, run from an installed prefix (install_test.sh
// makes one and names it in PLIMBET_INSTALL_PREFIX): it finds its templates, data and help under
// share/plimbet/, makes a gallery with them, and leaves the shipped templates as they are while
// the organizer adds, changes and deletes the user's own in $XDG_DATA_HOME/plimbet/templates/.
#include "app/errors_window.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/template_properties.h"
#include "app/templates.h"
#include "app/templates_organizer.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/app/window_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// Every file under Folder with its content.
std::map<std::string, std::string> Contents(const std::string& Folder)
{
    std::map<std::string, std::string> contents;
    for (const std::string& entry : gallerytest::FolderTree(Folder)) {
        if (entry.back() != '/') {
            contents[entry] = kvtest::TempFolder::Read(Folder + entry);
        }
    }
    return contents;
}

class InstalledProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* prefix = std::getenv("PLIMBET_INSTALL_PREFIX");
        ASSERT_NE(prefix, nullptr) << "run by tests/install/install_test.sh";
        // The folder the installed executable finds for itself; this program stands in for it.
        FProgram = ProgramFolderOf(IncludeTrailingPathDelimiter(prefix) + "bin/plimbet");
        ASSERT_EQ(FProgram, IncludeTrailingPathDelimiter(prefix) + "share/plimbet/");
        FHome = std::make_unique<kvtest::ScopedEnv>("PLIMBET_HOME", FProgram);
        FShipped = Contents(FProgram + "templates/");
        for (TForm* window : std::initializer_list<TForm*>{
                 FMain = new TMain(Application), new TStatus(Application), new TError(Application),
        FOrganizer = new TTempOrg(Application), FProperties = new TTempName(Application)}) {
            window->AfterConstruction();
            FWindows.push_back(window);
        }
        FMain->Show();
        Simulate::ProcessEvents();
    }

    void TearDown() override
    {
        for (auto window = FWindows.rbegin(); window != FWindows.rend(); ++window) {
            (*window)->Free();
        }
        GallerySettings = TGallerySettings();
        InstalledTemplates.clear();
    }

    // The template list of the main window, without "Template from file ...", sorted.
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> names;
        for (int32_t i = 1; i < FMain->Template_CBX->Items()->Count(); ++i) {
            names.push_back(FMain->Template_CBX->Items()->Strings(i));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Opens the organizer from the menu, selects the template of that name and clicks Button; a
    // properties window that opens gets NewName and OK.
    void Organize(const std::string& Name, TButton* TTempOrg::*Button, const std::string& NewName = "")
    {
        apptest::WhenModal organizer(FOrganizer, [&] {
            apptest::ClickRow(FOrganizer->Temp_LST, Name);
            apptest::WhenModal properties(FProperties, [&] {
                FProperties->Name_TXT->SetText(NewName);
                FProperties->Ok_BTN->Click();
            });
            Simulate::Click(FOrganizer->*Button);
            Simulate::Key(FOrganizer->Temp_LST, VK_ESCAPE);
        });
        FMain->Templates_MNU->Click();
        EXPECT_TRUE(organizer.Ran());
    }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    kvtest::ScopedEnv FData{"XDG_DATA_HOME", FTemp.File("data/")};
    std::unique_ptr<kvtest::ScopedEnv> FHome;
    TScriptedDialogService FDialogs;
    std::string FProgram;
    std::map<std::string, std::string> FShipped;
    std::vector<TForm*> FWindows;
    TMain* FMain = nullptr;
    TTempOrg* FOrganizer = nullptr;
    TTempName* FProperties = nullptr;
};

} // namespace

TEST_F(InstalledProgram, MakesAGalleryWithItsInstalledFiles)
{
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Classic table", "Picture cards"}));
    EXPECT_EQ(Application->IconFile(), FProgram + "data/plimbet.png");
    FMain->Content_MNU->Click();
    const TDialogCall help = FDialogs.CallsOf(dkHelpTopic).at(0);
    EXPECT_TRUE(FileExists(ExtractFilePath(help.Caption) + "help/" + help.Text));

    Simulate::Type(FMain->ImagesPath_TXT, gallerytest::FixtureImages());
    Simulate::Choose(FMain->Template_CBX, 2);
    Simulate::Type(FMain->GalleryPath_TXT, FTemp.File("web/"));
    TTimer closer(nullptr);
    closer.SetInterval(5);
    closer.OnTimer = [&](TObject*) {
        if (Status->Modal() && Status->Ok_BTN->Visible()) {
            Simulate::Click(Status->Ok_BTN);
        }
    };
    Simulate::Click(FMain->Create_BTN);
    EXPECT_EQ(Status->LastResult(), grSucceeded);
    const std::string pictures = gallerytest::RandomFolder(FTemp.File("web/"), 8);
    EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("web/" + pictures + "spacer.gif")),
              kvtest::TempFolder::Read(FProgram + "data/spacer.gif"));
    EXPECT_TRUE(DirectoryExists(FTemp.File("web/classic_images/")));
}

TEST_F(InstalledProgram, TheOrganizerKeepsTheUsersTemplatesApartFromTheShippedOnes)
{
    const std::string own = FTemp.File("data/plimbet/templates/");
    // Added: in the user's folder, listed beside the shipped ones.
    FDialogs.AnswerFiles({FTemp.Write("page.html", "<html><body><thumbs></body></html>")});
    Organize("", &TTempOrg::Add_BTN, "Mine");
    const std::vector<TDirEntry> added = ListDirectory(own);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(TIniFile(own + added[0].Name + "/template.ini").ReadString("options", "name", ""), "Mine");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Classic table", "Mine", "Picture cards"}));

    // A shipped template changed: the change goes to the user's copy, which takes its place.
    Organize("Classic table", &TTempOrg::Edit_BTN, "My classic");
    EXPECT_EQ(TIniFile(own + "classic/template.ini").ReadString("options", "name", ""), "My classic");
    EXPECT_TRUE(FileExists(own + "classic/template.html"));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Mine", "My classic", "Picture cards"}));

    // A shipped template cannot be deleted; the user's copy can, and the shipped one is back.
    Organize("Picture cards", &TTempOrg::Delete_BTN);
    EXPECT_EQ(FDialogs.CallsOf(dkMessageBox).at(0).Text,
              "The template 'Picture cards' comes with the program and can't be removed.");
    FDialogs.AnswerMessageBox(IDYES);
    Organize("My classic", &TTempOrg::Delete_BTN);
    EXPECT_FALSE(DirectoryExists(own + "classic/"));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Classic table", "Mine", "Picture cards"}));

    // Added under a shipped template's name, the user's template is the one listed under it, in
    // both lists; deleted, it gives the shipped one back.
    const auto listedFrom = [&](const std::string& Name) {
        const auto found = std::find_if(InstalledTemplates.begin(), InstalledTemplates.end(),
                                        [&](const TemplateStr& t) { return t.Name == Name; });
        return found == InstalledTemplates.end() ? std::string() : found->Root;
    };
    FDialogs.AnswerFiles({FTemp.Write("cards.html", "<html><body><thumb></body></html>")});
    Organize("", &TTempOrg::Add_BTN, "Picture cards");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Classic table", "Mine", "Picture cards"}));
    EXPECT_EQ(listedFrom("Picture cards"), own);
    std::vector<std::string> rows;
    apptest::WhenModal organizer(FOrganizer, [&] {
        for (int32_t row = 0; row < FOrganizer->Temp_LST->Count(); ++row) {
            rows.push_back(FOrganizer->Temp_LST->Items()->Strings(row));
        }
        Simulate::Key(FOrganizer->Temp_LST, VK_ESCAPE);
    });
    FMain->Templates_MNU->Click();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, Listed());
    FDialogs.AnswerMessageBox(IDYES);
    Organize("Picture cards", &TTempOrg::Delete_BTN);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Classic table", "Mine", "Picture cards"}));
    EXPECT_EQ(listedFrom("Picture cards"), FProgram + "templates/");
    EXPECT_EQ(Contents(FProgram + "templates/"), FShipped);
}
