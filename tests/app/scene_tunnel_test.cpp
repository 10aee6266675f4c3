// The tunnel ride scene: loading from the generated archive, the transformations of
// the disabled tunnel branch, the seven cuts to the animation, the texture-cache reset
// when a cut ends, and the animation clock that runs on the ticking thread whether the
// animation is shown or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "app/demo_archive_members.h"
#include "app/scenes/scene_tunnel.h"
#include "app_support.h"
#include "scene_test_support.h"

namespace {

class TunnelTest : public SceneTest {};

TEST(TunnelStretches, BoundsAreInclusive) {
    const int32_t shown[] = {201, 214, 401, 439, 601, 679, 901, 1099, 1301, 1549, 1801, 2199, 2401, 2899};
    const int32_t hidden[] = {0, 200, 215, 400, 440, 600, 680, 900, 1100, 1300, 1550, 1800, 2200, 2400, 2900};
    for (int32_t t : shown) {
        EXPECT_TRUE(TunnelScene::IsAnimationTick(t)) << t;
    }
    for (int32_t t : hidden) {
        EXPECT_FALSE(TunnelScene::IsAnimationTick(t)) << t;
    }
}

TEST_F(TunnelTest, LoadsFromTheArchive) {
    TunnelScene scene(&renderer, &renderVisitor, &tickVisitor);
    KVLString error;
    ASSERT_TRUE(scene.Load(&error)) << error.c_str();
    EXPECT_FALSE(scene.GetRideTunnel()->IsEnabled());
    EXPECT_FALSE(scene.GetAnimationCamera()->IsEnabled());
    EXPECT_TRUE(scene.GetRideCamera()->IsEnabled());
    EXPECT_STREQ(scene.GetRideOut()->GetName().c_str(), "[BRANCH] - Ride Out");
    EXPECT_STREQ(scene.GetRideTunnel()->GetName().c_str(), "[BRANCH] - Ride Tunnel");
    ASSERT_NE(scene.GetAnimationImage(), nullptr);
    EXPECT_EQ(scene.GetAnimationImage()->width, scene.GetAnimation()->GetWidth());
    // Ride camera, two characters, two scrolling planes.
    ASSERT_EQ(scene.GetAnimatorCount(), 5);
    const KVLArray<int32_t>& keys = scene.GetAnimator(1)->Keys();
    const std::vector<int32_t> got(&keys[0], &keys[0] + keys.GetCount());
    EXPECT_EQ(got, (std::vector<int32_t>{40, 41, 42, 43, 44, 45, 40}));
    std::vector<std::string> names;
    for (int32_t i = 0; i < scene.GetMaterialCount(); ++i) {
        names.emplace_back(scene.GetMaterial(i)->name.c_str());
    }
    for (const char* name : {"PORN ANIM", "Floor 0", "Tunnel"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
}

TEST_F(TunnelTest, RideTunnelBranchTurnsThenShiftsAlongX) {
    TunnelScene scene(&renderer, &renderVisitor, &tickVisitor);
    ASSERT_TRUE(scene.Load(nullptr));
    // The branch is found by its name under the ride camera.
    const ZRNNode* branch = nullptr;
    for (int32_t i = 0; i < scene.GetRideCamera()->GetChildCount(); ++i) {
        const ZRNNode* child = scene.GetRideCamera()->GetChild(i);
        if (std::string(child->GetName().c_str()) == "[BRANCH] - Ride Tunnel") {
            branch = child;
        }
    }
    ASSERT_NE(branch, nullptr);
    // A single chain down to the mesh; its transformations, in order.
    std::vector<const ZRNTransformTrack*> chain;
    const ZRNNode* node = branch;
    while (node->GetChildCount() > 0) {
        ASSERT_EQ(node->GetChildCount(), 1);
        node = node->GetChild(0);
        if (const auto* transform = dynamic_cast<const ZRNNodeTransformation*>(node)) {
            chain.push_back(transform->GetPayload());
        }
    }
    EXPECT_NE(dynamic_cast<const ZRNNodeMesh*>(node), nullptr);
    const struct {
        int32_t type;
        KVLVector3 key;
    } expected[] = {{ZRNTransformRotate, {std::numbers::pi_v<float>, 0.0f, 0.0f}},
                    {ZRNTransformTranslate, {-0.02f, 0.0f, 0.0f}}};
    ASSERT_EQ(chain.size(), std::size(expected));
    for (size_t i = 0; i < chain.size(); ++i) {
        EXPECT_EQ(chain[i]->type, expected[i].type) << i;
        ASSERT_EQ(chain[i]->keys.GetCount(), 1) << i;
        EXPECT_FLOAT_EQ(chain[i]->keys[0].x, expected[i].key.x) << i;
        EXPECT_FLOAT_EQ(chain[i]->keys[0].y, expected[i].key.y) << i;
        EXPECT_FLOAT_EQ(chain[i]->keys[0].z, expected[i].key.z) << i;
    }
}

TEST_F(TunnelTest, CutsToTheAnimationDuringEachStretch) {
    TunnelScene scene(&renderer, &renderVisitor, &tickVisitor);
    ASSERT_TRUE(scene.Load(nullptr));
    // The ticks at which the scene emptied the renderer's texture cache.
    std::vector<int32_t> resets;
    const int32_t frames = scene.GetAnimation()->GetFrameCount();
    // Opening the animation reads its first frame.
    const int32_t opened = scene.GetAnimation()->GetCurrentFrame();
    ASSERT_GE(opened, 0);
    bool shownLastFrame = false;
    // The scene is on screen for at most 2660 ticks (the switch comes first).
    for (int32_t t = 0; t < 2660; ++t) {
        renderer.log.clear();
        scene.Render();
        // What was drawn follows the view chosen after the previous frame.
        ASSERT_EQ(Count("Draw with PORN ANIM"), shownLastFrame ? 1 : 0) << t;
        ASSERT_EQ(Count("Draw with Floor 0") > 0, !shownLastFrame) << t;
        ASSERT_EQ(Count("Draw with Tunnel"), 0) << t;
        ASSERT_EQ(scene.IsShowingAnimation(), TunnelScene::IsAnimationTick(t)) << t;
        ASSERT_EQ(scene.GetAnimationCamera()->IsEnabled(), TunnelScene::IsAnimationTick(t)) << t;
        ASSERT_NE(scene.GetRideCamera()->IsEnabled(), TunnelScene::IsAnimationTick(t)) << t;
        shownLastFrame = scene.IsShowingAnimation();
        for (int32_t n = Count("ResetTextures"); n > 0; --n) {
            resets.push_back(t);
        }

        scene.Tick();
        // One animation frame every 4 ticks, shown or not.
        ASSERT_EQ(scene.GetAnimation()->GetCurrentFrame(), (opened + (t + 1) / 4) % frames) << t;
    }
    // Six cuts end inside the scene; the seventh is cut short by the switch.
    EXPECT_EQ(resets, (std::vector<int32_t>{215, 440, 680, 1100, 1550, 2200}));
}

TEST_F(TunnelTest, CopiesWholeFramesWhileAnotherThreadTicks) {
    TunnelScene scene(&renderer, &renderVisitor, &tickVisitor);
    ASSERT_TRUE(scene.Load(nullptr));
    const int32_t opened = scene.GetAnimation()->GetCurrentFrame();
    ASSERT_GE(opened, 0);
    for (int32_t t = 0; t < 201; ++t) {
        scene.Tick();
    }
    constexpr int32_t kTicks = 400;
    std::thread timer([&] {
        for (int32_t i = 0; i < kTicks; ++i) {
            scene.Tick();
        }
    });
    for (int32_t i = 0; i < kTicks; ++i) {
        renderer.log.clear();
        scene.Render();
    }
    timer.join();
    EXPECT_EQ(scene.GetTickCounter(), 201 + kTicks);
    EXPECT_EQ(scene.GetAnimation()->GetCurrentFrame(), (opened + (201 + kTicks) / 4) % scene.GetAnimation()->GetFrameCount());
}

TEST_F(TunnelTest, MissingTunnelTextureFailsTheLoad) {
    // The generated archive's members, all but "tex\prt.jpg", in a new archive.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
    for (const DemoArchiveMember& catalogued : kDemoArchiveMembers) {
        const std::string name = catalogued.name;
        if (name == "tex\\prt.jpg") {
            continue;
        }
        KVLStream* stream = GetDemoResource(catalogued.id);
        ASSERT_TRUE(stream->OpenRead()) << name;
        std::vector<uint8_t> bytes(static_cast<size_t>(stream->GetLength()));
        ASSERT_EQ(stream->Read(bytes.data(), static_cast<int32_t>(bytes.size())), static_cast<int32_t>(bytes.size()));
        stream->Close();
        members.emplace_back(name, std::move(bytes));
    }
    ASSERT_EQ(members.size(), kDemoArchiveMemberCount - 1);
    testsupport::TempDir dir;
    const std::string archive = dir.file("no-prt.pak");
    apptest::WriteArchive(archive, members);
    SetDemoArchivePath(KVLString(archive.c_str()));

    TunnelScene scene(&renderer, &renderVisitor, &tickVisitor);
    KVLString error;
    EXPECT_FALSE(scene.Load(&error));
    EXPECT_STREQ(error.c_str(), "Couldn't read texture Tunnel");
}

}  // namespace
