// JPEG 2000 components on grids of their own: chroma sampled more coarsely than luma, in tiles
// and windows that start anywhere, decode as opj_decompress decodes them; and small precincts,
// whose small code-blocks lie in the small bands of the low resolutions, load.
#include "imaging/codecs/j2k/kvj2000.h"

#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using Decoded = kvtest::J2kDecoded;
using kvtest::DecodeJ2k;

// The file loads in that colour space, each sample within `most` of what opj_decompress makes of
// it, from pixel (fromX, fromY) on.
void ExpectAsOpjDecompressDecodes(const kvtest::TempFolder& folder, const std::string& name,
                                  const std::string& bytes, TIOJ2000ColorSpace colourSpace, int32_t fromX,
                                  int32_t fromY, int32_t most)
{
    const kvtest::TPnmImage theirs = kvtest::OpjDecompressed(folder, "their-" + name, bytes);
    ASSERT_TRUE(theirs.Valid());
    Decoded d;
    DecodeJ2k(bytes, d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.J2000_ColorSpace, colourSpace);
    EXPECT_EQ(d.Bitmap.GetPixelFormat(), kv24RGB);
    const int32_t difference =
        kvtest::MaxDifferenceWithin(theirs, d.Bitmap, fromX, fromY, theirs.Width, theirs.Height);
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, most);
}

} // namespace

// Luma and chroma at half width (4:2:2) or half width and height (4:2:0), in one tile and in
// tiles of odd sizes and origins, some narrower than a chroma sample, and in windows: each pixel
// takes the chroma sample at or before it, as opj_decompress gives it, within the rounding of the
// two conversions to RGB. A code stream has no colour box: chroma sampled more coarsely than luma
// tells its colours. opj_decompress gives pixels before the first chroma sample no chroma; ours
// take that sample, and are left out.
TEST(J2kComponents, SubsampledChromaDecodesAsOpjDecompressDoes)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        int32_t width, height, stepAcross, stepDown, x0, y0;
        const char* options;
        bool windows;
    } cases[] = {
        {"one-tile-422.jp2", 720, 243, 2, 1, 0, 0, "", false},
        {"odd-origin-422.j2k", 5, 12416, 2, 1, 123, 0, "", false},
        {"odd-tiles-420.jp2", 121, 45, 2, 2, 123, 7, "-t 33,17 -T 100,5 -n 2", false},
        {"odd-tiles-422.j2k", 121, 45, 2, 1, 0, 0, "-t 33,17 -n 2", false},
        {"one-pixel-tiles-420.j2k", 13, 9, 2, 2, 1, 1, "-t 1,3 -T 1,0 -n 1", false},
        {"windows-420.jp2", 121, 45, 2, 2, 123, 7, "-n 2", true},
        {"windows-of-tiles-422.jp2", 121, 45, 2, 1, 1, 0, "-t 33,17 -n 2", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = kvtest::CompressPlanes(folder, c.name, c.width, c.height, c.stepAcross,
                                                   c.stepDown, c.x0, c.y0, c.options);
        ASSERT_FALSE(bytes.empty());
        if (c.windows) {
            bytes = kvtest::WithHeaderBoxes(bytes, kvtest::J2kIdentityPalette());
        }
        const int32_t fromX = c.x0 % c.stepAcross == 0 ? 0 : c.stepAcross - c.x0 % c.stepAcross;
        const int32_t fromY = c.y0 % c.stepDown == 0 ? 0 : c.stepDown - c.y0 % c.stepDown;
        ExpectAsOpjDecompressDecodes(folder, c.name, bytes, ioJ2000_YCbCr, fromX, fromY, 1);
    }
}

namespace {

void Put16(std::string& bytes, uint32_t value)
{
    bytes += {char(value >> 8), char(value)};
}

void Put32(std::string& bytes, uint32_t value)
{
    Put16(bytes, value >> 16);
    Put16(bytes, value & 0xFFFF);
}

// A code stream of one tile of three 8-bit components, no decomposition and precincts of one
// sample, so code-blocks of one sample; its one packet a component is empty.
std::string OneSampleBlocks(uint32_t width, uint32_t height)
{
    std::string bytes;
    Put16(bytes, 0xFF4F);
    Put16(bytes, 0xFF51);
    Put16(bytes, 38 + 3 * 3);
    Put16(bytes, 0);
    for (uint32_t value : {width, height, 0u, 0u, width, height, 0u, 0u}) {
        Put32(bytes, value);
    }
    Put16(bytes, 3);
    for (int32_t c = 0; c < 3; ++c) {
        bytes += std::string("\x07\x01\x01", 3);
    }
    // COD: own precincts, LRCP, one layer, no transform, no decomposition, 64 x 64 code-blocks,
    // 5-3 wavelet, a precinct of 2^0 x 2^0; QCD: no quantization.
    bytes += std::string("\xFF\x52\x00\x0D\x01\x00\x00\x01\x00\x00\x04\x04\x00\x01\x00", 15);
    bytes += std::string("\xFF\x5C\x00\x04\x40\x48", 6);
    Put16(bytes, 0xFF90);
    Put16(bytes, 10);
    Put16(bytes, 0);
    Put32(bytes, 14 + 3);
    Put16(bytes, 0x0001);
    Put16(bytes, 0xFF93);
    bytes += std::string(3, '\0');
    Put16(bytes, 0xFFD9);
    return bytes;
}

} // namespace

// Small precincts bound the code-blocks of the low resolutions, whose bands are small: pictures
// of them load, in one tile and in tiles, as opj_decompress decodes them. Blocks of one sample at
// the full resolution of an 8000 x 8000 tile would take their records past the budget: refused,
// before the library makes one.
TEST(J2kComponents, SmallPrecinctsOfLowResolutionsLoad)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        int32_t width, height, stepAcross;
        const char* options;
        TIOJ2000ColorSpace colourSpace;
        int32_t mostDifference;
    } cases[] = {
        {"one-tile-422.jp2", 720, 243, 2, "-c [32,32]", ioJ2000_YCbCr, 1},
        {"one-tile-rgb.j2k", 400, 300, 1, "-c [32,32]", ioJ2000_RGB, 0},
        {"tiles-rgb.j2k", 1024, 512, 1, "-t 512,512 -c [32,32]", ioJ2000_RGB, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes =
            kvtest::CompressPlanes(folder, c.name, c.width, c.height, c.stepAcross, 1, 0, 0, c.options);
        ASSERT_FALSE(bytes.empty());
        ExpectAsOpjDecompressDecodes(folder, c.name, bytes, c.colourSpace, 0, 0, c.mostDifference);
    }

    Decoded small;
    DecodeJ2k(OneSampleBlocks(64, 48), small);
    EXPECT_FALSE(small.Aborted);
    EXPECT_EQ(small.Bitmap.GetPixels_kv24RGB(63, 47), (TRGB{128, 128, 128}));
    const std::string blocks = OneSampleBlocks(8000, 8000);
    Decoded refused;
    EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(blocks, refused); }), 64 * 1024);
    EXPECT_TRUE(refused.Aborted);
}
