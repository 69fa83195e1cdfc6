// The walk of a folder's tree that the emptying of a folder and its check share, so that the two
// cannot disagree: the check stops at the first entry that cannot go, the emptying deletes every
// other.
#pragma once

#include <string>

// An entry that cannot go: its path from the folder walked ("a/b/" for a folder, empty for that
// folder itself) and the system's error number that keeps it; Error is 0 when every entry can go.
struct TKeptEntry
{
    std::string Path;
    int Error = 0;
};

// Walks the folder open as FolderFd (any kind of descriptor; it stays the caller's), emptying it
// when Delete is set, and tells the first entry that cannot go. Every step works relative to an
// open folder and never follows a link, so that a link planted inside cannot lead the walk
// elsewhere; modes are changed only through a descriptor of the folder looked at. The walk stays
// on the file system and the mount it starts from: a folder on another device, or an entry that
// something is mounted on, stays with all it holds, and a sub-folder is looked at again once
// opened, as a mount may have come meanwhile. A folder that cannot be opened or read, this one
// included, counts as an entry that cannot go. It goes to any depth without recursion, holding a
// few folders open at a time, in memory that grows with the depth.
TKeptEntry WalkFolder(int FolderFd, bool Delete);
// The same for the one entry Name of the folder open as FolderFd (which may be an O_PATH
// descriptor): it goes whole, or the first of it that cannot go is told.
TKeptEntry WalkEntry(int FolderFd, const std::string& Name, bool Delete);
