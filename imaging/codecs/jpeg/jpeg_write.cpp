// The JPEG writer: TKVBitmap to stream through the JPEG library.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include "imaging/codecs/jpeg/detail/jpeg_glue.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/exif_buffer.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace Jpegfilt {

using namespace detail;

namespace {

struct TJpegWriter
{
    jpeg_compress_struct Info{};
    TJpegErrorMgr Error;
    bool Created = false;
    std::unique_ptr<TJpegDestination> Destination = std::make_unique<TJpegDestination>();

    ~TJpegWriter()
    {
        if (Created) {
            jpeg_destroy_compress(&Info);
        }
    }
};

// How the rows of the bitmap reach the library.
enum class TRowSource
{
    Stored,
    Bits,
    Cmyk
};

uint16_t Density(int32_t dpi, int32_t screenDpi)
{
    return static_cast<uint16_t>(std::clamp(dpi != 0 ? dpi : screenDpi, 1, 65535));
}

void Configure(jpeg_compress_struct& info, const TKVBitmap& bitmap, const TIOParamsVals& params)
{
    info.image_width = static_cast<JDIMENSION>(bitmap.GetWidth());
    info.image_height = static_cast<JDIMENSION>(bitmap.GetHeight());
    static const J_COLOR_SPACE fileSpaces[] = {JCS_RGB, JCS_GRAYSCALE, JCS_YCbCr, JCS_CMYK, JCS_YCCK};
    const J_COLOR_SPACE fileSpace =
        params.JPEG_ColorSpace < 5 ? fileSpaces[params.JPEG_ColorSpace] : JCS_YCbCr;
    const bool cmykInput = fileSpace == JCS_CMYK || fileSpace == JCS_YCCK;
    info.input_components = cmykInput ? 4 : 3;
    info.in_color_space = cmykInput ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    // The library writes the JFIF header (and with it the density) only for grey and YCbCr files;
    // RGB and CMYK files carry the Adobe segment instead.
    jpeg_set_colorspace(&info, fileSpace);
    info.density_unit = 1;
    info.X_density = Density(params.DpiX, Kvview::gSystemDPIX);
    info.Y_density = Density(params.DpiY, Kvview::gSystemDPIY);
    static const J_DCT_METHOD dctMethods[] = {JDCT_ISLOW, JDCT_IFAST, JDCT_FLOAT};
    info.dct_method = params.JPEG_DCTMethod < 3 ? dctMethods[params.JPEG_DCTMethod] : JDCT_ISLOW;
    info.optimize_coding = params.JPEG_OptimalHuffman ? TRUE : FALSE;
    info.smoothing_factor = std::clamp(params.JPEG_Smooth, 0, 100);
    jpeg_set_quality(&info, std::clamp(params.JPEG_Quality, 1, 100), TRUE);
    if (params.JPEG_Progressive) {
        jpeg_simple_progression(&info);
    }
}

bool IsCarriedSegment(uint8_t markerType)
{
    // APP14 is the writer's own (the library writes the Adobe segment when it needs one).
    const bool appSegment = markerType >= JPEG_APP0 && markerType <= JPEG_APP0 + 15;
    return (appSegment && markerType != JPEG_APP0 + 14) || markerType == JPEG_COM;
}

// The marker list's segments after the headers; one too long for a segment is left out and
// sets the abort flag. Segment types other than APPn and COM have no place there. EXIF data
// tells the size of the picture it is written with.
bool WriteMarkers(TJpegWriter& w, const TKVMarkerList& markers, bool* aborting)
{
    std::vector<JOCTET> exif; // out of the guard, which a library error leaves by a jump
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        const uint8_t markerType = markers.GetMarkerType(i);
        const int32_t length = markers.GetMarkerLength(i);
        if (!IsCarriedSegment(markerType)) {
            continue;
        }
        if (length > TKVMarkerList::MaxMarkerLength) {
            *aborting = true;
            continue;
        }
        const JOCTET* data = markers.GetMarkerData(i);
        if (markerType == JPEG_APP0 + 1 && Daduvudez::IsEXIFBlock(data, length)) {
            exif.assign(data, data + length);
            Daduvudez::SetEXIFPictureSize(exif.data(), length, w.Info.image_width, w.Info.image_height);
            data = exif.data();
        }
        if (!JpegGuard(w.Error, [&] {
                jpeg_write_marker(&w.Info, markerType, data, static_cast<unsigned int>(length));
            })) {
            return false;
        }
    }
    return true;
}

