// The per-format front ends and the choice among them: by file extension, by content and by
// format id; what each format adds (IPTC markers, frames and backgrounds, transparency); and
// formats whose codec the library does not have yet.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace kviotest;

namespace {

// The APP13 segment (marker FF ED) of a JPEG file as it is written, empty when there is none.
std::string App13Of(const std::string& jpeg)
{
    size_t at = 2;
    while (at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xFF) {
        const uint8_t marker = uint8_t(jpeg[at + 1]);
        const size_t length = size_t(uint8_t(jpeg[at + 2])) << 8 | uint8_t(jpeg[at + 3]);
        if (marker == 0xED) {
            return jpeg.substr(at, length + 2);
        }
        if (marker == 0xDA) {
            break;
        }
        at += length + 2;
    }
    return std::string();
}

} // namespace

TEST(LoadFromFile, ChoosesTheFrontEndByExtension)
{
    kvtest::TempFolder folder;
    const struct
    {
        std::string source;
        const char* name;
        int32_t fileType;
        int32_t width;
    } cases[] = {
        {GoImage("video-001.jpeg"), "a.jpg", 3, 150},
        {GoImage("video-001.jpeg"), "a.JPG", 3, 150},
        {GoImage("video-001.jpeg"), "a.jpeg", 3, 150},
        {GoImage("video-001.jpeg"), "a.Jpe", 3, 150},
        {GoImage("video-001.png"), "a.png", 8, 150},
        {GoImage("video-001.gif"), "a.GIF", 2, 150},
        {PixbufImage("reftests/mandatory-bitmasks.bmp"), "a.bmp", 5, 350},
        {PixbufImage("reftests/mandatory-bitmasks.bmp"), "a.dib", 5, 350},
        {PixbufImage("reftests/mandatory-bitmasks.bmp"), "a.rle", 5, 350},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CopyFile(c.source, folder.File(c.name));
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        io.LoadFromFile(folder.File(c.name));
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, c.fileType);
        EXPECT_EQ(io.Params().FileName, folder.File(c.name));
        EXPECT_EQ(io.KVBitmap()->GetWidth(), c.width);
    }
}

// The content is a good JPEG each time: these names lead to no front end that could read it.
TEST(LoadFromFile, NamesWithoutAFrontEndAbortAndLeaveTheBitmap)
{
    kvtest::TempFolder folder;
    for (const char* name : {"a.tif", "a.pcx", "a.tga", "a.pix", "a.win", "a.ico", "a.cur", "a.ppm", "a.wbmp",
                             "a.jp2", "a.j2k", "a.wmf", "a.avi", "a.xyz", "noextension"}) {
        SCOPED_TRACE(name);
        CopyFile(GoImage("video-001.jpeg"), folder.File(name));
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 3, 2);
        TEventLog events;
        events.Attach(io);
        io.LoadFromFile(folder.File(name));
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 3);
    }
    for (const std::string& name : {std::string(), std::string("HTTP://127.0.0.1:1/a.jpg")}) {
        TKorvaneIO io(nullptr);
        TEventLog events;
        events.Attach(io);
        io.LoadFromFile(name);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);
    }
}

TEST(SaveToFile, ChoosesTheWriterByExtensionAndToolsAgree)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    FillPattern(*io.KVBitmap(), 40, 30);
    const struct
    {
        const char* name;
        const char* check; // a command that fails on a bad file
        int32_t fileType;
    } cases[] = {
        {"a.jpg", "djpeg -pnm ", 3},      {"a.JPEG", "djpeg -pnm ", 3},  {"a.png", "pngcheck -q ", 8},
        {"a.gif", "gifsicle --info ", 2}, {"a.Bmp", "identify ", 5},     {"a.dib", "identify BMP:", 5},
        {"a.pcx", "pcxtoppm ", 4},        {"a.tga", "tgatoppm ", 11},    {"a.pix", "tgatoppm ", 11},
        {"a.jp2", "opj_dump -i ", 13},    {"a.j2k", "opj_dump -i ", 14}, {"a.ppm", "pamfile ", 12},
        {"a.pbm", "pamfile ", 12},        {"a.wbmp", "wbmptopbm ", 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        io.SaveToFile(folder.File(c.name));
        EXPECT_FALSE(io.Aborting);
        int status = -1;
        RunTool(c.check + folder.File(c.name), &status);
        EXPECT_EQ(status, 0);
        TKorvaneIO reader(nullptr);
        reader.ParamsFromFileFormat(folder.File(c.name), c.fileType);
        EXPECT_EQ(reader.Params().FileType, c.fileType);
        EXPECT_EQ(reader.Params().Width, 40);
    }
}

