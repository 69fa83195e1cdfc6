// The JPEG 2000 reader's threads: a picture that cannot be cut into bands decodes on the library's
// threads, a Cancel from the progress event stops a load at its next tile, band or window on every
// path, and a band worker that runs out of memory fails the load, not the program.
#include "imaging/codecs/j2k/detail/band_workers.h"
#include "imaging/codecs/j2k/kvj2000.h"

#include "platform/core/system.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using Decoded = kvtest::J2kDecoded;

// The tiles of 64 pixels of the picture that hold a pixel of their colours.
int64_t TilesWritten(TKVBitmap& bitmap)
{
    int64_t written = 0;
    for (int32_t y = 32; y < bitmap.GetHeight(); y += 64) {
        for (int32_t x = 32; x < bitmap.GetWidth(); x += 64) {
            written += bitmap.GetPixels_kv24RGB(x, y) == kvtest::RepeatedTileColour(x, y);
        }
    }
    return written;
}

// Loads the picture, noting the most threads the process ran at any of its progress events.
size_t ThreadsDuringLoad(const std::string& bytes, Decoded& d)
{
    size_t most = 0;
    TMemoryStream stream;
    kvtest::FillStream(stream, bytes);
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    progress.OnProgress = [&most](TObject*, int32_t) {
        most = std::max(most, kvtest::ThreadsOfProcess().size());
    };
    Kvj2000::J2KReadStream(stream, d.Bitmap, d.Params, progress, false);
    return most;
}

} // namespace

// One tile, and any picture of fewer tiles than workers, cannot be cut into bands: the library
// decodes a lossless photo of 640 x 480 on its threads, one for each core the process may use up
// to eight, which run while it loads; or none, on a thread whose share is one core.
TEST(J2kThreads, PicturesThatCannotBeCutIntoBandsDecodeOnEveryCore)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string picture = kvtest::WritePicture(folder, "photo.ppm", 640, 480, [](int32_t x, int32_t y) {
        return TRGB{uint8_t(x * y), uint8_t(x + 3 * y), uint8_t(x ^ y)};
    });
    const std::string file = folder.File("photo.j2k");
    ASSERT_FALSE(kvtest::ToolOutput("opj_compress -i " + picture + " -o " + file).empty());
    const std::string bytes = kvtest::TempFolder::Read(file);
    const size_t before = kvtest::ThreadsOfProcess().size();
    Decoded d;
    const size_t during = ThreadsDuringLoad(bytes, d);
    ASSERT_FALSE(d.Aborted);
    const size_t cores = UsableCores();
    EXPECT_GE(during, before + (cores > 1 ? std::min<size_t>(cores, 8) : 0));

    // A worker of a pool that gave it one core starts none.
    const TCoreShare share(1);
    Decoded shared;
    EXPECT_EQ(ThreadsDuringLoad(bytes, shared), before);
    ASSERT_FALSE(shared.Aborted);
}

// The threads of a load follow its work, not its tiles alone. Pictures of a few thousand to forty
// thousand samples, of one to four components, in one tile or in many, cost more to start threads
// for than those gain: they decode on the loading thread, which starts none. A
// picture with an alpha channel, which a JP2 file's channel definitions give, decodes in bands of
// its tiles on every core, up to eight, as one without does.
TEST(J2kThreads, ThreadsFollowTheWork)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::vector<kvtest::TJ2kChannel> greyAlpha = {{0, 0, 1}, {1, 1, 0}};
    const std::vector<kvtest::TJ2kChannel> rgba = {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 1, 0}};
    const struct
    {
        const char* name;
        int32_t width, height, components;
        const char* options;
        std::vector<kvtest::TJ2kChannel> channels;
        bool threads;
    } cases[] = {
        {"rgb-40x30.j2k", 40, 30, 3, "-n 2", {}, false},
        {"grey-80x64-in-16-pixel-tiles.j2k", 80, 64, 1, "-t 16,16 -n 2", {}, false},
        {"four-100x100.j2k", 100, 100, 4, "", {}, false},
        {"grey-alpha-120x90.jp2", 120, 90, 2, "", greyAlpha, false},
        {"rgba-40x32-in-16-pixel-tiles.jp2", 40, 32, 4, "-t 16,16 -n 2", rgba, false},
        {"rgba-1000x700-in-64-pixel-tiles.jp2", 1000, 700, 4, "-t 64,64 -p RPCL -n 3", rgba, true},
    };
    const size_t cores = UsableCores();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = kvtest::CompressRaw(folder, c.name, c.width, c.height, c.components, c.options);
        ASSERT_FALSE(bytes.empty());
        if (!c.channels.empty()) {
            bytes = kvtest::WithHeaderBoxes(bytes, kvtest::J2kChannelDefinitions(c.channels));
        }
        const size_t before = kvtest::ThreadsOfProcess().size();
        Decoded d;
        const size_t during = ThreadsDuringLoad(bytes, d);
        ASSERT_FALSE(d.Aborted);
        if (c.threads) {
            EXPECT_GE(during, before + std::min<size_t>(cores, 8));
        } else {
            EXPECT_EQ(during, before);
        }
    }
}

// A Cancel in the first progress event of a picture of 2,961 tiles of 64 pixels stops its load at
// the next tile, band or window: in bands and tile after tile (on one core) no more than a tile
// is written, in windows one window of ten rows of tiles; and no event follows.
TEST(J2kThreads, ACancelStopsTheLoadAtItsNextTileBandOrWindow)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string stream = kvtest::RepeatedTiles(folder, 4032, 3008);
    ASSERT_FALSE(stream.empty());
    const std::string windowed =
        kvtest::WithHeaderBoxes(kvtest::J2kFileOf(stream, 4032, 3008, 3), kvtest::J2kIdentityPalette());
    const struct
    {
        const char* name;
        std::string bytes;
        bool oneCore;
        int64_t mostTiles;
    } cases[] = {
        {"bands", stream, false, 1},
        {"tile after tile", stream, true, 1},
        {"windows", windowed, false, 10 * 63},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<kvtest::TOnOneCore> oneCore;
        if (c.oneCore) {
            oneCore.emplace();
        }
        Decoded whole;
        kvtest::DecodeJ2k(c.bytes, whole);
        ASSERT_FALSE(whole.Aborted);
        EXPECT_EQ(TilesWritten(whole.Bitmap), 63 * 47);

        Decoded stopped;
        kvtest::TProgressNotes notes;
        notes.AbortAtEvent = 1;
        kvtest::DecodeNoting(c.bytes, stopped, notes);
        EXPECT_TRUE(stopped.Aborted);
        EXPECT_EQ(notes.Events, 1u);
        EXPECT_LE(TilesWritten(stopped.Bitmap), c.mostTiles);
    }
}

// A band worker that runs out of memory as it takes up its third band fails that band and the
// load, which keeps the bands before it; the program goes on.
TEST(J2kThreads, AWorkerOutOfMemoryFailsTheLoad)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress"}));
    kvtest::TempFolder folder;
    const std::string stream = kvtest::RepeatedTiles(folder, 2048, 1024);
    ASSERT_FALSE(stream.empty());
    Kvj2000::detail::BandTakenHook = [](size_t band) {
        if (band == 2) {
            throw std::bad_alloc();
        }
    };
    Decoded d;
    kvtest::DecodeJ2k(stream, d);
    Kvj2000::detail::BandTakenHook = nullptr;
    EXPECT_TRUE(d.Aborted);
    EXPECT_EQ(d.Bitmap.GetPixels_kv24RGB(32, 32), kvtest::RepeatedTileColour(32, 32));
}
