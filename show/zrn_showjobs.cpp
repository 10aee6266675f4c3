// --jobs: the parts as child processes of this program, their progress and failures.
#include "show/zrn_showjobs.h"

#include <cstdio>
#include <string>
#include <vector>

#include "show/zrn_progressline.h"
#include "show/zrn_showcontroller.h"

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;
#endif

#if !defined(__linux__)

int ZRNRunShowVideoJobs(const ZRNShowDescription& show, const ZRNShowCommandLine&) {
    std::fprintf(stderr, "%s: --jobs is for Linux only (its parts start the program through /proc/self/exe)\n",
                 show.program.c_str());
    return 1;
}

#else

namespace {

// The signal that asked the run to stop (SIGINT or SIGTERM), 0 while none has. A
// handler reaches nothing but such a process-wide flag; a lock-free atomic store is
// safe inside it.
std::atomic<int> gInterrupt{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void NoteInterrupt(int signal) { gInterrupt.store(signal, std::memory_order_relaxed); }

// Catches SIGINT and SIGTERM while it lives, then puts back what was there. Without
// SA_RESTART, so that the wait in poll ends at once. Children do not inherit the
// handler (exec sets caught signals back to their default), but do inherit SIG_IGN:
// a signal ignored from the start is left so, for them too.
class InterruptCatcher {
public:
    InterruptCatcher() {
        gInterrupt.store(0);
        for (size_t i = 0; i < 2; ++i) {
            struct sigaction previous = {};
            sigaction(kSignals[i], nullptr, &previous);
            if (previous.sa_handler == SIG_IGN) {
                continue;
            }
            struct sigaction catcher = {};
            catcher.sa_handler = NoteInterrupt;
            sigemptyset(&catcher.sa_mask);
            m_caught[i] = sigaction(kSignals[i], &catcher, &m_previous[i]) == 0;
        }
    }
    ~InterruptCatcher() {
        for (size_t i = 0; i < 2; ++i) {
            if (m_caught[i]) {
                sigaction(kSignals[i], &m_previous[i], nullptr);
            }
        }
    }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    int Signal() const { return gInterrupt.load(std::memory_order_relaxed); }

private:
    static constexpr int kSignals[2] = {SIGINT, SIGTERM};
    struct sigaction m_previous[2] = {};
    bool m_caught[2] = {false, false};
};

// One child: a part of the video, the whole show's soundtrack, or their join.
struct Child {
    std::string what;  // "part 2 of 4 (ticks 1470 to 2940)"
    std::string log;
    std::vector<std::string> args;
    pid_t pid = -1;
    int out = -1;  // the read end of its standard output
    std::string pending;
    int64_t done = 0;
    bool ended = false;
    int status = 0;
};

// Starts this program again with the child's arguments: standard input from
// /dev/null, standard output into a pipe, standard error into the log. Empty, or why not.
std::string Spawn(const std::string& program, Child* child) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return std::strerror(errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, child->log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    std::string name = program;
    argv.push_back(name.data());
    for (std::string& a : child->args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int error = posix_spawn(&child->pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (error != 0) {
        close(pipeFds[0]);
        child->pid = -1;
        child->ended = true;
        return std::strerror(error);
    }
    child->out = pipeFds[0];
    return {};
}

// Takes what the child has written: its "progress DONE/TOTAL" lines.
void ReadProgress(Child* child) {
    char buffer[512];
    const ssize_t n = read(child->out, buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || errno != EINTR) {
            close(child->out);
            child->out = -1;
        }
        return;
    }
    child->pending.append(buffer, static_cast<size_t>(n));
    size_t end = 0;
    while ((end = child->pending.find('\n')) != std::string::npos) {
        long long done = 0;
        long long total = 0;
        if (std::sscanf(child->pending.c_str(), "progress %lld/%lld", &done, &total) == 2) {
            child->done = done;
        }
        child->pending.erase(0, end + 1);
    }
}

bool Failed(int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; }

// waitpid, again when a signal broke in.
void WaitFor(Child* child) {
    while (waitpid(child->pid, &child->status, 0) < 0 && errno == EINTR) {
    }
    child->ended = true;
}

constexpr int kAllEnded = -1;
constexpr int kInterrupted = -2;

// Follows the children until all have ended well (kAllEnded), one has failed (its
// index) or a signal asked to stop (kInterrupted; children the terminal's Ctrl+C
// killed do not count as failed then).
int Follow(std::vector<Child>& children, ZRNProgressLine* progress, const InterruptCatcher& interrupt) {
    for (;;) {
        if (interrupt.Signal() != 0) {
            return kInterrupted;
        }
        std::vector<pollfd> fds;
        std::vector<Child*> readers;
        for (Child& c : children) {
            if (c.out >= 0) {
                fds.push_back({c.out, POLLIN, 0});
                readers.push_back(&c);
            }
        }
        // Without pipes left this only waits; children are looked at every 200 ms. A
        // signal ends the wait (EINTR).
        poll(fds.data(), fds.size(), 200);
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                ReadProgress(readers[i]);
            }
        }
        bool all = true;
        int failed = kAllEnded;
        int64_t done = 0;
        for (size_t i = 0; i < children.size(); ++i) {
            Child& c = children[i];
            if (!c.ended && waitpid(c.pid, &c.status, WNOHANG) == c.pid) {
                c.ended = true;
                if (Failed(c.status) && failed == kAllEnded) {
                    failed = static_cast<int>(i);
                }
            }
            all = all && c.ended;
            done += c.done;
        }
        if (interrupt.Signal() != 0) {
            return kInterrupted;
        }
        if (failed != kAllEnded) {
            return failed;
        }
        if (progress != nullptr) {
            progress->Update(done);
        }
        if (all) {
            return kAllEnded;
        }
    }
}

// Ends the children still running (their files go with the folder's sweep).
void StopAll(std::vector<Child>& children) {
    for (Child& c : children) {
        if (!c.ended && c.pid > 0) {
            kill(c.pid, SIGKILL);
            WaitFor(&c);
        }
        if (c.out >= 0) {
            close(c.out);
            c.out = -1;
        }
    }
}

// Passes the signal on to the children still running (and wakes a stopped one, so that
// it can act on it), and waits for them; any still there after a few seconds is
// killed. How many were running.
size_t PassOn(std::vector<Child>& children, int signal) {
    size_t running = 0;
    for (Child& c : children) {
        if (!c.ended && c.pid > 0) {
            kill(c.pid, signal);
            kill(c.pid, SIGCONT);
            ++running;
        }
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        bool all = true;
        for (Child& c : children) {
            if (!c.ended && c.pid > 0 && waitpid(c.pid, &c.status, WNOHANG) == c.pid) {
                c.ended = true;
            }
            all = all && (c.ended || c.pid <= 0);
        }
        if (all || std::chrono::steady_clock::now() >= limit) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopAll(children);
    return running;
}

std::string HowItEnded(int status) {
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    }
    return "status " + std::to_string(status);
}

// Empties the folder but for one file (none: the folder goes too). Empty, or why the
// folder could not be removed.
std::string Sweep(const std::filesystem::path& folder, const std::string& keep) {
    std::error_code ec;
    if (keep.empty()) {
        std::filesystem::remove_all(folder, ec);
        return ec ? ec.message() : std::string();
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().string() != keep) {
            std::filesystem::remove_all(entry.path(), ec);
        }
    }
    return {};
}

