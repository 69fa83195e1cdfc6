// Services of the operating system that the libraries ask for: the debugger trace and the
// amount of memory available, and the texts of error numbers.
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

// The system's text for an error number (errno). Safe on any thread, unlike strerror.
std::string SysErrorMessage(int ErrorCode);
