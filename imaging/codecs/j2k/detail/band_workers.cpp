// Decodes bands of JPEG 2000 tiles on worker threads and hands their tiles to the loading thread.
#include "imaging/codecs/j2k/detail/band_workers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace Kvj2000::detail {

void (*BandTakenHook)(size_t band) = nullptr;

namespace {

// A band as a worker fills it: its tiles, sized by the worker before the first is ready, and how
// many of them are.
struct TBandSlot
{
    TDecodedBand Tiles;
    size_t Ready = 0;
    bool Ended = false;
    bool Failed = false;
};

// What the workers and the loading thread share, under the lock. Bands are written in their
// order, so that a load stopped or failed midway leaves the picture whole down to where it
// stopped, as a decode of one tile after another does.
class TBandQueue
{
public:
    TBandQueue(size_t count, size_t ahead) : FSlots(count), FAhead(ahead) {}

    // A worker's loop: takes the next band while it lies within reach of the writing, which bounds
    // the bands held, and decodes it.
    void Work(const TBandDecoder& decode)
    {
        std::unique_lock<std::mutex> hold(FLock);
        while (true) {
            FWorkersWake.wait(
                hold, [this] { return FStop || FNext >= FSlots.size() || FNext < FWritten + FAhead; });
            if (FStop || FNext >= FSlots.size()) {
                return;
            }
            const size_t band = FNext++;
            hold.unlock();
            const bool decoded = DecodeBand(decode, band);
            hold.lock();
            FSlots[band].Ended = true;
            FSlots[band].Failed = !decoded;
            FWriterWake.notify_one();
        }
    }

    // The loading thread's loop: the tiles of each band in turn as they are ready.
    bool Write(const TBandWriting& writing)
    {
        for (size_t band = 0; band < FSlots.size(); ++band) {
            for (size_t tile = 0;; ++tile) {
                TDecodedTile* ready = nullptr;
                if (!WaitForTile(band, tile, writing, ready)) {
                    return false;
                }
                if (writing.Aborted()) {
                    return true;
                }
                if (ready == nullptr) {
                    break;
                }
                writing.Write(*ready);
                *ready = {};
            }
            std::lock_guard<std::mutex> hold(FLock);
            FSlots[band].Tiles = TDecodedBand();
            ++FWritten;
            FWorkersWake.notify_all();
        }
        return true;
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> hold(FLock);
            FStop = true;
        }
        FWorkersWake.notify_all();
    }

private:
    bool DecodeBand(const TBandDecoder& decode, size_t band)
    {
        TBandSlot& slot = FSlots[band];
        try {
            if (BandTakenHook != nullptr) {
                BandTakenHook(band);
            }
            return decode(band, slot.Tiles, [this, &slot] {
                std::lock_guard<std::mutex> hold(FLock);
                ++slot.Ready;
                FWriterWake.notify_one();
                return !FStop;
            });
        } catch (...) {
            return false;
        }
    }

    // Waits for the band's tile, telling the caller's progress event meanwhile: the tile in
    // `ready`, or none when the band has ended without it. False when the band failed there.
    bool WaitForTile(size_t band, size_t tile, const TBandWriting& writing, TDecodedTile*& ready)
    {
        TBandSlot& slot = FSlots[band];
        std::unique_lock<std::mutex> hold(FLock);
        while (!FWriterWake.wait_for(hold, std::chrono::milliseconds(ProgressWhileWaitingMs),
                                     [&slot, tile] { return slot.Ready > tile || slot.Ended; })) {
            hold.unlock();
            writing.Waiting();
            if (writing.Aborted()) {
                return true;
            }
            hold.lock();
        }
        ready = slot.Ready > tile ? &slot.Tiles[tile] : nullptr;
        return ready != nullptr || !slot.Failed;
    }

    std::mutex FLock;
    std::condition_variable FWorkersWake;
    std::condition_variable FWriterWake;
    std::vector<TBandSlot> FSlots;
    size_t FAhead;
    size_t FNext = 0;
    size_t FWritten = 0;
    bool FStop = false;
};

} // namespace

bool DecodeBandsInOrder(size_t count, unsigned workers, const TBandDecoder& decode,
                        const TBandWriting& writing)
{
    // Each worker holds the band it decodes, and as many again wait for the writing.
    TBandQueue queue(count, size_t(workers) * 2);
    std::vector<std::jthread> threads;
    // However the writing ends, the workers are stopped and joined before the queue goes.
    struct TStopper
    {
        TBandQueue& Queue;
        std::vector<std::jthread>& Threads;
        ~TStopper()
        {
            Queue.Stop();
            Threads.clear();
        }
    } stopper{queue, threads};
    for (unsigned i = 0; i < workers; ++i) {
        threads.emplace_back([&queue, &decode] { queue.Work(decode); });
    }
    return queue.Write(writing);
}

} // namespace Kvj2000::detail
