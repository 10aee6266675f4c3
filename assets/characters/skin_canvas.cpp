// Skin painting support. Dithering uses a 4 × 4 ordered matrix so that the same
// inputs always give the same indices.

#include "assets/characters/skin_canvas.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

Rgb ShadeOf(Rgb base, int shade)
{
    const float s = static_cast<float>(shade);
    if (s <= kBaseShade) {
        const float k = 0.14f + 0.86f * s / kBaseShade;
        return {base.r * k, base.g * k, base.b * k};
    }
    const float k = 0.6f * (s - kBaseShade) / (kShadeCount - 1 - kBaseShade);
    return {base.r + (1 - base.r) * k, base.g + (1 - base.g) * k, base.b + (1 - base.b) * k};
}

uint32_t Hash(int x, int y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B1u ^ static_cast<uint32_t>(x) * 0x85EBCA77u ^ static_cast<uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

float Lattice(int x, int y, uint32_t seed) { return static_cast<float>(Hash(x, y, seed) & 0xFFFF) / 65535.0f; }

}  // namespace

float Noise(float x, float y, uint32_t seed)
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const float a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
    const float c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fractal(float x, float y, uint32_t seed)
{
    return (4.0f * Noise(x, y, seed) + 2.0f * Noise(2 * x, 2 * y, seed + 1) + Noise(4 * x, 4 * y, seed + 2)) / 7.0f;
}

float Ellipse(float x, float y, float cx, float cy, float rx, float ry)
{
    const float dx = (x - cx) / rx, dy = (y - cy) / ry;
    const float d = std::sqrt(dx * dx + dy * dy);
    if (d >= 1.0f)
        return 0.0f;
    return d <= 0.75f ? 1.0f : (1.0f - d) / 0.25f;
}

float AlongAt(const PartSpec& part, float v)
{
    const size_t n = part.rings.size();
    if (n == 0)
        return 0.0f;
    const std::vector<float> len = ProfileLengths(part);
    const float target = std::clamp(v, 0.0f, 1.0f) * len.back();
    for (size_t i = 1; i < n; ++i)
        if (target <= len[i]) {
            const float span = len[i] - len[i - 1];
            const float f = span > 0 ? (target - len[i - 1]) / span : 0.0f;
            return part.rings[i - 1].along + (part.rings[i].along - part.rings[i - 1].along) * f;
        }
    return part.rings.back().along;
}

IndexedImage PaintSkin(const Rig& rig, int width, int height, const std::vector<Rgb>& ramps,
                       const Painter& painter, Texel background)
{
    IndexedImage img;
    img.width = width;
    img.height = height;
    for (int r = 0; r < kRampCount; ++r)
        for (int s = 0; s < kShadeCount; ++s) {
            const Rgb c = ShadeOf(r < static_cast<int>(ramps.size()) ? ramps[static_cast<size_t>(r)] : Rgb{}, s);
            const size_t i = static_cast<size_t>(r * kShadeCount + s) * 3;
            img.palette[i] = ToByte(c.r);
            img.palette[i + 1] = ToByte(c.g);
            img.palette[i + 2] = ToByte(c.b);
        }

    std::vector<Texel> canvas(static_cast<size_t>(width) * static_cast<size_t>(height), background);
    for (const PartLayout& cell : rig.layout) {
        const CellRect& c = cell.cell;
        const PartSpec& spec = rig.body.parts[static_cast<size_t>(cell.part)];
        for (int y = c.y - 2; y < c.y + c.h + 2; ++y) {
            if (y < 0 || y >= height)
                continue;
            for (int x = c.x - 2; x < c.x + c.w + 2; ++x) {
                if (x < 0 || x >= width)
                    continue;
                SurfacePoint p;
                p.paint = cell.paint;
                p.part = cell.part;
                p.u = std::clamp((static_cast<float>(x - c.x) + 0.5f) / static_cast<float>(c.w), 0.0f, 1.0f);
                p.v = std::clamp((static_cast<float>(y - c.y) + 0.5f) / static_cast<float>(c.h), 0.0f, 1.0f);
                p.along = AlongAt(spec, p.v);
                p.x = x;
                p.y = y;
                canvas[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = painter(p);
            }
        }
    }

    img.pixels.resize(canvas.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Texel& t = canvas[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            const float dither = (kBayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f;
            const int shade = std::clamp(static_cast<int>(std::lround(t.shade + dither * 0.9f)), 0, kShadeCount - 1);
            const int ramp = std::clamp(t.ramp, 0, kRampCount - 1);
            img.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                static_cast<uint8_t>(ramp * kShadeCount + shade);
        }
    return img;
}
