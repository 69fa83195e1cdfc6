// Fax row decoders: Modified Huffman, Group 3 one-dimensional rows and the two-dimensional rows
// of Group 3 and Group 4. Rows are decoded into lists of their changing elements, which serve as
// the next row's reference, and written out as bits once. Nothing is read past the data's end and
// no run is written past the row; a row that the data does not finish stays white from there on.
#include "imaging/codecs/detail/be_words.h"
#include "imaging/codecs/tiff/detail/ccitt_tables.h"
#include "imaging/codecs/tiff/detail/fax_strip.h"
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

// The data a bit reader reads: eight bytes at a time where eight are left and the fill order is
// 1, else a byte at a time, bits past the end reading as 0.
struct TBitSource
{
    TBitSource(const uint8_t* data, int64_t size, int32_t fillOrder)
        : Data(data), Size(std::max<int64_t>(size, 0)), Bits(Size * 8),
          Reverse(fillOrder == 2 ? ReversedBytes() : nullptr),
          LastWordBit(Reverse == nullptr ? Bits - 64 : -1)
    {
    }

    const uint8_t* Data;
    int64_t Size;
    int64_t Bits;
    const uint8_t* Reverse;
    int64_t LastWordBit; // the last position from which eight bytes are left to read as they are
};

// At least 32 bits from a position, the first in the top bit of Word.
struct TBitWindow
{
    uint64_t Word;
    int64_t Bits;
};

// Out of line, so that the decoders keep the few values they work with in registers.
[[gnu::noinline]] TBitWindow WindowAt(const TBitSource& source, int64_t position)
{
    const int64_t byte = position >> 3;
    const int32_t skip = int32_t(position & 7);
    if (position <= source.LastWordBit) {
        return {BigEndian64(source.Data + byte) << skip, 64 - skip};
    }
    uint64_t window = 0;
    for (int64_t i = 0; i < 5; ++i) {
        window <<= 8;
        if (byte + i < source.Size) {
            const uint8_t value = source.Data[byte + i];
            window |= source.Reverse != nullptr ? source.Reverse[value] : value;
        }
    }
    return {uint64_t(uint32_t(window >> (8 - skip))) << 32, 32};
}

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

// The changing elements of a row as it is decoded, kept in locals (a view of a TChanges) while
// the row is: the pixels that differ from the one before them, the imaginary pixel before the row
// being white, so that even entries start black runs and odd ones white runs. Positions[-1] is -1,
// before every pixel.
struct TChangeWriter
{
    int32_t* Positions;
    int32_t Count;
    int32_t Width;

    // Pixels [from, to) are black. Runs come left to right and never overlap: one that starts
    // where the last one ended continues it, and one that reaches the width has no end.
    void Black(int32_t from, int32_t to)
    {
        if (from >= to) {
            return;
        }
        if (Positions[Count - 1] == from) {
            --Count;
        } else {
            Positions[Count++] = from;
        }
        if (to < Width) {
            Positions[Count++] = to;
        }
    }
};

// The changing elements of a row, decoded into it and then serving as the next row's reference;
// its bits are written out once. It holds capacity elements, the -1 before them and the three
// that seal them: a row has no more changes than pixels, and a code of one bit or more makes two
// at the most.
class TChanges
{
public:
    TChanges(int32_t width, int32_t capacity)
        : FStorage(new int32_t[size_t(std::min(width, capacity)) + Sentinels + 1]),
          FPositions(FStorage.get() + 1), FWidth(width)
    {
        FStorage[0] = -1;
    }

    TChangeWriter Writer() { return TChangeWriter{FPositions, 0, FWidth}; }
    void Keep(const TChangeWriter& writer) { FCount = writer.Count; }

