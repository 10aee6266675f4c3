// ZRNMesh: normals (degenerate faces, unused vertices, quads), frame blending and
// its null cases, face flipping, the grid builder.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/zrn_mesh.h"

namespace {

void ExpectVec(const KVLVector3& got, const KVLVector3& want, float tol = 1e-6f) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// Two frames of a unit square in z = 0 (frame 1 lifted by 2 in z and stretched by 2
// in x), split into two triangles, plus an unused vertex and a degenerate face.
std::unique_ptr<ZRNMesh> Square() {
    auto m = std::make_unique<ZRNMesh>();
    m->SetFrameCount(2);
    const KVLVector3 pts[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {5, 5, 5}};
    for (const KVLVector3& p : pts) {
        m->AddVertex(p, 0);
        m->AddVertex({p.x * 2, p.y, p.z + 2}, 1);
        m->AddTexCoord(p.x, p.y);
    }
    m->AddFace(0, 1, 2, kZRNNoIndex, 0, 1, 2, kZRNNoIndex);
    m->AddFace(0, 2, 3, kZRNNoIndex, 0, 2, 3, kZRNNoIndex);
    m->AddFace(1, 1, 1, kZRNNoIndex, 1, 1, 1, kZRNNoIndex);  // three equal points
    m->ComputeNormals();
    return m;
}

TEST(Mesh, CountsAndLists) {
    auto m = Square();
    EXPECT_EQ(m->GetFrameCount(), 2);
    EXPECT_EQ(m->GetVertexCount(), 5);
    EXPECT_EQ(m->GetFaceCount(), 3);
    EXPECT_EQ(m->GetTexCoordCount(), 5);
    EXPECT_EQ(m->GetVertices(1).GetCount(), 5);
    EXPECT_EQ(m->GetVertices(2).GetCount(), 0);  // no such frame
    m->AddVertex({1, 1, 1}, 7);                  // ignored, no such frame
    EXPECT_EQ(m->GetVertexCount(), 5);
    m->SetFaceTexCoords(1, 4, 3, 2);
    const ZRNFace& f = m->GetFaces()[1];
    EXPECT_EQ(f.t[0], 4);
    EXPECT_EQ(f.t[2], 2);
    EXPECT_EQ(f.t[3], kZRNNoIndex);
    m->SetFrameCount(1);
    EXPECT_EQ(m->GetFrameCount(), 1);
    EXPECT_EQ(m->GetVertices(1).GetCount(), 0);
}

TEST(Mesh, Normals) {
    auto m = Square();
    const auto& fn = m->GetFaceNormals(0);
    const auto& vn = m->GetVertexNormals(0);
    ASSERT_EQ(fn.GetCount(), 3);
    ASSERT_EQ(vn.GetCount(), 5);
    // (P1 - P0) x (P2 - P1) for counter-clockwise faces seen from +z points to +z.
    ExpectVec(fn[0], {0, 0, 1});
    ExpectVec(fn[1], {0, 0, 1});
    EXPECT_EQ(fn[2], KVLVector3::Zero);  // degenerate
    for (int i = 0; i < 4; ++i) {
        ExpectVec(vn[i], {0, 0, 1});
    }
    EXPECT_EQ(vn[4], KVLVector3::Zero);  // used by no face

    // Frame 1 is stretched and lifted: still flat, still +z.
    ExpectVec(m->GetFaceNormals(1)[0], {0, 0, 1});
}

TEST(Mesh, VertexNormalsAverageFaces) {
    // Two faces meeting at a right angle along the x axis.
    ZRNMesh m;
    m.SetFrameCount(1);
    for (const KVLVector3& p : {KVLVector3{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}}) {
        m.AddVertex(p, 0);
    }
    m.AddFace(0, 1, 2, kZRNNoIndex, 0, 0, 0, kZRNNoIndex);  // normal +z
    m.AddFace(0, 1, 3, kZRNNoIndex, 0, 0, 0, kZRNNoIndex);  // normal +y
    m.ComputeNormals();
    ExpectVec(m.GetFaceNormals(0)[0], {0, 0, 1});
    ExpectVec(m.GetFaceNormals(0)[1], {0, 1, 0});
    const float h = std::sqrt(0.5f);
    ExpectVec(m.GetVertexNormals(0)[0], {0, h, h});
    ExpectVec(m.GetVertexNormals(0)[1], {0, h, h});
    ExpectVec(m.GetVertexNormals(0)[2], {0, 0, 1});
    ExpectVec(m.GetVertexNormals(0)[3], {0, 1, 0});
}

TEST(Mesh, QuadNormalsReachTheFourthVertex) {
    ZRNMesh m;
    m.SetFrameCount(1);
    for (const KVLVector3& p : {KVLVector3{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}) {
        m.AddVertex(p, 0);
    }
    m.AddFace(0, 1, 2, 3, 0, 1, 2, 3);
    m.ComputeNormals();
    for (int i = 0; i < 4; ++i) {
        ExpectVec(m.GetVertexNormals(0)[i], {0, 1, 0});
    }
}

TEST(Mesh, FrameAt) {
    auto m = Square();
    struct Case {
        const char* name;
        ZRNFrameTime t;
        bool null;
    };
    const Case cases[] = {
        {"frame 0 exactly", {0, 1, 0.0f}, true},
        {"halfway", {0, 1, 0.5f}, false},
        {"frame 1 to 0", {1, 0, 0.25f}, false},
        {"frame 1 exactly", {1, 1, 0.0f}, false},
        {"frame past the end", {0, 2, 0.5f}, true},
        {"negative frame", {-1, 0, 0.5f}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ZRNMesh> r = m->FrameAt(c.t);
        ASSERT_EQ(r == nullptr, c.null);
        if (!r) {
            continue;
        }
        EXPECT_EQ(r->GetFrameCount(), 1);
        ASSERT_EQ(r->GetVertexCount(), 5);
        EXPECT_EQ(r->GetFaceCount(), 3);
        EXPECT_EQ(r->GetTexCoordCount(), 5);
        for (int j = 0; j < 5; ++j) {
            const KVLVector3 want =
                KVLLerp(m->GetVertices(c.t.frameA)[j], m->GetVertices(c.t.frameB)[j], c.t.fraction);
            EXPECT_EQ(r->GetVertices(0)[j], want) << j;
        }
        EXPECT_EQ(r->GetFaces()[1].v[1], 2);
        EXPECT_EQ(r->GetFaces()[1].t[2], 3);
        EXPECT_EQ(r->GetTexCoords()[2].u, 1.0f);
        ExpectVec(r->GetVertexNormals(0)[0], {0, 0, 1});
        EXPECT_EQ(r->GetVertexNormals(0)[4], KVLVector3::Zero);
    }
    // Halfway is the average of the two frames: vertex 2 (1,1,0) and (2,1,2).
    EXPECT_EQ(m->FrameAt({0, 1, 0.5f})->GetVertices(0)[2], KVLVector3(1.5f, 1, 1));

    ZRNMesh single;
    single.SetFrameCount(1);
    single.AddVertex({1, 2, 3}, 0);
    EXPECT_EQ(single.FrameAt({0, 0, 0.7f}), nullptr);
    EXPECT_EQ(single.FrameAt({5, 9, 0.7f}), nullptr);
}

TEST(Mesh, FlipFacesTwiceRestores) {
    auto m = Square();
    m->AddFace(0, 1, 2, 3, 10, 11, 12, 13);
    m->ComputeNormals();
    const KVLArray<ZRNFace> faces = m->GetFaces();
    const KVLArray<KVLVector3> vn = m->GetVertexNormals(1);
    const KVLArray<KVLVector3> fn = m->GetFaceNormals(0);

    m->FlipFaces();
    const ZRNFace& tri = m->GetFaces()[0];
    EXPECT_EQ(tri.v[0], 2);
    EXPECT_EQ(tri.v[2], 0);
    EXPECT_EQ(tri.t[0], 2);
    EXPECT_EQ(tri.v[3], kZRNNoIndex);
    const ZRNFace& quad = m->GetFaces()[3];
    EXPECT_EQ(quad.v[0], 3);
    EXPECT_EQ(quad.v[1], 2);
    EXPECT_EQ(quad.t[0], 13);
    EXPECT_EQ(quad.t[3], 10);
    ExpectVec(m->GetFaceNormals(0)[0], {0, 0, -1});
    ExpectVec(m->GetVertexNormals(1)[1], {0, 0, -1});

    m->FlipFaces();
    for (int i = 0; i < faces.GetCount(); ++i) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(m->GetFaces()[i].v[k], faces[i].v[k]);
            EXPECT_EQ(m->GetFaces()[i].t[k], faces[i].t[k]);
        }
    }
    for (int i = 0; i < vn.GetCount(); ++i) {
        EXPECT_EQ(m->GetVertexNormals(1)[i], vn[i]);
    }
    for (int i = 0; i < fn.GetCount(); ++i) {
        EXPECT_EQ(m->GetFaceNormals(0)[i], fn[i]);
    }
}

// Frames other than 0 get their normals on request: read before or after FlipFaces
// (once, twice), they are the same, to the bit, as if all had been computed at once
// and then turned (a non-planar quad included, whose turned corners would give
// another face normal).
TEST(Mesh, NormalsOnRequestMatchNormalsComputedAtOnce) {
    for (int flips : {1, 2, 3}) {
        SCOPED_TRACE(flips);
        auto early = Square();
        auto late = Square();
        for (ZRNMesh* m : {early.get(), late.get()}) {
            m->AddVertex({3, 2, 1}, 0);
            m->AddVertex({0.5f, 1, 4}, 1);
            m->AddFace(0, 1, 5, 3, 0, 1, 2, 3);
            m->ComputeNormals();
        }
        const int32_t count = early->GetVertexNormals(1).GetCount();
        EXPECT_EQ(count, 6);
        for (int i = 0; i < flips; ++i) {
            early->FlipFaces();
            late->FlipFaces();
        }
        ASSERT_EQ(late->GetVertexNormals(1).GetCount(), count);
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_EQ(late->GetVertexNormals(1)[i], early->GetVertexNormals(1)[i]) << i;
        }
        ASSERT_EQ(late->GetFaceNormals(1).GetCount(), 4);
        for (int32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(late->GetFaceNormals(1)[i], early->GetFaceNormals(1)[i]) << i;
        }
    }
}

