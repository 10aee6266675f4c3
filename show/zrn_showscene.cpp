// ZRNShowScene: list ownership and the scene-building helpers.
#include "show/zrn_showscene.h"

#include <string>
#include <utility>

#include "core/kvl_pakstream.h"

const KVLVector3 kZRNShowSceneColour(0.0f, 0.0f, 0.0f);

namespace {

// Formats tried in turn for a scene texture. "PNG" has no reader in the engine and
// always fails; it stays in the order all the same.
constexpr const char* kSceneImageFormats[] = {"JPG", "PCX", "BMP", "PNG", "TGA"};

// A number per skin: archive members are told apart by name (the catalogue hands out
// one stream per member, but a test may build several), other streams by address.
// The renderer caches textures by material name, so two skins must never share one.
int32_t SkinNumber(const KVLStream* skin) {
    static std::vector<std::string> keys;
    std::string key;
    if (const auto* member = dynamic_cast<const KVLPAKStream*>(skin)) {
        key = std::string("pak:") + member->GetMemberName().c_str();
    } else {
        key = "at:" + std::to_string(reinterpret_cast<uintptr_t>(skin));
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == key) {
            return static_cast<int32_t>(i);
        }
    }
    keys.push_back(key);
    return static_cast<int32_t>(keys.size() - 1);
}

}  // namespace

ZRNShowScene::ZRNShowScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor)
    : m_tickVisitor(tickVisitor), m_renderer(renderer), m_renderVisitor(renderVisitor) {}

// Meshes, then materials, then tracks; the derived scene has already freed its tree.
ZRNShowScene::~ZRNShowScene() {
    m_meshes.clear();
    m_materials.clear();
    m_tracks.clear();
}

ZRNMesh* ZRNShowScene::AddMesh(std::unique_ptr<ZRNMesh> mesh) {
    m_meshes.push_back(std::move(mesh));
    return m_meshes.back().get();
}

ZRNMaterial* ZRNShowScene::AddMaterial(std::unique_ptr<ZRNMaterial> material) {
    m_materials.push_back(std::move(material));
    return m_materials.back().get();
}

ZRNTransformTrack* ZRNShowScene::AddTrack(std::unique_ptr<ZRNTransformTrack> track) {
    m_tracks.push_back(std::move(track));
    return m_tracks.back().get();
}

std::unique_ptr<ZRNNode> ZRNShowScene::AdoptBuild(ZRNModelBuilder& builder, KVLString* errorText) {
    std::unique_ptr<ZRNNode> node = builder.Build(errorText);
    if (!node) {
        return nullptr;
    }
    for (int32_t i = 0; i < builder.Tracks().GetCount(); ++i) {
        m_tracks.emplace_back(builder.Tracks()[i]);
    }
    for (int32_t i = 0; i < builder.Meshes().GetCount(); ++i) {
        m_meshes.emplace_back(builder.Meshes()[i]);
    }
    for (int32_t i = 0; i < builder.Materials().GetCount(); ++i) {
        m_materials.emplace_back(builder.Materials()[i]);
    }
    // The builder's lists only name what the scene owns now.
    builder.Tracks().RemoveAll();
    builder.Meshes().RemoveAll();
    builder.Materials().RemoveAll();
    return node;
}

std::unique_ptr<KVLImage> ZRNShowScene::LoadSceneImage(const KVLStream& stream, KVLString* errorText) {
    for (const char* format : kSceneImageFormats) {
        std::unique_ptr<KVLStream> attempt = stream.Clone();
        if (!attempt) {
            continue;
        }
        std::unique_ptr<KVLImage> image = KVLLoadImage(*attempt, KVLString(format), nullptr, nullptr, errorText);
        if (image) {
            return image;
        }
    }
    return nullptr;
}

std::unique_ptr<ZRNNodeMaterial> ZRNShowScene::AddTexturedMaterial(const KVLStream& picture, const KVLString& name,
                                                                   int32_t kind, bool cull) {
    std::unique_ptr<KVLImage> image = LoadSceneImage(picture, nullptr);
    if (!image) {
        return nullptr;
    }
    ZRNMaterial* material = AddMaterial(std::make_unique<ZRNMaterial>(name, kind, cull, image.get(), false));
    return std::make_unique<ZRNNodeMaterial>(material);
}

std::unique_ptr<ZRNNode> ZRNShowScene::LoadModelMD2(const KVLStream* model, const KVLStream* skin, bool flip,
                                                 KVLString* errorText) {
    for (const LoadedModel& loaded : m_models) {
        if (loaded.model == model && loaded.skin == skin && loaded.flip == flip) {
            if (errorText != nullptr && !loaded.message.IsEmpty()) {
                *errorText = loaded.message;
            }
            return loaded.tree->Clone();
        }
    }
    ZRNQuake2Builder builder(model, skin);
    KVLString message;
    std::unique_ptr<ZRNNode> node = builder.Build(&message);
    if (errorText != nullptr && !message.IsEmpty()) {
        *errorText = message;
    }
    if (!node) {
        return nullptr;
    }
    for (int32_t i = 0; i < builder.Meshes().GetCount(); ++i) {
        ZRNMesh* mesh = builder.Meshes()[i];
        m_meshes.emplace_back(mesh);
        if (flip) {
            mesh->FlipFaces();
        }
    }
    KVLString skinName;
    skinName.Format("Q2Skin %d", SkinNumber(skin));
    for (int32_t i = 0; i < builder.Materials().GetCount(); ++i) {
        ZRNMaterial* material = builder.Materials()[i];
        m_materials.emplace_back(material);
        material->name = skinName;
    }
    // The builder lists no tracks for a model; any it did list would be the scene's too.
    for (int32_t i = 0; i < builder.Tracks().GetCount(); ++i) {
        m_tracks.emplace_back(builder.Tracks()[i]);
    }
    builder.Meshes().RemoveAll();
    builder.Materials().RemoveAll();
    builder.Tracks().RemoveAll();
    // A null stream may stand for different files from call to call: only loads from
    // real streams are kept for reuse.
    if (model != nullptr && skin != nullptr) {
        m_models.push_back(LoadedModel{model, skin, flip, node->Clone(), message});
    }
    return node;
}

std::unique_ptr<ZRNNodeTransformation> ZRNShowScene::AddTransform(int32_t type, float x, float y, float z) {
    auto track = std::make_unique<ZRNTransformTrack>(type, false);
    track->keys.Add(KVLVector3(x, y, z));
    return std::make_unique<ZRNNodeTransformation>(AddTrack(std::move(track)));
}

void ZRNShowScene::DrawTree(ZRNNode* root) {
    m_tickVisitor->SetTick(GetTickCounter());
    if (!m_drawing) {
        if (root != nullptr) {
            root->Accept(*m_tickVisitor);
        }
        return;
    }
    m_renderer->Clear(kZRNShowSceneColour);
    if (root != nullptr) {
        root->Accept(*m_tickVisitor);
        root->Accept(*m_renderVisitor);
    }
    m_renderer->Present();
}
