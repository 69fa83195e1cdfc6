// JPEG 2000 colours: the colour boxes that name grey, RGB or YCbCr load in those colours, and the
// others are refused; a load of luma and chroma cut short shows the colours of what it decoded.
#include "imaging/codecs/j2k/kvj2000.h"

#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// opj_compress's file of planes of 8-bit samples, one a component sampled every steps[c] points
// across and down.
std::string CompressRaw(const kvtest::TempFolder& folder, const std::string& name, int32_t width,
                        int32_t height, const std::vector<std::pair<int32_t, int32_t>>& steps,
                        const std::string& options)
{
    std::string planes, sampling;
    for (size_t c = 0; c < steps.size(); ++c) {
        const auto [across, down] = steps[c];
        for (int32_t y = 0; y < (height + down - 1) / down; ++y) {
            for (int32_t x = 0; x < (width + across - 1) / across; ++x) {
                planes += char(x * 9 + y * 5 + int32_t(c) * 70);
            }
        }
        sampling += (c == 0 ? "@" : ":") + std::to_string(across) + "x" + std::to_string(down);
    }
    const std::string raw = folder.Write(name + ".raw", planes), file = folder.File(name);
    const std::string format = std::to_string(width) + "," + std::to_string(height) + "," +
                               std::to_string(steps.size()) + ",8,u" + sampling;
    const std::string command = "opj_compress -i " + raw + " -o " + file + " -F " + format + " " + options;
    return kvtest::ToolOutput(command).empty() ? std::string() : kvtest::TempFolder::Read(file);
}

std::string CompressRaw(const kvtest::TempFolder& folder, const std::string& name, int32_t width,
                        int32_t height, int32_t components, const std::string& options)
{
    return CompressRaw(folder, name, width, height,
                       std::vector<std::pair<int32_t, int32_t>>(components, {1, 1}), options);
}

// The file loads in that colour space, each pixel as opj_decompress decodes it.
void ExpectAsOpjDecompressDecodes(const kvtest::TempFolder& folder, const std::string& name,
                                  const std::string& bytes, TIOJ2000ColorSpace colourSpace)
{
    const kvtest::TPnmImage theirs = kvtest::OpjDecompressed(folder, name, bytes);
    ASSERT_TRUE(theirs.Valid());
    Decoded d;
    DecodeJ2k(bytes, d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.J2000_ColorSpace, colourSpace);
    EXPECT_EQ(kvtest::MaxDifference(d.Bitmap, theirs), 0);
}

} // namespace

// sRGB, greyscale and sYCC, and profiles of RGB, grey or YCbCr data (not applied), load in their
// model; CIELab (with and without its parameters), CMYK, e-sYCC, the other spaces the standards
// define and well-formed profiles of other data are refused, their parameters too. A box that
// names nothing, by a method of its own, a space no standard defines or a profile too short or
// malformed to have a header, is read as if absent: the components tell the colours.
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
        {"e-sRGB", kvtest::WithColourBox(three, Enumerated(20)), false, ioJ2000_RGB},
        {"YCCK", kvtest::WithColourBox(four, Enumerated(13)), false, ioJ2000_RGB},
        {"method of its own", kvtest::WithColourBox(four, Profile(9, "CMYK")), true, ioJ2000_RGB},
        {"enumerated method of its own", kvtest::WithColourBox(four, "\x07" + Enumerated(16).substr(1)), true,
         ioJ2000_RGB},
        {"space no standard defines", kvtest::WithColourBox(three, Enumerated(0x72677320)), true,
         ioJ2000_RGB},
        {"profile of one byte", kvtest::WithColourBox(four, std::string("\x02\0\0\x01", 4)), true,
         ioJ2000_RGB},
        {"profile shorter than a header", kvtest::WithColourBox(three, Profile(2, "CMYK").substr(0, 100)),
         true, ioJ2000_RGB},
        {"profile without its signature",
         kvtest::WithColourBox(three, Profile(2, "CMYK").replace(39, 4, "xxxx")), true, ioJ2000_RGB},
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

// Boxes that name nothing load as opj_decompress decodes them: two components as opj_compress
// writes them in a JP2 file (enumerated space 0), or under a method of its own, are grey; four
// under a profile of one byte are RGB of the first three, sampled alike or not; three under a
// space no standard defines are RGB.
TEST(J2kColour, BoxesThatNameNothingLeaveTheComponentsToDecide)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const std::string two = CompressRaw(folder, "two.jp2", 24, 10, 2, "-n 2");
    const std::string three = CompressRaw(folder, "three.jp2", 24, 10, 3, "-mct 0 -n 2");
    const std::string four = CompressRaw(folder, "four.jp2", 24, 10, 4, "-mct 0 -n 2");
    const std::string coarser =
        CompressRaw(folder, "coarser.jp2", 24, 10, {{1, 1}, {2, 2}, {2, 2}, {1, 1}}, "-n 2");
    for (const std::string& file : {two, three, four, coarser}) {
        ASSERT_FALSE(file.empty());
    }
    ASSERT_NE(two.find(std::string("colr\x01\0\0\0\0\0\0", 11)), std::string::npos);
    const std::string oneByteProfile("\x02\0\0\x01", 4);
    const struct
    {
        const char* name;
        std::string file;
        TIOJ2000ColorSpace colourSpace;
    } cases[] = {
        {"two.jp2", two, ioJ2000_GRAYLEV},
        {"two-method-4.jp2", kvtest::WithColourBox(two, "\x04" + Enumerated(16).substr(1)), ioJ2000_GRAYLEV},
        {"four-profile.jp2", kvtest::WithColourBox(four, oneByteProfile), ioJ2000_RGB},
        {"coarser-profile.jp2", kvtest::WithColourBox(coarser, oneByteProfile), ioJ2000_RGB},
        {"three-unknown-space.jp2", kvtest::WithColourBox(three, Enumerated(0x72677320)), ioJ2000_RGB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectAsOpjDecompressDecodes(folder, c.name, c.file, c.colourSpace);
    }
}

