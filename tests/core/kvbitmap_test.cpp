// The bitmap model: storage and its location, rows, pixels, palettes, alpha channels, filling,
// copies, size changes and encapsulation. Every test runs once with bitmaps in memory and once
// with every bitmap in a temporary file.
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/exceptions.h"
#include "tests/core/temp_folder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace {

TRGB Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return TRGB{b, g, r};
}

std::vector<TRGB> Colours(TKVBitmap& bitmap)
{
    std::vector<TRGB> colours;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x)
            colours.push_back(bitmap.GetPixels(x, y));
    return colours;
}

void Make24(TKVBitmap& bitmap, int32_t width, const std::vector<TRGB>& pixels)
{
    const int32_t height = int32_t(pixels.size()) / width;
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t i = 0; i < int32_t(pixels.size()); ++i)
        bitmap.SetPixels_kv24RGB(i % width, i / width, pixels[i]);
}

void Make8(TKVBitmap& bitmap, TKVPixelFormat format, int32_t width, const std::vector<uint8_t>& pixels)
{
    bitmap.Allocate(width, int32_t(pixels.size()) / width, format);
    for (int32_t i = 0; i < int32_t(pixels.size()); ++i)
        bitmap.SetPixels_kv8(i % width, i / width, pixels[i]);
}

std::vector<uint8_t> Values8(TKVBitmap& bitmap)
{
    std::vector<uint8_t> values;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x)
            values.push_back(bitmap.GetPixels_kv8(x, y));
    return values;
}

bool FileBacked()
{
    return Daduvudez::KVDefMinFileSize == 0;
}

// Sets KVDefMinFileSize for the bitmaps made in a scope.
class TMinFileSizeScope
{
public:
    explicit TMinFileSizeScope(int32_t value) : FSaved(Daduvudez::KVDefMinFileSize)
    {
        Daduvudez::KVDefMinFileSize = value;
    }
    ~TMinFileSizeScope() { Daduvudez::KVDefMinFileSize = FSaved; }

private:
    int32_t FSaved;
};

} // namespace

class KVBitmap : public TempFolderTest
{
};

// ---------------------------------------------------------------------------------------------
// Storage

TEST_F(KVBitmap, ChoosesMemoryOrFileByByteSize)
{
    struct Case
    {
        TKVLocation requested;
        int32_t width; // 4 rows of 24-bit pixels: 8, 12 and 20 bytes a row at widths 2, 4 and 6
        TKVLocation expected;
    };
    // MinFileSize 48: a 4 x 4 image is exactly 48 bytes and keeps the location asked for.
    for (const Case& c : {Case{kvFile, 4, kvFile}, Case{kvMemory, 4, kvMemory}, Case{kvFile, 2, kvMemory},
                          Case{kvMemory, 2, kvMemory}, Case{kvFile, 6, kvFile}, Case{kvMemory, 6, kvFile},
                          Case{kvTBitmap, 6, kvTBitmap}}) {
        TKVBitmap bitmap;
        bitmap.MinFileSize = 48;
        if (c.requested != kvFile)
            bitmap.SetLocation(c.requested);
        bitmap.Allocate(c.width, 4, kv24RGB);
        EXPECT_EQ(bitmap.Location(), c.expected) << int(c.requested) << " " << c.width;
    }
}

TEST_F(KVBitmap, TakesMinFileSizeFromTheGlobalAtConstruction)
{
    {
        TMinFileSizeScope scope(1234);
        TKVBitmap bitmap;
        EXPECT_EQ(bitmap.MinFileSize, 1234);
    }
    {
        // Unset: half the free memory, counted in 64 bits and clamped to the int32 range.
        TMinFileSizeScope scope(-1);
        TKVBitmap bitmap;
        const int64_t half = Daduvudez::KVGetFreeMemory() / 2;
        EXPECT_EQ(bitmap.MinFileSize, half > 0 ? int32_t(std::min<int64_t>(half, INT32_MAX)) : 0x2000000);
        EXPECT_GT(bitmap.MinFileSize, 0);
    }
    {
        TMinFileSizeScope scope(0);
        TKVBitmap bitmap;
        bitmap.SetLocation(kvMemory);
        bitmap.Allocate(1, 1, kv8g);
        EXPECT_EQ(bitmap.Location(), kvFile);
        EXPECT_EQ(TemporaryFiles().size(), 1u);
    }
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(KVBitmap, AllocatesEveryPixelFormat)
{
    struct Case
    {
        TKVPixelFormat format;
        int32_t bits, rowLen, paletteCount;
    };
    for (const Case& c : {Case{kv1g, 1, 4, 0}, Case{kv8p, 8, 8, 256}, Case{kv8g, 8, 8, 0},
                          Case{kv16g, 16, 12, 0}, Case{kv24RGB, 24, 16, 0}, Case{kv32f, 32, 20, 0}}) {
        TKVBitmap bitmap;
        bitmap.Allocate(5, 3, c.format);
        EXPECT_EQ(bitmap.GetPixelFormat(), c.format);
        EXPECT_EQ(bitmap.GetBitCount(), c.bits);
        EXPECT_EQ(bitmap.GetRowLen(), c.rowLen);
        EXPECT_EQ(bitmap.PaletteCount(), c.paletteCount);
        EXPECT_EQ(bitmap.GetWidth(), 5);
        EXPECT_EQ(bitmap.GetHeight(), 3);
        EXPECT_FALSE(bitmap.Full);
        EXPECT_EQ(bitmap.Location(), FileBacked() ? kvFile : kvMemory);
    }
    TKVBitmap empty;
    empty.Allocate(0, 5, kv24RGB);
    EXPECT_EQ(empty.GetScanLine(0), nullptr);
    EXPECT_EQ(empty.GetRowLen(), 0);
}

TEST_F(KVBitmap, KeepsClassLibraryFormatsInTBitmapLocation)
{
    TKVBitmap grey16;
    grey16.SetLocation(kvTBitmap);
    grey16.Allocate(4, 2, kv16g);
    EXPECT_EQ(grey16.GetPixelFormat(), kv8g);
    EXPECT_EQ(grey16.GetRowLen(), 4);
    EXPECT_EQ(grey16.GetVclBitmap()->PixelFormat(), pf8bit);

    TKVBitmap floats;
    floats.SetLocation(kvTBitmap);
    try {
        floats.Allocate(4, 2, kv32f);
        FAIL() << "kv32f was allowed in a class-library bitmap";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "kv32f pixel format not allowed when Location=kvTBitmap");
    }
    EXPECT_EQ(floats.GetWidth(), 0);
}

