// The three builders: format fallback on a TGA made by ImageMagick, the shape of the
// trees, repeated builds, the wall box's five or six faces, and the Quake II model
// from Debian's assimp-testmodels with its BMP skin, missing skin and missing mesh.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/kvl_filestream.h"
#include "core/kvl_memorystream.h"
#include "recording_renderer.h"
#include "scene/zrn_builders.h"
#include "scene/zrn_rendervisitor.h"
#include "support/test_support.h"

namespace {

int CountKind(const ZRNNode& node, const KVLClassInfo* info) {
    int n = node.IsKindOf(info) ? 1 : 0;
    for (int32_t i = 0; i < node.GetChildCount(); ++i) {
        n += CountKind(*node.GetChild(i), info);
    }
    return n;
}

int Meshes(const ZRNNode& node) { return CountKind(node, &ZRNNodeMesh::classZRNNodeMesh); }

TEST(Builders, BackgroundFromATgaAfterThreeFailedFormats) {
    if (!testsupport::HaveProgram("convert-im6.q16")) {
        ZARNOTH_SKIP_MISSING() << "ImageMagick (convert) is not installed";
    }
    testsupport::TempDir dir;
    const std::string tga = dir.file("sky.tga");
    ASSERT_EQ(testsupport::Run("convert-im6.q16 -size 4x2 xc:'#2040c0' -type TrueColor " + tga), 0);
    KVLFileStream stream(tga.c_str());
    ZRNBackgroundBuilder builder(&stream, 4.0f, 2.0f, -1.0f);
    KVLString error = "untouched";
    std::unique_ptr<ZRNNode> root = builder.Build(&error);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(root->GetClass(), &ZRNNodeMaterial::classZRNNodeMaterial);
    EXPECT_EQ(Meshes(*root), 8);
    EXPECT_EQ(builder.Tracks().GetCount(), 14);  // 8 translations, 6 rotations
    ASSERT_EQ(builder.Materials().GetCount(), 1);
    const ZRNMaterial* m = builder.Materials()[0];
    EXPECT_EQ(m->name, "Background");
    EXPECT_EQ(m->kind, 4);
    ASSERT_NE(m->GetImage(), nullptr);
    EXPECT_EQ(m->GetImage()->width, 4);
    EXPECT_EQ(m->GetImage()->pixels[0] & 0xFFFFFFu, 0x2040C0u);
    for (const ZRNTransformTrack* t : builder.Tracks()) {
        EXPECT_EQ(t->projection, t->type == ZRNTransformTranslate);
    }

    std::unique_ptr<ZRNNode> again = builder.Build(nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(builder.Tracks().GetCount(), 28);
    EXPECT_EQ(builder.Materials().GetCount(), 2);
    EXPECT_EQ(builder.Meshes().GetCount(), 2);

    ZRNPayloads payloads;
    payloads.Adopt(builder);
    EXPECT_EQ(payloads.tracks.size(), 28u);
    EXPECT_TRUE(builder.Tracks().IsEmpty());
}

TEST(Builders, BackgroundWithoutAPicture) {
    KVLMemoryStream junk(std::make_shared<std::vector<uint8_t>>(testsupport::PatternBytes(300, 5)));
    ZRNBackgroundBuilder builder(&junk, 4.0f, 2.0f, 0.0f);
    KVLString error;
    EXPECT_EQ(builder.Build(&error), nullptr);
    EXPECT_EQ(error, "[INFO] Unable to read Background texture");
    EXPECT_TRUE(builder.Meshes().IsEmpty());
    ZRNBackgroundBuilder none(nullptr, 4.0f, 2.0f, 0.0f);
    EXPECT_EQ(none.Build(nullptr), nullptr);
}

TEST(Builders, WallBoxFacesAndMaterials) {
    ZRNMaterial wall = ZRNGreenPlastic();
    ZRNMaterial lid = ZRNRedPlastic();
    for (bool bottom : {false, true}) {
        ZRNWallBoxBuilder builder(4.0f, 2.0f, 6.0f, &wall, &lid, bottom);
        std::unique_ptr<ZRNNode> root = builder.Build(nullptr);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(Meshes(*root), bottom ? 6 : 5);
        EXPECT_TRUE(builder.Materials().IsEmpty());  // given, not loaded
        ZRNPayloads payloads;
        payloads.Adopt(builder);
        EXPECT_EQ(payloads.meshes.size(), 3u);

        // Walls drawn under the first material, top (and bottom) under the second.
        RecordingRenderer r;
        ZRNRenderVisitor visitor(&r);
        root->Accept(visitor);
        int walls = 0;
        int lids = 0;
        for (const std::string& line : r.log) {
            walls += line == "Draw with Green Plastic";
            lids += line == "Draw with Red Plastic";
        }
        EXPECT_EQ(walls, 4);
        EXPECT_EQ(lids, bottom ? 2 : 1);
        EXPECT_EQ(r.modelviewDepth, 0);
    }
}

TEST(Builders, WallBoxLoadsTwoDistinctTextures) {
    if (!testsupport::HaveProgram("convert-im6.q16")) {
        ZARNOTH_SKIP_MISSING() << "ImageMagick (convert) is not installed";
    }
    testsupport::TempDir dir;
    ASSERT_EQ(testsupport::Run("convert-im6.q16 -size 2x2 xc:red " + dir.file("a.pcx")), 0);
    ASSERT_EQ(testsupport::Run("convert-im6.q16 -size 2x2 xc:blue " + dir.file("b.bmp")), 0);
    KVLFileStream a(dir.file("a.pcx").c_str());
    KVLFileStream b(dir.file("b.bmp").c_str());
    ZRNWallBoxBuilder builder(1, 1, 1, nullptr, nullptr, false);
    builder.SetTextureStreams(&a, &b);
    std::unique_ptr<ZRNNode> root = builder.Build(nullptr);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(builder.Materials().GetCount(), 2);
    EXPECT_NE(builder.Materials()[0]->name, builder.Materials()[1]->name);
    EXPECT_EQ(std::strncmp(builder.Materials()[0]->name.c_str(), "Wall ", 5), 0);
    EXPECT_EQ(builder.Materials()[0]->GetImage()->pixels[0] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(builder.Materials()[1]->GetImage()->pixels[0] & 0xFFFFFFu, 0x0000FFu);
    ZRNPayloads payloads;
    payloads.Adopt(builder);

    ZRNWallBoxBuilder missing(1, 1, 1, nullptr, nullptr, false);
    missing.SetTextureStreams(&a, nullptr);
    KVLString error;
    EXPECT_EQ(missing.Build(&error), nullptr);
    EXPECT_EQ(error, "[INFO] Unable to read Background texture");
}

constexpr const char* kSydney = "/usr/share/assimp/models/MD2/sydney.md2";
constexpr const char* kSydneySkin = "/usr/share/assimp/models/MD2/sydney.bmp";

TEST(Builders, Quake2ModelWithSkinMissingSkinAndMissingMesh) {
    if (!testsupport::FileExists(kSydney)) {
        ZARNOTH_SKIP_MISSING() << "assimp-testmodels is not installed";
    }
    ZRNQuake2Builder builder(nullptr, nullptr);
    builder.SetMeshPath(kSydney);
    builder.SetSkinPath(kSydneySkin);
    KVLString error = "untouched";
    std::unique_ptr<ZRNNode> root = builder.Build(&error);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(error, "untouched");
    ASSERT_EQ(root->GetChildCount(), 1);
    EXPECT_EQ(root->GetChild(0)->GetName(), "[Node Mesh] Quake II");
    EXPECT_EQ(root->GetChild(0)->TimeSource(), nullptr);
    ASSERT_EQ(builder.Materials().GetCount(), 1);
    EXPECT_EQ(builder.Materials()[0]->name, "Q2Skin");
    EXPECT_EQ(builder.Materials()[0]->kind, 6);
    ASSERT_NE(builder.Materials()[0]->GetImage(), nullptr);
    ASSERT_EQ(builder.Meshes().GetCount(), 1);
    EXPECT_GT(builder.Meshes()[0]->GetFrameCount(), 1);
    ZRNPayloads payloads;
    payloads.Adopt(builder);

    ZRNQuake2Builder noSkin(nullptr, nullptr);
    noSkin.SetMeshPath(kSydney);
    noSkin.SetSkinPath("/nonexistent/skin.pcx");
    std::unique_ptr<ZRNNode> red = noSkin.Build(&error);
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(error,
              "[INFO] Unable to read Quake 2 Skin [/nonexistent/skin.pcx]: cannot open '/nonexistent/skin.pcx': "
              "No such file or directory");
    ASSERT_EQ(noSkin.Materials().GetCount(), 1);
    EXPECT_EQ(noSkin.Materials()[0]->name, "Red Plastic");
    EXPECT_EQ(noSkin.Materials()[0]->GetImage(), nullptr);
    payloads.Adopt(noSkin);

    ZRNQuake2Builder noMesh(nullptr, nullptr);
    noMesh.SetMeshPath(kSydneySkin);
    EXPECT_EQ(noMesh.Build(&error), nullptr);
    EXPECT_EQ(std::string(error.c_str()),
              std::string("Unable to read mesh file: ") + kSydneySkin + ": wrong magic number (not this model format)");
    EXPECT_TRUE(noMesh.Meshes().IsEmpty());
}

}  // namespace
