// The debugger trace and the available memory.
#include "platform/core/system.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

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

std::string SysErrorMessage(int ErrorCode)
{
    char buffer[256];
    // The GNU strerror_r gives either its own constant text or the buffer.
    return ::strerror_r(ErrorCode, buffer, sizeof buffer);
}
