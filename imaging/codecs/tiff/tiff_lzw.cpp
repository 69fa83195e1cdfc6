// LZW decoder and encoder of TIFF strips. The caller keeps the per-strip state as an integer
// handle that holds a pointer to the state object.
#include "imaging/codecs/tiff/tiff_lzw.h"

#include "imaging/codecs/detail/be_words.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace Tiflzw {

namespace {

using Codecs::detail::BigEndian64;

constexpr int ClearCode = 256;
constexpr int EndCode = 257;
constexpr int FirstFree = 258;
constexpr int TableSize = 4096;
constexpr int MaxStringLength = TableSize;

// Decodes a strip into a window of output that every string of the table points into: a new
// entry is the previous code's output and the byte after it, so it needs no storage of its own,
// and a code's string is copied whole from where it was last written. The window starts with
// the 256 one-byte strings; the output follows, and its bytes stay while the row handed out
// last or a table entry still needs them.
struct DecoderState
{
    // A string copy moves whole 16-byte blocks and may write up to 15 bytes past its end.
    static constexpr int64_t CopySlack = 16;
    static constexpr int64_t RoomForAString = MaxStringLength + CopySlack;
    static constexpr int64_t OutputBase = 256;
    static constexpr int64_t InitialRowRoom = int64_t(1) << 16;

    const uint8_t* Data = nullptr;
    int64_t DataBits = 0;
    int32_t RowLength = 0;
    std::unique_ptr<uint8_t[]> Window;
    int64_t Capacity = 0;
    int64_t Start = OutputBase; // the row handed out last
    int64_t Fill = OutputBase;  // the end of the output
    bool RowHandedOut = false;
    int64_t BitPos = 0;
    int CodeWidth = 9;
    bool HasPrevious = false; // a code was decoded that the next entry extends
    int64_t PrevOffset = 0;   // where the previous code's string was written
    int32_t PrevLength = 0;
    int64_t EntriesBase = OutputBase; // where the table's first string since the last Clear was written
    int NextFree = FirstFree;
    bool Error = false;
    bool Ended = false; // end code met or the strip's data used up
    // Each code's string: where in the window it is (the high bits) and its length (the low 16).
    uint64_t Strings[TableSize];

    bool Allocate(int32_t rowLength)
    {
        // The bytes, a row and a string; the window grows when a strip's strings need more. A wide
        // row starts smaller and grows as its codes fill it, so that data that breaks off after a
        // few codes costs a few bytes, whatever width the row is declared to have.
        Capacity = OutputBase + std::min<int64_t>(rowLength, InitialRowRoom) + RoomForAString;
        Window.reset(new (std::nothrow) uint8_t[size_t(Capacity)]);
        if (Window == nullptr)
            return false;
        for (int code = 0; code < 256; code++) {
            Window[size_t(code)] = uint8_t(code);
            Strings[code] = StringAt(code, 1);
        }
        RowLength = rowLength;
        return true;
    }

    // The next code of the current width, or -1 when the strip holds no more whole code.
    int ReadCode()
    {
        if (BitPos + CodeWidth > DataBits)
            return -1;
        const int64_t byteIndex = BitPos >> 3;
        const int64_t dataBytes = (DataBits + 7) >> 3;
        uint32_t bits = 0;
        for (int64_t i = 0; i < 4; i++)
            bits = bits << 8 | (byteIndex + i < dataBytes ? Data[byteIndex + i] : 0);
        const int code = int((bits << (BitPos & 7)) >> (32 - CodeWidth));
        BitPos += CodeWidth;
        return code;
    }

    static uint64_t StringAt(int64_t offset, int32_t length)
    {
        return uint64_t(offset) << 16 | uint32_t(length);
    }
    static int64_t OffsetOf(uint64_t string) { return int64_t(string >> 16); }
    static int32_t LengthOf(uint64_t string) { return int32_t(string & 0xFFFF); }

    // Copies length bytes from an earlier place in the window, in whole blocks: the source ends
    // at or before the target starts, so the bytes read past its end only land past the
    // target's end. A block may still overlap its target (a string just before it), which only
    // memmove allows; with a constant size it compiles to the same loads and stores.
    static void CopyString(uint8_t* target, const uint8_t* source, int32_t length)
    {
        std::memmove(target, source, CopySlack);
        for (int32_t i = CopySlack; i < length; i += CopySlack)
            std::memmove(target + i, source + i, CopySlack);
    }

