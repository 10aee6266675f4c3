// The four characters. Three humanoids share one body plan with different
// builds and gear: "ddz", a heavy armoured trooper with helmet, shoulder guards
// and backpack; "ld", a tall slender duelist with a long coat and a ponytail;
// "tw", an athletic runner with spiky hair. "neko" is a cat creature on
// digitigrade legs with a muzzle, ears and a three-part tail. Skins are painted
// per part from (u, v) positions on the part, with ramps of the skin's colour
// scheme.

#include "assets/characters/figures.h"

#include "assets/characters/skin_canvas.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;

enum Paint {
    kHead, kTorso, kPelvis, kUpperArm, kForearm, kHand, kThigh, kShin, kFoot,
    kHelmet, kPad, kPack, kPonytail, kCoat, kSpike, kHairCap, kMuzzle, kEar, kTail,
};

// Ramp slots shared by every scheme.
enum Ramp {
    rSkin, rHair, rMain, rSecond, rTrim, rLeather, rIris, rWhite, rDark, rAccent, rLips, rBelt, rExtra,
};

struct Build {
    float height = 56.0f;     // sole to crown
    float legLength = 27.0f;  // sole to hip joint
    float shoulderHalf = 7.0f;
    float hipHalf = 3.3f;
    float chestW = 7.4f, chestD = 4.6f;
    float waistW = 5.6f, waistD = 3.8f;
    float hipW = 6.0f, hipD = 4.1f;
    float armR = 2.0f, foreR = 1.8f, handR = 1.0f, handLen = 5.0f;
    float legR = 3.1f, shinR = 2.5f, footLen = 9.0f;
    float headR = 4.4f, headH = 10.5f, neckLen = 2.0f, neckR = 1.9f;
    bool digitigrade = false;
};

struct Levels {
    float top, neck, shoulder, waist, hip, knee, ankle, elbow, wrist;
};

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

