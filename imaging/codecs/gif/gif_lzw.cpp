// GIF LZW decoder and encoders. The decoder gathers a frame's sub-blocks into memory first and
// decodes from there; the encoder is the classic hashed LZW compressor.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/gif_row_order.h"

#include "platform/core/streams.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <type_traits>
#include <vector>

namespace Giflzw {

namespace {

constexpr int MaxCodeWidth = 12;
constexpr int TableSize = 1 << MaxCodeWidth;

using RowOrder = Giffilter::detail::TGifRowOrder;

// Reads data sub-blocks up to the zero-length terminator or the end of the stream, keeping at
// most limit bytes of them: memory follows the frame, however much data the file carries.
std::vector<uint8_t> GatherSubBlocks(TStream& source, size_t limit)
{
    std::vector<uint8_t> data;
    for (;;) {
        uint8_t length = 0;
        if (source.Read(&length, 1) != 1 || length == 0)
            break;
        if (data.size() + length > limit) {
            uint8_t skipped[255];
            if (source.Read(skipped, length) < length)
                break;
            continue;
        }
        size_t old = data.size();
        data.resize(old + length);
        int64_t got = source.Read(data.data() + old, length);
        if (got < length) {
            data.resize(old + size_t(std::max<int64_t>(got, 0)));
            break;
        }
    }
    return data;
}

class Decoder
{
public:
    Decoder(const std::vector<uint8_t>& data, int minCodeSize, int32_t height, int32_t width, bool interlaced,
            uint8_t* dest)
        : FData(data), FTotalBits(int64_t(data.size()) * 8), FMinCodeSize(minCodeSize),
          FClear(1 << minCodeSize), FEnd(FClear + 1), FWidth(width), FHeight(height),
          FRows(height, interlaced), FDest(dest)
    {
        for (int c = 0; c < FClear; c++) {
            FSuffix[c] = uint8_t(c);
            FFirst[c] = uint8_t(c);
            FLength[c] = 1;
        }
        ResetTable();
    }

    // Pixels written so far, in storage order.
    int64_t Written() const { return FWritten; }

    // False when the data is corrupt; data that simply runs out ends the decode without error
    // (Written tells how far it came).
    bool Run()
    {
        int prev = -1;
        for (;;) {
            int code = ReadCode();
            if (code < 0 || code == FEnd)
                return true;
            if (code == FClear) {
                ResetTable();
                do
                    code = ReadCode();
                while (code == FClear);
                if (code < 0 || code == FEnd)
                    return true;
                if (code >= FClear)
                    return false; // a string code with an empty table
                Emit(code);
                prev = code;
                continue;
            }
            if (prev < 0) {
                // Data that does not start with a clear code: the table is already reset.
                if (code >= FClear)
                    return false;
                Emit(code);
                prev = code;
                continue;
            }
            if (code < FNextFree) {
                Emit(code);
                AddEntry(prev, FFirst[code]);
            } else if (code == FNextFree && !FFull) {
                AddEntry(prev, FFirst[prev]);
                Emit(code);
            } else {
                return false;
            }
            prev = code;
        }
    }

private:
    void ResetTable()
    {
        FCodeWidth = FMinCodeSize + 1;
        FNextFree = FClear + 2;
        FFull = false;
    }

    int ReadCode()
    {
        if (FBitPos + FCodeWidth > FTotalBits)
            return -1;
        size_t byteIndex = size_t(FBitPos >> 3);
        uint32_t bits = 0;
        for (int i = 0; i < 3 && byteIndex + i < FData.size(); i++)
            bits |= uint32_t(FData[byteIndex + i]) << (8 * i);
        int code = int((bits >> (FBitPos & 7)) & ((1u << FCodeWidth) - 1));
        FBitPos += FCodeWidth;
        return code;
    }

    // A table that fills without a clear code stays as it is: encoders defer the clear and go on
    // sending 12-bit codes against the full table.
    void AddEntry(int prefix, uint8_t byte)
    {
        if (FFull)
            return;
        FPrefix[FNextFree] = uint16_t(prefix);
        FSuffix[FNextFree] = byte;
        FFirst[FNextFree] = FFirst[prefix];
        FLength[FNextFree] = uint16_t(FLength[prefix] + 1);
        FNextFree++;
        if (FNextFree == (1 << FCodeWidth)) {
            if (FCodeWidth < MaxCodeWidth)
                FCodeWidth++;
            else
                FFull = true;
        }
    }

    void Emit(int code)
    {
        int length = FLength[code];
        uint8_t* p = FStack + length - 1;
        while (code >= FClear + 2) {
            *p-- = FSuffix[code];
            code = FPrefix[code];
        }
        *p = uint8_t(code);
        Put(FStack, length);
    }

