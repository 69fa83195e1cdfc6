// Saving what a reader loaded in the same lossless format keeps every pixel and its alpha, in each
// layout the readers take: ImageMagick (pcxtoppm for PCX) reads source and copy as they were loaded.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "tests/io/io_test_support.h"
#include "tests/io/rgba_pictures.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kviotest;

namespace {

const std::string Rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
const std::string PngSuite = "/usr/share/go-1.19/src/image/png/testdata/pngsuite/";

struct Case
{
    const char* name;
    std::string source;            // a file, or a shell command that writes one to $OUT
    const char* extension;         // of the source file made; the copy is saved with the same one
    const char* savedAs = nullptr; // another extension to save as, when the case is a conversion
    // A file beside the source holding its reading where the tool misreads it ("": none reads it),
    // and the bits of each colour sample compared.
    const char* reading = nullptr;
    uint8_t sampleBits = 0xFF;
};

// A picture, its colour samples cut to the bits given.
RgbaBytes Cut(RgbaBytes rgba, uint8_t sampleBits)
{
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] &= i % 4 == 3 ? 0xFF : sampleBits;
    }
    return rgba;
}

} // namespace

TEST(LosslessRoundTrip, SavedFilesKeepEveryPixelAndItsAlpha)
{
    ASSERT_TRUE(
        kvtest::Installed({"convert", "gifbuild", "ppmtopcx", "pcxtoppm", "pnmquant", "pnmtopng", "pnmtotiff",
                           "pbmtowbmp", "icotool", Rose, PixbufImage("reftests/tga"), PngSuite}));
    const std::string tga = PixbufImage("reftests/tga/gtk-logo-");
    // A screen of two colours whose background index lies past them, and a picture in them.
    auto twoColours = [](const std::string& colours, const std::string& pixels) {
        return "printf 'screen width 4\\nscreen height 2\\nscreen colors 2\\n"
               "screen background 5\\npixel aspect byte 0\\nscreen map\\n" +
               colours + "end\\nimage # 1\\nimage left 0\\nimage top 0\\nimage bits 4 by 2\\n" + pixels +
               "' | gifbuild > $OUT";
    };
    const std::string redBlue = "\\trgb 255 000 000 is 0\\n\\trgb 000 000 255 is 1\\n";
    const std::string blackRed = "\\trgb 000 000 000 is 0\\n\\trgb 255 000 000 is 1\\n";
    const std::string bilevel = "ppmtopgm " + Rose + " | pgmtopbm -threshold";
    const std::string black = "/usr/bin/convert -size 11x3 xc:black pbm:-";
    const std::string redAndBlue = "/usr/bin/convert -size 9x5 xc:red -fill blue -draw 'rectangle 2,1 5,3' ";
    const std::string rgbaNoise = "/usr/bin/convert -seed 3 -size 12x9 plasma: -alpha set -channel A -fx "
                                  "'i%3==0?0:(j%4==0?0.5:1)' +channel";
    const Case cases[] = {
        {"GIF of two colours, background past its table", twoColours(redBlue, "0011\\n0101\\n"), "gif"},
        {"GIF of one colour in a table of two, background past it", twoColours(blackRed, "0000\\n0000\\n"),
         "gif"},
        {"GIF whose background index lies past its table",
         PixbufImage("gif-test-suite/invalid-background.gif"), "gif"},
        // ImageMagick and giftopnm refuse its pixel.
        {"GIF whose pixel lies past its table", PixbufImage("gif-test-suite/invalid-colors.gif"), "gif",
         nullptr, ""},
        {"GIF in black and white", "/usr/bin/convert " + Rose + " -monochrome $OUT", "gif"},
        {"GIF of 16 colours with a transparent one",
         "/usr/bin/convert -seed 5 -size 12x9 plasma: -colors 15 -fill none -draw 'point 3,3' $OUT", "gif"},
        {"GIF of 200 colours, interlaced", "/usr/bin/convert " + Rose + " -colors 200 -interlace GIF $OUT",
         "gif"},
        {"PCX of 1 bit", "ppmtopgm " + Rose + " | pgmtopbm -threshold | ppmtopcx > $OUT", "pcx"},
        {"PCX of 16 colours in 4 planes", "pnmquant 16 " + Rose + " | ppmtopcx > $OUT", "pcx"},
        {"PCX of 16 colours packed", "pnmquant 16 " + Rose + " | ppmtopcx -packed > $OUT", "pcx"},
        {"PCX of 8 bits", "pnmquant 256 " + Rose + " | ppmtopcx -8bit > $OUT", "pcx"},
        {"PCX of 24 bits", "ppmtopcx -24bit " + Rose + " > $OUT", "pcx"},
        {"PCX of 1 bit, all black", black + " | ppmtopcx > $OUT", "pcx"},
        {"BMP of 1 bit in red and blue", redAndBlue + "-type palette -colors 2 bmp3:$OUT", "bmp"},
        {"BMP of 1 bit in red and blue, saved as PCX", redAndBlue + "-type palette -colors 2 bmp3:$OUT",
         "bmp", "pcx"},
        {"BMP of 1 bit, all black", "/usr/bin/convert -size 9x5 xc:black -type bilevel bmp3:$OUT", "bmp"},
        {"TIFF of 1 bit", bilevel + " | pnmtotiff > $OUT", "tif"},
        {"TIFF of 1 bit, all black", black + " | pnmtotiff > $OUT", "tif"},
        {"TIFF palette of 1 bit in red and blue",
         redAndBlue + "-depth 8 ppm:- | pnmtotiff -indexbits 1 > $OUT", "tif"},
        {"WBMP", bilevel + " | pbmtowbmp > $OUT", "wbmp"},
        {"WBMP all black", black + " | pbmtowbmp > $OUT", "wbmp"},
        {"PBM", bilevel + " > $OUT", "pbm"},
        {"PBM all black", black + " > $OUT", "pbm"},
        {"ICO of 1 bit in red and white",
         "/usr/bin/convert -size 16x16 xc:white -fill red -draw 'rectangle 2,2 9,12' -type palette -colors 2 "
         "$OUT.png && icotool -c -b 1 -o $OUT $OUT.png",
         "ico"},
        {"ICO of 1 bit, all black",
         "/usr/bin/convert -size 16x16 xc:black $OUT.png && icotool -c -b 1 -o $OUT $OUT.png", "ico"},
        {"TGA of 16 bits", tga + "16bpp-top-left.tga", "tga", nullptr, ".ref.png", 0xF8},
        {"TGA of 24 bits, run-length", tga + "rle-24bpp-bottom-left.tga", "tga", nullptr, ".ref.png"},
        {"TGA of 32 bits with alpha", tga + "32bpp-top-right.tga", "tga", nullptr, ".ref.png"},
        {"TGA colour-mapped", tga + "cmap-8bpp-top-left.tga", "tga", nullptr, ".ref.png"},
        {"TGA grey", tga + "gray-8bpp-top-left.tga", "tga", nullptr, ".ref.png"},
        {"TGA grey with alpha", tga + "gray-16bpp-top-left.tga", "tga", nullptr, ".ref.png"},
        {"TGA grey with alpha, run-length", tga + "gray-rle-16bpp-bottom-right.tga", "tga", nullptr,
         ".ref.png"},
        {"PNG of 1 bit", PngSuite + "basn0g01.png", "png"},
        {"PNG of 1 bit, black transparent", bilevel + " | pnmtopng -transparent black > $OUT", "png"},
        {"PNG palette of 1 bit", PngSuite + "basn3p01.png", "png"},
        {"PNG palette of 1 bit, one entry transparent",
         redAndBlue + "-depth 8 ppm:- | pnmtopng -transparent red > $OUT", "png"},
        {"PNG of 1 x 1, its only entry transparent",
         "/usr/bin/convert -size 1x1 xc:red -depth 8 ppm:- | pnmtopng -transparent red > $OUT", "png"},
        {"PNG grey of 4 bits", PngSuite + "basn0g04.png", "png"},
        {"PNG grey of 16 bits", PngSuite + "basn0g16.png", "png"},
        {"PNG colour of 16 bits", PngSuite + "basn2c16.png", "png"},
        {"PNG palette of 2 bits", PngSuite + "basn3p02.png", "png"},
        {"PNG palette of 8 bits", PngSuite + "basn3p08.png", "png"},
        {"PNG palette with tRNS", PngSuite + "basn3p08-trns.png", "png"},
        {"PNG palette with partial tRNS",
         rgbaNoise +
             " -colors 40 $OUT.png && /usr/bin/convert $OUT.png -alpha extract $OUT.pgm && "
             "/usr/bin/convert $OUT.png -alpha off $OUT.ppm && pnmtopng -alpha=$OUT.pgm $OUT.ppm > $OUT",
         "png"},
        {"PNG grey with alpha", PngSuite + "basn4a08.png", "png"},
        {"PNG colour with alpha", PngSuite + "basn6a16.png", "png"},
    };
    kvtest::TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string source = c.source;
        if (source.find("$OUT") != std::string::npos) {
            source = folder.File(std::string("source.") + c.extension);
            const std::string command = "OUT='" + source + "'; " + c.source;
            ASSERT_EQ(kvtest::ToolExitCode(command), 0) << command;
        }
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        io.LoadFromFile(source);
        ASSERT_FALSE(io.Aborting);
        const RgbaBytes loaded = LoadedRgba(*io.KVBitmap());
        if (c.reading == nullptr || *c.reading != '\0') {
            const RgbaBytes reading = ToolRgba(c.reading != nullptr ? source + c.reading : source);
            EXPECT_EQ(Differences(Cut(reading, c.sampleBits), Cut(loaded, c.sampleBits)), 0);
        }
        const std::string saved = folder.File(std::string("saved.") + (c.savedAs ? c.savedAs : c.extension));
        io.SaveToFile(saved);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(Differences(loaded, ToolRgba(saved)), 0);
        if (c.savedAs != nullptr) {
            // Two colours read alike by both tools.
            EXPECT_EQ(Differences(loaded, ImageMagickRgba(saved)), 0);
        }
    }
}
