// The templates organizer, driven as a user would: adding a template from an HTML page with the
// files it refers to, renaming it, setting and clearing its sample picture, and deleting it.
#include "app/templates_organizer.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "app/template_properties.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/forms/buttons.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/menus.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/app/unreadable_folder.h"
#include "tests/app/window_test_support.h"
#include "tests/support/disk_filler.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string GoImages = "/usr/share/go-1.19/src/image/testdata/";

// A program folder holding the fixture templates, scripted dialogs, and the organizer and the
// properties window made as the program makes them.
class TemplatesOrganizer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ForceDirectories(FTemp.File("program/")));
        std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/app/templates", Templates(),
                              std::filesystem::copy_options::recursive);
        GallerySettings.ProgramFolder = FTemp.File("program/");
        LoadTemplateList();
        FProperties = new TTempName(Application);
        FProperties->AfterConstruction();
        FWindow = new TTempOrg(Application);
        FWindow->AfterConstruction();
        FWindow->Show();
        Simulate::ProcessEvents();
    }

    void TearDown() override
    {
        FWindow->Hide();
        FWindow->Free();
        FProperties->Free();
        InstalledTemplates.clear();
        GallerySettings = TGallerySettings();
    }

    std::string Templates() const { return FTemp.File("program/templates/"); }

    std::vector<std::string> Rows() const
    {
        std::vector<std::string> rows;
        for (int32_t i = 0; i < FWindow->Temp_LST->Count(); ++i) {
            rows.push_back(FWindow->Temp_LST->Items()->Strings(i));
        }
        return rows;
    }

    std::vector<std::string> Folders() const
    {
        std::vector<std::string> folders;
        for (const TDirEntry& entry : ListDirectory(Templates())) {
            if (entry.IsDirectory()) {
                folders.push_back(entry.Name);
            }
        }
        return folders;
    }

    // The one folder that is in the templates folder now and was not in Before.
    std::string NewFolder(const std::vector<std::string>& Before) const
    {
        std::string found;
        for (const std::string& folder : Folders()) {
            if (std::find(Before.begin(), Before.end(), folder) == Before.end()) {
                EXPECT_TRUE(found.empty()) << "more than one new folder";
                found = folder;
            }
        }
        return found;
    }

    std::string Ini(const std::string& Folder, const char* Name) const
    {
        return TIniFile(Templates() + Folder + "/template.ini").ReadString("options", Name, "<none>");
    }

    // Clicks the row of the template of that name, as the user picks it.
    void Select(const std::string& Name) { ASSERT_TRUE(apptest::ClickRow(FWindow->Temp_LST, Name)) << Name; }

    // Clicks Button of the organizer; when the properties window shows, Action plays the user.
    void ClickWithProperties(TButton* Button, const std::function<void(TTempName&)>& Action)
    {
        apptest::WhenModal properties(FProperties, [&] { Action(*FProperties); });
        Simulate::Click(Button);
        EXPECT_TRUE(properties.Ran());
    }

    std::string WritePage()
    {
        EXPECT_TRUE(ForceDirectories(FTemp.File("site/css/")));
        FTemp.Write("site/css/look.css", "body { color: navy }");
        FTemp.Write("site/photo.jpg", "jpeg bytes");
        return FTemp.Write("site/page.html",
                           "<html><head><link rel=\"stylesheet\" href=\"css/look.css\"></head>"
                           "<body><img src=\"photo.jpg\"><p>@_title_@</p></body></html>");
    }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    kvtest::ScopedEnv FHome{"PLIMBET_HOME", FTemp.File("program/")};
    TScriptedDialogService FDialogs;
    TTempOrg* FWindow = nullptr;
    TTempName* FProperties = nullptr;
};

