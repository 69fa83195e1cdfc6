// Writes a bitmap as a one-frame GIF89a, and builds the frame blocks that insertion reuses.
#include "imaging/codecs/gif/gif_blocks.h"
#include "imaging/codecs/gif/gif_frame_builder.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/detail/codec_file.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace Giffilter::detail {

namespace {

// Delays past 655.35 seconds are written as the longest one the format holds.
uint16_t DelayWord(int32_t value)
{
    return uint16_t(std::clamp<int32_t>(value, 0, 0xFFFF));
}

// A frame read from a file keeps its disposal, none given included: the frames after it may be
// drawn as deltas over what it leaves, and viewers leave a frame with no disposal in place. Any
// other frame is restored to the background after it is shown.
uint8_t DisposalOf(const TIOParamsVals& params)
{
    switch (params.GIF_Action) {
    case ioGIF_None:
        return uint8_t(params.GIF_ActionUnspecified ? ioGIF_None : ioGIF_DrawBackground);
    case ioGIF_DontRemove:
    case ioGIF_DrawBackground:
    case ioGIF_RestorePrev:
        return uint8_t(params.GIF_Action);
    default:
        return uint8_t(ioGIF_DrawBackground);
    }
}

// The palette index of a colour: the quantizer's, or for a two-colour frame the nearer entry.
uint8_t PaletteIndex(const TKVQuantizer* quantizer, const std::vector<TRGB>& palette, int32_t colours,
                     const TRGB& colour)
{
    return uint8_t(quantizer != nullptr ? quantizer->GetRGBIndex(colour)
                                        : Korvaneproc::_GetSimilColor(palette.data(), colours, colour));
}

TKVBitmap* ColourImage(TKVBitmap& bitmap, std::unique_ptr<TKVBitmap>& owned)
{
    if (bitmap.GetPixelFormat() == kv24RGB)
        return &bitmap;
    owned = std::make_unique<TKVBitmap>();
    owned->Assign(&bitmap);
    owned->ConvertToPixelFormat(kv24RGB);
    return owned.get();
}

} // namespace

bool BuildFrame(TKVBitmap& bitmap, TIOParamsVals& params, bool eightBitFallback, GifFrame& frame)
{
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    auto fitsWord = [](int32_t value) { return value >= 0 && value <= 0xFFFF; };
    if (width == 0 || height == 0 || !fitsWord(width) || !fitsWord(height) || !fitsWord(params.GIF_XPos) ||
        !fitsWord(params.GIF_YPos))
        return false;
    // Bits outside 1..8 (say 16, left by a PNG) would overflow the packed fields.
    int32_t bits = std::clamp<int32_t>(params.BitsPerSample, 1, 8);
    TKVBitmap* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel() : nullptr;
    const bool hasAlpha = alpha != nullptr && alpha->GetWidth() == width && alpha->GetHeight() == height;
    std::unique_ptr<TKVBitmap> owned;
    TKVBitmap* oneBit = nullptr;
    TRGB dark{0, 0, 0}, light{255, 255, 255};
    if (bits == 1) {
        TOneBitSource source = MakeOneBitSource(bitmap, !eightBitFallback);
        oneBit = source.Bitmap;
        owned = std::move(source.Owned);
        dark = source.Dark;
        light = source.Light;
        if (oneBit == nullptr)
            bits = 8;
    }
    // The last index of the table is kept for transparency. Two colours cannot spare one, so
    // a two-colour image with alpha is written with 2 bits: 0 dark, 1 light, 2 transparent.
    int32_t colours = 1 << bits;
    if (oneBit != nullptr && hasAlpha) {
        bits = 2;
        colours = 2;
    } else if (hasAlpha) {
        colours--;
    }
    if (hasAlpha)
        params.GIF_FlagTranspColor = true;
    frame.Bits = bits;
    frame.Width = width;
    frame.Height = height;
    frame.Palette.assign(size_t(1) << bits, TRGB{});
    frame.Indexes.assign(size_t(width) * size_t(height), 0);

    std::unique_ptr<TKVQuantizer> quantizer;
    if (oneBit != nullptr) {
        frame.Palette[0] = dark;
        frame.Palette[1] = light;
        for (int32_t y = 0; y < height; y++) {
            const uint8_t* row = oneBit->GetScanLine(y);
            uint8_t* out = frame.Indexes.data() + size_t(y) * size_t(width);
            for (int32_t x = 0; x < width; x++)
                out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    } else {
        TKVBitmap* image = ColourImage(bitmap, owned);
        quantizer = std::make_unique<TKVQuantizer>(image, std::span<TRGB>(frame.Palette), colours, -1, 0);
        for (int32_t y = 0; y < height; y++) {
            const auto* row = reinterpret_cast<const TRGB*>(image->GetScanLine(y));
            uint8_t* out = frame.Indexes.data() + size_t(y) * size_t(width);
            for (int32_t x = 0; x < width; x++)
                out[x] = uint8_t(quantizer->GetRGBIndex(row[x]));
        }
    }
    if (hasAlpha) {
        // The colour behind the transparent index is what a reader takes as the picture's
        // transparent (and background) colour, so a file saved again keeps it.
        frame.Palette[size_t(colours)] = params.GIF_TranspColor;
        for (int32_t y = 0; y < height; y++) {
            const uint8_t* row = alpha->GetScanLine(y);
            uint8_t* out = frame.Indexes.data() + size_t(y) * size_t(width);
            for (int32_t x = 0; x < width; x++)
                if (row[x] < 255)
                    out[x] = uint8_t(colours);
        }
    }
    frame.TransparentIndex =
        hasAlpha ? uint8_t(colours)
                 : PaletteIndex(quantizer.get(), frame.Palette, colours, params.GIF_TranspColor);
    frame.BackgroundIndex = PaletteIndex(quantizer.get(), frame.Palette, colours, params.GIF_Background);
    return true;
}

void WriteColourTable(TStream& stream, bool& aborting, const std::vector<TRGB>& palette)
{
    std::vector<uint8_t> raw(palette.size() * 3);
    for (size_t i = 0; i < palette.size(); ++i) {
        raw[3 * i] = palette[i].r;
        raw[3 * i + 1] = palette[i].g;
        raw[3 * i + 2] = palette[i].b;
    }
    Put(stream, aborting, raw.data(), int64_t(raw.size()));
}

void WriteGraphicControl(TStream& stream, bool& aborting, const TIOParamsVals& params, const GifFrame& frame)
{
    const uint8_t block[3] = {ExtensionIntroducer, GraphicControlLabel, 4};
    Put(stream, aborting, block, 3);
    PutByte(stream, aborting, uint8_t((params.GIF_FlagTranspColor ? 1 : 0) | DisposalOf(params) << 2));
    PutWord(stream, aborting, DelayWord(params.GIF_DelayTime));
    PutByte(stream, aborting, frame.TransparentIndex);
    PutByte(stream, aborting, 0);
}

bool WriteImage(TStream& stream, bool& aborting, const TIOParamsVals& params, const GifFrame& frame,
                bool localTable, TProgressRec& progress)
{
    PutByte(stream, aborting, ImageSeparator);
    PutWord(stream, aborting, uint16_t(params.GIF_XPos));
    PutWord(stream, aborting, uint16_t(params.GIF_YPos));
    PutWord(stream, aborting, uint16_t(frame.Width));
    PutWord(stream, aborting, uint16_t(frame.Height));
    uint8_t packed = uint8_t(params.GIF_Interlaced ? 0x40 : 0);
    if (localTable)
        packed |= uint8_t(0x80 | (frame.Bits - 1));
    PutByte(stream, aborting, packed);
    if (localTable)
        WriteColourTable(stream, aborting, frame.Palette);
    Report(progress, 70);
    TGIFLZWCompFunc compress =
        params.GIF_LZWCompress ? params.GIF_LZWCompress : Korvaneio::DefGIF_LZWCOMPFUNC;
    if (compress == nullptr) {
        aborting = true;
        return false;
    }
    compress(stream, frame.Height, frame.Width, params.GIF_Interlaced, frame.Indexes.data(), frame.Bits);
    return true;
}

} // namespace Giffilter::detail

