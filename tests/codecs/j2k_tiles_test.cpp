// The JPEG 2000 reader tile by tile: pictures of many small tiles load with their pixels, on
// several threads, with their progress and an abort as the codecs report them; large tiles load
// while the one before is written; streams of a few bytes that declare a huge picture cost its
// bitmap and no more, and a JP2 file's palette still colours the pixels.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/one_processor.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

// The sanitizers bring allocators of their own, which keep freed blocks aside whatever glibc's
// malloc would do.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KV_GLIBC_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KV_GLIBC_MALLOC 0
#endif
#endif
#ifndef KV_GLIBC_MALLOC
#define KV_GLIBC_MALLOC 1
#endif

namespace {

using Decoded = kvtest::J2kDecoded;
using kvtest::DecodeJ2k;
using kvtest::DecodeNoting;
using kvtest::EmptyTiles;
using kvtest::J2kStorages;
using kvtest::RepeatedTileColour;
using kvtest::RepeatedTiles;
using kvtest::TBitmapsIn;
using kvtest::WritePicture;

void Put16(std::string& bytes, uint32_t value)
{
    bytes += char(value >> 8);
    bytes += char(value);
}

void Put32(std::string& bytes, uint32_t value)
{
    Put16(bytes, value >> 16);
    Put16(bytes, value & 0xFFFF);
}

bool AllMidGrey(TKVBitmap& bitmap)
{
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < bitmap.GetWidth() * 3; ++x) {
            if (row[x] != 128) {
                return false;
            }
        }
    }
    return true;
}

// The red, green and blue of the pattern picture: flat in blocks, so that it codes quickly.
TRGB Pattern(int32_t x, int32_t y)
{
    return TRGB{uint8_t((x + y) >> 7), uint8_t(y >> 6), uint8_t(x >> 6)};
}

std::string WritePattern(const kvtest::TempFolder& folder, int32_t width, int32_t height)
{
    return WritePicture(folder, "pattern.ppm", width, height, Pattern);
}

// The pattern picture coded by opj_compress with the options; empty when it fails.
std::string CodedPattern(const kvtest::TempFolder& folder, int32_t width, int32_t height,
                         const std::string& options)
{
    const std::string file = folder.File("pattern.j2k");
    const bool coded = !kvtest::ToolOutput("opj_compress -i " + WritePattern(folder, width, height) + " -o " +
                                           file + " " + options)
                            .empty();
    return coded ? kvtest::TempFolder::Read(file) : std::string();
}

// How many pixels differ from colour(x, y); all of them when the size is not width x height.
int64_t PixelsOff(TKVBitmap& bitmap, int32_t width, int32_t height,
                  const std::function<TRGB(int32_t, int32_t)>& colour)
{
    if (bitmap.GetWidth() != width || bitmap.GetHeight() != height || bitmap.GetPixelFormat() != kv24RGB) {
        return int64_t(width) * height;
    }
    int64_t off = 0;
    for (int32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const TRGB*>(bitmap.GetScanLine(y));
        for (int32_t x = 0; x < width; ++x) {
            off += !(row[x] == colour(x, y));
        }
    }
    return off;
}

int64_t PixelsOffPattern(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    return PixelsOff(bitmap, width, height, Pattern);
}

#if KV_GLIBC_MALLOC
// The memory the process holds resident, in kB.
int64_t ResidentKb()
{
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// Decodes the picture, then makes three buffers of 16 MB, writes and frees them, and exits with 0
// when the process holds no more than 5 MB more resident than before them.
[[noreturn]] void ExitByResidentAfterPicture(const std::string& bytes)
{
    {
        Decoded d;
        DecodeJ2k(bytes, d);
        if (d.Aborted) {
            std::_Exit(2);
        }
    }
    const int64_t before = ResidentKb();
    std::vector<void*> buffers;
    for (int32_t i = 0; i < 3; ++i) {
        buffers.push_back(std::malloc(size_t(16) << 20));
        std::memset(buffers.back(), i + 1, size_t(16) << 20);
    }
    for (void* buffer : buffers) {
        std::free(buffer);
    }
    const int64_t growth = ResidentKb() - before;
    std::fprintf(stderr, "resident growth %lld kB\n", static_cast<long long>(growth));
    std::_Exit(growth < 5 * 1024 ? 0 : 1);
}
#endif

bool RisesTo100(const std::vector<int32_t>& percents)
{
    return !percents.empty() && percents.back() == 100 && std::is_sorted(percents.begin(), percents.end());
}

} // namespace

