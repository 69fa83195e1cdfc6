// TKVFileBuffer: byte ranges of a temporary file borrowed as heap blocks, moved with 64-bit
// pread and pwrite.
#include "imaging/core/file_buffer.h"

#include "imaging/core/file_utils.h"
#include "platform/core/exceptions.h"
#include "platform/core/system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A released block rests poisoned for one more map before it is reused, so that code still
// holding the previous row of a file-backed bitmap trips AddressSanitizer.
constexpr size_t kQuarantinedBlocks = 1;
#define KV_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define KV_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
constexpr size_t kQuarantinedBlocks = 0;
#define KV_POISON(address, size) ((void)(address), (void)(size))
#define KV_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace {

// Released blocks kept for reuse: rows of one bitmap are mapped again and again at one size.
constexpr size_t kMaxSpareBlocks = 4;
constexpr int64_t kCopyBlock = 0x100000;

std::string ErrorText(int error)
{
    return SysErrorMessage(error);
}

// Reserves the blocks up front where the file system can, so that a full disk shows at
// allocation (and the image falls back to memory) instead of losing rows later.
bool ReserveSize(int handle, int64_t size)
{
    if (size <= 0)
        return ftruncate(handle, 0) == 0;
    struct statvfs fs;
    if (fstatvfs(handle, &fs) == 0 && int64_t(fs.f_bavail) * int64_t(fs.f_frsize) < size)
        return false;
    if (fallocate(handle, 0, 0, size) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    return ftruncate(handle, size) == 0;
}

} // namespace

TKVFileBuffer::TKVFileBuffer() = default;

TKVFileBuffer::~TKVFileBuffer()
{
    DeAllocate();
    for (TSpareBlock& spare : FSpares)
        KV_UNPOISON(spare.block.get(), spare.size);
}

