// The per-image parameter record: defaults, resets, copies and its versioned stream.
#include "imaging/codecs/params/ioparams.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/le_stream.h"
#include "imaging/io/korvaneio_globals.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/streams.h"

#include <ctime>
#include <vector>

namespace {

// Today's date as a date-time value: whole days since 1899-12-30, local time.
double Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = 12; // noon keeps the day whole across a daylight-saving change
    local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    const std::time_t noon = timegm(&local);
    return static_cast<double>(noon / 86400) + 25569.0;
}

// An index outside the array reads as zero and writes nothing: callers may pass any index.
template <typename T, size_t N> T GetIndexed(const T (&values)[N], int32_t index)
{
    return index >= 0 && static_cast<size_t>(index) < N ? values[index] : T{};
}

template <typename T, size_t N> void SetIndexed(T (&values)[N], int32_t index, T value)
{
    if (index >= 0 && static_cast<size_t>(index) < N) {
        values[index] = value;
    }
}

void CopyStrings(TStringList& target, const TStringList& source)
{
    target.Clear();
    for (int32_t i = 0; i < source.Count(); ++i) {
        target.Add(source.Strings(i));
    }
}

// Sequential reading of the record stream: once a field cannot be read whole (the stream ended
// or a count or length is invalid), nothing more is read and the remaining fields keep their values.
class TFieldReader
{
public:
    explicit TFieldReader(TStream& stream) : FStream(stream) {}

    bool Ok() const { return FOk; }
    void Fail() { FOk = false; }

    void I32(int32_t& field) { Read(field, &KVLEStream::ReadI32); }
    void F64(double& field) { Read(field, &KVLEStream::ReadF64); }
    void Str(std::string& field) { Read(field, &KVLEStream::ReadString); }

    void Bool(bool& field)
    {
        uint8_t byte = 0;
        if (Step(KVLEStream::ReadU8(FStream, byte))) {
            field = byte != 0;
        }
    }

    template <typename E> void Enum(E& field)
    {
        uint8_t byte = 0;
        if (Step(KVLEStream::ReadU8(FStream, byte))) {
            field = static_cast<E>(byte);
        }
    }

    void Rgb(TRGB& field)
    {
        uint8_t bytes[3];
        if (Step(KVLEStream::ReadBytes(FStream, bytes, 3))) {
            field = TRGB{bytes[0], bytes[1], bytes[2]};
        }
    }

    void Skip(int64_t count)
    {
        if (Step(count <= KVLEStream::BytesLeft(FStream))) {
            FStream.Seek(count, soCurrent);
        }
    }

    void Strings(TStringList& field)
    {
        int32_t count = 0;
        // Every string takes at least its 4-byte length.
        if (!Step(KVLEStream::ReadI32(FStream, count) && count >= 0 &&
                  count <= KVLEStream::BytesLeft(FStream) / 4)) {
            return;
        }
        std::vector<std::string> lines(static_cast<size_t>(count));
        for (std::string& line : lines) {
            if (!Step(KVLEStream::ReadString(FStream, line))) {
                return;
            }
        }
        field.Clear();
        for (const std::string& line : lines) {
            field.Add(line);
        }
    }

    void ColorMap(TIOParamsVals& params)
    {
        int32_t count = 0;
        if (!Step(KVLEStream::ReadI32(FStream, count) && count >= 0 &&
                  int64_t(count) * 3 <= KVLEStream::BytesLeft(FStream))) {
            return;
        }
        std::unique_ptr<TRGB[]> map;
        if (count > 0) {
            map = std::make_unique<TRGB[]>(static_cast<size_t>(count));
            if (!Step(KVLEStream::ReadBytes(FStream, map.get(), int64_t(count) * 3))) {
                return;
            }
        }
        params.ColorMap = std::move(map);
        params.ColorMapCount = count;
    }

    template <typename List> void ListStream(List& list)
    {
        if (FOk) {
            Step(list.LoadFromStream(FStream));
        }
    }

private:
    bool Step(bool succeeded)
    {
        FOk = FOk && succeeded;
        return FOk;
    }

    template <typename T> void Read(T& field, bool (*readField)(TStream&, T&))
    {
        if (!FOk) {
            return;
        }
        T value{};
        if (Step(readField(FStream, value))) {
            field = std::move(value);
        }
    }

    TStream& FStream;
    bool FOk = true;
};

void WriteRgb(TStream& stream, const TRGB& value)
{
    const uint8_t bytes[3] = {value.b, value.g, value.r};
    stream.WriteBuffer(bytes, 3);
}

void WriteStrings(TStream& stream, const TStringList& list)
{
    KVLEStream::WriteI32(stream, list.Count());
    for (int32_t i = 0; i < list.Count(); ++i) {
        KVLEStream::WriteString(stream, list.Strings(i));
    }
}

} // namespace

