// The TIFF reader on files nobody here wrote: Go's test images against their PNG twins, pages
// made by netpbm and libtiff's tools and the Kodak and transparency samples against libtiff's RGBA
// interface, gdk-pixbuf's resolution sample, and corrupt files.
#include "imaging/codecs/tiff/tiffilt.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

#include <string>
#include <vector>

namespace {

using namespace kvtifftest;

TEST(TiffReader, GoImagesEqualTheirPngTwins)
{
    const struct
    {
        const char* Tiff;
        const char* Png;
        int32_t Tolerance;
    } cases[] = {
        {"blue-purple-pink.lzwcompressed.tiff", "blue-purple-pink.png", 0},
        {"bw-deflate.tiff", "bw-gopher.png", 0},
        {"bw-packbits.tiff", "bw-gopher.png", 0},
        {"bw-uncompressed.tiff", "bw-gopher.png", 0},
        {"bw-gopher_ccittGroup3.tiff", "bw-gopher.png", 0},
        {"bw-gopher_ccittGroup4.tiff", "bw-gopher.png", 0},
        {"video-001.tiff", "video-001.png", 0},
        {"video-001-16bit.tiff", "video-001.png", 0},
        {"video-001-strip-64.tiff", "video-001.png", 0},
        {"video-001-tile-64x64.tiff", "video-001.png", 0},
        {"video-001-uncompressed.tiff", "video-001.png", 0},
        {"video-001-gray.tiff", "video-001.png", 255},
        {"video-001-gray-16bit.tiff", "video-001.png", 255},
        {"video-001-paletted.tiff", "video-001.png", 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Tiff);
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(GoData(c.Tiff), read));
        const int32_t diff = MaxDifference(RgbOf(read.Bitmap), PngToPnm(GoData(c.Png)));
        EXPECT_GE(diff, 0);
        EXPECT_LE(diff, c.Tolerance);
        const int32_t toolDiff = MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(GoData(c.Tiff)));
        EXPECT_EQ(toolDiff, 0);
    }
}

} // namespace

namespace {

// Sample pages made by netpbm and libtiff's tools from one photo and one bilevel page, each
// compared with what libtiff's RGBA interface makes of it.
class TiffMatrix : public TTiffSamples
{
};

TEST_F(TiffMatrix, EveryLayoutDecodesAsLibtiffDoes)
{
    for (const TSampleLayout& c : Layouts()) {
        SCOPED_TRACE(c.Name);
        const std::string file = F(c.Name);
        Run(c.Command + " " + file);
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(file, read));
        const TRgbImage expected = Tiff2Rgba(file);
        const TRgbImage ours = RgbOf(read.Bitmap, read.Alpha.get());
        EXPECT_EQ(MaxDifference(ours, expected, true), 0);
        if (!expected.Alpha.empty() && read.Alpha != nullptr) {
            EXPECT_EQ(ours.Alpha, expected.Alpha);
            // A mask with transparent pixels is never taken for a full one.
            EXPECT_FALSE(read.Alpha->Full &&
                         std::ranges::any_of(expected.Alpha, [](uint8_t a) { return a < 255; }));
        }
    }
}

} // namespace

namespace {

TEST(TiffReader, KodakAndTransparencySamplesEqualLibtiff)
{
    for (const char* name :
         {"benches/kodim02-lzw.tif", "benches/kodim07-lzw.tif", "benches/Transparency-lzw.tif"}) {
        SCOPED_TRACE(name);
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(RustTiff(name), read));
        const TRgbImage ours = RgbOf(read.Bitmap, read.Alpha.get());
        const TRgbImage expected = Tiff2Rgba(RustTiff(name));
        EXPECT_EQ(MaxDifference(ours, expected, true), 0);
        // The RGBA interface makes every page RGBA; only the transparent sample has alpha.
        if (std::string(name).find("Transparency") != std::string::npos) {
            ASSERT_NE(read.Alpha, nullptr);
            EXPECT_EQ(ours.Alpha, expected.Alpha);
        } else {
            EXPECT_EQ(read.Alpha, nullptr);
        }
    }
}

