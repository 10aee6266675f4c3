// The web backend's stand-ins for threads, stepped by the page's main loop: the worker
// (begin, loop, end in order; stops from the owner and from the loop; Wait) and the
// timer (deadlines, catching up, Stop from the callback, giving up after a long lag).
// They use no browser interface, so they run natively here.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/web/kvl_mainloop_web.h"
#include "platform/web/kvl_thread_web.h"
#include "platform/web/kvl_timer_web.h"

namespace {

struct Trace {
    std::string calls;
    int loopsBeforeFalse = -1;  // the loop returns false on this call (-1: never)
    int loops = 0;
    KVLThread* worker = nullptr;
    int32_t pauseMs = 60000;  // each loop call pauses this long
};

bool Begin(int32_t, void* c) {
    static_cast<Trace*>(c)->calls += 'b';
    return true;
}
bool Loop(int32_t, void* c) {
    auto* t = static_cast<Trace*>(c);
    t->calls += 'l';
    t->worker->Pause(t->pauseMs);
    return ++t->loops != t->loopsBeforeFalse;
}
bool End(int32_t, void* c) {
    static_cast<Trace*>(c)->calls += 'e';
    return true;
}

TEST(SteppedWorker, RunsOneCallPerMainLoopPass) {
    struct Case {
        const char* name;
        int loopsBeforeFalse;
        int passes;
        bool stopAfter;
        const char* expected;
        bool finished;
    };
    const Case cases[] = {
        {"no pass yet", -1, 0, false, "", false},
        {"begin, then loops", -1, 3, false, "bll", false},
        {"loop ends the worker", 2, 5, false, "blle", true},
        {"owner stops it", -1, 2, true, "ble", true},
        {"stopped before any pass", -1, 0, true, "be", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Trace trace;
        trace.loopsBeforeFalse = c.loopsBeforeFalse;
        KVLThreadStepped worker;
        trace.worker = &worker;
        ASSERT_TRUE(worker.Create(0, &Begin, &Loop, &End, &trace));
        KVLWebStepAll();
        EXPECT_EQ(trace.calls, "") << "nothing runs before Start";
        worker.Start();
        for (int i = 0; i < c.passes; ++i) {
            KVLWebStepAll();
        }
        if (c.stopAfter) {
            worker.Stop();
        }
        EXPECT_EQ(trace.calls, c.expected);
        EXPECT_EQ(worker.IsFinished(), c.finished);
        if (c.finished) {
            KVLWebStepAll();
            EXPECT_EQ(trace.calls, c.expected) << "a finished worker is not stepped";
        }
    }
}

// A worker whose pauses are over by the next step catches up, as a thread would have
// gone on meanwhile, but only so far in one step.
TEST(SteppedWorker, CatchesUpAfterItsPausesUpToALimit) {
    Trace trace;
    trace.pauseMs = 0;
    KVLThreadStepped worker;
    trace.worker = &worker;
    worker.Create(0, &Begin, &Loop, &End, &trace);
    worker.Start();
    KVLWebStepAll();
    KVLWebStepAll();
    EXPECT_EQ(trace.calls, "b" + std::string(KVLThreadStepped::kMaxCallsPerStep, 'l'));
}

// Pauses shorter than the time between two steps: the step makes the calls a thread
// would have made meanwhile, each due a pause after the one before (not a pause after
// the late step made it), so slow frames do not slow the worker down.
TEST(SteppedWorker, KeepsItsPaceWhenStepsComeSlowly) {
    Trace trace;
    trace.pauseMs = 20;
    KVLThreadStepped worker;
    trace.worker = &worker;
    worker.Create(0, &Begin, &Loop, &End, &trace);
    worker.Start();
    KVLWebStepAll();  // begin
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    KVLWebStepAll();
    // Due 0, 20, 40, 60 and 80 ms after the begin step (more if the sleep overran).
    EXPECT_GE(trace.calls.size(), 1u + 5u) << trace.calls;
    EXPECT_LE(trace.calls.size(), 1u + KVLThreadStepped::kMaxCallsPerStep) << trace.calls;
    const size_t before = trace.calls.size();
    KVLWebStepAll();
    EXPECT_LE(trace.calls.size(), before + 1) << "a step right after owes at most its one call";
    worker.Stop();
}

TEST(SteppedWorker, OwnerWaitMakesOneStepAndDestructionEndsIt) {
    Trace trace;
    {
        KVLThreadStepped worker;
        trace.worker = &worker;
        worker.Create(0, &Begin, &Loop, &End, &trace);
        worker.Start();
        worker.Wait(1);
        worker.Wait(1);
        EXPECT_EQ(trace.calls, "bl");
    }
    EXPECT_EQ(trace.calls, "ble");
    KVLWebStepAll();  // the destroyed worker is off the list
    EXPECT_EQ(trace.calls, "ble");
}

struct Ticks {
    int calls = 0;
    int stopAt = -1;
    KVLTimerWeb* timer = nullptr;
};

void OnTick(int32_t, void* c) {
    auto* t = static_cast<Ticks*>(c);
    if (++t->calls == t->stopAt) {
        t->timer->Stop();
    }
}

TEST(TimerWeb, MakesTheCallsThatFellDueAndNoMore) {
    using Clock = std::chrono::steady_clock;
    constexpr int kPeriodMs = 5;
    Ticks ticks;
    KVLTimerWeb timer;
    ticks.timer = &timer;
    timer.Setup(kPeriodMs, 0, &OnTick, &ticks);
    const Clock::time_point before = Clock::now();
    timer.Start();
    KVLWebStepAll();
    EXPECT_EQ(ticks.calls, 0) << "no call before the first period";
    std::this_thread::sleep_for(std::chrono::milliseconds(8 * kPeriodMs));
    const auto least = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count() / kPeriodMs;
    KVLWebStepAll();
    const auto most = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count() / kPeriodMs;
    EXPECT_GE(ticks.calls, least - 1);
    EXPECT_LE(ticks.calls, most);

    // Stopped from its own callback: the step makes no further call.
    ticks.calls = 0;
    ticks.stopAt = 2;
    timer.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(6 * kPeriodMs));
    KVLWebStepAll();
    EXPECT_EQ(ticks.calls, 2);
    EXPECT_FALSE(timer.IsArmed());
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * kPeriodMs));
    KVLWebStepAll();
    EXPECT_EQ(ticks.calls, 2);
}

TEST(TimerWeb, GivesUpTheCallsMissedInALongLag) {
    Ticks ticks;
    KVLTimerWeb timer;
    timer.Setup(10, 0, &OnTick, &ticks);
    timer.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    KVLWebStepAll();
    // A burst of about 110 calls would follow a lag within the second; this one gives
    // the call that was due and the one of the present.
    EXPECT_EQ(ticks.calls, 2);
}

}  // namespace
