// The gallery tests' fixture: a program folder with the shipped templates and one of the test's
// own, runs through the real status and errors windows with what each showed, and the pages and
// checks of a finished gallery.
#pragma once

#include "app/errors_window.h"
#include "app/gallery_run.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/template_params.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "platform/core/random.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/std_controls.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gallerytest {

// A template of the test's own, whose pages are compared byte for byte: two pictures a page,
// links by page, a page variable and a template parameter.
inline constexpr const char* GridTemplate =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<title>@_title_@ @_current_page_@ of @_total_pages_@</title>\n"
    "</head>\n"
    "<body>\n"
    "<p><img src=\"grid_images/dot.png\" alt=\"\" width=\"12\" height=\"12\"></p>\n"
    "<prev><p><a href=\"@_prev_page_url_@\">back</a></p></prev>\n"
    "<thumbs cols=2 rows=1 border=0>\n"
    "<next><p><a href=\"@_next_page_url_@\">on</a></p><nextelse><p>end</p></next>\n"
    "</body>\n"
    "</html>\n";

inline std::vector<std::string> Sorted(std::vector<std::string> Names)
{
    std::sort(Names.begin(), Names.end());
    return Names;
}

// What a run through the status window showed.
struct TShownRun
{
    TModalResult Result = mrNone;
    std::vector<std::string> Errors;   // texts of the errors window
    std::vector<std::string> Messages; // texts of message boxes
    std::array<std::string, 5> Icons;  // Check1_IMG to Check4_IMG, and "" or "check" for Check6_IMG
    bool Success = false;              // "Gallery successfully created" shown
    std::string Files;                 // Files_LBL when shown
    bool CloseShown = false;
    bool CancelShown = true;
    bool ProgressShown = true;
};

// What a run showed and the gallery it left (every path with its content), the run's random
// picture folder named "<pictures>/" in errors, paths and pages, so that two runs compare byte
// for byte.
struct TNeutralRun
{
    TShownRun Shown;
    std::map<std::string, std::string> Files;
};

