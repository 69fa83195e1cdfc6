// The EXIF fields of the parameter record, each with its tag, the directory that holds it and the
// TIFF type it is written as, in the order the writer writes them.
#pragma once

#include "imaging/codecs/tiff/tiff_directory.h"

#include <cstdint>
#include <tuple>

struct TKVExifField
{
    uint16_t Tag;
    uint16_t Type; // TTIFFFieldType; LONG for a SHORT or LONG, UNDEFINED for versions and bytes
    bool InExifIFD;
};

// Calls visit(field, the field's value in each record...) for every EXIF field of the records
// (TIOParamsVals). A value is a number, an array or a text; the user comment's is the tuple of
// its character code and its text.
template <class TVisit, class... TRecords> void ForEachEXIFField(TVisit&& visit, TRecords&... r)
{
    auto inMain = [](uint16_t tag, uint16_t type) { return TKVExifField{tag, type, false}; };
    auto inExif = [](uint16_t tag, uint16_t type) { return TKVExifField{tag, type, true}; };
    visit(inMain(270, ttASCII), r.EXIF_ImageDescription...);
    visit(inMain(274, ttSHORT), r.EXIF_Orientation...);
    visit(inMain(282, ttRATIONAL), r.EXIF_XResolution...);
    visit(inMain(283, ttRATIONAL), r.EXIF_YResolution...);
    visit(inMain(296, ttSHORT), r.EXIF_ResolutionUnit...);
    visit(inMain(305, ttASCII), r.EXIF_Software...);
    visit(inMain(271, ttASCII), r.EXIF_Make...);
    visit(inMain(272, ttASCII), r.EXIF_Model...);
    visit(inMain(306, ttASCII), r.EXIF_DateTime...);
    visit(inMain(318, ttRATIONAL), r.EXIF_WhitePoint...);
    visit(inMain(531, ttSHORT), r.EXIF_YCbCrPositioning...);
    visit(inMain(319, ttRATIONAL), r.EXIF_PrimaryChromaticities...);
    visit(inMain(529, ttRATIONAL), r.EXIF_YCbCrCoefficients...);
    visit(inMain(532, ttRATIONAL), r.EXIF_ReferenceBlackWhite...);
    visit(inMain(33432, ttASCII), r.EXIF_Copyright...);
    visit(inExif(33434, ttRATIONAL), r.EXIF_ExposureTime...);
    visit(inExif(33437, ttRATIONAL), r.EXIF_FNumber...);
    visit(inExif(34850, ttSHORT), r.EXIF_ExposureProgram...);
    visit(inExif(34855, ttSHORT), r.EXIF_ISOSpeedRatings...);
    visit(inExif(36864, ttUNDEFINED), r.EXIF_ExifVersion...);
    visit(inExif(36867, ttASCII), r.EXIF_DateTimeOriginal...);
    visit(inExif(36868, ttASCII), r.EXIF_DateTimeDigitized...);
    visit(inExif(37122, ttRATIONAL), r.EXIF_CompressedBitsPerPixel...);
    visit(inExif(37377, ttSRATIONAL), r.EXIF_ShutterSpeedValue...);
    visit(inExif(37378, ttRATIONAL), r.EXIF_ApertureValue...);
    visit(inExif(37379, ttSRATIONAL), r.EXIF_BrightnessValue...);
    visit(inExif(37380, ttSRATIONAL), r.EXIF_ExposureBiasValue...);
    visit(inExif(37381, ttRATIONAL), r.EXIF_MaxApertureValue...);
    visit(inExif(37382, ttRATIONAL), r.EXIF_SubjectDistance...);
    visit(inExif(37383, ttSHORT), r.EXIF_MeteringMode...);
    visit(inExif(37384, ttSHORT), r.EXIF_LightSource...);
    visit(inExif(37385, ttSHORT), r.EXIF_Flash...);
    visit(inExif(37386, ttRATIONAL), r.EXIF_FocalLength...);
    visit(inExif(37520, ttASCII), r.EXIF_SubsecTime...);
    visit(inExif(37521, ttASCII), r.EXIF_SubsecTimeOriginal...);
    visit(inExif(37522, ttASCII), r.EXIF_SubsecTimeDigitized...);
    visit(inExif(40960, ttUNDEFINED), r.EXIF_FlashPixVersion...);
    visit(inExif(40961, ttSHORT), r.EXIF_ColorSpace...);
    visit(inExif(40962, ttLONG), r.EXIF_ExifImageWidth...);
    visit(inExif(40963, ttLONG), r.EXIF_ExifImageHeight...);
    visit(inExif(40964, ttASCII), r.EXIF_RelatedSoundFile...);
    visit(inExif(41486, ttRATIONAL), r.EXIF_FocalPlaneXResolution...);
    visit(inExif(41487, ttRATIONAL), r.EXIF_FocalPlaneYResolution...);
    visit(inExif(41488, ttSHORT), r.EXIF_FocalPlaneResolutionUnit...);
    visit(inExif(41493, ttRATIONAL), r.EXIF_ExposureIndex...);
    visit(inExif(41495, ttSHORT), r.EXIF_SensingMethod...);
    visit(inExif(41728, ttUNDEFINED), r.EXIF_FileSource...);
    visit(inExif(41729, ttUNDEFINED), r.EXIF_SceneType...);
    visit(inExif(37510, ttUNDEFINED), std::tie(r.EXIF_UserCommentCode, r.EXIF_UserComment)...);
}
