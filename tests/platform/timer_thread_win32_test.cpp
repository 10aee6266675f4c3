// KVLTimerMM and KVLThreadWin32 on the system's own timer and threads: ticks arrive
// with their argument and context, Stop ends them and waits for a call in progress,
// the restart and no-callback rules; the worker's suspended creation, its callback
// order, the stop rules and its exit code.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/kvl_thread_win32.h"
#include "platform/win32/kvl_timer_mm.h"

namespace {

using Clock = std::chrono::steady_clock;

// Waits (up to a generous limit that only a broken timer reaches) until pred holds.
template <typename Pred>
bool WaitFor(Pred pred, int limitMs = 5000) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (Clock::now() > end) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

struct TickLog {
    std::atomic<int> ticks{0};
    std::atomic<int> badArgument{0};
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    int sleepMs = 0;
    KVLTimer* stopFromCallback = nullptr;
};

void OnTick(int32_t argument, void* context) {
    TickLog* log = static_cast<TickLog*>(context);
    if (log->running.fetch_add(1) != 0) {
        log->overlaps.fetch_add(1);
    }
    if (argument != 77) {
        log->badArgument.fetch_add(1);
    }
    if (log->sleepMs > 0) {
        Sleep(static_cast<DWORD>(log->sleepMs));
    }
    if (log->stopFromCallback != nullptr) {
        log->stopFromCallback->Stop();
    }
    log->ticks.fetch_add(1);
    log->running.fetch_sub(1);
}

TEST(TimerMM, TicksWithArgumentAndContextUntilStopped) {
    TickLog log;
    KVLTimerMM timer;
    timer.Setup(14, 77, &OnTick, &log);
    EXPECT_FALSE(timer.IsArmed());  // Setup alone arms nothing
    Sleep(50);
    EXPECT_EQ(log.ticks.load(), 0);
    const Clock::time_point start = Clock::now();
    timer.Start();
    ASSERT_TRUE(timer.IsArmed());
    ASSERT_TRUE(WaitFor([&] { return log.ticks.load() >= 40; }));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    timer.Stop();
    EXPECT_FALSE(timer.IsArmed());
    const int atStop = log.ticks.load();
    std::printf("[   info   ] %d ticks of 14 ms in %.3f s: %.2f ms per tick\n", atStop, seconds,
                seconds * 1000.0 / atStop);
    Sleep(100);
    EXPECT_EQ(log.ticks.load(), atStop);
    EXPECT_EQ(log.badArgument.load(), 0);
    EXPECT_EQ(log.overlaps.load(), 0);
}

TEST(TimerMM, StopWaitsForTheCallInProgress) {
    TickLog log;
    log.sleepMs = 60;
    {
        KVLTimerMM timer;
        timer.Setup(5, 77, &OnTick, &log);
        timer.Start();
        ASSERT_TRUE(WaitFor([&] { return log.running.load() == 1; }));
        timer.Stop();
        // The call that was running has returned, and no other follows.
        EXPECT_EQ(log.running.load(), 0);
        const int atStop = log.ticks.load();
        EXPECT_GE(atStop, 1);
        Sleep(150);
        EXPECT_EQ(log.ticks.load(), atStop);
    }
    // The same through the destructor: the context can go right after it.
    TickLog* heapLog = new TickLog;
    heapLog->sleepMs = 40;
    {
        KVLTimerMM timer;
        timer.Setup(5, 77, &OnTick, heapLog);
        timer.Start();
        ASSERT_TRUE(WaitFor([&] { return heapLog->running.load() == 1; }));
    }
    EXPECT_EQ(heapLog->running.load(), 0);
    delete heapLog;
}

TEST(TimerMM, StopFromTheCallbackEndsTheTicking) {
    TickLog log;
    KVLTimerMM timer;
    log.stopFromCallback = &timer;
    timer.Setup(5, 77, &OnTick, &log);
    timer.Start();
    ASSERT_TRUE(WaitFor([&] { return log.ticks.load() >= 1; }));
    Sleep(100);
    EXPECT_EQ(log.ticks.load(), 1);
    EXPECT_FALSE(timer.IsArmed());
}

TEST(TimerMM, IdleRules) {
    KVLTimerMM never;
    never.Stop();  // never started: nothing to do
    EXPECT_FALSE(never.IsArmed());
    never.Start();  // no callback: nothing armed
    EXPECT_FALSE(never.IsArmed());

    TickLog log;
    KVLTimerMM timer;
    timer.Setup(0, 77, &OnTick, &log);
    timer.Start();  // no period: nothing armed
    EXPECT_FALSE(timer.IsArmed());

    // Start and Setup disarm first: a restarted timer runs one event, not two.
    timer.Setup(10, 77, &OnTick, &log);
    timer.Start();
    timer.Start();
    ASSERT_TRUE(WaitFor([&] { return log.ticks.load() >= 20; }));
    timer.Setup(10, 77, &OnTick, &log);
    EXPECT_FALSE(timer.IsArmed());
    const int atSetup = log.ticks.load();
    Sleep(60);
    EXPECT_EQ(log.ticks.load(), atSetup);
    EXPECT_EQ(log.overlaps.load(), 0);
}

// ---------------------------------------------------------------------------

struct Worker {
    std::vector<std::string> calls;  // written by the worker only while it runs
    std::atomic<int> loops{0};
    int loopLimit = -1;   // loop returns false on this call (1-based); -1 never
    bool beginResult = true;
    bool endResult = true;
    std::atomic<bool> beginSeen{false};
    std::atomic<DWORD> workerThread{0};
    KVLThread* stopFromLoop = nullptr;
};

bool Begin(int32_t argument, void* context) {
    Worker* w = static_cast<Worker*>(context);
    w->workerThread.store(GetCurrentThreadId());
    w->calls.push_back("begin " + std::to_string(argument));
    w->beginSeen.store(true);
    return w->beginResult;
}

bool Loop(int32_t, void* context) {
    Worker* w = static_cast<Worker*>(context);
    const int n = w->loops.fetch_add(1) + 1;
    if (n <= 2) {
        w->calls.push_back("loop");
    }
    if (w->stopFromLoop != nullptr && n == 3) {
        w->stopFromLoop->Stop();
        return true;
    }
    Sleep(1);
    return n != w->loopLimit;
}

bool End(int32_t, void* context) {
    Worker* w = static_cast<Worker*>(context);
    w->calls.push_back("end");
    return w->endResult;
}

DWORD ExitCodeOf(KVLThreadWin32& thread) {
    HANDLE h = static_cast<HANDLE>(thread.GetHandle());
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    DWORD code = 12345;
    GetExitCodeThread(h, &code);
    return code;
}

TEST(ThreadWin32, CreatedSuspendedAtNormalPriorityAndRunsOnStart) {
    Worker w;
    KVLThreadWin32 thread;
    EXPECT_TRUE(thread.IsFinished());
    ASSERT_TRUE(thread.Create(5, &Begin, &Loop, &End, &w));
    ASSERT_NE(thread.GetHandle(), nullptr);
    EXPECT_EQ(GetThreadPriority(static_cast<HANDLE>(thread.GetHandle())), THREAD_PRIORITY_NORMAL);
    Sleep(50);
    EXPECT_FALSE(w.beginSeen.load());  // suspended: nothing ran
    EXPECT_TRUE(thread.IsFinished());
    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    ASSERT_TRUE(WaitFor([&] { return w.loops.load() >= 5; }));
    EXPECT_FALSE(thread.IsFinished());
    EXPECT_TRUE(thread.Stop());
    EXPECT_TRUE(thread.IsFinished());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_NE(w.workerThread.load(), GetCurrentThreadId());
    EXPECT_EQ(w.calls, (std::vector<std::string>{"begin 5", "loop", "loop", "end"}));
    EXPECT_EQ(ExitCodeOf(thread), 0u);
    EXPECT_TRUE(thread.Stop());  // finished already: at once
}

TEST(ThreadWin32, CallbackRules) {
    struct Case {
        const char* name;
        bool withLoop;
        int loopLimit;
        bool beginResult;
        bool endResult;
        std::vector<std::string> calls;
        int loops;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"loop false on first call", true, 1, true, true, {"begin 9", "loop", "end"}, 1, 0},
        {"loop false on third call", true, 3, true, false, {"begin 9", "loop", "loop", "end"}, 3, static_cast<DWORD>(-1)},
        {"begin false skips the loop", true, -1, false, true, {"begin 9", "end"}, 0, 0},
        {"no loop callback", false, -1, true, true, {"begin 9", "end"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Worker w;
        w.loopLimit = c.loopLimit;
        w.beginResult = c.beginResult;
        w.endResult = c.endResult;
        KVLThreadWin32 thread;
        ASSERT_TRUE(thread.Create(9, &Begin, c.withLoop ? &Loop : nullptr, &End, &w));
        thread.Start();
        // Ends by itself: finished without anyone calling Stop.
        ASSERT_TRUE(WaitFor([&] { return thread.IsFinished(); }));
        EXPECT_EQ(w.calls, c.calls);
        EXPECT_EQ(w.loops.load(), c.loops);
        EXPECT_EQ(thread.GetExitCode(), static_cast<int32_t>(c.exitCode));
        EXPECT_EQ(ExitCodeOf(thread), c.exitCode);
        EXPECT_TRUE(thread.Stop());
    }
}

TEST(ThreadWin32, StopFromTheLoopEndsAfterThatCall) {
    Worker w;
    KVLThreadWin32 thread;
    w.stopFromLoop = &thread;
    ASSERT_TRUE(thread.Create(1, &Begin, &Loop, &End, &w));
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return thread.IsFinished(); }));
    EXPECT_EQ(w.loops.load(), 3);
    EXPECT_EQ(w.calls.back(), "end");
}

TEST(ThreadWin32, NeverStartedWorkerRunsNothingAndGoesAway) {
    Worker w;
    HANDLE first = nullptr;
    HANDLE second = nullptr;
    {
        KVLThreadWin32 thread;
        ASSERT_TRUE(thread.Create(1, &Begin, &Loop, &End, &w));
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(thread.GetHandle()), GetCurrentProcess(),
                                    &first, SYNCHRONIZE, FALSE, 0));
        EXPECT_TRUE(thread.Stop());  // finished since construction: at once
        // Created again: the first thread is let go without running.
        ASSERT_TRUE(thread.Create(2, &Begin, &Loop, &End, &w));
        EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(thread.GetHandle()), GetCurrentProcess(),
                                    &second, SYNCHRONIZE, FALSE, 0));
        EXPECT_EQ(WaitForSingleObject(second, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // suspended, alive
    }
    EXPECT_TRUE(w.calls.empty());
    // Both system threads have ended, none is left suspended.
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    CloseHandle(first);
    CloseHandle(second);
}

TEST(ThreadWin32, StartWithoutCreateDoesNothing) {
    KVLThreadWin32 thread;
    thread.Start();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.IsFinished());
    EXPECT_TRUE(thread.Stop());
}

}  // namespace
