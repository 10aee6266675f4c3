// Materials (constructors, image ownership, presets) and the four draw routines,
// run against a sink that records what they would send to GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "scene/zrn_material.h"
#include "scene/internal/zrn_meshdraw.h"

namespace {

std::unique_ptr<KVLImage> Picture(int32_t w, int32_t h, uint32_t seed) {
    std::unique_ptr<KVLImage> image = KVLImage::Create(w, h);
    for (int32_t i = 0; i < w * h; ++i) {
        image->pixels[i] = seed * 2654435761u + static_cast<uint32_t>(i);
    }
    return image;
}

TEST(Material, ColourConstructorScalesTheColour) {
    ZRNMaterial m("m", 1, true, KVLVector3(0.5f, 1.0f, 0.25f), 0.2f, 0.8f, 0.7f, 12, true, 0.4f);
    EXPECT_FLOAT_EQ(m.ambient[0], 0.1f);
    EXPECT_FLOAT_EQ(m.ambient[1], 0.2f);
    EXPECT_FLOAT_EQ(m.diffuse[2], 0.2f);
    EXPECT_EQ(m.GetImage(), nullptr);
    EXPECT_FALSE(m.IsSharedImage());
    EXPECT_TRUE(m.cull);
    EXPECT_EQ(m.shininess, 12);
}

TEST(Material, PresetsAndTexturedDefaults) {
    const ZRNMaterial& red = ZRNRedPlastic();
    EXPECT_EQ(red.name, "Red Plastic");
    EXPECT_EQ(red.kind, 3);
    EXPECT_FLOAT_EQ(red.ambient[0], 0.2f);
    EXPECT_FLOAT_EQ(red.diffuse[0], 0.8f);
    EXPECT_EQ(red.shininess, 20);
    const ZRNMaterial& green = ZRNGreenPlastic();
    EXPECT_EQ(green.name, "Green Plastic");
    EXPECT_EQ(green.kind, 2);
    EXPECT_FLOAT_EQ(green.diffuse[1], 0.8f);
    EXPECT_FLOAT_EQ(green.diffuse[0], 0.0f);

    auto pic = Picture(2, 2, 1);
    ZRNMaterial t("t", 6, false, pic.get());
    EXPECT_FLOAT_EQ(t.ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(t.diffuse[1], 0.9f);
    EXPECT_EQ(t.shininess, 30);
    EXPECT_FLOAT_EQ(t.alpha, 0.0f);
    EXPECT_FALSE(t.blend);
}

TEST(Material, ImageOwnership) {
    auto pic = Picture(3, 2, 7);
    auto owned = std::make_unique<ZRNMaterial>("owned", 5, false, pic.get());
    ASSERT_NE(owned->GetImage(), nullptr);
    EXPECT_NE(owned->GetImage(), pic.get());
    EXPECT_EQ(0, std::memcmp(owned->GetImage()->pixels, pic->pixels, 6 * 4));

    ZRNMaterial copy(*owned);
    const KVLImage* copied = copy.GetImage();
    EXPECT_NE(copied, owned->GetImage());
    owned.reset();
    EXPECT_EQ(copied->width, 3);
    EXPECT_EQ(0, std::memcmp(copied->pixels, pic->pixels, 6 * 4));

    {
        ZRNMaterial shared("shared", 4, false, pic.get(), true);
        EXPECT_EQ(shared.GetImage(), pic.get());
        ZRNMaterial again(shared);
        EXPECT_EQ(again.GetImage(), pic.get());
        EXPECT_TRUE(again.IsSharedImage());
    }
    EXPECT_EQ(pic->pixels[5], 7u * 2654435761u + 5u);  // still there, untouched
}

// Records the calls of a draw routine as letters: N normal, T texture coordinate,
// V vertex, with the vertex's x for V.
struct LetterSink {
    std::string calls;
    void Normal(const float*) { calls += 'N'; }
    void TexCoord(const float*) { calls += 'T'; }
    void Vertex(const float* v) { calls += 'V' + std::to_string(static_cast<int>(v[0])); }
};

// A quad 0-1-2-3 and a triangle 1-2-4; vertex i sits at x = i.
std::unique_ptr<ZRNMesh> QuadAndTriangle() {
    auto m = std::make_unique<ZRNMesh>();
    m->SetFrameCount(1);
    const KVLVector3 pts[] = {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {3, 1, 0}, {4, 0, 1}};
    for (const KVLVector3& p : pts) {
        m->AddVertex(p, 0);
        m->AddTexCoord(p.x, p.y);
    }
    m->AddFace(0, 1, 2, 3, 0, 1, 2, 3);
    m->AddFace(1, 2, 4, kZRNNoIndex, 1, 2, 4, kZRNNoIndex);
    m->ComputeNormals();
    return m;
}

TEST(DrawRoutines, EmitTablePerKind) {
    struct Case {
        int32_t kind;
        const char* calls;
    };
    const Case cases[] = {
        {0, "NV0V1V2NV0V2V3NV1V2V4"},
        {7, "NV0V1V2NV0V2V3NV1V2V4"},
        {3, "NV0NV1NV2NV0NV2NV3NV1NV2NV4"},
        {9, "NV0NV1NV2NV0NV2NV3NV1NV2NV4"},
        {8, "NV0NV1NV2NV0NV2NV3NV1NV2NV4"},
        {4, "NTV0TV1TV2NTV0TV2TV3NTV1TV2TV4"},
        {5, "NTV0TV1TV2NTV0TV2TV3NTV1TV2TV4"},
        {6, "TNV0TNV1TNV2TNV0TNV2TNV3TNV1TNV2TNV4"},
    };
    auto mesh = QuadAndTriangle();
    for (const Case& c : cases) {
        LetterSink sink;
        ZRNDrawMeshWith(ZRNRoutineForKind(c.kind), *mesh, sink);
        EXPECT_EQ(sink.calls, c.calls) << "kind " << c.kind;
    }
}

// Faces that point outside the mesh's lists are skipped, the rest still drawn.
TEST(DrawRoutines, OutOfRangeIndicesSkipTheFace) {
    auto mesh = QuadAndTriangle();
    mesh->AddFace(0, 1, 40, kZRNNoIndex, 0, 1, 2, kZRNNoIndex);
    mesh->AddFace(0, 1, 2, kZRNNoIndex, 0, 1, 99, kZRNNoIndex);
    mesh->ComputeNormals();
    LetterSink flat;
    ZRNDrawMeshWith(ZRNDrawRoutine::Flat, *mesh, flat);
    EXPECT_EQ(flat.calls, "NV0V1V2NV0V2V3NV1V2V4NV0V1V2");
    LetterSink textured;
    ZRNDrawMeshWith(ZRNDrawRoutine::TexturedSmooth, *mesh, textured);
    EXPECT_EQ(textured.calls, "TNV0TNV1TNV2TNV0TNV2TNV3TNV1TNV2TNV4");
}

// The arrays hold, at each corner of the triangles, the corner's position, the face's
// normal (flat routines) or the vertex's (smooth ones) and the corner's texture
// coordinate (textured routines).
TEST(DrawRoutines, ArraysHoldEachCornersData) {
    struct Corner {
        int32_t face;
        uint16_t v;
        uint16_t t;
    };
    // The quad 0-1-2-3 as 0-1-2 and 0-2-3, then the triangle 1-2-4.
    const Corner corners[] = {{0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {0, 0, 0}, {0, 2, 2},
                              {0, 3, 3}, {1, 1, 1}, {1, 2, 2}, {1, 4, 4}};
    auto mesh = QuadAndTriangle();
    const KVLArray<KVLVector3>& vertices = mesh->GetVertices(0);
    const KVLArray<KVLVector3>& vertexNormals = mesh->GetVertexNormals(0);
    const KVLArray<KVLVector3>& faceNormals = mesh->GetFaceNormals(0);
    ZRNMeshArrays arrays;
    for (ZRNDrawRoutine r : {ZRNDrawRoutine::Flat, ZRNDrawRoutine::Smooth, ZRNDrawRoutine::TexturedFlat,
                             ZRNDrawRoutine::TexturedSmooth}) {
        SCOPED_TRACE(static_cast<int>(r));
        ZRNBuildMeshArrays(r, *mesh, arrays);
        const bool textured = r == ZRNDrawRoutine::TexturedFlat || r == ZRNDrawRoutine::TexturedSmooth;
        const bool flat = r == ZRNDrawRoutine::Flat || r == ZRNDrawRoutine::TexturedFlat;
        ASSERT_EQ(arrays.GetCornerCount(), 9);
        ASSERT_EQ(arrays.texCoords.size(), textured ? 18u : 0u);
        for (size_t i = 0; i < std::size(corners); ++i) {
            const Corner& c = corners[i];
            const KVLVector3& p = vertices[c.v];
            const KVLVector3& n = flat ? faceNormals[c.face] : vertexNormals[c.v];
            EXPECT_EQ(std::vector<float>(&arrays.positions[i * 3], &arrays.positions[i * 3] + 3),
                      (std::vector<float>{p.x, p.y, p.z})) << i;
            EXPECT_EQ(std::vector<float>(&arrays.normals[i * 3], &arrays.normals[i * 3] + 3),
                      (std::vector<float>{n.x, n.y, n.z})) << i;
            if (textured) {
                const ZRNTexCoord& t = mesh->GetTexCoords()[c.t];
                EXPECT_EQ(arrays.texCoords[i * 2], t.u) << i;
                EXPECT_EQ(arrays.texCoords[i * 2 + 1], t.v) << i;
            }
        }
    }
}

// A blended pose laid out straight into arrays gives the arrays of FrameAt's mesh; the
// arrays a mesh keeps are rebuilt once it changes. One scratch serves every case, as a
// renderer reuses it from mesh to mesh.
TEST(DrawRoutines, PoseAndKeptArraysFollowTheMesh) {
    auto grid = ZRNMesh::MakeGrid(2.0f, 2.0f, 3);
    auto small = QuadAndTriangle();
    ZRNMeshArrays scratch;
    ZRNMeshArrays fresh;
    ZRNMeshFrame pose;
    for (ZRNDrawRoutine r : {ZRNDrawRoutine::Flat, ZRNDrawRoutine::Smooth, ZRNDrawRoutine::TexturedFlat,
                             ZRNDrawRoutine::TexturedSmooth}) {
        SCOPED_TRACE(static_cast<int>(r));
        for (const ZRNFrameTime& t : {ZRNFrameTime(0, 1, 0.5f), ZRNFrameTime(1, 0, 0.25f)}) {
            ASSERT_TRUE(grid->BlendFrame(t, pose));
            ZRNBuildMeshArrays(r, *grid, pose, scratch);
            ZRNBuildMeshArrays(r, *grid->FrameAt(t), fresh);
            EXPECT_EQ(scratch.positions, fresh.positions);
            EXPECT_EQ(scratch.normals, fresh.normals);
            EXPECT_EQ(scratch.texCoords, fresh.texCoords);
        }
        ZRNBuildMeshArrays(r, *small, scratch);
        EXPECT_EQ(scratch.GetCornerCount(), 9);

        const ZRNMeshArrays before = grid->GetArrays(r);
        // Kept while the mesh is unchanged: asking again builds nothing afresh, so a
        // mark left in them stays.
        auto& kept = const_cast<ZRNMeshArrays&>(grid->GetArrays(r));
        kept.positions[0] = 1234.0f;
        EXPECT_EQ(grid->GetArrays(r).positions[0], 1234.0f);
        kept.positions[0] = before.positions[0];
        const uint64_t version = grid->GetVersion();
        grid->FlipFaces();
        EXPECT_NE(grid->GetVersion(), version);
        ZRNBuildMeshArrays(r, *grid, fresh);
        EXPECT_EQ(grid->GetArrays(r).positions, fresh.positions);
        EXPECT_EQ(grid->GetArrays(r).normals, fresh.normals);
        EXPECT_NE(grid->GetArrays(r).positions, before.positions);
        grid->FlipFaces();
    }
    EXPECT_FALSE(grid->BlendFrame({0, 1, 0.0f}, pose));
    EXPECT_FALSE(grid->BlendFrame({0, 7, 0.5f}, pose));
}

}  // namespace