void BitsToBgr(const uint8_t* bits, uint8_t* bgr, int32_t width)
{
    for (int32_t x = 0; x < width; ++x, bgr += 3) {
        const uint8_t value = (bits[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
        bgr[0] = bgr[1] = bgr[2] = value;
    }
}

// Inverted CMYK, as the reader takes it back: k' = max(r, g, b) (1 for black), c = r * 255 / k'.
void BgrToCmyk(const uint8_t* bgr, uint8_t* cmyk, int32_t width)
{
    for (int32_t x = 0; x < width; ++x, bgr += 3, cmyk += 4) {
        const uint32_t b = bgr[0];
        const uint32_t g = bgr[1];
        const uint32_t r = bgr[2];
        const uint32_t k = std::max({r, g, b, 1u});
        cmyk[0] = static_cast<uint8_t>(r * 255 / k);
        cmyk[1] = static_cast<uint8_t>(g * 255 / k);
        cmyk[2] = static_cast<uint8_t>(b * 255 / k);
        cmyk[3] = static_cast<uint8_t>(k);
    }
}

bool WriteRows(TJpegWriter& w, TKVBitmap& bitmap, TProgressRec& progress)
{
    const int32_t width = bitmap.GetWidth();
    const int32_t height = bitmap.GetHeight();
    const bool bits = bitmap.GetPixelFormat() == kv1g;
    const bool cmyk = w.Info.in_color_space == JCS_CMYK;
    std::vector<uint8_t> bgrRow(bits ? size_t(width) * 3 : 0);
    std::vector<uint8_t> cmykRow(cmyk ? size_t(width) * 4 : 0);
    CodecProgressBegin(progress, height);
    for (int32_t y = 0; y < height && !CodecAborted(progress); ++y) {
        auto* row = static_cast<uint8_t*>(bitmap.GetScanLine(y));
        if (bits) {
            BitsToBgr(row, bgrRow.data(), width);
            row = bgrRow.data();
        }
        if (cmyk) {
            BgrToCmyk(row, cmykRow.data(), width);
            row = cmykRow.data();
        }
        JSAMPROW sample = row;
        if (!JpegGuard(w.Error, [&] { jpeg_write_scanlines(&w.Info, &sample, 1); })) {
            return false;
        }
        CodecProgressRows(progress, 1);
    }
    return true;
}

} // namespace

void WriteJPegStream(TStream& output, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress)
{
    bool localAbort = false;
    bool* aborting = progress.Aborting != nullptr ? progress.Aborting : &localAbort;
    // Rows go to the library as 24-bit or 1-bit; any other format is converted first.
    std::unique_ptr<TKVBitmap> converted;
    TKVBitmap* source = &bitmap;
    if (bitmap.GetPixelFormat() != kv24RGB && bitmap.GetPixelFormat() != kv1g) {
        converted = std::make_unique<TKVBitmap>();
        converted->Assign(&bitmap);
        converted->ConvertToPixelFormat(kv24RGB);
        source = converted.get();
    }
    if (source->GetWidth() <= 0 || source->GetHeight() <= 0) {
        *aborting = true;
        return;
    }
    TJpegWriter w;
    w.Info.err = InitErrorMgr(w.Error, aborting);
    w.Created = JpegGuard(w.Error, [&w] { jpeg_create_compress(&w.Info); });
    bool ok = w.Created;
    if (ok) {
        AttachDestination(&w.Info, *w.Destination, output, aborting);
        ok = JpegGuard(w.Error, [&] {
            Configure(w.Info, *source, params);
            jpeg_start_compress(&w.Info, TRUE);
        });
    }
    ok = ok && WriteMarkers(w, params.JPEG_MarkerList, aborting) && WriteRows(w, *source, progress);
    if (ok && !*aborting) {
        ok = JpegGuard(w.Error, [&w] { jpeg_finish_compress(&w.Info); });
    }
    if (!ok) {
        *aborting = true;
        throw EKVJpegException(JpegMessageText(w.Error.Pub.msg_code));
    }
}

} // namespace Jpegfilt
