// Small file systems of the test's own, where a disk that fills up is a real one, and folders
// bound under a second name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kvtest {

// A file system of Bytes mounted on Folder while it lives, for this thread and the threads it
// starts: a tmpfs, or an ext4 or XFS image of Folder's own on a loop device, whose blocks a failed
// reservation can keep where a tmpfs gives them back, and whose reservations count blocks their
// own way. The thread moves into a mount namespace of
// its own, where the nearest mount above Folder stops passing mounts on, so that nothing of the
// machine's changes; the mount, and the loop device with it, go when the disk or the process
// does, however the test ends. It takes root; Mounted tells, and Why says what failed.
struct TSmallDisk
{
    enum TKind
    {
        Tmpfs,
        Ext4,
        Xfs,
        // A FAT disk, as a camera's card is, whose names are one whatever their case. The FAT
        // driver in user space serves it, with the inode numbers of the disk.
        Fat
    };
    TSmallDisk(const std::string& Folder, int64_t Bytes, TKind Kind = Tmpfs);
    ~TSmallDisk();
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    const std::string Folder;
    bool Mounted = false;
    std::string Why;
};

// Source bound on Folder while it lives, in the thread's own mount namespace as TSmallDisk's: one
// folder under two names. It takes root; Mounted tells, and Why says what failed.
struct TBoundFolder
{
    TBoundFolder(const std::string& Source, const std::string& Folder);
    ~TBoundFolder();
    TBoundFolder(const TBoundFolder&) = delete;
    TBoundFolder& operator=(const TBoundFolder&) = delete;

    const std::string Folder;
    bool Mounted = false;
    std::string Why;
};

// Runs Body with Folder on a small disk of Bytes of the test's own: as root an ext4 image in
// this process (TSmallDisk), else a tmpfs in a user namespace of a child process, which runs Body
// there; its failures are printed there and fail the test here. False, with Why, when neither can
// be made, and Body has not run.
bool RunOnSmallDisk(const std::string& Folder, int64_t Bytes, const std::function<void()>& Body,
                    std::string& Why);

} // namespace kvtest