bool IsLowerHex(const std::string& Text)
{
    return Text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

TEST_F(TemplatesOrganizer, ListsTheInstalledTemplatesInFolderOrder)
{
    EXPECT_EQ(FWindow->Caption(), "Templates organizer");
    EXPECT_EQ(FWindow->Width(), 452);
    EXPECT_EQ(FWindow->Height(), 241);
    // A template without a name is listed by its folder's name.
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Blue", "Corrupt picture", "No picture", "noini", "Plain"}));
    EXPECT_EQ(FWindow->Open_DLG->Filter, "HTML files|*.htm;*.html|All files|*.*");
}

TEST_F(TemplatesOrganizer, AddsATemplateFromAPageWithTheFilesItRefersTo)
{
    const std::string page = WritePage();
    const std::string sample = GoImages + "video-001.jpeg";
    const std::vector<std::string> before = Folders();
    FDialogs.AnswerFiles({page});
    FDialogs.AnswerFiles({sample});
    ClickWithProperties(FWindow->Add_BTN, [&](TTempName& w) {
        // A new template starts empty and cannot be cancelled.
        EXPECT_EQ(w.Name_TXT->Text(), "");
        EXPECT_EQ(w.Sample_TXT->Text(), "");
        EXPECT_FALSE(w.Cancel_BTN->Visible());
        EXPECT_EQ(w.Ok_BTN->Left(), 177);
        Simulate::Type(w.Name_TXT, "  My own  ");
        Simulate::Click(w.Open_BTN);
        Simulate::Click(w.Ok_BTN);
    });

    const std::string folder = NewFolder(before);
    ASSERT_EQ(folder.size(), 8u);
    EXPECT_TRUE(IsLowerHex(folder)) << folder;
    // The name exactly as typed (reading an ini value drops its surrounding blanks); the images
    // in a folder of 12 random characters.
    const std::string templateFolder = Templates() + folder + "/";
    EXPECT_NE(kvtest::TempFolder::Read(templateFolder + "template.ini").find("name=  My own  \n"),
              std::string::npos);
    EXPECT_EQ(Ini(folder, "sample"), "1");
    const std::string imagesDir = Ini(folder, "imagesDir");
    ASSERT_EQ(imagesDir.size(), 12u);
    EXPECT_TRUE(IsLowerHex(imagesDir)) << imagesDir;
    EXPECT_EQ(ListDirectory(templateFolder + imagesDir).size(), 2u);
    const std::string html = kvtest::TempFolder::Read(templateFolder + "template.html");
    EXPECT_NE(html.find("href=\"" + imagesDir + "/"), std::string::npos) << html;
    EXPECT_NE(html.find("@_title_@"), std::string::npos);
    EXPECT_EQ(kvtest::TempFolder::Read(templateFolder + "template.jpg"), kvtest::TempFolder::Read(sample));

    // The new template takes the place the folder scan gives it, in the list and in the records.
    const std::vector<std::string> folders = Folders();
    const size_t position = std::find(folders.begin(), folders.end(), folder) - folders.begin();
    ASSERT_EQ(Rows().size(), before.size() + 1);
    EXPECT_EQ(Rows()[position], "My own");
    ASSERT_EQ(InstalledTemplates.size(), before.size() + 1);
    EXPECT_EQ(InstalledTemplates[position].Folder, folder);
    EXPECT_TRUE(InstalledTemplates[position].Sample);
}

TEST_F(TemplatesOrganizer, AddingKeepsTheFieldsHoweverThePropertiesWindowCloses)
{
    const std::string page = WritePage();
    std::vector<std::string> before = Folders();
    FDialogs.AnswerFiles({page});
    ClickWithProperties(FWindow->Add_BTN, [&](TTempName& w) {
        // OK with no name is refused and the window stays; closing it by its frame is not.
        Simulate::Click(w.Ok_BTN);
        EXPECT_TRUE(w.Modal());
        Simulate::CloseWindow(&w);
    });
    std::string folder = NewFolder(before);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(Ini(folder, "name"), "");
    EXPECT_EQ(Ini(folder, "sample"), "0");
    // Listed by its folder's name, as no name was typed.
    const std::vector<std::string> rows = Rows();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), folder), 1);
    EXPECT_FALSE(FileExists(Templates() + folder + "/template.jpg"));
    const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, "You should specify the template name");
    EXPECT_EQ(messages[0].Flags, uint32_t(MB_OK | MB_ICONSTOP));

    // A second page gets a folder of its own, never one that exists.
    before = Folders();
    FDialogs.AnswerFiles({page});
    ClickWithProperties(FWindow->Add_BTN, [&](TTempName& w) {
        Simulate::Type(w.Name_TXT, "Second");
        Simulate::Click(w.Ok_BTN);
    });
    const std::string second = NewFolder(before);
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second, folder);
    EXPECT_EQ(Ini(folder, "name"), "");
    EXPECT_EQ(Ini(second, "name"), "Second");
}

