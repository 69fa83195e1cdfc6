// The PNG reader and probe: stream to TKVBitmap (and alpha mask) through the PNG library.
#include "imaging/codecs/png/pngfilt.h"

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/png/detail/png_glue.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>
#include <vector>

namespace Pngfilt {

using namespace detail;

namespace {

struct TPngReader
{
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TStream* Stream = nullptr;
    std::exception_ptr StreamError; // raised again once the library objects are gone

    ~TPngReader() { png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr); }
};

// Runs inside a library call: a stream exception is kept for later and the library is told
// of a read error, so that no exception crosses it.
void ReadData(png_structp png, png_bytep data, size_t length)
{
    auto* reader = static_cast<TPngReader*>(png_get_io_ptr(png));
    int64_t got = 0;
    try {
        got = reader->Stream->Read(data, static_cast<int64_t>(length));
    } catch (...) {
        reader->StreamError = std::current_exception();
    }
    if (got != static_cast<int64_t>(length)) {
        png_error(png, "Read Error");
    }
}

// Memory follows the picture, never a chunk's length field. Only the chunks the reader uses
// are processed (beside the critical ones: bKGD and pHYs); texts, suggested palettes, profiles
// and every other chunk are skipped unread, so a hostile length costs no allocation. The
// library's own limits are set too, whatever it was built with: no side past the pixel budget,
// few stored chunks, and no chunk held in memory past a size that no used chunk comes near.
constexpr png_uint_32 ChunkCacheMax = 128;
constexpr png_alloc_size_t ChunkMallocMax = png_alloc_size_t(1) << 20;
const png_byte ProcessedAncillaryChunks[] = "bKGD\0pHYs";

void SetLimits(png_structp png)
{
    SetSideLimits(png);
    png_set_chunk_cache_max(png, ChunkCacheMax);
    png_set_chunk_malloc_max(png, ChunkMallocMax);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, ProcessedAncillaryChunks, 2);
}

// The library reports a chunk longer than the chunk limit as a benign error, a warning on
// reading, and would then allocate its declared length. For a chunk it processes that is
// damage, not a picture; skipped chunks and the image data (which streams) are safe.
void ReadWarning(png_structp png, png_const_charp message)
{
    const std::string_view text(message);
    if (!text.ends_with("chunk data is too large")) {
        return;
    }
    for (const char* chunk : {"IHDR", "PLTE", "tRNS", "IEND", "bKGD", "pHYs"}) {
        if (text.starts_with(chunk)) {
            png_error(png, message);
        }
    }
}

struct THeader
{
    png_uint_32 Width = 0;
    png_uint_32 Height = 0;
    int Depth = 0;
    int ColorType = 0;
    int Interlace = 0;
};

bool IsBlackWhitePalette(png_structp png, png_infop info)
{
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) == 0 || count < 2) {
        return false;
    }
    return palette[0].red == 0 && palette[0].green == 0 && palette[0].blue == 0 && palette[1].red == 255 &&
           palette[1].green == 255 && palette[1].blue == 255;
}

// The file's bKGD as an 8-bit colour. The chunk holds values in the image's own depth (or a
// palette index), so only 16-bit values are shifted down.
bool FileBackground(png_structp png, png_infop info, const THeader& h, TRGB& colour)
{
    png_color_16p background = nullptr;
    if (png_get_bKGD(png, info, &background) == 0 || background == nullptr) {
        return false;
    }
    if (h.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) == 0 || background->index >= count) {
            return false;
        }
        const png_color& entry = palette[background->index];
        colour = TRGB{entry.blue, entry.green, entry.red};
        return true;
    }
    auto scale = [&h](png_uint_16 value) -> uint8_t {
        if (h.Depth == 16) {
            return static_cast<uint8_t>(value >> 8);
        }
        const uint32_t top = (1u << h.Depth) - 1;
        return static_cast<uint8_t>(std::min<uint32_t>(value, top) * 255 / top);
    };
    if ((h.ColorType & PNG_COLOR_MASK_COLOR) != 0) {
        colour = TRGB{scale(background->blue), scale(background->green), scale(background->red)};
    } else {
        const uint8_t grey = scale(background->gray);
        colour = TRGB{grey, grey, grey};
    }
    return true;
}

