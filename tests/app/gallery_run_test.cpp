// A gallery from end to end: the real status and errors windows drive runs over a folder of
// JPEG, PNG, GIF and BMP pictures with a text file, hidden files and a sub-folder; the results
// are checked by layout, page bytes, djpeg, gifsicle, identify, tidy and an HTML parser.
#include "app/errors_window.h"
#include "app/file_utils.h"
#include "app/gallery_run.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/status_window_icons.h"
#include "app/template_params.h"
#include "app/templates.h"
#include "platform/core/detail/write_room.h"
#include "platform/core/files.h"
#include "platform/core/random.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/messages.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/app/unreadable_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace gallerytest;

// A template of the test's own, whose pages are compared byte for byte: two pictures a page,
// links by page, a page variable and a template parameter.
const char* const GridTemplate =
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

std::vector<std::string> Sorted(std::vector<std::string> Names)
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
        const std::string prefix = RandomFolder(FGallery, 8);
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
std::map<std::string, std::string> GridPages(const std::string& Prefix,
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
void ExpectSoundPages(const std::string& Gallery)
{
    for (const TDirEntry& entry : ListDirectory(Gallery)) {
        if (ExtractFileExt(entry.Name) == ".html") {
            EXPECT_EQ(TidyErrors(Gallery + entry.Name), "") << entry.Name;
        }
    }
    const std::string links = BrokenLinks(Gallery);
    EXPECT_EQ(links.substr(links.find('\n') + 1), "\n") << links;
}

} // namespace

TEST_F(Gallery, KeptSizesGiveTheLayoutPagesAndPicturesOfTheFolder)
{
    SetParameter("title", "Holiday");
    const TShownRun shown = Run();
    EXPECT_EQ(shown.Result, mrOk);
    EXPECT_TRUE(shown.Errors.empty()) << shown.Errors.front();
    EXPECT_TRUE(shown.Messages.empty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(shown.Icons[i], "check") << i;
    }
    EXPECT_EQ(shown.Icons[4], "check");
    EXPECT_TRUE(shown.Success);
    EXPECT_EQ(shown.Files, "Founded 5 files");
    EXPECT_TRUE(shown.CloseShown);
    EXPECT_FALSE(shown.CancelShown);
    EXPECT_FALSE(shown.ProgressShown);

    // The text file, the hidden picture, thumbs.db and the sub-folder are left out; the two pairs whose
    // written names would clash keep both pictures.
    const std::string prefix = RandomFolder(FGallery, 8);
    ASSERT_FALSE(prefix.empty());
    const std::vector<std::string> pictures = {"flag.gif", "img_0001.jpg", "img_0001_2.jpg", "sunset.jpg",
                                               "sunset_2.jpg"};
    std::vector<std::string> layout = {prefix};
    for (const char* name :
         {"flag.gif", "img_0001.jpg", "img_0001_2.jpg", "spacer.gif", "sunset.jpg", "sunset_2.jpg"}) {
        layout.push_back(prefix + name);
    }
    layout.push_back(prefix + "thumbs/");
    for (const char* name : {"flag.jpg", "img_0001.jpg", "img_0001_2.jpg", "sunset.jpg", "sunset_2.jpg"}) {
        layout.push_back(prefix + "thumbs/" + name);
    }
    for (const char* name :
         {"grid_images/", "grid_images/dot.png", "index.html", "index2.html", "index3.html"}) {
        layout.push_back(name);
    }
    std::sort(layout.begin(), layout.end());
    std::vector<std::string> tree = FolderTree(FGallery);
    std::sort(tree.begin(), tree.end());
    EXPECT_EQ(tree, layout);

    for (const auto& [name, bytes] : GridPages(prefix, pictures)) {
        EXPECT_EQ(Page(name), bytes) << name;
    }
    ExpectSoundPages(FGallery);

    // Pictures keep their size; thumbnails fit the 50 x 50 box.
    const struct
    {
        const char* Name;
        TPictureSize Picture;
        TPictureSize Thumbnail;
    } sizes[] = {
        {"img_0001.jpg", {300, 200}, {50, 33}},
        {"img_0001_2.jpg", {120, 90}, {50, 37}},
        {"sunset.jpg", {40, 80}, {25, 50}},
        {"sunset_2.jpg", {100, 50}, {50, 25}},
    };
    for (const auto& size : sizes) {
        const std::string picture = FGallery + prefix + size.Name;
        const std::string thumbnail = FGallery + prefix + "thumbs/" + size.Name;
        EXPECT_EQ(JpegSize(picture), size.Picture) << size.Name;
        EXPECT_EQ(JpegQuality(picture), 75) << size.Name;
        EXPECT_EQ(JpegSize(thumbnail), size.Thumbnail) << size.Name;
        EXPECT_EQ(JpegQuality(thumbnail), 60) << size.Name;
    }
    EXPECT_EQ(GifSize(FGallery + prefix + "flag.gif"), (TPictureSize{64, 48}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "thumbs/flag.jpg"), (TPictureSize{50, 37}));
    EXPECT_EQ(GifSize(FGallery + prefix + "spacer.gif"), (TPictureSize{1, 1}));
}

