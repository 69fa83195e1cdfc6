// Kvvfw: AVI video files frame by frame. Frames are read through FFmpeg (so compressed files
// open too) and written by our own RIFF AVI 1.0 writer, uncompressed ("DIB ") or as Motion JPEG
// ("MJPG") through our JPEG codec.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKVBitmap;
class TStream;

namespace Kvvfw {

// The code of the first four characters, the first in the low byte; a shorter text is padded
// with blanks.
uint32_t mmioFOURCC(const std::string& code);

// The compressors the writer has.
constexpr uint32_t FourCCUncompressed = 0x20424944; // "DIB "
constexpr uint32_t FourCCMotionJPEG = 0x47504A4D;   // "MJPG"

// Asks the user which of the writer's compressors to use, and the Motion JPEG quality (1..100);
// false when the user cancels. Quality comes in as the quality shown first.
bool AVISaveOptions(uint32_t& Handler, int32_t& Quality);

// Set once the AVI layer has been set up for the process (by the first file opened or created).
extern std::atomic<bool> gAVIFILEinit;
void AVIFileInit();

// The first video stream of an AVI file, frame by frame. Frames come as kv24RGB pictures, or as
// kv8p with their palette for 8-bit palette video. Reading the next frame after the last one
// decodes on; any other frame is found from the key frame before it, so every frame is exact.
class TAVIReader
{
public:
    TAVIReader();
    ~TAVIReader();
    TAVIReader(const TAVIReader&) = delete;
    TAVIReader& operator=(const TAVIReader&) = delete;

    // False when the file cannot be read as an AVI file with a video stream it can decode.
    bool Open(const std::string& FileName);
    // As Open, over a stream that must outlive the reader.
    bool Open(TStream& Stream);
    void Close();
    bool IsOpen() const;

    int32_t FrameCount() const;
    // The stream's time for one frame as a fraction of a second: Scale / Rate.
    int32_t Rate() const;
    int32_t Scale() const;
    int32_t Width() const;
    int32_t Height() const;

    // Decodes frame Index into Bitmap; false, leaving Bitmap as it was, for an index outside
    // 0 .. FrameCount - 1 or a frame that cannot be decoded.
    bool ReadFrame(int32_t Index, TKVBitmap& Bitmap);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// A new AVI file written frame by frame under a temporary name, which becomes the file's name
// only when Close finds every write done. The first frame fixes the size and depth of the video.
class TAVIWriter
{
public:
    // The RIFF AVI 1.0 limit on the size of a file without the OpenDML extension.
    static constexpr int64_t MaxFileSize = int64_t(1) << 30;

    enum TFrameResult
    {
        frWritten,
        frRefused, // of another size or depth than the first frame, or past the size limit
        frFailed   // a write failed; the file will not be kept
    };

    // Rate and Scale (both at least 1) give the frame rate Rate / Scale; Handler is
    // FourCCUncompressed or FourCCMotionJPEG; Quality (1..100) is the Motion JPEG quality.
    // Raises EFCreateError when the file cannot be created.
    TAVIWriter(const std::string& FileName, int32_t Rate, int32_t Scale, uint32_t Handler, int32_t Quality,
               int64_t SizeLimit = MaxFileSize);
    ~TAVIWriter();
    TAVIWriter(const TAVIWriter&) = delete;
    TAVIWriter& operator=(const TAVIWriter&) = delete;

    // Frame is kv24RGB, or kv8p for 8-bit uncompressed video; its rows are written bottom row
    // first. An 8-bit frame whose palette differs from the one before writes a palette change.
    TFrameResult WriteFrame(TKVBitmap& Frame);
    // Completes the file and gives it its name; false, leaving no file, when a write failed or no
    // frame was written.
    bool Close();

    int32_t FramesWritten() const { return int32_t(FIndex.size()) - FPaletteChanges; }
    uint32_t Handler() const { return FHandler; }

private:
    struct TIndexEntry
    {
        uint32_t ChunkId;
        uint32_t Flags;
        uint32_t Offset;
        uint32_t Size;
    };

    void WriteHeaders(int32_t Width, int32_t Height, int32_t BitCount, const uint8_t* Palette);
    void WriteChunk(uint32_t ChunkId, uint32_t Flags, const void* Data, uint32_t Size);
    bool Finish();

    struct TFile;
    std::unique_ptr<TFile> FFile;
    int32_t FRate;
    int32_t FScale;
    uint32_t FHandler;
    int32_t FQuality;
    int64_t FSizeLimit;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    std::vector<uint8_t> FPalette; // the 1024-byte colour table now in force (8-bit video)
    std::vector<TIndexEntry> FIndex;
    int32_t FPaletteChanges = 0;
    uint32_t FLargestChunk = 0;
    int64_t FMoviStart = 0; // position of the "movi" list's type code
    bool FFailed = false;
};

} // namespace Kvvfw
