// Writes a bitmap as a BMP file in the header version, bit count and compression the parameters ask for.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/quantizer.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

namespace Bmpfilt {

namespace {

void Set16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Set32(uint8_t* p, uint32_t v)
{
    Set16(p, v);
    Set16(p + 2, v >> 16);
}

constexpr int32_t V5HeaderSize = 124;
constexpr uint32_t BitFields = 3;
constexpr uint32_t ColourSpaceSRGB = 0x73524742; // "sRGB"
constexpr uint32_t RenderForImages = 4;

class BmpWriter
{
public:
    BmpWriter(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool& aborting)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FAborting(aborting)
    {
    }

    void Run()
    {
        const int32_t width = FBitmap.GetWidth(), height = FBitmap.GetHeight();
        FCore = FParams.BMP_Version == ioBMP_BMOS2V1;
        if (width <= 0 || height <= 0 || (FCore && (width > 0xFFFF || height > 0xFFFF))) {
            FAborting = true;
            return;
        }
        FBits = FParams.BitsPerSample == 1 || FParams.BitsPerSample == 4 ? FParams.BitsPerSample
                : FParams.SamplesPerPixel == 1                           ? 8
                                                                         : 24;
        FRle = !FCore && FParams.BMP_Compression == ioBMP_RLE && (FBits == 4 || FBits == 8);
        // Transparency needs 32-bit pixels with an alpha mask, which only the later Windows
        // headers hold; the OS/2 forms keep the colours alone.
        if (FBits == 24 && !FCore && FParams.BMP_Version != ioBMP_BMOS2V2 && HasTransparency(FBitmap))
            FBits = 32;
        FStart = FStream.Position();
        uint8_t fileHeader[14] = {};
        Put(fileHeader, 14);
        BuildInfoHeader(width, height);
        Put(FInfo, FInfoSize);
        FStep = 100.0 / height;
        FProgress.PerRow = FStep;
        if (FBits == 1)
            WriteOneBit();
        else if (FBits >= 24)
            WriteTrueColour();
        else
            WritePalette();
        if (FAborting)
            return;
        Finish(fileHeader);
    }

private:
    void Put(const void* buffer, int64_t count)
    {
        Daduvudez::SafeStreamWrite(&FStream, FAborting, buffer, count);
    }

    void BuildInfoHeader(int32_t width, int32_t height)
    {
        std::memset(FInfo, 0, sizeof FInfo);
        if (FCore) {
            FInfoSize = 12;
            Set32(FInfo, 12);
            Set16(FInfo + 4, uint32_t(width));
            Set16(FInfo + 6, uint32_t(height));
            Set16(FInfo + 8, 1);
            Set16(FInfo + 10, uint32_t(FBits));
            return;
        }
        FInfoSize = FBits == 32 ? V5HeaderSize : FParams.BMP_Version == ioBMP_BMOS2V2 ? 64 : 40;
        Set32(FInfo, uint32_t(FInfoSize));
        Set32(FInfo + 4, uint32_t(width));
        Set32(FInfo + 8, uint32_t(height));
        Set16(FInfo + 12, 1);
        Set16(FInfo + 14, uint32_t(FBits));
        Set32(FInfo + 16, FRle ? (FBits == 4 ? 2 : 1) : FBits == 32 ? BitFields : 0);
        Set32(FInfo + 24, uint32_t(Round(FParams.DpiX / 2.54 * 100)));
        Set32(FInfo + 28, uint32_t(Round(FParams.DpiY / 2.54 * 100)));
        if (FBits <= 8)
            Set32(FInfo + 32, 1u << FBits);
        Set32(FInfo + 36, FBits < 32 ? 1u << FBits : 0);
        if (FBits == 32) {
            // Blue, green, red and alpha bytes in that order, in the standard colour space.
            Set32(FInfo + 40, 0x00FF0000);
            Set32(FInfo + 44, 0x0000FF00);
            Set32(FInfo + 48, 0x000000FF);
            Set32(FInfo + 52, 0xFF000000);
            Set32(FInfo + 56, ColourSpaceSRGB);
            Set32(FInfo + 108, RenderForImages);
        }
    }

    // An alpha channel with a pixel that is not wholly opaque.
    static bool HasTransparency(TKVBitmap& bitmap)
    {
        if (!bitmap.GetHasAlphaChannel())
            return false;
        TKVBitmap* alpha = bitmap.GetAlphaChannel();
        for (int32_t y = 0; y < alpha->GetHeight(); y++) {
            const uint8_t* row = alpha->GetScanLine(y);
            if (!std::all_of(row, row + alpha->GetWidth(), [](uint8_t a) { return a == 255; }))
                return true;
        }
        return false;
    }

    void WritePaletteEntries()
    {
        for (int32_t i = 0; i < FParams.ColorMapCount; i++) {
            const TRGB& c = FParams.ColorMap[i];
            const uint8_t entry[4] = {c.b, c.g, c.r, 0};
            Put(entry, FCore ? 3 : 4);
        }
        FPixelData = FStream.Position();
    }

    // Polls the abort flag and reports progress before the row; false stops the row loop.
    bool BeforeRow(int32_t done)
    {
        if (FProgress.OnProgress)
            FProgress.OnProgress(FProgress.Sender, int32_t(done * FStep));
        return !FAborting;
    }

