// ZRNRendererGLES2Offscreen: an OpenGL ES 2 context on an EGL pbuffer
// (zrn_egl_pbuffer.h).
#include "scene/zrn_renderer_gles2_offscreen.h"

#include <GLES2/gl2.h>

#include "scene/sdl/zrn_egl_pbuffer.h"

ZRNRendererGLES2Offscreen::~ZRNRendererGLES2Offscreen() { Release(); }

bool ZRNRendererGLES2Offscreen::CreateContext() {
    return ZRNEGLCreate(ZRNEGLApi::OpenGLES2, GetWidth(), GetHeight(), m_alphaChannel, &m_handles, &m_error);
}

bool ZRNRendererGLES2Offscreen::MakeCurrent() {
    return ZRNEGLMakeCurrent(ZRNEGLApi::OpenGLES2, m_handles, &m_error);
}

void ZRNRendererGLES2Offscreen::FinishDrawing() { glFinish(); }

void ZRNRendererGLES2Offscreen::Release() {
    ZRNEGLRelease(ZRNEGLApi::OpenGLES2, &m_handles, [this] { ReleaseGL(); });
    ReleaseGL();
}