TEST_F(Gallery, ChosenSizeFitsEveryPictureAsJpegAndThumbnailsComeFromTheFittedPicture)
{
    GallerySettings.ImageSizeIndex = 6;
    GallerySettings.ImageWidth = 160;
    GallerySettings.ImageHeight = 120;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success);
    const std::string prefix = RandomFolder(FGallery, 8);
    // Smaller pictures are enlarged until they touch the box; the GIF becomes a JPEG too.
    const struct
    {
        const char* Name;
        TPictureSize Picture;
        TPictureSize Thumbnail;
    } sizes[] = {
        {"flag.jpg", {160, 120}, {50, 37}},       {"img_0001.jpg", {160, 106}, {50, 33}},
        {"img_0001_2.jpg", {160, 120}, {50, 37}}, {"sunset.jpg", {60, 120}, {25, 50}},
        {"sunset_2.jpg", {160, 80}, {50, 25}},
    };
    std::vector<std::string> pictures = {"spacer.gif", "thumbs/"};
    for (const auto& size : sizes) {
        pictures.push_back(size.Name);
        EXPECT_EQ(JpegSize(FGallery + prefix + size.Name), size.Picture) << size.Name;
        EXPECT_EQ(JpegQuality(FGallery + prefix + size.Name), 75) << size.Name;
        EXPECT_EQ(JpegSize(FGallery + prefix + "thumbs/" + size.Name), size.Thumbnail) << size.Name;
    }
    std::vector<std::string> inFolder;
    for (const TDirEntry& entry : ListDirectory(FGallery + prefix)) {
        inFolder.push_back(entry.Name + (entry.IsDirectory() ? "/" : ""));
    }
    EXPECT_EQ(Sorted(inFolder), Sorted(pictures));
    EXPECT_NE(Page("index.html").find(prefix + "flag.jpg'"), std::string::npos);
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, TemplateFromFileBringsItsPicturesAndLeavesNoCopyOfItself)
{
    const std::string source = FixtureFolder() + "page.html";
    const std::string before = kvtest::TempFolder::Read(source);
    GallerySettings.TemplateIndex = 0;
    GallerySettings.TemplateFile = source;
    ScanTemplateParams();
    SetParameter("title", "Walk");
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success) << (shown.Messages.empty() ? "" : shown.Messages.front());

    const std::string copies = RandomFolder(FGallery, 12);
    ASSERT_FALSE(copies.empty());
    EXPECT_FALSE(FileExists(FGallery + "template.html"));
    EXPECT_EQ(kvtest::TempFolder::Read(source), before);
    // The import copies the page's picture under a name of its own.
    const std::vector<std::string> copied = FolderTree(FGallery + copies);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(ExtractFileExt(copied[0]), ".png");
    std::vector<std::string> pages;
    for (const TDirEntry& entry : ListDirectory(FGallery)) {
        if (!entry.IsDirectory()) {
            pages.push_back(entry.Name);
        }
    }
    EXPECT_EQ(pages, (std::vector<std::string>{"index.html", "index2.html", "index3.html"}));
    const std::string last = Page("index3.html");
    EXPECT_NE(last.find("<title>Walk 3/3</title>"), std::string::npos) << last;
    EXPECT_NE(last.find("<img src=\"" + copies + copied[0] + "\""), std::string::npos) << last;
    EXPECT_NE(last.find("<p>index3.html</p>"), std::string::npos) << last;
    // A data URL is no file to copy, whatever its text looks like.
    EXPECT_NE(last.find("<img src=\"data:image/png;base64,iVBORw0KGgo/AAAA.png\""), std::string::npos)
        << last;
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, RunningAgainReplacesEverythingTheFirstRunWrote)
{
    ASSERT_TRUE(Run().Success);
    const std::string first = RandomFolder(FGallery, 8);
    FTemp.Write("web/notes.txt", "left by the user");
    ASSERT_TRUE(Run().Success);
    const std::string second = RandomFolder(FGallery, 8);
    EXPECT_NE(second, first);
    EXPECT_FALSE(DirectoryExists(FGallery + first));
    EXPECT_FALSE(FileExists(FGallery + "notes.txt"));
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, FailuresShowTheirMessagesAndTheStageThatFailed)
{
    const std::string templatePage = FTemp.File("program/templates/grid/template.html");
    const std::string emptyFolder = FTemp.File("nothing/");
    ASSERT_TRUE(ForceDirectories(emptyFolder + "sub/"));
    FTemp.Write("nothing/thumbs.db", "x");
    FTemp.Write("nothing/.hidden.jpg", kvtest::TempFolder::Read(FixtureImages() + "img_0001.jpg"));
    FTemp.Write("nothing/notes.txt", "not a picture");
    FTemp.Write("nothing/sub/inside.jpg", kvtest::TempFolder::Read(FixtureImages() + "img_0001.jpg"));
    ASSERT_TRUE(ForceDirectories(FTemp.File("locked/")));
    FTemp.Write("locked/img_0001.jpg", kvtest::TempFolder::Read(FixtureImages() + "img_0001.jpg"));
    std::unique_ptr<apptest::TUnreadableFolder> locked;
    const struct
    {
        const char* Case;
        std::function<void()> Arrange;
        int FailedStage;
        bool Starts;         // false: the run cannot start, and the earlier gallery stays
        std::string Message; // a message box
        std::string Errors;  // the errors window
    } cases[] = {
        {"template missing", [&] { DeleteFile(templatePage); }, 1, false, "Can't open the template file", ""},
        {"template errors",
         [&] {
             FTemp.Write("program/templates/grid/template.html", "<p>\n<thumbs cols=two>\n<thumb width=0>\n");
         },
         1, true, "",
         // Each error names the line the tag stands on.
         "The errors have been found while analyzing the template\r\nLine 2\r\nTag :thumbs\r\n"
         "The parameter 'cols' should be numeric\r\nLine 3\r\nTag :thumb\r\n"
         "The parameter 'width' should be at least 1\r\nTags to icon placement are not found in the "
         "template"},
        {"no placement", [&] { FTemp.Write("program/templates/grid/template.html", "<p>no pictures</p>\n"); },
         1, true, "",
         "The errors have been found while analyzing the template\r\n"
         "Tags to icon placement are not found in the template"},
        {"images folder missing", [&] { GallerySettings.ImagesPath = FTemp.File("gone"); }, 2, false, "",
         "Can't find the directory: " + FTemp.File("gone/")},
        {"images folder a file", [&] { GallerySettings.ImagesPath = templatePage; }, 2, false, "",
         "Can't find the directory: " + templatePage + "/"},
        {"images folder unreadable",
         [&] {
             GallerySettings.ImagesPath = FTemp.File("locked/");
             locked = std::make_unique<apptest::TUnreadableFolder>(FTemp.File("locked"));
         },
         2, false, "", "Can't find the directory: " + FTemp.File("locked/")},
        {"no readable picture", [&] { GallerySettings.ImagesPath = emptyFolder; }, 2, true,
         "Graphic files are not found in the images folder", ""},
    };
    const std::string grid = GridTemplate;
    for (const auto& c : cases) {
        FTemp.Write("program/templates/grid/template.html", grid);
        GallerySettings.ImagesPath = FixtureImages();
        // The gallery an earlier run left.
        EmptyFolder(FGallery);
        ASSERT_TRUE(ForceDirectories(FGallery + "0a1b2c3d/"));
        FTemp.Write("web/index.html", "the earlier gallery");
        FTemp.Write("web/0a1b2c3d/one.jpg", "its picture");
        c.Arrange();
        const TShownRun shown = Run();
        locked.reset();
        EXPECT_EQ(shown.Result, mrOk) << c.Case;
        EXPECT_EQ(shown.Messages,
                  c.Message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Message})
            << c.Case;
        EXPECT_EQ(shown.Errors,
                  c.Errors.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Errors})
            << c.Case;
        EXPECT_EQ(shown.Icons[c.FailedStage - 1], "failed") << c.Case;
        for (int later = c.FailedStage; later < 4; ++later) {
            EXPECT_EQ(shown.Icons[later], "hidden") << c.Case << later;
        }
        EXPECT_FALSE(shown.Success) << c.Case;
        EXPECT_TRUE(shown.CloseShown && !shown.CancelShown && !shown.ProgressShown) << c.Case;
        // A run that cannot start leaves the earlier gallery as it was. Otherwise the emptied
        // gallery folder keeps the template's images only: no picture was written, so the run
        // leaves no picture folder.
        if (!c.Starts) {
            EXPECT_EQ(FolderTree(FGallery),
                      (std::vector<std::string>{"0a1b2c3d/", "0a1b2c3d/one.jpg", "index.html"}))
                << c.Case;
            continue;
        }
        EXPECT_EQ(Sorted(FolderTree(FGallery)), Sorted({"grid_images/", "grid_images/dot.png"})) << c.Case;
    }
}