// A program folder with the shipped templates and spacer, one template of the test's own, and a
// gallery folder; runs go through a new status window each, and the errors window is closed
// whenever it shows.
class Gallery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        ASSERT_TRUE(ForceDirectories(FTemp.File("program/")));
        fs::copy(SourceFolder() + "templates", FTemp.File("program/templates"), fs::copy_options::recursive);
        fs::copy(SourceFolder() + "data", FTemp.File("program/data"), fs::copy_options::recursive);
        ASSERT_TRUE(ForceDirectories(FTemp.File("program/templates/grid/grid_images/")));
        FTemp.Write("program/templates/grid/template.html", GridTemplate);
        FTemp.Write("program/templates/grid/template.ini", "[options]\nname=Grid\nimagesDir=grid_images\n");
        fs::copy(FixtureFolder() + "dot.png", FTemp.File("program/templates/grid/grid_images/dot.png"));

        // As the program does at start, so that picture folders differ from run to run.
        Randomize();
        GallerySettings = TGallerySettings();
        GallerySettings.ProgramFolder = FTemp.File("program/");
        GallerySettings.ImagesPath = FixtureImages();
        GallerySettings.GalleryPath = FGallery;
        GallerySettings.ImageSizeIndex = 0;
        GallerySettings.IconWidth = 50;
        GallerySettings.IconHeight = 50;
        GallerySettings.ImageQuality = 75;
        GallerySettings.IconQuality = 60;
        // Every run spreads its pictures over as many workers as an 8-core machine has.
        GallerySettings.Threads = 8;
        InstalledTemplates = ReadInstalledTemplates(GallerySettings.ProgramFolder + "templates/");
        ChooseTemplate("grid");
        FErrorWindow = new TError(nullptr);
    }

    void TearDown() override
    {
        if (FErrorWindow != nullptr) {
            FErrorWindow->Free();
        }
        GallerySettings = TGallerySettings();
        InstalledTemplates.clear();
        TemplateParams.Clear();
    }

    void ChooseTemplate(const std::string& Folder)
    {
        GallerySettings.TemplateIndex = -1;
        for (size_t k = 0; k < InstalledTemplates.size(); ++k) {
            if (InstalledTemplates[k].Folder == Folder) {
                GallerySettings.TemplateIndex = static_cast<int32_t>(k) + 1;
            }
        }
        ASSERT_GT(GallerySettings.TemplateIndex, 0) << Folder;
        ScanTemplateParams();
    }

    void SetParameter(const std::string& Name, const std::string& Value)
    {
        TVqValue* parameter = TemplateParams.Find(Name);
        ASSERT_NE(parameter, nullptr) << Name;
        parameter->SetString(Value);
    }

    // Shows a new status window modally, as the Create button does, and closes it with its Close
    // button once the run has ended. Probe, when given, runs at every status change of the run
    // until it returns true.
    TShownRun Run(const std::function<bool(TStatus&)>& Probe = nullptr)
    {
        FDialogs.ClearCalls();
        TShownRun shown;
        auto* window = new TStatus(nullptr);
        TTimer closer(nullptr);
        closer.SetInterval(1);
        closer.OnTimer = [&](TObject*) {
            if (FErrorWindow->Modal()) {
                shown.Errors.push_back(FErrorWindow->Errors_TXT->Text());
                FErrorWindow->Ok_BTN->Click();
            } else if (window->Modal() && window->Ok_BTN->Visible()) {
                window->Ok_BTN->Click();
            }
        };
        std::unique_ptr<TEachMessagePass> probe;
        if (Probe) {
            probe = std::make_unique<TEachMessagePass>([&] { return Probe(*window); });
        }
        shown.Result = window->ShowModal();
        closer.SetEnabled(false);
        TImage* images[] = {window->Check1_IMG, window->Check2_IMG, window->Check3_IMG, window->Check4_IMG,
                            window->Check6_IMG};
        for (int i = 0; i < 4; ++i) {
            shown.Icons[i] = images[i]->Visible() ? IconOf(images[i]) : "hidden";
        }
        shown.Icons[4] = window->Check6_IMG->Visible() ? IconOf(window->Check6_IMG) : "hidden";
        shown.Success = window->State6_LBL->Visible() && window->Check6_IMG->Visible();
        shown.Files = window->Files_LBL->Visible() ? window->Files_LBL->Caption() : "";
        shown.CloseShown = window->Ok_BTN->Visible();
        shown.CancelShown = window->Cancel_BTN->Visible();
        shown.ProgressShown = window->Status_PB->Visible();
        for (const TDialogCall& call : FDialogs.CallsOf(dkMessageBox)) {
            EXPECT_EQ(call.Caption, "Plimbet v1.0");
            EXPECT_EQ(call.Flags, 16u);
            shown.Messages.push_back(call.Text);
        }
        window->Free();
        return shown;
    }

    std::string Page(const std::string& Name) const { return kvtest::TempFolder::Read(FGallery + Name); }

    // Eight copies of each fixture picture under names that clash once written, among pictures
    // that are damaged, empty or too large, become the images folder.
    void UseManyPictures()
    {
        const std::string fuzz = std::string(KV_TEST_DATA_DIR) + "/fuzz/";
        ASSERT_TRUE(ForceDirectories(FTemp.File("many/")));
        for (int copy = 0; copy < 8; ++copy) {
            for (const char* name :
                 {"flag.gif", "IMG_0001.JPG", "img_0001.jpg", "sunset.bmp", "sunset.png"}) {
                std::filesystem::copy(FixtureImages() + name, FTemp.File("many/") + char('a' + copy) + name);
            }
        }
        FTemp.Write("many/b_truncated.jpg",
                    kvtest::TempFolder::Read(FixtureFolder() + "leftout/truncated-header.jpg"));
        FTemp.Write("many/c_empty.png", "");
        FTemp.Write("many/d_panorama.jpg", kvtest::TempFolder::Read(fuzz + "jpeg/huge-dimensions.jpg"));
        GallerySettings.ImagesPath = FTemp.File("many/");
    }

    TNeutralRun NeutralRun(int32_t Threads)
    {
        GallerySettings.Threads = Threads;
        TNeutralRun run{Run(), {}};
        std::string prefix = RandomFolder(FGallery, 8);
        // A run that failed before its first page leaves no picture folder; its errors name it.
        const std::string errors = run.Shown.Errors.empty() ? "" : run.Shown.Errors[0];
        for (size_t at = errors.find(FGallery); prefix.empty() && at != std::string::npos;
             at = errors.find(FGallery, at + 1)) {
            const std::string name = errors.substr(at + FGallery.size(), 9);
            prefix = name.find_first_not_of("0123456789abcdef") == 8 && name[8] == '/' ? name : "";
        }
        const auto neutral = [&](std::string Text) {
            for (size_t at = 0; !prefix.empty() && (at = Text.find(prefix, at)) != std::string::npos;) {
                Text.replace(at, prefix.size(), "<pictures>/");
            }
            return Text;
        };
        for (std::string& text : run.Shown.Errors) {
            text = neutral(text);
        }
        for (const std::string& path : FolderTree(FGallery)) {
            run.Files[neutral(path)] =
                path.back() == '/' ? "" : neutral(kvtest::TempFolder::Read(FGallery + path));
        }
        return run;
    }

    kvtest::TempFolder FTemp;
    std::string FGallery = FTemp.File("web/");
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    TScriptedDialogService FDialogs;
    TError* FErrorWindow = nullptr;
};

