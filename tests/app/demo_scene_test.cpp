// The scene base's helpers and the picture scenes, drawn through the recording
// renderer: texture format fallback, materials from the catalogue, MD2 skins, and the
// picture scenes' trees and failure texts.
#include <algorithm>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "app/demo_resources.h"
#include "app/scenes/demo_scene.h"
#include "app/scenes/scene_pictures.h"
#include "app_support.h"
#include "core/kvl_memorystream.h"
#include "scene/recording_renderer.h"

namespace {

using testsupport::TempDir;

// A scene with nothing of its own, to reach the helpers.
class BareScene : public DemoScene {
public:
    BareScene(ZRNRendererInterface* r, ZRNRenderVisitor* rv, ZRNAnimVisitor* tv) : DemoScene(r, rv, tv) {}
    bool Load(KVLString*) override { return true; }
    void Render() override { DrawTree(nullptr); }
    using DemoScene::AddMesh;
};

struct Fixture {
    RecordingRenderer renderer;
    ZRNRenderVisitor renderVisitor{&renderer};
    ZRNTickVisitor tickVisitor{70};
};

TEST(DemoScene, SceneImageFormatsInTurn) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    TempDir dir;
    const struct {
        const char* file;
        const char* spec;
        uint32_t pixel;  // expected top-left pixel
    } cases[] = {
        {"a.jpg", "xc:#ff0000", 0xFFFE0000u},
        {"a.pcx", "xc:#00ff00 -type TrueColor", 0xFF00FF00u},
        {"a.bmp", "xc:#0000ff", 0xFF0000FFu},
        {"a.tga", "xc:#ffff00", 0xFFFFFF00u},
    };
    for (const auto& c : cases) {
        const auto bytes = apptest::MakePicture(dir, c.spec, c.file);
        KVLMemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
        auto image = DemoScene::LoadSceneImage(stream, nullptr);
        ASSERT_NE(image, nullptr) << c.file;
        EXPECT_EQ(image->width, 16) << c.file;
        EXPECT_EQ(image->height, 8) << c.file;
        // JPEG may be off by a little.
        const uint32_t p = image->pixels[0];
        for (int shift = 0; shift < 24; shift += 8) {  // colour only: alpha varies by reader
            EXPECT_NEAR(static_cast<int>((p >> shift) & 255), static_cast<int>((c.pixel >> shift) & 255), 3)
                << c.file;
        }
        EXPECT_FALSE(stream.IsOpen()) << "the stream given is never opened";
    }
    const auto junk = testsupport::PatternBytes(600, 3);
    KVLMemoryStream stream(junk.data(), static_cast<int32_t>(junk.size()));
    EXPECT_EQ(DemoScene::LoadSceneImage(stream, nullptr), nullptr);
    KVLMemoryStream empty(nullptr, 0);
    EXPECT_EQ(DemoScene::LoadSceneImage(empty, nullptr), nullptr);
}

TEST(DemoScene, TexturedMaterialFromCatalogueOrNothing) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    TempDir dir;
    apptest::WriteArchive(dir.file("q.pak"), {{"tex\\f.jpg", apptest::MakePicture(dir, "xc:white", "f.jpg")}});
    apptest::CatalogueAt at(dir.file("q.pak"));
    Fixture f;
    BareScene scene(&f.renderer, &f.renderVisitor, &f.tickVisitor);

    EXPECT_EQ(scene.AddTexturedMaterial(0, KVLString("Missing"), 4, false), nullptr);
    EXPECT_EQ(scene.GetMaterialCount(), 0);
    EXPECT_EQ(scene.AddTexturedMaterial(12345, KVLString("Unknown"), 4, false), nullptr);
    EXPECT_EQ(scene.GetMaterialCount(), 0);

    auto node = scene.AddTexturedMaterial(1, KVLString("Floor"), 4, false);
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(scene.GetMaterialCount(), 1);
    const ZRNMaterial* m = scene.GetMaterial(0);
    EXPECT_EQ(node->GetPayload(), m);
    EXPECT_STREQ(m->name.c_str(), "Floor");
    EXPECT_EQ(m->kind, 4);
    EXPECT_FALSE(m->cull);
    ASSERT_NE(m->GetImage(), nullptr);
    EXPECT_FALSE(m->IsSharedImage());
    EXPECT_EQ(m->GetImage()->width, 16);
}

TEST(DemoScene, TransformsOwnOneKeyTracks) {
    Fixture f;
    BareScene scene(&f.renderer, &f.renderVisitor, &f.tickVisitor);
    const struct {
        int32_t type;
        float x, y, z;
        bool uniform;
    } cases[] = {{0, -0.02f, 0, 0, false}, {1, 2.5f, 2.5f, 2.5f, true}, {2, 3.1415927f, 0, 0, false}};
    for (const auto& c : cases) {
        auto node = c.uniform ? scene.AddUniformTransform(c.type, c.x) : scene.AddTransform(c.type, c.x, c.y, c.z);
        ZRNTransformTrack* t = node->GetPayload();
        EXPECT_EQ(t, scene.GetTrack(scene.GetTrackCount() - 1));
        EXPECT_EQ(t->type, c.type);
        EXPECT_FALSE(t->projection);
        ASSERT_EQ(t->keys.GetCount(), 1);
        EXPECT_EQ(t->keys[0].x, c.x);
        EXPECT_EQ(t->keys[0].y, c.y);
        EXPECT_EQ(t->keys[0].z, c.z);
    }
    EXPECT_EQ(scene.GetTrackCount(), 3);
}

