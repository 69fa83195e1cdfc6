// The file writer: a content beside the file, renamed over it or copied into it once whole, and
// flushed where a power cut could otherwise cost the user the file.
#include "platform/core/safe_file_writer.h"

#include "platform/core/detail/write_error.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/system.h"
#include "platform/core/tempfiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Long names are cut so that the content's name stays within the file system's limit, and carry
// a hash of the whole name instead.
constexpr size_t MaxBaseNameInTempName = 160;
// A content beside a file takes the first free of these names; a commit probes them all.
constexpr int BesideNames = 8;
// Tries of random names once the series is taken.
constexpr int RandomNameTries = 100;
// As many links as the system follows in one name.
constexpr int MaxLinksFollowed = 40;
constexpr char TempNameMark[] = ".saving-";
constexpr char TempNameEnd[] = ".tmp";
// How long a copy into a file waits for another holder of the file's lock.
constexpr auto LockWait = std::chrono::seconds(10);

EFCreateError CreateError(const std::string& FileName, int Error)
{
    return EFCreateError(kvcore_detail::FileCallMessage("Cannot create file", FileName, Error));
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

// 64-bit FNV-1a: a hash that stays the same from one build and one machine to the next, as the
// names of leftovers must.
uint64_t NameHash(const std::string& Name)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : Name) {
        hash = (hash ^ uint8_t(c)) * 0x100000001b3u;
    }
    return hash;
}

std::string Hex(uint64_t Value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (size_t at = text.size(); at-- > 0; Value >>= 4) {
        text[at] = digits[Value & 15];
    }
    return text;
}

// Every name the writer gives a content beside FileName starts so: "." and the name, or for a
// long name its first bytes (cut between characters), "~" and the hash of the whole; then
// ".saving-". A cut name's part is longer than any name that is not cut, so no two files share
// it.
std::string TempNameStart(const std::string& FileName)
{
    const std::string name = ExtractFileName(FileName);
    // Appended one piece at a time: GCC 12's -O3 sees a false overlap in "." + temporary.
    std::string start(".");
    if (name.size() <= MaxBaseNameInTempName) {
        start.append(name);
    } else {
        size_t cut = MaxBaseNameInTempName;
        while (cut > 0 && (uint8_t(name[cut]) & 0xc0) == 0x80) {
            --cut;
        }
        start.append(name, 0, cut);
        start.push_back('~');
        start.append(Hex(NameHash(name)));
    }
    start.append(TempNameMark);
    return start;
}

// The Index-th name of FileName's series, without the folder.
std::string SeriesName(const std::string& FileName, int Index)
{
    return TempNameStart(FileName) + std::to_string(Index) + TempNameEnd;
}

// A name a content of FileName takes where the series is taken: a number no one can foresee.
std::string RandomName(const std::string& FileName)
{
    return TempNameStart(FileName) + Hex((uint64_t(::arc4random()) << 32) | ::arc4random()) + TempNameEnd;
}

bool IsRandomName(const std::string& Name, const std::string& Start)
{
    const size_t endLength = sizeof TempNameEnd - 1;
    return Name.size() == Start.size() + 16 + endLength && Name.compare(0, Start.size(), Start) == 0 &&
           Name.compare(Name.size() - endLength, endLength, TempNameEnd) == 0 &&
           Name.find_first_not_of("0123456789abcdef", Start.size()) == Name.size() - endLength;
}

