// Loads and saves on worker threads: requests return at once and run one at a time in order,
// WaitThreads waits for them (and can stop them), and failures stay on the worker. These tests
// also run under ThreadSanitizer.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <thread>

using namespace kviotest;

namespace {

// A large JPEG made once by a standard tool.
class IOThreads : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Folder = new kvtest::TempFolder();
        RunTool("convert -size 3000x2000 gradient:red-blue -quality 90 " + BigJpeg());
        RunTool("convert -size 40x30 gradient:green-white " + SmallJpeg());
    }
    static void TearDownTestSuite()
    {
        delete Folder;
        Folder = nullptr;
    }
    static std::string BigJpeg() { return Folder->File("big.jpg"); }
    static std::string SmallJpeg() { return Folder->File("small.jpg"); }

    static kvtest::TempFolder* Folder;
};

kvtest::TempFolder* IOThreads::Folder = nullptr;

// A gate that a worker's event handler waits at until the test opens it.
class TLatch
{
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(FLock);
        FOpen = true;
        FChanged.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FOpen; });
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FOpen = false;
};

} // namespace

TEST_F(IOThreads, LoadReturnsAtOnceAndFinishesOnAWorker)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    TEventLog events;
    events.Attach(io);
    TLatch started;
    TLatch release;
    std::atomic<bool> first{true};
    const TKVProgressEvent logProgress = io.OnProgress;
    io.OnProgress = [&](TObject* sender, int32_t per) {
        if (first.exchange(false)) {
            started.Open();
            release.Wait();
        }
        logProgress(sender, per);
    };

    io.LoadFromFileJpeg(BigJpeg());
    // The call came back while the worker still decodes.
    started.Wait();
    EXPECT_EQ(io.GetThreadsCount(), 1);
    EXPECT_EQ(io.GetAsyncRunning(), 1);
    EXPECT_EQ(events.Finishes(), 0);
    release.Open();
    io.WaitThreads(false);

    EXPECT_EQ(io.GetThreadsCount(), 0);
    EXPECT_FALSE(io.Aborting);
    ASSERT_EQ(events.Finishes(), 1);
    EXPECT_NE(events.FinishThreads()[0], GetCurrentThreadId());
    EXPECT_EQ(target.GetWidth(), 3000);
    EXPECT_EQ(target.GetHeight(), 2000);
    EXPECT_EQ(io.Params().Width, 3000);
}

// Only a bitmap that belongs to someone else is worked on in the background.
TEST_F(IOThreads, OwnBitmapIsWorkedOnByTheCaller)
{
    TKorvaneIO io(nullptr);
    io.AsyncMode = true;
    TEventLog events;
    events.Attach(io);
    io.LoadFromFile(SmallJpeg());
    EXPECT_EQ(io.GetThreadsCount(), 0);
    ASSERT_EQ(events.Finishes(), 1);
    EXPECT_EQ(events.FinishThreads()[0], GetCurrentThreadId());
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 40);
}

// One component's requests share its bitmap and parameters, so they must never overlap.
TEST_F(IOThreads, RequestsRunOneAtATimeInTheOrderAsked)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    std::mutex lock;
    std::vector<int32_t> widths;
    std::atomic<int32_t> inside{0};
    std::atomic<bool> overlapped{false};
    io.OnProgress = [&](TObject*, int32_t) {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        std::this_thread::yield();
        inside.fetch_sub(1);
    };
    io.OnFinishWork = [&](TObject*) {
        std::lock_guard<std::mutex> guard(lock);
        widths.push_back(io.Params().Width);
    };
    TMemoryStream small[3];
    for (TMemoryStream& stream : small) {
        stream.LoadFromFile(SmallJpeg());
        io.LoadFromFileJpeg(BigJpeg());
        io.LoadFromStreamJpeg(stream);
        io.LoadFromFile(GoImage("video-001.jpeg"));
    }
    io.WaitThreads(false);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(widths, (std::vector<int32_t>{3000, 40, 150, 3000, 40, 150, 3000, 40, 150}));
}

