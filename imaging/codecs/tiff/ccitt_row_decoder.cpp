// The fax row decoders: a one-dimensional row, the uncompressed mode and horizontal runs of
// two-dimensional rows, and the two-dimensional row, each into the row's list of changing
// elements, where every run leaves its end, even a run of no pixels: pages whose coders write such
// runs decode against them. Nothing is read past the data's end and no run is written past the
// row.
#include "imaging/codecs/tiff/detail/ccitt_row_decoder.h"

#include "imaging/codecs/tiff/detail/ccitt_reference.h"
#include "imaging/codecs/tiff/detail/ccitt_tables.h"

#include <algorithm>
#include <bit>

namespace Tifccitt::detail {

namespace {

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

// A row that stops short at a0 stays white from there, as a black run has no end in the data.
[[gnu::always_inline]] inline TFaxRowStatus StopShort(TChangeWriter& row, int32_t a0, bool black,
                                                      TFaxRowStatus status)
{
    if (black) {
        row.Turn(a0);
    }
    return status;
}

// Runs from white, each ending in a changing element. A run past the row's end, or an EOL inside
// the row, ends it short, a black run reaching its end.
[[gnu::noinline]] TFaxRowStatus Decode1DRow(TChangeWriter& row, TBitReader& bits, int32_t width)
{
    bool black = false;
    bool started = false;
    bool makeUpPending = false;
    int32_t x = 0;
    while (x < width || makeUpPending) {
        if (bits.AtEnd()) {
            return StopShort(row, x, black, frDataEnded);
        }
        const uint32_t window = bits.Peek();
        const int32_t zeros = LeadingZeros(window);
        if (zeros >= 8) {
            if (zeros == 32) {
                bits.Skip(32); // fill
                continue;
            }
            if (zeros < 11) {
                return StopShort(row, x, black, frBadCode);
            }
            bits.Skip(zeros + 1);
            if (started) {
                return frBadLength; // an EOL inside the row
            }
            continue; // an EOL before the row
        }
        const TRunLookup& entry = Runs(black)[window >> (32 - RunLookupBits)];
        if (entry.Length == 0) {
            return StopShort(row, x, black, frBadCode);
        }
        bits.Skip(entry.Length);
        started = true;
        if (entry.Run > width - x) {
            return frBadLength; // a run past the row's end
        }
        x += entry.Run;
        makeUpPending = entry.Run >= 64;
        if (!makeUpPending) {
            if (entry.Run == 0 && !row.RoomForEmpty(1)) {
                return StopShort(row, x, black, frBadCode);
            }
            row.Change(x);
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
        return StopShort(row, a0, black, bits.AtEnd() ? frDataEnded : frBadCode);
    }
    if ((first == 0 || second == 0) && !row.RoomForEmpty(2)) {
        return StopShort(row, a0, black, frBadCode);
    }
    const int32_t start = std::max(a0, 0);
    const int32_t a1 = std::min(start + first, width);
    const int32_t a2 = std::min(a1 + second, width);
    row.Change(a1);
    row.Change(a2);
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
    // Where b1 lies after: a0, but before every pixel until the row's first change, so that passes
    // at a row's start step along the reference a pair at a time, past pairs at one position too,
    // as libtiff's decoder does.
    int32_t b1After = -1;
    bool black = false;
    while (a0 < width) {
        // Past the end of the data the window holds zeros, which are no mode.
        const uint32_t window = bits.Peek();
        const TModeLookup& mode = modes[window >> 25];
        if (mode.Mode == mdNone) {
            if (bits.AtEnd()) {
                return StopShort(row, a0, black, frDataEnded);
            }
            const int32_t zeros = LeadingZeros(window);
            if (IsEOL(window)) {
                if (a0 >= 0) {
                    return frBadLength; // an EOL inside the row: the next row starts with it
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
                int32_t a0Copy = std::max(a0, 0);
                bool blackCopy = black;
                // The mode names pixels from a0 on: a black run ends there, and the colour it
                // leaves in begins a run there.
                if (black) {
                    rowCopy.Turn(a0Copy);
                }
                DecodeUncompressed(rowCopy, bitsCopy, a0Copy, blackCopy, width);
                if (blackCopy) {
                    rowCopy.Turn(a0Copy);
                }
                row = rowCopy;
                bits = bitsCopy;
                a0 = b1After = a0Copy;
                if (blackCopy != black && a0 < width) {
                    reference.ColourChangedAt(a0);
                }
                black = blackCopy;
                continue;
            }
            if (zeros < 32) {
                return StopShort(row, a0, black, frBadCode);
            }
            bits.Skip(32); // fill
            continue;
        }
        bits.Skip(mode.Length);
        const int32_t start = std::max(a0, 0);
        if (mode.Mode == mdVertical) {
            const int32_t a1 = reference.B1(b1After) + mode.Offset;
            // A changing element left of a0 cannot stand; one at a0 ends a run of no pixels.
            if (a1 <= start && (a1 < start || !row.RoomForEmpty(1))) {
                return StopShort(row, a0, black, frBadCode);
            }
            if (a1 > width) {
                return frBadLength;
            }
            row.Change(a1);
            black = !black;
            reference.ColourChanged();
            a0 = b1After = a1;
            continue;
        }
        if (mode.Mode == mdPass) {
            reference.B1(b1After);
            const int32_t b2 = reference.B2();
            if (b2 >= width) {
                return frBadLength; // a pass needs b2 inside the row, left of a1
            }
            reference.Passed();
            a0 = std::max(b2, start);
            b1After = b1After < 0 ? -1 : a0;
            continue;
        }
        const TFaxRowStatus status = DecodeHorizontal(row, bits, a0, black, width);
        if (status != frOK) {
            return status;
        }
        b1After = a0;
    }
    return frOK;
}

} // namespace

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

} // namespace Tifccitt::detail
