// The oscilloscope and credits scene: loading from the generated archive, the
// 300-frame hold, the credits clock and the trace geometry.
#include <gtest/gtest.h>

#include <vector>

#include "app/scenes/scene_oscilloscope.h"
#include "scene_test_support.h"

namespace {

class OscilloTest : public SceneTest {};

// Rows holding the bright (middle) pixel of the trace, one per column.
std::vector<int32_t> BrightRows(const KVLImage& image) {
    std::vector<int32_t> rows;
    for (int32_t x = 0; x < image.width; ++x) {
        for (int32_t y = 0; y < image.height; ++y) {
            if (image.pixels[y * image.width + x] == OscilloCreditsScene::kTraceMiddle) {
                rows.push_back(y);
            }
        }
    }
    return rows;
}

TEST(OscilloTrace, RowsFollowTheLeftChannelHighByte) {
    struct Case {
        uint32_t frame;
        int32_t bright;
    } cases[] = {
        {0x00000000u, 128},  // silence
        {0x00007F00u, 225},  // full-scale positive left
        {0x00008000u, 30},   // full-scale negative left
        {0x7FFF0000u, 128},  // right channel only: never shows
        {0x000040FFu, 128 + 49},  // 64 x 0.765625 = 49; the low byte is ignored
        {0x0000C000u, 128 - 49},
    };
    for (const Case& c : cases) {
        auto image = KVLImage::Create(256, 256);
        std::vector<uint32_t> frames(256, c.frame);
        OscilloCreditsScene::DrawTrace(frames.data(), *image);
        for (int32_t x = 0; x < 256; ++x) {
            EXPECT_EQ(image->pixels[c.bright * 256 + x], OscilloCreditsScene::kTraceMiddle) << std::hex << c.frame;
            EXPECT_EQ(image->pixels[(c.bright - 1) * 256 + x], OscilloCreditsScene::kTraceEdge);
            EXPECT_EQ(image->pixels[(c.bright + 1) * 256 + x], OscilloCreditsScene::kTraceEdge);
        }
        int lit = 0;
        for (int32_t i = 0; i < 256 * 256; ++i) {
            lit += image->pixels[i] != 0 ? 1 : 0;
        }
        EXPECT_EQ(lit, 3 * 256);
    }
}

TEST_F(OscilloTest, LoadsFromTheArchive) {
    OscilloCreditsScene scene(&renderer, &renderVisitor, &tickVisitor, nullptr);
    KVLString error;
    ASSERT_TRUE(scene.Load(&error)) << error.c_str();
    ASSERT_NE(scene.GetCredits(), nullptr);
    EXPECT_EQ(scene.GetCreditsImage()->width, scene.GetCredits()->GetWidth());
    EXPECT_EQ(scene.GetCreditsImage()->height, scene.GetCredits()->GetHeight());
    EXPECT_GT(scene.GetCredits()->GetFrameCount(), 1);
    ASSERT_EQ(scene.GetMaterialCount(), 2);
    EXPECT_STREQ(scene.GetMaterial(0)->name.c_str(), "Oscillo");
    EXPECT_STREQ(scene.GetMaterial(1)->name.c_str(), "Credits");
    EXPECT_TRUE(scene.GetMaterial(0)->IsSharedImage());
    EXPECT_EQ(scene.GetMaterial(1)->GetImage(), scene.GetCreditsImage());
}

TEST_F(OscilloTest, HoldsThePreviousPictureForThreeHundredFrames) {
    OscilloCreditsScene scene(&renderer, &renderVisitor, &tickVisitor, nullptr);
    ASSERT_TRUE(scene.Load(nullptr));
    const int32_t opened = scene.GetCredits()->GetCurrentFrame();
    for (int frame = 1; frame <= 300; ++frame) {
        scene.Tick();
        scene.Render();
    }
    EXPECT_EQ(Count("Present"), 0);
    EXPECT_EQ(Count("Clear"), 300);
    EXPECT_EQ(renderer.drawn.size(), 0u);
    // The credits clock did not run during the hold, however many ticks came.
    EXPECT_EQ(scene.GetCredits()->GetCurrentFrame(), opened);

    scene.Render();
    EXPECT_EQ(Count("Present"), 1);
    EXPECT_EQ(Count("Draw with Oscillo"), 1);
    EXPECT_EQ(Count("Draw with Credits"), 1);
    // No player: a flat trace in rows 127 to 129.
    EXPECT_EQ(BrightRows(*scene.GetScopeImage()), std::vector<int32_t>(256, 128));
}

TEST_F(OscilloTest, CreditsAdvanceEverySixTickedFramesAndStopOnTheLast) {
    OscilloCreditsScene scene(&renderer, &renderVisitor, &tickVisitor, nullptr);
    ASSERT_TRUE(scene.Load(nullptr));
    for (int frame = 0; frame < 300; ++frame) {
        scene.Render();
    }
    const KVLAnimMLZ* credits = scene.GetCredits();
    const int32_t last = credits->GetFrameCount() - 1;
    // Opening the animation may already have read its first frame.
    const int32_t opened = credits->GetCurrentFrame();
    ASSERT_LT(opened, last);
    // Frames without a new tick do not move the clock.
    for (int frame = 0; frame < 20; ++frame) {
        scene.Render();
    }
    EXPECT_EQ(credits->GetCurrentFrame(), opened);
    for (const uint32_t pixel : std::vector<uint32_t>(scene.GetCreditsImage()->pixels,
                                                      scene.GetCreditsImage()->pixels + 256)) {
        ASSERT_EQ(pixel, 0u);
    }

    // Several ticks between two frames count once.
    for (int ticked = 1; ticked <= 6 * (last - opened) + 60; ++ticked) {
        scene.Tick();
        scene.Tick();
        scene.Render();
        scene.Render();
        const int32_t expected = opened + ticked / 6 < last ? opened + ticked / 6 : last;
        ASSERT_EQ(credits->GetCurrentFrame(), expected) << "after " << ticked << " ticked frames";
        ASSERT_EQ(scene.IsCreditsRunning(), expected != last);
    }
    bool anyPixel = false;
    const KVLImage& image = *scene.GetCreditsImage();
    for (int32_t i = 0; i < image.width * image.height; ++i) {
        anyPixel = anyPixel || image.pixels[i] != 0;
    }
    EXPECT_TRUE(anyPixel);
}

TEST_F(OscilloTest, MissingCreditsFailWithTheAnimationsText) {
    SetDemoArchivePath(KVLString(testsupport::SourcePath("no-such.pak").c_str()));
    OscilloCreditsScene scene(&renderer, &renderVisitor, &tickVisitor, nullptr);
    KVLString error;
    EXPECT_FALSE(scene.Load(&error));
    EXPECT_STREQ(error.c_str(), "Unable to open file");
    scene.Render();  // a scene that did not load draws nothing and does not crash
    EXPECT_EQ(Count("Present"), 0);
}

}  // namespace
