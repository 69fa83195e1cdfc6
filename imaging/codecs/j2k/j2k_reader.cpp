// Reads JP2 files and JPEG 2000 code streams into kv1g or kv24RGB bitmaps.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/j2k/detail/declared_layout.h"
#include "imaging/codecs/j2k/detail/j2k_glue.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace Kvj2000 {

namespace {

using namespace detail;

const uint8_t JP2Signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
const uint8_t CodeStreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};

bool StartsWith(TStream& stream, const uint8_t* signature, int64_t length)
{
    const int64_t start = stream.Position();
    uint8_t head[12] = {};
    const bool found =
        stream.Read(head, length) == length && std::memcmp(head, signature, size_t(length)) == 0;
    stream.SetPosition(start);
    return found;
}

// Chroma tables of the YCbCr to RGB conversion, indexed by the 8-bit Cb or Cr.
struct TYCbCrTables
{
    std::array<int32_t, 256> Red, Blue, GreenCr, GreenCb;

    TYCbCrTables()
    {
        const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
        const float crToRed = 2 - 2 * kr, cbToBlue = 2 - 2 * kb;
        const float crToGreen = kr * (2 - 2 * kr) / kg, cbToGreen = kb * (2 - 2 * kb) / kg;
        for (int v = 0; v < 256; ++v) {
            const int i = v - 128;
            Red[size_t(v)] = Round(double(i * crToRed));
            Blue[size_t(v)] = Round(double(i * cbToBlue));
            GreenCr[size_t(v)] = -Round(double(i * crToGreen));
            GreenCb[size_t(v)] = -Round(double(i * cbToGreen));
        }
    }
};

const TYCbCrTables& Tables()
{
    static const TYCbCrTables tables;
    return tables;
}

enum class TModel
{
    Grey,
    RGB,
    YCbCr
};

uint8_t Clamp8(int32_t value)
{
    return uint8_t(std::clamp(value, 0, 255));
}

// One component as the rows of the picture see it: which sample a pixel takes, and how a sample
// becomes 8 bits.
class TComponentView
{
public:
    TComponentView(const opj_image_t& image, const opj_image_comp_t& component, int32_t width, int32_t height)
        : FComponent(component)
    {
        FColumns.resize(size_t(width));
        for (int32_t x = 0; x < width; ++x) {
            FColumns[size_t(x)] =
                SampleIndex(image.x0 + uint32_t(x), component.dx, component.x0, component.w);
        }
        FRows.resize(size_t(height));
        for (int32_t y = 0; y < height; ++y) {
            FRows[size_t(y)] = SampleIndex(image.y0 + uint32_t(y), component.dy, component.y0, component.h);
        }
        FShift = int32_t(component.prec) - 8;
        FOffset = component.sgnd ? int32_t(1u << (component.prec - 1)) : 0;
        FMaximum = component.prec >= 31 ? INT32_MAX : int32_t((1u << component.prec) - 1);
    }

    // Signed samples are offset to 0 .. 2^prec - 1; the top 8 bits are kept.
    uint8_t At(int32_t x, int32_t y) const
    {
        const int64_t index = int64_t(FRows[size_t(y)]) * FComponent.w + FColumns[size_t(x)];
        const int64_t value = std::clamp<int64_t>(int64_t(FComponent.data[index]) + FOffset, 0, FMaximum);
        return uint8_t(FShift >= 0 ? value >> FShift : value << -FShift);
    }

    bool NonZero(int32_t x, int32_t y) const
    {
        const int64_t index = int64_t(FRows[size_t(y)]) * FComponent.w + FColumns[size_t(x)];
        return int64_t(FComponent.data[index]) + FOffset != 0;
    }

private:
    // A coordinate of the picture in a component sampled every step: outside the component
    // it takes sample 0.
    static uint32_t SampleIndex(uint32_t coordinate, uint32_t step, uint32_t first, uint32_t count)
    {
        const uint32_t sample = coordinate / std::max(step, 1u);
        return sample >= first && sample - first < count ? sample - first : 0;
    }

    const opj_image_comp_t& FComponent;
    std::vector<uint32_t> FColumns;
    std::vector<uint32_t> FRows;
    int32_t FShift = 0;
    int32_t FOffset = 0;
    int32_t FMaximum = 255;
};

class J2kReader
{
public:
    J2kReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool paramsOnly)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FParamsOnly(paramsOnly)
    {
    }

    void Run()
    {
        const bool jp2 = J2KTryStreamJP2(FStream);
        if (!jp2 && !J2KTryStreamJ2K(FStream)) {
            CodecSetAborting(FProgress);
            return;
        }
        const int64_t start = FStream.Position();
        if (!Decode(jp2)) {
            CodecSetAborting(FProgress);
        }
        // The library may stop anywhere; the caller finds the stream where the picture began.
        if (FParamsOnly) {
            FStream.SetPosition(start);
        }
    }

