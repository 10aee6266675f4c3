// KVLWindowWeb: the page's canvas (the element with id "canvas") as the program's
// window. Open fixes the canvas's drawing buffer at the requested size (the page
// scales it to the browser window with the aspect kept, so the picture needs no
// letterbox of its own) and starts passing the page's key presses to the listeners.
// Full screen is the page's business: browsers allow it only in answer to a click or
// key, so the page's button asks for it, and SetFullScreen changes nothing here.
// Close tells the listeners as a closed native window does.
//
// Main thread only. One window is open at a time (the page has one canvas).
#pragma once

#include <cstdint>

#include "platform/kvl_window.h"

class KVLWindowWeb : public KVLWindow {
public:
    KVLWindowWeb(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel);
    ~KVLWindowWeb() override;

    bool Open() override;
    void SetCursorMode(int32_t mode) override;
    void Move(int32_t x, int32_t y) override;
    void Center() override;
    void SetClientSize(int32_t width, int32_t height) override;
    void Show(uint8_t flag) override;
    void Invalidate() override;
    void Close();

    bool IsOpen() const { return m_open; }
    // The size of the canvas's drawing buffer.
    void GetClientSize(int32_t* width, int32_t* height) const override;
    // Presents asked for by Invalidate (the main loop calls this once per pass).
    void DeliverPending();
    // The page's key code (KeyboardEvent.keyCode) as a KVLKey code.
    static int32_t MapKey(uint32_t keyCode);

private:
    void KeyDown(uint32_t keyCode);
    static int OnKey(int eventType, const void* event, void* user);

    bool m_open = false;
    bool m_presentPending = false;
};
