// ZRNFrameTime: a pose between two key frames of an animation (frame A, frame B and
// the blend fraction, 0 meaning exactly frame A). Animators produce it, nodes read
// it, meshes and tracks are evaluated at it.
#pragma once

#include <cstdint>

struct ZRNFrameTime {
    int32_t frameA = 0;
    int32_t frameB = 0;
    float fraction = 0.0f;

    ZRNFrameTime() = default;
    ZRNFrameTime(int32_t a, int32_t b, float f) : frameA(a), frameB(b), fraction(f) {}
    ZRNFrameTime(const ZRNFrameTime&) = default;
    ZRNFrameTime& operator=(const ZRNFrameTime&) = default;
    virtual ~ZRNFrameTime() = default;
};
