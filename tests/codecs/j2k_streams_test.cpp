// JPEG 2000 streams as files have them: a last tile-part that runs to the end, zero bytes after
// the end marker, and whatever follows the picture in the stream, which is left where the picture
// ends.
#include "imaging/codecs/j2k/kvj2000.h"

#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

using Decoded = kvtest::J2kDecoded;
using kvtest::DecodeJ2k;

TRGB Colour(int32_t x, int32_t y)
{
    return TRGB{uint8_t(x + y), uint8_t(3 * x), uint8_t(2 * y + 7)};
}

// The files of each path through the reader: bands of small tiles, on every core and one after
// another on one core; tile after tile, those of a picture too small for threads; one tile; and
// windows, which a JP2 file's palette takes.
struct TPath
{
    const char* name;
    int32_t width, height;
    const char* options;
    bool windows;
    bool oneCore;
};
const TPath Paths[] = {
    {"tiles.j2k", 300, 200, "-t 32,32 -r 10", false, false},
    {"tiles.jp2", 300, 200, "-t 32,32 -r 10", false, false},
    {"tiles-on-one-core.j2k", 300, 200, "-t 32,32 -r 10", false, true},
    {"small-tiles.j2k", 150, 100, "-t 32,32 -r 10", false, false},
    {"one-tile.j2k", 300, 200, "-r 10", false, false},
    {"tile-windows.jp2", 300, 200, "-t 32,32 -r 10", true, false},
    {"one-tile-windows.jp2", 300, 200, "", true, false},
};

// opj_compress's file of the picture on the path, with its own options when given, and a palette
// that takes its components straight through in a JP2 file's header for windows; empty when it
// fails.
std::string Compressed(const kvtest::TempFolder& folder, const TPath& path, const char* options = nullptr)
{
    const std::string file = folder.File(path.name);
    const std::string picture = kvtest::WritePicture(folder, "picture.ppm", path.width, path.height, Colour);
    if (kvtest::ToolOutput("opj_compress -i " + picture + " -o " + file + " " +
                           (options != nullptr ? options : path.options))
            .empty()) {
        return {};
    }
    const std::string bytes = kvtest::TempFolder::Read(file);
    return path.windows ? kvtest::WithHeaderBoxes(bytes, kvtest::J2kIdentityPalette()) : bytes;
}

} // namespace

// The last tile-part's length is 0, so that it runs to the end of the code stream, and zero bytes
// follow the end marker: the library's tile reading fails after the last tile, though the picture
// is whole. It loads as opj_decompress decodes it, on every path, in memory and file-backed. Cut
// inside its last tile, with or without its length, it is refused.
TEST(J2kStreams, StreamsThatEndLooselyButWholeLoadWhole)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    for (const auto& path : Paths) {
        SCOPED_TRACE(path.name);
        const std::string bytes = Compressed(folder, path);
        ASSERT_FALSE(bytes.empty());
        const std::string loose = kvtest::WithLooseEnd(bytes, 5);
        const kvtest::TPnmImage theirs = kvtest::OpjDecompressed(folder, path.name, loose);
        ASSERT_TRUE(theirs.Valid());
        const kvtest::TLastTilePart last = kvtest::LastTilePart(bytes);
        const size_t inLastTile = (last.Start + last.End) / 2;
        for (const auto& storage : kvtest::J2kStorages) {
            SCOPED_TRACE(storage.Name);
            kvtest::TBitmapsIn in(storage.Location);
            std::optional<kvtest::TOnOneCore> oneCore;
            if (path.oneCore) {
                oneCore.emplace();
            }
            Decoded whole;
            DecodeJ2k(loose, whole);
            EXPECT_FALSE(whole.Aborted);
            EXPECT_EQ(kvtest::MaxDifference(whole.Bitmap, theirs), 0);
            for (const std::string& cut : {bytes.substr(0, inLastTile), loose.substr(0, inLastTile)}) {
                Decoded refused;
                DecodeJ2k(cut, refused);
                EXPECT_TRUE(refused.Aborted);
            }
        }
    }
}

// After a load from a stream, the stream stands where the picture ends, at the end of its code
// stream or of the JP2 file's code-stream box, whatever follows it there and however many threads
// read the picture: twenty loads, twenty times the same place.
TEST(J2kStreams, LoadsLeaveTheStreamWhereThePictureEnds)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string after(300, '\x5A');
    for (const auto& path : Paths) {
        SCOPED_TRACE(path.name);
        const std::string bytes = Compressed(folder, path);
        ASSERT_FALSE(bytes.empty());
        std::optional<kvtest::TOnOneCore> oneCore;
        if (path.oneCore) {
            oneCore.emplace();
        }
        for (int32_t load = 0; load < 20; ++load) {
            TMemoryStream stream;
            kvtest::FillStream(stream, bytes + after);
            Decoded d;
            TProgressRec progress = kvtest::ProgressInto(d.Aborted);
            Kvj2000::J2KReadStream(stream, d.Bitmap, d.Params, progress, false);
            ASSERT_FALSE(d.Aborted);
            ASSERT_EQ(stream.Position(), int64_t(bytes.size())) << "load " << load;
        }
    }
}

// A stream written tile by tile and stopped: its first two fifths of tile-parts, then its end
// marker. The library decodes the tiles and parts there are and ends as if the picture were whole;
// the load keeps them, as opj_decompress decodes them, and sets the abort flag, on every path, in
// memory and file-backed. In tile-parts by resolution, the last tile kept lacks its later parts;
// one tile in such parts has its first three of five.
TEST(J2kStreams, StreamsThatEndBeforeTheirLastTilesKeepThemAndFail)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    const struct
    {
        const TPath& path;
        const char* options;
    } cases[] = {
        {Paths[0], nullptr}, {Paths[1], "-t 32,32 -TP R -n 3 -r 10"}, {Paths[2], nullptr},
        {Paths[3], nullptr}, {Paths[4], "-TP R -n 5 -r 10"},          {Paths[5], nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.name);
        const std::string bytes = Compressed(folder, c.path, c.options);
        ASSERT_FALSE(bytes.empty());
        const size_t parts = kvtest::TilePartsOf(bytes);
        ASSERT_GE(parts, 5u);
        const std::string stopped = kvtest::WithTilePartsKept(bytes, parts * 2 / 5 + 1);
        const kvtest::TPnmImage theirs = kvtest::OpjDecompressed(folder, c.path.name, stopped);
        ASSERT_TRUE(theirs.Valid());
        for (const auto& storage : kvtest::J2kStorages) {
            SCOPED_TRACE(storage.Name);
            kvtest::TBitmapsIn in(storage.Location);
            std::optional<kvtest::TOnOneCore> oneCore;
            if (c.path.oneCore) {
                oneCore.emplace();
            }
            Decoded d;
            DecodeJ2k(stopped, d);
            EXPECT_TRUE(d.Aborted);
            EXPECT_EQ(kvtest::MaxDifference(d.Bitmap, theirs), 0);
            EXPECT_FALSE(d.Bitmap.GetPixels_kv24RGB(20, 20) == (TRGB{0, 0, 0}));
        }
    }
}