TEST_F(Gallery, PicturesThatCannotBeReadOrWrittenAreLeftOutAndReported)
{
    // The pictures are checked, then one disappears and one's target is taken by a folder: each
    // picture is read once, in the check, so only the one that cannot be written is missed. The
    // pictures that cannot be read, a link to nowhere among them, are named in list order with it.
    namespace fs = std::filesystem;
    fs::copy(FixtureImages(), FTemp.File("pictures"), fs::copy_options::recursive);
    FTemp.Write("pictures/a_cut.jpg",
                kvtest::TempFolder::Read(FixtureFolder() + "leftout/truncated-header.jpg"));
    ASSERT_EQ(::symlink(FTemp.File("gone.jpg").c_str(), FTemp.File("pictures/t_gone.jpg").c_str()), 0);
    FTemp.Write("pictures/u_empty.png", "");
    GallerySettings.ImagesPath = FTemp.File("pictures/");
    std::string prefix;
    const TShownRun shown = Run([&](TStatus& Window) {
        if (!Window.State3_LBL->Visible() || IconOf(Window.Check2_IMG) != "check") {
            return false;
        }
        prefix = RandomFolder(FGallery, 8);
        DeleteFile(FTemp.File("pictures/IMG_0001.JPG"));
        ForceDirectories(FGallery + prefix + "sunset.jpg/");
        return true;
    });
    ASSERT_EQ(shown.Errors.size(), 1u);
    EXPECT_EQ(shown.Errors[0], "The errors have been found while creating the gallery\r\n"
                               "a_cut.jpg: cannot be read\r\n"
                               "sunset.bmp: cannot be written\r\n"
                               "t_gone.jpg: cannot be read\r\n"
                               "u_empty.png: cannot be read\r\n");
    EXPECT_EQ(shown.Icons[2], "failed");
    EXPECT_EQ(shown.Icons[3], "check");
    EXPECT_FALSE(shown.Success);
    // Four pictures remain, on two pages, each with its thumbnail; no hidden file is left.
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix)),
              Sorted({"flag.gif", "img_0001.jpg", "img_0001_2.jpg", "spacer.gif", "sunset.jpg/",
                      "sunset_2.jpg", "thumbs/", "thumbs/flag.jpg", "thumbs/img_0001.jpg",
                      "thumbs/img_0001_2.jpg", "thumbs/sunset_2.jpg"}));
    EXPECT_FALSE(FileExists(FGallery + "index3.html"));
    EXPECT_EQ(Page("index.html").find("sunset.jpg"), std::string::npos);
    EXPECT_EQ(Page("index2.html").find("sunset.jpg"), std::string::npos);
    ExpectSoundPages(FGallery);
}

