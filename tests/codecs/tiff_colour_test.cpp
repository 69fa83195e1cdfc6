// Colours and alpha of TIFF pages true to their files: CMYK pages in JPEG strips and tiles, with
// and without the Adobe segment that marks inverted CMYK, against libtiff and ImageMagick; 16-bit
// CMYK pages and pages whose alpha is associated (colours premultiplied), against ImageMagick.
#include "imaging/codecs/tiff/tiffilt.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
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
        ASSERT_TRUE(ReadTiffFile(F("cmyk-jpeg.tif"), read));
        EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(F("cmyk-jpeg.tif"))), 0);
    }

    const int32_t width = 150, height = 103;
    const struct
    {
        const char* Name;
        bool Tiled;
        std::vector<TBlockPlace> Blocks;
    } layouts[] = {
        {"two strips", false, {{0, 0, width, 64}, {0, 64, width, height - 64}}},
        {"tiles", true, {{0, 0, 96, 64}, {96, 0, 96, 64}, {0, 64, 96, 64}, {96, 64, 96, 64}}},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.Name);
        TTiffBuilder builder;
        builder.Long(256, width).Long(257, height).Entry(258, 3, {8, 8, 8, 8}).Short(259, 7);
        builder.Short(262, 5).Short(277, 4);
        TRgbImage expected{width, height, Bytes(size_t(width) * height * 3), {}};
        std::vector<uint32_t> offsets, counts;
        for (const TBlockPlace& b : layout.Blocks) {
            // Edge tiles are whole tiles, the picture extended with white.
            const std::string geometry = std::to_string(b.Width) + "x" + std::to_string(b.Height);
            Run("convert " + F("photo.ppm") + " -crop " + geometry + "+" + std::to_string(b.X) + "+" +
                std::to_string(b.Y) + " +repage -background white -extent " + geometry +
                " -colorspace CMYK -quality 95 " + F("block.jpg"));
            const Bytes jpeg = FileBytes(F("block.jpg"));
            const Bytes adobe = {0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e'};
            ASSERT_NE(std::ranges::search(jpeg, adobe).begin(), jpeg.end());
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
        ASSERT_TRUE(ReadTiffFile(F("adobe.tif"), read));
        // ImageMagick turns CMYK into colour in floating point and rounds; we truncate.
        EXPECT_LE(MaxDifference(RgbOf(read.Bitmap), expected), 1);
    }
}

// The straight colours and the alpha ImageMagick reads from a file.
TRgbImage ImageMagickRgba(const std::string& fileName)
{
    TRgbImage image = ConvertToPnm("convert " + fileName + " -depth 8 ppm:-");
    const TRgbImage alpha = ConvertToPnm("convert " + fileName + " -alpha extract -depth 8 pgm:-");
    for (size_t i = 0; i < alpha.Rgb.size(); i += 3) {
        image.Alpha.push_back(alpha.Rgb[i]);
    }
    return image;
}

// The alpha of an image as the grey of one.
TRgbImage AlphaOf(const TRgbImage& image)
{
    return {image.Width, image.Height, image.Alpha, {}};
}

// Colours stored premultiplied by their alpha come back straight, as bitmaps hold them, in every
// layout; unassociated alpha stays as stored. ImageMagick goes through 16 bits and rounds where
// we divide and round at once, or take the high byte of 16-bit samples: one step apart at most.
TEST_F(TiffColour, AssociatedAlphaComesBackStraight)
{
    const std::string picture =
        "convert " + F("photo.ppm") + " " + F("alpha.pgm") + " -alpha off -compose CopyOpacity -composite";
    const std::string grey = "convert " + F("grey.pgm") + " " + F("alpha.pgm") +
                             " -alpha off -compose CopyOpacity -composite -colorspace gray";
    const std::vector<std::string> layouts = {"", "-interlace plane -compress lzw",
                                              "-define tiff:tile-geometry=32x32 -compress zip",
                                              "-interlace plane -define tiff:tile-geometry=48x32"};
    // Unassociated alpha, the control, in one layout.
    for (const auto& [alpha, told, written] :
         {std::tuple{"associated", "assoc-alpha", layouts},
          std::tuple{"unassociated", "unassoc-alpha", std::vector{layouts[1]}}}) {
        for (const std::string& source :
             {picture + " -depth 8", picture + " -depth 16", grey + " -depth 8"}) {
            for (const std::string& layout : written) {
                SCOPED_TRACE(source + " " + alpha + " " + layout);
                Run(source + " -define tiff:alpha=" + alpha + " " + layout + " " + F("layout.tif"));
                ASSERT_NE(Tool("tiffinfo " + F("layout.tif")).find(told), std::string::npos);
                TTiffRead read;
                ASSERT_TRUE(ReadTiffFile(F("layout.tif"), read));
                ASSERT_NE(read.Alpha, nullptr);
                const TRgbImage ours = RgbOf(read.Bitmap, read.Alpha.get());
                const TRgbImage expected = ImageMagickRgba(F("layout.tif"));
                EXPECT_LE(MaxDifference(ours, expected), 1);
                EXPECT_LE(MaxDifference(AlphaOf(ours), AlphaOf(expected)),
                          source.find("16") != std::string::npos ? 1 : 0);
            }
        }
    }

    // Division rounded half to even, black where alpha is 0, white where a colour passes its alpha.
    const struct
    {
        std::vector<uint64_t> Stored; // red, green, blue, alpha
        int32_t Bits;
        Bytes Straight; // red, green, blue
    } pixels[] = {
        {{1, 0, 0, 1}, 8, {255, 0, 0}},
        {{128, 64, 2, 128}, 8, {255, 128, 4}}, // 127.5 goes to 128
        {{1, 3, 1, 6}, 8, {42, 128, 42}},      // 42.5 goes to 42, 127.5 to 128
        {{9, 200, 0, 0}, 8, {0, 0, 0}},
        {{200, 20, 0, 100}, 8, {255, 51, 0}},
        {{257, 0, 32896, 257}, 16, {255, 0, 255}},
        {{0x8000, 0x4000, 0, 0xFFFF}, 16, {0x80, 0x40, 0}},
    };
    for (const auto& p : pixels) {
        TTiffRead read;
        ReadBuilt(TTiffBuilder().Page(1, 1, 4, p.Bits, 2, Le(p.Stored, p.Bits / 8)).Short(338, 1), read);
        ASSERT_FALSE(read.Aborted);
        EXPECT_EQ(RgbOf(read.Bitmap).Rgb, p.Straight) << p.Stored[0] << " " << p.Stored[3];
    }
}

