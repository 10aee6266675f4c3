// ZRNRendererWGL: the renderer bound to a KVLWindowWin32 through WGL.
//
// The constructor registers the renderer as a listener of the window. Initialise,
// once the window is open, takes the window's device context, gives it a
// double-buffered RGBA pixel format with 16-bit colour and a 16-bit depth buffer,
// creates the GL context, makes it current and sets the initial state; Present swaps
// the buffers. The picture keeps the window's requested aspect: the viewport is the
// window's picture rectangle and the bars around it stay black (in the full-screen
// mode the two agree).
//
// The context and the device context are given back when the window is destroyed
// (OnDestroying, while the native window still exists) or at destruction, whichever
// comes first; the renderer is a no-op from then on. The destructor never touches a
// window object that is already gone, so the window may be destroyed first.
#pragma once

#include "scene/zrn_renderer.h"

class KVLWindowWin32;
struct HWND__;
struct HDC__;
struct HGLRC__;

class ZRNRendererWGL : public ZRNRenderer {
public:
    explicit ZRNRendererWGL(KVLWindowWin32* window);
    ~ZRNRendererWGL() override;

    // False at the first step that fails (see GetError); whatever was obtained is
    // released later as usual.
    bool Initialise() override;
    bool Present() override;
    bool OnDestroying() override;

    // Before Initialise: buffer swaps wait for this many vertical blanks (0: none)
    // where the driver offers WGL_EXT_swap_control; -1 (the default) leaves the
    // driver's setting.
    void SetSwapInterval(int32_t interval) { m_swapInterval = interval; }
    const KVLString& GetError() const { return m_error; }
    // The pixel format Initialise chose (0 before).
    int32_t GetPixelFormat() const { return m_pixelFormat; }

protected:
    KVLRect PictureRect(int32_t width, int32_t height) const override;

private:
    void ReleaseContext();

    HDC__* m_dc = nullptr;
    HGLRC__* m_context = nullptr;
    KVLWindowWin32* m_wglWindow;
    HWND__* m_handle = nullptr;
    int32_t m_swapInterval = -1;
    int32_t m_pixelFormat = 0;
    KVLString m_error;
};