// A disk that fills up (a file size limit stands for it) fails every writer the same way:
// Aborting, nothing raised, and no file, whether the first byte or a later one finds no room.
TEST(SaveToFile, AFullDiskAbortsEveryWriterAndLeavesNoFile)
{
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        TIOTIFFCompression compression; // for TIFF files
    } cases[] = {
        {"a.jpg", ioTIFF_UNCOMPRESSED},  {"a.png", ioTIFF_UNCOMPRESSED}, {"a.gif", ioTIFF_UNCOMPRESSED},
        {"a.bmp", ioTIFF_UNCOMPRESSED},  {"a.pcx", ioTIFF_UNCOMPRESSED}, {"a.tga", ioTIFF_UNCOMPRESSED},
        {"a.jp2", ioTIFF_UNCOMPRESSED},  {"a.ppm", ioTIFF_UNCOMPRESSED}, {"a.ico", ioTIFF_UNCOMPRESSED},
        {"a.wbmp", ioTIFF_UNCOMPRESSED}, {"a.tif", ioTIFF_UNCOMPRESSED}, {"a.tif", ioTIFF_LZW},
        {"a.tif", ioTIFF_PACKBITS},      {"a.tif", ioTIFF_JPEG},         {"a.tif", ioTIFF_G4FAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.compression));
        // How the save ended: 0 success, 1 Aborting, 2 a failure reported as success, 3 raised.
        const auto save = [&] {
            TKorvaneIO io(nullptr);
            PlugLzwCoders(io);
            FillPattern(*io.KVBitmap(), 64, 48);
            io.Params().TIFF_Compression = c.compression;
            if (c.compression == ioTIFF_G4FAX) {
                io.Params().BitsPerSample = io.Params().SamplesPerPixel = 1;
            }
            io.SaveToFile(folder.File(c.name));
            return io.Aborting ? 1 : FileExists(folder.File(c.name)) ? 0 : 2;
        };
        ASSERT_EQ(ExitCodeWithFilesLimitedTo(RLIM_INFINITY, save), 0);
        const rlim_t size = FileBytes(folder.File(c.name)).size();
        ::unlink(folder.File(c.name).c_str());
        for (const rlim_t limit : {rlim_t(0), rlim_t(8), size / 2, size - 1}) {
            SCOPED_TRACE(limit);
            EXPECT_EQ(ExitCodeWithFilesLimitedTo(limit, save), 1);
            EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
        }
    }
}

// A name whose format cannot be written here fails without a finish event and writes nothing.
TEST(SaveToFile, NamesWithoutAWriterAbortAndWriteNothing)
{
    kvtest::TempFolder folder;
    for (const char* name : {"a.wmf", "a.cur", "a.avi", "a.xyz"}) {
        SCOPED_TRACE(name);
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 3, 2);
        TEventLog events;
        events.Attach(io);
        io.SaveToFile(folder.File(name));
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 0);
        EXPECT_FALSE(FileExists(folder.File(name)));
    }
    TKorvaneIO io(nullptr);
    TEventLog events;
    events.Attach(io);
    io.SaveToFile("");
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 0);
}

TEST(LoadFromStream, TellsEachBuiltFormatByContent)
{
    TKorvaneIO writer(nullptr);
    PlugLzwCoders(writer);
    FillPattern(*writer.KVBitmap(), 12, 9);
    for (const int32_t fileType : {2, 3, 4, 5, 8, 11, 12, 13, 14}) {
        SCOPED_TRACE(fileType);
        TMemoryStream stream;
        stream.WriteBuffer("xy", 2);
        writer.SaveToStream(stream, fileType);
        ASSERT_FALSE(writer.Aborting);
        stream.SetPosition(2);
        TKorvaneIO reader(nullptr);
        PlugLzwCoders(reader);
        reader.LoadFromStream(stream);
        EXPECT_FALSE(reader.Aborting);
        EXPECT_EQ(reader.Params().FileType, fileType);
        EXPECT_EQ(reader.Params().FileName, "");
        EXPECT_EQ(reader.KVBitmap()->GetWidth(), 12);
        // The lossless formats give the picture back as it was.
        if (fileType != 3) {
            EXPECT_TRUE(SamePixels(*reader.KVBitmap(), *writer.KVBitmap()));
        }

        stream.SetPosition(2);
        TKorvaneIO byId(nullptr);
        PlugLzwCoders(byId);
        byId.LoadFromStreamFormat(stream, fileType);
        EXPECT_FALSE(byId.Aborting);
        EXPECT_EQ(byId.KVBitmap()->GetHeight(), 9);
    }
}

TEST(LoadFromStream, UnknownContentAndFormatsWithoutFrontEndAbort)
{
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"text", "nothing that any format knows"},
        {"TIFF", "II*" + std::string(40, '\0')},
        {"PCX", "\x0a\x05" + std::string(200, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream;
        stream.WriteBuffer(c.bytes.data(), int64_t(c.bytes.size()));
        stream.SetPosition(0);
        TKorvaneIO io(nullptr);
        TEventLog events;
        events.Attach(io);
        io.LoadFromStream(stream);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);
    }
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 3, 3);
    for (const int32_t fileType : {7, 0, 77}) {
        SCOPED_TRACE(fileType);
        TMemoryStream stream;
        io.SaveToStream(stream, fileType);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(stream.Size(), 0);
    }
}

