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

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// The program's windows as the program makes them, over a program folder with the shipped
// templates and a picture to make galleries of.
class Keyboard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        ASSERT_TRUE(ForceDirectories(FTemp.File("program/")));
        fs::copy(gallerytest::SourceFolder() + "templates", FTemp.File("program/templates"),
                 fs::copy_options::recursive);
        fs::copy(gallerytest::SourceFolder() + "data", FTemp.File("program/data"),
                 fs::copy_options::recursive);
        ASSERT_TRUE(ForceDirectories(FTemp.File("pictures/")));
        FTemp.Write("pictures/img_0001.jpg",
                    kvtest::TempFolder::Read(gallerytest::FixtureImages() + "img_0001.jpg"));
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
        Simulate::ProcessEvents();
    }

    void TearDown() override
    {
        for (TForm* form : std::initializer_list<TForm*>{FTempName, FTempOrg, FParamValue, FTempParam,
                                                         FOptions, FError, FStatus, FAbout, FMain}) {
            form->Free();
        }
        GallerySettings = TGallerySettings();
        InstalledTemplates.clear();
        TemplateParams.Clear();
    }

    template <class TWindow> TWindow* Make()
    {
        auto* window = new TWindow(Application);
        window->AfterConstruction();
        return window;
    }

    // Shows the window modally and plays Keys once it shows; the window's result.
    static TModalResult ShowWith(TForm* Window, const std::function<void()>& Keys)
    {
        apptest::WhenModal user(Window, Keys);
        const TModalResult result = Window->ShowModal();
        EXPECT_TRUE(user.Ran()) << Window->Name();
        return result;
    }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    kvtest::ScopedEnv FHome{"PLIMBET_HOME", FTemp.File("program/")};
    TScriptedDialogService FDialogs;
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

TEST_F(Keyboard, EscapeCancelsOrClosesEveryDialog)
{
    TemplateParams.Add(vqString, "title")->SetString("Holiday");
    FParamValue->SetParameter(TemplateParams.GetItem(0));
    const struct
    {
        TForm* Window;
        std::function<TWinControl*()> Focus; // where the key is pressed; nullptr for the window
    } dialogs[] = {
        {FOptions, [&] { return FOptions->BgColor_TXT; }},
        {FTempParam, [&] { return FTempParam->Param_LST; }},
        {FParamValue, [&] { return FParamValue->Value_TXT; }},
        {FAbout, [] { return nullptr; }},
        {FTempOrg, [&] { return FTempOrg->Temp_LST; }},
        {FTempName, [&] { return FTempName->Name_TXT; }},
        {FError, [] { return nullptr; }},
    };
    for (const auto& dialog : dialogs) {
        const TModalResult result = ShowWith(dialog.Window, [&] {
            TWinControl* focus = dialog.Focus();
            Simulate::Key(focus != nullptr ? focus : dialog.Window, VK_ESCAPE);
        });
        EXPECT_EQ(result, mrCancel) << dialog.Window->Name();
        EXPECT_FALSE(dialog.Window->Visible()) << dialog.Window->Name();
    }
    // The properties window without its Cancel button (adding a template) closes all the same.
    FTempName->Cancel_BTN->SetVisible(false);
    EXPECT_EQ(ShowWith(FTempName, [&] { Simulate::Key(FTempName->Name_TXT, VK_ESCAPE); }), mrCancel);
    EXPECT_EQ(TemplateParams.GetItem(0)->AsString(), "Holiday");
}

TEST_F(Keyboard, EscapeInTheStatusWindowCancelsTheRunAndThenClosesIt)
{
    GallerySettings.ImagesPath = FTemp.File("pictures/");
    GallerySettings.GalleryPath = FTemp.File("web/");
    GallerySettings.ImageSizeIndex = 0;
    GallerySettings.TemplateIndex = 1;
    // During the run Escape cancels it; the window closes once the run has stopped.
    std::unique_ptr<gallerytest::TEachMessagePass> probe;
    probe = std::make_unique<gallerytest::TEachMessagePass>([&] {
        if (!gallerytest::IsClock(gallerytest::IconOf(FStatus->Check2_IMG))) {
            return false;
        }
        Simulate::Key(FStatus, VK_ESCAPE);
        return true;
    });
    EXPECT_EQ(FStatus->ShowModal(), mrCancel);
    EXPECT_EQ(FStatus->LastResult(), grCancelled);
    probe.reset();

    // After the run, Escape closes it.
    TTimer closer(nullptr);
    closer.SetInterval(1);
    closer.OnTimer = [&](TObject*) {
        if (FStatus->Modal() && FStatus->Ok_BTN->Visible()) {
            Simulate::Key(FStatus, VK_ESCAPE);
        }
    };
    FStatus->ShowModal();
    EXPECT_EQ(FStatus->LastResult(), grSucceeded);
    EXPECT_FALSE(FStatus->Visible());
}

TEST_F(Keyboard, EnterInAFieldConfirmsTheDialog)
{
    // Options: a number typed in a spin edit is stored as OK stores it.
    const TModalResult options = ShowWith(FOptions, [&] {
        Simulate::Retype(FOptions->Cols_TXT, "5");
        Simulate::Key(FOptions->Cols_TXT, VK_RETURN);
    });
    EXPECT_EQ(options, mrOk);
    EXPECT_EQ(GallerySettings.TableCols, 5);
    EXPECT_EQ(RegReadInteger(OptionsSection, "TableCols", 0), 5);

    TemplateParams.Add(vqString, "title")->SetString("Holiday");
    FParamValue->SetParameter(TemplateParams.GetItem(0));
    const TModalResult value = ShowWith(FParamValue, [&] {
        Simulate::Retype(FParamValue->Value_TXT, "Summer");
        Simulate::Key(FParamValue->Value_TXT, VK_RETURN);
    });
    EXPECT_EQ(value, mrOk);
    EXPECT_EQ(TemplateParams.GetItem(0)->AsString(), "Summer");

    const TModalResult properties = ShowWith(FTempName, [&] {
        Simulate::Retype(FTempName->Name_TXT, "Blue");
        Simulate::Key(FTempName->Name_TXT, VK_RETURN);
    });
    EXPECT_EQ(properties, mrOk);
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
