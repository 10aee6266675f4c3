// Picture sizes of the offline runs and the supersampling box filter.
#include "show/zrn_showpicture.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kMinSide = 64;
constexpr int32_t kMaxWidth = 7680;
constexpr int32_t kMaxHeight = 4320;
constexpr int32_t kMaxSsaa = 4;
// The offscreen renderer's limit on each side of its picture.
constexpr int32_t kMaxRendered = 8192;

bool ParseSide(const char* begin, const char* end, int32_t* out) {
    if (begin == end || end - begin > 6) {
        return false;
    }
    int32_t v = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        v = v * 10 + (*p - '0');
    }
    *out = v;
    return true;
}

}  // namespace

bool ZRNParseShowPictureSize(const char* text, int32_t* width, int32_t* height) {
    const char* x = std::strchr(text, 'x');
    return x != nullptr && ParseSide(text, x, width) && ParseSide(x + 1, text + std::strlen(text), height);
}

std::string ZRNCheckShowPictureSize(const ZRNShowPictureSize& size) {
    if (size.width < kMinSide || size.height < kMinSide) {
        return "the picture size must be at least 64x64";
    }
    if (size.width > kMaxWidth || size.height > kMaxHeight) {
        return "the picture size must be at most 7680x4320";
    }
    if (size.ssaa < 1 || size.ssaa > kMaxSsaa) {
        return "--ssaa takes a factor from 1 to 4";
    }
    if (static_cast<int64_t>(size.width) * size.ssaa > kMaxRendered ||
        static_cast<int64_t>(size.height) * size.ssaa > kMaxRendered) {
        return "the picture size times --ssaa must stay within 8192 pixels a side";
    }
    return {};
}

std::unique_ptr<KVLImage> ZRNShowScaleDown(const KVLImage& picture, int32_t factor) {
    if (factor < 1 || picture.width % factor != 0 || picture.height % factor != 0) {
        return nullptr;
    }
    const int32_t w = picture.width / factor;
    const int32_t h = picture.height / factor;
    std::unique_ptr<KVLImage> out = KVLImage::CreateForOverwrite(w, h);
    if (out == nullptr) {
        return nullptr;
    }
    const uint32_t count = static_cast<uint32_t>(factor * factor);
    const size_t stride = static_cast<size_t>(picture.width);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int32_t dy = 0; dy < factor; ++dy) {
                const uint32_t* row = picture.pixels + stride * static_cast<size_t>(y * factor + dy) +
                                      static_cast<size_t>(x * factor);
                for (int32_t dx = 0; dx < factor; ++dx) {
                    for (int c = 0; c < 4; ++c) {
                        sum[c] += (row[dx] >> (8 * c)) & 0xFFu;
                    }
                }
            }
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) {
                pixel |= ((sum[c] + count / 2) / count) << (8 * c);
            }
            out->pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = pixel;
        }
    }
    return out;
}
