// The TIFF writer: one page, little-endian, as a new file or inserted into an existing one. The
// parameter record asks for a compression and depth; the writer settles what the picture can be
// written as, corrects the record to it, and writes strips of about 512 KB.
#include "imaging/codecs/tiff/tiffilt.h"

#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/tiff/detail/tiff_entries.h"
#include "imaging/codecs/tiff/detail/tiff_writer_exif.h"
#include "imaging/codecs/tiff/tifccitt.h"
#include "imaging/core/colour_spaces.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/access_scope.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

namespace Tiffilt {

using namespace detail;

namespace {

enum : uint32_t
{
    cNone = 1,
    cCCITT1D = 2,
    cGroup3 = 3,
    cGroup4 = 4,
    cLZW = 5,
    cJPEG = 7,
    cPackBits = 32773
};

constexpr int64_t StripBytes = 524288;

// Readers take a CMYK colour back as (255 - C) x (255 - K) / 255, truncated (libtiff does, and so
// does ours). The writer makes K = 255 - k, k the pixel's brightest channel, and 255 - C the
// colour x 255 / k rounded up: the least value that gives the colour back (rounded down it gives
// one less for most colours, rounded to nearest for about half). CmykQuotient finds that quotient
// through ceil(2^24 / k): for numerators below 2^16 the product shifted down by 24 is the
// quotient exactly, without a division per sample.
constexpr std::array<uint64_t, 256> CmykReciprocals = [] {
    std::array<uint64_t, 256> reciprocals{};
    for (uint64_t k = 1; k < 256; ++k) {
        reciprocals[k] = ((uint64_t(1) << 24) + k - 1) / k;
    }
    return reciprocals;
}();

constexpr uint32_t CmykQuotient(uint32_t colour, uint32_t k)
{
    return uint32_t(((colour * 255 + k - 1) * CmykReciprocals[k]) >> 24);
}

// Every colour with every k the writer meets, checked when the writer is compiled.
constexpr bool CmykQuotientsExact()
{
    for (uint32_t k = 1; k < 256; ++k) {
        for (uint32_t colour = 0; colour <= k; ++colour) {
            if (CmykQuotient(colour, k) != (colour * 255 + k - 1) / k) {
                return false;
            }
        }
    }
    return true;
}
static_assert(CmykQuotientsExact());

// What the page is written as.
struct TPlan
{
    TKVBitmap* Working = nullptr;
    std::unique_ptr<TKVBitmap> Copy;
    uint32_t Compression = cNone;
    uint32_t Photometric = 2;
    int32_t Bits = 8;
    int32_t Samples = 3;
    bool TwoDimensional = false;
    int32_t Predictor = 1;
    TTIFFLZWCompFunc LZW = nullptr;
    std::unique_ptr<TKVQuantizer> Quantizer;
    std::array<TRGB, 256> Palette{};
};

TKVBitmap& OwnCopy(TPlan& plan, TKVBitmap& source)
{
    if (plan.Copy == nullptr) {
        plan.Copy = std::make_unique<TKVBitmap>();
        plan.Copy->Assign(&source);
        plan.Working = plan.Copy.get();
    }
    return *plan.Copy;
}

bool IsFax(TIOTIFFCompression compression)
{
    return compression == ioTIFF_CCITT1D || compression == ioTIFF_G3FAX1D || compression == ioTIFF_G3FAX2D ||
           compression == ioTIFF_G4FAX;
}

// The colours of a kv24RGB picture when it has no more than two, else none.
std::vector<TRGB> TwoColoursAtMost(TKVBitmap& picture)
{
    std::vector<TRGB> colours;
    for (int32_t y = 0; y < picture.GetHeight(); ++y) {
        const TRGB* row = reinterpret_cast<const TRGB*>(picture.GetScanLine(y));
        for (int32_t x = 0; x < picture.GetWidth(); ++x) {
            if (std::find(colours.begin(), colours.end(), row[x]) == colours.end()) {
                if (colours.size() == 2) {
                    return {};
                }
                colours.push_back(row[x]);
            }
        }
    }
    return colours;
}

// A picture of at most two colours that are not black and white (a 1-bit BMP or GIF of red and
// blue) is written as a 1-bit palette page, its palette and indexes from a quantizer that holds
// those colours exactly. False, with the plan as it was, for any other picture.
bool PlanTwoColours(TKVBitmap& bitmap, TPlan& plan)
{
    if (bitmap.GetPixelFormat() != kv24RGB) {
        OwnCopy(plan, bitmap).SetPixelFormat(kv24RGB);
    }
    const TRGB black{0, 0, 0}, white{255, 255, 255};
    const std::vector<TRGB> colours = TwoColoursAtMost(*plan.Working);
    if (std::any_of(colours.begin(), colours.end(),
                    [&](const TRGB& c) { return !(c == black || c == white); })) {
        plan.Quantizer = std::make_unique<TKVQuantizer>(plan.Working, std::span<TRGB>(plan.Palette), 2);
        return true;
    }
    plan.Copy.reset();
    plan.Working = &bitmap;
    return false;
}

// Settles the working bitmap, photometric, depth and compression; corrects Params to them.
void Prepare(TKVBitmap& bitmap, TIOParamsVals& params, TPlan& plan)
{
    plan.Working = &bitmap;
    const bool bilevel =
        params.BitsPerSample == 1 && params.SamplesPerPixel == 1 && params.TIFF_Compression != ioTIFF_JPEG;
    // Fax codings take only black and white.
    const bool twoColours = bilevel && bitmap.GetPixelFormat() != kv1g && !IsFax(params.TIFF_Compression) &&
                            PlanTwoColours(bitmap, plan);
    if (bilevel && !twoColours) {
        if (bitmap.GetPixelFormat() != kv1g) {
            TRGB dark, light;
            plan.Copy = Korvaneproc::_ConvertTo1bitEx(&bitmap, dark, light);
            if (plan.Copy == nullptr) {
                OwnCopy(plan, bitmap).SetPixelFormat(kv1g);
            }
            plan.Working = plan.Copy.get();
        }
    } else if (bitmap.GetPixelFormat() != kv24RGB) {
        OwnCopy(plan, bitmap).SetPixelFormat(kv24RGB);
    }
    TKVBitmap& working = *plan.Working;
    TIOTIFFPhotometInterpret photometric = params.TIFF_PhotometInterpret;
    TIOTIFFCompression compression = params.TIFF_Compression;
    int32_t bits = params.BitsPerSample;
    int32_t samples = params.SamplesPerPixel;

    if (working.GetPixelFormat() == kv24RGB && samples == 1 && ((bits >= 2 && bits <= 8) || bits == 16)) {
        plan.Quantizer = std::make_unique<TKVQuantizer>(&working, std::span<TRGB>(plan.Palette),
                                                        int32_t(std::min(1 << std::min(bits, 8), 256)));
        if (compression != ioTIFF_LZW && compression != ioTIFF_PACKBITS) {
            compression = ioTIFF_UNCOMPRESSED;
        }
        if (plan.Quantizer->IsGrey()) {
            photometric = ioTIFF_BLACKISZERO;
        } else {
            photometric = ioTIFF_RGBPALETTE;
            bits = std::min(bits, 8);
        }
    }
    if (photometric == ioTIFF_RGBPALETTE && samples > 1) {
        photometric = ioTIFF_RGB;
    }
    if (bits > 8 && samples > 1) {
        bits = 8;
        samples = 3;
        photometric = ioTIFF_RGB;
    }
    if ((photometric == ioTIFF_WHITEISZERO || photometric == ioTIFF_BLACKISZERO) && bits == 8 &&
        samples == 3) {
        photometric = ioTIFF_RGB;
    }
    if (photometric == ioTIFF_RGB && samples == 1 && bits == 1) {
        photometric = ioTIFF_BLACKISZERO;
    }
    if (photometric == ioTIFF_YCBCR && compression != ioTIFF_JPEG) {
        photometric = ioTIFF_RGB;
    }
    if (twoColours) {
        photometric = ioTIFF_RGBPALETTE;
    }
    switch (photometric) {
    case ioTIFF_WHITEISZERO:
    case ioTIFF_BLACKISZERO:
        plan.Photometric = 1;
        break;
    case ioTIFF_RGBPALETTE:
        plan.Photometric = 3;
        break;
    case ioTIFF_CMYK:
        plan.Photometric = 5;
        samples = 4;
        break;
    case ioTIFF_CIELAB:
        plan.Photometric = 8;
        break;
    default:
        plan.Photometric = 2;
        break;
    }

    switch (compression) {
    case ioTIFF_CCITT1D:
        plan.Compression = cCCITT1D;
        break;
    case ioTIFF_G3FAX1D:
        plan.Compression = cGroup3;
        break;
    case ioTIFF_G3FAX2D:
        plan.Compression = cGroup3;
        plan.TwoDimensional = true;
        break;
    case ioTIFF_G4FAX:
        plan.Compression = cGroup4;
        break;
    case ioTIFF_LZW:
        plan.LZW =
            params.TIFF_LZWCompress != nullptr ? params.TIFF_LZWCompress : Korvaneio::DefTIFF_LZWCOMPFUNC;
        plan.Compression = plan.LZW != nullptr ? cLZW : cNone;
        plan.Predictor = plan.LZW != nullptr ? 2 : 1;
        break;
    case ioTIFF_JPEG:
        plan.Compression = cJPEG;
        plan.Photometric = 6;
        break;
    case ioTIFF_PACKBITS:
        plan.Compression = cPackBits;
        break;
    default:
        plan.Compression = cNone;
        break;
    }
    // Grey levels and palette indexes come from the quantizer; depths it was not built for are
    // written as colour.
    if ((plan.Photometric == 1 || plan.Photometric == 3) && plan.Quantizer == nullptr) {
        plan.Photometric = 2;
    }
    const bool fax =
        plan.Compression == cCCITT1D || plan.Compression == cGroup3 || plan.Compression == cGroup4;
    if (fax && working.GetPixelFormat() != kv1g) {
        plan.Compression = cNone;
        plan.TwoDimensional = false;
    }
    if (working.GetPixelFormat() == kv1g) {
        bits = samples = 1;
        plan.Photometric = 1;
    }
    if (plan.Photometric == 6) {
        bits = 8;
        samples = 3;
    } else if (plan.Photometric == 2 || plan.Photometric == 8) {
        samples = std::max(samples, 3);
        samples = std::min(samples, 3);
        bits = 8;
    } else if (plan.Photometric == 5) {
        bits = 8;
    }
    if (bits != 8 || samples != 3 || plan.Photometric != 2) {
        plan.Predictor = 1;
    }
    // Fax data codes white as 0 bits: the page says WhiteIsZero and its bits are inverted.
    if (plan.Compression == cCCITT1D || plan.Compression == cGroup3 || plan.Compression == cGroup4) {
        plan.Photometric = 0;
        Korvaneproc::_Negative1BitEx(&OwnCopy(plan, *plan.Working));
    }
    plan.Bits = bits;
    plan.Samples = samples;

    params.BitsPerSample = bits;
    params.SamplesPerPixel = samples;
    static const TIOTIFFCompression written[] = {ioTIFF_UNCOMPRESSED, ioTIFF_UNCOMPRESSED, ioTIFF_CCITT1D,
                                                 ioTIFF_G3FAX1D,      ioTIFF_G4FAX,        ioTIFF_LZW};
    params.TIFF_Compression = plan.Compression == cJPEG       ? ioTIFF_JPEG
                              : plan.Compression == cPackBits ? ioTIFF_PACKBITS
                              : plan.TwoDimensional           ? ioTIFF_G3FAX2D
                                                              : written[plan.Compression];
    static const TIOTIFFPhotometInterpret photometrics[] = {
        ioTIFF_WHITEISZERO, ioTIFF_BLACKISZERO, ioTIFF_RGB, ioTIFF_RGBPALETTE, ioTIFF_TRANSPMASK,
        ioTIFF_CMYK,        ioTIFF_YCBCR,       ioTIFF_RGB, ioTIFF_CIELAB};
    params.TIFF_PhotometInterpret = photometrics[plan.Photometric];
}

// PackBits of one row: runs of 4 or more equal bytes are repeated, the rest goes literally in
// packets of at most 128 bytes.
void PackBitsRow(const uint8_t* row, int64_t length, std::vector<uint8_t>& out)
{
    int64_t literal = 0; // start of the pending literal bytes
    int64_t i = 0;
    auto flushLiterals = [&](int64_t end) {
        while (literal < end) {
            const int64_t count = std::min<int64_t>(end - literal, 128);
            out.push_back(uint8_t(count - 1));
            out.insert(out.end(), row + literal, row + literal + count);
            literal += count;
        }
    };
    while (i < length) {
        int64_t run = 1;
        while (i + run < length && run < 128 && row[i + run] == row[i]) {
            ++run;
        }
        if (run >= 4) {
            flushLiterals(i);
            out.push_back(uint8_t(1 - run));
            out.push_back(row[i]);
            i += run;
            literal = i;
        } else if (i - literal >= 128) {
            flushLiterals(i);
        } else {
            ++i;
        }
    }
    flushLiterals(length);
}

class TStripWriter
{
public:
    TStripWriter(TPlan& plan, TEntryWriter& entries, TStream& stream, TIOParamsVals& params,
                 TProgressRec& progress, bool& error)
        : FPlan(plan), FEntries(entries), FStream(stream), FParams(params), FProgress(progress), FError(error)
    {
    }
    // A save stopped inside a strip still ends its encoder, which frees its state.
    ~TStripWriter()
    {
        if (FLZWState != 0) {
            FPlan.LZW(nullptr, 0, FLZWCodes, FLZWState);
        }
    }
    TStripWriter(const TStripWriter&) = delete;
    TStripWriter& operator=(const TStripWriter&) = delete;

