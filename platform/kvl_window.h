// The engine's window interface and its notification interface.
//
// KVLWindow is the abstract top-level window: it keeps the list of listeners (not
// owned, in registration order) and fans the few notifications that matter out to
// them. A backend (KVLWindowSDL on Linux) owns the native window, changes the display
// mode and calls the Notify* helpers from its event handling. Everything here runs on
// the main thread; the listener list has no lock.
//
// Listeners must outlive the window or remove themselves first: the window only
// holds their addresses. A listener must not destroy the window object from inside a
// notification.
#pragma once

#include <cstdint>

#include "core/kvl_array.h"
#include "core/kvl_string.h"

// Key codes passed to KVLWindowListener::OnKeyDown: printable keys are their
// lower-case ASCII code (Escape 27, Return 13, Space 32); the keys below have no ASCII
// code of their own.
enum KVLKey : int32_t {
    KVLKeyEscape = 27,
    KVLKeyLeft = 0x100,
    KVLKeyRight,
    KVLKeyUp,
    KVLKeyDown,
    KVLKeyPageUp,
    KVLKeyPageDown,
    KVLKeyHome,
    KVLKeyEnd,
    KVLKeyOther = 0x1ff,
};

class KVLWindowListener {
public:
    virtual ~KVLWindowListener() = default;

    // The native window has been destroyed (closed by the user or by the program).
    // The window first calls OnDestroying on every listener, then OnDestroyed on every
    // listener; the native window still exists during both passes. The result of
    // OnDestroying is not used.
    virtual void OnDestroyed() {}
    virtual bool OnDestroying() { return true; }
    // New client size in pixels; 0 x 0 is passed on unchanged.
    virtual void OnResize(int32_t width, int32_t height) { (void)width, (void)height; }
    // The window's content was exposed and should be shown again.
    virtual void OnPresent() {}
    // A key was pressed while the window had the focus (KVLKey codes).
    virtual void OnKeyDown(int32_t key) { (void)key; }
};

class KVLWindow {
public:
    KVLWindow() = default;
    // The title, the requested client size and the colour depth of the display mode.
    KVLWindow(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel)
        : m_title(title != nullptr ? title : ""), m_width(width), m_height(height), m_bitsPerPixel(bitsPerPixel) {}
    KVLWindow(const KVLWindow&) = delete;
    KVLWindow& operator=(const KVLWindow&) = delete;
    virtual ~KVLWindow() = default;

    // Appends a listener (no duplicate check: a listener added twice hears everything
    // twice).
    void AddListener(KVLWindowListener* listener) { m_listeners.Add(listener); }
    // Removes the first occurrence of listener; nothing happens when it is absent.
    void RemoveListener(KVLWindowListener* listener);
    int32_t GetListenerCount() const { return m_listeners.GetCount(); }

    // Switches the display and shows the window; false when it cannot.
    virtual bool Open() = 0;
    // -1 hides the mouse cursor over the window; other values change nothing.
    virtual void SetCursorMode(int32_t mode) = 0;
    // Moves the outer window's top-left corner to (x, y), keeping its size.
    virtual void Move(int32_t x, int32_t y) = 0;
    // Centres the outer window on the desktop.
    virtual void Center() = 0;
    // Resizes the window so that its client area is width x height.
    virtual void SetClientSize(int32_t width, int32_t height) = 0;
    // The requested size (not the actual one).
    virtual int32_t GetWidth() const { return m_width; }
    virtual int32_t GetHeight() const { return m_height; }
    // The client area's actual size (full screen or resized, it differs from the
    // requested one); the requested size for a window that cannot tell.
    virtual void GetClientSize(int32_t* width, int32_t* height) const {
        *width = m_width;
        *height = m_height;
    }
    // 0 hides the window, any other value shows it.
    virtual void Show(uint8_t flag) = 0;
    // Asks for the content to be shown again: the listeners hear OnPresent.
    virtual void Invalidate() = 0;

    // Before Open: full screen (true, the default) or windowed.
    void SetFullScreen(bool fullScreen) { m_fullScreen = fullScreen; }
    bool IsFullScreen() const { return m_fullScreen; }
    const KVLString& GetTitle() const { return m_title; }
    int32_t GetBitsPerPixel() const { return m_bitsPerPixel; }

protected:
    // Fan-out in list order over the live list: a listener removed during a pass is
    // not called after its removal, one added during a pass is called in that pass.
    void NotifyDestroy();
    void NotifyResize(int32_t width, int32_t height);
    void NotifyPresent();
    void NotifyKeyDown(int32_t key);

    KVLString m_title;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_bitsPerPixel = 0;
    bool m_fullScreen = true;

private:
    KVLArray<KVLWindowListener*> m_listeners;
};