// A TIFF gives its first page; one in a layout that has no picture here is dropped, not shown
// blank.
TEST_F(Gallery, TakesTheFirstPageOfATiffAndDropsOneItCannotShow)
{
    const std::string go = "/usr/share/gocode/src/golang.org/x/image/testdata/";
    ASSERT_TRUE(ForceDirectories(FTemp.File("tiffs/")));
    RunTool("tiffcp " + go + "video-001.tiff " + go + "bw-gopher_ccittGroup4.tiff " +
            FTemp.File("tiffs/scan.tif"));
    RunTool("tiffcp -c g4 " + go + "bw-gopher_ccittGroup3.tiff " + FTemp.File("tiffs/fax.tif"));
    std::filesystem::copy(SourceFolder() + "tests/data/fuzz/tiff/ycbcr-uncompressed.tif",
                          FTemp.File("tiffs/odd.tif"));
    GallerySettings.ImagesPath = FTemp.File("tiffs/");
    const TShownRun shown = Run();
    // The picture left out is named; the gallery holds the other two.
    EXPECT_EQ(shown.Errors, std::vector<std::string>{"The errors have been found while creating the "
                                                     "gallery\r\nodd.tif: cannot be read\r\n"});
    EXPECT_EQ(shown.Files, "Founded 2 files");
    EXPECT_EQ(shown.Icons[3], "check");
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted({"fax.jpg", "scan.jpg"}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "scan.jpg"), (TPictureSize{150, 103}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "fax.jpg"), (TPictureSize{153, 55}));
    EXPECT_EQ(Page("index.html").find("odd"), std::string::npos);
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, PageThatCannotBeCreatedFailsTheLastStage)
{
    const TShownRun shown = Run([&](TStatus& Window) {
        if (!Window.State4_LBL->Visible() || IconOf(Window.Check3_IMG) != "check") {
            return false;
        }
        ForceDirectories(FGallery + "index2.html/");
        return true;
    });
    EXPECT_EQ(shown.Messages, std::vector<std::string>{"Can't create the file: " + FGallery + "index2.html"});
    EXPECT_EQ(shown.Icons[3], "failed");
    EXPECT_FALSE(shown.Success);
    // The first page and its thumbnails are written.
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted({"flag.jpg", "img_0001.jpg"}));
    EXPECT_NE(Page("index.html").find("</html>"), std::string::npos);
}

TEST_F(Gallery, CancelInEachStageStopsAtTheNextCancelPointAndClosesTheWindow)
{
    const struct
    {
        int Stage;
        // What is in the picture folder afterwards, and the pages.
        std::vector<std::string> Pictures;
        std::vector<std::string> Pages;
    } cases[] = {
        // Stage 1 has no cancel point: the first picture check of stage 2 stops the run.
        {1, {}, {}},
        {2, {}, {}},
        {3, {"flag.gif", "spacer.gif"}, {}},
        // The page holds what was written before the first tag's cancel point.
        {4,
         {"flag.gif", "img_0001.jpg", "img_0001_2.jpg", "spacer.gif", "sunset.jpg", "sunset_2.jpg",
          "thumbs/"},
         {"index.html"}},
    };
    for (const int32_t threads : {1, 8})
        for (const auto& c : cases) {
            GallerySettings.Threads = threads;
            SCOPED_TRACE(threads);
            TLabel* label = nullptr;
            const TShownRun shown = Run([&](TStatus& Window) {
                TLabel* labels[] = {Window.State1_LBL, Window.State2_LBL, Window.State3_LBL,
                                    Window.State4_LBL};
                TLabel* next = c.Stage < 4 ? labels[c.Stage] : nullptr;
                label = labels[c.Stage - 1];
                const bool started = Window.Check1_IMG->Picture()->Width() > 0;
                if (!started || (c.Stage > 1 && !label->Visible()) || (next != nullptr && next->Visible())) {
                    return false;
                }
                Window.Cancel_BTN->Click();
                return true;
            });
            EXPECT_EQ(shown.Result, mrCancel) << c.Stage;
            EXPECT_TRUE(shown.Errors.empty() && shown.Messages.empty()) << c.Stage;
            EXPECT_FALSE(shown.Success) << c.Stage;
            const int running = c.Stage == 1 ? 2 : c.Stage;
            EXPECT_TRUE(IsClock(shown.Icons[running - 1])) << c.Stage << " " << shown.Icons[running - 1];
            for (int done = 0; done < running - 1; ++done) {
                EXPECT_EQ(shown.Icons[done], "check") << c.Stage;
            }
            // Cancelled before any picture was written, the run leaves no picture folder; before
            // any page was, none of the template's files either.
            const std::string prefix = RandomFolder(FGallery, 8);
            ASSERT_EQ(prefix.empty(), c.Pictures.empty()) << c.Stage;
            EXPECT_EQ(DirectoryExists(FGallery + "grid_images/"), c.Stage == 4) << c.Stage;
            if (prefix.empty()) {
                EXPECT_TRUE(ListDirectory(FGallery).empty()) << c.Stage;
                continue;
            }
            std::vector<std::string> pictures;
            std::vector<std::string> pages;
            for (const TDirEntry& entry : ListDirectory(FGallery + prefix)) {
                pictures.push_back(entry.Name + (entry.IsDirectory() ? "/" : ""));
            }
            for (const TDirEntry& entry : ListDirectory(FGallery)) {
                if (!entry.IsDirectory()) {
                    pages.push_back(entry.Name);
                }
            }
            EXPECT_EQ(Sorted(pictures), c.Pictures) << c.Stage;
            EXPECT_EQ(pages, c.Pages) << c.Stage;
            if (c.Stage == 4) {
                EXPECT_EQ(Page("index.html"), "<!DOCTYPE html>");
                EXPECT_TRUE(FolderTree(FGallery + prefix + "thumbs/").empty());
            }
        }

    // A template from a file, cancelled before its page: neither the page's copy nor its files stay.
    GallerySettings.TemplateIndex = 0;
    GallerySettings.TemplateFile = FixtureFolder() + "page.html";
    const TShownRun shown = Run([&](TStatus& Window) {
        if (Window.Check1_IMG->Picture()->Width() == 0 || !Window.State2_LBL->Visible()) {
            return false;
        }
        Window.Cancel_BTN->Click();
        return true;
    });
    EXPECT_EQ(shown.Result, mrCancel);
    EXPECT_EQ(FolderTree(FGallery), std::vector<std::string>{});
}

