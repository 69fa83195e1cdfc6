// Services of the operating system that the libraries ask for: the debugger trace and the
// amount of memory available.
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
