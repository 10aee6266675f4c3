// Page events, requests and status through small pieces of JavaScript.
#include "platform/web/kvl_page_web.h"

#include <emscripten/emscripten.h>

#include <cstdlib>

// clang-format off
EM_JS(void, kvl_page_event, (const char* name, const char* detail), {
    const n = UTF8ToString(name);
    const d = UTF8ToString(detail);
    console.log("zarnoth: " + n + (d ? " " + d : ""));
    if (typeof Module.zarnothEvent === "function") {
        Module.zarnothEvent(n, d);
    }
});

// The oldest request: its name as a string the caller frees, its value and its time
// (performance.now() milliseconds) in 'numbers'. 0 when there is none or it is not a
// request (it is dropped then).
EM_JS(char*, kvl_page_take_request, (double* numbers), {
    const queue = Module.zarnothRequests;
    if (!Array.isArray(queue) || queue.length === 0) {
        return 0;
    }
    const request = queue.shift();
    if (!request || typeof request.name !== "string") {
        return 0;
    }
    const value = Number(request.value);
    const at = Number(request.at);
    HEAPF64[numbers >> 3] = Number.isFinite(value) ? Math.trunc(value) : 0;
    HEAPF64[(numbers >> 3) + 1] = Number.isFinite(at) ? at : performance.now();
    const size = lengthBytesUTF8(request.name) + 1;
    const text = _malloc(size);
    if (text) {
        stringToUTF8(request.name, text, size);
    }
    return text;
});

EM_JS(void, kvl_page_status, (const char* key, double value), {
    if (!Module.zarnothStatus) {
        Module.zarnothStatus = {};
    }
    Module.zarnothStatus[UTF8ToString(key)] = value;
});
// clang-format on

void KVLWebPageEvent(const char* name, const char* detail) { kvl_page_event(name, detail != nullptr ? detail : ""); }

bool KVLWebTakePageRequest(KVLWebPageRequest* request) {
    double numbers[2] = {0.0, 0.0};
    char* name = kvl_page_take_request(numbers);
    if (name == nullptr) {
        return false;
    }
    request->name = name;
    std::free(name);
    // Past values beyond int64 cannot come from a page that means them.
    const double value = numbers[0];
    request->value = (value > -9.0e18 && value < 9.0e18) ? static_cast<int64_t>(value) : 0;
    // steady_clock and performance.now() are the same clock here; the age is what
    // carries over, so the request keeps its place on either.
    // An age beyond an hour is a page's mistake: taken as asked now.
    const double ageMs = emscripten_get_now() - numbers[1];
    const bool plausible = ageMs > 0.0 && ageMs < 3.6e6;
    const auto age = std::chrono::microseconds(static_cast<int64_t>(plausible ? ageMs * 1000.0 : 0.0));
    request->at = std::chrono::steady_clock::now() - age;
    return true;
}

void KVLWebPageStatus(const char* key, double value) { kvl_page_status(key, value); }
