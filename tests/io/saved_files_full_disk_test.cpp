// Saves onto a full disk: the file keeps its old content, a file written in place asks room only
// for what it does not have yet and harms nothing of what another program wrote into it, and the
// failure says which file and why.
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "tests/io/io_test_support.h"
#include "tests/io/saved_files_support.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace kviotest;

namespace {

// The bytes free for a user on the disk of folder.
int64_t FreeBytes(const std::string& folder)
{
    struct statvfs disk
    {
    };
    EXPECT_EQ(::statvfs(folder.c_str(), &disk), 0);
    return int64_t(disk.f_bavail * disk.f_frsize);
}

} // namespace

// Room for the new content is taken before the first byte of a file written in place changes, and
// a reservation that fails leaves the file its size and bytes.
TEST(SavedFiles, WrittenInPlaceStayWholeOnAFullDisk)
{
    const bool root = ::geteuid() == 0;
    constexpr int64_t OldSize = 200 << 10;
    constexpr int64_t Free = 2 << 20;
    const struct
    {
        const char* Case;
        // The folder takes no new file: the content is gathered outside the disk.
        bool AsNobody;
        // The new content's size, on a disk with this much free.
        int64_t (*NewSize)(int64_t free);
    } cases[] = {
        {"more than the disk holds", false, [](int64_t free) { return free + (512 << 10); }},
        {"room for the content beside the file, not for the file to grow", false,
         [](int64_t free) { return (free + OldSize) / 2 + (256 << 10); }},
        {"a folder that takes no new file", true, [](int64_t free) { return free + (512 << 10); }},
    };
    kvtest::TempFolder folder;
    const auto onDisk = [&] {
        for (const auto& c : cases) {
            // Only root makes a file nobody's; in a user namespace its own files are root's.
            if (c.AsNobody && !root) {
                continue;
            }
            SCOPED_TRACE(c.Case);
            const std::string room = folder.File("room/");
            ASSERT_EQ(::mkdir(room.c_str(), 0755), 0);
            const std::string old(size_t(OldSize), 'o');
            const std::string page = folder.Write("room/page", old);
            const std::string other = room + "other";
            ASSERT_EQ(::link(page.c_str(), other.c_str()), 0);
            if (c.AsNobody) {
                ASSERT_EQ(::chown(page.c_str(), NobodyId, NobodyId), 0);
                ::chmod(room.c_str(), 0555);
            }
            struct statvfs disk
            {
            };
            ASSERT_EQ(::statvfs(room.c_str(), &disk), 0);
            folder.Write("filler", std::string(size_t(int64_t(disk.f_bavail * disk.f_frsize) - Free), 'f'));
            ASSERT_EQ(::statvfs(room.c_str(), &disk), 0);
            const int64_t newSize = c.NewSize(int64_t(disk.f_bavail * disk.f_frsize));
            const auto save = [&](const std::string& content) {
                const auto body = [&] { return SavePage(page, content, true); };
                return c.AsNobody ? ExitCodeAsNobody(body) : body();
            };
            const TFileState before = StateOf(room, page);

            EXPECT_EQ(save(std::string(size_t(newSize), 'n')), 1);
            const TFileState after = StateOf(room, page);
            EXPECT_EQ(after.Info.st_size, before.Info.st_size);
            EXPECT_TRUE(after.Content == old) << "the content changed";
            EXPECT_TRUE(kvtest::TempFolder::Read(other) == old) << "the other name's content changed";
            EXPECT_EQ(after.Hidden, std::vector<std::string>());

            const std::string fits(64 << 10, 'n');
            EXPECT_EQ(save(fits), 0);
            for (const std::string& name : {page, other}) {
                EXPECT_TRUE(kvtest::TempFolder::Read(name) == fits) << name << " was not saved";
            }
            ::chmod(room.c_str(), 0755);
            std::filesystem::remove_all(room);
            std::filesystem::remove(folder.File("filler"));
        }
    };
    std::string why;
    if (!kvtest::RunOnSmallDisk(folder.Path(), 8 << 20, onDisk, why)) {
        SkipBecause("no small disk can be made here: " + why);
    }
}
// XFS asks room for the whole of a range that is reserved, blocks the file has already among it: a
// save in place of no greater size than the file fits on a disk that holds its content once more.
TEST(SavedFiles, WrittenInPlaceNeedNoRoomForWhatTheyHave)
{
    if (::geteuid() != 0) {
        SkipBecause("only root mounts a disk image");
        return;
    }
    constexpr int64_t OldSize = 16 << 20;
    for (const int64_t newSize : {OldSize, OldSize / 2}) {
        SCOPED_TRACE(newSize);
        // A disk of its own each: XFS frees the blocks of a removed file only some time later.
        kvtest::TempFolder folder;
        kvtest::TSmallDisk disk(folder.Path(), 300 << 20, kvtest::TSmallDisk::Xfs);
        ASSERT_TRUE(disk.Mounted) << disk.Why;
        const std::string page = folder.Write("page", std::string(size_t(OldSize), 'o'));
        const std::string other = folder.File("other");
        ASSERT_EQ(::link(page.c_str(), other.c_str()), 0);
        const int filler = ::open(folder.File("filler").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::fallocate(filler, 0, 0, FreeBytes(folder.Path()) - newSize * 3 / 2), 0);
        ::close(filler);

        const std::string content(size_t(newSize), 'n');
        try {
            TSafeFileWriter file(page);
            file.Stream().WriteBuffer(content.data(), newSize);
            file.Commit();
        } catch (const EStreamError& error) {
            ADD_FAILURE() << error.Message();
        }
        for (const std::string& name : {page, other}) {
            EXPECT_TRUE(kvtest::TempFolder::Read(name) == content) << name << " was not saved";
        }
    }
}