// A content beside its file is locked while its writer lives, and the lock goes with the process
// however it ends: a content whose lock can be taken was left by a save that was killed. Only the
// user's own are removed: in a folder that all may write into, another user's file may merely
// look like one. A read-only content is the user's too: the lock needs no right to write. True
// when the name is free, false when something stays under it.
bool RemoveIfLeftover(int Folder, const char* Name)
{
    const auto isOwnFile = [](const struct stat& info) {
        return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    };
    struct stat named
    {
    };
    if (::fstatat(Folder, Name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (!isOwnFile(named)) {
        return false;
    }
    int handle = ::openat(Folder, Name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0 && errno == EACCES) {
        handle = ::openat(Folder, Name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    if (handle < 0) {
        return false;
    }
    struct stat held
    {
    };
    bool removed = false;
    if (::flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &held) == 0 && isOwnFile(held) &&
        ::fstatat(Folder, Name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
        named.st_dev == held.st_dev) {
        removed = ::unlinkat(Folder, Name, 0) == 0;
    }
    ::close(handle);
    return removed;
}

// Removes the leftovers of FileName: the names of its series are probed one by one, so that a
// save costs the same in a folder of any size. A content takes a random name only when it finds
// the series taken, and the folder is listed for those only when a name of the series stays
// taken, or when this save itself found it so.
void RemoveLeftovers(const std::string& FileName, bool TookRandomName)
{
    const std::string folder = ExtractFilePath(FileName);
    const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        return;
    }
    bool taken = TookRandomName;
    for (int index = 0; index < BesideNames; ++index) {
        if (!RemoveIfLeftover(handle, SeriesName(FileName, index).c_str())) {
            taken = true;
        }
    }
    const int listed = taken ? ::openat(handle, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr) {
        const std::string start = TempNameStart(FileName);
        while (const dirent* entry = ::readdir(dir)) {
            if (IsRandomName(entry->d_name, start)) {
                RemoveIfLeftover(handle, entry->d_name);
            }
        }
        ::closedir(dir);
    } else if (listed >= 0) {
        ::close(listed);
    }
    ::close(handle);
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

// Takes room for a range of the file without changing its size; a file system that takes no room
// in advance gives it as the copy goes.
int Reserve(int Handle, int64_t Start, int64_t Length)
{
    if (::fallocate(Handle, FALLOC_FL_KEEP_SIZE, Start, Length) == 0 || errno == EOPNOTSUPP ||
        errno == ENOSYS) {
        return 0;
    }
    return errno;
}

// Takes room for what the file does not have yet before its first byte changes: the holes within
// the part that the content covers, and what lies beyond the file's end; and checks the content
// against the process's file size limit, which the copy would otherwise meet part-way. Blocks it
// has are not asked for again, as XFS would count them anew. A reservation that fails keeps what
// it took, which reads as the holes did: giving it back would punch out, or cut off, what another
// program wrote there meanwhile.
int ReserveRoom(int Handle, int64_t OldSize, int64_t Size)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        uint64_t(Size) > limit.rlim_cur) {
        return EFBIG;
    }
    const int64_t covered = std::min(OldSize, Size);
    for (int64_t at = 0; at < covered;) {
        // A file system that cannot tell holes says the file has none.
        const off_t hole = ::lseek(Handle, at, SEEK_HOLE);
        if (hole < 0 || hole >= covered) {
            break;
        }
        const off_t data = ::lseek(Handle, hole, SEEK_DATA);
        const int64_t end = data < 0 ? covered : std::min<int64_t>(data, covered);
        if (const int error = Reserve(Handle, hole, end - hole)) {
            return error;
        }
        at = end;
    }
    return Size > OldSize ? Reserve(Handle, OldSize, Size - OldSize) : 0;
}

// Another save of the file waits until this one's copy is complete, so that the file ends as one
// save's content; a reader may hold the lock too. False when another holds it past the wait; a
// file system without locks goes on unlocked.
bool LockForTheCopy(int Handle)
{
    const auto end = std::chrono::steady_clock::now() + LockWait;
    auto pause = std::chrono::milliseconds(1);
    while (::flock(Handle, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= end) {
            return errno != EWOULDBLOCK;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return true;
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
    // Unlike the library's temporary files this one has a name from the start: it is renamed over
    // the file, which takes a name in the file's folder, or it keeps the content whole while the
    // file is overwritten.
    const std::string folder = ExtractFilePath(FFileName);
    int index = 0;
    for (int attempt = 0; attempt < BesideNames + RandomNameTries; ++attempt) {
        // Where the series is taken (by other saves, or by another user's files), numbers no one
        // can foresee.
        const bool random = index >= BesideNames;
        const std::string name = folder + (random ? RandomName(FFileName) : SeriesName(FFileName, index));
        const int handle = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
        if (handle < 0 && errno == EEXIST) {
            ++index;
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
        FTookRandomName = random;
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
    RemoveLeftovers(FFileName, FTookRandomName);
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
    // Waiting past the bound would leave the user with no word of why the save does not end.
    const bool heldByAnother = error == 0 && !LockForTheCopy(FTargetHandle);
    bool changed = false;
    if (error == 0 && !heldByAnother) {
        error = OverwriteTarget(changed);
    }
    if (heldByAnother) {
        Discard();
        throw EFCreateError(kvcore_detail::CannotWriteMessage(FShownName, "Another program holds it"));
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
    RemoveLeftovers(FFileName, FTookRandomName);
}

int TSafeFileWriter::OverwriteTarget(bool& Changed)
{
    THandleStream content(FHandle);
    THandleStream target(FTargetHandle);
    const int64_t size = content.Size();
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
