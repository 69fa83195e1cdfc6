// Data hidden in the least significant bits of a 24-bit picture: an 8-byte header (four zero bytes,
// then the length, least significant byte first) and the payload, one bit per colour byte, rows
// from the top, bytes in memory order, each data byte from bit 0 up.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/component_detail.h"

#include <cstring>

namespace {

constexpr int32_t HeaderSize = 8;

// Walks the carrier bytes of a kv24RGB bitmap in order, a row at a time.
class Carrier
{
public:
    explicit Carrier(TKVBitmap* bitmap, bool writing)
        : FBitmap(bitmap), FRowBytes(size_t(bitmap->GetWidth()) * 3), FWriting(writing)
    {
    }
    ~Carrier() { Flush(); }
    Carrier(const Carrier&) = delete;
    Carrier& operator=(const Carrier&) = delete;

    // The next carrier byte, or nullptr past the end of the picture.
    uint8_t* Next()
    {
        if (FRow >= 0 && FColumn < FRowBytes)
            return &FBuffer[FColumn++];
        Flush();
        if (++FRow >= FBitmap->GetHeight() || FRowBytes == 0)
            return nullptr;
        const uint8_t* row = FBitmap->GetScanLine(FRow);
        FBuffer.assign(row, row + FRowBytes);
        FColumn = 0;
        return &FBuffer[FColumn++];
    }

private:
    void Flush()
    {
        if (FWriting && FRow >= 0 && FRow < FBitmap->GetHeight())
            std::memcpy(FBitmap->GetScanLine(FRow), FBuffer.data(), FRowBytes);
    }

    TKVBitmap* FBitmap;
    size_t FRowBytes;
    bool FWriting;
    int32_t FRow = -1;
    size_t FColumn = 0;
    std::vector<uint8_t> FBuffer;
};

// Capacity of a picture in payload bytes: (width * height * 3) div 8 - 8, negative for pictures
// that cannot hold the header.
int64_t Space(TKVBitmap* bitmap)
{
    return int64_t(bitmap->GetWidth()) * bitmap->GetHeight() * 3 / 8 - HeaderSize;
}

} // namespace

int32_t TKorvaneProc::GetHiddenDataSpace()
{
    if (!Prepare24())
        return 0;
    return static_cast<int32_t>(std::min<int64_t>(Space(FKVBitmap), INT32_MAX));
}

int32_t TKorvaneProc::WriteHiddenData(const void* Data, int32_t Size)
{
    if (!Prepare24() || Size < 0 || (Data == nullptr && Size > 0))
        return 0;
    if (AutoUndo)
        SaveUndoCaptioned("WriteHiddenData", kvuImage);
    // What does not fit is not stored: the header says how much was.
    const int32_t stored = static_cast<int32_t>(std::clamp<int64_t>(Space(FKVBitmap), 0, Size));
    uint8_t header[HeaderSize] = {};
    for (int i = 0; i < 4; ++i)
        header[4 + i] = static_cast<uint8_t>(uint32_t(stored) >> (8 * i));
    const auto* payload = static_cast<const uint8_t*>(Data);
    {
        Carrier carrier(FKVBitmap, true);
        auto put = [&](uint8_t byte) {
            for (int bit = 0; bit < 8; ++bit) {
                uint8_t* c = carrier.Next();
                if (!c)
                    return false;
                const bool one = (byte >> bit) & 1;
                if (!one && (*c & 1))
                    *c = *c == 255 ? 254 : static_cast<uint8_t>(*c + 1);
                else if (one && !(*c & 1))
                    *c = static_cast<uint8_t>(*c + 1);
            }
            return true;
        };
        bool room = true;
        for (int64_t i = 0; room && i < int64_t(HeaderSize) + stored; ++i)
            room = put(i < HeaderSize ? header[i] : payload[i - HeaderSize]);
    }
    Update();
    return stored;
}

int32_t TKorvaneProc::WriteHiddenText(const std::string& Text)
{
    const auto size = static_cast<int32_t>(std::min<size_t>(Text.size(), INT32_MAX));
    return WriteHiddenData(Text.data(), size);
}

int32_t TKorvaneProc::ReadHiddenData(void* Buffer, int32_t Size)
{
    if (!Prepare24() || Size < 0 || (Buffer == nullptr && Size > 0) || Space(FKVBitmap) < 0)
        return 0;
    Carrier carrier(FKVBitmap, false);
    auto nextByte = [&](uint8_t& byte) {
        byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const uint8_t* c = carrier.Next();
            if (!c)
                return false;
            byte |= static_cast<uint8_t>((*c & 1) << bit);
        }
        return true;
    };
    uint8_t header[HeaderSize];
    for (uint8_t& byte : header)
        if (!nextByte(byte))
            return 0;
    const auto length = static_cast<int32_t>(uint32_t(header[4]) | uint32_t(header[5]) << 8 |
                                             uint32_t(header[6]) << 16 | uint32_t(header[7]) << 24);
    // A picture without hidden data spells any length: it never exceeds what the picture holds.
    const int32_t stored = static_cast<int32_t>(std::clamp<int64_t>(length, 0, Space(FKVBitmap)));
    auto* out = static_cast<uint8_t*>(Buffer);
    for (int32_t i = 0; i < std::min(stored, Size); ++i)
        if (!nextByte(out[i]))
            break;
    return stored;
}

std::string TKorvaneProc::ReadHiddenText()
{
    const int32_t length = ReadHiddenData(nullptr, 0);
    std::string text(size_t(length), '\0');
    ReadHiddenData(text.data(), length);
    return text;
}
