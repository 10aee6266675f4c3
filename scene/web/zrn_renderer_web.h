// ZRNRendererWeb: the shader renderer (ZRNRendererGLES2) bound to the page's canvas
// through a WebGL 1 context.
//
// Initialise makes the context on the canvas the window opened (no alpha channel, so
// that blending by destination alpha sees 1 as on a 5-6-5 screen; a 16-bit or better
// depth buffer; no antialiasing) and the drawing buffer is preserved between frames:
// the browser shows whatever the buffer holds when a frame of the page ends, while a
// native window shows only what was presented. To keep that rule, a Clear is held back
// until the frame draws or presents something, so a frame that only clears (the
// oscilloscope's hold) leaves the last presented picture on the page. Present itself
// has nothing to swap.
//
// The context goes with the window's close or the renderer; it is a no-op from then on.
#pragma once

#include "scene/zrn_renderer_gles2.h"

class KVLWindowWeb;

class ZRNRendererWeb : public ZRNRendererGLES2 {
public:
    explicit ZRNRendererWeb(KVLWindowWeb* window);
    ~ZRNRendererWeb() override;

    // False when the window is not open or WebGL is not available (see GetError).
    bool Initialise() override;
    void Clear(const KVLVector3& colour) override;
    void DrawMesh(const ZRNMesh& mesh) override;
    void DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) override;
    bool Present() override;
    bool OnDestroying() override;

    // The main loop runs as fast as the page's frames come; there is no interval.
    void SetSwapInterval(int32_t interval) { (void)interval; }
    const KVLString& GetError() const { return m_error; }

private:
    void FlushClear();
    void ReleaseContext();

    KVLWindowWeb* m_webWindow;
    int m_context = 0;
    bool m_clearPending = false;
    KVLVector3 m_clearColour;
    KVLString m_error;
};
