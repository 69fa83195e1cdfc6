// The walk that the emptying of a folder and its check share.
#include "app/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Folders below the top held open at once, however deep the tree: a process has few descriptors
// (often 1024), so the folders farther above are closed and opened again on the way back up.
constexpr size_t MaxOpenLevels = 16;

// The names in the folder open as Fd, "." and ".." left out, in byte order; false, with errno
// set, when the folder cannot be read.
bool ReadEntryNames(int Fd, std::vector<std::string>& Names)
{
    // The listing reads through a descriptor of its own, which closing it closes.
    const int listing = ::fcntl(Fd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = listing < 0 ? nullptr : ::fdopendir(listing);
    if (folder == nullptr) {
        const int error = errno;
        if (listing >= 0) {
            ::close(listing);
        }
        errno = error;
        return false;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            Names.emplace_back(name);
        }
    }
    ::closedir(folder);
    std::sort(Names.begin(), Names.end());
    errno = error;
    return error == 0;
}

// What the process may do past the rights a folder's mode and owner give. Capabilities are the
// thread's own, so they are asked for on the thread that walks.
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
    return ::statx(FolderFd, Name, Flags | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO,
                   &Info) == 0;
}

bool SameFile(const struct statx& A, const struct statx& B)
{
    return A.stx_ino == B.stx_ino && A.stx_dev_major == B.stx_dev_major && A.stx_dev_minor == B.stx_dev_minor;
}

