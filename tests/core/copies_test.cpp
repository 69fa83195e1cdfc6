// Pixel copies: bit runs between 1-bit rows.
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/video_frames.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/dib.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Korvaneproc::_CopyBits;

TEST(CopyBits, CopiesRunsAndKeepsTheBitsAround)
{
    struct Case
    {
        int32_t destBit, sourceBit, count;
        std::vector<uint8_t> want;
    };
    // Source 1011 0011 1110 0001 0101 0101; destination starts as 0000 0000 1111 1111 0000 0000.
    const Case cases[] = {
        {0, 0, 8, {0xB3, 0xFF, 0x00}},   {3, 0, 4, {0x16, 0xFF, 0x00}}, // 1011 lands on bits 3..6
        {4, 2, 10, {0x0C, 0xFB, 0x00}},  // 1100111110 from bit 2 lands on bits 4..13
        {9, 11, 13, {0x00, 0x85, 0x54}}, // crosses two destination bytes unaligned
        {16, 8, 8, {0x00, 0xFF, 0xE1}},  {5, 5, 0, {0x00, 0xFF, 0x00}},
    };
    const uint8_t source[3] = {0xB3, 0xE1, 0x55};
    for (const Case& c : cases) {
        std::vector<uint8_t> dest = {0x00, 0xFF, 0x00};
        _CopyBits(dest.data(), source, c.destBit, c.sourceBit, c.count, 0);
        EXPECT_EQ(dest, c.want) << "to " << c.destBit << " from " << c.sourceBit << " count " << c.count;
    }
}

TEST(CopyBits, AgreesWithBitByBitCopiesAtEveryAlignment)
{
    std::vector<uint8_t> source(8);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(0x9D * (i + 3));
    auto bit = [](const std::vector<uint8_t>& row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
    for (int destBit = 0; destBit < 16; ++destBit)
        for (int sourceBit = 0; sourceBit < 16; ++sourceBit)
            for (int count = 0; count <= 40; count += 3) {
                std::vector<uint8_t> dest(8, 0x5A);
                const std::vector<uint8_t> before = dest;
                _CopyBits(dest.data(), source.data(), destBit, sourceBit, count, 0);
                for (int x = 0; x < 64; ++x) {
                    const bool inRun = x >= destBit && x < destBit + count;
                    const int want = inRun ? bit(source, sourceBit + x - destBit) : bit(before, x);
                    ASSERT_EQ(bit(dest, x), want)
                        << destBit << "," << sourceBit << "," << count << " bit " << x;
                }
            }
}

TEST(CopyBits, StopsAtTheRowLength)
{
    std::vector<uint8_t> dest(2, 0x00);
    const uint8_t source[2] = {0xFF, 0xFF};
    _CopyBits(dest.data(), source, 12, 0, 100, 2);
    EXPECT_EQ(dest, (std::vector<uint8_t>{0x00, 0x0F}));
    _CopyBits(dest.data(), source, -1, 0, 4, 2);
    EXPECT_EQ(dest, (std::vector<uint8_t>{0x00, 0x0F}));
}

// ---- Packed DIBs ------------------------------------------------------------------------------

namespace dib {

TRGB Bgr(int b, int g, int r)
{
    return {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
}

// A packed DIB: header, colour table or masks, then rows given top row first (stored bottom-up
// for a positive height), each padded to 4 bytes.
std::vector<uint8_t> Build(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                           const std::vector<RGBQUAD>& colours, const std::vector<uint32_t>& masks,
                           const std::vector<std::vector<uint8_t>>& rowsTopFirst, uint32_t clrUsed = 0)
{
    BITMAPINFOHEADER header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    header.biClrUsed = clrUsed;
    std::vector<uint8_t> block(sizeof(header));
    std::memcpy(block.data(), &header, sizeof(header));
    for (const RGBQUAD& q : colours)
        block.insert(block.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, q.rgbReserved});
    for (uint32_t m : masks)
        block.insert(block.end(), {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16), uint8_t(m >> 24)});
    if (rowsTopFirst.empty())
        return block; // a header alone
    const size_t stride = (size_t(width) * bitCount + 31) / 32 * 4;
    const int32_t rows = height < 0 ? -height : height;
    for (int32_t k = 0; k < rows; ++k) {
        std::vector<uint8_t> row = rowsTopFirst[height < 0 ? k : rows - 1 - k];
        row.resize(stride, 0);
        block.insert(block.end(), row.begin(), row.end());
    }
    return block;
}

std::vector<std::vector<TRGB>> Pixels(TKVBitmap& bitmap)
{
    std::vector<std::vector<TRGB>> rows;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        std::vector<TRGB> row;
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x)
            row.push_back(bitmap.GetPixels(x, y));
        rows.push_back(row);
    }
    return rows;
}

