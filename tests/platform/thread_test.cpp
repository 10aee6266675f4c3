// KVLThreadStd: suspended creation, the worker's begin/loop/end protocol, stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/kvl_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the callbacks return and how often they ran.
struct Worker {
    bool beginResult = true;
    int loopCallsBeforeFalse = -1;  // -1: the loop never returns false by itself
    bool endResult = true;
    std::atomic<int> begins{0};
    std::atomic<int> loops{0};
    std::atomic<int> ends{0};
    std::atomic<int32_t> argument{0};
    KVLThread* stopFromLoopAt = nullptr;  // Stop called from the loop's third call
};

bool Begin(int32_t argument, void* context) {
    auto* w = static_cast<Worker*>(context);
    w->argument.store(argument);
    w->begins.fetch_add(1);
    return w->beginResult;
}

bool Loop(int32_t, void* context) {
    auto* w = static_cast<Worker*>(context);
    const int n = w->loops.fetch_add(1) + 1;
    if (w->stopFromLoopAt != nullptr && n == 3) {
        EXPECT_TRUE(w->stopFromLoopAt->Stop());
        return true;
    }
    if (w->loopCallsBeforeFalse < 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return true;
    }
    return n < w->loopCallsBeforeFalse;
}

bool End(int32_t, void* context) {
    auto* w = static_cast<Worker*>(context);
    w->ends.fetch_add(1);
    return w->endResult;
}

// Polls for up to five seconds; only a broken worker takes that long.
template <class Pred>
bool WaitUntil(Pred pred) {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
    while (!pred() && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return pred();
}

TEST(ThreadStd, WorkerProtocol) {
    struct Case {
        const char* name;
        bool withBegin, withLoop, withEnd;
        bool beginResult;
        int loopCallsBeforeFalse;
        bool endResult;
        int begins, loops, ends;
        int32_t exitCode;
        bool runningAfter;
    };
    const std::vector<Case> cases = {
        {"loop false at once", true, true, true, true, 1, true, 1, 1, 1, 0, false},
        {"loop false after five calls", true, true, true, true, 5, true, 1, 5, 1, 0, false},
        {"begin false skips the loop", true, true, true, false, 5, true, 1, 0, 1, 0, false},
        {"end false gives exit code -1", true, true, true, true, 2, false, 1, 2, 1, -1, false},
        {"no loop: finishes, running stays set", true, false, true, true, 0, true, 1, 0, 1, 0, true},
        {"loop only", false, true, false, true, 3, true, 0, 3, 0, 0, false},
        {"no callbacks at all", false, false, false, true, 0, true, 0, 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Worker w;
        w.beginResult = c.beginResult;
        w.loopCallsBeforeFalse = c.loopCallsBeforeFalse;
        w.endResult = c.endResult;
        KVLThreadStd t;
        ASSERT_TRUE(t.Create(42, c.withBegin ? &Begin : nullptr, c.withLoop ? &Loop : nullptr,
                             c.withEnd ? &End : nullptr, &w));
        t.Start();
        ASSERT_TRUE(WaitUntil([&] { return t.IsFinished(); }));
        EXPECT_EQ(w.begins.load(), c.begins);
        EXPECT_EQ(w.loops.load(), c.loops);
        EXPECT_EQ(w.ends.load(), c.ends);
        EXPECT_EQ(t.GetExitCode(), c.exitCode);
        EXPECT_EQ(t.IsRunning(), c.runningAfter);
        if (c.withBegin) {
            EXPECT_EQ(w.argument.load(), 42);
        }
        EXPECT_TRUE(t.Stop());
        EXPECT_TRUE(t.IsFinished());
    }
}

TEST(ThreadStd, CreatedSuspendedUntilStart) {
    Worker w;
    w.loopCallsBeforeFalse = 1;
    KVLThreadStd t;
    EXPECT_TRUE(t.IsFinished());
    ASSERT_TRUE(t.Create(0, &Begin, &Loop, &End, &w));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(w.begins.load(), 0);
    EXPECT_TRUE(t.IsFinished());
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.Stop());  // never started: returns at once, still nothing ran
    EXPECT_EQ(w.begins.load(), 0);
    t.Start();
    ASSERT_TRUE(WaitUntil([&] { return t.IsFinished(); }));
    EXPECT_EQ(w.begins.load(), 1);
    EXPECT_EQ(w.ends.load(), 1);
    t.Start();  // once per Create: nothing runs again
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(w.begins.load(), 1);
    EXPECT_TRUE(t.IsFinished());
}

TEST(ThreadStd, DestroyedWithoutStartRunsNothing) {
    Worker w;
    {
        KVLThreadStd t;
        ASSERT_TRUE(t.Create(0, &Begin, &Loop, &End, &w));
    }
    EXPECT_EQ(w.begins.load() + w.loops.load() + w.ends.load(), 0);
}

TEST(ThreadStd, StartOrStopWithoutCreate) {
    KVLThreadStd t;
    t.Start();
    EXPECT_TRUE(t.IsFinished());
    EXPECT_TRUE(t.Stop());
}

TEST(ThreadStd, StopEndsARunningLoop) {
    Worker w;
    KVLThreadStd t;
    ASSERT_TRUE(t.Create(0, &Begin, &Loop, &End, &w));
    t.Start();
    ASSERT_TRUE(WaitUntil([&] { return w.loops.load() > 3; }));
    EXPECT_TRUE(t.IsRunning());
    EXPECT_FALSE(t.IsFinished());
    EXPECT_TRUE(t.Stop());
    EXPECT_TRUE(t.IsFinished());
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(w.ends.load(), 1);
    const int loops = w.loops.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(w.loops.load(), loops);
}

TEST(ThreadStd, StopFromTheWorkerDoesNotWaitForItself) {
    Worker w;
    KVLThreadStd t;
    w.stopFromLoopAt = &t;
    ASSERT_TRUE(t.Create(0, &Begin, &Loop, &End, &w));
    t.Start();
    ASSERT_TRUE(WaitUntil([&] { return t.IsFinished(); }));
    EXPECT_EQ(w.loops.load(), 3);
    EXPECT_EQ(w.ends.load(), 1);
}

TEST(ThreadStd, DestructorStopsARunningWorker) {
    Worker w;
    {
        KVLThreadStd t;
        ASSERT_TRUE(t.Create(0, &Begin, &Loop, &End, &w));
        t.Start();
        ASSERT_TRUE(WaitUntil([&] { return w.loops.load() > 0; }));
    }
    EXPECT_EQ(w.ends.load(), 1);
}

TEST(ThreadStd, CreateAgainEndsThePreviousWorker) {
    Worker first;
    Worker second;
    second.loopCallsBeforeFalse = 2;
    KVLThreadStd t;
    ASSERT_TRUE(t.Create(1, &Begin, &Loop, &End, &first));
    t.Start();
    ASSERT_TRUE(WaitUntil([&] { return first.loops.load() > 0; }));
    ASSERT_TRUE(t.Create(2, &Begin, &Loop, &End, &second));
    EXPECT_EQ(first.ends.load(), 1);
    EXPECT_EQ(second.begins.load(), 0);  // the new worker waits for Start
    t.Start();
    ASSERT_TRUE(WaitUntil([&] { return t.IsFinished(); }));
    EXPECT_EQ(second.loops.load(), 2);
    EXPECT_EQ(second.argument.load(), 2);
}

}  // namespace