// RATIONAL values are unsigned: gdk-pixbuf's sample stores 4294967295/36364128 pixels per cm.
TEST(TiffReader, ResolutionFollowsItsUnit)
{
    TTiffRead dpi;
    ReadTiffFile(Pixbuf("dpi.tiff"), dpi, 0, true);
    EXPECT_EQ(dpi.Params.DpiX, 300);
    EXPECT_EQ(dpi.Params.DpiY, 600);

    const struct
    {
        int32_t Unit;
        uint32_t X, Y, Denominator;
        int32_t DpiX, DpiY;
    } cases[] = {
        {3, 100, 50, 1, 254, 127}, // centimetres
        {2, 300, 600, 1, 300, 600},
        {1, 72, 72, 0, 72, 72}, // a zero denominator counts as 1
        {2, 0, 0, 1, 96, 96},   // none: the screen's
    };
    for (const auto& c : cases) {
        TTiffBuilder builder;
        builder.Page(2, 2, 1, 8, 1, Bytes(4, 7)).Short(296, uint32_t(c.Unit));
        if (c.X != 0) {
            builder.Rational(282, c.X, c.Denominator).Rational(283, c.Y, c.Denominator);
        }
        TTiffRead read;
        ReadBuilt(builder, read);
        EXPECT_EQ(read.Params.DpiX, c.DpiX == 96 ? Kvview::gSystemDPIX : c.DpiX);
        EXPECT_EQ(read.Params.DpiY, c.DpiY == 96 ? Kvview::gSystemDPIY : c.DpiY);
    }
}

// Resolutions read as the nearest whole dot per inch (ties to even), in inches or centimetres:
// tiffset stores 43.99999 as 11534333 / 262144, which tiffinfo prints as 44.
TEST(TiffReader, ResolutionsRoundToTheNearestDotPerInch)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "tiffset", "tiffinfo"}));
    kvtest::TempFolder folder;
    const struct
    {
        const char *Unit, *X, *Y, *TiffinfoSays;
        int32_t DpiX, DpiY;
    } cases[] = {
        {"2", "43.99999", "72.5", "44, 72.5 pixels/inch", 44, 72},
        {"3", "118", "25", "118, 25 pixels/cm", 300, 64},
        {"3", "17.32", "1", "17.32, 1 pixels/cm", 44, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.TiffinfoSays);
        const std::string file = folder.File("page.tif");
        const std::string set = " && tiffset -s ";
        ASSERT_EQ(kvtest::ToolExitCode("convert -size 2x2 xc:red " + file + set + "296 " + c.Unit + " " +
                                       file + set + "282 " + c.X + " " + file + set + "283 " + c.Y + " " +
                                       file),
                  0);
        ASSERT_NE(kvtest::ToolOutput("tiffinfo " + file).find(std::string("Resolution: ") + c.TiffinfoSays),
                  std::string::npos);
        TTiffRead read;
        ReadTiffFile(file, read, 0, true);
        EXPECT_EQ(read.Params.DpiX, c.DpiX);
        EXPECT_EQ(read.Params.DpiY, c.DpiY);
    }
}

TEST_F(TiffMatrix, ByteOrderCopiesGiveIdenticalPixelsAndParameters)
{
    for (const char* source : {"photo.tif", "page.tif"}) {
        Run("tiffcp -c lzw -B " + F(source) + " " + F("big.tif"));
        Run("tiffcp -c lzw -L " + F(source) + " " + F("little.tif"));
        TTiffRead big, little;
        ReadTiffFile(F("big.tif"), big);
        ReadTiffFile(F("little.tif"), little);
        ASSERT_FALSE(big.Aborted || little.Aborted);
        EXPECT_EQ(RgbOf(big.Bitmap).Rgb, RgbOf(little.Bitmap).Rgb);
        TMemoryStream a, b;
        big.Params.SaveToStream(a);
        little.Params.SaveToStream(b);
        EXPECT_EQ(a.Size(), b.Size());
        EXPECT_EQ(std::memcmp(a.Memory(), b.Memory(), size_t(a.Size())), 0);
    }
}

