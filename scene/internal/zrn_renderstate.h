// The drawing rules every renderer of the scene graph follows, kept free of any
// graphics API so that the OpenGL 1.1 renderer and the shader renderer take them from
// one place: the fixed-function state a material implies, the pass loop of DrawMesh
// over the material stack, the projection, the visibility test and the fixed light and
// fog constants.
//
// A renderer turns these decisions into its own calls; nothing here draws.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/kvl_displaymode.h"
#include "scene/kvl_math.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/internal/zrn_texturecache.h"

// The camera's projection: vertical field of view in degrees and the clip planes.
constexpr double kZRNFieldOfView = 60.0;
constexpr double kZRNNearPlane = 0.1;
constexpr double kZRNFarPlane = 100.0;
// Light 0's ambient grey once SetLight sets it, the light model's global ambient, the
// fog colour (grey, alpha 1).
constexpr float kZRNLightAmbient = 0.6f;
constexpr float kZRNGlobalAmbient = 0.2f;
constexpr float kZRNFogGrey = 0.3f;
// Light 0 before any positional SetLight: OpenGL's default, along +z in eye space.
constexpr KVLVector3 kZRNDefaultLightDirection{0.0f, 0.0f, 1.0f};

// What applying a material sets. Colours are RGBA; the alpha of ambient and diffuse
// is the material's alpha when it blends, else 1. Specular is white, emission black.
// Blending, when on, is source times destination alpha plus destination times one
// minus source alpha.
struct ZRNMaterialState {
    bool cull = false;
    bool blend = false;
    // Light 0 and lighting; without them the colour is white.
    bool lighting = true;
    // Texture modulating the colour, from the material's picture.
    bool textured = false;
    // Texture coordinates generated as a sphere map from the eye-space position and
    // normal instead of taken from the mesh.
    bool sphereMap = false;
    float ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float diffuse[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float shininess = 0.0f;
};

ZRNMaterialState ZRNMaterialStateFor(const ZRNMaterial& material);

// The projection for a picture rectangle of that size; false (and m unchanged) for an
// empty rectangle, whose projection keeps its previous aspect.
bool ZRNProjectionFor(int32_t width, int32_t height, KVLMatrix44* m);

// True when the picture rectangle leaves part of a client area of that size
// uncovered (bars that Clear keeps black).
inline bool ZRNIsLetterboxed(const KVLRect& picture, int32_t width, int32_t height) {
    return picture.x != 0 || picture.y != 0 || picture.width != width || picture.height != height;
}

// DrawMesh's passes: draw(kind) with the current material (kind 3, smooth, when there
// is none), then for each stack entry from the second from the top down to the
// bottom: the entry becomes current, apply(material) sets its state, draw(kind).
template <class Apply, class Draw>
void ZRNForEachPass(ZRNTextureCache& cache, Apply&& apply, Draw&& draw) {
    const ZRNMaterial* current = cache.GetCurrent();
    draw(current != nullptr ? current->kind : 3);
    const KVLArray<const ZRNMaterial*>& stack = cache.GetStack();
    for (int32_t n = stack.GetCount() - 2; n >= 0; --n) {
        const ZRNMaterial* pass = stack[n];
        apply(*pass);
        cache.SetCurrent(pass);
        draw(pass->kind);
    }
}

// ZRNMeshBounds: see zrn_mesh.h.

// Whether every corner of the box lies beyond one and the same clip plane under the
// projection and modelview (GL's clip = projection x modelview x corner): then no part
// of what the box holds can reach the picture and GL would clip all of it away. The
// test runs in double precision and with a margin, so that a mesh GL would rasterise
// even one pixel of is never left out; a box behind the eye lies beyond the near plane.
bool ZRNBoxOutsideView(const KVLMatrix44& projection, const KVLMatrix44& modelView, const KVLVector3& lo,
                       const KVLVector3& hi);
