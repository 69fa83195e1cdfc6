// Threads, events, critical sections and calls synchronised with the main thread.
#include "platform/core/exceptions.h"
#include "platform/core/random.h"
#include "platform/core/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace {

// Counts until asked to stop.
class TCounter : public TThread
{
public:
    explicit TCounter(bool CreateSuspended) : TThread(CreateSuspended) {}
    std::atomic<int> Loops{0};
    std::atomic<uint32_t> SeenId{0};

protected:
    void Execute() override
    {
        SeenId = GetCurrentThreadId();
        while (!Terminated()) {
            ++Loops;
            Sleep(1);
        }
        SetReturnValue(42);
    }
};

TEST(Thread, RunsTerminatesAndWaitForReturns)
{
    TCounter thread(true);
    EXPECT_TRUE(thread.Suspended());
    EXPECT_EQ(thread.ThreadID(), 0u);
    Sleep(20);
    EXPECT_EQ(thread.Loops.load(), 0); // created suspended: nothing runs yet
    thread.Start();
    while (thread.Loops.load() < 3) {
        Sleep(1);
    }
    EXPECT_FALSE(thread.Suspended());
    EXPECT_NE(thread.ThreadID(), MainThreadID);
    EXPECT_EQ(thread.ThreadID(), thread.SeenId.load());
    thread.Terminate();
    EXPECT_EQ(thread.WaitFor(), 42u);
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, DestroyingARunningThreadStopsIt)
{
    auto* thread = new TCounter(true);
    thread->Resume();
    while (thread->Loops.load() == 0) {
        Sleep(1);
    }
    thread->Free(); // terminates and joins before the counter goes away
}

TEST(Thread, NotSuspendedStartsAfterConstruction)
{
    class TQuick : public TThread
    {
    public:
        TQuick() : TThread(false) { AfterConstruction(); }
        std::atomic<bool> Ran{false};

    protected:
        void Execute() override { Ran = true; }
    };
    TQuick thread;
    thread.WaitFor();
    EXPECT_TRUE(thread.Ran.load());
}

TEST(Thread, FreeOnTerminateDeletesItselfAndTellsOnTerminate)
{
    static std::atomic<bool> destroyed{false};
    class TSelfFreeing : public TThread
    {
    public:
        TSelfFreeing() : TThread(true) {}
        ~TSelfFreeing() override { destroyed = true; }

    protected:
        void Execute() override { SetFreeOnTerminate(true); } // as a worker does at its end
    };
    // OnTerminate runs in place here: no user-interface loop serves Synchronize while the main
    // thread waits on the event.
    const std::function<void()> previous = TThread::WakeMainThread;
    TThread::WakeMainThread = nullptr;
    TEvent done;
    std::atomic<bool> told{false};
    auto* thread = new TSelfFreeing;
    thread->OnTerminate = [&](TObject*) {
        told = true;
        done.SetEvent();
    };
    thread->Start();
    // Both waits only catch a hang: the thread frees itself within a millisecond.
    ASSERT_EQ(done.WaitFor(5000), wrSignaled);
    for (int i = 0; i < 500 && !destroyed.load(); ++i) {
        Sleep(2);
    }
    TThread::WakeMainThread = previous;
    EXPECT_TRUE(told.load());
    EXPECT_TRUE(destroyed.load());
}

TEST(Thread, SuspendsItselfUntilResumed)
{
    class TSleeper : public TThread
    {
    public:
        TSleeper() : TThread(true) {}
        std::atomic<int> Wakes{0};

    protected:
        void Execute() override
        {
            while (!Terminated()) {
                Suspend();
                ++Wakes;
            }
        }
    };
    TSleeper thread;
    thread.Start();
    while (!thread.Suspended()) {
        Sleep(1);
    }
    EXPECT_THROW(thread.Suspend(), EThread); // only the thread itself may
    thread.Resume();
    while (thread.Wakes.load() < 1 || !thread.Suspended()) {
        Sleep(1);
    }
    thread.Terminate();
    thread.Resume();
    thread.WaitFor();
    EXPECT_EQ(thread.Wakes.load(), 2);
}

TEST(Thread, AResumeBeforeTheSuspendIsNotLost)
{
    class TRacer : public TThread
    {
    public:
        TRacer() : TThread(true) {}
        TEvent Resumed;
        std::atomic<bool> PastSuspend{false};

    protected:
        void Execute() override
        {
            Resumed.WaitFor(INFINITE); // the wake-up arrives while still running
            Suspend();
            PastSuspend = true;
        }
    };
    TRacer thread;
    thread.Start();
    while (thread.ThreadID() == 0) {
        Sleep(1);
    }
    thread.Resume(); // running, not suspended: remembered
    thread.Resumed.SetEvent();
    thread.WaitFor();
    EXPECT_TRUE(thread.PastSuspend.load());
}

