// KVLWindowWin32: the engine window on Win32.
//
// Full screen (the default): Open records the desktop's mode, switches the display to
// the first enumerated mode with exactly the requested width, height and bits per
// pixel (refresh rate ignored; no match or a refused change: Open fails and the display
// is as before), and covers the new screen with one topmost window without caption,
// frame or client edge, shown maximised. Windowed (SetFullScreen(false) before Open):
// no mode change, an ordinary window whose client area has the requested size.
//
// The window class is registered under the title. One window procedure serves every
// window object: it finds the object by its native handle in the process-wide registry
// (a message for a handle no object holds yet, during creation, reaches no listener)
// and passes on four messages: WM_DESTROY (every listener hears OnDestroying, then
// every listener OnDestroyed), WM_SIZE (OnResize with the new client size, 0 x 0
// included), WM_ERASEBKGND (OnPresent), WM_KEYDOWN (OnKeyDown). WM_PAINT is answered
// without validating anything: the client area stays invalid, so a WM_PAINT is always
// available while the window exists and the main loop never waits for input.
//
// The object forgets its native handle when the native window is gone (closed by the
// user with Alt+F4, or destroyed by the program). The destructor destroys the native
// window if it still exists and then puts the recorded mode back; the mode is also put
// back at once when the window cannot be created after the change.
//
// Main loop (one pass): WaitForMessage spins on PeekMessage until a message is pending,
// the caller does one frame step, PumpMessages takes, translates and dispatches
// exactly one message and returns false for WM_QUIT. All of it runs on the thread that
// opened the window; nothing here is locked.
//
// This header does not include windows.h; the handles are the system's handle types,
// declared the way windows.h declares them.
#pragma once

#include <cstdint>

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "platform/kvl_displaymode.h"
#include "platform/kvl_window.h"

struct HWND__;
struct HINSTANCE__;

class KVLWindowWin32 : public KVLWindow {
public:
    // Stores the values and registers the window; creates nothing on the screen.
    KVLWindowWin32(HINSTANCE__* instance, const char* title, int32_t width, int32_t height,
                   int32_t bitsPerPixel);
    // The same for the program's own module.
    KVLWindowWin32(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel);
    ~KVLWindowWin32() override;

    // Open on a window that exists already does nothing and returns true.
    bool Open() override;
    // -1 hides the mouse cursor (ShowCursor(FALSE)); other values change nothing.
    void SetCursorMode(int32_t mode) override;
    void Move(int32_t x, int32_t y) override;
    void Center() override;
    void SetClientSize(int32_t width, int32_t height) override;
    // The flag is a ShowWindow command (SW_HIDE 0, SW_SHOWNORMAL 1, ...).
    void Show(uint8_t flag) override;
    // Invalidates the whole client area with erase and has the erase done at once, so
    // the listeners hear OnPresent before it returns.
    void Invalidate() override;

    // Destroys the native window as a user's close does (the listeners hear it).
    void Close();


    HINSTANCE__* GetInstance() const { return m_instance; }
    // The native window; null until Open succeeds and again once it is destroyed.
    HWND__* GetHandle() const { return m_handle; }
    bool IsOpen() const { return m_handle != nullptr; }
    // Whether the display mode is switched now (between a full-screen Open and the
    // restore).
    bool IsModeChanged() const { return m_modeChanged; }
    // The desktop's mode as the last full-screen Open found it.
    const KVLDisplayMode& GetSavedDisplayMode() const { return m_savedMode; }
    // Current client size in pixels (0 x 0 when not open).
    void GetClientSize(int32_t* width, int32_t* height) const override;
    // Where the picture goes inside the client area: the largest rectangle of the
    // requested aspect, centred (origin top left).
    KVLRect GetPictureRect() const;

    // One pass of the main loop around the caller's frame step (see the file header).
    static void WaitForMessage();
    static bool PumpMessages();
    // All constructed windows, in construction order.
    static const KVLArray<KVLWindowWin32*>& GetRegistry();
    // Whether the object is a live (constructed, not yet destroyed) window.
    static bool IsRegistered(const KVLWindowWin32* window);

private:
    bool SwitchMode();
    void RestoreMode();
    // The window procedure's part for this object: true when the message was handled
    // (its result is 0), false when it goes on to the default procedure.
    bool HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    friend class KVLWindowWin32Proc;

    HINSTANCE__* m_instance;
    HWND__* m_handle = nullptr;
    KVLDisplayMode m_savedMode;
    bool m_modeChanged = false;
};
