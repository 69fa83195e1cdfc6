// Bands of JPEG 2000 tiles decoded on several worker threads and handed, tile by tile and in their
// order, to the loading thread, which writes them into the bitmap and alone talks to the caller.
#pragma once

#include "imaging/codecs/j2k/detail/decoder_thread.h"
#include "imaging/codecs/j2k/detail/sample_writer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Kvj2000::detail {

// A tile as the library decoded it: the samples of every component in a buffer of its own, the
// planes of the used components in it, and the tile's index on the picture's grid.
struct TDecodedTile
{
    std::unique_ptr<uint8_t[]> Bytes;
    uint32_t Capacity = 0;
    uint32_t Size = 0;
    uint32_t Index = 0;
    std::vector<TChannelPlane> Planes;
};
using TDecodedBand = std::vector<TDecodedTile>;

// Decodes a band's tiles into `tiles`, which it sizes first, in turn, calling `decoded` after
// each; false when the library fails. Stops, whatever it returns, once `decoded` returns false.
using TBandDecoder =
    std::function<bool(size_t band, TDecodedBand& tiles, const std::function<bool()>& decoded)>;

// What the loading thread does: writes a decoded tile, reports progress while it waits for the
// next (at least every ProgressWhileWaiting), and tells whether the caller has stopped the load.
struct TBandWriting
{
    std::function<void(TDecodedTile&)> Write;
    std::function<void()> Waiting;
    std::function<bool()> Aborted;
};

// Decodes bands 0 to count - 1 on `workers` threads, and hands each tile to `writing` on the
// calling thread, in band order and within a band in the decoder's order, each as soon as it is
// decoded. A worker starts a band only while few bands lie between it and the one written, and
// holds its tiles until they are written. Writes the tiles decoded before a band fails, then
// returns false; once Aborted, writes no more and returns true, the workers starting no further
// tile. Whatever a worker throws, out of memory included, fails its band.
bool DecodeBandsInOrder(size_t count, unsigned workers, const TBandDecoder& decode,
                        const TBandWriting& writing);

// Called by a worker as it takes up a band, before it allocates anything for the band: tests
// throw there as an allocation that fails would. Null but in those tests.
extern void (*BandTakenHook)(size_t band);

} // namespace Kvj2000::detail
