// ZRNRendererGLES2Offscreen: the shader renderer drawing into an offscreen picture of
// a fixed size (zrn_offscreen.h), for tests and tools. On Linux the context is OpenGL
// ES 2 from EGL on Mesa's surfaceless platform with a pbuffer (scene/sdl), chosen with
// the same attributes as the OpenGL 1.1 offscreen renderer's (at least 5-6-5 colour,
// 16-bit depth), so that both draw into the same kind of picture. On the web page it
// is a WebGL 1 context on the page's canvas (the element with id "canvas", set to the
// picture's size; scene/web): one at a time, and the canvas shows what is drawn. There
// is no binding on Windows.
#pragma once

#include "scene/zrn_offscreen.h"
#include "scene/zrn_renderer_gles2.h"

class ZRNRendererGLES2Offscreen : public ZRNOffscreen<ZRNRendererGLES2> {
public:
    // alphaChannel: the picture also keeps alpha (8 bits), as a WebGL canvas does by
    // default; the drawing must come out the same. (The web binding's canvas never
    // has one.)
    ZRNRendererGLES2Offscreen(int32_t width, int32_t height, bool alphaChannel = false)
        : ZRNOffscreen(width, height), m_alphaChannel(alphaChannel) {}
    ~ZRNRendererGLES2Offscreen() override;

    bool MakeCurrent() override;

protected:
    bool CreateContext() override;
    void FinishDrawing() override;

private:
    void Release();

    bool m_alphaChannel;
};