const TRGB K = Bgr(0, 0, 0), W = Bgr(255, 255, 255);

} // namespace dib

TEST(DibImport, EveryBitCountGivesItsPixels)
{
    using namespace dib;
    const TRGB red = Bgr(0, 0, 255), blue = Bgr(255, 0, 0), grey = Bgr(128, 128, 128);
    struct Case
    {
        const char* name;
        std::vector<uint8_t> block;
        int32_t bitCount;
        TKVPixelFormat format;
        std::vector<std::vector<TRGB>> want;
    };
    const std::vector<RGBQUAD> blackWhite = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const std::vector<RGBQUAD> whiteBlack = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    const std::vector<RGBQUAD> three = {{0, 0, 255, 0}, {255, 0, 0, 0}, {128, 128, 128, 0}};
    const Case cases[] = {
        {"1-bit", Build(3, 2, 1, BI_RGB, blackWhite, {}, {{0xA0}, {0x40}}), 1, kv1g, {{W, K, W}, {K, W, K}}},
        {"1-bit white first",
         Build(3, 2, 1, BI_RGB, whiteBlack, {}, {{0xA0}, {0x40}}),
         1,
         kv1g,
         {{K, W, K}, {W, K, W}}},
        {"4-bit", Build(3, 1, 4, BI_RGB, three, {}, {{0x01, 0x20}}, 3), 4, kv24RGB, {{red, blue, grey}}},
        {"4-bit index past the table",
         Build(2, 1, 4, BI_RGB, three, {}, {{0x2F}}, 3),
         4,
         kv24RGB,
         {{grey, K}}},
        {"8-bit",
         Build(2, 2, 8, BI_RGB, three, {}, {{2, 0}, {1, 1}}, 3),
         8,
         kv24RGB,
         {{grey, red}, {blue, blue}}},
        {"16-bit 5-5-5",
         Build(2, 1, 16, BI_RGB, {}, {}, {{0xFF, 0x7F, 0x1F, 0x7C}}),
         16,
         kv24RGB,
         {{Bgr(248, 248, 248), Bgr(248, 0, 248)}}},
        {"16-bit 5-6-5",
         Build(2, 1, 16, BI_BITFIELDS, {}, {0xF800, 0x07E0, 0x001F}, {{0xE0, 0x07, 0x1F, 0x00}}),
         16,
         kv24RGB,
         {{Bgr(0, 252, 0), Bgr(248, 0, 0)}}},
        {"24-bit",
         Build(2, 1, 24, BI_RGB, {}, {}, {{1, 2, 3, 4, 5, 6}}),
         24,
         kv24RGB,
         {{Bgr(1, 2, 3), Bgr(4, 5, 6)}}},
        {"24-bit top-down",
         Build(1, -2, 24, BI_RGB, {}, {}, {{1, 2, 3}, {4, 5, 6}}),
         24,
         kv24RGB,
         {{Bgr(1, 2, 3)}, {Bgr(4, 5, 6)}}},
        {"32-bit",
         Build(2, 1, 32, BI_RGB, {}, {}, {{1, 2, 3, 99, 4, 5, 6, 99}}),
         32,
         kv24RGB,
         {{Bgr(1, 2, 3), Bgr(4, 5, 6)}}},
        {"32-bit bit fields",
         Build(1, 1, 32, BI_BITFIELDS, {}, {0xFF0000, 0xFF00, 0xFF}, {{7, 8, 9, 0}}),
         32,
         kv24RGB,
         {{Bgr(7, 8, 9)}}},
        {"YUY2",
         Build(2, 1, 16, Korvaneproc::KVFourCC('Y', 'U', 'Y', '2'), {}, {}, {{235, 128, 16, 128}}),
         16,
         kv24RGB,
         {{W, K}}},
    };
    for (const Case& c : cases) {
        TKVBitmap bitmap;
        EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(c.block.data(), c.block.size(), &bitmap), c.bitCount)
            << c.name;
        EXPECT_EQ(bitmap.GetPixelFormat(), c.format) << c.name;
        EXPECT_EQ(Pixels(bitmap), c.want) << c.name;
    }
}

