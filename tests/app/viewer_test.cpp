// A viewer in control: what the keys do, the paced show clock, and the live show in a
// window on a private Xvfb, paused and moved about. Pictures are taken off the X
// screen with ImageMagick's import and compared with the offscreen shot of the same
// tick; the music is read at the output's play position and found in the program's
// own decode of the soundtrack.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "show/zrn_showapp.h"
#include "app/demo_show.h"
#include "show/zrn_showviewer.h"
#include "app_support.h"
#include "viewer_support.h"
#include "platform/kvl_window.h"
#include "platform/xvfb_server.h"
#include "scene/recording_renderer.h"
#include "sound/kvl_soundsource.h"

#include "demo_window_x11.h"

namespace {

using viewertest::FindMusic;
using viewertest::Grab;
using viewertest::PSNR;
using viewertest::ViewerShow;

TEST(ViewerKeys, EachKeyAndWhereItLands) {
    using A = ZRNShowViewerAction;
    const struct {
        int32_t key;
        int32_t now;
        A::Kind kind;
        int32_t tick;
    } cases[] = {
        {' ', 1000, A::kTogglePause, 0},     {KVLKeyRight, 1000, A::kSeek, 1357}, {KVLKeyLeft, 1000, A::kSeek, 643},
        {KVLKeyLeft, 100, A::kSeek, 0},      {KVLKeyRight, 5800, A::kSeek, 5879}, {KVLKeyHome, 3000, A::kSeek, 0},
        {'1', 3000, A::kSeek, 0},            {'2', 3000, A::kSeek, 280},          {'3', 0, A::kSeek, 1120},
        {'4', 0, A::kSeek, 2870},            {'5', 0, A::kSeek, 5530},            {'6', 0, A::kNone, 0},
        {'0', 0, A::kNone, 0},               {'a', 0, A::kNone, 0},               {KVLKeyEscape, 0, A::kNone, 0},
        {KVLKeyUp, 0, A::kNone, 0},
    };
    for (const auto& c : cases) {
        const A a = ZRNShowViewerKey(DemoTimeline(), c.key, c.now);
        EXPECT_EQ(a.kind, c.kind) << c.key << " at " << c.now;
        if (c.kind == A::kSeek) {
            EXPECT_EQ(a.tick, c.tick) << c.key << " at " << c.now;
        }
    }
}

TEST(ViewerClock, RunsStandsStillAndStartsAgain) {
    using namespace std::chrono;
    const ZRNShowClock::Clock::time_point t0{};
    ZRNShowClock clock;
    clock.Start(t0, 0);
    EXPECT_EQ(clock.StepAt(t0), 0);
    EXPECT_EQ(clock.StepAt(t0 + milliseconds(14)), 10) << "ten steps a tick";
    EXPECT_EQ(clock.StepAt(t0 + milliseconds(1000)), 714);
    clock.Pause(t0 + milliseconds(140));
    EXPECT_EQ(clock.StepAt(t0 + seconds(60)), 100) << "paused: the clock stands";
    clock.Resume(t0 + seconds(60));
    EXPECT_EQ(clock.StepAt(t0 + seconds(60) + milliseconds(14)), 110);
    clock.Start(t0 + seconds(61), 5000);
    EXPECT_EQ(clock.StepAt(t0 + seconds(61) + milliseconds(7)), 5005);
    EXPECT_EQ(clock.StepAt(t0), 5000) << "never before where it was started";
}

// Keeping with the music heard: within the tolerance the clock runs on by itself; past
// it, either way, the clock goes on from the music's step; never while paused.
TEST(ViewerClock, FollowsTheMusicBeyondTheTolerance) {
    using namespace std::chrono;
    const ZRNShowClock::Clock::time_point t0{};
    const auto at = t0 + milliseconds(1400);  // step 1000 by the clock
    struct Case {
        int64_t musicStep;
        bool paused;
        bool moves;
        int64_t stepAfter;  // 14 ms later
    } const cases[] = {
        {1000, false, false, 1010}, {1040, false, false, 1010}, {960, false, false, 1010},
        {1041, false, true, 1051},  {959, false, true, 969},    {0, false, true, 10},
        {3000, false, true, 3010},  {3000, true, false, 1000},
    };
    for (const Case& c : cases) {
        ZRNShowClock clock;
        clock.Start(t0, 0);
        if (c.paused) {
            clock.Pause(at);
        }
        EXPECT_EQ(clock.Follow(at, c.musicStep, 40), c.moves) << c.musicStep;
        EXPECT_EQ(clock.StepAt(at + milliseconds(14)), c.stepAfter) << c.musicStep;
    }
    // The music's frames and the steps agree both ways at the show's rates.
    for (const int64_t rate : {22050, 44100, 48000}) {
        for (const int64_t step : {0, 1, 714, 58799}) {
            EXPECT_EQ(DemoTimeline().GetTime().StepOfSoundFrame(DemoTimeline().GetTime().SoundFrameOfStep(step, rate), rate), step) << rate;
        }
    }
}

// The music after a seek starts at the very sample of the tick: the output (a WAV
// file, played by the test) holds the soundtrack from there on.
TEST(ViewerMusic, StartsAtTheTicksSample) {
    testsupport::TempDir dir;
    apptest::CatalogueAt at{apptest::GeneratedArchive()};
    const std::vector<int16_t> track = apptest::DecodeSoundtrack();
    ASSERT_FALSE(track.empty());
    RecordingRenderer renderer;
    DemoShowController controller(nullptr, &renderer, nullptr);
    controller.UseWAVOutput(KVLString(dir.file("sound.wav").c_str()));
    ASSERT_TRUE(controller.Init());
    KVLSoundOutputWAV* wav = controller.GetWAVOutput();
    for (const int32_t tick : {2000, 3, 0, 5879, 1121}) {
        SCOPED_TRACE(tick);
        ASSERT_TRUE(controller.PlayMusicAtTick(tick));
        const int64_t frame = static_cast<int64_t>(tick) * 14 * 44100 / 1000;
        for (int64_t played = 0; played < 3 * 8192; played += 8192) {
            // The worker has had time to queue what is read here.
            for (int i = 0; i < 2000 && wav->GetFramesWritten() < played + 8192 + 256; ++i) {
                controller.GetPlayer()->Wait(1);
            }
            EXPECT_EQ(FindMusic(&controller, track, frame + played - 2, 5), frame + played);
            ASSERT_TRUE(wav->Advance(8192));
        }
    }
    controller.OnDestroying();
}

TEST_F(ViewerShow, PauseHoldsAndSeeksLandOnTheShotsPicture) {
    const struct {
        int32_t tick;
        const char* what;
    } seeks[] = {{2000, "room, forward"},          {3300, "tunnel cut, forward"}, {1000, "oscilloscope, back"},
                 {1120, "switch gap after the oscilloscope"}, {100, "Parental, back"}};
    ZRNShowApp app(DemoShowDescription());
    app.SetWindowed(true);
    ASSERT_TRUE(app.InitInstance());
    Passes(app, 20);
    for (const auto& s : seeks) {
        SCOPED_TRACE(s.what);
        app.SetPaused(true);
        ASSERT_TRUE(app.SeekTo(s.tick));
        EXPECT_EQ(app.GetTick(), s.tick);
        Passes(app, 3);
        const std::string first = Grab(server.display(), dir.file("first.png"));
        EXPECT_GE(PSNR(first, ShotOf(s.tick)), 30.0) << "the picture of the tick";
        // Paused, nothing moves: not the picture, the ticks or the music.
        std::vector<uint32_t> before(256), after(256);
        KVLSampleBlock block;
        block.frames = 256;
        block.data = before.data();
        app.GetController()->GetPlayer()->GetCurrentSamples(&block);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Passes(app, 5);
        block.data = after.data();
        app.GetController()->GetPlayer()->GetCurrentSamples(&block);
        EXPECT_EQ(before, after);
        EXPECT_EQ(app.GetTick(), s.tick);
        EXPECT_GE(PSNR(first, Grab(server.display(), dir.file("later.png"))), 60.0);
        // Going on, the show and the music move again.
        app.SetPaused(false);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (std::chrono::steady_clock::now() < until) {
            app.Step(nullptr);
        }
        EXPECT_GT(app.GetTick(), s.tick + 5);
        // The timer and the sound device keep their own time: in step within a second.
        ExpectMusicAt(app.GetController(), app.GetTick(), 44100, 44100);
    }
    // Keys go through the same way: Home starts again.
    app.OnKey(KVLKeyHome);
    EXPECT_LT(app.GetTick(), 20);
}

TEST_F(ViewerShow, StartsAtATick) {
    ZRNShowApp app(DemoShowDescription());
    app.SetWindowed(true);
    app.SetStartTick(3090);
    ASSERT_TRUE(app.InitInstance());
    // Straight away, before the timer has moved on.
    ExpectMusicAt(app.GetController(), 3090, 0, 44100 / 2);
    app.SetPaused(true);
    const int32_t tick = app.GetTick();
    EXPECT_GE(tick, 3090);
    EXPECT_LT(tick, 3090 + 20);
    if (tick == 3090) {
        EXPECT_GE(PSNR(Grab(server.display(), dir.file("start.png")), ShotOf(3090)), 30.0);
    }
}

// Paused, the window keeps its picture when uncovered: a window laid over it (white,
// so what it leaves shows) and taken away makes the X server expose the show's window,
// whose picture is then drawn again, the same as before. (Here Mesa's buffers keep the
// old picture even through a bare swap; the resize below tells a redraw from one:
// 36 dB against 12 dB measured.)
TEST_F(ViewerShow, APausedPictureComesBackWhenUncovered) {
    ZRNShowApp app(DemoShowDescription());
    app.SetWindowed(true);
    ASSERT_TRUE(app.InitInstance());
    Passes(app, 5);
    app.SetPaused(true);
    ASSERT_TRUE(app.SeekTo(2000));
    Passes(app, 3);
    const std::string before = Grab(server.display(), dir.file("before.png"));
    EXPECT_EQ(app.GetRedraws(), 0);
    Display* d = XOpenDisplay(server.display().c_str());
    ASSERT_NE(d, nullptr);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(d, DefaultScreen(d));
    const Window cover = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 640, 480, 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(d, cover);
    XSync(d, False);
    EXPECT_LT(PSNR(before, Grab(server.display(), dir.file("covered.png"))), 20.0) << "covered";
    XDestroyWindow(d, cover);
    XSync(d, False);
    for (int i = 0; i < 50 && app.GetRedraws() == 0; ++i) {
        Passes(app, 1);
    }
    Passes(app, 2);
    EXPECT_GE(app.GetRedraws(), 1) << "the expose asked for the picture again";
    EXPECT_GE(PSNR(before, Grab(server.display(), dir.file("after.png"))), 60.0);
    // Made smaller, it shows the whole picture at its new size: a swap of the old
    // buffers would show a corner of the old one.
    const Window window = apptest::FindDemoWindow(d, DefaultRootWindow(d));
    ASSERT_NE(window, 0u);
    XResizeWindow(d, window, 320, 240);
    XSync(d, False);
    const int64_t redraws = app.GetRedraws();
    for (int i = 0; i < 50 && app.GetRedraws() == redraws; ++i) {
        Passes(app, 1);
    }
    Passes(app, 2);
    EXPECT_GT(app.GetRedraws(), redraws) << "the resize asked for the picture again";
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(window));
    const std::string small = dir.file("small.png");
    ASSERT_EQ(testsupport::Run("import -display " + server.display() + " -window " + id + " '" + small + "'"), 0);
    const std::string scaled = dir.file("scaled.png");
    ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + before + "' -resize 320x240! '" + scaled + "'"), 0);
    EXPECT_GE(PSNR(scaled, small), 25.0) << "the whole picture, drawn at the new size";
    XCloseDisplay(d);
    EXPECT_EQ(app.GetTick(), 2000) << "still paused where it was";
}

