// EXIF data: the standard block read and written back value for value, what a JPEG carries in
// its APP1 marker as exiftool reads it, camera files with their thumbnail, the resolution that
// EXIF gives when the JPEG header has none, and saves that write only the fields a photo has.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/core/exif_buffer.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace kviotest;

namespace {

const std::string Camera = "/usr/libexec/installed-tests/gdk-pixbuf/bug725582-testrotate.jpg";

void SetExif(TIOParamsVals& p)
{
    p.EXIF_HasEXIFData = true;
    p.EXIF_ImageDescription = "A test";
    p.EXIF_Make = "Daskor";
    p.EXIF_Model = "K-1";
    p.EXIF_Orientation = 8;
    p.EXIF_XResolution = 300;
    p.EXIF_YResolution = 300;
    p.EXIF_ResolutionUnit = 2;
    p.EXIF_Software = "Plimbet";
    p.EXIF_DateTime = "2024:05:06 07:08:09";
    p.EXIF_WhitePoint[0] = 0.3127;
    p.EXIF_WhitePoint[1] = 0.329;
    p.EXIF_YCbCrPositioning = 1;
    p.EXIF_Copyright = "nobody";
    p.EXIF_ExposureTime = 0.004;
    p.EXIF_FNumber = 2.8;
    p.EXIF_ExposureProgram = 2;
    p.EXIF_ISOSpeedRatings[0] = 400;
    p.EXIF_ExifVersion = "0230";
    p.EXIF_DateTimeOriginal = "2024:05:06 07:08:09";
    p.EXIF_ShutterSpeedValue = -2.5;
    p.EXIF_ApertureValue = 2.97;
    p.EXIF_BrightnessValue = -1.25;
    p.EXIF_ExposureBiasValue = -0.7;
    p.EXIF_MaxApertureValue = 1.7;
    p.EXIF_SubjectDistance = 3000000.5; // too large for 32 bits at 10^6
    p.EXIF_MeteringMode = 5;
    p.EXIF_Flash = 16;
    p.EXIF_FocalLength = 35;
    p.EXIF_FlashPixVersion = "0100";
    p.EXIF_ColorSpace = 1;
    p.EXIF_ExifImageWidth = 70000;
    p.EXIF_ExifImageHeight = 480;
    p.EXIF_FileSource = 3;
    p.EXIF_SceneType = 1;
    p.EXIF_UserCommentCode = std::string("ASCII\0\0\0", 8);
    p.EXIF_UserComment = "hello";
}

} // namespace

