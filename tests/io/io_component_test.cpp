// The frame of the I/O component: its targets, the load and save sequence with its events and
// abort flag, and what becomes of the working bitmap around a save.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/lists.h"
#include "platform/core/streams.h"
#include "platform/graphics/bitmap.h"
#include "tests/io/io_test_support.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kviotest;

namespace {

std::string JpegSample()
{
    return GoImage("video-001.jpeg");
}

} // namespace

TEST(IOComponent, StartsWithAnEmptyBitmapOfItsOwn)
{
    TKorvaneIO io(nullptr);
    EXPECT_FALSE(io.Aborting);
    EXPECT_FALSE(io.StreamHeaders);
    EXPECT_TRUE(io.SimplifiedParamsDialogs);
    EXPECT_EQ(io.DefaultDitherMethod(), kvThreshold);
    ASSERT_NE(io.KVBitmap(), nullptr);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 0);
    EXPECT_EQ(io.KVBitmap()->DitherMethod, kvThreshold);
    EXPECT_EQ(io.GetBitmap(), nullptr);
    EXPECT_EQ(io.AttachedKorvane(), nullptr);
    EXPECT_EQ(io.Params().Owner, &io);
}

TEST(IOComponent, LoadsIntoAnAttachedBitmapAndEndsWithTheFinishEvent)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    EXPECT_EQ(io.KVBitmap(), &target);
    TEventLog events;
    events.Attach(io);

    io.LoadFromFile(JpegSample());

    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(target.GetWidth(), 150);
    EXPECT_EQ(target.GetHeight(), 103);
    EXPECT_EQ(io.Params().Width, 150);
    EXPECT_EQ(io.Params().Height, 103);
    EXPECT_EQ(io.Params().FileType, 3);
    EXPECT_EQ(io.Params().FileName, JpegSample());
    EXPECT_EQ(events.Finishes(), 1);
    EXPECT_EQ(events.LastProgress(), 100);
}

// A working bitmap is needed for every operation; without one, each fails and says so.
TEST(IOComponent, EveryOperationWithoutWorkingBitmapAborts)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(nullptr);
    ASSERT_EQ(io.KVBitmap(), nullptr);
    TEventLog events;
    events.Attach(io);
    TMemoryStream jpeg;
    jpeg.LoadFromFile(JpegSample());

    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"LoadFromFileJpeg", [&] { io.LoadFromFileJpeg(JpegSample()); }},
        {"LoadFromStreamJpeg", [&] { io.LoadFromStreamJpeg(jpeg); }},
        {"LoadFromFile", [&] { io.LoadFromFile(JpegSample()); }},
        {"LoadFromStream", [&] { io.LoadFromStream(jpeg); }},
        {"LoadFromFilePNG", [&] { io.LoadFromFilePNG(GoImage("video-001.png")); }},
        {"LoadFromStreamPNG", [&] { io.LoadFromStreamPNG(jpeg); }},
        {"SaveToFileJpeg", [&] { io.SaveToFileJpeg(folder.File("a.jpg")); }},
        {"SaveToStreamJpeg", [&] { io.SaveToStreamJpeg(jpeg); }},
        {"SaveToFilePNG", [&] { io.SaveToFilePNG(folder.File("a.png")); }},
        {"SaveToStream", [&] { io.SaveToStream(jpeg, 8); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        events.Clear();
        io.Aborting = false;
        jpeg.SetPosition(0);
        operation();
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);
    }
    EXPECT_FALSE(FileExists(folder.File("a.jpg")));
    EXPECT_FALSE(FileExists(folder.File("a.png")));
    EXPECT_EQ(jpeg.Size(), int64_t(FileBytes(JpegSample()).size()));
}

TEST(IOComponent, MissingFileRaisesAfterTheFinishEventWithAbortingSet)
{
    TKorvaneIO io(nullptr);
    TEventLog events;
    events.Attach(io);
    EXPECT_THROW(io.LoadFromFileJpeg("/nonexistent/a.jpg"), EFOpenError);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    FillPattern(*io.KVBitmap(), 4, 4);
    EXPECT_THROW(io.SaveToFileJpeg("/nonexistent/a.jpg"), EFCreateError);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 2);
}

// Saving converts the working bitmap itself; formats beyond 8 bits per channel lose their extra
// precision there.
TEST(IOComponent, SavingLeavesTheWorkingBitmapIn24BitUnlessBlackAndWhite)
{
    const struct
    {
        TKVPixelFormat before;
        TKVPixelFormat after;
    } cases[] = {{kv8g, kv24RGB},  {kv8p, kv24RGB},    {kv16g, kv24RGB},
                 {kv32f, kv24RGB}, {kv24RGB, kv24RGB}, {kv1g, kv1g}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.before));
        TKorvaneIO io(nullptr);
        io.KVBitmap()->Allocate(16, 8, c.before);
        io.KVBitmap()->Fill(0);
        TMemoryStream stream;
        io.SaveToStreamJpeg(stream);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.KVBitmap()->GetPixelFormat(), c.after);
        EXPECT_GT(stream.Size(), 0);
    }
}

// The wrapped class-library bitmap may be resized by its owner between operations.
TEST(IOComponent, FollowsTheSizeOfAnAttachedClassLibraryBitmap)
{
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(10, 10);
    TKorvaneIO io(nullptr);
    io.SetAttachedBitmap(&picture);
    EXPECT_EQ(io.AttachedBitmap(), &picture);
    picture.SetSize(20, 15);
    TMemoryStream stream;
    io.SaveToStreamPNG(stream);
    ASSERT_FALSE(io.Aborting);

    picture.SetModified(false);
    stream.SetPosition(0);
    io.LoadFromStreamPNG(stream);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(picture.Width(), 20);
    EXPECT_EQ(picture.Height(), 15);
    EXPECT_TRUE(picture.Modified());
}

