// Small files read and written whole.
#include "platform/core/detail/whole_file.h"

#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/safe_file_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvcore_detail {

namespace {

// Settings files are small; a larger one is not one of ours.
constexpr off_t kMaxSettingsFileSize = 64 << 20;

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

bool WriteWholeFile(const std::string& FileName, const std::string& Content, mode_t Mode)
{
    if (!ForceDirectories(ExtractFilePath(ExpandFileName(FileName)))) {
        return false;
    }
    try {
        TSafeFileWriter file(FileName, Mode);
        file.Stream().WriteBuffer(Content.data(), static_cast<int64_t>(Content.size()));
        file.Commit();
    } catch (const EStreamError&) {
        return false;
    }
    return true;
}

} // namespace kvcore_detail
