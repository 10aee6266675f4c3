// Timer accuracy: KVLTimerThread against a peer that sleeps one period after each call
// (relative waits), both at the demo's 14 ms for five seconds in the same process.
// Prints calls, mean interval and accumulated drift of each, and the ratio of the
// peer's drift to the engine timer's.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/kvl_timer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPeriodMs = 14;
constexpr int kRunMs = 5000;

struct Trace {
    std::vector<Clock::time_point> times;
    std::atomic<int> calls{0};
};

void Record(int32_t, void* context) {
    auto* t = static_cast<Trace*>(context);
    const int i = t->calls.load();
    if (static_cast<size_t>(i) < t->times.size()) {
        t->times[static_cast<size_t>(i)] = Clock::now();
        t->calls.store(i + 1);
    }
}

// Accumulated drift: how far the last call is from where n - 1 periods after the
// first one would put it.
double Report(const char* name, const Trace& t) {
    const int n = t.calls.load();
    if (n < 2) {
        std::printf("%-22s %d calls\n", name, n);
        return 0;
    }
    const double span =
        std::chrono::duration<double, std::milli>(t.times[static_cast<size_t>(n - 1)] - t.times[0]).count();
    const double drift = span - static_cast<double>(kPeriodMs) * (n - 1);
    std::printf("%-22s %4d calls, mean interval %.4f ms, drift %+8.3f ms\n", name, n,
                span / (n - 1), drift);
    return drift;
}

}  // namespace

int main() {
    Trace engine;
    Trace peer;
    engine.times.resize(kRunMs / kPeriodMs + 64);
    peer.times.resize(kRunMs / kPeriodMs + 64);

    std::atomic<bool> peerRunning{true};
    std::thread peerThread([&] {
        while (peerRunning.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPeriodMs));
            Record(0, &peer);
        }
    });
    KVLTimerThread timer;
    timer.Setup(kPeriodMs, 0, &Record, &engine);
    timer.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(kRunMs));
    timer.Stop();
    peerRunning.store(false);
    peerThread.join();

    std::printf("period %d ms, %d ms run\n", kPeriodMs, kRunMs);
    const double e = Report("KVLTimerThread", engine);
    const double p = Report("relative sleep (peer)", peer);
    std::printf("drift ratio peer/engine: %.1f\n", std::fabs(p) / std::max(std::fabs(e), 0.001));
    return 0;
}
