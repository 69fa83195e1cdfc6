// Saves that meet others: what a killed save left beside a file stays until a save commits, two
// saves of one file at once leave one content whole, and in a folder that all may write into the
// files of other users that look like a save's own stay and take no name from it.
#include "platform/core/detail/write_room.h"
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "tests/io/io_test_support.h"
#include "tests/io/saved_files_support.h"
#include "tests/support/temp_folder.h"

#include <atomic>
#include <barrier>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kviotest;

namespace {

// The kill test's child stops in the copy of the file of this inode, after its first block, and
// says so through this pipe.
ino_t gCopiedInode = 0;
int gCopyStarted = -1;
int gWritesToCopiedFile = 0;

int64_t StopInTheCopy(int Handle, int64_t Count)
{
    struct stat info
    {
    };
    if (::fstat(Handle, &info) == 0 && info.st_ino == gCopiedInode && ++gWritesToCopiedFile == 2) {
        if (::write(gCopyStarted, "c", 1) == 1) {
            for (;;) {
                ::pause();
            }
        }
    }
    return Count;
}

// The names in the folder that hold one of the contents whole.
std::vector<std::string> NamesHolding(const std::string& folder, const std::vector<std::string>& contents)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string content = kvtest::TempFolder::Read(entry.path());
        for (const std::string& whole : contents) {
            if (content == whole) {
                names.push_back(entry.path().filename());
            }
        }
    }
    return names;
}

} // namespace

