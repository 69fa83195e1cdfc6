// Files written by the save front ends: the content goes to a temporary file beside the target
// and replaces it only once complete, so that a failed save neither truncates an earlier file
// nor leaves a partial one. Where a new file in its place would not be the file the user had,
// the file is overwritten instead, also only once the content is complete.
#include "imaging/core/file_utils.h"
#include "imaging/io/detail/io_work.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/system.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Korvaneio::detail {

namespace {

// Long names are cut so that the temporary name stays within the file system's limit.
constexpr size_t MaxBaseNameInTempName = 160;
// As many links as the system follows in one name.
constexpr int MaxLinksFollowed = 40;

EFCreateError CreateError(const std::string& fileName, int error)
{
    return EFCreateError("Cannot create file \"" + fileName + "\". " + SysErrorMessage(error));
}

// The name a chain of symbolic links ends in; the name itself when it is no link.
std::string LastNameOfLinks(const std::string& fileName)
{
    std::string name = fileName;
    for (int followed = 0; followed < MaxLinksFollowed; ++followed) {
        struct stat info
        {
        };
        if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(name.c_str(), target.data(), target.size());
        if (length <= 0 || size_t(length) >= target.size()) {
            break;
        }
        target.resize(size_t(length));
        // A relative target is found from the link's folder.
        name = target[0] == '/' ? target : ExtractFilePath(name) + target;
    }
    return name;
}

// A file renamed over this one would drop its other names, which keep the old content, and take
// the writer as its owner.
bool RenameWouldChangeFile(const struct stat& info)
{
    return info.st_nlink > 1 || info.st_uid != ::geteuid();
}

// The new file takes the group and the mode of the one it replaces; false when the group cannot
// be given (the writer is not in it).
bool TakeGroupAndMode(int handle, const struct stat& info)
{
    struct stat made
    {
    };
    if (::fstat(handle, &made) != 0) {
        return false;
    }
    if (made.st_gid != info.st_gid && ::fchown(handle, static_cast<uid_t>(-1), info.st_gid) != 0) {
        return false;
    }
    ::fchmod(handle, info.st_mode & 07777);
    return true;
}

} // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& fileName) : FFileName(fileName)
{
    struct stat info
    {
    };
    if (::stat(fileName.c_str(), &info) == 0) {
        OpenExisting(fileName, info);
    } else {
        OpenNew(fileName, errno);
    }
}

void TSafeFileWriter::OpenNew(const std::string& fileName, int statError)
{
    // Through a symbolic link whose target does not exist yet, that target is made, and the link
    // stays; unless the system refused to follow the link (EACCES: another user's link in a
    // folder that all may write into).
    if (statError == ENOENT) {
        FFileName = LastNameOfLinks(fileName);
    }
    if (const int error = OpenBeside(nullptr)) {
        throw CreateError(fileName, error);
    }
}

void TSafeFileWriter::OpenExisting(const std::string& fileName, const struct stat& info)
{
    if (S_ISDIR(info.st_mode)) {
        throw CreateError(fileName, EISDIR);
    }
    if (::access(fileName.c_str(), W_OK) != 0) {
        throw CreateError(fileName, errno);
    }
    // A device or a pipe is written into: a file renamed over it would take its place.
    if (!S_ISREG(info.st_mode)) {
        OpenDirect(fileName);
        return;
    }
    // A symbolic link keeps pointing at the file it names, which gets the new content.
    if (char* resolved = ::realpath(fileName.c_str(), nullptr)) {
        FFileName = resolved;
        std::free(resolved);
    }
    if (!RenameWouldChangeFile(info)) {
        const int error = OpenBeside(&info);
        if (error == 0) {
            return;
        }
        // A folder that takes no new file, or a group the writer cannot give, still lets the file
        // be written.
        if (error != EACCES && error != EPERM) {
            throw CreateError(fileName, error);
        }
    }
    OpenInPlace(fileName);
}

