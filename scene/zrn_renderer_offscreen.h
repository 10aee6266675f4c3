// ZRNRendererOffscreen: the OpenGL 1.1 renderer drawing into an offscreen picture of a
// fixed size (zrn_offscreen.h), for tests and tools, with at least 5-6-5 colour and a
// 16-bit depth buffer. On Linux it needs no display: the context comes from EGL on
// Mesa's surfaceless platform (software rendering) with a pbuffer (scene/sdl); on
// Windows from WGL on a hidden window, drawing into a framebuffer object where the
// driver has them (scene/win32).
#pragma once

#include "scene/zrn_offscreen.h"
#include "scene/zrn_renderer.h"

class ZRNRendererOffscreen : public ZRNOffscreen<ZRNRenderer> {
public:
    ZRNRendererOffscreen(int32_t width, int32_t height) : ZRNOffscreen(width, height) {}
    ~ZRNRendererOffscreen() override;

    bool MakeCurrent() override;

protected:
    bool CreateContext() override;
    void SelectDrawBuffer() override;
    void SelectReadBuffer() override;
    void FinishDrawing() override;

private:
    void Release();
};
