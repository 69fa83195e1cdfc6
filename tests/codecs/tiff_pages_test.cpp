// Page editing of TIFF files: deleting, extracting and inserting pages give what libtiff's
// tiffsplit and tiffcp give, in classic TIFFs and BigTIFFs alike; the EXIF and GPS directories
// travel with their page; files of the other byte order or form, or no TIFF at all, are left
// alone.
#include "imaging/codecs/tiff/tiffilt.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kvtifftest;

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes)
{
    auto stream = std::make_unique<TMemoryStream>();
    kvtest::FillStream(*stream, bytes);
    return stream;
}

Bytes BytesOf(TMemoryStream& stream)
{
    const auto* p = static_cast<const uint8_t*>(stream.Memory());
    return Bytes(p, p + stream.Size());
}

// The pixels of an 8 x 8 grey page.
const Bytes kRamp = [] {
    Bytes grey(64);
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = uint8_t(i * 4);
    }
    return grey;
}();

// Three pages of different layouts, and two more to insert, split by tiffsplit.
class TiffPages : public TTiffSamples
{
protected:
    static void SetUpTestSuite()
    {
        TTiffSamples::SetUpTestSuite();
        Run("pnmtotiff -lzw -predictor 2 " + F("photo.ppm") + " > " + F("a.tif"));
        Run("pnmtotiff -g4 " + F("page.pbm") + " > " + F("b.tif"));
        Run("pnmtotiff -packbits " + F("grey.pgm") + " > " + F("c.tif"));
        Run("tiffcp " + F("a.tif") + " " + F("b.tif") + " " + F("c.tif") + " " + F("abc.tif"));
        Run("tiffsplit " + F("abc.tif") + " " + F("abc-"));
        Run("tiffcp " + GoData("video-001-strip-64.tiff") + " " + GoData("bw-gopher_ccittGroup3.tiff") + " " +
            F("xy.tif"));
        Run("tiffsplit " + F("xy.tif") + " " + F("xy-"));
    }
    // tiffcmp prints nothing when the tags it compares and every pixel are the same.
    static void ExpectSame(const std::string& ours, const std::string& theirs)
    {
        int status = -1;
        EXPECT_EQ(Tool("tiffcmp " + ours + " " + theirs + " 2>&1", &status), "") << ours << " " << theirs;
        EXPECT_EQ(status, 0);
    }
    static bool IsBigTiff(const std::string& fileName)
    {
        return Tool("tiffdump " + fileName + " | head -2").find("<BigTIFF>") != std::string::npos;
    }
    static std::unique_ptr<TMemoryStream> Load(const std::string& fileName)
    {
        return StreamOf(FileBytes(fileName));
    }
    // The first page of file inserted into container as its second page, and taken out of that
    // into output.
    static void InsertAndTakeOut(const std::string& container, const std::string& file,
                                 const std::string& output)
    {
        TMemoryStream joined, extracted;
        Tiffilt::_InsertTIFFImStream(*Load(container), *Load(file), 1, joined);
        joined.SetPosition(0);
        Tiffilt::_ExtractTIFFImStream(joined, 1, extracted);
        WriteFile(output, BytesOf(extracted));
    }
};

// The same edits of the classic files and of BigTIFFs that tiffcp makes of them; what is written
// of a BigTIFF is a BigTIFF again.
TEST_F(TiffPages, DeleteExtractAndInsertGiveWhatTiffsplitGives)
{
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "BigTIFF" : "classic");
        const std::string form = big ? "tiffcp -8 " : "tiffcp ";
        Run(form + F("abc.tif") + " " + F("abc-form.tif"));
        Run(form + F("xy.tif") + " " + F("xy-form.tif"));
        auto abc = Load(F("abc-form.tif"));
        EXPECT_EQ(Tiffilt::_EnumTIFFImStream(*abc), 3);

        // Deleting pages 0 and 2 leaves page 1, with its strips where the offsets say.
        const int32_t deleted[] = {0, 2};
        EXPECT_EQ(Tiffilt::_DeleteTIFFImStreamGroup(*abc, deleted, 2), 1);
        WriteFile(F("deleted.tif"), BytesOf(*abc));
        ExpectSame(F("deleted.tif"), F("abc-aab.tif"));
        EXPECT_EQ(IsBigTiff(F("deleted.tif")), big);

        for (int32_t page = 0; page < 3; ++page) {
            TMemoryStream extracted;
            Tiffilt::_ExtractTIFFImStream(*Load(F("abc-form.tif")), page, extracted);
            WriteFile(F("extracted.tif"), BytesOf(extracted));
            ExpectSame(F("extracted.tif"), F(std::string("abc-aa") + char('a' + page) + ".tif"));
            EXPECT_EQ(IsBigTiff(F("extracted.tif")), big);
        }

        // Two pages inserted at 1: a, x, y, b, c.
        TMemoryStream output;
        EXPECT_GT(Tiffilt::_InsertTIFFImStream(*Load(F("abc-form.tif")), *Load(F("xy-form.tif")), 1, output),
                  0);
        WriteFile(F("inserted.tif"), BytesOf(output));
        EXPECT_EQ(IsBigTiff(F("inserted.tif")), big);
        Run("tiffsplit " + F("inserted.tif") + " " + F("ins-"));
        const char* expected[] = {"abc-aaa.tif", "xy-aaa.tif", "xy-aab.tif", "abc-aab.tif", "abc-aac.tif"};
        for (int32_t page = 0; page < 5; ++page) {
            ExpectSame(F(std::string("ins-aa") + char('a' + page) + ".tif"), F(expected[page]));
        }
    }
}

