// The room scene: loading from the generated archive, the camera path and the
// character switches between scene ticks 1091 and 1291.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/demo_archive_members.h"
#include "app/demo_resources.h"
#include "app/scenes/scene_room.h"
#include "app_support.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "scene_test_support.h"

namespace {

class RoomTest : public SceneTest {
protected:
    // The time source of every "[Node Mesh] Quake II" node of character i; null when
    // they differ.
    static const ZRNAnimator* CharacterSource(const RoomScene& scene, int32_t i) {
        const ZRNAnimator* found = nullptr;
        bool first = true;
        bool same = true;
        Walk(scene.GetCharacter(i), [&](ZRNNode* node) {
            if (node->GetClass()->IsDerivedFrom(KVLClassInfo::FindClass("ZRNNodeMesh")) &&
                node->GetName() == kZRNQuake2MeshNodeName) {
                same = same && (first || node->TimeSource() == found);
                found = node->TimeSource();
                first = false;
            }
        });
        return same && !first ? found : nullptr;
    }
    template <class F>
    static void Walk(ZRNNode* node, F&& f) {
        f(node);
        for (int32_t i = 0; i < node->GetChildCount(); ++i) {
            Walk(node->GetChild(i), f);
        }
    }
    // Advances the scene's counter to t with ticks and renders one frame there.
    static void RenderAt(RoomScene& scene, int32_t t) {
        while (scene.GetTickCounter() < t) {
            scene.Tick();
        }
        scene.Render();
    }
    // The eye of the last look-at in the log.
    bool LastEye(KVLVector3* eye) const {
        for (auto it = renderer.log.rbegin(); it != renderer.log.rend(); ++it) {
            if (std::sscanf(it->c_str(), "LookAt (%f,%f,%f)", &eye->x, &eye->y, &eye->z) == 3) {
                return true;
            }
        }
        return false;
    }
};

TEST(RoomSwitches, WhichCharacterSwitchesAndHolds) {
    struct Case {
        int32_t t;
        int32_t switching;
        int32_t holding;
    } cases[] = {
        {0, -1, -1},    {1090, -1, -1}, {1091, 0, -1},  {1115, 0, -1}, {1116, 1, 0},
        {1140, 1, 0},   {1141, 2, 1},   {1265, 6, 5},   {1266, 7, 6},   {1290, 7, 6},  {1291, 7, 7},
        {1749, 7, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RoomScene::SwitchingCharacter(c.t), c.switching) << c.t;
        EXPECT_EQ(RoomScene::HoldingCharacter(c.t), c.holding) << c.t;
    }
}

TEST_F(RoomTest, LoadsFromTheArchive) {
    RoomScene scene(&renderer, &renderVisitor, &tickVisitor);
    KVLString error;
    ASSERT_TRUE(scene.Load(&error)) << error.c_str();
    ASSERT_EQ(scene.GetCharacterCount(), RoomScene::kCharacters);
    ASSERT_EQ(scene.GetCameraTrack()->eyes.GetCount(), RoomScene::kCameraKeys);
    EXPECT_EQ(scene.GetCameraAnimator()->Keys().GetCount(), RoomScene::kCameraKeys);
    // Character 2 starts at frame 10: 10 .. 39, 0 .. 9, then 10 again.
    const KVLArray<int32_t>& keys = scene.GetCharacterAnimator(1)->Keys();
    ASSERT_EQ(keys.GetCount(), 41);
    for (int32_t i = 0; i < 41; ++i) {
        EXPECT_EQ(keys[i], (10 + i) % 40) << i;
    }
    EXPECT_EQ(scene.GetSwitchAnimator(0)->Keys().GetCount(), 9);
    EXPECT_EQ(scene.GetSwitchAnimator(0)->Keys()[8], 197);
    // Every character has its own copy of its model's nodes, with its own animator.
    for (int32_t i = 0; i < RoomScene::kCharacters; ++i) {
        EXPECT_EQ(CharacterSource(scene, i), scene.GetCharacterAnimator(i)) << i;
    }
    int skins = 0;
    int walls = 0;
    for (int32_t i = 0; i < scene.GetMaterialCount(); ++i) {
        const std::string name = scene.GetMaterial(i)->name.c_str();
        skins += name.rfind("Q2Skin", 0) == 0 ? 1 : 0;
        walls += name == "Wall1" || name == "Wall2" || name == "Wall3" || name == "Wall4" || name == "Ceilling";
    }
    // Characters of the same model, skin and flip share one mesh and one skin material:
    // the fifteen are eight such models.
    EXPECT_EQ(skins, 8);
    EXPECT_EQ(walls, 5);
}

TEST_F(RoomTest, CameraFollowsItsKeys) {
    RoomScene scene(&renderer, &renderVisitor, &tickVisitor);
    ASSERT_TRUE(scene.Load(nullptr));
    struct Case {
        int32_t t;
        KVLVector3 eye;
    } cases[] = {
        {0, {1.0f, 1.9f, -6.0f}},     // key 0
        {875, {0.0f, 0.25f, -1.25f}},  // halfway between keys 6 and 7
        {1750 * 12 / 13, {0.3f, 1.0f, -0.5f}},  // reaches key 12 (within a tick)
    };
    for (const Case& c : cases) {
        RenderAt(scene, c.t);
        KVLVector3 eye;
        ASSERT_TRUE(LastEye(&eye));
        EXPECT_NEAR(eye.x, c.eye.x, 0.01f) << c.t;
        EXPECT_NEAR(eye.y, c.eye.y, 0.01f) << c.t;
        EXPECT_NEAR(eye.z, c.eye.z, 0.01f) << c.t;
    }
}

TEST_F(RoomTest, CharactersSwitchOneEveryTwentyFiveTicks) {
    RoomScene scene(&renderer, &renderVisitor, &tickVisitor);
    ASSERT_TRUE(scene.Load(nullptr));
    for (int32_t t = 1080; t <= 1300; ++t) {
        RenderAt(scene, t);
        renderer.log.clear();
        renderer.drawn.clear();
        for (int32_t i = 0; i < RoomScene::kCharacters; ++i) {
            const ZRNAnimator* expected = scene.GetCharacterAnimator(i);
            if (i < RoomScene::kSwitchedCharacters && t > 1090 + 25 * i) {
                expected = scene.GetSwitchAnimator(i);
            }
            if (i < RoomScene::kSwitchedCharacters && t > 1115 + 25 * i) {
                expected = scene.GetHoldAnimator();
            }
            ASSERT_EQ(CharacterSource(scene, i), expected) << "character " << i + 1 << " at tick " << t;
        }
    }
}

// The error text of a room loaded from a copy of the generated archive without the
// members whose names start with one of the prefixes.
std::string RoomErrorWithout(const testsupport::TempDir& dir, const std::vector<std::string>& prefixes,
                             ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
    KVLFileStream source(KVLString(apptest::GeneratedArchive().c_str()));
    for (const DemoArchiveMember& m : kDemoArchiveMembers) {
        bool dropped = false;
        for (const std::string& prefix : prefixes) {
            dropped = dropped || std::string(m.name).rfind(prefix, 0) == 0;
        }
        if (dropped) {
            continue;
        }
        KVLPAKStream member(source, KVLString(m.name));
        EXPECT_TRUE(member.OpenRead()) << m.name;
        std::vector<uint8_t> bytes(static_cast<size_t>(member.GetLength()));
        EXPECT_EQ(member.Read(bytes.data(), static_cast<int32_t>(bytes.size())), static_cast<int32_t>(bytes.size()));
        members.emplace_back(m.name, std::move(bytes));
    }
    static int n = 0;
    const std::string path = dir.file("damaged" + std::to_string(n++) + ".pak");
    apptest::WriteArchive(path, members);
    apptest::CatalogueAt at(path);
    RoomScene scene(renderer, renderVisitor, tickVisitor);
    KVLString error;
    EXPECT_FALSE(scene.Load(&error));
    return error.c_str();
}

// With several members missing, the text is the one of the first the room loads:
// backdrop, floor, boxes, then the characters.
TEST_F(RoomTest, LoadsItsPartsInTheRoomsOrder) {
    testsupport::TempDir dir;
    const std::string backdrop = GetDemoResourceName(0);
    const std::string onlyBackdrop = RoomErrorWithout(dir, {backdrop}, &renderer, &renderVisitor, &tickVisitor);
    const std::string onlyModels = RoomErrorWithout(dir, {"md2"}, &renderer, &renderVisitor, &tickVisitor);
    EXPECT_FALSE(onlyBackdrop.empty());
    EXPECT_FALSE(onlyModels.empty());
    EXPECT_NE(onlyBackdrop, onlyModels);
    EXPECT_EQ(RoomErrorWithout(dir, {"md2", backdrop}, &renderer, &renderVisitor, &tickVisitor), onlyBackdrop);
}

}  // namespace
