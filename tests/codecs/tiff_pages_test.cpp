// Page editing of TIFF files: deleting, extracting and inserting pages give what libtiff's
// tiffsplit and tiffcp give; the EXIF and GPS directories travel with their page; files of the
// other byte order, or no TIFF at all, are left alone.
#include "imaging/codecs/tiff/tiffilt.h"
#include "platform/core/streams.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kvtifftest;

class TiffPages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Three pages of different layouts, and two more to insert, split by tiffsplit.
        Run("pngtopnm " + GoData("video-001.png") + " > " + F("photo.ppm"));
        Run("pnmtotiff -lzw -predictor 2 " + F("photo.ppm") + " > " + F("a.tif"));
        Run("pngtopnm " + GoData("bw-gopher.png") + " | pgmtopbm -threshold | pnmtotiff -g4 > " + F("b.tif"));
        Run("ppmtopgm " + F("photo.ppm") + " | pnmtotiff -packbits > " + F("c.tif"));
        Run("tiffcp " + F("a.tif") + " " + F("b.tif") + " " + F("c.tif") + " " + F("abc.tif"));
        Run("tiffsplit " + F("abc.tif") + " " + F("abc-"));
        Run("tiffcp " + GoData("video-001-strip-64.tiff") + " " + GoData("bw-gopher_ccittGroup3.tiff") + " " +
            F("xy.tif"));
        Run("tiffsplit " + F("xy.tif") + " " + F("xy-"));
    }
    std::string F(const std::string& name) const { return Folder.File(name); }
    void Run(const std::string& command) const
    {
        int status = -1;
        Tool("(" + command + ") 2>/dev/null", &status);
        ASSERT_EQ(status, 0) << command;
    }
    // tiffcmp prints nothing when the tags it compares and every pixel are the same.
    void ExpectSame(const std::string& ours, const std::string& theirs) const
    {
        int status = -1;
        EXPECT_EQ(Tool("tiffcmp " + ours + " " + theirs + " 2>&1", &status), "") << ours << " " << theirs;
        EXPECT_EQ(status, 0);
    }
    static TMemoryStream* Load(const std::string& fileName)
    {
        auto* stream = new TMemoryStream;
        const Bytes bytes = FileBytes(fileName);
        stream->WriteBuffer(bytes.data(), int64_t(bytes.size()));
        stream->SetPosition(0);
        return stream;
    }
    static void Save(TMemoryStream& stream, const std::string& fileName)
    {
        const auto* p = static_cast<const uint8_t*>(stream.Memory());
        WriteFile(fileName, Bytes(p, p + stream.Size()));
    }
    // Page `page` of a file of ours, as tiffsplit gives it.
    void SplitOurs(const std::string& file, const std::string& prefix) const
    {
        Run("tiffsplit " + file + " " + F(prefix));
    }

    kvtest::TempFolder Folder;
};

TEST_F(TiffPages, DeleteExtractAndInsertGiveWhatTiffsplitGives)
{
    std::unique_ptr<TMemoryStream> abc(Load(F("abc.tif")));
    EXPECT_EQ(Tiffilt::_EnumTIFFImStream(*abc), 3);

    // Deleting pages 0 and 2 leaves page 1, with its strips where the offsets say.
    const int32_t deleted[] = {0, 2};
    EXPECT_EQ(Tiffilt::_DeleteTIFFImStreamGroup(*abc, deleted, 2), 1);
    Save(*abc, F("deleted.tif"));
    ExpectSame(F("deleted.tif"), F("abc-aab.tif"));

    for (int32_t page = 0; page < 3; ++page) {
        std::unique_ptr<TMemoryStream> source(Load(F("abc.tif")));
        TMemoryStream extracted;
        Tiffilt::_ExtractTIFFImStream(*source, page, extracted);
        Save(extracted, F("extracted.tif"));
        ExpectSame(F("extracted.tif"), F(std::string("abc-aa") + char('a' + page) + ".tif"));
    }

    // Two pages inserted at 1: a, x, y, b, c.
    std::unique_ptr<TMemoryStream> source(Load(F("abc.tif")));
    std::unique_ptr<TMemoryStream> xy(Load(F("xy.tif")));
    TMemoryStream output;
    EXPECT_GT(Tiffilt::_InsertTIFFImStream(*source, *xy, 1, output), 0);
    Save(output, F("inserted.tif"));
    SplitOurs(F("inserted.tif"), "ins-");
    const char* expected[] = {"abc-aaa.tif", "xy-aaa.tif", "xy-aab.tif", "abc-aab.tif", "abc-aac.tif"};
    for (int32_t page = 0; page < 5; ++page) {
        ExpectSame(F(std::string("ins-aa") + char('a' + page) + ".tif"), F(expected[page]));
    }
}