// Immutable and append-only entries lose no name, and folders so marked lose no entry.
bool IsUnchangeable(const struct statx& Info)
{
    return (Info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
}

// Why no entry can be deleted from the folder open as Fd (its status Info): 0 when it can be
// written and searched, or is the user's own, which the emptying opens up first.
int DeleteErrorOf(int Fd, const struct statx& Info, const TDeletingRights& Rights)
{
    if (IsUnchangeable(Info)) {
        return EPERM;
    }
    if (Info.stx_uid == Rights.User || ::faccessat(Fd, "", W_OK | X_OK, AT_EACCESS | AT_EMPTY_PATH) == 0) {
        return 0;
    }
    return errno;
}

// In a sticky folder only the entry's owner, the folder's owner and a process that owns
// everything delete an entry.
bool StickyKeeps(const struct statx& Folder, const struct statx& Entry, const TDeletingRights& Rights)
{
    return (Folder.stx_mode & S_ISVTX) != 0 && !Rights.OwnsEverything && Entry.stx_uid != Rights.User &&
           Folder.stx_uid != Rights.User;
}

// Changes the mode of the folder held as the O_PATH descriptor PathFd through the descriptor,
// never by a name, which a link put in the folder's place meanwhile would lead elsewhere.
bool ChangeModeThrough(int PathFd, mode_t Mode)
{
    return ::chmod(("/proc/self/fd/" + std::to_string(PathFd)).c_str(), Mode) == 0;
}

// A folder opened for reading, or the system's error; OpenedUp when it was opened up for a look.
struct TOpenedFolder
{
    int Fd = -1;
    int Error = 0;
    bool OpenedUp = false;
};

class TFolderWalk
{
public:
    // Top: the status of the folder the walk starts from. Delete: the emptying, else the check.
    TFolderWalk(const struct statx& Top, bool Delete) : FTop(Top), FDelete(Delete) {}

    // Walks the entries Names of the folder open as TopFd, which stays the caller's.
    TKeptEntry Walk(int TopFd, std::vector<std::string> Names)
    {
        TLevel top;
        top.Info = FTop;
        top.Fd = TopFd;
        top.DeleteError = DeleteErrorOf(TopFd, FTop, FRights);
        top.Names = std::move(Names);
        FLevels.push_back(std::move(top));
        while (!FLevels.empty()) {
            TLevel& level = FLevels.back();
            if (level.Next < level.Names.size() && !Stopped()) {
                // Taken out of the list: the levels may move as the walk goes down.
                const std::string name = std::move(level.Names[level.Next++]);
                Visit(name);
            } else {
                Leave();
            }
        }
        return FKept;
    }

private:
    // A folder on the way down from the top, the top first.
    struct TLevel
    {
        std::string Name; // in the folder above; empty for the top
        struct statx Info
        {
        };
        int Fd = -1;           // -1 while it is closed to keep the descriptors few
        mode_t Mode = 0;       // as the walk found it
        bool OpenedUp = false; // for a look: the mode goes back whenever it is closed
        int DeleteError = 0;   // why none of its entries can be deleted; 0 when they can
        std::vector<std::string> Names;
        size_t Next = 0;
        bool Keeps = false; // something in it stays
    };

    // The check ends at the first entry that cannot go; the walk ends where it cannot go back up.
    bool Stopped() const { return FLost || (!FDelete && FKept.Error != 0); }

    // The entry Name of the deepest folder: a file goes (emptying), a folder is entered.
    void Visit(const std::string& Name)
    {
        const TLevel& level = FLevels.back();
        struct statx entry
        {
        };
        if (!StatusAt(level.Fd, Name.c_str(), AT_SYMLINK_NOFOLLOW, entry)) {
            // An entry gone meanwhile needs no deleting.
            if (errno != ENOENT) {
                Keep(Name, false, errno);
            }
            return;
        }
        const bool isFolder = S_ISDIR(entry.stx_mode);
        if (const int error = KeepingError(level, entry); error != 0) {
            Keep(Name, isFolder, error);
        } else if (isFolder) {
            Enter(Name, entry);
        } else if (FDelete && ::unlinkat(level.Fd, Name.c_str(), 0) != 0 && errno != ENOENT) {
            Keep(Name, false, errno);
        }
    }

    // Why the entry Entry of the folder Level cannot go, whatever it holds; 0 when it can.
    int KeepingError(const TLevel& Level, const struct statx& Entry) const
    {
        if (Level.DeleteError != 0) {
            return Level.DeleteError;
        }
        if (IsUnchangeable(Entry) || StickyKeeps(Level.Info, Entry, FRights)) {
            return EPERM;
        }
        return IsElsewhere(Entry) ? EBUSY : 0;
    }

    // Goes down into the sub-folder Name (its status Entry) of the deepest folder.
    void Enter(const std::string& Name, const struct statx& Entry)
    {
        const TOpenedFolder opened = OpenFolder(FLevels.back().Fd, Name.c_str(), Entry);
        TLevel inside;
        inside.Name = Name;
        inside.Fd = opened.Fd;
        inside.Mode = Entry.stx_mode & 07777;
        inside.OpenedUp = opened.OpenedUp;
        const int error = opened.Error != 0 ? opened.Error : LookInto(inside);
        if (error != 0) {
            Release(inside);
            if (error != ENOENT) {
                Keep(Name, true, error);
            }
            return;
        }
        inside.DeleteError = DeleteErrorOf(inside.Fd, inside.Info, FRights);
        FLevels.push_back(std::move(inside));
        // The folder farthest up of those open is closed until the walk comes back to it.
        if (FLevels.size() > MaxOpenLevels + 1) {
            Release(FLevels[FLevels.size() - 1 - MaxOpenLevels]);
        }
    }

    // Looks again at a sub-folder once opened, as a mount may have come meanwhile, and lists it:
    // why it cannot be walked, 0 when it can.
    int LookInto(TLevel& Inside) const
    {
        if (!StatusAt(Inside.Fd, "", AT_EMPTY_PATH, Inside.Info)) {
            return errno;
        }
        if (IsElsewhere(Inside.Info)) {
            return EBUSY;
        }
        return ReadEntryNames(Inside.Fd, Inside.Names) ? 0 : errno;
    }

    // Leaves the deepest folder, all of whose entries are walked: it is closed (after a look, with
    // its mode given back), and the emptying removes it when nothing in it stays.
    void Leave()
    {
        TLevel inside = std::move(FLevels.back());
        FLevels.pop_back();
        if (FLevels.empty()) {
            return;
        }
        TLevel& level = FLevels.back();
        if (level.Fd < 0 && !Stopped()) {
            Reopen(level, inside.Fd);
        }
        Release(inside);
        level.Keeps = level.Keeps || inside.Keeps;
        if (FDelete && !inside.Keeps && !Stopped() &&
            ::unlinkat(level.Fd, inside.Name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            Keep(inside.Name, true, errno);
        }
    }

    // Opens Level again, closed on the way down, as the folder above the one open as BelowFd. When
    // it is not that folder any more (moved meanwhile), the walk cannot go back up, and it ends
    // there with the folder kept.
    void Reopen(TLevel& Level, int BelowFd)
    {
        const TOpenedFolder opened = OpenFolder(BelowFd, "..", Level.Info);
        Level.Fd = opened.Fd;
        Level.OpenedUp = opened.OpenedUp;
        if (opened.Fd < 0) {
            Keep("", false, opened.Error);
            FLost = true;
        }
    }

    // Opens for reading the folder Name of the folder open as AtFd, when it is still the folder
    // Expected. One that is closed to the user is opened up first, through a descriptor of that
    // very folder: the user's own for a look, to read and search it, its mode given back when the
    // walk closes it; any for the emptying, to read, write and search it, as it is to go.
    TOpenedFolder OpenFolder(int AtFd, const char* Name, const struct statx& Expected) const
    {
        TOpenedFolder opened;
        const int held = ::openat(AtFd, Name, O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC);
        struct statx found
        {
        };
        if (held < 0 || !StatusAt(held, "", AT_EMPTY_PATH, found)) {
            opened.Error = errno;
        } else if (!SameFile(found, Expected)) {
            // Another folder has taken its place meanwhile.
            opened.Error = EBUSY;
        } else {
            const mode_t mode = found.stx_mode & 07777;
            if (FDelete && (mode & S_IRWXU) != S_IRWXU) {
                ChangeModeThrough(held, mode | S_IRWXU);
            } else if (!FDelete && found.stx_uid == FRights.User &&
                       ::faccessat(held, "", R_OK | X_OK, AT_EACCESS | AT_EMPTY_PATH) != 0) {
                opened.OpenedUp = ChangeModeThrough(held, mode | S_IRUSR | S_IXUSR);
            }
            opened.Fd = ::openat(held, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            opened.Error = opened.Fd < 0 ? errno : 0;
            if (opened.Fd < 0 && opened.OpenedUp) {
                ChangeModeThrough(held, mode);
                opened.OpenedUp = false;
            }
        }
        if (held >= 0) {
            ::close(held);
        }
        return opened;
    }

    // Closes the folder of a level; one opened up for a look gets its mode back first.
    static void Release(TLevel& Level)
    {
        if (Level.Fd < 0) {
            return;
        }
        if (Level.OpenedUp) {
            ::fchmod(Level.Fd, Level.Mode);
        }
        ::close(Level.Fd);
        Level.Fd = -1;
    }

    // Notes that the entry Name of the deepest folder stays for Error; the first one kept is told,
    // by its path from the top.
    void Keep(const std::string& Name, bool IsFolder, int Error)
    {
        FLevels.back().Keeps = true;
        if (FKept.Error != 0) {
            return;
        }
        for (size_t level = 1; level < FLevels.size(); ++level) {
            FKept.Path += FLevels[level].Name + "/";
        }
        FKept.Path += IsFolder ? Name + "/" : Name;
        FKept.Error = Error;
    }

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
    // A deque, so that the levels above stay where they are as the walk goes down.
    std::deque<TLevel> FLevels;
    TKeptEntry FKept;
    bool FLost = false;
};

} // namespace

TKeptEntry WalkFolder(int FolderFd, bool Delete)
{
    // Listing takes a descriptor open for reading.
    const int fd = ::openat(FolderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct statx top
    {
    };
    std::vector<std::string> names;
    TKeptEntry kept;
    if (fd < 0 || !StatusAt(fd, "", AT_EMPTY_PATH, top) || !ReadEntryNames(fd, names)) {
        kept.Error = errno;
    } else {
        kept = TFolderWalk(top, Delete).Walk(fd, std::move(names));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return kept;
}

TKeptEntry WalkEntry(int FolderFd, const std::string& Name, bool Delete)
{
    struct statx top
    {
    };
    if (!StatusAt(FolderFd, "", AT_EMPTY_PATH, top)) {
        return TKeptEntry{std::string(), errno};
    }
    return TFolderWalk(top, Delete).Walk(FolderFd, {Name});
}
