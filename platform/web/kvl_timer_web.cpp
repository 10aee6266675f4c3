// KVLTimerWeb: deadlines checked once per pass of the page's main loop.
#include "platform/web/kvl_timer_web.h"

KVLTimerWeb::~KVLTimerWeb() { Stop(); }

void KVLTimerWeb::Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback, void* context) {
    Stop();
    m_period = periodMs;
    m_argument = argument;
    m_callback = callback;
    m_context = context;
}

void KVLTimerWeb::Start() {
    Stop();
    if (m_callback == nullptr || m_period <= 0) {
        return;
    }
    m_armed = true;
    m_schedule.Start(KVLTimerSchedule::Clock::now(), std::chrono::milliseconds(m_period));
    KVLWebAddStepper(this);
}

void KVLTimerWeb::Stop() {
    m_armed = false;
    KVLWebRemoveStepper(this);
}

void KVLTimerWeb::Step() {
    const KVLTimerSchedule::Clock::time_point now = KVLTimerSchedule::Clock::now();
    while (m_armed && now >= m_schedule.Deadline()) {
        m_callback(m_argument, m_context);
        m_schedule.Advance(now);
    }
}
