// The GL renderer on a real OpenGL implementation (Mesa's software renderer through
// the offscreen binding, no display needed), checked by reading the picture back:
// material kinds, fog, the texture cache keyed by name, shared-image uploads, texture
// reset, the extra draw passes of the material stack and the resize rules.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/zrn_renderer_offscreen.h"
#include "support/test_support.h"

namespace {

constexpr int32_t kSize = 32;

struct RGB {
    int r, g, b;
};

RGB At(const KVLImage& image, int32_t x, int32_t y) {
    const uint32_t p = image.pixels[y * image.width + x];
    return {static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255), static_cast<int>(p & 255)};
}

std::unique_ptr<KVLImage> Solid(int32_t w, int32_t h, uint32_t argb) {
    std::unique_ptr<KVLImage> image = KVLImage::Create(w, h);
    for (int32_t i = 0; i < w * h; ++i) {
        image->pixels[i] = argb;
    }
    return image;
}

class GLRenderer : public testing::Test {
protected:
    void SetUp() override {
        m_renderer = std::make_unique<ZRNRendererOffscreen>(kSize, kSize);
        if (!m_renderer->Initialise()) {
            ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL (Debian packages libegl-mesa0, libgl1-mesa-dri): "
                         << m_renderer->GetError().c_str();
        }
        m_quad = ZRNMesh::MakeGrid(2.0f, 2.0f, 1);
    }

    // Identity projection and modelview: the grid covers the whole picture.
    void FullScreen() {
        ZRNRenderer& r = *m_renderer;
        r.SetMatrixMode(true);
        r.LoadMatrix(KVLMatrix34::Identity());
        r.SetMatrixMode(false);
        r.LoadMatrix(KVLMatrix34::Identity());
    }

    RGB DrawCentre(const ZRNMaterial& material) {
        m_renderer->Clear(KVLVector3::Black);
        FullScreen();
        m_renderer->ApplyMaterial(material);
        m_renderer->DrawMesh(*m_quad);
        m_renderer->Present();
        return At(*m_renderer->ReadPixels(), kSize / 2, kSize / 2);
    }

    // Number of triangles one DrawMesh sends, counted in GL's feedback mode.
    int CountTriangles(const ZRNMesh& mesh) {
        return CountTrianglesOf([&] { m_renderer->DrawMesh(mesh); });
    }

    template <class Draw>
    int CountTrianglesOf(Draw draw) {
        std::vector<GLfloat> buffer(4096);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        const GLint used = glRenderMode(GL_RENDER);
        int triangles = 0;
        for (GLint i = 0; i < used;) {
            const int token = static_cast<int>(buffer[static_cast<size_t>(i)]);
            if (token == GL_POLYGON_TOKEN) {
                const int n = static_cast<int>(buffer[static_cast<size_t>(i) + 1]);
                ++triangles;
                i += 2 + 3 * n;
            } else {
                ++i;
            }
        }
        return triangles;
    }

    std::unique_ptr<ZRNRendererOffscreen> m_renderer;
    std::unique_ptr<ZRNMesh> m_quad;
};

TEST_F(GLRenderer, ClearAndInitialMaterial) {
    m_renderer->Clear(KVLVector3(0.0f, 0.0f, 1.0f));
    const RGB c = At(*m_renderer->ReadPixels(), 3, 3);
    EXPECT_EQ(c.b, 255);
    EXPECT_EQ(c.r, 0);
    ASSERT_NE(m_renderer->GetTextureCache()->GetCurrent(), nullptr);
    EXPECT_EQ(m_renderer->GetTextureCache()->GetCurrent()->name, "Red Plastic");
    FullScreen();
    // Light from the side, so that no specular highlight whitens the centre.
    m_renderer->SetLight(nullptr, KVLVector3(1.0f, 0.0f, 0.2f), true);
    m_renderer->DrawMesh(*m_quad);
    const RGB red = At(*m_renderer->ReadPixels(), kSize / 2, kSize / 2);
    EXPECT_GT(red.r, 40);
    EXPECT_LT(red.g, 8);
    EXPECT_LT(red.b, 8);
}

