// Decoding the rows of one TIFF strip or tile (uncompressed, PackBits, LZW, Deflate and fax
// data) and converting them into pixels. No decoder reads outside the strip's data.
#include "imaging/codecs/tiff/detail/tiff_rows.h"

#include "imaging/codecs/tiff/detail/fax_strip.h"
#include "imaging/codecs/tiff/tifccitt.h"
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/colour_spaces.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <zlib.h>

namespace Tiffilt::detail {

struct TRowDecoder::TZState
{
    z_stream Stream{};
    bool Ended = false;
    ~TZState() { inflateEnd(&Stream); }
};

TRowDecoder::TRowDecoder(const TTIFFPage& page, const uint8_t* data, int64_t size, int32_t width,
                         int64_t rowBytes)
    : FPage(page), FData(data), FSize(size), FWidth(width), FRowBytes(rowBytes)
{
    switch (page.Compression) {
    case tcAdobeDeflate:
    case tcDeflate:
        FZ = std::make_unique<TZState>();
        FZ->Stream.next_in = const_cast<Bytef*>(data);
        FZ->Stream.avail_in = static_cast<uInt>(std::min<int64_t>(size, UINT32_MAX));
        FZ->Ended = inflateInit(&FZ->Stream) != Z_OK;
        break;
    case tcCCITT1D:
    case tcGroup3:
    case tcGroup4: {
        using namespace Tifccitt::detail;
        const TFaxCoding coding = page.Compression == tcCCITT1D ? fcModifiedHuffman
                                  : page.Compression == tcGroup4 || (page.T4Options & 1) != 0
                                      ? fcTwoDimensional
                                      : fcOneDimensional;
        FFax = std::make_unique<TFaxStrip>(data, size, page.FillOrder == 2 ? 2 : 1, width, coding);
        break;
    }
    case tcLZW:
        // The LZW of old writers packs its codes least significant bit first, so that its opening
        // Clear code reads 0x00 0x01: taken for today's codes it decodes to garbage.
        FOldStyleLZW = size >= 2 && data[0] == 0 && (data[1] & 1) != 0;
        break;
    default:
        break;
    }
}

TRowDecoder::~TRowDecoder()
{
    if (FLZWState != 0 && FPage.LZWDecompress != nullptr) {
        FPage.LZWDecompress(nullptr, 0, 0, FLZWState);
    }
}

TRowStatus TRowDecoder::Filled(std::vector<uint8_t>& row, int64_t bytes) const
{
    std::fill(row.begin() + std::ptrdiff_t(std::min<int64_t>(bytes, int64_t(row.size()))), row.end(),
              uint8_t(0));
    return bytes == FRowBytes ? rsWhole : bytes > 0 ? rsCut : rsNone;
}

// Rows grow with what is decoded into them, by doubling up to the row's length: the row a header
// declares is not made before data fills it.
uint8_t* TRowDecoder::GrowTo(std::vector<uint8_t>& row, int64_t bytes) const
{
    if (int64_t(row.size()) < bytes) {
        constexpr int64_t SmallestRow = 4096;
        row.resize(size_t(std::min(FRowBytes, std::max({bytes, 2 * int64_t(row.size()), SmallestRow}))));
    }
    return row.data();
}

TRowStatus TRowDecoder::Next(std::vector<uint8_t>& row)
{
    switch (FPage.Compression) {
    case tcNone: {
        const int64_t take = std::clamp<int64_t>(FSize - FPosition, 0, FRowBytes);
        if (take > 0) {
            std::memcpy(GrowTo(row, take), FData + FPosition, size_t(take));
        }
        FPosition += take;
        return Filled(row, take);
    }
    case tcPackBits:
        return NextPackBits(row);
    case tcLZW: {
        if (FRowBytes > INT32_MAX || FOldStyleLZW) {
            return rsCorrupt;
        }
        // The decoder fails a row that its codes end before, as it does corrupt codes.
        const uint8_t* decoded = FPage.LZWDecompress(FData, FSize, int32_t(FRowBytes), FLZWState);
        if (decoded == nullptr) {
            return rsCorrupt;
        }
        std::memcpy(GrowTo(row, FRowBytes), decoded, size_t(FRowBytes));
        return rsWhole;
    }
    case tcAdobeDeflate:
    case tcDeflate:
        return NextDeflate(row);
    case tcCCITT1D:
    case tcGroup3:
    case tcGroup4:
        // Every fax row takes at least one bit: a row that starts at the end of the data has none.
        if (FPosition >= FSize * 8) {
            return rsNone;
        }
        // A fax row may take a single bit, whatever its width: it is made whole at once.
        return NextFax(GrowTo(row, FRowBytes)) ? rsWhole : rsCorrupt;
    default:
        return rsCorrupt;
    }
}

// PackBits packets may run across rows: what is left of one continues the next row.
TRowStatus TRowDecoder::NextPackBits(std::vector<uint8_t>& row)
{
    int64_t filled = 0;
    while (filled < FRowBytes) {
        if (FLiteralLeft > 0) {
            const int64_t take = std::min({int64_t(FLiteralLeft), FRowBytes - filled, FSize - FPosition});
            if (take <= 0) {
                break;
            }
            std::memcpy(GrowTo(row, filled + take) + filled, FData + FPosition, size_t(take));
            filled += take;
            FPosition += take;
            FLiteralLeft -= int32_t(take);
            continue;
        }
        if (FRepeatLeft > 0) {
            const int64_t take = std::min(int64_t(FRepeatLeft), FRowBytes - filled);
            std::memset(GrowTo(row, filled + take) + filled, FRepeatByte, size_t(take));
            filled += take;
            FRepeatLeft -= int32_t(take);
            continue;
        }
        if (FPosition >= FSize) {
            break;
        }
        const int8_t header = int8_t(FData[FPosition++]);
        if (header >= 0) {
            FLiteralLeft = header + 1;
        } else if (header != -128) {
            if (FPosition >= FSize) {
                break;
            }
            FRepeatByte = FData[FPosition++];
            FRepeatLeft = 1 - header;
        }
    }
    return Filled(row, filled);
}

// A stream that ends, or whose data ends, before the row is full leaves it cut.
TRowStatus TRowDecoder::NextDeflate(std::vector<uint8_t>& row)
{
    z_stream& z = FZ->Stream;
    int64_t filled = 0;
    while (!FZ->Ended && filled < FRowBytes) {
        uint8_t* out = GrowTo(row, filled + 1);
        z.next_out = out + filled;
        z.avail_out = static_cast<uInt>(std::min<int64_t>(int64_t(row.size()) - filled, UINT32_MAX));
        const int result = inflate(&z, Z_SYNC_FLUSH);
        filled = z.next_out - out;
        if (result == Z_STREAM_END || result == Z_BUF_ERROR) {
            FZ->Ended = true;
        } else if (result != Z_OK) {
            return rsCorrupt;
        }
    }
    return Filled(row, filled);
}

bool TRowDecoder::NextFax(uint8_t* row)
{
    // EOLs are found by their run of zeros, which covers the fill of aligned EOLs as well.
    Tifccitt::TFaxRowStatus status = Tifccitt::frOK;
    FPosition = FFax->NextRow(row, &status);
    return status == Tifccitt::frOK;
}

namespace {

// A word at a time: bilevel pages are rows of thousands of bytes.
void InvertBytes(uint8_t* target, const uint8_t* source, int32_t count)
{
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, source + i, 8);
        word = ~word;
        std::memcpy(target + i, &word, 8);
    }
    for (; i < count; ++i) {
        target[i] = uint8_t(~source[i]);
    }
}

