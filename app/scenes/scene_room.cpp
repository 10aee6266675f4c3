// The room scene.
#include "app/scenes/scene_room.h"

#include <numbers>

#include "app/demo_resources.h"
#include "scene/zrn_builders.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

template <class T>
T* Attach(ZRNNode* parent, std::unique_ptr<T> child) {
    T* raw = child.get();
    parent->AddChild(std::move(child));
    return raw;
}

struct CameraKey {
    KVLVector3 eye;
    KVLVector3 target;
};

constexpr CameraKey kCameraPath[RoomScene::kCameraKeys] = {
    {{1.0f, 1.9f, -6.0f}, {0.0f, 0.0f, 3.5f}},   {{-0.3f, -0.3f, 1.0f}, {0.0f, 0.5f, 5.5f}},
    {{0.3f, -0.3f, 1.5f}, {0.1f, 0.0f, 3.5f}},   {{-0.3f, -0.3f, 1.2f}, {0.1f, 0.0f, 3.7f}},
    {{0.3f, 0.0f, 1.7f}, {0.0f, 0.0f, 2.0f}},    {{0.3f, 1.0f, -3.0f}, {0.0f, 0.0f, -4.0f}},
    {{0.0f, 0.0f, -2.5f}, {0.0f, 0.0f, -4.3f}},  {{0.0f, 0.5f, 0.0f}, {0.0f, 0.0f, 2.0f}},
    {{-0.3f, -0.2f, 1.0f}, {0.0f, -0.5f, 3.0f}}, {{0.3f, 0.0f, 0.5f}, {0.0f, -0.5f, 3.5f}},
    {{0.3f, -0.2f, 0.5f}, {0.0f, 0.5f, 2.5f}},   {{-0.3f, 1.0f, 0.0f}, {0.0f, 0.0f, 2.0f}},
    {{0.3f, 1.0f, -0.5f}, {0.0f, 0.0f, 2.0f}},   {{0.3f, 1.2f, 0.3f}, {0.0f, 0.0f, 2.0f}},
};

// Wall materials in the order they join the material list; the boxes name them by
// index.
enum Wall { kWall1, kWall2, kWall3, kWall4, kCeiling, kWallCount };
constexpr uint32_t kWallResources[kWallCount] = {20, 21, 22, 23, 24};
constexpr const char* kWallNames[kWallCount] = {"Wall1", "Wall2", "Wall3", "Wall4", "Ceilling"};

struct Box {
    float height;
    float depth;
    Wall wall;
    float x;
    float z;
};

constexpr Box kBoxes[] = {
    {2.3f, 2.2f, kWall4, -1.5f, 6.4f}, {2.7f, 1.1f, kWall2, -1.5f, 4.4f},  {0.8f, 2.3f, kWall3, -1.5f, 2.5f},
    {1.0f, 2.0f, kWall1, -1.5f, 0.0f}, {2.5f, 1.0f, kWall2, -1.5f, -1.8f}, {2.0f, 2.2f, kWall4, -1.5f, -3.5f},
    {1.3f, 1.9f, kWall3, -1.5f, -5.7f}, {1.1f, 1.5f, kWall1, -1.5f, -7.7f}, {1.3f, 1.5f, kWall1, 1.5f, 5.6f},
    {2.3f, 2.0f, kWall4, 1.5f, 3.5f},  {2.6f, 1.0f, kWall2, 1.5f, 1.8f},   {1.0f, 2.5f, kWall3, 1.5f, 0.0f},
    {1.3f, 2.0f, kWall1, 1.5f, -2.5f}, {2.3f, 0.9f, kWall2, 1.5f, -4.5f},  {2.3f, 2.0f, kWall4, 1.5f, -6.2f},
};

struct Character {
    uint32_t model;
    uint32_t skin;
    bool flip;
    float angle;
    float x;
    float z;
    int32_t startFrame;
};

