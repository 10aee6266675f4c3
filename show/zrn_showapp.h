// ZRNShowApp: the application object. It owns the four top-level objects (window,
// renderer, controller, timer) of the platform's backend, initialises the controller
// and runs the main loop: per pass, wait until the system has a message, one
// controller frame step, then the window events (on Win32 exactly one message), until
// the show ends, the window goes away or the system asks the program to quit. The
// program's other modes (offscreen pictures, capture) live in zrn_showoffline.h.
//
// The viewer's keys (see ZRNShowViewerKey) pause, seek and restart the show in either of
// the two ways the show can run. Natively the timer thread ticks and every pass draws
// one frame step, as fast as the renderer allows. Paced (the web page, where passes
// come about 60 times a second), the program steps the show itself at the step clock
// of ZRNShowStepper by a wall clock, drawing only the last step due in a pass, so that the
// frame-counted rules behave as in a native run. A seek steps the show without drawing
// to the tick (from the start when it lies behind, or when the window's own frames went
// through a scene switch since the step clock last knew the show), draws it and starts
// the music again at the matching sample.
//
// A paused window keeps its picture: an expose (the window uncovered) or a resize
// while paused draws the current step again (ZRNShowController::Redraw) in the next pass,
// since the buffers a swap leaves behind hold nothing to show. In a switch gap or the
// oscilloscope's opening hold nothing is drawn to redraw (the screen shows an earlier
// picture there; a redraw counts as one of the hold's frames), so an expose then leaves
// what the system shows.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "scene/zrn_backend.h"
#include "show/zrn_show.h"
#include "show/zrn_showcontroller.h"
#include "show/zrn_showstepper.h"
#include "show/zrn_showviewer.h"

// Frames and time per scene, gathered by the main loop when asked (--bench). After the
// show the same loop times empty frames (clear and swap) on the same window for
// kEmptySeconds, the most a frame can achieve there: each scene's rate is also
// printed as a share of it, which compares across machines and loads better than
// the rate alone. No empty frames are timed when the window went away early.
struct ZRNShowBench {
    static constexpr double kEmptySeconds = 2.0;
    bool enabled = false;
    // Also time an empty frame on the window once the show is over. Not on the web
    // page: its frames reach the canvas only when the step returns, and the canvas must
    // keep the show's last picture.
    bool timeEmptyFrame = true;
    std::chrono::steady_clock::time_point launch;
    double startupSeconds = -1.0;  // launch to the first presented frame
    // Per scene, in show order.
    std::vector<int64_t> frames;
    std::vector<double> seconds;
    int64_t emptyFrames = 0;
    double emptySeconds = 0.0;
    // The figures, each scene under its chapter name.
    void Print(const ZRNShowDescription& show) const;
};

class ZRNShowApp {
public:
    // The show outlives the application.
    explicit ZRNShowApp(const ZRNShowDescription& show) : m_show(show) {}
    ~ZRNShowApp();
    ZRNShowApp(const ZRNShowApp&) = delete;
    ZRNShowApp& operator=(const ZRNShowApp&) = delete;

    void SetWindowed(bool windowed) { m_windowed = windowed; }
    // Before InitInstance: the program steps the show by its own clock (see above).
    void SetPaced(bool paced) { m_paced = paced; }
    // Paced: the show's clock keeps with the music as heard (see RunDueSteps). For a
    // device that queues ahead and starts late (a browser's); a native device's position
    // moves by whole buffers and the show keeps its own clock there.
    void SetFollowsMusic(bool follows) { m_followsMusic = follows; }
    // Before InitInstance: the show starts at this tick (music in step).
    void SetStartTick(int32_t tick) { m_startTick = tick; }
    // False after "Error creating application" has been shown.
    bool InitInstance();
    // The main loop; the exit status: 0, or 1 when a seek failed (reported).
    int Run(ZRNShowBench* bench);
    // One pass of it (bench may be null); false once the show is over or the system
    // asked to quit (the show then ends as a window close would). For main loops that
    // the platform drives (the web page's).
    bool Step(ZRNShowBench* bench);

    // The viewer's controls (main thread, after InitInstance). SeekTo clamps the tick
    // into the show; false when the show could not be built again or the music not
    // played from there: what failed is reported as a start-up failure is (a box and
    // its line on standard error), the show ends and HasFailed holds.
    bool SeekTo(int32_t tick);
    bool HasFailed() const { return m_failed; }
    void SetPaused(bool paused) { SetPaused(paused, std::chrono::steady_clock::now()); }
    // As of 'at' (not later than now): paced, the show clock stops at the step due then
    // (for a page that got no passes since it was asked, as a hidden tab).
    void SetPaused(bool paused, std::chrono::steady_clock::time_point at);
    bool IsPaused() const { return m_paused; }
    int32_t GetTick() const { return m_controller ? m_controller->GetTickCount() : 0; }
    ZRNShowController* GetController() const { return m_controller.get(); }
    // The key as the viewer pressed it (what the window's listener does).
    void OnKey(int32_t key);
    // The window was exposed or resized (what the window's listener does): paused, the
    // picture is drawn again in the next pass.
    void OnExposed();
    // How many times a paused picture has been drawn again.
    int64_t GetRedraws() const { return m_redraws; }

private:
    // Paced, how far (in steps) the clock may stray from the music heard before it is
    // put back with it: four ticks, under what a viewer notices, over the few
    // milliseconds by which a device's reports of what it played come late.
    static constexpr int64_t kFollowSteps = 4 * ZRNShowTime::kStepsPerTick;
    // Paced, a pause that takes effect later than this after it was asked puts the
    // music back to where the show stopped.
    static constexpr std::chrono::milliseconds kLatePause{50};

    // Hands the window's keys to OnKey and its exposes and resizes to OnExposed (they
    // arrive while the pass delivers the events).
    class KeyListener : public KVLWindowListener {
    public:
        explicit KeyListener(ZRNShowApp* app) : m_app(app) {}
        void OnKeyDown(int32_t key) override { m_app->OnKey(key); }
        void OnPresent() override { m_app->OnExposed(); }
        void OnResize(int32_t, int32_t) override { m_app->OnExposed(); }

    private:
        ZRNShowApp* m_app;
    };

    void TimeEmptyFrames(ZRNShowBench* bench);
    // Paced: the steps due now; true when one of them was drawn.
    bool RunDueSteps();
    class SeekMusic;
    // The transitions (see the .cpp): the show holds still, or goes on after a pause or
    // a seek (the music, the clock and the ticks).
    void Pause(std::chrono::steady_clock::time_point at);
    bool GoOn();
    // Who delivers the ticks: natively the timer thread (stopped and started here),
    // paced the program itself.
    void HoldTicks();
    void ReleaseTicks();
    // Reports a seek to 'tick' that failed for 'what' and ends the show; false.
    bool SeekFailed(int32_t tick, const char* what);

    const ZRNShowDescription& m_show;
    bool m_windowed = false;
    bool m_paced = false;
    bool m_followsMusic = false;
    bool m_paused = false;
    bool m_failed = false;
    bool m_redraw = false;
    int64_t m_redraws = 0;
    int32_t m_startTick = 0;
    KeyListener m_keys{this};
    ZRNShowClock m_clock{m_show.GetTime()};
    std::unique_ptr<ZRNShowStepper> m_stepper;
    std::unique_ptr<ZRNBackendWindow> m_window;
    std::unique_ptr<ZRNBackendRenderer> m_renderer;
    std::unique_ptr<ZRNShowController> m_controller;
    std::unique_ptr<ZRNBackendTimer> m_timer;
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};