    // The changing elements of a row of bits, found a word at a time.
    void FromLine(const uint8_t* line)
    {
        FCount = 0;
        const int32_t bytes = (FWidth + 7) / 8;
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
            const int32_t left = FWidth - byte * 8;
            if (left < 64) {
                changes &= ~(~uint64_t(0) >> left); // none past the row
            }
            while (changes != 0) {
                const int32_t bit = std::countl_zero(changes);
                FPositions[size_t(FCount++)] = byte * 8 + bit;
                changes ^= uint64_t(1) << 63 >> bit;
            }
            before = word & 1;
        }
    }

    // Makes the list the reference for the next row: the width follows the changes three times,
    // so that b1 and b2 past the last change are the width.
    const int32_t* Seal()
    {
        for (int32_t i = 0; i < Sentinels; ++i) {
            FPositions[size_t(FCount + i)] = FWidth;
        }
        return FPositions;
    }

    // The row's bits, 1 for white: a white row, and the words that hold changes or lie inside black
    // runs written over it from the left. Pad bits past the width are white.
    void Render(uint8_t* row) const
    {
        const int32_t bytes = (FWidth + 7) / 8;
        std::memset(row, 0xFF, size_t(bytes));
        const int32_t wholeWords = bytes / 8;
        const int32_t words = (bytes + 7) / 8;
        uint64_t word = ~uint64_t(0); // pixel x of word w in bit 63 - x % 64
        int32_t w = 0;
        // Writes word w; the words up to word `to` take the colour of its last pixel.
        const auto put = [&](int32_t to) {
            if (w < wholeWords) {
                SetBigEndian64(row + 8 * w, word);
            } else {
                for (int32_t i = 0; 8 * w + i < bytes; ++i) {
                    row[8 * w + i] = uint8_t(word >> (56 - 8 * i));
                }
            }
            word = uint64_t(0) - (word & 1);
            if (word == 0 && w + 1 < to) {
                std::memset(row + 8 * (w + 1), 0, size_t(std::min(8 * to, bytes) - 8 * (w + 1)));
            }
            w = to;
        };
        for (const int32_t *change = FPositions, *end = FPositions + FCount; change != end; ++change) {
            const int32_t target = *change >> 6;
            if (target != w) {
                put(target);
            }
            word ^= ~uint64_t(0) >> (*change & 63);
        }
        put(words);
        if ((FWidth & 7) != 0) {
            row[bytes - 1] |= uint8_t(0xFF >> (FWidth & 7));
        }
    }

private:
    static constexpr int32_t Sentinels = 3;

    std::unique_ptr<int32_t[]> FStorage;
    int32_t* FPositions;
    int32_t FCount = 0;
    int32_t FWidth;
};

// The sealed changing elements of the reference row as a row's decoding reaches them. Next is an
// entry whose run is of the colour opposite to the current one (even entries start black runs) at
// or before b1, the first such entry after a0; b2 follows b1. a0 never moves back along a row, so
// the search goes on from where the last one stopped, a pair at a time, which keeps the colour.
struct TReference
{
    const int32_t* Positions;
    int32_t Next = 0;

    int32_t B1(int32_t a0)
    {
        while (Positions[Next] <= a0) {
            Next += 2;
        }
        return Positions[Next];
    }
    int32_t B2() const { return Positions[Next + 1]; }
    // The colour changed at a1, which lies past the entry before b1: that entry (the -1 before
    // the list, for the first) is where the next search starts.
    void ColourChanged() { --Next; }
    void Restart(bool black) { Next = black ? 1 : 0; }
};

constexpr int32_t MaxRun = 1 << 24;

// The run tables of both colours, looked up once.
const TRunLookup* const WhiteRuns = RunLookup(false);
const TRunLookup* const BlackRuns = RunLookup(true);

const TRunLookup* Runs(bool black)
{
    return black ? BlackRuns : WhiteRuns;
}

// The decoders of a row keep the bit reader and the row's changes in locals, which stay in
// registers only while every function they are handed to is inlined (always_inline below); the
// one-dimensional rows of two-dimensional data and the rare uncompressed mode work on copies.

// One run of a colour: make-up codes up to and including a terminating code; -1 for a code that
// does not exist or data that ends first.
[[gnu::always_inline]] inline int32_t ReadRun(TBitReader& bits, bool black)
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

[[gnu::noinline]] TFaxRowStatus Decode1DRow(TChangeWriter& row, TBitReader& bits, int32_t width)
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
                    row.Black(x, width);
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
            row.Black(x, x + run);
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
[[gnu::noinline]] void DecodeUncompressed(TChangeWriter& row, TBitReader& bits, int32_t& a0, bool& black,
                                          int32_t width)
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
            row.Black(a0 - 1, a0);
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
[[gnu::always_inline]] inline TFaxRowStatus DecodeHorizontal(TChangeWriter& row, TBitReader& bits,
                                                             int32_t& a0, bool black, int32_t width)
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
        row.Black(start, a1);
    } else {
        row.Black(a1, a2);
    }
    a0 = a2;
    return int64_t(start) + first + second > width ? frBadLength : frOK;
}

