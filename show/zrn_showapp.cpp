// ZRNShowApp: start-up, the main loop and the teardown order.
#include "show/zrn_showapp.h"

#include <cstdio>
#include <thread>

#include "platform/kvl_messagebox.h"

void ZRNShowBench::Print(const ZRNShowDescription& show) const {
    std::printf("start-up: %.3f s (launch to first presented frame)\n", startupSeconds);
    const double emptyFps = emptySeconds > 0.0 ? static_cast<double>(emptyFrames) / emptySeconds : 0.0;
    for (size_t i = 0; i < show.chapters.size() && i < frames.size(); ++i) {
        const double fps = seconds[i] > 0.0 ? static_cast<double>(frames[i]) / seconds[i] : 0.0;
        std::printf("scene %d %-26s %8lld frames in %7.2f s: %8.1f fps", static_cast<int>(i), show.chapters[i].name.c_str(),
                    static_cast<long long>(frames[i]), seconds[i], fps);
        if (emptyFps > 0.0) {
            std::printf(", share of an empty frame's rate %.4f", fps / emptyFps);
        }
        std::printf("\n");
    }
    if (emptyFps > 0.0) {
        std::printf("empty frame (clear + swap) %8lld frames in %7.2f s: %8.1f fps\n",
                    static_cast<long long>(emptyFrames), emptySeconds, emptyFps);
    }
    std::fflush(stdout);
}

// Timer first (no tick after this), then the window (its listeners hear the close),
// the renderer's shutdown hook, the controller and the renderer.
ZRNShowApp::~ZRNShowApp() {
    m_timer.reset();
    m_window.reset();
    if (m_renderer) {
        m_renderer->OnShutdown();
    }
    m_controller.reset();
    m_renderer.reset();
}

bool ZRNShowApp::InitInstance() {
    m_window = std::make_unique<ZRNBackendWindow>(m_show.title.c_str(), m_show.width, m_show.height,
                                                  m_show.bitsPerPixel);
    m_window->SetFullScreen(!m_windowed);
    m_renderer = std::make_unique<ZRNBackendRenderer>(m_window.get());
    // The loop runs as fast as it can; frame-counting scenes assume it.
    m_renderer->SetSwapInterval(0);
    m_timer = std::make_unique<ZRNBackendTimer>();
    // Paced, the program delivers the ticks itself.
    m_controller = std::make_unique<ZRNShowController>(m_show, m_window.get(), m_renderer.get(),
                                                       m_paced ? nullptr : m_timer.get());
    if (!m_controller->Init()) {
        KVLMessageBox("Error creating application", "Error");
        return false;
    }
    m_window->AddListener(&m_keys);
    m_stepper = std::make_unique<ZRNShowStepper>(m_controller.get());
    m_clock.Start(std::chrono::steady_clock::now(), 0);
    if (m_startTick > 0 && !SeekTo(m_startTick)) {
        KVLMessageBox("Error creating application", "Error");
        return false;
    }
    return true;
}

void ZRNShowApp::OnKey(int32_t key) {
    if (!m_controller || !m_controller->IsRunning()) {
        return;
    }
    const ZRNShowViewerAction action = ZRNShowViewerKey(m_controller->GetTimeline(), key, GetTick());
    if (action.kind == ZRNShowViewerAction::kTogglePause) {
        SetPaused(!m_paused);
    } else if (action.kind == ZRNShowViewerAction::kSeek) {
        SeekTo(action.tick);
    }
}

void ZRNShowApp::OnExposed() {
    m_redraw = m_paused;
}

// The viewer's transitions. The show is in one of three states: playing (natively the
// timer ticks and the loop draws a frame step per pass; paced the loop runs the steps
// due by the show clock), paused (ticks held, clock stopped, music held) or over
// (ended, closed, or a seek failed). Each transition below moves between them; the two
// ways of running differ only in who delivers the ticks (HoldTicks, ReleaseTicks).

void ZRNShowApp::HoldTicks() {
    if (!m_paced) {
        // No tick from the timer thread while the show stands or is stepped here.
        m_timer->Stop();
    }
}

