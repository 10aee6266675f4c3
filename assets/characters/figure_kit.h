// What the four character files (figure_ddz.cpp, figure_ld.cpp, figure_neko.cpp,
// figure_tw.cpp) build with: the paint and ramp slots their parts and skins agree
// on, the humanoid body plan with its measurements, lathe part helpers, and the
// shading, face, hand and boot painters the humanoids share. Internal to the
// character generator; figures.h is the interface the rest of it uses.
#pragma once

#include "assets/characters/figures.h"
#include "assets/characters/skin_canvas.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace figure_kit {

inline constexpr float kPi = 3.14159265358979f;

// Which painter case fills a part's atlas cell.
enum Paint {
    kHead, kTorso, kPelvis, kUpperArm, kForearm, kHand, kThigh, kShin, kFoot,
    kHelmet, kPad, kPack, kPonytail, kCoat, kSpike, kHairCap, kMuzzle, kEar, kTail,
};

// Ramp slots shared by every scheme.
enum Ramp {
    rSkin, rHair, rMain, rSecond, rTrim, rLeather, rIris, rWhite, rDark, rAccent, rLips, rBelt, rExtra,
};

// ---- Bodies ----------------------------------------------------------------

// Measurements of a humanoid, model units.
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

// Heights of the joints and landmarks that follow from a build.
struct Levels {
    float top, neck, shoulder, waist, hip, knee, ankle, elbow, wrist;
};

Levels LevelsOf(const Build& b);

Vec3 Unit(Vec3 v);

// A lathe part on a bone; axis is normalised here.
PartSpec Lathe(int bone, Vec3 origin, Vec3 axis, Vec3 side, int sides, std::vector<Ring> rings, int paint, int w,
               int h);

// Adds the part and a mirrored copy of it for the right side, sharing the cell.
void AddMirrored(Body& body, PartSpec left, int rightBone);

// The shared skeleton (pelvis, chest, head, arms, legs) and its bare parts;
// digitigrade builds get a cat's legs.
Body HumanoidBody(const Build& b);

// ---- Skins -----------------------------------------------------------------

// Angle around a part from its front, -pi..pi (negative towards the right of a
// vertical part).
inline float AngleOf(const SurfacePoint& p) { return (p.u - 0.5f) * 2.0f * kPi; }

inline float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Shading shared by every part: lit from the front and above, darker in the
// crevices at either end of a part, with grain.
float BaseShade(const SurfacePoint& p, bool upward, uint32_t seed, float grain = 0.9f);

// A colour scheme from 0xRRGGBB base colours in ramp order (skin, hair, main,
// second, trim, leather, iris, white, dark, accent, lips, belt, extra); unused
// ramps are grey.
std::vector<Rgb> Ramps(std::initializer_list<uint32_t> colours);

// Face on a head part: eyes, brows, nose, mouth, ears and hair, placed by the
// head's profile position (along) and angle. k scales the head height to the
// reference 10.5; hairFront and hairBack are the hair line's heights.
Texel PaintFace(const SurfacePoint& p, float neckLen, float k, float hairFront, float hairBack, bool eyesGlow,
                uint32_t seed);
Texel PaintHands(const SurfacePoint& p, bool gloves, uint32_t seed);
Texel PaintBoot(const SurfacePoint& p, int ramp, uint32_t seed, bool laces);

// ---- The characters --------------------------------------------------------

// One character: what its Figure is made of, the painter of its parts and its
// colour scheme for a skin variant.
struct CharacterDesign {
    const char* key = "";
    Body (*body)() = nullptr;
    Motion motion;
    bool frontClockwise = true;
    std::vector<std::string> skinNames;
    Texel (*paint)(const SurfacePoint&) = nullptr;
    std::vector<Rgb> (*scheme)(int variant) = nullptr;
};

CharacterDesign DdzDesign();   // figure_ddz.cpp
CharacterDesign LdDesign();    // figure_ld.cpp
CharacterDesign NekoDesign();  // figure_neko.cpp
CharacterDesign TwDesign();    // figure_tw.cpp

}  // namespace figure_kit