// Textured kinds show a green picture (lit kinds somewhat darker or brighter); the
// untextured ones their colour.
TEST_F(GLRenderer, MaterialKinds) {
    auto green = Solid(4, 4, 0xFF00FF00u);
    struct Case {
        int32_t kind;
        bool textured;
    };
    const Case cases[] = {{4, true}, {5, true}, {6, true}, {7, true}, {8, true}, {2, false}, {9, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        m_renderer->ResetTextures();
        ZRNMaterial m("kind", c.kind, false, green.get());
        const RGB got = DrawCentre(m);
        if (c.textured) {
            EXPECT_GT(got.g, 100);
            EXPECT_LT(got.r, 30);
        } else {
            // White colour material of the textured constructor, lit: grey, no texture.
            EXPECT_GT(got.r, 100);
            EXPECT_NEAR(got.r, got.g, 2);
        }
    }
    auto unlit = Solid(4, 4, 0xFF3080C0u);
    ZRNMaterial exact("exact", 4, false, unlit.get());
    const RGB e = DrawCentre(exact);
    EXPECT_NEAR(e.r, 0x30, 2);
    EXPECT_NEAR(e.g, 0x80, 2);
    EXPECT_NEAR(e.b, 0xC0, 2);
}

TEST_F(GLRenderer, FogDarkensTowardsItsGrey) {
    auto white = Solid(4, 4, 0xFFFFFFFFu);
    ZRNMaterial m("white", 4, false, white.get());
    auto wall = ZRNMesh::MakeGrid(40.0f, 40.0f, 1);
    auto draw = [&]() {
        m_renderer->Clear(KVLVector3::Black);
        m_renderer->SetMatrixMode(false);
        m_renderer->LoadMatrix(KVLMatrix34::Translation(0, 0, -5));
        m_renderer->ApplyMaterial(m);
        m_renderer->DrawMesh(*wall);
        return At(*m_renderer->ReadPixels(), kSize / 2, kSize / 2);
    };
    EXPECT_EQ(draw().r, 255);
    m_renderer->SetFog(ZRNFogSettings(1.0f, 50.0f, 0.5f, KVLVector3::White));
    const RGB fogged = draw();
    // exp(-0.5 x 5) of white, the rest the fixed 0.3 grey: about 91 of 255.
    EXPECT_NEAR(fogged.r, 91, 6);
    EXPECT_EQ(fogged.r, fogged.b);
    m_renderer->SetFog(ZRNFogSettings());
    EXPECT_EQ(draw().r, 255);
}

TEST_F(GLRenderer, MaterialsOfTheSameNameShareOneTexture) {
    auto red = Solid(4, 4, 0xFFFF0000u);
    auto blue = Solid(8, 8, 0xFF0000FFu);
    ZRNMaterial first("skin", 4, false, red.get());
    ZRNMaterial second("skin", 4, false, blue.get());
    ZRNMaterial other("other", 4, false, blue.get());
    EXPECT_GT(DrawCentre(first).r, 250);
    // A copy of the first picture under the same name is no conflict; another picture is
    // reported, once.
    ZRNMaterial again("skin", 4, false, red.get());
    DrawCentre(again);
    EXPECT_TRUE(m_renderer->GetMaterialConflicts().empty());
    const RGB shared = DrawCentre(second);
    EXPECT_GT(shared.r, 250);
    EXPECT_EQ(shared.b, 0);
    EXPECT_GT(DrawCentre(other).b, 250);
    EXPECT_EQ(m_renderer->GetTextureCache()->GetTextures().GetCount(), 2);
    DrawCentre(second);
    ASSERT_EQ(m_renderer->GetMaterialConflicts().size(), 1u);
    EXPECT_NE(std::string(m_renderer->GetMaterialConflicts()[0].c_str()).find("'skin'"), std::string::npos);
}

// A shared image is uploaded again at every application, never cached, and never
// into another material's texture: a mipmapped floor drawn after it is still intact.
TEST_F(GLRenderer, SharedImageUploadsAtEveryApplicationIntoItsOwnTexture) {
    auto floorPicture = Solid(16, 16, 0xFF00FF00u);
    ZRNMaterial floor("floor", 4, false, floorPicture.get());
    auto frame = Solid(5, 3, 0xFFFF0000u);
    ZRNMaterial film("film", 4, false, frame.get(), true);

    EXPECT_GT(DrawCentre(floor).g, 250);
    EXPECT_GT(DrawCentre(film).r, 250);
    for (int32_t i = 0; i < 15; ++i) {
        frame->pixels[i] = 0xFF0000FFu;
    }
    const RGB next = DrawCentre(film);
    EXPECT_GT(next.b, 250);
    EXPECT_EQ(next.r, 0);
    const RGB floorAgain = DrawCentre(floor);
    EXPECT_GT(floorAgain.g, 250);
    EXPECT_EQ(floorAgain.b, 0);
    // A picture of another size takes the shared texture over, and the first size back
    // again after it.
    auto other = Solid(2, 7, 0xFF00FF00u);
    ZRNMaterial otherFilm("other film", 4, false, other.get(), true);
    EXPECT_GT(DrawCentre(otherFilm).g, 250);
    EXPECT_GT(DrawCentre(film).b, 250);
    EXPECT_EQ(m_renderer->GetTextureCache()->GetTextures().GetCount(), 1);
    EXPECT_EQ(m_renderer->GetTextureCache()->Find("film"), 0u);
}

TEST_F(GLRenderer, ResetTexturesDeletesTheCache) {
    auto red = Solid(4, 4, 0xFFFF0000u);
    auto blue = Solid(4, 4, 0xFF0000FFu);
    ZRNMaterial a("a", 4, false, red.get());
    DrawCentre(a);
    const GLuint name = m_renderer->GetTextureCache()->Find("a");
    ASSERT_NE(name, 0u);
    EXPECT_TRUE(glIsTexture(name));
    m_renderer->ResetTextures();
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(m_renderer->GetTextureCache()->GetCurrent(), nullptr);
    EXPECT_EQ(m_renderer->GetTextureCache()->GetTextures().GetCount(), 0);
    m_renderer->DrawMesh(*m_quad);  // no current material: draws, does not fail
    ZRNMaterial b("a", 4, false, blue.get());
    EXPECT_GT(DrawCentre(b).b, 250);  // the name is uploaded afresh
}

TEST_F(GLRenderer, MaterialStackAddsDrawPasses) {
    auto red = Solid(4, 4, 0xFFFF0000u);
    ZRNMaterial t0("t0", 4, false, red.get());
    ZRNMaterial t1("t1", 5, false, red.get());
    ZRNMaterial t2("t2", 6, false, red.get());
    FullScreen();
    EXPECT_EQ(CountTriangles(*m_quad), 2);
    m_renderer->ApplyMaterial(t0);
    m_renderer->PushMaterial();
    EXPECT_EQ(CountTriangles(*m_quad), 2);  // one entry: drawn once
    m_renderer->ApplyMaterial(t1);
    m_renderer->PushMaterial();
    m_renderer->ApplyMaterial(t2);
    m_renderer->PushMaterial();
    EXPECT_EQ(CountTriangles(*m_quad), 6);  // three entries: current, then entries 1 and 0
    EXPECT_EQ(m_renderer->GetTextureCache()->GetCurrent(), &t0);
    m_renderer->PopMaterial();
    m_renderer->PopMaterial();
    m_renderer->PopMaterial();
    m_renderer->PopMaterial();  // empty: nothing happens
    EXPECT_EQ(m_renderer->GetTextureCache()->GetCurrent(), &t0);
}

// A pose drawn by DrawMeshAt (blended into the renderer's own arrays) gives the very
// pixels of FrameAt's mesh drawn by DrawMesh, for every draw routine, lit and unlit.
TEST_F(GLRenderer, DrawMeshAtDrawsFrameAtsMesh) {
    auto picture = Solid(4, 4, 0xFFC08040u);
    for (int32_t kind : {1, 3, 4, 5, 6}) {
        SCOPED_TRACE(kind);
        ZRNMaterial material = ZRNIsTexturedKind(kind) ? ZRNMaterial("pose", kind, false, picture.get())
                                                       : ZRNMaterial(ZRNGreenPlastic());
        material.kind = kind;
        auto grid = ZRNMesh::MakeGrid(1.5f, 1.5f, 3);
        const ZRNFrameTime t(0, 1, 0.4f);
        std::unique_ptr<KVLImage> pictures[2];
        for (int way = 0; way < 2; ++way) {
            m_renderer->Clear(KVLVector3::Black);
            FullScreen();
            m_renderer->MultMatrix(KVLMatrix34::RotationX(0.6f));
            m_renderer->ApplyMaterial(material);
            if (way == 0) {
                m_renderer->DrawMeshAt(*grid, t);
            } else {
                m_renderer->DrawMesh(*grid->FrameAt(t));
            }
            m_renderer->Present();
            pictures[way] = m_renderer->ReadPixels();
        }
        ASSERT_EQ(CountTriangles(*grid), 18);
        EXPECT_EQ(std::memcmp(pictures[0]->pixels, pictures[1]->pixels, sizeof(uint32_t) * kSize * kSize), 0);
        int lit = 0;
        for (int32_t i = 0; i < kSize * kSize; ++i) {
            lit += (pictures[0]->pixels[i] & 0xFFFFFFu) != 0 ? 1 : 0;
        }
        EXPECT_GT(lit, kSize * kSize / 4);
        m_renderer->ResetTextures();
    }
}

// Meshes wholly outside the view are left out, but never one that reaches into the
// picture: not one whose corners lie beyond different planes, nor a pose that
// frame 0 alone would place outside (the 2 x 2 grid's frame 1 is frame 0 moved up by 2).
TEST_F(GLRenderer, OnlyMeshesWhollyOutsideTheViewAreLeftOut) {
    struct Case {
        const char* what;
        KVLMatrix34 place;
        bool posed;
    };
    const Case cases[] = {
        {"covers the picture, corners beyond all sides", KVLMatrix34::Scale(10.0f, 10.0f, 1.0f), false},
        {"across the right edge", KVLMatrix34::Translation(KVLVector3(1.5f, 0.0f, 0.0f)), false},
        {"pose moved up into the picture", KVLMatrix34::Translation(KVLVector3(0.0f, -3.0f, 0.0f)), true},
    };
    const ZRNFrameTime t(0, 1, 0.75f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FullScreen();
        m_renderer->MultMatrix(c.place);
        const int triangles = CountTrianglesOf([&] {
            if (c.posed) {
                m_renderer->DrawMeshAt(*m_quad, t);
            } else {
                m_renderer->DrawMesh(*m_quad);
            }
        });
        // Clipped at the picture's edges into more polygons, but drawn.
        EXPECT_GT(triangles, 0);
    }
}

// The projection's aspect (element 5 over element 0 of the perspective matrix).
float ProjectionAspect() {
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    return m[5] / m[0];
}

TEST(GLRendererResize, AspectFollowsTheSizeAndSurvivesAZeroHeight) {
    ZRNRendererOffscreen r(64, 32);
    // A resize heard before the context exists changes nothing yet and is not lost.
    r.OnResize(48, 16);
    if (!r.Initialise()) {
        ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL: " << r.GetError().c_str();
    }
    EXPECT_NEAR(ProjectionAspect(), 2.0f, 1e-4f);
    r.OnResize(30, 10);
    EXPECT_NEAR(ProjectionAspect(), 3.0f, 1e-4f);
    r.OnResize(30, 0);
    EXPECT_NEAR(ProjectionAspect(), 3.0f, 1e-4f);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 0);
    // With the projection matrix selected, a resize leaves it selected: the next load
    // goes to the projection.
    r.SetMatrixMode(true);
    r.OnResize(40, 10);
    EXPECT_NEAR(ProjectionAspect(), 4.0f, 1e-4f);
    r.LoadMatrix(KVLMatrix34::Scale(1.0f, 3.0f, 1.0f));
    EXPECT_NEAR(ProjectionAspect(), 3.0f, 1e-4f);
}