TEST_F(TiffPages, MetadataDirectoriesTravelWithTheirPage)
{
    Run("cp " + F("c.tif") + " " + F("exif.tif") + " && exiftool -q -overwrite_original -Make=Plimbet " +
        "-ExposureTime=1/60 -GPSLatitude=45.5 -GPSLatitudeRef=N " + F("exif.tif"));
    // Into a file as its second page, and out of it again.
    InsertAndTakeOut(F("abc.tif"), F("exif.tif"), F("taken.tif"));
    EXPECT_EQ(Tool("exiftool -s3 -Make -ExposureTime -GPSLatitude -n " + F("taken.tif")),
              "Plimbet\n0.01666666667\n45.5\n");
    ExpectSame(F("taken.tif"), F("exif.tif"));

    // In a BigTIFF (which no tool here writes EXIF into): the EXIF directory hangs from an IFD8
    // entry, and the values of 5 to 8 bytes stand in their entries' fields. Its two entries are
    // ExposureTime 1/60 and ExifVersion "0231".
    Bytes exif;
    for (const Bytes& field : {Le({2}, 8), Le({33434, 5}, 2), Le({1}, 8), Le({1, 60}, 4), Le({36864, 7}, 2),
                               Le({4, 0x31333230, 0}, 8)}) {
        exif.insert(exif.end(), field.begin(), field.end());
    }
    TTiffBuilder builder(true, true);
    builder.Page(8, 8, 1, 8, 1, kRamp).Ascii(271, "Plimbet").Entry(34665, 18, {builder.Data(exif)});
    WriteFile(F("exif-big.tif"), builder.Build());
    ASSERT_EQ(Tool("exiftool -s3 -Make -ExposureTime -n " + F("exif-big.tif")), "Plimbet\n0.01666666667\n");
    Run("tiffcp -8 " + F("abc.tif") + " " + F("abc-big.tif"));
    InsertAndTakeOut(F("abc-big.tif"), F("exif-big.tif"), F("taken-big.tif"));
    EXPECT_EQ(Tool("exiftool -s3 -Make -ExposureTime -n " + F("taken-big.tif")), "Plimbet\n0.01666666667\n");
    EXPECT_EQ(MaxDifference(Tiff2Rgba(F("taken-big.tif")), Tiff2Rgba(F("exif-big.tif"))), 0);
}

TEST_F(TiffPages, OtherByteOrdersAndOtherFilesAreLeftAlone)
{
    // Files of two byte orders are not joined, nor a classic TIFF and a BigTIFF in either order:
    // their entries differ in form.
    Run("tiffcp -B " + F("a.tif") + " " + F("big.tif"));
    Run("tiffcp -8 " + F("xy.tif") + " " + F("xy-big.tif"));
    const struct
    {
        const char *First, *Second;
        int32_t At;
    } joins[] = {{"abc.tif", "big.tif", 0}, {"abc.tif", "xy-big.tif", 1}, {"xy-big.tif", "abc.tif", 1}};
    for (const auto& j : joins) {
        SCOPED_TRACE(std::string(j.First) + " " + j.Second);
        TMemoryStream joined;
        EXPECT_EQ(Tiffilt::_InsertTIFFImStream(*Load(F(j.First)), *Load(F(j.Second)), j.At, joined), -1);
        EXPECT_EQ(joined.Size(), 0);
    }

    // A big-endian file keeps its byte order when pages are taken from it.
    TMemoryStream extracted;
    Tiffilt::_ExtractTIFFImStream(*Load(F("big.tif")), 0, extracted);
    WriteFile(F("big-page.tif"), BytesOf(extracted));
    ExpectSame(F("big-page.tif"), F("big.tif"));

    // A BigTIFF whose offsets are not of 8 bytes is no TIFF to us, nor is a GIF: nothing is
    // deleted from them or taken out of them.
    Bytes odd = FileBytes(F("xy-big.tif"));
    odd[4] = 16;
    const std::string gif = "GIF89a..";
    for (const Bytes& file : {odd, Bytes(gif.begin(), gif.end())}) {
        auto stream = StreamOf(file);
        const int32_t first = 0;
        EXPECT_EQ(Tiffilt::_DeleteTIFFImStreamGroup(*stream, &first, 1), 0);
        EXPECT_EQ(BytesOf(*stream), file);
        TMemoryStream nothing;
        stream->SetPosition(0);
        Tiffilt::_ExtractTIFFImStream(*stream, 0, nothing);
        EXPECT_EQ(nothing.Size(), 0);
    }
}

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
    TProgressRec progress = kvtest::ProgressInto(read.Aborted);
    std::unique_ptr<TKVMask> alpha;
    Tiffilt::TIFFReadStream(&read.Bitmap, thumbnail, read.Pages, &read.Params, progress, false, alpha, true,
                            true, true);
    EXPECT_FALSE(read.Aborted);
    EXPECT_EQ(read.Bitmap.GetWidth(), 160);
    EXPECT_EQ(read.Bitmap.GetHeight(), 120);
}