TEST_F(TiffPages, MetadataDirectoriesTravelWithTheirPage)
{
    Run("cp " + F("c.tif") + " " + F("exif.tif") + " && exiftool -q -overwrite_original -Make=Plimbet " +
        "-ExposureTime=1/60 -GPSLatitude=45.5 -GPSLatitudeRef=N " + F("exif.tif"));
    // Into a file as its second page, and out of it again.
    std::unique_ptr<TMemoryStream> abc(Load(F("abc.tif")));
    std::unique_ptr<TMemoryStream> exif(Load(F("exif.tif")));
    TMemoryStream four;
    Tiffilt::_InsertTIFFImStream(*abc, *exif, 1, four);
    four.SetPosition(0);
    TMemoryStream extracted;
    Tiffilt::_ExtractTIFFImStream(four, 1, extracted);
    Save(extracted, F("page.tif"));
    EXPECT_EQ(Tool("exiftool -s3 -Make -ExposureTime -GPSLatitude -n " + F("page.tif")),
              "Plimbet\n0.01666666667\n45.5\n");
    ExpectSame(F("page.tif"), F("exif.tif"));
}

TEST_F(TiffPages, OtherByteOrdersAndOtherFilesAreLeftAlone)
{
    Run("tiffcp -B " + F("a.tif") + " " + F("big.tif"));
    std::unique_ptr<TMemoryStream> little(Load(F("abc.tif")));
    std::unique_ptr<TMemoryStream> big(Load(F("big.tif")));
    TMemoryStream output;
    EXPECT_EQ(Tiffilt::_InsertTIFFImStream(*little, *big, 0, output), -1);
    EXPECT_EQ(output.Size(), 0);

    // A big-endian file keeps its byte order when pages are taken from it.
    big->SetPosition(0);
    TMemoryStream extracted;
    Tiffilt::_ExtractTIFFImStream(*big, 0, extracted);
    Save(extracted, F("big-page.tif"));
    ExpectSame(F("big-page.tif"), F("big.tif"));

    TMemoryStream notTiff;
    notTiff.WriteBuffer("GIF89a..", 8);
    notTiff.SetPosition(0);
    const int32_t index = 0;
    EXPECT_EQ(Tiffilt::_DeleteTIFFImStreamGroup(notTiff, &index, 1), 0);
    EXPECT_EQ(notTiff.Size(), 8);
    TMemoryStream nothing;
    notTiff.SetPosition(0);
    Tiffilt::_ExtractTIFFImStream(notTiff, 0, nothing);
    EXPECT_EQ(nothing.Size(), 0);
}

} // namespace

namespace {

// A page in the old JPEG layout points at its JPEG interchange data; the copy takes it along.
TEST(TiffPageCopies, TakeTheJpegInterchangeDataAlong)
{
    const std::string camera =
        std::string(KV_TEST_DATA_DIR) + "/fuzz/tiffpages/camera-exif-with-thumbnail.tif";
    std::unique_ptr<TMemoryStream> source(new TMemoryStream);
    source->LoadFromFile(camera);
    TMemoryStream thumbnail;
    Tiffilt::_ExtractTIFFImStream(*source, 1, thumbnail);
    ASSERT_GT(thumbnail.Size(), 0);
    thumbnail.SetPosition(0);
    TTiffRead read;
    TProgressRec progress;
    progress.Aborting = &read.Aborted;
    std::unique_ptr<TKVMask> alpha;
    Tiffilt::TIFFReadStream(&read.Bitmap, thumbnail, read.Pages, &read.Params, progress, false, alpha, true,
                            true, true);
    EXPECT_FALSE(read.Aborted);
    EXPECT_EQ(read.Bitmap.GetWidth(), 160);
    EXPECT_EQ(read.Bitmap.GetHeight(), 120);
}

} // namespace
