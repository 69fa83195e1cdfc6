// Files that pages and pictures are saved over: what the user has around them (other names,
// links, owner, group, mode, a folder that takes no new file) stays as it was, and a save that
// fails, or finds the disk full, leaves the file whole.
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/exceptions.h"
#include "tests/io/io_test_support.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace kviotest;
using Korvaneio::detail::TSafeFileWriter;

namespace {

const std::string EarlierContent = "<html>the earlier page</html>";

// Writes Content as the file through the writer the page writer uses; a save that is not
// complete ends as the page writer's does when a write fails, without Commit. 0 when saved, 1
// when it failed.
int SavePage(const std::string& fileName, const std::string& content, bool complete)
{
    try {
        TSafeFileWriter file(fileName);
        file.Stream().WriteBuffer(content.data(), int64_t(complete ? content.size() : content.size() / 2));
        if (!complete) {
            return 1;
        }
        file.Commit();
        return 0;
    } catch (const EStreamError&) {
        return 1;
    }
}

// Saves a picture as JPEG through the I/O component; one that is not complete is saved as GIF
// without its LZW coder, which fails midway.
int SavePicture(const std::string& fileName, bool complete)
{
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 24, 16);
    try {
        if (complete) {
            io.SaveToFileJpeg(fileName);
        } else {
            io.SaveToFileGif(fileName);
        }
    } catch (const EStreamError&) {
        return 1;
    }
    return io.Aborting ? 1 : 0;
}

// A save through the page writer's file writer, or through the I/O component.
struct TFrontEnd
{
    const char* Name;
    std::function<int(const std::string& fileName, bool complete)> Save;
};

// What a front end writes into a new file.
std::string ContentOf(const TFrontEnd& frontEnd)
{
    kvtest::TempFolder folder;
    EXPECT_EQ(frontEnd.Save(folder.File("new"), true), 0);
    return kvtest::TempFolder::Read(folder.File("new"));
}

struct TFileState
{
    bool Exists = false;
    bool IsLink = false;
    struct stat Info
    {
    };
    std::string Content;
    // The names in the folder that share the file.
    std::vector<std::string> Names;
    // Names that start with a dot: the writer's temporary files.
    std::vector<std::string> Hidden;
};

TFileState StateOf(const std::string& folder, const std::string& name)
{
    TFileState state;
    struct stat info
    {
    };
    state.IsLink = ::lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    state.Exists = ::stat(name.c_str(), &state.Info) == 0;
    state.Content = kvtest::TempFolder::Read(name);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (state.Exists && ::lstat(entry.path().c_str(), &info) == 0 && info.st_ino == state.Info.st_ino) {
            state.Names.push_back(entry.path());
        }
        if (entry.path().filename().string()[0] == '.') {
            state.Hidden.push_back(entry.path());
        }
    }
    return state;
}

// A file, or a link, named "page" in a folder with whatever the case puts around it.
struct TSavedFileCase
{
    const char* Case;
    // Whether the save runs as nobody when the tests run as root.
    bool AsNobody;
    // Whether the file is written in place rather than replaced.
    bool InPlace;
    std::function<void(kvtest::TempFolder& folder)> Make;
};

// Saves each front end's file over the case's "page": first a save that fails, which must leave
// everything as it was, then one that succeeds, which must change the content alone.
void CheckSaves(const std::vector<TSavedFileCase>& cases)
{
    const TFrontEnd frontEnds[] = {
        {"page",
         [](const std::string& name, bool complete) { return SavePage(name, "<html>new</html>", complete); }},
        {"picture", SavePicture},
    };
    for (const TFrontEnd& frontEnd : frontEnds) {
        const std::string content = ContentOf(frontEnd);
        for (const TSavedFileCase& c : cases) {
            SCOPED_TRACE(std::string(frontEnd.Name) + ", " + c.Case);
            kvtest::TempFolder folder;
            // Nobody passes through it to the file.
            ::chmod(folder.Path().c_str(), 0755);
            c.Make(folder);
            const std::string page = folder.File("page");
            const auto save = [&](bool complete) {
                const auto body = [&] { return frontEnd.Save(page, complete); };
                return c.AsNobody ? ExitCodeAsNobody(body) : body();
            };
            const TFileState before = StateOf(folder.Path(), page);

            EXPECT_EQ(save(false), 1);
            const TFileState failed = StateOf(folder.Path(), page);
            EXPECT_EQ(failed.Exists, before.Exists);
            EXPECT_TRUE(failed.Content == before.Content) << "the content changed";
            EXPECT_EQ(failed.Names, before.Names);
            EXPECT_EQ(failed.Hidden, std::vector<std::string>());

            EXPECT_EQ(save(true), 0);
            const TFileState saved = StateOf(folder.Path(), page);
            EXPECT_EQ(saved.IsLink, before.IsLink);
            EXPECT_TRUE(saved.Content == content) << "the content was not saved";
            for (const std::string& name : before.Names) {
                EXPECT_TRUE(kvtest::TempFolder::Read(name) == content) << name << " was not saved";
            }
            if (before.Exists) {
                EXPECT_EQ(saved.Info.st_ino == before.Info.st_ino, c.InPlace);
                EXPECT_EQ(saved.Info.st_uid, before.Info.st_uid);
                EXPECT_EQ(saved.Info.st_gid, before.Info.st_gid);
                EXPECT_EQ(saved.Info.st_mode, before.Info.st_mode);
                EXPECT_EQ(saved.Info.st_nlink, before.Info.st_nlink);
            }
            EXPECT_EQ(saved.Hidden, std::vector<std::string>());
            ::chmod(folder.Path().c_str(), 0755);
        }
    }
}

