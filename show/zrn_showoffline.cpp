// Offscreen shots, captures and videos driven by the program's own clock (ZRNShowStepper).
#include "show/zrn_showoffline.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/kvl_messagebox.h"
#include "scene/zrn_backend.h"
#include "scene/zrn_material.h"
#include "show/zrn_progressline.h"
#include "show/zrn_showapp.h"
#include "show/zrn_showcontroller.h"
#include "show/zrn_showpicture.h"
#include "show/zrn_showsinks.h"
#include "show/zrn_showstepper.h"
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

// The picture last shown, brought down to the output size.
std::unique_ptr<KVLImage> TakePicture(ShownPictureRenderer* renderer, int32_t ssaa) {
    std::unique_ptr<KVLImage> picture = renderer->Shown();
    if (picture == nullptr || ssaa == 1) {
        return picture;
    }
    return ZRNShowScaleDown(*picture, ssaa);
}

ZRNShowVideoSettings VideoSettings(const ZRNShowTimeline& timeline, const ZRNShowOfflineOptions& options) {
    ZRNShowVideoSettings video;
    video.path = options.videoPath;
    video.codec = options.videoCodec;
    video.width = options.size.width;
    video.height = options.size.height;
    video.fps = options.fps;
    video.preset = options.videoPreset;
    video.crf = options.videoCrf;
    if (options.fromTick >= 0 || options.toTick >= 0) {
        video.fromPicture = timeline.GetTime().FirstPictureAt(std::max(options.fromTick, 0), options.fps);
        const int64_t whole = timeline.VideoPictures(options.fps);
        video.toPicture =
            options.toTick < 0 ? whole : std::min(timeline.GetTime().FirstPictureAt(options.toTick, options.fps), whole);
    }
    return video;
}

// One offline run: the stepper moves the show on, the sound output follows the steps
// whose pictures show or keep it, and the pictures go to the sink.
class OfflineRun {
public:
    OfflineRun(const ZRNShowOfflineOptions& options, ZRNShowController* controller, ShownPictureRenderer* renderer,
               ZRNShowPictureSink* sink, const std::string& wavPath)
        : m_options(options), m_controller(controller), m_renderer(renderer), m_sink(sink), m_stepper(controller),
          m_timeline(controller->GetTimeline()), m_wav(controller->GetWAVOutput()), m_rate(m_wav->GetSampleRate()),
          m_wavPath(wavPath) {}

    // 0 done, 1 failed (reported).
    int Run() {
        if (!m_sink->Open(m_rate)) {
            return Report(m_sink->Error());
        }
        if (!m_options.soundtrackPath.empty()) {
            return Soundtrack();
        }
        const bool recording = m_options.shotTick < 0;
        return recording ? Record() : Shot();
    }

    // The sound the run's sink keeps, in frames.
    int64_t SoundFrames() const { return m_soundFrames; }

private:
    int Report(const std::string& why) {
        m_progress.reset();
        std::fprintf(stderr, "%s: %s\n", m_controller->GetShow().program.c_str(), why.c_str());
        return 1;
    }
    bool FollowSound(int64_t step) {
        return PlaySoundUntil(m_wav, m_controller->GetPlayer(), &m_played, m_stepper.GetTime().SoundFrameOfStep(step, m_rate));
    }
    // "tick T (S s)": where a failure happened.
    std::string AtTick(int64_t tick) const {
        char text[64];
        std::snprintf(text, sizeof text, "tick %lld (%.2f s)", static_cast<long long>(tick),
                      m_stepper.GetTime().SecondsOfTick(tick));
        return text;
    }
    // Stepping to 'step' for 'what' (the picture or the shot) stopped short: either the
    // sound could not be written (the show still runs) or the show ended before.
    int SteppingFailed(int64_t step, const std::string& what) {
        const std::string at = AtTick(ZRNShowTime::TickOfStep(step));
        if (m_controller->IsRunning()) {
            return Report("cannot write the soundtrack " + m_wavPath + " up to " + what + " at " + at + ": " +
                          (errno != 0 ? std::strerror(errno) : "the sound output is closed"));
        }
        return Report("the show stopped at " + AtTick(m_controller->GetTickCount()) + ", before " + what + " at " + at);
    }
    // Picture k (of the video or capture; 0 for a shot) to the sink; the reason on failure.
    int Deliver(int64_t k, int64_t step, const std::string& what) {
        std::unique_ptr<KVLImage> picture = TakePicture(m_renderer, m_options.size.ssaa);
        if (picture == nullptr) {
            const KVLString& error = m_renderer->GetError();
            return Report("cannot read " + what + " at " + AtTick(ZRNShowTime::TickOfStep(step)) +
                          " back from the renderer" + (error.IsEmpty() ? "" : std::string(": ") + error.c_str()));
        }
        if (!m_sink->Take(k, std::move(picture))) {
            return Report(m_sink->Error().empty() ? "cannot keep " + what : m_sink->Error());
        }
        return 0;
    }
    static std::string PictureName(int64_t k) { return "picture " + std::to_string(k); }

