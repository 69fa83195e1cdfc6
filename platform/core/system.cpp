// The debugger trace, the available memory and the usable cores.
#include "platform/core/system.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

std::function<void(const std::string& Text)> DebugOutput;

namespace {
std::mutex gDebugLock;
} // namespace

void OutputDebugString(const std::string& Text)
{
    std::lock_guard<std::mutex> lock(gDebugLock);
    if (DebugOutput) {
        DebugOutput(Text);
        return;
    }
    if (std::getenv("KORVANE_DEBUG")) {
        std::fprintf(stderr, "%s\n", Text.c_str());
    }
}

uint64_t AvailablePhysicalMemory()
{
    // MemAvailable counts the caches the kernel would give up, which free memory alone does not.
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        std::istringstream fields(line);
        std::string key;
        uint64_t kibibytes = 0;
        if (fields >> key >> kibibytes && key == "MemAvailable:") {
            return kibibytes * 1024;
        }
    }
    return 0;
}

namespace {

// The cores of the calling thread's affinity mask, which threads it starts inherit; 0 when it
// cannot be read. The set grows with the machine: a fixed cpu_set_t holds only 1024 cores.
unsigned AffinityCores()
{
    for (size_t cores = 1024; cores <= (size_t(1) << 20); cores *= 2) {
        const size_t bytes = CPU_ALLOC_SIZE(cores);
        std::vector<uint8_t> set(bytes);
        auto* mask = reinterpret_cast<cpu_set_t*>(set.data());
        if (sched_getaffinity(0, bytes, mask) == 0) {
            return unsigned(CPU_COUNT_S(bytes, mask));
        }
        if (errno != EINVAL) {
            return 0;
        }
    }
    return 0;
}

// The cores a cpu.max file ("quota period", or "max period" for none) allows, rounded up.
unsigned QuotaCores(const std::string& path)
{
    std::ifstream file(path);
    std::string quota;
    uint64_t period = 0;
    if (!(file >> quota >> period) || quota == "max" || period == 0) {
        return 0;
    }
    char* end = nullptr;
    const uint64_t microseconds = std::strtoull(quota.c_str(), &end, 10);
    if (*end != '\0' || microseconds == 0) {
        return 0;
    }
    const uint64_t cores = (microseconds + period - 1) / period;
    return unsigned(std::min<uint64_t>(cores, 1u << 20));
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

unsigned CgroupQuotaCores(const std::string& CgroupList, const std::string& CgroupRoot)
{
    // The unified hierarchy's line is "0::/path"; the lines of version 1 controllers have ids.
    std::istringstream lines(CgroupList);
    std::string line;
    std::string group;
    while (std::getline(lines, line)) {
        if (line.rfind("0::", 0) == 0) {
            group = line.substr(3);
        }
    }
    if (group.empty() || group[0] != '/' || group.find("/..") != std::string::npos) {
        return 0;
    }
    // A group may not take more than any group above it allows.
    unsigned least = 0;
    while (true) {
        const unsigned cores =
            QuotaCores(CgroupRoot + group.substr(1) + (group.size() > 1 ? "/" : "") + "cpu.max");
        if (cores != 0 && (least == 0 || cores < least)) {
            least = cores;
        }
        if (group.size() <= 1) {
            return least;
        }
        group.erase(std::max<size_t>(group.rfind('/'), 1));
    }
}

unsigned UsableCores()
{
    unsigned cores = AffinityCores();
    if (cores == 0) {
        cores = std::thread::hardware_concurrency();
    }
    const unsigned quota = CgroupQuotaCores(ReadWholeFile("/proc/self/cgroup"), "/sys/fs/cgroup/");
    if (quota != 0) {
        cores = cores == 0 ? quota : std::min(cores, quota);
    }
    return std::max(cores, 1u);
}

namespace {
// The calling thread's share of the cores; 0 while it holds none.
thread_local unsigned gThreadShare = 0;
} // namespace

unsigned CoresOfThisThread()
{
    const unsigned cores = UsableCores();
    return gThreadShare == 0 ? cores : std::min(cores, gThreadShare);
}

TCoreShare::TCoreShare(unsigned Cores) : FPrevious(gThreadShare)
{
    gThreadShare = std::max(Cores, 1u);
}

TCoreShare::~TCoreShare()
{
    gThreadShare = FPrevious;
}

std::string SysErrorMessage(int ErrorCode)
{
    char buffer[256];
    // The GNU strerror_r gives either its own constant text or the buffer.
    return ::strerror_r(ErrorCode, buffer, sizeof buffer);
}