// The library's header records for 26,508 tiles of 64 pixels would cost about as much as the
// picture: its tiles load with their pixels, in bands whose decoders hold records of their own
// tiles only, so the load costs the bitmap and little more. Tiles of 32 pixels past the budget
// stay refused, before the library makes a record. On one core as on many.
TEST(J2kTiles, ManyTileFilesLoadWithTheirPixels)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string tiled = RepeatedTiles(folder, 12032, 9024);
    ASSERT_FALSE(tiled.empty());
    const int64_t bitmapKb = int64_t(12032) * 3 * 9024 / 1024;
    Decoded d;
    EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(tiled, d); }), bitmapKb + 96 * 1024);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(PixelsOff(d.Bitmap, 12032, 9024, RepeatedTileColour), 0);

    const struct
    {
        const char* name;
        uint32_t width, height, tile;
        bool loads;
        int64_t mostKb;
    } cases[] = {
        {"9000 x 9000 in 80-pixel tiles", 9000, 9000, 80, true, int64_t(9000) * 27000 / 1024 + 96 * 1024},
        {"12000 x 9000 in 32-pixel tiles", 12000, 9000, 32, false, 64 * 1024},
        {"4000 x 3000 in 10-pixel tiles", 4000, 3000, 10, false, 64 * 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = EmptyTiles(c.width, c.height, 3, c.tile, c.tile);
        Decoded empty;
        EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(bytes, empty); }), c.mostKb);
        EXPECT_EQ(empty.Aborted, !c.loads);
        if (c.loads) {
            EXPECT_EQ(empty.Bitmap.GetWidth(), int32_t(c.width));
            EXPECT_TRUE(AllMidGrey(empty.Bitmap));
            // A process given one core (taskset, a container) still decodes in bands, one after
            // the other, not through one decoder holding the records of every tile.
            kvtest::TOneProcessor oneCore;
            Decoded alone;
            EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(bytes, alone); }), c.mostKb);
            EXPECT_FALSE(alone.Aborted);
        }
    }
}

// Small tiles are decoded on several threads, in bands of whole tiles: the pixels are those
// opj_decompress decodes, in memory and in a file, whatever the origins of the picture and the
// tiles, the file's wrapping, the tile-parts of a tile and the length markers.
TEST(J2kBands, SmallTilesDecodeAsOpjDecompressDoes)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress", "ppmtopgm"}));
    kvtest::TempFolder folder;
    const std::string colour = WritePattern(folder, 500, 330);
    const std::string grey = folder.Write("pattern.pgm", kvtest::ToolOutput("ppmtopgm " + colour));
    const struct
    {
        const char* name;
        std::string input, options, decoded;
    } cases[] = {
        {"tiles.j2k", colour, "-t 16,16 -n 3 -r 10", "out.ppm"},
        {"origins.j2k", colour, "-t 24,24 -n 3 -d 37,21 -T 29,13 -r 10", "out.ppm"},
        {"tiles.jp2", colour, "-t 32,32 -n 3", "out.ppm"},
        {"parts.j2k", colour, "-t 32,32 -TP R -TLM -PLT -r 20", "out.ppm"},
        {"grey.j2k", grey, "-t 20,20 -n 3 -r 5", "out.pgm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = folder.File(c.name), decoded = folder.File(c.decoded);
        ASSERT_FALSE(
            kvtest::ToolOutput("opj_compress -i " + c.input + " -o " + file + " " + c.options).empty());
        ASSERT_FALSE(kvtest::ToolOutput("opj_decompress -i " + file + " -o " + decoded).empty());
        const kvtest::TPnmImage expected = kvtest::ParsePnm(kvtest::TempFolder::Read(decoded));
        ASSERT_TRUE(expected.Valid());
        for (const auto& storage : J2kStorages) {
            SCOPED_TRACE(storage.Name);
            TBitmapsIn in(storage.Location);
            Decoded d;
            DecodeJ2k(kvtest::TempFolder::Read(file), d);
            ASSERT_FALSE(d.Aborted);
            EXPECT_EQ(d.Bitmap.Location(), storage.Location);
            EXPECT_EQ(kvtest::MaxDifference(d.Bitmap, expected), 0);
        }
    }
}

