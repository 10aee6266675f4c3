// The oscilloscope and credits scene.
#include "app/scenes/scene_oscilloscope.h"

#include <cstring>
#include <numbers>

#include "app/demo_resources.h"
#include "scene/zrn_mesh.h"
#include "sound/kvl_soundplayer.h"
#include "sound/kvl_soundsource.h"

namespace {

constexpr uint32_t kCreditsResource = 50;

template <class T>
T* Attach(ZRNNode* parent, std::unique_ptr<T> child) {
    T* raw = child.get();
    parent->AddChild(std::move(child));
    return raw;
}

void ClearImage(KVLImage& image) {
    std::memset(image.pixels, 0, static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
}

}  // namespace

OscilloCreditsScene::OscilloCreditsScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor,
                                         ZRNAnimVisitor* tickVisitor, KVLSoundPlayer* player)
    : DemoScene(renderer, renderVisitor, tickVisitor), m_player(player) {}

OscilloCreditsScene::~OscilloCreditsScene() {
    m_credits.reset();
    m_creditsImage.reset();
    m_scopeImage.reset();
    m_root.reset();
    m_cameraTrack.reset();
}

bool OscilloCreditsScene::Load(KVLString* errorText) {
    m_cameraTrack = std::make_unique<ZRNCameraTrack>();
    m_cameraTrack->AddKey(KVLVector3(0.0f, 0.0f, 1.0f));
    m_cameraTrack->targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
    m_root = std::make_unique<ZRNNodeCamera>(m_cameraTrack.get());

    m_scopeImage = KVLImage::Create(kScopeSize, kScopeSize);
    const ZRNMaterial* scopeMaterial =
        AddMaterial(std::make_unique<ZRNMaterial>(KVLString("Oscillo"), 4, false, m_scopeImage.get(), true));
    const ZRNMesh* scopeMesh = AddMesh(ZRNMesh::MakeGrid(1.16f, 1.16f, 1));
    ZRNNode* scopeNode = Attach(m_root.get(), std::make_unique<ZRNNodeMaterial>(scopeMaterial));
    scopeNode->SetName(KVLString("Oscillo"));
    Attach(scopeNode, std::make_unique<ZRNNodeMesh>(scopeMesh, nullptr));

    m_credits = std::make_unique<KVLAnimMLZ>();
    if (!m_credits->Open(*GetDemoResource(kCreditsResource), nullptr, errorText)) {
        return false;
    }
    // Open refuses sizes the image type cannot hold.
    m_creditsImage = KVLImage::Create(m_credits->GetWidth(), m_credits->GetHeight());
    const ZRNMaterial* creditsMaterial =
        AddMaterial(std::make_unique<ZRNMaterial>(KVLString("Credits"), 4, false, m_creditsImage.get(), true));
    const ZRNMesh* creditsMesh = AddMesh(ZRNMesh::MakeGrid(1.04f, 0.26f, 1));
    auto rotation = std::make_unique<ZRNTransformTrack>(ZRNTransformRotate, false);
    rotation->keys.Add(KVLVector3(std::numbers::pi_v<float>, 0.0f, 0.0f));
    auto translation = std::make_unique<ZRNTransformTrack>(ZRNTransformTranslate, true);
    translation->keys.Add(KVLVector3(-0.065f, 0.45f, 0.0f));
    translation->keys.Add(KVLVector3(0.0f, 0.0f, 0.0f));
    ZRNNode* node = Attach(m_root.get(), std::make_unique<ZRNNodeTransformation>(AddTrack(std::move(rotation))));
    node = Attach(node, std::make_unique<ZRNNodeTransformation>(AddTrack(std::move(translation))));
    node = Attach(node, std::make_unique<ZRNNodeMaterial>(creditsMaterial));
    node->SetName(KVLString("Credits"));
    Attach(node, std::make_unique<ZRNNodeMesh>(creditsMesh, nullptr));
    return true;
}

void OscilloCreditsScene::Render() {
    if (m_framesDrawn <= kHoldFrames) {
        ++m_framesDrawn;
    }
    const int32_t tick = GetTickCounter();
    m_tickVisitor->SetTick(tick);
    if (IsDrawing()) {
        m_renderer->Clear(kZRNShowSceneColour);
    }
    if (m_framesDrawn <= kHoldFrames || m_root == nullptr) {
        return;
    }

    if (tick != m_lastTick) {
        m_lastTick = tick;
        m_creditsStep = (m_creditsStep + 1) % kCreditsDivider;
        if (m_creditsStep == 0 && m_creditsRunning && m_creditsImage != nullptr) {
            m_credits->NextFrame();
            m_credits->GetFrame(*m_creditsImage);
            m_creditsRunning = m_credits->GetCurrentFrame() != m_credits->GetFrameCount() - 1;
        }
    }

    m_root->Accept(*m_tickVisitor);
    if (!IsDrawing()) {
        // The trace is the sound of the moment the picture is drawn: nothing to keep.
        return;
    }
    UpdateScope();
    m_root->Accept(*m_renderVisitor);
    m_renderer->Present();
}

void OscilloCreditsScene::UpdateScope() {
    std::memset(m_samples, 0, sizeof m_samples);
    if (m_player != nullptr) {
        KVLSampleBlock request;
        request.frames = kScopeSize;
        request.data = m_samples;
        m_player->GetCurrentSamples(&request);
    }
    ClearImage(*m_scopeImage);
    DrawTrace(m_samples, *m_scopeImage);
}

void OscilloCreditsScene::DrawTrace(const uint32_t* frames, KVLImage& image) {
    if (image.pixels == nullptr || image.width != kScopeSize || image.height != kScopeSize) {
        return;
    }
    const int32_t mid = kScopeSize / 2;
    const float scale = static_cast<float>(kScopeSize - 60) * (1.0f / 256.0f);
    for (int32_t x = 0; x < kScopeSize; ++x) {
        // The high byte of the left channel, as a signed value.
        const auto s = static_cast<int8_t>((frames[x] >> 8) & 0xFF);
        const int32_t y = mid + static_cast<int32_t>(static_cast<float>(s) * scale);
        image.pixels[(y - 1) * kScopeSize + x] = kTraceEdge;
        image.pixels[y * kScopeSize + x] = kTraceMiddle;
        image.pixels[(y + 1) * kScopeSize + x] = kTraceEdge;
    }
}
