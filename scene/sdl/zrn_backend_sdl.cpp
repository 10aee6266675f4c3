// The SDL backend's main-loop helpers (see scene/zrn_backend.h).
#include "scene/zrn_backend.h"

#include <SDL.h>

// SDL's events are polled: there is nothing to wait for.
void ZRNBackendWaitForMessage() {}

bool ZRNBackendPumpMessages() { return KVLWindowSDL::PumpMessages(); }

KVLString ZRNBackendLastError() { return KVLString(SDL_GetError()); }

void ZRNBackendRunLoop(std::function<bool()> pass, std::function<void()> done) {
    while (pass()) {
    }
    done();
}
