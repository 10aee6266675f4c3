// ZRNMeshReaderMD3: surfaces and tags of hand-built files, rejection of damaged files
// (the caller's lists stay untouched), and the models of OpenArena's pak0.pk3
// compared against a separate parse that follows the header's block offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/kvl_memorystream.h"
#include "model_bytes.h"
#include "scene/readers/zrn_meshreadermd3.h"
#include "support/test_support.h"

using namespace modelbytes;

namespace {

// Owns what the reader appended.
struct Lists {
    KVLArray<ZRNMesh*> surfaces;
    KVLArray<ZRNJointTrack*> tags;
    ~Lists() {
        for (ZRNMesh* m : surfaces) {
            delete m;
        }
        for (ZRNJointTrack* t : tags) {
            delete t;
        }
    }
};

ZRNMesh* ReadAll(const std::vector<uint8_t>& bytes, Lists& lists, bool withTags = true) {
    KVLMemoryStream stream(bytes.data(), bytes.size());
    ZRNMeshReaderMD3 reader;
    ZRNMesh* first = reader.ReadAll(stream, &lists.surfaces, withTags ? &lists.tags : nullptr);
    EXPECT_FALSE(stream.IsOpen());
    return first;
}

std::unique_ptr<ZRNMesh> ReadFirst(const std::vector<uint8_t>& bytes) {
    KVLMemoryStream stream(bytes.data(), bytes.size());
    ZRNMeshReaderMD3 reader;
    return reader.ReadStream(stream, -1, 0);
}

// Two frames, three tags, two surfaces (the second with three frames of its own).
Md3Model Small() {
    Md3Model m;
    m.frameCount = 2;
    for (int f = 0; f < 2; ++f) {
        std::vector<Md3Tag> tags;
        for (int i = 0; i < 3; ++i) {
            Md3Tag t;
            t.name = "tag_" + std::to_string(i);
            t.origin = {32.0f * i, -64.0f * f, 16.0f};
            t.axes = {0, 1, 0, -1, 0, 0, 0, 0, 1};
            t.axes[8] = 1.0f + static_cast<float>(f);
            tags.push_back(t);
        }
        m.tags.push_back(tags);
    }
    Md3Surface a;
    a.name = "h_head";
    a.vertices = {{{2048, -1024, 0}, {0, 2048, 0}, {0, 0, 2048}, {64, 128, -32768}},
                  {{4096, 0, 0}, {0, 4096, 0}, {0, 0, 4096}, {1, 1, 1}}};
    a.texCoords = {{0, 0}, {1, 0}, {0.5f, 1}, {0.25f, 0.75f}};
    a.triangles = {{0, 1, 2}, {0, 2, 3}};
    Md3Surface b;
    b.name = "u_torso";
    b.vertices = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
                  {{-1, -2, -3}, {-4, -5, -6}, {-7, -8, -9}}};
    b.texCoords = {{0, 0}, {0, 1}, {1, 1}};
    b.triangles = {{2, 1, 0}};
    m.surfaces = {a, b};
    return m;
}

TEST(MD3, Registration) {
    const KVLClassInfo* md3 = KVLClassInfo::FindClass("ZRNMeshReaderMD3");
    ASSERT_NE(md3, nullptr);
    EXPECT_EQ(md3->GetParent(), KVLClassInfo::FindClass("ZRNMeshReader"));
    EXPECT_FALSE(md3->IsAbstract());
    ZRNMeshReaderMD3 reader;
    EXPECT_TRUE(reader.CanRead("md3"));
    EXPECT_TRUE(reader.CanRead("MD3"));
    EXPECT_FALSE(reader.CanRead("md2"));
    std::unique_ptr<ZRNMeshReader> found = ZRNMeshReader::CreateFor("Md3");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetClass(), md3);
}