// A save that finds the disk full names the file and the reason, whether the writer's stream or a
// memory stream's SaveToFile meets it, and the file keeps its content.
TEST(SavedFiles, AFullDiskIsToldWithTheFileAndTheReason)
{
    const struct
    {
        const char* Case;
        void (*Save)(const std::string& fileName, const std::string& content);
    } cases[] = {
        {"the writer's stream",
         [](const std::string& fileName, const std::string& content) {
             TSafeFileWriter file(fileName);
             file.Stream().WriteBuffer(content.data(), int64_t(content.size()));
             file.Commit();
         }},
        {"a memory stream's SaveToFile",
         [](const std::string& fileName, const std::string& content) {
             TMemoryStream stream;
             stream.WriteBuffer(content.data(), int64_t(content.size()));
             stream.SaveToFile(fileName);
         }},
    };
    kvtest::TempFolder folder;
    const auto onDisk = [&] {
        const std::string page = folder.Write("page", EarlierContent);
        const std::string content(size_t(FreeBytes(folder.Path()) + (1 << 20)), 'n');
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Case);
            std::string message = "none";
            try {
                c.Save(page, content);
            } catch (const EStreamError& error) {
                message = error.Message();
            }
            EXPECT_EQ(message, "Cannot write file \"" + page + "\". No space left on device.");
            EXPECT_TRUE(kvtest::TempFolder::Read(page) == EarlierContent) << "the content changed";
            EXPECT_EQ(StateOf(folder.Path(), page).Hidden, std::vector<std::string>());
        }
    };
    std::string why;
    if (!kvtest::RunOnSmallDisk(folder.Path(), 4 << 20, onDisk, why)) {
        SkipBecause("no small disk can be made here: " + why);
    }
}

