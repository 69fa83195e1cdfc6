// Folders known by their device and inode.
#include "app/folder_identity.h"

#include "app/file_utils.h"
#include "platform/core/files.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace {

bool IdentityOf(const std::string& Path, TFolderId& Id, bool FollowLink)
{
    struct stat info
    {
    };
    if (Path.empty() || (FollowLink ? ::stat(Path.c_str(), &info) : ::lstat(Path.c_str(), &info)) != 0) {
        return false;
    }
    Id = TFolderId{info.st_dev, info.st_ino};
    return true;
}

} // namespace

bool IdentityOf(const std::string& Path, TFolderId& Id)
{
    return IdentityOf(Path, Id, true);
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
        return false;
    }
    if (DirectoryExists(Path)) {
        return true;
    }
    const std::string parent = ExtractFileDir(Path);
    if (!parent.empty() && parent != Path && !MakeWithParents(parent)) {
        return false;
    }
    TMade made{Path, {}, false};
    if (!CreateDir(Path) || !IdentityOf(Path, made.Id, false)) {
        return DirectoryExists(Path);
    }
    FMade.push_back(made);
    return true;
}

void TMadeFolders::RemoveAll()
{
    for (auto made = FMade.rbegin(); made != FMade.rend(); ++made) {
        TFolderId id;
        if (!IdentityOf(made->Path, id, false) || !(id == made->Id)) {
            continue;
        }
        if (made->Asked) {
            RemoveFolder(made->Path);
        } else {
            RemoveDir(made->Path);
        }
    }
    FMade.clear();
}
