// The per-image parameter record: defaults, resets, copies and the versioned stream.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/le_stream.h"
#include "imaging/io/korvaneio_globals.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint8_t* DecodeStub(const uint8_t*, int64_t, int32_t, intptr_t&)
{
    return nullptr;
}

// Every streamed field away from its default.
void FillStreamedFields(TIOParamsVals& p)
{
    p.FileName = "/pictures/a.tif";
    p.FileType = 1;
    p.BitsPerSample = 4;
    p.SamplesPerPixel = 1;
    p.Width = 640;
    p.Height = 480;
    p.DpiX = 300;
    p.DpiY = 150;
    p.AllocColorMap(3);
    p.ColorMap[2] = TRGB{1, 2, 3};
    p.TIFF_Compression = ioTIFF_LZW;
    p.TIFF_ImageIndex = 2;
    p.TIFF_PhotometInterpret = ioTIFF_CMYK;
    p.TIFF_PlanarConf = 2;
    p.TIFF_XPos = 5;
    p.TIFF_YPos = 6;
    p.TIFF_DocumentName = "doc";
    p.TIFF_ImageDescription = "desc";
    p.TIFF_PageName = "page";
    p.TIFF_PageNumber = 3;
    p.TIFF_PageCount = 9;
    p.TIFF_ImageCount = 9;
    p.TIFF_Orientation = 6;
    p.TIFF_JPEGQuality = 55;
    p.GIF_Version = "GIF87a";
    p.GIF_ImageIndex = 4;
    p.GIF_XPos = 7;
    p.GIF_YPos = 8;
    p.GIF_DelayTime = 12;
    p.GIF_FlagTranspColor = true;
    p.GIF_TranspColor = TRGB{9, 8, 7};
    p.GIF_Interlaced = true;
    p.GIF_WinWidth = 100;
    p.GIF_WinHeight = 200;
    p.GIF_Background = TRGB{4, 5, 6};
    p.GIF_Ratio = 49;
    p.GIF_ImageCount = 5;
    p.GIF_Comments.Add("first");
    p.GIF_Comments.Add("");
    p.GIF_Action = ioGIF_RestorePrev;
    p.JPEG_ColorSpace = ioJPEG_CMYK;
    p.JPEG_Quality = 93;
    p.JPEG_DCTMethod = ioJPEG_FLOAT;
    p.JPEG_OptimalHuffman = true;
    p.JPEG_Smooth = 20;
    p.JPEG_Progressive = true;
    p.JPEG_Scale = ioJPEG_QUARTER;
    const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0};
    p.JPEG_MarkerList.AddMarker(0xE1, exif, 6);
    p.JPEG_OriginalWidth = 2560;
    p.JPEG_OriginalHeight = 1920;
    p.J2000_ColorSpace = ioJ2000_YCbCr;
    p.J2000_Rate = 0.25;
    p.J2000_ScalableBy = ioJ2000_Resolution;
    p.PCX_Version = 3;
    p.PCX_Compression = ioPCX_UNCOMPRESSED;
    p.BMP_Version = ioBMP_BMOS2V2;
    p.BMP_Compression = ioBMP_RLE;
    p.ICO_ImageIndex = 2;
    p.ICO_Background = TRGB{10, 20, 30};
    p.ICO_Sizes[1][0] = 32;
    p.ICO_Sizes[1][1] = 16;
    p.ICO_BitCount[1] = 24;
    p.CUR_ImageIndex = 1;
    p.CUR_XHotSpot = 3;
    p.CUR_YHotSpot = 4;
    p.CUR_Background = TRGB{40, 50, 60};
    p.PNG_Interlaced = true;
    p.PNG_Background = TRGB{70, 80, 90};
    p.PNG_Filter = ioPNG_FILTER_PAETH;
    p.PNG_Compression = 9;
    p.TGA_XPos = 11;
    p.TGA_YPos = 12;
    p.TGA_Compressed = false;
    p.TGA_Descriptor = "id";
    p.TGA_Author = "author";
    p.TGA_Date = 45000.5;
    p.TGA_ImageName = "job";
    p.TGA_Background = TRGB{100, 110, 120};
    p.TGA_AspectRatio = 1.5;
    p.TGA_Gamma = 1.8;
    p.TGA_GrayLevel = true;
    p.IPTC_Info.AddStringItem(2, 5, "Title");
    p.InfoStrings.Add("info");
    p.AVI_FrameCount = 25;
    p.AVI_FrameDelayTime = 40;
}

