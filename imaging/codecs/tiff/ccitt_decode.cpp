// Fax row decoders: Modified Huffman, Group 3 one-dimensional rows and the two-dimensional rows
// of Group 3 and Group 4. Nothing is read past the data's end and no run is written past the row;
// a row that the data does not finish stays white from there on.
#include "imaging/codecs/detail/be_words.h"
#include "imaging/codecs/tiff/detail/ccitt_tables.h"
#include "imaging/codecs/tiff/tifccitt.h"

#include "imaging/core/bit_utils.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>

namespace Tifccitt {

using namespace detail;
using Codecs::detail::BigEndian64;
using Codecs::detail::SetBigEndian64;

namespace {

const uint8_t* ReversedBytes()
{
    static const auto table = [] {
        std::array<uint8_t, 256> t{};
        for (int32_t i = 0; i < 256; ++i) {
            uint8_t v = uint8_t(i);
            Daduvudez::ReverseBitsB(v);
            t[size_t(i)] = v;
        }
        return t;
    }();
    return table.data();
}

// Reads the data most significant bit first (FillOrder 1) or least significant bit first
// (FillOrder 2); bits past the end read as 0. The bits from the position on are kept in a word,
// which is filled again when fewer than 32 of them are left.
class TBitReader
{
public:
    TBitReader(const uint8_t* data, int64_t size, int32_t fillOrder, int64_t startBit)
        : FData(data), FSize(std::max<int64_t>(size, 0)), FBits(FSize * 8),
          FReverse(fillOrder == 2 ? ReversedBytes() : nullptr),
          FLastWordBit(FReverse == nullptr ? FBits - 64 : -1), FPosition(std::max<int64_t>(startBit, 0))
    {
    }

    bool AtEnd() const { return FPosition >= FBits; }
    int64_t Position() const { return std::min(FPosition, FBits); }

    // count is at most 32. The position may pass the end, where every read stops.
    void Skip(int32_t count)
    {
        FPosition += count;
        FWindow <<= count;
        FWindowBits -= count;
    }

    // The next 32 bits, the first of them in the top bit.
    uint32_t Peek()
    {
        if (FWindowBits < 32) {
            Fill();
        }
        return uint32_t(FWindow >> 32);
    }

private:
    void Fill()
    {
        const int64_t byte = FPosition >> 3;
        const int32_t skip = int32_t(FPosition & 7);
        if (FPosition <= FLastWordBit) {
            FWindow = BigEndian64(FData + byte) << skip;
            FWindowBits = 64 - skip;
            return;
        }
        uint64_t window = 0;
        for (int64_t i = 0; i < 5; ++i) {
            window <<= 8;
            if (byte + i < FSize) {
                const uint8_t value = FData[byte + i];
                window |= FReverse != nullptr ? FReverse[value] : value;
            }
        }
        FWindow = uint64_t(uint32_t(window >> (8 - skip))) << 32;
        FWindowBits = 32;
    }

