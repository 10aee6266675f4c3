// The shader renderer (OpenGL ES 2 through EGL on Mesa) against the OpenGL 1.1
// renderer: the same calls drawn by both must give nearly the same picture, material
// kind by kind (lighting, specular, texture modulate, sphere maps, blending, culling,
// fog, the pass loop of the material stack). And the texture levels it uploads must
// be those GLU builds for the OpenGL 1.1 renderer (GLU as the reference).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "scene/zrn_renderer_gles2_offscreen.h"
#include "scene/zrn_renderer_offscreen.h"
#include "scene/zrn_texturelevels.h"
#include "support/picture_metrics.h"
#include "support/test_support.h"

namespace {

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 120;

using testsupport::PSNR;

// Share of pixels that differ from the first one: the picture shows something.
double Covered(const KVLImage& image) {
    const size_t n = static_cast<size_t>(image.width) * image.height;
    size_t differ = 0;
    for (size_t i = 0; i < n; ++i) {
        differ += image.pixels[i] != image.pixels[0] ? 1 : 0;
    }
    return static_cast<double>(differ) / static_cast<double>(n);
}

// A UV sphere of radius 1 without its polar caps, with texture coordinates, smooth normals and quads.
std::unique_ptr<ZRNMesh> MakeSphere(int32_t rings, int32_t segments) {
    auto mesh = std::make_unique<ZRNMesh>();
    mesh->SetFrameCount(1);
    for (int32_t r = 0; r <= rings; ++r) {
        // The poles stay open: faces of zero area have no normal to compare.
        const float theta = 0.3f + 2.54159265f * static_cast<float>(r) / static_cast<float>(rings);
        for (int32_t s = 0; s <= segments; ++s) {
            const float phi = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
            mesh->AddVertex(KVLVector3(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)),
                            0);
            mesh->AddTexCoord(static_cast<float>(s) / static_cast<float>(segments),
                              static_cast<float>(r) / static_cast<float>(rings));
        }
    }
    const int32_t row = segments + 1;
    for (int32_t r = 0; r < rings; ++r) {
        for (int32_t s = 0; s < segments; ++s) {
            const auto a = static_cast<uint16_t>(r * row + s);
            const auto b = static_cast<uint16_t>(a + row);
            const auto c = static_cast<uint16_t>(b + 1);
            const auto d = static_cast<uint16_t>(a + 1);
            mesh->AddFace(a, d, c, b, a, d, c, b);
        }
    }
    mesh->ComputeNormals();
    return mesh;
}

// A picture of two colours in squares of three texels, with an alpha ramp, of a size
// that is not a power of two.
std::unique_ptr<KVLImage> Checker(int32_t w, int32_t h, uint32_t a, uint32_t b) {
    std::unique_ptr<KVLImage> image = KVLImage::Create(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t alpha = static_cast<uint32_t>(128 + 127 * x / std::max(1, w - 1)) << 24;
            image->pixels[y * w + x] = alpha | ((((x / 3) + (y / 3)) % 2 == 0 ? a : b) & 0xFFFFFFu);
        }
    }
    return image;
}

struct Case {
    const char* what;
    int32_t kind;
    bool cull;
    bool blend;
    bool fog;
    int32_t shininess;
    bool stacked;  // a second textured material under the first (two passes)
};

// Draws one test scene with the case's material on r: a fogged or plain wall behind a
// rotated sphere, the light from above right, the camera looking down at both.
void DrawScene(ZRNRendererInterface& r, const Case& c, const KVLImage& picture, const KVLImage& second) {
    ZRNMaterial material = ZRNIsTexturedKind(c.kind)
                               ? ZRNMaterial(KVLString("case"), c.kind, c.cull, &picture)
                               : ZRNMaterial(KVLString("case"), c.kind, c.cull, KVLVector3(0.9f, 0.5f, 0.2f), 0.4f,
                                             0.8f, 1.0f, c.shininess, c.blend, 0.6f);
    material.blend = c.blend;
    material.alpha = 0.6f;
    material.shininess = c.shininess;
    ZRNMaterial under(KVLString("under"), 6, false, &second);
    auto wall = ZRNMesh::MakeGrid(8.0f, 6.0f, 4);
    auto sphere = MakeSphere(12, 16);
    r.ResetTextures();
    r.Clear(KVLVector3(0.1f, 0.2f, 0.3f));
    r.SetFog(c.fog ? ZRNFogSettings(1.0f, 20.0f, 0.15f, KVLVector3::White) : ZRNFogSettings());
    r.SetMatrixMode(false);
    r.LoadMatrix(KVLMatrix34::Identity());
    r.LookAt(KVLVector3(0.5f, 1.5f, 4.0f), KVLVector3(0.0f, 0.0f, 0.0f));
    r.SetLight(nullptr, KVLVector3(0.6f, 1.0f, 0.8f), true);
    r.PushMatrix();
    r.MultMatrix(KVLMatrix34::Translation(0.0f, 0.0f, -2.0f));
    r.ApplyMaterial(ZRNGreenPlastic());
    r.DrawMesh(*wall);
    r.PopMatrix();
    r.PushMatrix();
    r.MultMatrix(KVLMatrix34::Product(KVLMatrix34::RotationY(0.7f), KVLMatrix34::RotationX(0.3f)));
    if (c.stacked) {
        r.ApplyMaterial(under);
        r.PushMaterial();
    }
    r.ApplyMaterial(material);
    r.PushMaterial();
    r.DrawMesh(*sphere);
    r.PopMaterial();
    if (c.stacked) {
        r.PopMaterial();
    }
    r.PopMatrix();
    r.Present();
}

