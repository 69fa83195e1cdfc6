// JPEG 2000 colours: the colour boxes that name grey, RGB or YCbCr load in those colours, and the
// others are refused; a load of luma and chroma cut short shows the colours of what it decoded.
#include "imaging/codecs/j2k/kvj2000.h"

#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Decoded = kvtest::J2kDecoded;
using kvtest::CompressRaw;
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

// The file loads in that colour space, each pixel as opj_decompress decodes it, or within the
// tolerance (its conversion of luma and chroma rounds otherwise).
void ExpectAsOpjDecompressDecodes(const kvtest::TempFolder& folder, const std::string& name,
                                  const std::string& bytes, TIOJ2000ColorSpace colourSpace,
                                  int32_t tolerance = 0)
{
    const kvtest::TPnmImage theirs = kvtest::OpjDecompressed(folder, name, bytes);
    ASSERT_TRUE(theirs.Valid());
    Decoded d;
    DecodeJ2k(bytes, d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.J2000_ColorSpace, colourSpace);
    const int32_t difference = kvtest::MaxDifference(d.Bitmap, theirs);
    EXPECT_TRUE(difference >= 0 && difference <= tolerance) << difference;
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
        {"windows stopped after the first", kvtest::WithHeaderBoxes(tiled, kvtest::J2kIdentityPalette()),
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

// A JP2 file's channel definitions name each channel's colour, and its opacity: the reader takes
// the colour channels in the place their colours give them, as opj_decompress does, in whatever
// order they lie and are listed, with one opacity channel or more, premultiplied or not, or a
// channel of no type; in bands of tiles, tile after tile and in one tile.
TEST(J2kColour, ChannelDefinitionsPlaceTheColours)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        int32_t components;
        std::vector<kvtest::TJ2kChannel> channels;
        TIOJ2000ColorSpace colourSpace;
    } definitions[] = {
        {"rgba", 4, {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 1, 0}}, ioJ2000_RGB},
        {"bgra", 4, {{0, 0, 3}, {1, 0, 2}, {2, 0, 1}, {3, 1, 0}}, ioJ2000_RGB},
        {"argb", 4, {{0, 1, 0}, {1, 0, 1}, {2, 0, 2}, {3, 0, 3}}, ioJ2000_RGB},
        {"premultiplied, listed out of order", 4, {{3, 2, 0}, {2, 0, 3}, {0, 0, 1}, {1, 0, 2}}, ioJ2000_RGB},
        {"no type", 4, {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 65535, 65535}}, ioJ2000_RGB},
        {"grey and alpha", 2, {{0, 0, 1}, {1, 1, 0}}, ioJ2000_GRAYLEV},
        {"alpha and grey", 2, {{0, 1, 0}, {1, 0, 1}}, ioJ2000_GRAYLEV},
    };
    const struct
    {
        const char* name;
        int32_t width, height;
        const char* options;
    } layouts[] = {
        {"bands", 300, 200, "-t 32,32 -n 2"},
        {"tile after tile", 100, 80, "-t 32,32 -n 2"},
        {"one tile", 300, 200, "-n 3"},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        for (int32_t components : {2, 4}) {
            // opj_compress marks three components or more sYCC.
            const std::string bytes =
                kvtest::WithColourBox(CompressRaw(folder, "plain.jp2", layout.width, layout.height,
                                                  components, std::string("-mct 0 ") + layout.options),
                                      Enumerated(components == 4 ? 16 : 17));
            for (const auto& d : definitions) {
                if (d.components != components) {
                    continue;
                }
                SCOPED_TRACE(d.name);
                const std::string file =
                    kvtest::WithHeaderBoxes(bytes, kvtest::J2kChannelDefinitions(d.channels));
                ExpectAsOpjDecompressDecodes(folder, "defined.jp2", file, d.colourSpace);
            }
        }
    }
}

