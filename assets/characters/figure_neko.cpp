// "neko", a cat creature: the humanoid plan on digitigrade legs with a muzzle,
// ears and a three-part tail; a ginger tabby coat with a pale belly. One skin.

#include "assets/characters/figure_kit.h"

#include <cmath>

namespace figure_kit {

namespace {

Body NekoBody()
{
    const Build b{
        .height = 49.0f, .legLength = 25.0f, .shoulderHalf = 6.0f, .hipHalf = 3.1f,
        .chestW = 6.2f, .chestD = 4.6f, .waistW = 4.9f, .waistD = 3.9f, .hipW = 5.6f, .hipD = 4.4f,
        .armR = 1.7f, .foreR = 1.55f, .handR = 1.15f, .handLen = 4.0f,
        .legR = 3.3f, .shinR = 1.9f, .footLen = 8.0f,
        .headR = 5.0f, .headH = 9.4f, .neckLen = 1.6f, .neckR = 2.0f,
        .digitigrade = true,
    };
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

std::vector<Rgb> NekoScheme(int /*variant*/)
{
    // Ginger tabby.
    return Ramps({0xE0A070, 0xD88A3A, 0xD88A3A, 0x8A4A1C, 0x808080, 0x6A4A2A, 0x9AC83A, 0xF4ECDC, 0x161210,
                  0xD88A3A, 0xE08A8A, 0x404040, 0x808080});
}

}  // namespace

CharacterDesign NekoDesign()
{
    // Only ever seen turned inside out by the room scene, so stored with the
    // opposite winding.
    return {.key = "neko", .body = NekoBody, .motion = {1.15f, 0.2f, 0.14f, 0.06f, true, true},
            .frontClockwise = false,
            .skinNames = {"md2\\neko\\g.pcx"},
            .paint = PaintNeko,
            .scheme = NekoScheme};
}

}  // namespace figure_kit
