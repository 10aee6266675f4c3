// ZRNRendererWeb: a WebGL 1 context on the canvas, made through Emscripten's HTML5 API.
#include "scene/web/zrn_renderer_web.h"

#include <emscripten/html5.h>

#include "platform/web/kvl_window_web.h"

ZRNRendererWeb::ZRNRendererWeb(KVLWindowWeb* window) : ZRNRendererGLES2(window), m_webWindow(window) {
    m_webWindow->AddListener(this);
}

ZRNRendererWeb::~ZRNRendererWeb() {
    ReleaseContext();
}

bool ZRNRendererWeb::Initialise() {
    if (m_context > 0) {
        return true;
    }
    if (!m_webWindow->IsOpen()) {
        m_error = "the window is not open";
        return false;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = false;
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false;
    attributes.preserveDrawingBuffer = true;
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) {
        m_error = "WebGL is not available in this browser";
        return false;
    }
    m_context = static_cast<int>(context);
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        m_error = "the WebGL context cannot be made current";
        ReleaseContext();
        return false;
    }
    int32_t width = 0;
    int32_t height = 0;
    m_webWindow->GetClientSize(&width, &height);
    OnResize(width, height);
    if (!ZRNRendererGLES2::Initialise()) {
        m_error = GetShaderError();
        return false;
    }
    return true;
}

void ZRNRendererWeb::Clear(const KVLVector3& colour) {
    m_clearColour = colour;
    m_clearPending = true;
}

void ZRNRendererWeb::FlushClear() {
    if (m_clearPending) {
        m_clearPending = false;
        ZRNRendererGLES2::Clear(m_clearColour);
    }
}

void ZRNRendererWeb::DrawMesh(const ZRNMesh& mesh) {
    FlushClear();
    ZRNRendererGLES2::DrawMesh(mesh);
}

bool ZRNRendererWeb::Present() {
    if (!HasContext()) {
        return false;
    }
    FlushClear();
    return true;
}

bool ZRNRendererWeb::OnDestroying() {
    ReleaseContext();
    return true;
}

void ZRNRendererWeb::ReleaseContext() {
    if (m_context <= 0) {
        return;
    }
    const auto context = static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(m_context);
    if (emscripten_webgl_make_context_current(context) == EMSCRIPTEN_RESULT_SUCCESS) {
        ReleaseGL();
    }
    emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(context);
    m_context = 0;
    ReleaseGL();
}
