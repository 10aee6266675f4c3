// KVLWindowWin32: display-mode change, native window and its window procedure.
#include "platform/win32/kvl_window_win32.h"

#include <windows.h>

namespace {

// The process-wide window registry. Kept on the heap and never freed, so that a
// window destroyed during static destruction still finds it intact.
KVLArray<KVLWindowWin32*>& Registry() {
    static KVLArray<KVLWindowWin32*>* registry = new KVLArray<KVLWindowWin32*>();
    return *registry;
}

constexpr DWORD kFullScreenStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kWindowedStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// The thread that opened the first window; Ctrl+C in the console asks it to quit.
DWORD g_loopThread = 0;

BOOL WINAPI OnConsoleInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    // Ends the main loop as WM_QUIT does, so the teardown (and the mode restore) runs.
    return PostThreadMessageA(g_loopThread, WM_QUIT, 0, 0);
}

int32_t MapKey(WPARAM key) {
    switch (key) {
        case VK_LEFT: return KVLKeyLeft;
        case VK_RIGHT: return KVLKeyRight;
        case VK_UP: return KVLKeyUp;
        case VK_DOWN: return KVLKeyDown;
        case VK_PRIOR: return KVLKeyPageUp;
        case VK_NEXT: return KVLKeyPageDown;
        case VK_HOME: return KVLKeyHome;
        case VK_END: return KVLKeyEnd;
        case VK_ESCAPE: return KVLKeyEscape;
        case VK_RETURN: return 13;
        case VK_SPACE: return ' ';
        default: break;
    }
    // Letter keys report their upper-case code; the listeners get lower case.
    if (key >= 'A' && key <= 'Z') {
        return static_cast<int32_t>(key - 'A' + 'a');
    }
    if (key >= '0' && key <= '9') {
        return static_cast<int32_t>(key);
    }
    return KVLKeyOther;
}

}  // namespace

class KVLWindowWin32Proc {
public:
    static LRESULT CALLBACK Proc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
        // Messages sent while CreateWindowExA runs come before the handle is stored:
        // no object is found and they reach no listener.
        KVLWindowWin32* window = nullptr;
        for (KVLWindowWin32* w : Registry()) {
            if (w->m_handle == handle) {
                window = w;
                break;
            }
        }
        if (window != nullptr && window->HandleMessage(message, wParam, lParam)) {
            return 0;
        }
        return DefWindowProcA(handle, message, wParam, lParam);
    }
};

KVLWindowWin32::KVLWindowWin32(HINSTANCE__* instance, const char* title, int32_t width, int32_t height,
                               int32_t bitsPerPixel)
    : KVLWindow(title, width, height, bitsPerPixel), m_instance(instance) {
    Registry().Add(this);
}

KVLWindowWin32::KVLWindowWin32(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel)
    : KVLWindowWin32(GetModuleHandleA(nullptr), title, width, height, bitsPerPixel) {}

KVLWindowWin32::~KVLWindowWin32() {
    // Still registered here, so the listeners hear the destruction.
    Close();
    RestoreMode();
    KVLArray<KVLWindowWin32*>& registry = Registry();
    for (int32_t i = 0; i < registry.GetCount(); ++i) {
        if (registry[i] == this) {
            registry.RemoveAt(i);
            break;
        }
    }
}

bool KVLWindowWin32::Open() {
    if (m_handle != nullptr) {
        return true;
    }
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = &KVLWindowWin32Proc::Proc;
    windowClass.hInstance = m_instance;
    windowClass.lpszClassName = m_title.c_str();
    // Fails harmlessly when the class exists from an earlier window of that title.
    RegisterClassA(&windowClass);

    HWND handle = nullptr;
    if (m_fullScreen) {
        if (!SwitchMode()) {
            return false;
        }
        // The screen size is read after the switch: the window covers the new mode.
        handle = CreateWindowExA(WS_EX_TOPMOST, m_title.c_str(), m_title.c_str(), kFullScreenStyle, 0, 0,
                                 GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                 m_instance, nullptr);
    } else {
        RECT outer = {0, 0, m_width > 0 ? m_width : 1, m_height > 0 ? m_height : 1};
        AdjustWindowRectEx(&outer, kWindowedStyle, FALSE, 0);
        handle = CreateWindowExA(0, m_title.c_str(), m_title.c_str(), kWindowedStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                 outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, m_instance,
                                 nullptr);
    }
    if (handle == nullptr) {
        RestoreMode();
        return false;
    }
    m_handle = handle;
    if (m_fullScreen) {
        // An overlapped window gets a caption whatever was asked; take it away, and the
        // frame and the sunken edge with it.
        const LONG style = GetWindowLongA(handle, GWL_STYLE);
        if ((style & (WS_CAPTION | WS_THICKFRAME)) != 0) {
            SetWindowLongA(handle, GWL_STYLE, style & ~(WS_CAPTION | WS_THICKFRAME));
        }
        const LONG exStyle = GetWindowLongA(handle, GWL_EXSTYLE);
        if ((exStyle & WS_EX_CLIENTEDGE) != 0) {
            SetWindowLongA(handle, GWL_EXSTYLE, exStyle & ~WS_EX_CLIENTEDGE);
        }
    }
    if (g_loopThread == 0) {
        g_loopThread = GetCurrentThreadId();
        SetConsoleCtrlHandler(&OnConsoleInterrupt, TRUE);
    }
    ShowWindow(handle, m_fullScreen ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    // The size messages of the creation came before the handle was stored; the
    // listeners learn the size they start with here.
    if (m_handle != nullptr) {
        int32_t width = 0;
        int32_t height = 0;
        GetClientSize(&width, &height);
        NotifyResize(width, height);
    }
    return m_handle != nullptr;
}

bool KVLWindowWin32::SwitchMode() {
    // The desktop's mode as the screen reports it now, to go back to.
    HDC screen = CreateCompatibleDC(nullptr);
    if (screen != nullptr) {
        m_savedMode.bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
        m_savedMode.width = GetDeviceCaps(screen, HORZRES);
        m_savedMode.height = GetDeviceCaps(screen, VERTRES);
        DeleteDC(screen);
    }
    // The first offered mode of exactly the requested size and depth; the refresh rate
    // and everything else play no part.
    DEVMODEA mode;
    for (DWORD i = 0;; ++i) {
        ZeroMemory(&mode, sizeof mode);
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsA(nullptr, i, &mode)) {
            return false;
        }
        if (static_cast<int32_t>(mode.dmBitsPerPel) == m_bitsPerPixel &&
            static_cast<int32_t>(mode.dmPelsWidth) == m_width && static_cast<int32_t>(mode.dmPelsHeight) == m_height) {
            break;
        }
    }
    // A dynamic change: nothing is stored in the registry.
    if (ChangeDisplaySettingsA(&mode, 0) != DISP_CHANGE_SUCCESSFUL) {
        return false;
    }
    m_modeChanged = true;
    return true;
}