int TSafeFileWriter::OpenBeside(const struct stat* existing)
{
    static std::atomic<uint32_t> counter{0};
    const std::string folder = ExtractFilePath(FFileName);
    const std::string base = ExtractFileName(FFileName).substr(0, MaxBaseNameInTempName);
    // Unlike the library's temporary files this one has a name from the start: it is renamed over
    // the target, which takes a name in the target's folder. A process killed while writing leaves
    // it there, hidden, and the target as it was.
    int error = 0;
    for (int attempt = 0; attempt < 100 && FHandle < 0; ++attempt) {
        FTempName =
            folder + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        FHandle = ::open(FTempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = errno;
        if (FHandle < 0 && error != EEXIST) {
            break;
        }
    }
    if (FHandle < 0) {
        FTempName.clear();
        return error;
    }
    if (existing != nullptr && !TakeGroupAndMode(FHandle, *existing)) {
        Discard();
        return EPERM;
    }
    FStream = std::make_unique<THandleStream>(FHandle);
    return 0;
}

void TSafeFileWriter::OpenInPlace(const std::string& fileName)
{
    FTargetHandle = ::open(fileName.c_str(), O_WRONLY | O_CLOEXEC);
    if (FTargetHandle < 0) {
        throw CreateError(fileName, errno);
    }
    // The content is gathered in a file of the library's own until it is complete.
    FHandle = Daduvudez::KVOpenTempFile();
    if (FHandle < 0) {
        const int error = errno;
        Discard();
        throw CreateError(fileName, error);
    }
    FStream = std::make_unique<THandleStream>(FHandle);
}

void TSafeFileWriter::OpenDirect(const std::string& fileName)
{
    FHandle = ::open(fileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (FHandle < 0) {
        throw CreateError(fileName, errno);
    }
    FStream = std::make_unique<THandleStream>(FHandle);
}

TSafeFileWriter::~TSafeFileWriter()
{
    Discard();
}

void TSafeFileWriter::Commit()
{
    FStream.reset();
    if (FTargetHandle >= 0) {
        CommitInPlace();
        return;
    }
    const bool closed = ::close(FHandle) == 0;
    const int closeError = errno;
    FHandle = -1;
    if (!closed) {
        Discard();
        throw CreateError(FFileName, closeError);
    }
    if (!FTempName.empty() && ::rename(FTempName.c_str(), FFileName.c_str()) != 0) {
        const int error = errno;
        Discard();
        throw CreateError(FFileName, error);
    }
    FTempName.clear();
}

void TSafeFileWriter::CommitInPlace()
{
    int error = OverwriteTarget();
    if (::close(FTargetHandle) != 0 && error == 0) {
        error = errno;
    }
    FTargetHandle = -1;
    Discard();
    if (error != 0) {
        throw CreateError(FFileName, error);
    }
}

// Room for the whole content is taken before its first byte replaces one of the file's, where
// the file system can set it aside, so that a full disk or a size limit leaves the file as it
// was.
int TSafeFileWriter::OverwriteTarget()
{
    THandleStream content(FHandle);
    THandleStream target(FTargetHandle);
    const int64_t size = content.Size();
    if (size > 0 && ::fallocate(FTargetHandle, 0, 0, size) != 0) {
        if (errno != EOPNOTSUPP && errno != ENOSYS) {
            return errno;
        }
        // Growing the file first meets at least a size limit before anything is overwritten.
        if (size > target.Size() && ::ftruncate(FTargetHandle, size) != 0) {
            return errno;
        }
    }
    errno = 0;
    try {
        target.SetPosition(0);
        target.CopyFrom(content, 0);
        target.SetSize(size);
    } catch (const EStreamError&) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

void TSafeFileWriter::Finish(bool ok)
{
    if (ok) {
        Commit();
    } else {
        Discard();
    }
}

void TSafeFileWriter::Discard()
{
    FStream.reset();
    for (int* handle : {&FHandle, &FTargetHandle}) {
        if (*handle >= 0) {
            ::close(*handle);
            *handle = -1;
        }
    }
    if (!FTempName.empty()) {
        ::unlink(FTempName.c_str());
        FTempName.clear();
    }
}

void LoadWholeFile(const std::string& fileName, TMemoryStream& memory)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    memory.CopyFrom(file, 0);
    memory.SetPosition(0);
}

void SaveWholeFile(const std::string& fileName, TMemoryStream& memory)
{
    if (memory.Size() == 0) {
        return;
    }
    TSafeFileWriter file(fileName);
    memory.SetPosition(0);
    file.Stream().CopyFrom(memory, 0);
    file.Commit();
}

} // namespace Korvaneio::detail
