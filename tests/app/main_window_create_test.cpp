// The main window's gallery folder and its Create button, driven as a user would: the question
// before a folder is emptied, the folders that are refused, the checks before a run, the run in
// the status window, and what the window reads of the pictures before it shows.
#include "app/errors_window.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/files.h"
#include "platform/forms/buttons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/app/kept_gallery_folders.h"
#include "tests/app/main_window_test_support.h"
#include "tests/app/mount_inside.h"
#include "tests/app/unreadable_folder.h"
#include "tests/app/window_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using apptest::MainWindow;
using apptest::Question;

// The question of a folder that is not empty, with No its default: Return never deletes.
constexpr uint32_t QuestionFlags = MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2;

TEST_F(MainWindow, GalleryFolderQuestionEmptiesAsksAgainOrKeeps)
{
    TMain& w = Open();
    ASSERT_TRUE(ForceDirectories(FTemp.File("full/sub/")));
    ASSERT_TRUE(ForceDirectories(FTemp.File("empty/")));
    FTemp.Write("full/old.html", "old page");
    FTemp.Write("full/sub/old.jpg", "old picture");
    Simulate::Retype(w.GalleryPath_TXT, "/start/");

    // No: the picker comes again, preselecting the field's text; an empty folder needs no question.
    FDialogs.AnswerFolder(FTemp.File("full/"));
    FDialogs.AnswerMessageBox(IDNO);
    FDialogs.AnswerFolder(FTemp.File("empty/"));
    Simulate::Click(w.GalleryOpen_BTN);
    std::vector<TDialogCall> pickers = FDialogs.CallsOf(dkBrowseForFolder);
    ASSERT_EQ(pickers.size(), 2u);
    for (const TDialogCall& picker : pickers) {
        EXPECT_EQ(picker.Caption, "Please choose the folder to create the gallery");
        EXPECT_EQ(picker.Text, "/start/");
    }
    const std::vector<TDialogCall> questions = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].Text, Question);
    EXPECT_EQ(questions[0].Flags, QuestionFlags);
    EXPECT_EQ(questions[0].Caption, "Plimbet v1.0");
    EXPECT_EQ(w.GalleryPath_TXT->Text(), FTemp.File("empty/"));
    EXPECT_EQ(Stored("GalleryPath"), FTemp.File("empty/"));
    EXPECT_TRUE(FileExists(FTemp.File("full/sub/old.jpg")));

    // Cancel: nothing changes.
    FDialogs.ClearCalls();
    FDialogs.AnswerFolder(FTemp.File("full/"));
    FDialogs.AnswerMessageBox(IDCANCEL);
    Simulate::Click(w.GalleryOpen_BTN);
    EXPECT_EQ(w.GalleryPath_TXT->Text(), FTemp.File("empty/"));
    EXPECT_TRUE(FileExists(FTemp.File("full/old.html")));

    // A cancelled picker changes nothing either.
    FDialogs.ClearCalls();
    Simulate::Click(w.GalleryOpen_BTN);
    EXPECT_EQ(FDialogs.CallsOf(dkBrowseForFolder).size(), 1u);
    EXPECT_TRUE(FDialogs.CallsOf(dkMessageBox).empty());
    EXPECT_EQ(w.GalleryPath_TXT->Text(), FTemp.File("empty/"));

    // Yes: the folder is emptied at once and taken.
    FDialogs.ClearCalls();
    FDialogs.AnswerFolder(FTemp.File("full/"));
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(w.GalleryOpen_BTN);
    EXPECT_TRUE(DirectoryExists(FTemp.File("full/")));
    EXPECT_TRUE(ListDirectory(FTemp.File("full/")).empty());
    EXPECT_EQ(w.GalleryPath_TXT->Text(), FTemp.File("full/"));
    EXPECT_EQ(Stored("GalleryPath"), FTemp.File("full/"));
}