TEST_F(Gallery, ShippedTemplatesMakeTidyLinkedPagesAndShowTheirPreview)
{
    // The classic table places twelve pictures a page and the cards page eight: thirteen make two
    // pages of each.
    namespace fs = std::filesystem;
    ASSERT_TRUE(ForceDirectories(FTemp.File("many/")));
    for (int i = 0; i < 13; ++i) {
        fs::copy(FixtureImages() + (i % 2 == 0 ? "img_0001.jpg" : "sunset.png"),
                 FTemp.File("many/p" + std::to_string(10 + i) + (i % 2 == 0 ? ".jpg" : ".png")));
    }
    GallerySettings.ImagesPath = FTemp.File("many/");
    for (const char* folder : {"classic", "cards"}) {
        ChooseTemplate(folder);
        const TShownRun shown = Run();
        EXPECT_TRUE(shown.Success) << folder;
        EXPECT_TRUE(FileExists(FGallery + "index2.html")) << folder;
        EXPECT_EQ(Page("index2.html").find("@_"), std::string::npos) << folder;
        ExpectSoundPages(FGallery);
        const std::string preview = GallerySettings.ProgramFolder + "templates/" + folder + "/template.jpg";
        EXPECT_EQ(JpegSize(preview), (TPictureSize{366, 300})) << folder;
    }
    // The classic preview shows the header as the page renders it: the camera logo stands whole,
    // clear of the left edge.
    const auto brightest = [&](const std::string& Area) {
        return std::atof(kvtest::ToolOutput("convert " + GallerySettings.ProgramFolder +
                                            "templates/classic/template.jpg -crop " + Area +
                                            " +repage -colorspace Gray -format '%[fx:maxima]' info:")
                             .c_str());
    };
    EXPECT_LT(brightest("2x30+0+2"), 0.4);
    EXPECT_GT(brightest("40x30+0+2"), 0.8);
}