TEST_F(TiffMatrix, OrientationsTurnAsConvertAutoOrientDoes)
{
    for (const char* source : {"photo.tif", "page.tif"}) {
        for (int32_t orientation = 2; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(source) + " " + std::to_string(orientation));
            Run("cp " + F(source) + " " + F("turned.tif") + " && tiffset -s 274 " +
                std::to_string(orientation) + " " + F("turned.tif"));
            TTiffRead read;
            ASSERT_TRUE(ReadTiffFile(F("turned.tif"), read, 0, false, true));
            EXPECT_EQ(read.Params.TIFF_Orientation, orientation);
            EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), ConvertToPnm("/usr/bin/convert " + F("turned.tif") +
                                                                     " -auto-orient ppm:-")),
                      0);
        }
    }
    // The alpha mask turns with the picture.
    Run("pamstack -tupletype RGB_ALPHA " + F("photo.ppm") + " " + F("alpha.pgm") + " | pamtotiff > " +
        F("rgba-turned.tif") + " && tiffset -s 274 6 " + F("rgba-turned.tif"));
    TTiffRead read;
    ReadTiffFile(F("rgba-turned.tif"), read, 0, false, true);
    ASSERT_NE(read.Alpha, nullptr);
    const TRgbImage alpha =
        ConvertToPnm("/usr/bin/convert " + F("rgba-turned.tif") + " -auto-orient -alpha extract pgm:-");
    ASSERT_EQ(alpha.Width, read.Alpha->Width);
    for (int32_t y = 0; y < alpha.Height; ++y) {
        for (int32_t x = 0; x < alpha.Width; ++x) {
            ASSERT_EQ(read.Alpha->GetPixel(x, y), alpha.Rgb[(size_t(y) * alpha.Width + x) * 3])
                << x << "," << y;
        }
    }
}

// Every corrupt sample ends without reading or writing out of bounds; those that cannot be shown
// set the abort flag, the others decode what they hold.
TEST(TiffReader, BrokenFilesEndCleanly)
{
    const std::set<std::string> aborting = {
        "tile-width-missing.tif",
        "tile-width-minus-one.tif",
        "bits-32-lzw.tif",
        "bits-12-rgb.tif",
        "colormap-short.tif",
        "colormap-bits-31.tif",
        "width-past-pixel-budget.tif",
        "width-zero.tif",
        "samples-per-pixel-huge.tif",
        "mixed-bits-per-sample.tif",
        "lzw-code-past-table.tif",
        "lzw-old-style-codes.tif", // old writers' codes, which libtiff still reads
        "deflate-corrupt.tif",
        "old-jpeg-offset-past-end.tif",
        "old-jpeg-stream-smaller-than-page.tif", // its stream is not the page's picture
        "old-jpeg-tiled-stream-of-one-tile.tif",
        "jpeg-strip-garbage.tif",
        "predictor-3-lzw.tif",
        "ycbcr-uncompressed.tif",
        "transparency-mask.tif",
        "gdk-bug784903-overflow-dimensions.tif",
        "half-float-grey.tif",
        // Tags that lay the strips out and hold no single integer, as libtiff refuses them.
        "rows-per-strip-zero.tif",
        "samples-per-pixel-count-zero.tif",
        // Data that ends before the last row, as libtiff finds too.
        "deflate-short.tif",
        "fax-data-cut.tif",
        "fax-run-past-row.tif",
        "height-far-past-data.tif",
        "packbits-literal-past-data.tif",
        "planar-tiles-rgb.tif",
        "strip-count-huge.tif",
        "strip-offset-past-end.tif",
        "tiles-below-image.tif",
        "deflate-byte-count-half-its-rows.tif",
        "g3-byte-count-half-its-rows.tif",
        "g4-strip-cut-by-file-end.tif",
        "jpeg-strip-cut-by-file-end.tif",
        "lzw-rows-per-strip-past-its-data.tif",
        "lzw-strip-cut-by-file-end.tif",
        "lzw-tile-cut-by-file-end.tif",
        "none-strip-cut-by-file-end.tif",
        "packbits-byte-count-half-its-rows.tif",
        "bigtiff-offset-size-4.tif",
        // Read from its second byte, as the fuzz target does: offset plus prefix overflowed.
        "bigtiff-first-offset-int64-max-after-a-prefix.tif",
        "bigtiff-strip-offsets-past-4-gb.tif",
        "huge-height-rgba-one-whole-row.tif",
        "huge-height-rgba-strip-past-end.tif",
        "huge-width-cmyk16-one-cut-row.tif",
        "huge-width-rgb-one-cut-row.tif",
        "lzw-random-113-kb-declaring-a-row-of-2-27-rgb-pixels.tif",
        "lzw-random-450-kb-declaring-a-row-of-2-27-rgb16-pixels.tif",
        "lzw-random-20-kb-declaring-a-row-its-codes-could-fill.tif",
        "deflate-random-20-kb-declaring-a-row-it-could-fill.tif",
    };
    const std::string folder = std::string(KV_TEST_DATA_DIR) + "/fuzz/tiff/";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        TTiffRead read;
        ReadTiffFile(entry.path().string(), read);
        if (aborting.count(name) != 0) {
            EXPECT_TRUE(read.Aborted);
        } else if (name.rfind("gdk-", 0) != 0) {
            EXPECT_FALSE(read.Aborted);
        }
    }
    // What some of them hold.
    TTiffRead loop;
    ReadTiffFile(folder + "ifd-loop-a-b-a.tif", loop, 1);
    EXPECT_EQ(loop.Pages, 2);
    EXPECT_EQ(loop.Bitmap.GetPixels(3, 0).g, 3);
    TTiffRead packbits;
    ReadTiffFile(folder + "packbits-run-past-row.tif", packbits);
    EXPECT_EQ(packbits.Bitmap.GetPixels(7, 7).r, 0x80); // the run went on over all eight rows
    TTiffRead strips;
    ReadTiffFile(folder + "strips-past-image.tif", strips);
    EXPECT_EQ(strips.Bitmap.GetHeight(), 2);
    EXPECT_EQ(strips.Bitmap.GetPixels(1, 1).r, 9);
    TTiffRead rational;
    ReadTiffFile(folder + "rational-zero-denominator.tif", rational);
    EXPECT_EQ(rational.Params.DpiX, 300);
    // Pages of up to 2^28 pixels whose data gives no whole first row make nothing of that size: LZW
    // codes that cannot fill the row are refused undecoded, and a row that LZW or Deflate data could
    // fill grows only as far as it decodes.
    for (const char* name :
         {"huge-height-rgba-strip-past-end.tif", "huge-width-cmyk16-one-cut-row.tif",
          "huge-width-rgb-one-cut-row.tif", "lzw-random-113-kb-declaring-a-row-of-2-27-rgb-pixels.tif",
          "lzw-random-450-kb-declaring-a-row-of-2-27-rgb16-pixels.tif",
          "lzw-random-20-kb-declaring-a-row-its-codes-could-fill.tif",
          "deflate-random-20-kb-declaring-a-row-it-could-fill.tif"}) {
        TTiffRead huge;
        EXPECT_TRUE(kvtest::RefusedKeepingBitmap(huge.Bitmap, huge.Aborted, [&] {
            ReadTiffFile(folder + name, huge);
        })) << name;
    }
}

