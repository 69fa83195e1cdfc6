// File-level helpers of the gallery maker.
#include "app/file_utils.h"

#include "app/folder_identity.h"
#include "app/folder_walk.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/core/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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

// Why a new file and a new folder cannot be made in the folder open as FolderFd and removed again,
// which emptying it and making a gallery in it need: the system's error number, 0 when they can.
// Nothing else in it is touched.
int MakeEntriesError(int FolderFd)
{
    // A hidden name of the process's own; another one is tried when it happens to exist.
    const std::string stem = ".plimbet-check-" + IntToStr(static_cast<int32_t>(::getpid())) + "-";
    for (int32_t attempt = 0; attempt < 16; ++attempt) {
        const std::string name = stem + IntToStr(attempt);
        const int file =
            ::openat(FolderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file < 0 && errno == EEXIST) {
            continue;
        }
        if (file < 0) {
            return errno;
        }
        ::close(file);
        if (::unlinkat(FolderFd, name.c_str(), 0) != 0 || ::mkdirat(FolderFd, name.c_str(), 0700) != 0 ||
            ::unlinkat(FolderFd, name.c_str(), AT_REMOVEDIR) != 0) {
            return errno;
        }
        return 0;
    }
    return EEXIST;
}

const char* const NothingDeleted = "\nNothing in it has been deleted.";

// The message of an entry of Folder that cannot go.
std::string KeptEntryProblem(const TKeptEntry& Kept, const std::string& Folder)
{
    return WithReason("Can't delete " + ShownName(Kept.Path) + " from the folder: " + ShownName(Folder),
                      SysErrorMessage(Kept.Error));
}

// Why the gallery folder must not be emptied (GalleryFolderWriteProblem); when it may be and Empty
// is set, the folder just checked, still open, is emptied.
std::string CheckGalleryFolder(const std::string& GalleryFolder, bool Empty)
{
    const std::string folder = IncludeTrailingPathDelimiter(TypedFolder(GalleryFolder));
    if (!DirectoryExists(folder)) {
        return std::string();
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int unwritable = fd < 0 ? errno : MakeEntriesError(fd);
    TKeptEntry kept;
    if (unwritable == 0) {
        kept = WalkFolder(fd, false);
        // A folder that cannot be listed cannot take a gallery either.
        unwritable = kept.Path.empty() ? kept.Error : 0;
    }
    std::string problem;
    if (unwritable != 0) {
        problem = WithReason("Can't write to the folder: " + ShownName(folder), SysErrorMessage(unwritable)) +
                  NothingDeleted;
    } else if (kept.Error != 0) {
        problem = KeptEntryProblem(kept, folder) + NothingDeleted;
    } else if (Empty) {
        WalkFolder(fd, true);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return problem;
}

// Walks the entry that Folder is in the folder above it (see RemoveFolder); a Folder that names
// no entry of its own ("", ".", "..") keeps nothing and is left alone.
TKeptEntry WalkFolderAsEntry(const std::string& Folder, bool Delete)
{
    const std::string path = ExcludeTrailingPathDelimiter(Folder);
    const std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..") {
        return TKeptEntry();
    }
    // The folder is an entry of the folder above it, and goes as the emptying of that one would
    // delete it: a link loses only itself, and a folder something is mounted on stays whole.
    const std::string above = path.find('/') == std::string::npos ? std::string(".") : ExtractFileDir(path);
    const int fd = ::open(above.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return TKeptEntry();
    }
    const TKeptEntry kept = WalkEntry(fd, name, Delete);
    ::close(fd);
    return kept;
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
    // Nothing there holds nothing.
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? std::string() : std::string("./");
    }
    const TKeptEntry kept = WalkFolder(fd, false);
    ::close(fd);
    return kept.Error == 0 ? std::string() : kept.Path.empty() ? std::string("./") : kept.Path;
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
    WalkFolderAsEntry(Folder, true);
}

std::string RemoveWholeFolder(const std::string& Folder)
{
    // The entries' paths start with the folder's own name, in the folder above it.
    const std::string above = ExtractFilePath(ExcludeTrailingPathDelimiter(Folder));
    const TKeptEntry kept = WalkFolderAsEntry(Folder, false);
    if (kept.Error != 0) {
        return KeptEntryProblem(kept, above) + NothingDeleted;
    }
    // What came meanwhile and cannot go stays, with what holds it.
    const TKeptEntry late = WalkFolderAsEntry(Folder, true);
    return late.Error == 0 ? std::string() : KeptEntryProblem(late, above);
}

std::string GalleryFolderRefusal(const std::string& GalleryFolder)
{
    // A "~user" of no user would become a folder of that name in the current folder.
    if (NamesNoUsersHome(GalleryFolder)) {
        return "Can't create the folder: " + ShownName(IncludeTrailingPathDelimiter(GalleryFolder));
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