TEST_F(TemplatesOrganizer, NothingIsAddedWhenNoPageIsChosenOrItCannotBeRead)
{
    const std::vector<std::string> before = Folders();
    const std::vector<std::string> rows = Rows();
    Simulate::Click(FWindow->Add_BTN);
    FDialogs.AnswerFiles({FTemp.File("missing.html")});
    Simulate::Click(FWindow->Add_BTN);
    EXPECT_FALSE(FProperties->Visible());
    EXPECT_EQ(Folders(), before);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(InstalledTemplates.size(), before.size());
    const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text,
              "Can't open the template file: " + FTemp.File("missing.html") + "\nNo such file or directory");
}

TEST_F(TemplatesOrganizer, EditingRenamesAndSetsTheSamplePicture)
{
    Select("Plain");
    const std::string sample = GoImages + "video-001.jpeg";
    FDialogs.AnswerFiles({sample});
    ClickWithProperties(FWindow->Edit_BTN, [&](TTempName& w) {
        EXPECT_EQ(w.Name_TXT->Text(), "Plain");
        EXPECT_EQ(w.Sample_TXT->Text(), "");
        EXPECT_TRUE(w.Cancel_BTN->Visible());
        EXPECT_EQ(w.Ok_BTN->Left(), 253);
        Simulate::Retype(w.Name_TXT, " \tPlain and simple  ");
        Simulate::Click(w.Open_BTN);
        EXPECT_EQ(w.Sample_TXT->Text(), sample);
        Simulate::Click(w.Ok_BTN);
    });
    // Editing stores the name without its surrounding blanks; the image folder stays as it was.
    EXPECT_EQ(Ini("plain", "name"), "Plain and simple");
    EXPECT_EQ(Ini("plain", "sample"), "1");
    EXPECT_EQ(Ini("plain", "imagesDir"), "<none>");
    EXPECT_EQ(kvtest::TempFolder::Read(Templates() + "plain/template.jpg"), kvtest::TempFolder::Read(sample));
    EXPECT_EQ(Rows()[4], "Plain and simple");
    EXPECT_EQ(InstalledTemplates[4].Name, "Plain and simple");
    EXPECT_TRUE(InstalledTemplates[4].Sample);

    // Cancelling changes nothing.
    ClickWithProperties(FWindow->Edit_BTN, [&](TTempName& w) {
        Simulate::Retype(w.Name_TXT, "Other");
        Simulate::Click(w.Clear_BTN);
        Simulate::Click(w.Cancel_BTN);
    });
    EXPECT_EQ(Ini("plain", "name"), "Plain and simple");
    EXPECT_TRUE(FileExists(Templates() + "plain/template.jpg"));
    EXPECT_EQ(Rows()[4], "Plain and simple");
}

TEST_F(TemplatesOrganizer, AnUnchangedSampleIsLeftIntactWhateverPathNamesIt)
{
    const std::string preview = Templates() + "blue/template.jpg";
    const std::string original = kvtest::TempFolder::Read(preview);
    ASSERT_FALSE(original.empty());
    // A second name of the very same file: the copy must see that it is one file.
    const std::string alias = FTemp.File("alias.jpg");
    ASSERT_EQ(::link(preview.c_str(), alias.c_str()), 0);

    Select("Blue");
    ClickWithProperties(FWindow->Edit_BTN, [&](TTempName& w) {
        EXPECT_EQ(w.Sample_TXT->Text(), preview);
        Simulate::Click(w.Ok_BTN);
    });
    EXPECT_EQ(kvtest::TempFolder::Read(preview), original);

    FDialogs.AnswerFiles({alias});
    ClickWithProperties(FWindow->Edit_BTN, [&](TTempName& w) {
        Simulate::Click(w.Open_BTN);
        Simulate::Click(w.Ok_BTN);
    });
    EXPECT_EQ(kvtest::TempFolder::Read(preview), original);
    EXPECT_EQ(Ini("blue", "sample"), "1");
}

