// ZRNMeshReaderMD2: registration, the coordinate mapping and winding on hand-built
// files, rejection of damaged files, and real models from Debian's assimp-testmodels
// compared vertex by vertex against a separate parse written here.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/kvl_filestream.h"
#include "core/kvl_memorystream.h"
#include "model_bytes.h"
#include "scene/readers/zrn_meshreadermd2.h"
#include "support/test_support.h"

using namespace modelbytes;

namespace {

std::unique_ptr<ZRNMesh> Read(const std::vector<uint8_t>& bytes) {
    KVLMemoryStream stream(bytes.data(), bytes.size());
    ZRNMeshReaderMD2 reader;
    std::unique_ptr<ZRNMesh> mesh = reader.ReadStream(stream, -1, 0);
    EXPECT_FALSE(stream.IsOpen());
    return mesh;
}

// Two frames of four vertices, four texture coordinates, two triangles.
Md2Model Small() {
    Md2Model m;
    Md2Frame f0;
    f0.vertices = {{0, 0, 255}, {10, 0, 0}, {0, 20, 0}, {3, 4, 5}};
    Md2Frame f1;
    f1.scale = {0.5f, 2.0f, 0.25f};
    f1.translate = {-8.0f, 16.0f, 4.0f};
    f1.vertices = {{1, 2, 3}, {255, 255, 255}, {0, 0, 0}, {100, 50, 25}};
    m.frames = {f0, f1};
    m.texCoords = {{0, 0}, {32, 16}, {64, 32}, {-16, 8}};
    m.triangles = {{0, 1, 2, 0, 1, 2}, {1, 3, 2, 3, 2, 1}};
    return m;
}

TEST(MD2, Registration) {
    const KVLClassInfo* base = KVLClassInfo::FindClass("ZRNMeshReader");
    const KVLClassInfo* md2 = KVLClassInfo::FindClass("ZRNMeshReaderMD2");
    ASSERT_NE(base, nullptr);
    ASSERT_NE(md2, nullptr);
    EXPECT_TRUE(base->IsAbstract());
    EXPECT_EQ(base->GetParent(), KVLObject::StaticClass());
    EXPECT_EQ(md2->GetParent(), base);
    EXPECT_FALSE(md2->IsAbstract());
    EXPECT_NE(KVLCreateAs<ZRNMeshReaderMD2>(md2), nullptr);

    ZRNMeshReaderMD2 reader;
    for (const char* ext : {"MD2", "md2", "Md2"}) {
        EXPECT_TRUE(reader.CanRead(ext)) << ext;
    }
    for (const char* ext : {".md2", "md3", "", "md22"}) {
        EXPECT_FALSE(reader.CanRead(ext)) << ext;
    }
    std::unique_ptr<ZRNMeshReader> found = ZRNMeshReader::CreateFor("md2");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetClass(), md2);
    EXPECT_EQ(ZRNMeshReader::CreateFor("obj"), nullptr);
}

TEST(MD2, MapsCoordinatesAndReversesWinding) {
    auto mesh = Read(Small().Bytes());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetFrameCount(), 2);
    EXPECT_EQ(mesh->GetVertexCount(), 4);
    EXPECT_EQ(mesh->GetTexCoordCount(), 4);
    EXPECT_EQ(mesh->GetFaceCount(), 2);
    EXPECT_TRUE(mesh->GetName().IsEmpty());

    struct Case {
        int frame, index;
        KVLVector3 want;
    };
    const Case cases[] = {
        {0, 0, {0, 7.96875f, 0}},  // packed (0, 0, 255): z becomes y
        {0, 1, {0.3125f, 0, 0}},
        {0, 2, {0, 0, -0.625f}},   // packed y becomes -z
        {0, 3, {0.09375f, 0.15625f, -0.125f}},
        // (p * scale + translate) / 32 on each axis
        {1, 0, {(1 * 0.5f - 8) / 32, (3 * 0.25f + 4) / 32, -((2 * 2.0f + 16) / 32)}},
        {1, 1, {(255 * 0.5f - 8) / 32, (255 * 0.25f + 4) / 32, -((255 * 2.0f + 16) / 32)}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mesh->GetVertices(c.frame)[c.index], c.want) << c.frame << "/" << c.index;
    }
    const ZRNTexCoord& t3 = mesh->GetTexCoords()[3];
    EXPECT_EQ(t3.u, -0.25f);
    EXPECT_EQ(t3.v, 0.25f);
    EXPECT_EQ(mesh->GetTexCoords()[1].u, 0.5f);

    const ZRNFace& f0 = mesh->GetFaces()[0];  // file (0, 1, 2)
    EXPECT_EQ(f0.v[0], 2);
    EXPECT_EQ(f0.v[1], 1);
    EXPECT_EQ(f0.v[2], 0);
    EXPECT_EQ(f0.v[3], kZRNNoIndex);
    const ZRNFace& f1 = mesh->GetFaces()[1];  // file (1, 3, 2) with (3, 2, 1)
    EXPECT_EQ(f1.v[0], 2);
    EXPECT_EQ(f1.v[2], 1);
    EXPECT_EQ(f1.t[0], 1);
    EXPECT_EQ(f1.t[1], 2);
    EXPECT_EQ(f1.t[2], 3);
    EXPECT_EQ(f1.t[3], kZRNNoIndex);
    // Normals are computed for both frames.
    EXPECT_EQ(mesh->GetFaceNormals(1).GetCount(), 2);
    EXPECT_NEAR(mesh->GetVertexNormals(0)[1].Length(), 1.0f, 1e-6f);
}