TEST_F(KVBitmap, RefusesImagesTooLargeToAddressAndLosesNothing)
{
    TKVBitmap bitmap;
    EXPECT_THROW(bitmap.Allocate(INT32_MAX, 2, kv32f), EOutOfMemory); // a row alone is past 2 GiB
    EXPECT_EQ(bitmap.GetWidth(), 0);
    bitmap.Allocate(3, 2, kv24RGB);
    bitmap.SetPixels_kv24RGB(1, 1, Rgb(1, 2, 3));

    TKVBitmap huge;
    EXPECT_THROW(huge.Allocate(1000000, 1000000, kv24RGB), EOutOfMemory); // 3 TB: neither disk nor memory
    EXPECT_EQ(huge.GetWidth(), 0);
    EXPECT_EQ(huge.GetScanLine(0), nullptr);

    EXPECT_THROW(bitmap.SetWidth(INT32_MAX), EOutOfMemory);
    EXPECT_EQ(bitmap.GetWidth(), 3);
    EXPECT_EQ(bitmap.GetPixels_kv24RGB(1, 1), Rgb(1, 2, 3));
    EXPECT_EQ(TemporaryFiles().size(), FileBacked() ? 1u : 0u);
}

TEST_F(KVBitmap, RemovesItsTemporaryFileWhenFreedAlsoAfterAnException)
{
    TMinFileSizeScope scope(0);
    {
        TKVBitmap bitmap;
        bitmap.Allocate(10, 10, kv24RGB);
        ASSERT_EQ(bitmap.Location(), kvFile);
        const std::vector<std::string> files = TemporaryFiles();
        ASSERT_EQ(files.size(), 1u);
        bitmap.GetAlphaChannel(); // the alpha channel has a file of its own
        EXPECT_EQ(TemporaryFiles().size(), 2u);
        bitmap.RemoveAlphaChannel();
        EXPECT_EQ(TemporaryFiles(), files);
        bitmap.FreeImage();
        EXPECT_TRUE(TemporaryFiles().empty());
    }
    try {
        TKVBitmap bitmap;
        bitmap.Allocate(10, 10, kv32f);
        bitmap.SetLocation(kvTBitmap); // refused: floats have no class-library format
    } catch (const Exception&) {
    }
    EXPECT_TRUE(TemporaryFiles().empty());
    try {
        TKVBitmap bitmap;
        bitmap.Allocate(10, 10, kv8g);
        throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(KVBitmap, ReportsAFullDiskWhileWritingRows)
{
    // The child's disk is full past 64 KiB; rows beyond must not vanish silently.
    const int result = ExitCodeOfChild([] {
        Daduvudez::KVDefMinFileSize = 0;
        TKVBitmap bitmap;
        bitmap.Allocate(1024, 128, kv8g); // 128 KiB in its file
        if (bitmap.Location() != kvFile)
            return 2;
        LimitFileSize(65536);
        try {
            for (int32_t y = 0; y < 128; ++y)
                std::memset(bitmap.GetScanLine(y), y, 1024);
            bitmap.FreeAllMaps();
        } catch (const EWriteError&) {
            return 0;
        }
        return 3;
    });
    EXPECT_EQ(result, 0);
}

// ---------------------------------------------------------------------------------------------
// Rows

TEST_F(KVBitmap, KeepsRowsApartInEveryLocation)
{
    for (TKVLocation location : {kvMemory, kvFile, kvTBitmap}) {
        TKVBitmap bitmap;
        bitmap.MinFileSize = location == kvFile ? 0 : 1 << 30;
        bitmap.SetLocation(location);
        bitmap.Allocate(5, 4, kv8g);
        ASSERT_EQ(bitmap.Location(), location);
        for (int32_t y = 0; y < 4; ++y)
            std::memset(bitmap.GetScanLine(y), 10 + y, 8);
        EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{10, 10, 10, 10, 10, 11, 11, 11, 11, 11,
                                                         12, 12, 12, 12, 12, 13, 13, 13, 13, 13}))
            << int(location);
        EXPECT_EQ(bitmap.GetScanLine(4), nullptr);
        EXPECT_EQ(bitmap.GetScanLine(-1), nullptr);
    }
}

TEST_F(KVBitmap, HoldsSeveralRowsAtOnceThroughGetRow)
{
    TKVBitmap bitmap;
    Make8(bitmap, kv8g, 2, {1, 2, 3, 4, 5, 6});
    uint8_t* top = bitmap.GetRow(0);
    uint8_t* middle = bitmap.GetRow(1);
    uint8_t* bottom = bitmap.GetRow(2);
    EXPECT_EQ((std::array{top[1], middle[1], bottom[1]}), (std::array<uint8_t, 3>{2, 4, 6}));
    middle[0] = 40;
    bitmap.GetScanLine(0); // mapping other rows leaves held ones alone
    EXPECT_EQ(bottom[0], 5);
    bitmap.FreeRow(1);
    bitmap.FreeRow(0);
    bitmap.FreeRow(2);
    EXPECT_EQ(bitmap.GetPixels_kv8(0, 1), 40);
}

TEST_F(KVBitmap, InvalidatesThePreviousFileRow)
{
    // In memory a row never moves, so the memory run of the suite has nothing to check here.
    if (!FileBacked())
        GTEST_SKIP() << "only file-backed rows move";
    TKVBitmap bitmap;
    Make8(bitmap, kv8g, 4, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3});
    uint8_t* first = bitmap.GetScanLine(0);
    bitmap.GetScanLine(1);
#if defined(__SANITIZE_ADDRESS__)
    // Code still holding the first row trips the sanitizer.
    EXPECT_TRUE(__asan_address_is_poisoned(first));
#else
    (void)first;
#endif
    uint8_t* second = bitmap.GetScanLine(1);
    EXPECT_EQ(second[0], 2);
}

// ---------------------------------------------------------------------------------------------
// Pixels, palette, filling

