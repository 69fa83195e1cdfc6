// TIFF directories and tags: the tag reader on both byte orders, values stored inline or out of
// line, counts beyond the file, looping chains, BigTIFF files, and what the reader fills in and
// refuses.
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/tif_tags_reader.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {

using namespace kvtifftest;

struct TStreamOf
{
    TMemoryStream Stream;
    explicit TStreamOf(const Bytes& bytes) { kvtest::FillStream(Stream, bytes); }
};

// One page with tags of every kind, and an EXIF directory.
Bytes TaggedFile(bool intel)
{
    TTiffBuilder builder(intel);
    builder.Page(4, 3, 1, 8, 1, Bytes(12, 1));
    builder
        .Entry(297, 3, {2, 5})              // two SHORTs inline
        .Entry(320 + 1000, 4, {10, 20, 30}) // three LONGs out of line
        .Ascii(269, "abc")                  // fits in the value field
        .Ascii(285, "a page name")          // does not
        .Rational(282, 3, 2)
        .Rational(37380, uint32_t(-7), 10, 10) // SRATIONAL
        .Entry(36864, 7, {'0', '2', '3', '0'})
        .RawEntry(33432, 2, 0x40000000, 8); // a count far past the file
    builder.Long(34665, builder.Data({1, 0, 0x0E, 0x01, 2, 0, 4, 0, 0, 0, 'E', 'X', 'I', 0, 0, 0, 0, 0}));
    return builder.Build();
}

TEST(TiffTags, BothByteOrdersReadAlike)
{
    for (const bool intel : {true, false}) {
        SCOPED_TRACE(intel ? "II" : "MM");
        Bytes bytes = TaggedFile(intel);
        if (!intel) {
            // The EXIF directory was written as little-endian bytes; swap its two fields.
            const size_t at = 8 + 12;
            std::swap(bytes[at], bytes[at + 1]);
        }
        TStreamOf file(bytes);
        TKVTifTagsReader reader(file.Stream, 0);
        EXPECT_EQ(reader.PageCount(), 1);
        EXPECT_TRUE(reader.TagExists(256));
        EXPECT_FALSE(reader.TagExists(999));
        EXPECT_EQ(reader.GetInteger(999), 0);
        EXPECT_EQ(reader.GetInteger(256), 4);
        EXPECT_EQ(reader.GetIntegerIndexed(297, 0), 2);
        EXPECT_EQ(reader.GetIntegerIndexed(297, 1), 5);
        std::vector<int32_t> values;
        EXPECT_EQ(reader.GetIntegerArray(1320, values), 3);
        EXPECT_EQ(values, (std::vector<int32_t>{10, 20, 30}));
        EXPECT_EQ(reader.GetString(269), "abc");
        EXPECT_EQ(reader.GetString(285), "a page name");
        EXPECT_DOUBLE_EQ(reader.GetRational(282), 1.5);
        EXPECT_DOUBLE_EQ(reader.GetRational(37380), -0.7);
        EXPECT_EQ(reader.GetMiniString(36864), "0230");
        EXPECT_EQ(reader.GetRawData(269), (Bytes{'a', 'b', 'c', 0}));
        // Cut to what the file holds.
        EXPECT_LT(reader.TagLength(33432), int32_t(bytes.size()));
    }
}

TEST(TiffTags, SubDirectoriesAndChains)
{
    TStreamOf file(TaggedFile(true));
    TKVTifTagsReader page(file.Stream, 0);
    TKVTifTagsReader exif(page, 34665);
    EXPECT_EQ(exif.GetString(270), "EXI");
    // No tag, or a zero offset: an empty directory, not the header read as one.
    TKVTifTagsReader none(page, 999);
    EXPECT_FALSE(none.TagExists(256));
    EXPECT_EQ(none.GetInteger(256), 0);
    file.Stream.SetPosition(0);
    TKVTifTagsReader past(file.Stream, 5);
    EXPECT_FALSE(past.TagExists(256));
    EXPECT_EQ(past.PageCount(), 1);

    // Chains that come back to a directory end there.
    TTiffBuilder loop;
    loop.Page(1, 1, 1, 8, 1, {0})
        .NextPage()
        .Page(1, 1, 1, 8, 1, {0})
        .NextPage()
        .Page(1, 1, 1, 8, 1, {0})
        .Link(2, 1);
    TStreamOf looped(loop.Build());
    EXPECT_EQ(Tiffilt::_EnumTIFFImStream(looped.Stream), 3);

    // A last directory cut off before its next pointer is not counted.
    Bytes cut = TTiffBuilder().Page(1, 1, 1, 8, 1, {0}).NextPage().Page(1, 1, 1, 8, 1, {0}).Build();
    cut.resize(cut.size() - 2);
    TStreamOf short_(cut);
    EXPECT_EQ(Tiffilt::_EnumTIFFImStream(short_.Stream), 1);

    TStreamOf notTiff(Bytes{'P', 'K', 3, 4, 0, 0, 0, 0});
    TKVTifTagsReader nothing(notTiff.Stream, 0);
    EXPECT_FALSE(nothing.TagExists(256));
}

TEST(TiffReader, FillsTheParametersAndRefusesWhatItCannotShow)
{
    TTiffRead read;
    TStreamOf file(TaggedFile(true));
    read.Bitmap.Allocate(5, 5, kv8g);
    ReadTiff(file.Stream, read, 0, true);
    EXPECT_FALSE(read.Aborted);
    EXPECT_EQ(read.Bitmap.GetWidth(), 5); // params only: the bitmap is left alone
    EXPECT_EQ(read.Params.Width, 4);
    EXPECT_EQ(read.Params.TIFF_DocumentName, "abc");
    EXPECT_EQ(read.Params.TIFF_PageName, "a page name");
    EXPECT_EQ(read.Params.TIFF_PageNumber, 2);
    EXPECT_EQ(read.Params.TIFF_PageCount, 5);
    EXPECT_TRUE(read.Params.EXIF_HasEXIFData);
    EXPECT_EQ(read.Params.TIFF_ImageCount, 1);

    // A page past the last one: nothing decoded, nothing flagged.
    TTiffRead past;
    file.Stream.SetPosition(0);
    ReadTiff(file.Stream, past, 3);
    EXPECT_FALSE(past.Aborted);
    EXPECT_EQ(past.Pages, 1);
    EXPECT_EQ(past.Bitmap.GetWidth(), 0);

    // LZW without a decoder fails, also for the parameters only.
    const Bytes lzw = TTiffBuilder().Page(2, 2, 1, 8, 1, {0x80, 0, 0x20, 0x20}, 5).Build();
    for (const bool paramsOnly : {false, true}) {
        TTiffRead noCoder;
        noCoder.Params.TIFF_LZWDecompress = nullptr;
        TStreamOf stream(lzw);
        ReadTiff(stream.Stream, noCoder, 0, paramsOnly);
        EXPECT_TRUE(noCoder.Aborted);
    }

    // A page without pixels fills the parameters only when empty pages are allowed.
    const Bytes empty = TTiffBuilder().Page(0, 4, 1, 8, 1, {}).Ascii(270, "empty").Build();
    for (const bool allowEmpty : {false, true}) {
        TStreamOf stream(empty);
        TTiffRead read2;
        std::unique_ptr<TKVMask> alpha;
        TProgressRec progress = kvtest::ProgressInto(read2.Aborted);
        Tiffilt::TIFFReadStream(&read2.Bitmap, stream.Stream, read2.Pages, &read2.Params, progress, true,
                                alpha, true, true, allowEmpty);
        EXPECT_EQ(read2.Aborted, !allowEmpty);
        EXPECT_EQ(read2.Params.TIFF_ImageDescription, "empty");
    }
}

// Layout tags holding no single integer, RowsPerStrip 0 or no StripOffsets refuse the page before
// anything is made, as libtiff refuses the directory; it reads one Compression a sample, as we do.
TEST(TiffReader, RefusesPagesWhoseTagsCannotLayOutTheirStrips)
{
    TTiffBuilder layout;
    const uint32_t strip = layout.Data({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120});
    // Type (0: the tag is left out) and values, by tag.
    using TTags = std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>>;
    const TTags tags = {{256, {3, {4}}},  {257, {3, {3}}},     {258, {3, {8}}}, {259, {3, {1}}},
                        {262, {3, {1}}},  {273, {4, {strip}}}, {277, {3, {1}}}, {278, {3, {3}}},
                        {279, {4, {12}}}, {284, {3, {1}}}};
    const std::vector<std::tuple<const char*, TTags, bool>> cases = {
        {"Compression for each sample", {{259, {3, {1, 1}}}}, false},
        {"RowsPerStrip 0", {{278, {3, {0}}}}, true},
        {"no StripOffsets", {{273, {0, {}}}}, true},
        {"StripOffsets as rationals", {{273, {5, {strip, 1}}}}, true},
        {"Compression as text", {{259, {2, {'1', 0}}}}, true},
        {"BitsPerSample as text", {{258, {2, {'8', 0}}}}, true},
        {"ImageWidth twice", {{256, {3, {4, 4}}}}, true},
        {"SamplesPerPixel twice", {{277, {3, {1, 1}}}}, true},
        {"PlanarConfiguration twice", {{284, {3, {1, 1}}}}, true},
        {"RowsPerStrip twice", {{278, {3, {3, 3}}}}, true},
    };
    kvtest::TempFolder folder;
    const std::string file = folder.File("page.tif");
    for (auto [name, page, refused] : cases) {
        SCOPED_TRACE(name);
        TTiffBuilder builder = layout;
        page.insert(tags.begin(), tags.end());
        for (const auto& [tag, value] : page) {
            if (value.first != 0) {
                builder.Entry(tag, value.first, value.second);
            }
        }
        WriteFile(file, builder.Build());
        EXPECT_EQ(kvtest::ToolExitCode("tiffinfo " + file) != 0, refused);
        TTiffRead read;
        if (refused) {
            EXPECT_TRUE(
                kvtest::RefusedKeepingBitmap(read.Bitmap, read.Aborted, [&] { ReadTiffFile(file, read); }));
        } else {
            ASSERT_TRUE(ReadTiffFile(file, read));
            EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(file)), 0);
        }
    }
}

