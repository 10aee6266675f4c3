// KVLWindowSDL: display-mode change, native window and event delivery over SDL2.
#include "platform/sdl/kvl_window_sdl.h"

#include <SDL.h>
#include <signal.h>

#include <atomic>

#include <vector>

namespace {

// The process-wide window registry. Kept on the heap and never freed, so that a
// window destroyed during static destruction still finds it intact.
KVLArray<KVLWindowSDL*>& Registry() {
    static KVLArray<KVLWindowSDL*>* registry = new KVLArray<KVLWindowSDL*>();
    return *registry;
}

// Bits per pixel as the display stores them: 32 for 8-bit channels in four bytes,
// 16 for both 5-5-5 and 5-6-5, which is how the requested depth is meant.
int32_t DepthOf(Uint32 format) {
    const int bytes = SDL_BYTESPERPIXEL(format);
    if (bytes >= 2) {
        return bytes * 8;
    }
    return SDL_BITSPERPIXEL(format);
}

KVLDisplayMode ToMode(const SDL_DisplayMode& m) {
    return KVLDisplayMode{m.w, m.h, DepthOf(m.format), m.refresh_rate};
}

int32_t MapKey(SDL_Keycode sym) {
    switch (sym) {
        case SDLK_LEFT: return KVLKeyLeft;
        case SDLK_RIGHT: return KVLKeyRight;
        case SDLK_UP: return KVLKeyUp;
        case SDLK_DOWN: return KVLKeyDown;
        case SDLK_PAGEUP: return KVLKeyPageUp;
        case SDLK_PAGEDOWN: return KVLKeyPageDown;
        case SDLK_HOME: return KVLKeyHome;
        case SDLK_END: return KVLKeyEnd;
        default: break;
    }
    // SDL's codes for printable keys are their lower-case ASCII codes.
    if (sym >= 0 && sym < 128) {
        return sym;
    }
    return KVLKeyOther;
}

// Ctrl+C or a termination request while a window is open ends the program through
// its main loop, as a quit request from the desktop does, so that the display mode is
// put back and the show ends cleanly; the default action would leave the screen in
// the demo's mode. The handler only sets a lock-free flag, which PumpMessages reads.
std::atomic<bool> g_quitSignal{false};
int g_signalHolders = 0;
struct sigaction g_previousInt;
struct sigaction g_previousTerm;

extern "C" void OnQuitSignal(int) { g_quitSignal.store(true); }

void HoldQuitSignals() {
    if (g_signalHolders++ > 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = &OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
}

void ReleaseQuitSignals() {
    if (g_signalHolders == 0 || --g_signalHolders > 0) {
        return;
    }
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

}  // namespace

KVLWindowSDL::KVLWindowSDL(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel)
    : KVLWindow(title, width, height, bitsPerPixel) {
    Registry().Add(this);
}

KVLWindowSDL::~KVLWindowSDL() {
    Close();
    if (m_videoHeld) {
        ReleaseQuitSignals();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    KVLArray<KVLWindowSDL*>& registry = Registry();
    for (int32_t i = 0; i < registry.GetCount(); ++i) {
        if (registry[i] == this) {
            registry.RemoveAt(i);
            break;
        }
    }
}

void KVLWindowSDL::RequestOpenGL(const KVLWindowGLRequest& request) {
    m_openGL = true;
    m_glRequest = request;
}

bool KVLWindowSDL::Open() {
    if (m_window != nullptr) {
        return true;
    }
    if (!m_videoHeld) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return false;
        }
        m_videoHeld = true;
        HoldQuitSignals();
    }
    // Closing the last window is the listeners' business (the demo ends through
    // OnDestroying); SDL's quit event is left for requests from outside.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");

    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        return false;
    }
    m_savedMode = ToMode(desktop);
    if (!OpenNative()) {
        return false;
    }
    int32_t w = 0;
    int32_t h = 0;
    GetClientSize(&w, &h);
    NotifyResize(w, h);
    return true;
}

bool KVLWindowSDL::OpenNative() {
    if (m_openGL) {
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, m_glRequest.redBits);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, m_glRequest.greenBits);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, m_glRequest.blueBits);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, m_glRequest.depthBits);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, m_glRequest.doubleBuffer ? 1 : 0);
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (m_openGL) {
        flags |= SDL_WINDOW_OPENGL;
    }
    int x = SDL_WINDOWPOS_CENTERED_DISPLAY(0);
    int y = SDL_WINDOWPOS_CENTERED_DISPLAY(0);
    int w = m_width > 0 ? m_width : 1;
    int h = m_height > 0 ? m_height : 1;
    if (m_fullScreen) {
        flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP;
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(0, &bounds) == 0) {
            x = bounds.x;
            y = bounds.y;
        }
        w = m_savedMode.width;
        h = m_savedMode.height;
    } else {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    m_window = SDL_CreateWindow(m_title.c_str(), x, y, w, h, flags);
    if (m_window == nullptr) {
        return false;
    }
    m_windowId = SDL_GetWindowID(m_window);
    // Shown before the switch: SDL changes the mode of a hidden window only when it is
    // shown later, and would then not report a refusal.
    SDL_ShowWindow(m_window);
    if (m_fullScreen && !EnterFullScreen()) {
        SDL_DestroyWindow(m_window);
        m_window = nullptr;
        m_windowId = 0;
        return false;
    }
    SDL_RaiseWindow(m_window);
    ApplyCursorMode();
    return true;
}

