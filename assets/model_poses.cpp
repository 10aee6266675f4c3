// Offscreen renders of the characters: stand, run, taunt and a death, each turned a
// little further, at 320 x 240.
#include "assets/model_poses.h"

#include "core/kvl_memorystream.h"
#include "scene/zrn_modelpreview.h"
#include "scene/zrn_renderer_offscreen.h"

namespace assetgen {

namespace {

struct Pose {
    const char* label;
    int32_t frame;
    float angle;
};

constexpr Pose kPoses[] = {{"stand", 0, -0.6f}, {"run", 42, 0.3f}, {"taunt", 100, 1.2f}, {"death", 197, -1.1f}};

}  // namespace

bool RenderModelPoses(const std::vector<AssetMember>& members, std::vector<SheetPicture>& pictures,
                      std::string& reason) {
    ZRNRendererOffscreen renderer(320, 240);
    if (!renderer.Initialise()) {
        reason = std::string("no offscreen OpenGL: ") + renderer.GetError().c_str();
        return false;
    }
    for (size_t i = 0; i + 1 < members.size(); ++i) {
        if (!members[i].name.ends_with("\\m.md2")) {
            continue;
        }
        const AssetMember& model = members[i];
        const AssetMember& skin = members[i + 1];
        KVLMemoryStream meshStream(model.bytes.data(), model.bytes.size());
        KVLMemoryStream skinStream(skin.bytes.data(), skin.bytes.size());
        // Every model's skin material is named "Q2Skin" and the renderer caches
        // textures by name: start each model with an empty cache.
        renderer.ResetTextures();
        ZRNModelPreview preview;
        KVLString text;
        if (!preview.Build(&meshStream, &skinStream, KVLString(), KVLString(), &text)) {
            reason = model.name + ": " + text.c_str();
            return false;
        }
        for (const Pose& pose : kPoses) {
            if (pose.frame >= preview.frames) {
                continue;
            }
            preview.SetPose(pose.frame, pose.angle);
            preview.Draw(renderer);
            renderer.Present();
            std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
            if (picture == nullptr) {
                reason = "reading the offscreen picture back failed";
                return false;
            }
            pictures.push_back({model.name + " " + pose.label, FromEngineImage(*picture)});
        }
    }
    return true;
}

}  // namespace assetgen