    int32_t Stride() const { return int32_t(((int64_t(FBitmap.GetWidth()) * FBits + 31) / 32) * 4); }

    void WriteOneBit()
    {
        const TOneBitSource source = MakeOneBitSource(FBitmap);
        TKVBitmap* image = source.Bitmap;
        FParams.AllocColorMap(2);
        FParams.ColorMap[0] = source.Dark;
        FParams.ColorMap[1] = source.Light;
        WritePaletteEntries();
        const int32_t height = image->GetHeight();
        std::vector<uint8_t> row(size_t(Stride()), 0);
        for (int32_t y = height - 1; y >= 0; y--) {
            if (!BeforeRow(height - 1 - y))
                return;
            std::memcpy(row.data(), image->GetScanLine(y), std::min(row.size(), size_t(image->GetRowLen())));
            Put(row.data(), int64_t(row.size()));
        }
    }

    static TKVBitmap* AsTrueColour(TKVBitmap& bitmap, std::unique_ptr<TKVBitmap>& owned)
    {
        if (bitmap.GetPixelFormat() == kv24RGB)
            return &bitmap;
        owned = std::make_unique<TKVBitmap>();
        owned->Assign(&bitmap);
        owned->ConvertToPixelFormat(kv24RGB);
        return owned.get();
    }

    void WriteTrueColour()
    {
        FPixelData = FStream.Position();
        std::unique_ptr<TKVBitmap> owned;
        TKVBitmap* image = AsTrueColour(FBitmap, owned);
        const int32_t width = image->GetWidth(), height = image->GetHeight();
        TKVBitmap* alpha = FBits == 32 ? FBitmap.GetAlphaChannel() : nullptr;
        std::vector<uint8_t> row(size_t(Stride()), 0);
        for (int32_t y = height - 1; y >= 0; y--) {
            if (!BeforeRow(height - 1 - y))
                return;
            const uint8_t* pixels = image->GetScanLine(y);
            if (alpha == nullptr) {
                std::memcpy(row.data(), pixels, size_t(width) * 3);
            } else {
                const uint8_t* alphaRow = alpha->GetScanLine(y);
                for (int32_t x = 0; x < width; x++) {
                    std::memcpy(row.data() + 4 * size_t(x), pixels + 3 * size_t(x), 3);
                    row[4 * size_t(x) + 3] = alphaRow[x];
                }
            }
            Put(row.data(), int64_t(row.size()));
        }
    }

    void WritePalette()
    {
        std::unique_ptr<TKVBitmap> owned;
        TKVBitmap* image = AsTrueColour(FBitmap, owned);
        const int32_t colours = 1 << FBits;
        FParams.AllocColorMap(colours);
        TKVQuantizer quantizer(image, std::span<TRGB>(FParams.ColorMap.get(), size_t(colours)), colours, -1,
                               0);
        WritePaletteEntries();
        const int32_t width = image->GetWidth(), height = image->GetHeight();
        std::vector<uint8_t> indexes(static_cast<size_t>(width));
        std::vector<uint8_t> out(FRle ? size_t(width) * 10 + 2 : size_t(Stride()), 0);
        for (int32_t y = height - 1; y >= 0; y--) {
            if (!BeforeRow(height - 1 - y))
                return;
            const auto* pixels = reinterpret_cast<const TRGB*>(image->GetScanLine(y));
            for (int32_t x = 0; x < width; x++)
                indexes[size_t(x)] = uint8_t(quantizer.GetRGBIndex(pixels[x]));
            if (FRle) {
                int32_t n = FBits == 4 ? EncodeRLE4(indexes.data(), width, out.data())
                                       : EncodeRLE8(indexes.data(), width, out.data());
                Put(out.data(), n);
                continue;
            }
            std::fill(out.begin(), out.end(), 0);
            if (FBits == 8) {
                std::memcpy(out.data(), indexes.data(), size_t(width));
            } else {
                for (int32_t x = 0; x < width; x++)
                    out[size_t(x >> 1)] |= uint8_t(x & 1 ? indexes[size_t(x)] & 15 : indexes[size_t(x)] << 4);
            }
            Put(out.data(), int64_t(out.size()));
        }
        if (FRle && !FAborting) {
            const uint8_t endOfBitmap[2] = {0, 1};
            Put(endOfBitmap, 2);
        }
    }

    void Finish(uint8_t* fileHeader)
    {
        const int64_t end = FStream.Position();
        fileHeader[0] = 'B';
        fileHeader[1] = 'M';
        Set32(fileHeader + 2, uint32_t(end - FStart));
        Set32(fileHeader + 10, uint32_t(FPixelData - FStart));
        if (!FCore)
            Set32(FInfo + 20, uint32_t(end - FPixelData));
        FStream.SetPosition(FStart);
        Put(fileHeader, 14);
        Put(FInfo, FInfoSize);
        FStream.SetPosition(end);
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool& FAborting;
    bool FCore = false;
    bool FRle = false;
    int32_t FBits = 24;
    int64_t FStart = 0;
    int64_t FPixelData = 0;
    uint8_t FInfo[V5HeaderSize];
    int32_t FInfoSize = 40;
    double FStep = 0;
};

} // namespace

void BMPWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    BmpWriter writer(Stream, Bitmap, Params, Progress, aborting);
    writer.Run();
}

} // namespace Bmpfilt