TEST(DibImport, UnreadLayoutsConvertNothing)
{
    using namespace dib;
    // A 32-bit DIB of another compression returns its bit count and converts nothing; a 24-bit
    // one with bit fields likewise. The header's size is not trusted to allocate an image.
    const std::vector<std::vector<uint8_t>> blocks = {
        Build(2, 2, 32, 5, {}, {}, {{1, 2, 3, 4, 1, 2, 3, 4}, {1, 2, 3, 4, 1, 2, 3, 4}}),
        Build(2, 1, 24, BI_BITFIELDS, {}, {0xFF0000, 0xFF00, 0xFF}, {{1, 2, 3, 4, 5, 6}}),
        Build(100000, 100000, 8, BI_RLE8, {}, {}, {}),
    };
    const int32_t bitCounts[] = {32, 24, 8};
    for (size_t i = 0; i < blocks.size(); ++i) {
        TKVBitmap bitmap;
        bitmap.Allocate(1, 1, kv8g);
        EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(blocks[i].data(), blocks[i].size(), &bitmap), bitCounts[i]);
        EXPECT_EQ(bitmap.GetPixelFormat(), kv8g);
        EXPECT_EQ(bitmap.GetWidth(), 1);
    }
}

TEST(DibImport, HeaderSizesAreCheckedAgainstTheBlock)
{
    using namespace dib;
    const std::vector<uint8_t> good = Build(5, 3, 24, BI_RGB, {}, {}, {{1}, {2}, {3}});
    auto import = [](const std::vector<uint8_t>& block, size_t size) {
        TKVBitmap bitmap;
        bitmap.Allocate(1, 1, kv8g);
        const int32_t result = Korvaneproc::_CopyDIB2BitmapEx(block.data(), size, &bitmap);
        return std::pair{result, bitmap.GetPixelFormat()};
    };
    // Every truncation of a good block is refused and leaves the bitmap as it was.
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_EQ(import(good, size), std::pair(0, kv8g)) << size << " bytes";
    EXPECT_EQ(import(good, good.size()), std::pair(24, kv24RGB));

    struct Field
    {
        const char* name;
        size_t offset;
        uint32_t value;
    };
    const Field fields[] = {
        {"width past the block", 4, 6},
        {"huge width", 4, 0x7FFFFFFF},
        {"negative width", 4, 0xFFFFFFFF},
        {"height past the block", 8, 4},
        {"huge height", 8, 0x40000000},
        {"huge negative height", 8, 0x80000000},
        {"header size past the block", 0, 10000},
        {"header size too small", 0, 12},
        {"colour count past the block", 32, 0x10000000},
    };
    for (const Field& f : fields) {
        std::vector<uint8_t> block = good;
        std::memcpy(block.data() + f.offset, &f.value, 4);
        EXPECT_EQ(import(block, block.size()).first, 0) << f.name;
    }
    // 8-bit pixels need their colour table inside the block.
    std::vector<uint8_t> paletted = Build(2, 1, 8, BI_RGB, {{1, 2, 3, 0}}, {}, {{0, 0}}, 1);
    const uint32_t manyColours = 200;
    std::memcpy(paletted.data() + 32, &manyColours, 4);
    EXPECT_EQ(import(paletted, paletted.size()).first, 0);
    // A YUV frame shorter than its header says.
    std::vector<uint8_t> frame = Build(4, 2, 16, Korvaneproc::KVFourCC('Y', 'U', 'Y', '2'), {}, {}, {{}, {}});
    EXPECT_EQ(import(frame, frame.size()).first, 16);
    EXPECT_EQ(import(frame, frame.size() - 1).first, 0);
}