TEST(ExifBuffer, SavedValuesComeBackAndBadBlocksAreRefused)
{
    TIOParamsVals written;
    SetExif(written);
    std::vector<uint8_t> buffer;
    Daduvudez::SaveEXIFToStandardBuffer(written, buffer);
    ASSERT_GT(buffer.size(), 6u);
    EXPECT_EQ(std::memcmp(buffer.data(), "Exif\0\0", 6), 0);

    TIOParamsVals read;
    ASSERT_TRUE(Daduvudez::LoadEXIFFromStandardBuffer(buffer.data(), int64_t(buffer.size()), read));
    EXPECT_TRUE(read.EXIF_HasEXIFData);
    EXPECT_EQ(read.EXIF_Make, "Daskor");
    EXPECT_EQ(read.EXIF_Orientation, 8);
    EXPECT_EQ(read.EXIF_DateTime, written.EXIF_DateTime);
    EXPECT_DOUBLE_EQ(read.EXIF_WhitePoint[1], 0.329);
    EXPECT_DOUBLE_EQ(read.EXIF_ExposureTime, 0.004);
    EXPECT_DOUBLE_EQ(read.EXIF_ShutterSpeedValue, -2.5);
    EXPECT_DOUBLE_EQ(read.EXIF_BrightnessValue, -1.25);
    EXPECT_DOUBLE_EQ(read.EXIF_ExposureBiasValue, -0.7);
    EXPECT_NEAR(read.EXIF_SubjectDistance, 3000000.5, 0.001);
    EXPECT_EQ(read.EXIF_ISOSpeedRatings[0], 400);
    EXPECT_EQ(read.EXIF_ExifVersion, "0230");
    EXPECT_EQ(read.EXIF_ExifImageWidth, 70000);
    EXPECT_EQ(read.EXIF_FileSource, 3);
    EXPECT_EQ(read.EXIF_SceneType, 1);
    EXPECT_EQ(read.EXIF_UserCommentCode, written.EXIF_UserCommentCode);
    EXPECT_EQ(read.EXIF_UserComment, "hello");
    // Written again, the block is the same: nothing grows or drifts from save to save.
    std::vector<uint8_t> again;
    Daduvudez::SaveEXIFToStandardBuffer(read, again);
    EXPECT_EQ(again, buffer);

    const struct
    {
        const char* Name;
        std::vector<uint8_t> Block;
    } refused[] = {
        {"short", {'E', 'x', 'i', 'f', 0}},
        {"not exif", {'E', 'x', 'i', 'f', 'X', 0, 'I', 'I', 42, 0, 8, 0, 0, 0}},
        {"xmp", {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'}},
        {"no tiff", {'E', 'x', 'i', 'f', 0, 0, 'P', 'K', 42, 0, 8, 0, 0, 0}},
        {"directory outside", {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xF0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.Name);
        TIOParamsVals untouched;
        untouched.EXIF_Make = "kept";
        EXPECT_FALSE(
            Daduvudez::LoadEXIFFromStandardBuffer(c.Block.data(), int64_t(c.Block.size()), untouched));
        EXPECT_EQ(untouched.EXIF_Make, "kept");
        EXPECT_FALSE(untouched.EXIF_HasEXIFData);
    }
    // A directory without a picture, as every EXIF block has, is accepted.
    const std::vector<uint8_t> empty = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0,
                                        8,   0,   0,   0,   0, 0, 0,   0,   0,  0};
    TIOParamsVals accepted;
    EXPECT_TRUE(Daduvudez::LoadEXIFFromStandardBuffer(empty.data(), int64_t(empty.size()), accepted));
    EXPECT_TRUE(accepted.EXIF_HasEXIFData);
}

TEST(JpegExif, CameraFilesGiveTheirValuesAndThumbnail)
{
    TKorvaneIO io(nullptr);
    io.LoadFromFile(Camera);
    ASSERT_FALSE(io.Aborting);
    const TIOParamsVals& p = io.Params();
    EXPECT_TRUE(p.EXIF_HasEXIFData);
    EXPECT_EQ(p.EXIF_Make, "Panasonic");
    EXPECT_EQ(p.EXIF_Model, "DMC-GF1");
    EXPECT_DOUBLE_EQ(p.EXIF_ExposureTime, 0.0025);
    EXPECT_DOUBLE_EQ(p.EXIF_FNumber, 1.7);
    EXPECT_EQ(p.EXIF_ISOSpeedRatings[0], 100);
    EXPECT_EQ(p.EXIF_Orientation, 6);
    EXPECT_EQ(p.EXIF_ExifVersion, "0221");
    EXPECT_EQ(p.EXIF_DateTimeOriginal, "2013:06:23 16:49:15");
    EXPECT_EQ(p.EXIF_ExifImageWidth, 4000);
    ASSERT_NE(p.EXIF_Bitmap, nullptr);
    EXPECT_EQ(p.EXIF_Bitmap->GetWidth(), 160);
    EXPECT_EQ(p.EXIF_Bitmap->GetHeight(), 120);
}

// What we write, exiftool reads, in the formats the standard gives each tag.
TEST(JpegExif, ExiftoolReadsWhatASaveWrites)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 32, 24);
    SetExif(io.Params());
    io.SaveToFileJpeg(folder.File("ours.jpg"));
    ASSERT_FALSE(io.Aborting);
    const std::string file = folder.File("ours.jpg");
    EXPECT_EQ(RunTool("exiftool -s3 -n -Make -ExposureTime -FNumber -ISO -UserComment -ExposureCompensation "
                      "-Orientation -XResolution -ResolutionUnit " +
                      file),
              "Daskor\n0.004\n2.8\n400\nhello\n-0.7\n8\n300\n2\n");
    const std::string validate = RunTool("exiftool -validate -warning -a " + file + " 2>&1");
    EXPECT_EQ(validate.find("Non-standard format"), std::string::npos) << validate;

    // A camera file saved again keeps its values; rotated photos keep their orientation.
    TKorvaneIO camera(nullptr);
    camera.LoadFromFile(Camera);
    camera.SaveToFileJpeg(folder.File("camera.jpg"));
    ASSERT_FALSE(camera.Aborting);
    EXPECT_EQ(
        RunTool("exiftool -s3 -n -Make -Model -ExposureTime -FNumber -ISO -Orientation -Flash -FocalLength " +
                folder.File("camera.jpg")),
        "Panasonic\nDMC-GF1\n0.0025\n1.7\n100\n6\n16\n20\n");
}

