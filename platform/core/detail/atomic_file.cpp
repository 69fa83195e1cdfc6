// Whole-file reads and crash-safe replacement of small files.
#include "platform/core/detail/atomic_file.h"

#include "platform/core/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvcore_detail {

bool (*gBeforeRenameHook)(const std::string& TempFileName) = nullptr;

namespace {

// Settings files are small; a larger one is not one of ours.
constexpr off_t kMaxSettingsFileSize = 64 << 20;

bool WriteAll(int Handle, const std::string& Content)
{
    size_t done = 0;
    while (done < Content.size()) {
        ssize_t put = ::write(Handle, Content.data() + done, Content.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

} // namespace

TReadResult ReadWholeFile(const std::string& FileName, std::string& Content)
{
    Content.clear();
    int handle = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        return errno == ENOENT ? TReadResult::Missing : TReadResult::Unreadable;
    }
    struct stat info
    {
    };
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxSettingsFileSize) {
        ::close(handle);
        return TReadResult::Unreadable;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t got = ::read(handle, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(handle);
            Content.clear();
            return TReadResult::Unreadable;
        }
        if (got == 0) {
            break;
        }
        if (Content.size() + static_cast<size_t>(got) > static_cast<size_t>(kMaxSettingsFileSize)) {
            ::close(handle);
            Content.clear();
            return TReadResult::Unreadable;
        }
        Content.append(buffer.data(), static_cast<size_t>(got));
    }
    ::close(handle);
    return TReadResult::Ok;
}

bool ReplaceFileAtomically(const std::string& FileName, const std::string& Content, unsigned Mode)
{
    const std::string folder = ExtractFilePath(ExpandFileName(FileName));
    if (!ForceDirectories(folder)) {
        return false;
    }
    struct stat existing
    {
    };
    if (::stat(FileName.c_str(), &existing) == 0) {
        Mode = existing.st_mode & 07777;
    }
    // The new content has a name beside the file from the start, as the rename over the file
    // takes one in the same folder; a process killed before the rename leaves it there.
    std::string pattern = ExpandFileName(FileName) + ".XXXXXX";
    std::vector<char> tempName(pattern.begin(), pattern.end());
    tempName.push_back('\0');
    int handle = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (handle < 0) {
        return false;
    }
    const std::string temp = tempName.data();
    bool ok = ::fchmod(handle, Mode) == 0 && WriteAll(handle, Content) && ::fsync(handle) == 0;
    ok = (::close(handle) == 0) && ok;
    if (ok && gBeforeRenameHook && !gBeforeRenameHook(temp)) {
        return false; // the simulated crash leaves the temporary file behind, as a real one would
    }
    if (!ok || ::rename(temp.c_str(), FileName.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk for the new content to survive a power loss.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace kvcore_detail
