// The TIFF front ends and page operations of the I/O component: loading and saving by extension,
// content and stream header, page counts, transparency, parameters only, pages added, deleted,
// extracted and inserted in files that are replaced only when complete, and the memory a big
// multi-page file takes.
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

using namespace kviotest;

namespace {

std::string GoTiff(const std::string& name)
{
    return "/usr/share/gocode/src/golang.org/x/image/testdata/" + name;
}

void MakeBilevel(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv1g);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            bitmap.SetPixels_kv1g(x, y, (x * 7 + y * 3) % 11 > 2);
        }
    }
}

} // namespace

TEST(TiffFrontEnd, LoadsAndSavesByExtensionAndByContent)
{
    kvtest::TempFolder folder;
    for (const char* extension : {".tif", ".tiff", ".fax", ".g3n", ".g3f"}) {
        SCOPED_TRACE(extension);
        const bool fax = std::string(extension) != ".tif" && std::string(extension) != ".tiff";
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        if (fax) {
            MakeBilevel(*io.KVBitmap(), 100, 40);
            io.Params().BitsPerSample = io.Params().SamplesPerPixel = 1;
            io.Params().TIFF_Compression = ioTIFF_G4FAX;
        } else {
            FillPattern(*io.KVBitmap(), 30, 20);
            io.Params().TIFF_Compression = ioTIFF_LZW;
        }
        const std::string name = folder.File(std::string("picture") + extension);
        io.SaveToFile(name);
        ASSERT_FALSE(io.Aborting);
        EXPECT_NE(RunTool("tiffinfo " + name + " 2>&1").find(fax ? "CCITT Group 4" : "LZW"),
                  std::string::npos);

        TKorvaneIO reader(nullptr);
        PlugLzwCoders(reader);
        reader.LoadFromFile(name);
        ASSERT_FALSE(reader.Aborting);
        EXPECT_EQ(reader.Params().FileType, 1);
        EXPECT_TRUE(SamePixels(*reader.KVBitmap(), *io.KVBitmap()));
    }
    // By content: both byte orders, and a stream with a "TIFF" header.
    RunTool("tiffcp -B " + GoTiff("video-001.tiff") + " " + folder.File("big.tif"));
    TKorvaneIO little(nullptr), big(nullptr);
    little.LoadFromFile(GoTiff("video-001.tiff"));
    TMemoryStream stream;
    stream.LoadFromFile(folder.File("big.tif"));
    EXPECT_EQ(Korvaneio::FindStreamFormat(stream), 1);
    big.LoadFromStream(stream);
    ASSERT_FALSE(big.Aborting);
    EXPECT_TRUE(SamePixels(*big.KVBitmap(), *little.KVBitmap()));
}

TEST(TiffFrontEnd, ReturnsThePageCountAndRefusesAPagePastTheLast)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("three.tif");
    RunTool("tiffcp " + GoTiff("video-001.tiff") + " " + GoTiff("bw-gopher_ccittGroup4.tiff") + " " +
            GoTiff("video-001-gray.tiff") + " " + file);
    TKorvaneIO io(nullptr);
    io.Params().TIFF_ImageIndex = 1;
    EXPECT_EQ(io.LoadFromFileTIFF(file), 3);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.KVBitmap()->GetPixelFormat(), kv1g);
    EXPECT_EQ(io.Params().TIFF_ImageCount, 3);
    EXPECT_EQ(Korvaneio::EnumTIFFIm(file), 3);

    // No page there: the bitmap of the load before must not pass for one.
    io.Params().TIFF_ImageIndex = 3;
    EXPECT_EQ(io.LoadFromFileTIFF(file), 3);
    EXPECT_TRUE(io.Aborting);

    // Transparency comes as the alpha channel.
    TKorvaneIO rgba(nullptr);
    PlugLzwCoders(rgba);
    rgba.LoadFromFile(GoTiff("no_compress.tiff"));
    ASSERT_FALSE(rgba.Aborting);
    ASSERT_TRUE(rgba.KVBitmap()->GetHasAlphaChannel());

    // The parameters alone, the bitmap left as it is.
    TKorvaneIO params(nullptr);
    FillPattern(*params.KVBitmap(), 5, 5);
    params.ParamsFromFile(file);
    EXPECT_EQ(params.Params().FileType, 1);
    EXPECT_EQ(params.Params().Width, 150);
    EXPECT_EQ(params.Params().TIFF_Compression, ioTIFF_UNKNOWN); // Deflate
    EXPECT_EQ(params.KVBitmap()->GetWidth(), 5);
}

