// DemoScene: the base of the demo's scenes. The show runtime's scene with one more way
// to make a textured material: from a resource id of the demo's catalogue.
#pragma once

#include <cstdint>
#include <memory>

#include "app/demo_resources.h"
#include "show/zrn_showscene.h"

class DemoScene : public ZRNShowScene {
public:
    using ZRNShowScene::ZRNShowScene;
    using ZRNShowScene::AddTexturedMaterial;

    // A textured material from catalogue resource id (see ZRNShowScene).
    std::unique_ptr<ZRNNodeMaterial> AddTexturedMaterial(uint32_t id, const KVLString& name, int32_t kind,
                                                         bool cull) {
        return AddTexturedMaterial(*GetDemoResource(id), name, kind, cull);
    }
};
