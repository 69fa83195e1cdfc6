// Iopreviews: the live preview, which encodes the source as the page would save it and shows
// what the file would hold.
#include "imaging/core/bit_utils.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/stream_utils.h"
#include "imaging/dialogs/iopreviews_values.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace Iopreviews {

namespace {

using Daduvudez::_GetNumCol;

// Lossless formats: the bytes are counted, never kept.
int64_t CountedSave(TKorvaneIO& encoder, void (TKorvaneIO::*save)(TStream&))
{
    TNulStream counter;
    (encoder.*save)(counter);
    return encoder.Aborting ? -1 : counter.Size();
}

// Target becomes Source reduced to a palette of n colours, which the encoder's parameters keep
// as their colour map; more than 256 colours are shown as they are, without a map.
void ReduceToPalette(TKorvaneIO& encoder, TKorvaneProc& proc, TKVBitmap* target, int64_t colours,
                     TKVDitherMethod dither)
{
    TIOParamsVals& params = encoder.Params();
    if (colours > 256) {
        params.FreeColorMap();
        return;
    }
    const int32_t n = int32_t(colours);
    std::vector<TRGB> palette(size_t(std::max(n, 2)));
    if (target->GetPixelFormat() == kv1g) {
        // Already two colours: black and white.
        palette[1] = TRGB{255, 255, 255};
    } else {
        proc.ConvertToPalette(n, palette, dither);
    }
    params.AllocColorMap(n);
    std::copy_n(palette.begin(), std::min<size_t>(size_t(n), palette.size()), params.ColorMap.get());
}

bool IsGreyEight(const TIOPreviewsValues& v)
{
    return (v.TIFF_PhotometInterpret == ioTIFF_WHITEISZERO ||
            v.TIFF_PhotometInterpret == ioTIFF_BLACKISZERO) &&
           v.BitsPerSample == 8 && v.SamplesPerPixel == 1;
}

void ReduceColours(TKorvaneProc& proc, int64_t colours, TKVDitherMethod dither)
{
    if (colours <= 256) {
        proc.ConvertTo(int32_t(colours), dither);
    }
}

// Saves Source with the page's values, as a save after OK would: the size, or -1 when the format
// could not store it. JPEG and JPEG 2000 are kept in Kept to be decoded again.
int64_t Encode(TIOPreviewPage Page, const TIOPreviewsValues& v, TKorvaneIO& Encoder,
               TPreviewProgress& Progress, TMemoryStream& kept)
{
    TIOParamsVals& p = Encoder.Params();
    v.WriteTo(Page, p);
    switch (Page) {
    case ipgJPEG:
        Progress.Divisor = 2;
        Encoder.SaveToStreamJpeg(kept);
        return Encoder.Aborting ? -1 : kept.Size();
    case ipgJ2000:
        Progress.Divisor = 2;
        Encoder.SaveToStreamJ2K(kept);
        return Encoder.Aborting ? -1 : kept.Size();
    case ipgTIFF:
        p.TIFF_LZWCompress = v.TIFF_LZWCompress;
        p.TIFF_LZWDecompress = v.TIFF_LZWDecompress;
        return CountedSave(Encoder, &TKorvaneIO::SaveToStreamTIFF);
    case ipgGIF:
        p.GIF_LZWCompress = v.GIF_LZWCompress;
        p.GIF_LZWDecompress = v.GIF_LZWDecompress;
        p.SamplesPerPixel = 1;
        return CountedSave(Encoder, &TKorvaneIO::SaveToStreamGif);
    case ipgBMP:
        return CountedSave(Encoder, &TKorvaneIO::SaveToStreamBMP);
    case ipgPCX:
        return CountedSave(Encoder, &TKorvaneIO::SaveToStreamPCX);
    case ipgPNG:
        return CountedSave(Encoder, &TKorvaneIO::SaveToStreamPNG);
    case ipgTGA:
        return CountedSave(Encoder, &TKorvaneIO::SaveToStreamTGA);
    case ipgNone:
        break;
    }
    return -1;
}

} // namespace

int64_t RenderPreview(TIOPreviewPage Page, const TIOPreviewsValues& v, TKVBitmap* Source, TKVBitmap* Target,
                      TKorvaneIO& Encoder, TKorvaneProc& Proc, TKVDitherMethod DitherMethod,
                      TPreviewProgress& Progress)
{
    if (Source == nullptr || Target == nullptr || Page == ipgNone) {
        return -1;
    }
    Encoder.SetDefaultDitherMethod(DitherMethod);
    Encoder.SetAttachedKVBitmap(Source);
    Progress = TPreviewProgress{};
    TIOParamsVals& p = Encoder.Params();
    TMemoryStream kept;
    const bool decode = Page == ipgJPEG || Page == ipgJ2000;
    int64_t size = -1;
    try {
        size = Encode(Page, v, Encoder, Progress, kept);
    } catch (const std::exception&) {
        // A writer that refuses the picture (an empty one, say) raises; the preview says so.
        size = -1;
    }

    // A picture the format could not store shows as it is, with no size and no colour map.
    const bool failed = size < 0;
    if (failed) {
        p.FreeColorMap();
    }
    if (decode && !failed) {
        kept.SetPosition(0);
        Encoder.SetAttachedKVBitmap(Target);
        Progress.Base = 50;
        try {
            if (Page == ipgJPEG) {
                Encoder.LoadFromStreamJpeg(kept);
            } else {
                Encoder.LoadFromStreamJ2K(kept);
            }
        } catch (const std::exception&) {
            Target->AssignImage(Source);
        }
    } else {
        Target->AssignImage(Source);
    }
    Encoder.SetAttachedKVBitmap(nullptr);
    if (failed || decode) {
        return size;
    }

    Proc.SetAttachedKVBitmap(Target);
    switch (Page) {
    case ipgTIFF:
        if (IsGreyEight(v)) {
            Proc.ConvertToGray();
            p.FreeColorMap();
        } else if (v.TIFF_PhotometInterpret < ioTIFF_CMYK) {
            ReduceToPalette(Encoder, Proc, Target, _GetNumCol(v.BitsPerSample, v.SamplesPerPixel),
                            DitherMethod);
        }
        break;
    case ipgGIF:
    case ipgPNG:
    case ipgTGA:
        ReduceToPalette(Encoder, Proc, Target, _GetNumCol(p.BitsPerSample, p.SamplesPerPixel), DitherMethod);
        break;
    case ipgBMP:
    case ipgPCX:
        ReduceColours(Proc, _GetNumCol(p.BitsPerSample, p.SamplesPerPixel), DitherMethod);
        break;
    default:
        break;
    }
    Proc.SetAttachedKVBitmap(nullptr);
    return size;
}

} // namespace Iopreviews