TEST_F(KVBitmap, ReadsAndWritesPixelsOfEachFormatAndClearsFull)
{
    TKVBitmap bw;
    bw.Allocate(10, 2, kv1g);
    bw.Fill(1);
    EXPECT_TRUE(bw.Full);
    bw.SetPixels_kv1g(9, 1, false);
    EXPECT_FALSE(bw.Full);
    EXPECT_FALSE(bw.GetPixels_kv1g(9, 1));
    EXPECT_TRUE(bw.GetPixels_kv1g(8, 1));
    EXPECT_EQ(bw.GetScanLine(1)[1], 0xBF); // bit 9 is the second byte's 0x40
    EXPECT_EQ(bw.GetPixels(9, 1), Rgb(0, 0, 0));
    EXPECT_EQ(bw.GetPixels(0, 0), Rgb(255, 255, 255));

    TKVBitmap grey16;
    grey16.Allocate(2, 1, kv16g);
    grey16.Fill(65535);
    EXPECT_TRUE(grey16.Full);
    grey16.SetPixels_kv16g(1, 0, 0x1234);
    EXPECT_FALSE(grey16.Full);
    EXPECT_EQ(grey16.GetPixels_kv16g(1, 0), 0x1234);
    EXPECT_EQ(grey16.GetPixels(1, 0), Rgb(0x12, 0x12, 0x12));

    TKVBitmap floats;
    floats.Allocate(3, 1, kv32f);
    floats.Fill(1.0);
    EXPECT_TRUE(floats.Full);
    floats.SetPixels_kv32f(0, 0, 1.5f);
    EXPECT_TRUE(floats.Full);
    floats.SetPixels_kv32f(1, 0, 0.5f);
    floats.SetPixels_kv32f(2, 0, -2.0f);
    EXPECT_FALSE(floats.Full);
    // Trunc(v * 255), clamped to the byte range.
    EXPECT_EQ(Colours(floats), (std::vector<TRGB>{Rgb(255, 255, 255), Rgb(127, 127, 127), Rgb(0, 0, 0)}));

    TKVBitmap colour;
    colour.Allocate(2, 2, kv24RGB);
    colour.Fill(0xFFFFFF);
    EXPECT_TRUE(colour.Full);
    colour.SetPixels_kv24RGB(1, 1, Rgb(255, 255, 255));
    EXPECT_TRUE(colour.Full);
    colour.GetPPixels_kv24RGB(0, 1)->g = 7;
    EXPECT_EQ(colour.GetPixels_kv24RGB(0, 1), Rgb(255, 7, 255));
    colour.SetPixels_kv24RGB(0, 0, Rgb(1, 2, 3));
    EXPECT_FALSE(colour.Full);
    EXPECT_EQ(colour.GetPixels(0, 0), Rgb(1, 2, 3));

    TKVBitmap none;
    EXPECT_EQ(none.GetPixels(0, 0), Rgb(0, 0, 0));
}

TEST_F(KVBitmap, KeepsAPaletteAndAnswersBlackOutsideIt)
{
    TKVBitmap bitmap;
    Make8(bitmap, kv8p, 2, {0, 1});
    bitmap.SetPalette(0, Rgb(10, 20, 30));
    bitmap.SetPalette(1, Rgb(40, 50, 60));
    bitmap.SetPalette(256, Rgb(1, 1, 1));
    bitmap.SetPalette(-1, Rgb(1, 1, 1));
    EXPECT_EQ(Colours(bitmap), (std::vector<TRGB>{Rgb(10, 20, 30), Rgb(40, 50, 60)}));
    EXPECT_EQ(bitmap.GetPalette(256), Rgb(0, 0, 0));
    EXPECT_EQ(bitmap.GetPalette(-5), Rgb(0, 0, 0));
    TKVBitmap grey;
    grey.Allocate(1, 1, kv8g);
    EXPECT_EQ(grey.GetPalette(0), Rgb(0, 0, 0));
}