// One picture of each format the codecs added read: each becomes a JPEG picture and thumbnail.
TEST_F(Gallery, MakesPicturesOfIconsCursorsPcxTgaNetpbmWbmpAndJpeg2000)
{
    const std::string rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
    const std::string reftests = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/reftests/";
    const std::string in = FTemp.File("formats/");
    ASSERT_TRUE(ForceDirectories(in));
    std::filesystem::copy(reftests + "squares.ico", in + "a.ico");
    RunTool("pnmtopng " + rose + " > " + in + "rose.png && icotool -c --cursor -X 3 -Y 4 -o " + in +
            "b.cur " + in + "rose.png && rm " + in + "rose.png");
    RunTool("ppmtopcx " + rose + " > " + in + "c.pcx");
    std::filesystem::copy(reftests + "tga/gtk-logo-rle-32bpp-top-left.tga", in + "d.tga");
    std::filesystem::copy(reftests + "tga/gtk-logo-cmap-8bpp-bottom-right.tga", in + "e.pix");
    std::filesystem::copy(rose, in + "f.ppm");
    RunTool("ppmtopgm " + rose + " > " + in + "g.pgm");
    RunTool("ppmtopgm " + rose + " | pgmtopbm -threshold > " + in + "h.pbm");
    RunTool("pbmtowbmp " + in + "h.pbm > " + in + "i.wbmp");
    RunTool("opj_compress -i " + in + "f.ppm -o " + in + "j.jp2");
    RunTool("opj_compress -i " + in + "g.pgm -o " + in + "k.j2k");
    GallerySettings.ImagesPath = in;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success);
    const std::string prefix = RandomFolder(FGallery, 8);
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"};
    std::vector<std::string> jpegs;
    for (const std::string& name : names) {
        jpegs.push_back(name + ".jpg");
    }
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted(jpegs));
    const struct
    {
        const char* name;
        TPictureSize size;
    } pictures[] = {
        {"a.jpg", {100, 100}}, {"b.jpg", {70, 46}}, {"c.jpg", {70, 46}}, {"d.jpg", {48, 48}},
        {"e.jpg", {48, 48}},   {"f.jpg", {70, 46}}, {"g.jpg", {70, 46}}, {"h.jpg", {70, 46}},
        {"i.jpg", {70, 46}},   {"j.jpg", {70, 46}}, {"k.jpg", {70, 46}},
    };
    for (const auto& picture : pictures) {
        EXPECT_EQ(JpegSize(FGallery + prefix + picture.name), picture.size) << picture.name;
        EXPECT_NE(JpegSize(FGallery + prefix + "thumbs/" + picture.name).Width, -1) << picture.name;
    }
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, EveryPictureIsWrittenWithTheColoursOfItsOwnSource)
{
    // Greyscale, CMYK and progressive JPEGs alternate with PNG, BMP and GIF pictures, so that each
    // picture follows one whose JPEG settings differ from what it needs.
    GallerySettings.ImagesPath = FixtureFolder() + "mixed/";
    const struct
    {
        const char* Name;
        const char* Look; // colour space and interlace as ImageMagick reads them
    } expected[] = {
        {"a1_grey.jpg", "Gray None"},   {"a2_colour.jpg", "sRGB None"},      {"a3_cmyk.jpg", "CMYK None"},
        {"a4_colour.jpg", "sRGB None"}, {"a5_progressive.jpg", "sRGB JPEG"}, {"a6_grey.jpg", "Gray None"},
        {"a7_colour.jpg", "sRGB None"},
    };
    const auto look = [](const std::string& FileName) {
        return RunTool("identify -format '%[colorspace] %[interlace]' " + Quoted(FileName)).Output;
    };
    for (const int sizeIndex : {0, 6}) {
        GallerySettings.ImageSizeIndex = sizeIndex;
        GallerySettings.ImageWidth = 40;
        GallerySettings.ImageHeight = 40;
        const TShownRun shown = Run();
        ASSERT_TRUE(shown.Success) << sizeIndex;
        const std::string prefix = RandomFolder(FGallery, 8);
        for (const auto& picture : expected) {
            // With the size kept, the GIF stays a GIF; its thumbnail is a colour JPEG all the same.
            const bool keptGif = sizeIndex == 0 && std::string(picture.Name) == "a7_colour.jpg";
            if (!keptGif) {
                EXPECT_EQ(look(FGallery + prefix + picture.Name), picture.Look) << sizeIndex << picture.Name;
            }
            EXPECT_EQ(look(FGallery + prefix + "thumbs/" + picture.Name), picture.Look)
                << sizeIndex << picture.Name;
        }
        EXPECT_TRUE(FileExists(FGallery + prefix + (sizeIndex == 0 ? "a7_colour.gif" : "a7_colour.jpg")));
    }
}

TEST_F(Gallery, EveryPictureLeftOutIsListedWithItsReason)
{
    // Pictures that are damaged, empty or larger than any reader takes are named with the reason;
    // what is no picture by its name, and hidden files, pass in silence.
    const std::string fuzz = std::string(KV_TEST_DATA_DIR) + "/fuzz/";
    ASSERT_TRUE(ForceDirectories(FTemp.File("mixed/")));
    const struct
    {
        std::string Name;
        std::string Content;
    } files[] = {
        {"a_good.jpg", kvtest::TempFolder::Read(FixtureImages() + "img_0001.jpg")},
        {"b_truncated.JPG", kvtest::TempFolder::Read(FixtureFolder() + "leftout/truncated-header.jpg")},
        {"c_empty.png", ""},
        {"d_panorama.jpg", kvtest::TempFolder::Read(fuzz + "jpeg/huge-dimensions.jpg")},
        {"e_wide.bmp", kvtest::TempFolder::Read(fuzz + "bmp/width-past-pixel-budget.bmp")},
        {"f_notes.txt", "no picture"},
        {"g_readme", "no picture either"},
        {".h_hidden.png", ""},
    };
    for (const auto& file : files) {
        FTemp.Write("mixed/" + file.Name, file.Content);
    }
    GallerySettings.ImagesPath = FTemp.File("mixed/");
    const TShownRun shown = Run();
    ASSERT_EQ(shown.Errors.size(), 1u);
    EXPECT_EQ(shown.Errors[0], "The errors have been found while creating the gallery\r\n"
                               "b_truncated.JPG: cannot be read\r\n"
                               "c_empty.png: cannot be read\r\n"
                               "d_panorama.jpg: too large\r\n"
                               "e_wide.bmp: too large\r\n");
    EXPECT_EQ(shown.Files, "Founded 1 files");
    EXPECT_EQ(shown.Icons[1], "check");
    EXPECT_FALSE(shown.Success);
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix)),
              Sorted({"a_good.jpg", "spacer.gif", "thumbs/", "thumbs/a_good.jpg"}));

    // With no picture left, the failure names them all the same.
    DeleteFile(FTemp.File("mixed/a_good.jpg"));
    const TShownRun none = Run();
    EXPECT_EQ(none.Messages, std::vector<std::string>{"Graphic files are not found in the images folder"});
    ASSERT_EQ(none.Errors.size(), 1u);
    EXPECT_NE(none.Errors[0].find("d_panorama.jpg: too large"), std::string::npos);
}

