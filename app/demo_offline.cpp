// Offscreen shots, captures and videos driven by the program's own clock.
#include "app/demo_offline.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <thread>

#include "app/demo_app.h"
#include "app/demo_picture.h"
#if defined(ZARNOTH_VIDEO)
#include "app/demo_video.h"
#endif
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

// The renderer carries state from one frame into the next (the room sets its fog
// after drawing its floor, so the floor is fogged from the second frame on): a kept
// picture is drawn after the ones just before it, as when every picture is drawn.
constexpr int64_t kLeadPictures = 2;

// The index of the scene on show at tick t (the next one from its switch tick on).
int32_t SceneAt(int64_t t) {
    return static_cast<int32_t>(
        std::count_if(std::begin(DemoController::kSwitchTicks), std::end(DemoController::kSwitchTicks),
                      [&](int32_t s) { return s <= t; }));
}

// The picture last shown, brought down to the output size.
std::unique_ptr<KVLImage> TakePicture(ShownPictureRenderer* renderer, int32_t ssaa) {
    std::unique_ptr<KVLImage> picture = renderer->Shown();
    if (picture == nullptr || ssaa == 1) {
        return picture;
    }
    return DemoScaleDown(*picture, ssaa);
}

#if defined(ZARNOTH_VIDEO)
DemoVideoSettings VideoSettings(const DemoOfflineOptions& options, int32_t sampleRate) {
    DemoVideoSettings video;
    video.path = options.videoPath;
    video.codec = options.videoCodec;
    video.width = options.size.width;
    video.height = options.size.height;
    video.fps = options.fps;
    video.sampleRate = sampleRate;
    video.preset = options.videoPreset;
    video.crf = options.videoCrf;
    return video;
}

// Hands the soundtrack written so far to the video.
bool FeedSound(DemoSoundTail* tail, DemoVideoWriter* writer, std::vector<int16_t>* buffer) {
    buffer->clear();
    if (!tail->Take(buffer)) {
        return false;
    }
    return buffer->empty() || writer->AddSound(buffer->data(), static_cast<int64_t>(buffer->size() / 2));
}
#endif

}  // namespace

std::string CheckDemoOffline(const DemoOfflineOptions& options) {
    std::string problem = CheckDemoPictureSize(options.size);
    if (!problem.empty() || options.videoPath.empty()) {
        return problem;
    }
#if defined(ZARNOTH_VIDEO)
    return CheckDemoVideo(VideoSettings(options, 44100));
#else
    return "this build of zarnoth cannot write videos (it has no FFmpeg); use --capture";
#endif
}

