// KVLTimerWeb: the periodic timer of the page, called back from the main loop (see
// kvl_mainloop_web.h) instead of a thread of its own. It keeps KVLTimerThread's
// deadlines (KVLTimerSchedule): a late step makes every call that has fallen due, in
// order, and after a lag of more than a second (a hidden tab, whose frames the
// browser stops) the missed calls are given up.
//
// Limit: calls come only as often as the page's frames do (60 a second on most
// screens), several at a time for a short period; a callback sees the same times as
// with a thread, never earlier than its deadline.
#pragma once

#include "platform/kvl_timer.h"
#include "platform/web/kvl_mainloop_web.h"

class KVLTimerWeb : public KVLTimer, public KVLWebStepper {
public:
    KVLTimerWeb() = default;
    ~KVLTimerWeb() override;

    void Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback,
               void* context) override;
    void Start() override;
    // Also from the timer's own callback: no further call is made.
    void Stop() override;
    void Step() override;

    bool IsArmed() const { return m_armed; }

private:
    int32_t m_period = 0;
    int32_t m_argument = 0;
    KVLTimerCallback m_callback = nullptr;
    void* m_context = nullptr;
    bool m_armed = false;
    KVLTimerSchedule m_schedule;
};
