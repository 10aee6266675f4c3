// The show as a video file, through the FFmpeg libraries: H.264 (yuv420p, x264's
// presets and constant-quality factor) with AAC sound, or FFV1 (lossless, 8-bit RGB)
// with 16-bit PCM sound. The encoding itself lives in a module (zarnoth_video.so,
// app/ffmpeg) loaded on first use from the program's folder or the installed module
// folder; without it, every call below says so. The container follows the file's
// extension (.mp4, .mkv, .mov ...); FFV1 needs one that takes it (.mkv).
//
// The file is written under a new name of its own beside OUT (OUT.XXXXXXXX.part,
// created exclusively: an existing file is never overwritten or removed) and renamed
// to OUT only once it is complete; a writer that fails or goes away unfinished deletes
// it, so no file is left that looks complete. Encoders and muxer run in bit-exact mode: the same pictures and
// samples give the same bytes on every run with the same libraries.
//
// The writer encodes on a thread of its own behind a short queue: AddPicture and
// AddSound hand their data over and return while the encoder works on what came
// before, in the order given. An encoder error shows at the next call after it.
//
// Limits: pictures of the writer's size only (0xAARRGGBB, alpha ignored); sound is
// interleaved 16-bit stereo. One thread drives a writer.
#pragma once

#include <cstdint>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "image/kvl_image.h"

struct ZRNShowVideoSettings {
    std::string path;
    // "h264" or "ffv1".
    std::string codec = "h264";
    int32_t width = 640;
    int32_t height = 480;
    int32_t fps = 60;
    int32_t sampleRate = 44100;
    // H.264 only: x264's speed/quality preset (ultrafast ... veryslow) and constant
    // rate factor (0 best ... 51 worst); unset: the defaults below.
    std::optional<std::string> preset;
    std::optional<int32_t> crf;
    // The pictures of the show this file holds, [fromPicture, toPicture), written into
    // the file as the tag "zarnoth_range" = "FROM-TO" so that parts can be joined; both
    // negative: the whole show, no tag.
    int64_t fromPicture = -1;
    int64_t toPicture = -1;
};

// x264's presets from fastest to slowest, the defaults, and the crf range.
inline constexpr const char* kZRNShowVideoPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                                    "medium",    "slow",      "slower",   "veryslow"};
// Measured on the whole show at 640x480, 60 pictures/s, against the lossless export
// (PSNR in yuv420p): veryfast at crf 13 gives 44.3 dB with about 30 % less CPU than
// medium at crf 18 (42.5 dB); veryfast at 18 gives only 41.1 dB.
inline constexpr const char* kZRNShowVideoDefaultPreset = "veryfast";
inline constexpr int32_t kZRNShowVideoDefaultCrf = 13;
inline constexpr int32_t kZRNShowVideoMaxCrf = 51;

// Empty when the settings can be encoded: a known codec that the container takes, an
// even size for yuv420p, a known preset and a crf in range (for h264 only), and a
// folder where a file can be created (a new one, removed at once). Otherwise the reason.
// Does not check the size range (ZRNShowPictureSize).
std::string ZRNCheckShowVideo(const ZRNShowVideoSettings& settings);

// Parts of one show made by separate runs (each with its picture range), put together
// into one file without encoding the pictures again; the sound is taken from a WAV
// file of the whole show (16-bit stereo), cut to the pictures' end as a single run
// does, and encoded as the parts' codec asks (AAC for H.264, PCM for FFV1).
struct ZRNShowVideoJoin {
    std::string path;
    std::vector<std::string> parts;
    std::string soundPath;
    // The tick at which the show ends, and its ticks' length in ms: the parts must hold
    // every picture from the show's first to the last before it (at the parts' picture
    // rate).
    int32_t showEndTick = 0;
    int32_t showTickMs = 0;
};

// Empty when 'path' was written; otherwise the reason, naming the file at fault or the
// pictures or sound missing, and no file is left. Refused: parts that are not parts
// (no range tag), overlap, leave pictures out (from the show's first picture to its
// last) or go past its end, differ in codec, size, rate or encoder settings, do not
// start with a key picture, or hold fewer pictures than their range (truncated); a
// sound shorter than the pictures.
std::string ZRNJoinShowVideo(const ZRNShowVideoJoin& join);

class ZRNShowVideoEncoder;
class ZRNShowVideoModule;

class ZRNShowVideoWriter {
public:
    explicit ZRNShowVideoWriter(const ZRNShowVideoSettings& settings);
    // Unfinished: closes and deletes OUT.part.
    ~ZRNShowVideoWriter();
    ZRNShowVideoWriter(const ZRNShowVideoWriter&) = delete;
    ZRNShowVideoWriter& operator=(const ZRNShowVideoWriter&) = delete;

    // Creates OUT.part, the encoders and the header, and starts the encoding thread.
    // False with a reason in Error.
    bool Open();
    // The next picture (shown for 1 / fps seconds), handed over to the encoder: it is
    // not copied. Waits while the queue is full. False, with the reason in Error, when
    // the writer is not open or an earlier picture or sound failed.
    bool AddPicture(std::unique_ptr<KVLImage> picture);
    // The next frames of the soundtrack: frames x 2 samples (copied; queued behind the
    // pictures before it).
    bool AddSound(const int16_t* samples, int64_t frames);
    // Ends the soundtrack at 'frames' frames (cut, or completed with silence), drains
    // the queue and the encoders, writes the trailer and renames OUT.part to OUT.
    bool Finish(int64_t soundFrames);

    const std::string& Error() const;

    // Pictures the queue holds at most: enough for drawing and encoding to overlap,
    // few enough to keep memory small at large sizes.
    static constexpr size_t kQueuedPictures = 3;

private:
    // One step for the encoding thread, in the caller's order.
    struct Job {
        std::unique_ptr<KVLImage> picture;
        std::vector<int16_t> sound;
        bool finish = false;
        int64_t soundFrames = 0;
    };

    bool Fail(const std::string& what);
    // Queues a job, waiting for room; false (with Error set) once the encoder failed.
    bool Push(Job job);
    void Work();
    // Stops the thread (dropping what is queued) and waits for it.
    void Stop();

    ZRNShowVideoSettings m_settings;
    // Declared first so that the encoder goes before the module that holds its code.
    std::unique_ptr<ZRNShowVideoModule> m_module;
    std::unique_ptr<ZRNShowVideoEncoder> m_encoder;
    std::string m_error;

    // Shared with the encoding thread, under m_mutex. m_failure holds the encoder's
    // error once a job failed; later jobs are dropped.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    size_t m_queuedPictures = 0;
    bool m_stopping = false;
    bool m_failed = false;
    bool m_done = false;
    std::string m_failure;
    std::thread m_thread;
};
