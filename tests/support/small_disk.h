// A small file system of the test's own, where a disk that fills up is a real one.
#pragma once

#include "platform/core/files.h"

#include <cstdint>
#include <sched.h>
#include <string>
#include <sys/mount.h>

namespace kvtest {

// A tmpfs of Bytes mounted on Folder while it lives, for this thread and the threads it starts.
// The thread moves into a mount namespace of its own, where the nearest mount above Folder stops
// passing mounts on, so that nothing of the machine's changes. It takes root; Mounted tells.
struct TSmallDisk
{
    TSmallDisk(const std::string& Folder, int64_t Bytes) : Folder(ExcludeTrailingPathDelimiter(Folder))
    {
        static const bool ownNamespace = ::unshare(CLONE_NEWNS) == 0;
        bool isPrivate = false;
        for (std::string above = this->Folder; ownNamespace && !isPrivate && above != "/";) {
            above = ExtractFileDir(above);
            isPrivate = ::mount(nullptr, above.c_str(), nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        }
        Mounted = isPrivate && ::mount("tmpfs", this->Folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                                       ("size=" + std::to_string(Bytes)).c_str()) == 0;
    }
    ~TSmallDisk()
    {
        if (Mounted) {
            ::umount2(Folder.c_str(), MNT_DETACH);
        }
    }
    const std::string Folder;
    bool Mounted = false;
};

} // namespace kvtest
