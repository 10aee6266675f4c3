// TunnelScene: the fourth scene of the show. A camera circles two animated MD2
// characters between a scrolling floor and ceiling, going once around every 700
// ticks; during seven fixed stretches of the scene's tick count the view cuts to a
// full-screen MLZ animation (resource 200) and back. The animation advances one frame
// every 4 ticks on the timer thread, shown or not. When a cut ends the renderer's
// texture cache is emptied once.
//
// A "Ride Tunnel" branch with the "Tunnel" texture is built (its texture must load)
// but stays disabled.
//
// Threads: Tick runs on the timer thread and advances the animation; Render copies
// its current frame on the main thread. The animation publishes each decoded frame
// under its own lock, so the copy is always one whole frame. The tick counter and the
// animation step are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "anim/kvl_anim_mlz.h"
#include "app/scenes/demo_scene.h"
#include "image/kvl_image.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_node.h"
#include "scene/zrn_payloads.h"

class TunnelScene : public DemoScene {
public:
    static constexpr int32_t kAnimationDivider = 4;
    static constexpr int32_t kStretchCount = 7;
    struct Stretch {
        int32_t first;
        int32_t last;  // inclusive
    };
    static const Stretch kStretches[kStretchCount];

    TunnelScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor);
    ~TunnelScene() override;

    bool Load(KVLString* errorText) override;
    void Render() override;
    void Tick() override;

    // True when tick t lies inside one of the stretches.
    static bool IsAnimationTick(int32_t t);

    // For tests.
    bool IsShowingAnimation() const { return m_showingAnimation; }
    ZRNNodeFoo* GetRoot() const { return m_root.get(); }
    ZRNNodeCamera* GetRideCamera() const { return m_rideCamera; }
    ZRNNodeCamera* GetAnimationCamera() const { return m_animationCamera; }
    ZRNNode* GetRideOut() const { return m_rideOut; }
    ZRNNode* GetRideTunnel() const { return m_rideTunnel; }
    const KVLAnimMLZ* GetAnimation() const { return m_animation.get(); }
    const KVLImage* GetAnimationImage() const { return m_animationImage.get(); }
    int32_t GetAnimatorCount() const { return static_cast<int32_t>(m_animators.size()); }
    const ZRNLoopAnimator* GetAnimator(int32_t i) const { return m_animators[static_cast<size_t>(i)].get(); }

private:
    bool LoadRideOut(ZRNNode* parent, KVLString* errorText);
    bool LoadRideTunnel(ZRNNode* parent, KVLString* errorText);
    bool AddCharacter(ZRNNode* parent, uint32_t modelId, uint32_t skinId, bool flip, float angle, float x, float y,
                      float z, int32_t firstFrame, int32_t endFrame, int32_t rate, KVLString* errorText);
    ZRNLoopAnimator* NewAnimator(int32_t rate, int32_t cycleLength);
    void ChooseView(int32_t t);

    std::unique_ptr<KVLImage> m_animationImage;
    std::unique_ptr<KVLAnimMLZ> m_animation;
    std::unique_ptr<ZRNCameraTrack> m_rideTrack;
    std::unique_ptr<ZRNCameraTrack> m_animationTrack;
    std::unique_ptr<ZRNNodeFoo> m_root;
    ZRNNodeCamera* m_rideCamera = nullptr;
    ZRNNodeCamera* m_animationCamera = nullptr;
    ZRNNode* m_rideOut = nullptr;
    ZRNNode* m_rideTunnel = nullptr;
    std::vector<std::unique_ptr<ZRNLoopAnimator>> m_animators;

    // Timer thread only, atomic all the same so that a test may drive Tick from any
    // thread.
    std::atomic<int32_t> m_animationStep{0};
    bool m_showingAnimation = false;
    // The animation frame last copied into the picture: a frame step that finds the
    // animation still on it has nothing to copy (the frame moves every fourth tick).
    int32_t m_copiedFrame = -1;
};