// IPTC data is written back as loaded unless the list was edited since.
TEST(JpegFrontEnd, WritesTheIPTCMarkerOnlyWhenTheListChanged)
{
    kvtest::TempFolder folder;
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 16, 16);
    io.Params().IPTC_Info.AddStringItem(2, 120, "a caption");
    io.SaveToFileJpeg(folder.File("with-iptc.jpg"));
    ASSERT_FALSE(io.Aborting);
    const std::string original = App13Of(FileBytes(folder.File("with-iptc.jpg")));
    ASSERT_NE(original.find("a caption"), std::string::npos);

    io.LoadFromFile(folder.File("with-iptc.jpg"));
    ASSERT_EQ(io.Params().IPTC_Info.GetCount(), 1);
    EXPECT_EQ(io.Params().IPTC_Info.GetStrings(0), "a caption");
    io.SaveToFileJpeg(folder.File("untouched.jpg"));
    EXPECT_EQ(App13Of(FileBytes(folder.File("untouched.jpg"))), original);

    io.Params().IPTC_Info.SetStrings(0, "another caption");
    io.SaveToFileJpeg(folder.File("edited.jpg"));
    const std::string edited = App13Of(FileBytes(folder.File("edited.jpg")));
    EXPECT_NE(edited.find("another caption"), std::string::npos);
    EXPECT_EQ(edited.find("a caption"), std::string::npos);

    io.Params().IPTC_Info.Clear();
    io.SaveToFileJpeg(folder.File("cleared.jpg"));
    EXPECT_EQ(App13Of(FileBytes(folder.File("cleared.jpg"))), "");
    int status = -1;
    RunTool("djpeg -pnm " + folder.File("cleared.jpg"), &status);
    EXPECT_EQ(status, 0);
}

// XMP and EXIF data share the APP1 marker; neither may take the other's place on a save. XMP is
// kept byte for byte; EXIF is written again from the values it was read into.
TEST(JpegFrontEnd, KeepsEveryAPP1SegmentAsLoaded)
{
    kvtest::TempFolder folder;
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta/>";
    const std::string exif = std::string("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0", 20);
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 16, 16);
    io.Params().JPEG_MarkerList.AddMarker(0xE1, xmp.data(), int32_t(xmp.size()));
    io.Params().JPEG_MarkerList.AddMarker(0xE1, exif.data(), int32_t(exif.size()));
    io.SaveToFileJpeg(folder.File("first.jpg"));
    ASSERT_FALSE(io.Aborting);

    io.LoadFromFile(folder.File("first.jpg"));
    ASSERT_FALSE(io.Aborting);
    io.Params().IPTC_Info.AddStringItem(2, 120, "a caption");
    io.SaveToFileJpeg(folder.File("second.jpg"));
    ASSERT_FALSE(io.Aborting);

    TKorvaneIO reader(nullptr);
    reader.LoadFromFile(folder.File("second.jpg"));
    const TKVMarkerList& markers = reader.Params().JPEG_MarkerList;
    std::vector<std::string> app1;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) == 0xE1) {
            app1.emplace_back(reinterpret_cast<const char*>(markers.GetMarkerData(i)),
                              markers.GetMarkerLength(i));
        }
    }
    ASSERT_EQ(app1.size(), 2u);
    EXPECT_EQ(app1[0], xmp);
    EXPECT_EQ(app1[1].substr(0, 6), std::string("Exif\0\0", 6));
    EXPECT_TRUE(reader.Params().EXIF_HasEXIFData);
    EXPECT_EQ(reader.Params().EXIF_Make, io.Params().EXIF_Make);
    EXPECT_EQ(reader.Params().EXIF_XResolution, io.Params().EXIF_XResolution);
    EXPECT_EQ(reader.Params().IPTC_Info.GetCount(), 1);
}

TEST(PngFrontEnd, TransparencyTravelsThroughTheAlphaChannel)
{
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 6, 5);
    TKVBitmap* alpha = io.KVBitmap()->GetAlphaChannel();
    for (int32_t x = 0; x < 6; ++x) {
        alpha->SetPixels_kv8(x, 2, uint8_t(x * 40));
    }
    TMemoryStream stream;
    io.SaveToStreamPNG(stream);
    ASSERT_FALSE(io.Aborting);

    TKorvaneIO reader(nullptr);
    stream.SetPosition(0);
    reader.LoadFromStreamPNG(stream);
    ASSERT_FALSE(reader.Aborting);
    ASSERT_TRUE(reader.KVBitmap()->GetHasAlphaChannel());
    for (int32_t x = 0; x < 6; ++x) {
        EXPECT_EQ(reader.KVBitmap()->GetAlphaChannel()->GetPixels_kv8(x, 2), x * 40);
        EXPECT_EQ(reader.KVBitmap()->GetAlphaChannel()->GetPixels_kv8(x, 0), 255);
    }

    // A load always starts without the alpha channel of the picture before.
    reader.LoadFromFile(GoImage("video-001.jpeg"));
    EXPECT_FALSE(reader.KVBitmap()->GetHasAlphaChannel());
}

// A file without a background colour of its own keeps the component's.
TEST(PngFrontEnd, FileLoadKeepsTheBackgroundWhenTheFileHasNone)
{
    TKorvaneIO io(nullptr);
    io.SetReBackground(0x123456);
    io.LoadFromFilePNG(GoImage("video-001.png"));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetReBackground(), 0x123456);
}