TEST(DibImport, SeparateBitsAndHandles)
{
    using namespace dib;
    const std::vector<uint8_t> block = Build(2, 1, 24, BI_RGB, {}, {}, {{1, 2, 3, 4, 5, 6}});
    const std::vector<uint8_t> bits = {9, 8, 7, 6, 5, 4, 0, 0};
    TKVBitmap bitmap;
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(block.data(), 40, &bitmap, bits.data(), bits.size()), 24);
    EXPECT_EQ(Pixels(bitmap), (std::vector<std::vector<TRGB>>{{Bgr(9, 8, 7), Bgr(6, 5, 4)}}));
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(block.data(), 40, &bitmap, bits.data(), 5), 0);

    HGLOBAL handle = GlobalAlloc(GHND, block.size());
    std::memcpy(TGlobalLock(handle).Data(), block.data(), block.size());
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(handle, &bitmap), 24);
    EXPECT_EQ(Pixels(bitmap), (std::vector<std::vector<TRGB>>{{Bgr(1, 2, 3), Bgr(4, 5, 6)}}));
    TKVDibbitmap section;
    EXPECT_EQ(Korvaneproc::_KVCopyDIB2Bitmap2Ex(handle, &section), 24);
    ASSERT_EQ(section.GetWidth(), 2);
    EXPECT_EQ(section.GetScanLine(0)[3], 4);
    TBitmap raster;
    EXPECT_EQ(Korvaneproc::_CopyDIB2Bitmap(handle, &raster), 24);
    EXPECT_EQ(raster.PixelFormat(), pf24bit);
    EXPECT_EQ(raster.ScanLine(0)[5], 6);
    GlobalFree(handle);
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(HGLOBAL(nullptr), &bitmap), 0);
}

// Real files from elsewhere: a BMP file without its 14-byte file header is a packed DIB.
std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The image's pixels as ImageMagick decodes them, top row first, 3 bytes red, green, blue.
std::vector<uint8_t> DecodeWithConvert(const std::string& path)
{
    const std::string bytes = kvtest::ToolOutput("convert '" + path + "' -depth 8 rgb:-");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

const std::string kPixbufImages = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/";

TEST(DibImport, ReadsRealBmpFilesLikeImageMagick)
{
    for (const char* name : {"reftests/mandatory-bitmasks.bmp", "randomly-modified/valid.1.bmp"}) {
        const std::string path = kPixbufImages + name;
        ASSERT_TRUE(kvtest::Installed({path, "convert"}));
        const std::vector<uint8_t> file = ReadFile(path);
        const std::vector<uint8_t> reference = DecodeWithConvert(path);
        ASSERT_GT(file.size(), 14u);
        ASSERT_FALSE(reference.empty());
        TKVBitmap bitmap;
        EXPECT_GT(Korvaneproc::_CopyDIB2BitmapEx(file.data() + 14, file.size() - 14, &bitmap), 0) << name;
        ASSERT_EQ(reference.size(), size_t(bitmap.GetWidth()) * bitmap.GetHeight() * 3) << name;
        size_t differing = 0;
        for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
            for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                const TRGB p = bitmap.GetPixels(x, y);
                const uint8_t* q = reference.data() + (size_t(y) * bitmap.GetWidth() + x) * 3;
                differing += p.r != q[0] || p.g != q[1] || p.b != q[2];
            }
        EXPECT_EQ(differing, 0u) << name;
    }
}