// Wrapping a class-library bitmap must not throw away the pixels of a TKVBitmap that the caller
// attached before.
TEST(IOComponent, AttachingAClassLibraryBitmapLeavesTheCallersBitmapAlone)
{
    TKVBitmap callers;
    FillPattern(callers, 9, 4);
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&callers);
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(3, 3);
    io.SetAttachedBitmap(&picture);
    EXPECT_NE(io.KVBitmap(), &callers);
    EXPECT_EQ(callers.GetWidth(), 9);
    EXPECT_EQ(callers.GetHeight(), 4);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 3);
}

TEST(IOComponent, CopiesTheParametersOfAnotherComponent)
{
    TKorvaneIO source(nullptr);
    source.Params().JPEG_Quality = 33;
    TKorvaneIO io(nullptr);
    io.AssignParams(&source);
    EXPECT_EQ(io.Params().JPEG_Quality, 33);
    TStringList notParams;
    io.AssignParams(&notParams);
    EXPECT_EQ(io.Params().JPEG_Quality, 33);
}

namespace {

// The bytes the process gives to write calls while call runs, as the kernel counts them: what a
// bitmap kept in a temporary file writes there. Its blocks would not tell, being reserved whole
// when the file is made. A count that cannot be read fails the test.
int64_t BytesWrittenBy(const std::function<void()>& call)
{
    const auto written = [] {
        std::ifstream counts("/proc/self/io");
        std::string name;
        int64_t value = 0;
        while (counts >> name >> value) {
            if (name == "wchar:") {
                return value;
            }
        }
        return int64_t(-1);
    };
    const int64_t before = written();
    call();
    const int64_t after = written();
    if (before < 0 || after < 0) {
        ADD_FAILURE() << "/proc/self/io gives no count of the bytes written";
    }
    return after - before;
}

} // namespace

// A cut file's transparency becomes the alpha channel as the codec left it: the rows past the cut
// are transparent and cost neither memory nor, in a temporary file, writes, where a channel made
// opaque first and copied over took the whole declared size twice.
TEST(IOComponent, ACutFilesAlphaChannelTakesMemoryByItsData)
{
    for (const char* name :
         {"rgba-one-row-of-16384-by-16384.png", "palette-trns-one-row-of-16384-by-16384.png"}) {
        SCOPED_TRACE(name);
        TKorvaneIO io(nullptr);
        int64_t written = 0;
        const int64_t residentKb = kvtest::ResidentGrowthOf([&] {
            written =
                BytesWrittenBy([&] { io.LoadFromFile(std::string(KV_TEST_DATA_DIR) + "/fuzz/png/" + name); });
        });
        // The rows nothing reached are read once, to find them empty: free only where such reads map
        // the kernel's zero page.
        if (kvtest::ReadsOfUnwrittenMemoryAreFree()) {
            EXPECT_LT(residentKb, 32 * 1024);
        }
        EXPECT_LT(written, 32 * 1024 * 1024);
        EXPECT_TRUE(io.Aborting);
        TKVBitmap* alpha = io.KVBitmap()->GetAlphaChannel();
        ASSERT_EQ(alpha->GetHeight(), 16384);
        EXPECT_EQ(alpha->GetPixels_kv8(16383, 16383), 0);
    }
}

// A failed save leaves no partial file, and an earlier file as it was.
TEST(IOComponent, FailedSaveKeepsTheEarlierFile)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("picture.jpg", "earlier content");
    ::chmod(name.c_str(), 0640);
    const std::vector<std::pair<const char*, std::function<void(TKorvaneIO&)>>> failures = {
        {"empty picture", [&](TKorvaneIO& io) { io.SaveToFileJpeg(name); }},
        {"GIF without its LZW coder",
         [&](TKorvaneIO& io) {
             FillPattern(*io.KVBitmap(), 8, 8);
             io.SaveToFileGif(name);
         }},
    };
    for (const auto& [cause, save] : failures) {
        SCOPED_TRACE(cause);
        TKorvaneIO io(nullptr);
        save(io);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(FileBytes(name), "earlier content");
        EXPECT_EQ(RunTool("ls -A " + folder.Path()), "picture.jpg\n");
    }

    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 8, 8);
    io.SaveToFileJpeg(name);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(FileBytes(name).substr(0, 3), "\xff\xd8\xff");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(RunTool("ls -A " + folder.Path()), "picture.jpg\n");

    // Saving through a symbolic link writes the file it names and keeps the link.
    ASSERT_EQ(::symlink(name.c_str(), folder.File("link.jpg").c_str()), 0);
    const std::string before = FileBytes(name);
    FillPattern(*io.KVBitmap(), 9, 9, 5);
    io.SaveToFileJpeg(folder.File("link.jpg"));
    EXPECT_FALSE(io.Aborting);
    struct stat link
    {
    };
    ASSERT_EQ(::lstat(folder.File("link.jpg").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_NE(FileBytes(name), before);
}

// A save to a pipe (or a device) writes into it: a file renamed over it would take its place.
TEST(IOComponent, SaveToAPipeWritesIntoIt)
{
    kvtest::TempFolder folder;
    const std::string pipe = folder.File("pipe.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // The reader is open before the save, so that opening the pipe for writing does not wait; a
    // small picture fits the pipe's buffer.
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 8, 8);
    io.SaveToFileJpeg(pipe);
    EXPECT_FALSE(io.Aborting);
    char head[3] = {};
    EXPECT_EQ(::read(reader, head, sizeof head), 3);
    ::close(reader);
    EXPECT_EQ(std::string(head, 3), "\xff\xd8\xff");
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(RunTool("ls -A " + folder.Path()), "pipe.jpg\n");
}
