// Compression over zlib: one-shot routines and the compressing and decompressing streams.
#include "imaging/codecs/zlib/zstreams.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

const char* const InvalidOperation = "Invalid ZStream operation!";

std::string ZErrorText(int code)
{
    switch (code) {
    case Z_ERRNO:
        return "file error";
    case Z_STREAM_ERROR:
        return "stream error";
    case Z_DATA_ERROR:
        return "data error";
    case Z_MEM_ERROR:
        return "insufficient memory";
    case Z_BUF_ERROR:
        return "buffer error";
    case Z_VERSION_ERROR:
        return "incompatible version";
    default:
        return "data error";
    }
}

int CCheck(int code)
{
    if (code < 0) {
        throw EZCompressionError(ZErrorText(code));
    }
    return code;
}

// A stream that asks for a preset dictionary cannot be inflated here: inflate would make no
// further progress, so it counts as corrupt data.
int DCheck(int code)
{
    if (code == Z_NEED_DICT) {
        code = Z_DATA_ERROR;
    }
    if (code < 0) {
        throw EZDecompressionError(ZErrorText(code));
    }
    return code;
}

int ZLevel(TZCompressionLevel level)
{
    switch (level) {
    case zcNone:
        return 0;
    case zcFastest:
        return 1;
    case zcMax:
        return 9;
    default:
        return Z_DEFAULT_COMPRESSION;
    }
}

// zlib counts in uInt: large blocks go through in pieces.
constexpr size_t MaxChunk = UINT_MAX / 2;

// Ends a zlib stream on every path out of a one-shot routine.
struct TDeflateEnd
{
    z_stream* Stream;
    ~TDeflateEnd() { deflateEnd(Stream); }
};
struct TInflateEnd
{
    z_stream* Stream;
    ~TInflateEnd() { inflateEnd(Stream); }
};

} // namespace

namespace Pngfilt {

namespace {

// Runs a whole block through deflate or inflate (step(flush) calls the one and checks its result),
// growing the output by growth(current size) whenever it is full, until the zlib stream ends.
template <typename Step, typename Growth>
std::vector<uint8_t> RunBlock(z_stream& z, const void* inBuffer, size_t inSize, size_t firstSize, Step step,
                              Growth growth)
{
    std::vector<uint8_t> out(std::max<size_t>(firstSize, 1));
    const auto* in = static_cast<const Bytef*>(inBuffer);
    size_t inLeft = inSize;
    size_t produced = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (produced == out.size()) {
            out.resize(out.size() + growth(out.size()));
        }
        const size_t inChunk = std::min(inLeft, MaxChunk);
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(inChunk);
        z.next_out = out.data() + produced;
        z.avail_out = static_cast<uInt>(std::min(out.size() - produced, MaxChunk));
        const uInt outBefore = z.avail_out;
        result = step(inChunk == inLeft ? Z_FINISH : Z_NO_FLUSH);
        const size_t consumed = inChunk - z.avail_in;
        in += consumed;
        inLeft -= consumed;
        produced += outBefore - z.avail_out;
    }
    out.resize(produced);
    return out;
}

} // namespace

void ZCompress(const void* inBuffer, size_t inSize, std::vector<uint8_t>& outBuffer, TZCompressionLevel level)
{
    z_stream z{};
    CCheck(deflateInit(&z, ZLevel(level)));
    TDeflateEnd end{&z};
    const size_t bound =
        inSize <= MaxChunk ? compressBound(static_cast<uLong>(inSize)) : inSize + inSize / 100 + 64;
    outBuffer = RunBlock(
        z, inBuffer, inSize, bound, [&z](int flush) { return CCheck(deflate(&z, flush)); },
        [](size_t size) { return std::max<size_t>(256, size / 8); });
}

void ZDecompress(const void* inBuffer, size_t inSize, std::vector<uint8_t>& outBuffer, size_t outEstimate)
{
    z_stream z{};
    DCheck(inflateInit(&z));
    TInflateEnd end{&z};
    const size_t step = std::max<size_t>((inSize + 255) & ~size_t(255), 256);
    // Inflate runs without flushing, as zlib advises for a whole stream.
    outBuffer = RunBlock(
        z, inBuffer, inSize, outEstimate > 0 ? outEstimate : step,
        [&z](int) { return DCheck(inflate(&z, Z_NO_FLUSH)); }, [step](size_t) { return step; });
}

