// ZRNModelPreview: a ready-made scene that shows one Quake II model with its skin —
// the Quake II builder's tree under a turning transformation and a camera placed from
// frame 0's bounding box. Used by tools that show or render models (kvl view, the
// archive generator's contact sheet).
#pragma once

#include <memory>

#include "scene/zrn_builders.h"
#include "scene/zrn_node.h"
#include "scene/zrn_payloads.h"
#include "scene/zrn_renderer.h"

class ZRNModelPreview {
public:
    // Streams may be null: the paths are used then (as the Quake II builder does).
    // False with the builder's text when the model does not read. A skin that does not
    // read is a failure too (false, the text names the skin and why), but the scene is
    // built all the same with the model in red, for a caller that wants to show it:
    // root is set and skinLoaded false.
    bool Build(const KVLStream* mesh, const KVLStream* skin, const KVLString& meshPath, const KVLString& skinPath,
               KVLString* errorText);
    // Shows frame exactly (no blending), turned by angle radians about the vertical.
    void SetPose(int32_t frame, float angle);
    // Clears, lights and draws the tree through the renderer.
    void Draw(ZRNRendererInterface& renderer);

    ZRNPayloads payloads;
    ZRNCameraTrack camera;
    ZRNTransformTrack turn{ZRNTransformRotate, false};
    ZRNTransformTrack centre{ZRNTransformTranslate, false};
    std::unique_ptr<ZRNNode> root;
    ZRNNodeMesh* meshNode = nullptr;
    int32_t frames = 0;
    bool skinLoaded = false;
    KVLString info;  // the builder's description of what it loaded
};