// Progress counts every tile, up to 100; an abort from the progress event stops the load there,
// no tile written after it, with the workers still decoding theirs.
TEST(J2kBands, ProgressCountsEveryTileAndAnAbortStopsTheLoad)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string bytes = CodedPattern(folder, 600, 400, "-t 16,16 -n 3 -r 10");
    ASSERT_FALSE(bytes.empty());
    constexpr size_t tiles = 38 * 25;
    for (const auto& storage : J2kStorages) {
        SCOPED_TRACE(storage.Name);
        TBitmapsIn in(storage.Location);
        Decoded whole;
        kvtest::TProgressNotes notes;
        DecodeNoting(bytes, whole, notes);
        EXPECT_FALSE(whole.Aborted);
        EXPECT_EQ(notes.Percents.size(), tiles);
        EXPECT_TRUE(RisesTo100(notes.Percents));
        for (size_t abortAt : {size_t(1), tiles / 3, tiles - 1}) {
            SCOPED_TRACE(abortAt);
            Decoded cut;
            kvtest::TProgressNotes upToAbort;
            upToAbort.AbortAtUnit = abortAt;
            DecodeNoting(bytes, cut, upToAbort);
            EXPECT_TRUE(cut.Aborted);
            EXPECT_EQ(upToAbort.Percents.size(), abortAt);
            EXPECT_EQ(upToAbort.EventsAfterAbort, 0u);
        }
    }
}

// Tiles of a megabyte or more are written into the bitmap while the library decodes the next one:
// every pixel lands, in memory and in a file, and an abort from the progress event stops the load
// with the writing of the tile before finished.
TEST(J2kTiles, LargeTilesAreWrittenWhileTheNextDecodes)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    // Four tiles of 640 x 640, 1.2 MB each in 8-bit RGB, and five narrower ones.
    const std::string bytes = CodedPattern(folder, 1300, 1290, "-t 640,640 -n 2");
    ASSERT_FALSE(bytes.empty());
    for (const auto& storage : J2kStorages) {
        SCOPED_TRACE(storage.Name);
        TBitmapsIn in(storage.Location);
        Decoded d;
        kvtest::TProgressNotes notes;
        DecodeNoting(bytes, d, notes);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Bitmap.Location(), storage.Location);
        EXPECT_EQ(PixelsOffPattern(d.Bitmap, 1300, 1290), 0);
        EXPECT_EQ(notes.Percents.size(), 9u);
        EXPECT_TRUE(RisesTo100(notes.Percents));

        // One thread decodes the tiles ahead of the writing for the whole load: the threads the
        // process runs while it loads are those it ran at its first event.
        std::set<std::string> first, later;
        TMemoryStream stream;
        kvtest::FillStream(stream, bytes);
        Decoded watched;
        TProgressRec progress = kvtest::ProgressInto(watched.Aborted);
        progress.OnProgress = [&first, &later](TObject*, int32_t) {
            const std::set<std::string> threads = kvtest::ThreadsOfProcess();
            (first.empty() ? first : later).insert(threads.begin(), threads.end());
        };
        Kvj2000::J2KReadStream(stream, watched.Bitmap, watched.Params, progress, false);
        EXPECT_FALSE(watched.Aborted);
        EXPECT_TRUE(std::includes(first.begin(), first.end(), later.begin(), later.end()));

        Decoded cut;
        kvtest::TProgressNotes upToAbort;
        upToAbort.AbortAtUnit = 2;
        DecodeNoting(bytes, cut, upToAbort);
        EXPECT_TRUE(cut.Aborted);
        EXPECT_EQ(upToAbort.Percents.size(), 2u);
        EXPECT_EQ(upToAbort.EventsAfterAbort, 0u);
        // The first tile is whole in the bitmap: its writing ended before the load returned.
        int64_t off = 0;
        for (int32_t y = 0; y < 640; ++y) {
            for (int32_t x = 0; x < 640; ++x) {
                off += !(cut.Bitmap.GetPixels_kv24RGB(x, y) == Pattern(x, y));
            }
        }
        EXPECT_EQ(off, 0);
    }
}