TEST_F(KVBitmap, FillsWholeRowsAndRectangles)
{
    struct Case
    {
        TKVPixelFormat format;
        double value;
        bool full;
        TRGB pixel;
    };
    // Trunc of the value; a colour is a TColor, red in the low byte.
    for (const Case& c :
         {Case{kv1g, 1, true, Rgb(255, 255, 255)}, Case{kv1g, 0, false, Rgb(0, 0, 0)},
          Case{kv8g, 255, true, Rgb(255, 255, 255)}, Case{kv8g, 1.5, false, Rgb(1, 1, 1)},
          Case{kv16g, 65535, true, Rgb(255, 255, 255)}, Case{kv16g, 512, false, Rgb(2, 2, 2)},
          Case{kv24RGB, 0x0000FF, false, Rgb(255, 0, 0)}, Case{kv24RGB, 0xFFFFFF, true, Rgb(255, 255, 255)},
          Case{kv32f, 1.5, false, Rgb(255, 255, 255)}, Case{kv32f, 1.0, true, Rgb(255, 255, 255)}}) {
        TKVBitmap bitmap;
        bitmap.Allocate(3, 2, c.format);
        bitmap.Fill(c.value);
        EXPECT_EQ(bitmap.Full, c.full) << int(c.format) << " " << c.value;
        EXPECT_EQ(Colours(bitmap), std::vector<TRGB>(6, c.pixel)) << int(c.format) << " " << c.value;
    }
    TKVBitmap floats;
    floats.Allocate(1, 1, kv32f);
    floats.Fill(1.5);
    EXPECT_EQ(floats.GetPixels_kv32f(0, 0), 1.5f);

    TKVBitmap bw;
    bw.Allocate(3, 1, kv1g);
    bw.Fill(1);
    EXPECT_EQ(bw.GetScanLine(0)[3], 0xFF); // padding included

    TKVBitmap grey;
    Make8(grey, kv8g, 4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    grey.FillRect(1, 1, 2, 5, 9); // cut at the bottom edge
    EXPECT_EQ(Values8(grey), (std::vector<uint8_t>{0, 0, 0, 0, 0, 9, 9, 0, 0, 9, 9, 0}));
    grey.FillRect(3, 0, 1, 0, 7); // empty
    EXPECT_EQ(grey.GetPixels_kv8(3, 0), 0);
    TKVBitmap bits;
    bits.Allocate(12, 1, kv1g);
    bits.Fill(0);
    bits.FillRect(6, 0, 9, 0, 1);
    EXPECT_EQ((std::array{bits.GetScanLine(0)[0], bits.GetScanLine(0)[1]}),
              (std::array<uint8_t, 2>{0x03, 0xC0}));
}

TEST_F(KVBitmap, RecomputesFullFromTheRows)
{
    TKVBitmap bitmap;
    bitmap.Allocate(3, 2, kv8g);
    bitmap.Fill(255);
    bitmap.Full = false;
    bitmap.SyncFull();
    EXPECT_TRUE(bitmap.Full);
    std::memset(bitmap.GetScanLine(1) + 3, 0, 1); // row padding is not a pixel
    bitmap.SyncFull();
    EXPECT_TRUE(bitmap.Full);
    std::memset(bitmap.GetScanLine(1) + 2, 0, 1);
    bitmap.SyncFull();
    EXPECT_FALSE(bitmap.Full);
}

// ---------------------------------------------------------------------------------------------
// Alpha channel

TEST_F(KVBitmap, CreatesTheAlphaChannelOnFirstUse)
{
    TKVBitmap bitmap;
    bitmap.Allocate(3, 2, kv24RGB);
    EXPECT_FALSE(bitmap.GetHasAlphaChannel());
    TKVBitmap* alpha = bitmap.GetAlphaChannel();
    ASSERT_NE(alpha, nullptr);
    EXPECT_TRUE(bitmap.GetHasAlphaChannel());
    EXPECT_TRUE(alpha->IsAlpha());
    EXPECT_EQ(alpha->GetPixelFormat(), kv8g);
    EXPECT_EQ(alpha->GetWidth(), 3);
    EXPECT_TRUE(alpha->Full);
    EXPECT_EQ(Values8(*alpha), std::vector<uint8_t>(6, 255));
    EXPECT_EQ(alpha->GetAlphaChannel(), nullptr);
    EXPECT_FALSE(alpha->GetHasAlphaChannel());

    bitmap.Full = true;
    bitmap.SetAlpha(2, 1, 255);
    EXPECT_TRUE(alpha->Full);
    bitmap.SetAlpha(2, 1, 17);
    EXPECT_EQ(bitmap.GetAlpha(2, 1), 17);
    EXPECT_FALSE(alpha->Full);
    EXPECT_FALSE(bitmap.Full);
    bitmap.RemoveAlphaChannel();
    EXPECT_FALSE(bitmap.GetHasAlphaChannel());

    TKVBitmap standalone(2, 2, kvTBitmap);
    EXPECT_EQ(standalone.Location(), FileBacked() ? kvFile : kvMemory);
    EXPECT_TRUE(standalone.IsAlpha());
    EXPECT_EQ(Values8(standalone), std::vector<uint8_t>(4, 255));
}

// ---------------------------------------------------------------------------------------------
// Assign

TEST_F(KVBitmap, AssignCopiesPixelsPaletteFullAndAlpha)
{
    TKVBitmap source;
    Make8(source, kv8p, 3, {0, 1, 2, 2, 1, 0});
    for (int i = 0; i < 3; ++i)
        source.SetPalette(i, Rgb(uint8_t(i * 10), uint8_t(i * 20), uint8_t(i * 30)));
    source.SetAlpha(1, 1, 99);
    source.Full = true;
    source.DitherMethod = kvOrdered;

    for (TKVLocation location : {kvMemory, kvFile, kvTBitmap}) {
        TKVBitmap copy;
        copy.SetLocation(location);
        copy.Assign(&source);
        EXPECT_EQ(Values8(copy), (std::vector<uint8_t>{0, 1, 2, 2, 1, 0})) << int(location);
        EXPECT_EQ(copy.GetPalette(2), Rgb(20, 40, 60));
        EXPECT_TRUE(copy.Full);
        EXPECT_EQ(copy.DitherMethod, kvOrdered);
        ASSERT_TRUE(copy.GetHasAlphaChannel());
        EXPECT_EQ(copy.GetAlpha(1, 1), 99);
        EXPECT_NE(copy.GetAlphaChannel(), source.GetAlphaChannel());
        if (location == kvTBitmap) {
            EXPECT_EQ(copy.Location(), kvTBitmap);
            PALETTEENTRY entry{};
            GetPaletteEntries(copy.GetVclBitmap()->Palette(), 2, 1, &entry);
            EXPECT_EQ((std::array{entry.peRed, entry.peGreen, entry.peBlue}),
                      (std::array<uint8_t, 3>{20, 40, 60}));
        }
    }
}

TEST_F(KVBitmap, AssignWithoutAlphaDropsTheOldAlphaEverywhere)
{
    TKVBitmap source;
    Make24(source, 2, {Rgb(1, 2, 3), Rgb(4, 5, 6)});
    for (TKVLocation location : {kvMemory, kvTBitmap})
        for (int32_t width : {5, 2}) { // a target of the source's size keeps its storage
            TKVBitmap target;
            target.SetLocation(location);
            target.Allocate(width, width == 2 ? 1 : 5, kv24RGB);
            target.Fill(0);
            target.SetAlpha(0, 0, 3);
            target.Assign(&source);
            EXPECT_FALSE(target.GetHasAlphaChannel()) << int(location);
            EXPECT_EQ(Colours(target), (std::vector<TRGB>{Rgb(1, 2, 3), Rgb(4, 5, 6)}));
        }
}

TEST_F(KVBitmap, AssignImageLeavesAlphaFullAndDitherAlone)
{
    TKVBitmap source;
    Make8(source, kv8g, 2, {5, 6});
    source.SetAlpha(0, 0, 1);
    source.Full = true;
    source.DitherMethod = kvOrdered;
    TKVBitmap target;
    target.Allocate(2, 1, kv8g);
    target.SetAlpha(1, 0, 77);
    target.AssignImage(&source);
    EXPECT_EQ(Values8(target), (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(target.GetAlpha(1, 0), 77);
    EXPECT_EQ(target.GetAlpha(0, 0), 255);
    EXPECT_FALSE(target.Full);
    EXPECT_EQ(target.DitherMethod, kvThreshold);
}

TEST_F(KVBitmap, AssignsFileToFileByCopyingTheFile)
{
    TMinFileSizeScope scope(0);
    TKVBitmap source, target;
    Make24(source, 3, {Rgb(1, 1, 1), Rgb(2, 2, 2), Rgb(3, 3, 3), Rgb(4, 4, 4), Rgb(5, 5, 5), Rgb(6, 6, 6)});
    target.Allocate(50, 50, kv8g);
    target.Assign(&source);
    ASSERT_EQ(target.Location(), kvFile);
    EXPECT_EQ(Colours(target), Colours(source));
    source.SetPixels_kv24RGB(0, 0, Rgb(9, 9, 9)); // independent files
    EXPECT_EQ(target.GetPixels_kv24RGB(0, 0), Rgb(1, 1, 1));
}

TEST_F(KVBitmap, AssignIntoAClassLibraryBitmapTurnsGreyWordsAndFloatsIntoBytes)
{
    TKVBitmap words;
    words.Allocate(2, 1, kv16g);
    words.SetPixels_kv16g(0, 0, 0x1234);
    words.SetPixels_kv16g(1, 0, 0xFF00);
    TKVBitmap floats;
    floats.Allocate(2, 1, kv32f);
    floats.SetPixels_kv32f(0, 0, 0.5f);
    floats.SetPixels_kv32f(1, 0, 2.0f);
    TKVBitmap target;
    target.SetLocation(kvTBitmap);
    target.Assign(&words);
    EXPECT_EQ(target.GetPixelFormat(), kv8g);
    EXPECT_EQ(Values8(target), (std::vector<uint8_t>{0x12, 0xFF}));
    target.Assign(&floats);
    EXPECT_EQ(Values8(target), (std::vector<uint8_t>{127, 255}));
}

// ---------------------------------------------------------------------------------------------
// Rectangles

TEST_F(KVBitmap, CopiesRectanglesClippedToBothImages)
{
    // Source 4 x 3 of bytes 10*y + x, destination 3 x 3 of zeros.
    struct Case
    {
        const char* name;
        int32_t sx, sy, dx, dy, w, h;
        std::vector<uint8_t> expected;
    };
    const std::vector<Case> cases = {
        {"inside", 1, 1, 0, 0, 2, 2, {11, 12, 0, 21, 22, 0, 0, 0, 0}},
        {"negative destination", 0, 0, -2, 0, 4, 1, {2, 3, 0, 0, 0, 0, 0, 0, 0}},
        {"past the right edge", 3, 0, 1, 0, 5, 3, {0, 3, 0, 0, 13, 0, 0, 23, 0}},
        {"destination past its width", 0, 0, 3, 0, 2, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"source past its width", 4, 0, 0, 0, 2, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"empty", 0, 0, 0, 0, 0, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TKVBitmap source, target;
        Make8(source, kv8g, 4, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23});
        Make8(target, kv8g, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0});
        source.CopyRectTo(&target, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
        EXPECT_EQ(Values8(target), c.expected) << c.name;
    }
    // A source corner above and left of the image moves the destination with it.
    TKVBitmap source, target;
    Make8(source, kv8g, 4, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23});
    Make8(target, kv8g, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0});
    source.CopyRectTo(&target, -1, -1, 0, 0, 3, 3);
    EXPECT_EQ(Values8(target), (std::vector<uint8_t>{0, 0, 0, 0, 0, 1, 0, 10, 11}));
    TKVBitmap empty;
    empty.CopyRectTo(&target, 0, 0, 0, 0, 3, 3);
    EXPECT_EQ(target.GetPixels_kv8(2, 2), 11);
}

TEST_F(KVBitmap, CopiesRectanglesBetweenFormatsThatAllowIt)
{
    TKVBitmap bw;
    bw.Allocate(10, 1, kv1g);
    bw.Fill(0);
    bw.SetPixels_kv1g(7, 0, true);
    bw.SetPixels_kv1g(9, 0, true);
    TKVBitmap colour;
    Make24(colour, 3, {Rgb(5, 5, 5), Rgb(5, 5, 5), Rgb(5, 5, 5)});
    bw.CopyRectTo(&colour, 7, 0, 0, 0, 3, 1);
    EXPECT_EQ(Colours(colour), (std::vector<TRGB>{Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(255, 255, 255)}));

    TKVBitmap bits;
    bits.Allocate(12, 1, kv1g);
    bits.Fill(0);
    bw.CopyRectTo(&bits, 6, 0, 1, 0, 4, 1); // bits 6..9 = 0101 to 1..4
    EXPECT_EQ(bits.GetScanLine(0)[0], 0x28);

    TKVBitmap grey;
    Make8(grey, kv8g, 1, {9});
    colour.CopyRectTo(&grey, 0, 0, 0, 0, 1, 1); // no conversion between other pairs
    EXPECT_EQ(grey.GetPixels_kv8(0, 0), 9);

    TKVBitmap floats, floats2;
    floats.Allocate(2, 1, kv32f);
    floats.SetPixels_kv32f(1, 0, 0.25f);
    floats2.Allocate(2, 1, kv32f);
    floats2.Fill(0);
    floats.CopyRectTo(&floats2, 1, 0, 0, 0, 1, 1);
    EXPECT_EQ(floats2.GetPixels_kv32f(0, 0), 0.25f);
}

TEST_F(KVBitmap, MovesRegionsWithinOneImage)
{
    TKVBitmap bitmap;
    Make8(bitmap, kv8g, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    bitmap.CopyRectTo(&bitmap, 0, 0, 0, 1, 3, 2); // down by one row, overlapping
    EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6}));
    bitmap.MoveRegion(0, 0, 1, 0, 1, 2, 0); // vacated cells take the background
    EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{0, 0, 3, 1, 2, 3, 4, 1, 2}));
}