bool TKVFileBuffer::AllocateFile(const std::string& fileName, int64_t size)
{
    DeAllocate();
    if (size < 0)
        return false;
    std::string folder;
    int handle = -1;
    if (fileName.empty()) {
        folder = Daduvudez::KVTempFolder();
        handle = Daduvudez::KVOpenTempFile();
    } else {
        handle = open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    if (handle < 0)
        return false;
    if (!ReserveSize(handle, size)) {
        close(handle);
        if (!fileName.empty())
            unlink(fileName.c_str());
        return false;
    }
    FHandle = handle;
    FFileName = fileName;
    FFolder = folder;
    return true;
}

void TKVFileBuffer::ReAllocateFile(int64_t size)
{
    if (!IsAllocated())
        return;
    if (size < 0 || ftruncate(FHandle, size) != 0)
        throw EInOutError("Cannot resize the temporary file " + Where() + ": " + ErrorText(errno), errno);
}

void TKVFileBuffer::Close() noexcept
{
    if (FHandle >= 0) {
        close(FHandle);
        FHandle = -1;
    }
}

void TKVFileBuffer::DeAllocate() noexcept
{
    if (!IsAllocated())
        return;
    // The file goes away, so nothing is written back.
    while (!FMaps.empty()) {
        ReturnBlock(FMaps.back().buffer, FMaps.back().size);
        FMaps.pop_back();
    }
    Close();
    if (!FFileName.empty())
        unlink(FFileName.c_str());
    FFileName.clear();
    FFolder.clear();
}

std::string TKVFileBuffer::Where() const
{
    return FFileName.empty() ? "in " + FFolder : FFileName;
}

int64_t TKVFileBuffer::FileSize() const
{
    struct stat st;
    if (!IsAllocated() || fstat(FHandle, &st) != 0)
        return 0;
    return st.st_size;
}

uint8_t* TKVFileBuffer::TakeBlock(int64_t size)
{
    if (FSpares.size() > kQuarantinedBlocks) {
        const auto reusable = FSpares.end() - kQuarantinedBlocks;
        auto spare =
            std::find_if(FSpares.begin(), reusable, [&](const TSpareBlock& s) { return s.size == size; });
        if (spare != reusable) {
            uint8_t* block = spare->block.release();
            FSpares.erase(spare);
            KV_UNPOISON(block, size);
            return block;
        }
    }
    uint8_t* block = new (std::nothrow) uint8_t[size_t(std::max<int64_t>(size, 1))];
    if (block == nullptr)
        throw EOutOfMemory();
    return block;
}

void TKVFileBuffer::ReturnBlock(uint8_t* block, int64_t size) noexcept
{
    KV_POISON(block, size);
    FSpares.push_back(TSpareBlock{size, std::unique_ptr<uint8_t[]>(block)});
    if (FSpares.size() > kMaxSpareBlocks) {
        KV_UNPOISON(FSpares.front().block.get(), FSpares.front().size);
        FSpares.erase(FSpares.begin());
    }
}

void TKVFileBuffer::ReadAt(uint8_t* buffer, int64_t offset, int64_t size)
{
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = pread(FHandle, buffer + done, size_t(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EReadError("Cannot read the temporary file " + Where() + ": " + ErrorText(errno));
        if (n == 0)
            break;
        done += n;
    }
    // Past the end of the file the range reads as zeros.
    std::memset(buffer + done, 0, size_t(size - done));
}

void TKVFileBuffer::WriteAt(const uint8_t* buffer, int64_t offset, int64_t size)
{
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(FHandle, buffer + done, size_t(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError("Cannot write the temporary file " + Where() + ": " +
                              ErrorText(n < 0 ? errno : ENOSPC));
        done += n;
    }
}

uint8_t* TKVFileBuffer::Map(int64_t offset, int64_t size, TKVDataAccess access)
{
    if (!IsAllocated() || offset < 0 || size < 0)
        return nullptr;
    uint8_t* block = TakeBlock(size);
    try {
        if (access & kvdRead)
            ReadAt(block, offset, size);
        FMaps.push_back(TMapRecord{offset, size, block, access});
    } catch (...) {
        ReturnBlock(block, size);
        throw;
    }
    return block;
}

int32_t TKVFileBuffer::IndexOf(const void* buffer) const
{
    for (size_t i = 0; i < FMaps.size(); ++i)
        if (FMaps[i].buffer == buffer)
            return int32_t(i);
    return -1;
}

void TKVFileBuffer::UnMap(const void* buffer)
{
    const int32_t index = IndexOf(buffer);
    if (index < 0)
        throw EListError("List index out of bounds (-1)");
    const TMapRecord record = FMaps[index];
    FMaps.erase(FMaps.begin() + index);
    struct Release
    {
        TKVFileBuffer* owner;
        const TMapRecord& record;
        ~Release() { owner->ReturnBlock(record.buffer, record.size); }
    } release{this, record};
    if (record.access & kvdWrite)
        WriteAt(record.buffer, record.offset, record.size);
}

void TKVFileBuffer::UnMapUnchanged(const void* buffer)
{
    const int32_t index = IndexOf(buffer);
    if (index < 0)
        throw EListError("List index out of bounds (-1)");
    const TMapRecord record = FMaps[index];
    FMaps.erase(FMaps.begin() + index);
    ReturnBlock(record.buffer, record.size);
}

void TKVFileBuffer::UnMapAll()
{
    // Every map is released even when a write-back fails; the first failure is raised.
    std::exception_ptr failure;
    while (!FMaps.empty()) {
        try {
            UnMap(FMaps.back().buffer);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TKVFileBuffer::CopyTo(TKVFileBuffer* destination, int64_t position, int64_t size)
{
    if (destination == nullptr || destination == this || !IsAllocated() || !destination->IsAllocated())
        return;
    UnMapAll();
    destination->UnMapAll();
    if (position < 0 || size <= 0)
        return;
    const bool wholeFile = position == 0 && size == FileSize();
    // Copied between the open files, so that a failure never leaves the destination without its file.
    int64_t done = 0;
    while (done < size) {
        loff_t from = position + done;
        loff_t to = from;
        const ssize_t n = copy_file_range(FHandle, &from, destination->FHandle, &to, size_t(size - done), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // not supported between these files, or the source ends: copy the rest by hand
        done += n;
    }
    if (done < size) {
        std::unique_ptr<uint8_t[]> block(new (std::nothrow)
                                             uint8_t[size_t(std::min(size - done, kCopyBlock))]);
        if (!block)
            throw EOutOfMemory();
        while (done < size) {
            const int64_t count = std::min(kCopyBlock, size - done);
            ReadAt(block.get(), position + done, count);
            destination->WriteAt(block.get(), position + done, count);
            done += count;
        }
    }
    if (wholeFile && destination->FileSize() != size)
        destination->ReAllocateFile(size);
}