    // Every picture at the picture rate, with the soundtrack. A capture also keeps the
    // picture at the end of the show (the last one shown); a video ends before it.
    //
    // A part (a range of a video's pictures) steps to its first picture as a shot
    // does, then goes on as a whole run; only the music its drawn pictures show is
    // followed, and it keeps no sound (a join takes the whole show's).
    int Record() {
        const bool video = !m_options.videoPath.empty();
        const bool part = m_options.fromTick >= 0 || m_options.toTick >= 0;
        const int32_t fps = m_options.fps;
        const int64_t end = m_timeline.EndStep();
        const int64_t pictures = m_timeline.VideoPictures(fps);
        int64_t first = 0;
        int64_t total = video ? pictures : pictures + 1;
        if (part) {
            const ZRNShowVideoSettings range = VideoSettings(m_timeline, m_options);
            first = range.fromPicture;
            total = range.toPicture;
        }
        m_progress = std::make_unique<ZRNProgressLine>(stderr, video ? "video" : m_options.renderOnly ? "render" : "capture",
                                                    total - first, m_options.reportProgress ? stdout : nullptr);
        // A part follows only the music its pictures show; a whole run keeps it all.
        const Follow follow = part ? Follow::ShownMusic : Follow::EveryDrawnStep;
        errno = 0;
        if (first > 0 && !m_stepper.StepToShot(m_stepper.GetTime().StepOfPicture(first, fps), &m_soundtrack, follow)) {
            return SteppingFailed(m_stepper.GetTime().StepOfPicture(first, fps), PictureName(first));
        }
        for (int64_t k = first; k < total; ++k) {
            const int64_t target = m_stepper.GetTime().StepOfPicture(k, fps);
            if (target >= end) {
                // The step at the end stops the music: the soundtrack is kept to there first.
                errno = 0;
                if (!m_stepper.StepToPicture(end - 1, &m_soundtrack, Follow::EveryDrawnStep) || !FollowSound(end)) {
                    return SteppingFailed(end, PictureName(k));
                }
            }
            errno = 0;
            // The step at the end stops the show: reaching it is the one stop that is no failure.
            if (!m_stepper.StepToPicture(target, &m_soundtrack, follow) && (target < end || m_controller->IsRunning())) {
                return SteppingFailed(target, PictureName(k));
            }
            if (const int failed = Deliver(k, target, PictureName(k))) {
                return failed;
            }
            m_progress->Update(k + 1 - first);
        }
        if (part) {
            m_progress->Finish();
            return 0;
        }
        m_soundFrames = video ? pictures * m_rate / fps : m_stepper.GetTime().SoundFrameOfStep(end, m_rate);
        errno = 0;
        if (!PlaySoundUntil(m_wav, m_controller->GetPlayer(), &m_played, m_soundFrames)) {
            return Report("cannot write the soundtrack " + m_wavPath + " to the show's end: " +
                          (errno != 0 ? std::strerror(errno) : "the sound output is closed"));
        }
        m_progress->Finish();
        return 0;
    }

    // The sound a video of the whole show at the picture rate holds: the music as the
    // show plays it, to the end of the video's last picture.
    int Soundtrack() {
        const int32_t fps = m_options.fps;
        m_soundFrames = m_timeline.VideoPictures(fps) * m_rate / fps;
        errno = 0;
        if (!PlaySoundUntil(m_wav, m_controller->GetPlayer(), &m_played, m_soundFrames)) {
            return Report("cannot write " + m_options.soundtrackPath + ": " +
                          (errno != 0 ? std::strerror(errno) : "the sound output is closed"));
        }
        return 0;
    }

    // The picture shown at the shot's tick. Only the steps it can show are drawn: its
    // own with its lead steps, and the last ones before the latest switch (a switch
    // gap or the oscilloscope's hold keeps them on screen). The music is followed only
    // for drawn steps of a scene that shows it, since the sound worker decodes no
    // faster than a few times real time. Drawing every picture at the picture rate
    // (and following the music all the way) must give the same picture.
    //
    // Drawing every picture first runs as a capture up to the last picture before the
    // shot's, then takes the shot from there.
    int Shot() {
        const int64_t tick = std::min<int64_t>(m_options.shotTick, m_timeline.GetEndTick());
        const int64_t target = ZRNShowTime::StepOfTick(tick);
        const bool every = m_options.drawEveryPicture;
        const Follow follow = every ? Follow::EveryDrawnStep : Follow::ShownMusic;
        errno = 0;
        bool stepped = true;
        for (int64_t k = 0; every && stepped && m_stepper.GetTime().StepOfPicture(k, m_options.fps) < target; ++k) {
            stepped = m_stepper.StepToPicture(m_stepper.GetTime().StepOfPicture(k, m_options.fps), &m_soundtrack, follow);
        }
        stepped = stepped && m_stepper.StepToShot(target, &m_soundtrack, follow);
        if (!stepped && (target < m_timeline.EndStep() || m_controller->IsRunning())) {
            return SteppingFailed(target, "the shot");
        }
        return Deliver(0, target, "the shot");
    }

    using Follow = ZRNShowStepper::Follow;