    // Pixels past the last row or column are dropped.
    void Put(const uint8_t* pixels, int count)
    {
        while (count > 0 && !FRows.Done()) {
            int32_t take = std::min<int32_t>(count, FWidth - FColumn);
            std::memcpy(FDest + size_t(FRows.Row()) * size_t(FWidth) + size_t(FColumn), pixels, size_t(take));
            pixels += take;
            count -= take;
            FColumn += take;
            FWritten += take;
            if (FColumn >= FWidth) {
                FColumn = 0;
                FRows.Next();
            }
        }
    }

    const std::vector<uint8_t>& FData;
    int64_t FTotalBits;
    int64_t FBitPos = 0;
    int FMinCodeSize;
    int FClear;
    int FEnd;
    int FCodeWidth = 0;
    int FNextFree = 0;
    bool FFull = false;
    int32_t FWidth;
    int32_t FHeight;
    RowOrder FRows;
    int32_t FColumn = 0;
    int64_t FWritten = 0;
    uint8_t* FDest;
    // Only the roots are set up front: AddEntry writes every later entry before a code can name
    // it, so a frame of a few pixels does not pay for clearing the whole table.
    uint16_t FPrefix[TableSize];
    uint8_t FSuffix[TableSize];
    uint8_t FFirst[TableSize];
    uint16_t FLength[TableSize];
    uint8_t FStack[TableSize];
};

// Packs codes least significant bit first and writes them as sub-blocks of PacketSize bytes.
class CodeWriter
{
public:
    CodeWriter(TStream& dest, int packetSize) : FDest(dest), FPacketSize(packetSize) {}

    void Put(int code, int width)
    {
        FAccumulator |= uint32_t(code) << FBits;
        FBits += width;
        while (FBits >= 8) {
            PutByte(uint8_t(FAccumulator));
            FAccumulator >>= 8;
            FBits -= 8;
        }
    }

    // Flushes the last partial byte and packet, then writes the terminator.
    void Finish()
    {
        if (FBits > 0)
            PutByte(uint8_t(FAccumulator));
        FBits = 0;
        FAccumulator = 0;
        FlushPacket();
        uint8_t terminator = 0;
        FDest.Write(&terminator, 1);
    }

private:
    void PutByte(uint8_t byte)
    {
        FPacket[FFill++] = byte;
        if (FFill == FPacketSize)
            FlushPacket();
    }

    void FlushPacket()
    {
        if (FFill == 0)
            return;
        uint8_t length = uint8_t(FFill);
        FDest.Write(&length, 1);
        FDest.Write(FPacket, FFill);
        FFill = 0;
    }

    TStream& FDest;
    int FPacketSize;
    uint32_t FAccumulator = 0;
    int FBits = 0;
    uint8_t FPacket[255];
    int FFill = 0;
};

// The encoder's dictionary: strings (prefix code, next byte) hashed into HashSize slots. A slot
// reads as empty (-1) until it is written after the last reset, which the bitset records: a reset
// clears 626 bytes instead of the whole table, which is most of the work for a small frame.
class HashTable
{
public:
    static constexpr int Size = 5003;

