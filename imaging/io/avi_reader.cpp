// Frames of the first video stream of an AVI file, decoded by FFmpeg: only the AVI demuxer is
// asked, the bytes come through our own stream, and every size is checked before a frame is
// allocated.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/kvvfw.h"
#include "platform/core/streams.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>

namespace Kvvfw {

std::atomic<bool> gAVIFILEinit{false};

void AVIFileInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // A library keeps quiet on the standard error; failures are reported through Aborting.
        av_log_set_level(AV_LOG_QUIET);
        gAVIFILEinit = true;
    });
}

uint32_t mmioFOURCC(const std::string& code)
{
    uint32_t result = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t c = i < code.size() ? uint8_t(code[i]) : uint8_t(' ');
        result |= uint32_t(c) << (8 * i);
    }
    return result;
}

namespace {

constexpr int IOBufferSize = 64 * 1024;
// Source rows converted at a time (a multiple of every vertical chroma subsampling), and the
// output rows one conversion may give, with those a vertical filter held back before.
constexpr int ConversionBand = 32;
constexpr int BandCapacity = 2 * ConversionBand;

int ReadPacket(void* opaque, uint8_t* buffer, int size)
{
    auto* stream = static_cast<TStream*>(opaque);
    try {
        const int64_t got = stream->Read(buffer, size);
        return got > 0 ? int(got) : AVERROR_EOF;
    } catch (...) {
        return AVERROR(EIO);
    }
}

int64_t SeekStream(void* opaque, int64_t offset, int whence)
{
    auto* stream = static_cast<TStream*>(opaque);
    try {
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return stream->Size();
        case SEEK_SET:
            return stream->Seek(offset, soBeginning);
        case SEEK_CUR:
            return stream->Seek(offset, soCurrent);
        case SEEK_END:
            return stream->Seek(offset, soEnd);
        default:
            return -1;
        }
    } catch (...) {
        return -1;
    }
}

} // namespace

struct TAVIReader::TImpl
{
    std::unique_ptr<TFileStream> OwnFile;
    TStream* Source = nullptr;
    AVIOContext* IO = nullptr;
    AVFormatContext* Format = nullptr;
    AVCodecContext* Decoder = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    AVFrame* Previous = nullptr; // the last frame decoded before the current one
    AVFrame* Incoming = nullptr;
    SwsContext* Scaler = nullptr;
    std::vector<uint8_t> Converted;
    int StreamIndex = -1;
    int32_t Frames = 0;
    int32_t RateValue = 0;
    int32_t ScaleValue = 0;
    int64_t StartTime = 0;
    int32_t LastIndex = -1; // index of the frame in Frame, -1 when none
    bool Drained = false;
    // Palette video: the demuxer hands a palette change to the packet after it, which a seek
    // skips. The changes are gathered once, at the first seek, and every packet sent after that
    // carries the palette in force at its time.
    bool PaletteVideo = false;
    bool PalettesGathered = false;
    std::vector<uint8_t> InitialPalette;
    std::map<int64_t, std::vector<uint8_t>> PaletteChanges;

    ~TImpl() { Release(); }

