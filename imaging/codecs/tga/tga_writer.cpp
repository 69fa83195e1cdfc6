// Writes TGA images at 1, 8 (colour-mapped or grey), 24 or 32 bits, rows top first, with an
// extension area and a version 2 footer.
#include "imaging/codecs/tga/kvtgafil.h"

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tga/tga_format.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace Kvtgafil {

namespace {

using namespace detail;

// The ID length is one byte, and the text keeps its terminating 0.
constexpr size_t MaxDescriptorLength = 254;

enum class TForm
{
    Bilevel, // 1 bit, type 3
    Mapped,  // 8-bit indexes into a colour map of 16 or 256 entries, type 1 or 9
    Grey,    // 8-bit grey levels, type 3 or 11
    TrueColour,
    WithAlpha // 32 bits, never compressed
};

class TgaWriter
{
public:
    TgaWriter(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              const TKVMask* alphaMask, bool& aborting)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FAlphaMask(alphaMask),
          FAborting(aborting)
    {
    }

    void Run()
    {
        const TKVPixelFormat format = FBitmap.GetPixelFormat();
        const int32_t width = FBitmap.GetWidth(), height = FBitmap.GetHeight();
        if ((format != kv24RGB && format != kv1g) || width <= 0 || height <= 0 || width > 0xFFFF ||
            height > 0xFFFF) {
            FAborting = true;
            return;
        }
        FStart = FStream.Position();
        ChooseForm();
        PrepareImage();
        WriteHeader();
        WriteRows();
        if (!FAborting) {
            WriteExtensionAndFooter();
        }
    }

private:
    void Put(const void* buffer, int64_t count)
    {
        Daduvudez::SafeStreamWrite(&FStream, FAborting, buffer, count);
    }

    // A picture with transparency is written at 32 bits whatever the samples say: the 16-bit grey
    // with alpha that the reader takes is read by few others, and palettes keep no alpha here.
    void ChooseForm()
    {
        const bool opaque = FAlphaMask == nullptr || FAlphaMask->Full || FAlphaMask->BitsPerPixel != 8;
        if (!opaque) {
            FForm = TForm::WithAlpha;
            FParams.TGA_Compressed = false;
            return;
        }
        if (FParams.SamplesPerPixel == 1) {
            if (FParams.BitsPerSample == 1) {
                FForm = TForm::Bilevel;
                FParams.TGA_Compressed = false;
            } else if (FParams.BitsPerSample == 4) {
                // 16 colours go into an 8-bit colour-mapped image: 4-bit TGA pixels have no reader.
                FForm = TForm::Mapped;
                FColours = 16;
                FParams.TGA_Compressed = false;
            } else {
                FForm = FParams.TGA_GrayLevel ? TForm::Grey : TForm::Mapped;
            }
            return;
        }
        FForm = TForm::TrueColour;
    }

    void PrepareImage()
    {
        FImage = &FBitmap;
        const TKVPixelFormat wanted = FForm == TForm::Bilevel ? kv1g : kv24RGB;
        if (FBitmap.GetPixelFormat() != wanted) {
            if (wanted == kv1g) {
                TRGB dark, light;
                FOwned = Korvaneproc::_ConvertTo1bitEx(&FBitmap, dark, light);
            }
            if (!FOwned) {
                FOwned = std::make_unique<TKVBitmap>();
                FOwned->Assign(&FBitmap);
                FOwned->ConvertToPixelFormat(wanted);
            }
            FImage = FOwned.get();
        }
        if (FForm == TForm::Mapped) {
            FParams.AllocColorMap(FColours);
            FQuantizer = std::make_unique<TKVQuantizer>(
                FImage, std::span<TRGB>(FParams.ColorMap.get(), size_t(FColours)), FColours, -1, 0);
        }
    }

    void WriteHeader()
    {
        std::string id = FParams.TGA_Descriptor.substr(0, MaxDescriptorLength);
        uint8_t header[HeaderSize] = {};
        header[0] = uint8_t(id.size() + 1);
        const bool rle = FParams.TGA_Compressed;
        switch (FForm) {
        case TForm::Bilevel:
            header[2] = 3;
            header[16] = 1;
            break;
        case TForm::Mapped:
            header[1] = 1;
            header[2] = rle ? 9 : 1;
            Set16(header + 5, uint32_t(FColours));
            header[7] = 24;
            header[16] = 8;
            break;
        case TForm::Grey:
            header[2] = rle ? 11 : 3;
            header[16] = 8;
            break;
        case TForm::TrueColour:
            header[2] = rle ? 10 : 2;
            header[16] = 24;
            break;
        case TForm::WithAlpha:
            header[2] = 2;
            header[16] = 32;
            break;
        }
        Set16(header + 8, uint32_t(FParams.TGA_XPos));
        Set16(header + 10, uint32_t(FParams.TGA_YPos));
        Set16(header + 12, uint32_t(FImage->GetWidth()));
        Set16(header + 14, uint32_t(FImage->GetHeight()));
        header[17] = FForm == TForm::WithAlpha ? 0x28 : 0x20;
        Put(header, HeaderSize);
        id.push_back('\0');
        Put(id.data(), int64_t(id.size()));
        if (FForm == TForm::Mapped) {
            std::vector<uint8_t> map;
            for (int32_t i = 0; i < FColours; ++i) {
                const TRGB& c = FParams.ColorMap[i];
                map.insert(map.end(), {c.b, c.g, c.r});
            }
            Put(map.data(), int64_t(map.size()));
        }
    }

    void WriteRows()
    {
        const int32_t width = FImage->GetWidth(), height = FImage->GetHeight();
        const bool rle = FParams.TGA_Compressed &&
                         (FForm == TForm::Mapped || FForm == TForm::Grey || FForm == TForm::TrueColour);
        const int32_t pixelBytes = FForm == TForm::TrueColour ? 3 : FForm == TForm::WithAlpha ? 4 : 1;
        const int64_t rowBytes =
            FForm == TForm::Bilevel ? (int64_t(width) + 7) / 8 : int64_t(width) * pixelBytes;
        std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
        std::vector<uint8_t> packed(rle ? size_t(width) * size_t(pixelBytes + 1) : 0);
        const bool maskFits =
            FAlphaMask != nullptr && FAlphaMask->Width == width && FAlphaMask->Height == height;
        CodecProgressBegin(FProgress, height);
        for (int32_t y = 0; y < height && !FAborting; ++y) {
            const uint8_t* source = FImage->GetScanLine(y);
            const auto* pixels = reinterpret_cast<const TRGB*>(source);
            switch (FForm) {
            case TForm::Bilevel:
                std::memcpy(row.data(), source, size_t(rowBytes));
                break;
            case TForm::Mapped:
                for (int32_t x = 0; x < width; ++x) {
                    row[size_t(x)] = uint8_t(FQuantizer->GetRGBIndex(pixels[x]));
                }
                break;
            case TForm::Grey:
                for (int32_t x = 0; x < width; ++x) {
                    row[size_t(x)] = uint8_t(Korvaneproc::_RGBToGray(pixels[x]));
                }
                break;
            case TForm::TrueColour:
                std::memcpy(row.data(), source, size_t(rowBytes));
                break;
            case TForm::WithAlpha: {
                const uint8_t* alpha = maskFits ? FAlphaMask->GetScanLine(y) : nullptr;
                for (int32_t x = 0; x < width; ++x) {
                    uint8_t* p = row.data() + 4 * size_t(x);
                    p[0] = pixels[x].b;
                    p[1] = pixels[x].g;
                    p[2] = pixels[x].r;
                    p[3] = alpha != nullptr ? alpha[x] : 255;
                }
                break;
            }
            }
            if (rle) {
                Put(packed.data(), EncodeTGARLE(row.data(), width, pixelBytes, packed.data()));
            } else {
                Put(row.data(), rowBytes);
            }
            CodecProgressRows(FProgress, 1);
        }
    }

    // Text fields hold at most 40 characters and their 0; ratios are kept to four decimals.
    void WriteExtensionAndFooter()
    {
        const int64_t extensionOffset = FStream.Position() - FStart;
        uint8_t area[ExtensionSize] = {};
        Set16(area, uint32_t(ExtensionSize));
        std::memcpy(area + 2, FParams.TGA_Author.data(), std::min<size_t>(FParams.TGA_Author.size(), 40));
        uint16_t date[6];
        EncodeDate(FParams.TGA_Date, date);
        for (int i = 0; i < 6; ++i) {
            Set16(area + 367 + 2 * i, date[i]);
        }
        std::memcpy(area + 379, FParams.TGA_ImageName.data(),
                    std::min<size_t>(FParams.TGA_ImageName.size(), 40));
        area[471] = FParams.TGA_Background.r;
        area[472] = FParams.TGA_Background.g;
        area[473] = FParams.TGA_Background.b;
        Set16(area + 474, uint32_t(std::clamp(Trunc(FParams.TGA_AspectRatio * 10000), 0, 0xFFFF)));
        Set16(area + 476, 10000);
        Set16(area + 478, uint32_t(std::clamp(Trunc(FParams.TGA_Gamma * 10000), 0, 0xFFFF)));
        Set16(area + 480, 10000);
        Put(area, ExtensionSize);
        uint8_t footer[FooterSize] = {};
        Set32(footer, uint32_t(extensionOffset));
        std::memcpy(footer + 8, FooterSignature, sizeof FooterSignature);
        Put(footer, FooterSize);
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    const TKVMask* FAlphaMask;
    bool& FAborting;
    int64_t FStart = 0;
    TForm FForm = TForm::TrueColour;
    int32_t FColours = 256;
    TKVBitmap* FImage = nullptr;
    std::unique_ptr<TKVBitmap> FOwned;
    std::unique_ptr<TKVQuantizer> FQuantizer;
};

} // namespace

int32_t EncodeTGARLE(const uint8_t* Pixels, int32_t Count, int32_t PixelBytes, uint8_t* Output)
{
    const auto same = [&](int32_t a, int32_t b) {
        return std::memcmp(Pixels + int64_t(a) * PixelBytes, Pixels + int64_t(b) * PixelBytes,
                           size_t(PixelBytes)) == 0;
    };
    uint8_t* out = Output;
    int32_t i = 0;
    while (i < Count) {
        const int32_t first = i++;
        int32_t run = 1;
        while (i < Count && same(i, first) && run < 128) {
            ++i;
            ++run;
        }
        if (run >= 2) {
            *out++ = uint8_t(0x80 | (run - 1));
            std::memcpy(out, Pixels + int64_t(first) * PixelBytes, size_t(PixelBytes));
            out += PixelBytes;
            continue;
        }
        i = first;
        int32_t n = 0;
        while (i < Count - 1 && !same(i, i + 1) && n < 127) {
            ++i;
            ++n;
        }
        if (i == Count - 1) {
            ++i;
            ++n;
        }
        *out++ = uint8_t(n - 1);
        std::memcpy(out, Pixels + int64_t(i - n) * PixelBytes, size_t(n) * size_t(PixelBytes));
        out += int64_t(n) * PixelBytes;
    }
    return int32_t(out - Output);
}

void WriteTGAStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    const TKVMask* AlphaMask)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    TgaWriter(Stream, Bitmap, Params, Progress, AlphaMask, aborting).Run();
}

} // namespace Kvtgafil
