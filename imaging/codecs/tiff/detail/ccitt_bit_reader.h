// The fax decoders' bit reader: codes are matched against the top of a window of at least 32 bits,
// which reads past the data's end as zeros and never reads a byte beyond it.
#pragma once

#include <algorithm>
#include <cstdint>

namespace Tifccitt::detail {

// The data a bit reader reads: eight bytes at a time where eight are left and the fill order is
// 1, else a byte at a time, bits past the end reading as 0.
struct TBitSource
{
    TBitSource(const uint8_t* data, int64_t size, int32_t fillOrder);

    const uint8_t* Data;
    int64_t Size;
    int64_t Bits;
    const uint8_t* Reverse; // each byte's bits reversed, for fill order 2; nil for fill order 1
    int64_t LastWordBit;    // the last position from which eight bytes are left to read as they are
};

// At least 32 bits from a position, the first in the top bit of Word.
struct TBitWindow
{
    uint64_t Word;
    int64_t Bits;
};

// Out of line, so that the decoders keep the few values they work with in registers.
[[gnu::noinline]] TBitWindow WindowAt(const TBitSource& source, int64_t position);

// Reads a source from a bit position on. The bits from the position on are kept in a word, which
// is filled again when fewer than 32 of them are left; the position is where the word's bits end
// less those it holds, so that a skip changes only the word.
class TBitReader
{
public:
    TBitReader(const TBitSource& source, int64_t startBit)
        : FSource(&source), FWindowEnd(std::max<int64_t>(startBit, 0))
    {
    }

    bool AtEnd() const { return FWindowEnd - FWindowBits >= FSource->Bits; }
    int64_t Position() const { return std::min(FWindowEnd - FWindowBits, FSource->Bits); }

    // count is at most 32, and no more than the last Peek gave. The position may pass the end,
    // where every read stops.
    void Skip(int32_t count)
    {
        FWindow <<= count;
        FWindowBits -= count;
    }

    // The next 32 bits, the first of them in the top bit.
    uint32_t Peek()
    {
        if (FWindowBits < 32) {
            const int64_t position = FWindowEnd - FWindowBits;
            const TBitWindow window = WindowAt(*FSource, position);
            FWindow = window.Word;
            FWindowBits = window.Bits;
            FWindowEnd = position + window.Bits;
        }
        return uint32_t(FWindow >> 32);
    }

private:
    const TBitSource* FSource;
    int64_t FWindowEnd;   // the position just past the word's bits
    uint64_t FWindow = 0; // the bits from the position on, the first in the top bit
    int64_t FWindowBits = 0;
};

} // namespace Tifccitt::detail
