// The page context of the TIFF reader: the tags a page is decoded by, and the decoding of its
// strips or tiles into the bitmap and the alpha mask.
#pragma once

#include "imaging/codecs/params/lzw_hooks.h"
#include "imaging/codecs/tiff/tiff_directory.h"
#include "imaging/core/types.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKVBitmap;
class TKVMask;
class TStream;
class TIOParamsVals;

namespace Tiffilt::detail {

// TIFF Compression values.
enum : int32_t
{
    tcNone = 1,
    tcCCITT1D = 2,
    tcGroup3 = 3,
    tcGroup4 = 4,
    tcLZW = 5,
    tcOldJPEG = 6,
    tcJPEG = 7,
    tcAdobeDeflate = 8,
    tcPackBits = 32773,
    tcDeflate = 32946
};

// PhotometricInterpretation values.
enum : int32_t
{
    tpWhiteIsZero = 0,
    tpBlackIsZero = 1,
    tpRGB = 2,
    tpPalette = 3,
    tpMask = 4,
    tpSeparated = 5,
    tpYCbCr = 6,
    tpCIELab = 8
};

struct TTIFFPage
{
    int32_t ImageWidth = 0;
    int32_t ImageLength = 0;
    int32_t SamplesPerPixel = 1;
    int32_t BitsPerSample = 1;
    // BitsPerSample values that differ between samples, or fewer values than samples.
    bool MixedBitsPerSample = false;
    // A tag that lays out the strips is not of integers, a single one where it has no value per
    // sample, or RowsPerStrip is 0: strips read by such tags would be garbage passed off as rows.
    bool LayoutUnreadable = false;
    // SampleFormat 1 for every sample (or no tag): signed and floating-point samples have no
    // conversion.
    bool UnsignedSamples = true;
    int64_t RowsPerStrip = 0;
    int64_t TileWidth = -1;
    int64_t TileLength = -1;
    int32_t Photometric = tpRGB;
    int32_t PlanarConfiguration = 1;
    int32_t Orientation = 1;
    int32_t Compression = tcNone;
    std::vector<int64_t> StripOffsets;
    std::vector<int64_t> StripByteCounts;
    std::vector<int64_t> TileOffsets;
    std::vector<int64_t> TileByteCounts;
    // Colour map by index, padded with black to 256 entries; ColorMapCount entries are the file's.
    std::array<TRGB, 256> ColorMap{};
    std::vector<TRGB> FileColorMap;
    int32_t ResolutionUnit = 2;
    double XResolution = 0;
    double YResolution = 0;
    int32_t Predictor = 1;
    std::vector<uint8_t> JPEGTables;
    int32_t T4Options = 0;
    int32_t FillOrder = 1;
    double XPosition = 0;
    double YPosition = 0;
    int32_t JPEGProc = 0;
    int64_t JPEGInterchangeFormat = 0;
    int64_t JPEGInterchangeFormatLength = 0;
    int32_t ExtraSamples = 0;
    TTIFFLZWDecompFunc LZWDecompress = nullptr;
    bool Intel = true;
};

// Reads the tags of the loaded directory that decoding needs.
void ReadPageTags(const TTIFFEnv& env, TTIFFPage& page);

// Whether the page's layout (photometric, samples, bits, sample format, compression, predictor)
// has a conversion into a bitmap; false sends the page to the abort flag.
bool HasConversion(const TTIFFPage& page);
// Whether the page is laid out in tiles (either tile size given).
bool IsTiled(const TTIFFPage& page);
// Whether the page's layout tags are readable and it has a table of strips or tiles to take rows
// from; false sends the page to the abort flag.
bool HasBlocks(const TTIFFPage& page);
// Whether the page carries an alpha sample that the mask receives.
bool HasAlpha(const TTIFFPage& page);
// kv1g for bilevel pages that are not palette pages, else kv24RGB.
TKVPixelFormat PagePixelFormat(const TTIFFPage& page);

// Decodes the page's strips or tiles into bitmap and its alpha samples into alpha, unless noAlpha;
// adds the warnings of JPEG data to params. Memory follows the data: the bitmap is allocated at the
// page size (so black), and alpha made where the page has alpha samples and sized where there is
// one, only once the data gives a whole first row; before, both stay as they were. The mask is
// opaque where rows reach it and transparent where none does. False on a failure, also where the
// data ends before the last row or gives no row.
bool DecodePage(const TTIFFPage& page, TTIFFEnv& env, TKVBitmap& bitmap, std::unique_ptr<TKVMask>& alpha,
                bool noAlpha, TIOParamsVals& params, TProgressRec& progress);

// Turns the decoded picture upright as TIFF orientation 2 to 8 says.
void ApplyOrientation(TKVBitmap& bitmap, TKVMask* alpha, int32_t orientation);

} // namespace Tiffilt::detail
