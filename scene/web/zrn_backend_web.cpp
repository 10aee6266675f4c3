// The web backend's main-loop helpers (see scene/zrn_backend.h): the browser's
// animation frames drive the passes, and each pass also steps the timer and the
// workers that would have threads elsewhere (platform/web/kvl_mainloop_web.h).
#include "scene/zrn_backend.h"

#include <emscripten/emscripten.h>

#include <memory>

#include "platform/web/kvl_mainloop_web.h"

namespace {

struct Loop {
    std::function<bool()> pass;
    std::function<void()> done;
};

void RunPass(void* context) {
    auto* loop = static_cast<Loop*>(context);
    if (loop->pass()) {
        return;
    }
    emscripten_cancel_main_loop();
    // Owned here from now on: the loop object goes after its last call.
    std::unique_ptr<Loop> finished(loop);
    finished->done();
}

}  // namespace

// Events come to the page's handlers between frames: nothing to wait for.
void ZRNBackendWaitForMessage() {}

bool ZRNBackendPumpMessages() {
    KVLWebStepAll();
    return true;
}

KVLString ZRNBackendLastError() { return KVLString(); }

void ZRNBackendRunLoop(std::function<bool()> pass, std::function<void()> done) {
    auto* loop = new Loop{std::move(pass), std::move(done)};
    // 0 frames per second: the browser's animation frames. Not simulating an endless
    // loop: the call returns and main ends, the page goes on.
    emscripten_set_main_loop_arg(&RunPass, loop, 0, false);
}
