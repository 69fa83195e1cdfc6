// Files written by the save front ends: the content goes to a temporary file beside the target
// and replaces it only once complete, so that a failed save neither truncates an earlier file
// nor leaves a partial one.
#include "imaging/io/detail/io_work.h"
#include "platform/core/exceptions.h"
#include "platform/core/system.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Korvaneio::detail {

namespace {

// Long names are cut so that the temporary name stays within the file system's limit.
constexpr size_t MaxBaseNameInTempName = 160;

EFCreateError CreateError(const std::string& fileName, int error)
{
    return EFCreateError("Cannot create file \"" + fileName + "\". " + SysErrorMessage(error));
}

} // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& fileName) : FFileName(fileName)
{
    static std::atomic<uint32_t> counter{0};

    struct stat info
    {
    };
    const bool exists = ::stat(fileName.c_str(), &info) == 0;
    if (exists) {
        if (S_ISDIR(info.st_mode)) {
            throw CreateError(fileName, EISDIR);
        }
        if (::access(fileName.c_str(), W_OK) != 0) {
            throw CreateError(fileName, errno);
        }
        // A device or a pipe is written into: a file renamed over it would take its place.
        if (!S_ISREG(info.st_mode)) {
            OpenInPlace(fileName);
            return;
        }
        // A symbolic link keeps pointing at the file it names, which gets the new content.
        if (char* resolved = ::realpath(fileName.c_str(), nullptr)) {
            FFileName = resolved;
            std::free(resolved);
        }
    }
    const size_t slash = FFileName.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : FFileName.substr(0, slash + 1);
    const std::string base =
        FFileName.substr(slash == std::string::npos ? 0 : slash + 1, MaxBaseNameInTempName);
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
        throw CreateError(fileName, error);
    }
    if (exists) {
        ::fchmod(FHandle, info.st_mode & 07777);
    }
    FStream = std::make_unique<THandleStream>(FHandle);
}

void TSafeFileWriter::OpenInPlace(const std::string& fileName)
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
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
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
