// Reads Windows and OS/2 BMP files and packed DIBs into kv1g or kv24RGB bitmaps.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/bmp/detail/rle_decode.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/resolution.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

namespace Bmpfilt {

namespace {

uint16_t Get16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

// How one channel sits in a bit-field pixel: its lowest bit and the width of the run of set
// bits from there. A mask that is empty or not contiguous still gives shifts inside 0..31.
struct Channel
{
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    explicit Channel(uint32_t mask = 0) : Mask(mask)
    {
        if (mask == 0)
            return;
        while (!((mask >> Shift) & 1))
            Shift++;
        while (Shift + Bits < 32 && ((mask >> (Shift + Bits)) & 1))
            Bits++;
    }

    uint32_t Value(uint32_t pixel) const
    {
        return (pixel >> Shift) & (Bits >= 32 ? 0xFFFFFFFFu : (1u << Bits) - 1);
    }

    // Left-aligned in a byte, as the format's own readers scale 5 and 6-bit channels.
    uint8_t Extract(uint32_t pixel) const
    {
        if (Bits == 0)
            return 0;
        const uint32_t value = Value(pixel);
        return uint8_t(Bits >= 8 ? value >> (Bits - 8) : value << (8 - Bits));
    }

    // Over the whole byte: the largest value of a channel of any width is wholly opaque.
    uint8_t Scaled(uint32_t pixel) const
    {
        if (Bits >= 8)
            return uint8_t(Value(pixel) >> (Bits - 8));
        const uint32_t largest = (1u << Bits) - 1;
        return uint8_t((Value(pixel) * 255 + largest / 2) / largest);
    }
};

// The channels of a 16- or 32-bit pixel.
struct TBitFields
{
    Channel Red, Green, Blue, Alpha;

    void Unpack(uint32_t pixel, TRGB& colour, uint8_t* alpha, int32_t x) const
    {
        colour = TRGB{Blue.Extract(pixel), Green.Extract(pixel), Red.Extract(pixel)};
        if (alpha != nullptr)
            alpha[x] = Alpha.Scaled(pixel);
    }
};

struct Header
{
    uint32_t Size = 0;
    int64_t Width = 0;
    int64_t Height = 0;
    bool TopDown = false;
    uint16_t BitCount = 0;
    uint32_t Compression = BI_RGB;
    int32_t XPelsPerMeter = 0, YPelsPerMeter = 0;
    uint32_t ColorsUsed = 0;
    uint32_t Masks[3] = {0, 0, 0};
    uint32_t AlphaMask = 0; // in headers of 56 bytes and more
    bool MasksInHeader = false;
};

class BmpReader
{
public:
    BmpReader(TStream& stream, TKVBitmap& bitmap, int64_t dataLength, TIOParamsVals& params,
              TProgressRec& progress, bool paramsOnly, bool headerless, bool& aborting)
        : FStream(stream), FBitmap(bitmap), FDataLength(dataLength), FParams(params), FProgress(progress),
          FParamsOnly(paramsOnly), FHeaderless(headerless), FAborting(aborting)
    {
        FPalette.fill(TRGB{});
    }

    void Run()
    {
        if (!ReadFileHeader() || !ReadInfoHeader() || !ReadPalette())
            return;
        FParams.BMP_Compression =
            FHeader.Compression == BI_RLE8 || FHeader.Compression == BI_RLE4 ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
        LocatePixelData();
        SetSampleFormat();
        if (FHeader.Width == 0 || FHeader.Height == 0 || FParamsOnly)
            return;
        // A layout we cannot decode (JPEG or PNG inside, a bit count or compression the format
        // does not define) fails instead of giving a black picture.
        if (!Decodable() || FHeader.Width * FHeader.Height > KVCodecMaxPixels) {
            FAborting = true;
            return;
        }
        // Memory follows the data: without a whole first row (or a first run-length code that
        // fits the picture) there is no picture, and the bitmap stays as it was.
        FStep = 100.0 / double(FHeader.Height);
        FProgress.PerRow = FStep;
        if (FHeader.Compression == BI_RLE8 || FHeader.Compression == BI_RLE4) {
            DecodeRle(FHeader.Compression == BI_RLE4);
            return;
        }
        if (StoredRows() < 1) {
            FAborting = true;
            return;
        }
        AllocateBitmap();
        DecodeRows();
    }

private:
    bool ReadFileHeader()
    {
        FStart = FStream.Position();
        if (FHeaderless)
            return true;
        // The file size field is left unread: writers get it wrong (see LocatePixelData).
        uint8_t raw[14];
        if (FStream.Read(raw, 14) != 14 || raw[0] != 'B' || raw[1] != 'M') {
            FAborting = true;
            return false;
        }
        FBitsOffset = Get32(raw + 10);
        return true;
    }