TEST(DibImport, CorruptFilesAndRandomHeadersEndCleanly)
{
    // Files that other readers must refuse or that were damaged on purpose.
    for (const char* name : {"fail/bug776694.bmp", "fail/bug777315.bmp", "fail/invalid.1.bmp",
                             "randomly-modified/bmp-line-overflow.bmp", "randomly-modified/bug775242.bmp",
                             "randomly-modified/decodecolormap.bmp"}) {
        const std::vector<uint8_t> file = ReadFile(kPixbufImages + name);
        if (file.size() <= 14)
            continue;
        TKVBitmap bitmap;
        Korvaneproc::_CopyDIB2BitmapEx(file.data() + 14, file.size() - 14, &bitmap);
        TKVDibbitmap section;
        Korvaneproc::_KVCopyDIB2Bitmap2Ex(file.data() + 14, file.size() - 14, &section);
    }

    // Every kind of DIB with random bytes written over its header and table.
    using namespace dib;
    const std::vector<std::vector<uint8_t>> seeds = {
        Build(5, 3, 1, BI_RGB, {{0, 0, 0, 0}, {255, 255, 255, 0}}, {}, {{0xA0}, {1}, {2}}),
        Build(5, 3, 4, BI_RGB, {{1, 2, 3, 0}, {4, 5, 6, 0}}, {}, {{0x10}, {1}, {2}}, 2),
        Build(5, 3, 8, BI_RGB, {{1, 2, 3, 0}}, {}, {{0}, {0}, {0}}, 1),
        Build(5, 3, 16, BI_BITFIELDS, {}, {0xF800, 0x07E0, 0x001F}, {{1}, {2}, {3}}),
        Build(5, 3, 24, BI_RGB, {}, {}, {{1}, {2}, {3}}),
        Build(5, 3, 32, BI_RGB, {}, {}, {{1}, {2}, {3}}),
        Build(6, 3, 16, Korvaneproc::KVFourCC('Y', 'U', 'Y', '2'), {}, {}, {{1}, {2}, {3}}),
        Build(8, 2, 12, Korvaneproc::KVFourCC('Y', 'V', '1', '2'), {}, {}, {{1}, {2}, {3}, {4}}),
    };
    uint32_t state = 2024;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> block = seeds[round % seeds.size()];
        const int flips = 1 + int(next() % 4);
        for (int i = 0; i < flips; ++i)
            block[next() % std::min<size_t>(block.size(), 60)] = uint8_t(next());
        const size_t size = round % 5 == 0 ? next() % block.size() : block.size();
        TKVBitmap bitmap;
        const int32_t bits = Korvaneproc::_CopyDIB2BitmapEx(block.data(), size, &bitmap);
        if (bits != 0) {
            // Whatever was read fits the block it came from.
            EXPECT_LE(int64_t(bitmap.GetWidth()) * bitmap.GetHeight(), int64_t(size) * 8);
        }
    }
}