// Entries and strips that all point at the same bytes are copied with those bytes once: no edit
// writes much more than its files hold, and every page still reads as libtiff reads the original.
// Pages may share a colour map or a strip table; the copies share them too.
TEST(TiffPageCopies, CopyTheBytesTheirEntriesShareOnce)
{
    kvtest::TempFolder folder;
    const Bytes block(4096, 0x5A);
    TTiffBuilder entries; // 200 made-up entries, each declaring the same 4 KB
    entries.Page(8, 8, 1, 8, 1, kRamp);
    const uint32_t entriesBlock = entries.Data(block);
    for (uint16_t i = 0; i < 200; ++i) {
        entries.RawEntry(uint16_t(40000 + i), 7, uint32_t(block.size()), entriesBlock);
    }

    TTiffBuilder strips; // 500 strips of one row, each at the same 4 KB
    const uint32_t stripsBlock = strips.Data(block);
    const uint32_t stripTable = strips.Data(Le(std::vector<uint64_t>(500, stripsBlock), 4));
    const uint32_t countTable = strips.Data(Le(std::vector<uint64_t>(500, block.size()), 4));
    strips.Long(256, 8).Long(257, 500).Short(258, 8).Short(259, 1).Short(262, 1).Short(277, 1).Long(278, 1);
    strips.RawEntry(273, 4, 500, stripTable).RawEntry(279, 4, 500, countTable);

    TTiffBuilder palettes; // 20 palette pages sharing one colour map and one table of 100 strips
    std::vector<uint64_t> map(768), paletteStrips(100); // the map's red rises, green falls, blue steps
    for (uint64_t i = 0; i < 256; ++i) {
        map[i] = i * 257;
        map[i + 256] = (255 - i) * 257;
        map[i + 512] = (i * 7 % 256) * 257;
    }
    const uint32_t mapOffset = palettes.Data(Le(map, 2));
    const uint32_t paletteBlock = palettes.Data(kRamp);
    for (uint32_t i = 0; i < 100; ++i) {
        paletteStrips[i] = paletteBlock + i % 8 * 8;
    }
    const uint32_t paletteTable = palettes.Data(Le(paletteStrips, 4));
    const uint32_t paletteCounts = palettes.Data(Le(std::vector<uint64_t>(100, 8), 4));
    for (int32_t page = 0; page < 20; ++page) {
        if (page > 0) {
            palettes.NextPage();
        }
        palettes.Long(256, 8).Long(257, 100).Short(258, 8).Short(259, 1).Short(262, 3).Short(277, 1);
        palettes.Long(278, 1).RawEntry(273, 4, 100, paletteTable).RawEntry(279, 4, 100, paletteCounts);
        palettes.RawEntry(320, 3, 768, mapOffset);
    }

    const struct
    {
        const char* Name;
        Bytes File;
        int32_t Pages;
    } cases[] = {
        {"entries", entries.Build(), 1},
        {"strips", strips.Build(), 1},
        {"palettes", palettes.Build(), 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string original = folder.File(std::string(c.Name) + ".tif");
        WriteFile(original, c.File);
        const int64_t size = int64_t(c.File.size());

        TMemoryStream extracted;
        Tiffilt::_ExtractTIFFImStream(*StreamOf(c.File), c.Pages - 1, extracted);
        EXPECT_LE(extracted.Size(), size);
        WriteFile(folder.File("extracted.tif"), BytesOf(extracted));
        EXPECT_EQ(MaxDifference(Tiff2Rgba(folder.File("extracted.tif")), Tiff2Rgba(original, c.Pages - 1)),
                  0);

        TMemoryStream joined;
        EXPECT_GT(Tiffilt::_InsertTIFFImStream(*StreamOf(c.File), *StreamOf(c.File), c.Pages, joined), 0);
        EXPECT_LE(joined.Size(), 2 * size);
        WriteFile(folder.File("joined.tif"), BytesOf(joined));
        EXPECT_EQ(MaxDifference(Tiff2Rgba(folder.File("joined.tif"), 2 * c.Pages - 1),
                                Tiff2Rgba(original, c.Pages - 1)),
                  0);

        auto edited = StreamOf(c.File);
        const int32_t firstPage = 0, deleted = c.Pages > 1 ? 1 : 0;
        EXPECT_EQ(Tiffilt::_DeleteTIFFImStreamGroup(*edited, &firstPage, deleted), c.Pages - deleted);
        EXPECT_LE(edited->Size(), size);
    }
}

// Directories that run over each other, which no writer makes, would have every page copy the
// whole file: deleting and inserting pages of such a file is refused and leaves it as it is;
// one page can still be taken out.
TEST(TiffPageCopies, RefuseFilesWhoseDirectoriesOverlap)
{
    // 100 big-endian directories 8 bytes apart, each of 2000 entries running over the next
    // ones; every entry reads as tag 0, three SHORTs at offset 3.
    const int32_t directories = 100, count = 2000;
    Bytes file(size_t(14 + 8 * (directories - 1) + 12 * count + 2));
    for (size_t i = 10; i + 4 <= file.size(); i += 4) {
        file[i + 3] = 3;
    }
    const uint8_t header[] = {'M', 'M', 0, 42, 0, 0, 0, 8};
    std::copy(std::begin(header), std::end(header), file.begin());
    for (int32_t k = 0; k < directories; ++k) {
        const size_t at = size_t(8 + 8 * k);
        file[at] = uint8_t(count >> 8);
        file[at + 1] = uint8_t(count);
        const uint32_t next = k + 1 < directories ? uint32_t(8 + 8 * (k + 1)) : 0;
        const size_t pointer = at + 2 + 12 * count;
        for (int32_t b = 0; b < 4; ++b) {
            file[pointer + size_t(b)] = uint8_t(next >> (24 - 8 * b));
        }
    }
    auto stream = StreamOf(file);
    EXPECT_EQ(Tiffilt::_EnumTIFFImStream(*stream), directories);
    const int32_t index = 1;
    EXPECT_EQ(Tiffilt::_DeleteTIFFImStreamGroup(*stream, &index, 1), 0);
    EXPECT_EQ(BytesOf(*stream), file);

    stream->SetPosition(0);
    TMemoryStream joined;
    EXPECT_EQ(Tiffilt::_InsertTIFFImStream(*stream, *StreamOf(file), 0, joined), -1);
    EXPECT_EQ(joined.Size(), 0);

    stream->SetPosition(0);
    TMemoryStream extracted;
    Tiffilt::_ExtractTIFFImStream(*stream, 5, extracted);
    EXPECT_GT(extracted.Size(), 8);
    EXPECT_LT(extracted.Size(), int64_t(file.size()));
}

// Readers take the first entry of a repeated tag, so a copied page keeps that one alone, whether
// its directory is in tag order otherwise or not; entries in tag order are all kept.
TEST(TiffPageCopies, KeepTheFirstOfARepeatedTag)
{
    const auto tagged = [](TTiffBuilder& page) -> TTiffBuilder& {
        return page.Long(256, 8).Long(257, 8).Short(258, 8).Short(259, 1).Short(262, 1);
    };
    TTiffBuilder inOrder, repeated, shuffled;
    tagged(inOrder)
        .Ascii(270, "first")
        .Long(273, inOrder.Data(kRamp))
        .Short(277, 1)
        .Long(278, 8)
        .Long(279, 64);
    tagged(repeated).Ascii(270, "first").Ascii(270, "second").Long(273, repeated.Data(kRamp)).Long(279, 64);
    shuffled.Page(8, 8, 1, 8, 1, kRamp).Ascii(270, "first").Short(262, 0).Ascii(270, "second");
    const struct
    {
        const char* Name;
        Bytes File;
        size_t Entries;
    } cases[] = {{"in tag order", inOrder.Build(), 10},
                 {"repeated in tag order", repeated.Build(), 8},
                 {"out of order", shuffled.Build(), 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream extracted;
        Tiffilt::_ExtractTIFFImStream(*StreamOf(c.File), 0, extracted);
        extracted.SetPosition(0);
        TTIFFEnv env;
        int32_t pages = 0;
        ASSERT_TRUE(Tiffilt::TIFFLoadTags(extracted, pages, 0, env));
        EXPECT_EQ(env.Entries.size(), c.Entries);
        std::string description;
        Tiffilt::TIFFReadString(env, 270, description);
        EXPECT_EQ(description, "first");
        EXPECT_EQ(Tiffilt::TIFFReadSingleValDef(env, 262, -1), 1);
    }
}

} // namespace