    bool ReadInfoHeader()
    {
        uint8_t sizeBytes[4];
        if (FStream.Read(sizeBytes, 4) != 4) {
            FAborting = true;
            return false;
        }
        FStream.Seek(-4, soCurrent);
        FHeader.Size = Get32(sizeBytes);
        if (FHeader.Size < 12 || int64_t(FHeader.Size) > FStream.Size() - FStream.Position()) {
            FAborting = true;
            return false;
        }
        FParams.FreeColorMap();
        if (FHeader.Size == 12)
            return ReadCoreHeader();

        uint8_t raw[64] = {};
        FStream.Read(raw, std::min<uint32_t>(64, FHeader.Size));
        if (FHeader.Size > 64)
            FStream.Seek(FHeader.Size - 64, soCurrent);
        FParams.BMP_Version = FHeader.Size == 64 ? ioBMP_BMOS2V2 : FHeader.Size == 40 ? ioBMP_BM3 : ioBMP_BM;
        FHeader.Width = int32_t(Get32(raw + 4));
        int32_t height = int32_t(Get32(raw + 8));
        if (FHeader.Width < 0 || height == INT32_MIN) {
            FAborting = true;
            return false;
        }
        FHeader.TopDown = height < 0;
        FHeader.Height = height < 0 ? -int64_t(height) : height;
        FHeader.BitCount = Get16(raw + 14);
        FHeader.Compression = Get32(raw + 16);
        FHeader.XPelsPerMeter = int32_t(Get32(raw + 24));
        FHeader.YPelsPerMeter = int32_t(Get32(raw + 28));
        FHeader.ColorsUsed = Get32(raw + 32);
        // Headers of 52 bytes and more (V3 and later) carry the bit-field masks themselves; the
        // 64-byte OS/2 header keeps other fields there.
        if (FHeader.Size >= 52 && FHeader.Size != 64) {
            for (int i = 0; i < 3; i++)
                FHeader.Masks[i] = Get32(raw + 40 + 4 * i);
            FHeader.MasksInHeader = true;
        }
        if (FHeader.Size >= 56 && FHeader.Size != 64)
            FHeader.AlphaMask = Get32(raw + 52);
        FParams.Width = int32_t(FHeader.Width);
        FParams.Height = int32_t(FHeader.Height);
        FParams.DpiX = Dpi(FHeader.XPelsPerMeter, Kvview::gSystemDPIX);
        FParams.DpiY = Dpi(FHeader.YPelsPerMeter, Kvview::gSystemDPIY);
        if (FHeader.ColorsUsed > 256)
            FHeader.ColorsUsed = 0;
        if (FHeader.ColorsUsed == 0 && FHeader.BitCount <= 8)
            FHeader.ColorsUsed = 1u << FHeader.BitCount;
        // A 40-byte header with bit fields is followed by the three masks, then the palette.
        if (FHeader.Compression == BI_BITFIELDS && !FHeader.MasksInHeader) {
            uint8_t masks[12] = {};
            FStream.Read(masks, 12);
            for (int i = 0; i < 3; i++)
                FHeader.Masks[i] = Get32(masks + 4 * i);
        }
        return true;
    }

