// The gallery creation status window: its rows as designed, a run started only once the window
// has appeared, the rows of a new run reset, and Close.
#include "app/errors_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/templates.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace gallerytest;

// The shipped program folder and templates, one picture, and a gallery folder of the test's own.
class StatusWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GallerySettings = TGallerySettings();
        GallerySettings.ProgramFolder = SourceFolder();
        ASSERT_TRUE(ForceDirectories(FTemp.File("pictures/")));
        FTemp.Write("pictures/img_0001.jpg", kvtest::TempFolder::Read(FixtureImages() + "img_0001.jpg"));
        GallerySettings.ImagesPath = FTemp.File("pictures/");
        GallerySettings.GalleryPath = FTemp.File("web/");
        GallerySettings.ImageSizeIndex = 0;
        InstalledTemplates = ReadInstalledTemplates(SourceFolder() + "templates/");
        for (size_t k = 0; k < InstalledTemplates.size(); ++k) {
            if (InstalledTemplates[k].Folder == "classic") {
                GallerySettings.TemplateIndex = static_cast<int32_t>(k) + 1;
            }
        }
        ASSERT_GT(GallerySettings.TemplateIndex, 0);
        FErrors = new TError(nullptr);
        FWindow = new TStatus(nullptr);
    }

    void TearDown() override
    {
        if (FWindow != nullptr) {
            FWindow->Free();
        }
        if (FErrors != nullptr) {
            FErrors->Free();
        }
        GallerySettings = TGallerySettings();
        InstalledTemplates.clear();
    }

    // Which of the window's controls are visible, in the order of the design.
    std::vector<bool> Shown() const
    {
        const TStatus& w = *FWindow;
        return {w.Check1_IMG->Visible(), w.State1_LBL->Visible(), w.Check2_IMG->Visible(),
                w.State2_LBL->Visible(), w.Files_LBL->Visible(),  w.Check3_IMG->Visible(),
                w.State3_LBL->Visible(), w.Check4_IMG->Visible(), w.State4_LBL->Visible(),
                w.Check6_IMG->Visible(), w.State6_LBL->Visible(), w.Cancel_BTN->Visible(),
                w.Ok_BTN->Visible(),     w.Status_PB->Visible()};
    }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    TScriptedDialogService FDialogs;
    TError* FErrors = nullptr;
    TStatus* FWindow = nullptr;
};

} // namespace

TEST_F(StatusWindow, RunStartsOnceTheWindowHasAppearedAndEndsWithCloseShown)
{
    TStatus& w = *FWindow;
    EXPECT_EQ(Status, &w);
    EXPECT_EQ(w.Caption(), "Gallery creation status");
    EXPECT_EQ(w.ClientWidth(), 227);
    EXPECT_EQ(w.ClientHeight(), 168);
    const std::vector<std::string> captions = {
        w.State1_LBL->Caption(), w.State2_LBL->Caption(), w.Files_LBL->Caption(),  w.State3_LBL->Caption(),
        w.State4_LBL->Caption(), w.State6_LBL->Caption(), w.Cancel_BTN->Caption(), w.Ok_BTN->Caption()};
    EXPECT_EQ(captions,
              (std::vector<std::string>{"Analising template", "Checking images files", "Founded 234 files",
                                        "Processing images", "Generating thumbnails and pages",
                                        "Gallery successfully created", "Cancel", "Close"}));
    EXPECT_EQ(IconOf(w.Check6_IMG), "check");
    EXPECT_EQ(w.Status_PB->Height(), 10);

    // Showing only posts the start; the run comes with the message loop.
    w.Show();
    EXPECT_FALSE(DirectoryExists(GallerySettings.GalleryPath));
    Simulate::ProcessEvents();
    EXPECT_TRUE(FileExists(GallerySettings.GalleryPath + "index.html"));
    EXPECT_EQ(w.LastResult(), grSucceeded);
    EXPECT_EQ(Shown(), (std::vector<bool>{true, true, true, true, true, true, true, true, true, true, true,
                                          false, true, false}));
    for (TImage* image : {w.Check1_IMG, w.Check2_IMG, w.Check3_IMG, w.Check4_IMG}) {
        EXPECT_EQ(IconOf(image), "check") << image->Name();
    }
    EXPECT_EQ(w.Files_LBL->Caption(), "Founded 1 files");

    w.Ok_BTN->Click();
    EXPECT_EQ(w.ModalResult(), mrOk);
}

TEST_F(StatusWindow, ANewRunResetsTheRowsOfTheLastOne)
{
    TStatus& w = *FWindow;
    // A first run fails in stage 2; the errors window it opens is closed at once.
    GallerySettings.ImagesPath = FTemp.File("gone/");
    TTimer closer(nullptr);
    closer.SetInterval(1);
    closer.OnTimer = [&](TObject*) {
        if (FErrors->Modal()) {
            FErrors->Ok_BTN->Click();
        }
    };
    w.StartGallery();
    EXPECT_EQ(w.LastResult(), grFailed);
    EXPECT_EQ(IconOf(w.Check2_IMG), "failed");
    EXPECT_TRUE(w.Ok_BTN->Visible());

    // At the first status change of the next run, only stage 1's row and Cancel are shown.
    GallerySettings.ImagesPath = FTemp.File("pictures/");
    std::vector<bool> atStart;
    std::string firstIcon;
    TEachMessagePass probe([&] {
        if (!atStart.empty()) {
            return true;
        }
        atStart = Shown();
        firstIcon = IconOf(w.Check1_IMG);
        return true;
    });
    w.StartGallery();
    EXPECT_EQ(atStart, (std::vector<bool>{true, true, false, false, false, false, false, false, false, false,
                                          false, true, false, true}));
    EXPECT_EQ(firstIcon, "check");
    EXPECT_EQ(w.LastResult(), grSucceeded);
    EXPECT_EQ(IconOf(w.Check2_IMG), "check");
}
