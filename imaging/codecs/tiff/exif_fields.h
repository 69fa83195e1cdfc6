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
    auto main = [](uint16_t tag, uint16_t type) { return TKVExifField{tag, type, false}; };
    auto exif = [](uint16_t tag, uint16_t type) { return TKVExifField{tag, type, true}; };
    visit(main(270, ttASCII), r.EXIF_ImageDescription...);
    visit(main(274, ttSHORT), r.EXIF_Orientation...);
    visit(main(282, ttRATIONAL), r.EXIF_XResolution...);
    visit(main(283, ttRATIONAL), r.EXIF_YResolution...);
    visit(main(296, ttSHORT), r.EXIF_ResolutionUnit...);
    visit(main(305, ttASCII), r.EXIF_Software...);
    visit(main(271, ttASCII), r.EXIF_Make...);
    visit(main(272, ttASCII), r.EXIF_Model...);
    visit(main(306, ttASCII), r.EXIF_DateTime...);
    visit(main(318, ttRATIONAL), r.EXIF_WhitePoint...);
    visit(main(531, ttSHORT), r.EXIF_YCbCrPositioning...);
    visit(main(319, ttRATIONAL), r.EXIF_PrimaryChromaticities...);
    visit(main(529, ttRATIONAL), r.EXIF_YCbCrCoefficients...);
    visit(main(532, ttRATIONAL), r.EXIF_ReferenceBlackWhite...);
    visit(main(33432, ttASCII), r.EXIF_Copyright...);
    visit(exif(33434, ttRATIONAL), r.EXIF_ExposureTime...);
    visit(exif(33437, ttRATIONAL), r.EXIF_FNumber...);
    visit(exif(34850, ttSHORT), r.EXIF_ExposureProgram...);
    visit(exif(34855, ttSHORT), r.EXIF_ISOSpeedRatings...);
    visit(exif(36864, ttUNDEFINED), r.EXIF_ExifVersion...);
    visit(exif(36867, ttASCII), r.EXIF_DateTimeOriginal...);
    visit(exif(36868, ttASCII), r.EXIF_DateTimeDigitized...);
    visit(exif(37122, ttRATIONAL), r.EXIF_CompressedBitsPerPixel...);
    visit(exif(37377, ttSRATIONAL), r.EXIF_ShutterSpeedValue...);
    visit(exif(37378, ttRATIONAL), r.EXIF_ApertureValue...);
    visit(exif(37379, ttSRATIONAL), r.EXIF_BrightnessValue...);
    visit(exif(37380, ttSRATIONAL), r.EXIF_ExposureBiasValue...);
    visit(exif(37381, ttRATIONAL), r.EXIF_MaxApertureValue...);
    visit(exif(37382, ttRATIONAL), r.EXIF_SubjectDistance...);
    visit(exif(37383, ttSHORT), r.EXIF_MeteringMode...);
    visit(exif(37384, ttSHORT), r.EXIF_LightSource...);
    visit(exif(37385, ttSHORT), r.EXIF_Flash...);
    visit(exif(37386, ttRATIONAL), r.EXIF_FocalLength...);
    visit(exif(37520, ttASCII), r.EXIF_SubsecTime...);
    visit(exif(37521, ttASCII), r.EXIF_SubsecTimeOriginal...);
    visit(exif(37522, ttASCII), r.EXIF_SubsecTimeDigitized...);
    visit(exif(40960, ttUNDEFINED), r.EXIF_FlashPixVersion...);
    visit(exif(40961, ttSHORT), r.EXIF_ColorSpace...);
    visit(exif(40962, ttLONG), r.EXIF_ExifImageWidth...);
    visit(exif(40963, ttLONG), r.EXIF_ExifImageHeight...);
    visit(exif(40964, ttASCII), r.EXIF_RelatedSoundFile...);
    visit(exif(41486, ttRATIONAL), r.EXIF_FocalPlaneXResolution...);
    visit(exif(41487, ttRATIONAL), r.EXIF_FocalPlaneYResolution...);
    visit(exif(41488, ttSHORT), r.EXIF_FocalPlaneResolutionUnit...);
    visit(exif(41493, ttRATIONAL), r.EXIF_ExposureIndex...);
    visit(exif(41495, ttSHORT), r.EXIF_SensingMethod...);
    visit(exif(41728, ttUNDEFINED), r.EXIF_FileSource...);
    visit(exif(41729, ttUNDEFINED), r.EXIF_SceneType...);
    visit(exif(37510, ttUNDEFINED), std::tie(r.EXIF_UserCommentCode, r.EXIF_UserComment)...);
}
