// File-level helpers of the gallery maker: reading a template, emptying a folder, copying a
// template's pictures, and the checks that keep the emptying of a gallery folder safe.
#pragma once

#include <cstdint>
#include <string>

// Template pages larger than this are refused rather than read into memory.
constexpr int64_t MaxTemplateFileSize = 64 * 1024 * 1024;

// The folder a folder field's text names, as a shell reads it: "~" and "~/..." are the home
// folder and what lies in it, "~user" and "~user/..." that user's home and what lies in it; a
// text of blanks names none (empty). Other texts, and a "~user" of no user, are as typed.
std::string TypedFolder(const std::string& Text);
// Whether the text starts with a "~user" that names no user with a home: it names no folder, and
// none may be made of it (it would be a folder named "~user" in the current folder).
bool NamesNoUsersHome(const std::string& Text);
// Whether Folder is a folder whose entries can be listed (a link to one counts).
bool CanListFolder(const std::string& Folder);
// Why a run cannot take its pictures from the images folder field's text: "Can't find the
// directory: " and the folder when it is missing, no folder or cannot be listed; empty when it
// can be.
std::string ImagesFolderProblem(const std::string& ImagesPath);

// Reads a whole file into Text; false when it cannot be opened or read, is no plain file or is
// larger than MaxTemplateFileSize, with the system's reason in Reason when one is given.
bool ReadTemplateText(const std::string& FileName, std::string& Text, std::string* Reason = nullptr);

// Deletes every file, link and sub-folder inside Folder, whatever their permissions and however
// deep; the folder itself stays. Symbolic links are removed themselves and never followed. The
// emptying stays on Folder's file system and mount: a folder of another file system, or an entry
// that something is mounted on, stays with all it holds. The current folder is not changed, and
// an empty Folder deletes nothing. Entries that cannot be deleted stay.
void EmptyFolder(const std::string& Folder);
// Empties the folder open as FolderFd (which may be an O_PATH descriptor), as EmptyFolder does;
// the descriptor stays the caller's.
void EmptyOpenFolder(int FolderFd);

// The first entry inside Folder that EmptyFolder could not delete, by its path from Folder ("a/"
// for a folder): another user's entry in a sticky folder, one in a folder that cannot be written,
// a folder that cannot be opened, searched or listed, a mount point or a folder of another file
// system, an immutable or append-only one; "./" when Folder itself cannot be opened or listed;
// empty when every one can go, or nothing is there. The check walks the tree as the emptying
// does, so that the two cannot disagree. Nothing is deleted, and nothing changed.
std::string FirstEntryThatCannotBeDeleted(const std::string& Folder);
// Why an existing gallery folder must not be emptied: it cannot take new files and folders ("Can't
// write to the folder: " and the folder), or holds an entry that cannot be deleted ("Can't delete "
// and the entry, " from the folder: " and the folder), so that it would lose part of what it holds
// without a new gallery. The system's reason follows on a line of its own, then "Nothing in it has
// been deleted."; names are shown as ShownName shows them. Empty when the folder can be emptied
// whole, or does not exist (the run makes it then).
std::string GalleryFolderWriteProblem(const std::string& GalleryFolder);
// Empties an existing gallery folder whole or not at all: the folder is checked as
// GalleryFolderWriteProblem checks it right before the first delete, and emptied through the
// folder just checked. Returns the problem when something now cannot go, and nothing is deleted
// then; empty when the folder has been emptied or does not exist.
std::string EmptyGalleryFolder(const std::string& GalleryFolder);

// Removes Folder and everything in it, as the emptying of the folder above it would: a Folder that
// is a link (or no folder) is removed itself, and nothing it points to is touched; a folder
// something is mounted on stays whole, and one mounted inside stays with all it holds, with the
// folders above it. A missing one is no failure.
void RemoveFolder(const std::string& Folder);
// Removes Folder as RemoveFolder does, but whole or not at all: when something in it cannot go,
// nothing is deleted and the message names the entry, the folder and the system's reason ("Can't
// delete <entry> from the folder: <folder above>\n<reason>\nNothing in it has been deleted.", the
// entry's path starting with the folder's name). Empty when the folder has gone or was not there.
std::string RemoveWholeFolder(const std::string& Folder);

// Why GalleryFolder must not be emptied: the message to show when it is a "~user" of no user
// ("Can't create the folder: " and the text), none, the root folder or holds the home folder,
// when the images folder, the chosen template's page or the program's folder lies in it, or when
// it lies in the program's templates, data or help or in the user's templates; empty when it may
// be emptied. Both folders are read as TypedFolder reads them.
std::string GalleryFolderRefusal(const std::string& GalleryFolder);
