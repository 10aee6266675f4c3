// The message box on SDL: its simple message box, when a display can show it.
#include "platform/kvl_messagebox.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace {

bool HasValue(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && v[0] != '\0';
}

// Whether a box could be seen at all. The video drivers that never show anything
// would still let SDL fall back to an X11 box when DISPLAY is set.
bool DisplayAvailable() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr &&
        (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0 ||
         std::strcmp(driver, "evdev") == 0)) {
        return false;
    }
    return HasValue("DISPLAY") || HasValue("WAYLAND_DISPLAY");
}

}  // namespace

bool KVLShowNativeMessageBox(const char* text, const char* caption) {
    if (!DisplayAvailable()) {
        return false;
    }
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0;
}
