// Test helpers: a temporary folder removed with everything in it, the unnamed files open in a
// folder, and a scoped environment variable.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvtest {

// A new, empty folder under the system's temporary folder; removed (recursively) on destruction.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, ending in "/".
    const std::string& Path() const { return FPath; }
    // Path() + Name.
    std::string File(const std::string& Name) const { return FPath + Name; }
    // Writes Content to Path() + Name and returns the full name.
    std::string Write(const std::string& Name, const std::string& Content) const;
    // The content of a file, "" when it cannot be read.
    static std::string Read(const std::string& FileName);

private:
    std::string FPath;
};

// The files in Folder that this process holds open while they have no name there (made without
// one, or removed since), as the kernel shows them ("#1234 (deleted)"), sorted.
std::vector<std::string> UnnamedFilesOpenIn(const std::string& Folder);

// Sets (or, with std::nullopt, unsets) an environment variable for the length of a scope.
class ScopedEnv
{
public:
    ScopedEnv(const std::string& Name, const std::optional<std::string>& Value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

} // namespace kvtest
