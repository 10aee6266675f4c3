// ZRNRendererWGL: pixel format, WGL context and SwapBuffers on the Win32 window.
#include "scene/win32/zrn_renderer_wgl.h"

#include <windows.h>
#include <GL/gl.h>

#include <cstring>

#include "platform/win32/kvl_window_win32.h"
#include "scene/win32/zrn_wgl_pixelformat.h"

namespace {

using GetExtensionsStringARB = const char*(WINAPI*)(HDC);
using GetExtensionsStringEXT = const char*(WINAPI*)();
using SwapIntervalEXT = BOOL(WINAPI*)(int);

// Whether a space-separated extension list names exactly this extension.
bool HasExtension(const char* list, const char* name) {
    if (list == nullptr) {
        return false;
    }
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[n] == ' ' || p[n] == '\0';
        if (startOk && endOk) {
            return true;
        }
    }
    return false;
}

// Sets the swap interval of the current context where WGL_EXT_swap_control is offered
// (some drivers list it among the GL extensions only).
void ApplySwapInterval(HDC dc, int interval) {
    bool offered = false;
    if (auto arb = reinterpret_cast<GetExtensionsStringARB>(
            reinterpret_cast<void*>(wglGetProcAddress("wglGetExtensionsStringARB")))) {
        offered = HasExtension(arb(dc), "WGL_EXT_swap_control");
    }
    if (!offered) {
        if (auto ext = reinterpret_cast<GetExtensionsStringEXT>(
                reinterpret_cast<void*>(wglGetProcAddress("wglGetExtensionsStringEXT")))) {
            offered = HasExtension(ext(), "WGL_EXT_swap_control");
        }
    }
    if (!offered) {
        offered = HasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "WGL_EXT_swap_control");
    }
    if (!offered) {
        return;
    }
    if (auto swap = reinterpret_cast<SwapIntervalEXT>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")))) {
        swap(interval);
    }
}

}  // namespace

ZRNRendererWGL::ZRNRendererWGL(KVLWindowWin32* window) : ZRNRenderer(window), m_wglWindow(window) {
    m_wglWindow->AddListener(this);
}

ZRNRendererWGL::~ZRNRendererWGL() {
    ReleaseContext();
    // The application destroys the window object first; it is then no longer
    // registered and is not touched.
    if (KVLWindowWin32::IsRegistered(m_wglWindow)) {
        m_wglWindow->RemoveListener(this);
    }
}

bool ZRNRendererWGL::Initialise() {
    if (m_context != nullptr) {
        return true;
    }
    HWND handle = m_wglWindow->GetHandle();
    if (handle == nullptr) {
        m_error = "the window is not open";
        return false;
    }
    m_handle = handle;
    HDC dc = GetDC(handle);
    if (dc == nullptr) {
        m_error = "GetDC failed";
        return false;
    }
    m_dc = dc;
    const int format = ZRNSetWGLPixelFormat(dc, 16);
    if (format == 0) {
        m_error = "no pixel format for OpenGL";
        return false;
    }
    if (format < 0) {
        m_error.Format("SetPixelFormat failed (%lu)", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    m_pixelFormat = format;
    HGLRC context = wglCreateContext(dc);
    if (context == nullptr) {
        m_error.Format("wglCreateContext failed (%lu)", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    m_context = context;
    if (!wglMakeCurrent(dc, context)) {
        m_error.Format("wglMakeCurrent failed (%lu)", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    if (m_swapInterval >= 0) {
        ApplySwapInterval(dc, m_swapInterval);
    }
    FollowWindowSize();
    return ZRNRenderer::Initialise();
}

bool ZRNRendererWGL::Present() {
    if (!HasContext() || m_dc == nullptr) {
        return false;
    }
    return SwapBuffers(m_dc) != FALSE;
}

bool ZRNRendererWGL::OnDestroying() {
    // The native window still exists here; its device context goes with it.
    ReleaseContext();
    return true;
}

void ZRNRendererWGL::ReleaseContext() {
    if (m_context != nullptr) {
        if (m_dc != nullptr && wglMakeCurrent(m_dc, m_context)) {
            ReleaseGL();
        }
        if (wglGetCurrentContext() != nullptr) {
            wglMakeCurrent(nullptr, nullptr);
        }
        wglDeleteContext(m_context);
        m_context = nullptr;
    }
    ReleaseGL();
    if (m_dc != nullptr) {
        // Only a window that still exists takes its device context back.
        if (IsWindow(m_handle)) {
            ReleaseDC(m_handle, m_dc);
        }
        m_dc = nullptr;
    }
    m_handle = nullptr;
}

KVLRect ZRNRendererWGL::PictureRect(int32_t width, int32_t height) const {
    if (m_handle == nullptr || m_wglWindow->GetHandle() != m_handle) {
        return KVLRect{0, 0, width, height};
    }
    // The window's rectangle has its origin top left, GL's bottom left.
    const KVLRect r = m_wglWindow->GetPictureRect();
    return KVLRect{r.x, height - r.y - r.height, r.width, r.height};
}
