// File utilities: emptying folders safely, copying a template's pictures, reading templates and
// the refusals that keep a gallery folder from swallowing the user's files.
#include "app/file_utils.h"

#include "app/folder_identity.h"
#include "app/settings.h"
#include "app/template_import.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/app/mount_inside.h"
#include "tests/app/unreadable_folder.h"
#include "tests/support/peak_heap.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

const std::string NothingDeleted = "\nNothing in it has been deleted.";

TEST(FileUtils, EmptyFolderDeletesEverythingInsideAndFollowsNoLink)
{
    kvtest::TempFolder temp;
    const std::string target = temp.File("gallery/");
    const std::string outside = temp.File("outside/");
    ASSERT_TRUE(ForceDirectories(target + "sub/deeper/"));
    ASSERT_TRUE(ForceDirectories(target + "locked/"));
    ASSERT_TRUE(ForceDirectories(outside + "keep/"));
    temp.Write("gallery/index.html", "page");
    temp.Write("gallery/.hidden", "dot file");
    temp.Write("gallery/sub/deeper/pic.jpg", "jpeg");
    temp.Write("gallery/locked/inside.txt", "text");
    const std::string readOnly = temp.Write("gallery/readonly.txt", "r/o");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(::chmod((target + "locked").c_str(), 0500), 0);
    const std::string precious = temp.Write("outside/keep/precious.jpg", "the user's picture");
    ASSERT_EQ(::symlink(outside.c_str(), (target + "link-to-folder").c_str()), 0);
    ASSERT_EQ(::symlink(precious.c_str(), (target + "link-to-file.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("/nowhere/at/all", (target + "dangling").c_str()), 0);
    const std::string current = GetCurrentDir();

    EmptyFolder(target);

    EXPECT_TRUE(DirectoryExists(target));
    EXPECT_TRUE(ListDirectory(target).empty());
    EXPECT_EQ(kvtest::TempFolder::Read(precious), "the user's picture");
    EXPECT_TRUE(DirectoryExists(outside + "keep/"));
    EXPECT_EQ(GetCurrentDir(), current);
}

TEST(FileUtils, EmptyFolderOfNothingDeletesNothing)
{
    kvtest::TempFolder temp;
    const std::string file = temp.Write("stays.txt", "x");
    const std::string current = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(temp.Path()));
    EmptyFolder("");
    EmptyFolder(temp.File("does-not-exist/"));
    EmptyFolder(file);
    EXPECT_TRUE(SetCurrentDir(current));
    EXPECT_TRUE(FileExists(file));
}

TEST(FileUtils, EmptyingCheckLooksIntoTheUsersClosedFoldersAndChangesNothing)
{
    kvtest::TempFolder temp;
    const std::string closed = temp.File("gallery/closed");
    ASSERT_TRUE(ForceDirectories(closed + "/inner/"));
    temp.Write("gallery/closed/inner/a.jpg", "picture");
    ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
    const auto check = [&] {
        const apptest::TOrdinaryUser user;
        return FirstEntryThatCannotBeDeleted(temp.File("gallery/"));
    };
    EXPECT_EQ(check(), "");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((closed + "/inner").c_str(), 65534, 65534), 0);
        EXPECT_EQ(check(), "closed/inner/a.jpg");
    }
    struct stat info
    {
    };
    EXPECT_EQ(::stat(closed.c_str(), &info) == 0 ? info.st_mode & 07777 : 1u, 0u);
    ::chmod(closed.c_str(), 0755);
}

