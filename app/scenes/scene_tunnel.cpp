// The tunnel ride scene.
#include "app/scenes/scene_tunnel.h"

#include <numbers>

#include "app/demo_resources.h"
#include "scene/zrn_builders.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr uint32_t kAnimationResource = 200;

template <class T>
T* Attach(ZRNNode* parent, std::unique_ptr<T> child) {
    T* raw = child.get();
    parent->AddChild(std::move(child));
    return raw;
}

}  // namespace

const TunnelScene::Stretch TunnelScene::kStretches[kStretchCount] = {
    {201, 214}, {401, 439}, {601, 679}, {901, 1099}, {1301, 1549}, {1801, 2199}, {2401, 2899},
};

TunnelScene::TunnelScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor,
                         ZRNAnimVisitor* tickVisitor)
    : DemoScene(renderer, renderVisitor, tickVisitor) {}

TunnelScene::~TunnelScene() {
    m_animationImage.reset();
    m_animation.reset();
    m_root.reset();
    m_rideTrack.reset();
    m_animationTrack.reset();
    m_animators.clear();
}

ZRNLoopAnimator* TunnelScene::NewAnimator(int32_t rate, int32_t cycleLength) {
    m_animators.push_back(std::make_unique<ZRNLoopAnimator>(rate, cycleLength));
    return m_animators.back().get();
}

bool TunnelScene::Load(KVLString* errorText) {
    // The ride camera goes round the square of four eyes, always facing the origin.
    m_rideTrack = std::make_unique<ZRNCameraTrack>();
    const KVLVector3 eyes[] = {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, {-1.0f, 0.0f, 0.0f}};
    for (const KVLVector3& eye : eyes) {
        m_rideTrack->AddKey(eye);
        m_rideTrack->targets[m_rideTrack->targets.GetCount() - 1] = KVLVector3(0.0f, 0.0f, 0.0f);
    }
    auto rideCamera = std::make_unique<ZRNNodeCamera>(m_rideTrack.get());
    ZRNLoopAnimator* rideAnimator = NewAnimator(10, 100);
    for (int32_t key : {0, 1, 2, 3, 0}) {
        rideAnimator->AddKey(key);
    }
    rideCamera->SetTimeSource(rideAnimator);

    m_root = std::make_unique<ZRNNodeFoo>();
    m_animationTrack = std::make_unique<ZRNCameraTrack>();
    m_animationTrack->AddKey(KVLVector3(0.0f, 0.0f, 1.0f));
    m_animationTrack->targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
    m_animationCamera = Attach(m_root.get(), std::make_unique<ZRNNodeCamera>(m_animationTrack.get()));
    m_rideCamera = Attach(m_root.get(), std::move(rideCamera));

    m_animation = std::make_unique<KVLAnimMLZ>();
    if (!m_animation->Open(*GetDemoResource(kAnimationResource), nullptr, errorText)) {
        return false;
    }
    // Open refuses sizes the image type cannot hold.
    m_animationImage = KVLImage::Create(m_animation->GetWidth(), m_animation->GetHeight());
    const ZRNMaterial* material =
        AddMaterial(std::make_unique<ZRNMaterial>(KVLString("PORN ANIM"), 4, false, m_animationImage.get(), true));
    const ZRNMesh* mesh = AddMesh(ZRNMesh::MakeGrid(1.16f, 1.16f, 1));
    ZRNNode* node = Attach(m_animationCamera, AddTransform(2, kPi, 0.0f, 0.0f));
    node = Attach(node, AddTransform(0, 0.0f, 0.0f, 0.0f));
    node = Attach(node, std::make_unique<ZRNNodeMaterial>(material));
    Attach(node, std::make_unique<ZRNNodeMesh>(mesh, nullptr));

    if (!AddCharacter(m_rideCamera, 2, 3, false, kPi / 2, -0.15f, -0.23f, 0.0f, 40, 46, 13, errorText) ||
        !AddCharacter(m_rideCamera, 10, 11, false, kPi / 2, 0.15f, -0.27f, 0.0f, 40, 46, 13, errorText)) {
        return false;
    }

    if (!LoadRideOut(m_rideCamera, errorText) || !LoadRideTunnel(m_rideCamera, errorText)) {
        return false;
    }

    m_rideTunnel->SetEnabled(false);
    m_animationCamera->SetEnabled(false);
    return true;
}

bool TunnelScene::AddCharacter(ZRNNode* parent, uint32_t modelId, uint32_t skinId, bool flip, float angle, float x,
                               float y, float z, int32_t firstFrame, int32_t endFrame, int32_t rate,
                               KVLString* errorText) {
    std::unique_ptr<ZRNNode> model = LoadModelMD2(GetDemoResource(modelId), GetDemoResource(skinId), flip, errorText);
    if (model == nullptr) {
        return false;
    }
    ZRNNode* scale = Attach(parent, AddUniformTransform(1, 0.4f));
    ZRNNode* turn = Attach(scale, AddTransform(2, 0.0f, angle, 0.0f));

    ZRNLoopAnimator* animator = NewAnimator(rate, -1);
    for (int32_t frame = firstFrame; frame < endFrame; ++frame) {
        animator->AddKey(frame);
    }
    animator->AddKey(firstFrame);

    auto placeTrack = std::make_unique<ZRNTransformTrack>(ZRNTransformTranslate, true);
    placeTrack->keys.Add(KVLVector3(x, y, z));
    ZRNNode* place = Attach(turn, std::make_unique<ZRNNodeTransformation>(AddTrack(std::move(placeTrack))));

    std::unique_ptr<ZRNNode> clone = model->Clone();
    ZRNAttachTimeSource(clone.get(), animator, "ZRNNodeMesh", KVLString(kZRNQuake2MeshNodeName));
    place->AddChild(std::move(clone));
    return true;
}

