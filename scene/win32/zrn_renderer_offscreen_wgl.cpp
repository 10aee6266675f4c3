// ZRNRendererOffscreen on Windows: a WGL context on a hidden window of the picture's
// size, drawing into a framebuffer object (GL_EXT_framebuffer_object: 8-bit RGBA
// colour, 16-bit depth) so that no pixel depends on the window being visible. Where
// the driver has no framebuffer objects the picture is the hidden window's back
// buffer.
//
// The hidden window belongs to the thread that calls Initialise; the renderer must be
// destroyed on that thread. The framebuffer and its buffers live in the renderer's
// own context and go with it.
#include "scene/zrn_renderer_offscreen.h"

#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <string_view>

#include "scene/win32/zrn_wgl_pixelformat.h"

namespace {

constexpr const char* kWindowClass = "ZRNRendererOffscreen";

bool RegisterWindowClass() {
    static const bool registered = [] {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = &DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

template <typename T>
T Load(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(wglGetProcAddress(name)));
}

// Makes a framebuffer object of the picture's size current for drawing and reading.
// False, with nothing left bound, when the driver has none or refuses the sizes.
bool BindFramebuffer(int32_t width, int32_t height) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions == nullptr || std::string_view(extensions).find("GL_EXT_framebuffer_object") == std::string_view::npos) {
        return false;
    }
    auto genFramebuffers = Load<PFNGLGENFRAMEBUFFERSEXTPROC>("glGenFramebuffersEXT");
    auto bindFramebuffer = Load<PFNGLBINDFRAMEBUFFEREXTPROC>("glBindFramebufferEXT");
    auto deleteFramebuffers = Load<PFNGLDELETEFRAMEBUFFERSEXTPROC>("glDeleteFramebuffersEXT");
    auto genRenderbuffers = Load<PFNGLGENRENDERBUFFERSEXTPROC>("glGenRenderbuffersEXT");
    auto bindRenderbuffer = Load<PFNGLBINDRENDERBUFFEREXTPROC>("glBindRenderbufferEXT");
    auto deleteRenderbuffers = Load<PFNGLDELETERENDERBUFFERSEXTPROC>("glDeleteRenderbuffersEXT");
    auto renderbufferStorage = Load<PFNGLRENDERBUFFERSTORAGEEXTPROC>("glRenderbufferStorageEXT");
    auto attach = Load<PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC>("glFramebufferRenderbufferEXT");
    auto status = Load<PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC>("glCheckFramebufferStatusEXT");
    if (genFramebuffers == nullptr || bindFramebuffer == nullptr || deleteFramebuffers == nullptr ||
        genRenderbuffers == nullptr || bindRenderbuffer == nullptr || deleteRenderbuffers == nullptr ||
        renderbufferStorage == nullptr || attach == nullptr || status == nullptr) {
        return false;
    }
    GLuint framebuffer = 0;
    GLuint buffers[2] = {0, 0};
    genFramebuffers(1, &framebuffer);
    genRenderbuffers(2, buffers);
    bindFramebuffer(GL_FRAMEBUFFER_EXT, framebuffer);
    bindRenderbuffer(GL_RENDERBUFFER_EXT, buffers[0]);
    renderbufferStorage(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    attach(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, buffers[0]);
    bindRenderbuffer(GL_RENDERBUFFER_EXT, buffers[1]);
    renderbufferStorage(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT16, width, height);
    attach(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, buffers[1]);
    bindRenderbuffer(GL_RENDERBUFFER_EXT, 0);
    if (status(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
        bindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
        deleteFramebuffers(1, &framebuffer);
        deleteRenderbuffers(2, buffers);
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    return true;
}

}  // namespace

ZRNRendererOffscreen::~ZRNRendererOffscreen() { Release(); }

bool ZRNRendererOffscreen::CreateContext() {
    if (!RegisterWindowClass()) {
        m_error = "unable to register the offscreen window class";
        return false;
    }
    HWND window = CreateWindowExA(0, kWindowClass, "", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, GetWidth(),
                                  GetHeight(), nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        m_error.Format("unable to create the offscreen window (%lu)", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    m_handles.display = window;
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        m_error = "GetDC failed";
        return false;
    }
    m_handles.surface = dc;
    if (ZRNSetWGLPixelFormat(dc, 24) <= 0) {
        m_error.Format("no OpenGL pixel format for the offscreen window (%lu)",
                       static_cast<unsigned long>(GetLastError()));
        return false;
    }
    HGLRC context = wglCreateContext(dc);
    if (context == nullptr) {
        m_error.Format("wglCreateContext failed (%lu)", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    m_handles.context = context;
    return true;
}

// After the base state: its glDrawBuffer(GL_BACK) is for the window's buffers.
void ZRNRendererOffscreen::SelectDrawBuffer() {
    if (!BindFramebuffer(GetWidth(), GetHeight())) {
        glReadBuffer(GL_BACK);
    }
}

bool ZRNRendererOffscreen::MakeCurrent() {
    if (m_handles.context == nullptr ||
        !wglMakeCurrent(static_cast<HDC>(m_handles.surface), static_cast<HGLRC>(m_handles.context))) {
        m_error = "wglMakeCurrent failed";
        return false;
    }
    return true;
}

void ZRNRendererOffscreen::SelectReadBuffer() {
    // Chosen at Initialise: the framebuffer object's colour, or the window's back
    // buffer, where the drawing went.
}

void ZRNRendererOffscreen::FinishDrawing() { glFinish(); }

void ZRNRendererOffscreen::Release() {
    HWND window = static_cast<HWND>(m_handles.display);
    HDC dc = static_cast<HDC>(m_handles.surface);
    HGLRC context = static_cast<HGLRC>(m_handles.context);
    if (context != nullptr) {
        if (dc != nullptr && wglMakeCurrent(dc, context)) {
            ReleaseGL();
        }
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context);
    }
    ReleaseGL();
    if (dc != nullptr) {
        ReleaseDC(window, dc);
    }
    if (window != nullptr) {
        DestroyWindow(window);
    }
    m_handles.context = nullptr;
    m_handles.surface = nullptr;
    m_handles.display = nullptr;
}
