// ZRNShowTimeline: the switch ticks of a show and the rules of the step clock that
// depend on them (which steps a shot or a kept picture needs drawn, the pictures of
// a video of the whole show), with the show's time arithmetic (its tick length). A
// value: made from a show's description (ZRNShowDescription::GetTimeline), copied freely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "show/zrn_showtime.h"

// The switch ticks of a show and the step-clock rules that depend on them.
class ZRNShowTimeline {
public:
    ZRNShowTimeline() = default;
    // The ticks at which the scenes are left, rising; the last ends the show.
    explicit ZRNShowTimeline(std::vector<int32_t> switchTicks, ZRNShowTime time = ZRNShowTime())
        : m_switchTicks(std::move(switchTicks)), m_time(time) {}

    const ZRNShowTime& GetTime() const { return m_time; }

    const std::vector<int32_t>& GetSwitchTicks() const { return m_switchTicks; }
    int32_t GetSceneCount() const { return static_cast<int32_t>(m_switchTicks.size()); }
    int32_t GetEndTick() const { return m_switchTicks.empty() ? 0 : m_switchTicks.back(); }
    // The first tick of scene i (0 for the first).
    int32_t GetStartTick(int32_t i) const {
        return i <= 0 || i > GetSceneCount() ? 0 : m_switchTicks[static_cast<size_t>(i - 1)];
    }
    // The step at which the show ends (its last switch tick).
    int64_t EndStep() const;
    // True for the last step before a switch tick at or before 'untilTick' and its
    // lead steps: what a later switch gap or hold keeps on the screen.
    bool IsKeptStep(int64_t step, int64_t untilTick) const;
    // True for the steps that must be drawn for the picture at step 'target' to be right
    // when the show is stepped there without drawing: the target with its lead steps,
    // and the last steps before the latest switch at or before it (a switch gap or a
    // hold after it keeps them on screen, and the renderer keeps state from them: the
    // room leaves its fog set for the tunnel).
    bool IsShotStep(int64_t step, int64_t target) const;
    // The last switch tick at or before 'tick', or -1.
    int64_t LastSwitchAtOrBefore(int64_t tick) const;
    // Pictures of the whole show at fps pictures a second (those shown before its end).
    int64_t VideoPictures(int32_t fps) const;

private:
    std::vector<int32_t> m_switchTicks;
    ZRNShowTime m_time;
};

