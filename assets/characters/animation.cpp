// Key poses for the MD2 player layout. Every clip is a short list of key poses
// at times 0..1, eased with smoothstep between keys; looping clips (stand, run,
// crouch stand, crouch walk) sample their period without repeating the first
// frame, one-shot clips include both ends. The run and crouch walk are cycles
// whose keys come from a phase function, one key per frame.

#include "assets/characters/animation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float D(float degrees) { return degrees * kPi / 180.0f; }

// Pose builder over the shared bone names. Angles in degrees for readability;
// positive swing moves a limb forward, positive bend folds elbows and knees,
// positive out moves a limb away from the body, positive lean bends forward.
class PoseBuilder {
public:
    PoseBuilder(const Body& body, const Motion& motion) : m_motion(motion), m_pose(RestPose(body))
    {
        for (const char* n : {"pelvis", "chest", "head", "l_upper", "l_fore", "l_hand", "r_upper", "r_fore",
                              "r_hand", "l_thigh", "l_shin", "l_foot", "r_thigh", "r_shin", "r_foot", "tail1",
                              "tail2", "tail3"})
            m_index.push_back(body.BoneIndex(n));
        Arm(1, 0, 0, 8).Arm(-1, 0, 0, 8).Leg(1, 0, 0).Leg(-1, 0, 0).Spine(0);
    }

    PoseBuilder& Root(float dx, float dy, float dz)
    {
        m_pose.rootOffset = {dx, dy, dz};
        return *this;
    }
    PoseBuilder& Tilt(float lean, float roll = 0, float yaw = 0)
    {
        m_pose.rootRotation = {D(roll), D(lean), D(yaw)};
        return *this;
    }
    PoseBuilder& Lift(float v)
    {
        m_pose.lift = v;
        return *this;
    }
    PoseBuilder& Spine(float lean, float twist = 0, float side = 0)
    {
        Set(1, {D(side), D(lean) + m_motion.slouch, D(twist)});
        return *this;
    }
    PoseBuilder& Head(float nod, float turn = 0, float tilt = 0)
    {
        Set(2, {D(tilt), D(nod) - 0.6f * m_motion.slouch, D(turn)});
        return *this;
    }
    // s: +1 left, -1 right.
    PoseBuilder& Arm(int s, float swing, float out, float bend, float twist = 0)
    {
        const int b = s > 0 ? 3 : 6;
        const float rest = m_motion.armsOut;
        Set(b, {static_cast<float>(s) * (D(out) + rest), -D(swing), static_cast<float>(s) * D(twist)});
        Set(b + 1, {0, -D(bend), 0});
        Set(b + 2, {0, 0, 0});
        return *this;
    }
    PoseBuilder& Hand(int s, float flex, float turn = 0)
    {
        Set(s > 0 ? 5 : 8, {0, -D(flex), static_cast<float>(s) * D(turn)});
        return *this;
    }
    PoseBuilder& Leg(int s, float swing, float knee, float out = 0, float foot = 0)
    {
        const int b = s > 0 ? 9 : 12;
        Set(b, {static_cast<float>(s) * (D(out) + m_motion.stance), -D(swing), 0});
        Set(b + 1, {0, D(knee), 0});
        Set(b + 2, {0, D(swing) - D(knee) + D(foot), 0});
        return *this;
    }
    PoseBuilder& Tail(float sway, float curl)
    {
        Set(15, {0, -D(curl) * 0.5f, D(sway) * 0.6f});
        Set(16, {0, -D(curl) * 0.8f, D(sway)});
        Set(17, {0, -D(curl), D(sway) * 1.3f});
        return *this;
    }
    // Explicit tail bends (degrees, positive lifts), for lying poses where the
    // tail must follow the body down.
    PoseBuilder& TailBend(float a, float b, float c)
    {
        Set(15, {0, -D(a), 0});
        Set(16, {0, -D(b), 0});
        Set(17, {0, -D(c), 0});
        return *this;
    }
    Pose Get() const { return m_pose; }

private:
    void Set(size_t slot, Vec3 r)
    {
        const int b = m_index[slot];
        if (b >= 0)
            m_pose.rotation[static_cast<size_t>(b)] = r;
    }

