// The step clock: where pictures fall at each picture rate, which steps keep a
// picture for a later switch gap, and a whole show stepped over scenes that record
// every frame step (drawn or not, and the tick counter each one saw).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "show/zrn_showcontroller.h"
#include "show/zrn_showoffline.h"
#include "app/demo_show.h"
#include "app/scenes/scene_oscilloscope.h"
#include "show/zrn_showstepper.h"
#include "app_support.h"
#include "scene/recording_renderer.h"

namespace {

// At the demo's 14 ms ticks and at other shows' lengths.
TEST(StepClock, PicturesFallOnOneStepEachAtTheirShowTime) {
    for (const int32_t tickMs : {14, 20, 33}) {
        const ZRNShowTime time(tickMs);
        for (const int32_t fps : {1, 7, 10, 24, 30, 60, 71, 500}) {
            SCOPED_TRACE(std::to_string(fps) + " pictures a second, ticks of " + std::to_string(tickMs) + " ms");
            // One picture per 1/fps second of the 5880 ticks, the first at 0.
            const int64_t expected = (5880LL * tickMs * fps + 999) / 1000;
            EXPECT_EQ(time.FirstPictureAt(5880, fps), expected);
            if (int64_t{fps} * tickMs > 1000 * ZRNShowTime::kStepsPerTick) {
                continue;  // pictures faster than steps: some share a step
            }
            int64_t pictures = 0;
            int64_t previous = -1;
            for (int64_t step = 0; step < DemoTimeline().EndStep(); ++step) {
                if (!time.IsPictureStep(step, fps)) {
                    continue;
                }
                ASSERT_EQ(time.StepOfPicture(pictures, fps), step) << "picture " << pictures;
                EXPECT_GT(step, previous);
                previous = step;
                ++pictures;
            }
            EXPECT_EQ(pictures, expected);
            // The tick of a picture is the one its show time falls in.
            for (int64_t k = 0; k < pictures; k += 37) {
                EXPECT_EQ(ZRNShowTime::TickOfStep(time.StepOfPicture(k, fps)), k * 1000 / (fps * tickMs)) << k;
            }
        }
    }
}

// A rate of none or less has no picture anywhere: no division by it, no endless
// search for a picture, and an offline run refuses it before any work.
TEST(StepClock, NoPictureAtARateOfNoneOrLess) {
    for (const int32_t fps : {0, -3}) {
        SCOPED_TRACE(fps);
        EXPECT_EQ(DemoTimeline().GetTime().StepOfPicture(10, fps), -1);
        EXPECT_FALSE(DemoTimeline().GetTime().IsPictureStep(0, fps));
        EXPECT_EQ(DemoTimeline().VideoPictures(fps), 0);
        ZRNShowOfflineOptions options;
        options.shotTick = 100;
        options.shotPath = "unused.png";
        options.fps = fps;
        EXPECT_EQ(ZRNRunShowOffline(DemoShowDescription(), options), 1);
    }
}

TEST(StepClock, SoundFollowsShowTime) {
    const struct {
        int32_t tickMs;
        int64_t step;
        int64_t rate;
        int64_t frame;
    } cases[] = {
        {14, 0, 44100, 0},         {14, 10, 44100, 617},       {14, 1, 44100, 61},
        {14, 2800, 44100, 172872}, {14, 58800, 44100, 3630312}, {14, 58800, 48000, 3951360},
        {20, 1600, 44100, 141120}, {20, 1, 44100, 88},          {33, 10, 48000, 1584},
    };
    for (const auto& c : cases) {
        const ZRNShowTime time(c.tickMs);
        EXPECT_EQ(time.SoundFrameOfStep(c.step, c.rate), c.frame) << c.step << " at " << c.rate << ", " << c.tickMs;
        EXPECT_EQ(time.StepOfSoundFrame(c.frame, c.rate), c.step) << c.frame << " at " << c.rate << ", " << c.tickMs;
    }
}

TEST(StepClock, KeptStepsAreTheLastOnesBeforeEachSwitch) {
    const struct {
        int64_t step;
        int64_t untilTick;
        bool kept;
    } cases[] = {
        {2799, 280, true},   {2797, 280, true},   {2796, 280, false}, {2800, 280, false},
        {2799, 279, false},  {11199, 1120, true}, {11199, 5880, true}, {11199, 1119, false},
        {58799, 5880, true}, {57000, 5880, false}, {0, 5880, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DemoTimeline().IsKeptStep(c.step, c.untilTick), c.kept) << c.step << " until " << c.untilTick;
    }
    EXPECT_EQ(DemoTimeline().LastSwitchAtOrBefore(279), -1);
    EXPECT_EQ(DemoTimeline().LastSwitchAtOrBefore(280), 280);
    EXPECT_EQ(DemoTimeline().LastSwitchAtOrBefore(5529), 2870);
    EXPECT_EQ(DemoTimeline().LastSwitchAtOrBefore(100000), 5880);
}

// Per scene: each frame step's tick counter and whether it was drawn.
struct StepLog {
    std::map<int, std::vector<std::pair<int32_t, bool>>> frames;
};

class LoggingScene : public ZRNShowScene {
public:
    LoggingScene(ZRNRendererInterface* r, ZRNRenderVisitor* rv, ZRNAnimVisitor* tv, StepLog* log, int index)
        : ZRNShowScene(r, rv, tv), m_log(log), m_index(index) {}
    bool Load(KVLString*) override { return true; }
    void Render() override {
        m_log->frames[m_index].push_back({GetTickCounter(), IsDrawing()});
        DrawTree(nullptr);
    }

private:
    StepLog* m_log;
    int m_index;
};

class LoggingController : public ZRNShowController {
public:
    LoggingController(ZRNRendererInterface* r, StepLog* log) : ZRNShowController(DemoShowDescription(), nullptr, r, nullptr), m_log(log) {}

protected:
    void CreateScenes() override {
        for (int i = 0; i < GetTimeline().GetSceneCount(); ++i) {
            AddScene(std::make_unique<LoggingScene>(GetRenderer(), GetRenderVisitor(), GetTickVisitor(), m_log, i));
        }
    }

private:
    StepLog* m_log;
};

TEST(Stepper, AWholeShowAtThirtyPicturesASecond) {
    testsupport::TempDir dir;
    apptest::CatalogueAt at{apptest::GeneratedArchive()};
    RecordingRenderer renderer;
    StepLog log;
    LoggingController controller(&renderer, &log);
    controller.UseWAVOutput(KVLString(dir.file("sound.wav").c_str()));
    ASSERT_TRUE(controller.Init());
    ZRNShowStepper stepper(&controller);
    const int32_t fps = 30;
    int64_t drawnSteps = 0;
    const auto draw = [&](int64_t s) {
        const bool d = DemoTimeline().GetTime().IsPictureStep(s, fps) || DemoTimeline().IsKeptStep(s, 5880);
        drawnSteps += d ? 1 : 0;
        return d;
    };
    // Just before the end the show still runs; its last switch tick ends it.
    ASSERT_TRUE(stepper.RunTo(DemoTimeline().EndStep() - 1, draw));
    EXPECT_TRUE(controller.IsRunning());
    EXPECT_EQ(controller.GetTickCount(), 5879);
    ASSERT_TRUE(stepper.RunTo(DemoTimeline().EndStep(), draw));
    EXPECT_FALSE(controller.IsRunning());
    EXPECT_FALSE(stepper.Step(true)) << "nothing runs after the end";

    const int32_t switches[] = {0, 280, 1120, 2870, 5530, 5880};
    int64_t drawnFrames = 0;
    for (int i = 0; i < DemoTimeline().GetSceneCount(); ++i) {
        SCOPED_TRACE(i);
        const auto& frames = log.frames[i];
        // Ten steps a tick; a later scene loses the switch tick's ten steps (the gap).
        const int64_t steps = ZRNShowTime::StepOfTick(switches[i + 1] - switches[i]) - (i == 0 ? 0 : 10);
        EXPECT_EQ(static_cast<int64_t>(frames.size()), steps);
        // Every tick reaches the scene, and exactly one frame step sees each new one.
        int32_t last = 0;
        int newTicks = 0;
        for (const auto& [tick, drawn] : frames) {
            ASSERT_GE(tick, last);
            ASSERT_LE(tick - last, 1);
            newTicks += tick != last ? 1 : 0;
            last = tick;
            drawnFrames += drawn ? 1 : 0;
        }
        EXPECT_EQ(newTicks, last);
        // Only the switch tick itself is lost: the gap is shorter than a tick.
        EXPECT_EQ(last, switches[i + 1] - switches[i] - 1);
        // The scene's last three steps are drawn (kept for the gap after it).
        ASSERT_GE(frames.size(), 3u);
        for (size_t j = frames.size() - 3; j < frames.size(); ++j) {
            EXPECT_TRUE(frames[j].second) << j;
        }
    }
    // Drawn: the pictures and the kept steps, but for pictures in a gap (nothing to draw).
    int64_t inGaps = 0;
    for (int i = 1; i < DemoTimeline().GetSceneCount(); ++i) {
        for (int64_t s = ZRNShowTime::StepOfTick(switches[i]); s < ZRNShowTime::StepOfTick(switches[i]) + 10; ++s) {
            inGaps += DemoTimeline().GetTime().IsPictureStep(s, fps) ? 1 : 0;
        }
    }
    EXPECT_EQ(drawnFrames, drawnSteps - inGaps);
    EXPECT_GT(drawnFrames, 82 * fps);
    EXPECT_LT(drawnFrames, 83 * fps + 5 * 3);
    controller.OnDestroying();
}

// The show's own oscilloscope scene at the step clock, drawn or not: its hold is over
// within half a second of show time, and its credits reach their last frame, and stay
// there, before the scene ends (tick 1120).
TEST(Stepper, TheCreditsPlayToTheirEndBeforeTheSwitch) {
    testsupport::TempDir dir;
    apptest::CatalogueAt at{apptest::GeneratedArchive()};
    RecordingRenderer renderer;
    DemoShowController controller(nullptr, &renderer, nullptr);
    controller.UseWAVOutput(KVLString(dir.file("sound.wav").c_str()));
    ASSERT_TRUE(controller.Init());
    ZRNShowStepper stepper(&controller);
    ASSERT_TRUE(stepper.RunTo(ZRNShowTime::StepOfTick(281), [](int64_t) { return false; }));
    auto* scene = dynamic_cast<OscilloCreditsScene*>(controller.GetCurrentScene());
    ASSERT_NE(scene, nullptr);
    int64_t holdEnd = -1;
    int64_t creditsEnd = -1;
    for (int64_t s = stepper.GetNextStep(); s < ZRNShowTime::StepOfTick(1120); ++s) {
        ASSERT_TRUE(stepper.Step(false));
        if (holdEnd < 0 && scene->GetFramesDrawn() > OscilloCreditsScene::kHoldFrames) {
            holdEnd = s;
        }
        if (creditsEnd < 0 && !scene->IsCreditsRunning()) {
            creditsEnd = s;
        }
    }
    EXPECT_EQ(scene->GetCredits()->GetCurrentFrame(), scene->GetCredits()->GetFrameCount() - 1);
    EXPECT_FALSE(scene->IsCreditsRunning());
    ASSERT_GT(holdEnd, 0);
    EXPECT_LT(ZRNShowTime::TickOfStep(holdEnd) - 280, 36) << "hold over within half a second";
    ASSERT_GT(creditsEnd, holdEnd);
    // One credits frame per six ticks from the end of the hold.
    const int64_t frames = scene->GetCredits()->GetFrameCount();
    EXPECT_NEAR(static_cast<double>(ZRNShowTime::TickOfStep(creditsEnd - holdEnd)), 6.0 * (frames - 1), 6.0);
    EXPECT_LT(ZRNShowTime::TickOfStep(creditsEnd), 1120);
    controller.OnDestroying();
}

}  // namespace
