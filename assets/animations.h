// Frames of the two archive animations, before MLZ encoding: the credits strip and
// the looping full-screen effect of the tunnel ride.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

struct AssetFrames {
    std::string name;  // archive member the frames are meant for
    int width = 0;
    int height = 0;
    // Each frame: width × height pixels, 4 bytes each in the order red, green, blue,
    // alpha (alpha always 255), top row first. Every frame of one animation draws on at
    // most 256 distinct colours, so an 8-bit palette holds it exactly.
    std::vector<std::vector<uint8_t>> frames;
    // When not empty: the same frames as palette indices with one palette of RGB 565
    // words per frame, the form the MLZ file stores. The encoder then takes them as
    // they are instead of quantising the RGBA frames.
    std::vector<std::vector<uint8_t>> indices;
    std::vector<std::array<uint16_t, 256>> palettes;
};

constexpr int kCreditsFrames = 130;
constexpr int kEffectFrames = 128;

// 256 × 64: the credits appear line by line, typed, within the first 60 frames; the
// frames after that, the last one included, hold them all.
AssetFrames MakeCreditsFrames();
// 256 × 256: a still field of interfering rings over a plasma, coloured through a
// 256-colour cycle that turns two entries per frame, one whole turn over the 128
// frames, so the last frame leads back into the first. Only the palette changes, so
// delta-coded frames cost a few kilobytes each.
AssetFrames MakeEffectFrames();

// "anm\qv.mlz" frames, then "anm\porn.mlz" frames.
std::vector<AssetFrames> BuildAnimationFrames();

}  // namespace assetgen
