// The floor the demo's memory is measured against (bench/memory.sh): the engine's own
// SDL window and GL renderer, 640x480 windowed as `zarnoth --windowed`, clearing and
// swapping for a few seconds with nothing loaded. Prints the frames it showed; exits 1
// when the window or the context cannot be made.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "scene/kvl_math.h"
#include "scene/zrn_backend.h"

int main(int argc, char** argv) {
    // Seconds to keep the window up (default 3).
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    ZRNBackendWindow window("empty window", 640, 480, 16);
    window.SetFullScreen(false);
    ZRNBackendRenderer renderer(&window);
    renderer.SetSwapInterval(0);
    if (!window.Open() || !renderer.Initialise()) {
        std::fprintf(stderr, "bench_emptywindow: no window or GL context: %s\n", ZRNBackendLastError().c_str());
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    long long frames = 0;
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
        ZRNBackendWaitForMessage();
        renderer.Clear(KVLVector3(0.0f, 0.0f, 0.0f));
        renderer.Present();
        ++frames;
        if (!ZRNBackendPumpMessages()) {
            break;
        }
    }
    std::printf("empty window: %lld frames in %.1f s\n", frames, seconds);
    renderer.OnShutdown();
    return 0;
}
