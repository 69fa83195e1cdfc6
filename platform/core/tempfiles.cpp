// The temporary folder and unique temporary files in it.
#include "platform/core/tempfiles.h"

#include "platform/core/files.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

std::string GetTempPath()
{
    const char* folder = std::getenv("TMPDIR");
    if (folder && *folder) {
        return IncludeTrailingPathDelimiter(folder);
    }
    return "/tmp/";
}

std::string GetTempFileName(const std::string& Folder, const std::string& Prefix)
{
    if (Prefix.find('/') != std::string::npos) {
        return std::string();
    }
    std::string pattern =
        IncludeTrailingPathDelimiter(Folder.empty() ? std::string(".") : Folder) + Prefix + "XXXXXX.tmp";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int handle = ::mkstemps(name.data(), 4);
    if (handle < 0) {
        return std::string();
    }
    ::close(handle);
    return std::string(name.data());
}
