// ZRNShowStepper: ticks and frame steps at the fixed step rate.
#include "show/zrn_showstepper.h"

bool ZRNShowStepper::Step(bool draw) {
    if (!m_controller->IsRunning()) {
        return false;
    }
    const int64_t tick = ZRNShowTime::TickOfStep(m_next);
    while (m_controller->GetTickCount() < tick) {
        ZRNShowController::OnTick(0, m_controller);
    }
    m_controller->FrameStep(draw);
    ++m_next;
    m_drawn += draw ? 1 : 0;
    return true;
}

bool ZRNShowStepper::Brings(Music* music, Follow follow, int64_t step) const {
    if (music == nullptr) {
        return true;
    }
    const ZRNShowScene* scene = m_controller->GetCurrentScene();
    if (follow == Follow::ShownMusic && (scene == nullptr || !scene->ShowsMusic())) {
        return true;
    }
    return music->BringTo(step);
}

bool ZRNShowStepper::StepToShot(int64_t target, Music* music, Follow follow) {
    const ZRNShowTimeline& timeline = m_controller->GetTimeline();
    return RunTo(
        target, [&](int64_t s) { return timeline.IsShotStep(s, target); },
        [&](int64_t s) { return Brings(music, follow, s); });
}

bool ZRNShowStepper::StepToPicture(int64_t target, Music* music, Follow follow) {
    const ZRNShowTimeline& timeline = m_controller->GetTimeline();
    return RunTo(
        target, [&](int64_t s) { return s == target || timeline.IsKeptStep(s, timeline.GetEndTick()); },
        [&](int64_t s) { return Brings(music, follow, s); });
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