// Colour divided by alpha on a scale of `full`, rounded; no colour where alpha is 0, and full
// where a colour passes its alpha.
uint32_t Unpremultiply(uint32_t colour, uint32_t alpha, uint32_t full)
{
    return alpha == 0 ? 0 : uint32_t(std::min<int64_t>(Round64(double(colour) * full / alpha), full));
}

} // namespace

TRowConverter::TRowConverter(const TTIFFPage& page, bool withAlpha)
    : FPage(page), FWithAlpha(withAlpha), FIntel(page.Intel), FSamples(page.SamplesPerPixel),
      FBits(page.BitsPerSample), FAssociated(HasAlpha(page) && page.ExtraSamples == 1 &&
                                             (page.Photometric == tpRGB || page.Photometric == tpBlackIsZero))
{
    // A bilevel row of fax data has 1 bits for white runs, which are 0 values in the file's terms.
    const bool fax =
        page.Compression == tcCCITT1D || page.Compression == tcGroup3 || page.Compression == tcGroup4;
    FInvertBits = fax ? page.Photometric == tpBlackIsZero : page.Photometric == tpWhiteIsZero;
    if (FAssociated && FBits == 8) {
        FStraight.resize(256 * 256);
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            for (uint32_t colour = 0; colour < 256; ++colour) {
                FStraight[alpha << 8 | colour] = uint8_t(Unpremultiply(colour, alpha, 255));
            }
        }
    }
}

