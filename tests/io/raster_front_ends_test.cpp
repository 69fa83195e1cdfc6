// The front ends of the Netpbm, WBMP, PCX, TGA, icon and JPEG 2000 formats: loading by name and
// by content, saving by name, reading the parameters only, and what each adds to its codec.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

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
    ASSERT_TRUE(kvtest::Installed(source));
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

// Icons are written at the leading sizes of ICO_Sizes that have a width; an index past the
// directory fails the load; a cursor reads its hot spot.
TEST(IconFrontEnd, SizesIndexesAndCursors)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 40, 30);
    io.Params().ICO_Sizes[0][0] = io.Params().ICO_Sizes[0][1] = 32;
    io.Params().ICO_Sizes[1][0] = io.Params().ICO_Sizes[1][1] = 16;
    io.Params().ICO_BitCount[0] = 32;
    io.Params().ICO_BitCount[1] = 8;
    io.SaveToFile(folder.File("a.ico"));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(Korvaneio::EnumICOIm(folder.File("a.ico")), 2);
    int status = -1;
    const std::string listing = RunTool("icotool -l " + folder.File("a.ico"), &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listing.find("--width=16 --height=16 --bit-depth=8"), std::string::npos) << listing;

    TKorvaneIO reader(nullptr);
    reader.Params().ICO_ImageIndex = 1;
    reader.LoadFromFile(folder.File("a.ico"));
    EXPECT_FALSE(reader.Aborting);
    EXPECT_EQ(reader.KVBitmap()->GetWidth(), 16);
    reader.Params().ICO_ImageIndex = 2;
    reader.LoadFromFile(folder.File("a.ico"));
    EXPECT_TRUE(reader.Aborting);
    EXPECT_EQ(reader.KVBitmap()->GetWidth(), 16);
    reader.ParamsFromFile(folder.File("a.ico"));
    EXPECT_EQ(reader.Params().FileType, 0);

    // By content; as a cursor when the name says so.
    TMemoryStream stream;
    stream.LoadFromFile(folder.File("a.ico"));
    TKorvaneIO byContent(nullptr);
    byContent.LoadFromStream(stream);
    EXPECT_FALSE(byContent.Aborting);
    EXPECT_EQ(byContent.Params().FileType, 6);
    EXPECT_EQ(byContent.KVBitmap()->GetWidth(), 32);
    CopyFile(folder.File("a.ico"), folder.File("a.cur"));
    TKorvaneIO cursor(nullptr);
    cursor.ParamsFromFile(folder.File("a.cur"));
    EXPECT_EQ(cursor.Params().FileType, 7);
    cursor.LoadFromFile(folder.File("a.cur"));
    EXPECT_FALSE(cursor.Aborting);
    EXPECT_EQ(cursor.Params().CUR_XHotSpot, 1);
    EXPECT_EQ(cursor.Params().CUR_YHotSpot, 32);

    // Several ready pictures in one file; a picture too large for an icon writes no file.
    TKVBitmap large;
    FillPattern(large, 300, 2);
    TIOParamsVals params;
    const Bmpfilt::TKVIconImage images[] = {{io.KVBitmap(), &params}, {reader.KVBitmap(), &params}};
    EXPECT_TRUE(Korvaneio::KVWriteICOImages(folder.File("two.ico"), images));
    EXPECT_EQ(Korvaneio::EnumICOIm(folder.File("two.ico")), 2);
    const Bmpfilt::TKVIconImage failing[] = {{&large, &params}};
    EXPECT_FALSE(Korvaneio::KVWriteICOImages(folder.File("none.ico"), failing));
    EXPECT_FALSE(FileExists(folder.File("none.ico")));
}

// Every format saved by its name is found again by its content, its parameters read alone.
TEST(RasterFrontEnds, SavedByNameFoundByContent)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 40, 30);
    io.Params().ICO_Sizes[0][0] = 40;
    io.Params().ICO_Sizes[0][1] = 30;
    const struct
    {
        const char* name;
        int32_t fileType;
    } cases[] = {{"a.pcx", 4},  {"a.tga", 11}, {"a.ppm", 12}, {"a.pgm", 12}, {"a.pbm", 12},
                 {"a.jp2", 13}, {"a.j2k", 14}, {"a.ico", 6},  {"a.wbmp", 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        io.SaveToFile(folder.File(c.name));
        ASSERT_FALSE(io.Aborting);
        TKorvaneIO params(nullptr);
        params.ParamsFromFile(folder.File(c.name));
        EXPECT_EQ(params.Params().FileType, c.fileType);
        EXPECT_EQ(params.Params().Width, 40);
        EXPECT_EQ(params.Params().Height, 30);
        EXPECT_EQ(Korvaneio::FindFileFormat(folder.File(c.name), false), c.fileType == 16 ? 0 : c.fileType);
    }
    // A cursor is told from an icon by its type word.
    std::string cursor = FileBytes(folder.File("a.ico"));
    cursor[2] = 2;
    TMemoryStream stream;
    stream.WriteBuffer(cursor.data(), int64_t(cursor.size()));
    stream.SetPosition(0);
    TKorvaneIO reader(nullptr);
    reader.LoadFromStream(stream);
    EXPECT_FALSE(reader.Aborting);
    EXPECT_EQ(reader.Params().FileType, 7);
    EXPECT_EQ(reader.KVBitmap()->GetWidth(), 40);
}
