// Linked into the test programs that load Mesa's GL driver on Linux (the platform and
// scene tests); leak-checker settings are read only by sanitizer builds.
//
// Mesa's driver module is unloaded when the X display closes, taking with it the only
// references to blocks it still holds, which the leak checker then reports as leaks
// from an unknown module (seen on every machine for a GL window's context). The module
// is loaded once more here, never to be unloaded, so that those blocks stay reachable
// and a leak report names the module. Leaks of the engine's own code stay reported.
// Suppressed: Mesa's software rasteriser keeps a buffer from GL's feedback mode (used
// by the scene tests to count triangles) that it never frees, and SDL's X11 driver
// opens a D-Bus connection whose buffer libdbus never frees, even after SDL_Quit.
#include <dlfcn.h>

extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\nleak:libdbus-1.so\n"; }

namespace {

[[maybe_unused]] const bool g_driverPinned =
    dlopen(ZARNOTH_DRI_DIR "/swrast_dri.so", RTLD_LAZY | RTLD_NODELETE) != nullptr;

}  // namespace
