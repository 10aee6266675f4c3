// ZRNJointTrack: the key frames of a model attachment point (a Quake III tag): its
// name and, per frame, an origin and an orientation. Filled by the MD3 reader; joint
// nodes point to it and the scene that built it owns it.
#pragma once

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "scene/kvl_math.h"

struct ZRNJointTrack {
    KVLString name;
    KVLArray<KVLVector3> origins{-1};
    // Orientation per frame: the linear part holds the three axes as rows; the
    // translation is zero (the origin is kept apart).
    KVLArray<KVLMatrix34> axes{-1};
};
