// The worker threads of the I/O component and the turn-taking that runs the operations of one
// component one at a time, in the order they were asked for.
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/system.h"

#include <algorithm>
#include <chrono>

namespace Korvaneio::detail {

void TWorkState::AbandonTicketLocked(uint64_t ticket)
{
    if (ticket != ServingTicket) {
        AbandonedTickets.insert(ticket);
        return;
    }
    ++ServingTicket;
    while (AbandonedTickets.erase(ServingTicket) > 0) {
        ++ServingTicket;
    }
    Changed.notify_all();
}

void TWorkState::Wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done)
{
    if (GetCurrentThreadId() != MainThreadID) {
        Changed.wait(lock, done);
        return;
    }
    // A worker may be waiting in TThread::Synchronize for this very thread, which is only woken
    // through the user-interface loop; serve such calls between short waits.
    while (!done()) {
        Changed.wait_for(lock, std::chrono::milliseconds(5));
        if (done()) {
            break;
        }
        lock.unlock();
        TThread::CheckSynchronize();
        lock.lock();
    }
}

void TWorkState::EnterGate(uint64_t ticket)
{
    std::unique_lock<std::mutex> lock(Lock);
    Wait(lock, [&] { return ServingTicket == ticket; });
    GateOwner = std::this_thread::get_id();
    GateDepth = 1;
}

void TWorkState::EnterGate()
{
    std::unique_lock<std::mutex> lock(Lock);
    if (GateDepth > 0 && GateOwner == std::this_thread::get_id()) {
        ++GateDepth;
        return;
    }
    const uint64_t ticket = TakeTicketLocked();
    Wait(lock, [&] { return ServingTicket == ticket; });
    GateOwner = std::this_thread::get_id();
    GateDepth = 1;
}

void TWorkState::LeaveGate()
{
    std::lock_guard<std::mutex> lock(Lock);
    if (--GateDepth > 0) {
        return;
    }
    GateOwner = std::thread::id();
    AbandonTicketLocked(ServingTicket);
}

bool TWorkState::HoldsGate() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return GateDepth > 0 && GateOwner == std::this_thread::get_id();
}

bool TWorkState::IsWorkerThreadLocked(uint32_t threadId) const
{
    return threadId != 0 && std::find(ThreadIds.begin(), ThreadIds.end(), threadId) != ThreadIds.end();
}

} // namespace Korvaneio::detail

using Korvaneio::detail::TWorkState;

namespace {

// Leaves the gate entered with a worker's ticket, also when the request raised.
class TTicketTurn
{
public:
    TTicketTurn(TWorkState& work, uint64_t ticket) : FWork(work) { FWork.EnterGate(ticket); }
    ~TTicketTurn() { FWork.LeaveGate(); }
    TTicketTurn(const TTicketTurn&) = delete;
    TTicketTurn& operator=(const TTicketTurn&) = delete;

private:
    TWorkState& FWork;
};

} // namespace

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodTypes Kind) : TThread(true), FOwner(Owner), FKind(Kind)
{
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveFile Method, const std::string& nf)
    : TKVIOThread(Owner, kvLoadSaveFile)
{
    FLoadSaveFile = std::move(Method);
    FFileName = nf;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveStream Method, TStream& Stream)
    : TKVIOThread(Owner, kvLoadSaveStream)
{
    FLoadSaveStream = std::move(Method);
    FStream = &Stream;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveFileRetInt Method, const std::string& nf)
    : TKVIOThread(Owner, kvLoadSaveFileRetInt)
{
    FLoadSaveFileRetInt = std::move(Method);
    FFileName = nf;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveStreamRetInt Method, TStream& Stream)
    : TKVIOThread(Owner, kvLoadSaveStreamRetInt)
{
    FLoadSaveStreamRetInt = std::move(Method);
    FStream = &Stream;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveFileFormat Method, const std::string& nf,
                         int32_t FileFormat)
    : TKVIOThread(Owner, kvLoadSaveFileFormat)
{
    FLoadSaveFileFormat = std::move(Method);
    FFileName = nf;
    FFileFormat = FileFormat;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveStreamFormat Method, TStream& Stream,
                         int32_t FileFormat)
    : TKVIOThread(Owner, kvLoadSaveStreamFormat)
{
    FLoadSaveStreamFormat = std::move(Method);
    FStream = &Stream;
    FFileFormat = FileFormat;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadFromURL Method, const std::string& URL)
    : TKVIOThread(Owner, kvLoadFromURL)
{
    FLoadFromURL = std::move(Method);
    FURL = URL;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveIndex Method, int32_t Index)
    : TKVIOThread(Owner, kvLoadSaveIndex)
{
    FLoadSaveIndex = std::move(Method);
    FIndex = Index;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_ImportMetaFile Method, const std::string& nf,
                         int32_t Width, int32_t Height, bool WithAlpha)
    : TKVIOThread(Owner, kvImportMetaFile)
{
    FImportMetaFile = std::move(Method);
    FFileName = nf;
    FWidth = Width;
    FHeight = Height;
    FWithAlpha = WithAlpha;
    Enqueue();
}

