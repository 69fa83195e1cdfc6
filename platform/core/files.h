// Paths, files and folders: "/" separates, a folder path carries a trailing "/", and folder
// listings come sorted (case-insensitive byte order) so that every run sees the same order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Path parts. ExtractFilePath keeps the trailing "/", ExtractFileDir drops it (but keeps the
// root "/"); ExtractFileExt includes the dot ("" when the name has none).
std::string ExtractFilePath(const std::string& FileName);
std::string ExtractFileDir(const std::string& FileName);
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFileExt(const std::string& FileName);
// Replaces the extension (the dot and what follows) with Extension, or appends it.
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);
std::string IncludeTrailingPathDelimiter(const std::string& Path);
std::string ExcludeTrailingPathDelimiter(const std::string& Path);
// Absolute path from the current folder, with "." and ".." resolved by name (links are not
// followed); a trailing "/" is kept.
std::string ExpandFileName(const std::string& FileName);

bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Directory);
// Creates the folder and any missing parents; true when the folder exists afterwards.
bool ForceDirectories(const std::string& Dir);
bool CreateDir(const std::string& Dir);
// Removes an empty folder.
bool RemoveDir(const std::string& Dir);
bool DeleteFile(const std::string& FileName);
// Fails rather than replace an existing NewName.
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Copies content, permissions and modification time; NewName gets the content through the one
// file writer, so a copy that fails leaves it as it was. Fails when FailIfExists and NewName
// exists, and never copies a file onto itself.
bool CopyFile(const std::string& ExistingFileName, const std::string& NewFileName, bool FailIfExists);
// Why a copy failed: the file that failed, the existing one when it could not be read or the new
// one when it could not be written, and the failure as the file streams raise it, naming that file
// and the system's reason ('Cannot open file "<name>". <reason>').
struct TCopyFailure
{
    std::string FileName;
    std::string Message;
};
// CopyFile that tells, when it fails, which file failed and why.
bool CopyFile(const std::string& ExistingFileName, const std::string& NewFileName, bool FailIfExists,
              TCopyFailure& Failure);

// Modification time in seconds since 1970, -1 when the file does not exist.
int64_t FileAge(const std::string& FileName);
// Size in bytes, -1 when the file does not exist.
int64_t FileSize(const std::string& FileName);

// Attribute bits of a folder entry.
enum : int32_t
{
    faReadOnly = 0x01, // not writable by its owner
    faHidden = 0x02,   // the name starts with "."
    faSysFile = 0x04,  // neither a regular file nor a folder (device, socket, pipe)
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20, // every regular file
    faSymLink = 0x40, // the entry is a symbolic link (its other bits describe the target)
    faAnyFile = 0x7F,
};
// The attributes of a file or folder, -1 when it does not exist.
int32_t FileGetAttr(const std::string& FileName);

// Current folder, without a trailing "/" (as the class library gives it).
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& Dir);

// Wildcard match of a file name: "*" any run, "?" one byte, ASCII case ignored; "*.*" matches
// every name, also one without a dot.
bool MatchesMask(const std::string& FileName, const std::string& Mask);

// One entry of a folder listing.
struct TDirEntry
{
    std::string Name;
    int32_t Attr = 0;
    int64_t Size = 0;
    int64_t Time = 0; // modification time, seconds since 1970
    bool IsDirectory() const { return (Attr & faDirectory) != 0; }
    bool IsSymLink() const { return (Attr & faSymLink) != 0; }
};

// The entries of a folder except "." and "..", sorted by name: ASCII case folded first, then
// plain byte order. Empty when the folder cannot be read.
std::vector<TDirEntry> ListDirectory(const std::string& Dir);

// Folder search over the sorted listing. Path is a folder and a mask ("pics/*.jpg"); Attr adds
// hidden, system and folder entries to the normal files, which always come.
struct TSearchRec
{
    int64_t Time = 0;
    int64_t Size = 0;
    int32_t Attr = 0;
    std::string Name;
    int32_t ExcludeAttr = 0;
    // The remaining matches, in order.
    std::vector<TDirEntry> Pending;
};
// 0 when an entry was found, otherwise an errno value (ENOENT when nothing matches).
int FindFirst(const std::string& Path, int32_t Attr, TSearchRec& F);
int FindNext(TSearchRec& F);
void FindClose(TSearchRec& F);

// The running executable and its folder. ProgramFolder is where templates/, data/ and help/ are
// found: ProgramFolderOf the executable, unless the environment variable PLIMBET_HOME names one.
std::string ProgramFileName();
std::string ProgramFolder();
// The program folder of an executable: "../share/plimbet/" beside it when that folder exists (an
// installed program), else the executable's own folder (a build tree). Ends in "/".
std::string ProgramFolderOf(const std::string& ExecutableFileName);
// $HOME (or the password database), $XDG_CONFIG_HOME or ~/.config, and $XDG_DATA_HOME or
// ~/.local/share; all end in "/".
std::string HomeFolder();
std::string ConfigFolder();
std::string DataHomeFolder();
