// zarnoth: the demo program. Without options it plays the show full screen from the
// archive next to the program (or, installed, in the package's data folder); the
// options only add ways to watch or record it.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/demo_app.h"
#include "app/demo_offline.h"
#include "app/demo_picture.h"
#include "app/demo_resources.h"
#include "app/demo_video.h"
#include "platform/kvl_programpath.h"

namespace {

constexpr const char* kUsage =
    "usage: zarnoth [--windowed] [--bench] [--start TICK]\n"
    "       zarnoth --shot TICK -o OUT.png [--size WxH] [--ssaa N]\n"
    "       zarnoth --capture DIR [--fps N] [--size WxH] [--ssaa N]\n"
    "       zarnoth --render-only [--fps N] [--size WxH] [--ssaa N]\n"
    "       zarnoth --video OUT.mp4 [--codec h264|ffv1] [--preset NAME] [--crf N] [--fps N]\n"
    "               [--size WxH] [--ssaa N]\n"
    "               [--from TICK --to TICK | --jobs N]\n"
    "       zarnoth --soundtrack WHOLE.wav [--fps N]\n"
    "       zarnoth --join OUT PART... --sound WHOLE.wav\n"
    "       zarnoth --version\n"
    "\n"
    "Plays the ZARNOTH 3D demo (82 seconds) from quorvel.pak next to the program.\n"
    "  --windowed         a 640x480 window instead of full screen\n"
    "  --bench            print the start-up time and the frames per second of each scene,\n"
    "                     also as a share of an empty frame's rate timed after the show\n"
    "  --start TICK       start the show at timer tick TICK (14 ms each), the music in step\n"
    "                     Keys while it plays: Space pauses and resumes, Left and Right seek\n"
    "                     5 s, Home starts again, 1 to 5 jump to the five scenes\n"
    "  --shot TICK        render offscreen the picture shown at timer tick TICK (14 ms each)\n"
    "                     and write it to OUT.png; the ticks are driven by the program\n"
    "  --capture DIR      render every picture of the show offscreen into DIR/frame_NNNNN.png\n"
    "                     and the soundtrack into DIR/sound.wav\n"
    "  --video OUT        encode the show offscreen with its soundtrack into the video file OUT:\n"
    "                     H.264 and AAC (.mp4, .mkv), or with --codec ffv1 lossless FFV1 and\n"
    "                     PCM (.mkv)\n"
    "  --preset NAME      x264's speed against size for H.264: ultrafast, superfast, veryfast\n"
    "                     (default), faster, fast, medium, slow, slower, veryslow\n"
    "  --crf N            H.264 quality, 0 (lossless) to 51 (worst); lower is better and\n"
    "                     larger (default 13)\n"
    "  --from TICK --to TICK\n"
    "                     a part of the video: its pictures from tick FROM up to TICK TO,\n"
    "                     exactly as the whole video has them, without sound (see --join)\n"
    "  --jobs N           make the video in N parts at once, then join them: the same file\n"
    "  --soundtrack WHOLE.wav\n"
    "                     the sound of a whole video at --fps as a WAV file, for --join\n"
    "  --join OUT PART... put video parts of the show (each holding its range of pictures)\n"
    "                     together into OUT without encoding the pictures again; the sound\n"
    "                     comes from --sound WHOLE.wav, the soundtrack of the whole show\n"
    "  --render-only      draw and read back every picture of a video, then drop them (to\n"
    "                     time the rendering alone)\n"
    "  --fps N            pictures per second of show time for --capture and --video\n"
    "                     (default 60)\n"
    "  --size WxH         picture size of --shot, --capture and --video (default 640x480, at\n"
    "                     most 7680x4320); the 4:3 picture is centred with black bars\n"
    "  --ssaa N           render N times larger in each direction and average down (1 to 4)\n"
    "  --version          the version\n"
    "  --help             this text\n";

// The archive lives next to the program, whatever the current folder; an installed
// program finds it in the package's data folder instead.
void FindArchive() {
    const KVLString folder = KVLGetProgramFolder();
    if (folder.IsEmpty()) {
        return;
    }
    const std::string beside = std::string(folder.c_str()) + "quorvel.pak";
#if defined(ZARNOTH_DATA_DIR)
    if (std::FILE* f = std::fopen(beside.c_str(), "rb")) {
        std::fclose(f);
    } else {
        SetDemoArchivePath(KVLString(ZARNOTH_DATA_DIR "/quorvel.pak"));
        return;
    }
#endif
    SetDemoArchivePath(KVLString(beside.c_str()));
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
    int32_t startTick = 0;
    int32_t jobs = 1;
    DemoOfflineOptions offline;
    DemoVideoJoin join;
    bool joining = false;
    // The first option given that only the offscreen modes use.
    std::string offlineOnly;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        for (const char* o : {"--size", "--ssaa", "--fps", "--codec", "--preset", "--crf", "--from", "--to", "--jobs"}) {
            if (a == o && offlineOnly.empty()) {
                offlineOnly = a;
            }
        }
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("zarnoth %s\n", ZARNOTH_VERSION);
            return 0;
        } else if (a == "--windowed") {
            windowed = true;
        } else if (a == "--start" && hasValue) {
            if (!ParseInt(argv[++i], 0, DemoController::kSwitchTicks.back() - 1, &startTick)) {
                return Usage("--start takes a tick from 0 to 5879");
            }
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
        } else if (a == "--video" && hasValue) {
            offline.videoPath = argv[++i];
        } else if (a == "--from" && hasValue) {
            if (!ParseInt(argv[++i], 0, DemoController::kSwitchTicks.back(), &offline.fromTick)) {
                return Usage("--from takes a tick from 0 to 5880");
            }
        } else if (a == "--to" && hasValue) {
            if (!ParseInt(argv[++i], 0, DemoController::kSwitchTicks.back(), &offline.toTick)) {
                return Usage("--to takes a tick from 0 to 5880");
            }
        } else if (a == "--jobs" && hasValue) {
            if (!ParseInt(argv[++i], 1, 64, &jobs)) {
                return Usage("--jobs takes a number from 1 to 64");
            }
        } else if (a == "--soundtrack" && hasValue) {
            offline.soundtrackPath = argv[++i];
        } else if (a == "--render-only") {
            offline.renderOnly = true;
        } else if (a == "--codec" && hasValue) {
            offline.videoCodec = argv[++i];
        } else if (a == "--preset" && hasValue) {
            offline.videoPreset = argv[++i];
        } else if (a == "--crf" && hasValue) {
            // The range is the encoder's to check, with the other video settings.
            int32_t crf = 0;
            if (!ParseInt(argv[++i], INT32_MIN, INT32_MAX, &crf)) {
                std::fprintf(stderr, "zarnoth: --crf takes a whole number, not '%s'\n", argv[i]);
                return 1;
            }
            offline.videoCrf = crf;
        } else if (a == "--join" && i + 2 < argc) {
            joining = true;
            join.path = argv[++i];
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
                join.parts.push_back(argv[++i]);
            }
        } else if (a == "--sound" && hasValue) {
            join.soundPath = argv[++i];
        } else if (a == "--size" && hasValue) {
            if (!ParseDemoPictureSize(argv[++i], &offline.size.width, &offline.size.height)) {
                return Usage("--size takes WIDTHxHEIGHT, e.g. 1920x1080");
            }
        } else if (a == "--ssaa" && hasValue) {
            if (!ParseInt(argv[++i], 1, 4, &offline.size.ssaa)) {
                return Usage("--ssaa takes a factor from 1 to 4");
            }
        } else if (a == "--fps" && hasValue) {
            if (!ParseInt(argv[++i], 1, 1000, &offline.fps)) {
                return Usage("--fps takes a number from 1 to 1000");
            }
        } else {
            return Usage(("unknown or incomplete option " + a).c_str());
        }
    }
    if (joining) {
        if (join.parts.empty() || join.soundPath.empty() || argc != 3 + static_cast<int>(join.parts.size()) + 2) {
            return Usage("--join takes OUT, one or more parts and --sound WHOLE.wav, and nothing else");
        }
        const std::string problem = JoinDemoVideo(join);
        if (!problem.empty()) {
            std::fprintf(stderr, "zarnoth: %s\n", problem.c_str());
            return 1;
        }
        return 0;
    }
    if (shot && offline.shotPath.empty()) {
        return Usage("--shot needs -o OUT.png");
    }
    const bool video = !offline.videoPath.empty();
    if (!video && (offline.videoPreset.has_value() || offline.videoCrf.has_value())) {
        return Usage("--preset and --crf go with --video");
    }
    int modes = (shot ? 1 : 0) + (offline.captureDir.empty() ? 0 : 1) + (video ? 1 : 0) + (offline.renderOnly ? 1 : 0);
    const bool soundtrack = !offline.soundtrackPath.empty();
    if (jobs > 1 && (!video || offline.fromTick >= 0 || offline.toTick >= 0)) {
        return Usage("--jobs makes a whole video in parts: it goes with --video, without --from and --to");
    }
    if (modes + (soundtrack ? 1 : 0) > 1) {
        return Usage("--shot, --capture, --video, --render-only and --soundtrack do not go together");
    }
    modes += soundtrack ? 1 : 0;
    if (modes == 0 && !offlineOnly.empty()) {
        std::fprintf(stderr, "zarnoth: %s is for --shot, --capture, --video and --render-only, not the live show\n",
                     offlineOnly.c_str());
        return 1;
    }
    if (modes == 1 && startTick > 0) {
        std::fprintf(stderr, "zarnoth: --start is for the live show\n");
        return 1;
    }
    if (modes == 1) {
        // Bad sizes, codecs and paths are refused before any work.
        const std::string problem = CheckDemoOffline(offline);
        if (!problem.empty()) {
            std::fprintf(stderr, "zarnoth: %s\n", problem.c_str());
            return 1;
        }
    }
    FindArchive();
    if (jobs > 1) {
        // Every part gets the options of the whole video but its path and range.
        std::vector<std::string> arguments = {"--fps", std::to_string(offline.fps), "--codec", offline.videoCodec,
                                              "--size", std::to_string(offline.size.width) + "x" +
                                                            std::to_string(offline.size.height),
                                              "--ssaa", std::to_string(offline.size.ssaa)};
        if (offline.videoPreset) {
            arguments.insert(arguments.end(), {"--preset", *offline.videoPreset});
        }
        if (offline.videoCrf) {
            arguments.insert(arguments.end(), {"--crf", std::to_string(*offline.videoCrf)});
        }
        return RunDemoVideoJobs(offline, jobs, std::string(KVLGetProgramFolder().c_str()) + "zarnoth", arguments);
    }
    if (modes == 1) {
        return RunDemoOffline(offline);
    }
    int status = 1;
    {
        DemoApp app;
        app.SetWindowed(windowed);
        app.SetStartTick(startTick);
        if (app.InitInstance()) {
            status = app.Run(&bench);
        }
    }
    if (status == 0 && bench.enabled) {
        bench.Print();
    }
    return status;
}