TEST(Thread, SynchronizeRunsOnTheMainThread)
{
    class TAsker : public TThread
    {
    public:
        TAsker() : TThread(true) {}
        std::atomic<uint32_t> RanOn{0};

    protected:
        void Execute() override
        {
            Synchronize([this] { RanOn = GetCurrentThreadId(); });
        }
    };
    // Without a user-interface loop the call runs in place.
    const std::function<void()> previous = TThread::WakeMainThread;
    TThread::WakeMainThread = nullptr;
    {
        TAsker thread;
        thread.Start();
        thread.WaitFor();
        EXPECT_NE(thread.RanOn.load(), MainThreadID);
    }
    // With one, it is queued and runs on the main thread, here while WaitFor waits.
    std::atomic<int> wakes{0};
    TThread::WakeMainThread = [&] { ++wakes; };
    TAsker thread;
    thread.Start();
    thread.WaitFor();
    TThread::WakeMainThread = previous;
    EXPECT_EQ(thread.RanOn.load(), MainThreadID);
    EXPECT_EQ(wakes.load(), 1);
}

TEST(Thread, FreeingAThreadThatWaitsInSynchronizeDoesNotHang)
{
    class TBusy : public TThread
    {
    public:
        TBusy() : TThread(true) {}
        std::atomic<int> Calls{0};

    protected:
        void Execute() override
        {
            while (!Terminated()) {
                Synchronize([this] { ++Calls; });
            }
        }
    };
    const std::function<void()> previous = TThread::WakeMainThread;
    TThread::WakeMainThread = [] {};
    auto* thread = new TBusy;
    thread->Start();
    while (thread->ThreadID() == 0) {
        Sleep(1);
    }
    thread->Free(); // the main thread serves the pending call while it waits
    TThread::WakeMainThread = previous;
}

TEST(Thread, SynchronizedExceptionsReachTheCaller)
{
    class TFailing : public TThread
    {
    public:
        TFailing() : TThread(true) {}
        std::atomic<bool> Caught{false};

    protected:
        void Execute() override
        {
            try {
                Synchronize([] { throw EConvertError("bad"); });
            } catch (const EConvertError&) {
                Caught = true;
            }
        }
    };
    const std::function<void()> previous = TThread::WakeMainThread;
    TThread::WakeMainThread = [] {};
    TFailing thread;
    thread.Start();
    thread.WaitFor();
    TThread::WakeMainThread = previous;
    EXPECT_TRUE(thread.Caught.load());
}

TEST(Event, TimeoutsAndResetModes)
{
    TEvent manual(true, false);
    uint32_t start = GetTickCount();
    EXPECT_EQ(manual.WaitFor(30), wrTimeout);
    EXPECT_GE(GetTickCount() - start, 25u);
    manual.SetEvent();
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), wrSignaled); // stays set
    manual.ResetEvent();
    EXPECT_EQ(manual.WaitFor(0), wrTimeout);

    TEvent automatic(false, true);
    EXPECT_EQ(automatic.WaitFor(0), wrSignaled);
    EXPECT_EQ(automatic.WaitFor(10), wrTimeout); // reset by the first waiter

    std::thread setter([&] {
        Sleep(20);
        automatic.SetEvent();
    });
    EXPECT_EQ(automatic.WaitFor(INFINITE), wrSignaled);
    setter.join();
}

TEST(CriticalSection, IsReentrantAndExcludesOthers)
{
    TCriticalSection section;
    section.Enter();
    EXPECT_TRUE(section.TryEnter()); // the same thread again
    section.Leave();
    std::atomic<bool> otherGotIt{true};
    std::thread other([&] { otherGotIt = section.TryEnter(); });
    other.join();
    EXPECT_FALSE(otherGotIt.load());
    section.Leave();

    int total = 0;
    auto add = [&] {
        for (int i = 0; i < 10000; ++i) {
            TCriticalSectionLock lock(section);
            ++total;
        }
    };
    std::thread a(add), b(add);
    a.join();
    b.join();
    EXPECT_EQ(total, 20000);
}

TEST(Clock, TickCountAdvancesAndThreadIdsDiffer)
{
    uint32_t start = GetTickCount();
    Sleep(15);
    EXPECT_GE(GetTickCount() - start, 10u);
    EXPECT_EQ(GetCurrentThreadId(), MainThreadID);
    std::set<uint32_t> ids;
    std::thread t([&] { ids.insert(GetCurrentThreadId()); });
    t.join();
    ids.insert(GetCurrentThreadId());
    EXPECT_EQ(ids.size(), 2u);
}

TEST(Random, SeededSequencesRepeatAndStayInRange)
{
    RandSeed = 12345;
    int32_t first[5];
    for (int32_t& value : first) {
        value = Random(100);
        EXPECT_GE(value, 0);
        EXPECT_LT(value, 100);
    }
    RandSeed = 12345;
    for (int32_t value : first) {
        EXPECT_EQ(Random(100), value);
    }
    EXPECT_EQ(Random(0), 0);
    EXPECT_EQ(Random(-5), 0);
    for (int i = 0; i < 1000; ++i) {
        double x = Random();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
    }
    Randomize();
    uint32_t seeded = RandSeed;
    Sleep(2);
    Randomize();
    EXPECT_NE(RandSeed, seeded);
}

} // namespace