class GLES2Renderer : public testing::Test {
protected:
    void SetUp() override {
        m_gl = std::make_unique<ZRNRendererOffscreen>(kWidth, kHeight);
        if (!m_gl->Initialise()) {
            ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL: " << m_gl->GetError().c_str();
        }
        m_es = std::make_unique<ZRNRendererGLES2Offscreen>(kWidth, kHeight);
        if (!m_es->Initialise()) {
            ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL ES 2 (Debian package libgles-dev, libegl-mesa0): "
                                   << m_es->GetError().c_str();
        }
    }

    std::unique_ptr<ZRNRendererOffscreen> m_gl;
    std::unique_ptr<ZRNRendererGLES2Offscreen> m_es;
};

TEST_F(GLES2Renderer, MatchesTheOpenGLRendererKindByKind) {
    const auto picture = Checker(24, 20, 0xFFE0C040u, 0xFF2040A0u);
    const auto second = Checker(16, 16, 0xFF40FF40u, 0xFF808080u);
    const Case cases[] = {
        {"flat lit", 1, true, false, false, 20, false},
        {"smooth lit, shiny", 3, true, false, false, 60, false},
        {"smooth lit, dull, fog", 3, false, false, true, 0, false},
        {"smooth lit, blended", 3, false, true, false, 10, false},
        {"textured unlit", 4, true, false, false, 0, false},
        {"textured flat lit, fog", 5, true, false, true, 0, false},
        {"textured smooth lit", 6, true, false, false, 0, false},
        {"sphere map flat", 7, false, false, false, 0, false},
        {"sphere map smooth, blended, fog", 8, false, true, true, 0, false},
        {"textured over a second pass", 4, false, true, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(m_gl->MakeCurrent());
        DrawScene(*m_gl, c, *picture, *second);
        const std::unique_ptr<KVLImage> expected = m_gl->ReadPixels();
        ASSERT_TRUE(m_es->MakeCurrent());
        DrawScene(*m_es, c, *picture, *second);
        const std::unique_ptr<KVLImage> got = m_es->ReadPixels();
        ASSERT_TRUE(expected && got);
        EXPECT_GT(Covered(*expected), 0.5);
        const double psnr = PSNR(*expected, *got);
        EXPECT_GE(psnr, 45.0);
        std::printf("%-36s PSNR %.1f dB\n", c.what, psnr);
    }
}

// A colour buffer with alpha (a WebGL canvas's default) must not change the picture:
// blending weighs by destination alpha, which the OpenGL renderer's pictures lack.
TEST_F(GLES2Renderer, AnAlphaChannelChangesNothing) {
    ZRNRendererGLES2Offscreen withAlpha(kWidth, kHeight, true);
    ASSERT_TRUE(withAlpha.Initialise()) << withAlpha.GetError().c_str();
    // An opaque picture whose texels carry partial alpha, then a blended one over it.
    const auto below = Checker(24, 20, 0xFFE0C040u, 0xFF2040A0u);
    const auto above = Checker(16, 16, 0xFF40FF40u, 0xFF808080u);
    ZRNMaterial opaque(KVLString("below"), 4, false, below.get());
    ZRNMaterial blended(KVLString("above"), 4, false, above.get());
    blended.blend = true;
    auto quad = ZRNMesh::MakeGrid(2.0f, 2.0f, 1);
    auto draw = [&](ZRNRendererGLES2Offscreen& r) {
        EXPECT_TRUE(r.MakeCurrent());
        r.Clear(KVLVector3::Black);
        r.SetMatrixMode(true);
        r.LoadMatrix(KVLMatrix34::Identity());
        r.SetMatrixMode(false);
        r.LoadMatrix(KVLMatrix34::Identity());
        r.ApplyMaterial(opaque);
        r.DrawMesh(*quad);
        r.LoadMatrix(KVLMatrix34::Product(KVLMatrix34::Scale(0.8f, 0.8f, 1.0f), KVLMatrix34::RotationZ(0.3f)));
        r.ApplyMaterial(blended);
        r.DrawMesh(*quad);
        r.Present();
        return r.ReadPixels();
    };
    // Both pictures differ only by the colour depth of their configurations.
    EXPECT_GE(PSNR(*draw(*m_es), *draw(withAlpha)), 45.0);
}

// The projection and look-at matrices the renderers now compute themselves against
// GLU's, read back from GL, and the normal matrix against its definition.
TEST_F(GLES2Renderer, ProjectionLookAtAndNormalMatrixMatchGL) {
    ASSERT_TRUE(m_gl->MakeCurrent());
    auto expectNear = [](const float* want, const float* got, const char* what) {
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(got[i], want[i], 1e-5f * std::max(1.0f, std::fabs(want[i]))) << what << " element " << i;
        }
    };
    GLfloat want[16];
    glMatrixMode(GL_MODELVIEW);
    for (double aspect : {1.0, 4.0 / 3.0, 0.25}) {
        glLoadIdentity();
        gluPerspective(60.0, aspect, 0.1, 100.0);
        glGetFloatv(GL_MODELVIEW_MATRIX, want);
        expectNear(want, KVLMatrix44::Perspective(60.0, aspect, 0.1, 100.0).m, "perspective");
    }
    const struct {
        KVLVector3 eye, centre;
    } views[] = {{{0, 0, 5}, {0, 0, 0}}, {{3, -2, 1}, {0.5f, 4, -7}}, {{-1, 10, 0.5f}, {0, 0, 0}}};
    for (const auto& v : views) {
        glLoadIdentity();
        gluLookAt(v.eye.x, v.eye.y, v.eye.z, v.centre.x, v.centre.y, v.centre.z, 0.0, 1.0, 0.0);
        glGetFloatv(GL_MODELVIEW_MATRIX, want);
        expectNear(want, KVLMatrix44::LookAt(v.eye, v.centre, KVLVector3::UnitY).m, "look-at");
    }
    // Normals stay perpendicular to transformed tangents, under a mirror too.
    const KVLMatrix34 transforms[] = {
        KVLMatrix34::Product(KVLMatrix34::Scale(2.0f, 0.5f, 3.0f), KVLMatrix34::RotationY(0.8f)),
        KVLMatrix34::Product(KVLMatrix34::RotationX(-0.4f), KVLMatrix34::Scale(-1.0f, 1.0f, 1.0f))};
    for (const KVLMatrix34& t : transforms) {
        const KVLMatrix44 m = KVLMatrix44::From(t);
        float n[9];
        m.NormalMatrix(n);
        const KVLVector3 normal(0.0f, 0.0f, 1.0f);
        const KVLVector3 turned(normal.x * n[0] + normal.y * n[3] + normal.z * n[6],
                                normal.x * n[1] + normal.y * n[4] + normal.z * n[7],
                                normal.x * n[2] + normal.y * n[5] + normal.z * n[8]);
        for (const KVLVector3& tangent : {KVLVector3::UnitX, KVLVector3::UnitY}) {
            EXPECT_NEAR(KVLDot(turned, m.ApplyDirection(tangent)), 0.0f, 1e-5f);
        }
        // The inverse transpose itself, not the adjugate (whose sign follows the
        // determinant): n' . (n through the matrix) = |n|^2.
        EXPECT_NEAR(KVLDot(turned, m.ApplyDirection(normal)), 1.0f, 1e-5f);
    }
}

