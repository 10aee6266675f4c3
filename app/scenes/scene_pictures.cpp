// The picture scenes: camera -> half turn about X -> small left shift -> material -> grid.
#include "app/scenes/scene_pictures.h"

namespace {

constexpr uint32_t kParentalId = 30;
constexpr uint32_t kEndSaRaceId = 300;
constexpr float kHalfTurn = 3.1415927f;
// The picture sits 0.02 to the left of the centre.
constexpr float kOffsetX = -0.02f;
constexpr float kPictureWidth = 1.6f;
constexpr float kPictureHeight = 0.8f;

}  // namespace

PictureScene::PictureScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor,
                           ZRNAnimVisitor* tickVisitor, uint32_t resourceId, const char* materialName)
    : DemoScene(renderer, renderVisitor, tickVisitor), m_resourceId(resourceId), m_materialName(materialName) {}

PictureScene::~PictureScene() {
    m_root.reset();
    m_cameraTrack.reset();
}

bool PictureScene::Load(KVLString* errorText) {
    m_cameraTrack = std::make_unique<ZRNCameraTrack>();
    m_cameraTrack->AddKey(KVLVector3(0.0f, 0.0f, 1.0f));
    m_cameraTrack->targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
    m_root = std::make_unique<ZRNNodeCamera>(m_cameraTrack.get());

    std::unique_ptr<ZRNNodeMaterial> material = AddTexturedMaterial(m_resourceId, KVLString(m_materialName), 4, false);
    if (!material) {
        if (errorText != nullptr) {
            errorText->Format("Couldn't read texture %s", m_materialName);
        }
        return false;
    }
    std::unique_ptr<ZRNNodeTransformation> rotation = AddTransform(2, kHalfTurn, 0.0f, 0.0f);
    std::unique_ptr<ZRNNodeTransformation> offset = AddTransform(0, kOffsetX, 0.0f, 0.0f);
    ZRNMesh* grid = AddMesh(ZRNMesh::MakeGrid(kPictureWidth, kPictureHeight, 1));
    material->AddChild(std::make_unique<ZRNNodeMesh>(grid, nullptr));
    offset->AddChild(std::move(material));
    rotation->AddChild(std::move(offset));
    m_root->AddChild(std::move(rotation));
    return true;
}

void PictureScene::Render() { DrawTree(m_root.get()); }

ParentalScene::ParentalScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor,
                             ZRNAnimVisitor* tickVisitor)
    : PictureScene(renderer, renderVisitor, tickVisitor, kParentalId, "Parental") {}

EndSaRaceScene::EndSaRaceScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor,
                               ZRNAnimVisitor* tickVisitor)
    : PictureScene(renderer, renderVisitor, tickVisitor, kEndSaRaceId, "EndSaRace") {}
