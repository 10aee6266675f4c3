// ZRNRenderer: OpenGL 1.1 client arrays and GLU behind the renderer interface; meshes
// wholly outside the view are left out.
#include "scene/zrn_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "scene/zrn_meshdraw.h"
#include "scene/zrn_renderstate.h"

namespace {

void LoadGLMatrix(const KVLMatrix34& m, bool multiply) {
    const KVLMatrix44 full = KVLMatrix44::From(m);
    if (multiply) {
        glMultMatrixf(full.m);
    } else {
        glLoadMatrixf(full.m);
    }
}

void SetEnabled(GLenum capability, bool on) {
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}


// Whether every vertex of the listed frames lies beyond one and the same clip plane
// under the current projection and model-view: then no part of the mesh can reach the
// picture and GL would clip all of it away. The test runs on the corners of the
// frames' bounding box (a blended pose lies inside it, and a plane's outside is
// convex), in double precision and with a margin, so that a mesh GL would rasterise
// even one pixel of is never left out. A mesh without vertices is never left out.
bool OutsideView(const ZRNMesh& mesh, std::initializer_list<int32_t> frames) {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool any = false;
    for (const int32_t frame : frames) {
        const KVLArray<KVLVector3>& vertices = mesh.GetVertices(frame);
        for (int32_t i = 0; i < vertices.GetCount(); ++i) {
            const KVLVector3& v = vertices[i];
            const double c[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], c[k]);
                hi[k] = std::max(hi[k], c[k]);
            }
            any = true;
        }
    }
    if (!any) {
        return false;
    }
    GLfloat projection[16];
    GLfloat modelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    // Column-major, as GL keeps them: clip = projection * modelView * corner.
    double mvp[16];
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(projection[k * 4 + row]) * modelView[col * 4 + k];
            }
            mvp[col * 4 + row] = sum;
        }
    }
    // Per plane (x, y, z beyond +w or -w): how many corners lie beyond it.
    int beyond[6] = {};
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1) != 0 ? hi[0] : lo[0], (corner & 2) != 0 ? hi[1] : lo[1],
                             (corner & 4) != 0 ? hi[2] : lo[2]};
        double clip[4];
        for (int row = 0; row < 4; ++row) {
            clip[row] = mvp[row] * p[0] + mvp[4 + row] * p[1] + mvp[8 + row] * p[2] + mvp[12 + row];
        }
        const double w = clip[3];
        const double margin = 1e-3 * (std::fabs(w) + 1.0);
        for (int k = 0; k < 3; ++k) {
            if (clip[k] > w + margin) {
                ++beyond[2 * k];
            }
            if (clip[k] < -w - margin) {
                ++beyond[2 * k + 1];
            }
        }
    }
    return std::ranges::any_of(beyond, [](int n) { return n == 8; });
}

}  // namespace

ZRNRenderer::ZRNRenderer(KVLWindow* window) : m_window(window) {}

ZRNRenderer::~ZRNRenderer() = default;

bool ZRNRenderer::Initialise() {
    m_live = true;
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_FOG);
    glDisable(GL_LOGIC_OP);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glDisable(GL_DITHER);
    glDrawBuffer(GL_BACK);
    glEnable(GL_NORMALIZE);
    glDisable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(KVLMatrix44::Perspective(kZRNFieldOfView, 1.0, kZRNNearPlane, kZRNFarPlane).m);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    m_projectionMode = false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    m_texCoordArray = false;
    SetLight(nullptr, KVLVector3(0.5f, 0.0f, 1.5f), false);
    m_cache = std::make_unique<ZRNTextureCache>();
    ApplyMaterial(ZRNRedPlastic());
    // A size the window reported before the context existed: the projection takes
    // the window's aspect now rather than keeping 1.0 until the next resize.
    if (m_clientWidth >= 0) {
        ApplyResize();
    }
    return true;
}

void ZRNRenderer::ReleaseGL() {
    if (m_live) {
        if (m_cache != nullptr && !m_cache->GetTextures().IsEmpty()) {
            glDeleteTextures(m_cache->GetTextures().GetCount(), m_cache->GetTextures().GetData());
        }
        if (m_sharedTexture != 0) {
            glDeleteTextures(1, &m_sharedTexture);
        }
    }
    m_sharedTexture = 0;
    m_sharedWidth = 0;
    m_sharedHeight = 0;
    m_cache.reset();
    m_live = false;
}