TEST(DibExport, RectanglesRoundTrip)
{
    using namespace dib;
    TKVBitmap colour;
    colour.Allocate(4, 3, kv24RGB);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            colour.SetPixels_kv24RGB(x, y, Bgr(x, y, 10 * x + y));
    HGLOBAL whole = Korvaneproc::_CopyBitmaptoDIBEx(&colour, 0, 0, 0, 0);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(GlobalSize(whole), 40u + 3 * 12);
    TKVBitmap back;
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(whole, &back), 24);
    EXPECT_EQ(Pixels(back), Pixels(colour));
    GlobalFree(whole);

    HGLOBAL part = Korvaneproc::_CopyBitmaptoDIBEx(&colour, 1, 1, 3, 3);
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(part, &back), 24);
    EXPECT_EQ(Pixels(back), (std::vector<std::vector<TRGB>>{{Bgr(1, 1, 11), Bgr(2, 1, 21)},
                                                            {Bgr(1, 2, 12), Bgr(2, 2, 22)}}));
    GlobalFree(part);
    EXPECT_EQ(Korvaneproc::_CopyBitmaptoDIBEx(&colour, 4, 0, 0, 0), nullptr);

    // 1 bit: a black and white table, rows cut from an unaligned column.
    TKVBitmap mono;
    mono.Allocate(10, 2, kv1g);
    for (int32_t x = 0; x < 10; ++x) {
        mono.SetPixels_kv1g(x, 0, x % 3 == 0);
        mono.SetPixels_kv1g(x, 1, x % 2 == 0);
    }
    HGLOBAL bw = Korvaneproc::_CopyBitmaptoDIBEx(&mono, 3, 0, 10, 0);
    {
        TGlobalLock lock(bw);
        RGBQUAD table[2];
        std::memcpy(table, lock.Data() + 40, sizeof(table));
        EXPECT_EQ(table[0], (RGBQUAD{0, 0, 0, 0}));
        EXPECT_EQ(table[1], (RGBQUAD{255, 255, 255, 0}));
        EXPECT_EQ(lock.Data()[48], 0x54) << "bottom row: columns 3..9 of 1010101010 are 0101010";
        EXPECT_EQ(lock.Data()[52], 0x92) << "top row: columns 3..9 of 1001001001 are 1001001";
    }
    EXPECT_EQ(Korvaneproc::_CopyDIB2BitmapEx(bw, &back), 1);
    for (int32_t x = 0; x < 7; ++x)
        EXPECT_EQ(back.GetPixels_kv1g(x, 0), (x + 3) % 3 == 0) << x;
    GlobalFree(bw);

    // A class-library bitmap: x2 = y2 = 0 exports it whole.
    TBitmap raster;
    raster.SetPixelFormat(pf1bit);
    raster.SetSize(9, 2);
    raster.ScanLine(0)[0] = 0xF0;
    HGLOBAL fromRaster = Korvaneproc::_CopyBitmaptoDIB(&raster, 0, 0, 0, 0);
    BITMAPINFOHEADER header;
    std::memcpy(&header, TGlobalLock(fromRaster).Data(), sizeof(header));
    EXPECT_EQ(header.biWidth, 9);
    EXPECT_EQ(header.biHeight, 2);
    EXPECT_EQ(header.biBitCount, 1);
    EXPECT_EQ(TGlobalLock(fromRaster).Data()[52], 0xF0);
    GlobalFree(fromRaster);
}

