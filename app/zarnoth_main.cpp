// zarnoth: the demo program. Without options it plays the show full screen from the
// archive next to the program; the options only add ways to watch or record it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/demo_app.h"
#include "app/demo_offline.h"
#include "app/demo_resources.h"
#include "platform/kvl_programpath.h"

namespace {

constexpr const char* kUsage =
    "usage: zarnoth [--windowed] [--bench]\n"
    "       zarnoth --shot TICK -o OUT.png [--fps N]\n"
    "       zarnoth --capture DIR [--fps N]\n"
    "\n"
    "Plays the ZARNOTH 3D demo (82 seconds) from quorvel.pak next to the program.\n"
    "  --windowed         a 640x480 window instead of full screen\n"
    "  --bench            print the start-up time and the frames per second of each scene,\n"
    "                     also as a share of an empty frame's rate timed after the show\n"
    "  --shot TICK        render offscreen the picture shown at timer tick TICK (14 ms each)\n"
    "                     and write it to OUT.png; the ticks are driven by the program\n"
    "  --capture DIR      render every picture of the show offscreen into DIR/frame_NNNNN.png\n"
    "                     and the soundtrack into DIR/sound.wav\n"
    "  --fps N            pictures per second of show time for --shot and --capture (default 60)\n"
    "  --help             this text\n";

// The archive lives next to the program, whatever the current folder.
void FindArchive() {
    const KVLString folder = KVLGetProgramFolder();
    if (folder.IsEmpty()) {
        return;
    }
    SetDemoArchivePath(KVLString((std::string(folder.c_str()) + "quorvel.pak").c_str()));
}

int Usage(const char* problem) {
    std::fprintf(stderr, "zarnoth: %s\n%s", problem, kUsage);
    return 2;
}

bool ParseInt(const char* text, int32_t low, int32_t high, int32_t* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *out = static_cast<int32_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    DemoBench bench;
    bench.launch = std::chrono::steady_clock::now();
    bool windowed = false;
    bool shot = false;
    DemoOfflineOptions offline;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--windowed") {
            windowed = true;
        } else if (a == "--bench") {
            bench.enabled = true;
        } else if (a == "--shot" && hasValue) {
            if (!ParseInt(argv[++i], 0, 1000000, &offline.shotTick)) {
                return Usage("--shot takes a tick from 0 on");
            }
            shot = true;
        } else if (a == "-o" && hasValue) {
            offline.shotPath = argv[++i];
        } else if (a == "--capture" && hasValue) {
            offline.captureDir = argv[++i];
        } else if (a == "--fps" && hasValue) {
            if (!ParseInt(argv[++i], 1, 1000, &offline.fps)) {
                return Usage("--fps takes a number from 1 to 1000");
            }
        } else {
            return Usage(("unknown or incomplete option " + a).c_str());
        }
    }
    if (shot && offline.shotPath.empty()) {
        return Usage("--shot needs -o OUT.png");
    }
    if (shot && !offline.captureDir.empty()) {
        return Usage("--shot and --capture do not go together");
    }
    FindArchive();
    if (shot || !offline.captureDir.empty()) {
        return RunDemoOffline(offline);
    }
    int status = 1;
    {
        DemoApp app;
        app.SetWindowed(windowed);
        if (app.InitInstance()) {
            status = app.Run(&bench);
        }
    }
    if (status == 0 && bench.enabled) {
        bench.Print();
    }
    return status;
}
