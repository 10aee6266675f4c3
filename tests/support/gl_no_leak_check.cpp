// Linked into the test programs that load Mesa's GL driver, in sanitizer builds only.
// With clang 14's runtime on this glibc, LeakSanitizer reads a bogus dynamic-TLS range
// of the loaded driver and its tracer crashes at exit, failing tests that passed.
// Address and undefined-behaviour checks stay on; leaks of the engine's own code are
// checked by the other test programs.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
