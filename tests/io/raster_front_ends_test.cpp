// The front ends of the Netpbm, WBMP, PCX, TGA, icon and JPEG 2000 formats: loading by name and
// by content, saving by name, reading the parameters only, and what each adds to its codec.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

using namespace kviotest;

// WBMP has no signature: content detection passes it by, its name and its id find it.
TEST(WbmpFrontEnd, FoundByNameAndIdButNotByContent)
{
    kvtest::TempFolder folder;
    TKorvaneIO writer(nullptr);
    FillPattern(*writer.KVBitmap(), 20, 10);
    writer.SaveToFile(folder.File("a.wbmp"));
    ASSERT_FALSE(writer.Aborting);

    TKorvaneIO byName(nullptr);
    byName.LoadFromFile(folder.File("a.wbmp"));
    EXPECT_FALSE(byName.Aborting);
    EXPECT_EQ(byName.Params().FileType, 16);
    EXPECT_EQ(byName.KVBitmap()->GetPixelFormat(), kv1g);
    EXPECT_EQ(byName.KVBitmap()->GetWidth(), 20);

    TKorvaneIO params(nullptr);
    params.ParamsFromFile(folder.File("a.wbmp"));
    EXPECT_EQ(params.Params().FileType, 16);
    EXPECT_EQ(params.Params().Height, 10);

    TMemoryStream stream;
    stream.LoadFromFile(folder.File("a.wbmp"));
    TKorvaneIO byContent(nullptr);
    byContent.LoadFromStream(stream);
    EXPECT_TRUE(byContent.Aborting);
    stream.SetPosition(0);
    TKorvaneIO byId(nullptr);
    byId.LoadFromStreamFormat(stream, 16);
    EXPECT_FALSE(byId.Aborting);
    EXPECT_TRUE(SamePixels(*byId.KVBitmap(), *byName.KVBitmap()));
}

// The alpha of a 32-bit TGA becomes the alpha channel, and goes back out as 32-bit pixels.
TEST(TgaFrontEnd, AlphaChannelInAndOut)
{
    const std::string source = PixbufImage("reftests/tga/gtk-logo-rle-32bpp-top-left.tga");
    if (!FileExists(source)) {
        GTEST_SKIP() << "gdk-pixbuf-tests is not installed";
    }
    TKorvaneIO io(nullptr);
    io.LoadFromFile(source);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, 11);
    ASSERT_TRUE(io.KVBitmap()->GetHasAlphaChannel());
    EXPECT_EQ(io.KVBitmap()->GetAlphaChannel()->GetPixels_kv8(0, 0), 0);

    kvtest::TempFolder folder;
    io.SaveToFile(folder.File("copy.tga"));
    ASSERT_FALSE(io.Aborting);
    const std::string bytes = FileBytes(folder.File("copy.tga"));
    EXPECT_EQ(bytes[16], 32);
    TKorvaneIO back(nullptr);
    back.LoadFromFile(folder.File("copy.tga"));
    EXPECT_TRUE(SamePixels(*back.KVBitmap(), *io.KVBitmap()));
    EXPECT_TRUE(SamePixels(*back.KVBitmap()->GetAlphaChannel(), *io.KVBitmap()->GetAlphaChannel()));

    TKorvaneIO params(nullptr);
    params.ParamsFromFile(source);
    EXPECT_EQ(params.Params().FileType, 11);
    EXPECT_EQ(params.Params().Width, 48);
    EXPECT_EQ(params.Params().SamplesPerPixel, 4);
}
