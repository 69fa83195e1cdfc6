// The debugger trace, the available memory and the cores.
#include "platform/core/system.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Workers follow the cores the process is given, as taskset or a container's cpuset gives them:
// threads inherit the affinity of the thread that starts them.
TEST(System, UsableCoresFollowTheAffinity)
{
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    const unsigned allowed = unsigned(CPU_COUNT(&all));
    EXPECT_LE(UsableCores(), allowed);

    std::vector<int> cores;
    for (int core = 0; core < CPU_SETSIZE && cores.size() < 2; ++core) {
        if (CPU_ISSET(core, &all)) {
            cores.push_back(core);
        }
    }
    for (size_t count = 1; count <= cores.size(); ++count) {
        unsigned seen = 0;
        std::thread pinned([&] {
            cpu_set_t some;
            CPU_ZERO(&some);
            for (size_t k = 0; k < count; ++k) {
                CPU_SET(cores[k], &some);
            }
            ASSERT_EQ(sched_setaffinity(0, sizeof some, &some), 0);
            seen = UsableCores();
        });
        pinned.join();
        EXPECT_EQ(seen, count);
    }
}

// The same under taskset itself: a child started on one core reports one.
TEST(System, UsableCoresUnderTasksetAreOne)
{
    const char* child = std::getenv("KV_REPORT_USABLE_CORES");
    if (child) {
        std::printf("usable cores: %u\n", UsableCores());
        return;
    }
    const std::string command = "KV_REPORT_USABLE_CORES=1 taskset -c 0 /proc/" + std::to_string(getpid()) +
                                "/exe --gtest_filter=System.UsableCoresUnderTasksetAreOne 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        output += buffer;
    }
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_NE(output.find("usable cores: 1\n"), std::string::npos) << output;
}

// A share caps the cores of the thread that holds it, at least one, until its scope ends; other
// threads keep every usable core.
TEST(System, ACoreShareCapsItsOwnThreadOnly)
{
    const unsigned all = UsableCores();
    {
        const TCoreShare none(0);
        EXPECT_EQ(CoresOfThisThread(), 1u);
        unsigned other = 0;
        std::thread([&other] { other = CoresOfThisThread(); }).join();
        EXPECT_EQ(other, all);
    }
    EXPECT_EQ(CoresOfThisThread(), all);
}

// A control group's quota (cpu.max) caps the cores, and so does every group above it.
TEST(System, CgroupQuotasCapTheCores)
{
    kvtest::TempFolder root;
    const auto write = [&](const std::string& folder, const std::string& text) {
        std::filesystem::create_directories(root.Path() + folder);
        std::ofstream(root.Path() + folder + "cpu.max") << text;
    };
    write("user.slice/", "max 100000\n");
    write("user.slice/job/", "250000 100000\n");
    write("box/", "50000 100000\n");
    write("box/inner/", "400000 100000\n");
    write("open/", "max 100000\n");
    write("bad/", "lots 100000\n");
    const struct
    {
        std::string List;
        unsigned Cores;
    } cases[] = {
        {"0::/user.slice/job\n", 3},
        {"0::/box/inner\n", 1},
        {"0::/open\n", 0},
        {"0::/bad\n", 0},
        {"0::/\n", 0},
        {"12:cpu,cpuacct:/box\n", 0},
        {"", 0},
        {"0::/missing/group\n", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CgroupQuotaCores(c.List, root.Path()), c.Cores) << c.List;
    }
}
