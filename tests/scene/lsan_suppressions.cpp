// Leak-checker settings for the scene tests (read only by sanitizer builds).
//
// Mesa's software rasteriser keeps a buffer from GL's feedback mode (used here to
// count triangles) that it never frees, and SDL's X11 driver opens a D-Bus connection
// whose buffer libdbus never frees. Mesa's driver module is also unloaded when the X
// display closes, taking with it the only references to blocks it still holds; it is
// loaded once more here, never to be unloaded, so that those blocks stay reachable.
#include <dlfcn.h>

extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\nleak:libdbus-1.so\n"; }

namespace {

[[maybe_unused]] const bool g_driverPinned =
    dlopen(ZARNOTH_DRI_DIR "/swrast_dri.so", RTLD_LAZY | RTLD_NODELETE) != nullptr;

}  // namespace
