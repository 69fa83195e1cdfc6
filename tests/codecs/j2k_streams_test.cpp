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

// opj_compress's file of the picture, with colour channels defined in a JP2 file's header when
// `windows`, which the reader then decodes in windows; empty when it fails.
std::string Compressed(const kvtest::TempFolder& folder, const std::string& name, const std::string& options,
                       bool windows)
{
    const std::string file = folder.File(name);
    const std::string picture = kvtest::WritePicture(folder, "picture.ppm", 300, 200, Colour);
    if (kvtest::ToolOutput("opj_compress -i " + picture + " -o " + file + " " + options).empty()) {
        return {};
    }
    const std::string bytes = kvtest::TempFolder::Read(file);
    return windows ? kvtest::WithHeaderBoxes(bytes, kvtest::J2kColourChannels()) : bytes;
}

// The files of each path through the reader: bands of small tiles, tile after tile (on one core),
// one tile, and windows.
const struct
{
    const char* name;
    const char* options;
    bool windows;
    bool oneCore;
} Paths[] = {
    {"tiles.j2k", "-t 32,32 -r 10", false, false},
    {"tiles.jp2", "-t 32,32 -r 10", false, false},
    {"tiles-on-one-core.j2k", "-t 32,32 -r 10", false, true},
    {"one-tile.j2k", "-r 10", false, false},
    {"tile-windows.jp2", "-t 32,32 -r 10", true, false},
    {"one-tile-windows.jp2", "", true, false},
};

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
        const std::string bytes = Compressed(folder, path.name, path.options, path.windows);
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
        const std::string bytes = Compressed(folder, path.name, path.options, path.windows);
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