    void Release()
    {
        sws_freeContext(Scaler);
        Scaler = nullptr;
        av_frame_free(&Incoming);
        av_frame_free(&Previous);
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Decoder);
        avformat_close_input(&Format);
        if (IO != nullptr) {
            av_freep(&IO->buffer);
            avio_context_free(&IO);
        }
        OwnFile.reset();
        Source = nullptr;
        StreamIndex = -1;
        Frames = 0;
        LastIndex = -1;
        Drained = false;
        PaletteVideo = false;
        PalettesGathered = false;
        InitialPalette.clear();
        PaletteChanges.clear();
    }

    bool Open(TStream& stream)
    {
        AVIFileInit();
        Source = &stream;
        auto* buffer = static_cast<uint8_t*>(av_malloc(IOBufferSize));
        IO = buffer != nullptr
                 ? avio_alloc_context(buffer, IOBufferSize, 0, Source, &ReadPacket, nullptr, &SeekStream)
                 : nullptr;
        if (IO == nullptr) {
            av_free(buffer);
            return false;
        }
        Format = avformat_alloc_context();
        if (Format == nullptr) {
            return false;
        }
        Format->pb = IO;
        Format->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&Format, nullptr, av_find_input_format("avi"), nullptr) < 0) {
            return false; // the context is freed by the failed open
        }
        for (unsigned i = 0; i < Format->nb_streams; ++i) {
            AVStream* stream = Format->streams[i];
            if (StreamIndex < 0 && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                StreamIndex = int(i);
            } else {
                stream->discard = AVDISCARD_ALL;
            }
        }
        return StreamIndex >= 0 && OpenDecoder();
    }

    bool OpenDecoder()
    {
        AVStream* stream = Format->streams[StreamIndex];
        const AVCodecParameters* parameters = stream->codecpar;
        if (parameters->width <= 0 || parameters->height <= 0 ||
            int64_t(parameters->width) * parameters->height > KVCodecMaxPixels) {
            return false;
        }
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        Decoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (Decoder == nullptr || avcodec_parameters_to_context(Decoder, parameters) < 0) {
            return false;
        }
        Decoder->thread_count = 1;
        Decoder->max_pixels = KVCodecMaxPixels;
        if (avcodec_open2(Decoder, codec, nullptr) < 0) {
            return false;
        }
        Packet = av_packet_alloc();
        Frame = av_frame_alloc();
        Previous = av_frame_alloc();
        Incoming = av_frame_alloc();
        if (Packet == nullptr || Frame == nullptr || Previous == nullptr || Incoming == nullptr) {
            return false;
        }
        // The AVI demuxer counts time in frames: the time base is the header's Scale / Rate.
        const AVRational timeBase = stream->time_base;
        if (timeBase.num > 0 && timeBase.den > 0) {
            ScaleValue = timeBase.num;
            RateValue = timeBase.den;
        }
        StartTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        PaletteVideo = parameters->bits_per_coded_sample > 0 && parameters->bits_per_coded_sample <= 8;
        if (PaletteVideo) {
            KeepInitialPalette(*parameters);
        }
        int64_t count = stream->nb_frames;
        if (count <= 0) {
            count = avformat_index_get_entries_count(stream);
        }
        Frames = int32_t(std::clamp<int64_t>(count, 0, INT32_MAX));
        return true;
    }

    // The colour table after the format header, as the demuxer reads it: blue, green, red and a
    // spare byte per entry, at the end of the extra data.
    void KeepInitialPalette(const AVCodecParameters& parameters)
    {
        const int entries =
            std::min(1 << parameters.bits_per_coded_sample, std::max(parameters.extradata_size, 0) / 4);
        if (entries <= 0) {
            return;
        }
        InitialPalette.assign(AVPALETTE_SIZE, 0);
        const uint8_t* table = parameters.extradata + parameters.extradata_size - entries * 4;
        for (int i = 0; i < entries; ++i) {
            const uint32_t argb = 0xFF000000u | uint32_t(table[i * 4]) | uint32_t(table[i * 4 + 1]) << 8 |
                                  uint32_t(table[i * 4 + 2]) << 16;
            std::memcpy(InitialPalette.data() + i * 4, &argb, 4);
        }
    }

    void GatherPalettes()
    {
        PalettesGathered = true;
        if (av_seek_frame(Format, StreamIndex, StartTime, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0) {
            return;
        }
        while (av_read_frame(Format, Packet) >= 0) {
            size_t size = 0;
            const uint8_t* palette = av_packet_get_side_data(Packet, AV_PKT_DATA_PALETTE, &size);
            if (Packet->stream_index == StreamIndex && palette != nullptr && size == AVPALETTE_SIZE &&
                Packet->pts != AV_NOPTS_VALUE) {
                PaletteChanges[Packet->pts].assign(palette, palette + size);
            }
            av_packet_unref(Packet);
        }
    }

    void AttachPalette(AVPacket* packet)
    {
        if (!PalettesGathered || packet->pts == AV_NOPTS_VALUE) {
            return;
        }
        const auto change = PaletteChanges.upper_bound(packet->pts);
        const std::vector<uint8_t>& palette =
            change == PaletteChanges.begin() ? InitialPalette : std::prev(change)->second;
        if (palette.size() != AVPALETTE_SIZE) {
            return;
        }
        uint8_t* data = av_packet_get_side_data(packet, AV_PKT_DATA_PALETTE, nullptr);
        if (data == nullptr) {
            data = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
        }
        if (data != nullptr) {
            std::memcpy(data, palette.data(), AVPALETTE_SIZE);
        }
    }

    // The index of a decoded frame, from its time stamp.
    int64_t IndexOf(const AVFrame* frame) const
    {
        const int64_t stamp = frame->best_effort_timestamp;
        return stamp == AV_NOPTS_VALUE ? -1 : stamp - StartTime;
    }

    // Decodes the next frame into Frame, keeping the one before in Previous; false at the end
    // of the stream or on a failure of the decoder. Damaged packets are passed over.
    bool DecodeNext()
    {
        for (;;) {
            const int received = avcodec_receive_frame(Decoder, Incoming);
            if (received == 0) {
                av_frame_unref(Previous);
                av_frame_move_ref(Previous, Frame);
                av_frame_move_ref(Frame, Incoming);
                return true;
            }
            if (received != AVERROR(EAGAIN) && received != AVERROR_INVALIDDATA) {
                return false;
            }
            if (Drained) {
                return false;
            }
            if (av_read_frame(Format, Packet) < 0) {
                Drained = true;
                avcodec_send_packet(Decoder, nullptr);
                continue;
            }
            if (Packet->stream_index == StreamIndex) {
                if (PaletteVideo) {
                    AttachPalette(Packet);
                }
                const int sent = avcodec_send_packet(Decoder, Packet);
                if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                    av_packet_unref(Packet);
                    return false;
                }
            }
            av_packet_unref(Packet);
        }
    }

    bool SeekBefore(int32_t index)
    {
        if (PaletteVideo && !PalettesGathered) {
            GatherPalettes();
        }
        if (av_seek_frame(Format, StreamIndex, StartTime + index, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(Format, StreamIndex, StartTime, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0) {
            return false;
        }
        avcodec_flush_buffers(Decoder);
        av_frame_unref(Frame);
        av_frame_unref(Previous);
        LastIndex = -1;
        Drained = false;
        return true;
    }

    // Whether decoding on from the current frame reaches the index sooner than a seek would: no
    // key frame lies between them.
    bool DecodeOnTo(int32_t index) const
    {
        if (LastIndex < 0 || index <= LastIndex) {
            return false;
        }
        const AVStream* stream = Format->streams[StreamIndex];
        const int key =
            av_index_search_timestamp(const_cast<AVStream*>(stream), StartTime + index, AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* entry =
            key >= 0 ? avformat_index_get_entry(const_cast<AVStream*>(stream), key) : nullptr;
        return entry == nullptr || entry->timestamp - StartTime <= LastIndex;
    }

    // Leaves the frame shown at index in Frame: the one of that index, or the last one before it
    // when the stream holds none of its own (a dropped frame).
    bool FindFrame(int32_t index)
    {
        if (index == LastIndex) {
            return true;
        }
        if (!DecodeOnTo(index) && !SeekBefore(index)) {
            return false;
        }
        bool seekedBack = false;
        for (;;) {
            if (!DecodeNext()) {
                return false;
            }
            const int64_t found = IndexOf(Frame);
            if (found == index) {
                break;
            }
            if (found > index) {
                if (Previous->data[0] != nullptr && IndexOf(Previous) >= 0 && IndexOf(Previous) < index) {
                    av_frame_unref(Frame);
                    av_frame_move_ref(Frame, Previous);
                    break;
                }
                // The seek landed past the frame: start again from the beginning, once.
                if (seekedBack || !SeekBefore(0)) {
                    return false;
                }
                seekedBack = true;
            }
        }
        LastIndex = index;
        return true;
    }

    bool CopyFrame(TKVBitmap& bitmap)
    {
        const int width = Frame->width;
        const int height = Frame->height;
        if (width <= 0 || height <= 0 || int64_t(width) * height > KVCodecMaxPixels) {
            return false;
        }
        // A picture of the same size and format is written over instead of allocated again.
        const auto prepare = [&](TKVPixelFormat format) {
            if (bitmap.GetWidth() != width || bitmap.GetHeight() != height ||
                bitmap.GetPixelFormat() != format || bitmap.GetScanLine(0) == nullptr) {
                bitmap.Allocate(width, height, format);
            }
        };
        if (Frame->format == AV_PIX_FMT_PAL8) {
            prepare(kv8p);
            const auto* palette = reinterpret_cast<const uint32_t*>(Frame->data[1]);
            for (int i = 0; i < 256; ++i) {
                const uint32_t argb = palette[i];
                bitmap.SetPalette(i, TRGB{uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16)});
            }
            for (int y = 0; y < height; ++y) {
                std::memcpy(bitmap.GetScanLine(y), Frame->data[0] + ptrdiff_t(y) * Frame->linesize[0],
                            size_t(width));
            }
            return true;
        }
        Scaler = sws_getCachedContext(Scaler, width, height, AVPixelFormat(Frame->format), width, height,
                                      AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (Scaler == nullptr) {
            return false;
        }
        prepare(kv24RGB);
        // The converter writes into a band of rows of its own, which is copied while it is still
        // in the cache. It addresses output rows from the top of the picture: the band stands for
        // the rows from the first one not yet written, which is where the next output starts.
        // Its rows are as wide as FFmpeg's own frames: the converter works in blocks of pixels and
        // leaves the last few of a row unconverted when the block would not fit the stride.
        const int rowBytes = width * 3;
        const int stride = ((width + 31) / 32 * 32 * 3 + 63) / 64 * 64;
        Converted.resize(size_t(stride) * size_t(BandCapacity));
        // Each slice is handed over by pointers to its own first rows; chroma planes have fewer.
        const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(AVPixelFormat(Frame->format));
        if (layout == nullptr || (layout->flags & AV_PIX_FMT_FLAG_PAL) != 0) {
            return false;
        }
        int rowsDone = 0;
        for (int sliceY = 0; sliceY < height; sliceY += ConversionBand) {
            const int sliceHeight = std::min(ConversionBand, height - sliceY);
            // Without scaling, no more rows come out than have gone in.
            if (sliceY + sliceHeight - rowsDone > BandCapacity) {
                return false;
            }
            const uint8_t* source[4] = {};
            for (int plane = 0; plane < 4 && Frame->data[plane] != nullptr; ++plane) {
                const bool chroma = (plane == 1 || plane == 2) && (layout->flags & AV_PIX_FMT_FLAG_RGB) == 0;
                const int firstRow = chroma ? sliceY >> layout->log2_chroma_h : sliceY;
                source[plane] = Frame->data[plane] + ptrdiff_t(firstRow) * Frame->linesize[plane];
            }
            const uintptr_t band = reinterpret_cast<uintptr_t>(Converted.data());
            uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(band - uintptr_t(rowsDone) * uintptr_t(stride)),
                                  nullptr, nullptr, nullptr};
            int strides[4] = {stride, 0, 0, 0};
            const int rows = sws_scale(Scaler, source, Frame->linesize, sliceY, sliceHeight, planes, strides);
            if (rows < 0 || rowsDone + rows > sliceY + sliceHeight) {
                return false;
            }
            for (int y = 0; y < rows; ++y) {
                std::memcpy(bitmap.GetScanLine(rowsDone + y), Converted.data() + size_t(y) * size_t(stride),
                            size_t(rowBytes));
            }
            rowsDone += rows;
        }
        if (rowsDone != height) {
            return false;
        }
        return true;
    }
};

TAVIReader::TAVIReader() : FImpl(std::make_unique<TImpl>()) {}

TAVIReader::~TAVIReader() = default;

bool TAVIReader::Open(const std::string& FileName)
{
    Close();
    try {
        FImpl->OwnFile = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
    } catch (...) {
        return false;
    }
    return Open(*FImpl->OwnFile);
}

bool TAVIReader::Open(TStream& Stream)
{
    std::unique_ptr<TFileStream> file = std::move(FImpl->OwnFile);
    FImpl->Release();
    FImpl->OwnFile = std::move(file);
    if (!FImpl->Open(Stream)) {
        FImpl->Release();
        return false;
    }
    return true;
}

void TAVIReader::Close()
{
    FImpl->Release();
}

bool TAVIReader::IsOpen() const
{
    return FImpl->Decoder != nullptr;
}

int32_t TAVIReader::FrameCount() const
{
    return FImpl->Frames;
}

int32_t TAVIReader::Rate() const
{
    return FImpl->RateValue;
}

int32_t TAVIReader::Scale() const
{
    return FImpl->ScaleValue;
}

int32_t TAVIReader::Width() const
{
    return FImpl->Decoder != nullptr ? FImpl->Decoder->width : 0;
}

int32_t TAVIReader::Height() const
{
    return FImpl->Decoder != nullptr ? FImpl->Decoder->height : 0;
}

bool TAVIReader::ReadFrame(int32_t Index, TKVBitmap& Bitmap)
{
    if (!IsOpen() || Index < 0 || Index >= FImpl->Frames) {
        return false;
    }
    if (!FImpl->FindFrame(Index)) {
        FImpl->LastIndex = -1;
        return false;
    }
    try {
        return FImpl->CopyFrame(Bitmap);
    } catch (...) {
        return false; // no memory for the picture
    }
}

} // namespace Kvvfw
