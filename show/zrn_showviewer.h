// A viewer in control of the show: what each key does, and the show clock of the modes
// that step the show themselves (the web page).
//
// Keys: Space pauses and resumes; Left and Right seek 5 s (in whole ticks) back and forward; Home
// starts again; 1 to 9 jump to the first tick of the show's first nine scenes (those
// it has). Seeks stay inside
// the show (tick 0 to the tick before its end). Every other key does nothing.
#pragma once

#include <chrono>
#include <cstdint>

#include "show/zrn_showtime.h"
#include "show/zrn_showtimeline.h"

struct ZRNShowViewerAction {
    enum Kind { kNone, kTogglePause, kSeek };
    Kind kind = kNone;
    int32_t tick = 0;  // kSeek: where to
};

// The action of a key (KVLKey codes) while the show is at tick 'now'.
ZRNShowViewerAction ZRNShowViewerKey(const ZRNShowTimeline& timeline, int32_t key, int32_t now);
// The tick a seek to 'tick' lands on: inside the show.
int32_t ZRNShowViewerClampTick(const ZRNShowTimeline& timeline, int64_t tick);

// Show time in steps for a show that follows a wall clock: it runs from a step at a
// moment, stands still while paused, and starts again from any step (a seek).
class ZRNShowClock {
public:
    using Clock = std::chrono::steady_clock;

    // A clock of the show's ticks (14 ms by default).
    explicit ZRNShowClock(ZRNShowTime time = ZRNShowTime()) : m_time(time) {}

    void Start(Clock::time_point now, int64_t step) {
        m_origin = now;
        m_originStep = step;
    }
    // The last step due at 'now'.
    int64_t StepAt(Clock::time_point now) const {
        if (m_paused) {
            return m_originStep;
        }
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - m_origin).count();
        return m_originStep + m_time.StepAtMicroseconds(us < 0 ? 0 : us);
    }
    void Pause(Clock::time_point now) {
        if (!m_paused) {
            m_originStep = StepAt(now);
            m_paused = true;
        }
    }
    void Resume(Clock::time_point now) {
        if (m_paused) {
            m_paused = false;
            m_origin = now;
        }
    }
    bool IsPaused() const { return m_paused; }
    // Keeps the clock with the music heard: when the step due now and the music's step
    // lie more than 'tolerance' steps apart, the clock goes on from the music's step
    // (which may lie behind: the show then waits for the sound). Returns true when it
    // moved. Not while paused.
    bool Follow(Clock::time_point now, int64_t musicStep, int64_t tolerance) {
        const int64_t due = StepAt(now);
        if (m_paused || (musicStep >= due - tolerance && musicStep <= due + tolerance)) {
            return false;
        }
        Start(now, musicStep);
        return true;
    }

private:
    ZRNShowTime m_time;
    Clock::time_point m_origin{};
    int64_t m_originStep = 0;
    bool m_paused = false;
};
