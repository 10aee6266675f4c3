// KVLTimerWeb: deadlines checked once per pass of the page's main loop.
#include "platform/web/kvl_timer_web.h"

namespace {

// Beyond this lag the missed calls are dropped rather than delivered in a burst.
constexpr std::chrono::seconds kMaxLag{1};

}  // namespace

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
    m_deadline = Clock::now() + std::chrono::milliseconds(m_period);
    KVLWebAddStepper(this);
}

void KVLTimerWeb::Stop() {
    m_armed = false;
    KVLWebRemoveStepper(this);
}

void KVLTimerWeb::Step() {
    const Clock::time_point now = Clock::now();
    if (now - m_deadline > kMaxLag) {
        m_deadline = now;
    }
    while (m_armed && now >= m_deadline) {
        m_callback(m_argument, m_context);
        m_deadline += std::chrono::milliseconds(m_period);
    }
}