// Every level GLU builds from a picture (rescaled to power-of-two sides first) against
// the levels the shader renderer uploads: within one step per channel, since GLU
// rounds through its own float arithmetic.
TEST_F(GLES2Renderer, TextureLevelsMatchGLU) {
    ASSERT_TRUE(m_gl->MakeCurrent());
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const struct {
        int32_t w, h;
    } sizes[] = {{5, 3}, {6, 6}, {7, 9}, {12, 5}, {16, 16}, {33, 47}, {40, 24}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        std::unique_ptr<KVLImage> image = KVLImage::Create(s.w, s.h);
        for (int32_t i = 0; i < s.w * s.h; ++i) {
            const auto u = static_cast<uint32_t>(i);
            image->pixels[i] = ((u * 37u) & 255u) | (((u * 91u) & 255u) << 8) | (((u * 13u) & 255u) << 16) |
                               (((u * 7u + 100u) & 255u) << 24);
        }
        const std::vector<ZRNTextureLevel> levels = ZRNBuildMipmaps(*image, maxSize);
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        ASSERT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 4, s.w, s.h, GL_BGRA_EXT, GL_UNSIGNED_BYTE, image->pixels), 0);
        for (size_t l = 0; l < levels.size() + 1; ++l) {
            GLint w = 0;
            GLint h = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(l), GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(l), GL_TEXTURE_HEIGHT, &h);
            if (l == levels.size()) {
                EXPECT_EQ(w, 0) << "GLU builds more levels";
                break;
            }
            ASSERT_EQ(w, levels[l].width) << l;
            ASSERT_EQ(h, levels[l].height) << l;
            std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
            glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(l), GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            int worst = 0;
            for (size_t i = 0; i < rgba.size(); ++i) {
                worst = std::max(worst, std::abs(static_cast<int>(rgba[i]) - levels[l].rgba[i]));
            }
            EXPECT_LE(worst, 1) << "level " << l;
        }
        glDeleteTextures(1, &texture);
    }
}

}  // namespace
