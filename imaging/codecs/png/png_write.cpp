// The PNG writer: TKVBitmap (and alpha mask) to stream through the PNG library.
#include "imaging/codecs/png/pngfilt.h"

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/codecs/png/detail/png_glue.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <memory>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Pngfiltw {

using namespace Pngfilt::detail;

namespace {

const char* const CreateError = "Error on creating PNG";

struct TPngWriter
{
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TStream* Stream = nullptr;
    bool* Aborting = nullptr;

    ~TPngWriter() { png_destroy_write_struct(&Png, Info != nullptr ? &Info : nullptr); }
};

// Runs inside a library call: a failing stream is a short write, which sets the abort flag.
void WriteData(png_structp png, png_bytep data, size_t length)
{
    auto* writer = static_cast<TPngWriter*>(png_get_io_ptr(png));
    int64_t written = 0;
    try {
        written = writer->Stream->Write(data, static_cast<int64_t>(length));
    } catch (...) {
        written = -1;
    }
    if (written != static_cast<int64_t>(length)) {
        *writer->Aborting = true;
    }
}

void FlushData(png_structp) {}

// The image the rows come from: 1-bit with its two colours for a one-bit request, 24-bit
// otherwise.
TOneBitSource MakeWorkImage(TKVBitmap& bitmap, const TIOParamsVals& params)
{
    if (params.BitsPerSample == 1) {
        return MakeOneBitSource(bitmap);
    }
    TOneBitSource work;
    if (bitmap.GetPixelFormat() == kv24RGB) {
        work.Bitmap = &bitmap;
        return work;
    }
    work.Owned = std::make_unique<TKVBitmap>();
    work.Owned->Assign(&bitmap);
    work.Owned->ConvertToPixelFormat(kv24RGB);
    work.Bitmap = work.Owned.get();
    return work;
}

// What goes into the file, chosen from the record and the working image.
struct TLayout
{
    int ColorType = PNG_COLOR_TYPE_RGB;
    int Depth = 8;
    bool Transparency = false;
    bool Palette = false;    // rows are quantizer indexes (not so for packed 1-bit rows)
    bool GreyRamp = false;   // ... of a grey ramp, written as grey without PLTE
    int32_t IndexOffset = 0; // 1 when entry 0 is the transparent background
    int32_t Colors = 0;      // palette entries
};

// PNG allows palette depths 1, 2, 4 and 8 only.
int PaletteDepth(int32_t bitsPerSample)
{
    if (bitsPerSample <= 1) {
        return 1;
    }
    if (bitsPerSample <= 2) {
        return 2;
    }
    return bitsPerSample <= 4 ? 4 : 8;
}

// Packed one-bit rows hold no transparency: a one-bit picture with it is written from its two
// colours through the palette and its transparent entry.
void ExpandOneBit(TOneBitSource& work)
{
    auto colours = std::make_unique<TKVBitmap>();
    const int32_t width = work.Bitmap->GetWidth(), height = work.Bitmap->GetHeight();
    colours->Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* bits = work.Bitmap->GetScanLine(y);
        auto* pixels = reinterpret_cast<TRGB*>(colours->GetScanLine(y));
        for (int32_t x = 0; x < width; ++x) {
            pixels[x] = (bits[x >> 3] >> (7 - (x & 7))) & 1 ? work.Light : work.Dark;
        }
    }
    work.Owned = std::move(colours);
    work.Bitmap = work.Owned.get();
}

TLayout ChooseLayout(const TIOParamsVals& params, const TOneBitSource& work, const TKVMask* alphaMask)
{
    TLayout layout;
    layout.Transparency = alphaMask != nullptr && !alphaMask->Full;
    if (work.Bitmap->GetPixelFormat() == kv1g) {
        // Packed rows go out as they are, whatever SamplesPerPixel says: 1-bit grey for black and
        // white, else a two-entry palette of the picture's own colours.
        layout.ColorType = work.BlackAndWhite() ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
        layout.Depth = 1;
        layout.Colors = work.BlackAndWhite() ? 0 : 2;
        layout.Transparency = false;
    } else if (params.SamplesPerPixel == 1 || params.BitsPerSample == 1) {
        layout.ColorType = PNG_COLOR_TYPE_PALETTE;
        layout.Palette = true;
        if (layout.Transparency) {
            // Entry 0 is the transparent background, the quantizer's colours follow.
            layout.Depth = 8;
            layout.IndexOffset = 1;
            layout.Colors = std::min(1 << PaletteDepth(params.BitsPerSample), 255);
        } else {
            layout.Depth = PaletteDepth(params.BitsPerSample);
            layout.Colors = 1 << layout.Depth;
        }
    } else {
        layout.ColorType = layout.Transparency ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    }
    return layout;
}

struct TPalette
{
    std::unique_ptr<TKVQuantizer> Quantizer;
    std::vector<TRGB> Colors;
    // A picture of few enough colours and alphas gets an entry for each pair: the transparent
    // background first, then the pairs of partial alpha (whose alphas make up tRNS), then the
    // opaque colours. Empty when the quantizer serves instead.
    std::vector<uint8_t> Alphas;
    std::unordered_map<uint32_t, uint8_t> Exact;
};

uint32_t PairKey(const TRGB& colour, uint8_t alpha)
{
    return uint32_t(colour.r) << 24 | uint32_t(colour.g) << 16 | uint32_t(colour.b) << 8 | alpha;
}

// The entries of an exact palette for a picture with transparency; false when its pairs of colour
// and alpha (every fully transparent pixel counting as one) are more than 256.
bool BuildExactPalette(TKVBitmap& work, const TKVMask& mask, const TIOParamsVals& params, TPalette& palette)
{
    std::vector<std::pair<TRGB, uint8_t>> partial, opaque;
    std::unordered_set<uint32_t> seen;
    for (int32_t y = 0; y < work.GetHeight(); ++y) {
        const auto* pixels = reinterpret_cast<const TRGB*>(work.GetScanLine(y));
        const uint8_t* alpha = mask.GetScanLine(y);
        for (int32_t x = 0; x < work.GetWidth(); ++x) {
            if (alpha[x] == 0 || !seen.insert(PairKey(pixels[x], alpha[x])).second) {
                continue;
            }
            (alpha[x] == 255 ? opaque : partial).emplace_back(pixels[x], alpha[x]);
            if (1 + partial.size() + opaque.size() > 256) {
                return false;
            }
        }
    }
    palette.Colors = {params.PNG_Background};
    palette.Alphas = {0};
    for (const auto& [colour, alpha] : partial) {
        palette.Colors.push_back(colour);
        palette.Alphas.push_back(alpha);
    }
    for (const auto& [colour, alpha] : opaque) {
        palette.Colors.push_back(colour);
    }
    for (size_t i = 1; i < palette.Colors.size(); ++i) {
        const uint8_t alpha = i < palette.Alphas.size() ? palette.Alphas[i] : 255;
        palette.Exact.emplace(PairKey(palette.Colors[i], alpha), uint8_t(i));
    }
    return true;
}

// A one-bit request with transparency keeps one bit when the transparent entry leaves room, else
// takes the least depth that holds the entries.
int LeastDepth(int32_t colours)
{
    int depth = 1;
    while ((1 << depth) < colours) {
        depth *= 2;
    }
    return depth;
}

void BuildPalette(TLayout& layout, TKVBitmap& work, const TKVMask* mask, const TIOParamsVals& params,
                  TPalette& palette)
{
    const bool oneBit = params.BitsPerSample == 1;
    if (layout.IndexOffset == 1 && BuildExactPalette(work, *mask, params, palette)) {
        layout.Colors = int32_t(palette.Colors.size());
        palette.Colors.resize(256);
        layout.Depth = oneBit ? LeastDepth(layout.Colors) : layout.Depth;
        return;
    }
    palette.Colors.assign(256, TRGB{});
    TRGB* target = palette.Colors.data() + layout.IndexOffset;
    palette.Quantizer = std::make_unique<TKVQuantizer>(&work, std::span<TRGB>(target, size_t(layout.Colors)),
                                                       layout.Colors, -1, 0);
    if (layout.IndexOffset == 1) {
        palette.Colors[0] = params.PNG_Background;
        layout.Colors = std::min(layout.Colors + 1, 256);
        layout.Depth = oneBit ? LeastDepth(layout.Colors) : layout.Depth;
    } else if (palette.Quantizer->IsGrey()) {
        layout.ColorType = PNG_COLOR_TYPE_GRAY;
        layout.GreyRamp = true;
        layout.Depth = 8;
    }
}

uint8_t GreyOf(const TRGB& colour)
{
    return static_cast<uint8_t>((colour.r * 21 + colour.g * 71 + colour.b * 8) / 100);
}

// bKGD holds values in the image's own depth, a palette index for palette images.
void SetBackground(png_structp png, png_infop info, const TLayout& layout, const TIOParamsVals& params,
                   const TPalette& palette)
{
    png_color_16 background{};
    const TRGB& colour = params.PNG_Background;
    if (layout.Palette && layout.IndexOffset == 1) {
        background.index = 0;
    } else if (layout.ColorType == PNG_COLOR_TYPE_PALETTE && !layout.Palette) {
        background.index =
            static_cast<png_byte>(Korvaneproc::_GetSimilColor(palette.Colors.data(), 2, colour));
    } else if (layout.Palette) {
        const auto index = static_cast<png_byte>(palette.Quantizer->GetRGBIndex(colour));
        background.index = index;
        background.gray = index;
    } else if (layout.ColorType == PNG_COLOR_TYPE_GRAY) {
        background.gray = GreyOf(colour) >= 128 ? 1 : 0;
    } else {
        background.red = colour.r;
        background.green = colour.g;
        background.blue = colour.b;
    }
    png_set_bKGD(png, info, &background);
}

void SetHeader(TPngWriter& w, const TLayout& layout, const TKVBitmap& bitmap, const TIOParamsVals& params,
               const TPalette& palette)
{
    png_set_IHDR(w.Png, w.Info, static_cast<png_uint_32>(bitmap.GetWidth()),
                 static_cast<png_uint_32>(bitmap.GetHeight()), layout.Depth, layout.ColorType,
                 params.PNG_Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_color entries[256];
        for (int i = 0; i < layout.Colors; ++i) {
            entries[i] = png_color{palette.Colors[i].r, palette.Colors[i].g, palette.Colors[i].b};
        }
        png_set_PLTE(w.Png, w.Info, entries, layout.Colors);
        if (!palette.Alphas.empty()) {
            png_set_tRNS(w.Png, w.Info, palette.Alphas.data(), int(palette.Alphas.size()), nullptr);
        } else if (layout.IndexOffset == 1) {
            png_byte alpha = 0;
            png_set_tRNS(w.Png, w.Info, &alpha, 1, nullptr);
        }
    }
    const png_uint_32 resX = DpiToPixelsPerMetre(params.DpiX);
    const png_uint_32 resY = DpiToPixelsPerMetre(params.DpiY);
    if (resX > 0 && resY > 0) {
        png_set_pHYs(w.Png, w.Info, resX, resY, PNG_RESOLUTION_METER);
    }
    static const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_PAETH};
    png_set_filter(w.Png, PNG_FILTER_TYPE_BASE,
                   params.PNG_Filter < 3 ? filters[params.PNG_Filter] : PNG_FILTER_NONE);
    SetBackground(w.Png, w.Info, layout, params, palette);
    png_set_compression_level(w.Png, std::clamp(params.PNG_Compression, 0, 9));
    png_set_bgr(w.Png);
    png_write_info(w.Png, w.Info);
    if (layout.Palette && layout.Depth < 8) {
        png_set_packing(w.Png); // index bytes in, packed to the depth (1-bit grey rows come packed)
    }
}

