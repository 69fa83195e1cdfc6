// Running the standard programs of tests/environment.txt, and finding its sample files.
#include "tests/support/tools.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

namespace {

std::vector<TEnvironmentEntry> ReadEnvironment()
{
    std::vector<TEnvironmentEntry> entries;
    std::ifstream in(KV_ENVIRONMENT_FILE);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        TEnvironmentEntry entry;
        if (!(fields >> kind) || kind[0] == '#' || !(fields >> entry.Name >> entry.Package)) {
            continue;
        }
        entry.Kind = kind == "program" ? TEnvironmentEntry::Program : TEnvironmentEntry::Sample;
        entries.push_back(entry);
    }
    return entries;
}

bool IsOperatorChar(char c)
{
    return c == ';' || c == '|' || c == '&' || c == '(' || c == ')' || c == '`' || c == '\n';
}

bool IsWordEnd(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) || IsOperatorChar(c) || c == '<' || c == '>';
}

// A word from position at, with its quotes and backslashes taken out.
std::string ReadWord(const std::string& text, size_t& at)
{
    std::string word;
    while (at < text.size() && !IsWordEnd(text[at])) {
        const char c = text[at++];
        if (c == '\\' && at < text.size()) {
            word += text[at++];
        } else if (c == '\'' || c == '"') {
            while (at < text.size() && text[at] != c) {
                if (c == '"' && text[at] == '\\' && at + 1 < text.size()) {
                    ++at;
                }
                word += text[at++];
            }
            ++at;
        } else {
            word += c;
        }
    }
    return word;
}

// True when a redirection (2>/dev/null, >&2, <file, 2>&1) starts at position at; it is skipped
// with its target.
bool SkipRedirection(const std::string& text, size_t& at)
{
    size_t pos = at;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    if (pos >= text.size() || (text[pos] != '<' && text[pos] != '>')) {
        return false;
    }
    while (pos < text.size() && (text[pos] == '<' || text[pos] == '>')) {
        ++pos;
    }
    if (pos < text.size() && text[pos] == '&') {
        ++pos;
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    ReadWord(text, pos);
    at = pos;
    return true;
}

bool IsAssignment(const std::string& word)
{
    const size_t equals = word.find('=');
    if (equals == std::string::npos || equals == 0) {
        return false;
    }
    for (size_t i = 0; i < equals; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(word[i])) && word[i] != '_') {
            return false;
        }
    }
    return true;
}

// Words after which the next word is still the command: keywords, and exec, which runs it.
bool IsCommandPrefix(const std::string& word)
{
    static const std::set<std::string> words = {"!",  "{",     "}",     "if", "then", "else", "elif",
                                                "fi", "while", "until", "do", "done", "exec", "time"};
    return words.count(word) != 0;
}

// Commands the shell carries out itself, running no program.
bool IsBuiltin(const std::string& word)
{
    static const std::set<std::string> words = {"cd",    "echo",   "printf", "test",  "[",    "true",
                                                "false", "export", "set",    "exit",  "wait", "kill",
                                                "trap",  "read",   "umask",  "ulimit"};
    return words.count(word) != 0;
}

std::string BaseName(const std::string& word)
{
    const size_t slash = word.rfind('/');
    return slash == std::string::npos ? word : word.substr(slash + 1);
}

// Where the package manager puts programs. Commands run with this search path, so a copy in
// /usr/local or a home folder (installed by hand, outside the package manager) is never what a
// test runs; tests/environment/environment_test.sh looks there too.
const char* const SystemPath = "/usr/sbin:/usr/bin:/sbin:/bin";

const TEnvironmentEntry* FindEntry(const std::string& programOrPath)
{
    const bool isPath = !programOrPath.empty() && programOrPath[0] == '/';
    for (const TEnvironmentEntry& entry : EnvironmentEntries()) {
        if (!isPath && entry.Kind == TEnvironmentEntry::Program && entry.Name == programOrPath) {
            return &entry;
        }
        if (isPath && entry.Kind == TEnvironmentEntry::Sample &&
            (programOrPath == entry.Name ||
             (programOrPath.compare(0, entry.Name.size(), entry.Name) == 0 &&
              (entry.Name.back() == '/' || programOrPath[entry.Name.size()] == '/')))) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

const std::vector<TEnvironmentEntry>& EnvironmentEntries()
{
    static const std::vector<TEnvironmentEntry> entries = ReadEnvironment();
    return entries;
}

std::string ProgramPath(const std::string& program)
{
    std::istringstream folders(SystemPath);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string path = folder + "/" + program;
        if (::access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return std::string();
}

std::vector<std::string> ProgramsOfCommand(const std::string& command)
{
    std::vector<std::string> programs;
    bool commandStarts = true;
    size_t at = 0;
    while (at < command.size()) {
        const char c = command[at];
        if (std::isspace(static_cast<unsigned char>(c)) && c != '\n') {
            ++at;
        } else if (IsOperatorChar(c) || (c == '$' && at + 1 < command.size() && command[at + 1] == '(')) {
            commandStarts = true;
            at += c == '$' ? 2 : 1;
        } else if (SkipRedirection(command, at)) {
        } else {
            const std::string word = ReadWord(command, at);
            if (!commandStarts || IsAssignment(word) || IsCommandPrefix(word)) {
                continue;
            }
            if (!IsBuiltin(word)) {
                programs.push_back(BaseName(word));
            }
            commandStarts = false;
        }
    }
    return programs;
}

::testing::AssertionResult ToolsListed(const std::string& command)
{
    for (const std::string& program : ProgramsOfCommand(command)) {
        ::testing::AssertionResult installed = Installed(program);
        if (!installed) {
            return installed << " (in the command: " << command << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

std::string RunTool(const std::string& command, int* exitCode)
{
    std::string output;
    if (exitCode != nullptr) {
        *exitCode = -1;
    }
    const ::testing::AssertionResult listed = ToolsListed(command);
    if (!listed) {
        ADD_FAILURE() << listed.message();
        return output;
    }
    FILE* pipe = ::popen(("PATH=" + std::string(SystemPath) + "; export PATH; " + command).c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    if (exitCode != nullptr && WIFEXITED(status)) {
        *exitCode = WEXITSTATUS(status);
    }
    return output;
}

std::string ToolOutput(const std::string& command)
{
    int exitCode = -1;
    std::string output = RunTool(command + " 2>/dev/null", &exitCode);
    return exitCode == 0 ? output : std::string();
}

int ToolExitCode(const std::string& command)
{
    int exitCode = -1;
    RunTool(command, &exitCode);
    return exitCode;
}

::testing::AssertionResult Installed(const std::string& programOrPath)
{
    const TEnvironmentEntry* entry = FindEntry(programOrPath);
    if (entry == nullptr) {
        return ::testing::AssertionFailure()
               << programOrPath << " is not listed in tests/environment.txt: list it there with "
               << "the Debian package that brings it, and add that package to scripts/deps.sh";
    }
    struct stat info
    {
    };
    const bool present = entry->Kind == TEnvironmentEntry::Program
                             ? !ProgramPath(programOrPath).empty()
                             : ::stat(programOrPath.c_str(), &info) == 0;
    if (!present) {
        return ::testing::AssertionFailure() << programOrPath << " is missing: install the Debian package "
                                             << entry->Package << " (scripts/deps.sh installs it)";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Installed(std::initializer_list<std::string> programsOrPaths)
{
    for (const std::string& programOrPath : programsOrPaths) {
        ::testing::AssertionResult installed = Installed(programOrPath);
        if (!installed) {
            return installed;
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace kvtest
