// Leak-checker suppressions for the scene tests. Mesa's software rasteriser keeps a
// buffer from GL's feedback mode (used here to count triangles) that it never frees;
// SDL's X11 driver opens a D-Bus connection whose buffer libdbus never frees.
// The hook is read only by sanitizer builds and is inert otherwise.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\nleak:libdbus-1.so\n"; }