namespace Giffilter {

using namespace detail;

namespace {

// Comment lines go out as sub-blocks of at most 255 bytes; an empty line would end the
// extension early, so it is left out. Without text there is no extension at all: an empty one
// is refused by common readers.
void WriteComments(TStream& stream, bool& aborting, const TIOParamsVals& params)
{
    bool anyText = false;
    for (int32_t i = 0; i < params.GIF_Comments.Count() && !anyText; i++)
        anyText = !params.GIF_Comments.Strings(i).empty();
    if (!anyText)
        return;
    const uint8_t block[2] = {ExtensionIntroducer, CommentLabel};
    Put(stream, aborting, block, 2);
    for (int32_t i = 0; i < params.GIF_Comments.Count(); i++) {
        const std::string line = params.GIF_Comments.Strings(i);
        for (size_t at = 0; at < line.size(); at += 255) {
            size_t n = std::min<size_t>(255, line.size() - at);
            PutByte(stream, aborting, uint8_t(n));
            Put(stream, aborting, line.data() + at, int64_t(n));
        }
    }
    PutByte(stream, aborting, 0);
}

} // namespace

void WriteGifStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    Report(Progress, 0);
    if (aborting)
        return;
    GifFrame frame;
    if (!BuildFrame(Bitmap, Params, false, frame)) {
        aborting = true;
        return;
    }
    Report(Progress, 30);
    if (aborting)
        return;

    // The screen holds the frame where the record places it.
    const int32_t screenWidth = Params.GIF_XPos + frame.Width, screenHeight = Params.GIF_YPos + frame.Height;
    if (screenWidth > 0xFFFF || screenHeight > 0xFFFF) {
        aborting = true;
        return;
    }
    // The graphic control extension below is written always, and extensions need GIF89a,
    // whatever version the picture was read from.
    Put(Stream, aborting, "GIF89a", 6);
    PutWord(Stream, aborting, uint16_t(screenWidth));
    PutWord(Stream, aborting, uint16_t(screenHeight));
    PutByte(Stream, aborting, uint8_t(0x80 | (frame.Bits - 1) << 4 | (frame.Bits - 1)));
    PutByte(Stream, aborting, frame.BackgroundIndex);
    PutByte(Stream, aborting, 0);
    WriteColourTable(Stream, aborting, frame.Palette);
    WriteGraphicControl(Stream, aborting, Params, frame);
    if (!WriteImage(Stream, aborting, Params, frame, false, Progress))
        return;
    WriteComments(Stream, aborting, Params);
    PutByte(Stream, aborting, Trailer);
    Report(Progress, 100);
}

void WriteGif(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    Codecs::detail::WriteCodecFile(FileName, Progress, [&](TStream& stream, TProgressRec& progress) {
        WriteGifStream(stream, Bitmap, Params, progress);
    });
}

} // namespace Giffilter
