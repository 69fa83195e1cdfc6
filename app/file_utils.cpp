// File-level helpers of the gallery maker.
#include "app/file_utils.h"

#include "app/folder_identity.h"
#include "app/settings.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/core/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

// The home folder of the user a leading "~name" names, as the password database gives it; false
// when no such user exists or has no home.
bool UsersHome(const std::string& User, std::string& Home)
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
    passwd entry{};
    passwd* found = nullptr;
    int error = 0;
    // A database whose entries outgrow the first buffer asks for a larger one.
    while ((error = ::getpwnam_r(User.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (size_t(1) << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
        return false;
    }
    Home = found->pw_dir;
    return true;
}

// Splits a text that starts with "~" into the user's name (empty for the own home) and what
// follows it, "/" included.
void SplitTilde(const std::string& Text, std::string& User, std::string& Rest)
{
    const size_t slash = Text.find('/');
    User = Text.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    Rest = slash == std::string::npos ? std::string() : Text.substr(slash);
}

} // namespace

std::string TypedFolder(const std::string& Text)
{
    if (Trim(Text).empty()) {
        return std::string();
    }
    if (Text[0] != '~') {
        return Text;
    }
    std::string user, rest;
    SplitTilde(Text, user, rest);
    if (user.empty()) {
        return HomeFolder() + (rest.empty() ? rest : rest.substr(1));
    }
    std::string home;
    if (!UsersHome(user, home)) {
        return Text;
    }
    return (rest.empty() ? home : ExcludeTrailingPathDelimiter(home)) + rest;
}

bool NamesNoUsersHome(const std::string& Text)
{
    return !Trim(Text).empty() && TypedFolder(Text)[0] == '~';
}

bool CanListFolder(const std::string& Folder)
{
    if (Folder.empty() || NamesNoUsersHome(Folder)) {
        return false;
    }
    DIR* folder = ::opendir(Folder.c_str());
    if (folder == nullptr) {
        return false;
    }
    ::closedir(folder);
    return true;
}

std::string ImagesFolderProblem(const std::string& ImagesPath)
{
    const std::string folder = IncludeTrailingPathDelimiter(TypedFolder(ImagesPath));
    return CanListFolder(folder) ? std::string() : "Can't find the directory: " + folder;
}

bool ReadTemplateText(const std::string& FileName, std::string& Text, std::string* Reason)
{
    Text.clear();
    const auto fail = [&](int Error) {
        if (Reason != nullptr) {
            *Reason = SysErrorMessage(Error);
        }
        return false;
    };
    if (FileName.empty()) {
        return fail(ENOENT);
    }
    // Not waiting for a writer: a pipe is no page.
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(errno);
    }
    struct stat info
    {
    };
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && S_ISDIR(info.st_mode)) {
        error = EISDIR;
    } else if (error == 0 && !S_ISREG(info.st_mode)) {
        error = EINVAL;
    } else if (error == 0 && info.st_size > MaxTemplateFileSize) {
        error = EFBIG;
    }
    if (error == 0) {
        Text.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < Text.size()) {
            const ssize_t got = ::read(fd, Text.data() + done, Text.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                // A file cut short meanwhile is no whole page.
                error = got < 0 ? errno : EIO;
                break;
            }
            done += static_cast<size_t>(got);
        }
    }
    ::close(fd);
    if (error != 0) {
        Text.clear();
        return fail(error);
    }
    return true;
}

