// ZRNRendererWeb: a WebGL 1 context on the canvas, made through Emscripten's HTML5 API.
#include "scene/web/zrn_renderer_web.h"

#include "scene/web/zrn_webgl_context.h"

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
    m_context = ZRNCreateCanvasContext(&m_error);
    if (m_context <= 0) {
        return false;
    }
    FollowWindowSize();
    if (!ZRNRendererGLES2::Initialise()) {
        m_error = GetDeviceError();
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

void ZRNRendererWeb::DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) {
    FlushClear();
    ZRNRendererGLES2::DrawMeshAt(mesh, time);
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
    ZRNDestroyCanvasContext(m_context, [this] { ReleaseGL(); });
    m_context = 0;
    ReleaseGL();
}