    // Writes string(code) at the end of the output.
    void Emit(int code)
    {
        const int32_t length = LengthOf(Strings[code]);
        CopyString(Window.get() + Fill, Window.get() + OffsetOf(Strings[code]), length);
        PrevOffset = Fill;
        PrevLength = length;
        Fill += length;
    }

    // Writes the previous string and its own first byte (KwKwK) at target: the previous string
    // ends where the new one starts, whose first byte the copy has just written.
    static void CopyStringAndItsFirstByte(uint8_t* target, const uint8_t* previous, int32_t length)
    {
        CopyString(target, previous, length);
        target[length] = target[0];
    }

    void EmitPreviousAndItsFirstByte()
    {
        CopyStringAndItsFirstByte(Window.get() + Fill, Window.get() + PrevOffset, PrevLength);
        PrevOffset = Fill;
        PrevLength++;
        Fill += PrevLength;
    }

    // The width after an entry is added: it rises one code early, as TIFF writers expect, when
    // the next free code reaches 511, 1023 and 2047.
    static int WidthFor(int nextFree, int width)
    {
        return (nextFree & (nextFree + 1)) == 0 && width < 12 ? width + 1 : width;
    }

    // Adds string(previous) + the byte after it.
    bool AddEntry(int64_t offset, int32_t length)
    {
        if (NextFree >= TableSize)
            return false;
        Strings[NextFree] = StringAt(offset, length);
        NextFree++;
        CodeWidth = WidthFor(NextFree, CodeWidth);
        return true;
    }

    // The first code of the strip or after a Clear code: a byte, which starts a new table.
    bool EmitFirst(int code)
    {
        if (code >= FirstFree)
            return false; // a string code with an empty table
        EntriesBase = Fill;
        Emit(code);
        HasPrevious = true;
        return true;
    }

    // Decodes one code into the output; false on corrupt data.
    bool DecodeCode(int code)
    {
        if (code == ClearCode) {
            NextFree = FirstFree;
            CodeWidth = 9;
            do
                code = ReadCode();
            while (code == ClearCode);
            if (code < 0 || code == EndCode) {
                Ended = true;
                return true;
            }
            return EmitFirst(code);
        }
        if (code == EndCode) {
            Ended = true;
            return true;
        }
        if (!HasPrevious)
            return EmitFirst(code); // a strip that does not start with a Clear code
        const int64_t prevOffset = PrevOffset;
        const int32_t prevLength = PrevLength;
        if (code < NextFree) {
            Emit(code);
            if (!AddEntry(prevOffset, prevLength + 1))
                return false;
        } else if (code == NextFree) {
            if (!AddEntry(prevOffset, prevLength + 1))
                return false;
            EmitPreviousAndItsFirstByte();
        } else {
            return false;
        }
        return true;
    }

    // DecodeCode for as many codes as the row wants, the window has room for, and eight bytes
    // of data are left to read from, while the table has room and neither a Clear, an end nor a
    // corrupt code comes; the state is kept in locals meanwhile. Returns whether it decoded any
    // code.
    bool DecodeStrings()
    {
        if (!HasPrevious || NextFree >= TableSize || BitPos > DataBits - 64)
            return false;
        const int64_t lastFill = std::min<int64_t>(Start + RowLength, Capacity - RoomForAString + 1);
        // Codes take at least 9 bits: the table cannot fill before this bit.
        const int64_t lastBit = std::min<int64_t>(DataBits - 64, BitPos + 9 * (TableSize - 1 - NextFree));
        const uint8_t* const data = Data;
        uint8_t* const window = Window.get();
        uint64_t* const strings = Strings;
        const int64_t firstBit = BitPos;
        int64_t bitPos = BitPos;
        int64_t fill = Fill;
        int64_t prevOffset = PrevOffset;
        int32_t prevLength = PrevLength;
        int width = CodeWidth;
        int nextFree = NextFree;
        while (fill < lastFill && bitPos <= lastBit) {
            const int code = int((BigEndian64(data + (bitPos >> 3)) << (bitPos & 7)) >> (64 - width));
            uint8_t* out = window + fill;
            int32_t length = 0;
            if (code < nextFree) {
                if (code == ClearCode || code == EndCode)
                    break;
                const uint64_t string = strings[code];
                length = LengthOf(string);
                CopyString(out, window + OffsetOf(string), length);
            } else if (code == nextFree) {
                length = prevLength + 1;
                CopyStringAndItsFirstByte(out, window + prevOffset, prevLength);
            } else {
                break;
            }
            bitPos += width;
            strings[nextFree] = StringAt(prevOffset, prevLength + 1);
            nextFree++;
            width = WidthFor(nextFree, width);
            prevOffset = fill;
            prevLength = length;
            fill += length;
        }
        BitPos = bitPos;
        Fill = fill;
        PrevOffset = prevOffset;
        PrevLength = prevLength;
        CodeWidth = width;
        NextFree = nextFree;
        return bitPos != firstBit;
    }