// libtiff's RGBA interface takes only 8-bit CMYK; ImageMagick reads 16-bit CMYK too, in either
// byte order, chunky or planar. It rounds where we take the high byte of the 16-bit colour.
TEST_F(TiffColour, SixteenBitCmykPagesDecodeAsImageMagickDoes)
{
    Run("convert " + F("photo.ppm") + " -colorspace CMYK -depth 16 " + F("cmyk16.tif"));
    for (const std::string& copy :
         {"cp " + F("cmyk16.tif"), "tiffcp -B -c lzw " + F("cmyk16.tif"),
          "convert " + F("photo.ppm") + " -colorspace CMYK -depth 16 -interlace plane -compress zip"}) {
        SCOPED_TRACE(copy);
        Run(copy + " " + F("layout.tif"));
        ASSERT_NE(Tool("tiffinfo " + F("layout.tif")).find("separated"), std::string::npos);
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(F("layout.tif"), read));
        EXPECT_EQ(read.Params.BitsPerSample, 16);
        EXPECT_LE(MaxDifference(RgbOf(read.Bitmap), ImageMagickRgba(F("layout.tif"))), 1);
    }
}

// Against the black-is-zero page of the inverted samples, as ImageMagick reads it up to 8 bits (it
// reads white-is-zero of 2 to 7 bits uninverted) and libtiff's RGBA interface at its depths.
TEST(TiffGrey, WhiteIsZeroPagesOfEveryDepthShowTheInvertedLevels)
{
    kvtest::TempFolder folder;
    for (const int32_t bits : {1, 2, 3, 4, 5, 6, 7, 8, 16}) {
        const uint32_t maximum = (1u << bits) - 1;
        const int32_t width = int32_t(std::min<uint32_t>(maximum + 1, 256));
        TRgbImage expected;
        for (const int32_t photometric : {1, 0}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, photometric " + std::to_string(photometric));
            // A ramp or its inverse, most significant bit first; 16-bit samples little-endian.
            Bytes row(size_t(width * bits + 7) / 8);
            for (int64_t x = 0, bit = 0; x < width; ++x) {
                const uint32_t level = uint32_t(x * maximum / (width - 1));
                uint32_t sample = photometric == 1 ? level : maximum - level;
                sample = bits == 16 ? (sample >> 8 | sample << 8) & 0xFFFF : sample;
                for (int32_t b = bits - 1; b >= 0; --b, ++bit) {
                    row[size_t(bit / 8)] |= uint8_t(((sample >> b) & 1) << (7 - bit % 8));
                }
            }
            const std::string file = folder.File("grey" + std::to_string(photometric) + ".tif");
            WriteFile(file, TTiffBuilder().Page(width, 1, 1, bits, photometric, row).Build());
            if (photometric == 1) {
                expected = bits <= 8 ? ConvertToPnm("convert " + file + " -depth 8 ppm:-") : Tiff2Rgba(file);
            }
            TTiffRead read;
            ASSERT_TRUE(ReadTiffFile(file, read));
            EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), expected), 0);
            if (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16) {
                EXPECT_EQ(MaxDifference(Tiff2Rgba(file), expected), 0);
            }
        }
    }
}

} // namespace