    const uint8_t* FData;
    int64_t FSize;
    int64_t FBits;
    const uint8_t* FReverse;
    int64_t FLastWordBit; // the last position from which eight bytes are left to read as they are
    int64_t FPosition;
    uint64_t FWindow = 0; // the bits from FPosition on, the first in the top bit
    int32_t FWindowBits = 0;
};

// Clears (makes black) pixels [from, to) of a row of width pixels whose 1 bits are white.
void ClearRun(uint8_t* row, int32_t width, int32_t from, int32_t to)
{
    if (from >= to) {
        return;
    }
    const int32_t first = from >> 3;
    const int32_t skip = from & 7;
    if (skip + (to - from) <= 64 && first + 8 <= (width + 7) >> 3) {
        // The run lies inside the eight bytes from its first: one word is masked.
        const int32_t end = skip + (to - from);
        const uint64_t run = ~uint64_t(0) >> skip & ~(end < 64 ? ~uint64_t(0) >> end : 0);
        SetBigEndian64(row + first, BigEndian64(row + first) & ~run);
        return;
    }
    const int32_t last = (to - 1) >> 3;
    const uint8_t head = uint8_t(0xFF >> (from & 7));           // bits from `from` on in its byte
    const uint8_t tail = uint8_t(0xFF << (7 - ((to - 1) & 7))); // bits up to `to - 1`
    if (first == last) {
        row[first] &= uint8_t(~(head & tail));
        return;
    }
    row[first] &= uint8_t(~head);
    if (last - first > 1) {
        std::memset(row + first + 1, 0, size_t(last - first - 1));
    }
    row[last] &= uint8_t(~tail);
}

// The changing elements of a reference line: the pixels that differ from the one before them,
// the imaginary pixel before the row being white. Even entries start black runs, odd ones
// white runs; the width follows them three times, so that b1 and b2 past the last change are
// the width.
class TChangingElements
{
public:
    TChangingElements(const uint8_t* line, int32_t width)
        : FPositions(new int32_t[size_t(width) + 3]), FWidth(width)
    {
        const int32_t bytes = (width + 7) / 8;
        int32_t count = 0;
        uint64_t before = 1; // the pixel before the word, in its lowest bit
        for (int32_t byte = 0; byte < bytes; byte += 8) {
            uint64_t word = 0;
            if (byte + 8 <= bytes) {
                word = BigEndian64(line + byte);
            } else {
                for (int32_t i = 0; byte + i < bytes; ++i) {
                    word |= uint64_t(line[byte + i]) << (56 - 8 * i);
                }
            }
            uint64_t changes = word ^ (word >> 1 | before << 63);
            const int32_t left = width - byte * 8;
            if (left < 64) {
                changes &= ~(~uint64_t(0) >> left); // none past the row
            }
            while (changes != 0) {
                const int32_t bit = std::countl_zero(changes);
                FPositions[size_t(count++)] = byte * 8 + bit;
                changes ^= uint64_t(1) << 63 >> bit;
            }
            before = word & 1;
        }
        for (int32_t i = 0; i < 3; ++i) {
            FPositions[size_t(count + i)] = width;
        }
    }