// A renderer with no size heard yet keeps aspect 1.0 until its first resize. (Runs on
// the offscreen renderer's context; the bare renderer creates none of its own.)
TEST(GLRendererResize, AspectOneUntilTheFirstResize) {
    class BareRenderer : public ZRNRenderer {
    public:
        BareRenderer() : ZRNRenderer(nullptr) {}
        bool Present() override { return true; }
    };
    ZRNRendererOffscreen host(64, 32);
    if (!host.Initialise()) {
        ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL: " << host.GetError().c_str();
    }
    BareRenderer bare;
    ASSERT_TRUE(bare.Initialise());
    EXPECT_NEAR(ProjectionAspect(), 1.0f, 1e-4f);
    bare.OnResize(64, 32);
    EXPECT_NEAR(ProjectionAspect(), 2.0f, 1e-4f);
}

TEST(GLRendererResize, NoContextMeansNoCalls) {
    ZRNRendererOffscreen r(16, 16);
    // Every operation before Initialise is a no-op (no GL context to call into).
    r.OnResize(10, 0);
    r.Clear(KVLVector3::White);
    r.ApplyMaterial(ZRNRedPlastic());
    r.PushMaterial();
    r.PopMaterial();
    r.ResetTextures();
    EXPECT_EQ(r.ReadPixels(), nullptr);
    EXPECT_FALSE(r.Present());
    EXPECT_EQ(r.GetTextureCache(), nullptr);
}

}  // namespace