    // Makes room for one more string past the output: drops the bytes before both the row
    // handed out and the table's strings, and doubles the window when more than half of it is
    // still needed.
    bool MakeRoom()
    {
        const int64_t keep = std::min(Start, HasPrevious ? EntriesBase : Start);
        const int64_t kept = Fill - keep;
        const int64_t shift = keep - OutputBase;
        if (OutputBase + kept + RoomForAString > Capacity / 2) {
            const int64_t capacity = 2 * (OutputBase + kept + RoomForAString);
            std::unique_ptr<uint8_t[]> window(new (std::nothrow) uint8_t[size_t(capacity)]);
            if (window == nullptr)
                return false;
            std::memcpy(window.get(), Window.get(), OutputBase);
            std::memcpy(window.get() + OutputBase, Window.get() + keep, size_t(kept));
            Window = std::move(window);
            Capacity = capacity;
        } else {
            std::memmove(Window.get() + OutputBase, Window.get() + keep, size_t(kept));
        }
        Start -= shift;
        Fill -= shift;
        PrevOffset -= shift;
        EntriesBase -= shift;
        for (int code = FirstFree; code < NextFree; code++)
            Strings[code] -= uint64_t(shift) << 16;
        return true;
    }

    uint8_t* DecodeRow()
    {
        if (Error)
            return nullptr;
        if (RowHandedOut)
            Start += RowLength;
        RowHandedOut = true;
        while (Fill - Start < RowLength && !Ended) {
            if (Fill + RoomForAString > Capacity && !MakeRoom()) {
                Error = true;
                return nullptr;
            }
            if (DecodeStrings())
                continue;
            const int code = ReadCode();
            if (code < 0) {
                Ended = true;
                break;
            }
            if (!DecodeCode(code)) {
                Error = true;
                return nullptr;
            }
        }
        // Codes that end (their data, or an end code) before the row is full leave the strip
        // short of its rows: the row fails as one of corrupt codes does.
        if (Fill - Start < RowLength) {
            Error = true;
            return nullptr;
        }
        return Window.get() + Start;
    }
};

struct EncoderState
{
    static constexpr int HashSize = 5003;
    static constexpr int HashShift = 4;
    static constexpr int BlockSize = 254;

    TStream* Stream = nullptr;
    int CodeWidth = 9;
    int MaxCode = 511;
    int FreeCode = FirstFree;
    bool ClearPending = false;
    int PrefixCode = -1;
    uint32_t Accumulator = 0;
    int AccumulatedBits = 0;
    uint8_t Block[BlockSize];
    int BlockFill = 0;
    int32_t HashKeys[HashSize];
    uint16_t HashCodes[HashSize];

    void ClearHash() { std::fill(std::begin(HashKeys), std::end(HashKeys), -1); }

    void FlushBlock()
    {
        if (BlockFill > 0)
            Stream->Write(Block, BlockFill);
        BlockFill = 0;
    }

    void PutByte(uint8_t byte)
    {
        Block[BlockFill++] = byte;
        if (BlockFill == BlockSize)
            FlushBlock();
    }

