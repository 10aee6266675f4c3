// The show as a video file, through the FFmpeg libraries: H.264 (yuv420p) with AAC
// sound, or FFV1 (lossless, 8-bit RGB) with 16-bit PCM sound. The encoding itself lives
// in a module (zarnoth_video.so, app/ffmpeg) loaded on first use from the program's
// folder or the installed module folder; without it, both calls below say so. The container follows
// the file's extension (.mp4, .mkv, .mov ...); FFV1 needs one that takes it (.mkv).
//
// The file is written as OUT.part and renamed to OUT only once it is complete; a
// writer that fails or goes away unfinished deletes OUT.part, so no file is left that
// looks complete. Encoders and muxer run in bit-exact mode: the same pictures and
// samples give the same bytes on every run with the same libraries.
//
// Limits: pictures of the writer's size only (0xAARRGGBB, alpha ignored); sound is
// interleaved 16-bit stereo.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/kvl_image.h"

struct DemoVideoSettings {
    std::string path;
    // "h264" or "ffv1".
    std::string codec = "h264";
    int32_t width = 640;
    int32_t height = 480;
    int32_t fps = 60;
    int32_t sampleRate = 44100;
};

// Empty when the settings can be encoded: a known codec that the container takes, an
// even size for yuv420p, and a folder where OUT.part can be created (tried and
// removed). Otherwise the reason. Does not check the size range (DemoPictureSize).
std::string CheckDemoVideo(const DemoVideoSettings& settings);

class DemoVideoEncoder;
class DemoVideoModule;

class DemoVideoWriter {
public:
    explicit DemoVideoWriter(const DemoVideoSettings& settings);
    // Unfinished: closes and deletes OUT.part.
    ~DemoVideoWriter();
    DemoVideoWriter(const DemoVideoWriter&) = delete;
    DemoVideoWriter& operator=(const DemoVideoWriter&) = delete;

    // Creates OUT.part, the encoders and the header. False with a reason in Error.
    bool Open();
    // The next picture (shown for 1 / fps seconds).
    bool AddPicture(const KVLImage& picture);
    // The next frames of the soundtrack: frames x 2 samples.
    bool AddSound(const int16_t* samples, int64_t frames);
    // Ends the soundtrack at 'frames' frames (cut, or completed with silence), drains
    // the encoders, writes the trailer and renames OUT.part to OUT.
    bool Finish(int64_t soundFrames);

    const std::string& Error() const;

private:
    bool Fail(const std::string& what);

    DemoVideoSettings m_settings;
    // Declared first so that the encoder goes before the module that holds its code.
    std::unique_ptr<DemoVideoModule> m_module;
    std::unique_ptr<DemoVideoEncoder> m_encoder;
    std::string m_error;
};