TEST_F(MainWindow, GalleryFolderHoldingTheInputsIsRefusedAndNothingDeleted)
{
    TMain& w = Open();
    ASSERT_TRUE(ForceDirectories(FTemp.File("web/pictures/")));
    FTemp.Write("web/pictures/holiday.jpg", "the only copy");
    FTemp.Write("web/own.html", "<thumbs>");
    kvtest::ScopedEnv home("HOME", FTemp.File("home/"));
    kvtest::ScopedEnv data("XDG_DATA_HOME", FTemp.File("data/"));
    ASSERT_TRUE(ForceDirectories(FTemp.File("home/documents/")));
    ASSERT_TRUE(ForceDirectories(FTemp.File("data/plimbet/templates/mine/")));
    FTemp.Write("data/plimbet/templates/mine/template.html", "<thumbs>");
    const std::string rootOrHome =
        "The folder to create the gallery can't be the root folder, the home folder or a "
        "folder that holds it.\nPlease choose another folder.";
    const std::string program =
        "The folder to create the gallery holds the program or its templates, or lies in "
        "them.\nPlease choose another folder.";
    const struct
    {
        std::string ImagesPath;
        int32_t Template;
        std::string Gallery;
        std::string Message;
    } cases[] = {
        {FTemp.File("web/pictures/"), -1, FTemp.File("web/"),
         "The folder with images lies in the folder to create the gallery.\nPlease choose another folder."},
        {FTemp.File("web/pictures/"), -1, FTemp.File("web/pictures/"),
         "The folder with images lies in the folder to create the gallery.\nPlease choose another folder."},
        {FTemp.File("pictures/"), -1, FTemp.File("home/"), rootOrHome},
        {FTemp.File("pictures/"), -1, "/", rootOrHome},
        {FTemp.File("pictures/"), -1, FTemp.Path(), rootOrHome},
        {FTemp.File("pictures/"), -1, FTemp.File("program/"), program},
        {FTemp.File("pictures/"), -1, FTemp.File("program/templates/"), program},
        {FTemp.File("pictures/"), -1, FTemp.File("program/templates/plain/"), program},
        {FTemp.File("pictures/"), -1, FTemp.File("data/plimbet/templates/mine/"), program},
        {FTemp.File("pictures/"), 0, FTemp.File("web/"),
         "The template file lies in the folder to create the gallery.\nPlease choose another folder."},
        {FTemp.File("pictures/"), 1, FTemp.File("program/"),
         "The template file lies in the folder to create the gallery.\nPlease choose another folder."},
    };
    for (const auto& c : cases) {
        Simulate::Retype(w.ImagesPath_TXT, c.ImagesPath);
        if (c.Template >= 0) {
            Simulate::Choose(w.Template_CBX, c.Template);
        }
        if (c.Template == 0) {
            Simulate::Retype(w.Template_TXT, FTemp.File("web/own.html"));
        }
        Simulate::Retype(w.GalleryPath_TXT, "/before/");
        FDialogs.ClearCalls();
        // Refused, the picker comes again; cancelling it ends the choice.
        FDialogs.AnswerFolder(c.Gallery);
        Simulate::Click(w.GalleryOpen_BTN);
        EXPECT_EQ(Boxes(), (apptest::TBoxes{{c.Message, 16u}})) << c.Gallery;
        EXPECT_EQ(FDialogs.CallsOf(dkBrowseForFolder).size(), 2u);
        EXPECT_EQ(w.GalleryPath_TXT->Text(), "/before/");
    }
    EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("web/pictures/holiday.jpg")), "the only copy");
    EXPECT_TRUE(FileExists(FTemp.File("web/own.html")));
    EXPECT_TRUE(FileExists(FTemp.File("program/templates/blue/template.html")));
    EXPECT_TRUE(FileExists(FTemp.File("program/templates/plain/template.htm")));
    EXPECT_TRUE(FileExists(FTemp.File("data/plimbet/templates/mine/template.html")));
    EXPECT_TRUE(DirectoryExists(FTemp.File("home/documents/")));
}

