// Compression over zlib: one-shot compression of memory blocks, strings and streams, and the
// two streams that compress on write and decompress on read.
#pragma once

#include "platform/core/classes.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TZCompressionLevel : uint8_t
{
    zcNone,
    zcFastest,
    zcDefault,
    zcMax
};

class EZLibError : public Exception
{
public:
    using Exception::Exception;
};

class EZCompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

class EZDecompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

namespace Pngfilt {

// Compresses inSize bytes into a zlib stream that replaces outBuffer.
void ZCompress(const void* inBuffer, size_t inSize, std::vector<uint8_t>& outBuffer,
               TZCompressionLevel level);
// Decompresses a whole zlib stream into outBuffer; outEstimate (0 for none) sizes the first
// allocation. Corrupt or cut data raises EZDecompressionError.
void ZDecompress(const void* inBuffer, size_t inSize, std::vector<uint8_t>& outBuffer,
                 size_t outEstimate = 0);

std::string ZCompressStr(const std::string& text, TZCompressionLevel level = zcDefault);
std::string ZDecompressStr(const std::string& data);

// From the input's position to its end, appended at the output's position.
void ZCompressStream(TStream& input, TStream& output, TZCompressionLevel level = zcDefault);
void ZDecompressStream(TStream& input, TStream& output);

} // namespace Pngfilt

struct z_stream_s;

class TCustomZStream : public TStream
{
public:
    explicit TCustomZStream(TStream& stream);
    ~TCustomZStream() override;

    // Raised once per 64 KB buffer that moves between this stream and the wrapped one.
    TNotifyEvent OnProgress;

protected:
    void DoProgress();

    static constexpr size_t BufferSize = 65536;

    TStream& FStream;
    int64_t FStreamStart = 0;    // the wrapped stream's position when this one was made
    int64_t FStreamPosition = 0; // its position as this stream last left it
    std::unique_ptr<z_stream_s> FZRec;
    std::unique_ptr<uint8_t[]> FBuffer;
};

class TZCompressionStream : public TCustomZStream
{
public:
    TZCompressionStream(TStream& dest, TZCompressionLevel level = zcDefault);
    // Finishes the zlib stream when Finish has not; a failure there is swallowed, since a
    // destructor must not throw: call Finish to learn of it.
    ~TZCompressionStream() override;

    int64_t Read(void* buffer, int64_t count) override; // raises EZCompressionError
    int64_t Write(const void* buffer, int64_t count) override;
    // Seek(0, soCurrent) returns the bytes taken in so far; anything else raises.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    // Flushes what deflate holds and ends the zlib stream; later writes raise.
    void Finish();

    // (1 - bytes out / bytes in) x 100; 0 before any input.
    float GetCompressionRate() const;
    float CompressionRate() const { return GetCompressionRate(); }

private:
    void WriteBufferOut(size_t count);
    bool FFinished = false;
};

class TZDecompressionStream : public TCustomZStream
{
public:
    explicit TZDecompressionStream(TStream& source);
    ~TZDecompressionStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override; // raises EZDecompressionError
    // To the beginning (back to where the compressed data started), forward by reading, or to
    // the end; returns the bytes delivered so far. A backward move elsewhere raises.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    void SkipBytes(int64_t count);
    bool FEnded = false;
};
