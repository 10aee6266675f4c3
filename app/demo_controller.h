// DemoController: the show itself. Init builds the sound chain and the five scenes,
// loads every scene, opens the window and the renderer, starts the music and the
// timer; FrameStep (main loop) renders the current scene or works through a scene
// switch; OnTick (timer thread) counts the 14 ms ticks and flags the switches.
//
// Timeline: the scenes are left at ticks 280, 1120, 2870, 5530 and 5880. A switch
// takes ten frame steps: the first deletes the old scene and empties the renderer's
// texture cache, nine more count, the last installs the next scene. After tick 5880
// the music stops and the running flag clears.
//
// Threads: OnTick runs on the timer thread, everything else on the main thread. The
// fields they share are atomic; the pending switch tick is stored before the pending
// flag is raised (release) and read after it is seen (acquire). One small lock covers
// OnTick's call into the current scene and the frame step's deletion and installation
// of scenes, so a tick can never reach a scene that is being deleted.
//
// A viewer may pause, rewind and move the show on (see Rewind); the timeline above
// holds all the same.
//
// Variants: without a window (offscreen pictures) nothing is opened but the renderer;
// without a timer the caller drives the ticks by calling OnTick itself; the sound may
// go to a WAV file played by the caller's clock instead of the default device. The
// scenes come from CreateScenes (DemoShowController makes the show's five; tests make
// their own).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "app/scenes/demo_scene.h"
#include "platform/kvl_timer.h"
#include "platform/kvl_window.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_renderer.h"
#include "scene/zrn_rendervisitor.h"
#include "sound/kvl_soundoutput.h"
#include "sound/kvl_soundplayer.h"
#include "sound/kvl_soundstreamer.h"

class DemoController : public KVLWindowListener {
public:
    static constexpr int32_t kTickMs = 14;
    static constexpr int32_t kTicksPerSecond = 70;
    static constexpr int32_t kSceneCount = 5;
    static constexpr std::array<int32_t, kSceneCount> kSwitchTicks = {280, 1120, 2870, 5530, 5880};
    static constexpr int32_t kGapSteps = 10;
    static constexpr uint32_t kMusicId = 100;

    // None of the three is owned; window and timer may be null (see the file header).
    // The window and the timer must be gone, or at least stopped, before the controller.
    DemoController(KVLWindow* window, ZRNRendererInterface* renderer, KVLTimer* timer);
    ~DemoController() override;
    DemoController(const DemoController&) = delete;
    DemoController& operator=(const DemoController&) = delete;

    // False after any failure, having shown a box for the failures that have a text.
    bool Init();
    // draw false: the same step with the scene's drawing off (see DemoScene).
    void FrameStep(bool draw = true);
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    // The timer callback; context is the controller.
    static void OnTick(int32_t argument, void* context);
    bool OnDestroying() override;

    int32_t GetTickCount() const { return m_tickCount.load(std::memory_order_acquire); }
    bool IsSwitchPending() const { return m_switchPending.load(std::memory_order_acquire); }
    DemoScene* GetCurrentScene() const { return m_current.load(std::memory_order_acquire); }
    // Scene list entry i (null once deleted).
    DemoScene* GetScene(int32_t i) const;
    KVLSoundPlayer* GetPlayer() const { return m_player.get(); }
    KVLSoundOutput* GetSoundOutput() const { return m_output.get(); }
    // Index of the current scene in the list, -1 when none.
    int32_t GetCurrentIndex() const;
    // A viewer in control (main thread, with the timer stopped): Rewind puts the show
    // back to its start, every scene built and loaded anew (false with a box, as Init,
    // when one fails to load); the running show's music is left alone. PlayMusicAtTick
    // restarts the music at the sound frame of a tick (exactly: the decoder starts
    // again and skips to it); false when it cannot. PauseMusic
    // holds the music where it is; ResumeMusic goes on from there.
    bool Rewind();
    bool PlayMusicAtTick(int32_t tick);
    bool PlayMusicAtFrame(int64_t frame);
    int32_t GetMusicRate() const;
    void PauseMusic();
    void ResumeMusic();
    // A viewer that paused (main thread, timer stopped): the current scene draws its
    // picture again, ticks and music as they are; false when there is nothing to draw
    // (no scene, or a switch under way).
    bool Redraw();
    // The music's frame being heard, once some of it has been heard since it last
    // started (a device starts a moment after the music does); -1 while nothing is
    // heard: not started yet, held, stopped or ended.
    int64_t GetHeardMusicFrame();
    // Before Init: the music plays into this WAV file, advanced by the caller.
    void UseWAVOutput(const KVLString& path) { m_wavPath = path; }
    KVLSoundOutputWAV* GetWAVOutput() const { return m_wav; }

protected:
    virtual std::unique_ptr<KVLSoundOutput> CreateSoundOutput();
    // Appends the scenes in show order through AddScene.
    virtual void CreateScenes() = 0;
    void AddScene(std::unique_ptr<DemoScene> scene);

    ZRNRendererInterface* GetRenderer() const { return m_renderer; }
    ZRNRenderVisitor* GetRenderVisitor() const { return m_renderVisitor.get(); }
    ZRNTickVisitor* GetTickVisitor() const { return m_tickVisitor.get(); }

private:
    void Tick();
    void DeleteScene(int32_t index);
    bool LoadScenes();

    std::atomic<bool> m_running{false};
    KVLWindow* m_window;
    ZRNRendererInterface* m_renderer;
    KVLTimer* m_timer;
    std::unique_ptr<ZRNTickVisitor> m_tickVisitor;
    std::unique_ptr<ZRNRenderVisitor> m_renderVisitor;
    std::atomic<DemoScene*> m_current{nullptr};
    std::vector<std::unique_ptr<DemoScene>> m_scenes;
    std::unique_ptr<KVLSoundOutput> m_output;
    std::unique_ptr<KVLSoundStreamerMP3> m_streamer;
    std::unique_ptr<KVLSoundPlayer> m_player;
    std::atomic<int32_t> m_tickCount{0};
    std::atomic<int32_t> m_pendingTick{0};
    int32_t m_nextScene = 0;
    std::atomic<bool> m_switchPending{false};
    // Frame steps of the gap so far; kGapSteps when no gap is in progress. Main thread.
    int32_t m_gap = kGapSteps;
    KVLString m_wavPath;
    KVLSoundOutputWAV* m_wav = nullptr;
    std::mutex m_sceneLock;
};