constexpr Character kCharacterTable[RoomScene::kCharacters] = {
    {4, 6, true, kPi / 2, 0.0f, 1.7f, 0},     {4, 5, true, kPi / 2, 0.3f, 2.2f, 10},
    {4, 7, true, kPi / 2, -0.3f, 2.0f, 20},   {8, 9, true, kPi / 2, -0.4f, 1.6f, 30},
    {8, 9, true, kPi / 2, 0.4f, 1.8f, 30},    {10, 11, true, kPi / 2, 0.12f, 1.7f, 35},
    {10, 12, true, kPi / 2, -0.1f, 2.2f, 15}, {10, 13, true, kPi / 2, -0.2f, 1.8f, 0},
    {2, 3, false, -kPi / 2, 0.15f, -3.7f, 5}, {2, 3, false, -kPi / 2, 0.45f, -3.7f, 15},
    {2, 3, false, -kPi / 2, -0.15f, -3.7f, 25}, {2, 3, false, -kPi / 2, -0.45f, -3.7f, 35},
    {2, 3, false, -kPi / 2, 0.0f, -4.0f, 5},  {2, 3, false, -kPi / 2, 0.3f, -4.0f, 15},
    {2, 3, false, -kPi / 2, -0.3f, -4.0f, 25},
};

constexpr int32_t kCharacterFirstFrame = 0;
constexpr int32_t kCharacterEndFrame = 40;
constexpr int32_t kCharacterRate = 13;
constexpr int32_t kSwitchFirstFrame = 189;
constexpr int32_t kSwitchRate = 20;
constexpr int32_t kHoldRate = 15;
constexpr float kFloorY = -0.5f;
constexpr float kCharacterY = -0.34f;

void AttachToCharacter(ZRNNode* character, ZRNAnimator* animator) {
    ZRNAttachTimeSource(character, animator, "ZRNNodeMesh", KVLString(kZRNQuake2MeshNodeName));
}

}  // namespace

RoomScene::RoomScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor)
    : DemoScene(renderer, renderVisitor, tickVisitor),
      m_cycleVisitor(std::make_unique<ZRNCycleVisitor>(0.0f, 70, kPeriod)) {
    m_tickVisitor = m_cycleVisitor.get();
}

RoomScene::~RoomScene() {
    m_root.reset();
    m_cameraAnimator.reset();
    m_cameraTrack.reset();
    m_fog.reset();
    m_characterAnimators.clear();
    m_switchAnimators.clear();
    m_holdAnimators.clear();
    m_characters.clear();
}

