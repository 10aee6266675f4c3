// Where the pictures of an offline run go: one PNG (a shot), a numbered PNG per picture
// (a capture), a video file with the soundtrack, or nowhere (a run that only draws
// and reads back, to time the rendering alone). Each sink receives picture k of the
// run in order; a sink that fails says why in Error and the run stops.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/demo_soundtail.h"
#include "app/demo_video.h"
#include "image/kvl_image.h"

class DemoPictureSink {
public:
    virtual ~DemoPictureSink() = default;
    // Before the first picture, with the soundtrack's sample rate.
    virtual bool Open(int32_t sampleRate) {
        (void)sampleRate;
        return true;
    }
    virtual bool Take(int64_t k, std::unique_ptr<KVLImage> picture) = 0;
    // After the show has stopped and its soundtrack file is complete: the run's
    // sound in frames (the sinks that keep sound end it there).
    virtual bool Finish(int64_t soundFrames) {
        (void)soundFrames;
        return true;
    }
    const std::string& Error() const { return m_error; }

protected:
    bool Fail(std::string error) {
        m_error = std::move(error);
        return false;
    }

private:
    std::string m_error;
};

// The one picture of a shot, to path.
std::unique_ptr<DemoPictureSink> MakeDemoShotSink(std::string path);
// Every picture as folder/frame_NNNNN.png.
std::unique_ptr<DemoPictureSink> MakeDemoCaptureSink(std::string folder);
// The pictures dropped (they have been drawn and read back).
std::unique_ptr<DemoPictureSink> MakeDemoDiscardSink();
// A video with the soundtrack that grows in the WAV file at wavPath (read back as it
// grows); an empty path: a video without sound (a part of one, whose join adds it). Without a video encoder in the build, Open fails with CheckDemoVideo's text.
std::unique_ptr<DemoPictureSink> MakeDemoVideoSink(const DemoVideoSettings& settings, std::string wavPath);