namespace {

// The file with the boxes of those types, in that order, moved out of its header box to the place.
std::string MovedOut(std::string file, std::initializer_list<const char*> types, kvtest::TBoxPlace place)
{
    for (const char* type : types) {
        file = kvtest::WithBoxMovedOut(file, type, place);
    }
    return file;
}

// A palette of 256 colours, entry k of its own colour, with a mapping of one component through
// its three 8-bit columns.
std::string ColourPalette()
{
    std::string palette("\x01\x00\x03\x07\x07\x07", 6);
    for (int32_t k = 0; k < 256; ++k) {
        palette += {char(k), char(255 - k), char(k * 7)};
    }
    return kvtest::J2kBox("pclr", palette) +
           kvtest::J2kBox("cmap", std::string("\0\0\x01\0\0\0\x01\x01\0\0\x01\x02", 12));
}

} // namespace

// The palette, mapping, channel definitions and colour box of a JP2 file count where the library
// reads them, as opj_decompress decodes the file: in the header box, at the top level after it (as
// one encoder writes the mapping), or in a header box of their own after it; before the header
// box, or after the code stream, they change nothing.
TEST(J2kColour, BoxesOutsideTheHeaderBoxCountWhereTheLibraryReadsThem)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const std::string indexes = CompressRaw(folder, "indexes.jp2", 24, 10, 1, "-n 2");
    const std::string three = CompressRaw(folder, "three.jp2", 24, 10, 3, "-mct 0 -n 2");
    const std::string four = CompressRaw(folder, "four.jp2", 24, 10, 4, "-mct 0 -n 2");
    ASSERT_FALSE(indexes.empty() || three.empty() || four.empty());
    const std::string palette =
        kvtest::WithHeaderBoxes(kvtest::WithColourBox(indexes, Enumerated(16)), ColourPalette());
    const std::string swapped =
        kvtest::WithHeaderBoxes(kvtest::WithColourBox(three, Enumerated(16)),
                                kvtest::J2kChannelDefinitions({{0, 0, 3}, {1, 0, 2}, {2, 0, 1}}));
    const std::string alphaFirst =
        kvtest::WithHeaderBoxes(kvtest::WithColourBox(four, Enumerated(16)),
                                kvtest::J2kChannelDefinitions({{0, 1, 0}, {1, 0, 1}, {2, 0, 2}, {3, 0, 3}}));
    const std::string ycc = kvtest::WithColourBox(three, Enumerated(18));
    using enum kvtest::TBoxPlace;
    const struct
    {
        const char* name;
        std::string file;
        TIOJ2000ColorSpace colourSpace;
    } cases[] = {
        {"mapping after the header box", MovedOut(palette, {"cmap"}, AfterHeader), ioJ2000_RGB},
        {"palette and mapping after the header box", MovedOut(palette, {"pclr", "cmap"}, AfterHeader),
         ioJ2000_RGB},
        {"palette and mapping in header boxes of their own", MovedOut(palette, {"pclr", "cmap"}, OwnHeader),
         ioJ2000_RGB},
        {"mapping before the header box", MovedOut(palette, {"cmap"}, BeforeHeader), ioJ2000_GRAYLEV},
        {"palette and mapping after the code stream", MovedOut(palette, {"pclr", "cmap"}, AfterCodeStream),
         ioJ2000_GRAYLEV},
        {"red and blue swapped after the header box", MovedOut(swapped, {"cdef"}, AfterHeader), ioJ2000_RGB},
        {"alpha first after the header box", MovedOut(alphaFirst, {"cdef"}, AfterHeader), ioJ2000_RGB},
        {"alpha first in a header box of its own", MovedOut(alphaFirst, {"cdef"}, OwnHeader), ioJ2000_RGB},
        {"red and blue swapped before the header box", MovedOut(swapped, {"cdef"}, BeforeHeader),
         ioJ2000_RGB},
        {"red and blue swapped after the code stream", MovedOut(swapped, {"cdef"}, AfterCodeStream),
         ioJ2000_RGB},
        {"sYCC after the header box", MovedOut(ycc, {"colr"}, AfterHeader), ioJ2000_YCbCr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectAsOpjDecompressDecodes(folder, "moved.jp2", c.file, c.colourSpace,
                                     c.colourSpace == ioJ2000_YCbCr ? 1 : 0);
    }
}

