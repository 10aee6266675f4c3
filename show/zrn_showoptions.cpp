// The option table and what is made from it: the parser, --help, the manual page's
// option list and a part's command line.
#include "show/zrn_showoptions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "show/zrn_showpicture.h"

namespace {

using Line = ZRNShowCommandLine;
using V = ZRNShowOptionValue;
using U = ZRNShowOptionUse;

// Rows: name, value, kind, low, high, choices, use, with, page, toParts, help, keep.
const std::array kTable = {
    ZRNShowOption{"--windowed", nullptr, V::None, 0, 0, nullptr, U::Live, nullptr, false, false,
               "a window of the show's size instead of full screen",
               [](Line& l, const char*, int32_t) { l.windowed = true; }},
    ZRNShowOption{"--bench", nullptr, V::None, 0, 0, nullptr, U::Live, nullptr, false, false,
               "print the start-up time and the frames per second of each scene at the end, also as a share of "
               "an empty frame's rate timed after the show",
               [](Line& l, const char*, int32_t) { l.bench = true; }},
    ZRNShowOption{"--start", "TICK", V::Number, 0, kZRNShowOptionLastTick, nullptr, U::Live, nullptr, false, false,
               "start the show at timer tick TICK, the music in step. Keys while it plays: Space "
               "pauses and resumes, Left and Right seek 5 s, Home starts again, 1 to 9 jump to the scenes",
               [](Line& l, const char*, int32_t n) { l.startTick = n; }},
    ZRNShowOption{"--shot", "TICK", V::Number, 0, kZRNShowOptionEndTick, nullptr, U::Mode, nullptr, true, false,
               "render offscreen the picture shown at timer tick TICK and write it to the PNG file "
               "of -o; the program drives the ticks, so the same options always give the same picture, at "
               "every --fps",
               [](Line& l, const char*, int32_t n) {
                   l.shot = true;
                   l.offline.shotTick = n;
               }},
    ZRNShowOption{"-o", "OUT.png", V::Text, 0, 0, nullptr, U::With, "--shot", false, false, "the file --shot writes",
               [](Line& l, const char* t, int32_t) { l.offline.shotPath = t; }},
    ZRNShowOption{"--capture", "DIR", V::Text, 0, 0, nullptr, U::Mode, nullptr, false, false,
               "render every picture of the show offscreen into DIR/frame_00000.png ... and the soundtrack into "
               "DIR/sound.wav",
               [](Line& l, const char* t, int32_t) { l.offline.captureDir = t; }},
    ZRNShowOption{"--video", "OUT", V::Text, 0, 0, nullptr, U::Mode, nullptr, false, false,
               "encode the show offscreen with its soundtrack into the video file OUT: H.264 (yuv420p) and AAC "
               "in the container its name asks for (.mp4, .mkv, .mov), or with --codec ffv1 lossless FFV1 and "
               "16-bit PCM (.mkv); the file appears only when it is complete",
               [](Line& l, const char* t, int32_t) { l.offline.videoPath = t; }},
    ZRNShowOption{"--codec", "h264|ffv1", V::Text, 0, 0, nullptr, U::Offline, nullptr, false, true,
               "the video codec (default h264); the encoder names the codecs it knows",
               [](Line& l, const char* t, int32_t) { l.offline.videoCodec = t; }},
    ZRNShowOption{"--preset", "NAME", V::Text, 0, 0, nullptr, U::Offline, nullptr, false, true,
               "H.264 only: x264's speed against size, ultrafast, superfast, veryfast (default), faster, fast, "
               "medium, slow, slower or veryslow",
               [](Line& l, const char* t, int32_t) { l.offline.videoPreset = t; }},
    ZRNShowOption{"--crf", "N", V::Number, 0, 51, nullptr, U::Offline, nullptr, false, true,
               "H.264 only: quality, 0 (lossless) to 51 (worst); lower is better and larger (default 13)",
               [](Line& l, const char*, int32_t n) { l.offline.videoCrf = n; }},
    ZRNShowOption{"--from", "TICK", V::Number, 0, kZRNShowOptionEndTick, nullptr, U::Offline, nullptr, false, false,
               "with --video: a part of the video, its pictures from tick TICK on exactly as the whole video "
               "has them, without sound (see --join)",
               [](Line& l, const char*, int32_t n) { l.offline.fromTick = n; }},
    ZRNShowOption{"--to", "TICK", V::Number, 0, kZRNShowOptionEndTick, nullptr, U::Offline, nullptr, false, false,
               "with --video: the part's pictures end before tick TICK",
               [](Line& l, const char*, int32_t n) { l.offline.toTick = n; }},
    ZRNShowOption{"--jobs", "N", V::Number, 1, 64, nullptr, U::Offline, nullptr, false, false,
               "with --video: make the video in N parts at once (N runs of this program, in a folder next to "
               "OUT), then join them: the same file as one run; the first part that fails stops the others",
               [](Line& l, const char*, int32_t n) { l.jobs = n; }},
    ZRNShowOption{"--progress", nullptr, V::None, 0, 0, nullptr, U::Offline, nullptr, false, false,
               "print \"progress DONE/TOTAL\" lines (pictures) on standard output while a capture or video runs, "
               "for a program that follows it (--jobs does)",
               [](Line& l, const char*, int32_t) { l.offline.reportProgress = true; }},
    ZRNShowOption{"--soundtrack", "WHOLE.wav", V::Text, 0, 0, nullptr, U::Mode, nullptr, false, false,
               "write the sound of a whole video at --fps as a WAV file, for --join",
               [](Line& l, const char* t, int32_t) { l.offline.soundtrackPath = t; }},
    ZRNShowOption{"--join", "OUT PART...", V::Join, 0, 0, nullptr, U::Mode, nullptr, false, false,
               "put video parts of the show (each holding its range of pictures) together into OUT without "
               "encoding the pictures again; parts that overlap or leave pictures out are refused",
               nullptr},
    ZRNShowOption{"--sound", "WHOLE.wav", V::Text, 0, 0, nullptr, U::With, "--join", false, false,
               "the soundtrack of the whole show for --join (see --soundtrack)",
               [](Line& l, const char* t, int32_t) { l.join.soundPath = t; }},
    ZRNShowOption{"--render-only", nullptr, V::None, 0, 0, nullptr, U::Mode, nullptr, false, false,
               "draw and read back every picture of a video, then drop them (to time the rendering alone)",
               [](Line& l, const char*, int32_t) { l.offline.renderOnly = true; }},
    ZRNShowOption{"--fps", "N", V::Number, 1, 1000, nullptr, U::Offline, nullptr, true, true,
               "pictures per second of show time for the offline modes (default 60)",
               [](Line& l, const char*, int32_t n) { l.offline.fps = n; }},
    ZRNShowOption{"--size", "WxH", V::Size, 0, 0, nullptr, U::Offline, nullptr, false, true,
               "picture size of the offline modes, 64x64 to 7680x4320 (default 640x480); the 4:3 picture is "
               "centred with black bars, never stretched; H.264 needs an even width and height",
               [](Line& l, const char* t, int32_t) {
                   ZRNParseShowPictureSize(t, &l.offline.size.width, &l.offline.size.height);
               }},
    ZRNShowOption{"--ssaa", "N", V::Number, 1, 4, nullptr, U::Offline, nullptr, false, true,
               "render N times larger in each direction and average down, for smoother edges (default 1)",
               [](Line& l, const char*, int32_t n) { l.offline.size.ssaa = n; }},
    ZRNShowOption{"--slow", "MS", V::Number, 0, 1000, nullptr, U::Page, nullptr, true, false,
               "keep the page's thread busy MS ms in every animation frame of the show (a test switch)",
               [](Line& l, const char*, int32_t n) { l.slowMs = n; }},
    ZRNShowOption{"--audio", "auto|script", V::Choice, 0, 0, "auto|script", U::Page, nullptr, true, false,
               "script plays the sound through the ScriptProcessor fallback (a test switch)",
               [](Line& l, const char* t, int32_t) { l.audio = t; }},
    ZRNShowOption{"--version", nullptr, V::None, 0, 0, nullptr, U::Any, nullptr, false, false, "print the version",
               [](Line& l, const char*, int32_t) { l.version = true; }},
    ZRNShowOption{"--help", nullptr, V::None, 0, 0, nullptr, U::Any, nullptr, false, false, "print the options",
               [](Line& l, const char*, int32_t) { l.help = true; }},
};

// The forms of use, each after the program's name.
constexpr const char* kForms[] = {
    "[--windowed] [--bench] [--start TICK]",
    "--shot TICK -o OUT.png [--size WxH] [--ssaa N]",
    "--capture DIR | --render-only [--fps N] [--size WxH] [--ssaa N]",
    // '%' continues the line below the first option.
    ("--video OUT [--codec h264|ffv1] [--preset NAME] [--crf N] [--fps N] [--size WxH]\n%[--ssaa N] [--from TICK "
     "--to TICK | --jobs N]"),
    "--soundtrack WHOLE.wav [--fps N]",
    "--join OUT PART... --sound WHOLE.wav",
};

std::string SeeHelp(const ZRNShowDescription& show) { return " (" + show.program + " --help lists the options)"; }

// A tick's high as the show has it.
int32_t High(const ZRNShowOption& o, int32_t endTick) {
    return o.high == kZRNShowOptionEndTick ? endTick : o.high == kZRNShowOptionLastTick ? endTick - 1 : o.high;
}

// Text from the command line or the address as a message shows it: control
// characters as \xNN (a message stays one line), at most 40 characters.
std::string Shown(const std::string& text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return text.size() > 40 ? out + "..." : out;
}

const ZRNShowOption* Find(const std::string& name) {
    const std::string wanted = name == "-h" ? "--help" : name;
    for (const ZRNShowOption& o : kTable) {
        if (wanted == o.name) {
            return &o;
        }
    }
    return nullptr;
}

// A whole decimal number: an optional minus and up to nine digits, nothing else.
bool ParseNumber(const std::string& text, int32_t* out) {
    const size_t digits = text.size() - (text.starts_with('-') ? 1 : 0);
    if (digits == 0 || digits > 9) {
        return false;
    }
    int32_t v = 0;
    for (size_t i = text.size() - digits; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    *out = text.starts_with('-') ? -v : v;
    return true;
}

bool IsChoice(const char* choices, const std::string& text) {
    const std::string all = std::string("|") + choices + "|";
    return !text.empty() && text.find('|') == std::string::npos && all.find("|" + text + "|") != std::string::npos;
}

// What the option takes, for its messages: "a tick from 0 to 5880".
std::string Takes(const ZRNShowOption& o, int32_t endTick) {
    switch (o.kind) {
        case V::Number:
            return std::string(std::string(o.value) == "TICK" ? "a tick" : "a whole number") + " from " +
                   std::to_string(o.low) + " to " + std::to_string(High(o, endTick));
        case V::Size: return "WIDTHxHEIGHT, e.g. 1920x1080";
        case V::Choice: return std::string("one of ") + o.choices;
        default: return std::string(o.value == nullptr ? "no value" : o.value);
    }
}

// Checks and keeps one option's value; empty, or the reason it was refused.
std::string Take(const ZRNShowOption& o, const std::string& text, Line* line, int32_t endTick) {
    int32_t number = 0;
    bool good = true;
    if (o.kind == V::Number) {
        good = ParseNumber(text, &number) && number >= o.low && number <= High(o, endTick);
    } else if (o.kind == V::Size) {
        int32_t w = 0;
        int32_t h = 0;
        good = ZRNParseShowPictureSize(text.c_str(), &w, &h);
    } else if (o.kind == V::Choice) {
        good = IsChoice(o.choices, text);
    }
    if (!good) {
        return std::string(o.name) + " takes " + Takes(o, endTick) + ", not '" + Shown(text) + "'";
    }
    o.keep(*line, text.c_str(), number);
    return {};
}

bool Given(const Line& line, const char* name) {
    return std::any_of(line.given.begin(), line.given.end(),
                       [&](const auto& g) { return std::string(g.first->name) == name; });
}

// The first option given of a use, or nullptr.
const ZRNShowOption* FirstOf(const Line& line, ZRNShowOptionUse use) {
    for (const auto& g : line.given) {
        if (g.first->use == use) {
            return g.first;
        }
    }
    return nullptr;
}

// How the options go together, once each has its value. 0 or the exit status.
int CheckTogether(const Line& line, ZRNShowOptionSource source, std::string* problem) {
    if (line.joining) {
        const bool others = std::any_of(line.given.begin(), line.given.end(), [](const auto& g) {
            return std::string(g.first->name) != "--join" && std::string(g.first->name) != "--sound";
        });
        if (others || line.join.parts.empty() || line.join.soundPath.empty()) {
            *problem = "--join takes OUT, one or more parts and --sound WHOLE.wav, and nothing else";
            return 2;
        }
        return 0;
    }
    for (const auto& g : line.given) {
        if (g.first->use == U::With && !Given(line, g.first->with)) {
            *problem = std::string(g.first->name) + " goes with " + g.first->with;
            return 2;
        }
    }
    if (source == ZRNShowOptionSource::Program && line.shot && line.offline.shotPath.empty()) {
        *problem = "--shot needs -o OUT.png";
        return 2;
    }
    const bool video = !line.offline.videoPath.empty();
    if (!video && (line.offline.videoPreset.has_value() || line.offline.videoCrf.has_value())) {
        *problem = "--preset and --crf go with --video";
        return 2;
    }
    if (line.jobs > 1 && (!video || line.offline.fromTick >= 0 || line.offline.toTick >= 0)) {
        *problem = "--jobs makes a whole video in parts: it goes with --video, without --from and --to";
        return 2;
    }
    const int modes = line.Modes();
    if (modes > 1) {
        *problem = "--shot, --capture, --video, --render-only and --soundtrack do not go together";
        return 2;
    }
    const ZRNShowOption* offlineOnly = FirstOf(line, U::Offline);
    if (modes == 0 && offlineOnly != nullptr) {
        *problem = std::string(offlineOnly->name) +
                   " is for --shot, --capture, --video and --render-only, not the live show";
        return 1;
    }
    const ZRNShowOption* liveOnly = FirstOf(line, U::Live);
    if (modes == 1 && liveOnly != nullptr) {
        *problem = std::string(liveOnly->name) + " is for the live show";
        return 1;
    }
    return 0;
}

// The option's entry in --help: the name and value, then the text from column 21,
// wrapped at 90.
std::string HelpEntry(const ZRNShowOption& o) {
    constexpr size_t kColumn = 21;
    constexpr size_t kWidth = 90;
    std::string label = std::string("  ") + o.name + (o.value != nullptr ? std::string(" ") + o.value : "");
    std::string out = label;
    size_t at = label.size();
    if (at + 1 > kColumn) {
        out += "\n";
        at = 0;
    }
    const std::string help = o.help;
    size_t i = 0;
    bool lineStart = true;
    while (i < help.size()) {
        const size_t space = help.find(' ', i);
        const size_t end = space == std::string::npos ? help.size() : space;
        const std::string word = help.substr(i, end - i);
        if (!lineStart && at + 1 + word.size() > kWidth) {
            out += "\n";
            at = 0;
            lineStart = true;
        }
        if (lineStart) {
            out += std::string(kColumn - at, ' ');
            at = kColumn;
        } else {
            out += ' ';
            ++at;
        }
        out += word;
        at += word.size();
        lineStart = false;
        i = end + 1;
    }
    return out + "\n";
}

// Text for roff: minus signs as \-, backslashes as \e.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '-' ? "\\-" : c == '\\' ? "\\e" : std::string(1, c);
    }
    return out;
}

}  // namespace

