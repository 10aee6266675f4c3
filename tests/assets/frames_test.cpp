// The animation frames the generator prepares for MLZ encoding.
#include <gtest/gtest.h>

#include <set>

#include "assets/animations.h"

namespace {

using assetgen::AssetFrames;

uint32_t Pixel(const std::vector<uint8_t>& frame, size_t i) {
    return uint32_t(frame[i * 4]) | uint32_t(frame[i * 4 + 1]) << 8 | uint32_t(frame[i * 4 + 2]) << 16 |
           uint32_t(frame[i * 4 + 3]) << 24;
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(int(a[i]) - int(b[i]));
    }
    return sum / static_cast<double>(a.size());
}

TEST(AnimationFrames, SizesCountsAndPalettes) {
    const std::vector<AssetFrames> all = assetgen::BuildAnimationFrames();
    ASSERT_EQ(all.size(), 2u);
    struct Expect {
        const char* name;
        int width, height;
        size_t minFrames, maxFrames;
    };
    const Expect expected[] = {{"anm\\qv.mlz", 256, 64, 120, 140}, {"anm\\porn.mlz", 256, 256, 64, 128}};
    for (size_t a = 0; a < 2; ++a) {
        SCOPED_TRACE(expected[a].name);
        const AssetFrames& frames = all[a];
        EXPECT_EQ(frames.name, expected[a].name);
        EXPECT_EQ(frames.width, expected[a].width);
        EXPECT_EQ(frames.height, expected[a].height);
        EXPECT_GE(frames.frames.size(), expected[a].minFrames);
        EXPECT_LE(frames.frames.size(), expected[a].maxFrames);
        std::set<uint32_t> colours;
        for (const auto& frame : frames.frames) {
            ASSERT_EQ(frame.size(), size_t(frames.width) * frames.height * 4);
            for (size_t i = 0; i < frame.size() / 4; ++i) {
                colours.insert(Pixel(frame, i));
                ASSERT_EQ(frame[i * 4 + 3], 255);
            }
        }
        EXPECT_LE(colours.size(), 256u);
        EXPECT_GT(colours.size(), 16u);
    }
}

TEST(AnimationFrames, CreditsBuildUpAndHoldTheirLastFrame) {
    const AssetFrames credits = assetgen::MakeCreditsFrames();
    ASSERT_GE(credits.frames.size(), 2u);
    // The strip starts dark and only ever gains lit pixels once typing is done with a
    // line: count lit pixels per frame, ignoring the cursor's dimmer colour.
    auto lit = [&](const std::vector<uint8_t>& frame) {
        size_t n = 0;
        for (size_t i = 0; i < frame.size() / 4; ++i) {
            n += frame[i * 4 + 1] > 200;
        }
        return n;
    };
    EXPECT_EQ(lit(credits.frames.front()), 0u);
    const size_t last = lit(credits.frames.back());
    EXPECT_GT(last, 1000u);
    size_t rows = 0;
    for (int y = 0; y < credits.height; ++y) {
        bool any = false;
        for (int x = 0; x < credits.width; ++x) {
            any = any || credits.frames.back()[(size_t(y) * credits.width + x) * 4 + 1] > 200;
        }
        rows += any;
    }
    EXPECT_GT(rows, 30u) << "the last frame should hold several lines of text";
    // Lines appear one after another: the number of separate bands of lit rows grows
    // one at a time up to the four lines and never shrinks.
    auto bands = [&](const std::vector<uint8_t>& frame) {
        // Gaps of one or two rows (the dot over an i) do not split a line.
        int count = 0;
        int lastLit = -100;
        for (int y = 0; y < credits.height; ++y) {
            bool any = false;
            for (int x = 0; x < credits.width; ++x) {
                any = any || frame[(size_t(y) * credits.width + x) * 4 + 1] > 200;
            }
            if (any) {
                count += y - lastLit > 3;
                lastLit = y;
            }
        }
        return count;
    };
    int previous = 0;
    for (size_t i = 0; i < credits.frames.size(); ++i) {
        const int now = bands(credits.frames[i]);
        EXPECT_TRUE(now == previous || now == previous + 1) << "frame " << i << ": " << previous << " -> " << now;
        previous = now;
    }
    EXPECT_EQ(previous, 4);
    // Typing is over early enough for the demo to show the full credits.
    EXPECT_EQ(bands(credits.frames[60]), 4);
    // The final frames hold still, so stopping on the last frame shows the full credits.
    const auto& end = credits.frames.back();
    EXPECT_EQ(MeanDifference(end, credits.frames[credits.frames.size() - 2]), 0.0);
}

TEST(AnimationFrames, EffectLoopsWithoutAJump) {
    const AssetFrames effect = assetgen::MakeEffectFrames();
    const auto& f = effect.frames;
    ASSERT_GE(f.size(), 3u);
    double largest = 0, smallest = 1e9;
    for (size_t i = 0; i + 1 < f.size(); ++i) {
        const double d = MeanDifference(f[i], f[i + 1]);
        largest = std::max(largest, d);
        smallest = std::min(smallest, d);
    }
    const double wrap = MeanDifference(f.back(), f.front());
    EXPECT_GT(smallest, 0.5) << "every frame should move";
    EXPECT_LE(wrap, largest * 1.2) << "the step from the last frame back to the first is a jump";
    EXPECT_GT(MeanDifference(f[0], f[f.size() / 2]), 3.0 * largest / 2.0);
}

}  // namespace
