// The gallery run when things go wrong, through the real status and errors windows: inputs that
// cannot be read, pictures and pages that cannot be read or written, cancels in every stage, and
// disks that fill up, on one worker and on eight.
#include "app/errors_window.h"
#include "app/file_utils.h"
#include "app/gallery_run.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/status_window_icons.h"
#include "app/template_params.h"
#include "app/templates.h"
#include "platform/core/files.h"
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
#include "tests/app/gallery_run_fixture.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/app/kept_gallery_folders.h"
#include "tests/app/mount_inside.h"
#include "tests/app/unreadable_folder.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace gallerytest;

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
    // A page of the user's, with a picture an import would copy, that places no thumbnail.
    ASSERT_TRUE(ForceDirectories(FTemp.File("page/")));
    const std::string page = FTemp.Write("page/page.html", "<p><img src=\"logo.gif\"> no pictures</p>\n");
    FTemp.Write("page/logo.gif", kvtest::TempFolder::Read(FixtureImages() + "flag.gif"));
    const std::string unwritable =
        "Can't write to the folder: " + FGallery + "\nPermission denied\nNothing in it has been deleted.";
    const std::string earlierPictures = FGallery + "0a1b2c3d";
    const struct
    {
        const char* Case;
        std::function<void()> Arrange;
        int FailedStage;
        std::string Message; // a message box
        std::string Errors;  // the errors window
    } cases[] = {
        {"template missing", [&] { DeleteFile(templatePage); }, 1,
         "Can't open the template file: " + templatePage + "\nNo such file or directory", ""},
        {"template errors",
         [&] {
             FTemp.Write("program/templates/grid/template.html", "<p>\n<thumbs cols=two>\n<thumb width=0>\n");
         },
         1, "",
         // Each error names the line the tag stands on.
         "The errors have been found while analyzing the template\r\nLine 2\r\nTag :thumbs\r\n"
         "The parameter 'cols' should be numeric\r\nLine 3\r\nTag :thumb\r\n"
         "The parameter 'width' should be at least 1\r\nTags to icon placement are not found in the "
         "template"},
        {"no placement", [&] { FTemp.Write("program/templates/grid/template.html", "<p>no pictures</p>\n"); },
         1, "",
         "The errors have been found while analyzing the template\r\n"
         "Tags to icon placement are not found in the template"},
        {"template file without placement",
         [&] {
             GallerySettings.TemplateIndex = 0;
             GallerySettings.TemplateFile = page;
         },
         1, "",
         "The errors have been found while analyzing the template\r\n"
         "Tags to icon placement are not found in the template"},
        // A gallery folder that cannot take new files and folders, alone or with all it holds.
        {"gallery folder read-only",
         [&] { locked = std::make_unique<apptest::TUnreadableFolder>(FTemp.File("web"), 0555); }, 1,
         unwritable, ""},
        {"gallery tree read-only",
         [&] {
             ::chmod(earlierPictures.c_str(), 0555);
             locked = std::make_unique<apptest::TUnreadableFolder>(FTemp.File("web"), 0555);
         },
         1, unwritable, ""},
        {"gallery folder cannot be made", [&] { GallerySettings.GalleryPath = page + "/we\nb/"; }, 1,
         "Can't create the folder: " + page + "/we\\nb/\nFile exists", ""},
        {"images folder missing", [&] { GallerySettings.ImagesPath = FTemp.File("gone"); }, 2, "",
         "Can't find the directory: " + FTemp.File("gone/")},
        {"images folder a file", [&] { GallerySettings.ImagesPath = templatePage; }, 2, "",
         "Can't find the directory: " + templatePage + "/"},
        {"images folder unreadable",
         [&] {
             GallerySettings.ImagesPath = FTemp.File("locked/");
             locked = std::make_unique<apptest::TUnreadableFolder>(FTemp.File("locked"));
         },
         2, "", "Can't find the directory: " + FTemp.File("locked/")},
        {"no readable picture", [&] { GallerySettings.ImagesPath = emptyFolder; }, 2,
         "Graphic files are not found in the images folder", ""},
    };
    const std::string grid = GridTemplate;
    const std::vector<std::string> earlier = {"0a1b2c3d/", "0a1b2c3d/one.jpg", "index.html"};
    for (const auto& c : cases) {
        FTemp.Write("program/templates/grid/template.html", grid);
        ChooseTemplate("grid");
        GallerySettings.ImagesPath = FixtureImages();
        GallerySettings.GalleryPath = FGallery;
        // The gallery an earlier run left.
        EmptyFolder(FGallery);
        ASSERT_TRUE(ForceDirectories(FGallery + "0a1b2c3d/"));
        FTemp.Write("web/index.html", "the earlier gallery");
        FTemp.Write("web/0a1b2c3d/one.jpg", "its picture");
        c.Arrange();
        struct stat before
        {
        };
        ::stat(earlierPictures.c_str(), &before);
        const TShownRun shown = Run();
        locked.reset();
        // Nor is the mode of anything it holds changed.
        struct stat after
        {
        };
        EXPECT_EQ(::stat(earlierPictures.c_str(), &after), 0) << c.Case;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.Case;
        ::chmod(earlierPictures.c_str(), 0755);
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
        // A run that cannot start, a template that is refused among them, leaves the earlier
        // gallery as it was.
        EXPECT_EQ(Sorted(FolderTree(FGallery)), earlier) << c.Case;
    }
}