void ExpectStreamedFieldsEqual(const TIOParamsVals& a, const TIOParamsVals& b)
{
    EXPECT_EQ(a.FileName, b.FileName);
    EXPECT_EQ(a.FileType, b.FileType);
    EXPECT_EQ(a.BitsPerSample, b.BitsPerSample);
    EXPECT_EQ(a.SamplesPerPixel, b.SamplesPerPixel);
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_EQ(a.DpiX, b.DpiX);
    EXPECT_EQ(a.DpiY, b.DpiY);
    ASSERT_EQ(a.ColorMapCount, b.ColorMapCount);
    for (int32_t i = 0; i < a.ColorMapCount; ++i) {
        EXPECT_EQ(a.ColorMap[i], b.ColorMap[i]);
    }
    EXPECT_EQ(a.TIFF_Compression, b.TIFF_Compression);
    EXPECT_EQ(a.TIFF_ImageIndex, b.TIFF_ImageIndex);
    EXPECT_EQ(a.TIFF_PhotometInterpret, b.TIFF_PhotometInterpret);
    EXPECT_EQ(a.TIFF_PlanarConf, b.TIFF_PlanarConf);
    EXPECT_EQ(a.TIFF_XPos, b.TIFF_XPos);
    EXPECT_EQ(a.TIFF_YPos, b.TIFF_YPos);
    EXPECT_EQ(a.TIFF_DocumentName, b.TIFF_DocumentName);
    EXPECT_EQ(a.TIFF_ImageDescription, b.TIFF_ImageDescription);
    EXPECT_EQ(a.TIFF_PageName, b.TIFF_PageName);
    EXPECT_EQ(a.TIFF_PageNumber, b.TIFF_PageNumber);
    EXPECT_EQ(a.TIFF_PageCount, b.TIFF_PageCount);
    EXPECT_EQ(a.TIFF_ImageCount, b.TIFF_ImageCount);
    EXPECT_EQ(a.TIFF_Orientation, b.TIFF_Orientation);
    EXPECT_EQ(a.TIFF_JPEGQuality, b.TIFF_JPEGQuality);
    EXPECT_EQ(a.GIF_Version, b.GIF_Version);
    EXPECT_EQ(a.GIF_ImageIndex, b.GIF_ImageIndex);
    EXPECT_EQ(a.GIF_XPos, b.GIF_XPos);
    EXPECT_EQ(a.GIF_YPos, b.GIF_YPos);
    EXPECT_EQ(a.GIF_DelayTime, b.GIF_DelayTime);
    EXPECT_EQ(a.GIF_FlagTranspColor, b.GIF_FlagTranspColor);
    EXPECT_EQ(a.GIF_TranspColor, b.GIF_TranspColor);
    EXPECT_EQ(a.GIF_Interlaced, b.GIF_Interlaced);
    EXPECT_EQ(a.GIF_WinWidth, b.GIF_WinWidth);
    EXPECT_EQ(a.GIF_WinHeight, b.GIF_WinHeight);
    EXPECT_EQ(a.GIF_Background, b.GIF_Background);
    EXPECT_EQ(a.GIF_Ratio, b.GIF_Ratio);
    EXPECT_EQ(a.GIF_ImageCount, b.GIF_ImageCount);
    EXPECT_TRUE(a.GIF_Comments.Equals(b.GIF_Comments));
    EXPECT_EQ(a.GIF_Action, b.GIF_Action);
    EXPECT_EQ(a.JPEG_ColorSpace, b.JPEG_ColorSpace);
    EXPECT_EQ(a.JPEG_Quality, b.JPEG_Quality);
    EXPECT_EQ(a.JPEG_DCTMethod, b.JPEG_DCTMethod);
    EXPECT_EQ(a.JPEG_OptimalHuffman, b.JPEG_OptimalHuffman);
    EXPECT_EQ(a.JPEG_Smooth, b.JPEG_Smooth);
    EXPECT_EQ(a.JPEG_Progressive, b.JPEG_Progressive);
    EXPECT_EQ(a.JPEG_Scale, b.JPEG_Scale);
    ASSERT_EQ(a.JPEG_MarkerList.GetCount(), b.JPEG_MarkerList.GetCount());
    for (int32_t i = 0; i < a.JPEG_MarkerList.GetCount(); ++i) {
        EXPECT_EQ(a.JPEG_MarkerList.GetMarkerType(i), b.JPEG_MarkerList.GetMarkerType(i));
        EXPECT_EQ(a.JPEG_MarkerList.GetMarkerLength(i), b.JPEG_MarkerList.GetMarkerLength(i));
    }
    EXPECT_EQ(a.JPEG_OriginalWidth, b.JPEG_OriginalWidth);
    EXPECT_EQ(a.JPEG_OriginalHeight, b.JPEG_OriginalHeight);
    EXPECT_EQ(a.J2000_ColorSpace, b.J2000_ColorSpace);
    EXPECT_EQ(a.J2000_Rate, b.J2000_Rate);
    EXPECT_EQ(a.J2000_ScalableBy, b.J2000_ScalableBy);
    EXPECT_EQ(a.PCX_Version, b.PCX_Version);
    EXPECT_EQ(a.PCX_Compression, b.PCX_Compression);
    EXPECT_EQ(a.BMP_Version, b.BMP_Version);
    EXPECT_EQ(a.BMP_Compression, b.BMP_Compression);
    EXPECT_EQ(a.ICO_ImageIndex, b.ICO_ImageIndex);
    EXPECT_EQ(a.ICO_Background, b.ICO_Background);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(a.ICO_Sizes[i][0], b.ICO_Sizes[i][0]);
        EXPECT_EQ(a.ICO_Sizes[i][1], b.ICO_Sizes[i][1]);
        EXPECT_EQ(a.ICO_BitCount[i], b.ICO_BitCount[i]);
    }
    EXPECT_EQ(a.CUR_ImageIndex, b.CUR_ImageIndex);
    EXPECT_EQ(a.CUR_XHotSpot, b.CUR_XHotSpot);
    EXPECT_EQ(a.CUR_YHotSpot, b.CUR_YHotSpot);
    EXPECT_EQ(a.CUR_Background, b.CUR_Background);
    EXPECT_EQ(a.PNG_Interlaced, b.PNG_Interlaced);
    EXPECT_EQ(a.PNG_Background, b.PNG_Background);
    EXPECT_EQ(a.PNG_Filter, b.PNG_Filter);
    EXPECT_EQ(a.PNG_Compression, b.PNG_Compression);
    EXPECT_EQ(a.TGA_XPos, b.TGA_XPos);
    EXPECT_EQ(a.TGA_YPos, b.TGA_YPos);
    EXPECT_EQ(a.TGA_Compressed, b.TGA_Compressed);
    EXPECT_EQ(a.TGA_Descriptor, b.TGA_Descriptor);
    EXPECT_EQ(a.TGA_Author, b.TGA_Author);
    EXPECT_EQ(a.TGA_Date, b.TGA_Date);
    EXPECT_EQ(a.TGA_ImageName, b.TGA_ImageName);
    EXPECT_EQ(a.TGA_Background, b.TGA_Background);
    EXPECT_EQ(a.TGA_AspectRatio, b.TGA_AspectRatio);
    EXPECT_EQ(a.TGA_Gamma, b.TGA_Gamma);
    EXPECT_EQ(a.TGA_GrayLevel, b.TGA_GrayLevel);
    ASSERT_EQ(a.IPTC_Info.GetCount(), b.IPTC_Info.GetCount());
    for (int32_t i = 0; i < a.IPTC_Info.GetCount(); ++i) {
        EXPECT_EQ(a.IPTC_Info.GetStrings(i), b.IPTC_Info.GetStrings(i));
    }
    EXPECT_TRUE(a.InfoStrings.Equals(b.InfoStrings));
    EXPECT_EQ(a.AVI_FrameCount, b.AVI_FrameCount);
    EXPECT_EQ(a.AVI_FrameDelayTime, b.AVI_FrameDelayTime);
}

