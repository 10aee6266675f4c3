// ZRNRendererOffscreen: what both context bindings share: the picture's size limits,
// the order of initialisation, finishing the drawing and reading the picture back.
#include "scene/zrn_renderer_offscreen.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <GL/gl.h>

#include <utility>

#include "platform/kvl_displaymode.h"

ZRNRendererOffscreen::ZRNRendererOffscreen(int32_t width, int32_t height)
    : ZRNRenderer(nullptr), m_width(width), m_height(height) {}

ZRNRendererOffscreen::~ZRNRendererOffscreen() { Release(); }

bool ZRNRendererOffscreen::SizeInRange() {
    if (m_width < 1 || m_height < 1 || m_width > 8192 || m_height > 8192) {
        m_error = "picture size out of range";
        return false;
    }
    return true;
}

KVLRect ZRNRendererOffscreen::PictureRect(int32_t width, int32_t height) const {
    return KVLLetterbox(width, height, m_shapeWidth, m_shapeHeight);
}

bool ZRNRendererOffscreen::Initialise() {
    if (m_context != nullptr) {
        return true;
    }
    if (!SizeInRange() || !CreateContext() || !MakeCurrent()) {
        return false;
    }
    OnResize(m_width, m_height);
    if (!ZRNRenderer::Initialise()) {
        return false;
    }
    SelectDrawBuffer();
    return true;
}

bool ZRNRendererOffscreen::Present() {
    if (!HasContext()) {
        return false;
    }
    glFinish();
    return true;
}

std::unique_ptr<KVLImage> ZRNRendererOffscreen::ReadPixels() {
    if (!HasContext()) {
        return nullptr;
    }
    std::unique_ptr<KVLImage> image = KVLImage::Create(m_width, m_height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    SelectReadBuffer();
    glReadPixels(0, 0, m_width, m_height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, image->pixels);
    // GL's rows run bottom up.
    const size_t row = static_cast<size_t>(m_width);
    for (int32_t y = 0; y < m_height / 2; ++y) {
        uint32_t* a = image->pixels + row * static_cast<size_t>(y);
        uint32_t* b = image->pixels + row * static_cast<size_t>(m_height - 1 - y);
        for (size_t x = 0; x < row; ++x) {
            std::swap(a[x], b[x]);
        }
    }
    for (size_t i = 0; i < row * static_cast<size_t>(m_height); ++i) {
        image->pixels[i] |= 0xFF000000u;
    }
    return image;
}