// Decodes the two-dimensional codes of one row against the sealed changes of the reference row.
// oneDimensional is set when an EOL at the row's start with a tag bit of 1 asks for a
// one-dimensional row instead.
[[gnu::always_inline]] inline TFaxRowStatus
Decode2DRow(TChangeWriter& row, TBitReader& bits, const int32_t* changes, int32_t width, bool& oneDimensional)
{
    const TModeLookup* modes = ModeLookup();
    TReference reference{changes};
    int32_t a0 = -1;
    bool black = false;
    while (a0 < width) {
        // Past the end of the data the window holds zeros, which are no mode.
        const uint32_t window = bits.Peek();
        const TModeLookup& mode = modes[window >> 25];
        if (mode.Mode == mdNone) {
            if (bits.AtEnd()) {
                return frDataEnded;
            }
            const int32_t zeros = LeadingZeros(window);
            if (IsEOL(window)) {
                if (a0 >= 0) {
                    // An EOL inside the row ends it short; the next row starts with it.
                    if (black) {
                        row.Black(a0, width);
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
                TChangeWriter rowCopy = row;
                TBitReader bitsCopy = bits;
                int32_t a0Copy = a0;
                bool blackCopy = black;
                DecodeUncompressed(rowCopy, bitsCopy, a0Copy, blackCopy, width);
                row = rowCopy;
                bits = bitsCopy;
                a0 = a0Copy;
                black = blackCopy;
                reference.Restart(black);
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
        if (mode.Mode == mdVertical) {
            const int32_t a1 = reference.B1(a0) + mode.Offset;
            if (a1 < start) {
                return frBadCode; // a changing element left of a0
            }
            if (black) {
                row.Black(start, std::min(a1, width));
            }
            if (a1 > width) {
                return frBadLength;
            }
            black = !black;
            reference.ColourChanged();
            a0 = a1;
            continue;
        }
        if (mode.Mode == mdPass) {
            reference.B1(a0);
            const int32_t b2 = reference.B2();
            if (black) {
                row.Black(start, b2);
            }
            if (b2 >= width) {
                return frBadLength; // a pass needs b2 inside the row, left of a1
            }
            a0 = std::max(b2, start);
            continue;
        }
        const TFaxRowStatus status = DecodeHorizontal(row, bits, a0, black, width);
        if (status != frOK) {
            return status;
        }
    }
    return frOK;
}

// A row decoded one- or two-dimensionally (against reference, a sealed list); its changes replace
// those of row. The bit position after it.
int64_t DecodeRow(TChanges& changes, TBitReader& source, const int32_t* reference, int32_t width,
                  TFaxRowStatus* status)
{
    TBitReader bits = source;
    TChangeWriter row = changes.Writer();
    bool oneDimensional = reference == nullptr;
    TFaxRowStatus result = oneDimensional ? frOK : Decode2DRow(row, bits, reference, width, oneDimensional);
    if (oneDimensional) {
        TChangeWriter rowCopy = changes.Writer();
        TBitReader bitsCopy = bits;
        result = Decode1DRow(rowCopy, bitsCopy, width);
        row = rowCopy;
        bits = bitsCopy;
    }
    changes.Keep(row);
    source = bits;
    if (status != nullptr) {
        *status = result;
    }
    return bits.Position();
}

} // namespace

int64_t _CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                             int32_t FillOrder, int64_t StartBit, TFaxRowStatus* Status)
{
    const TBitSource source(Data, DataSize, FillOrder);
    TBitReader bits(source, StartBit);
    TChanges row(Width, Width);
    const int64_t end = DecodeRow(row, bits, nullptr, Width, Status);
    row.Render(Row);
    return end;
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
    const TBitSource source(Data, DataSize, FillOrder);
    TBitReader bits(source, StartBit);
    TChanges reference(Width, Width), row(Width, Width);
    reference.FromLine(RefLine);
    const int64_t end = DecodeRow(row, bits, reference.Seal(), Width, Status);
    row.Render(Row);
    std::memcpy(RefLine, Row, size_t((Width + 7) / 8));
    return end;
}

namespace detail {

struct TFax2DStrip::TState
{
    TState(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width)
        : Source(data, size, fillOrder), Bits(Source, 0), First(width, MostChanges(size)),
          Second(width, MostChanges(size)), Width(width)
    {
    }

    // Two for each bit of the strip at the most: the lists follow the data, not the width.
    static int32_t MostChanges(int64_t size)
    {
        return int32_t(std::min<int64_t>(std::max<int64_t>(size, 0) * 16 + 2, INT32_MAX - 8));
    }

    TBitSource Source;
    TBitReader Bits;
    TChanges First, Second;
    TChanges* Reference = &First;
    TChanges* Row = &Second;
    int32_t Width;
};

TFax2DStrip::TFax2DStrip(const uint8_t* data, int64_t size, int32_t fillOrder, int32_t width)
    : FState(std::make_unique<TState>(data, size, fillOrder, width))
{
}

TFax2DStrip::~TFax2DStrip() = default;

int64_t TFax2DStrip::NextRow(uint8_t* row, TFaxRowStatus* status)
{
    TState& s = *FState;
    const int64_t end = DecodeRow(*s.Row, s.Bits, s.Reference->Seal(), s.Width, status);
    s.Row->Render(row);
    std::swap(s.Reference, s.Row);
    return end;
}

} // namespace detail

} // namespace Tifccitt