std::span<const ZRNShowOption> ZRNShowOptionTable() { return kTable; }

int32_t ZRNShowOptionHigh(const ZRNShowOption& option, const ZRNShowDescription& show) {
    return High(option, show.GetEndTick());
}

int ZRNShowCommandLine::Modes() const {
    return (shot ? 1 : 0) + (offline.captureDir.empty() ? 0 : 1) + (offline.videoPath.empty() ? 0 : 1) +
           (offline.renderOnly ? 1 : 0) + (offline.soundtrackPath.empty() ? 0 : 1);
}

int ZRNParseShowCommandLine(const ZRNShowDescription& show, const std::vector<std::string>& args,
                            ZRNShowOptionSource source, ZRNShowCommandLine* line, std::string* problem) {
    const bool page = source == ZRNShowOptionSource::Page;
    const int32_t endTick = show.GetEndTick();
    const std::string named = show.program + ": ";
    const std::string seeHelp = SeeHelp(show);
    for (size_t i = 0; i < args.size(); ++i) {
        const ZRNShowOption* o = Find(args[i]);
        if (o == nullptr) {
            *problem = named + "unknown option " + Shown(args[i]) + seeHelp;
            return 2;
        }
        if (page != o->page && (page || o->use == U::Page)) {
            *problem = named + o->name + (page ? " is not for the web page" : " is for the web page only");
            return 2;
        }
        if (o->kind == V::None) {
            line->given.emplace_back(o, std::string());
            o->keep(*line, "", 0);
            if (line->help || line->version) {
                return 0;
            }
            continue;
        }
        if (i + 1 >= args.size()) {
            *problem = named + o->name + " takes " + Takes(*o, endTick) + "; none was given" + seeHelp;
            return 2;
        }
        const std::string& value = args[++i];
        line->given.emplace_back(o, value);
        if (o->kind == V::Join) {
            line->joining = true;
            line->join.path = value;
            while (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
                line->join.parts.push_back(args[++i]);
            }
            continue;
        }
        const std::string refused = Take(*o, value, line, endTick);
        if (!refused.empty()) {
            *problem = named + refused + seeHelp;
            return 2;
        }
    }
    const int status = CheckTogether(*line, source, problem);
    if (status != 0) {
        *problem = named + *problem;
    }
    return status;
}

