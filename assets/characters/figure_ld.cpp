// "ld", a tall slender duelist: the humanoid plan with a long coat and a
// ponytail. Three skins: crimson, teal and violet coats.

#include "assets/characters/figure_kit.h"

#include <cmath>

namespace figure_kit {

namespace {

Body LdBody()
{
    const Build b{
        .height = 57.5f, .legLength = 29.0f, .shoulderHalf = 6.3f, .hipHalf = 2.9f,
        .chestW = 6.4f, .chestD = 3.9f, .waistW = 4.7f, .waistD = 3.2f, .hipW = 5.5f, .hipD = 3.6f,
        .armR = 1.6f, .foreR = 1.45f, .handR = 0.9f, .handLen = 5.2f,
        .legR = 2.7f, .shinR = 2.1f, .footLen = 8.6f,
        .headR = 4.0f, .headH = 10.2f, .neckLen = 2.4f, .neckR = 1.6f,
    };
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

std::vector<Rgb> LdScheme(int variant)
{
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

}  // namespace

CharacterDesign LdDesign()
{
    // Only ever seen turned inside out by the room scene, so stored with the
    // opposite winding.
    return {.key = "ld", .body = LdBody, .motion = {1.0f, 0.12f, -0.03f, 0.04f, false, false},
            .frontClockwise = false,
            .skinNames = {"md2\\ld\\l1.pcx", "md2\\ld\\l2.pcx", "md2\\ld\\l3.pcx"},
            .paint = PaintLd,
            .scheme = LdScheme};
}

}  // namespace figure_kit
