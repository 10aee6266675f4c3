// ZRNRendererOffscreenWeb: a WebGL 1 context on the canvas and glReadPixels.
#include "scene/web/zrn_renderer_offscreen_web.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include "platform/kvl_displaymode.h"
#include "scene/web/zrn_webgl_context.h"

ZRNRendererOffscreenWeb::ZRNRendererOffscreenWeb(int32_t width, int32_t height)
    : ZRNRendererGLES2(nullptr), m_width(width), m_height(height) {}

ZRNRendererOffscreenWeb::~ZRNRendererOffscreenWeb() { Release(); }

KVLRect ZRNRendererOffscreenWeb::PictureRect(int32_t width, int32_t height) const {
    return KVLLetterbox(width, height, m_shapeWidth, m_shapeHeight);
}

bool ZRNRendererOffscreenWeb::Initialise() {
    if (m_context > 0) {
        return true;
    }
    if (!KVLImageSizeOK(m_width, m_height) || m_width > 8192 || m_height > 8192) {
        m_error = "the picture size is out of range";
        return false;
    }
    if (emscripten_set_canvas_element_size("#canvas", m_width, m_height) != EMSCRIPTEN_RESULT_SUCCESS) {
        m_error = "the page has no canvas";
        return false;
    }
    m_context = ZRNCreateCanvasContext(&m_error);
    if (m_context <= 0) {
        return false;
    }
    OnResize(m_width, m_height);
    if (!ZRNRendererGLES2::Initialise()) {
        m_error = GetShaderError();
        return false;
    }
    return true;
}

bool ZRNRendererOffscreenWeb::Present() {
    if (!HasContext()) {
        return false;
    }
    glFlush();
    return true;
}

std::unique_ptr<KVLImage> ZRNRendererOffscreenWeb::ReadPixels() {
    if (!HasContext()) {
        return nullptr;
    }
    return ReadPicture(m_width, m_height);
}

void ZRNRendererOffscreenWeb::Release() {
    ZRNDestroyCanvasContext(m_context, [this] { ReleaseGL(); });
    m_context = 0;
    ReleaseGL();
}
