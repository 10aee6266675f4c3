// ZRNRendererGLES2Offscreen on the web page: a WebGL 1 context on the canvas (no alpha
// channel: destination alpha reads 1, as on a 5-6-5 screen; a preserved drawing
// buffer), set to the picture's size.
#include "scene/zrn_renderer_gles2_offscreen.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include <cstdint>

#include "scene/web/zrn_webgl_context.h"

namespace {

// The canvas context's handle (above 0) kept in the binding's context slot.
int Handle(const ZRNOffscreenHandles& handles) { return static_cast<int>(reinterpret_cast<intptr_t>(handles.context)); }

}  // namespace

ZRNRendererGLES2Offscreen::~ZRNRendererGLES2Offscreen() { Release(); }

bool ZRNRendererGLES2Offscreen::CreateContext() {
    // The canvas has no alpha channel, whatever was asked.
    (void)m_alphaChannel;
    if (emscripten_set_canvas_element_size("#canvas", GetWidth(), GetHeight()) != EMSCRIPTEN_RESULT_SUCCESS) {
        m_error = "the page has no canvas";
        return false;
    }
    const int context = ZRNCreateCanvasContext(&m_error);
    m_handles.context = reinterpret_cast<void*>(static_cast<intptr_t>(context));
    return context > 0;
}

bool ZRNRendererGLES2Offscreen::MakeCurrent() {
    const int context = Handle(m_handles);
    if (context <= 0 || emscripten_webgl_make_context_current(static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(context)) !=
                             EMSCRIPTEN_RESULT_SUCCESS) {
        m_error = "the WebGL context cannot be made current";
        return false;
    }
    return true;
}

void ZRNRendererGLES2Offscreen::FinishDrawing() { glFlush(); }

void ZRNRendererGLES2Offscreen::Release() {
    ZRNDestroyCanvasContext(Handle(m_handles), [this] { ReleaseGL(); });
    m_handles.context = nullptr;
    ReleaseGL();
}
