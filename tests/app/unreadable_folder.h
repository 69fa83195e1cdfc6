// A folder that the test's own thread cannot list (or, given a mode, cannot write), also when the
// tests run as root: root reads and writes every folder by its capabilities, which the thread
// gives up for as long as the folder is closed.
#pragma once

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

namespace apptest {

// While it lives, the calling thread has only the rights an ordinary user has over files and
// folders: the capabilities that pass over their rights and owners leave its effective set. Only
// this thread's set changes (the other threads keep theirs), and the permitted set stays, so
// that the destructor can raise them again.
class TOrdinaryUser
{
public:
    TOrdinaryUser()
    {
        if (::syscall(SYS_capget, &FHeader, FSaved) == 0) {
            __user_cap_data_struct lowered[2] = {FSaved[0], FSaved[1]};
            lowered[0].effective &=
                ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
            FLowered = ::syscall(SYS_capset, &FHeader, lowered) == 0;
        }
    }
    ~TOrdinaryUser()
    {
        if (FLowered) {
            ::syscall(SYS_capset, &FHeader, FSaved);
        }
    }
    TOrdinaryUser(const TOrdinaryUser&) = delete;
    TOrdinaryUser& operator=(const TOrdinaryUser&) = delete;

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FSaved[2]{};
    bool FLowered = false;
};

class TUnreadableFolder : public TOrdinaryUser
{
public:
    // Gives Folder the mode (no right at all by default); the calling thread stops reading and
    // writing past folder rights.
    explicit TUnreadableFolder(std::string Folder, mode_t Mode = 0) : FFolder(std::move(Folder))
    {
        ::chmod(FFolder.c_str(), Mode);
    }
    ~TUnreadableFolder() { ::chmod(FFolder.c_str(), 0755); }

private:
    std::string FFolder;
};

} // namespace apptest
