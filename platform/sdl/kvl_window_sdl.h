// KVLWindowSDL: the engine window on SDL2 (Linux).
//
// Full screen (the default): Open switches the display to the mode chosen by
// KVLChooseDisplayMode (exact mode, else same size at any depth, else the desktop's
// own mode with the picture letterboxed) and covers it with one borderless, topmost
// window. Windowed (SetFullScreen(false) before Open): an ordinary resizable window
// whose client area has the requested size, for development and tests.
//
// The display mode in force before Open is recorded there and is back in force once
// the native window is gone (closed by the user or destroyed with the object). The
// window is closed the same way in both cases: every listener hears OnDestroying, then
// every listener hears OnDestroyed, while the native window still exists; then it is
// destroyed. A second close does nothing.
//
// Events reach the listeners only through PumpMessages, which the main loop calls
// once per pass on the main thread (the thread that opened the window). Window
// resizes arrive as OnResize, exposures as OnPresent, key presses as OnKeyDown. Open
// itself reports the initial client size with one OnResize.
//
// OpenGL: this class creates no GL context. A renderer asks for a GL-capable window
// with RequestOpenGL before Open (on X11 the visual is fixed when the window is
// created) and then creates its context on GetSDLWindow(). SDL's video subsystem is
// held from Open until the object is destroyed, and may end with it (taking the
// display connection along): a context made on the window is best released in
// OnDestroying or OnDestroyed, while the native window still exists.
//
// This header does not include SDL, so code that only creates and opens the window
// (the application) stays free of SDL headers.
#pragma once

#include <cstdint>

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "platform/kvl_displaymode.h"
#include "platform/kvl_window.h"

struct SDL_Window;

// Framebuffer a GL-capable window is created for: minimum channel and depth sizes.
struct KVLWindowGLRequest {
    int32_t redBits = 5;
    int32_t greenBits = 6;
    int32_t blueBits = 5;
    int32_t depthBits = 16;
    bool doubleBuffer = true;
};

class KVLWindowSDL : public KVLWindow {
public:
    // Stores the values and registers the window; opens nothing.
    KVLWindowSDL(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel);
    ~KVLWindowSDL() override;

    // Open on a window that is already open does nothing and returns true. A window
    // that has been closed can be opened again.
    bool Open() override;
    void SetCursorMode(int32_t mode) override;
    void Move(int32_t x, int32_t y) override;
    void Center() override;
    void SetClientSize(int32_t width, int32_t height) override;
    void Show(uint8_t flag) override;
    void Invalidate() override;

    // Closes the native window as a user's close does (see the file header).
    void Close();

    // Before Open: create the window able to carry an OpenGL context.
    void RequestOpenGL(const KVLWindowGLRequest& request = KVLWindowGLRequest());
    bool IsOpenGLRequested() const { return m_openGL; }

    // The native window; null until Open succeeds and again once it is closed.
    SDL_Window* GetSDLWindow() const { return m_window; }
    bool IsOpen() const { return m_window != nullptr; }
    // The full-screen mode Open chose (and the desktop mode it fell back to when the
    // switch was refused). Meaningful after a full-screen Open.
    const KVLDisplayModeChoice& GetModeChoice() const { return m_choice; }
    // The desktop's mode as Open found it.
    const KVLDisplayMode& GetSavedDisplayMode() const { return m_savedMode; }
    // Current client size in pixels (0 x 0 when not open).
    void GetClientSize(int32_t* width, int32_t* height) const override;
    // Where the picture goes inside the client area: the largest rectangle of the
    // requested aspect, centred. The whole client area when the aspects agree.
    KVLRect GetPictureRect() const;

    // Handles every pending event and delivers it to the window it belongs to. False
    // when the system asked the program to quit (a signal, or SDL's quit event).
    static bool PumpMessages();
    // All constructed windows, in construction order.
    static const KVLArray<KVLWindowSDL*>& GetRegistry();
    // The registered window whose native window has this SDL id; null when none.
    static KVLWindowSDL* FindWindow(uint32_t windowId);

private:
    bool OpenNative();
    bool EnterFullScreen();
    void ApplyCursorMode();

    SDL_Window* m_window = nullptr;
    uint32_t m_windowId = 0;
    KVLDisplayMode m_savedMode;
    KVLDisplayModeChoice m_choice;
    KVLWindowGLRequest m_glRequest;
    bool m_openGL = false;
    bool m_videoHeld = false;
    bool m_cursorHidden = false;
    bool m_presentPending = false;
};
