// The one writer of files that the user keeps (pictures, pages, settings): a crash, a kill or a
// full disk leaves the old content of a file or the new one, never a mix or a cut file.
#pragma once

#include "platform/core/streams.h"

#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// Writes a file's new content, which takes the file's name only on Commit; a content that is not
// committed is removed, and the file stays as it was.
//
// Where it can, the content is written under a hidden name beside the file and renamed over it.
// The new file takes the mode, the group, the ACL and the other extended attributes of the one it
// replaces, and is flushed before the rename, the folder after it; a file that did not exist yet
// is not flushed, as a power cut can then cost nothing the user had.
//
// Where a file renamed over it would not be the user's file as it was (it has other names or
// another owner, or its group or one of its attributes cannot be given), the file is overwritten
// in place on Commit, one save at a time: the copy holds a lock on the file that another save's
// copy waits for, as it waits for a reader that holds it, ten seconds at most, after which the
// save fails, saying that another program holds the file, and leaves it as it was. The content
// stays whole under its hidden name, flushed, until the copy is complete and flushed, so that a
// kill or a power cut during the copy leaves it there; and room for what the file does not have
// yet (its holes within what the content covers, and what lies beyond its end) is taken, and the
// content's size checked against the process's file size limit, before the first byte changes.
// A file system that takes new blocks for what it overwrites (btrfs) may still fail the copy
// part-way. In a folder that takes no new file the content is gathered without a name in the
// system's temporary folder instead: there a kill during the copy leaves the file cut.
//
// What a failed save leaves: a file that the content was to be renamed over stays as it was. A
// file written in place that another holds past the wait, or that has no room or too low a size
// limit for the content, has none of its bytes changed and keeps its size: the save punches no
// hole and cuts nothing, so that what another program wrote into the file meanwhile without the
// lock stays as written; the room the save took stays with the file (a hole it took room for
// still reads as zeros), and the room the file had reserved past its end stays reserved. A copy
// that fails part-way leaves the file part new, part old, and the new content whole beside it
// under the name the message gives (gathered in the temporary folder, the content goes with the
// failure). Every other failed save removes its content.
//
// A content that a killed or failed save left beside the file stays until a save of the file
// commits, which then removes those of the user's own, read-only ones too. The hidden names are a
// short series of the file's own, ".<name>.saving-0.tmp" to "-7", a long name cut and followed by
// "~" and a hash of the whole name, so that no two files share one; a content takes the first
// free one. A commit probes the series by name, so that a save costs the same in a folder of any
// size and in a folder it may not list. Where the series is taken, by live saves of the file or
// by another user's files, a content takes a name whose number no one can foresee
// (".<name>.saving-<16 hex digits>.tmp"), and only then, while a name of the series stays taken
// or when the committing save took such a name itself, is the folder listed for them. A
// symbolic link keeps pointing at the file it names, which gets the new content; a link to a file
// that does not exist yet stays, and that file is made. Pipes and devices are written straight
// into. Raises EFCreateError, naming the file and the reason, when it cannot be created or the
// content cannot take its name; a write of the stream that fails raises EWriteError, naming them
// too.
class TSafeFileWriter
{
public:
    // NewFileMode: the permissions of a file that does not exist yet, less the umask.
    explicit TSafeFileWriter(const std::string& FileName, mode_t NewFileMode = 0666);
    ~TSafeFileWriter();
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

    TStream& Stream() { return *FStream; }
    // Gives the content the file's name; raises EFCreateError when that fails.
    void Commit();
    // Commits when Ok, else removes the content.
    void Finish(bool Ok);

private:
    void OpenNew(const std::string& FileName, int StatError, mode_t Mode);
    void OpenExisting(const std::string& FileName, const struct stat& Info);
    void OpenInPlace(const std::string& FileName);
    void OpenDirect(const std::string& FileName);
    // The content's file beside FFileName, locked while this writer lives; 0, or the error that
    // kept it from being made.
    int OpenBeside(mode_t Mode);
    // Gives the content what the file has that a rename would drop; false when it cannot.
    bool TakeWhatTheFileHas(const struct stat& Info);
    void CommitRenamed();
    void CommitInPlace();
    // 0, or the error that stopped the copy; Changed tells whether a byte of the file changed.
    int OverwriteTarget(bool& Changed);
    // Closes what is open and removes the content's file.
    void Discard();

    // The name the caller gave, which messages show.
    std::string FShownName;
    // The file itself, at the end of its links.
    std::string FFileName;
    // The content's name beside the file; empty when it has none.
    std::string FTempName;
    int FHandle = -1;
    // The file overwritten on Commit, when it is not replaced.
    int FTargetHandle = -1;
    // The content is renamed over a file that exists.
    bool FReplacing = false;
    // The content's name is not one of the series, which was taken.
    bool FTookRandomName = false;
    std::unique_ptr<THandleStream> FStream;
};
