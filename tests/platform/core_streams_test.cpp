// Streams: short reads, growth, copying, file positions beyond 4 GiB and open errors.
#include "platform/core/detail/write_room.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A read-only stream over a caller's block, as the imaging library builds on the base class.
class TBlockStream : public TCustomMemoryStream
{
public:
    TBlockStream(void* Block, int64_t Size) { SetPointer(Block, Size); }
    int64_t Write(const void*, int64_t) override { return 0; }
};

TEST(MemoryStream, ReadsPastTheEndRaiseAndShortReadsCount)
{
    TMemoryStream stream;
    stream.WriteBuffer("abcdef", 6);
    stream.SetPosition(4);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(stream.Read(buffer, 8), 0);

    stream.SetPosition(4);
    EXPECT_THROW(stream.ReadBuffer(buffer, 3), EReadError);
    stream.SetPosition(-5);
    EXPECT_EQ(stream.Read(buffer, 1), 0); // a position before the start reads nothing
    stream.Seek(100, soFromBeginning);
    EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros)
{
    TMemoryStream stream;
    stream.Seek(3, soBeginning);
    stream.WriteBuffer("x", 1);
    ASSERT_EQ(stream.Size(), 4);
    EXPECT_EQ(std::memcmp(stream.Memory(), "\0\0\0x", 4), 0);
    stream.SetSize(2);
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_EQ(stream.Seek(-1, soEnd), 1);
    EXPECT_EQ(stream.Seek(1, soCurrent), 2);
}

TEST(MemoryStream, RefusesSizesBeyondTheLimitWithoutChange)
{
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    EXPECT_THROW(stream.SetSize(int64_t(1) << 62), EOutOfMemory);
    EXPECT_THROW(stream.SetSize(-1), EOutOfMemory);
    stream.Seek(INT64_MAX, soBeginning);
    EXPECT_THROW(stream.Write("x", 1), EOutOfMemory);
    EXPECT_EQ(stream.Size(), 3);
    EXPECT_EQ(std::memcmp(stream.Memory(), "abc", 3), 0);
}

TEST(MemoryStream, SeeksThatOverflowStopAtTheLimit)
{
    TMemoryStream stream;
    stream.Seek(INT64_MAX, soBeginning);
    EXPECT_EQ(stream.Seek(INT64_MAX, soCurrent), INT64_MAX);
    EXPECT_EQ(stream.Seek(INT64_MIN, soEnd), INT64_MIN);
}

TEST(Stream, CopyFromZeroCopiesAllFromTheStart)
{
    TStringStream source("0123456789");
    source.SetPosition(7);
    TMemoryStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 10);
    EXPECT_EQ(std::string(static_cast<char*>(target.Memory()), 10), "0123456789");

    source.SetPosition(8);
    EXPECT_THROW(target.CopyFrom(source, 5), EReadError);
}

TEST(CustomMemoryStream, ReadsACallersBlockWithoutWriting)
{
    char block[4] = {'w', 'x', 'y', 'z'};
    TBlockStream stream(block, 4);
    EXPECT_EQ(stream.Write("a", 1), 0);
    EXPECT_THROW(stream.WriteBuffer("a", 1), EWriteError);
    char out[4];
    stream.ReadBuffer(out, 4);
    EXPECT_EQ(std::string(out, 4), "wxyz");
}

TEST(FileStream, PositionsBeyondFourGibibytes)
{
    kvtest::TempFolder folder;
    const std::string name = folder.File("sparse.bin");
    const int64_t far = (int64_t(5) << 30) + 3; // beyond every 32-bit offset
    {
        TFileStream stream(name, fmCreate);
        EXPECT_EQ(stream.Seek(far, soBeginning), far);
        stream.WriteBuffer("K", 1);
        EXPECT_EQ(stream.Position(), far + 1);
        EXPECT_EQ(stream.Size(), far + 1);
    }
    TFileStream stream(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(stream.Size(), far + 1);
    EXPECT_EQ(stream.Seek(-1, soEnd), far);
    char c = 0;
    stream.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'K');
    EXPECT_THROW(stream.ReadBuffer(&c, 1), EReadError);
    EXPECT_EQ(stream.Write("x", 1), 0); // opened for reading only
}

TEST(FileStream, OpenFailuresNameTheFile)
{
    kvtest::TempFolder folder;
    const std::string missing = folder.File("missing.dat");
    try {
        TFileStream stream(missing, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& error) {
        EXPECT_NE(error.Message().find(missing), std::string::npos) << error.Message();
    }
    const std::string inMissingFolder = folder.File("nowhere/new.dat");
    try {
        TFileStream stream(inMissingFolder, fmCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& error) {
        EXPECT_NE(error.Message().find(inMissingFolder), std::string::npos) << error.Message();
    }
}

// A write that fails says which file and why, where the stream knows the file.
TEST(FileStream, WriteErrorsNameTheFileAndTheReason)
{
    kvtest::TempFolder folder;
    const std::string name = folder.File("data.bin");
    TFileStream named(name, fmCreate);
    THandleStream unnamed(named.Handle());
    const struct
    {
        TStream& Stream;
        std::string Message;
    } cases[] = {
        {named, "Cannot write file \"" + name + "\". No space left on device."},
        {unnamed, "Stream write error"},
    };
    kvcore_detail::gWriteRoomHook = [](int, int64_t) { return int64_t(0); };
    for (const auto& c : cases) {
        std::string message = "none";
        try {
            c.Stream.WriteBuffer("abc", 3);
        } catch (const EWriteError& error) {
            message = error.Message();
        }
        EXPECT_EQ(message, c.Message);
    }
    kvcore_detail::gWriteRoomHook = nullptr;
}

TEST(FileStream, AFolderIsNoFile)
{
    kvtest::TempFolder folder;
    EXPECT_THROW(TFileStream(folder.Path(), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(folder.Path(), fmCreate), EFCreateError);
    TMemoryStream memory;
    EXPECT_THROW(memory.LoadFromFile(folder.Path()), EFOpenError);
}

TEST(FileStream, CreateTruncatesAndReadWriteKeeps)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("data.txt", "old content");
    {
        TFileStream stream(name, fmOpenReadWrite);
        stream.WriteBuffer("NEW", 3);
    }
    EXPECT_EQ(kvtest::TempFolder::Read(name), "NEW content");
    {
        TFileStream stream(name, fmCreate | fmShareExclusive);
        EXPECT_EQ(stream.Size(), 0);
        stream.WriteBuffer("abc", 3);
        stream.SetSize(1);
    }
    EXPECT_EQ(kvtest::TempFolder::Read(name), "a");
}

TEST(MemoryStream, FilesRoundTrip)
{
    kvtest::TempFolder folder;
    TMemoryStream stream;
    stream.WriteBuffer("\x00\x01\x02", 3);
    stream.SaveToFile(folder.File("bytes.bin"));
    TMemoryStream loaded;
    loaded.LoadFromFile(folder.File("bytes.bin"));
    ASSERT_EQ(loaded.Size(), 3);
    EXPECT_EQ(loaded.Position(), 0);
    EXPECT_EQ(std::memcmp(loaded.Memory(), "\x00\x01\x02", 3), 0);
    EXPECT_THROW(loaded.LoadFromFile(folder.File("missing")), EFOpenError);
}

TEST(StringStream, ReadsAndOverwritesInPlace)
{
    TStringStream stream("hello world");
    EXPECT_EQ(stream.ReadString(5), "hello");
    stream.WriteString("_W");
    EXPECT_EQ(stream.DataString(), "hello_World");
    EXPECT_EQ(stream.ReadString(100), "orld");
}

} // namespace
