// Writes icon files: one picture resampled to several sizes and depths, or several ready
// pictures, each as a device-independent bitmap with its AND mask.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/bmp/detail/icon_format.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

namespace Bmpfilt {

namespace {

using namespace detail;

// What the directory needs of an image once it is written.
struct TWrittenImage
{
    int64_t Start = 0;
    int64_t Bytes = 0;
    int32_t Bits = 24;
    int32_t Width = 0;
    int32_t Height = 0;
};

// The stored form of a pair of parameters: 3 x 8 and 4 x 8 true colour, 1 x 1 and 1 x 4 the
// small palettes, anything else 256 colours.
int32_t FormOfParams(int32_t samples, int32_t bits)
{
    if (samples == 3 && bits == 8) {
        return 24;
    }
    if (samples == 4 && bits == 8) {
        return 32;
    }
    if (samples == 1 && (bits == 1 || bits == 4)) {
        return bits;
    }
    return 8;
}

class IconWriter
{
public:
    IconWriter(TStream& stream, TProgressRec& progress, bool& aborting)
        : FStream(stream), FProgress(progress), FAborting(aborting)
    {
    }

    // Writes the file header and room for count entries.
    void Begin(int32_t count)
    {
        FStart = FStream.Position();
        FCount = count;
        uint8_t header[IconHeaderSize] = {};
        Set16(header + 2, 1);
        Set16(header + 4, uint32_t(count));
        Put(header, IconHeaderSize);
        const std::vector<uint8_t> directory(size_t(count) * IconEntrySize, 0);
        Put(directory.data(), int64_t(directory.size()));
        FStep = 100.0 / count;
    }

    // Polls the abort flag and reports the image about to be written.
    bool BeforeImage(int32_t index)
    {
        if (FProgress.OnProgress) {
            FProgress.OnProgress(FProgress.Sender, int32_t(index * FStep));
        }
        return !FAborting;
    }

