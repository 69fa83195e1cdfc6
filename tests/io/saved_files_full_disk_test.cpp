// Saves onto a full disk: the file keeps its old content, a file written in place asks room only
// for what it does not have yet, and the failure says which file and why.
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "tests/io/io_test_support.h"
#include "tests/io/saved_files_support.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
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
// a reservation that fails gives back what it took: the file keeps its size, bytes and blocks.
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
            // The blocks it took went back; ext4 may keep a block of the file's extent index.
            EXPECT_LE(after.Info.st_blocks, before.Info.st_blocks + blkcnt_t(disk.f_frsize / 512));
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

namespace {

// Where a file holds data, as (start, end) pairs; the rest are holes.
std::vector<std::pair<int64_t, int64_t>> DataOf(const std::string& fileName)
{
    std::vector<std::pair<int64_t, int64_t>> data;
    const int handle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    for (off_t start = 0; (start = ::lseek(handle, start, SEEK_DATA)) >= 0;) {
        const off_t end = ::lseek(handle, start, SEEK_HOLE);
        data.emplace_back(start, end);
        start = end;
    }
    ::close(handle);
    return data;
}

} // namespace

// The holes of a file written in place take their room too before its first byte changes: on a
// full disk the file stays as it was, holes and size, whether its holes or its growth find no
// room, and a save with room fills them.
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
            const auto data = DataOf(page);

            const std::string fresh(size_t(c.NewSize), 'n');
            EXPECT_EQ(SavePage(page, fresh, true), 1);
            const TFileState after = StateOf(folder, page);
            EXPECT_TRUE(after.Content == before.Content) << "the content changed";
            EXPECT_EQ(after.Info.st_size, before.Info.st_size);
            EXPECT_EQ(DataOf(page), data);
            // ext4 may keep a block of the file's extent index.
            EXPECT_LE(after.Info.st_blocks, before.Info.st_blocks + 8);
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
