// Title card in the manner of a content advisory label, and an end card with a
// glowing title over a receding grid.
#include "assets/cards.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "assets/jpeg_codec.h"
#include "assets/text.h"

namespace assetgen {

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 256;

void Paint(ColorImage& image, const HeightField& mask, Color color) {
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            image.At(x, y) = Mix(image.At(x, y), color, mask.At(x, y));
        }
    }
}

void FillBox(ColorImage& image, int x0, int y0, int x1, int y1, Color color) {
    for (int y = std::max(0, y0); y < std::min(image.Height(), y1); ++y) {
        for (int x = std::max(0, x0); x < std::min(image.Width(), x1); ++x) {
            image.At(x, y) = color;
        }
    }
}

// Soft blur of a mask, for glows: a few passes of a box filter.
HeightField Blur(const HeightField& mask, int radius, int passes) {
    HeightField a = mask;
    HeightField b(mask.Width(), mask.Height());
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < a.Height(); ++y) {
            for (int x = 0; x < a.Width(); ++x) {
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    sum += a.At(std::clamp(x + k, 0, a.Width() - 1), y);
                }
                b.At(x, y) = sum / (2 * radius + 1);
            }
        }
        for (int y = 0; y < a.Height(); ++y) {
            for (int x = 0; x < a.Width(); ++x) {
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    sum += b.At(x, std::clamp(y + k, 0, a.Height() - 1));
                }
                a.At(x, y) = sum / (2 * radius + 1);
            }
        }
    }
    return a;
}

}  // namespace

RgbImage MakeTitleCard() {
    TextFace bold(FontPath("DejaVuSans-Bold.ttf"));
    ColorImage card(kWidth, kHeight, Hex(0x000000));
    const Color white = Hex(0xf4f4f0);
    const Color black = Hex(0x050505);
    // The label: a white frame, a white band across its middle, black lettering on it.
    const int x0 = 64, x1 = 448, y0 = 28, y1 = 228;
    FillBox(card, x0, y0, x1, y1, white);
    FillBox(card, x0 + 8, y0 + 8, x1 - 8, y1 - 8, black);
    FillBox(card, x0 + 8, 102, x1 - 8, 162, white);

    HeightField top(kWidth, kHeight);
    bold.SetPixelSize(50);
    bold.DrawCentred(top, kWidth / 2, 90, "VIEWER", 2);
    Paint(card, top, white);

    HeightField band(kWidth, kHeight);
    bold.SetPixelSize(46);
    bold.DrawCentred(band, kWidth / 2, 149, "ZARNOTH 3D", 1);
    Paint(card, band, black);

    HeightField bottom(kWidth, kHeight);
    bold.SetPixelSize(44);
    bold.DrawCentred(bottom, kWidth / 2, 210, "ADVISORY", 3);
    Paint(card, bottom, white);

    HeightField small(kWidth, kHeight);
    bold.SetPixelSize(11);
    bold.DrawCentred(small, kWidth / 2, 246, "REAL-TIME CONTENT  -  SYNTHESISED SOUND  -  FLASHING IMAGES", 1);
    Paint(card, small, Hex(0x9a9a9a));
    return ToRgb(card);
}

RgbImage MakeEndCard() {
    TextFace bold(FontPath("DejaVuSans-Bold.ttf"));
    ColorImage card(kWidth, kHeight);
    const float horizon = 150.0f;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float fy = y + 0.5f;
            Color sky = Mix(Hex(0x0a0420), Hex(0x3a1050), SmoothStep(0.0f, horizon, fy));
            if (fy > horizon) {
                // Floor grid receding to the horizon.
                const float depth = 40.0f / (fy - horizon + 1.0f);
                const float gx = (x + 0.5f - kWidth / 2.0f) * depth / 40.0f;
                const float lineX = std::fabs(Fract(gx * 0.5f) - 0.5f);
                const float lineZ = std::fabs(Fract(depth * 3.0f) - 0.5f);
                // Line widths follow how fast the grid moves per pixel, so that the
                // far lines thin out instead of breaking into dots.
                const float below = fy - horizon + 1.0f;
                const float rateX = 0.5f * depth / 40.0f;
                const float rateZ = 3.0f * 40.0f / (below * below);
                const float lx = SmoothStep(1.6f * rateX, 0.3f * rateX, lineX) * Clamp01(0.08f / rateX);
                const float lz = SmoothStep(1.6f * rateZ, 0.3f * rateZ, lineZ) * Clamp01(0.08f / rateZ);
                const float grid = std::max(lx, lz);
                const float fade = SmoothStep(horizon + 2.0f, horizon + 70.0f, fy);
                sky = Mix(Hex(0x120418), Hex(0xff3fb0), Clamp01(grid) * fade);
            }
            const float glow = std::exp(-std::fabs(fy - horizon) / 6.0f);
            card.At(x, y) = sky + Hex(0xff6ad0) * (0.6f * glow);
        }
    }
    // A sun sinking behind the horizon, cut by bands.
    for (int y = 0; y < static_cast<int>(horizon); ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float dx = x + 0.5f - kWidth / 2.0f, dy = y + 0.5f - horizon;
            const float r = std::hypot(dx, dy);
            if (r < 70.0f) {
                const bool cut = y > 100 && std::fmod(static_cast<float>(y), 10.0f) < (y - 100) / 8.0f;
                if (!cut) {
                    const float t = Clamp01((y - (horizon - 70.0f)) / 70.0f);
                    const Color sun = Mix(Hex(0xffe060), Hex(0xff3080), t);
                    card.At(x, y) = Mix(card.At(x, y), sun, SmoothStep(70.0f, 68.0f, r) * 0.85f);
                }
            }
        }
    }
    HeightField title(kWidth, kHeight);
    bold.SetPixelSize(64);
    bold.DrawCentred(title, kWidth / 2, 96, "THE END", 4);
    const HeightField halo = Blur(title, 4, 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            card.At(x, y) = card.At(x, y) + Hex(0x40e0ff) * (1.2f * halo.At(x, y));
        }
    }
    Paint(card, title, Hex(0xf0fcff));

    HeightField lines(kWidth, kHeight);
    bold.SetPixelSize(20);
    bold.DrawCentred(lines, kWidth / 2, 200, "ZARNOTH 3D", 6);
    bold.SetPixelSize(12);
    bold.DrawCentred(lines, kWidth / 2, 228, "thanks for watching  -  2026", 1);
    const HeightField shadow = Blur(lines, 1, 2);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            card.At(x, y) = card.At(x, y) * (1.0f - 0.8f * shadow.At(x, y));
        }
    }
    Paint(card, lines, Hex(0xffffff));
    return ToRgb(card);
}

std::vector<AssetMember> BuildCards() {
    std::vector<AssetMember> members;
    members.push_back({"tex\\prt.jpg", EncodeJpeg(MakeTitleCard())});
    members.push_back({"tex\\end.jpg", EncodeJpeg(MakeEndCard())});
    for (const AssetMember& member : members) {
        if (member.bytes.empty()) {
            throw std::runtime_error("JPEG encoding failed for " + member.name);
        }
    }
    return members;
}

}  // namespace assetgen