std::string ZCompressStr(const std::string& text, TZCompressionLevel level)
{
    std::vector<uint8_t> out;
    ZCompress(text.data(), text.size(), out, level);
    return std::string(out.begin(), out.end());
}

std::string ZDecompressStr(const std::string& data)
{
    std::vector<uint8_t> out;
    ZDecompress(data.data(), data.size(), out, 0);
    return std::string(out.begin(), out.end());
}

void ZCompressStream(TStream& input, TStream& output, TZCompressionLevel level)
{
    constexpr uInt BlockSize = 32768;
    std::vector<Bytef> inBlock(BlockSize);
    std::vector<Bytef> outBlock(BlockSize);
    z_stream z{};
    CCheck(deflateInit(&z, ZLevel(level)));
    TDeflateEnd end{&z};
    auto run = [&](int flush) {
        int result = Z_OK;
        do {
            z.next_out = outBlock.data();
            z.avail_out = BlockSize;
            result = CCheck(deflate(&z, flush));
            output.WriteBuffer(outBlock.data(), BlockSize - z.avail_out);
        } while (z.avail_in > 0 || z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    };
    for (;;) {
        const int64_t got = input.Read(inBlock.data(), BlockSize);
        if (got <= 0) {
            break;
        }
        z.next_in = inBlock.data();
        z.avail_in = static_cast<uInt>(got);
        run(Z_NO_FLUSH);
    }
    z.next_in = nullptr;
    z.avail_in = 0;
    run(Z_FINISH);
}

void ZDecompressStream(TStream& input, TStream& output)
{
    constexpr uInt BlockSize = 32768;
    std::vector<Bytef> inBlock(BlockSize);
    std::vector<Bytef> outBlock(BlockSize);
    z_stream z{};
    DCheck(inflateInit(&z));
    TInflateEnd end{&z};
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        const int64_t got = input.Read(inBlock.data(), BlockSize);
        if (got <= 0) {
            throw EZDecompressionError(ZErrorText(Z_BUF_ERROR)); // the data ended before the stream did
        }
        z.next_in = inBlock.data();
        z.avail_in = static_cast<uInt>(got);
        do {
            z.next_out = outBlock.data();
            z.avail_out = BlockSize;
            result = DCheck(inflate(&z, Z_NO_FLUSH));
            output.WriteBuffer(outBlock.data(), BlockSize - z.avail_out);
        } while (result != Z_STREAM_END && (z.avail_in > 0 || z.avail_out == 0));
    }
}

} // namespace Pngfilt

TCustomZStream::TCustomZStream(TStream& stream)
    : FStream(stream), FStreamStart(stream.Position()), FStreamPosition(FStreamStart),
      FZRec(std::make_unique<z_stream>()), FBuffer(std::make_unique<uint8_t[]>(BufferSize))
{
}

TCustomZStream::~TCustomZStream() = default;

void TCustomZStream::DoProgress()
{
    if (OnProgress) {
        OnProgress(this);
    }
}

TZCompressionStream::TZCompressionStream(TStream& dest, TZCompressionLevel level) : TCustomZStream(dest)
{
    FZRec->next_out = FBuffer.get();
    FZRec->avail_out = BufferSize;
    CCheck(deflateInit(FZRec.get(), ZLevel(level)));
}

TZCompressionStream::~TZCompressionStream()
{
    try {
        Finish();
    } catch (...) {
        // Reported only to a caller of Finish.
    }
    deflateEnd(FZRec.get());
}

void TZCompressionStream::WriteBufferOut(size_t count)
{
    FStream.WriteBuffer(FBuffer.get(), static_cast<int64_t>(count));
    FZRec->next_out = FBuffer.get();
    FZRec->avail_out = BufferSize;
    FStreamPosition = FStream.Position();
}

int64_t TZCompressionStream::Read(void*, int64_t)
{
    throw EZCompressionError(InvalidOperation);
}

int64_t TZCompressionStream::Write(const void* buffer, int64_t count)
{
    if (FFinished) {
        throw EZCompressionError(InvalidOperation);
    }
    if (FStream.Position() != FStreamPosition) {
        FStream.SetPosition(FStreamPosition);
    }
    const auto* in = static_cast<const Bytef*>(buffer);
    int64_t left = count;
    while (left > 0) {
        const auto chunk = static_cast<uInt>(std::min<int64_t>(left, int64_t(MaxChunk)));
        FZRec->next_in = const_cast<Bytef*>(in);
        FZRec->avail_in = chunk;
        while (FZRec->avail_in > 0) {
            CCheck(deflate(FZRec.get(), Z_NO_FLUSH));
            if (FZRec->avail_out == 0) {
                WriteBufferOut(BufferSize);
                DoProgress();
            }
        }
        in += chunk;
        left -= chunk;
    }
    return count;
}