    Motion m_motion;
    Pose m_pose;
    std::vector<int> m_index;
};

struct Key {
    float t;
    Pose pose;
};

float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }

Pose Sample(const std::vector<Key>& keys, float t)
{
    if (t <= keys.front().t)
        return keys.front().pose;
    for (size_t i = 1; i < keys.size(); ++i)
        if (t <= keys[i].t) {
            const float span = keys[i].t - keys[i - 1].t;
            const float f = span > 0 ? (t - keys[i - 1].t) / span : 1.0f;
            return BlendPoses(keys[i - 1].pose, keys[i].pose, Smooth(f));
        }
    return keys.back().pose;
}

void Bake(std::vector<Pose>& out, const std::vector<Key>& keys, int frames, bool loop)
{
    for (int k = 0; k < frames; ++k) {
        const float t = loop ? static_cast<float>(k) / static_cast<float>(frames)
                             : static_cast<float>(k) / static_cast<float>(frames - 1);
        out.push_back(Sample(keys, t));
    }
}

// The pose builder of one figure: P() starts a pose from rest with the
// figure's motion applied.
struct Posing {
    const Body& body;
    const Motion& motion;
    PoseBuilder operator()() const { return PoseBuilder(body, motion); }
};

// Each clip appends its frames to out, in layout order.
using ClipBaker = void (*)(const Posing& P, std::vector<Pose>& out);

// Idle: breathing, a look to either side.
void Stand(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, P().Get()},
          {0.25f, P().Spine(-3, 4).Head(-4, 14, 3).Arm(1, 2, 4, 12).Arm(-1, -2, 3, 10).Get()},
          {0.5f, P().Spine(1, 0).Head(2, 0).Arm(1, 0, 1, 6).Arm(-1, 1, 1, 9).Get()},
          {0.75f, P().Spine(-2, -5).Head(-3, -16, -3).Arm(1, -2, 3, 10).Arm(-1, 2, 4, 12).Get()},
          {1.0f, P().Get()}},
         40, true);
}

// Run: six keys of a cycle.
void Run(const Posing& P, std::vector<Pose>& out)
{
    const float e = P.motion.energy;
    std::vector<Key> keys;
    for (int k = 0; k <= 6; ++k) {
        const float ph = 2.0f * kPi * static_cast<float>(k) / 6.0f;
        const float s = std::sin(ph);
        const float kneeL = 15 + 70 * std::max(0.0f, std::cos(ph + kPi / 6));
        const float kneeR = 15 + 70 * std::max(0.0f, std::cos(ph + kPi + kPi / 6));
        keys.push_back({static_cast<float>(k) / 6.0f, P().Spine(12 * e, 10 * s)
                                                           .Head(-8 * e, -8 * s)
                                                           .Leg(1, 38 * e * s, kneeL)
                                                           .Leg(-1, -38 * e * s, kneeR)
                                                           .Arm(1, -40 * e * s, 4, 85)
                                                           .Arm(-1, 40 * e * s, 4, 85)
                                                           .Tail(-15 * s, 25)
                                                           .Lift(1.5f * std::fabs(std::cos(ph)))
                                                           .Get()});
    }
    Bake(out, keys, 6, true);
}

