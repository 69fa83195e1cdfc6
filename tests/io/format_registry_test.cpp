// The format table and content detection: queries on the built-in rows, a format registered at
// run time, the signature fixtures in their order, and the extension cross-check of files.
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

using namespace Korvaneio;
using namespace kviotest;

namespace {

// A small format of the tests' own: "KVT1", width and height as int32, then kv24RGB rows.
constexpr int32_t KvtFileType = 100;

void ReadKvt(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
             bool paramsOnly)
{
    char magic[4] = {};
    int32_t size[2] = {};
    if (stream.Read(magic, 4) != 4 || std::string(magic, 4) != "KVT1" || stream.Read(size, 8) != 8 ||
        size[0] <= 0 || size[1] <= 0 || size[0] > 1000 || size[1] > 1000) {
        CodecSetAborting(progress);
        return;
    }
    params.Width = size[0];
    params.Height = size[1];
    if (paramsOnly) {
        return;
    }
    bitmap.Allocate(size[0], size[1], kv24RGB);
    for (int32_t y = 0; y < size[1]; ++y) {
        if (stream.Read(bitmap.GetScanLine(y), int64_t(size[0]) * 3) != int64_t(size[0]) * 3) {
            CodecSetAborting(progress);
            return;
        }
    }
}

void WriteKvt(TStream& stream, TKVBitmap& bitmap, TIOParamsVals&, TProgressRec&)
{
    const int32_t size[2] = {bitmap.GetWidth(), bitmap.GetHeight()};
    stream.WriteBuffer("KVT1", 4);
    stream.WriteBuffer(size, 8);
    for (int32_t y = 0; y < size[1]; ++y) {
        stream.WriteBuffer(bitmap.GetScanLine(y), int64_t(size[0]) * 3);
    }
}

bool TryKvt(TStream& stream)
{
    char magic[4] = {};
    return stream.Read(magic, 4) == 4 && std::string(magic, 4) == "KVT1";
}

void ReadThatRaises(TStream&, TKVBitmap&, TIOParamsVals&, TProgressRec&, bool)
{
    throw EReadError("broken reader");
}

bool ProbeThatRaises(TStream& stream)
{
    char skipped[3];
    stream.Read(skipped, 3);
    throw EReadError("broken probe");
}

// Registers a format for the length of a scope.
class TRegistration
{
public:
    explicit TRegistration(const TKVFileFormatInfo& info) : FFileType(info.FileType)
    {
        KVFileFormatAdd(info);
    }
    ~TRegistration() { KVFileFormatRemove(FFileType); }

private:
    int32_t FFileType;
};

TKVFileFormatInfo KvtInfo()
{
    TKVFileFormatInfo info;
    info.FileType = KvtFileType;
    info.FullName = "Test Bitmap";
    info.Extensions = "KVT;KVTX";
    info.ReadFunction = ReadKvt;
    info.WriteFunction = WriteKvt;
    info.TryFunction = TryKvt;
    return info;
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes)
{
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(bytes.data(), int64_t(bytes.size()));
    stream->SetPosition(0);
    return stream;
}

std::string Padded(std::string bytes, size_t length)
{
    bytes.resize(length, '\x01');
    return bytes;
}

} // namespace