TEST(Mesh, MakeGrid) {
    auto g = ZRNMesh::MakeGrid(2, 2, 1);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetFrameCount(), 2);
    EXPECT_EQ(g->GetVertexCount(), 4);
    EXPECT_EQ(g->GetFaceCount(), 2);
    EXPECT_EQ(g->GetTexCoordCount(), 4);
    const KVLVector3 frame0[] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    const ZRNTexCoord tex[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(g->GetVertices(0)[i], frame0[i]) << i;
        EXPECT_EQ(g->GetVertices(1)[i], frame0[i] + KVLVector3(0, 2, 0)) << i;
        EXPECT_EQ(g->GetTexCoords()[i].u, tex[i].u);
        EXPECT_EQ(g->GetTexCoords()[i].v, tex[i].v);
        ExpectVec(g->GetVertexNormals(0)[i], {0, 0, 1});
    }
    const ZRNFace& f1 = g->GetFaces()[1];
    EXPECT_EQ(f1.v[0], 0);
    EXPECT_EQ(f1.v[1], 2);
    EXPECT_EQ(f1.v[2], 3);
    EXPECT_EQ(f1.t[1], 2);

    // 10 x 10 cells of 20 x 20: cell (row 3, column 7) starts at (-10 + 14, -10 + 6).
    auto big = ZRNMesh::MakeGrid(20, 20, 10);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->GetVertexCount(), 400);
    EXPECT_EQ(big->GetFaceCount(), 200);
    const int k = (3 * 10 + 7) * 4;
    EXPECT_EQ(big->GetVertices(0)[k], KVLVector3(4, -4, 0));
    EXPECT_EQ(big->GetVertices(0)[k + 2], KVLVector3(6, -2, 0));
    EXPECT_EQ(big->GetVertices(1)[k + 2], KVLVector3(6, 0, 0));
    EXPECT_EQ(big->GetFaces()[(3 * 10 + 7) * 2].v[0], k);

    EXPECT_EQ(ZRNMesh::MakeGrid(1, 1, 0), nullptr);
    EXPECT_EQ(ZRNMesh::MakeGrid(1, 1, 128), nullptr);  // 65536 vertices
    EXPECT_NE(ZRNMesh::MakeGrid(1, 1, 127), nullptr);
}

}  // namespace
