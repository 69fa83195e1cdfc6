// The per-image parameter record that every codec fills and obeys, its versioned stream, and the
// calling convention shared by the readers, writers and probes of the codecs.
#pragma once

#include "imaging/codecs/params/exif_tag_set.h"
#include "imaging/codecs/params/lzw_hooks.h"
#include "imaging/core/imaging_annot.h"
#include "imaging/core/iptc_list.h"
#include "imaging/core/marker_list.h"
#include "imaging/core/types.h"
#include "platform/core/lists.h"

#include <cstdint>
#include <memory>
#include <string>

class TStream;
class TKVBitmap;
class TKVMask;
class TKorvaneIO;

enum TIOTIFFCompression : uint8_t
{
    ioTIFF_UNCOMPRESSED,
    ioTIFF_CCITT1D,
    ioTIFF_G3FAX1D,
    ioTIFF_G3FAX2D,
    ioTIFF_G4FAX,
    ioTIFF_LZW,
    ioTIFF_OLDJPEG,
    ioTIFF_JPEG,
    ioTIFF_PACKBITS,
    ioTIFF_UNKNOWN
};
enum TIOTIFFPhotometInterpret : uint8_t
{
    ioTIFF_WHITEISZERO,
    ioTIFF_BLACKISZERO,
    ioTIFF_RGB,
    ioTIFF_RGBPALETTE,
    ioTIFF_TRANSPMASK,
    ioTIFF_CMYK,
    ioTIFF_YCBCR,
    ioTIFF_CIELAB
};
enum TKVGifAction : uint8_t
{
    ioGIF_None,
    ioGIF_DontRemove,
    ioGIF_DrawBackground,
    ioGIF_RestorePrev
};
enum TIOJPEGColorspace : uint8_t
{
    ioJPEG_RGB,
    ioJPEG_GRAYLEV,
    ioJPEG_YCbCr,
    ioJPEG_CMYK,
    ioJPEG_YCbCrK
};
enum TIOJPEGDctMethod : uint8_t
{
    ioJPEG_ISLOW,
    ioJPEG_IFAST,
    ioJPEG_FLOAT
};
enum TIOJPEGScale : uint8_t
{
    ioJPEG_AUTOCALC,
    ioJPEG_FULLSIZE,
    ioJPEG_HALF,
    ioJPEG_QUARTER,
    ioJPEG_EIGHTH
};
enum TIOJ2000ColorSpace : uint8_t
{
    ioJ2000_GRAYLEV,
    ioJ2000_RGB,
    ioJ2000_YCbCr
};
enum TIOJ2000ScalableBy : uint8_t
{
    ioJ2000_Rate,
    ioJ2000_Resolution
};
enum TIOBMPVersion : uint8_t
{
    ioBMP_BM,
    ioBMP_BM3,
    ioBMP_BMOS2V1,
    ioBMP_BMOS2V2
};
enum TIOBMPCompression : uint8_t
{
    ioBMP_UNCOMPRESSED,
    ioBMP_RLE
};
enum TIOPCXCompression : uint8_t
{
    ioPCX_UNCOMPRESSED,
    ioPCX_RLE
};
enum TIOPNGFilter : uint8_t
{
    ioPNG_FILTER_NONE,
    ioPNG_FILTER_SUB,
    ioPNG_FILTER_PAETH
};

// Version of the record stream that SaveToStream writes; LoadFromStream reads 0 to this.
constexpr int32_t IOParamsStreamVersion = 13;

// The most pixels a reader allocates for one image. A header may declare up to 65535 x 65535
// pixels in a few bytes; anything larger than this ends the read with the abort flag set.
constexpr int64_t KVCodecMaxPixels = int64_t(1) << 28;

class TIOParamsVals
{
public:
    explicit TIOParamsVals(TKorvaneIO* owner = nullptr);
    ~TIOParamsVals();
    TIOParamsVals(const TIOParamsVals&) = delete;
    TIOParamsVals& operator=(const TIOParamsVals&) = delete;

    TKorvaneIO* Owner = nullptr;

    int32_t BitsPerSample = 8;
    int32_t SamplesPerPixel = 3;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t DpiX = 0;
    int32_t DpiY = 0;
    int32_t FileType = 0; // format id: 1 TIFF, 2 GIF, 3 JPEG, 4 PCX, 5 BMP, 6 ICO, 7 CUR, 8 PNG ...

    TIOTIFFCompression TIFF_Compression = ioTIFF_UNCOMPRESSED;
    int32_t TIFF_ImageIndex = 0;
    TIOTIFFPhotometInterpret TIFF_PhotometInterpret = ioTIFF_RGB;
    int32_t TIFF_PlanarConf = 1;
    int32_t TIFF_XPos = 0;
    int32_t TIFF_YPos = 0;
    std::string TIFF_DocumentName;
    std::string TIFF_ImageDescription;
    std::string TIFF_PageName;
    int32_t TIFF_PageNumber = 0;
    int32_t TIFF_PageCount = 0;
    int32_t TIFF_Orientation = 1;
    TTIFFLZWDecompFunc TIFF_LZWDecompress = nullptr;
    TTIFFLZWCompFunc TIFF_LZWCompress = nullptr;
    bool TIFF_EnableAdjustOrientation = false;
    int32_t TIFF_JPEGQuality = 80;

