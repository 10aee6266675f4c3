// The canvas's WebGL 1 context through Emscripten's HTML5 API.
#include "scene/web/zrn_webgl_context.h"

#include <emscripten/html5.h>

int ZRNCreateCanvasContext(KVLString* error) {
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
        *error = "WebGL is not available in this browser";
        return 0;
    }
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        *error = "the WebGL context cannot be made current";
        emscripten_webgl_destroy_context(context);
        return 0;
    }
    return static_cast<int>(context);
}

void ZRNDestroyCanvasContext(int context, const std::function<void()>& releaseGL) {
    if (context <= 0) {
        return;
    }
    const auto handle = static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(context);
    // The GL objects can only be deleted in their own context; when it cannot be made
    // current they go with it.
    if (emscripten_webgl_make_context_current(handle) == EMSCRIPTEN_RESULT_SUCCESS) {
        releaseGL();
    }
    emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(handle);
}