namespace {

// The names in an open folder, "." and ".." left out, in byte order.
std::vector<std::string> EntryNames(DIR* Folder)
{
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(Folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What the process may do past the rights a folder's mode and owner give. Capabilities are the
// thread's own, so they are asked for on the thread that empties.
struct TDeletingRights
{
    uid_t User = ::geteuid();
    // Deletes others' entries in sticky folders.
    bool OwnsEverything = HasEffectiveCapability(CAP_FOWNER);

    static bool HasEffectiveCapability(int Capability)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        return ::syscall(SYS_capget, &header, data) == 0 &&
               (data[Capability / 32].effective & (1u << (Capability % 32))) != 0;
    }
};

bool StatusAt(int FolderFd, const char* Name, int Flags, struct statx& Info)
{
    return ::statx(FolderFd, Name, Flags | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE | STATX_UID, &Info) == 0;
}

// Immutable and append-only entries lose no name, and folders so marked lose no entry.
bool IsUnchangeable(const struct statx& Info)
{
    return (Info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
}

// Whether entries can be deleted from the folder open as Fd: it can be written and searched, or
// it is the user's own, which the emptying opens up first.
bool CanDeleteEntriesOf(int Fd, const struct statx& Info, const TDeletingRights& Rights)
{
    return !IsUnchangeable(Info) &&
           (Info.stx_uid == Rights.User || ::faccessat(Fd, "", W_OK | X_OK, AT_EACCESS | AT_EMPTY_PATH) == 0);
}

// In a sticky folder only the entry's owner, the folder's owner and a process that owns
// everything delete an entry.
bool StickyKeeps(const struct statx& Folder, const struct statx& Entry, const TDeletingRights& Rights)
{
    return (Folder.stx_mode & S_ISVTX) != 0 && !Rights.OwnsEverything && Entry.stx_uid != Rights.User &&
           Folder.stx_uid != Rights.User;
}

// A sub-folder opened as a walk enters it. One of the user's own that is closed to them is opened
// up: for a look inside, which gives it its mode back afterwards, or for the emptying, which opens
// it to the user whole (read, write and search) to delete what it holds.
class TSubFolder
{
public:
    TSubFolder(int ParentFd, const std::string& Name, const struct statx& Info, const TDeletingRights& Rights,
               bool Delete)
        : FParentFd(ParentFd), FName(Name), FMode(Info.stx_mode & 07777)
    {
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        if (Delete && (FMode & S_IRWXU) != S_IRWXU) {
            ::fchmodat(ParentFd, Name.c_str(), FMode | S_IRWXU, 0);
        }
        int fd = ::openat(ParentFd, Name.c_str(), flags);
        if (!Delete && fd < 0 && errno == EACCES && Info.stx_uid == Rights.User) {
            FOpenedUp = ::fchmodat(ParentFd, Name.c_str(), FMode | S_IRUSR | S_IXUSR, 0) == 0;
            fd = FOpenedUp ? ::openat(ParentFd, Name.c_str(), flags) : -1;
        }
        FFolder = fd < 0 ? nullptr : ::fdopendir(fd);
        if (fd >= 0 && FFolder == nullptr) {
            ::close(fd);
        }
    }
    ~TSubFolder()
    {
        if (FFolder != nullptr) {
            ::closedir(FFolder);
        }
        if (FOpenedUp) {
            ::fchmodat(FParentFd, FName.c_str(), FMode, 0);
        }
    }
    TSubFolder(const TSubFolder&) = delete;
    TSubFolder& operator=(const TSubFolder&) = delete;

    DIR* Folder() const { return FFolder; }

private:
    int FParentFd;
    std::string FName;
    mode_t FMode;
    bool FOpenedUp = false;
    DIR* FFolder = nullptr;
};

// The walk of a folder's tree that the emptying and its check share, so that they cannot
// disagree: the check stops at the first entry that cannot go, the emptying deletes every other.
// Every step works relative to an open folder and never follows a link, so a link planted inside
// cannot lead the deletion elsewhere. The walk stays on the file system and the mount it starts
// from: a folder on another device, or an entry that something is mounted on, stays with all it
// holds, and a sub-folder is looked at again once opened, as a mount may have come meanwhile.
class TFolderWalk
{
public:
    // Top: the status of the folder the walk starts from. Delete: the emptying, else the check.
    TFolderWalk(const struct statx& Top, bool Delete) : FTop(Top), FDelete(Delete) {}

    // The first entry in the open folder Folder (its status Info, its path Relative from the top,
    // ending in "/") that cannot go, by its path from the top; empty when every one can (and,
    // emptying, has gone).
    std::string Walk(DIR* Folder, const struct statx& Info, const std::string& Relative) const
    {
        const int fd = ::dirfd(Folder);
        const bool deletable = CanDeleteEntriesOf(fd, Info, FRights);
        std::string kept;
        for (const std::string& name : EntryNames(Folder)) {
            const std::string inner = Entry(fd, Info, deletable, name, Relative);
            if (!inner.empty() && kept.empty()) {
                kept = inner;
                if (!FDelete) {
                    break;
                }
            }
        }
        return kept;
    }

    // The entry Name of the folder open as FolderFd (its status Info, whose entries can be deleted
    // when Deletable): empty when it can go (and, emptying, has gone) or is gone, else the first
    // of it that cannot.
    std::string Entry(int FolderFd, const struct statx& Info, bool Deletable, const std::string& Name,
                      const std::string& Relative) const
    {
        struct statx entry
        {
        };
        // An entry gone meanwhile needs no deleting.
        if (!StatusAt(FolderFd, Name.c_str(), AT_SYMLINK_NOFOLLOW, entry)) {
            return std::string();
        }
        const bool isFolder = S_ISDIR(entry.stx_mode);
        const std::string path = Relative + Name + (isFolder ? "/" : "");
        if (!Deletable || IsUnchangeable(entry) || StickyKeeps(Info, entry, FRights) || IsElsewhere(entry)) {
            return path;
        }
        if (isFolder) {
            const TSubFolder inside(FolderFd, Name, entry, FRights, FDelete);
            struct statx opened
            {
            };
            if (inside.Folder() == nullptr ||
                !StatusAt(::dirfd(inside.Folder()), "", AT_EMPTY_PATH, opened) || IsElsewhere(opened)) {
                return path;
            }
            const std::string inner = Walk(inside.Folder(), opened, path);
            if (!inner.empty()) {
                return inner;
            }
        }
        const bool gone = !FDelete || ::unlinkat(FolderFd, Name.c_str(), isFolder ? AT_REMOVEDIR : 0) == 0 ||
                          errno == ENOENT;
        return gone ? std::string() : path;
    }

private:
    // What something is mounted on stays however empty it is, and so does a folder of another
    // device. Files of an overlay may tell the device of their layer, so only folders are
    // compared by device.
    bool IsElsewhere(const struct statx& Entry) const
    {
        return (Entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0 ||
               (S_ISDIR(Entry.stx_mode) &&
                (Entry.stx_dev_major != FTop.stx_dev_major || Entry.stx_dev_minor != FTop.stx_dev_minor));
    }

    const struct statx FTop;
    const TDeletingRights FRights;
    const bool FDelete;
};

// Walks the folder open as FolderFd (any kind of descriptor; it stays the caller's), emptying it
// when Delete is set; the first entry that cannot go, as TFolderWalk::Walk.
std::string WalkFolder(int FolderFd, bool Delete)
{
    const int fd = ::openat(FolderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = fd < 0 ? nullptr : ::fdopendir(fd);
    if (folder == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return std::string();
    }
    struct statx top
    {
    };
    std::string kept;
    if (StatusAt(::dirfd(folder), "", AT_EMPTY_PATH, top)) {
        kept = TFolderWalk(top, Delete).Walk(folder, top, "");
    }
    ::closedir(folder);
    return kept;
}

// Whether a new file and a new folder can be made in the folder open as FolderFd and removed
// again: what emptying it and making a gallery in it need. Nothing else in it is touched.
bool CanMakeEntriesAt(int FolderFd)
{
    // A hidden name of the process's own; another one is tried when it happens to exist.
    const std::string stem = ".plimbet-check-" + IntToStr(static_cast<int32_t>(::getpid())) + "-";
    bool made = false;
    for (int32_t attempt = 0; attempt < 16 && !made; ++attempt) {
        const std::string name = stem + IntToStr(attempt);
        const int file =
            ::openat(FolderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file < 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        ::close(file);
        made = ::unlinkat(FolderFd, name.c_str(), 0) == 0;
        if (!made) {
            break;
        }
        made = ::mkdirat(FolderFd, name.c_str(), 0700) == 0;
        made = made && ::unlinkat(FolderFd, name.c_str(), AT_REMOVEDIR) == 0;
        break;
    }
    return made;
}

// Why the gallery folder must not be emptied (GalleryFolderWriteProblem); when it may be and Empty
// is set, the folder just checked, still open, is emptied.
std::string CheckGalleryFolder(const std::string& GalleryFolder, bool Empty)
{
    const std::string folder = IncludeTrailingPathDelimiter(TypedFolder(GalleryFolder));
    if (!DirectoryExists(folder)) {
        return std::string();
    }
    const std::string nothingDeleted = "\nNothing in it has been deleted.";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string problem;
    if (fd < 0 || !CanMakeEntriesAt(fd)) {
        problem = "Can't write to the folder: " + folder + nothingDeleted;
    } else if (const std::string kept = WalkFolder(fd, false); !kept.empty()) {
        problem = "Can't delete " + kept + " from the folder: " + folder + nothingDeleted;
    } else if (Empty) {
        WalkFolder(fd, true);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return problem;
}

} // namespace

void EmptyFolder(const std::string& Folder)
{
    const int fd = Folder.empty() ? -1 : ::open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        WalkFolder(fd, true);
        ::close(fd);
    }
}

void EmptyOpenFolder(int FolderFd)
{
    WalkFolder(FolderFd, true);
}

std::string FirstEntryThatCannotBeDeleted(const std::string& Folder)
{
    const int fd = ::open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    const std::string kept = WalkFolder(fd, false);
    ::close(fd);
    return kept;
}

std::string GalleryFolderWriteProblem(const std::string& GalleryFolder)
{
    return CheckGalleryFolder(GalleryFolder, false);
}

std::string EmptyGalleryFolder(const std::string& GalleryFolder)
{
    return CheckGalleryFolder(GalleryFolder, true);
}

void RemoveFolder(const std::string& Folder)
{
    const std::string path = ExcludeTrailingPathDelimiter(Folder);
    const std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..") {
        return;
    }
    // The folder is an entry of the folder above it, and goes as the emptying of that one would
    // delete it: a link loses only itself, and a folder something is mounted on stays whole.
    const std::string above = path.find('/') == std::string::npos ? std::string(".") : ExtractFileDir(path);
    const int fd = ::open(above.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct statx info
    {
    };
    if (fd >= 0 && StatusAt(fd, "", AT_EMPTY_PATH, info)) {
        TFolderWalk(info, true).Entry(fd, info, CanDeleteEntriesOf(fd, info, TDeletingRights()), name, "");
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

std::string GalleryFolderRefusal(const std::string& GalleryFolder)
{
    // A "~user" of no user would become a folder of that name in the current folder.
    if (NamesNoUsersHome(GalleryFolder)) {
        return "Can't create the folder: " + IncludeTrailingPathDelimiter(GalleryFolder);
    }
    const std::string gallery = TypedFolder(GalleryFolder);
    TFolderLocation location;
    if (!LocateFolder(gallery, location) || IsInsideFolder("/", gallery) ||
        IsInsideFolder(HomeFolder(), gallery)) {
        return "The folder to create the gallery can't be the root folder, the home folder or a folder "
               "that holds it.\nPlease choose another folder.";
    }
    if (IsInsideFolder(TypedFolder(GallerySettings.ImagesPath), gallery)) {
        return "The folder with images lies in the folder to create the gallery.\n"
               "Please choose another folder.";
    }
    if (IsInsideFolder(ChosenTemplateFile(), gallery)) {
        return "The template file lies in the folder to create the gallery.\n"
               "Please choose another folder.";
    }
    // The program's own folders: its templates, data and help, and the user's templates.
    const std::string program = GallerySettings.ProgramFolder;
    std::vector<std::string> own = {UserTemplatesFolder()};
    if (!program.empty()) {
        for (const char* name : {"templates/", "data/", "help/"}) {
            own.push_back(program + name);
        }
    }
    const auto holds = [&](const std::string& Inner) { return IsInsideFolder(Inner, gallery); };
    const auto inside = [&](const std::string& Outer) { return IsInsideFolder(gallery, Outer); };
    if (holds(program) || std::any_of(own.begin(), own.end(), holds) ||
        std::any_of(own.begin(), own.end(), inside)) {
        return "The folder to create the gallery holds the program or its templates, or lies in them.\n"
               "Please choose another folder.";
    }
    return std::string();
}
