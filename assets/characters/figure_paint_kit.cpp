// Painting helpers the humanoid skins share: base shading with grain, colour
// schemes from hex colours, and the face, hand and boot painters. Skins are
// painted per part from (u, v) positions on the part, with ramps of the skin's
// colour scheme.

#include "assets/characters/figure_kit.h"

#include <cmath>

namespace figure_kit {

namespace {

float Band(float x, float lo, float hi, float soft = 0.04f)
{
    return Clamp01((x - lo) / soft + 0.5f) * Clamp01((hi - x) / soft + 0.5f);
}

Rgb Hex(uint32_t v)
{
    return {static_cast<float>((v >> 16) & 0xFF) / 255.0f, static_cast<float>((v >> 8) & 0xFF) / 255.0f,
            static_cast<float>(v & 0xFF) / 255.0f};
}

}  // namespace

float BaseShade(const SurfacePoint& p, bool upward, uint32_t seed, float grain)
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

std::vector<Rgb> Ramps(std::initializer_list<uint32_t> colours)
{
    std::vector<Rgb> r;
    for (uint32_t c : colours)
        r.push_back(Hex(c));
    while (r.size() < kRampCount)
        r.push_back(Hex(0x808080));
    return r;
}

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

}  // namespace figure_kit