// A record stream of an older version, written field by field as that version lays it out.
class TOldStream
{
public:
    explicit TOldStream(int32_t version) : FVersion(version) { I32(version); }

    void I32(int32_t value) { KVLEStream::WriteI32(FStream, value); }
    void U8(uint8_t value) { KVLEStream::WriteU8(FStream, value); }
    void Str(const std::string& value) { KVLEStream::WriteString(FStream, value); }
    void F64(double value) { KVLEStream::WriteF64(FStream, value); }
    void Rgb(uint8_t b, uint8_t g, uint8_t r)
    {
        U8(b);
        U8(g);
        U8(r);
    }
    TMemoryStream& Stream()
    {
        FStream.SetPosition(0);
        return FStream;
    }

    // Everything up to and including the PCX and BMP bytes, as versions 0 to 3 have it.
    void WriteCommonHead()
    {
        Str("old.gif");
        if (FVersion < 2) {
            U8(2);
        } else {
            I32(2);
        }
        for (int32_t value : {1, 1, 10, 20, 72, 72}) {
            I32(value);
        }
        I32(0); // no colour map
        U8(ioTIFF_PACKBITS);
        I32(0);
        U8(ioTIFF_RGB);
        I32(1);
        I32(0);
        I32(0);
        Str("");
        Str("");
        Str("");
        I32(0);
        I32(0);
        Str("GIF87a");
        for (int32_t value : {0, 1, 2, 3}) {
            I32(value);
        }
        U8(1);
        Rgb(1, 2, 3);
        U8(0);
        I32(30);
        I32(40);
        Rgb(4, 5, 6);
        I32(0);
        U8(ioJPEG_GRAYLEV);
        I32(66);
        U8(ioJPEG_IFAST);
        U8(0);
        I32(0);
        U8(1);
        if (FVersion >= 1) {
            U8(ioJPEG_HALF);
        }
        I32(10);
        U8(ioPCX_RLE);
        U8(ioBMP_BM);
        U8(ioBMP_RLE);
    }

private:
    int32_t FVersion;
    TMemoryStream FStream;
};

} // namespace

