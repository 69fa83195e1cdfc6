// The GIF and BMP front ends: frame choice and count, transparency and background of GIF files,
// GIF files saved again unchanged, BMP data lengths, and broken files of both formats.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/io/rgba_pictures.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kviotest;

namespace {

::testing::AssertionResult HaveSuite()
{
    return kvtest::Installed(PixbufImage("gif-test-suite/TESTS"));
}

// The alpha value of a pixel, 255 where the picture has no alpha channel.
int32_t AlphaAt(TKVBitmap& bitmap, int32_t x, int32_t y)
{
    return bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel()->GetPixels_kv8(x, y) : 255;
}

bool SameAlpha(TKVBitmap& a, TKVBitmap& b)
{
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        for (int32_t x = 0; x < a.GetWidth(); ++x) {
            if (AlphaAt(a, x, y) != AlphaAt(b, x, y)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

TEST(GifFrontEnd, ReturnsTheFrameCountAndShowsTheChosenFrame)
{
    ASSERT_TRUE(HaveSuite());
    const std::string name = PixbufImage("gif-test-suite/animation.gif");
    TMemoryStream stream;
    stream.LoadFromFile(name);
    for (int32_t frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(frame);
        // Each frame covers the whole 2 x 2 screen, so it shows as stored.
        const std::string rgba =
            FileBytes(PixbufImage("gif-test-suite/animation." + std::to_string(frame) + ".rgba"));
        ASSERT_EQ(rgba.size(), 16u);

        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        io.Params().GIF_ImageIndex = frame;
        EXPECT_EQ(io.LoadFromFileGif(name), 4);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, 2);
        EXPECT_EQ(io.Params().FileName, name);
        for (int32_t i = 0; i < 4; ++i) {
            const TRGB pixel = io.KVBitmap()->GetPixels(i % 2, i / 2);
            EXPECT_EQ(pixel.r, uint8_t(rgba[i * 4]));
            EXPECT_EQ(pixel.g, uint8_t(rgba[i * 4 + 1]));
            EXPECT_EQ(pixel.b, uint8_t(rgba[i * 4 + 2]));
        }

        TKorvaneIO fromStream(nullptr);
        PlugLzwCoders(fromStream);
        fromStream.Params().GIF_ImageIndex = frame;
        stream.SetPosition(0);
        EXPECT_EQ(fromStream.LoadFromStreamGif(stream), 4);
        EXPECT_FALSE(fromStream.Aborting);
        EXPECT_EQ(fromStream.Params().FileName, "");
        EXPECT_TRUE(SamePixels(*fromStream.KVBitmap(), *io.KVBitmap()));
    }

    // Without the LZW decoder nothing is read, and the count says so.
    TKorvaneIO io(nullptr);
    TEventLog events;
    events.Attach(io);
    EXPECT_EQ(io.LoadFromFileGif(name), 0);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
}

TEST(GifFrontEnd, TransparencyBecomesAlphaAndTheBackgroundFollowsIt)
{
    ASSERT_TRUE(HaveSuite());
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.LoadFromFile(PixbufImage("gif-test-suite/transparent.gif"));
    ASSERT_FALSE(io.Aborting);
    const std::string rgba = FileBytes(PixbufImage("gif-test-suite/four-colors-transparent.rgba"));
    ASSERT_EQ(rgba.size(), 16u);
    ASSERT_TRUE(io.KVBitmap()->GetHasAlphaChannel());
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(AlphaAt(*io.KVBitmap(), i % 2, i / 2), uint8_t(rgba[i * 4 + 3]) == 0 ? 0 : 255);
    }
    ASSERT_TRUE(io.Params().GIF_FlagTranspColor);
    EXPECT_EQ(io.GetReBackground(), Korvaneproc::TRGB2TColor(io.Params().GIF_TranspColor));

    // An opaque file gives no alpha channel and its own background colour.
    io.SetReBackground(0x010203);
    io.LoadFromFile(GoImage("video-001.gif"));
    ASSERT_FALSE(io.Aborting);
    EXPECT_FALSE(io.KVBitmap()->GetHasAlphaChannel());
    EXPECT_FALSE(io.Params().GIF_FlagTranspColor);
    EXPECT_EQ(io.GetReBackground(), Korvaneproc::TRGB2TColor(io.Params().GIF_Background));
}

// The gallery keeps a GIF a GIF: saved again, every pixel and its transparency come back, as
// ImageMagick reads the file and the copy.
TEST(GifFrontEnd, PaletteFilesSavedAgainKeepEveryPixel)
{
    kvtest::TempFolder folder;
    std::vector<std::string> names = {GoImage("video-001.gif"), GoImage("video-001.5bpp.gif"),
                                      GoImage("video-001.interlaced.gif"), GoImage("video-005.gray.gif"),
                                      GoImage("triangle-001.gif")};
    if (HaveSuite()) {
        for (const char* name :
             {"transparent.gif", "depth1.gif", "depth4.gif", "255-codes.gif", "all-blues.gif"}) {
            names.push_back(PixbufImage(std::string("gif-test-suite/") + name));
        }
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        TKorvaneIO original(nullptr);
        PlugLzwCoders(original);
        original.LoadFromFile(name);
        ASSERT_FALSE(original.Aborting);
        TKVBitmap loaded;
        loaded.Assign(original.KVBitmap());
        EXPECT_EQ(Differences(ImageMagickRgba(name), LoadedRgba(loaded)), 0);
        original.SaveToFile(folder.File("again.gif"));
        ASSERT_FALSE(original.Aborting);
        EXPECT_EQ(Differences(LoadedRgba(loaded), ImageMagickRgba(folder.File("again.gif"))), 0);
        int status = -1;
        RunTool("gifsicle --info " + folder.File("again.gif"), &status);
        EXPECT_EQ(status, 0);

        TKorvaneIO again(nullptr);
        PlugLzwCoders(again);
        again.LoadFromFile(folder.File("again.gif"));
        ASSERT_FALSE(again.Aborting);
        EXPECT_TRUE(SamePixels(*again.KVBitmap(), loaded));
        EXPECT_TRUE(SameAlpha(*again.KVBitmap(), loaded));
        // The transparent colour too; the screen background of an opaque file can only point
        // at a colour the picture uses.
        if (original.Params().GIF_FlagTranspColor) {
            EXPECT_EQ(again.GetReBackground(), original.GetReBackground());
        }
    }
}

TEST(BmpFrontEnd, ReadsARealFileAsItsReferenceShowsIt)
{
    const std::string name = PixbufImage("reftests/mandatory-bitmasks.bmp");
    ASSERT_TRUE(kvtest::Installed(name));
    TKorvaneIO io(nullptr);
    io.LoadFromFile(name);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, 5);
    EXPECT_EQ(io.Params().DpiX, 72);
    TKorvaneIO reference(nullptr);
    reference.LoadFromFile(name + ".ref.png");
    ASSERT_FALSE(reference.Aborting);
    reference.KVBitmap()->RemoveAlphaChannel();
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), *reference.KVBitmap()));
}

