// KVLTimerMM: the periodic timer on the WinMM multimedia timer.
//
// Start arms a periodic timeSetEvent with the resolution equal to the period; the
// system's timer thread then calls the callback every period, one call at a time. When
// the system refuses the event nothing ticks and nothing is reported.
//
// Stop kills the event. The event is made with TIME_KILL_SYNCHRONOUS, so no call starts
// after timeKillEvent; in addition Stop, from any thread but the timer's own, waits for
// a call that is still running to return. Once Stop (or the destructor) has returned
// from another thread, the callback is neither running nor will it run again, and the
// context may be destroyed. Called from the callback itself, Stop only kills the event
// and returns at once; the timer must not be destroyed from its own callback.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kvl_timer.h"

class KVLTimerMM : public KVLTimer {
public:
    KVLTimerMM() = default;
    ~KVLTimerMM() override;

    void Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback, void* context) override;
    void Start() override;
    void Stop() override;

    // True between a Start that armed an event and the next Stop.
    bool IsArmed() const { return m_eventId.load() != 0; }

private:
    // One period: called by the system's callback with the event it fired for.
    void Fire(unsigned eventId);
    friend class KVLTimerMMTrampoline;

    std::atomic<unsigned> m_eventId{0};
    int32_t m_period = 0;
    int32_t m_argument = 0;
    KVLTimerCallback m_callback = nullptr;
    void* m_context = nullptr;
    // Set by the trampoline around each call, read by Stop; with m_eventId they form
    // the handshake that lets Stop wait for a running call (see Fire).
    std::atomic<bool> m_inCallback{false};
    std::atomic<unsigned long> m_callbackThread{0};
};