// The pages of the grid template for the five fixture pictures, two a page; Prefix is the run's
// picture folder.
inline std::map<std::string, std::string> GridPages(const std::string& Prefix,
                                                    const std::vector<std::string>& Pictures)
{
    const auto cell = [&](const std::string& Picture) {
        const std::string thumb = Picture.substr(0, Picture.rfind('.')) + ".jpg";
        return "<td><a href='" + Prefix + Picture + "' target='_blank'><img border='0' src='" + Prefix +
               "thumbs/" + thumb + "'></a></td>";
    };
    const std::string filler =
        "<td><img border='0' src='" + Prefix + "spacer.gif' width='50' height='50'></td>";
    const auto page = [&](int n, const std::string& First, const std::string& Second) {
        const std::string prev =
            n == 1 ? ""
                   : "<p><a href=\"" + std::string(n == 2 ? "index.html" : "index2.html") + "\">back</a></p>";
        const std::string next =
            n == 3 ? "<p>end</p>" : "<p><a href=\"index" + std::to_string(n + 1) + ".html\">on</a></p>";
        return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Holiday " +
               std::to_string(n) +
               " of 3</title>\n</head>\n<body>\n"
               "<p><img src=\"grid_images/dot.png\" alt=\"\" width=\"12\" height=\"12\"></p>\n" +
               prev + "\n<table border='0' cellspacing='0' cellpadding='0'>\r\n<tr>\r\n" + First + Second +
               "</tr>\r\n</table>\r\n\n" + next + "\n</body>\n</html>\n";
    };
    return {
        {"index.html", page(1, cell(Pictures[0]), cell(Pictures[1]))},
        {"index2.html", page(2, cell(Pictures[2]), cell(Pictures[3]))},
        {"index3.html", page(3, cell(Pictures[4]), filler)},
    };
}

// Every page passes tidy without errors and names only files that exist.
inline void ExpectSoundPages(const std::string& Gallery)
{
    for (const TDirEntry& entry : ListDirectory(Gallery)) {
        if (ExtractFileExt(entry.Name) == ".html") {
            EXPECT_EQ(TidyErrors(Gallery + entry.Name), "") << entry.Name;
        }
    }
    const std::string links = BrokenLinks(Gallery);
    EXPECT_EQ(links.substr(links.find('\n') + 1), "\n") << links;
}

} // namespace gallerytest
