// The file writer: a content beside the file, renamed over it or copied into it once whole, and
// flushed where a power cut could otherwise cost the user the file.
#include "platform/core/safe_file_writer.h"

#include "platform/core/detail/safe_file_writer.h"
#include "platform/core/detail/write_error.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/system.h"
#include "platform/core/tempfiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace kvcore_detail {

bool (*gBeforeRenameHook)(const std::string& TempFileName) = nullptr;

} // namespace kvcore_detail

namespace {

// Long names are cut so that the content's name stays within the file system's limit.
constexpr size_t MaxBaseNameInTempName = 160;
// As many links as the system follows in one name.
constexpr int MaxLinksFollowed = 40;
constexpr char TempNameEnd[] = ".tmp";

EFCreateError CreateError(const std::string& FileName, int Error)
{
    return EFCreateError("Cannot create file \"" + FileName + "\". " + SysErrorMessage(Error));
}

EFCreateError WriteError(const std::string& FileName, int Error, const std::string& More = std::string())
{
    return EFCreateError(kvcore_detail::CannotWriteMessage(FileName, Error) + More);
}

// The name a chain of symbolic links ends in; the name itself when it is no link.
std::string LastNameOfLinks(const std::string& FileName)
{
    std::string name = FileName;
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
bool RenameWouldChangeFile(const struct stat& Info)
{
    return Info.st_nlink > 1 || Info.st_uid != ::geteuid();
}

// Every name the writer gives a content beside FileName starts so: ".name." (then the process,
// "-", a count and ".tmp").
std::string TempNameStart(const std::string& FileName)
{
    // Appended one piece at a time: GCC 12's -O3 sees a false overlap in "." + temporary.
    std::string start(".");
    start.append(ExtractFileName(FileName), 0, MaxBaseNameInTempName);
    start.push_back('.');
    return start;
}

bool IsTempName(const std::string& Name, const std::string& Start)
{
    const size_t endLength = sizeof TempNameEnd - 1;
    if (Name.size() <= Start.size() + endLength || Name.compare(0, Start.size(), Start) != 0 ||
        Name.compare(Name.size() - endLength, endLength, TempNameEnd) != 0) {
        return false;
    }
    const std::string numbers = Name.substr(Start.size(), Name.size() - Start.size() - endLength);
    const size_t dash = numbers.find('-');
    const auto digits = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    return dash != std::string::npos && digits(numbers.substr(0, dash)) && digits(numbers.substr(dash + 1));
}

// A content beside its file is locked while its writer lives, and the lock goes with the process
// however it ends: a content whose lock can be taken was left by a save that was killed. Only the
// user's own are removed: in a folder that all may write into, another user's file may merely
// look like one.
void RemoveLeftovers(const std::string& FileName)
{
    const std::string folder = ExtractFilePath(FileName);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const std::string start = TempNameStart(FileName);
    const auto isOwnFile = [](const struct stat& info) {
        return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    };
    while (const dirent* entry = ::readdir(dir)) {
        struct stat named
        {
        };
        if (!IsTempName(entry->d_name, start) ||
            ::fstatat(::dirfd(dir), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !isOwnFile(named)) {
            continue;
        }
        const int handle =
            ::openat(::dirfd(dir), entry->d_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0) {
            continue;
        }
        struct stat held
        {
        };
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &held) == 0 && isOwnFile(held) &&
            ::fstatat(::dirfd(dir), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
        ::close(handle);
    }
    ::closedir(dir);
}

// Reads an attribute list or value that Read(buffer, size) gives, as the xattr calls do; false,
// errno set, when it cannot be read.
template <typename TRead> bool ReadAttributeBytes(std::string& Bytes, TRead Read)
{
    // Another process may change the attribute between asking its size and reading it.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const ssize_t size = Read(nullptr, 0);
        if (size <= 0) {
            Bytes.clear();
            return size == 0;
        }
        Bytes.resize(size_t(size));
        const ssize_t got = Read(Bytes.data(), Bytes.size());
        if (got >= 0) {
            Bytes.resize(size_t(got));
            return true;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
    return false;
}

std::vector<std::string> SplitNames(const std::string& List)
{
    std::vector<std::string> names;
    for (size_t at = 0; at < List.size();) {
        const size_t end = std::min(List.find('\0', at), List.size());
        names.push_back(List.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

// Gives the file open as Handle the extended attributes of FileName, the POSIX ACL among them, and
// removes those FileName lacks (an ACL that the folder's default gave the new file). An attribute
// already alike is left alone, as a security label the system gave it. False when one cannot be
// read, given or removed.
bool CopyAttributes(const std::string& FileName, int Handle)
{
    const char* name = FileName.c_str();
    std::string fileList;
    if (!ReadAttributeBytes(fileList, [&](char* to, size_t size) { return ::llistxattr(name, to, size); })) {
        // A file system without attributes gives the new file none either.
        return errno == ENOTSUP;
    }
    std::string madeList;
    if (!ReadAttributeBytes(madeList,
                            [&](char* to, size_t size) { return ::flistxattr(Handle, to, size); })) {
        return false;
    }
    const std::vector<std::string> wanted = SplitNames(fileList);
    for (const std::string& attribute : wanted) {
        const char* key = attribute.c_str();
        std::string value;
        std::string made;
        if (!ReadAttributeBytes(value,
                                [&](char* to, size_t size) { return ::lgetxattr(name, key, to, size); })) {
            return false;
        }
        const bool alike =
            ReadAttributeBytes(made,
                               [&](char* to, size_t size) { return ::fgetxattr(Handle, key, to, size); }) &&
            made == value;
        if (!alike && ::fsetxattr(Handle, key, value.data(), value.size(), 0) != 0) {
            return false;
        }
    }
    for (const std::string& attribute : SplitNames(madeList)) {
        if (std::find(wanted.begin(), wanted.end(), attribute) == wanted.end() &&
            ::fremovexattr(Handle, attribute.c_str()) != 0) {
            return false;
        }
    }
    return true;
}

// Some file systems report a failed write only when the file is closed: a second descriptor is
// closed to learn it, while the first keeps the content's lock until it has its name.
int CloseError(int Handle)
{
    const int copy = ::dup(Handle);
    if (copy < 0) {
        return errno;
    }
    return ::close(copy) == 0 ? 0 : errno;
}

// A new name, or a name taken away, reaches the disk with its folder.
void FlushFolder(const std::string& FileName)
{
    const std::string folder = ExtractFilePath(FileName);
    const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle >= 0) {
        ::fsync(handle);
        ::close(handle);
    }
}

// Takes room for what the file does not have yet, what lies beyond its end, before its first byte
// changes. Blocks it has are not asked for again, as XFS would count them anew. When the file
// system cannot give it all, it gets back what it gave: the file keeps its size, and its blocks.
// A hole the file has takes its room only as the copy fills it.
int ReserveRoom(int Handle, int64_t OldSize, int64_t Size)
{
    if (Size <= OldSize || ::fallocate(Handle, 0, OldSize, Size - OldSize) == 0) {
        return 0;
    }
    const int error = errno;
    if (error == EOPNOTSUPP || error == ENOSYS) {
        // Growing the file first meets at least a size limit before anything is overwritten.
        return ::ftruncate(Handle, Size) != 0 ? errno : 0;
    }
    ::ftruncate(Handle, OldSize);
    return error;
}

// Another save of the file waits until this one's copy is complete, so that the file ends as one
// save's content; a file system without locks goes on unlocked.
void LockForTheCopy(int Handle)
{
    while (::flock(Handle, LOCK_EX) != 0 && errno == EINTR) {
    }
}

} // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& FileName, mode_t NewFileMode)
    : FShownName(FileName), FFileName(FileName)
{
    struct stat info
    {
    };
    if (::stat(FileName.c_str(), &info) == 0) {
        OpenExisting(FileName, info);
    } else {
        OpenNew(FileName, errno, NewFileMode);
    }
    FStream = std::make_unique<THandleStream>(FHandle, FShownName);
}

void TSafeFileWriter::OpenNew(const std::string& FileName, int StatError, mode_t Mode)
{
    // Through a symbolic link whose target does not exist yet, that target is made, and the link
    // stays; unless the system refused to follow the link (EACCES: another user's link in a
    // folder that all may write into).
    if (StatError == ENOENT) {
        FFileName = LastNameOfLinks(FileName);
    }
    if (const int error = OpenBeside(Mode)) {
        throw CreateError(FileName, error);
    }
}

void TSafeFileWriter::OpenExisting(const std::string& FileName, const struct stat& Info)
{
    if (S_ISDIR(Info.st_mode)) {
        throw CreateError(FileName, EISDIR);
    }
    if (::access(FileName.c_str(), W_OK) != 0) {
        throw CreateError(FileName, errno);
    }
    // A device or a pipe is written into: a file renamed over it would take its place.
    if (!S_ISREG(Info.st_mode)) {
        OpenDirect(FileName);
        return;
    }
    // A symbolic link keeps pointing at the file it names, which gets the new content.
    if (char* resolved = ::realpath(FileName.c_str(), nullptr)) {
        FFileName = resolved;
        std::free(resolved);
    }
    const int error = OpenBeside(0600);
    if (error == 0 && !RenameWouldChangeFile(Info) && TakeWhatTheFileHas(Info)) {
        FReplacing = true;
        return;
    }
    // A folder that takes no new file still lets the file be written.
    if (error != 0 && error != EACCES && error != EPERM) {
        throw CreateError(FileName, error);
    }
    OpenInPlace(FileName);
}

int TSafeFileWriter::OpenBeside(mode_t Mode)
{
    static std::atomic<uint32_t> counter{0};
    // Unlike the library's temporary files this one has a name from the start: it is renamed over
    // the file, which takes a name in the file's folder, or it keeps the content whole while the
    // file is overwritten.
    const std::string start =
        ExtractFilePath(FFileName) + TempNameStart(FFileName) + std::to_string(::getpid()) + "-";
    bool taken = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Where another user took the names that follow, numbers no one can foresee.
        const uint64_t number = taken ? (uint64_t(::arc4random()) << 32) | ::arc4random() : counter++;
        const std::string name = start + std::to_string(number) + TempNameEnd;
        const int handle = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
        if (handle < 0 && errno == EEXIST) {
            taken = true;
            continue;
        }
        if (handle < 0) {
            return errno;
        }
        // Where the file system takes no lock, no save takes this content for a leftover either.
        ::flock(handle, LOCK_EX);
        struct stat info
        {
        };
        if (::fstat(handle, &info) == 0 && info.st_nlink == 0) {
            // Another save took it for a leftover between its making and its lock.
            ::close(handle);
            continue;
        }
        FHandle = handle;
        FTempName = name;
        return 0;
    }
    return EEXIST;
}

bool TSafeFileWriter::TakeWhatTheFileHas(const struct stat& Info)
{
    struct stat made
    {
    };
    if (::fstat(FHandle, &made) != 0) {
        return false;
    }
    // The writer may give only a group it is in.
    if (made.st_gid != Info.st_gid && ::fchown(FHandle, static_cast<uid_t>(-1), Info.st_gid) != 0) {
        return false;
    }
    // The mode before the ACL, whose mask the mode's group bits then show again.
    return ::fchmod(FHandle, Info.st_mode & 07777) == 0 && CopyAttributes(FFileName, FHandle);
}

void TSafeFileWriter::OpenInPlace(const std::string& FileName)
{
    FTargetHandle = ::open(FFileName.c_str(), O_WRONLY | O_CLOEXEC);
    if (FTargetHandle < 0) {
        const int error = errno;
        Discard();
        throw CreateError(FileName, error);
    }
    if (FHandle < 0) {
        FHandle = OpenUnnamedTempFile(GetTempPath(), "kvsave");
        if (FHandle < 0) {
            const int error = errno;
            Discard();
            throw CreateError(FileName, error);
        }
    }
}

void TSafeFileWriter::OpenDirect(const std::string& FileName)
{
    FHandle = ::open(FileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (FHandle < 0) {
        throw CreateError(FileName, errno);
    }
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
    } else if (!FTempName.empty()) {
        CommitRenamed();
    } else {
        const int error = ::close(FHandle) == 0 ? 0 : errno;
        FHandle = -1;
        if (error != 0) {
            throw WriteError(FShownName, error);
        }
    }
}

void TSafeFileWriter::CommitRenamed()
{
    int error = CloseError(FHandle);
    // Else a power cut could leave the name on a file whose blocks were never written.
    if (error == 0 && FReplacing && ::fdatasync(FHandle) != 0) {
        error = errno;
    }
    if (error == 0 && kvcore_detail::gBeforeRenameHook && !kvcore_detail::gBeforeRenameHook(FTempName)) {
        ::close(FHandle);
        FHandle = -1;
        FTempName.clear();
        throw WriteError(FShownName, ECANCELED);
    }
    if (error == 0 && ::rename(FTempName.c_str(), FFileName.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        Discard();
        throw WriteError(FShownName, error);
    }
    FTempName.clear();
    if (FReplacing) {
        FlushFolder(FFileName);
    }
    Discard();
    RemoveLeftovers(FFileName);
}

void TSafeFileWriter::CommitInPlace()
{
    int error = 0;
    if (!FTempName.empty()) {
        // The content keeps its name beside the file, after a power cut too, until the copy is
        // whole.
        error = ::fdatasync(FHandle) == 0 ? 0 : errno;
        if (error == 0) {
            FlushFolder(FFileName);
        }
    }
    bool changed = false;
    if (error == 0) {
        error = OverwriteTarget(changed);
    }
    if (::close(FTargetHandle) != 0 && error == 0) {
        error = errno;
    }
    FTargetHandle = -1;
    if (error != 0 && changed && !FTempName.empty()) {
        // The file is cut: its new content stays whole beside it, until a save of it commits.
        const std::string kept = FTempName;
        FTempName.clear();
        Discard();
        throw WriteError(FShownName, error, " Its new content is in \"" + kept + "\".");
    }
    Discard();
    if (error != 0) {
        throw WriteError(FShownName, error);
    }
    RemoveLeftovers(FFileName);
}

int TSafeFileWriter::OverwriteTarget(bool& Changed)
{
    THandleStream content(FHandle);
    THandleStream target(FTargetHandle);
    const int64_t size = content.Size();
    LockForTheCopy(FTargetHandle);
    if (const int error = ReserveRoom(FTargetHandle, target.Size(), size)) {
        return error;
    }
    errno = 0;
    try {
        target.SetPosition(0);
        Changed = true;
        target.CopyFrom(content, 0);
        target.SetSize(size);
    } catch (const EStreamError&) {
        return errno != 0 ? errno : EIO;
    }
    return ::fsync(FTargetHandle) == 0 ? 0 : errno;
}

void TSafeFileWriter::Finish(bool Ok)
{
    if (Ok) {
        Commit();
    } else {
        Discard();
    }
}

void TSafeFileWriter::Discard()
{
    FStream.reset();
    // The name goes before the lock, so that no other save finds the content unlocked.
    if (!FTempName.empty()) {
        ::unlink(FTempName.c_str());
        FTempName.clear();
    }
    for (int* handle : {&FHandle, &FTargetHandle}) {
        if (*handle >= 0) {
            ::close(*handle);
            *handle = -1;
        }
    }
}
