// ZRNRenderer: the renderer core's device hooks on OpenGL 1.1 client arrays and GLU.
#include "scene/zrn_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

void Enable(GLenum capability, bool on) {
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

}  // namespace

ZRNRenderer::ZRNRenderer(KVLWindow* window) : ZRNRendererCore(window) {}

ZRNRenderer::~ZRNRenderer() = default;

bool ZRNRenderer::StartDevice(KVLString* /*error*/) {
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
    glBlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_MODELVIEW);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    m_texCoordArray = false;
    return true;
}

void ZRNRenderer::ReleaseDevice(bool /*inContext*/) {
    m_sharedWidth = 0;
    m_sharedHeight = 0;
}

void ZRNRenderer::SetEnabled(Capability capability, bool on) {
    Enable(capability == Capability::Scissor ? GL_SCISSOR_TEST
           : capability == Capability::Cull  ? GL_CULL_FACE
                                              : GL_BLEND,
           on);
}

void ZRNRenderer::ClearBuffers(const KVLVector3& colour, bool depth) {
    glClearColor(colour.x, colour.y, colour.z, 1.0f);
    glClear(depth ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT : GL_COLOR_BUFFER_BIT);
}

void ZRNRenderer::SetViewport(const KVLRect& picture) {
    glViewport(picture.x, picture.y, picture.width, picture.height);
    glScissor(picture.x, picture.y, picture.width, picture.height);
}

void ZRNRenderer::MatrixChanged(bool projection) {
    // GL keeps the modelview selected; the projection is loaded in passing.
    if (projection) {
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(GetProjection().m);
        glMatrixMode(GL_MODELVIEW);
    } else {
        glLoadMatrixf(GetModelView().m);
    }
}

void ZRNRenderer::SetLightState(const KVLVector3& vector, bool positional) {
    if (positional) {
        const GLfloat position[4] = {vector.x, vector.y, vector.z, 0.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
    } else {
        const GLfloat ambient[4] = {kZRNLightAmbient, kZRNLightAmbient, kZRNLightAmbient, 1.0f};
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    }
}

void ZRNRenderer::SetFogState(const ZRNFogSettings& fog) {
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

void ZRNRenderer::SetMaterialState(const ZRNMaterialState& state) {
    const GLfloat emission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, state.ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, state.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, state.specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, state.shininess);
    Enable(GL_TEXTURE_2D, state.textured);
    Enable(GL_LIGHT0, state.lighting);
    Enable(GL_LIGHTING, state.lighting);
    if (!state.textured) {
        return;
    }
    if (state.sphereMap) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    }
    Enable(GL_TEXTURE_GEN_S, state.sphereMap);
    Enable(GL_TEXTURE_GEN_T, state.sphereMap);
}

void ZRNRenderer::BindTextureName(uint32_t texture) { glBindTexture(GL_TEXTURE_2D, texture); }

uint32_t ZRNRenderer::CreateTexture(const KVLImage* picture, bool shared) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    if (shared) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    } else if (picture != nullptr) {
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, picture->width, picture->height, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                          picture->pixels);
    }
    return name;
}

void ZRNRenderer::UploadSharedPicture(const KVLImage& picture) {
    // The same size as the last picture: only the pixels change, and replacing them
    // spares the driver a new level.
    if (picture.width == m_sharedWidth && picture.height == m_sharedHeight) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, picture.width, picture.height, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                        picture.pixels);
        return;
    }
    glTexImage2D(GL_TEXTURE_2D, 0, 4, picture.width, picture.height, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                 picture.pixels);
    m_sharedWidth = picture.width;
    m_sharedHeight = picture.height;
}

void ZRNRenderer::DeleteTextures(int32_t count, const uint32_t* textures) { glDeleteTextures(count, textures); }

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

void ZRNRenderer::ReadPixelsRGBA(int32_t width, int32_t height, uint8_t* rgba) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}
