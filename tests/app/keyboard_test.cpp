// The program's windows from the keyboard alone: Escape cancels or closes every dialog, Enter in
// a field confirms it, Tab reaches every button of the main window in the order of its rows,
// and the main menu opens with Alt and its access keys.
#include "app/about_window.h"
#include "app/errors_window.h"
#include "app/main_window.h"
#include "app/options_window.h"
#include "app/param_value_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/template_params.h"
#include "app/template_params_window.h"
#include "app/template_properties.h"
#include "app/templates.h"
#include "app/templates_organizer.h"
#include "platform/core/files.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/app/window_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The program's windows as the program makes them, over the shipped program folder.
class Keyboard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FMain = Make<TMain>();
        FMain->Show();
        FAbout = Make<TAbout>();
        FStatus = Make<TStatus>();
        FError = Make<TError>();
        FOptions = Make<TOptions>();
        FTempParam = Make<TTempParam>();
        FParamValue = Make<TParamValue>();
        FTempOrg = Make<TTempOrg>();
        FTempName = Make<TTempName>();
        TemplateParams.Add(vqString, "title")->SetString("Holiday");
        FParamValue->SetParameter(TemplateParams.GetItem(0));
        Simulate::ProcessEvents();
    }

    void TearDown() override
    {
        for (auto form = FWindows.rbegin(); form != FWindows.rend(); ++form) {
            (*form)->Free();
        }
        GallerySettings = TGallerySettings();
        InstalledTemplates.clear();
        TemplateParams.Clear();
    }

    template <class TWindow> TWindow* Make()
    {
        auto* window = new TWindow(Application);
        window->AfterConstruction();
        FWindows.push_back(window);
        return window;
    }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    kvtest::ScopedEnv FHome{"PLIMBET_HOME", gallerytest::SourceFolder()};
    TScriptedDialogService FDialogs;
    std::vector<TForm*> FWindows;
    TMain* FMain = nullptr;
    TAbout* FAbout = nullptr;
    TStatus* FStatus = nullptr;
    TError* FError = nullptr;
    TOptions* FOptions = nullptr;
    TTempParam* FTempParam = nullptr;
    TParamValue* FParamValue = nullptr;
    TTempOrg* FTempOrg = nullptr;
    TTempName* FTempName = nullptr;
};

} // namespace

TEST_F(Keyboard, EscapeCancelsOrClosesEveryDialogAndEnterInAFieldConfirmsIt)
{
    const struct
    {
        TForm* Window;
        TWinControl* Focus; // nullptr: the window itself, with nothing in it to focus
        const char* Typed;  // retyped into the focused field first
        uint16_t Key;
        TModalResult Result;
    } cases[] = {
        {FOptions, FOptions->BgColor_TXT, nullptr, VK_ESCAPE, mrCancel},
        {FTempParam, FTempParam->Param_LST, nullptr, VK_ESCAPE, mrCancel},
        {FParamValue, FParamValue->Value_TXT, "Spring", VK_ESCAPE, mrCancel},
        {FAbout, nullptr, nullptr, VK_ESCAPE, mrCancel},
        {FTempOrg, FTempOrg->Temp_LST, nullptr, VK_ESCAPE, mrCancel},
        {FTempName, FTempName->Name_TXT, nullptr, VK_ESCAPE, mrCancel},
        {FError, nullptr, nullptr, VK_ESCAPE, mrCancel},
        {FOptions, FOptions->Cols_TXT, "5", VK_RETURN, mrOk},
        {FParamValue, FParamValue->Value_TXT, "Summer", VK_RETURN, mrOk},
        {FTempName, FTempName->Name_TXT, "Blue", VK_RETURN, mrOk},
    };
    for (const auto& c : cases) {
        apptest::WhenModal user(c.Window, [&] {
            if (c.Typed != nullptr) {
                Simulate::Retype(c.Focus, c.Typed);
            }
            Simulate::Key(c.Focus != nullptr ? c.Focus : c.Window, c.Key);
        });
        EXPECT_EQ(c.Window->ShowModal(), c.Result) << c.Window->Name() << " " << c.Key;
        EXPECT_TRUE(user.Ran());
    }
    // What Enter confirmed is kept; what Escape cancelled is not.
    EXPECT_EQ(GallerySettings.TableCols, 5);
    EXPECT_EQ(TemplateParams.GetItem(0)->AsString(), "Summer");
    // The properties window without its Cancel button (adding a template) closes all the same.
    FTempName->Cancel_BTN->SetVisible(false);
    apptest::WhenModal user(FTempName, [&] { Simulate::Key(FTempName->Name_TXT, VK_ESCAPE); });
    EXPECT_EQ(FTempName->ShowModal(), mrCancel);
}

