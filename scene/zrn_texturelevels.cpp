// Texture levels for RGBA-only renderers (see zrn_texturelevels.h).
#include "scene/zrn_texturelevels.h"

#include <algorithm>

int32_t ZRNTextureSide(int32_t size, int32_t maxSize) {
    int32_t side = 1;
    // Doubling while the next power is at least as close: 3 -> 4, 6 -> 8, 5 -> 4.
    while (side <= maxSize / 2 && size - side >= side * 2 - size) {
        side *= 2;
    }
    return side;
}

ZRNTextureLevel ZRNTextureFromImage(const KVLImage& image) {
    ZRNTextureLevel level;
    level.width = image.width;
    level.height = image.height;
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    level.rgba.resize(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = image.pixels[i];
        level.rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 16);
        level.rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
        level.rgba[i * 4 + 2] = static_cast<uint8_t>(p);
        level.rgba[i * 4 + 3] = static_cast<uint8_t>(p >> 24);
    }
    return level;
}

namespace {

// The source texels under target texel i of n along a side of s source texels:
// first and last index and the weights of those two ends (inner ones weigh 1).
struct Span {
    int32_t first;
    int32_t last;
    double firstWeight;
    double lastWeight;
};

std::vector<Span> Spans(int32_t source, int32_t target) {
    std::vector<Span> spans(static_cast<size_t>(target));
    const double step = static_cast<double>(source) / target;
    for (int32_t i = 0; i < target; ++i) {
        const double begin = i * step;
        const double end = (i + 1) * step;
        Span& s = spans[static_cast<size_t>(i)];
        s.first = static_cast<int32_t>(begin);
        s.last = std::min(static_cast<int32_t>(end), source - 1);
        // The end may fall exactly on a texel boundary: that texel is not covered.
        if (s.last > s.first && static_cast<double>(s.last) >= end) {
            --s.last;
        }
        if (s.first == s.last) {
            s.firstWeight = s.lastWeight = end - begin;
        } else {
            s.firstWeight = (s.first + 1) - begin;
            s.lastWeight = std::min(end, static_cast<double>(s.last + 1)) - s.last;
        }
    }
    return spans;
}

double Weight(const Span& s, int32_t i) {
    if (i == s.first) {
        return s.firstWeight;
    }
    return i == s.last ? s.lastWeight : 1.0;
}

}  // namespace

ZRNTextureLevel ZRNScaleTexture(const ZRNTextureLevel& level, int32_t width, int32_t height) {
    if (width == level.width && height == level.height) {
        return level;
    }
    ZRNTextureLevel out;
    out.width = width;
    out.height = height;
    out.rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    const std::vector<Span> columns = Spans(level.width, width);
    const std::vector<Span> rows = Spans(level.height, height);
    for (int32_t y = 0; y < height; ++y) {
        const Span& r = rows[static_cast<size_t>(y)];
        for (int32_t x = 0; x < width; ++x) {
            const Span& c = columns[static_cast<size_t>(x)];
            double sum[4] = {0.0, 0.0, 0.0, 0.0};
            double area = 0.0;
            for (int32_t sy = r.first; sy <= r.last; ++sy) {
                const double wy = Weight(r, sy);
                for (int32_t sx = c.first; sx <= c.last; ++sx) {
                    const double w = wy * Weight(c, sx);
                    const uint8_t* p = &level.rgba[(static_cast<size_t>(sy) * level.width + sx) * 4];
                    for (int k = 0; k < 4; ++k) {
                        sum[k] += p[k] * w;
                    }
                    area += w;
                }
            }
            uint8_t* q = &out.rgba[(static_cast<size_t>(y) * width + x) * 4];
            for (int k = 0; k < 4; ++k) {
                q[k] = static_cast<uint8_t>(std::clamp(sum[k] / area, 0.0, 255.0));
            }
        }
    }
    return out;
}

ZRNTextureLevel ZRNHalveTexture(const ZRNTextureLevel& level) {
    ZRNTextureLevel out;
    out.width = std::max(1, level.width / 2);
    out.height = std::max(1, level.height / 2);
    out.rgba.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
    // Source texel offsets of the 2x2 (or 2x1, 1x2) block behind each new texel.
    const int32_t dx = level.width > 1 ? 1 : 0;
    const int32_t dy = level.height > 1 ? 1 : 0;
    const int32_t count = (dx + 1) * (dy + 1);
    for (int32_t y = 0; y < out.height; ++y) {
        for (int32_t x = 0; x < out.width; ++x) {
            const int32_t sx = x * (dx + 1);
            const int32_t sy = y * (dy + 1);
            for (int k = 0; k < 4; ++k) {
                int32_t sum = 0;
                for (int32_t j = 0; j <= dy; ++j) {
                    for (int32_t i = 0; i <= dx; ++i) {
                        sum += level.rgba[(static_cast<size_t>(sy + j) * level.width + (sx + i)) * 4 + k];
                    }
                }
                // Blocks of four round to nearest, pairs truncate (as GLU does).
                out.rgba[(static_cast<size_t>(y) * out.width + x) * 4 + k] =
                    static_cast<uint8_t>(count == 4 ? (sum + 2) / 4 : sum / count);
            }
        }
    }
    return out;
}

std::vector<ZRNTextureLevel> ZRNBuildMipmaps(const KVLImage& image, int32_t maxSize) {
    std::vector<ZRNTextureLevel> levels;
    const ZRNTextureLevel source = ZRNTextureFromImage(image);
    levels.push_back(
        ZRNScaleTexture(source, ZRNTextureSide(image.width, maxSize), ZRNTextureSide(image.height, maxSize)));
    while (levels.back().width > 1 || levels.back().height > 1) {
        levels.push_back(ZRNHalveTexture(levels.back()));
    }
    return levels;
}