TEST_F(MainWindow, CreateAsksBeforeATypedGalleryFolderIsEmptiedAndRefusesWhatMustStay)
{
    TMain& w = Open();
    auto* status = new TStatus(Application);
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());
    ASSERT_TRUE(ForceDirectories(FTemp.File("full/sub/")));
    FTemp.Write("full/sub/only-copy.jpg", "the only copy");
    kvtest::ScopedEnv home("HOME", FTemp.File("home/"));
    ASSERT_TRUE(ForceDirectories(FTemp.File("home/documents/")));
    Simulate::Type(w.ImagesPath_TXT, FTemp.File("pictures/"));
    Simulate::Choose(w.Template_CBX, 1);

    // No, Cancel and every refusal start no run and delete nothing.
    const struct
    {
        std::string Gallery;
        int32_t Answer; // to the question, 0 when none is asked
        std::string Box;
    } cases[] = {
        {FTemp.File("full/"), IDNO, Question},
        {FTemp.File("full/"), IDCANCEL, Question},
        {FTemp.File("home/"), 0,
         "The folder to create the gallery can't be the root folder, the home folder or a folder that holds "
         "it.\nPlease choose another folder."},
        {"~", 0,
         "The folder to create the gallery can't be the root folder, the home folder or a folder that holds "
         "it.\nPlease choose another folder."},
        {FTemp.File("program/templates/plain/"), 0,
         "The folder to create the gallery holds the program or its templates, or lies in them.\nPlease "
         "choose "
         "another folder."},
    };
    for (const auto& c : cases) {
        Simulate::Retype(w.GalleryPath_TXT, c.Gallery);
        FDialogs.ClearCalls();
        if (c.Answer != 0) {
            FDialogs.AnswerMessageBox(c.Answer);
        }
        apptest::WhenModal never(status, [&] { status->SetModalResult(mrCancel); });
        Simulate::Click(w.Create_BTN);
        Simulate::ProcessEvents();
        EXPECT_FALSE(never.Ran()) << c.Gallery << " " << c.Answer;
        EXPECT_EQ(Boxes(), (apptest::TBoxes{{c.Box, c.Answer != 0 ? QuestionFlags : 16u}})) << c.Gallery;
        EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("full/sub/only-copy.jpg")), "the only copy");
        EXPECT_TRUE(DirectoryExists(FTemp.File("home/documents/")));
        EXPECT_TRUE(FileExists(FTemp.File("program/templates/plain/template.htm")));
    }

    // Yes: the run empties the folder and makes the gallery in it.
    Simulate::Retype(w.GalleryPath_TXT, FTemp.File("full/"));
    FDialogs.ClearCalls();
    FDialogs.AnswerMessageBox(IDYES);
    {
        apptest::TRunCloser closer(status);
        Simulate::Click(w.Create_BTN);
    }
    EXPECT_EQ(status->LastResult(), grSucceeded);
    EXPECT_EQ(FDialogs.CallsOf(dkMessageBox).size(), 1u);
    EXPECT_FALSE(DirectoryExists(FTemp.File("full/sub/")));
    EXPECT_TRUE(FileExists(FTemp.File("full/index.html")));
    status->Free();
}

