// The debugger trace and the available memory.
#include "platform/core/system.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
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