    std::string GIF_Version = "GIF89a";
    int32_t GIF_ImageIndex = 0;
    int32_t GIF_XPos = 0;
    int32_t GIF_YPos = 0;
    int32_t GIF_DelayTime = 0; // hundredths of a second
    bool GIF_FlagTranspColor = false;
    TRGB GIF_TranspColor{};
    bool GIF_Interlaced = false;
    int32_t GIF_WinWidth = 0;
    int32_t GIF_WinHeight = 0;
    TRGB GIF_Background{};
    int32_t GIF_Ratio = 0;
    TStringList GIF_Comments;
    TKVGifAction GIF_Action = ioGIF_None;
    // Set by the GIF reader when the frame's file gave no disposal (0, or a reserved value), which
    // GIF_Action holds as ioGIF_None: the writers then write 0 again, where an ioGIF_None of any
    // other origin is written as 2, restore to the background. Copied, never streamed.
    bool GIF_ActionUnspecified = false;
    TGIFLZWDecompFunc GIF_LZWDecompress = nullptr;
    TGIFLZWCompFunc GIF_LZWCompress = nullptr;

    TIOJPEGColorspace JPEG_ColorSpace = ioJPEG_YCbCr;
    int32_t JPEG_Quality = 80;
    TIOJPEGDctMethod JPEG_DCTMethod = ioJPEG_ISLOW;
    bool JPEG_OptimalHuffman = false;
    int32_t JPEG_Smooth = 0;
    bool JPEG_Progressive = false;
    TIOJPEGScale JPEG_Scale = ioJPEG_FULLSIZE;
    TKVMarkerList JPEG_MarkerList;
    int32_t JPEG_Scale_Used = 1;
    int32_t JPEG_WarningTot = 0;
    int32_t JPEG_WarningCode = 0;
    int32_t JPEG_OriginalWidth = 0;
    int32_t JPEG_OriginalHeight = 0;

    TIOJ2000ColorSpace J2000_ColorSpace = ioJ2000_RGB;
    double J2000_Rate = 1.0;
    TIOJ2000ScalableBy J2000_ScalableBy = ioJ2000_Rate;

    int32_t PCX_Version = 5;
    TIOPCXCompression PCX_Compression = ioPCX_RLE;

    TIOBMPVersion BMP_Version = ioBMP_BM3;
    TIOBMPCompression BMP_Compression = ioBMP_UNCOMPRESSED;

    int32_t ICO_ImageIndex = 0;
    TRGB ICO_Background{255, 255, 255};
    int32_t CUR_ImageIndex = 0;
    int32_t CUR_XHotSpot = 0;
    int32_t CUR_YHotSpot = 0;
    TRGB CUR_Background{255, 255, 255};

    bool PNG_Interlaced = false;
    TRGB PNG_Background{};
    TIOPNGFilter PNG_Filter = ioPNG_FILTER_NONE;
    int32_t PNG_Compression = 5;

    int32_t TGA_XPos = 0;
    int32_t TGA_YPos = 0;
    bool TGA_Compressed = true;
    std::string TGA_Descriptor;
    std::string TGA_Author;
    double TGA_Date = 0; // date-time: days since 1899-12-30
    std::string TGA_ImageName;
    TRGB TGA_Background{};
    double TGA_AspectRatio = 1.0;
    double TGA_Gamma = 2.2;
    bool TGA_GrayLevel = false;

    TKVIPTCInfoList IPTC_Info;
    TStringList InfoStrings;
    TKVImagingAnnot ImagingAnnot;