bool KVLWindowSDL::EnterFullScreen() {
    const int count = SDL_GetNumDisplayModes(0);
    std::vector<SDL_DisplayMode> sdlModes;
    std::vector<KVLDisplayMode> modes;
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) == 0) {
            sdlModes.push_back(m);
            modes.push_back(ToMode(m));
        }
    }
    m_choice = KVLChooseDisplayMode(modes, m_savedMode, m_width, m_height, m_bitsPerPixel);
    if (m_choice.index >= 0) {
        SDL_DisplayMode wanted = sdlModes[static_cast<size_t>(m_choice.index)];
        SDL_SetWindowSize(m_window, wanted.w, wanted.h);
        SDL_DisplayMode now;
        if (SDL_SetWindowDisplayMode(m_window, &wanted) == 0 &&
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN) == 0 &&
            SDL_GetCurrentDisplayMode(0, &now) == 0 && now.w == wanted.w && now.h == wanted.h &&
            DepthOf(now.format) == DepthOf(wanted.format)) {
            return true;
        }
        // The switch was refused or did not take: the desktop's own mode will do,
        // letterboxed.
        SDL_SetWindowFullscreen(m_window, 0);
        m_choice = KVLChooseDisplayMode({}, m_savedMode, m_width, m_height, m_bitsPerPixel);
    }
    return SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
}

void KVLWindowSDL::Close() {
    if (m_window == nullptr) {
        return;
    }
    NotifyDestroy();
    // Leaving full screen puts the desktop's mode back before the window goes.
    if (m_fullScreen) {
        SDL_SetWindowFullscreen(m_window, 0);
    }
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
    m_windowId = 0;
    m_presentPending = false;
}

void KVLWindowSDL::ApplyCursorMode() {
    if (m_cursorHidden && m_videoHeld) {
        SDL_ShowCursor(SDL_DISABLE);
    }
}

void KVLWindowSDL::SetCursorMode(int32_t mode) {
    if (mode == -1) {
        m_cursorHidden = true;
        ApplyCursorMode();
    }
}

void KVLWindowSDL::Move(int32_t x, int32_t y) {
    if (m_window == nullptr) {
        return;
    }
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    if (SDL_GetWindowBordersSize(m_window, &top, &left, &bottom, &right) != 0) {
        top = left = 0;
    }
    // SDL places the client area; (x, y) is where the frame's corner goes.
    SDL_SetWindowPosition(m_window, x + left, y + top);
}

void KVLWindowSDL::Center() {
    if (m_window == nullptr) {
        return;
    }
    const int display = SDL_GetWindowDisplayIndex(m_window);
    SDL_Rect desk;
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &desk) != 0) {
        return;
    }
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(m_window, &w, &h);
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    if (SDL_GetWindowBordersSize(m_window, &top, &left, &bottom, &right) != 0) {
        top = left = bottom = right = 0;
    }
    const int outerW = w + left + right;
    const int outerH = h + top + bottom;
    Move(desk.x + (desk.w - outerW) / 2, desk.y + (desk.h - outerH) / 2);
}

void KVLWindowSDL::SetClientSize(int32_t width, int32_t height) {
    if (m_window == nullptr || width <= 0 || height <= 0) {
        return;
    }
    SDL_SetWindowSize(m_window, width, height);
}

void KVLWindowSDL::Show(uint8_t flag) {
    if (m_window == nullptr) {
        return;
    }
    if (flag == 0) {
        SDL_HideWindow(m_window);
    } else {
        SDL_ShowWindow(m_window);
    }
}

void KVLWindowSDL::Invalidate() {
    if (m_window != nullptr) {
        m_presentPending = true;
    }
}

void KVLWindowSDL::GetClientSize(int32_t* width, int32_t* height) const {
    int w = 0;
    int h = 0;
    if (m_window != nullptr) {
        SDL_GetWindowSizeInPixels(m_window, &w, &h);
    }
    if (width != nullptr) {
        *width = w;
    }
    if (height != nullptr) {
        *height = h;
    }
}

KVLRect KVLWindowSDL::GetPictureRect() const {
    int32_t w = 0;
    int32_t h = 0;
    GetClientSize(&w, &h);
    return KVLLetterbox(w, h, m_width, m_height);
}

const KVLArray<KVLWindowSDL*>& KVLWindowSDL::GetRegistry() { return Registry(); }

KVLWindowSDL* KVLWindowSDL::FindWindow(uint32_t windowId) {
    if (windowId == 0) {
        return nullptr;
    }
    for (KVLWindowSDL* w : Registry()) {
        if (w->m_windowId == windowId) {
            return w;
        }
    }
    return nullptr;
}

bool KVLWindowSDL::PumpMessages() {
    bool keepGoing = true;
    if (g_quitSignal.exchange(false)) {
        keepGoing = false;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_QUIT:
                keepGoing = false;
                break;
            case SDL_WINDOWEVENT: {
                // Events for a window no object holds (yet, or any more) reach no one.
                KVLWindowSDL* w = FindWindow(event.window.windowID);
                if (w == nullptr) {
                    break;
                }
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        w->Close();
                        break;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        w->NotifyResize(event.window.data1, event.window.data2);
                        break;
                    case SDL_WINDOWEVENT_EXPOSED:
                        w->NotifyPresent();
                        break;
                    default:
                        break;
                }
                break;
            }
            case SDL_KEYDOWN: {
                KVLWindowSDL* w = FindWindow(event.key.windowID);
                if (w != nullptr) {
                    w->NotifyKeyDown(MapKey(event.key.keysym.sym));
                }
                break;
            }
            default:
                break;
        }
    }
    // Presents asked for by Invalidate. By index: a listener may create or destroy
    // windows meanwhile.
    KVLArray<KVLWindowSDL*>& registry = Registry();
    for (int32_t i = 0; i < registry.GetCount(); ++i) {
        KVLWindowSDL* w = registry[i];
        if (w->m_presentPending) {
            w->m_presentPending = false;
            w->NotifyPresent();
        }
    }
    return keepGoing;
}
