// Pins a test to one processor, the way `taskset -c N` starts a program.
#pragma once

#include <sched.h>

namespace kvtest {

// Keeps the calling thread, and the threads it starts, on the processor it runs on while it lives.
class TOneProcessor
{
public:
    TOneProcessor()
    {
        sched_getaffinity(0, sizeof(FBefore), &FBefore);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof(one), &one);
    }
    ~TOneProcessor() { sched_setaffinity(0, sizeof(FBefore), &FBefore); }
    TOneProcessor(const TOneProcessor&) = delete;
    TOneProcessor& operator=(const TOneProcessor&) = delete;

private:
    cpu_set_t FBefore{};
};

} // namespace kvtest
