// The device's reader threads: this process's threads and their states as the system sees them,
// which threads may be stopped, and a scan read and stopped only where the test device's reader
// may be stopped, so that the device never stops it in the middle of the allocator or the C library.
#include "imaging/io/detail/sane_scanner.h"
#include "tests/io/io_test_support.h"
#include "tests/io/scan_test_support.h"
#include "tests/support/one_processor.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sched.h>
#include <thread>
#include <unistd.h>

using namespace Korvaneio::detail;

namespace {

// A thread whose system number is known once it runs.
class TNamedThread
{
public:
    explicit TNamedThread(std::function<void()> body)
        : FThread([this, body = std::move(body)] {
              FId = int32_t(gettid());
              body();
          })
    {
        while (FId.load() == 0) {
            std::this_thread::yield();
        }
    }
    ~TNamedThread() { Join(); }
    void Join()
    {
        if (FThread.joinable()) {
            FThread.join();
        }
    }
    int32_t Id() const { return FId.load(); }

private:
    std::atomic<int32_t> FId{0};
    std::thread FThread;
};

// Waits until the condition holds, two minutes at most: a thread reaches what these tests wait for
// in milliseconds at rest, and in seconds with a sanitizer on a busy machine; only a hang takes
// two minutes.
bool Eventually(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Reaches(int32_t thread, char state)
{
    return Eventually([&] { return ThreadState(thread) == state; });
}

bool Settles(int32_t thread)
{
    return Eventually([&] { return SafeToStop(thread); });
}

// Counts the broken pipes written into while it lives.
class TBrokenPipes
{
public:
    TBrokenPipes()
    {
        gCount = 0;
        struct sigaction counting
        {
        };
        counting.sa_handler = [](int) { ++gCount; };
        sigemptyset(&counting.sa_mask);
        sigaction(SIGPIPE, &counting, &FBefore);
    }
    ~TBrokenPipes() { sigaction(SIGPIPE, &FBefore, nullptr); }
    int32_t Count() const { return gCount.load(); }

private:
    static inline std::atomic<int32_t> gCount{0};
    struct sigaction FBefore
    {
    };
};

// The handle the next file or folder opened takes.
int LowestFreeHandle()
{
    const int handle = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(handle);
    return handle;
}

// This test program, by its file.
// The name this program was started by, made whole before any test changes the folder. The link
// /proc/self/exe will not do: in a changed root (CI's) it may name the program as seen from outside.
const std::string gThisProgram = [] {
    char* whole = realpath(program_invocation_name, nullptr);
    const std::string name = whole != nullptr ? whole : program_invocation_name;
    std::free(whole);
    return name;
}();

} // namespace

TEST(ScanReaders, ThreadsAndTheirStatesAreThoseOfThisProcess)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<bool> spin{true};
    TNamedThread blocked([&] {
        char byte = 0;
        EXPECT_EQ(read(fds[0], &byte, 1), 1);
    });
    TNamedThread running([&] {
        while (spin.load()) {
        }
    });
    TNamedThread ended([] {});
    ended.Join();
    // The system drops a joined thread from its list a moment after the join returns.
    ASSERT_TRUE(Reaches(ended.Id(), 0));

    const std::vector<int32_t> threads = ProcessThreads();
    auto listed = [&](int32_t id) { return std::find(threads.begin(), threads.end(), id) != threads.end(); };
    EXPECT_TRUE(std::is_sorted(threads.begin(), threads.end()));
    EXPECT_TRUE(listed(int32_t(gettid())));
    EXPECT_TRUE(listed(blocked.Id()));
    EXPECT_TRUE(listed(running.Id()));
    EXPECT_FALSE(listed(ended.Id()));

    EXPECT_TRUE(Reaches(blocked.Id(), 'S'));
    EXPECT_EQ(ThreadState(int32_t(gettid())), 'R');
    EXPECT_EQ(ThreadState(0), 0);
    EXPECT_EQ(ThreadState(-1), 0);

    spin = false;
    running.Join();
    EXPECT_EQ(write(fds[1], "x", 1), 1);
    blocked.Join();
    EXPECT_TRUE(Reaches(blocked.Id(), 0));
    close(fds[0]);
    close(fds[1]);
}

