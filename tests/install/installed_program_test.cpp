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

using gallerytest::FolderTree;

// Every file under Folder with its content.
std::map<std::string, std::string> Contents(const std::string& Folder)
{
    std::map<std::string, std::string> contents;
    for (const std::string& entry : FolderTree(Folder)) {
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
        FPrefix = IncludeTrailingPathDelimiter(prefix);
        // The folder the installed executable finds for itself; this program stands in for it.
        FProgram = ProgramFolderOf(FPrefix + "bin/plimbet");
        ASSERT_EQ(FProgram, FPrefix + "share/plimbet/");
        FHome = std::make_unique<kvtest::ScopedEnv>("PLIMBET_HOME", FProgram);
        FShipped = Contents(FProgram + "templates/");
        ASSERT_FALSE(FShipped.empty());

        FMain = Make<TMain>();
        FMain->Show();
        FStatus = Make<TStatus>();
        FError = Make<TError>();
        FOrganizer = Make<TTempOrg>();
        FProperties = Make<TTempName>();
        Simulate::ProcessEvents();
    }

    void TearDown() override
    {
        for (TForm* form :
             {static_cast<TForm*>(FProperties), static_cast<TForm*>(FOrganizer), static_cast<TForm*>(FError),
              static_cast<TForm*>(FStatus), static_cast<TForm*>(FMain)}) {
            if (form != nullptr) {
                form->Free();
            }
        }
        GallerySettings = TGallerySettings();
        InstalledTemplates.clear();
    }

    template <class TWindow> TWindow* Make()
    {
        auto* window = new TWindow(Application);
        window->AfterConstruction();
        return window;
    }

    std::vector<std::string> Listed() const
    {
        std::vector<std::string> names;
        for (int32_t i = 1; i < FMain->Template_CBX->Items()->Count(); ++i) {
            names.push_back(FMain->Template_CBX->Items()->Strings(i));
        }
        return names;
    }

    // Opens the organizer, selects the template of that name and clicks Button; Properties plays
    // the user when the properties window shows.
    void Organize(const std::string& Name, TButton* TTempOrg::*Button,
                  const std::function<void(TTempName&)>& Properties = nullptr)
    {
        apptest::WhenModal organizer(FOrganizer, [&] {
            for (int32_t row = 0; row < FOrganizer->Temp_LST->Count(); ++row) {
                if (FOrganizer->Temp_LST->Items()->Strings(row) == Name) {
                    FOrganizer->Temp_LST->SetItemIndex(row);
                }
            }
            std::unique_ptr<apptest::WhenModal> properties;
            if (Properties) {
                properties =
                    std::make_unique<apptest::WhenModal>(FProperties, [&] { Properties(*FProperties); });
            }
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
    std::string FPrefix;
    std::string FProgram;
    std::map<std::string, std::string> FShipped;
    TMain* FMain = nullptr;
    TStatus* FStatus = nullptr;
    TError* FError = nullptr;
    TTempOrg* FOrganizer = nullptr;
    TTempName* FProperties = nullptr;
};

} // namespace

TEST_F(InstalledProgram, MakesAGalleryWithItsInstalledFiles)
{
    EXPECT_EQ(GallerySettings.ProgramFolder, FProgram);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Picture cards", "Classic table"}));
    EXPECT_EQ(Application->IconFile(), FProgram + "data/plimbet.png");
    FMain->Content_MNU->Click();
    ASSERT_EQ(FDialogs.CallsOf(dkHelpTopic).size(), 1u);
    EXPECT_TRUE(FileExists(ExtractFilePath(FDialogs.CallsOf(dkHelpTopic)[0].Caption) + "help/" +
                           FDialogs.CallsOf(dkHelpTopic)[0].Text));

    Simulate::Type(FMain->ImagesPath_TXT, gallerytest::FixtureImages());
    Simulate::Choose(FMain->Template_CBX, 2);
    Simulate::Type(FMain->GalleryPath_TXT, FTemp.File("web/"));
    TTimer closer(nullptr);
    closer.SetInterval(5);
    closer.OnTimer = [&](TObject*) {
        if (FStatus->Modal() && FStatus->Ok_BTN->Visible()) {
            Simulate::Click(FStatus->Ok_BTN);
        }
    };
    Simulate::Click(FMain->Create_BTN);
    closer.SetEnabled(false);
    EXPECT_EQ(FStatus->LastResult(), grSucceeded);
    const std::string pictures = gallerytest::RandomFolder(FTemp.File("web/"), 8);
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("web/" + pictures + "spacer.gif")),
              kvtest::TempFolder::Read(FProgram + "data/spacer.gif"));
    EXPECT_TRUE(DirectoryExists(FTemp.File("web/classic_images/")));
    EXPECT_EQ(Contents(FProgram + "templates/"), FShipped);
}

TEST_F(InstalledProgram, TheOrganizerKeepsTheUsersTemplatesApartFromTheShippedOnes)
{
    const std::string own = FTemp.File("data/plimbet/templates/");

    // Added: in the user's folder, listed beside the shipped ones.
    const std::string page = FTemp.Write("page.html", "<html><body><thumbs></body></html>");
    FDialogs.AnswerFiles({page});
    Organize("", &TTempOrg::Add_BTN, [](TTempName& Window) {
        Window.Name_TXT->SetText("Mine");
        Window.Ok_BTN->Click();
    });
    std::vector<std::string> added;
    for (const TDirEntry& entry : ListDirectory(own)) {
        added.push_back(entry.Name);
    }
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(TIniFile(own + added[0] + "/template.ini").ReadString("options", "name", ""), "Mine");
    std::vector<std::string> listed = Listed();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"Classic table", "Mine", "Picture cards"}));

    // A shipped template changed: the change goes to a copy of the user's own, which takes the
    // shipped one's place in the list.
    Organize("Classic table", &TTempOrg::Edit_BTN, [](TTempName& Window) {
        Window.Name_TXT->SetText("My classic");
        Window.Ok_BTN->Click();
    });
    EXPECT_EQ(TIniFile(own + "classic/template.ini").ReadString("options", "name", ""), "My classic");
    EXPECT_TRUE(FileExists(own + "classic/template.html"));
    EXPECT_TRUE(FileExists(own + "classic/template.jpg"));
    listed = Listed();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "My classic"), 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "Classic table"), 0);

    // A shipped template cannot be deleted; the user's copy can, and the shipped one is back.
    Organize("Picture cards", &TTempOrg::Delete_BTN);
    ASSERT_EQ(FDialogs.CallsOf(dkMessageBox).size(), 1u);
    EXPECT_EQ(FDialogs.CallsOf(dkMessageBox)[0].Text,
              "The template 'Picture cards' comes with the program and can't be removed.");
    FDialogs.AnswerMessageBox(IDYES);
    Organize("My classic", &TTempOrg::Delete_BTN);
    EXPECT_FALSE(DirectoryExists(own + "classic/"));
    listed = Listed();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "Classic table"), 1);

    EXPECT_EQ(Contents(FProgram + "templates/"), FShipped);
}