    void Run();

private:
    void WriteJpeg();
    void ConvertRow(const uint8_t* pixels, int32_t width);
    void EncodeRow(const uint8_t* row, int64_t length);
    void EndStrip();
    void PassLZWCodes();

    TPlan& FPlan;
    TEntryWriter& FEntries;
    TStream& FStream;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool& FError;
    std::vector<uint32_t> FOffsets;
    std::vector<uint32_t> FCounts;
    uint32_t FStripStart = 0;
    std::vector<uint8_t> FRow;
    std::vector<uint8_t> FPacked;
    intptr_t FLZWState = 0;
    // The LZW encoder is a plugged-in hook that writes as it likes; its codes gather here and
    // reach the file through the checked write.
    TMemoryStream FLZWCodes;
    std::vector<uint8_t> FRefLine;
    int32_t FPendingBits = 0;
    uint8_t FPendingByte = 0;
};

void TStripWriter::WriteJpeg()
{
    TIOParamsVals scratch;
    scratch.JPEG_Quality = FParams.TIFF_JPEGQuality;
    scratch.DpiX = FParams.DpiX;
    scratch.DpiY = FParams.DpiY;
    FStripStart = FEntries.Offset();
    try {
        Jpegfilt::WriteJPegStream(FStream, *FPlan.Working, scratch, FProgress);
    } catch (...) {
        CodecSetAborting(FProgress);
    }
    FOffsets.push_back(FStripStart);
    FCounts.push_back(FEntries.Offset() - FStripStart);
}

// A kv24RGB row as the page's samples.
void TStripWriter::ConvertRow(const uint8_t* pixels, int32_t width)
{
    const TRGB* rgb = reinterpret_cast<const TRGB*>(pixels);
    uint8_t* out = FRow.data();
    switch (FPlan.Photometric) {
    case 5:
        for (int32_t x = 0; x < width; ++x) {
            const TRGB& c = rgb[x];
            const uint32_t brightest = std::max({c.r, c.g, c.b});
            if (brightest == 0) {
                // Black is key alone, as CMYK writers make it, not every ink at once.
                std::fill_n(out, 3, uint8_t(0));
                out[3] = 255;
                out += 4;
                continue;
            }
            *out++ = uint8_t(255 - CmykQuotient(c.r, brightest));
            *out++ = uint8_t(255 - CmykQuotient(c.g, brightest));
            *out++ = uint8_t(255 - CmykQuotient(c.b, brightest));
            *out++ = uint8_t(255 - brightest);
        }
        return;
    case 8:
        for (int32_t x = 0; x < width; ++x) {
            const TKVLAB lab = Daduvudez::KVRGB2CIELAB(rgb[x]);
            *out++ = lab.L;
            *out++ = uint8_t(lab.a);
            *out++ = uint8_t(lab.b);
        }
        return;
    case 1:
    case 3: {
        std::fill(FRow.begin(), FRow.end(), uint8_t(0));
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t index = uint32_t(FPlan.Quantizer->GetRGBIndex(rgb[x]));
            if (FPlan.Bits == 16) {
                const uint32_t value = index * 257; // full scale: 255 is 65535

                out[2 * x] = uint8_t(value);
                out[2 * x + 1] = uint8_t(value >> 8);
            } else if (FPlan.Bits == 8) {
                out[x] = uint8_t(index);
            } else {
                const int64_t bit = int64_t(x) * FPlan.Bits;
                const uint32_t shifted = index << (16 - FPlan.Bits - (bit & 7));
                out[bit >> 3] |= uint8_t(shifted >> 8);
                if (((bit & 7) + FPlan.Bits) > 8) {
                    out[(bit >> 3) + 1] |= uint8_t(shifted);
                }
            }
        }
        return;
    }
    default:
        if (FPlan.Predictor == 2) {
            // Horizontal differencing in the same pass: each sample less the one of the pixel
            // before it, the first pixel as it is.
            TRGB previous{0, 0, 0};
            for (int32_t x = 0; x < width; ++x) {
                *out++ = uint8_t(rgb[x].r - previous.r);
                *out++ = uint8_t(rgb[x].g - previous.g);
                *out++ = uint8_t(rgb[x].b - previous.b);
                previous = rgb[x];
            }
            return;
        }
        for (int32_t x = 0; x < width; ++x) {
            *out++ = rgb[x].r;
            *out++ = rgb[x].g;
            *out++ = rgb[x].b;
        }
        return;
    }
}

void TStripWriter::EncodeRow(const uint8_t* row, int64_t length)
{
    const int32_t width = FPlan.Working->GetWidth();
    switch (FPlan.Compression) {
    case cCCITT1D:
        Tifccitt::CCITTHuffmanPutLine(row, width, FStream, FError);
        break;
    case cGroup3:
        if (FPlan.TwoDimensional) {
            Tifccitt::CCITTHuffmanPutLineG32D(row, width, FStream, FError, FRefLine, FPendingBits,
                                              FPendingByte);
        } else {
            Tifccitt::CCITTHuffmanPutLineG3(row, width, FStream, FError, FPendingBits, FPendingByte);
        }
        break;
    case cGroup4:
        Tifccitt::CCITTHuffmanPutLineG4(row, width, FStream, FError, FRefLine, FPendingBits, FPendingByte);
        break;
    case cLZW:
        FPlan.LZW(row, int32_t(length), FLZWCodes, FLZWState);
        PassLZWCodes();
        break;
    case cPackBits:
        FPacked.clear();
        PackBitsRow(row, length, FPacked);
        FEntries.Write(FPacked.data(), int64_t(FPacked.size()));
        break;
    default:
        FEntries.Write(row, length);
        break;
    }
}

void TStripWriter::EndStrip()
{
    const int32_t width = FPlan.Working->GetWidth();
    switch (FPlan.Compression) {
    case cGroup3:
        if (FPlan.TwoDimensional) {
            Tifccitt::CCITTHuffmanPutLineG32D(nullptr, width, FStream, FError, FRefLine, FPendingBits,
                                              FPendingByte);
        } else {
            Tifccitt::CCITTHuffmanPutLineG3(nullptr, width, FStream, FError, FPendingBits, FPendingByte);
        }
        break;
    case cGroup4:
        Tifccitt::CCITTHuffmanPutLineG4(nullptr, width, FStream, FError, FRefLine, FPendingBits,
                                        FPendingByte);
        break;
    case cLZW:
        FPlan.LZW(nullptr, 0, FLZWCodes, FLZWState);
        FLZWState = 0;
        PassLZWCodes();
        break;
    default:
        break;
    }
    FOffsets.push_back(FStripStart);
    FCounts.push_back(FEntries.Offset() - FStripStart);
}

void TStripWriter::PassLZWCodes()
{
    FEntries.Write(FLZWCodes.Memory(), FLZWCodes.Size());
    FLZWCodes.SetSize(0);
    FLZWCodes.SetPosition(0);
}

void TStripWriter::Run()
{
    TKVBitmap& working = *FPlan.Working;
    const int32_t width = working.GetWidth();
    const int32_t height = working.GetHeight();
    TKVAccessScope access(working, kvdRead);
    int64_t rowsPerStrip = height;
    if (FPlan.Compression == cJPEG) {
        WriteJpeg();
    } else {
        const bool bilevel = working.GetPixelFormat() == kv1g;
        const int64_t rowLength =
            bilevel ? (int64_t(width) + 7) / 8 : (int64_t(FPlan.Bits) * FPlan.Samples * width + 7) / 8;
        const int64_t strips = std::max<int64_t>(1, rowLength * height / StripBytes);
        rowsPerStrip = std::max<int64_t>(1, height / strips);
        FRow.resize(size_t(std::max<int64_t>(rowLength, int64_t(width) * 4)));
        CodecProgressBegin(FProgress, height);
        FStripStart = FEntries.Offset();
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* pixels = working.GetScanLine(y);
            if (bilevel) {
                EncodeRow(pixels, rowLength);
            } else {
                ConvertRow(pixels, width);
                EncodeRow(FRow.data(), rowLength);
            }
            CodecProgressRows(FProgress, 1);
            if (CodecAborted(FProgress)) {
                break;
            }
            if ((y + 1) % rowsPerStrip == 0 || y + 1 == height) {
                EndStrip();
                FStripStart = FEntries.Offset();
            }
        }
    }
    FEntries.Integers(278, {uint32_t(rowsPerStrip)});
    FEntries.Integers(273, FOffsets, true);
    FEntries.Integers(279, FCounts, true);
}

