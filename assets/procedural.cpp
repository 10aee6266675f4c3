// Seeded noise, colour helpers and height-field lighting for the generated pictures.
#include "assets/procedural.h"

#include <algorithm>
#include <cmath>

namespace assetgen {

uint32_t Random::Next() {
    // xorshift32: small, fast and the same everywhere.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = a * 0x8DA6B343u ^ b * 0xD8163841u ^ c * 0xCB1AB31Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float HashUnit(int x, int y, uint32_t seed) {
    return static_cast<float>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) >> 8) *
           (1.0f / 16777216.0f);
}

namespace {

int Wrap(int i, int period) {
    const int m = i % period;
    return m < 0 ? m + period : m;
}

float Fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

float GradientDot(int ix, int iy, float dx, float dy, uint32_t seed) {
    const float angle = HashUnit(ix, iy, seed) * 6.2831853f;
    return std::cos(angle) * dx + std::sin(angle) * dy;
}

}  // namespace

float GradientNoise(float x, float y, int periodX, int periodY, uint32_t seed) {
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int x0 = static_cast<int>(fx);
    const int y0 = static_cast<int>(fy);
    const float dx = x - fx;
    const float dy = y - fy;
    const int ax = Wrap(x0, periodX), bx = Wrap(x0 + 1, periodX);
    const int ay = Wrap(y0, periodY), by = Wrap(y0 + 1, periodY);
    const float n00 = GradientDot(ax, ay, dx, dy, seed);
    const float n10 = GradientDot(bx, ay, dx - 1.0f, dy, seed);
    const float n01 = GradientDot(ax, by, dx, dy - 1.0f, seed);
    const float n11 = GradientDot(bx, by, dx - 1.0f, dy - 1.0f, seed);
    const float u = Fade(dx);
    const float v = Fade(dy);
    const float top = n00 + (n10 - n00) * u;
    const float bottom = n01 + (n11 - n01) * u;
    return (top + (bottom - top) * v) * 1.41421356f;
}

float Fbm(float u, float v, int frequencyX, int frequencyY, int octaves, float gain, uint32_t seed) {
    float sum = 0.0f;
    float amplitude = 1.0f;
    float norm = 0.0f;
    int fx = frequencyX;
    int fy = frequencyY;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += amplitude * GradientNoise(u * fx, v * fy, fx, fy, seed + static_cast<uint32_t>(octave) * 7919u);
        norm += amplitude;
        amplitude *= gain;
        fx *= 2;
        fy *= 2;
    }
    return sum / norm;
}

CellSample Cellular(float u, float v, int cellsX, int cellsY, uint32_t seed) {
    const float x = u * cellsX;
    const float y = v * cellsY;
    const int cx = static_cast<int>(std::floor(x));
    const int cy = static_cast<int>(std::floor(y));
    CellSample best{1e9f, 1e9f, 0};
    for (int oy = -1; oy <= 1; ++oy) {
        for (int ox = -1; ox <= 1; ++ox) {
            const int gx = cx + ox;
            const int gy = cy + oy;
            const int wx = Wrap(gx, cellsX);
            const int wy = Wrap(gy, cellsY);
            const float px = gx + 0.15f + 0.7f * HashUnit(wx, wy, seed);
            const float py = gy + 0.15f + 0.7f * HashUnit(wx, wy, seed ^ 0x5bd1e995u);
            const float d = std::hypot(px - x, py - y);
            if (d < best.nearest) {
                best.second = best.nearest;
                best.nearest = d;
                best.id = Hash(static_cast<uint32_t>(wx), static_cast<uint32_t>(wy), seed);
            } else if (d < best.second) {
                best.second = d;
            }
        }
    }
    return best;
}

Color Mix(Color a, Color b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

Color Hex(uint32_t rgb) {
    return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f, static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
            static_cast<float>(rgb & 0xFF) / 255.0f};
}

float Clamp01(float x) { return std::min(1.0f, std::max(0.0f, x)); }

float SmoothStep(float edge0, float edge1, float x) {
    const float t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

float Fract(float x) { return x - std::floor(x); }

ColorImage Shade(const ColorImage& albedo, const HeightField& height, const Lighting& light, const HeightField* gloss) {
    const int w = albedo.Width();
    const int h = albedo.Height();
    ColorImage out(w, h);
    const float ll = std::sqrt(light.lightX * light.lightX + light.lightY * light.lightY + light.lightZ * light.lightZ);
    const float lx = light.lightX / ll, ly = light.lightY / ll, lz = light.lightZ / ll;
    // Half vector towards a viewer straight in front of the picture.
    float hx = lx, hy = ly, hz = lz + 1.0f;
    const float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    hx /= hl;
    hy /= hl;
    hz /= hl;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float gx = (height.Wrap(x + 1, y) - height.Wrap(x - 1, y)) * 0.5f * light.bump;
            const float gy = (height.Wrap(x, y + 1) - height.Wrap(x, y - 1)) * 0.5f * light.bump;
            float nx = -gx, ny = -gy, nz = 1.0f;
            const float nl = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= nl;
            ny /= nl;
            nz /= nl;
            const float lambert = std::max(0.0f, nx * lx + ny * ly + nz * lz);
            const float nh = std::max(0.0f, nx * hx + ny * hy + nz * hz);
            float spec = light.specular * std::pow(nh, light.shininess);
            if (gloss) {
                spec *= gloss->At(x, y);
            }
            const Color a = albedo.At(x, y);
            const float lit = light.ambient + light.diffuse * lambert;
            out.At(x, y) = Color{a.r * lit + spec, a.g * lit + spec, a.b * lit + spec};
        }
    }
    return out;
}

RgbImage ToRgb(const ColorImage& image) {
    RgbImage out;
    out.width = image.Width();
    out.height = image.Height();
    out.pixels.resize(size_t(out.width) * out.height * 3);
    size_t i = 0;
    for (const Color& c : image.Cells()) {
        out.pixels[i++] = static_cast<uint8_t>(std::lround(Clamp01(c.r) * 255.0f));
        out.pixels[i++] = static_cast<uint8_t>(std::lround(Clamp01(c.g) * 255.0f));
        out.pixels[i++] = static_cast<uint8_t>(std::lround(Clamp01(c.b) * 255.0f));
    }
    return out;
}

}  // namespace assetgen
