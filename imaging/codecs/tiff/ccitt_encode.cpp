// Fax row encoders: Modified Huffman, Group 3 one- and two-dimensional and Group 4 rows. Codes
// collect in a growable buffer, so no row is too narrow or too busy for it.
#include "imaging/codecs/tiff/detail/ccitt_lines.h"
#include "imaging/codecs/tiff/detail/ccitt_tables.h"
#include "imaging/codecs/tiff/tifccitt.h"

#include "imaging/core/stream_utils.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace Tifccitt {

using namespace detail;

namespace {

// Appends codes most significant bit first. Starts with the bits a previous row left pending.
class TBitWriter
{
public:
    TBitWriter(int32_t pendingBits, uint8_t pendingByte)
        : FAccumulator(uint32_t(pendingByte) >> (8 - pendingBits)), FBits(pendingBits)
    {
        if (pendingBits == 0) {
            FAccumulator = 0;
        }
    }

    void Put(uint32_t code, int32_t length)
    {
        for (int32_t i = length - 1; i >= 0; --i) {
            FAccumulator = FAccumulator << 1 | ((code >> i) & 1);
            if (++FBits == 8) {
                FBytes.push_back(uint8_t(FAccumulator));
                FAccumulator = 0;
                FBits = 0;
            }
        }
    }

    void PadToByte()
    {
        if (FBits > 0) {
            Put(0, 8 - FBits);
        }
    }

    // Writes the whole bytes; the partial one goes back to the caller as pending.
    void Flush(TStream& stream, bool& error, int32_t& pendingBits, uint8_t& pendingByte)
    {
        if (!FBytes.empty()) {
            Daduvudez::SafeStreamWrite(&stream, error, FBytes.data(), int64_t(FBytes.size()));
        }
        FBytes.clear();
        pendingBits = FBits;
        pendingByte = FBits > 0 ? uint8_t(FAccumulator << (8 - FBits)) : 0;
    }

private:
    std::vector<uint8_t> FBytes;
    uint32_t FAccumulator;
    int32_t FBits;
};

void PutCode(TBitWriter& writer, const TRunCode& code)
{
    writer.Put(code.Code, code.Length);
}

void PutRun(TBitWriter& writer, int32_t run, bool black)
{
    while (run > 63) {
        const int32_t makeUp = run > 2560 ? 2560 : run / 64 * 64;
        PutCode(writer, RunCode(black, makeUp));
        run -= makeUp;
    }
    PutCode(writer, RunCode(black, run));
}

void PutEOL(TBitWriter& writer)
{
    writer.Put(EOLCode, EOLLength);
}

// Rows given to the encoders have 1 bits for black.
constexpr bool BlackBit = true;

void Encode1D(TBitWriter& writer, const uint8_t* row, int32_t width)
{
    bool black = false;
    int32_t x = 0;
    while (x < width) {
        const int32_t end = FindBit(row, x, width, black ? !BlackBit : BlackBit);
        PutRun(writer, end - x, black);
        x = end;
        black = !black;
    }
    if (width == 0) {
        PutRun(writer, 0, false);
    }
}

// The changes of a row and its reference that the codes from a0 on need, in the current colour:
// a1 in the row, b1 and b2 in the reference.
struct TNextChanges
{
    int32_t A1 = -1;
    int32_t B1 = -1;
    int32_t B2 = -1;
};

void Encode2D(TBitWriter& writer, const uint8_t* row, const uint8_t* ref, int32_t width)
{
    int32_t a0 = -1;
    bool black = false;
    // a0 never moves back along a row, so a change found past it stays the first of its kind until
    // a0 reaches it: each colour keeps what it found, and the row and its reference are searched
    // once. Searching again from a0 after every code would go as far as the next change each time,
    // the whole width for every code of a busy row over a blank reference.
    TNextChanges found[2];
    while (a0 < width) {
        const bool colourBit = black ? BlackBit : !BlackBit;
        TNextChanges& next = found[black];
        if (next.A1 <= a0) {
            next.A1 = FindBit(row, a0 + 1, width, !colourBit);
        }
        if (next.B1 <= a0) {
            FindB1B2(ref, a0, black, width, BlackBit, next.B1, next.B2);
        }
        const int32_t a1 = next.A1, b1 = next.B1, b2 = next.B2;
        if (b2 < a1) {
            writer.Put(0x1, 4); // pass
            a0 = b2;
        } else if (std::abs(a1 - b1) <= 3) {
            static const TRunCode vertical[7] = {{0x2, 7}, {0x2, 6}, {0x2, 3}, {0x1, 1},
                                                 {0x3, 3}, {0x3, 6}, {0x3, 7}};
            PutCode(writer, vertical[a1 - b1 + 3]);
            a0 = a1;
            black = !black;
        } else {
            const int32_t a2 = FindBit(row, a1, width, colourBit);
            writer.Put(0x1, 3); // horizontal
            PutRun(writer, a1 - (a0 < 0 ? 0 : a0), black);
            PutRun(writer, a2 - a1, !black);
            a0 = a2;
        }
    }
}

std::vector<uint8_t> CopyRow(const uint8_t* row, int32_t width)
{
    return std::vector<uint8_t>(row, row + (width + 7) / 8);
}

} // namespace

void CCITTHuffmanPutLine(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error)
{
    TBitWriter writer(0, 0);
    Encode1D(writer, Row, Width);
    writer.PadToByte();
    int32_t pendingBits = 0;
    uint8_t pendingByte = 0;
    writer.Flush(Stream, Error, pendingBits, pendingByte);
}

void CCITTHuffmanPutLineG3(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error,
                           int32_t& PendingBits, uint8_t& PendingByte)
{
    TBitWriter writer(PendingBits, PendingByte);
    if (Row == nullptr) {
        writer.PadToByte();
    } else {
        PutEOL(writer);
        Encode1D(writer, Row, Width);
    }
    writer.Flush(Stream, Error, PendingBits, PendingByte);
}

void CCITTHuffmanPutLineG32D(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error,
                             std::vector<uint8_t>& RefLine, int32_t& PendingBits, uint8_t& PendingByte)
{
    TBitWriter writer(PendingBits, PendingByte);
    if (Row == nullptr) {
        PutEOL(writer);
        writer.PadToByte();
        RefLine.clear();
        RefLine.shrink_to_fit();
    } else if (RefLine.empty()) {
        PutEOL(writer);
        writer.Put(1, 1);
        Encode1D(writer, Row, Width);
        RefLine = CopyRow(Row, Width);
    } else {
        PutEOL(writer);
        writer.Put(0, 1);
        Encode2D(writer, Row, RefLine.data(), Width);
        RefLine = CopyRow(Row, Width);
    }
    writer.Flush(Stream, Error, PendingBits, PendingByte);
}

void CCITTHuffmanPutLineG4(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error,
                           std::vector<uint8_t>& RefLine, int32_t& PendingBits, uint8_t& PendingByte)
{
    TBitWriter writer(PendingBits, PendingByte);
    if (Row == nullptr) {
        PutEOL(writer);
        PutEOL(writer);
        writer.PadToByte();
        RefLine.clear();
        RefLine.shrink_to_fit();
    } else {
        if (RefLine.size() != size_t((Width + 7) / 8)) {
            RefLine.assign(size_t((Width + 7) / 8), 0);
        }
        Encode2D(writer, Row, RefLine.data(), Width);
        std::memcpy(RefLine.data(), Row, RefLine.size());
    }
    writer.Flush(Stream, Error, PendingBits, PendingByte);
}

} // namespace Tifccitt