TEST(IOParams, DefaultsAfterConstruction)
{
    TIOParamsVals p;
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 3);
    EXPECT_EQ(p.Width, 0);
    EXPECT_EQ(p.TIFF_PlanarConf, 1);
    EXPECT_EQ(p.TIFF_Orientation, 1);
    EXPECT_EQ(p.TIFF_JPEGQuality, 80);
    EXPECT_EQ(p.GIF_Version, "GIF89a");
    EXPECT_EQ(p.JPEG_ColorSpace, ioJPEG_YCbCr);
    EXPECT_EQ(p.JPEG_Quality, 80);
    EXPECT_EQ(p.JPEG_Scale, ioJPEG_FULLSIZE);
    EXPECT_EQ(p.JPEG_Scale_Used, 1);
    EXPECT_EQ(p.PCX_Version, 5);
    EXPECT_EQ(p.BMP_Version, ioBMP_BM3);
    EXPECT_EQ(p.ICO_Background, (TRGB{255, 255, 255}));
    EXPECT_EQ(p.PNG_Compression, 5);
    EXPECT_TRUE(p.TGA_Compressed);
    EXPECT_EQ(p.TGA_Gamma, 2.2);
    EXPECT_GT(p.TGA_Date, 44000.0); // today, as days since 1899-12-30
    EXPECT_EQ(p.TGA_Date, static_cast<double>(static_cast<int64_t>(p.TGA_Date)));
    EXPECT_EQ(p.ICO_Sizes[0][0], 64);
    EXPECT_EQ(p.ICO_Sizes[1][0], 0);
    EXPECT_EQ(p.ICO_BitCount[0], 8);
    EXPECT_EQ(p.ColorMap, nullptr);
    EXPECT_EQ(p.TIFF_LZWDecompress, nullptr);
}