// A gallery folder that is the pictures' folder or one above it under another name, that holds
// what the user cannot delete, or that cannot be made: the run fails before anything is deleted,
// names the folder the user chose, and leaves every folder as it was.
TEST_F(Gallery, GalleryFolderIsKnownByWhatItIsAndEmptiedWholeOrNotAtAll)
{
    const apptest::TKeptFolders kept(FTemp, FixtureImages() + "img_0001.jpg");
    const std::vector<std::string> before = FolderTree(kept.Root);
    for (const apptest::TKeptFolder& c : kept.Cases) {
        GallerySettings.GalleryPath = c.Gallery;
        GallerySettings.ImagesPath = c.Images;
        TShownRun shown;
        {
            const apptest::TOrdinaryUser user;
            shown = Run();
        }
        EXPECT_EQ(shown.Messages, std::vector<std::string>{c.Message}) << c.Case;
        EXPECT_EQ(shown.Icons[0], "failed") << c.Case;
        EXPECT_EQ(FolderTree(kept.Root), before) << c.Case;
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
                               "sunset.bmp: cannot be written (File exists)\r\n"
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

TEST_F(Gallery, PageThatCannotBeCreatedFailsTheLastStage)
{
    const TShownRun shown = Run([&](TStatus& Window) {
        if (!Window.State4_LBL->Visible() || IconOf(Window.Check3_IMG) != "check") {
            return false;
        }
        ForceDirectories(FGallery + "index2.html/");
        return true;
    });
    EXPECT_EQ(shown.Messages,
              std::vector<std::string>{"Can't create the file: " + FGallery + "index2.html\nIs a directory"});
    EXPECT_EQ(shown.Icons[3], "failed");
    EXPECT_FALSE(shown.Success);
    // The first page and its thumbnails are written.
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted({"flag.jpg", "img_0001.jpg"}));
    EXPECT_NE(Page("index.html").find("</html>"), std::string::npos);

    // Without a first page the run leaves none of its folders.
    EmptyFolder(FGallery);
    const TShownRun first = Run([&](TStatus& Window) {
        return Window.State4_LBL->Visible() && IconOf(Window.Check3_IMG) == "check" &&
               ForceDirectories(FGallery + "index.html/");
    });
    EXPECT_EQ(first.Messages,
              std::vector<std::string>{"Can't create the file: " + FGallery + "index.html\nIs a directory"});
    EXPECT_EQ(FolderTree(FGallery), std::vector<std::string>{"index.html/"});
}

// A run that fails before its first page removes the folders it made and nothing else: a tmpfs or
// another folder mounted in its pictures folder meanwhile stays with all it holds, and so does a
// folder the user put in the place of the pictures folder on ext4, which gives the new folder the
// removed one's inode number.
TEST_F(Gallery, AFailedRunRemovesOnlyTheFoldersItMade)
{
    // Mounts and loop images take root; without it the cases are left out.
    if (::geteuid() != 0) {
        return;
    }
    ASSERT_TRUE(ForceDirectories(FTemp.File("other/")) && ForceDirectories(FTemp.File("disk/")));
    FTemp.Write("other/mine.txt", "the user's file elsewhere");
    enum TChange
    {
        Mounted,
        Bound,
        Replaced,
    };
    for (const TChange change : {Mounted, Bound, Replaced}) {
        SCOPED_TRACE(change);
        const std::string galleryName = change == Replaced ? "disk/web/" : "web/";
        const std::string gallery = FTemp.File(galleryName);
        // The user's file, in the run's pictures folder.
        const std::string mine = change == Replaced ? "mine.txt" : "mnt/mine.txt";
        GallerySettings.GalleryPath = gallery;
        std::unique_ptr<kvtest::TSmallDisk> ext4;
        std::unique_ptr<apptest::TMountInside> mount;
        if (change == Replaced) {
            ext4 =
                std::make_unique<kvtest::TSmallDisk>(FTemp.File("disk/"), 16 << 20, kvtest::TSmallDisk::Ext4);
            ASSERT_TRUE(ext4->Mounted) << ext4->Why;
        }
        std::string prefix;
        const TShownRun shown = Run([&](TStatus& Window) {
            if (!Window.State4_LBL->Visible() || IconOf(Window.Check3_IMG) != "check") {
                return false;
            }
            prefix = RandomFolder(gallery, 8);
            const std::string pictures = gallery + prefix;
            if (change == Replaced) {
                std::filesystem::remove_all(pictures);
            }
            ForceDirectories(ExtractFilePath(pictures + mine));
            if (change != Replaced) {
                mount = std::make_unique<apptest::TMountInside>(change == Bound, FTemp.File("other/"),
                                                                pictures + "mnt/");
                EXPECT_TRUE(mount->Mounted()) << mount->Why();
            }
            if (change != Bound) {
                FTemp.Write(galleryName + prefix + mine, "the user's file");
            }
            return ForceDirectories(gallery + "index.html/");
        });
        ASSERT_EQ(shown.Messages.size(), 1u);
        EXPECT_TRUE(shown.Messages[0].starts_with("Can't create the file: " + gallery + "index.html"));
        std::vector<std::string> left = {"index.html/", prefix, prefix + mine};
        if (change != Replaced) {
            left.push_back(prefix + "mnt/");
        }
        EXPECT_EQ(Sorted(FolderTree(gallery)), Sorted(left));
        mount.reset();
        ext4.reset();
        RemoveFolder(gallery);
    }
    EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("other/mine.txt")), "the user's file elsewhere");
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
        // Stage 1 has no cancel point of its own: the search for a first picture before it stops the
        // run, where it lasts long enough to turn the first row's clock, else the first picture
        // check of stage 2.
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
            const bool inSearch = c.Stage == 1 && IsClock(shown.Icons[0]);
            const int running = c.Stage == 1 && !inSearch ? 2 : c.Stage;
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