// The stream form reads the rows that the header describes, so what follows stays unread.
TEST(BmpFrontEnd, SavedPicturesComeBackFromFilesAndStreams)
{
    kvtest::TempFolder folder;
    TKorvaneIO writer(nullptr);
    FillPattern(*writer.KVBitmap(), 13, 7);
    TKVBitmap blackAndWhite;
    blackAndWhite.Allocate(13, 7, kv1g);
    for (int32_t x = 0; x < 13; x += 3) {
        blackAndWhite.SetPixels_kv1g(x, x % 7, true);
    }
    const struct
    {
        const char* name;
        TKVBitmap* picture;
    } cases[] = {{"colour.bmp", nullptr}, {"black-and-white.dib", &blackAndWhite}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The writer takes its depth from Params, whatever the picture's format.
        if (c.picture != nullptr) {
            writer.KVBitmap()->Assign(c.picture);
            writer.Params().BitsPerSample = 1;
            writer.Params().SamplesPerPixel = 1;
        }
        TKVBitmap expected;
        expected.Assign(writer.KVBitmap());
        writer.SaveToFile(folder.File(c.name));
        ASSERT_FALSE(writer.Aborting);
        EXPECT_EQ(RunTool("identify -format '%wx%h' " + folder.File(c.name)), "13x7");

        TKorvaneIO reader(nullptr);
        reader.LoadFromFile(folder.File(c.name));
        EXPECT_FALSE(reader.Aborting);
        EXPECT_TRUE(SamePixels(*reader.KVBitmap(), expected));

        TMemoryStream stream;
        writer.SaveToStreamBMP(stream);
        ASSERT_FALSE(writer.Aborting);
        const int64_t pictureSize = stream.Size();
        stream.WriteBuffer("trailing bytes", 14);
        stream.SetPosition(0);
        TKorvaneIO fromStream(nullptr);
        fromStream.LoadFromStream(stream);
        EXPECT_FALSE(fromStream.Aborting);
        EXPECT_EQ(fromStream.Params().FileType, 5);
        EXPECT_TRUE(SamePixels(*fromStream.KVBitmap(), expected));
        EXPECT_LE(stream.Position(), pictureSize);
    }
}

