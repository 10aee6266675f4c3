// ZRNRendererGLES2Offscreen: the shader renderer drawing into an offscreen picture of
// a fixed size, for tests and tools. On Linux the context is OpenGL ES 2 from EGL on
// Mesa's surfaceless platform with a pbuffer (scene/sdl), chosen with the same
// attributes as the OpenGL 1.1 offscreen renderer's (at least 5-6-5 colour, 16-bit
// depth), so that both draw into the same kind of picture. There is no binding on
// Windows.
//
// Several offscreen renderers (of either kind) may exist at once; the GL calls of the
// thread go to the one made current last (by Initialise or MakeCurrent).
#pragma once

#include <memory>

#include "image/kvl_image.h"
#include "scene/zrn_renderer_gles2.h"

class ZRNRendererGLES2Offscreen : public ZRNRendererGLES2 {
public:
    // alphaChannel: the picture also keeps alpha (8 bits), as a WebGL canvas does by
    // default; the drawing must come out the same.
    ZRNRendererGLES2Offscreen(int32_t width, int32_t height, bool alphaChannel = false);
    ~ZRNRendererGLES2Offscreen() override;

    // Creates the context and the picture, makes them current, sets the initial state
    // and the viewport to the whole picture. False with a reason in GetError.
    bool Initialise() override;
    // Finishes the drawing; true once initialised.
    bool Present() override;
    bool MakeCurrent();

    // The picture as drawn so far, top row first, 0xAARRGGBB pixels with alpha 255;
    // null before Initialise.
    std::unique_ptr<KVLImage> ReadPixels();

    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    const KVLString& GetError() const { return m_error; }

private:
    void Release();

    int32_t m_width;
    int32_t m_height;
    bool m_alphaChannel;
    void* m_display = nullptr;
    void* m_surface = nullptr;
    void* m_context = nullptr;
    KVLString m_error;
};