    // Writes image in the form of bits; the palette forms leave their palette in params.
    void WriteImage(TKVBitmap& image, int32_t bits, TIOParamsVals& params)
    {
        const int32_t width = image.GetWidth(), height = image.GetHeight();
        if (width < 1 || height < 1 || width > 256 || height > 256) {
            FAborting = true;
            return;
        }
        TKVBitmap* alpha = image.GetHasAlphaChannel() ? image.GetAlphaChannel() : nullptr;
        if (alpha != nullptr && (alpha->GetWidth() != width || alpha->GetHeight() != height)) {
            alpha = nullptr;
        }
        // A 32-bit image is drawn by its alpha bytes; the other depths draw transparent pixels
        // through the AND mask only, and must make them black (24-bit rows as they are written).
        const bool masked = bits != 32 && alpha != nullptr && HasTransparentPixels(*alpha);
        const bool keepsOneBit = bits == 1 && image.GetPixelFormat() == kv1g;
        std::unique_ptr<TKVBitmap> converted;
        TKVBitmap* source = &image;
        if ((image.GetPixelFormat() != kv24RGB && !keepsOneBit) || (masked && bits <= 8)) {
            converted = std::make_unique<TKVBitmap>();
            converted->AssignImage(&image);
            if (converted->GetPixelFormat() != kv24RGB && !keepsOneBit) {
                converted->ConvertToPixelFormat(kv24RGB);
            }
            source = converted.get();
        }
        if (masked && bits <= 8) {
            BlackenTransparentPixels(*source, *alpha);
        }
        // Two colours, a picture's own, make the 1-bit palette; other pictures are black and white.
        // Transparent pixels are black already, so their bit is that of a black entry.
        TOneBitSource oneBit;
        if (bits == 1) {
            oneBit = MakeOneBitSource(*source);
            source = oneBit.Bitmap;
        }
        TWrittenImage written{FStream.Position(), 0, bits, width, height};
        const int64_t xorStride = Daduvudez::_BitmapRowLen(width, bits);
        const int64_t andStride = Daduvudez::_BitmapRowLen(width, 1);
        uint8_t info[40] = {};
        Set32(info, 40);
        Set32(info + 4, uint32_t(width));
        Set32(info + 8, uint32_t(2 * height));
        Set16(info + 12, 1);
        Set16(info + 14, uint32_t(bits));
        if (bits <= 8) {
            Set32(info + 20, uint32_t((xorStride + andStride) * height));
        }
        Set32(info + 24, uint32_t(Round(params.DpiX / 2.54 * 100)));
        Set32(info + 28, uint32_t(Round(params.DpiY / 2.54 * 100)));
        Put(info, sizeof info);

        std::unique_ptr<TKVQuantizer> quantizer;
        int32_t blackIndex = 0;
        if (bits <= 8) {
            blackIndex = WritePalette(*source, bits, params, quantizer, oneBit, masked);
        }
        std::vector<uint8_t> row(static_cast<size_t>(xorStride));
        for (int32_t y = height - 1; y >= 0 && !FAborting; --y) {
            std::fill(row.begin(), row.end(), 0);
            const uint8_t* pixels = source->GetScanLine(y);
            const auto* colours = reinterpret_cast<const TRGB*>(pixels);
            const uint8_t* opacity = masked && bits >= 4 ? alpha->GetScanLine(y) : nullptr;
            // A palette made without the black entry would not map a transparent pixel to it.
            auto indexOf = [&](int32_t x) {
                return uint8_t(opacity != nullptr && opacity[x] != 255 ? blackIndex
                                                                       : quantizer->GetRGBIndex(colours[x]));
            };
            switch (bits) {
            case 1:
                std::memcpy(row.data(), pixels, size_t((width + 7) / 8));
                break;
            case 4:
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t index = indexOf(x);
                    row[size_t(x >> 1)] |= uint8_t(x & 1 ? index & 15 : index << 4);
                }
                break;
            case 8:
                for (int32_t x = 0; x < width; ++x) {
                    row[size_t(x)] = indexOf(x);
                }
                break;
            case 24:
                std::memcpy(row.data(), pixels, size_t(width) * 3);
                for (int32_t x = 0; opacity != nullptr && x < width; ++x) {
                    if (opacity[x] != 255) {
                        std::memset(row.data() + 3 * size_t(x), 0, 3);
                    }
                }
                break;
            default: {
                const uint8_t* alphaRow = alpha != nullptr ? alpha->GetScanLine(y) : nullptr;
                for (int32_t x = 0; x < width; ++x) {
                    uint8_t* p = row.data() + 4 * size_t(x);
                    p[0] = colours[x].b;
                    p[1] = colours[x].g;
                    p[2] = colours[x].r;
                    p[3] = alphaRow != nullptr ? alphaRow[x] : 255;
                }
                break;
            }
            }
            Put(row.data(), xorStride);
        }
        // Pixels that are not wholly opaque are transparent for the AND mask.
        std::vector<uint8_t> andRow(static_cast<size_t>(andStride));
        for (int32_t y = height - 1; y >= 0 && !FAborting; --y) {
            std::fill(andRow.begin(), andRow.end(), 0);
            if (alpha != nullptr) {
                const uint8_t* alphaRow = alpha->GetScanLine(y);
                for (int32_t x = 0; x < width; ++x) {
                    if (alphaRow[x] != 255) {
                        andRow[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
                    }
                }
            }
            Put(andRow.data(), andStride);
        }
        written.Bytes = FStream.Position() - written.Start;
        FWritten.push_back(written);
    }

