// Writes PCX images at 1, 4, 8 (palette) or 24 bits (three planes), plain or run-length encoded.
#include "imaging/codecs/pcx/pcxfilter.h"

#include "imaging/codecs/detail/codec_file.h"
#include "imaging/codecs/detail/le_fields.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/quantizer.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace Pcxfilter {

namespace {

using Codecs::detail::Set16;

// Runs of up to 63 equal bytes, and single bytes that would read as a run marker, become a
// count byte (192 + count) and the value; a line of odd length gets a 0 so that it covers the
// even bytes-per-line.
void EncodeLine(const uint8_t* line, int64_t length, std::vector<uint8_t>& out)
{
    out.clear();
    for (int64_t i = 0; i < length;) {
        int64_t run = 1;
        while (i + run < length && run < 63 && line[i + run] == line[i]) {
            ++run;
        }
        if (run > 1 || line[i] >= 0xC0) {
            out.push_back(uint8_t(0xC0 | run));
        }
        out.push_back(line[i]);
        i += run;
    }
    if (length % 2 != 0) {
        out.push_back(0);
    }
}

class PcxWriter
{
public:
    PcxWriter(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool& aborting)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FAborting(aborting)
    {
    }

    void Run()
    {
        const int32_t width = FBitmap.GetWidth(), height = FBitmap.GetHeight();
        // The header holds coordinates of 16 bits.
        if (width <= 0 || height <= 0 || width > 65536 || height > 65536) {
            FAborting = true;
            return;
        }
        FRle = FParams.PCX_Compression == ioPCX_RLE;
        ChooseDepth();
        FPlanes = FDepth == 24 ? 3 : 1;
        FLineBytes = FDepth == 24 ? width : (int64_t(width) * FDepth + 7) / 8;
        FBytesPerLine = FLineBytes + FLineBytes % 2;
        if (FBytesPerLine > 0xFFFF) {
            FAborting = true;
            return;
        }
        PrepareImage();
        WriteHeader();
        WriteRows();
        if (FDepth == 8 && !FAborting) {
            uint8_t palette[1 + 768];
            palette[0] = 12;
            for (int i = 0; i < 256; ++i) {
                palette[1 + 3 * i] = FPalette[size_t(i)].r;
                palette[2 + 3 * i] = FPalette[size_t(i)].g;
                palette[3 + 3 * i] = FPalette[size_t(i)].b;
            }
            Put(palette, sizeof palette);
        }
    }

private:
    void Put(const void* buffer, int64_t count)
    {
        Daduvudez::SafeStreamWrite(&FStream, FAborting, buffer, count);
    }

    // 16 and 32-bit products have no PCX layout: they are written at 24 bits.
    void ChooseDepth()
    {
        if (FParams.BitsPerSample == 1) {
            FDepth = 1;
            return;
        }
        const int32_t depth = FParams.BitsPerSample * FParams.SamplesPerPixel;
        FDepth = depth == 4 || depth == 8 ? depth : 24;
    }

    void PrepareImage()
    {
        FImage = &FBitmap;
        if (FDepth == 1) {
            TOneBitSource source = MakeOneBitSource(FBitmap);
            FOwned = std::move(source.Owned);
            FImage = source.Bitmap;
            FPalette[0] = source.Dark;
            FPalette[1] = source.Light;
            if (!source.BlackAndWhite()) {
                WidenToFourBits();
            }
            return;
        }
        if (FBitmap.GetPixelFormat() != kv24RGB) {
            FOwned = std::make_unique<TKVBitmap>();
            FOwned->Assign(&FBitmap);
            FOwned->ConvertToPixelFormat(kv24RGB);
            FImage = FOwned.get();
        }
        if (FDepth == 4 || FDepth == 8) {
            const int32_t colours = 1 << FDepth;
            FQuantizer = std::make_unique<TKVQuantizer>(
                FImage, std::span<TRGB>(FPalette.data(), size_t(colours)), colours, -1, 0);
        }
    }

    // Readers take a 1-bit PCX as black and white whatever its header palette says, so other
    // colours go out as a 16-colour picture of those (one or two): its palette is read by all.
    void WidenToFourBits()
    {
        FDepth = 4;
        FLineBytes = (int64_t(FBitmap.GetWidth()) * FDepth + 7) / 8;
        FBytesPerLine = FLineBytes + FLineBytes % 2;
        FWidened = true;
    }