// The holes of a file written in place take their room too before its first byte changes: on a
// full disk the file keeps its bytes and size, whether its holes or its growth find no room, and
// a save with room fills them.
TEST(SavedFiles, SparseFilesWrittenInPlaceStayAsTheyWereOnAFullDisk)
{
    const struct
    {
        const char* Case;
        int64_t Size;
        int64_t NewSize;
        // Free beside the new content.
        int64_t Spare;
    } cases[] = {
        {"no room for the holes", (3 << 20) + 1000, (3 << 20) + 1000, 512 << 10},
        {"room for the holes, not for the growth", (1 << 20) + 1000, 3 << 20, 3 << 19},
    };
    const auto onDisk = [&](const std::string& disk) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Case);
            const std::string folder = disk + "room/";
            ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
            // Data at the start, in the middle and near the end, which is in a hole within a block.
            const std::string page = folder + "page";
            const int handle = ::open(page.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            const std::string block(4096, 'o');
            for (const int64_t at : {int64_t(0), c.Size / 2, c.Size - (64 << 10)}) {
                ASSERT_EQ(::pwrite(handle, block.data(), block.size(), at), ssize_t(block.size()));
            }
            ASSERT_EQ(::ftruncate(handle, c.Size), 0);
            ::close(handle);
            ASSERT_EQ(::link(page.c_str(), (folder + "other").c_str()), 0);
            const int filler = ::open((folder + "filler").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_EQ(::fallocate(filler, 0, 0, FreeBytes(folder) - c.NewSize - c.Spare), 0);
            ::close(filler);
            const TFileState before = StateOf(folder, page);

            const std::string fresh(size_t(c.NewSize), 'n');
            EXPECT_EQ(SavePage(page, fresh, true), 1);
            const TFileState after = StateOf(folder, page);
            EXPECT_TRUE(after.Content == before.Content) << "the content changed";
            EXPECT_EQ(after.Info.st_size, before.Info.st_size);
            EXPECT_EQ(after.Hidden, std::vector<std::string>());

            ASSERT_EQ(::unlink((folder + "filler").c_str()), 0);
            EXPECT_EQ(SavePage(page, fresh, true), 0);
            EXPECT_TRUE(kvtest::TempFolder::Read(folder + "other") == fresh) << "the save with room failed";
            std::filesystem::remove_all(folder);
        }
    };
    if (::geteuid() != 0) {
        kvtest::TempFolder folder;
        std::string why;
        if (!kvtest::RunOnSmallDisk(
                folder.Path(), 8 << 20, [&] { onDisk(folder.Path()); }, why)) {
            SkipBecause("no small disk can be made here: " + why);
        }
        return;
    }
    for (const auto kind : {kvtest::TSmallDisk::Tmpfs, kvtest::TSmallDisk::Ext4}) {
        SCOPED_TRACE(kind == kvtest::TSmallDisk::Tmpfs ? "tmpfs" : "ext4");
        kvtest::TempFolder folder;
        kvtest::TSmallDisk disk(folder.Path(), 8 << 20, kind);
        ASSERT_TRUE(disk.Mounted) << disk.Why;
        onDisk(folder.Path());
    }
}

namespace {

// Runs Save in a child process traced from here: when a fallocate call of the child fails for
// room, Meanwhile runs here while the child stands still, as another program writing into the
// file without its lock may at that very moment. The child's exit code; -1 when no call failed so.
int SaveWhileAnotherWrites(const std::function<int()>& Save, const std::function<void()>& Meanwhile)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0) {
            ::raise(SIGSTOP);
            ::_exit(Save());
        }
        ::_exit(255);
    }
    int status = 0;
    const long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFSTOPPED(status) ||
        ::ptrace(PTRACE_SETOPTIONS, child, nullptr, reinterpret_cast<void*>(options)) != 0) {
        return -1;
    }
    bool met = false;
    bool fallocating = false;
    long signal = 0;
    while (::ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void*>(signal)) == 0 &&
           ::waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
        signal = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
        __ptrace_syscall_info call{};
        if (signal != 0 || ::ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof call, &call) <= 0) {
            continue;
        }
        if (call.op == PTRACE_SYSCALL_INFO_ENTRY) {
            fallocating = call.entry.nr == SYS_fallocate;
        } else if (fallocating && call.exit.rval == -ENOSPC) {
            Meanwhile();
            met = true;
            ::ptrace(PTRACE_DETACH, child, nullptr, nullptr);
            ::waitpid(child, &status, 0);
            break;
        }
    }
    return met && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// A save in place that fails for room punches no hole and cuts nothing: what another program