TEST_F(Gallery, EachErrorLineNamesTheUsersPhotoOrTheFileOnOneLine)
{
    // Unreadable photos named with a line break and a byte that is not UTF-8, no filler, and a full
    // disk from the thumbnails on, in a gallery folder named with a line break.
    ASSERT_TRUE(ForceDirectories(FTemp.File("photos/")));
    for (const char* name : {"b\nroken.jpg", "caf\xe9.png"}) {
        FTemp.Write(std::string("photos/") + name, "");
    }
    FTemp.Write("photos/Noël chez Mémé 0010.JPG", kvtest::TempFolder::Read(FixtureImages() + "IMG_0001.JPG"));
    FTemp.Write("photos/plage.png", kvtest::TempFolder::Read(FixtureImages() + "sunset.png"));
    GallerySettings.ImagesPath = FTemp.File("photos/");
    const std::string gallery = GallerySettings.GalleryPath = FTemp.File("web\nsite/");
    const std::string spacer = FTemp.File("program/data/spacer.gif");
    DeleteFile(spacer);
    std::unique_ptr<TGalleryRoom> full;
    const TShownRun shown = Run([&](TStatus& Window) {
        if (Window.State4_LBL->Visible() && IconOf(Window.Check3_IMG) == "check") {
            full = std::make_unique<TGalleryRoom>(gallery, 0);
        }
        return full != nullptr;
    });
    EXPECT_EQ(shown.Errors,
              std::vector<std::string>{
                  "The errors have been found while creating the gallery\r\n"
                  "b\\nroken.jpg: cannot be read\r\n"
                  "caf\\xe9.png: cannot be read\r\n"
                  "Noël chez Mémé 0010.JPG: thumbnail cannot be written (No space left on device)\r\n"
                  "plage.png: thumbnail cannot be written (No space left on device)\r\n"
                  "Can't read the file: " +
                  spacer + " (No such file or directory)\r\n" + "Can't write the file: " +
                  FTemp.File("web\\nsite/") + "index.html (No space left on device)\r\n"});
    EXPECT_EQ(shown.Icons[3], "failed");
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

using kvtest::TSmallDisk;

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
        const char* Sign; // in the errors of a disk that was full, with the system's reason
        int Runs;
    } cases[] = {
        {"kept sizes", 0, Roomy, 0, nullptr, 2},
        {"fitted", 6, Roomy, 0, nullptr, 2},
        {"the larger pictures too large", 0, FileSizeLimit, 3000, "cannot be written (File too large)", 2},
        {"all but the smallest pictures and thumbnails too large", 0, FileSizeLimit, 700,
         "cannot be written (File too large)", 2},
        // The disk fills up while the pictures are written, or while the thumbnails and pages are.
        {"room for some pictures", 0, Room, 40000, "cannot be written (No space left on device)", 10},
        {"room for the pictures", 0, Room, 70000, "thumbnail cannot be written (No space", 10},
        {"tmpfs for some pictures", 0, Tmpfs, 64 * 1024, "cannot be written (No space left on device)", 10},
        {"tmpfs for the pictures", 0, Tmpfs, 192 * 1024, "thumbnail cannot be written (No space", 10},
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
        EXPECT_EQ(first.Shown.Files, "Founded 40 files");
        ASSERT_EQ(first.Shown.Errors.size(), 1u);
        const std::string& errors = first.Shown.Errors[0];
        // A run without room for its first page keeps nothing of its own.
        const bool noPage =
            errors.find("Can't write the file: " + FGallery + "index.html") != std::string::npos;
        EXPECT_TRUE(noPage ? first.Files.empty() : first.Files.size() > 10u) << first.Files.size();
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
        for (const char* name : {"flag.gif", "img_0001.jpg", "sunset.png"}) {
            expected += std::string(name) +
                        ": thumbnail cannot be made (Out of memory: the image is too large to be held)\r\n";
        }
        EXPECT_EQ(shown.Errors[0], expected) << threads;
        EXPECT_EQ(shown.Icons[3], "failed") << threads;
        EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted({"img_0001.jpg", "sunset.jpg"}))
            << threads;
        EXPECT_TRUE(FileExists(FGallery + "index3.html")) << threads;
    }
}

