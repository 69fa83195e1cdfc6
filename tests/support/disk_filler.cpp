// A disk filled to its last block.
#include "tests/support/disk_filler.h"

#include <fcntl.h>
#include <unistd.h>

namespace kvtest {

bool FillDisk(const std::string& FileName)
{
    const int handle = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (handle < 0) {
        return false;
    }
    const std::string block(64 << 10, 'f');
    // Blocks that a file system held for writes still in memory are free again once those are
    // on the disk.
    for (int round = 0; round < 2; round++) {
        for (size_t size = block.size(); size > 0; size /= 2) {
            while (::write(handle, block.data(), size) > 0) {
            }
        }
        ::fsync(handle);
    }
    ::close(handle);
    return true;
}

} // namespace kvtest
