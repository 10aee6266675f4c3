// ZRNRendererGLES2Offscreen: an OpenGL ES 2 context on an EGL pbuffer of Mesa's
// surfaceless platform.
//
// EGL keeps a bound API per thread, which eglMakeCurrent consults: MakeCurrent binds
// OpenGL ES for its own call and then restores the API that was bound, so that an
// OpenGL offscreen renderer on the same thread keeps working as before. The display
// is initialised once per process (initialising it again is harmless) and never
// terminated, as the OpenGL binding does.
#include "scene/zrn_renderer_gles2_offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>

#include <utility>

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

// Binds OpenGL ES for the lifetime of the object, then the API bound before.
class ScopedESBinding {
public:
    ScopedESBinding() : m_previous(eglQueryAPI()) { m_ok = eglBindAPI(EGL_OPENGL_ES_API) == EGL_TRUE; }
    ~ScopedESBinding() {
        if (m_previous != EGL_OPENGL_ES_API && m_previous != EGL_NONE) {
            eglBindAPI(m_previous);
        }
    }
    ScopedESBinding(const ScopedESBinding&) = delete;
    ScopedESBinding& operator=(const ScopedESBinding&) = delete;
    bool Ok() const { return m_ok; }

private:
    EGLenum m_previous;
    bool m_ok = false;
};

}  // namespace

ZRNRendererGLES2Offscreen::ZRNRendererGLES2Offscreen(int32_t width, int32_t height, bool alphaChannel)
    : ZRNRendererGLES2(nullptr), m_width(width), m_height(height), m_alphaChannel(alphaChannel) {}

ZRNRendererGLES2Offscreen::~ZRNRendererGLES2Offscreen() { Release(); }

bool ZRNRendererGLES2Offscreen::Initialise() {
    if (m_context != nullptr) {
        return true;
    }
    if (m_width < 1 || m_height < 1 || m_width > 8192 || m_height > 8192) {
        m_error = "picture size out of range";
        return false;
    }
    EGLDisplay display = AcquireDisplay(&m_error);
    if (display == EGL_NO_DISPLAY) {
        return false;
    }
    m_display = display;
    ScopedESBinding binding;
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                                       EGL_RED_SIZE,     5,               EGL_GREEN_SIZE,      6,
                                       EGL_BLUE_SIZE,    5,               EGL_DEPTH_SIZE,      16,
                                       EGL_ALPHA_SIZE,   m_alphaChannel ? 8 : 0,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!binding.Ok() || !eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        m_error = "no EGL configuration for OpenGL ES 2 with a depth buffer";
        return false;
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, m_width, EGL_HEIGHT, m_height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) {
        m_error.Format("eglCreatePbufferSurface failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return false;
    }
    m_surface = surface;
    const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        m_error.Format("eglCreateContext failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return false;
    }
    m_context = context;
    if (!MakeCurrent()) {
        return false;
    }
    OnResize(m_width, m_height);
    if (!ZRNRendererGLES2::Initialise()) {
        m_error = GetShaderError();
        return false;
    }
    return true;
}

bool ZRNRendererGLES2Offscreen::MakeCurrent() {
    ScopedESBinding binding;
    if (m_context == nullptr || !binding.Ok() || !eglMakeCurrent(m_display, m_surface, m_surface, m_context)) {
        m_error = "eglMakeCurrent failed";
        return false;
    }
    return true;
}

bool ZRNRendererGLES2Offscreen::Present() {
    if (!HasContext()) {
        return false;
    }
    glFinish();
    return true;
}

std::unique_ptr<KVLImage> ZRNRendererGLES2Offscreen::ReadPixels() {
    if (!HasContext()) {
        return nullptr;
    }
    return ReadPicture(m_width, m_height);
}

void ZRNRendererGLES2Offscreen::Release() {
    EGLDisplay display = m_display;
    if (display == nullptr) {
        return;
    }
    {
        ScopedESBinding binding;
        if (m_context != nullptr && eglMakeCurrent(display, m_surface, m_surface, m_context)) {
            ReleaseGL();
        }
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
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
}
