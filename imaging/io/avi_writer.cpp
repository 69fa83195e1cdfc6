// Our RIFF AVI 1.0 writer: one video stream of uncompressed ("DIB ", 24-bit or 8-bit with palette
// changes) or Motion JPEG frames, an idx1 index, and headers completed when the file is closed.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/kvvfw.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/streams.h"
#include "platform/forms/dialog_service.h"

#include <algorithm>
#include <cstring>

namespace Kvvfw {

namespace {

constexpr uint32_t FourCC(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t AVIF_ISINTERLEAVED = 0x100;
constexpr uint32_t AVISF_VIDEO_PALCHANGES = 0x10000;
constexpr uint32_t AVIIF_KEYFRAME = 0x10;
constexpr uint32_t AVIIF_NO_TIME = 0x100;
constexpr uint32_t PaletteBytes = 256 * 4;

// The places of the header fields that are known only when the file is complete.
constexpr int64_t RiffSizeAt = 4;
constexpr int64_t AvihAt = 32; // the main header's fields
constexpr int64_t AvihMaxBytesPerSecAt = AvihAt + 4;
constexpr int64_t AvihTotalFramesAt = AvihAt + 16;
constexpr int64_t AvihBufferSizeAt = AvihAt + 28;

// Little-endian fields gathered in memory before they are written.
class TBytes
{
public:
    void U8(uint8_t v) { FData.push_back(v); }
    void U16(uint16_t v)
    {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v)
    {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void Raw(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        FData.insert(FData.end(), p, p + size);
    }
    size_t Size() const { return FData.size(); }
    const uint8_t* Data() const { return FData.data(); }
    void Put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            FData[at + size_t(i)] = uint8_t(v >> (8 * i));
        }
    }

private:
    std::vector<uint8_t> FData;
};

// The palette of a kv8p frame as four-byte entries in the given order of red, green, blue.
std::vector<uint8_t> PaletteOf(TKVBitmap& frame, bool blueFirst)
{
    std::vector<uint8_t> palette(PaletteBytes, 0);
    for (int32_t i = 0; i < 256; ++i) {
        const TRGB c = frame.GetPalette(i);
        palette[size_t(i) * 4 + 0] = blueFirst ? c.b : c.r;
        palette[size_t(i) * 4 + 1] = c.g;
        palette[size_t(i) * 4 + 2] = blueFirst ? c.r : c.b;
    }
    return palette;
}

} // namespace

bool AVISaveOptions(uint32_t& Handler, int32_t& Quality)
{
    TVideoCompressorRequest request;
    request.Names = {"Full Frames (Uncompressed)", "Motion JPEG"};
    request.TakesQuality = {false, true};
    request.Index = Handler == FourCCMotionJPEG ? 1 : 0;
    request.Quality = std::clamp(Quality, 1, 100);
    const TVideoCompressorAnswer answer = DialogService().ChooseVideoCompressor(request);
    if (!answer.Accepted) {
        return false;
    }
    Handler = answer.Index == 1 ? FourCCMotionJPEG : FourCCUncompressed;
    Quality = std::clamp(answer.Quality, 1, 100);
    return true;
}

struct TAVIWriter::TFile
{
    explicit TFile(const std::string& fileName) : Writer(fileName) {}
    TSafeFileWriter Writer;
};

TAVIWriter::TAVIWriter(const std::string& FileName, int32_t Rate, int32_t Scale, uint32_t Handler,
                       int32_t Quality, int64_t SizeLimit)
    : FFile(std::make_unique<TFile>(FileName)), FRate(Rate), FScale(Scale), FHandler(Handler),
      FQuality(std::clamp(Quality, 1, 100)), FSizeLimit(SizeLimit)
{
    AVIFileInit();
}

TAVIWriter::~TAVIWriter() = default;

// RIFF "AVI " holding LIST "hdrl" (avih, LIST "strl" with strh and strf) and the start of
// LIST "movi"; the counts and sizes are filled in by Finish.
void TAVIWriter::WriteHeaders(int32_t Width, int32_t Height, int32_t BitCount, const uint8_t* Palette)
{
    const bool motionJpeg = FHandler == FourCCMotionJPEG;
    const uint32_t rowBytes = uint32_t(((int64_t(Width) * BitCount + 31) / 32) * 4);
    const uint32_t imageBytes =
        motionJpeg ? uint32_t(Width) * uint32_t(Height) * 3 : rowBytes * uint32_t(Height);
    const uint32_t formatBytes = 40 + (BitCount == 8 ? PaletteBytes : 0);

    TBytes strf;
    strf.U32(40);
    strf.U32(uint32_t(Width));
    strf.U32(uint32_t(Height)); // positive: rows run from the bottom row up
    strf.U16(1);
    strf.U16(uint16_t(BitCount));
    strf.U32(motionJpeg ? FourCCMotionJPEG : 0);
    strf.U32(imageBytes);
    strf.U32(0);
    strf.U32(0);
    strf.U32(BitCount == 8 ? 256 : 0);
    strf.U32(0);
    if (BitCount == 8) {
        strf.Raw(Palette, PaletteBytes);
    }

    TBytes h;
    h.U32(FourCC("RIFF"));
    h.U32(0);
    h.U32(FourCC("AVI "));
    h.U32(FourCC("LIST"));
    const size_t hdrlSizeAt = h.Size();
    h.U32(0);
    h.U32(FourCC("hdrl"));
    h.U32(FourCC("avih"));
    h.U32(56);
    h.U32(uint32_t(int64_t(1000000) * FScale / FRate));
    h.U32(0); // bytes per second
    h.U32(0);
    h.U32(AVIF_HASINDEX | AVIF_ISINTERLEAVED);
    h.U32(0); // total frames
    h.U32(0);
    h.U32(1);
    h.U32(0); // suggested buffer size
    h.U32(uint32_t(Width));
    h.U32(uint32_t(Height));
    for (int i = 0; i < 4; ++i) {
        h.U32(0);
    }
    h.U32(FourCC("LIST"));
    h.U32(4 + 8 + 56 + 8 + formatBytes);
    h.U32(FourCC("strl"));
    h.U32(FourCC("strh"));
    h.U32(56);
    h.U32(FourCC("vids"));
    h.U32(FHandler);
    h.U32(BitCount == 8 ? AVISF_VIDEO_PALCHANGES : 0);
    h.U16(0);
    h.U16(0);
    h.U32(0);
    h.U32(uint32_t(FScale));
    h.U32(uint32_t(FRate));
    h.U32(0);
    h.U32(0); // length in frames
    h.U32(0); // suggested buffer size
    h.U32(0xFFFFFFFF);
    h.U32(0);
    h.U16(0);
    h.U16(0);
    h.U16(uint16_t(Width));
    h.U16(uint16_t(Height));
    h.U32(FourCC("strf"));
    h.U32(formatBytes);
    h.Raw(strf.Data(), strf.Size());
    h.Put32(hdrlSizeAt, uint32_t(h.Size() - hdrlSizeAt - 4));
    h.U32(FourCC("LIST"));
    h.U32(0); // the movi list's size
    h.U32(FourCC("movi"));

    TStream& out = FFile->Writer.Stream();
    out.WriteBuffer(h.Data(), int64_t(h.Size()));
    FMoviStart = int64_t(h.Size()) - 4;
}

void TAVIWriter::WriteChunk(uint32_t ChunkId, uint32_t Flags, const void* Data, uint32_t Size)
{
    TStream& out = FFile->Writer.Stream();
    const int64_t at = out.Position();
    TBytes head;
    head.U32(ChunkId);
    head.U32(Size);
    out.WriteBuffer(head.Data(), 8);
    out.WriteBuffer(Data, Size);
    if (Size % 2 != 0) {
        const uint8_t pad = 0;
        out.WriteBuffer(&pad, 1);
    }
    FIndex.push_back({ChunkId, Flags, uint32_t(at - FMoviStart), Size});
    FLargestChunk = std::max(FLargestChunk, Size);
}

TAVIWriter::TFrameResult TAVIWriter::WriteFrame(TKVBitmap& Frame)
{
    if (FFailed || FFile == nullptr) {
        return frFailed;
    }
    const bool motionJpeg = FHandler == FourCCMotionJPEG;
    const int32_t bitCount = Frame.GetPixelFormat() == kv8p ? 8 : 24;
    if ((Frame.GetPixelFormat() != kv24RGB && Frame.GetPixelFormat() != kv8p) ||
        (motionJpeg && bitCount != 24) || Frame.GetWidth() <= 0 || Frame.GetHeight() <= 0 ||
        Frame.GetWidth() > 0xFFFF || Frame.GetHeight() > 0xFFFF) {
        return frRefused;
    }
    if (FIndex.empty() && FMoviStart == 0) {
        FWidth = Frame.GetWidth();
        FHeight = Frame.GetHeight();
        FBitCount = bitCount;
    } else if (Frame.GetWidth() != FWidth || Frame.GetHeight() != FHeight || bitCount != FBitCount) {
        return frRefused;
    }

    // The frame's data: rows from the bottom up, or a JPEG.
    TMemoryStream data;
    if (motionJpeg) {
        TIOParamsVals settings;
        settings.JPEG_Quality = FQuality;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        try {
            Jpegfilt::WriteJPegStream(data, Frame, settings, progress);
        } catch (...) {
            aborting = true;
        }
        if (aborting) {
            return frRefused;
        }
    } else {
        const int64_t rowBytes = Frame.GetRowLen();
        data.SetSize(rowBytes * FHeight);
        auto* rows = static_cast<uint8_t*>(data.Memory());
        for (int32_t y = 0; y < FHeight; ++y) {
            std::memcpy(rows + (FHeight - 1 - y) * rowBytes, Frame.GetScanLine(y), size_t(rowBytes));
        }
    }
    std::vector<uint8_t> palette = bitCount == 8 ? PaletteOf(Frame, true) : std::vector<uint8_t>();
    const bool paletteChange = bitCount == 8 && !FPalette.empty() && palette != FPalette;

    // The file as it would be once closed, with this frame: past the limit it is refused.
    const int64_t frameBytes = 8 + data.Size() + (data.Size() % 2);
    const int64_t changeBytes = paletteChange ? 8 + 4 + PaletteBytes : 0;
    const int64_t indexBytes = 8 + 16 * (int64_t(FIndex.size()) + (paletteChange ? 2 : 1));
    const int64_t current = FMoviStart == 0 ? 0 : FFile->Writer.Stream().Position();
    const int64_t headerBytes = FMoviStart == 0 ? 256 + PaletteBytes : 0;
    if (current + headerBytes + changeBytes + frameBytes + indexBytes > FSizeLimit) {
        return frRefused;
    }

    try {
        if (FMoviStart == 0) {
            WriteHeaders(FWidth, FHeight, bitCount, palette.data());
        }
        if (paletteChange) {
            // AVIPALCHANGE: first entry 0, entry count 0 (for 256), flags 0, then the entries
            // as red, green, blue, flags.
            std::vector<uint8_t> change(4, 0);
            const std::vector<uint8_t> entries = PaletteOf(Frame, false);
            change.insert(change.end(), entries.begin(), entries.end());
            WriteChunk(FourCC("00pc"), AVIIF_NO_TIME, change.data(), uint32_t(change.size()));
            ++FPaletteChanges;
        }
        WriteChunk(motionJpeg ? FourCC("00dc") : FourCC("00db"), AVIIF_KEYFRAME, data.Memory(),
                   uint32_t(data.Size()));
    } catch (...) {
        FFailed = true;
        return frFailed;
    }
    if (bitCount == 8) {
        FPalette = std::move(palette);
    }
    return frWritten;
}

// Appends the index and fills in the sizes and counts of the headers.
bool TAVIWriter::Finish()
{
    TStream& out = FFile->Writer.Stream();
    const int64_t moviEnd = out.Position();
    TBytes index;
    index.U32(FourCC("idx1"));
    index.U32(uint32_t(FIndex.size() * 16));
    for (const TIndexEntry& entry : FIndex) {
        index.U32(entry.ChunkId);
        index.U32(entry.Flags);
        index.U32(entry.Offset);
        index.U32(entry.Size);
    }
    out.WriteBuffer(index.Data(), int64_t(index.Size()));
    const int64_t fileEnd = out.Position();
    const uint32_t frames = uint32_t(FramesWritten());
    const uint32_t bufferSize = FLargestChunk + 8;
    const uint32_t bytesPerSecond =
        uint32_t(std::min<int64_t>(int64_t(FLargestChunk) * FRate / FScale + 1, INT32_MAX));
    auto put = [&](int64_t at, uint32_t value) {
        TBytes field;
        field.U32(value);
        out.SetPosition(at);
        out.WriteBuffer(field.Data(), 4);
    };
    // The stream header follows the main header and the strl list's head.
    const int64_t strhAt = AvihAt + 56 + 12 + 8;
    put(RiffSizeAt, uint32_t(fileEnd - 8));
    put(AvihMaxBytesPerSecAt, bytesPerSecond);
    put(AvihTotalFramesAt, frames);
    put(AvihBufferSizeAt, bufferSize);
    put(strhAt + 32, frames);
    put(strhAt + 36, bufferSize);
    put(FMoviStart - 4, uint32_t(moviEnd - FMoviStart));
    return true;
}

bool TAVIWriter::Close()
{
    if (FFile == nullptr) {
        return false;
    }
    bool kept = false;
    if (!FFailed && FramesWritten() > 0) {
        try {
            Finish();
            FFile->Writer.Commit();
            kept = true;
        } catch (...) {
            kept = false;
        }
    }
    FFile.reset(); // removes the temporary file when it was not committed
    return kept;
}

} // namespace Kvvfw