    void WriteHeader()
    {
        const int32_t width = FImage->GetWidth(), height = FImage->GetHeight();
        uint8_t header[128] = {};
        header[0] = 10;
        header[1] = uint8_t(FParams.PCX_Version);
        header[2] = FRle ? 1 : 0;
        header[3] = uint8_t(FDepth == 24 ? 8 : FDepth);
        Set16(header + 8, uint32_t(width - 1));
        Set16(header + 10, uint32_t(height - 1));
        Set16(header + 12, uint32_t(FParams.DpiX));
        Set16(header + 14, uint32_t(FParams.DpiY));
        if (FDepth <= 4) {
            for (int i = 0; i < 16; ++i) {
                header[16 + 3 * i] = FPalette[size_t(i)].r;
                header[17 + 3 * i] = FPalette[size_t(i)].g;
                header[18 + 3 * i] = FPalette[size_t(i)].b;
            }
        }
        header[65] = uint8_t(FPlanes);
        Set16(header + 66, uint32_t(FBytesPerLine));
        Set16(header + 68, FDepth == 24 ? 0 : 1);
        Put(header, sizeof header);
    }

    void WriteRows()
    {
        const int32_t width = FImage->GetWidth(), height = FImage->GetHeight();
        std::vector<uint8_t> line(size_t(FBytesPerLine) * size_t(FPlanes), 0);
        std::vector<uint8_t> encoded;
        CodecProgressBegin(FProgress, height);
        for (int32_t y = 0; y < height && !FAborting; ++y) {
            const uint8_t* row = FImage->GetScanLine(y);
            const auto* pixels = reinterpret_cast<const TRGB*>(row);
            uint8_t* planes = line.data();
            switch (FDepth) {
            case 1:
                std::memcpy(planes, row, size_t(FLineBytes));
                break;
            case 4:
                std::fill(line.begin(), line.end(), 0);
                for (int32_t x = 0; x < width; ++x) {
                    const auto index = FWidened ? uint8_t((row[x >> 3] >> (7 - (x & 7))) & 1)
                                                : uint8_t(FQuantizer->GetRGBIndex(pixels[x]));
                    planes[x >> 1] |= uint8_t(x & 1 ? index & 15 : index << 4);
                }
                break;
            case 8:
                for (int32_t x = 0; x < width; ++x) {
                    planes[x] = uint8_t(FQuantizer->GetRGBIndex(pixels[x]));
                }
                break;
            default:
                for (int32_t x = 0; x < width; ++x) {
                    planes[x] = pixels[x].r;
                    planes[FBytesPerLine + x] = pixels[x].g;
                    planes[2 * FBytesPerLine + x] = pixels[x].b;
                }
                break;
            }
            for (int32_t p = 0; p < FPlanes; ++p) {
                const uint8_t* plane = planes + p * FBytesPerLine;
                if (FRle) {
                    EncodeLine(plane, FLineBytes, encoded);
                    Put(encoded.data(), int64_t(encoded.size()));
                } else {
                    Put(plane, FBytesPerLine);
                }
            }
            CodecProgressRows(FProgress, 1);
        }
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool& FAborting;
    bool FRle = true;
    int32_t FDepth = 24;
    int32_t FPlanes = 3;
    bool FWidened = false; // two colours of a 1-bit picture written at 4 bits
    int64_t FLineBytes = 0;
    int64_t FBytesPerLine = 0;
    TKVBitmap* FImage = nullptr;
    std::unique_ptr<TKVBitmap> FOwned;
    std::unique_ptr<TKVQuantizer> FQuantizer;
    std::array<TRGB, 256> FPalette{};
};

} // namespace

void WritePcxStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    PcxWriter(Stream, Bitmap, Params, Progress, aborting).Run();
}

void WritePcx(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    Codecs::detail::WriteCodecFile(FileName, Progress, [&](TStream& stream, TProgressRec& progress) {
        WritePcxStream(stream, Bitmap, Params, progress);
    });
}

} // namespace Pcxfilter
