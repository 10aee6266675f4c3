// ZRNShowStepper: the show's step clock for every way of watching that does not draw as
// fast as it can: the web page, shots, captures and videos.
//
// Three rules of the show count frames, not time: the oscilloscope scene keeps the
// previous picture for its first 300 frames, its credits move on frames that saw a new
// tick, and a scene switch takes ten frame steps. They were made for a window drawing
// hundreds of frames a second. A mode that shows 10 to 60 pictures a second therefore
// does not run one frame step per picture: the show moves on in frame steps at a fixed
// rate of ten steps per tick of show time (ZRNShowTime), and only the steps whose
// picture is wanted are drawn;
// the others run with drawing off (animations, counters and views move on as when
// drawn, see ZRNShowScene). So the show is the same at every picture rate: picture k at f
// pictures per second is the picture shown at the last step at or before k / f
// seconds, and the picture of tick t is the one shown at step 10 t.
//
// Ticks: before step s runs, ticks up to s / ZRNShowTime::kStepsPerTick have been
// delivered.
//
// Ten steps a tick: with the demo's 14 ms ticks that is about 714 steps a second, and
// a native run here draws the oscilloscope scene at 480 to 690 frames a second. Ten is
// near that and a whole number of steps per tick, so exactly one step sees each new
// tick (the credits move every sixth tick, as in a native run) and the 300-frame hold
// lasts 0.42 s of show time (about half a second natively). A show of longer ticks
// gets fewer steps a second, still ten for each tick its scenes count.
//
// What the screen shows: a step that presents nothing (a switch gap, the oscilloscope
// scene's hold) leaves the previous picture up. The only such stretches begin at a
// switch tick, so the last step before each switch tick is drawn too whenever a later
// picture may fall into one, with the kLeadSteps before it: the renderer carries state
// from one drawn frame to the next (the room's fog is set after its floor is drawn),
// so a picture kept on its own is drawn after the steps just before it.
#pragma once

#include <cstdint>
#include <functional>

#include "show/zrn_showcontroller.h"

class ZRNShowStepper {
public:
    // Steps a picture's lead-in: drawn before a kept or shot picture (see above).
    static constexpr int64_t kLeadSteps = 2;

    // What brings the music along as the show is stepped: the soundtrack written by an
    // offline run, the player of a viewer that seeks.
    class Music {
    public:
        virtual ~Music() = default;
        // The music to the sound frame of 'step', before the step is drawn; false stops
        // the run.
        virtual bool BringTo(int64_t step) = 0;
    };
    // Which drawn steps bring the music along: those of scenes that show it (what their
    // pictures need), or every one (a soundtrack being kept as the show plays).
    enum class Follow { ShownMusic, EveryDrawnStep };

    explicit ZRNShowStepper(ZRNShowController* controller)
        : m_controller(controller), m_time(controller->GetTimeline().GetTime()) {}

    // The show's time arithmetic (its tick length).
    const ZRNShowTime& GetTime() const { return m_time; }

    // The step that runs next (0 for a new show).
    int64_t GetNextStep() const { return m_next; }
    // After the controller was rewound or moved to another tick by its owner: the next
    // step is 'step' (its ticks are delivered as usual).
    void SetNextStep(int64_t step) {
        m_next = step;
        m_attached = true;
        m_restartNeeded = false;
    }
    // Frame steps ran without the stepper (a native run's loop): its next step is
    // unknown until Resync. inSwitch: the step ran in a switch gap. A native gap takes
    // its ten frame steps at the frame rate, not ten to a tick, so the ticks that come
    // during it miss the next scene: a state that no stepping from the current tick
    // reaches (see NeedsRestart).
    void Detach(bool inSwitch = false) {
        m_attached = false;
        m_restartNeeded = m_restartNeeded || inSwitch;
    }
    // True when frame steps outside the stepper went through a switch gap since it last
    // knew the show: only a run from the start lands where a shot does.
    bool NeedsRestart() const { return m_restartNeeded; }
    // Before stepping on from the show's current tick: a detached stepper goes on from
    // that tick's first step; an attached one keeps its own next step, which may lie
    // past it (a paused landing has run the tick's first step already).
    void Resync() {
        if (!m_attached) {
            SetNextStep(ZRNShowTime::StepOfTick(m_controller->GetTickCount()));
        }
    }
    // Frame steps drawn so far.
    int64_t GetDrawnSteps() const { return m_drawn; }

    // The picture at step 'target' as a shot takes it: the steps up to it run, and only
    // those its picture needs are drawn (ZRNShowTimeline::IsShotStep). Shots, seeks and
    // the first picture of a video's part all get there this way. False when the music
    // stopped the run or the show ended before the target.
    bool StepToShot(int64_t target, Music* music, Follow follow);
    // The next picture of a stream (a capture, a video, a paced page) at step 'target':
    // the steps up to it run, drawing it and the steps a later switch gap keeps on the
    // screen (ZRNShowTimeline::IsKeptStep). False as StepToShot.
    bool StepToPicture(int64_t target, Music* music, Follow follow);

    // Runs the next step: its due ticks, then one frame step, drawn or not. False once
    // the show has ended (nothing runs then).
    bool Step(bool draw);

    // Runs the steps up to and including 'last'. Step s is drawn when draw(s) says so;
    // before a drawn step, beforeDrawn(s) (when given) may bring along what the
    // picture shows (the music); its false stops the run. False when stopped or the
    // show ended before 'last'.
    bool RunTo(int64_t last, const std::function<bool(int64_t)>& draw,
               const std::function<bool(int64_t)>& beforeDrawn = nullptr);

    ZRNShowController* GetController() const { return m_controller; }

private:
    // True when a drawn step brings the music along under the rule.
    bool Brings(Music* music, Follow follow, int64_t step) const;

    ZRNShowController* m_controller;
    ZRNShowTime m_time;
    int64_t m_next = 0;
    int64_t m_drawn = 0;
    bool m_attached = true;
    bool m_restartNeeded = false;
};