void ZRNShowApp::ReleaseTicks() {
    if (!m_paced) {
        m_timer->Start();
    }
}

void ZRNShowApp::SetPaused(bool paused, std::chrono::steady_clock::time_point at) {
    if (paused == m_paused || !m_controller->IsRunning()) {
        return;
    }
    if (paused) {
        Pause(at);
    } else {
        GoOn();
    }
}

void ZRNShowApp::Pause(std::chrono::steady_clock::time_point at) {
    const auto now = std::chrono::steady_clock::now();
    m_paused = true;
    HoldTicks();
    m_clock.Pause(at < now ? at : now);
    m_controller->PauseMusic();
    if (m_paced && now - at > kLatePause) {
        // Asked a while ago (a hidden page gets no passes) while the music played on:
        // it goes on from where the show stopped, not from where it got to.
        m_controller->PlayMusicAtFrame(m_stepper->GetTime().SoundFrameOfStep(m_clock.StepAt(now), m_controller->GetMusicRate()));
    }
}

bool ZRNShowApp::GoOn() {
    // The time stood still or spent seeking is no frame's time (--bench).
    m_last = std::chrono::steady_clock::now();
    m_paused = false;
    m_controller->ResumeMusic();
    m_clock.Resume(std::chrono::steady_clock::now());
    ReleaseTicks();
    return true;
}

// The music of a seek: a drawn step of a scene that shows it (the oscilloscope) is
// drawn with the music of its own moment, as a shot draws it (a restart takes a few
// milliseconds).
class ZRNShowApp::SeekMusic : public ZRNShowStepper::Music {
public:
    explicit SeekMusic(ZRNShowController* controller) : m_controller(controller) {}
    bool BringTo(int64_t step) override {
        return PlayFrom(m_controller->GetTimeline().GetTime().SoundFrameOfStep(step, m_controller->GetMusicRate()));
    }
    bool PlayFrom(int64_t frame) {
        m_playingFrom = frame;
        m_failed = !m_controller->PlayMusicAtFrame(frame);
        return !m_failed;
    }
    int64_t PlayingFrom() const { return m_playingFrom; }
    bool Failed() const { return m_failed; }

private:
    ZRNShowController* m_controller;
    int64_t m_playingFrom = -1;
    bool m_failed = false;
};

bool ZRNShowApp::SeekTo(int32_t tick) {
    tick = ZRNShowViewerClampTick(m_controller->GetTimeline(), tick);
    HoldTicks();
    // Back, or on from a show whose own frames went through a switch (ZRNShowStepper::
    // NeedsRestart): the show starts again and is stepped to the tick.
    if (tick < m_controller->GetTickCount() || m_stepper->NeedsRestart()) {
        if (!m_controller->Rewind()) {
            // The scene's own failure has been shown (as at start-up).
            return SeekFailed(tick, "the scenes cannot be built again");
        }
        m_stepper->SetNextStep(0);
    } else {
        // Forward from the current tick; after a paused landing the stepper is still
        // where that left it (see ZRNShowStepper::Resync).
        m_stepper->Resync();
    }
    // Drawn as a shot draws it; in the end the music plays from the tick's own sample.
    const int64_t target = ZRNShowTime::StepOfTick(tick);
    const int64_t tickFrame = m_show.GetTime().SoundFrameOfTick(tick, m_controller->GetMusicRate());
    SeekMusic music(m_controller.get());
    if (!m_stepper->StepToShot(target, &music, ZRNShowStepper::Follow::ShownMusic)) {
        return SeekFailed(tick, music.Failed() ? "the music cannot play from there" : "the show stopped on the way");
    }
    if (music.PlayingFrom() != tickFrame && !music.PlayFrom(tickFrame)) {
        return SeekFailed(tick, "the music cannot play from there");
    }
    m_clock.Start(std::chrono::steady_clock::now(), target + 1);
    if (m_paused) {
        m_clock.Pause(std::chrono::steady_clock::now());
        m_controller->PauseMusic();
        return true;
    }
    return GoOn();
}

