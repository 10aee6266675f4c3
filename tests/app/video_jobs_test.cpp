// --jobs when a part fails: a part killed while it runs stops the others (frozen, so
// that they cannot end by themselves); the run exits 1 naming the part and its log,
// leaves no video and nothing in the parts' folder but that log. (That --jobs gives
// the same video as one run is checked in video_parts_test.cpp.) SIGINT or SIGTERM to
// the run while its parts go stops them all and leaves nothing behind.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

extern char** environ;

namespace {

using testsupport::TempDir;

// The processes whose parent is 'parent', with their command lines (arguments
// separated by spaces).
std::vector<std::pair<pid_t, std::string>> Children(pid_t parent) {
    std::vector<std::pair<pid_t, std::string>> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...: the name may hold spaces, so read after its ')'.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid != parent) {
            continue;
        }
        std::ifstream cmdline(entry.path() / "cmdline");
        std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        std::replace(args.begin(), args.end(), '\0', ' ');
        found.emplace_back(static_cast<pid_t>(std::stoi(name)), args);
    }
    return found;
}

// Waits up to 'limit' for the run 'pid' to end and gives its status; when it does not
// end, kills it and the children it had, and gives nothing.
std::optional<int> EndOf(pid_t pid, const std::vector<std::pair<pid_t, std::string>>& children,
                         std::chrono::seconds limit) {
    int status = -1;
    pid_t ended = 0;
    const auto until = std::chrono::steady_clock::now() + limit;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (ended == pid) {
        return status;
    }
    for (const auto& child : children) {
        kill(child.first, SIGKILL);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
}

TEST(VideoJobs, AFailedPartStopsTheOthersAndIsNamedWithItsLog) {
    TempDir dir;
    const std::string out = dir.file("show.mkv");
    const std::string err = dir.file("err.txt");
    const std::string command = "exec '" + testsupport::BinPath("zarnoth") + "' --video '" + out +
                                "' --codec ffv1 --fps 60 --size 640x480 --jobs 2 2>'" + err + "'";
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // The soundtrack and the two parts start at once; the first part is killed. A child
    // counts once it runs its own command line: just spawned, it still shows the
    // program's, and the program waits until it has started it (frozen then, it would
    // never start and the program would wait for good).
    std::vector<std::pair<pid_t, std::string>> children;
    const auto started = [](const std::pair<pid_t, std::string>& c) {
        return c.second.find("--soundtrack") != std::string::npos || c.second.find("--from ") != std::string::npos;
    };
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((children.size() < 3 || !std::all_of(children.begin(), children.end(), started)) &&
           std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        children = Children(pid);
    }
    pid_t first = -1;
    for (const auto& [child, args] : children) {
        first = args.find("--from 0 --to 2940") != std::string::npos ? child : first;
    }
    if (first < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "the first part never started (" << children.size() << " children)";
    }
    // The others are frozen first: they can never end by themselves, so the run ends
    // only if it stops them.
    for (const auto& child : children) {
        if (child.first != first) {
            kill(child.first, SIGSTOP);
        }
    }
    kill(first, SIGKILL);
    const std::optional<int> ended = EndOf(pid, children, std::chrono::seconds(60));
    ASSERT_TRUE(ended.has_value()) << "the run went on after its part failed";
    const int status = *ended;
    const std::vector<uint8_t> bytes = testsupport::ReadFile(err);
    const std::string text(bytes.begin(), bytes.end());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << text;
    EXPECT_NE(text.find("zarnoth: part 1 of 2 (ticks 0 to 2940) failed (killed by signal 9"), std::string::npos)
        << text;
    // The others are gone, not left behind.
    for (const auto& [child, args] : children) {
        EXPECT_NE(kill(child, 0), 0) << "still running: " << args;
    }
    EXPECT_FALSE(testsupport::FileExists(out));
    // Beside the video only the parts' folder, holding only the failed part's log,
    // which the message names.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file() && entry.path() != err) {
            left.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(left.size(), 1u) << text;
    EXPECT_EQ(std::filesystem::path(left[0]).filename(), "part0.log");
    EXPECT_NE(text.find("its log: " + left[0]), std::string::npos) << text;
}

// Ctrl+C (SIGINT) or SIGTERM to the run, not to its children: it passes the signal on,
// waits for them, removes the parts' folder and exits with 128 + the signal, saying
// so; a file the user had at OUT stays as it was.
TEST(VideoJobs, ASignalStopsThePartsAndLeavesNothing) {
    const struct {
        int signal;
        int status;
        const char* name;
        bool outputBefore;
    } cases[] = {{SIGINT, 130, "SIGINT", false}, {SIGTERM, 143, "SIGTERM", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string out = dir.file("show.mkv");
        const std::string err = dir.file("err.txt");
        const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
        if (c.outputBefore) {
            testsupport::WriteFile(out, mine);
        }
        const std::string command = "exec '" + testsupport::BinPath("zarnoth") + "' --video '" + out +
                                    "' --codec ffv1 --fps 60 --size 640x480 --jobs 2 2>'" + err + "'";
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        // The signals at their defaults: a test run in the background of a script would
        // otherwise pass SIGINT on ignored, and the program keeps an ignored signal so.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ);
        posix_spawnattr_destroy(&attributes);
        ASSERT_EQ(spawned, 0);
        // The soundtrack and both parts running their own command lines.
        std::vector<std::pair<pid_t, std::string>> children;
        const auto started = [](const std::pair<pid_t, std::string>& child) {
            return child.second.find("--soundtrack") != std::string::npos ||
                   child.second.find("--from ") != std::string::npos;
        };
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((children.size() < 3 || !std::all_of(children.begin(), children.end(), started)) &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            children = Children(pid);
        }
        kill(pid, c.signal);
        const std::optional<int> ended = EndOf(pid, children, std::chrono::seconds(30));
        ASSERT_TRUE(ended.has_value()) << "the run went on after " << c.name;
        const int status = *ended;
        const std::vector<uint8_t> bytes = testsupport::ReadFile(err);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(children.size(), 3u) << "the parts never all started";
        ASSERT_TRUE(WIFEXITED(status)) << text;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << text;
        EXPECT_NE(text.find(std::string("zarnoth: interrupted by ") + c.name + ": stopped 3 runs still going, removed " +
                            dir.path()),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("no video written"), std::string::npos) << text;
        for (const auto& [child, args] : children) {
            EXPECT_NE(kill(child, 0), 0) << "still running: " << args;
        }
        // Nothing but the message and, when there was one, the user's file as it was.
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            left.push_back(entry.path().filename().string());
        }
        std::sort(left.begin(), left.end());
        const std::vector<std::string> expected =
            c.outputBefore ? std::vector<std::string>{"err.txt", "show.mkv"} : std::vector<std::string>{"err.txt"};
        EXPECT_EQ(left, expected);
        if (c.outputBefore) {
            EXPECT_EQ(testsupport::ReadFile(out), mine);
        }
    }
}

}  // namespace
