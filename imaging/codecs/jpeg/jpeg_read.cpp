// The JPEG reader and probe: stream to TKVBitmap through the JPEG library.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include "imaging/codecs/jpeg/detail/jpeg_glue.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/resolution.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace Jpegfilt {

using namespace detail;

namespace {

// Everything of one decode that the library may touch, kept off the stack so that the guarded
// calls skip no destructors when an error jumps back.
struct TJpegReader
{
    jpeg_decompress_struct Info{};
    TJpegErrorMgr Error;
    bool Created = false;
    std::unique_ptr<TJpegSource> Source = std::make_unique<TJpegSource>();
    std::unique_ptr<TJpegSource> TablesSource;

    ~TJpegReader()
    {
        if (Created) {
            jpeg_destroy_decompress(&Info);
        }
    }
};

bool Create(TJpegReader& r, bool* aborting)
{
    r.Info.err = InitErrorMgr(r.Error, aborting);
    r.Created = JpegGuard(r.Error, [&r] { jpeg_create_decompress(&r.Info); });
    return r.Created;
}

// Loads the quantisation and Huffman tables of a tables-only JPEG into the decoder.
bool ReadTables(TJpegReader& r, TStream& tables, bool* aborting)
{
    r.TablesSource = std::make_unique<TJpegSource>();
    AttachSource(&r.Info, *r.TablesSource, tables, aborting);
    return JpegGuard(r.Error, [&r] { jpeg_read_header(&r.Info, FALSE); });
}

bool ReadHeader(TJpegReader& r)
{
    return JpegGuard(r.Error, [&r] {
        jpeg_save_markers(&r.Info, JPEG_COM, 0xFFFF);
        for (int m = 0; m < 16; ++m) {
            jpeg_save_markers(&r.Info, JPEG_APP0 + m, 0xFFFF);
        }
        jpeg_read_header(&r.Info, TRUE);
    });
}

// Chooses the colour space of the output; false for a component layout the bitmap cannot take.
// Grey is expanded to three equal channels; CMYK and YCCK come out as CMYK for the glue to turn
// into colour.
bool SetOutputColorSpace(jpeg_decompress_struct& info, TIOParamsVals& params, bool ycbcrOutput)
{
    struct TSpace
    {
        J_COLOR_SPACE File;
        TIOJPEGColorspace ColorSpace;
        int32_t Samples;
        J_COLOR_SPACE Output;
    };
    static const TSpace spaces[] = {{JCS_GRAYSCALE, ioJPEG_GRAYLEV, 1, JCS_EXT_BGR},
                                    {JCS_RGB, ioJPEG_RGB, 3, JCS_EXT_BGR},
                                    {JCS_YCbCr, ioJPEG_YCbCr, 3, JCS_EXT_BGR},
                                    {JCS_CMYK, ioJPEG_CMYK, 4, JCS_CMYK},
                                    {JCS_YCCK, ioJPEG_YCbCrK, 4, JCS_CMYK}};
    const auto space = std::find_if(std::begin(spaces), std::end(spaces),
                                    [&info](const TSpace& s) { return s.File == info.jpeg_color_space; });
    if (space == std::end(spaces)) {
        return false;
    }
    params.BitsPerSample = 8;
    params.JPEG_ColorSpace = space->ColorSpace;
    params.SamplesPerPixel = space->Samples;
    info.out_color_space = space->Output;
    if (ycbcrOutput && info.num_components == 3) {
        // The components as decoded, whatever the file says they are: no conversion at all.
        info.jpeg_color_space = JCS_YCbCr;
        info.out_color_space = JCS_YCbCr;
    }
    return true;
}

void ReadDensity(const jpeg_decompress_struct& info, TIOParamsVals& params)
{
    switch (info.density_unit) {
    case 0: // an aspect ratio only (1:1 by default, also without a JFIF header): no resolution
        params.DpiX = Kvview::gSystemDPIX;
        params.DpiY = Kvview::gSystemDPIY;
        break;
    case 1:
        params.DpiX = info.X_density;
        params.DpiY = info.Y_density;
        break;
    case 2:
        params.DpiX = DotsPerInch(info.X_density, TResolutionUnit::Centimetre);
        params.DpiY = DotsPerInch(info.Y_density, TResolutionUnit::Centimetre);
        break;
    default:
        break;
    }
}

int32_t ScaleDenominator(const jpeg_decompress_struct& info, const TIOParamsVals& params)
{
    switch (params.JPEG_Scale) {
    case ioJPEG_HALF:
        return 2;
    case ioJPEG_QUARTER:
        return 4;
    case ioJPEG_EIGHTH:
        return 8;
    case ioJPEG_AUTOCALC:
        if (params.Width < 1 || params.Height < 1) {
            return 1;
        }
        for (int32_t d : {8, 4, 2}) {
            if (int64_t(info.image_width) / d >= params.Width &&
                int64_t(info.image_height) / d >= params.Height) {
                return d;
            }
        }
        return 1;
    default:
        return 1;
    }
}

// A header may declare up to 65500 x 65500 pixels in a few bytes; multi-scan files also keep a
// whole-image coefficient buffer.
bool WithinPixelBudget(const jpeg_decompress_struct& info)
{
    const int64_t output = int64_t(info.output_width) * info.output_height;
    return output <= KVCodecMaxPixels &&
           (!jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&info)) || CoefficientsWithinBudget(info));
}

