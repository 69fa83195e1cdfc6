// Standard programs and sample folders the tests lean on. Each is listed in tests/environment.txt
// with the Debian package that brings it (scripts/deps.sh installs them); a test runs programs
// only through RunTool, which refuses one that is not listed, so nothing the list misses can slip
// into a test unnoticed.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace kvtest {

// One line of tests/environment.txt: a program (by its name on the PATH) or a sample folder or
// file (by its absolute path), and the Debian package it comes from.
struct TEnvironmentEntry
{
    enum TKind
    {
        Program,
        Sample
    };
    TKind Kind = Program;
    std::string Name;
    std::string Package;
};

// Every entry of tests/environment.txt, read once.
const std::vector<TEnvironmentEntry>& EnvironmentEntries();

// Where a program is found on the search path that commands run with (the package manager's
// folders only); empty when it is not there.
std::string ProgramPath(const std::string& program);

// The programs a shell command runs: the first word of each of its simple commands (after
// variable assignments), with any folder part removed.
std::vector<std::string> ProgramsOfCommand(const std::string& command);

// Success when every program the command runs is listed and on the PATH; otherwise a failure
// that names what is missing and the package to install.
::testing::AssertionResult ToolsListed(const std::string& command);

// Runs a shell command and returns what it printed on standard output (standard error is the
// test's own); exitCode receives its exit status, -1 when it did not run or was killed. A command
// that runs a program not listed fails the current test and runs nothing.
std::string RunTool(const std::string& command, int* exitCode = nullptr);

// What a shell command prints on standard output, its standard error discarded; empty when it
// fails.
std::string ToolOutput(const std::string& command);

// Runs a shell command for what it does; its exit status, -1 when it did not run or was killed.
int ToolExitCode(const std::string& command);

// Success when the listed program (a name) or sample (an absolute path) is there; otherwise a
// failure naming the package that brings it. A path below a listed sample folder counts as that
// sample. Use as ASSERT_TRUE(kvtest::Installed(...)).
::testing::AssertionResult Installed(const std::string& programOrPath);

// Success when every one of them is there; otherwise the first one missing.
::testing::AssertionResult Installed(std::initializer_list<std::string> programsOrPaths);

} // namespace kvtest
