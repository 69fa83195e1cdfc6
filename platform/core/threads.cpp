// TThread, TEvent, the main-thread call queue of Synchronize, and the system's clock and ids.
#include "platform/core/threads.h"

#include "platform/core/exceptions.h"

#include <chrono>
#include <deque>
#include <sys/syscall.h>
#include <unistd.h>

uint32_t GetTickCount()
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void Sleep(uint32_t Milliseconds)
{
    if (Milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

uint32_t GetCurrentThreadId()
{
    return static_cast<uint32_t>(::gettid());
}

// Static initialisation runs on the thread that starts the program.
const uint32_t MainThreadID = GetCurrentThreadId();

namespace {

// A call waiting for the main thread; the caller waits on Done.
struct TSyncRequest
{
    const std::function<void()>* Method = nullptr;
    std::exception_ptr Failure;
    bool Done = false;
};

std::mutex gSyncLock;
std::condition_variable gSyncChanged;
std::deque<TSyncRequest*> gSyncQueue;

} // namespace

std::function<void()> TThread::WakeMainThread;

void TThread::Synchronize(TThread*, const std::function<void()>& Method)
{
    if (!Method) {
        return;
    }
    if (GetCurrentThreadId() == MainThreadID || !WakeMainThread) {
        Method();
        return;
    }
    TSyncRequest request;
    request.Method = &Method;
    {
        std::lock_guard<std::mutex> lock(gSyncLock);
        gSyncQueue.push_back(&request);
    }
    WakeMainThread();
    std::unique_lock<std::mutex> lock(gSyncLock);
    gSyncChanged.wait(lock, [&] { return request.Done; });
    if (request.Failure) {
        std::rethrow_exception(request.Failure);
    }
}

bool TThread::CheckSynchronize(uint32_t TimeoutMs)
{
    if (GetCurrentThreadId() != MainThreadID) {
        throw EThread("CheckSynchronize called from a thread other than the main thread");
    }
    std::unique_lock<std::mutex> lock(gSyncLock);
    if (gSyncQueue.empty() && TimeoutMs > 0) {
        gSyncChanged.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [] { return !gSyncQueue.empty(); });
    }
    bool any = false;
    while (!gSyncQueue.empty()) {
        TSyncRequest* request = gSyncQueue.front();
        gSyncQueue.pop_front();
        lock.unlock();
        try {
            (*request->Method)();
        } catch (...) {
            // The exception belongs to the thread that asked for the call.
            request->Failure = std::current_exception();
        }
        lock.lock();
        request->Done = true;
        gSyncChanged.notify_all();
        any = true;
    }
    return any;
}

TThread::TThread(bool CreateSuspended) : FCreateSuspended(CreateSuspended) {}

TThread::~TThread()
{
    if (FThread.joinable()) {
        if (FThread.get_id() == std::this_thread::get_id()) {
            // Freed from its own Execute (FreeOnTerminate): nobody joins it.
            FThread.detach();
            return;
        }
        TerminateAndJoin();
    }
}

void TThread::BeforeDestruction()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) {
        TerminateAndJoin();
    }
}

void TThread::TerminateAndJoin()
{
    Terminate();
    Resume();
    WaitUntilFinished();
    FThread.join();
}

void TThread::WaitUntilFinished()
{
    const bool onMainThread = GetCurrentThreadId() == MainThreadID;
    std::unique_lock<std::mutex> lock(FLock);
    while (!FFinished) {
        if (onMainThread) {
            // The thread may be waiting in Synchronize for this very thread.
            lock.unlock();
            CheckSynchronize(0);
            lock.lock();
            FChanged.wait_for(lock, std::chrono::milliseconds(5), [this] { return FFinished; });
        } else {
            FChanged.wait(lock, [this] { return FFinished; });
        }
    }
}

void TThread::AfterConstruction()
{
    if (!FCreateSuspended) {
        Start();
    }
}

void TThread::Launch()
{
    // Called with FLock held.
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

void TThread::Start()
{
    std::lock_guard<std::mutex> lock(FLock);
    if (!FStarted) {
        Launch();
    } else if (FSuspended) {
        FSuspended = false;
        FChanged.notify_all();
    }
}

void TThread::Resume()
{
    std::lock_guard<std::mutex> lock(FLock);
    if (!FStarted) {
        Launch();
        return;
    }
    if (FSuspended) {
        FSuspended = false;
        FChanged.notify_all();
    } else if (!FFinished) {
        FWakePending = true;
    }
}

void TThread::Suspend()
{
    std::unique_lock<std::mutex> lock(FLock);
    if (!FStarted) {
        return; // not started: it is suspended already
    }
    if (FThread.get_id() != std::this_thread::get_id()) {
        throw EThread("A thread can only suspend itself");
    }
    if (FWakePending) {
        FWakePending = false;
        return;
    }
    FSuspended = true;
    FChanged.wait(lock, [this] { return !FSuspended; });
}

bool TThread::Suspended() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return !FStarted || FSuspended;
}

void TThread::Terminate()
{
    std::lock_guard<std::mutex> lock(FLock);
    FTerminated = true;
}

bool TThread::Terminated() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FTerminated;
}

uint32_t TThread::WaitFor()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FFreeOnTerminate) {
            throw EThread("Cannot wait for a thread that frees itself");
        }
        if (!FStarted) {
            throw EThread("Cannot wait for a thread that has not started");
        }
        if (FThread.get_id() == std::this_thread::get_id()) {
            throw EThread("A thread cannot wait for itself");
        }
    }
    WaitUntilFinished();
    std::lock_guard<std::mutex> lock(FLock);
    return FReturnValue;
}

bool TThread::Finished() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FFinished;
}

bool TThread::FreeOnTerminate() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FFreeOnTerminate;
}

void TThread::SetFreeOnTerminate(bool Value)
{
    std::lock_guard<std::mutex> lock(FLock);
    FFreeOnTerminate = Value;
}

uint32_t TThread::ThreadID() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FThreadID;
}

void TThread::DoTerminate()
{
    if (OnTerminate) {
        Synchronize([this] { OnTerminate(this); });
    }
}

void TThread::Run()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FThreadID = GetCurrentThreadId();
    }
    try {
        Execute();
    } catch (...) {
        // An exception must not end the process from a worker; the thread just ends.
    }
    try {
        DoTerminate();
    } catch (...) {
    }
    bool freeSelf = false;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FFinished = true;
        freeSelf = FFreeOnTerminate;
        FChanged.notify_all();
    }
    if (freeSelf) {
        delete this;
    }
}

TEvent::TEvent(bool ManualReset, bool InitialState) : FManualReset(ManualReset), FSignaled(InitialState) {}

void TEvent::SetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = true;
    if (FManualReset) {
        FCondition.notify_all();
    } else {
        FCondition.notify_one();
    }
}

void TEvent::ResetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t Timeout)
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (Timeout == INFINITE) {
        FCondition.wait(lock, [this] { return FSignaled; });
    } else if (!FCondition.wait_for(lock, std::chrono::milliseconds(Timeout), [this] { return FSignaled; })) {
        return wrTimeout;
    }
    if (!FManualReset) {
        FSignaled = false;
    }
    return wrSignaled;
}