// The run stopped by a signal: its children stopped, its folder removed, one line.
int Interrupted(const char* program, std::vector<Child>& children, const std::filesystem::path& folder, int signal) {
    const size_t running = PassOn(children, signal);
    const std::string problem = Sweep(folder, {});
    const std::string removed = problem.empty() ? "removed " + folder.string()
                                                : "could not remove " + folder.string() + " (" + problem + ")";
    std::fprintf(stderr, "%s: interrupted by %s: stopped %zu run%s still going, %s; no video written\n", program,
                 signal == SIGINT ? "SIGINT" : "SIGTERM", running, running == 1 ? "" : "s", removed.c_str());
    return 128 + signal;
}

// The end of a log, at most 'limit' bytes, to show under the failure's line.
std::string LogTail(const std::string& path, long limit) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fseek(f, size > limit ? size - limit : 0, SEEK_SET);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        std::fclose(f);
    }
    return text;
}

// The runs of a video made by 'line' in 'folder': the whole show's soundtrack first,
// then the parts; the join goes last, into the folder's file 'joined'.
struct Runs {
    std::vector<Child> children;
    Child joining;
    std::string joined;
};

Runs PlanRuns(const ZRNShowCommandLine& line, const std::filesystem::path& folder, int32_t endTick) {
    const int32_t jobs = line.jobs;
    const std::filesystem::path video(line.offline.videoPath);
    const std::string soundPath = (folder / "sound.wav").string();
    Runs runs;
    runs.children.resize(static_cast<size_t>(jobs) + 1);
    Child& sound = runs.children[0];
    sound.what = "the soundtrack";
    sound.log = (folder / "sound.log").string();
    sound.args = {"--soundtrack", soundPath, "--fps", std::to_string(line.offline.fps)};
    runs.joining.what = "the join of the parts";
    runs.joining.log = (folder / "join.log").string();
    // Not OUT's own name: a part could be called so.
    runs.joined = (folder / ("joined" + video.extension().string())).string();
    runs.joining.args = {"--join", runs.joined};
    for (int32_t i = 0; i < jobs; ++i) {
        const int32_t from = endTick * i / jobs;
        const int32_t to = endTick * (i + 1) / jobs;
        const std::string part = (folder / ("part" + std::to_string(i) + video.extension().string())).string();
        Child& c = runs.children[static_cast<size_t>(i) + 1];
        c.what = "part " + std::to_string(i + 1) + " of " + std::to_string(jobs) + " (ticks " + std::to_string(from) +
                 " to " + std::to_string(to) + ")";
        c.log = (folder / ("part" + std::to_string(i) + ".log")).string();
        c.args = ZRNShowPartArguments(line, part, from, to);
        runs.joining.args.push_back(part);
    }
    runs.joining.args.insert(runs.joining.args.end(), {"--sound", soundPath});
    return runs;
}

}  // namespace