// A code stream says nothing of its colours: three components whose first is sampled alike
// across and down and whose second and third are sampled more coarsely are luma and chroma, as
// opj_decompress takes them; four or more, or a first sampled unlike, are RGB of the first three.
TEST(J2kColour, ComponentsAreLumaAndChromaOnlyWherePlain)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> steps;
        TIOJ2000ColorSpace colourSpace;
    } cases[] = {
        {"four-420.j2k", {{1, 1}, {2, 2}, {2, 2}, {1, 1}}, ioJ2000_RGB},
        {"four-422.j2k", {{1, 1}, {2, 1}, {2, 1}, {2, 2}}, ioJ2000_RGB},
        {"five-420.j2k", {{1, 1}, {2, 2}, {2, 2}, {1, 1}, {1, 1}}, ioJ2000_RGB},
        {"first-unlike.j2k", {{1, 2}, {2, 2}, {2, 2}}, ioJ2000_RGB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = CompressRaw(folder, c.name, 24, 10, c.steps, "-n 2");
        ASSERT_FALSE(bytes.empty());
        ExpectAsOpjDecompressDecodes(folder, c.name, bytes, c.colourSpace);
    }
}

// A load of luma and chroma in tiles that stops, by the caller after its first tile or a third of
// them, in bands or one tile after another, in windows, or at the end of a file cut short, shows
// every pixel it wrote in colour, within 1 of opj_decompress's decoding of the whole file: those on
// a seam between tiles too, where a tile of 4:2:0 of odd size or origin starts between two chroma
// samples, once the tiles of all their samples are in; those whose chroma is not stay unwritten
// (black), as the tiles not decoded do.
TEST(J2kColour, PartialLoadsShowColours)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const std::string tiled =
        kvtest::CompressPlanes(folder, "tiled.jp2", 96, 48, 2, 2, 0, 0, "-t 32,16 -n 2");
    // 10 x 10 tiles of 33 x 17, the first of them starting before the picture.
    const std::string seams =
        kvtest::CompressPlanes(folder, "seams.j2k", 301, 157, 2, 2, 123, 7, "-t 33,17 -T 100,5 -n 2");
    ASSERT_FALSE(tiled.empty());
    ASSERT_FALSE(seams.empty());
    const kvtest::TPnmImage theirTiled = kvtest::OpjDecompressed(folder, "tiled-whole.jp2", tiled);
    const kvtest::TPnmImage theirSeams = kvtest::OpjDecompressed(folder, "seams-whole.j2k", seams);
    ASSERT_TRUE(theirTiled.Valid());
    ASSERT_TRUE(theirSeams.Valid());
    const struct
    {
        const char* name;
        std::string file;
        const kvtest::TPnmImage& theirs;
        size_t abortAt;
        bool oneCore;
        int64_t leastWritten;
    } cases[] = {
        {"stopped after the first tile", tiled, theirTiled, 1, false, 32 * 16},
        {"cut at three quarters", tiled.substr(0, tiled.size() * 3 / 4), theirTiled, 0, false, 32 * 16},
        {"windows stopped after the first", kvtest::WithHeaderBoxes(tiled, kvtest::J2kColourChannels()),
         theirTiled, 1, false, 32 * 16},
        {"bands stopped after a third", seams, theirSeams, 33, false, 300 * 156 / 5},
        {"tiles stopped after a third", seams, theirSeams, 33, true, 300 * 156 / 5},
        {"cut at 60%", seams.substr(0, seams.size() * 6 / 10), theirSeams, 0, false, 300 * 156 / 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<kvtest::TOnOneCore> oneCore;
        if (c.oneCore) {
            oneCore.emplace();
        }
        Decoded d;
        kvtest::TProgressNotes notes;
        notes.AbortAtUnit = c.abortAt;
        kvtest::DecodeNoting(c.file, d, notes);
        EXPECT_TRUE(d.Aborted);
        ASSERT_EQ(d.Bitmap.GetWidth(), c.theirs.Width);
        // A picture from an odd origin starts before its first chroma sample, which opj_decompress
        // leaves out.
        const int32_t from = &c.theirs == &theirSeams ? 1 : 0;
        int64_t written = 0, wrong = 0;
        for (int32_t y = from; y < c.theirs.Height; ++y) {
            for (int32_t x = from; x < c.theirs.Width; ++x) {
                const TRGB ours = d.Bitmap.GetPixels_kv24RGB(x, y);
                if (ours == TRGB{0, 0, 0}) {
                    continue;
                }
                ++written;
                const int32_t samples[3] = {ours.r, ours.g, ours.b};
                for (int32_t channel = 0; channel < 3; ++channel) {
                    wrong += std::abs(samples[channel] - c.theirs.At(x, y, channel)) > 1;
                }
            }
        }
        EXPECT_GE(written, c.leastWritten);
        EXPECT_EQ(wrong, 0);
    }
}
