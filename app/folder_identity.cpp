// Folders known by their device and inode.
#include "app/folder_identity.h"

#include "app/file_utils.h"
#include "platform/core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

bool IdentityOf(const std::string& Path, TFolderId& Id)
{
    struct stat info
    {
    };
    if (Path.empty() || ::stat(Path.c_str(), &info) != 0) {
        return false;
    }
    Id = TFolderId{info.st_dev, info.st_ino};
    return true;
}

bool LocateFolder(const std::string& Path, TFolderLocation& Location)
{
    namespace fs = std::filesystem;
    if (Path.empty()) {
        return false;
    }
    std::error_code error;
    // Links in the part that exists are resolved; what follows it is taken by name.
    fs::path existing = fs::weakly_canonical(fs::absolute(Path, error), error);
    if (error) {
        return false;
    }
    Location.Missing.clear();
    while (!IdentityOf(existing.string(), Location.Id)) {
        if (!existing.has_relative_path()) {
            return false;
        }
        // "a/b/" ends in an empty name.
        if (!existing.filename().empty()) {
            Location.Missing.insert(Location.Missing.begin(), existing.filename().string());
        }
        existing = existing.parent_path();
    }
    Location.Existing = existing.string();
    return true;
}

bool IsInsideFolder(const std::string& Path, const std::string& Folder)
{
    TFolderLocation path;
    TFolderLocation folder;
    if (!LocateFolder(Path, path) || !LocateFolder(Folder, folder)) {
        return false;
    }
    // Nothing that exists lies in a folder yet to be made; what is to be made lies in it when it
    // is to be made by the same names in the same place.
    if (!folder.Missing.empty()) {
        return path.Id == folder.Id && path.Missing.size() >= folder.Missing.size() &&
               std::equal(folder.Missing.begin(), folder.Missing.end(), path.Missing.begin());
    }
    // The existing part of Path has no links left, so its folders above are those named.
    for (std::filesystem::path above = path.Existing;; above = above.parent_path()) {
        TFolderId id;
        if (IdentityOf(above.string(), id) && id == folder.Id) {
            return true;
        }
        if (!above.has_relative_path()) {
            return false;
        }
    }
}

bool TMadeFolders::Make(const std::string& Folder)
{
    const std::string path = ExcludeTrailingPathDelimiter(Folder);
    const size_t before = FMade.size();
    const bool made = MakeWithParents(path);
    if (FMade.size() > before && FMade.back().Path == path) {
        FMade.back().Asked = true;
    }
    return made;
}

bool TMadeFolders::MakeWithParents(const std::string& Path)
{
    if (Path.empty()) {
        FError = ENOENT;
        return false;
    }
    if (DirectoryExists(Path)) {
        return true;
    }
    const std::string parent = ExtractFileDir(Path);
    if (!parent.empty() && parent != Path && !MakeWithParents(parent)) {
        return false;
    }
    if (::mkdir(Path.c_str(), 0777) != 0) {
        FError = errno;
        // One made meanwhile by someone else is there all the same, but not the run's.
        return DirectoryExists(Path);
    }
    const int fd = ::open(Path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        FMade.push_back(TMade{Path, fd, false});
    }
    return true;
}

bool TMadeFolders::StillThere(const TMade& Made)
{
    struct stat held
    {
    };
    struct stat named
    {
    };
    return ::fstat(Made.Fd, &held) == 0 && ::lstat(Made.Path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void TMadeFolders::RemoveAll()
{
    for (auto made = FMade.rbegin(); made != FMade.rend(); ++made) {
        if (!StillThere(*made)) {
            continue;
        }
        // What it holds goes through the folder held, whatever its name leads to by then.
        if (made->Asked) {
            EmptyOpenFolder(made->Fd);
        }
        if (StillThere(*made)) {
            RemoveDir(made->Path);
        }
    }
    Keep();
}

void TMadeFolders::Keep()
{
    for (const TMade& made : FMade) {
        ::close(made.Fd);
    }
    FMade.clear();
}