// Attack: wind up, strike with the right arm, recover.
void Attack(const Posing& P, std::vector<Pose>& out)
{
    const float e = P.motion.energy;
    const Pose guard = P().Spine(6, -10).Arm(1, 45, 10, 115).Arm(-1, 40, 10, 120).Leg(1, 10, 18).Leg(-1, -8, 12).Get();
    Bake(out,
         {{0.0f, guard},
          {0.3f, P().Spine(4, -25).Arm(1, 45, 10, 115).Arm(-1, 10, 15, 125).Leg(1, 10, 18).Leg(-1, -8, 12).Get()},
          {0.5f, P().Spine(12, 25).Head(0, -20).Arm(1, 20, 10, 120).Arm(-1, 90 * e, 0, 5).Leg(1, 14, 20)
                     .Leg(-1, -12, 8).Get()},
          {0.75f, P().Spine(8, 5).Arm(1, 40, 10, 115).Arm(-1, 55, 10, 90).Leg(1, 10, 18).Leg(-1, -8, 12).Get()},
          {1.0f, guard}},
         8, false);
}

// Pain 1: thrown back.
void Pain1(const Posing& P, std::vector<Pose>& out)
{
    Bake(out, {{0.0f, P().Get()}, {0.35f, P().Spine(-18, 0).Head(-20).Arm(1, -10, 30, 30).Arm(-1, -10, 30, 30)
                                             .Leg(1, 5, 10).Get()},
               {1.0f, P().Spine(-3).Get()}}, 4, false);
}

// Pain 2: doubled over.
void Pain2(const Posing& P, std::vector<Pose>& out)
{
    Bake(out, {{0.0f, P().Get()}, {0.35f, P().Spine(30, 0).Head(15).Arm(1, 30, -5, 90).Arm(-1, 30, -5, 90)
                                             .Leg(1, 10, 25).Leg(-1, 5, 20).Get()},
               {1.0f, P().Spine(5).Get()}}, 4, false);
}

// Pain 3: twisted aside.
void Pain3(const Posing& P, std::vector<Pose>& out)
{
    Bake(out, {{0.0f, P().Get()}, {0.35f, P().Spine(-5, 30, 12).Head(0, 25, 10).Arm(1, -15, 35, 40)
                                             .Arm(-1, 25, 10, 70).Leg(-1, 8, 18).Get()},
               {1.0f, P().Get()}}, 4, false);
}

// Jump: from a crouch, up, tucked, landing.
void Jump(const Posing& P, std::vector<Pose>& out)
{
    const float e = P.motion.energy;
    Bake(out,
         {{0.0f, P().Spine(20).Arm(1, -30, 10, 20).Arm(-1, -30, 10, 20).Leg(1, 45, 80).Leg(-1, 45, 80).Get()},
          {0.3f, P().Spine(-5).Head(-10).Arm(1, 120 * e, 15, 20).Arm(-1, 120 * e, 15, 20).Leg(1, 0, 5, 0, 30)
                     .Leg(-1, -5, 10, 0, 30).Lift(7).Get()},
          {0.65f, P().Spine(15).Arm(1, 40, 20, 60).Arm(-1, 40, 20, 60).Leg(1, 70, 100).Leg(-1, 60, 90).Lift(9)
                      .Get()},
          {1.0f, P().Spine(15).Arm(1, 20, 25, 40).Arm(-1, 20, 25, 40).Leg(1, 35, 60).Leg(-1, 30, 55).Get()}},
         6, false);
}

// Flip: a dismissive shake of a raised fist.
void Flip(const Posing& P, std::vector<Pose>& out)
{
    const Pose fist = P().Spine(-4, -15).Head(-6, -10).Arm(-1, 75, 20, 110, -20).Hand(-1, -30).Get();
    Bake(out,
         {{0.0f, P().Get()}, {0.25f, fist},
          {0.45f, P().Spine(-2, -12).Head(-6, -10).Arm(-1, 85, 25, 70, -20).Hand(-1, -10).Get()},
          {0.65f, fist},
          {0.8f, P().Spine(-2, -12).Head(-6, -10).Arm(-1, 85, 25, 70, -20).Hand(-1, -10).Get()},
          {1.0f, P().Get()}},
         12, false);
}