void ZRNRenderer::Clear(const KVLVector3& colour) {
    if (!m_live) {
        return;
    }
    if (m_letterboxed) {
        // The bars outside the picture stay black in every buffer.
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
    }
    glClearColor(colour.x, colour.y, colour.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ZRNRenderer::LookAt(const KVLVector3& eye, const KVLVector3& centre) {
    if (m_live) {
        glMultMatrixf(KVLMatrix44::LookAt(eye, centre, KVLVector3::UnitY).m);
    }
}

void ZRNRenderer::SetMatrixMode(bool projection) {
    if (m_live) {
        glMatrixMode(projection ? GL_PROJECTION : GL_MODELVIEW);
        m_projectionMode = projection;
    }
}

void ZRNRenderer::LoadMatrix(const KVLMatrix34& m) {
    if (m_live) {
        LoadGLMatrix(m, false);
    }
}

void ZRNRenderer::PushMatrix() {
    if (m_live) {
        glPushMatrix();
    }
}

void ZRNRenderer::PopMatrix() {
    if (m_live) {
        glPopMatrix();
    }
}

void ZRNRenderer::MultMatrix(const KVLMatrix34& m) {
    if (m_live) {
        LoadGLMatrix(m, true);
    }
}

void ZRNRenderer::SetLight(const void* /*tag*/, const KVLVector3& vector, bool positional) {
    if (!m_live) {
        return;
    }
    if (positional) {
        const GLfloat position[4] = {vector.x, vector.y, vector.z, 0.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
    } else {
        const GLfloat ambient[4] = {kZRNLightAmbient, kZRNLightAmbient, kZRNLightAmbient, 1.0f};
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    }
}

void ZRNRenderer::SetFog(const ZRNFogSettings& fog) {
    if (!m_live) {
        return;
    }
    if (!fog.enabled) {
        glDisable(GL_FOG);
        return;
    }
    const GLfloat colour[4] = {kZRNFogGrey, kZRNFogGrey, kZRNFogGrey, 1.0f};
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, colour);
    glFogf(GL_FOG_START, fog.start);
    glFogf(GL_FOG_END, fog.end);
    glFogf(GL_FOG_DENSITY, fog.density);
    glHint(GL_FOG_HINT, GL_FASTEST);
}

void ZRNRenderer::ApplyMaterial(const ZRNMaterial& material) {
    if (!m_live) {
        return;
    }
    ApplyMaterialState(material);
    m_cache->SetCurrent(&material);
}

void ZRNRenderer::ApplyMaterialState(const ZRNMaterial& m) {
    const ZRNMaterialState state = ZRNMaterialStateFor(m);
    SetEnabled(GL_CULL_FACE, state.cull);
    if (state.cull) {
        glCullFace(GL_BACK);
    }
    SetEnabled(GL_BLEND, state.blend);
    if (state.blend) {
        glBlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    const GLfloat emission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, state.ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, state.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, state.specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, state.shininess);
    glDisable(GL_TEXTURE_2D);
    SetEnabled(GL_LIGHT0, state.lighting);
    SetEnabled(GL_LIGHTING, state.lighting);
    if (!state.textured) {
        return;
    }
    glEnable(GL_TEXTURE_2D);
    BindTexture(m);
    if (state.sphereMap) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    }
    SetEnabled(GL_TEXTURE_GEN_S, state.sphereMap);
    SetEnabled(GL_TEXTURE_GEN_T, state.sphereMap);
}

void ZRNRenderer::BindTexture(const ZRNMaterial& m) {
    const uint32_t cached = m_cache->Find(m.name);
    if (cached != 0) {
        glBindTexture(GL_TEXTURE_2D, cached);
        return;
    }
    const KVLImage* image = m.GetImage();
    const bool usable = image != nullptr && image->pixels != nullptr && KVLImageSizeOK(image->width, image->height);
    if (m.IsSharedImage()) {
        // A picture that changes between applications (an animation frame): one texture
        // object of its own, a single level with nearest filtering, filled again every
        // time. Uploading into whatever texture happens to be bound would overwrite
        // another material's cached texture.
        if (m_sharedTexture == 0) {
            glGenTextures(1, &m_sharedTexture);
            glBindTexture(GL_TEXTURE_2D, m_sharedTexture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        } else {
            glBindTexture(GL_TEXTURE_2D, m_sharedTexture);
        }
        if (!usable) {
            return;
        }
        // The same size as the last picture: only the pixels change, and replacing them
        // spares the driver a new level.
        if (image->width == m_sharedWidth && image->height == m_sharedHeight) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image->width, image->height, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                            image->pixels);
        } else {
            glTexImage2D(GL_TEXTURE_2D, 0, 4, image->width, image->height, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                         image->pixels);
            m_sharedWidth = image->width;
            m_sharedHeight = image->height;
        }
        return;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    if (usable) {
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, image->width, image->height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, image->pixels);
    }
    m_cache->Add(m.name, name);
}

void ZRNRenderer::PushMaterial() {
    if (m_live) {
        m_cache->Push();
    }
}

