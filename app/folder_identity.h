// Folders known by what they are, their device and inode, whatever the path that names them: a
// bind mount, a link or a name in another case on a case-insensitive disk reach the same folder.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct TFolderId
{
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFolderId&) const = default;
};

// The identity of what Path names, links followed; false when nothing is there.
bool IdentityOf(const std::string& Path, TFolderId& Id);

// Where a path leads: the deepest part of it that exists, links resolved, and the names below
// that part that do not exist yet.
struct TFolderLocation
{
    std::string Existing;
    TFolderId Id;
    std::vector<std::string> Missing;
};
// False when Path is empty or no part of it can be looked at.
bool LocateFolder(const std::string& Path, TFolderLocation& Location);

// True when Path is Folder or lies inside it: when Folder is the existing part of Path or a folder
// above it, or, for a Folder yet to be made, when Path is to be made inside it.
bool IsInsideFolder(const std::string& Path, const std::string& Folder);

// The folders a run makes, known by identity, so that a run that fails removes them and nothing
// that took their place or was there before. Each folder made is held open until the run ends, so
// that no folder made meanwhile can take its inode number, which some file systems give the next
// folder made once a folder is removed.
class TMadeFolders
{
public:
    TMadeFolders() = default;
    ~TMadeFolders() { Keep(); }
    TMadeFolders(const TMadeFolders&) = delete;
    TMadeFolders& operator=(const TMadeFolders&) = delete;

    // Makes Folder with the missing folders above it and remembers each one made; false when one
    // cannot be made, with the system's error number in Error().
    bool Make(const std::string& Folder);
    int Error() const { return FError; }
    // Removes the folders made that are still where they were made, the innermost first: the
    // folders asked for with all they hold (what the run wrote into them), the folders above them
    // only when they are empty.
    void RemoveAll();
    // Keeps the folders made: the gallery refers to them.
    void Keep();

private:
    bool MakeWithParents(const std::string& Path);

    struct TMade
    {
        std::string Path;
        int Fd = -1; // the folder made, held open
        bool Asked = false;
    };
    // Whether Path still names the folder made.
    static bool StillThere(const TMade& Made);
    std::vector<TMade> FMade;
    int FError = 0;
};