bool TunnelScene::LoadRideOut(ZRNNode* parent, KVLString* errorText) {
    auto group = std::make_unique<ZRNNodeFoo>();
    group->SetName(KVLString("[BRANCH] - Ride Out"));

    std::unique_ptr<ZRNNodeMaterial> floorMaterial = AddTexturedMaterial(1, KVLString("Floor 0"), 4, false);
    if (floorMaterial == nullptr) {
        if (errorText != nullptr) {
            *errorText = "Couldn't read texture Floor";
        }
        return false;
    }
    std::unique_ptr<ZRNNode> ceilingMaterial = floorMaterial->Clone();

    const ZRNMesh* grid = AddMesh(ZRNMesh::MakeGrid(20.0f, 20.0f, 10));
    auto floorMesh = std::make_unique<ZRNNodeMesh>(grid, nullptr);
    auto ceilingMesh = std::make_unique<ZRNNodeMesh>(grid, nullptr);
    // Both planes scroll by one cell every two seconds (the grid's second frame is the
    // first moved by one cell).
    for (ZRNNodeMesh* mesh : {floorMesh.get(), ceilingMesh.get()}) {
        ZRNLoopAnimator* scroll = NewAnimator(1, -1);
        scroll->AddKey(0);
        scroll->AddKey(1);
        mesh->SetTimeSource(scroll);
    }

    ZRNNode* node = Attach(group.get(), AddTransform(0, 0.0f, -0.5f, 0.0f));
    node = Attach(node, AddTransform(2, kPi / 2, 0.0f, 0.0f));
    node = Attach(node, std::move(floorMaterial));
    node->AddChild(std::move(floorMesh));

    node = Attach(group.get(), AddTransform(0, 0.0f, 0.5f, 0.0f));
    node = Attach(node, AddTransform(2, kPi / 2, 0.0f, 0.0f));
    node = Attach(node, std::move(ceilingMaterial));
    node->AddChild(std::move(ceilingMesh));

    m_rideOut = Attach(parent, std::move(group));
    return true;
}

bool TunnelScene::LoadRideTunnel(ZRNNode* parent, KVLString* errorText) {
    auto group = std::make_unique<ZRNNodeFoo>();
    group->SetName(KVLString("[BRANCH] - Ride Tunnel"));
    const KVLString name("Tunnel");
    std::unique_ptr<ZRNNodeMaterial> material = AddTexturedMaterial(30, name, 4, false);
    if (material == nullptr) {
        if (errorText != nullptr) {
            errorText->Format("Couldn't read texture %s", name.c_str());
        }
        return false;
    }
    ZRNNode* node = Attach(group.get(), AddTransform(2, kPi, 0.0f, 0.0f));
    node = Attach(node, AddTransform(0, -0.02f, 0.0f, 0.0f));
    node = Attach(node, std::move(material));
    Attach(node, std::make_unique<ZRNNodeMesh>(AddMesh(ZRNMesh::MakeGrid(1.6f, 0.8f, 1)), nullptr));
    m_rideTunnel = Attach(parent, std::move(group));
    return true;
}

bool TunnelScene::IsAnimationTick(int32_t t) {
    for (const Stretch& s : kStretches) {
        if (t >= s.first && t <= s.last) {
            return true;
        }
    }
    return false;
}

void TunnelScene::Render() {
    if (m_root == nullptr) {
        return;
    }
    const int32_t t = GetTickCounter();
    m_tickVisitor->SetTick(t);
    if (IsDrawing()) {
        m_renderer->Clear(kZRNShowSceneColour);
    }
    m_root->Accept(*m_tickVisitor);
    if (IsDrawing()) {
        m_root->Accept(*m_renderVisitor);
        m_renderer->Present();
    }
    ChooseView(t);
}

void TunnelScene::ChooseView(int32_t t) {
    if (m_animationCamera == nullptr || m_rideCamera == nullptr) {
        return;
    }
    if (IsAnimationTick(t)) {
        m_animationCamera->SetEnabled(true);
        m_rideCamera->SetEnabled(false);
        if (m_animation != nullptr && m_animationImage != nullptr) {
            // A tick on another thread may move the animation on between the two
            // calls; the next step then finds a new frame number and copies again.
            const int32_t frame = m_animation->GetCurrentFrame();
            if (frame != m_copiedFrame) {
                m_animation->GetFrame(*m_animationImage);
                m_copiedFrame = frame;
            }
        }
        m_showingAnimation = true;
        return;
    }
    if (m_showingAnimation) {
        // The animation's shared-image texture would otherwise keep the ride's
        // textures company.
        m_renderer->ResetTextures();
        m_showingAnimation = false;
    }
    m_animationCamera->SetEnabled(false);
    m_rideCamera->SetEnabled(true);
}

void TunnelScene::Tick() {
    DemoScene::Tick();
    // Only the timer thread ticks, so the load and store below cannot interleave with
    // another step.
    const int32_t step = (m_animationStep.load(std::memory_order_relaxed) + 1) % kAnimationDivider;
    m_animationStep.store(step, std::memory_order_relaxed);
    if (step == 0 && m_animation != nullptr && m_animation->IsValid()) {
        m_animation->NextFrame();
    }
}
