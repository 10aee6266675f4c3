// ZRNRendererOffscreen: the renderer drawing into an offscreen picture of a fixed
// size, for tests and tools, with at least 5-6-5 colour and a 16-bit depth buffer.
// ReadPixels returns what has been drawn. On Linux it needs no display: the context
// comes from EGL on Mesa's surfaceless platform (software rendering) with a pbuffer
// (scene/sdl); on Windows from WGL on a hidden window, drawing into a framebuffer
// object where the driver has them (scene/win32).
//
// A picture shape (SetPictureShape) keeps the drawing at that aspect ratio inside a
// picture of another: centred, full height with black bars at the sides when the
// picture is wider, full width with bars above and below when it is taller.
//
// Several offscreen renderers may exist at once, but the GL calls of the thread go to
// the one made current last (by Initialise or MakeCurrent).
#pragma once

#include <memory>

#include "image/kvl_image.h"
#include "scene/zrn_renderer.h"

class ZRNRendererOffscreen : public ZRNRenderer {
public:
    ZRNRendererOffscreen(int32_t width, int32_t height);
    ~ZRNRendererOffscreen() override;

    // Creates the context and the picture, makes them current, sets the initial state
    // and the viewport to the whole picture. False with a reason in GetError.
    bool Initialise() override;
    // Finishes the drawing; true once initialised.
    bool Present() override;
    bool MakeCurrent();
    // Before Initialise: the drawing keeps the aspect ratio width:height (0 x 0, the
    // default: the drawing fills the whole picture).
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
    // False with a reason in m_error unless both sides are 1..8192.
    bool SizeInRange();
    // Binding: creates the context (and its surface) for the picture's size; false with
    // a reason in m_error.
    bool CreateContext();
    // Binding: points the drawing at the picture once the base state is set.
    void SelectDrawBuffer();
    void Release();
    // Points glReadPixels at the buffer the drawing went to.
    void SelectReadBuffer();

    int32_t m_width;
    int32_t m_height;
    int32_t m_shapeWidth = 0;
    int32_t m_shapeHeight = 0;
    void* m_display = nullptr;
    void* m_surface = nullptr;
    void* m_context = nullptr;
    KVLString m_error;
};
