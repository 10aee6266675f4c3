// EGL pbuffers on Mesa's surfaceless platform for the native offscreen bindings.
#include "scene/sdl/zrn_egl_pbuffer.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

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

// Binds the API for the lifetime of the object, then the API bound before.
class ScopedAPI {
public:
    explicit ScopedAPI(ZRNEGLApi api) : m_previous(eglQueryAPI()) {
        m_api = api == ZRNEGLApi::OpenGL ? EGL_OPENGL_API : EGL_OPENGL_ES_API;
        m_ok = eglBindAPI(m_api) == EGL_TRUE;
    }
    ~ScopedAPI() {
        if (m_previous != m_api && m_previous != EGL_NONE) {
            eglBindAPI(m_previous);
        }
    }
    ScopedAPI(const ScopedAPI&) = delete;
    ScopedAPI& operator=(const ScopedAPI&) = delete;
    bool Ok() const { return m_ok; }

private:
    EGLenum m_previous;
    EGLenum m_api = EGL_NONE;
    bool m_ok = false;
};

}  // namespace

bool ZRNEGLCreate(ZRNEGLApi api, int32_t width, int32_t height, bool alpha, ZRNOffscreenHandles* out, KVLString* error) {
    EGLDisplay display = AcquireDisplay(error);
    if (display == EGL_NO_DISPLAY) {
        return false;
    }
    out->display = display;
    const bool gl = api == ZRNEGLApi::OpenGL;
    ScopedAPI binding(api);
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       gl ? EGL_OPENGL_BIT : EGL_OPENGL_ES2_BIT,
                                       EGL_RED_SIZE,
                                       5,
                                       EGL_GREEN_SIZE,
                                       6,
                                       EGL_BLUE_SIZE,
                                       5,
                                       EGL_DEPTH_SIZE,
                                       16,
                                       EGL_ALPHA_SIZE,
                                       alpha ? 8 : 0,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!binding.Ok() || !eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        *error = gl ? "no EGL configuration for OpenGL with a depth buffer"
                    : "no EGL configuration for OpenGL ES 2 with a depth buffer";
        return false;
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) {
        error->Format("eglCreatePbufferSurface failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return false;
    }
    out->surface = surface;
    const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, gl ? nullptr : contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        error->Format("eglCreateContext failed (0x%x)", static_cast<unsigned>(eglGetError()));
        return false;
    }
    out->context = context;
    return true;
}

bool ZRNEGLMakeCurrent(ZRNEGLApi api, const ZRNOffscreenHandles& pbuffer, KVLString* error) {
    ScopedAPI binding(api);
    if (pbuffer.context == nullptr || !binding.Ok() ||
        !eglMakeCurrent(pbuffer.display, pbuffer.surface, pbuffer.surface, pbuffer.context)) {
        *error = "eglMakeCurrent failed";
        return false;
    }
    return true;
}

void ZRNEGLRelease(ZRNEGLApi api, ZRNOffscreenHandles* pbuffer, const std::function<void()>& releaseGL) {
    EGLDisplay display = pbuffer->display;
    if (display == nullptr) {
        return;
    }
    {
        ScopedAPI binding(api);
        if (pbuffer->context != nullptr && eglMakeCurrent(display, pbuffer->surface, pbuffer->surface, pbuffer->context)) {
            releaseGL();
        }
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (pbuffer->context != nullptr) {
            eglDestroyContext(display, pbuffer->context);
        }
        if (pbuffer->surface != nullptr) {
            eglDestroySurface(display, pbuffer->surface);
        }
    }
    *pbuffer = ZRNOffscreenHandles();
    eglReleaseThread();
}