TEST(MD3, SurfacesAndTags) {
    Lists lists;
    ZRNMesh* first = ReadAll(Small().Bytes(), lists);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(lists.surfaces.GetCount(), 2);
    EXPECT_EQ(first, lists.surfaces[0]);

    const ZRNMesh& a = *lists.surfaces[0];
    EXPECT_STREQ(a.GetName().c_str(), "h_head");
    EXPECT_EQ(a.GetFrameCount(), 2);
    EXPECT_EQ(a.GetVertexCount(), 4);
    EXPECT_EQ(a.GetFaceCount(), 2);
    EXPECT_EQ(a.GetTexCoordCount(), 4);
    EXPECT_EQ(a.GetVertices(0)[0], KVLVector3(1.0f, -0.5f, 0.0f));
    EXPECT_EQ(a.GetVertices(0)[3], KVLVector3(0.03125f, 0.0625f, -16.0f));
    EXPECT_EQ(a.GetVertices(1)[0], KVLVector3(2.0f, 0, 0));
    EXPECT_EQ(a.GetTexCoords()[3].u, 0.25f);
    EXPECT_EQ(a.GetTexCoords()[3].v, 0.75f);
    const ZRNFace& f = a.GetFaces()[1];  // winding kept, texture indices = vertex indices
    EXPECT_EQ(f.v[0], 0);
    EXPECT_EQ(f.v[1], 2);
    EXPECT_EQ(f.v[2], 3);
    EXPECT_EQ(f.v[3], kZRNNoIndex);
    EXPECT_EQ(f.t[2], 3);
    EXPECT_EQ(f.t[3], kZRNNoIndex);
    // Winding kept: (P1 - P0) x (P2 - P1) of the file's order is (1.5, 1, 1).
    const float len = std::sqrt(4.25f);
    const KVLVector3 n = a.GetFaceNormals(0)[0];
    EXPECT_NEAR(n.x, 1.5f / len, 1e-6f);
    EXPECT_NEAR(n.y, 1.0f / len, 1e-6f);
    EXPECT_NEAR(n.z, 1.0f / len, 1e-6f);

    const ZRNMesh& b = *lists.surfaces[1];
    EXPECT_STREQ(b.GetName().c_str(), "u_torso");
    EXPECT_EQ(b.GetFrameCount(), 3);
    EXPECT_EQ(b.GetVertices(2)[2], KVLVector3(-7.0f / 2048, -8.0f / 2048, -9.0f / 2048));
    EXPECT_EQ(b.GetFaces()[0].v[0], 2);

    ASSERT_EQ(lists.tags.GetCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const ZRNJointTrack& t = *lists.tags[i];
        EXPECT_STREQ(t.name.c_str(), ("tag_" + std::to_string(i)).c_str());
        ASSERT_EQ(t.origins.GetCount(), 2);
        ASSERT_EQ(t.axes.GetCount(), 2);
        for (int fr = 0; fr < 2; ++fr) {
            EXPECT_EQ(t.origins[fr], KVLVector3(1.0f * i, -2.0f * fr, 0.5f));
            const float want[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1.0f + fr, 0, 0, 0};
            for (int k = 0; k < 12; ++k) {
                EXPECT_EQ(t.axes[fr].m[k], want[k]);
            }
        }
    }
}

TEST(MD3, FirstSurfaceAndNoTags) {
    auto mesh = ReadFirst(Small().Bytes());
    ASSERT_NE(mesh, nullptr);
    EXPECT_STREQ(mesh->GetName().c_str(), "h_head");

    Md3Model noTags = Small();
    noTags.tags.clear();
    Lists lists;
    ASSERT_NE(ReadAll(noTags.Bytes(), lists), nullptr);
    EXPECT_EQ(lists.tags.GetCount(), 0);
    EXPECT_EQ(lists.surfaces.GetCount(), 2);
    EXPECT_NE(ReadFirst(noTags.Bytes()), nullptr);
}

TEST(MD3, AppendsAfterExistingEntries) {
    Lists lists;
    ASSERT_NE(ReadAll(Small().Bytes(), lists), nullptr);
    ZRNMesh* second = ReadAll(Small().Bytes(), lists);
    ASSERT_EQ(lists.surfaces.GetCount(), 4);
    EXPECT_EQ(lists.tags.GetCount(), 6);
    // The result is the first surface of this read, not the list's first entry.
    EXPECT_EQ(second, lists.surfaces[2]);
}

