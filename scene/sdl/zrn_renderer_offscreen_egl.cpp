// ZRNRendererOffscreen: an OpenGL context on an EGL pbuffer (zrn_egl_pbuffer.h).
#include "scene/zrn_renderer_offscreen.h"

#include <GL/gl.h>

#include "scene/sdl/zrn_egl_pbuffer.h"

ZRNRendererOffscreen::~ZRNRendererOffscreen() { Release(); }

bool ZRNRendererOffscreen::CreateContext() {
    return ZRNEGLCreate(ZRNEGLApi::OpenGL, GetWidth(), GetHeight(), false, &m_handles, &m_error);
}

// The pbuffer is the picture: nothing to select.
void ZRNRendererOffscreen::SelectDrawBuffer() {}

bool ZRNRendererOffscreen::MakeCurrent() { return ZRNEGLMakeCurrent(ZRNEGLApi::OpenGL, m_handles, &m_error); }

void ZRNRendererOffscreen::SelectReadBuffer() {
    // A pbuffer has one colour buffer, which GL calls front.
    glReadBuffer(GL_FRONT);
}

void ZRNRendererOffscreen::FinishDrawing() { glFinish(); }

void ZRNRendererOffscreen::Release() {
    ZRNEGLRelease(ZRNEGLApi::OpenGL, &m_handles, [this] { ReleaseGL(); });
    ReleaseGL();
}