    // b1, the first changing element after a0 that starts a run of the colour opposite to the
    // current one, and b2, the next one after it. a0 never moves back along a row, so the
    // search goes on from where the last one stopped.
    void FindB1B2(int32_t a0, bool black, int32_t& b1, int32_t& b2)
    {
        const int32_t p = std::clamp(a0 + 1, 0, FWidth);
        while (FPositions[size_t(FNext)] < p) {
            ++FNext;
        }
        const int32_t k = FNext + ((FNext & 1) != int32_t(black));
        b1 = FPositions[size_t(k)];
        b2 = FPositions[size_t(k + 1)];
    }

private:
    std::unique_ptr<int32_t[]> FPositions;
    int32_t FWidth;
    int32_t FNext = 0; // the first changing element at or after the last a0 + 1
};

constexpr int32_t MaxRun = 1 << 24;

// The run tables of both colours, looked up once.
const TRunLookup* const WhiteRuns = RunLookup(false);
const TRunLookup* const BlackRuns = RunLookup(true);

const TRunLookup* Runs(bool black)
{
    return black ? BlackRuns : WhiteRuns;
}

// One run of a colour: make-up codes up to and including a terminating code; -1 for a code that
// does not exist or data that ends first.
int32_t ReadRun(TBitReader& bits, bool black)
{
    const TRunLookup* table = Runs(black);
    int32_t total = 0;
    while (!bits.AtEnd()) {
        const TRunLookup& entry = table[bits.Peek() >> (32 - RunLookupBits)];
        if (entry.Length == 0) {
            return -1;
        }
        bits.Skip(entry.Length);
        total = std::min(total + entry.Run, MaxRun);
        if (entry.Run < 64) {
            return total;
        }
    }
    return -1;
}

// Zero bits at the top of the window (32 for a window of zeros).
int32_t LeadingZeros(uint32_t window)
{
    return std::countl_zero(window);
}

// An EOL: eleven or more zero bits (fill included) and a 1.
bool IsEOL(uint32_t window)
{
    const int32_t zeros = LeadingZeros(window);
    return zeros >= 11 && zeros < 32;
}

void FillWhite(uint8_t* row, int32_t width)
{
    std::memset(row, 0xFF, size_t((width + 7) / 8));
}

TFaxRowStatus Decode1DRow(uint8_t* row, TBitReader& bits, int32_t width)
{
    bool black = false;
    bool started = false;
    bool makeUpPending = false;
    int32_t x = 0;
    while (x < width || makeUpPending) {
        if (bits.AtEnd()) {
            return frDataEnded;
        }
        const uint32_t window = bits.Peek();
        const int32_t zeros = LeadingZeros(window);
        if (zeros >= 8) {
            if (zeros == 32) {
                bits.Skip(32); // fill
                continue;
            }
            if (zeros < 11) {
                return frBadCode;
            }
            bits.Skip(zeros + 1);
            if (started) {
                // An EOL inside the row ends it short.
                if (black) {
                    ClearRun(row, width, x, width);
                }
                return frBadLength;
            }
            continue; // an EOL before the row
        }
        const TRunLookup& entry = Runs(black)[window >> (32 - RunLookupBits)];
        if (entry.Length == 0) {
            return frBadCode;
        }
        bits.Skip(entry.Length);
        started = true;
        const int32_t run = std::min<int32_t>(entry.Run, width - x);
        if (black) {
            ClearRun(row, width, x, x + run);
        }
        if (run < entry.Run) {
            return frBadLength; // a run past the row's end
        }
        x += run;
        makeUpPending = entry.Run >= 64;
        if (!makeUpPending) {
            black = !black;
        }
    }
    return frOK;
}

// Uncompressed mode: runs of white pixels, each code ending in a black pixel, until an exit
// code names the colour that follows.
void DecodeUncompressed(uint8_t* row, TBitReader& bits, int32_t& a0, bool& black, int32_t width)
{
    a0 = std::max(a0, 0);
    while (a0 < width && !bits.AtEnd()) {
        const int32_t zeros = LeadingZeros(bits.Peek());
        if (zeros > 10) {
            return;
        }
        bits.Skip(zeros + 1);
        const int32_t n = zeros + 1;
        if (n <= 5) {
            a0 = std::min(a0 + n, width);
            ClearRun(row, width, a0 - 1, a0);
        } else if (n == 6) {
            a0 = std::min(a0 + 5, width);
        } else {
            a0 = std::min(a0 + n - 7, width);
            black = !(bits.Peek() >> 31);
            bits.Skip(1);
            return;
        }
    }
}

// The runs of a horizontal mode from a0: the first in the current colour, the second in the
// other.
TFaxRowStatus DecodeHorizontal(uint8_t* row, TBitReader& bits, int32_t& a0, bool black, int32_t width)
{
    const int32_t first = ReadRun(bits, black);
    const int32_t second = first < 0 ? -1 : ReadRun(bits, !black);
    if (second < 0) {
        return bits.AtEnd() ? frDataEnded : frBadCode;
    }
    const int32_t start = std::max(a0, 0);
    const int32_t a1 = std::min(start + first, width);
    const int32_t a2 = std::min(a1 + second, width);
    if (black) {
        ClearRun(row, width, start, a1);
    } else {
        ClearRun(row, width, a1, a2);
    }
    a0 = a2;
    return int64_t(start) + first + second > width ? frBadLength : frOK;
}

// Decodes the two-dimensional codes of one row. oneDimensional is set when an EOL at the row's
// start with a tag bit of 1 asks for a one-dimensional row instead.
TFaxRowStatus Decode2DRow(uint8_t* row, TBitReader& bits, const uint8_t* ref, int32_t width,
                          bool& oneDimensional)
{
    TChangingElements changes(ref, width);
    const TModeLookup* modes = ModeLookup();
    int32_t a0 = -1;
    bool black = false;
    while (a0 < width) {
        if (bits.AtEnd()) {
            return frDataEnded;
        }
        const uint32_t window = bits.Peek();
        const TModeLookup& mode = modes[window >> 25];
        if (mode.Mode == mdNone) {
            const int32_t zeros = LeadingZeros(window);
            if (IsEOL(window)) {
                if (a0 >= 0) {
                    // An EOL inside the row ends it short; the next row starts with it.
                    if (black) {
                        ClearRun(row, width, a0, width);
                    }
                    return frBadLength;
                }
                bits.Skip(zeros + 1);
                if (IsEOL(bits.Peek())) {
                    return frDataEnded; // two EOLs: the end of the facsimile block
                }
                oneDimensional = bits.Peek() >> 31;
                bits.Skip(1);
                if (oneDimensional) {
                    return frOK;
                }
                continue;
            }
            if ((zeros == 6 && (window >> 22) == 0xF) || (zeros == 8 && (window >> 20) == 0xF)) {
                bits.Skip(zeros + 4);
                DecodeUncompressed(row, bits, a0, black, width);
                continue;
            }
            if (zeros < 32) {
                return frBadCode;
            }
            bits.Skip(32); // fill
            continue;
        }
        bits.Skip(mode.Length);
        const int32_t start = std::max(a0, 0);
        int32_t b1 = 0, b2 = 0;
        switch (mode.Mode) {
        case mdPass:
            changes.FindB1B2(a0, black, b1, b2);
            if (black) {
                ClearRun(row, width, start, b2);
            }
            if (b2 >= width) {
                return frBadLength; // a pass needs b2 inside the row, left of a1
            }
            a0 = std::max(b2, start);
            break;
        case mdHorizontal: {
            const TFaxRowStatus status = DecodeHorizontal(row, bits, a0, black, width);
            if (status != frOK) {
                return status;
            }
            break;
        }
        default: { // vertical
            changes.FindB1B2(a0, black, b1, b2);
            const int32_t a1 = b1 + mode.Offset;
            if (a1 < start) {
                return frBadCode; // a changing element left of a0
            }
            if (black) {
                ClearRun(row, width, start, std::min(a1, width));
            }
            if (a1 > width) {
                return frBadLength;
            }
            black = !black;
            a0 = a1;
            break;
        }
        }
    }
    return frOK;
}

} // namespace

int64_t _CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                             int32_t FillOrder, int64_t StartBit, TFaxRowStatus* Status)
{
    FillWhite(Row, Width);
    TBitReader bits(Data, DataSize, FillOrder, StartBit);
    const TFaxRowStatus status = Decode1DRow(Row, bits, Width);
    if (Status != nullptr) {
        *Status = status;
    }
    return bits.Position();
}

int64_t CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                            int32_t FillOrder, TFaxRowStatus* Status)
{
    return (_CCITTHuffmanGetLine(Row, Data, DataSize, Width, FillOrder, 0, Status) + 7) / 8;
}

int64_t CCITT3_2D_GetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, bool /*EOLAlign*/,
                          int32_t FillOrder, int64_t StartBit, uint8_t* RefLine, int32_t Width,
                          TFaxRowStatus* Status)
{
    // EOLs are found by their run of zeros, which covers the fill of aligned EOLs as well.
    FillWhite(Row, Width);
    TBitReader bits(Data, DataSize, FillOrder, StartBit);
    bool oneDimensional = false;
    TFaxRowStatus status = Decode2DRow(Row, bits, RefLine, Width, oneDimensional);
    if (oneDimensional) {
        FillWhite(Row, Width);
        status = Decode1DRow(Row, bits, Width);
    }
    std::memcpy(RefLine, Row, size_t((Width + 7) / 8));
    if (Status != nullptr) {
        *Status = status;
    }
    return bits.Position();
}

} // namespace Tifccitt
