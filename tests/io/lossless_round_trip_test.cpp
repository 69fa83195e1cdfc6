// Saving what a reader loaded in the same lossless format keeps every pixel and its alpha: files
// of each layout the GIF, PCX, TGA and PNG readers produce (made by standard tools, or shipped by
// Debian), loaded and saved by the I/O component, and the saved file read back by ImageMagick.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kviotest;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string Rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
const std::string PngSuite = "/usr/share/go-1.19/src/image/png/testdata/pngsuite/";

// RGBA of the first picture of a file as a standard tool reads it: ImageMagick, or for PCX
// pcxtoppm, which takes a 1-bit file's colours from its header as ImageMagick does not; empty
// when the tool refuses the file.
Bytes ToolRgba(const std::string& file, bool imageMagick)
{
    const std::string source = imageMagick ? "'" + file + "[0]'" : "ppm:-";
    const std::string command =
        (imageMagick ? "" : "pcxtoppm '" + file + "' | ") + "/usr/bin/convert " + source + " -depth 8 rgba:-";
    const std::string out = kvtest::ToolOutput(command);
    return Bytes(out.begin(), out.end());
}

// The loaded picture as RGBA, alpha from its alpha channel (255 without one).
Bytes LoadedRgba(TKVBitmap& bitmap)
{
    TKVBitmap* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel() : nullptr;
    Bytes out;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            const TRGB c = bitmap.GetPixels(x, y);
            out.insert(out.end(),
                       {c.r, c.g, c.b, alpha != nullptr ? alpha->GetScanLine(y)[x] : uint8_t(255)});
        }
    }
    return out;
}

// Pixels that differ in alpha, or in colour where they are not fully transparent.
int64_t Differences(const Bytes& expected, const Bytes& actual)
{
    if (expected.size() != actual.size()) {
        return -1;
    }
    int64_t count = 0;
    for (size_t i = 0; i + 3 < expected.size(); i += 4) {
        const bool sameAlpha = expected[i + 3] == actual[i + 3];
        const bool sameColour =
            expected[i + 3] == 0 || std::equal(&expected[i], &expected[i] + 3, &actual[i]);
        count += sameAlpha && sameColour ? 0 : 1;
    }
    return count;
}

struct Case
{
    const char* name;
    std::string source;            // a file, or a shell command that writes one to $OUT
    const char* extension;         // of the source file made; the copy is saved with the same one
    const char* savedAs = nullptr; // another extension to save as, when the case is a conversion
};

} // namespace

TEST(LosslessRoundTrip, SavedFilesKeepEveryPixelAndItsAlpha)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifbuild", "ppmtopcx", "pcxtoppm", "pnmquant", "pnmtopng",
                                   Rose, PixbufImage("reftests/tga"), PngSuite}));
    const std::string tga = PixbufImage("reftests/tga/gtk-logo-");
    // A screen of two colours, red and blue, whose background index lies past them.
    const std::string twoColours = "printf 'screen width 4\\nscreen height 2\\nscreen colors 2\\n"
                                   "screen background 5\\npixel aspect byte 0\\nscreen map\\n"
                                   "\\trgb 255 000 000 is 0\\n\\trgb 000 000 255 is 1\\nend\\n"
                                   "image # 1\\nimage left 0\\nimage top 0\\nimage bits 4 by 2\\n"
                                   "0011\\n0101\\n' | gifbuild";
    const std::string rgbaNoise = "/usr/bin/convert -seed 3 -size 12x9 plasma: -alpha set -channel A -fx "
                                  "'i%3==0?0:(j%4==0?0.5:1)' +channel";
    const Case cases[] = {
        {"GIF of two colours, background past its table", twoColours + " > $OUT", "gif"},
        {"GIF whose background index lies past its table",
         PixbufImage("gif-test-suite/invalid-background.gif"), "gif"},
        {"GIF whose pixel lies past its table", PixbufImage("gif-test-suite/invalid-colors.gif"), "gif"},
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
        {"BMP of 1 bit in red and blue, saved as PCX",
         "/usr/bin/convert -size 9x5 xc:red -fill blue -draw 'rectangle 2,1 5,3' -type palette -colors 2 "
         "bmp3:$OUT",
         "bmp", "pcx"},
        {"TGA of 16 bits", tga + "16bpp-top-left.tga", "tga"},
        {"TGA of 24 bits, run-length", tga + "rle-24bpp-bottom-left.tga", "tga"},
        {"TGA of 32 bits with alpha", tga + "32bpp-top-right.tga", "tga"},
        {"TGA colour-mapped", tga + "cmap-8bpp-top-left.tga", "tga"},
        {"TGA grey", tga + "gray-8bpp-top-left.tga", "tga"},
        {"TGA grey with alpha", tga + "gray-16bpp-top-left.tga", "tga"},
        {"TGA grey with alpha, run-length", tga + "gray-rle-16bpp-bottom-right.tga", "tga"},
        {"PNG of 1 bit", PngSuite + "basn0g01.png", "png"},
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
        const Bytes loaded = LoadedRgba(*io.KVBitmap());
        const std::string saved = folder.File(std::string("saved.") + (c.savedAs ? c.savedAs : c.extension));
        io.SaveToFile(saved);
        ASSERT_FALSE(io.Aborting);
        const bool pcx = saved.ends_with(".pcx");
        EXPECT_EQ(Differences(loaded, ToolRgba(saved, !pcx)), 0);
        if (c.savedAs != nullptr) {
            // Two colours read alike by both tools.
            EXPECT_EQ(Differences(loaded, ToolRgba(saved, true)), 0);
        }
    }
}
