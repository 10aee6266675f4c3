// Page events through a small piece of JavaScript.
#include "platform/web/kvl_page_web.h"

#include <emscripten/emscripten.h>

// clang-format off
EM_JS(void, kvl_page_event, (const char* name, const char* detail), {
    const n = UTF8ToString(name);
    const d = UTF8ToString(detail);
    console.log("zarnoth: " + n + (d ? " " + d : ""));
    if (typeof Module.zarnothEvent === "function") {
        Module.zarnothEvent(n, d);
    }
});
// clang-format on

void KVLWebPageEvent(const char* name, const char* detail) { kvl_page_event(name, detail != nullptr ? detail : ""); }