// The pointer an inserted page is linked from: the one that leads to page `index`, or the last.
// Returns the number of pages; pointer receives the pointer's position and its value.
int32_t FindInsertPointer(TStream& stream, int64_t base, int32_t index, int64_t& pointer, uint32_t& value)
{
    const int64_t size = stream.Size();
    auto read32 = [&](int64_t position, uint32_t& out) {
        uint8_t bytes[4];
        stream.SetPosition(position);
        if (stream.Read(bytes, 4) != 4) {
            return false;
        }
        out = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
              uint32_t(bytes[3]) << 24;
        return true;
    };
    pointer = base + 4;
    if (!read32(pointer, value)) {
        value = 0;
    }
    int32_t pages = 0;
    std::unordered_set<uint32_t> visited;
    while (value != 0 && pages != index && pages < TIFFMaxPages && visited.insert(value).second) {
        uint8_t count[2];
        stream.SetPosition(base + value);
        if (base + value + 2 > size || stream.Read(count, 2) != 2) {
            break;
        }
        const int64_t next = base + value + 2 + 12 * int64_t(count[0] | count[1] << 8);
        uint32_t nextValue = 0;
        if (next + 4 > size || !read32(next, nextValue)) {
            break;
        }
        ++pages;
        pointer = next;
        value = nextValue;
    }
    if (pages == index) {
        // Count the pages after the insertion point too.
        uint32_t walk = value;
        while (walk != 0 && pages < TIFFMaxPages && visited.insert(walk).second) {
            uint8_t count[2];
            stream.SetPosition(base + walk);
            if (base + walk + 2 > size || stream.Read(count, 2) != 2) {
                break;
            }
            uint32_t nextValue = 0;
            if (!read32(base + walk + 2 + 12 * int64_t(count[0] | count[1] << 8), nextValue)) {
                break;
            }
            ++pages;
            walk = nextValue;
        }
    }
    return pages;
}

} // namespace