TEST(IOParams, SetDefaultParamsTakesTheHookGlobalsAndKeepsSizeWithoutOwner)
{
    TIOParamsVals p;
    FillStreamedFields(p);
    Korvaneio::DefTIFF_LZWDECOMPFUNC = DecodeStub;
    p.SetDefaultParams();
    Korvaneio::DefTIFF_LZWDECOMPFUNC = nullptr;
    EXPECT_EQ(p.TIFF_LZWDecompress, DecodeStub);
    EXPECT_EQ(p.Width, 640);
    EXPECT_EQ(p.DpiY, 150);
    EXPECT_EQ(p.FileName, "");
    EXPECT_EQ(p.ColorMapCount, 0);
    EXPECT_EQ(p.JPEG_MarkerList.GetCount(), 0);
    EXPECT_EQ(p.IPTC_Info.GetCount(), 0);
    EXPECT_EQ(p.GIF_Comments.Count(), 0);
    EXPECT_EQ(p.JPEG_Quality, 80);
}

TEST(IOParams, SetDefaultParamsAsksTheOwnerForImageSizeAndViewResolution)
{
    auto* owner = reinterpret_cast<TKorvaneIO*>(0x1000);
    Korvaneio::ParamsOwnerImageSize = [](TKorvaneIO*, int32_t& w, int32_t& h) {
        w = 33;
        h = 44;
        return true;
    };
    Korvaneio::ParamsOwnerViewDpi = [](TKorvaneIO*, int32_t&, int32_t&) { return false; }; // no view
    TIOParamsVals p(owner);
    Korvaneio::ParamsOwnerImageSize = nullptr;
    Korvaneio::ParamsOwnerViewDpi = nullptr;
    EXPECT_EQ(p.Width, 33);
    EXPECT_EQ(p.Height, 44);
    EXPECT_EQ(p.DpiX, 0);
}

TEST(IOParams, ResetInfoClearsWhatDescribesTheFileOnly)
{
    TIOParamsVals p;
    FillStreamedFields(p);
    p.EXIF_HasEXIFData = true;
    p.EXIF_Make = "camera";
    p.ResetInfo();
    EXPECT_EQ(p.IPTC_Info.GetCount(), 0);
    EXPECT_TRUE(p.IPTC_Info.Changed());
    EXPECT_EQ(p.JPEG_MarkerList.GetCount(), 0);
    EXPECT_FALSE(p.EXIF_HasEXIFData);
    EXPECT_EQ(p.EXIF_Make, "");
    EXPECT_EQ(p.GIF_Comments.Count(), 0);
    EXPECT_EQ(p.TIFF_PageName, "");
    EXPECT_EQ(p.TGA_Author, "");
    EXPECT_EQ(p.InfoStrings.Count(), 0);
    // Save settings stay.
    EXPECT_EQ(p.JPEG_Quality, 93);
    EXPECT_EQ(p.TIFF_Compression, ioTIFF_LZW);
    EXPECT_EQ(p.ColorMapCount, 3);
}

TEST(IOParams, AssignDuplicatesEverythingButTheOwner)
{
    TIOParamsVals source;
    FillStreamedFields(source);
    source.AllocColorMap(256);
    source.ColorMap[255] = TRGB{7, 7, 7};
    source.TIFF_LZWDecompress = DecodeStub;
    source.SetEXIF_WhitePoint(1, 0.33);
    source.EXIF_Bitmap = std::make_unique<TKVBitmap>();
    source.EXIF_Bitmap->Allocate(4, 3, kv24RGB);

    TIOParamsVals copy;
    copy.Assign(source);
    ExpectStreamedFieldsEqual(copy, source);
    EXPECT_EQ(copy.TIFF_LZWDecompress, DecodeStub);
    EXPECT_EQ(copy.GetEXIF_WhitePoint(1), 0.33);
    ASSERT_NE(copy.EXIF_Bitmap, nullptr);
    EXPECT_EQ(copy.EXIF_Bitmap->GetWidth(), 4);

    source.ColorMap[255] = TRGB{9, 9, 9};
    EXPECT_EQ(copy.ColorMap[255], (TRGB{7, 7, 7}));
    EXPECT_NE(copy.ColorMap.get(), source.ColorMap.get());

    // A target keeps its EXIF bitmap when the source has none.
    TIOParamsVals plain;
    copy.Assign(plain);
    EXPECT_NE(copy.EXIF_Bitmap, nullptr);
    EXPECT_EQ(copy.ColorMapCount, 0);
}