    // The soundtrack keeps with the steps it is brought to.
    class SoundtrackMusic : public ZRNShowStepper::Music {
    public:
        explicit SoundtrackMusic(OfflineRun* run) : m_run(run) {}
        bool BringTo(int64_t step) override { return m_run->FollowSound(step); }

    private:
        OfflineRun* m_run;
    };

    const ZRNShowOfflineOptions& m_options;
    ZRNShowController* m_controller;
    ShownPictureRenderer* m_renderer;
    ZRNShowPictureSink* m_sink;
    ZRNShowStepper m_stepper;
    const ZRNShowTimeline& m_timeline;
    KVLSoundOutputWAV* m_wav;
    int64_t m_rate;
    std::string m_wavPath;
    int64_t m_played = 0;
    int64_t m_soundFrames = 0;
    std::unique_ptr<ZRNProgressLine> m_progress;
    SoundtrackMusic m_soundtrack{this};
};

std::unique_ptr<ZRNShowPictureSink> MakeSink(const ZRNShowDescription& show, const ZRNShowOfflineOptions& options,
                                             const std::string& wavPath) {
    if (!options.videoPath.empty()) {
        const bool part = options.fromTick >= 0 || options.toTick >= 0;
        const ZRNShowTimeline timeline = show.GetTimeline();
        return ZRNMakeShowVideoSink(VideoSettings(timeline, options), part ? std::string() : wavPath);
    }
    if (!options.soundtrackPath.empty()) {
        return ZRNMakeShowDiscardSink();
    }
    if (!options.captureDir.empty()) {
        return ZRNMakeShowCaptureSink(options.captureDir);
    }
    if (options.renderOnly) {
        return ZRNMakeShowDiscardSink();
    }
    return ZRNMakeShowShotSink(options.shotPath);
}

}  // namespace

std::string ZRNCheckShowOffline(const ZRNShowDescription& show, const ZRNShowOfflineOptions& options) {
    const bool part = options.fromTick >= 0 || options.toTick >= 0;
    if (part && options.videoPath.empty()) {
        return "--from and --to make parts of a video: they go with --video";
    }
    if (part) {
        const ZRNShowVideoSettings range = VideoSettings(show.GetTimeline(), options);
        if (range.toPicture <= range.fromPicture) {
            return "--from " + std::to_string(options.fromTick) + " --to " + std::to_string(options.toTick) +
                   " holds no picture of the show";
        }
    }
    std::string problem = ZRNCheckShowPictureSize(options.size);
    if (!problem.empty() || options.videoPath.empty()) {
        return problem;
    }
    return ZRNCheckShowVideo(VideoSettings(show.GetTimeline(), options));
}

int ZRNRunShowOffline(const ZRNShowDescription& show, const ZRNShowOfflineOptions& options) {
    const char* program = show.program.c_str();
    // The step clock has no picture at a rate of none (the command line and the page
    // refuse it before; this guards other callers).
    if (options.fps < 1) {
        std::fprintf(stderr, "%s: a picture rate of %d pictures a second is none\n", program, options.fps);
        return 1;
    }
    // A capture keeps its soundtrack; a shot's is only a by-product, and a video's is
    // read back into the video as it grows: either goes with this folder.
    std::unique_ptr<ScratchFolder> scratch;
    std::string wavPath = !options.soundtrackPath.empty() ? options.soundtrackPath : options.captureDir + "/sound.wav";
    if (options.captureDir.empty() && options.soundtrackPath.empty()) {
        scratch = std::make_unique<ScratchFolder>();
        if (scratch->Path().empty()) {
            std::fprintf(stderr, "%s: cannot create a scratch folder for the sound\n", program);
            return 1;
        }
        wavPath = (scratch->Path() / "sound.wav").string();
    }
    std::unique_ptr<ZRNShowPictureSink> sink = MakeSink(show, options, wavPath);
    int status = 1;
    int64_t soundFrames = 0;
    {
        const int32_t ssaa = options.size.ssaa;
        ShownPictureRenderer renderer(options.size.width * ssaa, options.size.height * ssaa);
        renderer.SetPictureShape(show.width, show.height);
        ZRNShowController controller(show, nullptr, &renderer, nullptr);
        controller.UseWAVOutput(KVLString(wavPath.c_str()));
        if (!controller.Init()) {
            if (!renderer.GetError().IsEmpty()) {
                std::fprintf(stderr, "%s: %s\n", program, renderer.GetError().c_str());
            }
            KVLMessageBox("Error creating application", "Error");
        } else {
            OfflineRun run(options, &controller, &renderer, sink.get(), wavPath);
            status = run.Run();
            soundFrames = run.SoundFrames();
            if (controller.IsRunning()) {
                controller.OnDestroying();
            }
        }
        // The WAV output completes its file when it goes away with the controller.
    }
    // The rest of the soundtrack reaches the sink once the output has closed the file.
    if (status == 0 && !sink->Finish(soundFrames)) {
        std::fprintf(stderr, "%s: %s\n", program, sink->Error().c_str());
        status = 1;
    }
    // An unfinished video goes with its sink, before the scratch folder.
    sink.reset();
    return status;
}