// The disk fills up at every point of the thumbnails and pages in turn, through the file layer's
// room and, as root, on a small tmpfs: a page that does not fit is named in the errors and leaves
// no file, nor one of its making, and every page that is there is whole.
TEST_F(Gallery, PageTheDiskHasNoRoomForLeavesNoFile)
{
    ASSERT_TRUE(ForceDirectories(FGallery));
    const std::vector<std::string> pages = {"index.html", "index2.html", "index3.html"};
    std::set<std::string> failed;
    const auto check = [&](const TShownRun& Shown) {
        const std::string errors = Shown.Errors.empty() ? std::string() : Shown.Errors[0];
        for (const std::string& page : pages) {
            const std::string line =
                "Can't write the file: " + FGallery + page + " (No space left on device)\r\n";
            if (errors.find(line) != std::string::npos) {
                failed.insert(page);
                EXPECT_FALSE(FileExists(FGallery + page)) << page;
            } else if (FileExists(FGallery + page)) {
                const std::string text = Page(page);
                EXPECT_EQ(text.substr(text.size() - std::min<size_t>(text.size(), 8)), "</html>\n") << page;
            }
        }
        for (const std::string& path : FolderTree(FGallery)) {
            EXPECT_TRUE(path[0] != '.' && path.find("/.") == std::string::npos) << path;
        }
    };
    // The room the thumbnails and pages take, the gallery's last writes, in units of Unit bytes.
    const auto lastWrites = [&](int64_t Unit) {
        int64_t units = 0;
        const std::string thumbnails = FGallery + RandomFolder(FGallery, 8) + "thumbs/";
        for (const TDirEntry& entry : ListDirectory(thumbnails)) {
            units += (entry.Size + Unit - 1) / Unit;
        }
        for (const std::string& page : pages) {
            units += (static_cast<int64_t>(Page(page).size()) + Unit - 1) / Unit;
        }
        return units;
    };

    int64_t needed = 0;
    int64_t window = 0;
    {
        const int64_t plenty = int64_t{1} << 40;
        TGalleryRoom room(FGallery, plenty);
        ASSERT_TRUE(Run().Success);
        needed = plenty - room.Left();
        window = lastWrites(1);
    }
    constexpr int64_t Steps = 24;
    for (int64_t k = 0; k < Steps; ++k) {
        const int64_t bytes = needed - window + window * k / Steps;
        SCOPED_TRACE("room " + std::to_string(bytes));
        TGalleryRoom room(FGallery, bytes);
        check(Run());
    }
    EXPECT_EQ(failed, std::set<std::string>(pages.begin(), pages.end()));

    if (::geteuid() != 0) {
        return;
    }
    failed.clear();
    constexpr int64_t Block4k = 4096;
    int64_t neededBlocks = 0;
    {
        TSmallDisk disk(FGallery, 64 << 20);
        ASSERT_TRUE(disk.Mounted);
        ASSERT_TRUE(Run().Success);
        struct statvfs usage
        {
        };
        ASSERT_EQ(::statvfs(FGallery.c_str(), &usage), 0);
        neededBlocks = static_cast<int64_t>(usage.f_blocks - usage.f_bfree) * usage.f_frsize / Block4k;
        window = lastWrites(Block4k);
    }
    for (int64_t k = 1; k <= window; ++k) {
        SCOPED_TRACE("tmpfs of " + std::to_string(neededBlocks - k) + " blocks");
        TSmallDisk disk(FGallery, (neededBlocks - k) * Block4k);
        ASSERT_TRUE(disk.Mounted);
        check(Run());
    }
    EXPECT_FALSE(failed.empty());
}
