// RoomScene: the third scene of the show. A camera flies along 14 keys through a hall
// with a backdrop, a floor, fog, two rows of textured boxes and fifteen MD2
// characters playing frames 0 to 39, each with its own phase. Between scene ticks
// 1091 and 1291 characters 1 to 8 switch one after another (every 25 ticks) to frames
// 189 to 197 and then hold frame 197.
//
// The scene drives its tree with a cycle visitor of its own (value 70, period 1750
// ticks, the scene's share of the timeline) instead of the shared tick visitor.
// Character switches decided in one frame show from the next.
//
// Threads: only the base's atomic tick counter is shared with the timer thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/scenes/demo_scene.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_node.h"
#include "scene/zrn_payloads.h"

class RoomScene : public DemoScene {
public:
    static constexpr int32_t kPeriod = 1750;
    static constexpr int32_t kCameraKeys = 14;
    static constexpr int32_t kCharacters = 15;
    static constexpr int32_t kSwitchedCharacters = 8;
    static constexpr int32_t kSwitchStart = 1090;
    static constexpr int32_t kHoldStart = 1115;
    static constexpr int32_t kSwitchSpacing = 25;
    static constexpr int32_t kHoldFrame = 197;

    RoomScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor);
    ~RoomScene() override;

    bool Load(KVLString* errorText) override;
    void Render() override;

    // The character switching and the one holding at tick t (-1: none).
    static int32_t SwitchingCharacter(int32_t t);
    static int32_t HoldingCharacter(int32_t t);

    // For tests.
    ZRNNodeCamera* GetRoot() const { return m_root.get(); }
    const ZRNCameraTrack* GetCameraTrack() const { return m_cameraTrack.get(); }
    const ZRNCycleAnimator* GetCameraAnimator() const { return m_cameraAnimator.get(); }
    ZRNNode* GetCharacter(int32_t i) const { return m_characters[static_cast<size_t>(i)]; }
    int32_t GetCharacterCount() const { return static_cast<int32_t>(m_characters.size()); }
    const ZRNCycleAnimator* GetCharacterAnimator(int32_t i) const {
        return m_characterAnimators[static_cast<size_t>(i)].get();
    }
    const ZRNCycleAnimator* GetSwitchAnimator(int32_t i) const { return m_switchAnimators[static_cast<size_t>(i)].get(); }
    const ZRNCycleAnimator* GetHoldAnimator() const { return m_holdAnimators.empty() ? nullptr : m_holdAnimators[0].get(); }

private:
    bool LoadBackdrop(std::unique_ptr<ZRNNode>* backdrop, std::unique_ptr<ZRNNode>* floor, KVLString* errorText);
    // The boxes, each on its place, in order (not yet in the tree).
    bool LoadBoxes(std::vector<std::unique_ptr<ZRNNode>>* boxes);
    bool AddCharacter(ZRNNode* parent, uint32_t modelId, uint32_t skinId, bool flip, float angle, float x, float z,
                      int32_t firstFrame, int32_t endFrame, int32_t startFrame, int32_t rate, KVLString* errorText);

    std::unique_ptr<ZRNCycleVisitor> m_cycleVisitor;
    std::unique_ptr<ZRNCameraTrack> m_cameraTrack;
    std::unique_ptr<ZRNNodeCamera> m_root;
    std::unique_ptr<ZRNCycleAnimator> m_cameraAnimator;
    std::unique_ptr<ZRNFogSettings> m_fog;
    // Fog off, and fog nodes that only the first drawn frame visits (see Load).
    std::unique_ptr<ZRNFogSettings> m_noFog;
    std::vector<ZRNNode*> m_firstFrameFog;
    std::vector<std::unique_ptr<ZRNCycleAnimator>> m_characterAnimators;
    std::vector<std::unique_ptr<ZRNCycleAnimator>> m_switchAnimators;
    std::vector<std::unique_ptr<ZRNCycleAnimator>> m_holdAnimators;
    std::vector<ZRNNode*> m_characters;
};