TEST(FormatTable, AnswersQueriesOnTheBuiltInRows)
{
    std::string ext;
    KVFileFormatGetExt(11, 5, ext);
    EXPECT_EQ(ext, "PIX");
    KVFileFormatGetExt(99, 0, ext);
    EXPECT_EQ(ext, "");
    KVFileFormatGetExt(3, 3, ext);
    EXPECT_EQ(ext, "");
    EXPECT_EQ(KVFileFormatGetExtCount(14), 3);
    EXPECT_EQ(KVFileFormatGetExtCount(2), 1);
    EXPECT_EQ(KVFileFormatGetExtCount(15), 0);

    const struct
    {
        const char* ext;
        int32_t fileType;
    } lookups[] = {{"Jpe", 3},   {"tif", 1},  {"G3F", 1}, {"pix", 11},
                   {"wbmp", 16}, {"j2c", 14}, {"avi", 0}, {"", 0}};
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(lookup.ext);
        const TKVFileFormatInfo* info = KVFileFormatGetInfo2(lookup.ext);
        EXPECT_EQ(info != nullptr ? info->FileType : 0, lookup.fileType);
    }
    ASSERT_NE(KVFileFormatGetInfo(16), nullptr);
    EXPECT_EQ(KVFileFormatGetInfo(16)->FullName, "Wireless Bitmap");
    EXPECT_EQ(KVFileFormatGetInfo(7)->WriteFunction, nullptr);
    EXPECT_EQ(KVFileFormatGetInfo(15), nullptr);
    EXPECT_TRUE(IsKnownFormat("/a/b.CUR"));
    EXPECT_TRUE(IsKnownFormat("b.emf"));
    EXPECT_FALSE(IsKnownFormat("b.xyz"));
    EXPECT_FALSE(IsKnownFormat("noextension"));
}

// The built-in rows only say what can be read and written: through a generic path they fail
// instead of doing nothing.
TEST(FormatTable, BuiltInRowsReportFailureThroughGenericPaths)
{
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 4, 4);
    TMemoryStream stream;
    io.LoadFromStreamFormat(stream, 9);
    EXPECT_TRUE(io.Aborting);
    io.SaveToStream(stream, 7);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 4);
}

