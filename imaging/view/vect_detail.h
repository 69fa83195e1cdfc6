// Internals of the vector layer shared by its files: little-endian byte buffers with checked
// reads, a bounded inflate, and the object record's byte form.
#pragma once

#include "imaging/view/kvvect.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace Kvvect::detail {

struct TByteWriter
{
    std::vector<uint8_t> Data;
    void Byte(uint8_t v) { Data.push_back(v); }
    void Int32(int32_t v);
    void Double(double v);
    void Bytes(const void* p, size_t n);
    // An int32 length, then the bytes.
    void String(const std::string& s);
};

// Reads a block in memory; every read past its end raises EKVVFormat.
struct TByteReader
{
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    size_t Pos = 0;

    size_t Left() const { return Size - Pos; }
    // The small reads are inline: a block holds tens of thousands of them.
    const uint8_t* Take(size_t n)
    {
        if (n > Left()) [[unlikely]] {
            EndsEarly();
        }
        const uint8_t* p = Data + Pos;
        Pos += n;
        return p;
    }
    uint8_t Byte() { return *Take(1); }
    int32_t Int32()
    {
        const uint8_t* b = Take(4);
        return static_cast<int32_t>(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
                                    (uint32_t(b[3]) << 24));
    }
    double Double()
    {
        double v;
        std::memcpy(&v, Take(8), 8);
        return v;
    }
    [[noreturn]] static void EndsEarly();
    // A count of items of itemSize bytes, checked against the bytes left.
    size_t Count(int32_t n, size_t itemSize);
    // An int32 length, then the bytes; cut at a NUL.
    std::string String();
};

// Inflates a whole zlib stream; false when it is corrupt, cut short or would give more than
// limit bytes.
bool Inflate(const uint8_t* in, size_t inSize, size_t limit, std::vector<uint8_t>& out);

void WriteLogFont(TByteWriter& w, const LOGFONT& lf);
LOGFONT ReadLogFont(TByteReader& r);
// One object record as written at version 0x40.
void WriteRecordBytes(TByteWriter& w, const TKVVObject& o, int32_t handle);
// One record of the version (a kvkNONE record gives the records nested in it); returns true
// for a kvkNONE record.
bool ReadRecordBytes(TByteReader& r, uint8_t version, int32_t depth, std::vector<TKVVObject>& out);

} // namespace Kvvect::detail

namespace Kvvect::detail {

// The lines, circles and arcs of a DXF drawing in memory as objects made from pattern, mapped to
// a picture of W x H; false on a read or number-conversion error (the objects found until then
// are in out).
bool ImportDXFObjects(const char* data, size_t size, int32_t W, int32_t H, const TKVVObject& pattern,
                      std::vector<TKVVObject>& out);

} // namespace Kvvect::detail