// One row as the library takes it, in buffer unless the bitmap row serves as it is.
png_bytep PrepareRow(TKVBitmap& bitmap, const TKVMask* alphaMask, const TLayout& layout,
                     const TPalette& palette, int32_t y, std::vector<uint8_t>& buffer)
{
    uint8_t* row = bitmap.GetScanLine(y);
    const int32_t width = bitmap.GetWidth();
    if (layout.Palette) {
        const auto* pixels = reinterpret_cast<const TRGB*>(row);
        const uint8_t* alpha = layout.IndexOffset == 1 ? alphaMask->GetScanLine(y) : nullptr;
        if (!palette.Exact.empty()) {
            for (int32_t x = 0; x < width; ++x) {
                buffer[x] = alpha[x] == 0 ? 0 : palette.Exact.at(PairKey(pixels[x], alpha[x]));
            }
            return buffer.data();
        }
        for (int32_t x = 0; x < width; ++x) {
            buffer[x] =
                alpha != nullptr && alpha[x] != 255
                    ? 0
                    : static_cast<uint8_t>(palette.Quantizer->GetRGBIndex(pixels[x]) + layout.IndexOffset);
        }
        return buffer.data();
    }
    if (layout.ColorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        const uint8_t* alpha = alphaMask->GetScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            buffer[4 * x] = row[3 * x];
            buffer[4 * x + 1] = row[3 * x + 1];
            buffer[4 * x + 2] = row[3 * x + 2];
            buffer[4 * x + 3] = alpha[x];
        }
        return buffer.data();
    }
    return row;
}