TEST(BitmapCopies, RectanglesAndBufferMaps)
{
    TBitmap source;
    source.SetPixelFormat(pf24bit);
    source.SetSize(4, 3);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 12; ++x)
            source.ScanLine(y)[x] = uint8_t(16 * y + x);
    TBitmap part;
    Korvaneproc::_CopyBitmapRect(&source, &part, 1, 1, 0, 0);
    ASSERT_EQ(part.GetWidth(), 3);
    ASSERT_EQ(part.GetHeight(), 2);
    EXPECT_EQ(part.ScanLine(1)[0], 16 * 2 + 3);
    const auto clone = Korvaneproc::KVCloneBitmap(&source);
    EXPECT_EQ(std::memcmp(clone->ScanLine(2), source.ScanLine(2), 12), 0);

    // Buffer rows run top-down at the buffer's row length.
    TKVBitmap image;
    image.Allocate(3, 2, kv24RGB);
    image.Fill(0);
    std::vector<uint8_t> buffer(2 * 12);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = uint8_t(i + 1);
    Daduvudez::KVBaseBitmapMapXCopy(buffer.data(), 12, 24, &image, 1, 0, 1, 1, 5, 5, 0);
    EXPECT_EQ(image.GetPixels_kv24RGB(1, 1), dib::Bgr(4, 5, 6));
    EXPECT_EQ(image.GetPixels_kv24RGB(2, 1), dib::Bgr(7, 8, 9));
    EXPECT_EQ(image.GetPixels_kv24RGB(0, 1), dib::Bgr(0, 0, 0));

    TKVBitmap mono;
    mono.Allocate(4, 1, kv1g);
    mono.Fill(0);
    mono.SetPixels_kv1g(1, 0, true);
    std::vector<uint8_t> wide(12, 7);
    Daduvudez::KVBaseBitmapMapXCopy(wide.data(), 12, 24, &mono, 0, 0, 0, 0, 4, 1, 1);
    EXPECT_EQ(wide, (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
}

TEST(BitmapCopies, PolygonCopies)
{
    TBitmap source;
    source.SetPixelFormat(pf24bit);
    source.SetSize(6, 6);
    source.Canvas()->Brush()->SetColor(clRed);
    source.Canvas()->FillRect(Rect(0, 0, 6, 6));
    TBitmap dest;
    dest.SetPixelFormat(pf24bit);
    dest.SetSize(2, 2);
    const TPoint two[] = {{0, 0}, {4, 4}};
    Korvaneproc::_CopyPolygonToPoint(&source, two, 2, &dest, {0, 0});
    EXPECT_EQ(dest.GetWidth(), 2) << "two points copy nothing";

    const TPoint square[] = {{1, 1}, {4, 1}, {4, 4}, {1, 4}};
    Korvaneproc::_CopyPolygonToPoint(&source, square, 4, &dest, {2, 2});
    EXPECT_EQ(dest.GetWidth(), 5);
    EXPECT_EQ(dest.GetHeight(), 5);
    EXPECT_EQ(ColorToRGB(dest.Canvas()->Pixels(3, 3)), ColorToRGB(clRed));
    EXPECT_NE(ColorToRGB(dest.Canvas()->Pixels(0, 0)), ColorToRGB(clRed));

    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(6, 6);
    const TPoint figures[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0xFFFFF, 0}, {4, 4}, {6, 4}, {6, 6}, {4, 6}};
    EXPECT_EQ(Korvaneproc::_CopyPolygonBitmap(&target, &source, 0, 0, figures, 9), 5);
    EXPECT_EQ(ColorToRGB(target.Canvas()->Pixels(0, 0)), ColorToRGB(clRed));
    EXPECT_EQ(ColorToRGB(target.Canvas()->Pixels(5, 5)), ColorToRGB(clRed));
    EXPECT_NE(ColorToRGB(target.Canvas()->Pixels(3, 3)), ColorToRGB(clRed));
}

TEST(BitmapCopies, WholeBitmapCopiesTakeFormatSizePaletteAndPixels)
{
    TBitmap palette;
    palette.SetPixelFormat(pf8bit);
    palette.SetSize(5, 3);
    palette.Canvas()->SetPixels(4, 2, clRed);
    TBitmap colour;
    colour.SetPixelFormat(pf24bit);
    colour.SetSize(7, 2);
    colour.Canvas()->SetPixels(6, 1, clBlue);
    TBitmap empty;
    empty.SetPixelFormat(pf24bit);

    TBitmap copy;
    copy.SetPixelFormat(pf1bit);
    copy.SetSize(40, 40);
    for (TBitmap* source : {&palette, &colour, &empty}) {
        Korvaneproc::KVCopyBitmap(source, &copy);
        EXPECT_EQ(copy.PixelFormat(), source->PixelFormat());
        EXPECT_EQ(copy.GetWidth(), source->GetWidth());
        EXPECT_EQ(copy.GetHeight(), source->GetHeight());
        for (int32_t y = 0; y < source->GetHeight(); ++y)
            for (int32_t x = 0; x < source->GetWidth(); ++x)
                ASSERT_EQ(copy.Canvas()->Pixels(x, y), source->Canvas()->Pixels(x, y)) << x << "," << y;
    }
    Korvaneproc::KVCopyBitmap(&palette, &palette);
    Korvaneproc::KVCopyBitmap(nullptr, &copy);
    EXPECT_EQ(palette.Canvas()->Pixels(4, 2), clRed);
}

TEST(BitmapCopies, SwapsBlueAndRed)
{
    TRGB pixels[2] = {{1, 2, 3}, {4, 5, 6}};
    TRGB copy[2];
    Korvaneproc::_CopyBGR_RGB(copy, pixels, 2);
    EXPECT_EQ(copy[1], (TRGB{6, 5, 4}));
    Korvaneproc::_BGR2RGB(pixels, 2);
    EXPECT_EQ(pixels[0], (TRGB{3, 2, 1}));
}

} // namespace