void ZRNRenderer::PopMaterial() {
    if (!m_live) {
        return;
    }
    if (const ZRNMaterial* changed = m_cache->Pop()) {
        ApplyMaterialState(*changed);
    }
}

void ZRNRenderer::DrawMesh(const ZRNMesh& mesh) {
    if (m_live) {
        DrawPasses(mesh, nullptr, OutsideView(mesh, {0}));
    }
}

void ZRNRenderer::DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) {
    if (!m_live) {
        return;
    }
    // Frame 0 too: it is what is drawn where the mesh gives no blended pose.
    if (OutsideView(mesh, {0, time.frameA, time.frameB})) {
        DrawPasses(mesh, nullptr, true);
        return;
    }
    DrawPasses(mesh, mesh.BlendFrame(time, m_pose) ? &m_pose : nullptr, false);
}

void ZRNRenderer::DrawPasses(const ZRNMesh& mesh, const ZRNMeshFrame* pose, bool hidden) {
    const ZRNMaterial* current = m_cache->GetCurrent();
    // Right after ResetTextures there is no current material: draw smooth with
    // whatever state GL holds.
    int32_t kind = current != nullptr ? current->kind : 3;
    const KVLArray<const ZRNMaterial*>& stack = m_cache->GetStack();
    // The routine the pose's arrays hold (none yet): passes of one routine share them.
    bool built = false;
    ZRNDrawRoutine builtRoutine = ZRNDrawRoutine::Flat;
    for (int32_t n = stack.GetCount() - 1;; --n) {
        const ZRNDrawRoutine routine = ZRNRoutineForKind(kind);
        if (hidden) {
            // Nothing to draw, but the passes leave their material state as before.
        } else if (pose == nullptr) {
            DrawArrays(mesh.GetArrays(routine));
        } else {
            if (!built || builtRoutine != routine) {
                ZRNBuildMeshArrays(routine, mesh, *pose, m_poseArrays);
                built = true;
                builtRoutine = routine;
            }
            DrawArrays(m_poseArrays);
        }
        if (n - 1 < 0) {
            break;
        }
        const ZRNMaterial* pass = stack[n - 1];
        ApplyMaterialState(*pass);
        m_cache->SetCurrent(pass);
        kind = pass->kind;
    }
}

void ZRNRenderer::DrawArrays(const ZRNMeshArrays& arrays) {
    const int32_t corners = arrays.GetCornerCount();
    if (corners == 0) {
        return;
    }
    const bool textured = !arrays.texCoords.empty();
    if (textured != m_texCoordArray) {
        if (textured) {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        } else {
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        m_texCoordArray = textured;
    }
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions.data());
    glNormalPointer(GL_FLOAT, 0, arrays.normals.data());
    if (textured) {
        glTexCoordPointer(2, GL_FLOAT, 0, arrays.texCoords.data());
    }
    glDrawArrays(GL_TRIANGLES, 0, corners);
}

void ZRNRenderer::ResetTextures() {
    if (!m_live) {
        return;
    }
    if (m_cache != nullptr && !m_cache->GetTextures().IsEmpty()) {
        glDeleteTextures(m_cache->GetTextures().GetCount(), m_cache->GetTextures().GetData());
    }
    m_cache = std::make_unique<ZRNTextureCache>();
}

void ZRNRenderer::OnResize(int32_t width, int32_t height) {
    m_clientWidth = width < 0 ? 0 : width;
    m_clientHeight = height < 0 ? 0 : height;
    if (m_live) {
        ApplyResize();
    }
}

void ZRNRenderer::ApplyResize() {
    const KVLRect picture = PictureRect(m_clientWidth, m_clientHeight);
    m_letterboxed = ZRNIsLetterboxed(picture, m_clientWidth, m_clientHeight);
    glViewport(picture.x, picture.y, picture.width, picture.height);
    glScissor(picture.x, picture.y, picture.width, picture.height);
    SetEnabled(GL_SCISSOR_TEST, m_letterboxed);
    // A minimised window reports a height of 0: the projection keeps its aspect.
    KVLMatrix44 projection;
    if (!ZRNProjectionFor(picture.width, picture.height, &projection)) {
        return;
    }
    if (!m_projectionMode) {
        glMatrixMode(GL_PROJECTION);
    }
    glLoadMatrixf(projection.m);
    if (!m_projectionMode) {
        glMatrixMode(GL_MODELVIEW);
    }
}

float ZRNRenderer::GetFieldOfView() const { return static_cast<float>(kZRNFieldOfView); }

KVLRect ZRNRenderer::PictureRect(int32_t width, int32_t height) const { return KVLRect{0, 0, width, height}; }

void ZRNRenderer::OnPresent() {
    if (m_live) {
        Present();
    }
}