    bool ReadCoreHeader()
    {
        uint8_t raw[12];
        FStream.Read(raw, 12);
        FParams.BMP_Version = ioBMP_BMOS2V1;
        FHeader.Width = Get16(raw + 4);
        FHeader.Height = Get16(raw + 6);
        FHeader.BitCount = Get16(raw + 10);
        FHeader.Compression = BI_RGB;
        FParams.Width = int32_t(FHeader.Width);
        FParams.Height = int32_t(FHeader.Height);
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        FCorePalette = true;
        FHeader.ColorsUsed = FHeader.BitCount <= 8 ? 1u << FHeader.BitCount : 0;
        return true;
    }

    static int32_t Dpi(int32_t pelsPerMeter, int32_t systemDpi)
    {
        const int32_t dpi = DotsPerInch(pelsPerMeter, TResolutionUnit::Metre);
        return dpi > 0 ? dpi : systemDpi;
    }

    bool ReadPalette()
    {
        const uint32_t count = FHeader.ColorsUsed;
        if (count == 0)
            return true;
        const int entrySize = FCorePalette ? 3 : 4;
        std::vector<uint8_t> raw(size_t(count) * size_t(entrySize), 0);
        FStream.Read(raw.data(), int64_t(raw.size()));
        FParams.AllocColorMap(int32_t(count));
        for (uint32_t i = 0; i < count; i++) {
            const uint8_t* p = raw.data() + size_t(i) * size_t(entrySize);
            TRGB colour{p[0], p[1], p[2]};
            FParams.ColorMap[i] = colour;
            if (i < FPalette.size())
                FPalette[i] = colour;
        }
        return true;
    }

    // The caller's length bounds the pixel data; without one it runs to the end of the stream,
    // whatever the header's file and image sizes say.
    void LocatePixelData()
    {
        if (FBitsOffset != 0)
            FStream.SetPosition(FStart + FBitsOffset);
        const int64_t position = FStream.Position();
        const int64_t left = std::max<int64_t>(FStream.Size() - position, 0);
        FPixelDataLength = FDataLength > 0 ? FDataLength - (position - FStart) : left;
        if (FPixelDataLength <= 0 || FPixelDataLength > left)
            FPixelDataLength = left;
    }

    void SetSampleFormat()
    {
        switch (FHeader.BitCount) {
        case 1:
        case 4:
        case 8:
            FParams.BitsPerSample = FHeader.BitCount;
            FParams.SamplesPerPixel = 1;
            break;
        case 16:
            FParams.BitsPerSample = 5;
            FParams.SamplesPerPixel = 3;
            break;
        case 24:
        case 32:
            FParams.BitsPerSample = 8;
            FParams.SamplesPerPixel = 3;
            break;
        default:
            break;
        }
    }

    // Bilevel images are kv1g only when their two colours are black and white; other pairs keep
    // their colours in kv24RGB. A palette of one entry pairs it with black, as for every index
    // past a short palette.
    TKVPixelFormat OutputFormat()
    {
        if (FHeader.BitCount != 1)
            return kv24RGB;
        const TRGB black{0, 0, 0}, white{255, 255, 255};
        if (FPalette[0] == black && FPalette[1] == white)
            return kv1g;
        if (FPalette[0] == white && FPalette[1] == black) {
            FInvertBits = true;
            return kv1g;
        }
        return kv24RGB;
    }

    // A new alpha channel is made opaque at its full size at once, which a header's height could
    // make cost far more than the file holds. So it is made while the picture is one row high and
    // grows with it, unfilled: each row decoded sets its own alpha, and the rows the data never
    // reaches stay transparent black.
    void AllocateBitmap()
    {
        const int32_t width = int32_t(FHeader.Width), height = int32_t(FHeader.Height);
        if (!HasAlpha()) {
            FBitmap.Allocate(width, height, OutputFormat());
            return;
        }
        FBitmap.Allocate(width, 1, OutputFormat());
        TKVBitmap* alpha = FBitmap.GetAlphaChannel();
        std::memset(alpha->GetScanLine(0), 0, size_t(alpha->GetRowLen()));
        FBitmap.SetHeight(height);
    }

    int64_t Stride() const { return ((FHeader.Width * FHeader.BitCount + 31) / 32) * 4; }

    // The bitmap row that the k-th stored row goes to.
    int32_t TargetRow(int64_t k) const { return int32_t(FHeader.TopDown ? k : FHeader.Height - 1 - k); }

