// KVLTimerThread: arming rules, stopping, and a measurement of period and drift.
// Timing is printed; the only timed checks are against gross failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/kvl_timer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<int32_t> lastArgument{0};
};

void CountTick(int32_t argument, void* context) {
    auto* c = static_cast<Counter*>(context);
    c->lastArgument.store(argument);
    c->calls.fetch_add(1);
}

void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls for up to five seconds; only a broken timer takes that long.
bool WaitFor(const std::atomic<int>& calls, int atLeast) {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
    while (calls.load() < atLeast && Clock::now() < end) {
        Wait(1);
    }
    return calls.load() >= atLeast;
}

TEST(TimerThread, ArmsOnlyWithCallbackAndPeriod) {
    Counter c;
    KVLTimerThread timer;
    timer.Stop();  // never started: nothing happens
    timer.Start();  // no callback yet
    EXPECT_FALSE(timer.IsArmed());
    timer.Setup(0, 0, &CountTick, &c);
    timer.Start();
    EXPECT_FALSE(timer.IsArmed());
    timer.Setup(-3, 0, &CountTick, &c);
    timer.Start();
    EXPECT_FALSE(timer.IsArmed());
    Wait(30);
    EXPECT_EQ(c.calls.load(), 0);

    timer.Setup(2, 77, &CountTick, &c);
    EXPECT_FALSE(timer.IsArmed());  // Setup alone arms nothing
    timer.Start();
    EXPECT_TRUE(timer.IsArmed());
    ASSERT_TRUE(WaitFor(c.calls, 3));
    EXPECT_EQ(c.lastArgument.load(), 77);
}

TEST(TimerThread, NoCallAfterStopOrSetup) {
    Counter c;
    KVLTimerThread timer;
    timer.Setup(1, 0, &CountTick, &c);
    timer.Start();
    ASSERT_TRUE(WaitFor(c.calls, 5));
    timer.Stop();
    EXPECT_FALSE(timer.IsArmed());
    int after = c.calls.load();
    Wait(40);
    EXPECT_EQ(c.calls.load(), after);

    timer.Start();  // the stored values are kept: it ticks again
    ASSERT_TRUE(WaitFor(c.calls, after + 5));
    timer.Setup(1, 0, &CountTick, &c);  // Setup disarms
    after = c.calls.load();
    Wait(40);
    EXPECT_EQ(c.calls.load(), after);
}

struct SelfStopper {
    KVLTimerThread* timer = nullptr;
    std::atomic<int> calls{0};
};

void StopOnThird(int32_t, void* context) {
    auto* s = static_cast<SelfStopper*>(context);
    if (s->calls.fetch_add(1) + 1 == 3) {
        s->timer->Stop();
    }
}

TEST(TimerThread, StopFromItsOwnCallback) {
    SelfStopper s;
    KVLTimerThread timer;
    s.timer = &timer;
    timer.Setup(1, 0, &StopOnThird, &s);
    timer.Start();
    ASSERT_TRUE(WaitFor(s.calls, 3));
    Wait(40);
    EXPECT_EQ(s.calls.load(), 3);
    EXPECT_FALSE(timer.IsArmed());
}

// Records the time of every call.
struct Recorder {
    std::vector<Clock::time_point> times;
    std::atomic<int> calls{0};
};

void Record(int32_t, void* context) {
    auto* r = static_cast<Recorder*>(context);
    const int i = r->calls.load();
    if (static_cast<size_t>(i) < r->times.size()) {
        r->times[static_cast<size_t>(i)] = Clock::now();
    }
    r->calls.store(i + 1);
}

// The demo's period, over three seconds: prints mean and extreme intervals, lateness
// against the ideal deadlines and the drift at the end.
TEST(TimerThread, PeriodAndDrift) {
    constexpr int kPeriodMs = 14;
    constexpr int kRunMs = 3000;
    Recorder r;
    r.times.resize(kRunMs / kPeriodMs + 64);
    KVLTimerThread timer;
    timer.Setup(kPeriodMs, 0, &Record, &r);
    const Clock::time_point start = Clock::now();
    timer.Start();
    Wait(kRunMs);
    timer.Stop();
    const Clock::time_point stop = Clock::now();
    const int n = std::min(r.calls.load(), static_cast<int>(r.times.size()));

    const double elapsedMs = std::chrono::duration<double, std::milli>(stop - start).count();
    const int expected = static_cast<int>(elapsedMs / kPeriodMs);
    ASSERT_GE(n, 2);
    double minGap = 1e9;
    double maxGap = 0;
    double maxLate = 0;
    double sumLate = 0;
    int early = 0;
    for (int k = 0; k < n; ++k) {
        // Call k (0-based) is due one period after the previous deadline, the first one
        // period after Start; start was read before Start, so no call may precede it.
        const Clock::time_point due = start + std::chrono::milliseconds(kPeriodMs * (k + 1));
        const double late = std::chrono::duration<double, std::milli>(r.times[k] - due).count();
        if (late < 0) {
            ++early;
        }
        maxLate = std::max(maxLate, late);
        sumLate += late;
        if (k > 0) {
            const double gap =
                std::chrono::duration<double, std::milli>(r.times[k] - r.times[k - 1]).count();
            minGap = std::min(minGap, gap);
            maxGap = std::max(maxGap, gap);
        }
    }
    const double span = std::chrono::duration<double, std::milli>(r.times[n - 1] - r.times[0]).count();
    const double meanGap = span / (n - 1);
    const double drift = span - static_cast<double>(kPeriodMs) * (n - 1);
    std::printf("timer %d ms over %.0f ms: %d calls (%d whole periods elapsed)\n", kPeriodMs,
                elapsedMs, n, expected);
    std::printf("  interval mean %.4f ms, min %.3f ms, max %.3f ms\n", meanGap, minGap, maxGap);
    std::printf("  lateness against ideal deadlines: mean %.3f ms, max %.3f ms\n", sumLate / n,
                maxLate);
    std::printf("  drift over %d periods: %+.3f ms\n", n - 1, drift);

    EXPECT_EQ(early, 0) << "calls came before their deadline";
    // Gross failure only: a timer that loses half its ticks or adds ticks.
    EXPECT_GE(n, expected / 2);
    EXPECT_LE(n, expected + 1);
}

}  // namespace
