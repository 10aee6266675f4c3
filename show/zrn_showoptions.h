// The program's options as one table. Each row gives an option's name, its value and
// range, its help text, where it may be given (the live show, the offline modes, the
// web page's address) and whether a part of --jobs gets it. The parser, --help, the
// manual page's option list, the live show's refusals and the command line of a part
// are all made from the table, so a new option is one new row.
//
// The web page hands its address to the same parser (?fps=10 is --fps 10), so the page
// refuses what the command line refuses, with the same line. A refused value gets one
// line naming the option, its range and --help (exit status 2); an option the chosen
// way of watching does not use gets one line too (exit status 1).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "show/zrn_show.h"
#include "show/zrn_showoffline.h"
#include "show/zrn_showvideo.h"

// What an option's value is.
enum class ZRNShowOptionValue {
    None,    // a flag
    Number,  // a whole number within [low, high]
    Text,    // any text (a path, a name the encoder checks)
    Choice,  // one of the words of 'choices' ("auto|script")
    Size,    // WIDTHxHEIGHT (its limits are checked with the other offline settings)
    Join,    // OUT and the parts after it, up to the next option
};

// Where an option may be given.
enum class ZRNShowOptionUse {
    Any,      // --help, --version
    Live,     // the live show only (a window)
    Offline,  // with one of the offline modes only
    Mode,     // an offline mode of its own (--shot, --video ...)
    With,     // only with the option named by 'with'
    Page,     // the web page's address only
};

// Who gives the options: the program's command line or the web page's address.
enum class ZRNShowOptionSource { Program, Page };

struct ZRNShowCommandLine;

// Highs of a tick's range that depend on the show: its end tick, and the tick before.
inline constexpr int32_t kZRNShowOptionEndTick = -1;
inline constexpr int32_t kZRNShowOptionLastTick = -2;

struct ZRNShowOption {
    const char* name;   // "--fps"
    const char* value;  // its value in the help ("N", "TICK"); nullptr for a flag
    ZRNShowOptionValue kind;
    int32_t low;
    int32_t high;  // or kZRNShowOptionEndTick, kZRNShowOptionLastTick
    const char* choices;  // Choice: the words, separated by '|'
    ZRNShowOptionUse use;
    const char* with;     // With: the option it goes with
    bool page;            // may be given in the page's address
    bool toParts;         // a part of --jobs gets it as given
    const char* help;
    // Keeps a value that has passed its check (number: its value; text: the text).
    void (*keep)(ZRNShowCommandLine& line, const char* text, int32_t number);
};

// The table, in the order --help lists it.
std::span<const ZRNShowOption> ZRNShowOptionTable();
// The highest value an option takes in a show (a tick's high follows its end).
int32_t ZRNShowOptionHigh(const ZRNShowOption& option, const ZRNShowDescription& show);

// A command line, parsed.
struct ZRNShowCommandLine {
    bool help = false;
    bool version = false;
    bool windowed = false;
    bool bench = false;
    int32_t startTick = 0;
    int32_t jobs = 1;
    bool shot = false;
    ZRNShowOfflineOptions offline;
    bool joining = false;
    ZRNShowVideoJoin join;
    // The page's test switches (see the page's script).
    int32_t slowMs = 0;
    std::string audio = "auto";
    // Each option as given, in order (the value's text; empty for a flag).
    std::vector<std::pair<const ZRNShowOption*, std::string>> given;

    // Offline modes asked for (--shot, --capture, --video, --render-only, --soundtrack).
    int Modes() const;
};

// Parses the arguments after the program's name. 0: fine (with --help or --version
// the rest is not looked at); otherwise the exit status (2: a bad option or value, 1:
// an option the chosen way of watching does not take) and 'problem' holds the one
// line to print, "PROGRAM: ..." without a line end. The show gives the program's name
// and the range of the ticks.
int ZRNParseShowCommandLine(const ZRNShowDescription& show, const std::vector<std::string>& args,
                            ZRNShowOptionSource source, ZRNShowCommandLine* line, std::string* problem);

// The text of --help: the forms of use, then every option of the program.
std::string ZRNShowOptionsHelp(const ZRNShowDescription& show);
// The manual page's option list (roff, the lines after ".SH OPTIONS").
std::string ZRNShowOptionsManual();

// The arguments of one part of a --jobs video: the options of the whole video that
// parts take, as given, then --video PART --from FROM --to TO --progress.
std::vector<std::string> ZRNShowPartArguments(const ZRNShowCommandLine& line, const std::string& part, int32_t fromTick,
                                           int32_t toTick);
