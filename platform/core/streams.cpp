// TStream and its memory, handle, file and string streams.
#include "platform/core/streams.h"

#include "platform/core/detail/write_error.h"
#include "platform/core/detail/write_room.h"
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kvcore_detail {

int64_t (*gWriteRoomHook)(int Handle, int64_t Count) = nullptr;

std::string FileCallMessage(const char* Failed, const std::string& FileName, int Error)
{
    return std::string(Failed) + " \"" + FileName + "\". " + SysErrorMessage(Error);
}

std::string CannotWriteMessage(const std::string& FileName, int Error)
{
    return CannotWriteMessage(FileName, SysErrorMessage(Error));
}

} // namespace kvcore_detail

namespace {

// The largest memory stream we agree to hold; larger requests are refused, not attempted.
constexpr int64_t kMaxMemoryStreamSize = int64_t(1) << 40;
constexpr int64_t kCopyBufferSize = 1 << 16;

// The position a seek asks for; a sum beyond the 64-bit range stops at its limit.
int64_t SeekTarget(int64_t Offset, TSeekOrigin Origin, int64_t Position, int64_t Size)
{
    int64_t base = Origin == soBeginning ? 0 : (Origin == soCurrent ? Position : Size);
    int64_t target = 0;
    if (__builtin_add_overflow(base, Offset, &target)) {
        return Offset < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    }
    return target;
}

} // namespace

// ---- TStream ----

void TStream::ReadBuffer(void* Buffer, int64_t Count)
{
    if (Count != 0 && Read(Buffer, Count) != Count) {
        throw EReadError();
    }
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count)
{
    if (Count != 0 && Write(Buffer, Count) != Count) {
        throw WriteError();
    }
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count)
{
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    if (Count < 0) {
        throw EReadError();
    }
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(std::min(Count, kCopyBufferSize))]);
    int64_t left = Count;
    while (left > 0) {
        int64_t chunk = std::min(left, kCopyBufferSize);
        Source.ReadBuffer(buffer.get(), chunk);
        WriteBuffer(buffer.get(), chunk);
        left -= chunk;
    }
    return Count;
}

int64_t TStream::Size()
{
    int64_t position = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

EWriteError TStream::WriteError() const
{
    return EWriteError();
}

// ---- TCustomMemoryStream ----

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size)
{
    FMemory = Ptr;
    FSize = Size;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count)
{
    if (Count <= 0 || FPosition < 0 || FPosition >= FSize) {
        return 0;
    }
    int64_t available = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, static_cast<const char*>(FMemory) + FPosition, static_cast<size_t>(available));
    FPosition += available;
    return available;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin)
{
    FPosition = SeekTarget(Offset, Origin, FPosition, FSize);
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& Stream)
{
    if (FSize > 0) {
        Stream.WriteBuffer(FMemory, FSize);
    }
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName)
{
    TSafeFileWriter file(FileName);
    SaveToStream(file.Stream());
    file.Commit();
}

// ---- TMemoryStream ----

TMemoryStream::~TMemoryStream()
{
    std::free(FMemory);
}

void TMemoryStream::Clear()
{
    std::free(FMemory);
    SetPointer(nullptr, 0);
    FCapacity = 0;
    FPosition = 0;
}

void TMemoryStream::SetCapacity(int64_t NewCapacity)
{
    if (NewCapacity < 0 || NewCapacity > kMaxMemoryStreamSize) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    if (NewCapacity == FCapacity) {
        return;
    }
    if (NewCapacity == 0) {
        std::free(FMemory);
        FMemory = nullptr;
        FCapacity = 0;
        FSize = 0;
        return;
    }
    void* grown = std::realloc(FMemory, static_cast<size_t>(NewCapacity));
    if (!grown) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    FMemory = grown;
    FCapacity = NewCapacity;
    FSize = std::min(FSize, FCapacity);
}