// ---------------------------------------------------------------------------------------------
// Size changes

TEST_F(KVBitmap, ChangesWidthAndHeightKeepingPixelsPaletteAndAlpha)
{
    TKVBitmap bitmap;
    Make8(bitmap, kv8p, 3, {1, 2, 3, 4, 5, 6});
    bitmap.SetPalette(6, Rgb(6, 60, 255));
    bitmap.SetAlpha(2, 1, 50);
    bitmap.SetWidth(2);
    EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{1, 2, 4, 5}));
    bitmap.SetHeight(1);
    EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{1, 2}));
    bitmap.SetHeight(3);
    bitmap.SetWidth(3);
    EXPECT_EQ(bitmap.GetPixels_kv8(1, 0), 2);
    EXPECT_EQ(bitmap.GetPalette(6), Rgb(6, 60, 255));
    TKVBitmap* alpha = bitmap.GetAlphaChannel();
    EXPECT_EQ((std::array{alpha->GetWidth(), alpha->GetHeight()}), (std::array{3, 3}));
    EXPECT_FALSE(bitmap.Full);

    TKVBitmap vcl;
    vcl.SetLocation(kvTBitmap);
    Make8(vcl, kv8g, 3, {1, 2, 3, 4, 5, 6});
    vcl.SetWidth(2);
    vcl.SetHeight(3);
    EXPECT_EQ(vcl.GetVclBitmap()->Width(), 2);
    EXPECT_EQ(vcl.GetPixels_kv8(1, 1), 5);
}

