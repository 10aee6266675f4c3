// ZRNShowStepper: ticks and frame steps at the fixed step rate.
#include "show/zrn_showstepper.h"

bool ZRNShowStepper::Step(bool draw) {
    if (!m_controller->IsRunning()) {
        return false;
    }
    const int64_t tick = TickOfStep(m_next);
    while (m_controller->GetTickCount() < tick) {
        ZRNShowController::OnTick(0, m_controller);
    }
    m_controller->FrameStep(draw);
    ++m_next;
    return true;
}

bool ZRNShowStepper::RunTo(int64_t last, const std::function<bool(int64_t)>& draw,
                        const std::function<bool(int64_t)>& beforeDrawn) {
    while (m_next <= last) {
        if (!m_controller->IsRunning()) {
            return false;
        }
        const bool drawn = draw && draw(m_next);
        if (drawn && beforeDrawn && !beforeDrawn(m_next)) {
            return false;
        }
        Step(drawn);
    }
    return true;
}
