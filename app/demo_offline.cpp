// Offscreen shots and captures driven by the program's own clock.
#include "app/demo_offline.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <thread>

#include "app/demo_app.h"
#include "app/progress_line.h"
#include "app/demo_show.h"
#include "image/kvl_pngwriter.h"
#include "platform/kvl_messagebox.h"
#include "scene/zrn_material.h"
#include "scene/zrn_backend.h"
#include "sound/kvl_soundoutput.h"
#include "sound/kvl_soundplayer.h"

namespace {

// Lets the sound worker decode up to frame 'until' before the output plays it, so
// that what the oscilloscope reads does not depend on the machine's speed. Gives up
// after a while (the music may have ended).
void WaitForSound(KVLSoundOutputWAV* wav, KVLSoundPlayer* player, int64_t until) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (wav->GetFramesWritten() < until && !player->IsFinished() && std::chrono::steady_clock::now() < limit) {
        player->Wait(1);
    }
}

// The output behaves like a sound card: a write that finds less than one chunk queued
// is an underrun, and silence goes in before the music. So the play cursor moves at
// most one chunk at a time, each step only once the worker has written a chunk past
// it, plus what the oscilloscope reads ahead.
constexpr int64_t kSoundStep = KVLSoundPlayer::kBlockFrames;
constexpr int64_t kSoundLead = KVLSoundFillRule::kLowChunks * KVLSoundPlayer::kBlockFrames + 2048;

bool PlaySoundUntil(KVLSoundOutputWAV* wav, KVLSoundPlayer* player, int64_t* played, int64_t heard) {
    while (*played < heard) {
        const int64_t step = std::min(heard - *played, kSoundStep);
        WaitForSound(wav, player, *played + step + kSoundLead);
        if (!wav->Advance(static_cast<int32_t>(step))) {
            return false;
        }
        *played += step;
    }
    WaitForSound(wav, player, heard + kSoundLead);
    return true;
}

// The offscreen picture is a single buffer, so a frame that clears and then presents
// nothing (the oscilloscope scene's hold) would wipe the picture that a window keeps
// showing. This renderer keeps a copy of the picture at every Present: what the
// screen shows.
class ShownPictureRenderer : public ZRNBackendOffscreenRenderer {
public:
    using ZRNBackendOffscreenRenderer::ZRNBackendOffscreenRenderer;

    bool Present() override {
        if (!ZRNBackendOffscreenRenderer::Present()) {
            return false;
        }
        m_shown = ReadPixels();
        return true;
    }

    // The picture last presented; black before the first (null without a context).
    std::unique_ptr<KVLImage> Shown() {
        if (m_shown != nullptr) {
            return ZRNCopyImage(*m_shown);
        }
        std::unique_ptr<KVLImage> black = ReadPixels();
        if (black != nullptr) {
            std::fill(black->pixels, black->pixels + static_cast<size_t>(black->width) * black->height, 0xFF000000u);
        }
        return black;
    }

private:
    std::unique_ptr<KVLImage> m_shown;
};

