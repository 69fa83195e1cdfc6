// Rewriting a JPEG with a new APP13 IPTC segment, copying everything else as it stands.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/iptc_list.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace Jpegfilt {

namespace {

// Byte-wise walking of the input without a stream call per byte.
class TByteReader
{
public:
    explicit TByteReader(TStream& stream) : FStream(stream), FBuffer(65536) {}

    bool Next(uint8_t& byte)
    {
        if (FPos == FCount && !Fill()) {
            return false;
        }
        byte = FBuffer[FPos++];
        ++FConsumed;
        return true;
    }

    // Copies count bytes to output (or drops them when output is nil); false when the input ends first.
    bool Copy(TStream* output, int64_t count)
    {
        while (count > 0) {
            if (FPos == FCount && !Fill()) {
                return false;
            }
            const int64_t chunk = std::min<int64_t>(count, int64_t(FCount - FPos));
            if (output != nullptr) {
                output->WriteBuffer(FBuffer.data() + FPos, chunk);
            }
            FPos += static_cast<size_t>(chunk);
            FConsumed += chunk;
            count -= chunk;
        }
        return true;
    }

    int64_t Consumed() const { return FConsumed; }

private:
    bool Fill()
    {
        const int64_t got = FStream.Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
        FPos = 0;
        FCount = got > 0 ? static_cast<size_t>(got) : 0;
        return FCount > 0;
    }

    TStream& FStream;
    std::vector<uint8_t> FBuffer;
    size_t FPos = 0;
    size_t FCount = 0;
    int64_t FConsumed = 0;
};

enum class TSegmentAction
{
    CopyMarkerOnly,
    CopyRest,
    CopySegment,
    CopyThenIPTC,
    DropThenIPTC,
    Unknown
};

TSegmentAction ActionOf(uint8_t marker)
{
    if (marker <= 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
        return TSegmentAction::CopyMarkerOnly; // TEM, RSTn, SOI carry no length
    }
    if (marker == 0xD9) {
        return TSegmentAction::CopyRest;
    }
    if (marker == 0xE0 || marker == 0xE1) {
        return TSegmentAction::CopyThenIPTC;
    }
    if (marker == 0xED) {
        return TSegmentAction::DropThenIPTC;
    }
    if (marker >= 0xC0 && marker <= 0xFE) {
        return TSegmentAction::CopySegment;
    }
    return TSegmentAction::Unknown;
}

class TIPTCInjector
{
public:
    TIPTCInjector(TStream& input, TStream& output, std::vector<uint8_t> segmentData, TProgressRec& progress)
        : FIn(input), FOut(output), FSegment(std::move(segmentData)), FProgress(progress)
    {
        CodecProgressBegin(FProgress, input.Size() - input.Position());
    }

    bool Run()
    {
        uint8_t byte = 0;
        bool ok = true;
        while (ok && FIn.Next(byte)) {
            if (byte != 0xFF) {
                Put(&byte, 1);
            } else {
                ok = Marker();
            }
            Progress();
        }
        Flush();
        return ok && FWritten;
    }

private:
    bool Marker()
    {
        uint8_t marker = 0xFF;
        // Any number of 0xFF fill bytes may stand before a marker.
        while (marker == 0xFF) {
            if (!FIn.Next(marker)) {
                return false;
            }
        }
        const uint8_t code[2] = {0xFF, marker};
        switch (ActionOf(marker)) {
        case TSegmentAction::CopyMarkerOnly:
            Put(code, 2);
            return true;
        case TSegmentAction::CopyRest:
            Put(code, 2);
            Flush();
            while (FIn.Copy(&FOut, 65536)) {
            }
            return true;
        case TSegmentAction::CopySegment:
            return Segment(code, true);
        case TSegmentAction::CopyThenIPTC:
            return Segment(code, true) && WriteIPTC();
        case TSegmentAction::DropThenIPTC:
            return Segment(code, false) && WriteIPTC();
        default:
            return false;
        }
    }

    // The 2-byte big-endian length counts itself; anything below 2 is no segment.
    bool Segment(const uint8_t code[2], bool keep)
    {
        uint8_t high = 0;
        uint8_t low = 0;
        if (!FIn.Next(high) || !FIn.Next(low)) {
            return false;
        }
        const int32_t length = high << 8 | low;
        if (length < 2) {
            return false;
        }
        if (keep) {
            const uint8_t lengthBytes[2] = {high, low};
            Put(code, 2);
            Put(lengthBytes, 2);
            Flush();
        }
        return FIn.Copy(keep ? &FOut : nullptr, length - 2);
    }

    bool WriteIPTC()
    {
        if (!FWritten && !FSegment.empty()) {
            const size_t length = FSegment.size() + 2;
            const uint8_t head[4] = {0xFF, 0xED, uint8_t(length >> 8), uint8_t(length)};
            Put(head, 4);
            Put(FSegment.data(), FSegment.size());
        }
        FWritten = true;
        return true;
    }

    // Output collects in a buffer: scan data goes through here byte by byte.
    void Put(const void* data, size_t count)
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        FPending.insert(FPending.end(), bytes, bytes + count);
        if (FPending.size() >= 65536) {
            Flush();
        }
    }

    void Flush()
    {
        if (!FPending.empty()) {
            FOut.WriteBuffer(FPending.data(), static_cast<int64_t>(FPending.size()));
            FPending.clear();
        }
    }

    // Reported whenever the percentage moves, not for every byte.
    void Progress()
    {
        if (!FProgress.OnProgress) {
            return;
        }
        const auto percent = static_cast<int32_t>(static_cast<double>(FIn.Consumed()) * FProgress.PerRow);
        if (percent != FLastPercent) {
            FLastPercent = percent;
            FProgress.OnProgress(FProgress.Sender, percent);
        }
    }

    TByteReader FIn;
    TStream& FOut;
    std::vector<uint8_t> FSegment;
    TProgressRec& FProgress;
    std::vector<uint8_t> FPending;
    int32_t FLastPercent = -1;
    bool FWritten = false;
};

} // namespace

bool KVJpegInjectIPTC(TStream& input, TStream& output, const TKVIPTCInfoList& iptc, TProgressRec& progress)
{
    std::vector<uint8_t> segment;
    iptc.SaveToStandardBuffer(segment, true);
    if (segment.size() > size_t(TKVMarkerList::MaxMarkerLength)) {
        return false;
    }
    try {
        return TIPTCInjector(input, output, std::move(segment), progress).Run();
    } catch (const std::exception&) {
        return false; // a failing stream: the output holds what was copied so far
    }
}

} // namespace Jpegfilt
