// Services of the operating system that the libraries ask for: the debugger trace, the amount of
// memory available, the cores the process and a thread may use, and the texts of error numbers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Sends a line to the debugger trace: to DebugOutput when it is set, else to stderr when the
// environment variable KORVANE_DEBUG is set, else nowhere.
void OutputDebugString(const std::string& Text);
// Where the trace goes; tests set it to read the trace.
extern std::function<void(const std::string& Text)> DebugOutput;

// Physical memory available to programs, in bytes; 0 when it cannot be told.
uint64_t AvailablePhysicalMemory();

// The cores the process may run on: those of its CPU affinity (taskset, a container's cpuset), no
// more than the CPU quota of its control group and every group above it (cpu.max), at least one.
// Workers are counted by this, not by the machine's cores: eight workers on one allowed core only
// take turns and hold eight decoded pictures.
unsigned UsableCores();
// The cores the work of the calling thread may spread over: UsableCores(), or fewer while the
// thread holds a TCoreShare. A load that starts threads of its own counts them by this.
unsigned CoresOfThisThread();

// While it lives, the work of the thread that made it spreads over no more than `Cores` cores (at
// least one). A pool of workers gives each running job its share of the cores, so that a job's
// load does not start a thread for every core while every other job does the same. Other threads
// are not affected.
class TCoreShare
{
public:
    explicit TCoreShare(unsigned Cores);
    ~TCoreShare();
    TCoreShare(const TCoreShare&) = delete;
    TCoreShare& operator=(const TCoreShare&) = delete;

private:
    unsigned FPrevious;
};
// The whole cores that the quotas of a control group and its ancestors allow, rounded up; 0 when
// none sets a quota. `CgroupList` is the text of /proc/<pid>/cgroup, `CgroupRoot` where the unified
// hierarchy is mounted (with a trailing "/").
unsigned CgroupQuotaCores(const std::string& CgroupList, const std::string& CgroupRoot);

// The system's text for an error number (errno). Safe on any thread, unlike strerror.
std::string SysErrorMessage(int ErrorCode);