TEST_F(MainWindow, CreateRefusesWhatItCannotReadOrMakeAndLeavesEveryFolderAsItWas)
{
    TMain& w = Open();
    apptest::Owned<TStatus> status;
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());
    const std::string gallery = FTemp.File("web/");
    ASSERT_TRUE(ForceDirectories(gallery + "0a1b2c3d/thumbs/"));
    FTemp.Write("web/index.html", "the earlier gallery");
    FTemp.Write("web/0a1b2c3d/one.jpg", "its picture");
    const std::vector<std::string> earlier = gallerytest::FolderTree(gallery);
    ASSERT_TRUE(ForceDirectories(FTemp.File("locked/")));
    FTemp.Write("locked/two.jpg", "a picture no one may read");
    const std::string file = FTemp.Write("not-a-folder.jpg", "a picture");
    // Folders of no picture a run can use: none at all, none it lists, none that loads.
    const std::string picture = kvtest::TempFolder::Read(FTemp.File("pictures/one.jpg"));
    ASSERT_TRUE(ForceDirectories(FTemp.File("empty/")));
    ASSERT_TRUE(ForceDirectories(FTemp.File("unlisted/album/")));
    FTemp.Write("unlisted/notes.txt", "no picture");
    FTemp.Write("unlisted/.hidden.jpg", picture);
    FTemp.Write("unlisted/album/inside.jpg", picture);
    FTemp.Write("unlisted/thumbs.db", picture);
    ASSERT_TRUE(ForceDirectories(FTemp.File("unreadable/")));
    const std::vector<std::string> unreadable = {
        FTemp.Write("unreadable/cut.jpg",
                    kvtest::TempFolder::Read(gallerytest::FixtureFolder() + "leftout/truncated-header.jpg")),
        FTemp.Write("unreadable/empty.png", ""), FTemp.Write("unreadable/short.gif", "GIF89a")};
    for (const std::string& name : unreadable) {
        EXPECT_NE(gallerytest::RunTool("identify " + gallerytest::Quoted(name)).ExitCode, 0) << name;
    }
    // No folder named after a user who does not exist is made where the program happens to be.
    ASSERT_TRUE(ForceDirectories(FTemp.File("elsewhere/")));
    const std::string current = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(FTemp.File("elsewhere/")));
    // Had a run started, its windows are closed, so that the test ends all the same.
    apptest::TRunCloser closer(status.get());

    const std::string pictures = FTemp.File("pictures/");
    const struct
    {
        std::string Images; // locked/: it cannot be listed
        std::string Page;   // a template file; none: the first installed template
        std::string Gallery;
        std::string Message;
    } cases[] = {
        {FTemp.File("gone"), "", gallery, "Can't find the directory: " + FTemp.File("gone/")},
        {file, "", gallery, "Can't find the directory: " + file + "/"},
        {FTemp.File("locked/"), "", gallery, "Can't find the directory: " + FTemp.File("locked/")},
        {pictures, FTemp.File("gone.html"), gallery,
         "Can't open the template file: " + FTemp.File("gone.html") + "\nNo such file or directory"},
        {pictures, pictures, gallery, "Can't open the template file: " + pictures + "\nIs a directory"},
        {"~plimbet-no-such-user/pictures", "", gallery,
         "Can't find the directory: ~plimbet-no-such-user/pictures/"},
        {pictures, "", "~plimbet-no-such-user/web", "Can't create the folder: ~plimbet-no-such-user/web/"},
        {pictures, "", "~plimbet-no-such-user", "Can't create the folder: ~plimbet-no-such-user/"},
        {FTemp.File("empty/"), "", gallery, "Graphic files are not found in the images folder"},
        {FTemp.File("unlisted/"), "", gallery, "Graphic files are not found in the images folder"},
        {FTemp.File("unreadable/"), "", gallery, "Graphic files are not found in the images folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Images + " " + c.Page + " " + c.Gallery);
        Simulate::Retype(w.ImagesPath_TXT, c.Images);
        Simulate::Choose(w.Template_CBX, c.Page.empty() ? 1 : 0);
        if (!c.Page.empty()) {
            Simulate::Retype(w.Template_TXT, c.Page);
        }
        if (w.GalleryPath_TXT->Text() != c.Gallery) {
            Simulate::Retype(w.GalleryPath_TXT, c.Gallery);
        }
        FDialogs.ClearCalls();
        // Asked whether to empty the gallery folder, the user would say Yes.
        FDialogs.AnswerMessageBox(IDYES);
        std::optional<apptest::TUnreadableFolder> locked;
        if (c.Images == FTemp.File("locked/")) {
            locked.emplace(FTemp.File("locked"));
        }
        Simulate::Click(w.Create_BTN);
        Simulate::ProcessEvents();
        EXPECT_EQ(Boxes(), (apptest::TBoxes{{c.Message, 16u}}));
        EXPECT_FALSE(closer.Ran());
        EXPECT_EQ(gallerytest::FolderTree(gallery), earlier);
        EXPECT_TRUE(ListDirectory(FTemp.File("elsewhere/")).empty());
    }
    EXPECT_TRUE(SetCurrentDir(current));
}

