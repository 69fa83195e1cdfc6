// What the main window's tests share: a program folder with the fixture templates, a store of its
// own, scripted dialogs, and the window made as the program makes it.
#pragma once

#include "app/errors_window.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "platform/forms/buttons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace apptest {

inline const std::string Question = "The folder to create the gallery is not empty.\n"
                                    "All files in this folder will be deleted.\n"
                                    "Click \"No\" to select another folder.";

using TBoxes = std::vector<std::pair<std::string, uint32_t>>;
using TChosen = std::tuple<int32_t, int32_t, std::string, std::string>;

// A program folder with the fixture templates, a store of its own and scripted dialogs; the
// window is made as the program makes it and freed at the end.
class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ForceDirectories(FTemp.File("program/")));
        std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/app/templates",
                              FTemp.File("program/templates"), std::filesystem::copy_options::recursive);
        ASSERT_TRUE(ForceDirectories(FTemp.File("pictures/")));
        FTemp.Write("pictures/one.jpg", "picture");
    }

    void TearDown() override
    {
        if (FWindow != nullptr) {
            FWindow->Free();
        }
        GallerySettings = TGallerySettings();
    }

    TMain& Open()
    {
        FWindow = new TMain(Application);
        FWindow->AfterConstruction();
        FWindow->Show();
        Simulate::ProcessEvents();
        return *FWindow;
    }

    // The filler a run copies and a real picture to make a gallery of.
    void ReadyForARun()
    {
        ASSERT_TRUE(ForceDirectories(FTemp.File("program/data/")));
        ASSERT_TRUE(CopyFile(std::string(KV_SOURCE_DIR) + "/data/spacer.gif",
                             FTemp.File("program/data/spacer.gif"), false));
        ASSERT_TRUE(CopyFile("/usr/share/go-1.19/src/image/testdata/video-001.jpeg",
                             FTemp.File("pictures/one.jpg"), false));
    }

    std::string Stored(const char* Name) const { return RegReadString(OptionsSection, Name, "<none>"); }
    int32_t StoredInteger(const char* Name) const { return RegReadInteger(OptionsSection, Name, -999); }

    // The text and flags of each message box shown.
    TBoxes Boxes() const
    {
        TBoxes boxes;
        for (const TDialogCall& call : FDialogs.CallsOf(dkMessageBox)) {
            boxes.emplace_back(call.Text, call.Flags);
        }
        return boxes;
    }

    // The chosen template: the list's row, the index a run reads, the row's text and the folder.
    TChosen Chosen() const
    {
        const int32_t index = GallerySettings.TemplateIndex;
        return {FWindow->Template_CBX->ItemIndex(), index, FWindow->Template_CBX->Text(),
                index >= 1 ? InstalledTemplates.at(static_cast<size_t>(index) - 1).Folder : std::string()};
    }

    kvtest::TempFolder FTemp;
    std::string FStore = FTemp.File("Plimbet.conf");
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FStore};
    kvtest::ScopedEnv FHome{"PLIMBET_HOME", FTemp.File("program/")};
    TScriptedDialogService FDialogs;
    TMain* FWindow = nullptr;
};

inline std::vector<std::string> Items(TComboBox* Combo)
{
    std::vector<std::string> items;
    for (int32_t i = 0; i < Combo->Items()->Count(); ++i) {
        items.push_back(Combo->Items()->Strings(i));
    }
    return items;
}

// The user at the end of each run while it lives: closes the errors window whenever it shows and
// the status window once its Close button shows, so that a run ends by itself (also one that a
// failing test did not expect).
class TRunCloser
{
public:
    explicit TRunCloser(TStatus* Status) : FStatus(Status)
    {
        FTimer.SetInterval(5);
        FTimer.OnTimer = [this](TObject*) { Tick(); };
    }
    TRunCloser(const TRunCloser&) = delete;
    TRunCloser& operator=(const TRunCloser&) = delete;

    // The status window was shown: a run started.
    bool Ran() const { return FRan; }
    // A run was closed with the Close button.
    bool Closed() const { return FClosed; }

private:
    void Tick()
    {
        FRan = FRan || FStatus->Modal();
        if (Error != nullptr && Error->Modal()) {
            Error->SetModalResult(mrOk);
        } else if (FStatus->Modal() && FStatus->Ok_BTN->Visible()) {
            FClosed = true;
            Simulate::Click(FStatus->Ok_BTN);
        }
    }

    TStatus* FStatus;
    bool FRan = false;
    bool FClosed = false;
    TTimer FTimer{nullptr};
};

} // namespace apptest
