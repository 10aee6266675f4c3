// ZRNModelPreview: one model, its skin, a camera and a turn.
#include "scene/zrn_modelpreview.h"

#include <algorithm>

#include "scene/zrn_rendervisitor.h"

bool ZRNModelPreview::Build(const KVLStream* mesh, const KVLStream* skin, const KVLString& meshPath,
                            const KVLString& skinPath, KVLString* errorText) {
    ZRNQuake2Builder builder(mesh, skin);
    builder.SetMeshPath(meshPath);
    builder.SetSkinPath(skinPath);
    KVLString text;
    std::unique_ptr<ZRNNode> tree = builder.Build(&text);
    payloads.Adopt(builder);
    skinLoaded = false;
    if (tree == nullptr || payloads.meshes.empty()) {
        if (errorText != nullptr) *errorText = text;
        return false;
    }
    info = text;
    const ZRNMesh& model = *payloads.meshes[0];
    frames = model.GetFrameCount();
    meshNode = static_cast<ZRNNodeMesh*>(tree->GetChild(0));
    // Frame 0's bounding box places the camera.
    KVLVector3 low(1e30f, 1e30f, 1e30f);
    KVLVector3 high(-1e30f, -1e30f, -1e30f);
    for (const KVLVector3& v : model.GetVertices(0)) {
        low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
        high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
    }
    if (model.GetVertexCount() == 0) {
        low = high = KVLVector3::Zero;
    }
    const KVLVector3 mid = (low + high) * 0.5f;
    const float radius = std::max(0.5f * (high - low).Length(), 0.01f);
    centre.keys.Add({-mid.x, 0.0f, -mid.z});
    turn.keys.Add({0.0f, 0.0f, 0.0f});
    camera.AddKey({0.0f, mid.y, 2.4f * radius});
    camera.targets[0] = {0.0f, mid.y, 0.0f};
    root = std::make_unique<ZRNNodeCamera>(&camera);
    ZRNNode* t = root->AddChild(std::make_unique<ZRNNodeTransformation>(&turn));
    t = t->AddChild(std::make_unique<ZRNNodeTransformation>(&centre));
    t->AddChild(std::move(tree));
    skinLoaded = builder.SkinLoaded();
    if (errorText != nullptr) *errorText = text;
    return skinLoaded;
}

void ZRNModelPreview::SetPose(int32_t frame, float angle) {
    if (meshNode != nullptr) {
        meshNode->OwnFrameTime() = ZRNFrameTime(frame, frame, 0.0f);
    }
    if (turn.keys.GetCount() > 0) {
        turn.keys[0] = {0.0f, angle, 0.0f};
    }
}

void ZRNModelPreview::Draw(ZRNRendererInterface& renderer) {
    renderer.Clear(KVLVector3(0.15f, 0.15f, 0.2f));
    renderer.SetMatrixMode(false);
    renderer.LoadMatrix(KVLMatrix34::Identity());
    renderer.SetLight(nullptr, KVLVector3(0.4f, 0.6f, 1.0f), kZRNLightDirectional);
    ZRNRenderVisitor visitor(&renderer);
    root->Accept(visitor);
}
