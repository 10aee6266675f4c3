// Building blocks for the generated pictures: a seeded random source, periodic
// gradient and cellular noise (so that textures tile), float colour images, height
// field lighting and conversion to 8-bit RGB.
//
// Everything is deterministic: the same seeds give the same numbers on the same build.
// Noise coordinates are texture coordinates in [0, 1); a pattern with integer
// frequencies repeats exactly across the picture's edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace assetgen {

class Random {
public:
    explicit Random(uint32_t seed) : m_state(seed * 2654435761u + 0x9E3779B9u) { Next(); }
    uint32_t Next();
    // Uniform in [0, 1).
    float Uniform() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }
    float Range(float low, float high) { return low + (high - low) * Uniform(); }

private:
    uint32_t m_state;
};

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c);
// Uniform in [0, 1) for a lattice point.
float HashUnit(int x, int y, uint32_t seed);

// Gradient noise in about [-1, 1], repeating every periodX and periodY lattice units.
float GradientNoise(float x, float y, int periodX, int periodY, uint32_t seed);
// Fractal sum over octaves of gradient noise at texture coordinates (u, v); the first
// octave has frequencyX × frequencyY cells over the picture, every next one twice as many.
float Fbm(float u, float v, int frequencyX, int frequencyY, int octaves, float gain, uint32_t seed);

struct CellSample {
    float nearest;   // distance to the nearest feature point, in cell units
    float second;    // distance to the second nearest
    uint32_t id;     // identifies the nearest feature's cell
};
// Periodic cellular noise with cellsX × cellsY jittered feature points over the picture.
CellSample Cellular(float u, float v, int cellsX, int cellsY, uint32_t seed);

struct Color {
    float r = 0, g = 0, b = 0;
};
inline Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Color operator*(Color a, float s) { return {a.r * s, a.g * s, a.b * s}; }
inline Color operator*(Color a, Color b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Color Mix(Color a, Color b, float t);
Color Hex(uint32_t rgb);

float Clamp01(float x);
float SmoothStep(float edge0, float edge1, float x);
float Fract(float x);

template <typename T>
class Grid {
public:
    Grid() = default;
    Grid(int width, int height, T fill = T{}) : m_width(width), m_height(height), m_cells(std::size_t(width) * height, fill) {}
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    T& At(int x, int y) { return m_cells[std::size_t(y) * m_width + x]; }
    const T& At(int x, int y) const { return m_cells[std::size_t(y) * m_width + x]; }
    // Wrapping access, for periodic neighbourhoods.
    const T& Wrap(int x, int y) const {
        x %= m_width;
        y %= m_height;
        return At(x < 0 ? x + m_width : x, y < 0 ? y + m_height : y);
    }
    std::vector<T>& Cells() { return m_cells; }
    const std::vector<T>& Cells() const { return m_cells; }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<T> m_cells;
};

using ColorImage = Grid<Color>;
using HeightField = Grid<float>;

// 8-bit interleaved RGB, top row first.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// 8-bit interleaved RGBA, top row first.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

struct Lighting {
    float lightX = -0.45f, lightY = -0.6f, lightZ = 0.66f;  // towards the light; y grows downwards
    float ambient = 0.35f;
    float diffuse = 0.8f;
    float specular = 0.35f;
    float shininess = 24.0f;
    float bump = 4.0f;  // height units per pixel step that tilt the normal by 45 degrees
};

// Lights albedo by the normals of a height field (wrapping at the edges, so a
// periodic field shades periodically). gloss scales the specular term per pixel.
ColorImage Shade(const ColorImage& albedo, const HeightField& height, const Lighting& light,
                 const HeightField* gloss = nullptr);

RgbImage ToRgb(const ColorImage& image);

}  // namespace assetgen