namespace {

// A palette of one entry in three 8-bit columns, and a mapping of its three channels: each the
// component, the type and the column given.
std::string PaletteMapping(const std::vector<std::array<uint8_t, 3>>& mappings)
{
    std::string mapping;
    for (const auto& [component, type, column] : mappings) {
        mapping += {0, char(component), char(type), char(column)};
    }
    return kvtest::J2kBox("pclr", std::string("\x00\x01\x03\x07\x07\x07\x00\x00\x00", 9)) +
           kvtest::J2kBox("cmap", mapping);
}

} // namespace

// What the boxes alone decide, in the header box or after it, is refused before the library decodes
// a tile, as it is for the headers alone: channel definitions that leave a channel out, under a
// colour box of a method of its own (as OpenJPEG's issue397.jp2 has them), that name a channel or a
// colour past the channels, or that leave no colour; a mapping of a component that is not there, or
// of two channels to one palette column. The library finds each only once it has decoded the
// picture: a picture of 12000 x 8000 in one tile of a few bytes would cost the buffers of its first
// window of 32 MB, and costs nothing; opj_compress's picture is refused all the same. A channel
// taken straight from a chroma component sampled more coarsely than the first channel's luma is
// refused too: the library would copy the luma's count of samples out of it and into its buffer.
TEST(J2kColour, BoxesThatDoNotFitTheComponentsAreRefusedBeforeDecoding)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string small = CompressRaw(folder, "four.jp2", 24, 10, 4, "-mct 0 -n 2");
    const std::string coarse = CompressRaw(folder, "coarse.jp2", 24, 10, {{1, 1}, {2, 2}, {2, 2}}, "-n 2");
    ASSERT_FALSE(small.empty());
    ASSERT_FALSE(coarse.empty());
    const std::string huge =
        kvtest::J2kFileOf(kvtest::EmptyTiles(12000, 8000, 4, 12000, 8000), 12000, 8000, 4);
    const std::string methodOfItsOwn("\xFE\x00\x00\x00\x00\x00\x10", 7);
    const std::vector<const std::string*> alike = {&small, &huge};
    const struct
    {
        const char* name;
        std::string boxes;
        bool methodOfItsOwn;
        std::vector<const std::string*> files;
    } cases[] = {
        {"a channel left out", kvtest::J2kChannelDefinitions({{0, 0, 1}, {1, 0, 2}, {2, 0, 3}}), true, alike},
        {"a channel past the channels",
         kvtest::J2kChannelDefinitions({{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 1, 0}, {7, 1, 0}}), false,
         alike},
        {"a colour past the channels",
         kvtest::J2kChannelDefinitions({{0, 0, 1}, {1, 0, 2}, {2, 0, 5}, {3, 1, 0}}), false, alike},
        {"no colour", kvtest::J2kChannelDefinitions({{0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {3, 1, 0}}), false,
         alike},
        {"a component that is not there", PaletteMapping({{0, 0, 0}, {1, 0, 0}, {7, 0, 0}}), false, alike},
        {"two channels to one column", PaletteMapping({{0, 1, 0}, {0, 1, 0}, {0, 1, 2}}), false, alike},
        {"chroma taken straight after luma",
         PaletteMapping({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}),
         false,
         {&coarse}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string* base : c.files) {
            std::string inside = kvtest::WithHeaderBoxes(*base, c.boxes);
            if (c.methodOfItsOwn) {
                inside = kvtest::WithColourBox(inside, methodOfItsOwn);
            }
            const std::string files[] = {
                inside, MovedOut(inside, {"pclr", "cmap", "cdef"}, kvtest::TBoxPlace::AfterHeader)};
            for (const std::string& file : files) {
                SCOPED_TRACE(&file == files ? "in the header box" : "after it");
                for (bool paramsOnly : {false, true}) {
                    Decoded d;
                    EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(file, d, paramsOnly); }), 4 * 1024);
                    EXPECT_TRUE(d.Aborted);
                    EXPECT_EQ(d.Bitmap.GetWidth(), 0);
                }
            }
        }
    }
}
