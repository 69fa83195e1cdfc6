// Threads and their synchronisation: TThread over std::thread, TCriticalSection (re-entrant),
// TEvent, and the tick count, sleep and thread ids of the system.
#pragma once

#include "platform/core/classes.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// Milliseconds from a monotonic clock; wraps at 2^32.
uint32_t GetTickCount();
// Sleep(0) only yields the processor.
void Sleep(uint32_t Milliseconds);
// The kernel's id of the calling thread.
uint32_t GetCurrentThreadId();
// The id of the thread that started the program.
extern const uint32_t MainThreadID;

// A thread whose work is the overridden Execute.
//
// A thread created suspended starts on Start() (or Resume()). One created not suspended starts
// when AfterConstruction() runs: a C++ base constructor cannot run code after the derived
// constructors, so a class that passes false ends its constructor with AfterConstruction().
//
// Synchronize(method) runs method on the main thread while the calling thread waits: when the
// forms layer has set WakeMainThread it queues the call and wakes the user-interface loop, which
// runs CheckSynchronize(); otherwise (no user-interface loop) it runs the method in place.
class TThread : public TObject
{
public:
    explicit TThread(bool CreateSuspended);
    // Asks a running thread to terminate and waits for it. Free() does so before the derived
    // parts are destroyed; a plain delete only in this base destructor, so a derived class
    // whose Execute uses its own members must be freed with Free().
    ~TThread() override;
    void BeforeDestruction() override;

    void AfterConstruction();
    void Start();
    // Starts a thread created suspended, or wakes one that suspended itself. Resuming a
    // running thread leaves a wake-up behind, so that a Suspend racing with it returns at once.
    void Resume();
    // Only the thread itself may suspend (it waits in Suspend until resumed); raises EThread
    // when called from another thread.
    void Suspend();
    bool Suspended() const;

    void Terminate();
    bool Terminated() const;
    // Waits until Execute has returned and gives ReturnValue. On the main thread it runs queued
    // Synchronize calls while it waits.
    uint32_t WaitFor();
    bool Finished() const;

    // The object deletes itself when Execute returns (it may be set from inside Execute).
    bool FreeOnTerminate() const;
    void SetFreeOnTerminate(bool Value);
    // 0 until the thread runs.
    uint32_t ThreadID() const;

    // Called (through Synchronize) after Execute returns.
    TNotifyEvent OnTerminate;

    static void Synchronize(TThread* AThread, const std::function<void()>& Method);
    // Runs the queued calls; returns whether there were any. Only on the main thread.
    static bool CheckSynchronize(uint32_t TimeoutMs = 0);
    // Set by the user-interface layer: asked to make the main thread call CheckSynchronize soon.
    static std::function<void()> WakeMainThread;

protected:
    virtual void Execute() = 0;
    virtual void DoTerminate();
    void Synchronize(const std::function<void()>& Method) { Synchronize(this, Method); }
    void SetReturnValue(uint32_t Value) { FReturnValue = Value; }
    uint32_t ReturnValue() const { return FReturnValue; }

private:
    void Launch();
    void Run();
    void TerminateAndJoin();
    void WaitUntilFinished();

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::thread FThread;
    bool FCreateSuspended;
    bool FStarted = false;
    bool FSuspended = false;
    bool FWakePending = false;
    bool FTerminated = false;
    bool FFinished = false;
    bool FFreeOnTerminate = false;
    uint32_t FThreadID = 0;
    uint32_t FReturnValue = 0;
};

// A re-entrant lock. Also a standard lockable, so std::lock_guard<TCriticalSection> works.
class TCriticalSection : public TObject
{
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }
    bool TryEnter() { return FMutex.try_lock(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    std::recursive_mutex FMutex;
};

// Holds a critical section for the length of a scope.
class TCriticalSectionLock
{
public:
    explicit TCriticalSectionLock(TCriticalSection& Section) : FSection(Section) { FSection.Enter(); }
    ~TCriticalSectionLock() { FSection.Leave(); }
    TCriticalSectionLock(const TCriticalSectionLock&) = delete;
    TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

private:
    TCriticalSection& FSection;
};

enum TWaitResult : uint8_t
{
    wrSignaled,
    wrTimeout,
    wrAbandoned,
    wrError
};

// A signal that threads wait for. A manual-reset event stays set until ResetEvent; an
// automatic one lets one waiter through and resets itself.
class TEvent : public TObject
{
public:
    explicit TEvent(bool ManualReset = true, bool InitialState = false);

    void SetEvent();
    void ResetEvent();
    // Timeout in milliseconds, INFINITE to wait without limit.
    TWaitResult WaitFor(uint32_t Timeout);

private:
    std::mutex FMutex;
    std::condition_variable FCondition;
    bool FManualReset;
    bool FSignaled;
};