// The LZW bound that refuses codes too few for their row holds for the tightest coding there is:
// libtiff codes a row of one grey level at over 1000:1, and it loads whole.
TEST(TiffReader, LzwRowsCodedAsTightlyAsLzwCanLoad)
{
    ASSERT_TRUE(kvtest::Installed("tiffcp"));
    kvtest::TempFolder folder;
    const int32_t width = 20000000;
    WriteFile(folder.File("plain.tif"),
              TTiffBuilder().Page(width, 1, 1, 8, 1, Bytes(size_t(width), 7)).Build());
    Tool("tiffcp -c lzw " + folder.File("plain.tif") + " " + folder.File("lzw.tif"));
    ASSERT_LT(std::filesystem::file_size(folder.File("lzw.tif")), size_t(width) / 1000);
    TTiffRead read;
    ASSERT_TRUE(ReadTiffFile(folder.File("lzw.tif"), read));
    EXPECT_EQ(read.Bitmap.GetWidth(), width);
    EXPECT_EQ(read.Bitmap.GetPixels(width - 1, 0).g, 7);
}

// Signed and floating-point samples (what painting programs export at 16 bits) have no conversion:
// read as unsigned integers they would give a garbage picture that passes for a good one.
TEST(TiffReader, RefusesPagesWhoseSamplesAreNotUnsignedIntegers)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "tiffinfo"}));
    kvtest::TempFolder folder;
    const std::string file = folder.File("made.tif");
    const struct
    {
        int32_t bits;
        const char* format; // as the converter names it
        const char* told;   // as tiffinfo does
    } samples[] = {
        {16, "floating-point", "IEEE floating point"},
        {32, "floating-point", "IEEE floating point"},
        {16, "signed", "signed integer"},
    };
    for (const auto& m : samples) {
        for (const std::string picture : {"gradient:white-black", "gradient:red-blue"}) {
            SCOPED_TRACE(std::to_string(m.bits) + "-bit " + m.format + " " + picture);
            ASSERT_EQ(kvtest::ToolExitCode("convert -size 6x4 " + picture + " -depth " +
                                           std::to_string(m.bits) + " -define quantum:format=" + m.format +
                                           " -define tiff:predictor=1 -compress zip " + file),
                      0);
            const std::string info = kvtest::RunTool("tiffinfo " + file + " 2>/dev/null");
            ASSERT_NE(info.find(std::string("Sample Format: ") + m.told), std::string::npos) << info;
            TTiffRead read, params;
            ReadTiffFile(file, read);
            EXPECT_TRUE(read.Aborted);
            // The parameters alone still read: a caller can tell what it was refused.
            ReadTiffFile(file, params, 0, true);
            EXPECT_FALSE(params.Aborted);
            EXPECT_EQ(params.Params.Width, 6);
            EXPECT_EQ(params.Params.BitsPerSample, m.bits);
        }
    }

    // Formats no tool writes: unknown values, and one float sample among unsigned ones. Unsigned
    // integers said out loud are read as when the tag is absent.
    const struct
    {
        const char* name;
        std::vector<uint32_t> formats;
        bool refused;
    } tagged[] = {
        {"void", {4, 4, 4}, true},      {"unknown", {99, 99, 99}, true}, {"float blue", {1, 1, 3}, true},
        {"unsigned", {1, 1, 1}, false}, {"unsigned once", {1}, false},
    };
    const Bytes pixels = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    for (const auto& t : tagged) {
        SCOPED_TRACE(t.name);
        TTiffRead read;
        ReadBuilt(TTiffBuilder().Page(2, 2, 3, 8, 2, pixels).Entry(339, 3, t.formats), read);
        EXPECT_EQ(read.Aborted, t.refused);
        if (!t.refused) {
            EXPECT_EQ(RgbOf(read.Bitmap).Rgb, pixels);
        }
    }
}

} // namespace

