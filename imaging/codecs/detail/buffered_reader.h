// A byte reader over a TStream that fetches blocks, so that codecs reading a byte or a packet at
// a time do not call the stream for each byte. It never reads past a limit the caller sets.
#pragma once

#include "platform/core/streams.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace Codecs::detail {

class TBufferedReader
{
public:
    // Reads from the stream's position; at most limit bytes when limit >= 0.
    explicit TBufferedReader(TStream& stream, int64_t limit = -1, size_t blockSize = 65536)
        : FStream(stream), FStart(stream.Position()), FBuffer(blockSize)
    {
        FLeft = limit >= 0 ? limit : std::numeric_limits<int64_t>::max();
    }

    // The next byte, or -1 at the end.
    int Get()
    {
        if (FNext == FFill && !Refill()) {
            return -1;
        }
        return FBuffer[FNext++];
    }

    // Copies up to count bytes; returns how many there were.
    int64_t Read(uint8_t* target, int64_t count)
    {
        int64_t done = 0;
        while (done < count) {
            if (FNext == FFill && !Refill()) {
                break;
            }
            const int64_t chunk = std::min<int64_t>(count - done, int64_t(FFill - FNext));
            std::memcpy(target + done, FBuffer.data() + FNext, size_t(chunk));
            FNext += size_t(chunk);
            done += chunk;
        }
        return done;
    }

    // Bytes consumed since the start.
    int64_t Consumed() const { return FFetched - int64_t(FFill - FNext); }

    // Puts the stream at the first byte not consumed.
    void Restore() { FStream.SetPosition(FStart + Consumed()); }

private:
    bool Refill()
    {
        const int64_t want = std::min<int64_t>(int64_t(FBuffer.size()), FLeft);
        if (want <= 0 || FEnded) {
            return false;
        }
        const int64_t got = FStream.Read(FBuffer.data(), want);
        if (got <= 0) {
            FEnded = true;
            return false;
        }
        FLeft -= got;
        FFetched += got;
        FNext = 0;
        FFill = size_t(got);
        return true;
    }

    TStream& FStream;
    int64_t FStart;
    int64_t FLeft;
    int64_t FFetched = 0;
    std::vector<uint8_t> FBuffer;
    size_t FNext = 0;
    size_t FFill = 0;
    bool FEnded = false;
};

} // namespace Codecs::detail