    bool NextRow(int64_t k)
    {
        if (FProgress.OnProgress)
            FProgress.OnProgress(FProgress.Sender, int32_t(double(k) * FStep));
        return !FAborting;
    }

    bool Decodable() const
    {
        switch (FHeader.BitCount) {
        case 1:
        case 24:
            return FHeader.Compression == BI_RGB;
        case 4:
            return FHeader.Compression == BI_RGB || FHeader.Compression == BI_RLE4;
        case 8:
            return FHeader.Compression == BI_RGB || FHeader.Compression == BI_RLE8;
        case 16:
        case 32:
            return FHeader.Compression == BI_RGB || FHeader.Compression == BI_BITFIELDS;
        default:
            return false;
        }
    }

    // Delta escapes and an early end of the picture skip pixels: they keep the new bitmap's black.
    // The bitmap is made at the first code that fits the picture.
    void DecodeRle(bool nibbles)
    {
        // Every code but the escapes gives a pixel or more, and a delta of four bytes moves one or
        // more: data past four bytes a pixel and an escape a row is never read into memory,
        // however long the file is.
        const int64_t needed = 4 * FHeader.Width * FHeader.Height + 4 * FHeader.Height + 2;
        std::vector<uint8_t> data(static_cast<size_t>(std::min(FPixelDataLength, needed)));
        const int64_t got = std::max<int64_t>(FStream.Read(data.data(), int64_t(data.size())), 0);
        const int32_t width = int32_t(FHeader.Width), height = int32_t(FHeader.Height);
        const int32_t startRow = FHeader.TopDown ? height - 1 : 0;
        const std::function<void()> make = [&] { FBitmap.Allocate(width, height, kv24RGB); };
        detail::DecodeRLEMaking(FBitmap, width, height, make, nibbles, data.data(), got, startRow, FProgress,
                                FPalette.data());
    }

    // Whole stored rows the pixel data holds. Many writers leave out the padding of the last
    // row: its pixels are enough.
    int64_t StoredRows() const
    {
        const int64_t stride = Stride();
        const int64_t pixelBytes = PixelBytes();
        return std::min<int64_t>(FHeader.Height, (FPixelDataLength + stride - pixelBytes) / stride);
    }

    int64_t PixelBytes() const { return (FHeader.Width * FHeader.BitCount + 7) / 8; }

    // Only bit fields make an alpha mask count: the fourth byte of plain 32-bit pixels is
    // whatever the writer left there.
    bool HasAlpha() const
    {
        return FHeader.Compression == BI_BITFIELDS && FHeader.AlphaMask != 0 &&
               (FHeader.BitCount == 16 || FHeader.BitCount == 32);
    }

    // Blue, green, red and alpha each a whole byte, in that order: the common 32-bit layout.
    bool ByteMasks() const
    {
        const uint32_t* m = FHeader.Masks;
        return FHeader.Compression == BI_BITFIELDS && m[0] == 0x00FF0000 && m[1] == 0x0000FF00 &&
               m[2] == 0x000000FF && (FHeader.AlphaMask == 0 || FHeader.AlphaMask == 0xFF000000);
    }

    void DecodeRows()
    {
        const int64_t stride = Stride();
        const int64_t pixelBytes = PixelBytes();
        const int64_t storedRows = StoredRows();
        std::vector<uint8_t> raw(static_cast<size_t>(stride));
        TBitFields fields;
        if (FHeader.BitCount == 16 || FHeader.BitCount == 32)
            ChooseMasks(fields);
        // The alpha channel goes again when every pixel decoded is opaque: it would carry nothing.
        TKVBitmap* alpha = HasAlpha() ? FBitmap.GetAlphaChannel() : nullptr;
        uint8_t opaque = 255;
        for (int64_t k = 0; k < FHeader.Height; k++) {
            if (!NextRow(k))
                break;
            if (k >= storedRows || FStream.Read(raw.data(), stride) < pixelBytes) {
                // Data that ends early fails; the rows it does not reach stay black as allocated,
                // with no work for each of them.
                FAborting = true;
                break;
            }
            const int32_t y = TargetRow(k);
            uint8_t* alphaRow = alpha != nullptr ? alpha->GetScanLine(y) : nullptr;
            DecodeRow(raw.data(), FBitmap.GetScanLine(y), alphaRow, fields);
            if (alphaRow != nullptr)
                for (int32_t x = 0; x < int32_t(FHeader.Width); x++)
                    opaque &= alphaRow[x];
        }
        if (alpha != nullptr && opaque == 255)
            FBitmap.RemoveAlphaChannel();
    }

