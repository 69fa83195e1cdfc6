// Temporary folders and scoped environment variables for tests.
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace kvtest {

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kvtest-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    FPath = std::string(name.data()) + "/";
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    // Tests may leave read-only entries behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(
            it->path(), std::filesystem::perms::owner_all,
            std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow, ignored);
    }
    std::filesystem::remove_all(FPath, ignored);
}

std::string TempFolder::Write(const std::string& Name, const std::string& Content) const
{
    std::string fileName = File(Name);
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << Content;
    return fileName;
}

std::string TempFolder::Read(const std::string& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> UnnamedFilesOpenIn(const std::string& Folder)
{
    // The kernel shows an open file's last path, followed by " (deleted)" once it has no name.
    std::vector<std::string> files;
    std::error_code error;
    const std::string folder = std::filesystem::canonical(Folder, error).string() + "/";
    if (error) {
        return files;
    }
    const std::string deleted = " (deleted)";
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.rfind(folder, 0) == 0 && target.size() > folder.size() + deleted.size() &&
            target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0 &&
            target.find('/', folder.size()) == std::string::npos) {
            files.push_back(target.substr(folder.size()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

ScopedEnv::ScopedEnv(const std::string& Name, const std::optional<std::string>& Value) : FName(Name)
{
    if (const char* old = std::getenv(Name.c_str())) {
        FOld = old;
    }
    if (Value) {
        ::setenv(Name.c_str(), Value->c_str(), 1);
    } else {
        ::unsetenv(Name.c_str());
    }
}

ScopedEnv::~ScopedEnv()
{
    if (FOld) {
        ::setenv(FName.c_str(), FOld->c_str(), 1);
    } else {
        ::unsetenv(FName.c_str());
    }
}

} // namespace kvtest