bool RoomScene::Load(KVLString* errorText) {
    m_cameraTrack = std::make_unique<ZRNCameraTrack>();
    m_root = std::make_unique<ZRNNodeCamera>(m_cameraTrack.get());
    m_cameraAnimator = std::make_unique<ZRNCycleAnimator>(70, false);
    m_root->SetTimeSource(m_cameraAnimator.get());
    for (int32_t i = 0; i < kCameraKeys; ++i) {
        m_cameraAnimator->AddKey(i);
        m_cameraTrack->AddKey(kCameraPath[i].eye);
        m_cameraTrack->targets[i] = kCameraPath[i].target;
    }

    // Drawn near to far as far as a fixed order goes: characters, floor, boxes and last
    // the backdrop that surrounds everything, so that the software rasteriser skips
    // shading wherever a nearer surface is already in the depth buffer. Every surface
    // is opaque and depth-tested (less or equal), so each pixel keeps its nearest
    // fragment whatever the order; only fragments of equal depth go to the one drawn
    // last. The boxes stand on the floor and meet it in such fragments: they stay
    // after it, as they were. The characters and the backdrop touch nothing.
    //
    // The fog used to be set after the backdrop and the floor: in the first frame
    // they were drawn without it (no scene before sets fog). Fog nodes that only the
    // first frame visits keep that, and leave the room's fog set for the next scene.
    m_fog = std::make_unique<ZRNFogSettings>(-20.0f, 20.0f, 0.2f, KVLVector3(1.0f, 1.0f, 1.0f));
    m_noFog = std::make_unique<ZRNFogSettings>();
    const auto firstFrameFog = [this](ZRNFogSettings* fog) {
        m_firstFrameFog.push_back(Attach(m_root.get(), std::make_unique<ZRNNodeFog>(fog)));
    };
    //
    // Loaded in the room's own order (backdrop, floor, boxes, characters), so that with
    // several members missing the first one's text is the one shown; attached in the
    // drawing order above.
    std::unique_ptr<ZRNNode> backdrop;
    std::unique_ptr<ZRNNode> floor;
    if (!LoadBackdrop(&backdrop, &floor, errorText)) {
        return false;
    }
    std::vector<std::unique_ptr<ZRNNode>> boxes;
    if (!LoadBoxes(&boxes)) {
        return false;
    }
    Attach(m_root.get(), std::make_unique<ZRNNodeFog>(m_fog.get()));
    for (const Character& c : kCharacterTable) {
        if (!AddCharacter(m_root.get(), c.model, c.skin, c.flip, c.angle, c.x, c.z, kCharacterFirstFrame,
                          kCharacterEndFrame, c.startFrame, kCharacterRate, errorText)) {
            return false;
        }
    }
    firstFrameFog(m_noFog.get());
    m_root->AddChild(std::move(floor));
    firstFrameFog(m_fog.get());
    for (std::unique_ptr<ZRNNode>& box : boxes) {
        m_root->AddChild(std::move(box));
    }
    firstFrameFog(m_noFog.get());
    m_root->AddChild(std::move(backdrop));
    firstFrameFog(m_fog.get());

    for (int32_t i = 0; i < kCharacters; ++i) {
        auto animator = std::make_unique<ZRNCycleAnimator>(kSwitchRate, true);
        for (int32_t frame = kSwitchFirstFrame; frame <= kHoldFrame; ++frame) {
            animator->AddKey(frame);
        }
        m_switchAnimators.push_back(std::move(animator));
    }
    auto hold = std::make_unique<ZRNCycleAnimator>(kHoldRate, true);
    hold->AddKey(kHoldFrame);
    m_holdAnimators.push_back(std::move(hold));
    return true;
}

bool RoomScene::LoadBackdrop(std::unique_ptr<ZRNNode>* backdrop, std::unique_ptr<ZRNNode>* floor,
                             KVLString* errorText) {
    ZRNBackgroundBuilder background(GetDemoResource(0), 24.0f, 12.0f, 2.0f);
    *backdrop = AdoptBuild(background, errorText);
    if (*backdrop == nullptr) {
        return false;
    }

    std::unique_ptr<ZRNNodeMaterial> floorMaterial = AddTexturedMaterial(1, KVLString("Floor"), 4, false);
    if (floorMaterial == nullptr) {
        return false;
    }
    const ZRNMesh* grid = AddMesh(ZRNMesh::MakeGrid(20.0f, 20.0f, 10));
    *floor = AddTransform(0, 0.0f, kFloorY, 0.0f);
    ZRNNode* node = Attach(floor->get(), AddTransform(2, kPi / 2, 0.0f, 0.0f));
    node = Attach(node, std::move(floorMaterial));
    Attach(node, std::make_unique<ZRNNodeMesh>(grid, nullptr));
    return true;
}

bool RoomScene::LoadBoxes(std::vector<std::unique_ptr<ZRNNode>>* boxes) {
    std::unique_ptr<KVLImage> images[kWallCount];
    for (int32_t i = 0; i < kWallCount; ++i) {
        images[i] = LoadSceneImage(*GetDemoResource(kWallResources[i]), nullptr);
        if (images[i] == nullptr) {
            return false;
        }
    }
    const ZRNMaterial* materials[kWallCount];
    for (int32_t i = 0; i < kWallCount; ++i) {
        materials[i] =
            AddMaterial(std::make_unique<ZRNMaterial>(KVLString(kWallNames[i]), 4, false, images[i].get(), false));
        images[i].reset();
    }
    for (const Box& box : kBoxes) {
        ZRNWallBoxBuilder builder(1.0f, box.height, box.depth, materials[box.wall], materials[kCeiling], false);
        std::unique_ptr<ZRNNode> node = AdoptBuild(builder, nullptr);
        if (node == nullptr) {
            return false;
        }
        std::unique_ptr<ZRNNode> place = AddTransform(0, box.x, box.height / 2 + kFloorY, box.z);
        place->AddChild(std::move(node));
        boxes->push_back(std::move(place));
    }
    return true;
}

