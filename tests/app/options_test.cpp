// The option table's parser: every option's bad values are refused with one line
// naming the option, its range and --help, its limits are taken; the rules on which
// options go together hold for the program and the web page's address alike; a part's
// command line under --jobs parses back to the whole video's settings; the manual
// page's option list is the table's.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "show/zrn_showoptions.h"
#include "support/test_support.h"

namespace {

struct Parsed {
    int status;
    std::string problem;
    ZRNShowCommandLine line;
};

Parsed Parse(const std::vector<std::string>& args, ZRNShowOptionSource source = ZRNShowOptionSource::Program) {
    Parsed p;
    p.status = ZRNParseShowCommandLine(DemoShowDescription(), args, source, &p.line, &p.problem);
    return p;
}

// Options that make a command line in which the option is welcome.
std::vector<std::string> Around(const ZRNShowOption& o) {
    if (o.use == ZRNShowOptionUse::Offline) {
        return {"--video", "x.mkv"};
    }
    if (std::string(o.name) == "--shot") {
        return {"-o", "x.png"};
    }
    return {};
}

TEST(Options, EachBadValueIsOneLineNamingTheOptionAndItsRange) {
    int checked = 0;
    for (const ZRNShowOption& o : ZRNShowOptionTable()) {
        const int32_t high = ZRNShowOptionHigh(o, DemoShowDescription());
        std::vector<std::string> bad;
        std::vector<std::string> good;
        switch (o.kind) {
            case ZRNShowOptionValue::Number:
                bad = {std::to_string(static_cast<int64_t>(o.low) - 1), std::to_string(static_cast<int64_t>(high) + 1),
                       "abc", "", "1.5", " 5", "5x", "99999999999"};
                good = {std::to_string(o.low), std::to_string(high)};
                break;
            case ZRNShowOptionValue::Size: bad = {"abc", "640x", "x480", "640X480", "-640x480"}; good = {"640x480"}; break;
            case ZRNShowOptionValue::Choice: bad = {"", "nope", "auto|script"}; good = {"auto", "script"}; break;
            default: continue;
        }
        const ZRNShowOptionSource source = o.use == ZRNShowOptionUse::Page ? ZRNShowOptionSource::Page : ZRNShowOptionSource::Program;
        for (const std::string& value : bad) {
            std::vector<std::string> args = Around(o);
            args.insert(args.end(), {o.name, value});
            const Parsed p = Parse(args, source);
            SCOPED_TRACE(std::string(o.name) + " '" + value + "': " + p.problem);
            EXPECT_EQ(p.status, 2);
            EXPECT_EQ(p.problem.find('\n'), std::string::npos);
            EXPECT_EQ(p.problem.rfind(std::string("zarnoth: ") + o.name + " takes ", 0), 0u);
            EXPECT_NE(p.problem.find("not '" + value + "'"), std::string::npos);
            EXPECT_NE(p.problem.find("--help"), std::string::npos);
            if (o.kind == ZRNShowOptionValue::Number) {
                EXPECT_NE(p.problem.find("from " + std::to_string(o.low) + " to " + std::to_string(high)),
                          std::string::npos);
            }
            ++checked;
        }
        for (const std::string& value : good) {
            std::vector<std::string> args = Around(o);
            args.insert(args.end(), {o.name, value});
            const Parsed p = Parse(args, source);
            EXPECT_EQ(p.status, 0) << o.name << " " << value << ": " << p.problem;
        }
        // The value missing at the end of the line.
        const Parsed missing = Parse({o.name}, source);
        EXPECT_EQ(missing.status, 2) << o.name;
        EXPECT_NE(missing.problem.find("none was given"), std::string::npos) << missing.problem;
    }
    EXPECT_GT(checked, 60);
}

TEST(Options, WhatGoesTogetherForTheProgramAndThePage) {
    using S = ZRNShowOptionSource;
    const struct {
        std::vector<std::string> args;
        S source;
        int status;
        const char* says;
    } cases[] = {
        {{"--nope"}, S::Program, 2, "zarnoth: unknown option --nope (zarnoth --help lists the options)"},
        {{"--shot", "5"}, S::Program, 2, "zarnoth: --shot needs -o OUT.png"},
        {{"-o", "x.png"}, S::Program, 2, "zarnoth: -o goes with --shot"},
        {{"--windowed", "--shot", "5", "-o", "x.png"}, S::Program, 1, "zarnoth: --windowed is for the live show"},
        {{"--shot", "5", "-o", "x.png", "--start", "0"}, S::Program, 1, "zarnoth: --start is for the live show"},
        {{"--ssaa", "2"}, S::Program, 1, "zarnoth: --ssaa is for --shot, --capture, --video and --render-only, "
                                         "not the live show"},
        {{"--crf", "20", "--capture", "d"}, S::Program, 2, "zarnoth: --preset and --crf go with --video"},
        {{"--join", "out.mkv", "a.mkv"}, S::Program, 2, "zarnoth: --join takes OUT, one or more parts and --sound"},
        {{"--join", "out.mkv", "a.mkv", "--sound", "w.wav", "--fps", "10"}, S::Program, 2, "and nothing else"},
        {{"--slow", "5"}, S::Program, 2, "zarnoth: --slow is for the web page only"},
        // The page: its shot needs no -o (its file is its own), and takes nothing that
        // names a file.
        {{"--shot", "5", "--fps", "10"}, S::Page, 0, ""},
        {{"--fps", "30"}, S::Page, 1, "zarnoth: --fps is for --shot, --capture, --video and --render-only, not the live show"},
        {{"--shot", "5", "-o", "/x.png"}, S::Page, 2, "zarnoth: -o is not for the web page"},
        {{"--capture", "/d"}, S::Page, 2, "zarnoth: --capture is not for the web page"},
        {{"--slow", "30", "--audio", "script"}, S::Page, 0, ""},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.args, c.source);
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(p.status, c.status) << p.problem;
        EXPECT_NE(p.problem.find(c.says), std::string::npos) << p.problem;
    }
}