TEST_F(KVBitmap, ResizesTheCanvasWithAlignmentBackgroundAndAlpha)
{
    struct Case
    {
        int32_t width, height;
        TKVHAlign h;
        TKVVAlign v;
        std::vector<uint8_t> pixels;
        std::vector<uint8_t> alpha;
    };
    // 5 x 2 of 1..10 with alpha 200 everywhere; background 0, new alpha 9.
    const std::vector<Case> cases = {
        // 5 to 2 centred: (5 - 2) div 2 = 1 column cut on the left, 2 on the right.
        {2, 2, kvhCenter, kvvTop, {2, 3, 7, 8}, {200, 200, 200, 200}},
        {2, 1, kvhRight, kvvBottom, {9, 10}, {200, 200}},
        {7,
         2,
         kvhCenter,
         kvvTop,
         {0, 1, 2, 3, 4, 5, 0, 0, 6, 7, 8, 9, 10, 0},
         {9, 200, 200, 200, 200, 200, 9, 9, 200, 200, 200, 200, 200, 9}},
        {5,
         3,
         kvhLeft,
         kvvBottom,
         {0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         {9, 9, 9, 9, 9, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200}},
        {6,
         2,
         kvhRight,
         kvvCenter,
         {0, 1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10},
         {9, 200, 200, 200, 200, 200, 9, 200, 200, 200, 200, 200}},
    };
    for (const Case& c : cases) {
        TKVBitmap bitmap;
        Make8(bitmap, kv8g, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        bitmap.GetAlphaChannel()->Fill(200);
        bitmap.Resize(c.width, c.height, 0, 9, c.h, c.v);
        EXPECT_EQ(Values8(bitmap), c.pixels) << c.width << "x" << c.height;
        EXPECT_EQ(Values8(*bitmap.GetAlphaChannel()), c.alpha) << c.width << "x" << c.height;
    }
}

// ---------------------------------------------------------------------------------------------
// Location and encapsulation

TEST_F(KVBitmap, MovesBetweenLocationsWithoutLosingAnything)
{
    TKVBitmap bitmap;
    Make8(bitmap, kv8p, 3, {0, 1, 2, 3, 4, 5});
    bitmap.SetPalette(5, Rgb(50, 51, 52));
    bitmap.SetAlpha(0, 1, 12);
    for (TKVLocation location : {kvFile, kvTBitmap, kvMemory, kvTBitmap, kvFile}) {
        bitmap.MinFileSize = location == kvFile ? 0 : INT32_MAX;
        bitmap.SetLocation(location);
        EXPECT_EQ(bitmap.Location(), location);
        EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5})) << int(location);
        EXPECT_EQ(bitmap.GetPixels(2, 1), Rgb(50, 51, 52));
        EXPECT_EQ(bitmap.GetAlpha(0, 1), 12);
    }
}

TEST_F(KVBitmap, RefusesFloatsInAClassLibraryBitmapBeforeTouchingThem)
{
    TKVBitmap bitmap;
    bitmap.Allocate(2, 1, kv32f);
    bitmap.SetPixels_kv32f(0, 0, 0.25f);
    bitmap.SetPixels_kv32f(1, 0, 0.75f);
    const TKVLocation before = bitmap.Location();
    EXPECT_THROW(bitmap.SetLocation(kvTBitmap), Exception);
    EXPECT_EQ(bitmap.Location(), before);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv32f);
    EXPECT_EQ(bitmap.GetPixels_kv32f(1, 0), 0.75f);

    TKVBitmap words; // grey words become grey bytes there
    words.Allocate(2, 1, kv16g);
    words.SetPixels_kv16g(0, 0, 0xAB00);
    words.SetPixels_kv16g(1, 0, 0x01FF);
    words.SetLocation(kvTBitmap);
    EXPECT_EQ(words.GetPixelFormat(), kv8g);
    EXPECT_EQ(Values8(words), (std::vector<uint8_t>{0xAB, 0x01}));
}

TEST_F(KVBitmap, WrapsAClassLibraryBitmapWithoutCopying)
{
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(3, 2);
    picture.ScanLine(1)[3] = 42;
    {
        TKVBitmap wrapper;
        wrapper.EncapsulateTBitmap(&picture, true);
        EXPECT_EQ(wrapper.Location(), kvTBitmap);
        EXPECT_EQ(wrapper.GetPixelFormat(), kv24RGB);
        EXPECT_EQ(wrapper.GetScanLine(1), picture.ScanLine(1));
        EXPECT_EQ(wrapper.GetPixels_kv24RGB(1, 1).b, 42);
        wrapper.SetPixels_kv24RGB(2, 0, Rgb(7, 8, 9));
        EXPECT_EQ(picture.ScanLine(0)[6], 9);
        EXPECT_EQ(wrapper.GetVclBitmap(), &picture);

        wrapper.Allocate(5, 4, kv1g); // resizes the caller's bitmap in place
        EXPECT_EQ((std::array{picture.Width(), picture.Height()}), (std::array{5, 4}));
        EXPECT_EQ(picture.PixelFormat(), pf1bit);
        EXPECT_EQ(wrapper.GetScanLine(3), picture.ScanLine(3));
    }
    EXPECT_EQ(picture.Width(), 5); // the wrapper never frees it

    TBitmap palette8;
    palette8.SetPixelFormat(pf8bit);
    palette8.SetSize(2, 1);
    const PALETTEENTRY red{200, 0, 0, 0};
    SetPaletteEntries(palette8.Palette(), 3, 1, &red);
    palette8.ScanLine(0)[1] = 3;
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(&palette8, true);
    EXPECT_EQ(wrapper.GetPixelFormat(), kv8p);
    EXPECT_EQ(wrapper.GetPixels(1, 0), Rgb(200, 0, 0));
    TBitmap words;
    words.SetPixelFormat(pf16bit);
    words.SetSize(2, 1);
    wrapper.EncapsulateTBitmap(&words, true);
    EXPECT_EQ(wrapper.GetPixelFormat(), kvnull); // no format of ours reads these rows
    wrapper.EncapsulateTBitmap(nullptr, true);
    EXPECT_EQ(wrapper.GetWidth(), 0);
}

TEST_F(KVBitmap, WrapsAMemoryBlockWithoutCopying)
{
    std::vector<uint8_t> block(8 * 2, 0); // two bottom-up rows of 8 bytes
    block[8 + 1] = 77;                    // top row, second pixel
    {
        TKVBitmap wrapper;
        wrapper.EncapsulateMemory(block.data(), 5, 2, kv8g, true);
        EXPECT_EQ(wrapper.Location(), kvMemory);
        EXPECT_EQ(wrapper.GetRowLen(), 8);
        EXPECT_EQ(wrapper.GetPixels_kv8(1, 0), 77);
        wrapper.SetPixels_kv8(4, 1, 33);
        EXPECT_EQ(wrapper.GetScanLine(1), block.data());
    }
    EXPECT_EQ(block[4], 33); // not freed, written in place
}

