// Saves that meet others: what a killed save left beside a file stays until a save commits, two
// saves of one file at once leave one content whole, and in a folder that all may write into the
// files of other users that look like a save's own stay and take no name from it.
#include "platform/core/detail/safe_file_writer.h"
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
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
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
// that name, and the next save that commits removes it.
TEST(SavedFiles, AKilledInPlaceSaveLeavesAWholeContentUntilASaveCommits)
{
    kvtest::TempFolder folder;
    const std::string old(1 << 20, 'o');
    const std::string page = folder.Write("page", old);
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

namespace {

std::string gLastContentName;

bool NoteContentName(const std::string& name)
{
    gLastContentName = name;
    return true;
}

} // namespace

// In a folder that all may write into, files of another user that look like what a killed save
// left, or that take the very names the next save would give its content, stay as they are; the
// save takes other names.
TEST(SavedFiles, OtherUsersLookalikesStayAndTakeNoSave)
{
    if (::geteuid() != 0) {
        SkipBecause("only root makes files of other users");
        return;
    }
    kvtest::TempFolder folder;
    ::chmod(folder.Path().c_str(), 01777);
    const std::string page = MakePage(folder, 0644);
    // A content's name is ".<file>.<process>-<count>.tmp", the count going up by one a save.
    kvcore_detail::gBeforeRenameHook = NoteContentName;
    EXPECT_EQ(SavePage(folder.File("probe"), "probe", true), 0);
    kvcore_detail::gBeforeRenameHook = nullptr;
    const std::string numbers = gLastContentName.substr(gLastContentName.rfind(".probe.") + 7);
    const std::string process = numbers.substr(0, numbers.find('-'));
    const unsigned long count = std::stoul(numbers.substr(numbers.find('-') + 1));
    std::vector<std::string> planted = {folder.File(".page.1-1.tmp")};
    for (unsigned long next = count + 1; next <= count + 100; ++next) {
        planted.push_back(folder.File(".page." + process + "-" + std::to_string(next) + ".tmp"));
    }
    for (const std::string& name : planted) {
        folder.Write(name.substr(folder.Path().size()), "planted");
        ASSERT_EQ(::chown(name.c_str(), NobodyId, NobodyId), 0);
    }

    EXPECT_EQ(SavePage(page, "<html>new</html>", true), 0);
    EXPECT_EQ(kvtest::TempFolder::Read(page), "<html>new</html>");
    int kept = 0;
    for (const std::string& name : planted) {
        kept += kvtest::TempFolder::Read(name) == "planted";
    }
    EXPECT_EQ(kept, int(planted.size()));
}
