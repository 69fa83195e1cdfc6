// Tifccitt: bilevel rows in the fax codings of ITU-T T.4 and T.6 as TIFF uses them: Modified
// Huffman (Compression 2), Group 3 one- and two-dimensional (Compression 3) and Group 4
// (Compression 4).
#pragma once

#include <cstdint>
#include <vector>

class TStream;

namespace Tifccitt {

// Decoders. A decoded row uses 1 bits for white and 0 bits for black, most significant bit
// leftmost; it is filled with white first, so what the data does not cover stays white. Data
// holds DataSize bytes; every decoder stops at its end. FillOrder 2 takes each byte's bits
// least significant first. Runs are cut to the row. A row stops at its first fault, which Status
// receives when it is given.

// What was wrong with a row: nothing; a code that does not exist, or a mode that cannot stand
// where it does; runs that do not add up to the row's width (past its end, or an EOL inside it);
// data that ends before the row.
enum TFaxRowStatus : uint8_t
{
    frOK,
    frBadCode,
    frBadLength,
    frDataEnded
};

// One one-dimensional row from StartBit; returns the bit position after it. An EOL at the row's
// start is skipped, one inside it ends the row.
int64_t _CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                             int32_t FillOrder, int64_t StartBit, TFaxRowStatus* Status = nullptr);
// One Modified Huffman row from bit 0; returns the bytes it took (its rows are byte-aligned).
int64_t CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, int32_t Width,
                            int32_t FillOrder, TFaxRowStatus* Status = nullptr);
// One row coded against RefLine (Group 4, and Group 3 rows led by an EOL and a tag bit: 1 one-,
// 0 two-dimensional); returns the bit position after it. RefLine, of (Width + 7) / 8 bytes and
// all white (255) before the first row, receives the decoded row. EOLAlign: EOLs are padded with
// zero bits to end on a byte boundary. A row as bits keeps no trace of runs of no pixels, whose
// changing elements the next row may refer to: the TIFF reader decodes a strip's rows against the
// changing elements of the row before instead.
int64_t CCITT3_2D_GetLine(uint8_t* Row, const uint8_t* Data, int64_t DataSize, bool EOLAlign,
                          int32_t FillOrder, int64_t StartBit, uint8_t* RefLine, int32_t Width,
                          TFaxRowStatus* Status = nullptr);

// Encoders. They take 0 bits as white. Error is set when the stream takes fewer bytes than given
// and never cleared.

// One Modified Huffman row, padded to a whole byte.
void CCITTHuffmanPutLine(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error);
// One Group 3 one-dimensional row led by its EOL. Whole bytes go to the stream; the last partial
// byte stays pending in PendingBits and PendingByte for the next row. A nil row writes the
// pending byte, padded with zero bits.
void CCITTHuffmanPutLineG3(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error,
                           int32_t& PendingBits, uint8_t& PendingByte);
// One Group 3 two-dimensional row: EOL and tag bit, the first row coded one-dimensionally, the
// following ones against the row before, which RefLine keeps. A nil row writes a closing EOL and
// the pending byte, and frees RefLine.
void CCITTHuffmanPutLineG32D(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error,
                             std::vector<uint8_t>& RefLine, int32_t& PendingBits, uint8_t& PendingByte);
// One Group 4 row against the row before (all white before the first). A nil row writes the end
// of facsimile block (two EOLs), pads to a whole byte and frees RefLine.
void CCITTHuffmanPutLineG4(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Error,
                           std::vector<uint8_t>& RefLine, int32_t& PendingBits, uint8_t& PendingByte);

} // namespace Tifccitt
