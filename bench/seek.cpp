// Seek time of the live show against its limit, in the same run: the demo in a
// window (needs a display: run under Xvfb, e.g. `xvfb-run -s "-screen 0 640x480x24"
// build/bin/bench_seek`), its archive from the build (or the path given), sound on
// SDL's disk driver. Each seek is timed from the request until its picture is drawn
// and the music plays again; a seek back rebuilds the scenes, a seek forward steps on
// from where the show is. Prints each seek's time and its share of the 0.5 s a
// viewer is promised (best of several runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/demo_show.h"
#include "show/zrn_showapp.h"
#include "app/demo_resources.h"
#include "platform/kvl_programpath.h"

namespace {

constexpr int kRuns = 3;
constexpr double kLimitSeconds = 0.5;

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "bench_seek: needs a display (run it under xvfb-run)\n");
        return 1;
    }
    setenv("SDL_AUDIODRIVER", "disk", 0);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
    const std::string archive = argc > 1 ? argv[1] : std::string(KVLGetProgramFolder().c_str()) + "quorvel.pak";
    SetDemoArchivePath(KVLString(archive.c_str()));
    ZRNShowApp app(DemoShowDescription());
    app.SetWindowed(true);
    if (!app.InitInstance()) {
        return 1;
    }
    // From the start forward, then back and forward again across the scenes.
    const struct {
        int32_t from;
        int32_t to;
        const char* what;
    } seeks[] = {
        {0, 5879, "start -> end (forward, every scene)"}, {5879, 0, "end -> start (back)"},
        {0, 1000, "start -> oscilloscope"},               {1000, 2000, "oscilloscope -> room"},
        {5000, 3300, "tunnel -> tunnel (back)"},          {100, 5530, "picture -> end picture"},
    };
    for (const auto& s : seeks) {
        double best = 1e9;
        for (int run = 0; run < kRuns; ++run) {
            app.SetPaused(true);
            app.SeekTo(s.from);
            const auto start = std::chrono::steady_clock::now();
            app.SeekTo(s.to);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            best = std::min(best, seconds);
        }
        std::printf("%-40s %7.3f s  (%.2f of the %.1f s limit)\n", s.what, best, best / kLimitSeconds, kLimitSeconds);
    }
    return 0;
}
