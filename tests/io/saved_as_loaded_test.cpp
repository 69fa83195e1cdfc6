// A picture saved is the picture loaded: one-bit saves of every writer that writes one bit, the
// transparency of one-bit PNG files, and GIF frames at an offset or with a transparent colour
// they do not use. Every saved file is read by a standard tool.
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

// Loads a file, saves it under the name given and returns the saved file's name.
std::string LoadAndSave(const std::string& source, const std::string& saved)
{
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.LoadFromFile(source);
    EXPECT_FALSE(io.Aborting);
    io.SaveToFile(saved);
    EXPECT_FALSE(io.Aborting);
    return saved;
}

} // namespace

// A 24-bit picture saved with one bit per sample: black stays black and white white, and a colour
// alone stays that colour where the format has a palette (WBMP shows it by its grey).
TEST(OneBitSaves, PicturesOfOneOrTwoColoursKeepThemInEveryWriter)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "pcxtoppm"}));
    const TRGB black{0, 0, 0}, white{255, 255, 255}, red{40, 30, 200};
    const struct
    {
        const char* name;
        std::vector<TRGB> colours;
    } pictures[] = {
        {"black", {black}}, {"white", {white}}, {"black and white", {white, black}}, {"one colour", {red}}};
    const char* formats[] = {"gif", "png", "bmp", "pcx", "tif", "wbmp", "ico"};
    kvtest::TempFolder folder;
    for (const auto& picture : pictures) {
        for (const char* format : formats) {
            SCOPED_TRACE(std::string(picture.name) + " as " + format);
            TKorvaneIO io(nullptr);
            PlugLzwCoders(io);
            TKVBitmap& bitmap = *io.KVBitmap();
            bitmap.Allocate(13, 5, kv24RGB);
            for (int32_t y = 0; y < 5; ++y) {
                for (int32_t x = 0; x < 13; ++x) {
                    bitmap.SetPixels_kv24RGB(x, y, picture.colours[size_t(x * y) % picture.colours.size()]);
                }
            }
            io.Params().BitsPerSample = 1;
            io.Params().SamplesPerPixel = 1;
            io.Params().ICO_Sizes[0][0] = 13;
            io.Params().ICO_Sizes[0][1] = 5;
            io.Params().ICO_BitCount[0] = 1;
            RgbaBytes expected = LoadedRgba(bitmap);
            if (std::string(format) == "wbmp") {
                for (size_t i = 0; i < expected.size(); i += 4) {
                    const uint8_t level =
                        expected[i + 2] * 8 + expected[i + 1] * 71 + expected[i] * 21 < 12800 ? 0 : 255;
                    expected[i] = expected[i + 1] = expected[i + 2] = level;
                }
            }
            const std::string file = folder.File(std::string("picture.") + format);
            io.SaveToFile(file);
            ASSERT_FALSE(io.Aborting);
            EXPECT_EQ(Differences(expected, ToolRgba(file)), 0);
        }
    }
}

// A one-bit palette PNG with a transparent entry keeps its transparency at one bit: two colours,
// one of them transparent, a 1 x 1 picture whose only entry is transparent (their pixels are
// compared in LosslessRoundTrip), and a black-and-white picture whose black a caller made
// transparent.
TEST(OneBitSaves, PngTransparencyStaysAtOneBit)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "pnmtopng", "pngcheck"}));
    kvtest::TempFolder folder;
    auto expectTransparentOneBit = [](const std::string& saved) {
        EXPECT_EQ(kvtest::ToolOutput("/usr/bin/convert " + saved + " -format '%[opaque]' info:"), "false");
        const std::string check = kvtest::ToolOutput("pngcheck -v " + saved);
        EXPECT_NE(check.find("1-bit palette"), std::string::npos) << check;
        EXPECT_NE(check.find("tRNS"), std::string::npos) << check;
    };
    const std::string cases[] = {
        "/usr/bin/convert -size 6x3 xc:red -fill blue -draw 'rectangle 3,0 5,2' -depth 8 ppm:- | "
        "pnmtopng -transparent red",
        "/usr/bin/convert -size 1x1 xc:red -depth 8 ppm:- | pnmtopng -transparent red",
    };
    for (const std::string& command : cases) {
        SCOPED_TRACE(command);
        const std::string source = folder.File("source.png");
        ASSERT_EQ(kvtest::ToolExitCode(command + " > " + source), 0);
        expectTransparentOneBit(LoadAndSave(source, folder.File("saved.png")));
    }

    TKorvaneIO io(nullptr);
    TKVBitmap& bitmap = *io.KVBitmap();
    bitmap.Allocate(13, 5, kv1g);
    for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 13; ++x) {
            bitmap.SetPixels_kv1g(x, y, (x + y) % 3 != 0);
            bitmap.SetAlpha(x, y, (x + y) % 3 != 0 ? 255 : 0);
        }
    }
    io.Params().BitsPerSample = 1;
    io.Params().SamplesPerPixel = 1;
    const std::string saved = folder.File("caller.png");
    io.SaveToFile(saved);
    ASSERT_FALSE(io.Aborting);
    expectTransparentOneBit(saved);
    EXPECT_EQ(Differences(LoadedRgba(bitmap), ImageMagickRgba(saved)), 0);
}

// The first frame of an animation, 16 x 16 at (5, 10) of a 32 x 32 screen, gets a screen that holds
// it; a transparent colour that no pixel of a frame uses makes no holes when it is saved.
TEST(GifSaves, FramesKeepTheirPlaceAndTheirOpaquePixels)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifsicle", "gifbuild"}));
    kvtest::TempFolder folder;
    const std::string offset = folder.File("offset.gif");
    ASSERT_EQ(kvtest::ToolExitCode(
                  "/usr/bin/convert -seed 2 -size 16x16 plasma: -colors 8 -repage 32x32+5+10 " + offset),
              0);
    const std::string placed = LoadAndSave(offset, folder.File("placed.gif"));
    const std::string info = kvtest::ToolOutput("gifsicle --info " + placed);
    EXPECT_NE(info.find("logical screen 21x26"), std::string::npos) << info;
    EXPECT_NE(info.find("image #0 16x16 at 5,10"), std::string::npos) << info;
    EXPECT_EQ(Differences(ImageMagickRgba(offset), ImageMagickRgba(placed)), 0);

    // Both frames flag green (index 2) transparent; only the second has green pixels.
    const std::string animation = folder.File("animation.gif");
    ASSERT_TRUE(WriteGifWithLateTransparency(animation));
    ASSERT_EQ(kvtest::ToolOutput("/usr/bin/convert '" + animation + "[0]' -format '%[opaque]' info:"),
              "true");
    const std::string opaque = LoadAndSave(animation, folder.File("opaque.gif"));
    EXPECT_EQ(Differences(ImageMagickRgba(animation), ImageMagickRgba(opaque)), 0);
    EXPECT_EQ(kvtest::ToolOutput("/usr/bin/convert " + opaque + " -format '%[opaque]' info:"), "true");

    // A transparent colour the caller asks for (the save dialog's) still makes its pixels holes.
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.LoadFromFile(animation);
    io.Params().GIF_FlagTranspColor = true;
    io.Params().GIF_TranspColor = TRGB{0, 0, 255};
    const std::string red = folder.File("red.gif");
    io.SaveToFile(red);
    EXPECT_EQ(kvtest::ToolOutput("/usr/bin/convert " + red + " -alpha extract -format '%[fx:mean*w*h]' info:"), "4");
}
