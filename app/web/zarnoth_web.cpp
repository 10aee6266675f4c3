// zarnoth for the web page: the program's entry points, called by the page's script
// (app/web/zarnoth_page.js) once it has put the archive at /quorvel.pak in the
// program's file system (or found none).
//
//   zarnoth_play()      plays the show on the page's canvas with its sound; returns at
//                       once (0 started, 1 failed: the page has the message texts).
//                       The page hears "started", then "ended" with the measurements
//                       once the show is over, after which it may be called again
//                       (the page calls it while no show is on).
//   zarnoth_shot(t, f)  the picture of tick t at f pictures per second, as
//                       `zarnoth --shot t --fps f` makes it (the same clock and
//                       sound-driven oscilloscope), written to /shot.png; 0 done, 1
//                       failed. The page hears "shot" with the file's name.
//
// The page learns what happens through page events (platform/web/kvl_page_web.h).
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "app/demo_app.h"
#include "app/demo_offline.h"
#include "app/demo_resources.h"
#include "platform/web/kvl_page_web.h"

namespace {

constexpr const char* kArchive = "/quorvel.pak";
constexpr const char* kShot = "/shot.png";

// One run of the show, owned by the page's main loop from start to end.
struct Show {
    DemoBench bench;
    std::unique_ptr<DemoApp> app;
};

// The measurements as JSON for the page: start-up (click to first picture) and each
// scene's frames and seconds.
std::string BenchJSON(const DemoBench& bench) {
    std::string json = "{\"startup\":" + std::to_string(bench.startupSeconds) + ",\"scenes\":[";
    for (int i = 0; i < DemoController::kSceneCount; ++i) {
        json += (i > 0 ? "," : "");
        json += "{\"frames\":" + std::to_string(bench.frames[i]) + ",\"seconds\":" + std::to_string(bench.seconds[i]) + "}";
    }
    return json + "]}";
}

}  // namespace

extern "C" int zarnoth_play() {
    auto show = std::make_shared<Show>();
    show->bench.enabled = true;
    show->bench.timeEmptyFrame = false;
    show->bench.launch = std::chrono::steady_clock::now();
    SetDemoArchivePath(kArchive);
    show->app = std::make_unique<DemoApp>();
    show->app->SetWindowed(true);
    if (!show->app->InitInstance()) {
        show->app.reset();
        ReleaseDemoResources();
        KVLWebPageEvent("failed", "");
        return 1;
    }
    KVLWebPageEvent("started", "");
    ZRNBackendRunLoop([show] { return show->app->Step(&show->bench); },
                      [show] {
                          show->bench.Print();
                          // The page keeps the last picture before the context goes.
                          KVLWebPageEvent("ended", BenchJSON(show->bench).c_str());
                          show->app.reset();
                          ReleaseDemoResources();
                      });
    return 0;
}

extern "C" int zarnoth_shot(int tick, int fps) {
    SetDemoArchivePath(kArchive);
    DemoOfflineOptions options;
    options.shotTick = tick;
    options.fps = fps;
    options.shotPath = kShot;
    const int status = RunDemoOffline(options);
    ReleaseDemoResources();
    KVLWebPageEvent(status == 0 ? "shot" : "failed", status == 0 ? kShot : "");
    return status;
}

// The page starts the show; main has nothing to do.
int main() { return 0; }
