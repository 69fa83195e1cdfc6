// The workers of the gallery's picture stages: a pool of threads, each with its own bitmap, I/O
// and processing components, that takes jobs from a queue in the order they were handed out.
// Only the thread that hands out the jobs learns of their end, and in that same order, so it alone
// touches the windows and the disk, as a run of one worker would; it stays free to let the
// window's messages through while the pictures decode, and to stop them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TKVBitmap;
class TKorvaneIO;
class TKorvaneProc;

// One worker's picture buffer and the components attached to it.
struct TPictureTools
{
    // Stop, when given, is the flag that stops the job in hand: its loads and saves end at their
    // next tile, band or row with the I/O component's Aborting set.
    explicit TPictureTools(const std::atomic<bool>* Stop = nullptr);
    ~TPictureTools();
    TPictureTools(const TPictureTools&) = delete;
    TPictureTools& operator=(const TPictureTools&) = delete;

    bool StopRequested() const { return FStop != nullptr && FStop->load(std::memory_order_relaxed); }

    std::unique_ptr<TKVBitmap> Bitmap;
    std::unique_ptr<TKorvaneIO> IO;
    std::unique_ptr<TKorvaneProc> Proc;
    // How far the job in hand is, 0 to 100: the furthest its codecs have reported. Any thread
    // may read it.
    std::atomic<int32_t> Percent{0};

private:
    const std::atomic<bool>* FStop;
};

// The number of workers a Threads setting asks for: 0 is one per core.
int32_t WorkerCount(int32_t Threads);

class TPictureWorkers
{
public:
    using TJob = std::function<void(TPictureTools&)>;

    // Even one worker is a thread of its own, so that the caller stays free while a picture decodes.
    // A job runs with its share of the cores (TCoreShare): the usable cores divided among the jobs
    // in hand as it starts, running or queued, no more than there are workers.
    explicit TPictureWorkers(int32_t Workers);
    // Waits for the jobs in hand; jobs not yet started are dropped.
    ~TPictureWorkers();
    TPictureWorkers(const TPictureWorkers&) = delete;
    TPictureWorkers& operator=(const TPictureWorkers&) = delete;

    int32_t Workers() const { return FWorkers; }
    // Jobs handed out and not yet reported by TakeFinished.
    int32_t InHand() const { return FInHand; }
    // As many jobs again as there are workers may wait, queued or finished, behind the oldest one,
    // so that a slow picture does not leave the other workers idle. Only the running jobs hold
    // decoded pictures; a finished one holds what it made of its picture.
    bool HasRoom() const { return FInHand < 2 * FWorkers; }

    // Hands out a job; Ticket is what TakeFinished reports once it has run. A job reports its
    // outcome through what it captures; an exception it lets out is swallowed.
    void Submit(int64_t Ticket, TJob Job);
    // The tickets of the finished jobs that were handed out before every job still running, in
    // the order they were handed out; when there are none, waits up to TimeoutMs for them.
    std::vector<int64_t> TakeFinished(uint32_t TimeoutMs);
    // Stops the jobs in hand for good: the running ones end their loads and saves at the next tile,
    // band or row, and those not started are reported finished without running. Any thread may
    // call it.
    void Stop();
    bool Stopped() const { return FStop.load(std::memory_order_relaxed); }
    // How far the jobs in hand are, in percent of one job: a finished job counts 100, a running
    // one what its codecs have reported.
    int64_t PercentInHand();

private:
    void Work(TPictureTools& Tools);
    // The share of the cores of a job that starts now; under FLock, with the job counted running.
    unsigned ShareOfNextJob() const;
    // Moves the tickets at the front of FHandedOut that have finished into Ready.
    void TakeInOrder(std::vector<int64_t>& Ready);

    struct TQueued
    {
        int64_t Ticket;
        TJob Job;
    };

    int32_t FWorkers = 1;
    unsigned FCores = 1;
    // Jobs that a worker has taken and not yet finished; under FLock.
    int32_t FRunning = 0;
    // Only the handing-out thread reads and writes these two.
    int32_t FInHand = 0;
    std::deque<int64_t> FHandedOut;
    std::vector<std::unique_ptr<TPictureTools>> FTools;
    std::vector<std::thread> FThreads;
    std::mutex FLock;
    std::condition_variable FWorkArrived;
    std::condition_variable FWorkDone;
    std::deque<TQueued> FQueue;
    std::vector<int64_t> FFinished;
    bool FStopping = false;
    std::atomic<bool> FStop{false};
};