TKVIOThread::TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_CaptureFromScreen Method, TKVCSSource Source,
                         int16_t MouseCursor)
    : TKVIOThread(Owner, kvCaptureFromScreen)
{
    FCaptureFromScreen = std::move(Method);
    FCaptureSource = Source;
    FMouseCursor = MouseCursor;
    Enqueue();
}

// Takes the request's turn and joins the owner's list, then starts. Nothing may touch this
// object after Start: the thread can end and free itself at once.
void TKVIOThread::Enqueue()
{
    TWorkState& work = *FOwner->FWork;
    {
        std::lock_guard<std::mutex> lock(work.Lock);
        FTicket = work.TakeTicketLocked();
        work.Threads.push_back(this);
        work.ThreadIds.push_back(0);
    }
    try {
        Start();
    } catch (...) {
        std::lock_guard<std::mutex> lock(work.Lock);
        const auto it = std::find(work.Threads.begin(), work.Threads.end(), this);
        if (it != work.Threads.end()) {
            work.ThreadIds.erase(work.ThreadIds.begin() + (it - work.Threads.begin()));
            work.Threads.erase(it);
        }
        work.AbandonTicketLocked(FTicket);
        work.Changed.notify_all();
        throw;
    }
}

void TKVIOThread::Execute()
{
    TWorkState& work = *FOwner->FWork;
    {
        std::lock_guard<std::mutex> lock(work.Lock);
        const auto it = std::find(work.Threads.begin(), work.Threads.end(), this);
        work.ThreadIds[it - work.Threads.begin()] = GetCurrentThreadId();
    }
    {
        TTicketTurn turn(work, FTicket);
        try {
            RunRequest();
        } catch (...) {
            OutputDebugString("Exception in TKVIOThread.Execute");
            FOwner->Aborting = true;
        }
    }
    SetFreeOnTerminate(true);
    // The last touch of the owner: once out of the list, the owner may be freed.
    std::lock_guard<std::mutex> lock(work.Lock);
    const auto it = std::find(work.Threads.begin(), work.Threads.end(), this);
    work.ThreadIds.erase(work.ThreadIds.begin() + (it - work.Threads.begin()));
    work.Threads.erase(it);
    work.Changed.notify_all();
}

void TKVIOThread::RunRequest()
{
    switch (FKind) {
    case kvLoadSaveFile:
        FLoadSaveFile(FFileName);
        break;
    case kvLoadSaveStream:
        FLoadSaveStream(*FStream);
        break;
    case kvLoadSaveFileRetInt:
        FLoadSaveFileRetInt(FFileName);
        break;
    case kvLoadSaveStreamRetInt:
        FLoadSaveStreamRetInt(*FStream);
        break;
    case kvLoadSaveFileFormat:
        FLoadSaveFileFormat(FFileName, FFileFormat);
        break;
    case kvLoadSaveStreamFormat:
        FLoadSaveStreamFormat(*FStream, FFileFormat);
        break;
    case kvLoadFromURL:
        FLoadFromURL(FURL);
        break;
    case kvLoadSaveIndex:
        FLoadSaveIndex(FIndex);
        break;
    case kvImportMetaFile:
        FImportMetaFile(FFileName, FWidth, FHeight, FWithAlpha);
        break;
    case kvCaptureFromScreen:
        FCaptureFromScreen(FCaptureSource, FMouseCursor);
        break;
    default:
        break;
    }
}

bool TKorvaneIO::IsInsideAsyncThreads() const
{
    std::lock_guard<std::mutex> lock(FWork->Lock);
    return FWork->IsWorkerThreadLocked(GetCurrentThreadId());
}

int32_t TKorvaneIO::GetThreadsCount() const
{
    std::lock_guard<std::mutex> lock(FWork->Lock);
    return static_cast<int32_t>(FWork->Threads.size());
}

void TKorvaneIO::WaitThreads(bool Abort)
{
    // A worker, or a thread inside an operation, would wait for requests queued behind itself.
    if (IsInsideAsyncThreads() || FWork->HoldsGate()) {
        if (Abort) {
            Aborting = true;
        }
        return;
    }
    // Running codecs see the request through the progress record, on their own thread.
    if (Abort) {
        FWork->AbortRequested = true;
    }
    {
        std::unique_lock<std::mutex> lock(FWork->Lock);
        FWork->Wait(lock, [&] { return FWork->Threads.empty(); });
    }
    if (Abort) {
        Aborting = true;
        FWork->AbortRequested = false;
    }
}