bool RoomScene::AddCharacter(ZRNNode* parent, uint32_t modelId, uint32_t skinId, bool flip, float angle, float x,
                             float z, int32_t firstFrame, int32_t endFrame, int32_t startFrame, int32_t rate,
                             KVLString* errorText) {
    std::unique_ptr<ZRNNode> model = LoadModelMD2(GetDemoResource(modelId), GetDemoResource(skinId), flip, errorText);
    if (model == nullptr) {
        return false;
    }
    ZRNNode* scale = Attach(parent, AddUniformTransform(1, 0.2f));
    ZRNNode* turn = Attach(scale, AddTransform(2, 0.0f, angle, 0.0f));

    auto animator = std::make_unique<ZRNCycleAnimator>(rate, true);
    int32_t frame = startFrame;
    for (int32_t i = 0; i < endFrame - firstFrame; ++i) {
        animator->AddKey(frame);
        frame = frame + 1 >= endFrame ? firstFrame : frame + 1;
    }
    animator->AddKey(startFrame);

    auto placeTrack = std::make_unique<ZRNTransformTrack>(ZRNTransformTranslate, true);
    placeTrack->keys.Add(KVLVector3(x, kCharacterY, z));
    ZRNNode* place = Attach(turn, std::make_unique<ZRNNodeTransformation>(AddTrack(std::move(placeTrack))));

    std::unique_ptr<ZRNNode> clone = model->Clone();
    AttachToCharacter(clone.get(), animator.get());
    m_characters.push_back(Attach(place, std::move(clone)));
    m_characterAnimators.push_back(std::move(animator));
    return true;
}

int32_t RoomScene::SwitchingCharacter(int32_t t) {
    int32_t found = -1;
    for (int32_t i = 0; i < kSwitchedCharacters; ++i) {
        if (t > kSwitchStart + kSwitchSpacing * i) {
            found = i;
        }
    }
    return found;
}

int32_t RoomScene::HoldingCharacter(int32_t t) {
    int32_t found = -1;
    for (int32_t j = 0; j < kSwitchedCharacters; ++j) {
        if (t > kHoldStart + kSwitchSpacing * j) {
            found = j;
        }
    }
    return found;
}

void RoomScene::Render() {
    if (m_root == nullptr) {
        return;
    }
    const int32_t t = GetTickCounter();
    if (IsDrawing()) {
        m_renderer->Clear(kZRNShowSceneColour);
    }
    m_tickVisitor->SetTick(t);
    m_root->Accept(*m_tickVisitor);
    if (IsDrawing()) {
        m_root->Accept(*m_renderVisitor);
        m_renderer->Present();
        for (ZRNNode* fog : m_firstFrameFog) {
            fog->SetEnabled(false);
        }
    }

    const int32_t switching = SwitchingCharacter(t);
    const int32_t holding = HoldingCharacter(t);
    // A scene whose Load stopped early has fewer characters and animators than the
    // table; only complete pairs are switched.
    const auto complete = [&](int32_t i) {
        return i >= 0 && static_cast<size_t>(i) < m_characters.size() && static_cast<size_t>(i) < m_switchAnimators.size();
    };
    if (complete(switching)) {
        AttachToCharacter(m_characters[static_cast<size_t>(switching)],
                          m_switchAnimators[static_cast<size_t>(switching)].get());
    }
    if (complete(holding) && !m_holdAnimators.empty()) {
        AttachToCharacter(m_characters[static_cast<size_t>(holding)], m_holdAnimators[0].get());
    }
}