// A tile whose 32-bit buffers would pass 256 MB is decoded in windows: with the multi-component
// transform every component is decoded, since the library leaves the transform out of components
// chosen; without it, of four components only the three used.
TEST(J2kTiles, OneTilePastTheBudgetDecodesInWindowsWithItsPixels)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string pattern = WritePattern(folder, 6000, 4000);
    // The pattern's planes and a fourth component that no pixel shows.
    std::string planes;
    for (int32_t plane = 0; plane < 4; ++plane) {
        for (int32_t y = 0; y < 4000; ++y) {
            for (int32_t x = 0; x < 6000; ++x) {
                const TRGB p = Pattern(x, y);
                planes += char(plane == 0 ? p.r : plane == 1 ? p.g : plane == 2 ? p.b : x);
            }
        }
    }
    const std::string raw = folder.Write("planes.raw", planes);
    for (const std::string& input :
         {pattern + " ", pattern + " -mct 0", raw + " -F 6000,4000,4,8,u -mct 0"}) {
        SCOPED_TRACE(input);
        const std::string file = folder.File("one-tile.j2k");
        ASSERT_FALSE(kvtest::ToolOutput("opj_compress -o " + file + " -i " + input).empty());
        Decoded d;
        DecodeJ2k(kvtest::TempFolder::Read(file), d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(PixelsOffPattern(d.Bitmap, 6000, 4000), 0);
    }
}

// A tile past the budget too wide for bands of 256 rows within it is decoded in windows across it
// as well, as tall as the picture for a bitmap in memory and of 256 rows for one in a file: the
// pixels on both sides of every edge between windows are the tile's.
TEST(J2kTiles, WideTilePastTheBudgetDecodesInWindowsAcrossIt)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string file = folder.File("wide.j2k");
    ASSERT_FALSE(
        kvtest::ToolOutput("opj_compress -o " + file + " -i " + WritePattern(folder, 16384, 1472)).empty());
    Decoded d;
    DecodeJ2k(kvtest::TempFolder::Read(file), d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(PixelsOffPattern(d.Bitmap, 16384, 1472), 0);
}

