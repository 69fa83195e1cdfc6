// Small file systems of the tests' own: a tmpfs, an ext4 or XFS image on a loop device or a FAT
// image in a mount namespace of the test's thread, or a tmpfs in a user namespace of a child
// process; and bind mounts in that namespace.
#include "tests/support/small_disk.h"

#include "platform/core/files.h"
#include "tests/support/tools.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/loop.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

namespace {

std::string Failed(const std::string& What)
{
    return What + ": " + std::strerror(errno);
}

// Moves this thread into a mount namespace of its own (once), where the nearest mount above
// Folder passes nothing on to the machine's.
bool OwnMountsAbove(const std::string& Folder)
{
    static const bool ownNamespace = ::unshare(CLONE_NEWNS) == 0;
    for (std::string above = Folder; ownNamespace && above != "/";) {
        above = ExtractFileDir(above);
        if (::mount(nullptr, above.c_str(), nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
            return true;
        }
    }
    return false;
}

// A file system of Bytes in the file Image: ext4 with no blocks kept for root, whose saves are to
// meet the full disk too, or XFS, whose smallest is 300 MB (a sparse image holds what is written).
bool MakeImage(const std::string& Image, int64_t Bytes, const char* Type, std::string& Why)
{
    const int handle = ::open(Image.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool made = handle >= 0 && ::ftruncate(handle, Bytes) == 0;
    if (!made) {
        Why = Failed("the image " + Image);
    }
    if (handle >= 0) {
        ::close(handle);
    }
    const std::string options = std::string(Type) == "xfs" ? "-q -f -K" : "-q -F -m 0 -E nodiscard";
    int status = -1;
    const std::string said =
        made ? RunTool(std::string("mkfs.") + Type + " " + options + " '" + Image + "' 2>&1", &status) : "";
    if (made && status != 0) {
        Why = std::string("mkfs.") + Type + " failed: " + said;
    }
    return made && status == 0;
}

// Mounts Image on Folder through a free loop device, which goes when its file system is unmounted.
bool MountOnLoop(const std::string& Image, const std::string& Folder, const char* Type, std::string& Why)
{
    const int image = ::open(Image.c_str(), O_RDWR | O_CLOEXEC);
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    Why = image < 0 ? Failed(Image) : control < 0 ? Failed("/dev/loop-control") : "";
    bool mounted = false;
    // Tests that run beside this one may take the same free device first.
    for (int attempt = 0; Why.empty() && !mounted && attempt < 20; ++attempt) {
        const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
        const std::string device = "/dev/loop" + std::to_string(number);
        const int loop = number < 0 ? -1 : ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (loop < 0) {
            Why = Failed(number < 0 ? "no free loop device" : device);
            break;
        }
        loop_config config{};
        config.fd = static_cast<uint32_t>(image);
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (::ioctl(loop, LOOP_CONFIGURE, &config) == 0) {
            mounted = ::mount(device.c_str(), Folder.c_str(), Type, MS_NOSUID | MS_NODEV, nullptr) == 0;
            Why = mounted ? "" : Failed("mount " + device + " on " + Folder);
        } else if (errno != EBUSY) {
            Why = Failed(device);
        }
        // A mounted device stays until its file system is unmounted; any other goes now.
        ::close(loop);
    }
    for (const int handle : {image, control}) {
        if (handle >= 0) {
            ::close(handle);
        }
    }
    return mounted;
}

bool WriteSmallFile(const std::string& FileName, const std::string& Text)
{
    const int handle = ::open(FileName.c_str(), O_WRONLY | O_CLOEXEC);
    const bool written = handle >= 0 && ::write(handle, Text.data(), Text.size()) == ssize_t(Text.size());
    if (handle >= 0) {
        ::close(handle);
    }
    return written;
}

// In a child process of one thread: a user namespace in which this user is root, and a tmpfs of
// Bytes on Folder in its mount namespace; empty, or what failed.
std::string MountTmpfsInUserNamespace(const std::string& Folder, int64_t Bytes)
{
    const std::string uid = std::to_string(::getuid());
    const std::string gid = std::to_string(::getgid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        return Failed("no user namespace can be made");
    }
    if (!WriteSmallFile("/proc/self/setgroups", "deny") ||
        !WriteSmallFile("/proc/self/uid_map", "0 " + uid + " 1") ||
        !WriteSmallFile("/proc/self/gid_map", "0 " + gid + " 1")) {
        return Failed("the user namespace's ids");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", Folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                ("size=" + std::to_string(Bytes)).c_str()) != 0) {
        return Failed("mount tmpfs on " + Folder);
    }
    return "";
}

} // namespace

TSmallDisk::TSmallDisk(const std::string& Folder, int64_t Bytes, TKind Kind)
    : Folder(ExcludeTrailingPathDelimiter(Folder))
{
    if (!OwnMountsAbove(this->Folder)) {
        Why = "no mount namespace of the test's own can be made (it takes root)";
        return;
    }
    if (Kind == Tmpfs) {
        Mounted = ::mount("tmpfs", this->Folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                          ("size=" + std::to_string(Bytes)).c_str()) == 0;
        Why = Mounted ? "" : Failed("mount tmpfs on " + this->Folder);
        return;
    }
    // The image lies in the folder, under the file system it holds.
    if (Kind != Fat) {
        const char* type = Kind == Xfs ? "xfs" : "ext4";
        const std::string image = this->Folder + "/.disk." + type;
        Mounted = MakeImage(image, Bytes, type, Why) && MountOnLoop(image, this->Folder, type, Why);
        return;
    }
    const std::string image = this->Folder + "/.disk.fat";
    struct stat before
    {
    };
    struct stat after
    {
    };
    // The driver tells no failure by its exit status: the folder is on another device once mounted.
    ::stat(this->Folder.c_str(), &before);
    const std::string said =
        RunTool("mkfs.vfat -C '" + image + "' " + std::to_string(Bytes / 1024) +
                " 2>&1 && fusefat -o rw+,use_ino,nonempty '" + image + "' '" + this->Folder + "' 2>&1");
    Mounted = ::stat(this->Folder.c_str(), &after) == 0 && before.st_dev != after.st_dev;
    Why = Mounted ? "" : "the FAT disk: " + said;
}

TSmallDisk::~TSmallDisk()
{
    if (Mounted) {
        ::umount2(Folder.c_str(), MNT_DETACH);
    }
}

TBoundFolder::TBoundFolder(const std::string& Source, const std::string& Folder)
    : Folder(ExcludeTrailingPathDelimiter(Folder))
{
    if (!OwnMountsAbove(this->Folder)) {
        Why = "no mount namespace of the test's own can be made (it takes root)";
        return;
    }
    Mounted = ::mount(Source.c_str(), this->Folder.c_str(), nullptr, MS_BIND, nullptr) == 0;
    Why = Mounted ? "" : Failed("bind " + Source + " on " + this->Folder);
}

TBoundFolder::~TBoundFolder()
{
    if (Mounted) {
        ::umount2(Folder.c_str(), MNT_DETACH);
    }
}

bool RunOnSmallDisk(const std::string& Folder, int64_t Bytes, const std::function<void()>& Body,
                    std::string& Why)
{
    if (::geteuid() == 0) {
        TSmallDisk disk(Folder, Bytes, TSmallDisk::Ext4);
        Why = disk.Why;
        if (disk.Mounted) {
            Body();
        }
        return disk.Mounted;
    }
    // Only a process of one thread may enter a user namespace. The child tells through the pipe
    // whether the disk was made, and what kept it from being made.
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        Why = Failed("pipe");
        return false;
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        const std::string failed = MountTmpfsInUserNamespace(ExcludeTrailingPathDelimiter(Folder), Bytes);
        const std::string said = failed.empty() ? "mounted" : failed;
        if (::write(pipe[1], said.data(), said.size()) != ssize_t(said.size()) || !failed.empty()) {
            ::_exit(2);
        }
        ::close(pipe[1]);
        Body();
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, size_t(got));
    }
    ::close(pipe[0]);
    int status = 0;
    const bool exited = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status);
    if (said != "mounted") {
        Why = child < 0 ? Failed("fork") : said;
        return false;
    }
    EXPECT_TRUE(exited && WEXITSTATUS(status) == 0)
        << "the test on a tmpfs of its own failed in its process (above)";
    return true;
}

} // namespace kvtest
