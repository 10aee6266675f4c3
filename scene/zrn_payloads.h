// Payload records of the scene nodes that are not meshes, materials or joint tracks:
// a camera path, a transformation track and the fog settings. Plain records owned by
// whoever built them (a scene or a builder); nodes only point to them.
#pragma once

#include <cstdint>

#include "core/kvl_array.h"
#include "scene/kvl_math.h"

// Eye and target per key frame.
struct ZRNCameraTrack {
    KVLArray<KVLVector3> eyes{-1};
    KVLArray<KVLVector3> targets{-1};

    // Appends a key with this eye; its target repeats the last key's target (the origin
    // for the first key) until it is set by index.
    void AddKey(const KVLVector3& eye) {
        targets.Add(targets.IsEmpty() ? KVLVector3::Origin : targets[targets.GetCount() - 1]);
        eyes.Add(eye);
    }
};

enum ZRNTransformType : int32_t {
    ZRNTransformTranslate = 0,
    ZRNTransformScale = 1,
    ZRNTransformRotate = 2,  // keys hold angles in radians about X, Y and Z
};

struct ZRNTransformTrack {
    int32_t type = ZRNTransformTranslate;
    // True: the transform multiplies the projection matrix instead of the modelview.
    bool projection = false;
    KVLArray<KVLVector3> keys{-1};

    ZRNTransformTrack() = default;
    ZRNTransformTrack(int32_t t, bool onProjection) : type(t), projection(onProjection) {}
};

// Exponential fog. The colour is kept but not applied: the renderer's fog colour is
// fixed.
struct ZRNFogSettings {
    bool enabled = false;
    float density = 0.0f;
    float start = 0.0f;
    float end = 0.0f;
    KVLVector3 colour;

    ZRNFogSettings() = default;
    ZRNFogSettings(float fogStart, float fogEnd, float fogDensity, const KVLVector3& fogColour)
        : enabled(true), density(fogDensity), start(fogStart), end(fogEnd), colour(fogColour) {}
};