TEST_F(MainWindow, CreateGalleryChecksTheInputsThenRunsInTheStatusWindow)
{
    TMain& w = Open();
    auto* status = new TStatus(Application);
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());

    // A failed check keeps the status window closed.
    {
        apptest::WhenModal never(status, [&] { status->SetModalResult(mrCancel); });
        Simulate::Click(w.Create_BTN);
        Simulate::ProcessEvents();
        EXPECT_FALSE(never.Ran());
        EXPECT_EQ(FDialogs.CallsOf(dkMessageBox).size(), 1u);
    }

    // Folders typed from "~" are in the home folder, whatever the current folder, and the picker
    // opens there; the fields and the store keep what was typed.
    kvtest::ScopedEnv home("HOME", FTemp.Path());
    ASSERT_TRUE(ForceDirectories(FTemp.File("elsewhere/")));
    const std::string current = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(FTemp.File("elsewhere/")));
    Simulate::Type(w.ImagesPath_TXT, "~/pictures");
    Simulate::Choose(w.Template_CBX, 1);
    Simulate::Type(w.GalleryPath_TXT, "~/web/");
    Simulate::Choose(w.ImageSize_CBX, 1);
    FDialogs.ClearCalls();
    Simulate::Click(w.GalleryOpen_BTN);
    EXPECT_EQ(FDialogs.CallsOf(dkBrowseForFolder).at(0).Text, FTemp.File("web/"));
    EXPECT_EQ(Stored("GalleryPath"), "~/web/");
    FDialogs.ClearCalls();
    // The run happens inside the status window's modal loop, which lets the closer's timer in
    // between its steps; once the Close button shows, the run is over.
    {
        apptest::TRunCloser closer(status);
        Simulate::Click(w.Create_BTN);
        EXPECT_TRUE(closer.Closed());
    }
    EXPECT_EQ(status->LastResult(), grSucceeded);
    EXPECT_TRUE(FDialogs.CallsOf(dkMessageBox).empty());
    EXPECT_TRUE(FileExists(FTemp.File("web/index.html")));
    // The page, the template's own pictures and a folder of the gallery's pictures.
    const std::vector<TDirEntry> made = ListDirectory(FTemp.File("web/"));
    ASSERT_EQ(made.size(), 3u);
    const std::string pictures = made[0].Name;
    EXPECT_EQ(pictures.size(), 8u);
    EXPECT_TRUE(made[0].IsDirectory());
    EXPECT_EQ(made[1].Name, "img");
    EXPECT_EQ(made[2].Name, "index.html");
    EXPECT_TRUE(FileExists(FTemp.File("web/img/logo.gif")));
    EXPECT_TRUE(FileExists(FTemp.File("web/" + pictures + "/spacer.gif")));
    EXPECT_NE(kvtest::TempFolder::Read(FTemp.File("web/index.html")).find(pictures + "/"), std::string::npos);
    EXPECT_TRUE(ListDirectory(FTemp.File("elsewhere/")).empty());
    EXPECT_TRUE(SetCurrentDir(current));
    status->Free();
}