TEST(TiffFrontEnd, StreamHeadersLetPicturesFollowEachOther)
{
    TMemoryStream stream;
    TKorvaneIO writer(nullptr);
    PlugLzwCoders(writer);
    writer.StreamHeaders = true;
    writer.Params().TIFF_Compression = ioTIFF_LZW;
    FillPattern(*writer.KVBitmap(), 12, 9, 1);
    TKVBitmap first;
    first.Assign(writer.KVBitmap());
    writer.SaveToStreamTIFF(stream);
    FillPattern(*writer.KVBitmap(), 7, 5, 2);
    writer.SaveToStream(stream, 1);
    ASSERT_FALSE(writer.Aborting);
    const uint8_t* bytes = static_cast<const uint8_t*>(stream.Memory());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 5), std::string("TIFF\0", 5));

    stream.SetPosition(0);
    EXPECT_EQ(Korvaneio::FindStreamFormat(stream), 1);
    TKorvaneIO reader(nullptr);
    PlugLzwCoders(reader);
    reader.StreamHeaders = true;
    EXPECT_EQ(reader.LoadFromStreamTIFF(stream), 1);
    EXPECT_TRUE(SamePixels(*reader.KVBitmap(), first));
    reader.LoadFromStream(stream);
    ASSERT_FALSE(reader.Aborting);
    EXPECT_TRUE(SamePixels(*reader.KVBitmap(), *writer.KVBitmap()));
    EXPECT_EQ(stream.Position(), stream.Size());

    // A TIFF without the header while headers are expected is refused.
    TMemoryStream plain;
    writer.StreamHeaders = false;
    writer.SaveToStreamTIFF(plain);
    plain.SetPosition(0);
    EXPECT_EQ(reader.LoadFromStreamTIFF(plain), 0);
    EXPECT_TRUE(reader.Aborting);
    // Without headers the TIFF is read from where it starts.
    reader.StreamHeaders = false;
    plain.SetPosition(0);
    EXPECT_EQ(reader.LoadFromStreamTIFF(plain), 1);
    EXPECT_FALSE(reader.Aborting);
}

// Every page operation on a file takes effect once the new content is complete, as one change of
// the file: a copy made before keeps the old pages, a second name of the file shows the new ones.
TEST(TiffFiles, PageOperationsReplaceFilesWhenComplete)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("pages.tif");
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    io.Params().TIFF_Compression = ioTIFF_LZW;
    FillPattern(*io.KVBitmap(), 20, 10, 0);
    io.SaveToFileTIFF(file);
    for (int32_t page = 1; page < 3; ++page) {
        FillPattern(*io.KVBitmap(), 20 + page, 10, page);
        io.Params().TIFF_ImageIndex = page;
        EXPECT_EQ(io.InsertToFileTIFF(file), page + 1);
        ASSERT_FALSE(io.Aborting);
    }
    CopyFile(file, folder.File("old.tif"));
    ASSERT_EQ(::link(file.c_str(), folder.File("same.tif").c_str()), 0);
    EXPECT_EQ(Korvaneio::EnumTIFFIm(file), 3);

    EXPECT_EQ(Korvaneio::DeleteTIFFIm(file, 1), 2);
    EXPECT_EQ(Korvaneio::EnumTIFFIm(file), 2);
    EXPECT_EQ(Korvaneio::EnumTIFFIm(folder.File("same.tif")), 2);
    EXPECT_EQ(Korvaneio::EnumTIFFIm(folder.File("old.tif")), 3);
    EXPECT_EQ(RunTool("tiffinfo " + file + " 2>&1 | grep -c 'Image Width: 2[02]'"), "2\n");

    Korvaneio::ExtractTIFFImageFile(folder.File("old.tif"), folder.File("second.tif"), 1);
    TKorvaneIO second(nullptr);
    PlugLzwCoders(second);
    second.LoadFromFile(folder.File("second.tif"));
    EXPECT_EQ(second.KVBitmap()->GetWidth(), 21);

    Korvaneio::InsertTIFFImageFile(file, folder.File("second.tif"), folder.File("joined.tif"), 1);
    EXPECT_EQ(RunTool("tiffinfo " + folder.File("joined.tif") +
                      " 2>&1 | grep 'Image Width' | cut -c15-17 | tr -d '\\n '"),
              "202122");
    EXPECT_EQ(Korvaneio::DeleteTIFFImGroup(folder.File("joined.tif"), {0, 2}), 1);

    // A file that is no TIFF stays as it was.
    const std::string text = folder.Write("text.tif", "not a picture");
    EXPECT_EQ(Korvaneio::DeleteTIFFIm(text, 0), 0);
    EXPECT_EQ(FileBytes(text), "not a picture");
    EXPECT_THROW(Korvaneio::EnumTIFFIm(folder.File("missing.tif")), Exception);
}

