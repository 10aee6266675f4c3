// ZRNRendererSDL: the renderer bound to a KVLWindowSDL.
//
// The constructor asks the window for a GL-capable native window (double-buffered,
// 16-bit colour as 5-6-5, 16-bit depth; must happen before the window opens) and
// registers the renderer as a window listener. Initialise, after the window has
// opened, creates the GL context on it, makes it current and sets the initial state;
// Present swaps the buffers. The picture keeps the window's requested aspect: the
// viewport is the window's picture rectangle, and the bars around it stay black.
//
// The context is released when the window closes (OnDestroying), while the native
// window still exists, or at destruction; the renderer is a no-op from then on. The
// window object may be destroyed before the renderer (its destruction closes it).
#pragma once

#include "scene/zrn_renderer.h"

class KVLWindowSDL;

class ZRNRendererSDL : public ZRNRenderer {
public:
    explicit ZRNRendererSDL(KVLWindowSDL* window);
    ~ZRNRendererSDL() override;

    // False when the window is not open or no context can be made (see GetError).
    bool Initialise() override;
    bool Present() override;
    bool OnDestroying() override;

    // Before Initialise: buffer swaps wait for this many vertical blanks (0: none);
    // -1 (the default) leaves the driver's setting.
    void SetSwapInterval(int32_t interval) { m_swapInterval = interval; }
    // SDL's reason for the last failure of Initialise.
    const KVLString& GetError() const { return m_error; }

protected:
    KVLRect PictureRect(int32_t width, int32_t height) const override;

private:
    void ReleaseContext();

    KVLWindowSDL* m_sdlWindow;
    void* m_context = nullptr;
    int32_t m_swapInterval = -1;
    KVLString m_error;
};