TEST(FileUtils, MadeFoldersGoWithWhatTheyHoldAndNothingElse)
{
    kvtest::TempFolder temp;
    TMadeFolders made;
    ASSERT_TRUE(made.Make(temp.File("new/gallery/pictures/")));
    ASSERT_TRUE(made.Make(temp.File("new/gallery/files")));
    ASSERT_TRUE(made.Make(temp.File("new/gallery/pictures/thumbs/")));
    temp.Write("new/gallery/pictures/a.jpg", "written by the run");
    // A folder put where one was made is another folder, and one made that moved is not there.
    ASSERT_EQ(::rename(temp.File("new/gallery/files").c_str(), temp.File("moved").c_str()), 0);
    ASSERT_TRUE(ForceDirectories(temp.File("new/gallery/files/")));
    made.RemoveAll();
    EXPECT_EQ(gallerytest::FolderTree(temp.Path()),
              (std::vector<std::string>{"moved/", "new/", "new/gallery/", "new/gallery/files/"}));
    // Folders made on the way to one go too, once empty.
    ASSERT_TRUE(made.Make(temp.File("other/deeper/")));
    made.RemoveAll();
    EXPECT_FALSE(DirectoryExists(temp.File("other/")));
}

// A tmpfs mounted on a sub-folder, or another folder bound there, as may happen after a folder was
// checked: emptying and removing leave the mount with all it holds, and the gallery folder's
// emptying, which looks again right before it deletes, deletes nothing and names it.
TEST(FileUtils, EmptyingStaysOnTheFileSystemOfItsFolder)
{
    // Mounts take root; without it the cases are left out.
    if (::geteuid() != 0) {
        return;
    }
    kvtest::TempFolder temp;
    const std::string gallery = temp.File("gallery/");
    const std::vector<std::string> everything = {"index.html", "sub/", "sub/mnt/", "sub/mnt/mine.txt",
                                                 "sub/page.html"};
    for (const bool bind : {false, true}) {
        SCOPED_TRACE(bind ? "bind mount" : "tmpfs");
        ASSERT_TRUE(ForceDirectories(gallery + "sub/mnt/") && ForceDirectories(temp.File("other/")));
        const auto fill = [&] {
            temp.Write("gallery/index.html", "page");
            temp.Write("gallery/sub/page.html", "page");
        };
        fill();
        temp.Write("other/mine.txt", "the user's file elsewhere");
        const apptest::TMountInside mount(bind, temp.File("other/"), gallery + "sub/mnt/");
        ASSERT_TRUE(mount.Mounted()) << mount.Why();
        if (!bind) {
            temp.Write("gallery/sub/mnt/mine.txt", "the user's file on another disk");
        }

        EXPECT_EQ(EmptyGalleryFolder(gallery), "Can't delete sub/mnt/ from the folder: " + gallery +
                                                   "\nDevice or resource busy" + NothingDeleted);
        EXPECT_EQ(gallerytest::FolderTree(gallery), everything);
        EmptyFolder(gallery);
        EXPECT_EQ(gallerytest::FolderTree(gallery),
                  (std::vector<std::string>{"sub/", "sub/mnt/", "sub/mnt/mine.txt"}));
        fill();
        RemoveFolder(gallery + "sub");
        EXPECT_EQ(gallerytest::FolderTree(gallery),
                  (std::vector<std::string>{"index.html", "sub/", "sub/mnt/", "sub/mnt/mine.txt"}));
        // What something is mounted on stays whole.
        RemoveFolder(gallery + "sub/mnt/");
        EXPECT_TRUE(FileExists(gallery + "sub/mnt/mine.txt"));
    }
}

TEST(FileUtils, CopyTemplateImagesCopiesFilesOnly)
{
    kvtest::TempFolder temp;
    ASSERT_TRUE(ForceDirectories(temp.File("source/sub/")));
    ASSERT_TRUE(ForceDirectories(temp.File("target/")));
    temp.Write("source/a.gif", "GIF89a");
    temp.Write("source/b.png", "png");
    temp.Write("source/sub/c.jpg", "not copied");
    temp.Write("target/a.gif", "old");
    ASSERT_EQ(::mkfifo(temp.File("source/pipe.gif").c_str(), 0600), 0);

    CopyTemplateImages(temp.File("source/"), temp.File("target"));

    EXPECT_EQ(kvtest::TempFolder::Read(temp.File("target/a.gif")), "GIF89a");
    EXPECT_EQ(kvtest::TempFolder::Read(temp.File("target/b.png")), "png");
    EXPECT_FALSE(FileExists(temp.File("target/sub/c.jpg")));
    EXPECT_FALSE(DirectoryExists(temp.File("target/sub/")));
    EXPECT_FALSE(FileExists(temp.File("target/pipe.gif")));

    CopyTemplateImages(temp.File("missing/"), temp.File("target/"));
    EXPECT_EQ(ListDirectory(temp.File("target/")).size(), 2u);
}