    // Fills in the directory; an aborted file is cut back to nothing.
    void Finish()
    {
        if (FAborting || int32_t(FWritten.size()) != FCount) {
            FAborting = true;
            FStream.SetPosition(FStart);
            FStream.SetSize(FStart);
            return;
        }
        const int64_t end = FStream.Position();
        std::vector<uint8_t> directory(size_t(FCount) * IconEntrySize, 0);
        for (int32_t i = 0; i < FCount; ++i) {
            const TWrittenImage& image = FWritten[size_t(i)];
            uint8_t* entry = directory.data() + size_t(i) * IconEntrySize;
            entry[0] = uint8_t(image.Width & 255);
            entry[1] = uint8_t(image.Height & 255);
            if (image.Bits <= 8) {
                entry[2] = uint8_t(std::min(1 << image.Bits, 255));
            } else {
                Set16(entry + 4, 1);
                Set16(entry + 6, uint32_t(image.Bits));
            }
            Set32(entry + 8, uint32_t(image.Bytes));
            Set32(entry + 12, uint32_t(image.Start - FStart));
        }
        FStream.SetPosition(FStart + IconHeaderSize);
        Put(directory.data(), int64_t(directory.size()));
        FStream.SetPosition(end);
    }

private:
    void Put(const void* buffer, int64_t count)
    {
        Daduvudez::SafeStreamWrite(&FStream, FAborting, buffer, count);
    }

    static bool HasTransparentPixels(TKVBitmap& alpha)
    {
        for (int32_t y = 0; y < alpha.GetHeight(); ++y) {
            const uint8_t* opacity = alpha.GetScanLine(y);
            if (std::any_of(opacity, opacity + alpha.GetWidth(), [](uint8_t a) { return a != 255; })) {
                return true;
            }
        }
        return false;
    }

    // Windows draws an icon as (screen AND mask) XOR image: a pixel of the mask shows nothing
    // only when its colour is black, so every transparent pixel is made black (a clear bit of
    // kv1g rows).
    static void BlackenTransparentPixels(TKVBitmap& picture, TKVBitmap& alpha)
    {
        const bool bilevel = picture.GetPixelFormat() == kv1g;
        for (int32_t y = 0; y < picture.GetHeight(); ++y) {
            const uint8_t* opacity = alpha.GetScanLine(y);
            uint8_t* row = picture.GetScanLine(y);
            for (int32_t x = 0; x < picture.GetWidth(); ++x) {
                if (opacity[x] == 255) {
                    continue;
                }
                if (bilevel) {
                    row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
                } else {
                    reinterpret_cast<TRGB*>(row)[x] = TRGB{0, 0, 0};
                }
            }
        }
    }

    // True when the kv24RGB picture holds no more than count colours.
    static bool HasColoursAtMost(TKVBitmap& picture, int32_t count)
    {
        std::unordered_set<uint32_t> seen;
        for (int32_t y = 0; y < picture.GetHeight(); ++y) {
            const auto* row = reinterpret_cast<const TRGB*>(picture.GetScanLine(y));
            for (int32_t x = 0; x < picture.GetWidth(); ++x) {
                if (x > 0 && row[x] == row[x - 1]) {
                    continue;
                }
                seen.insert(uint32_t(row[x].r) << 16 | uint32_t(row[x].g) << 8 | row[x].b);
                if (int32_t(seen.size()) > count) {
                    return false;
                }
            }
        }
        return true;
    }

