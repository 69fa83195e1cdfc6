// Reads one image of an icon (ICO) or cursor (CUR) file: a device-independent bitmap with its
// AND mask, or a PNG, with the transparency going to an 8-bit mask.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/bmp/detail/icon_format.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/resolution.h"
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace Bmpfilt {

namespace {

using namespace detail;

constexpr int64_t InfoHeaderSize = 40;

struct TInfoHeader
{
    uint32_t Size = 0;
    int32_t Width = 0;
    int32_t Height = 0; // both the XOR and the AND rows
    int32_t BitCount = 0;
    int32_t XPelsPerMeter = 0;
    int32_t YPelsPerMeter = 0;
    uint32_t ColoursUsed = 0;
};

class IconReader
{
public:
    IconReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
               TProgressRec& progress, std::unique_ptr<TKVMask>& alphaMask, bool noMask, bool cursor)
        : FStream(stream), FBitmap(bitmap), FParams(params), FParamsOnly(paramsOnly), FProgress(progress),
          FAlphaMask(alphaMask), FNoMask(noMask), FCursor(cursor)
    {
    }

    void Run()
    {
        FStart = FStream.Position();
        FSize = FStream.Size();
        uint8_t header[IconHeaderSize];
        if (FStream.Read(header, IconHeaderSize) != IconHeaderSize) {
            CodecSetAborting(FProgress);
            return;
        }
        if (!FCursor && header[0] == 'B' && header[1] == 'M') {
            FStream.SetPosition(FStart);
            BMPReadStream(FStream, FBitmap, FSize - FStart, FParams, FProgress, FParamsOnly, false);
            return;
        }
        const int32_t count = Get16(header + 4);
        const int32_t index = FCursor ? FParams.CUR_ImageIndex : FParams.ICO_ImageIndex;
        // The I/O component tells an index past the directory from a failure; here it reads nothing.
        if (index < 0 || index >= count) {
            return;
        }
        std::vector<uint8_t> directory(size_t(count) * IconEntrySize);
        if (FStream.Read(directory.data(), int64_t(directory.size())) != int64_t(directory.size())) {
            CodecSetAborting(FProgress);
            return;
        }
        if (!FCursor) {
            ListSizes(directory.data(), count);
        }
        FEntry = ParseEntry(directory.data() + size_t(index) * IconEntrySize);
        if (!LocateImage()) {
            CodecSetAborting(FProgress);
            return;
        }
        if (IsPng()) {
            Pngfilt::ReadPNGStream(FStream, FBitmap, FParams, FProgress, FParamsOnly, FAlphaMask, FNoMask);
            return;
        }
        if (!ReadInfoHeader() || !ChooseDepthAndSize() || !ReadPalette()) {
            CodecSetAborting(FProgress);
            return;
        }
        if (FParamsOnly) {
            return;
        }
        Decode();
    }

private:
    void ListSizes(const uint8_t* directory, int32_t count)
    {
        for (auto& size : FParams.ICO_Sizes) {
            size[0] = size[1] = 0;
        }
        for (int32_t i = 0; i < std::min(count, 16); ++i) {
            const TIconEntry entry = ParseEntry(directory + size_t(i) * IconEntrySize);
            // A byte of 0 stands for 256, so that the sizes can be written again.
            FParams.ICO_Sizes[i][0] = entry.Width != 0 ? entry.Width : 256;
            FParams.ICO_Sizes[i][1] = entry.Height != 0 ? entry.Height : 256;
            FParams.ICO_BitCount[i] = entry.BitCount != 0 ? entry.BitCount
                                      : entry.ColourCount != 0
                                          ? Daduvudez::_NColToBitsPixel(entry.ColourCount)
                                          : 24;
        }
    }

    // The image must start inside the stream. Its length is what its own header makes it, up to
    // the end of the stream: writers leave byte counts in the directory that are too small.
    bool LocateImage()
    {
        const int64_t offset = int64_t(FEntry.Offset);
        if (offset < IconHeaderSize || FStart + offset >= FSize) {
            return false;
        }
        FImageStart = FStart + offset;
        FImageEnd = FSize;
        FStream.SetPosition(FImageStart);
        return true;
    }

    bool IsPng()
    {
        const bool png = Pngfilt::IsPNGStream(FStream);
        FStream.SetPosition(FImageStart);
        return png;
    }

    bool ReadInfoHeader()
    {
        uint8_t raw[InfoHeaderSize];
        if (FImageEnd - FImageStart < InfoHeaderSize || FStream.Read(raw, InfoHeaderSize) != InfoHeaderSize) {
            return false;
        }
        FInfo.Size = Get32(raw);
        FInfo.Width = int32_t(Get32(raw + 4));
        FInfo.Height = int32_t(Get32(raw + 8));
        FInfo.BitCount = Get16(raw + 14);
        FInfo.XPelsPerMeter = int32_t(Get32(raw + 24));
        FInfo.YPelsPerMeter = int32_t(Get32(raw + 28));
        FInfo.ColoursUsed = Get32(raw + 32);
        // A longer header (a later version) is followed by the palette after all of it.
        if (FInfo.Size > InfoHeaderSize && FInfo.Size < uint32_t(FImageEnd - FImageStart)) {
            FStream.SetPosition(FImageStart + FInfo.Size);
        }
        return FInfo.Width >= 0 && FInfo.Height >= 0;
    }

    bool ChooseDepthAndSize()
    {
        FParams.DpiX = FInfo.XPelsPerMeter > 0 ? DotsPerInch(FInfo.XPelsPerMeter, TResolutionUnit::Metre)
                                               : Kvview::gSystemDPIX;
        FParams.DpiY = FInfo.YPelsPerMeter > 0 ? DotsPerInch(FInfo.YPelsPerMeter, TResolutionUnit::Metre)
                                               : Kvview::gSystemDPIY;
        if (FCursor) {
            FParams.CUR_XHotSpot = FEntry.Planes;
            FParams.CUR_YHotSpot = FEntry.BitCount;
            FBits = FInfo.BitCount;
        } else {
            FBits = FInfo.BitCount != 0 ? FInfo.BitCount : FEntry.BitCount;
        }
        if (FBits == 0) {
            if (FEntry.ColourCount == 0) {
                return false;
            }
            FBits = Daduvudez::_NColToBitsPixel(FEntry.ColourCount);
        }
        if (FBits <= 8) {
            FParams.BitsPerSample = FBits;
            FParams.SamplesPerPixel = 1;
        } else {
            FParams.BitsPerSample = 8;
            FParams.SamplesPerPixel = FBits == 32 ? 4 : 3;
        }
        // The image's own header gives its size (its height counts the AND rows too), whatever
        // the directory says, unless it is missing or implausibly large; then the directory's
        // bytes tell, 0 meaning the header's.
        FWidth = FEntry.Width != 0 ? FEntry.Width : FInfo.Width;
        FHeight = FEntry.Height != 0 ? FEntry.Height : FInfo.Height / 2;
        if (FInfo.Width > 0 && FInfo.Height > 1 && FInfo.Width < 2048 && FInfo.Height < 2048) {
            FWidth = FInfo.Width;
            FHeight = FInfo.Height / 2;
        }
        FParams.Width = FWidth;
        FParams.Height = FHeight;
        if (FWidth <= 0 || FHeight <= 0 || int64_t(FWidth) * FHeight > KVCodecMaxPixels) {
            return false;
        }
        return FBits == 1 || FBits == 4 || FBits == 8 || FBits == 24 || FBits == 32;
    }

    // Cursors count their palette in the directory, icons in the header when it says; the rows
    // that follow must fit in the image's data.
    bool ReadPalette()
    {
        FParams.FreeColorMap();
        int32_t colours = 0;
        if (FBits <= 8) {
            colours = 1 << FBits;
            if (FCursor && FEntry.ColourCount != 0) {
                colours = std::min(FEntry.ColourCount == 255 ? 256 : FEntry.ColourCount, 1 << FBits);
            } else if (!FCursor && FInfo.ColoursUsed != 0 && FInfo.ColoursUsed < uint32_t(colours)) {
                colours = int32_t(FInfo.ColoursUsed);
            }
            std::vector<uint8_t> raw(size_t(colours) * 4);
            if (FStream.Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) {
                return false;
            }
            FParams.AllocColorMap(colours);
            for (int32_t i = 0; i < colours; ++i) {
                const TRGB colour{raw[4 * size_t(i)], raw[4 * size_t(i) + 1], raw[4 * size_t(i) + 2]};
                FParams.ColorMap[i] = colour;
                FPalette[size_t(i)] = colour;
            }
        }
        FColours = colours;
        const int64_t xorBytes = XorStride() * FHeight;
        return FStream.Position() + xorBytes <= FImageEnd;
    }

    int64_t XorStride() const { return (int64_t(FWidth) * FBits + 31) / 32 * 4; }
    int64_t AndStride() const { return (int64_t(FWidth) + 31) / 32 * 4; }

    void Decode()
    {
        // Black and white (either way round) stays 1-bit; other pairs of colours are colours.
        const TRGB black{0, 0, 0}, white{255, 255, 255};
        bool bilevel = false, inverted = false;
        if (FBits == 1) {
            bilevel = (FPalette[0] == black && FPalette[1] == white) ||
                      (FPalette[0] == white && FPalette[1] == black);
            inverted = FPalette[0] == white;
        }
        FBitmap.Allocate(FWidth, FHeight, bilevel ? kv1g : kv24RGB);
        TKVMask* mask = nullptr;
        if (!FNoMask) {
            if (FAlphaMask == nullptr) {
                FAlphaMask = std::make_unique<TKVMask>();
            }
            FAlphaMask->AllocateBits(FWidth, FHeight, 8);
            FAlphaMask->Fill(255);
            FAlphaMask->Full = false;
            mask = FAlphaMask.get();
        }
        const TRGB background = FCursor ? FParams.CUR_Background : FParams.ICO_Background;
        // The AND mask is the transparency of every depth but 32 bits, whose fourth byte is its
        // alpha: a 32-bit image whose alpha bytes are all 0 is wholly transparent, as the
        // standard readers take it, whatever its AND mask says.
        const bool usesAndMask = FBits != 32;
        const int64_t xorStride = XorStride(), andStride = AndStride();
        std::vector<uint8_t> xorRows(size_t(xorStride * FHeight));
        FStream.Read(xorRows.data(), int64_t(xorRows.size()));
        // Only whole AND rows mark pixels: a file that ends inside the mask fails, keeping every
        // colour row and leaving the pixels of the mask rows it lacks opaque.
        std::vector<uint8_t> andRows(usesAndMask ? size_t(andStride * FHeight) : 0);
        int64_t andRowsHeld = FHeight;
        if (usesAndMask) {
            const int64_t left = std::max<int64_t>(FImageEnd - FStream.Position(), 0);
            const int64_t got =
                FStream.Read(andRows.data(), std::min<int64_t>(left, int64_t(andRows.size())));
            andRowsHeld = std::max<int64_t>(got, 0) / andStride;
        }
        CodecProgressBegin(FProgress, FHeight);
        for (int32_t k = 0; k < FHeight && !CodecAborted(FProgress); ++k) {
            const int32_t y = FHeight - 1 - k;
            const uint8_t* source = xorRows.data() + k * xorStride;
            const uint8_t* andRow = usesAndMask && k < andRowsHeld ? andRows.data() + k * andStride : nullptr;
            uint8_t* row = FBitmap.GetScanLine(y);
            uint8_t* alpha = mask != nullptr ? mask->GetScanLine(y) : nullptr;
            if (bilevel) {
                DecodeBilevelRow(source, andRow, row, alpha, inverted, background == white);
            } else {
                DecodeColourRow(source, andRow, reinterpret_cast<TRGB*>(row), alpha, background);
            }
            CodecProgressRows(FProgress, 1);
        }
        if (andRowsHeld < FHeight) {
            CodecSetAborting(FProgress);
        }
    }

    static bool Bit(const uint8_t* bits, int32_t x) { return ((bits[x >> 3] >> (7 - (x & 7))) & 1) != 0; }

    // Transparent pixels (AND set, XOR clear) take the background's side, screen-inverting ones
    // (both set) the other.
    void DecodeBilevelRow(const uint8_t* source, const uint8_t* andRow, uint8_t* row, uint8_t* alpha,
                          bool inverted, bool whiteBackground)
    {
        std::memset(row, 0, size_t(FBitmap.GetRowLen()));
        for (int32_t x = 0; x < FWidth; ++x) {
            const bool stored = Bit(source, x);
            bool white = stored != inverted;
            if (andRow != nullptr && Bit(andRow, x)) {
                white = stored != whiteBackground;
                if (alpha != nullptr) {
                    alpha[x] = 0;
                }
            }
            if (white) {
                row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
    }

    void DecodeColourRow(const uint8_t* source, const uint8_t* andRow, TRGB* pixels, uint8_t* alpha,
                         const TRGB& background)
    {
        for (int32_t x = 0; x < FWidth; ++x) {
            switch (FBits) {
            case 1:
                pixels[x] = FPalette[Bit(source, x) ? 1 : 0];
                break;
            case 4:
                pixels[x] = FPalette[x & 1 ? source[x >> 1] & 15 : source[x >> 1] >> 4];
                break;
            case 8:
                pixels[x] = FPalette[source[x]];
                break;
            case 24:
                pixels[x] = TRGB{source[3 * x], source[3 * x + 1], source[3 * x + 2]};
                break;
            default:
                pixels[x] = TRGB{source[4 * x], source[4 * x + 1], source[4 * x + 2]};
                if (alpha != nullptr) {
                    alpha[x] = source[4 * x + 3];
                }
                break;
            }
            if (andRow != nullptr && Bit(andRow, x)) {
                pixels[x] = background;
                if (alpha != nullptr) {
                    alpha[x] = 0;
                }
            }
        }
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    bool FParamsOnly;
    TProgressRec& FProgress;
    std::unique_ptr<TKVMask>& FAlphaMask;
    bool FNoMask;
    bool FCursor;
    int64_t FStart = 0;
    int64_t FSize = 0;
    int64_t FImageStart = 0;
    int64_t FImageEnd = 0;
    TIconEntry FEntry;
    TInfoHeader FInfo;
    int32_t FBits = 0;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FColours = 0;
    // Indexes are bytes: 256 entries, black past the file's palette.
    std::array<TRGB, 256> FPalette{};
};

// A directory whose entries all point past themselves at some data.
bool TryIconStream(TStream& stream, uint16_t type)
{
    const int64_t start = stream.Position();
    bool found = false;
    uint8_t header[IconHeaderSize];
    if (stream.Size() - start >= 23 && stream.Read(header, IconHeaderSize) == IconHeaderSize &&
        Get16(header) == 0 && Get16(header + 2) == type && Get16(header + 4) != 0) {
        found = true;
        const int32_t count = Get16(header + 4);
        for (int32_t i = 0; i < count && found; ++i) {
            uint8_t raw[IconEntrySize];
            if (stream.Read(raw, IconEntrySize) != IconEntrySize) {
                found = false;
                break;
            }
            const TIconEntry entry = ParseEntry(raw);
            found =
                entry.Reserved == 0 && entry.Bytes != 0 && int64_t(entry.Offset) >= stream.Position() - start;
        }
    }
    stream.SetPosition(start);
    return found;
}

} // namespace

bool ICOTryStream(TStream& Stream)
{
    return TryIconStream(Stream, 1);
}

bool CURTryStream(TStream& Stream)
{
    return TryIconStream(Stream, 2);
}

int32_t _EnumICOImStream(TStream& Stream)
{
    const int64_t start = Stream.Position();
    uint8_t header[IconHeaderSize] = {};
    const bool read = Stream.Read(header, IconHeaderSize) == IconHeaderSize;
    Stream.SetPosition(start);
    return read ? Get16(header + 4) : 0;
}

void ICOReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoMask)
{
    IconReader(Stream, Bitmap, Params, ParamsOnly, Progress, AlphaMask, NoMask, false).Run();
}

void CURReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoMask)
{
    IconReader(Stream, Bitmap, Params, ParamsOnly, Progress, AlphaMask, NoMask, true).Run();
}

} // namespace Bmpfilt