int32_t TIFFWriteStream(TStream& Stream, bool Insert, TKVBitmap* Bitmap, TIOParamsVals& Params,
                        TProgressRec& Progress)
{
    const int64_t base = Stream.Position();
    int32_t pages = 1;
    int64_t pointer = base + 4;
    uint32_t oldNext = 0;
    if (Insert) {
        // Pages go into little-endian files of the classic form only: a BigTIFF (version 43) has
        // directories of a form this writer does not make.
        uint8_t mark[4] = {};
        if (Stream.Read(mark, 4) != 4 || mark[0] != 'I' || mark[1] != 'I' || (mark[2] | mark[3] << 8) == 43) {
            CodecSetAborting(Progress);
            return 0;
        }
        pages = FindInsertPointer(Stream, base, Params.TIFF_ImageIndex, pointer, oldNext) + 1;
        Stream.Seek(0, soEnd);
    }
    bool error = false;
    if (!Insert) {
        const uint8_t placeholder[8] = {};
        Daduvudez::SafeStreamWrite(&Stream, error, placeholder, 8);
    }
    TEntryWriter entries(Stream, base, error);
    const bool picture = Bitmap != nullptr && Bitmap->GetWidth() > 0 && Bitmap->GetHeight() > 0;
    if (Params.EXIF_HasEXIFData) {
        WriteExifTags(entries, Stream, base, error, Params, picture ? Bitmap : nullptr);
    } else {
        entries.Ascii(270, Params.TIFF_ImageDescription);
        entries.Rational(282, uint32_t(std::max(Params.DpiX, 0)), 1);
        entries.Rational(283, uint32_t(std::max(Params.DpiY, 0)), 1);
        entries.Short(296, 2);
    }
    TPlan plan;
    if (picture) {
        Prepare(*Bitmap, Params, plan);
        TKVBitmap& working = *plan.Working;
        entries.Long(256, uint32_t(working.GetWidth()));
        entries.Long(257, uint32_t(working.GetHeight()));
        entries.Integers(258, std::vector<uint32_t>(size_t(plan.Samples), uint32_t(plan.Bits)));
        entries.Short(259, plan.Compression);
        entries.Short(262, plan.Photometric);
        entries.Ascii(269, Params.TIFF_DocumentName);
        if (plan.Compression >= cCCITT1D && plan.Compression <= cGroup4) {
            entries.Short(266, 1);
            entries.Short(274, 1);
            entries.Short(284, 1);
        }
        if (plan.Compression == cGroup3) {
            entries.Long(292, plan.TwoDimensional ? 1 : 0);
        }
        TStripWriter(plan, entries, Stream, Params, Progress, error).Run();
        if (!error && !CodecAborted(Progress)) {
            entries.Short(277, uint32_t(plan.Samples));
            if (plan.Predictor == 2) {
                entries.Short(317, 2);
            }
            entries.Ascii(285, Params.TIFF_PageName);
            entries.Rational(286, uint32_t(std::max(Round(Params.TIFF_XPos * 10000.0), 0)), 10000);
            entries.Rational(287, uint32_t(std::max(Round(Params.TIFF_YPos * 10000.0), 0)), 10000);
            if (Params.TIFF_PageNumber != 0 || Params.TIFF_PageCount != 0) {
                entries.Shorts(297, {uint16_t(Params.TIFF_PageNumber), uint16_t(Params.TIFF_PageCount)});
            }
            if (plan.Photometric == 3) {
                const size_t entriesCount = size_t(1) << plan.Bits;
                std::vector<uint16_t> map(entriesCount * 3, 0);
                // Values of 16 bits at full scale (255 is 65535), so that every reader, which
                // scales them down by 257 or takes their high byte, finds the colours written.
                for (size_t i = 0; i < entriesCount && i < plan.Palette.size(); ++i) {
                    map[i] = uint16_t(plan.Palette[i].r * 257);
                    map[i + entriesCount] = uint16_t(plan.Palette[i].g * 257);
                    map[i + 2 * entriesCount] = uint16_t(plan.Palette[i].b * 257);
                }
                entries.Shorts(320, map);
            }
        }
    }
    if (Bitmap != nullptr) {
        std::vector<uint8_t> iptc;
        Params.IPTC_Info.SaveToStandardBuffer(iptc, false);
        entries.LongBlock(33723, iptc);
        entries.Bytes(32932, ttBYTE, Params.ImagingAnnot.SaveToStandardBuffer());
    }
    if (error || CodecAborted(Progress)) {
        CodecSetAborting(Progress);
        return pages;
    }
    const uint32_t directory = entries.WriteDirectory(oldNext);
    const int64_t end = Stream.Position();
    if (!Insert) {
        const uint8_t header[8] = {'I',
                                   'I',
                                   42,
                                   0,
                                   uint8_t(directory),
                                   uint8_t(directory >> 8),
                                   uint8_t(directory >> 16),
                                   uint8_t(directory >> 24)};
        Stream.SetPosition(base);
        Daduvudez::SafeStreamWrite(&Stream, error, header, 8);
    } else {
        const uint8_t link[4] = {uint8_t(directory), uint8_t(directory >> 8), uint8_t(directory >> 16),
                                 uint8_t(directory >> 24)};
        Stream.SetPosition(pointer);
        Daduvudez::SafeStreamWrite(&Stream, error, link, 4);
    }
    Stream.SetPosition(end);
    if (error) {
        CodecSetAborting(Progress);
    }
    return pages;
}

} // namespace Tiffilt
