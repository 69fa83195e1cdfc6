// The device's reader threads: this process's threads and their states as the system sees them,
// and a frame's last byte asked for only once the test device's reader has ended, so that the
// device never stops its reader in the middle of the allocator or the C library.
#include "imaging/io/detail/sane_scanner.h"
#include "tests/io/scan_test_support.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
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

// Waits up to two seconds for the thread to show the state: only a hang takes that long.
bool Reaches(int32_t thread, char state)
{
    for (int32_t i = 0; i < 2000; ++i) {
        if (ThreadState(thread) == state) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

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

TEST(ScanReaders, TheLastByteIsAskedForOnceTheDevicesReaderHasEnded)
{
    kviotest::TTestScanners scanners;
    ASSERT_TRUE(SaneAcquire());
    {
        TSaneDevice device;
        ASSERT_EQ(device.Open("test:0"), SANE_STATUS_GOOD);
        EXPECT_TRUE(device.WaitForReaders(false, 0)); // none before a scan
        ASSERT_EQ(device.SetNumber(device.ResolutionOption(false), 300), SANE_STATUS_GOOD);
        ASSERT_EQ(device.Start(), SANE_STATUS_GOOD);
        SANE_Parameters parameters{};
        ASSERT_EQ(device.Parameters(parameters), SANE_STATUS_GOOD);
        const int64_t frameBytes = int64_t(parameters.bytes_per_line) * parameters.lines;
        // More than a pipe holds: the reader waits, blocked, until someone reads.
        ASSERT_GT(frameBytes, 256 * 1024);
        ASSERT_FALSE(device.Readers().empty());
        EXPECT_FALSE(device.WaitForReaders(false, 50));
        EXPECT_TRUE(device.WaitForReaders(true, 2000));
        std::atomic<bool> stop{true};
        EXPECT_FALSE(device.WaitForReaders(false, 60000, &stop)); // a stop ends the wait at once

        std::vector<uint8_t> buffer(64 * 1024);
        int64_t received = 0;
        while (received < frameBytes - 1) {
            int32_t length = 0;
            const int32_t wanted =
                int32_t(std::min<int64_t>(int64_t(buffer.size()), frameBytes - 1 - received));
            ASSERT_EQ(device.Read(buffer.data(), wanted, length), SANE_STATUS_GOOD);
            received += length;
        }
        // Everything is sent: the reader ends by itself, before the last byte ends the frame.
        EXPECT_TRUE(device.WaitForReaders(false, 5000));
        for (const int32_t reader : device.Readers()) {
            EXPECT_EQ(ThreadState(reader), 0);
        }
        int32_t length = 0;
        EXPECT_EQ(device.Read(buffer.data(), 16, length), SANE_STATUS_GOOD);
        EXPECT_EQ(length, 1);
        EXPECT_EQ(device.Read(buffer.data(), 16, length), SANE_STATUS_EOF);
        device.Cancel();
    }
    SaneRelease();
}
