// Helpers of the I/O component tests: sample files, pictures made in memory, the events a
// component raises, and the standard tools that check written files.
#pragma once

#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <vector>

class TKVBitmap;
class TMemoryStream;

namespace kviotest {

// Sample files that ship with Debian's Go sources and gdk-pixbuf tests.
std::string GoImage(const std::string& name);
std::string PixbufImage(const std::string& name);

// Plugs the GIF and TIFF LZW coders into the component's parameters, as the gallery run does.
void PlugLzwCoders(TKorvaneIO& io);

// A kv24RGB picture whose pixels all differ from their neighbours.
void FillPattern(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t seed = 0);
// Same size, format and pixels (as colours).
bool SamePixels(TKVBitmap& a, TKVBitmap& b);

// The bytes of a stream or file.
std::string StreamBytes(TMemoryStream& stream);
std::string FileBytes(const std::string& fileName);
bool FileExists(const std::string& fileName);
void CopyFile(const std::string& from, const std::string& to);

// A stream over another that counts the bytes read from it and written to it.
class TCountingStream : public TStream
{
public:
    explicit TCountingStream(TStream& stream) : FStream(stream) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FStream.Seek(offset, origin); }
    int64_t Size() override { return FStream.Size(); }
    void SetSize(int64_t size) override { FStream.SetSize(size); }

    int64_t BytesRead = 0;
    int64_t BytesWritten = 0;

private:
    TStream& FStream;
};

// A 4 x 2 gifbuild animation whose two frames flag green transparent; only the second has green
// pixels, two. False when it cannot be written.
bool WriteGifWithLateTransparency(const std::string& fileName);

// How many times text holds what: the lines of a log, or the pages a tool lists.
int32_t Occurrences(const std::string& text, const std::string& what);

// Runs a shell command; its standard output, and the exit status in status.
std::string RunTool(const std::string& command, int* status = nullptr);

// Runs body in a child process whose files cannot grow past bytes, as on a full disk; the
// child's exit code: body's result, 3 when it raised, -1 when the child did not exit normally.
int ExitCodeWithFilesLimitedTo(rlim_t bytes, const std::function<int()>& body);

// The user and group nobody, who own nothing of the tests'.
constexpr uint32_t NobodyId = 65534;
// Runs body in a child process that, when this one runs as root, first becomes nobody, so that
// only the permissions of files and folders decide what it may write; the exit code as above, 4
// when it could not change user.
int ExitCodeAsNobody(const std::function<int()>& body);

// Skips the current test, which returns after the call, where this machine cannot run it.
void SkipBecause(const std::string& reason);

// What a component reported, from whichever thread: progress values and finish events in order.
class TEventLog
{
public:
    void Attach(TKorvaneIO& io);
    void Clear();
    int32_t Finishes() const;
    int32_t ProgressCount() const;
    // The value of the last OnProgress call (the finish event sends 100).
    int32_t LastProgress() const;
    std::vector<uint32_t> FinishThreads() const;
    std::vector<bool> FinishAborting() const;

private:
    mutable std::mutex FLock;
    int32_t FProgressCount = 0;
    int32_t FLastProgress = -1;
    std::vector<uint32_t> FFinishThreads;
    std::vector<bool> FFinishAborting;
};

} // namespace kviotest
