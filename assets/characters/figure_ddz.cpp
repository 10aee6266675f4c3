// "ddz", a heavy armoured trooper: the humanoid plan with a broad build, helmet,
// shoulder guards and backpack; olive armour over grey-green fatigues with
// orange markings. One skin.

#include "assets/characters/figure_kit.h"

#include <cmath>

namespace figure_kit {

namespace {

Body DdzBody()
{
    const Build b{
        .height = 54.5f, .legLength = 25.0f, .shoulderHalf = 8.4f, .hipHalf = 3.7f,
        .chestW = 8.6f, .chestD = 5.6f, .waistW = 7.0f, .waistD = 4.8f, .hipW = 7.0f, .hipD = 4.8f,
        .armR = 2.6f, .foreR = 2.4f, .handR = 1.25f, .handLen = 5.0f,
        .legR = 3.7f, .shinR = 3.1f, .footLen = 9.8f,
        .headR = 4.3f, .headH = 10.0f, .neckLen = 1.4f, .neckR = 2.6f,
    };
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

std::vector<Rgb> DdzScheme(int /*variant*/)
{
    // Olive armour, grey-green fatigues, orange marks.
    return Ramps({0xC8936E, 0x3A2A1E, 0x5E6B3A, 0x4B5046, 0xB9B6A6, 0x3B2E22, 0x4A6A8A, 0xE8E4DA, 0x1A1A1C,
                  0xE07A1A, 0x9A4A42, 0x2E2A24, 0x707070});
}

}  // namespace

CharacterDesign DdzDesign()
{
    return {.key = "ddz", .body = DdzBody, .motion = {0.85f, 0.22f, 0.03f, 0.07f, false, false},
            .skinNames = {"md2\\ddz\\ddz.pcx"},
            .paint = PaintDdz,
            .scheme = DdzScheme};
}

}  // namespace figure_kit
