// Reads PCX images, plain or run-length encoded, into kv1g (1 bit, 1 plane) or kv24RGB.
#include "imaging/codecs/pcx/pcxfilter.h"

#include "imaging/codecs/detail/buffered_reader.h"
#include "imaging/codecs/detail/le_fields.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace Pcxfilter {

namespace {

using Codecs::detail::Get16;
using Codecs::detail::TBufferedReader;

constexpr int64_t HeaderSize = 128;
constexpr int64_t PaletteSize = 768;

struct THeader
{
    uint8_t Version = 0;
    uint8_t Encoding = 0;
    int32_t Bits = 0;
    int32_t Planes = 0;
    int64_t Width = 0;
    int64_t Height = 0;
    int32_t DpiX = 0;
    int32_t DpiY = 0;
    int64_t BytesPerLine = 0;
    TRGB HeaderPalette[16];
};

// Bits per pixel of one plane and the number of planes that a decoder exists for.
bool Decodable(const THeader& h)
{
    if (h.Planes == 1) {
        return h.Bits == 1 || h.Bits == 4 || h.Bits == 8;
    }
    return (h.Planes == 3 && h.Bits == 8) || (h.Planes == 4 && h.Bits == 1);
}

// Lines are run-length encoded as one sequence: a run cut at the end of a line goes on at the
// start of the next, as some writers make them.
class TLineDecoder
{
public:
    TLineDecoder(TBufferedReader& in, bool rle) : FIn(in), FRle(rle) {}

    // The number of the line's bytes the data gave before it ended (length when whole).
    int64_t Decode(uint8_t* line, int64_t length)
    {
        if (!FRle) {
            return FIn.Read(line, length);
        }
        int64_t x = 0;
        while (x < length) {
            if (FRun == 0) {
                const int c = FIn.Get();
                if (c < 0) {
                    break;
                }
                if (c >= 0xC0) {
                    const int value = FIn.Get();
                    if (value < 0) {
                        break;
                    }
                    FRun = c & 0x3F;
                    FValue = uint8_t(value);
                    continue;
                }
                line[x++] = uint8_t(c);
                continue;
            }
            const int64_t count = std::min<int64_t>(FRun, length - x);
            std::memset(line + x, FValue, size_t(count));
            x += count;
            FRun -= int32_t(count);
        }
        return x;
    }

private:
    TBufferedReader& FIn;
    bool FRle;
    int32_t FRun = 0;
    uint8_t FValue = 0;
};

class PcxReader
{
public:
    PcxReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, int64_t dataLength,
              TProgressRec& progress, bool paramsOnly)
        : FStream(stream), FBitmap(bitmap), FParams(params), FDataLength(dataLength), FProgress(progress),
          FParamsOnly(paramsOnly)
    {
    }

    void Run()
    {
        FStart = FStream.Position();
        FDataLength = std::min(FDataLength, std::max<int64_t>(FStream.Size() - FStart, 0));
        if (!ReadHeader() || !Consistent()) {
            CodecSetAborting(FProgress);
            return;
        }
        FillParams();
        if (FParamsOnly) {
            return;
        }
        if (FHeader.Width * FHeader.Height > KVCodecMaxPixels) {
            CodecSetAborting(FProgress);
            return;
        }
        FStream.SetPosition(FStart + HeaderSize);
        DecodeRows();
    }

private:
    bool ReadHeader()
    {
        uint8_t raw[HeaderSize];
        if (FDataLength < HeaderSize || FStream.Read(raw, HeaderSize) != HeaderSize) {
            return false;
        }
        if (raw[0] != 10 || raw[2] > 1 || raw[3] > 8) {
            return false;
        }
        const uint16_t xMin = Get16(raw + 4), yMin = Get16(raw + 6), xMax = Get16(raw + 8),
                       yMax = Get16(raw + 10);
        if (xMax < xMin || yMax < yMin) {
            return false;
        }
        FHeader.Version = raw[1];
        FHeader.Encoding = raw[2];
        FHeader.Bits = raw[3];
        FHeader.Width = int64_t(xMax) - xMin + 1;
        FHeader.Height = int64_t(yMax) - yMin + 1;
        FHeader.DpiX = Get16(raw + 12);
        FHeader.DpiY = Get16(raw + 14);
        for (int i = 0; i < 16; ++i) {
            const uint8_t* p = raw + 16 + 3 * i;
            FHeader.HeaderPalette[i] = TRGB{p[2], p[1], p[0]};
        }
        FHeader.Planes = raw[65];
        FHeader.BytesPerLine = Get16(raw + 66);
        return true;
    }

    // The layout has a decoder, a line holds its pixels, and an 8-bit palette has room after the
    // lines.
    bool Consistent()
    {
        if (!Decodable(FHeader)) {
            return false;
        }
        if (FHeader.BytesPerLine < (FHeader.Width * FHeader.Bits + 7) / 8) {
            return false;
        }
        if (FHeader.Planes == 1 && FHeader.Bits == 8) {
            if (FDataLength < HeaderSize + PaletteSize) {
                return false;
            }
            uint8_t raw[PaletteSize];
            FStream.SetPosition(FStart + FDataLength - PaletteSize);
            if (FStream.Read(raw, PaletteSize) != PaletteSize) {
                return false;
            }
            for (int i = 0; i < 256; ++i) {
                FPalette[size_t(i)] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
            }
        } else {
            std::copy(std::begin(FHeader.HeaderPalette), std::end(FHeader.HeaderPalette), FPalette.begin());
        }
        return true;
    }

