// ZRNRendererOffscreen: an EGL pbuffer on Mesa's surfaceless platform.
//
// The EGL display is one per process; every offscreen renderer initialises it (EGL
// makes that harmless once it is initialised, and safe from any thread) and it stays
// initialised until the process ends. (Terminating it when the last renderer goes
// loses track of memory the software rasteriser still holds, and a later renderer
// would pay for the driver's start-up again.)
#include "scene/zrn_renderer_offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

namespace {

EGLDisplay AcquireDisplay(KVLString* error) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        *error = "EGL has no platform displays";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) {
        *error = "no surfaceless EGL display";
        return EGL_NO_DISPLAY;
    }
    if (!eglInitialize(display, nullptr, nullptr)) {
        error->Format("eglInitialize failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return EGL_NO_DISPLAY;
    }
    return display;
}

}  // namespace

bool ZRNRendererOffscreen::CreateContext() {
    EGLDisplay display = AcquireDisplay(&m_error);
    if (display == EGL_NO_DISPLAY) {
        return false;
    }
    m_display = display;
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,     5,               EGL_GREEN_SIZE,      6,
                                       EGL_BLUE_SIZE,    5,               EGL_DEPTH_SIZE,      16,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglBindAPI(EGL_OPENGL_API) || !eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        m_error = "no EGL configuration for OpenGL with a depth buffer";
        return false;
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, m_width, EGL_HEIGHT, m_height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) {
        m_error.Format("eglCreatePbufferSurface failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return false;
    }
    m_surface = surface;
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        m_error.Format("eglCreateContext failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return false;
    }
    m_context = context;
    return true;
}

// The pbuffer is the picture: nothing to select.
void ZRNRendererOffscreen::SelectDrawBuffer() {}

bool ZRNRendererOffscreen::MakeCurrent() {
    if (m_context == nullptr || !eglMakeCurrent(m_display, m_surface, m_surface, m_context)) {
        m_error = "eglMakeCurrent failed";
        return false;
    }
    return true;
}

void ZRNRendererOffscreen::SelectReadBuffer() {
    // A pbuffer has one colour buffer, which GL calls front.
    glReadBuffer(GL_FRONT);
}

void ZRNRendererOffscreen::Release() {
    EGLDisplay display = m_display;
    if (display == nullptr) {
        return;
    }
    if (m_context != nullptr && eglMakeCurrent(display, m_surface, m_surface, m_context)) {
        ReleaseGL();
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (m_context != nullptr) {
        eglDestroyContext(display, m_context);
    }
    if (m_surface != nullptr) {
        eglDestroySurface(display, m_surface);
    }
    m_context = nullptr;
    m_surface = nullptr;
    m_display = nullptr;
    ReleaseGL();
    eglReleaseThread();
}