TEST(MD3, RejectsDamagedFiles) {
    const std::vector<uint8_t> good = Small().Bytes();
    const size_t surf0 = 108 + 2 * 56 + 2 * 3 * 112;
    const size_t surf1 = surf0 + static_cast<size_t>(GetS32(good, surf0 + md3::kSurfEnd));
    using Patch = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* name;
        Patch patch;
    };
    const Case cases[] = {
        {"one byte longer than the end offset", [](auto& b) { b.push_back(0); }},
        {"end offset one short", [](auto& b) { PutS32(b, md3::kEnd, GetS32(b, md3::kEnd) - 1); }},
        {"short header", [](auto& b) { b.resize(100); }},
        {"wrong ident", [](auto& b) { b[0] = 'X'; }},
        {"tags past the end", [](auto& b) { PutS32(b, md3::kTagCount, 100); }},
        {"negative tag count", [](auto& b) { PutS32(b, md3::kTagCount, -1); }},
        {"no frames", [](auto& b) { PutS32(b, md3::kFrameCount, 0); }},
        {"too many frames", [](auto& b) { PutS32(b, md3::kFrameCount, 4097); }},
        {"more surfaces than stored", [](auto& b) { PutS32(b, md3::kSurfaceCount, 3); }},
        {"triangle index at the vertex count",
         [surf0](auto& b) { PutS32(b, surf0 + GetS32(b, surf0 + md3::kSurfTriOffset) + 4, 4); }},
        {"triangle index above 65535",
         [surf0](auto& b) { PutS32(b, surf0 + GetS32(b, surf0 + md3::kSurfTriOffset), 65536); }},
        {"negative triangle index",
         [surf0](auto& b) { PutS32(b, surf0 + GetS32(b, surf0 + md3::kSurfTriOffset), -1); }},
        {"surface vertices past the end", [surf1](auto& b) { PutS32(b, surf1 + md3::kSurfVertices, 1000); }},
        {"absurd vertex count", [surf0](auto& b) { PutS32(b, surf0 + md3::kSurfVertices, (1 << 20) + 1); }},
        {"absurd triangle count", [surf0](auto& b) { PutS32(b, surf0 + md3::kSurfTriangles, (1 << 20) + 1); }},
        {"surface without frames", [surf1](auto& b) { PutS32(b, surf1 + md3::kSurfFrames, 0); }},
        {"surface frames past the end", [surf1](auto& b) { PutS32(b, surf1 + md3::kSurfFrames, 4); }},
        {"negative vertex offset", [surf0](auto& b) { PutS32(b, surf0 + md3::kSurfVertOffset, -8); }},
        {"texture offset past the end", [surf1](auto& b) { PutS32(b, surf1 + md3::kSurfTexOffset, 1 << 30); }},
        {"surface end past the file", [surf0](auto& b) { PutS32(b, surf0 + md3::kSurfEnd, 1 << 30); }},
        {"surface end inside its header", [surf0](auto& b) { PutS32(b, surf0 + md3::kSurfEnd, 0); }},
    };
    {
        Lists lists;
        ASSERT_NE(ReadAll(good, lists), nullptr);
    }
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.patch(bytes);
        Lists lists;
        EXPECT_EQ(ReadAll(bytes, lists), nullptr) << c.name;
        EXPECT_EQ(lists.surfaces.GetCount(), 0) << c.name;
        EXPECT_EQ(lists.tags.GetCount(), 0) << c.name;
    }
    // A model of tags only: null, tags appended; without a surface list, a failure.
    std::vector<uint8_t> tagsOnly = good;
    PutS32(tagsOnly, md3::kSurfaceCount, 0);
    {
        Lists lists;
        EXPECT_EQ(ReadAll(tagsOnly, lists), nullptr);
        EXPECT_EQ(lists.surfaces.GetCount(), 0);
        EXPECT_EQ(lists.tags.GetCount(), 3);
    }
    EXPECT_EQ(ReadFirst(tagsOnly), nullptr);
    // Without a surface list only the first surface is read, so damage confined to
    // the second one goes unnoticed there.
    std::vector<uint8_t> second = good;
    PutS32(second, surf1 + md3::kSurfVertices, 1000);
    EXPECT_NE(ReadFirst(second), nullptr);
    std::vector<uint8_t> first = good;
    PutS32(first, surf0 + GetS32(first, surf0 + md3::kSurfTriOffset), 65536);
    EXPECT_EQ(ReadFirst(first), nullptr);
}

// A separate reading of an MD3 file that follows the header's block offsets (the
// reader under test walks the blocks in sequence instead).
struct ParsedMd3 {
    std::vector<uint8_t> b;
    explicit ParsedMd3(std::vector<uint8_t> bytes) : b(std::move(bytes)) {}
    int32_t I(size_t at) const {
        int32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }
    float F(size_t at) const {
        float v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }
    int16_t S(size_t at) const {
        int16_t v;
        std::memcpy(&v, b.data() + at, 2);
        return v;
    }
    int32_t Frames() const { return I(76); }
    int32_t Tags() const { return I(80); }
    int32_t Surfaces() const { return I(84); }
    size_t SurfaceStart(int n) const {
        size_t at = static_cast<size_t>(I(100));
        for (int i = 0; i < n; ++i) {
            at += static_cast<size_t>(I(at + 104));
        }
        return at;
    }
    size_t TagAt(int frame, int tag) const {
        return static_cast<size_t>(I(96)) + static_cast<size_t>(frame * Tags() + tag) * 112;
    }
};

