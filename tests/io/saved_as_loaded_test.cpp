// A picture saved is the picture loaded, as a standard tool reads the saved file: one-bit saves of
// every writer that writes one bit, one-bit PNG transparency, and GIF frames at an offset (alone
// and as an animation) or with a transparent colour they do not use.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "tests/io/io_test_support.h"
#include "tests/io/rgba_pictures.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace kviotest;

namespace {

// Loads a file, lets adjust change its parameters, saves it under the name given and returns that.
std::string LoadAndSave(const std::string& source, const std::string& saved,
                        const std::function<void(TIOParamsVals&)>& adjust = {})
{
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.LoadFromFile(source);
    EXPECT_FALSE(io.Aborting);
    if (adjust)
        adjust(io.Params());
    io.SaveToFile(saved);
    EXPECT_FALSE(io.Aborting);
    return saved;
}

// As LoadAndSave, every frame of a GIF through a thumbnail view and its multi-image component.
std::string LoadAndSaveFrames(const std::string& source, const std::string& saved)
{
    const TGIFLZWDecompFunc decompress = Korvaneio::DefGIF_LZWDECOMPFUNC;
    const TGIFLZWCompFunc compress = Korvaneio::DefGIF_LZWCOMPFUNC;
    Korvaneio::DefGIF_LZWDECOMPFUNC = Giflzw::GIFLZWDecompress;
    Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress;
    {
        TKorvaneMView view(nullptr);
        TKorvaneMIO& mio = *view.GetKorvaneMIO();
        mio.LoadFromFile(source);
        EXPECT_FALSE(mio.Aborting);
        mio.SaveToFile(saved);
        EXPECT_FALSE(mio.Aborting);
    }
    Korvaneio::DefGIF_LZWDECOMPFUNC = decompress;
    Korvaneio::DefGIF_LZWCOMPFUNC = compress;
    return saved;
}

// ImageMagick's reading of a -format query (as '%[opaque]') on the first picture of a file.
std::string ImageMagickSays(const std::string& file, const std::string& query)
{
    return kvtest::ToolOutput("/usr/bin/convert '" + file + "[0]' " + query + " info:");
}

} // namespace

// Black stays black and white white, and a colour alone stays that colour where the format has a
// palette (WBMP shows it by its grey).
TEST(OneBitSaves, PicturesOfOneOrTwoColoursKeepThemInEveryWriter)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "pcxtoppm"}));
    const TRGB black{0, 0, 0}, white{255, 255, 255}, red{40, 30, 200};
    const std::vector<std::pair<std::string, std::vector<TRGB>>> pictures = {
        {"black", {black}}, {"white", {white}}, {"black and white", {white, black}}, {"one colour", {red}}};
    kvtest::TempFolder folder;
    for (const auto& [name, colours] : pictures) {
        for (const std::string format : {"gif", "png", "bmp", "pcx", "tif", "wbmp", "ico"}) {
            SCOPED_TRACE(name + " as " + format);
            TKorvaneIO io(nullptr);
            PlugLzwCoders(io);
            TKVBitmap& bitmap = *io.KVBitmap();
            bitmap.Allocate(13, 5, kv24RGB);
            for (int32_t y = 0; y < 5; ++y) {
                for (int32_t x = 0; x < 13; ++x) {
                    bitmap.SetPixels_kv24RGB(x, y, colours[size_t(x * y) % colours.size()]);
                }
            }
            io.Params().BitsPerSample = io.Params().SamplesPerPixel = 1;
            io.Params().ICO_Sizes[0][0] = 13;
            io.Params().ICO_Sizes[0][1] = 5;
            io.Params().ICO_BitCount[0] = 1;
            RgbaBytes expected = LoadedRgba(bitmap);
            for (size_t i = 0; format == "wbmp" && i < expected.size(); i += 4) {
                const uint8_t level =
                    expected[i + 2] * 8 + expected[i + 1] * 71 + expected[i] * 21 < 12800 ? 0 : 255;
                expected[i] = expected[i + 1] = expected[i + 2] = level;
            }
            const std::string file = folder.File("picture." + format);
            io.SaveToFile(file);
            ASSERT_FALSE(io.Aborting);
            EXPECT_EQ(Differences(expected, ToolRgba(file)), 0);
        }
    }
}

