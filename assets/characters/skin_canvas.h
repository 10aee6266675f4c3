// Painting the characters' skins: a 256-colour palette made of 16 ramps of 16
// shades (dark to highlight) around one base colour each, a canvas of ramp and
// shade values that is dithered down to palette indices, hash noise for
// texture, and the walk over a rig's atlas cells with each texel's (u, v).
#pragma once

#include "assets/characters/pcx_writer.h"
#include "assets/characters/rig.h"

#include <cstdint>
#include <functional>
#include <vector>

struct Rgb {
    float r = 0.0f, g = 0.0f, b = 0.0f;  // 0..1
};

constexpr int kRampCount = 16;
constexpr int kShadeCount = 16;
// Shade of the base colour itself; shades above it run towards white.
constexpr float kBaseShade = 10.0f;

// What a painter returns for one texel: a ramp and a shade (fractional shades
// are dithered).
struct Texel {
    int ramp = 0;
    float shade = kBaseShade;
};

// Where a texel lies on its part: u around (0.5 at the side direction), v along
// (0 at the first ring), along in model units from the part's origin.
struct SurfacePoint {
    int paint = 0;
    int part = 0;
    float u = 0.0f;
    float v = 0.0f;
    float along = 0.0f;
    int x = 0;  // skin pixel
    int y = 0;
};

using Painter = std::function<Texel(const SurfacePoint&)>;

// Paints every cell of the rig (and its 2-pixel gutter, repeating the cell's
// edge) with the painter; texels outside every cell get the background texel.
IndexedImage PaintSkin(const Rig& rig, int width, int height, const std::vector<Rgb>& ramps,
                       const Painter& painter, Texel background);

// Deterministic value noise in 0..1 on a lattice of the given cell size.
float Noise(float x, float y, uint32_t seed);
// Sum of three octaves of Noise, 0..1.
float Fractal(float x, float y, uint32_t seed);

// 0..1 mask of an ellipse centred at (cx, cy) with radii (rx, ry), soft over
// the outer quarter.
float Ellipse(float x, float y, float cx, float cy, float rx, float ry);

// The profile position of a part at v, inverting the spacing BuildRig uses.
float AlongAt(const PartSpec& part, float v);