int RunDemoOffline(const DemoOfflineOptions& options) {
    const bool capture = !options.captureDir.empty();
    const bool video = !options.videoPath.empty();
    const int32_t ssaa = options.size.ssaa;
    std::string wavPath;
    // A shot's soundtrack is only a by-product, and a video's is read back into the
    // video as it grows; either goes with this folder.
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
#if defined(ZARNOTH_VIDEO)
    std::unique_ptr<DemoVideoWriter> writer;
    DemoSoundTail tail(wavPath);
    std::vector<int16_t> soundBuffer;
    int64_t videoPictures = 0;
    int64_t videoSoundFrames = 0;
#else
    if (video) {
        std::fprintf(stderr, "zarnoth: %s\n", CheckDemoOffline(options).c_str());
        return 1;
    }
#endif
    {
        ShownPictureRenderer renderer(options.size.width * ssaa, options.size.height * ssaa);
        renderer.SetPictureShape(DemoApp::kWidth, DemoApp::kHeight);
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
#if defined(ZARNOTH_VIDEO)
            // A video ends with the show: its pictures are those shown before the end.
            videoPictures = (static_cast<int64_t>(lastTick) * stepsPerSecond + 999) / 1000;
            videoSoundFrames = videoPictures * rate / options.fps;
            if (video) {
                writer = std::make_unique<DemoVideoWriter>(VideoSettings(options, rate));
                if (!writer->Open()) {
                    std::fprintf(stderr, "zarnoth: %s\n", writer->Error().c_str());
                    status = 1;
                }
            }
#endif
            const bool recording = capture || video;
            ProgressLine progress(recording ? stderr : nullptr, video ? "video" : "capture",
                                  video ? pictures - 1 : pictures);
            // Show time of picture k in ticks; a shot's last picture is at its tick.
            const auto pictureTick = [&](int64_t k) {
                const int64_t t = k * 1000 / (static_cast<int64_t>(options.fps) * DemoController::kTickMs);
                return recording ? t : std::min<int64_t>(t, stopTick);
            };
            // A shot keeps its own picture and the last one of each scene: a scene
            // presents nothing only in its opening pictures (the oscilloscope's hold, at
            // a low picture rate the whole scene) and the switch gap, and meanwhile the
            // screen keeps an earlier scene's last picture. Each kept picture is drawn
            // after the kLeadPictures before it.
            int64_t lastSwitch = -1;
            for (int32_t s : DemoController::kSwitchTicks) {
                lastSwitch = s <= stopTick ? s : lastSwitch;
            }
            const auto drawn = [&](int64_t k) {
                if (recording || options.drawEveryPicture) {
                    return true;
                }
                for (int64_t j = k; j <= k + kLeadPictures; ++j) {
                    const int64_t t = pictureTick(j);
                    if (t >= stopTick || SceneAt(t) != SceneAt(pictureTick(j + 1))) {
                        return true;
                    }
                }
                return false;
            };
            // The music must be at its place for the drawn pictures of a scene that shows
            // it, up to the tick found here; a capture or a video keeps the whole
            // soundtrack, and so does a shot drawing every picture. A scene's last picture
            // can show the music in a shot only through the switch gap right after it: the one
            // opening hold (the oscilloscope's) follows the "Parental" picture, which
            // has none. So only the shot's own picture, the one before when the shot
            // falls in a switch gap, and their lead pictures count.
            int64_t hearUntil = INT64_MAX;
            if (!recording && !options.drawEveryPicture) {
                int64_t shot = 0;
                while (pictureTick(shot) < stopTick) {
                    ++shot;
                }
                const bool gapShot = shot > 0 && pictureTick(shot - 1) < lastSwitch;
                hearUntil = -1;
                const int64_t first = shot - kLeadPictures - (gapShot ? 1 : 0);
                for (int64_t k = std::max<int64_t>(0, first); k <= shot; ++k) {
                    const DemoScene* scene = controller.GetScene(SceneAt(pictureTick(k)));
                    if (drawn(k) && scene != nullptr && scene->ShowsMusic()) {
                        hearUntil = pictureTick(k);
                    }
                }
            }
            for (int64_t k = 0; status == 0 && controller.IsRunning(); ++k) {
#if defined(ZARNOTH_VIDEO)
                if (video && k >= videoPictures) {
                    // The sound of the last picture, to its end.
                    if (!PlaySoundUntil(wav, controller.GetPlayer(), &soundFrames, videoSoundFrames)) {
                        progress.Finish();
                        std::fprintf(stderr, "zarnoth: cannot write %s\n", wavPath.c_str());
                        status = 1;
                    }
                    break;
                }
#endif
                // Show time of picture k in ticks, and the sound frame it is heard at.
                const int64_t tick = pictureTick(k);
                const bool last = !recording && tick >= stopTick;
                const bool draw = drawn(k);
                while (controller.GetTickCount() < tick) {
                    DemoController::OnTick(0, &controller);
                }
                const int64_t heard = tick * DemoController::kTickMs * rate / 1000;
                if (tick <= hearUntil && !PlaySoundUntil(wav, controller.GetPlayer(), &soundFrames, heard)) {
                    progress.Finish();
                    std::fprintf(stderr, "zarnoth: cannot write %s\n", wavPath.c_str());
                    status = 1;
                    break;
                }
                // The frame steps of a switch gap take no show time.
                for (int32_t step = 0; step <= DemoController::kGapSteps && controller.IsRunning(); ++step) {
                    const bool drawing = !controller.IsSwitchPending() && controller.GetCurrentScene() != nullptr;
                    controller.FrameStep(draw);
                    if (drawing || !controller.IsSwitchPending()) {
                        break;
                    }
                }
#if defined(ZARNOTH_VIDEO)
                if (video) {
                    std::unique_ptr<KVLImage> picture = TakePicture(&renderer, ssaa);
                    if (!picture || !writer->AddPicture(std::move(picture)) || !FeedSound(&tail, writer.get(), &soundBuffer)) {
                        progress.Finish();
                        std::fprintf(stderr, "zarnoth: %s\n",
                                     writer->Error().empty() ? "cannot read the soundtrack back" : writer->Error().c_str());
                        status = 1;
                        break;
                    }
                    progress.Update(k + 1);
                }
#endif
                if (capture || last) {
                    std::unique_ptr<KVLImage> picture = TakePicture(&renderer, ssaa);
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
#if defined(ZARNOTH_VIDEO)
    // The rest of the soundtrack reaches the file when the output closes it.
    if (status == 0 && video) {
        if (!FeedSound(&tail, writer.get(), &soundBuffer) || !writer->Finish(videoSoundFrames)) {
            std::fprintf(stderr, "zarnoth: %s\n",
                         writer->Error().empty() ? "cannot read the soundtrack back" : writer->Error().c_str());
            status = 1;
        }
    }
    // An unfinished video goes with the writer, before the scratch folder.
    writer.reset();
#endif
    // The scratch folder (a shot's or a video's) goes here, after the controller has closed the file.
    return status;
}
