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
    return counter.Size();
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

// Saves Source as the page says: the size, or -1 when the format could not store it. JPEG and
// JPEG 2000 are kept in Kept to be decoded again.
int64_t Encode(TIOPreviewPage Page, const TIOPreviewsValues& v, TKorvaneIO& Encoder,
               TPreviewProgress& Progress, TMemoryStream& kept)
{
    TIOParamsVals& p = Encoder.Params();
    int64_t size = -1;
    switch (Page) {
    case ipgJPEG:
        Progress.Divisor = 2;
        p.JPEG_Quality = v.JPEG_Quality;
        p.JPEG_ColorSpace = v.JPEG_ColorSpace;
        p.JPEG_DCTMethod = v.JPEG_DCTMethod;
        p.JPEG_OptimalHuffman = v.JPEG_OptimalHuffman;
        p.JPEG_Smooth = v.JPEG_Smooth;
        p.JPEG_Progressive = v.JPEG_Progressive;
        Encoder.SaveToStreamJpeg(kept);
        size = kept.Size();
        break;
    case ipgJ2000:
        Progress.Divisor = 2;
        p.J2000_Rate = v.J2000_Rate;
        p.J2000_ColorSpace = v.J2000_ColorSpace;
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 3;
        Encoder.SaveToStreamJ2K(kept);
        size = kept.Size();
        break;
    case ipgTIFF:
        p.TIFF_LZWCompress = v.TIFF_LZWCompress;
        p.TIFF_LZWDecompress = v.TIFF_LZWDecompress;
        p.TIFF_Compression = v.TIFF_Compression;
        p.TIFF_PhotometInterpret = v.TIFF_PhotometInterpret;
        p.SamplesPerPixel = v.SamplesPerPixel;
        p.BitsPerSample = v.BitsPerSample;
        size = CountedSave(Encoder, &TKorvaneIO::SaveToStreamTIFF);
        break;
    case ipgGIF:
        p.GIF_LZWCompress = v.GIF_LZWCompress;
        p.GIF_LZWDecompress = v.GIF_LZWDecompress;
        p.BitsPerSample = v.BitsPerSample;
        p.SamplesPerPixel = 1;
        p.GIF_Interlaced = v.GIF_Interlaced;
        size = CountedSave(Encoder, &TKorvaneIO::SaveToStreamGif);
        break;
    case ipgBMP: {
        const TBitsSamples bs = BMPColors(v.BMP_ColorsIndex);
        p.BMP_Compression = v.BMP_Compression;
        p.BitsPerSample = bs.Bits;
        p.SamplesPerPixel = bs.Samples;
        size = CountedSave(Encoder, &TKorvaneIO::SaveToStreamBMP);
        break;
    }
    case ipgPCX: {
        const TBitsSamples bs = PCXColors(v.PCX_ColorsIndex);
        p.PCX_Compression = v.PCX_Compression;
        p.BitsPerSample = bs.Bits;
        p.SamplesPerPixel = bs.Samples;
        size = CountedSave(Encoder, &TKorvaneIO::SaveToStreamPCX);
        break;
    }
    case ipgPNG: {
        const TBitsSamples bs = PNGColors(v.PNG_ColorsIndex);
        p.BitsPerSample = bs.Bits;
        p.SamplesPerPixel = bs.Samples;
        p.PNG_Background = v.PNG_Background;
        p.PNG_Interlaced = v.PNG_Interlaced;
        p.PNG_Filter = v.PNG_Filter;
        p.PNG_Compression = v.PNG_Compression;
        size = CountedSave(Encoder, &TKorvaneIO::SaveToStreamPNG);
        break;
    }
    case ipgTGA: {
        const TBitsSamples bs = PNGColors(v.TGA_ColorsIndex);
        p.BitsPerSample = bs.Bits;
        p.SamplesPerPixel = bs.Samples;
        p.TGA_Background = v.TGA_Background;
        p.TGA_Compressed = v.TGA_Compressed;
        p.TGA_ImageName = v.TGA_ImageName;
        p.TGA_Descriptor = v.TGA_Descriptor;
        size = CountedSave(Encoder, &TKorvaneIO::SaveToStreamTGA);
        break;
    }
    case ipgNone:
        break;
    }
    return Encoder.Aborting ? -1 : size;
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