// A part's command line, made from the table, parses back to the whole video's
// settings with the part's own file and range.
TEST(Options, APartOfJobsGetsTheWholeVideosSettings) {
    const std::vector<std::vector<std::string>> wholes = {
        {"--video", "show.mkv", "--jobs", "3", "--codec", "ffv1", "--fps", "24", "--size", "320x240", "--ssaa", "2"},
        {"--preset", "slow", "--crf", "20", "--jobs", "2", "--video", "show.mp4"},
        {"--video", "show.mp4", "--jobs", "4"},
    };
    for (const auto& args : wholes) {
        const Parsed whole = Parse(args);
        ASSERT_EQ(whole.status, 0) << whole.problem;
        const Parsed part = Parse(ZRNShowPartArguments(whole.line, "dir/part1.mkv", 1960, 3920));
        ASSERT_EQ(part.status, 0) << part.problem;
        const ZRNShowOfflineOptions& w = whole.line.offline;
        const ZRNShowOfflineOptions& p = part.line.offline;
        EXPECT_EQ(p.videoPath, "dir/part1.mkv");
        EXPECT_EQ(p.fromTick, 1960);
        EXPECT_EQ(p.toTick, 3920);
        EXPECT_TRUE(p.reportProgress);
        EXPECT_EQ(part.line.jobs, 1);
        EXPECT_EQ(p.fps, w.fps);
        EXPECT_EQ(p.videoCodec, w.videoCodec);
        EXPECT_EQ(p.size.width, w.size.width);
        EXPECT_EQ(p.size.height, w.size.height);
        EXPECT_EQ(p.size.ssaa, w.size.ssaa);
        EXPECT_EQ(p.videoPreset, w.videoPreset);
        EXPECT_EQ(p.videoCrf, w.videoCrf);
    }
}

// packaging/zarnoth.6 lists the options the table has, in its words. On a change of
// the table, put the text printed below between .SH OPTIONS and .SH EXIT STATUS.
TEST(Options, TheManualPageListsTheTablesOptions) {
    const std::vector<uint8_t> bytes = testsupport::ReadFile(testsupport::SourcePath("packaging/zarnoth.6"));
    const std::string page(bytes.begin(), bytes.end());
    const std::string from = ".SH OPTIONS\n";
    const size_t begin = page.find(from);
    const size_t end = page.find(".SH EXIT STATUS");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string listed = page.substr(begin + from.size(), end - begin - from.size());
    EXPECT_EQ(listed, ZRNShowOptionsManual()) << "the table's option list:\n" << ZRNShowOptionsManual();
}

}  // namespace

// A show that cannot play is refused before anything runs, with the reason; each case
// spoils one field of the demo's description.
TEST(ShowDescription, CheckNamesWhatStopsAShow) {
    const struct {
        const char* what;
        void (*spoil)(ZRNShowDescription&);
        const char* reason;  // a part of the message; null: the show plays
    } cases[] = {
        {"the demo", [](ZRNShowDescription&) {}, nullptr},
        {"a 20 ms tick", [](ZRNShowDescription& s) { s.tickMs = 20; }, nullptr},
        {"no music", [](ZRNShowDescription& s) { s.music = nullptr; }, "has no music"},
        {"no scenes", [](ZRNShowDescription& s) { s.chapters.clear(); }, "has no scenes"},
        {"end ticks that fall", [](ZRNShowDescription& s) { s.chapters[2].endTick = 1000; },
         "scene \"room\" ends at tick 1000, not after tick 1120"},
        {"a gap of one step", [](ZRNShowDescription& s) { s.gapSteps = 1; }, "switch gap"},
        {"a tick of 0 ms", [](ZRNShowDescription& s) { s.tickMs = 0; }, "tick length must be 1 to 1000 ms, not 0"},
        {"a tick of 1001 ms", [](ZRNShowDescription& s) { s.tickMs = 1001; }, "not 1001"},
        {"a negative animation rate", [](ZRNShowDescription& s) { s.animationTicksPerSecond = -1; },
         "animators' ticks a second"},
    };
    for (const auto& c : cases) {
        ZRNShowDescription show = DemoShowDescription();
        c.spoil(show);
        const std::string problem = show.Check();
        if (c.reason == nullptr) {
            EXPECT_EQ(problem, "") << c.what;
        } else {
            EXPECT_NE(problem.find(c.reason), std::string::npos) << c.what << ": " << problem;
            EXPECT_EQ(problem.rfind("zarnoth: ", 0), 0u) << c.what << ": " << problem;
        }
    }
    // The animators run at the ticks a second has unless the show says otherwise.
    ZRNShowDescription show = DemoShowDescription();
    EXPECT_EQ(show.GetAnimationTicksPerSecond(), 70);
    show.animationTicksPerSecond = 0;
    show.tickMs = 20;
    EXPECT_EQ(show.GetAnimationTicksPerSecond(), 50);
    show.tickMs = 14;
    EXPECT_EQ(show.GetAnimationTicksPerSecond(), 71);
}
