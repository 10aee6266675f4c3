// ZRNOffscreen<Renderer>: what every offscreen binding of a renderer shares, written
// once for both renderers (ZRNRendererOffscreen on OpenGL 1.1, ZRNRendererGLES2Offscreen
// on the shader renderer): a picture of a fixed size (both sides 1 to 8192), the order
// of initialisation, the picture shape, finishing the drawing and reading the picture
// back. The binding (a class per renderer, a source file per platform) makes and
// releases the context.
//
// A picture shape (SetPictureShape) keeps the drawing at that aspect ratio inside a
// picture of another: centred, full height with black bars at the sides when the
// picture is wider, full width with bars above and below when it is taller.
//
// Several offscreen renderers may exist at once, but the GL calls of the thread go to
// the one made current last (by Initialise or MakeCurrent).
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_string.h"
#include "image/kvl_image.h"
#include "platform/kvl_displaymode.h"

// What a binding made: its display or window, surface and context (null: none).
struct ZRNOffscreenHandles {
    void* display = nullptr;
    void* surface = nullptr;
    void* context = nullptr;
};

template <class Renderer>
class ZRNOffscreen : public Renderer {
public:
    // Creates the context and the picture, makes them current, sets the initial state
    // and the viewport to the whole picture. False with a reason in GetError.
    bool Initialise() override {
        if (m_handles.context != nullptr) {
            return true;
        }
        if (m_width < 1 || m_height < 1 || m_width > 8192 || m_height > 8192) {
            m_error = "the picture size is out of range";
            return false;
        }
        if (!CreateContext() || !MakeCurrent()) {
            return false;
        }
        this->OnResize(m_width, m_height);
        if (!Renderer::Initialise()) {
            m_error = this->GetDeviceError();
            return false;
        }
        SelectDrawBuffer();
        return true;
    }
    // Finishes the drawing; true once initialised.
    bool Present() override {
        if (!this->HasContext()) {
            return false;
        }
        FinishDrawing();
        return true;
    }
    // Makes the context current again; false with a reason in GetError.
    virtual bool MakeCurrent() = 0;
    // Before Initialise: the drawing keeps the aspect ratio width:height (0 x 0, the
    // default: the drawing fills the whole picture).
    void SetPictureShape(int32_t width, int32_t height) {
        m_shapeWidth = width;
        m_shapeHeight = height;
    }
    // The picture as drawn so far, top row first, 0xAARRGGBB pixels with alpha 255;
    // null before Initialise.
    std::unique_ptr<KVLImage> ReadPixels() {
        if (!this->HasContext()) {
            return nullptr;
        }
        SelectReadBuffer();
        return this->ReadPicture(m_width, m_height);
    }

    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    const KVLString& GetError() const { return m_error; }

protected:
    ZRNOffscreen(int32_t width, int32_t height) : Renderer(nullptr), m_width(width), m_height(height) {}

    KVLRect PictureRect(int32_t width, int32_t height) const override {
        return KVLLetterbox(width, height, m_shapeWidth, m_shapeHeight);
    }

    // Binding: creates the context (and its surface) for the picture's size, keeping
    // what it made in m_handles; false with a reason in m_error.
    virtual bool CreateContext() = 0;
    // Binding: points the drawing at the picture once the base state is set.
    virtual void SelectDrawBuffer() {}
    // Binding: points the read-back at the buffer the drawing went to.
    virtual void SelectReadBuffer() {}
    // Binding: waits for (or at least sends off) the drawing.
    virtual void FinishDrawing() = 0;

    ZRNOffscreenHandles m_handles;
    KVLString m_error;

private:
    int32_t m_width;
    int32_t m_height;
    int32_t m_shapeWidth = 0;
    int32_t m_shapeHeight = 0;
};
