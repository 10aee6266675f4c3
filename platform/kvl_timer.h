// Periodic timers: the abstract KVLTimer and KVLTimerThread, which calls back on a
// thread of its own.
//
// KVLTimerThread keeps absolute deadlines: call k is due at start + k * period, so
// late wake-ups and the callback's own run time do not add up over a long show. A
// late timer catches up by calling back at once for each period it missed; after a
// stall of more than a second (a suspended machine, a debugger) it gives up the
// missed calls and counts from the present again, instead of delivering a burst.
// Calls never come before their deadline and never overlap.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

// The function a timer calls every period: (argument, context) from Setup.
using KVLTimerCallback = void (*)(int32_t argument, void* context);

class KVLTimer {
public:
    KVLTimer() = default;
    KVLTimer(const KVLTimer&) = delete;
    KVLTimer& operator=(const KVLTimer&) = delete;
    virtual ~KVLTimer() = default;

    // Disarms the timer, then stores the values for the next Start.
    virtual void Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback,
                       void* context) = 0;
    // Disarms, then arms a periodic call when a callback is set and the period is
    // positive; otherwise nothing ticks.
    virtual void Start() = 0;
    // Disarms. Once it returns no new call starts. Doing nothing when idle.
    virtual void Stop() = 0;
};

// The deadlines of a periodic timer, the same for every timer that keeps them (on a
// thread of its own, or stepped by the page's main loop): call k is due at start +
// k * period; after a call, a lag of more than a second gives up the missed calls and
// the next deadline is the present.
class KVLTimerSchedule {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kMaxLag{1};

    void Start(Clock::time_point now, std::chrono::milliseconds period) {
        m_period = period;
        m_deadline = now + period;
    }
    Clock::time_point Deadline() const { return m_deadline; }
    // After the call due at Deadline(), made when the clock said now.
    void Advance(Clock::time_point now) {
        m_deadline += m_period;
        if (now - m_deadline > kMaxLag) {
            m_deadline = now;
        }
    }

private:
    std::chrono::milliseconds m_period{0};
    Clock::time_point m_deadline;
};

class KVLTimerThread : public KVLTimer {
public:
    KVLTimerThread() = default;
    ~KVLTimerThread() override;

    void Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback,
               void* context) override;
    void Start() override;
    // From another thread: waits for a call in progress to return. From the timer's
    // own callback: ends the ticking once that callback returns, without waiting. The
    // timer must not be destroyed from its own callback.
    void Stop() override;

    // True between Start and Stop while calls are being made.
    bool IsArmed() const;

private:
    struct Run;
    static void Loop(std::shared_ptr<Run> run);

    int32_t m_period = 0;
    int32_t m_argument = 0;
    KVLTimerCallback m_callback = nullptr;
    void* m_context = nullptr;
    // State of the armed period, shared with its thread; the thread itself never
    // touches the timer object.
    std::shared_ptr<Run> m_run;
    std::thread m_thread;
};
