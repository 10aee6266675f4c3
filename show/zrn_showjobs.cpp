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

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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

// One child: a part of the video or the whole show's soundtrack.
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

// Follows the children until all have ended well (-1) or one has failed (its index).
int Follow(std::vector<Child>& children, ZRNProgressLine* progress) {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Child*> readers;
        for (Child& c : children) {
            if (c.out >= 0) {
                fds.push_back({c.out, POLLIN, 0});
                readers.push_back(&c);
            }
        }
        // Without pipes left this only waits; children are looked at every 200 ms.
        poll(fds.data(), fds.size(), 200);
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                ReadProgress(readers[i]);
            }
        }
        bool all = true;
        int64_t done = 0;
        for (size_t i = 0; i < children.size(); ++i) {
            Child& c = children[i];
            if (!c.ended && waitpid(c.pid, &c.status, WNOHANG) == c.pid) {
                c.ended = true;
                if (Failed(c.status)) {
                    return static_cast<int>(i);
                }
            }
            all = all && c.ended;
            done += c.done;
        }
        progress->Update(done);
        if (all) {
            return -1;
        }
    }
}

// Ends the children still running (their files go with the folder's sweep).
void StopAll(std::vector<Child>& children) {
    for (Child& c : children) {
        if (!c.ended && c.pid > 0) {
            kill(c.pid, SIGKILL);
            waitpid(c.pid, &c.status, 0);
            c.ended = true;
        }
        if (c.out >= 0) {
            close(c.out);
            c.out = -1;
        }
    }
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

// Empties the folder but for one file (none: the folder goes too).
void Sweep(const std::filesystem::path& folder, const std::string& keep) {
    std::error_code ec;
    if (keep.empty()) {
        std::filesystem::remove_all(folder, ec);
        return;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().string() != keep) {
            std::filesystem::remove_all(entry.path(), ec);
        }
    }
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

}  // namespace

int ZRNRunShowVideoJobs(const ZRNShowDescription& show, const ZRNShowCommandLine& line) {
    namespace fs = std::filesystem;
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
    const int32_t jobs = line.jobs;
    const ZRNShowTimeline timeline = show.GetTimeline();
    const int32_t endTick = timeline.GetEndTick();
    ZRNShowVideoJoin join;
    join.showEndTick = endTick;
    join.showTickMs = show.tickMs;
    join.path = options.videoPath;
    join.soundPath = (folder / "sound.wav").string();
    // The whole show's soundtrack comes first, then the parts.
    std::vector<Child> children(static_cast<size_t>(jobs) + 1);
    children[0].what = "the soundtrack";
    children[0].log = (folder / "sound.log").string();
    children[0].args = {"--soundtrack", join.soundPath, "--fps", std::to_string(options.fps)};
    for (int32_t i = 0; i < jobs; ++i) {
        const int32_t from = endTick * i / jobs;
        const int32_t to = endTick * (i + 1) / jobs;
        const std::string part = (folder / ("part" + std::to_string(i) + video.extension().string())).string();
        Child& c = children[static_cast<size_t>(i) + 1];
        c.what = "part " + std::to_string(i + 1) + " of " + std::to_string(jobs) + " (ticks " + std::to_string(from) +
                 " to " + std::to_string(to) + ")";
        c.log = (folder / ("part" + std::to_string(i) + ".log")).string();
        c.args = ZRNShowPartArguments(line, part, from, to);
        join.parts.push_back(part);
    }
    for (Child& c : children) {
        const std::string problem = Spawn(show.program, &c);
        if (!problem.empty()) {
            StopAll(children);
            Sweep(folder, {});
            std::fprintf(stderr, "%s: cannot start %s: %s\n", program, c.what.c_str(), problem.c_str());
            return 1;
        }
    }
    ZRNProgressLine progress(stderr, "video", timeline.VideoPictures(options.fps));
    const int failed = Follow(children, &progress);
    progress.Finish();
    StopAll(children);
    if (failed >= 0) {
        const Child& c = children[static_cast<size_t>(failed)];
        Sweep(folder, c.log);
        std::fprintf(stderr, "%s: %s failed (%s), the others were stopped; its log: %s\n", program, c.what.c_str(),
                     HowItEnded(c.status).c_str(), c.log.c_str());
        std::fputs(LogTail(c.log, 4096).c_str(), stderr);
        return 1;
    }
    const std::string problem = ZRNJoinShowVideo(join);
    Sweep(folder, {});
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, problem.c_str());
        return 1;
    }
    return 0;
}

#endif