TEST(ScanReaders, OnlyAnEndedThreadOrOneBlockedInAWriteMayBeStopped)
{
    int full[2];
    int empty[2];
    ASSERT_EQ(pipe(full), 0);
    ASSERT_EQ(pipe(empty), 0);
    const std::vector<uint8_t> page(1 << 20, 7);
    // A stop and continue of the process (a loaded machine's) ends a write into a pipe early.
    TNamedThread writer([&] {
        for (size_t put = 0; put < page.size();) {
            const ssize_t length = write(full[1], page.data() + put, page.size() - put);
            ASSERT_GT(length, 0);
            put += size_t(length);
        }
    });
    TNamedThread reader([&] {
        char byte = 0;
        EXPECT_EQ(read(empty[0], &byte, 1), 1);
    });
    std::mutex held;
    held.lock();
    TNamedThread locker([&] { std::lock_guard<std::mutex> lock(held); });
    std::atomic<bool> spin{true};
    TNamedThread running([&] {
        while (spin.load()) {
        }
    });
    TNamedThread ended([] {});
    ended.Join();

    EXPECT_TRUE(Settles(writer.Id())) << "blocked writing into a full pipe";
    EXPECT_TRUE(Settles(ended.Id())) << "ended";
    for (const TNamedThread* blocked : {&reader, &locker}) {
        ASSERT_TRUE(Reaches(blocked->Id(), 'S'));
        EXPECT_FALSE(SafeToStop(blocked->Id())) << "blocked reading, or waiting for a lock";
    }
    EXPECT_FALSE(SafeToStop(running.Id())) << "running";

    spin = false;
    held.unlock();
    EXPECT_EQ(write(empty[1], "x", 1), 1);
    std::vector<uint8_t> drained(page.size());
    for (size_t got = 0; got < page.size();) {
        const ssize_t length = read(full[0], drained.data() + got, page.size() - got);
        ASSERT_GT(length, 0);
        got += size_t(length);
    }
    for (TNamedThread* thread : {&writer, &reader, &locker, &running}) {
        thread->Join();
    }
    for (int file : {full[0], full[1], empty[0], empty[1]}) {
        close(file);
    }
}

TEST(ScanReaders, AFrameIsReadWholeWhileItsReaderWaitsInItsWriteOrHasEnded)
{
    kviotest::TTestScanners scanners;
    ASSERT_TRUE(SaneAcquire());
    {
        TSaneDevice device;
        ASSERT_EQ(device.Open("test:0"), SANE_STATUS_GOOD);
        EXPECT_TRUE(device.Readers().empty()); // none before a scan
        ASSERT_EQ(device.SetNumber(device.ResolutionOption(false), 300), SANE_STATUS_GOOD);
        ASSERT_EQ(device.Start(), SANE_STATUS_GOOD);
        SANE_Parameters parameters{};
        ASSERT_EQ(device.Parameters(parameters), SANE_STATUS_GOOD);
        const int64_t frameBytes = int64_t(parameters.bytes_per_line) * parameters.lines;
        // More than a pipe holds: the reader fills its pipe and waits in its write.
        ASSERT_GT(frameBytes, 256 * 1024);
        ASSERT_FALSE(device.Readers().empty());
        for (const int32_t reader : device.Readers()) {
            EXPECT_TRUE(Settles(reader));
        }

        std::vector<uint8_t> buffer(64 * 1024);
        int64_t received = 0;
        SANE_Status status = SANE_STATUS_GOOD;
        while (status == SANE_STATUS_GOOD) {
            int32_t length = 0;
            status = device.Read(buffer.data(), int32_t(buffer.size()), length);
            received += length;
        }
        EXPECT_EQ(status, SANE_STATUS_EOF);
        EXPECT_EQ(received, frameBytes);
        for (const int32_t reader : device.Readers()) {
            EXPECT_EQ(ThreadState(reader), 0);
        }
        device.Cancel();
        EXPECT_TRUE(device.Readers().empty());
    }
    SaneRelease();
}