    void WriteCode(int code)
    {
        Accumulator = (Accumulator << CodeWidth) | uint32_t(code);
        AccumulatedBits += CodeWidth;
        while (AccumulatedBits >= 8) {
            AccumulatedBits -= 8;
            PutByte(uint8_t(Accumulator >> AccumulatedBits));
        }
        Accumulator &= (1u << AccumulatedBits) - 1;
        if (code == EndCode) {
            if (AccumulatedBits > 0)
                PutByte(uint8_t(Accumulator << (8 - AccumulatedBits)));
            AccumulatedBits = 0;
            Accumulator = 0;
            FlushBlock();
            return;
        }
        if (ClearPending) {
            CodeWidth = 9;
            MaxCode = 511;
            ClearPending = false;
        } else if (FreeCode > MaxCode - 1 && CodeWidth < 12) {
            CodeWidth++;
            MaxCode = CodeWidth == 12 ? 4095 : (1 << CodeWidth) - 1;
        }
    }

    void EncodeRow(const uint8_t* row, int32_t length)
    {
        int32_t i = 0;
        if (PrefixCode < 0 && length > 0)
            PrefixCode = row[i++];
        for (; i < length; i++) {
            int c = row[i];
            int32_t key = (int32_t(c) << 12) + PrefixCode;
            int slot = (c << HashShift) ^ PrefixCode;
            if (HashKeys[slot] == key) {
                PrefixCode = HashCodes[slot];
                continue;
            }
            bool found = false;
            if (HashKeys[slot] >= 0) {
                int displacement = slot == 0 ? 1 : HashSize - slot;
                for (;;) {
                    slot -= displacement;
                    if (slot < 0)
                        slot += HashSize;
                    if (HashKeys[slot] == key) {
                        found = true;
                        break;
                    }
                    if (HashKeys[slot] <= 0)
                        break;
                }
            }
            if (found) {
                PrefixCode = HashCodes[slot];
                continue;
            }
            WriteCode(PrefixCode);
            PrefixCode = c;
            if (FreeCode < 4094) {
                HashCodes[slot] = uint16_t(FreeCode++);
                HashKeys[slot] = key;
            } else {
                ClearHash();
                FreeCode = FirstFree;
                ClearPending = true;
                WriteCode(ClearCode);
            }
        }
    }

    void Finish()
    {
        if (PrefixCode >= 0)
            WriteCode(PrefixCode);
        WriteCode(EndCode);
    }
};

} // namespace

uint8_t* TIFFLZWDecompress(const uint8_t* Data, int64_t DataLength, int32_t RowLength, intptr_t& StateId)
{
    auto* state = reinterpret_cast<DecoderState*>(StateId);
    if (Data == nullptr) {
        delete state;
        StateId = 0;
        return nullptr;
    }
    if (state == nullptr) {
        if (RowLength <= 0 || DataLength < 0)
            return nullptr;
        state = new (std::nothrow) DecoderState;
        if (state == nullptr)
            return nullptr;
        if (!state->Allocate(RowLength)) {
            delete state;
            return nullptr;
        }
        state->Data = Data;
        state->DataBits = DataLength > INT64_MAX / 8 ? INT64_MAX : DataLength * 8;
        state->RowLength = RowLength;
        StateId = reinterpret_cast<intptr_t>(state);
    }
    return state->DecodeRow();
}

void TIFFLZWCompress(const uint8_t* Row, int32_t RowLength, TStream& Stream, intptr_t& StateId)
{
    auto* state = reinterpret_cast<EncoderState*>(StateId);
    if (Row == nullptr) {
        if (state != nullptr) {
            state->Finish();
            delete state;
        }
        StateId = 0;
        return;
    }
    if (state == nullptr) {
        state = new EncoderState;
        state->Stream = &Stream;
        state->ClearHash();
        state->WriteCode(ClearCode);
        StateId = reinterpret_cast<intptr_t>(state);
    }
    state->Stream = &Stream;
    state->EncodeRow(Row, std::max(RowLength, 0));
}

} // namespace Tiflzw

static_assert(std::is_same_v<decltype(&Tiflzw::TIFFLZWDecompress), TTIFFLZWDecompFunc>);
static_assert(std::is_same_v<decltype(&Tiflzw::TIFFLZWCompress), TTIFFLZWCompFunc>);