// An insert that a full disk (a file size limit stands for it) stops leaves the file byte for
// byte as it was and returns the pages it still has; so does one that cannot add a page to a
// big-endian file, a BigTIFF, or a file that is no TIFF.
TEST(TiffFiles, AFailedInsertReturnsThePagesTheFileStillHas)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("one.tif");
    TKorvaneIO maker(nullptr);
    FillPattern(*maker.KVBitmap(), 150, 103, 7);
    maker.SaveToFileTIFF(file);
    const std::string before = FileBytes(file);
    const rlim_t size = before.size();
    for (const rlim_t limit : {size + 16, size + size / 2}) {
        SCOPED_TRACE(limit);
        // 10 + the count returned by an insert that failed without raising, 3 when it raised.
        const int code = ExitCodeWithFilesLimitedTo(limit, [&] {
            TKorvaneIO io(nullptr);
            FillPattern(*io.KVBitmap(), 150, 103);
            io.Params().TIFF_ImageIndex = 1;
            const int32_t pages = io.InsertToFileTIFF(file);
            return io.Aborting ? 10 + pages : 0;
        });
        EXPECT_EQ(code, 11);
        EXPECT_EQ(FileBytes(file), before);
        EXPECT_EQ(RunTool("tiffinfo " + file + " 2>&1 | grep -c 'Image Width'"), "1\n");
    }

    const std::string big = folder.File("big.tif");
    RunTool("tiffcp -B " + file + " " + file + " " + big);
    const std::string bigTiff = folder.File("bigtiff.tif");
    RunTool("tiffcp -8 " + file + " " + file + " " + file + " " + bigTiff);
    const std::string text = folder.Write("text.tif", "not a picture");
    for (const auto& [name, pages] : {std::pair{big, 2}, std::pair{bigTiff, 3}, std::pair{text, 0}}) {
        SCOPED_TRACE(name);
        const std::string old = FileBytes(name);
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 15, 10);
        EXPECT_EQ(io.InsertToFileTIFF(name), pages);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(FileBytes(name), old);
    }
}

// Pages are deleted from, taken out of and inserted into BigTIFF files, which stay BigTIFFs.
TEST(TiffFiles, BigTiffFilesAreEditedInTheirForm)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("three.tif");
    RunTool("tiffcp -8 " + GoTiff("video-001.tiff") + " " + GoTiff("bw-gopher_ccittGroup4.tiff") + " " +
            GoTiff("video-001-gray.tiff") + " " + file);
    const auto describe = [](const std::string& name) {
        return RunTool("tiffdump " + name + " | grep -c BigTIFF; tiffinfo " + name +
                       " 2>&1 | grep -E 'Image Width|Error'");
    };
    const std::string page1 = "  Image Width: 153 Image Length: 55\n";
    const std::string page0 = "  Image Width: 150 Image Length: 103\n";
    ASSERT_EQ(describe(file), "1\n" + page0 + page1 + page0);

    Korvaneio::ExtractTIFFImageFile(file, folder.File("second.tif"), 1);
    EXPECT_EQ(describe(folder.File("second.tif")), "1\n" + page1);
    Korvaneio::InsertTIFFImageFile(file, folder.File("second.tif"), folder.File("four.tif"), 0);
    EXPECT_EQ(describe(folder.File("four.tif")), "1\n" + page1 + page0 + page1 + page0);
    EXPECT_EQ(Korvaneio::DeleteTIFFImGroup(file, {0, 2}), 1);
    EXPECT_EQ(describe(file), "1\n" + page1);
    EXPECT_EQ(RunTool("tiffcmp " + file + " " + folder.File("second.tif")), "");

    // A classic TIFF and a BigTIFF are not joined, and a refused join or extract writes nothing,
    // not even over the very file it was to grow.
    const std::string classic = folder.File("classic.tif");
    RunTool("tiffcp " + GoTiff("video-001.tiff") + " " + classic);
    const std::string classicBytes = FileBytes(classic);
    Korvaneio::InsertTIFFImageFile(classic, file, classic, 0);
    EXPECT_EQ(FileBytes(classic), classicBytes);
    const std::string old = FileBytes(file);
    Korvaneio::ExtractTIFFImageFile(classic, file, 5);
    EXPECT_EQ(FileBytes(file), old);
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void*);