// Extracts every MD3 model of OpenArena's base archive into dir; false when the
// archive or the unzip program is missing.
bool ExtractOpenArenaModels(const testsupport::TempDir& dir, std::vector<std::string>& files) {
    // Installed with the game, or unpacked from its package by the test set-up.
    std::string pak = "/usr/share/games/openarena/baseoa/pak0.pk3";
    if (!testsupport::FileExists(pak)) {
        pak = testsupport::TestDataPath("openarena/pak0.pk3");
    }
    if (!testsupport::FileExists(pak) || !testsupport::HaveProgram("unzip")) {
        return false;
    }
    if (testsupport::Run("unzip -q -o " + pak + " '*.md3' -d " + dir.path()) != 0) {
        return false;
    }
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (e.is_regular_file() && e.path().extension() == ".md3") {
            files.push_back(e.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return !files.empty();
}

TEST(MD3, RealModelsFromOpenArena) {
    testsupport::TempDir dir;
    std::vector<std::string> files;
    if (!ExtractOpenArenaModels(dir, files)) {
        ZARNOTH_SKIP_MISSING() << "openarena-data (pak0.pk3) or unzip is not installed";
    }
    int models = 0, vertices = 0, tagsChecked = 0, tagOnly = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const ParsedMd3 want(testsupport::ReadFile(path));
        KVLMemoryStream stream(want.b.data(), want.b.size());
        ZRNMeshReaderMD3 reader;
        Lists lists;
        ZRNMesh* first = reader.ReadAll(stream, &lists.surfaces, &lists.tags);
        // Hand models carry tags only: no mesh, but their tags.
        ASSERT_EQ(first == nullptr, want.Surfaces() == 0);
        tagOnly += want.Surfaces() == 0;
        ASSERT_EQ(lists.surfaces.GetCount(), want.Surfaces());
        ASSERT_EQ(lists.tags.GetCount(), want.Tags());
        for (int s = 0; s < want.Surfaces(); ++s) {
            const size_t at = want.SurfaceStart(s);
            const ZRNMesh& mesh = *lists.surfaces[s];
            const int32_t frames = want.I(at + 72), verts = want.I(at + 80), tris = want.I(at + 84);
            ASSERT_EQ(mesh.GetFrameCount(), frames);
            ASSERT_EQ(mesh.GetVertexCount(), verts);
            ASSERT_EQ(mesh.GetFaceCount(), tris);
            ASSERT_EQ(mesh.GetTexCoordCount(), verts);
            EXPECT_STREQ(mesh.GetName().c_str(), reinterpret_cast<const char*>(want.b.data() + at + 4));
            const size_t vofs = at + static_cast<size_t>(want.I(at + 100));
            for (int f = 0; f < frames; ++f) {
                for (int i = 0; i < verts; ++i) {
                    const size_t v = vofs + (static_cast<size_t>(f) * verts + i) * 8;
                    const KVLVector3 w(want.S(v) / 2048.0f, want.S(v + 2) / 2048.0f, want.S(v + 4) / 2048.0f);
                    ASSERT_EQ(mesh.GetVertices(f)[i], w) << "frame " << f << " vertex " << i;
                    ++vertices;
                }
            }
            const size_t tofs = at + static_cast<size_t>(want.I(at + 88));
            for (int t = 0; t < tris; ++t) {
                for (int k = 0; k < 3; ++k) {
                    ASSERT_EQ(mesh.GetFaces()[t].v[k], want.I(tofs + 12 * t + 4 * k));
                }
            }
            const size_t sofs = at + static_cast<size_t>(want.I(at + 96));
            for (int i = 0; i < verts; ++i) {
                ASSERT_EQ(mesh.GetTexCoords()[i].u, want.F(sofs + 8 * i));
                ASSERT_EQ(mesh.GetTexCoords()[i].v, want.F(sofs + 8 * i + 4));
            }
        }
        for (int t = 0; t < want.Tags(); ++t) {
            const ZRNJointTrack& track = *lists.tags[t];
            EXPECT_STREQ(track.name.c_str(), reinterpret_cast<const char*>(want.b.data() + want.TagAt(0, t)));
            ASSERT_EQ(track.origins.GetCount(), want.Frames());
            for (int f = 0; f < want.Frames(); ++f) {
                const size_t at = want.TagAt(f, t);
                EXPECT_EQ(track.origins[f],
                          KVLVector3(want.F(at + 64) / 32.0f, want.F(at + 68) / 32.0f, want.F(at + 72) / 32.0f));
                for (int k = 0; k < 9; ++k) {
                    EXPECT_EQ(track.axes[f].m[k], want.F(at + 76 + 4 * k));
                }
                ++tagsChecked;
            }
        }
        ++models;
    }
    EXPECT_GT(models, 100);
    EXPECT_GT(tagsChecked, 0);
    std::printf("checked %d MD3 models (%d of tags only), %d vertices, %d tag frames\n", models, tagOnly, vertices,
                tagsChecked);
}

}  // namespace
