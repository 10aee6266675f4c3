// Leak-checker suppressions for the platform tests. SDL's X11 driver opens a D-Bus
// connection; libdbus keeps a buffer that it never frees, even after SDL_Quit. The
// hook is read only by sanitizer builds and is inert otherwise.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
