// Frames of the two archive animations, before MLZ encoding: the credits strip and
// the looping full-screen effect of the tunnel ride.
#pragma once

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
};

constexpr int kCreditsFrames = 130;
constexpr int kEffectFrames = 96;

// 256 × 64: the credits appear line by line, typed, within the first 60 frames; the
// frames after that, the last one included, hold them all.
AssetFrames MakeCreditsFrames();
// 256 × 256: plasma and rings whose phases all turn whole cycles over the frames, so
// the last frame leads back into the first.
AssetFrames MakeEffectFrames();

// "anm\qv.mlz" frames, then "anm\porn.mlz" frames.
std::vector<AssetFrames> BuildAnimationFrames();

}  // namespace assetgen