TEST(FormatTable, RegisteredFormatLoadsSavesAndIsDetected)
{
    kvtest::TempFolder folder;
    TRegistration registration(KvtInfo());
    ASSERT_NE(KVFileFormatGetInfo(KvtFileType), nullptr);
    EXPECT_EQ(KVFileFormatGetInfo2("kvtx")->FileType, KvtFileType);

    TKorvaneIO writer(nullptr);
    FillPattern(*writer.KVBitmap(), 5, 3);
    TEventLog events;
    events.Attach(writer);
    writer.SaveToFile(folder.File("a.kvt"));
    EXPECT_FALSE(writer.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    EXPECT_EQ(writer.Params().FileType, KvtFileType);
    EXPECT_EQ(FileBytes(folder.File("a.kvt")).substr(0, 4), "KVT1");

    TKorvaneIO reader(nullptr);
    reader.LoadFromFile(folder.File("a.kvt"));
    EXPECT_FALSE(reader.Aborting);
    EXPECT_EQ(reader.Params().FileType, KvtFileType);
    EXPECT_EQ(reader.Params().FileName, folder.File("a.kvt"));
    EXPECT_TRUE(SamePixels(*reader.KVBitmap(), *writer.KVBitmap()));

    TMemoryStream stream;
    writer.SaveToStream(stream, KvtFileType);
    EXPECT_FALSE(writer.Aborting);
    stream.SetPosition(0);
    EXPECT_EQ(FindStreamFormat(stream), KvtFileType);
    TKorvaneIO streamReader(nullptr);
    streamReader.LoadFromStream(stream);
    EXPECT_FALSE(streamReader.Aborting);
    EXPECT_TRUE(SamePixels(*streamReader.KVBitmap(), *writer.KVBitmap()));

    TKorvaneIO byId(nullptr);
    byId.LoadFromFileFormat(folder.File("a.kvt"), KvtFileType);
    EXPECT_FALSE(byId.Aborting);
    EXPECT_EQ(byId.KVBitmap()->GetWidth(), 5);

    KVFileFormatRemove(KvtFileType);
    EXPECT_EQ(KVFileFormatGetInfo(KvtFileType), nullptr);
    reader.LoadFromFile(folder.File("a.kvt"));
    EXPECT_TRUE(reader.Aborting);
    KVFileFormatAdd(KvtInfo()); // for the registration's own removal
}

TEST(FormatTable, ReaderThatRaisesFailsTheLoadByExtensionButNotByFormatId)
{
    kvtest::TempFolder folder;
    TKVFileFormatInfo info = KvtInfo();
    info.ReadFunction = ReadThatRaises;
    TRegistration registration(info);
    const std::string name = folder.Write("a.kvt", "KVT1whatever");

    TKorvaneIO io(nullptr);
    TEventLog events;
    events.Attach(io);
    io.LoadFromFile(name);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    EXPECT_THROW(io.LoadFromFileFormat(name, KvtFileType), EReadError);
    EXPECT_EQ(events.Finishes(), 2);
}

TEST(FindStreamFormat, TellsFormatsBySignatureInItsOrder)
{
    const std::string pngSignature = "\x89PNG\r\n\x1a\n";
    const struct
    {
        const char* name;
        std::string bytes;
        int32_t fileType;
    } fixtures[] = {
        {"JPEG header of exactly 12 bytes", std::string("JFIF\0\0\0\0\0\0\0\0", 12), 0},
        {"JPEG header", Padded(std::string("JFIF\0", 5), 13), 3},
        {"JPEG header tag without NUL", Padded("JFIFX", 13), 0},
        {"GIF", Padded("GIF89a", 14), 2},
        {"GIF too short", Padded("GIF89a", 13), 0},
        {"PCX header", Padded(std::string("PCX2\0", 5), 13), 4},
        {"older PCX header", Padded(std::string("PCX\0", 4), 5), 4},
        {"older PCX header alone", std::string("PCX\0", 4), 0},
        {"BMP", Padded("BM", 15), 5},
        {"PCX by content", Padded("\x0a\x05", 129), 4},
        {"PCX version too high", Padded("\x0a\x06", 129), 0},
        {"TIFF header", Padded(std::string("TIFF\0", 5), 13), 1},
        {"Intel TIFF", Padded("II*", 9), 1},
        {"Motorola TIFF", Padded("MM", 9), 1},
        {"TIFF too short", Padded("II*", 8), 0},
        {"TIFF before a PNG probe", "II" + pngSignature, 1},
        {"PNG", Padded(pngSignature, 9), 8},
        {"PNG signature alone", pngSignature, 0},
        {"JPEG within the first bytes", Padded(Padded("", 50) + "\xff\xd8\xff", 100), 3},
        {"text", "just some words, nothing more", 0},
        {"empty", "", 0},
    };
    for (const auto& fixture : fixtures) {
        SCOPED_TRACE(fixture.name);
        const auto stream = StreamOf(fixture.bytes);
        EXPECT_EQ(FindStreamFormat(*stream), fixture.fileType);
        EXPECT_EQ(stream->Position(), 0);
    }
}

TEST(FindStreamFormat, StartsWhereTheStreamIsAndLeavesItThere)
{
    const auto stream = StreamOf("prefix" + FileBytes(GoImage("video-001.gif")));
    stream->SetPosition(6);
    EXPECT_EQ(FindStreamFormat(*stream), 2);
    EXPECT_EQ(stream->Position(), 6);
}

TEST(FindStreamFormat, ProbeThatRaisesEndsTheSearchWithThePositionRestored)
{
    TKVFileFormatInfo info = KvtInfo();
    info.TryFunction = ProbeThatRaises;
    TRegistration registration(info);
    const auto stream = StreamOf(Padded("GIF89a", 40));
    stream->SetPosition(2);
    EXPECT_EQ(FindStreamFormat(*stream), 0);
    EXPECT_EQ(stream->Position(), 2);
}

TEST(FindFileFormat, ChecksTheExtensionAgainstTheContent)
{
    kvtest::TempFolder folder;
    const std::string png = GoImage("video-001.png");
    CopyFile(png, folder.File("png-named.jpg"));
    CopyFile(GoImage("video-001.jpeg"), folder.File("upper.JPG"));
    CopyFile(png, folder.File("no-extension"));
    const struct
    {
        std::string name;
        bool verify;
        int32_t fileType;
    } cases[] = {
        {folder.File("png-named.jpg"), false, 8}, {folder.File("png-named.jpg"), true, 0},
        {folder.File("upper.JPG"), true, 3},      {folder.File("no-extension"), true, 0},
        {folder.File("missing.png"), false, 0},   {folder.Path(), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindFileFormat(c.name, c.verify), c.fileType);
    }
}

// Icons and cursors share a layout, so their extension decides; any other extension fails.
TEST(FindFileFormat, ExtensionDecidesBetweenIconAndCursorOnly)
{
    kvtest::TempFolder folder;
    // A second row of id 6 whose probe tells the content; the built-in row is put back after.
    const TKVFileFormatInfo builtInIcon = *KVFileFormatGetInfo(6);
    TKVFileFormatInfo info = KvtInfo();
    info.FileType = 6;
    KVFileFormatAdd(info);
    struct TRestore
    {
        const TKVFileFormatInfo& row;
        ~TRestore()
        {
            KVFileFormatRemove(6);
            KVFileFormatRemove(6);
            KVFileFormatAdd(row);
        }
    } restore{builtInIcon};
    for (const char* name : {"a.ico", "a.cur", "a.png", "a.xyz"}) {
        folder.Write(name, "KVT1 and then some more bytes");
    }
    EXPECT_EQ(FindFileFormat(folder.File("a.ico"), true), 6);
    EXPECT_EQ(FindFileFormat(folder.File("a.cur"), true), 7);
    EXPECT_EQ(FindFileFormat(folder.File("a.png"), true), 0);
    EXPECT_EQ(FindFileFormat(folder.File("a.xyz"), true), 0);
    EXPECT_EQ(FindFileFormat(folder.File("a.png"), false), 6);
}

// A .pnm file, whichever Netpbm form it holds, is read by its name as by its content, its
// parameters read alone, and a picture saved under that name is a Netpbm file of the form the
// parameters choose, as netpbm's own tools read it.
TEST(FormatTable, PnmNamesNetpbmFilesOnLoadAndSave)
{
    const std::string rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
    ASSERT_TRUE(kvtest::Installed({rose, "pamfile", "ppmtopgm", "pgmtopbm"}));
    kvtest::TempFolder folder;
    const struct
    {
        std::string pipeline; // writes the picture to standard output
        const char* kind;     // as pamfile names it
    } forms[] = {{"cat " + rose, "PPM raw"},
                 {"ppmtopgm " + rose, "PGM raw"},
                 {"ppmtopgm " + rose + " | pgmtopbm -threshold", "PBM raw"}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.kind);
        const std::string name = folder.Write("picture.pnm", kvtest::ToolOutput(form.pipeline));
        EXPECT_TRUE(IsKnownFormat(name));
        EXPECT_EQ(FindFileFormat(name, true), 12);
        TKorvaneIO io(nullptr);
        io.LoadFromFile(name);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, 12);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 70);
        TMemoryStream stream;
        stream.LoadFromFile(name);
        TKorvaneIO byContent(nullptr);
        byContent.LoadFromStream(stream);
        ASSERT_FALSE(byContent.Aborting);
        EXPECT_TRUE(SamePixels(*io.KVBitmap(), *byContent.KVBitmap()));

        const std::string saved = folder.File("saved.pnm");
        io.SaveToFile(saved);
        ASSERT_FALSE(io.Aborting);
        EXPECT_NE(RunTool("pamfile " + saved).find(form.kind), std::string::npos)
            << RunTool("pamfile " + saved);
        TKorvaneIO params(nullptr);
        params.ParamsFromFile(saved);
        EXPECT_EQ(params.Params().FileType, 12);
        EXPECT_EQ(params.Params().Height, 46);
    }
}