int ZRNRunShowVideoJobs(const ZRNShowDescription& show, const ZRNShowCommandLine& line) {
    namespace fs = std::filesystem;
    const InterruptCatcher interrupt;
    const char* program = show.program.c_str();
    const ZRNShowOfflineOptions& options = line.offline;
    const fs::path video(options.videoPath);
    std::string name = (video.parent_path() / (video.filename().string() + ".parts-XXXXXX")).string();
    if (mkdtemp(name.data()) == nullptr) {
        std::fprintf(stderr, "%s: cannot create a folder for the parts next to %s: %s\n", program,
                     options.videoPath.c_str(), std::strerror(errno));
        return 1;
    }
    const fs::path folder(name);
    const ZRNShowTimeline timeline = show.GetTimeline();
    Runs runs = PlanRuns(line, folder, timeline.GetEndTick());
    std::vector<Child>& children = runs.children;
    for (Child& c : children) {
        if (interrupt.Signal() != 0) {
            return Interrupted(program, children, folder, interrupt.Signal());
        }
        const std::string problem = Spawn(show.program, &c);
        if (!problem.empty()) {
            StopAll(children);
            Sweep(folder, {});
            std::fprintf(stderr, "%s: cannot start %s: %s\n", program, c.what.c_str(), problem.c_str());
            return 1;
        }
    }
    int failed = kAllEnded;
    {
        ZRNProgressLine progress(stderr, "video", timeline.VideoPictures(options.fps));
        failed = Follow(children, &progress, interrupt);
    }
    if (failed == kAllEnded) {
        children = {std::move(runs.joining)};
        const std::string problem = interrupt.Signal() != 0 ? std::string() : Spawn(show.program, &children[0]);
        if (!problem.empty()) {
            Sweep(folder, {});
            std::fprintf(stderr, "%s: cannot start %s: %s\n", program, children[0].what.c_str(), problem.c_str());
            return 1;
        }
        failed = Follow(children, nullptr, interrupt);
    }
    if (failed == kInterrupted) {
        return Interrupted(program, children, folder, interrupt.Signal());
    }
    StopAll(children);
    if (failed >= 0) {
        const Child& c = children[static_cast<size_t>(failed)];
        Sweep(folder, c.log);
        std::fprintf(stderr, "%s: %s failed (%s)%s; its log: %s\n", program, c.what.c_str(),
                     HowItEnded(c.status).c_str(), children.size() > 1 ? ", the others were stopped" : "",
                     c.log.c_str());
        std::fputs(LogTail(c.log, 4096).c_str(), stderr);
        return 1;
    }
    // A signal after this point finds the video complete; before it, the folder goes
    // with the joined file and OUT is left as it was.
    if (interrupt.Signal() != 0) {
        return Interrupted(program, children, folder, interrupt.Signal());
    }
    std::error_code ec;
    fs::rename(runs.joined, video, ec);
    Sweep(folder, {});
    if (ec) {
        std::fprintf(stderr, "%s: cannot rename %s to %s: %s\n", program, runs.joined.c_str(), options.videoPath.c_str(),
                     ec.message().c_str());
        return 1;
    }
    return 0;
}

#endif
