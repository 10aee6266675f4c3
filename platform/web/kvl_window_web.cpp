// KVLWindowWeb: canvas size and key events through Emscripten's HTML5 API.
#include "platform/web/kvl_window_web.h"

#include <emscripten/html5.h>

namespace {

constexpr const char* kCanvas = "#canvas";

}  // namespace

KVLWindowWeb::KVLWindowWeb(const char* title, int32_t width, int32_t height, int32_t bitsPerPixel)
    : KVLWindow(title, width, height, bitsPerPixel) {}

KVLWindowWeb::~KVLWindowWeb() { Close(); }

bool KVLWindowWeb::Open() {
    if (m_open) {
        return true;
    }
    if (emscripten_set_canvas_element_size(kCanvas, m_width, m_height) != EMSCRIPTEN_RESULT_SUCCESS) {
        return false;
    }
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, false,
                                    [](int type, const EmscriptenKeyboardEvent* e, void* user) -> EM_BOOL {
                                        return OnKey(type, e, user);
                                    });
    m_open = true;
    NotifyResize(m_width, m_height);
    return true;
}

int KVLWindowWeb::OnKey(int, const void* event, void* user) {
    const auto* e = static_cast<const EmscriptenKeyboardEvent*>(event);
    static_cast<KVLWindowWeb*>(user)->KeyDown(e->keyCode);
    // The page keeps its own keys (reload, full screen, ...).
    return false;
}

void KVLWindowWeb::KeyDown(uint32_t keyCode) {
    if (m_open) {
        NotifyKeyDown(MapKey(keyCode));
    }
}

int32_t KVLWindowWeb::MapKey(uint32_t keyCode) {
    switch (keyCode) {
        case 27: return KVLKeyEscape;
        case 13: return 13;
        case 32: return 32;
        case 37: return KVLKeyLeft;
        case 38: return KVLKeyUp;
        case 39: return KVLKeyRight;
        case 40: return KVLKeyDown;
        case 33: return KVLKeyPageUp;
        case 34: return KVLKeyPageDown;
        case 36: return KVLKeyHome;
        case 35: return KVLKeyEnd;
        default: break;
    }
    // Letters come as their upper-case code, digits as themselves.
    if (keyCode >= 'A' && keyCode <= 'Z') {
        return static_cast<int32_t>(keyCode - 'A' + 'a');
    }
    if (keyCode >= '0' && keyCode <= '9') {
        return static_cast<int32_t>(keyCode);
    }
    return KVLKeyOther;
}

void KVLWindowWeb::Close() {
    if (!m_open) {
        return;
    }
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, false, nullptr);
    NotifyDestroy();
    m_open = false;
}

// The cursor stays: the page's button and "play again" need it.
void KVLWindowWeb::SetCursorMode(int32_t) {}
void KVLWindowWeb::Move(int32_t, int32_t) {}
void KVLWindowWeb::Center() {}

void KVLWindowWeb::SetClientSize(int32_t width, int32_t height) {
    m_width = width;
    m_height = height;
    if (m_open && emscripten_set_canvas_element_size(kCanvas, width, height) == EMSCRIPTEN_RESULT_SUCCESS) {
        NotifyResize(width, height);
    }
}

void KVLWindowWeb::Show(uint8_t) {}

void KVLWindowWeb::Invalidate() { m_presentPending = true; }

void KVLWindowWeb::GetClientSize(int32_t* width, int32_t* height) const {
    int w = m_width;
    int h = m_height;
    if (m_open) {
        emscripten_get_canvas_element_size(kCanvas, &w, &h);
    }
    if (width != nullptr) {
        *width = w;
    }
    if (height != nullptr) {
        *height = h;
    }
}

void KVLWindowWeb::DeliverPending() {
    if (m_presentPending) {
        m_presentPending = false;
        NotifyPresent();
    }
}