uint8_t TRowConverter::Straight16(const uint8_t* colour, const uint8_t* alpha) const
{
    return uint8_t(Unpremultiply(Sample16(colour), Sample16(alpha), 65535) >> 8);
}

void TRowConverter::UndoPredictor(uint8_t* row, int32_t count, int32_t samples) const
{
    if (FPage.Predictor != 2) {
        return;
    }
    if (FBits == 8 && samples == 3) {
        for (int64_t i = 3; i < int64_t(count) * 3; i += 3) {
            row[i] = uint8_t(row[i] + row[i - 3]);
            row[i + 1] = uint8_t(row[i + 1] + row[i - 2]);
            row[i + 2] = uint8_t(row[i + 2] + row[i - 1]);
        }
    } else if (FBits == 8) {
        for (int64_t i = samples; i < int64_t(count) * samples; ++i) {
            row[i] = uint8_t(row[i] + row[i - samples]);
        }
    } else if (FBits == 16) {
        for (int64_t i = samples; i < int64_t(count) * samples; ++i) {
            const uint16_t value = uint16_t(Sample16(row + i * 2) + Sample16(row + (i - samples) * 2));
            row[i * 2 + (FIntel ? 0 : 1)] = uint8_t(value);
            row[i * 2 + (FIntel ? 1 : 0)] = uint8_t(value >> 8);
        }
    }
}

void TRowConverter::ConvertDifferenced(uint8_t* row, int32_t width, int32_t count, uint8_t* dst, int32_t x,
                                       uint8_t* maskRow)
{
    if (FPage.Predictor == 2 && FBits == 8 && FSamples >= 3 && FPage.Photometric == tpRGB && !FAssociated) {
        uint8_t* alpha = maskRow != nullptr && FWithAlpha && FSamples >= 4 ? maskRow + x : nullptr;
        ConvertDifferencedRgb8(row, count, dst + int64_t(x) * 3, alpha);
        return;
    }
    UndoPredictor(row, width, FSamples);
    Convert(row, count, dst, x, maskRow);
}

// Each sample is the sum of the differences up to it, kept per channel; the copy turns red,
// green, blue into the bitmap's blue, green, red.
void TRowConverter::ConvertDifferencedRgb8(const uint8_t* row, int32_t count, uint8_t* out,
                                           uint8_t* alpha) const
{
    const int32_t spp = FSamples;
    uint8_t r = 0, g = 0, b = 0;
    for (int32_t i = 0; i < count; ++i, row += spp, out += 3) {
        r = uint8_t(r + row[0]);
        g = uint8_t(g + row[1]);
        b = uint8_t(b + row[2]);
        out[0] = b;
        out[1] = g;
        out[2] = r;
    }
    if (alpha != nullptr) {
        row -= int64_t(count) * spp;
        uint8_t a = 0;
        for (int32_t i = 0; i < count; ++i) {
            a = uint8_t(a + row[int64_t(i) * spp + 3]);
            alpha[i] = a;
        }
    }
}

uint8_t TRowConverter::Grey(uint32_t value) const
{
    // White is zero: the sample is inverted before it is scaled, so that the page shows what the
    // black-is-zero page of the inverted samples shows, at every depth.
    const uint32_t maximum = FBits == 16 ? 65535 : (1u << FBits) - 1;
    const uint32_t level = FPage.Photometric == tpWhiteIsZero ? maximum - value : value;
    if (FBits < 8) {
        return uint8_t(level * 255 / maximum);
    }
    return uint8_t(FBits == 16 ? level >> 8 : level);
}

