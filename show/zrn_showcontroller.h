// ZRNShowController: a show playing. Init builds the sound chain and the show's scenes,
// loads every scene, opens the window and the renderer, starts the music and the
// timer; FrameStep (main loop) renders the current scene or works through a scene
// switch; OnTick (timer thread) counts the show's ticks and flags the switches.
//
// Timeline: each scene is left at its chapter's end tick. A switch takes the show's
// gap of frame steps (ten for the demo): the first deletes the old scene and empties
// the renderer's texture cache, the others count, the last installs the next scene.
// After the last scene's end tick the music stops and the running flag clears; heard
// live, the music itself ends at that tick's sample (the player's end frame), whenever
// the frame step that sees the end comes.
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
// scenes come from CreateScenes (by default the show's chapters make them; tests make
// their own).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/kvl_timer.h"
#include "platform/kvl_window.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_renderer.h"
#include "scene/zrn_rendervisitor.h"
#include "show/zrn_show.h"
#include "show/zrn_showscene.h"
#include "show/zrn_showtimeline.h"
#include "sound/kvl_soundoutput.h"
#include "sound/kvl_soundplayer.h"
#include "sound/kvl_soundstreamer.h"

class ZRNShowController : public KVLWindowListener {
public:

    // None is owned; window and timer may be null (see the file header). The show
    // outlives the controller; the window and the timer must be gone, or at least
    // stopped, before it.
    ZRNShowController(const ZRNShowDescription& show, KVLWindow* window, ZRNRendererInterface* renderer,
                      KVLTimer* timer);
    ~ZRNShowController() override;
    ZRNShowController(const ZRNShowController&) = delete;
    ZRNShowController& operator=(const ZRNShowController&) = delete;

    // False after any failure, having shown a box for the failures that have a text.
    bool Init();
    // draw false: the same step with the scene's drawing off (see ZRNShowScene).
    void FrameStep(bool draw = true);
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    // The timer callback; context is the controller.
    static void OnTick(int32_t argument, void* context);
    bool OnDestroying() override;

    const ZRNShowDescription& GetShow() const { return m_show; }
    const ZRNShowTimeline& GetTimeline() const { return m_timeline; }
    int32_t GetTickCount() const { return m_tickCount.load(std::memory_order_acquire); }
    bool IsSwitchPending() const { return m_switchPending.load(std::memory_order_acquire); }
    ZRNShowScene* GetCurrentScene() const { return m_current.load(std::memory_order_acquire); }
    // Scene list entry i (null once deleted).
    ZRNShowScene* GetScene(int32_t i) const;
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
    // Appends the scenes in show order through AddScene: by default those the show's
    // chapters make.
    virtual void CreateScenes();
    void AddScene(std::unique_ptr<ZRNShowScene> scene);

    ZRNRendererInterface* GetRenderer() const { return m_renderer; }
    ZRNRenderVisitor* GetRenderVisitor() const { return m_renderVisitor.get(); }
    ZRNTickVisitor* GetTickVisitor() const { return m_tickVisitor.get(); }

private:
    void Tick();
    void DeleteScene(int32_t index);
    bool LoadScenes();

    std::atomic<bool> m_running{false};
    const ZRNShowDescription& m_show;
    const ZRNShowTimeline m_timeline;
    KVLWindow* m_window;
    ZRNRendererInterface* m_renderer;
    KVLTimer* m_timer;
    std::unique_ptr<ZRNTickVisitor> m_tickVisitor;
    std::unique_ptr<ZRNRenderVisitor> m_renderVisitor;
    std::atomic<ZRNShowScene*> m_current{nullptr};
    std::vector<std::unique_ptr<ZRNShowScene>> m_scenes;
    std::unique_ptr<KVLSoundOutput> m_output;
    std::unique_ptr<KVLSoundStreamer> m_streamer;
    std::unique_ptr<KVLSoundPlayer> m_player;
    std::atomic<int32_t> m_tickCount{0};
    std::atomic<int32_t> m_pendingTick{0};
    int32_t m_nextScene = 0;
    std::atomic<bool> m_switchPending{false};
    // Frame steps of the gap so far; the show's gapSteps when no gap is in progress.
    // Main thread.
    int32_t m_gap;
    KVLString m_wavPath;
    KVLSoundOutputWAV* m_wav = nullptr;
    std::mutex m_sceneLock;
};