TEST(IOParams, AssignCompressionInfoCopiesOnlySaveSettings)
{
    TIOParamsVals source;
    FillStreamedFields(source);
    TIOParamsVals target;
    target.AssignCompressionInfo(source);
    EXPECT_EQ(target.JPEG_Quality, 93);
    EXPECT_EQ(target.BitsPerSample, 4);
    EXPECT_EQ(target.PNG_Filter, ioPNG_FILTER_PAETH);
    EXPECT_EQ(target.TGA_GrayLevel, true);
    EXPECT_EQ(target.Width, 0);
    EXPECT_EQ(target.FileName, "");
    EXPECT_EQ(target.GIF_Version, "GIF89a");
    EXPECT_EQ(target.PNG_Background, TRGB{});
}

TEST(IOParams, IndexedExifValuesIgnoreIndexesOutsideTheArray)
{
    TIOParamsVals p;
    p.SetEXIF_ISOSpeedRatings(1, 400);
    p.SetEXIF_ISOSpeedRatings(2, 800);
    p.SetEXIF_ReferenceBlackWhite(5, 255.0);
    p.SetEXIF_ReferenceBlackWhite(-1, 1.0);
    EXPECT_EQ(p.GetEXIF_ISOSpeedRatings(1), 400);
    EXPECT_EQ(p.GetEXIF_ISOSpeedRatings(2), 0);
    EXPECT_EQ(p.GetEXIF_ReferenceBlackWhite(5), 255.0);
    EXPECT_EQ(p.GetEXIF_ReferenceBlackWhite(6), 0.0);
    EXPECT_EQ(p.GetEXIF_PrimaryChromaticities(100), 0.0);
}

TEST(IOParams, Version13StreamRoundTripsEveryStreamedField)
{
    TIOParamsVals source;
    FillStreamedFields(source);
    source.TIFF_EnableAdjustOrientation = true;
    source.EXIF_Make = "camera";
    TMemoryStream stream;
    source.SaveToStream(stream);
    stream.SetPosition(0);

    TIOParamsVals target;
    target.TIFF_LZWDecompress = DecodeStub;
    target.LoadFromStream(stream);
    ExpectStreamedFieldsEqual(target, source);
    EXPECT_EQ(stream.Position(), stream.Size());
    EXPECT_EQ(target.TIFF_LZWDecompress, DecodeStub);
    EXPECT_FALSE(target.TIFF_EnableAdjustOrientation);
    EXPECT_EQ(target.EXIF_Make, "");
}

TEST(IOParams, Version0StreamReadsItsOwnLayout)
{
    TOldStream old(0);
    old.WriteCommonHead();
    old.I32(77); // two int32 where later versions keep the icon fields
    old.I32(88);
    old.I32(77); // and two for the cursor fields
    old.I32(88);
    old.U8(1);
    old.Rgb(9, 9, 9);
    old.U8(ioPNG_FILTER_SUB);
    old.I32(7);

    TIOParamsVals p;
    p.ICO_ImageIndex = 5;
    p.CUR_XHotSpot = 5;
    p.JPEG_Scale = ioJPEG_EIGHTH;
    p.TIFF_Orientation = 8;
    p.IPTC_Info.AddStringItem(2, 5, "kept");
    p.LoadFromStream(old.Stream());
    EXPECT_EQ(p.FileType, 2);
    EXPECT_EQ(p.FileName, "old.gif");
    EXPECT_EQ(p.Width, 10);
    EXPECT_EQ(p.TIFF_Compression, ioTIFF_PACKBITS);
    EXPECT_EQ(p.GIF_Version, "GIF87a");
    EXPECT_EQ(p.GIF_WinHeight, 40);
    EXPECT_EQ(p.JPEG_Quality, 66);
    EXPECT_EQ(p.JPEG_Scale, ioJPEG_EIGHTH); // not in version 0
    EXPECT_EQ(p.BMP_Compression, ioBMP_RLE);
    EXPECT_EQ(p.ICO_ImageIndex, 0);
    EXPECT_EQ(p.CUR_XHotSpot, 0);
    EXPECT_EQ(p.PNG_Background, (TRGB{9, 9, 9}));
    EXPECT_EQ(p.PNG_Filter, ioPNG_FILTER_SUB);
    EXPECT_EQ(p.PNG_Compression, 7);
    EXPECT_EQ(p.TIFF_Orientation, 8);
    EXPECT_EQ(p.IPTC_Info.GetStrings(0), "kept");
}

