// The renderers' shared rules (see zrn_renderstate.h).
#include "scene/zrn_renderstate.h"

ZRNMaterialState ZRNMaterialStateFor(const ZRNMaterial& m) {
    ZRNMaterialState s;
    s.cull = m.cull;
    s.blend = m.blend;
    const float a = m.blend ? m.alpha : 1.0f;
    for (int i = 0; i < 3; ++i) {
        s.ambient[i] = m.ambient[i];
        s.diffuse[i] = m.diffuse[i];
    }
    s.ambient[3] = a;
    s.diffuse[3] = a;
    s.shininess = static_cast<float>(m.shininess);
    if (!ZRNIsTexturedKind(m.kind)) {
        return s;
    }
    s.textured = true;
    s.sphereMap = m.kind == 7 || m.kind == 8;
    // Plain textured pictures show their texels as they are; sphere maps are lit only
    // when they blend over what is beneath.
    s.lighting = !(m.kind == 4 || (s.sphereMap && !m.blend));
    return s;
}

bool ZRNProjectionFor(int32_t width, int32_t height, KVLMatrix44* m) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    // The aspect as a float quotient, widened: the value the renderer has always used.
    const double aspect = static_cast<double>(static_cast<float>(width) / static_cast<float>(height));
    *m = KVLMatrix44::Perspective(kZRNFieldOfView, aspect, kZRNNearPlane, kZRNFarPlane);
    return true;
}