// A save killed while it overwrites a file in place (a file with a second name) leaves the old
// content or the new one whole under a name in the folder; a save that then fails for room keeps
// that name, and so does a save of another file whose long name starts alike; the next save of
// the file that commits removes it.
TEST(SavedFiles, AKilledInPlaceSaveLeavesAWholeContentUntilASaveCommits)
{
    kvtest::TempFolder folder;
    const std::string old(1 << 20, 'o');
    const std::string longName(200, 'p');
    const std::string page = folder.Write(longName + "1", old);
    ASSERT_EQ(::link(page.c_str(), folder.File("other").c_str()), 0);
    const std::string fresh(1 << 20, 'n');
    struct stat info
    {
    };
    ASSERT_EQ(::stat(page.c_str(), &info), 0);
    int started[2];
    ASSERT_EQ(::pipe(started), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(started[0]);
        gCopiedInode = info.st_ino;
        gCopyStarted = started[1];
        kvcore_detail::gWriteRoomHook = StopInTheCopy;
        SavePage(page, fresh, true);
        ::_exit(0);
    }
    ::close(started[1]);
    char said = 0;
    const bool stopped = ::read(started[0], &said, 1) == 1;
    ::close(started[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(stopped) << "the save ended without copying into the file";
    const std::string cut = kvtest::TempFolder::Read(page);
    EXPECT_TRUE(cut.size() == old.size() && cut[0] == 'n' && cut.back() == 'o')
        << "the kill came after the copy";
    const std::vector<std::string> whole = NamesHolding(folder.Path(), {old, fresh});
    EXPECT_EQ(whole.size(), 1u) << "the names holding either content whole: "
                                << testing::PrintToString(whole);

    kvcore_detail::gWriteRoomHook = [](int, int64_t) { return int64_t(0); };
    EXPECT_EQ(SavePage(page, fresh, true), 1);
    kvcore_detail::gWriteRoomHook = nullptr;
    EXPECT_EQ(NamesHolding(folder.Path(), {old, fresh}), whole) << "a save that failed removed it";
    EXPECT_EQ(SavePage(folder.File(longName + "2"), "<html>another page</html>", true), 0);
    EXPECT_EQ(NamesHolding(folder.Path(), {old, fresh}), whole) << "a save of another file removed it";

    const std::string next = "<html>the next page</html>";
    EXPECT_EQ(SavePage(page, next, true), 0);
    const TFileState saved = StateOf(folder.Path(), page);
    EXPECT_EQ(saved.Hidden, std::vector<std::string>());
    EXPECT_EQ(saved.Names.size(), 2u);
    for (const std::string& name : saved.Names) {
        EXPECT_EQ(kvtest::TempFolder::Read(name), next) << name;
    }
}

// A save that starts while another of the same file is under way leaves that one's content alone:
// only what a killed save left is removed.
TEST(SavedFiles, ASaveUnderWayKeepsItsContentWhenAnotherStarts)
{
    kvtest::TempFolder folder;
    const std::string page = folder.Write("page", EarlierContent);
    TSafeFileWriter first(page);
    first.Stream().WriteBuffer("first", 5);
    TSafeFileWriter second(page);
    second.Stream().WriteBuffer("second", 6);
    EXPECT_NO_THROW(first.Commit());
    EXPECT_EQ(kvtest::TempFolder::Read(page), "first");
    EXPECT_NO_THROW(second.Commit());
    EXPECT_EQ(kvtest::TempFolder::Read(page), "second");
    EXPECT_EQ(StateOf(folder.Path(), page).Hidden, std::vector<std::string>());
}

namespace {

// Of two copies into the file of this inode, the first to start writes slowly, and the second
// starts once the first has written a few blocks: copied at once, the file would end with the
// second's first blocks and the first's others.
std::atomic<ino_t> gSharedInode{0};
std::atomic<int> gCopiesStarted{0};
std::atomic<int> gFirstCopyWrites{0};
thread_local int tCopy = 0;

int64_t TakeTurnsInTheSharedFile(int Handle, int64_t Count)
{
    struct stat info
    {
    };
    if (::fstat(Handle, &info) != 0 || info.st_ino != gSharedInode) {
        return Count;
    }
    if (tCopy == 0) {
        tCopy = ++gCopiesStarted;
    }
    if (tCopy == 1) {
        ++gFirstCopyWrites;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (int waited = 0; tCopy == 2 && gFirstCopyWrites < 4 && waited < 200; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Count;
}

} // namespace

// Two saves of a file written in place (it has a second name) that copy into it at the same time
// leave one of their contents whole under both names, never a mix of the two.
TEST(SavedFiles, TwoInPlaceSavesOfOneFileDoNotMix)
{
    kvtest::TempFolder folder;
    const std::string page = folder.Write("page", EarlierContent);
    const std::string other = folder.File("other");
    ASSERT_EQ(::link(page.c_str(), other.c_str()), 0);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(page.c_str(), &info), 0);
    gSharedInode = info.st_ino;
    kvcore_detail::gWriteRoomHook = TakeTurnsInTheSharedFile;
    const std::string contents[] = {std::string(1 << 20, 'a'), std::string(1 << 20, 'b')};
    constexpr int Rounds = 4;
    int mixed = 0;
    for (int round = 0; round < Rounds; ++round) {
        gCopiesStarted = 0;
        gFirstCopyWrites = 0;
        std::barrier written(2);
        const auto save = [&](const std::string& content) {
            try {
                TSafeFileWriter file(page);
                file.Stream().WriteBuffer(content.data(), int64_t(content.size()));
                written.arrive_and_wait();
                file.Commit();
            } catch (const EStreamError& error) {
                ADD_FAILURE() << error.Message();
            }
        };
        std::thread first(save, contents[0]);
        std::thread second(save, contents[1]);
        first.join();
        second.join();
        const std::string saved = kvtest::TempFolder::Read(page);
        mixed += saved != contents[0] && saved != contents[1];
        EXPECT_TRUE(kvtest::TempFolder::Read(other) == saved) << "the names differ";
    }
    kvcore_detail::gWriteRoomHook = nullptr;
    EXPECT_EQ(mixed, 0) << "rounds of " << Rounds << " that left a mix";
    EXPECT_EQ(StateOf(folder.Path(), page).Hidden, std::vector<std::string>());
}

// In a folder that all may write into, files of another user that look like what a killed save
// left, or that take the very names the next save would give its content, stay as they are; the
// save takes another name, and removes what a killed save of the user's own left under such a
// name.
TEST(SavedFiles, OtherUsersLookalikesStayAndTakeNoSave)
{
    if (::geteuid() != 0) {
        SkipBecause("only root makes files of other users");
        return;
    }
    kvtest::TempFolder folder;
    ::chmod(folder.Path().c_str(), 01777);
    const std::string page = MakePage(folder, 0644);
    // A content's name is ".<file>.saving-<k>.tmp", k from 0 up, or 16 hex digits no one foresees
    // where those are taken.
    {
        TSafeFileWriter probe(folder.File("probe"));
        ASSERT_EQ(StateOf(folder.Path(), page).Hidden,
                  std::vector<std::string>{folder.File(".probe.saving-0.tmp")});
    }
    std::vector<std::string> planted = {folder.File(".page.1-1.tmp"),
                                        folder.File(".page.saving-0123456789abcdef.tmp")};
    for (int next = 0; next < 100; ++next) {
        planted.push_back(folder.File(".page.saving-" + std::to_string(next) + ".tmp"));
    }
    for (const std::string& name : planted) {
        folder.Write(name.substr(folder.Path().size()), "planted");
        ASSERT_EQ(::chown(name.c_str(), NobodyId, NobodyId), 0);
    }
    const std::string killed = folder.Write(".page.saving-fedcba9876543210.tmp", "killed");

    EXPECT_EQ(SavePage(page, "<html>new</html>", true), 0);
    EXPECT_EQ(kvtest::TempFolder::Read(page), "<html>new</html>");
    int kept = 0;
    for (const std::string& name : planted) {
        kept += kvtest::TempFolder::Read(name) == "planted";
    }
    EXPECT_EQ(kept, int(planted.size()));
    EXPECT_FALSE(std::filesystem::exists(killed)) << "the user's own leftover stayed";
}

// A commit finds what a killed save of its file left by the names such saves take, not by reading
// the folder: the user's own leftover goes though it is read-only or in a folder the user may
// write into but not list, and a name of another form stays.
TEST(SavedFiles, ACommitRemovesTheFilesOwnLeftoversWithoutReadingTheFolder)
{
    const struct
    {
        const char* Case;
        mode_t FolderMode;
        mode_t LeftoverMode;
    } cases[] = {
        {"a read-only leftover", 0755, 0444},
        {"a folder that may not be listed", 0300, 0644},
    };
    kvtest::TempFolder folder;
    ::chmod(folder.Path().c_str(), 0755);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        const std::string room = folder.File(std::to_string(c.FolderMode) + "/");
        ASSERT_EQ(::mkdir(room.c_str(), c.FolderMode), 0);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(room.c_str(), NobodyId, NobodyId), 0);
        }
        // Saved as nobody, whom permissions bind.
        const int result = ExitCodeAsNobody([&] {
            const std::string copy = room + "copy";
            const std::string leftover = room + ".copy.saving-0.tmp";
            const std::string otherForm = room + ".copy.1-1.tmp";
            ::close(::open(otherForm.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
            // A save that dies before its commit, as a killed one.
            const pid_t killed = ::fork();
            if (killed == 0) {
                TSafeFileWriter file(copy, c.LeftoverMode);
                file.Stream().WriteBuffer("killed", 6);
                ::_exit(0);
            }
            ::waitpid(killed, nullptr, 0);
            if (::access(leftover.c_str(), F_OK) != 0) {
                return 8;
            }
            const int saved = SavePage(copy, "<html>new</html>", true);
            return (::access(leftover.c_str(), F_OK) == 0 ? 1 : 0) |
                   (::access(otherForm.c_str(), F_OK) != 0 ? 2 : 0) | (saved != 0 ? 4 : 0);
        });
        EXPECT_EQ(result, 0)
            << "1: the leftover stayed; 2: the name of another form went; 4: the save failed; "
               "8: no leftover was left";
    }
}

// A copy into a file waits for another holder of the file's lock only so long: a reader's shared
// lock, or the lock of a save stopped in its copy, makes the save fail, naming the file and saying
// that another program holds it; the file keeps its content and the save leaves nothing beside
// it. The two saves wait at once, so that the test takes the wait once.
TEST(SavedFiles, AnInPlaceSaveWaitsForAnotherHolderOfTheFileABoundedTime)
{
    kvtest::TempFolder folder;
    const struct
    {
        const char* Case;
        int Lock;
    } cases[] = {{"a reader", LOCK_SH}, {"a stopped save", LOCK_EX}};
    std::vector<std::string> pages;
    std::vector<int> holders;
    for (const auto& c : cases) {
        pages.push_back(folder.Write(c.Case, EarlierContent));
        ::link(pages.back().c_str(), folder.File(std::string(c.Case) + " too").c_str());
        holders.push_back(::open(pages.back().c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(holders.back(), c.Lock), 0);
    }
    // A save that waits with no end is let through after a while, to fail here and not hang.
    std::promise<void> saved;
    std::thread letGo([&holders, done = saved.get_future()] {
        if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
            for (const int holder : holders) {
                ::flock(holder, LOCK_UN);
            }
        }
    });
    std::vector<std::future<std::string>> messages;
    for (const std::string& page : pages) {
        messages.push_back(std::async(std::launch::async, [page] {
            try {
                TSafeFileWriter file(page);
                file.Stream().WriteBuffer("<html>new</html>", 16);
                file.Commit();
            } catch (const EStreamError& error) {
                return error.Message();
            }
            return std::string("saved");
        }));
    }
    for (size_t at = 0; at < pages.size(); ++at) {
        SCOPED_TRACE(cases[at].Case);
        EXPECT_EQ(messages[at].get(), "Cannot write file \"" + pages[at] + "\". Another program holds it.");
        EXPECT_EQ(kvtest::TempFolder::Read(pages[at]), EarlierContent);
    }
    saved.set_value();
    letGo.join();
    for (const int holder : holders) {
        ::close(holder);
    }
    EXPECT_EQ(StateOf(folder.Path(), pages[0]).Hidden, std::vector<std::string>());
}