TEST(MD2, OneFrameModelIsNeverBlended) {
    Md2Model m = Small();
    m.frames.resize(1);
    auto mesh = Read(m.Bytes());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetFrameCount(), 1);
    EXPECT_EQ(mesh->FrameAt({3, 7, 0.5f}), nullptr);
}

TEST(MD2, RejectsDamagedFiles) {
    using Patch = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* name;
        Patch patch;
    };
    const Case cases[] = {
        {"end offset one past the length", [](auto& b) { PutS32(b, md2::kEnd, GetS32(b, md2::kEnd) + 1); }},
        {"end offset one short", [](auto& b) { PutS32(b, md2::kEnd, GetS32(b, md2::kEnd) - 1); }},
        {"one byte appended", [](auto& b) { b.push_back(0); }},
        {"truncated last frame",
         [](auto& b) {
             b.pop_back();
             PutS32(b, md2::kEnd, static_cast<int32_t>(b.size()));
         }},
        {"short header", [](auto& b) { b.resize(67); }},
        {"empty", [](auto& b) { b.clear(); }},
        {"wrong ident", [](auto& b) { b[3] = '3'; }},
        {"face index at the vertex count", [](auto& b) { PutU16(b, GetS32(b, md2::kTriOffset) + 2, 4); }},
        {"texture index at the count", [](auto& b) { PutU16(b, GetS32(b, md2::kTriOffset) + 18, 4); }},
        {"negative vertex count", [](auto& b) { PutS32(b, md2::kVertexCount, -1); }},
        {"absurd vertex count", [](auto& b) { PutS32(b, md2::kVertexCount, (1 << 20) + 1); }},
        {"absurd triangle count", [](auto& b) { PutS32(b, md2::kTriCount, (1 << 20) + 1); }},
        {"negative texture count", [](auto& b) { PutS32(b, md2::kTexCount, -4); }},
        {"no frames", [](auto& b) { PutS32(b, md2::kFrameCount, 0); }},
        {"too many frames", [](auto& b) { PutS32(b, md2::kFrameCount, 4097); }},
        {"more frames than stored", [](auto& b) { PutS32(b, md2::kFrameCount, 3); }},
        {"triangles past the end", [](auto& b) { PutS32(b, md2::kTriCount, 1000); }},
        {"texture offset past the end", [](auto& b) { PutS32(b, md2::kTexOffset, 100000); }},
        {"negative triangle offset", [](auto& b) { PutS32(b, md2::kTriOffset, -12); }},
        {"frame size below its vertices", [](auto& b) { PutS32(b, md2::kFrameSize, 40 + 4 * 4 - 1); }},
        {"huge frame size", [](auto& b) { PutS32(b, md2::kFrameSize, 0x7FFFFFFF); }},
        {"zero skin width", [](auto& b) { PutS32(b, md2::kSkinWidth, 0); }},
    };
    const std::vector<uint8_t> good = Small().Bytes();
    ASSERT_NE(Read(good), nullptr);
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.patch(bytes);
        EXPECT_EQ(Read(bytes), nullptr) << c.name;
    }
}

TEST(MD2, ReadFileAndMissingFile) {
    testsupport::TempDir dir;
    const std::vector<uint8_t> bytes = Small().Bytes();
    testsupport::WriteFile(dir.file("m.md2"), bytes);
    ZRNMeshReaderMD2 reader;
    auto mesh = reader.ReadFile(dir.file("m.md2").c_str(), -1, 0);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetVertices(0)[0], KVLVector3(0, 7.96875f, 0));
    EXPECT_EQ(reader.ReadFile(dir.file("none.md2").c_str(), -1, 0), nullptr);
}