TEST_F(Keyboard, EscapeInTheStatusWindowCancelsTheRunAndThenClosesIt)
{
    GallerySettings.ImagesPath = gallerytest::FixtureImages();
    GallerySettings.GalleryPath = FTemp.File("web/");
    GallerySettings.TemplateIndex = 1;
    for (const bool duringTheRun : {true, false}) {
        TTimer escape(nullptr);
        escape.SetInterval(1);
        escape.OnTimer = [&](TObject*) {
            const bool running = gallerytest::IsClock(gallerytest::IconOf(FStatus->Check2_IMG));
            if (FStatus->Modal() && (duringTheRun ? running : FStatus->Ok_BTN->Visible())) {
                Simulate::Key(FStatus, VK_ESCAPE);
            }
        };
        FStatus->ShowModal();
        EXPECT_EQ(FStatus->LastResult(), duringTheRun ? grCancelled : grSucceeded);
    }
}

TEST_F(Keyboard, TabReachesEveryButtonOfTheMainWindowRowByRow)
{
    // A template from a file and a custom size make every control usable.
    Simulate::Choose(FMain->Template_CBX, 0);
    Simulate::Choose(FMain->ImageSize_CBX, 6);
    Simulate::Focus(FMain->ImagesPath_TXT);
    std::vector<std::string> visited;
    for (int i = 0; i < 20; ++i) {
        TControl* focused = Simulate::FocusedControl();
        ASSERT_NE(focused, nullptr) << i;
        // Composite controls (the spin edits) have inner widgets of their own.
        while (focused->Name().empty() && focused->Parent() != nullptr) {
            focused = focused->Parent();
        }
        if (!visited.empty() && focused->Name() == visited.front()) {
            break;
        }
        visited.push_back(focused->Name());
        Simulate::KeyToFocus(VK_TAB);
    }
    EXPECT_EQ(visited,
              (std::vector<std::string>{"ImagesPath_TXT", "ImagesOpen_BTN", "Template_CBX", "Template_TXT",
                                        "TemplateOpen_BTN", "GalleryPath_TXT", "GalleryOpen_BTN",
                                        "IconWidth_TXT", "IconHeight_TXT", "IconEq_CHK", "IconQuality_TB",
                                        "ImageSize_CBX", "ImageWidth_TXT", "ImageHeight_TXT", "ImageEq_CHK",
                                        "ImagesQuality_TB", "Create_BTN"}));

    // Enter on a "..." button reached with Tab presses it.
    Simulate::Focus(FMain->ImagesPath_TXT);
    Simulate::KeyToFocus(VK_TAB);
    Simulate::KeyToFocus(VK_RETURN);
    const std::vector<TDialogCall> pickers = FDialogs.CallsOf(dkBrowseForFolder);
    ASSERT_EQ(pickers.size(), 1u);
    EXPECT_EQ(pickers[0].Caption, "Please choose the folder with images");
}

TEST_F(Keyboard, TheMainMenuOpensWithAltAndItsAccessKeys)
{
    {
        apptest::WhenModal escape(FOptions, [&] { Simulate::Key(FOptions->Cols_TXT, VK_ESCAPE); });
        Simulate::Key(FMain->ImagesPath_TXT, 'O', ssAlt);
        EXPECT_EQ(Simulate::OpenMenu(), "&Options");
        Simulate::KeyToFocus('O');
        EXPECT_TRUE(escape.Ran());
    }
    {
        // Alt alone takes the keyboard to the menu bar.
        apptest::WhenModal escape(FAbout, [&] { Simulate::Key(FAbout, VK_ESCAPE); });
        Simulate::Key(FMain->ImagesPath_TXT, VK_MENU);
        Simulate::KeyToFocus('H');
        EXPECT_EQ(Simulate::OpenMenu(), "&Help");
        Simulate::KeyToFocus('A');
        EXPECT_TRUE(escape.Ran());
    }
}
