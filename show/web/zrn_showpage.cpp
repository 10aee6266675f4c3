// A show's web page: the program's entry points, called by the page's script
// (show/web/zarnoth_page.js) once it has put the show's archive at /ARCHIVE in the
// program's file system (or found none). The show gives its description through
// ZRNShowPageDescription (zrn_showpage.h); everything else is the same for every show.
//
//   zarnoth_show_info() the show as the page shows it: title, tick, end tick and
//                       chapters, as JSON (ZRNShowDescription::GetPageInfo).
//   zarnoth_play()      plays the show on the page's canvas with its sound; returns at
//                       once (0 started, 1 failed: the page has the message texts).
//                       The page hears "started", then "ended" with the measurements
//                       once the show is over, after which it may be called again
//                       (the page calls it while no show is on).
//   zarnoth_page(argc, argv)
//                       the page's address as options, checked by the command line's
//                       own parser (show/zrn_showoptions.h: ?shot=100&fps=10 is
//                       `--shot 100 --fps 10`). A refused address gets the command
//                       line's one line as a "message" event, then "failed"; the exit
//                       status it would have (2 or 1) is returned and nothing runs.
//                       With --shot, the picture of the tick, as `zarnoth --shot TICK
//                       --fps N` makes it, is written to /shot.png (the page's only
//                       file; the address names no path) and the page hears "shot"
//                       with its name (0) or "failed" (1). Otherwise 0: the page may
//                       start the show.
//
// The show runs paced: the browser's animation frames (about 60 a second) come far
// more slowly than a native window draws, so the program steps the show by the step
// clock and draws the last step due in each frame (see ZRNShowApp), and the frame-counted
// rules of the scenes behave as in a native run.
//
// While the show runs, the page may ask (page requests, platform/web/kvl_page_web.h),
// taken at the start of each pass:
//   seek  value: a tick   the show goes there (as the keys' seeks); the page hears
//                         "seeked" with the tick once its picture is drawn
//   pause value: 1 or 0   pause as of the moment asked, or go on
// and after each pass Module.zarnothStatus holds tick (the show's tick) and paused
// (1 or 0). The keys reach the show through the canvas's window directly.
//
// The page learns what happens through page events (platform/web/kvl_page_web.h).
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/web/kvl_page_web.h"
#include "show/zrn_showapp.h"
#include "show/zrn_showoffline.h"
#include "show/zrn_showoptions.h"
#include "show/zrn_showviewer.h"
#include "show/web/zrn_showpage.h"

namespace {

constexpr const char* kShot = "/shot.png";

// Where the page puts the archive: in the file system's root, under its own name.
void UseArchive(const ZRNShowDescription& show) {
    if (show.found && !show.archive.empty()) {
        show.found("/" + show.archive);
    }
}

void ReleaseFiles(const ZRNShowDescription& show) {
    if (show.release) {
        show.release();
    }
}

// One run of the show, owned by the page's main loop from start to end.
struct Show {
    ZRNShowBench bench;
    std::unique_ptr<ZRNShowApp> app;
};

// The measurements as JSON for the page: start-up (click to first picture) and each
// scene's frames and seconds.
std::string BenchJSON(const ZRNShowBench& bench) {
    std::string json = "{\"startup\":" + std::to_string(bench.startupSeconds) + ",\"scenes\":[";
    for (size_t i = 0; i < bench.frames.size(); ++i) {
        json += (i > 0 ? "," : "");
        json += "{\"frames\":" + std::to_string(bench.frames[i]) + ",\"seconds\":" + std::to_string(bench.seconds[i]) + "}";
    }
    return json + "]}";
}

// The page's requests since the last pass.
void TakeRequests(ZRNShowApp& app) {
    KVLWebPageRequest request;
    while (app.GetController()->IsRunning() && KVLWebTakePageRequest(&request)) {
        if (request.name == "seek") {
            const int32_t tick = ZRNShowViewerClampTick(app.GetController()->GetTimeline(), request.value);
            if (app.SeekTo(tick)) {
                KVLWebPageEvent("seeked", std::to_string(app.GetTick()).c_str());
            }
        } else if (request.name == "pause") {
            app.SetPaused(request.value != 0, request.at);
        }
    }
}

void ReportStatus(const ZRNShowApp& app) {
    KVLWebPageStatus("tick", app.GetTick());
    KVLWebPageStatus("paused", app.IsPaused() ? 1 : 0);
}

}  // namespace

extern "C" int zarnoth_play() {
    const ZRNShowDescription& description = ZRNShowPageDescription();
    auto show = std::make_shared<Show>();
    show->bench.enabled = true;
    show->bench.timeEmptyFrame = false;
    show->bench.launch = std::chrono::steady_clock::now();
    UseArchive(description);
    show->app = std::make_unique<ZRNShowApp>(description);
    show->app->SetWindowed(true);
    show->app->SetPaced(true);
    // The worklet queues a second ahead and starts a moment late: the pictures keep
    // with what is heard.
    show->app->SetFollowsMusic(true);
    if (!show->app->InitInstance()) {
        show->app.reset();
        ReleaseFiles(description);
        KVLWebPageEvent("failed", "");
        return 1;
    }
    KVLWebPageEvent("started", "");
    ReportStatus(*show->app);
    ZRNBackendRunLoop(
        [show] {
            TakeRequests(*show->app);
            const bool more = show->app->Step(&show->bench);
            ReportStatus(*show->app);
            return more;
        },
        [show, d = &description] {
            show->bench.Print(*d);
            // The page keeps the last picture before the context goes.
            KVLWebPageEvent("ended", BenchJSON(show->bench).c_str());
            show->app.reset();
            ReleaseFiles(*d);
        });
    return 0;
}

extern "C" int zarnoth_page(int argc, char** argv) {
    ZRNShowCommandLine line;
    std::string problem;
    const ZRNShowDescription& description = ZRNShowPageDescription();
    const int refused = ZRNParseShowCommandLine(description, std::vector<std::string>(argv, argv + argc),
                                                ZRNShowOptionSource::Page, &line, &problem);
    if (refused != 0) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        KVLWebPageEvent("message", problem.c_str());
        KVLWebPageEvent("failed", "");
        return refused;
    }
    if (!line.shot) {
        return 0;
    }
    UseArchive(description);
    line.offline.shotPath = kShot;
    const int status = ZRNRunShowOffline(description, line.offline);
    ReleaseFiles(description);
    KVLWebPageEvent(status == 0 ? "shot" : "failed", status == 0 ? kShot : "");
    return status;
}

// The show as the page shows it (title, chapters, end tick): JSON, kept for the page.
extern "C" const char* zarnoth_show_info() {
    static const std::string info = ZRNShowPageDescription().GetPageInfo();
    return info.c_str();
}