// A separate, direct reading of an MD2 file: header fields by offset, vertices
// transformed with the documented mapping.
struct ParsedMd2 {
    int32_t skinW, skinH, frameSize, vertices, texCoords, triangles, frames, texOfs, triOfs, frameOfs;
    std::vector<uint8_t> bytes;

    explicit ParsedMd2(std::vector<uint8_t> b) : bytes(std::move(b)) {
        int32_t h[17];
        std::memcpy(h, bytes.data(), sizeof h);
        skinW = h[2];
        skinH = h[3];
        frameSize = h[4];
        vertices = h[6];
        texCoords = h[7];
        triangles = h[8];
        frames = h[10];
        texOfs = h[12];
        triOfs = h[13];
        frameOfs = h[14];
    }
    KVLVector3 Vertex(int frame, int i) const {
        const uint8_t* f = bytes.data() + frameOfs + static_cast<size_t>(frame) * frameSize;
        float st[6];
        std::memcpy(st, f, sizeof st);
        const uint8_t* v = f + 40 + 4 * i;
        return {(v[0] * st[0] + st[3]) / 32.0f, (v[2] * st[2] + st[5]) / 32.0f, -(v[1] * st[1] + st[4]) / 32.0f};
    }
    uint16_t Triangle(int t, int k) const {
        uint16_t v;
        std::memcpy(&v, bytes.data() + triOfs + 12 * t + 2 * k, 2);
        return v;
    }
    int16_t Tex(int t, int k) const {
        int16_t v;
        std::memcpy(&v, bytes.data() + texOfs + 4 * t + 2 * k, 2);
        return v;
    }
};

TEST(MD2, RealModelsFromAssimpTestModels) {
    const char* models[] = {"/usr/share/assimp/models/MD2/sydney.md2", "/usr/share/assimp/models/MD2/faerie.md2"};
    int checked = 0;
    for (const char* path : models) {
        if (!testsupport::FileExists(path)) {
            continue;
        }
        SCOPED_TRACE(path);
        const ParsedMd2 want(testsupport::ReadFile(path));
        ZRNMeshReaderMD2 reader;
        auto mesh = reader.ReadFile(path, -1, 0);
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetFrameCount(), want.frames);
        ASSERT_EQ(mesh->GetVertexCount(), want.vertices);
        ASSERT_EQ(mesh->GetTexCoordCount(), want.texCoords);
        ASSERT_EQ(mesh->GetFaceCount(), want.triangles);
        int mismatches = 0;
        for (int f = 0; f < want.frames; ++f) {
            const KVLArray<KVLVector3>& got = mesh->GetVertices(f);
            ASSERT_EQ(got.GetCount(), want.vertices);
            for (int i = 0; i < want.vertices; ++i) {
                const KVLVector3 w = want.Vertex(f, i);
                // Dividing by 32 and multiplying by 1/32 are the same in binary.
                mismatches += !(got[i] == w);
            }
        }
        EXPECT_EQ(mismatches, 0);
        for (int t = 0; t < want.triangles; ++t) {
            const ZRNFace& face = mesh->GetFaces()[t];
            for (int k = 0; k < 3; ++k) {
                ASSERT_EQ(face.v[k], want.Triangle(t, 2 - k)) << t;
                ASSERT_EQ(face.t[k], want.Triangle(t, 5 - k)) << t;
            }
        }
        for (int t = 0; t < want.texCoords; ++t) {
            EXPECT_EQ(mesh->GetTexCoords()[t].u, static_cast<float>(want.Tex(t, 0)) / want.skinW);
            EXPECT_EQ(mesh->GetTexCoords()[t].v, static_cast<float>(want.Tex(t, 1)) / want.skinH);
        }
        // Blending the real model halfway between two frames.
        auto mid = mesh->FrameAt({10, 11, 0.5f});
        ASSERT_NE(mid, nullptr);
        const KVLVector3 a = want.Vertex(10, 7), b = want.Vertex(11, 7);
        EXPECT_EQ(mid->GetVertices(0)[7], KVLLerp(a, b, 0.5f));
        ++checked;
    }
    if (checked == 0) {
        ZARNOTH_SKIP_MISSING() << "assimp-testmodels is not installed";
    }
}

}  // namespace
