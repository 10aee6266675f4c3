// The demo on a damaged archive: for every member of the generated archive, the
// member cut to half its length, 16 of its bytes flipped, and its header zeroed. Each
// archive goes next to a copy of the program, which takes a shot at an early tick of
// the scene that uses the member. Every run must end with a picture (status 0) or with
// the program's error text (status 1): never with a crash, a sanitizer report, a hang
// or a peak memory above twice that of a run on the intact archive at the same tick
// (measured per tick: under AddressSanitizer the program's memory grows with the
// show's time, held back by the allocator's quarantine).
//
// The runs spend most of their time waiting for the soundtrack to be decoded up to the
// shot's tick, so several go at once; a run that outlives its time limit is killed and
// counts as a hang.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/demo_show.h"
#include "app_support.h"
#include "anim/kvl_anim_mlz.h"
#include "show/zrn_showcontroller.h"
#include "core/kvl_memorystream.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kParallelRuns = 8;
constexpr auto kRunLimit = std::chrono::seconds(240);
constexpr int kShotFps = 1;
constexpr const char* kErrorText = "Error: Error creating application";

// The tick of the shot for a member: early in the scene that uses it. The room
// (textures and models) is the default; the music plays from the start.
int32_t TickFor(const std::string& member) {
    const std::vector<int32_t> start = DemoShowDescription().GetSwitchTicks();
    const struct {
        const char* name;
        int32_t tick;
    } others[] = {
        {"tex\\prt.jpg", 100},           {"snd\\qv.mp3", 700},
        {"anm\\qv.mlz", start[0] + 420}, {"anm\\porn.mlz", start[2] + 210},
        {"tex\\f.jpg", start[2] + 210},  {"tex\\end.jpg", start[3] + 30},
    };
    for (const auto& o : others) {
        if (member == o.name) {
            return o.tick;
        }
    }
    return start[1] + 80;
}

// How many leading bytes of a member make up its format's header.
size_t HeaderBytes(const std::string& member) {
    const std::string ext = member.substr(member.size() - 3);
    if (ext == "pcx") return 128;
    if (ext == "md2") return 68;
    if (ext == "mlz") return kKVLMLZHeaderSize;
    if (ext == "mp3") return 4;
    return 20;  // JPEG: start of image and the JFIF segment
}

struct ShotRun {
    ShotRun(std::string what_, int32_t tick_, std::function<void(std::vector<uint8_t>&)> damage_)
        : what(std::move(what_)), tick(tick_), damage(std::move(damage_)) {}
    std::string what;
    int32_t tick = 0;
    // Turns a copy of the intact archive into this run's archive.
    std::function<void(std::vector<uint8_t>&)> damage;
    // Filled in when it ends.
    int status = -1;
    bool hung = false;
    long peakKB = 0;
    std::string errors;
    bool picture = false;
};

// One folder per concurrent run, with its own copy of the program: the program reads
// the archive next to itself.
struct Slot {
    std::string folder;
    pid_t pid = -1;
    ShotRun* run = nullptr;
    Clock::time_point deadline;
};

void Start(Slot& slot, ShotRun& run, const std::vector<uint8_t>& intact) {
    std::vector<uint8_t> archive = intact;
    run.damage(archive);
    testsupport::WriteFile(slot.folder + "/quorvel.pak", archive);
    fs::remove(slot.folder + "/shot.png");
    const std::string exe = slot.folder + "/zarnoth";
    const std::string tick = std::to_string(run.tick);
    const std::string fps = std::to_string(kShotFps);
    const std::string shot = slot.folder + "/shot.png";
    const std::string errors = slot.folder + "/errors.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 2);
            dup2(fd, 1);
        }
        setenv("ZARNOTH_NO_MESSAGE_BOX", "1", 1);
        // Mesa's driver keeps blocks no one frees; memory errors are still reported.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(exe.c_str(), exe.c_str(), "--shot", tick.c_str(), "--fps", fps.c_str(), "-o", shot.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    slot.pid = pid;
    slot.run = &run;
    slot.deadline = Clock::now() + kRunLimit;
}

void Finish(Slot& slot, int status, const rusage& usage) {
    ShotRun& run = *slot.run;
    run.status = status;
    run.peakKB = usage.ru_maxrss;
    auto read = [&](const char* name) {
        const std::string path = slot.folder + "/" + name;
        return testsupport::FileExists(path) ? testsupport::ReadFile(path) : std::vector<uint8_t>();
    };
    const std::vector<uint8_t> errors = read("errors.txt");
    run.errors.assign(errors.begin(), errors.end());
    const std::vector<uint8_t> png = read("shot.png");
    run.picture = png.size() > 8 && std::memcmp(png.data(), "\x89PNG", 4) == 0;
    slot.pid = -1;
    slot.run = nullptr;
}