// One tile of 12000 x 8000 in 129 bytes costs its 288-MB bitmap and windows of the tile, not the
// library's 32-bit buffers of the whole picture; so does one tile of 65535 x 400 decomposed five
// times, whose windows are not thin bands of the whole width, around which the library would keep
// whole code-blocks of every level, 2,048 rows high at the fifth; one tile of 16384 x 16384 with
// 255 components, whose code-block records alone would take gigabytes, is refused before any is
// made, though its parameters are read.
TEST(J2kTiles, TinyStreamsOfHugePicturesCostTheirBitmapAndNoMore)
{
    const struct
    {
        const char* name;
        uint32_t width, height, components, levels;
        bool loads;
        int64_t mostKb;
    } cases[] = {
        {"12000 x 8000 RGB", 12000, 8000, 3, 0, true, (288'000'000 + (200 << 20)) / 1024},
        {"65535 x 400 RGB, five levels", 65535, 400, 3, 5, true,
         (int64_t(196608) * 400 + (300 << 20)) / 1024},
        {"16384 x 16384, 255 components", 16384, 16384, 255, 0, false, 64 * 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = EmptyTiles(c.width, c.height, c.components, c.width, c.height, c.levels);
        EXPECT_LT(bytes.size(), 1200u);
        Decoded d;
        EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(bytes, d); }), c.mostKb);
        EXPECT_EQ(d.Aborted, !c.loads);
        if (c.loads) {
            EXPECT_TRUE(AllMidGrey(d.Bitmap));
        }
        // The header alone makes no code-block record: its parameters are read either way.
        Decoded header;
        DecodeJ2k(bytes, header, true);
        EXPECT_FALSE(header.Aborted);
        EXPECT_EQ(header.Params.Width, int32_t(c.width));
        EXPECT_EQ(header.Params.Height, int32_t(c.height));
    }
}

#if KV_GLIBC_MALLOC
// A picture decoded in windows leaves glibc's malloc as it found it: three buffers of 16 MB made
// and freed afterwards go back to the system, as they do before any picture. Run in a process of
// its own, whose malloc no other test has moved.
TEST(J2kTiles, WindowedPicturesLeaveMallocAsTheyFoundIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string bytes = EmptyTiles(12000, 8000, 3, 12000, 8000);
    EXPECT_EXIT(ExitByResidentAfterPicture(bytes), ::testing::ExitedWithCode(0), "");
}
#endif

// A JP2 file whose one component indexes a palette of three columns loads in the palette's
// colours, as the library applies its palette and component mapping.
TEST(J2kTiles, PaletteBoxesColourThePixels)
{
    TKVBitmap grey;
    grey.Allocate(40, 6, kv24RGB);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const uint8_t v = uint8_t(x * 6 + y);
            grey.SetPixels_kv24RGB(x, y, TRGB{v, v, v});
        }
    }
    TIOParamsVals params;
    params.J2000_ColorSpace = ioJ2000_GRAYLEV;
    TMemoryStream encoded;
    bool aborted = false;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    Kvj2000::J2KWriteStream(encoded, grey, params, progress, 0);
    ASSERT_FALSE(aborted);
    std::string file(static_cast<const char*>(encoded.Memory()), size_t(encoded.Size()));

    // pclr: 256 entries of three 8-bit columns; cmap: channel i is column i of component 0.
    std::string boxes;
    Put32(boxes, 8 + 3 + 3 + 256 * 3);
    boxes += "pclr";
    Put16(boxes, 256);
    boxes += std::string("\x03\x07\x07\x07", 4);
    for (uint32_t v = 0; v < 256; ++v) {
        boxes += {char(v), char(255 - v), char(v / 2)};
    }
    Put32(boxes, 8 + 3 * 4);
    boxes += "cmap";
    for (uint32_t i = 0; i < 3; ++i) {
        Put16(boxes, 0);
        boxes += {char(1), char(i)};
    }
    const size_t header = file.find("jp2h") - 4, colour = file.find("colr");
    ASSERT_EQ(file[colour + 10], 17);
    file[colour + 10] = 16; // sRGB
    const auto byteAt = [&file](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(file[at])); };
    const uint32_t headerLength = (byteAt(header + 2) << 8 | byteAt(header + 3)) + uint32_t(boxes.size());
    std::string length;
    Put32(length, headerLength);
    file.replace(header, 4, length);
    file.insert(header + 8 + (headerLength - boxes.size() - 8), boxes);

    Decoded d;
    DecodeJ2k(file, d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.SamplesPerPixel, 3);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const uint8_t v = uint8_t(x * 6 + y);
            ASSERT_EQ(d.Bitmap.GetPixels_kv24RGB(x, y), (TRGB{uint8_t(v / 2), uint8_t(255 - v), v}))
                << x << "," << y;
        }
    }
}