std::string MakePage(kvtest::TempFolder& folder, mode_t mode)
{
    const std::string page = folder.Write("page", EarlierContent);
    ::chmod(page.c_str(), mode);
    return page;
}

} // namespace

// A file is replaced by a rename wherever that keeps it the user's file as it was, and written in
// place where the folder takes no new file or the file has a second name; a link to a file that
// does not exist yet stays a link, and the file it names is made.
TEST(SavedFiles, KeepTheirNamesLinksAndFolders)
{
    CheckSaves({
        {"a plain file", false, false, [](kvtest::TempFolder& folder) { MakePage(folder, 0640); }},
        {"a folder that takes no new file", true, true,
         [](kvtest::TempFolder& folder) {
             const std::string page = MakePage(folder, 0644);
             if (::geteuid() == 0) {
                 ASSERT_EQ(::chown(page.c_str(), NobodyId, NobodyId), 0);
             }
             ::chmod(folder.Path().c_str(), 0555);
         }},
        {"a second name", false, true,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::link(MakePage(folder, 0644).c_str(), folder.File("other").c_str()), 0);
         }},
        {"a link to a file not made yet", false, false,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::mkdir(folder.File("pages").c_str(), 0755), 0);
             ASSERT_EQ(::symlink("pages/new", folder.File("page").c_str()), 0);
         }},
        {"links, absolute and relative, to a file not made yet", false, false,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::mkdir(folder.File("pages").c_str(), 0755), 0);
             ASSERT_EQ(::symlink("../new", folder.File("pages/next").c_str()), 0);
             ASSERT_EQ(::symlink(folder.File("pages/next").c_str(), folder.File("page").c_str()), 0);
         }},
    });
}

// A file of another owner, or of a group the writer is not in, is written in place; a group the
// writer may give is given to the file that replaces the page.
TEST(SavedFiles, KeepTheirOwnerAndGroup)
{
    if (::geteuid() != 0) {
        SkipBecause("only root makes files of other users");
        return;
    }
    CheckSaves({
        {"another owner", false, true,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::chown(MakePage(folder, 0644).c_str(), NobodyId, NobodyId), 0);
         }},
        {"a group the writer may give", false, false,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::chown(MakePage(folder, 0664).c_str(), 0, NobodyId), 0);
         }},
        {"a group the writer is not in", true, true,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::chown(MakePage(folder, 0664).c_str(), NobodyId, 0), 0);
             ASSERT_EQ(::chown(folder.Path().c_str(), NobodyId, NobodyId), 0);
         }},
    });
}

// Room for the new content is taken before the first byte of a file written in place changes.
TEST(SavedFiles, WrittenInPlaceStayWholeOnAFullDisk)
{
    if (::geteuid() != 0) {
        SkipBecause("only root mounts a small disk");
        return;
    }
    kvtest::TempFolder folder;
    kvtest::TSmallDisk disk(folder.Path(), 64 * 1024);
    ASSERT_TRUE(disk.Mounted);
    const std::string page = folder.Write("page", EarlierContent);
    ASSERT_EQ(::link(page.c_str(), folder.File("other").c_str()), 0);
    folder.Write("filler", std::string(40 * 1024, 'f'));

    EXPECT_EQ(SavePage(page, std::string(32 * 1024, 'n'), true), 1);
    for (const std::string& name : {page, folder.File("other")}) {
        EXPECT_EQ(kvtest::TempFolder::Read(name), EarlierContent) << name;
    }

    const std::string fits(8 * 1024, 'n');
    EXPECT_EQ(SavePage(page, fits, true), 0);
    for (const std::string& name : {page, folder.File("other")}) {
        EXPECT_TRUE(kvtest::TempFolder::Read(name) == fits) << name << " was not saved";
    }
}