// A JPEG without a resolution of its own, or with only the ratio 1 by 1, takes the EXIF one.
TEST(JpegExif, ResolutionComesFromExifWhenTheHeaderHasNone)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 16, 16);
    io.SaveToFileJpeg(folder.File("plain.jpg"));
    const struct
    {
        const char* Name;
        const char* Jfif; // the header's resolution, set with exiftool
        const char* Exif;
        int32_t Dpi;
    } cases[] = {
        {"none", "-JFIF:ResolutionUnit=None -JFIF:XResolution=1 -JFIF:YResolution=1",
         "-EXIF:XResolution=300 -EXIF:YResolution=300 -EXIF:ResolutionUnit=inches", 300},
        {"ratio", "-JFIF:ResolutionUnit=inches -JFIF:XResolution=1 -JFIF:YResolution=1",
         "-EXIF:XResolution=72 -EXIF:YResolution=72 -EXIF:ResolutionUnit=inches", 72},
        {"centimetres", "-JFIF:ResolutionUnit=inches -JFIF:XResolution=1 -JFIF:YResolution=1",
         "-EXIF:XResolution=28.35 -EXIF:YResolution=28.35 -EXIF:ResolutionUnit=cm", 72},
        {"header-wins", "-JFIF:ResolutionUnit=inches -JFIF:XResolution=150 -JFIF:YResolution=150",
         "-EXIF:XResolution=300 -EXIF:YResolution=300 -EXIF:ResolutionUnit=inches", 150},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = folder.File(std::string(c.Name) + ".jpg");
        RunTool("cp " + folder.File("plain.jpg") + " " + file + " && exiftool -q -overwrite_original " +
                c.Jfif + " " + c.Exif + " " + file);
        TKorvaneIO reader(nullptr);
        reader.LoadFromFile(file);
        ASSERT_FALSE(reader.Aborting);
        EXPECT_EQ(reader.Params().DpiX, c.Dpi);
        EXPECT_EQ(reader.Params().DpiY, c.Dpi);
        TKorvaneIO params(nullptr);
        params.ParamsFromFile(file);
        EXPECT_EQ(params.Params().DpiX, c.Dpi);
    }
}

namespace {

// The tags of the record's EXIF fields, by the names exiftool gives them.
const std::string RecordTags =
    " ImageDescription Make Model Orientation XResolution YResolution ResolutionUnit Software ModifyDate "
    "WhitePoint PrimaryChromaticities YCbCrCoefficients YCbCrPositioning ReferenceBlackWhite Copyright "
    "ExposureTime FNumber ExposureProgram ISO ExifVersion DateTimeOriginal CreateDate CompressedBitsPerPixel "
    "ShutterSpeedValue ApertureValue BrightnessValue ExposureCompensation MaxApertureValue SubjectDistance "
    "MeteringMode LightSource Flash FocalLength SubSecTime SubSecTimeOriginal SubSecTimeDigitized "
    "FlashpixVersion ColorSpace ExifImageWidth ExifImageHeight RelatedSoundFile FocalPlaneXResolution "
    "FocalPlaneYResolution FocalPlaneResolutionUnit ExposureIndex SensingMethod FileSource SceneType "
    "UserComment ";

// The record's tags that exiftool finds in a file's main and EXIF directories, with their values
// as numbers.
std::map<std::string, std::string> RecordTagsOf(const std::string& FileName)
{
    std::map<std::string, std::string> tags;
    std::istringstream lines(RunTool("exiftool -s -n -a -IFD0:all -ExifIFD:all " + FileName));
    for (std::string tag, colon, value; lines >> tag >> colon >> std::ws && std::getline(lines, value);) {
        if (RecordTags.find(" " + tag + " ") != std::string::npos) {
            tags[tag] = value;
        }
    }
    return tags;
}

} // namespace