// Inverted CMYK (255 = no ink) as Adobe applications write it; plain CMYK is inverted first.
void CmykToBgr(const uint8_t* cmyk, uint8_t* bgr, uint32_t width, bool inverted)
{
    const uint32_t invert = inverted ? 0 : 255;
    for (uint32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const uint32_t k = cmyk[3] ^ invert;
        bgr[0] = static_cast<uint8_t>(k * (cmyk[2] ^ invert) / 255);
        bgr[1] = static_cast<uint8_t>(k * (cmyk[1] ^ invert) / 255);
        bgr[2] = static_cast<uint8_t>(k * (cmyk[0] ^ invert) / 255);
    }
}

// Decodes every row into the bitmap; false when the library failed or the read was aborted.
bool DecodeRows(TJpegReader& r, TKVBitmap& bitmap, TProgressRec& progress, bool cmykAsTiff)
{
    jpeg_decompress_struct& info = r.Info;
    const uint32_t width = info.output_width;
    const uint32_t height = info.output_height;
    bitmap.Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), kv24RGB);
    std::vector<uint8_t> cmykRow(info.out_color_space == JCS_CMYK ? size_t(width) * 4 : 0);
    const bool invertedCmyk = !cmykAsTiff || info.saw_Adobe_marker;
    CodecProgressBegin(progress, height);
    uint32_t done = 0;
    while (done < height && !CodecAborted(progress)) {
        auto* row = static_cast<uint8_t*>(bitmap.GetScanLine(static_cast<int32_t>(done)));
        JSAMPROW target = cmykRow.empty() ? row : cmykRow.data();
        JDIMENSION got = 0;
        if (!JpegGuard(r.Error, [&] { got = jpeg_read_scanlines(&info, &target, 1); }) || got == 0) {
            break;
        }
        if (!cmykRow.empty()) {
            CmykToBgr(cmykRow.data(), row, width, invertedCmyk);
        }
        ++done;
        CodecProgressRows(progress, 1);
    }
    // A failure or a stop leaves the rest black, not what the allocation held.
    for (uint32_t y = done; y < height; ++y) {
        std::fill_n(static_cast<uint8_t*>(bitmap.GetScanLine(static_cast<int32_t>(y))),
                    size_t(bitmap.GetRowLen()), uint8_t(0));
    }
    return done == height;
}

// The saved COM and APPn segments in file order, without a leading APP0 (the JFIF header,
// which the writer makes anew).
void CollectMarkers(const jpeg_decompress_struct& info, TKVMarkerList& markers)
{
    markers.Clear();
    bool first = true;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (!(first && m->marker == JPEG_APP0)) {
            markers.AddMarker(m->marker, m->data, static_cast<int32_t>(m->data_length));
        }
        first = false;
    }
}