// A folder of this run's own under the system's temporary folder, for the soundtrack
// a shot plays into; removed, with what is in it, when the object goes. The folder is
// created exclusively (a name that is already taken is never reused), so concurrent
// runs cannot share a file; the same code serves POSIX systems and Windows.
class ScratchFolder {
public:
    ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        if (ec) {
            return;
        }
        std::random_device device;
        const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const uint64_t random = ((static_cast<uint64_t>(device()) << 32) | device()) ^ now;
            char name[48];
            std::snprintf(name, sizeof name, "zarnoth-shot-%016llx", static_cast<unsigned long long>(random));
            const fs::path candidate = base / name;
            if (fs::create_directory(candidate, ec)) {
                m_path = candidate;
                return;
            }
            // create_directory answers false without an error for an existing folder,
            // and file_exists for an existing file: either way, try another name.
            if (ec && ec != std::errc::file_exists) {
                return;
            }
        }
    }
    ~ScratchFolder() {
        if (!m_path.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_path, ec);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace

int RunDemoOffline(const DemoOfflineOptions& options) {
    const bool capture = !options.captureDir.empty();
    std::string wavPath;
    // A shot's soundtrack is only a by-product; it goes with this folder.
    std::unique_ptr<ScratchFolder> scratch;
    if (capture) {
        wavPath = options.captureDir + "/sound.wav";
    } else {
        scratch = std::make_unique<ScratchFolder>();
        if (scratch->Path().empty()) {
            std::fprintf(stderr, "zarnoth: cannot create a scratch folder for the sound\n");
            return 1;
        }
        wavPath = (scratch->Path() / "sound.wav").string();
    }
    int status = 0;
    {
        ShownPictureRenderer renderer(DemoApp::kWidth, DemoApp::kHeight);
        DemoShowController controller(nullptr, &renderer, nullptr);
        controller.UseWAVOutput(KVLString(wavPath.c_str()));
        if (!controller.Init()) {
            if (!renderer.GetError().IsEmpty()) {
                std::fprintf(stderr, "zarnoth: %s\n", renderer.GetError().c_str());
            }
            KVLMessageBox("Error creating application", "Error");
            status = 1;
        } else {
            KVLSoundOutputWAV* wav = controller.GetWAVOutput();
            const int32_t rate = wav->GetSampleRate();
            const int32_t lastTick = DemoController::kSwitchTicks[DemoController::kSceneCount - 1];
            const int32_t stopTick = capture ? lastTick : std::min(options.shotTick, lastTick);
            int64_t soundFrames = 0;
            // Picture k shows tick k * 1000 / (fps * tick length); the last is the first
            // to reach the end of the show.
            const int64_t stepsPerSecond = static_cast<int64_t>(options.fps) * DemoController::kTickMs;
            const int64_t pictures = (static_cast<int64_t>(lastTick) * stepsPerSecond + 999) / 1000 + 1;
            ProgressLine progress(capture ? stderr : nullptr, "capture", pictures);
            for (int64_t k = 0; controller.IsRunning(); ++k) {
                // Show time of picture k in ticks, and the sound frame it is heard at.
                int64_t tick = k * 1000 / (static_cast<int64_t>(options.fps) * DemoController::kTickMs);
                const bool last = !capture && tick >= stopTick;
                if (last) {
                    tick = stopTick;
                }
                while (controller.GetTickCount() < tick) {
                    DemoController::OnTick(0, &controller);
                }
                const int64_t heard = tick * DemoController::kTickMs * rate / 1000;
                if (!PlaySoundUntil(wav, controller.GetPlayer(), &soundFrames, heard)) {
                    progress.Finish();
                    std::fprintf(stderr, "zarnoth: cannot write %s\n", wavPath.c_str());
                    status = 1;
                    break;
                }
                // The frame steps of a switch gap take no show time.
                for (int32_t step = 0; step <= DemoController::kGapSteps && controller.IsRunning(); ++step) {
                    const bool drawing = !controller.IsSwitchPending() && controller.GetCurrentScene() != nullptr;
                    controller.FrameStep();
                    if (drawing || !controller.IsSwitchPending()) {
                        break;
                    }
                }
                if (capture || last) {
                    std::unique_ptr<KVLImage> picture = renderer.Shown();
                    char file[64];
                    std::snprintf(file, sizeof file, "/frame_%05lld.png", static_cast<long long>(k));
                    const std::string path = capture ? options.captureDir + file : options.shotPath;
                    KVLString error;
                    if (!picture || !KVLWritePNG(*picture, path.c_str(), &error)) {
                        progress.Finish();
                        std::fprintf(stderr, "zarnoth: cannot write %s: %s\n", path.c_str(), error.c_str());
                        status = 1;
                        break;
                    }
                    progress.Update(k + 1);
                }
                if (last) {
                    break;
                }
            }
            if (controller.IsRunning()) {
                controller.OnDestroying();
            }
        }
        // The WAV output completes its header when it goes away with the controller.
    }
    // The scratch folder (a shot's) goes here, after the controller has closed the file.
    return status;
}