// A photo saved again, as a JPEG or a TIFF, carries the fields it had, 0 included (Flash 0: did
// not fire), with their values as they were (1/32000 s, not 31/1000000), but for its size, which
// is the picture's; and no other field. A value that its field's type cannot hold (the reader
// takes a LONG for a SHORT field, a negative fraction for an unsigned one) is left out, never
// wrapped, and so is a value the photo does not know (0/0). Read back, the saved file gives the
// same record.
TEST(JpegExif, SavesWriteTheFieldsAPhotoHasAndNoOthers)
{
    kvtest::TempFolder folder;
    RunTool("convert -size 32x24 xc:gray " + folder.File("plain.jpg"));
    const auto unfit = [](TIOParamsVals& p) {
        p.EXIF_ColorSpace = 65536;
        p.EXIF_Flash = 65537;
        p.EXIF_MeteringMode = -1;
        p.EXIF_FileSource = 256;
        p.EXIF_ISOSpeedRatings[1] = 70000;
        p.EXIF_WhitePoint[0] = -1.0 / 3;
        p.EXIF_WhitePoint[1] = 1.0 / 3;
        p.EXIF_ExposureTime = 1e-10;
        p.EXIF_FocalLength = 5e9;
        p.EXIF_BrightnessValue = -3e9;
        p.EXIF_ExifImageWidth = -5;
    };
    const struct
    {
        const char* Name;
        std::string Source; // a packaged photo; none: plain.jpg with exiftool's Tags
        std::string Tags;
        void (*Change)(TIOParamsVals&); // what a read could give that no field can hold
    } cases[] = {
        {"make and values no field holds", "", "-Make=Daskor\n", unfit},
        {"every kind", "",
         // Texts, SHORTs, LONGs, RATIONALs and SRATIONALs, lists, versions and bytes.
         "-ImageDescription=A test\n-Model=K-1\n-Orientation=3\n-XResolution=300\n-YResolution=300\n"
         "-ResolutionUnit=3\n-Software=Plimbet\n-ModifyDate=2024:05:06 07:08:09\n-WhitePoint=0.3127 0.329\n"
         "-PrimaryChromaticities=0.64 0.33 0.3 0.6 0.15 0.06\n-YCbCrCoefficients=0.299 0.587 0.114\n"
         "-YCbCrPositioning=2\n-ReferenceBlackWhite=0 255 128 255 128 255\n-Copyright=nobody\n"
         "-ExposureTime=0.004\n-FNumber=2.8\n-ExposureProgram=2\n-ISO=400\n-ExifVersion=0230\n"
         "-CreateDate=2024:05:06 07:08:10\n-CompressedBitsPerPixel=4\n-ShutterSpeedValue=0.004\n"
         "-ApertureValue=2.97\n-BrightnessValue=-1.25\n-ExposureCompensation=-0.7\n-MaxApertureValue=1.7\n"
         "-SubjectDistance=3.5\n-MeteringMode=5\n-LightSource=1\n-Flash=16\n-FocalLength=35\n"
         "-SubSecTime=12\n-SubSecTimeOriginal=34\n-SubSecTimeDigitized=56\n-FlashpixVersion=0100\n"
         "-ColorSpace=1\n-ExifImageWidth=640\n-ExifImageHeight=70000\n-RelatedSoundFile=SND00001.WAV\n"
         "-FocalPlaneXResolution=4000\n-FocalPlaneYResolution=4000\n-FocalPlaneResolutionUnit=2\n"
         "-ExposureIndex=100\n-SensingMethod=2\n-FileSource=3\n-SceneType=1\n-UserComment=hello\n",
         nullptr},
        {"fractions and zeros", "",
         "-ExposureTime=0.00003125\n-FNumber=2.8\n-FocalLength=0.016666666666666666\n"
         "-ExposureIndex=0.0000625\n-SubjectDistance=0.0000001\n-BrightnessValue=-0.3333333333333333\n"
         "-Flash=0\n-ExposureCompensation=0\n-LightSource=0\n-MeteringMode=0\n-ISO=0\n-ExposureProgram=0\n"
         "-ExifImageWidth=0\n",
         nullptr},
        // Values not known (0/0, 1/0) are none: left out, in a field of several values too.
        {"unknown values", "",
         "-XResolution=undef\n-YResolution=inf\n-ExposureTime=undef\n-FNumber=2.8\n"
         "-WhitePoint=undef 0.329\n",
         nullptr},
        {"camera", Camera, "", nullptr},
        {"phone", "/usr/share/cargo/registry/jpeg-decoder-0.2.6/benches/tower.jpg", "", nullptr},
    };
    for (const auto& c : cases) {
        std::string source = c.Source;
        if (source.empty()) {
            source = folder.File("made" + std::to_string(&c - cases) + ".jpg");
            folder.Write("tags.args", "-n\n-o\n" + source + "\n" + c.Tags + folder.File("plain.jpg") + "\n");
            RunTool("exiftool -q -@ " + folder.File("tags.args"));
        }
        std::map<std::string, std::string> expected = RecordTagsOf(source);
        ASSERT_GE(expected.size(), 2u) << c.Name;
        std::erase_if(expected,
                      [](const auto& tag) { return tag.second.find("undef") == 0 || tag.second == "inf"; });
        // Orientation 1 is what a photo without one shows, and is written as such.
        expected.emplace("Orientation", "1");
        TKorvaneIO io(nullptr);
        io.LoadFromFile(source);
        ASSERT_FALSE(io.Aborting) << c.Name;
        for (const auto& [tag, size] : {std::pair("ExifImageWidth", io.KVBitmap()->GetWidth()),
                                        std::pair("ExifImageHeight", io.KVBitmap()->GetHeight())}) {
            if (expected.contains(tag)) {
                expected[tag] = std::to_string(size);
            }
        }
        if (c.Change != nullptr) {
            c.Change(io.Params());
        }
        std::vector<uint8_t> record;
        Daduvudez::SaveEXIFToStandardBuffer(io.Params(), record);
        for (const char* extension : {".jpg", ".tif"}) {
            SCOPED_TRACE(std::string(c.Name) + extension);
            const std::string saved = folder.File("saved" + std::string(extension));
            io.SaveToFile(saved);
            ASSERT_FALSE(io.Aborting);
            EXPECT_EQ(RecordTagsOf(saved), expected);
            TKorvaneIO again(nullptr);
            again.LoadFromFile(saved);
            ASSERT_FALSE(again.Aborting);
            again.Params().EXIF_ExifImageWidth = io.Params().EXIF_ExifImageWidth;
            again.Params().EXIF_ExifImageHeight = io.Params().EXIF_ExifImageHeight;
            std::vector<uint8_t> reread;
            Daduvudez::SaveEXIFToStandardBuffer(again.Params(), reread);
            EXPECT_EQ(reread, record);
        }
    }
}