TIOParamsVals::TIOParamsVals(TKorvaneIO* owner) : Owner(owner)
{
    SetDefaultParams();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::AllocColorMap(int32_t count)
{
    FreeColorMap();
    if (count > 0) {
        ColorMap = std::make_unique<TRGB[]>(static_cast<size_t>(count));
        ColorMapCount = count;
    }
}

void TIOParamsVals::FreeColorMap()
{
    ColorMap.reset();
    ColorMapCount = 0;
}

void TIOParamsVals::SetDefaultParams()
{
    BitsPerSample = 8;
    SamplesPerPixel = 3;
    FileType = 0;
    TIFF_Compression = ioTIFF_UNCOMPRESSED;
    TIFF_ImageIndex = 0;
    TIFF_PhotometInterpret = ioTIFF_RGB;
    TIFF_PlanarConf = 1;
    TIFF_XPos = TIFF_YPos = 0;
    TIFF_DocumentName.clear();
    TIFF_ImageDescription.clear();
    TIFF_PageName.clear();
    TIFF_PageNumber = TIFF_PageCount = 0;
    TIFF_Orientation = 1;
    TIFF_LZWDecompress = Korvaneio::DefTIFF_LZWDECOMPFUNC;
    TIFF_LZWCompress = Korvaneio::DefTIFF_LZWCOMPFUNC;
    TIFF_EnableAdjustOrientation = false;
    TIFF_JPEGQuality = 80;
    GIF_Version = "GIF89a";
    GIF_ImageIndex = 0;
    GIF_XPos = GIF_YPos = 0;
    GIF_DelayTime = 0;
    GIF_FlagTranspColor = false;
    GIF_TranspColor = TRGB{};
    GIF_Interlaced = false;
    GIF_WinWidth = GIF_WinHeight = 0;
    GIF_Background = TRGB{};
    GIF_Ratio = 0;
    GIF_Comments.Clear();
    GIF_Action = ioGIF_None;
    GIF_ActionUnspecified = false;
    GIF_LZWDecompress = Korvaneio::DefGIF_LZWDECOMPFUNC;
    GIF_LZWCompress = Korvaneio::DefGIF_LZWCOMPFUNC;
    JPEG_ColorSpace = ioJPEG_YCbCr;
    JPEG_Quality = 80;
    JPEG_DCTMethod = ioJPEG_ISLOW;
    JPEG_OptimalHuffman = false;
    JPEG_Smooth = 0;
    JPEG_Progressive = false;
    JPEG_Scale = ioJPEG_FULLSIZE;
    JPEG_MarkerList.Clear();
    JPEG_Scale_Used = 1;
    JPEG_WarningTot = JPEG_WarningCode = 0;
    JPEG_OriginalWidth = JPEG_OriginalHeight = 0;
    J2000_ColorSpace = ioJ2000_RGB;
    J2000_Rate = 1.0;
    J2000_ScalableBy = ioJ2000_Rate;
    PCX_Version = 5;
    PCX_Compression = ioPCX_RLE;
    BMP_Version = ioBMP_BM3;
    BMP_Compression = ioBMP_UNCOMPRESSED;
    ICO_ImageIndex = 0;
    ICO_Background = TRGB{255, 255, 255};
    CUR_ImageIndex = CUR_XHotSpot = CUR_YHotSpot = 0;
    CUR_Background = TRGB{255, 255, 255};
    PNG_Interlaced = false;
    PNG_Background = TRGB{};
    PNG_Filter = ioPNG_FILTER_NONE;
    PNG_Compression = 5;
    TGA_XPos = TGA_YPos = 0;
    TGA_Compressed = true;
    TGA_Descriptor.clear();
    TGA_Author.clear();
    TGA_Date = Today();
    TGA_ImageName.clear();
    TGA_Background = TRGB{};
    TGA_AspectRatio = 1.0;
    TGA_Gamma = 2.2;
    TGA_GrayLevel = false;
    IPTC_Info.Clear();
    InfoStrings.Clear();
    ImagingAnnot.Clear();
    ResetEXIF();
    AVI_FrameCount = AVI_FrameDelayTime = 0;
    FileName.clear();
    FreeColorMap();
    GIF_ImageCount = TIFF_ImageCount = 0;
    for (int i = 0; i < 16; ++i) {
        ICO_Sizes[i][0] = ICO_Sizes[i][1] = i == 0 ? 64 : 0;
        ICO_BitCount[i] = i == 0 ? 8 : 0;
    }
    if (Owner != nullptr) {
        if (Korvaneio::ParamsOwnerImageSize != nullptr) {
            Korvaneio::ParamsOwnerImageSize(Owner, Width, Height);
        }
        if (Korvaneio::ParamsOwnerViewDpi != nullptr) {
            Korvaneio::ParamsOwnerViewDpi(Owner, DpiX, DpiY);
        }
    }
}

void TIOParamsVals::ResetInfo()
{
    IPTC_Info.Clear();
    ImagingAnnot.Clear();
    JPEG_MarkerList.Clear();
    ResetEXIF();
    GIF_Comments.Clear();
    TIFF_DocumentName.clear();
    TIFF_ImageDescription.clear();
    TIFF_PageName.clear();
    TGA_Author.clear();
    TGA_Descriptor.clear();
    TGA_ImageName.clear();
    InfoStrings.Clear();
}

void TIOParamsVals::ResetEXIF()
{
    EXIF_HasEXIFData = false;
    EXIF_Bitmap.reset();
    EXIF_ImageDescription.clear();
    EXIF_Make.clear();
    EXIF_Model.clear();
    EXIF_Orientation = 0;
    EXIF_XResolution = EXIF_YResolution = 0;
    EXIF_ResolutionUnit = 0;
    EXIF_Software.clear();
    EXIF_DateTime.clear();
    std::fill(std::begin(EXIF_WhitePoint), std::end(EXIF_WhitePoint), 0.0);
    std::fill(std::begin(EXIF_PrimaryChromaticities), std::end(EXIF_PrimaryChromaticities), 0.0);
    std::fill(std::begin(EXIF_YCbCrCoefficients), std::end(EXIF_YCbCrCoefficients), 0.0);
    EXIF_YCbCrPositioning = 0;
    std::fill(std::begin(EXIF_ReferenceBlackWhite), std::end(EXIF_ReferenceBlackWhite), 0.0);
    EXIF_Copyright.clear();
    EXIF_ExposureTime = EXIF_FNumber = 0;
    EXIF_ExposureProgram = 0;
    EXIF_ISOSpeedRatings[0] = EXIF_ISOSpeedRatings[1] = 0;
    EXIF_ExifVersion.clear();
    EXIF_DateTimeOriginal.clear();
    EXIF_DateTimeDigitized.clear();
    EXIF_CompressedBitsPerPixel = EXIF_ShutterSpeedValue = EXIF_ApertureValue = 0;
    EXIF_BrightnessValue = EXIF_ExposureBiasValue = EXIF_MaxApertureValue = 0;
    EXIF_SubjectDistance = 0;
    EXIF_MeteringMode = EXIF_LightSource = EXIF_Flash = 0;
    EXIF_FocalLength = 0;
    EXIF_SubsecTime.clear();
    EXIF_SubsecTimeOriginal.clear();
    EXIF_SubsecTimeDigitized.clear();
    EXIF_FlashPixVersion.clear();
    EXIF_ColorSpace = EXIF_ExifImageWidth = EXIF_ExifImageHeight = 0;
    EXIF_RelatedSoundFile.clear();
    EXIF_FocalPlaneXResolution = EXIF_FocalPlaneYResolution = 0;
    EXIF_FocalPlaneResolutionUnit = 0;
    EXIF_ExposureIndex = 0;
    EXIF_SensingMethod = EXIF_FileSource = EXIF_SceneType = 0;
    EXIF_UserComment.clear();
    EXIF_UserCommentCode.clear();
    EXIF_Tags.Clear();
}

void TIOParamsVals::Assign(const TIOParamsVals& s)
{
    if (&s == this) {
        return;
    }
    BitsPerSample = s.BitsPerSample;
    SamplesPerPixel = s.SamplesPerPixel;
    Width = s.Width;
    Height = s.Height;
    DpiX = s.DpiX;
    DpiY = s.DpiY;
    FileType = s.FileType;
    TIFF_Compression = s.TIFF_Compression;
    TIFF_ImageIndex = s.TIFF_ImageIndex;
    TIFF_PhotometInterpret = s.TIFF_PhotometInterpret;
    TIFF_PlanarConf = s.TIFF_PlanarConf;
    TIFF_XPos = s.TIFF_XPos;
    TIFF_YPos = s.TIFF_YPos;
    TIFF_DocumentName = s.TIFF_DocumentName;
    TIFF_ImageDescription = s.TIFF_ImageDescription;
    TIFF_PageName = s.TIFF_PageName;
    TIFF_PageNumber = s.TIFF_PageNumber;
    TIFF_PageCount = s.TIFF_PageCount;
    TIFF_Orientation = s.TIFF_Orientation;
    TIFF_LZWDecompress = s.TIFF_LZWDecompress;
    TIFF_LZWCompress = s.TIFF_LZWCompress;
    TIFF_EnableAdjustOrientation = s.TIFF_EnableAdjustOrientation;
    TIFF_JPEGQuality = s.TIFF_JPEGQuality;
    GIF_Version = s.GIF_Version;
    GIF_ImageIndex = s.GIF_ImageIndex;
    GIF_XPos = s.GIF_XPos;
    GIF_YPos = s.GIF_YPos;
    GIF_DelayTime = s.GIF_DelayTime;
    GIF_FlagTranspColor = s.GIF_FlagTranspColor;
    GIF_TranspColor = s.GIF_TranspColor;
    GIF_Interlaced = s.GIF_Interlaced;
    GIF_WinWidth = s.GIF_WinWidth;
    GIF_WinHeight = s.GIF_WinHeight;
    GIF_Background = s.GIF_Background;
    GIF_Ratio = s.GIF_Ratio;
    CopyStrings(GIF_Comments, s.GIF_Comments);
    GIF_Action = s.GIF_Action;
    GIF_ActionUnspecified = s.GIF_ActionUnspecified;
    GIF_LZWDecompress = s.GIF_LZWDecompress;
    GIF_LZWCompress = s.GIF_LZWCompress;
    JPEG_ColorSpace = s.JPEG_ColorSpace;
    JPEG_Quality = s.JPEG_Quality;
    JPEG_DCTMethod = s.JPEG_DCTMethod;
    JPEG_OptimalHuffman = s.JPEG_OptimalHuffman;
    JPEG_Smooth = s.JPEG_Smooth;
    JPEG_Progressive = s.JPEG_Progressive;
    JPEG_Scale = s.JPEG_Scale;
    JPEG_MarkerList.Assign(&s.JPEG_MarkerList);
    JPEG_Scale_Used = s.JPEG_Scale_Used;
    JPEG_WarningTot = s.JPEG_WarningTot;
    JPEG_WarningCode = s.JPEG_WarningCode;
    JPEG_OriginalWidth = s.JPEG_OriginalWidth;
    JPEG_OriginalHeight = s.JPEG_OriginalHeight;
    J2000_ColorSpace = s.J2000_ColorSpace;
    J2000_Rate = s.J2000_Rate;
    J2000_ScalableBy = s.J2000_ScalableBy;
    PCX_Version = s.PCX_Version;
    PCX_Compression = s.PCX_Compression;
    BMP_Version = s.BMP_Version;
    BMP_Compression = s.BMP_Compression;
    ICO_ImageIndex = s.ICO_ImageIndex;
    ICO_Background = s.ICO_Background;
    CUR_ImageIndex = s.CUR_ImageIndex;
    CUR_XHotSpot = s.CUR_XHotSpot;
    CUR_YHotSpot = s.CUR_YHotSpot;
    CUR_Background = s.CUR_Background;
    PNG_Interlaced = s.PNG_Interlaced;
    PNG_Background = s.PNG_Background;
    PNG_Filter = s.PNG_Filter;
    PNG_Compression = s.PNG_Compression;
    TGA_XPos = s.TGA_XPos;
    TGA_YPos = s.TGA_YPos;
    TGA_Compressed = s.TGA_Compressed;
    TGA_Descriptor = s.TGA_Descriptor;
    TGA_Author = s.TGA_Author;
    TGA_Date = s.TGA_Date;
    TGA_ImageName = s.TGA_ImageName;
    TGA_Background = s.TGA_Background;
    TGA_AspectRatio = s.TGA_AspectRatio;
    TGA_Gamma = s.TGA_Gamma;
    TGA_GrayLevel = s.TGA_GrayLevel;
    IPTC_Info.Assign(&s.IPTC_Info);
    CopyStrings(InfoStrings, s.InfoStrings);
    ImagingAnnot.Assign(s.ImagingAnnot);
    AssignEXIF(s);
    AVI_FrameCount = s.AVI_FrameCount;
    AVI_FrameDelayTime = s.AVI_FrameDelayTime;
    FileName = s.FileName;
    FreeColorMap();
    if (s.ColorMap != nullptr && s.ColorMapCount > 0) {
        AllocColorMap(s.ColorMapCount);
        std::copy(s.ColorMap.get(), s.ColorMap.get() + s.ColorMapCount, ColorMap.get());
    }
    GIF_ImageCount = s.GIF_ImageCount;
    TIFF_ImageCount = s.TIFF_ImageCount;
    std::copy(&s.ICO_Sizes[0][0], &s.ICO_Sizes[0][0] + 32, &ICO_Sizes[0][0]);
    std::copy(std::begin(s.ICO_BitCount), std::end(s.ICO_BitCount), std::begin(ICO_BitCount));
}

void TIOParamsVals::AssignEXIF(const TIOParamsVals& s)
{
    EXIF_HasEXIFData = s.EXIF_HasEXIFData;
    if (s.EXIF_Bitmap != nullptr) {
        if (EXIF_Bitmap == nullptr) {
            EXIF_Bitmap = std::make_unique<TKVBitmap>();
        }
        EXIF_Bitmap->Assign(s.EXIF_Bitmap.get());
    }
    AssignEXIFValues(s);
}

void TIOParamsVals::AssignEXIFValues(const TIOParamsVals& s)
{
    EXIF_ImageDescription = s.EXIF_ImageDescription;
    EXIF_Make = s.EXIF_Make;
    EXIF_Model = s.EXIF_Model;
    EXIF_Orientation = s.EXIF_Orientation;
    EXIF_XResolution = s.EXIF_XResolution;
    EXIF_YResolution = s.EXIF_YResolution;
    EXIF_ResolutionUnit = s.EXIF_ResolutionUnit;
    EXIF_Software = s.EXIF_Software;
    EXIF_DateTime = s.EXIF_DateTime;
    std::copy(std::begin(s.EXIF_WhitePoint), std::end(s.EXIF_WhitePoint), std::begin(EXIF_WhitePoint));
    std::copy(std::begin(s.EXIF_PrimaryChromaticities), std::end(s.EXIF_PrimaryChromaticities),
              std::begin(EXIF_PrimaryChromaticities));
    std::copy(std::begin(s.EXIF_YCbCrCoefficients), std::end(s.EXIF_YCbCrCoefficients),
              std::begin(EXIF_YCbCrCoefficients));
    EXIF_YCbCrPositioning = s.EXIF_YCbCrPositioning;
    std::copy(std::begin(s.EXIF_ReferenceBlackWhite), std::end(s.EXIF_ReferenceBlackWhite),
              std::begin(EXIF_ReferenceBlackWhite));
    EXIF_Copyright = s.EXIF_Copyright;
    EXIF_ExposureTime = s.EXIF_ExposureTime;
    EXIF_FNumber = s.EXIF_FNumber;
    EXIF_ExposureProgram = s.EXIF_ExposureProgram;
    EXIF_ISOSpeedRatings[0] = s.EXIF_ISOSpeedRatings[0];
    EXIF_ISOSpeedRatings[1] = s.EXIF_ISOSpeedRatings[1];
    EXIF_ExifVersion = s.EXIF_ExifVersion;
    EXIF_DateTimeOriginal = s.EXIF_DateTimeOriginal;
    EXIF_DateTimeDigitized = s.EXIF_DateTimeDigitized;
    EXIF_CompressedBitsPerPixel = s.EXIF_CompressedBitsPerPixel;
    EXIF_ShutterSpeedValue = s.EXIF_ShutterSpeedValue;
    EXIF_ApertureValue = s.EXIF_ApertureValue;
    EXIF_BrightnessValue = s.EXIF_BrightnessValue;
    EXIF_ExposureBiasValue = s.EXIF_ExposureBiasValue;
    EXIF_MaxApertureValue = s.EXIF_MaxApertureValue;
    EXIF_SubjectDistance = s.EXIF_SubjectDistance;
    EXIF_MeteringMode = s.EXIF_MeteringMode;
    EXIF_LightSource = s.EXIF_LightSource;
    EXIF_Flash = s.EXIF_Flash;
    EXIF_FocalLength = s.EXIF_FocalLength;
    EXIF_SubsecTime = s.EXIF_SubsecTime;
    EXIF_SubsecTimeOriginal = s.EXIF_SubsecTimeOriginal;
    EXIF_SubsecTimeDigitized = s.EXIF_SubsecTimeDigitized;
    EXIF_FlashPixVersion = s.EXIF_FlashPixVersion;
    EXIF_ColorSpace = s.EXIF_ColorSpace;
    EXIF_ExifImageWidth = s.EXIF_ExifImageWidth;
    EXIF_ExifImageHeight = s.EXIF_ExifImageHeight;
    EXIF_RelatedSoundFile = s.EXIF_RelatedSoundFile;
    EXIF_FocalPlaneXResolution = s.EXIF_FocalPlaneXResolution;
    EXIF_FocalPlaneYResolution = s.EXIF_FocalPlaneYResolution;
    EXIF_FocalPlaneResolutionUnit = s.EXIF_FocalPlaneResolutionUnit;
    EXIF_ExposureIndex = s.EXIF_ExposureIndex;
    EXIF_SensingMethod = s.EXIF_SensingMethod;
    EXIF_FileSource = s.EXIF_FileSource;
    EXIF_SceneType = s.EXIF_SceneType;
    EXIF_UserComment = s.EXIF_UserComment;
    EXIF_UserCommentCode = s.EXIF_UserCommentCode;
    EXIF_Tags = s.EXIF_Tags;
}

void TIOParamsVals::AssignCompressionInfo(const TIOParamsVals& s)
{
    BitsPerSample = s.BitsPerSample;
    SamplesPerPixel = s.SamplesPerPixel;
    TIFF_Compression = s.TIFF_Compression;
    TIFF_PhotometInterpret = s.TIFF_PhotometInterpret;
    TIFF_PlanarConf = s.TIFF_PlanarConf;
    TIFF_Orientation = s.TIFF_Orientation;
    TIFF_LZWDecompress = s.TIFF_LZWDecompress;
    TIFF_LZWCompress = s.TIFF_LZWCompress;
    TIFF_EnableAdjustOrientation = s.TIFF_EnableAdjustOrientation;
    TIFF_JPEGQuality = s.TIFF_JPEGQuality;
    GIF_Interlaced = s.GIF_Interlaced;
    GIF_LZWDecompress = s.GIF_LZWDecompress;
    GIF_LZWCompress = s.GIF_LZWCompress;
    JPEG_ColorSpace = s.JPEG_ColorSpace;
    JPEG_Quality = s.JPEG_Quality;
    JPEG_DCTMethod = s.JPEG_DCTMethod;
    JPEG_OptimalHuffman = s.JPEG_OptimalHuffman;
    JPEG_Smooth = s.JPEG_Smooth;
    JPEG_Progressive = s.JPEG_Progressive;
    J2000_ColorSpace = s.J2000_ColorSpace;
    J2000_Rate = s.J2000_Rate;
    J2000_ScalableBy = s.J2000_ScalableBy;
    PCX_Version = s.PCX_Version;
    PCX_Compression = s.PCX_Compression;
    BMP_Version = s.BMP_Version;
    BMP_Compression = s.BMP_Compression;
    PNG_Interlaced = s.PNG_Interlaced;
    PNG_Filter = s.PNG_Filter;
    PNG_Compression = s.PNG_Compression;
    TGA_Compressed = s.TGA_Compressed;
    TGA_GrayLevel = s.TGA_GrayLevel;
}

void TIOParamsVals::SetEXIF_ISOSpeedRatings(int32_t index, int32_t value)
{
    SetIndexed(EXIF_ISOSpeedRatings, index, value);
}
int32_t TIOParamsVals::GetEXIF_ISOSpeedRatings(int32_t index) const
{
    return GetIndexed(EXIF_ISOSpeedRatings, index);
}
void TIOParamsVals::SetEXIF_WhitePoint(int32_t index, double value)
{
    SetIndexed(EXIF_WhitePoint, index, value);
}
double TIOParamsVals::GetEXIF_WhitePoint(int32_t index) const
{
    return GetIndexed(EXIF_WhitePoint, index);
}
void TIOParamsVals::SetEXIF_PrimaryChromaticities(int32_t index, double value)
{
    SetIndexed(EXIF_PrimaryChromaticities, index, value);
}
double TIOParamsVals::GetEXIF_PrimaryChromaticities(int32_t index) const
{
    return GetIndexed(EXIF_PrimaryChromaticities, index);
}
void TIOParamsVals::SetEXIF_YCbCrCoefficients(int32_t index, double value)
{
    SetIndexed(EXIF_YCbCrCoefficients, index, value);
}
double TIOParamsVals::GetEXIF_YCbCrCoefficients(int32_t index) const
{
    return GetIndexed(EXIF_YCbCrCoefficients, index);
}
void TIOParamsVals::SetEXIF_ReferenceBlackWhite(int32_t index, double value)
{
    SetIndexed(EXIF_ReferenceBlackWhite, index, value);
}
double TIOParamsVals::GetEXIF_ReferenceBlackWhite(int32_t index) const
{
    return GetIndexed(EXIF_ReferenceBlackWhite, index);
}

void TIOParamsVals::SetDpi(int32_t value)
{
    DpiX = DpiY = value;
}

void TIOParamsVals::SaveToStream(TStream& stream) const
{
    using namespace KVLEStream;
    auto u8 = [&stream](uint8_t value) { WriteU8(stream, value); };
    auto i32 = [&stream](int32_t value) { WriteI32(stream, value); };
    auto str = [&stream](const std::string& value) { WriteString(stream, value); };
    auto rgb = [&stream](const TRGB& value) { WriteRgb(stream, value); };

    i32(IOParamsStreamVersion);
    str(FileName);
    i32(FileType);
    i32(BitsPerSample);
    i32(SamplesPerPixel);
    i32(Width);
    i32(Height);
    i32(DpiX);
    i32(DpiY);
    i32(ColorMapCount);
    if (ColorMapCount > 0) {
        stream.WriteBuffer(ColorMap.get(), int64_t(ColorMapCount) * 3);
    }
    u8(TIFF_Compression);
    i32(TIFF_ImageIndex);
    u8(TIFF_PhotometInterpret);
    i32(TIFF_PlanarConf);
    i32(TIFF_XPos);
    i32(TIFF_YPos);
    str(TIFF_DocumentName);
    str(TIFF_ImageDescription);
    str(TIFF_PageName);
    i32(TIFF_PageNumber);
    i32(TIFF_PageCount);
    i32(TIFF_ImageCount);
    i32(TIFF_Orientation);
    i32(TIFF_JPEGQuality);
    str(GIF_Version);
    i32(GIF_ImageIndex);
    i32(GIF_XPos);
    i32(GIF_YPos);
    i32(GIF_DelayTime);
    u8(GIF_FlagTranspColor);
    rgb(GIF_TranspColor);
    u8(GIF_Interlaced);
    i32(GIF_WinWidth);
    i32(GIF_WinHeight);
    rgb(GIF_Background);
    i32(GIF_Ratio);
    i32(GIF_ImageCount);
    WriteStrings(stream, GIF_Comments);
    u8(GIF_Action);
    u8(JPEG_ColorSpace);
    i32(JPEG_Quality);
    u8(JPEG_DCTMethod);
    u8(JPEG_OptimalHuffman);
    i32(JPEG_Smooth);
    u8(JPEG_Progressive);
    u8(JPEG_Scale);
    JPEG_MarkerList.SaveToStream(stream);
    i32(JPEG_OriginalWidth);
    i32(JPEG_OriginalHeight);
    u8(J2000_ColorSpace);
    WriteF64(stream, J2000_Rate);
    u8(J2000_ScalableBy);
    i32(PCX_Version);
    u8(PCX_Compression);
    u8(BMP_Version);
    u8(BMP_Compression);
    i32(ICO_ImageIndex);
    rgb(ICO_Background);
    for (const auto& size : ICO_Sizes) {
        i32(size[0]);
        i32(size[1]);
    }
    for (int32_t bitCount : ICO_BitCount) {
        i32(bitCount);
    }
    i32(CUR_ImageIndex);
    i32(CUR_XHotSpot);
    i32(CUR_YHotSpot);
    rgb(CUR_Background);
    u8(PNG_Interlaced);
    rgb(PNG_Background);
    u8(PNG_Filter);
    i32(PNG_Compression);
    i32(TGA_XPos);
    i32(TGA_YPos);
    u8(TGA_Compressed);
    str(TGA_Descriptor);
    str(TGA_Author);
    WriteF64(stream, TGA_Date);
    str(TGA_ImageName);
    rgb(TGA_Background);
    WriteF64(stream, TGA_AspectRatio);
    WriteF64(stream, TGA_Gamma);
    u8(TGA_GrayLevel);
    IPTC_Info.SaveToStream(stream);
    WriteStrings(stream, InfoStrings);
    i32(AVI_FrameCount);
    i32(AVI_FrameDelayTime);
    ImagingAnnot.SaveToStream(stream);
}

void TIOParamsVals::LoadFromStream(TStream& stream)
{
    TFieldReader r(stream);
    int32_t version = -1;
    r.I32(version);
    if (!r.Ok() || version < 0 || version > IOParamsStreamVersion) {
        return;
    }
    r.Str(FileName);
    if (version >= 2) {
        r.I32(FileType);
    } else {
        uint8_t fileType = 0;
        r.Enum(fileType);
        if (r.Ok()) {
            FileType = fileType;
        }
    }
    r.I32(BitsPerSample);
    r.I32(SamplesPerPixel);
    r.I32(Width);
    r.I32(Height);
    r.I32(DpiX);
    r.I32(DpiY);
    r.ColorMap(*this);
    r.Enum(TIFF_Compression);
    r.I32(TIFF_ImageIndex);
    r.Enum(TIFF_PhotometInterpret);
    r.I32(TIFF_PlanarConf);
    r.I32(TIFF_XPos);
    r.I32(TIFF_YPos);
    r.Str(TIFF_DocumentName);
    r.Str(TIFF_ImageDescription);
    r.Str(TIFF_PageName);
    r.I32(TIFF_PageNumber);
    r.I32(TIFF_PageCount);
    if (version >= 4) {
        r.I32(TIFF_ImageCount);
    }
    if (version >= 6) {
        r.I32(TIFF_Orientation);
    }
    if (version >= 10) {
        r.I32(TIFF_JPEGQuality);
    }
    r.Str(GIF_Version);
    r.I32(GIF_ImageIndex);
    r.I32(GIF_XPos);
    r.I32(GIF_YPos);
    r.I32(GIF_DelayTime);
    r.Bool(GIF_FlagTranspColor);
    r.Rgb(GIF_TranspColor);
    r.Bool(GIF_Interlaced);
    r.I32(GIF_WinWidth);
    r.I32(GIF_WinHeight);
    r.Rgb(GIF_Background);
    r.I32(GIF_Ratio);
    if (version >= 4) {
        r.I32(GIF_ImageCount);
    }
    if (version >= 9) {
        r.Strings(GIF_Comments);
    }
    if (version >= 12) {
        r.Enum(GIF_Action);
        // A disposal read from the stream is no file's own.
        if (r.Ok()) {
            GIF_ActionUnspecified = false;
        }
    }
    r.Enum(JPEG_ColorSpace);
    r.I32(JPEG_Quality);
    r.Enum(JPEG_DCTMethod);
    r.Bool(JPEG_OptimalHuffman);
    r.I32(JPEG_Smooth);
    r.Bool(JPEG_Progressive);
    if (version >= 1) {
        r.Enum(JPEG_Scale);
    }
    if (version >= 4) {
        r.ListStream(JPEG_MarkerList);
    }
    if (version >= 7) {
        r.I32(JPEG_OriginalWidth);
        r.I32(JPEG_OriginalHeight);
    }
    if (version >= 8) {
        r.Enum(J2000_ColorSpace);
        r.F64(J2000_Rate);
        r.Enum(J2000_ScalableBy);
    }
    r.I32(PCX_Version);
    r.Enum(PCX_Compression);
    r.Enum(BMP_Version);
    r.Enum(BMP_Compression);
    if (version >= 1) {
        r.I32(ICO_ImageIndex);
        if (version >= 3) {
            r.Rgb(ICO_Background);
        }
        if (version >= 11) {
            for (auto& size : ICO_Sizes) {
                r.I32(size[0]);
                r.I32(size[1]);
            }
            for (int32_t& bitCount : ICO_BitCount) {
                r.I32(bitCount);
            }
        }
        r.I32(CUR_ImageIndex);
        r.I32(CUR_XHotSpot);
        r.I32(CUR_YHotSpot);
        if (version >= 3) {
            r.Rgb(CUR_Background);
        }
    } else {
        r.Skip(8);
        if (r.Ok()) {
            ICO_ImageIndex = 0;
        }
        r.Skip(8);
        if (r.Ok()) {
            CUR_ImageIndex = CUR_XHotSpot = CUR_YHotSpot = 0;
        }
    }
    r.Bool(PNG_Interlaced);
    r.Rgb(PNG_Background);
    r.Enum(PNG_Filter);
    r.I32(PNG_Compression);
    if (version >= 3) {
        r.I32(TGA_XPos);
        r.I32(TGA_YPos);
        r.Bool(TGA_Compressed);
        r.Str(TGA_Descriptor);
        r.Str(TGA_Author);
        r.F64(TGA_Date);
        r.Str(TGA_ImageName);
        r.Rgb(TGA_Background);
        r.F64(TGA_AspectRatio);
        r.F64(TGA_Gamma);
        r.Bool(TGA_GrayLevel);
    }
    if (version >= 4) {
        r.ListStream(IPTC_Info);
    }
    if (version >= 5) {
        r.Strings(InfoStrings);
    }
    if (version >= 6) {
        r.I32(AVI_FrameCount);
        r.I32(AVI_FrameDelayTime);
    }
    if (version >= 13 && r.Ok()) {
        ImagingAnnot.LoadFromStream(stream);
    }
}

void TIOParamsVals::SaveToFile(const std::string& fileName) const
{
    TSafeFileWriter file(fileName);
    SaveToStream(file.Stream());
    file.Commit();
}

void TIOParamsVals::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

std::string TIOParamsVals::GetFileTypeStr() const
{
    std::string text;
    if (Korvaneio::FileFormatDisplayName != nullptr) {
        std::string fullName;
        std::string firstExt;
        if (Korvaneio::FileFormatDisplayName(FileType, fullName, firstExt)) {
            text = fullName + " (" + firstExt + ")";
        }
    }
    switch (FileType) {
    case 1: {
        static const char* const compression[] = {" Uncompressed",   " Huffman",     " Group 3 Fax",
                                                  " Group 3 Fax 2D", " Group 4 Fax", " LZW",
                                                  " Jpeg v.5",       " Jpeg",        " PackBits RLE"};
        if (TIFF_Compression < std::size(compression)) {
            text += compression[TIFF_Compression];
        }
        break;
    }
    case 2:
        if (GIF_Interlaced) {
            text += " Interlaced";
        }
        break;
    case 3: {
        static const char* const colorSpace[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
        if (JPEG_ColorSpace < std::size(colorSpace)) {
            text += colorSpace[JPEG_ColorSpace];
        }
        break;
    }
    case 4:
        if (PCX_Compression == ioPCX_UNCOMPRESSED) {
            text += " Uncompressed";
        }
        break;
    case 5: {
        static const char* const version[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
        if (BMP_Version < std::size(version)) {
            text += version[BMP_Version];
        }
        break;
    }
    case 8:
        if (PNG_Interlaced) {
            text += " Interlaced";
        }
        break;
    case 11:
        text += TGA_Compressed ? " Compressed" : " Uncompressed";
        break;
    case 13:
    case 14: {
        static const char* const colorSpace[] = {" Gray level", " RGB", " YCbCr"};
        if (J2000_ColorSpace < std::size(colorSpace)) {
            text += colorSpace[J2000_ColorSpace];
        }
        break;
    }
    default:
        break;
    }
    return text;
}