// Steps up to the decoded rows; false ends the read with the abort flag set.
bool Decode(TJpegReader& r, TStream& input, TStream* tables, TKVBitmap& bitmap, TIOParamsVals& params,
            TProgressRec& progress, bool paramsOnly, bool ycbcrOutput, bool* aborting, bool* hasResolution,
            bool cmykAsTiff)
{
    jpeg_decompress_struct& info = r.Info;
    if (tables != nullptr && tables != &input && !ReadTables(r, *tables, aborting)) {
        return false;
    }
    AttachSource(&info, *r.Source, input, aborting);
    if (!ReadHeader(r) || !SetOutputColorSpace(info, params, ycbcrOutput)) {
        return false;
    }
    static const J_DCT_METHOD dctMethods[] = {JDCT_ISLOW, JDCT_IFAST, JDCT_FLOAT};
    info.dct_method = params.JPEG_DCTMethod < 3 ? dctMethods[params.JPEG_DCTMethod] : JDCT_ISLOW;
    ReadDensity(info, params);
    if (hasResolution != nullptr) {
        *hasResolution = info.density_unit == 1 || info.density_unit == 2;
    }
    params.FreeColorMap();
    params.JPEG_Progressive = info.progressive_mode != 0;
    params.JPEG_OriginalWidth = static_cast<int32_t>(info.image_width);
    params.JPEG_OriginalHeight = static_cast<int32_t>(info.image_height);
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(ScaleDenominator(info, params));
    params.JPEG_Scale_Used = static_cast<int32_t>(info.scale_denom);
    if (!JpegGuard(r.Error, [&info] { jpeg_calc_output_dimensions(&info); })) {
        return false;
    }
    params.Width = static_cast<int32_t>(info.output_width);
    params.Height = static_cast<int32_t>(info.output_height);
    if (paramsOnly) {
        return true;
    }
    if (!WithinPixelBudget(info) || !JpegGuard(r.Error, [&info] { jpeg_start_decompress(&info); })) {
        return false;
    }
    return DecodeRows(r, bitmap, progress, cmykAsTiff);
}

} // namespace

int64_t JpegTryStream(TStream& stream)
{
    const int64_t start = stream.Position();
    uint8_t bytes[102];
    const int64_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    for (int64_t q = 0; q + 2 < got; ++q) {
        if (bytes[q] == 0xFF && bytes[q + 1] == 0xD8 && bytes[q + 2] == 0xFF) {
            return start + q;
        }
    }
    return -1;
}

void ReadJPegStream(TStream& input, TStream* tables, TKVBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress, bool paramsOnly, bool ycbcrOutput, bool* hasResolution,
                    bool cmykAsTiff)
{
    bool localAbort = false;
    bool* aborting = progress.Aborting != nullptr ? progress.Aborting : &localAbort;
    params.JPEG_WarningTot = 0;
    params.JPEG_WarningCode = 0;
    TJpegReader r;
    bool ok = false;
    try {
        const int64_t start = JpegTryStream(input);
        if (start < 0) {
            *aborting = true;
            return;
        }
        input.SetPosition(start);
        ok = Create(r, aborting) && Decode(r, input, tables, bitmap, params, progress, paramsOnly,
                                           ycbcrOutput, aborting, hasResolution, cmykAsTiff);
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        *aborting = true;
    }
    if (!r.Created) {
        return;
    }
    try {
        CollectMarkers(r.Info, params.JPEG_MarkerList);
    } catch (...) {
        *aborting = true;
    }
    if (!*aborting && !paramsOnly) {
        r.Error.Aborting = nullptr;
        JpegGuard(r.Error, [&r] { jpeg_finish_decompress(&r.Info); });
    }
    if (r.Error.WarningCount > 0) {
        params.JPEG_WarningTot = r.Error.WarningCount;
        params.JPEG_WarningCode = r.Error.LastWarningCode;
    }
}

} // namespace Jpegfilt
