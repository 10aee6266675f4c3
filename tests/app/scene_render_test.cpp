// The three 3D scenes drawn by the real renderer into an offscreen picture at one
// representative tick each (software GL, no display). The pictures go to the folder
// named by ZARNOTH_SCENE_SHOTS when it is set, so that they can be looked at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/scenes/scene_oscilloscope.h"
#include "app/scenes/scene_room.h"
#include "app/scenes/scene_tunnel.h"
#include "image/kvl_pngwriter.h"
#include "scene/zrn_renderer_offscreen.h"
#include "scene_test_support.h"
#include "support/test_support.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

int32_t Red(uint32_t p) { return static_cast<int32_t>((p >> 16) & 0xFF); }
int32_t Green(uint32_t p) { return static_cast<int32_t>((p >> 8) & 0xFF); }
int32_t Blue(uint32_t p) { return static_cast<int32_t>(p & 0xFF); }

// Share of pixels that are not black, in percent.
double LitPercent(const KVLImage& image) {
    int64_t lit = 0;
    for (int32_t i = 0; i < image.width * image.height; ++i) {
        lit += (image.pixels[i] & 0xFFFFFF) != 0 ? 1 : 0;
    }
    return 100.0 * static_cast<double>(lit) / (image.width * image.height);
}

// Share of pixels that differ between two pictures of the same size, in percent.
double DifferentPercent(const KVLImage& a, const KVLImage& b) {
    int64_t differ = 0;
    for (int32_t i = 0; i < a.width * a.height; ++i) {
        differ += a.pixels[i] != b.pixels[i] ? 1 : 0;
    }
    return 100.0 * static_cast<double>(differ) / (a.width * a.height);
}

class SceneRenderTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        offscreen = std::make_unique<ZRNRendererOffscreen>(kWidth, kHeight);
        if (!offscreen->Initialise()) {
            ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL: " << offscreen->GetError().c_str();
        }
        glVisitor = std::make_unique<ZRNRenderVisitor>(offscreen.get());
    }

    // Brings the scene's counter to t and renders once.
    static void RenderAt(ZRNShowScene& scene, int32_t t) {
        while (scene.GetTickCounter() < t) {
            scene.Tick();
        }
        scene.Render();
    }

    std::unique_ptr<KVLImage> Shot(const char* name) {
        std::unique_ptr<KVLImage> picture = offscreen->ReadPixels();
        if (const char* dir = std::getenv("ZARNOTH_SCENE_SHOTS"); dir != nullptr && picture != nullptr) {
            const std::string path = std::string(dir) + "/" + name + ".png";
            EXPECT_TRUE(KVLWritePNG(*picture, path.c_str(), nullptr)) << path;
        }
        return picture;
    }

    std::unique_ptr<ZRNRendererOffscreen> offscreen;
    std::unique_ptr<ZRNRenderVisitor> glVisitor;
};

TEST_F(SceneRenderTest, OscilloscopeShowsAFlatGreenTraceAndTheCredits) {
    OscilloCreditsScene scene(offscreen.get(), glVisitor.get(), &tickVisitor, nullptr);
    ASSERT_TRUE(scene.Load(nullptr));
    for (int32_t frame = 0; frame < 300; ++frame) {
        scene.Render();
    }
    // 50 ticked frames after the hold: the credits are eight frames in.
    for (int32_t t = 1; t <= 50; ++t) {
        RenderAt(scene, t);
    }
    std::unique_ptr<KVLImage> picture = Shot("oscilloscope");
    ASSERT_NE(picture, nullptr);
    // Silence: a green line across the middle of the picture.
    int greenRows = 0;
    for (int32_t y = kHeight / 2 - 12; y <= kHeight / 2 + 12; ++y) {
        const uint32_t p = picture->pixels[y * kWidth + kWidth / 2];
        greenRows += Green(p) > 150 && Red(p) < 60 && Blue(p) < 60 ? 1 : 0;
    }
    EXPECT_GE(greenRows, 3);
    EXPECT_LE(greenRows, 12);
    // The credits strip lies in the upper part of the picture.
    int64_t creditsLit = 0;
    for (int32_t y = 0; y < kHeight / 3; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            creditsLit += (picture->pixels[y * kWidth + x] & 0xFFFFFF) != 0 ? 1 : 0;
        }
    }
    EXPECT_GT(creditsLit, 1000);
}

TEST_F(SceneRenderTest, RoomAndTunnelDrawTheirViews) {
    RoomScene room(offscreen.get(), glVisitor.get(), &tickVisitor);
    ASSERT_TRUE(room.Load(nullptr));
    RenderAt(room, 60);
    std::unique_ptr<KVLImage> hall = Shot("room_0060");
    RenderAt(room, 1200);
    std::unique_ptr<KVLImage> switching = Shot("room_1200");
    ASSERT_NE(hall, nullptr);
    ASSERT_NE(switching, nullptr);
    EXPECT_GT(LitPercent(*hall), 80.0);
    EXPECT_GT(LitPercent(*switching), 80.0);
    EXPECT_GT(DifferentPercent(*hall, *switching), 20.0);

    offscreen->ResetTextures();
    TunnelScene tunnel(offscreen.get(), glVisitor.get(), &tickVisitor);
    ASSERT_TRUE(tunnel.Load(nullptr));
    RenderAt(tunnel, 150);
    std::unique_ptr<KVLImage> ride = Shot("tunnel_0150");
    EXPECT_FALSE(offscreen->GetTextureCache()->GetTextures().IsEmpty());
    RenderAt(tunnel, 210);
    RenderAt(tunnel, 211);
    std::unique_ptr<KVLImage> cut = Shot("tunnel_0211_cut");
    ASSERT_NE(ride, nullptr);
    ASSERT_NE(cut, nullptr);
    EXPECT_GT(LitPercent(*ride), 30.0);
    EXPECT_GT(LitPercent(*cut), 30.0);
    EXPECT_GT(DifferentPercent(*ride, *cut), 30.0);
    EXPECT_GT(DifferentPercent(*ride, *hall), 30.0);

    // The cut ends at 215: the texture cache is emptied once, and the ride's textures
    // come back with the next frame.
    RenderAt(tunnel, 215);
    EXPECT_TRUE(offscreen->GetTextureCache()->GetTextures().IsEmpty());
    RenderAt(tunnel, 216);
    EXPECT_FALSE(offscreen->GetTextureCache()->GetTextures().IsEmpty());
    Shot("tunnel_0216");
}

}  // namespace
