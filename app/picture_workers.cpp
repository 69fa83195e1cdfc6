// The gallery's picture workers.
#include "app/picture_workers.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/system.h"

#include <algorithm>

TPictureTools::TPictureTools(const std::atomic<bool>* Stop)
    : Bitmap(std::make_unique<TKVBitmap>()), IO(std::make_unique<TKorvaneIO>(nullptr)),
      Proc(std::make_unique<TKorvaneProc>(nullptr)), FStop(Stop)
{
    Bitmap->SetLocation(kvMemory);
    IO->SetAttachedKVBitmap(Bitmap.get());
    Proc->SetAttachedKVBitmap(Bitmap.get());
    // Every resample replaces the picture for good; an undo copy of each would only cost time.
    Proc->AutoUndo = false;
    // Called on the thread that loads or saves, between tiles, bands or rows: the abort flag the
    // codec asks next is set there, on its own thread.
    IO->OnProgress = [this](TObject*, int32_t Reached) {
        if (StopRequested()) {
            IO->Aborting = true;
        }
        if (Reached > Percent.load(std::memory_order_relaxed)) {
            Percent.store(std::min(Reached, 100), std::memory_order_relaxed);
        }
    };
}

TPictureTools::~TPictureTools() = default;

int32_t WorkerCount(int32_t Threads)
{
    // More workers than this only hold more decoded pictures in memory.
    constexpr int32_t MostWorkers = 256;
    if (Threads <= 0) {
        Threads = static_cast<int32_t>(UsableCores());
    }
    return std::min(Threads, MostWorkers);
}

TPictureWorkers::TPictureWorkers(int32_t Workers) : FWorkers(std::max(Workers, 1)), FCores(UsableCores())
{
    // The components are made here, on the thread that owns the run; each is then used by one
    // worker only.
    for (int32_t k = 0; k < FWorkers; ++k) {
        FTools.push_back(std::make_unique<TPictureTools>(&FStop));
    }
    for (int32_t k = 0; k < FWorkers; ++k) {
        FThreads.emplace_back([this, tools = FTools[static_cast<size_t>(k)].get()] { Work(*tools); });
    }
}

TPictureWorkers::~TPictureWorkers()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
        FQueue.clear();
    }
    FWorkArrived.notify_all();
    for (std::thread& thread : FThreads) {
        thread.join();
    }
}

void TPictureWorkers::Submit(int64_t Ticket, TJob Job)
{
    ++FInHand;
    FHandedOut.push_back(Ticket);
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (Stopped()) {
            FFinished.push_back(Ticket);
            return;
        }
        FQueue.push_back(TQueued{Ticket, std::move(Job)});
    }
    FWorkArrived.notify_one();
}

void TPictureWorkers::Stop()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
        for (const TQueued& queued : FQueue) {
            FFinished.push_back(queued.Ticket);
        }
        FQueue.clear();
    }
    FWorkDone.notify_all();
}

int64_t TPictureWorkers::PercentInHand()
{
    std::lock_guard<std::mutex> lock(FLock);
    int64_t percent = 100 * static_cast<int64_t>(FFinished.size());
    for (const auto& tools : FTools) {
        percent += tools->Percent.load(std::memory_order_relaxed);
    }
    return percent;
}

std::vector<int64_t> TPictureWorkers::TakeFinished(uint32_t TimeoutMs)
{
    std::vector<int64_t> ready;
    {
        std::unique_lock<std::mutex> lock(FLock);
        const auto oldestFinished = [this] {
            return std::find(FFinished.begin(), FFinished.end(), FHandedOut.front()) != FFinished.end();
        };
        if (!FHandedOut.empty() && !oldestFinished()) {
            FWorkDone.wait_for(lock, std::chrono::milliseconds(TimeoutMs), oldestFinished);
        }
        TakeInOrder(ready);
    }
    FInHand -= static_cast<int32_t>(ready.size());
    return ready;
}

void TPictureWorkers::TakeInOrder(std::vector<int64_t>& Ready)
{
    while (!FHandedOut.empty()) {
        const auto finished = std::find(FFinished.begin(), FFinished.end(), FHandedOut.front());
        if (finished == FFinished.end()) {
            return;
        }
        Ready.push_back(FHandedOut.front());
        FFinished.erase(finished);
        FHandedOut.pop_front();
    }
}

void TPictureWorkers::Work(TPictureTools& Tools)
{
    for (;;) {
        TQueued next;
        unsigned share = 1;
        {
            std::unique_lock<std::mutex> lock(FLock);
            FWorkArrived.wait(lock, [this] { return FStopping || !FQueue.empty(); });
            if (FStopping) {
                return;
            }
            next = std::move(FQueue.front());
            FQueue.pop_front();
            ++FRunning;
            share = ShareOfNextJob();
        }
        try {
            const TCoreShare cores(share);
            next.Job(Tools);
        } catch (...) {
        }
        // Whatever the job wrote is published to the handing-out thread by this lock, and its
        // progress passes to the finished count at once.
        {
            std::lock_guard<std::mutex> lock(FLock);
            --FRunning;
            FFinished.push_back(next.Ticket);
            Tools.Percent = 0;
        }
        FWorkDone.notify_all();
    }
}

unsigned TPictureWorkers::ShareOfNextJob() const
{
    // A picture alone gets every core; a full pool of workers on as many cores, one each. Eight
    // workers whose loads each started eight threads made 64 on eight cores.
    const int64_t inHand = std::min<int64_t>(FRunning + int64_t(FQueue.size()), FWorkers);
    return std::max(1u, unsigned(FCores / uint64_t(std::max<int64_t>(inHand, 1))));
}
