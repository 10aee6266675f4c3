// zarnoth: the demo program. Without options it plays the show full screen from the
// archive next to the program (or, installed, in the package's data folder); the
// options only add ways to watch or record it.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/demo_app.h"
#include "app/demo_jobs.h"
#include "app/demo_offline.h"
#include "app/demo_options.h"
#include "app/demo_resources.h"
#include "app/demo_video.h"
#include "platform/kvl_programpath.h"

namespace {

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

// Refused options, bad sizes, codecs and paths all end here, before any work.
int Refuse(int status, const std::string& problem) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return status;
}

// The live show in a window (or full screen).
int PlayLive(const DemoCommandLine& line) {
    DemoBench bench;
    bench.launch = std::chrono::steady_clock::now();
    bench.enabled = line.bench;
    int status = 1;
    {
        DemoApp app;
        app.SetWindowed(line.windowed);
        app.SetStartTick(line.startTick);
        if (app.InitInstance()) {
            status = app.Run(&bench);
        }
    }
    if (status == 0 && bench.enabled) {
        bench.Print();
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    DemoCommandLine line;
    std::string problem;
    if (const int status =
            ParseDemoCommandLine(std::vector<std::string>(argv + 1, argv + argc), DemoOptionSource::Program, &line,
                                 &problem)) {
        return Refuse(status, problem);
    }
    if (line.help || line.version) {
        std::fputs(line.help ? DemoOptionsHelp().c_str() : "zarnoth " ZARNOTH_VERSION "\n", stdout);
        return 0;
    }
    if (line.joining) {
        problem = JoinDemoVideo(line.join);
        return problem.empty() ? 0 : Refuse(1, "zarnoth: " + problem);
    }
    if (line.Modes() == 1) {
        problem = CheckDemoOffline(line.offline);
        if (!problem.empty()) {
            return Refuse(1, "zarnoth: " + problem);
        }
    }
    FindArchive();
    if (line.jobs > 1) {
        return RunDemoVideoJobs(line);
    }
    return line.Modes() == 1 ? RunDemoOffline(line.offline) : PlayLive(line);
}
