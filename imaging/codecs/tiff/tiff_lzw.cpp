// LZW decoder and encoder of TIFF strips. The caller keeps the per-strip state as an integer
// handle that holds a pointer to the state object.
#include "imaging/codecs/tiff/tiff_lzw.h"

#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

namespace Tiflzw {

namespace {

constexpr int ClearCode = 256;
constexpr int EndCode = 257;
constexpr int FirstFree = 258;
constexpr int TableSize = 4096;
constexpr int MaxStringLength = TableSize;

struct DecoderState
{
    const uint8_t* Data = nullptr;
    int64_t DataBits = 0;
    int32_t RowLength = 0;
    std::vector<uint8_t> Output; // one row plus room for the longest string
    int64_t BitPos = 0;
    int CodeWidth = 9;
    int32_t Fill = 0;
    int PrevCode = -1;
    int NextFree = FirstFree;
    bool Error = false;
    bool Ended = false; // end code met or the strip's data used up
    uint16_t Prefix[TableSize];
    uint8_t Suffix[TableSize];
    uint8_t First[TableSize];
    uint16_t Length[TableSize];

    DecoderState()
    {
        for (int c = 0; c < 256; c++) {
            Prefix[c] = 0;
            Suffix[c] = uint8_t(c);
            First[c] = uint8_t(c);
            Length[c] = 1;
        }
    }

    // The next code of the current width, or -1 when the strip holds no more whole code.
    int ReadCode()
    {
        if (BitPos + CodeWidth > DataBits)
            return -1;
        int64_t byteIndex = BitPos >> 3;
        int64_t dataBytes = (DataBits + 7) >> 3;
        uint32_t bits = 0;
        for (int i = 0; i < 3; i++) {
            bits <<= 8;
            if (byteIndex + i < dataBytes)
                bits |= Data[byteIndex + i];
        }
        int shift = 24 - int(BitPos & 7) - CodeWidth;
        BitPos += CodeWidth;
        return int((bits >> shift) & ((1u << CodeWidth) - 1));
    }

    void Emit(int code)
    {
        int length = Length[code];
        uint8_t* p = Output.data() + Fill + length - 1;
        while (code >= FirstFree) {
            *p-- = Suffix[code];
            code = Prefix[code];
        }
        *p = uint8_t(code);
        Fill += length;
    }

    // Adds string(prefix) + byte; the code width rises one code early, as TIFF writers expect.
    bool AddEntry(int prefix, uint8_t byte)
    {
        if (NextFree >= TableSize)
            return false;
        Prefix[NextFree] = uint16_t(prefix);
        Suffix[NextFree] = byte;
        First[NextFree] = First[prefix];
        Length[NextFree] = uint16_t(Length[prefix] + 1);
        NextFree++;
        if (NextFree >= 2047)
            CodeWidth = 12;
        else if (NextFree >= 1023)
            CodeWidth = 11;
        else if (NextFree >= 511)
            CodeWidth = 10;
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
            if (code >= FirstFree)
                return false; // a string code with an empty table
            Emit(code);
            PrevCode = code;
            return true;
        }
        if (code == EndCode) {
            Ended = true;
            return true;
        }
        if (PrevCode < 0) {
            // A strip that does not start with a Clear code.
            if (code >= FirstFree)
                return false;
            Emit(code);
            PrevCode = code;
            return true;
        }
        if (code < NextFree) {
            Emit(code);
            if (!AddEntry(PrevCode, First[code]))
                return false;
        } else if (code == NextFree) {
            if (!AddEntry(PrevCode, First[PrevCode]))
                return false;
            Emit(code);
        } else {
            return false;
        }
        PrevCode = code;
        return true;
    }

    uint8_t* DecodeRow()
    {
        if (Error)
            return nullptr;
        if (Fill > RowLength) {
            std::memmove(Output.data(), Output.data() + RowLength, size_t(Fill - RowLength));
            Fill -= RowLength;
        } else {
            Fill = 0;
        }
        while (Fill < RowLength && !Ended) {
            int code = ReadCode();
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
        if (Fill < RowLength) {
            Error = true;
            return nullptr;
        }
        return Output.data();
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
        try {
            state->Output.resize(size_t(RowLength) + MaxStringLength);
        } catch (const std::bad_alloc&) {
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