// wrote into the file meanwhile, into its holes and past its end, reads back as written, and the
// file keeps the size that program gave it. The room the save took stays with the file, reading
// as the holes did, and so does the room the file had reserved past its end.
TEST(SavedFiles, AFailedInPlaceSaveKeepsWhatAnotherWroteAndWhatWasReserved)
{
    if (::geteuid() != 0) {
        SkipBecause("only root mounts a disk image");
        return;
    }
    constexpr int64_t Block = 4096;
    constexpr int64_t OldSize = 1 << 20;
    constexpr int64_t ReservedPastEnd = 256 << 10;
    constexpr int64_t NewSize = 3 << 20;
    // Into a hole, and past the end within what the file had reserved: neither needs new room.
    constexpr int64_t Written[] = {OldSize / 4, OldSize + ReservedPastEnd / 2};
    const std::string block(size_t(Block), 'w');
    for (const auto kind : {kvtest::TSmallDisk::Tmpfs, kvtest::TSmallDisk::Ext4, kvtest::TSmallDisk::Xfs}) {
        SCOPED_TRACE(kind == kvtest::TSmallDisk::Tmpfs  ? "tmpfs"
                     : kind == kvtest::TSmallDisk::Ext4 ? "ext4"
                                                        : "XFS");
        kvtest::TempFolder folder;
        // XFS is made no smaller.
        kvtest::TSmallDisk disk(folder.Path(), kind == kvtest::TSmallDisk::Xfs ? 300 << 20 : 8 << 20, kind);
        ASSERT_TRUE(disk.Mounted) << disk.Why;
        // Data at the start and in the middle, holes around it.
        const std::string page = folder.File("page");
        std::string expected(size_t(OldSize), '\0');
        const int handle = ::open(page.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        for (const int64_t at : {int64_t(0), OldSize / 2}) {
            ASSERT_EQ(::pwrite(handle, std::string(size_t(Block), 'o').data(), Block, at), Block);
            expected.replace(size_t(at), size_t(Block), size_t(Block), 'o');
        }
        ASSERT_EQ(::ftruncate(handle, OldSize), 0);
        ASSERT_EQ(::fallocate(handle, FALLOC_FL_KEEP_SIZE, OldSize, ReservedPastEnd), 0);
        ::close(handle);
        ASSERT_EQ(::link(page.c_str(), folder.File("other").c_str()), 0);
        // Room for the content beside the file and for its holes, not for it to grow.
        const int filler = ::open(folder.File("filler").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::fallocate(filler, 0, 0, FreeBytes(folder.Path()) - NewSize - OldSize - (512 << 10)), 0);
        ::close(filler);
        const TFileState before = StateOf(folder.Path(), page);

        const auto save = [&] { return SavePage(page, std::string(size_t(NewSize), 'n'), true); };
        const auto writeWithoutTheLock = [&] {
            const int other = ::open(page.c_str(), O_WRONLY | O_CLOEXEC);
            for (const int64_t at : Written) {
                EXPECT_EQ(::pwrite(other, block.data(), Block, at), Block);
            }
            ::close(other);
        };
        EXPECT_EQ(SaveWhileAnotherWrites(save, writeWithoutTheLock), 1) << "-1: the save met no full disk";
        const TFileState after = StateOf(folder.Path(), page);
        expected.resize(size_t(Written[1] + Block));
        for (const int64_t at : Written) {
            expected.replace(size_t(at), size_t(Block), block);
        }
        EXPECT_EQ(after.Info.st_size, Written[1] + Block) << "the file was cut";
        EXPECT_TRUE(after.Content == expected) << "what the other program wrote was lost";
        EXPECT_GE(after.Info.st_blocks, before.Info.st_blocks + (OldSize - 2 * Block) / 512)
            << "the room reserved before the save, or by it, went back";
        EXPECT_EQ(after.Hidden, std::vector<std::string>());
    }
}

// A file size limit that the new content passes fails a save in place before the file's first
// byte changes, as a full disk does, and says so.
TEST(SavedFiles, WrittenInPlaceStayWholeUnderAFileSizeLimit)
{
    kvtest::TempFolder folder;
    const std::string page = folder.Write("page", EarlierContent);
    ASSERT_EQ(::link(page.c_str(), folder.File("other").c_str()), 0);
    const int code = ExitCodeWithFilesLimitedTo(RLIM_INFINITY, [&] {
        TSafeFileWriter file(page);
        const std::string content(1 << 20, 'n');
        file.Stream().WriteBuffer(content.data(), int64_t(content.size()));
        // Set once the content is beside the file, which the limit would stop first.
        const rlimit bound{1 << 19, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &bound);
        try {
            file.Commit();
        } catch (const EStreamError& error) {
            return error.Message() == "Cannot write file \"" + page + "\". File too large." ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(code, 0) << "1: saved; 2: another message";
    EXPECT_TRUE(kvtest::TempFolder::Read(page) == EarlierContent) << "the content changed";
    EXPECT_EQ(StateOf(folder.Path(), page).Hidden, std::vector<std::string>());
}
