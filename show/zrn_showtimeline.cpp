// ZRNShowTimeline: the step clock's rules over a show's switch ticks.
#include "show/zrn_showtimeline.h"

#include "show/zrn_showstepper.h"

namespace {
using T = ZRNShowTime;
using S = ZRNShowStepper;
}  // namespace

int64_t ZRNShowTimeline::EndStep() const { return T::StepOfTick(GetEndTick()); }

int64_t ZRNShowTimeline::VideoPictures(int32_t fps) const { return m_time.FirstPictureAt(GetEndTick(), fps); }

bool ZRNShowTimeline::IsKeptStep(int64_t step, int64_t untilTick) const {
    for (int32_t s : m_switchTicks) {
        if (s > untilTick) {
            break;
        }
        const int64_t last = T::StepOfTick(s) - 1;
        if (step <= last && step >= last - S::kLeadSteps) {
            return true;
        }
    }
    return false;
}

bool ZRNShowTimeline::IsShotStep(int64_t step, int64_t target) const {
    if (step >= target - S::kLeadSteps && step <= target) {
        return true;
    }
    const int64_t lastSwitch = LastSwitchAtOrBefore(T::TickOfStep(target));
    return lastSwitch >= 0 && step < T::StepOfTick(lastSwitch) && step >= T::StepOfTick(lastSwitch) - 1 - S::kLeadSteps;
}

int64_t ZRNShowTimeline::LastSwitchAtOrBefore(int64_t tick) const {
    int64_t found = -1;
    for (int32_t s : m_switchTicks) {
        found = s <= tick ? s : found;
    }
    return found;
}
