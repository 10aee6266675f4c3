// ZRNShowTimeline: the step clock's rules over a show's switch ticks.
#include "show/zrn_showtimeline.h"

#include "show/zrn_showstepper.h"

int64_t ZRNShowTimeline::EndStep() const { return ZRNShowStepper::StepOfTick(GetEndTick()); }

int64_t ZRNShowTimeline::VideoPictures(int32_t fps) const { return ZRNShowStepper::FirstPictureAt(GetEndTick(), fps); }

bool ZRNShowTimeline::IsKeptStep(int64_t step, int64_t untilTick) const {
    using S = ZRNShowStepper;
    for (int32_t s : m_switchTicks) {
        if (s > untilTick) {
            break;
        }
        const int64_t last = S::StepOfTick(s) - 1;
        if (step <= last && step >= last - S::kLeadSteps) {
            return true;
        }
    }
    return false;
}

bool ZRNShowTimeline::IsShotStep(int64_t step, int64_t target) const {
    using S = ZRNShowStepper;
    if (step >= target - S::kLeadSteps && step <= target) {
        return true;
    }
    const int64_t lastSwitch = LastSwitchAtOrBefore(S::TickOfStep(target));
    return lastSwitch >= 0 && step < S::StepOfTick(lastSwitch) && step >= S::StepOfTick(lastSwitch) - 1 - S::kLeadSteps;
}

int64_t ZRNShowTimeline::LastSwitchAtOrBefore(int64_t tick) const {
    int64_t found = -1;
    for (int32_t s : m_switchTicks) {
        found = s <= tick ? s : found;
    }
    return found;
}
