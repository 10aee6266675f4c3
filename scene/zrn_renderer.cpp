// ZRNRenderer: OpenGL 1.1 immediate mode and GLU behind the renderer interface.
#include "scene/zrn_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "scene/zrn_meshdraw.h"
#include "scene/zrn_renderstate.h"

namespace {

// Forwards the draw routines' vertices to the open glBegin/glEnd pair.
struct GLVertexSink {
    void Normal(const float* n) { glNormal3fv(n); }
    void TexCoord(const float* t) { glTexCoord2fv(t); }
    void Vertex(const float* v) { glVertex3fv(v); }
};

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
        if (usable) {
            glTexImage2D(GL_TEXTURE_2D, 0, 4, image->width, image->height, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                         image->pixels);
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
    if (!m_live) {
        return;
    }
    const ZRNMaterial* current = m_cache->GetCurrent();
    // Right after ResetTextures there is no current material: draw smooth with
    // whatever state GL holds.
    int32_t kind = current != nullptr ? current->kind : 3;
    const KVLArray<const ZRNMaterial*>& stack = m_cache->GetStack();
    GLVertexSink sink;
    for (int32_t n = stack.GetCount() - 1;; --n) {
        glBegin(GL_TRIANGLES);
        ZRNDrawMeshWith(ZRNRoutineForKind(kind), mesh, sink);
        glEnd();
        if (n - 1 < 0) {
            break;
        }
        const ZRNMaterial* pass = stack[n - 1];
        ApplyMaterialState(*pass);
        m_cache->SetCurrent(pass);
        kind = pass->kind;
    }
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