TEST_F(Gallery, ClosingTheStatusWindowCancelsTheRun)
{
    // During the run, the window closes once the run has stopped at its next cancel point.
    const TShownRun shown = Run([&](TStatus& Window) {
        if (!IsClock(IconOf(Window.Check3_IMG))) {
            return false;
        }
        Simulate::CloseWindow(&Window);
        return true;
    });
    EXPECT_EQ(shown.Result, mrCancel);
    EXPECT_FALSE(shown.Success);
    EXPECT_TRUE(IsClock(shown.Icons[2])) << shown.Icons[2];
    EXPECT_EQ(shown.Icons[3], "hidden");
    EXPECT_FALSE(FileExists(FGallery + "index.html"));

    // Closed before the run has started, the window starts none.
    DeleteFile(FGallery + "index.html");
    EmptyFolder(FGallery);
    const TShownRun early = Run([&](TStatus& Window) {
        Simulate::CloseWindow(&Window);
        return true;
    });
    EXPECT_EQ(early.Result, mrCancel);
    EXPECT_TRUE(ListDirectory(FGallery).empty());
}

namespace {

// The same gallery, errors, messages, file count and icons.
void ExpectSameRun(const TNeutralRun& One, const TNeutralRun& Other)
{
    std::vector<std::pair<std::string, std::string>> unmatched;
    std::set_symmetric_difference(One.Files.begin(), One.Files.end(), Other.Files.begin(), Other.Files.end(),
                                  std::back_inserter(unmatched));
    std::set<std::string> differing;
    for (const auto& file : unmatched) {
        differing.insert(file.first);
    }
    EXPECT_EQ(differing, std::set<std::string>{});
    EXPECT_EQ(One.Shown.Errors, Other.Shown.Errors);
    EXPECT_EQ(One.Shown.Messages, Other.Shown.Messages);
    EXPECT_EQ(One.Shown.Files, Other.Shown.Files);
    EXPECT_EQ(One.Shown.Icons, Other.Shown.Icons);
}

// Files larger than Limit bytes cannot be written while it lives, as on a disk that is full.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t Limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &FSaved);
        FSignal = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{Limit, FSaved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FSignal);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FSaved{};
    void (*FSignal)(int) = nullptr;
};

// The gallery folder has room for Bytes more bytes while it lives: the file layer's writes into
// it stop short past them, as on a disk that fills up; writes elsewhere go on.
class TGalleryRoom
{
public:
    TGalleryRoom(const std::string& Folder, int64_t Bytes)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FFolder = std::filesystem::canonical(Folder).string() + "/";
        FLeft = Bytes;
        kvcore_detail::gWriteRoomHook = &Room;
    }
    ~TGalleryRoom() { kvcore_detail::gWriteRoomHook = nullptr; }

private:
    static int64_t Room(int Handle, int64_t Count)
    {
        char path[PATH_MAX];
        const ssize_t length =
            ::readlink(("/proc/self/fd/" + std::to_string(Handle)).c_str(), path, sizeof path);
        std::lock_guard<std::mutex> lock(FLock);
        if (length <= 0 || std::string(path, static_cast<size_t>(length)).rfind(FFolder, 0) != 0) {
            return Count;
        }
        const int64_t room = std::min(Count, FLeft);
        FLeft -= room;
        return room;
    }

    static inline std::mutex FLock;
    static inline std::string FFolder;
    static inline int64_t FLeft = 0;
};

// A tmpfs of Bytes mounted on Folder while it lives, for this thread and the threads it starts.
// The thread moves into a mount namespace of its own, where the nearest mount above Folder stops
// passing mounts on, so that nothing of the machine's changes. It takes root; Mounted tells.
struct TSmallDisk
{
    TSmallDisk(const std::string& Folder, int64_t Bytes) : Folder(ExcludeTrailingPathDelimiter(Folder))
    {
        static const bool ownNamespace = ::unshare(CLONE_NEWNS) == 0;
        bool isPrivate = false;
        for (std::string above = this->Folder; ownNamespace && !isPrivate && above != "/";) {
            above = ExtractFileDir(above);
            isPrivate = ::mount(nullptr, above.c_str(), nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        }
        Mounted = isPrivate && ::mount("tmpfs", this->Folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                                       ("size=" + std::to_string(Bytes)).c_str()) == 0;
    }
    ~TSmallDisk()
    {
        if (Mounted) {
            ::umount2(Folder.c_str(), MNT_DETACH);
        }
    }
    const std::string Folder;
    bool Mounted = false;
};

} // namespace

