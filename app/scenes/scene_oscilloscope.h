// OscilloCreditsScene: the second scene of the show. A fixed camera looks at two
// textured rectangles: a 256 x 256 oscilloscope of the left channel that the sound
// player is playing right now, redrawn every frame, and above it a strip playing the
// credits animation (resource 50) once, stopping on its last frame.
//
// For its first 300 rendered frames the scene presents nothing, so the screen keeps
// the previous scene's last picture; frames stepped with drawing off count the same. The credits clock counts frames that saw a new
// timer tick: one animation frame per six of them. The scene remembers the tick count
// it last saw instead of zeroing the shared counter, so a tick that lands while a
// frame is being drawn is never lost.
//
// Threads: Tick runs on the timer thread (the base's atomic counter); everything else
// on the main thread. The player's worker may refill its buffers while the scene reads
// the current samples; the player hands out copies, so the trace is at worst from a
// neighbouring moment.
#pragma once

#include <cstdint>
#include <memory>

#include "anim/kvl_anim_mlz.h"
#include "app/scenes/demo_scene.h"
#include "image/kvl_image.h"
#include "scene/zrn_node.h"
#include "scene/zrn_payloads.h"

class KVLSoundPlayer;

class OscilloCreditsScene : public DemoScene {
public:
    static constexpr int32_t kHoldFrames = 300;
    static constexpr int32_t kCreditsDivider = 6;
    static constexpr int32_t kScopeSize = 256;
    static constexpr uint32_t kTraceEdge = 0xDF00;
    static constexpr uint32_t kTraceMiddle = 0xFF00;

    // player: not owned, may be null (a silent, flat trace).
    OscilloCreditsScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor,
                        ZRNAnimVisitor* tickVisitor, KVLSoundPlayer* player);
    ~OscilloCreditsScene() override;

    bool Load(KVLString* errorText) override;
    void Render() override;
    bool ShowsMusic() const override { return true; }

    // Drawing state, for tests.
    int32_t GetFramesDrawn() const { return m_framesDrawn; }
    bool IsCreditsRunning() const { return m_creditsRunning; }
    const KVLImage* GetScopeImage() const { return m_scopeImage.get(); }
    const KVLImage* GetCreditsImage() const { return m_creditsImage.get(); }
    const KVLAnimMLZ* GetCredits() const { return m_credits.get(); }

    // Draws the trace of kScopeSize frames (left channel in the low 16 bits) into a
    // cleared kScopeSize x kScopeSize picture; a picture of another size is left alone.
    // The middle row stays between 30 and 225, so the trace never leaves the picture.
    static void DrawTrace(const uint32_t* frames, KVLImage& image);

private:
    void UpdateScope();

    std::unique_ptr<ZRNCameraTrack> m_cameraTrack;
    std::unique_ptr<ZRNNodeCamera> m_root;
    std::unique_ptr<KVLImage> m_scopeImage;
    KVLSoundPlayer* m_player;
    std::unique_ptr<KVLImage> m_creditsImage;
    std::unique_ptr<KVLAnimMLZ> m_credits;

    // Saturates just above the hold, so a long run cannot overflow it.
    int32_t m_framesDrawn = 0;
    int32_t m_creditsStep = 0;
    int32_t m_lastTick = 0;
    bool m_creditsRunning = true;
    uint32_t m_samples[kScopeSize] = {};
};