// An edit that finds the disk full says which file it could not write and why, and keeps the
// template as it was: the preview whole, the name in template.ini and in the list, whichever file
// had no room.
TEST_F(TemplatesOrganizer, EditingOnAFullDiskSaysWhyAndKeepsTheTemplate)
{
    const std::string sample = FTemp.Write("sample.jpg", std::string(200 << 10, 's'));
    const std::string blue = Templates() + "blue/";
    const std::string preview(100 << 10, 'p');
    const struct
    {
        const char* Case;
        bool NewSample;
        std::string File; // the file the message names
    } cases[] = {
        {"a new sample and name", true, blue + "template.jpg"},
        {"a new name only", false, blue + "template.ini"},
    };
    const auto onDisk = [&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Case);
            for (const auto& entry : std::filesystem::directory_iterator(blue)) {
                std::filesystem::remove_all(entry.path());
            }
            std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/app/templates/blue", blue,
                                  std::filesystem::copy_options::recursive);
            FTemp.Write("program/templates/blue/template.jpg", preview);
            const std::string ini = kvtest::TempFolder::Read(blue + "template.ini");
            ASSERT_TRUE(kvtest::FillDisk(blue + "filler"));
            FDialogs.ClearCalls();
            Select("Blue");
            FDialogs.AnswerFiles({sample});
            ClickWithProperties(FWindow->Edit_BTN, [&](TTempName& w) {
                Simulate::Retype(w.Name_TXT, "Renamed");
                if (c.NewSample) {
                    Simulate::Click(w.Open_BTN);
                }
                Simulate::Click(w.Ok_BTN);
            });
            const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].Text, "Can't write the file: " + c.File + "\nNo space left on device");
            EXPECT_EQ(messages[0].Caption, "Plimbet v1.0");
            EXPECT_EQ(messages[0].Flags, uint32_t(MB_OK | MB_ICONSTOP));
            const std::string kept = kvtest::TempFolder::Read(blue + "template.jpg");
            EXPECT_TRUE(kept == preview) << "the preview is now " << kept.size() << " bytes";
            EXPECT_EQ(kvtest::TempFolder::Read(blue + "template.ini"), ini);
            EXPECT_EQ(Rows()[0], "Blue");
            EXPECT_EQ(InstalledTemplates[0].Name, "Blue");
            std::filesystem::remove(blue + "filler");
        }
    };
    std::string why;
    EXPECT_TRUE(kvtest::RunOnSmallDisk(blue, 8 << 20, onDisk, why)) << why;
}

// An add that finds the disk full says which file it could not write and why, in the program's
// own box, and leaves nothing of the template: no folder, and nothing more in the lists.
TEST_F(TemplatesOrganizer, AddingOnAFullDiskLeavesNothingAndSaysWhy)
{
    const std::string page = WritePage();
    const std::string sample = FTemp.Write("sample.jpg", std::string(400 << 10, 's'));
    const auto onDisk = [&] {
        LoadTemplateList();
        const size_t listed = InstalledTemplates.size();
        const std::vector<std::string> folders = Folders();
        // 4 KB, and room for the page but not for the sample, which the message then names.
        for (const int64_t room : {4 << 10, 128 << 10}) {
            const bool withSample = room > (4 << 10);
            const std::string filler = Templates() + "filler";
            ASSERT_TRUE(kvtest::FillDisk(filler));
            std::filesystem::resize_file(filler, std::filesystem::file_size(filler) - room);
            FDialogs.ClearCalls();
            FDialogs.AnswerFiles({page});
            apptest::WhenModal properties(FProperties, [&] {
                Simulate::Type(FProperties->Name_TXT, "Full");
                if (withSample) {
                    FDialogs.AnswerFiles({sample});
                    Simulate::Click(FProperties->Open_BTN);
                }
                Simulate::Click(FProperties->Ok_BTN);
            });
            Simulate::Click(FWindow->Add_BTN);
            const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
            ASSERT_EQ(messages.size(), 1u);
            const std::string& text = messages[0].Text;
            EXPECT_TRUE(text.starts_with("Can't ") && text.find(": " + Templates()) != std::string::npos &&
                        text.ends_with((withSample ? "/template.jpg" : "") +
                                       std::string("\nNo space left on device")))
                << text;
            EXPECT_EQ(messages[0].Caption, "Plimbet v1.0");
            EXPECT_EQ(messages[0].Flags, uint32_t(MB_OK | MB_ICONSTOP));
            EXPECT_EQ(Folders(), folders);
            LoadTemplateList();
            EXPECT_EQ(InstalledTemplates.size(), listed);
            std::filesystem::remove(filler);
        }
    };
    std::string why;
    EXPECT_TRUE(kvtest::RunOnSmallDisk(Templates(), 8 << 20, onDisk, why)) << why;
}

// A page whose files are missing still makes a template, and the user is told afterwards which
// files it goes without and why.
TEST_F(TemplatesOrganizer, AddingAPageWithMissingFilesNamesThemOnceTheTemplateIsMade)
{
    FDialogs.AnswerFiles({FTemp.Write("page.html", "<link href=\"gone.css\"><img src=\"img/missing.png\">")});
    ClickWithProperties(FWindow->Add_BTN, [&](TTempName& w) {
        Simulate::Type(w.Name_TXT, "Sparse");
        Simulate::Click(w.Ok_BTN);
    });
    EXPECT_NE(std::find(Rows().begin(), Rows().end(), "Sparse"), Rows().end());
    const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, "The template has been added without these files of its page:\n" +
                                    FTemp.File("gone.css") + " (No such file or directory)\n" +
                                    FTemp.File("img/missing.png") + " (No such file or directory)");
}