TEST(IOParams, Version3StreamReadsTheIconAndTgaFieldsOfItsTime)
{
    TOldStream old(3);
    old.WriteCommonHead();
    old.I32(2);       // ICO_ImageIndex
    old.Rgb(1, 1, 1); // ICO_Background; the size tables come with version 11
    old.I32(1);       // CUR_ImageIndex, hot spot
    old.I32(2);
    old.I32(3);
    old.Rgb(2, 2, 2); // CUR_Background
    old.U8(0);        // PNG
    old.Rgb(3, 3, 3);
    old.U8(ioPNG_FILTER_NONE);
    old.I32(6);
    old.I32(4); // TGA
    old.I32(5);
    old.U8(0);
    old.Str("d");
    old.Str("a");
    old.F64(1234.0);
    old.Str("n");
    old.Rgb(4, 4, 4);
    old.F64(2.0);
    old.F64(1.0);
    old.U8(1);

    TIOParamsVals p;
    p.ICO_Sizes[0][0] = 48;
    p.InfoStrings.Add("kept");
    p.LoadFromStream(old.Stream());
    EXPECT_EQ(p.FileType, 2);
    EXPECT_EQ(p.JPEG_Scale, ioJPEG_HALF);
    EXPECT_EQ(p.ICO_ImageIndex, 2);
    EXPECT_EQ(p.ICO_Background, (TRGB{1, 1, 1}));
    EXPECT_EQ(p.ICO_Sizes[0][0], 48);
    EXPECT_EQ(p.CUR_YHotSpot, 3);
    EXPECT_EQ(p.CUR_Background, (TRGB{2, 2, 2}));
    EXPECT_EQ(p.PNG_Compression, 6);
    EXPECT_EQ(p.TGA_YPos, 5);
    EXPECT_FALSE(p.TGA_Compressed);
    EXPECT_EQ(p.TGA_Date, 1234.0);
    EXPECT_EQ(p.TGA_ImageName, "n");
    EXPECT_EQ(p.TGA_AspectRatio, 2.0);
    EXPECT_TRUE(p.TGA_GrayLevel);
    EXPECT_EQ(p.InfoStrings.Strings(0), "kept"); // from version 5 on
}

