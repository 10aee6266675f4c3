// Fuzz target: the input, cut at its zero bytes, as the program's arguments and as the
// web page's address (the page hands its address to the same parser). Whatever they
// hold: a status of 0, 1 or 2, a refusal in one line, and nothing from the page that
// names a file (the page writes only its own /shot.png).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "show/zrn_showoptions.h"

namespace {

// A show's name and end tick are all the parser takes from it.
ZRNShowDescription Show() {
    ZRNShowDescription show;
    show.program = "zarnoth";
    show.chapters = {{"first", 280, nullptr}, {"last", 5880, nullptr}};
    return show;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ZRNShowDescription show = Show();
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    for (const ZRNShowOptionSource source : {ZRNShowOptionSource::Program, ZRNShowOptionSource::Page}) {
        ZRNShowCommandLine line;
        std::string problem;
        const int status = ZRNParseShowCommandLine(show, args, source, &line, &problem);
        if (status < 0 || status > 2 || (status != 0) != !problem.empty() ||
            problem.find('\n') != std::string::npos || (status != 0 && problem.rfind("zarnoth: ", 0) != 0)) {
            std::abort();
        }
        const ZRNShowOfflineOptions& o = line.offline;
        if (source == ZRNShowOptionSource::Page && status == 0 &&
            (!o.shotPath.empty() || !o.captureDir.empty() || !o.videoPath.empty() || !o.soundtrackPath.empty() ||
             line.joining || (line.shot && (o.shotTick < 0 || o.fps < 1)))) {
            std::abort();
        }
    }
    return 0;
}