TEST_F(KVBitmap, SwitchesStorageToAnotherBitmap)
{
    TKVBitmap source, destination;
    Make8(source, kv8p, 2, {1, 2});
    source.SetPalette(2, Rgb(9, 8, 7));
    source.SetAlpha(0, 0, 5);
    source.MinFileSize = 4321;
    destination.Allocate(9, 9, kv24RGB);
    source.SwitchTo(&destination);
    EXPECT_EQ(source.GetWidth(), 0);
    EXPECT_EQ(source.GetPixelFormat(), kvnull);
    EXPECT_FALSE(source.GetHasAlphaChannel());
    EXPECT_EQ(source.MinFileSize, 4321);
    EXPECT_EQ(Values8(destination), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(destination.GetPixels(1, 0), Rgb(9, 8, 7));
    EXPECT_EQ(destination.GetAlpha(0, 0), 5);
    source.Allocate(1, 1, kv8g); // a fresh storage of its own
    source.SetPixels_kv8(0, 0, 3);
    EXPECT_EQ(destination.GetPixels_kv8(0, 0), 1);
}

// ---------------------------------------------------------------------------------------------
// Class-library bitmaps

TEST_F(KVBitmap, CopiesToAClassLibraryBitmapInItsFormats)
{
    struct Case
    {
        TKVPixelFormat format;
        TPixelFormat expected;
    };
    for (const Case& c : {Case{kv1g, pf1bit}, Case{kv8p, pf8bit}, Case{kv8g, pf8bit}, Case{kv16g, pf8bit},
                          Case{kv24RGB, pf24bit}, Case{kv32f, pf8bit}}) {
        TKVBitmap bitmap;
        bitmap.Allocate(3, 2, c.format);
        bitmap.Fill(0);
        TBitmap picture;
        bitmap.CopyToTBitmap(&picture);
        EXPECT_EQ(picture.PixelFormat(), c.expected) << int(c.format);
        EXPECT_EQ((std::array{picture.Width(), picture.Height()}), (std::array{3, 2}));
    }
    TKVBitmap words;
    words.Allocate(2, 2, kv16g);
    words.SetPixels_kv16g(1, 0, 0xC0DE);
    words.SetPixels_kv16g(0, 1, 0x0100);
    TBitmap picture;
    words.CopyToTBitmap(&picture);
    EXPECT_EQ(picture.ScanLine(0)[1], 0xC0);
    EXPECT_EQ(picture.ScanLine(1)[0], 0x01);
    PALETTEENTRY entry{};
    GetPaletteEntries(picture.Palette(), 200, 1, &entry);
    EXPECT_EQ((std::array{entry.peRed, entry.peGreen, entry.peBlue}),
              (std::array<uint8_t, 3>{200, 200, 200}));

    TKVBitmap floats;
    floats.Allocate(2, 1, kv32f);
    floats.SetPixels_kv32f(0, 0, 0.5f);
    floats.SetPixels_kv32f(1, 0, 3.0f);
    floats.CopyToTBitmap(&picture);
    EXPECT_EQ((std::array{picture.ScanLine(0)[0], picture.ScanLine(0)[1]}),
              (std::array<uint8_t, 2>{127, 255}));
}

TEST_F(KVBitmap, CopiesFromClassLibraryBitmapsOfEveryFormat)
{
    TBitmap picture;
    picture.SetPixelFormat(pf16bit);
    picture.SetSize(2, 1);
    // 565: red 0b10101, green 0b110011, blue 0b01111 -> (0xA8, 0xCC, 0x78).
    const uint16_t p565 = (0b10101 << 11) | (0b110011 << 5) | 0b01111;
    std::memcpy(picture.ScanLine(0), &p565, 2);
    TKVBitmap bitmap;
    bitmap.CopyFromTBitmap(&picture);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv24RGB);
    EXPECT_EQ(bitmap.GetPixels_kv24RGB(0, 0), Rgb(0xA8, 0xCC, 0x78));

    picture.SetPixelFormat(pf15bit);
    const uint16_t p555 = (0b10101 << 10) | (0b00011 << 5) | 0b11111;
    std::memcpy(picture.ScanLine(0), &p555, 2);
    bitmap.CopyFromTBitmap(&picture);
    EXPECT_EQ(bitmap.GetPixels_kv24RGB(0, 0), Rgb(0xA8, 0x18, 0xF8));

    picture.SetPixelFormat(pf32bit);
    uint8_t* row = picture.ScanLine(0);
    row[4] = 1, row[5] = 2, row[6] = 3, row[7] = 4;
    bitmap.CopyFromTBitmap(&picture);
    EXPECT_EQ(bitmap.GetPixels_kv24RGB(1, 0), Rgb(3, 2, 1));

    TBitmap nibbles;
    nibbles.SetPixelFormat(pf4bit);
    nibbles.SetSize(3, 1);
    nibbles.ScanLine(0)[0] = 0x5A; // high nibble first
    nibbles.ScanLine(0)[1] = 0x30;
    const PALETTEENTRY ten{10, 11, 12, 0};
    SetPaletteEntries(nibbles.Palette(), 10, 1, &ten);
    bitmap.CopyFromTBitmap(&nibbles);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv8p);
    EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{5, 10, 3}));
    EXPECT_EQ(bitmap.GetPalette(10), Rgb(10, 11, 12));

    TBitmap mono;
    mono.SetPixelFormat(pf1bit);
    mono.SetSize(9, 1);
    mono.ScanLine(0)[1] = 0x80;
    bitmap.CopyFromTBitmap(&mono);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv1g);
    EXPECT_TRUE(bitmap.GetPixels_kv1g(8, 0));
    const PALETTEENTRY colours[2] = {{0, 0, 255, 0}, {255, 255, 0, 0}};
    SetPaletteEntries(mono.Palette(), 0, 2, colours);
    bitmap.CopyFromTBitmap(&mono); // two colours that are not black and white
    EXPECT_EQ(bitmap.GetPixelFormat(), kv8p);
    EXPECT_EQ(bitmap.GetPixels(8, 0), Rgb(255, 255, 0));
    EXPECT_EQ(bitmap.GetPixels(7, 0), Rgb(0, 0, 255));

    TKVBitmap vcl;
    vcl.SetLocation(kvTBitmap);
    picture.SetPixelFormat(pf24bit);
    picture.ScanLine(0)[3] = 99;
    vcl.CopyFromTBitmap(&picture);
    EXPECT_EQ(vcl.GetPixelFormat(), kv24RGB);
    EXPECT_EQ(vcl.GetPixels_kv24RGB(1, 0).b, 99);
    EXPECT_NE(vcl.GetVclBitmap(), &picture);
    EXPECT_EQ(bitmap.Location(), FileBacked() ? kvFile : kvMemory);
}

