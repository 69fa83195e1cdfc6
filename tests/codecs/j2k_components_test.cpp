// JPEG 2000 components on grids of their own: chroma sampled more coarsely than luma, in tiles
// and windows that start anywhere, decode as opj_decompress decodes them; and small precincts,
// whose small code-blocks lie in the small bands of the low resolutions, load.
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

// Channel definitions of three colour channels, which the library applies only to a picture or a
// window of it decoded whole: the reader then decodes in windows.
std::string ColourChannels()
{
    std::string contents = {0, 3};
    for (char channel = 0; channel < 3; ++channel) {
        contents += {0, channel, 0, 0, 0, char(channel + 1)};
    }
    return kvtest::J2kBox("cdef", contents);
}

// opj_compress's file of the luma and chroma planes, its origin at (x0, y0); opj_compress marks
// a JP2 file of subsampled chroma sYCC.
std::string CompressPlanes(const kvtest::TempFolder& folder, const std::string& name, int32_t width,
                           int32_t height, int32_t stepAcross, int32_t stepDown, int32_t x0, int32_t y0,
                           const std::string& options)
{
    const std::string raw =
        folder.Write(name + ".raw", kvtest::YccPlanes(width, height, stepAcross, stepDown));
    const std::string steps = std::to_string(stepAcross) + "x" + std::to_string(stepDown);
    const std::string file = folder.File(name);
    const std::string command = "opj_compress -i " + raw + " -o " + file + " -F " + std::to_string(width) +
                                "," + std::to_string(height) + ",3,8,u@1x1:" + steps + ":" + steps + " -d " +
                                std::to_string(x0) + "," + std::to_string(y0) + " " + options;
    return kvtest::ToolOutput(command).empty() ? std::string() : kvtest::TempFolder::Read(file);
}

kvtest::TPnmImage OpjDecompressed(const kvtest::TempFolder& folder, const std::string& name,
                                  const std::string& bytes)
{
    const std::string file = folder.Write(name, bytes), decoded = folder.File(name + ".ppm");
    if (kvtest::ToolOutput("opj_decompress -upsample -i " + file + " -o " + decoded).empty()) {
        return {};
    }
    return kvtest::ParsePnm(kvtest::TempFolder::Read(decoded));
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
        std::string bytes = CompressPlanes(folder, c.name, c.width, c.height, c.stepAcross, c.stepDown, c.x0,
                                           c.y0, c.options);
        ASSERT_FALSE(bytes.empty());
        if (c.windows) {
            bytes = kvtest::WithHeaderBoxes(bytes, ColourChannels());
        }
        const kvtest::TPnmImage theirs = OpjDecompressed(folder, std::string("their-") + c.name, bytes);
        ASSERT_TRUE(theirs.Valid());
        Decoded d;
        DecodeJ2k(bytes, d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Params.J2000_ColorSpace, ioJ2000_YCbCr);
        EXPECT_EQ(d.Bitmap.GetPixelFormat(), kv24RGB);
        const int32_t fromX = c.x0 % c.stepAcross == 0 ? 0 : c.stepAcross - c.x0 % c.stepAcross;
        const int32_t fromY = c.y0 % c.stepDown == 0 ? 0 : c.stepDown - c.y0 % c.stepDown;
        EXPECT_LE(kvtest::MaxDifferenceFrom(theirs, d.Bitmap, fromX, fromY), 1);
        EXPECT_GE(kvtest::MaxDifferenceFrom(theirs, d.Bitmap, fromX, fromY), 0);
    }
}