// A photo tells the size it is saved at, whatever it said (6000 x 4000 on 640 x 480 here), as a
// JPEG and as a TIFF, to a file and to a stream: at the size it was read at, resampled, or read
// at half its size; the record keeps what it said. Its exposure bias of -2147483648/1, which a
// signed fraction holds, comes back.
TEST(JpegExif, SavedPhotosTellTheirSizeAndKeepTheirFractions)
{
    kvtest::TempFolder folder;
    const std::string source = folder.File("big.jpg");
    RunTool("convert -size 640x480 xc:gray " + folder.File("plain.jpg") + " && exiftool -q -n " +
            "-ExifImageWidth=6000 -ExifImageHeight=4000 -o " + source + " " + folder.File("plain.jpg"));
    const struct
    {
        TIOJPEGScale Scale;
        int32_t Width, Height; // resampled to, unless 0
        std::string Size;
    } cases[] = {{ioJPEG_FULLSIZE, 0, 0, "640 480"},
                 {ioJPEG_FULLSIZE, 320, 214, "320 214"},
                 {ioJPEG_HALF, 0, 0, "320 240"}};
    for (const auto& c : cases) {
        for (const std::string extension : {".jpg", ".tif"}) {
            SCOPED_TRACE(extension + " " + c.Size);
            TKorvaneIO io(nullptr);
            io.Params().JPEG_Scale = c.Scale;
            io.LoadFromFile(source);
            io.Params().EXIF_ExposureBiasValue = -2147483648.0;
            TKorvaneProc proc(nullptr);
            proc.SetAttachedKVBitmap(io.KVBitmap());
            if (c.Width != 0) {
                proc.Resample(c.Width, c.Height, rfBilinear);
            }
            const std::string saved = folder.File("saved" + extension);
            io.SaveToFile(saved);
            TMemoryStream stream;
            extension == ".jpg" ? io.SaveToStreamJpeg(stream) : io.SaveToStreamTIFF(stream);
            const std::string streamed = folder.Write("streamed" + extension, StreamBytes(stream));
            const std::string written = c.Size + " -2147483648\n";
            EXPECT_EQ(RunTool("exiftool -f -n -p '$ExifImageWidth $ExifImageHeight $ExposureCompensation' " +
                              saved + " " + streamed),
                      written + written);
            EXPECT_EQ(std::pair(io.Params().EXIF_ExifImageWidth, io.Params().EXIF_ExifImageHeight),
                      std::pair(6000, 4000));
            io.LoadFromFile(streamed);
            EXPECT_EQ(io.Params().EXIF_ExposureBiasValue, -2147483648.0);
        }
    }
}
