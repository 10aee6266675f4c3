// Display-mode choice and letterboxing against made-up mode lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/kvl_displaymode.h"

namespace {

struct ChoiceCase {
    const char* name;
    std::vector<KVLDisplayMode> offered;
    KVLDisplayMode desktop;
    int32_t width, height, bpp;
    KVLDisplayModeMatch match;
    int32_t index;
    KVLRect picture;
};

TEST(DisplayModeChoice, Table) {
    const KVLDisplayMode desk1080{1920, 1080, 32, 60};
    const std::vector<ChoiceCase> cases = {
        {"exact, first of several refresh rates",
         {{800, 600, 32, 60}, {640, 480, 32, 60}, {640, 480, 16, 75}, {640, 480, 16, 60}},
         desk1080, 640, 480, 16, KVLDisplayModeMatch::Exact, 2, {0, 0, 640, 480}},
        {"exact beats an earlier same-size mode of another depth",
         {{640, 480, 32, 60}, {640, 480, 16, 60}},
         desk1080, 640, 480, 16, KVLDisplayModeMatch::Exact, 1, {0, 0, 640, 480}},
        {"same size at another depth, first one",
         {{1024, 768, 32, 60}, {640, 480, 32, 60}, {640, 480, 24, 60}},
         desk1080, 640, 480, 16, KVLDisplayModeMatch::SameSize, 1, {0, 0, 640, 480}},
        {"width alone or height alone is no match",
         {{640, 400, 16, 60}, {720, 480, 16, 60}},
         desk1080, 640, 480, 16, KVLDisplayModeMatch::Desktop, -1, {240, 0, 1440, 1080}},
        {"nothing offered",
         {}, desk1080, 640, 480, 16, KVLDisplayModeMatch::Desktop, -1, {240, 0, 1440, 1080}},
        {"desktop taller than the picture",
         {{1280, 1024, 32, 60}}, {1280, 1024, 32, 60}, 640, 480, 16,
         KVLDisplayModeMatch::Desktop, -1, {0, 32, 1280, 960}},
        {"desktop of the same aspect fills",
         {{1024, 768, 32, 60}}, {1024, 768, 32, 60}, 640, 480, 16,
         KVLDisplayModeMatch::Desktop, -1, {0, 0, 1024, 768}},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const KVLDisplayModeChoice got =
            KVLChooseDisplayMode(c.offered, c.desktop, c.width, c.height, c.bpp);
        EXPECT_EQ(got.match, c.match);
        EXPECT_EQ(got.index, c.index);
        EXPECT_EQ(got.picture, c.picture);
        const KVLDisplayMode& want =
            c.index >= 0 ? c.offered[static_cast<size_t>(c.index)] : c.desktop;
        EXPECT_EQ(got.mode.width, want.width);
        EXPECT_EQ(got.mode.height, want.height);
        EXPECT_EQ(got.mode.bitsPerPixel, want.bitsPerPixel);
        EXPECT_EQ(got.mode.refreshRate, want.refreshRate);
    }
}

TEST(DisplayModeChoice, Letterbox) {
    struct Case {
        int32_t ow, oh, w, h;
        KVLRect want;
    };
    const std::vector<Case> cases = {
        {640, 480, 640, 480, {0, 0, 640, 480}},
        {1366, 768, 640, 480, {171, 0, 1024, 768}},  // odd leftover goes right
        {1920, 1200, 640, 480, {160, 0, 1600, 1200}},
        {640, 480, 320, 200, {0, 40, 640, 400}},
        {800, 601, 800, 600, {0, 0, 800, 600}},      // one spare row goes to the bottom
        {641, 480, 640, 480, {0, 0, 640, 480}},      // rounds to the nearest pixel
        {0, 0, 640, 480, {0, 0, 0, 0}},
        {-5, 480, 640, 480, {0, 0, 0, 480}},
        {640, 480, 0, 480, {0, 0, 640, 480}},
        {640, 480, 640, -1, {0, 0, 640, 480}},
        {2000000000, 2000000000, 2000000000, 1000000000, {0, 500000000, 2000000000, 1000000000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ow << "x" << c.oh << " for " << c.w << "x" << c.h);
        const KVLRect r = KVLLetterbox(c.ow, c.oh, c.w, c.h);
        EXPECT_EQ(r, c.want) << r.x << "," << r.y << " " << r.width << "x" << r.height;
        // Whatever the sizes, the picture stays inside the outer rectangle.
        EXPECT_GE(r.x, 0);
        EXPECT_GE(r.y, 0);
        EXPECT_LE(static_cast<int64_t>(r.x) + r.width, std::max<int64_t>(c.ow, 0));
        EXPECT_LE(static_cast<int64_t>(r.y) + r.height, std::max<int64_t>(c.oh, 0));
    }
}

}  // namespace