    void DecodeRow(const uint8_t* raw, uint8_t* row, uint8_t* alpha, const TBitFields& fields)
    {
        const int32_t width = int32_t(FHeader.Width);
        auto* rgb = reinterpret_cast<TRGB*>(row);
        switch (FHeader.BitCount) {
        case 1:
            if (FBitmap.GetPixelFormat() == kv24RGB) {
                for (int32_t x = 0; x < width; x++)
                    rgb[x] = FPalette[(raw[size_t(x >> 3)] >> (7 - (x & 7))) & 1];
                break;
            }
            std::memcpy(row, raw, size_t(std::min<int64_t>(Stride(), FBitmap.GetRowLen())));
            if (FInvertBits)
                for (int32_t i = 0; i < FBitmap.GetRowLen(); i++)
                    row[i] = uint8_t(~row[i]);
            break;
        case 4:
            for (int32_t x = 0; x < width; x++) {
                uint8_t byte = raw[size_t(x >> 1)];
                rgb[x] = FPalette[x & 1 ? byte & 15 : byte >> 4];
            }
            break;
        case 8:
            for (int32_t x = 0; x < width; x++)
                rgb[x] = FPalette[raw[size_t(x)]];
            break;
        case 16:
            for (int32_t x = 0; x < width; x++)
                fields.Unpack(Get16(raw + 2 * x), rgb[x], alpha, x);
            break;
        case 24:
            std::memcpy(row, raw, size_t(width) * 3);
            break;
        case 32:
            if (FHeader.Compression != BI_BITFIELDS || ByteMasks()) {
                for (int32_t x = 0; x < width; x++) {
                    const uint8_t* p = raw + 4 * x;
                    rgb[x] = TRGB{p[0], p[1], p[2]};
                    if (alpha != nullptr)
                        alpha[x] = p[3];
                }
            } else {
                for (int32_t x = 0; x < width; x++)
                    fields.Unpack(Get32(raw + 4 * x), rgb[x], alpha, x);
            }
            break;
        }
    }

    // Bit fields from the file, or 5-5-5 for plain 16-bit data and for masks that give nothing.
    void ChooseMasks(TBitFields& fields) const
    {
        const uint32_t* m = FHeader.Masks;
        if (FHeader.Compression == BI_BITFIELDS && (m[0] | m[1] | m[2]) != 0) {
            fields.Red = Channel(m[0]);
            fields.Green = Channel(m[1]);
            fields.Blue = Channel(m[2]);
        } else {
            fields.Red = Channel(0x7C00);
            fields.Green = Channel(0x03E0);
            fields.Blue = Channel(0x001F);
        }
        if (HasAlpha())
            fields.Alpha = Channel(FHeader.AlphaMask);
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    int64_t FDataLength;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    bool FHeaderless;
    bool& FAborting;
    int64_t FStart = 0;
    uint32_t FBitsOffset = 0;
    Header FHeader;
    bool FCorePalette = false;
    bool FInvertBits = false;
    // Indexes are bytes: 256 entries, black past the file's palette.
    std::array<TRGB, 256> FPalette;
    int64_t FPixelDataLength = 0;
    double FStep = 0;
};

} // namespace

void BMPReadStream(TStream& Stream, TKVBitmap& Bitmap, int64_t DataLength, TIOParamsVals& Params,
                   TProgressRec& Progress, bool ParamsOnly, bool Headerless)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    BmpReader reader(Stream, Bitmap, DataLength, Params, Progress, ParamsOnly, Headerless, aborting);
    reader.Run();
}

} // namespace Bmpfilt