// Two colours, one of them transparent; a 1 x 1 picture whose only entry is transparent; and a
// black-and-white picture whose black a caller made transparent.
TEST(OneBitSaves, PngTransparencyStaysAtOneBit)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "pnmtopng", "pngcheck"}));
    kvtest::TempFolder folder;
    auto expectTransparentOneBit = [](const std::string& saved) {
        EXPECT_EQ(ImageMagickSays(saved, "-format '%[opaque]'"), "false");
        const std::string check = kvtest::ToolOutput("pngcheck -v " + saved);
        EXPECT_NE(check.find("1-bit palette"), std::string::npos) << check;
        EXPECT_NE(check.find("tRNS"), std::string::npos) << check;
    };
    for (const std::string picture :
         {"-size 6x3 xc:red -fill blue -draw 'rectangle 3,0 5,2'", "-size 1x1 xc:red"}) {
        SCOPED_TRACE(picture);
        const std::string source = folder.File("source.png");
        ASSERT_EQ(kvtest::ToolExitCode("/usr/bin/convert " + picture +
                                       " -depth 8 ppm:- | pnmtopng -transparent red > " + source),
                  0);
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
    io.Params().BitsPerSample = io.Params().SamplesPerPixel = 1;
    const std::string saved = folder.File("caller.png");
    io.SaveToFile(saved);
    ASSERT_FALSE(io.Aborting);
    expectTransparentOneBit(saved);
    EXPECT_EQ(Differences(LoadedRgba(bitmap), ImageMagickRgba(saved)), 0);
}

// A first frame 16 x 16 at (5, 10) of a 32 x 32 screen keeps its place. Saved alone as a picture it
// gets the screen that holds it; saved as an animation it keeps the file's screen, which the
// frames after it may fill. A transparent colour no pixel of a frame uses makes no holes, one the
// caller asks for does.
TEST(GifSaves, FramesKeepTheirPlaceAndTheirOpaquePixels)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifsicle", "gifbuild"}));
    kvtest::TempFolder folder;
    const std::string offset = folder.File("offset.gif");
    ASSERT_EQ(kvtest::ToolExitCode(
                  "/usr/bin/convert -seed 2 -size 16x16 plasma: -colors 8 -repage 32x32+5+10 " + offset),
              0);
    const std::pair<std::string, const char*> saves[] = {
        {LoadAndSave(offset, folder.File("placed.gif")), "logical screen 21x26"},
        {LoadAndSaveFrames(offset, folder.File("frames.gif")), "logical screen 32x32"},
    };
    for (const auto& [placed, screen] : saves) {
        SCOPED_TRACE(placed);
        const std::string info = kvtest::ToolOutput("gifsicle --info " + placed);
        EXPECT_NE(info.find(screen), std::string::npos) << info;
        EXPECT_NE(info.find("image #0 16x16 at 5,10"), std::string::npos) << info;
        EXPECT_EQ(Differences(ImageMagickRgba(offset), ImageMagickRgba(placed)), 0);
    }

    const std::string animation = folder.File("animation.gif");
    ASSERT_TRUE(WriteGifWithLateTransparency(animation));
    ASSERT_EQ(ImageMagickSays(animation, "-format '%[opaque]'"), "true");
    const std::string opaque = LoadAndSave(animation, folder.File("opaque.gif"));
    EXPECT_EQ(Differences(ImageMagickRgba(animation), ImageMagickRgba(opaque)), 0);
    EXPECT_EQ(ImageMagickSays(opaque, "-format '%[opaque]'"), "true");

    const std::string blue = LoadAndSave(animation, folder.File("blue.gif"), [](TIOParamsVals& params) {
        params.GIF_FlagTranspColor = true;
        params.GIF_TranspColor = TRGB{0, 0, 255};
    });
    EXPECT_EQ(ImageMagickSays(blue, "-alpha extract -format '%[fx:mean*w*h]'"), "4");
}
