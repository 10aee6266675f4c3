// "tw", an athletic runner: the humanoid plan with a hair cap and five spikes;
// jacket, track trousers and trainers. Three skins: orange, lime and red.

#include "assets/characters/figure_kit.h"

#include <cmath>

namespace figure_kit {

namespace {

Body TwBody()
{
    const Build b{
        .height = 54.0f, .legLength = 26.5f, .shoulderHalf = 7.2f, .hipHalf = 3.2f,
        .chestW = 7.4f, .chestD = 4.5f, .waistW = 5.3f, .waistD = 3.6f, .hipW = 5.8f, .hipD = 3.9f,
        .armR = 2.0f, .foreR = 1.85f, .handR = 1.1f,
        .legR = 3.0f, .shinR = 2.4f, .footLen = 9.4f,
        .headR = 4.4f, .headH = 10.2f,
    };
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

std::vector<Rgb> TwScheme(int variant)
{
    switch (variant) {
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

CharacterDesign TwDesign()
{
    // Seen both ways round by the room scene; keeps the classic winding.
    return {.key = "tw", .body = TwBody, .motion = {1.2f, 0.15f, 0.02f, 0.05f, false, false},
            .skinNames = {"md2\\tw\\s1.pcx", "md2\\tw\\s2.pcx", "md2\\tw\\s3.pcx"},
            .paint = PaintTw,
            .scheme = TwScheme};
}

}  // namespace figure_kit
