// The EXIF tags of a TIFF page being written, every RATIONAL as the closest fraction of a power of
// ten that its entry maker finds.
#include "imaging/codecs/tiff/detail/tiff_writer_exif.h"

#include <algorithm>
#include <string>
#include <vector>

namespace Tiffilt::detail {

namespace {

// The first four characters of a version text ("0220"), all a version tag holds. Copied a byte at
// a time: GCC 12 at -O3 takes a vector made from the text's iterators for a write past its end.
std::vector<uint8_t> VersionBytes(const std::string& Version)
{
    const size_t count = std::min<size_t>(Version.size(), 4);
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = uint8_t(Version[i]);
    }
    return bytes;
}

} // namespace

void WriteExifTags(TEntryWriter& entries, TStream& stream, int64_t base, bool& error, TIOParamsVals& p)
{
    // A value of 0 or an empty text is what reading gives for a tag that is absent: such a field
    // is left out, so that no picture is published with values its camera never gave.
    auto rational = [](TEntryWriter& to, uint16_t tag, double value, bool isSigned = false) {
        if (value != 0) {
            to.Rationals(tag, {value}, isSigned);
        }
    };
    auto rationals = [](TEntryWriter& to, uint16_t tag, const double* values, size_t count) {
        if (std::any_of(values, values + count, [](double v) { return v != 0; })) {
            to.Rationals(tag, std::vector<double>(values, values + count));
        }
    };
    auto coded = [](TEntryWriter& to, uint16_t tag, int32_t value) {
        if (value != 0) {
            to.Short(tag, uint32_t(value));
        }
    };

    entries.Ascii(270, p.EXIF_ImageDescription);
    if (p.EXIF_Orientation >= 1 && p.EXIF_Orientation <= 8) {
        entries.Short(274, uint32_t(p.EXIF_Orientation));
    }
    rational(entries, 282, p.EXIF_XResolution);
    rational(entries, 283, p.EXIF_YResolution);
    // A resolution needs its unit (inches unless the record says otherwise); a unit other than
    // inches, which reading gives for none, is kept on its own too.
    const bool knownUnit = p.EXIF_ResolutionUnit >= 1 && p.EXIF_ResolutionUnit <= 3;
    if (p.EXIF_XResolution != 0 || p.EXIF_YResolution != 0 || (knownUnit && p.EXIF_ResolutionUnit != 2)) {
        entries.Short(296, knownUnit ? uint32_t(p.EXIF_ResolutionUnit) : 2);
    }
    entries.Ascii(305, p.EXIF_Software);
    entries.Ascii(271, p.EXIF_Make);
    entries.Ascii(272, p.EXIF_Model);
    entries.Ascii(306, p.EXIF_DateTime);
    rationals(entries, 318, p.EXIF_WhitePoint, 2);
    coded(entries, 531, p.EXIF_YCbCrPositioning);
    rationals(entries, 319, p.EXIF_PrimaryChromaticities, 6);
    rationals(entries, 529, p.EXIF_YCbCrCoefficients, 3);
    rationals(entries, 532, p.EXIF_ReferenceBlackWhite, 6);
    entries.Ascii(33432, p.EXIF_Copyright);

    TEntryWriter exif(stream, base, error);
    rational(exif, 33434, p.EXIF_ExposureTime);
    rational(exif, 33437, p.EXIF_FNumber);
    coded(exif, 34850, p.EXIF_ExposureProgram);
    if (p.EXIF_ISOSpeedRatings[1] != 0) {
        exif.Shorts(34855, {uint16_t(p.EXIF_ISOSpeedRatings[0]), uint16_t(p.EXIF_ISOSpeedRatings[1])});
    } else {
        coded(exif, 34855, p.EXIF_ISOSpeedRatings[0]);
    }
    exif.Bytes(36864, ttUNDEFINED, VersionBytes(p.EXIF_ExifVersion));
    exif.Ascii(36867, p.EXIF_DateTimeOriginal);
    exif.Ascii(36868, p.EXIF_DateTimeDigitized);
    rational(exif, 37122, p.EXIF_CompressedBitsPerPixel);
    rational(exif, 37377, p.EXIF_ShutterSpeedValue, true);
    rational(exif, 37378, p.EXIF_ApertureValue);
    rational(exif, 37379, p.EXIF_BrightnessValue, true);
    rational(exif, 37380, p.EXIF_ExposureBiasValue, true);
    rational(exif, 37381, p.EXIF_MaxApertureValue);
    rational(exif, 37382, p.EXIF_SubjectDistance);
    coded(exif, 37383, p.EXIF_MeteringMode);
    coded(exif, 37384, p.EXIF_LightSource);
    coded(exif, 37385, p.EXIF_Flash);
    rational(exif, 37386, p.EXIF_FocalLength);
    exif.Ascii(37520, p.EXIF_SubsecTime);
    exif.Ascii(37521, p.EXIF_SubsecTimeOriginal);
    exif.Ascii(37522, p.EXIF_SubsecTimeDigitized);
    exif.Bytes(40960, ttUNDEFINED, VersionBytes(p.EXIF_FlashPixVersion));
    coded(exif, 40961, p.EXIF_ColorSpace);
    if (p.EXIF_ExifImageWidth > 0) {
        exif.Integers(40962, {uint32_t(p.EXIF_ExifImageWidth)});
    }
    if (p.EXIF_ExifImageHeight > 0) {
        exif.Integers(40963, {uint32_t(p.EXIF_ExifImageHeight)});
    }
    exif.Ascii(40964, p.EXIF_RelatedSoundFile);
    rational(exif, 41486, p.EXIF_FocalPlaneXResolution);
    rational(exif, 41487, p.EXIF_FocalPlaneYResolution);
    coded(exif, 41488, p.EXIF_FocalPlaneResolutionUnit);
    rational(exif, 41493, p.EXIF_ExposureIndex);
    coded(exif, 41495, p.EXIF_SensingMethod);
    if (p.EXIF_FileSource != 0) {
        exif.Bytes(41728, ttUNDEFINED, {uint8_t(p.EXIF_FileSource)});
    }
    if (p.EXIF_SceneType != 0) {
        exif.Bytes(41729, ttUNDEFINED, {uint8_t(p.EXIF_SceneType)});
    }
    if (!p.EXIF_UserCommentCode.empty() || !p.EXIF_UserComment.empty()) {
        std::string code = p.EXIF_UserCommentCode;
        code.resize(8, '\0');
        const std::string comment = code + p.EXIF_UserComment;
        exif.Bytes(37510, ttUNDEFINED, std::vector<uint8_t>(comment.begin(), comment.end()));
    }
    entries.Long(34665, exif.WriteDirectory(0));
}

} // namespace Tiffilt::detail