// Real models from the generated archive: skins are told apart by name, the same skin
// twice gives the same name, flip turns the faces, a missing model fails.
TEST(DemoScene, ModelSkinsNamedPerSkinStream) {
    ASSERT_TRUE(testsupport::FileExists(apptest::GeneratedArchive()));
    apptest::CatalogueAt at(apptest::GeneratedArchive());
    Fixture f;
    BareScene scene(&f.renderer, &f.renderVisitor, &f.tickVisitor);

    auto a = scene.LoadModelMD2(GetDemoResource(4), GetDemoResource(5), false, nullptr);
    ASSERT_NE(a, nullptr);
    const int32_t meshes = scene.GetMeshCount();
    ASSERT_GE(meshes, 1);
    ASSERT_EQ(scene.GetMaterialCount(), 1);
    auto b = scene.LoadModelMD2(GetDemoResource(4), GetDemoResource(5), true, nullptr);
    auto c = scene.LoadModelMD2(GetDemoResource(4), GetDemoResource(6), false, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(scene.GetMaterialCount(), 3);
    EXPECT_EQ(scene.GetMaterial(0)->name, scene.GetMaterial(1)->name);
    EXPECT_NE(scene.GetMaterial(0)->name, scene.GetMaterial(2)->name);
    EXPECT_EQ(std::string(scene.GetMaterial(0)->name.c_str()).rfind("Q2Skin ", 0), 0u);

    // The flipped copy has the same triangles with their corners in the other order.
    const ZRNMesh* plain = scene.GetMesh(0);
    const ZRNMesh* flipped = scene.GetMesh(meshes);
    ASSERT_EQ(plain->GetFaces().GetCount(), flipped->GetFaces().GetCount());
    ASSERT_GT(plain->GetFaces().GetCount(), 0);
    EXPECT_NE(std::memcmp(&plain->GetFaces()[0], &flipped->GetFaces()[0], sizeof(plain->GetFaces()[0])),
              0);

    KVLString error;
    EXPECT_EQ(scene.LoadModelMD2(GetDemoResource(99), GetDemoResource(5), false, &error), nullptr);
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_EQ(scene.GetMaterialCount(), 3);
}

TEST(DemoScene, TickCountsAndFrameDrawsTheUsualSteps) {
    Fixture f;
    BareScene scene(&f.renderer, &f.renderVisitor, &f.tickVisitor);
    for (int i = 0; i < 5; ++i) {
        scene.Tick();
    }
    EXPECT_EQ(scene.GetTickCounter(), 5);
    EXPECT_FALSE(scene.IsQuery());
    scene.Render();
    EXPECT_EQ(f.renderer.log, (std::vector<std::string>{"Clear", "Present"}));
    EXPECT_EQ(f.tickVisitor.GetPhase(), 5);
}

TEST(PictureScenes, TreeDrawsThePictureAndMissingTextureNamesIt) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    TempDir dir;
    apptest::WriteArchive(dir.file("q.pak"),
                          {{"tex\\prt.jpg", apptest::MakePicture(dir, "xc:gray", "p.jpg", "64x32")}});
    apptest::CatalogueAt at(dir.file("q.pak"));
    Fixture f;

    ParentalScene parental(&f.renderer, &f.renderVisitor, &f.tickVisitor);
    KVLString error;
    ASSERT_TRUE(parental.Load(&error)) << error.c_str();
    EXPECT_EQ(parental.GetMaterialCount(), 1);
    EXPECT_EQ(parental.GetMeshCount(), 1);
    EXPECT_EQ(parental.GetTrackCount(), 2);
    parental.Render();
    const std::vector<std::string> first = f.renderer.log;
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), "Clear");
    EXPECT_EQ(first.back(), "Present");
    auto has = [&](const std::string& line) { return std::find(first.begin(), first.end(), line) != first.end(); };
    EXPECT_TRUE(has("LookAt (0,0,1) (0,0,0)"));
    EXPECT_TRUE(has("Draw with Parental"));
    EXPECT_FALSE(f.renderer.underflow);
    EXPECT_EQ(f.renderer.projectionDepth, 0);
    EXPECT_EQ(f.renderer.modelviewDepth, 0);
    // Every frame is the same whatever the tick.
    for (int i = 0; i < 100; ++i) {
        parental.Tick();
    }
    f.renderer.log.clear();
    parental.Render();
    EXPECT_EQ(f.renderer.log, first);

    EndSaRaceScene end(&f.renderer, &f.renderVisitor, &f.tickVisitor);
    EXPECT_FALSE(end.Load(&error));
    EXPECT_STREQ(error.c_str(), "Couldn't read texture EndSaRace");
    EXPECT_EQ(end.GetMaterialCount(), 0);
    EXPECT_FALSE(end.Load(nullptr));
}

}  // namespace
