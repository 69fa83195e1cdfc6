// JPEG 2000 colours: the colour boxes that name grey, RGB or YCbCr load in those colours, and the
// others are refused; a load of luma and chroma cut short shows the colours of what it decoded.
#include "imaging/codecs/j2k/kvj2000.h"

#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using Decoded = kvtest::J2kDecoded;
using kvtest::DecodeJ2k;

std::string Big32(uint32_t value)
{
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

// A colour box's contents naming an enumerated colour space.
std::string Enumerated(uint32_t colourSpace)
{
    return std::string("\x01\x00\x00", 3) + Big32(colourSpace);
}

// A colour box's contents holding a profile, by method, whose header names its data colour space;
// the library reads the profile's bytes without looking into them.
std::string Profile(char method, const char* dataColourSpace)
{
    std::string profile(128, '\0');
    profile.replace(0, 4, Big32(128));
    profile.replace(12, 4, "mntr");
    profile.replace(16, 4, dataColourSpace);
    profile.replace(20, 4, "XYZ ");
    profile.replace(36, 4, "acsp");
    return std::string{method, 0, 0} + profile;
}

// opj_compress's JP2 file of planes of 8-bit samples, one a component.
std::string CompressRaw(const kvtest::TempFolder& folder, const std::string& name, int32_t width,
                        int32_t height, int32_t components, const std::string& options)
{
    std::string planes;
    for (int32_t c = 0; c < components; ++c) {
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                planes += char(x * 9 + y * 5 + c * 70);
            }
        }
    }
    const std::string raw = folder.Write(name + ".raw", planes), file = folder.File(name);
    const std::string format =
        std::to_string(width) + "," + std::to_string(height) + "," + std::to_string(components) + ",8,u";
    const std::string command = "opj_compress -i " + raw + " -o " + file + " -F " + format + " " + options;
    return kvtest::ToolOutput(command).empty() ? std::string() : kvtest::TempFolder::Read(file);
}

} // namespace

// sRGB, greyscale and sYCC, and profiles of RGB, grey or YCbCr data (not applied), load in their
// model; CIELab (with and without its parameters), CMYK, e-sYCC, profiles of other data and
// methods of their own are refused, their parameters too.
TEST(J2kColour, ColourBoxesOtherThanGreyRgbOrYccAreRefused)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string three = CompressRaw(folder, "three.jp2", 24, 10, 3, "-mct 0 -n 2");
    const std::string four = CompressRaw(folder, "four.jp2", 24, 10, 4, "-mct 0 -n 2");
    ASSERT_FALSE(three.empty());
    ASSERT_FALSE(four.empty());
    std::string labParameters = Enumerated(14);
    for (uint32_t value : {100u, 0u, 255u, 128u, 255u, 128u, 0x00443635u}) {
        labParameters += Big32(value);
    }
    const struct
    {
        const char* name;
        std::string file;
        bool loads;
        TIOJ2000ColorSpace colourSpace;
    } cases[] = {
        {"sRGB", kvtest::WithColourBox(three, Enumerated(16)), true, ioJ2000_RGB},
        {"greyscale", kvtest::WithColourBox(three, Enumerated(17)), true, ioJ2000_GRAYLEV},
        {"sYCC", kvtest::WithColourBox(three, Enumerated(18)), true, ioJ2000_YCbCr},
        {"RGB profile", kvtest::WithColourBox(three, Profile(2, "RGB ")), true, ioJ2000_RGB},
        {"grey profile", kvtest::WithColourBox(three, Profile(2, "GRAY")), true, ioJ2000_GRAYLEV},
        {"any RGB profile", kvtest::WithColourBox(three, Profile(3, "RGB ")), true, ioJ2000_RGB},
        {"CIELab", kvtest::WithColourBox(three, Enumerated(14)), false, ioJ2000_RGB},
        {"CIELab with parameters", kvtest::WithColourBox(three, labParameters), false, ioJ2000_RGB},
        {"CMYK", kvtest::WithColourBox(four, Enumerated(12)), false, ioJ2000_RGB},
        {"e-sYCC", kvtest::WithColourBox(three, Enumerated(24)), false, ioJ2000_RGB},
        {"Lab profile", kvtest::WithColourBox(three, Profile(2, "Lab ")), false, ioJ2000_RGB},
        {"CMYK profile", kvtest::WithColourBox(four, Profile(2, "CMYK")), false, ioJ2000_RGB},
        {"method of its own", kvtest::WithColourBox(four, Profile(9, "CMYK")), false, ioJ2000_RGB},
        {"enumerated method of its own", kvtest::WithColourBox(four, "\x07" + Enumerated(16).substr(1)),
         false, ioJ2000_RGB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool paramsOnly : {false, true}) {
            Decoded d;
            DecodeJ2k(c.file, d, paramsOnly);
            EXPECT_EQ(d.Aborted, !c.loads);
            if (c.loads) {
                EXPECT_EQ(d.Params.J2000_ColorSpace, c.colourSpace);
                EXPECT_EQ(d.Params.SamplesPerPixel, c.colourSpace == ioJ2000_GRAYLEV ? 1 : 3);
            }
        }
    }

    // Grey takes the first component; RGB the three as they are.
    Decoded grey, rgb;
    DecodeJ2k(kvtest::WithColourBox(three, Enumerated(17)), grey);
    DecodeJ2k(kvtest::WithColourBox(three, Profile(2, "RGB ")), rgb);
    EXPECT_EQ(grey.Bitmap.GetPixels_kv24RGB(3, 2), (TRGB{37, 37, 37}));
    EXPECT_EQ(rgb.Bitmap.GetPixels_kv24RGB(3, 2), (TRGB{177, 107, 37}));
}

// A picture of luma and chroma in tiles whose load is cut short, by the caller after the first
// tile or by the file's end, is refused, and shows what it decoded in colour, as opj_decompress
// shows the whole file; so does a picture in windows stopped after the first.
TEST(J2kColour, PartialLoadsShowColours)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const std::string tiled =
        kvtest::CompressPlanes(folder, "tiled.jp2", 96, 48, 2, 2, 0, 0, "-t 32,16 -n 2");
    ASSERT_FALSE(tiled.empty());
    const kvtest::TPnmImage theirs = kvtest::OpjDecompressed(folder, "whole.jp2", tiled);
    ASSERT_TRUE(theirs.Valid());
    const std::string cut = tiled.substr(0, tiled.size() * 3 / 4);

    const struct
    {
        const char* name;
        std::string file;
        bool stopAfterFirst;
    } cases[] = {
        {"stopped", tiled, true},
        {"cut", cut, false},
        {"windows stopped", kvtest::WithHeaderBoxes(tiled, kvtest::J2kColourChannels()), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream;
        kvtest::FillStream(stream, c.file);
        Decoded d;
        TProgressRec progress = kvtest::ProgressInto(d.Aborted);
        if (c.stopAfterFirst) {
            progress.OnProgress = [&d](TObject*, int32_t) { d.Aborted = true; };
        }
        Kvj2000::J2KReadStream(stream, d.Bitmap, d.Params, progress, false);
        EXPECT_TRUE(d.Aborted);
        ASSERT_EQ(d.Bitmap.GetWidth(), 96);
        // The first tile is in, in colour.
        const int32_t difference = kvtest::MaxDifferenceWithin(theirs, d.Bitmap, 0, 0, 32, 16);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, 1);
    }
}