// Which form the rows come in after the library's transformations.
enum class TRowForm
{
    Bits,
    Bgr,
    Bgra
};

// Sets up the transformations; 1-bit grey, and 1-bit palettes of exactly black and white, stay
// packed bits (kv1g) unless a tRNS chunk makes one of their values transparent, which packed bits
// cannot hold; everything else becomes 8-bit blue, green, red (alpha).
TRowForm SetTransformations(png_structp png, png_infop info, const THeader& h)
{
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (h.Depth == 1 && !hasTrns &&
        (h.ColorType == PNG_COLOR_TYPE_GRAY ||
         (h.ColorType == PNG_COLOR_TYPE_PALETTE && IsBlackWhitePalette(png, info)))) {
        return TRowForm::Bits;
    }
    if (h.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (h.ColorType == PNG_COLOR_TYPE_GRAY && h.Depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (hasTrns) {
        png_set_tRNS_to_alpha(png);
    }
    if (h.Depth == 16) {
        png_set_strip_16(png);
    }
    if (h.Depth < 8) {
        png_set_packing(png);
    }
    if ((h.ColorType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    png_set_bgr(png);
    const bool alpha = hasTrns || (h.ColorType & PNG_COLOR_MASK_ALPHA) != 0;
    return alpha ? TRowForm::Bgra : TRowForm::Bgr;
}

// Samples per pixel as the file stores them.
int FileChannels(const THeader& h)
{
    switch (h.ColorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;
    }
}

void FillRecord(png_structp png, png_infop info, const THeader& h, TIOParamsVals& params)
{
    params.Width = static_cast<int32_t>(h.Width);
    params.Height = static_cast<int32_t>(h.Height);
    params.BitsPerSample = h.Depth;
    params.SamplesPerPixel = FileChannels(h);
    png_uint_32 resX = 0;
    png_uint_32 resY = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    // A pHYs without unit gives only the aspect ratio.
    if (png_get_pHYs(png, info, &resX, &resY, &unit) == 0 || unit != PNG_RESOLUTION_METER) {
        resX = resY = 0;
    }
    params.DpiX = resX != 0 ? PixelsPerMetreToDpi(resX) : 0;
    params.DpiY = resY != 0 ? PixelsPerMetreToDpi(resY) : 0;
    if (params.DpiX == 0) {
        params.DpiX = Kvview::gSystemDPIX;
    }
    if (params.DpiY == 0) {
        params.DpiY = Kvview::gSystemDPIY;
    }
    params.FreeColorMap();
    png_colorp palette = nullptr;
    int count = 0;
    if (h.ColorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &count) != 0 &&
        count > 0) {
        params.AllocColorMap(count);
        for (int i = 0; i < count; ++i) {
            params.ColorMap[i] = TRGB{palette[i].blue, palette[i].green, palette[i].red};
        }
    }
    params.PNG_Interlaced = h.Interlace != PNG_INTERLACE_NONE;
}

// The library's composition onto a background (no gamma), on 8-bit values.
inline uint8_t Compose(uint32_t fg, uint32_t alpha, uint32_t bg)
{
    const uint32_t t = fg * alpha + bg * (255 - alpha) + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

struct TRowTarget
{
    TKVBitmap& Bitmap;
    TKVMask* Mask; // nil: compose onto Background
    TRGB Background;
};

// A row of four channels passes through conv: the library adds to what conv holds, and an
// interlaced pass leaves the pixels of earlier passes alone. A row that no pass has reached is
// black, and transparent where alpha goes to the mask; where alpha is composed away it is opaque,
// so that a pixel no pass reaches stays black too.
void ClearConvRow(std::vector<uint8_t>& conv, bool toMask)
{
    std::fill(conv.begin(), conv.end(), uint8_t(0));
    for (size_t x = 3; !toMask && x < conv.size(); x += 4) {
        conv[x] = 255;
    }
}

// conv as the library should find row y: what earlier passes left in the bitmap (and mask) row.
void LoadBgraRow(TRowTarget& t, int32_t y, std::vector<uint8_t>& conv)
{
    const uint8_t* row = t.Bitmap.GetScanLine(y);
    const uint8_t* alpha = t.Mask != nullptr ? t.Mask->GetScanLine(y) : nullptr;
    const size_t width = static_cast<size_t>(t.Bitmap.GetWidth());
    for (size_t x = 0; x < width; ++x) {
        conv[4 * x] = row[3 * x];
        conv[4 * x + 1] = row[3 * x + 1];
        conv[4 * x + 2] = row[3 * x + 2];
        conv[4 * x + 3] = alpha != nullptr ? alpha[x] : 255;
    }
}

void StoreBgraRow(TRowTarget& t, int32_t y, const std::vector<uint8_t>& conv)
{
    uint8_t* row = t.Bitmap.GetScanLine(y);
    uint8_t* alpha = t.Mask != nullptr ? t.Mask->GetScanLine(y) : nullptr;
    const size_t width = static_cast<size_t>(t.Bitmap.GetWidth());
    for (size_t x = 0; x < width; ++x) {
        const uint8_t* p = &conv[4 * x];
        if (alpha != nullptr) {
            row[3 * x] = p[0];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[2];
            alpha[x] = p[3];
        } else {
            row[3 * x] = Compose(p[0], p[3], t.Background.b);
            row[3 * x + 1] = Compose(p[1], p[3], t.Background.g);
            row[3 * x + 2] = Compose(p[2], p[3], t.Background.r);
        }
    }
}

bool ReadBgraRow(TPngReader& r, TRowTarget& t, int32_t y, std::vector<uint8_t>& conv)
{
    LoadBgraRow(t, y, conv);
    uint8_t* convRow = conv.data();
    if (!PngGuard(r.Png, [&] { png_read_row(r.Png, convRow, nullptr); })) {
        return false;
    }
    StoreBgraRow(t, y, conv);
    return true;
}

bool ReadRow(TPngReader& r, TRowTarget& t, TRowForm form, int32_t y, std::vector<uint8_t>& conv)
{
    if (form == TRowForm::Bgra) {
        return ReadBgraRow(r, t, y, conv);
    }
    uint8_t* row = t.Bitmap.GetScanLine(y);
    return PngGuard(r.Png, [&] { png_read_row(r.Png, row, nullptr); });
}

// The file's first row (of the first pass, for an interlaced file), read into a row of the
// delivered form before the bitmap is made; the row starts as clear as the bitmap's rows do.
// Empty when the data gives no whole first row.
std::vector<uint8_t> ReadFirstRow(TPngReader& r, TRowForm form, size_t rowBytes, bool toMask)
{
    std::vector<uint8_t> first(rowBytes);
    if (form == TRowForm::Bgra) {
        ClearConvRow(first, toMask);
    }
    uint8_t* row = first.data();
    if (!PngGuard(r.Png, [&] { png_read_row(r.Png, row, nullptr); })) {
        first.clear();
    }
    return first;
}

// Row 0 from the first row read before the bitmap was made; its bytes past the row stay clear.
void StoreFirstRow(TRowTarget& t, TRowForm form, const std::vector<uint8_t>& first)
{
    if (form == TRowForm::Bgra) {
        StoreBgraRow(t, 0, first);
    } else {
        std::copy(first.begin(), first.end(), t.Bitmap.GetScanLine(0));
    }
}

// row holds the first row on entry (see ReadFirstRow) and then serves as the conversion row.
// The library keeps what a row held where a pass or the last partial byte leaves it alone, and
// a row it never reaches stays so: the bitmap and mask come cleared from their allocation (zero
// is black, and transparent where the file has alpha), so no row is cleared here, and a file cut
// short costs no work for the rows past the cut.
bool ReadRows(TPngReader& r, TRowTarget& t, TRowForm form, int passes, std::vector<uint8_t>& row,
              TProgressRec& progress)
{
    const int32_t height = t.Bitmap.GetHeight();
    CodecProgressBegin(progress, int64_t(height) * passes);
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < height; ++y) {
            const bool first = pass == 0 && y == 0;
            if (CodecAborted(progress) || (!first && !ReadRow(r, t, form, y, row))) {
                return false;
            }
            if (first) {
                StoreFirstRow(t, form, row);
            }
            CodecProgressRows(progress, 1);
        }
    }
    return true;
}

// The bitmap, and the mask where the rows carry alpha and it is not composed away: a file without
// alpha gets no mask, which its callers take as opaque, rather than a picture-sized one of 255.
TRowTarget MakeTarget(const THeader& h, TRowForm form, TKVBitmap& bitmap, std::unique_ptr<TKVMask>& alphaMask,
                      bool noAlpha, TRGB background)
{
    bitmap.Allocate(static_cast<int32_t>(h.Width), static_cast<int32_t>(h.Height),
                    form == TRowForm::Bits ? kv1g : kv24RGB);
    TRowTarget target{bitmap, nullptr, background};
    if (noAlpha || form != TRowForm::Bgra) {
        return target;
    }
    if (alphaMask == nullptr) {
        alphaMask = std::make_unique<TKVMask>();
    }
    alphaMask->AllocateBits(static_cast<int32_t>(h.Width), static_cast<int32_t>(h.Height), 8);
    target.Mask = alphaMask.get();
    return target;
}

// Deflate codes its longest match, 258 bytes, in no fewer than two bits (a one-bit length code
// and a one-bit distance code, the shortest codes Huffman coding has), so a byte of image data
// inflates to at most 1032 bytes; block headers and the zlib header and checksum only lower that.
// No file that holds a row can be refused on this ratio, whatever its compressor.
constexpr int64_t DeflateMaxExpansion = 1032;
constexpr int64_t ChunkHeaderBytes = 8; // length and type
constexpr int64_t ChunkCrcBytes = 4;
constexpr int64_t ReadAheadBlock = 64 * 1024;

// Chunk headers read ahead in a stream in blocks, so that a file of a million small chunks costs
// a read per block, not one per chunk.
class TChunkHeaders
{
public:
    explicit TChunkHeaders(TStream& stream) : FStream(stream), FBlock(ReadAheadBlock) {}

    // The header at offset, nil past the stream's end.
    const uint8_t* At(int64_t offset)
    {
        if (offset < FBlockStart || offset + ChunkHeaderBytes > FBlockStart + FBlockBytes) {
            FStream.SetPosition(offset);
            FBlockStart = offset;
            FBlockBytes = std::max<int64_t>(FStream.Read(FBlock.data(), ReadAheadBlock), 0);
        }
        return offset + ChunkHeaderBytes <= FBlockStart + FBlockBytes ? FBlock.data() + (offset - FBlockStart)
                                                                      : nullptr;
    }

private:
    TStream& FStream;
    std::vector<uint8_t> FBlock;
    int64_t FBlockStart = 0;
    int64_t FBlockBytes = 0;
};

bool IsImageDataHeader(const uint8_t* header)
{
    return header != nullptr && std::memcmp(header + 4, "IDAT", 4) == 0 &&
           png_get_uint_32(header) <= PNG_UINT_31_MAX;
}

// The image data the stream holds for the library, counted ahead up to needed bytes; the stream
// is left where it was. png_read_info stops just past the first IDAT chunk's header, and the
// library inflates only the IDAT chunks that follow it in a row (any other chunk ends the data).
// Each chunk counts no more than the stream holds, whatever its length field says, and the count
// stops at needed, so that a whole file costs a single header. -1 when the stream cannot be read
// ahead (a pipe has no position) or the first chunk is not where the library left the stream.
int64_t ImageDataAhead(TStream& stream, int64_t needed)
{
    const int64_t start = stream.Position();
    const int64_t end = start >= ChunkHeaderBytes ? stream.Size() : -1;
    if (start < ChunkHeaderBytes || end < start) {
        return -1;
    }
    TChunkHeaders headers(stream);
    int64_t offset = start - ChunkHeaderBytes;
    const uint8_t* header = headers.At(offset);
    const bool whereExpected = IsImageDataHeader(header);
    int64_t total = 0;
    while (total < needed && IsImageDataHeader(header)) {
        const int64_t data = offset + ChunkHeaderBytes;
        const int64_t length = png_get_uint_32(header);
        total += std::min(length, end - data);
        offset = data + length + ChunkCrcBytes;
        header = headers.At(offset);
    }
    stream.SetPosition(start);
    return whereExpected ? total : -1;
}

// False when the image data that follows cannot inflate to one filtered row of the full width:
// the library makes its row buffers, and the reader its own, for that width before any row, so
// memory follows the data only when the data can fill them. A stream that cannot be read ahead
// passes.
bool DataCanFillARow(TStream& stream, const THeader& h)
{
    const int64_t rowBits = int64_t(h.Width) * FileChannels(h) * h.Depth;
    const int64_t filteredRow = 1 + (rowBits + 7) / 8;
    const int64_t needed = (filteredRow + DeflateMaxExpansion - 1) / DeflateMaxExpansion;
    const int64_t ahead = ImageDataAhead(stream, needed);
    return ahead < 0 || ahead >= needed;
}

bool Decode(TPngReader& r, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress, bool paramsOnly,
            std::unique_ptr<TKVMask>& alphaMask, bool noAlpha)
{
    THeader h;
    if (!PngGuard(r.Png, [&] {
            png_read_info(r.Png, r.Info);
            png_get_IHDR(r.Png, r.Info, &h.Width, &h.Height, &h.Depth, &h.ColorType, &h.Interlace, nullptr,
                         nullptr);
        })) {
        return false;
    }
    FillRecord(r.Png, r.Info, h, params);
    TRGB background = params.PNG_Background;
    if (noAlpha && FileBackground(r.Png, r.Info, h, background)) {
        params.PNG_Background = background;
    }
    if (paramsOnly) {
        return true;
    }
    if (int64_t(h.Width) * h.Height > KVCodecMaxPixels || !DataCanFillARow(*r.Stream, h)) {
        return false;
    }
    TRowForm form = TRowForm::Bits;
    int passes = 1;
    png_size_t rowBytes = 0;
    png_byte channels = 0;
    if (!PngGuard(r.Png, [&] {
            form = SetTransformations(r.Png, r.Info, h);
            passes = png_set_interlace_handling(r.Png);
            png_read_update_info(r.Png, r.Info);
            rowBytes = png_get_rowbytes(r.Png, r.Info);
            channels = png_get_channels(r.Png, r.Info);
        })) {
        return false;
    }
    const size_t width = h.Width;
    const bool expected = (form == TRowForm::Bits && channels == 1 && rowBytes == (width + 7) / 8) ||
                          (form == TRowForm::Bgr && channels == 3 && rowBytes == width * 3) ||
                          (form == TRowForm::Bgra && channels == 4 && rowBytes == width * 4);
    if (!expected) {
        return false;
    }
    // Memory follows the data: the bitmap and mask are made only once the data gives a whole first
    // row, so that a file refused before that leaves both as they were. A file that ends later
    // still loads partially, with the abort flag.
    std::vector<uint8_t> row = ReadFirstRow(r, form, rowBytes, !noAlpha);
    if (row.empty()) {
        return false;
    }
    TRowTarget target = MakeTarget(h, form, bitmap, alphaMask, noAlpha, background);
    if (!ReadRows(r, target, form, passes, row, progress)) {
        return false;
    }
    return PngGuard(r.Png, [&] { png_read_end(r.Png, nullptr); });
}

} // namespace

bool IsPNGStream(TStream& stream)
{
    static const uint8_t Signature[4] = {0x89, 'P', 'N', 'G'};
    const int64_t start = stream.Position();
    uint8_t bytes[8] = {};
    const int64_t got = stream.Read(bytes, 8);
    stream.SetPosition(start);
    return got >= 4 && std::equal(Signature, Signature + 4, bytes);
}

void ReadPNGStream(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool paramsOnly, std::unique_ptr<TKVMask>& alphaMask, bool noAlpha)
{
    bool localAbort = false;
    bool* aborting = progress.Aborting != nullptr ? progress.Aborting : &localAbort;
    TPngReader r;
    r.Stream = &stream;
    r.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, aborting, PngError, ReadWarning);
    r.Info = r.Png != nullptr ? png_create_info_struct(r.Png) : nullptr;
    if (r.Info == nullptr) {
        *aborting = true;
        return;
    }
    png_set_read_fn(r.Png, &r, ReadData);
    if (!PngGuard(r.Png, [&r] { SetLimits(r.Png); })) {
        *aborting = true;
        return;
    }
    if (!Decode(r, bitmap, params, progress, paramsOnly, alphaMask, noAlpha)) {
        *aborting = true;
    }
    if (r.StreamError) {
        std::exception_ptr error = r.StreamError;
        r.StreamError = nullptr;
        std::rethrow_exception(error);
    }
}

} // namespace Pngfilt
