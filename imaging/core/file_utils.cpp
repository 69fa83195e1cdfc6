// Folder and file queries of the imaging library and the free-memory figure.
#include "imaging/core/file_utils.h"

#include "imaging/io/korvaneio_globals.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/system.h"
#include "platform/core/tempfiles.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Daduvudez {

bool KVDirectoryExists(const std::string& path)
{
    return DirectoryExists(path);
}

void KVForceDirectories(const std::string& path)
{
    if (path.empty())
        throw Exception("Cannot Create Directory");
    ForceDirectories(path);
}

int64_t _getfilesize(const std::string& fileName)
{
    const int handle = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return -1;
    struct stat st;
    const int64_t size = fstat(handle, &st) == 0 ? int64_t(st.st_size) : -1;
    close(handle);
    return size;
}

int64_t KVGetFreeMemory()
{
    return static_cast<int64_t>(std::min<uint64_t>(AvailablePhysicalMemory(), INT64_MAX));
}

std::string KVTempFolder()
{
    if (Korvaneio::DefTEMPPATH.empty()) {
        return GetTempPath();
    }
    std::string folder = Korvaneio::DefTEMPPATH;
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

int KVOpenTempFile()
{
    const std::string folder = KVTempFolder();
    KVForceDirectories(folder);
    return OpenUnnamedTempFile(folder, "korvane");
}

} // namespace Daduvudez