TEST(ScanReaders, StoppingAScanNeverBreaksThePipeItsReaderWritesInto)
{
    // A reader whose write fails runs on into code that the device's stop may cut short. On one
    // processor the reader, woken by a broken pipe, runs before the stop reaches it, as it may on
    // a busy machine.
    kviotest::TTestScanners scanners;
    TBrokenPipes broken;
    kvtest::TOneProcessor oneProcessor;
    for (int32_t repeat = 0; repeat < 3; ++repeat) {
        for (const char* readStatus : {"Default", "SANE_STATUS_JAMMED"}) {
            SCOPED_TRACE(readStatus);
            ASSERT_TRUE(SaneAcquire());
            {
                TSaneDevice device;
                ASSERT_EQ(device.Open("test:0"), SANE_STATUS_GOOD);
                ASSERT_EQ(device.SetNumber(device.ResolutionOption(false), 300), SANE_STATUS_GOOD);
                ASSERT_EQ(device.SetText(device.Find("read-return-value"), readStatus), SANE_STATUS_GOOD);
                ASSERT_EQ(device.Start(), SANE_STATUS_GOOD);
                ASSERT_FALSE(device.Readers().empty());
                // The frame is more than a pipe holds: the reader fills its pipe and waits.
                for (const int32_t reader : device.Readers()) {
                    ASSERT_TRUE(Reaches(reader, 'S'));
                }
                std::vector<uint8_t> buffer(4096);
                int32_t length = 0;
                EXPECT_EQ(device.Read(buffer.data(), int32_t(buffer.size()), length),
                          readStatus[0] == 'D' ? SANE_STATUS_GOOD : SANE_STATUS_JAMMED);
                for (const int32_t reader : device.Readers()) {
                    ASSERT_TRUE(Reaches(reader, 'S'));
                }
                device.Cancel();
            }
            SaneRelease();
        }
    }
    EXPECT_EQ(broken.Count(), 0);
}

// A thread is listed whatever its number, also the number of the handle the list is read through,
// which thread numbers reach in a fresh process namespace (a container's), where they start at 1.
TEST(ScanReaders, EveryThreadIsListedWhateverItsNumber)
{
    std::mutex held;
    held.lock();
    std::vector<std::unique_ptr<TNamedThread>> threads;
    while (threads.size() < 64 && (threads.empty() || threads.back()->Id() < LowestFreeHandle())) {
        threads.push_back(std::make_unique<TNamedThread>([&] { std::lock_guard<std::mutex> lock(held); }));
    }
    // Handles are taken until the list takes the newest thread's number, where few are needed.
    const int32_t newest = threads.back()->Id();
    std::vector<int> taken;
    while (LowestFreeHandle() < newest && newest - LowestFreeHandle() <= 256) {
        taken.push_back(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    const bool numbersMeet = LowestFreeHandle() == newest;
    const std::vector<int32_t> listed = ProcessThreads();
    for (const int handle : taken) {
        close(handle);
    }
    held.unlock();

    for (const auto& thread : threads) {
        EXPECT_TRUE(std::binary_search(listed.begin(), listed.end(), thread->Id())) << thread->Id();
    }
    // The first process of a fresh namespace.
    if (getpid() == 1) {
        EXPECT_TRUE(numbersMeet) << "thread " << newest << ", handle " << LowestFreeHandle();
    }
}

TEST(ScanReaders, EveryThreadIsListedInAFreshProcessNamespace)
{
    // Root makes the namespace, a user as the root of a user namespace of its own. Mounts keep how
    // they pass on mounts: in a changed root (CI's), whose root folder is no mount, unshare cannot
    // change that, and only /proc needs to be private.
    const std::string unshare = std::string("unshare ") + (geteuid() == 0 ? "" : "--map-root-user ") +
                                "--pid --fork --mount-proc --propagation unchanged ";
    if (kvtest::ToolExitCode(unshare + "true 2>/dev/null") != 0) {
        kviotest::SkipBecause("no process namespace can be made here: " + unshare);
        return;
    }
    // The test above alone, as the first process of the namespace.
    const kvtest::ScopedEnv noOutput("GTEST_OUTPUT", std::nullopt);
    const kvtest::ScopedEnv noShards("GTEST_TOTAL_SHARDS", std::nullopt);
    const kvtest::ScopedEnv noShard("GTEST_SHARD_INDEX", std::nullopt);
    const kvtest::ScopedEnv noFilter("GTEST_FILTER", std::nullopt);
    int status = -1;
    const std::string output = kvtest::RunTool(
        unshare + gThisProgram + " --gtest_filter=ScanReaders.EveryThreadIsListedWhateverItsNumber 2>&1",
        &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}