    int32_t Key(int slot) const { return FUsed[size_t(slot)] ? FKeys[slot] : -1; }
    uint16_t Code(int slot) const { return FCodes[slot]; }
    void Set(int slot, int32_t key, uint16_t code)
    {
        FKeys[slot] = key;
        FCodes[slot] = code;
        FUsed.set(size_t(slot));
    }
    void Reset() { FUsed.reset(); }

private:
    std::bitset<Size> FUsed;
    int32_t FKeys[Size];
    uint16_t FCodes[Size];
};

int CodeSizeFor(int32_t bitsPerPixel)
{
    return std::clamp<int32_t>(bitsPerPixel, 2, 8);
}

// Calls visit(pixel) for every index byte in storage order.
template <typename Visit>
void ForEachPixel(const uint8_t* source, int32_t height, int32_t width, bool interlaced, Visit visit)
{
    for (RowOrder rows(height, interlaced); !rows.Done(); rows.Next()) {
        const uint8_t* row = source + size_t(rows.Row()) * size_t(width);
        for (int32_t x = 0; x < width; x++)
            visit(row[x]);
    }
}

} // namespace

int64_t GIFLZWDecompress(TStream& Source, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Dest)
{
    int64_t start = Source.Position();
    uint8_t minCodeSize = 0;
    if (Source.Read(&minCodeSize, 1) != 1 || minCodeSize < 2 || minCodeSize > 8 || Height < 0 || Width < 0) {
        Source.SetPosition(start);
        return 0;
    }
    // A code takes at most 12 bits and every code but the clear and end codes gives a pixel or
    // more: even an encoder that clears before each pixel needs less than 4 bytes a pixel,
    // sub-block lengths included.
    const size_t needed = size_t(Width) * size_t(Height) * 4 + 4096;
    std::vector<uint8_t> data = GatherSubBlocks(Source, needed);
    if (Width == 0 || Height == 0)
        return 0;
    // On the stack: a heap block of the tables' size, taken and given back for every frame, costs
    // a fresh page from the system each time when frames are small.
    Decoder decoder(data, minCodeSize, Height, Width, Interlaced, Dest);
    if (!decoder.Run())
        Source.SetPosition(start);
    return decoder.Written();
}

int32_t GIFLZWCompress(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Source,
                       int32_t BitsPerPixel)
{
    constexpr int HashSize = HashTable::Size;
    constexpr int HashShift = 4;
    const int codeSize = CodeSizeFor(BitsPerPixel);
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    uint8_t sizeByte = uint8_t(codeSize);
    Dest.Write(&sizeByte, 1);

    HashTable table;
    CodeWriter writer(Dest, 254);
    int width = codeSize + 1;
    int maxCode = (1 << width) - 1;
    int freeCode = clearCode + 2;
    bool clearFlag = false;

    auto output = [&](int code) {
        writer.Put(code, width);
        if (freeCode > maxCode || clearFlag) {
            if (clearFlag) {
                width = codeSize + 1;
                maxCode = (1 << width) - 1;
                clearFlag = false;
            } else {
                width++;
                maxCode = width == MaxCodeWidth ? TableSize : (1 << width) - 1;
            }
        }
    };

    output(clearCode);
    int prefix = -1;
    if (Width > 0 && Height > 0) {
        ForEachPixel(Source, Height, Width, Interlaced, [&](uint8_t pixel) {
            int c = pixel & ((1 << codeSize) - 1);
            if (prefix < 0) {
                prefix = c;
                return;
            }
            int32_t key = (int32_t(c) << 12) + prefix;
            int slot = (c << HashShift) ^ prefix;
            if (table.Key(slot) == key) {
                prefix = table.Code(slot);
                return;
            }
            if (table.Key(slot) >= 0) {
                int displacement = slot == 0 ? 1 : HashSize - slot;
                for (;;) {
                    slot -= displacement;
                    if (slot < 0)
                        slot += HashSize;
                    if (table.Key(slot) == key) {
                        prefix = table.Code(slot);
                        return;
                    }
                    if (table.Key(slot) <= 0)
                        break;
                }
            }
            output(prefix);
            prefix = c;
            if (freeCode < TableSize) {
                table.Set(slot, key, uint16_t(freeCode++));
            } else {
                table.Reset();
                freeCode = clearCode + 2;
                clearFlag = true;
                output(clearCode);
            }
        });
    }
    if (prefix >= 0)
        output(prefix);
    output(endCode);
    writer.Finish();
    return 0;
}

int32_t GIFNONLZWCompress(TStream& Dest, int32_t Height, int32_t Width, bool Interlaced,
                          const uint8_t* Source, int32_t BitsPerPixel)
{
    const int codeSize = CodeSizeFor(BitsPerPixel);
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    // Small code sizes would clear every few codes; let their width grow once.
    const int widestCode = codeSize <= 3 ? codeSize + 2 : codeSize + 1;
    uint8_t sizeByte = uint8_t(codeSize);
    Dest.Write(&sizeByte, 1);

    CodeWriter writer(Dest, 255);
    int width = codeSize + 1;
    int nextFree = clearCode + 2; // the decoder's next table entry
    int codesSinceClear = 0;
    writer.Put(clearCode, width);
    if (Width > 0 && Height > 0) {
        ForEachPixel(Source, Height, Width, Interlaced, [&](uint8_t pixel) {
            writer.Put(pixel & ((1 << codeSize) - 1), width);
            // Every code after the first since a clear adds one entry to the decoder's table.
            if (++codesSinceClear >= 2) {
                nextFree++;
                if (nextFree == (1 << width) && width < MaxCodeWidth)
                    width++;
            }
            if (width > widestCode) {
                writer.Put(clearCode, width);
                width = codeSize + 1;
                nextFree = clearCode + 2;
                codesSinceClear = 0;
            }
        });
    }
    writer.Put(endCode, width);
    writer.Finish();
    return 0;
}

} // namespace Giflzw

static_assert(std::is_same_v<decltype(&Giflzw::GIFLZWDecompress), TGIFLZWDecompFunc>);
static_assert(std::is_same_v<decltype(&Giflzw::GIFLZWCompress), TGIFLZWCompFunc>);
static_assert(std::is_same_v<decltype(&Giflzw::GIFNONLZWCompress), TGIFLZWCompFunc>);