TEST_F(IOThreads, WaitThreadsWithAbortStopsTheDecoder)
{
    // The decoder's first progress report waits for the main thread, as under a user-interface
    // loop, which serves it only while waiting in WaitThreads: the stop has been asked for by
    // then, however the threads are scheduled.
    const std::function<void()> savedWake = TThread::WakeMainThread;
    TThread::WakeMainThread = [] {};
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    std::atomic<int32_t> calls{0};
    io.OnProgress = [&](TObject*, int32_t) {
        if (calls.fetch_add(1) == 0) {
            TThread::Synchronize(nullptr, [] {});
        }
    };
    io.LoadFromFileJpeg(BigJpeg());
    io.WaitThreads(true);
    TThread::WakeMainThread = savedWake;

    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.GetThreadsCount(), 0);
    // The decoder stopped at its next progress report instead of running through 2000 rows.
    EXPECT_LT(calls.load(), 10);
}

TEST_F(IOThreads, FailureOnAWorkerShowsOnlyAsAborting)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    TEventLog events;
    events.Attach(io);
    // The file cannot be opened: on the caller's thread this raises, on a worker it cannot.
    io.LoadFromFileJpeg(Folder->File("missing.jpg"));
    io.WaitThreads(false);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.GetThreadsCount(), 0);
    EXPECT_EQ(events.Finishes(), 1);
}

TEST_F(IOThreads, DestroyingTheComponentWaitsWithoutAborting)
{
    TKVBitmap target;
    std::vector<bool> aborting;
    {
        TKorvaneIO io(nullptr);
        io.SetAttachedKVBitmap(&target);
        io.AsyncMode = true;
        io.OnFinishWork = [&](TObject*) { aborting.push_back(io.Aborting); };
        io.LoadFromFileJpeg(BigJpeg());
    }
    EXPECT_EQ(aborting, std::vector<bool>{false});
    EXPECT_EQ(target.GetWidth(), 3000);
}

// A request made on one of the component's own workers runs there and then.
TEST_F(IOThreads, LoadFromAFinishHandlerRunsOnThatWorker)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    std::vector<uint32_t> threads;
    int32_t widthAfterInnerLoad = 0;
    io.OnFinishWork = [&](TObject*) {
        threads.push_back(GetCurrentThreadId());
        if (threads.size() == 1) {
            io.LoadFromFileJpeg(SmallJpeg());
            widthAfterInnerLoad = target.GetWidth();
        }
    };
    io.LoadFromFileJpeg(GoImage("video-001.jpeg"));
    io.WaitThreads(false);
    ASSERT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads[0], threads[1]);
    EXPECT_NE(threads[0], GetCurrentThreadId());
    EXPECT_EQ(widthAfterInnerLoad, 40);
}

// A worker that asks the main thread for something must not hang a main thread that waits.
TEST_F(IOThreads, WaitingMainThreadServesSynchronizeCalls)
{
    // As under a user-interface loop, Synchronize queues its call for the main thread.
    const std::function<void()> savedWake = TThread::WakeMainThread;
    TThread::WakeMainThread = [] {};
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    uint32_t servedOn = 0;
    io.OnFinishWork = [&](TObject*) {
        TThread::Synchronize(nullptr, [&] { servedOn = GetCurrentThreadId(); });
    };
    io.LoadFromFileJpeg(SmallJpeg());
    io.WaitThreads(false);
    TThread::WakeMainThread = savedWake;
    EXPECT_EQ(servedOn, GetCurrentThreadId());
}

// A GIF loader handed to a worker has no frame count yet; Params has it once the worker ended.
TEST_F(IOThreads, GifLoadOnAWorkerReturnsMinusOneAndBmpSavesThere)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    TMemoryStream stream;
    stream.LoadFromFile(GoImage("video-001.gif"));
    EXPECT_EQ(io.LoadFromStreamGif(stream), -1);
    io.SaveToFileBMP(Folder->File("from-gif.bmp"));
    EXPECT_EQ(io.LoadFromFileGif(GoImage("triangle-001.gif")), -1);
    io.WaitThreads(false);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().GIF_ImageCount, 1);
    EXPECT_EQ(io.Params().FileType, 2);

    TKorvaneIO reader(nullptr);
    reader.LoadFromFile(Folder->File("from-gif.bmp"));
    EXPECT_FALSE(reader.Aborting);
    EXPECT_EQ(reader.KVBitmap()->GetWidth(), 150);
}
