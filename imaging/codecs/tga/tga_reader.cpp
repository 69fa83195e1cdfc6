// Reads TGA images: colour-mapped, true-colour and grey, plain or run-length encoded, with the
// extension area that a version 2 footer points at.
#include "imaging/codecs/tga/kvtgafil.h"

#include "imaging/codecs/detail/buffered_reader.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tga/tga_format.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace Kvtgafil {

namespace {

using Codecs::detail::TBufferedReader;
using namespace detail;

struct THeader
{
    uint8_t IdLength = 0;
    uint8_t ColourMapType = 0;
    uint8_t ImageType = 0;
    int32_t MapFirst = 0;
    int32_t MapLength = 0;
    int32_t MapEntryBits = 0;
    int32_t XOrigin = 0;
    int32_t YOrigin = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Depth = 0;
    uint8_t Descriptor = 0;

    bool Rle() const { return ImageType >= 9; }
    bool Grey() const { return ImageType == 3 || ImageType == 11; }
    bool AlphaBits() const { return (Descriptor & 0x08) != 0; }
    bool TopDown() const { return (Descriptor & 0x20) != 0; }
    bool RightToLeft() const { return (Descriptor & 0x10) != 0; }
    // 16-bit grey pixels hold the grey in their low byte and the alpha in the high one.
    bool GreyAlpha() const { return Grey() && Depth == 16; }
};

THeader ParseHeader(const uint8_t* h)
{
    THeader header;
    header.IdLength = h[0];
    header.ColourMapType = h[1];
    header.ImageType = h[2];
    header.MapFirst = Get16(h + 3);
    header.MapLength = Get16(h + 5);
    header.MapEntryBits = h[7];
    header.XOrigin = Get16(h + 8);
    header.YOrigin = Get16(h + 10);
    header.Width = Get16(h + 12);
    header.Height = Get16(h + 14);
    header.Depth = h[16];
    header.Descriptor = h[17];
    return header;
}

bool ValidType(uint8_t type)
{
    return (type >= 1 && type <= 3) || (type >= 9 && type <= 11);
}

bool ValidDepth(int32_t depth)
{
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

// Colour-mapped pixels are byte indexes into a map the file holds.
bool Plausible(const THeader& h)
{
    if (!ValidType(h.ImageType) || h.ColourMapType > 1 || !ValidDepth(h.Depth) || h.Width == 0 ||
        h.Height == 0) {
        return false;
    }
    return (h.ImageType != 1 && h.ImageType != 9) || (h.ColourMapType == 1 && h.Depth == 8);
}

// A word of 5-bit channels, each widened by 8; the top bit is not alpha here.
TRGB Word555(uint16_t word)
{
    return TRGB{uint8_t((word & 31) << 3), uint8_t(((word >> 5) & 31) << 3),
                uint8_t(((word >> 10) & 31) << 3)};
}

// Packets carry on from one row into the next: TGA 1.0 writers let them cross rows.
class TPacketReader
{
public:
    TPacketReader(TBufferedReader& in, int32_t pixelBytes, bool rle)
        : FIn(in), FPixelBytes(pixelBytes), FRle(rle)
    {
    }

    // Fills count pixels of pixelBytes bytes and returns how many the data gave before it ended
    // (the rest is 0): whole pixels, or for run-length data the pixels of whole packets.
    int32_t Read(uint8_t* out, int32_t count)
    {
        const int64_t total = int64_t(count) * FPixelBytes;
        if (!FRle) {
            const int64_t got = FIn.Read(out, total);
            std::memset(out + got, 0, size_t(total - got));
            return int32_t(got / FPixelBytes);
        }
        int32_t done = 0;
        while (done < count) {
            if (FRunLeft > 0) {
                const int32_t n = std::min(FRunLeft, count - done);
                for (int32_t i = 0; i < n; ++i) {
                    std::memcpy(out + int64_t(done + i) * FPixelBytes, FRunPixel, size_t(FPixelBytes));
                }
                done += n;
                FRunLeft -= n;
            } else if (FRawLeft > 0) {
                const int32_t n = std::min(FRawLeft, count - done);
                const int64_t want = int64_t(n) * FPixelBytes;
                if (FIn.Read(out + int64_t(done) * FPixelBytes, want) != want) {
                    break;
                }
                done += n;
                FRawLeft -= n;
            } else {
                const int packet = FIn.Get();
                if (packet < 0) {
                    break;
                }
                const int32_t n = (packet & 0x7F) + 1;
                if ((packet & 0x80) != 0) {
                    if (FIn.Read(FRunPixel, FPixelBytes) != FPixelBytes) {
                        break;
                    }
                    FRunLeft = n;
                } else {
                    FRawLeft = n;
                }
            }
        }
        std::memset(out + int64_t(done) * FPixelBytes, 0, size_t(total - int64_t(done) * FPixelBytes));
        return done;
    }

private:
    TBufferedReader& FIn;
    int32_t FPixelBytes;
    bool FRle;
    int32_t FRunLeft = 0;
    int32_t FRawLeft = 0;
    uint8_t FRunPixel[4] = {};
};

class TgaReader
{
public:
    TgaReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool paramsOnly, std::unique_ptr<TKVMask>& alphaMask, bool noMask)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FParamsOnly(paramsOnly),
          FAlphaMask(alphaMask), FNoMask(noMask)
    {
    }

    void Run()
    {
        FStart = FStream.Position();
        ReadExtension();
        if (!ReadHeader()) {
            CodecSetAborting(FProgress);
            return;
        }
        FillParams();
        if (FParamsOnly) {
            return;
        }
        if (int64_t(FHeader.Width) * FHeader.Height > KVCodecMaxPixels) {
            CodecSetAborting(FProgress);
            return;
        }
        DecodeRows();
    }

private:
    // The footer is the stream's last 26 bytes; its extension offset must lead to a whole area
    // between the header and the footer, else the defaults stay.
    void ReadExtension()
    {
        FParams.TGA_Author.clear();
        FParams.TGA_Date = TodayDate();
        FParams.TGA_ImageName.clear();
        FParams.TGA_Background = TRGB{};
        FParams.TGA_AspectRatio = 1.0;
        FParams.TGA_Gamma = 2.2;
        const int64_t size = FStream.Size();
        if (size - FStart < HeaderSize + FooterSize) {
            return;
        }
        uint8_t footer[FooterSize];
        FStream.SetPosition(size - FooterSize);
        if (FStream.Read(footer, FooterSize) != FooterSize ||
            std::memcmp(footer + 8, FooterSignature, sizeof FooterSignature) != 0) {
            return;
        }
        const int64_t offset = Get32(footer);
        if (offset < HeaderSize || FStart + offset + ExtensionSize > size - FooterSize) {
            return;
        }
        uint8_t area[ExtensionSize];
        FStream.SetPosition(FStart + offset);
        if (FStream.Read(area, ExtensionSize) != ExtensionSize) {
            return;
        }
        FParams.TGA_Author = ZeroEnded(area + 2, 41);
        double date = 0;
        if (DecodeDate(Get16(area + 367), Get16(area + 369), Get16(area + 371), Get16(area + 373),
                       Get16(area + 375), Get16(area + 377), date)) {
            FParams.TGA_Date = date;
        }
        FParams.TGA_ImageName = ZeroEnded(area + 379, 41);
        FParams.TGA_Background = TRGB{area[473], area[472], area[471]};
        if (Get16(area + 474) != 0 && Get16(area + 476) != 0) {
            FParams.TGA_AspectRatio = double(Get16(area + 474)) / Get16(area + 476);
        }
        if (Get16(area + 478) != 0 && Get16(area + 480) != 0) {
            FParams.TGA_Gamma = double(Get16(area + 478)) / Get16(area + 480);
        }
    }

    bool ReadHeader()
    {
        uint8_t raw[HeaderSize];
        FStream.SetPosition(FStart);
        if (FStream.Read(raw, HeaderSize) != HeaderSize) {
            return false;
        }
        FHeader = ParseHeader(raw);
        FParams.TGA_XPos = FHeader.XOrigin;
        FParams.TGA_YPos = FHeader.YOrigin;
        // No decoder exists for 4-bit pixels or for run-length encoded 1-bit rows.
        if (!Plausible(FHeader) || FHeader.Depth == 4 || (FHeader.Depth == 1 && FHeader.Rle())) {
            return false;
        }
        std::vector<uint8_t> id(FHeader.IdLength);
        if (FStream.Read(id.data(), FHeader.IdLength) != FHeader.IdLength) {
            return false;
        }
        FParams.TGA_Descriptor = ZeroEnded(id.data(), FHeader.IdLength);
        return ReadPalette();
    }

    bool ReadPalette()
    {
        DefaultPalette(FPalette);
        if (FHeader.ColourMapType == 1) {
            const int32_t entryBytes = (FHeader.MapEntryBits + 7) / 8;
            const int64_t mapBytes = int64_t(FHeader.MapLength) * entryBytes;
            std::vector<uint8_t> map(static_cast<size_t>(mapBytes));
            if (FStream.Read(map.data(), mapBytes) != mapBytes) {
                return false;
            }
            for (int32_t i = 0; i < FHeader.MapLength && FHeader.MapFirst + i < 256; ++i) {
                const uint8_t* p = map.data() + int64_t(i) * entryBytes;
                TRGB& entry = FPalette[size_t(FHeader.MapFirst + i)];
                switch (FHeader.MapEntryBits) {
                case 15:
                case 16:
                    entry = Word555(Get16(p));
                    break;
                case 24:
                case 32:
                    entry = TRGB{p[0], p[1], p[2]};
                    break;
                default:
                    break;
                }
            }
            // The map may be longer than the 256 entries a byte can index.
            const int32_t count = std::min(FHeader.MapLength, 256);
            FParams.AllocColorMap(count);
            std::copy(FPalette.begin(), FPalette.begin() + count, FParams.ColorMap.get());
            FParams.TGA_GrayLevel = false;
        } else if (FHeader.Depth == 8) {
            for (int i = 0; i < 256; ++i) {
                FPalette[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
            }
            FParams.TGA_GrayLevel = true;
        } else if (FHeader.Depth == 1) {
            FPalette[0] = TRGB{0, 0, 0};
            FPalette[1] = TRGB{255, 255, 255};
        }
        FParams.TGA_Compressed = FHeader.Rle();
        return true;
    }

    void FillParams()
    {
        FParams.Width = FHeader.Width;
        FParams.Height = FHeader.Height;
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        switch (FHeader.Depth) {
        case 1:
            FParams.BitsPerSample = 1;
            FParams.SamplesPerPixel = 1;
            break;
        case 8:
            FParams.BitsPerSample = 8;
            FParams.SamplesPerPixel = 1;
            break;
        case 16:
            FParams.BitsPerSample = FHeader.GreyAlpha() ? 8 : 5;
            FParams.SamplesPerPixel = FHeader.GreyAlpha() ? 1 : 3;
            FParams.TGA_GrayLevel = FHeader.GreyAlpha();
            break;
        case 24:
            FParams.BitsPerSample = 8;
            FParams.SamplesPerPixel = 3;
            break;
        default:
            FParams.BitsPerSample = 8;
            FParams.SamplesPerPixel = 4;
            break;
        }
    }

    // Memory follows the data: the bitmap and its mask are made only once the data holds a whole
    // first row, or for run-length data a first whole packet; a file refused before that leaves
    // the bitmap as it was. Data that ends later fails, and the rows it does not reach stay black,
    // and transparent in the mask, as allocated, with no work for each of them.
    void DecodeRows()
    {
        const int32_t height = FHeader.Height;
        const bool bilevel = FHeader.Depth == 1;
        const int32_t pixelBytes = bilevel ? 1 : FHeader.Depth / 8;
        const int32_t rowUnits = bilevel ? (FHeader.Width + 7) / 8 : FHeader.Width;
        std::vector<uint8_t> raw(size_t(rowUnits) * size_t(pixelBytes));
        TBufferedReader in(FStream);
        TPacketReader packets(in, pixelBytes, FHeader.Rle());
        const int32_t first = packets.Read(raw.data(), rowUnits);
        if (first == 0 || (first < rowUnits && !FHeader.Rle())) {
            CodecSetAborting(FProgress);
            in.Restore();
            return;
        }
        TKVMask* mask = MakeBitmap();
        CodecProgressBegin(FProgress, height);
        bool whole = first == rowUnits;
        StoreRow(0, raw.data(), mask);
        for (int32_t k = 1; k < height && whole && !CodecAborted(FProgress); ++k) {
            whole = packets.Read(raw.data(), rowUnits) == rowUnits;
            StoreRow(k, raw.data(), mask);
        }
        if (!whole) {
            CodecSetAborting(FProgress);
        }
        in.Restore();
    }

    // The bitmap, and the mask that alpha bits fill unless the caller wants none. Every row read
    // writes the whole of its mask row, so the mask is not filled first.
    TKVMask* MakeBitmap()
    {
        const int32_t width = FHeader.Width, height = FHeader.Height;
        FBitmap.Allocate(width, height, FHeader.Depth == 1 ? kv1g : kv24RGB);
        if (FNoMask || !FHeader.AlphaBits() || (FHeader.Depth != 32 && !FHeader.GreyAlpha())) {
            return nullptr;
        }
        if (FAlphaMask == nullptr) {
            FAlphaMask = std::make_unique<TKVMask>();
        }
        FAlphaMask->AllocateBits(width, height, 8);
        return FAlphaMask.get();
    }

    // Stored row k of the file, to its image row.
    void StoreRow(int32_t k, const uint8_t* raw, TKVMask* mask)
    {
        const int32_t width = FHeader.Width, height = FHeader.Height;
        const int32_t y = FHeader.TopDown() ? k : height - 1 - k;
        uint8_t* row = FBitmap.GetScanLine(y);
        uint8_t* alpha = mask != nullptr ? mask->GetScanLine(y) : nullptr;
        if (FHeader.Depth == 1) {
            std::memset(row, 0, size_t(FBitmap.GetRowLen()));
            std::memcpy(row, raw, size_t(width + 7) / 8);
        } else {
            ConvertRow(raw, reinterpret_cast<TRGB*>(row), alpha, width);
            if (FHeader.RightToLeft()) {
                std::reverse(reinterpret_cast<TRGB*>(row), reinterpret_cast<TRGB*>(row) + width);
                if (alpha != nullptr) {
                    std::reverse(alpha, alpha + width);
                }
            }
        }
        CodecProgressRows(FProgress, 1);
    }

    void ConvertRow(const uint8_t* raw, TRGB* pixels, uint8_t* alpha, int32_t width)
    {
        switch (FHeader.Depth) {
        case 8:
            for (int32_t x = 0; x < width; ++x) {
                pixels[x] = FPalette[raw[x]];
            }
            break;
        case 16:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = raw + 2 * x;
                if (FHeader.GreyAlpha()) {
                    pixels[x] = TRGB{p[0], p[0], p[0]};
                    if (alpha != nullptr) {
                        alpha[x] = p[1];
                    }
                } else {
                    pixels[x] = Word555(Get16(p));
                }
            }
            break;
        case 24:
            std::memcpy(pixels, raw, size_t(width) * 3);
            break;
        default:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = raw + 4 * x;
                pixels[x] = TRGB{p[0], p[1], p[2]};
                if (alpha != nullptr) {
                    alpha[x] = p[3];
                }
            }
            break;
        }
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    std::unique_ptr<TKVMask>& FAlphaMask;
    bool FNoMask;
    int64_t FStart = 0;
    THeader FHeader;
    std::array<TRGB, 256> FPalette{};
};

} // namespace

bool TryTGA(TStream& Stream)
{
    const int64_t start = Stream.Position();
    uint8_t raw[HeaderSize];
    const bool read = Stream.Read(raw, HeaderSize) == HeaderSize;
    Stream.SetPosition(start);
    if (!read) {
        return false;
    }
    return Plausible(ParseHeader(raw));
}

void ReadTGAStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TKVMask>& AlphaMask, bool NoMask)
{
    TgaReader(Stream, Bitmap, Params, Progress, ParamsOnly, AlphaMask, NoMask).Run();
}

} // namespace Kvtgafil
