// The 198-frame animation layout of an MD2 player model and the key poses that
// fill it. Key poses are written once for every figure with the shared bone
// names below; a figure's Motion scales and flavours them.
#pragma once

#include "assets/characters/rig.h"

#include <string>
#include <vector>

struct Md2Clip {
    const char* name;  // frame name prefix
    int first;
    int count;
    int digits;        // width of the frame number in the frame names
};

// The classic layout, in frame order: stand 0-39 ... death3 190-197.
const std::vector<Md2Clip>& Md2Clips();
constexpr int kMd2FrameCount = 198;

// Name of frame i of the layout: "stand01", "run1", "pain104", ...
std::string Md2FrameName(int frame);

// Flavour of a figure's movement.
struct Motion {
    float energy = 1.0f;    // amplitude of gestures and the run
    float armsOut = 0.14f;  // resting abduction of the arms, radians
    float slouch = 0.0f;    // forward lean of the chest at rest, radians
    float stance = 0.05f;   // resting abduction of the legs, radians
    bool tail = false;      // animate bones tail1..tail3
    bool digitigrade = false;
};

// The 198 poses of a figure whose skeleton uses the shared bone names
// (pelvis, chest, head, l_/r_ upper, fore, hand, thigh, shin, foot, and
// optionally tail1..tail3).
std::vector<Pose> AnimateFigure(const Body& body, const Motion& motion);
