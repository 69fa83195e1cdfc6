// Colours and alpha of TIFF pages true to their files: CMYK pages in JPEG strips and tiles, with
// and without the Adobe segment that marks inverted CMYK, against libtiff and ImageMagick.
#include "imaging/codecs/tiff/tiffilt.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kvtifftest;

class TiffColour : public TTiffSamples
{
};

// A place of one strip or tile in the picture.
struct TBlockPlace
{
    int32_t X, Y, Width, Height;
};

// Pastes block into image at (x, y), as far as the image reaches.
void Paste(TRgbImage& image, const TRgbImage& block, int32_t x, int32_t y)
{
    for (int32_t r = 0; r < block.Height && y + r < image.Height; ++r) {
        for (int32_t c = 0; c < block.Width && x + c < image.Width; ++c) {
            for (int32_t k = 0; k < 3; ++k) {
                image.Rgb[(size_t(y + r) * image.Width + (x + c)) * 3 + k] =
                    block.Rgb[(size_t(r) * block.Width + c) * 3 + k];
            }
        }
    }
}

// CMYK pages that libtiff codes as JPEG (no Adobe segment, CMYK as TIFF stores it) decode as
// libtiff's RGBA interface decodes them; pages whose strips or tiles are CMYK JPEG files from
// ImageMagick, which carry the Adobe segment and inverted CMYK, decode as ImageMagick decodes
// those files. Either way the samples are inverted exactly once.
TEST_F(TiffColour, CmykJpegPagesInvertByTheirStreamsMarker)
{
    Run("convert " + F("photo.ppm") + " -colorspace CMYK -depth 8 " + F("cmyk.tif"));
    ASSERT_NE(Tool("tiffinfo " + F("cmyk.tif")).find("separated"), std::string::npos);
    for (const std::string options : {"-c jpeg -r 16", "-c jpeg -t -w 32 -l 48"}) {
        SCOPED_TRACE(options);
        Run("tiffcp " + options + " " + F("cmyk.tif") + " " + F("cmyk-jpeg.tif"));
        TTiffRead read;
        ReadTiffFile(F("cmyk-jpeg.tif"), read);
        ASSERT_FALSE(read.Aborted);
        EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(F("cmyk-jpeg.tif"))), 0);
    }

    const int32_t width = 150, height = 103;
    const struct
    {
        const char* Name;
        bool Tiled;
        std::vector<TBlockPlace> Blocks;
    } layouts[] = {
        {"one strip", false, {{0, 0, width, height}}},
        {"two strips", false, {{0, 0, width, 64}, {0, 64, width, height - 64}}},
        {"tiles", true, {{0, 0, 96, 64}, {96, 0, 96, 64}, {0, 64, 96, 64}, {96, 64, 96, 64}}},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.Name);
        TTiffBuilder builder;
        builder.Long(256, width).Long(257, height).Entry(258, 3, {8, 8, 8, 8}).Short(259, 7);
        builder.Short(262, 5).Short(277, 4);
        TRgbImage expected;
        expected.Width = width;
        expected.Height = height;
        expected.Rgb.assign(size_t(width) * height * 3, 0);
        std::vector<uint32_t> offsets, counts;
        for (const TBlockPlace& b : layout.Blocks) {
            // Edge tiles are whole tiles, the picture extended with white.
            const std::string geometry = std::to_string(b.Width) + "x" + std::to_string(b.Height);
            Run("convert " + F("photo.ppm") + " -crop " + geometry + "+" + std::to_string(b.X) + "+" +
                std::to_string(b.Y) + " +repage -background white -extent " + geometry +
                " -colorspace CMYK -quality 95 " + F("block.jpg"));
            const Bytes jpeg = FileBytes(F("block.jpg"));
            const std::string adobe = "\xFF\xEE\x00\x0E"
                                      "Adobe";
            ASSERT_NE(std::string(jpeg.begin(), jpeg.end()).find(adobe), std::string::npos);
            Paste(expected, ConvertToPnm("convert " + F("block.jpg") + " -depth 8 ppm:-"), b.X, b.Y);
            offsets.push_back(builder.Data(jpeg));
            counts.push_back(uint32_t(jpeg.size()));
        }
        if (layout.Tiled) {
            builder.Long(322, 96).Long(323, 64).Entry(324, 4, offsets).Entry(325, 4, counts);
        } else {
            builder.Long(278, uint32_t(layout.Blocks[0].Height)).Entry(273, 4, offsets).Entry(279, 4, counts);
        }
        WriteFile(F("adobe.tif"), builder.Build());
        TTiffRead read;
        ReadTiffFile(F("adobe.tif"), read);
        ASSERT_FALSE(read.Aborted);
        // ImageMagick turns CMYK into colour in floating point and rounds; we truncate.
        EXPECT_LE(MaxDifference(RgbOf(read.Bitmap), expected), 1);
    }
}

} // namespace
