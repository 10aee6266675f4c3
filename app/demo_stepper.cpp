// DemoStepper: ticks and frame steps at the fixed step rate.
#include "app/demo_stepper.h"

bool DemoStepper::IsKeptStep(int64_t step, int64_t untilTick) {
    for (int32_t s : DemoController::kSwitchTicks) {
        if (s > untilTick) {
            break;
        }
        const int64_t last = StepOfTick(s) - 1;
        if (step <= last && step >= last - kLeadSteps) {
            return true;
        }
    }
    return false;
}

bool DemoStepper::IsShotStep(int64_t step, int64_t target) {
    if (step >= target - kLeadSteps && step <= target) {
        return true;
    }
    const int64_t lastSwitch = LastSwitchAtOrBefore(TickOfStep(target));
    return lastSwitch >= 0 && step < StepOfTick(lastSwitch) && step >= StepOfTick(lastSwitch) - 1 - kLeadSteps;
}

int64_t DemoStepper::LastSwitchAtOrBefore(int64_t tick) {
    int64_t found = -1;
    for (int32_t s : DemoController::kSwitchTicks) {
        found = s <= tick ? s : found;
    }
    return found;
}

bool DemoStepper::Step(bool draw) {
    if (!m_controller->IsRunning()) {
        return false;
    }
    const int64_t tick = TickOfStep(m_next);
    while (m_controller->GetTickCount() < tick) {
        DemoController::OnTick(0, m_controller);
    }
    m_controller->FrameStep(draw);
    ++m_next;
    return true;
}

bool DemoStepper::RunTo(int64_t last, const std::function<bool(int64_t)>& draw,
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