TEST_F(Gallery, EveryCoreMakesTheGalleryOfOneByteForByte)
{
    // A run on one worker and the runs after it on eight leave the same files and show the same
    // errors, also when the disk fills up: half of the runs after the first are on one worker.
    UseManyPictures();
    ASSERT_TRUE(ForceDirectories(FGallery));
    enum TDisk
    {
        Roomy,
        FileSizeLimit, // files larger than Bytes cannot be written
        Room,          // the file layer's room in the gallery, Bytes in all
        Tmpfs,         // a real disk of Bytes, which takes root (the tests run as root in CI)
    };
    const struct
    {
        const char* Case;
        int32_t SizeIndex;
        TDisk Disk;
        int64_t Bytes;
        const char* Sign; // in the errors of a disk that was full
        int Runs;
    } cases[] = {
        {"kept sizes", 0, Roomy, 0, nullptr, 2},
        {"fitted", 6, Roomy, 0, nullptr, 2},
        {"the larger pictures too large", 0, FileSizeLimit, 3000, "cannot be written", 2},
        {"all but the smallest pictures and thumbnails too large", 0, FileSizeLimit, 700, "cannot be written",
         2},
        // The disk fills up while the pictures are written, or while the thumbnails and pages are.
        {"room for some pictures", 0, Room, 40000, "cannot be written", 10},
        {"room for the pictures", 0, Room, 70000, "Can't save the thumbnail", 10},
        {"tmpfs for some pictures", 0, Tmpfs, 64 * 1024, "cannot be written", 10},
        {"tmpfs for the pictures", 0, Tmpfs, 192 * 1024, "Can't save the thumbnail", 10},
    };
    GallerySettings.ImageWidth = 40;
    GallerySettings.ImageHeight = 30;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        if (c.Disk == Tmpfs && ::geteuid() != 0) {
            continue;
        }
        GallerySettings.ImageSizeIndex = c.SizeIndex;
        std::unique_ptr<TSmallDisk> tmpfs;
        if (c.Disk == Tmpfs) {
            tmpfs = std::make_unique<TSmallDisk>(FGallery, c.Bytes);
            ASSERT_TRUE(tmpfs->Mounted);
        }
        const auto run = [&](int32_t Threads) {
            std::unique_ptr<TFileSizeLimit> limit;
            std::unique_ptr<TGalleryRoom> room;
            if (c.Disk == FileSizeLimit) {
                limit = std::make_unique<TFileSizeLimit>(rlim_t(c.Bytes));
            } else if (c.Disk == Room) {
                room = std::make_unique<TGalleryRoom>(FGallery, c.Bytes);
            }
            return NeutralRun(Threads);
        };
        const TNeutralRun first = run(1);
        EXPECT_GT(first.Files.size(), 10u);
        EXPECT_EQ(first.Shown.Files, "Founded 40 files");
        ASSERT_EQ(first.Shown.Errors.size(), 1u);
        const std::string& errors = first.Shown.Errors[0];
        for (const char* line : {"\nb_truncated.jpg: cannot be read\r\n", "\nc_empty.png: cannot be read\r\n",
                                 "\nd_panorama.jpg: too large\r\n"}) {
            EXPECT_NE(errors.find(line), std::string::npos) << errors;
        }
        EXPECT_EQ(errors.find(c.Sign != nullptr ? c.Sign : "cannot be written") != std::string::npos,
                  c.Sign != nullptr)
            << errors;
        for (int again = 1; again < c.Runs; ++again) {
            SCOPED_TRACE("run " + std::to_string(again));
            ExpectSameRun(first, run(again < c.Runs / 2 ? 1 : 8));
        }
    }
}

TEST_F(Gallery, MakesPicturesOfAVideoAndOfMetafiles)
{
    // The first frame of an ffmpeg-made video (a red frame, then blue ones) and two metafiles
    // drawn by libuemf, at their own size.
    const std::string in = FTemp.File("media/");
    ASSERT_TRUE(ForceDirectories(in));
    RunTool("ffmpeg -v error -f lavfi -i 'color=c=red:s=64x48:d=0.04,format=bgr24' -f lavfi -i "
            "'color=c=blue:s=64x48:d=0.08' -filter_complex '[0][1]concat' -r 25 -c:v mpeg4 -y " +
            in + "a.avi");
    std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/fuzz/metafile/wmf-every-record.wmf",
                          in + "b.wmf");
    std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/fuzz/metafile/emf-every-record.emf",
                          in + "c.emf");
    GallerySettings.ImagesPath = in;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success) << (shown.Errors.empty() ? "" : shown.Errors[0]);
    EXPECT_TRUE(shown.Errors.empty());
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")),
              (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "a.jpg"), (TPictureSize{64, 48}));
    // The video's picture is its red first frame.
    EXPECT_EQ(RunTool("convert " + FGallery + prefix + "a.jpg -scale 1x1! -format '%[fx:r>0.8&&b<0.2]' info:")
                  .Output,
              "1");
    // The metafiles at their own size, with something drawn on them.
    for (const char* name : {"b.jpg", "c.jpg"}) {
        EXPECT_EQ(JpegSize(FGallery + prefix + name), (TPictureSize{32, 24})) << name;
        EXPECT_GT(std::atoi(RunTool("identify -format %k " + FGallery + prefix + name).Output.c_str()), 1)
            << name;
        EXPECT_NE(JpegSize(FGallery + prefix + "thumbs/" + name).Width, -1) << name;
    }
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, AThumbnailTooLargeToMakeIsReportedAndTheRunGoesOn)
{
    // Fitting into a box of two billion pixels a side needs more memory than any bitmap may take.
    FTemp.Write("program/templates/grid/template.html",
                "<p><thumb width=2000000000 height=2000000000><thumb></p>\n");
    for (const int32_t threads : {1, 8}) {
        GallerySettings.Threads = threads;
        const TShownRun shown = Run();
        const std::string prefix = RandomFolder(FGallery, 8);
        ASSERT_EQ(shown.Errors.size(), 1u) << threads;
        std::string expected = "The errors have been found while creating the gallery\r\n";
        for (const char* name : {"flag", "img_0001_2", "sunset_2"}) {
            expected += "Can't save the thumbnail: " + FGallery + prefix + "thumbs/" + name + ".jpg\r\n";
        }
        EXPECT_EQ(shown.Errors[0], expected) << threads;
        EXPECT_EQ(shown.Icons[3], "failed") << threads;
        EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted({"img_0001.jpg", "sunset.jpg"}))
            << threads;
        EXPECT_TRUE(FileExists(FGallery + "index3.html")) << threads;
    }
}
