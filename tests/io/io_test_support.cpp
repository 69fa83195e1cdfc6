// Helpers of the I/O component tests.
#include "tests/io/io_test_support.h"

#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "platform/core/threads.h"
#include "tests/support/tools.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kviotest {

std::string GoImage(const std::string& name)
{
    return "/usr/share/go-1.19/src/image/testdata/" + name;
}

std::string PixbufImage(const std::string& name)
{
    return "/usr/libexec/installed-tests/gdk-pixbuf/test-images/" + name;
}

void PlugLzwCoders(TKorvaneIO& io)
{
    io.Params().GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
    io.Params().GIF_LZWCompress = Giflzw::GIFLZWCompress;
    io.Params().TIFF_LZWDecompress = Tiflzw::TIFFLZWDecompress;
    io.Params().TIFF_LZWCompress = Tiflzw::TIFFLZWCompress;
}

void FillPattern(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t seed)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const TRGB colour{uint8_t(x * 7 + seed), uint8_t(y * 13 + seed * 3),
                              uint8_t((x + y) * 5 + seed * 7)};
            bitmap.SetPixels_kv24RGB(x, y, colour);
        }
    }
}

bool SamePixels(TKVBitmap& a, TKVBitmap& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetPixelFormat() != b.GetPixelFormat()) {
        return false;
    }
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        for (int32_t x = 0; x < a.GetWidth(); ++x) {
            if (!(a.GetPixels(x, y) == b.GetPixels(x, y))) {
                return false;
            }
        }
    }
    return true;
}

std::string StreamBytes(TMemoryStream& stream)
{
    return std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

std::string FileBytes(const std::string& fileName)
{
    std::ifstream file(fileName, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

bool FileExists(const std::string& fileName)
{
    struct stat info
    {
    };
    return ::stat(fileName.c_str(), &info) == 0;
}

void CopyFile(const std::string& from, const std::string& to)
{
    std::ofstream(to, std::ios::binary) << FileBytes(from);
}

namespace {

// Runs body in a child process once prepare has succeeded there; the child's exit code: body's
// result, 3 when it raised, 4 when prepare failed, -1 when the child did not exit normally.
int ExitCodeInChild(const std::function<bool()>& prepare, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        int code = 4;
        try {
            if (prepare()) {
                code = body();
            }
        } catch (const std::exception&) {
            code = 3;
        }
        _exit(code);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace

int ExitCodeWithFilesLimitedTo(rlim_t bytes, const std::function<int()>& body)
{
    return ExitCodeInChild(
        [bytes] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit bound{bytes, bytes};
            setrlimit(RLIMIT_FSIZE, &bound);
            return true;
        },
        body);
}

int ExitCodeAsNobody(const std::function<int()>& body)
{
    return ExitCodeInChild(
        [] {
            // Root's rights beyond permissions go with its user id.
            return geteuid() != 0 ||
                   (setgroups(0, nullptr) == 0 && setresgid(NobodyId, NobodyId, NobodyId) == 0 &&
                    setresuid(NobodyId, NobodyId, NobodyId) == 0);
        },
        body);
}

void SkipBecause(const std::string& reason)
{
    GTEST_SKIP() << reason;
}

std::string RunTool(const std::string& command, int* status)
{
    return kvtest::RunTool(command + " 2>/dev/null", status);
}

void TEventLog::Attach(TKorvaneIO& io)
{
    io.OnProgress = [this](TObject*, int32_t per) {
        std::lock_guard<std::mutex> lock(FLock);
        ++FProgressCount;
        FLastProgress = per;
    };
    io.OnFinishWork = [this, &io](TObject*) {
        std::lock_guard<std::mutex> lock(FLock);
        FFinishThreads.push_back(GetCurrentThreadId());
        FFinishAborting.push_back(io.Aborting);
    };
}

void TEventLog::Clear()
{
    std::lock_guard<std::mutex> lock(FLock);
    FProgressCount = 0;
    FLastProgress = -1;
    FFinishThreads.clear();
    FFinishAborting.clear();
}

int32_t TEventLog::Finishes() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int32_t>(FFinishThreads.size());
}

int32_t TEventLog::ProgressCount() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FProgressCount;
}

int32_t TEventLog::LastProgress() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FLastProgress;
}

std::vector<uint32_t> TEventLog::FinishThreads() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FFinishThreads;
}

std::vector<bool> TEventLog::FinishAborting() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FFinishAborting;
}

int64_t TCountingStream::Read(void* buffer, int64_t count)
{
    const int64_t got = FStream.Read(buffer, count);
    BytesRead += got;
    return got;
}

int64_t TCountingStream::Write(const void* buffer, int64_t count)
{
    const int64_t put = FStream.Write(buffer, count);
    BytesWritten += put;
    return put;
}

int32_t Occurrences(const std::string& text, const std::string& what)
{
    int32_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

bool WriteGifWithLateTransparency(const std::string& fileName)
{
    const std::string frame = "graphics control\\n\\tdisposal mode 1\\n\\ttransparent index 2\\nend\\n"
                              "image # 1\\nimage left 0\\nimage top 0\\nimage bits 4 by 2\\n";
    int status = 0;
    RunTool("printf 'screen width 4\\nscreen height 2\\nscreen colors 4\\nscreen background 0\\n"
            "pixel aspect byte 0\\nscreen map\\n\\trgb 255 000 000 is 0\\n\\trgb 000 000 255 is 1\\n"
            "\\trgb 000 255 000 is 2\\n\\trgb 000 000 000 is 3\\nend\\n" +
                frame + "0011\\n0101\\n" + frame + "2211\\n0101\\n' | gifbuild > '" + fileName + "'",
            &status);
    return status == 0;
}

} // namespace kviotest