bool WriteRows(TPngWriter& w, TKVBitmap& bitmap, const TKVMask* alphaMask, const TLayout& layout,
               const TPalette& palette, int passes, TProgressRec& progress)
{
    const int32_t height = bitmap.GetHeight();
    std::vector<uint8_t> buffer(size_t(bitmap.GetWidth()) * 4);
    CodecProgressBegin(progress, int64_t(height) * passes);
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < height; ++y) {
            if (CodecAborted(progress)) {
                return true;
            }
            png_bytep row = PrepareRow(bitmap, alphaMask, layout, palette, y, buffer);
            if (!PngGuard(w.Png, [&] { png_write_row(w.Png, row); })) {
                return false;
            }
            CodecProgressRows(progress, 1);
        }
    }
    return true;
}

} // namespace

void WritePNGStream(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                    const TKVMask* alphaMask)
{
    bool localAbort = false;
    bool* aborting = progress.Aborting != nullptr ? progress.Aborting : &localAbort;
    TPngWriter w;
    w.Stream = &stream;
    w.Aborting = aborting;
    w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    w.Info = w.Png != nullptr ? png_create_info_struct(w.Png) : nullptr;
    if (w.Info == nullptr) {
        throw Exception(CreateError);
    }
    png_set_write_fn(w.Png, &w, WriteData, FlushData);
    SetSideLimits(w.Png);

    TOneBitSource work = MakeWorkImage(bitmap, params);
    if (work.Bitmap->GetWidth() <= 0 || work.Bitmap->GetHeight() <= 0) {
        throw Exception(CreateError);
    }
    const bool maskFits = alphaMask != nullptr && alphaMask->BitsPerPixel == 8 &&
                          alphaMask->Width == work.Bitmap->GetWidth() &&
                          alphaMask->Height == work.Bitmap->GetHeight();
    const TKVMask* mask = maskFits ? alphaMask : nullptr;
    if (mask != nullptr && !mask->Full && work.Bitmap->GetPixelFormat() == kv1g) {
        ExpandOneBit(work);
    }
    TLayout layout = ChooseLayout(params, work, mask);
    TPalette palette;
    if (layout.Palette) {
        BuildPalette(layout, *work.Bitmap, mask, params, palette);
    } else if (layout.ColorType == PNG_COLOR_TYPE_PALETTE) {
        palette.Colors = {work.Dark, work.Light};
    }
    int passes = 1;
    bool ok = PngGuard(w.Png, [&] {
        SetHeader(w, layout, *work.Bitmap, params, palette);
        passes = png_set_interlace_handling(w.Png);
    });
    ok = ok && WriteRows(w, *work.Bitmap, mask, layout, palette, passes, progress);
    if (ok && !*aborting) {
        ok = PngGuard(w.Png, [&] { png_write_end(w.Png, nullptr); });
    }
    if (!ok) {
        throw Exception(CreateError);
    }
}

} // namespace Pngfiltw