    bool EXIF_HasEXIFData = false;
    std::unique_ptr<TKVBitmap> EXIF_Bitmap; // the EXIF thumbnail, nil until EXIF data is parsed
    std::string EXIF_ImageDescription;
    std::string EXIF_Make;
    std::string EXIF_Model;
    int32_t EXIF_Orientation = 0;
    double EXIF_XResolution = 0;
    double EXIF_YResolution = 0;
    int32_t EXIF_ResolutionUnit = 0;
    std::string EXIF_Software;
    std::string EXIF_DateTime;
    double EXIF_WhitePoint[2] = {};
    double EXIF_PrimaryChromaticities[6] = {};
    double EXIF_YCbCrCoefficients[3] = {};
    int32_t EXIF_YCbCrPositioning = 0;
    double EXIF_ReferenceBlackWhite[6] = {};
    std::string EXIF_Copyright;
    double EXIF_ExposureTime = 0;
    double EXIF_FNumber = 0;
    int32_t EXIF_ExposureProgram = 0;
    int32_t EXIF_ISOSpeedRatings[2] = {};
    std::string EXIF_ExifVersion;
    std::string EXIF_DateTimeOriginal;
    std::string EXIF_DateTimeDigitized;
    double EXIF_CompressedBitsPerPixel = 0;
    double EXIF_ShutterSpeedValue = 0;
    double EXIF_ApertureValue = 0;
    double EXIF_BrightnessValue = 0;
    double EXIF_ExposureBiasValue = 0;
    double EXIF_MaxApertureValue = 0;
    double EXIF_SubjectDistance = 0;
    int32_t EXIF_MeteringMode = 0;
    int32_t EXIF_LightSource = 0;
    int32_t EXIF_Flash = 0;
    double EXIF_FocalLength = 0;
    std::string EXIF_SubsecTime;
    std::string EXIF_SubsecTimeOriginal;
    std::string EXIF_SubsecTimeDigitized;
    std::string EXIF_FlashPixVersion;
    int32_t EXIF_ColorSpace = 0;
    int32_t EXIF_ExifImageWidth = 0;
    int32_t EXIF_ExifImageHeight = 0;
    std::string EXIF_RelatedSoundFile;
    double EXIF_FocalPlaneXResolution = 0;
    double EXIF_FocalPlaneYResolution = 0;
    int32_t EXIF_FocalPlaneResolutionUnit = 0;
    double EXIF_ExposureIndex = 0;
    int32_t EXIF_SensingMethod = 0;
    int32_t EXIF_FileSource = 0;
    int32_t EXIF_SceneType = 0;
    std::string EXIF_UserComment;     // tag 37510 after its 8-character code prefix
    std::string EXIF_UserCommentCode; // the prefix ("ASCII", 0, 0, 0 and the like)
    // The tags of the fields above that hold a value: those the EXIF data read carried, and those
    // a caller adds. A field of 0 or empty outside it is no value and is not written.
    TKVExifTagSet EXIF_Tags;

    int32_t AVI_FrameCount = 0;
    int32_t AVI_FrameDelayTime = 0; // milliseconds

    std::string FileName;
    std::unique_ptr<TRGB[]> ColorMap; // ColorMapCount entries, nil when there is no palette
    int32_t ColorMapCount = 0;
    int32_t GIF_ImageCount = 0;
    int32_t TIFF_ImageCount = 0;
    int32_t ICO_Sizes[16][2] = {{64, 64}}; // width, height of each icon image to write
    int32_t ICO_BitCount[16] = {8};

    void SetDefaultParams();
    void ResetInfo();
    void ResetEXIF();
    void Assign(const TIOParamsVals& source);
    // Copies the EXIF values of the source, from EXIF_ImageDescription through EXIF_Tags;
    // EXIF_HasEXIFData and EXIF_Bitmap are left as they are.
    void AssignEXIFValues(const TIOParamsVals& source);
    void AssignCompressionInfo(const TIOParamsVals& source);

    // Frees the colour map and makes one of count black entries (none when count <= 0).
    void AllocColorMap(int32_t count);
    void FreeColorMap();

    // Indexed EXIF values; an index outside the array is ignored (getters give 0).
    void SetEXIF_ISOSpeedRatings(int32_t index, int32_t value);
    int32_t GetEXIF_ISOSpeedRatings(int32_t index) const;
    void SetEXIF_WhitePoint(int32_t index, double value);
    double GetEXIF_WhitePoint(int32_t index) const;
    void SetEXIF_PrimaryChromaticities(int32_t index, double value);
    double GetEXIF_PrimaryChromaticities(int32_t index) const;
    void SetEXIF_YCbCrCoefficients(int32_t index, double value);
    double GetEXIF_YCbCrCoefficients(int32_t index) const;
    void SetEXIF_ReferenceBlackWhite(int32_t index, double value);
    double GetEXIF_ReferenceBlackWhite(int32_t index) const;

    void SetDpi(int32_t value);

    void SaveToStream(TStream& stream) const;
    // Reads into this record; fields that the stream's version lacks, or that lie beyond where it
    // ends or turns invalid (a negative or oversized count or length), keep their values.
    void LoadFromStream(TStream& stream);
    void SaveToFile(const std::string& fileName) const;
    void LoadFromFile(const std::string& fileName);

    std::string GetFileTypeStr() const;

private:
    void AssignEXIF(const TIOParamsVals& source);
};

// The codec calling convention. A reader Read<Format>Stream(stream, bitmap, params, progress,
// paramsOnly[, alphaMask, noAlpha]) decodes from the stream's position into bitmap and fills
// params; with paramsOnly it fills params only. A reader with transparency takes
// `std::unique_ptr<TKVMask>& alphaMask` (created when empty; 255 opaque, 0 transparent) and
// `bool noAlpha` (true: no mask is made). A writer Write<Format>Stream(stream, bitmap, params,
// progress[, const TKVMask* alphaMask]) writes at the stream's position. Failure sets
// *progress.Aborting; codecs poll it between rows and stop when it is set.
using TKVReadImageStream = void (*)(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params,
                                    TProgressRec& progress, bool paramsOnly);
using TKVWriteImageStream = void (*)(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params,
                                     TProgressRec& progress);
// The caller of a probe saves and restores the stream position.
using TKVTryImageStream = bool (*)(TStream& stream);
