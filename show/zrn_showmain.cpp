// ZRNShowMain: from the command line to the mode it asks for.
#include "show/zrn_showmain.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/kvl_programpath.h"
#include "show/zrn_showapp.h"
#include "show/zrn_showjobs.h"
#include "show/zrn_showoffline.h"
#include "show/zrn_showoptions.h"
#include "show/zrn_showvideo.h"

namespace {

// The archive lives next to the program, whatever the current folder; an installed
// program finds it in the show's data folder instead.
void FindArchive(const ZRNShowDescription& show) {
    if (show.archive.empty() || !show.found) {
        return;
    }
    const KVLString folder = KVLGetProgramFolder();
    if (folder.IsEmpty()) {
        return;
    }
    const std::string beside = std::string(folder.c_str()) + show.archive;
    std::error_code error;
    if (!show.dataDir.empty() && !std::filesystem::exists(beside, error)) {
        show.found(show.dataDir + "/" + show.archive);
        return;
    }
    show.found(beside);
}

// Refused options, bad sizes, codecs and paths all end here, before any work.
int Refuse(int status, const std::string& problem) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return status;
}

// The live show in a window (or full screen).
int PlayLive(const ZRNShowDescription& show, const ZRNShowCommandLine& line) {
    ZRNShowBench bench;
    bench.launch = std::chrono::steady_clock::now();
    bench.enabled = line.bench;
    int status = 1;
    {
        ZRNShowApp app(show);
        app.SetWindowed(line.windowed);
        app.SetStartTick(line.startTick);
        if (app.InitInstance()) {
            status = app.Run(&bench);
        }
    }
    if (status == 0 && bench.enabled) {
        bench.Print(show);
    }
    return status;
}

}  // namespace

int ZRNShowMain(const ZRNShowDescription& show, int argc, char** argv) {
    const std::string invalid = show.Check();
    if (!invalid.empty()) {
        return Refuse(1, invalid);
    }
    ZRNShowCommandLine line;
    std::string problem;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const int status = ZRNParseShowCommandLine(show, args, ZRNShowOptionSource::Program, &line, &problem)) {
        return Refuse(status, problem);
    }
    const std::string named = show.program + ": ";
    if (line.help || line.version) {
        std::fputs(line.help ? ZRNShowOptionsHelp(show).c_str() : (show.program + " " + show.version + "\n").c_str(),
                   stdout);
        return 0;
    }
    if (line.joining) {
        line.join.showEndTick = show.GetEndTick();
        line.join.showTickMs = show.tickMs;
        problem = ZRNJoinShowVideo(line.join);
        return problem.empty() ? 0 : Refuse(1, named + problem);
    }
    if (line.Modes() == 1) {
        problem = ZRNCheckShowOffline(show, line.offline);
        if (!problem.empty()) {
            return Refuse(1, named + problem);
        }
    }
    FindArchive(show);
    if (line.jobs > 1) {
        return ZRNRunShowVideoJobs(show, line);
    }
    return line.Modes() == 1 ? ZRNRunShowOffline(show, line.offline) : PlayLive(show, line);
}