// A gallery folder that could not take a new gallery is emptied neither by the picker's Yes nor
// by Create's: the message names it, no run starts and nothing is deleted. (The run's own check
// is tried with a read-only tree too.)
TEST_F(MainWindow, GalleryFolderThatCannotTakeAGalleryLosesNothing)
{
    TMain& w = Open();
    apptest::Owned<TStatus> status;
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());
    Simulate::Type(w.ImagesPath_TXT, FTemp.File("pictures/"));
    Simulate::Choose(w.Template_CBX, 1);
    const std::string gallery = FTemp.File("web/");
    ASSERT_TRUE(ForceDirectories(gallery + "0a1b2c3d/"));
    FTemp.Write("web/index.html", "the earlier gallery");
    FTemp.Write("web/0a1b2c3d/one.jpg", "its picture");
    const std::vector<std::string> earlier = gallerytest::FolderTree(gallery);
    const apptest::TBoxes refused = {
        {"Can't write to the folder: " + gallery + "\nPermission denied\nNothing in it has been deleted.",
         16u}};
    apptest::TRunCloser closer(status.get());
    apptest::TUnreadableFolder locked(FTemp.File("web"), 0555);

    // The picker: refused before any question, and the picker comes again.
    FDialogs.AnswerFolder(gallery);
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(w.GalleryOpen_BTN);
    EXPECT_EQ(Boxes(), refused);
    EXPECT_EQ(FDialogs.CallsOf(dkBrowseForFolder).size(), 2u);
    EXPECT_EQ(gallerytest::FolderTree(gallery), earlier);

    Simulate::Retype(w.GalleryPath_TXT, gallery);
    FDialogs.ClearCalls();
    FDialogs.AnswerMessageBox(IDYES);
    Simulate::Click(w.Create_BTN);
    Simulate::ProcessEvents();
    EXPECT_EQ(Boxes(), refused);
    EXPECT_FALSE(closer.Ran());
    EXPECT_EQ(gallerytest::FolderTree(gallery), earlier);
}

// The picker's Yes refuses the same folders as the run before anything is deleted.
TEST_F(MainWindow, GalleryFolderIsKnownByWhatItIsAndEmptiedWholeOrNotAtAll)
{
    TMain& w = Open();
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());
    const apptest::TKeptFolders kept(FTemp, FTemp.File("pictures/one.jpg"));
    const std::vector<std::string> before = gallerytest::FolderTree(kept.Root);
    for (const apptest::TKeptFolder& c : kept.Cases) {
        // A folder yet to be made is the run's to make.
        if (!DirectoryExists(c.Gallery)) {
            continue;
        }
        Simulate::Retype(w.ImagesPath_TXT, c.Images);
        FDialogs.ClearCalls();
        FDialogs.AnswerFolder(c.Gallery);
        FDialogs.AnswerMessageBox(IDYES);
        {
            const apptest::TOrdinaryUser user;
            Simulate::Click(w.GalleryOpen_BTN);
        }
        EXPECT_EQ(Boxes(), (apptest::TBoxes{{c.Message, 16u}})) << c.Case;
        EXPECT_EQ(gallerytest::FolderTree(kept.Root), before) << c.Case;
    }
}

namespace {

// Scripted dialogs whose next message box first lets Act happen, as the user's other programs
// would while the box stands open.
class TActingDialogs : public TScriptedDialogService
{
public:
    int32_t MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) override
    {
        if (Act) {
            const std::function<void()> act = std::move(Act);
            Act = nullptr;
            act();
        }
        return TScriptedDialogService::MessageBox(Text, Caption, Flags);
    }
    std::function<void()> Act;
};

} // namespace