void KVLWindowWin32::RestoreMode() {
    if (!m_modeChanged) {
        return;
    }
    m_modeChanged = false;
    DEVMODEA mode;
    ZeroMemory(&mode, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmBitsPerPel = static_cast<DWORD>(m_savedMode.bitsPerPixel);
    mode.dmPelsWidth = static_cast<DWORD>(m_savedMode.width);
    mode.dmPelsHeight = static_cast<DWORD>(m_savedMode.height);
    ChangeDisplaySettingsA(&mode, 0);
}

void KVLWindowWin32::Close() {
    if (m_handle != nullptr) {
        // WM_DESTROY reaches the listeners; WM_NCDESTROY clears the handle and puts
        // the mode back.
        DestroyWindow(m_handle);
        m_handle = nullptr;
    }
}

bool KVLWindowWin32::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_DESTROY:
            NotifyDestroy();
            return true;
        case WM_NCDESTROY:
            // The last message of the native window, however it was destroyed.
            m_handle = nullptr;
            RestoreMode();
            return false;
        case WM_SIZE:
            NotifyResize(LOWORD(lParam), HIWORD(lParam));
            return true;
        case WM_PAINT:
            // Deliberately not validated: see the file header.
            return true;
        case WM_ERASEBKGND:
            NotifyPresent();
            return true;
        case WM_KEYDOWN:
            NotifyKeyDown(MapKey(wParam));
            return false;
        default:
            return false;
    }
}

void KVLWindowWin32::SetCursorMode(int32_t mode) {
    if (mode == -1) {
        ShowCursor(FALSE);
    }
}

void KVLWindowWin32::Move(int32_t x, int32_t y) {
    if (m_handle == nullptr) {
        return;
    }
    RECT r;
    if (GetWindowRect(m_handle, &r)) {
        MoveWindow(m_handle, x, y, r.right - r.left, r.bottom - r.top, TRUE);
    }
}

void KVLWindowWin32::Center() {
    if (m_handle == nullptr) {
        return;
    }
    RECT desktop;
    RECT window;
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(m_handle, &window)) {
        return;
    }
    const LONG x = ((desktop.right - desktop.left) - (window.right - window.left)) / 2;
    const LONG y = ((desktop.bottom - desktop.top) - (window.bottom - window.top)) / 2;
    Move(x, y);
}

void KVLWindowWin32::SetClientSize(int32_t width, int32_t height) {
    if (m_handle == nullptr) {
        return;
    }
    RECT outer;
    RECT client;
    if (!GetWindowRect(m_handle, &outer) || !GetClientRect(m_handle, &client)) {
        return;
    }
    const int32_t w = (outer.right - outer.left) - (client.right - client.left) + width;
    const int32_t h = (outer.bottom - outer.top) - (client.bottom - client.top) + height;
    SetWindowPos(m_handle, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
}

void KVLWindowWin32::Show(uint8_t flag) {
    if (m_handle != nullptr) {
        ShowWindow(m_handle, flag);
    }
}

void KVLWindowWin32::Invalidate() {
    if (m_handle != nullptr) {
        RedrawWindow(m_handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW);
    }
}

void KVLWindowWin32::GetClientSize(int32_t* width, int32_t* height) const {
    RECT r = {0, 0, 0, 0};
    if (m_handle != nullptr && !GetClientRect(m_handle, &r)) {
        r = RECT{0, 0, 0, 0};
    }
    if (width != nullptr) {
        *width = r.right - r.left;
    }
    if (height != nullptr) {
        *height = r.bottom - r.top;
    }
}

KVLRect KVLWindowWin32::GetPictureRect() const {
    int32_t w = 0;
    int32_t h = 0;
    GetClientSize(&w, &h);
    return KVLLetterbox(w, h, m_width, m_height);
}

void KVLWindowWin32::WaitForMessage() {
    // Busy on purpose: the never-validated window keeps a WM_PAINT pending, so this
    // returns at once while a window is open.
    MSG msg;
    while (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    }
}

bool KVLWindowWin32::PumpMessages() {
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

const KVLArray<KVLWindowWin32*>& KVLWindowWin32::GetRegistry() { return Registry(); }

bool KVLWindowWin32::IsRegistered(const KVLWindowWin32* window) {
    for (KVLWindowWin32* w : Registry()) {
        if (w == window) {
            return true;
        }
    }
    return false;
}
