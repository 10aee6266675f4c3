// The zarnoth program end to end: start-up failures (missing archive, missing
// "tex\end.jpg") and a window closed early under a private Xvfb, with SDL's disk
// audio driver in place of a sound card; the options' usage errors; deterministic
// offscreen shots.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app_support.h"
#include "platform/xvfb_server.h"
#include "support/test_support.h"

// After the test headers: Xlib defines macros (None, Bool, Status) that they use as names.
#include "demo_window_x11.h"

namespace {

using testsupport::TempDir;

// The program and (optionally) an archive copied into a folder of their own, so the
// archive is found next to the program and nowhere else.
std::string Install(const TempDir& dir, bool withArchive) {
    const std::string exe = dir.file("zarnoth");
    EXPECT_EQ(testsupport::Run("cp '" + testsupport::BinPath("zarnoth") + "' '" + exe + "'"), 0);
    if (withArchive) {
        EXPECT_EQ(testsupport::Run("cp '" + apptest::GeneratedArchive() + "' '" + dir.file("quorvel.pak") + "'"), 0);
    }
    return exe;
}

TEST(Program, StartupFailuresNameTheirCauseAndExitOne) {
    const struct {
        const char* what;
        bool archive;
        const char* hidden;
        const char* firstLine;
        const char* options = "";
    } cases[] = {
        {"no archive", false, nullptr, "Error: Couldn't read texture Parental"},
        {"no end picture", true, "tex\\end.jpg", "Error: Couldn't read texture EndSaRace"},
        {"no end picture, started later", true, "tex\\end.jpg", "Error: Couldn't read texture EndSaRace",
         " --start 3000"},
        {"no end picture, offline shot", true, "tex\\end.jpg", "Error: Couldn't read texture EndSaRace",
         " --shot 100 -o /dev/null"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string exe = Install(dir, c.archive);
        if (c.hidden != nullptr) {
            apptest::HideMember(dir.file("quorvel.pak"), c.hidden);
        }
        // Run from another folder: the archive is looked for next to the program. No
        // display: the boxes become lines on standard error only.
        std::string out;
        const int status = testsupport::Run("cd / && env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=disk "
                                            "SDL_DISKAUDIOFILE=/dev/null timeout 60 '" +
                                                exe + "'" + c.options + " 2>&1",
                                            &out);
        EXPECT_EQ(status, 1) << c.what << "\n" << out;
        EXPECT_EQ(out, std::string(c.firstLine) + "\nError: Error creating application\n") << c.what;
    }
}

TEST(Program, OptionsUsageAndHelp) {
    const std::string exe = testsupport::BinPath("zarnoth");
    std::string out;
    EXPECT_EQ(testsupport::Run("'" + exe + "' --help", &out), 0);
    EXPECT_NE(out.find("--capture DIR"), std::string::npos);
    // Each refusal is one line on standard error (not the whole usage), exit status 2.
    const char* bad[] = {"--nope", "--shot", "--shot 5", "--shot x -o a.png", "--fps 0 --capture /tmp",
                         "--shot 5 -o a.png --capture /tmp", "--video x.mp4 --crf 52"};
    for (const char* args : bad) {
        out.clear();
        EXPECT_EQ(testsupport::Run("'" + exe + "' " + args + " 2>&1 >/dev/null", &out), 2) << args;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << args << ": " << out;
    }
}

// Shots are made by the program's own clock: the same tick gives the same picture,
// and pictures of different scenes differ. The soundtrack a shot plays into goes in
// the temporary folder and leaves nothing there.
TEST(Program, ShotsAreDeterministic) {
    TempDir dir;
    TempDir scratch;
    const std::string exe = testsupport::BinPath("zarnoth");
    const int ticks[] = {100, 100, 1000, 1000};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(testsupport::Run("TMPDIR='" + scratch.path() + "' '" + exe + "' --shot " + std::to_string(ticks[i]) +
                                   " -o '" + dir.file("s" + std::to_string(i) + ".png") + "' 2>/dev/null"),
                  0);
    }
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "scratch files left in " << scratch.path();
    // Without a usable temporary folder a shot fails before it draws.
    EXPECT_EQ(testsupport::Run("TMPDIR='" + scratch.file("absent") + "' '" + exe + "' --shot 100 -o '" +
                               dir.file("none.png") + "' 2>/dev/null"),
              1);
    EXPECT_FALSE(testsupport::FileExists(dir.file("none.png")));
    const auto a = testsupport::ReadFile(dir.file("s0.png"));
    EXPECT_EQ(a, testsupport::ReadFile(dir.file("s1.png")));
    EXPECT_EQ(testsupport::ReadFile(dir.file("s2.png")), testsupport::ReadFile(dir.file("s3.png")));
    EXPECT_NE(a, testsupport::ReadFile(dir.file("s2.png")));
}

// The ways a user ends the show early: closing its window (the desktop's close
// request), Ctrl+C in the terminal and a termination request. Each ends it through the
// main loop, with exit status 0, after the music has been playing.
enum class StopRequest { CloseWindow, Interrupt, Terminate };

class ProgramStop : public ::testing::TestWithParam<StopRequest> {};

TEST_P(ProgramStop, EndsTheShowCleanly) {
    if (!testsupport::HaveProgram("Xvfb")) {
        ZARNOTH_SKIP_MISSING() << "Xvfb is not installed (Debian package xvfb)";
    }
    testsupport::XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start("640x480x16", &error)) << error;
    TempDir dir;
    const std::string exe = Install(dir, true);
    const std::string audio = dir.file("audio.raw");
    const pid_t pid = apptest::StartProgram(exe, server.display(), audio);
    ASSERT_GE(pid, 0);
    Display* d = XOpenDisplay(server.display().c_str());
    ASSERT_NE(d, nullptr);
    // Windows come and go while the program starts (SDL makes and drops helper
    // windows): one that vanishes in the middle of the search is no error, where Xlib's
    // default handler would end this process.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Window w = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (w == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        w = apptest::FindDemoWindow(d, DefaultRootWindow(d));
    }
    ASSERT_NE(w, 0u) << "the window never appeared";
    // The request comes once the music has played a second (the disk driver writes in
    // real time; on a loaded machine the start takes a while).
    while (testsupport::FileExists(audio) ? testsupport::ReadFile(audio).size() <= 44100u * 4u : true) {
        ASSERT_LT(std::chrono::steady_clock::now(), limit) << "no music came out";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    switch (GetParam()) {
        case StopRequest::CloseWindow: {
            XEvent ev{};
            ev.xclient.type = ClientMessage;
            ev.xclient.window = w;
            ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            ev.xclient.format = 32;
            ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
            ev.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, w, False, NoEventMask, &ev);
            XFlush(d);
            break;
        }
        case StopRequest::Interrupt:
            kill(pid, SIGINT);
            break;
        case StopRequest::Terminate:
            kill(pid, SIGTERM);
            break;
    }
    int status = -1;
    pid_t done = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the show did not end after the request";
    }
    XCloseDisplay(d);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The music played into the disk driver's file until the request.
    EXPECT_GT(testsupport::ReadFile(audio).size(), 44100u * 4u);
}

INSTANTIATE_TEST_SUITE_P(Requests, ProgramStop,
                         ::testing::Values(StopRequest::CloseWindow, StopRequest::Interrupt,
                                           StopRequest::Terminate),
                         [](const ::testing::TestParamInfo<StopRequest>& info) {
                             switch (info.param) {
                                 case StopRequest::CloseWindow: return std::string("CloseWindow");
                                 case StopRequest::Interrupt: return std::string("Interrupt");
                                 case StopRequest::Terminate: return std::string("Terminate");
                             }
                             return std::string("Unknown");
                         });

}  // namespace
