// ZRNRendererSDL: a GL context on the SDL window, presented by swapping buffers.
#include "scene/sdl/zrn_renderer_sdl.h"

#include <SDL.h>

#include "platform/sdl/kvl_window_sdl.h"

ZRNRendererSDL::ZRNRendererSDL(KVLWindowSDL* window) : ZRNRenderer(window), m_sdlWindow(window) {
    KVLWindowGLRequest request;
    request.redBits = 5;
    request.greenBits = 6;
    request.blueBits = 5;
    request.depthBits = 16;
    request.doubleBuffer = true;
    m_sdlWindow->RequestOpenGL(request);
    m_sdlWindow->AddListener(this);
}

ZRNRendererSDL::~ZRNRendererSDL() {
    // The application may destroy the window object first; its close has then
    // released the context, and the window is no longer in the registry.
    for (KVLWindowSDL* window : KVLWindowSDL::GetRegistry()) {
        if (window == m_sdlWindow) {
            ReleaseContext();
            window->RemoveListener(this);
            break;
        }
    }
}

bool ZRNRendererSDL::Initialise() {
    if (m_context != nullptr) {
        return true;
    }
    SDL_Window* native = m_sdlWindow->GetSDLWindow();
    if (native == nullptr) {
        m_error = "the window is not open";
        return false;
    }
    SDL_GLContext context = SDL_GL_CreateContext(native);
    if (context == nullptr) {
        m_error = SDL_GetError();
        return false;
    }
    m_context = context;
    if (SDL_GL_MakeCurrent(native, context) != 0) {
        m_error = SDL_GetError();
        return false;
    }
    // Not every driver can change the interval; the picture is right either way.
    if (m_swapInterval >= 0) {
        SDL_GL_SetSwapInterval(m_swapInterval);
    }
    FollowWindowSize();
    return ZRNRenderer::Initialise();
}

bool ZRNRendererSDL::Present() {
    if (!HasContext() || m_sdlWindow->GetSDLWindow() == nullptr) {
        return false;
    }
    SDL_GL_SwapWindow(m_sdlWindow->GetSDLWindow());
    return true;
}

bool ZRNRendererSDL::OnDestroying() {
    // SDL video may shut down with the window: the context goes while the native
    // window still exists.
    ReleaseContext();
    return true;
}

void ZRNRendererSDL::ReleaseContext() {
    if (m_context == nullptr) {
        return;
    }
    SDL_Window* native = m_sdlWindow->GetSDLWindow();
    if (native != nullptr && SDL_GL_MakeCurrent(native, m_context) == 0) {
        ReleaseGL();
    }
    SDL_GL_MakeCurrent(native, nullptr);
    SDL_GL_DeleteContext(m_context);
    m_context = nullptr;
    ReleaseGL();
}

KVLRect ZRNRendererSDL::PictureRect(int32_t width, int32_t height) const {
    if (m_sdlWindow->GetSDLWindow() == nullptr) {
        return KVLRect{0, 0, width, height};
    }
    // The window's rectangle has its origin top left, GL's bottom left.
    const KVLRect r = m_sdlWindow->GetPictureRect();
    return KVLRect{r.x, height - r.y - r.height, r.width, r.height};
}