// An installed program's template is edited in a copy of the user's own: one that cannot be made
// is named with its reason, and no part of it takes the shipped one's place.
TEST_F(TemplatesOrganizer, AShippedTemplateThatCannotBeCopiedStaysWhole)
{
    const std::string shipped = FTemp.File("usr/share/plimbet/");
    ASSERT_TRUE(ForceDirectories(shipped));
    std::filesystem::rename(Templates(), shipped + "templates");
    ::chmod((shipped + "templates/blue/template.jpg").c_str(), 0);
    GallerySettings.ProgramFolder = shipped;
    kvtest::ScopedEnv data("XDG_DATA_HOME", FTemp.File("data/"));
    LoadTemplateList();
    FWindow->FormShow(FWindow);
    Select("Blue");
    {
        const apptest::TOrdinaryUser user;
        ClickWithProperties(FWindow->Edit_BTN, [](TTempName& w) { Simulate::Click(w.Ok_BTN); });
    }
    const std::string copy = FTemp.File("data/plimbet/templates/blue/");
    EXPECT_EQ(FDialogs.CallsOf(dkMessageBox).at(0).Text,
              "Can't create the file of the template: " + copy + "\nPermission denied");
    EXPECT_FALSE(DirectoryExists(copy));
}

TEST_F(TemplatesOrganizer, ADoubleClickOnARowEditsItsTemplate)
{
    const TRect row = FWindow->Temp_LST->ItemRect(2);
    apptest::WhenModal properties(FProperties, [&] {
        EXPECT_EQ(FProperties->Name_TXT->Text(), "No picture");
        FProperties->SetModalResult(mrCancel);
    });
    Simulate::DoubleClick(FWindow->Temp_LST, row.Left + 5, row.Top + 3);
    EXPECT_TRUE(properties.Ran());
}

TEST_F(TemplatesOrganizer, ClearingTheSampleDeletesThePicture)
{
    Select("Blue");
    ClickWithProperties(FWindow->Edit_BTN, [&](TTempName& w) {
        Simulate::Click(w.Clear_BTN);
        EXPECT_EQ(w.Sample_TXT->Text(), "");
        Simulate::Click(w.Ok_BTN);
    });
    EXPECT_FALSE(FileExists(Templates() + "blue/template.jpg"));
    EXPECT_EQ(Ini("blue", "sample"), "0");
    EXPECT_EQ(Ini("blue", "name"), "Blue");
    EXPECT_EQ(Ini("blue", "imagesDir"), "img");
    // The main window's next reload finds no preview for it.
    LoadTemplateList();
    EXPECT_FALSE(InstalledTemplates[0].Sample);
}