class TiffBig : public TTiffSamples
{
};

// BigTIFF files (64-bit offsets and counts, 20-byte entries, the LONG8 type) of plain layouts,
// as libtiff's tiffcp writes them, decode as libtiff decodes them.
TEST_F(TiffBig, BigTiffPagesDecodeAsLibtiffDoes)
{
    const struct
    {
        const char* Options;
        const char* Source;
        int32_t Width;
    } cases[] = {
        {"-c lzw:2", "photo.tif", 150},
        {"-B -c lzw -t -w 32 -l 48", "photo.tif", 150},
        {"-c zip -p separate -r 20", "photo.tif", 150},
        {"-c jpeg -r 16", "photo.tif", 150},
        {"-c g4 -r 16", "page.tif", 153},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Options);
        Run("tiffcp -8 " + std::string(c.Options) + " " + F(c.Source) + " " + F("big.tif"));
        ASSERT_NE(Tool("tiffdump " + F("big.tif")).find("<BigTIFF>"), std::string::npos);
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(F("big.tif"), read));
        EXPECT_EQ(read.Params.Width, c.Width);
        EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(F("big.tif"))), 0);
    }

    // Two pages, their tags read through the tag reader too.
    Run("tiffcp -8 -c lzw " + F("photo.tif") + " " + F("page.tif") + " " + F("two.tif"));
    TTiffRead second;
    ASSERT_TRUE(ReadTiffFile(F("two.tif"), second, 1));
    EXPECT_EQ(second.Pages, 2);
    EXPECT_EQ(MaxDifference(RgbOf(second.Bitmap), Tiff2Rgba(F("two.tif"), 1)), 0);
    TFileStream stream(F("two.tif"), fmOpenRead);
    TKVTifTagsReader tags(stream, 1);
    EXPECT_EQ(tags.PageCount(), 2);
    EXPECT_EQ(tags.GetInteger(256), 153);
    EXPECT_EQ(tags.GetInteger(259), 5);
}

} // namespace
