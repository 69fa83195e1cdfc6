// Paths, files, folders, sorted folder listings and the program's own folders.
#include "platform/core/files.h"

#include "platform/core/detail/write_error.h"
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio> // renameat2
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

std::string ExtractFilePath(const std::string& FileName)
{
    size_t slash = FileName.rfind('/');
    return slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
}

std::string ExtractFileDir(const std::string& FileName)
{
    size_t slash = FileName.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash == 0 ? std::string("/") : FileName.substr(0, slash);
}

std::string ExtractFileName(const std::string& FileName)
{
    size_t slash = FileName.rfind('/');
    return slash == std::string::npos ? FileName : FileName.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& FileName)
{
    size_t dot = FileName.find_last_of("./");
    if (dot == std::string::npos || FileName[dot] != '.') {
        return std::string();
    }
    return FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension)
{
    size_t dot = FileName.find_last_of("./");
    if (dot == std::string::npos || FileName[dot] != '.') {
        return FileName + Extension;
    }
    return FileName.substr(0, dot) + Extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& Path)
{
    return (!Path.empty() && Path.back() == '/') ? Path : Path + "/";
}

std::string ExcludeTrailingPathDelimiter(const std::string& Path)
{
    std::string result = Path;
    while (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    return result;
}

std::string ExpandFileName(const std::string& FileName)
{
    if (FileName.empty()) {
        return std::string();
    }
    std::string full =
        FileName[0] == '/' ? FileName : IncludeTrailingPathDelimiter(GetCurrentDir()) + FileName;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= full.size()) {
        size_t slash = full.find('/', start);
        if (slash == std::string::npos) {
            slash = full.size();
        }
        std::string part = full.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    if (result.empty()) {
        return "/";
    }
    const bool folder = full.back() == '/' || ExtractFileName(full) == "." || ExtractFileName(full) == "..";
    return folder ? result + "/" : result;
}

bool FileExists(const std::string& FileName)
{
    struct stat info
    {
    };
    return !FileName.empty() && ::stat(FileName.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& Directory)
{
    struct stat info
    {
    };
    return !Directory.empty() && ::stat(Directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ForceDirectories(const std::string& Dir)
{
    std::string path = ExcludeTrailingPathDelimiter(Dir);
    if (path.empty()) {
        return false;
    }
    if (DirectoryExists(path)) {
        return true;
    }
    std::string parent = ExtractFileDir(path);
    if (!parent.empty() && parent != path && !ForceDirectories(parent)) {
        return false;
    }
    return CreateDir(path) || DirectoryExists(path);
}

bool CreateDir(const std::string& Dir)
{
    return !Dir.empty() && ::mkdir(Dir.c_str(), 0777) == 0;
}

bool RemoveDir(const std::string& Dir)
{
    return !Dir.empty() && ::rmdir(Dir.c_str()) == 0;
}

bool DeleteFile(const std::string& FileName)
{
    struct stat info
    {
    };
    if (FileName.empty() || ::lstat(FileName.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return false;
    }
    return ::unlink(FileName.c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName)
{
    if (OldName.empty() || NewName.empty()) {
        return false;
    }
    if (::renameat2(AT_FDCWD, OldName.c_str(), AT_FDCWD, NewName.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace flag: check, then rename.
    struct stat info
    {
    };
    if (::lstat(NewName.c_str(), &info) == 0) {
        return false;
    }
    return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

namespace {

// What can be read from Source (ExistingFileName) becomes the file's new content, through the one
// file writer: a copy that fails, for want of room or a read error, leaves the file as it was.
bool WriteCopy(int Source, const std::string& ExistingFileName, const std::string& FileName,
               mode_t NewFileMode, TCopyFailure& Failure)
{
    try {
        TSafeFileWriter file(FileName, NewFileMode);
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t got = ::read(Source, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                Failure = {ExistingFileName,
                           kvcore_detail::FileCallMessage("Cannot read file", ExistingFileName, errno)};
                return false;
            }
            if (got == 0) {
                break;
            }
            file.Stream().WriteBuffer(buffer.data(), got);
        }
        file.Commit();
        return true;
    } catch (const EStreamError& error) {
        Failure = {FileName, error.what()};
        return false;
    }
}

} // namespace

bool CopyFile(const std::string& ExistingFileName, const std::string& NewFileName, bool FailIfExists)
{
    TCopyFailure failure;
    return CopyFile(ExistingFileName, NewFileName, FailIfExists, failure);
}

bool CopyFile(const std::string& ExistingFileName, const std::string& NewFileName, bool FailIfExists,
              TCopyFailure& Failure)
{
    int source = ::open(ExistingFileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        Failure = {ExistingFileName,
                   kvcore_detail::FileCallMessage("Cannot open file", ExistingFileName, errno)};
        return false;
    }
    struct stat sourceInfo
    {
    };
    if (::fstat(source, &sourceInfo) != 0 || S_ISDIR(sourceInfo.st_mode)) {
        const int error = S_ISDIR(sourceInfo.st_mode) ? EISDIR : errno;
        Failure = {ExistingFileName,
                   kvcore_detail::FileCallMessage("Cannot open file", ExistingFileName, error)};
        ::close(source);
        return false;
    }
    struct stat targetInfo
    {
    };
    if (::stat(NewFileName.c_str(), &targetInfo) == 0 &&
        (FailIfExists ||
         (targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino))) {
        Failure = {NewFileName, kvcore_detail::FileCallMessage("Cannot create file", NewFileName, EEXIST)};
        ::close(source);
        return false;
    }
    const bool copied = WriteCopy(source, ExistingFileName, NewFileName, sourceInfo.st_mode & 07777, Failure);
    ::close(source);
    if (copied) {
        ::chmod(NewFileName.c_str(), sourceInfo.st_mode & 07777);
        struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
        ::utimensat(AT_FDCWD, NewFileName.c_str(), times, 0);
    }
    return copied;
}

int64_t FileAge(const std::string& FileName)
{
    struct stat info
    {
    };
    if (FileName.empty() || ::stat(FileName.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<int64_t>(info.st_mtime);
}

int64_t FileSize(const std::string& FileName)
{
    struct stat info
    {
    };
    if (FileName.empty() || ::stat(FileName.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<int64_t>(info.st_size);
}

namespace {

int32_t AttributesOf(const std::string& Name, const struct stat& Info, bool IsLink)
{
    int32_t attr = 0;
    if (S_ISDIR(Info.st_mode)) {
        attr |= faDirectory;
    } else if (S_ISREG(Info.st_mode)) {
        attr |= faArchive;
    } else {
        attr |= faSysFile;
    }
    if ((Info.st_mode & S_IWUSR) == 0) {
        attr |= faReadOnly;
    }
    if (!Name.empty() && Name[0] == '.') {
        attr |= faHidden;
    }
    if (IsLink) {
        attr |= faSymLink;
    }
    return attr;
}

// Lays entries out in the listing order: folded case first, then bytes.
bool ListingOrder(const TDirEntry& A, const TDirEntry& B)
{
    int folded = CompareText(A.Name, B.Name);
    return folded != 0 ? folded < 0 : A.Name < B.Name;
}

} // namespace

int32_t FileGetAttr(const std::string& FileName)
{
    struct stat linkInfo
    {
    };
    if (FileName.empty() || ::lstat(FileName.c_str(), &linkInfo) != 0) {
        return -1;
    }
    const bool isLink = S_ISLNK(linkInfo.st_mode);
    struct stat info = linkInfo;
    if (isLink && ::stat(FileName.c_str(), &info) != 0) {
        info = linkInfo; // a dangling link describes itself
    }
    return AttributesOf(ExtractFileName(ExcludeTrailingPathDelimiter(FileName)), info, isLink);
}

std::string GetCurrentDir()
{
    std::vector<char> buffer(PATH_MAX + 1);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

bool SetCurrentDir(const std::string& Dir)
{
    return !Dir.empty() && ::chdir(Dir.c_str()) == 0;
}

namespace {

bool MatchFrom(const std::string& Name, size_t N, const std::string& Mask, size_t M)
{
    // Iterative wildcard match with one backtracking point for the last "*".
    size_t starMask = std::string::npos;
    size_t starName = 0;
    while (N < Name.size()) {
        if (M < Mask.size() && Mask[M] == '*') {
            starMask = M++;
            starName = N;
        } else if (M < Mask.size() &&
                   (Mask[M] == '?' || CompareText(std::string(1, Mask[M]), std::string(1, Name[N])) == 0)) {
            ++M;
            ++N;
        } else if (starMask != std::string::npos) {
            M = starMask + 1;
            N = ++starName;
        } else {
            return false;
        }
    }
    while (M < Mask.size() && Mask[M] == '*') {
        ++M;
    }
    return M == Mask.size();
}

} // namespace

bool MatchesMask(const std::string& FileName, const std::string& Mask)
{
    if (MatchFrom(FileName, 0, Mask, 0)) {
        return true;
    }
    // "name.*" also matches a name without any dot, as folder searches always did.
    if (Mask.size() >= 2 && Mask.compare(Mask.size() - 2, 2, ".*") == 0 &&
        FileName.find('.') == std::string::npos) {
        return MatchFrom(FileName, 0, Mask.substr(0, Mask.size() - 2), 0);
    }
    return false;
}

std::vector<TDirEntry> ListDirectory(const std::string& Dir)
{
    std::vector<TDirEntry> entries;
    std::string folder = IncludeTrailingPathDelimiter(Dir.empty() ? std::string(".") : Dir);
    DIR* handle = ::opendir(folder.c_str());
    if (!handle) {
        return entries;
    }
    while (dirent* item = ::readdir(handle)) {
        std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::string path = folder + name;
        struct stat linkInfo
        {
        };
        if (::lstat(path.c_str(), &linkInfo) != 0) {
            continue; // gone since readdir
        }
        const bool isLink = S_ISLNK(linkInfo.st_mode);
        struct stat info = linkInfo;
        if (isLink && ::stat(path.c_str(), &info) != 0) {
            info = linkInfo;
        }
        TDirEntry entry;
        entry.Name = name;
        entry.Attr = AttributesOf(name, info, isLink);
        entry.Size = S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0;
        entry.Time = static_cast<int64_t>(info.st_mtime);
        entries.push_back(std::move(entry));
    }
    ::closedir(handle);
    std::sort(entries.begin(), entries.end(), ListingOrder);
    return entries;
}

namespace {

void TakeNext(TSearchRec& F)
{
    TDirEntry entry = std::move(F.Pending.front());
    F.Pending.erase(F.Pending.begin());
    F.Name = std::move(entry.Name);
    F.Attr = entry.Attr;
    F.Size = entry.Size;
    F.Time = entry.Time;
}

} // namespace

int FindFirst(const std::string& Path, int32_t Attr, TSearchRec& F)
{
    F = TSearchRec();
    // Hidden, system and folder entries come only when asked for; ordinary files always.
    constexpr int32_t special = faHidden | faSysFile | faVolumeID | faDirectory;
    F.ExcludeAttr = ~Attr & special;
    std::string folder = ExtractFilePath(Path);
    std::string mask = ExtractFileName(Path);
    if (!DirectoryExists(folder.empty() ? std::string(".") : folder)) {
        return ENOENT;
    }
    for (TDirEntry& entry : ListDirectory(folder)) {
        if ((entry.Attr & F.ExcludeAttr) == 0 && MatchesMask(entry.Name, mask)) {
            F.Pending.push_back(std::move(entry));
        }
    }
    if (F.Pending.empty()) {
        return ENOENT;
    }
    TakeNext(F);
    return 0;
}

int FindNext(TSearchRec& F)
{
    if (F.Pending.empty()) {
        return ENOENT;
    }
    TakeNext(F);
    return 0;
}

void FindClose(TSearchRec& F)
{
    F.Pending.clear();
}

std::string ProgramFileName()
{
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return std::string();
    }
    return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string ProgramFolder()
{
    const char* home = std::getenv("PLIMBET_HOME");
    if (home && *home) {
        return IncludeTrailingPathDelimiter(home);
    }
    return ProgramFolderOf(ProgramFileName());
}

std::string ProgramFolderOf(const std::string& ExecutableFileName)
{
    const std::string own = ExtractFilePath(ExecutableFileName);
    const std::string installed =
        std::filesystem::path(own + "../share/plimbet/").lexically_normal().string();
    return !own.empty() && DirectoryExists(installed) ? IncludeTrailingPathDelimiter(installed) : own;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return IncludeTrailingPathDelimiter(home);
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir) {
        return IncludeTrailingPathDelimiter(entry->pw_dir);
    }
    return "/";
}

std::string ConfigFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // The base directory rules ignore a relative value.
    if (config && config[0] == '/') {
        return IncludeTrailingPathDelimiter(config);
    }
    return HomeFolder() + ".config/";
}

std::string DataHomeFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        return IncludeTrailingPathDelimiter(data);
    }
    return HomeFolder() + ".local/share/";
}