Body HumanoidBody(const Build& b)
{
    const Levels l = LevelsOf(b);
    Body body;
    const float sh = b.shoulderHalf, hh = b.hipHalf;
    body.bones = {
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
        body.bones[10].joint = {2.6f, hh, l.knee};
        body.bones[11].joint = {-2.8f, hh, -17.5f};
        body.bones[13].joint = {2.6f, -hh, l.knee};
        body.bones[14].joint = {-2.8f, -hh, -17.5f};
    }

    const Vec3 up{0, 0, 1}, down{0, 0, -1}, fwd{1, 0, 0};

    body.parts.push_back(Lathe(0, {0, 0, l.hip - 4.5f}, up, fwd, 8,
                               {{0, 0, 0}, {0.6f, b.hipD * 0.55f, b.hipW * 0.6f}, {2.6f, b.hipD * 0.95f, b.hipW * 0.95f},
                                {5.0f, b.hipD, b.hipW}, {8.5f, b.waistD, b.waistW}, {9.3f, 0, 0}},
                               kPelvis, 80, 40));

    const float t0 = l.waist - 3.0f;
    body.parts.push_back(Lathe(1, {0, 0, t0}, up, fwd, 10,
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
    body.parts.push_back(Lathe(2, {0, 0, l.neck - 0.5f}, up, fwd, 10,
                               {{0, 0, 0},
                                {0.3f, b.neckR, b.neckR},
                                {n + 1.2f * k, R * 0.74f, R * 0.68f, 0.7f},
                                {n + 3.2f * k, R * 0.96f, R * 0.84f, 0.45f},
                                {n + 5.4f * k, R * 1.02f, R * 0.92f, 0.25f},
                                {n + 7.6f * k, R * 1.0f, R * 0.95f},
                                {n + 9.4f * k, R * 0.8f, R * 0.8f, -0.2f},
                                {n + 10.5f * k + 0.5f, 0, 0, -0.3f}},
                               kHead, 120, 64));

    const float lu = l.shoulder - l.elbow, lf = l.elbow - l.wrist;
    AddMirrored(body,
                Lathe(3, {0, sh, l.shoulder + 1.0f}, down, fwd, 8,
                      {{0, 0, 0}, {0.9f, b.armR * 1.05f, b.armR * 1.1f}, {lu + 1.0f, b.armR * 0.8f, b.armR * 0.8f},
                       {lu + 1.9f, 0, 0}},
                      kUpperArm, 64, 48),
                6);
    AddMirrored(body,
                Lathe(4, {0, sh, l.elbow + 0.8f}, down, fwd, 8,
                      {{0, 0, 0}, {0.9f, b.foreR * 1.08f, b.foreR}, {lf + 0.8f, b.foreR * 0.68f, b.foreR * 0.74f},
                       {lf + 1.4f, 0, 0}},
                      kForearm, 64, 48),
                7);
    const float hs = b.handR;
    AddMirrored(body,
                Lathe(5, {0, sh, l.wrist + 0.4f}, down, fwd, 6,
                      {{0, 0, 0}, {1.2f, 1.45f * hs, 0.85f * hs}, {b.handLen - 1.0f, 1.2f * hs, 0.72f * hs},
                       {b.handLen, 0, 0}},
                      kHand, 48, 32),
                8);

    if (!b.digitigrade) {
        const float lt = l.hip + 1.5f - l.knee;
        AddMirrored(body,
                    Lathe(9, {0, hh, l.hip + 1.5f}, down, fwd, 8,
                          {{0, 0, 0}, {1.0f, b.legR, b.legR * 1.05f}, {4.0f, b.legR * 1.02f, b.legR},
                           {lt + 0.3f, b.legR * 0.72f, b.legR * 0.75f}, {lt + 1.5f, 0, 0}},
                          kThigh, 64, 56),
                    12);
        const float ls = l.knee + 1.0f - l.ankle;
        AddMirrored(body,
                    Lathe(10, {0, hh, l.knee + 1.0f}, down, fwd, 8,
                          {{0, 0, 0}, {0.8f, b.shinR * 0.95f, b.shinR * 0.95f},
                           {3.5f, b.shinR * 1.05f, b.shinR, -0.4f}, {ls, b.shinR * 0.62f, b.shinR * 0.64f},
                           {ls + 1.0f, 0, 0}},
                          kShin, 64, 64),
                    13);
        const float fl = b.footLen;
        AddMirrored(body,
                    Lathe(11, {-2.4f, hh, -22.3f}, fwd, up, 6,
                          {{0, 0, 0}, {0.5f, 1.3f, 1.3f}, {2.5f, 1.75f, 1.6f}, {fl * 0.7f, 1.25f, 1.8f, -0.4f},
                           {fl, 0.55f, 1.2f, -0.9f}, {fl + 0.4f, 0, 0, -1.0f}},
                          kFoot, 48, 40),
                    14);
    } else {
        const Vec3 hip{0, hh, l.hip}, knee = body.bones[10].joint, hock = body.bones[11].joint;
        const Vec3 toe{3.6f, hh, -23.0f};
        const Vec3 d1 = Unit(knee - hip), d2 = Unit(hock - knee), d3 = Unit(toe - hock);
        const float l1 = std::sqrt(Dot(knee - hip, knee - hip)), l2 = std::sqrt(Dot(hock - knee, hock - knee));
        const float l3 = std::sqrt(Dot(toe - hock, toe - hock));
        AddMirrored(body,
                    Lathe(9, hip - d1 * 1.5f, d1, fwd, 8,
                          {{0, 0, 0}, {1.0f, b.legR * 1.1f, b.legR * 1.05f}, {4.0f, b.legR * 1.1f, b.legR},
                           {l1 + 1.5f, b.legR * 0.62f, b.legR * 0.66f}, {l1 + 2.6f, 0, 0}},
                          kThigh, 64, 56),
                    12);
        AddMirrored(body,
                    Lathe(10, knee - d2 * 1.0f, d2, fwd, 8,
                          {{0, 0, 0}, {0.8f, b.shinR * 0.9f, b.shinR * 0.9f}, {3.0f, b.shinR, b.shinR * 0.95f},
                           {l2 + 1.0f, b.shinR * 0.5f, b.shinR * 0.55f}, {l2 + 1.8f, 0, 0}},
                          kShin, 64, 64),
                    13);
        AddMirrored(body,
                    Lathe(11, hock - d3 * 0.8f, d3, up, 6,
                          {{0, 0, 0}, {0.6f, 1.0f, 1.1f}, {l3 * 0.6f, 1.05f, 1.3f}, {l3 + 0.2f, 1.1f, 1.6f, 0.3f},
                           {l3 + 1.6f, 0.7f, 1.3f, -0.2f}, {l3 + 2.1f, 0, 0, -0.4f}},
                          kFoot, 48, 40),
                    14);
    }
    return body;
}

// ---------------------------------------------------------------------------
// The four bodies.

Body DdzBody()
{
    Build b;
    b.height = 54.5f;
    b.legLength = 25.0f;
    b.shoulderHalf = 8.4f;
    b.hipHalf = 3.7f;
    b.chestW = 8.6f, b.chestD = 5.6f;
    b.waistW = 7.0f, b.waistD = 4.8f;
    b.hipW = 7.0f, b.hipD = 4.8f;
    b.armR = 2.6f, b.foreR = 2.4f, b.handR = 1.25f, b.handLen = 5.0f;
    b.legR = 3.7f, b.shinR = 3.1f, b.footLen = 9.8f;
    b.headR = 4.3f, b.headH = 10.0f, b.neckLen = 1.4f, b.neckR = 2.6f;
    Body body = HumanoidBody(b);
    const Levels l = LevelsOf(b);
    const float R = b.headR;
    // Helmet: an open shell over the crown, lower at the back.
    body.parts.push_back(Lathe(2, {-0.5f, 0, l.neck + b.neckLen + 6.0f}, Unit({-0.3f, 0, 1}), {1, 0, 0}, 10,
                               {{0, R * 1.18f, R * 1.12f, 0.1f},
                                {1.6f, R * 1.22f, R * 1.14f},
                                {3.4f, R * 1.08f, R * 1.04f},
                                {4.9f, R * 0.7f, R * 0.68f},
                                {5.6f, 0, 0}},
                               kHelmet, 100, 32));
    // Shoulder guards.
    AddMirrored(body,
                Lathe(3, {-0.2f, b.shoulderHalf + 0.6f, l.shoulder + 3.4f}, Unit({0, 0.35f, -1}), {1, 0, 0}, 6,
                      {{0, 0, 0}, {0.6f, 2.8f, 2.6f}, {2.2f, 3.7f, 3.3f}, {4.4f, 3.6f, 3.2f}, {5.0f, 0, 0}},
                      kPad, 60, 28),
                6);
    // Backpack.
    body.parts.push_back(Lathe(1, {-b.chestD - 1.6f, 0, l.waist + 1.5f}, {0, 0, 1}, {-1, 0, 0}, 6,
                               {{0, 0, 0}, {0.4f, 2.0f, 4.4f}, {4.5f, 2.4f, 4.8f}, {9.5f, 2.2f, 4.6f}, {10.0f, 0, 0}},
                               kPack, 60, 32));
    return body;
}

Body LdBody()
{
    Build b;
    b.height = 57.5f;
    b.legLength = 29.0f;
    b.shoulderHalf = 6.3f;
    b.hipHalf = 2.9f;
    b.chestW = 6.4f, b.chestD = 3.9f;
    b.waistW = 4.7f, b.waistD = 3.2f;
    b.hipW = 5.5f, b.hipD = 3.6f;
    b.armR = 1.6f, b.foreR = 1.45f, b.handR = 0.9f, b.handLen = 5.2f;
    b.legR = 2.7f, b.shinR = 2.1f, b.footLen = 8.6f;
    b.headR = 4.0f, b.headH = 10.2f, b.neckLen = 2.4f, b.neckR = 1.6f;
    Body body = HumanoidBody(b);
    const Levels l = LevelsOf(b);
    // Ponytail from the back of the head.
    body.parts.push_back(Lathe(2, {-b.headR * 0.85f, 0, l.neck + b.neckLen + 7.6f}, Unit({-0.3f, 0, -1}),
                               {-1, 0, 0}, 6,
                               {{0, 0, 0}, {0.6f, 1.5f, 1.7f}, {3.0f, 1.8f, 1.7f}, {8.0f, 1.2f, 1.1f},
                                {12.5f, 0.5f, 0.5f}, {13.2f, 0, 0}},
                               kPonytail, 48, 40));
    // Coat tails hanging from the waist to mid-thigh.
    body.parts.push_back(Lathe(0, {0, 0, l.hip + 3.5f}, {0, 0, -1}, {1, 0, 0}, 10,
                               {{0, b.hipD * 1.08f, b.hipW * 1.06f},
                                {3.5f, b.hipD * 1.18f, b.hipW * 1.14f},
                                {8.0f, b.hipD * 1.4f, b.hipW * 1.3f},
                                {11.5f, b.hipD * 1.55f, b.hipW * 1.42f}},
                               kCoat, 120, 36));
    return body;
}

Body TwBody()
{
    Build b;
    b.height = 54.0f;
    b.legLength = 26.5f;
    b.shoulderHalf = 7.2f;
    b.hipHalf = 3.2f;
    b.chestW = 7.4f, b.chestD = 4.5f;
    b.waistW = 5.3f, b.waistD = 3.6f;
    b.hipW = 5.8f, b.hipD = 3.9f;
    b.armR = 2.0f, b.foreR = 1.85f, b.handR = 1.1f;
    b.legR = 3.0f, b.shinR = 2.4f, b.footLen = 9.4f;
    b.headR = 4.4f, b.headH = 10.2f;
    Body body = HumanoidBody(b);
    const Levels l = LevelsOf(b);
    const float R = b.headR;
    const float crown = l.neck + b.neckLen + 6.6f;
    // Hair cap, tilted so it reaches lower at the back, and five spikes.
    body.parts.push_back(Lathe(2, {-0.6f, 0, crown - 0.6f}, Unit({-0.35f, 0, 1}), {1, 0, 0}, 10,
                               {{0, R * 1.08f, R * 1.06f, 0.2f},
                                {1.4f, R * 1.08f, R * 1.04f},
                                {3.2f, R * 0.86f, R * 0.84f},
                                {4.6f, 0, 0}},
                               kHairCap, 80, 24));
    const Vec3 spikes[5][2] = {
        {{0.8f, 0, crown + 4.2f}, {0.4f, 0, 1}},       {{-1.6f, 1.8f, crown + 3.6f}, {-0.4f, 0.6f, 0.8f}},
        {{-1.6f, -1.8f, crown + 3.6f}, {-0.4f, -0.6f, 0.8f}}, {{-3.0f, 0, crown + 2.6f}, {-1, 0, 0.5f}},
        {{2.4f, 0, crown + 3.2f}, {0.9f, 0, 0.6f}},
    };
    int first = -1;
    for (const auto& s : spikes) {
        PartSpec p = Lathe(2, s[0], Unit(s[1]), {0, 1, 0}, 5, {{0, 0, 0}, {0.1f, 1.6f, 1.4f}, {4.2f, 0, 0}}, kSpike,
                           40, 16);
        if (first >= 0)
            p.shareCellOf = first;
        body.parts.push_back(p);
        if (first < 0)
            first = static_cast<int>(body.parts.size()) - 1;
    }
    return body;
}

Body NekoBody()
{
    Build b;
    b.height = 49.0f;
    b.legLength = 25.0f;
    b.shoulderHalf = 6.0f;
    b.hipHalf = 3.1f;
    b.chestW = 6.2f, b.chestD = 4.6f;
    b.waistW = 4.9f, b.waistD = 3.9f;
    b.hipW = 5.6f, b.hipD = 4.4f;
    b.armR = 1.7f, b.foreR = 1.55f, b.handR = 1.15f, b.handLen = 4.0f;
    b.legR = 3.3f, b.shinR = 1.9f, b.footLen = 8.0f;
    b.headR = 5.0f, b.headH = 9.4f, b.neckLen = 1.6f, b.neckR = 2.0f;
    b.digitigrade = true;
    Body body = HumanoidBody(b);
    const Levels l = LevelsOf(b);
    const float R = b.headR;
    const float base = l.neck - 0.5f + b.neckLen;
    // Muzzle.
    body.parts.push_back(Lathe(2, {R * 0.55f, 0, base + 3.3f}, Unit({1, 0, -0.12f}), {0, 0, 1}, 8,
                               {{0, 0, 0}, {0.3f, 2.1f, 2.5f}, {1.7f, 2.0f, 2.4f}, {2.9f, 1.4f, 1.8f, -0.1f},
                                {3.4f, 0, 0, -0.2f}},
                               kMuzzle, 48, 24));
    // Ears.
    AddMirrored(body,
                Lathe(2, {-0.2f, R * 0.5f, base + 7.2f}, Unit({-0.05f, 0.38f, 1}), {1, 0, 0}, 6,
                      {{0, 0, 0}, {0.2f, 1.2f, 2.0f}, {4.6f, 0, 0}}, kEar, 36, 24),
                2);
    // Tail: three segments curving up behind.
    const int pelvis = 0;
    const Vec3 t1{-b.hipD * 0.9f, 0, l.hip + 1.0f};
    const Vec3 t2 = t1 + Unit({-1, 0, 0.25f}) * 7.0f;
    const Vec3 t3 = t2 + Unit({-0.7f, 0, 0.7f}) * 6.5f;
    body.bones.push_back({"tail1", pelvis, t1});
    body.bones.push_back({"tail2", static_cast<int>(body.bones.size()) - 1, t2});
    body.bones.push_back({"tail3", static_cast<int>(body.bones.size()) - 1, t3});
    const int tb = static_cast<int>(body.bones.size()) - 3;
    const Vec3 dirs[3] = {Unit({-1, 0, 0.25f}), Unit({-0.7f, 0, 0.7f}), Unit({-0.2f, 0, 1})};
    const Vec3 starts[3] = {t1, t2, t3};
    const float lens[3] = {7.0f, 6.5f, 6.0f};
    const float radii[3] = {1.3f, 1.15f, 1.0f};
    int first = -1;
    for (int i = 0; i < 3; ++i) {
        const float r0 = radii[i], r1 = i == 2 ? 0.6f : radii[i + 1];
        PartSpec p = Lathe(tb + i, starts[i] - dirs[i] * 0.9f, dirs[i], {0, 1, 0}, 6,
                           {{0, 0, 0}, {0.5f, r0, r0}, {lens[i] + 0.9f, r1, r1}, {lens[i] + (i == 2 ? 2.0f : 1.6f), 0, 0}},
                           kTail, 48, 24);
        if (first >= 0)
            p.shareCellOf = first;
        body.parts.push_back(p);
        if (first < 0)
            first = static_cast<int>(body.parts.size()) - 1;
    }
    return body;
}

// ---------------------------------------------------------------------------
// Painting.

// Angle around a part from its front, -pi..pi (negative towards the right of a
// vertical part).
float AngleOf(const SurfacePoint& p) { return (p.u - 0.5f) * 2.0f * kPi; }

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

float Band(float x, float lo, float hi, float soft = 0.04f)
{
    return Clamp01((x - lo) / soft + 0.5f) * Clamp01((hi - x) / soft + 0.5f);
}

// Shading shared by every part: lit from the front and above, darker in the
// crevices at either end of a part, with grain.
float BaseShade(const SurfacePoint& p, bool upward, uint32_t seed, float grain = 0.9f)
{
    const float a = AngleOf(p);
    float s = kBaseShade + 0.9f * std::cos(a) - 0.3f;
    const float top = upward ? p.v : 1.0f - p.v;
    s += 0.9f * (top - 0.5f);
    const float end = std::min(p.v, 1.0f - p.v);
    if (end < 0.1f)
        s -= (0.1f - end) * 18.0f;
    s += (Fractal(p.x * 0.35f, p.y * 0.35f, seed) - 0.5f) * 2.0f * grain;
    return s;
}

Rgb Hex(uint32_t v)
{
    return {static_cast<float>((v >> 16) & 0xFF) / 255.0f, static_cast<float>((v >> 8) & 0xFF) / 255.0f,
            static_cast<float>(v & 0xFF) / 255.0f};
}

std::vector<Rgb> Ramps(std::initializer_list<uint32_t> colours)
{
    std::vector<Rgb> r;
    for (uint32_t c : colours)
        r.push_back(Hex(c));
    while (r.size() < kRampCount)
        r.push_back(Hex(0x808080));
    return r;
}

// Face on a head part: eyes, brows, nose, mouth, ears and hair, placed by the
// head's profile position (along) and angle.
Texel PaintFace(const SurfacePoint& p, float neckLen, float k, float hairFront, float hairBack, bool eyesGlow,
                uint32_t seed)
{
    const float a = AngleOf(p);
    const float h = (p.along - neckLen) / k;  // 0 at the jaw line, 10.5 at the crown
    Texel t{rSkin, BaseShade(p, true, seed, 0.35f)};
    if (h < 0.9f)  // neck shadow under the jaw
        t.shade -= 1.2f * (0.9f - h);
    // Ears.
    const float ear = std::max(Ellipse(a, h, kPi * 0.5f, 5.0f, 0.28f, 1.4f), Ellipse(a, h, -kPi * 0.5f, 5.0f, 0.28f, 1.4f));
    if (ear > 0)
        t.shade -= 1.6f * ear * (1.0f - Ellipse(std::fabs(a), h, kPi * 0.5f, 5.0f, 0.14f, 0.8f) * 0.5f);
    // Nose: bright ridge with darker flanks and nostrils.
    if (std::fabs(a) < 0.32f && h > 4.0f && h < 6.3f) {
        t.shade += 1.0f * Clamp01(1.0f - std::fabs(a) / 0.1f) - 1.2f * Band(std::fabs(a), 0.13f, 0.26f, 0.06f);
        if (h < 4.5f && std::fabs(a) > 0.06f && std::fabs(a) < 0.18f)
            t.shade -= 2.5f;
    }
    // Cheeks a little warmer: lighter shade.
    t.shade += 0.6f * std::max(Ellipse(a, h, 0.55f, 4.6f, 0.25f, 0.9f), Ellipse(a, h, -0.55f, 4.6f, 0.25f, 0.9f));
    // Mouth.
    const float mouth = Ellipse(a, h, 0.0f, 3.1f, 0.3f, 0.28f);
    if (mouth > 0) {
        t = {rLips, 8.0f - 2.0f * Ellipse(a, h, 0.0f, 3.12f, 0.26f, 0.1f)};
        return t;
    }
    // Eyes.
    for (float side : {-1.0f, 1.0f}) {
        const float ea = side * 0.4f;
        const float eye = Ellipse(a, h, ea, 6.4f, 0.17f, 0.5f);
        if (eye > 0.3f) {
            if (eyesGlow)
                return {rIris, 12.0f + 2.0f * Ellipse(a, h, ea, 6.4f, 0.08f, 0.25f)};
            const float iris = Ellipse(a, h, ea + side * -0.01f, 6.35f, 0.08f, 0.36f);
            if (Ellipse(a, h, ea, 6.35f, 0.035f, 0.16f) > 0.3f)
                return {rDark, 1.0f};
            if (iris > 0.3f)
                return {rIris, 8.0f + 2.0f * (h - 6.35f)};
            return {rWhite, 12.0f - 2.0f * (h < 6.5f ? 0 : (h - 6.5f) * 3.0f)};
        }
        if (Band(h, 6.85f, 7.1f, 0.05f) > 0.5f && std::fabs(a - ea) < 0.18f)  // upper lid line
            return {rDark, 3.0f};
        if (Band(h, 7.45f, 7.75f, 0.06f) > 0.5f && std::fabs(a - ea) < 0.2f && std::fabs(a) > 0.14f)  // brow
            return {rHair, 5.0f};
    }
    // Hair: down to the brow at the front, to the neck at the back.
    const float back = Clamp01((std::fabs(a) - 0.9f) / 1.2f);
    const float line = hairFront + (hairBack - hairFront) * back + 0.25f * std::sin(a * 9.0f);
    if (h > line) {
        const float strand = Noise(a * 14.0f, h * 1.2f, seed + 7);
        float s = BaseShade(p, true, seed + 3, 0.5f) - 1.0f + 2.2f * (strand - 0.5f);
        if (h > line - 0.4f && h < line + 0.5f)
            s -= 1.0f;
        return {rHair, s};
    }
    return t;
}

Texel PaintHands(const SurfacePoint& p, bool gloves, uint32_t seed)
{
    Texel t{gloves ? rLeather : rSkin, BaseShade(p, false, seed, 0.4f)};
    // Fingers: dark gaps on the lower half, knuckle line.
    const float a = AngleOf(p);
    if (p.v > 0.55f) {
        const float f = std::fabs(std::sin(a * 4.0f));
        if (f < 0.18f && std::fabs(a) < 2.2f)
            t.shade -= 2.5f;
    }
    if (std::fabs(p.v - 0.5f) < 0.04f)
        t.shade -= 1.0f;
    return t;
}

Texel PaintBoot(const SurfacePoint& p, int ramp, uint32_t seed, bool laces)
{
    // Foot parts run forward with u = 0.5 on top, u = 0 / 1 at the sole.
    const float a = AngleOf(p);
    Texel t{ramp, BaseShade(p, false, seed, 0.5f) + 0.5f};
    if (std::fabs(a) > 2.3f)
        return {rDark, 3.5f + (Fractal(p.x * 0.5f, p.y * 0.5f, seed) - 0.5f)};
    if (std::fabs(a) > 2.0f)
        return {rDark, 5.5f};
    if (laces && std::fabs(a) < 0.35f && p.v > 0.2f && p.v < 0.55f) {
        const float cross = std::fabs(std::fmod(p.v * 40.0f, 2.0f) - 1.0f);
        return {rWhite, 8.0f + 2.0f * cross};
    }
    if (p.v > 0.8f)
        t.shade += 0.8f;  // toe cap
    return t;
}

// ---- ddz: armoured trooper -------------------------------------------------

Texel PaintDdz(const SurfacePoint& p)
{
    const uint32_t seed = 11;
    const float a = AngleOf(p);
    const float fa = std::fabs(a);
    switch (p.paint) {
    case kHead:
        return PaintFace(p, 1.4f, 10.0f / 10.5f, 8.6f, 5.0f, false, seed);
    case kHelmet: {
        Texel t{rMain, BaseShade(p, true, seed, 0.5f) + 0.8f};
        if (p.v < 0.14f)
            t = {rTrim, 11.0f - 6.0f * p.v};  // rim
        if (fa < 0.16f && p.v > 0.14f)
            t = {rAccent, 9.0f + std::cos(a * 10.0f)};  // crest stripe
        if (fa > 2.6f && p.v > 0.3f && p.v < 0.6f)
            t.shade -= 1.0f;
        return t;
    }
    case kTorso: {
        Texel t{rMain, BaseShade(p, true, seed, 0.6f)};
        const float h = p.along;
        // Chest plate over the front with a rim, ribbed abdomen below it.
        const bool plate = fa < 1.3f && h > 6.0f && h < 17.5f;
        if (plate) {
            t.shade += 1.0f;
            if (fa > 1.15f || h < 6.6f)
                t = {rTrim, 9.5f};
            if (Ellipse(a, h, 0.0f, 13.0f, 0.35f, 2.2f) > 0.4f)  // unit badge
                t = {rAccent, 10.0f + 2.0f * Ellipse(a, h, 0.0f, 13.0f, 0.2f, 1.4f)};
        } else if (h <= 6.0f && fa < 1.3f) {
            t = {rSecond, BaseShade(p, true, seed + 1, 0.4f) - 1.0f * (std::fmod(h, 1.5f) < 0.4f ? 1 : 0)};
        }
        if (h < 2.0f)
            t = {rBelt, 8.0f + (fa < 0.25f ? 3.0f : 0.0f)};
        if (fa > 2.4f && h > 5 && h < 16)  // vents on the back
            t.shade -= 1.2f * (std::fmod(h, 2.0f) < 0.6f ? 1.0f : 0.0f);
        return t;
    }
    case kPelvis: {
        Texel t{rSecond, BaseShade(p, true, seed + 2, 0.7f)};
        if (p.v > 0.78f)
            t = {rBelt, 8.5f + (fa < 0.3f ? 3.0f : 0.0f) - (p.v > 0.97f ? 2.0f : 0.0f)};
        if (fa < 0.5f && p.v > 0.35f && p.v < 0.75f)  // codpiece plate
            t = {rMain, 9.5f - 1.5f * std::fabs(p.v - 0.55f) * 4.0f};
        return t;
    }
    case kUpperArm:
        return {rSecond, BaseShade(p, false, seed + 3, 0.7f)};
    case kPad: {
        Texel t{rMain, BaseShade(p, false, seed + 4, 0.4f) + 1.0f};
        if (p.v > 0.72f)
            t = {rTrim, 9.0f};
        if (Ellipse(a, p.v, 0.0f, 0.45f, 0.6f, 0.18f) > 0.5f)
            t = {rAccent, 10.0f};
        return t;
    }
    case kForearm: {
        Texel t{rMain, BaseShade(p, false, seed + 5, 0.5f) + 0.5f};  // armoured bracers
        if (p.v < 0.18f || (p.v > 0.82f))
            t = {rTrim, 8.0f};
        if (fa < 0.4f && p.v > 0.35f && p.v < 0.6f)
            t = {rAccent, 11.0f};  // wrist display
        return t;
    }
    case kHand:
        return PaintHands(p, true, seed + 6);
    case kThigh: {
        Texel t{rSecond, BaseShade(p, false, seed + 7, 0.8f)};
        if (fa > 1.1f && fa < 1.6f && p.v > 0.2f && p.v < 0.6f)
            t = {rBelt, 7.0f};  // holster strap
        return t;
    }
    case kShin: {
        Texel t{rSecond, BaseShade(p, false, seed + 8, 0.8f)};
        if (p.v < 0.3f && fa < 1.0f)  // knee guard
            t = {rMain, 11.0f - 8.0f * std::fabs(p.v - 0.15f)};
        if (p.v > 0.55f)
            t = {rLeather, BaseShade(p, false, seed + 9, 0.5f) - (std::fabs(p.v - 0.7f) < 0.02f ? 2.0f : 0.0f)};
        return t;
    }
    case kFoot:
        return PaintBoot(p, rLeather, seed + 10, false);
    case kPack: {
        Texel t{rMain, BaseShade(p, true, seed + 12, 0.6f) - 0.5f};
        if (std::fabs(p.v - 0.5f) < 0.03f || std::fabs(p.v - 0.2f) < 0.02f)
            t = {rTrim, 7.0f};
        if (fa < 0.5f && p.v > 0.25f && p.v < 0.45f)
            t = {rAccent, 9.0f};
        return t;
    }
    default:
        return {rMain, kBaseShade};
    }
}

// ---- ld: duelist in a long coat --------------------------------------------

Texel PaintLd(const SurfacePoint& p)
{
    const uint32_t seed = 23;
    const float a = AngleOf(p);
    const float fa = std::fabs(a);
    switch (p.paint) {
    case kHead:
        return PaintFace(p, 2.4f, 10.2f / 10.5f, 8.2f, 2.5f, false, seed);
    case kPonytail: {
        const float strand = Noise(a * 10.0f, p.v * 30.0f, seed);
        Texel t{rHair, BaseShade(p, false, seed, 0.3f) + 2.0f * (strand - 0.5f)};
        if (p.v < 0.12f && p.v > 0.06f)
            t = {rTrim, 11.0f};  // clasp
        return t;
    }
    case kTorso: {
        const float h = p.along;
        Texel t{rMain, BaseShade(p, true, seed + 1, 0.5f)};
        // Coat open at the front over a shirt, lapels, buttons down the edge.
        if (fa < 0.35f + 0.02f * h && h > 4.0f) {
            t = {rWhite, 11.0f - 0.3f * (17.0f - h) * 0.1f};
            if (fa < 0.08f && std::fmod(h, 2.4f) < 0.5f)
                t = {rDark, 4.0f};
        }
        if (fa >= 0.35f + 0.02f * h && fa < 0.5f + 0.02f * h && h > 4.0f)
            t = {rSecond, 9.0f};  // lapel
        if (h < 3.0f)
            t = {rBelt, 8.0f + (fa < 0.3f ? 3.5f : 0.0f)};
        if (std::fabs(fa - 1.6f) < 0.03f)
            t.shade -= 2.0f;  // side seams
        return t;
    }
    case kCoat: {
        Texel t{rMain, BaseShade(p, false, seed + 2, 0.5f)};
        if (fa < 0.45f)
            t = {rSecond, BaseShade(p, false, seed + 3, 0.4f) - 1.5f};  // the opening shows the lining
        if (p.v > 0.9f)
            t = {rTrim, 10.0f};  // hem braid
        if (fa > 2.9f)
            t.shade -= 2.0f;  // back vent
        return t;
    }
    case kPelvis: {
        Texel t{rSecond, BaseShade(p, true, seed + 4, 0.6f)};
        if (p.v > 0.8f)
            t = {rBelt, 8.0f};
        return t;
    }
    case kUpperArm: {
        Texel t{rMain, BaseShade(p, false, seed + 5, 0.5f)};
        if (std::fabs(p.v - 0.28f) < 0.05f)
            t = {rTrim, 10.0f};
        return t;
    }
    case kForearm: {
        Texel t{rMain, BaseShade(p, false, seed + 6, 0.5f)};
        if (p.v > 0.7f)
            t = {rSecond, 9.0f + (p.v > 0.78f && p.v < 0.82f ? 2.0f : 0.0f)};  // turned-back cuff
        return t;
    }
    case kHand:
        return PaintHands(p, false, seed + 7);
    case kThigh:
        return {rSecond, BaseShade(p, false, seed + 8, 0.5f) + (std::fabs(fa - 1.57f) < 0.05f ? 2.0f : 0.0f)};
    case kShin: {
        Texel t{rLeather, BaseShade(p, false, seed + 9, 0.4f) + 1.0f};  // tall riding boots
        if (p.v < 0.16f)
            t = {rLeather, 7.0f};
        if (fa > 1.4f && fa < 1.7f && p.v > 0.2f && std::fmod(p.v, 0.12f) < 0.03f)
            t = {rTrim, 11.0f};
        return t;
    }
    case kFoot:
        return PaintBoot(p, rLeather, seed + 10, false);
    default:
        return {rMain, kBaseShade};
    }
}

// ---- tw: runner --------------------------------------------------------------

Texel PaintTw(const SurfacePoint& p)
{
    const uint32_t seed = 37;
    const float a = AngleOf(p);
    const float fa = std::fabs(a);
    switch (p.paint) {
    case kHead:
        return PaintFace(p, 2.0f, 10.2f / 10.5f, 8.4f, 4.0f, false, seed);
    case kHairCap:
    case kSpike: {
        const float strand = Noise(a * 12.0f, p.v * 14.0f, seed);
        return {rHair, BaseShade(p, true, seed, 0.3f) + 1.0f + 2.5f * (strand - 0.5f) + 1.5f * p.v};
    }
    case kTorso: {
        const float h = p.along;
        Texel t{rMain, BaseShade(p, true, seed + 1, 0.5f)};
        // Jacket with a coloured yoke, a zip and a number on the back.
        if (h > 12.5f)
            t = {rSecond, BaseShade(p, true, seed + 2, 0.4f)};
        if (std::fabs(h - 12.5f) < 0.3f)
            t = {rWhite, 11.0f};
        if (fa < 0.05f && h > 2.5f)
            t = {rTrim, 11.0f};
        if (fa > 2.2f) {
            const float x = (fa - 2.2f) * 4.0f, y = h - 7.5f;
            const bool digit = (std::fabs(y) < 2.4f && x < 1.7f) &&
                               ((std::fabs(x - 0.4f) < 0.25f) || (std::fabs(y - 2.1f) < 0.3f && x > 0.3f) ||
                                (std::fabs(y) < 0.3f && x > 0.3f) || (std::fabs(y + 2.1f) < 0.3f && x > 0.3f) ||
                                (std::fabs(x - 1.45f) < 0.25f && y > 0));
            if (digit)
                t = {rAccent, 11.0f};
        }
        if (h < 2.2f)
            t = {rSecond, 7.0f};  // waistband
        return t;
    }
    case kPelvis: {
        Texel t{rExtra, BaseShade(p, true, seed + 3, 0.6f)};
        if (p.v > 0.85f)
            t = {rSecond, 7.5f};
        if (std::fabs(fa - 1.57f) < 0.12f)
            t = {rWhite, 11.0f};  // side stripe
        return t;
    }
    case kUpperArm: {
        Texel t{rMain, BaseShade(p, false, seed + 4, 0.5f)};
        if (p.v < 0.35f)
            t = {rSecond, BaseShade(p, false, seed + 5, 0.4f)};
        if (std::fabs(fa - 1.57f) < 0.12f)
            t = {rWhite, 11.0f};
        return t;
    }
    case kForearm: {
        Texel t{rSkin, BaseShade(p, false, seed + 6, 0.3f)};
        if (p.v > 0.72f)
            t = {rAccent, 9.5f};  // sweatbands
        return t;
    }
    case kHand:
        return PaintHands(p, true, seed + 7);
    case kThigh: {
        Texel t{rExtra, BaseShade(p, false, seed + 8, 0.6f)};
        if (std::fabs(fa - 1.57f) < 0.12f)
            t = {rWhite, 11.0f};
        return t;
    }
    case kShin: {
        Texel t{rExtra, BaseShade(p, false, seed + 9, 0.6f)};
        if (std::fabs(fa - 1.57f) < 0.12f)
            t = {rWhite, 11.0f};
        if (p.v > 0.72f)
            t = {rWhite, BaseShade(p, false, seed + 10, 0.3f) + 1.0f};  // socks
        return t;
    }
    case kFoot: {
        Texel t = PaintBoot(p, rAccent, seed + 11, true);
        if (t.ramp == rAccent && p.v > 0.25f && p.v < 0.7f && std::fabs(fa - 1.3f) < 0.15f)
            t = {rWhite, 11.0f};  // side flash
        return t;
    }
    default:
        return {rMain, kBaseShade};
    }
}

// ---- neko: cat creature ---------------------------------------------------------

Texel Fur(const SurfacePoint& p, uint32_t seed, float stripeFreq, float stripeBias)
{
    const float a = AngleOf(p);
    float s = BaseShade(p, true, seed, 0.4f) + 0.6f;
    const float hair = Noise(p.x * 1.3f, p.y * 0.4f, seed + 5);
    s += 1.4f * (hair - 0.5f);
    // Tabby stripes across the part, broken up by noise, fading towards the belly.
    const float wobble = 0.9f * (Fractal(p.x * 0.12f, p.y * 0.12f, seed + 9) - 0.5f);
    const float stripe = std::sin((p.v * stripeFreq + wobble) * 2.0f * kPi);
    const float front = Clamp01(1.0f - (std::fabs(a)) / 1.0f);
    Texel t{rHair, s};
    if (stripe > stripeBias && front < 0.7f)
        t = {rSecond, s - 1.5f};
    if (front > 0.35f)
        t = {rWhite, s + 0.5f - 4.0f * (0.45f - std::min(front, 0.45f))};  // pale belly
    return t;
}

Texel PaintNeko(const SurfacePoint& p)
{
    const uint32_t seed = 51;
    const float a = AngleOf(p);
    const float fa = std::fabs(a);
    switch (p.paint) {
    case kHead: {
        const float h = p.along - 1.6f;  // 0 at the jaw line
        Texel t{rHair, BaseShade(p, true, seed, 0.4f) + 0.5f + 1.2f * (Noise(p.x, p.y * 0.5f, seed) - 0.5f)};
        // Forehead "M" stripes and cheek stripes.
        if (h > 7.0f && fa < 0.7f && std::sin(a * 11.0f) > 0.55f)
            t = {rSecond, t.shade - 1.5f};
        if (fa > 0.9f && fa < 1.6f && std::sin(h * 3.2f) > 0.6f)
            t = {rSecond, t.shade - 1.5f};
        if (fa < 0.9f && h < 4.2f)
            t = {rWhite, BaseShade(p, true, seed + 1, 0.3f) + 1.0f};  // pale chin and cheeks
        for (float side : {-1.0f, 1.0f}) {
            const float ea = side * 0.42f;
            const float eye = Ellipse(a, h, ea, 5.9f, 0.2f, 0.75f);
            if (eye > 0.2f) {
                if (Ellipse(a, h, ea, 5.9f, 0.04f, 0.55f) > 0.3f)
                    return {rDark, 0.5f};  // slit pupil
                return {rIris, 9.0f + 3.0f * (h - 5.9f)};
            }
            if (Ellipse(a, h, ea, 5.9f, 0.26f, 0.95f) > 0.2f)
                return {rDark, 3.0f};  // dark rim
        }
        return t;
    }
    case kMuzzle: {
        // Along runs forward; u = 0.5 on top of the muzzle.
        Texel t{rWhite, BaseShade(p, true, seed + 2, 0.3f) + 0.5f};
        if (p.v > 0.78f && fa < 0.7f)
            return {rLips, 9.0f - (p.v > 0.9f ? 1.5f : 0.0f)};  // nose
        if (fa > 2.2f && p.v > 0.55f)
            return {rDark, 4.0f};  // mouth line underneath
        for (float w : {0.45f, 0.62f, 0.79f})
            if (std::fabs(fa - 1.2f) < 0.55f && std::fabs(p.v - w) < 0.025f && fa > 0.7f)
                t = {rDark, 5.0f};  // whisker pads
        if (fa > 0.9f && fa < 1.6f && p.v > 0.3f && p.v < 0.8f && Noise(p.x * 2.0f, p.y * 2.0f, seed) > 0.75f)
            t = {rDark, 6.0f};
        return t;
    }
    case kEar: {
        Texel t{rHair, BaseShade(p, true, seed + 3, 0.3f)};
        if (fa < 0.9f)
            t = {rLips, 9.0f - 2.0f * p.v};  // inner ear
        if (p.v > 0.8f)
            t = {rSecond, 5.0f};  // dark tips
        return t;
    }
    case kTail: {
        Texel t = Fur(p, seed + 4, 3.0f, 0.2f);
        if (t.ramp == rWhite)
            t.ramp = rHair;
        return t;
    }
    case kTorso:
        return Fur(p, seed + 5, 5.0f, 0.35f);
    case kPelvis:
        return Fur(p, seed + 6, 2.5f, 0.35f);
    case kUpperArm:
    case kForearm:
    case kThigh:
    case kShin: {
        Texel t = Fur(p, seed + 7 + static_cast<uint32_t>(p.paint), 3.0f, 0.3f);
        if (t.ramp == rWhite && std::fabs(AngleOf(p)) > 0.3f)
            t.ramp = rHair;
        return t;
    }
    case kHand: {
        Texel t{rWhite, BaseShade(p, false, seed + 8, 0.4f) + 0.5f};
        if (p.v > 0.6f && std::fabs(std::sin(a * 3.0f)) < 0.2f)
            t.shade -= 3.0f;  // toes
        if (fa > 2.2f && p.v > 0.4f)
            t = {rLips, 8.0f};  // pads
        return t;
    }
    case kFoot: {
        Texel t{rWhite, BaseShade(p, false, seed + 9, 0.4f) + 0.5f};
        if (p.v > 0.75f && std::fabs(std::sin(a * 3.0f)) < 0.2f)
            t.shade -= 3.0f;
        if (fa > 2.3f && p.v > 0.6f)
            t = {rLips, 8.0f};
        if (p.v < 0.5f && fa > 1.2f)
            t = {rHair, BaseShade(p, false, seed + 10, 0.4f)};  // the hock is furred
        return t;
    }
    default:
        return {rHair, kBaseShade};
    }
}

// Colour schemes. Ramp order: skin, hair, main, second, trim, leather, iris,
// white, dark, accent, lips, belt, extra.
std::vector<Rgb> SchemeOf(const std::string& key, int variant)
{
    if (key == "ddz")  // olive armour, grey-green fatigues, orange marks
        return Ramps({0xC8936E, 0x3A2A1E, 0x5E6B3A, 0x4B5046, 0xB9B6A6, 0x3B2E22, 0x4A6A8A, 0xE8E4DA, 0x1A1A1C,
                      0xE07A1A, 0x9A4A42, 0x2E2A24, 0x707070});
    if (key == "ld") {
        switch (variant) {
        case 0:  // crimson coat, black breeches, gold braid
            return Ramps({0xE2B59A, 0xD9C27A, 0x9A1E26, 0x2A2A30, 0xE0B040, 0x3A2418, 0x3B7A4A, 0xF0ECE2, 0x141216,
                          0xE0B040, 0xB55A5A, 0x2A1A12, 0x808080});
        case 1:  // teal coat, slate breeches, silver braid, raven hair
            return Ramps({0xC99A7C, 0x1E1E26, 0x1E6E72, 0x3E4652, 0xC8CCD4, 0x2A2C30, 0x7A5A2A, 0xEEF0F0, 0x101214,
                          0xC8CCD4, 0xA0524E, 0x202428, 0x808080});
        default:  // violet coat, charcoal, copper, auburn hair
            return Ramps({0x9A6A4E, 0x8A3A1E, 0x5A2E7A, 0x2E2A2E, 0xC87A3A, 0x2E1E16, 0x3A4A8A, 0xF2E8E0, 0x120E12,
                          0xC87A3A, 0x8A4040, 0x241A18, 0x808080});
        }
    }
    if (key == "neko")  // ginger tabby
        return Ramps({0xE0A070, 0xD88A3A, 0xD88A3A, 0x8A4A1C, 0x808080, 0x6A4A2A, 0x9AC83A, 0xF4ECDC, 0x161210,
                      0xD88A3A, 0xE08A8A, 0x404040, 0x808080});
    switch (variant) {  // tw
    case 0:  // orange jacket, blue yoke, navy trousers, blond
        return Ramps({0xD8A67E, 0xE8C850, 0xE0641E, 0x1E4A9A, 0xD8D8D8, 0x2A2A2E, 0x3A6AB0, 0xF4F4F0, 0x141418,
                      0x2A9AD8, 0xB05A50, 0x303030, 0x22283E});
    case 1:  // lime and black, green hair
        return Ramps({0xB07A58, 0x3AB04A, 0x8AC83A, 0x1E1E22, 0xE0E0E0, 0x26262A, 0x6A4A2A, 0xF0F0EA, 0x0E0E10,
                      0xE02A6A, 0xA04A48, 0x303030, 0x2E2E34});
    default:  // red and white, black hair, grey trousers
        return Ramps({0xF0C8A8, 0x1A1A1E, 0xC81E2A, 0xF0EEE8, 0x303030, 0x1E1E22, 0x5A3A2A, 0xFAFAF6, 0x101012,
                      0xF0C020, 0xC06060, 0x303030, 0x505660});
    }
}

}  // namespace

std::vector<Figure> MakeFigures()
{
    std::vector<Figure> figures(4);

    figures[0].key = "ddz";
    figures[0].body = DdzBody();
    figures[0].motion = {0.85f, 0.22f, 0.03f, 0.07f, false, false};
    figures[0].skinNames = {"md2\\ddz\\ddz.pcx"};

    // ld and neko only ever appear turned inside out by the room scene, so they
    // are stored with the opposite winding; tw appears both ways and keeps the
    // classic winding, like ddz.
    figures[1].key = "ld";
    figures[1].body = LdBody();
    figures[1].motion = {1.0f, 0.12f, -0.03f, 0.04f, false, false};
    figures[1].frontClockwise = false;
    figures[1].skinNames = {"md2\\ld\\l1.pcx", "md2\\ld\\l2.pcx", "md2\\ld\\l3.pcx"};

    figures[2].key = "neko";
    figures[2].body = NekoBody();
    figures[2].motion = {1.15f, 0.2f, 0.14f, 0.06f, true, true};
    figures[2].frontClockwise = false;
    figures[2].skinNames = {"md2\\neko\\g.pcx"};

    figures[3].key = "tw";
    figures[3].body = TwBody();
    figures[3].motion = {1.2f, 0.15f, 0.02f, 0.05f, false, false};
    figures[3].skinNames = {"md2\\tw\\s1.pcx", "md2\\tw\\s2.pcx", "md2\\tw\\s3.pcx"};
    return figures;
}

IndexedImage PaintFigureSkin(const Figure& figure, const Rig& rig, int variant)
{
    const std::vector<Rgb> ramps = SchemeOf(figure.key, variant);
    Painter painter = PaintTw;
    if (figure.key == "ddz")
        painter = PaintDdz;
    else if (figure.key == "ld")
        painter = PaintLd;
    else if (figure.key == "neko")
        painter = PaintNeko;
    return PaintSkin(rig, kSkinSize, kSkinSize, ramps, painter, Texel{rDark, 2.0f});
}