    // Writes the palette and returns the index of a black entry, which an image with transparent
    // pixels (black in source) needs: a picture whose colours, black among them, fit the palette
    // keeps them all; any other is quantized to one colour fewer and black takes the last entry.
    int32_t WritePalette(TKVBitmap& source, int32_t bits, TIOParamsVals& params,
                         std::unique_ptr<TKVQuantizer>& quantizer, const TOneBitSource& oneBit, bool masked)
    {
        const TRGB black{0, 0, 0};
        const int32_t colours = 1 << bits;
        params.AllocColorMap(colours);
        int32_t blackIndex = 0;
        if (bits == 1) {
            params.ColorMap[0] = oneBit.Dark;
            params.ColorMap[1] = oneBit.Light;
        } else {
            const int32_t quantized = masked && !HasColoursAtMost(source, colours) ? colours - 1 : colours;
            quantizer = std::make_unique<TKVQuantizer>(
                &source, std::span<TRGB>(params.ColorMap.get(), size_t(quantized)), quantized, -1, 0);
            if (quantized < colours) {
                params.ColorMap[quantized] = black;
                blackIndex = quantized;
            } else {
                blackIndex = quantizer->GetRGBIndex(black);
            }
        }
        std::vector<uint8_t> raw;
        for (int32_t i = 0; i < colours; ++i) {
            const TRGB& c = params.ColorMap[i];
            raw.insert(raw.end(), {c.b, c.g, c.r, 0});
        }
        Put(raw.data(), int64_t(raw.size()));
        return blackIndex;
    }

    TStream& FStream;
    TProgressRec& FProgress;
    bool& FAborting;
    int64_t FStart = 0;
    int32_t FCount = 0;
    double FStep = 0;
    std::vector<TWrittenImage> FWritten;
};

// The stored form of bit count i: 0 takes the parameters' depth, unknown counts 24 bits.
int32_t FormOfBitCount(int32_t bitCount, const TIOParamsVals& params)
{
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 32:
        return bitCount;
    case 0:
        return FormOfParams(params.SamplesPerPixel, params.BitsPerSample);
    default:
        return 24;
    }
}

} // namespace

void ICOWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    std::span<const int32_t[2]> Sizes, std::span<const int32_t> BitCounts)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    const auto count = int32_t(Sizes.size());
    if (count < 1 || count > 0xFFFF || Bitmap.GetWidth() < 1 || Bitmap.GetHeight() < 1) {
        aborting = true;
        return;
    }
    IconWriter writer(Stream, Progress, aborting);
    writer.Begin(count);
    Params.FreeColorMap();
    if (Bitmap.GetPixelFormat() != kv24RGB) {
        Params.BitsPerSample = 1;
        Params.SamplesPerPixel = 1;
    }
    // Each size is made from the picture itself, in a work bitmap of its own.
    TKVBitmap work;
    TKorvaneProc proc(nullptr);
    proc.AutoUndo = false;
    proc.SetAttachedKVBitmap(&work);
    for (int32_t i = 0; i < count && writer.BeforeImage(i); ++i) {
        const int32_t width = Sizes[size_t(i)][0], height = Sizes[size_t(i)][1];
        if (width < 1 || height < 1 || width > 256 || height > 256) {
            aborting = true;
            break;
        }
        work.Assign(&Bitmap);
        proc.Resample(width, height, work.GetPixelFormat() == kv1g ? rfNone : rfFastLinear);
        const int32_t bitCount = size_t(i) < BitCounts.size() ? BitCounts[size_t(i)] : 0;
        writer.WriteImage(work, FormOfBitCount(bitCount, Params), Params);
    }
    writer.Finish();
}

void ICOWriteStream2(TStream& Stream, std::span<const TKVIconImage> Images, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    const auto count = int32_t(Images.size());
    if (count < 1 || count > 0xFFFF) {
        aborting = true;
        return;
    }
    IconWriter writer(Stream, Progress, aborting);
    writer.Begin(count);
    for (int32_t i = 0; i < count && writer.BeforeImage(i); ++i) {
        const TKVIconImage& image = Images[size_t(i)];
        if (image.Bitmap == nullptr || image.Params == nullptr) {
            aborting = true;
            break;
        }
        TIOParamsVals& params = *image.Params;
        params.FreeColorMap();
        if (image.Bitmap->GetPixelFormat() != kv24RGB) {
            params.BitsPerSample = 1;
            params.SamplesPerPixel = 1;
        }
        writer.WriteImage(*image.Bitmap, FormOfParams(params.SamplesPerPixel, params.BitsPerSample), params);
    }
    writer.Finish();
}

} // namespace Bmpfilt
