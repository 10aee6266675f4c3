// The renderers' shared rules (see zrn_renderstate.h).
#include "scene/internal/zrn_renderstate.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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

bool ZRNMeshBounds(const ZRNMesh& mesh, std::initializer_list<int32_t> frames, KVLVector3* lo, KVLVector3* hi) {
    bool any = false;
    for (const int32_t frame : frames) {
        for (const KVLVector3& v : mesh.GetVertices(frame)) {
            *lo = any ? KVLVector3(std::min(lo->x, v.x), std::min(lo->y, v.y), std::min(lo->z, v.z)) : v;
            *hi = any ? KVLVector3(std::max(hi->x, v.x), std::max(hi->y, v.y), std::max(hi->z, v.z)) : v;
            any = true;
        }
    }
    return any;
}

bool ZRNBoxOutsideView(const KVLMatrix44& projection, const KVLMatrix44& modelView, const KVLVector3& lo,
                       const KVLVector3& hi) {
    // The matrices' memory is GL's column-major layout: clip = projection * modelView.
    const float* p = projection.m;
    const float* v = modelView.m;
    double mvp[16];
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(p[k * 4 + row]) * v[col * 4 + k];
            }
            mvp[col * 4 + row] = sum;
        }
    }
    // Per plane (x, y, z beyond +w or -w): how many corners lie beyond it.
    int beyond[6] = {};
    for (int corner = 0; corner < 8; ++corner) {
        const double c[3] = {(corner & 1) != 0 ? hi.x : lo.x, (corner & 2) != 0 ? hi.y : lo.y,
                             (corner & 4) != 0 ? hi.z : lo.z};
        double clip[4];
        for (int row = 0; row < 4; ++row) {
            clip[row] = mvp[row] * c[0] + mvp[4 + row] * c[1] + mvp[8 + row] * c[2] + mvp[12 + row];
        }
        const double w = clip[3];
        const double margin = 1e-3 * (std::fabs(w) + 1.0);
        for (int k = 0; k < 3; ++k) {
            beyond[2 * k] += clip[k] > w + margin ? 1 : 0;
            beyond[2 * k + 1] += clip[k] < -w - margin ? 1 : 0;
        }
    }
    return std::any_of(std::begin(beyond), std::end(beyond), [](int n) { return n == 8; });
}
