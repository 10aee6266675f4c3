// Offline picture sizes: parsing WxH, the limits, and the box filter of supersampling.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "show/zrn_showpicture.h"

namespace {

TEST(ZRNShowPicture, ParsesSizes) {
    const struct {
        const char* text;
        bool ok;
        int32_t width, height;
    } cases[] = {
        {"1920x1080", true, 1920, 1080}, {"64x64", true, 64, 64}, {"1920X1080", false, 0, 0},
        {"1920x", false, 0, 0},          {"x1080", false, 0, 0},  {"-640x480", false, 0, 0},
        {"640x480x2", false, 0, 0},      {" 640x480", false, 0, 0}, {"99999999x1", false, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t w = 0;
        int32_t h = 0;
        EXPECT_EQ(ZRNParseShowPictureSize(c.text, &w, &h), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(w, c.width) << c.text;
            EXPECT_EQ(h, c.height) << c.text;
        }
    }
}

TEST(ZRNShowPicture, ChecksLimits) {
    const struct {
        ZRNShowPictureSize size;
        bool ok;
    } cases[] = {
        {{640, 480, 1}, true},   {{64, 64, 4}, true},     {{7680, 4320, 1}, true}, {{3840, 2160, 2}, true},
        {{63, 480, 1}, false},   {{640, 63, 1}, false},   {{7681, 480, 1}, false}, {{640, 4321, 1}, false},
        {{640, 480, 0}, false},  {{640, 480, 5}, false},  {{2049, 480, 4}, false}, {{3840, 2160, 3}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZRNCheckShowPictureSize(c.size).empty(), c.ok)
            << c.size.width << "x" << c.size.height << " ssaa " << c.size.ssaa;
    }
}

// Each output pixel is the rounded mean of its block, channel by channel.
TEST(ZRNShowPicture, ScaleDownAveragesBlocks) {
    std::unique_ptr<KVLImage> source = KVLImage::Create(4, 2);
    const uint32_t pixels[8] = {0xFF000000u, 0xFF0000FFu, 0xFF102030u, 0xFF102031u,
                                0xFFFFFFFFu, 0xFF00FF00u, 0xFF102030u, 0xFF102030u};
    std::memcpy(source->pixels, pixels, sizeof pixels);
    std::unique_ptr<KVLImage> half = ZRNShowScaleDown(*source, 2);
    ASSERT_NE(half, nullptr);
    ASSERT_EQ(half->width, 2);
    ASSERT_EQ(half->height, 1);
    // Red (0+0+255+0)/4 = 63.75, green (0+0+255+255)/4 and blue (0+255+255+0)/4 =
    // 127.5: all round up.
    EXPECT_EQ(half->pixels[0], 0xFF408080u);
    // (0x30 * 3 + 0x31) / 4 = 48.25 rounds to 48.
    EXPECT_EQ(half->pixels[1], 0xFF102030u);
    std::unique_ptr<KVLImage> same = ZRNShowScaleDown(*source, 1);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(std::memcmp(same->pixels, pixels, sizeof pixels), 0);
    EXPECT_EQ(ZRNShowScaleDown(*source, 3), nullptr);
}

}  // namespace