TEST_F(TemplatesOrganizer, DeletesATemplateOnlyAfterTheQuestion)
{
    Select("Blue");
    FDialogs.AnswerMessageBox(IDNO);
    Simulate::Click(FWindow->Delete_BTN);
    std::vector<TDialogCall> questions = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].Text, "The template 'Blue' will be removed.\nAre you sure?");
    EXPECT_EQ(questions[0].Flags, uint32_t(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_TRUE(FileExists(Templates() + "blue/img/logo.gif"));
    EXPECT_EQ(Rows().size(), 5u);

    FDialogs.AnswerMessageBox(IDYES);
    const std::string current = GetCurrentDir();
    Simulate::Click(FWindow->Delete_BTN);
    EXPECT_FALSE(DirectoryExists(Templates() + "blue"));
    EXPECT_EQ(GetCurrentDir(), current);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Corrupt picture", "No picture", "noini", "Plain"}));
    EXPECT_EQ(InstalledTemplates.size(), 4u);
}

TEST_F(TemplatesOrganizer, DeletingNeverReachesAFolderOutsideTheTemplate)
{
    // A template folder that is a link to the user's own folder loses the link only.
    ASSERT_TRUE(ForceDirectories(FTemp.File("mine/")));
    FTemp.Write("mine/template.html", "<html></html>");
    FTemp.Write("mine/template.ini", "[options]\nname=Mine\n");
    std::filesystem::create_directory_symlink(FTemp.File("mine"), Templates() + "linked");
    LoadTemplateList();
    FWindow->FormShow(FWindow);
    Select("Mine");
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(FWindow->Delete_BTN);
    EXPECT_FALSE(std::filesystem::is_symlink(Templates() + "linked"));
    EXPECT_TRUE(FileExists(FTemp.File("mine/template.html")));
    EXPECT_TRUE(FileExists(FTemp.File("mine/template.ini")));

    // A template folder removed meanwhile by other means just leaves the list.
    Select("Plain");
    std::filesystem::remove_all(Templates() + "plain");
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(FWindow->Delete_BTN);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Blue", "Corrupt picture", "No picture", "noini"}));
    EXPECT_TRUE(FileExists(Templates() + "blue/template.html"));
}

// A template that holds a file that cannot be deleted (immutable) stays whole and usable, and the
// message says which file and why.
TEST_F(TemplatesOrganizer, ATemplateThatCannotGoWholeStaysWhole)
{
    const std::string kept = Templates() + "plain/keep.txt";
    FTemp.Write("program/templates/plain/keep.txt", "kept");
    ASSERT_EQ(kvtest::ToolExitCode("chattr +i '" + kept + "'"), 0);
    Select("Plain");
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(FWindow->Delete_BTN);
    EXPECT_EQ(kvtest::ToolExitCode("chattr -i '" + kept + "'"), 0);
    const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].Text, "Can't delete plain/keep.txt from the folder: " + Templates() +
                                    "\nOperation not permitted\nNothing in it has been deleted.");
    EXPECT_EQ(messages[1].Flags, uint32_t(MB_OK | MB_ICONSTOP));
    EXPECT_TRUE(FileExists(Templates() + "plain/template.htm"));
    EXPECT_TRUE(FileExists(Templates() + "plain/template.ini"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Blue", "Corrupt picture", "No picture", "noini", "Plain"}));
}

TEST_F(TemplatesOrganizer, EditAndDeleteAreUsableOnlyWhileARowIsSelected)
{
    // The selected row, and whether Add, Edit and Delete are usable.
    const auto state = [&] {
        return std::make_tuple(FWindow->Temp_LST->ItemIndex(), FWindow->Add_BTN->Enabled(),
                               FWindow->Edit_BTN->Enabled(), FWindow->Delete_BTN->Enabled());
    };
    // Shown with no row selected: clicking them does nothing.
    EXPECT_EQ(state(), std::make_tuple(-1, true, false, false));
    const std::vector<std::string> before = Folders();
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(FWindow->Edit_BTN);
    Simulate::Click(FWindow->Delete_BTN);
    EXPECT_FALSE(FProperties->Visible());
    EXPECT_TRUE(FDialogs.Calls().empty());
    EXPECT_EQ(Folders(), before);
    EXPECT_EQ(FDialogs.PendingAnswers(), 1u);

    // A row picked with the mouse makes them usable; the list refilled after a delete has none.
    Select("No picture");
    EXPECT_EQ(state(), std::make_tuple(2, true, true, true));
    Simulate::Click(FWindow->Delete_BTN);
    EXPECT_FALSE(DirectoryExists(Templates() + "missing-preview"));
    EXPECT_EQ(state(), std::make_tuple(-1, true, false, false));

    // A row reached with the keys makes them usable too.
    Simulate::Key(FWindow->Temp_LST, VK_DOWN);
    EXPECT_EQ(state(), std::make_tuple(0, true, true, true));
}

TEST_F(TemplatesOrganizer, TheMainMenuOpensItAndTheTemplateListFollowsItsChanges)
{
    FWindow->Hide();
    auto* main = new TMain(Application);
    main->AfterConstruction();
    main->Show();
    Simulate::ProcessEvents();
    apptest::WhenModal organizer(FWindow, [&] {
        Select("Plain");
        ClickWithProperties(FWindow->Edit_BTN, [](TTempName& w) {
            Simulate::Retype(w.Name_TXT, "Renamed");
            Simulate::Click(w.Ok_BTN);
        });
        Simulate::CloseWindow(FWindow);
    });
    main->Templates_MNU->Click();
    EXPECT_TRUE(organizer.Ran());
    std::vector<std::string> items;
    for (int32_t i = 0; i < main->Template_CBX->Items()->Count(); ++i) {
        items.push_back(main->Template_CBX->Items()->Strings(i));
    }
    EXPECT_EQ(items, (std::vector<std::string>{"Template from file ...", "Blue", "Corrupt picture",
                                               "No picture", "noini", "Renamed"}));
    main->Free();
}