TEST(IOParams, TruncatedOrHostileStreamsKeepTheFieldsNotReached)
{
    TIOParamsVals source;
    FillStreamedFields(source);
    TMemoryStream whole;
    source.SaveToStream(whole);

    // Cut right after the colour map: the TIFF fields and everything after keep their values.
    const int64_t cut = 4 + 4 + 15 + 4 + 6 * 4 + 4 + 9;
    TMemoryStream truncated;
    truncated.WriteBuffer(whole.Memory(), cut);
    truncated.SetPosition(0);
    TIOParamsVals target;
    target.LoadFromStream(truncated);
    EXPECT_EQ(target.FileName, "/pictures/a.tif");
    EXPECT_EQ(target.ColorMapCount, 3);
    EXPECT_EQ(target.ColorMap[2], (TRGB{1, 2, 3}));
    EXPECT_EQ(target.TIFF_Compression, ioTIFF_UNCOMPRESSED);
    EXPECT_EQ(target.JPEG_Quality, 80);

    struct Case
    {
        const char* name;
        int32_t colorMapCount;
    };
    for (const Case& c : {Case{"negative count", -1}, Case{"count beyond the stream", 0x7FFFFFFF}}) {
        TMemoryStream hostile;
        KVLEStream::WriteI32(hostile, 13);
        KVLEStream::WriteString(hostile, "x.png");
        for (int i = 0; i < 7; ++i) {
            KVLEStream::WriteI32(hostile, 1);
        }
        KVLEStream::WriteI32(hostile, c.colorMapCount);
        KVLEStream::WriteU8(hostile, ioTIFF_LZW);
        hostile.SetPosition(0);
        TIOParamsVals p;
        p.AllocColorMap(2);
        p.LoadFromStream(hostile);
        EXPECT_EQ(p.FileName, "x.png") << c.name;
        EXPECT_EQ(p.ColorMapCount, 2) << c.name;
        EXPECT_EQ(p.TIFF_Compression, ioTIFF_UNCOMPRESSED) << c.name;
    }

    TMemoryStream longName;
    KVLEStream::WriteI32(longName, 13);
    KVLEStream::WriteI32(longName, 0x7FFFFFFF);
    longName.SetPosition(0);
    TIOParamsVals p;
    p.FileName = "kept";
    p.LoadFromStream(longName);
    EXPECT_EQ(p.FileName, "kept");

    for (int32_t version : {-1, 14}) {
        TMemoryStream unknown;
        KVLEStream::WriteI32(unknown, version);
        KVLEStream::WriteString(unknown, "new");
        unknown.SetPosition(0);
        p.LoadFromStream(unknown);
        EXPECT_EQ(p.FileName, "kept") << version;
    }
}

TEST(IOParams, FileFormsWriteAndReadTheStream)
{
    const std::string name = ::testing::TempDir() + "kv_params_test.bin";
    TIOParamsVals source;
    FillStreamedFields(source);
    source.SaveToFile(name);
    TIOParamsVals target;
    target.LoadFromFile(name);
    ExpectStreamedFieldsEqual(target, source);
    std::remove(name.c_str());
    EXPECT_ANY_THROW(target.LoadFromFile(name));
}

TEST(IOParams, FileTypeText)
{
    Korvaneio::FileFormatDisplayName = [](int32_t fileType, std::string& name, std::string& ext) {
        if (fileType != 1 && fileType != 3) {
            return false;
        }
        name = fileType == 1 ? "TIFF Bitmap" : "JPEG Bitmap";
        ext = fileType == 1 ? "TIF" : "JPG";
        return true;
    };
    struct Case
    {
        int32_t fileType;
        void (*set)(TIOParamsVals&);
        const char* expected;
    };
    const Case cases[] = {
        {0, [](TIOParamsVals&) {}, ""},
        {1, [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_G4FAX; }, "TIFF Bitmap (TIF) Group 4 Fax"},
        {1, [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_UNKNOWN; }, "TIFF Bitmap (TIF)"},
        {3, [](TIOParamsVals& p) { p.JPEG_ColorSpace = ioJPEG_RGB; }, "JPEG Bitmap (JPG)"},
        {3, [](TIOParamsVals& p) { p.JPEG_ColorSpace = ioJPEG_GRAYLEV; }, "JPEG Bitmap (JPG) Gray level"},
        {2, [](TIOParamsVals& p) { p.GIF_Interlaced = true; }, " Interlaced"},
        {5, [](TIOParamsVals& p) { p.BMP_Version = ioBMP_BMOS2V1; }, " OS/2 v.1"},
        {4, [](TIOParamsVals& p) { p.PCX_Compression = ioPCX_UNCOMPRESSED; }, " Uncompressed"},
        {11, [](TIOParamsVals& p) { p.TGA_Compressed = false; }, " Uncompressed"},
        {14, [](TIOParamsVals& p) { p.J2000_ColorSpace = ioJ2000_GRAYLEV; }, " Gray level"},
        {8, [](TIOParamsVals&) {}, ""},
    };
    for (const Case& c : cases) {
        TIOParamsVals p;
        p.FileType = c.fileType;
        c.set(p);
        EXPECT_EQ(p.GetFileTypeStr(), c.expected) << c.fileType;
    }
    Korvaneio::FileFormatDisplayName = nullptr;
}
