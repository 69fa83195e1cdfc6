// Temporary-file byte store behind file-backed bitmaps: maps, write-back, copies, 64-bit
// offsets, a full disk, and the file's life.
#include "imaging/core/file_buffer.h"
#include "imaging/io/korvaneio_globals.h"
#include "platform/core/exceptions.h"
#include "tests/core/temp_folder.h"
#include "tests/support/temp_folder.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

void FillBlock(TKVFileBuffer& buffer, int64_t offset, int64_t size, uint8_t value)
{
    uint8_t* block = buffer.Map(offset, size, kvdWrite);
    std::memset(block, value, size_t(size));
    buffer.UnMap(block);
}

std::vector<uint8_t> ReadBlock(TKVFileBuffer& buffer, int64_t offset, int64_t size)
{
    uint8_t* block = buffer.Map(offset, size, kvdRead);
    std::vector<uint8_t> bytes(block, block + size);
    buffer.UnMap(block);
    return bytes;
}

} // namespace

class FileBuffer : public TempFolderTest
{
};

TEST_F(FileBuffer, TemporaryFilesHaveNoNameNamedOnesKeepTheirsUntilReleased)
{
    {
        TKVFileBuffer buffer;
        EXPECT_FALSE(buffer.IsAllocated());
        ASSERT_TRUE(buffer.AllocateFile("", 1000));
        EXPECT_TRUE(buffer.IsAllocated());
        EXPECT_EQ(buffer.FileSize(), 1000);
        // Nothing to leave behind however the process ends.
        EXPECT_TRUE(std::filesystem::is_empty(Folder()));
        EXPECT_EQ(kvtest::UnnamedFilesOpenIn(Folder()).size(), 1u);
        EXPECT_EQ(buffer.FileName(), "");
        buffer.DeAllocate();
        EXPECT_TRUE(TemporaryFiles().empty());
        buffer.DeAllocate(); // nothing more to release
    }
    {
        TKVFileBuffer buffer;
        ASSERT_TRUE(buffer.AllocateFile("", 10));
    }
    EXPECT_TRUE(TemporaryFiles().empty()); // the destructor releases it too

    const std::string name = Folder() + "named";
    TKVFileBuffer named;
    ASSERT_TRUE(named.AllocateFile(name, 24));
    EXPECT_EQ(named.FileName(), name);
    EXPECT_EQ(std::filesystem::file_size(name), 24u);
    named.DeAllocate();
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(FileBuffer, CreatesTheFolderItIsToldToUse)
{
    Korvaneio::DefTEMPPATH = Folder() + "deeper/still";
    TKVFileBuffer buffer;
    ASSERT_TRUE(buffer.AllocateFile("", 16));
    EXPECT_TRUE(std::filesystem::is_empty(Folder() + "deeper/still"));
    EXPECT_EQ(kvtest::UnnamedFilesOpenIn(Folder() + "deeper/still").size(), 1u);
}

TEST_F(FileBuffer, WritesBackOnlyWhatWasMappedForWriting)
{
    TKVFileBuffer buffer;
    ASSERT_TRUE(buffer.AllocateFile("", 64));
    FillBlock(buffer, 0, 64, 0x11);
    uint8_t* readOnly = buffer.Map(8, 8, kvdRead);
    EXPECT_EQ(readOnly[0], 0x11);
    std::memset(readOnly, 0x22, 8);
    buffer.UnMap(readOnly); // not written back
    EXPECT_EQ(ReadBlock(buffer, 8, 1)[0], 0x11);

    // Two maps of overlapping ranges are independent; the one released last wins on disk.
    uint8_t* first = buffer.Map(0, 16, kvdReadWrite);
    uint8_t* second = buffer.Map(8, 16, kvdReadWrite);
    std::memset(first, 0x33, 16);
    std::memset(second, 0x44, 16);
    EXPECT_EQ(buffer.IndexOf(second), 1);
    buffer.UnMap(second);
    buffer.UnMap(first);
    EXPECT_EQ(ReadBlock(buffer, 0, 24),
              (std::vector<uint8_t>{0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33,
                                    0x33, 0x33, 0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}));
    EXPECT_EQ(buffer.IndexOf(first), -1);
    EXPECT_THROW(buffer.UnMap(first), EListError);
}

TEST_F(FileBuffer, ReadsZerosPastTheEndAndReachesBeyondFourGigabytes)
{
    TKVFileBuffer buffer;
    ASSERT_TRUE(buffer.AllocateFile("", 10));
    FillBlock(buffer, 0, 10, 0x5A);
    EXPECT_EQ(ReadBlock(buffer, 6, 8), (std::vector<uint8_t>{0x5A, 0x5A, 0x5A, 0x5A, 0, 0, 0, 0}));

    // Offsets past 2 and 4 GiB stay distinct (the file grows sparsely).
    const int64_t far = (int64_t(5) << 30) + 3;
    FillBlock(buffer, far, 4, 0xC3);
    FillBlock(buffer, far - (int64_t(4) << 30), 4, 0x3C);
    EXPECT_EQ(ReadBlock(buffer, far, 4), (std::vector<uint8_t>{0xC3, 0xC3, 0xC3, 0xC3}));
    EXPECT_EQ(ReadBlock(buffer, far - (int64_t(4) << 30), 4), (std::vector<uint8_t>{0x3C, 0x3C, 0x3C, 0x3C}));
    EXPECT_EQ(buffer.FileSize(), far + 4);
}

TEST_F(FileBuffer, CopiesWholeFilesAndRangesBetweenOpenFiles)
{
    TKVFileBuffer source, destination;
    ASSERT_TRUE(source.AllocateFile("", 32));
    ASSERT_TRUE(destination.AllocateFile("", 48));
    FillBlock(source, 0, 32, 0xAB);
    FillBlock(destination, 0, 48, 0x01);
    const std::string destinationName = destination.FileName();

    uint8_t* pending = source.Map(4, 4, kvdWrite); // released, with write-back, by the copy
    std::memset(pending, 0xEE, 4);
    source.CopyTo(&destination, 8, 8);
    EXPECT_EQ(ReadBlock(destination, 6, 12),
              (std::vector<uint8_t>{0x01, 0x01, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x01, 0x01}));
    EXPECT_EQ(source.IndexOf(pending), -1);

    source.CopyTo(&destination, 0, 32); // the whole source: the destination becomes its copy
    EXPECT_EQ(destination.FileName(), destinationName);
    EXPECT_EQ(destination.FileSize(), 32);
    EXPECT_EQ(ReadBlock(destination, 0, 8),
              (std::vector<uint8_t>{0xAB, 0xAB, 0xAB, 0xAB, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(FileBuffer, ReportsAFullDiskOnWriteBack)
{
    // Writes past 64 KiB fail in the child as on a full disk.
    const int result = ExitCodeOfChild([this] {
        TKVFileBuffer buffer;
        if (!buffer.AllocateFile("", 4096))
            return 2;
        LimitFileSize(65536);
        uint8_t* block = buffer.Map(65536 - 100, 200, kvdWrite);
        std::memset(block, 1, 200);
        try {
            buffer.UnMap(block);
        } catch (const EWriteError& e) {
            const bool placed = e.Message().find(Folder()) != std::string::npos;
            return placed && buffer.IndexOf(block) == -1 ? 0 : 3;
        }
        return 4;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(FileBuffer, FailsCleanlyWhenTheFileCannotBeMade)
{
    TKVFileBuffer buffer;
    EXPECT_FALSE(buffer.AllocateFile("", int64_t(1) << 60)); // more than any disk holds
    EXPECT_FALSE(buffer.IsAllocated());
    EXPECT_TRUE(std::filesystem::is_empty(Folder()));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_FALSE(buffer.AllocateFile(Folder() + "missing/folder/file", 10));
    EXPECT_EQ(buffer.Map(0, 4, kvdRead), nullptr);
}
