// The credits strip and the tunnel ride's cut-away effect, frame by frame.
#include "assets/animations.h"

#include <algorithm>
#include <cmath>

#include "assets/procedural.h"
#include "assets/text.h"

namespace assetgen {

namespace {

constexpr float kTwoPi = 6.28318531f;

// The credits are drawn in a green ramp of 64 steps (matching the oscilloscope's
// trace) on black.
void PutRamp(std::vector<uint8_t>& frame, size_t pixel, float level) {
    const int step = static_cast<int>(std::lround(Clamp01(level) * 63.0f));
    const float t = step / 63.0f;
    frame[pixel * 4 + 0] = static_cast<uint8_t>(std::lround(40.0f * t * t));
    frame[pixel * 4 + 1] = static_cast<uint8_t>(std::lround(255.0f * t));
    frame[pixel * 4 + 2] = static_cast<uint8_t>(std::lround(90.0f * t * t));
    frame[pixel * 4 + 3] = 255;
}

struct CreditLine {
    const char* text;
    int size;
    int baseline;
};

const CreditLine kCredits[] = {
    {"ZARNOTH 3D", 13, 14},
    {"code and engine . the Zarnoth crew", 10, 29},
    {"music . synthesised in code", 10, 44},
    {"graphics . drawn by procedures", 10, 59},
};

// The demo shows the strip for roughly 60 to 80 of its frames before it switches
// scenes (it starts late in its scene and steps every 84 ms or slower), so the typing
// is done by frame 60 and the rest of the strip holds the full credits.
constexpr int kLineStart = 4;      // frame on which the first line starts
constexpr int kLineSpacing = 14;   // frames between the starts of two lines
constexpr int kCharsPerFrame = 3;

}  // namespace

AssetFrames MakeCreditsFrames() {
    AssetFrames out;
    out.name = "anm\\qv.mlz";
    out.width = 256;
    out.height = 64;
    TextFace mono(FontPath("DejaVuSansMono-Bold.ttf"));
    for (int f = 0; f < kCreditsFrames; ++f) {
        HeightField mask(out.width, out.height);
        HeightField cursor(out.width, out.height);
        for (int line = 0; line < 4; ++line) {
            const CreditLine& credit = kCredits[line];
            const int start = kLineStart + line * kLineSpacing;
            if (f < start) {
                break;
            }
            const std::string text = credit.text;
            const size_t shown = std::min(text.size(), static_cast<size_t>((f - start + 1) * kCharsPerFrame));
            mono.SetPixelSize(credit.size);
            const int left = (out.width - mono.Measure(text)) / 2;
            mono.Draw(mask, left, credit.baseline, text.substr(0, shown));
            // A block cursor follows the typing and blinks while the line waits, until
            // the next line begins (the last line's cursor goes out before the end).
            const int nextStart = start + kLineSpacing;
            const bool typing = shown < text.size();
            const bool waiting = !typing && f < std::min(nextStart, kCreditsFrames - 12) && ((f / 4) & 1) == 0;
            if (typing || waiting) {
                const int cx = left + mono.Measure(text.substr(0, shown)) + 1;
                for (int y = credit.baseline - credit.size + 2; y <= credit.baseline; ++y) {
                    for (int x = cx; x < cx + credit.size / 2 && x < out.width; ++x) {
                        cursor.At(x, y) = 1.0f;
                    }
                }
            }
        }
        std::vector<uint8_t> frame(size_t(out.width) * out.height * 4);
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) {
                PutRamp(frame, size_t(y) * out.width + x, std::max(mask.At(x, y), cursor.At(x, y) * 0.7f));
            }
        }
        out.frames.push_back(std::move(frame));
    }
    return out;
}

AssetFrames MakeEffectFrames() {
    AssetFrames out;
    out.name = "anm\\porn.mlz";
    out.width = 256;
    out.height = 256;
    // The colour cycle through deep blue, magenta, orange and back, in RGB 565.
    std::array<uint16_t, 256> cycle{};
    for (int i = 0; i < 256; ++i) {
        const float t = i / 256.0f * kTwoPi;
        const float r = 0.5f + 0.5f * std::sin(t);
        const float g = 0.5f + 0.4f * std::sin(t * 2.0f + 2.1f);
        const float b = 0.5f + 0.5f * std::cos(t);
        cycle[static_cast<size_t>(i)] = static_cast<uint16_t>((std::lround(r * 31.0f) << 11) |
                                                              (std::lround(g * 63.0f) << 5) | std::lround(b * 31.0f));
    }
    // The field: two ring centres interfering over a plasma, two turns of the cycle
    // from its lowest to its highest value.
    std::vector<uint8_t> field(size_t(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const float u = (x + 0.5f) / out.width - 0.5f;
            const float v = (y + 0.5f) / out.height - 0.5f;
            const float ra = std::hypot(u - 0.18f, v + 0.12f);
            const float rb = std::hypot(u + 0.2f, v - 0.16f);
            float value = std::sin(ra * 38.0f) + std::sin(rb * 31.0f);
            value += std::sin(u * 9.0f) + std::sin(v * 11.0f) + std::sin((u + v) * 7.0f);
            const float level = value / 5.0f * 0.5f + 0.5f;
            field[size_t(y) * out.width + x] = static_cast<uint8_t>(static_cast<int>(std::floor(level * 511.0f)) & 255);
        }
    }
    for (int f = 0; f < kEffectFrames; ++f) {
        const int shift = 256 * f / kEffectFrames;
        std::array<uint16_t, 256> palette{};
        for (int i = 0; i < 256; ++i) {
            palette[static_cast<size_t>(i)] = cycle[static_cast<size_t>((i + shift) & 255)];
        }
        // RGBA as the engine shows 565 colours: channels shifted up, low bits clear.
        std::vector<uint8_t> frame(field.size() * 4);
        for (size_t p = 0; p < field.size(); ++p) {
            const uint16_t c = palette[field[p]];
            frame[p * 4 + 0] = static_cast<uint8_t>(((c >> 11) & 31) << 3);
            frame[p * 4 + 1] = static_cast<uint8_t>(((c >> 5) & 63) << 2);
            frame[p * 4 + 2] = static_cast<uint8_t>((c & 31) << 3);
            frame[p * 4 + 3] = 255;
        }
        out.frames.push_back(std::move(frame));
        out.indices.push_back(field);
        out.palettes.push_back(palette);
    }
    return out;
}

std::vector<AssetFrames> BuildAnimationFrames() { return {MakeCreditsFrames(), MakeEffectFrames()}; }

}  // namespace assetgen
