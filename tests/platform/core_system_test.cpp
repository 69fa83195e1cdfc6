// The debugger trace and the available memory.
#include "platform/core/system.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(System, DebugTraceGoesToTheSinkOrStaysQuiet)
{
    std::vector<std::string> trace;
    DebugOutput = [&](const std::string& text) { trace.push_back(text); };
    OutputDebugString("Aborting /pics/a.jpg");
    DebugOutput = nullptr;
    EXPECT_EQ(trace, std::vector<std::string>{"Aborting /pics/a.jpg"});

    {
        kvtest::ScopedEnv quiet("KORVANE_DEBUG", std::nullopt);
        ::testing::internal::CaptureStderr();
        OutputDebugString("hidden");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    }
    kvtest::ScopedEnv debug("KORVANE_DEBUG", "1");
    ::testing::internal::CaptureStderr();
    OutputDebugString("shown");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "shown\n");
}

TEST(System, AvailableMemoryIsKnownHere)
{
    // Any Linux machine that runs these tests has a few megabytes free.
    EXPECT_GT(AvailablePhysicalMemory(), uint64_t(1) << 20);
}

} // namespace

// Error texts come from many threads at once (the gallery's workers report failed files): each
// thread gets its own number's text, including numbers the system does not know.
TEST(System, ErrorTextsOfEveryThreadStayTheirOwn)
{
    const struct
    {
        int Code;
        std::string Text;
    } cases[] = {
        {ENOENT, "No such file or directory"},
        {EISDIR, "Is a directory"},
        {ENOSPC, "No space left on device"},
        {99999, "Unknown error 99999"},
        {-7, "Unknown error -7"},
    };
    std::vector<std::string> seen(std::size(cases) * 4);
    std::vector<std::thread> threads;
    for (size_t k = 0; k < seen.size(); ++k) {
        threads.emplace_back([&, k] {
            for (int round = 0; round < 200; ++round) {
                seen[k] = SysErrorMessage(cases[k % std::size(cases)].Code);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k], cases[k % std::size(cases)].Text) << cases[k % std::size(cases)].Code;
    }
}
