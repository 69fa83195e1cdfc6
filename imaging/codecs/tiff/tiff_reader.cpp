// The TIFF reader: finds the page asked for, fills the parameter record with its tags and its EXIF
// directory, checks that the page can be decoded, and has its strips or tiles decoded.
#include "imaging/codecs/tiff/tiffilt.h"

#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/resolution.h"
#include "imaging/codecs/tiff/detail/tiff_page.h"
#include "imaging/codecs/tiff/exif_fields.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/access_scope.h"
#include "imaging/core/imaging_annot.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

namespace Tiffilt {

using namespace detail;

namespace {

constexpr uint16_t tagExifIFD = 34665;

int32_t ToInt32(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

std::string ReadText(const TTIFFEnv& env, uint16_t tag)
{
    std::string text;
    TIFFReadString(env, tag, text);
    return text;
}

TIOTIFFCompression CompressionOf(const TTIFFPage& page)
{
    switch (page.Compression) {
    case tcNone:
        return ioTIFF_UNCOMPRESSED;
    case tcCCITT1D:
        return ioTIFF_CCITT1D;
    case tcGroup3:
        return (page.T4Options & 1) != 0 ? ioTIFF_G3FAX2D : ioTIFF_G3FAX1D;
    case tcGroup4:
        return ioTIFF_G4FAX;
    case tcLZW:
        return ioTIFF_LZW;
    case tcOldJPEG:
        return ioTIFF_OLDJPEG;
    case tcJPEG:
        return ioTIFF_JPEG;
    case tcPackBits:
        return ioTIFF_PACKBITS;
    default:
        return ioTIFF_UNKNOWN;
    }
}

// Whether none of an entry's fractions (of the first six, as many as a field of the record
// takes) has denominator 0, as EXIF writes a value that is not known (0/0). A field with one is
// read as none: no value of it is written back.
bool FractionsKnown(const TTIFFEnv& env, const TTIFFEntry* entry)
{
    if (entry == nullptr || (entry->Type != ttRATIONAL && entry->Type != ttSRATIONAL)) {
        return true;
    }
    uint8_t fraction[8];
    for (uint32_t i = 0; i < std::min<uint32_t>(entry->Count, 6); ++i) {
        if (TIFFEntryBytesAt(env, *entry, uint64_t(i) * 8, fraction, 8) &&
            (fraction[4] | fraction[5] | fraction[6] | fraction[7]) == 0) {
            return false;
        }
    }
    return true;
}

double ExifFraction(const TTIFFEnv& env, uint16_t tag, uint32_t index = 0)
{
    const TTIFFEntry* entry = TIFFFindEntry(tag, env);
    double value = 0;
    return entry != nullptr && FractionsKnown(env, entry) && TIFFEntryNumber(env, *entry, index, value)
               ? value
               : 0;
}

// Tag 37510: an 8-byte character code, then the text. An ASCII text ends at its first NUL.
void ReadUserComment(const TTIFFEnv& exif, TIOParamsVals& params)
{
    const std::vector<uint8_t> bytes = TIFFReadRawData(exif, 37510);
    const size_t codeLength = std::min<size_t>(bytes.size(), 8);
    params.EXIF_UserCommentCode.assign(bytes.begin(), bytes.begin() + codeLength);
    auto end = bytes.end();
    if (params.EXIF_UserCommentCode.compare(0, 5, "ASCII") == 0) {
        end = std::find(bytes.begin() + codeLength, bytes.end(), uint8_t(0));
    }
    params.EXIF_UserComment.assign(bytes.begin() + codeLength, end);
}

void ReadExifDirectory(const TTIFFEnv& exif, TIOParamsVals& params)
{
    params.EXIF_ExposureTime = ExifFraction(exif, 33434);
    params.EXIF_FNumber = ExifFraction(exif, 33437);
    params.EXIF_ExposureProgram = ToInt32(TIFFReadSingleValDef(exif, 34850, 0));
    params.EXIF_ISOSpeedRatings[0] = ToInt32(TIFFReadIndexValN(exif, 34855, 0));
    params.EXIF_ISOSpeedRatings[1] = ToInt32(TIFFReadIndexValN(exif, 34855, 1));
    TIFFReadMiniString(exif, 36864, params.EXIF_ExifVersion);
    params.EXIF_DateTimeOriginal = ReadText(exif, 36867);
    params.EXIF_DateTimeDigitized = ReadText(exif, 36868);
    params.EXIF_CompressedBitsPerPixel = ExifFraction(exif, 37122);
    params.EXIF_ShutterSpeedValue = ExifFraction(exif, 37377);
    params.EXIF_ApertureValue = ExifFraction(exif, 37378);
    params.EXIF_BrightnessValue = ExifFraction(exif, 37379);
    params.EXIF_ExposureBiasValue = ExifFraction(exif, 37380);
    params.EXIF_MaxApertureValue = ExifFraction(exif, 37381);
    params.EXIF_SubjectDistance = ExifFraction(exif, 37382);
    params.EXIF_MeteringMode = ToInt32(TIFFReadSingleValDef(exif, 37383, 0));
    params.EXIF_LightSource = ToInt32(TIFFReadSingleValDef(exif, 37384, 0));
    params.EXIF_Flash = ToInt32(TIFFReadSingleValDef(exif, 37385, 0));
    params.EXIF_FocalLength = ExifFraction(exif, 37386);
    params.EXIF_SubsecTime = ReadText(exif, 37520);
    params.EXIF_SubsecTimeOriginal = ReadText(exif, 37521);
    params.EXIF_SubsecTimeDigitized = ReadText(exif, 37522);
    TIFFReadMiniString(exif, 40960, params.EXIF_FlashPixVersion);
    params.EXIF_ColorSpace = ToInt32(TIFFReadSingleValDef(exif, 40961, 0));
    params.EXIF_ExifImageWidth = ToInt32(TIFFReadSingleValDef(exif, 40962, 0));
    params.EXIF_ExifImageHeight = ToInt32(TIFFReadSingleValDef(exif, 40963, 0));
    params.EXIF_RelatedSoundFile = ReadText(exif, 40964);
    params.EXIF_FocalPlaneXResolution = ExifFraction(exif, 41486);
    params.EXIF_FocalPlaneYResolution = ExifFraction(exif, 41487);
    params.EXIF_FocalPlaneResolutionUnit = ToInt32(TIFFReadSingleValDef(exif, 41488, 0));
    params.EXIF_ExposureIndex = ExifFraction(exif, 41493);
    params.EXIF_SensingMethod = ToInt32(TIFFReadSingleValDef(exif, 41495, 0));
    params.EXIF_FileSource = ToInt32(TIFFReadSingleValDef(exif, 41728, 0));
    params.EXIF_SceneType = ToInt32(TIFFReadSingleValDef(exif, 41729, 0));
    ReadUserComment(exif, params);
}

// The EXIF fields whose tag the page or its EXIF directory holds a value for: a number for a
// fraction, an integer for an integer field (what the values were read as), a text that is not
// empty. A value of 0 so read is the photo's, unlike the 0 of a tag that is absent.
void ReadCarriedTags(const TTIFFEnv& env, const TTIFFEnv& exif, TIOParamsVals& params)
{
    params.EXIF_Tags.Clear();
    ForEachEXIFField(
        [&](const TKVExifField& field, const auto& value) {
            using TValue = std::remove_cvref_t<decltype(value)>;
            const TTIFFEnv& directory = field.InExifIFD ? exif : env;
            const TTIFFEntry* entry = TIFFFindEntry(field.Tag, directory);
            int64_t integer = 0;
            double number = 0;
            bool carried = false;
            if constexpr (std::is_same_v<TValue, std::string>) {
                carried = !value.empty();
            } else if constexpr (std::is_same_v<TValue, int32_t> || std::is_same_v<TValue, int32_t[2]>) {
                carried = entry != nullptr && TIFFEntryInteger(directory, *entry, 0, integer);
            } else if constexpr (std::is_floating_point_v<std::remove_extent_t<TValue>>) {
                carried = entry != nullptr && FractionsKnown(directory, entry) &&
                          TIFFEntryNumber(directory, *entry, 0, number);
            } else {
                carried = !std::get<0>(value).empty() || !std::get<1>(value).empty();
            }
            if (carried) {
                params.EXIF_Tags.Add(field.Tag);
            }
        },
        std::as_const(params));
}

void ReadMetadata(const TTIFFEnv& env, TIOParamsVals& params)
{
    params.EXIF_ImageDescription = params.TIFF_ImageDescription;
    params.EXIF_Software = ReadText(env, 305);
    params.EXIF_Make = ReadText(env, 271);
    params.EXIF_Model = ReadText(env, 272);
    params.EXIF_DateTime = ReadText(env, 306);
    for (uint32_t i = 0; i < 2; ++i) {
        params.EXIF_WhitePoint[i] = ExifFraction(env, 318, i);
    }
    params.EXIF_YCbCrPositioning = ToInt32(TIFFReadSingleValDef(env, 531, 0));
    for (uint32_t i = 0; i < 6; ++i) {
        params.EXIF_PrimaryChromaticities[i] = ExifFraction(env, 319, i);
        params.EXIF_ReferenceBlackWhite[i] = ExifFraction(env, 532, i);
    }
    for (uint32_t i = 0; i < 3; ++i) {
        params.EXIF_YCbCrCoefficients[i] = ExifFraction(env, 529, i);
    }
    params.EXIF_Copyright = ReadText(env, 33432);

    const std::vector<uint8_t> iptc = TIFFReadRawData(env, 33723);
    if (!iptc.empty()) {
        params.IPTC_Info.LoadFromStandardBuffer(iptc.data(), int64_t(iptc.size()));
    } else {
        params.IPTC_Info.Clear();
    }
    const std::vector<uint8_t> annotations = TIFFReadRawData(env, 32932);
    params.ImagingAnnot.Clear();
    if (!annotations.empty()) {
        params.ImagingAnnot.LoadFromStandardBuffer(annotations.data(), int64_t(annotations.size()));
    }
}

void FillParams(const TTIFFEnv& env, const TTIFFPage& page, int32_t pageCount, TIOParamsVals& params)
{
    params.Width = page.ImageWidth;
    params.Height = page.ImageLength;
    params.SamplesPerPixel = page.SamplesPerPixel;
    params.BitsPerSample = page.BitsPerSample;
    params.TIFF_Compression = CompressionOf(page);
    if (page.Photometric >= tpWhiteIsZero && page.Photometric <= tpYCbCr) {
        params.TIFF_PhotometInterpret = static_cast<TIOTIFFPhotometInterpret>(page.Photometric);
    } else if (page.Photometric == tpCIELab) {
        params.TIFF_PhotometInterpret = ioTIFF_CIELAB;
    }
    params.TIFF_PlanarConf = page.PlanarConfiguration;
    params.TIFF_Orientation = page.Orientation;
    params.EXIF_Orientation = page.Orientation;
    params.TIFF_ImageCount = pageCount;
    params.TIFF_DocumentName = ReadText(env, 269);
    params.TIFF_ImageDescription = ReadText(env, 270);
    params.TIFF_PageName = ReadText(env, 285);
    params.TIFF_PageNumber = ToInt32(TIFFReadIndexValN(env, 297, 0));
    params.TIFF_PageCount = ToInt32(TIFFReadIndexValN(env, 297, 1));

    // A page without a unit (1) is read as inches.
    const TResolutionUnit unit =
        page.ResolutionUnit == 3 ? TResolutionUnit::Centimetre : TResolutionUnit::Inch;
    params.DpiX = DotsPerInch(page.XResolution, unit);
    params.DpiY = DotsPerInch(page.YResolution, unit);
    if (params.DpiX == 0) {
        params.DpiX = Kvview::gSystemDPIX;
    }
    if (params.DpiY == 0) {
        params.DpiY = Kvview::gSystemDPIY;
    }
    const double factor = page.ResolutionUnit == 3 ? 2.54 : 1.0;
    params.TIFF_XPos = Trunc(page.XPosition * factor);
    params.TIFF_YPos = Trunc(page.YPosition * factor);
    params.EXIF_ResolutionUnit = page.ResolutionUnit;
    params.EXIF_XResolution = ExifFraction(env, 282);
    params.EXIF_YResolution = ExifFraction(env, 283);

    params.FreeColorMap();
    if (!page.FileColorMap.empty()) {
        params.AllocColorMap(static_cast<int32_t>(page.FileColorMap.size()));
        std::copy(page.FileColorMap.begin(), page.FileColorMap.end(), params.ColorMap.get());
    }
    ReadMetadata(env, params);
}

// The picture of an old-style JPEG page: the JPEG interchange stream it points to, decoded with
// a record of its own so that the page keeps its TIFF parameters. A stream of another size than
// the page gives (an EXIF thumbnail's directory gives none) is not its picture, as the stream of
// tiled pages, which holds one tile or only tables, is not: those pages are refused.
bool DecodeOldJpeg(const TTIFFPage& page, TTIFFEnv& env, TKVBitmap& bitmap, TIOParamsVals& params,
                   TProgressRec& progress)
{
    TStream& stream = *env.Stream;
    const int64_t available = TIFFBytesFrom(env, page.JPEGInterchangeFormat);
    if (page.JPEGInterchangeFormat <= 0 || available <= 0 || IsTiled(page)) {
        return false;
    }
    const int64_t length = page.JPEGInterchangeFormatLength > 0
                               ? std::min(page.JPEGInterchangeFormatLength, available)
                               : available;
    TMemoryStream jpeg;
    stream.SetPosition(env.BaseOffset + page.JPEGInterchangeFormat);
    jpeg.CopyFrom(stream, length);
    jpeg.SetPosition(0);
    TIOParamsVals scratch;
    Jpegfilt::ReadJPegStream(jpeg, nullptr, bitmap, scratch, progress, true);
    const bool sized = page.ImageWidth > 0 && page.ImageLength > 0;
    if (CodecAborted(progress) ||
        (sized && (scratch.Width != page.ImageWidth || scratch.Height != page.ImageLength))) {
        return false;
    }
    jpeg.SetPosition(0);
    Jpegfilt::ReadJPegStream(jpeg, nullptr, bitmap, scratch, progress, false);
    params.JPEG_WarningTot = scratch.JPEG_WarningTot;
    params.JPEG_WarningCode = scratch.JPEG_WarningCode;
    return !CodecAborted(progress);
}

bool DecodePicture(const TTIFFPage& page, TTIFFEnv& env, TKVBitmap& bitmap, std::unique_ptr<TKVMask>& alpha,
                   bool noAlpha, TIOParamsVals& params, TProgressRec& progress)
{
    // The warnings of the JPEG data of this page, if it has any.
    params.JPEG_WarningTot = 0;
    params.JPEG_WarningCode = 0;
    if (page.Compression == tcOldJPEG && page.JPEGProc < 2) {
        return DecodeOldJpeg(page, env, bitmap, params, progress);
    }
    if (page.ImageWidth <= 0 || page.ImageLength <= 0 || !HasConversion(page) || !HasBlocks(page) ||
        int64_t(page.ImageWidth) * page.ImageLength > KVCodecMaxPixels) {
        return false;
    }
    if (!DecodePage(page, env, bitmap, alpha, noAlpha, params, progress)) {
        return false;
    }
    if (params.TIFF_EnableAdjustOrientation && page.Orientation >= 2 && page.Orientation <= 8) {
        ApplyOrientation(bitmap, alpha.get(), page.Orientation);
    }
    return true;
}

} // namespace

void TIFFReadStream(TKVBitmap* Bitmap, TStream& Stream, int32_t& PageCount, TIOParamsVals* Params,
                    TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TKVMask>& Alpha,
                    bool RelativeToPosition, bool NoAlpha, bool AllowEmpty)
{
    PageCount = 0;
    TTIFFEnv env;
    env.Stream = &Stream;
    // The header is where the stream stands; its offsets count from there, or from the stream's
    // start for a caller that stored them so.
    env.BaseOffset = RelativeToPosition ? Stream.Position() : 0;
    int64_t first = 0;
    if (!TIFFReadHeader(Stream, env, first)) {
        CodecSetAborting(Progress);
        return;
    }
    if (first == 0) {
        return;
    }
    const int32_t pageIndex = Params != nullptr ? Params->TIFF_ImageIndex : -1;
    if (!TIFFReadIFD(pageIndex, first, env, PageCount) || Params == nullptr) {
        return;
    }
    TIFFReadLoadedPage(Bitmap, env, PageCount, *Params, Progress, ParamsOnly, Alpha, NoAlpha, AllowEmpty);
}

void TIFFReadLoadedPage(TKVBitmap* Bitmap, TTIFFEnv& env, int32_t PageCount, TIOParamsVals& params,
                        TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TKVMask>& Alpha,
                        bool NoAlpha, bool AllowEmpty)
{
    TTIFFPage page;
    page.Intel = env.Intel;
    ReadPageTags(env, page);
    TTIFFEnv exif;
    exif.Stream = env.Stream;
    exif.Intel = env.Intel;
    exif.Big = env.Big;
    exif.BaseOffset = env.BaseOffset;
    const int64_t exifOffset = TIFFReadSingleValDef(env, tagExifIFD, 0);
    if (exifOffset > 0) {
        TIFFReadSubIFD(exifOffset, exif);
        params.EXIF_HasEXIFData = true;
    }
    FillParams(env, page, PageCount, params);
    ReadExifDirectory(exif, params);
    ReadCarriedTags(env, exif, params);

    if (page.MixedBitsPerSample || ((page.ImageWidth <= 0 || page.ImageLength <= 0) && !AllowEmpty)) {
        CodecSetAborting(Progress);
        return;
    }
    if (page.Compression == tcLZW) {
        page.LZWDecompress = params.TIFF_LZWDecompress != nullptr ? params.TIFF_LZWDecompress
                                                                  : Korvaneio::DefTIFF_LZWDECOMPFUNC;
        if (page.LZWDecompress == nullptr) {
            CodecSetAborting(Progress);
            return;
        }
    }
    if (ParamsOnly || Bitmap == nullptr) {
        return;
    }
    if (!DecodePicture(page, env, *Bitmap, Alpha, NoAlpha, params, Progress)) {
        CodecSetAborting(Progress);
    }
}

} // namespace Tiffilt
