// The temporary folder and unique temporary files in it.
#include "platform/core/tempfiles.h"

#include "platform/core/detail/unnamed_temp_file.h"
#include "platform/core/files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// Creates a new, empty file of a unique name that starts with Prefix; the descriptor, -1 when it
// cannot be made. Name receives the full name.
int CreateUniqueFile(const std::string& Folder, const std::string& Prefix, std::string& Name)
{
    if (Prefix.find('/') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    std::string pattern =
        IncludeTrailingPathDelimiter(Folder.empty() ? std::string(".") : Folder) + Prefix + "XXXXXX.tmp";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int handle = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (handle >= 0) {
        Name = name.data();
    }
    return handle;
}

} // namespace

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
    std::string name;
    const int handle = CreateUniqueFile(Folder, Prefix, name);
    if (handle < 0) {
        return std::string();
    }
    ::close(handle);
    return name;
}

int OpenUnnamedTempFile(const std::string& Folder, const std::string& Prefix)
{
    const std::string folder = Folder.empty() ? std::string(".") : Folder;
    const int handle = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // A kernel without unnamed files takes O_TMPFILE for a folder opened for writing (EISDIR).
    if (handle >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) {
        return handle;
    }
    return kvcore_detail::OpenNamedThenRemovedTempFile(Folder, Prefix);
}

namespace kvcore_detail {

int OpenNamedThenRemovedTempFile(const std::string& Folder, const std::string& Prefix)
{
    std::string name;
    const int handle = CreateUniqueFile(Folder, Prefix, name);
    if (handle >= 0) {
        ::unlink(name.c_str());
    }
    return handle;
}

} // namespace kvcore_detail