namespace {

std::atomic<bool> gCounting{false};
std::atomic<int64_t> gHeld{0};
std::atomic<int64_t> gPeak{0};

void OnMalloc(const volatile void*, size_t size)
{
    if (gCounting) {
        const int64_t held = gHeld += int64_t(size);
        int64_t peak = gPeak;
        while (held > peak && !gPeak.compare_exchange_weak(peak, held)) {
        }
    }
}

void OnFree(const volatile void* pointer)
{
    if (gCounting) {
        gHeld -= int64_t(__sanitizer_get_allocated_size(pointer));
    }
}

} // namespace

// The last page of twenty 4000 x 3000 colour pages: the heap holds less than two decoded pages
// while it loads (and far less with file-backed bitmaps), and counting the pages reads only
// their directories.
TEST(TiffMemory, TheLastOfTwentyBigPagesTakesLessThanTwoPages)
{
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    ASSERT_TRUE(hooked);
    kvtest::TempFolder folder;
    const int32_t width = 4000, height = 3000;
    {
        TKorvaneIO writer(nullptr);
        PlugLzwCoders(writer);
        writer.Params().TIFF_Compression = ioTIFF_LZW;
        TKVBitmap& page = *writer.KVBitmap();
        page.Allocate(width, height, kv24RGB);
        for (int32_t y = 0; y < height; ++y) {
            const TRGB colour{uint8_t(y / 12), uint8_t(255 - y / 12), 90};
            TRGB* row = reinterpret_cast<TRGB*>(page.GetScanLine(y));
            std::fill(row, row + width, colour);
        }
        writer.SaveToFileTIFF(folder.File("one.tif"));
        ASSERT_FALSE(writer.Aborting);
    }
    // Doubled to 16 pages, then the 4-page file added: twenty pages.
    TMemoryStream current, four;
    current.LoadFromFile(folder.File("one.tif"));
    for (int32_t i = 0; i < 4; ++i) {
        TMemoryStream copy, joined;
        copy.LoadFromStream(current);
        current.SetPosition(0);
        Korvaneio::InsertTIFFImageStream(current, copy, joined, 1000);
        current.LoadFromStream(joined);
        if (i == 1) {
            four.LoadFromStream(current);
        }
    }
    TMemoryStream twenty;
    current.SetPosition(0);
    Korvaneio::InsertTIFFImageStream(current, four, twenty, 1000);
    twenty.SaveToFile(folder.File("twenty.tif"));
    current.Clear();
    four.Clear();
    twenty.Clear();

    {
        TFileStream file(folder.File("twenty.tif"), fmOpenRead);
        TCountingStream counting(file);
        EXPECT_EQ(Korvaneio::EnumTIFFStream(counting), 20);
        EXPECT_LT(counting.BytesRead, 20 * 400);
    }

    TKorvaneIO reader(nullptr);
    PlugLzwCoders(reader);
    reader.Params().TIFF_ImageIndex = 19;
    gHeld = 0;
    gPeak = 0;
    gCounting = true;
    EXPECT_EQ(reader.LoadFromFileTIFF(folder.File("twenty.tif")), 20);
    gCounting = false;
    ASSERT_FALSE(reader.Aborting);
    EXPECT_EQ(reader.KVBitmap()->GetPixels(5, 2999), (TRGB{249, 6, 90}));
    const int64_t page = int64_t(width) * height * 3;
    EXPECT_LT(gPeak.load(), 2 * page) << gPeak.load();
    if (Daduvudez::KVDefMinFileSize == 0) {
        EXPECT_LT(gPeak.load(), page / 4);
    }
}

#endif