void TMemoryStream::SetSize(int64_t NewSize)
{
    if (NewSize < 0 || NewSize > kMaxMemoryStreamSize) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    if (NewSize > FCapacity) {
        // Grow by a quarter at least, so that many small writes stay linear.
        int64_t capacity =
            std::max(NewSize, std::min(FCapacity + FCapacity / 4 + 4096, kMaxMemoryStreamSize));
        SetCapacity(capacity);
    }
    if (NewSize > FSize) {
        std::memset(static_cast<char*>(FMemory) + FSize, 0, static_cast<size_t>(NewSize - FSize));
    }
    FSize = NewSize;
    if (FPosition > FSize) {
        FPosition = FSize;
    }
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count)
{
    if (Count <= 0 || FPosition < 0) {
        return 0;
    }
    if (Count > kMaxMemoryStreamSize - FPosition) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    int64_t end = FPosition + Count;
    if (end > FSize) {
        int64_t position = FPosition;
        SetSize(end);
        FPosition = position;
    }
    std::memcpy(static_cast<char*>(FMemory) + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition = end;
    return Count;
}

void TMemoryStream::LoadFromStream(TStream& Stream)
{
    Stream.SetPosition(0);
    int64_t count = Stream.Size();
    SetSize(count);
    if (count > 0) {
        Stream.ReadBuffer(FMemory, count);
    }
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

// ---- THandleStream ----

int64_t THandleStream::Read(void* Buffer, int64_t Count)
{
    int64_t done = 0;
    while (done < Count) {
        ssize_t got = ::read(FHandle, static_cast<char*>(Buffer) + done,
                             static_cast<size_t>(std::min<int64_t>(Count - done, 1 << 30)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += got;
    }
    return done;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count)
{
    const int64_t room = kvcore_detail::gWriteRoomHook
                             ? std::clamp<int64_t>(kvcore_detail::gWriteRoomHook(FHandle, Count), 0, Count)
                             : Count;
    int64_t done = 0;
    while (done < room) {
        ssize_t put = ::write(FHandle, static_cast<const char*>(Buffer) + done,
                              static_cast<size_t>(std::min<int64_t>(room - done, 1 << 30)));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            // A write of no byte tells no reason; a full disk is the likely one.
            FWriteErrorCode = put < 0 ? errno : ENOSPC;
            break;
        }
        done += put;
    }
    if (done == room && room < Count) {
        errno = FWriteErrorCode = ENOSPC;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin)
{
    static_assert(sizeof(off_t) == 8, "file offsets are 64-bit");
    int whence = Origin == soBeginning ? SEEK_SET : (Origin == soCurrent ? SEEK_CUR : SEEK_END);
    return static_cast<int64_t>(::lseek(FHandle, static_cast<off_t>(Offset), whence));
}

void THandleStream::SetSize(int64_t NewSize)
{
    if (NewSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) {
        FWriteErrorCode = NewSize < 0 ? EINVAL : errno;
        throw WriteError();
    }
    if (Position() > NewSize) {
        SetPosition(NewSize);
    }
}

EWriteError THandleStream::WriteError() const
{
    if (FFileName.empty()) {
        return TStream::WriteError();
    }
    return EWriteError(
        kvcore_detail::CannotWriteMessage(FFileName, FWriteErrorCode != 0 ? FWriteErrorCode : EIO));
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& AFileName, uint16_t Mode) : THandleStream(-1, AFileName)
{
    if ((Mode & fmCreate) == fmCreate) {
        FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (FHandle < 0) {
            throw EFCreateError(kvcore_detail::FileCallMessage("Cannot create file", AFileName, errno));
        }
        return;
    }
    int access = (Mode & 3) == fmOpenWrite ? O_WRONLY : ((Mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY);
    FHandle = ::open(AFileName.c_str(), access | O_CLOEXEC);
    if (FHandle < 0) {
        throw EFOpenError(kvcore_detail::FileCallMessage("Cannot open file", AFileName, errno));
    }
    // A folder opens for reading here, but is no stream of bytes.
    struct stat info
    {
    };
    if (::fstat(FHandle, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        throw EFOpenError(kvcore_detail::FileCallMessage("Cannot open file", AFileName, EISDIR));
    }
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0) {
        ::close(FHandle);
    }
}

// ---- TStringStream ----

int64_t TStringStream::Read(void* Buffer, int64_t Count)
{
    auto size = static_cast<int64_t>(FDataString.size());
    if (Count <= 0 || FPosition < 0 || FPosition >= size) {
        return 0;
    }
    int64_t available = std::min(Count, size - FPosition);
    std::memcpy(Buffer, FDataString.data() + FPosition, static_cast<size_t>(available));
    FPosition += available;
    return available;
}

int64_t TStringStream::Write(const void* Buffer, int64_t Count)
{
    if (Count <= 0 || FPosition < 0) {
        return 0;
    }
    if (Count > kMaxMemoryStreamSize - FPosition) {
        throw EOutOfMemory();
    }
    auto end = static_cast<size_t>(FPosition + Count);
    if (end > FDataString.size()) {
        FDataString.resize(end, '\0');
    }
    std::memcpy(FDataString.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition += Count;
    return Count;
}

int64_t TStringStream::Seek(int64_t Offset, TSeekOrigin Origin)
{
    FPosition = SeekTarget(Offset, Origin, FPosition, static_cast<int64_t>(FDataString.size()));
    return FPosition;
}

void TStringStream::SetSize(int64_t NewSize)
{
    if (NewSize < 0 || NewSize > kMaxMemoryStreamSize) {
        throw EOutOfMemory();
    }
    FDataString.resize(static_cast<size_t>(NewSize), '\0');
    FPosition = std::min(FPosition, NewSize);
}

std::string TStringStream::ReadString(int64_t Count)
{
    auto size = static_cast<int64_t>(FDataString.size());
    if (Count <= 0 || FPosition < 0 || FPosition >= size) {
        return std::string();
    }
    int64_t available = std::min(Count, size - FPosition);
    std::string result = FDataString.substr(static_cast<size_t>(FPosition), static_cast<size_t>(available));
    FPosition += available;
    return result;
}

void TStringStream::WriteString(const std::string& AString)
{
    Write(AString.data(), static_cast<int64_t>(AString.size()));
}