// Runs everything, kParallelRuns at a time, longest shots first.
void RunAll(const testsupport::TempDir& dir, const std::vector<uint8_t>& intact, std::vector<ShotRun>& runs) {
    std::vector<ShotRun*> queue;
    for (ShotRun& r : runs) queue.push_back(&r);
    std::stable_sort(queue.begin(), queue.end(), [](const ShotRun* a, const ShotRun* b) { return a->tick > b->tick; });
    std::vector<Slot> slots(kParallelRuns);
    for (size_t i = 0; i < slots.size(); ++i) {
        slots[i].folder = dir.file("slot" + std::to_string(i));
        fs::create_directories(slots[i].folder);
        fs::copy_file(testsupport::BinPath("zarnoth"), slots[i].folder + "/zarnoth");
    }
    size_t next = 0;
    int busy = 0;
    while (next < queue.size() || busy > 0) {
        for (Slot& s : slots) {
            if (s.pid < 0 && next < queue.size()) {
                Start(s, *queue[next++], intact);
                ++busy;
            }
        }
        int status = 0;
        rusage usage{};
        const pid_t done = wait4(-1, &status, WNOHANG, &usage);
        if (done > 0) {
            for (Slot& s : slots) {
                if (s.pid == done) {
                    Finish(s, status, usage);
                    --busy;
                }
            }
            continue;
        }
        for (Slot& s : slots) {
            if (s.pid > 0 && Clock::now() > s.deadline) {
                s.run->hung = true;
                kill(s.pid, SIGKILL);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

TEST(DamagedArchive, EveryMemberCutFlippedOrWithoutHeaderFailsCleanly) {
    const std::string archivePath = apptest::GeneratedArchive();
    if (!testsupport::FileExists(archivePath) || !testsupport::FileExists(testsupport::BinPath("zarnoth"))) {
        ZARNOTH_SKIP_MISSING() << "the program or its generated archive is not built: " << archivePath;
    }
    const std::vector<uint8_t> intact = testsupport::ReadFile(archivePath);
    KVLArray<KVLPAKEntry> entries;
    {
        KVLMemoryStream stream(intact.data(), intact.size());
        ASSERT_TRUE(KVLPAKReadDirectory(stream, entries, nullptr));
    }
    ASSERT_GT(entries.GetCount(), 0);
    KVLPAKHeader header;
    {
        KVLMemoryStream stream(intact.data(), intact.size());
        ASSERT_TRUE(stream.OpenRead());
        ASSERT_TRUE(KVLPAKReadHeader(stream, header));
    }

    std::vector<ShotRun> runs;
    for (int32_t i = 0; i < entries.GetCount(); ++i) {
        const KVLPAKEntry e = entries[i];
        const std::string name = e.GetName().c_str();
        const auto size = static_cast<size_t>(e.size);
        const auto offset = static_cast<size_t>(e.offset);
        const size_t entryAt = static_cast<size_t>(header.directoryOffset) + static_cast<size_t>(kKVLPAKEntrySize) * i;
        const int32_t tick = TickFor(name);
        runs.emplace_back(name + " cut to half", tick, [e, entryAt](std::vector<uint8_t>& a) {
            KVLPAKEntry shorter = e;
            shorter.size = e.size / 2;
            KVLPAKEncodeEntry(shorter, a.data() + entryAt);
        });
        runs.emplace_back(name + " with 16 bytes flipped", tick, [offset, size](std::vector<uint8_t>& a) {
            for (size_t k = 0; k < 16 && size > 0; ++k) {
                a[offset + size * (2 * k + 1) / 32] ^= 0xFF;
            }
        });
        const size_t headerBytes = std::min(size, HeaderBytes(name));
        runs.emplace_back(name + " with its header zeroed", tick, [offset, headerBytes](std::vector<uint8_t>& a) {
            std::fill_n(a.begin() + static_cast<std::ptrdiff_t>(offset), headerBytes, uint8_t{0});
        });
    }

    // The intact archive at every tick used comes first.
    std::vector<int32_t> ticks;
    for (const ShotRun& r : runs) ticks.push_back(r.tick);
    std::sort(ticks.begin(), ticks.end());
    ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
    for (size_t k = 0; k < ticks.size(); ++k) {
        const std::string what = "intact archive at tick " + std::to_string(ticks[k]);
        runs.emplace(runs.begin() + static_cast<std::ptrdiff_t>(k), what, ticks[k], [](std::vector<uint8_t>&) {});
    }

    testsupport::TempDir dir;
    const auto begin = Clock::now();
    RunAll(dir, intact, runs);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();

    std::vector<long> normalKB(ticks.size());
    for (size_t k = 0; k < ticks.size(); ++k) {
        const ShotRun& normal = runs[k];
        ASSERT_TRUE(WIFEXITED(normal.status) && WEXITSTATUS(normal.status) == 0 && normal.picture)
            << normal.what << "\n" << normal.errors;
        normalKB[k] = normal.peakKB;
    }
    int pictures = 0;
    int refusals = 0;
    long highest = 0;
    double ratio = 0.0;
    for (const ShotRun& r : runs) {
        EXPECT_FALSE(r.hung) << r.what << ": no end within the time limit";
        if (!WIFEXITED(r.status)) {
            ADD_FAILURE() << r.what << ": ended by signal " << WTERMSIG(r.status) << "\n" << r.errors;
            continue;
        }
        EXPECT_EQ(r.errors.find("Sanitizer"), std::string::npos) << r.what << "\n" << r.errors;
        const auto at = std::lower_bound(ticks.begin(), ticks.end(), r.tick) - ticks.begin();
        const long normal = normalKB[static_cast<size_t>(at)];
        EXPECT_LE(r.peakKB, 2 * normal) << r.what << ": intact " << normal << " KB";
        const int code = WEXITSTATUS(r.status);
        if (code == 0) {
            EXPECT_TRUE(r.picture) << r.what << ": status 0 without a picture";
            ++pictures;
        } else {
            EXPECT_EQ(code, 1) << r.what << "\n" << r.errors;
            EXPECT_NE(r.errors.find(kErrorText), std::string::npos) << r.what << "\n" << r.errors;
            ++refusals;
        }
        highest = std::max(highest, r.peakKB);
        ratio = std::max(ratio, static_cast<double>(r.peakKB) / static_cast<double>(normal));
    }
    std::printf("%zu runs in %.1f s: %d pictures, %d refusals; highest peak %ld KB, at most %.2f x intact\n",
                runs.size(), seconds, pictures, refusals, highest, ratio);
}
