// MLZ encoding of the generated animations. Every frame draws on at most 256 colours,
// so the 8-bit palettes hold them exactly (in RGB 565, which is what MLZ stores).
#include "assets/animation_members.h"

#include <stdexcept>

#include "anim/kvl_mlz_encoder.h"
#include "assets/animations.h"
#include "core/kvl_memorystream.h"

namespace assetgen {

namespace {

// Frame periods of the demo's two players, in milliseconds: the credits advance every
// 6 ticks of 14 ms, the tunnel's effect every 4. The engine keeps the value but does
// not use it; tools show it.
int32_t TimingFor(const std::string& name) { return name == "anm\\qv.mlz" ? 84 : 56; }

AssetMember Encode(const AssetFrames& animation) {
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    KVLMemoryStream out(bytes);
    KVLMLZWriter writer(out);
    KVLMLZHeader header;
    header.width = animation.width;
    header.height = animation.height;
    header.bitsPerPixel = 8;
    header.compression = 2;
    header.frameCount = static_cast<int32_t>(animation.frames.size());
    header.timing = TimingFor(animation.name);
    KVLString error;
    if (!writer.Begin(header, &error)) {
        throw std::runtime_error(animation.name + ": " + error.c_str());
    }
    const size_t count = static_cast<size_t>(animation.width) * static_cast<size_t>(animation.height);
    std::vector<uint32_t> pixels(count);
    uint16_t previousPalette[256] = {};
    bool first = true;
    if (!animation.indices.empty()) {
        for (size_t f = 0; f < animation.indices.size(); ++f) {
            if (animation.indices[f].size() != count || f >= animation.palettes.size() ||
                !writer.AddFrame8(animation.indices[f].data(), animation.palettes[f].data())) {
                throw std::runtime_error(animation.name + ": the MLZ writer refused a frame");
            }
        }
        if (!writer.Finish(&error)) {
            throw std::runtime_error(animation.name + ": " + error.c_str());
        }
        return AssetMember{animation.name, *bytes};
    }
    for (const std::vector<uint8_t>& frame : animation.frames) {
        if (frame.size() != count * 4) {
            throw std::runtime_error(animation.name + ": a frame of the wrong size");
        }
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = &frame[i * 4];
            pixels[i] = 0xFF000000u | (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
        }
        const KVLQuantized q = KVLQuantize565(pixels.data(), count, first ? nullptr : previousPalette);
        std::copy(std::begin(q.palette), std::end(q.palette), std::begin(previousPalette));
        if (!writer.AddFrame8(q.indices.data(), q.palette)) {
            throw std::runtime_error(animation.name + ": the MLZ writer refused a frame");
        }
        first = false;
    }
    if (!writer.Finish(&error)) {
        throw std::runtime_error(animation.name + ": " + error.c_str());
    }
    return AssetMember{animation.name, *bytes};
}

}  // namespace

std::vector<AssetMember> BuildAnimations() {
    std::vector<AssetMember> members;
    for (const AssetFrames& animation : BuildAnimationFrames()) {
        members.push_back(Encode(animation));
    }
    return members;
}

}  // namespace assetgen
