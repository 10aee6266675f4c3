// ZRNRendererOffscreenWeb: the shader renderer drawing into the page's canvas (the
// element with id "canvas", set to the picture's size) for pictures the program reads
// back: the page's stand-in for the native offscreen renderer (same operations:
// Initialise, Present, ReadPixels, GetError). The WebGL 1 context has no alpha channel
// (destination alpha reads 1, as on a 5-6-5 screen) and a preserved drawing buffer.
//
// Limits: one at a time (the page has one canvas); the canvas shows what is drawn.
#pragma once

#include <memory>

#include "image/kvl_image.h"
#include "scene/zrn_renderer_gles2.h"

class ZRNRendererOffscreenWeb : public ZRNRendererGLES2 {
public:
    ZRNRendererOffscreenWeb(int32_t width, int32_t height);
    ~ZRNRendererOffscreenWeb() override;

    // Makes the context at the picture's size and sets the initial state; false with a
    // reason in GetError.
    bool Initialise() override;
    // Finishes the drawing; true once initialised.
    bool Present() override;

    // Keeps the drawing at that aspect ratio inside the picture, centred with black
    // bars, as the native offscreen renderer does.
    void SetPictureShape(int32_t width, int32_t height) {
        m_shapeWidth = width;
        m_shapeHeight = height;
    }

    // The picture as drawn so far, top row first, 0xAARRGGBB pixels with alpha 255;
    // null before Initialise.
    std::unique_ptr<KVLImage> ReadPixels();

    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    const KVLString& GetError() const { return m_error; }

protected:
    KVLRect PictureRect(int32_t width, int32_t height) const override;

private:
    void Release();

    int32_t m_width;
    int32_t m_height;
    int32_t m_shapeWidth = 0;
    int32_t m_shapeHeight = 0;
    int m_context = 0;
    KVLString m_error;
};