namespace {

// Run again under two heap fill patterns: rows that no strip or tile reaches are black, not
// whatever the allocator left there, and the page fails.
TEST(TiffReader, RowsPastTheDataAreBlack)
{
    TTiffBuilder strips;
    strips.Page(4, 4, 1, 8, 1, Bytes(8, 200)).Long(278, 2).Entry(273, 4, {8, 100000}).Entry(279, 4, {8, 8});
    TTiffBuilder tiles;
    tiles.Long(256, 40).Long(257, 20).Short(258, 8).Short(259, 1).Short(262, 1).Short(277, 1);
    tiles.Long(322, 16)
        .Long(323, 16)
        .Entry(324, 4, {tiles.Data(Bytes(256, 200)), 100000})
        .Entry(325, 4, {256, 256});
    for (const TTiffBuilder* builder : {&strips, &tiles}) {
        TTiffRead read;
        ReadBuilt(*builder, read);
        EXPECT_TRUE(read.Aborted);
        const TRgbImage image = RgbOf(read.Bitmap);
        for (int32_t y = 0; y < image.Height; ++y) {
            for (int32_t x = 0; x < image.Width; ++x) {
                const bool written = image.Width == 4 ? y < 2 : x < 16 && y < 16;
                ASSERT_EQ(image.Rgb[(size_t(y) * image.Width + x) * 3], written ? 200 : 0) << x << "," << y;
            }
        }
    }
}

// BitsPerSample of one value for every sample, or of more values than samples, is read as libtiff
// reads it; fewer values than samples, or values that differ between samples, are refused as
// libtiff refuses them.
TEST(TiffReader, BitsPerSampleCountsAsLibtiffReadsThem)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("bits.tif");
    const struct
    {
        const char* Name;
        uint32_t Samples;
        std::vector<uint32_t> Bits;
    } pages[] = {
        {"one value for three samples", 3, {8}},         {"a fourth value", 3, {8, 8, 8, 8}},
        {"a fourth value of 0", 3, {8, 8, 8, 0}},        {"three values for one sample", 1, {8, 0, 0}},
        {"two values for one sample", 1, {8, 8}},        {"two values for three samples", 3, {8, 8}},
        {"three values for four samples", 4, {8, 8, 8}}, {"values that differ", 3, {8, 8, 16}},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.Name);
        Bytes pixels(6 * p.Samples); // 3 x 2
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = uint8_t(10 + 10 * i);
        }
        TTiffBuilder builder;
        builder.Long(256, 3).Long(257, 2).Entry(258, 3, p.Bits).Short(259, 1);
        builder.Short(262, p.Samples == 1 ? 1 : 2).Long(273, builder.Data(pixels)).Short(277, p.Samples);
        builder.Long(278, 2).Long(279, uint32_t(pixels.size()));
        WriteFile(file, builder.Build());
        const bool refused =
            Tool("tiffinfo " + file + " 2>&1").find("TIFFReadDirectory: ") != std::string::npos;
        TTiffRead read;
        ReadTiffFile(file, read);
        EXPECT_EQ(read.Aborted, refused);
        if (!refused) {
            EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(file), true), 0);
            EXPECT_EQ(read.Params.BitsPerSample, 8);
        }
    }
}

} // namespace