std::string ZRNShowOptionsHelp(const ZRNShowDescription& show) {
    std::string text;
    const std::string indent(show.program.size() + 8, ' ');
    for (const char* form : kForms) {
        std::string line = (text.empty() ? "usage: " : "       ") + show.program + " " + form + "\n";
        const size_t wrap = line.find('%');
        if (wrap != std::string::npos) {
            line.replace(wrap, 1, indent);
        }
        text += line;
    }
    text += "\n" + (show.about.empty() ? "Plays " + show.title + "." : show.about) + " Its timer ticks are " +
            std::to_string(show.tickMs) + " ms long.\n";
    for (const ZRNShowOption& o : kTable) {
        if (o.use != U::Page) {
            text += HelpEntry(o);
        }
    }
    return text;
}

std::string ZRNShowOptionsManual() {
    std::string text;
    for (const ZRNShowOption& o : kTable) {
        if (o.use == U::Page) {
            continue;
        }
        text += ".TP\n";
        text += o.value == nullptr ? ".B " + Roff(o.name) + "\n"
                                   : ".BI " + Roff(o.name) + " \" " + Roff(o.value) + "\"\n";
        std::string help = o.help;
        help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(help[0])));
        text += Roff(help) + ".\n";
    }
    return text;
}

std::vector<std::string> ZRNShowPartArguments(const ZRNShowCommandLine& line, const std::string& part, int32_t fromTick,
                                           int32_t toTick) {
    std::vector<std::string> args;
    for (const auto& [option, value] : line.given) {
        if (option->toParts) {
            args.insert(args.end(), {option->name, value});
        }
    }
    args.insert(args.end(), {"--video", part, "--from", std::to_string(fromTick), "--to", std::to_string(toTick),
                             "--progress"});
    return args;
}