int64_t TZCompressionStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (offset == 0 && origin == soCurrent) {
        return static_cast<int64_t>(FZRec->total_in);
    }
    throw EZCompressionError(InvalidOperation);
}

void TZCompressionStream::Finish()
{
    if (FFinished) {
        return;
    }
    FFinished = true;
    FZRec->next_in = nullptr;
    FZRec->avail_in = 0;
    if (FStream.Position() != FStreamPosition) {
        FStream.SetPosition(FStreamPosition);
    }
    while (CCheck(deflate(FZRec.get(), Z_FINISH)) != Z_STREAM_END) {
        WriteBufferOut(BufferSize - FZRec->avail_out);
    }
    if (FZRec->avail_out < BufferSize) {
        WriteBufferOut(BufferSize - FZRec->avail_out);
    }
}

float TZCompressionStream::GetCompressionRate() const
{
    if (FZRec->total_in == 0) {
        return 0.0f;
    }
    return static_cast<float>(
        (1.0 - static_cast<double>(FZRec->total_out) / static_cast<double>(FZRec->total_in)) * 100.0);
}

TZDecompressionStream::TZDecompressionStream(TStream& source) : TCustomZStream(source)
{
    FZRec->next_in = FBuffer.get();
    FZRec->avail_in = 0;
    DCheck(inflateInit(FZRec.get()));
}

TZDecompressionStream::~TZDecompressionStream()
{
    inflateEnd(FZRec.get());
}

int64_t TZDecompressionStream::Read(void* buffer, int64_t count)
{
    if (count <= 0) {
        return 0;
    }
    if (FStream.Position() != FStreamPosition) {
        FStream.SetPosition(FStreamPosition);
    }
    auto* out = static_cast<Bytef*>(buffer);
    int64_t delivered = 0;
    while (delivered < count && !FEnded) {
        if (FZRec->avail_in == 0) {
            const int64_t got = FStream.Read(FBuffer.get(), BufferSize);
            if (got <= 0) {
                break;
            }
            FZRec->next_in = FBuffer.get();
            FZRec->avail_in = static_cast<uInt>(got);
            FStreamPosition = FStream.Position();
            DoProgress();
        }
        const auto room = static_cast<uInt>(std::min<int64_t>(count - delivered, int64_t(MaxChunk)));
        FZRec->next_out = out + delivered;
        FZRec->avail_out = room;
        FEnded = DCheck(inflate(FZRec.get(), Z_NO_FLUSH)) == Z_STREAM_END;
        delivered += room - FZRec->avail_out;
    }
    if (FEnded && FZRec->avail_in > 0) {
        // Leave the source right after the compressed data.
        FStream.Seek(-int64_t(FZRec->avail_in), soCurrent);
        FStreamPosition = FStream.Position();
        FZRec->avail_in = 0;
    }
    return delivered;
}

int64_t TZDecompressionStream::Write(const void*, int64_t)
{
    throw EZDecompressionError(InvalidOperation);
}

void TZDecompressionStream::SkipBytes(int64_t count)
{
    uint8_t scrap[8192];
    while (count > 0) {
        const int64_t got = Read(scrap, std::min<int64_t>(count, sizeof scrap));
        if (got <= 0) {
            break;
        }
        count -= got;
    }
}

int64_t TZDecompressionStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const auto delivered = static_cast<int64_t>(FZRec->total_out);
    if (offset == 0 && origin == soBeginning) {
        DCheck(inflateReset(FZRec.get()));
        FZRec->next_in = FBuffer.get();
        FZRec->avail_in = 0;
        FEnded = false;
        FStream.SetPosition(FStreamStart);
        FStreamPosition = FStreamStart;
    } else if ((origin == soCurrent && offset >= 0) || (origin == soBeginning && offset >= delivered)) {
        SkipBytes(origin == soCurrent ? offset : offset - delivered);
    } else if (origin == soEnd && offset == 0) {
        uint8_t scrap[8192];
        while (Read(scrap, sizeof scrap) > 0) {
        }
    } else {
        throw EZDecompressionError(InvalidOperation);
    }
    return static_cast<int64_t>(FZRec->total_out);
}