// Salute: right hand to the brow, held.
void Salute(const Posing& P, std::vector<Pose>& out)
{
    const Pose salute = P().Spine(-3).Head(-4).Arm(-1, 45, 75, 145, 60).Hand(-1, 10).Arm(1, 0, -4, 4).Leg(1, 0, 0, -2)
                            .Leg(-1, 0, 0, -2).Get();
    Bake(out, {{0.0f, P().Get()}, {0.3f, salute}, {0.8f, salute}, {1.0f, P().Get()}}, 11, false);
}

// Taunt: hands on hips, laugh, beckon.
void Taunt(const Posing& P, std::vector<Pose>& out)
{
    const Pose hips = P().Spine(-6).Head(-8, 10).Arm(1, -25, 45, 100, -30).Arm(-1, -25, 45, 100, -30)
                          .Leg(1, 0, 0, 6).Leg(-1, 0, 0, 6).Get();
    Bake(out,
         {{0.0f, P().Get()}, {0.2f, hips},
          {0.4f, P().Spine(-15).Head(-25, 5).Arm(1, -25, 45, 100, -30).Arm(-1, -25, 45, 100, -30).Leg(1, 0, 0, 6)
                     .Leg(-1, 0, 0, 6).Get()},
          {0.55f, hips},
          {0.7f, P().Spine(2, 10).Head(0, 10).Arm(1, -25, 45, 100, -30).Arm(-1, 80, 10, 30).Hand(-1, 40).Get()},
          {0.82f, P().Spine(2, 10).Head(0, 10).Arm(1, -25, 45, 100, -30).Arm(-1, 75, 10, 100).Hand(-1, 60).Get()},
          {1.0f, P().Get()}},
         17, false);
}

// The wave's arm at one swing of the forearm.
Pose WavingPose(const Posing& P, float bend, float twist)
{
    const float e = P.motion.energy;
    return P().Spine(-2, 8).Head(-5, -8).Arm(-1, 20, 140 * std::min(1.0f, e), bend, twist).Get();
}

// Wave: right arm raised, forearm swinging.
void Wave(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, P().Get()}, {0.2f, WavingPose(P, 20, 0)}, {0.4f, WavingPose(P, 55, 25)},
          {0.6f, WavingPose(P, 15, -10)}, {0.8f, WavingPose(P, 55, 25)}, {1.0f, P().Get()}},
         11, false);
}

// Point: right arm straight ahead, head following.
void Point(const Posing& P, std::vector<Pose>& out)
{
    const Pose point = P().Spine(2, 12).Head(-2, -8).Arm(-1, 88, 2, 0, 0).Hand(-1, -5).Arm(1, -5, 2, 10).Get();
    Bake(out, {{0.0f, P().Get()}, {0.3f, point}, {0.75f, point}, {1.0f, P().Get()}}, 12, false);
}

// The low stance every crouch clip starts from.
PoseBuilder Crouch(const Posing& P, float breathe, float look)
{
    return P().Spine(28 + breathe, look * 0.3f).Head(-22 - breathe, look).Arm(1, 35, 8, 50).Arm(-1, 35, 8, 50)
              .Leg(1, 75, 120, 6).Leg(-1, 65, 115, 6).Tail(look * 0.8f, 10);
}

// Crouch stand: low idle.
void CrouchStand(const Posing& P, std::vector<Pose>& out)
{
    Bake(out, {{0.0f, Crouch(P, 0, 0).Get()}, {0.25f, Crouch(P, -3, 12).Get()}, {0.5f, Crouch(P, 1, 0).Get()},
               {0.75f, Crouch(P, -3, -12).Get()}, {1.0f, Crouch(P, 0, 0).Get()}},
         19, true);
}