// A file size field 16 bytes short of the data loses no row: the stream form reads what
// ImageMagick reads, uncompressed and run-length encoded.
TEST(BmpFrontEnd, StreamsReadTheRowsAShortSizeFieldLeavesOut)
{
    const std::string rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
    ASSERT_TRUE(kvtest::Installed({rose, "convert"}));
    kvtest::TempFolder folder;
    for (const std::string options : {"-type truecolor", "-colors 200 -compress RLE"}) {
        SCOPED_TRACE(options);
        const std::string name = folder.File("short.bmp");
        RunTool("convert " + rose + " " + options + " BMP3:" + name);
        std::string bytes = FileBytes(name);
        ASSERT_GT(bytes.size(), 54u);
        const uint32_t size = uint32_t(bytes.size()) - 16;
        bytes.replace(2, 4, {char(size), char(size >> 8), char(size >> 16), char(size >> 24)});
        TStringStream stream(bytes),
            theirs(RunTool("convert bmp:" + folder.Write("short.bmp", bytes) + " ppm:-"));
        TKorvaneIO io(nullptr), reference(nullptr);
        io.LoadFromStreamBMP(stream);
        reference.LoadFromStreamPXM(theirs);
        EXPECT_FALSE(io.Aborting);
        ASSERT_FALSE(reference.Aborting);
        EXPECT_TRUE(SamePixels(*io.KVBitmap(), *reference.KVBitmap()));
    }
}

// Broken and hostile files end with Aborting set, the finish event, and nothing read out of
// bounds (the suite runs under AddressSanitizer).
TEST(GifBmpFrontEnds, BrokenFilesAbortCleanly)
{
    ASSERT_TRUE(HaveSuite());
    for (const char* name :
         {"fail/bug776694.bmp", "fail/bug777315.bmp", "fail/invalid.1.bmp", "fail/invalid.1.gif",
          "fail/invalid.2.gif", "fail/invalid.3.gif", "fail/invalid.4.gif", "fail/bug785973.gif",
          "fail/hang_114.gif", "fail/overflow-codes.gif", "fail/overflow-codes-max.gif"}) {
        SCOPED_TRACE(name);
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        TEventLog events;
        events.Attach(io);
        io.LoadFromFile(PixbufImage(name));
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);

        TMemoryStream stream;
        stream.LoadFromFile(PixbufImage(name));
        io.LoadFromStream(stream);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 2);
    }
}
