// ZRNShowTime: a show's time arithmetic. Show time is counted in ticks of the show's
// own length (14 ms unless the show says otherwise) and, finer, in the step clock's
// steps: always ten to a tick, whatever its length (see ZRNShowStepper for why). From
// those come the pictures of a stream at some rate and the sound frames at some rate.
// A value, constexpr throughout; every rounding is down unless said otherwise. At more
// pictures a second than steps (fps * tickMs over 10,000) pictures share steps, and a
// stream of them shows such a step's picture again.
//
// Limits: a tick of at least 1 ms; a smaller one is taken as 1 ms (a description's
// Check refuses it with a message before anything runs; this only keeps the divisions
// defined). Counts are 64-bit: a show of a year at 1 ms ticks and 192 kHz stays far
// inside them.
#pragma once

#include <cstdint>

class ZRNShowTime {
public:
    static constexpr int32_t kDefaultTickMs = 14;
    static constexpr int64_t kStepsPerTick = 10;

    constexpr ZRNShowTime() = default;
    constexpr explicit ZRNShowTime(int32_t tickMs) : m_tickMs(tickMs < 1 ? 1 : tickMs) {}

    constexpr int32_t GetTickMs() const { return m_tickMs; }
    // Whole ticks in a span of milliseconds (at least one).
    constexpr int64_t TicksIn(int64_t ms) const { return ms / m_tickMs > 0 ? ms / m_tickMs : 1; }
    constexpr double SecondsOfTick(int64_t tick) const { return static_cast<double>(tick) * m_tickMs / 1000.0; }

    static constexpr int64_t StepOfTick(int64_t tick) { return tick * kStepsPerTick; }
    static constexpr int64_t TickOfStep(int64_t step) { return step / kStepsPerTick; }
    constexpr int64_t GetStepMicroseconds() const { return int64_t{m_tickMs} * 1000 / kStepsPerTick; }
    // The last step at or before a show time in microseconds.
    constexpr int64_t StepAtMicroseconds(int64_t us) const { return us / GetStepMicroseconds(); }

    // The last step at or before k / fps seconds. A rate of none or less has no
    // picture at any step: -1 (the options refuse such rates; this keeps a division
    // by zero out of reach).
    constexpr int64_t StepOfPicture(int64_t k, int32_t fps) const {
        return fps <= 0 ? -1 : k * kStepsPerTick * 1000 / (int64_t{fps} * m_tickMs);
    }
    // True when some picture k at fps pictures per second is shown at this step.
    constexpr bool IsPictureStep(int64_t step, int32_t fps) const {
        if (fps <= 0) {
            return false;
        }
        // The first picture at or after the step's show time.
        const int64_t k = (step * fps * m_tickMs + kStepsPerTick * 1000 - 1) / (kStepsPerTick * 1000);
        return StepOfPicture(k, fps) == step;
    }
    // The first picture at or after a tick, at fps pictures a second (0 at a rate of
    // none or less).
    constexpr int64_t FirstPictureAt(int64_t tick, int32_t fps) const {
        if (fps <= 0) {
            return 0;
        }
        const int64_t step = StepOfTick(tick);
        // The estimate is at most one short of the answer (rounding down in StepOfPicture).
        int64_t k = step * fps * m_tickMs / (kStepsPerTick * 1000);
        while (StepOfPicture(k, fps) < step) {
            ++k;
        }
        while (k > 0 && StepOfPicture(k - 1, fps) >= step) {
            --k;
        }
        return k;
    }

    // The sound frame heard at a step's show time.
    constexpr int64_t SoundFrameOfStep(int64_t step, int64_t rate) const {
        return step * m_tickMs * rate / (1000 * kStepsPerTick);
    }
    // The step a sound frame belongs to: the last step whose SoundFrameOfStep is not
    // past it (the inverse of that rounding down).
    constexpr int64_t StepOfSoundFrame(int64_t frame, int64_t rate) const {
        return rate <= 0 || frame < 0 ? 0 : ((frame + 1) * 1000 * kStepsPerTick - 1) / (int64_t{m_tickMs} * rate);
    }
    // The sound frame heard at a tick: the one place a tick becomes a sound frame.
    constexpr int64_t SoundFrameOfTick(int64_t tick, int64_t rate) const {
        return SoundFrameOfStep(StepOfTick(tick), rate);
    }

private:
    int32_t m_tickMs = kDefaultTickMs;
};
