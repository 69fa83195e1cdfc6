// The page decoder of the TIFF reader: the tags that describe the pixels, the layouts that have a
// conversion, and the walk over strips or tiles (chunky or one plane per sample) into the bitmap.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/tiff/detail/tiff_page.h"
#include "imaging/codecs/tiff/detail/tiff_rows.h"
#include "imaging/core/bit_utils.h"
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/detail/access_scope.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstddef>

namespace Tiffilt::detail {

namespace {

constexpr int64_t MaxSamplesPerPixel = 8;

int32_t ToInt32(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

bool IsFax(int32_t compression)
{
    return compression == tcCCITT1D || compression == tcGroup3 || compression == tcGroup4;
}

bool UsesPredictor(int32_t compression)
{
    return compression == tcLZW || compression == tcAdobeDeflate || compression == tcDeflate;
}

// Whether the tags that lay the strips out hold what they must: integers, a single one where
// the tag has no value per sample, and rows in every strip. libtiff refuses a directory whose
// tag holds anything else.
bool LayoutReadable(const TTIFFEnv& env)
{
    for (const uint16_t tag : {256, 257, 258, 259, 277, 278, 284, 322, 323}) {
        const TTIFFEntry* entry = TIFFFindEntry(tag, env);
        const bool perSample = tag == 258 || tag == 259;
        int64_t value = 0;
        if (entry != nullptr && (!TIFFEntryInteger(env, *entry, 0, value) ||
                                 (!perSample && entry->Count != 1) || (tag == 278 && value <= 0))) {
            return false;
        }
    }
    return true;
}

void ReadColorMap(const TTIFFEnv& env, TTIFFPage& page)
{
    if (page.BitsPerSample < 1 || page.BitsPerSample > 16) {
        return;
    }
    const size_t entries = size_t(1) << page.BitsPerSample;
    std::vector<int64_t> values;
    if (TIFFReadArrayIntegers(env, values, 320) <= 0 || values.size() < entries * 3) {
        return;
    }
    page.FileColorMap.resize(entries);
    for (size_t i = 0; i < entries; ++i) {
        TRGB& colour = page.FileColorMap[i];
        colour.r = uint8_t(values[i] >> 8);
        colour.g = uint8_t(values[i + entries] >> 8);
        colour.b = uint8_t(values[i + 2 * entries] >> 8);
        if (i < page.ColorMap.size()) {
            page.ColorMap[i] = colour;
        }
    }
}

// Rows of one strip or tile and where they go.
struct TBlock
{
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;               // pixels decoded per row
    int32_t Rows = 0;                // rows decoded (those inside the image)
    int32_t FullRows = 0;            // rows of a whole strip or tile
    std::vector<int64_t> Offsets;    // one per plane
    std::vector<int64_t> ByteCounts; // one per plane, 0 when unknown
};

class TPageDecoder
{
public:
    TPageDecoder(const TTIFFPage& page, TTIFFEnv& env, TKVBitmap& bitmap, std::unique_ptr<TKVMask>& mask,
                 bool noAlpha, TIOParamsVals& params, TProgressRec& progress)
        : FPage(page), FEnv(env), FBitmap(bitmap), FMask(mask), FNoAlpha(noAlpha), FParams(params),
          FProgress(progress), FPlanes(page.PlanarConfiguration == 2 ? page.SamplesPerPixel : 1),
          FConverter(page, !noAlpha && (mask != nullptr || HasAlpha(page)))
    {
    }

    bool Run();
    bool PictureMade() const { return FMade; }

private:
    bool Walk(const std::vector<int64_t>& offsets, const std::vector<int64_t>& counts, int64_t blockWidth,
              int64_t blockRows, bool tiled);
    void MakePicture();
    void OpenRow(int32_t y, int32_t x, int32_t count);
    bool DecodeBlock(const TBlock& block);
    bool DecodeJpegBlock(const TBlock& block, const std::vector<uint8_t>& data, bool pastEnd);
    std::vector<uint8_t> ReadData(int64_t offset, int64_t count, int64_t rawBytes, bool& pastEnd);
    int64_t PlaneRowBytes(int64_t width) const
    {
        const int64_t samples = FPlanes > 1 ? 1 : FPage.SamplesPerPixel;
        return (width * samples * FPage.BitsPerSample + 7) / 8;
    }
    bool RowDone();
    int64_t MostBytesFrom(int64_t size) const;
    int64_t RowsTheDataCanHold(int64_t size, int64_t rowBytes) const;
    bool DataCanFillARow(const std::vector<std::vector<uint8_t>>& data, int64_t rowBytes) const;

    const TTIFFPage& FPage;
    TTIFFEnv& FEnv;
    TKVBitmap& FBitmap;
    std::unique_ptr<TKVMask>& FMask;
    bool FNoAlpha;
    TKVMask* FAlpha = nullptr; // the mask that receives the alpha samples, once the picture is made
    bool FMade = false;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    int32_t FPlanes;
    TRowConverter FConverter;
};

// The most bytes that LZW codes in size bytes decode to. Codes take 9 bits or more; the k-th code
// after a Clear gives at most k bytes, each string being at most one byte longer than the longest
// before it; and a Clear must come before the table's 3838 free entries are used up, so a run of
// codes between Clears gives at most 1 + 2 + ... + 3839 bytes.
int64_t LzwMostBytes(int64_t size)
{
    constexpr int64_t CodesBetweenClears = 4096 - 258 + 1;
    constexpr int64_t BytesBetweenClears = CodesBetweenClears * (CodesBetweenClears + 1) / 2;
    const int64_t codes = size * 8 / 9;
    const int64_t rest = codes % CodesBetweenClears;
    return codes / CodesBetweenClears * BytesBetweenClears + rest * (rest + 1) / 2;
}

// The most bytes that size bytes of the page's compression can decode to: the largest expansion
// each coding allows (a PackBits run; LZW as above; deflate's 1032:1); -1 for fax data, whose rows
// take as little as one bit each.
int64_t TPageDecoder::MostBytesFrom(int64_t size) const
{
    switch (FPage.Compression) {
    case tcNone:
        return size;
    case tcPackBits:
        return size * 64;
    case tcLZW:
        return LzwMostBytes(size);
    case tcAdobeDeflate:
    case tcDeflate:
        return size * 1032;
    default:
        return -1;
    }
}

// The most rows that size bytes can decode to, the row the data ends inside counted.
int64_t TPageDecoder::RowsTheDataCanHold(int64_t size, int64_t rowBytes) const
{
    const int64_t bytes = std::max<int64_t>(rowBytes, 1);
    const int64_t most = MostBytesFrom(size);
    return most < 0 ? size * 8 + 1 : (most + bytes - 1) / bytes;
}

// Whether the data of every plane can decode to a whole row: data that cannot is refused before
// a single code is decoded. (Rows grow as their data is decoded, so that a few bytes claiming a
// huge width cost no more than those bytes even where they could fill it.)
bool TPageDecoder::DataCanFillARow(const std::vector<std::vector<uint8_t>>& data, int64_t rowBytes) const
{
    return std::all_of(data.begin(), data.end(), [&](const std::vector<uint8_t>& plane) {
        const int64_t most = MostBytesFrom(int64_t(plane.size()));
        return most < 0 || most >= rowBytes;
    });
}

// The bitmap at the page's size, black, and the mask, where the page has alpha samples or the
// caller gave one; made at the first whole row, so that a page refused before it leaves both as
// they were and a header's sizes take no memory that no data fills. Both come cleared by the
// system: rows that no data reaches are black, and transparent.
void TPageDecoder::MakePicture()
{
    if (FMade) {
        return;
    }
    FMade = true;
    if (!FNoAlpha && HasAlpha(FPage) && FMask == nullptr) {
        FMask = std::make_unique<TKVMask>();
    }
    if (FMask != nullptr) {
        FMask->AllocateBits(FPage.ImageWidth, FPage.ImageLength, 8);
    }
    FBitmap.Allocate(FPage.ImageWidth, FPage.ImageLength, PagePixelFormat(FPage));
    FAlpha = FNoAlpha ? nullptr : FMask.get();
}

// Makes the picture if need be, and the mask's count pixels of row y from x on opaque, as they
// stay unless the row's alpha samples say otherwise.
void TPageDecoder::OpenRow(int32_t y, int32_t x, int32_t count)
{
    MakePicture();
    if (FMask != nullptr && count > 0) {
        std::fill_n(FMask->GetScanLine(y) + x, count, uint8_t(255));
    }
}

bool TPageDecoder::RowDone()
{
    CodecProgressRows(FProgress, 1);
    return !CodecAborted(FProgress);
}

// The block's data, cut to what the stream holds and to what its rows can take up: compressed
// rows never need ten times their raw size, so a byte count of 0 ("to the end") or one that is
// far too large does not make the reader hold more than the picture warrants. pastEnd tells
// that the block runs past the end of the file (or lies beyond it): the file is damaged.
std::vector<uint8_t> TPageDecoder::ReadData(int64_t offset, int64_t count, int64_t rawBytes, bool& pastEnd)
{
    TStream& stream = *FEnv.Stream;
    const int64_t available = TIFFBytesFrom(FEnv, offset);
    pastEnd = available <= 0 || count > available;
    if (available <= 0) {
        return {};
    }
    int64_t length = count > 0 ? std::min(count, available) : available;
    length = std::min(length, FPage.Compression == tcNone ? rawBytes : rawBytes * 10 + 4096);
    std::vector<uint8_t> data(static_cast<size_t>(length));
    stream.SetPosition(FEnv.BaseOffset + offset);
    data.resize(size_t(std::max<int64_t>(stream.Read(data.data(), length), 0)));
    if (FPage.FillOrder == 2 && !IsFax(FPage.Compression)) {
        for (uint8_t& byte : data) {
            Daduvudez::ReverseBitsB(byte);
        }
    }
    return data;
}

// A JPEG strip or tile is a JPEG of its own, decoded by the JPEG reader, whose rule holds inside
// it: a cut scan is padded and counted as a warning. One larger than its place is refused before
// it is decoded; one smaller leaves rows it does not reach, and fails after they are copied. So
// does one that the file cuts short (pastEnd), whose padded rows are not the file's.
bool TPageDecoder::DecodeJpegBlock(const TBlock& block, const std::vector<uint8_t>& data, bool pastEnd)
{
    if (PagePixelFormat(FPage) != kv24RGB || data.empty()) {
        return false;
    }
    TMemoryStream jpeg;
    jpeg.WriteBuffer(data.data(), int64_t(data.size()));
    TMemoryStream tables;
    if (!FPage.JPEGTables.empty()) {
        tables.WriteBuffer(FPage.JPEGTables.data(), int64_t(FPage.JPEGTables.size()));
    }
    TStream* tablesStream = FPage.JPEGTables.empty() ? nullptr : &tables;
    // A record of its own, so that the page keeps its size and resolution.
    TIOParamsVals scratch;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    const auto read = [&](TKVBitmap& decoded, bool paramsOnly) {
        jpeg.SetPosition(0);
        tables.SetPosition(0);
        Jpegfilt::ReadJPegStream(jpeg, tablesStream, decoded, scratch, progress, paramsOnly,
                                 FPage.Photometric == tpRGB, nullptr, true);
        return !aborting && !CodecAborted(FProgress);
    };
    TKVBitmap decoded;
    decoded.SetLocation(kvMemory);
    if (!read(decoded, true) || scratch.Width > block.Width || scratch.Height > block.FullRows) {
        return false;
    }
    const bool decodedWhole = read(decoded, false) && decoded.GetPixelFormat() == kv24RGB &&
                              !(pastEnd && scratch.JPEG_WarningTot > 0);
    FParams.JPEG_WarningTot += scratch.JPEG_WarningTot;
    if (scratch.JPEG_WarningTot > 0) {
        FParams.JPEG_WarningCode = scratch.JPEG_WarningCode;
    }
    if (decoded.GetPixelFormat() != kv24RGB) {
        return false;
    }
    if (FPage.Photometric == tpRGB) {
        for (int32_t y = 0; y < decoded.GetHeight(); ++y) {
            Korvaneproc::_BGR2RGB(reinterpret_cast<TRGB*>(decoded.GetScanLine(y)), decoded.GetWidth());
        }
    }
    const int32_t width = std::min(block.Width, FPage.ImageWidth - block.X);
    const int32_t rows = std::min(block.Rows, decoded.GetHeight());
    for (int32_t r = 0; r < rows; ++r) {
        OpenRow(block.Y + r, block.X, std::min(width, decoded.GetWidth()));
    }
    decoded.CopyRectTo(&FBitmap, 0, 0, block.X, block.Y, std::min(width, decoded.GetWidth()), rows);
    for (int32_t r = 0; r < rows; ++r) {
        if (!RowDone()) {
            return false;
        }
    }
    return decodedWhole && decoded.GetWidth() >= width && rows == block.Rows;
}

// A block fails where its data ends before its last row or breaks: the rows before stay, and
// so does the row the data ends inside, with what it holds. A byte count past the end of the file
// is no damage where the bytes the file holds give every row.
bool TPageDecoder::DecodeBlock(const TBlock& block)
{
    const int64_t rowBytes = PlaneRowBytes(block.Width);
    std::vector<std::vector<uint8_t>> data(static_cast<size_t>(FPlanes));
    bool pastEnd = false;
    for (int32_t p = 0; p < FPlanes; ++p) {
        bool planePastEnd = false;
        data[size_t(p)] = ReadData(block.Offsets[size_t(p)], block.ByteCounts[size_t(p)],
                                   rowBytes * block.Rows, planePastEnd);
        pastEnd = pastEnd || planePastEnd;
    }
    if (FPage.Compression == tcJPEG) {
        return DecodeJpegBlock(block, data[0], pastEnd);
    }
    if (!FMade && !DataCanFillARow(data, rowBytes)) {
        return false;
    }
    std::vector<std::unique_ptr<TRowDecoder>> decoders;
    for (int32_t p = 0; p < FPlanes; ++p) {
        decoders.push_back(std::make_unique<TRowDecoder>(
            FPage, data[size_t(p)].data(), int64_t(data[size_t(p)].size()), block.Width, rowBytes));
    }
    const int32_t sampleBytes = FPage.BitsPerSample / 8;
    // Each plane's row grows with its decoded data; one per sample is interleaved into the chunky
    // row, made once a row has been decoded.
    std::vector<std::vector<uint8_t>> planeRows(static_cast<size_t>(FPlanes));
    std::vector<uint8_t> row;
    const int32_t count = std::min(block.Width, FPage.ImageWidth - block.X);
    // No data holds more rows than its coding can give: a few bytes that claim millions of rows
    // cost no more than those bytes can give.
    int64_t rows = block.Rows;
    for (const std::vector<uint8_t>& plane : data) {
        rows = std::min(rows, RowsTheDataCanHold(int64_t(plane.size()), rowBytes));
    }
    for (int32_t r = 0; r < rows; ++r) {
        TRowStatus status = rsWhole;
        for (int32_t p = 0; p < FPlanes && (status == rsWhole || status == rsCut); ++p) {
            status = std::max(status, decoders[size_t(p)]->Next(planeRows[size_t(p)]));
        }
        if (status == rsNone || status == rsCorrupt) {
            return false;
        }
        // Data cut inside the first row gives no picture.
        if (!FMade && status != rsWhole) {
            return false;
        }
        // The rest of a cut row is zeros.
        for (std::vector<uint8_t>& planeRow : planeRows) {
            planeRow.resize(size_t(rowBytes));
        }
        OpenRow(block.Y + r, block.X, count);
        const int32_t y = block.Y + r;
        uint8_t* const maskRow = FAlpha != nullptr ? FAlpha->GetScanLine(y) : nullptr;
        if (FPlanes == 1) {
            FConverter.ConvertDifferenced(planeRows[0].data(), block.Width, count, FBitmap.GetScanLine(y),
                                          block.X, maskRow);
        } else {
            // One plane per sample: interleaved into a chunky row.
            row.resize(size_t(rowBytes * FPlanes));
            for (int32_t p = 0; p < FPlanes; ++p) {
                uint8_t* const planeRow = planeRows[size_t(p)].data();
                FConverter.UndoPredictor(planeRow, block.Width, 1);
                for (int32_t x = 0; x < block.Width; ++x) {
                    std::copy_n(planeRow + int64_t(x) * sampleBytes, sampleBytes,
                                row.data() + (int64_t(x) * FPlanes + p) * sampleBytes);
                }
            }
            FConverter.Convert(row.data(), count, FBitmap.GetScanLine(y), block.X, maskRow);
        }
        if (!RowDone() || status == rsCut) {
            return false;
        }
    }
    return rows == block.Rows;
}

// Strips are blocks of the image's width; tiles run left to right, then top to bottom. Blocks
// past the image are ignored, and so are rows of a block below it.
bool TPageDecoder::Walk(const std::vector<int64_t>& offsets, const std::vector<int64_t>& counts,
                        int64_t blockWidth, int64_t blockRows, bool tiled)
{
    const int64_t width = FPage.ImageWidth;
    const int64_t height = FPage.ImageLength;
    const int64_t across = tiled ? (width + blockWidth - 1) / blockWidth : 1;
    const int64_t down = (height + blockRows - 1) / blockRows;
    const int64_t stride = int64_t(offsets.size()) / FPlanes;
    const int64_t perPlane = std::min(across * down, stride);
    CodecProgressBegin(FProgress, height * across);
    for (int64_t i = 0; i < perPlane; ++i) {
        TBlock block;
        block.X = int32_t(i % across * blockWidth);
        block.Y = int32_t(i / across * blockRows);
        block.Width = int32_t(blockWidth);
        block.Rows = int32_t(std::min(blockRows, height - block.Y));
        block.FullRows = int32_t(blockRows);
        for (int32_t p = 0; p < FPlanes; ++p) {
            const size_t index = size_t(i + p * stride);
            block.Offsets.push_back(offsets[index]);
            block.ByteCounts.push_back(index < counts.size() ? counts[index] : 0);
        }
        if (!DecodeBlock(block)) {
            return false;
        }
    }
    // A table of fewer blocks than the page has leaves rows that no data reaches.
    return perPlane == across * down;
}

// The bitmap is allocated fresh, so rows that no data reaches stay black without being touched:
// a header that promises far more than its data costs no time.
bool TPageDecoder::Run()
{
    const int64_t width = FPage.ImageWidth;
    const int64_t height = FPage.ImageLength;
    if (IsTiled(FPage)) {
        // Both tile sizes must be there; a tile far larger than the picture is refused, so that
        // its rows cannot ask for memory the picture does not warrant.
        const int64_t tileWidth = FPage.TileWidth;
        const int64_t tileLength = FPage.TileLength;
        if (tileWidth <= 0 || tileLength <= 0 || tileWidth > 4 * std::max<int64_t>(width, 256) ||
            tileLength > 4 * std::max<int64_t>(height, 256)) {
            return false;
        }
        const bool tileTables = !FPage.TileOffsets.empty();
        return Walk(tileTables ? FPage.TileOffsets : FPage.StripOffsets,
                    tileTables ? FPage.TileByteCounts : FPage.StripByteCounts, tileWidth, tileLength, true);
    }
    if (FPage.Compression == tcJPEG) {
        return Walk(FPage.StripOffsets, FPage.StripByteCounts, width, FPage.RowsPerStrip, false);
    }
    // Every row of a strip is written whole: rows of a file-backed bitmap need not be read in.
    TKVAccessScope access(FBitmap, kvdWrite);
    return Walk(FPage.StripOffsets, FPage.StripByteCounts, width, FPage.RowsPerStrip, false);
}

} // namespace

bool IsTiled(const TTIFFPage& page)
{
    return page.TileWidth != -1 || page.TileLength != -1;
}

void ReadPageTags(const TTIFFEnv& env, TTIFFPage& page)
{
    page.ImageWidth = ToInt32(TIFFReadSingleValDef(env, 256, 0));
    page.ImageLength = ToInt32(TIFFReadSingleValDef(env, 257, 0));
    page.SamplesPerPixel = ToInt32(TIFFReadSingleValDef(env, 277, 1));
    std::vector<int64_t> bits;
    if (TIFFReadArrayIntegers(env, bits, 258) > 0) {
        // One value serves every sample, and values past the samples count for nothing; fewer
        // values than samples are refused like values that differ.
        page.BitsPerSample = ToInt32(bits[0]);
        const size_t samples = bits.size() == 1 ? 1 : size_t(std::max(page.SamplesPerPixel, 1));
        page.MixedBitsPerSample =
            bits.size() < samples || std::any_of(bits.begin(), bits.begin() + std::ptrdiff_t(samples),
                                                 [&](int64_t b) { return b != bits[0]; });
    }
    std::vector<int64_t> formats;
    TIFFReadArrayIntegers(env, formats, 339);
    page.UnsignedSamples = std::all_of(formats.begin(), formats.end(), [](int64_t f) { return f == 1; });
    page.LayoutUnreadable = !LayoutReadable(env);
    // 0xFFFFFFFF or more rows than the image: one strip covers the page.
    page.RowsPerStrip = TIFFReadSingleValDef(env, 278, page.ImageLength);
    if (page.RowsPerStrip <= 0 || page.RowsPerStrip > page.ImageLength) {
        page.RowsPerStrip = std::max(page.ImageLength, 1);
    }
    page.TileWidth = TIFFReadSingleValDef(env, 322, -1);
    page.TileLength = TIFFReadSingleValDef(env, 323, -1);
    page.Photometric = ToInt32(TIFFReadSingleValDef(env, 262, tpRGB));
    page.PlanarConfiguration = ToInt32(TIFFReadSingleValDef(env, 284, 1));
    page.Orientation = ToInt32(TIFFReadSingleValDef(env, 274, 1));
    page.Compression = ToInt32(TIFFReadSingleValDef(env, 259, tcNone));
    page.Predictor = ToInt32(TIFFReadSingleValDef(env, 317, 1));
    page.ResolutionUnit = ToInt32(TIFFReadSingleValDef(env, 296, 2));
    page.XResolution = TIFFReadSingleRational(env, 282);
    page.YResolution = TIFFReadSingleRational(env, 283);
    page.T4Options = ToInt32(TIFFReadSingleValDef(env, 292, 0));
    page.FillOrder = ToInt32(TIFFReadSingleValDef(env, 266, 1));
    page.XPosition = TIFFReadSingleRational(env, 286);
    page.YPosition = TIFFReadSingleRational(env, 287);
    page.JPEGProc = ToInt32(TIFFReadSingleValDef(env, 512, 0));
    page.JPEGInterchangeFormat = TIFFReadSingleValDef(env, 513, 0);
    page.JPEGInterchangeFormatLength = TIFFReadSingleValDef(env, 514, 0);
    page.ExtraSamples = ToInt32(TIFFReadSingleValDef(env, 338, 0));
    TIFFReadArrayIntegers(env, page.StripOffsets, 273);
    TIFFReadArrayIntegers(env, page.StripByteCounts, 279);
    TIFFReadArrayIntegers(env, page.TileOffsets, 324);
    TIFFReadArrayIntegers(env, page.TileByteCounts, 325);
    page.JPEGTables = TIFFReadRawData(env, 347);
    ReadColorMap(env, page);
    if (page.SamplesPerPixel == 1 && page.BitsPerSample == 1 && page.Compression >= tcNone &&
        page.Compression <= tcGroup4 && page.Photometric == tpRGB) {
        page.Photometric = tpWhiteIsZero;
    }
}

bool HasConversion(const TTIFFPage& page)
{
    const int32_t spp = page.SamplesPerPixel;
    const int32_t bits = page.BitsPerSample;
    if (spp < 1 || spp > MaxSamplesPerPixel || bits < 1 || bits > 16 || page.MixedBitsPerSample ||
        !page.UnsignedSamples) {
        return false;
    }
    if (page.PlanarConfiguration != 1 && page.PlanarConfiguration != 2) {
        return false;
    }
    if (page.PlanarConfiguration == 2 && spp > 1 && bits != 8 && bits != 16) {
        return false;
    }
    switch (page.Compression) {
    case tcCCITT1D:
    case tcGroup3:
    case tcGroup4:
        return bits == 1 && spp == 1 &&
               (page.Photometric == tpWhiteIsZero || page.Photometric == tpBlackIsZero);
    case tcJPEG:
        return bits == 8 && page.PlanarConfiguration == 1 &&
               (page.Photometric == tpBlackIsZero || page.Photometric == tpRGB ||
                page.Photometric == tpYCbCr || page.Photometric == tpSeparated);
    case tcNone:
    case tcLZW:
    case tcAdobeDeflate:
    case tcDeflate:
    case tcPackBits:
        break;
    default:
        return false;
    }
    if (UsesPredictor(page.Compression) && page.Predictor != 1 &&
        (page.Predictor != 2 || (bits != 8 && bits != 16))) {
        return false;
    }
    switch (page.Photometric) {
    case tpWhiteIsZero:
    case tpBlackIsZero:
        return (spp == 1 && (bits <= 8 || bits == 16)) || (spp == 2 && (bits == 8 || bits == 16));
    case tpRGB:
        return (spp >= 3 && (bits == 8 || bits == 16)) || (spp == 1 && bits == 16);
    case tpPalette:
        return !page.FileColorMap.empty() && ((spp == 1 && bits <= 8) || (spp == 2 && bits == 8));
    case tpSeparated:
        return spp >= 4 && (bits == 8 || bits == 16);
    case tpCIELab:
        return spp >= 3 && bits == 8;
    default:
        return false;
    }
}

bool HasBlocks(const TTIFFPage& page)
{
    return !page.LayoutUnreadable &&
           (!page.StripOffsets.empty() || (IsTiled(page) && !page.TileOffsets.empty()));
}

bool HasAlpha(const TTIFFPage& page)
{
    if (page.Compression == tcJPEG) {
        return false;
    }
    const int32_t spp = page.SamplesPerPixel;
    return (page.Photometric == tpRGB && spp >= 4) ||
           (spp == 2 && (page.Photometric == tpWhiteIsZero || page.Photometric == tpBlackIsZero ||
                         page.Photometric == tpPalette));
}

TKVPixelFormat PagePixelFormat(const TTIFFPage& page)
{
    return page.BitsPerSample == 1 && page.SamplesPerPixel == 1 && page.Photometric != tpPalette ? kv1g
                                                                                                 : kv24RGB;
}

bool DecodePage(const TTIFFPage& page, TTIFFEnv& env, TKVBitmap& bitmap, std::unique_ptr<TKVMask>& alpha,
                bool noAlpha, TIOParamsVals& params, TProgressRec& progress)
{
    if (page.Compression == tcLZW && page.LZWDecompress == nullptr) {
        return false;
    }
    TPageDecoder decoder(page, env, bitmap, alpha, noAlpha, params, progress);
    // A page that gave no row is no picture, whatever its tables say.
    return decoder.Run() && decoder.PictureMade();
}

} // namespace Tiffilt::detail
