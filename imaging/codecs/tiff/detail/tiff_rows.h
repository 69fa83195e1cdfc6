// Row-level pieces of the TIFF reader: the decoders that turn a strip or tile's data into rows,
// and the conversion of a decoded row into bitmap pixels.
#pragma once

#include "imaging/codecs/tiff/detail/tiff_page.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Tifccitt::detail {
class TFaxStrip;
}

namespace Tiffilt::detail {

// What the data of a strip or tile gave for a row.
enum TRowStatus
{
    rsWhole,  // the row
    rsCut,    // the data ended inside the row: it holds what there was, zeros after
    rsNone,   // the data ended before the row
    rsCorrupt // the data is corrupt
};

// Hands out the decoded rows of one strip or tile, rowBytes bytes each, in order. The caller's row
// buffer grows with the bytes decoded into it: a whole row leaves it rowBytes long, a cut one holds
// what there was and zeros after, however long the buffer was made.
class TRowDecoder
{
public:
    TRowDecoder(const TTIFFPage& page, const uint8_t* data, int64_t size, int32_t width, int64_t rowBytes);
    ~TRowDecoder();
    TRowDecoder(const TRowDecoder&) = delete;
    TRowDecoder& operator=(const TRowDecoder&) = delete;

    TRowStatus Next(std::vector<uint8_t>& row);

private:
    // rsWhole when the row got all its bytes, else rsCut or rsNone by whether it got any; the
    // buffer past them is cleared.
    TRowStatus Filled(std::vector<uint8_t>& row, int64_t bytes) const;
    uint8_t* GrowTo(std::vector<uint8_t>& row, int64_t bytes) const;
    TRowStatus NextPackBits(std::vector<uint8_t>& row);
    TRowStatus NextDeflate(std::vector<uint8_t>& row);
    bool NextFax(uint8_t* row);

    const TTIFFPage& FPage;
    const uint8_t* FData;
    int64_t FSize;
    int32_t FWidth;
    int64_t FRowBytes;
    int64_t FPosition = 0; // bytes, or bits for fax data
    // PackBits: the rest of a packet that ran past the previous row.
    int32_t FLiteralLeft = 0;
    int32_t FRepeatLeft = 0;
    uint8_t FRepeatByte = 0;
    intptr_t FLZWState = 0;
    bool FOldStyleLZW = false;
    struct TZState;
    std::unique_ptr<TZState> FZ;
    std::unique_ptr<Tifccitt::detail::TFaxStrip> FFax;
};

// Converts decoded chunky rows into bitmap rows and alpha mask rows. Colours premultiplied by
// an associated alpha come out straight, as bitmaps hold them, whether or not the alpha is kept.
class TRowConverter
{
public:
    TRowConverter(const TTIFFPage& page, bool withAlpha);

    // Undoes horizontal differencing on a decoded row of count pixels of `samples` samples each.
    void UndoPredictor(uint8_t* row, int32_t count, int32_t samples) const;
    // Writes count pixels of the row into bitmap row dst from pixel x on, and their alpha into
    // maskRow (from x on) when given.
    void Convert(const uint8_t* row, int32_t count, uint8_t* dst, int32_t x, uint8_t* maskRow);
    // Convert for a row of width pixels whose horizontal differencing is still to be undone;
    // 8-bit colour undoes it as it copies, other layouts first in the row, which then changes.
    void ConvertDifferenced(uint8_t* row, int32_t width, int32_t count, uint8_t* dst, int32_t x,
                            uint8_t* maskRow);

private:
    uint16_t Sample16(const uint8_t* p) const
    {
        return FIntel ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
    }
    uint8_t High(const uint8_t* p) const { return FIntel ? p[1] : p[0]; }
    uint8_t Grey(uint32_t value) const;
    // 8-bit colour, differenced, into bitmap pixels and alpha (when given) in one pass.
    void ConvertDifferencedRgb8(const uint8_t* row, int32_t count, uint8_t* out, uint8_t* alpha) const;
    // The straight colour of a premultiplied 16-bit sample as a bitmap byte.
    uint8_t Straight16(const uint8_t* colour, const uint8_t* alpha) const;
    uint8_t Straight8(uint8_t colour, uint8_t alpha) const { return FStraight[size_t(alpha) << 8 | colour]; }

    const TTIFFPage& FPage;
    bool FWithAlpha;
    bool FIntel;
    bool FInvertBits;
    int32_t FSamples;
    int32_t FBits;
    bool FAssociated;
    // Straight 8-bit colour by alpha and premultiplied colour (alpha x 256 + colour).
    std::vector<uint8_t> FStraight;
    std::vector<uint8_t> FScratch;
};

} // namespace Tiffilt::detail
