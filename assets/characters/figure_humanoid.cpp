// The humanoid body plan the four characters start from: joint levels from a
// build's measurements, the shared skeleton and its bare parts as lathe shapes,
// and the lathe helpers the characters add their gear with.

#include "assets/characters/figure_kit.h"

#include <cmath>

namespace figure_kit {

Levels LevelsOf(const Build& b)
{
    Levels l{};
    l.top = -24.0f + b.height;
    l.neck = l.top - b.headH - b.neckLen;
    l.shoulder = l.neck - 1.2f;
    l.hip = -24.0f + b.legLength;
    l.waist = l.hip + 5.0f;
    l.knee = l.hip - (b.legLength - 3.0f) * 0.5f;
    l.ankle = -21.0f;
    l.elbow = l.shoulder - 0.19f * b.height;
    l.wrist = l.elbow - 0.155f * b.height;
    return l;
}

Vec3 Unit(Vec3 v)
{
    const float len = std::sqrt(Dot(v, v));
    return v * (1.0f / len);
}

PartSpec Lathe(int bone, Vec3 origin, Vec3 axis, Vec3 side, int sides, std::vector<Ring> rings, int paint, int w,
               int h)
{
    PartSpec p;
    p.bone = bone;
    p.origin = origin;
    p.axis = Unit(axis);
    p.side = side;
    p.sides = sides;
    p.rings = std::move(rings);
    p.paint = paint;
    p.cellWidth = w;
    p.cellHeight = h;
    return p;
}

// Adds a mirrored copy of the part for the right side, sharing the cell.
void AddMirrored(Body& body, PartSpec left, int rightBone)
{
    body.parts.push_back(left);
    const int leftIndex = static_cast<int>(body.parts.size()) - 1;
    PartSpec right = left;
    right.bone = rightBone;
    right.origin.y = -right.origin.y;
    right.axis.y = -right.axis.y;
    right.side.y = -right.side.y;
    right.shareCellOf = leftIndex;
    body.parts.push_back(right);
}

namespace {

constexpr Vec3 kUp{0, 0, 1}, kDown{0, 0, -1}, kForward{1, 0, 0};

// The shared skeleton; a digitigrade build has its knees forward and its hocks
// high and back.
std::vector<Bone> HumanoidSkeleton(const Build& b, const Levels& l)
{
    const float sh = b.shoulderHalf, hh = b.hipHalf;
    std::vector<Bone> bones = {
        {"pelvis", -1, {0, 0, l.hip}},
        {"chest", 0, {0, 0, l.waist}},
        {"head", 1, {0, 0, l.neck}},
        {"l_upper", 1, {0, sh, l.shoulder}},
        {"l_fore", 3, {0, sh, l.elbow}},
        {"l_hand", 4, {0, sh, l.wrist}},
        {"r_upper", 1, {0, -sh, l.shoulder}},
        {"r_fore", 6, {0, -sh, l.elbow}},
        {"r_hand", 7, {0, -sh, l.wrist}},
        {"l_thigh", 0, {0, hh, l.hip}},
        {"l_shin", 9, {0, hh, l.knee}},
        {"l_foot", 10, {0, hh, l.ankle}},
        {"r_thigh", 0, {0, -hh, l.hip}},
        {"r_shin", 12, {0, -hh, l.knee}},
        {"r_foot", 13, {0, -hh, l.ankle}},
    };
    if (b.digitigrade) {
        // Knee forward, hock high and back: the leg of a cat standing upright.
        bones[10].joint = {2.6f, hh, l.knee};
        bones[11].joint = {-2.8f, hh, -17.5f};
        bones[13].joint = {2.6f, -hh, l.knee};
        bones[14].joint = {-2.8f, -hh, -17.5f};
    }
    return bones;
}

// Pelvis, torso (waist to neck) and head.
void AddTrunk(Body& body, const Build& b, const Levels& l)
{
    const float sh = b.shoulderHalf;
    body.parts.push_back(Lathe(0, {0, 0, l.hip - 4.5f}, kUp, kForward, 8,
                               {{0, 0, 0}, {0.6f, b.hipD * 0.55f, b.hipW * 0.6f}, {2.6f, b.hipD * 0.95f, b.hipW * 0.95f},
                                {5.0f, b.hipD, b.hipW}, {8.5f, b.waistD, b.waistW}, {9.3f, 0, 0}},
                               kPelvis, 80, 40));

    const float t0 = l.waist - 3.0f;
    body.parts.push_back(Lathe(1, {0, 0, t0}, kUp, kForward, 10,
                               {{0, 0, 0},
                                {0.5f, b.waistD * 0.9f, b.waistW * 0.9f},
                                {3.0f, b.waistD, b.waistW},
                                {(l.shoulder - t0) * 0.62f, b.chestD, b.chestW, 0.4f},
                                {l.shoulder - t0 + 1.2f, b.chestD * 0.78f, sh + b.armR * 0.7f, 0.1f},
                                {l.neck - t0 + 0.9f, b.neckR * 1.45f, b.neckR * 1.7f},
                                {l.neck - t0 + 1.3f, 0, 0}},
                               kTorso, 120, 72));

    const float k = b.headH / 10.5f;
    const float R = b.headR;
    const float n = b.neckLen;
    body.parts.push_back(Lathe(2, {0, 0, l.neck - 0.5f}, kUp, kForward, 10,
                               {{0, 0, 0},
                                {0.3f, b.neckR, b.neckR},
                                {n + 1.2f * k, R * 0.74f, R * 0.68f, 0.7f},
                                {n + 3.2f * k, R * 0.96f, R * 0.84f, 0.45f},
                                {n + 5.4f * k, R * 1.02f, R * 0.92f, 0.25f},
                                {n + 7.6f * k, R * 1.0f, R * 0.95f},
                                {n + 9.4f * k, R * 0.8f, R * 0.8f, -0.2f},
                                {n + 10.5f * k + 0.5f, 0, 0, -0.3f}},
                               kHead, 120, 64));
}

// Upper arms, forearms and hands, left and mirrored.
void AddArms(Body& body, const Build& b, const Levels& l)
{
    const float sh = b.shoulderHalf;
    const float lu = l.shoulder - l.elbow, lf = l.elbow - l.wrist;
    AddMirrored(body,
                Lathe(3, {0, sh, l.shoulder + 1.0f}, kDown, kForward, 8,
                      {{0, 0, 0}, {0.9f, b.armR * 1.05f, b.armR * 1.1f}, {lu + 1.0f, b.armR * 0.8f, b.armR * 0.8f},
                       {lu + 1.9f, 0, 0}},
                      kUpperArm, 64, 48),
                6);
    AddMirrored(body,
                Lathe(4, {0, sh, l.elbow + 0.8f}, kDown, kForward, 8,
                      {{0, 0, 0}, {0.9f, b.foreR * 1.08f, b.foreR}, {lf + 0.8f, b.foreR * 0.68f, b.foreR * 0.74f},
                       {lf + 1.4f, 0, 0}},
                      kForearm, 64, 48),
                7);
    const float hs = b.handR;
    AddMirrored(body,
                Lathe(5, {0, sh, l.wrist + 0.4f}, kDown, kForward, 6,
                      {{0, 0, 0}, {1.2f, 1.45f * hs, 0.85f * hs}, {b.handLen - 1.0f, 1.2f * hs, 0.72f * hs},
                       {b.handLen, 0, 0}},
                      kHand, 48, 32),
                8);
}

// Thighs, shins and feet of a standing human.
void AddLegs(Body& body, const Build& b, const Levels& l)
{
    const float hh = b.hipHalf;
    const float lt = l.hip + 1.5f - l.knee;
    AddMirrored(body,
                Lathe(9, {0, hh, l.hip + 1.5f}, kDown, kForward, 8,
                      {{0, 0, 0}, {1.0f, b.legR, b.legR * 1.05f}, {4.0f, b.legR * 1.02f, b.legR},
                       {lt + 0.3f, b.legR * 0.72f, b.legR * 0.75f}, {lt + 1.5f, 0, 0}},
                      kThigh, 64, 56),
                12);
    const float ls = l.knee + 1.0f - l.ankle;
    AddMirrored(body,
                Lathe(10, {0, hh, l.knee + 1.0f}, kDown, kForward, 8,
                      {{0, 0, 0}, {0.8f, b.shinR * 0.95f, b.shinR * 0.95f},
                       {3.5f, b.shinR * 1.05f, b.shinR, -0.4f}, {ls, b.shinR * 0.62f, b.shinR * 0.64f},
                       {ls + 1.0f, 0, 0}},
                      kShin, 64, 64),
                13);
    const float fl = b.footLen;
    AddMirrored(body,
                Lathe(11, {-2.4f, hh, -22.3f}, kForward, kUp, 6,
                      {{0, 0, 0}, {0.5f, 1.3f, 1.3f}, {2.5f, 1.75f, 1.6f}, {fl * 0.7f, 1.25f, 1.8f, -0.4f},
                       {fl, 0.55f, 1.2f, -0.9f}, {fl + 0.4f, 0, 0, -1.0f}},
                      kFoot, 48, 40),
                14);
}

// Thighs, shins and feet of a cat standing upright, along the bones from hip to
// knee, knee to hock and hock to toe.
void AddCatLegs(Body& body, const Build& b, const Levels& l)
{
    const float hh = b.hipHalf;
    const Vec3 hip{0, hh, l.hip}, knee = body.bones[10].joint, hock = body.bones[11].joint;
    const Vec3 toe{3.6f, hh, -23.0f};
    const Vec3 d1 = Unit(knee - hip), d2 = Unit(hock - knee), d3 = Unit(toe - hock);
    const float l1 = std::sqrt(Dot(knee - hip, knee - hip)), l2 = std::sqrt(Dot(hock - knee, hock - knee));
    const float l3 = std::sqrt(Dot(toe - hock, toe - hock));
    AddMirrored(body,
                Lathe(9, hip - d1 * 1.5f, d1, kForward, 8,
                      {{0, 0, 0}, {1.0f, b.legR * 1.1f, b.legR * 1.05f}, {4.0f, b.legR * 1.1f, b.legR},
                       {l1 + 1.5f, b.legR * 0.62f, b.legR * 0.66f}, {l1 + 2.6f, 0, 0}},
                      kThigh, 64, 56),
                12);
    AddMirrored(body,
                Lathe(10, knee - d2 * 1.0f, d2, kForward, 8,
                      {{0, 0, 0}, {0.8f, b.shinR * 0.9f, b.shinR * 0.9f}, {3.0f, b.shinR, b.shinR * 0.95f},
                       {l2 + 1.0f, b.shinR * 0.5f, b.shinR * 0.55f}, {l2 + 1.8f, 0, 0}},
                      kShin, 64, 64),
                13);
    AddMirrored(body,
                Lathe(11, hock - d3 * 0.8f, d3, kUp, 6,
                      {{0, 0, 0}, {0.6f, 1.0f, 1.1f}, {l3 * 0.6f, 1.05f, 1.3f}, {l3 + 0.2f, 1.1f, 1.6f, 0.3f},
                       {l3 + 1.6f, 0.7f, 1.3f, -0.2f}, {l3 + 2.1f, 0, 0, -0.4f}},
                      kFoot, 48, 40),
                14);
}

}  // namespace

Body HumanoidBody(const Build& b)
{
    const Levels l = LevelsOf(b);
    Body body;
    body.bones = HumanoidSkeleton(b, l);
    AddTrunk(body, b, l);
    AddArms(body, b, l);
    if (!b.digitigrade)
        AddLegs(body, b, l);
    else
        AddCatLegs(body, b, l);
    return body;
}

}  // namespace figure_kit