void TRowConverter::Convert(const uint8_t* row, int32_t count, uint8_t* dst, int32_t x, uint8_t* maskRow)
{
    const int32_t spp = FSamples;
    if (FBits == 1 && spp == 1 && FPage.Photometric != tpPalette) {
        const int32_t bytes = (count + 7) / 8;
        if ((x & 7) == 0) {
            // Whole bytes: what the last one holds past count is the padding of the row, or the
            // start of the next tile, which comes later.
            uint8_t* out = dst + x / 8;
            if (FInvertBits) {
                InvertBytes(out, row, bytes);
            } else {
                std::memcpy(out, row, size_t(bytes));
            }
            return;
        }
        FScratch.assign(row, row + bytes);
        if (FInvertBits) {
            InvertBytes(FScratch.data(), FScratch.data(), bytes);
        }
        Korvaneproc::_CopyBits(dst, FScratch.data(), x, 0, count, 0);
        return;
    }
    // Samples of fewer than 8 bits are unpacked to one byte each first.
    const uint8_t* samples = row;
    if (FBits < 8) {
        FScratch.resize(size_t(count) * spp);
        const uint32_t mask = (1u << FBits) - 1;
        for (int64_t i = 0; i < int64_t(count) * spp; ++i) {
            const int64_t bit = i * FBits;
            const uint32_t pair =
                uint32_t(row[bit >> 3]) << 8 | (((bit & 7) + FBits > 8) ? row[(bit >> 3) + 1] : 0);
            FScratch[size_t(i)] = uint8_t((pair >> (16 - (bit & 7) - FBits)) & mask);
        }
        samples = FScratch.data();
    }
    const int32_t step = FBits == 16 ? spp * 2 : spp;
    uint8_t* out = dst + int64_t(x) * 3;
    uint8_t* alpha = maskRow != nullptr && FWithAlpha ? maskRow + x : nullptr;
    // The common layout, 8-bit colour, in a loop of its own.
    if (FPage.Photometric == tpRGB && FBits == 8 && spp >= 3 && !FAssociated) {
        for (int32_t i = 0; i < count; ++i, samples += spp, out += 3) {
            out[0] = samples[2];
            out[1] = samples[1];
            out[2] = samples[0];
        }
        if (alpha != nullptr && spp >= 4) {
            for (int32_t i = 0; i < count; ++i) {
                alpha[i] = row[int64_t(i) * spp + 3];
            }
        }
        return;
    }
    for (int32_t i = 0; i < count; ++i, samples += step, out += 3) {
        uint8_t r = 0, g = 0, b = 0;
        switch (FPage.Photometric) {
        case tpWhiteIsZero:
        case tpBlackIsZero:
            if (FAssociated) {
                r = g = b =
                    FBits == 16 ? Straight16(samples, samples + 2) : Straight8(samples[0], samples[1]);
            } else {
                r = g = b = Grey(FBits == 16 ? Sample16(samples) : samples[0]);
            }
            if (alpha != nullptr && spp >= 2) {
                alpha[i] = FBits == 16 ? High(samples + 2) : samples[1];
            }
            break;
        case tpRGB:
            if (spp == 1) {
                const uint16_t v = Sample16(samples);
                r = uint8_t((v >> 10 & 31) << 3);
                g = uint8_t((v >> 5 & 31) << 3);
                b = uint8_t((v & 31) << 3);
            } else if (FAssociated && FBits == 16) {
                r = Straight16(samples, samples + 6);
                g = Straight16(samples + 2, samples + 6);
                b = Straight16(samples + 4, samples + 6);
                if (alpha != nullptr) {
                    alpha[i] = High(samples + 6);
                }
            } else if (FAssociated) {
                r = Straight8(samples[0], samples[3]);
                g = Straight8(samples[1], samples[3]);
                b = Straight8(samples[2], samples[3]);
                if (alpha != nullptr) {
                    alpha[i] = samples[3];
                }
            } else if (FBits == 16) {
                r = High(samples);
                g = High(samples + 2);
                b = High(samples + 4);
                if (alpha != nullptr && spp >= 4) {
                    alpha[i] = High(samples + 6);
                }
            } else {
                r = samples[0];
                g = samples[1];
                b = samples[2];
                if (alpha != nullptr && spp >= 4) {
                    alpha[i] = samples[3];
                }
            }
            break;
        case tpPalette: {
            const TRGB& colour = FPage.ColorMap[samples[0]];
            r = colour.r;
            g = colour.g;
            b = colour.b;
            if (alpha != nullptr && spp >= 2) {
                alpha[i] = samples[1];
            }
            break;
        }
        case tpSeparated:
            if (FBits == 16) {
                const uint32_t k = 65535 - Sample16(samples + 6);
                r = uint8_t((65535 - Sample16(samples)) * k / 65535 >> 8);
                g = uint8_t((65535 - Sample16(samples + 2)) * k / 65535 >> 8);
                b = uint8_t((65535 - Sample16(samples + 4)) * k / 65535 >> 8);
            } else {
                const int32_t k = 255 - samples[3];
                r = uint8_t((255 - samples[0]) * k / 255);
                g = uint8_t((255 - samples[1]) * k / 255);
                b = uint8_t((255 - samples[2]) * k / 255);
            }
            break;
        case tpCIELab: {
            const TRGB colour =
                Daduvudez::KVCIELAB2RGB(TKVLAB{samples[0], int8_t(samples[1]), int8_t(samples[2])});
            r = colour.r;
            g = colour.g;
            b = colour.b;
            break;
        }
        default:
            break;
        }
        out[0] = b;
        out[1] = g;
        out[2] = r;
    }
}

} // namespace Tiffilt::detail