// ---------------------------------------------------------------------------------------------
// Masks

TEST_F(KVBitmap, ExchangesRowsWithSelectionMasks)
{
    TKVMask grey;
    grey.AllocateBits(3, 2, 8);
    grey.SetPixel(2, 1, 200);
    grey.SetPixel(0, 0, 7);
    grey.Full = true;
    TKVBitmap bitmap;
    bitmap.CopyFromTKVMask(&grey);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv8g);
    EXPECT_EQ(Values8(bitmap), (std::vector<uint8_t>{7, 0, 0, 0, 0, 200}));
    EXPECT_TRUE(bitmap.Full);

    TKVMask bits;
    bits.AllocateBits(10, 1, 1);
    bits.SetPixel(9, 0, 1);
    bitmap.CopyFromTKVMask(&bits);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv1g);
    EXPECT_TRUE(bitmap.GetPixels_kv1g(9, 0));
    EXPECT_FALSE(bitmap.GetPixels_kv1g(8, 0));

    bitmap.CopyFromTKVMask(nullptr); // no mask: everything selected
    EXPECT_EQ(bitmap.GetScanLine(0)[1], 0xFF);

    TKVBitmap source;
    Make8(source, kv8g, 2, {3, 4, 5, 6});
    TKVMask mask;
    source.CopyToTKVMask(&mask);
    EXPECT_EQ((std::array{mask.Width, mask.Height, mask.BitsPerPixel}), (std::array{2, 2, 8}));
    EXPECT_EQ((std::array{mask.GetPixel(1, 0), mask.GetPixel(0, 1)}), (std::array{4, 5}));
    EXPECT_FALSE(mask.Full);
    TKVBitmap colour;
    colour.Allocate(4, 4, kv24RGB);
    colour.CopyToTKVMask(&mask); // no mask of colours: left as it was
    EXPECT_EQ(mask.Width, 2);
}

// ---------------------------------------------------------------------------------------------
// DIB-section and work bitmaps

TEST_F(KVBitmap, ExchangesPixelsWithDibSections)
{
    TKVDibbitmap dib;
    EXPECT_EQ(dib.GetPixelFormat(), kvnull);
    dib.AllocateBits(4, 2, 24);
    EXPECT_EQ(dib.GetPixelFormat(), kv24RGB);
    EXPECT_EQ(dib.GetRowLen(), 12);
    reinterpret_cast<TRGB*>(dib.GetScanLine(1))[3] = Rgb(4, 5, 6);
    ASSERT_NE(dib.Canvas(), nullptr);

    TKVBitmap bitmap;
    bitmap.CopyFromTDibBitmap(&dib);
    EXPECT_EQ((std::array{bitmap.GetWidth(), bitmap.GetHeight()}), (std::array{4, 2}));
    EXPECT_EQ(bitmap.GetPixels_kv24RGB(3, 1), Rgb(4, 5, 6));

    TKVBitmap large;
    large.Allocate(6, 4, kv24RGB);
    large.Fill(0);
    large.MergeFromTDibBitmap(&dib, 3, 3); // cut to 3 x 1
    EXPECT_EQ(large.GetPixels_kv24RGB(5, 3), Rgb(0, 0, 0));
    large.MergeFromTDibBitmap(&dib, 2, 2);
    EXPECT_EQ(large.GetPixels_kv24RGB(5, 3), Rgb(4, 5, 6));

    large.SetPixels_kv24RGB(1, 1, Rgb(7, 7, 7));
    TKVDibbitmap part;
    part.Allocate(2, 2, kv24RGB);
    large.CopyToTDibBitmap(&part, 1, 1, 5, 5); // cut to the DIB's 2 x 2
    EXPECT_EQ(reinterpret_cast<TRGB*>(part.GetScanLine(0))[0], Rgb(7, 7, 7));

    TKVDibbitmap bits;
    bits.Allocate(10, 1, kv1g);
    bits.GetScanLine(0)[1] = 0x40; // bit 9
    TKVBitmap bw;
    bw.CopyFromTDibBitmap(&bits);
    EXPECT_EQ(bw.GetPixelFormat(), kv1g);
    EXPECT_TRUE(bw.GetPixels_kv1g(9, 0));
    bits.Allocate(3, 3, kv8g); // not a DIB format: nothing changes
    EXPECT_EQ(bits.GetWidth(), 10);

    TKVDibbitmap copy;
    copy.Assign(&dib);
    EXPECT_EQ(reinterpret_cast<TRGB*>(copy.GetScanLine(1))[3], Rgb(4, 5, 6));
    TBitmap picture;
    copy.CopyToTBitmap(&picture);
    EXPECT_EQ(picture.PixelFormat(), pf24bit);
    EXPECT_EQ(picture.ScanLine(1)[9], 6);
}

TEST(KVWorkBitmap, AddressesTypedElementsBottomUp)
{
    TKVWorkBitmap empty(0, 5, 8);
    EXPECT_EQ(empty.RowLen(), 0);
    TKVWorkBitmap work(3, 2, 32);
    EXPECT_EQ(work.RowLen(), 12);
    *work.GetPSingle(0, 2) = 1.5f;
    *work.GetPInteger(1, 0) = -7;
    // Row 0 is the top row, stored last.
    EXPECT_EQ(work.GetScanline(0), work.GetScanline(1) + 12);
    EXPECT_EQ(*reinterpret_cast<float*>(work.GetScanline(0) + 8), 1.5f);
    work.AllocateBits(3, 2, 32); // same size: same block and contents
    EXPECT_EQ(*work.GetPInteger(1, 0), -7);
    work.AllocateBits(9, 1, 1);
    std::memset(work.GetScanline(0), 0, size_t(work.RowLen()));
    work.SetBit(0, 0, 1);
    work.SetBit(0, 8, 1);
    work.SetBit(0, 0, 0);
    EXPECT_EQ((std::array{work.GetPByte(0, 0)[0], work.GetPByte(0, 1)[0]}),
              (std::array<uint8_t, 2>{0x00, 0x80}));
    EXPECT_EQ(work.GetPRGB(0, 1), reinterpret_cast<TRGB*>(work.GetScanline(0) + 3));
    EXPECT_EQ(work.GetPDouble(0, 1), reinterpret_cast<double*>(work.GetScanline(0) + 8));
    EXPECT_THROW(work.AllocateBits(INT32_MAX, 2, 32), EOutOfMemory);
}
