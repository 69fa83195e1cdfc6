// Writes JP2 files and JPEG 2000 code streams with the reversible wavelet in one quality layer.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/j2k/detail/j2k_glue.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/exceptions.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sstream>
#include <vector>

namespace Kvj2000 {

namespace {

using namespace detail;

// What the option text asks of the encoder.
struct TEncoderOptions
{
    double Rate = 1.0;
    OPJ_PROG_ORDER Progression = OPJ_LRCP;
};

// Reads "rate=<number> prg=<order>"; unknown words and malformed values leave the defaults.
TEncoderOptions ParseOptions(const std::string& text)
{
    TEncoderOptions options;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const size_t equals = word.find('=');
        const std::string key = word.substr(0, equals),
                          value = equals == std::string::npos ? "" : word.substr(equals + 1);
        if (key == "rate") {
            double rate = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), rate);
            if (error == std::errc() && end == value.data() + value.size() && rate > 0) {
                options.Rate = rate;
            }
        } else if (key == "prg") {
            options.Progression = value == "rlcp" ? OPJ_RLCP : OPJ_LRCP;
        }
    }
    return options;
}

class J2kWriter
{
public:
    J2kWriter(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              int32_t format, bool& aborting)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FFormat(format),
          FAborting(aborting)
    {
    }

    void Run()
    {
        const TKVPixelFormat format = FBitmap.GetPixelFormat();
        if ((format != kv24RGB && format != kv1g) || FBitmap.GetWidth() < 1 || FBitmap.GetHeight() < 1) {
            FAborting = true;
            return;
        }
        if (format == kv1g) {
            FParams.BitsPerSample = 1;
            FParams.J2000_ColorSpace = ioJ2000_GRAYLEV;
        }
        FParams.BitsPerSample = std::clamp(FParams.BitsPerSample, 1, 16);
        TImage image = MakeImage();
        if (!image || !FillImage(*image)) {
            FAborting = true;
            return;
        }
        // The picture goes to a temporary file first, so that a failed encoding leaves the
        // caller's stream untouched and a large one needs no memory of its size.
        TKVTmpStream encoded;
        if (!Encode(*image, encoded)) {
            FAborting = true;
            return;
        }
        encoded.SetPosition(0);
        try {
            FStream.CopyFrom(encoded, encoded.Size());
        } catch (const Exception&) {
            FAborting = true;
        }
    }

private:
    TImage MakeImage()
    {
        const bool grey = FParams.J2000_ColorSpace == ioJ2000_GRAYLEV;
        const uint32_t components = grey ? 1 : 3;
        std::vector<opj_image_cmptparm_t> parameters(components);
        for (opj_image_cmptparm_t& p : parameters) {
            std::memset(&p, 0, sizeof p);
            p.dx = p.dy = 1;
            p.w = uint32_t(FBitmap.GetWidth());
            p.h = uint32_t(FBitmap.GetHeight());
            p.prec = uint32_t(FParams.BitsPerSample);
            p.sgnd = 0;
        }
        TImage image(
            opj_image_create(components, parameters.data(), grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
        if (image) {
            image->x0 = image->y0 = 0;
            image->x1 = uint32_t(FBitmap.GetWidth());
            image->y1 = uint32_t(FBitmap.GetHeight());
        }
        return image;
    }

    // Samples are value * (2^bits - 1) / 255, truncated.
    bool FillImage(opj_image_t& image)
    {
        const int32_t width = FBitmap.GetWidth(), height = FBitmap.GetHeight();
        const int64_t maximum = (int64_t(1) << FParams.BitsPerSample) - 1;
        const bool bilevel = FBitmap.GetPixelFormat() == kv1g;
        const bool grey = image.numcomps == 1;
        CodecProgressBegin(FProgress, height);
        for (int32_t y = 0; y < height; ++y) {
            if (FAborting) {
                return false;
            }
            const uint8_t* row = FBitmap.GetScanLine(y);
            const auto* pixels = reinterpret_cast<const TRGB*>(row);
            const size_t at = size_t(y) * size_t(width);
            for (int32_t x = 0; x < width; ++x) {
                if (bilevel) {
                    image.comps[0].data[at + size_t(x)] = (row[x >> 3] >> (7 - (x & 7))) & 1;
                } else if (grey) {
                    image.comps[0].data[at + size_t(x)] =
                        OPJ_INT32(Korvaneproc::_RGBToGray(pixels[x]) * maximum / 255);
                } else {
                    image.comps[0].data[at + size_t(x)] = OPJ_INT32(pixels[x].r * maximum / 255);
                    image.comps[1].data[at + size_t(x)] = OPJ_INT32(pixels[x].g * maximum / 255);
                    image.comps[2].data[at + size_t(x)] = OPJ_INT32(pixels[x].b * maximum / 255);
                }
            }
            CodecProgressRows(FProgress, 1);
        }
        return true;
    }

    bool Encode(opj_image_t& image, TStream& output)
    {
        const TEncoderOptions options = ParseOptions(J2KOptions(FParams));
        opj_cparameters_t parameters;
        opj_set_default_encoder_parameters(&parameters);
        parameters.irreversible = 0;
        parameters.prog_order = options.Progression;
        parameters.tcp_numlayers = 1;
        parameters.cp_disto_alloc = 1;
        // A rate of 1 or more keeps every bit; below 1 it is the share of the data kept.
        parameters.tcp_rates[0] = options.Rate >= 1.0 ? 0.0f : float(1.0 / options.Rate);
        // The multiple component transform applies to three components only.
        parameters.tcp_mct = image.numcomps >= 3 ? 1 : 0;
        // Fewer resolution levels than the default where the picture is small.
        const uint32_t side = std::min(image.x1, image.y1);
        while (parameters.numresolution > 1 && (1u << (parameters.numresolution - 1)) > side) {
            --parameters.numresolution;
        }
        bool failed = false;
        TCodec codec(opj_create_compress(FFormat == 0 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
        TLibraryStream stream = MakeLibraryStream(output, false);
        if (!codec || !stream) {
            return false;
        }
        WatchErrors(codec.get(), &failed);
        return opj_setup_encoder(codec.get(), &parameters, &image) &&
               opj_start_compress(codec.get(), &image, stream.get()) &&
               opj_encode(codec.get(), stream.get()) && opj_end_compress(codec.get(), stream.get()) &&
               !failed;
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    int32_t FFormat;
    bool& FAborting;
};

} // namespace

std::string J2KOptions(const TIOParamsVals& Params)
{
    char rate[32];
    const auto [end, error] = std::to_chars(rate, rate + sizeof rate, Params.J2000_Rate);
    const std::string rateText = error == std::errc() ? std::string(rate, end) : "1";
    return "rate=" + rateText + (Params.J2000_ScalableBy == ioJ2000_Resolution ? " prg=rlcp" : " prg=lrcp");
}

void J2KWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    int32_t Format)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    try {
        J2kWriter(Stream, Bitmap, Params, Progress, Format, aborting).Run();
    } catch (const EStreamError&) {
        aborting = true; // no temporary file could be made
    }
}

} // namespace Kvj2000