TEST(FileUtils, ReadTemplateTextReadsEveryByteOrFails)
{
    kvtest::TempFolder temp;
    const std::string bytes("<p>\0after\r\n", 11);
    const std::string file = temp.Write("t.html", bytes);
    std::string text = "stale";
    EXPECT_TRUE(ReadTemplateText(file, text));
    EXPECT_EQ(text, bytes);
    EXPECT_TRUE(ReadTemplateText(temp.Write("empty.html", ""), text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(ReadTemplateText(temp.File("missing.html"), text));
    EXPECT_FALSE(ReadTemplateText(temp.Path(), text));
    EXPECT_FALSE(ReadTemplateText("", text));
}

TEST(FileUtils, GalleryFolderRefusesRootHomeAndFoldersHoldingTheInputs)
{
    kvtest::TempFolder temp;
    ASSERT_TRUE(ForceDirectories(temp.File("home/web/pics/")));
    ASSERT_TRUE(ForceDirectories(temp.File("program/templates/blue/")));
    ASSERT_TRUE(ForceDirectories(temp.File("pics/")));
    temp.Write("program/templates/blue/template.html", "<thumbs>");
    temp.Write("home/web/page.html", "<thumbs>");
    ASSERT_EQ(::symlink(temp.File("home/web").c_str(), temp.File("web-link").c_str()), 0);
    kvtest::ScopedEnv home("HOME", temp.File("home/"));
    const TGallerySettings saved = GallerySettings;
    const std::vector<TemplateStr> savedTemplates = InstalledTemplates;
    GallerySettings.ProgramFolder = temp.File("program/");
    InstalledTemplates = {TemplateStr{"Blue", "blue", false, "", ""}};

    const std::string rootOrHome =
        "The folder to create the gallery can't be the root folder, the home folder "
        "or a folder that holds it.\nPlease choose another folder.";
    const std::string program =
        "The folder to create the gallery holds the program or its templates, or lies "
        "in them.\nPlease choose another folder.";
    kvtest::ScopedEnv data("XDG_DATA_HOME", temp.File("home/.local/share/"));
    const std::string images = "The folder with images lies in the folder to create the gallery.\n"
                               "Please choose another folder.";
    const std::string page = "The template file lies in the folder to create the gallery.\n"
                             "Please choose another folder.";
    const struct
    {
        std::string Gallery;
        std::string ImagesPath;
        int32_t TemplateIndex;
        std::string TemplateFile;
        std::string Refusal;
    } cases[] = {
        {"/", temp.File("pics/"), -1, "", rootOrHome},
        {temp.File("home/"), temp.File("pics/"), -1, "", rootOrHome},
        {temp.File("home"), temp.File("pics/"), -1, "", rootOrHome},
        {temp.Path(), temp.File("pics/"), -1, "", rootOrHome},
        {temp.File("program/"), temp.File("pics/"), -1, "", program},
        {temp.File("program/templates/"), temp.File("pics/"), -1, "", program},
        {temp.File("program/data/"), temp.File("pics/"), -1, "", program},
        {temp.File("program/help/old/"), temp.File("pics/"), -1, "", program},
        {temp.File("home/.local/"), temp.File("pics/"), -1, "", program},
        {temp.File("home/.local/share/plimbet/templates/mine/"), temp.File("pics/"), -1, "", program},
        {temp.File("program/gallery/"), temp.File("pics/"), -1, "", ""},
        {temp.File("home/web/"), temp.File("home/web/pics/"), -1, "", images},
        {temp.File("home/web/pics"), temp.File("home/web/pics/"), -1, "", images},
        {temp.File("web-link/"), temp.File("home/web/pics/"), -1, "", images},
        {temp.File("home/web/"), temp.File("web-link/pics"), -1, "", images},
        {temp.File("home/web/"), temp.File("pics/"), 0, temp.File("home/web/page.html"), page},
        {temp.File("program/"), temp.File("pics/"), 1, "", page},
        {temp.File("home/web/"), temp.File("pics/"), 1, "", ""},
        {temp.File("home/web/"), temp.File("pics/"), 0, temp.File("pics/page.html"), ""},
        // A name that merely begins like the gallery folder is not inside it.
        {temp.File("home/we"), temp.File("home/web/pics/"), -1, "", ""},
        {temp.File("home/web/pics/"), "", -1, "", ""},
        // "~" is the home folder, for both folders; blanks are no folder at all.
        {"~", temp.File("pics/"), -1, "", rootOrHome},
        {"~/", temp.File("pics/"), -1, "", rootOrHome},
        {" \t ", temp.File("pics/"), -1, "", rootOrHome},
        {"~/web/", "~/web/pics", -1, "", images},
        {"~/web", temp.File("pics/"), -1, "", ""},
    };
    for (const auto& c : cases) {
        GallerySettings.ImagesPath = c.ImagesPath;
        GallerySettings.TemplateIndex = c.TemplateIndex;
        GallerySettings.TemplateFile = c.TemplateFile;
        EXPECT_EQ(GalleryFolderRefusal(c.Gallery), c.Refusal) << c.Gallery << " with " << c.ImagesPath;
    }

    GallerySettings = saved;
    InstalledTemplates = savedTemplates;
}

TEST(FileUtils, TypedFoldersFromATildeAreHomesAsTheShellReadsThem)
{
    kvtest::TempFolder temp;
    kvtest::ScopedEnv home("HOME", temp.File("home"));
    const std::string typed = "~ ~/ ~/web/pics ~root ~root/ ~root/x ~nobody/gal ~plimbet-no-such-user "
                              "~plimbet-no-such-user/gal pics/~root /srv/~root/";
    // The shell that runs the command expands each unquoted word; a user it does not know leaves
    // the word as it is.
    std::istringstream words(typed);
    std::istringstream shell(kvtest::RunTool("printf '%s\\n' " + typed));
    std::string folder;
    while (words >> folder) {
        std::string expanded;
        ASSERT_TRUE(std::getline(shell, expanded) && !expanded.empty()) << folder;
        EXPECT_EQ(IncludeTrailingPathDelimiter(TypedFolder(folder)), IncludeTrailingPathDelimiter(expanded))
            << folder;
        EXPECT_EQ(NamesNoUsersHome(folder), folder.starts_with("~plimbet-no-such-user")) << folder;
    }
    // No folder is made of a user who does not exist: the gallery folder is refused.
    EXPECT_EQ(GalleryFolderRefusal("~plimbet-no-such-user/gal"),
              "Can't create the folder: ~plimbet-no-such-user/gal/");
    EXPECT_EQ(ImagesFolderProblem("~plimbet-no-such-user/pics"),
              "Can't find the directory: ~plimbet-no-such-user/pics/");
}

namespace {

// A chain of Depth folders "d" of the mode Mode in Folder, with a file at its bottom, made through
// descriptors: its path is far longer than a path may be. The deepest one's O_PATH descriptor.
int MakeDeepChain(const std::string& Folder, int32_t Depth, mode_t Mode)
{
    int fd = ::open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (int32_t level = 0; level < Depth && fd >= 0; ++level) {
        const int inner = ::mkdirat(fd, "d", Mode) == 0 ? ::openat(fd, "d", O_PATH | O_CLOEXEC) : -1;
        ::close(fd);
        fd = inner;
    }
    ::close(fd < 0 ? -1 : ::openat(fd, "deepest.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    return fd;
}

// How many folders of such a chain are not of the mode Mode.
int32_t FoldersNotOfMode(const std::string& Folder, mode_t Mode)
{
    int32_t count = 0;
    struct stat info = {};
    for (int fd = ::open(Folder.c_str(), O_PATH | O_CLOEXEC), inner; fd >= 0; ::close(fd), fd = inner) {
        inner = ::openat(fd, "d", O_PATH | O_NOFOLLOW | O_CLOEXEC);
        count += inner >= 0 && ::fstat(inner, &info) == 0 && (info.st_mode & 07777) != Mode;
    }
    return count;
}

} // namespace

// A tree far deeper than a path may be long: the check and the emptying go through it to its
// bottom with few descriptors open and memory that grows with the depth alone. As root its folders
// are closed to the ordinary user the check runs as, and each one opened up is given its mode
// back, also when the check ends deep down.
TEST(FileUtils, WalksATreeOfAnyDepth)
{
    constexpr int32_t depth = 8500;
    const bool root = ::geteuid() == 0;
    const mode_t mode = root ? 0 : 0700;
    kvtest::TempFolder temp;
    const std::string gallery = temp.File("gallery/");
    ASSERT_TRUE(ForceDirectories(gallery));
    temp.Write("gallery/index.html", "page");
    const int deepest = MakeDeepChain(gallery, depth, mode);
    ASSERT_GE(deepest, 0);
    rlimit descriptors{};
    ::getrlimit(RLIMIT_NOFILE, &descriptors);
    const rlimit few = {std::min<rlim_t>(256, descriptors.rlim_cur), descriptors.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &few);
    {
        const apptest::TOrdinaryUser user;
        std::string kept = "not walked";
        // A path kept at each level would take 72 MB here.
        EXPECT_LT(kvtest::PeakHeapOf([&] { kept = FirstEntryThatCannotBeDeleted(gallery); }), depth * 1024);
        EXPECT_EQ(kept, "");
    }
    EXPECT_EQ(FoldersNotOfMode(gallery, mode), 0);
    if (root) {
        ::mkdirat(deepest, "theirs", 0755);
        ::close(::openat(deepest, "theirs/page.html", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        EXPECT_EQ(::fchownat(deepest, "theirs", 65534, 65534, 0), 0);
        std::string bottom;
        for (int32_t level = 0; level < depth; ++level) {
            bottom += "d/";
        }
        const apptest::TOrdinaryUser user;
        EXPECT_EQ(GalleryFolderWriteProblem(gallery), "Can't delete " + bottom +
                                                          "theirs/page.html from the folder: " + gallery +
                                                          "\nPermission denied" + NothingDeleted);
    }
    EXPECT_EQ(FoldersNotOfMode(gallery, mode), 0);
    EXPECT_EQ(EmptyGalleryFolder(gallery), "");
    ::setrlimit(RLIMIT_NOFILE, &descriptors);
    ::close(deepest);
    EXPECT_EQ(gallerytest::FolderTree(gallery), std::vector<std::string>{});
}

// Gallery folders that cannot take a gallery, or hold what cannot be deleted (a folder the walk
// cannot open or search among them), are refused with the system's reason on a line of its own,
// and every name shows on one line. A folder that cannot be listed holds what cannot go.
TEST(FileUtils, GalleryFolderRefusalsTellTheSystemsReason)
{
    // Mounts, other users' folders and immutable files take root; without it the cases are left out.
    if (::geteuid() != 0) {
        return;
    }
    kvtest::TempFolder temp;
    ASSERT_TRUE(ForceDirectories(temp.File("ro/")) && ForceDirectories(temp.File("source/")));
    temp.Write("source/index.html", "the earlier gallery");
    const kvtest::TBoundFolder bound(temp.File("source/"), temp.File("ro/"));
    ASSERT_EQ(::mount(nullptr, bound.Folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    // Names with a line break and a byte that is not UTF-8.
    const std::string theirs = "their\ngallery\xff/";
    for (const char* folder : {"their\ngallery\xff/", "closed/theirs/", "unsearchable/theirs/", "mine/"}) {
        ASSERT_TRUE(ForceDirectories(temp.File(folder)));
        temp.Write(std::string(folder) + "page.html", "a page");
    }
    for (const char* other : {"their\ngallery\xff", "closed/theirs", "unsearchable/theirs"}) {
        ASSERT_EQ(::chown(temp.File(other).c_str(), 65534, 65534), 0);
    }
    ::chmod(temp.File("closed/theirs").c_str(), 0700);
    ::chmod(temp.File("unsearchable/theirs").c_str(), 0744);
    const std::string immutable = temp.Write("mine/keep\n.txt", "kept");
    ASSERT_EQ(kvtest::ToolExitCode("chattr +i '" + immutable + "'"), 0);
    const struct
    {
        std::string Gallery;
        std::string Refusal;
    } cases[] = {
        {temp.File("ro/"), "Can't write to the folder: " + temp.File("ro/") + "\nRead-only file system"},
        {temp.File(theirs),
         "Can't write to the folder: " + temp.File("their\\ngallery\\xff/") + "\nPermission denied"},
        {temp.File("mine/"),
         "Can't delete keep\\n.txt from the folder: " + temp.File("mine/") + "\nOperation not permitted"},
        {temp.File("closed/"),
         "Can't delete theirs/ from the folder: " + temp.File("closed/") + "\nPermission denied"},
        {temp.File("unsearchable/"),
         "Can't delete theirs/ from the folder: " + temp.File("unsearchable/") + "\nPermission denied"},
    };
    const std::vector<std::string> before = gallerytest::FolderTree(temp.Path());
    for (const auto& c : cases) {
        const apptest::TOrdinaryUser user;
        EXPECT_EQ(GalleryFolderWriteProblem(c.Gallery), c.Refusal + NothingDeleted);
        EXPECT_EQ(EmptyGalleryFolder(c.Gallery), c.Refusal + NothingDeleted);
    }
    ::chmod(temp.File(theirs).c_str(), 0311);
    {
        const apptest::TOrdinaryUser user;
        EXPECT_EQ(FirstEntryThatCannotBeDeleted(temp.File(theirs)), "./");
    }
    EXPECT_EQ(kvtest::ToolExitCode("chattr -i '" + immutable + "'"), 0);
    ::chmod(temp.File(theirs).c_str(), 0755);
    EXPECT_EQ(gallerytest::FolderTree(temp.Path()), before);
}

// Looking into one of the user's closed folders opens it up through a descriptor of that very
// folder: a link put in its place meanwhile leaves the link's target as it was.
TEST(FileUtils, ClosedFoldersAreOpenedUpThroughTheirDescriptorOnly)
{
    kvtest::TempFolder temp;
    const std::string gallery = temp.File("gallery/");
    ASSERT_TRUE(ForceDirectories(gallery + "closed/") && ForceDirectories(temp.File("target/")));
    temp.Write("gallery/closed/a.jpg", "picture");
    ASSERT_EQ(::chmod(temp.File("gallery/closed").c_str(), 0), 0);
    // A mode that opening up or giving back would change.
    ASSERT_EQ(::chmod(temp.File("target").c_str(), 0020), 0);
    ASSERT_EQ(::symlink(temp.File("target").c_str(), temp.File("gallery/swap").c_str()), 0);
    // The folder and the link trade places over and over while the check looks.
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        while (!done) {
            ::renameat2(AT_FDCWD, temp.File("gallery/closed").c_str(), AT_FDCWD,
                        temp.File("gallery/swap").c_str(), RENAME_EXCHANGE);
        }
    });
    {
        const apptest::TOrdinaryUser user;
        for (int32_t look = 0; look < 3000; ++look) {
            FirstEntryThatCannotBeDeleted(gallery);
        }
    }
    done = true;
    swapper.join();
    struct stat info
    {
    };
    EXPECT_EQ(::stat(temp.File("target").c_str(), &info) == 0 ? info.st_mode & 07777 : 1u, 0020u);
    const std::string closed = temp.File(
        ::lstat(temp.File("gallery/closed").c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? "gallery/closed"
                                                                                          : "gallery/swap");
    EXPECT_EQ(::lstat(closed.c_str(), &info) == 0 ? info.st_mode & 07777 : 1u, 0u);
    ::chmod(closed.c_str(), 0755);
}