// A seek that cannot build the scenes again (a member gone from the archive since the
// start) ends the show as a failure at start-up does: the scene's reason and the
// seek's, as boxes (here their lines on standard error), and the exit status 1.
TEST_F(ViewerShow, AFailedSeekEndsTheShowSayingWhy) {
    setenv("ZARNOTH_NO_MESSAGE_BOX", "1", 1);
    const std::string archive = dir.file("quorvel.pak");
    testsupport::WriteFile(archive, testsupport::ReadFile(apptest::GeneratedArchive()));
    apptest::CatalogueAt copy{archive};
    ZRNShowApp app(DemoShowDescription());
    app.SetWindowed(true);
    app.SetStartTick(1200);
    ASSERT_TRUE(app.InitInstance());
    Passes(app, 5);
    // Replaced whole, as an update would: the music playing from the old file goes on.
    const std::string changed = dir.file("changed.pak");
    testsupport::WriteFile(changed, testsupport::ReadFile(archive));
    apptest::HideMember(changed, "tex\\end.jpg");
    ASSERT_EQ(std::rename(changed.c_str(), archive.c_str()), 0);
    testing::internal::CaptureStderr();
    app.OnKey(KVLKeyHome);
    const int status = app.Run(nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    unsetenv("ZARNOTH_NO_MESSAGE_BOX");
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(app.HasFailed());
    EXPECT_EQ(err, "Error: Couldn't read texture EndSaRace\nError: Cannot go to tick 0 (0.00 s): the scenes cannot be "
                   "built again\n");
}

// Paced (the page's way), a pause asked a while ago and heard only now (a hidden page
// gets no passes) stops the show where it was asked: going on, the show continues
// from there rather than from where the wall clock got to.
TEST_F(ViewerShow, PacedPauseTakesEffectWhenAsked) {
    ZRNShowApp app(DemoShowDescription());
    app.SetWindowed(true);
    app.SetPaced(true);
    ASSERT_TRUE(app.InitInstance());
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    auto passStart = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < until) {
        passStart = std::chrono::steady_clock::now();
        app.Step(nullptr);
    }
    const int32_t asked = app.GetTick();
    const auto at = std::chrono::steady_clock::now();
    // The show clock ran on while the last pass drew: at 'at' it stands up to that
    // pass's length past the tick the pass reached.
    const auto lastPass = std::chrono::duration_cast<std::chrono::milliseconds>(at - passStart);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no passes: 50 ticks
    app.SetPaused(true, at);
    EXPECT_TRUE(app.IsPaused());
    const auto resumed = std::chrono::steady_clock::now();
    app.SetPaused(false);
    Passes(app, 1);
    // Show time may pass only from the moment it went on (a loaded machine takes a
    // while over one pass), never the 700 ms it stood.
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - resumed);
    EXPECT_GE(app.GetTick(), asked);
    EXPECT_LT(app.GetTick(), asked + 10 + (lastPass.count() + since.count()) / DemoShowDescription().tickMs)
        << "went on from where the pause was asked";
    // The music went back there too: once heard again, it is in step with the show.
    const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < later) {
        app.Step(nullptr);
    }
    const int64_t heard = app.GetController()->GetHeardMusicFrame();
    ASSERT_GE(heard, 0) << "the music plays";
    const int64_t rate = app.GetController()->GetMusicRate();
    // Within the device's buffer (SDL's disk driver pulls up to 8192 frames at once);
    // music that ran on during the wait would be 50 ticks ahead.
    EXPECT_NEAR(static_cast<double>(heard * 1000 / (rate * DemoShowDescription().tickMs)), app.GetTick(), 25.0);
    // Asked now, the same wait is show time that has passed.
    const int32_t before = app.GetTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    app.SetPaused(true);
    app.SetPaused(false);
    Passes(app, 1);
    EXPECT_GE(app.GetTick(), before + 40);
}

}  // namespace