private:
    bool Decode(bool jp2)
    {
        // The library sizes its records by the tile and component counts before it reads a tile:
        // counts past the budget, or that the stream has no room for, are refused first.
        TDeclaredLayout layout;
        if (!ReadDeclaredLayout(FStream, jp2, layout) || !HeaderWithinBudget(layout) ||
            !CanHoldItsTiles(layout)) {
            return false;
        }
        bool failed = false;
        TCodec codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
        TLibraryStream stream = MakeLibraryStream(FStream, true);
        if (!codec || !stream) {
            return false;
        }
        WatchErrors(codec.get(), &failed);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (!opj_setup_decoder(codec.get(), &parameters)) {
            return false;
        }
        opj_image_t* header = nullptr;
        const bool read = opj_read_header(stream.get(), codec.get(), &header);
        TImage image(header);
        if (!read || failed || !image || !ChooseComponents(*image)) {
            return false;
        }
        // The budget bounds what a decode allocates; parameters report any size the header gives.
        if (FParamsOnly) {
            return true;
        }
        if (int64_t(FWidth) * FHeight > KVCodecMaxPixels) {
            return false;
        }
        // A JP2 file's colour box is known only once the picture is decoded.
        if (!opj_decode(codec.get(), stream.get(), image.get()) ||
            !opj_end_decompress(codec.get(), stream.get()) || failed || !ChooseComponents(*image)) {
            return false;
        }
        for (int32_t c : FUsed) {
            const opj_image_comp_t& component = image->comps[c];
            if (component.data == nullptr || component.w == 0 || component.h == 0) {
                return false;
            }
        }
        ConvertRows(*image);
        return true;
    }

    // The colour model and the components that carry it (alpha components are left out).
    bool ChooseComponents(const opj_image_t& image)
    {
        const int64_t width = int64_t(image.x1) - image.x0, height = int64_t(image.y1) - image.y0;
        if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
            return false;
        }
        std::vector<int32_t> colour;
        for (uint32_t i = 0; i < image.numcomps; ++i) {
            if (image.comps[i].alpha == 0) {
                colour.push_back(int32_t(i));
            }
        }
        if (colour.empty()) {
            return false;
        }
        switch (image.color_space) {
        case OPJ_CLRSPC_CMYK:
        case OPJ_CLRSPC_EYCC:
            return false;
        case OPJ_CLRSPC_GRAY:
            FModel = TModel::Grey;
            break;
        case OPJ_CLRSPC_SYCC:
            FModel = colour.size() >= 3 ? TModel::YCbCr : TModel::Grey;
            break;
        default:
            FModel = colour.size() >= 3 ? TModel::RGB : TModel::Grey;
            break;
        }
        FUsed.assign(colour.begin(), colour.begin() + (FModel == TModel::Grey ? 1 : 3));
        for (int32_t c : FUsed) {
            const opj_image_comp_t& component = image.comps[c];
            if (component.prec < 1 || component.prec > 31) {
                return false;
            }
        }
        FWidth = int32_t(width);
        FHeight = int32_t(height);
        FParams.Width = FWidth;
        FParams.Height = FHeight;
        FParams.BitsPerSample = int32_t(image.comps[FUsed[0]].prec);
        FParams.SamplesPerPixel = int32_t(FUsed.size());
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        FParams.FreeColorMap();
        FParams.J2000_ColorSpace = FModel == TModel::Grey  ? ioJ2000_GRAYLEV
                                   : FModel == TModel::RGB ? ioJ2000_RGB
                                                           : ioJ2000_YCbCr;
        return true;
    }

    void ConvertRows(const opj_image_t& image)
    {
        std::vector<TComponentView> views;
        views.reserve(FUsed.size());
        for (int32_t c : FUsed) {
            views.emplace_back(image, image.comps[c], FWidth, FHeight);
        }
        const bool bilevel = FModel == TModel::Grey && image.comps[FUsed[0]].prec == 1;
        FBitmap.Allocate(FWidth, FHeight, bilevel ? kv1g : kv24RGB);
        const TYCbCrTables& tables = Tables();
        CodecProgressBegin(FProgress, FHeight);
        for (int32_t y = 0; y < FHeight && !CodecAborted(FProgress); ++y) {
            uint8_t* row = FBitmap.GetScanLine(y);
            auto* pixels = reinterpret_cast<TRGB*>(row);
            if (bilevel) {
                std::memset(row, 0, size_t(FBitmap.GetRowLen()));
                for (int32_t x = 0; x < FWidth; ++x) {
                    if (views[0].NonZero(x, y)) {
                        row[x >> 3] |= uint8_t(0x80 >> (x & 7));
                    }
                }
            } else if (FModel == TModel::Grey) {
                for (int32_t x = 0; x < FWidth; ++x) {
                    const uint8_t v = views[0].At(x, y);
                    pixels[x] = TRGB{v, v, v};
                }
            } else if (FModel == TModel::RGB) {
                for (int32_t x = 0; x < FWidth; ++x) {
                    pixels[x] = TRGB{views[2].At(x, y), views[1].At(x, y), views[0].At(x, y)};
                }
            } else {
                for (int32_t x = 0; x < FWidth; ++x) {
                    const int32_t luma = views[0].At(x, y), cb = views[1].At(x, y), cr = views[2].At(x, y);
                    pixels[x] = TRGB{Clamp8(luma + tables.Blue[size_t(cb)]),
                                     Clamp8(luma + tables.GreenCb[size_t(cb)] + tables.GreenCr[size_t(cr)]),
                                     Clamp8(luma + tables.Red[size_t(cr)])};
                }
            }
            CodecProgressRows(FProgress, 1);
        }
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    TModel FModel = TModel::RGB;
    std::vector<int32_t> FUsed;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};

} // namespace

bool J2KTryStreamJP2(TStream& Stream)
{
    return StartsWith(Stream, JP2Signature, sizeof JP2Signature);
}

bool J2KTryStreamJ2K(TStream& Stream)
{
    return StartsWith(Stream, CodeStreamStart, sizeof CodeStreamStart);
}

void J2KReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly)
{
    J2kReader(Stream, Bitmap, Params, Progress, ParamsOnly).Run();
}

} // namespace Kvj2000