// Crouch walk.
void CrouchWalk(const Posing& P, std::vector<Pose>& out)
{
    std::vector<Key> keys;
    for (int k = 0; k <= 6; ++k) {
        const float ph = 2.0f * kPi * static_cast<float>(k) / 6.0f;
        const float s = std::sin(ph);
        const float c = std::cos(ph);
        keys.push_back({static_cast<float>(k) / 6.0f, P().Spine(30, 6 * s)
                                                           .Head(-24)
                                                           .Arm(1, 35 - 15 * s, 8, 55)
                                                           .Arm(-1, 35 + 15 * s, 8, 55)
                                                           .Leg(1, 70 + 22 * s, 115 + 15 * std::max(0.0f, c), 6)
                                                           .Leg(-1, 70 - 22 * s, 115 + 15 * std::max(0.0f, -c), 6)
                                                           .Tail(10 * s, 10)
                                                           .Get()});
    }
    Bake(out, keys, 6, true);
}

// Crouch attack.
void CrouchAttack(const Posing& P, std::vector<Pose>& out)
{
    const float e = P.motion.energy;
    Bake(out,
         {{0.0f, Crouch(P, 0, 0).Get()},
          {0.35f, Crouch(P, 0, 0).Spine(25, -20).Arm(-1, 20, 10, 120).Get()},
          {0.55f, Crouch(P, 0, 0).Spine(32, 20).Arm(-1, 95 * e, 0, 5).Get()},
          {1.0f, Crouch(P, 0, 0).Get()}},
         9, false);
}

// Crouch pain.
void CrouchPain(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, Crouch(P, 0, 0).Get()},
          {0.4f, Crouch(P, 0, 0).Spine(10).Head(-30).Arm(1, 0, 30, 30).Arm(-1, 0, 30, 30).Get()},
          {1.0f, Crouch(P, 0, 0).Get()}},
         4, false);
}

// Crouch death: topples onto the side.
void CrouchDeath(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, Crouch(P, 0, 0).Get()},
          {0.5f, Crouch(P, 0, 0).Tilt(10, -45).Head(-10, 0, -20).Arm(1, 10, 40, 30).Get()},
          {1.0f, P().Tilt(0, -88).Spine(20).Head(10, 0, -15).Arm(1, 30, 30, 30).Arm(-1, 50, 10, 40)
                     .Leg(1, 60, 90).Leg(-1, 45, 80).TailBend(-100, -35, -25).Get()}},
         5, false);
}

// Death 1: thrown backwards onto the back.
void Death1(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, P().Get()},
          {0.3f, P().Spine(-20).Head(-25).Arm(1, 20, 35, 40).Arm(-1, 30, 35, 50).Leg(1, 15, 20).Get()},
          {0.6f, P().Tilt(-45).Spine(-10).Head(-20).Arm(1, 60, 50, 30).Arm(-1, 70, 45, 20).Leg(1, 30, 30)
                     .Leg(-1, 10, 15).Get()},
          {1.0f, P().Tilt(-88).Spine(-4).Head(-10, 20).Arm(1, 20, 70, 20).Arm(-1, 40, 60, 30).Leg(1, 10, 20, 10)
                     .Leg(-1, 0, 5, 8).TailBend(-100, -35, -25).Get()}},
         6, false);
}

// Death 2: drops to the knees and slumps.
void Death2(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, P().Get()},
          {0.3f, P().Spine(20).Head(20).Arm(1, 20, 5, 60).Arm(-1, 25, 5, 60).Leg(1, 20, 40).Leg(-1, 15, 35).Get()},
          {0.65f, P().Spine(30).Head(25).Arm(1, 5, 10, 20).Arm(-1, 5, 10, 20).Leg(1, 0, 90, 4, 50)
                      .Leg(-1, 0, 90, 4, 50).Get()},
          {1.0f, P().Tilt(10).Spine(55).Head(35, 0, 15).Arm(1, 10, 5, 10).Arm(-1, 15, 10, 15).Leg(1, 0, 100, 4, 50)
                     .Leg(-1, 0, 100, 4, 50).TailBend(-30, -75, -25).Get()}},
         6, false);
}