// While the "not empty" question stands open, a tmpfs or another folder is mounted in the gallery
// folder: Yes looks again before the first delete and deletes nothing, and the picker comes again.
TEST_F(MainWindow, YesLooksAgainAtAGalleryFolderThatChangedWhileTheQuestionStoodOpen)
{
    TMain& w = Open();
    // Mounts take root; without it the case is left out.
    if (::geteuid() != 0) {
        return;
    }
    const std::string gallery = FTemp.File("web/");
    ASSERT_TRUE(ForceDirectories(gallery + "old/") && ForceDirectories(FTemp.File("other/")));
    FTemp.Write("web/index.html", "the earlier gallery");
    FTemp.Write("other/mine.txt", "the user's file elsewhere");
    const std::vector<std::string> kept = {"index.html", "old/", "old/mine.txt"};
    for (const bool bind : {false, true}) {
        SCOPED_TRACE(bind ? "bind mount" : "tmpfs");
        std::unique_ptr<apptest::TMountInside> mount;
        TActingDialogs dialogs;
        dialogs.AnswerFolder(gallery);
        dialogs.AnswerMessageBox(IDYES);
        dialogs.Act = [&] {
            mount = std::make_unique<apptest::TMountInside>(bind, FTemp.File("other/"), gallery + "old/");
            EXPECT_TRUE(mount->Mounted()) << mount->Why();
            if (!bind) {
                FTemp.Write("web/old/mine.txt", "the user's file on another disk");
            }
        };
        Simulate::Click(w.GalleryOpen_BTN);
        apptest::TBoxes boxes;
        for (const TDialogCall& call : dialogs.CallsOf(dkMessageBox)) {
            boxes.emplace_back(call.Text, call.Flags);
        }
        EXPECT_EQ(boxes, (apptest::TBoxes{{Question, QuestionFlags},
                                          {"Can't delete old/ from the folder: " + gallery +
                                               "\nDevice or resource busy\nNothing in it has been deleted.",
                                           16u}}));
        EXPECT_EQ(gallerytest::FolderTree(gallery), kept);
        EXPECT_EQ(dialogs.CallsOf(dkBrowseForFolder).size(), 2u);
        EXPECT_NE(w.GalleryPath_TXT->Text(), gallery);
    }
    EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("other/mine.txt")), "the user's file elsewhere");
}

namespace {

// Pictures of the test's own format ("KVC1"), 64 x 48, that count their decodes, and those made
// on the window's thread: the reads of the parameters alone pass uncounted.
std::atomic<int32_t> CountedDecodes{0};
std::atomic<int32_t> DecodesOnWindowThread{0};
std::thread::id WindowThread;

bool TryCounted(TStream& Stream)
{
    char magic[4] = {};
    return Stream.Read(magic, 4) == 4 && std::string(magic, 4) == "KVC1";
}

void ReadCounted(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                 bool ParamsOnly)
{
    if (!TryCounted(Stream)) {
        CodecSetAborting(Progress);
        return;
    }
    Params.Width = 64;
    Params.Height = 48;
    if (ParamsOnly) {
        return;
    }
    ++CountedDecodes;
    if (std::this_thread::get_id() == WindowThread) {
        ++DecodesOnWindowThread;
    }
    Bitmap.Allocate(64, 48, kv24RGB);
    for (int32_t y = 0; y < 48; ++y) {
        std::memset(Bitmap.GetScanLine(y), y * 5, 64 * 3);
    }
}

} // namespace

// After Create the window reads no more of the pictures than their headers, so that the status
// window shows at once whatever the first picture is: every decode is the run's, on its workers,
// and the run decodes the picture once.
TEST_F(MainWindow, CreateReadsOnlyHeadersAndTheRunDecodesEachPictureOnce)
{
    Korvaneio::KVFileFormatAdd({201, "Counted", "KVC", ReadCounted, nullptr, TryCounted});
    TMain& w = Open();
    apptest::Owned<TStatus> status;
    ASSERT_NO_FATAL_FAILURE(ReadyForARun());
    ASSERT_TRUE(ForceDirectories(FTemp.File("counted/")));
    FTemp.Write("counted/first.kvc", "KVC1");
    Simulate::Type(w.ImagesPath_TXT, FTemp.File("counted/"));
    Simulate::Choose(w.Template_CBX, 1);
    Simulate::Type(w.GalleryPath_TXT, FTemp.File("web/"));
    WindowThread = std::this_thread::get_id();
    {
        apptest::TRunCloser closer(status.get());
        Simulate::Click(w.Create_BTN);
        EXPECT_TRUE(closer.Closed());
    }
    EXPECT_EQ(status->LastResult(), grSucceeded);
    EXPECT_EQ(DecodesOnWindowThread, 0);
    EXPECT_EQ(CountedDecodes, 1);
    Korvaneio::KVFileFormatRemove(201);
}
