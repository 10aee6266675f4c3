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
    // A 256-colour palette cycling through deep blue, magenta, orange and back.
    uint8_t palette[256][3];
    for (int i = 0; i < 256; ++i) {
        const float t = i / 256.0f * kTwoPi;
        palette[i][0] = static_cast<uint8_t>(std::lround(127.5f + 127.5f * std::sin(t)));
        palette[i][1] = static_cast<uint8_t>(std::lround(127.5f + 127.5f * std::sin(t * 2.0f + 2.1f) * 0.8f));
        palette[i][2] = static_cast<uint8_t>(std::lround(127.5f + 127.5f * std::cos(t)));
    }
    for (int f = 0; f < kEffectFrames; ++f) {
        const float phase = kTwoPi * static_cast<float>(f) / kEffectFrames;
        std::vector<uint8_t> frame(size_t(out.width) * out.height * 4);
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) {
                const float u = (x + 0.5f) / out.width - 0.5f;
                const float v = (y + 0.5f) / out.height - 0.5f;
                // Two wandering centres of rings interfere over a plasma; every term's
                // phase advances a whole number of turns per loop.
                const float ax = 0.22f * std::cos(phase), ay = 0.22f * std::sin(2.0f * phase);
                const float bx = -0.22f * std::cos(2.0f * phase), by = 0.22f * std::sin(phase);
                const float ra = std::hypot(u - ax, v - ay);
                const float rb = std::hypot(u - bx, v - by);
                float value = std::sin(ra * 38.0f - 2.0f * phase) + std::sin(rb * 31.0f + 3.0f * phase);
                value += std::sin(u * 9.0f + phase) + std::sin(v * 11.0f - 2.0f * phase);
                value += std::sin((u + v) * 7.0f + 3.0f * phase);
                const float level = value / 5.0f * 0.5f + 0.5f;
                const int shift = static_cast<int>(std::lround(256.0f * f / kEffectFrames));
                const int index = (static_cast<int>(std::floor(level * 255.0f)) + shift) & 255;
                uint8_t* p = &frame[(size_t(y) * out.width + x) * 4];
                p[0] = palette[index][0];
                p[1] = palette[index][1];
                p[2] = palette[index][2];
                p[3] = 255;
            }
        }
        out.frames.push_back(std::move(frame));
    }
    return out;
}

std::vector<AssetFrames> BuildAnimationFrames() { return {MakeCreditsFrames(), MakeEffectFrames()}; }

}  // namespace assetgen
