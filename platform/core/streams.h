// Streams of the class-library layer: the abstract TStream, memory streams, file streams and
// string streams. Positions, sizes and counts are 64-bit.
#pragma once

#include "platform/core/classes.h"
#include "platform/core/exceptions.h"

#include <cstdint>
#include <string>

enum TSeekOrigin : uint8_t
{
    soBeginning = 0,
    soCurrent = 1,
    soEnd = 2
};
constexpr TSeekOrigin soFromBeginning = soBeginning;
constexpr TSeekOrigin soFromCurrent = soCurrent;
constexpr TSeekOrigin soFromEnd = soEnd;

// File open modes: one access mode, optionally or-ed with a share mode (accepted and ignored
// here). fmCreate creates the file or truncates it, and opens it for reading and writing.
enum : uint16_t
{
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,
};

class TStream : public TObject
{
public:
    // Read up to Count bytes at the position; returns the number read (0 at the end).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    // Write up to Count bytes at the position; returns the number written.
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

    // Read or write exactly Count bytes, or raise EReadError / EWriteError.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Copies Count bytes from Source's position; Count 0 copies the whole of Source from its
    // beginning. Raises EReadError when Source ends early. Returns the count copied.
    int64_t CopyFrom(TStream& Source, int64_t Count);

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
    virtual int64_t Size();
    // The default does nothing; streams that can be resized override it.
    virtual void SetSize(int64_t NewSize);

protected:
    // What WriteBuffer raises when a write comes up short.
    virtual EWriteError WriteError() const;
};

// A stream over a block of memory that it does not manage itself; descendants set the block.
class TCustomMemoryStream : public TStream
{
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return FSize; }

    void SaveToStream(TStream& Stream);
    // Saves through TSafeFileWriter: the file keeps its content unless the whole new one is written.
    // Raises EFCreateError or EWriteError, naming the file and the reason, when that fails.
    void SaveToFile(const std::string& FileName);
    void* Memory() const { return FMemory; }

protected:
    void SetPointer(void* Ptr, int64_t Size);

    void* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

// A stream in a growing block of memory that it owns. Writing past the end grows it (a gap is
// filled with zero bytes); a size beyond the memory limit raises EOutOfMemory.
class TMemoryStream : public TCustomMemoryStream
{
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;

    int64_t Write(const void* Buffer, int64_t Count) override;
    void SetSize(int64_t NewSize) override;

    void Clear();
    // Replaces the content with the whole of Stream (from its beginning) and rewinds.
    void LoadFromStream(TStream& Stream);
    // Raises EFOpenError when the file cannot be opened.
    void LoadFromFile(const std::string& FileName);

    int64_t Capacity() const { return FCapacity; }
    void SetCapacity(int64_t NewCapacity);

private:
    int64_t FCapacity = 0;
};

// A stream over an open file descriptor, which it does not close. Given the file's name, its
// write errors name the file and the reason.
class THandleStream : public TStream
{
public:
    explicit THandleStream(int AHandle, std::string AFileName = std::string())
        : FHandle(AHandle), FFileName(std::move(AFileName))
    {
    }

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    // Truncates or extends the file; raises EWriteError on failure.
    void SetSize(int64_t NewSize) override;

    int Handle() const { return FHandle; }
    const std::string& FileName() const { return FFileName; }

protected:
    EWriteError WriteError() const override;

    int FHandle = -1;
    std::string FFileName;

private:
    // The reason the last write came up short.
    int FWriteErrorCode = 0;
};

// A stream over a named file, opened (or created, with fmCreate, which truncates a file that
// exists) by the constructor, which raises EFOpenError / EFCreateError naming the file when that
// fails; closed by the destructor.
class TFileStream : public THandleStream
{
public:
    TFileStream(const std::string& AFileName, uint16_t Mode);
    ~TFileStream() override;
};

// A stream over a string that it owns.
class TStringStream : public TStream
{
public:
    explicit TStringStream(std::string AString = std::string()) : FDataString(std::move(AString)) {}

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;

    // Up to Count bytes from the position.
    std::string ReadString(int64_t Count);
    void WriteString(const std::string& AString);
    const std::string& DataString() const { return FDataString; }

private:
    std::string FDataString;
    int64_t FPosition = 0;
};