    void FillParams()
    {
        if (FHeader.DpiX == 0 || FHeader.DpiY == 0) {
            FParams.DpiX = Kvview::gSystemDPIX;
            FParams.DpiY = Kvview::gSystemDPIY;
        } else {
            FParams.DpiX = FHeader.DpiX;
            FParams.DpiY = FHeader.DpiY;
        }
        FParams.BitsPerSample = FHeader.Bits;
        FParams.SamplesPerPixel = FHeader.Planes;
        FParams.Width = int32_t(FHeader.Width);
        FParams.Height = int32_t(FHeader.Height);
        FParams.PCX_Version = FHeader.Version;
        FParams.PCX_Compression = FHeader.Encoding == 1 ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
        int32_t colours = 0;
        if (FHeader.Planes == 1 && FHeader.Bits == 8) {
            colours = 256;
        } else if (FHeader.Planes == 4) {
            colours = 16;
            FParams.BitsPerSample = 4;
            FParams.SamplesPerPixel = 1;
        } else if (FHeader.Planes == 1) {
            colours = 1 << FHeader.Bits;
        }
        FParams.AllocColorMap(colours);
        std::copy(FPalette.begin(), FPalette.begin() + colours, FParams.ColorMap.get());
    }

    // Data that ends before the last row fails the read: the rows it does not reach stay black as
    // the new bitmap holds them, with no work for each. The bitmap is made only once the data holds
    // a whole first row, so that a file refused before it leaves the bitmap as it was and memory
    // follows the data. The last line may lack its padding, which holds no pixel.
    void DecodeRows()
    {
        const int32_t width = int32_t(FHeader.Width), height = int32_t(FHeader.Height);
        // An 8-bit image's palette follows the lines: they end before it.
        const int64_t lineData =
            FDataLength - HeaderSize - (FHeader.Bits == 8 && FHeader.Planes == 1 ? PaletteSize : 0);
        TBufferedReader in(FStream, lineData);
        TLineDecoder decoder(in, FHeader.Encoding == 1);
        std::vector<uint8_t> lines(size_t(FHeader.BytesPerLine * FHeader.Planes));
        CodecProgressBegin(FProgress, height);
        for (int32_t y = 0; y < height && !CodecAborted(FProgress); ++y) {
            if (!DecodeLines(decoder, lines.data())) {
                CodecSetAborting(FProgress);
                break;
            }
            if (y == 0) {
                FBitmap.Allocate(width, height, FHeader.Planes == 1 && FHeader.Bits == 1 ? kv1g : kv24RGB);
            }
            ConvertRow(lines.data(), FBitmap.GetScanLine(y), width);
            CodecProgressRows(FProgress, 1);
        }
        in.Restore();
    }

    // The lines of every plane of one row; false when the data ends before their pixels.
    bool DecodeLines(TLineDecoder& decoder, uint8_t* lines)
    {
        const int64_t lineLength = FHeader.BytesPerLine;
        const int64_t pixelBytes = (FHeader.Width * FHeader.Bits + 7) / 8;
        for (int32_t p = 0; p < FHeader.Planes; ++p) {
            uint8_t* line = lines + p * lineLength;
            const int64_t got = decoder.Decode(line, lineLength);
            std::memset(line + got, 0, size_t(lineLength - got));
            if (got < pixelBytes) {
                return false;
            }
        }
        return true;
    }

    void ConvertRow(const uint8_t* lines, uint8_t* row, int32_t width)
    {
        auto* pixels = reinterpret_cast<TRGB*>(row);
        const int64_t lineLength = FHeader.BytesPerLine;
        if (FHeader.Planes == 3) {
            const uint8_t *red = lines, *green = lines + lineLength, *blue = lines + 2 * lineLength;
            for (int32_t x = 0; x < width; ++x) {
                pixels[x] = TRGB{blue[x], green[x], red[x]};
            }
        } else if (FHeader.Planes == 4) {
            for (int32_t x = 0; x < width; ++x) {
                int index = 0;
                for (int p = 0; p < 4; ++p) {
                    index |= ((lines[p * lineLength + (x >> 3)] >> (7 - (x & 7))) & 1) << p;
                }
                pixels[x] = FPalette[size_t(index)];
            }
        } else if (FHeader.Bits == 8) {
            for (int32_t x = 0; x < width; ++x) {
                pixels[x] = FPalette[lines[x]];
            }
        } else if (FHeader.Bits == 4) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t byte = lines[x >> 1];
                pixels[x] = FPalette[x & 1 ? byte & 15 : byte >> 4];
            }
        } else {
            std::memset(row, 0, size_t(FBitmap.GetRowLen()));
            std::memcpy(row, lines, size_t((int64_t(width) + 7) / 8));
        }
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    int64_t FDataLength;
    TProgressRec& FProgress;
    bool FParamsOnly;
    int64_t FStart = 0;
    THeader FHeader;
    std::array<TRGB, 256> FPalette{};
};

} // namespace

void ReadPcxStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, int64_t DataLength,
                   TProgressRec& Progress, bool ParamsOnly)
{
    PcxReader(Stream, Bitmap, Params, DataLength, Progress, ParamsOnly).Run();
}

void ReadPcx(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    ReadPcxStream(stream, Bitmap, Params, stream.Size(), Progress, false);
}

} // namespace Pcxfilter