bool ZRNShowApp::SeekFailed(int32_t tick, const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "Cannot go to tick %d (%.2f s): %s", tick,
                  m_show.GetTime().SecondsOfTick(tick), what);
    KVLMessageBox(text, "Error");
    m_failed = true;
    m_controller->OnDestroying();
    return false;
}

bool ZRNShowApp::RunDueSteps() {
    const auto now = std::chrono::steady_clock::now();
    // The pictures keep with the music as heard: a device that starts late, queues
    // ahead or falls silent for a while moves the show's clock, not the other way round.
    const int64_t heard = m_followsMusic ? m_controller->GetHeardMusicFrame() : -1;
    if (heard >= 0) {
        m_clock.Follow(now, m_stepper->GetTime().StepOfSoundFrame(heard, m_controller->GetMusicRate()), kFollowSteps);
    }
    const int64_t drawn = m_stepper->GetDrawnSteps();
    m_stepper->StepToPicture(m_clock.StepAt(now), nullptr, ZRNShowStepper::Follow::ShownMusic);
    return m_stepper->GetDrawnSteps() > drawn;
}

int ZRNShowApp::Run(ZRNShowBench* bench) {
    while (Step(bench)) {
    }
    return m_failed ? 1 : 0;
}

bool ZRNShowApp::Step(ZRNShowBench* bench) {
    using Clock = std::chrono::steady_clock;
    const bool measuring = bench != nullptr && bench->enabled;
    ZRNBackendWaitForMessage();
    const int32_t index = m_controller->GetCurrentIndex();
    bool rendering = !m_controller->IsSwitchPending() && index >= 0 && !m_paused;
    if (m_paused) {
        // Nothing moves: the picture stays, and the loop need not spin (paced, the
        // platform spaces the passes; the page's one thread must not wait).
        if (m_redraw && m_controller->Redraw()) {
            ++m_redraws;
        }
        m_redraw = false;
        if (!m_paced) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    } else if (m_paced) {
        rendering = RunDueSteps() && rendering;
    } else {
        const bool inSwitch = m_controller->IsSwitchPending();
        m_controller->FrameStep();
        m_stepper->Detach(inSwitch);
    }
    if (measuring && rendering) {
        const Clock::time_point now = Clock::now();
        if (bench->startupSeconds < 0.0) {
            bench->startupSeconds = std::chrono::duration<double>(now - bench->launch).count();
        } else {
            const size_t i = static_cast<size_t>(index);
            if (bench->frames.size() <= i) {
                bench->frames.resize(i + 1);
                bench->seconds.resize(i + 1);
            }
            bench->seconds[i] += std::chrono::duration<double>(now - m_last).count();
            ++bench->frames[i];
        }
        m_last = now;
    } else if (measuring) {
        m_last = Clock::now();
    }
    const bool keepGoing = ZRNBackendPumpMessages();
    if (keepGoing && m_controller->IsRunning()) {
        return true;
    }
    if (m_controller->IsRunning()) {
        // Asked to quit by the system: end the show as a window close would.
        m_controller->OnDestroying();
    } else if (measuring && bench->timeEmptyFrame && m_controller->GetTickCount() >= m_controller->GetTimeline().GetEndTick()) {
        // The show ran to its end: the window is still there.
        TimeEmptyFrames(bench);
    }
    return false;
}

// The same pass as the show's loop (wait, frame, events) with an empty frame, so the
// two rates differ only by what the scenes draw. The music has stopped by now.
void ZRNShowApp::TimeEmptyFrames(ZRNShowBench* bench) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    double elapsed = 0.0;
    int64_t frames = 0;
    while (elapsed < ZRNShowBench::kEmptySeconds) {
        ZRNBackendWaitForMessage();
        m_renderer->Clear(kZRNShowSceneColour);
        m_renderer->Present();
        ++frames;
        const bool keepGoing = ZRNBackendPumpMessages();
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (!keepGoing) {
            return;
        }
    }
    bench->emptyFrames = frames;
    bench->emptySeconds = elapsed;
}