// Death 3: hit, stagger, knees give, falls flat on the face.
void Death3(const Posing& P, std::vector<Pose>& out)
{
    Bake(out,
         {{0.0f, P().Spine(-12, 15).Head(-20, 10).Arm(1, -10, 35, 30).Arm(-1, 10, 30, 40).Leg(-1, -10, 10).Get()},
          {0.25f, P().Spine(15, -10).Head(15).Arm(1, 20, 15, 60).Arm(-1, 25, 20, 60).Leg(1, 15, 25)
                      .Leg(-1, -5, 15).Get()},
          {0.5f, P().Tilt(15).Spine(25).Head(20).Arm(1, 40, 20, 40).Arm(-1, 45, 20, 40).Leg(1, 20, 70)
                     .Leg(-1, 10, 60).Get()},
          {0.75f, P().Tilt(55).Spine(15).Head(-10).Arm(1, 100, 30, 30).Arm(-1, 110, 25, 30).Leg(1, 10, 40)
                      .Leg(-1, 0, 30).Get()},
          {1.0f, P().Tilt(90).Spine(2).Head(-20, 25).Arm(1, 150, 35, 20).Arm(-1, 120, 50, 40).Leg(1, 0, 10, 8)
                     .Leg(-1, 0, 25, 5).TailBend(-100, -35, -25).Get()}},
         8, false);
}

// The clips in the order of Md2Clips().
constexpr ClipBaker kClipBakers[] = {
    Stand, Run, Attack, Pain1, Pain2, Pain3, Jump, Flip, Salute, Taunt,
    Wave, Point, CrouchStand, CrouchWalk, CrouchAttack, CrouchPain, CrouchDeath, Death1, Death2, Death3,
};

// The tail keeps a slow sway on top of whatever the clip gives it.
void AddTailSway(const Body& body, std::vector<Pose>& out)
{
    const int tails[3] = {body.BoneIndex("tail1"), body.BoneIndex("tail2"), body.BoneIndex("tail3")};
    for (const Md2Clip& c : Md2Clips())
        for (int f = c.first; f < c.first + c.count && f < static_cast<int>(out.size()); ++f) {
            const float ph = 2.0f * kPi * static_cast<float>(f - c.first) / static_cast<float>(c.count);
            for (int i = 0; i < 3; ++i)
                if (tails[i] >= 0)
                    out[static_cast<size_t>(f)].rotation[static_cast<size_t>(tails[i])].z +=
                        D(8.0f + 4.0f * static_cast<float>(i)) * std::sin(ph - 0.6f * static_cast<float>(i));
        }
}

}  // namespace

const std::vector<Md2Clip>& Md2Clips()
{
    static const std::vector<Md2Clip> clips = {
        {"stand", 0, 40, 2},    {"run", 40, 6, 1},      {"attack", 46, 8, 1},  {"pain1", 54, 4, 2},
        {"pain2", 58, 4, 2},    {"pain3", 62, 4, 2},    {"jump", 66, 6, 1},    {"flip", 72, 12, 2},
        {"salute", 84, 11, 2},  {"taunt", 95, 17, 2},   {"wave", 112, 11, 2},  {"point", 123, 12, 2},
        {"crstnd", 135, 19, 2}, {"crwalk", 154, 6, 1},  {"crattak", 160, 9, 1}, {"crpain", 169, 4, 1},
        {"crdeath", 173, 5, 1}, {"death1", 178, 6, 2},  {"death2", 184, 6, 2}, {"death3", 190, 8, 2},
    };
    return clips;
}

std::string Md2FrameName(int frame)
{
    for (const Md2Clip& c : Md2Clips())
        if (frame >= c.first && frame < c.first + c.count) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%s%0*d", c.name, c.digits, frame - c.first + 1);
            return buf;
        }
    return {};
}

std::vector<Pose> AnimateFigure(const Body& body, const Motion& m)
{
    std::vector<Pose> out;
    out.reserve(kMd2FrameCount);
    const Posing P{body, m};
    for (ClipBaker bake : kClipBakers)
        bake(P, out);
    if (m.tail)
        AddTailSway(body, out);
    return out;
}
